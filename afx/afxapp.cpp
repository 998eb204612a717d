#include "afxapp.h"
#include "afxwin.h"
#include <shellapi.h>
#include <shlwapi.h>
#include <algorithm>

namespace {

CWinApp* g_pApp = NULL;

} // namespace

void CCommandLineInfo::ParseParam(LPCWSTR pszParam, BOOL bFlag, BOOL /*bLast*/)
{
    if (bFlag)
        return;
    if (m_strFileName.IsEmpty()) {
        m_strFileName = pszParam;
        if (m_nShellCommand == FileNew)
            m_nShellCommand = FileOpen;
    }
}

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCWSTR lpszAppName)
    : m_pszAppName(NULL), m_pszExeName(NULL), m_pszRegistryKey(NULL), m_pszProfileName(NULL),
      m_hInstance(NULL), m_lpCmdLine(NULL), m_nCmdShow(SW_SHOWNORMAL), m_pMainWnd(NULL),
      m_nThreadID(0), m_bAppNameGiven(lpszAppName != NULL)
{
    g_pApp = this;
    if (lpszAppName) {
        m_strAppName = lpszAppName;
        m_pszAppName = m_strAppName;
    }
    // The names are known before the entry point runs, so that code running
    // without AfxWinMain (the tests) still finds its profile.
    SetCurrentHandles(GetModuleHandleW(NULL), NULL, SW_SHOWNORMAL);
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = NULL;
}

void CWinApp::SetCurrentHandles(HINSTANCE hInstance, LPWSTR lpCmdLine, int nCmdShow)
{
    m_hInstance = hInstance;
    m_lpCmdLine = lpCmdLine;
    m_nCmdShow = nCmdShow;
    m_nThreadID = GetCurrentThreadId();

    wchar_t path[MAX_PATH + 1] = {0};
    GetModuleFileNameW(hInstance, path, MAX_PATH);
    LPWSTR name = PathFindFileNameW(path);
    wchar_t* ext = PathFindExtensionW(name);
    if (ext)
        *ext = 0;
    m_strExeName = name;
    m_pszExeName = m_strExeName;
    if (!m_bAppNameGiven) {
        m_strAppName = m_strExeName;
        m_pszAppName = m_strAppName;
    }
    if (m_strProfileName.IsEmpty()) {
        m_strProfileName = m_strExeName + L".INI";
        m_pszProfileName = m_strProfileName;
    }
}

int CWinApp::ExitInstance()
{
    return 0;
}

BOOL CWinApp::PreTranslateMessage(MSG* pMsg)
{
    return CWnd::WalkPreTranslateTree(NULL, pMsg);
}

int CWinApp::Run()
{
    MSG msg;
    for (;;) {
        if (!PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE))
            AfxDeleteTempObjects();
        if (GetMessageW(&msg, NULL, 0, 0) <= 0)
            break;
        // The application's PreTranslateMessage inside the exception barrier.
        if (!AfxPreTranslateMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return ExitInstance();
}

void CWinApp::SetRegistryKey(LPCWSTR lpszRegistryKey)
{
    m_strRegistryKey = lpszRegistryKey;
    m_pszRegistryKey = m_strRegistryKey.IsEmpty() ? NULL : (LPCWSTR)m_strRegistryKey;
}

void CWinApp::SetRegistryKey(UINT nIDRegistryKey)
{
    CString key;
    key.LoadString(nIDRegistryKey);
    SetRegistryKey(key);
}

HKEY CWinApp::GetAppRegistryKey()
{
    if (!m_pszRegistryKey)
        return NULL;
    CString path = CString(L"Software\\") + m_pszRegistryKey + L"\\" + m_pszAppName;
    HKEY hKey = NULL;
    DWORD disp;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, NULL, &hKey, &disp) != ERROR_SUCCESS)
        return NULL;
    return hKey;
}

