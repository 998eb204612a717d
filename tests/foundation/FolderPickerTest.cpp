// The folder picker driven in-process: a driver thread finds the shell's
// browser by its title, selects a folder in it (BFFM_SETSELECTIONW) and
// presses OK or Cancel while this thread sits in the browser's modal loop.
#include "foundation/FolderPicker.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <string>
#include <commctrl.h>
#include "FolderPickerTestRes.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"

using namespace testing_support;

namespace {

const wchar_t kTitle[] = L"Mappa választása teszt";

// A fresh folder below %TEMP% with a few folders in it, removed at the end.
class FolderPickerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root = CString(temp) + L"folionex-picker";
        RemoveFolder(root);
        ASSERT_TRUE(CreateDirectoryW(root, NULL));
        ASSERT_TRUE(CreateDirectoryW(root + L"\\Első", NULL));
        ASSERT_TRUE(CreateDirectoryW(root + L"\\Második", NULL));
    }

    void TearDown() override
    {
        RemoveFolder(root);
        CoUninitialize();
    }

    // Runs the picker while the script drives the browser found by its title.
    bool Browse(LPCWSTR initial, const std::function<void(HWND)>& script, LPCWSTR title = kTitle,
                bool editBox = false, int length = 1023)
    {
        CWindowDriver driver([&] {
            HWND browser = WaitForWindow(L"#32770", title);
            ASSERT_TRUE(browser) << "no folder browser";
            script(browser);
        });
        bool chosen = BrowseForFolder(NULL, initial, -1, title, buffer, length, editBox);
        EXPECT_FALSE(driver.Join()) << "the watchdog had to end the browser";
        return chosen;
    }

    // Selects the folder and waits until the tree shows it selected: Wine's
    // browser may still be applying its initial selection when it appears.
    static void Select(HWND browser, const CString& path)
    {
        HWND tree = FindWindowExW(browser, NULL, L"SysTreeView32", NULL);
        CString name = path.Mid(path.ReverseFind(L'\\') + 1);
        EXPECT_TRUE(WaitUntil([&] {
            SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, (LPARAM)(LPCWSTR)path);
            WCHAR text[MAX_PATH] = {0};
            TVITEMW item = {};
            item.mask = TVIF_TEXT;
            item.hItem = (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
            item.pszText = text;
            item.cchTextMax = MAX_PATH;
            return item.hItem && SendMessageW(tree, TVM_GETITEMW, 0, (LPARAM)&item) && name == text;
        })) << "the tree did not keep the selection";
    }

    // OK once the browser enables it (it may follow the selection a little later).
    static void PressOk(HWND browser)
    {
        HWND ok = Control(browser, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(ok) != FALSE; }));
        Click(ok);
        EXPECT_TRUE(WaitForWindowGone(browser));
    }

    CString root;
    WCHAR buffer[1024];
};

TEST_F(FolderPickerTest, ARefusedBufferShowsNothing)
{
    WCHAR small[300];
    wcscpy(small, L"marad");
    EXPECT_FALSE(BrowseForFolder(NULL, root, -1, kTitle, small, 259, false));
    EXPECT_STREQ(small, L"marad");
    EXPECT_FALSE(BrowseForFolder(NULL, root, -1, kTitle, NULL, 1023, false));
    EXPECT_FALSE(FindTopWindow(L"#32770", kTitle));
}

TEST_F(FolderPickerTest, OkAtOnceGivesTheInitialFolder)
{
    CString initial = root + L"\\Első";
    EXPECT_TRUE(Browse(initial, [&](HWND browser) { PressOk(browser); }));
    EXPECT_EQ(CString(buffer), initial);
}

TEST_F(FolderPickerTest, ASelectedFolderComesBack)
{
    EXPECT_TRUE(Browse(root + L"\\Első", [&](HWND browser) {
        Select(browser, root + L"\\Második");
        PressOk(browser);
    }));
    EXPECT_EQ(CString(buffer), root + L"\\Második");
}

