// The case edit dialog driven in-process against the test SQL server: new
// and modified cases reach the store and the central table; the refusals.
#include <gtest/gtest.h>
#include <memory>
#include "../afx/WindowTestSupport.h"
#include "../storage/StorageTestSupport.h"
#include "TestSqlServer.h"
#include "app/Hatarido.h"
#include "app/IktatoEditDlg.h"
#include "foundation/Conversions.h"
#include "resources/resource.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/CtUgyirat_SqlServer.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"

namespace {

using namespace testing_support;
typedef std::vector<std::vector<std::wstring>> Rows;

const wchar_t kEditTitle[] = L"Iktatási adatok szerkesztése";
const wchar_t kDeadlineTitle[] = L"Határidő szerkesztése";

CString Stamp(const DBTIMESTAMP& t)
{
    CString s;
    s.Format(L"%04d-%02d-%02d %02d:%02d:%02d.000", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return s;
}

CString Today()
{
    CHatarido h;
    h.m_tDate = _time64(NULL);
    return h.FormatDate();
}

class EditDlgTest : public ::testing::Test
{
protected:
    EditDlgTest() : env(L"EditDlgTest") {}

    void SetUp() override
    {
        window_test::InitOnce();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
        env.Settings().WriteProfileInt(L"InputPredictive", 1);
        manager.LoadSettings();
        CConnectionManagerSqlServer::SetApplicationManager(&manager);
        ASSERT_TRUE(server.CreateDatabase(L"Folionex"));
        ASSERT_TRUE(server.CreateCaseTable(L"Folionex"));
        store.reset(new CUgyiratStore(new CtUgyirat_SqlServer));
        store->SetCentralConnection(&manager);
        DBTIMESTAMP now;
        GetCurrentDbTimestamp(now);
        year = now.year;
    }

    void TearDown() override
    {
        store.reset();
        CConnectionManagerSqlServer::SetApplicationManager(NULL);
        CoUninitialize();
    }

    Rows CaseRows()
    {
        return server.Query(L"Folionex", "SELECT Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, "
                                         "Datum, CC, Hataridok FROM tUgyirat ORDER BY Ev, Nr");
    }

    // Runs f (the dialog's command) while script drives the edit dialog.
    template <class F>
    EditCaseResult Drive(F f, const std::function<void(HWND)>& script)
    {
        window_test::CWatchdog watchdog(90000);
        CWindowDriver driver([&] {
            HWND wnd = WaitForWindow(L"#32770", kEditTitle);
            ASSERT_TRUE(wnd);
            script(wnd);
        });
        EditCaseResult result = f();
        EXPECT_FALSE(driver.Join()) << "the dialog had to be ended by the watchdog";
        return result;
    }

    // Adds a deadline through "Hozzáad" and the deadline dialog.
    static void AddDeadline(HWND wnd, LPCWSTR remark, bool watched = true)
    {
        ClickId(wnd, IDC_IKT_ADD_DEADLINE);
        HWND dlg = WaitForWindow(L"#32770", kDeadlineTitle);
        ASSERT_TRUE(dlg);
        SetWindowTextW(Control(dlg, IDC_HAT_REMARK), remark);
        if (!watched)
            Tick(Control(dlg, IDC_HAT_WATCHED), false);
        ClickId(dlg, IDOK);
        ASSERT_TRUE(WaitForWindowGone(dlg));
    }

    static void Ok(HWND wnd)
    {
        ClickId(wnd, IDOK);
        EXPECT_TRUE(WaitForWindowGone(wnd));
    }

    static void Cancel(HWND wnd)
    {
        ClickId(wnd, IDCANCEL);
        EXPECT_TRUE(WaitForWindowGone(wnd));
    }

    CStorageEnvironment env;
    CConnectionManagerSqlServer manager;
    oledb_standin::CTestSqlServer server;
    std::unique_ptr<CUgyiratStore> store;
    int year = 0;
};

TEST_F(EditDlgTest, NewCaseGoesToTheStoreAndTheCentralTableWithTheEntryDate)
{
    ASSERT_TRUE(store->Insert(MakeRecord(year, 1, L"Kiss Anna", L"Nagy Béla", L"Polgári")));
    CString shownNr, shownEv;
    bool comboHasNames = false;
    DBTIMESTAMP before, after;
    GetCurrentDbTimestamp(before);
    EditCaseResult result = Drive([&] { return RunNewCaseDialog(*store); }, [&](HWND wnd) {
        shownNr = Text(Control(wnd, IDC_IKT_NR));
        shownEv = Text(Control(wnd, IDC_IKT_EV));
        comboHasNames = SendMessageW(Control(wnd, IDC_IKT_UGYFEL), CB_GETCOUNT, 0, 0) == 2;
        SetWindowTextW(Control(wnd, IDC_IKT_UGYFEL), L"Tóth Éva");
        SetWindowTextW(Control(wnd, IDC_IKT_ELLENFEL), L"Űrhajó Kft.");
        SetWindowTextW(Control(wnd, IDC_IKT_UGYJELLEGE), L"Büntető");
        SetWindowTextW(Control(wnd, IDC_IKT_MEGJEGYZES), L"első megjegyzés");
        AddDeadline(wnd, L"tárgyalás");
        AddDeadline(wnd, L"irattár", false);
        Ok(wnd);
    });
    GetCurrentDbTimestamp(after);
    EXPECT_EQ(result, kEditCaseSaved);
    EXPECT_EQ(shownNr, CString(L"2")) << "the next free number of the year";
    CString y;
    y.Format(L"%d", year);
    EXPECT_EQ(shownEv, y);
    EXPECT_TRUE(comboHasNames);

    const CUgyiratRecord* r = store->Find(MakeUgyiratKey(year, 2));
    ASSERT_TRUE(r);
    CString dates = Today();
    dates.Remove(L' ');
    const CString deadlines = L"+" + dates + L" tárgyalás|-" + dates + L" irattár";
    EXPECT_EQ(CString(r->Hataridok), deadlines);
    EXPECT_EQ(r->Allapot, 1);
    EXPECT_EQ(CString(r->CC), CString(L""));
    CString stamp = Stamp(r->Datum);
    EXPECT_GE(std::wstring(stamp), std::wstring(Stamp(before)));
    EXPECT_LE(std::wstring(stamp), std::wstring(Stamp(after)));

    Rows rows = CaseRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (std::vector<std::wstring>{(LPCWSTR)y, L"2", L"1", L"Tóth Éva", L"Űrhajó Kft.", L"Büntető",
                                                  L"első megjegyzés", (LPCWSTR)stamp, L"<NULL>",
                                                  (LPCWSTR)deadlines}));
}

TEST_F(EditDlgTest, AnExistingKeyIsRefusedAndTheDialogStaysOpen)
{
    ASSERT_TRUE(store->Insert(MakeRecord(year, 1)));
    window_test::CMessageBoxCatcher catcher;
    bool stayedOpen = false, focusOnNumber = false;
    DWORD uiThread = GetCurrentThreadId();
    EditCaseResult result = Drive([&] { return RunNewCaseDialog(*store); }, [&](HWND wnd) {
        SetWindowTextW(Control(wnd, IDC_IKT_NR), L"1");
        ClickId(wnd, IDOK);
        WaitUntil([&] { return FocusOf(uiThread) == Control(wnd, IDC_IKT_NR); }, 3000);
        focusOnNumber = FocusOf(uiThread) == Control(wnd, IDC_IKT_NR);
        stayedOpen = IsWindowVisible(wnd) != FALSE;
        Cancel(wnd);
    });
    EXPECT_EQ(result, kEditCaseCancelled);
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(focusOnNumber);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].caption, CString(L"Hibás adatmegadás"));
    EXPECT_EQ(catcher.boxes[0].text, CString(L"Már létezik a megadott ügyiratszám!"));
    EXPECT_EQ(CaseRows().size(), 1u);
}

