// Message maps, reflection, the exception barrier of the window procedure,
// and the handle maps, on plain windows of the layer.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "WindowTestSupport.h"
#include "afxapp.h"
#include "afxctl.h"

using namespace window_test;

namespace {

const UINT WM_TEST_REGISTERED = RegisterWindowMessageW(L"Folionex.AfxWindowTest.Registered");
// Registered only when the test runs, after the map was built.
UINT g_lateRegistered = 0;
// Never registered: it must not catch WM_NULL.
UINT g_neverRegistered = 0;

typedef std::vector<std::string> Log;

class CBaseWnd : public CWnd
{
public:
    Log log;

protected:
    afx_msg LRESULT OnBaseOnly(WPARAM, LPARAM) { log.push_back("base-only"); return 11; }
    afx_msg LRESULT OnShadowed(WPARAM, LPARAM) { log.push_back("base-shadowed"); return 12; }
    afx_msg void OnTimer(UINT_PTR nIDEvent) { log.push_back("base-timer " + std::to_string(nIDEvent)); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
    ON_MESSAGE(WM_APP + 1, &CBaseWnd::OnBaseOnly)
    ON_MESSAGE(WM_APP + 2, &CBaseWnd::OnShadowed)
    ON_WM_TIMER()
END_MESSAGE_MAP()

class CDerivedWnd : public CBaseWnd
{
protected:
    afx_msg LRESULT OnShadowedHere(WPARAM, LPARAM) { log.push_back("derived-shadowed"); return 22; }
    afx_msg LRESULT OnRegistered(WPARAM wParam, LPARAM lParam) { log.push_back("registered"); return wParam + lParam; }
    afx_msg LRESULT OnLate(WPARAM, LPARAM) { log.push_back("late"); return 33; }
    afx_msg LRESULT OnNever(WPARAM, LPARAM) { log.push_back("never"); return 44; }
    // Changes the text on the way to the default processing.
    afx_msg LRESULT OnSetText(WPARAM, LPARAM) { log.push_back("settext"); return Default(); }
    afx_msg void OnSize(UINT nType, int cx, int cy)
    {
        log.push_back("size " + std::to_string(nType) + " " + std::to_string(cx) + "x" + std::to_string(cy));
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedWnd, CBaseWnd)
    ON_MESSAGE(WM_APP + 2, &CDerivedWnd::OnShadowedHere)
    ON_REGISTERED_MESSAGE(WM_TEST_REGISTERED, &CDerivedWnd::OnRegistered)
    ON_REGISTERED_MESSAGE(g_lateRegistered, &CDerivedWnd::OnLate)
    ON_REGISTERED_MESSAGE(g_neverRegistered, &CDerivedWnd::OnNever)
    ON_MESSAGE(WM_SETTEXT, &CDerivedWnd::OnSetText)
    ON_WM_SIZE()
END_MESSAGE_MAP()

class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override { InitOnce(); }

    static HWND CreatePlain(HWND hParent = NULL, LPCWSTR cls = kPlainWindowClass, DWORD style = WS_POPUP, UINT id = 0)
    {
        return CreateWindowExW(0, cls, L"", style, 0, 0, 200, 100, hParent, (HMENU)(UINT_PTR)id,
                               GetModuleHandleW(NULL), NULL);
    }

    CWatchdog m_watchdog;
};

TEST_F(WindowTest, MessageMapChainsToTheBaseAndDerivedEntriesWin)
{
    CDerivedWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, kPlainWindowClass, L"", WS_POPUP, 0, 0, 100, 50, NULL, NULL));
    g_lateRegistered = RegisterWindowMessageW(L"Folionex.AfxWindowTest.Late");

