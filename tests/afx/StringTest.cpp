#include <gtest/gtest.h>
#include "afxstr.h"

namespace {

CString Fmt(LPCWSTR format, ...)
{
    CString s;
    va_list args;
    va_start(args, format);
    s.FormatV(format, args);
    va_end(args);
    return s;
}

TEST(CStringFormat, FollowsTheMicrosoftPrintfRules)
{
    // %s takes a wide string in a wide format, %S a narrow one.
    EXPECT_EQ(Fmt(L"[%s]", L"őrült ű"), L"[őrült ű]");
    EXPECT_EQ(Fmt(L"[%S]", "abc"), L"[abc]");
    EXPECT_EQ(Fmt(L"[%ls|%hs]", L"w", "n"), L"[w|n]");
    EXPECT_EQ(Fmt(L"%d.%02d.%02d %02d:%02d", 2026, 1, 9, 7, 5), L"2026.01.09 07:05");
    EXPECT_EQ(Fmt(L"%04x%04x", 0x040e, 0x04b0), L"040e04b0");
    EXPECT_EQ(Fmt(L"%x", 0x80004005u), L"80004005");
    EXPECT_EQ(Fmt(L"%I64d", (long long)-5000000000LL), L"-5000000000");
    EXPECT_EQ(Fmt(L"%c", L'ő'), L"ő");
    EXPECT_EQ(Fmt(L"%%"), L"%");
}

TEST(CStringFormat, LongOutputIsNotCut)
{
    CString big(L'x', 40000);
    EXPECT_EQ(Fmt(L"%s!", (LPCWSTR)big).GetLength(), 40001);
}

TEST(CStringFormat, BoundedFormatCutsAndTerminates)
{
    wchar_t buf[8];
    auto bounded = [&](LPCWSTR format, ...) {
        va_list args;
        va_start(args, format);
        int r = AfxFormatBounded(buf, 6, format, args);
        va_end(args);
        return r;
    };
    EXPECT_EQ(bounded(L"%s", L"abc"), 3);
    EXPECT_STREQ(buf, L"abc");
    EXPECT_EQ(bounded(L"%s", L"abcdefgh"), -1);
    EXPECT_STREQ(buf, L"abcde");
}

TEST(CStringOps, SubstringsAndSearch)
{
    CString s(L"Ügyirat/2024/15");
    EXPECT_EQ(s.Left(7), L"Ügyirat");
    EXPECT_EQ(s.Mid(8), L"2024/15");
    EXPECT_EQ(s.Mid(8, 4), L"2024");
    EXPECT_EQ(s.Mid(100), L"");
    EXPECT_EQ(s.Right(2), L"15");
    EXPECT_EQ(s.Right(100), s);
    EXPECT_EQ(s.Left(-1), L"");
    EXPECT_EQ(s.Find(L'/'), 7);
    EXPECT_EQ(s.Find(L'/', 8), 12);
    EXPECT_EQ(s.Find(L"2024"), 8);
    EXPECT_EQ(s.Find(L"x"), -1);
    EXPECT_EQ(s.ReverseFind(L'/'), 12);
    EXPECT_EQ(s.ReverseFind(L'#'), -1);
}

TEST(CStringOps, TrimUsesTheFixedWhiteSpaceSet)
{
    CString s(L" \t\r\n ő a ű \v\f\r");
    s.Trim();
    EXPECT_EQ(s, L"ő a ű");
    CString t(L"xxabcxx");
    t.Trim(L'x');
    EXPECT_EQ(t, L"abc");
    CString u(L"  left");
    u.TrimLeft();
    EXPECT_EQ(u, L"left");
    CString v(L"right \r");
    v.TrimRight();
    EXPECT_EQ(v, L"right");
    CString w(L"\r\n");
    w.Trim();
    EXPECT_TRUE(w.IsEmpty());
}

TEST(CStringOps, CompareReplaceRemove)
{
    EXPECT_EQ(CString(L"Abc").CompareNoCase(L"aBC"), 0);
    EXPECT_LT(CString(L"abc").Compare(L"abd"), 0);
    CString s(L"&Mentés &most");
    EXPECT_EQ(s.Remove(L'&'), 2);
    EXPECT_EQ(s, L"Mentés most");
    CString r(L"a\nb\nc");
    EXPECT_EQ(r.Replace(L"\n", L"\r\n"), 2);
    EXPECT_EQ(r, L"a\r\nb\r\nc");
}

TEST(CStringOps, BufferRoundTrip)
{
    CString s;
    LPWSTR p = s.GetBuffer(10);
    wcscpy(p, L"hello");
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 5);
    EXPECT_EQ(s, L"hello");
    p = s.GetBuffer(20);
    p[2] = 0;
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"he");
    s.GetBuffer(4);
    s.ReleaseBuffer(1);
    EXPECT_EQ(s, L"h");
}

TEST(CStringOps, InvalidArgumentsThrow)
{
    CString s(L"ab");
    EXPECT_THROW(s.GetAt(2), CInvalidArgException*);
    EXPECT_THROW(s.ReleaseBuffer(10), CInvalidArgException*);
    EXPECT_THROW(CString(L"x", -1), CInvalidArgException*);
}

TEST(CStringOps, NarrowTextsUseTheAnsiCodePage)
{
    // The tests run under a Hungarian Windows: the ANSI code page is 1250.
    ASSERT_EQ(GetACP(), 1250u);
    CStringA a(L"őű");
    ASSERT_EQ(a.GetLength(), 2);
    EXPECT_EQ((unsigned char)a.GetAt(0), 0xF5);
    EXPECT_EQ((unsigned char)a.GetAt(1), 0xFB);
    EXPECT_EQ(CString("\xF5\xFB"), L"őű");
}

} // namespace
