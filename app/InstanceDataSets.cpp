// The instance selection's refresh from the online account: the account
// dialog, the web-service call that lists the account's data sets, and their
// merge into the instances of the registry.
#include <algorithm>
#include <climits>
#include "afxapp.h"
#include "app/InstanceSelectDlg.h"
#include "foundation/AppSettings.h"
#include "foundation/Log.h"
#include "foundation/XMessageBox.h"
#include "online/InstancePwdDlg.h"
#include "online/VapiReply.h"
#include "online/VapiRequest.h"

namespace {

// The program type of this program's data sets.
const int kProgType = 2;

const wchar_t kRefusedCaption[] = L"Adatállományok listája";
const wchar_t kUnsendableText[] =
    L"Az e-mail cím vagy a jelszó olyan karaktert tartalmaz (például ő vagy ű), amely nem küldhető el.\n"
    L"Kérem, javítsa!";

// One byte per character; false when a character does not fit a byte or is
// a control character (a line feed would start a line of its own).
bool AppendNarrow(const CString& text, std::string& out)
{
    for (int i = 0; i < text.GetLength(); ++i) {
        wchar_t c = text[i];
        if (c > 0xFF || c < 0x20)
            return false;
        out.push_back((char)(unsigned char)c);
    }
    return true;
}

// A data-set number: decimal digits only, from 1 to INT_MAX.
bool ParseRepoNr(const CString& text, int& value)
{
    if (text.IsEmpty() || text.GetLength() > 10)
        return false;
    long long n = 0;
    for (int i = 0; i < text.GetLength(); ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return false;
        n = n * 10 + (text[i] - L'0');
    }
    if (n < 1 || n > INT_MAX)
        return false;
    value = (int)n;
    return true;
}

// Whether the application key has a subkey of that name (registry names
// ignore letter case); a subkey that cannot be opened exists all the same.
bool InstanceKeyExists(CWinApp* app, const CString& key)
{
    HKEY hApp = app->GetAppRegistryKey();
    if (!hApp)
        return false;
    HKEY hKey = NULL;
    LONG result = RegOpenKeyExW(hApp, key, 0, KEY_READ, &hKey);
    if (result == ERROR_SUCCESS)
        RegCloseKey(hKey);
    RegCloseKey(hApp);
    return result != ERROR_FILE_NOT_FOUND;
}

// The instance key of a new data set: "Instance_" + its number + "_" + the
// e-mail with every at sign and plus sign as "_", made into a key a registry
// key and a folder can have; when an instance has that key already, "_2",
// "_3" and so on after it, so that no instance is written over (empty when
// none of the first thousand is free).
CString NewInstanceKey(CWinApp* app, const CString& nrText, const CString& email)
{
    CString account = email;
    account.Replace(L'@', L'_');
    account.Replace(L'+', L'_');
    const CString base = CAppSettings::MakeInstanceKey(L"Instance_" + nrText + L"_" + account);
    CString key = base;
    for (int n = 2; InstanceKeyExists(app, key); ++n) {
        if (n > 1000)
            return CString();
        CString suffix;
        suffix.Format(L"_%d", n);
        key = CAppSettings::MakeInstanceKey(base.Left(CAppSettings::kMaxInstanceKey - suffix.GetLength()) + suffix);
    }
    return key;
}

CString IndexedKey(LPCWSTR name, int index)
{
    CString key;
    key.Format(L"%s%d", name, index);
    return key;
}

} // namespace

bool CInstanceSelectDlg::BuildRepoListBody(const CString& email, const CString& password, std::string& body)
{
    body = "ProgType=" + std::to_string(kProgType) + "\nEmail=";
    bool ok = AppendNarrow(email, body);
    body += "\nPwd=";
    ok = ok && AppendNarrow(password, body);
    if (!ok)
        body.clear();
    return ok;
}

void CInstanceSelectDlg::OnBnClickedRefreshList()
{
    CString offer;
    CInstanceList list = m_list;
    for (int i = 0; i < list.GetCount(); ++i) {
        if (!list[i].email.IsEmpty())
            offer = list[i].email;
    }
    CInstancePwdDlg dlg(NULL);
    dlg.m_strEmail = offer;
    while (dlg.DoModal() == IDOK) {
        if (GetRepoList(dlg.m_strEmail, dlg.m_strPassword)) {
            MergeRepoList();
            break;
        }
        if (m_bBodyRefused)
            XMessageBox(m_hWnd, kUnsendableText, kRefusedCaption, MB_OK | MB_ICONWARNING);
    }
}

