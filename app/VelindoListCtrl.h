// CVelindoListCtrl: the main dialog's list of cases (control 1005). An
// owner-data report list: it holds only the keys of its rows and reads
// every cell from the case store when the list view asks for it or paints.
// It draws every cell itself: alternating row colours, the state check
// square in the first column, the search terms in red and the deadlines as
// coloured squares. Ctrl+B steps its font size ("FontSizeInList").
//
// What the main dialog does with it:
//   - DDX_Control(pDX, 1005, m_list) binds it (the template gives report
//     view, single selection, selection always shown, owner data);
//   - the dialog's CreateListColumns is a one-line forward to
//     m_list.CreateListColumns(): the column set needs nothing but the list's
//     own client width, so the work lives here;
//   - RefreshList: SetRedraw(FALSE); CreateListColumns() when !HasColumns();
//     ClearKeys() (it also deletes all items); AddKey(key) for every shown
//     case, highest key first; SetSearchTerms(terms); SetItemCount(
//     GetKeyCount()); SetRedraw(TRUE). Keys are MakeUgyiratKey(Ev, Nr);
//   - the filter's and search's lowering can use LowerChar (the same rule);
//   - the selected row's case: GetKey(row) and the store's Find;
//   - InitFont after the first RefreshList; Ctrl+B calls StepFont(false), the
//     dialog's ResetListFont calls StepFont(true).
// Notifications: LVN_GETDISPINFOW, NM_CLICK (the state square) and
// NM_CUSTOMDRAW are handled here and never reach the dialog. NM_DBLCLK and
// NM_RCLICK are not touched here: the dialog takes them with
// ON_NOTIFY(NM_DBLCLK, 1005, ...) and ON_NOTIFY(NM_RCLICK, 1005, ...).
//
// The store: SetStore gives the store to read (the main dialog gives the
// application's store); without one the rows are empty. The list reads it
// only on the UI thread and not while SetStoreBusy(true) is in force (a
// worker thread writes the store then): cells are empty and the state
// square does nothing until the flag is cleared; the caller then rebuilds
// the list (RefreshList).
#pragma once
#include <vector>
#include "afxcmn.h"

class CUgyiratStore;
struct CUgyiratRecord;

// One deadline as the list draws it: parsed from one item of the deadline
// list text ("+2024.05.17. remark", items joined by "|").
struct CListDeadline
{
    int watched;          // 1 watched, 0 not
    __int64 date;         // seconds since 1970, local midnight of the day
    CString remark;
};

// The highlight ranges of one cell: the lowered cell text and up to 256
// ranges of it (start and end inclusive), filled by FindTermRanges.
struct CTermRanges
{
    enum { kMaxRanges = 256 };
    LPCWSTR text;         // the lowered cell text (not owned)
    WORD start[kMaxRanges];
    WORD end[kMaxRanges];
    int count;
};

class CVelindoListCtrl : public CListCtrl
{
public:
    enum { kCellBuffer = 1024, kColumnCount = 7 };

    CVelindoListCtrl();
    ~CVelindoListCtrl() override;

    // The store whose cases the rows show (null: none).
    void SetStore(CUgyiratStore* store) { m_pStore = store; }
    CUgyiratStore* GetStore() const { return m_pStore; }
    // Process-wide: true while a worker thread writes the store.
    static void SetStoreBusy(bool busy);
    static bool IsStoreBusy();

    // Extended styles 0x10024 and the seven columns, widths from the list's
    // client width (a = width / 20).
    void CreateListColumns();
    // True when the header already has columns.
    bool HasColumns() const;

    // Rows.
    void ClearKeys();                       // LVM_DELETEALLITEMS, no keys
    void AddKey(int key) { m_keys.push_back(key); }   // item count is the caller's
    int GetKey(int row) const;              // 0 outside the rows
    int GetKeyCount() const { return (int)m_keys.size(); }

    // Highlight terms: a list of lowered terms, each terminated, the list
    // ended by an empty one (null or empty: none).
    void SetSearchTerms(LPCWSTR terms);
    const std::vector<CString>& GetSearchTerms() const { return m_terms; }

    // The cell text of a row (columns 0 to 6) cut to bufferLength - 1
    // characters; state := the case's Allapot, -1 when the row has no case.
    // True when the text is not empty.
    bool GetCellText(int row, int column, LPWSTR buffer, int bufferLength, int* state);

    // Font: InitFont at start (applies "FontSizeInList" or stores the
    // current height); StepFont one unit larger, wrapping after twice the
    // initial size, or back to the initial size with reset.
    void InitFont();
    void StepFont(bool reset);
    int GetInitialFontHeight() const { return m_initialFontHeight; }
    int GetFontHeight() const;

    // The pieces of the drawing, without a window (also used by the tests).
    static COLORREF RowBackground(int row, bool selected);
    // Colour of a deadline square; today is the local midnight of today.
    static COLORREF DeadlineColour(const CListDeadline& deadline, __int64 todayMidnight);
    static __int64 TodayMidnight();
    // Parses a deadline list text, unwatched items kept, watched first then
    // by date. False (and no deadlines) when an item does not parse.
    static bool ParseDeadlines(LPCWSTR text, std::vector<CListDeadline>& out);
    // "%d. %02d. %02d." of the local date.
    static CString FormatDeadlineDate(__int64 date);
    // The lowering of the search: A-Z and the Hungarian accented capitals
    // (LowerSearchChar, the one the store's search index uses).
    static WCHAR LowerChar(WCHAR c);
    static void FindTermRanges(CTermRanges& table, LPCWSTR term);
    // The font height after one step (or the reset).
    static int NextFontHeight(int current, int initial, bool reset);

    // Whether a case shows ticked: any state but 0 (a state other than 0
    // and 1 shows ticked, so a click unticks it to 0).
    static bool IsTicked(const CUgyiratRecord& record);

    // Draws one cell (column 0 to 6) into rect on the background colour;
    // rect is the whole cell including column 0's check square, ticked for
    // state 1.
    void DrawCell(HDC dc, const CRect& rect, int column, LPCWSTR text, int state, bool selected,
                  COLORREF background);

protected:
    void OnGetDispInfo(NMHDR* pNMHDR, LRESULT* pResult);
    void OnClick(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDraw(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

private:
    CUgyiratRecord* FindRow(int row);
    void ApplyFontHeight(int height, bool redraw);
    void DrawDeadlines(HDC dc, const CRect& rect, LPCWSTR text, bool selected);
    void DrawHighlighted(HDC dc, CRect rect, LPCWSTR text, bool selected);

    WCHAR m_cell[kCellBuffer];
    std::vector<int> m_keys;
    std::vector<CString> m_terms;
    CFont* m_pFont;
    int m_initialFontHeight;
    CUgyiratStore* m_pStore;
    __int64 m_paintToday;   // today's local midnight, taken when a paint starts; 0 before
};