TEST_F(EditDlgTest, BoundsOfNumberYearRemarkNamesAndDeadlines)
{
    struct Case
    {
        int id;
        const wchar_t* text;
        const wchar_t* message;
    } cases[] = {
        {IDC_IKT_NR, L"0", L"Enter an integer between 1 and 65535."},
        {IDC_IKT_NR, L"65536", L"Enter an integer between 1 and 65535."},
        {IDC_IKT_EV, L"1989", L"Enter an integer between 1990 and 2099."},
        {IDC_IKT_EV, L"2100", L"Enter an integer between 1990 and 2099."},
        {IDC_IKT_UGYFEL, NULL, L"Az ügyfél neve legfeljebb 200 karakter lehet!"},
        {IDC_IKT_ELLENFEL, NULL, L"A másik fél neve legfeljebb 200 karakter lehet!"},
        {IDC_IKT_UGYJELLEGE, NULL, L"Az ügy jellege legfeljebb 200 karakter lehet!"},
    };
    const CString longName(L'x', 201);
    DWORD uiThread = GetCurrentThreadId();
    for (const Case& c : cases) {
        window_test::CMessageBoxCatcher catcher;
        bool stayedOpen = false;
        EditCaseResult result = Drive([&] { return RunNewCaseDialog(*store); }, [&](HWND wnd) {
            // A text set by the program passes the field's limit; typing cannot.
            HWND field = Control(wnd, c.id);
            SetWindowTextW(field, c.text ? c.text : (LPCWSTR)longName);
            ClickId(wnd, IDOK);
            // The refusal is over when the focus is back on the field (the
            // click took it to the OK button, the box took it next).
            EXPECT_TRUE(WaitUntil([&] {
                HWND focus = FocusOf(uiThread);
                return !catcher.boxes.empty() && (focus == field || IsChild(field, focus));
            }));
            stayedOpen = IsWindowVisible(wnd) != FALSE;
            Cancel(wnd);
        });
        EXPECT_EQ(result, kEditCaseCancelled);
        EXPECT_TRUE(stayedOpen);
        ASSERT_EQ(catcher.boxes.size(), 1u) << CStringA(c.message).GetString();
        EXPECT_EQ(catcher.boxes[0].text, CString(c.message));
    }
    EXPECT_TRUE(CaseRows().empty());

    // What can be typed: 200 characters of the remark and of each name; 16 deadlines.
    UINT remarkLimit = 0, nameLimit = 0;
    BOOL addEnabledAt15 = FALSE, addEnabledAt16 = TRUE;
    std::vector<CString> items;
    for (int i = 0; i < 16; ++i) {
        CString item;
        item.Format(L"+2030.01.%02d. %s", i + 1, (LPCWSTR)CString(L'm', 40));
        items.push_back(item);
    }
    CUgyiratRecord full = MakeRecord(year, 7);
    CString text;
    for (size_t i = 0; i < items.size(); ++i)
        text += (i ? L"|" : L"") + items[i];
    ASSERT_LE(text.GetLength(), 1024);
    CopyField(full.Hataridok, text);
    ASSERT_TRUE(store->Insert(full));
    Drive([&] { return RunModifyCaseDialog(*store, UgyiratKey(full)); }, [&](HWND wnd) {
        remarkLimit = (UINT)SendMessageW(Control(wnd, IDC_IKT_MEGJEGYZES), EM_GETLIMITTEXT, 0, 0);
        COMBOBOXINFO info = {sizeof(info)};
        GetComboBoxInfo(Control(wnd, IDC_IKT_UGYFEL), &info);
        nameLimit = (UINT)SendMessageW(info.hwndItem, EM_GETLIMITTEXT, 0, 0);
        addEnabledAt16 = IsWindowEnabled(Control(wnd, IDC_IKT_ADD_DEADLINE));
        SelectListItem(Control(wnd, IDC_IKT_HATARIDOK), 0);
        ClickId(wnd, IDC_IKT_DELETE_DEADLINE);
        WaitUntil([&] { return IsWindowEnabled(Control(wnd, IDC_IKT_ADD_DEADLINE)) != FALSE; }, 3000);
        addEnabledAt15 = IsWindowEnabled(Control(wnd, IDC_IKT_ADD_DEADLINE));
        Cancel(wnd);
    });
    EXPECT_EQ(remarkLimit, 200u);
    EXPECT_EQ(nameLimit, 200u);
    EXPECT_FALSE(addEnabledAt16);
    EXPECT_TRUE(addEnabledAt15);
}

