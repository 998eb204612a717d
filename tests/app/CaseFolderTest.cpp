// The case document folder commands: the folder path of a case as a table,
// and the main dialog run modally over the test SQL server with the
// documents root in a temporary folder, driven as a user would (double
// click, menu, Alt+K, the question, the folder picker). What the shell was
// asked to open is what the test prefix's folder recorder wrote down.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include <vector>
#include "CaseFolderTestSupport.h"
#include "TestSqlServer.h"
#include "foundation/XMessageBox.h"
#include "storage/UgyiratStore.h"
#include "support/WindowDriver.h"

namespace {

using namespace testing_support;
using namespace case_folder_test;

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

class CaseFolderTest : public case_folder_test::CaseFolderFixture
{
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
