// The transfer jobs that work on files (cipher and archive steps), the
// upload's answer-file reader, and the manager's silent run with jobs of the
// test's own.
#include <gtest/gtest.h>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>
#include "TempFolder.h"
#include "TransferTestSupport.h"
#include "foundation/RegisteredMessages.h"
#include "online/CryptoApiCipher.h"
#include "online/TransferJob.h"
#include "online/TransferManager.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"

namespace {

using namespace testing_support;

const char kXmlHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

std::string BackupXml(size_t size)
{
    std::string xml = kXmlHead;
    xml += "<DataBase><Tables><Table name=\"tUgyirat\"><Rows>";
    for (int i = 0; xml.size() < size; ++i)
        xml += "<Row><data>2024</data><data>" + std::to_string(i) + "</data><data>Kovács Ödön</data></Row>";
    xml.resize(size);
    return xml;
}

class TransferJobTest : public ::testing::Test
{
protected:
    TransferJobTest() : folder(L"transfer_jobs") {}
    CTempFolder folder;
};

TEST_F(TransferJobTest, JobsStartQueuedWithTheirNamesStepsAndIds)
{
    CTransferJob_Download download(L"http://127.0.0.1/x", folder / L"a");
    CTransferJob_Upload upload(L"http://127.0.0.1/x", folder / L"a");
    CTransferJob_CreateZIP zip(folder / L"a.zip", folder / L"a");
    CTransferJob_CreateZIP zipNamed(folder / L"a.zip", 0, 0);
    CTransferJob_ExtractFromZIP extract(folder / L"a.zip", folder / L"a");
    CTransferJob_Encrypt encrypt(folder / L"a", folder / L"b", L"pw");
    CTransferJob_Decrypt decrypt(folder / L"a", folder / L"b", L"pw");
    struct Case {
        CTransferJob* job;
        LPCWSTR name;
    } cases[] = {{&download, L""},
                 {&upload, L""},
                 {&zip, L""},
                 {&zipNamed, L"Tömörítés"},
                 {&extract, L"Tömörítés kibontása"},
                 {&encrypt, L"Titkosítás"},
                 {&decrypt, L"Titkosítás visszafejtése"}};
    int lastId = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(CStringA(c.name).GetString());
        EXPECT_EQ(c.job->GetState(), CTransferJob::STATE_QUEUED);
        EXPECT_EQ(c.job->GetName(), c.name);
        EXPECT_EQ(c.job->GetStepCount(), 10);
        EXPECT_TRUE(c.job->GetErrorText().IsEmpty());
        EXPECT_GT(c.job->GetId(), lastId);
        lastId = c.job->GetId();
    }
}

TEST_F(TransferJobTest, EncryptZipExtractDecryptGiveTheXmlBack)
{
    const std::string xml = BackupXml(100000);
    ASSERT_TRUE(WriteFileBytes(folder / L"mentés.xml", xml));
    CTransferJob_Encrypt encrypt(folder / L"mentés.xml", folder / L"mentés.enc", L"Árvíztűrő jelszó");
    CTransferJob_CreateZIP zip(folder / L"mentés.zip", folder / L"mentés.enc");
    CTransferJob_ExtractFromZIP extract(folder / L"mentés.zip", folder / L"letöltés.enc");
    CTransferJob_Decrypt decrypt(folder / L"letöltés.enc", folder / L"letöltés.xml", L"Árvíztűrő jelszó");
    for (CTransferJob* job : std::vector<CTransferJob*>{&encrypt, &zip, &extract, &decrypt}) {
        EXPECT_TRUE(job->Run());
        EXPECT_EQ(job->GetState(), CTransferJob::STATE_DONE);
    }
    EXPECT_EQ(ReadFileBytes(folder / L"letöltés.xml"), xml);
    EXPECT_EQ(ReadFileBytes(folder / L"letöltés.enc"), ReadFileBytes(folder / L"mentés.enc"));
    EXPECT_EQ(FileNames(folder.Path()), (std::set<std::wstring>{L"mentés.xml", L"mentés.enc", L"mentés.zip",
                                                               L"letöltés.enc", L"letöltés.xml"}));
}

