#include "afxwin.h"
#include "afxapp.h"
#include "afxtemp.h"
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

// The procedure a subclassed window had before the layer's, kept on the
// window too: a window that lost its CWnd while the layer's procedure was
// still chained (Detach under another subclass) keeps working.
const wchar_t kSuperProcProp[] = L"Folionex.AfxSuperProc";

// Windows with a CWnd of their own, for every thread. Never destroyed:
// global CWnd objects may still look it up while the process ends.
std::mutex& PermanentLock()
{
    static std::mutex* m = new std::mutex;
    return *m;
}

std::unordered_map<HWND, CWnd*>& PermanentMap()
{
    static std::unordered_map<HWND, CWnd*>* map = new std::unordered_map<HWND, CWnd*>;
    return *map;
}

struct CThreadState
{
    MSG lastSentMsg = {};
    HWND hLockoutNotifyWindow = NULL;
    std::vector<void (*)()> tempMapClearers;
};

CThreadState& ThreadState()
{
    thread_local CThreadState state;
    return state;
}

// The message now being handled, for Default(); restored when the handler returns.
class CCurrentMessage
{
public:
    CCurrentMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) : m_saved(ThreadState().lastSentMsg)
    {
        MSG& m = ThreadState().lastSentMsg;
        m.hwnd = hWnd;
        m.message = message;
        m.wParam = wParam;
        m.lParam = lParam;
    }
    ~CCurrentMessage() { ThreadState().lastSentMsg = m_saved; }
    const MSG& Current() const { return ThreadState().lastSentMsg; }
private:
    MSG m_saved;
};

} // namespace

namespace afx_detail {

void RegisterTempMap(void (*pfnClear)())
{
    ThreadState().tempMapClearers.push_back(pfnClear);
}

} // namespace afx_detail

void AfxDeleteTempObjects()
{
    for (auto pfn : ThreadState().tempMapClearers)
        pfn();
}

HWND AfxGetLockoutNotifyWindow()
{
    return ThreadState().hLockoutNotifyWindow;
}

HWND AfxSetLockoutNotifyWindow(HWND hWnd)
{
    HWND old = ThreadState().hLockoutNotifyWindow;
    ThreadState().hLockoutNotifyWindow = hWnd;
    return old;
}

