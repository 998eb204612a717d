#include "afxdlg.h"
#include "afxapp.h"
#include <errno.h>
#include <string.h>
#include <string>
#include <wchar.h>

namespace {

// The dialog-init resource type and the class library's (16-bit) message
// numbers in it.
const WORD kRtDlgInit = 240;
const WORD kDlgInitLbAddString = 0x0401;
const WORD kDlgInitCbAddString = 0x0403;

LPCDLGTEMPLATEW LoadDialogTemplate(LPCWSTR lpszTemplateName)
{
    if (!lpszTemplateName)
        return NULL;
    HINSTANCE hInst = AfxGetResourceHandle();
    HRSRC hRes = ::FindResourceW(hInst, lpszTemplateName, RT_DIALOG);
    if (!hRes)
        return NULL;
    HGLOBAL hData = ::LoadResource(hInst, hRes);
    return hData ? static_cast<LPCDLGTEMPLATEW>(::LockResource(hData)) : NULL;
}

bool IsClass(HWND hWnd, LPCWSTR lpszClass)
{
    wchar_t name[32] = {0};
    ::GetClassNameW(hWnd, name, 32);
    return ::lstrcmpiW(name, lpszClass) == 0;
}

CString GetText(HWND hWnd)
{
    CString text;
    CWnd::FromHandle(hWnd)->GetWindowText(text);
    return text;
}

// Sets the text only when it differs: no flicker and no change notification
// for an unchanged field.
void SetTextIfChanged(HWND hWnd, LPCWSTR lpszNew)
{
    if (GetText(hWnd) != lpszNew)
        ::SetWindowTextW(hWnd, lpszNew);
}

// A message text with %1 and %2 replaced.
CString FormatInserts(LPCWSTR lpszPattern, LPCWSTR lpsz1, LPCWSTR lpsz2 = NULL)
{
    CString text(lpszPattern);
    text.Replace(L"%1", lpsz1);
    if (lpsz2)
        text.Replace(L"%2", lpsz2);
    return text;
}

// A whole decimal number with optional blanks around it; false for
// anything else, also when the value does not fit.
bool ParseLong(LPCWSTR p, long& value)
{
    while (*p == L' ' || *p == L'\t')
        ++p;
    wchar_t* end = NULL;
    errno = 0;
    long v = wcstol(p, &end, 10);
    if (end == p || errno == ERANGE)
        return false;
    while (*end == L' ' || *end == L'\t')
        ++end;
    if (*end)
        return false;
    value = v;
    return true;
}

bool ParseULong(LPCWSTR p, unsigned long& value)
{
    while (*p == L' ' || *p == L'\t')
        ++p;
    if (*p == L'-')
        return false;
    wchar_t* end = NULL;
    errno = 0;
    unsigned long v = wcstoul(p, &end, 10);
    if (end == p || errno == ERANGE)
        return false;
    while (*end == L' ' || *end == L'\t')
        ++end;
    if (*end)
        return false;
    value = v;
    return true;
}

void FailWithMessage(CDataExchange* pDX, LPCWSTR lpszText)
{
    AfxMessageBox(lpszText, MB_ICONEXCLAMATION);
    pDX->Fail();
}

// Lockout of the window's control notifications while UpdateData runs.
class CNotifyLockout
{
public:
    explicit CNotifyLockout(HWND hWnd) : m_hOld(AfxSetLockoutNotifyWindow(hWnd)) {}
    ~CNotifyLockout() { AfxSetLockoutNotifyWindow(m_hOld); }
private:
    HWND m_hOld;
};

} // namespace

// ---------------------------------------------------------------------------
// CDialog

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_MESSAGE(WM_INITDIALOG, &CDialog::HandleInitDialog)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog()
    : m_lpszTemplateName(NULL), m_nIDHelp(0), m_pParentWnd(NULL), m_nModalResult(-1), m_bInModalLoop(false),
      m_bContinueModal(false)
{
}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : CDialog()
{
    m_lpszTemplateName = MAKEINTRESOURCEW(nIDTemplate);
    m_nIDHelp = nIDTemplate;
    m_pParentWnd = pParentWnd;
}

