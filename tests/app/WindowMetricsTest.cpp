// Window placement and column widths: the pull onto the work area as a
// table, the stored states, the all-or-nothing column widths and what a
// minimised or maximised window stores.
#include <gtest/gtest.h>
#include "MainDialogTestSupport.h"
#include "app/WindowMetrics.h"
#include "storage/ConnectionManagerSqlServer.h"

namespace {

const wchar_t kSection[] = L"MainDlgTest\\Metrics";

TEST(WindowMetrics, ARectangleAlmostOffTheWorkAreaComesBackAgainstItsEdge)
{
    const RECT work = {0, 0, 1024, 768};
    struct Case { RECT in, out; } cases[] = {
        {{100, 100, 900, 600}, {100, 100, 900, 600}},       // on the area: unchanged
        {{-900, 100, -100, 500}, {0, 100, 800, 500}},       // wholly left
        {{-795, 100, 5, 500}, {0, 100, 800, 500}},          // 5 pixels on the area
        {{-780, 100, 20, 500}, {-780, 100, 20, 500}},       // 20 pixels on it: stays
        {{1020, 100, 1620, 500}, {424, 100, 1024, 500}},    // left edge within 10 of the right
        {{100, -700, 500, -20}, {100, 0, 500, 680}},        // above
        {{100, 760, 500, 1260}, {100, 268, 500, 768}},      // below
    };
    for (const Case& c : cases) {
        RECT r = CWindowMetrics::PullOntoWorkArea(c.in, work);
        EXPECT_TRUE(EqualRect(&r, &c.out)) << c.in.left << "," << c.in.top << " -> " << r.left << "," << r.top << ","
                                           << r.right << "," << r.bottom;
    }
}

class WindowMetricsTest : public main_dialog_test::MainDialogFixture
{
protected:
    void Write(LPCWSTR name, int value) { AfxGetApp()->WriteProfileInt(kSection, name, value); }
    int Read(LPCWSTR name) { return (int)AfxGetApp()->GetProfileInt(kSection, name, 0); }
    void WriteWindow(int l, int t, int r, int b)
    {
        Write(L"MainWindowLeft", l);
        Write(L"MainWindowTop", t);
        Write(L"MainWindowRight", r);
        Write(L"MainWindowBottom", b);
    }
};

TEST_F(WindowMetricsTest, LoadTellsNothingMaximisedOrARectangle)
{
    CWindowMetrics nothing;
    ASSERT_TRUE(nothing.Load());
    EXPECT_EQ(nothing.m_nState, CWindowMetrics::kNothingStored);
    WriteWindow(-9999, -9999, -9999, -9999);
    CWindowMetrics maximised;
    maximised.Load();
    EXPECT_EQ(maximised.m_nState, CWindowMetrics::kMaximized);
    WriteWindow(50, 60, 1000, 660);
    CWindowMetrics rect;
    rect.Load();
    EXPECT_EQ(rect.m_nState, CWindowMetrics::kRectValid);
    EXPECT_EQ(rect.m_rect.right - rect.m_rect.left, 950);
    EXPECT_EQ(rect.m_rect.bottom - rect.m_rect.top, 600);
}

TEST_F(WindowMetricsTest, ColumnWidthsApplyOnlyWhenAllSixAreStored)
{
    WriteWindow(0, 0, 1000, 640);
    CVelindoDlg dlg;
    ASSERT_TRUE(dlg.Create(CVelindoDlg::IDD, NULL));
    HWND list = ::GetDlgItem(dlg, 1005);
    int before = (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0);
    for (int i = 0; i < 6; ++i)
        Write((L"Column" + std::to_wstring(i)).c_str(), i == 3 ? 0 : 50 + i);
    EXPECT_FALSE(CWindowMetrics().LoadColumnWidths(&dlg.GetList()));
    EXPECT_EQ((int)SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), before);
    Write(L"Column3", 53);
    EXPECT_TRUE(CWindowMetrics().LoadColumnWidths(&dlg.GetList()));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ((int)SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0), 50 + i) << i;
    dlg.DestroyWindow();
}

