// CImportGrid: the import wizard's list of pasted rows. Item i always shows
// table row i. Columns are drawn by their type and the row's status; the
// check box of a row always shows whether the row is to be imported
// (status 8): the list never flips a box by itself, the wizard decides.
#pragma once
#include "afxcmn.h"

class CImportDlg;

class CImportGrid : public CListCtrl
{
public:
    CImportGrid();

    // The wizard's column-type array (kMaxImportColumns ids) and the wizard.
    void SetColumnTypes(const int* types) { m_pTypes = types; }
    void SetOwnerDialog(CImportDlg* dialog) { m_pDialog = dialog; }
    // Sets the row's box to whether its status is 8.
    void SyncCheck(int row);
    void SyncAllChecks();

protected:
    afx_msg void OnClick(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnDblClick(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnCustomDraw(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnItemChanging(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnKeyDown(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

private:
    // The user asked to flip the row's box: the wizard decides, the box
    // then shows the row's status.
    void ToggleRow(int row);

    const int* m_pTypes;
    CImportDlg* m_pDialog;
    // Set while the grid itself sets a box; every other change of a box is
    // refused.
    bool m_bSettingCheck;
    // Set while the wizard decides on a flip or edits a row.
    bool m_bInToggle;
};