    EXPECT_EQ(wnd.SendMessage(WM_APP + 1), 11);
    EXPECT_EQ(wnd.SendMessage(WM_APP + 2), 22);
    EXPECT_EQ(wnd.SendMessage(WM_TEST_REGISTERED, 3, 4), 7);
    EXPECT_EQ(wnd.SendMessage(g_lateRegistered), 33);
    EXPECT_EQ(wnd.SendMessage(WM_NULL), 0);
    wnd.SendMessage(WM_TIMER, 5);
    wnd.SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(120, 80));
    // The handler's Default() runs the window's own procedure with the message.
    wnd.SetWindowText(L"árvíztűrő");
    CString text;
    wnd.GetWindowText(text);
    EXPECT_EQ(text, L"árvíztűrő");

    EXPECT_EQ(wnd.log, (Log{"base-only", "derived-shadowed", "registered", "late", "base-timer 5", "size 0 120x80",
                            "settext"}));
    EXPECT_TRUE(wnd.DestroyWindow());
    EXPECT_EQ(wnd.m_hWnd, (HWND)NULL);
}

// Every window-message entry, each handler logging what it was given.
class CCrackWnd : public CWnd
{
public:
    Log log;

protected:
    void Add(const std::string& s) { log.push_back(s); }
    static std::string Pt(CPoint p) { return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")"; }
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam)
    {
        Add("syscommand " + std::to_string(nID) + " " + std::to_string(lParam));
    }
    afx_msg HCURSOR OnQueryDragIcon() { Add("querydragicon"); return (HCURSOR)(INT_PTR)0x1234; }
    afx_msg void OnGetMinMaxInfo(MINMAXINFO* lpMMI) { lpMMI->ptMinTrackSize.x = 940; Add("minmax"); }
    afx_msg void OnHotKey(UINT nId, UINT nKey1, UINT nKey2)
    {
        Add("hotkey " + std::to_string(nId) + " " + std::to_string(nKey1) + " " + std::to_string(nKey2));
    }
    afx_msg BOOL OnEraseBkgnd(CDC* pDC) { Add(pDC ? "erase" : "erase without dc"); return TRUE; }
    afx_msg void OnDestroy() { Add("destroy"); CWnd::OnDestroy(); }
    afx_msg void OnClose() { Add("close"); }
    afx_msg void OnLButtonDown(UINT nFlags, CPoint point) { Add("lbuttondown " + std::to_string(nFlags) + Pt(point)); }
    afx_msg void OnLButtonUp(UINT, CPoint point) { Add("lbuttonup" + Pt(point)); }
    afx_msg void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags)
    {
        Add("keydown " + std::to_string(nChar) + " " + std::to_string(nRepCnt) + " " + std::to_string(nFlags));
    }
    afx_msg void OnChar(UINT nChar, UINT, UINT) { Add("char " + std::to_string(nChar)); }
    afx_msg void OnContextMenu(CWnd* pWnd, CPoint pos)
    {
        Add(std::string("contextmenu ") + (pWnd == this ? "self" : "other") + Pt(pos));
    }
    afx_msg void OnDrawItem(int nIDCtl, LPDRAWITEMSTRUCT) { Add("drawitem " + std::to_string(nIDCtl)); }
    afx_msg BOOL OnSetCursor(CWnd*, UINT nHitTest, UINT message)
    {
        Add("setcursor " + std::to_string(nHitTest) + " " + std::to_string(message));
        return TRUE;
    }
    afx_msg void OnCommandRange(UINT nID) { Add("command " + std::to_string(nID)); }
    afx_msg BOOL OnCommandEx(UINT nID) { Add("command-ex " + std::to_string(nID)); return FALSE; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CCrackWnd, CWnd)
    ON_WM_SYSCOMMAND()
    ON_WM_QUERYDRAGICON()
    ON_WM_GETMINMAXINFO()
    ON_WM_HOTKEY()
    ON_WM_ERASEBKGND()
    ON_WM_DESTROY()
    ON_WM_CLOSE()
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONUP()
    ON_WM_KEYDOWN()
    ON_WM_CHAR()
    ON_WM_CONTEXTMENU()
    ON_WM_DRAWITEM()
    ON_WM_SETCURSOR()
    ON_COMMAND_RANGE(32770, 32779, &CCrackWnd::OnCommandRange)
    ON_COMMAND_EX(32780, &CCrackWnd::OnCommandEx)
