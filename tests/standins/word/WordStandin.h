// What the test stand-in for Word and the tests that drive it share: the
// class it registers, where it keeps its files, and the ZIP packages a
// .docx is made of.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace word_standin {

// {7D3A1C52-9E4B-4F60-8B21-5A6C0D9E3F14}, registered under the ProgID "Word.Application".
extern const CLSID CLSID_WordStandin;
extern const wchar_t kClsidText[];
extern const wchar_t kProgId[];

// The environment variable naming the folder of the stand-in's files:
// control.txt (the knobs, read at every call) and calls.log (one line per
// call). A server started by COM inherits its client's environment.
extern const wchar_t kDataVariable[];
extern const wchar_t kControlFile[];
extern const wchar_t kCallsFile[];

// Writes the class, its ProgID and LocalServer32 (the quoted server path)
// below HKEY_CLASSES_ROOT; removes them again.
bool RegisterServer(const std::wstring& serverPath);
bool UnregisterServer();

// One file of a ZIP package, its name as stored (UTF-8, forward slashes).
struct PackageEntry
{
    std::string name;
    std::string data;
};

// Reads every entry of the package at path; false with a reason when the
// file is missing, not a ZIP archive or damaged.
bool ReadPackage(const std::wstring& path, std::vector<PackageEntry>& entries, std::wstring& error);
// Writes the entries, deflated, as a new ZIP file at path (replaced when it exists).
bool WritePackage(const std::wstring& path, const std::vector<PackageEntry>& entries);

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

} // namespace word_standin
