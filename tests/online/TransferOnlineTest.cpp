// The download and upload jobs against the web-service stand-in
// (tests/standins/webservice on 127.0.0.1:80): what counts as done, and that
// a failed transfer leaves an earlier file as it was.
#include <gtest/gtest.h>
#include <string>
#include "TempFolder.h"
#include "TransferTestSupport.h"
#include "foundation/RegisteredMessages.h"
#include "online/TransferJob.h"
#include "online/TransferManager.h"
#include "support/TestSupport.h"
#include "support/WebServiceControl.h"

namespace {

using namespace testing_support;

const wchar_t kUploadUrl[] = L"http://127.0.0.1/VApi/UploadDB.aspx?proba";

class TransferOnlineTest : public ::testing::Test
{
protected:
    TransferOnlineTest() : folder(L"transfer_online") {}
    void SetUp() override { ASSERT_TRUE(StandIn(L"/_control/reset")) << "the web-service stand-in does not answer"; }
    CTempFolder folder;
};

TEST_F(TransferOnlineTest, UploadIsDoneOnlyWhenTheServerAcceptedIt)
{
    struct Case {
        const char* name;
        int status;      // of the fixed reply; 0: the service's own answer
        const char* body;
        const char* fault; // _control/fault lines, or null
        bool ok;
    } cases[] = {
        {"200, ErrorCode=0", 200, "Status=1\nErrorCode=0\n", NULL, true},
        {"200, ErrorCode=12", 200, "ErrorCode=12\n", NULL, false},
        {"200, key in lower case", 200, "errorcode=12\n", NULL, true},
        {"200, code after blanks and before letters", 200, "ErrorCode=  7abc\n", NULL, false},
        {"200, empty answer", 200, "", NULL, true},
        {"500 with ErrorCode=0", 500, "ErrorCode=0\n", NULL, false},
        {"dropped connection", 0, "", "path=/VApi/UploadDB.aspx\nmode=drop\n", false},
        {"answer cut short", 0, "", "path=/VApi/UploadDB.aspx\nmode=cut\nafter=3\n", false},
        {"the service's own answer", 0, "", NULL, true},
    };
    const std::string zip = "PK\x03\x04 archive bytes \xC3\xA1rv\xC3\xADzt\xC5\xB1r\xC5\x91";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(StandIn(L"/_control/reset"));
        if (c.status)
            ASSERT_TRUE(StandInReply("/VApi/UploadDB.aspx", c.status, c.body));
        if (c.fault)
            ASSERT_TRUE(StandIn(L"/_control/fault", c.fault));
        ASSERT_TRUE(WriteFileBytes(folder / L"mentés.zip", zip));
        CTransferJob_Upload job(kUploadUrl, folder / L"mentés.zip");
        EXPECT_EQ(job.Run(), c.ok);
        EXPECT_EQ(job.GetState(), c.ok ? CTransferJob::STATE_DONE : CTransferJob::STATE_FAILED);
        EXPECT_TRUE(job.GetErrorText().IsEmpty());
        std::vector<StandInRequest> requests = StandInRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].method, "POST");
        EXPECT_EQ(requests[0].query, "proba");
        EXPECT_EQ(requests[0].body, zip);
        if (c.status == 200)
            EXPECT_EQ(ReadFileBytes(folder / L"mentés.zip.ulog"), c.body);
    }
}

TEST_F(TransferOnlineTest, UploadThatCannotStartFails)
{
    ASSERT_TRUE(WriteFileBytes(folder / L"mentés.zip", "PK"));
    CTransferJob_Upload job(L"http:///VApi/UploadDB.aspx", folder / L"mentés.zip");
    EXPECT_FALSE(job.Run());
    EXPECT_EQ(job.GetState(), CTransferJob::STATE_FAILED);
}

