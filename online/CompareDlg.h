// CCompareDlg: the restore's preview. The downloaded cases beside the
// current ones, each marked new, unchanged, changed or to be deleted, in one
// coloured list; the user goes on (IDOK) or keeps the old data (IDCANCEL).
//
// A register of 100,000 cases gives up to 200,000 rows: the dialog keeps no
// copy of a case, only where it lies (in the downloaded records or in the
// store's map), and the list asks for the texts of the rows it shows.
#pragma once
#include <vector>
#include "afxcmn.h"
#include "afxdlg.h"
#include "foundation/FontStatic.h"
#include "storage/UgyiratStore.h"

class CCompareDlg : public CDialogEx
{
public:
    // The compare states (CUgyiratRecord::CompareState) and their rows.
    enum
    {
        kNew = 0,        // only in the download: entered as a new case
        kUnchanged = 1,  // in both and equal
        kChangedNew = 2, // in both and different: the downloaded version
        kChangedOld = 4, // in both and different: the current version
        kDeleted = 8     // only in the current data: deleted
    };

    explicit CCompareDlg(CWnd* pParent = NULL);

    // Fills the rows and writes the compare states into the current records.
    // Both stay the rows' cases: unchanged, and alive as long as the dialog.
    // Out of memory throws std::bad_alloc with no rows kept.
    void BuildRows(const std::vector<CUgyiratRecord>& downloaded, CUgyiratStore::RecordMap& current);

    // Whether two cases count as the same: state and the four texts; the
    // deadlines, the entry date and CC take no part.
    static bool SameCase(const CUgyiratRecord& a, const CUgyiratRecord& b);
    // The text of column "X" for a compare state, empty for any other value.
    static LPCWSTR StatusText(int state);
    // The row colour of a compare state.
    static COLORREF StateColour(int state);

    // A row of the list: its key, 2k for a downloaded case and 2k - 1 for a
    // current one (64 bits: 2k of the highest key does not fit 32), the case
    // it shows and its compare state.
    struct Row
    {
        long long key;
        const CUgyiratRecord* record;
        int state;
    };
    // One row per key, in ascending key order; the list shows them from the
    // last one up.
    std::vector<Row> m_rows;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    afx_msg void OnNMCustomdrawList(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnLvnGetdispinfoList(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnGetMinMaxInfo(MINMAXINFO* lpMMI);
    DECLARE_MESSAGE_MAP()

private:
    // The row the list shows at that index, or null.
    const Row* RowAt(int index) const;

    CListCtrl m_list;
    CFontStatic m_legendUnchanged;
    CFontStatic m_legendNew;
    CFontStatic m_legendDeleted;
    CFontStatic m_legendChanged;
    // The window as it opened: it cannot be made smaller than this.
    CRect m_initialRect;
};
