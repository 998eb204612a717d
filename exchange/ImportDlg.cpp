#include "exchange/ImportDlg.h"
#include <string.h>
#include "exchange/ImportColumnDlg.h"
#include "exchange/ImportEditDlg.h"
#include "foundation/ComScope.h"
#include "foundation/Log.h"
#include "foundation/Progress.h"
#include "foundation/ProgressDlg.h"
#include "resources/resource.h"
#include "storage/StoreBusy.h"

namespace {

const COLORREF kDarkBand = 0x404040;
const COLORREF kGreyBand = 0x808080;
const UINT_PTR kColumnTimerBase = 1000;
const UINT kColumnTimerMs = 100;
const DWORD kReportIntervalMs = 100;

const wchar_t kNotImported[] = L"nem importál";

const wchar_t kHintPaste[] = L"Másolja ki táblázatos formában megszerkesztett adatait a vágólapra és illessze be az "
                             L"\"Adatok a vágólapról\" nyomógomb segítségével.";
const wchar_t kHintTypes[] = L"Az oszlopok fejlécére kattintva adja meg az adott oszlopban tartalmazott adatok típusát!";
const wchar_t kHintRequired[] = L"Az év, iktatószám, ügyfél neve kötelező adat, az importálás még nem kezhető meg!";
const wchar_t kHintOptional[] = L"Célszerű a másik fél és ügytípus adatokat is megadni, ha valamaelyik oszlop "
                                L"tartalmazza ezeket az adatokat!";
const wchar_t kHintRemark[] = L"Az importálás indítható! (Az adatbázis megjegyzés oszlopába adat még hozzáadható.)";
const wchar_t kHintReady[] = L"Az importálás indítható! ";

CRect ChildRect(CWnd* dialog, int id)
{
    CRect rect;
    HWND child = ::GetDlgItem(dialog->GetSafeHwnd(), id);
    if (child) {
        ::GetWindowRect(child, &rect);
        dialog->ScreenToClient(&rect);
    }
    return rect;
}

} // namespace

BEGIN_MESSAGE_MAP(CImportDlg, CDialogEx)
    ON_WM_SIZE()
    ON_WM_TIMER()
    ON_WM_ERASEBKGND()
    ON_WM_CTLCOLOR()
    ON_WM_GETMINMAXINFO()
    ON_BN_CLICKED(IDC_IMP_PASTE, &CImportDlg::OnBnClickedFromClipboard)
    ON_BN_CLICKED(IDC_IMP_PREV_ERROR, &CImportDlg::OnBnClickedPrevError)
    ON_BN_CLICKED(IDC_IMP_MODIFY, &CImportDlg::OnBnClickedModify)
    ON_BN_CLICKED(IDC_IMP_NEXT_ERROR, &CImportDlg::OnBnClickedNextError)
    ON_NOTIFY(LVN_COLUMNCLICK, IDC_IMP_GRID, &CImportDlg::OnColumnClick)
END_MESSAGE_MAP()

CImportDlg::CImportDlg(CUgyiratStore* store, CWnd* pParent)
    : CDialogEx(IDD_IMPORT, pParent), m_pSink(NULL), m_bStopWorker(false), m_bImporting(false)
{
    memset(m_types, 0, sizeof(m_types));
    m_table.SetStore(store);
    LogLine(L"Show popup CImportDlg");
}

void CImportDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_IMP_GRID, m_grid);
}

BOOL CImportDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    m_darkBrush.CreateSolidBrush(kDarkBand);
    m_greyBrush.CreateSolidBrush(kGreyBand);
    m_grid.SetExtendedStyle(m_grid.GetExtendedStyle() | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    m_grid.SetColumnTypes(m_types);
    m_grid.SetOwnerDialog(this);
    GetClientRect(&m_initialClient);
    m_initialHint = ChildRect(this, IDC_IMP_HINT);
    m_initialGrid = ChildRect(this, IDC_IMP_GRID);
    m_initialOk = ChildRect(this, IDOK);
    Revalidate();
    return TRUE;
}

int CImportDlg::ColumnCount() const
{
    int n = m_table.GetColumnCount();
    return n < kMaxImportColumns ? n : kMaxImportColumns;
}

int CImportDlg::GetRowStatus(int row)
{
    CImportRow* r = m_table.GetRow(row);
    return r ? r->m_status : 0;
}

int CImportDlg::GetColumnType(int column) const
{
    return column >= 0 && column < kMaxImportColumns ? m_types[column] : 0;
}

