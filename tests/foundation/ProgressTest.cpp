#include <gtest/gtest.h>
#include "foundation/Progress.h"
#include "foundation/RegisteredMessages.h"
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace {

// A record that counts how many of its kind are alive, so that a test sees
// every record deleted exactly once, wherever it ended.
std::atomic<int> g_liveRecords{0};

class CCountedRecord : public CProgressRecord
{
public:
    CCountedRecord(int kind, unsigned flags, int value) : CProgressRecord(kind, flags, value) { ++g_liveRecords; }
    ~CCountedRecord() override { --g_liveRecords; }
};

struct RecordCopy {
    int kind;
    unsigned flags;
    int value;
    CString first, second, button;
};

RecordCopy Copy(const CProgressRecord& r)
{
    return RecordCopy{r.m_kind, r.m_flags, r.m_value, r.m_firstText, r.m_secondText, r.m_buttonCaption};
}

// A window that takes "FOLIONEX_PROGRESS" as the program's windows do: it
// keeps a copy of each record and deletes it. When it is destroyed it
// throws away the records still queued for it.
class CTestWindow
{
public:
    CTestWindow()
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = WndProc;
            wc.hInstance = GetModuleHandleW(NULL);
            wc.lpszClassName = L"FolionexProgressTestWindow";
            RegisterClassW(&wc);
            registered = true;
        }
        m_hWnd = CreateWindowExW(0, L"FolionexProgressTestWindow", L"", WS_POPUP, 0, 0, 10, 10, HWND_MESSAGE, NULL,
                                 GetModuleHandleW(NULL), this);
    }
    ~CTestWindow() { Destroy(); }

    void Destroy()
    {
        if (m_hWnd)
            DestroyWindow(m_hWnd);
        m_hWnd = NULL;
    }
    // Handles the queued messages until the condition holds or the time is up.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000)
    {
        DWORD start = GetTickCount();
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (done())
                return true;
            if (GetTickCount() - start > timeoutMs)
                return false;
            MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
        }
    }
    void Pump()
    {
        PumpUntil([] { return false; }, 0);
    }

    HWND m_hWnd = NULL;
    std::vector<RecordCopy> received;
    int discardedOnDestroy = 0;

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (msg == WM_NCCREATE) {
            CREATESTRUCTW* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        }
        CTestWindow* self = reinterpret_cast<CTestWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (self && msg == g_uMsgProgress) {
            CProgressRecord* record = reinterpret_cast<CProgressRecord*>(wParam);
            self->received.push_back(Copy(*record));
            delete record;
            return 0;
        }
        if (self && msg == WM_DESTROY)
            self->discardedOnDestroy = DiscardQueuedProgressRecords(hWnd);
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    }
};

class ProgressTest : public ::testing::Test
{
protected:
    void SetUp() override { g_liveRecords = 0; }
    void TearDown() override { EXPECT_EQ(g_liveRecords.load(), 0) << "a record was leaked or freed twice"; }

    static CCountedRecord* Counted(int kind = CProgressRecord::KIND_POSITION, unsigned flags = 1, int value = 7)
    {
        return new CCountedRecord(kind, flags, value);
    }
};

// ---------------------------------------------------------------------------
// Records

TEST_F(ProgressTest, BuildersMakeTheRecordsOfTheTable)
{
    CTestWindow window;
    CWndProgress sink(window.m_hWnd);
    sink.SetCompletedTexts(L"Kész", L"Kattintson az OK gombra!", L"OK");
    sink.SetAbortedTexts(L"Megszakítva", NULL, L"Kilép");

    sink.Report(42, L"Letöltés");
    sink.PostCompleted();
    sink.PostAborted();
    sink.ProcessMessage(CreateErrorProgressRecord(L"Hiba a titkosítás visszafejtése során."));
    ASSERT_TRUE(window.PumpUntil([&] { return window.received.size() == 4; }));

    struct Expected {
        int kind;
        unsigned flags;
        int value;
        LPCWSTR first, second, button;
    } expected[] = {
        {1, 3, 42, L"Letöltés", L"", L""},
        {2, 15, -1, L"Kész", L"Kattintson az OK gombra!", L"OK"},
        {3, 14, 0, L"Megszakítva", L"", L"Kilép"},
        {3, 12, 0, L"", L"Hiba a titkosítás visszafejtése során.", L"Kilép"},
    };
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const RecordCopy& r = window.received[i];
        EXPECT_EQ(r.kind, expected[i].kind);
        EXPECT_EQ(r.flags, expected[i].flags);
        EXPECT_EQ(r.value, expected[i].value);
        EXPECT_EQ(r.first, expected[i].first);
        EXPECT_EQ(r.second, expected[i].second);
        EXPECT_EQ(r.button, expected[i].button);
    }
    CProgressRecord fresh;
    EXPECT_EQ(fresh.m_kind, 0);
    EXPECT_EQ(fresh.m_flags, 0u);
    EXPECT_EQ(fresh.m_value, 0);
}

