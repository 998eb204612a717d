#include "afxexc.h"
#include <wchar.h>
#include "afxapp.h"

namespace {

BOOL CopyText(LPWSTR dst, UINT n, LPCWSTR src)
{
    if (!dst || n == 0)
        return FALSE;
    lstrcpynW(dst, src, (int)n);
    return TRUE;
}

} // namespace

BOOL CException::GetErrorMessage(LPWSTR lpszError, UINT nMaxError, PUINT pnHelpContext) const
{
    if (pnHelpContext)
        *pnHelpContext = 0;
    if (lpszError && nMaxError)
        *lpszError = 0;
    return FALSE;
}

int CException::ReportError(UINT nType, UINT nMessageID) const
{
    wchar_t text[512];
    if (!GetErrorMessage(text, 512)) {
        if (nMessageID == AFX_IDP_INTERNAL_FAILURE)
            lstrcpynW(text, L"Internal application error.", 512);
        else if (nMessageID == 0 || ::LoadStringW(GetModuleHandleW(NULL), nMessageID, text, 512) <= 0)
            lstrcpynW(text, L"No error message is available.", 512);
    }
    return AfxMessageBox(text, nType | MB_ICONEXCLAMATION);
}

BOOL CMemoryException::GetErrorMessage(LPWSTR lpszError, UINT nMaxError, PUINT pnHelpContext) const
{
    if (pnHelpContext)
        *pnHelpContext = 0;
    return CopyText(lpszError, nMaxError, L"Out of memory.");
}

BOOL CInvalidArgException::GetErrorMessage(LPWSTR lpszError, UINT nMaxError, PUINT pnHelpContext) const
{
    if (pnHelpContext)
        *pnHelpContext = 0;
    return CopyText(lpszError, nMaxError, L"Encountered an improper argument.");
}

BOOL CNotSupportedException::GetErrorMessage(LPWSTR lpszError, UINT nMaxError, PUINT pnHelpContext) const
{
    if (pnHelpContext)
        *pnHelpContext = 0;
    return CopyText(lpszError, nMaxError, L"Unsupported operation was attempted.");
}

BOOL CComErrorException::GetErrorMessage(LPWSTR lpszError, UINT nMaxError, PUINT pnHelpContext) const
{
    if (pnHelpContext)
        *pnHelpContext = 0;
    if (!lpszError || nMaxError == 0)
        return FALSE;
    LPWSTR sys = NULL;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             NULL, (DWORD)m_hr, 0, (LPWSTR)&sys, 0, NULL);
    *lpszError = 0;
    if (n && sys) {
        while (n > 0 && (sys[n - 1] == L'\n' || sys[n - 1] == L'\r'))
            sys[--n] = 0;
        lstrcpynW(lpszError, sys, (int)nMaxError);
    }
    if (sys)
        LocalFree(sys);
    // No text of the system's: the reporter's own text stands instead.
    return *lpszError != 0;
}

void AfxThrowMemoryException() { throw new CMemoryException; }
void AfxThrowInvalidArgException() { throw new CInvalidArgException; }
void AfxThrowNotSupportedException() { throw new CNotSupportedException; }
void AfxThrowUserException() { throw new CUserException; }
void AfxThrowComErrorException(HRESULT hr) { throw new CComErrorException(hr); }

void AfxReportException(CException* e)
{
    if (!e)
        return;
    if (!dynamic_cast<CUserException*>(e))
        e->ReportError(MB_OK, AFX_IDP_INTERNAL_FAILURE);
    e->Delete();
}

void AfxReportUnknownException()
{
    AfxMessageBox(L"Internal application error.", MB_OK | MB_ICONEXCLAMATION);
}
