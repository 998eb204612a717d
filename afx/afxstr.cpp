#include "afxstr.h"
#include <oleauto.h>
#include <wchar.h>
#include <algorithm>

// msvcrt's own formatter, which keeps the Microsoft meaning of %s; the
// headers redirect the unprefixed names to mingw's C99 printf.
extern "C" __declspec(dllimport) int __cdecl _vsnwprintf_s(wchar_t* buffer, size_t sizeOfBuffer,
    size_t count, const wchar_t* format, va_list args);
extern "C" __declspec(dllimport) int __cdecl _vscwprintf(const wchar_t* format, va_list args);
extern "C" __declspec(dllimport) int __cdecl _vsnwprintf(wchar_t* buffer, size_t count,
    const wchar_t* format, va_list args);
extern "C" __declspec(dllimport) int __cdecl _vscprintf(const char* format, va_list args);
extern "C" __declspec(dllimport) int __cdecl _vsnprintf(char* buffer, size_t count,
    const char* format, va_list args);

#ifndef _TRUNCATE
#define _TRUNCATE ((size_t)-1)
#endif

namespace {

const wchar_t kWhiteSpace[] = L" \t\n\v\f\r";

std::wstring AnsiToWide(LPCSTR pch, int nLength)
{
    std::wstring r;
    if (!pch || nLength <= 0)
        return r;
    int n = MultiByteToWideChar(CP_THREAD_ACP, 0, pch, nLength, NULL, 0);
    if (n <= 0)
        return r;
    r.resize(n);
    MultiByteToWideChar(CP_THREAD_ACP, 0, pch, nLength, &r[0], n);
    return r;
}

bool InSet(wchar_t ch, LPCWSTR set)
{
    return ch != 0 && wcschr(set, ch) != NULL;
}

} // namespace

int AfxFormatBounded(LPWSTR pszBuffer, size_t nCount, LPCWSTR pszFormat, va_list args)
{
    if (!pszBuffer || nCount == 0)
        return -1;
    return _vsnwprintf_s(pszBuffer, nCount, _TRUNCATE, pszFormat, args);
}

CString::CString(LPCWSTR pch, int nLength)
{
    if (nLength < 0)
        AfxThrowInvalidArgException();
    if (pch && nLength > 0)
        m_s.assign(pch, nLength);
}

CString::CString(wchar_t ch, int nRepeat)
{
    if (nRepeat > 0)
        m_s.assign(nRepeat, ch);
}

CString::CString(LPCSTR psz)
{
    if (psz)
        m_s = AnsiToWide(psz, (int)strlen(psz));
}

CString::CString(LPCSTR pch, int nLength)
{
    m_s = AnsiToWide(pch, nLength);
}

wchar_t CString::GetAt(int i) const
{
    if (i < 0 || i >= GetLength())
        AfxThrowInvalidArgException();
    return m_s[i];
}

void CString::SetAt(int i, wchar_t ch)
{
    if (i < 0 || i >= GetLength())
        AfxThrowInvalidArgException();
    m_s[i] = ch;
}

LPWSTR CString::GetBuffer()
{
    return &m_s[0];
}

LPWSTR CString::GetBuffer(int nMinBufLength)
{
    if (nMinBufLength < 0)
        AfxThrowInvalidArgException();
    if ((int)m_s.size() < nMinBufLength)
        m_s.resize(nMinBufLength);
    return &m_s[0];
}

LPWSTR CString::GetBufferSetLength(int nLength)
{
    if (nLength < 0)
        AfxThrowInvalidArgException();
    m_s.resize(nLength);
    return &m_s[0];
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (nNewLength < 0)
        nNewLength = (int)wcsnlen(m_s.c_str(), m_s.size());
    if (nNewLength > (int)m_s.size())
        AfxThrowInvalidArgException();
    m_s.resize(nNewLength);
}

