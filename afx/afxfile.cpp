#include "afxfile.h"

BOOL CFileException::GetErrorMessage(LPWSTR lpszError, UINT nMaxError, PUINT pnHelpContext) const
{
    if (pnHelpContext)
        *pnHelpContext = 0;
    if (!lpszError || nMaxError == 0)
        return FALSE;
    CComErrorException sys(HRESULT_FROM_WIN32((DWORD)m_lOsError));
    return sys.GetErrorMessage(lpszError, nMaxError);
}

CFile::CFile(LPCWSTR lpszFileName, UINT nOpenFlags) : m_hFile(INVALID_HANDLE_VALUE)
{
    CFileException e;
    if (!Open(lpszFileName, nOpenFlags, &e))
        throw new CFileException(e.m_lOsError, lpszFileName);
}

CFile::~CFile()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_hFile);
}

BOOL CFile::Open(LPCWSTR lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        Close();
    m_strFileName = lpszFileName;

    DWORD access = 0;
    switch (nOpenFlags & 3) {
    case modeRead: access = GENERIC_READ; break;
    case modeWrite: access = GENERIC_WRITE; break;
    case modeReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
    default: access = GENERIC_READ; break;
    }
    DWORD share = 0;
    switch (nOpenFlags & 0x70) {
    case shareDenyWrite: share = FILE_SHARE_READ; break;
    case shareDenyRead: share = FILE_SHARE_WRITE; break;
    case shareDenyNone: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    default: share = 0; break; // shareCompat and shareExclusive
    }
    DWORD disposition = OPEN_EXISTING;
    if (nOpenFlags & modeCreate)
        disposition = (nOpenFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), NULL, (nOpenFlags & modeNoInherit) ? FALSE : TRUE};

    HANDLE h = ::CreateFileW(lpszFileName, access, share, &sa, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        if (pError) {
            pError->m_lOsError = (LONG)::GetLastError();
            pError->m_strFileName = lpszFileName;
        }
        return FALSE;
    }
    m_hFile = h;
    return TRUE;
}

void CFile::Close()
{
    if (m_hFile != INVALID_HANDLE_VALUE) {
        ::CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }
}

void CFile::Abort()
{
    Close();
}

UINT CFile::Read(void* lpBuf, UINT nCount)
{
    if (nCount == 0)
        return 0;
    DWORD got = 0;
    if (!::ReadFile(m_hFile, lpBuf, nCount, &got, NULL))
        throw new CFileException(::GetLastError(), m_strFileName);
    return got;
}

void CFile::Write(const void* lpBuf, UINT nCount)
{
    if (nCount == 0)
        return;
    DWORD put = 0;
    if (!::WriteFile(m_hFile, lpBuf, nCount, &put, NULL) || put != nCount)
        throw new CFileException(::GetLastError(), m_strFileName);
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom)
{
    LARGE_INTEGER d, r;
    d.QuadPart = lOff;
    DWORD method = nFrom == end ? FILE_END : nFrom == current ? FILE_CURRENT : FILE_BEGIN;
    if (!::SetFilePointerEx(m_hFile, d, &r, method))
        throw new CFileException(::GetLastError(), m_strFileName);
    return (ULONGLONG)r.QuadPart;
}

ULONGLONG CFile::GetPosition() const
{
    LARGE_INTEGER d, r;
    d.QuadPart = 0;
    if (!::SetFilePointerEx(m_hFile, d, &r, FILE_CURRENT))
        throw new CFileException(::GetLastError(), m_strFileName);
    return (ULONGLONG)r.QuadPart;
}

ULONGLONG CFile::GetLength() const
{
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(m_hFile, &size))
        throw new CFileException(::GetLastError(), m_strFileName);
    return (ULONGLONG)size.QuadPart;
}

void CFile::SetLength(ULONGLONG dwNewLen)
{
    Seek((LONGLONG)dwNewLen, begin);
    if (!::SetEndOfFile(m_hFile))
        throw new CFileException(::GetLastError(), m_strFileName);
}

void CFile::Flush()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        ::FlushFileBuffers(m_hFile);
}

// ---------------------------------------------------------------------------

CStdioFile::CStdioFile(LPCWSTR lpszFileName, UINT nOpenFlags) : m_bUnicode(false)
{
    CFileException e;
    if (!Open(lpszFileName, nOpenFlags, &e))
        throw new CFileException(e.m_lOsError, lpszFileName);
}

BOOL CStdioFile::Open(LPCWSTR lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    m_bUnicode = (nOpenFlags & typeUnicode) != 0;
    m_readBuf.clear();
    m_readPos = 0;
    return CFile::Open(lpszFileName, nOpenFlags & ~(typeUnicode | typeText | typeBinary), pError);
}

void CStdioFile::Close()
{
    m_readBuf.clear();
    m_readPos = 0;
    CFile::Close();
}

ULONGLONG CStdioFile::Seek(LONGLONG lOff, UINT nFrom)
{
    if (nFrom == current)
        lOff -= (LONGLONG)(m_readBuf.size() - m_readPos);
    m_readBuf.clear();
    m_readPos = 0;
    return CFile::Seek(lOff, nFrom);
}

UINT CStdioFile::Read(void* lpBuf, UINT nCount)
{
    if (m_readPos < m_readBuf.size())
        Seek(0, current);
    return CFile::Read(lpBuf, nCount);
}

void CStdioFile::WriteString(LPCWSTR lpsz)
{
    if (!lpsz)
        AfxThrowInvalidArgException();
    if (m_readPos < m_readBuf.size())
        Seek(0, current);
    if (m_bUnicode) {
        CFile::Write(lpsz, (UINT)(wcslen(lpsz) * sizeof(wchar_t)));
        return;
    }
    CString text(lpsz);
    text.Replace(L"\n", L"\r\n");
    CStringA bytes(text.GetString());
    CFile::Write(bytes.GetString(), (UINT)bytes.GetLength());
}

bool CStdioFile::FillBuffer()
{
    if (m_readPos > 0) {
        m_readBuf.erase(0, m_readPos);
        m_readPos = 0;
    }
    char chunk[4096];
    UINT n = CFile::Read(chunk, sizeof(chunk));
    if (n == 0)
        return false;
    m_readBuf.append(chunk, n);
    return true;
}

BOOL CStdioFile::ReadString(CString& rString)
{
    rString.Empty();
    const size_t unit = m_bUnicode ? 2 : 1;
    std::string line;
    bool any = false;
    for (;;) {
        if (m_readBuf.size() - m_readPos < unit && !FillBuffer()) {
            if (m_readBuf.size() - m_readPos >= unit)
                continue;
            break;
        }
        while (m_readBuf.size() - m_readPos >= unit) {
            any = true;
            bool nl = m_bUnicode ? (m_readBuf[m_readPos] == '\n' && m_readBuf[m_readPos + 1] == 0)
                                 : m_readBuf[m_readPos] == '\n';
            if (nl) {
                m_readPos += unit;
                goto done;
            }
            line.append(m_readBuf, m_readPos, unit);
            m_readPos += unit;
        }
    }
done:
    if (!any)
        return FALSE;
    if (m_bUnicode) {
        size_t n = line.size() / 2;
        if (n && line[(n - 1) * 2] == '\r' && line[(n - 1) * 2 + 1] == 0)
            --n;
        rString = CString(reinterpret_cast<const wchar_t*>(line.data()), (int)n);
    } else {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        rString = CString(line.data(), (int)line.size());
    }
    return TRUE;
}
