#include "storage/SqlOptionsDlg.h"
#include "foundation/Log.h"
#include "resources/resource.h"

namespace {

const wchar_t kNotConnected[] = L"Az adatbáziskapcsolat még nem jött létre!";
const wchar_t kConnectionOk[] = L"Az adatbáziskapcsolat rendben.";
const wchar_t kConnectionMade[] = L"Az adatbáziskapcsolat létrehozva.";
const wchar_t kCreatedDatabase[] = L"Az adatbázis sikeresen létrehozva!";

void EnableItem(HWND dialog, int id, bool enable)
{
    ::EnableWindow(::GetDlgItem(dialog, id), enable ? TRUE : FALSE);
}

} // namespace

// ---------------------------------------------------------------------------
// CSqlOptionsDlg

BEGIN_MESSAGE_MAP(CSqlOptionsDlg, CDialogEx)
    ON_BN_CLICKED(IDC_SQL_LOCAL, &CSqlOptionsDlg::OnBnClickedLocal)
    ON_BN_CLICKED(IDC_SQL_REMOTE, &CSqlOptionsDlg::OnBnClickedRemote)
    ON_BN_CLICKED(IDC_SQL_TEST, &CSqlOptionsDlg::OnBnClickedTest)
    ON_BN_CLICKED(IDOK, &CSqlOptionsDlg::OnBnClickedOk)
    ON_CBN_SELENDOK(IDC_SQL_AUTH, &CSqlOptionsDlg::OnCbnSelendokAuth)
END_MESSAGE_MAP()

CSqlOptionsDlg::CSqlOptionsDlg(CConnectionManagerSqlServer* pManager, CWnd* pParent)
    : CDialogEx(IDD_SQLOPTIONS, pParent), m_pManager(pManager)
{
    pManager->GetConnectionParams(m_params);
    LogLine(L"Show popup CSqlOptionsDlg");
}

void CSqlOptionsDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    // Saving stops at the first value that cannot be read; the caller then
    // checks nothing.
    DDX_Text(pDX, IDC_SQL_DBNAME, m_params.database);
    DDX_Text(pDX, IDC_SQL_HOST, m_params.host);
    DDX_Text(pDX, IDC_SQL_PORT, m_params.port);
    DDX_Text(pDX, IDC_SQL_INSTANCE, m_params.instance);
    DDX_Control(pDX, IDC_SQL_AUTH, m_auth);
    DDX_Text(pDX, IDC_SQL_USER, m_params.user);
    DDX_Text(pDX, IDC_SQL_PASSWORD, m_params.password);
    if (pDX->m_bSaveAndValidate)
        m_params.auth = m_auth.GetCurSel() == 0 ? 1 : 2;
}

BOOL CSqlOptionsDlg::OnInitDialog()
{
    if (!CDialogEx::OnInitDialog())
        return FALSE;
    CheckRadioButton(IDC_SQL_REMOTE, IDC_SQL_LOCAL, m_params.mode == 3 ? IDC_SQL_REMOTE : IDC_SQL_LOCAL);
    m_auth.SetCurSel(m_params.auth - 1);
    UpdateControls();
    return TRUE;
}

void CSqlOptionsDlg::UpdateControls()
{
    bool remote = m_params.mode == 3;
    EnableItem(m_hWnd, IDC_SQL_PORT, remote);
    EnableItem(m_hWnd, IDC_SQL_HOST, remote);
    EnableItem(m_hWnd, IDC_SQL_INSTANCE, m_params.mode == 2);
    bool sqlLogin = m_auth.GetCurSel() != 0;
    EnableItem(m_hWnd, IDC_SQL_USER, sqlLogin);
    EnableItem(m_hWnd, IDC_SQL_PASSWORD, sqlLogin);
}

void CSqlOptionsDlg::OnBnClickedLocal()
{
    m_params.mode = 2;
    UpdateControls();
}

void CSqlOptionsDlg::OnBnClickedRemote()
{
    m_params.mode = 3;
    UpdateControls();
}

void CSqlOptionsDlg::OnCbnSelendokAuth()
{
    UpdateControls();
}

int CSqlOptionsDlg::TestConnection()
{
    m_strBuilt.Empty();
    // A value that cannot be read (a port that is no integer) has been
    // reported by the data exchange: no check runs on stale values.
    if (!UpdateData(TRUE))
        return kNotRead;
    int structureCode = 0;
    int level = m_pManager->CheckAll(m_params, structureCode);
    if (level > 14)
        m_strBuilt = BuildConnectionString(m_params, false);
    return level;
}

