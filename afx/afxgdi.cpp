#include "afxgdi.h"
#include "afxtemp.h"
#include "afxapp.h"
#include <stdlib.h>

namespace {

template <class T>
T* TempGdiObject(HGDIOBJ h)
{
    if (!h)
        return NULL;
    return afx_detail::CTempMap<T>::Get().Lookup(
        h, [](T* p, void* handle) { p->m_hObject = (HGDIOBJ)handle; }, [](T* p) { p->m_hObject = NULL; });
}

// Selects the object into the context; NULL, with nothing selected, when
// there is no context or no object, or the selection fails (the caller then
// has no previous object to put back).
HGDIOBJ SelectInto(HDC hDC, const CGdiObject* pObject)
{
    if (!hDC || !pObject || !pObject->GetSafeHandle())
        return NULL;
    HGDIOBJ hOld = ::SelectObject(hDC, pObject->GetSafeHandle());
    return hOld == HGDI_ERROR ? NULL : hOld;
}

} // namespace

BOOL CGdiObject::Attach(HGDIOBJ hObject)
{
    if (!hObject || m_hObject)
        return FALSE;
    m_hObject = hObject;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach()
{
    HGDIOBJ h = m_hObject;
    m_hObject = NULL;
    return h;
}

BOOL CGdiObject::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    return ::DeleteObject(Detach());
}

CGdiObject* CGdiObject::FromHandle(HGDIOBJ hObject) { return TempGdiObject<CGdiObject>(hObject); }
CPen* CPen::FromHandle(HPEN hPen) { return TempGdiObject<CPen>(hPen); }
CBrush* CBrush::FromHandle(HBRUSH hBrush) { return TempGdiObject<CBrush>(hBrush); }
CFont* CFont::FromHandle(HFONT hFont) { return TempGdiObject<CFont>(hFont); }
CBitmap* CBitmap::FromHandle(HBITMAP hBitmap) { return TempGdiObject<CBitmap>(hBitmap); }

BOOL CFont::CreateFont(int nHeight, int nWidth, int nEscapement, int nOrientation, int nWeight, BYTE bItalic,
                       BYTE bUnderline, BYTE cStrikeOut, BYTE nCharSet, BYTE nOutPrecision, BYTE nClipPrecision,
                       BYTE nQuality, BYTE nPitchAndFamily, LPCWSTR lpszFacename)
{
    return Attach(::CreateFontW(nHeight, nWidth, nEscapement, nOrientation, nWeight, bItalic, bUnderline, cStrikeOut,
                                nCharSet, nOutPrecision, nClipPrecision, nQuality, nPitchAndFamily, lpszFacename));
}

BOOL CFont::CreatePointFont(int nPointSize, LPCWSTR lpszFaceName, CDC* pDC)
{
    LOGFONTW lf = {};
    lf.lfCharSet = DEFAULT_CHARSET;
    if (lpszFaceName)
        lstrcpynW(lf.lfFaceName, lpszFaceName, LF_FACESIZE);
    HDC hDC = pDC ? pDC->m_hDC : ::GetDC(NULL);
    // Tenths of a point to logical units of the context.
    POINT pt = {0, ::MulDiv(::GetDeviceCaps(hDC, LOGPIXELSY), nPointSize, 720)};
    POINT ptOrg = {0, 0};
    ::DPtoLP(hDC, &pt, 1);
    ::DPtoLP(hDC, &ptOrg, 1);
    lf.lfHeight = -abs(pt.y - ptOrg.y);
    if (!pDC)
        ::ReleaseDC(NULL, hDC);
    return CreateFontIndirect(&lf);
}

BOOL CBitmap::LoadBitmap(UINT nIDResource)
{
    return LoadBitmap(MAKEINTRESOURCEW(nIDResource));
}

BOOL CBitmap::LoadBitmap(LPCWSTR lpszResourceName)
{
    return Attach(::LoadBitmapW(AfxGetResourceHandle(), lpszResourceName));
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight)
{
    return Attach(::CreateCompatibleBitmap(pDC->m_hDC, nWidth, nHeight));
}