// The password below gives an RC4 backup of a 1 MiB + 4 byte XML whose
// first four bytes read as a length the AES container test accepts; found by
// tests/online/find_rc4_aes_length.py.
const wchar_t kRc4LooksLikeAes[] = L"jelszó-5488";

TEST_F(TransferJobTest, DecryptReadsAesAndOlderRc4Backups)
{
    const std::string xml = BackupXml(4 + 16 * 65536);
    ASSERT_TRUE(WriteFileBytes(folder / L"eredeti.xml", xml));
    CTransferJob_Encrypt aes(folder / L"eredeti.xml", folder / L"aes.enc", L"titok");
    ASSERT_TRUE(aes.Run());
    ASSERT_TRUE(CCryptoApiCipher(L"titok", CALG_RC4).EncryptFile(folder / L"eredeti.xml", folder / L"rc4.enc"));
    ASSERT_TRUE(
        CCryptoApiCipher(kRc4LooksLikeAes, CALG_RC4).EncryptFile(folder / L"eredeti.xml", folder / L"rc4aes.enc"));
    {
        std::string head = ReadFileBytes(folder / L"rc4aes.enc").substr(0, 4);
        DWORD length = (BYTE)head[0] | (BYTE)head[1] << 8 | (BYTE)head[2] << 16 | (DWORD)(BYTE)head[3] << 24;
        ASSERT_LE(length, xml.size() - 4) << "the file must pass the container's length test";
    }

    struct Case {
        const char* name;
        LPCWSTR source;
        LPCWSTR password;
        bool ok;
        bool plaintext; // the output is the XML
    } cases[] = {
        {"AES backup", L"aes.enc", L"titok", true, true},
        {"AES backup, wrong password: passes with other bytes", L"aes.enc", L"rossz", true, false},
        {"RC4 backup", L"rc4.enc", L"titok", true, true},
        {"RC4 backup that looks like a container", L"rc4aes.enc", kRc4LooksLikeAes, true, true},
        {"missing source", L"nincs.enc", L"titok", false, false},
        {"empty password", L"aes.enc", L"", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteFileBytes(folder / L"kimenet.xml", "korábbi"));
        CTransferJob_Decrypt job(folder / c.source, folder / L"kimenet.xml", c.password);
        EXPECT_EQ(job.Run(), c.ok);
        EXPECT_EQ(job.GetState(), c.ok ? CTransferJob::STATE_DONE : CTransferJob::STATE_FAILED);
        std::string out = ReadFileBytes(folder / L"kimenet.xml");
        if (c.ok) {
            EXPECT_EQ(out == xml, c.plaintext);
            EXPECT_TRUE(job.GetErrorText().IsEmpty());
        } else {
            EXPECT_EQ(out, "korábbi");
        }
        if (!c.ok && c.password[0]) {
            EXPECT_EQ(job.GetErrorText(), L"Hiba a titkosítás visszafejtése során.");
        }
        EXPECT_EQ(FileNames(folder.Path()).size(), 5u) << "no temporary file stays";
    }
}

