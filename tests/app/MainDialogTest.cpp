// The main dialog run modally as the program runs it, over the cases of the
// test SQL server, driven from a second thread: its texts, the refusals
// offline, new, modify and delete (also while the list is rebuilt under an
// open question or dialog), the connect switch, "FOLIONEX_LOCKUI", the task
// queue and the busy counter, Esc, and the exit with its question and backup.
#include <gtest/gtest.h>
#include <time.h>
#include <atomic>
#include <string>
#include <vector>
#include "MainDialogTestSupport.h"
#include "TestSqlServer.h"
#include "foundation/AppSettings.h"
#include "foundation/Progress.h"
#include "foundation/RegisteredMessages.h"
#include "foundation/XMessageBox.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/UgyiratStore.h"
#include "support/WindowDriver.h"

namespace {

using namespace testing_support;
using main_dialog_test::DateItem;
using oledb_standin::CTestSqlServer;

const wchar_t kWarning[] = L"Figyelmeztetés";

std::atomic<int> g_tasksRun(0);

class CCountingTask : public CTask
{
public:
    bool KeepAfterRun() override { return false; }
    int Execute() override
    {
        ++g_tasksRun;
        return 0;
    }
    void Release() override { delete this; }
};

int ItemCount(HWND main)
{
    return (int)SendMessageW(Control(main, 1005), LVM_GETITEMCOUNT, 0, 0);
}

int SelectedRow(HWND main)
{
    return (int)SendMessageW(Control(main, 1005), LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
}

void SelectRow(HWND main, int row)
{
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(Control(main, 1005), LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&item);
}

void PostCommand(HWND main, int id)
{
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)Control(main, id));
}

bool Enabled(HWND main, int id)
{
    return IsWindowEnabled(Control(main, id)) != FALSE;
}

// Posts a marker behind the messages posted to the dialog so far and waits
// until the dialog has handled it (it writes the marker into the status
// line): the messages posted before it have been handled too.
bool HandledSoFar(HWND main)
{
    static int markers = 0;
    CString text;
    text.Format(L"jelzés %d", ++markers);
    CProgressRecord* record = new CProgressRecord(CProgressRecord::KIND_POSITION, CProgressRecord::FLAG_FIRST_TEXT, 0);
    record->m_firstText = text;
    if (!PostMessageW(main, g_uMsgProgress, (WPARAM)record, 0)) {
        delete record;
        return false;
    }
    return WaitUntil([&] { return Text(Control(main, 1028)) == text; });
}

// The keys of the store, as "year/nr".
std::vector<std::wstring> Keys(const CUgyiratStore& store)
{
    std::vector<std::wstring> keys;
    for (const auto& item : store.m_records)
        keys.push_back(std::to_wstring(item.first >> 16) + L"/" + std::to_wstring(item.first & 0xFFFF));
    return keys;
}

// Waits for a system message box with this caption, checks its text and
// presses the button.
void Answer(LPCWSTR caption, LPCWSTR text, int button)
{
    HWND box = WaitForWindow(L"#32770", caption);
    ASSERT_TRUE(box) << CStringA(text).GetString();
    EXPECT_TRUE(ControlByText(box, text)) << CStringA(text).GetString();
    Click(Control(box, button));
    EXPECT_TRUE(WaitForWindowGone(box));
}

struct CountWindows
{
    LPCWSTR title;
    int count;
    static BOOL CALLBACK Proc(HWND hwnd, LPARAM lParam)
    {
        CountWindows* self = reinterpret_cast<CountWindows*>(lParam);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && Text(hwnd) == self->title)
            ++self->count;
        return TRUE;
    }
};

int VisibleWindowsTitled(LPCWSTR title)
{
    CountWindows c = {title, 0};
    EnumWindows(&CountWindows::Proc, (LPARAM)&c);
    return c.count;
}

class MainDialogTest : public main_dialog_test::MainDialogFixture
{
protected:
    void SetUp() override
    {
        MainDialogFixture::SetUp();
        OpenCentralRegister(server, {MakeRecord(2024, 1, L"Kiss Péter", L"Nagy Árpád"),
                                     MakeRecord(2024, 2, L"Kovács Anna", L"Szabó Béla"),
                                     MakeRecord(2024, 3, L"Tóth Ilona", L"Fekete Kft.")});
        g_tasksRun = 0;
    }

    void GoOffline()
    {
        ASSERT_TRUE(database->m_pStore->CreateBackup());
        database->m_pConnection->SetOnline(false);
        ASSERT_TRUE(database->m_pStore->LoadFromBackup());
    }

    // Runs the main dialog modally while the script drives it; the script
    // starts with the dialog's window.
    void Run(const std::function<void(HWND)>& script, DWORD graceMs = 5000)
    {
        result = RunMainDialog(script, graceMs);
    }

    size_t CentralRows()
    {
        return server.Query(L"Folionex", "SELECT Ev, Nr FROM tUgyirat").size();
    }

