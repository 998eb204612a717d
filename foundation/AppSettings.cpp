#include "foundation/AppSettings.h"
#include "foundation/Log.h"
#include "foundation/Conversions.h"
#include "foundation/FileNames.h"
#include "afxapp.h"
#include "afxwin.h"
#include <shlobj.h>
#include <shlwapi.h>

const wchar_t CAppSettings::kDefaultServerUrl[] = L"https://vapi.folionex.example/";

namespace {

CAppSettings* g_pSettings = NULL;

// The program's path, filled once on first use.
wchar_t g_modulePath[1024];

const int kDataFolderCsidl = CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE; // 0x801C

// Values of the instance kept here, and their defaults.
const wchar_t kValueBackupFile[] = L"BackupFile";
const wchar_t kValueDownloadCache[] = L"DownloadCache";
const wchar_t kValueServer[] = L"Server";
const wchar_t kValueFontSizeInList[] = L"FontSizeInList";
const int kDefaultFontSizeInList = 0;

} // namespace

CAppSettings* GetAppSettings()
{
    return g_pSettings;
}

CAppSettings::CAppSettings() : m_pChooser(NULL), m_pMainWnd(NULL), m_uiThreadId(GetCurrentThreadId())
{
    g_pSettings = this;
}

CAppSettings::~CAppSettings()
{
    if (g_pSettings == this)
        g_pSettings = NULL;
}

// ---------------------------------------------------------------------------
// Profile values of the instance

CString CAppSettings::GetProfileString(LPCWSTR key, LPCWSTR def)
{
    return AfxGetApp()->GetProfileString(m_strInstanceKey, key, def);
}

int CAppSettings::GetProfileInt(LPCWSTR key, int def)
{
    return (int)AfxGetApp()->GetProfileInt(m_strInstanceKey, key, def);
}

BOOL CAppSettings::WriteProfileString(LPCWSTR key, LPCWSTR text)
{
    return AfxGetApp()->WriteProfileString(m_strInstanceKey, key, text);
}

BOOL CAppSettings::WriteProfileInt(LPCWSTR key, int value)
{
    return AfxGetApp()->WriteProfileInt(m_strInstanceKey, key, value);
}

BOOL CAppSettings::WriteEmptyProfileString(LPCWSTR key)
{
    return WriteProfileString(key, L"");
}

// ---------------------------------------------------------------------------
// The program file

LPCWSTR CAppSettings::GetModulePath()
{
    if (!g_modulePath[0])
        GetModuleFileNameW(NULL, g_modulePath, 1023);
    return g_modulePath;
}

CString CAppSettings::GetExeFileName()
{
    CString path(GetModulePath());
    int slash = path.ReverseFind(L'\\');
    if (slash < 0)
        return CString();
    return path.Mid(slash + 1);
}

CString CAppSettings::GetExeBaseName()
{
    // The extension is taken to be four characters long (".exe").
    CString name = GetExeFileName();
    if (name.GetLength() <= 4)
        return CString();
    return name.Left(name.GetLength() - 4);
}

CString CAppSettings::GetExeFolder()
{
    CString path(GetModulePath());
    int slash = path.ReverseFind(L'\\');
    if (slash <= 0)
        return CString();
    return path.Left(slash);
}

// ---------------------------------------------------------------------------
// Folders and settings

HWND CAppSettings::OwnerForShellCalls() const
{
    // Shell calls made off the UI thread get no owner window.
    if (GetCurrentThreadId() != m_uiThreadId)
        return NULL;
    return GetMainWindow();
}

CString CAppSettings::GetDataFolder()
{
    // The log asks for this folder too: while the failure below is being
    // logged, the log's own request gets the empty text without a word.
    static thread_local bool reporting = false;
    wchar_t buffer[1024] = {0};
    if (FAILED(SHGetFolderPathW(NULL, kDataFolderCsidl, NULL, 0, buffer)))
        return CString();
    CString relative = CString(L"Folionex\\") + m_strInstanceKey + L"\\";
    if (!PathAppendW(buffer, relative)) {
        if (!reporting) {
            reporting = true;
            LogFormat(L"GetDataFolder: the data folder path for instance '%s' is too long",
                      (LPCWSTR)m_strInstanceKey);
            reporting = false;
        }
        return CString();
    }
    if (!PathFileExistsW(buffer))
        SHCreateDirectoryExW(OwnerForShellCalls(), buffer, NULL);
    return CString(buffer);
}

CString CAppSettings::GetBackupFilePath()
{
    CString path = GetProfileString(kValueBackupFile, L"");
    if (!path.IsEmpty())
        return path;
    path = GetDataFolder() + GetExeBaseName() + L".bkp";
    WriteProfileString(kValueBackupFile, path);
    return path;
}

CString CAppSettings::GetDownloadCacheFolder()
{
    CString path = GetProfileString(kValueDownloadCache, L"");
    if (!path.IsEmpty())
        return path;
    wchar_t buffer[MAX_PATH] = {0};
    HWND owner = OwnerForShellCalls();
    if (FAILED(SHGetFolderPathW(owner, kDataFolderCsidl, NULL, 0, buffer)))
        return CString();
    CString relative = CString(L"Folionex\\") + m_strInstanceKey + L"\\DownloadCache\\";
    if (!PathAppendW(buffer, relative)) {
        LogFormat(L"GetDownloadCacheFolder: the cache folder path for instance '%s' is too long",
                  (LPCWSTR)m_strInstanceKey);
        return CString();
    }
    SHCreateDirectoryExW(owner, buffer, NULL);
    path = buffer;
    WriteProfileString(kValueDownloadCache, path);
    return path;
}

