// CWinApp: the application object, its start-up run (AfxWinMain), the
// command line and the profile functions.
//
// Profile layout: with SetRegistryKey(key) every value lives under
// HKEY_CURRENT_USER\Software\<key>\<application name>\<section>; the empty
// section is the application key itself and a section may name nested keys
// ("Inst\Metrics"). Reading never creates a key; writing creates what is
// missing. A value that is missing or of another type reads as the default.
// The application name is the executable's base name unless the
// constructor was given one.
#pragma once
#include <windows.h>
#include "afxstr.h"
#include "afxwin.h"

class CCommandLineInfo
{
public:
    enum { FileNew, FileOpen, FileNothing = -1 };
    CCommandLineInfo() : m_bShowSplash(TRUE), m_nShellCommand(FileNew) {}
    virtual ~CCommandLineInfo() {}
    // Called once per argument; bFlag when it started with '-' or '/' (which is stripped).
    virtual void ParseParam(LPCWSTR pszParam, BOOL bFlag, BOOL bLast);

    BOOL m_bShowSplash;
    int m_nShellCommand;
    CString m_strFileName;
};

// The class library's shell manager: nothing here needs what it offers.
class CShellManager
{
};

// Its message map has one entry, ID_HELP -> OnHelp (which does nothing).
class CWinApp : public CCmdTarget
{
public:
    explicit CWinApp(LPCWSTR lpszAppName = NULL);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitApplication() { return TRUE; }
    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance();
    // The message loop for programs whose InitInstance returns TRUE.
    virtual int Run();
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    void SetRegistryKey(LPCWSTR lpszRegistryKey);
    void SetRegistryKey(UINT nIDRegistryKey);
    // HKCU\Software\<key>\<app>, created when missing; the caller closes it.
    HKEY GetAppRegistryKey();
    // The section's key: opened for reading, or created when bCreate.
    HKEY GetSectionKey(LPCWSTR lpszSection, BOOL bCreate = TRUE);

    UINT GetProfileInt(LPCWSTR lpszSection, LPCWSTR lpszEntry, int nDefault);
    CString GetProfileString(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPCWSTR lpszDefault = NULL);
    BOOL WriteProfileInt(LPCWSTR lpszSection, LPCWSTR lpszEntry, int nValue);
    // A null entry deletes the section, a null value deletes the entry.
    BOOL WriteProfileString(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPCWSTR lpszValue);

    void ParseCommandLine(CCommandLineInfo& rCmdInfo);
    void OnHelp() {}

    // Called by AfxWinMain before InitApplication.
    void SetCurrentHandles(HINSTANCE hInstance, LPWSTR lpCmdLine, int nCmdShow);

    LPCWSTR m_pszAppName;
    LPCWSTR m_pszExeName;
    LPCWSTR m_pszRegistryKey;
    LPCWSTR m_pszProfileName;
    HINSTANCE m_hInstance;
    LPWSTR m_lpCmdLine;
    int m_nCmdShow;
    CWnd* m_pMainWnd;
    DWORD m_nThreadID;

    DECLARE_MESSAGE_MAP()

private:
    HKEY OpenSection(LPCWSTR lpszSection, REGSAM access, bool create);

    CString m_strAppName, m_strExeName, m_strRegistryKey, m_strProfileName;
    bool m_bAppNameGiven;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
// A message box owned by the program's active window, titled with the
// application name; an icon is added by type when none is given.
int AfxMessageBox(LPCWSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = (UINT)-1);

// The program's entry: the global application object's run.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);
