// Helpers of the class-library window tests: a message-box catcher, a
// watchdog, a dialog that runs test steps from inside its own modal loop,
// and a plain window class to create test windows of.
#pragma once
#include <windows.h>
#include <functional>
#include <ostream>
#include <set>
#include <vector>
#include "afxdlg.h"

// Readable CString values in test failures.
void PrintTo(const CString& s, std::ostream* os);

namespace window_test {

// The registered classes and common controls the tests use.
void InitOnce();
// A top-level window class with DefWindowProc as its procedure.
extern const wchar_t kPlainWindowClass[];

struct CaughtBox
{
    CString caption;
    CString text;
};

// While it lives, every message box the calling thread shows is recorded
// and closed with nButton (a WH_CBT hook, on the box's activation).
class CMessageBoxCatcher
{
public:
    explicit CMessageBoxCatcher(int nButton = IDOK);
    ~CMessageBoxCatcher();
    CMessageBoxCatcher(const CMessageBoxCatcher&) = delete;
    CMessageBoxCatcher& operator=(const CMessageBoxCatcher&) = delete;

    std::vector<CaughtBox> boxes;

private:
    static LRESULT CALLBACK CbtProc(int nCode, WPARAM wParam, LPARAM lParam);
    HHOOK m_hHook;
    int m_nButton;
    std::set<HWND> m_seen;
    CMessageBoxCatcher* m_pOuter;
};

// Ends the process with a message when the test does not finish in time,
// so that a stuck modal loop fails the run instead of hanging it.
class CWatchdog
{
public:
    explicit CWatchdog(DWORD dwMilliseconds = 20000);
    ~CWatchdog();
    CWatchdog(const CWatchdog&) = delete;
    CWatchdog& operator=(const CWatchdog&) = delete;

private:
    static DWORD WINAPI ThreadProc(LPVOID pParam);
    HANDLE m_hDone;
    HANDLE m_hThread;
    DWORD m_dwMilliseconds;
};

// A dialog whose steps run one by one from a timer set after the previous
// step: what a step posts has been through the modal loop, and the loop
// has been idle, before the next step runs. The first step waits until the
// dialog is visible. After the last step the dialog ends with IDABORT
// unless a step ended it.
class CScriptDlg : public CDialogEx
{
public:
    typedef std::function<void(CScriptDlg&)> Step;
    CScriptDlg() {}
    explicit CScriptDlg(UINT nIDTemplate, CWnd* pParent = NULL) : CDialogEx(nIDTemplate, pParent) {}

    std::vector<Step> steps;
    // Called inside DoDataExchange when set.
    std::function<void(CDataExchange*)> exchange;

    BOOL OnInitDialog() override;
    using CDialog::OnOK;
    using CDialog::OnCancel;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    DECLARE_MESSAGE_MAP()

private:
    size_t m_nNext = 0;
    int m_nWaits = 0;
};

// Posts a key press (down and up) to a window, as typing would queue it.
void PostKey(HWND hWnd, UINT vk);
void PostChar(HWND hWnd, wchar_t ch);

} // namespace window_test
