// Wrappers of the standard controls: CStatic, CButton, CBitmapButton,
// CEdit, CComboBox, CListBox. Each is the window handle and nothing more
// (CBitmapButton also owns its bitmaps); each member sends one message.
// They attach to dialog items (DDX_Control) and never destroy them.
#pragma once
#include <windows.h>
#include "afxwin.h"

class CStatic : public CWnd
{
public:
    HICON SetIcon(HICON hIcon) { return (HICON)SendMsg(STM_SETICON, (WPARAM)hIcon, 0); }
    HICON GetIcon() const { return (HICON)SendMsg(STM_GETICON, 0, 0); }
    HBITMAP SetBitmap(HBITMAP hBitmap) { return (HBITMAP)SendMsg(STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)hBitmap); }
    HBITMAP GetBitmap() const { return (HBITMAP)SendMsg(STM_GETIMAGE, IMAGE_BITMAP, 0); }
};

class CButton : public CWnd
{
public:
    // BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
    int GetCheck() const { return (int)SendMsg(BM_GETCHECK, 0, 0); }
    void SetCheck(int nCheck) { SendMsg(BM_SETCHECK, (WPARAM)nCheck, 0); }
    UINT GetState() const { return (UINT)SendMsg(BM_GETSTATE, 0, 0); }
    void SetState(BOOL bHighlight) { SendMsg(BM_SETSTATE, bHighlight, 0); }
    UINT GetButtonStyle() const { return (UINT)GetStyle() & 0xFFFF; }
    void SetButtonStyle(UINT nStyle, BOOL bRedraw = TRUE) { SendMsg(BM_SETSTYLE, nStyle, bRedraw); }
    HBITMAP SetBitmap(HBITMAP hBitmap) { return (HBITMAP)SendMsg(BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)hBitmap); }
    HBITMAP GetBitmap() const { return (HBITMAP)SendMsg(BM_GETIMAGE, IMAGE_BITMAP, 0); }
    HICON SetIcon(HICON hIcon) { return (HICON)SendMsg(BM_SETIMAGE, IMAGE_ICON, (LPARAM)hIcon); }
    HICON GetIcon() const { return (HICON)SendMsg(BM_GETIMAGE, IMAGE_ICON, 0); }

    // An owner-drawn button (BS_OWNERDRAW) draws itself here; the parent's
    // WM_DRAWITEM is reflected to it.
    virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) { (void)lpDrawItemStruct; }

protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

// An owner-drawn button showing one of up to four bitmaps: up, down
// (selected), focused and disabled; the up one stands in for those not given.
class CBitmapButton : public CButton
{
public:
    // TRUE when every bitmap asked for (id not 0) was loaded.
    BOOL LoadBitmaps(UINT nIDBitmapResource, UINT nIDBitmapResourceSel = 0, UINT nIDBitmapResourceFocus = 0,
                     UINT nIDBitmapResourceDisabled = 0);
    // The button takes the size of the up bitmap.
    void SizeToContent();
    void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

    CBitmap m_bitmap;
    CBitmap m_bitmapSel;
    CBitmap m_bitmapFocus;
    CBitmap m_bitmapDisabled;
};

