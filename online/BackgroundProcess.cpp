#include "online/BackgroundProcess.h"
#include <objbase.h>
#include "afxapp.h"
#include "foundation/AppSettings.h"
#include "foundation/ComScope.h"
#include "foundation/Log.h"
#include "foundation/Progress.h"
#include "foundation/ProgressDlg.h"
#include "foundation/RegisteredMessages.h"
#include "foundation/TransferLock.h"
#include "online/OnlineBackup.h"
#include "online/OnlineRestore.h"
#include "online/SelfUpdate.h"
#include "online/StopSignal.h"
#include "online/VapiReply.h"
#include "online/VapiRequest.h"

namespace {

std::atomic<long> g_checkVersionCalls(0);

// The scheduled transfers, run without a window. The backup exports the
// central table through a table object of its own, so the UI thread may go
// on using the store's; the synchronisation restores silently into the local
// backup file only, never into the store.
bool RunScheduledUpload()
{
    COnlineBackup backup;
    return backup.Upload(NULL) == COnlineBackup::RESULT_OK;
}

bool RunScheduledRestore()
{
    COnlineRestore restore(true, NULL);
    return restore.Start(true) != 0;
}

int StepDays(int frequency, int firstFrequency)
{
    switch (frequency - firstFrequency) {
    case 0:
        return 1;
    case 1:
        return 7;
    case 2:
        return 31;
    default:
        return -1;
    }
}

HWND MainWindow()
{
    if (CAppSettings* settings = GetAppSettings())
        if (HWND hWnd = settings->GetMainWindow())
            return hWnd;
    CWnd* wnd = AfxGetMainWnd();
    return wnd ? wnd->GetSafeHwnd() : NULL;
}

} // namespace

BackgroundProcess::BackgroundProcess(CWnd* progressWindow)
    : m_hThread(NULL), m_threadId(0), m_state(STATE_NEW), m_stop(false), m_doneMask(0), m_hFinished(NULL),
      m_pProgress(NULL), m_hMainWnd(MainWindow()), m_bOnline(false), m_bStoreOffline(false),
      m_hStopEvent(CreateEventW(NULL, TRUE, FALSE, NULL))
{
    if (progressWindow) {
        m_pProgress = new CWndProgress(progressWindow->GetSafeHwnd());
        m_pProgress->ProcessMessage(new CProgressRecord(CProgressRecord::KIND_START, CProgressRecord::FLAG_VALUE, 100));
    }
}

BackgroundProcess::~BackgroundProcess()
{
    Stop(true);
    if (m_hThread)
        CloseHandle(m_hThread);
    if (m_hFinished)
        CloseHandle(m_hFinished);
    delete m_pProgress;
    if (m_hStopEvent)
        CloseHandle(m_hStopEvent);
}

long BackgroundProcess::GetCheckVersionCalls()
{
    return g_checkVersionCalls.load();
}

void BackgroundProcess::SetCheckVersionCalls(long calls)
{
    g_checkVersionCalls.store(calls);
}

bool BackgroundProcess::Start()
{
    int state = m_state.load();
    if (state != STATE_NEW && state != STATE_FINISHED)
        return false;
    if (m_hThread) {
        // The previous thread has ended (state 4 is its last word): let it go.
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = NULL;
    }
    LogLine(L"Background process started.");
    m_state.store(STATE_STARTING);
    m_stop.store(false);
    if (m_hStopEvent)
        ResetEvent(m_hStopEvent);
    if (m_hFinished)
        ResetEvent(m_hFinished);
    else
        m_hFinished = CreateEventW(NULL, TRUE, FALSE, NULL);
    m_hThread = CreateThread(NULL, 0, ThreadProc, this, 0, &m_threadId);
    if (!m_hThread) {
        LogFormat(L"BackgroundProcess - CreateThread error (%d)", (int)GetLastError());
        m_state.store(STATE_FINISHED);
        return false;
    }
    return true;
}

