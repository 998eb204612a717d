// The online backup of a register from the test SQL server to the
// web-service stand-in: the work files, what the service stores, the backup
// time, and the failures that leave it as it was.
#include <gtest/gtest.h>
#include <time.h>
#include <windows.h>
#include <functional>
#include <string>
#include "../afx/WindowTestSupport.h"
#include "../storage/StorageTestSupport.h"
#include "OnlineTestSupport.h"
#include "TestSqlServer.h"
#include "TransferTestSupport.h"
#include "foundation/Conversions.h"
#include "online/OnlineBackup.h"
#include "online/TransferJob.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/DatabaseContext.h"
#include "storage/UgyiratStore.h"
#include "support/TestSupport.h"
#include "support/WebServiceControl.h"
#include "support/WindowDriver.h"

namespace {

using namespace testing_support;
using oledb_standin::CTestSqlServer;

using namespace online_test;

class OnlineBackupTest : public COnlineRegisterTest
{
public:
    OnlineBackupTest() : COnlineRegisterTest(L"OnlineBackupTest") {}


    // The work files' base name of today.
    CString Base()
    {
        SYSTEMTIME now;
        GetLocalTime(&now);
        CString base;
        base.Format(L"%sdb_2_%d%02d%02d", (LPCWSTR)env.Folder(), now.wYear, now.wMonth, now.wDay);
        return base;
    }


    // Runs the upload; with the dialog, the script presses its button once
    // it shows the caption expected.
    int Upload(bool withDialog, LPCWSTR endButton = L"OK")
    {
        COnlineBackup backup;
        if (!withDialog)
            return backup.Upload(NULL);
        int result = 1;
        window_test::CWatchdog watchdog(60000);
        CString shown;
        CWindowDriver driver([&] {
            HWND dialog = WaitForWindow(L"#32770", L"On-line mentés", 20000);
            ASSERT_TRUE(dialog);
            ASSERT_TRUE(WaitUntil([&] { return Text(Control(dialog, IDCANCEL)) == endButton; }, 30000));
            Click(Control(dialog, IDCANCEL));
        });
        result = backup.Upload(&parent);
        EXPECT_FALSE(driver.Join());
        return result;
    }

};

TEST_F(OnlineBackupTest, BackupStoresTheArchiveOnTheServiceAndRecordsTheTime)
{
    for (bool withDialog : {false, true}) {
        SCOPED_TRACE(withDialog ? "behind the progress dialog" : "silently");
        ASSERT_TRUE(StandIn(L"/_control/reset"));
        const time_t before = time(NULL);
        EXPECT_EQ(Upload(withDialog), 0);
        const time_t after = time(NULL);
        const CString base = Base();
        for (LPCWSTR ext : {L".xml", L".enc", L".zip", L".zip.ulog"})
            EXPECT_TRUE(FileExists(base + ext)) << CStringA(ext).GetString();

        // The XML holds every case of the central table.
        const std::string xml = ReadFileBytes(base + L".xml");
        for (LPCWSTR name : {L"Kovács Ödön", L"Tóth Ágnes", L"Nagy Péter", L"'sürgős'"})
            EXPECT_NE(xml.find(WideToUtf8(name).GetString()), std::string::npos) << WideToUtf8(name).GetString();

        std::vector<StandInRequest> requests = StandInRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].method, "POST");
        EXPECT_EQ(requests[0].path, "/VApi/UploadDB.aspx");
        EXPECT_EQ(requests[0].query, kAccountQuery);
        const std::string zip = ReadFileBytes(base + L".zip");
        ASSERT_GT(zip.size(), 4u);
        EXPECT_EQ(zip.substr(0, 4), std::string("PK\x03\x04"));
        EXPECT_EQ(requests[0].body, zip);

        // What the service hands back is the local archive.
        CTransferJob_Download download(
            CString(L"http://127.0.0.1/VApi/Backup.aspx?account=") + CString(kAccountQuery) + L"&file=backup_0001.zip",
            env.Folder() + L"stored.zip");
        ASSERT_TRUE(download.Run());
        EXPECT_EQ(ReadFileBytes(env.Folder() + L"stored.zip"), zip);

        EXPECT_GE(LastBackup(), (int)(DWORD)before);
        EXPECT_LE(LastBackup(), (int)(DWORD)after);
        env.Settings().WriteProfileInt(L"OMLastBackup", kEarlierBackup);
    }
}

// The export reads through a connection of its own: a read of the store's
// table that is under way goes on undisturbed.
TEST_F(OnlineBackupTest, TheExportLeavesTheStoresOwnTableAlone)
{
    CRDBTable* table = store().GetTable();
    ASSERT_TRUE(table->OpenSelect());
    ASSERT_TRUE(table->MoveNext());
    EXPECT_EQ(Upload(false), 0);
    int rows = 1;
    while (table->MoveNext())
        ++rows;
    EXPECT_FALSE(table->ReadFailed());
    table->Close();
    EXPECT_EQ(rows, 3);
}

TEST_F(OnlineBackupTest, FailuresLeaveTheBackupTimeAsItWas)
{
    struct Case {
        const char* name;
        std::function<void(OnlineBackupTest&)> prepare;
        bool withDialog;
        LPCWSTR endButton;
        int result;
        bool requested; // the upload reached the service
    } cases[] = {
        {"no password", [](OnlineBackupTest& t) { t.env.Settings().SetOnlineBackupPassword(L""); }, false, NULL,
         -1, false},
        {"the central database is down", [](OnlineBackupTest& t) { t.server.SetDown(true); }, false, NULL, -2,
         false},
        {"the read breaks off",
         [](OnlineBackupTest& t) {
             CTestSqlServer::Failure failure;
             failure.statement = L"tUgyirat";
             failure.at = CTestSqlServer::kAtGetNextRows;
             failure.afterRows = 1;
             t.server.FailStatement(failure);
         },
         false, NULL, -2, false},
        {"server error, silently",
         [](OnlineBackupTest&) { ASSERT_TRUE(StandInReply("/VApi/UploadDB.aspx", 500, "ErrorCode=0\n")); }, false,
         NULL, -3, true},
        {"the service refuses, silently",
         [](OnlineBackupTest&) { ASSERT_TRUE(StandInReply("/VApi/UploadDB.aspx", 200, "ErrorCode=12\n")); }, false,
         NULL, -3, true},
        {"server error, behind the dialog",
         [](OnlineBackupTest&) { ASSERT_TRUE(StandInReply("/VApi/UploadDB.aspx", 500, "ErrorCode=0\n")); }, true,
         L"Kilép", -4, true},
        {"dropped connection, behind the dialog",
         [](OnlineBackupTest&) { ASSERT_TRUE(StandIn(L"/_control/fault", "path=/VApi/UploadDB.aspx\nmode=drop\n")); },
         true, L"Kilép", -4, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(StandIn(L"/_control/reset"));
        RemoveFolder(env.Folder());
        server.SetDown(false);
        server.ClearFailure();
        env.Settings().SetOnlineBackupPassword(kPassword);
        c.prepare(*this);
        EXPECT_EQ(Upload(c.withDialog, c.endButton), c.result);
        EXPECT_EQ(LastBackup(), kEarlierBackup);
        const size_t requests = StandInRequests().size();
        EXPECT_EQ(requests, c.requested ? 1u : 0u);
        if (c.result == -1) {
            EXPECT_TRUE(FileNames(env.Folder()).empty()) << "no work file";
        }
        if (c.result == -2) {
            EXPECT_FALSE(FileExists(Base() + L".zip"));
        }
    }
}

} // namespace
