// The message box: the call, its modal loop and dialog procedure, Ctrl+C and
// the remembered answers.
#include "foundation/XMessageBox.h"
#include "foundation/XDialogTemplate.h"
#include "foundation/Log.h"
#include <new>
#include <string.h>
#include <wchar.h>

namespace {

const UINT_PTR kTimeoutTimer = 1;
const UINT_PTR kLockTimer = 2;
const int kMaxModuleName = 490;
const int kClipboardSize = 8192;
const wchar_t kEncodeAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz98";
const wchar_t kDashes[] = L"---------------------------\r\n";  // 27 dashes

CString ProgramPath()
{
    wchar_t path[1024] = { 0 };
    GetModuleFileNameW(NULL, path, 1023);
    return CString(path);
}

// HKCU\Software\[company\]<program file name>\XMessageBox
CString AnswerKey(LPCWSTR lpszCompany)
{
    CString path = ProgramPath();
    CString key(L"Software\\");
    if (lpszCompany && lpszCompany[0]) {
        key += lpszCompany;
        key += L"\\";
    }
    key += path.Mid(path.ReverseFind(L'\\') + 1);
    key += L"\\XMessageBox";
    return key;
}

// The encoded module name followed by the line number; empty when the
// encoded name is.
CString AnswerValueName(LPCWSTR lpszModule, int nLine)
{
    if (!lpszModule)
        return CString();
    CString name(lpszModule, (int)wcsnlen(lpszModule, kMaxModuleName));
    CString value = XMessageBoxEncodeName(name);
    if (value.IsEmpty())
        return value;
    value.AppendFormat(L"%d", nLine);
    return value;
}

void WriteAnswer(LPCWSTR lpszCompany, LPCWSTR lpszModule, int nLine, int nAnswer)
{
    CString name = AnswerValueName(lpszModule, nLine);
    if (name.IsEmpty())
        return;
    HKEY key = NULL;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, AnswerKey(lpszCompany), 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) !=
        ERROR_SUCCESS)
        return;
    DWORD value = (DWORD)nAnswer;
    RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE*)&value, sizeof(value));
    RegCloseKey(key);
}

bool SystemHasBandLook()
{
    OSVERSIONINFOW info;
    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    return GetVersionExW(&info) && info.dwMajorVersion >= 6;
}

// A text or a string id for the system's own box.
CString ResolveText(LPCWSTR lpszTextOrId, HINSTANCE hModule)
{
    if (!IS_INTRESOURCE(lpszTextOrId))
        return CString(lpszTextOrId);
    const wchar_t* res = NULL;
    int len = LoadStringW(hModule ? hModule : GetModuleHandleW(NULL), (UINT)(ULONG_PTR)lpszTextOrId, (LPWSTR)&res, 0);
    return (len > 0 && res) ? CString(res, len) : CString();
}

int CheckBitOfFlags(int nFlags)
{
    if (nFlags & CXDialogTemplate::kCheckDontAsk)
        return XMB_CHECK_DONTASK;
    if (nFlags & CXDialogTemplate::kCheckDontWarn)
        return XMB_CHECK_DONTWARN;
    if (nFlags & CXDialogTemplate::kCheckDontShow)
        return XMB_CHECK_DONTSHOW;
    return 0;
}

// Appends at most what is left of a buffer of kClipboardSize characters.
void AppendBounded(wchar_t* buf, int& len, LPCWSTR text)
{
    while (*text && len < kClipboardSize - 1)
        buf[len++] = *text++;
    buf[len] = 0;
}

} // namespace

XMessageBoxParams::XMessageBoxParams()
    : nHelpContextId(0), nTimeoutSeconds(0), nDisabledSeconds(0), x(0), y(0), dwOptions(0), hStringModule(NULL),
      hIconModule(NULL), nIconId(0), nCustomCaptionsId(0), nReportCaptionId(0), pszModuleName(NULL), nLineNumber(0),
      dwReportData(0), pfnReport(NULL), crText(XMB_COLOR_NONE), crBackground(XMB_COLOR_NONE), bUseOwnCaptions(0)
{
    memset(szIconName, 0, sizeof(szIconName));
    memset(szCustomCaptions, 0, sizeof(szCustomCaptions));
    memset(szReportCaption, 0, sizeof(szReportCaption));
    memset(szCompanyName, 0, sizeof(szCompanyName));
    memset(szOwnCaptions, 0, sizeof(szOwnCaptions));
}

