#include "afxcmn.h"

int CListCtrl::InsertColumn(int nCol, LPCWSTR lpszColumnHeading, int nFormat, int nWidth, int nSubItem)
{
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_FMT;
    column.pszText = const_cast<LPWSTR>(lpszColumnHeading);
    column.fmt = nFormat;
    if (nWidth != -1) {
        column.mask |= LVCF_WIDTH;
        column.cx = nWidth;
    }
    if (nSubItem != -1) {
        column.mask |= LVCF_SUBITEM;
        column.iSubItem = nSubItem;
    }
    return InsertColumn(nCol, &column);
}

int CListCtrl::InsertItem(int nItem, LPCWSTR lpszItem)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = nItem < 0 ? GetItemCount() : nItem;
    item.pszText = const_cast<LPWSTR>(lpszItem);
    return InsertItem(&item);
}

int CListCtrl::InsertItem(int nItem, LPCWSTR lpszItem, int nImage)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = nItem < 0 ? GetItemCount() : nItem;
    item.pszText = const_cast<LPWSTR>(lpszItem);
    item.iImage = nImage;
    return InsertItem(&item);
}

CString CListCtrl::GetItemText(int nItem, int nSubItem) const
{
    // The list view says nothing of the length: grow the buffer until the
    // text no longer fills it.
    CString text;
    for (int size = 256;; size *= 2) {
        LVITEMW item = {};
        item.iSubItem = nSubItem;
        item.pszText = text.GetBuffer(size);
        item.cchTextMax = size;
        int n = (int)::SendMessageW(m_hWnd, LVM_GETITEMTEXTW, (WPARAM)nItem, (LPARAM)&item);
        text.ReleaseBuffer(n);
        if (n < size - 1 || size >= (1 << 20))
            return text;
    }
}

int CListCtrl::GetItemText(int nItem, int nSubItem, LPWSTR lpszText, int nLen) const
{
    LVITEMW item = {};
    item.iSubItem = nSubItem;
    item.pszText = lpszText;
    item.cchTextMax = nLen;
    return (int)::SendMessageW(m_hWnd, LVM_GETITEMTEXTW, (WPARAM)nItem, (LPARAM)&item);
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, LPCWSTR lpszText)
{
    LVITEMW item = {};
    item.iSubItem = nSubItem;
    item.pszText = const_cast<LPWSTR>(lpszText);
    return (BOOL)SendMessage(LVM_SETITEMTEXTW, (WPARAM)nItem, (LPARAM)&item);
}

DWORD_PTR CListCtrl::GetItemData(int nItem) const
{
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = nItem;
    GetItem(&item);
    return (DWORD_PTR)item.lParam;
}

BOOL CListCtrl::SetItemData(int nItem, DWORD_PTR dwData)
{
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = nItem;
    item.lParam = (LPARAM)dwData;
    return SetItem(&item);
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask)
{
    LVITEMW item = {};
    item.state = nState;
    item.stateMask = nMask;
    return SetItemState(nItem, &item);
}

int CListCtrl::GetNextSelectedItem(POSITION& pos) const
{
    int nItem = (int)(DWORD_PTR)pos - 1;
    pos = (POSITION)(DWORD_PTR)(1 + GetNextItem(nItem, LVNI_SELECTED));
    return nItem;
}

int CListCtrl::HitTest(CPoint pt, UINT* pFlags) const
{
    LVHITTESTINFO info = {};
    info.pt = pt;
    int nItem = HitTest(&info);
    if (pFlags)
        *pFlags = info.flags;
    return nItem;
}

BOOL CListCtrl::GetItemRect(int nItem, LPRECT lpRect, UINT nCode) const
{
    lpRect->left = (LONG)nCode;
    return (BOOL)::SendMessageW(m_hWnd, LVM_GETITEMRECT, (WPARAM)nItem, (LPARAM)lpRect);
}

BOOL CListCtrl::GetSubItemRect(int iItem, int iSubItem, int nArea, CRect& ref) const
{
    RECT rect = {nArea, iSubItem, 0, 0};
    BOOL bResult = (BOOL)::SendMessageW(m_hWnd, LVM_GETSUBITEMRECT, (WPARAM)iItem, (LPARAM)&rect);
    if (bResult)
        ref = rect;
    return bResult;
}

void CProgressCtrl::GetRange(int& nLower, int& nUpper) const
{
    PBRANGE range = {};
    ::SendMessageW(m_hWnd, PBM_GETRANGE, 0, (LPARAM)&range);
    nLower = range.iLow;
    nUpper = range.iHigh;
}

BOOL CDateTimeCtrl::SetTime(const SYSTEMTIME* pTimeNew)
{
    return (BOOL)SendMessage(DTM_SETSYSTEMTIME, pTimeNew ? GDT_VALID : GDT_NONE, (LPARAM)pTimeNew);
}

BOOL CDateTimeCtrl::SetRange(const SYSTEMTIME* pMinRange, const SYSTEMTIME* pMaxRange)
{
    SYSTEMTIME range[2] = {};
    WPARAM flags = 0;
    if (pMinRange) {
        range[0] = *pMinRange;
        flags |= GDTR_MIN;
    }
    if (pMaxRange) {
        range[1] = *pMaxRange;
        flags |= GDTR_MAX;
    }
    return (BOOL)SendMessage(DTM_SETRANGE, flags, (LPARAM)range);
}

DWORD CDateTimeCtrl::GetRange(SYSTEMTIME* pMinRange, SYSTEMTIME* pMaxRange) const
{
    SYSTEMTIME range[2] = {};
    DWORD flags = (DWORD)::SendMessageW(m_hWnd, DTM_GETRANGE, 0, (LPARAM)range);
    if (pMinRange)
        *pMinRange = range[0];
    if (pMaxRange)
        *pMaxRange = range[1];
    return flags;
}
