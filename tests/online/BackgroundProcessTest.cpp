// The background worker against the web-service stand-in (ctest fixture
// "webservice", 127.0.0.1:80) and the test SQL server: the update check's
// body and replies, the schedule of the backup and the synchronisation, and
// the worker's lifetime.
// The worker posts to a plain main window of this thread; its messages are
// read from the queue once the worker has ended.
#include <gtest/gtest.h>
#include <algorithm>
#include "afxapp.h"
#include "foundation/AppSettings.h"
#include "foundation/Conversions.h"
#include "foundation/Log.h"
#include "foundation/Progress.h"
#include "foundation/RegisteredMessages.h"
#include "online/BackgroundProcess.h"
#include "online/OnlineBackup.h"
#include "online/SelfUpdate.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/DatabaseContext.h"
#include "storage/UgyiratStore.h"
#include "support/FailingAllocator.h"
#include "support/TestSupport.h"
#include "support/WebServiceControl.h"
#include "support/WindowDriver.h"
#include "../afx/WindowTestSupport.h"
#include "../storage/StorageTestSupport.h"
#include "OnlineTestSupport.h"
#include "TestSqlServer.h"

namespace {

using namespace testing_support;

const wchar_t kKey[] = L"WorkerTest";
const int kEarlier = 12345; // an "OMLastBackup" long ago
const char kCheck[] = "/VApi/Check.aspx";

// What the worker posted to the main window.
struct Posted
{
    std::vector<std::wstring> texts; // first texts of the progress records
    std::vector<int> locks;          // "FOLIONEX_LOCKUI" wParams
    int tasks = 0;                   // "FOLIONEX_TASK"
    bool completed = false;          // the pass's completed record
};

class BackgroundProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window_test::InitOnce();
        ResetProfile();
        ASSERT_TRUE(StandIn(L"/_control/reset")) << "the web-service stand-in does not answer on 127.0.0.1:80";
        settings.SetInstanceKey(kKey);
        settings.WriteProfileString(L"Server", L"http://127.0.0.1/");
        LogResetPath();
        logPath = DataFolderPath(kKey) + CAppSettings::GetExeBaseName() + L".log";
        DeleteFileW(logPath);
        HWND hwnd = CreateWindowExW(0, window_test::kPlainWindowClass, L"Főablak", WS_OVERLAPPEDWINDOW, 0, 0, 300,
                                    200, NULL, NULL, NULL, NULL);
        ASSERT_TRUE(hwnd);
        mainWnd.Attach(hwnd);
        AfxGetApp()->m_pMainWnd = &mainWnd;
    }
    void TearDown() override
    {
        Drain();
        AfxGetApp()->m_pMainWnd = NULL;
        DestroyWindow(mainWnd.Detach());
        StandIn(L"/_control/reset");
        ResetProfile();
    }

    // Runs one worker to its end and collects what it posted.
    Posted RunWorker(bool online, bool storeOffline)
    {
        {
            BackgroundProcess worker(&mainWnd);
            worker.SetWorkMode(online, storeOffline);
            EXPECT_TRUE(worker.Start());
            EXPECT_TRUE(WaitUntil([&] { return worker.GetState() == BackgroundProcess::STATE_FINISHED; }, 60000));
        }
        return Drain();
    }

    Posted Drain()
    {
        Posted posted;
        MSG msg;
        while (PeekMessageW(&msg, mainWnd.GetSafeHwnd(), 0, 0, PM_REMOVE)) {
            if (msg.message == g_uMsgProgress) {
                CProgressRecord* record = reinterpret_cast<CProgressRecord*>(msg.wParam);
                if (record->m_flags & CProgressRecord::FLAG_FIRST_TEXT)
                    posted.texts.push_back((LPCWSTR)record->m_firstText);
                if (record->m_kind == CProgressRecord::KIND_COMPLETED)
                    posted.completed = true;
                delete record;
            } else if (msg.message == g_uMsgLockUi) {
                posted.locks.push_back((int)msg.wParam);
            } else if (msg.message == g_uMsgTask) {
                ++posted.tasks;
            }
        }
        return posted;
    }

    std::vector<std::wstring> Log() { return ReadLogTexts(logPath); }
    bool Logged(const std::wstring& line)
    {
        std::vector<std::wstring> lines = Log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    size_t ChecksSeen()
    {
        size_t n = 0;
        for (const StandInRequest& r : StandInRequests())
            n += r.path == kCheck;
        return n;
    }

    CAppSettings settings;
    CWnd mainWnd;
    CString logPath;
};

