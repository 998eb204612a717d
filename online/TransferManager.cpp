#include "online/TransferManager.h"
#include "afxwin.h"
#include "foundation/Log.h"
#include "foundation/ProgressDlg.h"
#include "foundation/RegisteredMessages.h"
#include "online/StopSignal.h"

CTransferManager::CTransferManager()
    : m_hEndEvent(CreateEventW(NULL, TRUE, FALSE, NULL)), m_cancel(false), m_running(false), m_cancelledRun(false),
      m_resultBits(0), m_threadStart(THREAD_WAITING), m_threadId(0), m_hStopSignal(NULL), m_pProgress(NULL),
      m_hProgressWnd(NULL),
      m_pProgressWnd(NULL)
{
    if (!m_hEndEvent)
        LogFormat(L"CTransferManager - CreateEvent error %u", (unsigned)GetLastError());
}

CTransferManager::~CTransferManager()
{
    for (CTransferJob* job : m_jobs)
        delete job;
    m_jobs.clear();
    delete m_pProgress;
    if (m_hEndEvent)
        CloseHandle(m_hEndEvent);
}

void CTransferManager::AddJob(CTransferJob* job)
{
    if (job)
        m_jobs.push_back(job);
}

void CTransferManager::AddDownload(LPCWSTR url, LPCWSTR filePath)
{
    AddJob(new CTransferJob_Download(url, filePath));
}

void CTransferManager::AddUpload(LPCWSTR url, LPCWSTR filePath)
{
    AddJob(new CTransferJob_Upload(url, filePath));
}

void CTransferManager::AddCreateZIP(LPCWSTR archivePath, LPCWSTR filePath)
{
    AddJob(new CTransferJob_CreateZIP(archivePath, filePath));
}

void CTransferManager::AddExtractFromZIP(LPCWSTR archivePath, LPCWSTR outputPath)
{
    AddJob(new CTransferJob_ExtractFromZIP(archivePath, outputPath));
}

void CTransferManager::AddEncrypt(LPCWSTR source, LPCWSTR destination, LPCWSTR password)
{
    AddJob(new CTransferJob_Encrypt(source, destination, password));
}

void CTransferManager::AddDecrypt(LPCWSTR source, LPCWSTR destination, LPCWSTR password)
{
    AddJob(new CTransferJob_Decrypt(source, destination, password));
}

void CTransferManager::AddLoadFromXml(LPCWSTR xmlPath, std::vector<CUgyiratRecord>* records)
{
    AddJob(new CTransferJob_LoadFromXml(xmlPath, records));
}

void CTransferManager::AddCompareDB(const std::vector<CUgyiratRecord>* records, CCompareCounts* counts)
{
    AddJob(new CTransferJob_CompareDB(records, counts));
}

CTransferJob* CTransferManager::NextRunFirstJob()
{
    for (CTransferJob* job : m_jobs) {
        if (job->GetState() == CTransferJob::STATE_RUN_FIRST)
            return job;
    }
    return NULL;
}

void CTransferManager::PostProgress(CProgressRecord* record)
{
    if (!record)
        return;
    CWnd* pWnd = m_pProgressWnd.load();
    HWND hWnd = pWnd ? pWnd->m_hWnd : m_hProgressWnd.load();
    if (hWnd && IsWindow(hWnd) && PostMessageW(hWnd, g_uMsgProgress, reinterpret_cast<WPARAM>(record), 0))
        return;
    delete record;
}

bool CTransferManager::Cancel(DWORD timeoutMs)
{
    if (m_hEndEvent)
        ResetEvent(m_hEndEvent);
    m_cancel.store(true);
    if (!m_running.load() || !m_hEndEvent)
        return true;
    return WaitForSingleObject(m_hEndEvent, timeoutMs) == WAIT_OBJECT_0;
}

bool CTransferManager::Wait(DWORD timeoutMs)
{
    if (!m_running.load() || !m_hEndEvent)
        return true;
    return WaitForSingleObject(m_hEndEvent, timeoutMs) == WAIT_OBJECT_0;
}