// ---------------------------------------------------------------------------
// CCmdTarget

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, NULL, NULL}};
    static const AFX_MSGMAP map = {NULL, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(const AFX_MSGMAP* pMap, UINT nMessage, UINT nCode, UINT nID)
{
    for (; pMap; pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : NULL) {
        for (const AFX_MSGMAP_ENTRY* e = pMap->lpEntries; e->pfn; ++e) {
            if (e->pnRegisteredMessage) {
                // Only registered ids (0xC000 and above) can match: a
                // variable not yet set must not catch WM_NULL.
                if (nMessage < 0xC000 || *e->pnRegisteredMessage != nMessage)
                    continue;
            } else if (e->nMessage != nMessage) {
                continue;
            }
            if ((WORD)e->nCode == (WORD)nCode && nID >= e->nID && nID <= e->nLastID)
                return e;
        }
    }
    return NULL;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* /*pHandlerInfo*/)
{
    UINT nMsg = HIWORD(nCode);
    if (nMsg == 0)
        nMsg = WM_COMMAND;
    const AFX_MSGMAP_ENTRY* e = FindMessageEntry(GetMessageMap(), nMsg, LOWORD(nCode), nID);
    if (!e)
        return FALSE;
    AFX_MSGCALL call = {nMsg, 0, 0, nID, NULL};
    if (nMsg == WM_NOTIFY || nMsg == WM_REFLECT_BASE + WM_NOTIFY) {
        AFX_NOTIFY* pNotify = static_cast<AFX_NOTIFY*>(pExtra);
        if (!pNotify)
            return FALSE;
        call.lParam = reinterpret_cast<LPARAM>(pNotify->pNMHDR);
        call.pResult = pNotify->pResult;
    }
    return e->pfn(this, call);
}

// ---------------------------------------------------------------------------
// CWnd: the handle maps

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
    ON_WM_CTLCOLOR()
    ON_WM_DRAWITEM()
    ON_WM_MEASUREITEM()
END_MESSAGE_MAP()

CWnd::CWnd() : m_hWnd(NULL), m_pfnSuper(NULL), m_bCreatedHere(false)
{
}

CWnd::~CWnd()
{
    if (!m_hWnd || FromHandlePermanent(m_hWnd) != this)
        return;
    if (m_bCreatedHere && ::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
    if (m_hWnd)
        Detach();
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    if (!hWnd)
        return NULL;
    std::lock_guard<std::mutex> lock(PermanentLock());
    auto it = PermanentMap().find(hWnd);
    return it == PermanentMap().end() ? NULL : it->second;
}

CWnd* CWnd::FromHandle(HWND hWnd)
{
    if (!hWnd)
        return NULL;
    if (CWnd* pWnd = FromHandlePermanent(hWnd))
        return pWnd;
    return afx_detail::CTempMap<CWnd>::Get().Lookup(
        hWnd, [](CWnd* p, void* h) { p->m_hWnd = (HWND)h; }, [](CWnd* p) { p->m_hWnd = NULL; });
}

BOOL CWnd::Attach(HWND hWndNew)
{
    if (!hWndNew || m_hWnd)
        return FALSE;
    {
        std::lock_guard<std::mutex> lock(PermanentLock());
        if (!PermanentMap().emplace(hWndNew, this).second)
            return FALSE;
    }
    m_hWnd = hWndNew;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND hWnd = m_hWnd;
    if (!hWnd)
        return NULL;
    if (m_pfnSuper) {
        // Still first in the chain: the window gets its own procedure back.
        if ((WNDPROC)::GetWindowLongPtrW(hWnd, GWLP_WNDPROC) == AfxWndProc) {
            ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, (LONG_PTR)m_pfnSuper);
            ::RemovePropW(hWnd, kSuperProcProp);
        }
        m_pfnSuper = NULL;
    }
    {
        std::lock_guard<std::mutex> lock(PermanentLock());
        auto it = PermanentMap().find(hWnd);
        if (it != PermanentMap().end() && it->second == this)
            PermanentMap().erase(it);
    }
    m_hWnd = NULL;
    m_bCreatedHere = false;
    return hWnd;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (!::IsWindow(hWnd) || !Attach(hWnd))
        return FALSE;
    PreSubclassWindow();
    WNDPROC old = (WNDPROC)::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, (LONG_PTR)AfxWndProc);
    if (old == AfxWndProc) {
        // Subclassed once before and detached under another subclass.
        old = (WNDPROC)::GetPropW(hWnd, kSuperProcProp);
    }
    m_pfnSuper = old;
    ::SetPropW(hWnd, kSuperProcProp, (HANDLE)old);
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent)
{
    HWND hWnd = ::GetDlgItem(pParent->GetSafeHwnd(), nID);
    return hWnd && SubclassWindow(hWnd);
}

HWND CWnd::UnsubclassWindow()
{
    return Detach();
}

void CWnd::ReleaseDestroyedWindow()
{
    HWND hWnd = m_hWnd;
    Detach();
    ::RemovePropW(hWnd, kSuperProcProp);
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle, int x, int y,
                    int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu, LPVOID lpParam)
{
    if (m_hWnd)
        return FALSE;
    HWND hWnd = ::CreateWindowExW(dwExStyle, lpszClassName, lpszWindowName, dwStyle, x, y, nWidth, nHeight, hWndParent,
                                  nIDorHMenu, AfxGetInstanceHandle(), lpParam);
    if (!hWnd)
        return FALSE;
    if (!SubclassWindow(hWnd)) {
        ::DestroyWindow(hWnd);
        return FALSE;
    }
    m_bCreatedHere = true;
    return TRUE;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                    CWnd* pParentWnd, UINT nID, LPVOID lpParam)
{
    return CreateEx(dwExStyle, lpszClassName, lpszWindowName, dwStyle, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, pParentWnd ? pParentWnd->GetSafeHwnd() : NULL, (HMENU)(UINT_PTR)nID,
                    lpParam);
}

BOOL CWnd::DestroyWindow()
{
    HWND hWnd = m_hWnd;
    if (!hWnd)
        return FALSE;
    // A subclassed window forgets its CWnd at WM_NCDESTROY (after which
    // the object may have deleted itself); an attached one is forgotten here.
    bool bSubclassed = m_pfnSuper != NULL;
    BOOL bResult = ::DestroyWindow(hWnd);
    if (!bSubclassed && m_hWnd == hWnd)
        Detach();
    return bResult;
}

