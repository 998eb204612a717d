// The message-map entries and the handler signatures they call. Included by
// afxwin.h. Handlers are named with their class: &CMyDlg::OnBnClickedOk.
// Each entry's stub (afx_detail below) casts the target to the class that
// declares the handler, cracks the message and calls the handler, so a
// handler with the wrong signature does not compile.
//
// Window messages (the ON_WM_* entries call the handler of that name,
// declared in CWnd with the default processing as its base):
//   ON_WM_CREATE           int OnCreate(LPCREATESTRUCT)
//   ON_WM_DESTROY          void OnDestroy()
//   ON_WM_CLOSE            void OnClose()
//   ON_WM_PAINT            void OnPaint()
//   ON_WM_ERASEBKGND       BOOL OnEraseBkgnd(CDC*)
//   ON_WM_CTLCOLOR         HBRUSH OnCtlColor(CDC*, CWnd*, UINT nCtlColor)   every WM_CTLCOLOR*, nCtlColor CTLCOLOR_*
//   ON_WM_DRAWITEM         void OnDrawItem(int nIDCtl, LPDRAWITEMSTRUCT)
//   ON_WM_MEASUREITEM      void OnMeasureItem(int nIDCtl, LPMEASUREITEMSTRUCT)
//   ON_WM_SIZE             void OnSize(UINT nType, int cx, int cy)
//   ON_WM_MOVE             void OnMove(int x, int y)
//   ON_WM_GETMINMAXINFO    void OnGetMinMaxInfo(MINMAXINFO*)
//   ON_WM_WINDOWPOSCHANGED void OnWindowPosChanged(WINDOWPOS*)
//   ON_WM_SHOWWINDOW       void OnShowWindow(BOOL bShow, UINT nStatus)
//   ON_WM_ACTIVATE         void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized)
//   ON_WM_ENABLE           void OnEnable(BOOL)
//   ON_WM_SETFOCUS         void OnSetFocus(CWnd* pOldWnd)
//   ON_WM_KILLFOCUS        void OnKillFocus(CWnd* pNewWnd)
//   ON_WM_TIMER            void OnTimer(UINT_PTR nIDEvent)
//   ON_WM_SYSCOMMAND       void OnSysCommand(UINT nID, LPARAM lParam)
//   ON_WM_QUERYDRAGICON    HCURSOR OnQueryDragIcon()
//   ON_WM_HOTKEY           void OnHotKey(UINT nHotKeyId, UINT nKey1, UINT nKey2)   nKey1 modifiers, nKey2 virtual key
//   ON_WM_SETCURSOR        BOOL OnSetCursor(CWnd*, UINT nHitTest, UINT message)
//   ON_WM_CONTEXTMENU      void OnContextMenu(CWnd*, CPoint pos)
//   ON_WM_KEYDOWN/KEYUP/CHAR  void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags)
//   ON_WM_GETDLGCODE       UINT OnGetDlgCode()
//   ON_WM_LBUTTONDOWN/UP/DBLCLK, ON_WM_RBUTTONDOWN/UP, ON_WM_MOUSEMOVE  void OnLButtonDown(UINT nFlags, CPoint)
//   ON_WM_MOUSEWHEEL       BOOL OnMouseWheel(UINT nFlags, short zDelta, CPoint)
//   ON_WM_NCHITTEST        LRESULT OnNcHitTest(CPoint)
//   ON_MESSAGE(msg, fn), ON_REGISTERED_MESSAGE(var, fn)   LRESULT fn(WPARAM, LPARAM)
// ON_REGISTERED_MESSAGE keeps the address of the UINT variable that holds
// the id, so the variable may be initialised after the map.
//
// Commands and control notifications (WM_COMMAND):
//   ON_COMMAND(id, fn), ON_CONTROL(code, id, fn), ON_BN_*/ON_EN_*/ON_CBN_*/ON_LBN_*/ON_STN_*(id, fn)   void fn()
//   ON_COMMAND_RANGE(first, last, fn), ON_CONTROL_RANGE(code, first, last, fn)   void fn(UINT nID)
//   ON_COMMAND_EX(id, fn)  BOOL fn(UINT nID): FALSE lets the command go on to the default processing
// ON_COMMAND and ON_BN_CLICKED are the same entry (BN_CLICKED is 0).
// Notifications (WM_NOTIFY):
//   ON_NOTIFY(code, id, fn)                void fn(NMHDR*, LRESULT* pResult)
//   ON_NOTIFY_RANGE(code, first, last, fn) void fn(UINT nID, NMHDR*, LRESULT*)
//   ON_NOTIFY_EX(code, id, fn), ON_NOTIFY_EX_RANGE   BOOL fn(UINT nID, NMHDR*, LRESULT*)
// Reflected to the control that sent them (in the control's own map):
//   ON_CONTROL_REFLECT(code, fn)      void fn()                   the parent does not see the notification
//   ON_CONTROL_REFLECT_EX(code, fn)   BOOL fn()                   FALSE: the parent handles it too
//   ON_NOTIFY_REFLECT(code, fn)       void fn(NMHDR*, LRESULT*)   the parent does not see it
//   ON_NOTIFY_REFLECT_EX(code, fn)    BOOL fn(NMHDR*, LRESULT*)   FALSE: the parent handles it too
//   ON_WM_CTLCOLOR_REFLECT()          HBRUSH CtlColor(CDC*, UINT nCtlColor)   null: the parent's colours
#pragma once

