// CExportDlg: the user picks the format (RTF, HTML, tab-separated text) and
// the target file, and the case store exports its case table there. Each
// format has its own path while the dialog is open; every opening starts
// from the three files in the documents root and the HTML choice.
#pragma once
#include "afxdlg.h"

class CUgyiratStore;

class CExportDlg : public CDialogEx
{
public:
    // The store exports and gives the documents root (DirRoot).
    explicit CExportDlg(CUgyiratStore& store, CWnd* pParent = NULL);

    // The id of the checked format radio (IDC_EXPORT_RTF, _HTML or _CSV).
    int m_nChoice;
    CString m_strPathRtf;
    CString m_strPathHtml;
    CString m_strPathCsv;

protected:
    // Loads only: the radio of the current choice and its path.
    void DoDataExchange(CDataExchange* pDX) override;
    // Exports to the current choice's path and ends the dialog with IDOK.
    void OnOK() override;

    afx_msg void OnBnClickedRtf();
    afx_msg void OnBnClickedHtml();
    afx_msg void OnBnClickedCsv();
    afx_msg void OnBnClickedBrowse();

    DECLARE_MESSAGE_MAP()

private:
    void SetChoice(int choice);
    // The path of the current choice; null when no format is chosen.
    CString* CurrentPath();

    CUgyiratStore& m_store;
};
