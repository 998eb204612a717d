#include "app/IktatoEditDlg.h"
#include <time.h>
#include "app/HataridoDlg.h"
#include "foundation/AppSettings.h"
#include "foundation/Conversions.h"
#include "foundation/Log.h"
#include "resources/resource.h"

namespace {

const wchar_t kErrorCaption[] = L"Hibás adatmegadás";
const wchar_t kWarningCaption[] = L"Figyelmeztetés";

// Our own texts where the commands would otherwise fail silently.
const wchar_t kTextInsertFailed[] =
    L"Az új ügyet nem sikerült elmenteni!\n\n"
    L"A beírt adatok megmaradtak: ellenőrizze őket (például az ügyszámot), majd próbálja újra.";
const wchar_t kTextUpdateFailed[] =
    L"Az ügy módosítását nem sikerült elmenteni!\n\n"
    L"A beírt adatok megmaradtak: ellenőrizze őket (például az ügyszámot), majd próbálja újra.";
const wchar_t kTextCaseMissing[] = L"A kiválasztott ügyirat már nem létezik (időközben törölték). A lista frissül.";

// The record's text fields hold this many characters.
const int kMaxNameChars = 200;
const int kMaxHataridokChars = 1024;

// The prefix-selected item may differ from the case's text (another
// spelling, a longer name): prefer the item that is exactly the text, and
// never let the selection replace what the case holds.
void SelectName(CComboBox& combo, const CString& name)
{
    if (name.IsEmpty())
        return;
    for (int i = 0; i < combo.GetCount(); ++i) {
        CString item;
        combo.GetLBText(i, item);
        if (item == name) {
            combo.SetCurSel(i);
            return;
        }
    }
    combo.SelectString(-1, name);
    combo.SetWindowText(name);
}

void Warn(CWnd* pOwner, LPCWSTR text)
{
    HWND owner = CWnd::GetSafeOwner_(pOwner ? pOwner->GetSafeHwnd() : NULL, NULL);
    ::MessageBoxW(owner, text, kWarningCaption, MB_OK | MB_ICONWARNING);
}

EditCaseResult TellCaseMissing(CWnd* pOwner, int key)
{
    LogFormat(L"Modify: case key %d is no longer in the store", key);
    Warn(pOwner, kTextCaseMissing);
    return kEditCaseMissing;
}

} // namespace

BEGIN_MESSAGE_MAP(CIktatoEditDlg, CDialogEx)
    ON_BN_CLICKED(IDC_IKT_NEXT, &CIktatoEditDlg::OnBnClickedNext)
    ON_CBN_SETFOCUS(IDC_IKT_UGYFEL, &CIktatoEditDlg::OnCbnSetfocusUgyfelNeve)
    ON_CBN_SETFOCUS(IDC_IKT_ELLENFEL, &CIktatoEditDlg::OnCbnSetfocusEllenfelNeve)
    ON_CBN_SETFOCUS(IDC_IKT_UGYJELLEGE, &CIktatoEditDlg::OnCbnSetfocusUgyJellege)
    ON_BN_CLICKED(IDC_IKT_ADD_DEADLINE, &CIktatoEditDlg::OnBnClickedAddDeadline)
    ON_BN_CLICKED(IDC_IKT_MODIFY_DEADLINE, &CIktatoEditDlg::OnBnClickedModifyDeadline)
    ON_BN_CLICKED(IDC_IKT_DELETE_DEADLINE, &CIktatoEditDlg::OnBnClickedDeleteDeadline)
END_MESSAGE_MAP()

CIktatoEditDlg::CIktatoEditDlg(CUgyiratStore* pStore, int nMode, CWnd* pParent)
    : CDialogEx(IDD_IKTATO_EDIT, pParent), m_pStore(pStore), m_nMode(nMode), m_bPredictive(true), Nr(0), Ev(0),
      Allapot(1)
{
}

void CIktatoEditDlg::ExchangeName(CDataExchange* pDX, int comboId, int editId, CString& value, LPCWSTR tooLongText)
{
    int id = m_bPredictive ? comboId : editId;
    CString text;
    GetDlgItemText(id, text);
    if (text.GetLength() > kMaxNameChars) {
        pDX->PrepareCtrl(id);
        MessageBox(tooLongText, kErrorCaption, MB_OK | MB_ICONEXCLAMATION);
        pDX->Fail();
    }
    value = text;
}

void CIktatoEditDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_IKT_NR, Nr);
    DDV_MinMaxInt(pDX, Nr, 1, kMaxUgyiratNr);
    DDX_Text(pDX, IDC_IKT_EV, Ev);
    DDV_MinMaxInt(pDX, Ev, 1990, 2099);
    DDX_Check(pDX, IDC_IKT_ALLAPOT, Allapot);
    DDX_Text(pDX, IDC_IKT_MEGJEGYZES, Megjegyzes);
    DDV_MaxChars(pDX, Megjegyzes, kMaxNameChars);

    DDX_Control(pDX, IDC_IKT_UGYFEL, m_cbUgyfelNeve);
    DDX_Control(pDX, IDC_IKT_ELLENFEL, m_cbEllenfelNeve);
    DDX_Control(pDX, IDC_IKT_UGYJELLEGE, m_cbUgyJellege);
    DDX_Control(pDX, IDC_IKT_HATARIDOK, m_listHataridok);

    if (pDX->m_bSaveAndValidate) {
        ExchangeName(pDX, IDC_IKT_UGYFEL, IDC_IKT_UGYFEL_EDIT, UgyfelNeve,
                     L"Az ügyfél neve legfeljebb 200 karakter lehet!");
        ExchangeName(pDX, IDC_IKT_ELLENFEL, IDC_IKT_ELLENFEL_EDIT, EllenfelNeve,
                     L"A másik fél neve legfeljebb 200 karakter lehet!");
        ExchangeName(pDX, IDC_IKT_UGYJELLEGE, IDC_IKT_UGYJELLEGE_EDIT, UgyJellege,
                     L"Az ügy jellege legfeljebb 200 karakter lehet!");
        CString text;
        for (int i = 0; i < m_listHataridok.GetItemCount(); ++i) {
            if (i)
                text += L'|';
            text += MakeDeadlineItem(m_listHataridok.GetCheck(i) != FALSE, m_listHataridok.GetItemText(i, 0),
                                     m_listHataridok.GetItemText(i, 1));
        }
        if (text.GetLength() > kMaxHataridokChars) {
            pDX->PrepareCtrl(IDC_IKT_HATARIDOK);
            MessageBox(L"A határidők nem férnek el az ügyiratban (legfeljebb 1024 karakter)! Töröljön határidőt "
                       L"vagy rövidítse a megjegyzéseket.",
                       kErrorCaption, MB_OK | MB_ICONEXCLAMATION);
            pDX->Fail();
        }
        Hataridok = text;
        return;
    }

    if (!m_bPredictive) {
        SetDlgItemText(IDC_IKT_UGYFEL_EDIT, UgyfelNeve);
        SetDlgItemText(IDC_IKT_ELLENFEL_EDIT, EllenfelNeve);
        SetDlgItemText(IDC_IKT_UGYJELLEGE_EDIT, UgyJellege);
    }
    CHeaderCtrl* header = m_listHataridok.GetHeaderCtrl();
    if (!header || header->GetItemCount() < 2) {
        m_listHataridok.SetExtendedStyle(m_listHataridok.GetExtendedStyle() | LVS_EX_FULLROWSELECT |
                                         LVS_EX_CHECKBOXES);
        CRect client;
        m_listHataridok.GetClientRect(&client);
        m_listHataridok.InsertColumn(0, L"Dátum", LVCFMT_LEFT, 150);
        m_listHataridok.InsertColumn(1, L"Megjegyzés", LVCFMT_LEFT, client.Width() - 150);
    }
    m_listHataridok.DeleteAllItems();
    // A text that does not parse throws here: the exchange reports it and
    // the dialog ends with -1, so nothing of the case changes.
    for (const CHatarido& deadline : ParseDeadlineList(Hataridok, true, true))
        AppendDeadlineRow(deadline);
}

