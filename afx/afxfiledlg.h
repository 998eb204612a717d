// CFileDialog: the system's open and save dialogs (GetOpenFileNameW,
// GetSaveFileNameW) with the class library's interface. The filter is the
// class library's form: "Word DOCX|*.docx|Minden fájl|*.*||".
#pragma once
#include <windows.h>
#include <commdlg.h>
#include <string>
#include "afxwin.h"

class CFileDialog
{
public:
    // The dialog is the Explorer-style one; bVistaStyle keeps the current
    // directory as the new-style dialog does (OFN_NOCHANGEDIR).
    explicit CFileDialog(BOOL bOpenFileDialog, LPCWSTR lpszDefExt = NULL, LPCWSTR lpszFileName = NULL,
                         DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCWSTR lpszFilter = NULL,
                         CWnd* pParentWnd = NULL, DWORD dwSize = 0, BOOL bVistaStyle = TRUE);
    virtual ~CFileDialog() {}
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK with a file chosen, IDCANCEL otherwise (also when the dialog failed).
    // Owned by the parent, or without one by the application's main window.
    virtual INT_PTR DoModal();

    // The chosen file: full path, name with extension, extension without
    // the dot, name without extension, and the folder without a final backslash.
    CString GetPathName() const { return CString(m_ofn.lpstrFile); }
    CString GetFileName() const;
    CString GetFileExt() const;
    CString GetFileTitle() const;
    CString GetFolderPath() const;

    // Callers may adjust it before DoModal (title, initial folder, flags).
    OPENFILENAMEW m_ofn;
    BOOL m_bOpenFileDialog;

private:
    std::wstring m_filter;
    std::wstring m_defExt;
    std::wstring m_fileBuffer;
    std::wstring m_titleBuffer;
    CWnd* m_pParentWnd;
};
