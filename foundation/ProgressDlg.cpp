#include "foundation/ProgressDlg.h"
#include "foundation/RegisteredMessages.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(CProgressDlg, CDialogEx)
    ON_REGISTERED_MESSAGE(g_uMsgProgress, &CProgressDlg::OnProgress)
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CProgressDlg::CProgressDlg(CWnd* pParent, bool autoClose)
    : CDialogEx(IDD_PROGRESS, pParent), m_nRange(100), m_strButtonCaption(L"Megszakít"), m_bCloseOnAbort(true),
      m_hWorkerThread(NULL), m_bAborted(false), m_bCompleted(false), m_bAutoClose(autoClose), m_pfnAbort(NULL),
      m_pAbortArgument(NULL), m_pfnClose(NULL), m_pCloseArgument(NULL)
{
}

void CProgressDlg::SetAbortHandler(void* argument, PROGRESS_HANDLER handler)
{
    m_pAbortArgument = argument;
    m_pfnAbort = handler;
}

void CProgressDlg::SetCloseHandler(void* argument, PROGRESS_HANDLER handler)
{
    m_pCloseArgument = argument;
    m_pfnClose = handler;
}

void CProgressDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS_TEXT1, m_firstText);
    DDX_Control(pDX, IDC_PROGRESS_TEXT2, m_secondText);
    DDX_Control(pDX, IDC_PROGRESS_BAR, m_progress);
}

BOOL CProgressDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    SetWindowText(m_strTitle);
    m_firstText.SetWindowText(m_strFirstText);
    m_secondText.SetWindowText(m_strSecondText);
    SetDlgItemText(IDCANCEL, m_strButtonCaption);
    m_progress.SendMessage(PBM_SETRANGE32, 0, m_nRange);
    // Workers are created suspended so that this window exists before
    // their first record is posted to it.
    if (m_hWorkerThread)
        ResumeThread(m_hWorkerThread);
    return TRUE;
}

void CProgressDlg::OnOK()
{
    // Enter never closes the dialog.
}

void CProgressDlg::OnCancel()
{
    if (!m_bCompleted && !m_bAborted) {
        if (MessageBox(L"Valóban megszakítsam a letöltést?", L"Figyelmeztetés", MB_YESNO) != IDYES)
            return;
        if (m_pfnAbort)
            m_pfnAbort(m_pAbortArgument);
        m_bAborted = true;
        if (!m_bCloseOnAbort)
            return;
    }
    if (m_pfnClose && m_pCloseArgument)
        m_pfnClose(m_pCloseArgument);
    EndDialog(IDCANCEL);
}

LRESULT CProgressDlg::OnProgress(WPARAM wParam, LPARAM /*lParam*/)
{
    CProgressRecord* record = reinterpret_cast<CProgressRecord*>(wParam);
    if (!record)
        return 0;
    if (record->m_flags & CProgressRecord::FLAG_VALUE) {
        switch (record->m_kind) {
        case CProgressRecord::KIND_START:
            m_nRange = record->m_value < 0 ? 100 : record->m_value;
            m_progress.SendMessage(PBM_SETRANGE32, 0, m_nRange);
            break;
        case CProgressRecord::KIND_POSITION:
            m_progress.SendMessage(PBM_SETPOS, record->m_value < m_nRange ? record->m_value : m_nRange, 0);
            break;
        case CProgressRecord::KIND_COMPLETED:
            m_progress.SendMessage(PBM_SETPOS, m_nRange, 0);
            break;
        }
    }
    if (record->m_flags & CProgressRecord::FLAG_FIRST_TEXT)
        m_firstText.SetWindowText(record->m_firstText);
    if (record->m_flags & CProgressRecord::FLAG_SECOND_TEXT)
        m_secondText.SetWindowText(record->m_secondText);
    if (record->m_flags & CProgressRecord::FLAG_BUTTON_CAPTION)
        SetDlgItemText(IDCANCEL, record->m_buttonCaption);
    bool end = false;
    if (record->m_kind == CProgressRecord::KIND_ABORTED) {
        m_bAborted = true;
        end = m_bAutoClose;
    } else if (record->m_kind == CProgressRecord::KIND_COMPLETED) {
        m_bCompleted = true;
        end = m_bAutoClose;
    }
    delete record;
    if (end)
        EndDialog(IDCANCEL);
    return 0;
}

void CProgressDlg::OnDestroy()
{
    // Records still queued for this window would be lost with it.
    DiscardQueuedProgressRecords(GetSafeHwnd());
    CDialogEx::OnDestroy();
}

DWORD WaitRepainting(HANDLE handle, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD left = INFINITE;
        if (timeoutMs != INFINITE) {
            DWORD passed = GetTickCount() - start;
            left = passed < timeoutMs ? timeoutMs - passed : 0;
        }
        DWORD wait = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_PAINT);
        if (wait != WAIT_OBJECT_0 + 1)
            return wait;
        MSG msg;
        while (PeekMessageW(&msg, NULL, WM_PAINT, WM_PAINT, PM_REMOVE))
            DispatchMessageW(&msg);
    }
}

bool WaitForThreadRepainting(HANDLE thread, DWORD timeoutMs)
{
    return WaitRepainting(thread, timeoutMs) == WAIT_OBJECT_0;
}