TEST_F(EditDlgTest, ModifyKeepsTheEntryDateEmptiesCcAndLocksTheKey)
{
    CUgyiratRecord r = MakeRecord(year, 5, L"Kiss", L"Nagy", L"Polgári", L"régi",
                                  L"-2024.01.10. |+2024.03.05. b|+2024.02.01. a");
    r.Datum.year = 2020;
    r.Datum.month = 6;
    r.Datum.day = 7;
    r.Datum.hour = 8;
    r.Datum.minute = 9;
    r.Datum.second = 10;
    CopyField(r.CC, L"régi CC");
    ASSERT_TRUE(store->Insert(r));
    ASSERT_TRUE(store->Insert(MakeRecord(year, 6, L"KISS")));
    BOOL nrEnabled = TRUE, evEnabled = TRUE;
    std::vector<CString> shownRows;
    CString shownName;
    EditCaseResult result = Drive([&] { return RunModifyCaseDialog(*store, UgyiratKey(r)); }, [&](HWND wnd) {
        nrEnabled = IsWindowEnabled(Control(wnd, IDC_IKT_NR));
        evEnabled = IsWindowEnabled(Control(wnd, IDC_IKT_EV));
        shownName = Text(Control(wnd, IDC_IKT_UGYFEL));
        HWND list = Control(wnd, IDC_IKT_HATARIDOK);
        for (int i = 0; i < 3; ++i)
            shownRows.push_back((ListItemChecked(list, i) ? L"+" : L"-") + ListItemText(list, i, 0) + L"|" +
                                ListItemText(list, i, 1));
        // Change the second deadline's remark, untick the first one.
        SelectListItem(list, 1);
        ClickId(wnd, IDC_IKT_MODIFY_DEADLINE);
        HWND dlg = WaitForWindow(L"#32770", kDeadlineTitle);
        ASSERT_TRUE(dlg);
        EXPECT_EQ(Text(Control(dlg, IDC_HAT_REMARK)), CString(L"b"));
        SetWindowTextW(Control(dlg, IDC_HAT_REMARK), L"új b");
        ClickId(dlg, IDOK);
        ASSERT_TRUE(WaitForWindowGone(dlg));
        LVITEMW item = {};
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(1);
        SendMessageW(list, LVM_SETITEMSTATE, 0, (LPARAM)&item);
        SetWindowTextW(Control(wnd, IDC_IKT_MEGJEGYZES), L"új megjegyzés");
        Ok(wnd);
    });
    EXPECT_EQ(result, kEditCaseSaved);
    EXPECT_FALSE(nrEnabled);
    EXPECT_FALSE(evEnabled);
    EXPECT_EQ(shownName, CString(L"Kiss")) << "the selection must not change the spelling";
    EXPECT_EQ(shownRows, (std::vector<CString>{L"+2024. 02. 01.|a", L"+2024. 03. 05.|b", L"-2024. 01. 10.|"}))
        << "watched first, then by date";

    const CUgyiratRecord* stored = store->Find(UgyiratKey(r));
    ASSERT_TRUE(stored);
    EXPECT_EQ(CString(stored->Megjegyzes), CString(L"új megjegyzés"));
    EXPECT_EQ(CString(stored->UgyfelNeve), CString(L"Kiss"));
    EXPECT_EQ(CString(stored->Hataridok), CString(L"-2024.02.01. a|+2024.03.05. új b|-2024.01.10. "));
    EXPECT_EQ(Stamp(stored->Datum), Stamp(r.Datum));
    EXPECT_EQ(CString(stored->CC), CString(L"")) << "a modified case is written with an empty CC";
    Rows rows = CaseRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][7], std::wstring(L"2020-06-07 08:09:10.000"));
    EXPECT_EQ(rows[0][8], std::wstring(L"<NULL>"));
    EXPECT_EQ(rows[0][6], std::wstring(L"új megjegyzés"));
}