void BackgroundProcess::Stop(bool wait)
{
    int state = m_state.load();
    if (state >= STATE_STARTING && state <= STATE_STOPPING) {
        m_stop.store(true);
        int expected = STATE_RUNNING;
        m_state.compare_exchange_strong(expected, STATE_STOPPING);
        if (m_hStopEvent)
            SetEvent(m_hStopEvent);
    }
    if (!wait || !m_hThread)
        return;
    // The thread reads this object to its last instruction: never let it go
    // while the thread runs, however long the step it is in takes. The
    // waiting window keeps painting.
    if (WaitForSingleObject(m_hThread, 0) == WAIT_OBJECT_0)
        return;
    LogLine(L"Background process stopping: waiting for the running step to end");
    if (!WaitForThreadRepainting(m_hThread, kStopWaitMs)) {
        LogFormat(L"Background process still running after %u ms, waiting for it", (unsigned)kStopWaitMs);
        WaitForThreadRepainting(m_hThread);
    }
}

DWORD WINAPI BackgroundProcess::ThreadProc(LPVOID param)
{
    BackgroundProcess* self = static_cast<BackgroundProcess*>(param);
    DWORD result = 0;
    try {
        self->Run();
    } catch (...) {
        // The step ends as failed: the window gets its buttons back and the
        // waiters their end, as after any pass.
        LogCaughtException(L"Background process: the step failed");
        self->PostToMain(g_uMsgLockUi, 1);
        SetEvent(self->m_hFinished);
        result = 1;
    }
    self->m_state.store(STATE_FINISHED);
    LogLine(L"Background process finished.");
    return result;
}

void BackgroundProcess::Run()
{
    // Every web-service request of the steps ends as soon as Stop sets it.
    CStopSignal::CScope stopSignal(m_hStopEvent);
    // A stop that came while the thread was starting stands.
    int expected = STATE_STARTING;
    m_state.compare_exchange_strong(expected, m_stop.load() ? STATE_STOPPING : STATE_RUNNING);
    m_doneMask = 0;
    while (!StopRequested()) {
        m_doneMask |= DONE_PASS;
        if (!StopRequested() && !(m_doneMask & DONE_CHECK) && CheckVersion())
            m_doneMask |= DONE_CHECK;
        if (!StopRequested() && !(m_doneMask & DONE_BACKUP) && OnlineBackup())
            m_doneMask |= DONE_BACKUP;
        if (!StopRequested() && !(m_doneMask & DONE_SYNC) && RemoteSync())
            m_doneMask |= DONE_SYNC;
        if (!StopRequested())
            m_doneMask |= DONE_FULL;
        if (m_doneMask == DONE_ALL) {
            expected = STATE_RUNNING;
            m_state.compare_exchange_strong(expected, STATE_STOPPING);
        }
    }
    if (m_pProgress)
        m_pProgress->ProcessMessage(new CProgressRecord(CProgressRecord::KIND_COMPLETED, CProgressRecord::FLAG_VALUE, 0));
    PostToMain(g_uMsgLockUi, 1);
    SetEvent(m_hFinished);
}

void BackgroundProcess::Report(int value, LPCWSTR text)
{
    if (m_pProgress)
        m_pProgress->Report(value, text);
}

void BackgroundProcess::PostToMain(UINT message, WPARAM wParam)
{
    if (m_hMainWnd && IsWindow(m_hMainWnd))
        PostMessageW(m_hMainWnd, message, wParam, 0);
}

