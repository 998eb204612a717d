// Registry fixtures of the test program's application key and a driven run
// of the instance selection dialog, for the instance tests.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include "app/InstanceList.h"
#include "app/InstanceSelectDlg.h"
#include "support/WindowDriver.h"

namespace instance_test {

extern const wchar_t kSelectCaption[];
extern const wchar_t kAccountCaption[];

// HKCU\Software\Orvane\<test program>[\sub].
CString AppKeyPath(LPCWSTR sub = NULL);
// A value of a subkey of the application key (created when missing); bytes
// -1: the text with its terminator.
void SetValue(LPCWSTR key, LPCWSTR name, DWORD type, const std::wstring& text, int bytes = -1);
void SetNumber(LPCWSTR key, LPCWSTR name, DWORD value);
// A subkey with display name, e-mail (when not null) and RepoNr (when not 0).
void AddInstance(LPCWSTR key, LPCWSTR displayName, LPCWSTR email = NULL, DWORD repoNr = 0);
// A text value as stored; "<missing>" when there is none.
std::wstring Stored(LPCWSTR key, LPCWSTR name);
// RepoNr as stored, or -1.
int StoredNumber(LPCWSTR key, LPCWSTR name);
// The subkeys of the application key in the registry's order.
std::vector<std::wstring> Subkeys();

// The combo's lines and selection of the selection dialog.
struct ComboState
{
    std::vector<std::wstring> lines;
    int selection = -2;
};
ComboState ReadCombo(HWND dialog);

// Runs the selection dialog on the list while the script acts on its window
// from the driver thread; the dialog's result, and the chosen index.
INT_PTR RunSelectDialog(CInstanceList& list, const std::function<void(HWND)>& script, int* chosen = NULL);
// The same with a dialog of the caller's.
INT_PTR RunSelectDialog(CInstanceSelectDlg& dlg, const std::function<void(HWND)>& script, int* chosen = NULL);

// The screenshot folder named by FOLIONEX_SCREENSHOTS, or empty.
CString ScreenshotFolder();
// Paints the window now and saves it as folder\name.
bool SaveShot(HWND window, LPCWSTR name);

} // namespace instance_test