    // The keys of the central table, as "year/nr" in key order.
    std::vector<std::wstring> CentralKeys()
    {
        std::vector<std::wstring> keys;
        for (const auto& row : server.Query(L"Folionex", "SELECT Ev, Nr FROM tUgyirat ORDER BY Ev, Nr"))
            keys.push_back(row[0] + L"/" + row[1]);
        return keys;
    }

    // Selects the row and posts the command; while its window (this caption)
    // is open the list is rebuilt and shows two rows: Ctrl+0 (due today), or
    // another workstation deletes 2024/2 and a reload (Enter) takes it out
    // of the store. The window, or null.
    enum Meanwhile { kFilterDueToday, kLoseCase2 };
    HWND RunWhileTheListChanges(HWND main, int row, int command, LPCWSTR caption, Meanwhile meanwhile)
    {
        SelectRow(main, row);
        PostCommand(main, command);
        HWND wnd = WaitForWindow(L"#32770", caption);
        if (!wnd)
            return NULL;
        if (meanwhile == kFilterDueToday) {
            PostMessageW(main, WM_HOTKEY, 10, MAKELPARAM(MOD_CONTROL, '0'));
        } else {
            if (!server.Exec(L"Folionex", "DELETE FROM tUgyirat WHERE Ev = 2024 AND Nr = 2"))
                return NULL;
            PostCommand(main, 1008);
        }
        return WaitUntil([&] { return ItemCount(main) == 2; }) ? wnd : NULL;
    }

    // Two more cases due today around one without a deadline. Rows: 2024/6,
    // 2024/5, 2024/4, 2024/3, 2024/2, 2024/1; Ctrl+0 (due today) leaves
    // 2024/6 and 2024/4.
    void AddDueCases()
    {
        CUgyiratStore* store = database->m_pStore;
        ASSERT_TRUE(store->Insert(MakeRecord(2024, 4, L"Lejár ma", L"", L"", L"", DateItem(true, 0))));
        ASSERT_TRUE(store->Insert(MakeRecord(2024, 5, L"Nincs határidő")));
        ASSERT_TRUE(store->Insert(MakeRecord(2024, 6, L"Szintén ma", L"", L"", L"", DateItem(true, 0))));
    }

    int MetricsValue(LPCWSTR name)
    {
        return (int)AfxGetApp()->GetProfileInt(L"MainDlgTest\\Metrics", name, 0);
    }

    CTestSqlServer server;
    INT_PTR result = 0;
};

TEST_F(MainDialogTest, OpensWithTheCentralCasesAndExitWritesTheBackup)
{
    env.Settings().WriteProfileString(L"UserName", L"Dr. Minta Anna");
    env.Settings().WriteProfileString(L"DataSetName", L"Iroda");
    DeleteFileW(env.BackupPath());
    Run([&](HWND main) {
        EXPECT_EQ(Text(main), CString(L"Folionex - Dr. Minta Anna - Iroda"));
        EXPECT_EQ(ItemCount(main), 3);
        EXPECT_EQ(Text(Control(main, 1028)), CString(L"3 / 3"));
        EXPECT_EQ(Text(Control(main, 1032)), CString(L"Adatabázis-kapcsolat: helyi szerverhez csatlakoztatva (online)"));
        EXPECT_EQ(Text(Control(main, 1030)), CString(L"Leválaszt"));
        EXPECT_EQ((int)SendMessageW(Control(main, 1051), CB_GETCOUNT, 0, 0), 11);
        EXPECT_EQ((int)SendMessageW(Control(main, 1051), CB_GETCURSEL, 0, 0), 0);
        for (int id : {1001, 1002, 1003, 1004})
            EXPECT_TRUE(Enabled(main, id)) << id;
        EXPECT_FALSE(IsWindowVisible(Control(main, 1008)));
        PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitForWindowGone(main));
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(FileExists(env.BackupPath()));
    EXPECT_TRUE(LogHas(L"Create backup at exit - start"));
    EXPECT_TRUE(LogHas(L"Create backup at exit - stop"));
    EXPECT_NE(MetricsValue(L"MainWindowRight"), 0);
    EXPECT_GT(MetricsValue(L"Column0"), 0);
}

TEST_F(MainDialogTest, TitleNamesAServerOtherThanTheBuiltInOne)
{
    env.Settings().WriteProfileString(L"UserName", L"Kiss");
    env.Settings().WriteProfileString(L"DataSetName", L"Iroda");
    env.Settings().WriteProfileString(L"Server", L"http://127.0.0.1:9/");
    CString url = env.Settings().GetServerUrl();
    Run([&](HWND main) {
        EXPECT_EQ(Text(main), L"Folionex - Kiss - Iroda - " + url);
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
}

TEST_F(MainDialogTest, OfflineTheCommandsRefuseAndExitWritesNoBackup)
{
    GoOffline();
    Run([&](HWND main) {
        EXPECT_EQ(Text(Control(main, 1032)), CString(L"Adatabázis-kapcsolat: leválasztott (offline)"));
        EXPECT_EQ(Text(Control(main, 1030)), CString(L"Kapcsol"));
        for (int id : {1001, 1002, 1003})
            EXPECT_FALSE(Enabled(main, id)) << id;
        struct Case { int id; const wchar_t* text; } cases[] = {
            {1001, L"Leválasztott módban nem lehet adatot rögzíteni!"},
            {1002, L"Offline módban nem lehet adatot módosítani!"},
            {1003, L"Offline módban nem lehet adatot törölni!"},
        };
        for (const Case& c : cases) {
            PostCommand(main, c.id);
            Answer(kWarning, c.text, IDOK);
        }
        // After a background backup the full list comes back, the editing
        // commands stay off while offline.
        PostMessageW(main, g_uMsgLockUi, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return !Enabled(main, 1004); }));
        PostMessageW(main, g_uMsgLockUi, 1, 0);
        EXPECT_TRUE(WaitUntil([&] { return Enabled(main, 1004); }));
        EXPECT_FALSE(Enabled(main, 1001));
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
    EXPECT_FALSE(LogHas(L"Create backup at exit - start"));
}

TEST_F(MainDialogTest, ConnectSwitchesOnlineAndBack)
{
    GoOffline();
    Run([&](HWND main) {
        PostCommand(main, 1030);
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(main, 1030)) == L"Leválaszt"; }));
        EXPECT_TRUE(Enabled(main, 1001));
        PostCommand(main, 1030);
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(main, 1030)) == L"Kapcsol"; }));
        EXPECT_EQ(Text(Control(main, 1028)), CString(L"3 / 3"));
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
    EXPECT_TRUE(database->m_pStore->m_bOffline);
    EXPECT_FALSE(database->m_pConnection->Online);
    EXPECT_TRUE(LogHas(L"Change to offline mode start"));
    EXPECT_TRUE(LogHas(L"Change to online mode stop"));
}

