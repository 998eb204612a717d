#include "app/WindowMetrics.h"
#include "afxapp.h"
#include "afxwin.h"
#include "foundation/AppSettings.h"
#include "foundation/Log.h"

namespace {

const int kListId = 1005;
const wchar_t* const kColumnNames[6] = {L"Column0", L"Column1", L"Column2", L"Column3", L"Column4", L"Column5"};
// The window rectangle's values: left, top, right, bottom.
const wchar_t* const kRectNames[4] = {L"MainWindowLeft", L"MainWindowTop", L"MainWindowRight", L"MainWindowBottom"};

} // namespace

CWindowMetrics::CWindowMetrics() : m_nState(kNothingStored)
{
    SetRectEmpty(&m_rect);
    for (int& w : m_columnWidths)
        w = -1;
}

CString CWindowMetrics::Section()
{
    CAppSettings* settings = GetAppSettings();
    CString section;
    section.Format(L"%s\\Metrics", settings ? (LPCWSTR)settings->GetInstanceKey() : L"");
    return section;
}

RECT CWindowMetrics::PullOntoWorkArea(const RECT& rect, const RECT& work)
{
    RECT r = rect;
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    if (work.left >= r.right - 10) {
        r.left = work.left;
        r.right = r.left + width;
    } else if (r.left + 10 >= work.right) {
        r.right = work.right;
        r.left = r.right - width;
    }
    if (work.top >= r.bottom - 10) {
        r.top = work.top;
        r.bottom = r.top + height;
    } else if (r.top + 10 >= work.bottom) {
        r.bottom = work.bottom;
        r.top = r.bottom - height;
    }
    return r;
}

bool CWindowMetrics::Load()
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return false;
    CString section = Section();
    int v[4];
    for (int i = 0; i < 4; ++i)
        v[i] = (int)app->GetProfileInt(section, kRectNames[i], 0);
    RECT r = {v[0], v[1], v[2], v[3]};
    if (r.right == 0) {
        m_nState = kNothingStored;
        return true;
    }
    if (r.left == kMaximizedMarker && r.top == kMaximizedMarker && r.right == kMaximizedMarker &&
        r.bottom == kMaximizedMarker) {
        m_nState = kMaximized;
        return true;
    }
    m_nState = kRectValid;
    m_rect = r;
    HMONITOR monitor = MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST);
    MONITORINFO mi = {sizeof(mi)};
    if (monitor && GetMonitorInfoW(monitor, &mi))
        m_rect = PullOntoWorkArea(r, mi.rcWork);
    return true;
}

bool CWindowMetrics::ChooseSavedRect(bool iconic, const WINDOWPLACEMENT& wp, const RECT* lastNormal,
                                     const RECT& window, RECT* out)
{
    *out = window;
    if (!iconic)
        return wp.showCmd == SW_SHOWMAXIMIZED;
    // A minimised window would store its icon position: keep what it comes
    // back to instead.
    if (wp.flags & WPF_RESTORETOMAXIMIZED)
        return true;
    *out = lastNormal ? *lastNormal : wp.rcNormalPosition;
    return false;
}

void CWindowMetrics::Save(const RECT* lastNormal)
{
    CWinApp* app = AfxGetApp();
    CWnd* wnd = app ? app->m_pMainWnd : NULL;
    if (!wnd || !::IsWindow(wnd->GetSafeHwnd()))
        return;
    HWND hwnd = wnd->GetSafeHwnd();
    RECT window;
    ::GetWindowRect(hwnd, &window);
    WINDOWPLACEMENT wp = {sizeof(wp)};
    ::GetWindowPlacement(hwnd, &wp);
    RECT r;
    bool maximized = ChooseSavedRect(::IsIconic(hwnd) != FALSE, wp, lastNormal, window, &r);
    CString section = Section();
    const int v[4] = {r.left, r.top, r.right, r.bottom};
    for (int i = 0; i < 4; ++i)
        app->WriteProfileInt(section, kRectNames[i], maximized ? kMaximizedMarker : v[i]);
    HWND list = ::GetDlgItem(hwnd, kListId);
    if (list) {
        for (int i = 0; i < 6; ++i)
            app->WriteProfileInt(section, kColumnNames[i], (int)::SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0));
    }
}

bool CWindowMetrics::LoadColumnWidths(CWnd* list)
{
    CWinApp* app = AfxGetApp();
    if (!app || !list || !list->GetSafeHwnd())
        return false;
    CString section = Section();
    int widths[6];
    for (int i = 0; i < 6; ++i) {
        widths[i] = (int)app->GetProfileInt(section, kColumnNames[i], 0);
        if (widths[i] < 1)
            return false;
    }
    for (int i = 0; i < 6; ++i)
        ::SendMessageW(list->GetSafeHwnd(), LVM_SETCOLUMNWIDTH, i, MAKELPARAM(widths[i], 0));
    return true;
}