// ---------------------------------------------------------------------------
// The update check

TEST_F(BackgroundProcessTest, CheckSendsItsBodyOncePerProcess)
{
    BackgroundProcess::SetCheckVersionCalls(0);
    Posted first = RunWorker(true, false);
    std::vector<StandInRequest> requests = StandInRequests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("POST", requests[0].method);
    EXPECT_EQ(kCheck, requests[0].path);
    CStringA expected = CAppSettings::GetCheckMessage();
    EXPECT_EQ(std::string(expected.GetString(), expected.GetLength()), requests[0].body);
    EXPECT_EQ(0u, requests[0].body.find("ProgType=2\nVersion="));
    EXPECT_NE('\n', requests[0].body.back());
    EXPECT_EQ((std::vector<std::wstring>{L"Frissebb verzió keresése", L"Frissítés ellenőrzése: aktuális verzió fut"}),
              first.texts);
    EXPECT_TRUE(first.completed);
    EXPECT_EQ(std::vector<int>{1}, first.locks);
    EXPECT_TRUE(Logged(L"BackgroundProcess - CheckVersion"));
    EXPECT_TRUE(Logged(L"Background process finished."));

    // A later worker of the same process does not ask again.
    RunWorker(true, false);
    EXPECT_EQ(1u, ChecksSeen());
}

struct CheckCase
{
    const char* name;
    const wchar_t* control; // the stand-in's control path
    std::string lines;   // its body
    bool update;         // a self-update is queued
    const wchar_t* url = L""; // the update's download address
    int length = 0;           // and its announced length
};

class CheckReplyTest : public BackgroundProcessTest, public ::testing::WithParamInterface<CheckCase>
{
};

TEST_P(CheckReplyTest, QueuesTheUpdateOnlyForAnOffer)
{
    const CheckCase& c = GetParam();
    ASSERT_TRUE(StandIn(c.control, c.lines));
    // A backup would be due at once: the pass that queues the update must
    // not get to it.
    settings.WriteProfileInt(L"OMBackupFrequency", 1);
    settings.SetOnlineBackupPassword(L"titok");
    BackgroundProcess::SetCheckVersionCalls(0);
    Posted posted = RunWorker(true, false);
    EXPECT_EQ(1u, ChecksSeen());
    ASSERT_FALSE(posted.texts.empty());
    CTask* task = settings.TakeQueuedTask();
    if (c.update) {
        EXPECT_EQ(1, posted.tasks);
        EXPECT_EQ(L"Frissebb verzió letöltése", posted.texts.back());
        EXPECT_FALSE(Logged(L"BackgroundProcess - online backup"));
        // The queued update downloads what the reply offered, for the main window.
        CSelfUpdate* update = dynamic_cast<CSelfUpdate*>(task);
        ASSERT_NE(update, nullptr);
        EXPECT_EQ(update->GetDownloadUrl(), CString(c.url));
        EXPECT_EQ(update->GetDownloadLength(), c.length);
        EXPECT_EQ(update->GetParentWindow(), &mainWnd);
        update->Release();
        EXPECT_EQ(settings.TakeQueuedTask(), nullptr) << "one task";
    } else {
        EXPECT_EQ(task, nullptr);
        EXPECT_EQ(0, posted.tasks);
        EXPECT_EQ(std::wstring(L"Frissítés ellenőrzése: aktuális verzió fut"), posted.texts[1]);
        EXPECT_TRUE(Logged(L"BackgroundProcess - online backup"));
    }
    EXPECT_TRUE(posted.completed);
}

// Bytes that are no UTF-8, a control character, lines without a key or a
// value, zero bytes.
const char kGarbage[] = "path=/VApi/Check.aspx\n\n\xff\xfe=\x01\n==\nCmd\n\0\0Cmd=SelfUpdate";