void CImportDlg::SetColumnCaption(int column, LPCWSTR caption)
{
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT;
    col.pszText = const_cast<LPWSTR>(caption);
    m_grid.SetColumn(column, &col);
}

// ---- Paste ----

void CImportDlg::OnBnClickedFromClipboard()
{
    if (m_grid.GetItemCount() > 0) {
        if (MessageBox(L"Már vannak adatok a táblázatban, törlöm a korábbi adatokat?\n\n", NULL,
                       MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
            return;
        m_grid.DeleteAllItems();
        while (m_grid.GetHeaderCtrl()->GetItemCount() > 0)
            m_grid.DeleteColumn(0);
    }
    int columns = m_table.ReadClipboard(this);
    if (columns > 0) {
        FillGrid(columns);
    } else if (m_grid.GetItemCount() == 0 && m_table.GetRowCount() > 0) {
        // The old rows were dropped from the grid: the table follows it.
        m_table.SetText(L"", 0);
    }
    memset(m_types, 0, sizeof(m_types));
    Revalidate();
}

void CImportDlg::FillGrid(int columns)
{
    if (columns > kMaxImportColumns)
        columns = kMaxImportColumns;
    m_grid.SetRedraw(FALSE);
    for (int c = 0; c < columns; ++c) {
        CString caption;
        caption.Format(L"%d. oszlop", c + 1);
        m_grid.InsertColumn(c, caption);
    }
    for (int i = 0; i < m_table.GetRowCount(); ++i) {
        const CImportRow* row = m_table.GetRow(i);
        LPCWSTR first = row->GetCell(0).GetText();
        int item = m_grid.InsertItem(i, first ? first : L"");
        m_grid.SetItemData(item, (DWORD_PTR)i);
        for (int c = 1; c < columns && c < row->GetCellCount(); ++c) {
            LPCWSTR text = row->GetCell(c).GetText();
            if (text && *text)
                m_grid.SetItemText(item, c, text);
        }
    }
    int total = 0;
    for (int c = columns - 1; c >= 0; --c) {
        m_grid.SetColumnWidth(c, LVSCW_AUTOSIZE);
        total += m_grid.GetColumnWidth(c);
        SetColumnCaption(c, kNotImported);
        m_types[c] = 0;
    }
    CRect client;
    m_grid.GetClientRect(&client);
    if (total + 10 * columns < client.Width()) {
        int extra = (client.Width() - total) / columns;
        for (int c = 0; c < columns; ++c)
            m_grid.SetColumnWidth(c, m_grid.GetColumnWidth(c) + extra);
    }
    m_grid.SetRedraw(TRUE);
    m_grid.Invalidate();
}

void CImportDlg::RefreshRowTexts(int row)
{
    const CImportRow* r = m_table.GetRow(row);
    if (!r || row >= m_grid.GetItemCount())
        return;
    for (int c = 0; c < ColumnCount(); ++c) {
        LPCWSTR text = r->GetCell(c).GetText();
        m_grid.SetItemText(row, c, text ? text : L"");
    }
}

// ---- Column types ----

void CImportDlg::OnColumnClick(NMHDR* pNMHDR, LRESULT* pResult)
{
    NMLISTVIEW* click = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
    if (!m_bImporting && click->iSubItem >= 0 && click->iSubItem < kMaxImportColumns &&
        SetTimer(kColumnTimerBase + click->iSubItem, kColumnTimerMs))
        m_columnTimers.set((size_t)click->iSubItem);
    *pResult = 0;
}

void CImportDlg::KillColumnTimers()
{
    for (size_t column = 0; column < m_columnTimers.size(); ++column)
        if (m_columnTimers.test(column))
            KillTimer(kColumnTimerBase + column);
    m_columnTimers.reset();
}

void CImportDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent < kColumnTimerBase) {
        CDialogEx::OnTimer(nIDEvent);
        return;
    }
    KillTimer(nIDEvent);
    int column = (int)(nIDEvent - kColumnTimerBase);
    if (column < kMaxImportColumns)
        m_columnTimers.reset((size_t)column);
    // Once the import runs, the rows belong to the worker: a late timer
    // must not retype a column and revalidate them under it.
    if (m_bImporting || column >= m_grid.GetHeaderCtrl()->GetItemCount() || column >= ColumnCount())
        return;
    CImportColumnDlg dlg(m_types[column], this);
    if (dlg.DoModal() != IDOK)
        return;
    SetColumnType(column, dlg.GetColumnType());
    Revalidate();
}

