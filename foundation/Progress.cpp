#include "foundation/Progress.h"
#include "afxwin.h"
#include "foundation/Log.h"
#include "foundation/RegisteredMessages.h"

const wchar_t CProgress::kAbortEventName[] = L"ProgressAborting";

CProgressRecord* CreateErrorProgressRecord(LPCWSTR message)
{
    CProgressRecord* record = new CProgressRecord(CProgressRecord::KIND_ABORTED,
                                                  CProgressRecord::FLAG_SECOND_TEXT |
                                                      CProgressRecord::FLAG_BUTTON_CAPTION,
                                                  0);
    record->m_secondText = message;
    record->m_buttonCaption = L"Kilép";
    return record;
}

int DiscardQueuedProgressRecords(HWND hWnd)
{
    if (!hWnd || !g_uMsgProgress)
        return 0;
    int count = 0;
    MSG msg;
    while (PeekMessageW(&msg, hWnd, g_uMsgProgress, g_uMsgProgress, PM_REMOVE)) {
        delete reinterpret_cast<CProgressRecord*>(msg.wParam);
        ++count;
    }
    return count;
}

// ---------------------------------------------------------------------------
// CProgress

CProgress::CProgress()
    : m_detached(false), m_hAbortEvent(NULL), m_abortRequested(false), m_abortAcknowledged(false)
{
    InitializeCriticalSection(&m_eventLock);
}

CProgress::~CProgress()
{
    HANDLE hEvent = m_hAbortEvent.exchange(NULL);
    if (hEvent)
        CloseHandle(hEvent);
    DeleteCriticalSection(&m_eventLock);
}

void CProgress::Detach()
{
    m_detached.store(true);
}

void CProgress::Report(int value, LPCWSTR text)
{
    CProgressRecord* record = new CProgressRecord(
        CProgressRecord::KIND_POSITION, CProgressRecord::FLAG_VALUE | CProgressRecord::FLAG_FIRST_TEXT, value);
    record->m_firstText = text;
    ProcessMessage(record);
}

void CProgress::PostCompleted()
{
    ProcessMessage(CreateCompletedRecord());
}

void CProgress::PostAborted()
{
    ProcessMessage(CreateAbortedRecord());
}

CProgressRecord* CProgress::CreateCompletedRecord() const
{
    CProgressRecord* record = new CProgressRecord(CProgressRecord::KIND_COMPLETED, 15, -1);
    record->m_firstText = m_completedFirst;
    record->m_secondText = m_completedSecond;
    record->m_buttonCaption = m_completedButton;
    return record;
}

CProgressRecord* CProgress::CreateAbortedRecord() const
{
    CProgressRecord* record = new CProgressRecord(CProgressRecord::KIND_ABORTED, 14, 0);
    record->m_firstText = m_abortedFirst;
    record->m_secondText = m_abortedSecond;
    record->m_buttonCaption = m_abortedButton;
    return record;
}

void CProgress::SetCompletedTexts(LPCWSTR first, LPCWSTR second, LPCWSTR buttonCaption)
{
    m_completedFirst = first;
    m_completedSecond = second;
    m_completedButton = buttonCaption;
}

void CProgress::SetAbortedTexts(LPCWSTR first, LPCWSTR second, LPCWSTR buttonCaption)
{
    m_abortedFirst = first;
    m_abortedSecond = second;
    m_abortedButton = buttonCaption;
}

void CProgress::AcknowledgeAbort()
{
    EnterCriticalSection(&m_eventLock);
    m_abortAcknowledged.store(true);
    HANDLE hEvent = m_hAbortEvent.load();
    if (hEvent)
        SetEvent(hEvent);
    LeaveCriticalSection(&m_eventLock);
}

// The event is named, so every sink with an abort pending, in this process
// or in another instance of the program, shares one object: the first
// acknowledgement ends every wait. Each wait closes its handle when it ends,
// whatever its outcome, so that an event left signalled by a late
// acknowledgement does not outlive the sinks and end a later wait at once.
// The request itself is a flag of this sink: it stands until this sink's
// own worker acknowledged it, even when another sink's worker ended the wait.
bool CProgress::Abort()
{
    EnterCriticalSection(&m_eventLock);
    if (m_abortRequested.load() && m_abortAcknowledged.load()) {
        // The worker answered an earlier request after its wait had ended.
        m_abortRequested.store(false);
        m_abortAcknowledged.store(false);
        LeaveCriticalSection(&m_eventLock);
        return true;
    }
    m_abortAcknowledged.store(false);
    HANDLE hEvent = m_hAbortEvent.load();
    if (!hEvent) {
        hEvent = CreateEventW(NULL, TRUE, FALSE, kAbortEventName);
        if (!hEvent)
            LogFormat(L"CProgress::Abort - CreateEvent error %d", (int)GetLastError());
        m_hAbortEvent.store(hEvent);
    }
    m_abortRequested.store(true);
    LeaveCriticalSection(&m_eventLock);

    DWORD wait = hEvent ? WaitForSingleObject(hEvent, kAbortWaitMs) : WAIT_FAILED;

    EnterCriticalSection(&m_eventLock);
    bool acknowledged = m_abortAcknowledged.load();
    HANDLE hOwn = m_hAbortEvent.exchange(NULL);
    if (hOwn)
        CloseHandle(hOwn);
    if (acknowledged) {
        m_abortRequested.store(false);
        m_abortAcknowledged.store(false);
    }
    LeaveCriticalSection(&m_eventLock);
    return acknowledged || wait == WAIT_OBJECT_0;
}

