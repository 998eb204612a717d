// CAppSettings: the one settings object of the process. It holds the key of
// the current instance (the profile section of every per-instance value),
// the profile accessors on that section, the program's paths and folders,
// the version strings, the UI-thread task queue and the main dialog.
#pragma once
#include <windows.h>
#include "afxstr.h"
#include "foundation/Task.h"

class CVelindoDlg;
class CWnd;

class CAppSettings
{
public:
    CAppSettings();
    ~CAppSettings();
    CAppSettings(const CAppSettings&) = delete;
    CAppSettings& operator=(const CAppSettings&) = delete;

    // The instance key: empty until the start-up choice sets it.
    const CString& GetInstanceKey() const { return m_strInstanceKey; }
    void SetInstanceKey(LPCWSTR key) { m_strInstanceKey = key; }

    // Profile values of the current instance.
    CString GetProfileString(LPCWSTR key, LPCWSTR def = NULL);
    int GetProfileInt(LPCWSTR key, int def);
    BOOL WriteProfileString(LPCWSTR key, LPCWSTR text);
    BOOL WriteProfileInt(LPCWSTR key, int value);
    BOOL WriteEmptyProfileString(LPCWSTR key);

    // The program file.
    static LPCWSTR GetModulePath();
    static CString GetExeFileName();
    static CString GetExeBaseName();
    static CString GetExeFolder();

    // The per-instance data folder, with a final backslash, created when
    // missing; empty when the folder path cannot be formed.
    CString GetDataFolder();
    CString GetBackupFilePath();
    CString GetDownloadCacheFolder();
    CString GetServerUrl();
    int GetFontSizeInList();
    void SetFontSizeInList(int value);
    // A string of the program's version resource ("ProductVersion", ...).
    static CString GetVersionInfoString(LPCWSTR name);
    // The body of the update check, UTF-8: "ProgType=2\nVersion=<product
    // version>" (no final line break); logged.
    static CStringA GetCheckMessage();

    // Texts about the user, kept as values of the instance (empty by default).
    CString GetAccountId();
    CString GetUserName();
    CString GetUserAddress();
    CString GetUserEmail();
    CString GetDataSetName();

    // The password of the online backup, kept enciphered in "OMPassword"
    // (defined with the backup, online/BackupPassword.cpp). Mode 0 never
    // asks; 1 always asks; 2 asks only when no value is stored. Asking runs
    // the backup-mode dialog over the application's main window, pre-filled;
    // on OK its password is stored. Empty when there is none, also when the
    // stored value cannot be deciphered.
    CString GetOnlineBackupPassword(int mode);
    // The empty password is stored as the empty text.
    void SetOnlineBackupPassword(LPCWSTR password);
    // With a parent window, reminds the user while the online backup is not
    // set up ("OMBackupFrequency" never written, or passwordRequired and no
    // password) and offers the backup-mode dialog. True when a mode with
    // exchange is chosen and a password is stored.
    bool EnsureOnlineBackupSettings(CWnd* parent, bool passwordRequired);

    // Start-up choice of the instance.
    bool SelectStartInstance(LPCWSTR requestedKey);
    bool SelectInstanceByPopup();

    // The main dialog while it runs (wnd is the same object as a window);
    // cleared when it ends. GetMainWindow is its handle while the window
    // exists, else null.
    void SetMainDialog(CVelindoDlg* dlg, CWnd* wnd);
    CVelindoDlg* GetMainDialog() const { return m_pMainDlg; }
    HWND GetMainWindow() const;

    // The UI-thread task queue. QueueTask: any thread; the caller then posts
    // "FOLIONEX_TASK" to the main dialog. RunPendingTask: UI thread only;
    // runs at most one task. Tasks still queued when the settings object
    // goes are deleted without running.
    void QueueTask(CTask* task);
    void RunPendingTask();

    static const wchar_t kDefaultServerUrl[];

private:
    HWND OwnerForShellCalls() const;

    CString m_strInstanceKey;
    CTaskStack m_taskQueue;
    CTaskRunner m_taskRunner;
    CVelindoDlg* m_pMainDlg;
    CWnd* m_pMainWnd;
    DWORD m_uiThreadId;
};

// The settings object of the process, or null when none exists (the
// application object creates and owns it).
CAppSettings* GetAppSettings();
