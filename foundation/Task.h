// Work that worker threads hand to the UI thread. A worker pushes a CTask
// onto a CTaskStack (lock-free, any thread) and posts "FOLIONEX_TASK"; the
// UI thread's CTaskRunner drains the stack and runs one task per message.
#pragma once
#include <windows.h>
#include <atomic>
#include <stdint.h>

// A unit of work run on the UI thread.
class CTask
{
public:
    virtual ~CTask() {}
    // Execute, then Release unless KeepAfterRun; returns Execute's result.
    virtual int Run();
    // True when the task must stay alive after Run.
    virtual bool KeepAfterRun() = 0;
    virtual int Execute() = 0;
    // Ends the task's life.
    virtual void Release() = 0;
};

// One queued task (heap).
struct CTaskNode
{
    CTask* task;
    CTaskNode* next;
    uint32_t sequence;
    uint32_t priority; // always 0
};

// A lock-free stack of tasks. Push may run on any number of threads at
// once; Pop and Sort run on one thread only, the one that owns the stack
// (the UI thread for the settings object's queue). The destructor deletes
// the tasks still on it without running them.
class CTaskStack
{
public:
    CTaskStack();
    ~CTaskStack();
    CTaskStack(const CTaskStack&) = delete;
    CTaskStack& operator=(const CTaskStack&) = delete;

    // Gives the task the next sequence number (the first push gets 1).
    void Push(CTask* task);
    // The task on top, or null when the stack is empty.
    CTask* Pop();
    // Orders the stack by (priority, sequence), smallest on top.
    void Sort();

private:
    std::atomic<CTaskNode*> m_head;
    std::atomic<uint32_t> m_counter; // last sequence number given
};

// Drains a source stack: each pass moves every task from the source onto a
// private list (numbered in the order they come off the source), sorts the
// list and runs the task on top. So the newest task of a batch runs first,
// and tasks left from earlier passes run before any later batch.
class CTaskRunner
{
public:
    CTaskRunner();
    ~CTaskRunner();
    CTaskRunner(const CTaskRunner&) = delete;
    CTaskRunner& operator=(const CTaskRunner&) = delete;

    void SetSource(CTaskStack* source) { m_pSource = source; }
    // 0 runs passes until the runner stops.
    void SetMaxPasses(int maxPasses) { m_maxPasses = maxPasses; }

    // Runs the passes on the calling thread; returns 0.
    int Run();
    // Runs the passes on a thread of the runner's own (the program does not
    // use this). False when the thread cannot be started or one already runs.
    // The thread's exit code is the number of tasks that failed.
    bool StartThread(CTaskStack* source, int maxPasses);
    // How many tasks ended with an exception (logged; the task released
    // unless it is kept) since the runner was made.
    int GetFailedCount() const { return m_failed.load(); }

private:
    static DWORD WINAPI ThreadProc(LPVOID param);
    void RunPasses(bool waitWhenIdle);
    void RunTask(CTask* task);

    CTaskStack m_list;
    CTaskStack* m_pSource;
    DWORD m_threadId;
    int m_maxPasses;
    std::atomic<bool> m_running;
    std::atomic<int> m_failed;
    HANDLE m_hThread;
};
