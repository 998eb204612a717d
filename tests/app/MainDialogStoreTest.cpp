// The main dialog while a worker writes the case store or the backup file,
// over the test SQL server and the web-service stand-in: the import and the
// restore into the central database started from the options dialog and
// held in their first progress report, while every road of the window into
// the store is taken as a user takes it (posted clicks, hot keys, a double
// click); the scheduled synchronisation held while the user disconnects or
// exits.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "../exchange/ImportWizardDriving.h"
#include "CaseFolderTestSupport.h"
#include "TestSqlServer.h"
#include "foundation/AppSettings.h"
#include "foundation/Progress.h"
#include "foundation/RegisteredMessages.h"
#include "online/BackgroundProcess.h"
#include "online/OnlineBackup.h"
#include "resources/resource.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/CtUgyirat_Sqlite.h"
#include "storage/StoreBusy.h"
#include "storage/UgyiratStore.h"
#include "support/FailingAllocator.h"
#include "support/TestSupport.h"
#include "support/WebServiceControl.h"
#include "support/WindowDriver.h"

namespace {

using namespace testing_support;
using namespace case_folder_test;
using import_wizard_driving::TypeColumn;

const wchar_t kImportCaption[] = L"Adatok importálása";
const wchar_t kLoaderCaption[] = L"Adatok betöltése";
const wchar_t kListLater[] = L"Az adatok írása folyamatban van, a lista a végén frissül.";
const int kStatus = 1028, kSearch = 1006, kFilter = 1051;
const DWORD kTransferMs = 40000;

// ---------------------------------------------------------------------------
// A worker held in its first progress report

// While it lives, the first position record that a thread other than the
// window's posts to the progress window of the given title waits until
// Release: the worker has written its first case and stands still with the
// store-busy flag set.
class CHeldWorker
{
public:
    explicit CHeldWorker(LPCWSTR progressTitle)
        : m_hook("user32.dll", "PostMessageW", reinterpret_cast<void*>(&HeldPost))
    {
        s_title = progressTitle;
        s_original = reinterpret_cast<PostProc>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "PostMessageW"));
        s_entered = CreateEventW(NULL, TRUE, FALSE, NULL);
        s_release = CreateEventW(NULL, TRUE, FALSE, NULL);
        s_taken = 0;
    }
    ~CHeldWorker()
    {
        Release();
        // The hook goes with this object; the held thread no longer needs it.
        s_title = NULL;
    }
    bool Hooked() const { return m_hook.Hooked(); }
    bool WaitHeld(DWORD timeoutMs = kTransferMs) { return WaitForSingleObject(s_entered, timeoutMs) == WAIT_OBJECT_0; }
    void Release() { SetEvent(s_release); }

private:
    typedef BOOL(WINAPI* PostProc)(HWND, UINT, WPARAM, LPARAM);

    static BOOL WINAPI HeldPost(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == g_uMsgProgress && wParam && s_title && IsProgressWindow(hwnd) &&
            GetWindowThreadProcessId(hwnd, NULL) != GetCurrentThreadId() &&
            reinterpret_cast<CProgressRecord*>(wParam)->m_kind == CProgressRecord::KIND_POSITION &&
            InterlockedExchange(&s_taken, 1) == 0) {
            SetEvent(s_entered);
            WaitForSingleObject(s_release, 120000);
        }
        return s_original(hwnd, message, wParam, lParam);
    }

    static bool IsProgressWindow(HWND hwnd)
    {
        WCHAR title[128] = {0};
        InternalGetWindowText(hwnd, title, 128);
        return GetDlgItem(hwnd, IDC_PROGRESS_BAR) && wcscmp(title, s_title) == 0;
    }

    CImportHook m_hook;
    static LPCWSTR volatile s_title;
    static PostProc s_original;
    static HANDLE s_entered;
    static HANDLE s_release;
    static LONG volatile s_taken;
};

