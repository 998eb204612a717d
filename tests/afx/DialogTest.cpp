// Modal dialogs (the loop, owners, end codes, templates) and the data
// exchange with its checks, driven from inside the dialogs' modal loops.
#include <gtest/gtest.h>
#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>
#include "WindowTestRes.h"
#include "WindowTestSupport.h"
#include "afxapp.h"
#include "afxcmn.h"
#include "afxctl.h"

using namespace window_test;

namespace {

typedef std::vector<std::string> Log;

class DialogTest : public ::testing::Test
{
protected:
    void SetUp() override { InitOnce(); }
    CWatchdog m_watchdog;
};

// Records what the parent-chain walk brings to the dialog and to its
// drop-down combo, and the edit-change notifications the dialog receives.
class CWalkCombo : public CComboBox
{
public:
    Log* pLog = nullptr;
    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        if (pMsg->message == WM_CHAR) {
            pLog->push_back("combo " + std::string(1, (char)pMsg->wParam));
            // 'x' never reaches the edit.
            return pMsg->wParam == 'x';
        }
        return CComboBox::PreTranslateMessage(pMsg);
    }
};

class CProbeDlg : public CScriptDlg
{
public:
    explicit CProbeDlg(CWnd* pParent = NULL) : CScriptDlg(IDD_AFXTEST_FORM, pParent) {}
    Log log;
    int nTextChanges = 0;
    CWalkCombo combo;

    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        if (pMsg->message == WM_CHAR)
            log.push_back("dialog " + std::string(1, (char)pMsg->wParam));
        return CScriptDlg::PreTranslateMessage(pMsg);
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, IDC_T_COMBO, combo);
        CScriptDlg::DoDataExchange(pDX);
    }
    afx_msg void OnTextChange() { ++nTextChanges; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeDlg, CScriptDlg)
    ON_EN_CHANGE(IDC_T_TEXT, &CProbeDlg::OnTextChange)
END_MESSAGE_MAP()

HWND ComboEdit(HWND hCombo)
{
    COMBOBOXINFO info = {sizeof(info)};
    GetComboBoxInfo(hCombo, &info);
    return info.hwndItem;
}

CString ItemText(HWND hDlg, int nID)
{
    CString text;
    CWnd::FromHandle(hDlg)->GetDlgItemText(nID, text);
    return text;
}

TEST_F(DialogTest, DoModalReturnsTheEndCode)
{
    struct Case
    {
        const char* name;
        CScriptDlg::Step step;
        INT_PTR result;
    };
    const Case cases[] = {
        {"Enter in an edit: OK", [](CScriptDlg& d) { PostKey(::GetDlgItem(d, IDC_T_NUMBER), VK_RETURN); }, IDOK},
        {"Esc: Cancel", [](CScriptDlg& d) { PostKey(::GetDlgItem(d, IDC_T_NUMBER), VK_ESCAPE); }, IDCANCEL},
        {"Esc in a multi-line edit: Cancel", [](CScriptDlg& d) { PostKey(::GetDlgItem(d, IDC_T_MEMO), VK_ESCAPE); },
         IDCANCEL},
        {"the close box: Cancel", [](CScriptDlg& d) { d.PostMessage(WM_SYSCOMMAND, SC_CLOSE); }, IDCANCEL},
        {"EndDialog with a code of its own", [](CScriptDlg& d) { d.EndDialog(1234); }, 1234},
    };
    for (const Case& c : cases) {
        CScriptDlg dlg(IDD_AFXTEST_FORM);
        // A few idle steps: the close box ends the dialog through a posted command.
        auto idle = [](CScriptDlg&) {};
        dlg.steps = {[](CScriptDlg& d) { ::SetFocus(::GetDlgItem(d, IDC_T_NUMBER)); }, c.step, idle, idle, idle,
                     [&](CScriptDlg&) { ADD_FAILURE() << c.name << ": the dialog did not end"; }};
        EXPECT_EQ(dlg.DoModal(), c.result) << c.name;
        EXPECT_EQ(dlg.m_hWnd, (HWND)NULL) << c.name;
    }

    CScriptDlg missing(4321);
    EXPECT_EQ(missing.DoModal(), -1);
}