TEST_F(EditDlgTest, ARefusedSaveIsToldAndTheDialogComesBackWithTheEntry)
{
    ASSERT_TRUE(store->Insert(MakeRecord(year, 1, L"Kiss")));
    const CString insertFailed = L"Az új ügyet nem sikerült elmenteni!\n\n"
                                 L"A beírt adatok megmaradtak: ellenőrizze őket (például az ügyszámot), majd "
                                 L"próbálja újra.";
    const CString updateFailed = L"Az ügy módosítását nem sikerült elmenteni!\n\n"
                                 L"A beírt adatok megmaradtak: ellenőrizze őket (például az ügyszámot), majd "
                                 L"próbálja újra.";
    struct Case
    {
        const wchar_t* statement;
        bool modify;
        bool retry;  // OK once more after the refusal, else cancel
        CString text;
        EditCaseResult result;
        Rows remarks;  // Ev, Nr and remark of the central rows afterwards
    };
    const std::wstring y = std::to_wstring(year);
    const Case cases[] = {
        {L"INSERT INTO tUgyirat", false, false, insertFailed, kEditCaseCancelled, Rows{{y, L"1", L""}}},
        {L"INSERT INTO tUgyirat", false, true, insertFailed, kEditCaseSaved, Rows{{y, L"1", L""}, {y, L"2", L"megmarad"}}},
        {L"UPDATE tUgyirat SET Ev", true, false, updateFailed, kEditCaseCancelled,
         Rows{{y, L"1", L""}, {y, L"2", L"megmarad"}}},
        {L"UPDATE tUgyirat SET Ev", true, true, updateFailed, kEditCaseSaved,
         Rows{{y, L"1", L"megmarad"}, {y, L"2", L"megmarad"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(CStringA(c.statement).GetString()) + (c.retry ? " retried" : " cancelled"));
        oledb_standin::CTestSqlServer::Failure failure;
        failure.statement = c.statement;
        failure.times = 1;
        server.FailStatement(failure);
        window_test::CMessageBoxCatcher catcher;
        CString shownAgain;
        EditCaseResult result = Drive(
            [&] { return c.modify ? RunModifyCaseDialog(*store, MakeUgyiratKey(year, 1)) : RunNewCaseDialog(*store); },
            [&](HWND wnd) {
                SetWindowTextW(Control(wnd, IDC_IKT_MEGJEGYZES), L"megmarad");
                Ok(wnd);
                HWND again = WaitForWindow(L"#32770", kEditTitle);
                ASSERT_TRUE(again);
                shownAgain = Text(Control(again, IDC_IKT_MEGJEGYZES));
                if (c.retry)
                    Ok(again);
                else
                    Cancel(again);
            });
        server.ClearFailure();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(shownAgain, CString(L"megmarad"));
        ASSERT_EQ(catcher.boxes.size(), 1u);
        EXPECT_EQ(catcher.boxes[0].caption, CString(L"Figyelmeztetés"));
        EXPECT_EQ(catcher.boxes[0].text, c.text);
        Rows remarks;
        for (const auto& row : CaseRows())
            remarks.push_back({row[0], row[1], row[6]});
        EXPECT_EQ(remarks, c.remarks);
        EXPECT_EQ(store->m_records.size(), c.remarks.size());
    }
}

TEST_F(EditDlgTest, ModifyOfAKeyNoLongerStoredSaysSo)
{
    window_test::CMessageBoxCatcher catcher;
    EXPECT_EQ(RunModifyCaseDialog(*store, MakeUgyiratKey(year, 9)), kEditCaseMissing);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].caption, CString(L"Figyelmeztetés"));
    EXPECT_EQ(catcher.boxes[0].text,
              CString(L"A kiválasztott ügyirat már nem létezik (időközben törölték). A lista frissül."));
}

