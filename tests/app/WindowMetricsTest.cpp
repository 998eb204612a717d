// Window placement and column widths: the pull onto the work area as a
// table, the stored states, the all-or-nothing column widths and what a
// minimised or maximised window stores.
#include <gtest/gtest.h>
#include "MainDialogTestSupport.h"
#include "app/WindowMetrics.h"

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
