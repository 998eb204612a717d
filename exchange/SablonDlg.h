// The template dialogs: CSablonDlg offers the templates when a case's
// document folder is opened and copies the ticked ones into it;
// CSablonSettingsDlg manages the template list, the documents root and the
// cover document; CSablonFieldsDlg edits one template's two options.
#pragma once
#include "afxcmn.h"
#include "afxdlg.h"
#include "exchange/SablonList.h"

class CUgyiratStore;
struct CUgyiratRecord;

class CSablonDlg : public CDialogEx
{
public:
    // store: the case store (its documents root for the settings dialog);
    // record: the case whose folder this is, or null.
    CSablonDlg(CUgyiratStore* store, const CUgyiratRecord* record, LPCWSTR caseFolder, CWnd* pParent = NULL);

    const CUgyiratRecord* m_pRecord;
    CListCtrl m_list;
    CString m_strCaseFolder;
    CSablonList m_sablonList;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    // Copies the ticked templates, then ends with IDOK.
    void OnOK() override;

    afx_msg void OnBnClickedExplorer();
    afx_msg void OnBnClickedSettings();
    afx_msg void OnBnClickedAdd();
    afx_msg void OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult);

    DECLARE_MESSAGE_MAP()

private:
    void FillList();
    // IDOK enabled exactly when at least one row is ticked.
    void UpdateCopyButton();
    // Column 1 and the item data of a row whose entry is given.
    void SetEntryColumns(int row, const SablonEntry& entry);

    CUgyiratStore* m_pStore;
};

class CSablonSettingsDlg : public CDialogEx
{
public:
    explicit CSablonSettingsDlg(CUgyiratStore* store, CWnd* pParent = NULL);

    CListCtrl m_list;
    CString m_strDirRoot;
    CSablonList m_sablonList;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    afx_msg void OnBnClickedRoot();
    afx_msg void OnBnClickedCover();
    afx_msg void OnBnClickedAdd();
    afx_msg void OnBnClickedOptions();
    afx_msg void OnBnClickedOpen();
    afx_msg void OnBnClickedRemove();

    DECLARE_MESSAGE_MAP()

private:
    void FillList();
    // Columns 1 to 3 and the item data of a row.
    void SetRow(int row, const SablonEntry& entry);
    // The entry of the selected row, or null.
    SablonEntry* SelectedEntry();
    // Writes the cover resource to path; false (the user told) when it fails.
    bool WriteCover(const CString& path);

    CUgyiratStore* m_pStore;
};

class CSablonFieldsDlg : public CDialogEx
{
public:
    // bits: SABLON_SELECT_IF_NOT_EXISTS and SABLON_INSERT_FIELDS.
    explicit CSablonFieldsDlg(int bits, CWnd* pParent = NULL);

    int m_nBits;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
};