TEST_F(WindowMetricsTest, AMinimisedWindowStoresWhereItComesBackTo)
{
    WriteWindow(30, 40, 1000, 660);
    CVelindoDlg dlg;
    ASSERT_TRUE(dlg.Create(CVelindoDlg::IDD, NULL));
    theApp.m_pMainWnd = &dlg;
    dlg.ShowWindow(SW_SHOWNORMAL);
    RECT normal;
    dlg.GetWindowRect(&normal);
    dlg.ShowWindow(SW_MINIMIZE);
    ASSERT_TRUE(dlg.IsIconic());
    CWindowMetrics().Save();
    EXPECT_EQ(Read(L"MainWindowLeft"), (int)normal.left);
    EXPECT_EQ(Read(L"MainWindowTop"), (int)normal.top);
    EXPECT_EQ(Read(L"MainWindowRight"), (int)normal.right);
    EXPECT_EQ(Read(L"MainWindowBottom"), (int)normal.bottom);
    EXPECT_GT(Read(L"Column0"), 0);

    dlg.ShowWindow(SW_SHOWMAXIMIZED);
    CWindowMetrics().Save();
    EXPECT_EQ(Read(L"MainWindowLeft"), -9999);
    EXPECT_EQ(Read(L"MainWindowBottom"), -9999);
    theApp.m_pMainWnd = NULL;
    dlg.DestroyWindow();
}

} // namespace

namespace {

RECT ChildRect(HWND dlg, int id)
{
    RECT r;
    GetWindowRect(GetDlgItem(dlg, id), &r);
    MapWindowPoints(NULL, dlg, (POINT*)&r, 2);
    return r;
}

TEST_F(WindowMetricsTest, LayoutFollowsTheRightAndBottomEdgesDownToTheMinimumSize)
{
    WriteWindow(0, 0, 1400, 700);
    CVelindoDlg dlg;
    ASSERT_TRUE(dlg.Create(CVelindoDlg::IDD, NULL));
    dlg.ShowWindow(SW_SHOWNORMAL);
    MINMAXINFO mmi = {};
    dlg.SendMessage(WM_GETMINMAXINFO, 0, (LPARAM)&mmi);
    EXPECT_EQ(mmi.ptMinTrackSize.x, 940);
    EXPECT_EQ(mmi.ptMinTrackSize.y, 600);

    RECT client;
    dlg.GetClientRect(&client);
    RECT fullWide = ChildRect(dlg, 1004), searchWide = ChildRect(dlg, 1006);
    int newFromRight = client.right - ChildRect(dlg, 1001).left;
    int connectFromRight = client.right - ChildRect(dlg, 1030).left;
    int connectFromBottom = client.bottom - ChildRect(dlg, 1030).top;
    int statusLeft = ChildRect(dlg, 1028).left;
    int statusFromRight = client.right - ChildRect(dlg, 1028).right;
    int listFromBottom = client.bottom - ChildRect(dlg, 1005).bottom;

    dlg.MoveWindow(0, 0, 940, 600);
    dlg.GetClientRect(&client);
    RECT newRect = ChildRect(dlg, 1001);
    EXPECT_EQ(client.right - newRect.left, newFromRight);
    for (int id : {1002, 1003, 1009})
        EXPECT_EQ(ChildRect(dlg, id).top, newRect.top) << id;
    EXPECT_EQ(client.right - ChildRect(dlg, 1030).left, connectFromRight);
    EXPECT_EQ(client.bottom - ChildRect(dlg, 1030).top, connectFromBottom);
    EXPECT_EQ(ChildRect(dlg, 1028).left, statusLeft);
    EXPECT_EQ(client.right - ChildRect(dlg, 1028).right, statusFromRight);
    EXPECT_EQ(client.bottom - ChildRect(dlg, 1005).bottom, listFromBottom);
    EXPECT_EQ(ChildRect(dlg, 1005).right, client.right);
    // The full-list button stays 10 pixels left of New, the search box 10 left of it.
    RECT full = ChildRect(dlg, 1004), search = ChildRect(dlg, 1006);
    if (newRect.left - 10 < fullWide.right) {
        EXPECT_EQ(full.right, newRect.left - 10);
        EXPECT_EQ(search.right, full.left - 10);
    } else {
        EXPECT_TRUE(EqualRect(&full, &fullWide));
        EXPECT_TRUE(EqualRect(&search, &searchWide));
    }
    EXPECT_EQ(full.right - full.left, fullWide.right - fullWide.left);
    EXPECT_EQ(search.left, searchWide.left);
    dlg.DestroyWindow();
}

} // namespace