const CheckCase kCheckCases[] = {
    {"LowerCaseOffer", L"/_control/reply",
     "path=/VApi/Check.aspx\n\nCmd=selfupdate\nDownloadUrl=http://127.0.0.1/Files/Folionex_Setup.exe\n"
     "DownloadLength=12\n",
     true, L"http://127.0.0.1/Files/Folionex_Setup.exe", 12},
    {"OfferOfAMegabyte", L"/_control/reply",
     "path=/VApi/Check.aspx\n\nDownloadLength=1048576\nCmd=SelfUpdate\n"
     "DownloadUrl=https://127.0.0.1/Files/%C3%9Aj%20verzi%C3%B3.exe?v=1.2&x=\xC3\xA9\n",
     true, L"https://127.0.0.1/Files/%C3%9Aj%20verzi%C3%B3.exe?v=1.2&x=é", 1048576},
    {"OfferWithoutLength", L"/_control/reply",
     "path=/VApi/Check.aspx\n\nCmd=SelfUpdate\nDownloadUrl=http://127.0.0.1/a.exe\n", true,
     L"http://127.0.0.1/a.exe", 0},
    {"OfferWithALengthOfText", L"/_control/reply",
     "path=/VApi/Check.aspx\n\nCmd=SelfUpdate\nDownloadUrl=http://127.0.0.1/a.exe\nDownloadLength=sok\n", true,
     L"http://127.0.0.1/a.exe", 0},
    {"OfferWithoutAddress", L"/_control/reply", "path=/VApi/Check.aspx\n\nCmd=SelfUpdate\nDownloadLength=12\n", false},
    {"EmptyBody", L"/_control/reply", "path=/VApi/Check.aspx\n\n", false},
    {"ServerError", L"/_control/reply",
     "path=/VApi/Check.aspx\nstatus=500\n\nCmd=SelfUpdate\nDownloadUrl=http://127.0.0.1/x.exe\n", false},
    {"DroppedConnection", L"/_control/fault", "path=/VApi/Check.aspx\nmode=drop\n", false},
    {"CutBody", L"/_control/fault", "path=/VApi/Check.aspx\nmode=cut\nafter=5\n", false},
    {"Garbage", L"/_control/reply", std::string(kGarbage, sizeof(kGarbage) - 1), false},
};

