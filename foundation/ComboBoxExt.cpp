#include "foundation/ComboBoxExt.h"

WNDPROC CComboBoxExt::s_pfnListProc = NULL;

BEGIN_MESSAGE_MAP(CComboBoxExt, CComboBox)
    ON_WM_CTLCOLOR()
    ON_WM_DESTROY()
    ON_CONTROL_REFLECT_EX(CBN_KILLFOCUS, &CComboBoxExt::OnCbnKillfocus)
    ON_CONTROL_REFLECT_EX(CBN_SELCHANGE, &CComboBoxExt::OnCbnSelchange)
    ON_CONTROL_REFLECT_EX(CBN_EDITCHANGE, &CComboBoxExt::OnCbnEditchange)
    ON_MESSAGE(CB_SETCURSEL, &CComboBoxExt::OnSetCurSel)
END_MESSAGE_MAP()

CComboBoxExt::CComboBoxExt() : m_bAutoComplete(false), m_bInEditChange(false)
{
}

CComboBoxExt::~CComboBoxExt()
{
    ReleaseList();
}

void CComboBoxExt::ReleaseList()
{
    if (!m_listBox.m_hWnd)
        return;
    if (::IsWindow(m_listBox.m_hWnd) && s_pfnListProc &&
        (WNDPROC)::GetWindowLongPtrW(m_listBox.m_hWnd, GWLP_WNDPROC) == &CComboBoxExt::ListProc)
        ::SetWindowLongPtrW(m_listBox.m_hWnd, GWLP_WNDPROC, (LONG_PTR)s_pfnListProc);
    m_listBox.Detach();
}

void CComboBoxExt::OnDestroy()
{
    // The list dies with the combo box: the next window this object is
    // attached to (the dialog shown again) gets its own list attached.
    ReleaseList();
    CComboBox::OnDestroy();
}

BOOL CComboBoxExt::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->message == WM_KEYDOWN)
        m_bAutoComplete = pMsg->wParam != VK_DELETE && pMsg->wParam != VK_BACK;
    return CComboBox::PreTranslateMessage(pMsg);
}

BOOL CComboBoxExt::OnCbnEditchange()
{
    if (m_bInEditChange)
        return FALSE;
    GetWindowText(m_strText);
    if (!m_bAutoComplete)
        return FALSE;
    m_bInEditChange = true;
    DWORD sel = GetEditSel();
    int start = (short)LOWORD(sel), end = (short)HIWORD(sel);
    int index = SelectString(-1, m_strText);
    if (index == CB_ERR) {
        // The search may have changed the field: give the typed text back.
        SetWindowText(m_strText);
        if (sel != (DWORD)CB_ERR)
            SetEditSel(start, end);
    } else {
        CString item;
        GetLBText(index, item);
        const int typed = m_strText.GetLength();
        SetWindowText(m_strText + item.Mid(typed));
        if (end >= typed)
            SetEditSel(typed, -1);
        else
            SetEditSel(start, end);
    }
    m_bInEditChange = false;
    return FALSE;
}

BOOL CComboBoxExt::OnCbnSelchange()
{
    int index = GetCurSel();
    if (index != CB_ERR) {
        GetLBText(index, m_strText);
        m_bInEditChange = true;
        SetWindowText(m_strText);
        m_bInEditChange = false;
    }
    return FALSE;
}

BOOL CComboBoxExt::OnCbnKillfocus()
{
    // The field's own text: after a completion it is the completed item,
    // after a text set by the program it is that text.
    CString shown;
    GetWindowText(shown);
    int index = GetCurSel();
    if (index != CB_ERR) {
        // A selection left behind by an earlier completion does not name
        // the text the user has typed since.
        CString item;
        GetLBText(index, item);
        if (item.CompareNoCase(shown) != 0)
            index = CB_ERR;
    }
    m_bInEditChange = true;
    if (index == CB_ERR) {
        m_strText = shown;
        index = FindStringExact(-1, m_strText);
        SetCurSel(index);
    }
    if (index == CB_ERR)
        SetWindowText(m_strText);
    else {
        GetLBText(index, m_strText);
        SetWindowText(m_strText);
    }
    m_bInEditChange = false;
    return FALSE;
}

LRESULT CComboBoxExt::OnSetCurSel(WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    int index = (int)wParam;
    if (index >= 0 && index < GetCount())
        GetLBText(index, m_strText);
    return Default();
}

HBRUSH CComboBoxExt::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
{
    HBRUSH hbr = CComboBox::OnCtlColor(pDC, pWnd, nCtlColor);
    if (nCtlColor == CTLCOLOR_LISTBOX && pWnd && !m_listBox.m_hWnd) {
        HWND hList = pWnd->m_hWnd;
        m_listBox.Attach(hList);
        WNDPROC previous = (WNDPROC)::SetWindowLongPtrW(hList, GWLP_WNDPROC, (LONG_PTR)&CComboBoxExt::ListProc);
        if (previous != &CComboBoxExt::ListProc)
            s_pfnListProc = previous;
    }
    return hbr;
}

LRESULT CALLBACK CComboBoxExt::ListProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The open list jumps only to exact matches while the user types, so it
    // does not fight the completion.
    if (message == LB_FINDSTRING)
        message = LB_FINDSTRINGEXACT;
    return ::CallWindowProcW(s_pfnListProc, hWnd, message, wParam, lParam);
}
