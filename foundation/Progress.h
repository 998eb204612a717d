// Progress reporting from worker threads. A worker builds small heap records
// (CProgressRecord) and hands them to a progress sink (a CProgress); the sink
// forwards each record to a window on the UI thread by posting
// "FOLIONEX_PROGRESS", or deletes it once the window side has lost interest.
// The same sink carries the abort handshake between the UI thread and the
// worker over the named manual-reset event "ProgressAborting".
//
// Ownership: a record belongs to whoever holds it last. ProcessMessage takes
// it; a posted record belongs to the window that receives the message (its
// handler deletes it); a record that is not posted is deleted by the sink.
#pragma once
#include <windows.h>
#include <atomic>
#include "afxstr.h"

class CWnd;

class CProgressRecord
{
public:
    enum {
        KIND_START = 0,     // the value is the range
        KIND_POSITION = 1,  // the value is the position
        KIND_COMPLETED = 2, // the work is done; value -1
        KIND_ABORTED = 3,   // aborted, or ended with a message
    };
    enum {
        FLAG_VALUE = 1,
        FLAG_FIRST_TEXT = 2,
        FLAG_SECOND_TEXT = 4,
        FLAG_BUTTON_CAPTION = 8,
    };

    CProgressRecord() : m_kind(KIND_START), m_flags(0), m_value(0) {}
    CProgressRecord(int kind, unsigned flags, int value) : m_kind(kind), m_flags(flags), m_value(value) {}
    // Virtual so that a record of a derived class is deleted whole through
    // the pointer a sink or a window holds.
    virtual ~CProgressRecord() {}

    int m_kind;
    unsigned m_flags;
    int m_value;
    CString m_firstText;
    CString m_secondText;
    CString m_buttonCaption;
};

// {aborted kind, flags 12, value 0}: second text = message, button "Kilép".
CProgressRecord* CreateErrorProgressRecord(LPCWSTR message);

// Deletes the records of "FOLIONEX_PROGRESS" messages still queued for the
// window (a window that goes away drops its queued messages, and with them
// the records they own). Call it on the window's own thread when the window
// is being destroyed; returns how many records it deleted.
int DiscardQueuedProgressRecords(HWND hWnd);

// The handler type of the progress dialog: a function taking its argument
// (here the sink) and returning a boolean.
typedef bool (*PROGRESS_HANDLER)(void* argument);

// The abstract sink. Worker side: Report, the posting operations,
// IsAbortRequested, AcknowledgeAbort (any thread). UI side: Abort, Detach.
// Set-up side (before the worker starts): the text setters.
class CProgress
{
public:
    // The name of the abort handshake's event; other running instances of
    // the program open the same object.
    static const wchar_t kAbortEventName[];
    // How long Abort waits for the worker's acknowledgement.
    static const DWORD kAbortWaitMs = 3000;

    CProgress();
    virtual ~CProgress();
    CProgress(const CProgress&) = delete;
    CProgress& operator=(const CProgress&) = delete;

    // Takes ownership of the record and delivers or deletes it (a null
    // record is ignored).
    virtual void ProcessMessage(CProgressRecord* record) = 0;
    // The UI side of the abort handshake: asks the worker to stop and waits
    // up to 3000 ms for its acknowledgement; true when it came.
    virtual bool Abort();
    // From now on every record handed to the sink is deleted, not delivered.
    virtual void Detach();

    // Worker side.
    // Hands {position, flags 3, value, first text = text} to ProcessMessage.
    void Report(int value, LPCWSTR text);
    // True from an Abort until the worker's acknowledgement ended it.
    bool IsAbortRequested() const { return m_abortRequested.load(); }
    // The worker has stopped because of the request: ends the UI's wait.
    void AcknowledgeAbort();
    // Hand the completed or the aborted record to ProcessMessage.
    void PostCompleted();
    void PostAborted();

    // {completed, flags 15, value -1} with the completed texts.
    CProgressRecord* CreateCompletedRecord() const;
    // {aborted, flags 14, value 0} with the aborted texts.
    CProgressRecord* CreateAbortedRecord() const;

    // Set-up side: copies of the texts; a null pointer stores the empty text.
    void SetCompletedTexts(LPCWSTR first, LPCWSTR second, LPCWSTR buttonCaption);
    void SetAbortedTexts(LPCWSTR first, LPCWSTR second, LPCWSTR buttonCaption);