END_MESSAGE_MAP()

TEST_F(WindowTest, WindowMessagesAreCrackedIntoTheHandlerArguments)
{
    CCrackWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, kPlainWindowClass, L"", WS_POPUP, 0, 0, 100, 50, NULL, NULL));
    HDC hDC = GetDC(wnd);
    MINMAXINFO mmi = {};
    DRAWITEMSTRUCT dis = {};
    dis.CtlType = ODT_MENU;
    struct Case
    {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        LRESULT result;
        const char* logged;
    };
    const Case cases[] = {
        {WM_SYSCOMMAND, 0x10, 77, 0, "syscommand 16 77"},
        {WM_QUERYDRAGICON, 0, 0, 0x1234, "querydragicon"},
        {WM_GETMINMAXINFO, 0, (LPARAM)&mmi, 0, "minmax"},
        {WM_HOTKEY, 10, MAKELPARAM(MOD_CONTROL, '0'), 0, "hotkey 10 2 48"},
        {WM_ERASEBKGND, (WPARAM)hDC, 0, TRUE, "erase"},
        {WM_CLOSE, 0, 0, 0, "close"},
        {WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(-5, 7), 0, "lbuttondown 1(-5,7)"},
        {WM_LBUTTONUP, 0, MAKELPARAM(3, -2), 0, "lbuttonup(3,-2)"},
        {WM_KEYDOWN, VK_ESCAPE, MAKELPARAM(1, 0x01), 0, "keydown 27 1 1"},
        {WM_CHAR, L'ő', 1, 0, "char 337"},
        {WM_CONTEXTMENU, (WPARAM)(HWND)wnd, MAKELPARAM(-1, -1), 0, "contextmenu self(-1,-1)"},
        {WM_DRAWITEM, 0, (LPARAM)&dis, TRUE, "drawitem 0"},
        {WM_SETCURSOR, (WPARAM)(HWND)wnd, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), TRUE, "setcursor 1 512"},
        {WM_COMMAND, 32775, 0, 1, "command 32775"},
        {WM_COMMAND, 32780, 0, 0, "command-ex 32780"},
        {WM_COMMAND, 32781, 0, 0, nullptr},
    };
    for (const Case& c : cases) {
        wnd.log.clear();
        EXPECT_EQ(wnd.SendMessage(c.message, c.wParam, c.lParam), c.result) << c.message;
        EXPECT_EQ(wnd.log, c.logged ? Log{c.logged} : Log{}) << c.message;
    }
    EXPECT_EQ(mmi.ptMinTrackSize.x, 940);
    ReleaseDC(wnd, hDC);
    wnd.log.clear();
    wnd.DestroyWindow();
    EXPECT_EQ(wnd.log, Log{"destroy"});
}

// ---------------------------------------------------------------------------
// Reflection

class CReflectButton : public CButton
{
public:
    Log* pLog = nullptr;
    BOOL bEatClick = FALSE;
    HBRUSH hReflectBrush = NULL;
    int nDrawn = 0;