LPCWSTR volatile CHeldWorker::s_title = NULL;
CHeldWorker::PostProc CHeldWorker::s_original = NULL;
HANDLE CHeldWorker::s_entered = NULL;
HANDLE CHeldWorker::s_release = NULL;
LONG volatile CHeldWorker::s_taken = 0;

// While it lives, the first rename onto the file (its whole path) that a
// thread other than the constructing one (the UI thread) makes waits until
// Release: a transfer's download or the restore into the backup file
// stands still before its result takes the file's place.
class CHeldRename
{
public:
    explicit CHeldRename(const CString& destination)
        : m_hook("kernel32.dll", "MoveFileExW", reinterpret_cast<void*>(&HeldMove))
    {
        s_destination = destination;
        s_uiThread = GetCurrentThreadId();
        s_original = reinterpret_cast<MoveProc>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "MoveFileExW"));
        s_entered = CreateEventW(NULL, TRUE, FALSE, NULL);
        s_release = CreateEventW(NULL, TRUE, FALSE, NULL);
        s_taken = 0;
    }
    ~CHeldRename() { Release(); }
    bool Hooked() const { return m_hook.Hooked(); }
    bool WaitHeld(DWORD timeoutMs = kTransferMs) { return WaitForSingleObject(s_entered, timeoutMs) == WAIT_OBJECT_0; }
    void Release() { SetEvent(s_release); }

private:
    typedef BOOL(WINAPI* MoveProc)(LPCWSTR, LPCWSTR, DWORD);

    static BOOL WINAPI HeldMove(LPCWSTR from, LPCWSTR to, DWORD flags)
    {
        if (to && GetCurrentThreadId() != s_uiThread && lstrcmpiW(to, s_destination) == 0 &&
            InterlockedExchange(&s_taken, 1) == 0) {
            SetEvent(s_entered);
            WaitForSingleObject(s_release, 120000);
        }
        return s_original(from, to, flags);
    }

    CImportHook m_hook;
    static CString s_destination;
    static DWORD s_uiThread;
    static MoveProc s_original;
    static HANDLE s_entered;
    static HANDLE s_release;
    static LONG volatile s_taken;
};

CString CHeldRename::s_destination;
DWORD CHeldRename::s_uiThread = 0;
CHeldRename::MoveProc CHeldRename::s_original = NULL;
HANDLE CHeldRename::s_entered = NULL;
HANDLE CHeldRename::s_release = NULL;
LONG volatile CHeldRename::s_taken = 0;

// ---------------------------------------------------------------------------
// Driving

// The window of this process with the title that has a progress bar.
HWND WaitForProgressWindow(LPCWSTR title)
{
    HWND found = NULL;
    WaitUntil([&] {
        found = NULL;
        for (HWND w = FindWindowExW(NULL, NULL, L"#32770", title); w && !found;
             w = FindWindowExW(NULL, w, L"#32770", title))
            if (IsWindowVisible(w) && GetDlgItem(w, IDC_PROGRESS_BAR))
                found = w;
        return found != NULL;
    }, kTransferMs);
    return found;
}

// The case numbers in the backup file.
std::vector<int> BackupNumbers(const CString& path)
{
    std::vector<int> numbers;
    CtUgyirat_Sqlite table;
    table.SetPath(path);
    if (!table.OpenSelect())
        return numbers;
    while (table.MoveNext()) {
        CUgyiratRecord record;
        ZeroRecord(record);
        if (table.GetRecord(record))
            numbers.push_back(record.Nr);
    }
    table.Close();
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// A window's text read without asking its thread, which may be waiting.
CString OwnText(HWND window)
{
    WCHAR text[256] = {0};
    InternalGetWindowText(window, text, 256);
    return text;
}

// True while the window's thread answers no message: it waits on something.
bool IsBlocked(HWND window)
{
    DWORD_PTR result = 0;
    return !SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 300, &result);
}

int ListCount(HWND main)
{
    return (int)SendMessageW(Control(main, kList), LVM_GETITEMCOUNT, 0, 0);
}

