#include "exchange/SablonList.h"
#include "afxapp.h"
#include "exchange/WordAutomation.h"
#include "foundation/Log.h"
#include "storage/UgyiratRecord.h"
#include <shellapi.h>
#include <shlwapi.h>
#include <string>

namespace {

const wchar_t kSelectIfNotExists[] = L"selectIfNotExists";
const wchar_t kInsertFields[] = L"insertFields";
const REGSAM kKeyRights = KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE;
// Option texts are read into 512 bytes; one character more for the terminator.
const DWORD kDataBytes = 512;

// Folder and file joined, or false when the result would not fit MAX_PATH.
bool JoinPath(const CString& folder, const CString& file, CString& joined)
{
    wchar_t buf[MAX_PATH] = {0};
    if (!PathCombineW(buf, folder, file))
        return false;
    joined = buf;
    return true;
}

// "a\b\c" as a list of one path for SHFileOperationW (two terminators).
std::wstring ShellPathList(const CString& folder, const CString& file)
{
    std::wstring list(folder.GetString());
    list += L'\\';
    list += file.GetString();
    list.push_back(L'\0');
    return list;
}

ULONGLONG FileTimeValue(const FILETIME& t)
{
    return ((ULONGLONG)t.dwHighDateTime << 32) | t.dwLowDateTime;
}

// Whether the case folder's file is the template's fresh copy: the shell
// copies the template's last-write time along, so a file the user kept
// (answering No to the replacement) differs in size or time. A FAT volume
// keeps times to 2 seconds.
bool IsCopyOf(LPCWSTR copy, LPCWSTR source)
{
    const ULONGLONG kTimeSlack = 2 * 10000000ULL; // 100-ns units
    WIN32_FILE_ATTRIBUTE_DATA a, b;
    if (!GetFileAttributesExW(copy, GetFileExInfoStandard, &a) ||
        !GetFileAttributesExW(source, GetFileExInfoStandard, &b))
        return false;
    ULONGLONG ta = FileTimeValue(a.ftLastWriteTime), tb = FileTimeValue(b.ftLastWriteTime);
    return a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
           (ta > tb ? ta - tb : tb - ta) <= kTimeSlack;
}

HKEY OpenSablonKey(REGSAM rights)
{
    CString path = GetSablonKeyPath();
    HKEY hKey = NULL;
    if (path.IsEmpty() || RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, rights, &hKey) != ERROR_SUCCESS)
        return NULL;
    return hKey;
}

} // namespace

LPCWSTR GetSablonKeyName()
{
    return L"Sablon";
}

CString GetSablonKeyPath()
{
    CWinApp* app = AfxGetApp();
    if (!app || !app->m_pszRegistryKey)
        return CString();
    return CString(L"Software\\") + app->m_pszRegistryKey + L"\\Folionex\\" + GetSablonKeyName();
}

CSablonList::CSablonList(LPCWSTR caseFolder) : m_nextId(1), m_caseFolder(caseFolder ? caseFolder : L"") {}

int CSablonList::Reload()
{
    m_entries.clear();
    HKEY hKey = OpenSablonKey(kKeyRights);
    if (!hKey) {
        CString path = GetSablonKeyPath();
        if (path.IsEmpty() || RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, NULL, 0, kKeyRights, NULL, &hKey, NULL) !=
                                  ERROR_SUCCESS)
            return -1;
        RegCloseKey(hKey);
        return 0;
    }
    DWORD values = 0, longestName = 0;
    if (RegQueryInfoKeyW(hKey, NULL, NULL, NULL, NULL, NULL, NULL, &values, &longestName, NULL, NULL, NULL) !=
        ERROR_SUCCESS)
        values = 0;
    std::wstring name(longestName + 1, L'\0');
    wchar_t data[kDataBytes / sizeof(wchar_t) + 1];
    for (DWORD i = 0; i < values; ++i) {
        // Both sizes are in and out: set them again for every value.
        DWORD nameChars = longestName + 1;
        DWORD dataBytes = kDataBytes;
        DWORD type = 0;
        if (RegEnumValueW(hKey, i, &name[0], &nameChars, NULL, &type, (LPBYTE)data, &dataBytes) != ERROR_SUCCESS)
            continue;
        data[dataBytes / sizeof(wchar_t)] = 0;
        Add(name.c_str(), false, data);
    }
    RegCloseKey(hKey);
    return (int)m_entries.size();
}

SablonEntry* CSablonList::Find(int id)
{
    for (SablonEntry& e : m_entries)
        if (e.id == id)
            return &e;
    return NULL;
}

int CSablonList::Add(LPCWSTR path, bool store, LPCWSTR options)
{
    if (!path)
        return -1;
    LPCWSTR file = PathFindFileNameW(path);
    if (!file || !*file || file == path)
        return -1;
    int folderLength = (int)(wcslen(path) - wcslen(file)) - 1;
    if (folderLength < 1)
        return -1;
    SablonEntry entry;
    entry.fileName = file;
    entry.folder = CString(path).Left(folderLength);
    for (const SablonEntry& e : m_entries)
        if (_wcsicmp(e.folder, entry.folder) == 0 && _wcsicmp(e.fileName, entry.fileName) == 0)
            return -2;
    entry.id = m_nextId++;
    entry.options = options ? options : L"";
    entry.flags = 0;
    CString joined;
    if (JoinPath(entry.folder, entry.fileName, joined) && PathFileExistsW(joined))
        entry.flags |= SABLON_FILE_EXISTS;
    if (!m_caseFolder.IsEmpty() && JoinPath(m_caseFolder, entry.fileName, joined) && PathFileExistsW(joined))
        entry.flags |= SABLON_IN_CASE_FOLDER;
    m_entries.push_back(entry);
    if (store)
        Store(entry);
    return entry.id;
}

