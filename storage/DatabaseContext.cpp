#include "storage/DatabaseContext.h"
#include "afxapp.h"
#include "foundation/AppSettings.h"
#include "foundation/Log.h"
#include "foundation/XMessageBox.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/CtUgyirat_SqlServer.h"
#include "storage/DBWizardDlg.h"
#include "storage/UgyiratStore.h"

namespace {

const wchar_t kCaptionCentral[] = L"Üzemmód (kapcsolódás központi adatbázishoz)";
const wchar_t kCaptionOffline[] = L"Üzemmód (leválasztott kapcsolat)";

const wchar_t kTextBackupOnly[] =
    L"Nem sikerült az adatokat betölteni a központi adatbázisból,\n"
    L"csak offline módban, a korábban mentett adatok alapján tudok dolgozni!";

const wchar_t kTextNothingOnline[] =
    L"A programindítás sikertelen, mert nem sikerült az adatokat\n"
    L"betölteni sem a központi adatbázisból, sem az automatikus mentésből!\n\n"
    L"Megpróbálja a kapcsolatot helyreállítani, vagy letölt egy korábbi on-line mentést?";

const wchar_t kTextNothingOffline[] =
    L"A program jelenleg nam kapcsolódik adatbázishoz és nem sikerült\n"
    L"adatokat automatikus mentésből sem betölteni!\n\n"
    L"Mivel leválasztott üzemmódban nem lehet adatokat felvenni, ezért a\n"
    L"kapcsolat létrehozása, helyreállítása, vagy korábbi on-line mentés\n"
    L"letöltése nélkül nincs értelme a programot elindítani.\n\n"
    L"Kérjük válasszon az alábbiak közül:\n\n"
    L"Kapcsolódás - tovább a helyi adatbázishoz való kapcsolódáshoz\n"
    L"Letöltés - online mentés letöltése\n"
    L"Kilép - kilépés a programból";

const wchar_t kTextToWizard[] = L"Nem sikerült kapcsolódni! Tovább az adatbázis-varázslóhoz?";

const wchar_t kTextLastOffline[] =
    L"Az utoljára használt üzemmód: leválasztott (offline)!\n\n"
    L"Leválasztott üzemmódban a módosítási funkciók nem elérhetők!\n\n"
    L"Amennyiben a központi adatbázis elérhető, akkor arra a program ablakának\n"
    L"jobb alsó sarkában található \"Kapcsol\" gombbal kapcsolódhat rá.\n"
    L"Sikeres kapcsolódást követően az aktuális adatok lekérhetők és módosíthatók.";

const wchar_t kTextNoPassword[] =
    L"Nem adott meg jelszót, ezért a program kilép!\n\n"
    L"Ha mégis szeretné a mentést letölteni, vagy kapcsolódni\n"
    L"a központi adatbázishoz, akkor indítsa újra a programot!";

const UINT kStyleContinueAbort = 0x37;      // warning icon, "&Tovább" and "&Megszakít"
const UINT kStyleThreeWay = 0x20000033;     // warning icon, yes/no/cancel with own captions
const UINT kStyleWarnOnce = 0x01000030;     // warning icon, OK, "Ne kérdezze többet!"

// The offline warning is shown unless this value is 0; its check box writes 0.
const wchar_t kProfileShowWarningOffline[] = L"ShowWarningOffline";
const int kDefaultShowWarningOffline = 1;

// A box that could not be shown answers -1: that is no choice at all.
bool Continued(int answer)
{
    return answer != -1 && (answer & 0x0B) == 0x0B;
}

} // namespace

namespace {
CDatabaseContext* g_pApplicationContext = NULL;
CDatabaseContext::RestoreIntoBackupProc g_pfnRestoreIntoBackup = NULL;
}

void CDatabaseContext::SetRestoreIntoBackupProc(RestoreIntoBackupProc proc)
{
    g_pfnRestoreIntoBackup = proc;
}

CDatabaseContext* CDatabaseContext::GetApplicationContext()
{
    return g_pApplicationContext;
}

CDatabaseContext::CDatabaseContext() : m_pStore(NULL), m_pConnection(NULL)
{
    g_pApplicationContext = this;
    CtUgyirat_SqlServer* table = new CtUgyirat_SqlServer;
    m_pConnection = new CConnectionManagerSqlServer;
    CConnectionManagerSqlServer::SetApplicationManager(m_pConnection);
    m_pStore = new CUgyiratStore(table);
    m_pStore->SetCentralConnection(m_pConnection);
}