CString XMessageBoxEncodeName(LPCWSTR lpszName)
{
    CString out;
    if (!lpszName)
        return out;
    for (unsigned i = 0; lpszName[i]; ++i)
        out += kEncodeAlphabet[(5 * i + (unsigned)lpszName[i]) % 64];
    return out;
}

int XMessageBoxReadAnswer(LPCWSTR lpszCompany, LPCWSTR lpszModule, int nLine)
{
    CString name = AnswerValueName(lpszModule, nLine);
    if (name.IsEmpty())
        return 0;
    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, AnswerKey(lpszCompany), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD type = 0, value = 0, size = sizeof(value);
    if (RegQueryValueExW(key, name, NULL, &type, (BYTE*)&value, &size) != ERROR_SUCCESS || type != REG_DWORD ||
        size != sizeof(value))
        value = 0;
    RegCloseKey(key);
    return (int)value;
}

int XMessageBox(HWND hOwner, LPCWSTR lpszText, LPCWSTR lpszCaption, UINT nStyle, const XMessageBoxParams* pParams)
{
    if (!hOwner) {
        HWND active = GetActiveWindow();
        if (active)
            hOwner = GetLastActivePopup(active);
    }

    // A system-modal stop message is the system's own box.
    if ((nStyle & (MB_SYSTEMMODAL | MB_ICONHAND)) == (MB_SYSTEMMODAL | MB_ICONHAND)) {
        HINSTANCE module = pParams ? pParams->hStringModule : NULL;
        CString text = ResolveText(lpszText, module);
        CString caption = lpszCaption ? ResolveText(lpszCaption, module) : CString();
        return MessageBoxW(hOwner, text, lpszCaption ? (LPCWSTR)caption : NULL, nStyle);
    }

    if (!lpszCaption)
        lpszCaption = L"Error";
    XMessageBoxParams params;
    if (pParams)
        params = *pParams;

    if ((nStyle & XMB_CHECK_MASK) && params.pszModuleName && params.pszModuleName[0]) {
        CString company(params.szCompanyName, (int)wcsnlen(params.szCompanyName, XMB_MAXTEXT));
        int remembered = XMessageBoxReadAnswer(company, params.pszModuleName, params.nLineNumber);
        if (remembered & XMB_CHECK_MASK)
            return remembered;
    }

    if (params.nTimeoutSeconds >= 1000)
        params.nTimeoutSeconds = 10;
    if (params.nTimeoutSeconds < 0)
        params.nTimeoutSeconds = 0;
    if (params.nDisabledSeconds >= 1000)
        params.nDisabledSeconds = 10;
    if (params.nDisabledSeconds < 0)
        params.nDisabledSeconds = 0;
    if (SystemHasBandLook())
        params.dwOptions |= XMB_OPT_BAND;

    CXDialogTemplate box(hOwner, lpszText, lpszCaption, nStyle, params);
    if (!(nStyle & XMB_NOSOUND))
        MessageBeep(nStyle & MB_ICONMASK);
    return box.Display();
}

// ---------------------------------------------------------------------------
// The modal loop

