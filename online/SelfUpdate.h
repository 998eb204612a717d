// CSelfUpdate: the task the update check queues for the UI thread when the
// web service offers a newer version. It asks the user, downloads the
// installer into the download cache under a progress dialog and starts it.
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

    CSelfUpdate(LPCWSTR downloadUrl, int downloadLength, CWnd* parent);
    const CString& GetDownloadUrl() const { return m_strDownloadUrl; }
    int GetDownloadLength() const { return m_nDownloadLength; }
    CWnd* GetParentWindow() const { return m_pParent; }

    // The question, then the download and the start on Yes; on No the task
    // is released and the main window's timer 100 set (100 ms).
    int Run() override;
    bool KeepAfterRun() override { return false; }
    // 0 the installer was started; -2 the download did not complete (or the
    // file is not what was announced); -3 the installer was not started.
    int Execute() override;
    void Release() override { delete this; }

    // Starts the installer at the path (quoted command line); 0 or -3.
    static int StartInstaller(const CString& path);
    // The file's Authenticode signature as the system judges it (no user
    // interface, no online revocation check): ERROR_SUCCESS when it verifies
    // to a trusted root, else the WinVerifyTrust result.
    static LONG VerifyInstaller(const CString& path);
    // Whether an installer with that verdict, downloaded from that address,
    // may start: a verified signature; or none at all over HTTPS (the
    // server's certificate vouched for the file). A signature that does not
    // verify is never accepted.
    static bool MayStart(LONG verdict, LPCWSTR downloadUrl);

private:
    CString m_strDownloadUrl;
    int m_nDownloadLength;
    CWnd* m_pParent;
};
