// CSplashWnd: the window that stands while the cases load: the program's
// picture on dark grey, one line of white status text at the bottom.
#pragma once
#include "afxdlg.h"
#include "afxgdi.h"

class CSplashWnd : public CDialog
{
public:
    CSplashWnd();
    ~CSplashWnd() override;

    // Creates the window at the top-left corner of the screen, paints it
    // and starts a timer of the given length (which never closes it).
    void Show(UINT milliseconds);
    // Only while the window and its status line are visible.
    void SetStatusText(LPCWSTR text);
    // Destroys the window; the object can show it again.
    void Hide();

protected:
    afx_msg BOOL OnEraseBkgnd(CDC* pDC);
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    DECLARE_MESSAGE_MAP()

private:
    CBrush m_brush;
};