void CImportDlg::SetColumnType(int column, int type)
{
    if (column < 0 || column >= ColumnCount())
        return;
    const ImportColumnType* chosen = FindImportColumnType(type);
    m_types[column] = chosen ? type : 0;
    SetColumnCaption(column, chosen ? chosen->label : kNotImported);
    if (chosen) {
        for (int c = ColumnCount() - 1; c >= 0; --c) {
            if (c == column || m_types[c] <= 0)
                continue;
            const ImportColumnType* other = FindImportColumnType(m_types[c]);
            if (!other || (other->fieldBits & chosen->fieldBits)) {
                m_types[c] = 0;
                SetColumnCaption(c, kNotImported);
            }
        }
    }
    m_grid.Invalidate();
}

void CImportDlg::Revalidate()
{
    UpdateHint();
    int mask = m_table.GetTypeMask(m_types);
    bool ready = mask > 0 && (mask & kImportRequiredFields) == kImportRequiredFields;
    const int buttons[] = {IDOK, IDC_IMP_PREV_ERROR, IDC_IMP_NEXT_ERROR, IDC_IMP_MODIFY};
    for (int id : buttons) {
        HWND button = ::GetDlgItem(m_hWnd, id);
        if (button)
            ::ShowWindow(button, ready ? SW_SHOW : SW_HIDE);
    }
    if (ready) {
        for (int i = 0; i < m_table.GetRowCount(); ++i)
            m_table.GetRow(i)->m_status = m_table.ValidateRow(m_types, i);
    }
    m_grid.SyncAllChecks();
    m_grid.Invalidate();
}

void CImportDlg::UpdateHint()
{
    int mask = m_table.GetTypeMask(m_types);
    LPCWSTR hint = kHintReady;
    if (m_table.GetRowCount() == 0)
        hint = kHintPaste;
    else if (mask <= 0)
        hint = kHintTypes;
    else if ((mask & kImportRequiredFields) != kImportRequiredFields)
        hint = kHintRequired;
    else if (!(mask & kImportFieldEllenfelNeve) || !(mask & kImportFieldUgyJellege))
        hint = kHintOptional;
    else if (mask == 0x1F && m_table.GetColumnCount() > 5)
        hint = kHintRemark;
    SetDlgItemText(IDC_IMP_HINT, hint);
}

// ---- Rows ----

void CImportDlg::OnBnClickedPrevError()
{
    int selected = m_grid.GetNextItem(-1, LVNI_SELECTED);
    int start = selected >= 0 ? selected : m_grid.GetItemCount();
    for (int i = start - 1; i >= 0; --i) {
        if (GetRowStatus(i) != kRowValid) {
            m_grid.SetItemState(i, LVIS_SELECTED, LVIS_SELECTED);
            m_grid.EnsureVisible(i, FALSE);
            return;
        }
    }
}