class MainDialogStoreTest : public CaseFolderFixture
{
protected:
    void SetUp() override
    {
        CaseFolderFixture::SetUp();
        ASSERT_TRUE(StandIn(L"/_control/reset")) << "the web-service stand-in does not answer on 127.0.0.1:80";
        BackgroundProcess::SetCheckVersionCalls(1);
        database->m_pConnection->SetOnline(true);
        CAppSettings& settings = env.Settings();
        settings.WriteProfileString(L"Server", L"http://127.0.0.1/");
        settings.WriteProfileString(L"AccountId", L"iroda-store");
        settings.SetOnlineBackupPassword(L"titok jelszó");
    }

    void TearDown() override
    {
        StandIn(L"/_control/reset");
        CaseFolderFixture::TearDown();
    }

    static HWND OpenOptions(HWND main) { return main_dialog_test::OpenOptionsDialog(main); }

    // The options dialog's import of three new cases, held after its first
    // case; the progress window.
    static HWND StartHeldImport(HWND options)
    {
        ClickId(options, IDC_OPT_IMPORT);
        HWND wizard = WaitForWindow(L"#32770", kImportCaption, 10000);
        EXPECT_TRUE(wizard);
        if (!wizard)
            return NULL;
        EXPECT_TRUE(SetClipboardText(L"1/2026\tÚj Ügyfél\r\n2/2026\tMásik Ügyfél\r\n3/2026\tHarmadik\r\n"));
        HWND grid = Control(wizard, IDC_IMP_GRID);
        ClickId(wizard, IDC_IMP_PASTE);
        EXPECT_TRUE(WaitUntil([&] { return SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0) == 3; }));
        TypeColumn(grid, 0, 2);
        TypeColumn(grid, 1, 5);
        EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(Control(wizard, IDOK)) != FALSE; }));
        ClickId(wizard, IDOK);
        return WaitForProgressWindow(kImportCaption);
    }

    // The options dialog's restore of the account's backup into the central
    // database, up to its loader's window (held after its first case when a
    // CHeldWorker is at work); the loader's window.
    static HWND StartHeldRestore(HWND options)
    {
        ClickId(options, IDC_OPT_RESTORE);
        HWND box = WaitForWindow(L"#32770", L"On-line mentés letöltése", 20000);
        EXPECT_TRUE(box);
        if (!box)
            return NULL;
        ClickId(box, IDOK);
        HWND transfer = WaitForWindow(L"#32770", L"A on-line mentés visszatöltése", kTransferMs);
        EXPECT_TRUE(transfer);
        if (!transfer)
            return NULL;
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(transfer, IDCANCEL)) == L"Tovább"; }, kTransferMs));
        Click(Control(transfer, IDCANCEL));
        HWND counts = WaitForWindow(L"#32770", L"On-line mentés betöltése", kTransferMs);
        EXPECT_TRUE(counts);
        if (!counts)
            return NULL;
        ClickId(counts, IDYES);
        return WaitForProgressWindow(kLoaderCaption);
    }

    // The same restore up to its loader's end: the loader's window, its
    // "OK" shown.
    static HWND RestoreUpToTheLoadersEnd(HWND options)
    {
        HWND loader = StartHeldRestore(options);
        if (loader) {
            EXPECT_TRUE(WaitUntil([&] { return Text(Control(loader, IDCANCEL)) == L"OK"; }, kTransferMs));
        }
        return loader;
    }

    // The account's backup holds cases 7 and 8, the backup file 7, 8 and 9
    // and the central table 7 to 10; the store works offline on the backup
    // file, and a daily synchronisation was never made: the first worker
    // (timer 100, 3000 ms after the window opens) runs it.
    void PrepareSynchronisation()
    {
        CUgyiratStore* store = database->m_pStore;
        ASSERT_EQ(COnlineBackup().Upload(NULL), COnlineBackup::RESULT_OK);
        ASSERT_TRUE(store->Insert(MakeRecord(2024, 9, L"Szabó")));
        ASSERT_TRUE(store->CreateBackup());
        ASSERT_TRUE(store->Insert(MakeRecord(2024, 10, L"Tóth")));
        ASSERT_EQ(BackupNumbers(env.BackupPath()), (std::vector<int>{7, 8, 9}));
        database->m_pConnection->SetOnline(false);
        ASSERT_TRUE(store->LoadFromBackup());
        env.Settings().WriteProfileInt(L"OMBackupFrequency", 33);
        env.Settings().WriteProfileInt(L"OMLastBackup", 0);
    }

    std::vector<int> StoreNumbers()
    {
        std::vector<int> numbers;
        for (const auto& item : database->m_pStore->m_records)
            numbers.push_back(item.second.Nr);
        return numbers;
    }

    // The download of the account's backup, as the transfer names it.
    CString DownloadPath() { return env.Folder() + L"db_2_onlinerestore.zip"; }

    // Where the first line holding the text stands in the log (the end when
    // there is none); a line may carry the log's prefix.
    static std::ptrdiff_t At(const std::vector<std::wstring>& lines, const std::wstring& text)
    {
        return std::find_if(lines.begin(), lines.end(),
                            [&](const std::wstring& line) { return line.find(text) != std::wstring::npos; }) -
               lines.begin();
    }
};

