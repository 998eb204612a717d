// The restore's preview: the rows it builds from a download and the current
// cases, and the dialog driven from a second thread as a user would: its
// list, the colours it draws, its two buttons and its smallest size.
#include <gtest/gtest.h>
#include <climits>
#include <string>
#include <vector>
#include "online/CompareDlg.h"
#include "resources/resource.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"
#include "../afx/WindowTestSupport.h"
#include "../storage/StorageTestSupport.h"

namespace {

using namespace testing_support;

const wchar_t kCaption[] = L"Letöltött és meglévő adatok összevetése";

CUgyiratRecord Case(int ev, int nr, LPCWSTR remark = L"", int allapot = 1)
{
    CUgyiratRecord r = MakeRecord(ev, nr, L"Kovács Éva", L"Nagy Péter", L"Polgári", remark);
    r.Allapot = allapot;
    return r;
}

// The record with only the fields the comparison ignores changed.
CUgyiratRecord WithOtherDeadlinesDateAndCC(CUgyiratRecord r)
{
    CopyField(r.Hataridok, L"2025.03.01 tárgyalás");
    r.Datum.year = 1999;
    r.Datum.day = 7;
    CopyField(r.CC, L"X");
    return r;
}

CUgyiratStore::RecordMap MapOf(const std::vector<CUgyiratRecord>& records)
{
    CUgyiratStore::RecordMap map;
    for (const CUgyiratRecord& r : records)
        map[UgyiratKey(r)] = r;
    return map;
}

long long RowKey(int ev, int nr) { return 2LL * MakeUgyiratKey(ev, nr); }

struct Row
{
    long long key;
    int state;
    std::wstring remark;
    bool operator==(const Row& o) const { return key == o.key && state == o.state && remark == o.remark; }
};

void PrintTo(const Row& r, std::ostream* os)
{
    *os << "{" << r.key << ", state " << r.state << ", ";
    ::PrintTo(CString(r.remark.c_str()), os);
    *os << "}";
}

std::vector<Row> RowsOf(const CCompareDlg& dlg)
{
    std::vector<Row> rows;
    for (const CCompareDlg::Row& row : dlg.m_rows)
        rows.push_back({row.key, row.state, row.record->Megjegyzes});
    return rows;
}

TEST(CompareRows, EachCaseGetsItsRowsAndTheCurrentRecordsTheirState)
{
    struct Expected
    {
        int ev, nr, state;
    };
    struct Entry
    {
        const char* what;
        std::vector<CUgyiratRecord> current;
        std::vector<CUgyiratRecord> downloaded;
        std::vector<Row> rows;
        std::vector<Expected> states;   // compare states of the current records
    } table[] = {
        {"equal in both: one unchanged row",
         {Case(2024, 1, L"ügy")}, {Case(2024, 1, L"ügy")},
         {{RowKey(2024, 1), 1, L"ügy"}}, {{2024, 1, 1}}},
        {"a differing remark: the current version just below the downloaded one",
         {Case(2024, 1, L"régi")}, {Case(2024, 1, L"új")},
         {{RowKey(2024, 1) - 1, 4, L"régi"}, {RowKey(2024, 1), 2, L"új"}}, {{2024, 1, 4}}},
        {"a differing state counts as a change",
         {Case(2024, 1, L"ügy", 1)}, {Case(2024, 1, L"ügy", 0)},
         {{RowKey(2024, 1) - 1, 4, L"ügy"}, {RowKey(2024, 1), 2, L"ügy"}}, {{2024, 1, 4}}},
        {"only the deadlines, the entry date and CC differ: unchanged",
         {Case(2024, 1, L"ügy")}, {WithOtherDeadlinesDateAndCC(Case(2024, 1, L"ügy"))},
         {{RowKey(2024, 1), 1, L"ügy"}}, {{2024, 1, 1}}},
        {"a case only in the current data is to be deleted; its record keeps 0",
         {Case(2024, 1, L"marad"), Case(2024, 2, L"törlődik")}, {Case(2024, 1, L"marad")},
         {{RowKey(2024, 1), 1, L"marad"}, {RowKey(2024, 2) - 1, 8, L"törlődik"}}, {{2024, 1, 1}, {2024, 2, 0}}},
        {"a case only in the download is new",
         {}, {Case(2024, 3, L"új ügy")},
         {{RowKey(2024, 3), 0, L"új ügy"}}, {}},
        {"the same key twice in the download, changed then equal: the later one alone",
         {Case(2024, 1, L"ügy")}, {Case(2024, 1, L"más"), Case(2024, 1, L"ügy")},
         {{RowKey(2024, 1), 1, L"ügy"}}, {{2024, 1, 1}}},
        {"the same key twice in the download, equal then changed: the later one beside the current",
         {Case(2024, 1, L"ügy")}, {Case(2024, 1, L"ügy"), Case(2024, 1, L"más")},
         {{RowKey(2024, 1) - 1, 4, L"ügy"}, {RowKey(2024, 1), 2, L"más"}}, {{2024, 1, 4}}},
        {"the same new key twice: one row, the later text",
         {}, {Case(2024, 5, L"első"), Case(2024, 5, L"második")},
         {{RowKey(2024, 5), 0, L"második"}}, {}},
        {"keys at the extremes keep their order",
         {Case(32767, 65535, L"utolsó"), Case(1, 1, L"első")},
         {Case(32767, 65535, L"utolsó, új"), Case(32767, 65534, L"új"), Case(1, 1, L"első")},
         {{RowKey(1, 1), 1, L"első"},
          {RowKey(32767, 65534), 0, L"új"},
          {RowKey(32767, 65535) - 1, 4, L"utolsó"},
          {RowKey(32767, 65535), 2, L"utolsó, új"}},
         {{1, 1, 1}, {32767, 65535, 4}}},
        {"a downloaded year beyond the key's range: one new row, nothing overflows",
         {Case(2024, 1)}, {Case(70000, 1, L"hibás év")},
         {{RowKey(2024, 1) - 1, 8, L""}, {RowKey(70000, 1), 0, L"hibás év"}}, {{2024, 1, 0}}},
        {"nothing downloaded: every current case is to be deleted",
         {Case(2023, 9), Case(2025, 1)}, {},
         {{RowKey(2023, 9) - 1, 8, L""}, {RowKey(2025, 1) - 1, 8, L""}}, {{2023, 9, 0}, {2025, 1, 0}}},
    };
    for (Entry& e : table) {
        SCOPED_TRACE(e.what);
        CUgyiratStore::RecordMap current = MapOf(e.current);
        // States left from an earlier preview, and one in the download,
        // count for nothing.
        for (auto& entry : current)
            entry.second.CompareState = 2;
        for (CUgyiratRecord& d : e.downloaded)
            d.CompareState = 4;
        CCompareDlg dlg;
        const CUgyiratRecord stale = Case(1990, 1);
        dlg.m_rows.push_back({12345, &stale, 2});
        dlg.BuildRows(e.downloaded, current);
        EXPECT_EQ(RowsOf(dlg), e.rows);
        ASSERT_EQ(current.size(), e.current.size());
        for (const Expected& s : e.states)
            EXPECT_EQ(current.at(MakeUgyiratKey(s.ev, s.nr)).CompareState, s.state) << s.ev << "/" << s.nr;
        // No row holds a copy: each shows a downloaded record or a current
        // one where it lies, and those are as they were but for the state.
        for (const CCompareDlg::Row& row : dlg.m_rows) {
            const bool downloadedOne =
                !e.downloaded.empty() && row.record >= &e.downloaded.front() && row.record <= &e.downloaded.back();
            const bool currentOne = row.key % 2 != 0 && row.record == &current.at((int)((row.key + 1) / 2));
            EXPECT_TRUE(row.key % 2 == 0 ? downloadedOne : currentOne) << row.key;
        }
        for (const CUgyiratRecord& c : e.current)
            EXPECT_STREQ(current.at(UgyiratKey(c)).Megjegyzes, c.Megjegyzes);
    }
    // The highest row key is beyond 32 bits.
    EXPECT_EQ(RowKey(32767, 65535), 2LL * INT_MAX);
}

TEST(CompareRows, StatusTextsAndColours)
{
    struct
    {
        int state;
        const wchar_t* text;
        COLORREF colour;
    } table[] = {
        {0, L"új adat", 0x0000FF},
        {1, L"nem változik", 0x000000},
        {2, L"módosul (új)", 0xFF0000},
        {4, L"módosul (régi)", 0xFF8080},
        {8, L"törlendő", 0x808080},
        {3, L"", 0x0000FF},
        {-1, L"", 0x0000FF},
    };
    for (const auto& t : table) {
        EXPECT_STREQ(CCompareDlg::StatusText(t.state), t.text) << t.state;
        EXPECT_EQ(CCompareDlg::StateColour(t.state), t.colour) << t.state;
    }
}

// ---- The dialog ----

CString ScreenshotFolder()
{
    wchar_t folder[MAX_PATH] = {0};
    GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", folder, MAX_PATH);
    return folder;
}

// The screen's pixels of a rectangle (screen coordinates).
struct ScreenArea
{
    explicit ScreenArea(const RECT& r) : rect(r), canvas(r.right - r.left, r.bottom - r.top)
    {
        HDC screen = GetDC(NULL);
        BitBlt(canvas.dc, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
        ReleaseDC(NULL, screen);
    }
    int Count(COLORREF colour) const
    {
        return canvas.Count(colour, 0, rect.right - rect.left, 0, rect.bottom - rect.top);
    }
    RECT rect;
    CDibCanvas canvas;
};

RECT ScreenRectOf(HWND hwnd)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    return r;
}

// A cell of the list in screen coordinates, less a margin of 2 pixels
// (the focus rectangle).
RECT CellOnScreen(HWND list, int row, int column)
{
    RECT r = {};
    r.top = column;
    r.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETSUBITEMRECT, row, (LPARAM)&r);
    MapWindowPoints(list, NULL, (POINT*)&r, 2);
    InflateRect(&r, -2, -2);
    return r;
}

