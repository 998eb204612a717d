// The jobs of a transfer pipeline (online backup, online restore,
// synchronisation): each is one step with its inputs fixed at construction,
// run once by CTransferManager's worker thread. Files pass from job to job
// only by their paths, which the caller chooses.
//
// A job that writes a file writes it under a temporary name beside its
// destination and moves it into place only when it succeeded; on failure
// the temporary file goes and the destination stays as it was.
#pragma once
#include <windows.h>
#include <vector>
#include "afxstr.h"
#include "foundation/TempOutputFile.h"
#include "storage/UgyiratRecord.h"

class CProgress;
class XmlParser;

class CTransferJob
{
public:
    enum {
        STATE_CONSTRUCTED = 0,
        STATE_QUEUED = 1,
        STATE_RUN_FIRST = 2, // only the manager's run-first phase looks for it; no job enters it
        STATE_RUNNING = 3,
        STATE_DONE = 4,
        STATE_FAILED = 6,
    };

    CTransferJob();
    virtual ~CTransferJob();

    // Performs the job on the worker thread; true on success.
    virtual bool Run() = 0;
    // The job's share of the run's progress range.
    virtual int GetStepCount() { return 10; }
    virtual CString GetName() { return m_name; }
    virtual CString GetErrorText() { return m_errorText; }

    int GetId() const { return m_id; }
    int GetState() const { return m_state; }
    void SetState(int state) { m_state = state; }
    // The sink the job reports to (not owned); the manager sets it.
    void SetProgress(CProgress* progress) { m_pProgress = progress; }
    CProgress* GetProgress() const { return m_pProgress; }

protected:
    // State 4 or 6 from the result; returns the result.
    bool Finish(bool ok);

    int m_id;
    int m_state;
    CProgress* m_pProgress;
    CString m_name;
    CString m_errorText;

private:
    CTransferJob(const CTransferJob&) = delete;
    CTransferJob& operator=(const CTransferJob&) = delete;
};

// GET of the URL into the file; done only when the whole answer arrived
// with HTTP 200.
class CTransferJob_Download : public CTransferJob
{
public:
    CTransferJob_Download(LPCWSTR url, LPCWSTR filePath);
    bool Run() override;

    CString m_url;
    CString m_filePath;
};

// POST of the file's bytes to the URL; the server's answer goes to the file
// path followed by ".ulog". Done only when the request completed (whole
// answer, HTTP 200) and the answer holds no non-zero "ErrorCode=".
class CTransferJob_Upload : public CTransferJob
{
public:
    CTransferJob_Upload(LPCWSTR url, LPCWSTR filePath);
    bool Run() override;
    // Opens the file (shared for reading, created when missing) and keeps
    // its size.
    bool QueryFileSize();

    CString m_url;
    CString m_filePath;
    DWORD m_fileSize;
};

// The code of an upload's answer file: the first line whose first ten
// characters are exactly "ErrorCode=" gives it, read as a decimal integer
// after leading blanks up to the first character that is not a digit (no
// digits: 0; too large: INT_MAX); later lines are not read. A file that
// cannot be opened, or has no such line, gives 0.
int ReadAnswerErrorCode(LPCWSTR answerPath);

// A ZIP archive holding the one file.
class CTransferJob_CreateZIP : public CTransferJob
{
public:
    CTransferJob_CreateZIP(LPCWSTR archivePath, LPCWSTR filePath, int first = 0, int second = 0);
    // Named "Tömörítés"; not used by the system.
    CTransferJob_CreateZIP(LPCWSTR archivePath, int first, int second);
    bool Run() override;

    CString m_archivePath;
    CString m_filePath;
    int m_first;
    int m_second;
};

// The first entry of the archive into the output file.
class CTransferJob_ExtractFromZIP : public CTransferJob
{
public:
    CTransferJob_ExtractFromZIP(LPCWSTR archivePath, LPCWSTR outputPath);
    bool Run() override;

    CString m_archivePath;
    CString m_outputPath;
};

// The backup container of the source file, keyed with the password.
class CTransferJob_Encrypt : public CTransferJob
{
public:
    CTransferJob_Encrypt(LPCWSTR source, LPCWSTR destination, LPCWSTR password);
    bool Run() override;

    CString m_source;
    CString m_destination;
    CString m_password;
};

// The plaintext of a backup container, or of an older RC4 backup: the AES
// result counts only when it starts with "<?xml "; otherwise RC4 is tried on
// the same source. A wrong password usually passes (RC4 has no check); the
// XML load then fails.
class CTransferJob_Decrypt : public CTransferJob
{
public:
    CTransferJob_Decrypt(LPCWSTR source, LPCWSTR destination, LPCWSTR password);
    bool Run() override;

    CString m_source;
    CString m_destination;
    CString m_password;
};

// Reads one Row element of the backup XML by position, from the node after
// the Row's start tag: each "data" start element is the next field (0 Ev,
// 1 Nr, 2-5 the texts cut to 200 characters, 6 Datum from exactly 19
// characters "YYYY-MM-DD hh:mm:ss", 7 CC cut to 48, 8 Hataridok cut to 1024,
// 9 Allapot; further fields are counted and ignored). An empty element keeps
// its field; any node but a text or the "data" end tag after a "data" start
// ends the row. True when at least 8 fields were counted. The record is
// expected zero-filled.
bool ReadXmlRow(XmlParser& parser, CUgyiratRecord& record);

// What the restore's jobs and the restore itself tell the user when memory
// runs out.
extern const wchar_t kOutOfMemoryText[];

// The cases of a backup XML, appended to the caller's vector, which grows
// once, to the number of Row tags in the file. The load fails, and appends
// nothing, unless every case row of the file gives a record: a token the
// reader could not place with rows after it, a damaged row, or a row list
// the file ends inside of fails it. Out of memory fails it with
// kOutOfMemoryText.
class CTransferJob_LoadFromXml : public CTransferJob
{
public:
    CTransferJob_LoadFromXml(LPCWSTR xmlPath, std::vector<CUgyiratRecord>* records);
    bool Run() override;
    int GetStepCount() override { return 20; }

    CString m_xmlPath;
    std::vector<CUgyiratRecord>* m_pRecords;

private:
    bool ReadRows(XmlParser& parser);
};

// Case keys present in both the download and the current data, only in the
// current data, and downloaded records only in the download.
struct CCompareCounts
{
    int m_nBoth;
    int m_nOnlyCurrent;
    int m_nOnlyDownloaded;
};

// Compares downloaded records with the case store of the application's data
// holder. An empty store leaves the counts as they were. In both: distinct
// store keys found in the download; only current: the store's count less
// that; only downloaded: downloaded records whose key the store lacks. Out
// of memory fails it with kOutOfMemoryText.
class CTransferJob_CompareDB : public CTransferJob
{
public:
    CTransferJob_CompareDB(const std::vector<CUgyiratRecord>* records, CCompareCounts* counts);
    bool Run() override;
    int GetStepCount() override { return 20; }

    const std::vector<CUgyiratRecord>* m_pRecords;
    CCompareCounts* m_pCounts;
};
