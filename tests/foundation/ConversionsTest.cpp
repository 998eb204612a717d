#include <gtest/gtest.h>
#include "foundation/Conversions.h"
#include "ConversionsTestRes.h"
#include <string>

namespace {

std::string Bytes(const CStringA& s)
{
    return s.str();
}

std::wstring Wide(const CString& s)
{
    return s.str();
}

// ---------------------------------------------------------------------------
// Texts

TEST(TextConversion, NullAndEmptyGiveEmptyText)
{
    EXPECT_EQ(Bytes(WideToUtf8(NULL)), "");
    EXPECT_EQ(Bytes(WideToUtf8(L"")), "");
    EXPECT_EQ(Wide(Utf8ToWide(NULL)), L"");
    EXPECT_EQ(Wide(Utf8ToWide("")), L"");
    EXPECT_EQ(Bytes(WideToCp1250(NULL)), "");
    EXPECT_EQ(Bytes(WideToCp1250(L"")), "");
    EXPECT_EQ(Wide(Cp1250ToWide(NULL)), L"");
    EXPECT_EQ(Wide(Cp1250ToWide("")), L"");
    EXPECT_EQ(Bytes(Utf8ToCp1250(NULL)), "");
    EXPECT_EQ(Bytes(Cp1250ToUtf8("")), "");
    EXPECT_EQ(Wide(MakeWideString(NULL)), L"");
    EXPECT_EQ(Wide(MakeWideString(L"")), L"");
}

TEST(TextConversion, ResultFormsReplaceTheCallersText)
{
    CStringA narrow("old");
    CString wide(L"old");
    WideToUtf8(L"ő", narrow);
    EXPECT_EQ(Bytes(narrow), "\xC5\x91");
    WideToUtf8(NULL, narrow);
    EXPECT_EQ(Bytes(narrow), "");
    Utf8ToWide("\xC5\xB1", wide);
    EXPECT_EQ(Wide(wide), L"ű");
    Utf8ToWide("", wide);
    EXPECT_EQ(Wide(wide), L"");
    narrow = "old";
    WideToCp1250(L"Ő", narrow);
    EXPECT_EQ(Bytes(narrow), "\xD5");
    wide = L"old";
    Cp1250ToWide("\xDB", wide);
    EXPECT_EQ(Wide(wide), L"Ű");
    Utf8ToCp1250("\xC5\x91", narrow);
    EXPECT_EQ(Bytes(narrow), "\xF5");
    Cp1250ToUtf8("\xFB", narrow);
    EXPECT_EQ(Bytes(narrow), "\xC5\xB1");
}

struct TextCase {
    LPCWSTR wide;
    const char* utf8;
    const char* cp1250;
};

const TextCase kHungarianTexts[] = {
    {L"ő", "\xC5\x91", "\xF5"},
    {L"ű", "\xC5\xB1", "\xFB"},
    {L"Ő", "\xC5\x90", "\xD5"},
    {L"Ű", "\xC5\xB0", "\xDB"},
    {L"áéíóöú ü", "\xC3\xA1\xC3\xA9\xC3\xAD\xC3\xB3\xC3\xB6\xC3\xBA \xC3\xBC", "\xE1\xE9\xED\xF3\xF6\xFA \xFC"},
    {L"ÁÉÍÓÖÚÜ", "\xC3\x81\xC3\x89\xC3\x8D\xC3\x93\xC3\x96\xC3\x9A\xC3\x9C", "\xC1\xC9\xCD\xD3\xD6\xDA\xDC"},
    {L"Árvíztűrő tükörfúrógép",
     "\xC3\x81rv\xC3\xADzt\xC5\xB1r\xC5\x91 t\xC3\xBCk\xC3\xB6rf\xC3\xBAr\xC3\xB3g\xC3\xA9p",
     "\xC1rv\xEDzt\xFBr\xF5 t\xFCk\xF6rf\xFAr\xF3g\xE9p"},
    {L"2024/15 – 100 €", "2024/15 \xE2\x80\x93 100 \xE2\x82\xAC", "2024/15 \x96 100 \x80"},
    {L"Plain ASCII 123", "Plain ASCII 123", "Plain ASCII 123"},
};

TEST(TextConversion, HungarianLettersInEveryDirection)
{
    for (const auto& c : kHungarianTexts) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(Bytes(WideToUtf8(c.wide)), c.utf8);
        EXPECT_EQ(Wide(Utf8ToWide(c.utf8)), c.wide);
        EXPECT_EQ(Bytes(WideToCp1250(c.wide)), c.cp1250);
        EXPECT_EQ(Wide(Cp1250ToWide(c.cp1250)), c.wide);
        EXPECT_EQ(Bytes(Utf8ToCp1250(c.utf8)), c.cp1250);
        EXPECT_EQ(Bytes(Cp1250ToUtf8(c.cp1250)), c.utf8);
        // Round trips through each narrow form.
        EXPECT_EQ(Wide(Utf8ToWide(WideToUtf8(c.wide))), c.wide);
        EXPECT_EQ(Wide(Cp1250ToWide(WideToCp1250(c.wide))), c.wide);
    }
}