bool CTransferManager::StopRequested()
{
    if (m_cancel.load() || CStopSignal::IsSet(m_hStopSignal))
        return true;
    // An abort the user confirmed while a job that does not watch for it
    // ran: it stands until acknowledged, and takes effect here.
    if (m_pProgress && m_pProgress->IsAbortRequested()) {
        m_pProgress->AcknowledgeAbort();
        return true;
    }
    return false;
}

DWORD WINAPI CTransferManager::ThreadProc(LPVOID parameter)
{
    CTransferManager* manager = static_cast<CTransferManager*>(parameter);
    int expected = THREAD_WAITING;
    if (!manager->m_threadStart.compare_exchange_strong(expected, THREAD_STARTED))
        return (DWORD)-1; // the caller gave the run up before it began
    try {
        return manager->RunJobs();
    } catch (...) {
        LogCaughtException(L"Transfer worker");
        return manager->EndAfterException();
    }
}

DWORD CTransferManager::EndAfterException()
{
    m_resultBits.store(RESULT_JOB_FAILED);
    if (m_pProgress) {
        try {
            m_pProgress->PostAborted();
        } catch (...) {
            // The dialog then ends on its abort.
        }
    }
    m_running.store(false);
    if (m_hEndEvent)
        SetEvent(m_hEndEvent);
    return RESULT_JOB_FAILED;
}

DWORD CTransferManager::RunJobs()
{
    CStopSignal::CScope stopSignal(m_hStopSignal);
    if (m_hEndEvent)
        ResetEvent(m_hEndEvent);
    m_cancel.store(false);
    m_running.store(true);
    CString errorText;
    DWORD bits = 0;
    bool cancelled = false;
    CTransferProgress* sink = m_pProgress;

    if (sink) {
        sink->SetTotalSteps(0);
        sink->SetDoneSteps(0);
        sink->SetJobSteps(0);
        unsigned total = 0;
        for (CTransferJob* job : m_jobs) {
            if (m_cancel.load())
                break;
            job->SetProgress(sink);
            total += (unsigned)job->GetStepCount();
        }
        sink->SetTotalSteps(total);
        PostProgress(new CProgressRecord(CProgressRecord::KIND_START, CProgressRecord::FLAG_VALUE, (int)total));
    }

    cancelled = StopRequested();
    if (!cancelled) {
        bool failed = false;
        while (CTransferJob* job = NextRunFirstJob()) {
            if (failed) {
                job->SetState(CTransferJob::STATE_FAILED);
                continue;
            }
            if (job->Run()) {
                if (sink)
                    sink->SetDoneSteps(sink->GetDoneSteps() + (unsigned)job->GetStepCount());
            } else {
                failed = true;
            }
            if (job->GetState() == CTransferJob::STATE_RUN_FIRST)
                job->SetState(CTransferJob::STATE_FAILED);
            if (StopRequested()) {
                cancelled = true;
                break;
            }
        }
        if (failed)
            bits |= RESULT_RUN_FIRST_FAILED;
    }

    for (size_t i = 0; i < m_jobs.size() && !cancelled && !(bits & RESULT_JOB_FAILED); ++i) {
        CTransferJob* job = m_jobs[i];
        if (job->GetState() != CTransferJob::STATE_QUEUED)
            continue;
        if (sink) {
            CProgressRecord* start = new CProgressRecord(
                CProgressRecord::KIND_START, CProgressRecord::FLAG_VALUE | CProgressRecord::FLAG_SECOND_TEXT,
                job->GetStepCount());
            start->m_secondText = job->GetName();
            sink->ProcessMessage(start);
        }
        if (job->Run()) {
            if (sink)
                sink->SetDoneSteps(sink->GetDoneSteps() + (unsigned)job->GetStepCount());
        } else {
            errorText = job->GetErrorText();
            bits |= errorText.IsEmpty() ? RESULT_JOB_FAILED : (RESULT_JOB_FAILED | RESULT_ERROR_TEXT);
            LogFormat(L"Transfer job %d failed%s%s", job->GetId(), errorText.IsEmpty() ? L"" : L": ",
                      (LPCWSTR)errorText);
        }
        if (StopRequested())
            cancelled = true;
    }

    if (sink) {
        if (bits == 0 && !cancelled)
            sink->PostCompleted();
        else if ((bits & RESULT_ERROR_TEXT) && !cancelled)
            sink->PostError(errorText);
        else
            sink->PostAborted();
    }
    if (cancelled)
        LogLine(L"Transfer run cancelled");
    m_cancelledRun.store(cancelled);
    m_resultBits.store(bits);
    m_running.store(false);
    // The caller waits for this thread itself, so it never frees the manager
    // under the worker between these two steps.
    if (m_hEndEvent)
        SetEvent(m_hEndEvent);
    return bits;
}

