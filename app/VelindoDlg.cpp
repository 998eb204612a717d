#include "app/VelindoDlg.h"
#include <time.h>
#include <wchar.h>
#include "afxapp.h"
#include "app/AboutBox.h"
#include "app/IktatoEditDlg.h"
#include "app/OptionsDlg.h"
#include "app/VelindoApp.h"
#include "app/WindowMetrics.h"
#include "foundation/AppSettings.h"
#include "foundation/BackupFileLock.h"
#include "foundation/Conversions.h"
#include "foundation/Log.h"
#include "foundation/Progress.h"
#include "foundation/RegisteredMessages.h"
#include "foundation/XMessageBox.h"
#include "online/BackgroundProcess.h"
#include "resources/resource.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/DBWizardDlg.h"
#include "storage/DatabaseContext.h"
#include "storage/UgyiratStore.h"

namespace {

const wchar_t kWarning[] = L"Figyelmeztetés";
const wchar_t kTextNewOffline[] = L"Leválasztott módban nem lehet adatot rögzíteni!";
const wchar_t kTextModifyOffline[] = L"Offline módban nem lehet adatot módosítani!";
const wchar_t kTextDeleteOffline[] = L"Offline módban nem lehet adatot törölni!";
const wchar_t kTextConfirmDelete[] = L"Valóban töröljem a kijelölt elemet?";
const wchar_t kTextConnectFailed[] =
    L"Nem sikerült kapcsolódni!\n\nHa Ön most olyan környezetben dolgozik, hogy a központi adatbázist látnia\n"
    L"kellene, akkor most lehetősége van az adatbázis kapcsolat beállítására.\n\n"
    L"Kívánja az adatbázis kapcsolatot most beállítani?";
const wchar_t kCaptionConnect[] = L"Adatbázis kapcsolat";
const wchar_t kTextConfirmExit[] = L"Valóban kilépjek?\n\n";
const wchar_t kCaptionExit[] = L"Kilépés";
const UINT kStyleConfirmExit = 0x1000034;
// The exit question is asked while this value is above 100; its check box
// writes 0.
const wchar_t kProfileShowConfirmExit[] = L"ShowConfirmExit";
const int kDefaultShowConfirmExit = 1;

// Our own texts where the commands would otherwise fail silently.
const wchar_t kTextDeleteMissing[] =
    L"A kiválasztott ügyirat már nem létezik (időközben törölték), ezért nem töröltem semmit. A lista frissül.";
const wchar_t kTextBackupFailedOffline[] =
    L"Nem sikerült a helyi mentést elkészíteni!\n\n"
    L"A program leválasztott módban, a most betöltött adatokkal dolgozik tovább.";
const wchar_t kTextExitWhileBusy[] =
    L"Egy művelet még folyamatban van, ezért a program most nem lép ki.\n\n"
    L"Kérjük, fejezze be a megnyitott műveletet, majd lépjen ki újra!";

const wchar_t* const kFilterTexts[CVelindoDlg::kFilterCount] = {
    L"mind - [ Alt+e ]",
    L"lejár ma          - [ Ctrl+0 ]",
    L"lejár ma + 1 nap  - [ Ctrl+1 ]",
    L"lejár ma + 3 nap  - [ Ctrl+2 ]",
    L"lejár ma + 8 nap  - [ Ctrl+3 ]",
    L"lejár ma + 15 nap - [ Ctrl+4 ]",
    L"lejár ma + 30 nap - [ Ctrl+5 ]",
    L"lejár ma + 45 nap - [ Ctrl+6 ]",
    L"lejár valamikor   - [ Ctrl+7 ]",
    L"csak az aktív",
    L"csak a lezárt",
};
const int kFilterDays[9] = {-1, 0, 1, 3, 8, 15, 30, 45, 999};

const int kHotKeyFont = 1;
const int kHotKeyFilterFirst = 10;
const int kHotKeyFilterLast = 17;
const int kHotKeyOpenFolder = 32776;

const int kSearchBuffer = 1024;
const int kFieldBuffer = 201;

// The exit question is open (a second close request meanwhile does nothing).
LONG g_exitQuestionDepth = 0;

} // namespace

const wchar_t CVelindoDlg::kTextNoSelection[] = L"Nincs semmi kiválasztva!";

// ---------------------------------------------------------------------------
// CBusyGuard

CBusyGuard::CBusyGuard(volatile LONG* counter) : m_pCounter(counter)
{
    InterlockedIncrement(m_pCounter);
}

CBusyGuard::~CBusyGuard()
{
    if (InterlockedDecrement(m_pCounter) == 0) {
        CAppSettings* settings = GetAppSettings();
        HWND main = settings ? settings->GetMainWindow() : NULL;
        if (main && ::IsWindow(main))
            ::PostMessageW(main, g_uMsgTask, 0, 0);
    }
}

// ---------------------------------------------------------------------------
// Construction

