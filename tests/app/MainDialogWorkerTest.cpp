// The main dialog with its background worker, against the web-service
// stand-in (ctest fixture "webservice", 127.0.0.1:80) and the test SQL
// server: the commands that change data are locked while a scheduled backup
// runs, and come back when it ends.
#include <gtest/gtest.h>
#include <time.h>
#include <algorithm>
#include <string>
#include <vector>
#include "MainDialogTestSupport.h"
#include "TestSqlServer.h"
#include "foundation/AppSettings.h"
#include "online/BackgroundProcess.h"
#include "support/WebServiceControl.h"
#include "support/WindowDriver.h"

namespace {

using namespace testing_support;

const int kNew = 1001, kModify = 1002, kDelete = 1003, kFullList = 1004, kRefresh = 1008, kSearch = 1006;

bool Enabled(HWND main, int id)
{
    return IsWindowEnabled(Control(main, id)) != FALSE;
}

bool UploadSeen()
{
    for (const StandInRequest& r : StandInRequests())
        if (r.method == "POST" && r.path == "/VApi/UploadDB.aspx")
            return true;
    return false;
}

class MainDialogWorkerTest : public main_dialog_test::MainDialogFixture
{
protected:
    void SetUp() override
    {
        MainDialogFixture::SetUp();
        ASSERT_TRUE(StandIn(L"/_control/reset")) << "the web-service stand-in does not answer on 127.0.0.1:80";
        OpenCentralRegister(server, {MakeRecord(2024, 1, L"Kiss Péter", L"Nagy Árpád"),
                                     MakeRecord(2024, 2, L"Kovács Anna", L"Szabó Béla")});
        CAppSettings& settings = env.Settings();
        settings.WriteProfileString(L"Server", L"http://127.0.0.1/");
        settings.WriteProfileString(L"AccountId", L"iroda-1");
        settings.SetOnlineBackupPassword(L"titok");
        // A daily backup never made: the first worker runs it.
        settings.WriteProfileInt(L"OMBackupFrequency", 1);
        settings.WriteProfileInt(L"OMLastBackup", 0);
        BackgroundProcess::SetCheckVersionCalls(1); // this process has checked
    }
    void TearDown() override
    {
        StandIn(L"/_control/reset");
        MainDialogFixture::TearDown();
    }

