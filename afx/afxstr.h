// CString: a UTF-16 string with the class library's interface, and CStringA,
// its narrow twin, for byte texts (UTF-8 bodies, ANSI file contents).
// Format and FormatV follow the Microsoft printf rules: in a wide format
// "%s" takes a wide string and "%S" a narrow one.
#pragma once
#include <windows.h>
#include <stdarg.h>
#include <string>
#include "afxexc.h"

class CString
{
public:
    CString() {}
    CString(const CString& s) : m_s(s.m_s) {}
    CString(CString&& s) noexcept : m_s(std::move(s.m_s)) {}
    CString(LPCWSTR psz) { if (psz) m_s = psz; }
    CString(LPCWSTR pch, int nLength);
    CString(wchar_t ch, int nRepeat = 1);
    // A narrow text in the thread's ANSI code page.
    explicit CString(LPCSTR psz);
    CString(LPCSTR pch, int nLength);

    CString& operator=(const CString& s) { m_s = s.m_s; return *this; }
    CString& operator=(CString&& s) noexcept { m_s = std::move(s.m_s); return *this; }
    CString& operator=(LPCWSTR psz) { if (psz) m_s = psz; else m_s.clear(); return *this; }
    CString& operator=(wchar_t ch) { m_s.assign(1, ch); return *this; }

    CString& operator+=(const CString& s) { m_s += s.m_s; return *this; }
    CString& operator+=(LPCWSTR psz) { if (psz) m_s += psz; return *this; }
    CString& operator+=(wchar_t ch) { m_s += ch; return *this; }

    int GetLength() const { return (int)m_s.size(); }
    bool IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    wchar_t GetAt(int i) const;
    void SetAt(int i, wchar_t ch);
    wchar_t operator[](int i) const { return GetAt(i); }
    operator LPCWSTR() const { return m_s.c_str(); }
    LPCWSTR GetString() const { return m_s.c_str(); }

    // Room for nMinBufLength characters plus a terminator; ReleaseBuffer
    // takes the length from the terminator when nNewLength is -1.
    LPWSTR GetBuffer();
    LPWSTR GetBuffer(int nMinBufLength);
    LPWSTR GetBufferSetLength(int nLength);
    void ReleaseBuffer(int nNewLength = -1);

    void Format(LPCWSTR pszFormat, ...);
    void FormatV(LPCWSTR pszFormat, va_list args);
    void AppendFormat(LPCWSTR pszFormat, ...);
    // Loads a string resource of the program; false (and empty) when missing.
    BOOL LoadString(UINT nID);

    CString Left(int nCount) const;
    CString Mid(int iFirst) const;
    CString Mid(int iFirst, int nCount) const;
    CString Right(int nCount) const;
    CString SpanIncluding(LPCWSTR pszCharSet) const;
    CString SpanExcluding(LPCWSTR pszCharSet) const;
    CString Tokenize(LPCWSTR pszTokens, int& iStart) const;

    int Find(wchar_t ch, int iStart = 0) const;
    int Find(LPCWSTR pszSub, int iStart = 0) const;
    int ReverseFind(wchar_t ch) const;
    int FindOneOf(LPCWSTR pszCharSet) const;

    // Without an argument the white-space set is blank, \t, \n, \v, \f and \r.
    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    CString& Trim(wchar_t ch);
    CString& TrimLeft(wchar_t ch);
    CString& TrimRight(wchar_t ch);
    CString& Trim(LPCWSTR pszChars);
    CString& TrimLeft(LPCWSTR pszChars);
    CString& TrimRight(LPCWSTR pszChars);

    int Replace(wchar_t chOld, wchar_t chNew);
    int Replace(LPCWSTR pszOld, LPCWSTR pszNew);
    int Remove(wchar_t ch);
    int Insert(int iIndex, wchar_t ch);
    int Insert(int iIndex, LPCWSTR psz);
    int Delete(int iIndex, int nCount = 1);
    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();

    int Compare(LPCWSTR psz) const;
    int CompareNoCase(LPCWSTR psz) const;

    BSTR AllocSysString() const;

    const std::wstring& str() const { return m_s; }

    friend CString operator+(const CString& a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, LPCWSTR b) { CString r(a); r += b; return r; }
    friend CString operator+(LPCWSTR a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, wchar_t b) { CString r(a); r += b; return r; }
    friend CString operator+(wchar_t a, const CString& b) { CString r(a); r += b; return r; }
    friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
    friend bool operator==(const CString& a, LPCWSTR b) { return a.Compare(b) == 0; }
    friend bool operator==(LPCWSTR a, const CString& b) { return b.Compare(a) == 0; }
    friend bool operator!=(const CString& a, const CString& b) { return a.m_s != b.m_s; }
    friend bool operator!=(const CString& a, LPCWSTR b) { return a.Compare(b) != 0; }
    friend bool operator!=(LPCWSTR a, const CString& b) { return b.Compare(a) != 0; }
    friend bool operator<(const CString& a, const CString& b) { return a.m_s < b.m_s; }

private:
    std::wstring m_s;
};

class CStringA
{
public:
    CStringA() {}
    CStringA(LPCSTR psz) { if (psz) m_s = psz; }
    CStringA(LPCSTR pch, int nLength);
    // A wide text converted to the thread's ANSI code page.
    explicit CStringA(LPCWSTR psz);

    CStringA& operator=(LPCSTR psz) { if (psz) m_s = psz; else m_s.clear(); return *this; }
    CStringA& operator+=(const CStringA& s) { m_s += s.m_s; return *this; }
    CStringA& operator+=(LPCSTR psz) { if (psz) m_s += psz; return *this; }
    CStringA& operator+=(char ch) { m_s += ch; return *this; }

    int GetLength() const { return (int)m_s.size(); }
    bool IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    char GetAt(int i) const;
    operator LPCSTR() const { return m_s.c_str(); }
    LPCSTR GetString() const { return m_s.c_str(); }
    LPSTR GetBuffer(int nMinBufLength);
    void ReleaseBuffer(int nNewLength = -1);
    void Format(LPCSTR pszFormat, ...);
    int Find(char ch, int iStart = 0) const;
    int Find(LPCSTR pszSub, int iStart = 0) const;
    CStringA Left(int nCount) const;
    CStringA Mid(int iFirst) const;
    CStringA Mid(int iFirst, int nCount) const;
    CStringA& Trim();

    const std::string& str() const { return m_s; }

    friend CStringA operator+(const CStringA& a, const CStringA& b) { CStringA r(a); r += b; return r; }
    friend bool operator==(const CStringA& a, const CStringA& b) { return a.m_s == b.m_s; }
    friend bool operator!=(const CStringA& a, const CStringA& b) { return a.m_s != b.m_s; }

private:
    std::string m_s;
};

typedef CString CStringW;

// Microsoft-rule formatting into a caller's buffer (cut at nCount - 1
// characters, always terminated); returns the number of characters written,
// or -1 when the output was cut.
int AfxFormatBounded(LPWSTR pszBuffer, size_t nCount, LPCWSTR pszFormat, va_list args);