BEGIN_MESSAGE_MAP(CVelindoDlg, CDialogEx)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_SIZE()
    ON_WM_MOVE()
    ON_WM_GETMINMAXINFO()
    ON_WM_TIMER()
    ON_WM_HOTKEY()
    ON_WM_ERASEBKGND()
    ON_WM_CTLCOLOR()
    ON_BN_CLICKED(IDC_BUTTON_REFRESH, &CVelindoDlg::OnBnClickedRefresh)
    ON_BN_CLICKED(IDC_BUTTON_FULL_LIST, &CVelindoDlg::OnBnClickedFullList)
    ON_BN_CLICKED(IDC_BUTTON_NEW, &CVelindoDlg::OnBnClickedNewCase)
    ON_BN_CLICKED(IDC_BUTTON_MODIFY, &CVelindoDlg::OnBnClickedModify)
    ON_COMMAND(ID_CASE_MODIFY, &CVelindoDlg::OnBnClickedModify)
    ON_BN_CLICKED(IDC_BUTTON_DELETE, &CVelindoDlg::OnBnClickedDelete)
    ON_COMMAND(ID_CASE_DELETE, &CVelindoDlg::OnBnClickedDelete)
    ON_COMMAND(ID_CASE_OPEN_FOLDER, &CVelindoDlg::OnOpenCaseFolder)
    ON_BN_CLICKED(IDC_BUTTON_FOLDER, &CVelindoDlg::OnManageCaseFolder)
    ON_COMMAND(ID_CASE_MANAGE_FOLDER, &CVelindoDlg::OnManageCaseFolder)
    ON_BN_CLICKED(IDC_BUTTON_CONNECT, &CVelindoDlg::OnBnClickedConnect)
    ON_COMMAND(IDOK, &CVelindoDlg::OnExit)
    ON_COMMAND(IDCANCEL, &CVelindoDlg::OnExit)
    ON_EN_CHANGE(IDC_EDIT_SEARCH, &CVelindoDlg::OnEnChangeSearch)
    ON_CBN_SELENDOK(IDC_COMBO_FILTER, &CVelindoDlg::OnCbnSelendokFilter)
    ON_NOTIFY(NM_DBLCLK, IDC_LIST_CASES, &CVelindoDlg::OnNMDblclkList)
    ON_NOTIFY(NM_RCLICK, IDC_LIST_CASES, &CVelindoDlg::OnNMRClickList)
    ON_REGISTERED_MESSAGE(g_uMsgTask, &CVelindoDlg::OnTaskMessage)
    ON_REGISTERED_MESSAGE(g_uMsgProgress, &CVelindoDlg::OnProgressMessage)
    ON_REGISTERED_MESSAGE(g_uMsgLockUi, &CVelindoDlg::OnLockUiMessage)
END_MESSAGE_MAP()

CVelindoDlg::CVelindoDlg(CWnd* pParent)
    : CDialogEx(IDD, pParent), m_hIcon(NULL), m_bHaveLastNormal(false), m_bEsc(false), m_bEditEnabled(false),
      m_bLockedByWorker(false), m_bListOwed(false), m_nProgressRange(1), m_nBusy(0),
      m_pWorker(NULL)
{
    m_hIcon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_FOLIONEX));
}

CVelindoDlg::~CVelindoDlg()
{
    // Waits for the worker's thread if it still runs.
    delete m_pWorker;
    m_pWorker = NULL;
    // m_hIcon is the module's shared icon (LoadIcon): not ours to destroy.
}

void CVelindoDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_BUTTON_REFRESH, m_btnRefresh);
    DDX_Control(pDX, IDC_COMBO_FILTER, m_comboFilter);
    DDX_Control(pDX, IDC_LIST_CASES, m_list);
    DDX_Control(pDX, IDC_STATIC_STATUS, m_status);
    DDX_Control(pDX, IDC_STATIC_CONNECTION, m_connection);
}

// ---------------------------------------------------------------------------
// Where the data lives

CUgyiratStore* CVelindoDlg::Store()
{
    return theApp.m_pDatabase ? theApp.m_pDatabase->m_pStore : NULL;
}

CConnectionManagerSqlServer* CVelindoDlg::Connection()
{
    return theApp.m_pDatabase ? theApp.m_pDatabase->m_pConnection : NULL;
}

bool CVelindoDlg::IsOnline()
{
    CConnectionManagerSqlServer* connection = Connection();
    return connection && connection->Online;
}

// ---------------------------------------------------------------------------
// Start

