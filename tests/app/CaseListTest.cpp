// The case list control: its pure pieces (colours, deadline parsing, term
// ranges, font steps), its cells and state box through the list view's own
// notifications in a hosting dialog, and its painting.
#include <gtest/gtest.h>
#include <time.h>
#include <memory>
#include <vector>
#include "afx/WindowTestSupport.h"
#include "app/VelindoListCtrl.h"
#include "storage/StorageTestSupport.h"
#include "storage/UgyiratStore.h"
#include "support/TestSupport.h"
#include "CaseListTestRes.h"

namespace {

// The deadline list text of one item days from today.
CString Item(bool watched, int days, LPCWSTR remark = L"")
{
    __int64 now = _time64(NULL);
    struct tm t;
    _localtime64_s(&t, &now);
    t.tm_mday += days;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    __int64 when = _mktime64(&t);
    _localtime64_s(&t, &when);
    CString s;
    s.Format(L"%c%04d.%02d.%02d. %s", watched ? L'+' : L'-', t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, remark);
    return s;
}

CListDeadline Parsed(const CString& text)
{
    std::vector<CListDeadline> d;
    EXPECT_TRUE(CVelindoListCtrl::ParseDeadlines(text, d)) << CStringA(text).GetString();
    EXPECT_EQ(d.size(), 1u);
    return d.empty() ? CListDeadline() : d[0];
}

TEST(CaseListColours, RowsAlternateGreyFirstAndSelectionUsesTheHighlight)
{
    EXPECT_EQ(CVelindoListCtrl::RowBackground(0, false), 0xE0E0E0u);
    EXPECT_EQ(CVelindoListCtrl::RowBackground(1, false), 0xFFFFFFu);
    EXPECT_EQ(CVelindoListCtrl::RowBackground(2, false), 0xE0E0E0u);
    EXPECT_EQ(CVelindoListCtrl::RowBackground(1, true), GetSysColor(COLOR_HIGHLIGHT));
}

TEST(CaseListColours, DeadlineSquaresGoFromRedToGreen)
{
    struct Case { bool watched; int days; COLORREF colour; } cases[] = {
        {true, -30, 0x0000FF}, {true, -1, 0x0000FF}, {true, 0, 0x0000FF}, {true, 1, 0x0020E0},
        {true, 2, 0x0040C0},   {true, 3, 0x0060A0},  {true, 4, 0x008080}, {true, 5, 0x00A060},
        {true, 6, 0x00C040},   {true, 7, 0x00E020},  {true, 8, 0x00FF00}, {true, 400, 0x00FF00},
        {false, 0, 0xC0C0C0},  {false, -5, 0xC0C0C0}, {false, 3, 0xC0C0C0},
    };
    __int64 today = CVelindoListCtrl::TodayMidnight();
    for (const Case& c : cases)
        EXPECT_EQ(CVelindoListCtrl::DeadlineColour(Parsed(Item(c.watched, c.days)), today), c.colour)
            << c.watched << " " << c.days;
}

TEST(CaseListColours, ADaylightSavingDayStillCountsAsOneDay)
{
    CListDeadline d;
    d.watched = 1;
    d.date = 1000000;
    EXPECT_EQ(CVelindoListCtrl::DeadlineColour(d, d.date - 23 * 3600), 0x0020E0u);
    EXPECT_EQ(CVelindoListCtrl::DeadlineColour(d, d.date - 25 * 3600), 0x0020E0u);
    EXPECT_EQ(CVelindoListCtrl::DeadlineColour(d, d.date - 7 * 86400 + 3600), 0x00E020u);
}

TEST(CaseListDeadlines, ParsesSortsAndRefusesBadItems)
{
    std::vector<CListDeadline> d;
    ASSERT_TRUE(CVelindoListCtrl::ParseDeadlines(L"-2024.01.10. |+2024.03.05. Tárgyalás", d));
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].watched, 1);
    EXPECT_EQ(d[0].remark, CString(L"Tárgyalás"));
    EXPECT_EQ(CVelindoListCtrl::FormatDeadlineDate(d[0].date), CString(L"2024. 03. 05."));
    EXPECT_EQ(d[1].watched, 0);
    EXPECT_EQ(d[1].remark, CString());
    EXPECT_EQ(CVelindoListCtrl::FormatDeadlineDate(d[1].date), CString(L"2024. 01. 10."));

    ASSERT_TRUE(CVelindoListCtrl::ParseDeadlines(L"+2024.05.17.", d));   // 12 characters, no blank
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].remark, CString());

    for (LPCWSTR empty : {L"", L"+2024.05.1", L"garbage"}) {
        EXPECT_TRUE(CVelindoListCtrl::ParseDeadlines(empty, d));
        EXPECT_TRUE(d.empty());
    }
    for (LPCWSTR bad : {L"+2024.13.01. x", L"+1969.12.31. x", L"+2024.05.00. x", L"+0.00.00. rossz",
                        L"+2024.05.17. a|b is|+2024.05.18. ", L"+2024.05.17. jó|-20x4.01.01. rossz"}) {
        EXPECT_FALSE(CVelindoListCtrl::ParseDeadlines(bad, d)) << CStringA(bad).GetString();
        EXPECT_TRUE(d.empty());
    }
}

