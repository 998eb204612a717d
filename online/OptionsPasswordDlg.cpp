#include "online/OptionsPasswordDlg.h"
#include "afxapp.h"
#include "foundation/AppSettings.h"
#include "resources/resource.h"

namespace {

const wchar_t kFrequencyKey[] = L"OMBackupFrequency";
const wchar_t kSendingCaption[] = L"Az online mentések elküldésének gyakorisága:";
const wchar_t kReceivingCaption[] = L"Az online mentések letöltésének gyakorisága:";
const wchar_t kTooShort[] = L"A jelszó minimális hossza 6 karakter!";
const wchar_t kShowPasswordCaption[] = L"A megadott jelszó";

const int kMinPasswordLength = 6;
// Stored values of the receiving mode start here; those of the sending mode at 1.
const int kReceivingBase = 33;

const COLORREF kGround = RGB(0xD0, 0xD0, 0xD0);
const COLORREF kBand = RGB(0x40, 0x40, 0x40);
const COLORREF kWarningBand = RGB(0xFF, 0xFF, 0x66);
const COLORREF kRed = RGB(0xFF, 0x00, 0x00);
const COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
// How far the warning's band reaches above and below the warning.
const int kWarningMargin = 5;

} // namespace

BEGIN_MESSAGE_MAP(COptionsPasswordDlg, CDialogEx)
    ON_WM_ERASEBKGND()
    ON_WM_CTLCOLOR()
    ON_BN_CLICKED(IDC_OPW_MODE_NONE, &COptionsPasswordDlg::OnBnClickedModeNone)
    ON_BN_CLICKED(IDC_OPW_MODE_SEND, &COptionsPasswordDlg::OnBnClickedModeSend)
    ON_BN_CLICKED(IDC_OPW_MODE_RECEIVE, &COptionsPasswordDlg::OnBnClickedModeReceive)
    ON_BN_CLICKED(IDC_OPW_SHOW_PASSWORD, &COptionsPasswordDlg::OnBnClickedShowPassword)
END_MESSAGE_MAP()

void COptionsPasswordDlg::SplitFrequency(int stored, int& mode, int& entry)
{
    if (stored >= kReceivingBase) {
        mode = 2;
        entry = stored - kReceivingBase;
    } else if (stored <= 0) {
        mode = 0;
        entry = -1;
    } else {
        mode = 1;
        entry = stored - 1;
    }
}

COptionsPasswordDlg::COptionsPasswordDlg(CWnd* pParent)
    : CDialogEx(IDD_OPTIONS_PASSWORD, pParent), m_nFrequency(-1), m_nMode(0)
{
    CAppSettings* settings = GetAppSettings();
    int stored = settings ? settings->GetProfileInt(kFrequencyKey, 0) : 0;
    SplitFrequency(stored, m_nMode, m_nFrequency);
}

void COptionsPasswordDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_OPW_FREQUENCY, m_frequency);
    DDX_Control(pDX, IDC_OPW_MODE_BAND, m_modeBand);
    DDX_Control(pDX, IDC_OPW_FREQUENCY_BAND, m_frequencyBand);

    if (!pDX->m_bSaveAndValidate) {
        if (!m_brush.GetSafeHandle())
            m_brush.CreateSolidBrush(kGround);
        if (m_nMode > 0)
            m_frequencyBand.SetWindowText(m_nMode == 2 ? kReceivingCaption : kSendingCaption);
        // An entry past the list's end selects nothing.
        m_frequency.SetCurSel(m_nFrequency >= 0 && m_nFrequency < m_frequency.GetCount() ? m_nFrequency : -1);
        SetDlgItemText(IDC_OPW_PASSWORD, m_strPassword);
        CheckDlgButton(IDC_OPW_MODE_NONE, m_nMode == 0 ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(IDC_OPW_MODE_SEND, m_nMode == 1 ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(IDC_OPW_MODE_RECEIVE, m_nMode == 2 ? BST_CHECKED : BST_UNCHECKED);
        for (CFontStatic* band : {&m_modeBand, &m_frequencyBand}) {
            band->SetBackgroundColor(kBand);
            band->SetFontAttributes(L"Sans Serif", 14, kWhite, 0);
        }
        EnableFrequency(m_nMode > 0);
        return;
    }

    int mode = IsDlgButtonChecked(IDC_OPW_MODE_NONE) == BST_CHECKED ? 0 : 1;
    CString text;
    GetDlgItemText(IDC_OPW_PASSWORD, text);
    CString password;
    if (text.GetLength() >= kMinPasswordLength) {
        password = text;
    } else if (mode > 0) {
        pDX->PrepareEditCtrl(IDC_OPW_PASSWORD);
        AfxMessageBox(kTooShort);
        pDX->Fail();
    }
    int value = 0;
    if (mode > 0) {
        mode = IsDlgButtonChecked(IDC_OPW_MODE_SEND) == BST_CHECKED ? 1 : 2;
        // A mode with exchange always has an entry (EnableFrequency picks
        // the first); should none be selected, the first one counts.
        int entry = m_frequency.GetCurSel();
        if (entry < 0)
            entry = 0;
        value = entry + (mode == 1 ? 1 : kReceivingBase);
    }
    if (CAppSettings* settings = GetAppSettings())
        settings->WriteProfileInt(kFrequencyKey, value);
    m_strPassword = password;
    m_nMode = mode;
    m_nFrequency = value;
}

void COptionsPasswordDlg::EnableFrequency(bool enable)
{
    Invalidate();
    m_frequency.EnableWindow(enable);
    if (enable && m_frequency.GetCurSel() < 0)
        m_frequency.SetCurSel(0);
}

void COptionsPasswordDlg::OnBnClickedModeNone()
{
    Invalidate();
    m_frequency.EnableWindow(FALSE);
}

void COptionsPasswordDlg::OnBnClickedModeSend()
{
    m_frequencyBand.SetWindowText(kSendingCaption);
    EnableFrequency(true);
}

void COptionsPasswordDlg::OnBnClickedModeReceive()
{
    m_frequencyBand.SetWindowText(kReceivingCaption);
    EnableFrequency(true);
}

void COptionsPasswordDlg::OnBnClickedShowPassword()
{
    CString text;
    GetDlgItemText(IDC_OPW_PASSWORD, text);
    MessageBox(text, kShowPasswordCaption, MB_OK);
}

CRect COptionsPasswordDlg::BandOf(int id, int above, int below)
{
    CRect client;
    GetClientRect(&client);
    CRect band;
    HWND control = ::GetDlgItem(m_hWnd, id);
    if (!control || !::GetWindowRect(control, &band))
        return CRect();
    ScreenToClient(&band);
    return CRect(client.left, band.top - above, client.right, band.bottom + below);
}

BOOL COptionsPasswordDlg::OnEraseBkgnd(CDC* pDC)
{
    CRect client;
    GetClientRect(&client);
    pDC->FillSolidRect(&client, kGround);
    for (int id : {IDC_OPW_MODE_BAND, IDC_OPW_FREQUENCY_BAND}) {
        CRect band = BandOf(id, 0, 0);
        pDC->FillSolidRect(&band, kBand);
    }
    CRect warning = BandOf(IDC_OPW_WARNING, kWarningMargin, kWarningMargin);
    pDC->FillSolidRect(&warning, kWarningBand);
    return TRUE;
}

HBRUSH COptionsPasswordDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
{
    int id = pWnd ? pWnd->GetDlgCtrlID() : 0;
    // Radio buttons ask as statics (as buttons on some systems): they get
    // the ground either way.
    if (nCtlColor == CTLCOLOR_STATIC) {
        pDC->SetBkMode(TRANSPARENT);
        if (id == IDC_OPW_WARNING || id == IDC_OPW_MODE_BAND || id == IDC_OPW_FREQUENCY_BAND) {
            pDC->SetTextColor(kRed);
            return (HBRUSH)::GetStockObject(NULL_BRUSH);
        }
        return (HBRUSH)m_brush;
    }
    if (nCtlColor == CTLCOLOR_BTN)
        return (HBRUSH)m_brush;
    return CDialogEx::OnCtlColor(pDC, pWnd, nCtlColor);
}