TEST(TextConversion, InvalidInputIsReplacedNotRefused)
{
    // UTF-8 that is cut short, a stray continuation byte, an overlong form
    // and a byte that never occurs: each bad sequence becomes U+FFFD and the
    // rest of the text stays.
    struct {
        const char* utf8;
        LPCWSTR wide;
    } cases[] = {
        {"a\xC5", L"a\xFFFD"},
        {"a\x80z", L"a\xFFFDz"},
        {"\xFFok", L"\xFFFDok"},
        {"x\xC5\x91\xE2\x82y", L"x\x0151\xFFFDy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(Wide(Utf8ToWide(c.utf8)), c.wide);
    }
    CString overlong = Utf8ToWide("<\xC0\xAF>");
    EXPECT_EQ(overlong.GetAt(0), L'<');
    EXPECT_EQ(overlong.GetAt(overlong.GetLength() - 1), L'>');
    EXPECT_EQ(overlong.Find(L'/'), -1) << "an overlong slash must not decode as a slash";

    // A letter that code page 1250 lacks becomes the code page's default
    // character; a lone surrogate still gives UTF-8 text.
    EXPECT_EQ(Bytes(WideToCp1250(L"a\x0436z")), "a?z");
    CStringA lone = WideToUtf8(L"a\xD800z");
    EXPECT_FALSE(lone.IsEmpty());
    EXPECT_EQ(lone.GetAt(0), 'a');
    EXPECT_EQ(lone.GetAt(lone.GetLength() - 1), 'z');
}

TEST(TextConversion, TextEndsAtTheFirstTerminator)
{
    const char withNul[] = "ab\0cd";
    EXPECT_EQ(Wide(Utf8ToWide(withNul)), L"ab");
    EXPECT_EQ(Bytes(WideToUtf8(CString(L"\x0151x\0y", 4))), "\xC5\x91x");
}

TEST(TextConversion, LongTextConvertsWhole)
{
    CString wide(L'ű', 100000);
    CStringA utf8 = WideToUtf8(wide);
    EXPECT_EQ(utf8.GetLength(), 200000);
    EXPECT_EQ(Wide(Utf8ToWide(utf8)), Wide(wide));
    EXPECT_EQ(WideToCp1250(wide).GetLength(), 100000);
}

TEST(TextConversion, MakeWideStringCopiesTextOrLoadsTheStringTable)
{
    wchar_t buffer[] = L"Ügyirat őrző";
    CString copy = MakeWideString(buffer);
    buffer[0] = L'X';
    EXPECT_EQ(Wide(copy), L"Ügyirat őrző");
    EXPECT_EQ(Wide(MakeWideString(MAKEINTRESOURCEW(IDS_CONVERSIONS_TEST))), L"Őrző űrlap – próba");
    EXPECT_EQ(Wide(MakeWideString(MAKEINTRESOURCEW(IDS_CONVERSIONS_TEST + 1))), L"");
}

// ---------------------------------------------------------------------------
// Dates

DBTIMESTAMP Ts(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, ULONG fraction = 0)
{
    DBTIMESTAMP ts;
    ts.year = (SHORT)year;
    ts.month = (USHORT)month;
    ts.day = (USHORT)day;
    ts.hour = (USHORT)hour;
    ts.minute = (USHORT)minute;
    ts.second = (USHORT)second;
    ts.fraction = fraction;
    return ts;
}

// The formula the backup file's numbers were always made with, in signed
// 32-bit arithmetic with truncating division; valid where nothing overflows.
int32_t StoredFormula(const DBTIMESTAMP& ts)
{
    static const int32_t before[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int32_t year = ts.year;
    int32_t days = (year - 1970) * 365 + (year - 1969) / 4;
    if (ts.month >= 2 && ts.month <= 12) {
        days += before[ts.month];
        if (ts.month >= 3 && year % 4 == 0)
            days += 1;
    }
    return (((days + ts.day - 1) * 24 + ts.hour) * 60 + ts.minute) * 60 + ts.second;
}

// The real (Gregorian) calendar, from the system.
__int64 SystemSeconds(const DBTIMESTAMP& ts)
{
    SYSTEMTIME st = {};
    st.wYear = (WORD)ts.year;
    st.wMonth = ts.month;
    st.wDay = ts.day;
    st.wHour = ts.hour;
    st.wMinute = ts.minute;
    st.wSecond = ts.second;
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft))
        return INT64_MIN;
    ULARGE_INTEGER u;
    u.LowPart = ft.dwLowDateTime;
    u.HighPart = ft.dwHighDateTime;
    return (__int64)(u.QuadPart / 10000000ULL) - 11644473600LL;
}