TEST_F(MainDialogTest, ConnectWithAWrongStoredConnectionRunsTheWizard)
{
    GoOffline();
    CConnectionManagerSqlServer* connection = database->m_pConnection;
    connection->SetConnectionString(L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=Regi;"
                                    L"Trusted_Connection=yes;");
    connection->SqlDBName = L"Regi";
    Run([&](HWND main) {
        PostCommand(main, 1030);
        Answer(L"Adatbázis kapcsolat",
               L"Nem sikerült kapcsolódni!\n\nHa Ön most olyan környezetben dolgozik, hogy a központi adatbázist "
               L"látnia\nkellene, akkor most lehetősége van az adatbázis kapcsolat beállítására.\n\nKívánja az "
               L"adatbázis kapcsolatot most beállítani?",
               IDYES);
        HWND wizard = WaitForWindow(L"#32770", L"Adatbázis beállítása");
        ASSERT_TRUE(wizard);
        EXPECT_EQ(GetParent(wizard), main) << "owned by the main window";
        EXPECT_EQ(Text(Control(wizard, 1089)), CString(L"Nincs adatázis"));
        Click(Control(wizard, 1056));
        HWND options = WaitForWindow(L"#32770", L"Beállítások");
        ASSERT_TRUE(options);
        SetWindowTextW(Control(options, 1055), L"Folionex");
        Click(Control(options, IDOK));
        ASSERT_TRUE(WaitForWindowGone(options));
        ASSERT_TRUE(WaitUntil([&] { return Text(Control(wizard, IDCANCEL)) == L"Tovább"; }));
        Click(Control(wizard, IDCANCEL));
        ASSERT_TRUE(WaitForWindowGone(wizard));
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(main, 1030)) == L"Leválaszt"; }));
        EXPECT_EQ(Text(Control(main, 1028)), CString(L"3 / 3"));
        EXPECT_TRUE(Enabled(main, 1001));
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
    EXPECT_TRUE(connection->Online);
    EXPECT_FALSE(database->m_pStore->m_bOffline);
    EXPECT_EQ(connection->GetConnectionString(),
              CString(L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=Folionex;Trusted_Connection=yes;"));
    EXPECT_TRUE(LogHas(L"Show popup CSqlOptionsDlg"));
    EXPECT_TRUE(LogHas(L"Change to offline mode stop"));
}

TEST_F(MainDialogTest, SwitchingOfflineAfterAFailedBackupTakesTheStoreOfflineToo)
{
    // The new backup file cannot be made where a folder stands in its way.
    ASSERT_TRUE(CreateDirectoryW(env.BackupPath() + L".new", NULL));
    Run([&](HWND main) {
        PostCommand(main, 1030);
        HWND box = WaitForWindow(L"#32770", kWarning);
        ASSERT_TRUE(box);
        EXPECT_TRUE(ControlByText(box, L"Nem sikerült a helyi mentést elkészíteni!\n\n"
                                       L"A program leválasztott módban, a most betöltött adatokkal dolgozik tovább."));
        Click(Control(box, IDOK));
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(main, 1030)) == L"Kapcsol"; }));
        EXPECT_EQ(Text(Control(main, 1028)), CString(L"3 / 3"));
        PostCommand(main, 1001);
        Answer(kWarning, L"Leválasztott módban nem lehet adatot rögzíteni!", IDOK);
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
    RemoveDirectoryW(env.BackupPath() + L".new");
    EXPECT_TRUE(database->m_pStore->m_bOffline);
    EXPECT_FALSE(database->m_pConnection->Online);
    EXPECT_EQ(database->m_pStore->m_records.size(), 3u);
}