    void DrawItem(LPDRAWITEMSTRUCT) override { ++nDrawn; }

protected:
    afx_msg BOOL OnReflectClicked() { pLog->push_back("child-clicked"); return bEatClick; }
    afx_msg void OnReflectNmClick(NMHDR*, LRESULT* pResult) { pLog->push_back("child-nmclick"); *pResult = 42; }
    afx_msg HBRUSH CtlColor(CDC*, UINT nCtlColor)
    {
        pLog->push_back("child-ctlcolor " + std::to_string(nCtlColor));
        return hReflectBrush;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReflectButton, CButton)
    ON_CONTROL_REFLECT_EX(BN_CLICKED, &CReflectButton::OnReflectClicked)
    ON_NOTIFY_REFLECT(NM_CLICK, &CReflectButton::OnReflectNmClick)
    ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

class CReflectEdit : public CEdit
{
public:
    Log* pLog = nullptr;

protected:
    afx_msg void OnReflectChange() { pLog->push_back("child-change"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReflectEdit, CEdit)
    ON_CONTROL_REFLECT(EN_CHANGE, &CReflectEdit::OnReflectChange)
END_MESSAGE_MAP()

// A combo box that answers its own colour requests (those of its list).
class CColorCombo : public CComboBox
{
public:
    Log* pLog = nullptr;

protected:
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
    {
        pLog->push_back("combo-ctlcolor " + std::to_string(nCtlColor));
        return CComboBox::OnCtlColor(pDC, pWnd, nCtlColor);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CColorCombo, CComboBox)
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

enum { kButtonId = 501, kEditId = 502, kPlainId = 503, kComboId = 504 };

class CParentWnd : public CWnd
{
public:
    Log log;
    HBRUSH hParentBrush = (HBRUSH)GetStockObject(GRAY_BRUSH);
    HBRUSH hChildBrush = (HBRUSH)GetStockObject(BLACK_BRUSH);

protected:
    afx_msg void OnClicked() { log.push_back("parent-clicked"); }
    afx_msg void OnPlainClicked() { log.push_back("parent-plain-clicked"); }
    afx_msg void OnChange() { log.push_back("parent-change"); }
    afx_msg void OnNmClick(NMHDR*, LRESULT* pResult) { log.push_back("parent-nmclick"); *pResult = 1; }
    afx_msg void OnNmDblClk(NMHDR* pNMHDR, LRESULT* pResult)
    {
        log.push_back("parent-nmdblclk " + std::to_string(pNMHDR->idFrom));
        *pResult = 7;
    }
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
    {
        // The base offers the request to the control first.
        HBRUSH hbr = CWnd::OnCtlColor(pDC, pWnd, nCtlColor);
        log.push_back("parent-ctlcolor " + std::to_string(nCtlColor));
        return hbr == hChildBrush ? hbr : hParentBrush;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CParentWnd, CWnd)
    ON_BN_CLICKED(kButtonId, &CParentWnd::OnClicked)
    ON_BN_CLICKED(kPlainId, &CParentWnd::OnPlainClicked)
    ON_EN_CHANGE(kEditId, &CParentWnd::OnChange)
    ON_NOTIFY(NM_CLICK, kButtonId, &CParentWnd::OnNmClick)
    ON_NOTIFY(NM_DBLCLK, kButtonId, &CParentWnd::OnNmDblClk)
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

TEST_F(WindowTest, ParentNotificationsGoToTheSubclassedChildFirst)
{
    CParentWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, kPlainWindowClass, L"", WS_POPUP, 0, 0, 300, 200, NULL, NULL));
    HWND hButton = CreatePlain(parent, L"BUTTON", WS_CHILD | BS_PUSHBUTTON, kButtonId);
    HWND hEdit = CreatePlain(parent, L"EDIT", WS_CHILD, kEditId);
    HWND hPlain = CreatePlain(parent, L"BUTTON", WS_CHILD | BS_PUSHBUTTON, kPlainId);
    CReflectButton button;
    CReflectEdit edit;
    button.pLog = edit.pLog = &parent.log;
    ASSERT_TRUE(button.SubclassWindow(hButton));
    ASSERT_TRUE(edit.SubclassWindow(hEdit));
    HBRUSH hChildBrush = parent.hChildBrush;
    HDC hDC = GetDC(parent);

    struct Case
    {
        const char* name;
        std::function<LRESULT()> send;
        LRESULT result;
        Log log;
    };
    NMHDR click = {hButton, kButtonId, (UINT)NM_CLICK};
    NMHDR dblclk = {hButton, kButtonId, (UINT)NM_DBLCLK};
    const Case cases[] = {
        {"_EX handler lets the parent handle it too",
         [&] {
             button.bEatClick = FALSE;
             return parent.SendMessage(WM_COMMAND, MAKEWPARAM(kButtonId, BN_CLICKED), (LPARAM)hButton);
         },
         1, {"child-clicked", "parent-clicked"}},
        {"_EX handler that takes it",
         [&] {
             button.bEatClick = TRUE;
             return parent.SendMessage(WM_COMMAND, MAKEWPARAM(kButtonId, BN_CLICKED), (LPARAM)hButton);
         },
         1, {"child-clicked"}},
        {"a control without a CWnd",
         [&] { return parent.SendMessage(WM_COMMAND, MAKEWPARAM(kPlainId, BN_CLICKED), (LPARAM)hPlain); },
         1, {"parent-plain-clicked"}},
        {"ON_CONTROL_REFLECT takes the edit's own EN_CHANGE", [&] { ::SetWindowTextW(hEdit, L"x"); return (LRESULT)0; },
         0, {"child-change"}},
        {"ON_NOTIFY_REFLECT answers for the parent",
         [&] { return parent.SendMessage(WM_NOTIFY, kButtonId, (LPARAM)&click); },
         42, {"child-nmclick"}},
        {"a notification the child does not reflect",
         [&] { return parent.SendMessage(WM_NOTIFY, kButtonId, (LPARAM)&dblclk); },
         7, {"parent-nmdblclk 999"}},
        {"the child's colour wins",
         [&] {
             button.hReflectBrush = hChildBrush;
             return parent.SendMessage(WM_CTLCOLORBTN, (WPARAM)hDC, (LPARAM)hButton);
         },
         (LRESULT)hChildBrush, {"child-ctlcolor 3", "parent-ctlcolor 3"}},
        {"a null colour from the child leaves it to the parent",
         [&] {
             button.hReflectBrush = NULL;
             return parent.SendMessage(WM_CTLCOLORSTATIC, (WPARAM)hDC, (LPARAM)hButton);
         },
         (LRESULT)parent.hParentBrush, {"child-ctlcolor 6", "parent-ctlcolor 6"}},
    };
    // The map looks the entry up by the sender window's id, not by idFrom.
    dblclk.idFrom = 999;
    for (const Case& c : cases) {
        parent.log.clear();
        EXPECT_EQ(c.send(), c.result) << c.name;
        EXPECT_EQ(parent.log, c.log) << c.name;
    }

    // WM_DRAWITEM goes to the button's DrawItem.
    DRAWITEMSTRUCT dis = {};
    dis.CtlType = ODT_BUTTON;
    dis.CtlID = kButtonId;
    dis.hwndItem = hButton;
    dis.hDC = hDC;
    EXPECT_EQ(parent.SendMessage(WM_DRAWITEM, kButtonId, (LPARAM)&dis), TRUE);
    EXPECT_EQ(button.nDrawn, 1);

    ReleaseDC(parent, hDC);
    parent.DestroyWindow();
    EXPECT_EQ(button.m_hWnd, (HWND)NULL);
    EXPECT_EQ(edit.m_hWnd, (HWND)NULL);
}

TEST_F(WindowTest, ComboReceivesTheColourRequestOfItsList)
{
    CParentWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, kPlainWindowClass, L"", WS_POPUP, 0, 0, 300, 200, NULL, NULL));
    HWND hCombo = CreatePlain(parent, L"COMBOBOX", WS_CHILD | CBS_DROPDOWN, kComboId);
    CColorCombo combo;
    combo.pLog = &parent.log;
    ASSERT_TRUE(combo.SubclassWindow(hCombo));
    COMBOBOXINFO info = {sizeof(info)};
    ASSERT_TRUE(GetComboBoxInfo(hCombo, &info));
    HDC hDC = GetDC(hCombo);
    // The list asks its combo; the combo's default processing asks the parent.
    combo.SendMessage(WM_CTLCOLORLISTBOX, (WPARAM)hDC, (LPARAM)info.hwndList);
    ReleaseDC(hCombo, hDC);
    EXPECT_EQ(parent.log, (Log{"combo-ctlcolor 2", "parent-ctlcolor 2"}));
    parent.DestroyWindow();
}

// ---------------------------------------------------------------------------
// The exception barrier

class CThrowingWnd : public CWnd
{
public:
    CWnd* pOther = nullptr;
    int nPainted = 0;

protected:
    afx_msg LRESULT OnThrowLayer(WPARAM, LPARAM) { AfxThrowNotSupportedException(); }
    afx_msg LRESULT OnThrowOther(WPARAM, LPARAM) { throw 42; }
    afx_msg LRESULT OnThrowUser(WPARAM, LPARAM) { AfxThrowUserException(); }
    afx_msg LRESULT OnThrowCom(WPARAM, LPARAM) { AfxThrowComErrorException(E_INVALIDARG); }
    // A code of the customer range: the system has no text for it.
    afx_msg LRESULT OnThrowTextlessCom(WPARAM, LPARAM) { AfxThrowComErrorException((HRESULT)0xA00FBEEF); }
    afx_msg LRESULT OnFine(WPARAM, LPARAM) { return 5; }
    // The inner window's exception stays in the inner window procedure.
    afx_msg LRESULT OnSendToThrower(WPARAM, LPARAM)
    {
        pOther->SendMessage(WM_APP + 10);
        return 6;
    }
    afx_msg void OnClicked() { AfxThrowNotSupportedException(); }
    afx_msg void OnPaint()
    {
        ++nPainted;
        throw std::string("paint");
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CThrowingWnd, CWnd)
    ON_MESSAGE(WM_APP + 10, &CThrowingWnd::OnThrowLayer)
    ON_MESSAGE(WM_APP + 11, &CThrowingWnd::OnThrowOther)
    ON_MESSAGE(WM_APP + 12, &CThrowingWnd::OnThrowUser)
    ON_MESSAGE(WM_APP + 13, &CThrowingWnd::OnThrowCom)
    ON_MESSAGE(WM_APP + 14, &CThrowingWnd::OnFine)
    ON_MESSAGE(WM_APP + 15, &CThrowingWnd::OnSendToThrower)
    ON_MESSAGE(WM_APP + 16, &CThrowingWnd::OnThrowTextlessCom)
    ON_BN_CLICKED(kButtonId, &CThrowingWnd::OnClicked)
    ON_WM_PAINT()
END_MESSAGE_MAP()

TEST_F(WindowTest, ExceptionsFromHandlersAreReportedAndStopAtTheWindowProcedure)
{
    CThrowingWnd wnd, other;
    ASSERT_TRUE(wnd.CreateEx(0, kPlainWindowClass, L"", WS_POPUP, 0, 0, 100, 50, NULL, NULL));
    ASSERT_TRUE(other.CreateEx(0, kPlainWindowClass, L"", WS_POPUP, 0, 0, 100, 50, NULL, NULL));
    wnd.pOther = &other;
    HWND hButton = CreatePlain(wnd, L"BUTTON", WS_CHILD, kButtonId);

    struct Case
    {
        UINT message;
        LRESULT result;
        std::vector<const wchar_t*> texts;
    };
    const Case cases[] = {
        {WM_APP + 10, 0, {L"Unsupported operation was attempted."}},
        {WM_APP + 11, 0, {L"Internal application error."}},
        {WM_APP + 12, 0, {}},
        {WM_APP + 14, 5, {}},
        {WM_APP + 15, 6, {L"Unsupported operation was attempted."}},
        {WM_APP + 16, 0, {L"Internal application error."}},
    };
    const CString appName = AfxGetApp()->m_pszAppName;
    ASSERT_FALSE(appName.IsEmpty());
    for (const Case& c : cases) {
        CMessageBoxCatcher catcher;
        EXPECT_EQ(wnd.SendMessage(c.message), c.result) << c.message;
        ASSERT_EQ(catcher.boxes.size(), c.texts.size()) << c.message;
        for (size_t i = 0; i < c.texts.size(); i++) {
            EXPECT_EQ(catcher.boxes[i].text, c.texts[i]) << c.message;
            EXPECT_EQ(catcher.boxes[i].caption, appName) << c.message;
        }
    }

    {
        // The system's text for the code.
        CMessageBoxCatcher catcher;
        EXPECT_EQ(wnd.SendMessage(WM_APP + 13), 0);
        ASSERT_EQ(catcher.boxes.size(), 1u);
        EXPECT_FALSE(catcher.boxes[0].text.IsEmpty());
        EXPECT_NE(catcher.boxes[0].text, L"Internal application error.");
    }
    {
        // A failed command counts as handled.
        CMessageBoxCatcher catcher;
        EXPECT_EQ(wnd.SendMessage(WM_COMMAND, MAKEWPARAM(kButtonId, BN_CLICKED), (LPARAM)hButton), TRUE);
        EXPECT_EQ(catcher.boxes.size(), 1u);
    }
    {
        // Painting that fails is not reported (the box would bring it back)
        // and the window counts as painted.
        CMessageBoxCatcher catcher;
        wnd.ShowWindow(SW_SHOWNA);
        wnd.Invalidate();
        wnd.UpdateWindow();
        EXPECT_EQ(wnd.nPainted, 1);
        EXPECT_FALSE(GetUpdateRect(wnd, NULL, FALSE));
        EXPECT_TRUE(catcher.boxes.empty());
    }
    EXPECT_EQ(wnd.SendMessage(WM_APP + 14), 5);
    wnd.DestroyWindow();
    other.DestroyWindow();
}

// ---------------------------------------------------------------------------
// Handle maps and subclassing

class CSubclassProbe : public CWnd
{
public:
    int nPreSubclass = 0;
    int nPostNcDestroy = 0;

protected:
    void PreSubclassWindow() override { ++nPreSubclass; }
    void PostNcDestroy() override { ++nPostNcDestroy; }
    afx_msg LRESULT OnProbe(WPARAM, LPARAM) { return 77; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CSubclassProbe, CWnd)
    ON_MESSAGE(WM_APP + 20, &CSubclassProbe::OnProbe)
END_MESSAGE_MAP()

TEST_F(WindowTest, FromHandleGivesThePermanentObjectOrOneTemporaryWrapper)
{
    HWND hWnd = CreatePlain();
    ASSERT_TRUE(hWnd);
    EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), (CWnd*)NULL);
    CWnd* pTemp = CWnd::FromHandle(hWnd);
    ASSERT_TRUE(pTemp);
    EXPECT_EQ(pTemp->m_hWnd, hWnd);
    EXPECT_EQ(CWnd::FromHandle(hWnd), pTemp);
    EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), (CWnd*)NULL);
    AfxDeleteTempObjects();
    EXPECT_EQ(CWnd::FromHandle(hWnd)->m_hWnd, hWnd);
    EXPECT_EQ(CWnd::FromHandle(NULL), (CWnd*)NULL);

    CWnd wnd, other;
    ASSERT_TRUE(wnd.Attach(hWnd));
    EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), &wnd);
    EXPECT_EQ(CWnd::FromHandle(hWnd), &wnd);
    EXPECT_FALSE(other.Attach(hWnd));
    EXPECT_EQ(wnd.Detach(), hWnd);
    EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), (CWnd*)NULL);
    EXPECT_EQ(wnd.m_hWnd, (HWND)NULL);
    // Attached only: destroying through the object forgets the window too.
    ASSERT_TRUE(other.Attach(hWnd));
    EXPECT_TRUE(other.DestroyWindow());
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), (CWnd*)NULL);
    EXPECT_EQ(other.m_hWnd, (HWND)NULL);
}