INSTANTIATE_TEST_SUITE_P(Replies, CheckReplyTest, ::testing::ValuesIn(kCheckCases),
                         [](const ::testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// The schedule, over a register of the test SQL server (working online) or of
// the local backup file loaded from it (working offline). The scheduled
// backup uploads to the stand-in; the synchronisation restores from it.

using online_test::Snapshot;

// What the stand-in holds for the account when the worker starts: nothing, or
// a backup of the register made before its last case was added, enciphered
// with the password the worker knows or with another one.
enum OnService
{
    NO_BACKUP,
    BACKUP,
    BACKUP_OTHER_PASSWORD,
};

struct ScheduleCase
{
    const char* name;
    bool online;       // else the store works from the backup file
    int frequency;     // "OMBackupFrequency", -1: not written
    int daysBack;      // "OMLastBackup" so many UTC days back, -1: not written
    bool password;
    int uploadStatus;  // 0: the stand-in takes the upload; else it answers with this status
    std::vector<std::wstring> texts;  // the worker's own status texts of the pass
    std::vector<std::wstring> logged; // the worker's own log lines of the pass
    std::vector<int> locks;
    bool uploaded;     // an upload reached the service
    bool recorded;     // "OMLastBackup" holds the time of this pass
    bool restoreAsked = false; // the synchronisation asked where the account's backup lies
    OnService onService = NO_BACKUP;
};

class WorkerRegisterTest : public BackgroundProcessTest
{
protected:
    void SetUp() override
    {
        BackgroundProcessTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
        comStarted = true;
        settings.WriteProfileString(L"AccountId", L"iroda-1");
        settings.SetMainWindow(&mainWnd);
        context.reset(new CDatabaseContext);
        context->m_pConnection->LoadSettings();
        ASSERT_TRUE(server.CreateDatabase(L"Folionex"));
        ASSERT_TRUE(server.CreateCaseTable(L"Folionex"));
        ASSERT_TRUE(store().LoadFromDatabase());
        ASSERT_TRUE(store().Insert(MakeRecord(2024, 1, L"Kovács Ödön", L"Űrhajó Kft.")));
        ASSERT_TRUE(store().Insert(MakeRecord(2024, 2, L"Tóth Ágnes")));
        ASSERT_TRUE(store().Insert(MakeRecord(2025, 7, L"Nagy Péter", L"Szabó Éva")));
    }
    void TearDown() override
    {
        context.reset();
        settings.SetMainWindow(NULL);
        if (comStarted)
            CoUninitialize();
        BackgroundProcessTest::TearDown();
    }

    CUgyiratStore& store() { return *context->m_pStore; }

    void GoOffline()
    {
        ASSERT_TRUE(store().CreateBackup());
        context->m_pConnection->SetOnline(false);
        ASSERT_TRUE(store().LoadFromBackup());
    }

    size_t UploadsSeen(size_t from = 0) { return RequestsSeen("POST", "/VApi/UploadDB.aspx", from); }

    // Requests of a method and path among those the stand-in received from
    // the given one on.
    static size_t RequestsSeen(const char* method, const char* path, size_t from)
    {
        std::vector<StandInRequest> requests = StandInRequests();
        size_t n = 0;
        for (size_t i = from; i < requests.size(); ++i)
            n += requests[i].method == method && requests[i].path == path;
        return n;
    }

    // Uploads the register as it is now for the account, then adds a case,
    // so that the local copy differs from the backup; the uploaded cases.
    Snapshot PutBackupOnService(LPCWSTR password)
    {
        settings.SetOnlineBackupPassword(password);
        EXPECT_EQ(0, COnlineBackup().Upload(NULL));
        settings.SetOnlineBackupPassword(L"");
        Drain();
        Snapshot uploaded = online_test::Of(store().m_records);
        EXPECT_TRUE(store().Insert(MakeRecord(2025, 8, L"Új Ügyfél")));
        return uploaded;
    }

    oledb_standin::CTestSqlServer server;
    std::unique_ptr<CDatabaseContext> context;
    bool comStarted = false;
};

class ScheduleTest : public WorkerRegisterTest, public ::testing::WithParamInterface<ScheduleCase>
{
};

const wchar_t kCheckingBackup[] = L"On-line mentés ellenőrzése";
const wchar_t kBackupNotDue[] = L"On-line mentés jelenleg nem szükséges";
const wchar_t kBackupRuns[] = L"On-line mentés végrehajtása";
const wchar_t kBackupDone[] = L"On-line mentés végrehajtva";
const wchar_t kBackupFailed[] = L"On-line mentés közben hiba történt!";
const wchar_t kSyncRuns[] = L"Szinkronizálás: módosítások letöltése";
const wchar_t kSyncDone[] = L"Szinkronizálás végrehajtva";
const wchar_t kSyncFailed[] = L"Szinkronizálás nem sikerült!";
const wchar_t kBackupStep[] = L"BackgroundProcess - online backup";
const wchar_t kBackupPerformed[] = L"Performing on-line backup";
const wchar_t kBackupDoneLog[] = L"On-line backup executed successfully.";
const wchar_t kBackupFailedLog[] = L"On-line backup failed!";
const wchar_t kSyncPerformed[] = L"Performing remote syncronization";
const wchar_t kSyncDoneLog[] = L"Remote syncronization finished successfully";
const wchar_t kSyncFailedLog[] = L"Remote syncronization failed!";

// Only what the worker itself says: the transfers it starts report and log
// on their own.
std::vector<std::wstring> WorkersOwn(const std::vector<std::wstring>& all, std::initializer_list<LPCWSTR> words)
{
    std::vector<std::wstring> own;
    for (const std::wstring& item : all)
        for (LPCWSTR word : words)
            if (item == word)
                own.push_back(item);
    return own;
}

TEST_P(ScheduleTest, RunsTheDueStep)
{
    const ScheduleCase& c = GetParam();
    Snapshot uploaded;
    if (c.onService != NO_BACKUP) {
        ASSERT_NO_FATAL_FAILURE(uploaded = PutBackupOnService(c.onService == BACKUP ? L"titok" : L"másik jelszó"));
    }
    if (!c.online) {
        ASSERT_NO_FATAL_FAILURE(GoOffline());
    }
    const Snapshot cases = online_test::Of(store().m_records);
    const CString backupPath = settings.GetBackupFilePath();
    const std::string backupBytes = ReadFileBytes(backupPath);
    const size_t requestsBefore = StandInRequests().size();
    if (c.frequency != -1)
        settings.WriteProfileInt(L"OMBackupFrequency", c.frequency);
    const int earlier = c.daysBack >= 0 ? (int)time(NULL) - c.daysBack * 86400 : -1;
    if (c.daysBack >= 0)
        settings.WriteProfileInt(L"OMLastBackup", earlier);
    if (c.password)
        settings.SetOnlineBackupPassword(L"titok");
    if (c.uploadStatus) {
        ASSERT_TRUE(StandInReply("/VApi/UploadDB.aspx", c.uploadStatus, "ErrorCode=9\n"));
    }
    BackgroundProcess::SetCheckVersionCalls(1); // this process has checked
    const int before = (int)time(NULL);
    Posted posted = RunWorker(c.online, !c.online);
    const int after = (int)time(NULL);

    EXPECT_EQ(c.texts, WorkersOwn(posted.texts, {kCheckingBackup, kBackupNotDue, kBackupRuns, kBackupDone,
                                                 kBackupFailed, kSyncRuns, kSyncDone, kSyncFailed}));
    EXPECT_EQ(c.locks, posted.locks);
    EXPECT_TRUE(posted.completed);
    std::vector<std::wstring> between;
    bool inside = false;
    for (const std::wstring& line : Log()) {
        if (line == L"Background process finished.")
            break;
        if (inside)
            between.push_back(line);
        inside = inside || line == L"Background process started.";
    }
    EXPECT_EQ(c.logged, WorkersOwn(between, {kBackupStep, kBackupPerformed, kBackupDoneLog, kBackupFailedLog,
                                             kSyncPerformed, kSyncDoneLog, kSyncFailedLog}));
    EXPECT_EQ(c.uploaded ? 1u : 0u, UploadsSeen(requestsBefore));
    EXPECT_EQ(0u, ChecksSeen());
    EXPECT_EQ(c.restoreAsked ? 1u : 0u, RequestsSeen("GET", "/VApi/OnlineRestore.aspx", requestsBefore));
    const bool downloads = c.restoreAsked && c.onService != NO_BACKUP;
    EXPECT_EQ(downloads ? 1u : 0u, RequestsSeen("GET", "/VApi/Backup.aspx", requestsBefore));
    // The synchronisation writes the downloaded cases into the backup file
    // only; a failed one, and every other step, leaves the file as it was.
    EXPECT_EQ(cases, online_test::Of(store().m_records)) << "the store's cases are never touched";
    if (!c.online && c.recorded) {
        EXPECT_EQ(uploaded, online_test::ReadBackupFile(backupPath));
    } else {
        EXPECT_TRUE(ReadFileBytes(backupPath) == backupBytes) << "the backup file changed";
    }
    const int last = settings.GetProfileInt(L"OMLastBackup", -1);
    if (c.recorded) {
        EXPECT_GE(last, before);
        EXPECT_LE(last, after);
    } else {
        EXPECT_EQ(earlier, last);
    }
}

const ScheduleCase kScheduleCases[] = {
    {"WeeklySixDaysAgo", true, 2, 6, true, 0, {kCheckingBackup, kBackupNotDue}, {kBackupStep}, {1}, false, false},
    {"WeeklySevenDaysAgo", true, 2, 7, true, 0, {kCheckingBackup, kBackupRuns, kBackupDone},
     {kBackupStep, kBackupPerformed, kBackupDoneLog}, {0, 1, 1}, true, true},
    {"DailyYesterday", true, 1, 1, true, 0, {kCheckingBackup, kBackupRuns, kBackupDone},
     {kBackupStep, kBackupPerformed, kBackupDoneLog}, {0, 1, 1}, true, true},
    {"DailyToday", true, 1, 0, true, 0, {kCheckingBackup, kBackupNotDue}, {kBackupStep}, {1}, false, false},
    {"MonthlyNeverBackedUp", true, 3, -1, true, 0, {kCheckingBackup, kBackupRuns, kBackupDone},
     {kBackupStep, kBackupPerformed, kBackupDoneLog}, {0, 1, 1}, true, true},
    {"MonthlyThirtyDaysAgo", true, 3, 30, true, 0, {kCheckingBackup, kBackupNotDue}, {kBackupStep}, {1}, false,
     false},
    {"OddFrequencyNeverDue", true, 5, 400, true, 0, {kCheckingBackup, kBackupNotDue}, {kBackupStep}, {1}, false,
     false},
    {"OddFrequencyFirstTime", true, 31, -1, true, 0, {kCheckingBackup, kBackupRuns, kBackupDone},
     {kBackupStep, kBackupPerformed, kBackupDoneLog}, {0, 1, 1}, true, true},
    {"UploadRefused", true, 1, 1, true, 500, {kCheckingBackup, kBackupRuns, kBackupFailed},
     {kBackupStep, kBackupPerformed, kBackupFailedLog}, {0, 1, 1}, true, false},
    {"NoPassword", true, 1, -1, false, 0, {}, {kBackupStep}, {1}, false, false},
    {"NoSchedule", true, -1, -1, true, 0, {}, {kBackupStep}, {1}, false, false},
    {"SyncOnlineRunsNeither", true, 34, 7, true, 0, {}, {kBackupStep}, {1}, false, false},
    // The synchronisation downloads the account's backup into the backup file.
    {"SyncWeeklySevenDaysAgo", false, 34, 7, true, 0, {kSyncRuns, kSyncDone},
     {kBackupStep, kSyncPerformed, kSyncDoneLog}, {0, 1, 1}, false, true, true, BACKUP},
    // No backup of the account lies on the service, or one the password does
    // not open: the synchronisation runs and fails, and the backup file stays
    // as it was.
    {"SyncNothingOnTheService", false, 34, 7, true, 0, {kSyncRuns, kSyncFailed},
     {kBackupStep, kSyncPerformed, kSyncFailedLog}, {0, 1, 1}, false, false, true},
    {"SyncNeverSynchronised", false, 33, -1, true, 0, {kSyncRuns, kSyncFailed},
     {kBackupStep, kSyncPerformed, kSyncFailedLog}, {0, 1, 1}, false, false, true},
    {"SyncBackupOfAnotherPassword", false, 35, 31, true, 0, {kSyncRuns, kSyncFailed},
     {kBackupStep, kSyncPerformed, kSyncFailedLog}, {0, 1, 1}, false, false, true, BACKUP_OTHER_PASSWORD},
    {"SyncWeeklySixDaysAgo", false, 34, 6, true, 0, {}, {kBackupStep, kSyncPerformed}, {1}, false, false, false,
     BACKUP},
    {"SyncNoPassword", false, 33, -1, false, 0, {}, {kBackupStep}, {1}, false, false},
    {"BackupOfflineRunsNeither", false, 2, 7, true, 0, {}, {kBackupStep}, {1}, false, false},
};

INSTANTIATE_TEST_SUITE_P(Frequencies, ScheduleTest, ::testing::ValuesIn(kScheduleCases),
                         [](const ::testing::TestParamInfo<ScheduleCase>& info) { return info.param.name; });

// The scheduled backup reads the central table through a connection of its
// own on the worker thread: a read of the store's table that the UI thread
// has under way goes on undisturbed, and the backup holds every case.
TEST_F(WorkerRegisterTest, TheScheduledExportLeavesTheStoresTableAlone)
{
    settings.WriteProfileInt(L"OMBackupFrequency", 1);
    settings.SetOnlineBackupPassword(L"titok");
    BackgroundProcess::SetCheckVersionCalls(1);
    CRDBTable* table = store().GetTable();
    ASSERT_TRUE(table->OpenSelect());
    ASSERT_TRUE(table->MoveNext());
    RunWorker(true, false);
    int rows = 1;
    while (table->MoveNext())
        ++rows;
    EXPECT_FALSE(table->ReadFailed());
    table->Close();
    EXPECT_EQ(3, rows);
    EXPECT_EQ(1u, UploadsSeen());
    EXPECT_TRUE(Logged(kBackupDoneLog));
    SYSTEMTIME now;
    GetLocalTime(&now);
    CString xml;
    xml.Format(L"%sdb_2_%d%02d%02d.xml", (LPCWSTR)settings.GetDataFolder(), now.wYear, now.wMonth, now.wDay);
    const std::string bytes = ReadFileBytes(xml);
    for (LPCWSTR name : {L"Kovács Ödön", L"Tóth Ágnes", L"Nagy Péter"})
        EXPECT_NE(std::string::npos, bytes.find(WideToUtf8(name).GetString())) << WideToUtf8(name).GetString();
}

TEST(BackgroundProcessDue, ComparesUtcCalendarDays)
{
    const long long midnight = 20000LL * 86400; // a UTC midnight
    struct
    {
        long long now;
        int last, first, frequency;
        bool due;
    } cases[] = {
        {midnight + 60, (int)(midnight - 60), 1, 1, true},       // two minutes, but the next day
        {midnight + 86399, (int)midnight, 1, 1, false},          // almost a day, the same day
        {midnight, (int)(midnight - 6 * 86400), 1, 2, false},
        {midnight, (int)(midnight - 7 * 86400 + 86399), 1, 2, true},
        {midnight, 0, 1, 99, true},                              // never: due whatever the frequency
        {midnight, (int)(midnight - 31 * 86400), 33, 35, true},
        {midnight, (int)(midnight - 30 * 86400), 33, 35, false},
        {midnight, (int)(midnight - 400 * 86400), 1, 4, false},
        {midnight, (int)(midnight - 400 * 86400), 33, 2, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.due, BackgroundProcess::IsDue(c.now, c.last, c.first, c.frequency))
            << c.now << " " << c.last << " " << c.frequency;
}

// ---------------------------------------------------------------------------
// Lifetime

TEST_F(BackgroundProcessTest, StopsRightAfterTheStart)
{
    BackgroundProcess::SetCheckVersionCalls(0);
    for (int i = 0; i < 20; ++i) {
        BackgroundProcess worker(&mainWnd);
        ASSERT_TRUE(worker.Start());
        EXPECT_FALSE(worker.Start()) << "a running worker does not start twice";
        worker.Stop(true);
        EXPECT_EQ(BackgroundProcess::STATE_FINISHED, worker.GetState());
    }
    {
        BackgroundProcess worker(&mainWnd);
        ASSERT_TRUE(worker.Start());
    } // the destructor alone
}

TEST_F(BackgroundProcessTest, StopCutsAStalledCheckShort)
{
    ASSERT_TRUE(StandIn(L"/_control/fault", "path=/VApi/Check.aspx\nmode=stall\nafter=-1\nseconds=30\n"));
    BackgroundProcess::SetCheckVersionCalls(0);
    LARGE_INTEGER start;
    {
        BackgroundProcess worker(&mainWnd);
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(WaitUntil([&] { return ChecksSeen() == 1; }, 20000));
        start = ClockNow();
    } // the destructor stops the worker and waits for its thread
    EXPECT_LT(ElapsedMs(start, ClockNow()), 15000.0) << "the stop waited for the stalled service";
    Posted posted = Drain();
    EXPECT_EQ(0, posted.tasks);
    EXPECT_TRUE(Logged(L"Background process finished."));
}

// A step that throws, here out of memory on the worker's thread, ends the
// pass as failed: the thread ends as after any pass, the window gets its
// buttons back, and a stop finds nothing left to wait for.
TEST_F(BackgroundProcessTest, AStepThatThrowsEndsThePassAsFailed)
{
    BackgroundProcess::SetCheckVersionCalls(0);
    BackgroundProcess worker(&mainWnd);
    {
        CAllocationFailure failure(0, 0, true);
        failure.SpareThread(GetCurrentThreadId());
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(WaitUntil([&] { return worker.GetState() == BackgroundProcess::STATE_FINISHED; }, 20000));
        EXPECT_GT(failure.Refused(), 0);
    }
    EXPECT_NE(worker.GetDoneMask() & BackgroundProcess::DONE_FULL, (DWORD)BackgroundProcess::DONE_FULL);
    Posted posted = Drain();
    EXPECT_EQ(posted.locks, std::vector<int>{1});
    worker.Stop(true);
    EXPECT_EQ(worker.GetState(), BackgroundProcess::STATE_FINISHED);
}

// A stop while a scheduled step waits on a stalled service: the step's
// request is cut short, the step ends as a failed step ("OMLastBackup"
// unchanged, its log line and status text), and the window of the waiting
// thread keeps painting meanwhile.
struct StalledStepCase
{
    const char* name;
    bool online;
    int frequency;
    const char* method;
    const char* stalled; // the stand-in's path that holds its answer back
    LPCWSTR failedText, failedLog;
};

class StalledStepTest : public WorkerRegisterTest, public ::testing::WithParamInterface<StalledStepCase>
{
};

// Counts the paints of the main window while the worker has not ended.
BackgroundProcess* g_painting = NULL;
int g_paintsWhileRunning = 0;
WNDPROC g_plainProc = NULL;
LRESULT CALLBACK PaintCounter(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_PAINT && g_painting && g_painting->GetState() != BackgroundProcess::STATE_FINISHED)
        ++g_paintsWhileRunning;
    return CallWindowProcW(g_plainProc, hwnd, msg, wParam, lParam);
}

TEST_P(StalledStepTest, AStopEndsTheStalledStepAsFailed)
{
    const StalledStepCase& c = GetParam();
    if (!c.online) {
        settings.SetOnlineBackupPassword(L"titok");
        EXPECT_EQ(0, COnlineBackup().Upload(NULL));
        Drain();
        ASSERT_NO_FATAL_FAILURE(GoOffline());
    }
    const std::string backupBytes = ReadFileBytes(settings.GetBackupFilePath());
    settings.WriteProfileInt(L"OMBackupFrequency", c.frequency);
    settings.WriteProfileInt(L"OMLastBackup", kEarlier);
    settings.SetOnlineBackupPassword(L"titok");
    ASSERT_TRUE(StandIn(L"/_control/fault", std::string("path=") + c.stalled + "\nmode=stall\nafter=-1\nseconds=30\n"));
    BackgroundProcess::SetCheckVersionCalls(1);
    const size_t requestsBefore = StandInRequests().size();
    LARGE_INTEGER start;
    {
        BackgroundProcess worker(&mainWnd);
        worker.SetWorkMode(c.online, !c.online);
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(WaitUntil([&] { return RequestsSeen(c.method, c.stalled, requestsBefore) == 1; }, 30000))
            << "the step did not reach the stalled request";
        ShowWindow(mainWnd.GetSafeHwnd(), SW_SHOWNOACTIVATE);
        UpdateWindow(mainWnd.GetSafeHwnd());
        g_painting = &worker;
        g_paintsWhileRunning = 0;
        g_plainProc = (WNDPROC)SetWindowLongPtrW(mainWnd.GetSafeHwnd(), GWLP_WNDPROC, (LONG_PTR)PaintCounter);
        InvalidateRect(mainWnd.GetSafeHwnd(), NULL, TRUE);
        start = ClockNow();
        worker.Stop(true);
        SetWindowLongPtrW(mainWnd.GetSafeHwnd(), GWLP_WNDPROC, (LONG_PTR)g_plainProc);
        g_painting = NULL;
    }
    const double took = ElapsedMs(start, ClockNow());
    printf("[ %s ] the stop took %.0f ms\n", c.name, took);
    EXPECT_LT(took, 10000.0) << "the stop waited for the stalled service";
    EXPECT_GE(g_paintsWhileRunning, 1) << "the window did not paint while the stop waited";
    Posted posted = Drain();
    EXPECT_EQ(c.failedText, posted.texts.empty() ? std::wstring() : posted.texts.back());
    EXPECT_EQ((std::vector<int>{0, 1, 1}), posted.locks);
    EXPECT_TRUE(Logged(c.failedLog));
    EXPECT_TRUE(Logged(L"Background process finished."));
    EXPECT_EQ(kEarlier, settings.GetProfileInt(L"OMLastBackup", -1)) << "a cut step counts as done";
    EXPECT_TRUE(ReadFileBytes(settings.GetBackupFilePath()) == backupBytes) << "the backup file changed";
}

const StalledStepCase kStalledSteps[] = {
    {"ScheduledUpload", true, 1, "POST", "/VApi/UploadDB.aspx", kBackupFailed, kBackupFailedLog},
    {"SynchronisationAskingWhere", false, 33, "GET", "/VApi/OnlineRestore.aspx", kSyncFailed, kSyncFailedLog},
    {"SynchronisationDownloading", false, 33, "GET", "/VApi/Backup.aspx", kSyncFailed, kSyncFailedLog},
};

INSTANTIATE_TEST_SUITE_P(Steps, StalledStepTest, ::testing::ValuesIn(kStalledSteps),
                         [](const ::testing::TestParamInfo<StalledStepCase>& info) { return info.param.name; });

TEST_F(BackgroundProcessTest, FinishedWorkerStopsAndStartsAgain)
{
    BackgroundProcess::SetCheckVersionCalls(1);
    BackgroundProcess worker(&mainWnd);
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return worker.GetState() == BackgroundProcess::STATE_FINISHED; }, 20000));
    worker.Stop(true);
    EXPECT_EQ(BackgroundProcess::STATE_FINISHED, worker.GetState());
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return worker.GetState() == BackgroundProcess::STATE_FINISHED; }, 20000));
}

} // namespace