TEST_F(EditDlgTest, ADeadlineTextThatDoesNotParseEndsTheDialogAtOnce)
{
    CUgyiratRecord r = MakeRecord(year, 3, L"Kiss", L"Nagy", L"Polgári", L"", L"+2024.13.01. rossz");
    ASSERT_TRUE(store->Insert(r));
    window_test::CMessageBoxCatcher catcher;
    window_test::CWatchdog watchdog(60000);
    CIktatoEditDlg dlg(store.get(), CIktatoEditDlg::kModeModify);
    dlg.Nr = r.Nr;
    dlg.Ev = r.Ev;
    dlg.Hataridok = r.Hataridok;
    EXPECT_EQ(dlg.DoModal(), -1);
    EXPECT_EQ(catcher.boxes.size(), 1u) << "the error's message";
    EXPECT_EQ(RunModifyCaseDialog(*store, UgyiratKey(r)), kEditCaseCancelled);
    EXPECT_EQ(CString(store->Find(UgyiratKey(r))->Hataridok), CString(L"+2024.13.01. rossz"));
}

TEST_F(EditDlgTest, WithoutPredictiveInputThePlainEditsTakeTheNames)
{
    env.Settings().WriteProfileInt(L"InputPredictive", 0);
    ASSERT_TRUE(store->Insert(MakeRecord(year, 1, L"Kiss Anna")));
    BOOL comboVisible = TRUE, editVisible = FALSE;
    LRESULT comboCount = -1;
    RECT comboRect = {}, editRect = {};
    EditCaseResult result = Drive([&] { return RunNewCaseDialog(*store); }, [&](HWND wnd) {
        comboVisible = IsWindowVisible(Control(wnd, IDC_IKT_UGYFEL));
        editVisible = IsWindowVisible(Control(wnd, IDC_IKT_UGYFEL_EDIT));
        comboCount = SendMessageW(Control(wnd, IDC_IKT_UGYFEL), CB_GETCOUNT, 0, 0);
        comboRect = RectInParent(Control(wnd, IDC_IKT_UGYFEL));
        editRect = RectInParent(Control(wnd, IDC_IKT_UGYFEL_EDIT));
        SetWindowTextW(Control(wnd, IDC_IKT_UGYFEL_EDIT), L"Szabó Ödön");
        SetWindowTextW(Control(wnd, IDC_IKT_UGYJELLEGE_EDIT), L"Munkajogi");
        Ok(wnd);
    });
    EXPECT_EQ(result, kEditCaseSaved);
    EXPECT_FALSE(comboVisible);
    EXPECT_TRUE(editVisible);
    EXPECT_EQ(comboCount, 0);
    EXPECT_EQ(editRect.left, comboRect.left);
    EXPECT_EQ(editRect.top, comboRect.top);
    const CUgyiratRecord* r = store->Find(MakeUgyiratKey(year, 2));
    ASSERT_TRUE(r);
    EXPECT_EQ(CString(r->UgyfelNeve), CString(L"Szabó Ödön"));
    EXPECT_EQ(CString(r->UgyJellege), CString(L"Munkajogi"));
}

