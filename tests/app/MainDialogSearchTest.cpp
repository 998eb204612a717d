// The main dialog's search and filters: the term builder, the lowering, the
// filter cut-offs as tables; the rows a fixed register shows under each
// filter and search, and the status texts, in a modeless main dialog.
#include <gtest/gtest.h>
#include <time.h>
#include <string>
#include <vector>
#include "MainDialogTestSupport.h"
#include "foundation/Progress.h"
#include "foundation/RegisteredMessages.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/UgyiratStore.h"

namespace {

using main_dialog_test::DateItem;

TEST(MainDialogSearch, TermsAreBuiltCharacterByCharacter)
{
    struct Case { const wchar_t* text; std::vector<std::wstring> terms; } cases[] = {
        {L"", {}},
        {L"   ", {}},
        {L",,,", {}},
        {L"kiss", {L"kiss"}},
        {L"kiss,2024", {L"kiss", L"2024"}},
        {L",,kovács ,  nagy", {L"kovács", L"nagy"}},
        {L"kovács ", {L"kovács "}},
        {L"  Nagy   Árpád  ,x", {L"nagy árpád", L"x"}},
        {L"a,,b", {L"a", L"b"}},
        {L"ÁRPÁD,ŐSZ,ÜGY,ÉVA,ÍRÓ,ÓRA,ÖL,ÚT,ŰR", {L"árpád", L"ősz", L"ügy", L"éva", L"író", L"óra", L"öl", L"út", L"űr"}},
        {L"ÇÑ", {L"ÇÑ"}},
    };
    for (const Case& c : cases) {
        std::wstring built = CVelindoDlg::BuildSearchTerms(c.text);
        ASSERT_GE(built.size(), 2u);
        EXPECT_EQ(built[built.size() - 1], 0);
        EXPECT_EQ(built[built.size() - 2], 0);
        std::vector<CString> terms = CVelindoDlg::SplitTerms(built.c_str());
        ASSERT_EQ(terms.size(), c.terms.size()) << CStringA(c.text).GetString();
        for (size_t i = 0; i < terms.size(); ++i)
            EXPECT_EQ(std::wstring(terms[i]), c.terms[i]) << CStringA(c.text).GetString();
    }
}

TEST(MainDialogSearch, TermsMatchLoweredFieldsOfAtMost200Characters)
{
    EXPECT_TRUE(CVelindoDlg::MatchSearchTerm(L"Árpád", L"árpád"));
    EXPECT_TRUE(CVelindoDlg::MatchSearchTerm(L"NAGY ÁRPÁD", L"y árp"));
    EXPECT_FALSE(CVelindoDlg::MatchSearchTerm(L"Kovács", L"kovács "));
    EXPECT_TRUE(CVelindoDlg::MatchSearchTerm(L"Kovács és társa", L"kovács "));
    EXPECT_FALSE(CVelindoDlg::MatchSearchTerm(L"", L"a"));
    std::wstring longField(200, L'x');
    longField += L"TAIL";
    EXPECT_FALSE(CVelindoDlg::MatchSearchTerm(longField.c_str(), L"tail"));
    EXPECT_TRUE(CVelindoDlg::MatchSearchTerm(longField.c_str(), L"xxx"));
}

TEST(MainDialogSearch, FilterEntriesDaysAndCutOffs)
{
    const wchar_t* texts[11] = {
        L"mind - [ Alt+e ]",
        L"lejár ma          - [ Ctrl+0 ]",
        L"lejár ma + 1 nap  - [ Ctrl+1 ]",
        L"lejár ma + 3 nap  - [ Ctrl+2 ]",
        L"lejár ma + 8 nap  - [ Ctrl+3 ]",
        L"lejár ma + 15 nap - [ Ctrl+4 ]",
        L"lejár ma + 30 nap - [ Ctrl+5 ]",
        L"lejár ma + 45 nap - [ Ctrl+6 ]",
        L"lejár valamikor   - [ Ctrl+7 ]",
        L"csak az aktív",
        L"csak a lezárt",
    };
    const int days[11] = {-1, 0, 1, 3, 8, 15, 30, 45, 999, -1, -1};
    for (int i = 0; i < 11; ++i) {
        EXPECT_STREQ(CVelindoDlg::FilterText(i), texts[i]);
        EXPECT_EQ(CVelindoDlg::FilterDays(i), days[i]) << i;
    }

    struct tm t = {};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 4;
    t.tm_mday = 17;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    __time64_t may17 = _mktime64(&t);
    EXPECT_EQ(CVelindoDlg::CutOffText(may17), CString(L"+2024.05.17."));
    EXPECT_EQ(CVelindoDlg::CutOffText(may17 + 15 * 86400), CString(L"+2024.06.01."));
    EXPECT_EQ(CVelindoDlg::CutOffText((__time64_t)-1), CString(L"+0.00.00."));
}

TEST(MainDialogSearch, DeadlineFilterComparesWatchedItemsAsText)
{
    const CString cutOff = L"+2024.05.17.";
    struct Case { const wchar_t* deadlines; bool passes; } cases[] = {
        {L"+2024.05.10. tárgyalás", true},         // overdue
        {L"+2024.05.17. ma", true},
        {L"+2024.05.18. holnap", false},
        {L"-2024.05.10. nem figyelt", false},
        {L"+2024.05.10.", false},                  // exactly 12 characters
        {L"+2024.05.10. ", true},
        {L"+2024.06.01. x|+2024.05.01. y", true},  // any item
        {L"-2024.05.01. x|+2025.01.01. y", false},
        {L"+2030.01.01. x|+1", true},              // a short tail compares by its characters
        {L"", false},
    };
    for (const Case& c : cases) {
        CUgyiratRecord r = MakeRecord(2024, 1, L"a", L"b", L"c", L"", c.deadlines);
        EXPECT_EQ(CVelindoDlg::PassesFilter(r, 1, cutOff), c.passes) << CStringA(c.deadlines).GetString();
    }
    CUgyiratRecord active = MakeRecord(2024, 1);
    active.Allapot = 1;
    CUgyiratRecord closed = MakeRecord(2024, 2);
    closed.Allapot = 0;
    EXPECT_TRUE(CVelindoDlg::PassesFilter(active, 9, cutOff));
    EXPECT_FALSE(CVelindoDlg::PassesFilter(closed, 9, cutOff));
    EXPECT_TRUE(CVelindoDlg::PassesFilter(closed, 10, cutOff));
    EXPECT_FALSE(CVelindoDlg::PassesFilter(active, 10, cutOff));
    EXPECT_TRUE(CVelindoDlg::PassesFilter(closed, 0, cutOff));
}

// A modeless main dialog over a fixed register held in memory.
class MainDialogRowsTest : public main_dialog_test::MainDialogFixture
{
protected:
    void SetUp() override
    {
        MainDialogFixture::SetUp();
        AddCase(2024, 1, L"Kiss Péter", L"Nagy Árpád", L"Polgári", L"iktatva 2024", DateItem(true, -7), 1);
        AddCase(2024, 2, L"Anna KOVÁCS", L"Szabó", L"Munkaügyi", L"", DateItem(true, 2), 0);
        AddCase(2024, 3, L"Tóth", L"Kiss Béla", L"Családjogi", L"", DateItem(false, 0), 1);
        AddCase(2025, 1, L"Árpád Kft.", L"Kovács és Nagy", L"Gazdasági", L"",
                DateItem(true, 20) + L"|" + DateItem(true, 500), 1);
        CString twelve = DateItem(true, 0, L"");
        twelve.TrimRight();
        AddCase(2023, 7, L"Horváth", L"Fekete", L"Büntető", L"", twelve, 0);
        ASSERT_TRUE(dlg.Create(CVelindoDlg::IDD, NULL));
    }

