#include "exchange/ImportText.h"
#include <limits.h>

void MeasureImportText(const wchar_t* text, size_t length, int* rows, int* columns)
{
    int lineFeeds = 0;
    int tabs = 0, maxTabs = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == L'\n') {
            if (lineFeeds < INT_MAX)
                ++lineFeeds;
            tabs = 0;
        } else if (text[i] == L'\t') {
            if (tabs < INT_MAX - 1)
                ++tabs;
            if (tabs > maxTabs)
                maxTabs = tabs;
        }
    }
    if (length > 0 && text[length - 1] != L'\n' && lineFeeds < INT_MAX)
        ++lineFeeds;
    *rows = lineFeeds;
    *columns = length > 0 ? maxTabs + 1 : 0;
}

void CutImportLines(wchar_t* text, size_t length, std::vector<wchar_t*>& lines)
{
    size_t start = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == L'\r') {
            text[i] = L' ';
        } else if (text[i] == L'\n') {
            text[i] = 0;
            lines.push_back(text + start);
            start = i + 1;
        }
    }
    if (start < length)
        lines.push_back(text + start);
}

int CutImportCells(wchar_t* line, int count, wchar_t** cells)
{
    int stored = 0;
    wchar_t* piece = line;
    while (piece && stored < count) {
        wchar_t* tab = wcschr(piece, L'\t');
        if (tab)
            *tab = 0;
        cells[stored++] = piece;
        piece = tab ? tab + 1 : NULL;
    }
    for (int i = stored; i < count; ++i)
        cells[i] = NULL;
    return stored;
}

int ExtractDigits(const wchar_t* text, wchar_t* out)
{
    int n = 0;
    bool afterDigit = false;
    for (const wchar_t* p = text; p && *p && n < kMaxImportDigits; ++p) {
        if (*p >= L'0' && *p <= L'9') {
            out[n++] = *p;
            afterDigit = true;
        } else if (afterDigit) {
            out[n++] = L' ';
            afterDigit = false;
        }
    }
    out[n] = 0;
    return n;
}

int ReadImportNumber(const wchar_t* text)
{
    if (!text)
        return 0;
    const wchar_t* p = text;
    while (*p == L' ' || (*p >= L'\t' && *p <= L'\r'))
        ++p;
    bool negative = false;
    if (*p == L'+' || *p == L'-') {
        negative = *p == L'-';
        ++p;
    }
    // The magnitude stops growing one past INT_MAX, which is INT_MIN's.
    const unsigned long long limit = (unsigned long long)INT_MAX + 1;
    unsigned long long magnitude = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        magnitude = magnitude * 10 + (unsigned)(*p - L'0');
        if (magnitude > limit)
            magnitude = limit;
    }
    if (negative)
        return magnitude >= limit ? INT_MIN : -(int)magnitude;
    return magnitude > (unsigned long long)INT_MAX ? INT_MAX : (int)magnitude;
}

int NormalizeImportText(wchar_t* field, const wchar_t* source)
{
    int n = 0;
    bool previousWhite = true;
    wchar_t last = 0;
    const wchar_t* p = source;
    for (; p && *p && n < kMaxImportText; ++p) {
        wchar_t c = *p;
        last = c;
        bool white = c == 7 || c == L'\n' || c == L'\r' || c == L' ';
        if (white) {
            if (!previousWhite)
                field[n++] = L' ';
        } else {
            field[n++] = c;
        }
        previousWhite = white;
    }
    field[n] = 0;
    if (source && source[0] == L'"' && last == L'"') {
        // A lone quote stays: there is nothing between two quotes to keep.
        if (n >= 2) {
            wmemmove(field, field + 1, n - 2);
            n -= 2;
            field[n] = 0;
        }
    } else if (n > 0 && field[n - 1] == L' ') {
        field[--n] = 0;
    }
    return n;
}
