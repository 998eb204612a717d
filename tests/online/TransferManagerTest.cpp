// The transfer manager behind the real progress dialog, driven as a user
// would: a backup pipeline against the web-service stand-in, failing jobs,
// and aborts confirmed while a download stalls or a job of the test's own
// runs.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string>
#include "TempFolder.h"
#include "TransferTestSupport.h"
#include "online/TransferManager.h"
#include "resource.h"
#include "support/TestSupport.h"
#include "support/WebServiceControl.h"
#include "support/WindowDriver.h"

namespace {

using namespace testing_support;

CString ScreenshotFolder()
{
    wchar_t folder[MAX_PATH] = {0};
    GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", folder, MAX_PATH);
    return folder;
}

HWND WaitForProgressDialog()
{
    return WaitForWindow(L"#32770", RunTexts()[0], 10000);
}

// Clicks the dialog's button and confirms the abort question.
void ConfirmAbort(HWND dialog)
{
    Click(Control(dialog, IDCANCEL));
    HWND question = WaitForWindow(L"#32770", L"Figyelmeztetés");
    ASSERT_TRUE(question);
    EXPECT_EQ(Text(ControlByText(question, L"Valóban megszakítsam a letöltést?")),
              L"Valóban megszakítsam a letöltést?");
    Click(Control(question, IDYES));
}

class TransferManagerTest : public ::testing::Test
{
protected:
    TransferManagerTest() : folder(L"transfer_manager") {}
    void SetUp() override { ASSERT_TRUE(StandIn(L"/_control/reset")) << "the web-service stand-in does not answer"; }
    CTempFolder folder;
};

TEST_F(TransferManagerTest, BackupPipelineCompletesBehindTheDialog)
{
    ASSERT_TRUE(WriteFileBytes(folder / L"mentés.xml", "<?xml version=\"1.0\"?><DataBase/>"));
    CTransferManager manager;
    manager.AddEncrypt(folder / L"mentés.xml", folder / L"mentés.enc", L"titok");
    manager.AddCreateZIP(folder / L"mentés.zip", folder / L"mentés.enc");
    manager.AddUpload(L"http://127.0.0.1/VApi/UploadDB.aspx?proba", folder / L"mentés.zip");
    int range = 0, position = 0;
    CString first, second, button;
    CWindowDriver driver([&] {
        HWND dialog = WaitForProgressDialog();
        ASSERT_TRUE(dialog);
        ASSERT_TRUE(WaitUntil([&] { return Text(Control(dialog, IDC_PROGRESS_TEXT1)) == RunTexts()[2]; }, 20000));
        HWND bar = Control(dialog, IDC_PROGRESS_BAR);
        range = (int)SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
        position = (int)SendMessageW(bar, PBM_GETPOS, 0, 0);
        first = Text(Control(dialog, IDC_PROGRESS_TEXT1));
        second = Text(Control(dialog, IDC_PROGRESS_TEXT2));
        button = Text(Control(dialog, IDCANCEL));
        if (!ScreenshotFolder().IsEmpty())
            EXPECT_TRUE(SaveWindowBitmap(dialog, ScreenshotFolder() + L"\\transfer-progress.bmp"));
        Click(Control(dialog, IDCANCEL));
    });
    EXPECT_TRUE(manager.RunWithDialog(NULL, RunTexts(), false));
    EXPECT_FALSE(driver.Join());
    EXPECT_EQ(range, 30);
    EXPECT_EQ(position, 30);
    EXPECT_EQ(first, L"A mentés elkészült.");
    EXPECT_EQ(second, L"Kattintson az OK gombra!");
    EXPECT_EQ(button, L"OK");
    EXPECT_EQ(manager.GetResultBits(), 0u);
    EXPECT_EQ(StandInRequests().size(), 1u);
}

TEST_F(TransferManagerTest, FailingJobEndsTheRunWithItsTextOrTheAbortedTexts)
{
    struct Case {
        const char* name;
        LPCWSTR errorText;
        DWORD bits;
        LPCWSTR second; // shown once the run ended
    } cases[] = {
        {"without an error text", L"", 1, L"Kattintson a Kilép gombra!"},
        {"with an error text", L"Hiba a titkosítás visszafejtése során.", 3,
         L"Hiba a titkosítás visszafejtése során."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTransferManager manager;
        CScriptJob* first = new CScriptJob(nullptr, L"Első");
        CScriptJob* failing = new CScriptJob([](CScriptJob&) { return false; }, L"Második", c.errorText);
        CScriptJob* third = new CScriptJob(nullptr, L"Harmadik");
        manager.AddJob(first);
        manager.AddJob(failing);
        manager.AddJob(third);
        CString second, button;
        CWindowDriver driver([&] {
            HWND dialog = WaitForProgressDialog();
            ASSERT_TRUE(dialog);
            ASSERT_TRUE(WaitUntil([&] { return Text(Control(dialog, IDCANCEL)) == L"Kilép"; }, 10000));
            second = Text(Control(dialog, IDC_PROGRESS_TEXT2));
            Click(Control(dialog, IDCANCEL));
        });
        EXPECT_FALSE(manager.RunWithDialog(NULL, RunTexts(), false));
        EXPECT_FALSE(driver.Join());
        EXPECT_EQ(manager.GetResultBits(), c.bits);
        EXPECT_EQ(second, c.second);
        EXPECT_EQ(first->runs, 1);
        EXPECT_EQ(third->runs, 0);
    }
}

// The request looks at the abort between its steps, so it ends once the
// stalled server sends again.
TEST_F(TransferManagerTest, AbortWhileADownloadStallsEndsTheRun)
{
    ASSERT_TRUE(StandIn(L"/_control/fault", "path=/_test/bytes\nmode=stall\nafter=1000\nseconds=4\n"));
    ASSERT_TRUE(WriteFileBytes(folder / L"letöltés.zip", "korábbi"));
    CTransferManager manager;
    manager.AddDownload(L"http://127.0.0.1/_test/bytes?size=100000", folder / L"letöltés.zip");
    CScriptJob* next = new CScriptJob(nullptr);
    manager.AddJob(next);
    CWindowDriver driver(
        [&] {
            HWND dialog = WaitForProgressDialog();
            ASSERT_TRUE(dialog);
            ASSERT_TRUE(WaitUntil([] { return !StandInRequests().empty(); }, 10000));
            ConfirmAbort(dialog);
            ASSERT_TRUE(WaitForWindowGone(dialog, 15000));
        },
        20000);
    EXPECT_FALSE(manager.RunWithDialog(NULL, RunTexts(), true));
    EXPECT_FALSE(driver.Join());
    EXPECT_EQ(next->runs, 0);
    EXPECT_EQ(manager.GetJobs()[0]->GetState(), CTransferJob::STATE_FAILED);
    EXPECT_EQ(ReadFileBytes(folder / L"letöltés.zip"), "korábbi");
    EXPECT_EQ(FileNames(folder.Path()), std::set<std::wstring>{L"letöltés.zip"});
}

TEST_F(TransferManagerTest, AbortWhileAJobOfItsOwnRunsStopsBeforeTheNextJob)
{
    CTransferManager manager;
    std::atomic<bool> running{false};
    CScriptJob* slow = new CScriptJob(
        [&](CScriptJob& job) {
            running = true;
            // Runs until the user confirmed aborting (bounded), not noticing
            // the request itself.
            WaitUntil([&] { return job.GetProgress()->IsAbortRequested(); }, 15000);
            return true;
        },
        L"Lassú munka");
    CScriptJob* next = new CScriptJob(nullptr, L"Következő");
    manager.AddJob(slow);
    manager.AddJob(next);
    CWindowDriver driver(
        [&] {
            HWND dialog = WaitForProgressDialog();
            ASSERT_TRUE(dialog);
            ASSERT_TRUE(WaitUntil([&] { return running.load(); }, 10000));
            ConfirmAbort(dialog);
            ASSERT_TRUE(WaitForWindowGone(dialog, 15000));
        },
        20000);
    EXPECT_FALSE(manager.RunWithDialog(NULL, RunTexts(), true));
    EXPECT_FALSE(driver.Join());
    EXPECT_EQ(slow->GetState(), CTransferJob::STATE_DONE);
    EXPECT_EQ(next->runs, 0);
    EXPECT_EQ(next->GetState(), CTransferJob::STATE_QUEUED);
}

} // namespace
