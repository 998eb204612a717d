// The deadline list text of a case (its Hataridok field) and CHatarido, one
// parsed deadline of it.
//
// The text is a list of items joined by "|"; each item is "+" (watched) or
// "-", the date as "yyyy.mm.dd.", one blank and a remark of at most 40
// characters: "+2024.03.05. tárgyalás|-2024.01.10. ". Nothing escapes a "|"
// inside a remark, so the deadline dialog refuses one.
//
// A date that does not parse throws CComErrorException (by pointer) with
// E_FAIL (a year below 1970, a month or day out of range) or E_INVALIDARG
// (the day cannot be converted to a time value). The data exchange and the
// window procedure of the layer catch it and report it.
#pragma once
#include <windows.h>
#include <time.h>
#include <vector>
#include "afxstr.h"

class CHatarido
{
public:
    CHatarido() : m_nWatched(0), m_tDate(0) {}

    // Sets the date to local midnight of the day the text names; the
    // written form ("2024.03.05.") and the displayed one ("2024. 03. 05.")
    // both parse. Throws CComErrorException*.
    void ParseDate(LPCWSTR text);
    // "%d. %02d. %02d." of the local time (a field that cannot be converted is 0).
    CString FormatDate() const;
    // One item of the list text. Throws what ParseDate throws.
    static CHatarido Parse(const CString& item);
    // The item as the list text holds it: flag, date without blanks, one
    // blank, the remark.
    CString FormatItem() const;

    int m_nWatched;        // 1 watched, 0 not
    __time64_t m_tDate;    // seconds since 1970-01-01 00:00 UTC
    CString m_strRemark;
};

// The deadlines of a list text, the unwatched ones too when asked, sorted
// when asked. Throws what CHatarido::ParseDate throws.
std::vector<CHatarido> ParseDeadlineList(const CString& text, bool includeUnwatched, bool sort);

// True when a sorts before b: watched ones first, then the earlier date.
bool CompareDeadlines(const CHatarido& a, const CHatarido& b);

// The list text of items in their order, joined by "|".
CString FormatDeadlineList(const std::vector<CHatarido>& deadlines);

// Writes the item of one deadline list row: "+" or "-", the date text with
// its blanks removed, one blank, the remark.
CString MakeDeadlineItem(bool watched, const CString& dateText, const CString& remark);

// The longest remark the deadline dialog keeps.
const int kMaxDeadlineRemark = 40;
