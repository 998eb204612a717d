// Exception classes of the layer: the string class throws CMemoryException
// and CInvalidArgException, data exchange throws CUserException after it has
// told the user, and the deadline parser throws CComErrorException.
#pragma once
#include <windows.h>

// The message id of ReportError's text "Internal application error.", for
// an exception that has no text of its own.
const UINT AFX_IDP_INTERNAL_FAILURE = 0xF108;

class CException
{
public:
    CException() {}
    virtual ~CException() {}
    // Fills the buffer with the text a user should see; false when there is none.
    virtual BOOL GetErrorMessage(LPWSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL) const;
    // Shows the text in a message box captioned with the application's
    // name, or nMessageID's text when there is none.
    virtual int ReportError(UINT nType = MB_OK, UINT nMessageID = 0) const;
    // Exceptions are thrown by pointer; the catcher calls Delete.
    void Delete() { delete this; }
};

class CMemoryException : public CException
{
public:
    BOOL GetErrorMessage(LPWSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL) const override;
};

class CInvalidArgException : public CException
{
public:
    BOOL GetErrorMessage(LPWSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL) const override;
};

class CNotSupportedException : public CException
{
public:
    BOOL GetErrorMessage(LPWSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL) const override;
};

// Thrown after the user has already been told (data exchange failures).
class CUserException : public CException
{
};

// An HRESULT raised as an exception; the text is the system's text for the
// code (none when the system has none).
class CComErrorException : public CException
{
public:
    explicit CComErrorException(HRESULT hr) : m_hr(hr) {}
    HRESULT Error() const { return m_hr; }
    BOOL GetErrorMessage(LPWSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL) const override;
private:
    HRESULT m_hr;
};

[[noreturn]] void AfxThrowMemoryException();
[[noreturn]] void AfxThrowInvalidArgException();
[[noreturn]] void AfxThrowNotSupportedException();
[[noreturn]] void AfxThrowUserException();
[[noreturn]] void AfxThrowComErrorException(HRESULT hr);

// Reports an exception that reached a window procedure the way the class
// library does (its text, or "Internal application error.", captioned with
// the application's name) and deletes it.
void AfxReportException(CException* e);
void AfxReportUnknownException();