BOOL CVelindoDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();

    CMenu* sysMenu = GetSystemMenu(FALSE);
    if (sysMenu) {
        wchar_t options[256] = {0};
        wchar_t about[256] = {0};
        ::LoadStringW(AfxGetResourceHandle(), IDS_OPTIONS, options, 256);
        ::LoadStringW(AfxGetResourceHandle(), IDS_ABOUTBOX, about, 256);
        if (about[0]) {
            sysMenu->AppendMenu(MF_SEPARATOR);
            sysMenu->AppendMenu(MF_STRING, IDM_OPTIONS, options);
            sysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
        }
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    m_btnRefresh.LoadBitmaps(IDB_REFRESH_UP, IDB_REFRESH_DOWN, IDB_REFRESH_FOCUS, IDB_REFRESH_DISABLED);
    // Enter in the search box refreshes: the hidden bitmap button is the default.
    SetDefID(IDC_BUTTON_REFRESH);

    m_status.SetBackgroundColor(RGB(0x40, 0x40, 0x40));
    m_status.SetFontAttributes(L"Sans Serif", 14, RGB(0xFF, 0xFF, 0xFF), CFontStatic::kCentered);
    m_status.SetBarColor(RGB(0x60, 0x60, 0x60));
    m_connection.SetBackgroundColor(RGB(0x40, 0x40, 0x40));
    m_connection.SetFontAttributes(L"Sans Serif", 14, RGB(0xFF, 0xFF, 0xFF), CFontStatic::kCentered);

    m_brushTop.CreateSolidBrush(RGB(0x40, 0x40, 0x40));
    m_brushBottom.CreateSolidBrush(RGB(0x20, 0x20, 0x20));

    for (int i = 0; i < kFilterCount; ++i)
        m_comboFilter.AddString(kFilterTexts[i]);
    m_comboFilter.SetCurSel(0);

    GetClientRect(&m_rcClient);
    CaptureDesignRect(IDC_EDIT_SEARCH, m_rcSearch);
    CaptureDesignRect(IDC_BUTTON_FULL_LIST, m_rcFullList);
    CaptureDesignRect(IDC_LIST_CASES, m_rcList);
    CaptureDesignRect(IDC_BUTTON_NEW, m_rcNew);
    CaptureDesignRect(IDC_BUTTON_MODIFY, m_rcModify);
    CaptureDesignRect(IDC_BUTTON_DELETE, m_rcDelete);
    CaptureDesignRect(IDC_BUTTON_FOLDER, m_rcFolder);
    CaptureDesignRect(IDC_STATIC_STATUS, m_rcStatus);
    CaptureDesignRect(IDC_STATIC_CONNECTION, m_rcConnection);
    CaptureDesignRect(IDC_BUTTON_CONNECT, m_rcConnect);

    CWindowMetrics metrics;
    metrics.Load();
    if (metrics.m_nState == CWindowMetrics::kRectValid)
        MoveWindow(&metrics.m_rect, TRUE);
    else
        ShowWindow(SW_SHOWMAXIMIZED);

    m_list.SetStore(Store());
    CreateListColumns();
    CWindowMetrics().LoadColumnWidths(&m_list);

    RefreshList();
    m_list.InitFont();
    UpdateStatus();

    CAppSettings* settings = GetAppSettings();
    CString title = L"Folionex - ";
    if (settings) {
        title += settings->GetUserName();
        title += L" - ";
        title += settings->GetDataSetName();
        CString url = settings->GetServerUrl();
        if (url != CAppSettings::kDefaultServerUrl) {
            title += L" - ";
            title += url;
        }
    } else {
        title += L" - ";
    }
    SetWindowText(title);

    SetTimer(kTimerWorker, 3000);

    bool hotKeys = ::RegisterHotKey(m_hWnd, kHotKeyFont, MOD_CONTROL, 'B') != FALSE;
    for (int id = kHotKeyFilterFirst; id <= kHotKeyFilterLast; ++id)
        hotKeys = (::RegisterHotKey(m_hWnd, id, MOD_CONTROL, '0' + (id - kHotKeyFilterFirst)) != FALSE) && hotKeys;
    hotKeys = (::RegisterHotKey(m_hWnd, kHotKeyOpenFolder, MOD_ALT, 'K') != FALSE) && hotKeys;
    if (!hotKeys)
        LogFormat(L"RegisterHotKey failed for some hot keys (%u)", GetLastError());

    return FALSE;
}

void CVelindoDlg::CaptureDesignRect(int id, CRect& rect)
{
    HWND child = ::GetDlgItem(m_hWnd, id);
    if (!child)
        return;
    ::GetWindowRect(child, &rect);
    ScreenToClient(&rect);
}

// ---------------------------------------------------------------------------
// Search, filters and status line


