// Wrappers of the common controls: CListCtrl, CHeaderCtrl, CProgressCtrl
// and CDateTimeCtrl. Like afxctl.h: the window handle, one message per member.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "afxwin.h"

// An item position of GetFirstSelectedItemPosition: the index + 1, null at the end.
typedef struct __POSITION { int unused; } * POSITION;

class CHeaderCtrl : public CWnd
{
public:
    int GetItemCount() const { return (int)SendMsg(HDM_GETITEMCOUNT, 0, 0); }
    BOOL GetItemRect(int nIndex, LPRECT lpRect) const
    {
        return (BOOL)SendMsg(HDM_GETITEMRECT, (WPARAM)nIndex, (LPARAM)lpRect);
    }
    BOOL GetItem(int nPos, HDITEMW* pHeaderItem) const
    {
        return (BOOL)SendMsg(HDM_GETITEMW, (WPARAM)nPos, (LPARAM)pHeaderItem);
    }
    BOOL SetItem(int nPos, HDITEMW* pHeaderItem)
    {
        return (BOOL)SendMsg(HDM_SETITEMW, (WPARAM)nPos, (LPARAM)pHeaderItem);
    }
};

// Item and column indexes are 0-based; -1 means none (or "append" for InsertItem).
class CListCtrl : public CWnd
{
public:
    DWORD GetExtendedStyle() const { return (DWORD)SendMsg(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0); }
    // The styles before.
    DWORD SetExtendedStyle(DWORD dwNewStyle)
    {
        return (DWORD)SendMsg(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, (LPARAM)dwNewStyle);
    }
    CHeaderCtrl* GetHeaderCtrl() const { return (CHeaderCtrl*)FromHandle((HWND)SendMsg(LVM_GETHEADER, 0, 0)); }

    // The new column's index, -1 on failure. nWidth -1: no width given.
    int InsertColumn(int nCol, const LVCOLUMNW* pColumn)
    {
        return (int)SendMsg(LVM_INSERTCOLUMNW, (WPARAM)nCol, (LPARAM)pColumn);
    }
    int InsertColumn(int nCol, LPCWSTR lpszColumnHeading, int nFormat = LVCFMT_LEFT, int nWidth = -1,
                     int nSubItem = -1);
    BOOL DeleteColumn(int nCol) { return (BOOL)SendMsg(LVM_DELETECOLUMN, (WPARAM)nCol, 0); }
    BOOL GetColumn(int nCol, LVCOLUMNW* pColumn) const
    {
        return (BOOL)SendMsg(LVM_GETCOLUMNW, (WPARAM)nCol, (LPARAM)pColumn);
    }
    BOOL SetColumn(int nCol, const LVCOLUMNW* pColumn)
    {
        return (BOOL)SendMsg(LVM_SETCOLUMNW, (WPARAM)nCol, (LPARAM)pColumn);
    }
    int GetColumnWidth(int nCol) const { return (int)SendMsg(LVM_GETCOLUMNWIDTH, (WPARAM)nCol, 0); }
    // cx may be LVSCW_AUTOSIZE or LVSCW_AUTOSIZE_USEHEADER.
    BOOL SetColumnWidth(int nCol, int cx) { return (BOOL)SendMsg(LVM_SETCOLUMNWIDTH, (WPARAM)nCol, MAKELPARAM(cx, 0)); }

