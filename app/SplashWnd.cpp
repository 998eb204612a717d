#include "app/SplashWnd.h"
#include "resource.h"

namespace {

const COLORREF kGround = RGB(64, 64, 64);
const UINT_PTR kSplashTimer = 1000;
const int kPictureWidth = 160;
const int kPictureHeight = 156;

} // namespace

BEGIN_MESSAGE_MAP(CSplashWnd, CDialog)
    ON_WM_ERASEBKGND()
    ON_WM_TIMER()
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CSplashWnd::CSplashWnd()
{
    m_brush.CreateSolidBrush(kGround);
}

CSplashWnd::~CSplashWnd()
{
    if (GetSafeHwnd())
        DestroyWindow();
}

void CSplashWnd::Show(UINT milliseconds)
{
    if (!Create(IDD_SPLASH, CWnd::GetDesktopWindow()))
        return;
    ShowWindow(SW_SHOWNORMAL);
    UpdateWindow();
    SetTimer(kSplashTimer, milliseconds, NULL);
}

void CSplashWnd::SetStatusText(LPCWSTR text)
{
    HWND hWnd = GetSafeHwnd();
    if (!hWnd || !::IsWindowVisible(hWnd))
        return;
    HWND status = ::GetDlgItem(hWnd, IDC_SPLASH_STATUS);
    if (!status || !::IsWindowVisible(status))
        return;
    ::SetWindowTextW(status, text);
}

void CSplashWnd::Hide()
{
    if (GetSafeHwnd())
        DestroyWindow();
}

BOOL CSplashWnd::OnEraseBkgnd(CDC* pDC)
{
    CRect client;
    GetClientRect(&client);
    CDC memory;
    memory.CreateCompatibleDC(pDC);
    CBitmap picture;
    picture.LoadBitmap(IDB_SPLASH);
    CBitmap* old = memory.SelectObject(&picture);
    pDC->FillSolidRect(&client, kGround);
    // Without a memory context or picture the ground alone is painted.
    if (old) {
        pDC->BitBlt((client.Width() - kPictureWidth) / 2, (client.Height() - kPictureHeight) / 2, kPictureWidth,
                    kPictureHeight, &memory, 0, 0, SRCCOPY);
        memory.SelectObject(old);
    }
    return TRUE;
}

void CSplashWnd::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == kSplashTimer)
        KillTimer(kSplashTimer);
    CDialog::OnTimer(nIDEvent);
}

HBRUSH CSplashWnd::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
{
    HBRUSH brush = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    if (nCtlColor == CTLCOLOR_STATIC) {
        pDC->SetBkMode(TRANSPARENT);
        pDC->SetTextColor(RGB(255, 255, 255));
        return (HBRUSH)m_brush.GetSafeHandle();
    }
    return brush;
}
