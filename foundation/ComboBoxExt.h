// CComboBoxExt: a drop-down combo box whose edit field completes what the
// user types from the list. After each keystroke the first item that starts
// with the typed text is found, its remainder shown behind the typed
// characters and selected, so typing on replaces it; Delete and Backspace
// switch the completion off until the next other key. Leaving the field
// snaps the text to the list item it names (in the item's own case).
#pragma once
#include "afxctl.h"

class CComboBoxExt : public CComboBox
{
public:
    CComboBoxExt();
    ~CComboBoxExt() override;

    BOOL PreTranslateMessage(MSG* pMsg) override;

protected:
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    afx_msg void OnDestroy();
    afx_msg BOOL OnCbnKillfocus();
    afx_msg BOOL OnCbnSelchange();
    afx_msg BOOL OnCbnEditchange();
    afx_msg LRESULT OnSetCurSel(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

private:
    // Gives the attached list its own procedure back and lets go of it.
    void ReleaseList();
    static LRESULT CALLBACK ListProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    CListBox m_listBox;       // the drop-down list, attached on its first colour request
    CString m_strText;        // the text as the user typed it
    bool m_bAutoComplete;
    bool m_bInEditChange;     // our own edit updates must not complete again

    // The procedure the drop-down lists had (the same for every list).
    static WNDPROC s_pfnListProc;
};