TEST_F(DialogTest, FailedInitialExchangeEndsTheDialogWithMinusOne)
{
    CMessageBoxCatcher catcher;
    CScriptDlg dlg(IDD_AFXTEST_FORM);
    dlg.exchange = [](CDataExchange*) { AfxThrowComErrorException(E_FAIL); };
    dlg.steps = {[](CScriptDlg&) { ADD_FAILURE() << "the dialog ran"; }};
    EXPECT_EQ(dlg.DoModal(), -1);
    // Reported once, with the system's text for the code.
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_FALSE(catcher.boxes[0].text.IsEmpty());
}

TEST_F(DialogTest, OwnerIsDisabledOnlyWhenItWasEnabled)
{
    CWnd owner;
    ASSERT_TRUE(owner.CreateEx(0, kPlainWindowClass, L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, NULL, NULL));
    CWinApp* pApp = AfxGetApp();
    ASSERT_TRUE(pApp);
    CWnd* pOldMain = pApp->m_pMainWnd;

    struct Case
    {
        const char* name;
        bool bParent;      // the owner is the dialog's parent (else the main window)
        bool bDisabled;    // the owner was disabled before
    };
    const Case cases[] = {
        {"enabled parent", true, false},
        {"disabled parent", true, true},
        {"main window as the owner without a parent", false, false},
    };
    for (const Case& c : cases) {
        owner.EnableWindow(!c.bDisabled);
        pApp->m_pMainWnd = c.bParent ? NULL : &owner;
        CScriptDlg dlg(IDD_AFXTEST_FORM, c.bParent ? &owner : NULL);
        bool bSeen = false;
        dlg.steps = {[&](CScriptDlg& d) {
            bSeen = true;
            EXPECT_EQ(::GetWindow(d, GW_OWNER), owner.m_hWnd) << c.name;
            EXPECT_FALSE(owner.IsWindowEnabled()) << c.name;
            // The template is not visible: the loop shows it when idle.
            EXPECT_TRUE(d.IsWindowVisible()) << c.name;
            d.EndDialog(IDOK);
        }};
        EXPECT_EQ(dlg.DoModal(), IDOK) << c.name;
        EXPECT_TRUE(bSeen) << c.name;
        EXPECT_EQ(owner.IsWindowEnabled() != FALSE, !c.bDisabled) << c.name;
    }

    // No parent and no main window: no owner.
    pApp->m_pMainWnd = NULL;
    owner.EnableWindow(TRUE);
    CScriptDlg dlg(IDD_AFXTEST_FORM);
    dlg.steps = {[&](CScriptDlg& d) {
        EXPECT_EQ(::GetWindow(d, GW_OWNER), (HWND)NULL);
        EXPECT_TRUE(owner.IsWindowEnabled());
    }};
    EXPECT_EQ(dlg.DoModal(), IDABORT);

    pApp->m_pMainWnd = pOldMain;
    owner.DestroyWindow();
}