HKEY CWinApp::GetSectionKey(LPCWSTR lpszSection, BOOL bCreate)
{
    return OpenSection(lpszSection, bCreate ? KEY_READ | KEY_WRITE : KEY_READ, bCreate != FALSE);
}

HKEY CWinApp::OpenSection(LPCWSTR lpszSection, REGSAM access, bool create)
{
    if (!m_pszRegistryKey || !lpszSection)
        return NULL;
    CString path = CString(L"Software\\") + m_pszRegistryKey + L"\\" + m_pszAppName;
    if (*lpszSection)
        path += CString(L"\\") + lpszSection;
    HKEY hKey = NULL;
    LONG r;
    if (create) {
        DWORD disp;
        r = RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, NULL, REG_OPTION_NON_VOLATILE, access, NULL, &hKey, &disp);
    } else {
        r = RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, access, &hKey);
    }
    return r == ERROR_SUCCESS ? hKey : NULL;
}

UINT CWinApp::GetProfileInt(LPCWSTR lpszSection, LPCWSTR lpszEntry, int nDefault)
{
    if (!lpszEntry)
        return (UINT)nDefault;
    if (!m_pszRegistryKey)
        return ::GetPrivateProfileIntW(lpszSection, lpszEntry, nDefault, m_pszProfileName);
    HKEY hKey = GetSectionKey(lpszSection, FALSE);
    if (!hKey)
        return (UINT)nDefault;
    DWORD type = 0, value = 0, size = sizeof(value);
    LONG r = RegQueryValueExW(hKey, lpszEntry, NULL, &type, (LPBYTE)&value, &size);
    RegCloseKey(hKey);
    if (r == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value))
        return (UINT)value;
    return (UINT)nDefault;
}

CString CWinApp::GetProfileString(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPCWSTR lpszDefault)
{
    if (!lpszEntry)
        return CString(lpszDefault);
    if (!m_pszRegistryKey) {
        CString buf;
        DWORD n = ::GetPrivateProfileStringW(lpszSection, lpszEntry, lpszDefault ? lpszDefault : L"",
                                             buf.GetBuffer(4096), 4096, m_pszProfileName);
        buf.ReleaseBuffer((int)n);
        return buf;
    }
    HKEY hKey = GetSectionKey(lpszSection, FALSE);
    if (!hKey)
        return CString(lpszDefault);
    DWORD type = 0, size = 0;
    LONG r = RegQueryValueExW(hKey, lpszEntry, NULL, &type, NULL, &size);
    CString value;
    if (r == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        int chars = (int)(size / sizeof(wchar_t));
        LPWSTR p = value.GetBuffer(chars + 1);
        DWORD size2 = (DWORD)(chars + 1) * sizeof(wchar_t);
        r = RegQueryValueExW(hKey, lpszEntry, NULL, &type, (LPBYTE)p, &size2);
        if (r == ERROR_SUCCESS) {
            p[std::min<DWORD>(size2 / sizeof(wchar_t), (DWORD)chars)] = 0;
            value.ReleaseBuffer();
        }
    } else if (r == ERROR_SUCCESS) {
        r = ERROR_INVALID_DATA;
    }
    RegCloseKey(hKey);
    if (r != ERROR_SUCCESS)
        return CString(lpszDefault);
    return value;
}

BOOL CWinApp::WriteProfileInt(LPCWSTR lpszSection, LPCWSTR lpszEntry, int nValue)
{
    if (!lpszEntry)
        return FALSE;
    if (!m_pszRegistryKey) {
        CString s;
        s.Format(L"%d", nValue);
        return ::WritePrivateProfileStringW(lpszSection, lpszEntry, s, m_pszProfileName);
    }
    HKEY hKey = GetSectionKey(lpszSection, TRUE);
    if (!hKey)
        return FALSE;
    DWORD value = (DWORD)nValue;
    LONG r = RegSetValueExW(hKey, lpszEntry, 0, REG_DWORD, (const BYTE*)&value, sizeof(value));
    RegCloseKey(hKey);
    return r == ERROR_SUCCESS;
}

