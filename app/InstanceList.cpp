#include "app/InstanceList.h"
#include "afxapp.h"
#include "exchange/SablonList.h"
#include "foundation/Log.h"

LPCWSTR GetDefaultInstanceKey()
{
    return L"DefaultInstance";
}

namespace {

// A text value of the types REG_SZ or REG_EXPAND_SZ that fits 1024 bytes.
bool ReadText(HKEY hKey, LPCWSTR name, CString& out)
{
    wchar_t buf[512 + 1] = {0};
    DWORD type = 0, size = 1024;
    if (RegQueryValueExW(hKey, name, NULL, &type, (LPBYTE)buf, &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false;
    buf[size / sizeof(wchar_t) < 512 ? size / sizeof(wchar_t) : 512] = 0;
    out = buf;
    return true;
}

} // namespace

int CInstanceList::Load()
{
    m_items.clear();
    CWinApp* app = AfxGetApp();
    HKEY hApp = app ? app->GetAppRegistryKey() : NULL;
    if (!hApp)
        return 0;
    // Below HKCU\Software\Orvane\Folionex the template list has its key
    // among the instances; it is none of them.
    bool sablonBeside = _wcsicmp(app->m_pszAppName, L"Folionex") == 0;
    DWORD index = 0;
    for (;; ++index) {
        wchar_t name[512];
        DWORD nameLen = 512;
        if (RegEnumKeyExW(hApp, index, name, &nameLen, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if (sablonBeside && _wcsicmp(name, GetSablonKeyName()) == 0)
            continue;
        CInstanceInfo info;
        info.key = name;
        HKEY hSub = NULL;
        if (RegOpenKeyExW(hApp, name, 0, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, &hSub) == ERROR_SUCCESS) {
            ReadText(hSub, NULL, info.displayName);
            ReadText(hSub, L"RegEmail", info.email);
            DWORD type = 0, value = 0, size = sizeof(value);
            if (RegQueryValueExW(hSub, L"RepoNr", NULL, &type, (LPBYTE)&value, &size) == ERROR_SUCCESS &&
                type == REG_DWORD)
                info.repoNr = (int)value;
            if (info.displayName.IsEmpty()) {
                info.displayName.Format(L"Adatbázis #%d", info.repoNr ? info.repoNr : (int)m_items.size() + 1);
                app->WriteProfileString(info.key, L"", info.displayName);
            }
            RegCloseKey(hSub);
        }
        m_items.push_back(info);
    }
    RegCloseKey(hApp);
    return (int)m_items.size();
}

CString CInstanceList::Resolve(LPCWSTR requestedKey)
{
    CString result = (requestedKey && *requestedKey) ? CString(requestedKey) : CString(GetDefaultInstanceKey());
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

bool RunInstanceSelection(CInstanceList& /*list*/, int& index)
{
    // Until the selection dialog exists the first instance is taken.
    index = 0;
    return true;
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
        if (!RunInstanceSelection(list, index))
            return false;
    }
    key = list.GetKey(index);
    return true;
}
