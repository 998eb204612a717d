#include "app/VelindoListCtrl.h"
#include "app/Hatarido.h"
#include <algorithm>
#include <time.h>
#include <wchar.h>
#include "foundation/AppSettings.h"
#include "foundation/Log.h"
#include "storage/StoreBusy.h"
#include "storage/UgyiratStore.h"

namespace {

const COLORREF kRowGrey = RGB(0xE0, 0xE0, 0xE0);
const COLORREF kRowWhite = RGB(0xFF, 0xFF, 0xFF);
const COLORREF kHighlightText = 0x0000FF;
const COLORREF kUnwatched = 0xC0C0C0;
const COLORREF kDayColours[] = {0x0000FF, 0x0020E0, 0x0040C0, 0x0060A0, 0x008080,
                                0x00A060, 0x00C040, 0x00E020, 0x00FF00};

const UINT kTextFlags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;

struct ColumnDef
{
    LPCWSTR caption;
    int units; // width in twentieths of the client width
};
const ColumnDef kColumns[CVelindoListCtrl::kColumnCount] = {
    {L"Nr", 2},          {L"Év", 1},          {L"Ügyfél neve", 4}, {L"Másik fél neve", 4},
    {L"Ügy jellege", 3}, {L"Megjegyzés", 4}, {L"Határidők", 0},
};

void FillRectColour(HDC dc, const RECT& rect, COLORREF colour)
{
    HBRUSH brush = ::CreateSolidBrush(colour);
    ::FillRect(dc, &rect, brush);
    ::DeleteObject(brush);
}

int TextWidth(HDC dc, LPCWSTR text, int length, const RECT& at)
{
    RECT rc = at;
    ::DrawTextW(dc, text, length, &rc, kTextFlags | DT_CALCRECT);
    return rc.right - rc.left;
}

} // namespace

BEGIN_MESSAGE_MAP(CVelindoListCtrl, CListCtrl)
    ON_NOTIFY_REFLECT(LVN_GETDISPINFOW, &CVelindoListCtrl::OnGetDispInfo)
    ON_NOTIFY_REFLECT(NM_CLICK, &CVelindoListCtrl::OnClick)
    ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, &CVelindoListCtrl::OnCustomDraw)
END_MESSAGE_MAP()

CVelindoListCtrl::CVelindoListCtrl() : m_pFont(NULL), m_initialFontHeight(0), m_pStore(NULL), m_paintToday(0)
{
    m_cell[0] = 0;
}

CVelindoListCtrl::~CVelindoListCtrl()
{
    delete m_pFont;
}

void CVelindoListCtrl::SetStoreBusy(bool busy)
{
    ::SetStoreBusy(busy);
}

bool CVelindoListCtrl::IsStoreBusy()
{
    return ::IsStoreBusy();
}

void CVelindoListCtrl::CreateListColumns()
{
    SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    CRect client;
    GetClientRect(&client);
    int width = client.Width();
    int a = width / 20;
    int scroll = ::GetSystemMetrics(SM_CXVSCROLL);
    for (int i = 0; i < kColumnCount; ++i) {
        int cx = kColumns[i].units * a;
        if (i == 5)
            cx -= scroll;
        else if (i == 6)
            cx = width - 18 * a - scroll;
        InsertColumn(i, kColumns[i].caption, LVCFMT_LEFT, cx < 0 ? 0 : cx);
    }
}

bool CVelindoListCtrl::HasColumns() const
{
    CHeaderCtrl* header = GetHeaderCtrl();
    return header && header->GetSafeHwnd() && header->GetItemCount() > 0;
}

void CVelindoListCtrl::ClearKeys()
{
    DeleteAllItems();
    m_keys.clear();
}

int CVelindoListCtrl::GetKey(int row) const
{
    if (row < 0 || row >= (int)m_keys.size())
        return 0;
    return m_keys[row];
}