bool SameFields(const DBTIMESTAMP& a, const DBTIMESTAMP& b)
{
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
           a.second == b.second && a.fraction == b.fraction;
}

TEST(DateConversion, RecordLayoutIsTheOleDbTimestamp)
{
    EXPECT_EQ(sizeof(DBTIMESTAMP), 16u);
    EXPECT_EQ(offsetof(DBTIMESTAMP, second), 10u);
    EXPECT_EQ(offsetof(DBTIMESTAMP, fraction), 12u);
}

TEST(DateConversion, KnownDates)
{
    struct {
        DBTIMESTAMP ts;
        __int64 seconds;
    } cases[] = {
        {Ts(1970, 1, 1), 0},
        {Ts(1970, 1, 2), 86400},
        {Ts(1970, 1, 1, 0, 0, 1, 999999999), 1}, // the fraction is ignored
        {Ts(1969, 12, 31, 23, 59, 59), -1},
        {Ts(1969, 1, 1), -31536000},
        {Ts(1968, 12, 31), -31622400},
        {Ts(1968, 1, 1), -63158400}, // the old truncating count was a day short here
        {Ts(1966, 1, 1), -126230400},
        {Ts(1965, 1, 1), -157766400},
        {Ts(1901, 12, 13, 20, 45, 52), INT32_MIN},
        {Ts(2024, 2, 29), 1709164800},
        {Ts(2024, 3, 1), 1709251200},
        {Ts(2025, 3, 24, 9, 32, 45), 1742808765},
        {Ts(2038, 1, 19, 3, 14, 7), INT32_MAX},
        {Ts(2038, 1, 19, 3, 14, 8), 2147483648LL},
        {Ts(2100, 3, 1), 4107628800LL}, // no century rule: 2100 counts a 29th of February
        {Ts(0, 0, 0), -62168601600LL}, // an all-zero record
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ts.year << "-" << c.ts.month << "-" << c.ts.day << " " << c.ts.hour
                                        << ":" << c.ts.minute << ":" << c.ts.second);
        EXPECT_EQ(DbTimestampToSeconds64(c.ts), c.seconds);
    }
    EXPECT_EQ(DbTimestampToSeconds64(Ts(2024, 3, 1)) - DbTimestampToSeconds64(Ts(2024, 2, 1)), 29 * 86400);
    EXPECT_EQ(DbTimestampToSeconds64(Ts(2100, 3, 1)) - DbTimestampToSeconds64(Ts(2100, 2, 1)), 29 * 86400);
}

