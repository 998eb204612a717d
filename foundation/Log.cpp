#include "foundation/Log.h"
#include "foundation/AppSettings.h"
#include "afxfile.h"
#include "afxmt.h"
#include <time.h>
#include <exception>
#include <new>
#include <vector>

namespace {

CCriticalSection g_logLock;
CString g_logPrefix;
CString g_logPath;

const UINT kLogOpenFlags = CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite |
                           CFile::typeUnicode; // 0x3402: no sharing

bool LogOpenFile(CStdioFile& file)
{
    if (g_logPath.IsEmpty()) {
        CAppSettings* settings = GetAppSettings();
        if (!settings)
            return false;
        g_logPath = settings->GetDataFolder() + CAppSettings::GetExeBaseName() + L".log";
    }
    return file.Open(g_logPath, kLogOpenFlags) != FALSE;
}

void LogWriteStamped(CStdioFile& file, const CString& text)
{
    __time64_t now = _time64(NULL);
    struct tm t = {};
    _localtime64_s(&t, &now);
    CString line;
    line.Format(L"%d.%02d.%02d %02d:%02d:%02d %s\n", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec, (LPCWSTR)text);
    file.SeekToEnd();
    file.WriteString(line);
}

} // namespace

// Logging never throws: a message that cannot be written (the file is held
// elsewhere, a write fails, memory ran out) is lost alone. The handlers of
// out-of-memory failures log too.
void LogLine(LPCWSTR text)
{
    if (!text)
        return;
    CSingleLock lock(&g_logLock, TRUE);
    CStdioFile file;
    try {
        if (!LogOpenFile(file))
            return;
        // Empty pieces are skipped; the walk goes on with the next one, so no
        // text after an empty line is lost.
        std::vector<wchar_t> copy(text, text + wcslen(text) + 1);
        wchar_t* piece = copy.data();
        bool stamped = false;
        for (;;) {
            wchar_t* lf = wcschr(piece, L'\n');
            if (lf)
                *lf = 0;
            CString trimmed(piece);
            trimmed.Trim();
            if (!trimmed.IsEmpty()) {
                if (!stamped) {
                    LogWriteStamped(file, g_logPrefix + trimmed);
                    stamped = true;
                } else {
                    file.SeekToEnd();
                    file.WriteString(CString(L' ', 20) + g_logPrefix + trimmed + L"\n");
                }
            }
            if (!lf)
                break;
            piece = lf + 1;
        }
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    file.Close();
}

void LogFormat(LPCWSTR format, ...)
{
    std::vector<wchar_t> buffer;
    try {
        buffer.assign(16384, L'\0');
    } catch (...) {
        return;
    }
    va_list args;
    va_start(args, format);
    AfxFormatBounded(buffer.data(), 16383, format, args);
    va_end(args);
    LogLine(buffer.data());
}

bool LogCaughtException(LPCWSTR where)
{
    if (!where)
        where = L"";
    wchar_t text[512] = L"";
    bool outOfMemory = false;
    try {
        throw;
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    } catch (const std::exception& e) {
        MultiByteToWideChar(CP_ACP, 0, e.what(), -1, text, _countof(text) - 1);
        if (!text[0])
            wcscpy(text, L"a standard exception");
    } catch (CException* e) {
        outOfMemory = dynamic_cast<CMemoryException*>(e) != NULL;
        try {
            if (!outOfMemory && !e->GetErrorMessage(text, _countof(text)))
                text[0] = 0;
        } catch (...) {
            text[0] = 0;
        }
        if (!text[0])
            wcscpy(text, L"an exception of the class library");
        e->Delete();
    } catch (...) {
        wcscpy(text, L"an unknown exception");
    }
    if (outOfMemory)
        wcscpy(text, L"out of memory");
    LogFormat(L"%s: %s", where, text);
    return outOfMemory;
}

// Both take the lock too, so that a thread writing a message never reads a
// half-assigned text.
void LogSetPrefix(LPCWSTR prefix)
{
    CSingleLock lock(&g_logLock, TRUE);
    g_logPrefix = prefix;
}

void LogResetPath()
{
    CSingleLock lock(&g_logLock, TRUE);
    g_logPath.Empty();
}