// ---------------------------------------------------------------------------
// CWnd: dispatch

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (pWnd && pWnd->m_hWnd == hWnd)
        return AfxCallWndProc(pWnd, hWnd, message, wParam, lParam);
    WNDPROC pfnSuper = (WNDPROC)::GetPropW(hWnd, kSuperProcProp);
    if (!pfnSuper || pfnSuper == AfxWndProc)
        return ::DefWindowProcW(hWnd, message, wParam, lParam);
    LRESULT lResult = ::CallWindowProcW(pfnSuper, hWnd, message, wParam, lParam);
    if (message == WM_NCDESTROY)
        ::RemovePropW(hWnd, kSuperProcProp);
    return lResult;
}

LRESULT AfxCallWndProc(CWnd* pWnd, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CCurrentMessage current(hWnd, message, wParam, lParam);
    LRESULT lResult = 0;
    try {
        lResult = pWnd->WindowProc(message, wParam, lParam);
    } catch (CException* e) {
        lResult = AfxProcessWndProcException(e, &current.Current());
    } catch (...) {
        lResult = AfxProcessWndProcException(NULL, &current.Current());
    }
    if (message == WM_NCDESTROY && pWnd->m_hWnd == hWnd) {
        pWnd->ReleaseDestroyedWindow();
        try {
            pWnd->PostNcDestroy();
        } catch (CException* e) {
            AfxProcessWndProcException(e, &current.Current());
        } catch (...) {
            AfxProcessWndProcException(NULL, &current.Current());
        }
    }
    return lResult;
}

LRESULT AfxProcessWndProcException(CException* e, const MSG* pMsg)
{
    if (pMsg->message == WM_CREATE || pMsg->message == WM_PAINT) {
        // Not reported: a message box could bring the same failure again.
        if (pMsg->message == WM_PAINT)
            ::ValidateRect(pMsg->hwnd, NULL);
        if (e)
            e->Delete();
        return pMsg->message == WM_CREATE ? -1 : 0;
    }
    if (e)
        AfxReportException(e);
    else
        AfxReportUnknownException();
    return pMsg->message == WM_COMMAND ? TRUE : 0;
}

BOOL AfxPreTranslateMessage(MSG* pMsg)
{
    CCurrentMessage current(pMsg->hwnd, pMsg->message, pMsg->wParam, pMsg->lParam);
    try {
        CWinApp* pApp = AfxGetApp();
        return pApp ? pApp->PreTranslateMessage(pMsg) : CWnd::WalkPreTranslateTree(NULL, pMsg);
    } catch (CException* e) {
        AfxProcessWndProcException(e, &current.Current());
    } catch (...) {
        AfxProcessWndProcException(NULL, &current.Current());
    }
    return TRUE;
}

