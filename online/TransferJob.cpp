#include "online/TransferJob.h"
#include <limits.h>
#include "foundation/Log.h"
#include "online/AesCipher.h"
#include "online/CryptoApiCipher.h"
#include "online/VapiRequest.h"
#include "online/ZipFile.h"

const wchar_t kOutOfMemoryText[] = L"Nincs elég memória a letöltött adatok beolvasásához; a korábbi adatok nem változtak.";

namespace {

volatile LONG g_lastJobId = 0;

// Whether the file starts with the bytes of the text.
bool FileStartsWith(LPCWSTR path, const char* text)
{
    HANDLE hFile = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    char head[16] = {0};
    DWORD length = (DWORD)strlen(text);
    DWORD read = 0;
    bool ok = length <= sizeof(head) && ReadFile(hFile, head, length, &read, NULL) && read == length &&
              memcmp(head, text, length) == 0;
    CloseHandle(hFile);
    return ok;
}

} // namespace

// ---------------------------------------------------------------------------
// CTransferJob

CTransferJob::CTransferJob()
    : m_id((int)InterlockedIncrement(&g_lastJobId)), m_state(STATE_CONSTRUCTED), m_pProgress(NULL)
{
}

CTransferJob::~CTransferJob()
{
}

bool CTransferJob::Finish(bool ok)
{
    m_state = ok ? STATE_DONE : STATE_FAILED;
    return ok;
}

// ---------------------------------------------------------------------------
// Download

CTransferJob_Download::CTransferJob_Download(LPCWSTR url, LPCWSTR filePath) : m_url(url), m_filePath(filePath)
{
    m_state = STATE_QUEUED;
}

bool CTransferJob_Download::Run()
{
    m_state = STATE_RUNNING;
    CTempOutputFile output(m_filePath);
    if (output.Path().IsEmpty())
        return Finish(false);
    CVapiRequest request;
    request.SetProgress(m_pProgress);
    request.Download(m_url, output.Path(), 0);
    if (!request.IsCompleted()) {
        LogFormat(L"Download failed: %s (error %u, status %u)", (LPCWSTR)m_url, (unsigned)request.GetResult(),
                  (unsigned)request.GetStatusCode());
        return Finish(false);
    }
    return Finish(output.Commit());
}

// ---------------------------------------------------------------------------
// Upload

CTransferJob_Upload::CTransferJob_Upload(LPCWSTR url, LPCWSTR filePath)
    : m_url(url), m_filePath(filePath), m_fileSize(0)
{
    m_state = STATE_QUEUED;
}

