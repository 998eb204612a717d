#include "WindowTestSupport.h"
#include "WindowTestRes.h"
#include <commctrl.h>
#include <stdio.h>
#include "support/TestSupport.h"

void PrintTo(const CString& s, std::ostream* os)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, s, s.GetLength(), NULL, 0, NULL, NULL);
    std::string utf8(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s, s.GetLength(), &utf8[0], n, NULL, NULL);
    *os << '"' << utf8 << '"';
}

namespace window_test {

const wchar_t kPlainWindowClass[] = L"AfxTestPlainWindow";

namespace {

const UINT_PTR kStepTimer = 0x5157;
CMessageBoxCatcher* g_pCatcher = NULL;

} // namespace

void InitOnce()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // The program's application object (message-box captions, main window).
    testing_support::App();
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_DATE_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.hCursor = LoadCursorW(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = kPlainWindowClass;
    RegisterClassW(&wc);

    // A copy of the system dialog class under a name of our own, as a
    // program registers the class its main dialog's template names.
    WNDCLASSW dlg = {};
    GetClassInfoW(NULL, MAKEINTRESOURCEW(32770), &dlg);
    dlg.hInstance = GetModuleHandleW(NULL);
    dlg.lpszClassName = L"" AFXTEST_DIALOG_CLASS;
    RegisterClassW(&dlg);
}

CMessageBoxCatcher::CMessageBoxCatcher(int nButton) : m_hHook(NULL), m_nButton(nButton), m_pOuter(g_pCatcher)
{
    g_pCatcher = this;
    m_hHook = SetWindowsHookExW(WH_CBT, CbtProc, NULL, GetCurrentThreadId());
}

CMessageBoxCatcher::~CMessageBoxCatcher()
{
    UnhookWindowsHookEx(m_hHook);
    g_pCatcher = m_pOuter;
}

LRESULT CALLBACK CMessageBoxCatcher::CbtProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    CMessageBoxCatcher* self = g_pCatcher;
    if (nCode == HCBT_ACTIVATE && self) {
        HWND hWnd = reinterpret_cast<HWND>(wParam);
        wchar_t cls[32] = {0};
        GetClassNameW(hWnd, cls, 32);
        // A message box: a system dialog without a CWnd of its own.
        if (lstrcmpW(cls, L"#32770") == 0 && !CWnd::FromHandlePermanent(hWnd) && !self->m_seen.count(hWnd)) {
            self->m_seen.insert(hWnd);
            CaughtBox box;
            wchar_t buf[1024] = {0};
            GetWindowTextW(hWnd, buf, 1024);
            box.caption = buf;
            buf[0] = 0;
            GetDlgItemTextW(hWnd, 0xFFFF, buf, 1024);
            box.text = buf;
            self->boxes.push_back(box);
            PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(self->m_nButton, BN_CLICKED),
                         (LPARAM)GetDlgItem(hWnd, self->m_nButton));
        }
    }
    return CallNextHookEx(NULL, nCode, wParam, lParam);
}

CWatchdog::CWatchdog(DWORD dwMilliseconds)
    : m_hDone(CreateEventW(NULL, TRUE, FALSE, NULL)), m_hThread(NULL), m_dwMilliseconds(dwMilliseconds)
{
    m_hThread = CreateThread(NULL, 0, ThreadProc, this, 0, NULL);
}

CWatchdog::~CWatchdog()
{
    SetEvent(m_hDone);
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    CloseHandle(m_hDone);
}

DWORD WINAPI CWatchdog::ThreadProc(LPVOID pParam)
{
    CWatchdog* self = static_cast<CWatchdog*>(pParam);
    if (WaitForSingleObject(self->m_hDone, self->m_dwMilliseconds) == WAIT_TIMEOUT) {
        fprintf(stderr, "watchdog: the test did not finish within %lu ms\n", (unsigned long)self->m_dwMilliseconds);
        fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    return 0;
}

BEGIN_MESSAGE_MAP(CScriptDlg, CDialogEx)
    ON_WM_TIMER()
END_MESSAGE_MAP()

BOOL CScriptDlg::OnInitDialog()
{
    BOOL bResult = CDialogEx::OnInitDialog();
    // A dialog object run again runs its steps again.
    m_nNext = 0;
    m_nWaits = 0;
    SetTimer(kStepTimer, 1);
    return bResult;
}

void CScriptDlg::DoDataExchange(CDataExchange* pDX)
{
    if (exchange)
        exchange(pDX);
}

void CScriptDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != kStepTimer) {
        CDialogEx::OnTimer(nIDEvent);
        return;
    }
    KillTimer(kStepTimer);
    // The steps start once the loop has shown the dialog (at its first idle
    // moment, which a timer may come before); after a second regardless.
    if (m_nNext == 0 && !IsWindowVisible() && m_nWaits++ < 200) {
        SetTimer(kStepTimer, 5);
        return;
    }
    if (m_nNext >= steps.size()) {
        EndDialog(IDABORT);
        return;
    }
    steps[m_nNext++](*this);
    if (::IsWindow(m_hWnd))
        SetTimer(kStepTimer, 1);
}

void PostKey(HWND hWnd, UINT vk)
{
    UINT scan = MapVirtualKeyW(vk, 0);
    PostMessageW(hWnd, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageW(hWnd, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000);
}

void PostChar(HWND hWnd, wchar_t ch)
{
    PostMessageW(hWnd, WM_CHAR, ch, 1);
}

} // namespace window_test
