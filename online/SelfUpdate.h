// CSelfUpdate: the task the update check queues for the UI thread when the
// web service offers a newer version. It asks the user, downloads the
// installer into the download cache under a progress dialog and starts it,
// when MayStart allows it.
//
// From its check to its start the installer is one open file: opened without
// write or delete sharing, compared with the bytes that came, verified
// through that handle, and started while the handle stays open, so nothing
// can replace or change it in between.
#pragma once
#include <windows.h>
#include "afxstr.h"
#include "foundation/Task.h"

class CWnd;

class CSelfUpdate : public CTask
{
public:
    // The installer's name in the download cache.
    static const wchar_t kInstallerName[];

    // How the installer is started; tests put their own in.
    typedef BOOL(WINAPI* CreateProcessFn)(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                          LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);
    typedef HINSTANCE(WINAPI* ShellExecuteFn)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    static CreateProcessFn s_pfnCreateProcess;
    static ShellExecuteFn s_pfnShellExecute;
    // Called with the installer's path when the download has closed the
    // file and before it is held (STAGE_DOWNLOADED), and after its check,
    // just before its start, while it is held (STAGE_CHECKED): tests try to
    // change the file there.
    enum { STAGE_DOWNLOADED = 1, STAGE_CHECKED = 2 };
    typedef void (*StageFn)(int stage, const CString& path);
    static StageFn s_pfnStage;

    // checkUrl: the address the update check's answer finally came from.
    CSelfUpdate(LPCWSTR downloadUrl, int downloadLength, CWnd* parent, LPCWSTR checkUrl = L"");
    const CString& GetDownloadUrl() const { return m_strDownloadUrl; }
    int GetDownloadLength() const { return m_nDownloadLength; }
    CWnd* GetParentWindow() const { return m_pParent; }

    // The question, then the download and the start on Yes. On No, or when
    // the installer was not started, the main window's timer 100 is set
    // (100 ms), so the background worker goes on with that day's steps.
    int Run() override;
    bool KeepAfterRun() override { return false; }
    // 0 the installer was started; -2 the download did not complete (or the
    // file is not what was announced); -3 the installer was not started.
    int Execute() override;
    void Release() override { delete this; }

    // Starts the installer at the path (quoted command line); 0 or -3.
    static int StartInstaller(const CString& path);
    // The signature of the open file (path: its name, for the check's
    // messages): ERROR_SUCCESS only when the system's Authenticode check
    // (no user interface, no online revocation check) accepts it and every
    // signer's certificate chain, checked again here under the Authenticode
    // policy, leads to a trusted root and is valid at the time of a
    // verified timestamp, or now without one; else the first refusal
    // (TRUST_E_NOSIGNATURE for a file without a signature).
    static LONG VerifyInstaller(HANDLE file, LPCWSTR path);
    // The same for a file opened here for the check.
    static LONG VerifyInstaller(LPCWSTR path);
    // The rule for starting a downloaded installer (see the definition).
    static bool MayStart(LONG verdict, LPCWSTR serverUrl, LPCWSTR checkUrl, LPCWSTR downloadUrl,
                         LPCWSTR finalDownloadUrl);

private:
    CString m_strDownloadUrl;
    int m_nDownloadLength;
    CWnd* m_pParent;
    CString m_strCheckUrl;
};