namespace afx_detail {

template <class>
struct CMemberOf;
template <class C, class R, class... A>
struct CMemberOf<R (C::*)(A...)>
{
    typedef C Class;
};

template <auto F>
inline typename CMemberOf<decltype(F)>::Class* Target(CCmdTarget* p)
{
    return static_cast<typename CMemberOf<decltype(F)>::Class*>(p);
}

inline CPoint PointOf(LPARAM lParam) { return CPoint(lParam); }

// Window messages: *c.pResult is always given.
template <auto F> BOOL Msg_v(CCmdTarget* p, const AFX_MSGCALL& c) { (Target<F>(p)->*F)(); *c.pResult = 0; return TRUE; }
template <auto F> BOOL Msg_Create(CCmdTarget* p, const AFX_MSGCALL& c)
{
    *c.pResult = (Target<F>(p)->*F)(reinterpret_cast<LPCREATESTRUCT>(c.lParam));
    return TRUE;
}
template <auto F> BOOL Msg_EraseBkgnd(CCmdTarget* p, const AFX_MSGCALL& c)
{
    *c.pResult = (Target<F>(p)->*F)(CDC::FromHandle(reinterpret_cast<HDC>(c.wParam)));
    return TRUE;
}
template <auto F> BOOL Msg_CtlColor(CCmdTarget* p, const AFX_MSGCALL& c)
{
    HBRUSH hbr = (Target<F>(p)->*F)(CDC::FromHandle(reinterpret_cast<HDC>(c.wParam)),
                                    CWnd::FromHandle(reinterpret_cast<HWND>(c.lParam)), c.message - WM_CTLCOLORMSGBOX);
    *c.pResult = reinterpret_cast<LRESULT>(hbr);
    return TRUE;
}
template <auto F> BOOL Msg_CtlColorReflect(CCmdTarget* p, const AFX_MSGCALL& c)
{
    HBRUSH hbr = (Target<F>(p)->*F)(CDC::FromHandle(reinterpret_cast<HDC>(c.wParam)), c.message - WM_CTLCOLORMSGBOX);
    if (!hbr)
        return FALSE;
    *c.pResult = reinterpret_cast<LRESULT>(hbr);
    return TRUE;
}
template <auto F> BOOL Msg_DrawItem(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)((int)c.wParam, reinterpret_cast<LPDRAWITEMSTRUCT>(c.lParam));
    *c.pResult = TRUE;
    return TRUE;
}
template <auto F> BOOL Msg_MeasureItem(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)((int)c.wParam, reinterpret_cast<LPMEASUREITEMSTRUCT>(c.lParam));
    *c.pResult = TRUE;
    return TRUE;
}
template <auto F> BOOL Msg_Size(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)((UINT)c.wParam, LOWORD(c.lParam), HIWORD(c.lParam));
    *c.pResult = 0;
    return TRUE;
}
template <auto F> BOOL Msg_Move(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)((short)LOWORD(c.lParam), (short)HIWORD(c.lParam));
    *c.pResult = 0;
    return TRUE;
}
template <auto F, class T> BOOL Msg_Ptr(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)(reinterpret_cast<T>(c.lParam));
    *c.pResult = 0;
    return TRUE;
}
template <auto F> BOOL Msg_ShowWindow(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)((BOOL)c.wParam, (UINT)c.lParam);
    *c.pResult = 0;
    return TRUE;
}
template <auto F> BOOL Msg_Activate(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)(LOWORD(c.wParam), CWnd::FromHandle(reinterpret_cast<HWND>(c.lParam)), HIWORD(c.wParam));
    *c.pResult = 0;
    return TRUE;
}
template <auto F> BOOL Msg_Enable(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)((BOOL)c.wParam);
    *c.pResult = 0;
    return TRUE;
}
template <auto F> BOOL Msg_Focus(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)(CWnd::FromHandle(reinterpret_cast<HWND>(c.wParam)));
    *c.pResult = 0;
    return TRUE;
}
template <auto F> BOOL Msg_Timer(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)((UINT_PTR)c.wParam);
    *c.pResult = 0;
    return TRUE;
}
template <auto F> BOOL Msg_SysCommand(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)((UINT)c.wParam, c.lParam);
    *c.pResult = 0;
    return TRUE;
}
template <auto F> BOOL Msg_QueryDragIcon(CCmdTarget* p, const AFX_MSGCALL& c)
{
    *c.pResult = reinterpret_cast<LRESULT>((Target<F>(p)->*F)());
    return TRUE;
}
template <auto F> BOOL Msg_HotKey(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)((UINT)c.wParam, LOWORD(c.lParam), HIWORD(c.lParam));
    *c.pResult = 0;
    return TRUE;
}
template <auto F> BOOL Msg_SetCursor(CCmdTarget* p, const AFX_MSGCALL& c)
{
    *c.pResult = (Target<F>(p)->*F)(CWnd::FromHandle(reinterpret_cast<HWND>(c.wParam)), LOWORD(c.lParam),
                                    HIWORD(c.lParam));
    return TRUE;
}
template <auto F> BOOL Msg_ContextMenu(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)(CWnd::FromHandle(reinterpret_cast<HWND>(c.wParam)), PointOf(c.lParam));
    *c.pResult = 0;
    return TRUE;
}
template <auto F> BOOL Msg_Key(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)((UINT)c.wParam, LOWORD(c.lParam), HIWORD(c.lParam));
    *c.pResult = 0;
    return TRUE;
}
template <auto F> BOOL Msg_GetDlgCode(CCmdTarget* p, const AFX_MSGCALL& c)
{
    *c.pResult = (Target<F>(p)->*F)();
    return TRUE;
}
template <auto F> BOOL Msg_Mouse(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)((UINT)c.wParam, PointOf(c.lParam));
    *c.pResult = 0;
    return TRUE;
}
template <auto F> BOOL Msg_MouseWheel(CCmdTarget* p, const AFX_MSGCALL& c)
{
    *c.pResult = (Target<F>(p)->*F)(LOWORD(c.wParam), (short)HIWORD(c.wParam), PointOf(c.lParam));
    return TRUE;
}
template <auto F> BOOL Msg_NcHitTest(CCmdTarget* p, const AFX_MSGCALL& c)
{
    *c.pResult = (Target<F>(p)->*F)(PointOf(c.lParam));
    return TRUE;
}
template <auto F> BOOL Msg_Message(CCmdTarget* p, const AFX_MSGCALL& c)
{
    *c.pResult = (Target<F>(p)->*F)(c.wParam, c.lParam);
    return TRUE;
}

