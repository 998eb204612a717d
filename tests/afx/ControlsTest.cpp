// Geometry, device contexts, the bitmap button, the list control and the
// file dialog.
#include <gtest/gtest.h>
#include <functional>
#include <vector>
#include "WindowTestRes.h"
#include "WindowTestSupport.h"
#include "afxcmn.h"
#include "afxctl.h"
#include "afxfiledlg.h"
#include <dlgs.h>

using namespace window_test;

namespace {

class ControlsTest : public ::testing::Test
{
protected:
    void SetUp() override { InitOnce(); }
    CWatchdog m_watchdog;
};

TEST(CRectTest, ArithmeticKeepsRightAndBottomOutside)
{
    CRect r(30, 40, 10, 20);
    r.NormalizeRect();
    EXPECT_EQ(r, CRect(10, 20, 30, 40));
    EXPECT_EQ(r.Width(), 20);
    EXPECT_EQ(r.Height(), 20);
    EXPECT_EQ(r.CenterPoint(), CPoint(20, 30));
    EXPECT_TRUE(r.PtInRect(CPoint(10, 20)));
    EXPECT_FALSE(r.PtInRect(CPoint(30, 40)));

    CRect inflated(r);
    inflated.InflateRect(1, 2);
    EXPECT_EQ(inflated, CRect(9, 18, 31, 42));
    inflated.DeflateRect(1, 2, 3, 4);
    EXPECT_EQ(inflated, CRect(10, 20, 28, 38));
    EXPECT_EQ(r + CPoint(5, -5), CRect(15, 15, 35, 35));
    EXPECT_EQ(r | CRect(0, 0, 1, 1), CRect(0, 0, 30, 40));
    EXPECT_EQ(r & CRect(25, 35, 50, 50), CRect(25, 35, 30, 40));

    CRect none;
    EXPECT_FALSE(none.IntersectRect(&r, CRect(100, 100, 110, 110)));
    EXPECT_TRUE(none.IsRectEmpty());
    EXPECT_TRUE(none.IsRectNull());
    r.MoveToXY(0, 0);
    EXPECT_EQ(r, CRect(0, 0, 20, 20));
    EXPECT_EQ(CPoint(7, 9) - CPoint(2, 3), CSize(5, 6));
    EXPECT_EQ(CPoint(MAKELPARAM(-3, 4)), CPoint(-3, 4));
}

// A 16 x 16 bitmap selected into a memory context for the test's life.
class CMemoryCanvas
{
public:
    CMemoryCanvas()
    {
        CClientDC screen(NULL);
        dc.CreateCompatibleDC(&screen);
        bitmap.CreateCompatibleBitmap(&screen, 16, 16);
        pOld = dc.SelectObject(&bitmap);
        dc.FillSolidRect(0, 0, 16, 16, RGB(0, 0, 0));
    }
    ~CMemoryCanvas() { dc.SelectObject(pOld); }
    CDC dc;
    CBitmap bitmap;
    CBitmap* pOld;
};

TEST_F(ControlsTest, FillSolidRectFillsAndLeavesItsColourAsBackground)
{
    CMemoryCanvas canvas;
    ASSERT_TRUE(canvas.pOld);
    canvas.dc.FillSolidRect(CRect(2, 2, 6, 6), RGB(10, 200, 30));
    EXPECT_EQ(canvas.dc.GetPixel(2, 2), RGB(10, 200, 30));
    EXPECT_EQ(canvas.dc.GetPixel(5, 5), RGB(10, 200, 30));
    EXPECT_EQ(canvas.dc.GetPixel(6, 6), RGB(0, 0, 0));
    EXPECT_EQ(canvas.dc.GetBkColor(), RGB(10, 200, 30));

    // A temporary wrapper never deletes the handle it wraps.
    HGDIOBJ hStock = GetStockObject(NULL_BRUSH);
    CBrush* pBrush = CBrush::FromHandle((HBRUSH)hStock);
    EXPECT_EQ(pBrush->GetSafeHandle(), hStock);
    CFont font;
    ASSERT_TRUE(font.CreatePointFont(100, L"Tahoma"));
    LOGFONTW lf = {};
    ASSERT_TRUE(font.GetLogFont(&lf));
    EXPECT_LT(lf.lfHeight, 0);
    CFont* pOldFont = canvas.dc.SelectObject(&font);
    ASSERT_TRUE(pOldFont);
    HGDIOBJ hOldFont = pOldFont->GetSafeHandle();
    AfxDeleteTempObjects();
    EXPECT_NE(GetObjectType(hOldFont), 0u);
    canvas.dc.SelectObject(CFont::FromHandle((HFONT)hOldFont));
}

TEST_F(ControlsTest, AFailedSelectionAnswersNullAndSelectsNothing)
{
    CMemoryCanvas canvas;
    CDC empty; // no context
    CFont noFont;
    CBitmap noBitmap;
    CPen pen;
    pen.Attach(::CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
    HGDIOBJ penBefore = ::GetCurrentObject(canvas.dc.m_hDC, OBJ_PEN);
    struct {
        const char* name;
        std::function<const void*()> select;
    } cases[] = {
        {"no context", [&] { return (const void*)empty.SelectObject(&pen); }},
        {"a null pen", [&] { return (const void*)canvas.dc.SelectObject((CPen*)NULL); }},
        {"a null brush", [&] { return (const void*)canvas.dc.SelectObject((CBrush*)NULL); }},
        {"a null bitmap", [&] { return (const void*)canvas.dc.SelectObject((CBitmap*)NULL); }},
        {"a null object", [&] { return (const void*)canvas.dc.SelectObject((CGdiObject*)NULL); }},
        {"a font without a handle", [&] { return (const void*)canvas.dc.SelectObject(&noFont); }},
        {"a bitmap without a handle", [&] { return (const void*)canvas.dc.SelectObject(&noBitmap); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.select(), nullptr);
        EXPECT_EQ(::GetCurrentObject(canvas.dc.m_hDC, OBJ_PEN), penBefore);
        EXPECT_EQ(::GetCurrentObject(canvas.dc.m_hDC, OBJ_BITMAP), canvas.bitmap.GetSafeHandle());
    }
    // What a failed selection answered is put back harmlessly.
    CPen* pNone = empty.SelectObject(&pen);
    EXPECT_EQ(canvas.dc.SelectObject(pNone), nullptr);
    pen.DeleteObject();
}

TEST_F(ControlsTest, BitmapButtonDrawsTheBitmapOfItsState)
{
    CBitmapButton button;
    EXPECT_FALSE(button.LoadBitmaps(IDB_AFXTEST_UP, 4321));
    ASSERT_TRUE(button.LoadBitmaps(IDB_AFXTEST_UP, IDB_AFXTEST_DOWN));
    CMemoryCanvas canvas;
    struct Case
    {
        UINT state;
        COLORREF colour;
    };
    const Case cases[] = {
        {0, RGB(255, 0, 0)},
        {ODS_SELECTED, RGB(0, 0, 255)},
        {ODS_SELECTED | ODS_FOCUS, RGB(0, 0, 255)},
        // No focus or disabled bitmap: the up one.
        {ODS_FOCUS, RGB(255, 0, 0)},
        {ODS_DISABLED, RGB(255, 0, 0)},
    };
    for (const Case& c : cases) {
        canvas.dc.FillSolidRect(0, 0, 16, 16, RGB(0, 0, 0));
        DRAWITEMSTRUCT dis = {};
        dis.CtlType = ODT_BUTTON;
        dis.itemState = c.state;
        dis.hDC = canvas.dc;
        dis.rcItem = CRect(0, 0, 8, 8);
        button.DrawItem(&dis);
        EXPECT_EQ(canvas.dc.GetPixel(4, 4), c.colour) << c.state;
        EXPECT_EQ(canvas.dc.GetPixel(9, 9), RGB(0, 0, 0)) << c.state;
    }
}

TEST_F(ControlsTest, ListControlRowsChecksAndSelection)
{
    CScriptDlg dlg(IDD_AFXTEST_FORM);
    CListCtrl list;
    dlg.exchange = [&](CDataExchange* pDX) { DDX_Control(pDX, IDC_T_GRID, list); };
    dlg.steps.push_back([&](CScriptDlg&) {
        list.SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        EXPECT_EQ(list.GetExtendedStyle() & (LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT),
                  (DWORD)(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT));
        EXPECT_EQ(list.InsertColumn(0, L"Dátum", LVCFMT_LEFT, 80), 0);
        EXPECT_EQ(list.InsertColumn(1, L"Megjegyzés"), 1);
        EXPECT_EQ(list.GetHeaderCtrl()->GetItemCount(), 2);
        EXPECT_EQ(list.GetColumnWidth(0), 80);

        CString longText(L'ő', 700);
        EXPECT_EQ(list.InsertItem(0, longText), 0);
        EXPECT_EQ(list.InsertItem(1, L"második"), 1);
        EXPECT_EQ(list.InsertItem(-1, L"harmadik"), 2);
        EXPECT_TRUE(list.SetItemText(0, 1, L"béta"));
        EXPECT_EQ(list.GetItemText(0, 0), longText);
        EXPECT_EQ(list.GetItemText(0, 1), L"béta");
        EXPECT_EQ(list.GetItemText(2, 1), L"");
        EXPECT_TRUE(list.SetItemData(2, 0xABCD));
        EXPECT_EQ(list.GetItemData(2), (DWORD_PTR)0xABCD);

        list.SetCheck(1);
        EXPECT_TRUE(list.GetCheck(1));
        EXPECT_FALSE(list.GetCheck(0));
        list.SetCheck(1, FALSE);
        EXPECT_FALSE(list.GetCheck(1));

        list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
        list.SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
        EXPECT_EQ(list.GetSelectedCount(), 2u);
        std::vector<int> selected;
        for (POSITION pos = list.GetFirstSelectedItemPosition(); pos;)
            selected.push_back(list.GetNextSelectedItem(pos));
        EXPECT_EQ(selected, (std::vector<int>{0, 2}));
        EXPECT_EQ(list.GetNextItem(0, LVNI_SELECTED), 2);

        CRect rect;
        ASSERT_TRUE(list.GetItemRect(1, &rect, LVIR_BOUNDS));
        EXPECT_EQ(list.HitTest(CPoint(rect.left + 30, rect.top + 1)), 1);
        EXPECT_TRUE(list.DeleteItem(1));
        EXPECT_EQ(list.GetItemCount(), 2);
        EXPECT_TRUE(list.DeleteAllItems());
        EXPECT_EQ(list.GetItemCount(), 0);
    });
    EXPECT_EQ(dlg.DoModal(), IDABORT);
}

// Fills in the file name of the system file dialog once it runs and
// presses OK: the dialog is noted when it is activated, and a thread timer
// does the rest from inside the dialog's own loop.
class CFileDialogDriver
{
public:
    explicit CFileDialogDriver(LPCWSTR lpszName) : m_name(lpszName)
    {
        s_pCurrent = this;
        m_hHook = SetWindowsHookExW(WH_CBT, CbtProc, NULL, GetCurrentThreadId());
        m_nTimer = SetTimer(NULL, 0, 100, TimerProc);
    }
    ~CFileDialogDriver()
    {
        KillTimer(NULL, m_nTimer);
        UnhookWindowsHookEx(m_hHook);
        s_pCurrent = NULL;
    }
    int nDriven = 0;
    std::vector<CString> fileTypes;

private:
    static LRESULT CALLBACK CbtProc(int nCode, WPARAM wParam, LPARAM lParam)
    {
        HWND hWnd = reinterpret_cast<HWND>(wParam);
        if (nCode == HCBT_ACTIVATE && s_pCurrent && !s_pCurrent->m_hDlg && GetDlgItem(hWnd, cmb13))
            s_pCurrent->m_hDlg = hWnd;
        return CallNextHookEx(NULL, nCode, wParam, lParam);
    }

    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR, DWORD)
    {
        CFileDialogDriver* self = s_pCurrent;
        if (!self || !self->m_hDlg || self->nDriven || !IsWindowVisible(self->m_hDlg))
            return;
        ++self->nDriven;
        HWND hTypes = GetDlgItem(self->m_hDlg, cmb1);
        int n = (int)SendMessageW(hTypes, CB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; i++) {
            wchar_t buf[128] = {0};
            SendMessageW(hTypes, CB_GETLBTEXT, i, (LPARAM)buf);
            self->fileTypes.push_back(buf);
        }
        SetWindowTextW(GetDlgItem(self->m_hDlg, cmb13), self->m_name);
        PostMessageW(self->m_hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(self->m_hDlg, IDOK));
    }

    static CFileDialogDriver* s_pCurrent;
    HHOOK m_hHook;
    UINT_PTR m_nTimer;
    HWND m_hDlg = NULL;
    CString m_name;
};

CFileDialogDriver* CFileDialogDriver::s_pCurrent = NULL;

TEST_F(ControlsTest, FileDialogGivesThePathAndItsParts)
{
    wchar_t temp[MAX_PATH] = {0};
    GetTempPathW(MAX_PATH, temp);
    CString folder(temp);
    folder.TrimRight(L'\\');
    CString path = folder + L"\\Export-ő.out";

    CFileDialog dlg(FALSE, L"txt", NULL, OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST, L"Szöveg|*.txt|Minden fájl|*.*||");
    EXPECT_EQ(std::wstring(dlg.m_ofn.lpstrFilter, 31), std::wstring(L"Szöveg\0*.txt\0Minden fájl\0*.*\0\0", 31));
    DeleteFileW(path);
    CFileDialogDriver driver(path);
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(driver.nDriven, 1);
    EXPECT_EQ(driver.fileTypes, (std::vector<CString>{L"Szöveg", L"Minden fájl"}));
    EXPECT_EQ(dlg.GetPathName(), path);
    EXPECT_EQ(dlg.GetFileName(), L"Export-ő.out");
    EXPECT_EQ(dlg.GetFileExt(), L"out");
    EXPECT_EQ(dlg.GetFileTitle(), L"Export-ő");
    EXPECT_EQ(dlg.GetFolderPath(), folder);
}

} // namespace