namespace {

using namespace testing_support;

RECT Rect(int l, int t, int r, int b)
{
    RECT rc = {l, t, r, b};
    return rc;
}

std::string Show(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

TEST(WindowMetrics, TheSavedRectangleIsTheLastNormalOneInScreenCoordinates)
{
    // rcNormalPosition is in workspace coordinates: here shifted by a
    // 40-pixel taskbar at the top, so it is never what the window had.
    const RECT window = Rect(100, 100, 1100, 750);
    const RECT workspace = Rect(100, 60, 1100, 710);
    const RECT lastNormal = Rect(100, 100, 1100, 750);
    struct Case
    {
        const char* what;
        bool iconic;
        UINT showCmd;
        UINT flags;
        const RECT* lastNormal;
        bool maximized;
        RECT saved;
    } cases[] = {
        {"iconic with a last normal rectangle", true, SW_SHOWMINIMIZED, 0, &lastNormal, false, lastNormal},
        {"iconic without one: the placement", true, SW_SHOWMINIMIZED, 0, NULL, false, workspace},
        {"iconic, restoring to maximised", true, SW_SHOWMINIMIZED, WPF_RESTORETOMAXIMIZED, &lastNormal, true, {}},
        {"normal: the window itself", false, SW_SHOWNORMAL, 0, &lastNormal, false, window},
        {"maximised", false, SW_SHOWMAXIMIZED, 0, &lastNormal, true, {}},
    };
    for (const Case& c : cases) {
        WINDOWPLACEMENT wp = {sizeof(wp)};
        wp.showCmd = c.showCmd;
        wp.flags = c.flags;
        wp.rcNormalPosition = workspace;
        RECT out = {};
        bool maximized = CWindowMetrics::ChooseSavedRect(c.iconic, wp, c.lastNormal, window, &out);
        EXPECT_EQ(maximized, c.maximized) << c.what;
        if (!c.maximized) {
            EXPECT_TRUE(EqualRect(&out, &c.saved)) << c.what << ": " << Show(out);
        }
    }
}

// The real main dialog, run modally and closed as a user would, over what
// the profile holds before the run.
class MainWindowPlacementTest : public WindowMetricsTest
{
protected:
    void SetUp() override
    {
        WindowMetricsTest::SetUp();
        database->m_pConnection->SetOnline(false);
    }

    struct Opened
    {
        bool zoomed = false;
        RECT rect = {};
        RECT work = {};
        int widths[6] = {};
        int listWidth = 0;
    };

    // Opens the main dialog, records how it opened, lets act() change it and
    // closes it with the close box.
    Opened Run(const std::function<void(HWND main, HWND list)>& act = nullptr)
    {
        Opened opened;
        CVelindoDlg dlg;
        theApp.m_pMainWnd = &dlg;
        CWindowDriver driver([&] {
            HWND main = WaitForWindow(L"Folionex", NULL);
            ASSERT_TRUE(main);
            // Answered only once the dialog's own loop runs, after its
            // initialisation.
            SendMessageW(main, WM_NULL, 0, 0);
            HWND list = Control(main, 1005);
            opened.zoomed = ::IsZoomed(main) != FALSE;
            ::GetWindowRect(main, &opened.rect);
            MONITORINFO mi = {sizeof(mi)};
            GetMonitorInfoW(MonitorFromWindow(main, MONITOR_DEFAULTTONEAREST), &mi);
            opened.work = mi.rcWork;
            RECT client;
            ::GetClientRect(list, &client);
            opened.listWidth = client.right;
            for (int i = 0; i < 6; ++i)
                opened.widths[i] = (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0);
            if (act)
                act(main, list);
            CloseBox(main);
        });
        dlg.DoModal();
        EXPECT_FALSE(driver.Join()) << "the watchdog had to end the dialog";
        theApp.m_pMainWnd = NULL;
        return opened;
    }

    // The widths the list computes for itself from its client width.
    static void ExpectComputedWidths(const Opened& o)
    {
        const int units[6] = {2, 1, 4, 4, 3, 4};
        int a = o.listWidth / 20;
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(o.widths[i], units[i] * a - (i == 5 ? GetSystemMetrics(SM_CXVSCROLL) : 0)) << "column " << i;
    }

    bool HasValue(LPCWSTR name)
    {
        return (int)AfxGetApp()->GetProfileInt(kSection, name, -12345) != -12345;
    }
};

TEST_F(MainWindowPlacementTest, TheWindowOpensAsTheProfileSays)
{
    struct Case
    {
        const char* what;
        bool write;
        RECT stored;
        bool zoomed;
        bool atLeftEdge;   // pulled against the work area's left edge
    } cases[] = {
        {"nothing stored", false, {}, true, false},
        {"-9999 four times", true, {-9999, -9999, -9999, -9999}, true, false},
        {"a rectangle on the screen", true, {40, 30, 1000, 670}, false, false},
        {"a rectangle left of the screen", true, {-1500, 50, -540, 690}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetProfile();
        if (c.write)
            WriteWindow(c.stored.left, c.stored.top, c.stored.right, c.stored.bottom);
        Opened o = Run();
        EXPECT_EQ(o.zoomed, c.zoomed);
        if (!c.write) {
            ExpectComputedWidths(o);
        }
        if (c.zoomed)
            continue;
        RECT expected = c.stored;
        if (c.atLeftEdge)
            OffsetRect(&expected, o.work.left - c.stored.left, 0);
        EXPECT_TRUE(EqualRect(&o.rect, &expected)) << Show(o.rect);
    }
}

TEST_F(MainWindowPlacementTest, StoredColumnWidthsApplyOnlyWhenAllSixAreThere)
{
    WriteWindow(40, 30, 1000, 670);
    for (int i = 0; i < 6; ++i)
        Write((L"Column" + std::to_wstring(i)).c_str(), 60 + i);
    Opened all = Run();
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(all.widths[i], 60 + i) << i;

    WriteWindow(40, 30, 1000, 670);
    for (int i = 0; i < 6; ++i)
        Write((L"Column" + std::to_wstring(i)).c_str(), i == 2 ? 0 : 60 + i);
    Opened one0 = Run();
    ExpectComputedWidths(one0);
}

TEST_F(MainWindowPlacementTest, AMovedWindowAndItsColumnsComeBackAtTheNextStart)
{
    WriteWindow(40, 30, 1000, 670);
    const RECT moved = Rect(20, 60, 990, 700);
    Run([&](HWND main, HWND list) {
        ::SetWindowPos(main, NULL, moved.left, moved.top, moved.right - moved.left, moved.bottom - moved.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(77, 0));
        SendMessageW(list, LVM_SETCOLUMNWIDTH, 4, MAKELPARAM(131, 0));
    });
    EXPECT_EQ(Read(L"MainWindowLeft"), (int)moved.left);
    EXPECT_EQ(Read(L"MainWindowBottom"), (int)moved.bottom);
    EXPECT_FALSE(HasValue(L"Column6"));

    Opened next = Run();
    EXPECT_FALSE(next.zoomed);
    EXPECT_TRUE(EqualRect(&next.rect, &moved)) << Show(next.rect);
    EXPECT_EQ(next.widths[1], 77);
    EXPECT_EQ(next.widths[4], 131);
}

TEST_F(MainWindowPlacementTest, AWindowMinimisedAtExitComesBackWhereItWasBefore)
{
    WriteWindow(40, 30, 1000, 670);
    const RECT moved = Rect(60, 20, 1010, 640);
    Run([&](HWND main, HWND) {
        ::SetWindowPos(main, NULL, moved.left, moved.top, moved.right - moved.left, moved.bottom - moved.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        PostMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        ASSERT_TRUE(WaitUntil([&] { return ::IsIconic(main) != FALSE; }));
    });
    Opened next = Run();
    EXPECT_FALSE(next.zoomed);
    EXPECT_TRUE(EqualRect(&next.rect, &moved)) << Show(next.rect);
}

TEST_F(MainWindowPlacementTest, AWindowMaximisedAtExitStartsMaximised)
{
    WriteWindow(40, 30, 1000, 670);
    Run([&](HWND main, HWND) {
        PostMessageW(main, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        ASSERT_TRUE(WaitUntil([&] { return ::IsZoomed(main) != FALSE; }));
    });
    for (LPCWSTR name : {L"MainWindowLeft", L"MainWindowTop", L"MainWindowRight", L"MainWindowBottom"})
        EXPECT_EQ(Read(name), -9999) << name;
    EXPECT_TRUE(Run().zoomed);
}

} // namespace
