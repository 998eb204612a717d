#include "online/CompareDlg.h"

CCompareDlg::CCompareDlg(CWnd* pParent)
    : CDialogEx(142, pParent)
{
}

void CCompareDlg::BuildRows(const std::vector<CUgyiratRecord>&, CUgyiratStore::RecordMap&)
{
    m_rows.clear();
}
