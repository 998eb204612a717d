#include "app/StatsDlg.h"
#include <map>
#include <string>
#include <string_view>
#include "resources/resource.h"
#include "storage/UgyiratStore.h"

namespace {

const int kListId = 1140;
// A wider range of years is not a register's own: a year read as 0, or a
// typo from an import or a restore. Then only the years that occur get a
// column, or one bad year would add thousands of them.
const int kMaxYearSpan = 200;

// Case type -> year -> count. The types keep the order of their UTF-16 code
// units; the transparent comparison finds a record's type without making a
// string of it.
typedef std::map<int, int> YearCounts;
typedef std::map<std::wstring, YearCounts, std::less<>> TypeCounts;

} // namespace

CStatsDlg::CStatsDlg(CUgyiratStore* store, CWnd* pParent) : CDialogEx(IDD, pParent), m_pStore(store) {}

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

    TypeCounts counts;
    std::map<int, bool> yearsSeen;
    int lowest = 2100, highest = 1900;
    if (m_pStore) {
        for (const auto& entry : m_pStore->m_records) {
            const CUgyiratRecord& record = entry.second;
            if (record.Ev < lowest)
                lowest = record.Ev;
            if (record.Ev > highest)
                highest = record.Ev;
            yearsSeen[record.Ev] = true;
            if (record.UgyJellege[0] == 0)
                continue;
            std::wstring_view type(record.UgyJellege);
            auto it = counts.find(type);
            if (it == counts.end())
                it = counts.emplace(std::wstring(type), YearCounts()).first;
            ++it->second[record.Ev];
        }
    }

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
            for (auto it = yearsSeen.rbegin(); it != yearsSeen.rend(); ++it)
                addColumn(it->first);
        }
    }

    for (const auto& type : counts) {
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