TEST_F(WindowTest, SubclassingPutsTheLayerFirstAndGivesTheProcedureBack)
{
    HWND hWnd = CreatePlain();
    LONG_PTR original = GetWindowLongPtrW(hWnd, GWLP_WNDPROC);
    {
        CSubclassProbe probe, second;
        ASSERT_TRUE(probe.SubclassWindow(hWnd));
        EXPECT_EQ(probe.nPreSubclass, 1);
        EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), &probe);
        EXPECT_EQ(SendMessageW(hWnd, WM_APP + 20, 0, 0), 77);
        EXPECT_FALSE(second.SubclassWindow(hWnd));
        EXPECT_EQ(second.nPreSubclass, 0);

        EXPECT_EQ(probe.UnsubclassWindow(), hWnd);
        EXPECT_EQ(GetWindowLongPtrW(hWnd, GWLP_WNDPROC), original);
        EXPECT_EQ(SendMessageW(hWnd, WM_APP + 20, 0, 0), 0);
        EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), (CWnd*)NULL);

        // An object that goes while its (not own) window stays hands the window back.
        ASSERT_TRUE(second.SubclassWindow(hWnd));
    }
    EXPECT_TRUE(IsWindow(hWnd));
    EXPECT_EQ(GetWindowLongPtrW(hWnd, GWLP_WNDPROC), original);
    EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), (CWnd*)NULL);

    // Destroyed while subclassed: the object forgets it once, at the end.
    CSubclassProbe probe;
    ASSERT_TRUE(probe.SubclassWindow(hWnd));
    DestroyWindow(hWnd);
    EXPECT_EQ(probe.m_hWnd, (HWND)NULL);
    EXPECT_EQ(probe.nPostNcDestroy, 1);
    EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), (CWnd*)NULL);
}