const MSG* CWnd::GetCurrentMessage()
{
    return &ThreadState().lastSentMsg;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (!OnWndMsg(message, wParam, lParam, &lResult))
        lResult = DefWindowProc(message, wParam, lParam);
    return lResult;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    LRESULT lResult = 0;
    BOOL bHandled = FALSE;
    if (message == WM_COMMAND) {
        if (OnCommand(wParam, lParam)) {
            lResult = 1;
            bHandled = TRUE;
        }
    } else if (message == WM_NOTIFY) {
        if (lParam && OnNotify(wParam, lParam, &lResult))
            bHandled = TRUE;
    } else {
        const AFX_MSGMAP_ENTRY* e = FindMessageEntry(GetMessageMap(), message, 0, 0);
        // Every WM_CTLCOLOR* also goes to ON_WM_CTLCOLOR (CWnd's map has one).
        if (!e && message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC)
            e = FindMessageEntry(GetMessageMap(), WM_CTLCOLOR, 0, 0);
        if (e) {
            AFX_MSGCALL call = {message, wParam, lParam, 0, &lResult};
            bHandled = e->pfn(this, call);
        }
    }
    if (pResult)
        *pResult = lResult;
    return bHandled;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    const MSG& m = ThreadState().lastSentMsg;
    return DefWindowProc(m.message, m.wParam, m.lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    UINT nID = LOWORD(wParam);
    HWND hWndCtrl = reinterpret_cast<HWND>(lParam);
    int nCode = HIWORD(wParam);
    if (!hWndCtrl) {
        // A menu item or an accelerator.
        if (nID == 0)
            return FALSE;
        nCode = CN_COMMAND;
    } else {
        if (AfxGetLockoutNotifyWindow() == m_hWnd)
            return TRUE;
        if (ReflectMessage(hWndCtrl, WM_COMMAND, wParam, lParam, NULL))
            return TRUE;
        if (nID == 0)
            return FALSE;
    }
    return OnCmdMsg(nID, nCode, NULL, NULL);
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    NMHDR* pNMHDR = reinterpret_cast<NMHDR*>(lParam);
    HWND hWndCtrl = pNMHDR->hwndFrom;
    UINT nID = hWndCtrl ? (UINT)::GetDlgCtrlID(hWndCtrl) : (UINT)pNMHDR->idFrom;
    if (AfxGetLockoutNotifyWindow() == m_hWnd)
        return TRUE;
    if (hWndCtrl && ReflectMessage(hWndCtrl, WM_NOTIFY, wParam, lParam, pResult))
        return TRUE;
    AFX_NOTIFY notify = {pResult, pNMHDR};
    return OnCmdMsg(nID, MAKELONG(pNMHDR->code, WM_NOTIFY), &notify, NULL);
}

BOOL CWnd::ReflectMessage(HWND hWndChild, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    CWnd* pWnd = FromHandlePermanent(hWndChild);
    if (!pWnd)
        return FALSE;
    return pWnd->OnChildNotify(message, wParam, lParam, pResult);
}

BOOL CWnd::ReflectLastMsg(HWND hWndChild, LRESULT* pResult)
{
    const MSG& m = ThreadState().lastSentMsg;
    return ReflectMessage(hWndChild, m.message, m.wParam, m.lParam, pResult);
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    return ReflectChildNotify(message, wParam, lParam, pResult);
}

BOOL CWnd::ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    switch (message) {
    case WM_COMMAND:
        if (OnCmdMsg(0, MAKELONG(HIWORD(wParam), WM_REFLECT_BASE + WM_COMMAND), NULL, NULL)) {
            if (pResult)
                *pResult = 1;
            return TRUE;
        }
        return FALSE;
    case WM_NOTIFY: {
        LRESULT lResult = 0;
        NMHDR* pNMHDR = reinterpret_cast<NMHDR*>(lParam);
        AFX_NOTIFY notify = {pResult ? pResult : &lResult, pNMHDR};
        return OnCmdMsg(0, MAKELONG(pNMHDR->code, WM_REFLECT_BASE + WM_NOTIFY), &notify, NULL);
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
        const AFX_MSGMAP_ENTRY* e = FindMessageEntry(GetMessageMap(), WM_REFLECT_BASE + WM_CTLCOLOR, 0, 0);
        if (!e)
            return FALSE;
        LRESULT lResult = 0;
        AFX_MSGCALL call = {message, wParam, lParam, 0, &lResult};
        if (!e->pfn(this, call))
            return FALSE;
        if (pResult)
            *pResult = lResult;
        return TRUE;
    }
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
        return OnWndMsg(WM_REFLECT_BASE + message, wParam, lParam, pResult);
    default:
        return FALSE;
    }
}

BOOL CWnd::WalkPreTranslateTree(HWND hWndStop, MSG* pMsg)
{
    for (HWND hWnd = pMsg->hwnd; hWnd; hWnd = ::GetParent(hWnd)) {
        CWnd* pWnd = FromHandlePermanent(hWnd);
        if (pWnd && pWnd->PreTranslateMessage(pMsg))
            return TRUE;
        if (hWnd == hWndStop)
            break;
    }
    return FALSE;
}

BOOL CWnd::PreTranslateMessage(MSG* /*pMsg*/)
{
    return FALSE;
}

// ---------------------------------------------------------------------------
// CWnd: default handlers