class CEdit : public CWnd
{
public:
    void LimitText(int nChars = 0) { SendMsg(EM_LIMITTEXT, (WPARAM)nChars, 0); }
    void SetLimitText(UINT nMax) { SendMsg(EM_SETLIMITTEXT, nMax, 0); }
    UINT GetLimitText() const { return (UINT)SendMsg(EM_GETLIMITTEXT, 0, 0); }
    // Start in the low word, end in the high word.
    DWORD GetSel() const { return (DWORD)SendMsg(EM_GETSEL, 0, 0); }
    void GetSel(int& nStartChar, int& nEndChar) const;
    // (0, -1) selects everything, (-1, 0) nothing.
    void SetSel(int nStartChar, int nEndChar, BOOL bNoScroll = FALSE);
    void SetSel(DWORD dwSelection, BOOL bNoScroll = FALSE)
    {
        SetSel((short)LOWORD(dwSelection), (short)HIWORD(dwSelection), bNoScroll);
    }
    void ReplaceSel(LPCWSTR lpszNewText, BOOL bCanUndo = FALSE)
    {
        SendMsg(EM_REPLACESEL, bCanUndo, (LPARAM)lpszNewText);
    }
    BOOL SetReadOnly(BOOL bReadOnly = TRUE) { return (BOOL)SendMsg(EM_SETREADONLY, bReadOnly, 0); }
    int GetLineCount() const { return (int)SendMsg(EM_GETLINECOUNT, 0, 0); }
    void Clear() { SendMsg(WM_CLEAR, 0, 0); }
    void Copy() { SendMsg(WM_COPY, 0, 0); }
    void Cut() { SendMsg(WM_CUT, 0, 0); }
    void Paste() { SendMsg(WM_PASTE, 0, 0); }
};

// Index results are CB_ERR (-1) for "none"; adding can also give CB_ERRSPACE.
class CComboBox : public CWnd
{
public:
    int AddString(LPCWSTR lpszString) { return (int)SendMsg(CB_ADDSTRING, 0, (LPARAM)lpszString); }
    int InsertString(int nIndex, LPCWSTR lpszString)
    {
        return (int)SendMsg(CB_INSERTSTRING, (WPARAM)nIndex, (LPARAM)lpszString);
    }
    // The number of items left, or CB_ERR.
    int DeleteString(UINT nIndex) { return (int)SendMsg(CB_DELETESTRING, nIndex, 0); }
    void ResetContent() { SendMsg(CB_RESETCONTENT, 0, 0); }
    int GetCount() const { return (int)SendMsg(CB_GETCOUNT, 0, 0); }
    int GetCurSel() const { return (int)SendMsg(CB_GETCURSEL, 0, 0); }
    // -1 clears the selection (and the edit); CB_ERR also then.
    int SetCurSel(int nSelect) { return (int)SendMsg(CB_SETCURSEL, (WPARAM)nSelect, 0); }
    int GetLBTextLen(int nIndex) const { return (int)SendMsg(CB_GETLBTEXTLEN, (WPARAM)nIndex, 0); }
    int GetLBText(int nIndex, LPWSTR lpszText) const
    {
        return (int)SendMsg(CB_GETLBTEXT, (WPARAM)nIndex, (LPARAM)lpszText);
    }
    // Empty when the index is not valid.
    void GetLBText(int nIndex, CString& rString) const;
    // Search from after nStartAfter (-1: from the top), without regard to case:
    // FindString by prefix, FindStringExact the whole text.
    int FindString(int nStartAfter, LPCWSTR lpszString) const
    {
        return (int)SendMsg(CB_FINDSTRING, (WPARAM)nStartAfter, (LPARAM)lpszString);
    }
    int FindStringExact(int nIndexStart, LPCWSTR lpszFind) const
    {
        return (int)SendMsg(CB_FINDSTRINGEXACT, (WPARAM)nIndexStart, (LPARAM)lpszFind);
    }
    // Selects the first item that starts with the text; its index or CB_ERR.
    int SelectString(int nStartAfter, LPCWSTR lpszString)
    {
        return (int)SendMsg(CB_SELECTSTRING, (WPARAM)nStartAfter, (LPARAM)lpszString);
    }
    void ShowDropDown(BOOL bShowIt = TRUE) { SendMsg(CB_SHOWDROPDOWN, bShowIt, 0); }
    BOOL GetDroppedState() const { return (BOOL)SendMsg(CB_GETDROPPEDSTATE, 0, 0); }
    // Start in the low word, end in the high word (CB_ERR without an edit).
    DWORD GetEditSel() const { return (DWORD)SendMsg(CB_GETEDITSEL, 0, 0); }
    BOOL SetEditSel(int nStartChar, int nEndChar)
    {
        return (BOOL)SendMsg(CB_SETEDITSEL, 0, MAKELPARAM(nStartChar, nEndChar));
    }
    BOOL LimitText(int nMaxChars) { return (BOOL)SendMsg(CB_LIMITTEXT, (WPARAM)nMaxChars, 0); }
    DWORD_PTR GetItemData(int nIndex) const { return (DWORD_PTR)SendMsg(CB_GETITEMDATA, (WPARAM)nIndex, 0); }
    int SetItemData(int nIndex, DWORD_PTR dwItemData)
    {
        return (int)SendMsg(CB_SETITEMDATA, (WPARAM)nIndex, (LPARAM)dwItemData);
    }
    int GetTopIndex() const { return (int)SendMsg(CB_GETTOPINDEX, 0, 0); }
};