// Commands and notifications: c.pResult may be null for commands.
template <auto F> BOOL Cmd_v(CCmdTarget* p, const AFX_MSGCALL&) { (Target<F>(p)->*F)(); return TRUE; }
template <auto F> BOOL Cmd_b(CCmdTarget* p, const AFX_MSGCALL&) { return (Target<F>(p)->*F)(); }
template <auto F> BOOL Cmd_v_id(CCmdTarget* p, const AFX_MSGCALL& c) { (Target<F>(p)->*F)(c.nID); return TRUE; }
template <auto F> BOOL Cmd_b_id(CCmdTarget* p, const AFX_MSGCALL& c) { return (Target<F>(p)->*F)(c.nID); }
template <auto F> BOOL Notify_v(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)(reinterpret_cast<NMHDR*>(c.lParam), c.pResult);
    return TRUE;
}
template <auto F> BOOL Notify_b(CCmdTarget* p, const AFX_MSGCALL& c)
{
    return (Target<F>(p)->*F)(reinterpret_cast<NMHDR*>(c.lParam), c.pResult);
}
template <auto F> BOOL Notify_v_id(CCmdTarget* p, const AFX_MSGCALL& c)
{
    (Target<F>(p)->*F)(c.nID, reinterpret_cast<NMHDR*>(c.lParam), c.pResult);
    return TRUE;
}
template <auto F> BOOL Notify_b_id(CCmdTarget* p, const AFX_MSGCALL& c)
{
    return (Target<F>(p)->*F)(c.nID, reinterpret_cast<NMHDR*>(c.lParam), c.pResult);
}

} // namespace afx_detail