void CSqlOptionsDlg::OnBnClickedTest()
{
    int level = TestConnection();
    if (level == kNotRead)
        return;
    if (level == CConnectionManagerSqlServer::kLevelNone)
        MessageBox(kNotConnected);
    else if (level == CConnectionManagerSqlServer::kLevelCurrent)
        MessageBox(kConnectionOk);
    else if (level >= 1 && level <= 7)
        ChooseDatabase();
    else
        MessageBox(kConnectionMade);
}

void CSqlOptionsDlg::ChooseDatabase()
{
    CSqlOptionsDatabasesDlg chooser(m_pManager, m_params.database, this);
    if (chooser.DoModal() != IDOK)
        return;
    m_params.database = chooser.GetDatabaseName();
    SetDlgItemText(IDC_SQL_DBNAME, m_params.database);
    if (!chooser.IsCreateNew())
        return;
    if (m_pManager->CreateDatabase(m_params) && m_pManager->CreateDBStruct(m_params))
        MessageBox(kCreatedDatabase);
    TestConnection();
}

void CSqlOptionsDlg::OnBnClickedOk()
{
    int level = TestConnection();
    if (level == kNotRead)
        return;
    if (level == CConnectionManagerSqlServer::kLevelNone) {
        MessageBox(kNotConnected);
        return;
    }
    m_pManager->SetConnectionParams(m_params);
    // Below level 15 no string was built: the one SetConnectionParams wrote
    // from the same parameters stays, so the database is reached as soon as
    // it exists.
    if (!m_strBuilt.IsEmpty())
        m_pManager->SetConnectionString(m_strBuilt);
    EndDialog(IDOK);
}

// ---------------------------------------------------------------------------
// CSqlOptionsDatabasesDlg

BEGIN_MESSAGE_MAP(CSqlOptionsDatabasesDlg, CDialogEx)
    ON_BN_CLICKED(IDC_SQLDB_EXISTING, &CSqlOptionsDatabasesDlg::OnBnClickedExisting)
    ON_BN_CLICKED(IDC_SQLDB_NEW, &CSqlOptionsDatabasesDlg::OnBnClickedNew)
    ON_BN_CLICKED(IDOK, &CSqlOptionsDatabasesDlg::OnBnClickedOk)
END_MESSAGE_MAP()

CSqlOptionsDatabasesDlg::CSqlOptionsDatabasesDlg(CConnectionManagerSqlServer* pManager, LPCWSTR proposedName,
                                                 CWnd* pParent)
    : CDialogEx(IDD_SQLOPTIONS_DATABASES, pParent), m_pManager(pManager), m_strNewName(proposedName),
      m_bCreateNew(true)
{
    LogLine(L"Show popup CSqlOptionsDatabasesDlg");
}

void CSqlOptionsDatabasesDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_SQLDB_NEWNAME, m_strNewName);
    DDX_Control(pDX, IDC_SQLDB_LIST, m_databases);
}

BOOL CSqlOptionsDatabasesDlg::OnInitDialog()
{
    if (!CDialogEx::OnInitDialog())
        return FALSE;
    for (const CString& name : m_pManager->Databases)
        m_databases.AddString(name);
    if (m_databases.GetCount() > 0) {
        m_databases.SetCurSel(0);
    } else {
        EnableItem(m_hWnd, IDC_SQLDB_EXISTING, false);
        m_databases.EnableWindow(FALSE);
    }
    CheckRadioButton(IDC_SQLDB_EXISTING, IDC_SQLDB_NEW, IDC_SQLDB_NEW);
    m_bCreateNew = true;
    return TRUE;
}

void CSqlOptionsDatabasesDlg::OnBnClickedExisting()
{
    m_bCreateNew = false;
}

void CSqlOptionsDatabasesDlg::OnBnClickedNew()
{
    m_bCreateNew = true;
}

void CSqlOptionsDatabasesDlg::OnBnClickedOk()
{
    if (!m_bCreateNew && m_databases.GetCount() > 0) {
        int selected = m_databases.GetCurSel();
        if (selected >= 0)
            m_databases.GetLBText(selected, m_strChosen);
    }
    OnOK();
}
