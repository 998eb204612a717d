// Helpers shared by the test programs. Each test program is its own
// application (its base name is the application key below
// HKCU\Software\Orvane), so programs never see each other's values.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <utility>
#include <vector>
#include "afxapp.h"

namespace testing_support {

// The application object of the test program, with the registry root set
// as the program sets it.
CWinApp* App();

// Deletes HKCU\Software\Orvane\<application name> with everything below it.
void ResetProfile();
// Deletes %LOCALAPPDATA%\Folionex\<key> with everything in it.
void RemoveDataFolder(LPCWSTR key);
// Deletes a folder (a final backslash is allowed) with everything in it.
void RemoveFolder(LPCWSTR path);
// %LOCALAPPDATA%\Folionex\<key>\ (without creating it).
CString DataFolderPath(LPCWSTR key);

std::string ReadFileBytes(LPCWSTR path);
bool WriteFileBytes(LPCWSTR path, const std::string& bytes);
bool FileExists(LPCWSTR path);

// The folder of the running test program, with a final backslash.
CString ProgramFolder();

// A log line's time stamp "yyyy.mm.dd hh:mm:ss ": true when the line starts
// with one, and the text after it goes to rest.
bool SplitStamp(const std::wstring& line, std::wstring* rest);
// The lines of a text, each ended by a line feed (an unended tail is left out).
std::vector<std::wstring> SplitLines(const std::wstring& text);
// The lines of a log file (UTF-16LE), the text after the time stamp of
// those that have one.
std::vector<std::wstring> ReadLogTexts(LPCWSTR path);

// The benchmarks' clock: a reading, and the milliseconds between two.
LARGE_INTEGER ClockNow();
double ElapsedMs(LARGE_INTEGER from, LARGE_INTEGER to);

// A 32-bit top-down bitmap selected into a memory context, filled with
// one colour, to draw into and read back.
class CDibCanvas
{
public:
    CDibCanvas(int width, int height, COLORREF fill = RGB(255, 255, 255));
    ~CDibCanvas();
    CDibCanvas(const CDibCanvas&) = delete;
    CDibCanvas& operator=(const CDibCanvas&) = delete;

    COLORREF Pixel(int x, int y) const;
    // How many pixels of the rectangle [x0, x1) x [y0, y1) have the colour.
    int Count(COLORREF colour, int x0, int x1, int y0, int y1) const;

    HDC dc;

private:
    COLORREF At(int x, int y) const;

    HBITMAP m_bitmap;
    HGDIOBJ m_old;
    DWORD* m_bits;
    int m_width;
};

// While it lives, calls this program makes to an imported function (by DLL
// and function name) go to the replacement: its import address table entry
// is patched. Hooked() says whether the entry was found.
class CImportHook
{
public:
    CImportHook(LPCSTR dll, LPCSTR function, void* replacement);
    ~CImportHook();
    CImportHook(const CImportHook&) = delete;
    CImportHook& operator=(const CImportHook&) = delete;
    bool Hooked() const { return m_entry != NULL; }

private:
    void** m_entry;
    void* m_original;
};

// Registry reads without the class library, for checking what was written.
bool ReadRegString(HKEY root, LPCWSTR subKey, LPCWSTR name, CString& value);
bool ReadRegDword(HKEY root, LPCWSTR subKey, LPCWSTR name, DWORD& value);

// What the outermost frame of a thread or of a Windows callback must catch,
// one of each kind, named: out of memory, a standard exception, an
// exception object of the class library, and anything else.
typedef std::vector<std::pair<const char*, std::function<void()>>> Raisers;
Raisers EveryKindOfException();

} // namespace testing_support