TEST_F(TransferJobTest, FailedFileJobsKeepTheEarlierOutput)
{
    ASSERT_TRUE(WriteFileBytes(folder / L"adat.xml", BackupXml(5000)));
    ASSERT_TRUE(WriteFileBytes(folder / L"nem_zip.zip", "PK\x03\x04 this is no archive"));
    ASSERT_TRUE(WriteFileBytes(folder / L"ures.zip", ""));
    struct Case {
        const char* name;
        std::function<CTransferJob*()> make;
    } cases[] = {
        {"zip of a missing file",
         [&] { return new CTransferJob_CreateZIP(folder / L"kimenet", folder / L"nincs.xml"); }},
        {"extract from no archive",
         [&] { return new CTransferJob_ExtractFromZIP(folder / L"nem_zip.zip", folder / L"kimenet"); }},
        {"extract from an empty file",
         [&] { return new CTransferJob_ExtractFromZIP(folder / L"ures.zip", folder / L"kimenet"); }},
        {"extract from a missing archive",
         [&] { return new CTransferJob_ExtractFromZIP(folder / L"nincs.zip", folder / L"kimenet"); }},
        {"encrypt a missing file",
         [&] { return new CTransferJob_Encrypt(folder / L"nincs.xml", folder / L"kimenet", L"titok"); }},
        {"encrypt with an empty password",
         [&] { return new CTransferJob_Encrypt(folder / L"adat.xml", folder / L"kimenet", L""); }},
        {"output into a missing folder",
         [&] { return new CTransferJob_Encrypt(folder / L"adat.xml", folder / L"nincs\\kimenet", L"titok"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteFileBytes(folder / L"kimenet", "korábbi"));
        std::unique_ptr<CTransferJob> job(c.make());
        EXPECT_FALSE(job->Run());
        EXPECT_EQ(job->GetState(), CTransferJob::STATE_FAILED);
        EXPECT_EQ(ReadFileBytes(folder / L"kimenet"), "korábbi");
        EXPECT_EQ(FileNames(folder.Path()),
                  (std::set<std::wstring>{L"adat.xml", L"nem_zip.zip", L"ures.zip", L"kimenet"}));
    }
}

// ---------------------------------------------------------------------------
// The upload's answer file

TEST_F(TransferJobTest, AnswerFileCodeIsReadFromTheFirstErrorCodeLine)
{
    struct Case {
        const char* answer;
        int code;
    } cases[] = {
        {"Status=1\nErrorCode=0\n", 0},
        {"Status=1\nErrorCode=12\n", 12},
        {"ErrorCode=12", 12},
        {"errorcode=12\n", 0},
        {"ErrorCode=  7abc\n", 7},
        {"ErrorCode=\t 3\r\n", 3},
        {"ErrorCode=\n", 0},
        {"ErrorCode=x5\n", 0},
        {"ErrorCode=0\nErrorCode=9\n", 0},
        {" ErrorCode=9\n", 0},
        {"ErrorCodes=9\nErrorCode=4\n", 4},
        {"ErrorCode=99999999999999999999\n", INT_MAX},
        {"", 0},
        {"\n\n\n", 0},
        {"Size=12\r\nErrorCode=5\r\n", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        ASSERT_TRUE(WriteFileBytes(folder / L"valasz.ulog", c.answer));
        EXPECT_EQ(ReadAnswerErrorCode(folder / L"valasz.ulog"), c.code);
    }
    EXPECT_EQ(ReadAnswerErrorCode(folder / L"nincs.ulog"), 0);
}

TEST_F(TransferJobTest, AnswerFileReaderSurvivesHostileFiles)
{
    std::mt19937 random(19);
    std::string base = "Status=1\nErrorCode=0\nSize=1234\n";
    // A long line without an end, a line of NUL bytes, a key split across
    // the reader's buffer, and random bytes.
    std::vector<std::string> answers = {std::string(3 * 1024 * 1024, 'E'),
                                        std::string(10000, '\0') + "\nErrorCode=6\n",
                                        std::string(4096 - 5, 'x') + "\nErrorCode=8\n"};
    for (int i = 0; i < 200; ++i) {
        std::string answer = base;
        for (int flips = 0; flips < 4; ++flips)
            answer[random() % answer.size()] = (char)(random() & 0xFF);
        answer.resize(random() % (answer.size() + 1));
        answers.push_back(answer);
    }
    for (const std::string& answer : answers) {
        ASSERT_TRUE(WriteFileBytes(folder / L"valasz.ulog", answer));
        int code = ReadAnswerErrorCode(folder / L"valasz.ulog");
        EXPECT_GE(code, 0);
    }
    ASSERT_TRUE(WriteFileBytes(folder / L"valasz.ulog", answers[1]));
    EXPECT_EQ(ReadAnswerErrorCode(folder / L"valasz.ulog"), 6);
    ASSERT_TRUE(WriteFileBytes(folder / L"valasz.ulog", answers[2]));
    EXPECT_EQ(ReadAnswerErrorCode(folder / L"valasz.ulog"), 8);
}

// ---------------------------------------------------------------------------
// The manager's silent run

class TransferSilentRunTest : public ::testing::Test
{
protected:
    // A window of this thread that collects nothing: the test reads its
    // queue.
    TransferSilentRunTest()
    {
        m_hWnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    }
    ~TransferSilentRunTest() override
    {
        DiscardQueuedProgressRecords(m_hWnd);
        if (m_hWnd)
            DestroyWindow(m_hWnd);
    }

    // The records posted to the window so far, in order (kind, value, texts).
    std::vector<CProgressRecord> TakeRecords()
    {
        std::vector<CProgressRecord> out;
        MSG msg;
        while (PeekMessageW(&msg, m_hWnd, g_uMsgProgress, g_uMsgProgress, PM_REMOVE)) {
            CProgressRecord* record = reinterpret_cast<CProgressRecord*>(msg.wParam);
            out.push_back(*record);
            delete record;
        }
        return out;
    }

    HWND m_hWnd;
};

TEST_F(TransferSilentRunTest, EveryJobRunsInOrderAndTheRunCompletes)
{
    std::vector<int> order;
    CTransferManager manager;
    manager.AddJob(new CScriptJob([&](CScriptJob&) { order.push_back(1); return true; }, L"első"));
    manager.AddJob(new CScriptJob([&](CScriptJob&) { order.push_back(2); return true; }, L"második", L"", 20));
    EXPECT_TRUE(manager.RunSilently(m_hWnd, RunTexts()));
    EXPECT_EQ(manager.GetResultBits(), 0u);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    std::vector<CProgressRecord> records = TakeRecords();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].m_kind, CProgressRecord::KIND_START);
    EXPECT_EQ(records[0].m_value, 30);
    EXPECT_EQ(records[1].m_value, 0);
    EXPECT_EQ(records[1].m_secondText, L"első");
    EXPECT_EQ(records[2].m_value, 10);
    EXPECT_EQ(records[2].m_secondText, L"második");
    EXPECT_EQ(records[3].m_kind, CProgressRecord::KIND_COMPLETED);
    EXPECT_EQ(records[3].m_firstText, L"A mentés elkészült.");
    EXPECT_EQ(records[3].m_secondText, L"");
    EXPECT_EQ(records[3].m_buttonCaption, L"OK");
    EXPECT_TRUE(manager.Wait(0));
}

TEST_F(TransferSilentRunTest, AFailingJobStopsThePipeline)
{
    struct Case {
        const char* name;
        LPCWSTR errorText;
        DWORD bits;
        int endKind;
        LPCWSTR endSecond;
        LPCWSTR endButton;
    } cases[] = {
        {"without an error text", L"", 1, CProgressRecord::KIND_ABORTED, L"", L"Kilép"},
        {"with an error text", L"Hiba a titkosítás visszafejtése során.", 3, CProgressRecord::KIND_ABORTED,
         L"Hiba a titkosítás visszafejtése során.", L"Kilép"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTransferManager manager;
        CScriptJob* first = new CScriptJob(nullptr);
        CScriptJob* failing = new CScriptJob([](CScriptJob&) { return false; }, L"", c.errorText);
        CScriptJob* third = new CScriptJob(nullptr);
        manager.AddJob(first);
        manager.AddJob(failing);
        manager.AddJob(third);
        EXPECT_FALSE(manager.RunSilently(m_hWnd, RunTexts()));
        EXPECT_EQ(manager.GetResultBits(), c.bits);
        EXPECT_EQ(first->runs, 1);
        EXPECT_EQ(failing->GetState(), CTransferJob::STATE_FAILED);
        EXPECT_EQ(third->runs, 0);
        EXPECT_EQ(third->GetState(), CTransferJob::STATE_QUEUED);
        std::vector<CProgressRecord> records = TakeRecords();
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.back().m_kind, c.endKind);
        EXPECT_EQ(records.back().m_secondText, c.endSecond);
        EXPECT_EQ(records.back().m_buttonCaption, c.endButton);
    }
}

// A job that throws ends the run as failed: the next job does not run, the
// window gets the aborted record, the caller its false, and the thread and
// the program go on.
TEST_F(TransferSilentRunTest, AJobThatThrowsFailsTheRun)
{
    const Raisers raises = EveryKindOfException();
    for (const auto& raise : raises) {
        SCOPED_TRACE(raise.first);
        CTransferManager manager;
        CScriptJob* throwing = new CScriptJob([&](CScriptJob&) {
            raise.second();
            return true;
        });
        CScriptJob* next = new CScriptJob(nullptr);
        manager.AddJob(throwing);
        manager.AddJob(next);
        EXPECT_FALSE(manager.RunSilently(m_hWnd, RunTexts()));
        EXPECT_EQ(manager.GetResultBits(), (DWORD)CTransferManager::RESULT_JOB_FAILED);
        EXPECT_EQ(next->runs, 0);
        EXPECT_TRUE(manager.Wait(0));
        std::vector<CProgressRecord> records = TakeRecords();
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.back().m_kind, CProgressRecord::KIND_ABORTED);
        EXPECT_EQ(records.back().m_firstText, L"A mentés megszakadt.");
    }
}