void CString::FormatV(LPCWSTR pszFormat, va_list args)
{
    if (!pszFormat)
        AfxThrowInvalidArgException();
    va_list probe;
    va_copy(probe, args);
    int n = _vscwprintf(pszFormat, probe);
    va_end(probe);
    if (n < 0)
        AfxThrowInvalidArgException();
    std::wstring r(n + 1, L'\0');
    _vsnwprintf(&r[0], n + 1, pszFormat, args);
    r.resize(n);
    m_s.swap(r);
}

void CString::Format(LPCWSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::AppendFormat(LPCWSTR pszFormat, ...)
{
    CString tail;
    va_list args;
    va_start(args, pszFormat);
    tail.FormatV(pszFormat, args);
    va_end(args);
    m_s += tail.m_s;
}

BOOL CString::LoadString(UINT nID)
{
    // A string resource is counted, not terminated; LoadStringW with a
    // zero size hands out a pointer to it.
    LPCWSTR p = NULL;
    int n = ::LoadStringW(GetModuleHandleW(NULL), nID, (LPWSTR)&p, 0);
    if (n <= 0 || !p) {
        m_s.clear();
        return FALSE;
    }
    m_s.assign(p, n);
    return TRUE;
}

CString CString::Left(int nCount) const
{
    if (nCount < 0)
        nCount = 0;
    return CString(m_s.substr(0, std::min<size_t>(nCount, m_s.size())).c_str());
}

CString CString::Mid(int iFirst) const
{
    return Mid(iFirst, GetLength() - iFirst);
}

CString CString::Mid(int iFirst, int nCount) const
{
    if (iFirst < 0)
        iFirst = 0;
    if (nCount < 0)
        nCount = 0;
    if (iFirst >= GetLength())
        return CString();
    CString r;
    r.m_s = m_s.substr(iFirst, std::min<size_t>(nCount, m_s.size() - iFirst));
    return r;
}

CString CString::Right(int nCount) const
{
    if (nCount < 0)
        nCount = 0;
    if (nCount >= GetLength())
        return *this;
    CString r;
    r.m_s = m_s.substr(m_s.size() - nCount);
    return r;
}

CString CString::SpanIncluding(LPCWSTR pszCharSet) const
{
    size_t n = 0;
    while (n < m_s.size() && InSet(m_s[n], pszCharSet))
        ++n;
    return Left((int)n);
}

CString CString::SpanExcluding(LPCWSTR pszCharSet) const
{
    size_t n = 0;
    while (n < m_s.size() && !InSet(m_s[n], pszCharSet))
        ++n;
    return Left((int)n);
}

CString CString::Tokenize(LPCWSTR pszTokens, int& iStart) const
{
    if (iStart < 0)
        AfxThrowInvalidArgException();
    size_t i = iStart;
    while (i < m_s.size() && InSet(m_s[i], pszTokens))
        ++i;
    if (i >= m_s.size()) {
        iStart = -1;
        return CString();
    }
    size_t j = i;
    while (j < m_s.size() && !InSet(m_s[j], pszTokens))
        ++j;
    iStart = (int)(j < m_s.size() ? j + 1 : j);
    return Mid((int)i, (int)(j - i));
}

int CString::Find(wchar_t ch, int iStart) const
{
    if (iStart < 0 || iStart >= GetLength())
        return -1;
    size_t p = m_s.find(ch, iStart);
    return p == std::wstring::npos ? -1 : (int)p;
}

int CString::Find(LPCWSTR pszSub, int iStart) const
{
    if (!pszSub || iStart < 0 || iStart > GetLength())
        return -1;
    size_t p = m_s.find(pszSub, iStart);
    return p == std::wstring::npos ? -1 : (int)p;
}

int CString::ReverseFind(wchar_t ch) const
{
    size_t p = m_s.rfind(ch);
    return p == std::wstring::npos ? -1 : (int)p;
}

int CString::FindOneOf(LPCWSTR pszCharSet) const
{
    if (!pszCharSet)
        return -1;
    size_t p = m_s.find_first_of(pszCharSet);
    return p == std::wstring::npos ? -1 : (int)p;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }
CString& CString::TrimLeft() { return TrimLeft(kWhiteSpace); }
CString& CString::TrimRight() { return TrimRight(kWhiteSpace); }

CString& CString::Trim(wchar_t ch) { return TrimRight(ch).TrimLeft(ch); }

CString& CString::TrimLeft(wchar_t ch)
{
    size_t i = 0;
    while (i < m_s.size() && m_s[i] == ch)
        ++i;
    m_s.erase(0, i);
    return *this;
}

CString& CString::TrimRight(wchar_t ch)
{
    size_t n = m_s.size();
    while (n > 0 && m_s[n - 1] == ch)
        --n;
    m_s.resize(n);
    return *this;
}

CString& CString::Trim(LPCWSTR pszChars) { return TrimRight(pszChars).TrimLeft(pszChars); }

CString& CString::TrimLeft(LPCWSTR pszChars)
{
    if (!pszChars)
        return *this;
    size_t i = 0;
    while (i < m_s.size() && InSet(m_s[i], pszChars))
        ++i;
    m_s.erase(0, i);
    return *this;
}

CString& CString::TrimRight(LPCWSTR pszChars)
{
    if (!pszChars)
        return *this;
    size_t n = m_s.size();
    while (n > 0 && InSet(m_s[n - 1], pszChars))
        --n;
    m_s.resize(n);
    return *this;
}

int CString::Replace(wchar_t chOld, wchar_t chNew)
{
    int n = 0;
    for (auto& c : m_s)
        if (c == chOld) {
            c = chNew;
            ++n;
        }
    return n;
}

int CString::Replace(LPCWSTR pszOld, LPCWSTR pszNew)
{
    if (!pszOld || !*pszOld)
        return 0;
    std::wstring from(pszOld), to(pszNew ? pszNew : L"");
    std::wstring r;
    int n = 0;
    size_t pos = 0;
    for (;;) {
        size_t p = m_s.find(from, pos);
        if (p == std::wstring::npos)
            break;
        r.append(m_s, pos, p - pos);
        r += to;
        pos = p + from.size();
        ++n;
    }
    if (n) {
        r.append(m_s, pos, std::wstring::npos);
        m_s.swap(r);
    }
    return n;
}

int CString::Remove(wchar_t ch)
{
    size_t before = m_s.size();
    m_s.erase(std::remove(m_s.begin(), m_s.end(), ch), m_s.end());
    return (int)(before - m_s.size());
}

int CString::Insert(int iIndex, wchar_t ch)
{
    iIndex = std::max(0, std::min(iIndex, GetLength()));
    m_s.insert(m_s.begin() + iIndex, ch);
    return GetLength();
}

int CString::Insert(int iIndex, LPCWSTR psz)
{
    iIndex = std::max(0, std::min(iIndex, GetLength()));
    if (psz)
        m_s.insert(iIndex, psz);
    return GetLength();
}

int CString::Delete(int iIndex, int nCount)
{
    if (iIndex < 0)
        iIndex = 0;
    if (nCount > 0 && iIndex < GetLength())
        m_s.erase(iIndex, nCount);
    return GetLength();
}

CString& CString::MakeUpper()
{
    if (!m_s.empty())
        CharUpperBuffW(&m_s[0], (DWORD)m_s.size());
    return *this;
}

CString& CString::MakeLower()
{
    if (!m_s.empty())
        CharLowerBuffW(&m_s[0], (DWORD)m_s.size());
    return *this;
}

CString& CString::MakeReverse()
{
    std::reverse(m_s.begin(), m_s.end());
    return *this;
}

int CString::Compare(LPCWSTR psz) const
{
    return wcscmp(m_s.c_str(), psz ? psz : L"");
}

int CString::CompareNoCase(LPCWSTR psz) const
{
    return _wcsicmp(m_s.c_str(), psz ? psz : L"");
}

BSTR CString::AllocSysString() const
{
    BSTR b = ::SysAllocStringLen(m_s.c_str(), (UINT)m_s.size());
    if (!b)
        AfxThrowMemoryException();
    return b;
}

// ---------------------------------------------------------------------------

CStringA::CStringA(LPCSTR pch, int nLength)
{
    if (nLength < 0)
        AfxThrowInvalidArgException();
    if (pch && nLength > 0)
        m_s.assign(pch, nLength);
}

CStringA::CStringA(LPCWSTR psz)
{
    if (!psz || !*psz)
        return;
    int len = (int)wcslen(psz);
    int n = WideCharToMultiByte(CP_THREAD_ACP, 0, psz, len, NULL, 0, NULL, NULL);
    if (n <= 0)
        return;
    m_s.resize(n);
    WideCharToMultiByte(CP_THREAD_ACP, 0, psz, len, &m_s[0], n, NULL, NULL);
}

char CStringA::GetAt(int i) const
{
    if (i < 0 || i >= GetLength())
        AfxThrowInvalidArgException();
    return m_s[i];
}

LPSTR CStringA::GetBuffer(int nMinBufLength)
{
    if (nMinBufLength < 0)
        AfxThrowInvalidArgException();
    if ((int)m_s.size() < nMinBufLength)
        m_s.resize(nMinBufLength);
    return &m_s[0];
}

void CStringA::ReleaseBuffer(int nNewLength)
{
    if (nNewLength < 0)
        nNewLength = (int)strnlen(m_s.c_str(), m_s.size());
    if (nNewLength > (int)m_s.size())
        AfxThrowInvalidArgException();
    m_s.resize(nNewLength);
}

void CStringA::Format(LPCSTR pszFormat, ...)
{
    if (!pszFormat)
        AfxThrowInvalidArgException();
    va_list args, probe;
    va_start(args, pszFormat);
    va_copy(probe, args);
    int n = _vscprintf(pszFormat, probe);
    va_end(probe);
    if (n < 0) {
        va_end(args);
        AfxThrowInvalidArgException();
    }
    std::string r(n + 1, '\0');
    _vsnprintf(&r[0], n + 1, pszFormat, args);
    va_end(args);
    r.resize(n);
    m_s.swap(r);
}

int CStringA::Find(char ch, int iStart) const
{
    if (iStart < 0 || iStart >= GetLength())
        return -1;
    size_t p = m_s.find(ch, iStart);
    return p == std::string::npos ? -1 : (int)p;
}

int CStringA::Find(LPCSTR pszSub, int iStart) const
{
    if (!pszSub || iStart < 0 || iStart > GetLength())
        return -1;
    size_t p = m_s.find(pszSub, iStart);
    return p == std::string::npos ? -1 : (int)p;
}

CStringA CStringA::Left(int nCount) const
{
    if (nCount < 0)
        nCount = 0;
    return CStringA(m_s.data(), (int)std::min<size_t>(nCount, m_s.size()));
}

CStringA CStringA::Mid(int iFirst) const
{
    return Mid(iFirst, GetLength() - iFirst);
}

CStringA CStringA::Mid(int iFirst, int nCount) const
{
    if (iFirst < 0)
        iFirst = 0;
    if (nCount < 0 || iFirst >= GetLength())
        return CStringA();
    return CStringA(m_s.data() + iFirst, (int)std::min<size_t>(nCount, m_s.size() - iFirst));
}

CStringA& CStringA::Trim()
{
    size_t b = m_s.find_first_not_of(" \t\n\v\f\r");
    if (b == std::string::npos) {
        m_s.clear();
        return *this;
    }
    size_t e = m_s.find_last_not_of(" \t\n\v\f\r");
    m_s = m_s.substr(b, e - b + 1);
    return *this;
}