int CXDialogTemplate::Display()
{
    HLOCAL mem = BuildTemplateMemory();
    if (!mem) {
        LogLine(L"XMessageBox: no memory for the dialog template");
        return 2;
    }
    const DLGTEMPLATE* tpl = (const DLGTEMPLATE*)LocalLock(mem);
    m_nAnswer = -1;
    m_bEnded = false;
    HWND hDlg = tpl ? CreateDialogIndirectParamW(GetModuleHandleW(NULL), tpl, m_hOwner, DialogProc, (LPARAM)this)
                    : NULL;
    if (!hDlg) {
        LogFormat(L"XMessageBox: the box could not be created - %u", GetLastError());
    } else {
        // An owner that was disabled before (under another modal window)
        // stays disabled afterwards.
        bool disabledOwner = false;
        if (m_hOwner && IsWindowEnabled(m_hOwner)) {
            EnableWindow(m_hOwner, FALSE);
            disabledOwner = true;
        }
        MSG msg;
        while (!m_bEnded && IsWindow(hDlg)) {
            if (!PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
                if (!m_bEnded && IsWindow(hDlg))
                    WaitMessage();
                continue;
            }
            if (msg.message == WM_QUIT) {
                PostQuitMessage((int)msg.wParam);
                m_nAnswer = -1;
                break;
            }
            if (msg.message == WM_KEYDOWN && msg.wParam == 'C' && GetKeyState(VK_CONTROL) < 0) {
                if (IsWindow(hDlg))
                    CopyToClipboard(hDlg);
                continue;
            }
            if (!IsDialogMessageW(hDlg, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (disabledOwner && IsWindow(m_hOwner))
            EnableWindow(m_hOwner, TRUE);
        if (IsWindow(hDlg))
            DestroyWindow(hDlg);
    }
    LocalUnlock(mem);
    LocalFree(mem);
    return m_bEnded ? m_nAnswer : -1;
}

// ---------------------------------------------------------------------------
// The dialog procedure

INT_PTR CALLBACK CXDialogTemplate::DialogProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    try {
        return HandleMessage(hDlg, msg, wParam, lParam);
    } catch (...) {
        LogCaughtException(L"XMessageBox: the dialog procedure");
        EndAfterException(hDlg);
    }
    return FALSE;
}

void CXDialogTemplate::EndAfterException(HWND hBox)
{
    // The modal loop then ends with the answer of a box that could not be
    // shown, which every caller takes as a Cancel.
    CXDialogTemplate* self = (CXDialogTemplate*)GetWindowLongPtrW(hBox, GWLP_USERDATA);
    if (!self)
        return;
    self->m_nAnswer = -1;
    self->m_bEnded = true;
    PostMessageW(hBox, WM_NULL, 0, 0);
}

INT_PTR CXDialogTemplate::HandleMessage(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(hDlg, GWLP_USERDATA, lParam);
        return ((CXDialogTemplate*)lParam)->OnInitDialog(hDlg);
    }
    CXDialogTemplate* self = (CXDialogTemplate*)GetWindowLongPtrW(hDlg, GWLP_USERDATA);
    if (!self)
        return FALSE;
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
        self->StopTimeout(hDlg);
        return FALSE;
    case WM_COMMAND:
        self->StopTimeout(hDlg);
        self->OnCommand(hDlg, (DWORD)wParam);
        return TRUE;
    case WM_TIMER:
        self->OnTimer(hDlg, wParam);
        return TRUE;
    case WM_ERASEBKGND:
        if (!self->m_hBackgroundBrush)
            return FALSE;
        self->OnEraseBackground(hDlg, (HDC)wParam);
        SetWindowLongPtrW(hDlg, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_CTLCOLORSTATIC: {
        if (!self->m_hBackgroundBrush)
            return FALSE;
        HDC hdc = (HDC)wParam;
        SetBkColor(hdc, self->m_crBackground != XMB_COLOR_NONE ? self->m_crBackground : GetSysColor(COLOR_WINDOW));
        SetTextColor(hdc, self->m_crText != XMB_COLOR_NONE ? self->m_crText : GetSysColor(COLOR_WINDOWTEXT));
        if ((HWND)lParam == GetDlgItem(hDlg, self->m_nMessageId))
            return (INT_PTR)self->m_hBackgroundBrush;
        return FALSE;
    }
    }
    return FALSE;
}

BOOL CXDialogTemplate::OnInitDialog(HWND hDlg)
{
    if (m_hFont) {
        SendDlgItemMessageW(hDlg, m_nMessageId, WM_SETFONT, (WPARAM)m_hFont, FALSE);
        for (int id = 1; id <= XMB_IDCUSTOM1 + XMB_MAXCUSTOMBUTTONS - 1; ++id) {
            HWND control = GetDlgItem(hDlg, id);
            if (control)
                SendMessageW(control, WM_SETFONT, (WPARAM)m_hFont, FALSE);
        }
        SendDlgItemMessageW(hDlg, XMB_IDHELP, WM_SETFONT, (WPARAM)m_hFont, FALSE);
        SendDlgItemMessageW(hDlg, XMB_IDCHECKBOX, WM_SETFONT, (WPARAM)m_hFont, FALSE);
        SendDlgItemMessageW(hDlg, XMB_IDREPORT, WM_SETFONT, (WPARAM)m_hFont, FALSE);
    }
    SendDlgItemMessageW(hDlg, XMB_IDCHECKBOX, BM_SETCHECK, BST_UNCHECKED, 0);

    if (m_nDisabledSeconds != 0) {
        EnableButtons(hDlg, FALSE);
        EnableClose(hDlg, FALSE);
    }
    HWND def = GetDlgItem(hDlg, m_nDefaultId);
    if (def) {
        SendMessageW(hDlg, DM_SETDEFID, m_nDefaultId, 0);
        SetFocus(def);
    }
    if (!(m_nFlags & (kHasCancel | kOkOnly)))
        EnableClose(hDlg, FALSE);

    HWND icon = GetDlgItem(hDlg, XMB_IDICON);
    if (icon && m_hIcon) {
        SetWindowLongPtrW(icon, GWLP_USERDATA, (LONG_PTR)this);
        m_pfnOldIconProc = (WNDPROC)SetWindowLongPtrW(icon, GWLP_WNDPROC, (LONG_PTR)IconProc);
    }

    if (m_nStyle & MB_TOPMOST)
        SetWindowPos(hDlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (m_nX != 0 || m_nY != 0) {
        SetWindowPos(hDlg, NULL, m_nX, m_nY, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        HWND parent = GetParent(hDlg);
        if (parent) {
            RECT rcParent, rcBox;
            GetWindowRect(parent, &rcParent);
            GetWindowRect(hDlg, &rcBox);
            int x = rcParent.left + ((rcParent.right - rcParent.left) - (rcBox.right - rcBox.left)) / 2;
            int y = rcParent.top + ((rcParent.bottom - rcParent.top) - (rcBox.bottom - rcBox.top)) / 2;
            SetWindowPos(hDlg, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if (m_nTimeoutSeconds > 0)
        SetTimer(hDlg, kTimeoutTimer, 1000, NULL);
    if (m_nDisabledSeconds > 0)
        SetTimer(hDlg, kLockTimer, 1000, NULL);
    SetForegroundWindow(hDlg);
    return FALSE;  // the focus is set
}

LRESULT CALLBACK CXDialogTemplate::IconProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    try {
        return HandleIconMessage(hWnd, msg, wParam, lParam);
    } catch (...) {
        LogCaughtException(L"XMessageBox: the icon's procedure");
        EndAfterException(GetParent(hWnd));
    }
    return 0;
}

LRESULT CXDialogTemplate::HandleIconMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CXDialogTemplate* self = (CXDialogTemplate*)GetWindowLongPtrW(hWnd, GWLP_USERDATA);
    if (!self || !self->m_pfnOldIconProc)
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hWnd, &ps);
        DrawIcon(hdc, 0, 0, self->m_hIcon);
        EndPaint(hWnd, &ps);
        return 0;
    }
    return CallWindowProcW(self->m_pfnOldIconProc, hWnd, msg, wParam, lParam);
}

void CXDialogTemplate::EnableButtons(HWND hDlg, BOOL bEnable)
{
    for (int id = 1; id <= XMB_IDCUSTOM1 + XMB_MAXCUSTOMBUTTONS - 1; ++id) {
        HWND control = GetDlgItem(hDlg, id);
        if (!control)
            continue;
        wchar_t cls[16] = { 0 };
        GetClassNameW(control, cls, 16);
        if (_wcsicmp(cls, L"Button") == 0)
            EnableWindow(control, bEnable);
    }
}

void CXDialogTemplate::EnableClose(HWND hDlg, BOOL bEnable)
{
    HMENU menu = GetSystemMenu(hDlg, FALSE);
    if (menu)
        EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (bEnable ? MF_ENABLED : MF_GRAYED));
}

void CXDialogTemplate::StopTimeout(HWND hDlg)
{
    KillTimer(hDlg, kTimeoutTimer);
    if (m_bCaptionSaved)
        SetDlgItemTextW(hDlg, m_nDefaultId, m_szSavedCaption);
}

void CXDialogTemplate::OnTimer(HWND hDlg, UINT_PTR nId)
{
    if (nId == kTimeoutTimer) {
        if (m_nTimeoutSeconds > 0) {
            HWND def = GetDlgItem(hDlg, m_nDefaultId);
            if (!m_bCaptionSaved) {
                m_szSavedCaption[0] = 0;
                if (def)
                    GetWindowTextW(def, m_szSavedCaption, XMB_MAXCAPTION + 1);
                m_bCaptionSaved = true;
            }
            CString text;
            text.Format(L"%s = %d", m_szSavedCaption, m_nTimeoutSeconds);
            if (def)
                SetWindowTextW(def, text);
            --m_nTimeoutSeconds;
        } else {
            KillTimer(hDlg, kTimeoutTimer);
            SendMessageW(hDlg, WM_COMMAND, (WPARAM)(DWORD)(m_nDefaultId | XMB_TIMEDOUT), 0);
        }
    } else if (nId == kLockTimer) {
        if (m_nDisabledSeconds > 0) {
            CString title;
            title.Format(L"%s %d", (LPCWSTR)m_strCaption.Left(kMaxTitleLength), m_nDisabledSeconds);
            SetWindowTextW(hDlg, title);
            --m_nDisabledSeconds;
        } else {
            KillTimer(hDlg, kLockTimer);
            EnableButtons(hDlg, TRUE);
            if (m_nFlags & (kHasCancel | kOkOnly))
                EnableClose(hDlg, TRUE);
            SetWindowTextW(hDlg, m_strCaption.Left(kMaxTitleLength));
            RedrawWindow(hDlg, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        }
    }
}

void CXDialogTemplate::OnCommand(HWND hDlg, DWORD dwCommand)
{
    switch (dwCommand) {
    case IDCANCEL:  // the Cancel button, Esc and the close box
        if (m_nFlags & kHasCancel)
            EndBox(IDCANCEL);
        else if (m_nFlags & kOkOnly)
            EndBox(IDOK);
        return;
    case XMB_IDHELP: {
        CString path = ProgramPath();
        int dot = path.ReverseFind(L'.');
        if (dot >= 0)
            path = path.Left(dot);
        path += L".hlp";
        if (m_nHelpContextId != 0)
            WinHelpW(hDlg, path, HELP_CONTEXT, (ULONG_PTR)m_nHelpContextId);
        else
            WinHelpW(hDlg, path, HELP_PARTIALKEY, 0); // the search of the whole file
        return;
    }
    case XMB_IDREPORT:
        if (m_pfnReport)
            m_pfnReport(m_strText, m_dwReportData);
        return;
    case XMB_IDCHECKBOX:
        return;
    default: {
        int answer = (int)dwCommand;
        if (IsDlgButtonChecked(hDlg, XMB_IDCHECKBOX) == BST_CHECKED) {
            answer |= CheckBitOfFlags(m_nFlags);
            if (m_pszModuleName)
                WriteAnswer(m_strCompanyName, m_pszModuleName, m_nLineNumber, answer);
        }
        EndBox(answer);
        return;
    }
    }
}

BOOL CXDialogTemplate::OnEraseBackground(HWND hDlg, HDC hdc)
{
    RECT rc;
    GetClientRect(hDlg, &rc);
    FillRect(hdc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    rc.bottom = m_rcMessage.bottom;
    FillRect(hdc, &rc, m_hBackgroundBrush);
    return TRUE;
}

void CXDialogTemplate::EndBox(int nAnswer)
{
    m_nAnswer = nAnswer;
    m_bEnded = true;
}

// ---------------------------------------------------------------------------
// Ctrl+C

BOOL CXDialogTemplate::CopyToClipboard(HWND hDlg) const
{
    wchar_t* text = new (std::nothrow) wchar_t[kClipboardSize];
    if (!text)
        return FALSE;
    int len = 0;
    text[0] = 0;
    wchar_t title[1001] = { 0 };
    GetWindowTextW(hDlg, title, 1001);
    wchar_t* message = new (std::nothrow) wchar_t[4001];
    if (message) {
        message[0] = 0;
        GetDlgItemTextW(hDlg, m_nMessageId, message, 4001);
    }
    AppendBounded(text, len, kDashes);
    AppendBounded(text, len, title);
    AppendBounded(text, len, L"\r\n");
    AppendBounded(text, len, kDashes);
    AppendBounded(text, len, message ? message : L"");
    AppendBounded(text, len, L"\r\n");
    AppendBounded(text, len, kDashes);
    delete[] message;
    for (HWND child = GetWindow(hDlg, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[16] = { 0 };
        GetClassNameW(child, cls, 16);
        if (_wcsicmp(cls, L"Button") != 0)
            continue;
        wchar_t caption[200] = { 0 };
        GetWindowTextW(child, caption, 200);
        wchar_t* out = caption;
        for (const wchar_t* in = caption; *in; ++in) {
            if (*in != L'&')
                *out++ = *in;
        }
        *out = 0;
        AppendBounded(text, len, caption);
        AppendBounded(text, len, L"   ");
    }
    AppendBounded(text, len, L"\r\n");
    AppendBounded(text, len, kDashes);

    BOOL ok = FALSE;
    // Another program may hold the clipboard for a moment (a clipboard
    // viewer reading it): try again for a short while before giving up.
    BOOL opened = OpenClipboard(NULL);
    for (int attempt = 0; !opened && attempt < 25; ++attempt) {
        Sleep(20);
        opened = OpenClipboard(NULL);
    }
    if (opened) {
        EmptyClipboard();
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (len + 1) * sizeof(wchar_t));
        if (mem) {
            void* p = GlobalLock(mem);
            if (p) {
                memcpy(p, text, (len + 1) * sizeof(wchar_t));
                GlobalUnlock(mem);
                ok = SetClipboardData(CF_UNICODETEXT, mem) != NULL;
            }
            if (!ok)
                GlobalFree(mem);
        }
        CloseClipboard();
    }
    delete[] text;
    return ok;
}