void CVelindoListCtrl::SetSearchTerms(LPCWSTR terms)
{
    m_terms.clear();
    if (!terms)
        return;
    for (LPCWSTR p = terms; *p; p += wcslen(p) + 1)
        m_terms.push_back(CString(p));
}

CUgyiratRecord* CVelindoListCtrl::FindRow(int row)
{
    if (::IsStoreBusy() || row < 0 || row >= (int)m_keys.size())
        return NULL;
    CUgyiratStore* store = GetStore();
    return store ? store->Find(m_keys[row]) : NULL;
}

bool CVelindoListCtrl::GetCellText(int row, int column, LPWSTR buffer, int bufferLength, int* state)
{
    if (state)
        *state = -1;
    if (!buffer || bufferLength < 1)
        return false;
    buffer[0] = 0;
    const CUgyiratRecord* record = FindRow(row);
    if (!record)
        return false;
    LPCWSTR text = NULL;
    switch (column) {
    case 0:
    case 1:
        _snwprintf(buffer, bufferLength - 1, L"%d", column == 0 ? record->Nr : record->Ev);
        break;
    case 2: text = record->UgyfelNeve; break;
    case 3: text = record->EllenfelNeve; break;
    case 4: text = record->UgyJellege; break;
    case 5: text = record->Megjegyzes; break;
    case 6: text = record->Hataridok; break;
    default: break;
    }
    if (text) {
        int n = 0;
        for (; n < bufferLength - 1 && text[n]; ++n)
            buffer[n] = text[n];
        buffer[n] = 0;
    }
    buffer[bufferLength - 1] = 0;
    if (state)
        *state = record->Allapot;
    return buffer[0] != 0;
}

bool CVelindoListCtrl::IsTicked(const CUgyiratRecord& record)
{
    return record.Allapot != 0;
}

void CVelindoListCtrl::OnGetDispInfo(NMHDR* pNMHDR, LRESULT* pResult)
{
    LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(pNMHDR)->item;
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0)
        GetCellText(item.iItem, item.iSubItem, item.pszText, item.cchTextMax, NULL);
    if (item.mask & (LVIF_IMAGE | LVIF_STATE)) {
        const CUgyiratRecord* record = FindRow(item.iItem);
        if (record) {
            item.mask |= LVIF_STATE;
            item.stateMask |= LVIS_STATEIMAGEMASK;
            item.state = (item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(IsTicked(*record) ? 2 : 1);
        }
    }
    *pResult = 0;
}

void CVelindoListCtrl::OnClick(NMHDR* pNMHDR, LRESULT* pResult)
{
    *pResult = 0;
    LVHITTESTINFO hit = {};
    hit.pt = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR)->ptAction;
    int row = HitTest(&hit);
    if (row < 0)
        return;
    CRect bounds;
    if (!GetItemRect(row, &bounds, LVIR_BOUNDS) || hit.pt.x >= bounds.Height())
        return;
    CUgyiratRecord* record = FindRow(row);
    if (!record)
        return;
    GetStore()->SetAllapot(record->Ev, record->Nr, IsTicked(*record) ? 0 : 1);
    Update(row);
}

void CVelindoListCtrl::OnCustomDraw(NMHDR* pNMHDR, LRESULT* pResult)
{
    NMLVCUSTOMDRAW* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(pNMHDR);
    switch (cd->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        m_paintToday = TodayMidnight();
        *pResult = CDRF_NOTIFYSUBITEMDRAW;
        return;
    case CDDS_ITEMPREPAINT:
        *pResult = CDRF_NOTIFYSUBITEMDRAW;
        return;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        int row = (int)cd->nmcd.dwItemSpec;
        bool selected = (GetItemState(row, LVIS_SELECTED) & LVIS_SELECTED) != 0;
        COLORREF background = RowBackground(row, selected);
        int column = cd->iSubItem;
        if (column >= 0) {
            GetCellText(row, column, m_cell, kCellBuffer, NULL);
            // The square shows what the state image says, whatever the state.
            const CUgyiratRecord* record = FindRow(row);
            int state = record ? (IsTicked(*record) ? 1 : 0) : -1;
            CRect bounds, head;
            CHeaderCtrl* header = GetHeaderCtrl();
            if (GetItemRect(row, &bounds, LVIR_BOUNDS) && header && header->GetItemRect(column, &head)) {
                CRect cell(head.left + bounds.left, bounds.top, head.right + bounds.left, bounds.bottom);
                DrawCell(cd->nmcd.hdc, cell, column, m_cell, state, selected, background);
            }
        }
        *pResult = CDRF_SKIPDEFAULT;
        return;
    }
    default:
        *pResult = 0;
        return;
    }
}

