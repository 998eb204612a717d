// CCmdTarget and message maps; CWnd: a window handle with the class
// library's member functions, the permanent handle map, subclassing and
// message dispatch with notification reflection.
//
// Dispatch: the layer's window procedure (AfxWndProc) runs CWnd::WindowProc
// inside the exception barrier: a CException* or any other exception that a
// handler lets out is reported (see AfxReportException) and the message gets
// a default result, so no exception unwinds through Win32 frames.
// WindowProc -> OnWndMsg, which gives WM_COMMAND to OnCommand, WM_NOTIFY to
// OnNotify and every other message to the message map (base maps included);
// what no entry takes goes to DefWindowProc, the window's original procedure.
// A parent's WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR*, WM_DRAWITEM and
// WM_MEASUREITEM first go to the control's OnChildNotify when the control
// has a permanent CWnd (reflection: the _REFLECT entries of afxmsg.h).
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "afxstr.h"
#include "afxtypes.h"
#include "afxgdi.h"
#include "afxmenu.h"

#define afx_msg

class CCmdTarget;
class CWnd;
class CDataExchange;

// One dispatch as the handler stub of an entry sees it.
struct AFX_MSGCALL
{
    UINT message;
    WPARAM wParam;
    LPARAM lParam;     // for WM_NOTIFY entries the NMHDR*
    UINT nID;          // the command or control id (commands and notifications)
    LRESULT* pResult;  // where the handler's result goes; may be null for commands
};
// The handler stub of an entry: cracks the message, calls the member and
// returns TRUE when the message counts as handled.
typedef BOOL (*AFX_PMSG)(CCmdTarget* pTarget, const AFX_MSGCALL& call);

struct AFX_MSGMAP_ENTRY
{
    UINT nMessage;                    // window message, WM_COMMAND, WM_NOTIFY or WM_REFLECT_BASE + one of them
    UINT nCode;                       // control notification code (compared as 16 bits, as in the class library)
    UINT nID;                         // first control or command id
    UINT nLastID;                     // last id of a range
    const UINT* pnRegisteredMessage;  // ON_REGISTERED_MESSAGE: the variable that holds the message id
    AFX_PMSG pfn;                     // null ends the table
};

struct AFX_MSGMAP
{
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// What WM_NOTIFY entries get through OnCmdMsg's pExtra.
struct AFX_NOTIFY
{
    LRESULT* pResult;
    NMHDR* pNMHDR;
};

struct AFX_CMDHANDLERINFO;

// A parent's message as its control receives it in reflection.
#define WM_REFLECT_BASE 0xBC00
// The key of ON_WM_CTLCOLOR entries, which take every WM_CTLCOLOR* message.
#ifndef WM_CTLCOLOR
#define WM_CTLCOLOR 0x0019
#endif
#define CN_COMMAND 0
#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

// In the class: DECLARE_MESSAGE_MAP(). In its .cpp, one entry per line
// (afxmsg.h lists them and the handler signatures they call):
//     BEGIN_MESSAGE_MAP(CMyDlg, CDialogEx)
//         ON_WM_TIMER()
//         ON_BN_CLICKED(IDC_MY_BUTTON, &CMyDlg::OnBnClickedMyButton)
//     END_MESSAGE_MAP()
// A message no entry of the class takes is looked up in the base's map.
#define DECLARE_MESSAGE_MAP() \
protected: \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass) \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() \
    { \
        typedef theClass ThisClass; \
        typedef baseClass TheBaseClass; \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP() \
            { 0, 0, 0, 0, NULL, NULL } \
        }; \
        static_assert(sizeof(ThisClass) > 0, "message map of an incomplete class"); \
        static const AFX_MSGMAP messageMap = { &TheBaseClass::GetThisMessageMap, &_messageEntries[0] }; \
        return &messageMap; \
    }

class CCmdTarget
{
public:
    CCmdTarget() {}
    virtual ~CCmdTarget() {}
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    // Routes a command or notification to this object's map. nCode holds
    // the notification code in its low word and the message in its high
    // word (0 for WM_COMMAND, WM_NOTIFY, or WM_REFLECT_BASE + either);
    // WM_NOTIFY passes an AFX_NOTIFY* as pExtra. TRUE when handled.
    virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo);

    // The first entry of the map chain for the message, code and id, or null.
    static const AFX_MSGMAP_ENTRY* FindMessageEntry(const AFX_MSGMAP* pMap, UINT nMessage, UINT nCode, UINT nID);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