TEST_F(MainDialogTest, DeleteAsksAndRemovesTheRowFromStoreAndCentralTable)
{
    Run([&](HWND main) {
        // Without a selection Modify and Delete refuse.
        PostCommand(main, 1002);
        Answer(kWarning, L"Nincs semmi kiválasztva!", IDOK);
        PostCommand(main, 1003);
        Answer(kWarning, L"Nincs semmi kiválasztva!", IDOK);

        // Rows: 2024/3, 2024/2, 2024/1. No keeps the case.
        SelectRow(main, 1);
        PostCommand(main, 1003);
        Answer(kWarning, L"Valóban töröljem a kijelölt elemet?", IDNO);
        EXPECT_EQ(ItemCount(main), 3);

        // A row in the middle: no selection afterwards.
        SelectRow(main, 1);
        PostCommand(main, 1003);
        Answer(kWarning, L"Valóban töröljem a kijelölt elemet?", IDYES);
        EXPECT_TRUE(WaitUntil([&] { return ItemCount(main) == 2; }));
        EXPECT_EQ(SelectedRow(main), -1);
        EXPECT_EQ(Text(Control(main, 1028)), CString(L"2 / 2"));

        // The last row: the new last row is selected.
        SelectRow(main, 1);
        PostCommand(main, 1003);
        Answer(kWarning, L"Valóban töröljem a kijelölt elemet?", IDYES);
        EXPECT_TRUE(WaitUntil([&] { return ItemCount(main) == 1; }));
        EXPECT_EQ(SelectedRow(main), 0);
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
    ASSERT_EQ(database->m_pStore->m_records.size(), 1u);
    EXPECT_TRUE(database->m_pStore->Find(MakeUgyiratKey(2024, 3)));
    std::vector<std::vector<std::wstring>> rows = server.Query(L"Folionex", "SELECT Ev, Nr FROM tUgyirat");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], L"2024");
    EXPECT_EQ(rows[0][1], L"3");
}

TEST_F(MainDialogTest, AQueuedTaskRunsOnlyWhenNoCommandIsBusy)
{
    Run([&](HWND main) {
        // Idle: the task runs at once.
        env.Settings().QueueTask(new CCountingTask);
        PostMessageW(main, g_uMsgTask, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return g_tasksRun == 1; }));

        // The delete question holds the busy guard.
        SelectRow(main, 0);
        PostCommand(main, 1003);
        HWND box = WaitForWindow(L"#32770", kWarning);
        ASSERT_TRUE(box);
        env.Settings().QueueTask(new CCountingTask);
        PostMessageW(main, g_uMsgTask, 0, 0);
        ASSERT_TRUE(HandledSoFar(main));
        EXPECT_EQ(g_tasksRun, 1);
        Click(Control(box, IDNO));
        // The guard's end posts "FOLIONEX_TASK" itself.
        EXPECT_TRUE(WaitUntil([&] { return g_tasksRun == 2; }));
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
}

// Timer 100, 3000 ms after the window opens: the backup reminder while the
// online backup was never set up, nothing once a mode was chosen. The
// handler logs its next step (the worker) only after the reminder.
TEST_F(MainDialogTest, TimerRemindsOfTheBackupOnlyWhileItWasNeverSetUp)
{
    const wchar_t kWorkerLine[] = L"Background worker: not part of this build";
    const wchar_t kCaption[] = L"On-line mentés beállítása";
    struct Case { bool written; bool reminds; } cases[] = {{false, true}, {true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written ? "frequency 0" : "never written");
        DeleteFileW(logPath);
        CWinApp* app = AfxGetApp();
        if (c.written)
            env.Settings().WriteProfileInt(L"OMBackupFrequency", 0);
        else
            app->WriteProfileString(L"MainDlgTest", L"OMBackupFrequency", NULL);
        bool reminded = false;
        BoxContent box;
        Run([&](HWND main) {
            if (c.reminds) {
                HWND wnd = WaitForWindow(L"#32770", kCaption, 15000);
                ASSERT_TRUE(wnd);
                reminded = true;
                box = ReadBox(wnd);
                Click(Control(wnd, IDNO)); // "Máskor"
                EXPECT_TRUE(WaitForWindowGone(wnd));
            }
            EXPECT_TRUE(WaitUntil([&] { return LogHas(kWorkerLine); }, 15000));
            reminded = reminded || FindTopWindow(L"#32770", kCaption) != NULL;
            PostMessageW(main, WM_CLOSE, 0, 0);
        }, 10000);
        EXPECT_EQ(reminded, c.reminds);
        if (c.reminds) {
            EXPECT_EQ(box.text, CString(L"Az on-line mentés paraméterei még nincsenek beállítva.\n\n"
                                    L"Kérjük, állítsa be ezeket, mert enélkül az adatiról nem készül "
                                    L"biztonsági másolat!"));
            EXPECT_EQ(box.buttons[IDYES], CString(L"Tovább a beállításokhoz"));
            EXPECT_EQ(box.buttons[IDNO], CString(L"Máskor"));
        }
        CString password = app->GetProfileString(L"MainDlgTest", L"OMPassword", L"-");
        EXPECT_EQ(password, CString(L"-")) << "the reminder stores nothing";
    }
}

