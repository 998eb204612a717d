#include "foundation/Conversions.h"
#include <limits.h>
#include <stdint.h>
#include <string.h>
#include <time.h>
#include <memory>
#include <new>

namespace {

const UINT kCodePage1250 = 1250;

// Wide to narrow in the code page. False, with the result untouched, for a
// null or empty text and when the platform refuses the conversion.
bool NarrowInto(UINT codePage, LPCWSTR text, CStringA& result)
{
    if (!text || !*text)
        return false;
    int count = WideCharToMultiByte(codePage, 0, text, -1, NULL, 0, NULL, NULL);
    if (count <= 0)
        return false;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[count + 1]);
    if (!buffer)
        AfxThrowMemoryException();
    buffer[count] = 0;
    if (WideCharToMultiByte(codePage, 0, text, -1, buffer.get(), count + 1, NULL, NULL) <= 0)
        return false;
    result = CStringA(buffer.get());
    return true;
}

// Narrow in the code page to wide, by the same rules.
bool WidenInto(UINT codePage, LPCSTR text, CString& result)
{
    if (!text || !*text)
        return false;
    int count = MultiByteToWideChar(codePage, 0, text, -1, NULL, 0);
    if (count <= 0)
        return false;
    std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[count + 1]);
    if (!buffer)
        AfxThrowMemoryException();
    buffer[count] = 0;
    if (MultiByteToWideChar(codePage, 0, text, -1, buffer.get(), count + 1) <= 0)
        return false;
    result = CString(buffer.get());
    return true;
}

// One run of text into the thread's ANSI code page without best-fit
// substitutes; with usedDefault, whether a character became the default
// character. The bytes written, or -1 when they do not fit.
int AnsiRun(LPCWSTR text, int length, char* out, int outSize, BOOL* usedDefault)
{
    if (usedDefault)
        *usedDefault = FALSE;
    if (length <= 0)
        return 0;
    // A size of 0 would ask for the length instead.
    if (outSize <= 0)
        return -1;
    int written = WideCharToMultiByte(CP_THREAD_ACP, WC_NO_BEST_FIT_CHARS, text, length, out, outSize, NULL,
                                      usedDefault);
    if (written <= 0 && GetLastError() == ERROR_INVALID_PARAMETER && usedDefault)
        // Code pages that cannot say whether the default was used.
        written = WideCharToMultiByte(CP_THREAD_ACP, WC_NO_BEST_FIT_CHARS, text, length, out, outSize, NULL, NULL);
    if (written <= 0 && GetLastError() == ERROR_INVALID_FLAGS)
        // Code pages without best-fit tables (UTF-8 among them) refuse the
        // flag, and with it the question of the default character.
        written = WideCharToMultiByte(CP_THREAD_ACP, 0, text, length, out, outSize, NULL, NULL);
    if (written <= 0)
        return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? -1 : 0;
    return written;
}

// Division rounding towards minus infinity (b > 0).
__int64 FloorDiv(__int64 a, __int64 b)
{
    __int64 q = a / b;
    if (a % b < 0)
        --q;
    return q;
}

// Days of the year before the first of each month (index 1 to 12), in a
// common year.
const int kDaysBeforeMonth[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

const __int64 kSecondsPerDay = 86400;
// Four years of the calendar: three common years and a leap year.
const __int64 kDaysPerCycle = 4 * 365 + 1;

} // namespace

// ---------------------------------------------------------------------------
// Texts

CStringA WideToUtf8(LPCWSTR text)
{
    CStringA result;
    NarrowInto(CP_UTF8, text, result);
    return result;
}

void WideToUtf8(LPCWSTR text, CStringA& result)
{
    result = WideToUtf8(text);
}

CString Utf8ToWide(LPCSTR text)
{
    CString result;
    WidenInto(CP_UTF8, text, result);
    return result;
}

void Utf8ToWide(LPCSTR text, CString& result)
{
    result = Utf8ToWide(text);
}

CStringA WideToCp1250(LPCWSTR text)
{
    // The thread's ANSI text stands where the system has no code page 1250.
    CStringA result;
    NarrowInto(CP_THREAD_ACP, text, result);
    NarrowInto(kCodePage1250, text, result);
    return result;
}

void WideToCp1250(LPCWSTR text, CStringA& result)
{
    result = WideToCp1250(text);
}

CString Cp1250ToWide(LPCSTR text)
{
    CString result;
    WidenInto(kCodePage1250, text, result);
    return result;
}

void Cp1250ToWide(LPCSTR text, CString& result)
{
    result = Cp1250ToWide(text);
}

CStringA Utf8ToCp1250(LPCSTR text)
{
    return WideToCp1250(Utf8ToWide(text));
}

void Utf8ToCp1250(LPCSTR text, CStringA& result)
{
    result = Utf8ToCp1250(text);
}

CStringA Cp1250ToUtf8(LPCSTR text)
{
    return WideToUtf8(Cp1250ToWide(text));
}

void Cp1250ToUtf8(LPCSTR text, CStringA& result)
{
    result = Cp1250ToUtf8(text);
}