    oledb_standin::CTestSqlServer server;
};

// Timer 100 starts the worker 3000 ms after the window opens; the stand-in
// holds the upload's answer back for a while, and the commands stay locked
// until the backup has ended.
TEST_F(MainDialogWorkerTest, AScheduledBackupLocksTheCommandsThatChangeData)
{
    ASSERT_TRUE(StandIn(L"/_control/fault", "path=/VApi/UploadDB.aspx\nmode=stall\nafter=-1\nseconds=6\ntimes=1\n"));
    const int before = (int)time(NULL);
    RunMainDialog(
        [&](HWND main) {
            for (int id : {kNew, kModify, kDelete, kFullList})
                EXPECT_TRUE(Enabled(main, id)) << id;
            ASSERT_TRUE(WaitUntil(UploadSeen, 20000)) << "no scheduled upload";
            EXPECT_TRUE(WaitUntil([&] { return !Enabled(main, kFullList); }));
            for (int id : {kNew, kModify, kDelete, kFullList})
                EXPECT_FALSE(Enabled(main, id)) << id;
            // The reading side stays at hand.
            for (int id : {kRefresh, kSearch})
                EXPECT_TRUE(Enabled(main, id)) << id;
            EXPECT_FALSE(LogHas(L"On-line backup executed successfully.")) << "the upload was not held back";

            EXPECT_TRUE(WaitUntil([&] { return Enabled(main, kFullList); }, 40000));
            for (int id : {kNew, kModify, kDelete, kFullList})
                EXPECT_TRUE(Enabled(main, id)) << id;
            EXPECT_TRUE(LogHas(L"On-line backup executed successfully."));
            PostMessageW(main, WM_CLOSE, 0, 0);
        },
        10000);
    const int after = (int)time(NULL);
    const int last = env.Settings().GetProfileInt(L"OMLastBackup", -1);
    EXPECT_GE(last, before);
    EXPECT_LE(last, after);
    std::vector<std::wstring> lines = LogLines();
    auto at = [&](const std::wstring& line) { return std::find(lines.begin(), lines.end(), line) - lines.begin(); };
    EXPECT_LT(at(L"Performing on-line backup"), at(L"On-line backup executed successfully."));
    EXPECT_LT(at(L"On-line backup executed successfully."), at(L"Background process finished."));
    EXPECT_LT(at(L"Background process finished."), (std::ptrdiff_t)lines.size());
}

// Closing the program while a scheduled upload waits on a stalled service:
// the exit cuts the upload short and ends within seconds, the upload counts
// as failed ("OMLastBackup" unchanged), and the main window keeps painting
// while the exit waits for the worker.
TEST_F(MainDialogWorkerTest, ExitDuringAStalledScheduledUploadEndsAtOnce)
{
    ASSERT_TRUE(StandIn(L"/_control/fault", "path=/VApi/UploadDB.aspx\nmode=stall\nafter=-1\nseconds=30\n"));
    DWORD closedAt = 0;
    bool paintedWhileWaiting = false;
    RunMainDialog(
        [&](HWND main) {
            ASSERT_TRUE(WaitUntil(UploadSeen, 20000)) << "no scheduled upload";
            closedAt = GetTickCount();
            PostMessageW(main, WM_CLOSE, 0, 0);
            ASSERT_TRUE(WaitUntil([&] { return LogHas(L"Background process stopping: waiting for the running step to end"); },
                                  10000));
            InvalidateRect(main, NULL, FALSE);
            bool painted = WaitUntil([&] { return !GetUpdateRect(main, NULL, FALSE); }, 5000);
            paintedWhileWaiting = painted && !LogHas(L"Background process finished.");
        },
        15000);
    const DWORD endedAt = GetTickCount();
    ASSERT_NE(0u, closedAt);
    printf("the exit took %u ms\n", (unsigned)(endedAt - closedAt));
    EXPECT_LT(endedAt - closedAt, 10000u) << "the exit waited for the stalled service";
    EXPECT_TRUE(paintedWhileWaiting) << "the main window did not paint while the exit waited";
    EXPECT_EQ(0, env.Settings().GetProfileInt(L"OMLastBackup", -1)) << "a cut upload counts as a backup";
    std::vector<std::wstring> lines = LogLines();
    auto at = [&](const std::wstring& line) { return std::find(lines.begin(), lines.end(), line) - lines.begin(); };
    EXPECT_LT(at(L"Performing on-line backup"), at(L"On-line backup failed!"));
    EXPECT_LT(at(L"On-line backup failed!"), at(L"Background process finished."));
    EXPECT_LT(at(L"Background process finished."), (std::ptrdiff_t)lines.size());
    EXPECT_EQ((std::ptrdiff_t)lines.size(), at(L"On-line backup executed successfully."));
}

// An update offer whose installer is refused skips nothing: after "Igen" and
// the refusal, the next worker runs the day's scheduled backup.
TEST_F(MainDialogWorkerTest, AfterARefusedInstallerTheScheduledBackupRuns)
{
    BackgroundProcess::SetCheckVersionCalls(0); // the first worker checks
    // Unsigned, over plain HTTP: refused.
    ASSERT_TRUE(StandInOfferUpdate(ProgramFolder() + L"test_installer.exe"));
    const int before = (int)time(NULL);
    RunMainDialog(
        [&](HWND main) {
            HWND question = WaitForWindow(L"#32770", L"Frissítés", 20000);
            ASSERT_TRUE(question) << "no update offered";
            EXPECT_FALSE(UploadSeen()) << "the pass that offers the update backs up nothing";
            ClickId(question, IDYES);
            HWND dlg = WaitForWindow(L"#32770", L"Program frissítése", 10000);
            ASSERT_TRUE(dlg);
            ASSERT_TRUE(WaitUntil([&] { return Text(Control(dlg, IDCANCEL)) == L"OK"; }, 30000));
            ClickId(dlg, IDCANCEL);
            HWND refused = NULL;
            ASSERT_TRUE(WaitUntil([&] {
                refused = FindTopWindow(L"#32770", L"Frissítés");
                return refused && ReadBox(refused).text.Find(L"hitelessége nem ellenőrizhető") >= 0;
            }, 10000)) << "the installer was not refused";
            ClickId(refused, IDOK);
            EXPECT_TRUE(WaitUntil(UploadSeen, 20000)) << "the scheduled backup did not run";
            EXPECT_TRUE(WaitUntil([&] { return LogHas(L"On-line backup executed successfully."); }, 30000));
            PostMessageW(main, WM_CLOSE, 0, 0);
        },
        10000);
    const int last = env.Settings().GetProfileInt(L"OMLastBackup", -1);
    EXPECT_GE(last, before);
    std::vector<std::wstring> lines = LogLines();
    auto refusedAt = std::find_if(lines.begin(), lines.end(), [](const std::wstring& line) {
        return line.find(L"SelfUpdate - installer refused: ") == 0;
    });
    EXPECT_LT(refusedAt - lines.begin(),
              std::find(lines.begin(), lines.end(), L"Performing on-line backup") - lines.begin());
}

} // namespace