COLORREF CVelindoListCtrl::RowBackground(int row, bool selected)
{
    if (selected)
        return ::GetSysColor(COLOR_HIGHLIGHT);
    return (row % 2) ? kRowWhite : kRowGrey;
}

__int64 CVelindoListCtrl::TodayMidnight()
{
    __int64 now = _time64(NULL);
    struct tm t;
    if (_localtime64_s(&t, &now) != 0)
        return now;
    t.tm_hour = t.tm_min = t.tm_sec = 0;
    t.tm_isdst = -1;
    return _mktime64(&t);
}

COLORREF CVelindoListCtrl::DeadlineColour(const CListDeadline& deadline, __int64 todayMidnight)
{
    if (!deadline.watched)
        return kUnwatched;
    __int64 diff = deadline.date - todayMidnight;
    if (diff <= 0)
        return kDayColours[0];
    // Both are local midnights, so the difference is whole days give or take
    // the hour of a daylight-saving change: round to the day.
    __int64 days = (diff + 43200) / 86400;
    return kDayColours[days >= 8 ? 8 : (int)days];
}

bool CVelindoListCtrl::ParseDeadlines(LPCWSTR text, std::vector<CListDeadline>& out)
{
    // The deadline text's own parser, kept from throwing: a text that does
    // not parse draws no squares.
    out.clear();
    try {
        for (const CHatarido& h : ParseDeadlineList(CString(text), true, true))
            out.push_back(CListDeadline{h.m_nWatched, h.m_tDate, h.m_strRemark});
    } catch (CException* e) {
        e->Delete();
        out.clear();
        return false;
    }
    return true;
}

CString CVelindoListCtrl::FormatDeadlineDate(__int64 date)
{
    struct tm t = {};
    int year = 0, month = 0, day = 0;
    if (_localtime64_s(&t, &date) == 0) {
        year = t.tm_year + 1900;
        month = t.tm_mon + 1;
        day = t.tm_mday;
    }
    CString text;
    text.Format(L"%d. %02d. %02d.", year, month, day);
    return text;
}

WCHAR CVelindoListCtrl::LowerChar(WCHAR c)
{
    return LowerSearchChar(c);
}

void CVelindoListCtrl::FindTermRanges(CTermRanges& table, LPCWSTR term)
{
    if (!table.text || !*table.text || !term || !*term)
        return;
    int termLength = (int)wcslen(term);
    for (LPCWSTR hit = wcsstr(table.text, term); hit; hit = wcsstr(hit + 1, term)) {
        int s = (int)(hit - table.text);
        int e = s + termLength - 1;
        int merged = -1;
        for (int i = 0; i < table.count; ++i)
            if (s <= table.end[i] + 1 && table.start[i] <= e + 1) {
                merged = i;
                break;
            }
        if (merged < 0) {
            if (table.count < CTermRanges::kMaxRanges) {
                table.start[table.count] = (WORD)s;
                table.end[table.count] = (WORD)e;
                ++table.count;
            }
            continue;
        }
        table.start[merged] = (WORD)std::min<int>(table.start[merged], s);
        table.end[merged] = (WORD)std::max<int>(table.end[merged], e);
        // The grown range absorbs every other range it now overlaps or touches.
        bool absorbed = true;
        while (absorbed) {
            absorbed = false;
            for (int i = 0; i < table.count; ++i) {
                if (i == merged || !(table.start[i] <= table.end[merged] + 1 && table.start[merged] <= table.end[i] + 1))
                    continue;
                table.start[merged] = std::min(table.start[merged], table.start[i]);
                table.end[merged] = std::max(table.end[merged], table.end[i]);
                int last = table.count - 1;
                table.start[i] = table.start[last];
                table.end[i] = table.end[last];
                if (merged == last)
                    merged = i;
                --table.count;
                absorbed = true;
                break;
            }
        }
    }
}