BOOL CIktatoEditDlg::OnInitDialog()
{
    CAppSettings* settings = GetAppSettings();
    m_bPredictive = !settings || settings->GetProfileInt(L"InputPredictive", 1) == 1;

    if (!CDialogEx::OnInitDialog())
        return FALSE;

    if (m_bPredictive && m_pStore) {
        for (const CString& name : m_pStore->m_partyNames) {
            m_cbUgyfelNeve.AddString(name);
            m_cbEllenfelNeve.AddString(name);
        }
        for (const CString& type : m_pStore->m_caseTypes)
            m_cbUgyJellege.AddString(type);
        SelectName(m_cbUgyfelNeve, UgyfelNeve);
        SelectName(m_cbEllenfelNeve, EllenfelNeve);
        SelectName(m_cbUgyJellege, UgyJellege);
    } else if (!m_bPredictive) {
        static const int pairs[][2] = {{IDC_IKT_UGYFEL, IDC_IKT_UGYFEL_EDIT},
                                       {IDC_IKT_ELLENFEL, IDC_IKT_ELLENFEL_EDIT},
                                       {IDC_IKT_UGYJELLEGE, IDC_IKT_UGYJELLEGE_EDIT}};
        for (const auto& pair : pairs) {
            CRect rc;
            GetDlgItem(pair[0])->GetWindowRect(&rc);
            ScreenToClient(&rc);
            // The window rectangle of a drop-down combo is its closed field.
            GetDlgItem(pair[1])->MoveWindow(rc.left, rc.top, rc.Width(), rc.Height());
        }
    }
    const int show = m_bPredictive ? SW_SHOW : SW_HIDE, hide = m_bPredictive ? SW_HIDE : SW_SHOW;
    m_cbUgyfelNeve.ShowWindow(show);
    m_cbEllenfelNeve.ShowWindow(show);
    m_cbUgyJellege.ShowWindow(show);
    GetDlgItem(IDC_IKT_UGYFEL_EDIT)->ShowWindow(hide);
    GetDlgItem(IDC_IKT_ELLENFEL_EDIT)->ShowWindow(hide);
    GetDlgItem(IDC_IKT_UGYJELLEGE_EDIT)->ShowWindow(hide);

    // The record holds 200 characters of each name.
    m_cbUgyfelNeve.LimitText(kMaxNameChars);
    m_cbEllenfelNeve.LimitText(kMaxNameChars);
    m_cbUgyJellege.LimitText(kMaxNameChars);
    SendDlgItemMessage(IDC_IKT_UGYFEL_EDIT, EM_LIMITTEXT, kMaxNameChars);
    SendDlgItemMessage(IDC_IKT_ELLENFEL_EDIT, EM_LIMITTEXT, kMaxNameChars);
    SendDlgItemMessage(IDC_IKT_UGYJELLEGE_EDIT, EM_LIMITTEXT, kMaxNameChars);
    UpdateAddDeadlineButton();

    if (m_nMode == kModeModify) {
        GetDlgItem(IDC_IKT_NR)->EnableWindow(FALSE);
        GetDlgItem(IDC_IKT_EV)->EnableWindow(FALSE);
    }
    return TRUE;
}

void CIktatoEditDlg::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    if (m_nMode == kModeNew && m_pStore && m_pStore->Find(MakeUgyiratKey(Ev, Nr))) {
        MessageBox(L"Már létezik a megadott ügyiratszám!", kErrorCaption, MB_OK | MB_ICONERROR);
        GotoDlgCtrl(GetDlgItem(IDC_IKT_NR));
        return;
    }
    CDialogEx::OnOK();
}

void CIktatoEditDlg::OnBnClickedNext()
{
    HWND focus = ::GetFocus();
    if (focus == ::GetDlgItem(m_hWnd, IDOK) || focus == ::GetDlgItem(m_hWnd, IDC_IKT_MEGJEGYZES) ||
        focus == ::GetDlgItem(m_hWnd, IDC_IKT_NEXT))
        OnOK();
    else
        NextDlgCtrl();
}

void CIktatoEditDlg::OnCbnSetfocusUgyfelNeve()
{
    m_cbUgyfelNeve.ShowDropDown();
}

void CIktatoEditDlg::OnCbnSetfocusEllenfelNeve()
{
    m_cbEllenfelNeve.ShowDropDown();
}

void CIktatoEditDlg::OnCbnSetfocusUgyJellege()
{
    m_cbUgyJellege.ShowDropDown();
}

void CIktatoEditDlg::UpdateAddDeadlineButton()
{
    GetDlgItem(IDC_IKT_ADD_DEADLINE)->EnableWindow(m_listHataridok.GetItemCount() < kMaxDeadlines);
}

void CIktatoEditDlg::AppendDeadlineRow(const CHatarido& deadline)
{
    int row = m_listHataridok.InsertItem(m_listHataridok.GetItemCount(), deadline.FormatDate());
    if (row >= 0)
        SetDeadlineRow(row, deadline);
}

void CIktatoEditDlg::SetDeadlineRow(int row, const CHatarido& deadline)
{
    m_listHataridok.SetItemText(row, 0, deadline.FormatDate());
    m_listHataridok.SetItemText(row, 1, deadline.m_strRemark);
    m_listHataridok.SetCheck(row, deadline.m_nWatched != 0);
}

void CIktatoEditDlg::OnBnClickedAddDeadline()
{
    if (m_listHataridok.GetItemCount() >= kMaxDeadlines)
        return;
    CHatarido deadline;
    deadline.m_nWatched = 1;
    deadline.m_tDate = _time64(NULL);
    CHataridoDlg dlg(this);
    dlg.SetDeadline(deadline);
    if (dlg.DoModal() == IDOK)
        AppendDeadlineRow(dlg.GetDeadline());
    UpdateAddDeadlineButton();
}