TEST_F(TransferOnlineTest, DownloadReplacesTheFileOnlyWhenComplete)
{
    struct Case {
        const char* name;
        LPCWSTR url;
        const char* fault;
        bool ok;
    } cases[] = {
        {"complete", L"http://127.0.0.1/_test/bytes?size=300000", NULL, true},
        {"empty and complete", L"http://127.0.0.1/_test/bytes?size=0", NULL, true},
        {"cut short", L"http://127.0.0.1/_test/bytes?size=300000", "path=/_test/bytes\nmode=cut\nafter=100000\n",
         false},
        {"dropped", L"http://127.0.0.1/_test/bytes?size=300000", "path=/_test/bytes\nmode=drop\n", false},
        {"not found", L"http://127.0.0.1/nincs/ilyen.zip", NULL, false},
        {"server error", L"http://127.0.0.1/_test/bytes?size=10", "path=/_test/bytes\nmode=status\nstatus=500\n",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(StandIn(L"/_control/reset"));
        if (c.fault)
            ASSERT_TRUE(StandIn(L"/_control/fault", c.fault));
        ASSERT_TRUE(WriteFileBytes(folder / L"letöltés.zip", "korábbi letöltés"));
        CTransferJob_Download job(c.url, folder / L"letöltés.zip");
        EXPECT_EQ(job.Run(), c.ok);
        EXPECT_EQ(job.GetState(), c.ok ? CTransferJob::STATE_DONE : CTransferJob::STATE_FAILED);
        std::string file = ReadFileBytes(folder / L"letöltés.zip");
        if (c.ok) {
            EXPECT_EQ(file.size(), wcsstr(c.url, L"size=0") ? 0u : 300000u);
            for (size_t i = 0; i < file.size(); ++i) {
                if ((BYTE)file[i] != (BYTE)((i % 4099) % 251)) {
                    ADD_FAILURE() << "byte " << i << " differs";
                    break;
                }
            }
        } else {
            EXPECT_EQ(file, "korábbi letöltés");
        }
        EXPECT_EQ(FileNames(folder.Path()), std::set<std::wstring>{L"letöltés.zip"}) << "no temporary file stays";
    }
}

// The backup's pipeline, run silently into a window of this thread: the
// range is the sum of the step counts and each job starts at the end of the
// ones before it; the upload's own completion only ends its share.
TEST_F(TransferOnlineTest, BackupPipelineMapsItsJobsOntoOneRange)
{
    HWND hWnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    ASSERT_TRUE(hWnd);
    ASSERT_TRUE(WriteFileBytes(folder / L"mentés.xml", "<?xml version=\"1.0\"?><DataBase/>"));
    std::vector<CProgressRecord> records;
    {
        CTransferManager manager;
        manager.AddEncrypt(folder / L"mentés.xml", folder / L"mentés.enc", L"titok");
        manager.AddCreateZIP(folder / L"mentés.zip", folder / L"mentés.enc");
        manager.AddUpload(kUploadUrl, folder / L"mentés.zip");
        EXPECT_TRUE(manager.RunSilently(hWnd, RunTexts()));
        MSG msg;
        while (PeekMessageW(&msg, hWnd, g_uMsgProgress, g_uMsgProgress, PM_REMOVE)) {
            CProgressRecord* record = reinterpret_cast<CProgressRecord*>(msg.wParam);
            records.push_back(*record);
            delete record;
        }
    }
    DestroyWindow(hWnd);
    ASSERT_GE(records.size(), 5u);
    EXPECT_EQ(records[0].m_kind, CProgressRecord::KIND_START);
    EXPECT_EQ(records[0].m_value, 30);
    EXPECT_EQ(records[1].m_value, 0);
    EXPECT_EQ(records[1].m_secondText, L"Titkosítás");
    EXPECT_EQ(records[2].m_kind, CProgressRecord::KIND_POSITION);
    EXPECT_EQ(records[2].m_value, 10) << "CreateZIP starts at 10";
    EXPECT_EQ(records[3].m_value, 20) << "the upload starts at 20";
    // The upload's request counts its bytes from 20 (its start record sets
    // the job's share to the file size; the dialog stops at its range).
    for (size_t i = 1; i + 1 < records.size(); ++i) {
        EXPECT_EQ(records[i].m_kind, CProgressRecord::KIND_POSITION) << "record " << i;
        EXPECT_GE(records[i].m_value, i < 3 ? 0 : 20) << "record " << i;
    }
    EXPECT_EQ(records.back().m_kind, CProgressRecord::KIND_COMPLETED);
    EXPECT_EQ(records.back().m_firstText, L"A mentés elkészült.");
    std::vector<StandInRequest> requests = StandInRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].body, ReadFileBytes(folder / L"mentés.zip"));
}

} // namespace
