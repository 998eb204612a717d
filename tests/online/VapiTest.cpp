// The web-service client against the stand-in of the web service
// (tests/standins/webservice, started by the ctest fixture "webservice" on
// 127.0.0.1 ports 80 and 443). Each test starts from a reset stand-in and
// tells it what to answer, and which fault to show, through its control
// calls.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>
#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include "TempFolder.h"
#include "foundation/Progress.h"
#include "foundation/RegisteredMessages.h"
#include "online/VapiReply.h"
#include "online/VapiRequest.h"
#include "support/TestSupport.h"
#include "support/WebServiceControl.h"

namespace {

using namespace testing_support;

const wchar_t kHttp[] = L"http://127.0.0.1/";
const wchar_t kHttps[] = L"https://127.0.0.1/";

bool Fault(const std::string& lines)
{
    return StandIn(L"/_control/fault", lines);
}

// byte i of the stand-in's /_test/bytes
std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = (char)((i % 4099) % 251);
    return s;
}

std::string Held(CVapiStream* stream)
{
    CVapiMemoryStream* memory = dynamic_cast<CVapiMemoryStream*>(stream);
    return memory ? std::string((const char*)memory->Data(), memory->Length()) : std::string("<not memory>");
}

CString Url(LPCWSTR base, LPCWSTR path)
{
    return CString(base) + path;
}

// ---------------------------------------------------------------------------
// A window of the test's thread that receives the progress records, as the
// progress dialog would (it keeps a copy of each and deletes it).

struct RecordCopy {
    int kind;
    unsigned flags;
    int value;
    CString first, second, button;
};

class CRecordWindow
{
public:
    CRecordWindow()
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = WndProc;
            wc.hInstance = GetModuleHandleW(NULL);
            wc.lpszClassName = L"FolionexVapiTestWindow";
            RegisterClassW(&wc);
            registered = true;
        }
        m_hWnd = CreateWindowExW(0, L"FolionexVapiTestWindow", L"", WS_POPUP, 0, 0, 1, 1, HWND_MESSAGE, NULL,
                                 GetModuleHandleW(NULL), this);
    }
    ~CRecordWindow()
    {
        DestroyWindow(m_hWnd);
    }

    // Handles messages until the condition holds; false after the time-out.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 30000)
    {
        DWORD start = GetTickCount();
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            if (done())
                return true;
            if (GetTickCount() - start > timeoutMs)
                return false;
            MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
        }
    }
    bool Ended() const
    {
        return !records.empty() && records.back().kind >= CProgressRecord::KIND_COMPLETED;
    }
    int EndCount() const
    {
        int n = 0;
        for (const RecordCopy& r : records)
            if (r.kind >= CProgressRecord::KIND_COMPLETED)
                ++n;
        return n;
    }

    HWND m_hWnd;
    std::vector<RecordCopy> records;
    std::function<void(const RecordCopy&)> onRecord;

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (msg == WM_NCCREATE)
            SetWindowLongPtrW(hWnd, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        CRecordWindow* self = reinterpret_cast<CRecordWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (self && msg == g_uMsgProgress) {
            CProgressRecord* r = reinterpret_cast<CProgressRecord*>(wParam);
            self->records.push_back(RecordCopy{r->m_kind, r->m_flags, r->m_value, r->m_firstText, r->m_secondText,
                                               r->m_buttonCaption});
            delete r;
            if (self->onRecord)
                self->onRecord(self->records.back());
            return 0;
        }
        if (self && msg == WM_DESTROY)
            DiscardQueuedProgressRecords(hWnd);
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    }
};

// A waiting request run on a worker thread (as the transfer manager's jobs
// run), while the test's thread plays the UI: it pumps the records and may
// abort through the sink.
class CWorkerRequest
{
public:
    explicit CWorkerRequest(std::function<bool(CVapiRequest&)> run, CProgress* sink = NULL)
    {
        request.SetProgress(sink);
        thread = std::thread([this, run] {
            result = run(request);
            done = true;
        });
    }
    ~CWorkerRequest()
    {
        if (thread.joinable())
            thread.join();
    }
    void Join()
    {
        thread.join();
    }

    CVapiRequest request;
    std::atomic<bool> done{false};
    std::atomic<bool> result{false};
    std::thread thread;
};

class VapiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(StandIn(L"/_control/reset")) << "the web-service stand-in does not answer on 127.0.0.1:80";
        sink.SetTarget(window.m_hWnd);
        sink.SetCompletedTexts(L"A letöltés sikeresen befejeződött!", L"Kattintson az OK gombra!", L"OK");
        sink.SetAbortedTexts(L"A letöltést megszakította!", L"Kattintson az Kilép gombra a befejezéshez!", L"Kilép");
    }
    void TearDown() override
    {
        StandIn(L"/_control/reset");
    }

    CTempFolder folder{L"vapi_test"};
    CRecordWindow window;
    CWndProgress sink;
};

// ---------------------------------------------------------------------------
// GET and POST into memory

TEST_F(VapiTest, PostIntoMemoryAnswersTheUpdateCheck)
{
    ASSERT_TRUE(StandIn(L"/_control/update", "version=2.0.0.0\nsize=1234\n"));
    struct {
        const char* version;
        LPCWSTR cmd;
    } cases[] = {{"1.0.0.0", L"SelfUpdate"}, {"2.0.0.0", L"None"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        std::string body = std::string("ProgType=2\nVersion=") + c.version;
        CVapiRequest request;
        ASSERT_TRUE(request.Post(Url(kHttp, L"VApi/Check.aspx"), body.data(), (DWORD)body.size()));
        EXPECT_TRUE(request.IsCompleted());
        EXPECT_EQ(request.GetStatusCode(), 200u);
        CVapiReply reply;
        ASSERT_GE(reply.Parse(*static_cast<CVapiMemoryStream*>(request.GetResponseSink())), 1);
        EXPECT_EQ(reply.Get(L"Cmd"), c.cmd);
        if (CString(c.cmd) == L"SelfUpdate") {
            EXPECT_EQ(reply.Get(L"DownloadUrl"), L"http://127.0.0.1/Files/Folionex_Setup.exe");
            EXPECT_EQ(reply.Get(L"DownloadLength"), L"1234");
        }
    }
}

TEST_F(VapiTest, PostOfANarrowBodyListsTheAccountsDataSets)
{
    ASSERT_TRUE(StandIn(L"/_control/account",
                        "email=iroda@pelda.hu\npassword=titok\xC3\xA1\nrepo=12|Irodai \xC3\xBCgyek \xE2\x80\x93 "
                        "Gy\xC5\x91r|2\nrepo=13|M\xC3\xA1sik|3\n"));
    // The body is narrow text with one byte per character up to U+00FF.
    std::string body = "ProgType=2\nEmail=iroda@pelda.hu\nPwd=titok\xE1";
    CVapiRequest request;
    ASSERT_TRUE(request.Post(Url(kHttp, L"VApi/GetRepos.aspx"), body.data(), (DWORD)body.size()));
    CVapiReply reply;
    ASSERT_GE(reply.Parse(*static_cast<CVapiMemoryStream*>(request.GetResponseSink())), 1);
    EXPECT_EQ(reply.Get(L"Count"), L"2");
    EXPECT_EQ(reply.Get(L"RepoNr0"), L"12");
    EXPECT_EQ(reply.Get(L"RepoName0"), L"Irodai ügyek – Győr");
    EXPECT_EQ(reply.Get(L"ProgType1"), L"3");

    std::string wrong = "ProgType=2\nEmail=iroda@pelda.hu\nPwd=rossz";
    CVapiRequest refused;
    ASSERT_TRUE(refused.Post(Url(kHttp, L"VApi/GetRepos.aspx"), wrong.data(), (DWORD)wrong.size()));
    CVapiReply answer;
    answer.Parse(*static_cast<CVapiMemoryStream*>(refused.GetResponseSink()));
    EXPECT_FALSE(answer.Has(L"Count"));
}

TEST_F(VapiTest, PostOfAnEmptyBodyAndGetIntoMemory)
{
    CVapiRequest empty;
    ASSERT_TRUE(empty.Post(Url(kHttp, L"_test/echo"), NULL, 0));
    EXPECT_EQ(Held(empty.GetResponseSink()), "");

    std::string data = Pattern(9000) + "\r\nvége";
    CVapiRequest echo;
    ASSERT_TRUE(echo.Post(Url(kHttp, L"_test/echo"), data.data(), (DWORD)data.size()));
    EXPECT_EQ(Held(echo.GetResponseSink()), data);

    CVapiRequest get;
    ASSERT_TRUE(get.Get(Url(kHttp, L"VApi/OnlineRestore.aspx?nincs"), 0));
    EXPECT_EQ(Held(get.GetResponseSink()), "ErrorCode=4\nContentLength=0\n");
}

TEST_F(VapiTest, AnySevenCharacterSchemeIsPlainHttpOnPort80)
{
    CVapiRequest request;
    ASSERT_TRUE(request.Get(L"abcdefg127.0.0.1/_control/ping", 0));
    EXPECT_EQ(Held(request.GetResponseSink()), "ok");
}

TEST_F(VapiTest, ARequestThatCannotStartSendsNoRecord)
{
    for (LPCWSTR url : {L"http://127.0.0.1", L"http://", L""}) {
        CVapiRequest request;
        request.SetProgress(&sink);
        EXPECT_FALSE(request.Get(url, 0));
        EXPECT_FALSE(request.HasEnded());
    }
    CVapiRequest download;
    EXPECT_FALSE(download.Download(NULL, folder / L"x.bin", 0));
    CVapiRequest unwritable;
    EXPECT_FALSE(unwritable.Download(Url(kHttp, L"_control/ping"), folder / L"nincs\\ilyen\\mappa.bin", 0));
    window.PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(window.records.empty());
}

// ---------------------------------------------------------------------------
// Into and from files: the backup's round trip

TEST_F(VapiTest, UploadOfAFileAndItsRestoreThroughTheUrlItHandsOut)
{
    for (LPCWSTR base : {kHttp, kHttps}) {
        SCOPED_TRACE(CStringA(base).GetString());
        ASSERT_TRUE(StandIn(L"/_control/reset"));
        CString zip = folder / L"db_2_20240105.zip";
        std::string data = Pattern(100000) + "tail";
        ASSERT_TRUE(WriteFileBytes(zip, data));

        CWndProgress uploadSink(window.m_hWnd);
        CVapiRequest upload;
        upload.SetProgress(&uploadSink);
        ASSERT_TRUE(upload.PostFile(Url(base, L"VApi/UploadDB.aspx?acc_42"), zip + L".ulog", zip));
        EXPECT_EQ(ReadFileBytes(zip + L".ulog"), "ErrorCode=0\nSize=100004\n");
        ASSERT_TRUE(window.PumpUntil([&] { return window.Ended(); }));
        bool sawUploadText = false;
        for (const RecordCopy& r : window.records)
            if (r.second.Find(L"Feltöltött adat: 100004 bájt / 100004 bájt (100.00%)") == 0)
                sawUploadText = true;
        EXPECT_TRUE(sawUploadText);
        window.records.clear();

        CVapiRequest query;
        ASSERT_TRUE(query.Get(Url(base, L"VApi/OnlineRestore.aspx?acc_42"), 0));
        CVapiReply reply;
        ASSERT_EQ(reply.Parse(*static_cast<CVapiMemoryStream*>(query.GetResponseSink())), 2);
        EXPECT_EQ(reply.Get(L"ContentLength"), L"100004");
        CString url = reply.Get(L"Url");
        EXPECT_EQ(url.Find(base), 0) << "the address keeps its \"=\": " << CStringA(url).GetString();

        CString restored = folder / L"db_2_onlinerestore.zip";
        CVapiRequest download;
        ASSERT_TRUE(download.Download(url, restored, 0));
        EXPECT_TRUE(download.IsCompleted());
        EXPECT_EQ(ReadFileBytes(restored), data);
    }
}

TEST_F(VapiTest, PostFileWithAMissingBodyFileSendsItEmpty)
{
    CString body = folder / L"nincs.zip";
    CVapiRequest upload;
    ASSERT_TRUE(upload.PostFile(Url(kHttp, L"VApi/UploadDB.aspx?acc"), body + L".ulog", body));
    EXPECT_TRUE(FileExists(body)) << "created empty";
    EXPECT_EQ(ReadFileBytes(body + L".ulog"), "ErrorCode=3\n");
}

// ---------------------------------------------------------------------------
// A large download with its progress records

TEST_F(VapiTest, ALargeDownloadReportsItsProgress)
{
    const int size = 3 * 1024 * 1024 + 123;
    CString path = folder / L"nagy letöltés.bin";
    CWorkerRequest worker([&](CVapiRequest& r) { return r.Download(Url(kHttp, L"_test/bytes?size=3145851"), path, size); },
                          &sink);
    ASSERT_TRUE(window.PumpUntil([&] { return worker.done && window.Ended(); }));
    worker.Join();
    EXPECT_TRUE(worker.result);
    EXPECT_EQ(worker.request.GetResult(), 0u);
    EXPECT_EQ(ReadFileBytes(path), Pattern(size));

    const std::vector<RecordCopy>& r = window.records;
    ASSERT_GE(r.size(), 3u);
    EXPECT_EQ(r.front().kind, CProgressRecord::KIND_START);
    EXPECT_EQ(r.front().flags, 1u);
    EXPECT_EQ(r.front().value, size);
    int last = 0;
    for (size_t i = 1; i + 1 < r.size(); ++i) {
        ASSERT_EQ(r[i].kind, CProgressRecord::KIND_POSITION);
        EXPECT_EQ(r[i].flags, 5u);
        EXPECT_GT(r[i].value, last);
        last = r[i].value;
    }
    EXPECT_EQ(last, size);
    EXPECT_GE(r.size(), 2u + size / 4096) << "one record per chunk of at most 4096 bytes";
    EXPECT_EQ(r[r.size() - 2].second, L"Letöltött adat: 3145851 bájt / 3145851 bájt (100.00%)");
    EXPECT_EQ(r.back().kind, CProgressRecord::KIND_COMPLETED);
    EXPECT_EQ(r.back().first, L"A letöltés sikeresen befejeződött!");
    EXPECT_EQ(window.EndCount(), 1);
}

TEST_F(VapiTest, ProgressTextsWithAndWithoutAnExpectedTotal)
{
    struct {
        int expected;
        LPCWSTR text;
    } cases[] = {
        {0, L"Letöltött adat: 500 bájt"},
        {1000, L"Letöltött adat: 500 bájt / 1000 bájt (50.00%)"},
        {3, L"Letöltött adat: 500 bájt / 3 bájt (16666.67%)"},
    };
    for (const auto& c : cases) {
        window.records.clear();
        CVapiRequest request;
        request.SetProgress(&sink);
        ASSERT_TRUE(request.Get(Url(kHttp, L"_test/bytes?size=500"), c.expected));
        ASSERT_TRUE(window.PumpUntil([&] { return window.Ended(); }));
        ASSERT_GE(window.records.size(), 3u);
        EXPECT_EQ(window.records[window.records.size() - 2].second, c.text);
    }
}

// ---------------------------------------------------------------------------
// Abort through the handshake

TEST_F(VapiTest, AnAbortEndsTheDownloadWithTheAbortedRecord)
{
    for (bool asynchronous : {false, true}) {
        SCOPED_TRACE(asynchronous ? "asynchronous request" : "waiting request on a worker thread");
        ASSERT_TRUE(Fault("path=/_test/bytes\nmode=stall\nafter=65536\nseconds=1.5\n"));
        window.records.clear();
        CString path = folder / L"megszakított.bin";
        bool aborted = false;
        bool acknowledged = false;
        DWORD abortTook = 0;
        // The UI side: once the data before the stall arrived (the read of the
        // rest then waits on the stalled server), the user confirms
        // cancelling; the request sees it when that read completes.
        window.onRecord = [&](const RecordCopy& r) {
            if (!aborted && r.kind == CProgressRecord::KIND_POSITION && r.value >= 65536) {
                aborted = true;
                DWORD start = GetTickCount();
                acknowledged = sink.Abort();
                abortTook = GetTickCount() - start;
            }
        };
        std::unique_ptr<CWorkerRequest> worker;
        std::unique_ptr<CVapiRequest> async;
        if (asynchronous) {
            async.reset(new CVapiRequest(true));
            async->SetProgress(&sink);
            ASSERT_TRUE(async->Download(Url(kHttp, L"_test/bytes?size=1000000"), path, 1000000));
        } else {
            worker.reset(new CWorkerRequest(
                [&](CVapiRequest& r) { return r.Download(Url(kHttp, L"_test/bytes?size=1000000"), path, 1000000); },
                &sink));
        }
        ASSERT_TRUE(window.PumpUntil([&] { return window.Ended(); }));
        window.onRecord = nullptr;
        CVapiRequest& request = asynchronous ? *async : worker->request;
        if (worker)
            worker->Join();
        EXPECT_TRUE(aborted);
        EXPECT_TRUE(acknowledged) << "the request acknowledged after its pending read completed";
        EXPECT_LT(abortTook, 3000u);
        EXPECT_FALSE(sink.IsAbortRequested());
        EXPECT_TRUE(request.HasEnded());
        EXPECT_FALSE(request.IsCompleted());
        EXPECT_EQ(request.GetResult(), (DWORD)ERROR_OPERATION_ABORTED);
        if (worker) {
            EXPECT_FALSE(worker->result);
        }
        EXPECT_EQ(window.records.back().kind, CProgressRecord::KIND_ABORTED);
        EXPECT_EQ(window.records.back().first, L"A letöltést megszakította!");
        EXPECT_EQ(window.EndCount(), 1);
        async.reset();
        worker.reset();
        std::string kept = ReadFileBytes(path);
        EXPECT_GE(kept.size(), 65536u);
        EXPECT_LT(kept.size(), 1000000u);
        EXPECT_EQ(kept, Pattern(kept.size())) << "the file keeps what arrived";
    }
}

// A sink that looks at the request and its output file at the moment the
// final record is handed in (on the thread that ends the request).
class CEndCheckingProgress : public CWndProgress
{
public:
    explicit CEndCheckingProgress(HWND target) : CWndProgress(target) {}

    void ProcessMessage(CProgressRecord* record) override
    {
        if (record && record->m_kind >= CProgressRecord::KIND_COMPLETED && request) {
            endedAtFinal = request->HasEnded();
            // The output file was opened without sharing: only a closed
            // file opens here.
            HANDLE h = CreateFileW(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
            fileClosedAtFinal = h != INVALID_HANDLE_VALUE;
            if (h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
        }
        CWndProgress::ProcessMessage(record);
    }

    CVapiRequest* request = nullptr;
    CString path;
    std::atomic<bool> endedAtFinal{false};
    std::atomic<bool> fileClosedAtFinal{false};
};

TEST_F(VapiTest, TheFinalRecordComesAfterTheFileIsClosedAndTheRequestEnded)
{
    struct {
        const char* name;
        bool asynchronous;
        std::string fault;
        int kind;
    } cases[] = {
        {"asynchronous, completed", true, "", CProgressRecord::KIND_COMPLETED},
        {"asynchronous, error status", true, "path=/_test/bytes\nmode=status\nstatus=500\n",
         CProgressRecord::KIND_ABORTED},
        {"waiting, completed", false, "", CProgressRecord::KIND_COMPLETED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(StandIn(L"/_control/reset"));
        if (!c.fault.empty()) {
            ASSERT_TRUE(Fault(c.fault));
        }
        window.records.clear();
        CEndCheckingProgress checking(window.m_hWnd);
        CVapiRequest request(c.asynchronous);
        request.SetProgress(&checking);
        checking.request = &request;
        checking.path = folder / L"telepítő.exe";
        request.Download(Url(kHttp, L"_test/bytes?size=50000"), checking.path, 50000);
        ASSERT_TRUE(window.PumpUntil([&] { return window.Ended(); }));
        EXPECT_EQ(window.records.back().kind, c.kind);
        EXPECT_TRUE(checking.endedAtFinal);
        EXPECT_TRUE(checking.fileClosedAtFinal);
    }
}

TEST_F(VapiTest, DestroyingAnAsynchronousRequestCutsItShortSafely)
{
    ASSERT_TRUE(Fault("path=/_test/bytes\nmode=stall\nafter=10000\nseconds=1\n"));
    {
        CVapiRequest request(true);
        request.SetProgress(&sink);
        ASSERT_TRUE(request.Download(Url(kHttp, L"_test/bytes?size=200000"), folder / L"félbe.bin", 0));
        window.PumpUntil([&] { return window.records.size() >= 2; }, 5000);
    }
    ASSERT_TRUE(window.PumpUntil([&] { return window.Ended(); }, 5000));
    EXPECT_EQ(window.records.back().kind, CProgressRecord::KIND_ABORTED);
    EXPECT_EQ(window.EndCount(), 1);
}

// ---------------------------------------------------------------------------
// Failures the caller sees

TEST_F(VapiTest, FailuresAreReportedAsFailures)
{
    struct Case {
        const char* name;
        std::string fault;
        LPCWSTR path;
        DWORD status; // the HTTP status seen, 0 for none
        size_t minHeld, maxHeld;
    } cases[] = {
        {"error status with a body", "path=/_test/bytes\nmode=status\nstatus=500\n", L"_test/bytes?size=100", 500,
         14, 14},
        {"not found", "", L"VApi/Nincs.aspx", 404, 1, 100},
        {"body cut short", "path=/_test/bytes\nmode=cut\nafter=5000\n", L"_test/bytes?size=100000", 200, 5000,
         5000},
        {"connection dropped without an answer", "path=/_test/bytes\nmode=drop\n", L"_test/bytes?size=100", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.fault.empty()) {
            ASSERT_TRUE(Fault(c.fault));
        }
        window.records.clear();
        CVapiRequest request;
        request.SetProgress(&sink);
        EXPECT_FALSE(request.Get(Url(kHttp, c.path), 0));
        EXPECT_TRUE(request.HasEnded());
        EXPECT_FALSE(request.IsCompleted());
        EXPECT_EQ(request.GetStatusCode(), c.status);
        if (c.status == 200) {
            EXPECT_NE(request.GetResult(), 0u) << "the transfer broke off";
        } else if (c.status == 0) {
            EXPECT_NE(request.GetResult(), 0u) << "no answer";
        } else {
            EXPECT_EQ(request.GetResult(), 0u) << "the transfer itself worked";
        }
        std::string held = Held(request.GetResponseSink());
        EXPECT_GE(held.size(), c.minHeld);
        EXPECT_LE(held.size(), c.maxHeld);
        ASSERT_TRUE(window.PumpUntil([&] { return window.Ended(); }));
        const RecordCopy& end = window.records.back();
        EXPECT_EQ(end.kind, CProgressRecord::KIND_ABORTED);
        EXPECT_EQ(end.flags, 12u);
        EXPECT_EQ(end.button, L"Kilép");
        if (c.status && c.status != 200) {
            EXPECT_NE(end.second.Find(L"HTTP"), -1) << CStringA(end.second).GetString();
        }
    }
    // The body of an error status still lands in the sink.
    ASSERT_TRUE(Fault("path=/VApi/Check.aspx\nmode=status\nstatus=503\n"));
    CVapiRequest check;
    std::string body = "ProgType=2\nVersion=1";
    EXPECT_FALSE(check.Post(Url(kHttp, L"VApi/Check.aspx"), body.data(), (DWORD)body.size()));
    EXPECT_EQ(Held(check.GetResponseSink()), "ErrorCode=503\n");
}

TEST_F(VapiTest, AStalledServerIsCutOffByTheRequestsTimeLimit)
{
    ASSERT_TRUE(Fault("path=/_test/bytes\nmode=stall\nafter=3000\nseconds=3\n"));
    CVapiRequest request;
    request.SetProgress(&sink);
    request.SetTimeout(800);
    DWORD start = GetTickCount();
    EXPECT_FALSE(request.Get(Url(kHttp, L"_test/bytes?size=50000"), 0));
    DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 700u);
    EXPECT_LT(took, 20000u);
    EXPECT_EQ(request.GetResult(), (DWORD)ERROR_INTERNET_TIMEOUT);
    std::string held = Held(request.GetResponseSink());
    EXPECT_EQ(held, Pattern(held.size())) << "what arrived stays";
    ASSERT_TRUE(window.PumpUntil([&] { return window.Ended(); }));
    EXPECT_EQ(window.records.back().kind, CProgressRecord::KIND_ABORTED);
    EXPECT_EQ(window.records.back().second, L"A szerver nem válaszolt időben.");
    EXPECT_EQ(window.EndCount(), 1);
}

TEST_F(VapiTest, AStallShorterThanTheLimitOnlySlowsTheRequest)
{
    ASSERT_TRUE(Fault("path=/_test/bytes\nmode=stall\nafter=-1\nseconds=0.5\n"));
    CVapiRequest request;
    ASSERT_TRUE(request.Get(Url(kHttp, L"_test/bytes?size=20000"), 0));
    EXPECT_EQ(Held(request.GetResponseSink()), Pattern(20000));
}

// ---------------------------------------------------------------------------
// Where the answer came from: read back after any redirect

TEST_F(VapiTest, TheAddressTheAnswerCameFromIsReadBackAndHttpsNeverFallsToHttp)
{
    struct Case {
        const char* name;
        LPCWSTR url;        // asked for
        const char* moved;  // the stand-in redirects /_test/moved there, or null
        bool post;
        bool completed;
        LPCWSTR finalUrl;   // what the request reports
    } cases[] = {
        {"plain HTTP, no redirect", L"http://127.0.0.1/_test/bytes?size=10", NULL, false, true,
         L"http://127.0.0.1/_test/bytes?size=10"},
        {"HTTPS, no redirect", L"https://127.0.0.1/_test/bytes?size=10", NULL, false, true,
         L"https://127.0.0.1/_test/bytes?size=10"},
        {"HTTPS from another host", L"https://127.0.0.2/_test/bytes?size=10", NULL, false, true,
         L"https://127.0.0.2/_test/bytes?size=10"},
        {"HTTPS to HTTPS on another host", L"https://127.0.0.1/_test/moved", "https://127.0.0.2/_test/bytes?size=10",
         false, true, L"https://127.0.0.2/_test/bytes?size=10"},
        {"HTTP to HTTPS", L"http://127.0.0.1/_test/moved", "https://127.0.0.1/_test/bytes?size=10", false, true,
         L"https://127.0.0.1/_test/bytes?size=10"},
        {"HTTPS to HTTP", L"https://127.0.0.1/_test/moved", "http://127.0.0.1/_test/bytes?size=10", false, false,
         L"http://127.0.0.1/_test/bytes?size=10"},
        {"HTTPS to HTTP on another host", L"https://127.0.0.1/_test/moved", "http://127.0.0.2/_test/bytes?size=10",
         false, false, L"http://127.0.0.2/_test/bytes?size=10"},
        {"a POST over HTTPS to HTTP", L"https://127.0.0.1/_test/moved", "http://127.0.0.1/_test/echo", true, false,
         NULL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(StandIn(L"/_control/reset"));
        if (c.moved) {
            ASSERT_TRUE(StandInRedirect("/_test/moved", c.moved));
        }
        window.records.clear();
        CVapiRequest request;
        request.SetProgress(&sink);
        std::string body = "A=1";
        bool completed = c.post ? request.Post(c.url, body.data(), (DWORD)body.size()) : request.Get(c.url, 0);
        EXPECT_EQ(c.completed, completed) << "result " << request.GetResult() << " from "
                                          << CStringA(request.GetFinalUrl()).GetString();
        EXPECT_EQ(c.completed, request.IsCompleted());
        if (c.finalUrl) {
            EXPECT_EQ(CString(c.finalUrl), request.GetFinalUrl());
        }
        if (c.completed) {
            EXPECT_EQ(Pattern(10), Held(request.GetResponseSink()));
            continue;
        }
        EXPECT_EQ((DWORD)ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR, request.GetResult());
        EXPECT_EQ("", Held(request.GetResponseSink())) << "nothing of the plain answer is kept";
        ASSERT_TRUE(window.PumpUntil([&] { return window.Ended(); }));
        EXPECT_EQ(CProgressRecord::KIND_ABORTED, window.records.back().kind);
        EXPECT_EQ(CString(L"A szerver titkosítatlan kapcsolatra irányított át, ezért nem folytattam."),
                  window.records.back().second);
    }
}

// ---------------------------------------------------------------------------
// Answers longer than their limit

SIZE_T WorkingSet(bool peak)
{
    PROCESS_MEMORY_COUNTERS counters = {sizeof(counters)};
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
        return 0;
    return peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize;
}

TEST_F(VapiTest, AnAnswerLongerThanItsLimitIsRefusedWithoutBeingKept)
{
    const DWORD reply = CVapiRequest::kMaxReplyBytes;
    struct Case {
        const char* name;
        std::string fault;  // on /VApi/Check.aspx, or on /_test/bytes for a download
        DWORD limit;        // a download's limit, 0: the POST of a reply into memory
        LPCWSTR download;   // the download's path
        bool completed;
        size_t maxHeld;
    } cases[] = {
        {"a reply of exactly the limit", "mode=big\nsize=" + std::to_string(reply) + "\nannounce=0\n", 0, NULL,
         true, reply},
        {"a reply one byte past the limit, length not announced",
         "mode=big\nsize=" + std::to_string(reply + 1) + "\nannounce=0\n", 0, NULL, false, reply},
        {"a reply that announces 100 MB", "mode=big\nsize=104857600\n", 0, NULL, false, 0},
        {"a reply of 100 MB without its length", "mode=big\nsize=104857600\nannounce=0\n", 0, NULL, false, reply},
        {"a reply that never ends", "mode=endless\n", 0, NULL, false, reply},
        {"a download of exactly its limit", "", 50000, L"_test/bytes?size=50000", true, 50000},
        {"a download that announces more than its limit", "", 50000, L"_test/bytes?size=50001", false, 0},
        {"a download that never ends", "mode=endless\n", 50000, L"_test/bytes?size=10", false, 50000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(StandIn(L"/_control/reset"));
        if (!c.fault.empty()) {
            ASSERT_TRUE(Fault(std::string("path=") + (c.download ? "/_test/bytes" : "/VApi/Check.aspx") + "\n" +
                              c.fault));
        }
        window.records.clear();
        const SIZE_T workingSet = WorkingSet(false), peakBefore = WorkingSet(true);
        CVapiRequest request;
        request.SetProgress(&sink);
        size_t held = 0;
        if (c.download) {
            CString file = folder / L"limited.bin";
            request.SetResponseLimit(c.limit);
            EXPECT_EQ(c.completed, request.Download(Url(kHttp, c.download), file, 0)) << request.GetResult();
            held = ReadFileBytes(file).size();
        } else {
            std::string body = "ProgType=2\nVersion=1";
            EXPECT_EQ(c.completed, request.Post(Url(kHttp, L"VApi/Check.aspx"), body.data(), (DWORD)body.size()))
                << request.GetResult();
            held = Held(request.GetResponseSink()).size();
        }
        const SIZE_T peak = WorkingSet(true);
        printf("[ %s ] peak working set %.1f MB (%.1f MB before, working set %.1f MB at the start)\n", c.name,
               peak / 1048576.0, peakBefore / 1048576.0, workingSet / 1048576.0);
        EXPECT_LE(held, c.maxHeld);
        // The answer is never held whole, nor copied: the peak stays within
        // a few megabytes of what the process had.
        EXPECT_LE(peak, std::max(peakBefore, workingSet + 48 * 1048576)) << "the answer was held in memory";
        ASSERT_TRUE(window.PumpUntil([&] { return window.Ended(); }));
        if (c.completed) {
            EXPECT_EQ(held, c.maxHeld);
            EXPECT_EQ(CProgressRecord::KIND_COMPLETED, window.records.back().kind);
            continue;
        }
        EXPECT_EQ((DWORD)ERROR_FILE_TOO_LARGE, request.GetResult());
        EXPECT_EQ(CProgressRecord::KIND_ABORTED, window.records.back().kind);
        EXPECT_EQ(CString(L"A szerver válasza hosszabb a vártnál, ezért nem fogadtam el."),
                  window.records.back().second);
    }
}

// ---------------------------------------------------------------------------
// HTTPS with the test authority

TEST_F(VapiTest, HttpsWithTheTestAuthority)
{
    CVapiRequest request;
    request.SetProgress(&sink);
    ASSERT_TRUE(request.Get(Url(kHttps, L"_test/bytes?size=70000"), 0)) << "result " << request.GetResult();
    EXPECT_EQ(Held(request.GetResponseSink()), Pattern(70000));
    std::string body = "ProgType=2\nVersion=1.0.0.0";
    CVapiRequest post;
    ASSERT_TRUE(post.Post(Url(kHttps, L"VApi/Check.aspx"), body.data(), (DWORD)body.size()));
    EXPECT_EQ(Held(post.GetResponseSink()), "Cmd=None\n");
}

} // namespace