std::wstring CVelindoDlg::BuildSearchTerms(LPCWSTR text)
{
    std::wstring out;
    WCHAR last = L' ';
    for (LPCWSTR p = text ? text : L""; *p; ++p) {
        WCHAR c = *p;
        if (c == L',') {
            if (last != L' ') {
                out.push_back(0);
                last = L' ';
            } else if (!out.empty()) {
                // The blank before the comma (or the previous terminator).
                out[out.size() - 1] = 0;
            }
        } else if (c == L' ') {
            if (last != L' ') {
                out.push_back(L' ');
                last = L' ';
            }
        } else {
            last = CVelindoListCtrl::LowerChar(c);
            out.push_back(last);
        }
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

std::vector<CString> CVelindoDlg::SplitTerms(LPCWSTR terms)
{
    std::vector<CString> out;
    if (!terms)
        return out;
    for (LPCWSTR p = terms; *p; p += wcslen(p) + 1)
        out.push_back(CString(p));
    return out;
}

bool CVelindoDlg::MatchSearchTerm(LPCWSTR field, LPCWSTR term)
{
    if (!term || !term[0])
        return term != NULL;
    WCHAR lowered[kFieldBuffer];
    int n = 0;
    if (field)
        for (; n < kFieldBuffer - 1 && field[n]; ++n)
            lowered[n] = CVelindoListCtrl::LowerChar(field[n]);
    lowered[n] = 0;
    size_t m = wcslen(term);
    if (m > (size_t)n)
        return false;
    const WCHAR first = term[0];
    for (int i = 0; i + (int)m <= n; ++i)
        if (lowered[i] == first && wmemcmp(lowered + i, term, m) == 0)
            return true;
    return false;
}

int CVelindoDlg::FilterDays(int filter)
{
    return filter >= 1 && filter <= 8 ? kFilterDays[filter] : -1;
}

LPCWSTR CVelindoDlg::FilterText(int i)
{
    return i >= 0 && i < kFilterCount ? kFilterTexts[i] : L"";
}

CString CVelindoDlg::CutOffText(__time64_t t)
{
    struct tm lt;
    int year = 0, month = 0, day = 0;
    if (_localtime64_s(&lt, &t) == 0) {
        year = lt.tm_year + 1900;
        month = lt.tm_mon + 1;
        day = lt.tm_mday;
    }
    CString text;
    text.Format(L"+%d.%02d.%02d.", year, month, day);
    return text;
}

bool CVelindoDlg::PassesFilter(const CUgyiratRecord& record, int filter, const CString& cutOff)
{
    if (filter == 9)
        return record.Allapot == 1;
    if (filter == 10)
        return record.Allapot == 0;
    if (filter < 1 || filter > 8)
        return true;
    LPCWSTR text = record.Hataridok;
    if (wcslen(text) <= 12)
        return false;
    size_t length = (size_t)cutOff.GetLength();
    for (LPCWSTR item = text; item; ) {
        if (wcsncmp(item, cutOff, length) <= 0)
            return true;
        item = wcschr(item, L'|');
        if (item)
            ++item;
    }
    return false;
}

namespace {

// The four searched fields of one case, each lowered once when first needed.
class CLoweredFields
{
public:
    explicit CLoweredFields(const CUgyiratRecord& record)
        : m_fields{record.UgyfelNeve, record.EllenfelNeve, record.UgyJellege, record.Megjegyzes}
    {
        for (int& n : m_length)
            n = -1;
    }

    bool Contains(int field, LPCWSTR term, size_t termLength)
    {
        if (m_length[field] < 0) {
            int n = 0;
            for (LPCWSTR f = m_fields[field]; n < kFieldBuffer - 1 && f[n]; ++n)
                m_lowered[field][n] = CVelindoListCtrl::LowerChar(f[n]);
            m_lowered[field][n] = 0;
            m_length[field] = n;
        }
        const WCHAR* text = m_lowered[field];
        const int n = m_length[field];
        for (int i = 0; i + (int)termLength <= n; ++i)
            if (text[i] == term[0] && wmemcmp(text + i, term, termLength) == 0)
                return true;
        return false;
    }

private:
    LPCWSTR m_fields[4];
    WCHAR m_lowered[4][kFieldBuffer];
    int m_length[4];
};

} // namespace

bool CVelindoDlg::PassesSearch(const CUgyiratRecord& record, const std::vector<CString>& terms)
{
    if (terms.empty())
        return true;
    CLoweredFields fields(record);
    for (const CString& term : terms) {
        size_t length = (size_t)term.GetLength();
        if (length == 0)
            continue;
        if (!fields.Contains(0, term, length) && !fields.Contains(1, term, length) &&
            !fields.Contains(2, term, length) && !fields.Contains(3, term, length))
            return false;
    }
    return true;
}

void CVelindoDlg::RefreshList()
{
    if (!m_list.GetSafeHwnd())
        return;
    // A worker writes the store now: the list is rebuilt once it is free.
    if (!EnterStore(StoreRoad::ListRebuild))
        return;
    m_bListOwed = false;
    m_list.SetRedraw(FALSE);
    if (!m_list.HasColumns())
        CreateListColumns();
    m_list.ClearKeys();

    WCHAR search[kSearchBuffer] = {0};
    ::GetDlgItemTextW(m_hWnd, IDC_EDIT_SEARCH, search, kSearchBuffer - 1);
    std::wstring terms = BuildSearchTerms(search);
    std::vector<CString> termList = SplitTerms(terms.c_str());

    int filter = m_comboFilter.GetSafeHwnd() ? m_comboFilter.GetCurSel() : 0;
    int days = FilterDays(filter);
    if (days >= 0)
        m_strCutOff = CutOffText(_time64(NULL) + (__time64_t)days * 86400);

    CUgyiratStore* store = Store();
    if (store) {
        // The search reads the store's lowered copy of the searched texts
        // (made for the first search); without terms it is walked when it
        // is at hand, else (or without memory for it) the map itself.
        const CUgyiratSearchIndex* index = store->SearchIndex(!termList.empty());
        if (index) {
            index->Search(termList, [&](int key, const CUgyiratRecord& record) {
                if (PassesFilter(record, filter, m_strCutOff))
                    m_list.AddKey(key);
            });
        } else {
            const CUgyiratStore::RecordMap& records = store->m_records;
            for (auto it = records.rbegin(); it != records.rend(); ++it) {
                const CUgyiratRecord& record = it->second;
                if (PassesFilter(record, filter, m_strCutOff) && PassesSearch(record, termList))
                    m_list.AddKey(it->first);
            }
        }
    }
    m_list.SetSearchTerms(terms.c_str());
    m_list.SendMessage(LVM_SETITEMCOUNT, (WPARAM)m_list.GetKeyCount(), 0);
    m_list.SetRedraw(TRUE);
    m_list.Invalidate(FALSE);

    UpdateStatus();
}

void CVelindoDlg::UpdateStatus()
{
    if (!m_hWnd)
        return;
    // The count is the store's: while a worker writes it, the status line
    // says so instead (and is written again once the store is free).
    if (EnterStore(StoreRoad::StatusLine)) {
        CUgyiratStore* store = Store();
        CString status;
        status.Format(L"%d / %d", m_list.GetSafeHwnd() ? m_list.GetItemCount() : 0,
                      store ? (int)store->m_records.size() : 0);
        m_status.SetWindowText(status);
    }

    CConnectionManagerSqlServer* connection = Connection();
    if (connection && connection->Online) {
        if (connection->SqlConnectionMode == 2) {
            m_connection.SetWindowText(L"Adatabázis-kapcsolat: helyi szerverhez csatlakoztatva (online)");
            SetDlgItemText(IDC_BUTTON_CONNECT, L"Leválaszt");
        } else if (connection->SqlConnectionMode == 3) {
            m_connection.SetWindowText(L"Adatabázis-kapcsolat: távoli szerverhez csatlakoztatva  (online)");
            SetDlgItemText(IDC_BUTTON_CONNECT, L"Leválaszt");
        } else {
            CString text;
            text.Format(L"Adatabázis-kapcsolat: ??? %d ???", connection->SqlConnectionMode);
            m_connection.SetWindowText(text);
        }
        m_bEditEnabled = true;
    } else {
        m_connection.SetWindowText(L"Adatabázis-kapcsolat: leválasztott (offline)");
        SetDlgItemText(IDC_BUTTON_CONNECT, L"Kapcsol");
        m_bEditEnabled = false;
    }
    if (m_connection.GetSafeHwnd()) {
        m_connection.InvalidateRect(NULL, FALSE);
        m_connection.UpdateWindow();
    }
    if (m_status.GetSafeHwnd()) {
        m_status.InvalidateRect(NULL, FALSE);
        m_status.UpdateWindow();
    }
    // While a background backup reads the store the commands stay disabled.
    BOOL enable = m_bEditEnabled && !m_bLockedByWorker;
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_BUTTON_NEW), enable);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_BUTTON_DELETE), enable);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_BUTTON_MODIFY), enable);
}

