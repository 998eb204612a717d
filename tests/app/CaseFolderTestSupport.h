// The case folder commands driven in the main dialog over the test SQL
// server: cases 7 ("Kiss") and 8 ("Kiss" against "Nagy") of 2024, the
// documents root in a temporary folder, and what the test prefix's folder
// recorder was asked to open.
#pragma once
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include <vector>
#include "MainDialogTestSupport.h"
#include "TestSqlServer.h"
#include "foundation/XMessageBox.h"
#include "storage/UgyiratStore.h"
#include "support/WindowDriver.h"

namespace case_folder_test {

using namespace testing_support;

const wchar_t kDefaultPattern[] = L"[YEAR]\\[UgyfelNeve][ISNOTNULL_EN][EllenfelNeve] ([YEAR]#[NR])";

const wchar_t kWarning[] = L"Figyelmeztetés";
const wchar_t kQuestion[] = L"Nem létező könyvtár";
const wchar_t kTemplatesCaption[] = L"Dokumentum könyvtár megnyitása, sablon fájlok bemásolása";
const wchar_t kPickerTitle[] = L"A kapcsolódó dokumentumok könyvtárának keresése";
const int kList = 1005;

inline CString QuestionText(const CString& path)
{
    return L"Az alábbi könyvtár még nem létezik:!\n\n" + path +
           L"\n\nA továbblépéshez kérjük kattintson a\n\n- [Létrehozás] nyomógombra egy új, üres könyvtár "
           L"létrehozásához, ha\nnincsenek még ezen a gépen az iktatószámhoz kapcsolódó dokumentumok,\n\n- "
           L"[Létrehozás + Keresés] nyomógombra, ha már vannak az iktatószámhoz\nkapcsolódó dokumentumok és azokat "
           L"át akarja mozgatni a most létrehozandó\nkönyvtárba.\n\nHa nem kívánja a könyvtárat létrehozni, az "
           L"[Vissza] gombbal visszatérhet.\n";
}

inline bool IsFolder(const CString& path)
{
    DWORD a = GetFileAttributesW(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

inline bool IsFile(const CString& path)
{
    DWORD a = GetFileAttributesW(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// Removes a folder tree; the recorder started by an opening may still hold
// its working folder there for a moment.
inline bool RemoveFolderNow(const CString& path)
{
    return WaitUntil([&] {
        RemoveFolder(path);
        return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES;
    });
}

// A folder holding "a.txt" and "sub\b.txt".
inline void MakeDocuments(const CString& folder)
{
    ASSERT_EQ(SHCreateDirectoryExW(NULL, folder + L"\\sub", NULL), ERROR_SUCCESS);
    ASSERT_TRUE(WriteFileBytes(folder + L"\\a.txt", "a"));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\sub\\b.txt", "b"));
}

inline bool HoldsDocuments(const CString& folder)
{
    return IsFile(folder + L"\\a.txt") && IsFile(folder + L"\\sub\\b.txt");
}

inline bool IsEmptyFolder(const CString& folder)
{
    if (!IsFolder(folder))
        return false;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(folder + L"\\*", &data);
    bool empty = true;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(data.cFileName, L".") && wcscmp(data.cFileName, L".."))
                empty = false;
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    return empty;
}

inline int RowOf(HWND main, int nr)
{
    HWND list = Control(main, kList);
    int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < count; ++row) {
        WCHAR text[32] = {0};
        LVITEMW item = {};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = 32;
        SendMessageW(list, LVM_GETITEMTEXTW, (WPARAM)row, (LPARAM)&item);
        if (_wtoi(text) == nr)
            return row;
    }
    return -1;
}

inline void SelectCase(HWND main, int nr)
{
    int row = RowOf(main, nr);
    ASSERT_GE(row, 0);
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(Control(main, kList), LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&item);
}

inline void DoubleClickCase(HWND main, int nr)
{
    int row = RowOf(main, nr);
    ASSERT_GE(row, 0);
    HWND list = Control(main, kList);
    RECT r = {};
    r.left = LVIR_LABEL;
    SendMessageW(list, LVM_GETITEMRECT, (WPARAM)row, (LPARAM)&r);
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
}

inline void PostCommand(HWND main, int id)
{
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)Control(main, id));
}

// The text of the folder tree's selected item.
inline CString PickerSelection(HWND picker)
{
    HWND tree = FindWindowExW(picker, NULL, L"SysTreeView32", NULL);
    WCHAR text[MAX_PATH] = {0};
    TVITEMW tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    tv.pszText = text;
    tv.cchTextMax = MAX_PATH;
    if (tv.hItem)
        SendMessageW(tree, TVM_GETITEMW, 0, (LPARAM)&tv);
    return text;
}

// Chooses a folder in the picker as the user would: selects it, then OK.
inline void ChooseInPicker(HWND picker, const CString& folder)
{
    CString name = folder.Mid(folder.ReverseFind(L'\\') + 1);
    if (folder.GetLength() == 3)
        name.Empty();
    SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, (LPARAM)(LPCWSTR)folder);
    if (!name.IsEmpty()) {
        EXPECT_TRUE(WaitUntil([&] { return PickerSelection(picker) == name; })) << CStringA(folder).GetString();
    }
    HWND ok = Control(picker, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(ok) != FALSE; }));
    Click(ok);
    EXPECT_TRUE(WaitForWindowGone(picker));
}

