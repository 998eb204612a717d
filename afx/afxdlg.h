// CDialog and CDialogEx (dialogs from the program's DIALOGEX templates,
// also of a registered window class), the data exchange CDataExchange and
// the DDX_/DDV_ functions.
//
// DoModal runs the layer's own modal loop: each message goes through the
// application's PreTranslateMessage (the walk up the parent chain, where the
// dialog's own PreTranslateMessage calls IsDialogMessage), then, when no one
// took it, IsDialogMessage, then TranslateMessage/DispatchMessage. The
// owner (the parent's top-level window, or without a parent the
// application's main window when it exists) is disabled for the run only
// when it was enabled, and only what was disabled is enabled again.
#pragma once
#include <windows.h>
#include "afxwin.h"

class CDialog : public CWnd
{
public:
    // Modeless: Create later.
    CDialog();
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = NULL);
    explicit CDialog(LPCWSTR lpszTemplateName, CWnd* pParentWnd = NULL);

    // A modeless dialog; without a parent it has no owner. FALSE when the
    // template is missing or the window cannot be created.
    BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = NULL);
    BOOL Create(LPCWSTR lpszTemplateName, CWnd* pParentWnd = NULL);

    // The code given to EndDialog; -1 when the dialog cannot be created or
    // its initialisation failed (OnInitDialog ends it with -1).
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);

    // The base runs the template's RT_DLGINIT list-box and combo-box
    // strings, then UpdateData(FALSE); on a failure it ends the dialog with
    // -1. TRUE: the system focuses the first control.
    virtual BOOL OnInitDialog();
    // For Enter, Esc and the close box in modeless use too: the dialog's
    // own keyboard interface.
    BOOL PreTranslateMessage(MSG* pMsg) override;

    void GotoDlgCtrl(CWnd* pWndCtrl);
    void NextDlgCtrl() const { ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, 0, 0); }
    void PrevDlgCtrl() const { ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, 1, 0); }
    void SetDefID(UINT nID) { ::SendMessageW(m_hWnd, DM_SETDEFID, nID, 0); }
    DWORD GetDefID() const { return (DWORD)::SendMessageW(m_hWnd, DM_GETDEFID, 0, 0); }
    // Adds the strings of the dialog-init resource (type 240, same name as
    // the template) to their list and combo boxes; TRUE also without one.
    BOOL ExecuteDlgInit(LPCWSTR lpszResourceName);

    LPCWSTR m_lpszTemplateName;
    UINT m_nIDHelp;
    CWnd* m_pParentWnd;

protected:
    // OnOK: UpdateData(TRUE), then EndDialog(IDOK) when it succeeded.
    virtual void OnOK();
    virtual void OnCancel();
    afx_msg LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    BOOL CreateIndirect(LPCDLGTEMPLATEW lpTemplate, HWND hWndParent);
    void RunModalLoop();
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    int m_nModalResult;
    bool m_bInModalLoop;
    bool m_bContinueModal;
};

class CDialogEx : public CDialog
{
public:
    CDialogEx() {}
    explicit CDialogEx(UINT nIDTemplate, CWnd* pParentWnd = NULL) : CDialog(nIDTemplate, pParentWnd) {}
    explicit CDialogEx(LPCWSTR lpszTemplateName, CWnd* pParentWnd = NULL) : CDialog(lpszTemplateName, pParentWnd) {}

    // A plain background colour for the dialog and its static controls.
    void SetBackgroundColor(COLORREF color, BOOL bRepaint = TRUE);

protected:
    afx_msg BOOL OnEraseBkgnd(CDC* pDC);
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);

    DECLARE_MESSAGE_MAP()

private:
    CBrush m_brBackground;
};

// One run of a dialog's DoDataExchange: loading (m_bSaveAndValidate FALSE)
// puts the members into the controls, saving reads and checks them.
class CDataExchange
{
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate);

    // The control's window; it becomes the control Fail returns to. A
    // missing control throws CNotSupportedException.
    HWND PrepareCtrl(int nIDC);
    HWND PrepareEditCtrl(int nIDC);
    // Focuses the last prepared control (an edit's text selected) and
    // throws CUserException: the user has been told already.
    [[noreturn]] void Fail();

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    UINT m_idLastControl;
    BOOL m_bEditLastControl;
};

// Subclasses the control into rControl the first time (loading).
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
// Window text. The numbers: a text that is not a number in range shows
// "Kérem, egész számot adjon meg." ("Kérem, nem negatív egész számot adjon
// meg." for the unsigned ones), in the program's language.
void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
void DDX_Text(CDataExchange* pDX, int nIDC, int& value);
void DDX_Text(CDataExchange* pDX, int nIDC, UINT& value);
void DDX_Text(CDataExchange* pDX, int nIDC, long& value);
void DDX_Text(CDataExchange* pDX, int nIDC, DWORD& value);
// Check box state (BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE).
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
void DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index);
// Loading selects the item that starts with the text, else sets the edit text.
void DDX_CBString(CDataExchange* pDX, int nIDC, CString& value);
void DDX_DateTimeCtrl(CDataExchange* pDX, int nIDC, SYSTEMTIME& value);

// When saving, a value out of range shows "Enter an integer between %1 and
// %2." and fails; loading does not check.
void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal);
// Saving: a longer text shows "Enter no more than %1 characters." and
// fails. Otherwise the edit (or combo) is limited to nChars characters.
void DDV_MaxChars(CDataExchange* pDX, const CString& value, int nChars);
