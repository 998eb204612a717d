#include "app/OptionsDlg.h"
#include <time.h>
#include "app/StatsDlg.h"
#include "app/VelindoDlg.h"
#include "exchange/ExportDlg.h"
#include "exchange/ImportDlg.h"
#include "exchange/SablonDlg.h"
#include "foundation/AppSettings.h"
#include "foundation/Log.h"
#include "foundation/TransferLock.h"
#include "online/OnlineBackup.h"
#include "online/OnlineRestore.h"
#include "resources/resource.h"
#include "storage/DBWizardDlg.h"
#include "storage/DatabaseContext.h"
#include "storage/StoreBusy.h"
#include "storage/UgyiratStore.h"

namespace {

const wchar_t kProfilePredictive[] = L"InputPredictive";
const wchar_t kProfileFrequency[] = L"OMBackupFrequency";
const wchar_t kProfileLastBackup[] = L"OMLastBackup";

// Stored frequencies above this one belong to a synchronising machine.
const int kLastSendingFrequency = 32;
const int kFirstReceivingFrequency = 33;

const wchar_t kWarning[] = L"Figyelmeztetés";
const wchar_t kTextNoPassword[] = L"Nincs beállítva az on-line mentés jelszava.";
const wchar_t kTextExportFailed[] = L"Az on-line mentés nem sikerült: a mentendő adatokat nem lehetett kiírni.";
const wchar_t kTextTransferRunning[] =
    L"Egy on-line mentés vagy szinkronizálás éppen folyamatban van.\n\n"
    L"Kérjük, várja meg a végét, majd próbálja újra!";

const COLORREF kGround = RGB(0xD0, 0xD0, 0xD0);
const COLORREF kBand = RGB(0x40, 0x40, 0x40);
const COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
const int kCaptionHeight = 14;
const DWORD kCaptionStyle = 0x40;

CUgyiratStore* Store()
{
    CDatabaseContext* database = CDatabaseContext::GetApplicationContext();
    return database ? database->m_pStore : NULL;
}

int ProfileInt(LPCWSTR key, int def)
{
    CAppSettings* settings = GetAppSettings();
    return settings ? settings->GetProfileInt(key, def) : def;
}

void WriteProfileInt(LPCWSTR key, int value)
{
    if (CAppSettings* settings = GetAppSettings())
        settings->WriteProfileInt(key, value);
}

// The window's top and bottom in the dialog's client coordinates.
bool ClientSpan(CWnd* dialog, int id, CRect& rect)
{
    CWnd* control = dialog->GetDlgItem(id);
    if (!control || !::GetWindowRect(control->GetSafeHwnd(), &rect))
        return false;
    dialog->ScreenToClient(&rect);
    return true;
}

} // namespace

BEGIN_MESSAGE_MAP(COptionsDlg, CDialogEx)
    ON_WM_ERASEBKGND()
    ON_WM_CTLCOLOR()
    ON_BN_CLICKED(IDC_OPT_DBWIZARD, &COptionsDlg::OnBnClickedDatabase)
    ON_BN_CLICKED(IDC_OPT_SABLON, &COptionsDlg::OnBnClickedSablon)
    ON_BN_CLICKED(IDC_OPT_EXPORT, &COptionsDlg::OnBnClickedExport)
    ON_BN_CLICKED(IDC_OPT_IMPORT, &COptionsDlg::OnBnClickedImport)
    ON_BN_CLICKED(IDC_OPT_STATS, &COptionsDlg::OnBnClickedStats)
    ON_BN_CLICKED(IDC_OPT_PASSWORD, &COptionsDlg::OnBnClickedPassword)
    ON_BN_CLICKED(IDC_OPT_BACKUP_NOW, &COptionsDlg::OnBnClickedBackupNow)
    ON_BN_CLICKED(IDC_OPT_RESTORE, &COptionsDlg::OnBnClickedRestore)
    ON_CBN_SELENDOK(IDC_OPT_FREQUENCY, &COptionsDlg::OnCbnSelendokFrequency)
    ON_BN_CLICKED(IDC_OPT_PREDICTIVE, &COptionsDlg::OnBnClickedPredictive)
    ON_BN_CLICKED(IDC_OPT_FONT_RESET, &COptionsDlg::OnBnClickedFontReset)
END_MESSAGE_MAP()

COptionsDlg::COptionsDlg(CWnd* pParent) : CDialogEx(IDD_OPTIONS, pParent)
{
    LogLine(L"Show popup COptionsDlg");
}

int COptionsDlg::DaysSince(__int64 now, __int64 last)
{
    return (int)((now - last + 64800) / 86400);
}

int COptionsDlg::FrequencyForEntry(int stored, int entry)
{
    return entry + (stored <= kLastSendingFrequency ? 1 : kFirstReceivingFrequency);
}

void COptionsDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_OPT_DATABASE_BAND, m_databaseBand);
    DDX_Control(pDX, IDC_OPT_DOCUMENTS_BAND, m_documentsBand);
    DDX_Control(pDX, IDC_OPT_ARCHIVE_BAND, m_archiveBand);
    DDX_Control(pDX, IDC_OPT_MORE_BAND, m_moreBand);
    DDX_Control(pDX, IDC_OPT_FREQUENCY, m_frequency);
    DDX_Control(pDX, IDC_OPT_PREDICTIVE, m_predictive);
}

BOOL COptionsDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    ShowDocumentsRoot();
    for (CFontStatic* band : {&m_databaseBand, &m_documentsBand, &m_archiveBand, &m_moreBand}) {
        band->SetBackgroundColor(kBand);
        band->SetFontAttributes(L"Sans Serif", kCaptionHeight, kWhite, kCaptionStyle);
    }
    m_brush.CreateSolidBrush(kGround);
    UpdateBackupInfo();
    m_predictive.SetCheck(ProfileInt(kProfilePredictive, 1) != 0 ? BST_CHECKED : BST_UNCHECKED);
    return TRUE;
}

void COptionsDlg::ShowDocumentsRoot()
{
    CUgyiratStore* store = Store();
    SetDlgItemText(IDC_OPT_ROOT, store ? store->DirRoot : CString());
}

void COptionsDlg::UpdateBackupInfo()
{
    int frequency = ProfileInt(kProfileFrequency, 0);
    if (frequency <= 0) {
        SetDlgItemText(IDC_OPT_FREQUENCY_LABEL, L"");
        SetDlgItemText(IDC_OPT_DAYS_LABEL, L"");
        SetDlgItemText(IDC_OPT_DAYS, L"");
        SetDlgItemText(IDC_OPT_ROLE, L"nincs beállítva");
        m_frequency.ShowWindow(SW_HIDE);
    } else {
        bool receiving = frequency > kLastSendingFrequency;
        SetDlgItemText(IDC_OPT_FREQUENCY_LABEL, receiving ? L"Az automatikus szinkronizálás gyakorisága:"
                                                          : L"Az automatikus on-line mentés gyakorisága:");
        SetDlgItemText(IDC_OPT_DAYS_LABEL, receiving ? L"Az utolsó szinkronizálás óta eltelt napok száma:"
                                                     : L"Az utolsó on-line mentés óta eltelt napok száma:");
        SetDlgItemText(IDC_OPT_ROLE, receiving ? L"lekérdező gép (rendszeres szinkronizálás)"
                                               : L"rögzítő gép (rendszeres on-line mentés)");
        m_frequency.ShowWindow(SW_SHOW);
        // A value past the list's end selects nothing.
        int entry = frequency - (receiving ? kFirstReceivingFrequency : 1);
        m_frequency.SetCurSel(entry < m_frequency.GetCount() ? entry : -1);
        int last = ProfileInt(kProfileLastBackup, 0);
        CString days = L"-- még nem volt --";
        if (last != 0)
            days.Format(L"%d nap", DaysSince(_time64(NULL), last));
        SetDlgItemText(IDC_OPT_DAYS, days);
    }
    Invalidate(TRUE);

    CAppSettings* settings = GetAppSettings();
    BOOL havePassword = settings && !settings->GetOnlineBackupPassword(0).IsEmpty();
    for (int id : {IDC_OPT_IMPORT, IDC_OPT_PASSWORD})
        if (CWnd* control = GetDlgItem(id))
            control->EnableWindow(TRUE);
    for (int id : {IDC_OPT_BACKUP_NOW, IDC_OPT_RESTORE, IDC_OPT_FREQUENCY})
        if (CWnd* control = GetDlgItem(id))
            control->EnableWindow(havePassword);
}

// ---------------------------------------------------------------------------
// Buttons

bool COptionsDlg::RunAsTheOneTransfer(LPCWSTR what, const std::function<void()>& run)
{
    CTransferLock lock;
    if (!lock.Held()) {
        LogFormat(L"COptionsDlg - %s refused: another online transfer is running", what);
        MessageBox(kTextTransferRunning, kWarning, MB_OK | MB_ICONWARNING);
        return false;
    }
    run();
    return true;
}

bool COptionsDlg::EnterStore(LPCWSTR road)
{
    if (StoreRoadOpen(road))
        return true;
    MessageBox(kTextStoreBusy, kWarning, MB_OK | MB_ICONWARNING);
    return false;
}

void COptionsDlg::OnBnClickedDatabase()
{
    // A new connection reloads the store.
    if (!EnterStore(L"database wizard"))
        return;
    CDatabaseContext* database = CDatabaseContext::GetApplicationContext();
    CDBWizardDlg dlg(database ? database->m_pConnection : NULL, this, database ? database->m_pStore : NULL);
    dlg.DoModal();
}