// Index results are LB_ERR (-1) for "none".
class CListBox : public CWnd
{
public:
    int AddString(LPCWSTR lpszItem) { return (int)SendMsg(LB_ADDSTRING, 0, (LPARAM)lpszItem); }
    int InsertString(int nIndex, LPCWSTR lpszItem)
    {
        return (int)SendMsg(LB_INSERTSTRING, (WPARAM)nIndex, (LPARAM)lpszItem);
    }
    int DeleteString(UINT nIndex) { return (int)SendMsg(LB_DELETESTRING, nIndex, 0); }
    void ResetContent() { SendMsg(LB_RESETCONTENT, 0, 0); }
    int GetCount() const { return (int)SendMsg(LB_GETCOUNT, 0, 0); }
    int GetCurSel() const { return (int)SendMsg(LB_GETCURSEL, 0, 0); }
    int SetCurSel(int nSelect) { return (int)SendMsg(LB_SETCURSEL, (WPARAM)nSelect, 0); }
    int GetTextLen(int nIndex) const { return (int)SendMsg(LB_GETTEXTLEN, (WPARAM)nIndex, 0); }
    void GetText(int nIndex, CString& rString) const;
    int FindString(int nStartAfter, LPCWSTR lpszItem) const
    {
        return (int)SendMsg(LB_FINDSTRING, (WPARAM)nStartAfter, (LPARAM)lpszItem);
    }
    int FindStringExact(int nIndexStart, LPCWSTR lpszFind) const
    {
        return (int)SendMsg(LB_FINDSTRINGEXACT, (WPARAM)nIndexStart, (LPARAM)lpszFind);
    }
    int SelectString(int nStartAfter, LPCWSTR lpszItem)
    {
        return (int)SendMsg(LB_SELECTSTRING, (WPARAM)nStartAfter, (LPARAM)lpszItem);
    }
    DWORD_PTR GetItemData(int nIndex) const { return (DWORD_PTR)SendMsg(LB_GETITEMDATA, (WPARAM)nIndex, 0); }
    int SetItemData(int nIndex, DWORD_PTR dwItemData)
    {
        return (int)SendMsg(LB_SETITEMDATA, (WPARAM)nIndex, (LPARAM)dwItemData);
    }
    int GetSel(int nIndex) const { return (int)SendMsg(LB_GETSEL, (WPARAM)nIndex, 0); }
    int GetTopIndex() const { return (int)SendMsg(LB_GETTOPINDEX, 0, 0); }
};

// The wrappers are the handle and nothing more: a temporary CWnd from
// GetDlgItem may be used as any of them.
static_assert(sizeof(CStatic) == sizeof(CWnd), "a wrapper holds the handle only");
static_assert(sizeof(CButton) == sizeof(CWnd), "a wrapper holds the handle only");
static_assert(sizeof(CEdit) == sizeof(CWnd), "a wrapper holds the handle only");
static_assert(sizeof(CComboBox) == sizeof(CWnd), "a wrapper holds the handle only");
static_assert(sizeof(CListBox) == sizeof(CWnd), "a wrapper holds the handle only");
