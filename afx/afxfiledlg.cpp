#include "afxfiledlg.h"
#include <shlwapi.h>

namespace {

const size_t kFileBufferChars = 4096;

} // namespace

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCWSTR lpszDefExt, LPCWSTR lpszFileName, DWORD dwFlags,
                         LPCWSTR lpszFilter, CWnd* pParentWnd, DWORD /*dwSize*/, BOOL bVistaStyle)
    : m_ofn(), m_bOpenFileDialog(bOpenFileDialog), m_fileBuffer(kFileBufferChars, L'\0'),
      m_titleBuffer(MAX_PATH, L'\0'), m_pParentWnd(pParentWnd)
{
    m_ofn.lStructSize = sizeof(m_ofn);
    m_ofn.Flags = dwFlags | OFN_EXPLORER | OFN_ENABLESIZING;
    // The new-style dialog leaves the current directory alone; the older one
    // would move it to the chosen file's folder (and hold that folder).
    if (bVistaStyle)
        m_ofn.Flags |= OFN_NOCHANGEDIR;
    m_ofn.lpstrFile = &m_fileBuffer[0];
    m_ofn.nMaxFile = (DWORD)m_fileBuffer.size();
    m_ofn.lpstrFileTitle = &m_titleBuffer[0];
    m_ofn.nMaxFileTitle = (DWORD)m_titleBuffer.size();
    if (lpszFileName)
        lstrcpynW(m_ofn.lpstrFile, lpszFileName, (int)m_ofn.nMaxFile);
    if (lpszDefExt) {
        m_defExt = lpszDefExt;
        m_ofn.lpstrDefExt = m_defExt.c_str();
    }
    if (lpszFilter) {
        // "|" separates the pieces; the list ends with two terminators.
        m_filter = lpszFilter;
        for (wchar_t& ch : m_filter) {
            if (ch == L'|')
                ch = L'\0';
        }
        m_filter.append(2, L'\0');
        m_ofn.lpstrFilter = m_filter.c_str();
        m_ofn.nFilterIndex = 1;
    }
}

INT_PTR CFileDialog::DoModal()
{
    m_ofn.hwndOwner = CWnd::GetSafeOwner_(m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : NULL, NULL);
    BOOL bOK = m_bOpenFileDialog ? ::GetOpenFileNameW(&m_ofn) : ::GetSaveFileNameW(&m_ofn);
    return bOK ? IDOK : IDCANCEL;
}

CString CFileDialog::GetFileName() const
{
    return CString(::PathFindFileNameW(m_ofn.lpstrFile));
}

CString CFileDialog::GetFileExt() const
{
    LPCWSTR ext = ::PathFindExtensionW(::PathFindFileNameW(m_ofn.lpstrFile));
    return CString(*ext == L'.' ? ext + 1 : ext);
}

CString CFileDialog::GetFileTitle() const
{
    CString name = GetFileName();
    int dot = name.ReverseFind(L'.');
    return dot >= 0 ? name.Left(dot) : name;
}

CString CFileDialog::GetFolderPath() const
{
    CString path(m_ofn.lpstrFile);
    int slash = path.ReverseFind(L'\\');
    return slash >= 0 ? path.Left(slash) : CString();
}