bool CSablonList::Store(const SablonEntry& entry)
{
    CString joined;
    if (!JoinPath(entry.folder, entry.fileName, joined))
        return false;
    HKEY hKey = OpenSablonKey(KEY_SET_VALUE);
    if (!hKey)
        return false;
    LONG rc = RegSetValueExW(hKey, joined, 0, REG_SZ, (const BYTE*)(LPCWSTR)entry.options,
                             (DWORD)(entry.options.GetLength() + 1) * sizeof(wchar_t));
    RegCloseKey(hKey);
    return rc == ERROR_SUCCESS;
}

bool CSablonList::Remove(int id)
{
    SablonEntry* entry = Find(id);
    CString joined;
    if (!entry || !JoinPath(entry->folder, entry->fileName, joined))
        return false;
    HKEY hKey = OpenSablonKey(KEY_SET_VALUE);
    if (!hKey)
        return false;
    LONG rc = RegDeleteValueW(hKey, joined);
    RegCloseKey(hKey);
    if (rc != ERROR_SUCCESS)
        return false;
    Reload();
    return true;
}

void CSablonList::Choose(int id)
{
    if (SablonEntry* entry = Find(id))
        entry->flags |= SABLON_CHOSEN;
}

void CSablonList::SetOptions(SablonEntry& entry, int bits, bool store)
{
    switch (bits & (SABLON_SELECT_IF_NOT_EXISTS | SABLON_INSERT_FIELDS)) {
    case SABLON_SELECT_IF_NOT_EXISTS:
        entry.options = kSelectIfNotExists;
        break;
    case SABLON_INSERT_FIELDS:
        entry.options = kInsertFields;
        break;
    case SABLON_SELECT_IF_NOT_EXISTS | SABLON_INSERT_FIELDS:
        entry.options.Format(L"%s,%s", kSelectIfNotExists, kInsertFields);
        break;
    default:
        entry.options.Empty();
        break;
    }
    if (store)
        Store(entry);
}

int CSablonList::GetOptions(const SablonEntry& entry)
{
    int bits = 0;
    if (wcsstr(entry.options, kSelectIfNotExists))
        bits |= SABLON_SELECT_IF_NOT_EXISTS;
    if (wcsstr(entry.options, kInsertFields))
        bits |= SABLON_INSERT_FIELDS;
    return bits;
}

void CSablonList::CopyChosen(const CUgyiratRecord* record)
{
    // Without a case folder the copies would land in the root of the drive.
    if (m_caseFolder.IsEmpty()) {
        LogLine(L"CSablonList::CopyChosen: no case folder");
        return;
    }
    for (const SablonEntry& entry : m_entries) {
        if (!(entry.flags & SABLON_CHOSEN))
            continue;
        std::wstring from = ShellPathList(entry.folder, entry.fileName);
        std::wstring to = ShellPathList(m_caseFolder, entry.fileName);
        SHFILEOPSTRUCTW op = {};
        op.hwnd = NULL;
        op.wFunc = FO_COPY;
        op.pFrom = from.c_str();
        op.pTo = to.c_str();
        int rc = SHFileOperationW(&op);
        // Only a copy that happened is filled: a failed copy or a replacement
        // the user declined leaves the case folder's file as it was.
        if (rc != 0 || op.fAnyOperationsAborted) {
            LogFormat(L"CSablonList::CopyChosen: %s not copied to %s (%d%s)", from.c_str(), to.c_str(), rc,
                      op.fAnyOperationsAborted ? L", aborted" : L"");
            continue;
        }
        if (!(GetOptions(entry) & SABLON_INSERT_FIELDS) || !record)
            continue;
        // The shell may report success although the user kept the file
        // already there: only the template's own copy is filled.
        if (!IsCopyOf(to.c_str(), from.c_str())) {
            LogFormat(L"CSablonList::CopyChosen: %s is not a copy of %s; not filled", to.c_str(), from.c_str());
            continue;
        }
        // A read-only template (a shared folder) gives a read-only copy,
        // which Word cannot save into. This copy was made just now.
        DWORD attributes = GetFileAttributesW(to.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
            !SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
            LogFormat(L"CSablonList::CopyChosen: %s stays read-only (%lu)", to.c_str(), GetLastError());
        CString number, year;
        number.Format(L"%d", record->Nr);
        year.Format(L"%d", record->Ev);
        CWordAutomation word;
        word.OpenDocument(to.c_str());
        word.ReplaceAll(L"[UGYFEL]", record->UgyfelNeve);
        word.ReplaceAll(L"[ELLENFEL]", record->EllenfelNeve);
        word.ReplaceAll(L"[UGYIRAT]", record->UgyJellege);
        word.ReplaceAll(L"[MEGJEGYZES]", record->Megjegyzes);
        word.ReplaceAll(L"[NR]", number);
        word.ReplaceAll(L"[EV]", year);
        word.CloseDocument(true);
        word.Quit();
    }
}