// ---------------------------------------------------------------------------
// Every road while the store is written

// One road of the main window, taken as the user takes it, the text the
// status line then shows (none: the road answers with a box of its own) and
// the log line that says how the rule answered.
struct Road
{
    const char* what;
    std::function<void(HWND main, HWND options)> take;
    LPCWSTR status;
    std::wstring answer;
    // What must still hold once the road has answered.
    std::function<void(HWND main)> after;
};

TEST_F(MainDialogStoreTest, EveryRoadIsClosedWhileAHeldWorkerWritesTheStore)
{
    ASSERT_EQ(COnlineBackup().Upload(NULL), COnlineBackup::RESULT_OK) << "the account's backup for the restore";
    auto command = [](int id) {
        return [id](HWND main, HWND) { PostCommand(main, id); };
    };
    auto optionsButton = [](int id) {
        return [id](HWND, HWND options) {
            ClickId(options, id);
            HWND box = WaitForWindow(L"#32770", kWarning);
            ASSERT_TRUE(box);
            EXPECT_EQ(ReadBox(box).text, CString(kTextStoreBusy));
            ClickId(box, IDOK);
            EXPECT_TRUE(WaitForWindowGone(box));
        };
    };
    int row7 = -1;
    const Road roads[] = {
        {"refresh", command(1008), kTextStoreBusy, L"Store busy: refresh refused"},
        {"full list", command(1004), kTextStoreBusy, L"Store busy: full list refused"},
        {"new case", command(1001), kTextStoreBusy, L"Store busy: new case refused"},
        {"modify", command(1002), kTextStoreBusy, L"Store busy: modify refused"},
        {"modify from the menu", command(32778), kTextStoreBusy, L"Store busy: modify refused"},
        {"delete", command(1003), kTextStoreBusy, L"Store busy: delete refused"},
        {"delete from the menu", command(32777), kTextStoreBusy, L"Store busy: delete refused"},
        {"open the folder from the menu", command(32776), kTextStoreBusy, L"Store busy: open case folder refused"},
        {"Alt+K", [](HWND main, HWND) { PostMessageW(main, WM_HOTKEY, 32776, MAKELPARAM(MOD_ALT, 'K')); },
         kTextStoreBusy, L"Store busy: open case folder refused"},
        {"double click",
         [&](HWND main, HWND) {
             HWND list = Control(main, kList);
             RECT r = {};
             r.left = LVIR_LABEL;
             SendMessageW(list, LVM_GETITEMRECT, (WPARAM)row7, (LPARAM)&r);
             PostMouseClick(list, POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}, true);
         },
         kTextStoreBusy, L"Store busy: open case folder refused"},
        {"manage the folder", command(1009), kTextStoreBusy, L"Store busy: manage case folder refused"},
        {"manage the folder from the menu", command(32775), kTextStoreBusy, L"Store busy: manage case folder refused"},
        {"connect", command(1030), kTextStoreBusy, L"Store busy: connect refused"},
        {"Ctrl+3", [](HWND main, HWND) { PostMessageW(main, WM_HOTKEY, 13, MAKELPARAM(MOD_CONTROL, '3')); },
         kTextStoreBusy, L"Store busy: filter hot key refused",
         [](HWND main) { EXPECT_EQ(SendMessageW(Control(main, kFilter), CB_GETCURSEL, 0, 0), 0); }},
        {"the options again", [](HWND main, HWND) { PostMessageW(main, WM_SYSCOMMAND, 0x20, 0); },
         kTextStoreBusy, L"Store busy: options refused"},
        {"a search text", [](HWND main, HWND) { SetWindowTextW(Control(main, kSearch), L"Nagy"); },
         kListLater, L"Store busy: search put off"},
        {"a filter",
         [](HWND main, HWND) {
             HWND filter = Control(main, kFilter);
             SendMessageW(filter, CB_SETCURSEL, 9, 0);
             PostMessageW(main, WM_COMMAND, MAKEWPARAM(kFilter, CBN_SELENDOK), (LPARAM)filter);
         },
         kListLater, L"Store busy: filter put off"},
        {"the about box and its status line",
         [](HWND main, HWND) {
             PostMessageW(main, WM_SYSCOMMAND, 0x10, 0);
             HWND about = WaitForWindow(L"#32770", L"Folionex névjegy");
             ASSERT_TRUE(about);
             PostMessageW(about, WM_CLOSE, 0, 0);
             EXPECT_TRUE(WaitForWindowGone(about));
         },
         kListLater, L"Store busy: status line put off"},
        {"statistics", optionsButton(IDC_OPT_STATS), NULL, L"Store busy: statistics refused"},
        {"export", optionsButton(IDC_OPT_EXPORT), NULL, L"Store busy: export refused"},
        {"the database wizard", optionsButton(IDC_OPT_DBWIZARD), NULL, L"Store busy: database wizard refused"},
    };

    struct Holder
    {
        const char* what;
        LPCWSTR progressTitle;
        HWND (*start)(HWND options);
        size_t casesAfter;
    } holders[] = {
        {"a held import", kImportCaption, &MainDialogStoreTest::StartHeldImport, 5},
        {"a held restore", kLoaderCaption, &MainDialogStoreTest::StartHeldRestore, 2},
    };
    for (const Holder& holder : holders) {
        SCOPED_TRACE(holder.what);
        DeleteFileW(logPath);
        CHeldWorker held(holder.progressTitle);
        ASSERT_TRUE(held.Hooked());
        Run([&](HWND main) {
            row7 = RowOf(main, 7);
            ASSERT_GE(row7, 0);
            SelectCase(main, 7);
            HWND options = OpenOptions(main);
            ASSERT_TRUE(options);
            HWND progress = holder.start(options);
            ASSERT_TRUE(progress);
            ASSERT_TRUE(held.WaitHeld()) << "the worker did not report";
            ASSERT_TRUE(IsStoreBusy());

            HWND status = Control(main, kStatus);
            for (const Road& road : roads) {
                SCOPED_TRACE(road.what);
                SetWindowTextW(status, L"-");
                road.take(main, options);
                if (road.status) {
                    EXPECT_TRUE(WaitUntil([&] { return Text(status) == road.status; }))
                        << CStringA(Text(status)).GetString();
                }
                if (road.after)
                    road.after(main);
                // Whatever a refused folder command would have shown.
                if (HWND question = FindTopWindow(L"#32770", kQuestion)) {
                    ADD_FAILURE() << "the folder question opened";
                    ClickId(question, IDCANCEL);
                    WaitForWindowGone(question);
                }
            }
            // The exit waits for the import's own command to end.
            PostMessageW(main, WM_CLOSE, 0, 0);
            HWND box = WaitForWindow(L"#32770", L"Kilépés");
            ASSERT_TRUE(box);
            ClickId(box, IDOK);
            EXPECT_TRUE(WaitForWindowGone(box));
            // Nothing of the folder commands ran: no question, no folder.
            EXPECT_FALSE(FindTopWindow(L"#32770", kQuestion));
            EXPECT_FALSE(IsFolder(root + L"\\2024"));
            EXPECT_FALSE(IsFolder(root + L"\\_"));

            held.Release();
            ASSERT_TRUE(WaitUntil([&] { return Text(Control(progress, IDCANCEL)) == L"OK"; }, kTransferMs));
            Click(Control(progress, IDCANCEL));
            EXPECT_TRUE(WaitForWindowGone(options, kTransferMs)) << "the options end after the work";
            // The list is whole again, with its status line.
            EXPECT_TRUE(WaitUntil([&] {
                CString status;
                status.Format(L"%d / %d", (int)holder.casesAfter, (int)holder.casesAfter);
                return ListCount(main) == (int)holder.casesAfter && Text(Control(main, kStatus)) == status;
            }));
        });
        EXPECT_FALSE(IsStoreBusy());
        EXPECT_EQ(database->m_pStore->m_records.size(), holder.casesAfter);
        EXPECT_FALSE(LogHas(L"Show popup CSablonDlg"));
        EXPECT_FALSE(FileExists(openLog));
        // Each road said in the log how it was answered.
        std::vector<std::wstring> lines = LogLines();
        for (const Road& road : roads) {
            size_t want = (size_t)std::count_if(std::begin(roads), std::end(roads),
                                                [&](const Road& r) { return r.answer == road.answer; });
            EXPECT_GE((size_t)std::count(lines.begin(), lines.end(), road.answer), want)
                << CStringA(road.answer.c_str()).GetString();
        }
    }
}

