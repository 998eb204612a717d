#include "foundation/TempOutputFile.h"
#include <algorithm>
#include <atomic>
#include <vector>
#include "foundation/Log.h"

namespace {

// A path of the length limit or longer in its extended-length form, which
// the system takes up to 32,767 characters.
CString ExtendedIfLong(const CString& path)
{
    if (path.GetLength() < MAX_PATH || path.Left(4) == L"\\\\?\\")
        return path;
    DWORD size = GetFullPathNameW(path, 0, NULL, NULL);
    if (!size)
        return path;
    std::vector<WCHAR> full(size + 1);
    DWORD n = GetFullPathNameW(path, size + 1, full.data(), NULL);
    if (!n || n > size)
        return path;
    CString out(full.data());
    if (out.Left(2) == L"\\\\")
        return L"\\\\?\\UNC\\" + out.Mid(2);
    return L"\\\\?\\" + out;
}

} // namespace

CTempOutputFile::CTempOutputFile(LPCWSTR destination) : m_destination(destination), m_error(ERROR_SUCCESS)
{
    CString folder(m_destination);
    int slash = std::max(folder.ReverseFind(L'\\'), folder.ReverseFind(L'/'));
    if (slash >= 0)
        folder = folder.Left(slash + 1);
    else if (folder.GetLength() >= 2 && folder[1] == L':')
        folder = folder.Left(2);
    else
        folder.Empty();
    static std::atomic<unsigned> next(GetTickCount() ^ (GetCurrentProcessId() << 16));
    m_error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && (m_error == ERROR_FILE_EXISTS || m_error == ERROR_ALREADY_EXISTS);
         ++attempt) {
        CString name;
        name.Format(L"~fnx%08X.tmp", next++);
        CString temp = ExtendedIfLong(folder + name);
        HANDLE file = CreateFileW(temp, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            m_temp = temp;
            m_error = ERROR_SUCCESS;
            return;
        }
        m_error = GetLastError();
    }
    LogFormat(L"CTempOutputFile - no temporary file beside %s (error %u)", destination, (unsigned)m_error);
}

CTempOutputFile::~CTempOutputFile()
{
    if (!m_temp.IsEmpty())
        DeleteFileW(m_temp);
}

bool CTempOutputFile::Commit()
{
    if (m_temp.IsEmpty())
        return false;
    if (MoveFileExW(m_temp, ExtendedIfLong(m_destination), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        m_temp.Empty();
        return true;
    }
    const DWORD error = GetLastError();
    LogFormat(L"CTempOutputFile::Commit - MoveFileEx error %u for %s", (unsigned)error, (LPCWSTR)m_destination);
    SetLastError(error);
    return false;
}
