// CCompareDlg: the restore's preview. The downloaded cases beside the
// current ones, each marked new, unchanged, changed or to be deleted, in one
// coloured list; the user goes on (IDOK) or keeps the old data (IDCANCEL).
#pragma once
#include <map>
#include <vector>
#include "afxdlg.h"
#include "storage/UgyiratStore.h"

class CCompareDlg : public CDialogEx
{
public:
    explicit CCompareDlg(CWnd* pParent = NULL);

    // Fills the rows and writes the compare states into the current records.
    void BuildRows(const std::vector<CUgyiratRecord>& downloaded, CUgyiratStore::RecordMap& current);

    // Row key: 2k for a downloaded case, 2k - 1 for a current one (64 bits:
    // 2k of the highest key does not fit 32).
    std::map<long long, CUgyiratRecord> m_rows;
};
