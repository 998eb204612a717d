// The deadline list text: parsing, its errors, the written and displayed
// forms, the order; and the deadline dialog driven in-process.
#include <gtest/gtest.h>
#include <time.h>
#include "afxexc.h"
#include "app/Hatarido.h"
#include "app/HataridoDlg.h"
#include "resources/resource.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"
#include "../afx/WindowTestSupport.h"

namespace {

using namespace testing_support;

// Local midnight of a day, as the parser makes it.
__time64_t LocalDay(int year, int month, int day)
{
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_isdst = -1;
    return _mktime64(&t);
}

// The code a parse raised, S_OK when it raised none.
HRESULT ParseError(LPCWSTR text)
{
    try {
        CHatarido h;
        h.ParseDate(text);
    } catch (CComErrorException* e) {
        HRESULT hr = e->Error();
        e->Delete();
        return hr;
    }
    return S_OK;
}

HRESULT ListError(LPCWSTR text)
{
    try {
        ParseDeadlineList(text, true, true);
    } catch (CComErrorException* e) {
        HRESULT hr = e->Error();
        e->Delete();
        return hr;
    }
    return S_OK;
}

TEST(DeadlineTextTest, ItemsParseToFlagDateAndRemark)
{
    struct Case
    {
        const wchar_t* item;
        int watched;
        int year, month, day;
        const wchar_t* remark;
    } cases[] = {
        {L"+2024.03.05. tárgyalás", 1, 2024, 3, 5, L"tárgyalás"},
        {L"-2024.01.10. ", 0, 2024, 1, 10, L""},
        {L"+2024.01.10.", 1, 2024, 1, 10, L""},                    // 12 characters: no remark
        {L"*2030.12.31.Xhatáridő", 0, 2030, 12, 31, L"határidő"}, // character 12 is skipped whatever it is
        {L"+2024.02.31. ", 1, 2024, 3, 2, L""},                    // 31 February rolls over into March
    };
    for (const Case& c : cases) {
        CHatarido h = CHatarido::Parse(c.item);
        EXPECT_EQ(h.m_nWatched, c.watched) << c.item;
        EXPECT_EQ(h.m_tDate, LocalDay(c.year, c.month, c.day)) << c.item;
        EXPECT_EQ(h.m_strRemark, CString(c.remark)) << c.item;
    }
}

TEST(DeadlineTextTest, DatesThatDoNotParseRaiseTheComError)
{
    struct Case
    {
        const wchar_t* text;
        HRESULT hr;
    } cases[] = {
        {L"2024.13.01.", E_FAIL},   // month 13
        {L"1969.12.31.", E_FAIL},   // before 1970
        {L"2024.00.10.", E_FAIL},
        {L"2024.01.32.", E_FAIL},
        {L"2024.01.00.", E_FAIL},
        {L"", E_FAIL},
        {L"0.00.00.", E_FAIL},       // what an unconvertible date would be written as
        {L"abcd.01.01.", E_FAIL},
        {L"2024", E_FAIL},           // shorter than the fields: missing ones are no digits
        {L"3001.01.01.", E_INVALIDARG}, // past what the local-time conversion holds
        {L"2024.01.10.", S_OK},
        {L"2024. 01. 10.", S_OK},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseError(c.text), c.hr) << CStringA(c.text).GetString();
}

TEST(DeadlineTextTest, WrittenAndDisplayedFormsRoundTrip)
{
    CHatarido h;
    h.ParseDate(L"2024.03.05.");
    EXPECT_EQ(h.FormatDate(), CString(L"2024. 03. 05."));
    CHatarido again;
    again.ParseDate(h.FormatDate());
    EXPECT_EQ(again.m_tDate, h.m_tDate);

    const CString text = L"+2024.03.05. tárgyalás|-2024.01.10. |+2025.12.01. fellebbezés határideje";
    std::vector<CHatarido> list = ParseDeadlineList(text, true, false);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(FormatDeadlineList(list), text);
    EXPECT_EQ(MakeDeadlineItem(true, L"2024. 03. 05.", L"x"), CString(L"+2024.03.05. x"));
}

TEST(DeadlineTextTest, ListSplittingAndFilter)
{
    EXPECT_TRUE(ParseDeadlineList(L"", true, true).empty());
    EXPECT_TRUE(ParseDeadlineList(L"+2024.01.1", true, true).empty()) << "fewer than 12 characters";

    std::vector<CHatarido> watchedOnly = ParseDeadlineList(L"-2024.01.10. a|+2024.03.05. b", false, false);
    ASSERT_EQ(watchedOnly.size(), 1u);
    EXPECT_EQ(watchedOnly[0].m_strRemark, CString(L"b"));

    // A "|" in a remark: a short rest is lost or taken into one garbled item...
    std::vector<CHatarido> cut = ParseDeadlineList(L"+2024.01.10. a|b", true, false);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].m_strRemark, CString(L"a"));
    // ...and a segment that does not start with a date raises the error.
    EXPECT_EQ(ListError(L"+2024.01.10. a|b|+2024.03.05. c"), E_FAIL);
    EXPECT_EQ(ListError(L"+2024.01.10. a|long remark text|+2024.03.05. c"), E_FAIL);
    EXPECT_EQ(ListError(L"+2024.01.10. a|+2024.03.05. c"), S_OK);
}

