#include "app/VelindoApp.h"
#include "foundation/AppSettings.h"
#include "foundation/Log.h"
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
    if (m_pSettings->SelectStartInstance(cmdInfo.m_strFileName)) {
        WriteProfileString(L"", L"LastRun", m_pSettings->GetInstanceKey());
    }

    delete shellManager;
    return FALSE;
}

int CVelindoApp::ExitInstance()
{
    LogLine(L"Exit instance");
    // The data holder goes before the settings object it reads.
    m_pDatabase = NULL;
    if (m_pSettings) {
        delete m_pSettings;
        m_pSettings = NULL;
    }
    CoUninitialize();
    return CWinApp::ExitInstance();
}
