#include "online/SelfUpdate.h"
#include <bcrypt.h>
#include <shellapi.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <string.h>
#include <vector>
#include "afxapp.h"
#include "foundation/AppSettings.h"
#include "foundation/Log.h"
#include "foundation/Progress.h"
#include "foundation/ProgressDlg.h"
#include "online/VapiRequest.h"
#include "online/VapiStream.h"

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

// SHA-256 of bytes given in pieces (CNG).
class CSha256
{
public:
    enum { SIZE = 32 };
    CSha256() : m_alg(NULL), m_hash(NULL), m_ok(false)
    {
        m_ok = BCryptOpenAlgorithmProvider(&m_alg, BCRYPT_SHA256_ALGORITHM, NULL, 0) == 0 &&
               BCryptCreateHash(m_alg, &m_hash, NULL, 0, NULL, 0, 0) == 0;
    }
    ~CSha256()
    {
        if (m_hash)
            BCryptDestroyHash(m_hash);
        if (m_alg)
            BCryptCloseAlgorithmProvider(m_alg, 0);
    }
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    void Add(const void* data, DWORD length)
    {
        if (m_ok && length)
            m_ok = BCryptHashData(m_hash, (PUCHAR)const_cast<void*>(data), length, 0) == 0;
    }
    // The digest once all is added; false when the hash failed.
    bool Finish(BYTE digest[SIZE])
    {
        return m_ok && BCryptFinishHash(m_hash, digest, SIZE, 0) == 0;
    }

private:
    BCRYPT_ALG_HANDLE m_alg;
    BCRYPT_HASH_HANDLE m_hash;
    bool m_ok;
};

// The installer's download: the file and the digest of every byte written
// into it, so that what lies in the file when it is checked can be told to
// be what came.
class CDigestFileStream : public CVapiOutputFileStream
{
public:
    CDigestFileStream(HANDLE hFile, CSha256& digest) : CVapiOutputFileStream(hFile), m_digest(digest) {}
    bool Write(const void* data, DWORD length) override
    {
        if (!CVapiOutputFileStream::Write(data, length))
            return false;
        m_digest.Add(data, length);
        return true;
    }

private:
    CSha256& m_digest;
};

// The progress dialog of the download: the request starts once the window
// exists, so that no record of a quick download is lost before it.
class CUpdateDownloadDlg : public CProgressDlg
{
public:
    CUpdateDownloadDlg(CWnd* parent, CVapiRequest& request, LPCWSTR url, CVapiStream* file, int length)
        : CProgressDlg(parent, false), m_request(request), m_url(url), m_pFile(file), m_length(length)
    {
    }
    ~CUpdateDownloadDlg() override { delete m_pFile; }

protected:
    BOOL OnInitDialog() override
    {
        BOOL result = CProgressDlg::OnInitDialog();
        // A request that cannot start sends no record: the user ends the wait.
        CVapiStream* file = m_pFile;
        m_pFile = NULL;
        m_request.DownloadTo(m_url, file, m_length);
        return result;
    }

private:
    CVapiRequest& m_request;
    CString m_url;
    CVapiStream* m_pFile; // until the request takes it
    int m_length;
};

// Whether the file behind the handle holds exactly the bytes of the digest,
// and how many there are.
bool HoldsTheDownload(HANDLE file, const BYTE expected[CSha256::SIZE], unsigned long long& size)
{
    LARGE_INTEGER length;
    size = 0;
    if (!GetFileSizeEx(file, &length))
        return false;
    size = (unsigned long long)length.QuadPart;
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(file, zero, NULL, FILE_BEGIN))
        return false;
    CSha256 digest;
    std::vector<BYTE> buffer(65536);
    DWORD read = 0;
    bool ok;
    while ((ok = ReadFile(file, buffer.data(), (DWORD)buffer.size(), &read, NULL) != FALSE) && read > 0)
        digest.Add(buffer.data(), read);
    BYTE actual[CSha256::SIZE];
    return ok && digest.Finish(actual) && memcmp(actual, expected, CSha256::SIZE) == 0 &&
           SetFilePointerEx(file, zero, NULL, FILE_BEGIN);
}