TEST(DeadlineTextTest, WatchedFirstThenByDate)
{
    std::vector<CHatarido> list =
        ParseDeadlineList(L"-2024.01.10. |+2024.03.05. b|-2023.06.01. c|+2024.02.01. d", true, true);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].m_strRemark, CString(L"d"));
    EXPECT_EQ(list[1].m_strRemark, CString(L"b"));
    EXPECT_EQ(list[2].m_strRemark, CString(L"c"));
    EXPECT_EQ(list[3].m_strRemark, CString(L""));
    EXPECT_EQ(list[3].m_nWatched, 0);

    CHatarido a, b;
    a.m_tDate = b.m_tDate = LocalDay(2024, 1, 1);
    EXPECT_FALSE(CompareDeadlines(a, b));
    a.m_nWatched = 1;
    b.m_tDate = LocalDay(2020, 1, 1);
    EXPECT_TRUE(CompareDeadlines(a, b));
    EXPECT_FALSE(CompareDeadlines(b, a));
}

// ---------------------------------------------------------------------------
// The deadline dialog

class DeadlineDialogTest : public ::testing::Test
{
protected:
    void SetUp() override { window_test::InitOnce(); }

    // Runs the dialog loaded with deadline; script acts on its window.
    INT_PTR Run(CHataridoDlg& dlg, const std::function<void(HWND)>& script)
    {
        window_test::CWatchdog watchdog(60000);
        CWindowDriver driver([&] {
            HWND wnd = WaitForWindow(L"#32770", L"Határidő szerkesztése");
            ASSERT_TRUE(wnd);
            script(wnd);
        });
        INT_PTR result = dlg.DoModal();
        EXPECT_FALSE(driver.Join()) << "the dialog had to be ended by the watchdog";
        return result;
    }
};