TEST_F(MainDialogTest, ATaskQueuedWhileTheReminderIsOpenRunsAfterIt)
{
    AfxGetApp()->WriteProfileString(L"MainDlgTest", L"OMBackupFrequency", NULL);
    Run([&](HWND main) {
        HWND box = WaitForWindow(L"#32770", L"On-line mentés beállítása", 15000);
        ASSERT_TRUE(box);
        env.Settings().QueueTask(new CCountingTask);
        PostMessageW(main, g_uMsgTask, 0, 0);
        // A status text posted after the task message shows once the main
        // window has handled both.
        CProgressRecord* marker = new CProgressRecord(CProgressRecord::KIND_POSITION,
                                                      CProgressRecord::FLAG_FIRST_TEXT, 0);
        marker->m_firstText = L"jelző";
        if (!PostMessageW(main, g_uMsgProgress, (WPARAM)marker, 0))
            delete marker;
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(main, 1028)) == L"jelző"; }));
        EXPECT_EQ(g_tasksRun, 0) << "the reminder holds the busy guard";
        Click(Control(box, IDNO));
        EXPECT_TRUE(WaitUntil([&] { return g_tasksRun == 1; }));
        PostMessageW(main, WM_CLOSE, 0, 0);
    }, 10000);
}

TEST_F(MainDialogTest, ExitWhileACommandIsBusyIsRefused)
{
    Run([&](HWND main) {
        SelectRow(main, 0);
        PostCommand(main, 1003);
        HWND question = WaitForWindow(L"#32770", kWarning);
        ASSERT_TRUE(question);
        // The question has no other owner than the main window: a close
        // request still reaches the dialog.
        PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
        Answer(L"Kilépés",
               L"Egy művelet még folyamatban van, ezért a program most nem lép ki.\n\n"
               L"Kérjük, fejezze be a megnyitott műveletet, majd lépjen ki újra!",
               IDOK);
        EXPECT_TRUE(IsWindow(main));
        Click(Control(question, IDNO));
        EXPECT_TRUE(WaitForWindowGone(question));
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
    EXPECT_TRUE(LogHas(L"Exit refused: a command is still running (busy 1)"));
    EXPECT_EQ(database->m_pStore->m_records.size(), 3u);
}

TEST_F(MainDialogTest, LockUiDisablesTheCommandsAndItsEndRestoresThem)
{
    Run([&](HWND main) {
        PostMessageW(main, g_uMsgLockUi, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return !Enabled(main, 1004); }));
        for (int id : {1001, 1002, 1003, 1004})
            EXPECT_FALSE(Enabled(main, id)) << id;
        // A search keystroke meanwhile does not enable them again.
        SendMessageW(Control(main, 1006), WM_SETTEXT, 0, (LPARAM)L"kiss");
        EXPECT_EQ(Text(Control(main, 1028)), CString(L"1 / 3"));
        EXPECT_FALSE(Enabled(main, 1001));
        SendMessageW(Control(main, 1006), WM_SETTEXT, 0, (LPARAM)L"");

        PostMessageW(main, g_uMsgLockUi, 1, 0);
        EXPECT_TRUE(WaitUntil([&] { return Enabled(main, 1004); }));
        for (int id : {1001, 1002, 1003})
            EXPECT_TRUE(Enabled(main, id)) << id;
        // Timer 101 rewrites the status line 3000 ms later.
        SendMessageW(Control(main, 1028), WM_SETTEXT, 0, (LPARAM)L"mentés kész");
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(main, 1028)) == L"3 / 3"; }, 6000));
        PostMessageW(main, WM_CLOSE, 0, 0);
    }, 10000);
}

