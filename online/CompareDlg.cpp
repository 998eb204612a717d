#include "online/CompareDlg.h"
#include <wchar.h>
#include "resources/resource.h"

namespace {

const COLORREF kBlack = 0x000000;
const COLORREF kRed = 0x0000FF;
const COLORREF kBlue = 0xFF0000;
const COLORREF kLightBlue = 0xFF8080;
const COLORREF kGrey = 0x808080;
const COLORREF kWhite = 0xFFFFFF;

enum
{
    kColNr,
    kColEv,
    kColUgyfel,
    kColEllenfel,
    kColJelleg,
    kColMegjegyzes,
    kColStatus
};

} // namespace

BEGIN_MESSAGE_MAP(CCompareDlg, CDialogEx)
    ON_NOTIFY(NM_CUSTOMDRAW, IDC_CMP_LIST, &CCompareDlg::OnNMCustomdrawList)
    ON_WM_GETMINMAXINFO()
END_MESSAGE_MAP()

CCompareDlg::CCompareDlg(CWnd* pParent)
    : CDialogEx(IDD_COMPARE, pParent)
{
}

bool CCompareDlg::SameCase(const CUgyiratRecord& a, const CUgyiratRecord& b)
{
    return a.Allapot == b.Allapot && wcscmp(a.UgyfelNeve, b.UgyfelNeve) == 0 &&
           wcscmp(a.EllenfelNeve, b.EllenfelNeve) == 0 && wcscmp(a.UgyJellege, b.UgyJellege) == 0 &&
           wcscmp(a.Megjegyzes, b.Megjegyzes) == 0;
}

LPCWSTR CCompareDlg::StatusText(int state)
{
    switch (state) {
    case kNew:
        return L"új adat";
    case kUnchanged:
        return L"nem változik";
    case kChangedNew:
        return L"módosul (új)";
    case kChangedOld:
        return L"módosul (régi)";
    case kDeleted:
        return L"törlendő";
    default:
        return L"";
    }
}

COLORREF CCompareDlg::StateColour(int state)
{
    switch (state) {
    case kDeleted:
        return kGrey;
    case kChangedOld:
        return kLightBlue;
    case kChangedNew:
        return kBlue;
    case kUnchanged:
        return kBlack;
    default:
        return kRed;
    }
}

void CCompareDlg::BuildRows(const std::vector<CUgyiratRecord>& downloaded, CUgyiratStore::RecordMap& current)
{
    m_rows.clear();
    for (auto& entry : current)
        entry.second.CompareState = kNew;

    for (const CUgyiratRecord& d : downloaded) {
        const int key = UgyiratKey(d);
        const long long rowKey = 2LL * key;
        CUgyiratRecord& row = m_rows[rowKey];
        row = d;
        row.CompareState = kNew;
        auto found = current.find(key);
        if (found == current.end())
            continue;
        CUgyiratRecord& c = found->second;
        if (SameCase(d, c)) {
            row.CompareState = kUnchanged;
            c.CompareState = kUnchanged;
            // A later download of the same case decides alone: the current
            // version an earlier one put beside it goes.
            m_rows.erase(rowKey - 1);
        } else {
            row.CompareState = kChangedNew;
            c.CompareState = kChangedOld;
            m_rows[rowKey - 1] = c;
        }
    }

    for (const auto& entry : current) {
        if (entry.second.CompareState != kNew)
            continue;
        CUgyiratRecord& row = m_rows[2LL * entry.first - 1];
        row = entry.second;
        row.CompareState = kDeleted;
    }
}

void CCompareDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CMP_LIST, m_list);
    DDX_Control(pDX, IDC_CMP_LEGEND_UNCHANGED, m_legendUnchanged);
    DDX_Control(pDX, IDC_CMP_LEGEND_NEW, m_legendNew);
    DDX_Control(pDX, IDC_CMP_LEGEND_DELETED, m_legendDeleted);
    DDX_Control(pDX, IDC_CMP_LEGEND_CHANGED, m_legendChanged);
}

BOOL CCompareDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    GetWindowRect(&m_initialRect);

    struct
    {
        CFontStatic* label;
        COLORREF colour;
    } legends[] = {
        {&m_legendUnchanged, kBlack},
        {&m_legendNew, kRed},
        {&m_legendChanged, kBlue},
        {&m_legendDeleted, kGrey},
    };
    for (const auto& legend : legends) {
        legend.label->SetBackgroundColor(kWhite);
        legend.label->SetFontStyle(CFontStatic::kCentered);
        legend.label->SetTextColor(legend.colour);
    }

    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_FULLROWSELECT);
    CRect client;
    m_list.GetClientRect(&client);
    const int w = client.Width() / 20;
    m_list.InsertColumn(kColNr, L"Nr", LVCFMT_LEFT, w);
    m_list.InsertColumn(kColEv, L"Év", LVCFMT_LEFT, w);
    m_list.InsertColumn(kColUgyfel, L"Ügyfél neve", LVCFMT_LEFT, 4 * w);
    m_list.InsertColumn(kColEllenfel, L"Másik fél neve", LVCFMT_LEFT, 4 * w);
    m_list.InsertColumn(kColJelleg, L"Ügy jellege", LVCFMT_LEFT, 5 * w);
    m_list.InsertColumn(kColMegjegyzes, L"Megjegyzés", LVCFMT_LEFT,
                        client.Width() - 17 * w - ::GetSystemMetrics(SM_CXVSCROLL));
    m_list.InsertColumn(kColStatus, L"X", LVCFMT_LEFT, 2 * w);

    // Each row goes in above the one before: the list runs from the highest
    // row key down, a changed case's downloaded version above its current one.
    int index = 0;
    for (const auto& entry : m_rows) {
        const CUgyiratRecord& r = entry.second;
        CString number;
        number.Format(L"%d", r.Nr);
        int inserted = m_list.InsertItem(index, number);
        if (inserted < 0)
            continue;
        index = inserted;
        CString year;
        year.Format(L"%d", r.Ev);
        m_list.SetItemText(index, kColEv, year);
        m_list.SetItemText(index, kColUgyfel, r.UgyfelNeve);
        m_list.SetItemText(index, kColEllenfel, r.EllenfelNeve);
        m_list.SetItemText(index, kColJelleg, r.UgyJellege);
        m_list.SetItemText(index, kColMegjegyzes, r.Megjegyzes);
        m_list.SetItemText(index, kColStatus, StatusText(r.CompareState));
        m_list.SetItemData(index, (DWORD_PTR)(LONG_PTR)r.CompareState);
    }
    return TRUE;
}

void CCompareDlg::OnNMCustomdrawList(NMHDR* pNMHDR, LRESULT* pResult)
{
    NMLVCUSTOMDRAW* pDraw = reinterpret_cast<NMLVCUSTOMDRAW*>(pNMHDR);
    switch (pDraw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        *pResult = CDRF_NOTIFYITEMDRAW;
        return;
    case CDDS_ITEMPREPAINT:
        pDraw->clrText = StateColour((int)(LONG_PTR)pDraw->nmcd.lItemlParam);
        *pResult = CDRF_DODEFAULT;
        return;
    default:
        *pResult = CDRF_DODEFAULT;
        return;
    }
}

void CCompareDlg::OnGetMinMaxInfo(MINMAXINFO* lpMMI)
{
    if (m_initialRect.Width() > 0) {
        lpMMI->ptMinTrackSize.x = m_initialRect.Width();
        lpMMI->ptMinTrackSize.y = m_initialRect.Height();
    }
    CDialogEx::OnGetMinMaxInfo(lpMMI);
}