int CWnd::OnCreate(LPCREATESTRUCT) { return (int)Default(); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnPaint() { Default(); }
BOOL CWnd::OnEraseBkgnd(CDC*) { return (BOOL)Default(); }
void CWnd::OnSize(UINT, int, int) { Default(); }
void CWnd::OnMove(int, int) { Default(); }
void CWnd::OnGetMinMaxInfo(MINMAXINFO*) { Default(); }
void CWnd::OnWindowPosChanged(WINDOWPOS*) { Default(); }
void CWnd::OnShowWindow(BOOL, UINT) { Default(); }
void CWnd::OnActivate(UINT, CWnd*, BOOL) { Default(); }
void CWnd::OnEnable(BOOL) { Default(); }
void CWnd::OnSetFocus(CWnd*) { Default(); }
void CWnd::OnKillFocus(CWnd*) { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
HCURSOR CWnd::OnQueryDragIcon() { return (HCURSOR)Default(); }
void CWnd::OnHotKey(UINT, UINT, UINT) { Default(); }
BOOL CWnd::OnSetCursor(CWnd*, UINT, UINT) { return (BOOL)Default(); }
void CWnd::OnContextMenu(CWnd*, CPoint) { Default(); }
void CWnd::OnKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnKeyUp(UINT, UINT, UINT) { Default(); }
void CWnd::OnChar(UINT, UINT, UINT) { Default(); }
UINT CWnd::OnGetDlgCode() { return (UINT)Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnRButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
BOOL CWnd::OnMouseWheel(UINT, short, CPoint) { return (BOOL)Default(); }
LRESULT CWnd::OnNcHitTest(CPoint) { return Default(); }

HBRUSH CWnd::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
{
    if (pWnd && pWnd != this && nCtlColor <= CTLCOLOR_STATIC) {
        LRESULT lResult = 0;
        WPARAM wParam = reinterpret_cast<WPARAM>(pDC ? pDC->m_hDC : NULL);
        if (ReflectMessage(pWnd->m_hWnd, WM_CTLCOLORMSGBOX + nCtlColor, wParam, reinterpret_cast<LPARAM>(pWnd->m_hWnd),
                           &lResult))
            return reinterpret_cast<HBRUSH>(lResult);
    }
    return reinterpret_cast<HBRUSH>(Default());
}

void CWnd::OnDrawItem(int nIDCtl, LPDRAWITEMSTRUCT lpDrawItemStruct)
{
    if (lpDrawItemStruct->CtlType != ODT_MENU &&
        ReflectMessage(lpDrawItemStruct->hwndItem, WM_DRAWITEM, nIDCtl, reinterpret_cast<LPARAM>(lpDrawItemStruct),
                       NULL))
        return;
    Default();
}

void CWnd::OnMeasureItem(int nIDCtl, LPMEASUREITEMSTRUCT lpMeasureItemStruct)
{
    if (lpMeasureItemStruct->CtlType != ODT_MENU) {
        HWND hWndCtrl = ::GetDlgItem(m_hWnd, (int)lpMeasureItemStruct->CtlID);
        if (hWndCtrl && ReflectMessage(hWndCtrl, WM_MEASUREITEM, nIDCtl,
                                       reinterpret_cast<LPARAM>(lpMeasureItemStruct), NULL))
            return;
    }
    Default();
}

// ---------------------------------------------------------------------------
// CWnd: operations

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags)
{
    DWORD dwStyle = GetStyle();
    DWORD dwNewStyle = (dwStyle & ~dwRemove) | dwAdd;
    if (dwStyle == dwNewStyle)
        return FALSE;
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, (LONG_PTR)dwNewStyle);
    if (nFlags)
        ::SetWindowPos(m_hWnd, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
    return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags)
{
    DWORD dwStyle = GetExStyle();
    DWORD dwNewStyle = (dwStyle & ~dwRemove) | dwAdd;
    if (dwStyle == dwNewStyle)
        return FALSE;
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, (LONG_PTR)dwNewStyle);
    if (nFlags)
        ::SetWindowPos(m_hWnd, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
    return TRUE;
}

void CWnd::GetWindowText(CString& rString) const
{
    int n = ::GetWindowTextLengthW(m_hWnd);
    if (n <= 0) {
        rString.Empty();
        return;
    }
    int got = ::GetWindowTextW(m_hWnd, rString.GetBuffer(n + 1), n + 1);
    rString.ReleaseBuffer(got > 0 ? got : 0);
}

int CWnd::GetDlgItemText(int nID, CString& rString) const
{
    rString.Empty();
    HWND hWnd = ::GetDlgItem(m_hWnd, nID);
    if (hWnd)
        FromHandle(hWnd)->GetWindowText(rString);
    return rString.GetLength();
}

void CWnd::SetFont(CFont* pFont, BOOL bRedraw)
{
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(pFont ? pFont->GetSafeHandle() : NULL), bRedraw);
}

CFont* CWnd::GetFont() const
{
    return CFont::FromHandle(reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
}

void CWnd::MoveWindow(LPCRECT lpRect, BOOL bRepaint)
{
    ::MoveWindow(m_hWnd, lpRect->left, lpRect->top, lpRect->right - lpRect->left, lpRect->bottom - lpRect->top,
                 bRepaint);
}

BOOL CWnd::SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags)
{
    return ::SetWindowPos(m_hWnd, pWndInsertAfter ? pWndInsertAfter->m_hWnd : NULL, x, y, cx, cy, nFlags);
}

void CWnd::ScreenToClient(LPRECT lpRect) const
{
    ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(lpRect));
    ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(lpRect) + 1);
}