    void TearDown() override
    {
        if (dlg.GetSafeHwnd())
            dlg.DestroyWindow();
        MainDialogFixture::TearDown();
    }

    void AddCase(int ev, int nr, LPCWSTR client, LPCWSTR other, LPCWSTR kind, LPCWSTR remark, LPCWSTR deadlines,
                 int state)
    {
        CUgyiratRecord r = MakeRecord(ev, nr, client, other, kind, remark, deadlines);
        r.Allapot = state;
        database->m_pStore->m_records[UgyiratKey(r)] = r;
    }

    // The rows as "year/nr", top to bottom.
    std::vector<std::wstring> Rows()
    {
        std::vector<std::wstring> rows;
        CVelindoListCtrl& list = dlg.GetList();
        EXPECT_EQ(list.GetItemCount(), list.GetKeyCount());
        for (int i = 0; i < list.GetKeyCount(); ++i) {
            int key = list.GetKey(i);
            rows.push_back(std::to_wstring(key >> 16) + L"/" + std::to_wstring(key & 0xFFFF));
        }
        return rows;
    }

    void Show(int filter, LPCWSTR search)
    {
        ::SendDlgItemMessageW(dlg, 1051, CB_SETCURSEL, filter, 0);
        // The search box's change notification rebuilds the list.
        ::SetDlgItemTextW(dlg, 1006, search);
        dlg.RefreshList();
    }