const COLORREF kStateColours[] = {0x0000FF, 0x000000, 0xFF0000, 0xFF8080, 0x808080};
// The states of the rows of the dialog's Fill, from the top of the list.
const std::vector<int> kShownStates = {0, 2, 4, 1, 8, 2, 4, 1};

class CompareDlgTest : public ::testing::Test
{
protected:
    void SetUp() override { window_test::InitOnce(); }

    // A register of six cases against a download: 2025/3 new, 2025/2
    // changed, 2025/1 unchanged, 2024/7 to be deleted, 2024/5 changed in its
    // state only, 2024/4 unchanged but for its deadlines.
    void Fill(CCompareDlg& dlg)
    {
        current = MapOf({Case(2025, 2, L"Fellebbezés"), Case(2025, 1, L"Végrehajtás"), Case(2024, 7, L"Lezárt ügy"),
                         Case(2024, 5, L"Szerződés", 1), Case(2024, 4, L"Tanácsadás")});
        downloaded = {Case(2024, 4, L"Tanácsadás"), Case(2024, 5, L"Szerződés", 0), Case(2025, 1, L"Végrehajtás"),
                      Case(2025, 2, L"Fellebbezés, ítélet"), Case(2025, 3, L"Új megbízás")};
        CopyField(downloaded[0].Hataridok, L"2025.01.10 határidő");
        dlg.BuildRows(downloaded, current);
    }

