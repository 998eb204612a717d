#include "SablonTestSupport.h"
#include "exchange/SablonList.h"
#include "support/TestSupport.h"

namespace {

HKEY OpenKey(bool create)
{
    HKEY h = NULL;
    CString path = GetSablonKeyPath();
    LONG rc = create ? RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &h, NULL)
                     : RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &h);
    return rc == ERROR_SUCCESS ? h : NULL;
}

} // namespace

CSablonKeyGuard::CSablonKeyGuard() : m_existed(false)
{
    testing_support::App();
    HKEY h = OpenKey(false);
    if (!h)
        return;
    m_existed = true;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameChars = 16384, type = 0, bytes = 0;
        if (RegEnumValueW(h, i, name, &nameChars, NULL, &type, NULL, &bytes) != ERROR_SUCCESS)
            break;
        Value v;
        v.name = name;
        v.type = type;
        v.data.resize(bytes);
        nameChars = 16384;
        RegEnumValueW(h, i, name, &nameChars, NULL, &type, v.data.data(), &bytes);
        m_saved.push_back(v);
    }
    RegCloseKey(h);
    DeleteKey();
}

CSablonKeyGuard::~CSablonKeyGuard()
{
    DeleteKey();
    if (!m_existed)
        return;
    HKEY h = OpenKey(true);
    for (const Value& v : m_saved)
        RegSetValueExW(h, v.name.c_str(), 0, v.type, v.data.data(), (DWORD)v.data.size());
    RegCloseKey(h);
}

void CSablonKeyGuard::SetRaw(LPCWSTR name, const void* data, DWORD bytes, DWORD type)
{
    HKEY h = OpenKey(true);
    RegSetValueExW(h, name, 0, type, (const BYTE*)data, bytes);
    RegCloseKey(h);
}

void CSablonKeyGuard::SetText(LPCWSTR name, LPCWSTR text)
{
    SetRaw(name, text, (DWORD)(wcslen(text) + 1) * sizeof(wchar_t));
}

bool CSablonKeyGuard::Get(LPCWSTR name, std::wstring* data, DWORD* bytes)
{
    HKEY h = OpenKey(false);
    if (!h)
        return false;
    std::vector<BYTE> buf(4096);
    DWORD size = (DWORD)buf.size(), type = 0;
    LONG rc = RegQueryValueExW(h, name, NULL, &type, buf.data(), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS)
        return false;
    if (bytes)
        *bytes = size;
    if (data)
        data->assign((const wchar_t*)buf.data(), size / sizeof(wchar_t));
    return true;
}

int CSablonKeyGuard::ValueCount()
{
    HKEY h = OpenKey(false);
    if (!h)
        return -1;
    DWORD values = 0;
    RegQueryInfoKeyW(h, NULL, NULL, NULL, NULL, NULL, NULL, &values, NULL, NULL, NULL, NULL);
    RegCloseKey(h);
    return (int)values;
}

void CSablonKeyGuard::DeleteKey()
{
    CString path = GetSablonKeyPath();
    RegDeleteTreeW(HKEY_CURRENT_USER, path);
    RegDeleteKeyW(HKEY_CURRENT_USER, path);
}