// A chain's error bits as the refusal they stand for. Revocation is not
// checked (the office may be offline), so its "unknown" bits do not count.
LONG ChainStatusError(DWORD status)
{
    status &= ~(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
    static const struct
    {
        DWORD bit;
        LONG error;
    } kErrors[] = {
        {CERT_TRUST_IS_NOT_SIGNATURE_VALID, TRUST_E_CERT_SIGNATURE},
        {CERT_TRUST_IS_REVOKED, CERT_E_REVOKED},
        {CERT_TRUST_IS_UNTRUSTED_ROOT, CERT_E_UNTRUSTEDROOT},
        {CERT_TRUST_IS_PARTIAL_CHAIN, CERT_E_CHAINING},
        {CERT_TRUST_IS_NOT_TIME_VALID, CERT_E_EXPIRED},
        {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, CERT_E_WRONG_USAGE},
        {CERT_TRUST_IS_CYCLIC, CERT_E_CHAINING},
        {CERT_TRUST_INVALID_BASIC_CONSTRAINTS, TRUST_E_BASIC_CONSTRAINTS},
    };
    if (status == CERT_TRUST_NO_ERROR)
        return ERROR_SUCCESS;
    for (const auto& e : kErrors)
        if (status & e.bit)
            return e.error;
    return CERT_E_CHAINING;
}

// The certificate's chain at the time, for the usage, with the message's own
// certificates at hand: the Authenticode policy's verdict, and any error bit
// of the chain that the policy let pass.
LONG CheckChain(PCCERT_CONTEXT cert, const FILETIME& at, HCERTSTORE extra, LPCSTR usage, LPCSTR policy)
{
    CERT_CHAIN_PARA para;
    ZeroMemory(&para, sizeof(para));
    para.cbSize = sizeof(para);
    LPSTR usages[] = {const_cast<LPSTR>(usage)};
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    FILETIME when = at;
    PCCERT_CHAIN_CONTEXT chain = NULL;
    if (!CertGetCertificateChain(NULL, cert, &when, extra, &para, 0, NULL, &chain))
        return (LONG)HRESULT_FROM_WIN32(GetLastError());
    CERT_CHAIN_POLICY_PARA policyPara;
    ZeroMemory(&policyPara, sizeof(policyPara));
    policyPara.cbSize = sizeof(policyPara);
    CERT_CHAIN_POLICY_STATUS status;
    ZeroMemory(&status, sizeof(status));
    status.cbSize = sizeof(status);
    LONG result = CERT_E_CHAINING;
    if (CertVerifyCertificateChainPolicy(policy, chain, &policyPara, &status))
        result = (LONG)status.dwError;
    if (result == ERROR_SUCCESS)
        result = ChainStatusError(chain->TrustStatus.dwErrorStatus);
    if (result != ERROR_SUCCESS)
        LogFormat(L"SelfUpdate - certificate chain refused: 0x%08X (chain status 0x%08X)", (unsigned)result,
                  (unsigned)chain->TrustStatus.dwErrorStatus);
    CertFreeCertificateChain(chain);
    return result;
}

// The time a signature is judged at: that of its timestamp when the system
// verified one, a countersigner that WinVerifyTrust lists without an error
// and whose own chain, checked here for time stamping, holds at that time.
// A time the system read from a countersignature it did not verify (Wine
// takes one from any countersignature and lists no countersigner) counts
// for nothing: without a verified timestamp the signature is judged as of
// now, so an expired certificate is refused.
bool VerifiedTimestamp(const CRYPT_PROVIDER_SGNR& signer, HCERTSTORE extra, FILETIME& when)
{
    for (DWORD i = 0; i < signer.csCounterSigners && signer.pasCounterSigners; ++i) {
        const CRYPT_PROVIDER_SGNR& counter = signer.pasCounterSigners[i];
        if (counter.dwError != ERROR_SUCCESS || counter.csCertChain == 0 || !counter.pasCertChain ||
            !counter.pasCertChain[0].pCert)
            continue;
        if (CheckChain(counter.pasCertChain[0].pCert, signer.sftVerifyAsOf, extra, szOID_PKIX_KP_TIMESTAMP_SIGNING,
                       CERT_CHAIN_POLICY_BASE) != ERROR_SUCCESS)
            continue;
        when = signer.sftVerifyAsOf;
        return true;
    }
    return false;
}

// Every signer's chain, checked again by us after WinVerifyTrust accepted the
// file: a system check that lets an unknown root, a self-signed or an expired
// certificate pass must not be the last word.
LONG CheckSignerChains(HANDLE stateData)
{
    CRYPT_PROVIDER_DATA* data = WTHelperProvDataFromStateData(stateData);
    if (!data || data->csSigners == 0)
        return TRUST_E_NO_SIGNER_CERT;
    HCERTSTORE extra = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, NULL);
    if (!extra)
        return (LONG)HRESULT_FROM_WIN32(GetLastError());
    for (DWORD i = 0; i < data->chStores; ++i)
        CertAddStoreToCollection(extra, data->pahStores[i], 0, 0);
    LONG result = ERROR_SUCCESS;
    for (DWORD i = 0; i < data->csSigners && result == ERROR_SUCCESS; ++i) {
        CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(data, i, FALSE, 0);
        if (!signer || signer->csCertChain == 0 || !signer->pasCertChain[0].pCert) {
            result = TRUST_E_NO_SIGNER_CERT;
            break;
        }
        FILETIME when;
        if (!VerifiedTimestamp(*signer, extra, when))
            GetSystemTimeAsFileTime(&when);
        result = CheckChain(signer->pasCertChain[0].pCert, when, extra, szOID_PKIX_KP_CODE_SIGNING,
                            CERT_CHAIN_POLICY_AUTHENTICODE);
    }
    CertCloseStore(extra, 0);
    return result;
}

