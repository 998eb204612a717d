// CWnd: a window handle with the class library's member functions, the
// permanent handle map and message dispatch.
#pragma once
#include <windows.h>
#include "afxstr.h"

class CWnd
{
public:
    CWnd() : m_hWnd(NULL) {}
    virtual ~CWnd() {}
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    virtual BOOL DestroyWindow();
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    // Gives every window with a permanent CWnd from the message's target up
    // to (not including) hWndStop a chance at the message; TRUE when one took it.
    static BOOL WalkPreTranslateTree(HWND hWndStop, MSG* pMsg);

    HWND m_hWnd;
};
