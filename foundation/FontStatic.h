// CFontStatic: a static text that paints its window text itself, in a font
// and colours of its own, over an optional horizontal percentage bar. The
// painting goes through a memory bitmap, so frequent progress updates do not
// flicker. The setters other than SetProgress do not repaint: set the
// attributes before the window shows, or change the text afterwards.
#pragma once
#include "afxctl.h"

class CFontStatic : public CStatic
{
public:
    // Style bits of SetFontStyle and SetFontAttributes.
    enum
    {
        kBold = 0x1,        // weight 900 instead of 400
        kItalic = 0x2,
        kUnderline = 0x4,
        kStrikeOut = 0x8,
        kAntialiased = 0x10,
        kCentered = 0x20,
        kRight = 0x80,      // only when kCentered is clear
        kWordWrap = 0x100   // several lines instead of one
    };

    CFontStatic();
    ~CFontStatic() override;

    // Replaces every flag.
    void SetFontStyle(DWORD style);
    void SetBackgroundColor(COLORREF color);
    void SetTextColor(COLORREF color);
    void SetFontAttributes(LPCWSTR faceName, int height, COLORREF textColor, DWORD style);
    // Also puts the bar back to 0 percent.
    void SetBarColor(COLORREF color);
    // Values above 100 count as 100; repaints without erasing.
    void SetProgress(UINT percent);
    UINT GetProgress() const { return m_nPercent; }

    // The width of the bar for a percentage and a client width.
    static int BarWidth(UINT percent, int width) { return (int)((long long)percent * width / 100); }
    // The DrawText flags of the current style.
    UINT DrawTextFlags() const;

protected:
    void PreSubclassWindow() override;
    afx_msg void OnPaint();

    DECLARE_MESSAGE_MAP()

private:
    bool m_bBold;
    bool m_bItalic;
    bool m_bUnderline;
    bool m_bStrikeOut;
    bool m_bAntialiased;
    bool m_bOwnBackground;
    bool m_bCentered;
    bool m_bLeft;
    bool m_bRight;
    bool m_bWordWrap;
    CString m_strFaceName;
    COLORREF m_crText;
    COLORREF m_crBackground;
    int m_nHeight;
    COLORREF m_crBar;
    UINT m_nPercent;
};
