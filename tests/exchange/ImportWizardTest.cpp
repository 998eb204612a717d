// The import wizard driven as a user drives it, over the test SQL server
// (the stand-in OLE DB provider): the clipboard set by the test, header
// clicks, the column and row dialogs, the boxes of the rows, the import with
// its progress window, an abort, and an insert held past the abort's wait.
#include <gtest/gtest.h>
#include <new>
#include <atomic>
#include <memory>
#include "../afx/WindowTestSupport.h"
#include "../storage/StorageTestSupport.h"
#include "ImportWizardDriving.h"
#include "TestSqlServer.h"
#include "exchange/ImportDlg.h"
#include "foundation/Conversions.h"
#include "resources/resource.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/CtUgyirat_SqlServer.h"
#include "storage/StoreBusy.h"
#include "storage/UgyiratStore.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"

namespace {

using namespace testing_support;
using namespace import_wizard_driving;
typedef std::vector<std::vector<std::wstring>> Rows;

const wchar_t kTitle[] = L"Adatok importálása";
const wchar_t kColumnTitle[] = L"Importálandó oszlop adattípusának megadása";
const wchar_t kEditTitle[] = L"Hibás sor szerkesztése";

const wchar_t kHintPaste[] = L"Másolja ki táblázatos formában megszerkesztett adatait a vágólapra és illessze be az "
                             L"\"Adatok a vágólapról\" nyomógomb segítségével.";
const wchar_t kHintTypes[] = L"Az oszlopok fejlécére kattintva adja meg az adott oszlopban tartalmazott adatok típusát!";
const wchar_t kHintRequired[] = L"Az év, iktatószám, ügyfél neve kötelező adat, az importálás még nem kezhető meg!";
const wchar_t kHintOptional[] = L"Célszerű a másik fél és ügytípus adatokat is megadni, ha valamaelyik oszlop "
                                L"tartalmazza ezeket az adatokat!";
const wchar_t kHintRemark[] = L"Az importálás indítható! (Az adatbázis megjegyzés oszlopába adat még hozzáadható.)";
const wchar_t kHintReady[] = L"Az importálás indítható! ";
const wchar_t kRequiredBox[] = L"A szükséges importálandó oszlopok még nincsenek kijelölve!\n\nAz alábbi oszlopok "
                               L"megadása kötelező:\n      [Év]\n      [Iktatószám]\n      [Ügyfél neve]";

// ---- Finding and driving the windows ----

// A message box of this process showing exactly this text.
HWND WaitForBox(LPCWSTR text, DWORD timeoutMs = 5000)
{
    return WaitForBoxWithText(text, timeoutMs);
}

void Answer(LPCWSTR text, int button)
{
    HWND box = WaitForBox(text);
    ASSERT_TRUE(box) << "no box: " << (LPCSTR)WideToUtf8(text);
    ClickId(box, button);
    ASSERT_TRUE(WaitForWindowGone(box)) << "still open: " << (LPCSTR)WideToUtf8(text);
}

struct ProgressSearch
{
    HWND found;
};

BOOL CALLBACK FindProgressProc(HWND hwnd, LPARAM lParam)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && GetDlgItem(hwnd, IDC_PROGRESS_BAR)) {
        reinterpret_cast<ProgressSearch*>(lParam)->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForProgress(DWORD timeoutMs = 10000)
{
    ProgressSearch search = {NULL};
    WaitUntil([&] {
        EnumWindows(FindProgressProc, (LPARAM)&search);
        return search.found != NULL;
    }, timeoutMs);
    return search.found;
}

bool SetClipboard(const std::wstring& text)
{
    return SetClipboardText(text);
}

int ItemCount(HWND grid)
{
    return (int)SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0);
}