// What was put off while the store was busy is done once it is free: a
// search typed during a restore that then fails (the options dialog stays
// and is closed) narrows the list afterwards.
TEST_F(MainDialogStoreTest, ASearchPutOffWhileTheStoreIsBusyIsDoneAfterwards)
{
    ASSERT_EQ(COnlineBackup().Upload(NULL), COnlineBackup::RESULT_OK);
    CHeldWorker held(kLoaderCaption);
    ASSERT_TRUE(held.Hooked());
    Run([&](HWND main) {
        HWND options = OpenOptions(main);
        ASSERT_TRUE(options);
        HWND loader = StartHeldRestore(options);
        ASSERT_TRUE(loader);
        ASSERT_TRUE(held.WaitHeld());
        HWND status = Control(main, kStatus);
        SetWindowTextW(Control(main, kSearch), L"Nagy");
        EXPECT_TRUE(WaitUntil([&] { return Text(status) == kListLater; }));
        EXPECT_EQ(ListCount(main), 2);
        // The loader's next case is refused: nothing is restored.
        oledb_standin::CTestSqlServer::Failure failure;
        failure.statement = L"INSERT";
        failure.times = 1;
        server.FailStatement(failure);
        held.Release();
        ASSERT_TRUE(WaitUntil([&] { return Text(Control(loader, IDCANCEL)) == L"Kilép"; }, kTransferMs));
        Click(Control(loader, IDCANCEL));
        ASSERT_TRUE(WaitForWindowGone(loader));
        EXPECT_TRUE(IsWindowVisible(options)) << "a failed restore leaves the options open";
        PressKey(options, VK_ESCAPE);
        ASSERT_TRUE(WaitForWindowGone(options));
        // Only case 8 has "Nagy" in it.
        EXPECT_TRUE(WaitUntil([&] { return ListCount(main) == 1 && Text(status) == L"1 / 2"; }))
            << CStringA(Text(status)).GetString();
        EXPECT_EQ(RowOf(main, 8), 0);
    });
    server.ClearFailure();
    EXPECT_FALSE(IsStoreBusy());
    EXPECT_TRUE(LogHas(L"Store busy: search put off"));
}