bool CTransferJob_Upload::QueryFileSize()
{
    HANDLE hFile =
        CreateFileW(m_filePath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    m_fileSize = GetFileSize(hFile, NULL);
    CloseHandle(hFile);
    return m_fileSize != INVALID_FILE_SIZE;
}

int ReadAnswerErrorCode(LPCWSTR answerPath)
{
    HANDLE hFile =
        CreateFileW(answerPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    // Line by line without holding a line: only a line's first ten
    // characters and, after "ErrorCode=", its blanks and digits matter.
    static const char kKey[] = "ErrorCode=";
    const int keyLength = 10;
    enum { KEY, BLANKS, DIGITS, SKIP } phase = KEY;
    int column = 0;
    long long code = 0;
    bool found = false;
    char buffer[4096];
    DWORD read = 0;
    while (!found && ReadFile(hFile, buffer, sizeof(buffer), &read, NULL) && read > 0) {
        for (DWORD i = 0; i < read && !found; ++i) {
            char c = buffer[i];
            if (c == '\n') {
                if (phase == BLANKS || phase == DIGITS)
                    found = true;
                phase = KEY;
                column = 0;
                continue;
            }
            switch (phase) {
            case KEY:
                if (c == kKey[column]) {
                    if (++column == keyLength)
                        phase = BLANKS;
                } else {
                    phase = SKIP;
                }
                break;
            case BLANKS:
                if (c == ' ' || c == '\t')
                    break;
                phase = DIGITS;
                // fall through
            case DIGITS:
                if (c >= '0' && c <= '9') {
                    code = code * 10 + (c - '0');
                    if (code > INT_MAX)
                        code = INT_MAX;
                } else {
                    found = true;
                }
                break;
            case SKIP:
                break;
            }
        }
    }
    CloseHandle(hFile);
    return (int)code;
}

bool CTransferJob_Upload::Run()
{
    m_state = STATE_RUNNING;
    CString answerPath = m_filePath + L".ulog";
    CVapiRequest request;
    request.SetProgress(m_pProgress);
    request.PostFile(m_url, answerPath, m_filePath);
    if (!request.IsCompleted()) {
        LogFormat(L"Upload failed: %s (error %u, status %u)", (LPCWSTR)m_url, (unsigned)request.GetResult(),
                  (unsigned)request.GetStatusCode());
        return Finish(false);
    }
    int code = ReadAnswerErrorCode(answerPath);
    if (code != 0) {
        LogFormat(L"Upload failed: %s (ErrorCode=%d)", (LPCWSTR)m_url, code);
        return Finish(false);
    }
    return Finish(true);
}

// ---------------------------------------------------------------------------
// CreateZIP

CTransferJob_CreateZIP::CTransferJob_CreateZIP(LPCWSTR archivePath, LPCWSTR filePath, int first, int second)
    : m_archivePath(archivePath), m_filePath(filePath), m_first(first), m_second(second)
{
    m_state = STATE_QUEUED;
}

CTransferJob_CreateZIP::CTransferJob_CreateZIP(LPCWSTR archivePath, int first, int second)
    : m_archivePath(archivePath), m_first(first), m_second(second)
{
    m_state = STATE_QUEUED;
    m_name = L"Tömörítés";
}

bool CTransferJob_CreateZIP::Run()
{
    m_state = STATE_RUNNING;
    CTempOutputFile output(m_archivePath);
    if (output.Path().IsEmpty())
        return Finish(false);
    CZipFile zip;
    bool ok = zip.Create(output.Path()) && zip.AddFile(m_filePath);
    // Only a finished archive (its central directory written) can be read.
    if (!zip.Close())
        ok = false;
    return Finish(ok && output.Commit());
}

// ---------------------------------------------------------------------------
// ExtractFromZIP

CTransferJob_ExtractFromZIP::CTransferJob_ExtractFromZIP(LPCWSTR archivePath, LPCWSTR outputPath)
    : m_archivePath(archivePath), m_outputPath(outputPath)
{
    m_state = STATE_QUEUED;
    m_name = L"Tömörítés kibontása";
}

bool CTransferJob_ExtractFromZIP::Run()
{
    m_state = STATE_RUNNING;
    CTempOutputFile output(m_outputPath);
    if (output.Path().IsEmpty())
        return Finish(false);
    return Finish(ExtractFirstZipEntry(m_archivePath, output.Path()) && output.Commit());
}

// ---------------------------------------------------------------------------
// Encrypt, Decrypt

CTransferJob_Encrypt::CTransferJob_Encrypt(LPCWSTR source, LPCWSTR destination, LPCWSTR password)
    : m_source(source), m_destination(destination), m_password(password)
{
    m_state = STATE_QUEUED;
    m_name = L"Titkosítás";
}

bool CTransferJob_Encrypt::Run()
{
    m_state = STATE_RUNNING;
    if (m_password.IsEmpty())
        return Finish(false);
    CTempOutputFile output(m_destination);
    if (output.Path().IsEmpty())
        return Finish(false);
    CAesCipher cipher((LPCWSTR)m_password);
    return Finish(cipher.EncryptFile(m_source, output.Path()) && output.Commit());
}

CTransferJob_Decrypt::CTransferJob_Decrypt(LPCWSTR source, LPCWSTR destination, LPCWSTR password)
    : m_source(source), m_destination(destination), m_password(password)
{
    m_state = STATE_QUEUED;
    m_name = L"Titkosítás visszafejtése";
}

bool CTransferJob_Decrypt::Run()
{
    m_state = STATE_RUNNING;
    if (m_password.IsEmpty())
        return Finish(false);
    CTempOutputFile output(m_destination);
    bool ok = false;
    if (!output.Path().IsEmpty()) {
        // An older RC4 backup may happen to look like a container; only a
        // plaintext that is a backup XML shows that AES was right.
        CAesCipher aes((LPCWSTR)m_password);
        ok = aes.DecryptFile(m_source, output.Path()) && FileStartsWith(output.Path(), "<?xml ");
        if (!ok) {
            CCryptoApiCipher rc4(m_password, CALG_RC4);
            ok = rc4.DecryptFile(m_source, output.Path());
        }
        ok = ok && output.Commit();
    }
    if (!ok) {
        m_errorText = L"Hiba a titkosítás visszafejtése során.";
        LogFormat(L"Decrypt failed: %s", (LPCWSTR)m_source);
    }
    return Finish(ok);
}
