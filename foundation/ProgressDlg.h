// CProgressDlg: the modal window in which the UI thread waits for a worker:
// a title, two text lines, a progress bar and one button that first cancels
// and, once the work has ended, closes. The worker reports through a
// progress sink whose records arrive as "FOLIONEX_PROGRESS".
#pragma once
#include "afxcmn.h"
#include "afxctl.h"
#include "afxdlg.h"
#include "foundation/Progress.h"

class CProgressDlg : public CDialogEx
{
public:
    CProgressDlg(CWnd* pParent, bool autoClose);

    void SetAbortHandler(void* argument, PROGRESS_HANDLER handler);
    void SetCloseHandler(void* argument, PROGRESS_HANDLER handler);

    // Set by the caller before DoModal.
    int m_nRange;
    CString m_strTitle;
    CString m_strFirstText;
    CString m_strSecondText;
    CString m_strButtonCaption;
    bool m_bCloseOnAbort;
    // A thread created suspended; resumed once the window exists.
    HANDLE m_hWorkerThread;

    // Read by the caller after DoModal (which always answers IDCANCEL).
    bool m_bAborted;
    bool m_bCompleted;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    afx_msg LRESULT OnProgress(WPARAM wParam, LPARAM lParam);
    afx_msg void OnDestroy();
    DECLARE_MESSAGE_MAP()

private:
    bool m_bAutoClose;
    CStatic m_firstText;
    CStatic m_secondText;
    CProgressCtrl m_progress;
    PROGRESS_HANDLER m_pfnAbort;
    void* m_pAbortArgument;
    PROGRESS_HANDLER m_pfnClose;
    void* m_pCloseArgument;
};

// Waits for the handle (a thread, a mutex, an event) while the windows of the
// calling thread are repainted, nothing else dispatched: the result of the
// wait (WAIT_OBJECT_0, WAIT_ABANDONED for a mutex, WAIT_TIMEOUT, WAIT_FAILED).
DWORD WaitRepainting(HANDLE handle, DWORD timeoutMs = INFINITE);
// Waits so for a worker thread to end after its progress dialog has closed.
// False when the thread still runs after the time-out.
bool WaitForThreadRepainting(HANDLE thread, DWORD timeoutMs = INFINITE);
