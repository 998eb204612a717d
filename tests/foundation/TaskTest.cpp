#include <gtest/gtest.h>
#include "foundation/AppSettings.h"
#include "foundation/RegisteredMessages.h"
#include "foundation/Task.h"
#include "support/TestSupport.h"
#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

struct TaskCounts {
    std::atomic<int> executed{0};
    std::atomic<int> released{0};
    std::atomic<int> destroyed{0};
};

// Writes its id to the run order; Release deletes it.
class CRecordingTask : public CTask
{
public:
    CRecordingTask(int id, std::vector<int>* order, TaskCounts* counts, bool keep = false)
        : m_id(id), m_order(order), m_counts(counts), m_keep(keep)
    {
    }
    ~CRecordingTask() override { ++m_counts->destroyed; }
    bool KeepAfterRun() override { return m_keep; }
    int Execute() override
    {
        if (m_order)
            m_order->push_back(m_id);
        ++m_counts->executed;
        return m_id * 10;
    }
    void Release() override
    {
        ++m_counts->released;
        delete this;
    }

private:
    int m_id;
    std::vector<int>* m_order;
    TaskCounts* m_counts;
    bool m_keep;
};

class TaskQueueTest : public ::testing::Test
{
protected:
    void Queue(int id) { settings->QueueTask(new CRecordingTask(id, &order, &counts)); }
    // Runs one pending task and returns its id, or 0 when none ran.
    int RunOne()
    {
        size_t before = order.size();
        settings->RunPendingTask();
        if (order.size() == before)
            return 0;
        EXPECT_EQ(order.size(), before + 1) << "one call runs at most one task";
        return order.back();
    }

    TaskCounts counts;
    std::vector<int> order;
    std::unique_ptr<CAppSettings> settings{new CAppSettings};
};

TEST_F(TaskQueueTest, EmptyQueueRunsNothing)
{
    EXPECT_EQ(RunOne(), 0);
    EXPECT_EQ(RunOne(), 0);
}

TEST_F(TaskQueueTest, NewestOfABatchRunsFirstThenTheRestInOrder)
{
    Queue(1);
    Queue(2);
    Queue(3);
    EXPECT_EQ(RunOne(), 3);
    EXPECT_EQ(RunOne(), 2);
    EXPECT_EQ(RunOne(), 1);
    EXPECT_EQ(RunOne(), 0);
    EXPECT_EQ(counts.released, 3);
    EXPECT_EQ(counts.destroyed, 3);
}

TEST_F(TaskQueueTest, LeftoversRunBeforeLaterBatches)
{
    Queue(1);
    Queue(2);
    Queue(3);
    EXPECT_EQ(RunOne(), 3);
    Queue(4);
    EXPECT_EQ(RunOne(), 2);
    Queue(5);
    Queue(6);
    EXPECT_EQ(RunOne(), 1);
    EXPECT_EQ(RunOne(), 4);
    EXPECT_EQ(RunOne(), 6);
    EXPECT_EQ(RunOne(), 5);
    EXPECT_EQ(RunOne(), 0);
}

TEST_F(TaskQueueTest, TaskKeptAfterRunIsNotReleased)
{
    CRecordingTask* kept = new CRecordingTask(7, &order, &counts, true);
    settings->QueueTask(kept);
    EXPECT_EQ(RunOne(), 7);
    EXPECT_EQ(counts.released, 0);
    EXPECT_EQ(counts.destroyed, 0);
    EXPECT_EQ(kept->Run(), 70);
    EXPECT_EQ(counts.released, 0);
    delete kept;
}

TEST_F(TaskQueueTest, RunReturnsExecutesResultAndReleases)
{
    CRecordingTask* task = new CRecordingTask(4, &order, &counts);
    EXPECT_EQ(task->Run(), 40);
    EXPECT_EQ(counts.released, 1);
    EXPECT_EQ(counts.destroyed, 1);
}