void CVelindoDlg::ResetListFont()
{
    m_list.StepFont(true);
}

void CVelindoDlg::OnEnChangeSearch()
{
    if (EnterStore(StoreRoad::Search))
        RefreshList();
}

void CVelindoDlg::OnCbnSelendokFilter()
{
    if (EnterStore(StoreRoad::Filter))
        RefreshList();
}

// ---------------------------------------------------------------------------
// Commands

void CVelindoDlg::Refuse(LPCWSTR text)
{
    MessageBox(text, kWarning, MB_OK | MB_ICONWARNING);
}

int CVelindoDlg::GetSelectedRow() const
{
    return (int)::SendMessageW(m_list.GetSafeHwnd(), LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
}

void CVelindoDlg::Reload()
{
    CUgyiratStore* store = Store();
    if (!store)
        return;
    if (!IsOnline())
        store->LoadFromBackup();
    else if (!store->LoadFromDatabase())
        store->LoadFromBackup();
}

void CVelindoDlg::OnBnClickedRefresh()
{
    if (!EnterStore(StoreRoad::Refresh))
        return;
    CBusyGuard guard(&m_nBusy);
    Reload();
    RefreshList();
}

void CVelindoDlg::OnBnClickedFullList()
{
    if (!EnterStore(StoreRoad::FullList))
        return;
    CBusyGuard guard(&m_nBusy);
    m_strCutOff.Empty();
    m_comboFilter.SetCurSel(0);
    SetDlgItemText(IDC_EDIT_SEARCH, L"");
    Reload();
    RefreshList();
}

int CVelindoDlg::RowOfKey(int key) const
{
    for (int row = 0; row < m_list.GetKeyCount(); ++row)
        if (m_list.GetKey(row) == key)
            return row;
    return -1;
}

void CVelindoDlg::SelectRow(int row, UINT state)
{
    LVITEMW item = {};
    item.stateMask = state;
    item.state = state;
    ::SendMessageW(m_list.GetSafeHwnd(), LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&item);
}

void CVelindoDlg::OnBnClickedNewCase()
{
    if (!EnterStore(StoreRoad::NewCase))
        return;
    CBusyGuard guard(&m_nBusy);
    CUgyiratStore* store = Store();
    if (!store || store->IsOffline()) {
        Refuse(kTextNewOffline);
        return;
    }
    OnBnClickedRefresh();
    if (RunNewCaseDialog(*store, this) != kEditCaseCancelled)
        RefreshList();
}

void CVelindoDlg::OnBnClickedModify()
{
    if (!EnterStore(StoreRoad::Modify))
        return;
    CBusyGuard guard(&m_nBusy);
    CUgyiratStore* store = Store();
    if (!store || store->IsOffline()) {
        Refuse(kTextModifyOffline);
        return;
    }
    int row = GetSelectedRow();
    if (row < 0) {
        Refuse(kTextNoSelection);
        return;
    }
    // The list may be rebuilt while the dialog is open (a hot key filter):
    // the case is followed by its key, never by the row index.
    int key = m_list.GetKey(row);
    EditCaseResult result = RunModifyCaseDialog(*store, key, this);
    if (result != kEditCaseCancelled) {
        RefreshList();
        int shown = RowOfKey(key);
        if (result == kEditCaseSaved && shown >= 0)
            SelectRow(shown, LVIS_SELECTED);
    }
    ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, (WPARAM)m_list.GetSafeHwnd(), TRUE);
}