TEST(DateConversion, MonthOutsideOneToTwelveCountsAsJanuary)
{
    for (int month : {0, 13, 200}) {
        SCOPED_TRACE(month);
        EXPECT_EQ(DbTimestampToSeconds64(Ts(2024, month, 5, 6, 7, 8)), DbTimestampToSeconds64(Ts(2024, 1, 5, 6, 7, 8)));
    }
}

TEST(DateConversion, ThirtyTwoBitCountTellsAndClampsOutOfRange)
{
    struct {
        DBTIMESTAMP ts;
        int seconds;
        bool inRange;
    } cases[] = {
        {Ts(2038, 1, 19, 3, 14, 7), INT32_MAX, true},
        {Ts(2038, 1, 19, 3, 14, 8), INT32_MAX, false},
        {Ts(2100, 1, 1), INT32_MAX, false},
        {Ts(32767, 12, 31, 23, 59, 59), INT32_MAX, false},
        {Ts(1901, 12, 13, 20, 45, 52), INT32_MIN, true},
        {Ts(1901, 12, 13, 20, 45, 51), INT32_MIN, false},
        {Ts(0, 0, 0), INT32_MIN, false},
        {Ts(-32768, 1, 1), INT32_MIN, false},
        {Ts(2025, 3, 24, 9, 32, 45), 1742808765, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ts.year << "-" << c.ts.month << "-" << c.ts.day);
        bool inRange = !c.inRange;
        EXPECT_EQ(DbTimestampToSeconds(c.ts, &inRange), c.seconds);
        EXPECT_EQ(inRange, c.inRange);
        EXPECT_EQ(DbTimestampToSeconds(c.ts), c.seconds);
        EXPECT_EQ(DbSecondsInRange(DbTimestampToSeconds64(c.ts)), c.inRange);
    }
}

TEST(DateConversion, EverySecondCountOfTheStoredRangeIsUnchanged)
{
    // Every day from 1969-01-01 to 2038-01-18 at a few times of day, then
    // the last day up to the last second that fits.
    const int times[][3] = {{0, 0, 0}, {0, 0, 1}, {9, 32, 45}, {12, 0, 0}, {23, 59, 59}};
    int checked = 0;
    for (__int64 s = -31536000LL; s < 2147472000LL; s += 86400) {
        DBTIMESTAMP day;
        ASSERT_TRUE(SecondsToDbTimestamp(s, day));
        for (const auto& t : times) {
            DBTIMESTAMP ts = Ts(day.year, day.month, day.day, t[0], t[1], t[2]);
            ASSERT_EQ(DbTimestampToSeconds64(ts), StoredFormula(ts))
                << ts.year << "-" << ts.month << "-" << ts.day << " " << t[0] << ":" << t[1] << ":" << t[2];
            ++checked;
        }
    }
    for (int hour = 0; hour <= 3; ++hour) {
        for (int minute = 0; minute < 60 && (hour < 3 || minute <= 14); ++minute) {
            DBTIMESTAMP ts = Ts(2038, 1, 19, hour, minute, hour == 3 && minute == 14 ? 7 : 59);
            bool inRange = false;
            ASSERT_EQ(DbTimestampToSeconds(ts, &inRange), StoredFormula(ts));
            ASSERT_TRUE(inRange);
        }
    }
    EXPECT_GT(checked, 25000 * 5);
}