TEST_F(TaskQueueTest, EndOfTheSettingsObjectDeletesQueuedTasksUnrun)
{
    // Two tasks wait on the runner's private list, two more in the queue.
    Queue(1);
    Queue(2);
    Queue(3);
    EXPECT_EQ(RunOne(), 3);
    Queue(4);
    Queue(5);
    settings.reset();
    EXPECT_EQ(counts.executed, 1);
    EXPECT_EQ(counts.released, 1);
    EXPECT_EQ(counts.destroyed, 5);
}

// ---------------------------------------------------------------------------
// The stack itself

TEST(TaskStack, PushPopAndSort)
{
    TaskCounts counts;
    CTaskStack stack;
    EXPECT_EQ(stack.Pop(), nullptr);
    CTask* a = new CRecordingTask(1, nullptr, &counts);
    CTask* b = new CRecordingTask(2, nullptr, &counts);
    CTask* c = new CRecordingTask(3, nullptr, &counts);
    stack.Push(a);
    stack.Push(b);
    stack.Push(c);
    EXPECT_EQ(stack.Pop(), c);
    stack.Push(c);
    stack.Sort(); // the oldest push on top
    EXPECT_EQ(stack.Pop(), a);
    EXPECT_EQ(stack.Pop(), b);
    EXPECT_EQ(stack.Pop(), c);
    EXPECT_EQ(stack.Pop(), nullptr);
    stack.Sort();
    delete a;
    delete b;
    delete c;
    EXPECT_EQ(counts.executed, 0);
}

// Starts the pushers together, so that their swaps collide.
class CStartLine
{
public:
    explicit CStartLine(int threads) : m_waiting(threads) {}
    void Wait()
    {
        --m_waiting;
        while (m_waiting > 0)
            std::this_thread::yield();
    }

private:
    std::atomic<int> m_waiting;
};

TEST(TaskStack, ManyThreadsPushWhileOneThreadPops)
{
    const int kThreads = 8;
    const int kPerThread = 20000;
    const size_t kTotal = kThreads * kPerThread;
    TaskCounts counts;
    std::vector<std::unique_ptr<CRecordingTask>> tasks;
    for (size_t i = 0; i < kTotal; ++i)
        tasks.emplace_back(new CRecordingTask((int)i, nullptr, &counts));

    CTaskStack stack;
    CStartLine start(kThreads + 1);
    std::vector<std::thread> pushers;
    for (int t = 0; t < kThreads; ++t) {
        pushers.emplace_back([&, t] {
            start.Wait();
            for (int i = 0; i < kPerThread; ++i)
                stack.Push(tasks[t * kPerThread + i].get());
        });
    }
    start.Wait();
    // Pop while the pushers run; a guard ends the wait should tasks be lost.
    std::vector<CTask*> got;
    got.reserve(kTotal);
    DWORD began = GetTickCount();
    while (got.size() < kTotal && GetTickCount() - began < 60000) {
        if (CTask* task = stack.Pop())
            got.push_back(task);
        else
            std::this_thread::yield();
    }
    for (auto& p : pushers)
        p.join();
    while (CTask* task = stack.Pop())
        got.push_back(task);

    ASSERT_EQ(got.size(), kTotal);
    std::vector<CTask*> expected;
    for (auto& t : tasks)
        expected.push_back(t.get());
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(got == expected) << "every pushed task comes off exactly once";
    EXPECT_EQ(counts.executed, 0);
}

// ---------------------------------------------------------------------------
// Workers and the UI thread