// ---------------------------------------------------------------------------
// The backup file's writers

// The user connects and disconnects while the scheduled synchronisation is
// about to put the account's backup in the backup file's place: the copy of
// the central table that the switch writes waits for it, the window painting
// meanwhile, and comes last.
TEST_F(MainDialogStoreTest, ADisconnectWaitsForTheSynchronisationsWrite)
{
    PrepareSynchronisation();
    CHeldRename held(env.BackupPath());
    ASSERT_TRUE(held.Hooked());
    bool waitedForTheSynchronisation = false, painted = false;
    Run([&](HWND main) {
        ASSERT_TRUE(held.WaitHeld()) << "no synchronisation";
        HWND connect = Control(main, 1030);
        PostCommand(main, 1030);
        ASSERT_TRUE(WaitUntil([&] { return Text(connect) == L"Leválaszt"; }, 10000)) << "not connected";
        PostCommand(main, 1030);
        // The copy waits: the switch has not come through.
        waitedForTheSynchronisation = !WaitUntil([&] { return OwnText(connect) == L"Kapcsol"; }, 2000);
        HWND status = Control(main, kStatus);
        InvalidateRect(status, NULL, TRUE);
        painted = WaitUntil([&] { return !GetUpdateRect(status, NULL, FALSE); });
        held.Release();
        EXPECT_TRUE(WaitUntil([&] { return OwnText(connect) == L"Kapcsol"; }, kTransferMs));
    });
    EXPECT_TRUE(waitedForTheSynchronisation) << "the copy did not wait for the synchronisation";
    EXPECT_TRUE(painted) << "the window did not paint while it waited";
    EXPECT_EQ(BackupNumbers(env.BackupPath()), (std::vector<int>{7, 8, 9, 10})) << "the central table's copy";
    std::vector<std::wstring> lines = LogLines();
    EXPECT_LT(At(lines, L"Backup file: the switch to offline work waits for the other writer"),
              At(lines, L"Backup file: the switch to offline work goes on"));
    EXPECT_LT(At(lines, L"Backup file: the switch to offline work goes on"), (std::ptrdiff_t)lines.size());
}