CDialog::CDialog(LPCWSTR lpszTemplateName, CWnd* pParentWnd) : CDialog()
{
    m_lpszTemplateName = lpszTemplateName;
    if (IS_INTRESOURCE(lpszTemplateName))
        m_nIDHelp = LOWORD((ULONG_PTR)lpszTemplateName);
    m_pParentWnd = pParentWnd;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd)
{
    m_nIDHelp = nIDTemplate;
    return Create(MAKEINTRESOURCEW(nIDTemplate), pParentWnd);
}

BOOL CDialog::Create(LPCWSTR lpszTemplateName, CWnd* pParentWnd)
{
    if (m_hWnd)
        return FALSE;
    m_lpszTemplateName = lpszTemplateName;
    m_pParentWnd = pParentWnd;
    LPCDLGTEMPLATEW lpTemplate = LoadDialogTemplate(lpszTemplateName);
    return lpTemplate && CreateIndirect(lpTemplate, pParentWnd ? pParentWnd->GetSafeHwnd() : NULL);
}

BOOL CDialog::CreateIndirect(LPCDLGTEMPLATEW lpTemplate, HWND hWndParent)
{
    HWND hWnd = ::CreateDialogIndirectParamW(AfxGetResourceHandle(), lpTemplate, hWndParent, DialogProc,
                                             reinterpret_cast<LPARAM>(this));
    if (!hWnd)
        return FALSE;
    if (m_hWnd != hWnd) {
        // The window never came to this object (another CWnd has it).
        ::DestroyWindow(hWnd);
        return FALSE;
    }
    m_bCreatedHere = true;
    return TRUE;
}

// The dialog procedure: at WM_INITDIALOG the window becomes this object's
// (subclassed with the layer's window procedure, which from then on takes
// every message first); everything else is the dialog manager's.
INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    CDialog* pDlg = reinterpret_cast<CDialog*>(lParam);
    if (!pDlg || pDlg->m_hWnd)
        return TRUE;
    // PreSubclassWindow runs here, under the dialog manager's frames.
    bool bSubclassed = false;
    try {
        bSubclassed = pDlg->SubclassWindow(hWnd) != FALSE;
    } catch (CException* e) {
        AfxReportException(e);
    } catch (...) {
        AfxReportUnknownException();
    }
    if (!bSubclassed)
        return TRUE;
    return AfxCallWndProc(pDlg, hWnd, WM_INITDIALOG, wParam, lParam);
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM)
{
    return OnInitDialog();
}

BOOL CDialog::OnInitDialog()
{
    if (!ExecuteDlgInit(m_lpszTemplateName) || !UpdateData(FALSE)) {
        EndDialog(-1);
        return FALSE;
    }
    return TRUE;
}

INT_PTR CDialog::DoModal()
{
    if (m_hWnd)
        return -1;
    LPCDLGTEMPLATEW lpTemplate = LoadDialogTemplate(m_lpszTemplateName);
    if (!lpTemplate)
        return -1;

    HWND hWndTop = NULL;
    HWND hWndParent = GetSafeOwner_(m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : NULL, &hWndTop);
    bool bEnableParent = false;
    if (hWndParent && hWndParent != ::GetDesktopWindow() && ::IsWindowEnabled(hWndParent)) {
        ::EnableWindow(hWndParent, FALSE);
        bEnableParent = true;
    }

    m_nModalResult = -1;
    m_bInModalLoop = true;
    m_bContinueModal = true;
    if (CreateIndirect(lpTemplate, hWndParent) && m_bContinueModal)
        RunModalLoop();
    m_bContinueModal = false;

    // The owner is enabled before the dialog goes, so that the activation
    // returns to it.
    if (bEnableParent)
        ::EnableWindow(hWndParent, TRUE);
    if (hWndTop)
        ::EnableWindow(hWndTop, TRUE);
    if (m_hWnd) {
        SetWindowPos(NULL, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        if (hWndParent && ::GetActiveWindow() == m_hWnd)
            ::SetActiveWindow(hWndParent);
        DestroyWindow();
    }
    m_bInModalLoop = false;
    return m_nModalResult;
}

void CDialog::RunModalLoop()
{
    bool bShowIdle = !(GetStyle() & WS_VISIBLE);
    bool bIdle = true;
    MSG msg;
    while (m_bContinueModal && m_hWnd) {
        if (bIdle && !::PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE)) {
            // The queue is empty: show a dialog that is not visible yet and
            // let go of the temporary wrappers.
            if (bShowIdle) {
                ShowWindow(SW_SHOWNORMAL);
                UpdateWindow();
                bShowIdle = false;
            }
            AfxDeleteTempObjects();
            bIdle = false;
            continue;
        }
        BOOL bGot = ::GetMessageW(&msg, NULL, 0, 0);
        if (bGot == 0) {
            // WM_QUIT ends the dialog and goes on to the next loop out.
            ::PostQuitMessage((int)msg.wParam);
            break;
        }
        if (bGot < 0)
            break;
        if (bShowIdle && (msg.message == 0x118 /* WM_SYSTIMER */ || msg.message == WM_SYSKEYDOWN)) {
            ShowWindow(SW_SHOWNORMAL);
            UpdateWindow();
            bShowIdle = false;
        }
        if (!AfxPreTranslateMessage(&msg) && !(m_hWnd && ::IsDialogMessageW(m_hWnd, &msg))) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        bIdle = true;
    }
}