    CVelindoDlg dlg;
};

TEST_F(MainDialogRowsTest, FiltersShowTheirRowsNewestFirst)
{
    typedef std::vector<std::wstring> R;
    struct Case { int filter; R rows; } cases[] = {
        {0, R{L"2025/1", L"2024/3", L"2024/2", L"2024/1", L"2023/7"}},
        {1, R{L"2024/1"}},
        {2, R{L"2024/1"}},
        {3, R{L"2024/2", L"2024/1"}},
        {4, R{L"2024/2", L"2024/1"}},
        {5, R{L"2024/2", L"2024/1"}},
        {6, R{L"2025/1", L"2024/2", L"2024/1"}},
        {7, R{L"2025/1", L"2024/2", L"2024/1"}},
        {8, R{L"2025/1", L"2024/2", L"2024/1"}},
        {9, R{L"2025/1", L"2024/3", L"2024/1"}},
        {10, R{L"2024/2", L"2023/7"}},
    };
    for (const Case& c : cases) {
        Show(c.filter, L"");
        EXPECT_EQ(Rows(), c.rows) << "filter " << c.filter;
    }
    Show(4, L"");
    EXPECT_EQ(dlg.GetCutOffText(), CVelindoDlg::CutOffText(_time64(NULL) + 8 * 86400));
}

TEST_F(MainDialogRowsTest, SearchLooksOnlyAtTheFourTextFields)
{
    typedef std::vector<std::wstring> R;
    struct Case { int filter; const wchar_t* search; R rows; CString status; } cases[] = {
        {0, L"kiss", R{L"2024/3", L"2024/1"}, L"2 / 5"},
        {0, L"kiss,2024", R{L"2024/1"}, L"1 / 5"},
        {0, L"ÁRPÁD", R{L"2025/1", L"2024/1"}, L"2 / 5"},
        {0, L"kovács", R{L"2025/1", L"2024/2"}, L"2 / 5"},
        {0, L"kovács ", R{L"2025/1"}, L"1 / 5"},
        {0, L",,kovács ,  nagy", R{L"2025/1"}, L"1 / 5"},
        {0, L"2025", R{}, L"0 / 5"},  // the year is not searched
        {10, L"anna", R{L"2024/2"}, L"1 / 5"},
        {9, L"kiss", R{L"2024/3", L"2024/1"}, L"2 / 5"},
    };
    for (const Case& c : cases) {
        Show(c.filter, c.search);
        EXPECT_EQ(Rows(), c.rows) << CStringA(c.search).GetString();
        EXPECT_EQ(testing_support::Text(::GetDlgItem(dlg, 1028)), c.status) << CStringA(c.search).GetString();
    }
    // Typing in the box alone rebuilds the list.
    ::SetDlgItemTextW(dlg, 1006, L"tóth");
    EXPECT_EQ(Rows(), R{L"2024/3"});
}

TEST_F(MainDialogRowsTest, StatusAndConnectionTextsFollowTheConnection)
{
    CConnectionManagerSqlServer* c = database->m_pConnection;
    struct Case { bool online; int mode; const wchar_t* line; const wchar_t* button; bool edit; } cases[] = {
        {true, 2, L"Adatabázis-kapcsolat: helyi szerverhez csatlakoztatva (online)", L"Leválaszt", true},
        {true, 3, L"Adatabázis-kapcsolat: távoli szerverhez csatlakoztatva  (online)", L"Leválaszt", true},
        {false, 2, L"Adatabázis-kapcsolat: leválasztott (offline)", L"Kapcsol", false},
        {true, 7, L"Adatabázis-kapcsolat: ??? 7 ???", L"Kapcsol", true},  // the caption stays
    };
    for (const Case& k : cases) {
        c->Online = k.online;
        c->SqlConnectionMode = k.mode;
        dlg.UpdateStatus();
        EXPECT_EQ(testing_support::Text(::GetDlgItem(dlg, 1032)), CString(k.line));
        EXPECT_EQ(testing_support::Text(::GetDlgItem(dlg, 1030)), CString(k.button));
        for (int id : {1001, 1002, 1003})
            EXPECT_EQ(::IsWindowEnabled(::GetDlgItem(dlg, id)) != FALSE, k.edit) << id;
    }
    database->m_pStore->m_records.clear();
    dlg.RefreshList();
    EXPECT_EQ(testing_support::Text(::GetDlgItem(dlg, 1028)), CString(L"0 / 0"));
}

TEST_F(MainDialogRowsTest, HotKeysSelectTheDeadlineFilters)
{
    // Ctrl+3 is hot key 13: entry 4, today + 8 days.
    dlg.SendMessage(WM_HOTKEY, 13, MAKELPARAM(MOD_CONTROL, '3'));
    EXPECT_EQ((int)::SendDlgItemMessageW(dlg, 1051, CB_GETCURSEL, 0, 0), 4);
    EXPECT_EQ(Rows(), (std::vector<std::wstring>{L"2024/2", L"2024/1"}));
    dlg.SendMessage(WM_HOTKEY, 10, MAKELPARAM(MOD_CONTROL, '0'));
    EXPECT_EQ(Rows(), (std::vector<std::wstring>{L"2024/1"}));
    // Ctrl+B: the list font one step larger; the options dialog's reset goes back.
    int initial = dlg.GetList().GetInitialFontHeight();
    dlg.SendMessage(WM_HOTKEY, 1, MAKELPARAM(MOD_CONTROL, 'B'));
    EXPECT_EQ(dlg.GetList().GetFontHeight(), CVelindoListCtrl::NextFontHeight(initial, initial, false));
    dlg.ResetListFont();
    EXPECT_EQ(dlg.GetList().GetFontHeight(), initial);
}

TEST_F(MainDialogRowsTest, ProgressRecordsMoveTheBarAndWriteTheStatusLine)
{
    auto post = [&](int kind, unsigned flags, int value, LPCWSTR text = NULL) {
        CProgressRecord* r = new CProgressRecord(kind, flags, value);
        if (text)
            r->m_firstText = text;
        // The handler owns and deletes the record.
        dlg.SendMessage(g_uMsgProgress, (WPARAM)r, 0);
    };
    const unsigned V = CProgressRecord::FLAG_VALUE, T = CProgressRecord::FLAG_FIRST_TEXT;
    // Before any start the range is 1.
    post(CProgressRecord::KIND_POSITION, V, 0);
    EXPECT_EQ(dlg.GetStatusProgress(), 0u);
    post(CProgressRecord::KIND_POSITION, V, 1);
    EXPECT_EQ(dlg.GetStatusProgress(), 100u);
    post(CProgressRecord::KIND_START, V, 200);
    EXPECT_EQ(dlg.GetStatusProgress(), 0u);
    post(CProgressRecord::KIND_POSITION, V | T, 50, L"Mentés folyamatban ...");
    EXPECT_EQ(dlg.GetStatusProgress(), 25u);
    EXPECT_EQ(testing_support::Text(::GetDlgItem(dlg, 1028)), CString(L"Mentés folyamatban ..."));
    // Without the value flag the bar stays.
    post(CProgressRecord::KIND_COMPLETED, T, 0, L"kész");
    EXPECT_EQ(dlg.GetStatusProgress(), 25u);
    post(CProgressRecord::KIND_COMPLETED, V, -1);
    EXPECT_EQ(dlg.GetStatusProgress(), 100u);
    post(CProgressRecord::KIND_START, V, 0);  // a range of 0 counts as 1
    post(CProgressRecord::KIND_POSITION, V, 1);
    EXPECT_EQ(dlg.GetStatusProgress(), 100u);
    post(CProgressRecord::KIND_START, V, 2000000000);
    post(CProgressRecord::KIND_POSITION, V, 1000000000);  // value * 100 does not wrap
    EXPECT_EQ(dlg.GetStatusProgress(), 50u);
    EXPECT_EQ(testing_support::Text(::GetDlgItem(dlg, 1028)), CString(L"kész"));
}

// The rows the list shows against the walk over the whole map (every
// record lowered field by field), for every filter and a table of searches
// over Hungarian letters, empty fields and the longest fields.
class MainDialogIndexedSearchTest : public MainDialogRowsTest
{
protected:
    std::vector<std::wstring> Walk(int filter, LPCWSTR search)
    {
        std::wstring built = CVelindoDlg::BuildSearchTerms(search);
        std::vector<CString> terms = CVelindoDlg::SplitTerms(built.c_str());
        std::vector<std::wstring> rows;
        const CUgyiratStore::RecordMap& records = database->m_pStore->m_records;
        for (auto it = records.rbegin(); it != records.rend(); ++it)
            if (CVelindoDlg::PassesFilter(it->second, filter, dlg.GetCutOffText()) &&
                CVelindoDlg::PassesSearch(it->second, terms))
                rows.push_back(std::to_wstring(it->first >> 16) + L"/" + std::to_wstring(it->first & 0xFFFF));
        return rows;
    }