    // The new item's index, -1 on failure.
    int InsertItem(const LVITEMW* pItem) { return (int)SendMsg(LVM_INSERTITEMW, 0, (LPARAM)pItem); }
    int InsertItem(int nItem, LPCWSTR lpszItem);
    int InsertItem(int nItem, LPCWSTR lpszItem, int nImage);
    BOOL DeleteItem(int nItem) { return (BOOL)SendMsg(LVM_DELETEITEM, (WPARAM)nItem, 0); }
    BOOL DeleteAllItems() { return (BOOL)SendMsg(LVM_DELETEALLITEMS, 0, 0); }
    BOOL GetItem(LVITEMW* pItem) const { return (BOOL)SendMsg(LVM_GETITEMW, 0, (LPARAM)pItem); }
    BOOL SetItem(const LVITEMW* pItem) { return (BOOL)SendMsg(LVM_SETITEMW, 0, (LPARAM)pItem); }
    // The whole text, however long.
    CString GetItemText(int nItem, int nSubItem) const;
    int GetItemText(int nItem, int nSubItem, LPWSTR lpszText, int nLen) const;
    BOOL SetItemText(int nItem, int nSubItem, LPCWSTR lpszText);
    DWORD_PTR GetItemData(int nItem) const;
    BOOL SetItemData(int nItem, DWORD_PTR dwData);
    UINT GetItemState(int nItem, UINT nMask) const
    {
        return (UINT)SendMsg(LVM_GETITEMSTATE, (WPARAM)nItem, (LPARAM)nMask);
    }
    // nItem -1: every item.
    BOOL SetItemState(int nItem, UINT nState, UINT nMask);
    BOOL SetItemState(int nItem, LVITEMW* pItem)
    {
        return (BOOL)SendMsg(LVM_SETITEMSTATE, (WPARAM)nItem, (LPARAM)pItem);
    }
    // The state-image check box (LVS_EX_CHECKBOXES).
    BOOL GetCheck(int nItem) const { return ((GetItemState(nItem, LVIS_STATEIMAGEMASK) >> 12) - 1) == 1; }
    BOOL SetCheck(int nItem, BOOL fCheck = TRUE)
    {
        return SetItemState(nItem, INDEXTOSTATEIMAGEMASK(fCheck ? 2 : 1), LVIS_STATEIMAGEMASK);
    }

    int GetItemCount() const { return (int)SendMsg(LVM_GETITEMCOUNT, 0, 0); }
    // Owner-data lists: the number of rows; SetItemCountEx takes LVSICF_* flags.
    void SetItemCount(int nItems) { SendMsg(LVM_SETITEMCOUNT, (WPARAM)nItems, 0); }
    BOOL SetItemCountEx(int iCount, DWORD dwFlags = LVSICF_NOINVALIDATEALL)
    {
        return (BOOL)SendMsg(LVM_SETITEMCOUNT, (WPARAM)iCount, (LPARAM)dwFlags);
    }
    UINT GetCallbackMask() const { return (UINT)SendMsg(LVM_GETCALLBACKMASK, 0, 0); }
    BOOL SetCallbackMask(UINT nMask) { return (BOOL)SendMsg(LVM_SETCALLBACKMASK, nMask, 0); }
    // The next item after nItem (-1: from the start) with the LVNI_* flags, or -1.
    int GetNextItem(int nItem, int nFlags) const
    {
        return (int)SendMsg(LVM_GETNEXTITEM, (WPARAM)nItem, MAKELPARAM(nFlags, 0));
    }
    UINT GetSelectedCount() const { return (UINT)SendMsg(LVM_GETSELECTEDCOUNT, 0, 0); }
    POSITION GetFirstSelectedItemPosition() const { return (POSITION)(DWORD_PTR)(1 + GetNextItem(-1, LVNI_SELECTED)); }
    // The item at pos; pos moves to the next selected item (null after the last).
    int GetNextSelectedItem(POSITION& pos) const;
    int GetTopIndex() const { return (int)SendMsg(LVM_GETTOPINDEX, 0, 0); }
    int GetCountPerPage() const { return (int)SendMsg(LVM_GETCOUNTPERPAGE, 0, 0); }

