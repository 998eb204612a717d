// Helpers shared by the test programs. Each test program is its own
// application (its base name is the application key below
// HKCU\Software\Orvane), so programs never see each other's values.
#pragma once
#include <windows.h>
#include <string>
#include "afxapp.h"

namespace testing_support {

// The application object of the test program, with the registry root set
// as the program sets it.
CWinApp* App();

// Deletes HKCU\Software\Orvane\<application name> with everything below it.
void ResetProfile();
// Deletes a folder with everything in it.
void RemoveTree(LPCWSTR path);
// Deletes %LOCALAPPDATA%\Folionex\<key> with everything in it.
void RemoveDataFolder(LPCWSTR key);
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

// The benchmarks' clock: a reading, and the milliseconds between two.
LARGE_INTEGER ClockNow();
double ElapsedMs(LARGE_INTEGER from, LARGE_INTEGER to);

// Registry reads without the class library, for checking what was written.
bool ReadRegString(HKEY root, LPCWSTR subKey, LPCWSTR name, CString& value);
bool ReadRegDword(HKEY root, LPCWSTR subKey, LPCWSTR name, DWORD& value);

} // namespace testing_support