    // Runs the dialog while script acts on it from the driver thread.
    int Run(CCompareDlg& dlg, const std::function<void(HWND)>& script)
    {
        window_test::CWatchdog watchdog(60000);
        CWindowDriver driver([&] {
            HWND wnd = WaitForWindow(L"#32770", kCaption);
            ASSERT_TRUE(wnd);
            SendMessageW(wnd, WM_NULL, 0, 0);
            script(wnd);
        });
        int result = (int)dlg.DoModal();
        EXPECT_FALSE(driver.Join()) << "the dialog did not end by the script's click";
        return result;
    }

    CUgyiratStore::RecordMap current;
    std::vector<CUgyiratRecord> downloaded;
};

TEST_F(CompareDlgTest, ListsTheRowsFromTheHighestKeyDownInTheirColours)
{
    typedef std::vector<std::wstring> Texts;
    std::vector<Texts> rows;
    Texts headings;
    std::vector<int> widths;
    int listClient = 0;
    std::vector<std::string> colourFaults;
    bool fullRow = false;
    CCompareDlg dlg;
    Fill(dlg);
    int result = Run(dlg, [&](HWND wnd) {
        HWND list = Control(wnd, IDC_CMP_LIST);
        ASSERT_TRUE(list);
        fullRow = (SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT) != 0;
        RECT client;
        GetClientRect(list, &client);
        listClient = client.right;
        HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
        int columns = (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0);
        for (int c = 0; c < columns; ++c) {
            wchar_t text[64] = {0};
            LVCOLUMNW col = {};
            col.mask = LVCF_TEXT | LVCF_WIDTH;
            col.pszText = text;
            col.cchTextMax = 64;
            SendMessageW(list, LVM_GETCOLUMNW, c, (LPARAM)&col);
            headings.push_back(text);
            widths.push_back(col.cx);
        }
        int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        for (int r = 0; r < count; ++r) {
            Texts row;
            for (int c = 0; c < columns; ++c)
                row.push_back((LPCWSTR)ListItemText(list, r, c));
            rows.push_back(row);
        }
        // Each row's status cell, as the screen shows it: its own colour
        // and none of the others'.
        for (int r = 0; r < count && r < (int)kShownStates.size(); ++r) {
            COLORREF want = CCompareDlg::StateColour(kShownStates[r]);
            bool seen = WaitUntil([&] { return ScreenArea(CellOnScreen(list, r, 6)).Count(want) > 0; });
            ScreenArea cell(CellOnScreen(list, r, 6));
            if (!seen)
                colourFaults.push_back("row " + std::to_string(r) + ": its colour is not drawn");
            for (COLORREF other : kStateColours)
                if (other != want && cell.Count(other) > 0)
                    colourFaults.push_back("row " + std::to_string(r) + ": another row colour drawn");
        }
        ClickId(wnd, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(fullRow);
    EXPECT_EQ(headings, (Texts{L"Nr", L"Év", L"Ügyfél neve", L"Másik fél neve", L"Ügy jellege", L"Megjegyzés", L"X"}));
    int w = listClient / 20;
    EXPECT_EQ(widths, (std::vector<int>{w, w, 4 * w, 4 * w, 5 * w, listClient - 17 * w - GetSystemMetrics(SM_CXVSCROLL),
                                        2 * w}));
    std::vector<Texts> want = {
        {L"3", L"2025", L"Kovács Éva", L"Nagy Péter", L"Polgári", L"Új megbízás", L"új adat"},
        {L"2", L"2025", L"Kovács Éva", L"Nagy Péter", L"Polgári", L"Fellebbezés, ítélet", L"módosul (új)"},
        {L"2", L"2025", L"Kovács Éva", L"Nagy Péter", L"Polgári", L"Fellebbezés", L"módosul (régi)"},
        {L"1", L"2025", L"Kovács Éva", L"Nagy Péter", L"Polgári", L"Végrehajtás", L"nem változik"},
        {L"7", L"2024", L"Kovács Éva", L"Nagy Péter", L"Polgári", L"Lezárt ügy", L"törlendő"},
        {L"5", L"2024", L"Kovács Éva", L"Nagy Péter", L"Polgári", L"Szerződés", L"módosul (új)"},
        {L"5", L"2024", L"Kovács Éva", L"Nagy Péter", L"Polgári", L"Szerződés", L"módosul (régi)"},
        {L"4", L"2024", L"Kovács Éva", L"Nagy Péter", L"Polgári", L"Tanácsadás", L"nem változik"},
    };
    EXPECT_EQ(rows, want);
    EXPECT_TRUE(colourFaults.empty()) << ::testing::PrintToString(colourFaults);
}

TEST_F(CompareDlgTest, TheLegendShowsEachColourOnWhite)
{
    struct Legend
    {
        int id;
        const wchar_t* text;
        COLORREF colour;
    } legends[] = {
        {IDC_CMP_LEGEND_UNCHANGED, L"Nem változik", 0x000000},
        {IDC_CMP_LEGEND_NEW, L"Új iktatásként felvételre kerül", 0x0000FF},
        {IDC_CMP_LEGEND_CHANGED, L"Megmarad, de módosul", 0xFF0000},
        {IDC_CMP_LEGEND_DELETED, L"Megszűnő iktatásként törlődik", 0x808080},
    };
    std::vector<std::string> faults;
    CString group, ok, cancel;
    bool okDefault = false;
    CCompareDlg dlg;
    Fill(dlg);
    Run(dlg, [&](HWND wnd) {
        HWND box = ControlByText(wnd, L"Jelkulcs", L"Button");
        if (!box) {
            faults.push_back("no group box \"Jelkulcs\"");
        } else {
            group = Text(box);
        }
        ok = Text(Control(wnd, IDOK));
        cancel = Text(Control(wnd, IDCANCEL));
        okDefault = (GetWindowLongW(Control(wnd, IDOK), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
        RECT boxRect = box ? ScreenRectOf(box) : RECT{};
        for (const Legend& l : legends) {
            HWND label = Control(wnd, l.id);
            std::string name = std::to_string(l.id);
            if (!label || Text(label) != l.text) {
                faults.push_back(name + ": text");
                continue;
            }
            RECT r = ScreenRectOf(label);
            RECT inside;
            if (!IntersectRect(&inside, &r, &boxRect) || !EqualRect(&inside, &r))
                faults.push_back(name + ": outside the group box");
            if (!WaitUntil([&] { return ScreenArea(r).Count(l.colour) > 0; }))
                faults.push_back(name + ": its colour is not drawn");
            ScreenArea area(r);
            int total = (r.right - r.left) * (r.bottom - r.top);
            // Mostly white ground; the text centred: as much ground on its
            // left as on its right.
            if (area.Count(RGB(255, 255, 255)) < total / 2)
                faults.push_back(name + ": ground not white");
            int width = r.right - r.left, height = r.bottom - r.top;
            int first = -1, last = -1;
            for (int x = 0; x < width; ++x)
                if (area.canvas.Count(l.colour, x, x + 1, 0, height) > 0) {
                    if (first < 0)
                        first = x;
                    last = x;
                }
            if (first < 0 || abs(first - (width - 1 - last)) > 3)
                faults.push_back(name + ": not centred (" + std::to_string(first) + ".." + std::to_string(last) +
                                 " of " + std::to_string(width) + ")");
        }
        ClickId(wnd, IDCANCEL);
    });
    EXPECT_EQ(group, L"Jelkulcs");
    EXPECT_EQ(ok, L"Módosítások érvényesítése");
    EXPECT_EQ(cancel, L"Kilépés, a régi adatok megtartása");
    EXPECT_TRUE(okDefault);
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
}

// The answers to the list's custom draw: item drawing asked for, the text
// colour set from the state of the row drawn (a row the list does not
// hold red).
TEST_F(CompareDlgTest, CustomDrawAnswers)
{
    struct Answer
    {
        DWORD stage;
        DWORD_PTR item;
        LRESULT result;
        COLORREF colour;
    };
    std::vector<Answer> answers = {{CDDS_PREPAINT, 0, CDRF_NOTIFYITEMDRAW, 0x123456}};
    for (size_t i = 0; i < kShownStates.size(); ++i)
        answers.push_back({CDDS_ITEMPREPAINT, i, CDRF_DODEFAULT, CCompareDlg::StateColour(kShownStates[i])});
    answers.push_back({CDDS_ITEMPREPAINT, kShownStates.size(), CDRF_DODEFAULT, 0x0000FF});
    answers.push_back({CDDS_POSTPAINT, 1, CDRF_DODEFAULT, 0x123456});
    std::vector<LRESULT> results;
    std::vector<COLORREF> colours;
    CCompareDlg dlg;
    Fill(dlg);
    Run(dlg, [&](HWND wnd) {
        HWND list = Control(wnd, IDC_CMP_LIST);
        for (const Answer& a : answers) {
            NMLVCUSTOMDRAW draw = {};
            draw.nmcd.hdr.hwndFrom = list;
            draw.nmcd.hdr.idFrom = IDC_CMP_LIST;
            draw.nmcd.hdr.code = NM_CUSTOMDRAW;
            draw.nmcd.dwDrawStage = a.stage;
            draw.nmcd.dwItemSpec = a.item;
            draw.clrText = 0x123456;
            results.push_back(SendMessageW(wnd, WM_NOTIFY, IDC_CMP_LIST, (LPARAM)&draw));
            colours.push_back(draw.clrText);
        }
        ClickId(wnd, IDCANCEL);
    });
    ASSERT_EQ(results.size(), answers.size());
    for (size_t i = 0; i < answers.size(); ++i) {
        EXPECT_EQ(results[i], answers[i].result) << i;
        EXPECT_EQ(colours[i], answers[i].colour) << i;
    }
}

TEST_F(CompareDlgTest, EachButtonEndsTheDialogWithItsAnswer)
{
    for (int button : {IDOK, IDCANCEL}) {
        CCompareDlg dlg;
        Fill(dlg);
        int result = Run(dlg, [&](HWND wnd) { ClickId(wnd, button); });
        EXPECT_EQ(result, button);
        // The dialog writes nothing but the states.
        EXPECT_STREQ(current[MakeUgyiratKey(2025, 2)].Megjegyzes, L"Fellebbezés");
        EXPECT_EQ(current[MakeUgyiratKey(2025, 2)].CompareState, 4);
    }
}

// A mouse event at a point of the screen, as the hardware sends it.
void Mouse(DWORD flags, int x, int y)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = (x * 65535 + GetSystemMetrics(SM_CXSCREEN) - 2) / (GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = (y * 65535 + GetSystemMetrics(SM_CYSCREEN) - 2) / (GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof(input));
}

bool InMoveSize(HWND wnd)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(GetWindowThreadProcessId(wnd, NULL), &info) && (info.flags & GUI_INMOVESIZE) != 0;
}

// The lower right corner dragged with the mouse: outwards the dialog grows,
// inwards it stops at the size it opened with.
TEST_F(CompareDlgTest, CannotBeMadeSmallerThanItOpened)
{
    RECT initial = {}, grown = {}, shrunk = {};
    MINMAXINFO mmi = {};
    bool dragging = false, grew = false, stopped = false;
    CCompareDlg dlg;
    Fill(dlg);
    Run(dlg, [&](HWND wnd) {
        GetWindowRect(wnd, &initial);
        SendMessageW(wnd, WM_GETMINMAXINFO, 0, (LPARAM)&mmi);
        Mouse(0, initial.right - 2, initial.bottom - 2);
        Mouse(MOUSEEVENTF_LEFTDOWN, initial.right - 2, initial.bottom - 2);
        dragging = WaitUntil([&] { return InMoveSize(wnd); });
        Mouse(0, initial.right + 40, initial.bottom + 30);
        grew = WaitUntil([&] {
            GetWindowRect(wnd, &grown);
            return grown.right > initial.right && grown.bottom > initial.bottom;
        });
        Mouse(0, initial.left + 60, initial.top + 40);
        stopped = WaitUntil([&] {
            GetWindowRect(wnd, &shrunk);
            return shrunk.right < grown.right && shrunk.bottom < grown.bottom;
        });
        Mouse(MOUSEEVENTF_LEFTUP, initial.left + 60, initial.top + 40);
        WaitUntil([&] { return !InMoveSize(wnd); });
        ClickId(wnd, IDOK);
    });
    int width = initial.right - initial.left, height = initial.bottom - initial.top;
    EXPECT_EQ(mmi.ptMinTrackSize.x, width);
    EXPECT_EQ(mmi.ptMinTrackSize.y, height);
    ASSERT_TRUE(dragging) << "the drag did not start";
    ASSERT_TRUE(grew) << "the dialog did not grow";
    ASSERT_TRUE(stopped) << "the dialog did not follow the mouse back";
    EXPECT_EQ(shrunk.right - shrunk.left, width);
    EXPECT_EQ(shrunk.bottom - shrunk.top, height);
}

// A picture for the documentation: FOLIONEX_SCREENSHOTS names a folder.
TEST_F(CompareDlgTest, Screenshot)
{
    CString folder = ScreenshotFolder();
    if (folder.IsEmpty())
        GTEST_SKIP() << "FOLIONEX_SCREENSHOTS is not set";
    bool saved = false;
    CCompareDlg dlg;
    Fill(dlg);
    Run(dlg, [&](HWND wnd) {
        HWND list = Control(wnd, IDC_CMP_LIST);
        // Taken once the last row shows its colour.
        int last = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) - 1;
        EXPECT_TRUE(WaitUntil([&] { return ScreenArea(CellOnScreen(list, last, 6)).Count(0x000000) > 0; }));
        saved = SaveWindowBitmap(wnd, folder + L"\\compare-dialog.bmp");
        ClickId(wnd, IDCANCEL);
    });
    EXPECT_TRUE(saved);
}

} // namespace