// ---------------------------------------------------------------------------
// CWndProgress: who deletes a record

TEST_F(ProgressTest, PostedRecordsBelongToTheWindow)
{
    CTestWindow window;
    CWndProgress sink(window.m_hWnd);
    for (int i = 0; i < 5; ++i)
        sink.ProcessMessage(Counted(CProgressRecord::KIND_POSITION, 1, i));
    EXPECT_EQ(g_liveRecords.load(), 5) << "posted, not yet handled";
    ASSERT_TRUE(window.PumpUntil([&] { return window.received.size() == 5; }));
    EXPECT_EQ(window.received[4].value, 4);
}

TEST_F(ProgressTest, RecordsThatCannotBeDeliveredAreDeleted)
{
    struct Case {
        const char* name;
        std::function<void(CWndProgress&, CTestWindow&)> prepare;
    } cases[] = {
        {"detached", [](CWndProgress& sink, CTestWindow&) { sink.Detach(); }},
        {"window gone", [](CWndProgress&, CTestWindow& window) { window.Destroy(); }},
        {"no window", [](CWndProgress& sink, CTestWindow&) { sink.SetTarget((HWND)NULL); }},
        {"handle of no window", [](CWndProgress& sink, CTestWindow&) { sink.SetTarget((HWND)(LONG_PTR)0x7FFF0); }},
        {"CWnd without a window yet", [](CWndProgress& sink, CTestWindow&) { sink.SetTarget((CWnd*)NULL); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTestWindow window;
        CWndProgress sink(window.m_hWnd);
        c.prepare(sink, window);
        sink.ProcessMessage(Counted());
        sink.Report(1, L"x");
        sink.PostCompleted();
        sink.ProcessMessage(NULL);
        EXPECT_EQ(g_liveRecords.load(), 0);
        window.Pump();
        EXPECT_TRUE(window.received.empty());
    }
}

TEST_F(ProgressTest, RecordsStillQueuedWhenTheWindowGoesAreDeleted)
{
    CTestWindow window;
    CWndProgress sink(window.m_hWnd);
    for (int i = 0; i < 3; ++i)
        sink.ProcessMessage(Counted());
    window.Destroy();
    EXPECT_EQ(window.discardedOnDestroy, 3);
    EXPECT_TRUE(window.received.empty());
    sink.ProcessMessage(Counted()); // after the window: deleted by the sink
}

TEST_F(ProgressTest, AWorkerThreadReportsThroughTheSink)
{
    CTestWindow window;
    CWndProgress sink(window.m_hWnd);
    sink.SetCompletedTexts(L"Kész", L"", L"OK");
    std::thread worker([&] {
        for (int i = 1; i <= 50; ++i)
            sink.ProcessMessage(Counted(CProgressRecord::KIND_POSITION, 1, i));
        sink.PostCompleted();
    });
    ASSERT_TRUE(window.PumpUntil([&] { return window.received.size() == 51; }));
    worker.join();
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(window.received[i].value, i + 1);
    EXPECT_EQ(window.received.back().kind, CProgressRecord::KIND_COMPLETED);
}

// ---------------------------------------------------------------------------
// CTransferProgress

class CFakeManager : public CTransferProgressTarget
{
public:
    void PostProgress(CProgressRecord* record) override
    {
        posted.push_back(Copy(*record));
        delete record;
    }
    bool Cancel(DWORD timeoutMs) override
    {
        cancelTimeouts.push_back(timeoutMs);
        return cancelAnswer;
    }
    std::vector<RecordCopy> posted;
    std::vector<DWORD> cancelTimeouts;
    bool cancelAnswer = true;
};

TEST_F(ProgressTest, TransferProgressMapsAJobOntoTheRun)
{
    struct Case {
        const char* name;
        unsigned total, done;
        int job;
        int kind;
        unsigned flags;
        int value;
        int expectKind;
        unsigned expectFlags;
        int expectValue;
        int expectJobSteps;
        LPCWSTR expectSecond;
    } cases[] = {
        // total 10, done 4, a job of 3 steps
        {"start: at the done steps, title to line 2", 10, 4, 0, 0, 3, 3, 1, 5, 4, 3, L"T"},
        {"start without a value keeps the job steps", 10, 4, 3, 0, 2, 9, 1, 4, 4, 3, L"T"},
        {"position inside the job", 10, 4, 3, 1, 1, 2, 1, 1, 6, 3, L""},
        {"position past the job stops at its end", 10, 4, 3, 1, 1, 5, 1, 1, 7, 3, L""},
        {"position equal to the job steps", 10, 4, 3, 1, 1, 3, 1, 1, 7, 3, L""},
        {"negative position", 10, 4, 3, 1, 1, -1, 1, 1, 3, 3, L""},
        {"position without a value is untouched", 10, 4, 3, 1, 4, 99, 1, 4, 99, 3, L"S"},
        {"completion of a job before the last", 10, 4, 3, 2, 15, -1, 1, 1, 7, 3, L"S"},
        {"completion of the last job ends its share only", 10, 7, 3, 2, 15, -1, 1, 1, 10, 3, L"S"},
        {"completion past the total stops at the total", 10, 9, 3, 2, 15, -1, 1, 1, 10, 3, L"S"},
        {"aborted passes, without its first line", 10, 4, 3, 3, 14, 0, 3, 12, 0, 3, L"S"},
        // a start record of a request with an expected total of 0
        {"request start with total 0", 30, 20, 10, 0, 1, 0, 1, 1, 20, 0, L"S"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeManager manager;
        CTransferProgress sink(&manager);
        sink.SetTotalSteps(c.total);
        sink.SetDoneSteps(c.done);
        sink.SetJobSteps(c.job);
        CProgressRecord* record = Counted(c.kind, c.flags, c.value);
        record->m_firstText = L"T";
        record->m_secondText = L"S";
        record->m_buttonCaption = L"B";
        sink.ProcessMessage(record);
        ASSERT_EQ(manager.posted.size(), 1u);
        const RecordCopy& r = manager.posted[0];
        EXPECT_EQ(r.kind, c.expectKind);
        EXPECT_EQ(r.flags, c.expectFlags);
        EXPECT_EQ(r.value, c.expectValue);
        EXPECT_EQ(sink.GetJobSteps(), c.expectJobSteps);
        if (r.flags & CProgressRecord::FLAG_SECOND_TEXT) {
            EXPECT_EQ(r.second, c.expectSecond);
        }
    }
}

TEST_F(ProgressTest, TransferProgressDropsRecordsWhenDetachedOrWithoutManager)
{
    CFakeManager manager;
    CTransferProgress detached(&manager);
    detached.Detach();
    detached.ProcessMessage(Counted());
    detached.Report(1, L"x");
    CTransferProgress orphan;
    orphan.ProcessMessage(Counted());
    orphan.PostCompleted();
    orphan.PostAborted();
    orphan.PostError(L"hiba");
    EXPECT_TRUE(manager.posted.empty());
}

TEST_F(ProgressTest, TransferProgressEndRecordsGoStraightToTheManager)
{
    CFakeManager manager;
    CTransferProgress sink(&manager);
    sink.SetTotalSteps(30);
    sink.SetDoneSteps(10);
    sink.SetJobSteps(10);
    sink.SetCompletedTexts(L"A mentés elkészült.", L"", L"OK");
    sink.SetAbortedTexts(L"Megszakítva", L"", L"Kilép");
    sink.PostCompleted();
    sink.PostAborted();
    sink.PostError(L"Hiba a titkosítás visszafejtése során.");
    // Through the base (as a request does): rescaled.
    static_cast<CProgress&>(sink).PostCompleted();
    ASSERT_EQ(manager.posted.size(), 4u);
    EXPECT_EQ(manager.posted[0].kind, 2);
    EXPECT_EQ(manager.posted[0].flags, 15u);
    EXPECT_EQ(manager.posted[0].first, L"A mentés elkészült.");
    EXPECT_EQ(manager.posted[1].kind, 3);
    EXPECT_EQ(manager.posted[1].flags, 14u);
    EXPECT_EQ(manager.posted[2].flags, 12u);
    EXPECT_EQ(manager.posted[2].second, L"Hiba a titkosítás visszafejtése során.");
    EXPECT_EQ(manager.posted[2].button, L"Kilép");
    EXPECT_EQ(manager.posted[3].kind, 1);
    EXPECT_EQ(manager.posted[3].value, 20);
}

// ---------------------------------------------------------------------------
// The abort handshake

// A worker that checks for an abort request every few milliseconds, then
// stops, posts the aborted record and acknowledges (or the other way round).
class CAbortingWorker
{
public:
    CAbortingWorker(CProgress& sink, bool acknowledgeFirst, DWORD delayMs = 0)
        : m_thread([&sink, acknowledgeFirst, delayMs, this] {
              DWORD start = GetTickCount();
              while (!sink.IsAbortRequested() && !m_stop && GetTickCount() - start < 20000)
                  Sleep(2);
              if (m_stop)
                  return;
              HANDLE hNamed = OpenEventW(SYNCHRONIZE, FALSE, CProgress::kAbortEventName);
              m_sawNamedEvent = hNamed != NULL;
              if (hNamed)
                  CloseHandle(hNamed);
              Sleep(delayMs);
              if (acknowledgeFirst)
                  sink.AcknowledgeAbort();
              sink.PostAborted();
              if (!acknowledgeFirst)
                  sink.AcknowledgeAbort();
          })
    {
    }
    ~CAbortingWorker() { Join(); }
    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    void Stop() { m_stop = true; }
    bool SawNamedEvent() const { return m_sawNamedEvent; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_sawNamedEvent{false};
    std::thread m_thread;
};

TEST_F(ProgressTest, AnAcknowledgedAbortEndsTheWaitAndTheRequest)
{
    for (bool acknowledgeFirst : {false, true}) {
        SCOPED_TRACE(acknowledgeFirst ? "acknowledges, then posts" : "posts, then acknowledges");
        CTestWindow window;
        CWndProgress sink(window.m_hWnd);
        sink.SetAbortedTexts(L"A letöltést megszakította!", L"", L"Kilép");
        CAbortingWorker worker(sink, acknowledgeFirst);
        EXPECT_FALSE(sink.IsAbortRequested());
        DWORD start = GetTickCount();
        EXPECT_TRUE(sink.Abort());
        EXPECT_LT(GetTickCount() - start, 2000u);
        EXPECT_FALSE(sink.IsAbortRequested());
        worker.Join();
        EXPECT_TRUE(worker.SawNamedEvent()) << "the handshake runs over the named event";
        ASSERT_TRUE(window.PumpUntil([&] { return window.received.size() == 1; }));
        EXPECT_EQ(window.received[0].kind, CProgressRecord::KIND_ABORTED);
        EXPECT_EQ(window.received[0].first, L"A letöltést megszakította!");
    }
    HANDLE hLeft = OpenEventW(SYNCHRONIZE, FALSE, CProgress::kAbortEventName);
    EXPECT_EQ(hLeft, (HANDLE)NULL) << "no sink keeps the event once its handshake ended";
    if (hLeft)
        CloseHandle(hLeft);
}

// The one test that waits the whole 3000 ms.
TEST_F(ProgressTest, AnUnansweredAbortTimesOutAndTheRequestStands)
{
    CWndProgress sink;
    DWORD start = GetTickCount();
    EXPECT_FALSE(sink.Abort());
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 2900u);
    EXPECT_LT(elapsed, 6000u);
    EXPECT_TRUE(sink.IsAbortRequested()) << "the worker still sees the request";

    // The sink closed its handle: nothing is left signalled for others.
    HANDLE hLeft = OpenEventW(SYNCHRONIZE, FALSE, CProgress::kAbortEventName);
    EXPECT_EQ(hLeft, (HANDLE)NULL);
    if (hLeft)
        CloseHandle(hLeft);

    // The worker answers late. That leaves nothing signalled behind: another
    // sink's handshake still waits for its own worker.
    sink.AcknowledgeAbort();
    {
        CWndProgress other;
        CAbortingWorker worker(other, false, 300);
        start = GetTickCount();
        EXPECT_TRUE(other.Abort());
        EXPECT_GE(GetTickCount() - start, 250u) << "the wait ended before its worker answered";
    }
    // Asking the first sink again returns at once: its worker has answered.
    start = GetTickCount();
    EXPECT_TRUE(sink.Abort());
    EXPECT_LT(GetTickCount() - start, 500u);
    EXPECT_FALSE(sink.IsAbortRequested());
}

TEST_F(ProgressTest, TwoSinksWaitingAtOnceShareTheNamedEvent)
{
    CWndProgress answering;
    CWndProgress silent;
    std::atomic<bool> silentResult{false};
    std::atomic<DWORD> silentElapsed{0};
    std::thread otherUi([&] {
        DWORD start = GetTickCount();
        silentResult = silent.Abort();
        silentElapsed = GetTickCount() - start;
    });
    while (!silent.IsAbortRequested())
        Sleep(1);
    CAbortingWorker worker(answering, false, 200);
    EXPECT_TRUE(answering.Abort());
    otherUi.join();
    EXPECT_TRUE(silentResult.load()) << "the first acknowledgement ends both waits";
    EXPECT_LT(silentElapsed.load(), 2500u);
    // But the silent sink's own worker has not stopped: its request stands.
    EXPECT_TRUE(silent.IsAbortRequested());
    EXPECT_FALSE(answering.IsAbortRequested());
    silent.AcknowledgeAbort();
    EXPECT_TRUE(silent.Abort());
    EXPECT_FALSE(silent.IsAbortRequested());
}

TEST_F(ProgressTest, TransferAbortCancelsTheManagerOnlyAfterTheHandshake)
{
    CFakeManager manager;
    CTransferProgress sink(&manager);
    {
        CAbortingWorker worker(sink, true);
        manager.cancelAnswer = false;
        EXPECT_FALSE(sink.Abort()) << "the manager's answer is returned";
    }
    ASSERT_EQ(manager.cancelTimeouts.size(), 1u);
    EXPECT_EQ(manager.cancelTimeouts[0], 1000u);
    {
        CAbortingWorker worker(sink, false);
        manager.cancelAnswer = true;
        EXPECT_TRUE(sink.Abort());
    }
    EXPECT_EQ(manager.cancelTimeouts.size(), 2u);
    EXPECT_EQ(manager.posted.size(), 2u) << "the workers' aborted records";

    CTransferProgress orphan;
    CAbortingWorker worker(orphan, true);
    EXPECT_FALSE(orphan.Abort()) << "acknowledged, but no manager to cancel";
}

TEST_F(ProgressTest, DialogHandlersCallTheSink)
{
    EXPECT_FALSE(CProgress::AbortCallback(NULL));
    EXPECT_FALSE(CProgress::DetachCallback(NULL));
    CTestWindow window;
    CWndProgress sink(window.m_hWnd);
    EXPECT_TRUE(CProgress::DetachCallback(&sink));
    EXPECT_TRUE(sink.IsDetached());
    CAbortingWorker worker(sink, true);
    EXPECT_TRUE(CProgress::AbortCallback(&sink));
    worker.Join();
    window.Pump();
    EXPECT_TRUE(window.received.empty()) << "a detached sink delivers nothing";
}

} // namespace
