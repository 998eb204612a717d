#include "afxctl.h"

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message != WM_DRAWITEM)
        return CWnd::OnChildNotify(message, wParam, lParam, pResult);
    DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    if (pResult)
        *pResult = TRUE;
    return TRUE;
}

BOOL CBitmapButton::LoadBitmaps(UINT nIDBitmapResource, UINT nIDBitmapResourceSel, UINT nIDBitmapResourceFocus,
                                UINT nIDBitmapResourceDisabled)
{
    m_bitmap.DeleteObject();
    m_bitmapSel.DeleteObject();
    m_bitmapFocus.DeleteObject();
    m_bitmapDisabled.DeleteObject();
    if (!m_bitmap.LoadBitmap(nIDBitmapResource))
        return FALSE;
    BOOL bAllLoaded = TRUE;
    if (nIDBitmapResourceSel && !m_bitmapSel.LoadBitmap(nIDBitmapResourceSel))
        bAllLoaded = FALSE;
    if (nIDBitmapResourceFocus && !m_bitmapFocus.LoadBitmap(nIDBitmapResourceFocus))
        bAllLoaded = FALSE;
    if (nIDBitmapResourceDisabled && !m_bitmapDisabled.LoadBitmap(nIDBitmapResourceDisabled))
        bAllLoaded = FALSE;
    return bAllLoaded;
}

void CBitmapButton::SizeToContent()
{
    BITMAP bm = {};
    if (!m_bitmap.GetSafeHandle() || !m_bitmap.GetBitmap(&bm))
        return;
    SetWindowPos(NULL, 0, 0, bm.bmWidth, bm.bmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CBitmapButton::DrawItem(LPDRAWITEMSTRUCT lpDIS)
{
    CBitmap* pBitmap = &m_bitmap;
    UINT state = lpDIS->itemState;
    if ((state & ODS_SELECTED) && m_bitmapSel.GetSafeHandle())
        pBitmap = &m_bitmapSel;
    else if ((state & ODS_FOCUS) && m_bitmapFocus.GetSafeHandle())
        pBitmap = &m_bitmapFocus;
    else if ((state & ODS_DISABLED) && m_bitmapDisabled.GetSafeHandle())
        pBitmap = &m_bitmapDisabled;
    if (!pBitmap->GetSafeHandle())
        return;

    CDC* pDC = CDC::FromHandle(lpDIS->hDC);
    CDC memDC;
    if (!memDC.CreateCompatibleDC(pDC))
        return;
    CBitmap* pOld = memDC.SelectObject(pBitmap);
    if (!pOld)
        return;
    CRect rect(lpDIS->rcItem);
    pDC->BitBlt(rect.left, rect.top, rect.Width(), rect.Height(), &memDC, 0, 0, SRCCOPY);
    memDC.SelectObject(pOld);
}

void CEdit::GetSel(int& nStartChar, int& nEndChar) const
{
    DWORD start = 0, end = 0;
    ::SendMessageW(m_hWnd, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
    nStartChar = (int)start;
    nEndChar = (int)end;
}

void CEdit::SetSel(int nStartChar, int nEndChar, BOOL bNoScroll)
{
    SendMessage(EM_SETSEL, (WPARAM)nStartChar, (LPARAM)nEndChar);
    if (!bNoScroll)
        SendMessage(EM_SCROLLCARET, 0, 0);
}

void CComboBox::GetLBText(int nIndex, CString& rString) const
{
    int n = GetLBTextLen(nIndex);
    if (n == CB_ERR) {
        rString.Empty();
        return;
    }
    int got = GetLBText(nIndex, rString.GetBuffer(n + 1));
    rString.ReleaseBuffer(got == CB_ERR ? 0 : got);
}

void CListBox::GetText(int nIndex, CString& rString) const
{
    int n = GetTextLen(nIndex);
    if (n == LB_ERR) {
        rString.Empty();
        return;
    }
    int got = (int)::SendMessageW(m_hWnd, LB_GETTEXT, (WPARAM)nIndex, (LPARAM)rString.GetBuffer(n + 1));
    rString.ReleaseBuffer(got == LB_ERR ? 0 : got);
}