class CWnd : public CCmdTarget
{
public:
    CWnd();
    // A window this object created is destroyed with it; a window it only
    // attached or subclassed gets its own procedure back and lives on.
    ~CWnd() override;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    bool operator==(const CWnd& wnd) const { return m_hWnd == wnd.m_hWnd; }
    bool operator!=(const CWnd& wnd) const { return m_hWnd != wnd.m_hWnd; }

    // The permanent map: windows with a CWnd of their own (attached,
    // subclassed or created through the layer). FromHandle gives a
    // temporary wrapper for any other window (see afxtemp.h).
    static CWnd* FromHandlePermanent(HWND hWnd);
    static CWnd* FromHandle(HWND hWnd);
    BOOL Attach(HWND hWndNew);
    HWND Detach();
    // Attach, PreSubclassWindow, then the layer's window procedure in front
    // of the window's own. FALSE when the window already has a CWnd.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
    HWND UnsubclassWindow();

    // A window of a registered class. Messages sent during creation
    // (WM_NCCREATE, WM_CREATE) go to the class procedure only.
    BOOL CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle, int x, int y,
                  int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu, LPVOID lpParam = NULL);
    BOOL CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                  CWnd* pParentWnd, UINT nID, LPVOID lpParam = NULL);
    virtual BOOL DestroyWindow();

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // The window's original procedure (DefWindowProc when there is none).
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The original procedure with the message now being handled.
    LRESULT Default();
    // The message now being handled on this thread.
    static const MSG* GetCurrentMessage();

    // Gives every window with a permanent CWnd, from the message's target up
    // the parent (for pop-ups: owner) chain, a chance at the message; the
    // walk ends after hWndStop (null: at the top). TRUE when one took it.
    static BOOL WalkPreTranslateTree(HWND hWndStop, MSG* pMsg);
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    // Data exchange (afxdlg.h): FALSE when a check failed (the user was told).
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // Window state and text
    DWORD GetStyle() const { return (DWORD)::GetWindowLongPtrW(m_hWnd, GWL_STYLE); }
    DWORD GetExStyle() const { return (DWORD)::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE); }
    BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
    BOOL ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
    void SetWindowText(LPCWSTR lpszString) { ::SetWindowTextW(m_hWnd, lpszString); }
    int GetWindowText(LPWSTR lpszStringBuf, int nMaxCount) const
    {
        return ::GetWindowTextW(m_hWnd, lpszStringBuf, nMaxCount);
    }
    void GetWindowText(CString& rString) const;
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
    void SetFont(CFont* pFont, BOOL bRedraw = TRUE);
    CFont* GetFont() const;
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL IsZoomed() const { return ::IsZoomed(m_hWnd); }
    BOOL IsChild(const CWnd* pWnd) const { return ::IsChild(m_hWnd, pWnd->GetSafeHwnd()); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    int SetDlgCtrlID(int nID) { return (int)::SetWindowLongPtrW(m_hWnd, GWLP_ID, nID); }
    HICON SetIcon(HICON hIcon, BOOL bBigIcon) { return (HICON)SendMessage(WM_SETICON, bBigIcon, (LPARAM)hIcon); }
    HICON GetIcon(BOOL bBigIcon) const { return (HICON)SendMsg(WM_GETICON, bBigIcon, 0); }
    void SetRedraw(BOOL bRedraw = TRUE) { SendMessage(WM_SETREDRAW, bRedraw, 0); }

    // Size and position
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE)
    {
        ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
    }
    void MoveWindow(LPCRECT lpRect, BOOL bRepaint = TRUE);
    BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
    void GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    void ScreenToClient(LPPOINT lpPoint) const { ::ScreenToClient(m_hWnd, lpPoint); }
    void ScreenToClient(LPRECT lpRect) const;
    void ClientToScreen(LPPOINT lpPoint) const { ::ClientToScreen(m_hWnd, lpPoint); }
    void ClientToScreen(LPRECT lpRect) const;
    BOOL GetWindowPlacement(WINDOWPLACEMENT* lpwndpl) const;
    BOOL SetWindowPlacement(const WINDOWPLACEMENT* lpwndpl) { return ::SetWindowPlacement(m_hWnd, lpwndpl); }

    // Painting
    void Invalidate(BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, NULL, bErase); }
    void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, lpRect, bErase); }
    void ValidateRect(LPCRECT lpRect) { ::ValidateRect(m_hWnd, lpRect); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    BOOL RedrawWindow(LPCRECT lpRectUpdate = NULL, HRGN hrgnUpdate = NULL,
                      UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE)
    {
        return ::RedrawWindow(m_hWnd, lpRectUpdate, hrgnUpdate, flags);
    }

    // Messages, timers and message boxes
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return SendMsg(message, wParam, lParam); }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer = NULL)
    {
        return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
    }
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }
    // Owned by this window; the caption is the application name when null.
    int MessageBox(LPCWSTR lpszText, LPCWSTR lpszCaption = NULL, UINT nType = MB_OK);

    // Related windows (temporary wrappers unless the window has a CWnd)
    CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    CWnd* GetOwner() const { return FromHandle(::GetWindow(m_hWnd, GW_OWNER)); }
    CWnd* GetTopLevelParent() const;
    CWnd* GetTopWindow() const { return FromHandle(::GetTopWindow(m_hWnd)); }
    CWnd* GetWindow(UINT nCmd) const { return FromHandle(::GetWindow(m_hWnd, nCmd)); }
    CWnd* GetNextDlgTabItem(CWnd* pWndCtl, BOOL bPrevious = FALSE) const;
    CWnd* GetNextDlgGroupItem(CWnd* pWndCtl, BOOL bPrevious = FALSE) const;
    CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
    static CWnd* GetFocus() { return FromHandle(::GetFocus()); }
    static CWnd* GetActiveWindow() { return FromHandle(::GetActiveWindow()); }
    static CWnd* GetDesktopWindow() { return FromHandle(::GetDesktopWindow()); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    CMenu* GetSystemMenu(BOOL bRevert) const { return CMenu::FromHandle(::GetSystemMenu(m_hWnd, bRevert)); }
    CMenu* GetMenu() const { return CMenu::FromHandle(::GetMenu(m_hWnd)); }
    // The window a modal pop-up of pParent should be owned by: pParent's
    // top-level window, or (without a parent) the last active pop-up of the
    // application's main window. With pWndTop, that window's top-level
    // owner is disabled when it is enabled and not the owner itself, and
    // is returned there for re-enabling (null when nothing was disabled).
    static HWND GetSafeOwner_(HWND hParent, HWND* pWndTop);
    static CWnd* GetSafeOwner(CWnd* pParent = NULL, HWND* pWndTop = NULL);

    // Dialog items
    CWnd* GetDlgItem(int nID) const { return FromHandle(::GetDlgItem(m_hWnd, nID)); }
    void GetDlgItem(int nID, HWND* phWnd) const { *phWnd = ::GetDlgItem(m_hWnd, nID); }
    void SetDlgItemText(int nID, LPCWSTR lpszString) { ::SetDlgItemTextW(m_hWnd, nID, lpszString); }
    int GetDlgItemText(int nID, LPWSTR lpStr, int nMaxCount) const
    {
        return (int)::GetDlgItemTextW(m_hWnd, nID, lpStr, nMaxCount);
    }
    int GetDlgItemText(int nID, CString& rString) const;
    void SetDlgItemInt(int nID, UINT nValue, BOOL bSigned = TRUE) { ::SetDlgItemInt(m_hWnd, nID, nValue, bSigned); }
    UINT GetDlgItemInt(int nID, BOOL* lpTrans = NULL, BOOL bSigned = TRUE) const
    {
        return ::GetDlgItemInt(m_hWnd, nID, lpTrans, bSigned);
    }
    LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::SendDlgItemMessageW(m_hWnd, nID, message, wParam, lParam);
    }
    void CheckDlgButton(int nIDButton, UINT nCheck) { ::CheckDlgButton(m_hWnd, nIDButton, nCheck); }
    UINT IsDlgButtonChecked(int nIDButton) const { return ::IsDlgButtonChecked(m_hWnd, nIDButton); }
    void CheckRadioButton(int nIDFirstButton, int nIDLastButton, int nIDCheckButton)
    {
        ::CheckRadioButton(m_hWnd, nIDFirstButton, nIDLastButton, nIDCheckButton);
    }
    // The checked button of the range, 0 when none is.
    int GetCheckedRadioButton(int nIDFirstButton, int nIDLastButton) const;

    HWND m_hWnd;

