// CFile over a Win32 file handle, and CStdioFile for line-oriented text.
// CStdioFile with typeUnicode reads and writes raw UTF-16LE: no byte-order
// mark, no line-end translation. Without it (text mode) a text is written in
// the thread's ANSI code page with "\n" turned into "\r\n", and read back the
// other way.
#pragma once
#include <windows.h>
#include "afxstr.h"

class CFileException : public CException
{
public:
    explicit CFileException(DWORD dwError = 0, LPCWSTR lpszFileName = NULL)
        : m_lOsError((LONG)dwError), m_strFileName(lpszFileName) {}
    BOOL GetErrorMessage(LPWSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL) const override;

    LONG m_lOsError;
    CString m_strFileName;
};

class CFile
{
public:
    enum OpenFlags {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        typeUnicode = 0x0400,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition { begin = 0x0, current = 0x1, end = 0x2 };

    CFile() : m_hFile(INVALID_HANDLE_VALUE) {}
    CFile(LPCWSTR lpszFileName, UINT nOpenFlags);
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // False when the file cannot be opened; pError then holds the system error.
    virtual BOOL Open(LPCWSTR lpszFileName, UINT nOpenFlags, CFileException* pError = NULL);
    virtual void Close();
    void Abort();
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }

    virtual UINT Read(void* lpBuf, UINT nCount);
    // Throws CFileException when not everything could be written.
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual ULONGLONG Seek(LONGLONG lOff, UINT nFrom);
    ULONGLONG SeekToEnd() { return Seek(0, end); }
    void SeekToBegin() { Seek(0, begin); }
    virtual ULONGLONG GetPosition() const;
    virtual ULONGLONG GetLength() const;
    virtual void SetLength(ULONGLONG dwNewLen);
    virtual void Flush();
    CString GetFilePath() const { return m_strFileName; }

    operator HANDLE() const { return m_hFile; }

    HANDLE m_hFile;

protected:
    CString m_strFileName;
};

class CStdioFile : public CFile
{
public:
    CStdioFile() : m_bUnicode(false) {}
    CStdioFile(LPCWSTR lpszFileName, UINT nOpenFlags);

    BOOL Open(LPCWSTR lpszFileName, UINT nOpenFlags, CFileException* pError = NULL) override;
    void Close() override;

    virtual void WriteString(LPCWSTR lpsz);
    // Reads one line without its line end; false at the end of the file.
    virtual BOOL ReadString(CString& rString);
    UINT Read(void* lpBuf, UINT nCount) override;
    ULONGLONG Seek(LONGLONG lOff, UINT nFrom) override;

private:
    bool FillBuffer();
    bool m_bUnicode;
    // Read-ahead of ReadString; emptied by every Seek, Read and Write.
    std::string m_readBuf;
    size_t m_readPos = 0;
};
