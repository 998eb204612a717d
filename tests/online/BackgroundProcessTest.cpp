// The background worker against the web-service stand-in (ctest fixture
// "webservice", 127.0.0.1:80): the update check's body and replies, the
// schedule of the backup and the synchronisation, and the worker's lifetime.
// The worker posts to a plain main window of this thread; its messages are
// read from the queue once the worker has ended.
#include <gtest/gtest.h>
#include <algorithm>
#include "afxapp.h"
#include "foundation/AppSettings.h"
#include "foundation/Log.h"
#include "foundation/Progress.h"
#include "foundation/RegisteredMessages.h"
#include "online/BackgroundProcess.h"
#include "support/TestSupport.h"
#include "support/WebServiceControl.h"
#include "support/WindowDriver.h"
#include "../afx/WindowTestSupport.h"

namespace {

using namespace testing_support;

const wchar_t kKey[] = L"WorkerTest";
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
    if (c.update) {
        EXPECT_EQ(1, posted.tasks);
        EXPECT_EQ(L"Frissebb verzió letöltése", posted.texts.back());
        EXPECT_FALSE(Logged(L"BackgroundProcess - online backup"));
    } else {
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
     true},
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
// The schedule

struct ScheduleCase
{
    const char* name;
    bool online;       // else the store works from the backup file
    int frequency;     // "OMBackupFrequency", -1: not written
    int daysBack;      // "OMLastBackup" so many UTC days back, -1: 0
    bool password;
    std::vector<std::wstring> texts; // the status texts of the pass
    std::vector<std::wstring> logged; // log lines between the start and the end
    std::vector<int> locks;
};

class ScheduleTest : public BackgroundProcessTest, public ::testing::WithParamInterface<ScheduleCase>
{
};

const wchar_t kCheckingBackup[] = L"On-line mentés ellenőrzése";
const wchar_t kBackupNotDue[] = L"On-line mentés jelenleg nem szükséges";
const wchar_t kBackupRuns[] = L"On-line mentés végrehajtása";
const wchar_t kBackupFailed[] = L"On-line mentés közben hiba történt!";
const wchar_t kSyncRuns[] = L"Szinkronizálás: módosítások letöltése";
const wchar_t kSyncFailed[] = L"Szinkronizálás nem sikerült!";
const wchar_t kBackupStep[] = L"BackgroundProcess - online backup";
const wchar_t kBackupPerformed[] = L"Performing on-line backup";
const wchar_t kBackupStub[] = L"Scheduled online backup: not part of this build";
const wchar_t kBackupFailedLog[] = L"On-line backup failed!";
const wchar_t kSyncPerformed[] = L"Performing remote syncronization";
const wchar_t kSyncStub[] = L"Scheduled synchronisation: not part of this build";
const wchar_t kSyncFailedLog[] = L"Remote syncronization failed!";

TEST_P(ScheduleTest, RunsTheDueStep)
{
    const ScheduleCase& c = GetParam();
    if (c.frequency != -1)
        settings.WriteProfileInt(L"OMBackupFrequency", c.frequency);
    if (c.daysBack >= 0)
        settings.WriteProfileInt(L"OMLastBackup", (int)time(NULL) - c.daysBack * 86400);
    if (c.password)
        settings.SetOnlineBackupPassword(L"titok");
    BackgroundProcess::SetCheckVersionCalls(1); // this process has checked
    Posted posted = RunWorker(c.online, !c.online);
    EXPECT_EQ(c.texts, posted.texts);
    EXPECT_EQ(c.locks, posted.locks);
    EXPECT_TRUE(posted.completed);
    std::vector<std::wstring> lines = Log();
    std::vector<std::wstring> between;
    bool inside = false;
    for (const std::wstring& line : lines) {
        if (line == L"Background process finished.")
            break;
        if (inside)
            between.push_back(line);
        inside = inside || line == L"Background process started.";
    }
    EXPECT_EQ(c.logged, between);
    // Nothing reaches the service in a pass without the check.
    EXPECT_TRUE(StandInRequests().empty());
}

const ScheduleCase kScheduleCases[] = {
    {"WeeklySixDaysAgo", true, 2, 6, true, {kCheckingBackup, kBackupNotDue}, {kBackupStep}, {1}},
    {"WeeklySevenDaysAgo", true, 2, 7, true, {kCheckingBackup, kBackupRuns, kBackupFailed},
     {kBackupStep, kBackupPerformed, kBackupStub, kBackupFailedLog}, {0, 1, 1}},
    {"DailyYesterday", true, 1, 1, true, {kCheckingBackup, kBackupRuns, kBackupFailed},
     {kBackupStep, kBackupPerformed, kBackupStub, kBackupFailedLog}, {0, 1, 1}},
    {"DailyToday", true, 1, 0, true, {kCheckingBackup, kBackupNotDue}, {kBackupStep}, {1}},
    {"MonthlyNeverBackedUp", true, 3, -1, true, {kCheckingBackup, kBackupRuns, kBackupFailed},
     {kBackupStep, kBackupPerformed, kBackupStub, kBackupFailedLog}, {0, 1, 1}},
    {"MonthlyThirtyDaysAgo", true, 3, 30, true, {kCheckingBackup, kBackupNotDue}, {kBackupStep}, {1}},
    {"OddFrequencyNeverDue", true, 5, 400, true, {kCheckingBackup, kBackupNotDue}, {kBackupStep}, {1}},
    {"OddFrequencyFirstTime", true, 31, -1, true, {kCheckingBackup, kBackupRuns, kBackupFailed},
     {kBackupStep, kBackupPerformed, kBackupStub, kBackupFailedLog}, {0, 1, 1}},
    {"NoPassword", true, 1, -1, false, {}, {kBackupStep}, {1}},
    {"NoSchedule", true, -1, -1, true, {}, {kBackupStep}, {1}},
    {"SyncOnlineRunsNeither", true, 34, 7, true, {}, {kBackupStep}, {1}},
    {"SyncWeeklySevenDaysAgo", false, 34, 7, true, {kSyncRuns, kSyncFailed},
     {kBackupStep, kSyncPerformed, kSyncStub, kSyncFailedLog}, {0, 1, 1}},
    {"SyncWeeklySixDaysAgo", false, 34, 6, true, {}, {kBackupStep, kSyncPerformed}, {1}},
    {"SyncNoPassword", false, 33, -1, false, {}, {kBackupStep}, {1}},
    {"BackupOfflineRunsNeither", false, 2, 7, true, {}, {kBackupStep}, {1}},
};

INSTANTIATE_TEST_SUITE_P(Frequencies, ScheduleTest, ::testing::ValuesIn(kScheduleCases),
                         [](const ::testing::TestParamInfo<ScheduleCase>& info) { return info.param.name; });

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