    void ExpectWalk(const std::vector<const wchar_t*>& searches, const char* step)
    {
        for (const wchar_t* search : searches)
            for (int filter = 0; filter < CVelindoDlg::kFilterCount; ++filter) {
                Show(filter, search);
                EXPECT_EQ(Rows(), Walk(filter, search))
                    << step << ": filter " << filter << ", search " << CStringA(search).GetString();
            }
    }
};

TEST_F(MainDialogIndexedSearchTest, RowsAreThoseOfTheWalkUnderEveryFilter)
{
    std::wstring longest(199, L'a');
    longest += L'Ő';
    const std::wstring names[] = {L"Kovács Béla", L"KOVÁCS ÖDÖN", L"Őrház Kft.", L"ŰRHAJÓ ÜGY",
                                  L"árvíztűrő tükörfúrógép", L"ÁRVÍZTŰRŐ TÜKÖRFÚRÓGÉP", L"", L"Nagy  Éva",
                                  L"x\x0001Y", longest, L"Çelik Ñandú", L"ÍRÓ ÓRA ÚT"};
    const int n = sizeof(names) / sizeof(names[0]);
    CString twelve = DateItem(true, 0, L"");
    twelve.TrimRight();
    const CString deadlines[] = {DateItem(true, -3), DateItem(true, 1), DateItem(false, 0), L"",
                                 DateItem(true, 20) + L"|" + DateItem(true, 500), twelve, DateItem(true, 9)};
    for (int i = 0; i < 150; ++i)
        AddCase(2020 + i % 4, 1 + i, names[i % n].c_str(), names[(i * 5 + 1) % n].c_str(),
                names[(i * 7 + 2) % n].c_str(), names[(i / 3) % n].c_str(), deadlines[i % 7], i % 3);
    const std::vector<const wchar_t*> searches = {
        L"", L"kov", L"KOVÁCS", L"ő", L"Ű", L"árvíztűrő", L"ÁRVÍZTŰRŐ tükör", L"kov, nagy", L"a,ő,ü",
        L"nagy  éva", L"nagy éva", L"éva ", L"x\x0001y", L"\x0001", L"zzz", L"ç", L"aaaő", L"aaaaaaaaaaő",
        L"író óra út", L"kiss", L" , ,", L"ÁRPÁD"};
    ExpectWalk(searches, "register");

    // Changed past the store's operations: the next search sees the change.
    CUgyiratRecord* changed = &database->m_pStore->m_records[MakeUgyiratKey(2021, 2)];
    CopyField(changed->UgyfelNeve, L"Zöld Kovácsné");
    AddCase(2026, 1, L"új ŐRSÉG", L"", L"", L"", L"", 1);
    database->m_pStore->m_records.erase(MakeUgyiratKey(2020, 1));
    ExpectWalk({L"kov", L"zöld", L"őrs", L"árvíz"}, "changed");
}

} // namespace