class CaseFolderFixture : public main_dialog_test::MainDialogFixture
{
protected:
    void SetUp() override
    {
        MainDialogFixture::SetUp();
        OpenCentralRegister(server, {MakeRecord(2024, 7, L"Kiss", L""), MakeRecord(2024, 8, L"Kiss", L"Nagy")});
        CUgyiratStore* store = database->m_pStore;

        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        base = CString(temp) + L"folionex-casefolder";
        ASSERT_TRUE(RemoveFolderNow(base));
        root = base + L"\\Iratok";
        ASSERT_EQ(SHCreateDirectoryExW(NULL, root, NULL), ERROR_SUCCESS);
        store->DirRoot = root + L"\\";
        store->DirPath = kDefaultPattern;
        store->DirIsNotNullUN = L"";
        store->DirIsNotNull_EN = L" - ";
        folder7 = root + L"\\2024\\Kiss (2024#7)";
        folder8 = root + L"\\2024\\Kiss - Nagy (2024#8)";

        openLog = base + L"\\opened.txt";
        SetEnvironmentVariableW(L"FOLIONEX_FOLDER_OPEN_LOG", openLog);
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(L"FOLIONEX_FOLDER_OPEN_LOG", NULL);
        EXPECT_TRUE(RemoveFolderNow(base));
        MainDialogFixture::TearDown();
    }

    // Runs the main dialog modally while the script drives it; the dialog
    // is closed after the script.
    void Run(const std::function<void(HWND)>& script)
    {
        RunMainDialog([&](HWND main) {
            script(main);
            PostMessageW(main, WM_CLOSE, 0, 0);
        });
    }

    // The folders the recorder was asked to open, and the working folders.
    std::vector<std::wstring> Opened()
    {
        std::string bytes = ReadFileBytes(openLog);
        std::vector<std::wstring> lines;
        size_t start = 0;
        for (size_t i = 0; i < bytes.size(); ++i)
            if (bytes[i] == '\n') {
                std::string line = bytes.substr(start, i - start);
                int n = MultiByteToWideChar(CP_UTF8, 0, line.data(), (int)line.size(), NULL, 0);
                std::wstring w(n, L'\0');
                MultiByteToWideChar(CP_UTF8, 0, line.data(), (int)line.size(), &w[0], n);
                lines.push_back(w);
                start = i + 1;
            }
        return lines;
    }

    // Waits until the recorder has been asked to open the folder `times` times.
    bool WaitOpened(const CString& folder, size_t times = 1)
    {
        return WaitUntil([&] {
            std::vector<std::wstring> lines = Opened();
            size_t n = 0;
            for (size_t i = 0; i + 1 < lines.size(); i += 2)
                if (lines[i] == folder.GetString() && lines[i + 1] == folder.GetString())
                    ++n;
            return n >= times;
        }, 10000);
    }

    // The template dialog that comes before the folder opens: "Windows
    // Intéző megnyitása" opens the folder without copying.
    static void PassTemplates()
    {
        HWND templates = WaitForWindow(L"#32770", kTemplatesCaption);
        ASSERT_TRUE(templates);
        Click(Control(templates, 1068));
        EXPECT_TRUE(WaitForWindowGone(templates));
    }

    // Asks for the case's folder with the button and answers the question.
    void AnswerQuestion(HWND main, int nr, int button)
    {
        SelectCase(main, nr);
        PostCommand(main, 1009);
        HWND question = WaitForWindow(L"#32770", kQuestion);
        ASSERT_TRUE(question);
        Click(Control(question, button));
        EXPECT_TRUE(WaitForWindowGone(question));
    }

    // "Létrehozás + Keresés" for case 7; the picker is handed to act.
    void CreateAndFind(HWND main, const std::function<void(HWND)>& act)
    {
        AnswerQuestion(main, 7, IDNO);
        HWND picker = WaitForWindow(L"#32770", kPickerTitle);
        ASSERT_TRUE(picker);
        act(picker);
    }

    // Waits for a message box with this caption (null: any) holding the
    // text, and presses OK.
    static void Acknowledge(LPCWSTR caption, const CString& text)
    {
        HWND box = WaitForWindow(L"#32770", caption);
        ASSERT_TRUE(box);
        EXPECT_TRUE(ControlByText(box, text)) << CStringA(text).GetString();
        Click(Control(box, IDOK));
        EXPECT_TRUE(WaitForWindowGone(box));
    }

    // Waits for a warning whose text begins so, and presses OK.
    static void AcknowledgeWarning(const CString& beginning)
    {
        HWND box = WaitForWindow(L"#32770", kWarning);
        ASSERT_TRUE(box);
        bool found = false;
        for (HWND text : Children(box, L"Static"))
            found = found || Text(text).Left(beginning.GetLength()) == beginning;
        EXPECT_TRUE(found) << CStringA(beginning).GetString();
        Click(Control(box, IDOK));
        EXPECT_TRUE(WaitForWindowGone(box));
    }

    oledb_standin::CTestSqlServer server;
    CString base;
    CString root;
    CString folder7;
    CString folder8;
    CString openLog;
};

} // namespace case_folder_test