int CVelindoListCtrl::NextFontHeight(int current, int initial, bool reset)
{
    if (reset)
        return initial;
    int s = initial < 0 ? -1 : 1;
    int candidate = current + s;
    return candidate * s <= 2 * initial * s ? candidate : initial;
}

int CVelindoListCtrl::GetFontHeight() const
{
    LOGFONTW lf = {};
    HFONT font = (HFONT)SendMsg(WM_GETFONT, 0, 0);
    if (!::GetObjectW(font ? (HGDIOBJ)font : ::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf))
        return 0;
    return lf.lfHeight;
}

void CVelindoListCtrl::ApplyFontHeight(int height, bool redraw)
{
    LOGFONTW lf = {};
    HFONT current = (HFONT)SendMsg(WM_GETFONT, 0, 0);
    ::GetObjectW(current ? (HGDIOBJ)current : ::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    lf.lfHeight = height;
    CFont* font = new CFont;
    if (!font->CreateFontIndirect(&lf)) {
        LogFormat(L"List font of height %d could not be created", height);
        delete font;
        return;
    }
    // The old font goes only after the list has taken the new one.
    SetFont(font, redraw ? TRUE : FALSE);
    delete m_pFont;
    m_pFont = font;
}

void CVelindoListCtrl::InitFont()
{
    m_initialFontHeight = GetFontHeight();
    CAppSettings* settings = GetAppSettings();
    int stored = settings ? settings->GetFontSizeInList() : 0;
    int height = stored;
    if (stored == 0) {
        height = m_initialFontHeight;
        if (settings)
            settings->SetFontSizeInList(height);
    }
    ApplyFontHeight(height, true);
}

void CVelindoListCtrl::StepFont(bool reset)
{
    int height = NextFontHeight(GetFontHeight(), m_initialFontHeight, reset);
    if (CAppSettings* settings = GetAppSettings())
        settings->SetFontSizeInList(height);
    SetRedraw(FALSE);
    ApplyFontHeight(height, false);
    SetRedraw(TRUE);
    Invalidate();
}

void CVelindoListCtrl::DrawCell(HDC dc, const CRect& rect, int column, LPCWSTR text, int state, bool selected,
                                COLORREF background)
{
    CRect r(rect);
    int h = r.Height();
    if (column == 0)
        r.left += h;
    FillRectColour(dc, r, background);

    if (column == 0 && h >= 1 && r.left >= 0) {
        RECT square = {r.left - h + 2, r.top, r.left, r.bottom - 1};
        ::DrawEdge(dc, &square, EDGE_SUNKEN, BF_RECT);
        if (state == 1) {
            HPEN pen = ::CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
            HGDIOBJ oldPen = ::SelectObject(dc, pen);
            int w = (square.right - square.left - 6) / 2;
            int l = (square.bottom - square.top) / 5;
            int x = square.right - 5;
            int y = square.top + 4;
            for (int i = 0; i < w; ++i, --x, ++y) {
                ::MoveToEx(dc, x, y, NULL);
                ::LineTo(dc, x, y + l);
            }
            for (int i = 0; i < w - l / 2; ++i, --x, --y) {
                ::MoveToEx(dc, x, y, NULL);
                ::LineTo(dc, x, y + l);
            }
            ::SelectObject(dc, oldPen);
            ::DeleteObject(pen);
        }
    }
    if (!text || !*text)
        return;
    if (column == 6)
        DrawDeadlines(dc, r, text, selected);
    else
        DrawHighlighted(dc, r, text, selected);
}

void CVelindoListCtrl::DrawDeadlines(HDC dc, const CRect& r, LPCWSTR text, bool selected)
{
    // A text that does not parse draws no markers: the row stays usable.
    std::vector<CListDeadline> deadlines;
    if (!ParseDeadlines(text, deadlines))
        return;
    COLORREF oldColour = ::SetTextColor(dc, selected ? RGB(0xFF, 0xFF, 0xFF) : RGB(0, 0, 0));
    int oldMode = ::SetBkMode(dc, TRANSPARENT);
    int h = r.Height();
    // One date for the whole paint (taken at its prepaint stage).
    __int64 today = m_paintToday ? m_paintToday : TodayMidnight();
    HPEN pen = ::CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ oldPen = ::SelectObject(dc, pen);
    CRect p(r);
    for (const CListDeadline& d : deadlines) {
        RECT q = {p.left, p.top + 2, p.left + h - 4, p.bottom - 2};
        p.left += h;
        if (q.right >= r.right)
            break;
        HBRUSH brush = ::CreateSolidBrush(DeadlineColour(d, today));
        HGDIOBJ oldBrush = ::SelectObject(dc, brush);
        ::Rectangle(dc, q.left, q.top, q.right, q.bottom);
        ::SelectObject(dc, oldBrush);
        ::DeleteObject(brush);

        CString label = FormatDeadlineDate(d.date);
        if (!d.remark.IsEmpty())
            label += L" " + d.remark;
        int width = TextWidth(dc, label, label.GetLength(), p);
        RECT at = p;
        ::DrawTextW(dc, label, label.GetLength(), &at, kTextFlags);
        p.left += width + 4;
    }
    ::SelectObject(dc, oldPen);
    ::DeleteObject(pen);
    ::SetBkMode(dc, oldMode);
    ::SetTextColor(dc, oldColour);
}

void CVelindoListCtrl::DrawHighlighted(HDC dc, CRect t, LPCWSTR text, bool selected)
{
    COLORREF plain = selected ? RGB(0xFF, 0xFF, 0xFF) : RGB(0, 0, 0);
    int oldMode = ::SetBkMode(dc, TRANSPARENT);
    COLORREF oldColour = ::SetTextColor(dc, plain);
    t.left += 4;
    int length = (int)wcslen(text);
    if (m_terms.empty()) {
        ::DrawTextW(dc, text, length, &t, kTextFlags);
    } else {
        CString lowered(text);
        for (int i = 0; i < length; ++i)
            lowered.SetAt(i, LowerChar(lowered[i]));
        CTermRanges table;
        table.text = lowered;
        table.count = 0;
        for (const CString& term : m_terms)
            FindTermRanges(table, term);
        std::vector<std::pair<int, int>> ranges;
        for (int i = 0; i < table.count; ++i)
            ranges.push_back(std::make_pair((int)table.start[i], (int)table.end[i]));
        std::sort(ranges.begin(), ranges.end());
        int pos = 0;
        auto piece = [&](int from, int count, COLORREF colour) {
            if (count <= 0)
                return;
            ::SetTextColor(dc, colour);
            int width = TextWidth(dc, text + from, count, t);
            RECT at = t;
            ::DrawTextW(dc, text + from, count, &at, kTextFlags);
            t.left += width;
        };
        for (const auto& range : ranges) {
            if (range.first < pos || range.second >= length)
                continue;
            piece(pos, range.first - pos, plain);
            piece(range.first, range.second - range.first + 1, kHighlightText);
            pos = range.second + 1;
        }
        piece(pos, length - pos, plain);
    }
    ::SetTextColor(dc, oldColour);
    ::SetBkMode(dc, oldMode);
}