TEST_F(EditDlgTest, ADeadlineListThatWouldNotFitTheRecordIsRefused)
{
    // 78 items without the blank after the date: written back each gains
    // one, and the text no longer fits its 1024 characters.
    CString text;
    for (int i = 0; i < 78; ++i)
        text += (i ? L"|" : L"") + CString(L"+2030.01.15.");
    ASSERT_LE(text.GetLength(), 1024);
    CUgyiratRecord r = MakeRecord(year, 4);
    CopyField(r.Hataridok, text);
    ASSERT_TRUE(store->Insert(r));
    window_test::CMessageBoxCatcher catcher;
    EditCaseResult result = Drive([&] { return RunModifyCaseDialog(*store, UgyiratKey(r)); }, [&](HWND wnd) {
        ClickId(wnd, IDOK);
        WaitUntil([&] { return !catcher.boxes.empty(); }, 3000);
        Cancel(wnd);
    });
    EXPECT_EQ(result, kEditCaseCancelled);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].caption, CString(L"Hibás adatmegadás"));
    EXPECT_EQ(catcher.boxes[0].text, CString(L"A határidők nem férnek el az ügyiratban (legfeljebb 1024 karakter)! "
                                             L"Töröljön határidőt vagy rövidítse a megjegyzéseket."));
    EXPECT_EQ(CString(store->Find(UgyiratKey(r))->Hataridok), text);
}