CDatabaseContext::~CDatabaseContext()
{
    if (g_pApplicationContext == this)
        g_pApplicationContext = NULL;
    delete m_pStore;
    m_pStore = NULL;
    delete m_pConnection;
    m_pConnection = NULL;
}

bool CDatabaseContext::ReloadSettings()
{
    if (!m_pConnection)
        return false;
    m_pConnection->LoadSettings();
    return true;
}

bool CDatabaseContext::RunWizard()
{
    CDBWizardDlg wizard(m_pConnection, NULL, m_pStore);
    wizard.DoModal();
    return wizard.ReloadCases();
}

bool CDatabaseContext::RestoreIntoBackup()
{
    // Without a restore installed it fails as a failed download would.
    if (!g_pfnRestoreIntoBackup) {
        LogLine(L"No online restore is installed");
        return false;
    }
    return g_pfnRestoreIntoBackup(AfxGetMainWnd()) > 0;
}

bool CDatabaseContext::AskRestorePassword()
{
    // Working offline, the password of the backup to restore is asked for
    // first, pre-filled with the stored one.
    CAppSettings* settings = GetAppSettings();
    if (settings && !settings->GetOnlineBackupPassword(1).IsEmpty())
        return true;
    AfxMessageBox(kTextNoPassword, MB_ICONERROR);
    return false;
}

void CDatabaseContext::Repaint(CWnd* splash)
{
    if (splash && splash->GetSafeHwnd()) {
        ::InvalidateRect(splash->GetSafeHwnd(), NULL, TRUE);
        ::UpdateWindow(splash->GetSafeHwnd());
    }
}

CDatabaseContext::Choice CDatabaseContext::AskNoSource(bool online)
{
    XMessageBoxParams params;
    params.bUseOwnCaptions = TRUE;
    wcscpy(params.szOwnCaptions[XMB_CAP_YES], L"Kapcsolódás");
    wcscpy(params.szOwnCaptions[XMB_CAP_NO], L"Letöltés");
    wcscpy(params.szOwnCaptions[XMB_CAP_CANCEL], L"Kilép");
    int answer = XMessageBox(NULL, online ? kTextNothingOnline : kTextNothingOffline,
                             online ? kCaptionCentral : kCaptionOffline, kStyleThreeWay, &params);
    if (answer == -1)
        return ChoiceExit;
    switch (answer & 0xFFFF) {
    case IDYES:
        return ChoiceConnect;
    case IDNO:
        return ChoiceDownload;
    default:
        return ChoiceExit;
    }
}

bool CDatabaseContext::LoadAtStartup(CWnd* splash)
{
    m_pConnection->LoadSettings();
    m_pStore->LoadDirectorySettings();

    if (m_pConnection->Online) {
        if (m_pStore->LoadFromDatabase())
            return true;
        if (m_pStore->LoadFromBackup()) {
            int answer = XMessageBox(NULL, kTextBackupOnly, kCaptionCentral, kStyleContinueAbort);
            if (Continued(answer)) {
                m_pConnection->SetOnline(false);
                return true;
            }
            return false;
        }
        switch (AskNoSource(true)) {
        case ChoiceConnect:
            return RunWizard();
        case ChoiceDownload:
            m_pConnection->SetOnline(false);
            return RestoreIntoBackup() && m_pStore->LoadFromBackup();
        case ChoiceExit:
            return false;
        }
        return false;
    }

    if (m_pStore->LoadFromBackup()) {
        CAppSettings* settings = GetAppSettings();
        if (!settings || settings->GetProfileInt(kProfileShowWarningOffline, kDefaultShowWarningOffline) != 0) {
            int answer = XMessageBox(NULL, kTextLastOffline, kCaptionOffline, kStyleWarnOnce);
            if (answer != -1 && (answer & XMB_CHECK_DONTASK) && settings)
                settings->WriteProfileInt(kProfileShowWarningOffline, 0);
        }
        return true;
    }
    switch (AskNoSource(false)) {
    case ChoiceConnect: {
        Repaint(splash);
        if (m_pStore->LoadFromDatabase()) {
            m_pConnection->SetOnline(true);
            return true;
        }
        int answer = XMessageBox(NULL, kTextToWizard, kCaptionCentral, kStyleContinueAbort);
        if (!Continued(answer))
            return false;
        bool loaded = RunWizard();
        if (loaded)
            m_pConnection->SetOnline(true);
        return loaded;
    }
    case ChoiceDownload:
        if (!AskRestorePassword())
            return false;
        return RestoreIntoBackup() && m_pStore->LoadFromBackup();
    case ChoiceExit:
        return false;
    }
    return false;
}
