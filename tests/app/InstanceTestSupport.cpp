#include "InstanceTestSupport.h"
#include <gtest/gtest.h>
#include "app/InstanceSelectDlg.h"
#include "support/TestSupport.h"

namespace instance_test {

using namespace testing_support;

const wchar_t kSelectCaption[] = L"Adatállomány kiválasztása";
const wchar_t kAccountCaption[] = L"Adatállományok listájának lekérdezése";

CString AppKeyPath(LPCWSTR sub)
{
    CString path = CString(L"Software\\Orvane\\") + App()->m_pszAppName;
    if (sub && *sub)
        path += CString(L"\\") + sub;
    return path;
}

namespace {

HKEY CreateSubkey(LPCWSTR key)
{
    HKEY h = NULL;
    RegCreateKeyExW(HKEY_CURRENT_USER, AppKeyPath(key), 0, NULL, 0, KEY_WRITE, NULL, &h, NULL);
    return h;
}

} // namespace

void SetValue(LPCWSTR key, LPCWSTR name, DWORD type, const std::wstring& text, int bytes)
{
    HKEY h = CreateSubkey(key);
    ASSERT_TRUE(h);
    DWORD size = bytes < 0 ? (DWORD)((text.size() + 1) * sizeof(wchar_t)) : (DWORD)bytes;
    RegSetValueExW(h, name, 0, type, (const BYTE*)text.c_str(), size);
    RegCloseKey(h);
}

void SetNumber(LPCWSTR key, LPCWSTR name, DWORD value)
{
    HKEY h = CreateSubkey(key);
    ASSERT_TRUE(h);
    RegSetValueExW(h, name, 0, REG_DWORD, (const BYTE*)&value, sizeof(value));
    RegCloseKey(h);
}

void AddInstance(LPCWSTR key, LPCWSTR displayName, LPCWSTR email, DWORD repoNr)
{
    SetValue(key, NULL, REG_SZ, displayName);
    if (email)
        SetValue(key, L"RegEmail", REG_SZ, email);
    if (repoNr)
        SetNumber(key, L"RepoNr", repoNr);
}

std::wstring Stored(LPCWSTR key, LPCWSTR name)
{
    CString value;
    if (!ReadRegString(HKEY_CURRENT_USER, AppKeyPath(key), name, value))
        return L"<missing>";
    return value.GetString();
}

int StoredNumber(LPCWSTR key, LPCWSTR name)
{
    DWORD value = 0;
    return ReadRegDword(HKEY_CURRENT_USER, AppKeyPath(key), name, value) ? (int)value : -1;
}

std::vector<std::wstring> Subkeys()
{
    std::vector<std::wstring> out;
    HKEY h = NULL;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, AppKeyPath(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return out;
    wchar_t name[512];
    for (DWORD i = 0;; ++i) {
        DWORD len = 512;
        if (RegEnumKeyExW(h, i, name, &len, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        out.push_back(name);
    }
    RegCloseKey(h);
    return out;
}

ComboState ReadCombo(HWND dialog)
{
    ComboState state;
    HWND combo = Control(dialog, 1115);
    int count = (int)SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        int len = (int)SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
        std::wstring line(len > 0 ? len + 1 : 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, i, (LPARAM)&line[0]);
        line.resize(wcslen(line.c_str()));
        state.lines.push_back(line);
    }
    state.selection = (int)SendMessageW(combo, CB_GETCURSEL, 0, 0);
    return state;
}

INT_PTR RunSelectDialog(CInstanceList& list, const std::function<void(HWND)>& script, int* chosen)
{
    CInstanceSelectDlg dlg(list, NULL);
    return RunSelectDialog(dlg, script, chosen);
}

INT_PTR RunSelectDialog(CInstanceSelectDlg& dlg, const std::function<void(HWND)>& script, int* chosen)
{
    CWindowDriver driver([&] {
        HWND wnd = WaitForWindow(L"#32770", kSelectCaption);
        EXPECT_TRUE(wnd);
        if (!wnd)
            return;
        SendMessageW(wnd, WM_NULL, 0, 0);
        script(wnd);
    });
    INT_PTR result = dlg.DoModal();
    EXPECT_FALSE(driver.Join()) << "the dialog did not end as the script meant";
    if (chosen)
        *chosen = dlg.m_nSelected;
    return result;
}

CString ScreenshotFolder()
{
    wchar_t folder[MAX_PATH] = {0};
    GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", folder, MAX_PATH);
    return folder;
}

bool SaveShot(HWND window, LPCWSTR name)
{
    RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    SendMessageW(window, WM_NULL, 0, 0);
    return SaveWindowBitmap(window, ScreenshotFolder() + L"\\" + name) != FALSE;
}

} // namespace instance_test
