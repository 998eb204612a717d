#include "app/InstanceList.h"
#include "afxapp.h"
#include "app/InstanceSelectDlg.h"
#include "exchange/SablonList.h"
#include "foundation/Log.h"

LPCWSTR GetDefaultInstanceKey()
{
    return L"DefaultInstance";
}

namespace {

enum ReadResult { READ_OK, READ_MISSING, READ_TOO_LONG, READ_OTHER_TYPE };

// A text value of the types REG_SZ or REG_EXPAND_SZ of up to 512
// characters: 1024 bytes of text, one character more for a terminator (which
// the data may lack; it is added after the last character read).
ReadResult ReadText(HKEY hKey, LPCWSTR name, CString& out)
{
    wchar_t buf[512 + 1] = {0};
    DWORD type = 0, size = sizeof(buf);
    LONG r = RegQueryValueExW(hKey, name, NULL, &type, (LPBYTE)buf, &size);
    if (r == ERROR_MORE_DATA)
        return READ_TOO_LONG;
    if (r != ERROR_SUCCESS)
        return READ_MISSING;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return READ_OTHER_TYPE;
    buf[size / sizeof(wchar_t) < 512 ? size / sizeof(wchar_t) : 512] = 0;
    out = buf;
    return READ_OK;
}

// Below HKCU\Software\Orvane\Folionex the template list has its key among
// the instances; it is none of them.
bool IsSablonKey(LPCWSTR key)
{
    CWinApp* app = AfxGetApp();
    return app && key && _wcsicmp(app->m_pszAppName, L"Folionex") == 0 && _wcsicmp(key, GetSablonKeyName()) == 0;
}

} // namespace

int CInstanceList::Load()
{
    m_items.clear();
    CWinApp* app = AfxGetApp();
    HKEY hApp = app ? app->GetAppRegistryKey() : NULL;
    if (!hApp)
        return 0;
    DWORD index = 0;
    for (;; ++index) {
        wchar_t name[512];
        DWORD nameLen = 512;
        if (RegEnumKeyExW(hApp, index, name, &nameLen, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if (IsSablonKey(name))
            continue;
        CInstanceInfo info;
        info.key = name;
        HKEY hSub = NULL;
        if (RegOpenKeyExW(hApp, name, 0, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, &hSub) == ERROR_SUCCESS) {
            ReadResult nameRead = ReadText(hSub, NULL, info.displayName);
            ReadText(hSub, L"RegEmail", info.email);
            DWORD type = 0, value = 0, size = sizeof(value);
            if (RegQueryValueExW(hSub, L"RepoNr", NULL, &type, (LPBYTE)&value, &size) == ERROR_SUCCESS &&
                type == REG_DWORD)
                info.repoNr = (int)value;
            if (info.displayName.IsEmpty()) {
                info.displayName.Format(L"Adatbázis #%d", info.repoNr ? info.repoNr : (int)m_items.size() + 1);
                // A name that is there but cannot be read here (too long,
                // another type) stays as it is stored.
                if (nameRead == READ_MISSING || nameRead == READ_OK)
                    app->WriteProfileString(info.key, L"", info.displayName);
            }
            RegCloseKey(hSub);
        } else {
            // A subkey that cannot be opened is listed by its position,
            // like every other entry without a name; nothing is written.
            info.displayName.Format(L"Adatbázis #%d", (int)m_items.size() + 1);
        }
        m_items.push_back(info);
    }
    RegCloseKey(hApp);
    return (int)m_items.size();
}

CString CInstanceList::Resolve(LPCWSTR requestedKey)
{
    CString result = (requestedKey && *requestedKey) ? CString(requestedKey) : CString(GetDefaultInstanceKey());
    // An instance of that name would keep its settings in the template
    // list's key and mix the two.
    if (IsSablonKey(result)) {
        LogFormat(L"Instance key %s is the template list's key; the default instance starts", (LPCWSTR)result);
        result = GetDefaultInstanceKey();
    }
    if (Load() > 0) {
        for (const auto& item : m_items) {
            if (_wcsicmp(item.key, result) == 0)
                return item.key;
        }
    }
    return result;
}

CString CInstanceList::GetKey(int index) const
{
    if (index < 0 || index >= (int)m_items.size())
        return CString(GetDefaultInstanceKey());
    return m_items[index].key;
}

CString CRegistryInstanceChooser::Resolve(LPCWSTR requestedKey)
{
    CInstanceList list;
    return list.Resolve(requestedKey);
}

CString CRegistryInstanceChooser::DefaultKey()
{
    return GetDefaultInstanceKey();
}

bool CRegistryInstanceChooser::Choose(bool askAlways, CString& key)
{
    CInstanceList list;
    list.Load();
    int index = 0;
    if (list.GetCount() > 1 || askAlways) {
        LogLine(L"Show SelectInstance popup");
        CInstanceSelectDlg dlg(list, NULL);
        if (dlg.DoModal() != IDOK)
            return false;
        index = dlg.m_nSelected;
    }
    key = list.GetKey(index);
    return true;
}