void CTransferManager::PrepareProgress(const CString texts[TEXT_COUNT], bool silent)
{
    delete m_pProgress;
    m_pProgress = new CTransferProgress(this);
    if (silent) {
        m_pProgress->SetCompletedTexts(texts[2], L"", L"OK");
        m_pProgress->SetAbortedTexts(texts[5], L"", L"Kilép");
    } else {
        m_pProgress->SetCompletedTexts(texts[2], texts[3], texts[4]);
        m_pProgress->SetAbortedTexts(texts[5], texts[6], texts[7]);
    }
    m_resultBits.store(0);
    m_cancelledRun.store(false);
    m_threadStart.store(THREAD_WAITING);
    m_hStopSignal = CStopSignal::Current();
}

bool CTransferManager::FinishRun(HANDLE hThread)
{
    WaitForSingleObject(hThread, INFINITE);
    CloseHandle(hThread);
    m_pProgressWnd.store(NULL);
    m_hProgressWnd.store(NULL);
    return m_threadStart.load() == THREAD_STARTED && m_resultBits.load() == 0 && !m_cancelledRun.load();
}

bool CTransferManager::RunWithDialog(CWnd* pParent, const CString texts[TEXT_COUNT], bool autoClose)
{
    PrepareProgress(texts, false);
    CProgressDlg dlg(pParent, autoClose);
    dlg.m_nRange = kInitialRange;
    dlg.m_strTitle = texts[0];
    dlg.m_strFirstText = texts[1];
    // After the user confirmed aborting, the dialog stays until the worker
    // reports the end.
    dlg.m_bCloseOnAbort = false;
    dlg.SetAbortHandler(m_pProgress, CProgress::AbortCallback);
    dlg.SetCloseHandler(m_pProgress, CProgress::DetachCallback);

    HANDLE hThread = CreateThread(NULL, 0, ThreadProc, this, CREATE_SUSPENDED, &m_threadId);
    if (!hThread) {
        LogFormat(L"CTransferManager::RunWithDialog - CreateThread error %u", (unsigned)GetLastError());
        return false;
    }
    dlg.m_hWorkerThread = hThread;
    m_pProgressWnd.store(&dlg);
    INT_PTR shown = dlg.DoModal();

    int expected = THREAD_WAITING;
    if (m_threadStart.compare_exchange_strong(expected, THREAD_ABANDONED))
        LogFormat(L"CTransferManager::RunWithDialog - the progress window did not start the run (%d)", (int)shown);
    // A thread the dialog never resumed ends at once, having run no job.
    DWORD previous;
    do {
        previous = ResumeThread(hThread);
    } while (previous != (DWORD)-1 && previous > 1);
    return FinishRun(hThread);
}

bool CTransferManager::RunSilently(HWND hWnd, const CString texts[TEXT_COUNT])
{
    PrepareProgress(texts, true);
    m_pProgressWnd.store(NULL);
    m_hProgressWnd.store(hWnd);
    if (m_hEndEvent)
        ResetEvent(m_hEndEvent);
    HANDLE hThread = CreateThread(NULL, 0, ThreadProc, this, 0, &m_threadId);
    if (!hThread) {
        LogFormat(L"CTransferManager::RunSilently - CreateThread error %u", (unsigned)GetLastError());
        m_hProgressWnd.store(NULL);
        return false;
    }
    return FinishRun(hThread);
}