TEST_F(FolderPickerTest, WithoutAnInitialFolderTheDesktopRootStartsAtTheCurrentDirectory)
{
    WCHAR kept[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, kept);
    ASSERT_TRUE(SetCurrentDirectoryW(root + L"\\Második"));
    bool chosen = Browse(NULL, [&](HWND browser) { PressOk(browser); });
    SetCurrentDirectoryW(kept);
    EXPECT_TRUE(chosen);
    EXPECT_EQ(CString(buffer), root + L"\\Második");
}

TEST_F(FolderPickerTest, CancelGivesFalseAndAnEmptyBuffer)
{
    wcscpy(buffer, L"régi tartalom");
    EXPECT_FALSE(Browse(root, [&](HWND browser) {
        Click(Control(browser, IDCANCEL));
        EXPECT_TRUE(WaitForWindowGone(browser));
    }));
    EXPECT_STREQ(buffer, L"");
}

TEST_F(FolderPickerTest, AFolderShortcutLeavesOkDisabled)
{
    CString link = root + L"\\Parancsikon.lnk";
    IShellLinkW* shellLink = NULL;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                           (void**)&shellLink)));
    shellLink->SetPath(root + L"\\Első");
    IPersistFile* file = NULL;
    ASSERT_TRUE(SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, (void**)&file)));
    ASSERT_TRUE(SUCCEEDED(file->Save(link, TRUE)));
    file->Release();
    shellLink->Release();

    // Wine's tree lists folders only, so the browser's callback is called
    // as the browser calls it when the shortcut's item becomes the selection;
    // a virtual item without a path (the computer) is selected in the tree.
    bool linkDisablesOk = false, virtualDisablesOk = false;
    EXPECT_FALSE(Browse(root, [&](HWND browser) {
        HWND ok = Control(browser, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(ok) != FALSE; }));
        LPITEMIDLIST item = NULL;
        ASSERT_TRUE(SUCCEEDED(SHParseDisplayName(link, NULL, &item, 0, NULL)));
        BrowseForFolderCallback(browser, BFFM_SELCHANGED, (LPARAM)item, 0);
        linkDisablesOk = IsWindowEnabled(ok) == FALSE;
        CoTaskMemFree(item);
        Click(Control(browser, IDCANCEL));
        EXPECT_TRUE(WaitForWindowGone(browser));
    }));
    EXPECT_FALSE(Browse(root, [&](HWND browser) {
        HWND ok = Control(browser, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(ok) != FALSE; }));
        LPITEMIDLIST computer = NULL;
        ASSERT_TRUE(SUCCEEDED(SHGetSpecialFolderLocation(NULL, CSIDL_DRIVES, &computer)));
        SendMessageW(browser, BFFM_SETSELECTIONW, FALSE, (LPARAM)computer);
        virtualDisablesOk = WaitUntil([&] { return IsWindowEnabled(ok) == FALSE; }, 3000);
        CoTaskMemFree(computer);
        Click(Control(browser, IDCANCEL));
        EXPECT_TRUE(WaitForWindowGone(browser));
    }));
    EXPECT_TRUE(linkDisablesOk);
    EXPECT_TRUE(virtualDisablesOk);
}

// The browser's own size and children, without the callback.
struct BrowserShape
{
    RECT window;
    RECT ok;
    RECT cancel;
};