    bool IsDetached() const { return m_detached.load(); }

    // For the progress dialog's handlers; the argument is the sink.
    // AbortCallback: the sink's Abort, or false without a sink.
    static bool AbortCallback(void* sink);
    // DetachCallback: the sink's Detach and true, or false without a sink.
    static bool DetachCallback(void* sink);

protected:
    std::atomic<bool> m_detached;
    CString m_completedFirst;
    CString m_completedSecond;
    CString m_completedButton;
    CString m_abortedFirst;
    CString m_abortedSecond;
    CString m_abortedButton;

private:
    // The abort event exists from an Abort until that Abort's wait ended.
    // The lock keeps the handle alive while the worker sets it.
    std::atomic<HANDLE> m_hAbortEvent;
    std::atomic<bool> m_abortRequested;
    // The worker acknowledged the request that stands.
    std::atomic<bool> m_abortAcknowledged;
    CRITICAL_SECTION m_eventLock;
};

// A sink that posts each record to a window. The window is either a handle
// fixed by the creator, or a CWnd whose handle is read at each post (for a
// dialog whose window exists only once it runs); neither is owned, and a
// CWnd must outlive every record the worker may still hand in (detach the
// sink first).
class CWndProgress : public CProgress
{
public:
    explicit CWndProgress(HWND target = NULL);
    explicit CWndProgress(CWnd* target);

    void SetTarget(HWND target);
    void SetTarget(CWnd* target);
    HWND GetTargetWindow() const;

    // Posts the record to the target unless the sink is detached or the
    // target is no window; a post that fails is logged. Every record not
    // posted is deleted.
    void ProcessMessage(CProgressRecord* record) override;

private:
    std::atomic<HWND> m_hWndTarget;
    std::atomic<CWnd*> m_pWndTarget;
};

// What a transfer run offers the sink that maps its jobs' progress: the
// run's own delivery of a record to its progress window (taking ownership
// of the record), and cancelling the run with a time-out. The transfer
// manager implements it.
class CTransferProgressTarget
{
public:
    virtual ~CTransferProgressTarget() {}
    virtual void PostProgress(CProgressRecord* record) = 0;
    virtual bool Cancel(DWORD timeoutMs) = 0;
};

// The sink of a transfer run: maps one job's records onto the whole run
// (total steps = the sum of the jobs' step counts, done steps = the steps of
// the jobs already finished, job steps = the running job's step count; the
// manager sets and advances them) and hands them to the manager.
class CTransferProgress : public CProgress
{
public:
    // How long Abort lets the manager take to cancel the run.
    static const DWORD kCancelWaitMs = 1000;

    explicit CTransferProgress(CTransferProgressTarget* manager = NULL);

    void SetManager(CTransferProgressTarget* manager) { m_pManager.store(manager); }
    CTransferProgressTarget* GetManager() const { return m_pManager.load(); }

    void SetTotalSteps(unsigned steps) { m_totalSteps.store(steps); }
    unsigned GetTotalSteps() const { return m_totalSteps.load(); }
    void SetDoneSteps(unsigned steps) { m_doneSteps.store(steps); }
    unsigned GetDoneSteps() const { return m_doneSteps.load(); }
    void SetJobSteps(int steps) { m_jobSteps.store(steps); }
    int GetJobSteps() const { return m_jobSteps.load(); }

    // Rewrites a job's record into the run's range and hands it to the
    // manager; deletes it when detached or without a manager:
    // - start: becomes a position at the done steps; with a value the job
    //   steps become that value; the first text moves to the second line;
    // - position with a value: done steps + the value, at most + job steps;
    // - completed: a position at done + job steps (at most the total); only
    //   the manager posts the run's completion;
    // - the first text is always dropped: it belongs to the run.
    void ProcessMessage(CProgressRecord* record) override;
    // The base's handshake; once the worker acknowledged, the manager is
    // cancelled with 1000 ms and its answer returned; false otherwise.
    bool Abort() override;

    // Straight to the manager, not rescaled; nothing happens without one.
    void PostCompleted();
    void PostAborted();
    // {aborted, flags 12, second text = message, button "Kilép"}.
    void PostError(LPCWSTR message);

private:
    std::atomic<CTransferProgressTarget*> m_pManager;
    std::atomic<unsigned> m_totalSteps;
    std::atomic<unsigned> m_doneSteps;
    std::atomic<int> m_jobSteps;
};