CDC::~CDC()
{
    if (m_hDC)
        ::DeleteDC(Detach());
}

BOOL CDC::Attach(HDC hDC)
{
    if (!hDC || m_hDC)
        return FALSE;
    m_hDC = hDC;
    return TRUE;
}

HDC CDC::Detach()
{
    HDC h = m_hDC;
    m_hDC = NULL;
    return h;
}

BOOL CDC::DeleteDC()
{
    if (!m_hDC)
        return FALSE;
    return ::DeleteDC(Detach());
}

CDC* CDC::FromHandle(HDC hDC)
{
    if (!hDC)
        return NULL;
    return afx_detail::CTempMap<CDC>::Get().Lookup(
        hDC, [](CDC* p, void* h) { p->m_hDC = (HDC)h; }, [](CDC* p) { p->m_hDC = NULL; });
}

CPen* CDC::SelectObject(CPen* pPen)
{
    return CPen::FromHandle((HPEN)SelectInto(m_hDC, pPen));
}

CBrush* CDC::SelectObject(CBrush* pBrush)
{
    return CBrush::FromHandle((HBRUSH)SelectInto(m_hDC, pBrush));
}

CFont* CDC::SelectObject(CFont* pFont)
{
    return CFont::FromHandle((HFONT)SelectInto(m_hDC, pFont));
}

CBitmap* CDC::SelectObject(CBitmap* pBitmap)
{
    return CBitmap::FromHandle((HBITMAP)SelectInto(m_hDC, pBitmap));
}

CGdiObject* CDC::SelectObject(CGdiObject* pObject)
{
    return CGdiObject::FromHandle(SelectInto(m_hDC, pObject));
}

CGdiObject* CDC::SelectStockObject(int nIndex)
{
    return CGdiObject::FromHandle(::SelectObject(m_hDC, ::GetStockObject(nIndex)));
}

void CDC::FillSolidRect(LPCRECT lpRect, COLORREF clr)
{
    ::SetBkColor(m_hDC, clr);
    ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, lpRect, NULL, 0, NULL);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF clr)
{
    CRect rect(x, y, x + cx, y + cy);
    FillSolidRect(&rect, clr);
}

void CDC::Draw3dRect(LPCRECT lpRect, COLORREF clrTopLeft, COLORREF clrBottomRight)
{
    int x = lpRect->left, y = lpRect->top;
    int cx = lpRect->right - x, cy = lpRect->bottom - y;
    FillSolidRect(x, y, cx - 1, 1, clrTopLeft);
    FillSolidRect(x, y, 1, cy - 1, clrTopLeft);
    FillSolidRect(x + cx, y, -1, cy, clrBottomRight);
    FillSolidRect(x, y + cy, cx, -1, clrBottomRight);
}

CPoint CDC::MoveTo(int x, int y)
{
    POINT old = {0, 0};
    ::MoveToEx(m_hDC, x, y, &old);
    return CPoint(old);
}

CSize CDC::GetTextExtent(LPCWSTR lpszString, int nCount) const
{
    SIZE size = {0, 0};
    ::GetTextExtentPoint32W(m_hDC, lpszString, nCount, &size);
    return CSize(size);
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_ps(), m_hWnd(pWnd->GetSafeHwnd())
{
    Attach(::BeginPaint(m_hWnd, &m_ps));
}

CPaintDC::~CPaintDC()
{
    Detach();
    ::EndPaint(m_hWnd, &m_ps);
}

CClientDC::CClientDC(CWnd* pWnd) : m_hWnd(pWnd ? pWnd->GetSafeHwnd() : NULL)
{
    Attach(::GetDC(m_hWnd));
}

CClientDC::~CClientDC()
{
    HDC hDC = Detach();
    if (hDC)
        ::ReleaseDC(m_hWnd, hDC);
}

CWindowDC::CWindowDC(CWnd* pWnd) : m_hWnd(pWnd ? pWnd->GetSafeHwnd() : NULL)
{
    Attach(::GetWindowDC(m_hWnd));
}

CWindowDC::~CWindowDC()
{
    HDC hDC = Detach();
    if (hDC)
        ::ReleaseDC(m_hWnd, hDC);
}