TEST_F(TransferSilentRunTest, AVanishedWindowLosesTheRecordsNotTheJobs)
{
    HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    ASSERT_TRUE(gone);
    DestroyWindow(gone);
    CTransferManager manager;
    CScriptJob* first = new CScriptJob(nullptr);
    CScriptJob* second = new CScriptJob(nullptr);
    manager.AddJob(first);
    manager.AddJob(second);
    EXPECT_TRUE(manager.RunSilently(gone, RunTexts()));
    EXPECT_EQ(first->runs + second->runs, 2);
    EXPECT_EQ(second->GetState(), CTransferJob::STATE_DONE);
}

TEST_F(TransferSilentRunTest, AStandingAbortEndsTheRunBeforeTheNextJob)
{
    // The user confirmed aborting while a job that does not watch for it
    // ran: the manager stops before the next job and acknowledges.
    CTransferManager manager;
    HANDLE hAbortDone = CreateEventW(NULL, TRUE, FALSE, NULL);
    std::atomic<bool> abortAnswer{false};
    std::thread ui;
    CScriptJob* slow = new CScriptJob([&](CScriptJob& job) {
        CTransferProgress* sink = static_cast<CTransferProgress*>(job.GetProgress());
        ui = std::thread([&, sink] {
            abortAnswer = sink->Abort();
            SetEvent(hAbortDone);
        });
        return WaitUntil([&] { return sink->IsAbortRequested(); });
    });
    CScriptJob* next = new CScriptJob(nullptr);
    manager.AddJob(slow);
    manager.AddJob(next);
    EXPECT_FALSE(manager.RunSilently(m_hWnd, RunTexts()));
    EXPECT_EQ(WaitForSingleObject(hAbortDone, 10000), WAIT_OBJECT_0);
    ui.join();
    CloseHandle(hAbortDone);
    EXPECT_TRUE(abortAnswer) << "the abort was acknowledged and the manager cancelled";
    EXPECT_EQ(slow->GetState(), CTransferJob::STATE_DONE);
    EXPECT_EQ(next->runs, 0);
    EXPECT_EQ(manager.GetResultBits(), 0u);
    std::vector<CProgressRecord> records = TakeRecords();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().m_kind, CProgressRecord::KIND_ABORTED);
    EXPECT_EQ(records.back().m_firstText, L"A mentés megszakadt.");
}

TEST_F(TransferSilentRunTest, ACancelBeforeTheRunIsForgotten)
{
    CTransferManager manager;
    CScriptJob* job = new CScriptJob(nullptr);
    manager.AddJob(job);
    EXPECT_TRUE(manager.Cancel(0));
    EXPECT_TRUE(manager.RunSilently(m_hWnd, RunTexts()));
    EXPECT_EQ(job->runs, 1);
}

} // namespace
