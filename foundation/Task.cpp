#include "foundation/Task.h"
#include <utility>
#include "foundation/Log.h"

int CTask::Run()
{
    int result = Execute();
    if (!KeepAfterRun())
        Release();
    return result;
}

// ---------------------------------------------------------------------------
// CTaskStack

CTaskStack::CTaskStack() : m_head(nullptr), m_counter(0)
{
}

CTaskStack::~CTaskStack()
{
    CTaskNode* node = m_head.exchange(nullptr, std::memory_order_acquire);
    while (node) {
        CTaskNode* next = node->next;
        delete node->task;
        delete node;
        node = next;
    }
}

void CTaskStack::Push(CTask* task)
{
    CTaskNode* node = new CTaskNode;
    node->task = task;
    node->next = nullptr;
    node->sequence = m_counter.fetch_add(1, std::memory_order_relaxed) + 1;
    node->priority = 0;
    // The node is published by the swap that makes it the head.
    CTaskNode* head = m_head.load(std::memory_order_relaxed);
    do {
        node->next = head;
    } while (!m_head.compare_exchange_weak(head, node, std::memory_order_release, std::memory_order_relaxed));
}

CTask* CTaskStack::Pop()
{
    // Only the owning thread pops and frees nodes, so the head read here
    // cannot be freed or pushed again while this swap is tried: pushes only
    // put new nodes on top, which makes the swap fail and retry.
    CTaskNode* head = m_head.load(std::memory_order_acquire);
    while (head) {
        if (m_head.compare_exchange_weak(head, head->next, std::memory_order_acquire, std::memory_order_acquire))
            break;
    }
    if (!head)
        return nullptr;
    CTask* task = head->task;
    delete head;
    return task;
}

void CTaskStack::Sort()
{
    // Bubble sort exchanging the nodes' contents: pushes running meanwhile
    // only put new nodes above the head read here and never touch its chain.
    bool exchanged;
    do {
        exchanged = false;
        for (CTaskNode* node = m_head.load(std::memory_order_acquire); node && node->next; node = node->next) {
            CTaskNode* next = node->next;
            if (node->priority > next->priority ||
                (node->priority == next->priority && node->sequence > next->sequence)) {
                std::swap(node->task, next->task);
                std::swap(node->sequence, next->sequence);
                std::swap(node->priority, next->priority);
                exchanged = true;
            }
        }
    } while (exchanged);
}

// ---------------------------------------------------------------------------
// CTaskRunner

CTaskRunner::CTaskRunner()
    : m_pSource(NULL), m_threadId(0), m_maxPasses(0), m_running(true), m_failed(0), m_hThread(NULL)
{
}

CTaskRunner::~CTaskRunner()
{
    // A thread of the runner's own ends after its current pass.
    m_running = false;
    if (m_hThread) {
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
    }
}

int CTaskRunner::Run()
{
    RunPasses(false);
    return 0;
}

void CTaskRunner::RunPasses(bool waitWhenIdle)
{
    for (int passes = 0; m_running && (m_maxPasses == 0 || passes < m_maxPasses); ++passes) {
        bool moved = false;
        if (m_pSource) {
            while (CTask* task = m_pSource->Pop()) {
                m_list.Push(task);
                moved = true;
            }
        }
        if (moved)
            m_list.Sort();
        CTask* task = m_list.Pop();
        if (task)
            RunTask(task);
        else if (waitWhenIdle)
            Sleep(1); // an own thread with nothing to do does not spin
    }
}

// A task that throws ends as failed; the runner and the thread it runs on go
// on (an exception cannot cross the frames of the window procedure or of the
// thread start that called it).
void CTaskRunner::RunTask(CTask* task)
{
    try {
        task->Run();
    } catch (...) {
        LogCaughtException(L"A queued task failed");
        ++m_failed;
        try {
            if (!task->KeepAfterRun())
                task->Release();
        } catch (...) {
            LogCaughtException(L"A failed task could not be released");
        }
    }
}

bool CTaskRunner::StartThread(CTaskStack* source, int maxPasses)
{
    if (m_hThread) {
        if (WaitForSingleObject(m_hThread, 0) != WAIT_OBJECT_0)
            return false;
        CloseHandle(m_hThread);
        m_hThread = NULL;
    }
    m_pSource = source;
    m_maxPasses = maxPasses;
    DWORD threadId = 0;
    m_hThread = CreateThread(NULL, 0, ThreadProc, this, 0, &threadId);
    if (!m_hThread)
        return false;
    m_threadId = threadId;
    return true;
}

DWORD WINAPI CTaskRunner::ThreadProc(LPVOID param)
{
    CTaskRunner* runner = static_cast<CTaskRunner*>(param);
    try {
        runner->RunPasses(true);
    } catch (...) {
        LogCaughtException(L"The task runner's thread");
        return (DWORD)-1;
    }
    return (DWORD)runner->GetFailedCount();
}