struct Range { int start, end; };

std::vector<Range> Ranges(LPCWSTR text, std::initializer_list<LPCWSTR> terms)
{
    CTermRanges table;
    table.text = text;
    table.count = 0;
    for (LPCWSTR t : terms)
        CVelindoListCtrl::FindTermRanges(table, t);
    std::vector<Range> out;
    for (int i = 0; i < table.count; ++i)
        out.push_back({table.start[i], table.end[i]});
    std::sort(out.begin(), out.end(), [](const Range& a, const Range& b) { return a.start < b.start; });
    return out;
}

TEST(CaseListHighlight, TermRangesMergeWhenTheyOverlapOrTouch)
{
    struct Case { LPCWSTR text; std::initializer_list<LPCWSTR> terms; std::vector<Range> want; } cases[] = {
        {L"kovács", {L"kov"}, {{0, 2}}},
        {L"abc", {L"ab", L"bc"}, {{0, 2}}},
        {L"abcd", {L"ab", L"cd"}, {{0, 3}}},
        {L"ab-cd", {L"ab", L"cd"}, {{0, 1}, {3, 4}}},
        {L"ab-cd", {L"ab", L"cd", L"b-c"}, {{0, 4}}},
        {L"aaaa", {L"aa"}, {{0, 3}}},
        {L"nagy és nagy", {L"nagy"}, {{0, 3}, {8, 11}}},
        {L"kiss", {L"x"}, {}},
        {L"kiss", {L""}, {}},
        {L"", {L"a"}, {}},
    };
    for (const Case& c : cases) {
        std::vector<Range> got = Ranges(c.text, c.terms);
        ASSERT_EQ(got.size(), c.want.size()) << CStringA(c.text).GetString();
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].start, c.want[i].start) << CStringA(c.text).GetString();
            EXPECT_EQ(got[i].end, c.want[i].end) << CStringA(c.text).GetString();
        }
    }
    CTermRanges table;
    table.text = L"x";
    table.count = 0;
    CVelindoListCtrl::FindTermRanges(table, NULL);
    EXPECT_EQ(table.count, 0);
}

TEST(CaseListHighlight, TheTableHoldsAtMost256Ranges)
{
    CString text;
    for (int i = 0; i < 300; ++i)
        text += L"a-";
    EXPECT_EQ(Ranges(text, {L"a"}).size(), 256u);
}