bool BackgroundProcess::CheckVersion()
{
    if (g_checkVersionCalls.fetch_add(1) > 0)
        return true;
    CAppSettings* settings = GetAppSettings();
    if (!settings)
        return true;
    LogLine(L"BackgroundProcess - CheckVersion");
    Report(0, L"Frissebb verzió keresése");

    CStringA body = CAppSettings::GetCheckMessage();
    CString url = settings->GetServerUrl() + L"VApi/Check.aspx";
    CVapiRequest request;
    // Only a completed answer is read: an error page or a cut body is no
    // answer, and no answer counts as the current version.
    bool completed = request.Post(url, (LPCSTR)body, (DWORD)body.GetLength());

    CVapiReply reply;
    CVapiMemoryStream* response = static_cast<CVapiMemoryStream*>(request.GetResponseSink());
    bool update = false;
    if (completed && response && reply.Parse(*response) > 0 && reply.Has(L"Cmd") &&
        reply.Get(L"Cmd").CompareNoCase(L"SelfUpdate") == 0 && reply.Has(L"DownloadUrl")) {
        int length = _wtoi(reply.Get(L"DownloadLength"));
        // The task learns where the answer came from: the trust in an
        // unsigned installer rests on it.
        settings->QueueTask(
            new CSelfUpdate(reply.Get(L"DownloadUrl"), length, AfxGetMainWnd(), request.GetFinalUrl()));
        PostToMain(g_uMsgTask, 0);
        int expected = STATE_RUNNING;
        m_state.compare_exchange_strong(expected, STATE_STOPPING);
        update = true;
    }
    Report(100, update ? L"Frissebb verzió letöltése" : L"Frissítés ellenőrzése: aktuális verzió fut");
    return !update;
}

bool BackgroundProcess::IsDue(long long now, int last, int firstFrequency, int frequency)
{
    if (last == 0)
        return true;
    int step = StepDays(frequency, firstFrequency);
    if (step < 0)
        return false;
    return (int)now / 86400 >= last / 86400 + step;
}

// The data-changing commands are locked while the step runs with COM. A
// transfer the user started uses the same work files: while it runs, the
// step is left out of this pass.
void BackgroundProcess::RunLocked(bool (*step)(), LPCWSTR runningText, LPCWSTR doneText, LPCWSTR failedText,
                                  LPCWSTR doneLog, LPCWSTR failedLog)
{
    CTransferLock transfer;
    if (!transfer.Held()) {
        LogLine(L"BackgroundProcess - another online transfer is running, the scheduled step is skipped");
        return;
    }
    PostToMain(g_uMsgLockUi, 0);
    Report(10, runningText);
    bool ok;
    {
        CComScope com;
        ok = step();
    }
    Report(100, ok ? doneText : failedText);
    LogLine(ok ? doneLog : failedLog);
    PostToMain(g_uMsgLockUi, 1);
}

bool BackgroundProcess::OnlineBackup()
{
    LogLine(L"BackgroundProcess - online backup");
    CAppSettings* settings = GetAppSettings();
    if (!settings || !m_bOnline || !settings->EnsureOnlineBackupSettings(NULL, true))
        return true;
    int frequency = settings->GetProfileInt(L"OMBackupFrequency", -1);
    if (frequency < 1 || frequency > 31)
        return true;
    Report(5, L"On-line mentés ellenőrzése");
    int last = settings->GetProfileInt(L"OMLastBackup", 0);
    if (!IsDue(time(NULL), last, 1, settings->GetProfileInt(L"OMBackupFrequency", 0))) {
        Report(100, L"On-line mentés jelenleg nem szükséges");
        return true;
    }
    LogLine(L"Performing on-line backup");
    RunLocked(RunScheduledUpload, L"On-line mentés végrehajtása", L"On-line mentés végrehajtva",
              L"On-line mentés közben hiba történt!", L"On-line backup executed successfully.", L"On-line backup failed!");
    return true;
}

bool BackgroundProcess::RemoteSync()
{
    CAppSettings* settings = GetAppSettings();
    if (!settings || !settings->EnsureOnlineBackupSettings(NULL, true))
        return true;
    if (settings->GetProfileInt(L"OMBackupFrequency", -1) <= 32 || !m_bStoreOffline)
        return true;
    LogLine(L"Performing remote syncronization");
    int last = settings->GetProfileInt(L"OMLastBackup", 0);
    if (!IsDue(time(NULL), last, 33, settings->GetProfileInt(L"OMBackupFrequency", 0)))
        return true;
    RunLocked(RunScheduledRestore, L"Szinkronizálás: módosítások letöltése", L"Szinkronizálás végrehajtva",
              L"Szinkronizálás nem sikerült!", L"Remote syncronization finished successfully",
              L"Remote syncronization failed!");
    return true;
}