    // The item under the point (client coordinates), -1 for none.
    int HitTest(CPoint pt, UINT* pFlags = NULL) const;
    int HitTest(LVHITTESTINFO* pHitTestInfo) const { return (int)SendMsg(LVM_HITTEST, 0, (LPARAM)pHitTestInfo); }
    int SubItemHitTest(LVHITTESTINFO* pInfo) { return (int)SendMsg(LVM_SUBITEMHITTEST, 0, (LPARAM)pInfo); }
    // nCode LVIR_BOUNDS, LVIR_ICON, LVIR_LABEL or LVIR_SELECTBOUNDS.
    BOOL GetItemRect(int nItem, LPRECT lpRect, UINT nCode) const;
    BOOL GetSubItemRect(int iItem, int iSubItem, int nArea, CRect& ref) const;
    BOOL Update(int nItem) { return (BOOL)SendMsg(LVM_UPDATE, (WPARAM)nItem, 0); }
    BOOL RedrawItems(int nFirst, int nLast) { return (BOOL)SendMsg(LVM_REDRAWITEMS, (WPARAM)nFirst, (LPARAM)nLast); }
    BOOL EnsureVisible(int nItem, BOOL bPartialOK)
    {
        return (BOOL)SendMsg(LVM_ENSUREVISIBLE, (WPARAM)nItem, MAKELPARAM(bPartialOK, 0));
    }
    COLORREF GetBkColor() const { return (COLORREF)SendMsg(LVM_GETBKCOLOR, 0, 0); }
    BOOL SetBkColor(COLORREF cr) { return (BOOL)SendMsg(LVM_SETBKCOLOR, 0, (LPARAM)cr); }
    BOOL SetTextColor(COLORREF cr) { return (BOOL)SendMsg(LVM_SETTEXTCOLOR, 0, (LPARAM)cr); }
    BOOL SetTextBkColor(COLORREF cr) { return (BOOL)SendMsg(LVM_SETTEXTBKCOLOR, 0, (LPARAM)cr); }
};

class CProgressCtrl : public CWnd
{
public:
    void SetRange(short nLower, short nUpper) { SendMsg(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper)); }
    void SetRange32(int nLower, int nUpper) { SendMsg(PBM_SETRANGE32, (WPARAM)nLower, (LPARAM)nUpper); }
    void GetRange(int& nLower, int& nUpper) const;
    // Each returns the position before.
    int SetPos(int nPos) { return (int)SendMsg(PBM_SETPOS, (WPARAM)nPos, 0); }
    int OffsetPos(int nPos) { return (int)SendMsg(PBM_DELTAPOS, (WPARAM)nPos, 0); }
    int StepIt() { return (int)SendMsg(PBM_STEPIT, 0, 0); }
    int GetPos() const { return (int)SendMsg(PBM_GETPOS, 0, 0); }
    int SetStep(int nStep) { return (int)SendMsg(PBM_SETSTEP, (WPARAM)nStep, 0); }
    // The colour before (CLR_DEFAULT for the system colour).
    COLORREF SetBarColor(COLORREF clrBar) { return (COLORREF)SendMsg(PBM_SETBARCOLOR, 0, (LPARAM)clrBar); }
    COLORREF SetBkColor(COLORREF clrNew) { return (COLORREF)SendMsg(PBM_SETBKCOLOR, 0, (LPARAM)clrNew); }
};

class CDateTimeCtrl : public CWnd
{
public:
    // Format characters as DTM_SETFORMAT takes them ("yyyy'. 'MM'. 'dd'.'"); null: the default.
    BOOL SetFormat(LPCWSTR pstrFormat) { return (BOOL)SendMsg(DTM_SETFORMATW, 0, (LPARAM)pstrFormat); }
    // A null time clears the check box of a DTS_SHOWNONE picker.
    BOOL SetTime(const SYSTEMTIME* pTimeNew);
    // GDT_VALID with the time, or GDT_NONE (no date chosen).
    DWORD GetTime(SYSTEMTIME* pTimeDest) const { return (DWORD)SendMsg(DTM_GETSYSTEMTIME, 0, (LPARAM)pTimeDest); }
    // Either bound may be null (no bound).
    BOOL SetRange(const SYSTEMTIME* pMinRange, const SYSTEMTIME* pMaxRange);
    // GDTR_MIN | GDTR_MAX for the bounds that are set.
    DWORD GetRange(SYSTEMTIME* pMinRange, SYSTEMTIME* pMaxRange) const;
};

static_assert(sizeof(CHeaderCtrl) == sizeof(CWnd), "a wrapper holds the handle only");
static_assert(sizeof(CListCtrl) == sizeof(CWnd), "a wrapper holds the handle only");
static_assert(sizeof(CProgressCtrl) == sizeof(CWnd), "a wrapper holds the handle only");
static_assert(sizeof(CDateTimeCtrl) == sizeof(CWnd), "a wrapper holds the handle only");
