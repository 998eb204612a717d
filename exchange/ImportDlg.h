// CImportDlg: the clipboard import wizard. The user pastes a table, says
// what each column holds (a click on its header), fixes or unticks rows and
// inserts the valid ones as new cases; a worker thread inserts them while a
// modal progress dialog shows how far it got. Ends with IDOK after a
// completed import, with IDCANCEL otherwise.
#pragma once
#include <atomic>
#include <bitset>
#include "afxctl.h"
#include "afxdlg.h"
#include "afxgdi.h"
#include "exchange/ImportGrid.h"
#include "exchange/ImportTable.h"

class CProgress;
class CUgyiratStore;

class CImportDlg : public CDialogEx
{
public:
    // The store the rows are checked against and inserted into.
    CImportDlg(CUgyiratStore* store, CWnd* pParent = NULL);

    // The row's status, 0 outside the table.
    int GetRowStatus(int row);
    // Opens the row editor; true when the row is valid (status 8) after it.
    bool EditRow(int row);
    // The user asked to flip the row's box: true when the flip is accepted.
    bool OnRowCheckClicked(int row);
    // Sets a column's type and resets the other columns it overlaps.
    void SetColumnType(int column, int type);
    int GetColumnType(int column) const;
    // The worker's loop: inserts the rows of status 8 and reports.
    void RunImport();
    // The worker's end when its loop threw: the progress window gets the
    // aborted texts (the rows inserted so far stay, as after an abort).
    void EndFailedImport();

    CImportTable& GetTable() { return m_table; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    afx_msg void OnBnClickedFromClipboard();
    afx_msg void OnBnClickedPrevError();
    afx_msg void OnBnClickedModify();
    afx_msg void OnBnClickedNextError();
    afx_msg void OnColumnClick(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnSize(UINT nType, int cx, int cy);
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg BOOL OnEraseBkgnd(CDC* pDC);
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    afx_msg void OnGetMinMaxInfo(MINMAXINFO* lpMMI);
    DECLARE_MESSAGE_MAP()

private:
    void Revalidate();
    void UpdateHint();
    void FillGrid(int columns);
    void RefreshRowTexts(int row);
    void SetColumnCaption(int column, LPCWSTR caption);
    int ColumnCount() const;
    // Runs the import under the progress dialog; the wizard's result.
    int StartImport();
    // Kills the column timers of header clicks not yet answered.
    void KillColumnTimers();

    CImportTable m_table;
    CImportGrid m_grid;
    int m_types[kMaxImportColumns];
    std::atomic<CProgress*> m_pSink;
    // Set once the progress window has closed: the worker stops before its
    // next row.
    std::atomic<bool> m_bStopWorker;
    // The column timers set and not yet fired.
    std::bitset<kMaxImportColumns> m_columnTimers;
    // The import has started: no column is typed any more (UI thread only).
    bool m_bImporting;
    CRect m_initialClient;
    CRect m_initialHint;
    CRect m_initialGrid;
    CRect m_initialOk;
    CBrush m_darkBrush;
    CBrush m_greyBrush;
};

// The worker thread's entry; the argument is the wizard.
DWORD WINAPI ImportThreadProc(LPVOID pParam);
