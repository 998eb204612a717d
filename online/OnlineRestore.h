// COnlineRestore: the account's backup from the web service back into the
// central database (through the case store) or into the local backup file.
//
// The download, unpacking, deciphering and reading run as a transfer; a
// loader thread of its own then writes the downloaded cases, either into
// the central table in one transaction on a session of its own, or into a
// new backup file beside the old one that replaces it only when complete.
// The loader never touches the store's map: after a committed central load
// the calling (UI) thread swaps in a map built from the downloaded records.
#pragma once
#include <windows.h>
#include <atomic>
#include <vector>
#include "afxstr.h"
#include "storage/UgyiratRecord.h"

class CWnd;
class CProgress;
class CUgyiratStore;
class CProgressDlg;

class COnlineRestore
{
public:
    // toBackupFile: false the central database, true the local backup file.
    COnlineRestore(bool toBackupFile, CWnd* pParent);
    ~COnlineRestore();
    COnlineRestore(const COnlineRestore&) = delete;
    COnlineRestore& operator=(const COnlineRestore&) = delete;

    // 1 when the restore ran through and stored the data, else 0.
    int Start(bool silent);

    virtual bool IsRunning() const { return false; }
    // Out of memory in any step writes nothing (or, after the records were
    // written, leaves them): the user reads that memory ran out, the log
    // says in which step.
    virtual bool Run();
    virtual void OnSkipped();

    // The download address of the account's backup, or empty.
    CString QueryRestoreUrl();
    // Runs the loader thread (behind its progress dialog unless silent) and
    // waits for it; true when the records were stored.
    bool LoadRecords();
    // The loader's work, on the loader thread.
    bool StoreRecords();
    static DWORD WINAPI LoadThreadProc(LPVOID parameter);

    // "Letöltés" at start-up: a restore into the backup file owned by the
    // window, not silent; Start's result.
    static int RestoreIntoBackupFile(CWnd* owner);

    // The downloaded records (filled by the transfer).
    const std::vector<CUgyiratRecord>& GetRecords() const { return m_records; }
    bool IsTargetBackupFile() const { return m_bToBackupFile; }

protected:
    // The steps of Run.
    bool RunSteps();
    void ReportOutOfMemory();
    // Whether the transfer's cases may be written at all: each must have a
    // key of its own in the store (logged when one has not).
    bool CheckStorable() const;
    bool StoreIntoBackupFile(int& done);
    // After a committed central load, on the starting thread: the store's
    // map becomes the downloaded cases. When memory runs out for the new map
    // the old one stays and the cases are read back from the table instead;
    // false when that fails too (the list then shows the previous cases).
    bool SwapInRecords(CUgyiratStore& store);
    bool StoreIntoCentral(int& done);
    // Between records: the cancel flag, or an abort asked for in the dialog
    // (acknowledged here).
    bool StopRequested();
    void ReportPosition(int done, int count);
    // The loader's last record: the completed texts, the aborted ones, or
    // the failed text (by default saying that nothing was changed).
    void ReportEnd(bool ok, bool stopped, LPCWSTR failedText = NULL);
    // The loader's end when its work threw: logged, the end reported.
    void LoaderFailed();

    // Thread start states: the loader works only when it claims the start
    // before the starter gives it up (a dialog that never opened).
    enum { THREAD_WAITING = 0, THREAD_STARTED = 1, THREAD_ABANDONED = 2 };

    bool m_bToBackupFile;
    bool m_bSilent;
    HANDLE m_hLoaderThread;
    DWORD m_loaderThreadId;
    CProgress* m_pProgress;
    CWnd* m_pParent;
    std::atomic<bool> m_cancel;
    std::atomic<bool> m_loaderResult;
    // Set by the loader once the central transaction is committed or the
    // new backup file has replaced the old one: the target then holds the
    // downloaded records, whatever the dialog says.
    std::atomic<bool> m_committed;
    std::atomic<int> m_threadStart;
    std::vector<CUgyiratRecord> m_records;
    // The step Run is in, for the log when memory runs out.
    LPCWSTR m_step;
    // Taken on the starting thread before the loader runs.
    CString m_backupFile;
    CString m_connection;
};