TEST_F(DialogTest, TemplatesOfARegisteredClassAndDialogInitData)
{
    CScriptDlg dlg(IDD_AFXTEST_CLASS);
    dlg.steps = {[](CScriptDlg& d) {
        wchar_t cls[64] = {0};
        GetClassNameW(d, cls, 64);
        EXPECT_EQ(lstrcmpiW(cls, L"" AFXTEST_DIALOG_CLASS), 0) << cls;
        EXPECT_EQ(CWnd::FromHandlePermanent(d), &d);
        d.EndDialog(IDOK);
    }};
    EXPECT_EQ(dlg.DoModal(), IDOK);

    // The combo strings of the template's dialog-init resource, from its ANSI code page.
    CScriptDlg form(IDD_AFXTEST_FORM);
    form.steps = {[](CScriptDlg& d) {
        CComboBox* pList = (CComboBox*)d.GetDlgItem(IDC_T_LIST);
        ASSERT_EQ(pList->GetCount(), 2);
        CString text;
        pList->GetLBText(1, text);
        EXPECT_EQ(text, L"Ügy");
        pList->GetLBText(0, text);
        EXPECT_EQ(text, L"Alpha");
        pList->GetLBText(5, text);
        EXPECT_EQ(text, L"");
    }};
    EXPECT_EQ(form.DoModal(), IDABORT);
}

// A list that draws its rows itself: the reflected custom-draw answer must
// reach the list view through the dialog.
class CDrawList : public CListCtrl
{
public:
    std::vector<DWORD> stages;

protected:
    afx_msg void OnCustomDraw(NMHDR* pNMHDR, LRESULT* pResult)
    {
        NMLVCUSTOMDRAW* pDraw = reinterpret_cast<NMLVCUSTOMDRAW*>(pNMHDR);
        stages.push_back(pDraw->nmcd.dwDrawStage);
        *pResult = pDraw->nmcd.dwDrawStage == CDDS_PREPAINT ? CDRF_NOTIFYITEMDRAW : CDRF_DODEFAULT;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDrawList, CListCtrl)
    ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, &CDrawList::OnCustomDraw)
END_MESSAGE_MAP()

class CNotifyDlg : public CScriptDlg
{
public:
    CNotifyDlg() : CScriptDlg(IDD_AFXTEST_FORM) {}
    CDrawList list;
    int nParentCustomDraw = 0;
    BOOL bRefuseChange = FALSE;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_T_GRID, list); }
    afx_msg void OnListCustomDraw(NMHDR*, LRESULT*) { ++nParentCustomDraw; }
    afx_msg void OnListItemChanging(NMHDR*, LRESULT* pResult) { *pResult = bRefuseChange; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CNotifyDlg, CScriptDlg)
    ON_NOTIFY(NM_CUSTOMDRAW, IDC_T_GRID, &CNotifyDlg::OnListCustomDraw)
    ON_NOTIFY(LVN_ITEMCHANGING, IDC_T_GRID, &CNotifyDlg::OnListItemChanging)
END_MESSAGE_MAP()