protected:
    // SendMessage for the const members of the wrappers.
    LRESULT SendMsg(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }

    // Called by SubclassWindow before the window procedure is replaced.
    virtual void PreSubclassWindow() {}
    // Called after the window is gone (WM_NCDESTROY); an object that owns
    // itself may delete itself here.
    virtual void PostNcDestroy() {}
    virtual void DoDataExchange(CDataExchange* pDX) { (void)pDX; }

    // Command and notification dispatch; TRUE when handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // A reflected message from the parent; TRUE when this control took it
    // (and *pResult, when given, holds the result for the parent).
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    BOOL ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // Offers the parent's message to the control hWndChild when it has a
    // permanent CWnd; TRUE when the control took it.
    static BOOL ReflectMessage(HWND hWndChild, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // ReflectMessage with the message now being handled.
    static BOOL ReflectLastMsg(HWND hWndChild, LRESULT* pResult = NULL);

    // The handlers the ON_WM_* entries call; each base does the default
    // processing of the message being handled (Default()).
    afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
    afx_msg void OnDestroy();
    afx_msg void OnClose();
    afx_msg void OnPaint();
    afx_msg BOOL OnEraseBkgnd(CDC* pDC);
    // The base offers the message to the control first (reflection).
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    afx_msg void OnDrawItem(int nIDCtl, LPDRAWITEMSTRUCT lpDrawItemStruct);
    afx_msg void OnMeasureItem(int nIDCtl, LPMEASUREITEMSTRUCT lpMeasureItemStruct);
    afx_msg void OnSize(UINT nType, int cx, int cy);
    afx_msg void OnMove(int x, int y);
    afx_msg void OnGetMinMaxInfo(MINMAXINFO* lpMMI);
    afx_msg void OnWindowPosChanged(WINDOWPOS* lpwndpos);
    afx_msg void OnShowWindow(BOOL bShow, UINT nStatus);
    afx_msg void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized);
    afx_msg void OnEnable(BOOL bEnable);
    afx_msg void OnSetFocus(CWnd* pOldWnd);
    afx_msg void OnKillFocus(CWnd* pNewWnd);
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnHotKey(UINT nHotKeyId, UINT nKey1, UINT nKey2);
    afx_msg BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
    afx_msg void OnContextMenu(CWnd* pWnd, CPoint pos);
    afx_msg void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
    afx_msg void OnKeyUp(UINT nChar, UINT nRepCnt, UINT nFlags);
    afx_msg void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags);
    afx_msg UINT OnGetDlgCode();
    afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
    afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
    afx_msg void OnLButtonDblClk(UINT nFlags, CPoint point);
    afx_msg void OnRButtonDown(UINT nFlags, CPoint point);
    afx_msg void OnRButtonUp(UINT nFlags, CPoint point);
    afx_msg void OnMouseMove(UINT nFlags, CPoint point);
    afx_msg BOOL OnMouseWheel(UINT nFlags, short zDelta, CPoint pt);
    afx_msg LRESULT OnNcHitTest(CPoint point);

    DECLARE_MESSAGE_MAP()

    // The window's own procedure, called for what the map does not take.
    WNDPROC m_pfnSuper;
    // The window was created through this object (and dies with it).
    bool m_bCreatedHere;

