// BackgroundProcess: the program's unasked online work on a thread of its
// own. Once per process it asks the web service for a newer version and, if
// there is one, queues the self-update for the UI thread; otherwise, when
// due, it runs the scheduled online backup (working online) or the
// synchronisation of the local backup file (working offline). It reaches the
// UI only by posted messages: progress records, "FOLIONEX_LOCKUI" around the
// backup and the synchronisation, "FOLIONEX_TASK" after queuing the update.
//
// Lifetime: Stop and the destructor wait for the thread itself (not for a
// time limit), so the object, its event and its sink outlive the thread, and
// the windows of the waiting thread are repainted meanwhile. A stop request
// also cuts short the web-service request the running step waits on (the
// update check's, the scheduled upload's or the synchronisation's, through
// the thread's stop signal), so the step ends at once, as a failed step,
// whatever the service does.
#pragma once
#include <windows.h>
#include <atomic>
#include <time.h>

class CWnd;
class CWndProgress;

class BackgroundProcess
{
public:
    enum { STATE_NEW = 0, STATE_STARTING = 1, STATE_RUNNING = 2, STATE_STOPPING = 3, STATE_FINISHED = 4 };
    enum { DONE_PASS = 1, DONE_CHECK = 2, DONE_BACKUP = 4, DONE_SYNC = 8, DONE_FULL = 16, DONE_ALL = 31 };
    // After this long Stop logs that it still waits, and waits on.
    static const DWORD kStopWaitMs = 10000;

    // With a window, the progress records go to it (the first one gives the
    // bar the range 100).
    explicit BackgroundProcess(CWnd* progressWindow = NULL);
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    // Where the program works, read on the UI thread before Start: the SQL
    // Server connection is online; the case store was loaded from the local
    // backup file.
    void SetWorkMode(bool online, bool storeOffline)
    {
        m_bOnline = online;
        m_bStoreOffline = storeOffline;
    }

    // From state 0 or 4 only.
    bool Start();
    // Asks the worker to stop (also while it starts or stops); with the
    // wait flag, returns once its thread has ended, repainting meanwhile.
    void Stop(bool wait);

    int GetState() const { return m_state.load(); }
    DWORD GetDoneMask() const { return m_doneMask; }

    // The steps of one pass; each returns true when it is finished.
    void Run();
    bool CheckVersion();
    bool OnlineBackup();
    bool RemoteSync();

    // The schedule's due test: last backup "OMLastBackup" (seconds since
    // 1970, 0 for never), the frequency's first value (1 or 33) and the
    // frequency; compares calendar days of UTC time.
    static bool IsDue(long long now, int last, int firstFrequency, int frequency);

    // How many times the update check was called in this process.
    static long GetCheckVersionCalls();
    // Sets that count (tests: a fresh process, or one that has checked).
    static void SetCheckVersionCalls(long calls);

private:
    static DWORD WINAPI ThreadProc(LPVOID param);
    void Report(int value, LPCWSTR text);
    void PostToMain(UINT message, WPARAM wParam);
    void RunLocked(bool (*step)(), LPCWSTR runningText, LPCWSTR doneText, LPCWSTR failedText, LPCWSTR doneLog,
                   LPCWSTR failedLog);
    bool StopRequested() const { return m_stop.load() || m_state.load() != STATE_RUNNING; }

    HANDLE m_hThread;
    DWORD m_threadId;
    std::atomic<int> m_state;
    std::atomic<bool> m_stop;
    DWORD m_doneMask;
    HANDLE m_hFinished;
    CWndProgress* m_pProgress;
    HWND m_hMainWnd;
    bool m_bOnline;
    bool m_bStoreOffline;
    // The stop signal of the worker's thread (manual reset), set by Stop.
    HANDLE m_hStopEvent;
};
