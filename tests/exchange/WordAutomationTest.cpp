// Word automation and the copying of templates, against the Word stand-in
// (an out-of-process server registered in the test prefix): what reaches
// Word, what the copies hold afterwards, and one log line per failure.
#include <gtest/gtest.h>
#include "SablonTestSupport.h"
#include "TestWord.h"
#include "WordStandin.h"
#include "exchange/SablonList.h"
#include "exchange/WordAutomation.h"
#include "online/TempFolder.h"
#include "storage/StorageTestSupport.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"
#include <shellapi.h>
#include <shlwapi.h>

namespace {

using namespace testing_support;
using word_standin::CTestWord;
using word_standin::DocxStory;
using word_standin::MakeDocx;
using word_standin::MakeDocxStories;
using word_standin::ReadDocxTexts;

// How long a stand-in may take to end after its client let it go.
const DWORD kServerEndMs = 10000;

const std::vector<std::wstring> kPlaceholders = {L"[UGYFEL]", L"[ELLENFEL]", L"[UGYIRAT]", L"[MEGJEGYZES]",
                                                 L"[NR]", L"[EV]", L"[ugyfel] ismét"};

std::vector<std::wstring> DocxTexts(const CString& path)
{
    std::vector<std::wstring> texts;
    EXPECT_TRUE(ReadDocxTexts(path.GetString(), texts)) << (LPCWSTR)path;
    return texts;
}

bool HasLineStartingWith(const std::vector<std::wstring>& lines, const std::wstring& prefix)
{
    for (const auto& l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

std::string Joined(const std::vector<std::wstring>& lines)
{
    std::wstring all;
    for (const auto& l : lines)
        all += l + L"\n";
    return word_standin::ToUtf8(all);
}

bool IsReadOnly(const CString& path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

void SetReadOnly(const CString& path, bool readOnly)
{
    SetFileAttributesW(path, readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
}

// The shell's copy as Windows has been seen to answer it: success, and no
// aborted flag, although the user kept the file that was there.
int WINAPI CopyReportingSuccess(LPSHFILEOPSTRUCTW op)
{
    typedef int(WINAPI * ShellOperation)(LPSHFILEOPSTRUCTW);
    static ShellOperation real =
        reinterpret_cast<ShellOperation>(GetProcAddress(GetModuleHandleW(L"shell32.dll"), "SHFileOperationW"));
    real(op);
    op->fAnyOperationsAborted = FALSE;
    return 0;
}

class WordTest : public ::testing::Test
{
protected:
    WordTest() : env(L"WordTest"), folder(L"WordTest")
    {
        templates = folder.Path() + L"sablonok";
        cases = folder.Path() + L"ügy 2024-17";
        CreateDirectoryW(templates, NULL);
        CreateDirectoryW(cases, NULL);
    }

    void SetUp() override
    {
        // As on the UI thread.
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
        logPath = env.Folder() + AfxGetApp()->m_pszAppName + L".log";
        DeleteFileW(logPath);
    }
    void TearDown() override
    {
        EXPECT_TRUE(word.WaitForServersEnded(kServerEndMs)) << "a Word stand-in still runs:\n" << Joined(word.Calls());
        CoUninitialize();
    }

    std::vector<std::wstring> Log() { return ReadLogTexts(logPath); }
    void ClearLog() { DeleteFileW(logPath); }

    CString MakeTemplate(LPCWSTR file, const std::vector<std::wstring>& paragraphs = kPlaceholders)
    {
        CString path = templates + L"\\" + file;
        EXPECT_TRUE(MakeDocx(path.GetString(), paragraphs));
        return path;
    }

    // Lists the template alone, marked "insertFields", and copies it into
    // the case folder for Record(); the copy's path.
    CString CopyMarked(const CString& path)
    {
        key.SetText(path, L"insertFields");
        CSablonList list(cases);
        EXPECT_EQ(list.Reload(), 1);
        list.Choose(list.GetAt(0).id);
        CUgyiratRecord record = Record();
        list.CopyChosen(&record);
        return cases + L"\\" + PathFindFileNameW(path);
    }

    CUgyiratRecord Record(LPCWSTR remark = L"")
    {
        return MakeRecord(2024, 17, L"Kovács & Társa <Kft> ^& őrült", L"Szőke Tünde ^^", L"Öröklési per", remark);
    }

    CStorageEnvironment env;
    CSablonKeyGuard key;
    CTestWord word;
    CTempFolder folder;
    CString templates, cases, logPath;
};

// ---------------------------------------------------------------------------
// Copying templates into the case folder

TEST_F(WordTest, CopyChosenFillsTheMarkedCopiesAndLeavesTheRest)
{
    CString filled = MakeTemplate(L"Meghatalmazás.docx");
    CString plain = MakeTemplate(L"Sima.docx");
    CString unchosen = MakeTemplate(L"Nem kell.docx");
    std::string filledBytes = ReadFileBytes(filled), plainBytes = ReadFileBytes(plain);
    key.SetText(filled, L"selectIfNotExists,insertFields");
    key.SetText(plain, L"selectIfNotExists");
    key.SetText(unchosen, L"insertFields");

    CSablonList list(cases);
    ASSERT_EQ(list.Reload(), 3);
    for (int i = 0; i < list.GetCount(); ++i)
        if (list.GetAt(i).fileName != L"Nem kell.docx")
            list.Choose(list.GetAt(i).id);
    CUgyiratRecord record = Record();
    list.CopyChosen(&record);

    EXPECT_EQ(DocxTexts(cases + L"\\Meghatalmazás.docx"),
              (std::vector<std::wstring>{L"Kovács & Társa <Kft> ^& őrült", L"Szőke Tünde ^^", L"Öröklési per",
                                         L"[MEGJEGYZES]", L"17", L"2024", L"Kovács & Társa <Kft> ^& őrült ismét"}));
    EXPECT_EQ(ReadFileBytes(cases + L"\\Sima.docx"), plainBytes) << "copied as it is";
    EXPECT_FALSE(FileExists(cases + L"\\Nem kell.docx"));
    EXPECT_EQ(ReadFileBytes(filled), filledBytes) << "the template is unchanged";
    EXPECT_EQ(ReadFileBytes(plain), plainBytes);
    for (int i = 0; i < list.GetCount(); ++i)
        EXPECT_EQ(list.GetAt(i).flags & SABLON_CHOSEN, list.GetAt(i).fileName == L"Nem kell.docx" ? 0 : SABLON_CHOSEN);

    auto calls = word.Calls();
    EXPECT_EQ(word.ServersStarted(), 1) << "one Word for the one marked copy";
    EXPECT_TRUE(HasLineStartingWith(calls, L"Document.Close METHOD SaveChanges=I2:-1 -> 0x00000000"));
    EXPECT_TRUE(HasLineStartingWith(calls, L"Replacement.Text PUT BSTR:\"Kovács & Társa <Kft> ^^& őrült\""))
        << "each ^ doubled";
    EXPECT_FALSE(HasLineStartingWith(calls, L"Find.Text PUT BSTR:\"[MEGJEGYZES]\"")) << "an empty remark is not sent";
    EXPECT_TRUE(word.WaitForServersEnded(kServerEndMs)) << "every object released, Word ended";
    EXPECT_TRUE(HasLineStartingWith(word.Calls(), L"last object released"));
    EXPECT_EQ(Log(), std::vector<std::wstring>{}) << "no failure";
}

TEST_F(WordTest, CopyChosenFillsTheRemarkWhenThereIsOne)
{
    CString path = MakeTemplate(L"Levél.docx");
    key.SetText(path, L"insertFields");
    CSablonList list(cases);
    ASSERT_EQ(list.Reload(), 1);
    list.Choose(list.GetAt(0).id);
    CUgyiratRecord record = Record(L"Határidő: 2024.05.01. [MEGJEGYZES]");
    list.CopyChosen(&record);
    EXPECT_EQ(DocxTexts(cases + L"\\Levél.docx")[3], L"Határidő: 2024.05.01. [MEGJEGYZES]")
        << "replaced once, not again inside the replacement";

    // Without a record the copy is made and not filled. The first Word must
    // have ended first: its log stays open until then.
    ASSERT_TRUE(word.WaitForServersEnded(kServerEndMs));
    DeleteFileW(cases + L"\\Levél.docx");
    word.ClearCalls();
    list.CopyChosen(NULL);
    EXPECT_EQ(ReadFileBytes(cases + L"\\Levél.docx"), ReadFileBytes(path));
    EXPECT_EQ(word.ServersStarted(), 0);
}

TEST_F(WordTest, WithoutACaseFolderNothingIsCopied)
{
    CString path = MakeTemplate(L"Gyökér.docx");
    key.SetText(path, L"insertFields");
    CSablonList list;
    ASSERT_EQ(list.Reload(), 1);
    list.Choose(list.GetAt(0).id);
    CUgyiratRecord record = Record();
    list.CopyChosen(&record);
    EXPECT_FALSE(FileExists(L"\\Gyökér.docx")) << "not into the root of the drive";
    EXPECT_EQ(Log(), std::vector<std::wstring>{L"CSablonList::CopyChosen: no case folder"});
    EXPECT_EQ(word.ServersStarted(), 0);
}

// The case folder holds a file of the template's name already: the shell
// asks before replacing it.
TEST_F(WordTest, AnExistingCopyIsFilledOnlyWhenTheUserLetsItBeReplaced)
{
    CString path = MakeTemplate(L"Beadvány.docx");
    key.SetText(path, L"insertFields");
    CString target = cases + L"\\Beadvány.docx";
    const std::string worked = "a case document already worked on";
    const struct { int answer; bool replaced; } kCases[] = {{IDNO, false}, {IDYES, true}};
    for (const auto& c : kCases) {
        ASSERT_TRUE(WriteFileBytes(target, worked));
        word.ClearCalls();
        ClearLog();
        CSablonList list(cases);
        ASSERT_EQ(list.Reload(), 1);
        EXPECT_EQ(list.GetAt(0).flags & SABLON_IN_CASE_FOLDER, SABLON_IN_CASE_FOLDER);
        list.Choose(list.GetAt(0).id);
        CUgyiratRecord record = Record();
        CWindowDriver driver([&] {
            HWND box = WaitForWindow(L"#32770", NULL, 10000);
            ASSERT_TRUE(box) << "the shell's question";
            HWND button = Control(box, c.answer);
            ASSERT_TRUE(button) << "answer " << c.answer;
            Click(button);
        });
        list.CopyChosen(&record);
        EXPECT_FALSE(driver.Join());
        if (c.replaced) {
            EXPECT_EQ(DocxTexts(target)[0], L"Kovács & Társa <Kft> ^& őrült");
            EXPECT_EQ(word.ServersStarted(), 1);
        } else {
            EXPECT_EQ(ReadFileBytes(target), worked) << "the old bytes stay";
            EXPECT_EQ(word.ServersStarted(), 0) << "no Word started";
            auto log = Log();
            ASSERT_EQ(log.size(), 1u);
            EXPECT_EQ(log[0], L"CSablonList::CopyChosen: " + std::wstring(path) + L" not copied to " +
                                  std::wstring(target) + L" (1223, aborted)");
        }
    }
}

// Windows' shell can answer success although the user said No: the file
// in the case folder differs from the template in size or time then, and
// is neither filled nor touched. A time within 2 seconds is the copy's (a
// FAT volume rounds it).
TEST_F(WordTest, AWorkedOnDocumentIsNotFilledAgainWhenTheShellReportsSuccess)
{
    CString path = MakeTemplate(L"Beadvány.docx");
    key.SetText(path, L"insertFields");
    CString target = cases + L"\\Beadvány.docx";
    const LONGLONG kSecond = 10000000; // in 100-ns units
    const struct
    {
        const char* what;
        bool sameBytes;
        LONGLONG shift; // of the template's last-write time, for the same bytes
        bool readOnly;
        bool filled;
    } kCases[] = {
        {"other size", false, 0, false, false},
        {"other size, read-only", false, 0, true, false},
        {"same size, a year earlier", true, -365 * 24 * 3600 * kSecond, false, false},
        {"same size, 3 s later", true, 3 * kSecond, false, false},
        {"same size, 1 s later", true, kSecond, false, true},
    };
    CImportHook hook("shell32.dll", "SHFileOperationW", reinterpret_cast<void*>(&CopyReportingSuccess));
    ASSERT_TRUE(hook.Hooked());
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(word.WaitForServersEnded(kServerEndMs));
        SetReadOnly(target, false);
        std::string worked = c.sameBytes ? ReadFileBytes(path) : "a case document already worked on";
        ASSERT_TRUE(WriteFileBytes(target, worked));
        if (c.sameBytes) {
            WIN32_FILE_ATTRIBUTE_DATA data;
            ASSERT_TRUE(GetFileAttributesExW(path, GetFileExInfoStandard, &data));
            ULARGE_INTEGER t;
            t.LowPart = data.ftLastWriteTime.dwLowDateTime;
            t.HighPart = data.ftLastWriteTime.dwHighDateTime;
            t.QuadPart += c.shift;
            FILETIME shifted = {t.LowPart, t.HighPart};
            HANDLE h = CreateFileW(target, FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
            ASSERT_NE(h, INVALID_HANDLE_VALUE);
            EXPECT_TRUE(SetFileTime(h, NULL, NULL, &shifted));
            CloseHandle(h);
        }
        SetReadOnly(target, c.readOnly);
        word.ClearCalls();
        ClearLog();
        CSablonList list(cases);
        ASSERT_EQ(list.Reload(), 1);
        list.Choose(list.GetAt(0).id);
        CUgyiratRecord record = Record();
        CWindowDriver driver([&] {
            HWND box = WaitForWindow(L"#32770", NULL, 10000);
            ASSERT_TRUE(box) << "the shell's question";
            HWND no = Control(box, IDNO);
            ASSERT_TRUE(no);
            Click(no);
        });
        list.CopyChosen(&record);
        EXPECT_FALSE(driver.Join());
        EXPECT_EQ(IsReadOnly(target), c.readOnly) << "its attributes stay";
        if (c.filled) {
            EXPECT_EQ(DocxTexts(target).at(0), L"Kovács & Társa <Kft> ^& őrült");
            EXPECT_EQ(Log(), std::vector<std::wstring>{});
            continue;
        }
        EXPECT_EQ(ReadFileBytes(target), worked) << "the user's bytes stay";
        EXPECT_EQ(word.ServersStarted(), 0) << "no Word started";
        EXPECT_EQ(Log(), std::vector<std::wstring>{L"CSablonList::CopyChosen: " + std::wstring(target) +
                                                   L" is not a copy of " + std::wstring(path) + L"; not filled"});
    }
    SetReadOnly(target, false);
}

// A read-only template (a shared folder) gives a read-only copy; Word
// cannot save into it, so the copy loses the attribute before the fill.
TEST_F(WordTest, AReadOnlyTemplateIsFilledInItsCopy)
{
    CString path = MakeTemplate(L"Közös sablon.docx");
    std::string bytes = ReadFileBytes(path);
    SetReadOnly(path, true);
    CString copy = CopyMarked(path);
    EXPECT_EQ(DocxTexts(copy).at(0), L"Kovács & Társa <Kft> ^& őrült");
    EXPECT_FALSE(IsReadOnly(copy));
    EXPECT_TRUE(IsReadOnly(path)) << "the template keeps its attribute";
    EXPECT_EQ(ReadFileBytes(path), bytes);
    EXPECT_EQ(Log(), std::vector<std::wstring>{});
    SetReadOnly(path, false);
    SetReadOnly(copy, false);
}

// Word's find and replace from the selection stays in the main text story:
// a placeholder in a text box, a header or a footer stays as it is.
TEST_F(WordTest, PlaceholdersAreFilledInTheBodyOnly)
{
    CString path = templates + L"\\Dobozos.docx";
    ASSERT_TRUE(MakeDocxStories(path.GetString(), {{DocxStory::Header, L"[NR]/[EV]."},
                                                   {DocxStory::Body, L"Ügyfél: [UGYFEL]"},
                                                   {DocxStory::TextBox, L"Ellenfél: [ELLENFEL]"},
                                                   {DocxStory::Footer, L"[UGYIRAT]"}}));
    CString copy = CopyMarked(path);
    std::vector<std::wstring> header, footer;
    EXPECT_EQ(DocxTexts(copy), (std::vector<std::wstring>{L"Ügyfél: Kovács & Társa <Kft> ^& őrült",
                                                          L"Ellenfél: [ELLENFEL]", L"Ellenfél: [ELLENFEL]"}));
    ASSERT_TRUE(ReadDocxTexts(copy.GetString(), header, "word/header1.xml"));
    ASSERT_TRUE(ReadDocxTexts(copy.GetString(), footer, "word/footer1.xml"));
    EXPECT_EQ(header, std::vector<std::wstring>{L"[NR]/[EV]."});
    EXPECT_EQ(footer, std::vector<std::wstring>{L"[UGYIRAT]"});
    EXPECT_EQ(Log(), std::vector<std::wstring>{});
}

TEST_F(WordTest, WithoutWordTheCopiesStayAsCopied)
{
    ASSERT_TRUE(word.HideProgId());
    CString a = MakeTemplate(L"A.docx"), b = MakeTemplate(L"B.docx");
    key.SetText(a, L"insertFields");
    key.SetText(b, L"insertFields");
    CSablonList list(cases);
    ASSERT_EQ(list.Reload(), 2);
    list.Choose(list.GetAt(0).id);
    list.Choose(list.GetAt(1).id);
    CUgyiratRecord record = Record();
    list.CopyChosen(&record);
    EXPECT_EQ(Log(), (std::vector<std::wstring>{L"Cannot obtain CLSID from ProgID", L"Cannot obtain CLSID from ProgID"}));
    EXPECT_EQ(ReadFileBytes(cases + L"\\A.docx"), ReadFileBytes(a));
    EXPECT_EQ(ReadFileBytes(cases + L"\\B.docx"), ReadFileBytes(b));
    EXPECT_EQ(word.ServersStarted(), 0);
}

// ---------------------------------------------------------------------------
// The automation object itself

TEST_F(WordTest, AServerThatCannotStartIsOneLine)
{
    ASSERT_TRUE(word.BreakServerPath());
    CString path = MakeTemplate(L"A.docx");
    {
        CWordAutomation automation;
        EXPECT_FALSE(automation.HasWord());
        EXPECT_FALSE(automation.OpenDocument(path));
        EXPECT_FALSE(automation.ReplaceAll(L"[UGYFEL]", L"x"));
        EXPECT_FALSE(automation.CloseDocument(true));
        EXPECT_TRUE(automation.Quit());
    }
    EXPECT_EQ(Log(), std::vector<std::wstring>{L"Cannot start an instance of Word for Automation."});
}

TEST_F(WordTest, AMissingDocumentFailsEveryStepWithItsOwnLine)
{
    CString missing = folder.Path() + L"nincs ilyen.docx";
    {
        CWordAutomation automation;
        ASSERT_TRUE(automation.HasWord());
        EXPECT_FALSE(automation.OpenDocument(missing));
        EXPECT_FALSE(automation.ReplaceAll(L"[UGYFEL]", L"x"));
        EXPECT_FALSE(automation.ReplaceAll(L"[EV]", L"2024"));
        EXPECT_FALSE(automation.CloseDocument(true));
        automation.Quit();
    }
    const std::wstring noDocument = L"Error 4248: This command is not available because no document is open.";
    EXPECT_EQ(Log(), (std::vector<std::wstring>{
                         L"Open: Error 5174: This file could not be found. (" + std::wstring(missing) + L")",
                         L"Selection: " + noDocument, L"Selection: " + noDocument,
                         L"ActiveDocument: " + noDocument}));
}

// A document left open with changes by a failed Close: Quit discards it
// instead of asking an invisible user, and returns.
TEST_F(WordTest, AQuitAfterAFailedCloseSavesNothingAndReturns)
{
    CString path = MakeTemplate(L"A.docx");
    std::string bytes = ReadFileBytes(path);
    {
        CWordAutomation automation;
        ASSERT_TRUE(automation.OpenDocument(path));
        ASSERT_TRUE(automation.ReplaceAll(L"[UGYFEL]", L"Kovács"));
        word.FailMember(L"Document.Close", DISP_E_EXCEPTION, 0, 5153, L"Nem menthető");
        EXPECT_FALSE(automation.CloseDocument(true));
        word.ClearCalls();
        EXPECT_TRUE(automation.Quit());
    }
    EXPECT_EQ(word.Calls().size() > 0 ? word.Calls()[0] : std::wstring(),
              L"Application.Quit METHOD SaveChanges=I2:0 -> 0x00000000");
    EXPECT_FALSE(HasLineStartingWith(word.Calls(), L"save question")) << Joined(word.Calls());
    EXPECT_EQ(ReadFileBytes(path), bytes) << "nothing saved";
    EXPECT_EQ(Log(), std::vector<std::wstring>{L"Close: Error 5153: Nem menthető"});
}

TEST_F(WordTest, EmptyTextsMakeNoCall)
{
    CString path = MakeTemplate(L"A.docx");
    CWordAutomation automation;
    ASSERT_TRUE(automation.OpenDocument(path));
    word.ClearCalls();
    EXPECT_FALSE(automation.ReplaceAll(L"[UGYFEL]", L""));
    EXPECT_FALSE(automation.ReplaceAll(L"", L"x"));
    EXPECT_EQ(word.Calls(), std::vector<std::wstring>{});
    EXPECT_TRUE(automation.CloseDocument(false));
    automation.Quit();
    EXPECT_TRUE(HasLineStartingWith(word.Calls(), L"Document.Close METHOD SaveChanges=I2:0 -> 0x00000000"));
    EXPECT_EQ(DocxTexts(path)[0], L"[UGYFEL]");
    EXPECT_EQ(Log(), std::vector<std::wstring>{});
}

TEST_F(WordTest, EachFailureOfACallIsOneLine)
{
    const std::wstring longText(2000, L'é');
    const std::wstring cutPrefix = L"Execute: Error 1: ";
    const struct
    {
        const wchar_t* member;
        HRESULT hr;
        UINT number; // the argument index, or Word's error number of an exception
        const wchar_t* description;
        bool atNames;
        std::wstring line;
        bool inWCode; // the number in wCode, as servers other than Word give it
    } kCases[] = {
        {L"Execute", DISP_E_MEMBERNOTFOUND, 0, NULL, false, L"Execute: method or property not found."},
        {L"Execute", DISP_E_PARAMNOTFOUND, 3, NULL, false, L"Execute: Argument not found, argument 3."},
        {L"Find.Text", DISP_E_TYPEMISMATCH, 2, NULL, false, L"Text: Type mismatch, argument 2."},
        {L"Execute", DISP_E_UNKNOWNNAME, 0, NULL, false, L"Execute: Unknown name or named argument."},
        {L"Execute", DISP_E_NONAMEDARGS, 0, NULL, false,
         L"Execute: Object implementation does not support named arguments."},
        {L"Execute", DISP_E_EXCEPTION, 5560, L"Hibás keresés", false, L"Execute: Error 5560: Hibás keresés"},
        {L"Execute", DISP_E_EXCEPTION, 77, NULL, false, L"Execute: Error 77: <<No Description>>"},
        {L"Execute", DISP_E_EXCEPTION, 5560, L"Hibás keresés", false, L"Execute: Error 5560: Hibás keresés", true},
        {L"Execute", DISP_E_EXCEPTION, 1001, NULL, false, L"Execute: Error 1001: <<No Description>>", true},
        {L"Execute", DISP_E_EXCEPTION, 1, longText.c_str(), false,
         cutPrefix + longText.substr(0, 1023 - cutPrefix.size())},
        {L"Wrap", DISP_E_OVERFLOW, 0, NULL, false, L"Wrap: Overflow while coercing argument values."},
        {L"Execute", DISP_E_UNKNOWNLCID, 0, NULL, false, L"Execute: The locale ID is unknown."},
        {L"Execute", DISP_E_BADPARAMCOUNT, 0, NULL, false, L"Execute: Incorrect number of arguments."},
        {L"Execute", DISP_E_PARAMNOTOPTIONAL, 0, NULL, false, L"Execute: Missing a required parameter."},
        {L"Execute", E_FAIL, 0, NULL, false, L"Execute: Unknown error occured."},
        {L"Replacement", DISP_E_UNKNOWNNAME, 0, NULL, true, L"Replacement: Unknown name or named argument."},
        {L"MatchCase", DISP_E_MEMBERNOTFOUND, 0, NULL, true, L"MatchCase: method or property not found."},
    };
    CString path = MakeTemplate(L"A.docx");
    CWordAutomation automation;
    ASSERT_TRUE(automation.OpenDocument(path));
    for (const auto& c : kCases) {
        bool exception = c.hr == DISP_E_EXCEPTION;
        word.FailMember(c.member, c.hr, exception ? 0 : c.number, exception ? (WORD)c.number : 0, c.description,
                        c.atNames, c.inWCode);
        ClearLog();
        EXPECT_FALSE(automation.ReplaceAll(L"[UGYFEL]", L"x")) << c.line;
        EXPECT_EQ(Log(), std::vector<std::wstring>{c.line});
    }
    word.ClearFailure();
    ClearLog();
    EXPECT_TRUE(automation.ReplaceAll(L"[UGYFEL]", L"Kovács"));
    EXPECT_TRUE(automation.CloseDocument(true));
    automation.Quit();
    EXPECT_EQ(DocxTexts(path)[0], L"Kovács");
    EXPECT_EQ(Log(), std::vector<std::wstring>{});
}

} // namespace
