// Text conversions between the in-memory UTF-16 text and the narrow
// encodings the program exchanges (UTF-8, code page 1250, the thread's ANSI
// code page), and the case's date of entry (a DBTIMESTAMP) to and from a
// count of seconds. No state; any thread may call them.
//
// Text rules: a null or empty input gives an empty result without asking
// the platform; invalid input is not an error (the platform puts its
// replacement characters in); a conversion the platform refuses gives the
// empty text. The forms with a result argument assign the same result to
// the caller's object.
#pragma once
#include <windows.h>
#include <oledb.h>
#include "afxstr.h"

CStringA WideToUtf8(LPCWSTR text);
void WideToUtf8(LPCWSTR text, CStringA& result);
CString Utf8ToWide(LPCSTR text);
void Utf8ToWide(LPCSTR text, CString& result);

// Code page 1250; where the system cannot convert to 1250 the text comes out
// in the thread's ANSI code page.
CStringA WideToCp1250(LPCWSTR text);
void WideToCp1250(LPCWSTR text, CStringA& result);
CString Cp1250ToWide(LPCSTR text);
void Cp1250ToWide(LPCSTR text, CString& result);

// Through a wide text.
CStringA Utf8ToCp1250(LPCSTR text);
void Utf8ToCp1250(LPCSTR text, CStringA& result);
CStringA Cp1250ToUtf8(LPCSTR text);
void Cp1250ToUtf8(LPCSTR text, CStringA& result);

// The thread's ANSI code page as the exports and the local backup file
// write their texts: without best-fit substitutes, so a character that the
// code page lacks becomes the code page's default character, and a pair of
// surrogates (one character outside the basic plane) counts as one
// character. Writes at most outSize bytes, without a terminator; returns
// the number written, or -1 when they do not fit (out then holds nothing
// usable).
int WideToAnsiText(LPCWSTR text, int length, char* out, int outSize);

// A copy of the text, or, for a value below 0x10000 (MAKEINTRESOURCE), of
// that entry of the program's string table (empty when there is none). Null
// gives the empty text.
CString MakeWideString(LPCWSTR textOrId);

// ---------------------------------------------------------------------------
// Date of entry

// Fills the record from the local clock (fraction 0) and returns it. When
// the clock cannot be broken down only the fraction is set.
DBTIMESTAMP& GetCurrentDbTimestamp(DBTIMESTAMP& ts);

// The record's fields as they stand, taken as UTC (no zone, no daylight
// saving), in seconds from 1970-01-01 00:00:00; the fraction is ignored.
// The calendar has a leap year every fourth year (no century rule, so it
// is the real calendar from 1901 to 2099); a month of 0 or above 12 counts
// as January; day, hour, minute and second are used as they are, so
// 24:00 is the next day's 00:00. Exact for every year a record can hold.
__int64 DbTimestampToSeconds64(const DBTIMESTAMP& ts);

// The signed 32-bit count the local backup file stores: the same seconds,
// from 1901-12-13 20:45:52 to 2038-01-19 03:14:07. A value outside that
// range is clamped to its nearer end; *pInRange (when given) says whether
// the value fitted, so that a caller can refuse it instead.
int DbTimestampToSeconds(const DBTIMESTAMP& ts, bool* pInRange = NULL);

// True when the seconds fit the signed 32-bit count.
bool DbSecondsInRange(__int64 seconds);

// The reverse of DbTimestampToSeconds64 by the same calendar: a count of
// seconds into year, month, day, hour, minute and second, fraction 0.
// False, and the record unchanged, when the year would not fit the record.
bool SecondsToDbTimestamp(__int64 seconds, DBTIMESTAMP& ts);