TEST(DateConversion, RealCalendarFrom1901To2099BothWays)
{
    for (__int64 s = SystemSeconds(Ts(1901, 1, 1)); s <= SystemSeconds(Ts(2099, 12, 31)); s += 86400 + 3661) {
        DBTIMESTAMP ts;
        ts.fraction = 77;
        ASSERT_TRUE(SecondsToDbTimestamp(s, ts)) << s;
        EXPECT_EQ(ts.fraction, 0u);
        ASSERT_EQ(SystemSeconds(ts), s) << ts.year << "-" << ts.month << "-" << ts.day;
        ASSERT_EQ(DbTimestampToSeconds64(ts), s) << ts.year << "-" << ts.month << "-" << ts.day;
    }
}

TEST(DateConversion, SecondsBackToRecord)
{
    struct {
        __int64 seconds;
        DBTIMESTAMP ts;
    } cases[] = {
        {0, Ts(1970, 1, 1)},
        {-1, Ts(1969, 12, 31, 23, 59, 59)},
        {-63158400, Ts(1968, 1, 1)},
        {-63158401, Ts(1967, 12, 31, 23, 59, 59)},
        {INT32_MIN, Ts(1901, 12, 13, 20, 45, 52)},
        {INT32_MAX, Ts(2038, 1, 19, 3, 14, 7)},
        {1709164800, Ts(2024, 2, 29)},
        {1709251199, Ts(2024, 2, 29, 23, 59, 59)},
        {4107542400LL, Ts(2100, 2, 29)},
        {1735689599, Ts(2024, 12, 31, 23, 59, 59)},
        {-62168515200LL, Ts(0, 1, 1)},
        {-62168515201LL, Ts(-1, 12, 31, 23, 59, 59)}, // before year 0, the same calendar
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        DBTIMESTAMP ts = Ts(1, 2, 3, 4, 5, 6, 7);
        ASSERT_TRUE(SecondsToDbTimestamp(c.seconds, ts));
        EXPECT_TRUE(SameFields(ts, c.ts)) << ts.year << "-" << ts.month << "-" << ts.day << " " << ts.hour << ":"
                                          << ts.minute << ":" << ts.second;
        EXPECT_EQ(DbTimestampToSeconds64(ts), c.seconds);
    }
}

TEST(DateConversion, SecondsBeyondTheRecordsYearsAreRefused)
{
    const DBTIMESTAMP before = Ts(2000, 6, 7, 8, 9, 10, 11);
    for (__int64 seconds : {INT64_MAX, INT64_MIN, DbTimestampToSeconds64(Ts(32767, 12, 31, 23, 59, 59)) + 1,
                            DbTimestampToSeconds64(Ts(-32768, 1, 1)) - 1}) {
        SCOPED_TRACE(seconds);
        DBTIMESTAMP ts = before;
        EXPECT_FALSE(SecondsToDbTimestamp(seconds, ts));
        EXPECT_TRUE(SameFields(ts, before));
    }
    DBTIMESTAMP ts;
    EXPECT_TRUE(SecondsToDbTimestamp(DbTimestampToSeconds64(Ts(32767, 12, 31, 23, 59, 59)), ts));
    EXPECT_TRUE(SameFields(ts, Ts(32767, 12, 31, 23, 59, 59)));
    EXPECT_TRUE(SecondsToDbTimestamp(DbTimestampToSeconds64(Ts(-32768, 1, 1)), ts));
    EXPECT_TRUE(SameFields(ts, Ts(-32768, 1, 1)));
}

TEST(DateConversion, CurrentTimestampIsTheLocalClock)
{
    SYSTEMTIME before, after;
    DBTIMESTAMP ts = Ts(1, 2, 3, 4, 5, 6, 123456);
    GetLocalTime(&before);
    DBTIMESTAMP& returned = GetCurrentDbTimestamp(ts);
    GetLocalTime(&after);
    EXPECT_EQ(&returned, &ts);
    EXPECT_EQ(ts.fraction, 0u);
    auto seconds = [](const SYSTEMTIME& st) {
        return DbTimestampToSeconds64(Ts(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond));
    };
    __int64 now = DbTimestampToSeconds64(ts);
    EXPECT_GE(now, seconds(before));
    EXPECT_LE(now, seconds(after));
}

} // namespace
