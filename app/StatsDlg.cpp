#include "app/StatsDlg.h"
#include <string_view>

namespace {

const int kListId = 1140;
// A wider range of years is not a register's own: a year read as 0, or a
// typo from an import or a restore. Then only the years that occur get a
// column, or one bad year would add thousands of them.
const int kMaxYearSpan = 200;

} // namespace

CStatsDlg::CStatsDlg(CUgyiratStore* store, CWnd* pParent) : CDialogEx(IDD, pParent), m_pStore(store) {}

void CStatsDlg::Count(const CUgyiratStore::RecordMap& records, CStatsCounts& counts)
{
    for (const auto& entry : records) {
        const CUgyiratRecord& record = entry.second;
        if (record.Ev < counts.lowest)
            counts.lowest = record.Ev;
        if (record.Ev > counts.highest)
            counts.highest = record.Ev;
        counts.years.insert(record.Ev);
        if (record.UgyJellege[0] == 0)
            continue;
        std::wstring_view type(record.UgyJellege);
        auto it = counts.types.find(type);
        if (it == counts.types.end())
            it = counts.types.emplace(std::wstring(type), std::map<int, int>()).first;
        ++it->second[record.Ev];
    }
}

void CStatsDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, kListId, m_list);
}

BOOL CStatsDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    m_list.InsertColumn(0, L"Ügyirat típusa", LVCFMT_LEFT, 200);
    m_list.InsertColumn(1, L"Összesen", LVCFMT_CENTER, 80);

    CStatsCounts counts;
    if (m_pStore)
        Count(m_pStore->m_records, counts);
    int lowest = counts.lowest, highest = counts.highest;

    // The year columns from the highest year down, and each year's column.
    std::map<int, int> columnOf;
    if (highest >= lowest) {
        int column = 2;
        auto addColumn = [&](int year) {
            CString heading;
            heading.Format(L"%d", year);
            m_list.InsertColumn(column, heading, LVCFMT_CENTER, 80);
            columnOf[year] = column++;
        };
        if ((long long)highest - lowest <= kMaxYearSpan) {
            for (int year = highest; year >= lowest; --year)
                addColumn(year);
        } else {
            for (auto it = counts.years.rbegin(); it != counts.years.rend(); ++it)
                addColumn(*it);
        }
    }

    for (const auto& type : counts.types) {
        int row = m_list.InsertItem(m_list.GetItemCount(), type.first.c_str());
        int total = 0;
        CString cell;
        for (const auto& year : type.second) {
            cell.Format(L"%d db", year.second);
            m_list.SetItemText(row, columnOf[year.first], cell);
            total += year.second;
        }
        cell.Format(L"%d db", total);
        m_list.SetItemText(row, 1, cell);
    }
    return TRUE;
}