TEST_F(DeadlineDialogTest, LoadsTheDeadlineAndCutsTheRemarkTo40)
{
    CHatarido h;
    h.m_nWatched = 1;
    h.ParseDate(L"2024.03.05.");
    h.m_strRemark = L"régi";
    CHataridoDlg dlg;
    dlg.SetDeadline(h);
    CString shownRemark;
    bool ticked = false;
    SYSTEMTIME shownDate = {};
    INT_PTR result = Run(dlg, [&](HWND wnd) {
        shownRemark = Text(Control(wnd, IDC_HAT_REMARK));
        ticked = IsChecked(Control(wnd, IDC_HAT_WATCHED));
        SendMessageW(Control(wnd, IDC_HAT_DATE), DTM_GETSYSTEMTIME, 0, (LPARAM)&shownDate);
        SetWindowTextW(Control(wnd, IDC_HAT_REMARK), L"0123456789012345678901234567890123456789abcde");
        Tick(Control(wnd, IDC_HAT_WATCHED), false);
        ClickId(wnd, IDOK);
        WaitForWindowGone(wnd);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(shownRemark, CString(L"régi"));
    EXPECT_TRUE(ticked);
    EXPECT_EQ(shownDate.wYear, 2024);
    EXPECT_EQ(shownDate.wMonth, 3);
    EXPECT_EQ(shownDate.wDay, 5);
    CHatarido out = dlg.GetDeadline();
    EXPECT_EQ(out.m_strRemark, CString(L"0123456789012345678901234567890123456789"));
    EXPECT_EQ(out.m_nWatched, 0);
    EXPECT_EQ(out.FormatDate(), CString(L"2024. 03. 05."));
}

TEST_F(DeadlineDialogTest, RefusesABarInTheRemark)
{
    window_test::CMessageBoxCatcher catcher;
    CHataridoDlg dlg;
    CHatarido h;
    h.ParseDate(L"2024.03.05.");
    dlg.SetDeadline(h);
    bool stayedOpen = false;
    INT_PTR result = Run(dlg, [&](HWND wnd) {
        SetWindowTextW(Control(wnd, IDC_HAT_REMARK), L"a|b");
        ClickId(wnd, IDOK);
        Sleep(500);
        stayedOpen = IsWindow(wnd) && IsWindowVisible(wnd);
        SetWindowTextW(Control(wnd, IDC_HAT_REMARK), L"a b");
        ClickId(wnd, IDOK);
        WaitForWindowGone(wnd);
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].caption, CString(L"Hibás adatmegadás"));
    EXPECT_EQ(catcher.boxes[0].text, CString(L"A megjegyzés nem tartalmazhat \"|\" karaktert!"));
    EXPECT_EQ(dlg.GetDeadline().m_strRemark, CString(L"a b"));
}

TEST_F(DeadlineDialogTest, ThePickerOffersOnlyDaysTheTextCanHold)
{
    CHataridoDlg dlg;
    CHatarido h;
    h.ParseDate(L"2024.03.05.");
    dlg.SetDeadline(h);
    SYSTEMTIME range[2] = {};
    DWORD flags = 0;
    SYSTEMTIME after = {};
    Run(dlg, [&](HWND wnd) {
        HWND picker = Control(wnd, IDC_HAT_DATE);
        flags = (DWORD)SendMessageW(picker, DTM_GETRANGE, 0, (LPARAM)range);
        SYSTEMTIME early = {};
        early.wYear = 1960;
        early.wMonth = 5;
        early.wDay = 1;
        SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&early);
        SendMessageW(picker, DTM_GETSYSTEMTIME, 0, (LPARAM)&after);
        ClickId(wnd, IDCANCEL);
        WaitForWindowGone(wnd);
    });
    EXPECT_EQ(flags, (DWORD)(GDTR_MIN | GDTR_MAX));
    EXPECT_EQ(range[0].wYear, 1970);
    EXPECT_EQ(range[1].wYear, 3000);
    EXPECT_NE(after.wYear, 1960) << "a day before 1970 cannot be picked";
}

TEST_F(DeadlineDialogTest, TheFirstAndLastDaysAreComparedWholeNotByYear)
{
    // The picker's own range aside (as a typed date may slip past it), the
    // dialog itself refuses a day outside the range.
    struct {
        WORD year, month, day;
        bool taken;
    } cases[] = {
        {1970, 1, 1, false}, {1970, 1, 2, true}, {3000, 12, 31, true}, {1969, 12, 31, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
        CHataridoDlg dlg;
        CHatarido h;
        h.ParseDate(L"2024.03.05.");
        dlg.SetDeadline(h);
        CString refusal;
        INT_PTR result = Run(dlg, [&](HWND wnd) {
            HWND picker = Control(wnd, IDC_HAT_DATE);
            SendMessageW(picker, DTM_SETRANGE, 0, 0);
            SYSTEMTIME st = {};
            st.wYear = c.year;
            st.wMonth = c.month;
            st.wDay = c.day;
            SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&st);
            ClickId(wnd, IDOK);
            if (c.taken) {
                WaitForWindowGone(wnd);
                return;
            }
            // The refusal's box; once it is gone the dialog is still there.
            HWND box = WaitForWindow(L"#32770", L"Hibás adatmegadás");
            ASSERT_TRUE(box);
            refusal = Text(Control(box, 0xFFFF));
            ClickId(box, IDOK);
            ASSERT_TRUE(WaitForWindowGone(box));
            ASSERT_TRUE(IsWindow(wnd));
            ClickId(wnd, IDCANCEL);
            WaitForWindowGone(wnd);
        });
        EXPECT_EQ(result, c.taken ? IDOK : IDCANCEL);
        EXPECT_EQ(refusal, c.taken ? CString() : CString(L"A határidő dátuma 1970. 01. 02. és 3000. 12. 31. között lehet!"));
    }
}

} // namespace
