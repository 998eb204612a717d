#include "afxwin.h"

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    BOOL r = ::DestroyWindow(m_hWnd);
    m_hWnd = NULL;
    return r;
}

BOOL CWnd::PreTranslateMessage(MSG* /*pMsg*/)
{
    return FALSE;
}

BOOL CWnd::WalkPreTranslateTree(HWND /*hWndStop*/, MSG* /*pMsg*/)
{
    return FALSE;
}
