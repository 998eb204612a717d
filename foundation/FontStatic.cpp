#include "foundation/FontStatic.h"

BEGIN_MESSAGE_MAP(CFontStatic, CStatic)
    ON_WM_PAINT()
END_MESSAGE_MAP()

CFontStatic::CFontStatic()
    : m_bBold(false), m_bItalic(false), m_bUnderline(false), m_bStrikeOut(false), m_bAntialiased(false),
      m_bOwnBackground(false), m_bCentered(false), m_bLeft(true), m_bRight(false), m_bWordWrap(false),
      m_strFaceName(L"MS Sans Serif"), m_crText(0), m_crBackground(0), m_nHeight(8), m_crBar(0), m_nPercent(0)
{
}

CFontStatic::~CFontStatic()
{
}

void CFontStatic::SetFontStyle(DWORD style)
{
    m_bBold = (style & kBold) != 0;
    m_bItalic = (style & kItalic) != 0;
    m_bUnderline = (style & kUnderline) != 0;
    m_bStrikeOut = (style & kStrikeOut) != 0;
    m_bAntialiased = (style & kAntialiased) != 0;
    m_bCentered = (style & kCentered) != 0;
    m_bRight = !m_bCentered && (style & kRight) != 0;
    m_bLeft = !m_bCentered && !m_bRight;
    m_bWordWrap = (style & kWordWrap) != 0;
}

void CFontStatic::SetBackgroundColor(COLORREF color)
{
    m_crBackground = color;
    m_bOwnBackground = true;
}

void CFontStatic::SetTextColor(COLORREF color)
{
    m_crText = color;
}

void CFontStatic::SetFontAttributes(LPCWSTR faceName, int height, COLORREF textColor, DWORD style)
{
    m_strFaceName = faceName ? faceName : L"";
    m_nHeight = height;
    m_crText = textColor;
    SetFontStyle(style);
}

void CFontStatic::SetBarColor(COLORREF color)
{
    m_crBar = color;
    m_nPercent = 0;
}

void CFontStatic::SetProgress(UINT percent)
{
    m_nPercent = percent > 100 ? 100 : percent;
    if (m_hWnd)
        ::InvalidateRect(m_hWnd, NULL, FALSE);
}

UINT CFontStatic::DrawTextFlags() const
{
    UINT flags = DT_VCENTER | DT_NOPREFIX;
    flags |= m_bWordWrap ? DT_WORDBREAK : DT_SINGLELINE;
    if (m_bCentered)
        flags |= DT_CENTER;
    else if (m_bRight)
        flags |= DT_RIGHT;
    return flags;
}

void CFontStatic::PreSubclassWindow()
{
    CStatic::PreSubclassWindow();
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, ::GetWindowLongPtrW(m_hWnd, GWL_STYLE) | SS_NOTIFY);
}

void CFontStatic::OnPaint()
{
    PAINTSTRUCT ps;
    HDC hdc = ::BeginPaint(m_hWnd, &ps);
    if (!hdc)
        return;
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    int width = rc.right - rc.left;
    int height = rc.bottom - rc.top;

    HDC mem = ::CreateCompatibleDC(hdc);
    HBITMAP bitmap = mem ? ::CreateCompatibleBitmap(hdc, width, height) : NULL;
    if (!mem || !bitmap) {
        if (bitmap)
            ::DeleteObject(bitmap);
        if (mem)
            ::DeleteDC(mem);
        ::EndPaint(m_hWnd, &ps);
        return;
    }
    HGDIOBJ oldBitmap = ::SelectObject(mem, bitmap);

    CString text;
    GetWindowText(text);

    RECT rest = rc;
    if (m_nPercent != 0) {
        RECT bar = rc;
        bar.right = rc.left + BarWidth(m_nPercent, width);
        ::SetBkColor(mem, m_crBar);
        ::ExtTextOutW(mem, 0, 0, ETO_OPAQUE, &bar, NULL, 0, NULL);
        rest.left = bar.right;
    }
    ::SetBkColor(mem, m_bOwnBackground ? m_crBackground : ::GetSysColor(COLOR_BTNFACE));
    ::ExtTextOutW(mem, 0, 0, ETO_OPAQUE, &rest, NULL, 0, NULL);

    ::SetTextColor(mem, m_crText);
    ::SetBkMode(mem, TRANSPARENT);
    HFONT font = ::CreateFontW(m_nHeight, 0, 0, 0, m_bBold ? 900 : 400, m_bItalic, m_bUnderline, m_bStrikeOut,
                               DEFAULT_CHARSET, OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS,
                               m_bAntialiased ? ANTIALIASED_QUALITY : DEFAULT_QUALITY, 0, m_strFaceName);
    if (font) {
        HGDIOBJ oldFont = ::SelectObject(mem, font);
        RECT textRect = rc;
        ::DrawTextW(mem, text, text.GetLength(), &textRect, DrawTextFlags());
        ::SelectObject(mem, oldFont);
        ::DeleteObject(font);
    }

    ::BitBlt(hdc, 0, 0, width, height, mem, 0, 0, SRCCOPY);
    ::SelectObject(mem, oldBitmap);
    ::DeleteObject(bitmap);
    ::DeleteDC(mem);
    ::EndPaint(m_hWnd, &ps);
}