#define AFX_MSG_ENTRY(msg, code, id, lastId, pReg, pfn) \
    { (UINT)(msg), (UINT)(code), (UINT)(id), (UINT)(lastId), pReg, pfn },

// Window messages
#define AFX_WM_ENTRY(msg, stub) AFX_MSG_ENTRY(msg, 0, 0, 0, NULL, stub)
#define ON_WM_CREATE() AFX_WM_ENTRY(WM_CREATE, &afx_detail::Msg_Create<&ThisClass::OnCreate>)
#define ON_WM_DESTROY() AFX_WM_ENTRY(WM_DESTROY, &afx_detail::Msg_v<&ThisClass::OnDestroy>)
#define ON_WM_CLOSE() AFX_WM_ENTRY(WM_CLOSE, &afx_detail::Msg_v<&ThisClass::OnClose>)
#define ON_WM_PAINT() AFX_WM_ENTRY(WM_PAINT, &afx_detail::Msg_v<&ThisClass::OnPaint>)
#define ON_WM_ERASEBKGND() AFX_WM_ENTRY(WM_ERASEBKGND, &afx_detail::Msg_EraseBkgnd<&ThisClass::OnEraseBkgnd>)
#define ON_WM_CTLCOLOR() AFX_WM_ENTRY(WM_CTLCOLOR, &afx_detail::Msg_CtlColor<&ThisClass::OnCtlColor>)
#define ON_WM_DRAWITEM() AFX_WM_ENTRY(WM_DRAWITEM, &afx_detail::Msg_DrawItem<&ThisClass::OnDrawItem>)
#define ON_WM_MEASUREITEM() AFX_WM_ENTRY(WM_MEASUREITEM, &afx_detail::Msg_MeasureItem<&ThisClass::OnMeasureItem>)
#define ON_WM_SIZE() AFX_WM_ENTRY(WM_SIZE, &afx_detail::Msg_Size<&ThisClass::OnSize>)
#define ON_WM_MOVE() AFX_WM_ENTRY(WM_MOVE, &afx_detail::Msg_Move<&ThisClass::OnMove>)
#define ON_WM_GETMINMAXINFO() \
    AFX_WM_ENTRY(WM_GETMINMAXINFO, (&afx_detail::Msg_Ptr<&ThisClass::OnGetMinMaxInfo, MINMAXINFO*>))
