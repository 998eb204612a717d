// CAppSettings: the one settings object of the process. It holds the key of
// the current instance (the profile section of every per-instance value),
// the profile accessors on that section, the program's paths and folders,
// the version strings, the UI-thread task queue and the main window.
//
// CInstanceChooser: the start-up choice of the instance. The instances are
// the application's (its registry subkeys and its selection dialog); the
// application object gives its chooser to the settings object before the
// choice.
#pragma once
#include <windows.h>
#include "afxstr.h"
#include "foundation/Task.h"

class CWnd;

class CInstanceChooser
{
public:
    virtual ~CInstanceChooser() {}
    // The key of the instance a command line names: the registered key that
    // equals it without regard to case, or the request itself.
    virtual CString Resolve(LPCWSTR requestedKey) = 0;
    // The key in force until the choice is made.
    virtual CString DefaultKey() = 0;
    // The user's choice among the registered instances (asked when there is
    // more than one, or always with askAlways); false when the user cancelled.
    virtual bool Choose(bool askAlways, CString& key) = 0;
};

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

    // An instance key is the name of a registry key and of the data folder:
    // MakeInstanceKey turns a text into one (every character that either
    // name cannot hold becomes "_", no trailing dots or blanks, never ".",
    // ".." or a device, at most 255 characters, the registry's limit);
    // IsUsableInstanceKey says whether a key is one as it stands.
    static const int kMaxInstanceKey = 255;
    static CString MakeInstanceKey(LPCWSTR text);
    static bool IsUsableInstanceKey(LPCWSTR key);

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
    // the backup-mode dialog over the application's main window (or over the
    // popup active above it), pre-filled; on OK its password is stored.
    // Empty when there is none, also when the stored value cannot be
    // deciphered.
    CString GetOnlineBackupPassword(int mode);
    // The empty password is stored as the empty text.
    void SetOnlineBackupPassword(LPCWSTR password);
    // With a parent window, reminds the user while the online backup is not
    // set up ("OMBackupFrequency" never written, or passwordRequired and no
    // password) and offers the backup-mode dialog. True when a mode with
    // exchange is chosen and a password is stored.
    bool EnsureOnlineBackupSettings(CWnd* parent, bool passwordRequired);

    // Start-up choice of the instance, through the chooser (not owned; it
    // must outlive the choice). Without a chooser there is no choice: false.
    // A requested key that is no usable instance key is logged and the
    // choice goes on as without one.
    void SetInstanceChooser(CInstanceChooser* chooser) { m_pChooser = chooser; }
    bool SelectStartInstance(LPCWSTR requestedKey);
    bool SelectInstanceByPopup();

    // The main window while the main dialog runs; cleared when it ends.
    // GetMainWindow is its handle while the window exists, else null.
    void SetMainWindow(CWnd* wnd) { m_pMainWnd = wnd; }
    HWND GetMainWindow() const;

    // The UI-thread task queue. QueueTask: any thread; the caller then posts
    // "FOLIONEX_TASK" to the main dialog. RunPendingTask: UI thread only;
    // runs at most one task. Tasks still queued when the settings object
    // goes are deleted without running.
    void QueueTask(CTask* task);
    void RunPendingTask();
    // The newest queued task, taken out of the queue without running; the
    // caller owns it. Null when none is queued.
    CTask* TakeQueuedTask() { return m_taskQueue.Pop(); }

    static const wchar_t kDefaultServerUrl[];

private:
    HWND OwnerForShellCalls() const;

    CString m_strInstanceKey;
    CTaskStack m_taskQueue;
    CTaskRunner m_taskRunner;
    CInstanceChooser* m_pChooser;
    CWnd* m_pMainWnd;
    DWORD m_uiThreadId;
};

// The settings object of the process, or null when none exists (the
// application object creates and owns it).
CAppSettings* GetAppSettings();
