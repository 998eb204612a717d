#include "foundation/FolderPicker.h"
#include <shlobj.h>
#include <commctrl.h>
#include <shellapi.h>
#include <io.h>
#include <string.h>
#include <wchar.h>

namespace {

const int kPathBuffer = 520;
const int kInitialTaken = 518;
const int kMinimumBuffer = 260;
const int kGrow = 80;
const int kGrowBelowEdit = 85;
const int kMargin = 10;
const int kEditGap = 5;

// What the callback needs of one BrowseForFolder call.
struct BrowseState
{
    WCHAR initial[kPathBuffer];
    LPCWSTR title;
    bool editBox;
};

// An existing file-system folder or file that is not a shortcut.
bool IsUsableItem(LPCITEMIDLIST item)
{
    WCHAR path[kPathBuffer] = {0};
    if (!item || !SHGetPathFromIDListW(item, path) || !path[0] || _waccess(path, 0) != 0)
        return false;
    SHFILEINFOW info;
    memset(&info, 0, sizeof(info));
    if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(item), 0, &info, sizeof(info), SHGFI_PIDL | SHGFI_ATTRIBUTES))
        return (info.dwAttributes & SFGAO_LINK) == 0;
    return true;
}

RECT WindowRectIn(HWND parent, HWND child)
{
    RECT rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(NULL, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

} // namespace

void BrowseForFolderRelayout(HWND hwnd, bool editBox, bool newDialogStyle)
{
    HWND tree = ::FindWindowExW(hwnd, NULL, L"SysTreeView32", NULL);
    if (!tree)
        tree = ::FindWindowExW(hwnd, NULL, L"SHBrowseForFolder ShellNameSpace Control", NULL);
    if (!tree)
        return;
    HWND edit = ::FindWindowExW(hwnd, NULL, L"Edit", NULL);
    const bool showEdit = editBox && edit;

    RECT window;
    ::GetWindowRect(hwnd, &window);
    int growHeight = kGrow;
    int editHeight = 0;
    if (showEdit) {
        RECT r;
        ::GetWindowRect(edit, &r);
        editHeight = r.bottom - r.top;
        growHeight = editHeight + kGrowBelowEdit;
    }
    ::SetWindowPos(hwnd, NULL, 0, 0, window.right - window.left + kGrow, window.bottom - window.top + growHeight,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (edit && !editBox) {
        ::MoveWindow(edit, 20000, 20000, 10, 10, FALSE);
        ::ShowWindow(edit, SW_HIDE);
    }

    const int m = newDialogStyle ? ::GetSystemMetrics(SM_CXVSCROLL) : kMargin;
    RECT client;
    ::GetClientRect(hwnd, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;

    HWND cancel = ::GetDlgItem(hwnd, IDCANCEL);
    HWND ok = ::GetDlgItem(hwnd, IDOK);
    RECT cancelRect = {width - m, height - kMargin, width - m, height - kMargin};
    if (cancel) {
        RECT r = WindowRectIn(hwnd, cancel);
        int w = r.right - r.left;
        int h = r.bottom - r.top;
        cancelRect = {width - m - w, height - kMargin - h, width - m, height - kMargin};
        ::MoveWindow(cancel, cancelRect.left, cancelRect.top, w, h, TRUE);
    }
    int okTop = cancelRect.top;
    if (ok) {
        int w = cancelRect.right - cancelRect.left;
        int h = cancelRect.bottom - cancelRect.top;
        ::MoveWindow(ok, cancelRect.left - kMargin - w, cancelRect.top, w, h, TRUE);
    }

    int treeTop = kMargin;
    if (showEdit) {
        ::MoveWindow(edit, m, kMargin, width - 2 * m, editHeight, TRUE);
        treeTop = kMargin + editHeight + kEditGap;
    }
    ::MoveWindow(tree, m, treeTop, width - 2 * m, okTop - kMargin - treeTop, TRUE);
}

int CALLBACK BrowseForFolderCallback(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData)
{
    const BrowseState* state = reinterpret_cast<const BrowseState*>(lpData);
    if (uMsg == BFFM_INITIALIZED) {
        LONG style = ::GetWindowLongW(hwnd, GWL_STYLE);
        ::SetWindowLongW(hwnd, GWL_STYLE, style & ~DS_CONTEXTHELP);
        LONG exStyle = ::GetWindowLongW(hwnd, GWL_EXSTYLE);
        ::SetWindowLongW(hwnd, GWL_EXSTYLE, exStyle & ~WS_EX_CONTEXTHELP);
        ::SetWindowPos(hwnd, NULL, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        if (state && state->initial[0]) {
            ::SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(state->initial));
            // Some shells fill the tree while the first selection walks it
            // and end with nothing selected; the second walk finds it.
            HWND tree = ::FindWindowExW(hwnd, NULL, L"SysTreeView32", NULL);
            if (tree && !::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0))
                ::SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(state->initial));
        }
        if (state && state->title && state->title[0])
            ::SetWindowTextW(hwnd, state->title);
        BrowseForFolderRelayout(hwnd, state && state->editBox);
    } else if (uMsg == BFFM_SELCHANGED) {
        if (!IsUsableItem(reinterpret_cast<LPCITEMIDLIST>(lParam)))
            ::EnableWindow(::GetDlgItem(hwnd, IDOK), FALSE);
    }
    return 0;
}

bool BrowseForFolder(HWND owner, LPCWSTR initial, int root, LPCWSTR title, LPWSTR buffer, int length,
                     bool editBox)
{
    if (!buffer || length < kMinimumBuffer)
        return false;
    wmemset(buffer, 0, (size_t)length);

    LPITEMIDLIST rootItem = NULL;
    if (root != -1 && FAILED(SHGetSpecialFolderLocation(owner, root, &rootItem)))
        rootItem = NULL;

    BrowseState state;
    wmemset(state.initial, 0, kPathBuffer);
    state.title = title;
    state.editBox = editBox;
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(initial);
    if (value > 0xFFFF)
        wcsncpy(state.initial, initial, kInitialTaken);
    else if (value != 0 && !SHGetSpecialFolderPathW(owner, state.initial, (int)LOWORD(value), HIWORD(value) != 0))
        state.initial[0] = 0;
    if (!state.initial[0] && !rootItem)
        ::GetCurrentDirectoryW(kPathBuffer, state.initial);

    BROWSEINFOW info;
    memset(&info, 0, sizeof(info));
    info.hwndOwner = owner;
    info.pidlRoot = rootItem;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NONEWFOLDERBUTTON | (editBox ? BIF_EDITBOX : 0);
    info.lpfn = BrowseForFolderCallback;
    info.lParam = reinterpret_cast<LPARAM>(&state);
    LPITEMIDLIST chosen = SHBrowseForFolderW(&info);

    bool result = false;
    if (chosen) {
        WCHAR path[kPathBuffer] = {0};
        if (SHGetPathFromIDListW(chosen, path) && path[0]) {
            lstrcpynW(buffer, path, length);
            result = true;
        }
    }

    IMalloc* allocator = NULL;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
        if (chosen)
            allocator->Free(chosen);
        if (rootItem)
            allocator->Free(rootItem);
        allocator->Release();
    }
    return result;
}