#define ON_WM_WINDOWPOSCHANGED() \
    AFX_WM_ENTRY(WM_WINDOWPOSCHANGED, (&afx_detail::Msg_Ptr<&ThisClass::OnWindowPosChanged, WINDOWPOS*>))
#define ON_WM_SHOWWINDOW() AFX_WM_ENTRY(WM_SHOWWINDOW, &afx_detail::Msg_ShowWindow<&ThisClass::OnShowWindow>)
#define ON_WM_ACTIVATE() AFX_WM_ENTRY(WM_ACTIVATE, &afx_detail::Msg_Activate<&ThisClass::OnActivate>)
#define ON_WM_ENABLE() AFX_WM_ENTRY(WM_ENABLE, &afx_detail::Msg_Enable<&ThisClass::OnEnable>)
#define ON_WM_SETFOCUS() AFX_WM_ENTRY(WM_SETFOCUS, &afx_detail::Msg_Focus<&ThisClass::OnSetFocus>)
#define ON_WM_KILLFOCUS() AFX_WM_ENTRY(WM_KILLFOCUS, &afx_detail::Msg_Focus<&ThisClass::OnKillFocus>)
#define ON_WM_TIMER() AFX_WM_ENTRY(WM_TIMER, &afx_detail::Msg_Timer<&ThisClass::OnTimer>)
#define ON_WM_SYSCOMMAND() AFX_WM_ENTRY(WM_SYSCOMMAND, &afx_detail::Msg_SysCommand<&ThisClass::OnSysCommand>)
#define ON_WM_QUERYDRAGICON() \
    AFX_WM_ENTRY(WM_QUERYDRAGICON, &afx_detail::Msg_QueryDragIcon<&ThisClass::OnQueryDragIcon>)
#define ON_WM_HOTKEY() AFX_WM_ENTRY(WM_HOTKEY, &afx_detail::Msg_HotKey<&ThisClass::OnHotKey>)
#define ON_WM_SETCURSOR() AFX_WM_ENTRY(WM_SETCURSOR, &afx_detail::Msg_SetCursor<&ThisClass::OnSetCursor>)
#define ON_WM_CONTEXTMENU() AFX_WM_ENTRY(WM_CONTEXTMENU, &afx_detail::Msg_ContextMenu<&ThisClass::OnContextMenu>)
#define ON_WM_KEYDOWN() AFX_WM_ENTRY(WM_KEYDOWN, &afx_detail::Msg_Key<&ThisClass::OnKeyDown>)
#define ON_WM_KEYUP() AFX_WM_ENTRY(WM_KEYUP, &afx_detail::Msg_Key<&ThisClass::OnKeyUp>)
#define ON_WM_CHAR() AFX_WM_ENTRY(WM_CHAR, &afx_detail::Msg_Key<&ThisClass::OnChar>)
#define ON_WM_GETDLGCODE() AFX_WM_ENTRY(WM_GETDLGCODE, &afx_detail::Msg_GetDlgCode<&ThisClass::OnGetDlgCode>)
#define ON_WM_LBUTTONDOWN() AFX_WM_ENTRY(WM_LBUTTONDOWN, &afx_detail::Msg_Mouse<&ThisClass::OnLButtonDown>)
#define ON_WM_LBUTTONUP() AFX_WM_ENTRY(WM_LBUTTONUP, &afx_detail::Msg_Mouse<&ThisClass::OnLButtonUp>)
#define ON_WM_LBUTTONDBLCLK() AFX_WM_ENTRY(WM_LBUTTONDBLCLK, &afx_detail::Msg_Mouse<&ThisClass::OnLButtonDblClk>)
#define ON_WM_RBUTTONDOWN() AFX_WM_ENTRY(WM_RBUTTONDOWN, &afx_detail::Msg_Mouse<&ThisClass::OnRButtonDown>)
#define ON_WM_RBUTTONUP() AFX_WM_ENTRY(WM_RBUTTONUP, &afx_detail::Msg_Mouse<&ThisClass::OnRButtonUp>)
#define ON_WM_MOUSEMOVE() AFX_WM_ENTRY(WM_MOUSEMOVE, &afx_detail::Msg_Mouse<&ThisClass::OnMouseMove>)
#define ON_WM_MOUSEWHEEL() AFX_WM_ENTRY(WM_MOUSEWHEEL, &afx_detail::Msg_MouseWheel<&ThisClass::OnMouseWheel>)
#define ON_WM_NCHITTEST() AFX_WM_ENTRY(WM_NCHITTEST, &afx_detail::Msg_NcHitTest<&ThisClass::OnNcHitTest>)
#define ON_MESSAGE(message, memberFxn) AFX_WM_ENTRY(message, &afx_detail::Msg_Message<memberFxn>)
#define ON_REGISTERED_MESSAGE(nMessageVariable, memberFxn) \
    AFX_MSG_ENTRY(0, 0, 0, 0, &(nMessageVariable), &afx_detail::Msg_Message<memberFxn>)