CString CAppSettings::GetServerUrl()
{
    return GetProfileString(kValueServer, kDefaultServerUrl);
}

int CAppSettings::GetFontSizeInList()
{
    return GetProfileInt(kValueFontSizeInList, kDefaultFontSizeInList);
}

void CAppSettings::SetFontSizeInList(int value)
{
    WriteProfileInt(kValueFontSizeInList, value);
}

CString CAppSettings::GetVersionInfoString(LPCWSTR name)
{
    // The full module path, and a copy for each caller, so that threads
    // asking at the same time do not overwrite each other's text.
    LPCWSTR path = GetModulePath();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0)
        return CString();
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!mem)
        return CString();
    void* block = GlobalLock(mem);
    CString result;
    if (block && GetFileVersionInfoW(path, 0, size, block)) {
        CString translation = L"041904b0";
        DWORD* table = NULL;
        UINT tableLen = 0;
        if (VerQueryValueW(block, L"\\VarFileInfo\\Translation", (LPVOID*)&table, &tableLen) && table &&
            tableLen >= sizeof(DWORD))
            translation.Format(L"%04x%04x", LOWORD(*table), HIWORD(*table));
        CString subBlock;
        subBlock.Format(L"\\StringFileInfo\\%s\\", (LPCWSTR)translation);
        subBlock += name;
        LPCWSTR value = NULL;
        UINT valueLen = 0;
        if (VerQueryValueW(block, subBlock, (LPVOID*)&value, &valueLen) && value && valueLen > 0)
            result = CString(value, (int)wcsnlen(value, valueLen));
    }
    GlobalUnlock(mem);
    GlobalFree(mem);
    return result;
}

CStringA CAppSettings::GetCheckMessage()
{
    CString body = L"ProgType=2\nVersion=" + GetVersionInfoString(L"ProductVersion");
    LogLine(L"CheckMessage");
    LogLine(body);
    return WideToUtf8(body);
}

// ---------------------------------------------------------------------------
// Texts about the user

CString CAppSettings::GetAccountId() { return GetProfileString(L"AccountId", L""); }
CString CAppSettings::GetUserName() { return GetProfileString(L"UserName", L""); }
CString CAppSettings::GetUserAddress() { return GetProfileString(L"UserAddress", L""); }
CString CAppSettings::GetUserEmail() { return GetProfileString(L"UserEmail", L""); }
CString CAppSettings::GetDataSetName() { return GetProfileString(L"DataSetName", L""); }

// ---------------------------------------------------------------------------
// The main window

HWND CAppSettings::GetMainWindow() const
{
    if (!m_pMainWnd)
        return NULL;
    HWND h = m_pMainWnd->GetSafeHwnd();
    return h && IsWindow(h) ? h : NULL;
}

// ---------------------------------------------------------------------------
// Start-up choice of the instance

namespace {

const wchar_t kBanner[] = L"***********************************************************"; // 59

} // namespace

CString CAppSettings::MakeInstanceKey(LPCWSTR text)
{
    CString key = FileNameText(text);
    // A registry key name holds every other character; the data folder's
    // name is the stricter of the two.
    if (key.GetLength() > kMaxInstanceKey)
        key = key.Left(kMaxInstanceKey);
    key = SafeFileName(key);
    if (key.GetLength() > kMaxInstanceKey)
        key = SafeFileName(key.Left(kMaxInstanceKey - 1));
    return key;
}

bool CAppSettings::IsUsableInstanceKey(LPCWSTR key)
{
    return key && *key && MakeInstanceKey(key) == key;
}

bool CAppSettings::SelectStartInstance(LPCWSTR requestedKey)
{
    if (!m_pChooser) {
        LogLine(L"SelectStartInstance: no instance chooser");
        return false;
    }
    const bool requested = requestedKey && *requestedKey;
    if (requested && IsUsableInstanceKey(requestedKey)) {
        m_strInstanceKey = m_pChooser->Resolve(requestedKey);
        LogLine(kBanner);
    } else {
        m_strInstanceKey = m_pChooser->DefaultKey();
        LogLine(kBanner);
        // Its registry key or its data folder would be another one, or
        // none at all ("a/../../x", "x:y", "CON").
        if (requested)
            LogFormat(L"Instance key \"%s\" cannot name a registry key and a folder; it is not used", requestedKey);
        if (!SelectInstanceByPopup())
            return false;
    }
    LogFormat(L"Start instance %s", (LPCWSTR)m_strInstanceKey);
    LogFormat(L"ExePath: %s", GetModulePath());
    return true;
}

bool CAppSettings::SelectInstanceByPopup()
{
    bool shiftDown = (GetAsyncKeyState(VK_LSHIFT) & 0x8000) != 0;
    CString key;
    if (!m_pChooser || !m_pChooser->Choose(shiftDown, key))
        return false;
    m_strInstanceKey = key;
    LogResetPath();
    return true;
}

// ---------------------------------------------------------------------------
// The UI-thread task queue

void CAppSettings::QueueTask(CTask* task)
{
    m_taskQueue.Push(task);
}

void CAppSettings::RunPendingTask()
{
    m_taskRunner.SetSource(&m_taskQueue);
    m_taskRunner.SetMaxPasses(1);
    m_taskRunner.Run();
}
