// The type-ahead combo box in a dialog, typed into through the modal loop:
// each step's keys have been dispatched before the next step looks.
#include <gtest/gtest.h>
#include "foundation/ComboBoxExt.h"
#include "resources/resource.h"
#include "support/WindowDriver.h"
#include "../afx/WindowTestSupport.h"

namespace {

using window_test::CScriptDlg;

HWND EditOf(HWND combo)
{
    COMBOBOXINFO info = {sizeof(info)};
    GetComboBoxInfo(combo, &info);
    return info.hwndItem;
}

HWND ListOf(HWND combo)
{
    COMBOBOXINFO info = {sizeof(info)};
    GetComboBoxInfo(combo, &info);
    return info.hwndList;
}

// A key press as typing queues it: the modal loop's TranslateMessage makes
// the character of the WM_KEYDOWN.
void Type(HWND edit, wchar_t ch)
{
    window_test::PostKey(edit, LOBYTE(VkKeyScanW(ch)));
}

struct Shown
{
    CString text;
    int start = -1, end = -1;
};

Shown Look(HWND combo)
{
    Shown s;
    s.text = testing_support::Text(combo);
    DWORD sel = (DWORD)SendMessageW(combo, CB_GETEDITSEL, 0, 0);
    s.start = LOWORD(sel);
    s.end = HIWORD(sel);
    return s;
}

class ComboBoxExtTest : public ::testing::Test
{
protected:
    ComboBoxExtTest() : dlg(IDD_IKTATO_EDIT)
    {
        window_test::InitOnce();
        dlg.exchange = [this](CDataExchange* pDX) { DDX_Control(pDX, IDC_IKT_UGYFEL, combo); };
        dlg.steps.push_back([this](CScriptDlg& d) {
            combo.AddString(L"Abacus");
            combo.AddString(L"Abbey");
            ::SetFocus(EditOf(combo));
            (void)d;
        });
    }

    // Types the characters one step each.
    void TypeSteps(LPCWSTR text)
    {
        for (const wchar_t* p = text; *p; ++p) {
            wchar_t ch = *p;
            dlg.steps.push_back([this, ch](CScriptDlg&) { Type(EditOf(combo), ch); });
        }
    }
    void Step(std::function<void()> f)
    {
        dlg.steps.push_back([f](CScriptDlg&) { f(); });
    }
    void Leave()
    {
        Step([this] { ::SetFocus(::GetDlgItem(dlg, IDC_IKT_NR)); });
    }
    void Run()
    {
        window_test::CWatchdog watchdog(60000);
        EXPECT_EQ(dlg.DoModal(), IDABORT);
    }

    CScriptDlg dlg;
    CComboBoxExt combo;
};

TEST_F(ComboBoxExtTest, TypingCompletesAndTypingOnReplacesTheCompletion)
{
    Shown a, ab, abb, abbx;
    TypeSteps(L"a");
    Step([&] { a = Look(combo); });
    TypeSteps(L"b");
    Step([&] { ab = Look(combo); });
    TypeSteps(L"b");
    Step([&] { abb = Look(combo); });
    TypeSteps(L"x");
    Step([&] { abbx = Look(combo); });
    int selected = 0;
    Leave();
    Step([&] { abbx = Look(combo); selected = combo.GetCurSel(); });
    Run();
    EXPECT_EQ(a.text, CString(L"abacus"));
    EXPECT_EQ(ab.text, CString(L"abacus")) << "the typed letters keep their case";
    EXPECT_EQ(ab.start, 2);
    EXPECT_EQ(ab.end, 6);
    EXPECT_EQ(abb.text, CString(L"abbey"));
    EXPECT_EQ(abb.start, 3);
    EXPECT_EQ(abb.end, 5);
    EXPECT_EQ(abbx.text, CString(L"abbx")) << "no item: the field keeps what was typed";
    EXPECT_EQ(selected, CB_ERR);
}

TEST_F(ComboBoxExtTest, BackspaceRemovesTheCompletionAndDoesNotCompleteAgain)
{
    Shown afterBack;
    TypeSteps(L"ab");
    Step([&] { window_test::PostKey(EditOf(combo), VK_BACK); });
    Step([&] { afterBack = Look(combo); });
    Run();
    EXPECT_EQ(afterBack.text, CString(L"ab"));
    EXPECT_EQ(afterBack.start, 2);
    EXPECT_EQ(afterBack.end, 2);
}

TEST_F(ComboBoxExtTest, LeavingTheFieldSnapsToTheItemInItsOwnCase)
{
    Shown left;
    int selected = CB_ERR;
    TypeSteps(L"abbey");
    Leave();
    Step([&] { left = Look(combo); selected = combo.GetCurSel(); });
    Run();
    EXPECT_EQ(left.text, CString(L"Abbey"));
    EXPECT_EQ(selected, 1);
}

TEST_F(ComboBoxExtTest, ChoosingFromTheListReplacesTheField)
{
    Shown chosen;
    TypeSteps(L"x");
    Step([&] { combo.ShowDropDown(TRUE); });
    Step([&] { window_test::PostKey(EditOf(combo), VK_DOWN); });
    Step([&] { combo.ShowDropDown(FALSE); });
    Step([&] { chosen = Look(combo); });
    Run();
    EXPECT_EQ(chosen.text, CString(L"Abacus"));
}

TEST_F(ComboBoxExtTest, TheOpenListMatchesOnlyWholeItemsEachTimeTheDialogIsShown)
{
    // A dialog object shown again (the edit dialog after a refused save)
    // gets new windows: the list of the second showing needs the same
    // procedure as the first one's.
    std::vector<LRESULT> found;
    Step([this] { combo.ShowDropDown(TRUE); });
    Step([&] {
        found.push_back(SendMessageW(ListOf(combo), LB_FINDSTRING, (WPARAM)-1, (LPARAM)L"Ab"));
        combo.ShowDropDown(FALSE);
    });
    Run();
    Run();
    EXPECT_EQ(found, (std::vector<LRESULT>{LB_ERR, LB_ERR})) << "a prefix does not find an item";
}

} // namespace