// Commands and control notifications
#define ON_COMMAND(id, memberFxn) AFX_MSG_ENTRY(WM_COMMAND, CN_COMMAND, id, id, NULL, &afx_detail::Cmd_v<memberFxn>)
#define ON_COMMAND_EX(id, memberFxn) \
    AFX_MSG_ENTRY(WM_COMMAND, CN_COMMAND, id, id, NULL, &afx_detail::Cmd_b_id<memberFxn>)
#define ON_COMMAND_RANGE(id, idLast, memberFxn) \
    AFX_MSG_ENTRY(WM_COMMAND, CN_COMMAND, id, idLast, NULL, &afx_detail::Cmd_v_id<memberFxn>)
#define ON_CONTROL(wNotifyCode, id, memberFxn) \
    AFX_MSG_ENTRY(WM_COMMAND, wNotifyCode, id, id, NULL, &afx_detail::Cmd_v<memberFxn>)
#define ON_CONTROL_RANGE(wNotifyCode, id, idLast, memberFxn) \
    AFX_MSG_ENTRY(WM_COMMAND, wNotifyCode, id, idLast, NULL, &afx_detail::Cmd_v_id<memberFxn>)

#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_BN_DOUBLECLICKED(id, memberFxn) ON_CONTROL(BN_DOUBLECLICKED, id, memberFxn)
#define ON_BN_SETFOCUS(id, memberFxn) ON_CONTROL(BN_SETFOCUS, id, memberFxn)
#define ON_BN_KILLFOCUS(id, memberFxn) ON_CONTROL(BN_KILLFOCUS, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)
#define ON_EN_UPDATE(id, memberFxn) ON_CONTROL(EN_UPDATE, id, memberFxn)
#define ON_EN_SETFOCUS(id, memberFxn) ON_CONTROL(EN_SETFOCUS, id, memberFxn)
#define ON_EN_KILLFOCUS(id, memberFxn) ON_CONTROL(EN_KILLFOCUS, id, memberFxn)
#define ON_EN_MAXTEXT(id, memberFxn) ON_CONTROL(EN_MAXTEXT, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
#define ON_CBN_DBLCLK(id, memberFxn) ON_CONTROL(CBN_DBLCLK, id, memberFxn)
#define ON_CBN_SETFOCUS(id, memberFxn) ON_CONTROL(CBN_SETFOCUS, id, memberFxn)
#define ON_CBN_KILLFOCUS(id, memberFxn) ON_CONTROL(CBN_KILLFOCUS, id, memberFxn)
#define ON_CBN_EDITCHANGE(id, memberFxn) ON_CONTROL(CBN_EDITCHANGE, id, memberFxn)
#define ON_CBN_EDITUPDATE(id, memberFxn) ON_CONTROL(CBN_EDITUPDATE, id, memberFxn)
#define ON_CBN_DROPDOWN(id, memberFxn) ON_CONTROL(CBN_DROPDOWN, id, memberFxn)
#define ON_CBN_CLOSEUP(id, memberFxn) ON_CONTROL(CBN_CLOSEUP, id, memberFxn)
#define ON_CBN_SELENDOK(id, memberFxn) ON_CONTROL(CBN_SELENDOK, id, memberFxn)
#define ON_CBN_SELENDCANCEL(id, memberFxn) ON_CONTROL(CBN_SELENDCANCEL, id, memberFxn)
#define ON_LBN_SELCHANGE(id, memberFxn) ON_CONTROL(LBN_SELCHANGE, id, memberFxn)
#define ON_LBN_DBLCLK(id, memberFxn) ON_CONTROL(LBN_DBLCLK, id, memberFxn)
#define ON_LBN_SETFOCUS(id, memberFxn) ON_CONTROL(LBN_SETFOCUS, id, memberFxn)
#define ON_LBN_KILLFOCUS(id, memberFxn) ON_CONTROL(LBN_KILLFOCUS, id, memberFxn)
#define ON_STN_CLICKED(id, memberFxn) ON_CONTROL(STN_CLICKED, id, memberFxn)
#define ON_STN_DBLCLK(id, memberFxn) ON_CONTROL(STN_DBLCLK, id, memberFxn)