int WideToAnsiText(LPCWSTR text, int length, char* out, int outSize)
{
    if (!text || length <= 0)
        return 0;
    int written = 0;
    int run = 0;
    for (int i = 0; i <= length; ++i) {
        const bool pair = i + 1 < length && IS_HIGH_SURROGATE(text[i]) && IS_LOW_SURROGATE(text[i + 1]);
        if (i < length && !pair)
            continue;
        int n = AnsiRun(text + run, i - run, out + written, outSize - written, NULL);
        if (n < 0)
            return -1;
        written += n;
        if (i == length)
            break;
        // The system would write each half of the pair as a default
        // character of its own.
        char bytes[16];
        BOOL usedDefault = FALSE;
        n = AnsiRun(text + i, 2, bytes, (int)sizeof(bytes), &usedDefault);
        if (n <= 0 || usedDefault) {
            CPINFO info;
            if (!GetCPInfo(CP_THREAD_ACP, &info))
                return -1;
            n = 0;
            while (n < MAX_DEFAULTCHAR && info.DefaultChar[n]) {
                bytes[n] = (char)info.DefaultChar[n];
                ++n;
            }
        }
        if (n > outSize - written)
            return -1;
        memcpy(out + written, bytes, n);
        written += n;
        ++i;
        run = i + 1;
    }
    return written;
}

CString MakeWideString(LPCWSTR textOrId)
{
    CString result;
    if (!textOrId)
        return result;
    if (IS_INTRESOURCE(textOrId))
        result.LoadString((UINT)(ULONG_PTR)textOrId);
    else
        result = textOrId;
    return result;
}

// ---------------------------------------------------------------------------
// Date of entry

DBTIMESTAMP& GetCurrentDbTimestamp(DBTIMESTAMP& ts)
{
    __time64_t now = _time64(NULL);
    struct tm t = {};
    if (_localtime64_s(&t, &now) == 0) {
        ts.year = (SHORT)(t.tm_year + 1900);
        ts.month = (USHORT)(t.tm_mon + 1);
        ts.day = (USHORT)t.tm_mday;
        ts.hour = (USHORT)t.tm_hour;
        ts.minute = (USHORT)t.tm_min;
        ts.second = (USHORT)t.tm_sec;
    }
    ts.fraction = 0;
    return ts;
}

__int64 DbTimestampToSeconds64(const DBTIMESTAMP& ts)
{
    const __int64 year = ts.year;
    // One leap day for every fourth year counted from 1972; rounding down
    // keeps the years before 1969 right as well.
    __int64 days = (year - 1970) * 365 + FloorDiv(year - 1969, 4);
    const unsigned month = ts.month;
    if (month >= 2 && month <= 12) {
        days += kDaysBeforeMonth[month];
        if (month >= 3 && year % 4 == 0)
            ++days;
    }
    days += (__int64)ts.day - 1;
    return ((days * 24 + ts.hour) * 60 + ts.minute) * 60 + ts.second;
}

bool DbSecondsInRange(__int64 seconds)
{
    return seconds >= INT32_MIN && seconds <= INT32_MAX;
}

int DbTimestampToSeconds(const DBTIMESTAMP& ts, bool* pInRange)
{
    const __int64 seconds = DbTimestampToSeconds64(ts);
    if (pInRange)
        *pInRange = DbSecondsInRange(seconds);
    if (seconds > INT32_MAX)
        return INT32_MAX;
    if (seconds < INT32_MIN)
        return INT32_MIN;
    return (int)seconds;
}

bool SecondsToDbTimestamp(__int64 seconds, DBTIMESTAMP& ts)
{
    const __int64 days = FloorDiv(seconds, kSecondsPerDay);
    const int secondOfDay = (int)(seconds - days * kSecondsPerDay);

    // Four-year cycles from 1969-01-01: 1969, 1970 and 1971, then 1972, the
    // leap year.
    const __int64 fromCycleStart = days + 365;
    const __int64 cycle = FloorDiv(fromCycleStart, kDaysPerCycle);
    const int dayOfCycle = (int)(fromCycleStart - cycle * kDaysPerCycle);
    int yearOfCycle = dayOfCycle / 365;
    if (yearOfCycle > 3)
        yearOfCycle = 3; // the leap day that ends the cycle
    const __int64 year = 1969 + cycle * 4 + yearOfCycle;
    if (year < SHRT_MIN || year > SHRT_MAX)
        return false;
    const int dayOfYear = dayOfCycle - yearOfCycle * 365;
    const bool leap = yearOfCycle == 3;

    int month = 12;
    while (month > 1 && dayOfYear < kDaysBeforeMonth[month] + (leap && month >= 3 ? 1 : 0))
        --month;
    const int dayOfMonth = dayOfYear - kDaysBeforeMonth[month] - (leap && month >= 3 ? 1 : 0) + 1;

    ts.year = (SHORT)year;
    ts.month = (USHORT)month;
    ts.day = (USHORT)dayOfMonth;
    ts.hour = (USHORT)(secondOfDay / 3600);
    ts.minute = (USHORT)(secondOfDay / 60 % 60);
    ts.second = (USHORT)(secondOfDay % 60);
    ts.fraction = 0;
    return true;
}