// The user connects and then exits while the synchronisation still
// downloads: the exit waits for it, then writes the copy of the central
// table, which is what the backup file holds afterwards.
TEST_F(MainDialogStoreTest, TheExitWaitsForTheSynchronisationBeforeItWritesTheBackup)
{
    PrepareSynchronisation();
    CHeldRename held(DownloadPath());
    ASSERT_TRUE(held.Hooked());
    bool backupBeforeTheWorker = true;
    RunMainDialog([&](HWND main) {
        ASSERT_TRUE(held.WaitHeld()) << "no synchronisation";
        HWND connect = Control(main, 1030);
        PostCommand(main, 1030);
        ASSERT_TRUE(WaitUntil([&] { return Text(connect) == L"Leválaszt"; }, 10000)) << "not connected";
        PostMessageW(main, WM_CLOSE, 0, 0);
        // The exit waits (for the worker, or in the backup): the log is still.
        ASSERT_TRUE(WaitUntil([&] { return IsBlocked(main); }, 10000)) << "the exit did not wait";
        backupBeforeTheWorker = LogHas(L"Create backup at exit - start");
        held.Release();
    }, 60000);
    EXPECT_FALSE(backupBeforeTheWorker) << "the exit wrote the backup while the synchronisation ran";
    EXPECT_EQ(BackupNumbers(env.BackupPath()), (std::vector<int>{7, 8, 9, 10})) << "the central table's copy";
    std::vector<std::wstring> lines = LogLines();
    EXPECT_LT(At(lines, L"Background process finished."), At(lines, L"Create backup at exit - start"));
    EXPECT_LT(At(lines, L"Create backup at exit - start"), (std::ptrdiff_t)lines.size());
}

// ---------------------------------------------------------------------------
// Memory running out when the restored cases are put in the list

