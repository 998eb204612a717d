#include "afxmenu.h"
#include "afxtemp.h"
#include "afxapp.h"

BOOL CMenu::Attach(HMENU hMenu)
{
    if (!hMenu || m_hMenu)
        return FALSE;
    m_hMenu = hMenu;
    return TRUE;
}

HMENU CMenu::Detach()
{
    HMENU h = m_hMenu;
    m_hMenu = NULL;
    return h;
}

BOOL CMenu::DestroyMenu()
{
    if (!m_hMenu)
        return FALSE;
    return ::DestroyMenu(Detach());
}

CMenu* CMenu::FromHandle(HMENU hMenu)
{
    if (!hMenu)
        return NULL;
    return afx_detail::CTempMap<CMenu>::Get().Lookup(
        hMenu, [](CMenu* p, void* h) { p->m_hMenu = (HMENU)h; }, [](CMenu* p) { p->m_hMenu = NULL; });
}

BOOL CMenu::LoadMenu(UINT nIDResource)
{
    return LoadMenu(MAKEINTRESOURCEW(nIDResource));
}

BOOL CMenu::LoadMenu(LPCWSTR lpszResourceName)
{
    return Attach(::LoadMenuW(AfxGetResourceHandle(), lpszResourceName));
}

int CMenu::GetMenuString(UINT nIDItem, CString& rString, UINT nFlags) const
{
    int n = ::GetMenuStringW(m_hMenu, nIDItem, NULL, 0, nFlags);
    if (n <= 0) {
        rString.Empty();
        return 0;
    }
    n = ::GetMenuStringW(m_hMenu, nIDItem, rString.GetBuffer(n + 1), n + 1, nFlags);
    rString.ReleaseBuffer();
    return n;
}

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect)
{
    return ::TrackPopupMenu(m_hMenu, nFlags, x, y, 0, pWnd ? pWnd->GetSafeHwnd() : NULL, lpRect);
}