TEST_F(FolderPickerTest, TheWindowIsReLaidWithoutContextHelp)
{
    BrowserShape plain = {};
    {
        CWindowDriver driver([&] {
            HWND browser = WaitForWindow(L"#32770", NULL);
            ASSERT_TRUE(browser);
            GetWindowRect(browser, &plain.window);
            plain.ok = RectInParent(Control(browser, IDOK));
            plain.cancel = RectInParent(Control(browser, IDCANCEL));
            Click(Control(browser, IDCANCEL));
            EXPECT_TRUE(WaitForWindowGone(browser));
        });
        BROWSEINFOW info = {};
        info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NONEWFOLDERBUTTON;
        LPITEMIDLIST item = SHBrowseForFolderW(&info);
        EXPECT_FALSE(item);
        EXPECT_FALSE(driver.Join());
    }

    EXPECT_FALSE(Browse(root, [&](HWND browser) {
        RECT window, client;
        GetWindowRect(browser, &window);
        GetClientRect(browser, &client);
        EXPECT_EQ(window.right - window.left, plain.window.right - plain.window.left + 80);
        EXPECT_EQ(window.bottom - window.top, plain.window.bottom - plain.window.top + 80);
        EXPECT_FALSE(GetWindowLongW(browser, GWL_STYLE) & DS_CONTEXTHELP);
        EXPECT_FALSE(GetWindowLongW(browser, GWL_EXSTYLE) & WS_EX_CONTEXTHELP);

        RECT cancel = RectInParent(Control(browser, IDCANCEL));
        RECT ok = RectInParent(Control(browser, IDOK));
        EXPECT_EQ(cancel.right, client.right - 10);
        EXPECT_EQ(cancel.bottom, client.bottom - 10);
        EXPECT_EQ(cancel.right - cancel.left, plain.cancel.right - plain.cancel.left);
        EXPECT_EQ(cancel.bottom - cancel.top, plain.cancel.bottom - plain.cancel.top);
        EXPECT_EQ(ok.right, cancel.left - 10);
        EXPECT_EQ(ok.top, cancel.top);
        EXPECT_EQ(ok.right - ok.left, cancel.right - cancel.left);

        HWND tree = FindWindowExW(browser, NULL, L"SysTreeView32", NULL);
        ASSERT_TRUE(tree);
        RECT t = RectInParent(tree);
        EXPECT_EQ(t.left, 10);
        EXPECT_EQ(t.top, 10);
        EXPECT_EQ(t.right, client.right - 10);
        EXPECT_EQ(t.bottom, ok.top - 10);

        // An edit box that was not asked for is out of sight.
        HWND edit = FindWindowExW(browser, NULL, L"Edit", NULL);
        if (edit) {
            EXPECT_FALSE(IsWindowVisible(edit));
            EXPECT_EQ(RectInParent(edit).left, 20000);
        }
        Click(Control(browser, IDCANCEL));
        EXPECT_TRUE(WaitForWindowGone(browser));
    }));
}

TEST_F(FolderPickerTest, AnAskedEditBoxStandsAboveTheTree)
{
    EXPECT_FALSE(Browse(
        root,
        [&](HWND browser) {
            HWND edit = FindWindowExW(browser, NULL, L"Edit", NULL);
            HWND tree = FindWindowExW(browser, NULL, L"SysTreeView32", NULL);
            ASSERT_TRUE(tree);
            RECT client;
            GetClientRect(browser, &client);
            RECT t = RectInParent(tree);
            if (edit) {
                RECT e = RectInParent(edit);
                EXPECT_TRUE(IsWindowVisible(edit));
                EXPECT_EQ(e.left, 10);
                EXPECT_EQ(e.top, 10);
                EXPECT_EQ(e.right, client.right - 10);
                EXPECT_EQ(t.top, e.bottom + 5);
            } else {
                EXPECT_EQ(t.top, 10);
            }
            Click(Control(browser, IDCANCEL));
            EXPECT_TRUE(WaitForWindowGone(browser));
        },
        kTitle, true));
}

// ---------------------------------------------------------------------------
// The layout on a fixture dialog with an edit box, which Wine's browser does
// not have.

INT_PTR CALLBACK FixtureProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