TEST_F(EditDlgTest, EnterWalksTheFieldsAndConfirmsInTheRemark)
{
    DWORD uiThread = GetCurrentThreadId();
    bool movedToYear = false;
    EditCaseResult result = Drive([&] { return RunNewCaseDialog(*store); }, [&](HWND wnd) {
        ASSERT_TRUE(WaitUntil([&] { return FocusOf(uiThread) == Control(wnd, IDC_IKT_NR); }, 3000));
        window_test::PostKey(Control(wnd, IDC_IKT_NR), VK_RETURN);
        movedToYear = WaitUntil([&] { return FocusOf(uiThread) == Control(wnd, IDC_IKT_EV); }, 3000);
        SetWindowTextW(Control(wnd, IDC_IKT_MEGJEGYZES), L"Enterrel");
        window_test::PostKey(Control(wnd, IDC_IKT_MEGJEGYZES), VK_RETURN);
        EXPECT_TRUE(WaitForWindowGone(wnd));
    });
    EXPECT_TRUE(movedToYear);
    EXPECT_EQ(result, kEditCaseSaved);
    const CUgyiratRecord* r = store->Find(MakeUgyiratKey(year, 1));
    ASSERT_TRUE(r);
    EXPECT_EQ(CString(r->Megjegyzes), CString(L"Enterrel"));
}

// A picture for the documentation: FOLIONEX_SCREENSHOTS names a folder.
TEST_F(EditDlgTest, Screenshot)
{
    wchar_t folder[MAX_PATH] = {0};
    if (!GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", folder, MAX_PATH))
        GTEST_SKIP() << "FOLIONEX_SCREENSHOTS is not set";
    CUgyiratRecord r = MakeRecord(year, 12, L"Kovács Ödön", L"Űrhajó Kft.", L"Polgári per",
                                  L"Keresetlevél beadva, a tárgyalás időpontja egyeztetés alatt.",
                                  L"+2030.03.05. tárgyalás|+2030.02.01. fellebbezési határidő|-2029.12.10. irattár");
    ASSERT_TRUE(store->Insert(r));
    CString path = CString(folder) + L"\\edit-dialog.bmp";
    bool saved = false;
    Drive([&] { return RunModifyCaseDialog(*store, UgyiratKey(r)); }, [&](HWND wnd) {
        Sleep(700);
        saved = SaveWindowBitmap(wnd, path) != false;
        Cancel(wnd);
    });
    EXPECT_TRUE(saved);
}

} // namespace