BOOL CWinApp::WriteProfileString(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPCWSTR lpszValue)
{
    if (!m_pszRegistryKey)
        return ::WritePrivateProfileStringW(lpszSection, lpszEntry, lpszValue, m_pszProfileName);
    if (!lpszSection)
        return FALSE;
    if (!lpszEntry) {
        // Delete the whole section.
        HKEY hApp = OpenSection(L"", KEY_READ | KEY_WRITE, false);
        if (!hApp)
            return FALSE;
        LONG r = RegDeleteTreeW(hApp, lpszSection);
        if (r == ERROR_SUCCESS)
            r = RegDeleteKeyW(hApp, lpszSection);
        RegCloseKey(hApp);
        return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
    }
    HKEY hKey = OpenSection(lpszSection, KEY_READ | KEY_WRITE, lpszValue != NULL);
    if (!hKey)
        return lpszValue == NULL;
    LONG r;
    if (!lpszValue)
        r = RegDeleteValueW(hKey, lpszEntry);
    else
        r = RegSetValueExW(hKey, lpszEntry, 0, REG_SZ, (const BYTE*)lpszValue,
                           (DWORD)((wcslen(lpszValue) + 1) * sizeof(wchar_t)));
    RegCloseKey(hKey);
    return r == ERROR_SUCCESS;
}

void CWinApp::ParseCommandLine(CCommandLineInfo& rCmdInfo)
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return;
    for (int i = 1; i < argc; ++i) {
        LPCWSTR p = argv[i];
        BOOL bFlag = FALSE;
        if (*p == L'-' || *p == L'/') {
            bFlag = TRUE;
            ++p;
        }
        rCmdInfo.ParseParam(p, bFlag, i == argc - 1);
    }
    LocalFree(argv);
}

CWinApp* AfxGetApp()
{
    return g_pApp;
}

CWnd* AfxGetMainWnd()
{
    return g_pApp ? g_pApp->m_pMainWnd : NULL;
}

HINSTANCE AfxGetInstanceHandle()
{
    return g_pApp && g_pApp->m_hInstance ? g_pApp->m_hInstance : GetModuleHandleW(NULL);
}

HINSTANCE AfxGetResourceHandle()
{
    return AfxGetInstanceHandle();
}

int AfxMessageBox(LPCWSTR lpszText, UINT nType, UINT /*nIDHelp*/)
{
    if (!(nType & MB_ICONMASK)) {
        switch (nType & MB_TYPEMASK) {
        case MB_OK:
        case MB_OKCANCEL:
            nType |= MB_ICONEXCLAMATION;
            break;
        case MB_YESNO:
        case MB_YESNOCANCEL:
            nType |= MB_ICONQUESTION;
            break;
        default:
            nType |= MB_ICONEXCLAMATION;
            break;
        }
    }
    // The owner is the active window of this thread, else the main window.
    HWND owner = GetActiveWindow();
    if (!owner) {
        CWnd* main = AfxGetMainWnd();
        HWND h = main ? main->GetSafeHwnd() : NULL;
        if (h && IsWindow(h))
            owner = h;
    }
    LPCWSTR title = g_pApp && g_pApp->m_pszAppName ? g_pApp->m_pszAppName : L"";
    return ::MessageBoxW(owner, lpszText, title, nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp)
{
    CString text;
    text.LoadString(nIDPrompt);
    return AfxMessageBox(text, nType, nIDHelp == (UINT)-1 ? nIDPrompt : nIDHelp);
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPWSTR lpCmdLine, int nCmdShow)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->SetCurrentHandles(hInstance, lpCmdLine, nCmdShow);
    if (!app->InitApplication())
        return app->ExitInstance();
    if (!app->InitInstance()) {
        CWnd* main = app->m_pMainWnd;
        if (main && main->GetSafeHwnd() && IsWindow(main->GetSafeHwnd()))
            main->DestroyWindow();
        return app->ExitInstance();
    }
    return app->Run();
}