void CImportDlg::OnBnClickedNextError()
{
    int selected = m_grid.GetNextItem(-1, LVNI_SELECTED);
    for (int i = selected + 1; i < m_grid.GetItemCount(); ++i) {
        if (GetRowStatus(i) != kRowValid) {
            m_grid.SetItemState(i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
            m_grid.EnsureVisible(i, FALSE);
            return;
        }
    }
}

void CImportDlg::OnBnClickedModify()
{
    int selected = m_grid.GetNextItem(-1, LVNI_SELECTED);
    if (selected < 0) {
        MessageBox(L"Nincs semmi kiválasztva módosításra!", NULL, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    EditRow(selected);
    m_grid.SyncCheck(selected);
}

bool CImportDlg::EditRow(int row)
{
    CImportRow* r = m_table.GetRow(row);
    if (!r)
        return false;
    CUgyiratRecord record;
    ZeroRecord(record);
    m_table.ParseRow(m_types, row, record);
    CImportEditDlg dlg(this);
    dlg.SetRecord(record);
    if (dlg.DoModal() != IDOK)
        return false;
    dlg.GetRecord(record);
    m_table.StoreRow(m_types, row, record);
    RefreshRowTexts(row);
    r->m_status = m_table.ValidateRow(m_types, row);
    m_grid.RedrawItems(row, row);
    return r->m_status == kRowValid;
}

bool CImportDlg::OnRowCheckClicked(int row)
{
    CImportRow* r = m_table.GetRow(row);
    if (!r)
        return false;
    switch (r->m_status) {
    case kRowValid:
        r->m_status = kRowUnticked;
        return true;
    case kRowUnticked:
        r->m_status = kRowValid;
        return true;
    case kRowNotValidated:
        return false;
    case kRowInvalid:
    case kRowExists: {
        LPCWSTR question = r->m_status == kRowInvalid
                               ? L"Hibás adat nem importálható!\n\nKívánja az adatokat módosítani?"
                               : L"Már létező adat nem importálható újra!\n\nKívánja az adatokat módosítani?";
        if (MessageBox(question, NULL, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return false;
        return EditRow(row);
    }
    }
    CString text;
    text.Format(L"Hiba! (#%d)", r->m_status);
    MessageBox(text, NULL, MB_OK | MB_ICONERROR);
    return false;
}

// ---- The import ----

void CImportDlg::OnOK()
{
    if (m_table.GetColumnCount() <= 0) {
        MessageBox(L"Nincs importálandó adat!", NULL, MB_OK | MB_ICONERROR);
        return;
    }
    int mask = m_table.GetTypeMask(m_types);
    if (mask < 0 || (mask & kImportRequiredFields) != kImportRequiredFields) {
        MessageBox(L"A szükséges importálandó oszlopok még nincsenek kijelölve!\n\nAz alábbi oszlopok megadása "
                   L"kötelező:\n      [Év]\n      [Iktatószám]\n      [Ügyfél neve]",
                   NULL, MB_OK | MB_ICONERROR);
        return;
    }
    EndDialog(StartImport());
}

int CImportDlg::StartImport()
{
    // A header click just before the import leaves its timer pending; fired
    // inside the progress window's loop it would open the column dialog,
    // and its OK would revalidate (and tick again) rows the worker is
    // inserting. The pending ones go now, later ones are ignored.
    m_bImporting = true;
    KillColumnTimers();

    CProgressDlg progress(this, false);
    progress.m_bCloseOnAbort = false;
    progress.m_nRange = m_table.GetRowCount();
    progress.m_strTitle = L"Adatok importálása";
    progress.m_strFirstText = L"A vágólapról átmásolt adatok beillesztése az adatbázisba.";

    CWndProgress* sink = new CWndProgress(&progress);
    progress.SetAbortHandler(sink, &CProgress::AbortCallback);
    progress.SetCloseHandler(sink, &CProgress::DetachCallback);
    sink->SetCompletedTexts(L"Az importálás sikeresen befejeződött!", L"Kattintson az Befejezés gombra a folytatáshoz!",
                            L"OK");
    sink->SetAbortedTexts(L"Az importálást megszakította!", L"Kattintson a Kilép gombra a befejezéshez!", L"Kilép");
    m_table.SetImportedCount(0);
    m_bStopWorker.store(false);
    m_pSink.store(sink);

    HANDLE thread = CreateThread(NULL, 0, ImportThreadProc, this, CREATE_SUSPENDED, NULL);
    if (!thread) {
        LogFormat(L"Import: the worker thread cannot be created (%u)", GetLastError());
        m_pSink.store(NULL);
        delete sink;
        return IDCANCEL;
    }
    LogFormat(L"Import: %d rows", m_table.GetRowCount());
    // The main window leaves the store alone while the worker writes it,
    // until the worker has been joined, whatever way this code is left.
    CStoreBusyScope busy;
    progress.m_hWorkerThread = thread;
    progress.DoModal();

    // The worker may still run (an abort it did not answer in time), or may
    // never have been started (the progress window did not open): the abort
    // request stays, so it stops before its next row, and one that never ran
    // inserts nothing. The sink and this wizard outlive it.
    sink->Detach();
    m_bStopWorker.store(true);
    ResumeThread(thread);
    WaitForThreadRepainting(thread);
    CloseHandle(thread);
    m_pSink.store(NULL);
    delete sink;
    busy.End();
    LogFormat(L"Import: %d of %d rows inserted", m_table.GetImportedCount(), m_table.GetRowCount());
    m_grid.Invalidate();
    return progress.m_bAborted || !progress.m_bCompleted ? IDCANCEL : IDOK;
}

void CImportDlg::RunImport()
{
    CProgress* sink = m_pSink.load();
    int rows = m_table.GetRowCount();
    int processed = 0;
    DWORD lastReport = 0;
    for (int i = 0; i < rows; ++i) {
        if (m_bStopWorker.load())
            break;
        CImportRow* row = m_table.GetRow(i);
        if (row->m_status == kRowValid) {
            m_table.ImportRow(m_types, i);
            if (row->m_status == kRowValid)
                m_table.SetImportedCount(m_table.GetImportedCount() + 1);
        }
        if (sink) {
            DWORD now = GetTickCount();
            if (now - lastReport > kReportIntervalMs) {
                CProgressRecord* record = new CProgressRecord(CProgressRecord::KIND_POSITION, 7, processed);
                record->m_secondText.Format(L"%d sor", processed);
                sink->ProcessMessage(record);
                lastReport = now;
            }
            if (sink->IsAbortRequested()) {
                sink->AcknowledgeAbort();
                break;
            }
        }
        ++processed;
    }
    if (!sink)
        return;
    if (processed < rows) {
        sink->PostAborted();
        return;
    }
    if (m_table.GetImportedCount() != rows) {
        CString first;
        first.Format(L"A %d sorból %d darab sort sikerült az adtbázisba beszúrni.", rows, m_table.GetImportedCount());
        sink->SetCompletedTexts(first, L"Kattintson az Befejezés gombra a folytatáshoz!", L"Befejezés");
    }
    sink->PostCompleted();
}

void CImportDlg::EndFailedImport()
{
    if (CProgress* sink = m_pSink.load())
        sink->PostAborted();
}

// An exception cannot leave a thread: the import ends as failed instead.
DWORD WINAPI ImportThreadProc(LPVOID pParam)
{
    CImportDlg* dlg = static_cast<CImportDlg*>(pParam);
    try {
        CComScope com;
        dlg->RunImport();
        return 0;
    } catch (...) {
        LogCaughtException(L"Import worker");
    }
    try {
        dlg->EndFailedImport();
    } catch (...) {
        // The progress window then ends on its abort.
    }
    return 1;
}

// ---- Look and layout ----

void CImportDlg::OnSize(UINT nType, int cx, int cy)
{
    CDialogEx::OnSize(nType, cx, cy);
    if (m_initialClient.Width() <= 0 || !m_grid.GetSafeHwnd())
        return;
    int dx = cx - m_initialClient.Width();
    int dy = cy - m_initialClient.Height();
    CRect hint = m_initialHint;
    hint.right += dx;
    CRect grid = m_initialGrid;
    grid.right += dx;
    grid.bottom += dy;
    CRect ok = m_initialOk;
    ok.OffsetRect(dx, 0);
    const struct { int id; CRect rect; } moves[] = {{IDC_IMP_HINT, hint}, {IDC_IMP_GRID, grid}, {IDOK, ok}};
    for (const auto& move : moves) {
        HWND child = ::GetDlgItem(m_hWnd, move.id);
        if (child) {
            ::MoveWindow(child, move.rect.left, move.rect.top, move.rect.Width(), move.rect.Height(), TRUE);
            ::InvalidateRect(child, NULL, TRUE);
        }
    }
    Invalidate();
}

void CImportDlg::OnGetMinMaxInfo(MINMAXINFO* lpMMI)
{
    if (m_initialClient.Width() > 0) {
        lpMMI->ptMinTrackSize.x = m_initialClient.Width();
        lpMMI->ptMinTrackSize.y = m_initialClient.Height();
    }
}

BOOL CImportDlg::OnEraseBkgnd(CDC* pDC)
{
    CRect client;
    GetClientRect(&client);
    CRect hint = ChildRect(this, IDC_IMP_HINT);
    CRect ok = ChildRect(this, IDOK);
    int split = (hint.top + ok.bottom) / 2;
    pDC->FillSolidRect(0, 0, client.Width(), split, kDarkBand);
    pDC->FillSolidRect(0, split, client.Width(), client.Height() - split, kGreyBand);
    return TRUE;
}

HBRUSH CImportDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
{
    if (nCtlColor == CTLCOLOR_BTN && m_darkBrush.GetSafeHandle())
        return (HBRUSH)m_darkBrush.GetSafeHandle();
    if (pWnd && pWnd->GetSafeHwnd() == ::GetDlgItem(m_hWnd, IDC_IMP_HINT) && m_greyBrush.GetSafeHandle()) {
        pDC->SetBkMode(TRANSPARENT);
        return (HBRUSH)m_greyBrush.GetSafeHandle();
    }
    return CDialogEx::OnCtlColor(pDC, pWnd, nCtlColor);
}
