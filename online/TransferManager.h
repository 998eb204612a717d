// CTransferManager runs one pipeline of transfer jobs, in the order they
// were added, on a worker thread of its own, and maps their progress onto
// one range (the sum of the jobs' step counts). The caller either sits in
// the modal progress dialog while the jobs run (RunWithDialog) or lets the
// progress go to a window and blocks until they end (RunSilently).
//
// Calling order: construct; add the jobs; call one run operation once; read
// what the jobs wrote; destroy. Both run operations return only after the
// worker thread itself has ended. A run succeeds only when every job did
// and it was neither cancelled nor aborted. The stop signal of the thread
// that starts a run (CStopSignal) holds on the worker thread too: once it is
// set, a running request ends as cancelled and no further job starts.
#pragma once
#include <windows.h>
#include <atomic>
#include <vector>
#include "afxstr.h"
#include "foundation/Progress.h"
#include "online/TransferJob.h"

class CWnd;

class CTransferManager : public CTransferProgressTarget
{
public:
    enum {
        RESULT_JOB_FAILED = 1,
        RESULT_ERROR_TEXT = 2, // set together with RESULT_JOB_FAILED
        RESULT_RUN_FIRST_FAILED = 4,
    };
    // Texts of a run: 0 the dialog's title, 1 its first line, 2-4 the
    // completed first line, second line and button caption, 5-7 the aborted
    // ones.
    enum { TEXT_COUNT = 8 };
    // The progress dialog's range until the worker's first record.
    static const int kInitialRange = 102400;

    CTransferManager();
    virtual ~CTransferManager();

    void AddDownload(LPCWSTR url, LPCWSTR filePath);
    void AddUpload(LPCWSTR url, LPCWSTR filePath);
    void AddCreateZIP(LPCWSTR archivePath, LPCWSTR filePath);
    void AddExtractFromZIP(LPCWSTR archivePath, LPCWSTR outputPath);
    void AddEncrypt(LPCWSTR source, LPCWSTR destination, LPCWSTR password);
    void AddDecrypt(LPCWSTR source, LPCWSTR destination, LPCWSTR password);
    void AddLoadFromXml(LPCWSTR xmlPath, std::vector<CUgyiratRecord>* records);
    void AddCompareDB(const std::vector<CUgyiratRecord>* records, CCompareCounts* counts);
    // Appends a job; the manager owns it from now on.
    void AddJob(CTransferJob* job);

    // Runs the jobs behind the modal progress dialog.
    bool RunWithDialog(CWnd* pParent, const CString texts[TEXT_COUNT], bool autoClose);
    // Runs the jobs with progress posted to the window; blocks until they end.
    bool RunSilently(HWND hWnd, const CString texts[TEXT_COUNT]);

    // Resets the end event, sets the cancel flag and, while a run is under
    // way, waits up to the time-out for its end; false when that timed out.
    bool Cancel(DWORD timeoutMs) override;
    // True at once when no run is under way; otherwise whether the run ended
    // within the time-out.
    bool Wait(DWORD timeoutMs);
    // Posts the record to the progress window ("FOLIONEX_PROGRESS"), or
    // deletes it when there is none or posting fails.
    void PostProgress(CProgressRecord* record) override;
    // The first job in state 2 (run first), or null.
    virtual CTransferJob* NextRunFirstJob();

    DWORD GetResultBits() const { return m_resultBits.load(); }
    const std::vector<CTransferJob*>& GetJobs() const { return m_jobs; }
    CTransferProgress* GetProgress() const { return m_pProgress; }

private:
    CTransferManager(const CTransferManager&) = delete;
    CTransferManager& operator=(const CTransferManager&) = delete;

    static DWORD WINAPI ThreadProc(LPVOID parameter);
    // The worker: runs the jobs and posts the end record; returns the
    // result bits.
    DWORD RunJobs();
    // The end of a run whose worker caught an exception: a failed run, the
    // aborted record, the end event.
    DWORD EndAfterException();
    // Between jobs: a cancel, or an abort the sink's dialog asked for (which
    // is acknowledged here).
    bool StopRequested();
    void PrepareProgress(const CString texts[TEXT_COUNT], bool silent);
    // The end of a run operation: waits for the worker thread, closes it and
    // answers the run's result.
    bool FinishRun(HANDLE hThread);

    // Thread start states: the worker runs its jobs only when it claims the
    // start before the caller gives the run up.
    enum { THREAD_WAITING = 0, THREAD_STARTED = 1, THREAD_ABANDONED = 2 };

    std::vector<CTransferJob*> m_jobs;
    HANDLE m_hEndEvent;
    std::atomic<bool> m_cancel;
    std::atomic<bool> m_running;
    std::atomic<bool> m_cancelledRun;
    std::atomic<DWORD> m_resultBits;
    std::atomic<int> m_threadStart;
    DWORD m_threadId;
    HANDLE m_hStopSignal; // of the thread that started the run (not owned)
    CTransferProgress* m_pProgress;
    std::atomic<HWND> m_hProgressWnd;
    std::atomic<CWnd*> m_pProgressWnd;
};
