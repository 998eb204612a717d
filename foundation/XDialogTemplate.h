// CXDialogTemplate: one call of XMessageBox turned into a dialog template in
// memory. It copies the texts, picks the captions, loads the icon and the
// message font, measures the text and every caption with that font and the
// dialog base units, places the icon, the text, the buttons and the check box
// in pixels and keeps them as CXDialogItem controls in dialog units. The box
// itself (its window, dialog procedure and modal loop) runs on this object;
// see XMessageBox.cpp.
#pragma once
#include <windows.h>
#include "afxstr.h"
#include "foundation/XMessageBox.h"

// One control of the template.
class CXDialogItem
{
public:
    enum { kButton = 0x80, kStatic = 0x82 };  // predefined window-class atoms

    CXDialogItem() : m_dwStyle(0), m_dwExStyle(0), m_x(0), m_y(0), m_cx(0), m_cy(0), m_nId(0), m_nKind(kStatic) {}
    virtual ~CXDialogItem() {}

    DWORD m_dwStyle;
    DWORD m_dwExStyle;  // always 0
    short m_x, m_y, m_cx, m_cy;  // dialog units
    WORD m_nId;
    WORD m_nKind;
    CString m_strCaption;
};

class CXDialogTemplate
{
public:
    enum { kMaxItems = 20, kMaxTextLength = 65535, kMaxTitleLength = 1023 };
    // Box flags.
    enum {
        kCheckDontAsk = 0x1, kCheckDontWarn = 0x2, kCheckDontShow = 0x4,
        kHasCancel = 0x8, kOkOnly = 0x10
    };

    // The style and parameter block as XMessageBox passes them on: caption
    // not null, time-out and disabled seconds already limited.
    CXDialogTemplate(HWND hOwner, LPCWSTR lpszText, LPCWSTR lpszCaption, UINT nStyle,
                     const XMessageBoxParams& params);
    virtual ~CXDialogTemplate();
    CXDialogTemplate(const CXDialogTemplate&) = delete;
    CXDialogTemplate& operator=(const CXDialogTemplate&) = delete;

    // A push button with the caption of that table entry; returns the step to
    // the next button (its width plus 6).
    int AddButton(int nCaption, WORD nId, int x, int y);
    // A control of a custom caption.
    int AddButton(LPCWSTR lpszCaption, int nWidth, WORD nId, int x, int y);
    // rc in pixels.
    void AddItem(WORD nKind, WORD nId, const RECT& rc, LPCWSTR lpszCaption);
    // The check box at x, y; widens rcDialog and moves its bottom below the box.
    void AddCheckBox(int x, int y, RECT& rcDialog, LPCWSTR lpszCaption);

    // The template serialised into zero-filled movable memory, or null.
    HLOCAL BuildTemplateMemory() const;

    // Shows the box and runs its modal loop; returns the answer.
    int Display();
    // Puts the box's title, text and button captions on the clipboard.
    BOOL CopyToClipboard(HWND hDlg) const;

