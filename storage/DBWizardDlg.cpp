#include "storage/DBWizardDlg.h"
#include "foundation/Log.h"
#include "resources/resource.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/SqlOptionsDlg.h"
#include "storage/UgyiratStore.h"

namespace {

const wchar_t kConnectionNone[] = L"Kapcsolat létrehozása";
const wchar_t kConnectionChange[] = L"Kapcsolat módosítása";
const wchar_t kStateNone[] = L"Nincs kapcsolat";
const wchar_t kStateConnected[] = L"Van kapcsolat";
const wchar_t kTextNone[] =
    L"Jelenleg nincs kapcsolat az adatbázis kiszolgálóval. A kapcsolat létrehozásához kattintson a "
    L"'Kapcsolat létrehozása' nyomógombra!";
const wchar_t kTextConnected[] =
    L"Jelenleg van kapcsolat az adatbázis kiszolgálóval. Ha másik adatbázishoz, illetve másik kiszolgálóhoz kíván "
    L"kapcsolódni, vagy esetleg a biztonsági beállításokon kell változtatnia, akkor kattintson a "
    L"'Kapcsolat módosítása' nyomógombra!";

// The structure line of one range of levels; a null button keeps the caption.
struct StructureLine
{
    int lowest;
    int highest;
    LPCWSTR button;
    LPCWSTR state;
    LPCWSTR text;
};

const StructureLine kStructureLines[] = {
    {0, 0, NULL, L"Nincs információ",
     L"Jelenleg nincs elérhető információ az adatstruktúráról. Az adatstruktúra ellenőrzéséhez először az "
     L"adatbáziskapcsolatot kell létrehozni."},
    {1, 3, L"Adatbázis létrehozása", L"Nincs adatázis",
     L"A program nem talált felhasználói adatbázist a kiszolgálón! Hozza létre az ikató adatbázist az "
     L"'Adatbázis létrehozása' nyomógombbal!"},
    {4, 7, L"Adatbázis létrehozása", L"Nincs adatázis",
     L"A program nem találja az adatbázis kiszolgálón az adatbázisát. Ennek az az oka, hogy a "
     L"kapcsolatbeálítása olyan adatbázisra hivatkozik, ami nem létezik.\n"
     L"Ha már létezik iktató adatbázis, akkor annak megadásához kattintson a 'Kapcsolat módosítása' "
     L"nyomógombra, egyébként pedig hozza létre az ikató adatbázist az 'Adatbázis létrehozása' nyomógombbal!"},
    {15, 15, L"Adatstruktúra létrehozása", L"Nincs hozzáférés",
     L"A megadott adatbázishoz a program nem fér hozzá! A 'Kapcsolat beállítása' nyomógombbal válasszon olyan "
     L"biztosnági beállítást, ami a hozzáférést lehetővé teszi, vagy ha nem tud ilyet, akkor kérje "
     L"rendszergazdája segítségét!"},
    {31, 31, L"Adatstruktúra létrehozása", L"Hiányzó adatstruktúra",
     L"A megadott adatbázis üres. Az iktatási adatok tárolásához szükséges adatstruktúra létrehozásához nyomja "
     L"meg az 'Adatstruktúra létrehozása' nyomógombot!"},
    {63, 63, L"Adatstruktúra létrehozása", L"Hiányzó adatstruktúra",
     L"A megadott adatbázis tartalmaz adatattáblákat, de ez nem az iktató programé! A 'Kapcsolat beállítása' "
     L"nyomógombbal válasszon olyan olyan adatbázist, amely üres, vagy hozzon létre egy újat! Ha mégis a "
     L"beállított adatbázist akarja használni, akkor nyomja meg az 'Adatstruktúra létrehozása' nyomógombot!"},
    {127, 127, L"Adatstruktúra frissítése", L"Hiányos adatstruktúra",
     L"Az adatbázis szerkezete nem felel meg a program verziójának, frissítése szükséges! Frissítés "
     L"elvégzéséhez kattintson az 'Adatstruktúra módosítása' nyomógombra!"},
    {255, 255, L"Adatstruktúra frissítése", L"Adatstruktúra rendben",
     L"Az adatbázis szerkezete megfelel a program verziójának, frissítése nem szükséges!"},
};

const wchar_t kCreatedDatabase[] = L"Az adatbázis sikeresen létrehozva!";
const wchar_t kCreatedStructure[] = L"Az adastruktúra sikeresen létrehozva!";
const wchar_t kUpgraded[] = L"Az adatbázis frissítése sikeres!";
const wchar_t kUpgradeFailed[] = L"Az adatbázis frissítése nem sikerült!";

const COLORREF kWhite = RGB(255, 255, 255);

const StructureLine* FindStructureLine(int level)
{
    for (const StructureLine& line : kStructureLines)
        if (level >= line.lowest && level <= line.highest)
            return &line;
    return NULL;
}

} // namespace