// After a restore into the central database has committed, the UI thread
// takes the restored cases into the list's map, with new nodes for the cases
// beyond the old count. When memory runs out there, the old map stays and
// the store is free again; the cases are read back from the table, or,
// when that does not fit either, the user is told that
// the restored data is in the database and the program should be restarted,
// and the list goes on with the old cases.
TEST_F(MainDialogStoreTest, OutOfMemoryWhileTheRestoredCasesArePutInTheList)
{
    ASSERT_EQ(COnlineBackup().Upload(NULL), COnlineBackup::RESULT_OK) << "the account's backup: cases 7 and 8";
    const CString restart = L"A visszatöltött adatok bekerültek az adatbázisba, de a megjelenítésükhöz nem volt "
                            L"elég memória.\n\nA lista addig a korábbi adatokat mutatja: kérjük, indítsa újra a "
                            L"programot!";
    // The nodes of the map: a record and the map's few words.
    const size_t node = sizeof(CUgyiratRecord);
    struct Case
    {
        const char* what;
        bool nothingFits;
        std::vector<int> listed;
    } cases[] = {
        {"the table is read back", false, {7, 8}},
        {"nothing fits", true, {9}},
    };
    CUgyiratStore* store = database->m_pStore;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileW(logPath);
        ASSERT_TRUE(store->LoadFromDatabase());
        // The list holds case 9 alone: the restored register (7 and 8) needs
        // more of the map's nodes than the old one has.
        if (!store->Find(MakeUgyiratKey(2024, 9))) {
            ASSERT_TRUE(store->Insert(MakeRecord(2024, 9, L"Szabó")));
        }
        for (int nr : {7, 8}) {
            if (store->Find(MakeUgyiratKey(2024, nr))) {
                ASSERT_TRUE(store->Delete(MakeUgyiratKey(2024, nr)));
            }
        }
        bool boxShown = false, busyAtTheBox = true;
        std::vector<int> mapAtTheBox;
        std::vector<CString> clientsAtTheBox;
        Run([&](HWND main) {
            HWND options = OpenOptions(main);
            ASSERT_TRUE(options);
            HWND loader = RestoreUpToTheLoadersEnd(options);
            ASSERT_TRUE(loader);
            {
                CAllocationFailure failure(0, node, c.nothingFits, node + 256);
                Click(Control(loader, IDCANCEL));
                if (c.nothingFits) {
                    HWND box = WaitForBoxWithText(restart, 20000);
                    boxShown = box != NULL;
                    ASSERT_TRUE(boxShown);
                    // The list is the old one, readable, while the user reads this.
                    busyAtTheBox = IsStoreBusy();
                    mapAtTheBox = StoreNumbers();
                    HWND list = Control(main, kList);
                    for (int row = 0; row < ListCount(main); ++row)
                        clientsAtTheBox.push_back(ListItemText(list, row, 2));
                    ClickId(box, IDOK);
                    EXPECT_TRUE(WaitForWindowGone(box));
                }
                EXPECT_TRUE(WaitForWindowGone(options, kTransferMs)) << "the restore stored the data";
                EXPECT_TRUE(WaitUntil([&] { return ListCount(main) == (int)c.listed.size(); }));
                EXPECT_GE(failure.Refused(), 1);
            }
            EXPECT_FALSE(FindBoxWithText(restart));
            // The list works: its cells read the store.
            HWND list = Control(main, kList);
            for (int row = 0; row < ListCount(main); ++row)
                EXPECT_FALSE(ListItemText(list, row, 2).IsEmpty()) << row;
        });
        EXPECT_FALSE(IsStoreBusy());
        EXPECT_EQ(StoreNumbers(), c.listed);
        EXPECT_TRUE(LogHas(L"On-line restore: out of memory while the restored cases were put in the list; they "
                           L"are read back from the central table"));
        EXPECT_FALSE(LogHas(L"Records replaced: 2"));
        if (c.nothingFits) {
            EXPECT_FALSE(busyAtTheBox);
            EXPECT_EQ(mapAtTheBox, (std::vector<int>{9}));
            EXPECT_EQ(clientsAtTheBox.size(), 1u);
            for (const CString& client : clientsAtTheBox)
                EXPECT_FALSE(client.IsEmpty());
        } else {
            EXPECT_FALSE(boxShown);
        }
    }
}

} // namespace
