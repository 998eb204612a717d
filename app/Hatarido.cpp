#include "app/Hatarido.h"
#include <stdlib.h>
#include <algorithm>
#include "afxexc.h"

namespace {

// The number at the start of count characters from first, read the way
// wcstol reads a prefix; characters beyond the text count as no digits.
int ReadNumber(const CString& text, int first, int count)
{
    if (first >= text.GetLength())
        return 0;
    CString part = text.Mid(first, std::min(count, text.GetLength() - first));
    return (int)wcstol(part, NULL, 10);
}

} // namespace

void CHatarido::ParseDate(LPCWSTR text)
{
    CString s(text ? text : L"");
    s.Remove(L' ');
    int year = ReadNumber(s, 0, 4);
    int month = ReadNumber(s, 5, 2);
    int day = ReadNumber(s, 8, 2);
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > 31)
        AfxThrowComErrorException(E_FAIL);
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_isdst = -1;
    __time64_t value = _mktime64(&t);
    if (value == -1)
        AfxThrowComErrorException(E_INVALIDARG);
    m_tDate = value;
}

CString CHatarido::FormatDate() const
{
    int year = 0, month = 0, day = 0;
    struct tm t;
    __time64_t value = m_tDate;
    if (_localtime64_s(&t, &value) == 0) {
        year = t.tm_year + 1900;
        month = t.tm_mon + 1;
        day = t.tm_mday;
    }
    CString s;
    s.Format(L"%d. %02d. %02d.", year, month, day);
    return s;
}

CHatarido CHatarido::Parse(const CString& item)
{
    CHatarido h;
    h.ParseDate(item.GetLength() > 1 ? (LPCWSTR)item.Mid(1, std::min(11, item.GetLength() - 1)) : L"");
    h.m_nWatched = item.GetLength() > 0 && item[0] == L'+' ? 1 : 0;
    if (item.GetLength() >= 14)
        h.m_strRemark = item.Mid(13);
    return h;
}

CString CHatarido::FormatItem() const
{
    return MakeDeadlineItem(m_nWatched != 0, FormatDate(), m_strRemark);
}

std::vector<CHatarido> ParseDeadlineList(const CString& text, bool includeUnwatched, bool sort)
{
    std::vector<CHatarido> result;
    const int length = text.GetLength();
    int start = 0;
    int bar = length > 0 ? text.Find(L'|') : -1;
    auto take = [&](const CString& item) {
        CHatarido h = CHatarido::Parse(item);
        if (includeUnwatched || h.m_nWatched)
            result.push_back(h);
    };
    while (bar >= 0 && bar - start >= 12) {
        take(text.Mid(start, bar - start));
        start = bar + 1;
        bar = start < length ? text.Find(L'|', start) : -1;
    }
    if (length - start >= 12)
        take(text.Mid(start));
    if (sort)
        std::stable_sort(result.begin(), result.end(), CompareDeadlines);
    return result;
}

bool CompareDeadlines(const CHatarido& a, const CHatarido& b)
{
    if ((a.m_nWatched != 0) != (b.m_nWatched != 0))
        return a.m_nWatched != 0;
    return a.m_tDate < b.m_tDate;
}

CString FormatDeadlineList(const std::vector<CHatarido>& deadlines)
{
    CString text;
    for (size_t i = 0; i < deadlines.size(); ++i) {
        if (i)
            text += L'|';
        text += deadlines[i].FormatItem();
    }
    return text;
}

CString MakeDeadlineItem(bool watched, const CString& dateText, const CString& remark)
{
    CString date(dateText);
    date.Remove(L' ');
    CString item(watched ? L"+" : L"-");
    item += date;
    item += L' ';
    item += remark;
    return item;
}