void CVelindoDlg::OnBnClickedDelete()
{
    if (!EnterStore(StoreRoad::Delete))
        return;
    CBusyGuard guard(&m_nBusy);
    CUgyiratStore* store = Store();
    if (!store || store->IsOffline()) {
        Refuse(kTextDeleteOffline);
        return;
    }
    int row = GetSelectedRow();
    if (row < 0) {
        Refuse(kTextNoSelection);
        return;
    }
    // The key of the case the user is asked about: while the question is
    // open the list may be rebuilt (a hot key filter, a reload), and the
    // row may then show another case or none.
    int key = m_list.GetKey(row);
    if (MessageBox(kTextConfirmDelete, kWarning, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return;
    if (!store->Find(key)) {
        LogFormat(L"Delete: case %d/%d is no longer in the store; nothing deleted", key & 0xFFFF, key >> 16);
        RefreshList();
        Refuse(kTextDeleteMissing);
        return;
    }
    row = RowOfKey(key);
    if (!store->Delete(key))
        LogFormat(L"Delete of case %d/%d failed", key & 0xFFFF, key >> 16);
    RefreshList();
    int count = m_list.GetItemCount();
    if (row >= 0 && row >= count && count > 0)
        SelectRow(count - 1, LVIS_SELECTED | LVIS_FOCUSED);
}

void CVelindoDlg::OnBnClickedConnect()
{
    if (!EnterStore(StoreRoad::Connect))
        return;
    CBusyGuard guard(&m_nBusy);
    CWaitCursor wait;
    CConnectionManagerSqlServer* connection = Connection();
    CUgyiratStore* store = Store();
    if (!connection || !store)
        return;
    CString mode = connection->Online ? L"online" : L"offline";
    LogFormat(L"Change to %s mode start", (LPCWSTR)mode);
    LogSetPrefix(L" - ");
    CString keptConnection = connection->GetConnectionString();

    if (connection->Online) {
        bool copied;
        {
            // The list is loaded from the copy just written, not from one
            // that a synchronisation puts in its place meanwhile.
            CBackupFileLock lock(L"switch to offline work");
            copied = store->CreateBackup();
            if (copied)
                store->LoadFromBackup();
        }
        if (!copied) {
            // The store keeps the cases it holds, but works offline like the
            // rest of the program from now on.
            store->SwitchOffline();
            LogLine(L"Create backup failed: offline with the cases in memory");
            MessageBox(kTextBackupFailedOffline, kWarning, MB_OK | MB_ICONWARNING);
        }
        connection->SetOnline(false);
        RefreshList();
    } else if (store->LoadFromDatabase()) {
        connection->SetOnline(true);
        RefreshList();
    } else if (MessageBox(kTextConnectFailed, kCaptionConnect, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        CDBWizardDlg wizard(connection, this);
        wizard.DoModal();
        if (connection->GetConnectionString() != keptConnection && store->LoadFromDatabase()) {
            connection->SetOnline(true);
            RefreshList();
        }
    }

    LogSetPrefix(NULL);
    LogFormat(L"Change to %s mode stop", (LPCWSTR)mode);
}

void CVelindoDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    UINT command = nID & 0xFFF0;
    if (command == IDM_ABOUTBOX) {
        CBusyGuard guard(&m_nBusy);
        CAboutBox about;
        about.DoModal();
        UpdateStatus();
    } else if (command == IDM_OPTIONS) {
        if (!EnterStore(StoreRoad::Options))
            return;
        CBusyGuard guard(&m_nBusy);
        COptionsDlg options(this);
        if (options.DoModal() == IDOK)
            OnBnClickedFullList();
    } else {
        CDialogEx::OnSysCommand(nID, lParam);
    }
}

// ---------------------------------------------------------------------------
// Timers, hot keys and the registered messages

void CVelindoDlg::OnTimer(UINT_PTR nIDEvent)
{
    KillTimer(nIDEvent);
    if (nIDEvent == kTimerWorker) {
        {
            CBusyGuard guard(&m_nBusy);
            if (CAppSettings* settings = GetAppSettings())
                settings->EnsureOnlineBackupSettings(this, false);
        }
        delete m_pWorker; // stops the old worker and waits for its thread
        m_pWorker = new BackgroundProcess(this);
        m_pWorker->SetWorkMode(IsOnline(), Store() && Store()->m_bOffline);
        m_pWorker->Start();
    } else if (nIDEvent == kTimerClearProgress) {
        m_status.SetProgress(0);
        UpdateStatus();
    }
    CDialogEx::OnTimer(nIDEvent);
}

void CVelindoDlg::OnHotKey(UINT nHotKeyId, UINT nKey1, UINT nKey2)
{
    (void)nKey1;
    (void)nKey2;
    if (nHotKeyId == (UINT)kHotKeyFont) {
        m_list.StepFont(false);
    } else if (nHotKeyId >= (UINT)kHotKeyFilterFirst && nHotKeyId <= (UINT)kHotKeyFilterLast) {
        if (!EnterStore(StoreRoad::FilterHotKey))
            return;
        m_comboFilter.SetCurSel((int)nHotKeyId - 9);
        RefreshList();
    } else if (nHotKeyId == (UINT)kHotKeyOpenFolder) {
        OnOpenCaseFolder();
    }
}

LRESULT CVelindoDlg::OnTaskMessage(WPARAM, LPARAM)
{
    // The last guarded command has ended: what waited for the store is done.
    SettleStore();
    if (m_nBusy == 0) {
        if (CAppSettings* settings = GetAppSettings())
            settings->RunPendingTask();
    }
    return 0;
}

LRESULT CVelindoDlg::OnProgressMessage(WPARAM wParam, LPARAM)
{
    CProgressRecord* record = reinterpret_cast<CProgressRecord*>(wParam);
    if (!record)
        return 0;
    if (record->m_flags & CProgressRecord::FLAG_VALUE) {
        switch (record->m_kind) {
        case CProgressRecord::KIND_START:
            m_nProgressRange = record->m_value > 0 ? (UINT)record->m_value : 1;
            m_status.SetProgress(0);
            KillTimer(kTimerClearProgress);
            break;
        case CProgressRecord::KIND_POSITION:
            // In 64 bits: value * 100 must not wrap.
            m_status.SetProgress((UINT)((unsigned long long)(UINT)record->m_value * 100 / m_nProgressRange));
            break;
        case CProgressRecord::KIND_COMPLETED:
            m_status.SetProgress(100);
            break;
        default:
            break;
        }
    }
    if (record->m_flags & CProgressRecord::FLAG_FIRST_TEXT)
        m_status.SetWindowText(record->m_firstText);
    delete record;
    return 0;
}

LRESULT CVelindoDlg::OnLockUiMessage(WPARAM wParam, LPARAM)
{
    if (wParam) {
        m_bLockedByWorker = false;
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_BUTTON_NEW), m_bEditEnabled);
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_BUTTON_DELETE), m_bEditEnabled);
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_BUTTON_MODIFY), m_bEditEnabled);
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_BUTTON_FULL_LIST), TRUE);
        SetTimer(kTimerClearProgress, 3000);
    } else {
        m_bLockedByWorker = true;
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_BUTTON_NEW), FALSE);
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_BUTTON_DELETE), FALSE);
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_BUTTON_MODIFY), FALSE);
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_BUTTON_FULL_LIST), FALSE);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// List notifications