TEST(FolderPickerLayout, TheEditBoxStandsAboveTheTreeAndTheButtonsBelow)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    struct Case
    {
        const char* what;
        bool editBox, newDialogStyle;
        int margin;
    } cases[] = {
        {"with the edit box", true, false, 10},
        {"without it", false, false, 10},
        {"with the edit box, new dialog style", true, true, GetSystemMetrics(SM_CXVSCROLL)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HWND dlg = CreateDialogParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_PICKER_FIXTURE), NULL,
                                      FixtureProc, 0);
        ASSERT_TRUE(dlg);
        HWND edit = Control(dlg, IDC_PICKER_EDIT), tree = Control(dlg, IDC_PICKER_TREE);
        RECT before, editBefore;
        GetWindowRect(dlg, &before);
        GetWindowRect(edit, &editBefore);
        const int editHeight = editBefore.bottom - editBefore.top;
        const RECT cancelBefore = RectInParent(Control(dlg, IDCANCEL));

        BrowseForFolderRelayout(dlg, c.editBox, c.newDialogStyle);

        RECT window, client;
        GetWindowRect(dlg, &window);
        GetClientRect(dlg, &client);
        const int m = c.margin;
        EXPECT_EQ(window.right - window.left, before.right - before.left + 80);
        EXPECT_EQ(window.bottom - window.top, before.bottom - before.top + (c.editBox ? editHeight + 85 : 80));

        RECT cancel = RectInParent(Control(dlg, IDCANCEL)), ok = RectInParent(Control(dlg, IDOK));
        EXPECT_EQ(cancel.right, client.right - m);
        EXPECT_EQ(cancel.bottom, client.bottom - 10);
        EXPECT_EQ(cancel.right - cancel.left, cancelBefore.right - cancelBefore.left);
        EXPECT_EQ(cancel.bottom - cancel.top, cancelBefore.bottom - cancelBefore.top);
        EXPECT_EQ(ok.right, cancel.left - 10);
        EXPECT_EQ(ok.top, cancel.top);
        EXPECT_EQ(ok.right - ok.left, cancel.right - cancel.left);
        EXPECT_EQ(ok.bottom - ok.top, cancel.bottom - cancel.top);

        RECT e = RectInParent(edit), t = RectInParent(tree);
        if (c.editBox) {
            EXPECT_TRUE(GetWindowLongW(edit, GWL_STYLE) & WS_VISIBLE);
            EXPECT_EQ(e.left, m);
            EXPECT_EQ(e.top, 10);
            EXPECT_EQ(e.right, client.right - m);
            EXPECT_EQ(e.bottom - e.top, editHeight);
            EXPECT_EQ(t.top, e.bottom + 5);
        } else {
            EXPECT_FALSE(GetWindowLongW(edit, GWL_STYLE) & WS_VISIBLE);
            EXPECT_EQ(e.left, 20000);
            EXPECT_EQ(e.top, 20000);
            EXPECT_EQ(e.right - e.left, 10);
            EXPECT_EQ(e.bottom - e.top, 10);
            EXPECT_EQ(t.top, 10);
        }
        EXPECT_EQ(t.left, m);
        EXPECT_EQ(t.right, client.right - m);
        EXPECT_EQ(t.bottom, ok.top - 10);
        DestroyWindow(dlg);
    }
}

// A picture for the documentation: FOLIONEX_SCREENSHOTS names a folder.
TEST_F(FolderPickerTest, Screenshot)
{
    wchar_t folder[MAX_PATH] = {0};
    if (!GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", folder, MAX_PATH))
        GTEST_SKIP() << "FOLIONEX_SCREENSHOTS is not set";
    CString dir(folder);
    const wchar_t title[] = L"A kapcsolódó dokumentumok könyvtárának keresése";
    EXPECT_FALSE(Browse(
        root + L"\\Első",
        [&](HWND browser) {
            HWND ok = Control(browser, IDOK);
            ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(ok) != FALSE; }));
            RedrawWindow(browser, NULL, NULL, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            EXPECT_TRUE(SaveWindowBitmap(browser, dir + L"\\folder-picker.bmp"));
            Click(Control(browser, IDCANCEL));
        },
        title));
}

} // namespace