TEST_F(DialogTest, NotificationResultsGoBackToTheControl)
{
    CNotifyDlg dlg;
    dlg.steps.push_back([](CScriptDlg& d) {
        CNotifyDlg& n = static_cast<CNotifyDlg&>(d);
        n.list.InsertColumn(0, L"A", LVCFMT_LEFT, 100);
        n.list.InsertItem(0, L"első");
        n.list.stages.clear();
        n.list.RedrawWindow(NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
        ASSERT_FALSE(n.list.stages.empty());
        EXPECT_EQ(n.list.stages.front(), (DWORD)CDDS_PREPAINT);
        EXPECT_NE(std::find(n.list.stages.begin(), n.list.stages.end(), (DWORD)CDDS_ITEMPREPAINT),
                  n.list.stages.end());
        EXPECT_EQ(n.nParentCustomDraw, 0);

        // The parent's answer TRUE refuses the change.
        n.bRefuseChange = TRUE;
        n.list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
        EXPECT_EQ(n.list.GetItemState(0, LVIS_SELECTED), 0u);
        n.bRefuseChange = FALSE;
        n.list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
        EXPECT_EQ(n.list.GetItemState(0, LVIS_SELECTED), (UINT)LVIS_SELECTED);

        // A background colour of its own also for the static texts.
        n.SetBackgroundColor(RGB(1, 2, 3));
        HWND hLabel = ::GetDlgItem(d, IDC_T_LABEL);
        HDC hDC = ::GetDC(hLabel);
        HBRUSH hbr = (HBRUSH)d.SendMessage(WM_CTLCOLORSTATIC, (WPARAM)hDC, (LPARAM)hLabel);
        LOGBRUSH lb = {};
        ASSERT_TRUE(GetObjectW(hbr, sizeof(lb), &lb));
        EXPECT_EQ(lb.lbColor, RGB(1, 2, 3));
        EXPECT_EQ(GetBkMode(hDC), TRANSPARENT);
        ::ReleaseDC(hLabel, hDC);
    });
    EXPECT_EQ(dlg.DoModal(), IDABORT);
}

TEST_F(DialogTest, ModelessDialogLivesUntilDestroyed)
{
    CScriptDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_AFXTEST_CLASS, NULL));
    HWND hWnd = dlg.m_hWnd;
    EXPECT_TRUE(IsWindow(hWnd));
    EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), &dlg);
    EXPECT_EQ(::GetWindow(hWnd, GW_OWNER), (HWND)NULL);
    EXPECT_FALSE(dlg.Create(IDD_AFXTEST_CLASS, NULL));
    EXPECT_TRUE(dlg.DestroyWindow());
    EXPECT_FALSE(IsWindow(hWnd));
    // Shown again later.
    ASSERT_TRUE(dlg.Create(IDD_AFXTEST_CLASS, NULL));
    EXPECT_TRUE(dlg.DestroyWindow());

    CScriptDlg missing;
    EXPECT_FALSE(missing.Create(4321, NULL));
}

TEST_F(DialogTest, ModalLoopWalksTheParentChainBeforeTheDialogKeys)
{
    CProbeDlg dlg;
    dlg.combo.pLog = &dlg.log;
    dlg.steps = {
        [](CScriptDlg& d) {
            // The combo's edit has no CWnd: the walk reaches the combo
            // (its parent), then the dialog.
            HWND hEdit = ComboEdit(::GetDlgItem(d, IDC_T_COMBO));
            ::SetFocus(hEdit);
            PostChar(hEdit, L'a');
            PostChar(hEdit, L'x');
            PostChar(hEdit, L'b');
        },
        [](CScriptDlg& d) {
            CProbeDlg& p = static_cast<CProbeDlg&>(d);
            EXPECT_EQ(p.log, (Log{"combo a", "dialog a", "combo x", "combo b", "dialog b"}));
            EXPECT_EQ(ItemText(d, IDC_T_COMBO), L"ab");
            d.EndDialog(IDOK);
        },
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.combo.m_hWnd, (HWND)NULL);
}

class CThrowingFilterDlg : public CScriptDlg
{
public:
    CThrowingFilterDlg() : CScriptDlg(IDD_AFXTEST_FORM) {}
    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_F5)
            throw std::runtime_error("filter");
        return CScriptDlg::PreTranslateMessage(pMsg);
    }
};