    // What the layout made (pixels unless named otherwise).
    int GetItemCount() const { return m_nItemCount; }
    const CXDialogItem* GetItem(int i) const { return (i >= 0 && i < m_nItemCount) ? m_pItems[i] : NULL; }
    const RECT& GetMessageRect() const { return m_rcMessage; }
    const RECT& GetDialogRect() const { return m_rcDialog; }
    short GetDialogCx() const { return m_cx; }  // dialog units
    short GetDialogCy() const { return m_cy; }
    DWORD GetDialogStyle() const { return m_dwDialogStyle; }
    LPCWSTR GetCaptionEntry(int i) const { return m_szCaptions[i]; }
    int GetCaptionWidth(int i) const { return m_nCaptionWidth[i]; }
    int GetDefaultId() const { return m_nDefaultId; }
    int GetBoxFlags() const { return m_nFlags; }
    int GetButtonHeight() const { return m_nButtonHeight; }
    int GetMinButtonWidth() const { return m_nMinButtonWidth; }
    int GetTimeoutExtraWidth() const { return m_nTimeoutExtra; }
    int GetCheckBoxHeight() const { return m_nCheckBoxHeight; }
    int GetLineHeight() const { return m_nLineHeight; }
    HICON GetIcon() const { return m_hIcon; }
    bool IsBandStyle() const { return m_bBand; }
    const CString& GetText() const { return m_strText; }
    const CString& GetCaption() const { return m_strCaption; }

private:
    // Both catch what their handling throws (it cannot cross the frames of
    // the dialog manager that called them): the box ends answering -1.
    static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK IconProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static INT_PTR HandleMessage(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT HandleIconMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // The end of a box whose handling threw.
    static void EndAfterException(HWND hBox);
    BOOL OnInitDialog(HWND hDlg);
    void OnTimer(HWND hDlg, UINT_PTR nId);
    void OnCommand(HWND hDlg, DWORD dwCommand);
    void StopTimeout(HWND hDlg);
    void EnableButtons(HWND hDlg, BOOL bEnable);
    void EnableClose(HWND hDlg, BOOL bEnable);
    BOOL OnEraseBackground(HWND hDlg, HDC hdc);
    void EndBox(int nAnswer);

    CString LoadText(LPCWSTR lpszTextOrId) const;
    void LoadCaptions(const XMessageBoxParams& params, bool bReportGiven);
    void LoadBoxIcon(const XMessageBoxParams& params);
    int MeasureButton(HDC hdc, LPCWSTR lpszCaption) const;
    void ToDialogUnits(const RECT& rc, short& x, short& y, short& cx, short& cy) const;

    // Items (owned).
    CXDialogItem* m_pItems[kMaxItems];
    WORD m_nItemCount;

    // Read and written by the dialog procedure.
    XMessageBoxReportProc m_pfnReport;
    DWORD m_dwReportData;
    int m_nFlags;
    int m_nButtonCount;       // push buttons made so far
    int m_nDefaultIndex;      // 1-based
    int m_nTimeoutSeconds;    // counted down in place
    int m_nDisabledSeconds;   // counted down in place
    int m_nX, m_nY;
    int m_nAnswer;
    bool m_bEnded;
    int m_nLineNumber;
    int m_nHelpContextId;
    LPCWSTR m_pszModuleName;
    HWND m_hOwner;
    UINT m_nStyle;
    int m_nMessageId;
    int m_nDefaultId;
    int m_nNextStaticId;
    wchar_t m_szSavedCaption[XMB_MAXCAPTION + 1];  // the default button's caption before the countdown
    bool m_bCaptionSaved;
    WNDPROC m_pfnOldIconProc;

    // Options.
    bool m_bRightButtons;
    bool m_bBand;
    bool m_bNarrow;
    HINSTANCE m_hStringModule;
    HINSTANCE m_hIconModule;

    // Measures.
    int m_nBaseX, m_nBaseY;
    int m_nMinButtonWidth;
    int m_nTimeoutExtra;
    int m_nButtonHeight;
    int m_nCheckBoxHeight;
    int m_nLineHeight;
    int m_nCheckBoxWidth;
    RECT m_rcMessage;
    RECT m_rcDialog;

    // Texts.
    CString m_strText;
    CString m_strCaption;
    CString m_strCustomCaptions;
    CString m_strCompanyName;

    // Owned resources.
    HICON m_hIcon;
    HFONT m_hFont;
    COLORREF m_crText;
    COLORREF m_crBackground;
    HBRUSH m_hBackgroundBrush;

    // Dialog header.
    DWORD m_dwDialogStyle;
    short m_cx, m_cy;  // dialog units

    wchar_t m_szCaptions[XMB_CAPTION_COUNT][XMB_MAXCAPTION + 1];
    int m_nCaptionWidth[XMB_CAPTION_COUNT];
    CString m_strCustom[XMB_MAXCUSTOMBUTTONS];
    int m_nCustomWidth[XMB_MAXCUSTOMBUTTONS];
    int m_nCustomCount;
};
