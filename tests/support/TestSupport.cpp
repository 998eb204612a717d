#include "support/TestSupport.h"
#include "app/VelindoApp.h"
#include <shlobj.h>
#include <shlwapi.h>

namespace testing_support {

CWinApp* App()
{
    if (!theApp.m_pszRegistryKey)
        theApp.SetRegistryKey(L"Orvane");
    return &theApp;
}

void ResetProfile()
{
    CString path = CString(L"Software\\Orvane\\") + App()->m_pszAppName;
    RegDeleteTreeW(HKEY_CURRENT_USER, path);
    RegDeleteKeyW(HKEY_CURRENT_USER, path);
}

CString DataFolderPath(LPCWSTR key)
{
    wchar_t buf[MAX_PATH] = {0};
    SHGetFolderPathW(NULL, CSIDL_LOCAL_APPDATA, NULL, 0, buf);
    CString path(buf);
    return path + L"\\Folionex\\" + key + L"\\";
}

void RemoveTree(LPCWSTR path)
{
    CString folder(path);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(folder + L"\\*", &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            CString name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            CString child = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder);
}

void RemoveDataFolder(LPCWSTR key)
{
    CString path = DataFolderPath(key);
    path.TrimRight(L'\\');
    if (PathFileExistsW(path))
        RemoveTree(path);
}

std::string ReadFileBytes(LPCWSTR path)
{
    std::string out;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    char buf[65536];
    DWORD got;
    while (ReadFile(h, buf, sizeof(buf), &got, NULL) && got)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

bool WriteFileBytes(LPCWSTR path, const std::string& bytes)
{
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    BOOL ok = WriteFile(h, bytes.data(), (DWORD)bytes.size(), &put, NULL);
    CloseHandle(h);
    return ok && put == bytes.size();
}

bool FileExists(LPCWSTR path)
{
    return PathFileExistsW(path) != FALSE;
}

CString ProgramFolder()
{
    wchar_t buf[MAX_PATH] = {0};
    GetModuleFileNameW(NULL, buf, MAX_PATH);
    CString path(buf);
    return path.Left(path.ReverseFind(L'\\') + 1);
}

LARGE_INTEGER ClockNow()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

double ElapsedMs(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return 1000.0 * double(to.QuadPart - from.QuadPart) / double(f.QuadPart);
}

bool SplitStamp(const std::wstring& line, std::wstring* rest)
{
    static const wchar_t mask[] = L"9999.99.99 99:99:99 ";
    const size_t n = wcslen(mask);
    if (line.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        if (mask[i] == L'9' ? !iswdigit(line[i]) : line[i] != mask[i])
            return false;
    }
    if (rest)
        *rest = line.substr(n);
    return true;
}

bool ReadRegString(HKEY root, LPCWSTR subKey, LPCWSTR name, CString& value)
{
    wchar_t buf[4096];
    DWORD size = sizeof(buf), type = 0;
    if (RegGetValueW(root, subKey, name, RRF_RT_REG_SZ, &type, buf, &size) != ERROR_SUCCESS)
        return false;
    value = buf;
    return true;
}

bool ReadRegDword(HKEY root, LPCWSTR subKey, LPCWSTR name, DWORD& value)
{
    DWORD size = sizeof(value), type = 0;
    return RegGetValueW(root, subKey, name, RRF_RT_REG_DWORD, &type, &value, &size) == ERROR_SUCCESS;
}

} // namespace testing_support