void CWnd::ClientToScreen(LPRECT lpRect) const
{
    ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(lpRect));
    ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(lpRect) + 1);
}

BOOL CWnd::GetWindowPlacement(WINDOWPLACEMENT* lpwndpl) const
{
    lpwndpl->length = sizeof(WINDOWPLACEMENT);
    return ::GetWindowPlacement(m_hWnd, lpwndpl);
}

int CWnd::MessageBox(LPCWSTR lpszText, LPCWSTR lpszCaption, UINT nType)
{
    if (!lpszCaption) {
        CWinApp* pApp = AfxGetApp();
        lpszCaption = pApp && pApp->m_pszAppName ? pApp->m_pszAppName : L"";
    }
    return ::MessageBoxW(m_hWnd, lpszText, lpszCaption, nType);
}

CWnd* CWnd::GetTopLevelParent() const
{
    HWND hWnd = m_hWnd;
    HWND hWndParent;
    while ((::GetWindowLongPtrW(hWnd, GWL_STYLE) & WS_CHILD) && (hWndParent = ::GetParent(hWnd)) != NULL)
        hWnd = hWndParent;
    return FromHandle(hWnd);
}

CWnd* CWnd::GetNextDlgTabItem(CWnd* pWndCtl, BOOL bPrevious) const
{
    return FromHandle(::GetNextDlgTabItem(m_hWnd, pWndCtl ? pWndCtl->m_hWnd : NULL, bPrevious));
}

CWnd* CWnd::GetNextDlgGroupItem(CWnd* pWndCtl, BOOL bPrevious) const
{
    return FromHandle(::GetNextDlgGroupItem(m_hWnd, pWndCtl ? pWndCtl->m_hWnd : NULL, bPrevious));
}

int CWnd::GetCheckedRadioButton(int nIDFirstButton, int nIDLastButton) const
{
    for (int nID = nIDFirstButton; nID <= nIDLastButton; nID++) {
        if (::IsDlgButtonChecked(m_hWnd, nID))
            return nID;
    }
    return 0;
}

HWND CWnd::GetSafeOwner_(HWND hParent, HWND* pWndTop)
{
    HWND hWnd = hParent;
    if (!hWnd) {
        CWnd* pMain = AfxGetMainWnd();
        if (pMain && ::IsWindow(pMain->GetSafeHwnd()))
            hWnd = pMain->GetSafeHwnd();
    }
    // A pop-up cannot be owned by a child window.
    while (hWnd && (::GetWindowLongPtrW(hWnd, GWL_STYLE) & WS_CHILD))
        hWnd = ::GetParent(hWnd);
    HWND hWndTop = hWnd;
    for (HWND h = hWnd; h; h = ::GetParent(h))
        hWndTop = h;
    if (!hParent && hWnd)
        hWnd = ::GetLastActivePopup(hWnd);
    if (pWndTop) {
        if (hWndTop && hWndTop != hWnd && ::IsWindowEnabled(hWndTop)) {
            *pWndTop = hWndTop;
            ::EnableWindow(hWndTop, FALSE);
        } else {
            *pWndTop = NULL;
        }
    }
    return hWnd;
}

CWnd* CWnd::GetSafeOwner(CWnd* pParent, HWND* pWndTop)
{
    return FromHandle(GetSafeOwner_(pParent ? pParent->GetSafeHwnd() : NULL, pWndTop));
}
