// The case document folder commands: the folder path of a case as a table,
// and the main dialog run modally over the test SQL server with the
// documents root in a temporary folder, driven as a user would (double
// click, menu, Alt+K, the question, the folder picker). What the shell was
// asked to open is what the test prefix's folder recorder wrote down.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include <vector>
#include "MainDialogTestSupport.h"
#include "TestSqlServer.h"
#include "foundation/XMessageBox.h"
#include "storage/UgyiratStore.h"
#include "support/WindowDriver.h"

namespace {

using namespace testing_support;

// ---------------------------------------------------------------------------
// The folder path

struct PathCase
{
    const wchar_t* what;
    const wchar_t* pattern;
    const wchar_t* notNullUN;
    const wchar_t* notNullEN;
    const wchar_t* nr;
    const wchar_t* client;
    const wchar_t* other;
    const wchar_t* below;  // the path below the root
};

const wchar_t kDefaultPattern[] = L"[YEAR]\\[UgyfelNeve][ISNOTNULL_EN][EllenfelNeve] ([YEAR]#[NR])";

const PathCase kPathCases[] = {
    {L"no opposing party", kDefaultPattern, L"", L" - ", L"7", L"Kiss", L"", L"2024\\Kiss (2024#7)"},
    {L"with an opposing party", kDefaultPattern, L"", L" - ", L"7", L"Kiss", L"Nagy", L"2024\\Kiss - Nagy (2024#7)"},
    {L"client text", L"[ISNOTNULL_UN][UgyfelNeve]\\[NR]", L"Ü-", L" - ", L"7", L"Kiss", L"", L"Ü-Kiss\\7"},
    {L"no client", L"[ISNOTNULL_UN][UgyfelNeve]\\[NR]", L"Ü-", L" - ", L"7", L"", L"Nagy", L"_\\7"},
    {L"backslash", kDefaultPattern, L"", L" - ", L"7", L"A\\B", L"", L"2024\\A_B (2024#7)"},
    {L"slash", kDefaultPattern, L"", L" - ", L"7", L"A/B", L"", L"2024\\A_B (2024#7)"},
    {L"colon", kDefaultPattern, L"", L" - ", L"7", L"C:B", L"", L"2024\\C_B (2024#7)"},
    {L"star", kDefaultPattern, L"", L" - ", L"7", L"A*B", L"", L"2024\\A_B (2024#7)"},
    {L"question mark", kDefaultPattern, L"", L" - ", L"7", L"A?B", L"", L"2024\\A_B (2024#7)"},
    {L"quote", kDefaultPattern, L"", L" - ", L"7", L"A\"B", L"", L"2024\\A_B (2024#7)"},
    {L"less", kDefaultPattern, L"", L" - ", L"7", L"A<B", L"", L"2024\\A_B (2024#7)"},
    {L"greater", kDefaultPattern, L"", L" - ", L"7", L"A>B", L"", L"2024\\A_B (2024#7)"},
    {L"bar", kDefaultPattern, L"", L" - ", L"7", L"A|B", L"", L"2024\\A_B (2024#7)"},
    {L"control characters", kDefaultPattern, L"", L" - ", L"7", L"A\tB\x1F", L"", L"2024\\A_B_ (2024#7)"},
    {L"climbing out", kDefaultPattern, L"", L" - ", L"7", L"..\\..\\x", L"", L"2024\\.._.._x (2024#7)"},
    {L"climbing out by name", L"[YEAR]\\[UgyfelNeve]", L"", L" - ", L"7", L"..", L"", L"2024\\_"},
    {L"trailing dots and blanks", L"[YEAR]\\[UgyfelNeve]", L"", L" - ", L"7", L"Kiss Kft. . ", L"",
     L"2024\\Kiss Kft"},
    {L"only a dot", L"[UgyfelNeve]\\[NR]", L"", L" - ", L"7", L".", L"", L"_\\7"},
    {L"device", L"[YEAR]\\[UgyfelNeve]", L"", L" - ", L"7", L"con", L"", L"2024\\_con"},
    {L"device with extension", L"[YEAR]\\[UgyfelNeve]", L"", L" - ", L"7", L"LPT1.txt", L"", L"2024\\_LPT1.txt"},
    {L"com9", L"[YEAR]\\[UgyfelNeve]", L"", L" - ", L"7", L"Com9", L"", L"2024\\_Com9"},
    {L"not a device", L"[YEAR]\\[UgyfelNeve]", L"", L" - ", L"7", L"CONSOLE", L"", L"2024\\CONSOLE"},
    {L"placeholder in a name", kDefaultPattern, L"", L" - ", L"7", L"[EllenfelNeve] Kft", L"Nagy",
     L"2024\\[EllenfelNeve] Kft - Nagy (2024#7)"},
};

TEST(CaseFolderPathTest, PlaceholdersAndUnsafeNames)
{
    const CString root = L"C:\\Iratok\\";
    for (const PathCase& c : kPathCases) {
        CString path = CVelindoDlg::ExpandCaseFolderPath(root, c.pattern, c.notNullUN, c.notNullEN, c.nr, L"2024",
                                                         c.client, c.other);
        EXPECT_EQ(path, root + c.below) << CStringA(c.what).GetString();
    }
}

// ---------------------------------------------------------------------------
// The commands in the main dialog

const wchar_t kWarning[] = L"Figyelmeztetés";
const wchar_t kQuestion[] = L"Nem létező könyvtár";
const wchar_t kTemplatesCaption[] = L"Dokumentum könyvtár megnyitása, sablon fájlok bemásolása";
const wchar_t kPickerTitle[] = L"A kapcsolódó dokumentumok könyvtárának keresése";
const int kList = 1005;

CString QuestionText(const CString& path)
{
    return L"Az alábbi könyvtár még nem létezik:!\n\n" + path +
           L"\n\nA továbblépéshez kérjük kattintson a\n\n- [Létrehozás] nyomógombra egy új, üres könyvtár "
           L"létrehozásához, ha\nnincsenek még ezen a gépen az iktatószámhoz kapcsolódó dokumentumok,\n\n- "
           L"[Létrehozás + Keresés] nyomógombra, ha már vannak az iktatószámhoz\nkapcsolódó dokumentumok és azokat "
           L"át akarja mozgatni a most létrehozandó\nkönyvtárba.\n\nHa nem kívánja a könyvtárat létrehozni, az "
           L"[Vissza] gombbal visszatérhet.\n";
}

bool IsFolder(const CString& path)
{
    DWORD a = GetFileAttributesW(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const CString& path)
{
    DWORD a = GetFileAttributesW(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// Removes a folder tree; the recorder started by an opening may still hold
// its working folder there for a moment.
bool RemoveFolderNow(const CString& path)
{
    return WaitUntil([&] {
        RemoveFolder(path);
        return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES;
    });
}

// A folder holding "a.txt" and "sub\b.txt".
void MakeDocuments(const CString& folder)
{
    ASSERT_EQ(SHCreateDirectoryExW(NULL, folder + L"\\sub", NULL), ERROR_SUCCESS);
    ASSERT_TRUE(WriteFileBytes(folder + L"\\a.txt", "a"));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\sub\\b.txt", "b"));
}

bool HoldsDocuments(const CString& folder)
{
    return IsFile(folder + L"\\a.txt") && IsFile(folder + L"\\sub\\b.txt");
}

bool IsEmptyFolder(const CString& folder)
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

int RowOf(HWND main, int nr)
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

void SelectCase(HWND main, int nr)
{
    int row = RowOf(main, nr);
    ASSERT_GE(row, 0);
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(Control(main, kList), LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&item);
}

void DoubleClickCase(HWND main, int nr)
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

void PostCommand(HWND main, int id)
{
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)Control(main, id));
}

// The text of the folder tree's selected item.
CString PickerSelection(HWND picker)
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
void ChooseInPicker(HWND picker, const CString& folder)
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

class CaseFolderTest : public main_dialog_test::MainDialogFixture
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

TEST_F(CaseFolderTest, WithoutASelectionBothCommandsRefuse)
{
    Run([&](HWND main) {
        for (int id : {32776, 1009}) {
            PostCommand(main, id);
            Acknowledge(kWarning, L"Nincs semmi kiválasztva!");
        }
    });
    EXPECT_FALSE(IsFolder(root + L"\\2024"));
    EXPECT_FALSE(FileExists(openLog));
}

TEST_F(CaseFolderTest, AnExistingFolderOpensByDoubleClickMenuAndAltK)
{
    ASSERT_EQ(SHCreateDirectoryExW(NULL, folder8, NULL), ERROR_SUCCESS);
    Run([&](HWND main) {
        DoubleClickCase(main, 8);
        EXPECT_TRUE(WaitOpened(folder8, 1));
        PostCommand(main, 32776);
        EXPECT_TRUE(WaitOpened(folder8, 2));
        PostMessageW(main, WM_HOTKEY, 32776, MAKELPARAM(MOD_ALT, 'K'));
        EXPECT_TRUE(WaitOpened(folder8, 3));
        EXPECT_FALSE(FindTopWindow(L"#32770", kQuestion));
    });
    EXPECT_FALSE(LogHas(L"Show popup CSablonDlg"));
}

TEST_F(CaseFolderTest, TheQuestionForAMissingFolder)
{
    wchar_t shots[MAX_PATH] = {0};
    bool screenshot = GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", shots, MAX_PATH) != 0;
    DWORD ui = GetCurrentThreadId();
    Run([&](HWND main) {
        // "Vissza", then Esc: nothing is made.
        for (int round = 0; round < 2; ++round) {
            DoubleClickCase(main, 7);
            HWND question = WaitForWindow(L"#32770", kQuestion);
            ASSERT_TRUE(question);
            EXPECT_EQ(Text(Control(question, XMB_IDMESSAGE)), QuestionText(folder7));
            EXPECT_EQ(Text(Control(question, IDYES)), CString(L"Létrehozás"));
            EXPECT_EQ(Text(Control(question, IDNO)), CString(L"Létrehozás + Keresés"));
            EXPECT_EQ(Text(Control(question, IDCANCEL)), CString(L"Vissza"));
            EXPECT_EQ(GetWindow(question, GW_OWNER), main);
            if (round == 0) {
                if (screenshot) {
                    EXPECT_TRUE(SaveWindowBitmap(question, CString(shots) + L"\\case-folder-question.bmp"));
                }
                Click(Control(question, IDCANCEL));
            } else {
                HWND focus = FocusOf(ui);
                PressKey(focus ? focus : question, VK_ESCAPE);
            }
            EXPECT_TRUE(WaitForWindowGone(question));
        }
    });
    EXPECT_FALSE(IsFolder(root + L"\\2024"));
    EXPECT_FALSE(FileExists(openLog));
    EXPECT_FALSE(LogHas(L"Show popup CSablonDlg"));
}

TEST_F(CaseFolderTest, CreateMakesTheParentsAndOpensTheFolder)
{
    Run([&](HWND main) {
        AnswerQuestion(main, 7, IDYES);
        PassTemplates();
        EXPECT_TRUE(WaitOpened(folder7));
    });
    EXPECT_TRUE(IsEmptyFolder(folder7));
    EXPECT_TRUE(LogHas(L"Show popup CSablonDlg"));
}

TEST_F(CaseFolderTest, AFileInTheWayIsReportedAndNothingOpens)
{
    ASSERT_TRUE(WriteFileBytes(root + L"\\2024", "nem könyvtár"));
    Run([&](HWND main) {
        AnswerQuestion(main, 7, IDYES);
        Acknowledge(NULL, L"Az útvonal létrehozása nem sikerült!\n\n" + folder7);
    });
    EXPECT_TRUE(IsFile(root + L"\\2024"));
    EXPECT_FALSE(FileExists(openLog));
    EXPECT_FALSE(LogHas(L"Show popup CSablonDlg"));
}

// "Létrehozás + Keresés" and a folder chosen in the picker.
struct FindCase
{
    const char* what;
    const wchar_t* source;  // below the base folder; documents are made in it
    bool renamed;           // the source itself became the case folder
};

const FindCase kFindCases[] = {
    {"beside the new folder", L"Iratok\\2024\\Kiss régi", true},
    {"elsewhere", L"Máshol\\Iratok", false},
    {"below a sibling of the parent", L"Iratok\\2024-régi\\x", false},
    {"deeper below the parent", L"Iratok\\2024\\Régiek\\Kiss", false},
};

TEST_F(CaseFolderTest, CreateAndFindMovesTheDocuments)
{
    for (const FindCase& c : kFindCases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(RemoveFolderNow(root + L"\\2024"));
        DeleteFileW(openLog);
        CString source = base + L"\\" + c.source;
        MakeDocuments(source);
        Run([&](HWND main) {
            CreateAndFind(main, [&](HWND picker) { ChooseInPicker(picker, source); });
            PassTemplates();
            EXPECT_TRUE(WaitOpened(folder7));
        });
        EXPECT_TRUE(HoldsDocuments(folder7));
        if (c.renamed) {
            EXPECT_FALSE(IsFolder(source));
        } else {
            EXPECT_TRUE(IsEmptyFolder(source));
        }
        EXPECT_TRUE(RemoveFolderNow(source));
    }
}

TEST_F(CaseFolderTest, ACancelledPickerLeavesTheNewFolderEmpty)
{
    Run([&](HWND main) {
        CreateAndFind(main, [&](HWND picker) {
            Click(Control(picker, IDCANCEL));
            EXPECT_TRUE(WaitForWindowGone(picker));
        });
        PassTemplates();
        EXPECT_TRUE(WaitOpened(folder7));
    });
    EXPECT_TRUE(IsEmptyFolder(folder7));
    EXPECT_TRUE(LogHas(L"Show popup CSablonDlg"));
}

TEST_F(CaseFolderTest, TheRootAndTheFoldersHoldingTheNewOneAreRefused)
{
    MakeDocuments(folder8);
    struct Refused
    {
        const char* what;
        CString folder;
    };
    WCHAR drive[MAX_PATH];
    GetTempPathW(MAX_PATH, drive);
    drive[3] = 0;
    const Refused refused[] = {
        {"the new folder", folder7}, {"its parent", root + L"\\2024"}, {"the documents root", root},
        {"above the root", base},     {"a drive root", drive},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.what);
        ASSERT_TRUE(RemoveFolderNow(folder7));
        DeleteFileW(openLog);
        Run([&](HWND main) {
            CreateAndFind(main, [&](HWND picker) { ChooseInPicker(picker, r.folder); });
            AcknowledgeWarning(L"A kiválasztott könyvtár tartalma nem helyezhető át az új könyvtárba:\n\n");
            PassTemplates();
            EXPECT_TRUE(WaitOpened(folder7));
        });
        EXPECT_TRUE(IsEmptyFolder(folder7));
        EXPECT_TRUE(HoldsDocuments(folder8));
    }
}

TEST_F(CaseFolderTest, ANewFolderFilledMeanwhileIsNotReplaced)
{
    CString source = root + L"\\2024\\Kiss régi";
    MakeDocuments(source);
    Run([&](HWND main) {
        CreateAndFind(main, [&](HWND picker) {
            ASSERT_TRUE(WriteFileBytes(folder7 + L"\\új.txt", "új"));
            ChooseInPicker(picker, source);
        });
        AcknowledgeWarning(L"A dokumentumok áthelyezése nem sikerült teljesen!\n\n" + source + L"\n\n");
        PassTemplates();
        EXPECT_TRUE(WaitOpened(folder7));
    });
    EXPECT_TRUE(HoldsDocuments(source));
    EXPECT_TRUE(IsFile(folder7 + L"\\új.txt"));
}

TEST_F(CaseFolderTest, TheCaseOfThePathGoesOnWhenTheListIsRebuilt)
{
    Run([&](HWND main) {
        SelectCase(main, 7);
        PostCommand(main, 1009);
        HWND question = WaitForWindow(L"#32770", kQuestion);
        ASSERT_TRUE(question);
        // Ctrl+3: only cases with a deadline within 8 days stay listed.
        PostMessageW(main, WM_HOTKEY, 13, MAKELPARAM(MOD_CONTROL, '3'));
        EXPECT_TRUE(WaitUntil([&] { return SendMessageW(Control(main, kList), LVM_GETITEMCOUNT, 0, 0) == 0; }));
        Click(Control(question, IDYES));
        EXPECT_TRUE(WaitForWindowGone(question));
        PassTemplates();
        EXPECT_TRUE(WaitOpened(folder7));
    });
    EXPECT_TRUE(LogHas(L"Show popup CSablonDlg"));
}

} // namespace
