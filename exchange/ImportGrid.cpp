#include "exchange/ImportGrid.h"
#include "exchange/ImportDlg.h"

namespace {

const COLORREF kTextValid = 0xC00000;
const COLORREF kTextExists = 0xC0C0C0;
const COLORREF kTextInvalid = 0x0000C0;
const COLORREF kTypedBack = 0xFFFFFF;
const COLORREF kUntypedText = 0x808080;
const COLORREF kUntypedBack = 0xD0D0D0;

} // namespace

BEGIN_MESSAGE_MAP(CImportGrid, CListCtrl)
    ON_NOTIFY_REFLECT(NM_CLICK, &CImportGrid::OnClick)
    ON_NOTIFY_REFLECT(NM_DBLCLK, &CImportGrid::OnDblClick)
    ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, &CImportGrid::OnCustomDraw)
    ON_NOTIFY_REFLECT(LVN_ITEMCHANGING, &CImportGrid::OnItemChanging)
    ON_NOTIFY_REFLECT(LVN_KEYDOWN, &CImportGrid::OnKeyDown)
END_MESSAGE_MAP()

CImportGrid::CImportGrid() : m_pTypes(NULL), m_pDialog(NULL), m_bSettingCheck(false), m_bInToggle(false)
{
}

void CImportGrid::SyncCheck(int row)
{
    if (!m_pDialog || row < 0 || row >= GetItemCount())
        return;
    m_bSettingCheck = true;
    SetCheck(row, m_pDialog->GetRowStatus(row) == kRowValid);
    m_bSettingCheck = false;
}

void CImportGrid::SyncAllChecks()
{
    for (int i = 0; i < GetItemCount(); ++i)
        SyncCheck(i);
}

void CImportGrid::ToggleRow(int row)
{
    // A question or the editor runs a modal loop inside the list's own
    // mouse handling, where the list may report the same click again: that
    // is not the user's, and is dropped.
    if (!m_pDialog || m_bInToggle || row < 0 || row >= GetItemCount())
        return;
    m_bInToggle = true;
    m_pDialog->OnRowCheckClicked(row);
    m_bInToggle = false;
    SyncCheck(row);
    RedrawItems(row, row);
}

void CImportGrid::OnClick(NMHDR* pNMHDR, LRESULT* pResult)
{
    // The list takes no answer from this notification: a refused toggle is
    // undone by setting the box from the row's status.
    *pResult = 0;
    NMITEMACTIVATE* click = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR);
    UINT flags = 0;
    int row = HitTest(CPoint(click->ptAction), &flags);
    if (row < 0 || !(flags & LVHT_ONITEMSTATEICON))
        return;
    CRect bounds;
    if (!GetItemRect(row, &bounds, LVIR_BOUNDS) || click->ptAction.x >= bounds.Height())
        return;
    ToggleRow(row);
}

void CImportGrid::OnKeyDown(NMHDR* pNMHDR, LRESULT* pResult)
{
    *pResult = 0;
    NMLVKEYDOWN* key = reinterpret_cast<NMLVKEYDOWN*>(pNMHDR);
    if (key->wVKey == VK_SPACE)
        ToggleRow(GetNextItem(-1, LVNI_FOCUSED));
}

void CImportGrid::OnItemChanging(NMHDR* pNMHDR, LRESULT* pResult)
{
    NMLISTVIEW* change = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
    *pResult = 0;
    if (m_bSettingCheck || !(change->uChanged & LVIF_STATE))
        return;
    UINT oldImage = change->uOldState & LVIS_STATEIMAGEMASK;
    UINT newImage = change->uNewState & LVIS_STATEIMAGEMASK;
    // The list's own toggle (a click on the box, Space) is refused; the
    // first image a new item gets is not a toggle.
    if (oldImage != 0 && newImage != oldImage)
        *pResult = TRUE;
}

void CImportGrid::OnDblClick(NMHDR* /*pNMHDR*/, LRESULT* pResult)
{
    *pResult = 0;
    int row = GetNextItem(-1, LVNI_SELECTED);
    if (!m_pDialog || m_bInToggle || row < 0)
        return;
    m_bInToggle = true;
    m_pDialog->EditRow(row);
    m_bInToggle = false;
    SyncCheck(row);
}

void CImportGrid::OnCustomDraw(NMHDR* pNMHDR, LRESULT* pResult)
{
    NMLVCUSTOMDRAW* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(pNMHDR);
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        *pResult = CDRF_NOTIFYITEMDRAW;
        return;
    case CDDS_ITEMPREPAINT:
        *pResult = CDRF_NOTIFYSUBITEMDRAW;
        return;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        int column = draw->iSubItem;
        int type = m_pTypes && column >= 0 && column < kMaxImportColumns ? m_pTypes[column] : 0;
        if (type > 0) {
            int status = m_pDialog ? m_pDialog->GetRowStatus((int)draw->nmcd.dwItemSpec) : 0;
            draw->clrTextBk = kTypedBack;
            draw->clrText = status == kRowValid ? kTextValid : status == kRowExists ? kTextExists : kTextInvalid;
        } else {
            draw->clrText = kUntypedText;
            draw->clrTextBk = kUntypedBack;
        }
        *pResult = CDRF_DODEFAULT;
        return;
    }
    }
    *pResult = CDRF_DODEFAULT;
}