TEST(CaseListHighlight, LoweringCoversTheHungarianCapitals)
{
    const wchar_t upper[] = L"AZÁÉÍÓÖŐÚÜŰ";
    const wchar_t lower[] = L"azáéíóöőúüű";
    for (int i = 0; upper[i]; ++i)
        EXPECT_EQ(CVelindoListCtrl::LowerChar(upper[i]), lower[i]);
    for (wchar_t c : {L'a', L'1', L'ä', L'Ä', L'%'})
        EXPECT_EQ(CVelindoListCtrl::LowerChar(c), c);
}

TEST(CaseListFont, StepsGrowByOneUnitAndWrapAfterTwiceTheInitialSize)
{
    std::vector<int> seen;
    int h = -11;
    for (int i = 0; i < 12; ++i) {
        h = CVelindoListCtrl::NextFontHeight(h, -11, false);
        seen.push_back(h);
    }
    EXPECT_EQ(seen.front(), -12);
    EXPECT_EQ(seen[9], -21);
    EXPECT_EQ(seen[10], -22);
    EXPECT_EQ(seen[11], -11);
    EXPECT_EQ(CVelindoListCtrl::NextFontHeight(13, 13, false), 14);
    EXPECT_EQ(CVelindoListCtrl::NextFontHeight(26, 13, false), 13);
    EXPECT_EQ(CVelindoListCtrl::NextFontHeight(-17, -11, true), -11);
}

// A white 32-bit memory bitmap to draw cells into, with the list's font.
class CMemoryCanvas : public testing_support::CDibCanvas
{
public:
    CMemoryCanvas(int width, int height) : CDibCanvas(width, height)
    {
        font = CreateFontW(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0,
                           L"Tahoma");
        oldFont = SelectObject(dc, font);
    }
    ~CMemoryCanvas()
    {
        SelectObject(dc, oldFont);
        DeleteObject(font);
    }

private:
    HFONT font;
    HGDIOBJ oldFont;
};

TEST(CaseListDrawing, DeadlineSquaresHaveTheirColoursAndStopAtTheColumnEdge)
{
    CVelindoListCtrl list;
    const int h = 20;
    CString text = Item(true, 0) + L"|" + Item(true, 1) + L"|" + Item(true, 7) + L"|" + Item(true, 8) + L"|" +
                   Item(false, 2, L"megjegyzés");
    CMemoryCanvas canvas(2000, h);
    list.DrawCell(canvas.dc, CRect(0, 0, 2000, h), 6, text, 1, false, 0xE0E0E0);
    // The squares in drawing order: watched by date, then the unwatched one.
    // Along the middle line the text is black on the background; the runs of
    // any other colour are the squares' insides.
    std::vector<COLORREF> want = {0x0000FF, 0x0020E0, 0x00E020, 0x00FF00, 0xC0C0C0}, runs;
    for (int x = 0; x < 2000;) {
        COLORREF c = canvas.Pixel(x, h / 2);
        int n = 1;
        while (x + n < 2000 && canvas.Pixel(x + n, h / 2) == c)
            ++n;
        if (c != 0 && c != 0xE0E0E0 && n >= 4)
            runs.push_back(c);
        x += n;
    }
    EXPECT_EQ(runs, want);

    // A column of 50 pixels holds one square of 16 and its date's beginning,
    // the next square would reach the edge.
    CMemoryCanvas narrow(200, h);
    list.DrawCell(narrow.dc, CRect(0, 0, 50, h), 6, text, 1, false, 0xE0E0E0);
    EXPECT_GT(narrow.Count(0x0000FF, 0, 50, 0, h), 50);
    EXPECT_EQ(narrow.Count(0x0020E0, 0, 200, 0, h), 0);
}