TEST_F(WindowTest, AWindowCreatedThroughTheObjectEndsWithIt)
{
    HWND hWnd = NULL;
    {
        CSubclassProbe wnd;
        ASSERT_TRUE(wnd.CreateEx(0, kPlainWindowClass, L"", WS_POPUP, 0, 0, 100, 50, NULL, NULL));
        hWnd = wnd.m_hWnd;
        EXPECT_EQ(wnd.SendMessage(WM_APP + 20), 77);
    }
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), (CWnd*)NULL);
}

TEST_F(WindowTest, WalkVisitsPermanentWindowsUpToTheStopWindow)
{
    // top (CWnd) > middle (no CWnd) > bottom (CWnd)
    struct CRecorder : public CWnd
    {
        Log* pLog = nullptr;
        std::string name;
        BOOL bTake = FALSE;
        BOOL PreTranslateMessage(MSG*) override
        {
            pLog->push_back(name);
            return bTake;
        }
    };
    Log log;
    CRecorder top, bottom;
    top.pLog = bottom.pLog = &log;
    top.name = "top";
    bottom.name = "bottom";
    ASSERT_TRUE(top.CreateEx(0, kPlainWindowClass, L"", WS_POPUP, 0, 0, 100, 50, NULL, NULL));
    HWND hMiddle = CreatePlain(top, kPlainWindowClass, WS_CHILD);
    HWND hBottom = CreatePlain(hMiddle, kPlainWindowClass, WS_CHILD);
    ASSERT_TRUE(bottom.Attach(hBottom));

    MSG msg = {hBottom, WM_KEYDOWN, VK_F2, 0};
    EXPECT_FALSE(CWnd::WalkPreTranslateTree(NULL, &msg));
    EXPECT_EQ(log, (Log{"bottom", "top"}));
    log.clear();
    EXPECT_FALSE(CWnd::WalkPreTranslateTree(hMiddle, &msg));
    EXPECT_EQ(log, (Log{"bottom"}));
    log.clear();
    bottom.bTake = TRUE;
    EXPECT_TRUE(CWnd::WalkPreTranslateTree(NULL, &msg));
    EXPECT_EQ(log, (Log{"bottom"}));
    bottom.Detach();
    top.DestroyWindow();
}

} // namespace