void CIktatoEditDlg::OnBnClickedModifyDeadline()
{
    if (m_listHataridok.GetSelectedCount() != 1)
        return;
    int row = m_listHataridok.GetNextItem(-1, LVNI_SELECTED);
    if (row < 0)
        return;
    CHatarido deadline;
    deadline.m_nWatched = m_listHataridok.GetCheck(row) ? 1 : 0;
    // A row whose date does not parse throws; the window procedure reports it.
    deadline.ParseDate(m_listHataridok.GetItemText(row, 0));
    deadline.m_strRemark = m_listHataridok.GetItemText(row, 1);
    CHataridoDlg dlg(this);
    dlg.SetDeadline(deadline);
    if (dlg.DoModal() == IDOK)
        SetDeadlineRow(row, dlg.GetDeadline());
}

void CIktatoEditDlg::OnBnClickedDeleteDeadline()
{
    if (m_listHataridok.GetSelectedCount() != 1)
        return;
    int row = m_listHataridok.GetNextItem(-1, LVNI_SELECTED);
    if (row >= 0)
        m_listHataridok.DeleteItem(row);
    UpdateAddDeadlineButton();
}

void FillEditDialog(CIktatoEditDlg& dlg, const CUgyiratRecord& r)
{
    dlg.Nr = r.Nr;
    dlg.Ev = r.Ev;
    dlg.Allapot = r.Allapot;
    dlg.UgyfelNeve = r.UgyfelNeve;
    dlg.EllenfelNeve = r.EllenfelNeve;
    dlg.UgyJellege = r.UgyJellege;
    dlg.Megjegyzes = r.Megjegyzes;
    dlg.Hataridok = r.Hataridok;
}

void TakeEditDialogValues(CUgyiratRecord& r, const CIktatoEditDlg& dlg)
{
    r.Nr = dlg.Nr;
    r.Ev = dlg.Ev;
    r.Allapot = dlg.Allapot ? 1 : 0;
    CopyField(r.UgyfelNeve, dlg.UgyfelNeve, dlg.UgyfelNeve.GetLength());
    CopyField(r.EllenfelNeve, dlg.EllenfelNeve, dlg.EllenfelNeve.GetLength());
    CopyField(r.UgyJellege, dlg.UgyJellege, dlg.UgyJellege.GetLength());
    CopyField(r.Megjegyzes, dlg.Megjegyzes, dlg.Megjegyzes.GetLength());
    CopyField(r.Hataridok, dlg.Hataridok, dlg.Hataridok.GetLength());
}

// ---------------------------------------------------------------------------
// The new and modify commands

EditCaseResult RunNewCaseDialog(CUgyiratStore& store, CWnd* pOwner)
{
    int year = 0;
    __time64_t now = _time64(NULL);
    struct tm local;
    if (_localtime64_s(&local, &now) == 0)
        year = local.tm_year + 1900;
    CIktatoEditDlg dlg(&store, CIktatoEditDlg::kModeNew);
    dlg.Ev = year;
    dlg.Nr = store.GetNextNr(0);
    while (dlg.DoModal() == IDOK) {
        CUgyiratRecord record;
        ZeroRecord(record);
        TakeEditDialogValues(record, dlg);
        GetCurrentDbTimestamp(record.Datum);
        if (store.Insert(record))
            return kEditCaseSaved;
        LogFormat(L"Insert of case %d/%d failed; the entry stays in the edit dialog", record.Nr, record.Ev);
        Warn(pOwner, kTextInsertFailed);
    }
    return kEditCaseCancelled;
}

EditCaseResult RunModifyCaseDialog(CUgyiratStore& store, int key, CWnd* pOwner)
{
    const CUgyiratRecord* stored = store.Find(key);
    if (!stored)
        return TellCaseMissing(pOwner, key);
    CUgyiratRecord record = *stored;
    CIktatoEditDlg dlg(&store, CIktatoEditDlg::kModeModify);
    FillEditDialog(dlg, record);
    while (dlg.DoModal() == IDOK) {
        // A reload while the dialog was open may have taken the case away;
        // writing it now would bring it back.
        if (!store.Find(key))
            return TellCaseMissing(pOwner, key);
        TakeEditDialogValues(record, dlg);
        record.CC[0] = 0;
        if (store.Update(key, record))
            return kEditCaseSaved;
        LogFormat(L"Update of case %d/%d failed; the entry stays in the edit dialog", record.Nr, record.Ev);
        Warn(pOwner, kTextUpdateFailed);
    }
    return kEditCaseCancelled;
}
