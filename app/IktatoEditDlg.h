// CIktatoEditDlg: the dialog in which the user enters a new case or changes
// an existing one. It works on its own copies of the record's values (Nr,
// Ev, Allapot and the five texts): the caller fills them before DoModal and
// reads them back after IDOK. It reads the store only for the drop-down name
// lists and, for a new case, whether the key is taken.
//
// RunNewCaseDialog and RunModifyCaseDialog below are the whole new and
// modify commands after the main dialog's own checks (busy guard, offline
// refusal, reload, the selected row): they run the dialog, build the record
// and store it. The main dialog runs them and the tests drive them.
#pragma once
#include "afxdlg.h"
#include "afxcmn.h"
#include "app/Hatarido.h"
#include "foundation/ComboBoxExt.h"
#include "storage/UgyiratStore.h"

class CIktatoEditDlg : public CDialogEx
{
public:
    enum { kModeNew = 0, kModeModify = 1 };
    // A list of more deadlines does not fit the case's deadline text.
    static const int kMaxDeadlines = 16;

    CIktatoEditDlg(CUgyiratStore* pStore, int nMode, CWnd* pParent = NULL);

    // Enables "Hozzáad" while the list holds fewer than kMaxDeadlines rows.
    void UpdateAddDeadlineButton();

    CUgyiratStore* m_pStore;
    CComboBoxExt m_cbUgyfelNeve;
    CComboBoxExt m_cbEllenfelNeve;
    CComboBoxExt m_cbUgyJellege;
    CListCtrl m_listHataridok;
    int m_nMode;
    bool m_bPredictive;

    int Nr;
    int Ev;
    int Allapot;
    CString UgyfelNeve;
    CString EllenfelNeve;
    CString UgyJellege;
    CString Megjegyzes;
    CString Hataridok;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    afx_msg void OnBnClickedNext();
    afx_msg void OnCbnSetfocusUgyfelNeve();
    afx_msg void OnCbnSetfocusEllenfelNeve();
    afx_msg void OnCbnSetfocusUgyJellege();
    afx_msg void OnBnClickedAddDeadline();
    afx_msg void OnBnClickedModifyDeadline();
    afx_msg void OnBnClickedDeleteDeadline();
    DECLARE_MESSAGE_MAP()

private:
    void AppendDeadlineRow(const CHatarido& deadline);
    void SetDeadlineRow(int row, const CHatarido& deadline);
    // Reads one name (combo or edit) and refuses one longer than the record holds.
    void ExchangeName(CDataExchange* pDX, int comboId, int editId, CString& value, LPCWSTR tooLongText);
};

enum EditCaseResult
{
    kEditCaseCancelled,   // the user cancelled (also after refused saves), or the dialog could not open
    kEditCaseSaved,       // the store took the case
    kEditCaseMissing,     // modify: the key is no longer in the store; the user has been told
};

// The dialog's fields from a record, and back (bounded copies; the entry
// date, CC and the compare state are the caller's).
void FillEditDialog(CIktatoEditDlg& dlg, const CUgyiratRecord& r);
void TakeEditDialogValues(CUgyiratRecord& r, const CIktatoEditDlg& dlg);

// Both commands open the dialog without a parent. A save the store refuses
// is told in a box owned by pOwner (null: the main window) and the dialog
// opens again with the entry, until the store takes it or the user cancels.
// The caller rebuilds its list unless cancelled.
//
// New case: the dialog opens with the current local year and the store's
// next number of that year; on OK the record (entry date now, CC empty)
// goes to CUgyiratStore::Insert.
EditCaseResult RunNewCaseDialog(CUgyiratStore& store, CWnd* pOwner = NULL);

// Modify the case of this key: the dialog opens with the stored values
// (number and year locked); on OK the record keeps the entry date it had
// when the dialog opened, is written with an empty CC and goes to
// CUgyiratStore::Update. A key that is not in the store when the dialog
// would open, or no longer when the user confirms, is told to the user and
// nothing is written.
EditCaseResult RunModifyCaseDialog(CUgyiratStore& store, int key, CWnd* pOwner = NULL);