void COptionsDlg::OnBnClickedSablon()
{
    CSablonSettingsDlg dlg(Store());
    dlg.DoModal();
    ShowDocumentsRoot();
}

void COptionsDlg::OnBnClickedExport()
{
    if (!EnterStore(L"export"))
        return;
    CUgyiratStore* store = Store();
    if (!store)
        return;
    CExportDlg dlg(*store);
    dlg.DoModal();
    EndDialog(IDOK);
}

void COptionsDlg::OnBnClickedImport()
{
    bool ran = RunAsTheOneTransfer(L"import", [this] {
        CImportDlg dlg(Store(), this);
        dlg.DoModal();
    });
    if (ran)
        EndDialog(IDOK);
}

void COptionsDlg::OnBnClickedStats()
{
    if (!EnterStore(L"statistics"))
        return;
    CStatsDlg dlg(Store());
    dlg.DoModal();
}

void COptionsDlg::OnBnClickedPassword()
{
    if (CAppSettings* settings = GetAppSettings())
        settings->GetOnlineBackupPassword(1);
    UpdateBackupInfo();
}

void COptionsDlg::OnBnClickedBackupNow()
{
    int result = COnlineBackup::RESULT_OK;
    if (!RunAsTheOneTransfer(L"online backup", [this, &result] { result = COnlineBackup().Upload(this); }))
        return;
    UpdateBackupInfo();
    // The progress dialog has told the user about a failed transfer; these
    // two ended before any window showed.
    if (result == COnlineBackup::RESULT_NO_PASSWORD) {
        LogLine(L"COptionsDlg - online backup not started: no password");
        MessageBox(kTextNoPassword, kWarning, MB_OK | MB_ICONWARNING);
    } else if (result == COnlineBackup::RESULT_EXPORT_FAILED) {
        LogLine(L"COptionsDlg - online backup failed: the backup XML was not written");
        MessageBox(kTextExportFailed, kWarning, MB_OK | MB_ICONWARNING);
    }
}

void COptionsDlg::OnBnClickedRestore()
{
    int result = 0;
    bool ran = RunAsTheOneTransfer(L"online restore", [this, &result] {
        COnlineRestore restore(false, this);
        result = restore.Start(false);
    });
    if (ran && result > 0)
        EndDialog(IDOK);
}

void COptionsDlg::OnCbnSelendokFrequency()
{
    int entry = m_frequency.GetCurSel();
    // Without a selection the stored mode and frequency stay.
    if (entry < 0)
        return;
    WriteProfileInt(kProfileFrequency, FrequencyForEntry(ProfileInt(kProfileFrequency, 0), entry));
    UpdateBackupInfo();
}

void COptionsDlg::OnBnClickedPredictive()
{
    WriteProfileInt(kProfilePredictive, m_predictive.GetCheck() == BST_CHECKED ? 1 : 0);
}

void COptionsDlg::OnBnClickedFontReset()
{
    CAppSettings* settings = GetAppSettings();
    CWnd* main = settings ? CWnd::FromHandlePermanent(settings->GetMainWindow()) : NULL;
    if (CVelindoDlg* dlg = dynamic_cast<CVelindoDlg*>(main))
        dlg->ResetListFont();
}

// ---------------------------------------------------------------------------
// Painting

BOOL COptionsDlg::OnEraseBkgnd(CDC* pDC)
{
    CRect client;
    GetClientRect(&client);
    pDC->FillSolidRect(&client, kGround);
    CRect first;
    if (!ClientSpan(this, IDC_OPT_DATABASE_BAND, first))
        return TRUE;
    int margin = first.top;
    CRect band(client.left, 0, client.right, first.bottom + margin);
    pDC->FillSolidRect(&band, kBand);
    for (int id : {IDC_OPT_DOCUMENTS_BAND, IDC_OPT_ARCHIVE_BAND, IDC_OPT_MORE_BAND}) {
        CRect caption;
        if (!ClientSpan(this, id, caption))
            continue;
        band.SetRect(client.left, caption.top - margin, client.right, caption.bottom + margin);
        pDC->FillSolidRect(&band, kBand);
    }
    return TRUE;
}

HBRUSH COptionsDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
{
    HBRUSH brush = CDialogEx::OnCtlColor(pDC, pWnd, nCtlColor);
    int id = pWnd ? pWnd->GetDlgCtrlID() : 0;
    if (id == IDC_OPT_PREDICTIVE) {
        pDC->SetBkMode(TRANSPARENT);
        return (HBRUSH)m_brush;
    }
    if (nCtlColor == CTLCOLOR_BTN)
        return (HBRUSH)m_brush;
    if (nCtlColor == CTLCOLOR_STATIC && id != IDC_OPT_ROOT_LABEL && id != IDC_OPT_ROOT) {
        pDC->SetBkMode(TRANSPARENT);
        return (HBRUSH)::GetStockObject(NULL_BRUSH);
    }
    return brush;
}