TEST_F(DialogTest, ExceptionFromPreTranslateMessageIsReportedAndTheLoopGoesOn)
{
    CMessageBoxCatcher catcher;
    CThrowingFilterDlg dlg;
    bool bAfter = false;
    dlg.steps = {
        [](CScriptDlg& d) { PostKey(::GetDlgItem(d, IDC_T_NUMBER), VK_F5); },
        [&](CScriptDlg& d) {
            bAfter = true;
            ASSERT_EQ(catcher.boxes.size(), 1u);
            EXPECT_EQ(catcher.boxes[0].text, L"Internal application error.");
            d.EndDialog(IDOK);
        },
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(bAfter);
}

TEST_F(DialogTest, FailedCheckTellsTheUserFocusesTheFieldAndKeepsTheDialog)
{
    CMessageBoxCatcher catcher;
    CProbeDlg dlg;
    int number = 5;
    CString text = L"abc";
    int check = BST_CHECKED;
    dlg.exchange = [&](CDataExchange* pDX) {
        DDX_Text(pDX, IDC_T_NUMBER, number);
        DDV_MinMaxInt(pDX, number, 1, 10);
        DDX_Text(pDX, IDC_T_TEXT, text);
        DDV_MaxChars(pDX, text, 5);
        DDX_Check(pDX, IDC_T_CHECK, check);
    };

    struct Failure
    {
        const wchar_t* number;
        const wchar_t* text;
        const wchar_t* message;
        int nFocus;
    };
    static const Failure failures[] = {
        {L"x1", L"abc", L"Kérem, egész számot adjon meg.", IDC_T_NUMBER},
        {L"", L"abc", L"Kérem, egész számot adjon meg.", IDC_T_NUMBER},
        {L"11", L"abc", L"Enter an integer between 1 and 10.", IDC_T_NUMBER},
        {L"0", L"abc", L"Enter an integer between 1 and 10.", IDC_T_NUMBER},
        {L"7", L"abcdef", L"Enter no more than 5 characters.", IDC_T_TEXT},
    };
    dlg.steps.push_back([&](CScriptDlg& d) {
        // Loading: the values are in the controls, the edit is limited, and
        // the dialog saw no change notification of its own loading.
        EXPECT_EQ(ItemText(d, IDC_T_NUMBER), L"5");
        EXPECT_EQ(ItemText(d, IDC_T_TEXT), L"abc");
        EXPECT_EQ(d.IsDlgButtonChecked(IDC_T_CHECK), (UINT)BST_CHECKED);
        EXPECT_EQ(d.SendDlgItemMessage(IDC_T_TEXT, EM_GETLIMITTEXT), 5);
        EXPECT_EQ(static_cast<CProbeDlg&>(d).nTextChanges, 0);
    });
    for (const Failure& f : failures) {
        dlg.steps.push_back([&](CScriptDlg& d) {
            catcher.boxes.clear();
            d.SetDlgItemText(IDC_T_NUMBER, f.number);
            d.SetDlgItemText(IDC_T_TEXT, f.text);
            ::SetFocus(::GetDlgItem(d, IDC_T_CHECK));
            d.OnOK();
            ASSERT_EQ(catcher.boxes.size(), 1u) << f.message;
            EXPECT_EQ(catcher.boxes[0].text, f.message);
            EXPECT_EQ(catcher.boxes[0].caption, AfxGetApp()->m_pszAppName);
            EXPECT_EQ(::GetFocus(), ::GetDlgItem(d, f.nFocus)) << f.message;
        });
    }
    dlg.steps.push_back([&](CScriptDlg& d) {
        // An exchange that failed has set the members up to the field that
        // failed its check (the text was taken, then found too long).
        EXPECT_EQ(number, 7);
        EXPECT_EQ(text, L"abcdef");
        catcher.boxes.clear();
        d.SetDlgItemText(IDC_T_NUMBER, L" 8 ");
        d.SetDlgItemText(IDC_T_TEXT, L"ab");
        d.CheckDlgButton(IDC_T_CHECK, BST_UNCHECKED);
        d.OnOK();
        EXPECT_TRUE(catcher.boxes.empty());
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(number, 8);
    EXPECT_EQ(text, L"ab");
    EXPECT_EQ(check, BST_UNCHECKED);
    EXPECT_GT(dlg.nTextChanges, 0);
}

TEST_F(DialogTest, NumberFieldsAcceptOnlyWholeNumbersInRange)
{
    struct Case
    {
        const wchar_t* text;
        bool bUnsigned;
        bool ok;
        long long value;
    };
    const Case cases[] = {
        {L"42", false, true, 42},
        {L"  -17\t", false, true, -17},
        {L"+3", false, true, 3},
        {L"2147483647", false, true, 2147483647LL},
        {L"2147483648", false, false, 0},
        {L"-2147483649", false, false, 0},
        {L"12a", false, false, 0},
        {L"1 2", false, false, 0},
        {L"0x10", false, false, 0},
        {L"4294967295", true, true, 4294967295LL},
        {L"4294967296", true, false, 0},
        {L"-1", true, false, 0},
    };
    CMessageBoxCatcher catcher;
    CScriptDlg dlg(IDD_AFXTEST_FORM);
    int nValue = 0;
    UINT uValue = 0;
    const Case* pCurrent = &cases[0];
    dlg.exchange = [&](CDataExchange* pDX) {
        if (pDX->m_bSaveAndValidate && pCurrent->bUnsigned)
            DDX_Text(pDX, IDC_T_NUMBER, uValue);
        else if (pDX->m_bSaveAndValidate)
            DDX_Text(pDX, IDC_T_NUMBER, nValue);
    };
    dlg.steps.push_back([&](CScriptDlg& d) {
        for (const Case& c : cases) {
            pCurrent = &c;
            catcher.boxes.clear();
            nValue = -99;
            uValue = 99;
            d.SetDlgItemText(IDC_T_NUMBER, c.text);
            BOOL ok = d.UpdateData(TRUE);
            EXPECT_EQ(ok != FALSE, c.ok) << c.text;
            if (c.ok) {
                EXPECT_EQ(c.bUnsigned ? (long long)uValue : (long long)nValue, c.value) << c.text;
                EXPECT_TRUE(catcher.boxes.empty()) << c.text;
            } else {
                ASSERT_EQ(catcher.boxes.size(), 1u) << c.text;
                EXPECT_EQ(catcher.boxes[0].text, c.bUnsigned ? L"Kérem, nem negatív egész számot adjon meg." : L"Kérem, egész számot adjon meg.");
            }
        }
    });
    EXPECT_EQ(dlg.DoModal(), IDABORT);
}

TEST_F(DialogTest, ComboAndDateExchange)
{
    CScriptDlg dlg(IDD_AFXTEST_FORM);
    int index = 1;
    CString listText, comboText = L"szabad szöveg";
    SYSTEMTIME date = {2024, 2, 0, 29};
    dlg.exchange = [&](CDataExchange* pDX) {
        DDX_CBIndex(pDX, IDC_T_LIST, index);
        DDX_CBString(pDX, IDC_T_COMBO, comboText);
        DDX_DateTimeCtrl(pDX, IDC_T_DATE, date);
        if (pDX->m_bSaveAndValidate)
            DDX_CBString(pDX, IDC_T_LIST, listText);
    };
    dlg.steps.push_back([&](CScriptDlg& d) {
        EXPECT_EQ(ItemText(d, IDC_T_LIST), L"Ügy");
        EXPECT_EQ(ItemText(d, IDC_T_COMBO), L"szabad szöveg");
        CDateTimeCtrl* pDate = (CDateTimeCtrl*)d.GetDlgItem(IDC_T_DATE);
        SYSTEMTIME shown = {};
        EXPECT_EQ(pDate->GetTime(&shown), (DWORD)GDT_VALID);
        EXPECT_EQ(shown.wYear * 10000 + shown.wMonth * 100 + shown.wDay, 20240229);

        d.SendDlgItemMessage(IDC_T_LIST, CB_SETCURSEL, 0);
        d.SetDlgItemText(IDC_T_COMBO, L"más");
        SYSTEMTIME other = {2031, 12, 0, 31};
        EXPECT_TRUE(pDate->SetTime(&other));
        EXPECT_TRUE(d.UpdateData(TRUE));
        EXPECT_EQ(index, 0);
        EXPECT_EQ(listText, L"Alpha");
        EXPECT_EQ(comboText, L"más");
        EXPECT_EQ(date.wYear * 10000 + date.wMonth * 100 + date.wDay, 20311231);
    });
    EXPECT_EQ(dlg.DoModal(), IDABORT);
}

} // namespace