TEST(CaseListDrawing, AnUnparsableDeadlineTextDrawsOnlyTheBackground)
{
    window_test::CMessageBoxCatcher boxes;
    CVelindoListCtrl list;
    CMemoryCanvas canvas(400, 20);
    list.DrawCell(canvas.dc, CRect(0, 0, 400, 20), 6, L"+0.00.00. hibás dátum|+2024.13.40. ", 1, false, 0xFFFFFF);
    EXPECT_EQ(canvas.Count(0xFFFFFF, 0, 400, 0, 20), 400 * 20);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(CaseListDrawing, SearchTermsAreRedAndTheRestBlack)
{
    CVelindoListCtrl list;
    list.SetSearchTerms(L"kov\0\0");
    CMemoryCanvas canvas(300, 20);
    list.DrawCell(canvas.dc, CRect(0, 0, 300, 20), 2, L"Kovács Nagy", 1, false, 0xFFFFFF);
    int red = canvas.Count(0x0000FF, 0, 300, 0, 20);
    int black = canvas.Count(0x000000, 0, 300, 0, 20);
    EXPECT_GT(red, 10);
    EXPECT_GT(black, red);
    // Red lies only left of the black of "ács Nagy".
    int lastRed = 0, firstBlack = 300;
    for (int x = 0; x < 300; ++x)
        for (int y = 0; y < 20; ++y) {
            if (canvas.Pixel(x, y) == 0x0000FF)
                lastRed = x;
            if (canvas.Pixel(x, y) == 0 && x < firstBlack)
                firstBlack = x;
        }
    EXPECT_LE(lastRed, firstBlack + 1);

    // Selected: white text, nothing red without terms.
    list.SetSearchTerms(NULL);
    CMemoryCanvas sel(300, 20);
    list.DrawCell(sel.dc, CRect(0, 0, 300, 20), 2, L"Kovács", 1, true, 0x800000);
    EXPECT_EQ(sel.Count(0x0000FF, 0, 300, 0, 20), 0);
    EXPECT_GT(sel.Count(0xFFFFFF, 0, 300, 0, 20), 10);
}

TEST(CaseListDrawing, TheFirstColumnHasASquareAndATickForActiveCases)
{
    CVelindoListCtrl list;
    CMemoryCanvas on(100, 20), off(100, 20);
    list.DrawCell(on.dc, CRect(0, 0, 100, 20), 0, L"", 1, false, 0xFFFFFF);
    list.DrawCell(off.dc, CRect(0, 0, 100, 20), 0, L"", 0, false, 0xFFFFFF);
    // The square's inside (x 4 to 17): black tick pixels only when active.
    EXPECT_GT(on.Count(0, 4, 17, 3, 17), 5);
    EXPECT_EQ(off.Count(0, 4, 17, 3, 17), 0);
}

// The hosting dialog, which records the list notifications that reach it.
class CHostDlg : public CDialog
{
public:
    std::vector<UINT> codes;

protected:
    void OnListNotify(NMHDR* pNMHDR, LRESULT* pResult)
    {
        codes.push_back(pNMHDR->code);
        *pResult = 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CHostDlg, CDialog)
    ON_NOTIFY(NM_DBLCLK, IDC_CASELIST, &CHostDlg::OnListNotify)
    ON_NOTIFY(NM_RCLICK, IDC_CASELIST, &CHostDlg::OnListNotify)
    ON_NOTIFY(NM_CLICK, IDC_CASELIST, &CHostDlg::OnListNotify)
END_MESSAGE_MAP()

// The list hosted in a modeless dialog, over a store whose table is a
// SQLite file of its own.
class CaseListWindowTest : public ::testing::Test
{
protected:
    CaseListWindowTest() : env(L"CaseListTest") {}

    void SetUp() override
    {
        window_test::InitOnce();
        testing_support::App();
        auto central = MakeCentralTable(env.Folder() + L"central.db");
        ASSERT_TRUE(central);
        store.reset(new CUgyiratStore(central.release()));
        ASSERT_TRUE(store->LoadFromDatabase());
        ASSERT_FALSE(store->m_bOffline);
        ASSERT_TRUE(dlg.Create(IDD_CASELIST_TEST, NULL));
        ASSERT_TRUE(list.SubclassDlgItem(IDC_CASELIST, &dlg));
        list.SetStore(store.get());
        list.CreateListColumns();
    }
    void TearDown() override
    {
        CVelindoListCtrl::SetStoreBusy(false);
        if (dlg.GetSafeHwnd())
            dlg.DestroyWindow();
    }

    void Add(int ev, int nr, int allapot, LPCWSTR client, LPCWSTR deadlines = L"")
    {
        CUgyiratRecord r = MakeRecord(ev, nr, client, L"Másik", L"Polgári", L"", deadlines);
        r.Allapot = allapot;
        ASSERT_TRUE(store->Insert(r));
    }
    // Rows as RefreshList makes them: highest key first.
    void Rebuild()
    {
        list.SetRedraw(FALSE);
        list.ClearKeys();
        for (auto it = store->m_records.rbegin(); it != store->m_records.rend(); ++it)
            list.AddKey(it->first);
        list.SetItemCount(list.GetKeyCount());
        list.SetRedraw(TRUE);
    }
    void Pump()
    {
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    CString Cell(int row, int col) { return list.GetItemText(row, col); }
    int StoredAllapot(int ev, int nr)
    {
        CtUgyirat_Sqlite t;
        t.SetPath(env.Folder() + L"central.db");
        CString sql, v;
        sql.Format(L"SELECT Allapot FROM tUgyirat WHERE Ev = %d AND Nr = %d", ev, nr);
        return t.QueryScalar(sql, v) ? _wtoi(v) : -99;
    }
    // A notification (its structure starts with the NMHDR) sent to the
    // dialog as the list view sends it.
    template <class T> void Notify(T& nm, UINT code)
    {
        NMHDR& hdr = reinterpret_cast<NMHDR&>(nm);
        hdr.hwndFrom = list.GetSafeHwnd();
        hdr.idFrom = IDC_CASELIST;
        hdr.code = code;
        ::SendMessageW(dlg.GetSafeHwnd(), WM_NOTIFY, IDC_CASELIST, (LPARAM)&nm);
    }
    // NM_CLICK (or another click notification) as the list view sends it to its parent.
    void ClickAt(int x, int y, UINT code = NM_CLICK)
    {
        NMITEMACTIVATE nm = {};
        nm.ptAction.x = x;
        nm.ptAction.y = y;
        LVHITTESTINFO hit = {};
        hit.pt = nm.ptAction;
        nm.iItem = list.HitTest(&hit);
        Notify(nm, code);
    }
    // The list's answer to a request for a row's image.
    NMLVDISPINFOW AskImage(int row)
    {
        NMLVDISPINFOW info = {};
        info.item.mask = LVIF_IMAGE;
        info.item.iItem = row;
        Notify(info, LVN_GETDISPINFOW);
        return info;
    }
    CRect RowRect(int row)
    {
        CRect r;
        list.GetItemRect(row, &r, LVIR_BOUNDS);
        return r;
    }

    window_test::CWatchdog watchdog{60000};
    CStorageEnvironment env;
    std::unique_ptr<CUgyiratStore> store;
    CHostDlg dlg;
    CVelindoListCtrl list;
};

TEST_F(CaseListWindowTest, DoubleAndRightClicksReachTheDialogTheStateClickDoesNot)
{
    Add(2024, 1, 1, L"Első");
    Rebuild();
    dlg.ShowWindow(SW_SHOW);
    Pump();
    CRect row = RowRect(0);
    int y = (row.top + row.bottom) / 2;
    ClickAt(3, y);
    ClickAt(3, y, NM_DBLCLK);
    ClickAt(60, y, NM_RCLICK);
    ASSERT_EQ(dlg.codes.size(), 2u);
    EXPECT_EQ(dlg.codes[0], (UINT)NM_DBLCLK);
    EXPECT_EQ(dlg.codes[1], (UINT)NM_RCLICK);
    EXPECT_EQ(store->Find(MakeUgyiratKey(2024, 1))->Allapot, 0);
}

TEST_F(CaseListWindowTest, ColumnsFollowTheClientWidth)
{
    CRect client;
    list.GetClientRect(&client);
    int w = client.Width(), a = w / 20, sb = GetSystemMetrics(SM_CXVSCROLL);
    int want[] = {2 * a, a, 4 * a, 4 * a, 3 * a, 4 * a - sb, w - 18 * a - sb};
    LPCWSTR captions[] = {L"Nr", L"Év", L"Ügyfél neve", L"Másik fél neve", L"Ügy jellege", L"Megjegyzés", L"Határidők"};
    ASSERT_TRUE(list.HasColumns());
    ASSERT_EQ(list.GetHeaderCtrl()->GetItemCount(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(list.GetColumnWidth(i), want[i]) << i;
        WCHAR buf[64] = {0};
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT;
        col.pszText = buf;
        col.cchTextMax = 64;
        ASSERT_TRUE(list.GetColumn(i, &col));
        EXPECT_EQ(CString(buf), CString(captions[i]));
    }
    EXPECT_EQ(list.GetExtendedStyle() & 0x10024u, 0x10024u);
}

TEST_F(CaseListWindowTest, CellsComeFromTheStoreThroughGetDispInfo)
{
    Add(2023, 7, 0, L"Régi Ügyfél");
    Add(2024, 1, 1, L"100% Kft.", L"+2024.05.17. tárgyalás");
    Add(2024, 12, 1, L"Kovács Béla");
    Rebuild();
    ASSERT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(list.GetKey(0), MakeUgyiratKey(2024, 12));
    EXPECT_EQ(list.GetKey(2), MakeUgyiratKey(2023, 7));
    EXPECT_EQ(list.GetKey(3), 0);
    EXPECT_EQ(list.GetKey(-1), 0);
    EXPECT_EQ(Cell(0, 0), CString(L"12"));
    EXPECT_EQ(Cell(0, 1), CString(L"2024"));
    EXPECT_EQ(Cell(0, 2), CString(L"Kovács Béla"));
    EXPECT_EQ(Cell(1, 2), CString(L"100% Kft."));
    EXPECT_EQ(Cell(1, 3), CString(L"Másik"));
    EXPECT_EQ(Cell(1, 4), CString(L"Polgári"));
    EXPECT_EQ(Cell(1, 6), CString(L"+2024.05.17. tárgyalás"));
    EXPECT_EQ(Cell(2, 0), CString(L"7"));

    // The image request answers with the state image: ticked for Allapot 1.
    for (int row : {0, 2}) {
        NMLVDISPINFOW info = AskImage(row);
        EXPECT_TRUE(info.item.mask & LVIF_STATE);
        EXPECT_EQ(info.item.stateMask & LVIS_STATEIMAGEMASK, (UINT)LVIS_STATEIMAGEMASK);
        EXPECT_EQ(info.item.state & LVIS_STATEIMAGEMASK, (UINT)INDEXTOSTATEIMAGEMASK(row == 0 ? 2 : 1)) << row;
    }

    WCHAR small[5];
    int state = 9;
    EXPECT_TRUE(list.GetCellText(0, 2, small, 5, &state));
    EXPECT_EQ(CString(small), CString(L"Ková"));
    EXPECT_EQ(state, 1);

    // A key that has left the store gives empty cells and state -1.
    store->m_records.erase(MakeUgyiratKey(2024, 12));
    EXPECT_FALSE(list.GetCellText(0, 2, small, 5, &state));
    EXPECT_EQ(state, -1);
    EXPECT_EQ(Cell(0, 0), CString());

    // While a worker writes the store the list does not read it.
    CVelindoListCtrl::SetStoreBusy(true);
    EXPECT_EQ(Cell(1, 2), CString());
    CVelindoListCtrl::SetStoreBusy(false);
    EXPECT_EQ(Cell(1, 2), CString(L"100% Kft."));
}

TEST_F(CaseListWindowTest, TheStateSquareTogglesTheCaseInTheStoreAndTheTable)
{
    Add(2024, 2, 1, L"Első");
    Add(2024, 1, 0, L"Második");
    Rebuild();
    dlg.ShowWindow(SW_SHOW);
    Pump();
    CRect row0 = RowRect(0), row1 = RowRect(1);
    ASSERT_GT(row0.Height(), 0);
    int y0 = (row0.top + row0.bottom) / 2, y1 = (row1.top + row1.bottom) / 2;

    ClickAt(3, y0);
    EXPECT_EQ(store->Find(MakeUgyiratKey(2024, 2))->Allapot, 0);
    EXPECT_EQ(StoredAllapot(2024, 2), 0);
    ClickAt(3, y1);
    EXPECT_EQ(store->Find(MakeUgyiratKey(2024, 1))->Allapot, 1);
    EXPECT_EQ(StoredAllapot(2024, 1), 1);
    ClickAt(3, y0);
    EXPECT_EQ(StoredAllapot(2024, 2), 1);

    // Elsewhere in the row, below the rows and offline: no change.
    ClickAt(row0.Height() + 40, y0);
    ClickAt(3, row1.bottom + 50);
    store->m_bOffline = true;
    ClickAt(3, y0);
    EXPECT_EQ(store->Find(MakeUgyiratKey(2024, 2))->Allapot, 1);
    EXPECT_EQ(StoredAllapot(2024, 2), 1);
    store->m_bOffline = false;

    // A state outside 0 and 1 shows ticked and unticks to 0.
    store->Find(MakeUgyiratKey(2024, 2))->Allapot = 5;
    ClickAt(3, y0);
    EXPECT_EQ(store->Find(MakeUgyiratKey(2024, 2))->Allapot, 0);
}

TEST_F(CaseListWindowTest, AMouseClickOnTheSquareGoesThroughTheListView)
{
    Add(2024, 1, 1, L"Első");
    Rebuild();
    dlg.ShowWindow(SW_SHOW);
    Pump();
    CRect row = RowRect(0);
    LPARAM at = MAKELPARAM(3, (row.top + row.bottom) / 2);
    list.PostMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
    list.PostMessage(WM_LBUTTONUP, 0, at);
    for (int i = 0; i < 150 && store->Find(MakeUgyiratKey(2024, 1))->Allapot != 0; ++i) {
        Pump();
        Sleep(20);
    }
    EXPECT_EQ(store->Find(MakeUgyiratKey(2024, 1))->Allapot, 0);
    EXPECT_EQ(StoredAllapot(2024, 1), 0);
}

TEST_F(CaseListWindowTest, FontStepsAreStoredInTheProfile)
{
    CAppSettings& settings = env.Settings();
    settings.WriteProfileInt(L"FontSizeInList", 0);
    list.InitFont();
    int initial = list.GetInitialFontHeight();
    ASSERT_NE(initial, 0);
    EXPECT_EQ(settings.GetFontSizeInList(), initial);
    EXPECT_EQ(list.GetFontHeight(), initial);
    int s = initial < 0 ? -1 : 1;
    list.StepFont(false);
    EXPECT_EQ(list.GetFontHeight(), initial + s);
    EXPECT_EQ(settings.GetFontSizeInList(), initial + s);
    for (int i = 0; i < 100 && list.GetFontHeight() != 2 * initial; ++i)
        list.StepFont(false);
    EXPECT_EQ(list.GetFontHeight(), 2 * initial);
    list.StepFont(false);
    EXPECT_EQ(list.GetFontHeight(), initial);
    list.StepFont(false);
    list.StepFont(true);
    EXPECT_EQ(list.GetFontHeight(), initial);
    EXPECT_EQ(settings.GetFontSizeInList(), initial);

    // A stored size is applied at the next start.
    settings.WriteProfileInt(L"FontSizeInList", initial + 3 * s);
    list.InitFont();
    EXPECT_EQ(list.GetInitialFontHeight(), initial); // the font set above had the initial height
    EXPECT_EQ(list.GetFontHeight(), initial + 3 * s);
}

TEST_F(CaseListWindowTest, PaintingDrawsRowColoursAndSurvivesBadDeadlines)
{
    window_test::CMessageBoxCatcher boxes;
    Add(2024, 3, 1, L"Kovács", Item(true, 0) + L"|" + Item(false, 5));
    Add(2024, 2, 0, L"Rossz határidő", L"+0.00.00. hibás|x");
    Add(2024, 1, 1, L"Harmadik", L"+2024.13.01. ");
    Rebuild();
    list.SetSearchTerms(L"kov\0\0");
    dlg.ShowWindow(SW_SHOW);
    list.Invalidate();
    list.UpdateWindow();
    Pump();

    // The custom-draw path into a memory bitmap through WM_PRINTCLIENT.
    CRect client;
    list.GetClientRect(&client);
    testing_support::CDibCanvas canvas(client.Width(), client.Height());
    list.SendMessage(WM_PRINTCLIENT, (WPARAM)canvas.dc, PRF_CLIENT | PRF_ERASEBKGND);
    auto pixel = [&](int x, int y) { return canvas.Pixel(x, y); };
    CRect r0 = RowRect(0), r1 = RowRect(1);
    int x = list.GetColumnWidth(0) + list.GetColumnWidth(1) + list.GetColumnWidth(2) - 3;
    EXPECT_EQ(pixel(x, (r0.top + r0.bottom) / 2), 0xE0E0E0u);
    EXPECT_EQ(pixel(x, (r1.top + r1.bottom) / 2), 0xFFFFFFu);
    // Row 0's deadline column starts with a red square.
    int x6 = 0;
    for (int i = 0; i < 6; ++i)
        x6 += list.GetColumnWidth(i);
    int h = r0.Height();
    EXPECT_EQ(pixel(x6 + (h - 4) / 2, (r0.top + r0.bottom) / 2), 0x0000FFu);
    // Row 1's deadlines do not parse: no square, only the background.
    EXPECT_EQ(pixel(x6 + (h - 4) / 2, (r1.top + r1.bottom) / 2), 0xFFFFFFu);

    // The rows stay usable: cells of the bad rows read as before.
    EXPECT_EQ(Cell(1, 2), CString(L"Rossz határidő"));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CaseListWindowTest, TheSquareIsTickedExactlyWhenTheStateImageIs)
{
    // Rows from the highest key: the states 1, 0, 5 and -1.
    const int states[] = {1, 0, 5, -1};
    for (int i = 0; i < 4; ++i)
        Add(2024, 4 - i, states[i], L"Ügyfél");
    Rebuild();
    dlg.ShowWindow(SW_SHOW);
    Pump();
    CRect client;
    list.GetClientRect(&client);
    for (int row = 0; row < 4; ++row) {
        SCOPED_TRACE(states[row]);
        NMLVDISPINFOW info = AskImage(row);
        bool imageTicked = (info.item.state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
        EXPECT_EQ(imageTicked, states[row] != 0);

        // The first cell as the list's custom drawing paints it, into a
        // white canvas: black tick pixels inside the square or none.
        CMemoryCanvas canvas(client.Width(), client.Height());
        NMLVCUSTOMDRAW cd = {};
        cd.nmcd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
        cd.nmcd.hdc = canvas.dc;
        cd.nmcd.dwItemSpec = row;
        cd.iSubItem = 0;
        Notify(cd, NM_CUSTOMDRAW);
        CRect r = RowRect(row);
        int h = r.Height();
        int black = canvas.Count(0, r.left + 5, r.left + h - 3, r.top + 3, r.bottom - 4);
        EXPECT_EQ(black > 5, imageTicked) << black << " black pixels in the square";
    }
}

} // namespace