// How the client itself reads an address it is asked for: whether it goes
// over HTTPS to that host.
bool SentOverHttpsTo(LPCWSTR url, const CString& host)
{
    CVapiRequestInfo info(url, CVapiRequestInfo::METHOD_GET);
    return info.m_https && !host.IsEmpty() && info.m_host.CompareNoCase(host) == 0;
}

void RestartWorker(HWND hMain)
{
    if (hMain && IsWindow(hMain))
        ::SetTimer(hMain, kTimerWorker, 100, NULL);
}

} // namespace

const wchar_t CSelfUpdate::kInstallerName[] = L"Folionex_Setup.exe";
CSelfUpdate::CreateProcessFn CSelfUpdate::s_pfnCreateProcess = CreateProcessW;
CSelfUpdate::ShellExecuteFn CSelfUpdate::s_pfnShellExecute = ShellExecuteW;
CSelfUpdate::StageFn CSelfUpdate::s_pfnStage = NULL;

CSelfUpdate::CSelfUpdate(LPCWSTR downloadUrl, int downloadLength, CWnd* parent, LPCWSTR checkUrl)
    : m_strDownloadUrl(downloadUrl), m_nDownloadLength(downloadLength), m_pParent(parent),
      m_strCheckUrl(checkUrl ? checkUrl : L"")
{
}

int CSelfUpdate::Run()
{
    CWnd* mainWnd = AfxGetMainWnd();
    // After Release nothing of the task may be touched: the window first.
    HWND hMain = mainWnd ? mainWnd->GetSafeHwnd() : NULL;
    int answer = mainWnd ? mainWnd->MessageBox(kQuestion, kQuestionCaption, MB_YESNO)
                         : ::MessageBoxW(NULL, kQuestion, kQuestionCaption, MB_YESNO);
    int result = 0;
    if (answer == IDYES)
        result = CTask::Run();
    else
        Release();
    // An update that did not start skips nothing of the day's steps.
    if (answer != IDYES || result != 0)
        RestartWorker(hMain);
    return result;
}

// The rule for starting a downloaded installer, the one place it is decided.
// An installer whose signature verifies (VerifyInstaller: the system's
// Authenticode check and our own check of the signer's chain) may start,
// whichever way it came. An unsigned one may start only when no one on the
// way can have chosen or changed it: the update check that named it went
// over HTTPS to the host of "Server" and its answer came from there, and the
// download was asked from that host over HTTPS and its answer finally came
// (after any redirect, as WinINet reports it) over HTTPS from that host.
// Everything else, a signature that does not verify above all, is refused.
bool CSelfUpdate::MayStart(LONG verdict, LPCWSTR serverUrl, LPCWSTR checkUrl, LPCWSTR downloadUrl,
                           LPCWSTR finalDownloadUrl)
{
    if (verdict == ERROR_SUCCESS)
        return true;
    if (verdict != TRUST_E_NOSIGNATURE)
        return false;
    CVapiRequestInfo server(serverUrl, CVapiRequestInfo::METHOD_GET);
    return SentOverHttpsTo(serverUrl, server.m_host) && IsHttpsUrl(checkUrl, server.m_host) &&
           SentOverHttpsTo(downloadUrl, server.m_host) && IsHttpsUrl(finalDownloadUrl, server.m_host);
}

