#include "app/VelindoApp.h"
#include "app/VelindoDlg.h"
#include "foundation/AppSettings.h"
#include "foundation/Log.h"
#include "online/OnlineRestore.h"
#include "storage/DatabaseContext.h"
#include <commctrl.h>
#include <objbase.h>

CVelindoApp theApp;

CVelindoApp::CVelindoApp() : m_pSettings(NULL), m_pDatabase(NULL)
{
}

CVelindoApp::~CVelindoApp()
{
}

BOOL CVelindoApp::InitInstance()
{
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);

    INITCOMMONCONTROLSEX icc = {sizeof(icc), 0xFF};
    InitCommonControlsEx(&icc);

    CWinApp::InitInstance();
    CShellManager* shellManager = new CShellManager;

    SetRegistryKey(L"Orvane");
    WriteProfileString(L"", L"ExeDir", CAppSettings::GetExeFolder());

    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);

    m_pSettings = new CAppSettings;
    m_pSettings->SetInstanceChooser(&m_instanceChooser);
    if (m_pSettings->SelectStartInstance(cmdInfo.m_strFileName)) {
        WriteProfileString(L"", L"LastRun", m_pSettings->GetInstanceKey());

        m_splash.Show(5000);
        m_splash.SetStatusText(L"Adatok betöltése ...");
        if (m_splash.GetSafeHwnd())
            ::UpdateWindow(m_splash.GetSafeHwnd());

        m_pDatabase = new CDatabaseContext;
        CDatabaseContext::SetRestoreIntoBackupProc(&COnlineRestore::RestoreIntoBackupFile);
        if (!m_pDatabase->LoadAtStartup(&m_splash)) {
            HWND splash = m_splash.GetSafeHwnd();
            if (splash && ::IsWindowVisible(splash)) {
                m_splash.SetStatusText(L"Kilépés ...");
                ::UpdateWindow(splash);
                Sleep(1500);
                m_splash.Hide();
            }
        } else {
            m_splash.Hide();
            RunMainWindow();
        }
    }

    delete shellManager;
    return FALSE;
}

void CVelindoApp::RunMainWindow()
{
    // The main dialog's window class: a copy of the system dialog class
    // under the name its template gives.
    WNDCLASSW wc;
    if (!GetClassInfoW(NULL, MAKEINTRESOURCEW(32770), &wc))
        return;
    wc.hInstance = AfxGetInstanceHandle();
    wc.lpszClassName = L"Folionex";
    if (!RegisterClassW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return;

    CVelindoDlg dlg;
    m_pMainWnd = &dlg;
    m_pSettings->SetMainWindow(&dlg);
    dlg.DoModal();
    // Nothing may reach the dialog object once it is gone.
    m_pSettings->SetMainWindow(NULL);
    m_pMainWnd = NULL;
}

int CVelindoApp::ExitInstance()
{
    LogLine(L"Exit instance");
    // The data holder goes before the settings object it reads.
    if (m_pDatabase) {
        delete m_pDatabase;
        m_pDatabase = NULL;
    }
    if (m_pSettings) {
        delete m_pSettings;
        m_pSettings = NULL;
    }
    CoUninitialize();
    return CWinApp::ExitInstance();
}
