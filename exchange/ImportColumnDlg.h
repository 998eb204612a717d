// CImportColumnDlg: what one column of the pasted table holds: not imported,
// or one of the import's column types.
#pragma once
#include "afxctl.h"
#include "afxdlg.h"

class CImportColumnDlg : public CDialogEx
{
public:
    CImportColumnDlg(int currentType, CWnd* pParent = NULL);

    // The chosen type id after OK; 0: the column is not imported.
    int GetColumnType() const { return m_chosenType; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    afx_msg void OnBnClickedSkip();
    afx_msg void OnBnClickedImport();
    afx_msg void OnLbnDblclkTypes();
    DECLARE_MESSAGE_MAP()

private:
    void UpdateListState();

    int m_currentType;
    int m_chosenType;
    CListBox m_types;
};
