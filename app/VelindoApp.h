// CVelindoApp: the application object. InitInstance carries the whole run
// and returns FALSE, so the program ends when the main dialog ends.
#pragma once
#include "afxapp.h"
#include "app/InstanceList.h"
#include "app/SplashWnd.h"

class CAppSettings;
class CDatabaseContext;

class CVelindoApp : public CWinApp
{
public:
    CVelindoApp();
    ~CVelindoApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    CAppSettings* m_pSettings;
    CDatabaseContext* m_pDatabase;
    CSplashWnd m_splash;
    CRegistryInstanceChooser m_instanceChooser;

private:
    // Registers the main dialog's window class and runs the main dialog.
    void RunMainWindow();
};

extern CVelindoApp theApp;