// Notes the thread it runs on; counts its runs in a shared table.
class CThreadTask : public CTask
{
public:
    CThreadTask(int id, std::vector<std::atomic<int>>* runs, std::atomic<DWORD>* ranOn, TaskCounts* counts)
        : m_id(id), m_runs(runs), m_ranOn(ranOn), m_counts(counts)
    {
    }
    ~CThreadTask() override { ++m_counts->destroyed; }
    bool KeepAfterRun() override { return false; }
    int Execute() override
    {
        ++(*m_runs)[m_id];
        DWORD self = GetCurrentThreadId();
        DWORD expected = 0;
        // Keeps the first thread seen, or marks a second one with -1.
        if (!m_ranOn->compare_exchange_strong(expected, self) && expected != self)
            *m_ranOn = (DWORD)-1;
        ++m_counts->executed;
        return 0;
    }
    void Release() override { delete this; }

private:
    int m_id;
    std::vector<std::atomic<int>>* m_runs;
    std::atomic<DWORD>* m_ranOn;
    TaskCounts* m_counts;
};

TEST(TaskQueueThreads, WorkersQueueWhileTheUiThreadDrains)
{
    const int kThreads = 6;
    const int kPerThread = 1500;
    const int kTotal = kThreads * kPerThread;
    TaskCounts counts;
    std::vector<std::atomic<int>> runs(kTotal);
    std::atomic<DWORD> ranOn{0};
    {
        CAppSettings settings;
        CStartLine start(kThreads + 1);
        std::vector<std::thread> workers;
        for (int t = 0; t < kThreads; ++t) {
            workers.emplace_back([&, t] {
                start.Wait();
                for (int i = 0; i < kPerThread; ++i)
                    settings.QueueTask(new CThreadTask(t * kPerThread + i, &runs, &ranOn, &counts));
            });
        }
        start.Wait();
        DWORD began = GetTickCount();
        while (counts.executed < kTotal && GetTickCount() - began < 60000)
            settings.RunPendingTask();
        for (auto& w : workers)
            w.join();
        while (counts.executed < kTotal && GetTickCount() - began < 60000)
            settings.RunPendingTask();
    }
    EXPECT_EQ(counts.executed, kTotal);
    EXPECT_EQ(counts.destroyed, kTotal);
    int wrong = 0;
    for (auto& r : runs)
        wrong += r != 1;
    EXPECT_EQ(wrong, 0) << "each task runs exactly once";
    EXPECT_EQ(ranOn.load(), GetCurrentThreadId());
}

TEST(TaskRunnerThread, OwnThreadRunsTheQueuedTasks)
{
    TaskCounts counts;
    std::vector<std::atomic<int>> runs(3);
    std::atomic<DWORD> ranOn{0};
    CTaskStack source;
    {
        CTaskRunner runner;
        for (int i = 0; i < 3; ++i)
            source.Push(new CThreadTask(i, &runs, &ranOn, &counts));
        ASSERT_TRUE(runner.StartThread(&source, 0));
        DWORD began = GetTickCount();
        while (counts.executed < 3 && GetTickCount() - began < 10000)
            Sleep(1);
    } // the runner stops its thread
    EXPECT_EQ(counts.executed, 3);
    EXPECT_NE(ranOn.load(), GetCurrentThreadId());
    EXPECT_NE(ranOn.load(), (DWORD)-1);
}

// Throws what it is given from Execute; Release deletes it.
class CThrowingTask : public CTask
{
public:
    CThrowingTask(std::function<void()> raise, TaskCounts* counts) : m_raise(raise), m_counts(counts) {}
    ~CThrowingTask() override { ++m_counts->destroyed; }
    bool KeepAfterRun() override { return false; }
    int Execute() override
    {
        ++m_counts->executed;
        if (m_raise)
            m_raise();
        return 0;
    }
    void Release() override
    {
        ++m_counts->released;
        delete this;
    }

private:
    std::function<void()> m_raise;
    TaskCounts* m_counts;
};