BEGIN_MESSAGE_MAP(CDBWizardDlg, CDialogEx)
    ON_WM_ERASEBKGND()
    ON_BN_CLICKED(IDC_DBW_CONNECTION, &CDBWizardDlg::OnBnClickedConnection)
    ON_BN_CLICKED(IDC_DBW_STRUCT, &CDBWizardDlg::OnBnClickedDBStruct)
END_MESSAGE_MAP()

CDBWizardDlg::CDBWizardDlg(CConnectionManagerSqlServer* pManager, CWnd* pParent, CUgyiratStore* pStore)
    : CDialogEx(IDD_DBWIZARD, pParent), m_pManager(pManager), m_pStore(pStore), m_nLevel(0), m_nStructureCode(0)
{
}

void CDBWizardDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_DBW_SERVER_TEXT, m_serverText);
    DDX_Control(pDX, IDC_DBW_STRUCT_TEXT, m_structText);
}

BOOL CDBWizardDlg::OnInitDialog()
{
    if (!CDialogEx::OnInitDialog())
        return FALSE;
    // The labels above the line stand on the white ground too.
    SetBackgroundColor(kWhite, FALSE);
    for (CFontStatic* text : {&m_serverText, &m_structText}) {
        text->SetBackgroundColor(kWhite);
        text->SetFontStyle(CFontStatic::kWordWrap);
    }
    RefreshState(false);
    return TRUE;
}

BOOL CDBWizardDlg::OnEraseBkgnd(CDC* pDC)
{
    CRect client;
    GetClientRect(&client);
    CRect text;
    ::GetWindowRect(::GetDlgItem(m_hWnd, IDC_DBW_STRUCT_TEXT), &text);
    ScreenToClient(&text);
    CRect top(client.left, client.top, client.right, text.bottom);
    CRect rest(client.left, text.bottom, client.right, client.bottom);
    pDC->FillSolidRect(&top, kWhite);
    pDC->FillSolidRect(&rest, ::GetSysColor(COLOR_BTNFACE));
    return TRUE;
}

void CDBWizardDlg::RefreshState(bool afterAction)
{
    CSqlConnectionParams params;
    m_pManager->GetConnectionParams(params);
    m_nLevel = m_pManager->CheckAll(params, m_nStructureCode);

    SetDlgItemText(IDCANCEL, L"Kilép");
    bool connected = m_nLevel != CConnectionManagerSqlServer::kLevelNone;
    SetDlgItemText(IDC_DBW_CONNECTION, connected ? kConnectionChange : kConnectionNone);
    SetDlgItemText(IDC_DBW_SERVER_STATE, connected ? kStateConnected : kStateNone);
    SetDlgItemText(IDC_DBW_SERVER_TEXT, connected ? kTextConnected : kTextNone);
    if (const StructureLine* line = FindStructureLine(m_nLevel)) {
        if (line->button)
            SetDlgItemText(IDC_DBW_STRUCT, line->button);
        SetDlgItemText(IDC_DBW_STRUCT_STATE, line->state);
        SetDlgItemText(IDC_DBW_STRUCT_TEXT, line->text);
    }
    if (m_nLevel == CConnectionManagerSqlServer::kLevelCurrent)
        SetDlgItemText(IDCANCEL, afterAction ? L"Tovább" : L"Vissza");
    bool canAct = m_nLevel >= 1 && m_nLevel <= 254 && m_nLevel != CConnectionManagerSqlServer::kLevelListed;
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_DBW_STRUCT), canAct);
    RedrawWindow(NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void CDBWizardDlg::OnBnClickedConnection()
{
    CSqlOptionsDlg options(m_pManager, this);
    if (options.DoModal() == IDOK)
        RefreshState(true);
}

void CDBWizardDlg::OnBnClickedDBStruct()
{
    CSqlConnectionParams params;
    m_pManager->GetConnectionParams(params);
    if (m_nLevel >= 1 && m_nLevel <= 7) {
        if (m_pManager->CreateDatabase(params) && m_pManager->CreateDBStruct(params))
            MessageBox(kCreatedDatabase);
    } else if (m_nLevel >= 31 && m_nLevel <= 63) {
        if (m_pManager->CreateDBStruct(params))
            MessageBox(kCreatedStructure);
    } else if (m_nLevel == CConnectionManagerSqlServer::kLevelOldTable &&
               m_nStructureCode == CConnectionManagerSqlServer::kStructureOld) {
        // The database the check graded, not whatever the stored string names.
        MessageBox(m_pManager->UpdateDBStruct(params) ? kUpgraded : kUpgradeFailed);
    }
    RefreshState(true);
}

bool CDBWizardDlg::ReloadCases()
{
    if (!m_pStore) {
        LogLine(L"CDBWizardDlg::ReloadCases: no case store");
        return false;
    }
    return m_pStore->LoadFromDatabase();
}