private:
    friend LRESULT AfxCallWndProc(CWnd* pWnd, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    // WM_NCDESTROY: the original procedure back, the map entry gone.
    void ReleaseDestroyedWindow();
};

// The layer's window procedure and its barrier: the procedure of every
// window with a permanent CWnd that the layer subclassed.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT AfxCallWndProc(CWnd* pWnd, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
// Reports an exception that reached a window procedure (e: a CException,
// deleted here; null: any other exception) the way the class library does:
// WM_CREATE fails with -1, WM_PAINT validates the window (neither is
// reported), WM_COMMAND counts as handled; the result for the message.
LRESULT AfxProcessWndProcException(CException* e, const MSG* pMsg);
// The application's PreTranslateMessage (the parent-chain walk without an
// application) inside the barrier; TRUE when the message was taken (or
// raised an exception, which was reported).
BOOL AfxPreTranslateMessage(MSG* pMsg);
// Deletes the calling thread's temporary wrappers (see afxtemp.h); the
// layer's message loops call it when they go idle.
void AfxDeleteTempObjects();

// Notification lockout of UpdateData: while it runs, the window's control
// notifications (WM_COMMAND from a control, WM_NOTIFY) are swallowed.
HWND AfxGetLockoutNotifyWindow();
HWND AfxSetLockoutNotifyWindow(HWND hWnd);

// The wait cursor for the lifetime of the object.
class CWaitCursor
{
public:
    CWaitCursor() : m_hOld(::SetCursor(::LoadCursorW(NULL, IDC_WAIT))) {}
    ~CWaitCursor() { ::SetCursor(m_hOld); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    void Restore() { ::SetCursor(::LoadCursorW(NULL, IDC_WAIT)); }
private:
    HCURSOR m_hOld;
};

#include "afxmsg.h"