// A task that throws ends as failed and is released; the runner goes on
// with the next one, on the UI thread and on a thread of its own alike.
TEST(TaskRunnerFailures, ATaskThatThrowsFailsAloneOnEitherThread)
{
    const testing_support::Raisers raises = testing_support::EveryKindOfException();
    for (bool ownThread : {false, true}) {
        SCOPED_TRACE(ownThread ? "own thread" : "calling thread");
        TaskCounts counts;
        CTaskStack source;
        CTaskRunner runner;
        source.Push(new CThrowingTask(nullptr, &counts));
        for (const auto& raise : raises)
            source.Push(new CThrowingTask(raise.second, &counts));
        source.Push(new CThrowingTask(nullptr, &counts));
        const int total = (int)raises.size() + 2;
        if (ownThread) {
            ASSERT_TRUE(runner.StartThread(&source, total));
            DWORD began = GetTickCount();
            while (counts.released < total && GetTickCount() - began < 10000)
                Sleep(1);
        } else {
            runner.SetSource(&source);
            runner.SetMaxPasses(1);
            for (int i = 0; i < total; ++i)
                EXPECT_EQ(runner.Run(), 0);
        }
        EXPECT_EQ(counts.executed, total);
        EXPECT_EQ(counts.released, total);
        EXPECT_EQ(runner.GetFailedCount(), (int)raises.size());
    }
}

// ---------------------------------------------------------------------------
// Registered messages

TEST(RegisteredMessages, RegisteredByNameBeforeMain)
{
    EXPECT_EQ(g_uMsgLockUi, RegisterWindowMessageW(L"FOLIONEX_LOCKUI"));
    EXPECT_EQ(g_uMsgProgress, RegisterWindowMessageW(L"FOLIONEX_PROGRESS"));
    EXPECT_EQ(g_uMsgTask, RegisterWindowMessageW(L"FOLIONEX_TASK"));
    EXPECT_GE(g_uMsgTask, 0xC000u);
    EXPECT_NE(g_uMsgLockUi, g_uMsgProgress);
    EXPECT_NE(g_uMsgProgress, g_uMsgTask);
}

// A hidden window standing in for the main dialog: each "FOLIONEX_TASK"
// runs one pending task.
LRESULT CALLBACK TaskWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == g_uMsgTask) {
        GetAppSettings()->RunPendingTask();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class CTaskWindow
{
public:
    CTaskWindow()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = TaskWindowProc;
        wc.hInstance = GetModuleHandleW(NULL);
        wc.lpszClassName = L"FolionexTaskTestWindow";
        RegisterClassW(&wc);
        m_hwnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL, wc.hInstance,
                                 NULL);
    }
    ~CTaskWindow()
    {
        if (m_hwnd)
            DestroyWindow(m_hwnd);
    }
    HWND Handle() const { return m_hwnd; }

private:
    HWND m_hwnd;
};

// Pumps messages until the condition holds or the time is up.
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs)
{
    DWORD began = GetTickCount();
    while (!done()) {
        DWORD elapsed = GetTickCount() - began;
        if (elapsed >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

TEST(TaskMessage, TaskQueuedByAWorkerRunsOnTheUiThread)
{
    const int kWorkers = 4;
    const int kPerWorker = 50;
    const int kTotal = kWorkers * kPerWorker;
    TaskCounts counts;
    std::vector<std::atomic<int>> runs(kTotal);
    std::atomic<DWORD> ranOn{0};
    CAppSettings settings;
    CTaskWindow window;
    ASSERT_NE(window.Handle(), (HWND)NULL);
    HWND target = window.Handle();

    std::atomic<int> postFailures{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < kPerWorker; ++i) {
                settings.QueueTask(new CThreadTask(w * kPerWorker + i, &runs, &ranOn, &counts));
                if (!PostMessageW(target, g_uMsgTask, 0, 0))
                    ++postFailures;
            }
        });
    }
    for (auto& w : workers)
        w.join();
    EXPECT_TRUE(PumpUntil([&] { return counts.executed >= kTotal; }, 20000));
    EXPECT_EQ(postFailures, 0);
    EXPECT_EQ(counts.executed, kTotal);
    EXPECT_EQ(ranOn.load(), GetCurrentThreadId());
}

} // namespace