// Notifications
#define ON_NOTIFY(wNotifyCode, id, memberFxn) \
    AFX_MSG_ENTRY(WM_NOTIFY, wNotifyCode, id, id, NULL, &afx_detail::Notify_v<memberFxn>)
#define ON_NOTIFY_RANGE(wNotifyCode, id, idLast, memberFxn) \
    AFX_MSG_ENTRY(WM_NOTIFY, wNotifyCode, id, idLast, NULL, &afx_detail::Notify_v_id<memberFxn>)
#define ON_NOTIFY_EX(wNotifyCode, id, memberFxn) \
    AFX_MSG_ENTRY(WM_NOTIFY, wNotifyCode, id, id, NULL, &afx_detail::Notify_b_id<memberFxn>)
#define ON_NOTIFY_EX_RANGE(wNotifyCode, id, idLast, memberFxn) \
    AFX_MSG_ENTRY(WM_NOTIFY, wNotifyCode, id, idLast, NULL, &afx_detail::Notify_b_id<memberFxn>)

// Reflected notifications, in the control's own map
#define ON_CONTROL_REFLECT(wNotifyCode, memberFxn) \
    AFX_MSG_ENTRY(WM_REFLECT_BASE + WM_COMMAND, wNotifyCode, 0, 0, NULL, &afx_detail::Cmd_v<memberFxn>)
#define ON_CONTROL_REFLECT_EX(wNotifyCode, memberFxn) \
    AFX_MSG_ENTRY(WM_REFLECT_BASE + WM_COMMAND, wNotifyCode, 0, 0, NULL, &afx_detail::Cmd_b<memberFxn>)
#define ON_NOTIFY_REFLECT(wNotifyCode, memberFxn) \
    AFX_MSG_ENTRY(WM_REFLECT_BASE + WM_NOTIFY, wNotifyCode, 0, 0, NULL, &afx_detail::Notify_v<memberFxn>)
#define ON_NOTIFY_REFLECT_EX(wNotifyCode, memberFxn) \
    AFX_MSG_ENTRY(WM_REFLECT_BASE + WM_NOTIFY, wNotifyCode, 0, 0, NULL, &afx_detail::Notify_b<memberFxn>)
#define ON_WM_CTLCOLOR_REFLECT() \
    AFX_WM_ENTRY(WM_REFLECT_BASE + WM_CTLCOLOR, &afx_detail::Msg_CtlColorReflect<&ThisClass::CtlColor>)
