// CDatabaseContext: the data holder of the process. It owns the case store
// and the connection manager of the central database; its start-up load
// decides between online and offline work before the main window opens.
#pragma once
#include "afxwin.h"

class CUgyiratStore;
class CConnectionManagerSqlServer;

class CDatabaseContext
{
public:
    CDatabaseContext();
    ~CDatabaseContext();
    CDatabaseContext(const CDatabaseContext&) = delete;
    CDatabaseContext& operator=(const CDatabaseContext&) = delete;

    // The process's data holder: the one constructed last and still alive.
    static CDatabaseContext* GetApplicationContext();

    // True when the store holds cases to work with; on false the program ends.
    bool LoadAtStartup(CWnd* splash);
    // The database wizard on the connection manager, then a central load.
    bool RunWizard();
    bool ReloadSettings();

    // The online restore into the local backup file that "Letöltés" runs,
    // owned by the window given; its result is above 0 when the backup file
    // was written. The restore belongs to a layer above this one, which
    // installs it before the start-up load.
    typedef int (*RestoreIntoBackupProc)(CWnd* owner);
    static void SetRestoreIntoBackupProc(RestoreIntoBackupProc proc);

    CUgyiratStore* m_pStore;
    CConnectionManagerSqlServer* m_pConnection;

private:
    enum Choice { ChoiceConnect, ChoiceDownload, ChoiceExit };
    Choice AskNoSource(bool online);
    bool RestoreIntoBackup();
    // Asks for the password of the backup (always, pre-filled); without one
    // the user is told that the program ends, and the answer is false.
    bool AskRestorePassword();
    void Repaint(CWnd* splash);
};