void CDialog::EndDialog(int nResult)
{
    if (m_bInModalLoop) {
        // DoModal hides and destroys the window after the loop.
        m_nModalResult = nResult;
        m_bContinueModal = false;
        if (m_hWnd)
            ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
    } else if (m_hWnd) {
        ::EndDialog(m_hWnd, nResult);
    }
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg)
{
    if (CWnd::PreTranslateMessage(pMsg))
        return TRUE;
    if (!::IsWindow(m_hWnd))
        return FALSE;
    // Esc in a multi-line edit would stay in the edit: it cancels the dialog.
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_ESCAPE || pMsg->wParam == VK_CANCEL) &&
        (::GetWindowLongPtrW(pMsg->hwnd, GWL_STYLE) & ES_MULTILINE) && IsClass(pMsg->hwnd, L"Edit")) {
        HWND hCancel = ::GetDlgItem(m_hWnd, IDCANCEL);
        if (!hCancel || ::IsWindowEnabled(hCancel)) {
            SendMessage(WM_COMMAND, IDCANCEL, 0);
            return TRUE;
        }
    }
    bool bKey = pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST;
    bool bMouse = pMsg->message >= WM_MOUSEFIRST && pMsg->message <= WM_MOUSELAST;
    if (!bKey && !bMouse)
        return FALSE;
    return ::IsDialogMessageW(m_hWnd, pMsg);
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::GotoDlgCtrl(CWnd* pWndCtrl)
{
    if (pWndCtrl)
        ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(pWndCtrl->GetSafeHwnd()), 1);
}

BOOL CDialog::ExecuteDlgInit(LPCWSTR lpszResourceName)
{
    if (!lpszResourceName)
        return TRUE;
    HINSTANCE hInst = AfxGetResourceHandle();
    HRSRC hRes = ::FindResourceW(hInst, lpszResourceName, MAKEINTRESOURCEW(kRtDlgInit));
    if (!hRes)
        return TRUE;
    HGLOBAL hData = ::LoadResource(hInst, hRes);
    const BYTE* p = hData ? static_cast<const BYTE*>(::LockResource(hData)) : NULL;
    if (!p)
        return FALSE;
    const BYTE* end = p + ::SizeofResource(hInst, hRes);
    // Records of control id, message, data length and data (an ANSI text),
    // up to a control id of 0. A record running past the end stops it.
    BOOL bSuccess = TRUE;
    while (end - p >= 2) {
        WORD nIDC, nMsg;
        DWORD dwLen;
        memcpy(&nIDC, p, 2);
        if (nIDC == 0)
            break;
        if (end - p < 8) {
            bSuccess = FALSE;
            break;
        }
        memcpy(&nMsg, p + 2, 2);
        memcpy(&dwLen, p + 4, 4);
        p += 8;
        if (dwLen > (DWORD)(end - p)) {
            bSuccess = FALSE;
            break;
        }
        UINT message = nMsg == kDlgInitLbAddString ? LB_ADDSTRING : nMsg == kDlgInitCbAddString ? CB_ADDSTRING : 0;
        if (message) {
            std::string text(reinterpret_cast<const char*>(p), dwLen);
            text.resize(strlen(text.c_str()));
            LRESULT r = ::SendDlgItemMessageA(m_hWnd, nIDC, message, 0, reinterpret_cast<LPARAM>(text.c_str()));
            if (r == CB_ERR || r == CB_ERRSPACE)
                bSuccess = FALSE;
        }
        p += dwLen;
    }
    return bSuccess;
}

