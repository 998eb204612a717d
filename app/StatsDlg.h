// CStatsDlg: how many cases of each case type the register holds, in total
// and per year, counted from the store's in-memory map.
#pragma once
#include <map>
#include <set>
#include <string>
#include "afxdlg.h"
#include "afxcmn.h"
#include "storage/UgyiratStore.h"

// What the dialog counts: case type -> year -> cases, the years met and their
// range. The types keep the order of their UTF-16 code units; the
// transparent comparison finds a record's type without making a string of it.
struct CStatsCounts
{
    std::map<std::wstring, std::map<int, int>, std::less<>> types;
    std::set<int> years;
    int lowest = 2100;
    int highest = 1900;
};

class CStatsDlg : public CDialogEx
{
public:
    enum { IDD = 152 };

    CStatsDlg(CUgyiratStore* store, CWnd* pParent = NULL);

    // Counts the cases of a map; records without a case type widen the
    // years only.
    static void Count(const CUgyiratStore::RecordMap& records, CStatsCounts& counts);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

private:
    CUgyiratStore* m_pStore;
    CListCtrl m_list;
};