void CVelindoDlg::OnNMDblclkList(NMHDR*, LRESULT* pResult)
{
    OnOpenCaseFolder();
    *pResult = 0;
}

void CVelindoDlg::OnNMRClickList(NMHDR* pNMHDR, LRESULT* pResult)
{
    *pResult = 0;
    NMITEMACTIVATE* click = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR);
    CMenu menu;
    if (!menu.LoadMenu(IDR_MENU_LIST))
        return;
    CMenu* popup = menu.GetSubMenu(0);
    if (!popup)
        return;
    CRect rect;
    m_list.GetWindowRect(&rect);
    int command = popup->TrackPopupMenu(TPM_RIGHTBUTTON | TPM_RETURNCMD, rect.left + click->ptAction.x,
                                        rect.top + click->ptAction.y, this);
    if (command > 0)
        PostMessage(WM_COMMAND, (WPARAM)command, (LPARAM)m_list.GetSafeHwnd());
}

// ---------------------------------------------------------------------------
// Keys and exit

BOOL CVelindoDlg::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_ESCAPE || pMsg->wParam == VK_CANCEL))
        m_bEsc = true;
    return CDialogEx::PreTranslateMessage(pMsg);
}

void CVelindoDlg::OnExit()
{
    if (m_bEsc) {
        m_bEsc = false;
        ShowWindow(SW_MINIMIZE);
        return;
    }
    // A command still runs its own dialog or message box: ending now would
    // pull the dialog from under it.
    if (m_nBusy != 0) {
        LogFormat(L"Exit refused: a command is still running (busy %d)", (int)m_nBusy);
        MessageBox(kTextExitWhileBusy, kCaptionExit, MB_OK | MB_ICONWARNING);
        return;
    }
    if (!EnterStore(StoreRoad::Exit))
        return;

    CAppSettings* settings = GetAppSettings();
    if (settings && settings->GetProfileInt(kProfileShowConfirmExit, kDefaultShowConfirmExit) > 100) {
        if (InterlockedIncrement(&g_exitQuestionDepth) > 1) {
            InterlockedDecrement(&g_exitQuestionDepth);
            return;
        }
        int answer = XMessageBox(NULL, kTextConfirmExit, kCaptionExit, kStyleConfirmExit);
        InterlockedDecrement(&g_exitQuestionDepth);
        // -1: the box could not be shown; that is no answer, and no tick.
        if (answer != -1 && (answer & XMB_CHECK_DONTASK))
            settings->WriteProfileInt(kProfileShowConfirmExit, 0);
        if (answer == -1 || (answer & 0x1F) != IDYES) {
            ShowWindow(SW_MINIMIZE);
            return;
        }
    }

    // The worker first: a synchronisation it runs writes the backup file,
    // and the copy of the central table must be the last word there.
    if (m_pWorker)
        m_pWorker->Stop(true);

    if (IsOnline()) {
        LogLine(L"Create backup at exit - start");
        LogSetPrefix(L" - ");
        CUgyiratStore* store = Store();
        if (!store || !store->CreateBackup())
            LogLine(L"The backup at exit failed; the program exits all the same");
        LogSetPrefix(NULL);
        LogLine(L"Create backup at exit - stop");
    }

    CWindowMetrics().Save(m_bHaveLastNormal ? &m_rcLastNormal : NULL);

    CDialogEx::OnCancel();
}