// ---------------------------------------------------------------------------
// CDialogEx

BEGIN_MESSAGE_MAP(CDialogEx, CDialog)
    ON_WM_ERASEBKGND()
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

void CDialogEx::SetBackgroundColor(COLORREF color, BOOL bRepaint)
{
    m_brBackground.DeleteObject();
    m_brBackground.CreateSolidBrush(color);
    if (bRepaint && m_hWnd) {
        Invalidate();
        UpdateWindow();
    }
}

BOOL CDialogEx::OnEraseBkgnd(CDC* pDC)
{
    if (!m_brBackground.GetSafeHandle())
        return CDialog::OnEraseBkgnd(pDC);
    CRect rect;
    GetClientRect(&rect);
    pDC->FillRect(&rect, &m_brBackground);
    return TRUE;
}

HBRUSH CDialogEx::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
{
    if (m_brBackground.GetSafeHandle() && (nCtlColor == CTLCOLOR_DLG || nCtlColor == CTLCOLOR_STATIC)) {
        if (nCtlColor == CTLCOLOR_STATIC)
            pDC->SetBkMode(TRANSPARENT);
        return (HBRUSH)m_brBackground.GetSafeHandle();
    }
    return CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
}

// ---------------------------------------------------------------------------
// Data exchange

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    CNotifyLockout lockout(m_hWnd);
    try {
        DoDataExchange(&dx);
        return TRUE;
    } catch (CException* e) {
        // A failed check has told the user already (CUserException).
        AfxReportException(e);
    }
    return FALSE;
}

CDataExchange::CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd), m_idLastControl(0), m_bEditLastControl(FALSE)
{
}

HWND CDataExchange::PrepareCtrl(int nIDC)
{
    HWND hWndCtrl = ::GetDlgItem(m_pDlgWnd->GetSafeHwnd(), nIDC);
    if (!hWndCtrl)
        AfxThrowNotSupportedException();
    m_idLastControl = (UINT)nIDC;
    m_bEditLastControl = FALSE;
    return hWndCtrl;
}

HWND CDataExchange::PrepareEditCtrl(int nIDC)
{
    HWND hWndCtrl = PrepareCtrl(nIDC);
    m_bEditLastControl = TRUE;
    return hWndCtrl;
}

