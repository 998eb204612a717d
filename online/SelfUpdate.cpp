#include "online/SelfUpdate.h"
#include <shellapi.h>
#include <softpub.h>
#include <wintrust.h>
#include <vector>
#include "afxapp.h"
#include "foundation/AppSettings.h"
#include "foundation/Log.h"
#include "foundation/Progress.h"
#include "foundation/ProgressDlg.h"
#include "online/VapiRequest.h"

namespace {

const UINT_PTR kTimerWorker = 100;
// Not in every set of headers.
const DWORD kErrorElevationRequired = 740;

const wchar_t kQuestion[] =
    L"A jelenleg használt verziónál újabb program került kiadásra.\n\nLetöltsem és telepítsem a frissített verziót?";
const wchar_t kQuestionCaption[] = L"Frissítés";
const wchar_t kRefusedText[] =
    L"A letöltött telepítő program hitelessége nem ellenőrizhető, ezért nem indítom el.\n\n"
    L"Kérem, telepítse a frissítést a program készítőjének honlapjáról!";

// The progress dialog of the download: the request starts once the window
// exists, so that no record of a quick download is lost before it.
class CUpdateDownloadDlg : public CProgressDlg
{
public:
    CUpdateDownloadDlg(CWnd* parent, CVapiRequest& request, LPCWSTR url, LPCWSTR path, int length)
        : CProgressDlg(parent, false), m_request(request), m_url(url), m_path(path), m_length(length)
    {
    }

protected:
    BOOL OnInitDialog() override
    {
        BOOL result = CProgressDlg::OnInitDialog();
        // A request that cannot start sends no record: the user ends the wait.
        m_request.Download(m_url, m_path, m_length);
        return result;
    }

private:
    CVapiRequest& m_request;
    CString m_url;
    CString m_path;
    int m_length;
};

bool FileSize(LPCWSTR path, unsigned long long& size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data))
        return false;
    size = ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    return true;
}

} // namespace

const wchar_t CSelfUpdate::kInstallerName[] = L"Folionex_Setup.exe";
CSelfUpdate::CreateProcessFn CSelfUpdate::s_pfnCreateProcess = CreateProcessW;
CSelfUpdate::ShellExecuteFn CSelfUpdate::s_pfnShellExecute = ShellExecuteW;

CSelfUpdate::CSelfUpdate(LPCWSTR downloadUrl, int downloadLength, CWnd* parent)
    : m_strDownloadUrl(downloadUrl), m_nDownloadLength(downloadLength), m_pParent(parent)
{
}

int CSelfUpdate::Run()
{
    CWnd* mainWnd = AfxGetMainWnd();
    // After Release nothing of the task may be touched: the window first.
    HWND hMain = mainWnd ? mainWnd->GetSafeHwnd() : NULL;
    int answer = mainWnd ? mainWnd->MessageBox(kQuestion, kQuestionCaption, MB_YESNO)
                         : ::MessageBoxW(NULL, kQuestion, kQuestionCaption, MB_YESNO);
    if (answer == IDYES)
        return CTask::Run();
    Release();
    if (hMain && IsWindow(hMain))
        ::SetTimer(hMain, kTimerWorker, 100, NULL);
    return 0;
}

int CSelfUpdate::Execute()
{
    CAppSettings* settings = GetAppSettings();
    if (!settings)
        return -2;
    CString path = settings->GetDownloadCacheFolder() + kInstallerName;

    int result = -2;
    {
        CVapiRequest request(true);
        CUpdateDownloadDlg dlg(m_pParent, request, m_strDownloadUrl, path, m_nDownloadLength);
        dlg.m_nRange = m_nDownloadLength;
        dlg.m_strTitle = L"Program frissítése";
        dlg.m_strFirstText = L"Frissítés telepítő programjának (Folionex_Setup.exe) letöltése";
        CWndProgress sink(&dlg);
        dlg.SetAbortHandler(&sink, CProgress::AbortCallback);
        dlg.SetCloseHandler(&sink, CProgress::DetachCallback);
        sink.SetCompletedTexts(L"A letöltés sikeresen befejeződött!",
                               L"Kattintson az OK gombra a frissítés folytatásához!", L"OK");
        sink.SetAbortedTexts(L"A letöltést megszakította!", L"Kattintson az Kilép gombra a befejezéshez!", L"Kilép");
        request.SetProgress(&sink);
        dlg.DoModal();
        // The sink is detached (the dialog's close handler); a transfer that
        // still runs is cut short here, before the file is looked at.
        sink.Detach();
        request.Cancel();
        bool dialogDone = dlg.m_bCompleted && !dlg.m_bAborted;
        bool requestDone = request.HasEnded() && request.IsCompleted();
        request.SetProgress(NULL);
        if (dialogDone && requestDone) {
            unsigned long long size = 0;
            if (m_nDownloadLength > 0 && FileSize(path, size) && size == (unsigned long long)m_nDownloadLength)
                result = 0;
            else
                LogFormat(L"SelfUpdate - the download holds %I64u bytes, %d announced: not started", size,
                          m_nDownloadLength);
        } else {
            LogFormat(L"SelfUpdate - the download did not complete (HTTP status %d, code %d): not started",
                      (int)request.GetStatusCode(), (int)request.GetResult());
        }
    }
    if (result != 0) {
        DeleteFileW(path);
        return -2;
    }
    LONG verdict = VerifyInstaller(path);
    if (!MayStart(verdict, m_strDownloadUrl)) {
        LogFormat(L"SelfUpdate - installer refused: WinVerifyTrust 0x%08X, %s download", (unsigned)verdict,
                  wcsncmp(m_strDownloadUrl, L"https://", 8) == 0 ? L"HTTPS" : L"plain HTTP");
        DeleteFileW(path);
        CWnd* mainWnd = AfxGetMainWnd();
        if (mainWnd && mainWnd->GetSafeHwnd())
            mainWnd->MessageBox(kRefusedText, kQuestionCaption, MB_OK | MB_ICONWARNING);
        else
            ::MessageBoxW(NULL, kRefusedText, kQuestionCaption, MB_OK | MB_ICONWARNING);
        return -3;
    }
    return StartInstaller(path);
}

LONG CSelfUpdate::VerifyInstaller(const CString& path)
{
    WINTRUST_FILE_INFO file;
    ZeroMemory(&file, sizeof(file));
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path;
    WINTRUST_DATA data;
    ZeroMemory(&data, sizeof(data));
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG verdict = WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    return verdict;
}

bool CSelfUpdate::MayStart(LONG verdict, LPCWSTR downloadUrl)
{
    if (verdict == ERROR_SUCCESS)
        return true;
    return verdict == TRUST_E_NOSIGNATURE && downloadUrl && wcsncmp(downloadUrl, L"https://", 8) == 0;
}

int CSelfUpdate::StartInstaller(const CString& path)
{
    LogFormat(L"SelfUpdate - Start installer %s", (LPCWSTR)path);
    // The path is the program to run; the command line holds it quoted, so
    // that a path with blanks never starts a program named after its start.
    CString quoted = L"\"" + path + L"\"";
    std::vector<wchar_t> commandLine((LPCWSTR)quoted, (LPCWSTR)quoted + quoted.GetLength() + 1);
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof(pi));
    if (s_pfnCreateProcess(path, commandLine.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return 0;
    }
    DWORD error = GetLastError();
    LogFormat(L"SelfUpdate - CreateProcess error (%d)", (int)error);
    if (error == kErrorElevationRequired)
        s_pfnShellExecute(NULL, L"runas", path, NULL, NULL, SW_SHOWNORMAL);
    return -3;
}
