#include "online/CompareDlg.h"
#include <algorithm>
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
    ON_NOTIFY(LVN_GETDISPINFOW, IDC_CMP_LIST, &CCompareDlg::OnLvnGetdispinfoList)
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

    // A row for every downloaded case, then one for every current case shown
    // beside it or alone; of one key downloaded twice the later copy decides
    // alone, the current case then taking the state that copy gives it.
    std::vector<Row> rows;
    rows.reserve(downloaded.size() + current.size());
    for (const CUgyiratRecord& d : downloaded) {
        const int key = UgyiratKey(d);
        int state = kNew;
        auto found = current.find(key);
        if (found != current.end()) {
            const bool same = SameCase(d, found->second);
            state = same ? kUnchanged : kChangedNew;
            found->second.CompareState = same ? kUnchanged : kChangedOld;
        }
        rows.push_back({2LL * key, &d, state});
    }
    for (const auto& entry : current) {
        const int state = entry.second.CompareState;
        if (state == kChangedOld || state == kNew)
            rows.push_back({2LL * entry.first - 1, &entry.second, state == kNew ? kDeleted : kChangedOld});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.key < b.key; });
    size_t kept = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i + 1 < rows.size() && rows[i + 1].key == rows[i].key)
            continue;
        rows[kept++] = rows[i];
    }
    rows.resize(kept);
    m_rows.swap(rows);
}

const CCompareDlg::Row* CCompareDlg::RowAt(int index) const
{
    if (index < 0 || (size_t)index >= m_rows.size())
        return NULL;
    return &m_rows[m_rows.size() - 1 - (size_t)index];
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

    // The list runs from the highest row key down, a changed case's
    // downloaded version above its current one; it asks for each shown row.
    m_list.SetItemCountEx((int)m_rows.size(), LVSICF_NOINVALIDATEALL);
    return TRUE;
}

void CCompareDlg::OnNMCustomdrawList(NMHDR* pNMHDR, LRESULT* pResult)
{
    NMLVCUSTOMDRAW* pDraw = reinterpret_cast<NMLVCUSTOMDRAW*>(pNMHDR);
    switch (pDraw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        *pResult = CDRF_NOTIFYITEMDRAW;
        return;
    case CDDS_ITEMPREPAINT: {
        const Row* row = RowAt((int)pDraw->nmcd.dwItemSpec);
        pDraw->clrText = StateColour(row ? row->state : -1);
        *pResult = CDRF_DODEFAULT;
        return;
    }
    default:
        *pResult = CDRF_DODEFAULT;
        return;
    }
}

void CCompareDlg::OnLvnGetdispinfoList(NMHDR* pNMHDR, LRESULT* pResult)
{
    LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(pNMHDR)->item;
    *pResult = 0;
    const Row* row = RowAt(item.iItem);
    if (!row)
        return;
    if (item.mask & LVIF_PARAM)
        item.lParam = row->state;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0)
        return;
    const CUgyiratRecord& r = *row->record;
    LPCWSTR text = L"";
    switch (item.iSubItem) {
    case kColNr:
    case kColEv:
        swprintf(item.pszText, item.cchTextMax, L"%d", item.iSubItem == kColNr ? r.Nr : r.Ev);
        return;
    case kColUgyfel:
        text = r.UgyfelNeve;
        break;
    case kColEllenfel:
        text = r.EllenfelNeve;
        break;
    case kColJelleg:
        text = r.UgyJellege;
        break;
    case kColMegjegyzes:
        text = r.Megjegyzes;
        break;
    case kColStatus:
        text = StatusText(row->state);
        break;
    }
    lstrcpynW(item.pszText, text, item.cchTextMax);
}

void CCompareDlg::OnGetMinMaxInfo(MINMAXINFO* lpMMI)
{
    if (m_initialRect.Width() > 0) {
        lpMMI->ptMinTrackSize.x = m_initialRect.Width();
        lpMMI->ptMinTrackSize.y = m_initialRect.Height();
    }
    CDialogEx::OnGetMinMaxInfo(lpMMI);
}
