// XmlParser::Load: the file system, the conversion and the log, apart from
// the token core so that the core builds without Windows.
#include "online/XmlParser.h"
#include <windows.h>
#include <limits.h>
#include <string.h>
#include <new>
#include "foundation/Log.h"

namespace {

class CReadFile
{
public:
    explicit CReadFile(const wchar_t* name)
        : m_h(CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL)) {}
    ~CReadFile()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
    }
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h;
};

} // namespace

bool XmlParser::Load(const wchar_t* fileName)
{
    Reset();
    if (!fileName)
        fileName = L"";
    CReadFile file(fileName);
    if (file.Get() == INVALID_HANDLE_VALUE) {
        LogFormat(L"XmlParser - File open error (%u)! %s", (unsigned)GetLastError(), fileName);
        return false;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size))
        size.QuadPart = 0;
    if (size.QuadPart <= 6) {
        LogFormat(L"XmlParser - File length error (%u byte)! %s", (unsigned)size.QuadPart, fileName);
        return false;
    }
    // The conversion takes a signed 32-bit count, and the text's length in
    // UTF-16 units never exceeds the count of bytes.
    if (size.QuadPart > INT_MAX - 1) {
        LogFormat(L"XmlParser - File too long (%I64d byte)! %s", size.QuadPart, fileName);
        return false;
    }
    const DWORD total = (DWORD)size.QuadPart;
    std::unique_ptr<char[]> bytes(new (std::nothrow) char[total + 1]);
    if (!bytes) {
        m_outOfMemory = true;
        LogFormat(L"XmlParser - Out of memory reading %u bytes! %s", (unsigned)total, fileName);
        return false;
    }
    DWORD done = 0;
    while (done < total) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), bytes.get() + done, total - done, &got, NULL) || got == 0)
            break;
        done += got;
    }
    bytes[done] = 0;
    if (done < total || _strnicmp(bytes.get(), "<?xml ", 6) != 0) {
        LogFormat(L"XmlParser - Invalide XML format error! %s", fileName);
        return false;
    }
    const int units = MultiByteToWideChar(CP_UTF8, 0, bytes.get(), (int)total, NULL, 0);
    std::unique_ptr<wchar_t[]> text(units > 0 ? new (std::nothrow) wchar_t[(size_t)units + 1] : nullptr);
    if (!text) {
        m_outOfMemory = units > 0;
        LogFormat(L"XmlParser - Out of memory converting %u bytes! %s", (unsigned)total, fileName);
        return false;
    }
    MultiByteToWideChar(CP_UTF8, 0, bytes.get(), (int)total, text.get(), units);
    text[units] = 0;
    bytes.reset();
    Attach(std::move(text), (uint32_t)units);
    return true;
}