// ---------------------------------------------------------------------------
// Painting and layout

void CVelindoDlg::OnPaint()
{
    if (IsIconic()) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_hWnd, &ps);
        SendMessage(WM_ICONERASEBKGND, (WPARAM)dc, 0);
        int cx = GetSystemMetrics(SM_CXICON);
        int cy = GetSystemMetrics(SM_CYICON);
        CRect rect;
        GetClientRect(&rect);
        ::DrawIcon(dc, (rect.Width() - cx + 1) / 2, (rect.Height() - cy + 1) / 2, m_hIcon);
        ::EndPaint(m_hWnd, &ps);
    } else {
        CDialogEx::OnPaint();
    }
}

HCURSOR CVelindoDlg::OnQueryDragIcon()
{
    return (HCURSOR)m_hIcon;
}

void CVelindoDlg::OnGetMinMaxInfo(MINMAXINFO* lpMMI)
{
    CDialogEx::OnGetMinMaxInfo(lpMMI);
    lpMMI->ptMinTrackSize.x = 940;
    lpMMI->ptMinTrackSize.y = 600;
}

void CVelindoDlg::MoveControl(int id, const CRect& rect, bool invalidate)
{
    HWND child = ::GetDlgItem(m_hWnd, id);
    if (!child)
        return;
    ::MoveWindow(child, rect.left, rect.top, rect.Width(), rect.Height(), TRUE);
    if (invalidate)
        ::InvalidateRect(child, NULL, FALSE);
}

void CVelindoDlg::RememberNormalRect()
{
    if (::IsIconic(m_hWnd) || ::IsZoomed(m_hWnd))
        return;
    GetWindowRect(&m_rcLastNormal);
    m_bHaveLastNormal = true;
}

void CVelindoDlg::OnMove(int x, int y)
{
    CDialogEx::OnMove(x, y);
    RememberNormalRect();
}

void CVelindoDlg::OnSize(UINT nType, int cx, int cy)
{
    CDialogEx::OnSize(nType, cx, cy);
    RememberNormalRect();
    if (m_rcClient.IsRectEmpty() || nType == SIZE_MINIMIZED)
        return;
    int dx = cx - m_rcClient.Width();
    int dy = cy - m_rcClient.Height();

    if (::GetDlgItem(m_hWnd, IDC_EDIT_SEARCH) && ::GetDlgItem(m_hWnd, IDC_BUTTON_FULL_LIST)) {
        CRect fullList = m_rcFullList;
        CRect search = m_rcSearch;
        if (m_rcNew.left + dx < m_rcFullList.right) {
            fullList.left = m_rcNew.left + dx - 10 - m_rcFullList.Width();
            fullList.right = fullList.left + m_rcFullList.Width();
            search.right = search.left + (fullList.left - 10 - m_rcSearch.left);
        }
        MoveControl(IDC_BUTTON_FULL_LIST, fullList, true);
        MoveControl(IDC_EDIT_SEARCH, search, false);
    }
    const int buttons[4] = {IDC_BUTTON_NEW, IDC_BUTTON_MODIFY, IDC_BUTTON_DELETE, IDC_BUTTON_FOLDER};
    const CRect* designs[4] = {&m_rcNew, &m_rcModify, &m_rcDelete, &m_rcFolder};
    for (int i = 0; i < 4; ++i) {
        CRect r = *designs[i];
        r.OffsetRect(dx, 0);
        MoveControl(buttons[i], r, true);
    }
    CRect status = m_rcStatus;
    status.OffsetRect(0, dy);
    status.right += dx;
    MoveControl(IDC_STATIC_STATUS, status, true);
    CRect connection = m_rcConnection;
    connection.OffsetRect(dx, dy);
    MoveControl(IDC_STATIC_CONNECTION, connection, true);
    CRect connect = m_rcConnect;
    connect.OffsetRect(dx, dy);
    MoveControl(IDC_BUTTON_CONNECT, connect, true);
    CRect list = m_rcList;
    list.right += dx;
    list.bottom += dy;
    MoveControl(IDC_LIST_CASES, list, false);
}

BOOL CVelindoDlg::OnEraseBkgnd(CDC* pDC)
{
    CRect client;
    GetClientRect(&client);
    CRect list = m_rcList;
    HWND hList = m_list.GetSafeHwnd();
    if (hList) {
        ::GetWindowRect(hList, &list);
        ScreenToClient(&list);
    }
    CRect top(client.left, client.top, client.right, list.top);
    CRect bottom(client.left, list.bottom, client.right, client.bottom);
    pDC->FillSolidRect(&top, RGB(0x40, 0x40, 0x40));
    pDC->FillSolidRect(&bottom, RGB(0x20, 0x20, 0x20));
    return TRUE;
}

HBRUSH CVelindoDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
{
    if (nCtlColor == CTLCOLOR_BTN) {
        if (pWnd && pWnd->GetDlgCtrlID() == IDC_BUTTON_CONNECT)
            return (HBRUSH)m_brushBottom;
        return (HBRUSH)m_brushTop;
    }
    return CDialogEx::OnCtlColor(pDC, pWnd, nCtlColor);
}