TEST_F(MainDialogTest, EscMinimisesAndTheNextCloseExits)
{
    env.Settings().WriteProfileInt(L"ShowConfirmExit", 0);
    Run([&](HWND main) {
        PressKey(Control(main, 1006), VK_ESCAPE);
        EXPECT_TRUE(WaitUntil([&] { return IsIconic(main) != FALSE; }));
        EXPECT_TRUE(IsWindow(main));
        CloseBox(main);
        EXPECT_TRUE(WaitForWindowGone(main));
    });
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(MainDialogTest, ExitAsksAboveOneHundredAndASecondRequestWaits)
{
    env.Settings().WriteProfileInt(L"ShowConfirmExit", 101);
    Run([&](HWND main) {
        PostMessageW(main, WM_CLOSE, 0, 0);
        HWND box = WaitForWindow(L"#32770", L"Kilépés");
        ASSERT_TRUE(box);
        EXPECT_TRUE(ControlByText(box, L"Valóban kilépjek?\n\n") || ControlByText(box, L"Valóban kilépjek?"));
        PostMessageW(main, WM_CLOSE, 0, 0);
        ASSERT_TRUE(HandledSoFar(main));
        EXPECT_EQ(VisibleWindowsTitled(L"Kilépés"), 1);
        // No: the window is minimised and stays.
        Click(Control(box, IDNO));
        EXPECT_TRUE(WaitForWindowGone(box));
        EXPECT_TRUE(WaitUntil([&] { return IsIconic(main) != FALSE; }));
        // The question comes again: the second request above left no trace.
        PostMessageW(main, WM_CLOSE, 0, 0);
        box = WaitForWindow(L"#32770", L"Kilépés");
        ASSERT_TRUE(box);
        EXPECT_TRUE(Tick(Control(box, XMB_IDCHECKBOX)));
        Click(Control(box, IDYES));
        EXPECT_TRUE(WaitForWindowGone(main));
    });
    EXPECT_EQ(env.Settings().GetProfileInt(L"ShowConfirmExit", 1), 0);
}

const wchar_t kEditCaption[] = L"Iktatási adatok szerkesztése";
const int kEditNr = 1007;
const int kEditEv = 1010;
const int kEditClient = 1013;

TEST_F(MainDialogTest, NewCaseProposesTheNextNumberAndAFailedInsertKeepsTheEntry)
{
    __time64_t now = _time64(NULL);
    struct tm lt;
    _localtime64_s(&lt, &now);
    int year = lt.tm_year + 1900;
    CTestSqlServer::Failure failure;
    failure.statement = L"INSERT INTO tUgyirat";
    failure.times = 1;
    server.FailStatement(failure);
    Run([&](HWND main) {
        PostCommand(main, 1001);
        HWND edit = WaitForWindow(L"#32770", kEditCaption);
        ASSERT_TRUE(edit);
        EXPECT_EQ(Text(Control(edit, kEditEv)), CString(std::to_wstring(year).c_str()));
        EXPECT_EQ(Text(Control(edit, kEditNr)), CString(L"1"));
        SendMessageW(Control(edit, kEditClient), WM_SETTEXT, 0, (LPARAM)L"Új Ügyfél");
        Click(Control(edit, IDOK));
        Answer(kWarning,
               L"Az új ügyet nem sikerült elmenteni!\n\n"
               L"A beírt adatok megmaradtak: ellenőrizze őket (például az ügyszámot), majd próbálja újra.",
               IDOK);
        // The dialog comes back with the entry.
        edit = WaitForWindow(L"#32770", kEditCaption);
        ASSERT_TRUE(edit);
        EXPECT_EQ(Text(Control(edit, kEditClient)), CString(L"Új Ügyfél"));
        Click(Control(edit, IDOK));
        EXPECT_TRUE(WaitUntil([&] { return ItemCount(main) == 4; }));
        EXPECT_EQ(Text(Control(main, 1028)), CString(L"4 / 4"));
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
    CUgyiratRecord* added = database->m_pStore->Find(MakeUgyiratKey(year, 1));
    ASSERT_TRUE(added);
    EXPECT_STREQ(added->UgyfelNeve, L"Új Ügyfél");
    EXPECT_STREQ(added->CC, L"");
    EXPECT_EQ(CentralRows(), 4u);
}

TEST_F(MainDialogTest, ModifyKeepsTheEntryDateAndSelectsTheRowAgain)
{
    DBTIMESTAMP entered = database->m_pStore->Find(MakeUgyiratKey(2024, 2))->Datum;
    Run([&](HWND main) {
        SelectRow(main, 1);
        PostCommand(main, 1002);
        HWND edit = WaitForWindow(L"#32770", kEditCaption);
        ASSERT_TRUE(edit);
        EXPECT_EQ(Text(Control(edit, kEditNr)), CString(L"2"));
        SendMessageW(Control(edit, kEditClient), WM_SETTEXT, 0, (LPARAM)L"Kovács Anna Mária");
        Click(Control(edit, IDOK));
        EXPECT_TRUE(WaitForWindowGone(edit));
        EXPECT_TRUE(WaitUntil([&] { return SelectedRow(main) == 1; }));
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
    CUgyiratRecord* changed = database->m_pStore->Find(MakeUgyiratKey(2024, 2));
    ASSERT_TRUE(changed);
    EXPECT_STREQ(changed->UgyfelNeve, L"Kovács Anna Mária");
    EXPECT_EQ(memcmp(&changed->Datum, &entered, sizeof(entered)), 0);
    std::vector<std::vector<std::wstring>> rows =
        server.Query(L"Folionex", "SELECT UgyfelNeve FROM tUgyirat WHERE Ev = 2024 AND Nr = 2");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], L"Kovács Anna Mária");
}

TEST_F(MainDialogTest, DeleteRemovesTheConfirmedCaseWhenAHotKeyFiltersTheListMeanwhile)
{
    AddDueCases();
    Run([&](HWND main) {
        // 2024/5; after Ctrl+0 row 1 shows 2024/4.
        HWND box = RunWhileTheListChanges(main, 1, 1003, kWarning, kFilterDueToday);
        ASSERT_TRUE(box);
        Click(Control(box, IDYES));
        EXPECT_TRUE(WaitForWindowGone(box));
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(main, 1028)) == L"2 / 5"; }));
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
    const std::vector<std::wstring> kept = {L"2024/1", L"2024/2", L"2024/3", L"2024/4", L"2024/6"};
    EXPECT_EQ(Keys(*database->m_pStore), kept);
    EXPECT_EQ(CentralKeys(), kept);
}

TEST_F(MainDialogTest, DeleteOfACaseThatWentMeanwhileDeletesNothing)
{
    Run([&](HWND main) {
        HWND box = RunWhileTheListChanges(main, 1, 1003, kWarning, kLoseCase2);
        ASSERT_TRUE(box);
        Click(Control(box, IDYES));
        EXPECT_TRUE(WaitForWindowGone(box));
        Answer(kWarning,
               L"A kiválasztott ügyirat már nem létezik (időközben törölték), ezért nem töröltem semmit. "
               L"A lista frissül.",
               IDOK);
        EXPECT_EQ(Text(Control(main, 1028)), CString(L"2 / 2"));
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
    const std::vector<std::wstring> kept = {L"2024/1", L"2024/3"};
    EXPECT_EQ(Keys(*database->m_pStore), kept);
    EXPECT_EQ(CentralKeys(), kept);
    EXPECT_TRUE(LogHas(L"Delete: case 2/2024 is no longer in the store; nothing deleted"));
}

TEST_F(MainDialogTest, ModifySelectsTheChangedCaseByItsKeyAfterTheListWasFiltered)
{
    AddDueCases();
    Run([&](HWND main) {
        // 2024/4; after Ctrl+0 it stands in row 1.
        HWND edit = RunWhileTheListChanges(main, 2, 1002, kEditCaption, kFilterDueToday);
        ASSERT_TRUE(edit);
        SendMessageW(Control(edit, kEditClient), WM_SETTEXT, 0, (LPARAM)L"Lejár ma, módosítva");
        Click(Control(edit, IDOK));
        EXPECT_TRUE(WaitForWindowGone(edit));
        EXPECT_TRUE(WaitUntil([&] { return SelectedRow(main) == 1; }));
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
    EXPECT_STREQ(database->m_pStore->Find(MakeUgyiratKey(2024, 4))->UgyfelNeve, L"Lejár ma, módosítva");
    EXPECT_STREQ(database->m_pStore->Find(MakeUgyiratKey(2024, 6))->UgyfelNeve, L"Szintén ma");
}

TEST_F(MainDialogTest, ModifyOfACaseDeletedWhileTheDialogWasOpenSaysSoAndWritesNothing)
{
    Run([&](HWND main) {
        HWND edit = RunWhileTheListChanges(main, 1, 1002, kEditCaption, kLoseCase2);
        ASSERT_TRUE(edit);
        SendMessageW(Control(edit, kEditClient), WM_SETTEXT, 0, (LPARAM)L"Visszahozott");
        Click(Control(edit, IDOK));
        Answer(kWarning, L"A kiválasztott ügyirat már nem létezik (időközben törölték). A lista frissül.", IDOK);
        EXPECT_TRUE(WaitForWindowGone(edit));
        EXPECT_EQ(Text(Control(main, 1028)), CString(L"2 / 2"));
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
    const std::vector<std::wstring> kept = {L"2024/1", L"2024/3"};
    EXPECT_EQ(Keys(*database->m_pStore), kept);
    EXPECT_EQ(CentralKeys(), kept);
}

TEST_F(MainDialogTest, AModifiedCaseTheStoreRefusesIsToldAndTheDialogComesBack)
{
    CTestSqlServer::Failure failure;
    failure.statement = L"UPDATE tUgyirat SET Ev";
    failure.times = 1;
    server.FailStatement(failure);
    Run([&](HWND main) {
        SelectRow(main, 1);  // 2024/2
        PostCommand(main, 1002);
        HWND edit = WaitForWindow(L"#32770", kEditCaption);
        ASSERT_TRUE(edit);
        SendMessageW(Control(edit, kEditClient), WM_SETTEXT, 0, (LPARAM)L"Más név");
        Click(Control(edit, IDOK));
        Answer(kWarning,
               L"Az ügy módosítását nem sikerült elmenteni!\n\n"
               L"A beírt adatok megmaradtak: ellenőrizze őket (például az ügyszámot), majd próbálja újra.",
               IDOK);
        edit = WaitForWindow(L"#32770", kEditCaption);
        ASSERT_TRUE(edit);
        EXPECT_EQ(Text(Control(edit, kEditClient)), CString(L"Más név"));
        EXPECT_STREQ(database->m_pStore->Find(MakeUgyiratKey(2024, 2))->UgyfelNeve, L"Kovács Anna");
        Click(Control(edit, IDOK));
        EXPECT_TRUE(WaitForWindowGone(edit));
        EXPECT_TRUE(WaitUntil([&] { return SelectedRow(main) == 1; }));
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
    EXPECT_TRUE(LogHas(L"Update of case 2/2024 failed; the entry stays in the edit dialog"));
    EXPECT_STREQ(database->m_pStore->Find(MakeUgyiratKey(2024, 2))->UgyfelNeve, L"Más név");
    std::vector<std::vector<std::wstring>> rows =
        server.Query(L"Folionex", "SELECT UgyfelNeve FROM tUgyirat WHERE Ev = 2024 AND Nr = 2");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], L"Más név");
}

TEST_F(MainDialogTest, AnExitQuestionEndedWithoutAnAnswerChangesNoValue)
{
    env.Settings().WriteProfileInt(L"ShowConfirmExit", 101);
    DWORD uiThread = GetCurrentThreadId();
    Run([&](HWND main) {
        PostMessageW(main, WM_CLOSE, 0, 0);
        HWND box = WaitForWindow(L"#32770", L"Kilépés");
        ASSERT_TRUE(box);
        EXPECT_TRUE(Tick(Control(box, XMB_IDCHECKBOX)));
        // The program is told to quit while the question is open: the box
        // ends with -1, which is no answer.
        PostThreadMessageW(uiThread, WM_QUIT, 0, 0);
        EXPECT_TRUE(WaitForWindowGone(main));
    });
    MSG msg;
    PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE);
    EXPECT_EQ(env.Settings().GetProfileInt(L"ShowConfirmExit", 1), 101);
}

} // namespace

namespace {

// A picture for the documentation: FOLIONEX_SCREENSHOTS names a folder.
TEST_F(MainDialogTest, Screenshot)
{
    wchar_t folder[MAX_PATH] = {0};
    if (!GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", folder, MAX_PATH))
        GTEST_SKIP() << "FOLIONEX_SCREENSHOTS is not set";
    CString dir(folder);
    using main_dialog_test::DateItem;
    CUgyiratStore* store = database->m_pStore;
    struct Case { int ev, nr; LPCWSTR client, other, kind, remark; CString deadlines; int state; } cases[] = {
        {2025, 1, L"Kovács és Társa Kft.", L"Nagy Árpád", L"Gazdasági", L"szerződésbontás",
         DateItem(true, 0, L"tárgyalás") + L"|" + DateItem(true, 6, L"beadvány"), 1},
        {2025, 2, L"Szabó Éva", L"Kovács Béla", L"Családjogi", L"",
         DateItem(true, 1, L"ügyfél") + L"|" + DateItem(false, 3, L"levél"), 1},
        {2025, 3, L"Horváth Ödön", L"Fekete Kft.", L"Munkaügyi", L"", DateItem(true, 12, L"fellebbezés"), 1},
        {2025, 4, L"Fehér Ilona", L"Kovácsné Tóth Anna", L"Polgári", L"hagyaték", CString(), 0},
    };
    for (const Case& c : cases) {
        CUgyiratRecord r = MakeRecord(c.ev, c.nr, c.client, c.other, c.kind, c.remark, c.deadlines);
        r.Allapot = c.state;
        ASSERT_TRUE(store->Insert(r));
    }
    env.Settings().WriteProfileString(L"UserName", L"Dr. Minta Anna");
    env.Settings().WriteProfileString(L"DataSetName", L"Budapesti iroda");
    CWinApp* app = AfxGetApp();
    app->WriteProfileInt(L"MainDlgTest\\Metrics", L"MainWindowLeft", 0);
    app->WriteProfileInt(L"MainDlgTest\\Metrics", L"MainWindowTop", 0);
    app->WriteProfileInt(L"MainDlgTest\\Metrics", L"MainWindowRight", 1000);
    app->WriteProfileInt(L"MainDlgTest\\Metrics", L"MainWindowBottom", 620);
    Run([&](HWND main) {
        SendMessageW(Control(main, 1006), WM_SETTEXT, 0, (LPARAM)L"kov");
        SelectRow(main, 2);
        Sleep(800);
        EXPECT_TRUE(SaveWindowBitmap(main, dir + L"\\main-dialog.bmp"));
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
}

} // namespace