int SelectedRow(HWND grid)
{
    return (int)SendMessageW(grid, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
}

void PostClick(HWND target, POINT pt, bool twice = false)
{
    PostMouseClick(target, pt, twice);
}

// A point on the row's check box.
POINT BoxPoint(HWND grid, int row)
{
    RECT bounds = {};
    bounds.left = LVIR_BOUNDS;
    SendMessageW(grid, LVM_GETITEMRECT, row, (LPARAM)&bounds);
    POINT pt = {bounds.left + 2, (bounds.top + bounds.bottom) / 2};
    for (int x = bounds.left; x < bounds.left + 30; ++x) {
        LVHITTESTINFO hit = {};
        hit.pt = POINT{x, pt.y};
        SendMessageW(grid, LVM_HITTEST, 0, (LPARAM)&hit);
        if (hit.flags & LVHT_ONITEMSTATEICON) {
            pt.x = x + 3;
            break;
        }
    }
    return pt;
}

POINT TextPoint(HWND grid, int row)
{
    RECT label = {};
    label.left = LVIR_LABEL;
    SendMessageW(grid, LVM_GETITEMRECT, row, (LPARAM)&label);
    return POINT{label.left + 10, (label.top + label.bottom) / 2};
}

// Clicks the row's box; the grid answers at once or with a question.
void ClickBox(HWND grid, int row)
{
    PostClick(grid, BoxPoint(grid, row));
}

void Paste(HWND wnd, const std::wstring& text, int rows)
{
    ASSERT_TRUE(SetClipboard(text));
    ClickId(wnd, IDC_IMP_PASTE);
    ASSERT_TRUE(WaitUntil([&] { return ItemCount(Control(wnd, IDC_IMP_GRID)) == rows; }));
}

// Makes sure the window has painted what it shows before its picture.
void Settle(HWND wnd)
{
    RedrawWindow(wnd, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    SendMessageW(wnd, WM_NULL, 0, 0);
}

bool Screenshot(HWND wnd, LPCWSTR name)
{
    wchar_t folder[MAX_PATH] = {0};
    if (!GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", folder, MAX_PATH))
        return true;
    Settle(wnd);
    return SaveWindowBitmap(wnd, CString(folder) + L"\\" + name) != false;
}

// The final lines of a run: once the button shows its last caption, the texts
// are read and the window is closed with that button.
struct ProgressEnd
{
    CString first;
    CString second;
};

void FinishProgress(HWND progress, LPCWSTR button, ProgressEnd& end)
{
    ASSERT_TRUE(WaitUntil([&] { return Text(Control(progress, IDCANCEL)) == button; }, 30000))
        << "the run did not end with " << (LPCSTR)WideToUtf8(button);
    end.first = Text(Control(progress, IDC_PROGRESS_TEXT1));
    end.second = Text(Control(progress, IDC_PROGRESS_TEXT2));
    ClickId(progress, IDCANCEL);
    ASSERT_TRUE(WaitForWindowGone(progress));
}

// ---- A table whose inserts can be held ----

// Holds the insert with the given ordinal (1-based) until released.
class CHoldingTable : public CtUgyirat_SqlServer
{
public:
    CHoldingTable()
        : m_entered(CreateEventW(NULL, TRUE, FALSE, NULL)), m_release(CreateEventW(NULL, TRUE, FALSE, NULL))
    {
    }
    ~CHoldingTable() override
    {
        CloseHandle(m_entered);
        CloseHandle(m_release);
    }
    bool Insert(const CUgyiratRecord& record) override
    {
        if (m_inserts + 1 == throwAt) {
            ++m_inserts;
            throw std::bad_alloc();
        }
        if (++m_inserts == holdAt) {
            SetEvent(m_entered);
            m_busyWhileHeld = IsStoreBusy();
            WaitForSingleObject(m_release, 60000);
        }
        return CtUgyirat_SqlServer::Insert(record);
    }
    bool WaitEntered() { return WaitForSingleObject(m_entered, 20000) == WAIT_OBJECT_0; }
    void Release() { SetEvent(m_release); }

    int holdAt = 0;
    // The insert with this ordinal throws, as one that finds no memory.
    int throwAt = 0;
    std::atomic<int> m_inserts{0};
    std::atomic<bool> m_busyWhileHeld{false};

private:
    HANDLE m_entered;
    HANDLE m_release;
};

std::wstring CaseLines(int from, int to, int year)
{
    std::wstring text;
    for (int i = from; i <= to; ++i)
        text += std::to_wstring(i) + L"/" + std::to_wstring(year) + L"\tÜgyfél " + std::to_wstring(i) +
                L"\tEllenfél\tPolgári\r\n";
    return text;
}

class ImportWizardTest : public ::testing::Test
{
protected:
    ImportWizardTest() : env(L"ImportWizardTest") {}

    void SetUp() override
    {
        window_test::InitOnce();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
        manager.LoadSettings();
        CConnectionManagerSqlServer::SetApplicationManager(&manager);
        ASSERT_TRUE(server.CreateDatabase(L"Folionex"));
        ASSERT_TRUE(server.CreateCaseTable(L"Folionex"));
        table = new CHoldingTable;
        store.reset(new CUgyiratStore(table));
        store->SetCentralConnection(&manager);
        SetStoreBusy(false);
    }

    void TearDown() override
    {
        store.reset();
        CConnectionManagerSqlServer::SetApplicationManager(NULL);
        CoUninitialize();
    }

    Rows CaseRows()
    {
        return server.Query(L"Folionex", "SELECT Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, CC, Datum "
                                         "FROM tUgyirat ORDER BY Ev, Nr");
    }

    // Runs the wizard while script drives it; the wizard's result.
    INT_PTR Drive(const std::function<void(HWND)>& script, CImportDlg* keep = NULL)
    {
        window_test::CWatchdog watchdog(120000);
        std::unique_ptr<CImportDlg> own;
        CImportDlg* dlg = keep;
        if (!dlg) {
            own.reset(new CImportDlg(store.get(), NULL));
            dlg = own.get();
        }
        CWindowDriver driver([&] {
            HWND wnd = WaitForWindow(L"#32770", kTitle);
            ASSERT_TRUE(wnd);
            script(wnd);
        });
        INT_PTR result = dlg->DoModal();
        returned = true;
        EXPECT_FALSE(driver.Join()) << "the wizard had to be ended by the watchdog";
        return result;
    }

    // Pastes the lines and types the columns: [iktatószám]/[év], [ügyfél neve],
    // [másik fél neve], [ügyirat jellege].
    static void PasteTyped(HWND wnd, const std::wstring& text, int rows)
    {
        Paste(wnd, text, rows);
        HWND grid = Control(wnd, IDC_IMP_GRID);
        TypeColumn(grid, 0, 2);
        TypeColumn(grid, 1, 5);
        TypeColumn(grid, 2, 7);
        TypeColumn(grid, 3, 8);
    }

    // Presses the import and waits for the end of the run in the progress window.
    static HWND RunImport(HWND wnd)
    {
        ClickId(wnd, IDOK);
        HWND progress = WaitForProgress();
        EXPECT_TRUE(progress);
        return progress;
    }

    CStorageEnvironment env;
    CConnectionManagerSqlServer manager;
    oledb_standin::CTestSqlServer server;
    CHoldingTable* table = nullptr;
    std::unique_ptr<CUgyiratStore> store;
    std::atomic<bool> returned{false};
};

TEST_F(ImportWizardTest, HintsColumnTypesAndThePasteQuestion)
{
    const std::wstring text = L"12/2020\tKiss Anna\t2020\t1\tNagy Béla\tPolgári\tmegjegyzés\r\n"
                              L"13/2020\tTóth Éva\t2020\t2\tSzabó\tBüntető\t\r\n";
    std::vector<CString> hints;
    bool radioImport = false, firstTypeSelected = false, listEnabled = false, listDisabledBySkip = false;
    bool buttonsHiddenWhilePasted = false, buttonsShownWhenTyped = false;
    CString overlapCaption0, overlapCaption1;
    int keptAfterCancel = 0;
    bool shot = true;
    INT_PTR result = Drive([&](HWND wnd) {
        HWND grid = Control(wnd, IDC_IMP_GRID);
        HWND hint = Control(wnd, IDC_IMP_HINT);
        hints.push_back(Text(hint));
        Paste(wnd, text, 2);
        hints.push_back(Text(hint));
        buttonsHiddenWhilePasted = !IsWindowVisible(Control(wnd, IDOK)) &&
                                   !IsWindowVisible(Control(wnd, IDC_IMP_MODIFY));
        EXPECT_EQ(HeaderText(grid, 0), CString(L"nem importál"));

        // Enter in the grid before the required columns are typed.
        window_test::PostKey(grid, VK_RETURN);
        Answer(kRequiredBox, IDOK);

        // An untyped column opens with "import" chosen and the first type.
        ClickHeader(grid, 0);
        HWND col = WaitForWindow(L"#32770", kColumnTitle);
        ASSERT_TRUE(col);
        radioImport = IsChecked(Control(col, IDC_IMPCOL_IMPORT)) && !IsChecked(Control(col, IDC_IMPCOL_SKIP));
        firstTypeSelected = SendMessageW(Control(col, IDC_IMPCOL_TYPES), LB_GETCURSEL, 0, 0) == 0 &&
                            SendMessageW(Control(col, IDC_IMPCOL_TYPES), LB_GETCOUNT, 0, 0) == 9;
        listEnabled = IsWindowEnabled(Control(col, IDC_IMPCOL_TYPES)) != FALSE;
        shot = Screenshot(col, L"import-column.bmp") && shot;
        Click(Control(col, IDC_IMPCOL_SKIP));
        listDisabledBySkip = WaitUntil([&] { return !IsWindowEnabled(Control(col, IDC_IMPCOL_TYPES)); });
        Click(Control(col, IDC_IMPCOL_IMPORT));
        ClickId(col, IDOK);
        ASSERT_TRUE(WaitForWindowGone(col));
        ASSERT_TRUE(WaitUntil([&] { return HeaderText(grid, 0) == L"[iktatószám]"; }));
        hints.push_back(Text(hint));

        // Year in column 2: required still lacks the client.
        TypeColumn(grid, 2, 4);
        hints.push_back(Text(hint));
        // Number/year in column 0 resets the overlapping number and year.
        TypeColumn(grid, 0, 2);
        overlapCaption0 = HeaderText(grid, 0);
        overlapCaption1 = HeaderText(grid, 2);
        TypeColumn(grid, 1, 5);
        hints.push_back(Text(hint));
        buttonsShownWhenTyped = IsWindowVisible(Control(wnd, IDOK)) && IsWindowVisible(Control(wnd, IDC_IMP_MODIFY));
        TypeColumn(grid, 4, 7);
        TypeColumn(grid, 5, 8);
        hints.push_back(Text(hint));
        TypeColumn(grid, 6, 9);
        hints.push_back(Text(hint));
        TypeColumn(grid, 6, 0);
        hints.push_back(Text(hint));

        // Pasting over data asks; Cancel keeps it.
        ASSERT_TRUE(SetClipboard(L"1\n"));
        ClickId(wnd, IDC_IMP_PASTE);
        Answer(L"Már vannak adatok a táblázatban, törlöm a korábbi adatokat?\n\n", IDCANCEL);
        keptAfterCancel = ItemCount(grid);
        // OK replaces it, with every column untyped again.
        ClickId(wnd, IDC_IMP_PASTE);
        Answer(L"Már vannak adatok a táblázatban, törlöm a korábbi adatokat?\n\n", IDOK);
        EXPECT_TRUE(WaitUntil([&] { return ItemCount(grid) == 1; }));
        EXPECT_EQ(HeaderText(grid, 0), CString(L"nem importál"));
        hints.push_back(Text(hint));
        CloseBox(wnd);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(shot);
    ASSERT_EQ(hints.size(), 9u);
    EXPECT_EQ(hints[0], CString(kHintPaste));
    EXPECT_EQ(hints[1], CString(kHintTypes));
    EXPECT_EQ(hints[2], CString(kHintRequired));
    EXPECT_EQ(hints[3], CString(kHintRequired));
    EXPECT_EQ(hints[4], CString(kHintOptional));
    EXPECT_EQ(hints[5], CString(kHintRemark)) << "0x1F with more than 5 columns";
    EXPECT_EQ(hints[6], CString(kHintReady));
    EXPECT_EQ(hints[7], CString(kHintRemark));
    EXPECT_EQ(hints[8], CString(kHintTypes));
    EXPECT_TRUE(radioImport);
    EXPECT_TRUE(firstTypeSelected);
    EXPECT_TRUE(listEnabled);
    EXPECT_TRUE(listDisabledBySkip);
    EXPECT_TRUE(buttonsHiddenWhilePasted);
    EXPECT_TRUE(buttonsShownWhenTyped);
    EXPECT_EQ(overlapCaption0, CString(L"[iktatószám]/[év]"));
    EXPECT_EQ(overlapCaption1, CString(L"nem importál"));
    EXPECT_EQ(keptAfterCancel, 2);
}

TEST_F(ImportWizardTest, BoxesNavigationAndTheRowEditor)
{
    ASSERT_TRUE(store->Insert(MakeRecord(2020, 3)));
    // Rows: 0 valid, 1 invalid (no client), 2 exists, 3 valid, 4 invalid year.
    // The last column stays untyped.
    const std::wstring text = L"1/2020\tKiss Anna\tE\tP\tfelvéve\r\n2/2020\t\tE\tP\thiányos\r\n"
                              L"3/2020\tNagy Béla\tE\tP\tmegvan\r\n4/2020\tTóth Éva\tE\tP\t\r\n"
                              L"5/2030\tSzabó\tE\tP\tjövő évi\r\n";
    std::vector<bool> ticked;
    std::vector<int> statuses;
    std::vector<int> navigation;
    CString editorNr, editorEv, editorClient;
    bool noSelectionBox = false, rangeRefused = false, tooLongCut = false, shot = true;
    CImportDlg dlg(store.get(), NULL);
    INT_PTR result = Drive(
        [&](HWND wnd) {
            HWND grid = Control(wnd, IDC_IMP_GRID);
            Paste(wnd, text, 5);
            // Before typing a row is status 0: its box refuses silently.
            ClickBox(grid, 0);
            ASSERT_TRUE(WaitForPostedInput(grid));
            EXPECT_FALSE(ListItemChecked(grid, 0));
            EXPECT_EQ(dlg.GetRowStatus(0), kRowNotValidated);

            TypeColumn(grid, 0, 2);
            TypeColumn(grid, 1, 5);
            TypeColumn(grid, 2, 7);
            TypeColumn(grid, 3, 8);
            for (int i = 0; i < 5; ++i) {
                ticked.push_back(ListItemChecked(grid, i));
                statuses.push_back(dlg.GetRowStatus(i));
            }
            shot = Screenshot(wnd, L"import-wizard.bmp") && shot;

            // "Módosít" without a selection.
            ClickId(wnd, IDC_IMP_MODIFY);
            Answer(L"Nincs semmi kiválasztva módosításra!", IDOK);
            noSelectionBox = true;

            // Error navigation: downwards from the start, upwards from the end.
            ClickId(wnd, IDC_IMP_NEXT_ERROR);
            WaitUntil([&] { return SelectedRow(grid) == 1; });
            navigation.push_back(SelectedRow(grid));
            ClickId(wnd, IDC_IMP_NEXT_ERROR);
            WaitUntil([&] { return SelectedRow(grid) == 2; });
            navigation.push_back(SelectedRow(grid));
            ClickId(wnd, IDC_IMP_NEXT_ERROR);
            WaitUntil([&] { return SelectedRow(grid) == 4; });
            navigation.push_back(SelectedRow(grid));
            ClickId(wnd, IDC_IMP_NEXT_ERROR);  // none further: nothing changes
            ASSERT_TRUE(WaitForPostedInput(wnd));
            navigation.push_back(SelectedRow(grid));
            ClickId(wnd, IDC_IMP_PREV_ERROR);
            WaitUntil([&] { return SelectedRow(grid) == 2; });
            navigation.push_back(SelectedRow(grid));

            // A valid row: its box unticks it (status 9) and ticks it again.
            ClickBox(grid, 0);
            EXPECT_TRUE(WaitUntil([&] { return !ListItemChecked(grid, 0); }));
            EXPECT_EQ(dlg.GetRowStatus(0), kRowUnticked);
            ClickBox(grid, 0);
            EXPECT_TRUE(WaitUntil([&] { return ListItemChecked(grid, 0); }));
            EXPECT_EQ(dlg.GetRowStatus(0), kRowValid);
            // Space on a ticked row unticks it.
            SelectListItem(grid, 3);
            window_test::PostKey(grid, VK_SPACE);
            EXPECT_TRUE(WaitUntil([&] { return !ListItemChecked(grid, 3); }));
            EXPECT_EQ(dlg.GetRowStatus(3), kRowUnticked);
            // An invalid row and an existing one ask; "No" leaves them clear.
            ClickBox(grid, 1);
            Answer(L"Hibás adat nem importálható!\n\nKívánja az adatokat módosítani?", IDNO);
            ClickBox(grid, 2);
            Answer(L"Már létező adat nem importálható újra!\n\nKívánja az adatokat módosítani?", IDNO);
            SendMessageW(grid, WM_NULL, 0, 0);
            EXPECT_FALSE(ListItemChecked(grid, 1));
            EXPECT_FALSE(ListItemChecked(grid, 2));
            EXPECT_EQ(dlg.GetRowStatus(1), kRowInvalid);

            // "Yes" opens the editor; a number out of range is refused there.
            ClickBox(grid, 1);
            Answer(L"Hibás adat nem importálható!\n\nKívánja az adatokat módosítani?", IDYES);
            HWND ed = WaitForWindow(L"#32770", kEditTitle);
            ASSERT_TRUE(ed);
            editorNr = Text(Control(ed, IDC_IMPED_NR));
            editorEv = Text(Control(ed, IDC_IMPED_EV));
            SetWindowTextW(Control(ed, IDC_IMPED_NR), L"65536");
            ClickId(ed, IDOK);
            Answer(L"Enter an integer between 1 and 65535.", IDOK);
            rangeRefused = IsWindow(ed) != FALSE;
            SetWindowTextW(Control(ed, IDC_IMPED_NR), L"22");
            HWND client = Control(ed, IDC_IMPED_UGYFEL);
            std::wstring typed(230, L'k');
            for (wchar_t ch : typed)
                window_test::PostChar(client, ch);
            WaitUntil([&] { return Text(client).GetLength() >= 200; });
            SendMessageW(client, WM_NULL, 0, 0);
            tooLongCut = Text(client).GetLength() == 200;
            shot = Screenshot(ed, L"import-edit.bmp") && shot;
            ClickId(ed, IDOK);
            ASSERT_TRUE(WaitForWindowGone(ed));
            EXPECT_TRUE(WaitUntil([&] { return ListItemChecked(grid, 1); }));
            EXPECT_EQ(dlg.GetRowStatus(1), kRowValid);
            EXPECT_EQ(ListItemText(grid, 1, 0), CString(L"22/2020"));
            EXPECT_EQ(ListItemText(grid, 1, 1), CString(std::wstring(200, L'k').c_str()));

            // A double click on the year-2030 row opens the editor as well.
            PostClick(grid, TextPoint(grid, 4), true);
            ed = WaitForWindow(L"#32770", kEditTitle);
            ASSERT_TRUE(ed);
            editorClient = Text(Control(ed, IDC_IMPED_UGYFEL));
            // 2030 passes the editor's range but not the import's years.
            ClickId(ed, IDOK);
            ASSERT_TRUE(WaitForWindowGone(ed));
            SendMessageW(grid, WM_NULL, 0, 0);
            EXPECT_FALSE(ListItemChecked(grid, 4));
            EXPECT_EQ(dlg.GetRowStatus(4), kRowInvalid);
            PostClick(grid, TextPoint(grid, 4), true);
            ed = WaitForWindow(L"#32770", kEditTitle);
            ASSERT_TRUE(ed);
            SetWindowTextW(Control(ed, IDC_IMPED_EV), L"2029");
            ClickId(ed, IDOK);
            ASSERT_TRUE(WaitForWindowGone(ed));
            EXPECT_TRUE(WaitUntil([&] { return ListItemChecked(grid, 4); }));

            // "Módosít" on the selected row; Cancel changes nothing.
            SelectListItem(grid, 2);
            ClickId(wnd, IDC_IMP_MODIFY);
            ed = WaitForWindow(L"#32770", kEditTitle);
            ASSERT_TRUE(ed);
            ClickId(ed, IDCANCEL);
            ASSERT_TRUE(WaitForWindowGone(ed));
            EXPECT_EQ(dlg.GetRowStatus(2), kRowExists);

            // Typing a column again revalidates: the unticked row is ticked.
            TypeColumn(grid, 3, 8);
            EXPECT_TRUE(WaitUntil([&] { return ListItemChecked(grid, 3); }));
            CloseBox(wnd);
        },
        &dlg);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(shot);
    EXPECT_EQ(ticked, (std::vector<bool>{true, false, false, true, false}));
    EXPECT_EQ(statuses, (std::vector<int>{kRowValid, kRowInvalid, kRowExists, kRowValid, kRowInvalid}));
    EXPECT_EQ(navigation, (std::vector<int>{1, 2, 4, 4, 2}));
    EXPECT_TRUE(noSelectionBox);
    EXPECT_EQ(editorNr, CString(L"2"));
    EXPECT_EQ(editorEv, CString(L"2020"));
    EXPECT_TRUE(rangeRefused);
    EXPECT_TRUE(tooLongCut);
    EXPECT_EQ(editorClient, CString(L"Szabó"));
    EXPECT_EQ(store->m_records.size(), 1u) << "nothing imported";
}

TEST_F(ImportWizardTest, TenRowsSevenTickedAndValid)
{
    ASSERT_TRUE(store->Insert(MakeRecord(2021, 9)));
    // 10 rows: 8 valid, one without a client, one that exists; one valid unticked.
    std::wstring text = CaseLines(1, 8, 2021) + L"20/2021\t\tE\tP\r\n9/2021\tLétező\tE\tP\r\n";
    ProgressEnd end;
    INT_PTR result = Drive([&](HWND wnd) {
        PasteTyped(wnd, text, 10);
        HWND grid = Control(wnd, IDC_IMP_GRID);
        ClickBox(grid, 7);
        ASSERT_TRUE(WaitUntil([&] { return !ListItemChecked(grid, 7); }));
        HWND progress = RunImport(wnd);
        ASSERT_TRUE(progress);
        FinishProgress(progress, L"Befejezés", end);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(end.first, CString(L"A 10 sorból 7 darab sort sikerült az adtbázisba beszúrni."));
    EXPECT_EQ(end.second, CString(L"Kattintson az Befejezés gombra a folytatáshoz!"));
    EXPECT_FALSE(IsStoreBusy());

    Rows rows = CaseRows();
    ASSERT_EQ(rows.size(), 8u) << "seven imported and the one there before";
    DBTIMESTAMP now;
    GetCurrentDbTimestamp(now);
    wchar_t today[16];
    swprintf(today, 16, L"%04d-%02d-%02d", now.year, now.month, now.day);
    for (int nr = 1; nr <= 7; ++nr) {
        const auto& row = rows[nr - 1];
        EXPECT_EQ(row[0], L"2021");
        EXPECT_EQ(row[1], std::to_wstring(nr));
        EXPECT_EQ(row[2], L"0") << "Allapot";
        EXPECT_EQ(row[3], L"Ügyfél " + std::to_wstring(nr));
        EXPECT_EQ(row[4], L"Ellenfél");
        EXPECT_EQ(row[5], L"Polgári");
        EXPECT_TRUE(row[6] == L"" || row[6] == L"<NULL>") << "CC " << CString(row[6].c_str());
        EXPECT_EQ(row[7].substr(0, 10), today);
    }
    EXPECT_TRUE(store->Find(MakeUgyiratKey(2021, 7)));
    EXPECT_FALSE(store->Find(MakeUgyiratKey(2021, 8))) << "unticked";
}

TEST_F(ImportWizardTest, TenValidRowsAndARefusedInsert)
{
    ProgressEnd end;
    INT_PTR result = Drive([&](HWND wnd) {
        PasteTyped(wnd, CaseLines(1, 10, 2022), 10);
        HWND progress = RunImport(wnd);
        ASSERT_TRUE(progress);
        FinishProgress(progress, L"OK", end);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(end.first, CString(L"Az importálás sikeresen befejeződött!"));
    EXPECT_EQ(end.second, CString(L"Kattintson az Befejezés gombra a folytatáshoz!"));
    EXPECT_EQ(CaseRows().size(), 10u);

    // Two pasted rows with one key: the second is refused by the store.
    CImportDlg dlg(store.get(), NULL);
    returned = false;
    result = Drive(
        [&](HWND wnd) {
            PasteTyped(wnd, L"1/2023\tElső\tE\tP\n1/2023\tMásodik\tE\tP\n", 2);
            HWND progress = RunImport(wnd);
            ASSERT_TRUE(progress);
            FinishProgress(progress, L"Befejezés", end);
        },
        &dlg);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(end.first, CString(L"A 2 sorból 1 darab sort sikerült az adtbázisba beszúrni."));
    EXPECT_EQ(dlg.GetRowStatus(0), kRowValid);
    EXPECT_EQ(dlg.GetRowStatus(1), kRowRefused);
    // A refused row's box answers with the status it holds.
    window_test::CMessageBoxCatcher catcher;
    EXPECT_FALSE(dlg.OnRowCheckClicked(1));
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].text, CString(L"Hiba! (#16)"));
    const CUgyiratRecord* r = store->Find(MakeUgyiratKey(2023, 1));
    ASSERT_TRUE(r);
    EXPECT_EQ(CString(r->UgyfelNeve), CString(L"Első"));
}

TEST_F(ImportWizardTest, AnAbortKeepsTheRowsInserted)
{
    table->holdAt = 3;
    ProgressEnd end;
    INT_PTR result = Drive([&](HWND wnd) {
        PasteTyped(wnd, CaseLines(1, 10, 2024), 10);
        HWND progress = RunImport(wnd);
        ASSERT_TRUE(progress);
        ASSERT_TRUE(table->WaitEntered());
        ClickId(progress, IDCANCEL);
        Answer(L"Valóban megszakítsam a letöltést?", IDYES);
        // The request stands (the dialog waits for the answer): let the row go.
        HANDLE event = NULL;
        WaitUntil([&] {
            event = OpenEventW(SYNCHRONIZE, FALSE, L"ProgressAborting");
            return event != NULL;
        });
        if (event)
            CloseHandle(event);
        table->Release();
        FinishProgress(progress, L"Kilép", end);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(end.first, CString(L"Az importálást megszakította!"));
    EXPECT_EQ(end.second, CString(L"Kattintson a Kilép gombra a befejezéshez!"));
    EXPECT_TRUE(table->m_busyWhileHeld);
    EXPECT_FALSE(IsStoreBusy());
    Rows rows = CaseRows();
    ASSERT_EQ(rows.size(), 3u) << "the rows before the abort and the one being inserted";
    EXPECT_EQ(rows[2][1], L"3");
}

// The worker's thread catches what its loop throws: the run ends as an
// aborted one with the rows inserted before, and the wizard goes on.
TEST_F(ImportWizardTest, AnInsertThatThrowsEndsTheImportAsFailed)
{
    table->throwAt = 3;
    ProgressEnd end;
    INT_PTR result = Drive([&](HWND wnd) {
        PasteTyped(wnd, CaseLines(1, 10, 2026), 10);
        HWND progress = RunImport(wnd);
        ASSERT_TRUE(progress);
        FinishProgress(progress, L"Kilép", end);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(end.first, CString(L"Az importálást megszakította!"));
    EXPECT_FALSE(IsStoreBusy());
    EXPECT_EQ(CaseRows().size(), 2u) << "the rows before the one that threw";
    const std::string log = ReadFileBytes(env.Folder() + CAppSettings::GetExeBaseName() + L".log");
    const std::wstring line = L"Import worker: out of memory";
    EXPECT_NE(std::wstring(reinterpret_cast<const wchar_t*>(log.data()), log.size() / 2).find(line),
              std::wstring::npos);
}

TEST_F(ImportWizardTest, AnInsertHeldPastTheAbortWaitIsJoined)
{
    table->holdAt = 2;
    bool returnedEarly = true, busyAfterClose = false;
    INT_PTR result = Drive([&](HWND wnd) {
        PasteTyped(wnd, CaseLines(1, 10, 2025), 10);
        HWND progress = RunImport(wnd);
        ASSERT_TRUE(progress);
        ASSERT_TRUE(table->WaitEntered());
        ClickId(progress, IDCANCEL);
        Answer(L"Valóban megszakítsam a letöltést?", IDYES);
        // The wait of 3000 ms ends unanswered; the dialog stays open.
        // A second press closes it.
        ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(progress) && IsWindowVisible(progress); }, 10000));
        HANDLE event = NULL;
        ASSERT_TRUE(WaitUntil([&] {
            event = OpenEventW(SYNCHRONIZE, FALSE, L"ProgressAborting");
            if (event)
                CloseHandle(event);
            return event == NULL;
        }, 10000)) << "the abort's wait ended";
        ClickId(progress, IDCANCEL);
        ASSERT_TRUE(WaitForWindowGone(progress, 10000));
        // The wizard waits for the worker, still held in its insert.
        returnedEarly = returned.load();
        busyAfterClose = IsStoreBusy();
        table->Release();
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(returnedEarly);
    EXPECT_TRUE(busyAfterClose);
    EXPECT_TRUE(table->m_busyWhileHeld);
    EXPECT_FALSE(IsStoreBusy());
    EXPECT_EQ(table->m_inserts.load(), 2) << "the worker stopped after the held row";
    EXPECT_EQ(CaseRows().size(), 2u);
}

// A click on a column header starts the column dialog's 100 ms timer; when
// the import follows at once, that timer must not fire inside the progress
// window: the dialog's OK would revalidate the rows under the worker and
// tick the row the user had unticked again.
TEST_F(ImportWizardTest, AHeaderClickRightBeforeTheImportOpensNoColumnDialog)
{
    table->holdAt = 1;
    ProgressEnd end;
    bool columnDialogOpened = false;
    INT_PTR result = Drive([&](HWND wnd) {
        PasteTyped(wnd, CaseLines(1, 3, 2026), 3);
        HWND grid = Control(wnd, IDC_IMP_GRID);
        ClickBox(grid, 1);
        ASSERT_TRUE(WaitUntil([&] { return !ListItemChecked(grid, 1); }));
        // Two clicks in a row, the second before the first one's timer.
        ClickHeader(grid, 3);
        HWND progress = RunImport(wnd);
        ASSERT_TRUE(progress);
        ASSERT_TRUE(table->WaitEntered());
        // The worker holds its first row: the timer's time has come and gone
        // many times over before this wait ends.
        if (HWND column = WaitForWindow(L"#32770", kColumnTitle, 2000)) {
            columnDialogOpened = true;
            ClickId(column, IDOK);
            EXPECT_TRUE(WaitForWindowGone(column));
        }
        table->Release();
        // Three rows imported would end with "OK".
        ASSERT_TRUE(WaitUntil([&] {
            CString button = Text(Control(progress, IDCANCEL));
            return button == L"Befejezés" || button == L"OK";
        }, 30000));
        FinishProgress(progress, Text(Control(progress, IDCANCEL)), end);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_FALSE(columnDialogOpened) << "the column dialog opened while the worker ran";
    EXPECT_EQ(end.first, CString(L"A 3 sorból 2 darab sort sikerült az adtbázisba beszúrni."));
    EXPECT_EQ(CaseRows().size(), 2u) << "the unticked row stays out";
    EXPECT_FALSE(store->Find(MakeUgyiratKey(2026, 2)));
}

} // namespace