bool CProgress::AbortCallback(void* sink)
{
    return sink ? static_cast<CProgress*>(sink)->Abort() : false;
}

bool CProgress::DetachCallback(void* sink)
{
    if (!sink)
        return false;
    static_cast<CProgress*>(sink)->Detach();
    return true;
}

// ---------------------------------------------------------------------------
// CWndProgress

CWndProgress::CWndProgress(HWND target) : m_hWndTarget(target), m_pWndTarget(NULL)
{
}

CWndProgress::CWndProgress(CWnd* target) : m_hWndTarget(NULL), m_pWndTarget(target)
{
}

void CWndProgress::SetTarget(HWND target)
{
    m_pWndTarget.store(NULL);
    m_hWndTarget.store(target);
}

void CWndProgress::SetTarget(CWnd* target)
{
    m_hWndTarget.store(NULL);
    m_pWndTarget.store(target);
}

HWND CWndProgress::GetTargetWindow() const
{
    CWnd* pWnd = m_pWndTarget.load();
    if (pWnd)
        return pWnd->m_hWnd;
    return m_hWndTarget.load();
}

void CWndProgress::ProcessMessage(CProgressRecord* record)
{
    if (!record)
        return;
    HWND hWnd = GetTargetWindow();
    if (!m_detached.load() && hWnd && IsWindow(hWnd)) {
        if (PostMessageW(hWnd, g_uMsgProgress, reinterpret_cast<WPARAM>(record), 0))
            return;
        LogFormat(L"CWndProgress::ProcessMessage - !PostMessage %d", record->m_kind);
    }
    delete record;
}

// ---------------------------------------------------------------------------
// CTransferProgress

CTransferProgress::CTransferProgress(CTransferProgressTarget* manager)
    : m_pManager(manager), m_totalSteps(0), m_doneSteps(0), m_jobSteps(0)
{
}

void CTransferProgress::ProcessMessage(CProgressRecord* record)
{
    if (!record)
        return;
    CTransferProgressTarget* manager = m_pManager.load();
    if (m_detached.load() || !manager) {
        delete record;
        return;
    }
    unsigned done = m_doneSteps.load();
    switch (record->m_kind) {
    case CProgressRecord::KIND_START:
        record->m_kind = CProgressRecord::KIND_POSITION;
        if (record->m_flags & CProgressRecord::FLAG_VALUE)
            m_jobSteps.store(record->m_value);
        if (record->m_flags & CProgressRecord::FLAG_FIRST_TEXT) {
            record->m_secondText = record->m_firstText;
            record->m_flags |= CProgressRecord::FLAG_SECOND_TEXT;
        }
        record->m_value = (int)done;
        break;
    case CProgressRecord::KIND_POSITION:
        if (record->m_flags & CProgressRecord::FLAG_VALUE) {
            int job = m_jobSteps.load();
            record->m_value = (int)(done + (unsigned)(record->m_value < job ? record->m_value : job));
        }
        break;
    case CProgressRecord::KIND_COMPLETED: {
        // Only the manager ends a run: a job's own completion (an upload's
        // request ends before its answer is read) fills the job's share.
        unsigned end = done + (unsigned)m_jobSteps.load();
        unsigned total = m_totalSteps.load();
        record->m_flags &= ~(unsigned)(CProgressRecord::FLAG_SECOND_TEXT | CProgressRecord::FLAG_BUTTON_CAPTION);
        record->m_kind = CProgressRecord::KIND_POSITION;
        record->m_value = (int)(total && end > total ? total : end);
        break;
    }
    default:
        break;
    }
    record->m_flags &= ~(unsigned)CProgressRecord::FLAG_FIRST_TEXT;
    manager->PostProgress(record);
}

bool CTransferProgress::Abort()
{
    if (!CProgress::Abort())
        return false;
    CTransferProgressTarget* manager = m_pManager.load();
    return manager ? manager->Cancel(kCancelWaitMs) : false;
}

void CTransferProgress::PostCompleted()
{
    CTransferProgressTarget* manager = m_pManager.load();
    if (manager)
        manager->PostProgress(CreateCompletedRecord());
}

void CTransferProgress::PostAborted()
{
    CTransferProgressTarget* manager = m_pManager.load();
    if (manager)
        manager->PostProgress(CreateAbortedRecord());
}

void CTransferProgress::PostError(LPCWSTR message)
{
    CTransferProgressTarget* manager = m_pManager.load();
    if (manager)
        manager->PostProgress(CreateErrorProgressRecord(message));
}