bool CInstanceSelectDlg::GetRepoList(const CString& email, const CString& password)
{
    LogFormat(L"GetRepoList (%s)", (LPCWSTR)email);
    m_repoList.clear();
    m_bBodyRefused = false;

    std::string body;
    if (!BuildRepoListBody(email, password, body)) {
        m_bBodyRefused = true;
        LogLine(L"GetRepoList: the e-mail or the password holds a character that cannot be sent; no request");
        return false;
    }

    CAppSettings* settings = GetAppSettings();
    CString url = settings ? settings->GetServerUrl() : CString(CAppSettings::kDefaultServerUrl);
    url += L"VApi/GetRepos.aspx";
    CVapiRequest request;
    bool posted = request.Post(url, body.data(), (DWORD)body.size());
    SecureZeroMemory(&body[0], body.size());
    if (!posted) {
        LogFormat(L"GetRepoList: the request failed (code %u, HTTP status %u)", (unsigned)request.GetResult(),
                  (unsigned)request.GetStatusCode());
        return false;
    }
    CVapiMemoryStream* response = dynamic_cast<CVapiMemoryStream*>(request.GetResponseSink());
    CVapiReply reply;
    int pairs = response ? reply.Parse(*response) : 0;
    if (pairs < 1) {
        LogLine(L"GetRepoList: the reply holds no pair");
        return false;
    }
    // A count that the reply cannot hold is not believed.
    int count = std::min(_wtoi(reply.Get(L"Count")), pairs);
    for (int i = 0; i < count; ++i) {
        if (_wtoi(reply.Get(IndexedKey(L"ProgType", i))) != kProgType)
            continue;
        m_repoList.push_back(email + L"\t" + reply.Get(IndexedKey(L"RepoNr", i)) + L"\t" +
                             reply.Get(IndexedKey(L"RepoName", i)));
    }
    return true;
}

bool CInstanceSelectDlg::MergeRepoList()
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return false;
    bool changed = false;
    for (const CString& entry : m_repoList) {
        int tab1 = entry.Find(L'\t');
        int tab2 = tab1 < 0 ? -1 : entry.Find(L'\t', tab1 + 1);
        if (tab2 < 0)
            continue;
        CString email = entry.Left(tab1);
        CString nrText = entry.Mid(tab1 + 1, tab2 - tab1 - 1);
        CString name = entry.Mid(tab2 + 1); // a name may hold a tab itself
        int repoNr = 0;
        if (!ParseRepoNr(nrText, repoNr)) {
            LogFormat(L"MergeRepoList: data set \"%s\" skipped, its number \"%s\" is not a positive decimal number",
                      (LPCWSTR)name, (LPCWSTR)nrText);
            continue;
        }

        // The instances as the registry holds them now, earlier entries'
        // writes included.
        CInstanceList list;
        list.Load();
        int count = list.GetCount();
        int found = -1;
        for (int i = 0; i < count && found < 0; ++i) {
            if (list[i].email == email && list[i].repoNr == repoNr)
                found = i;
        }
        if (found >= 0) {
            if (list[found].displayName != name) {
                app->WriteProfileString(list[found].key, L"", name);
                changed = true;
            }
            continue;
        }
        for (int i = 0; i < count && found < 0; ++i) {
            if (list[i].email == email && list[i].repoNr == 0)
                found = i;
        }
        if (found >= 0) {
            app->WriteProfileString(list[found].key, L"", name);
            app->WriteProfileInt(list[found].key, L"RepoNr", repoNr);
            changed = true;
            continue;
        }
        for (int i = 0; i < count && found < 0; ++i) {
            if (list[i].email.IsEmpty() && list[i].repoNr == 0)
                found = i;
        }
        CString key = found >= 0 ? list[found].key : NewInstanceKey(app, nrText, email);
        if (key.IsEmpty()) {
            LogFormat(L"MergeRepoList: data set \"%s\" skipped, no free instance key", (LPCWSTR)name);
            continue;
        }
        app->WriteProfileString(key, L"", name);
        app->WriteProfileString(key, L"RegEmail", email);
        app->WriteProfileInt(key, L"RepoNr", repoNr);
        changed = true;
    }
    if (changed) {
        m_list.Load();
        if (m_combo.GetSafeHwnd())
            FillInstanceCombo(NULL);
    }
    return changed;
}