void CDataExchange::Fail()
{
    HWND hWndCtrl = m_idLastControl ? ::GetDlgItem(m_pDlgWnd->GetSafeHwnd(), (int)m_idLastControl) : NULL;
    if (m_bSaveAndValidate && hWndCtrl) {
        if (CDialog* pDlg = dynamic_cast<CDialog*>(m_pDlgWnd))
            pDlg->GotoDlgCtrl(CWnd::FromHandle(hWndCtrl));
        else
            ::SetFocus(hWndCtrl);
        if (m_bEditLastControl) {
            if (IsClass(hWndCtrl, L"ComboBox"))
                ::SendMessageW(hWndCtrl, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
            else
                ::SendMessageW(hWndCtrl, EM_SETSEL, 0, -1);
        }
    }
    AfxThrowUserException();
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (rControl.m_hWnd)
        return;
    HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
    if (!rControl.SubclassWindow(hWndCtrl))
        AfxThrowNotSupportedException();
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value)
{
    HWND hWndCtrl = pDX->PrepareEditCtrl(nIDC);
    if (pDX->m_bSaveAndValidate)
        value = GetText(hWndCtrl);
    else
        SetTextIfChanged(hWndCtrl, value);
}

void DDX_Text(CDataExchange* pDX, int nIDC, long& value)
{
    HWND hWndCtrl = pDX->PrepareEditCtrl(nIDC);
    if (pDX->m_bSaveAndValidate) {
        if (!ParseLong(GetText(hWndCtrl), value))
            FailWithMessage(pDX, L"Kérem, egész számot adjon meg.");
    } else {
        CString text;
        text.Format(L"%ld", value);
        SetTextIfChanged(hWndCtrl, text);
    }
}

void DDX_Text(CDataExchange* pDX, int nIDC, int& value)
{
    long v = value;
    DDX_Text(pDX, nIDC, v);
    value = (int)v;
}

void DDX_Text(CDataExchange* pDX, int nIDC, DWORD& value)
{
    HWND hWndCtrl = pDX->PrepareEditCtrl(nIDC);
    if (pDX->m_bSaveAndValidate) {
        if (!ParseULong(GetText(hWndCtrl), value))
            FailWithMessage(pDX, L"Kérem, nem negatív egész számot adjon meg.");
    } else {
        CString text;
        text.Format(L"%lu", value);
        SetTextIfChanged(hWndCtrl, text);
    }
}

void DDX_Text(CDataExchange* pDX, int nIDC, UINT& value)
{
    DWORD v = value;
    DDX_Text(pDX, nIDC, v);
    value = (UINT)v;
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value)
{
    HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
    if (pDX->m_bSaveAndValidate) {
        value = (int)::SendMessageW(hWndCtrl, BM_GETCHECK, 0, 0);
    } else {
        if (value < BST_UNCHECKED || value > BST_INDETERMINATE)
            value = BST_UNCHECKED;
        ::SendMessageW(hWndCtrl, BM_SETCHECK, (WPARAM)value, 0);
    }
}

void DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index)
{
    HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
    if (pDX->m_bSaveAndValidate)
        index = (int)::SendMessageW(hWndCtrl, CB_GETCURSEL, 0, 0);
    else
        ::SendMessageW(hWndCtrl, CB_SETCURSEL, (WPARAM)index, 0);
}

void DDX_CBString(CDataExchange* pDX, int nIDC, CString& value)
{
    HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
    if ((::GetWindowLongPtrW(hWndCtrl, GWL_STYLE) & CBS_DROPDOWNLIST) != CBS_DROPDOWNLIST)
        pDX->m_bEditLastControl = TRUE;
    if (pDX->m_bSaveAndValidate) {
        value = GetText(hWndCtrl);
    } else if (::SendMessageW(hWndCtrl, CB_SELECTSTRING, (WPARAM)-1, reinterpret_cast<LPARAM>((LPCWSTR)value)) ==
               CB_ERR) {
        // No item starts with the text: it goes into the edit (a drop-down list ignores it).
        SetTextIfChanged(hWndCtrl, value);
    }
}

void DDX_DateTimeCtrl(CDataExchange* pDX, int nIDC, SYSTEMTIME& value)
{
    HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
    if (pDX->m_bSaveAndValidate) {
        SYSTEMTIME st = {};
        if (::SendMessageW(hWndCtrl, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) == GDT_VALID)
            value = st;
        else
            value = SYSTEMTIME();
    } else {
        ::SendMessageW(hWndCtrl, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&value));
    }
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal)
{
    if (!pDX->m_bSaveAndValidate || (value >= minVal && value <= maxVal))
        return;
    CString strMin, strMax;
    strMin.Format(L"%d", minVal);
    strMax.Format(L"%d", maxVal);
    FailWithMessage(pDX, FormatInserts(L"Enter an integer between %1 and %2.", strMin, strMax));
}

void DDV_MaxChars(CDataExchange* pDX, const CString& value, int nChars)
{
    if (pDX->m_bSaveAndValidate && value.GetLength() > nChars) {
        CString strMax;
        strMax.Format(L"%d", nChars);
        FailWithMessage(pDX, FormatInserts(L"Enter no more than %1 characters.", strMax));
    }
    HWND hWndCtrl = pDX->m_idLastControl ? ::GetDlgItem(pDX->m_pDlgWnd->GetSafeHwnd(), (int)pDX->m_idLastControl)
                                         : NULL;
    if (hWndCtrl && pDX->m_bEditLastControl)
        ::SendMessageW(hWndCtrl, IsClass(hWndCtrl, L"ComboBox") ? CB_LIMITTEXT : EM_LIMITTEXT, (WPARAM)nChars, 0);
}