int CSelfUpdate::Execute()
{
    CAppSettings* settings = GetAppSettings();
    if (!settings)
        return -2;
    CString path = settings->GetDownloadCacheFolder() + kInstallerName;
    if (m_nDownloadLength <= 0) {
        LogFormat(L"SelfUpdate - the update names no length (%d): nothing downloaded", m_nDownloadLength);
        return -2;
    }

    bool downloaded = false;
    CString finalUrl;
    CSha256 digest;
    {
        HANDLE hFile = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (hFile == INVALID_HANDLE_VALUE) {
            LogSystemError(GetLastError(), L"CreateFile for output file");
            return -2;
        }
        CVapiRequest request(true);
        // A body longer than announced is no installer: it stops at once.
        request.SetResponseLimit((DWORD)m_nDownloadLength);
        CUpdateDownloadDlg dlg(m_pParent, request, m_strDownloadUrl, new CDigestFileStream(hFile, digest),
                               m_nDownloadLength);
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
        downloaded = dialogDone && request.HasEnded() && request.IsCompleted();
        finalUrl = request.GetFinalUrl();
        request.SetProgress(NULL);
        if (!downloaded)
            LogFormat(L"SelfUpdate - the download did not complete (HTTP status %d, code %d): not started",
                      (int)request.GetStatusCode(), (int)request.GetResult());
    } // the request, and with it the file, closed

    BYTE expected[CSha256::SIZE];
    if (!downloaded || !digest.Finish(expected)) {
        DeleteFileW(path);
        return -2;
    }
    if (s_pfnStage)
        s_pfnStage(STAGE_DOWNLOADED, path);
    // From here to the start one handle holds the file: nobody can write,
    // rename, replace or delete it while it is checked and started. What it
    // holds must be the bytes that came.
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        LogSystemError(GetLastError(), L"CreateFile for the installer");
        DeleteFileW(path);
        return -2;
    }
    unsigned long long size = 0;
    bool same = HoldsTheDownload(file, expected, size);
    if (size != (unsigned long long)m_nDownloadLength) {
        LogFormat(L"SelfUpdate - the download holds %I64u bytes, %d announced: not started", size, m_nDownloadLength);
        CloseHandle(file);
        DeleteFileW(path);
        return -2;
    }
    LONG verdict = same ? VerifyInstaller(file, path) : TRUST_E_SUBJECT_NOT_TRUSTED;
    CString serverUrl = settings->GetServerUrl();
    if (!same || !MayStart(verdict, serverUrl, m_strCheckUrl, m_strDownloadUrl, finalUrl)) {
        if (!same)
            LogLine(L"SelfUpdate - the installer's file is not what was downloaded");
        LogFormat(L"SelfUpdate - installer refused: signature 0x%08X; \"Server\" %s, update check answered from "
                  L"%s, installer asked from %s, answered from %s",
                  (unsigned)verdict, (LPCWSTR)serverUrl, (LPCWSTR)m_strCheckUrl, (LPCWSTR)m_strDownloadUrl,
                  (LPCWSTR)finalUrl);
        CloseHandle(file);
        DeleteFileW(path);
        CWnd* mainWnd = AfxGetMainWnd();
        if (mainWnd && mainWnd->GetSafeHwnd())
            mainWnd->MessageBox(kRefusedText, kQuestionCaption, MB_OK | MB_ICONWARNING);
        else
            ::MessageBoxW(NULL, kRefusedText, kQuestionCaption, MB_OK | MB_ICONWARNING);
        return -3;
    }
    if (s_pfnStage)
        s_pfnStage(STAGE_CHECKED, path);
    int result = StartInstaller(path);
    CloseHandle(file);
    return result;
}

LONG CSelfUpdate::VerifyInstaller(HANDLE file, LPCWSTR path)
{
    LARGE_INTEGER zero = {};
    SetFilePointerEx(file, zero, NULL, FILE_BEGIN);
    WINTRUST_FILE_INFO fileInfo;
    ZeroMemory(&fileInfo, sizeof(fileInfo));
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = path;
    fileInfo.hFile = file;
    WINTRUST_DATA data;
    ZeroMemory(&data, sizeof(data));
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG verdict = WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    if (verdict == ERROR_SUCCESS)
        verdict = CheckSignerChains(data.hWVTStateData);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    SetFilePointerEx(file, zero, NULL, FILE_BEGIN);
    return verdict;
}

LONG CSelfUpdate::VerifyInstaller(LPCWSTR path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return (LONG)HRESULT_FROM_WIN32(GetLastError());
    LONG verdict = VerifyInstaller(file, path);
    CloseHandle(file);
    return verdict;
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
