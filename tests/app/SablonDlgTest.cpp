// The template dialogs driven as a user drives them: the case folder dialog
// from "Kö&nyvtár" of the main dialog over the test SQL server, the settings
// dialog from it, the options dialog of one template; the file dialogs and
// the folder picker answered by the test, Word through its stand-in, and
// what the shell was asked to open written down by the test prefix's
// recorder. The registry's template list, the profile, the copies and the
// cover document are checked afterwards.
#include "CaseFolderTestSupport.h"
#include <commdlg.h>
#include <dlgs.h>
#include <mutex>
#include "../exchange/SablonTestSupport.h"
#include "TestWord.h"
#include "exchange/SablonDlg.h"
#include "resources/resource.h"

namespace {

using namespace testing_support;
using namespace case_folder_test;
using word_standin::CTestWord;
using word_standin::MakeDocx;
using word_standin::ReadDocxTexts;

const wchar_t kSettingsCaption[] = L"Sablon fájlok kezelése";
const wchar_t kFieldsCaption[] = L"Sablon dukomentum beállításai";
const wchar_t kRootTitle[] = L"A dokumentumok kezdőkönyvtárának kiválasztása";
const wchar_t kInCaseFolder[] = L"Már létezik bemásolva!";
const wchar_t kCoverQuestion[] = L"A borítófájl létrehozva.\n\nMegnyissam szerkesztésre?";
const DWORD kServerEndMs = 10000;
// Copying and filling through Word takes a Word start per document.
const DWORD kWordMs = 30000;

const std::vector<std::wstring> kCasePlaceholders = {L"[UGYFEL]", L"[ELLENFEL]", L"[UGYIRAT]", L"[MEGJEGYZES]",
                                                     L"[NR]/[EV]."};

std::vector<std::wstring> DocxTexts(const CString& path)
{
    std::vector<std::wstring> texts;
    EXPECT_TRUE(ReadDocxTexts(path.GetString(), texts)) << CStringA(path).GetString();
    return texts;
}

bool Holds(const std::vector<std::wstring>& texts, const std::wstring& text)
{
    for (const std::wstring& t : texts)
        if (t.find(text) != std::wstring::npos)
            return true;
    return false;
}

struct WindowSearch
{
    std::function<bool(HWND)> match;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM lParam)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd) || !search->match(hwnd))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

// A visible top-level window of this process that matches, waited for.
HWND WaitForMatch(const std::function<bool(HWND)>& match, DWORD timeoutMs = 5000)
{
    WindowSearch search = {match, NULL};
    WaitUntil([&] {
        search.found = NULL;
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != NULL;
    }, timeoutMs);
    return search.found;
}

// The system's file dialog: the one with a file name box.
HWND WaitForFileDialog()
{
    return WaitForMatch([](HWND hwnd) { return GetDlgItem(hwnd, cmb13) != NULL; });
}

// Types the file name into the file dialog and presses its OK button.
void AnswerFileDialog(const CString& path)
{
    HWND dlg = WaitForFileDialog();
    ASSERT_TRUE(dlg);
    SetWindowTextW(GetDlgItem(dlg, cmb13), path);
    Click(Control(dlg, IDOK));
    EXPECT_TRUE(WaitForWindowGone(dlg));
}

// The file types the file dialog offers.
std::vector<CString> FileTypes(HWND dlg)
{
    std::vector<CString> types;
    HWND combo = GetDlgItem(dlg, cmb1);
    int n = (int)SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; i++) {
        WCHAR text[128] = {0};
        SendMessageW(combo, CB_GETLBTEXT, i, (LPARAM)text);
        types.push_back(text);
    }
    return types;
}

int RowByName(HWND list, const CString& name)
{
    int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < count; ++row)
        if (ListItemText(list, row, 0) == name)
            return row;
    return -1;
}

// Ticks or unticks a row with the space bar, as a user would.
void TickRow(HWND list, const CString& name, bool ticked)
{
    int row = RowByName(list, name);
    ASSERT_GE(row, 0) << CStringA(name).GetString();
    SelectListItem(list, row);
    if (ListItemChecked(list, row) != ticked)
        PressKey(list, VK_SPACE);
    EXPECT_TRUE(WaitUntil([&] { return ListItemChecked(list, row) == ticked; })) << CStringA(name).GetString();
}

void SaveShot(HWND window, LPCWSTR name)
{
    wchar_t shots[MAX_PATH] = {0};
    if (GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", shots, MAX_PATH)) {
        EXPECT_TRUE(SaveWindowBitmap(window, CString(shots) + L"\\" + name));
    }
}

class SablonDlgTest : public CaseFolderFixture
{
protected:
    void SetUp() override
    {
        CaseFolderFixture::SetUp();
        templates = base + L"\\Sablonok";
        ASSERT_EQ(SHCreateDirectoryExW(NULL, templates, NULL), ERROR_SUCCESS);
        ASSERT_EQ(SHCreateDirectoryExW(NULL, folder8, NULL), ERROR_SUCCESS);
    }

    void TearDown() override
    {
        EXPECT_TRUE(word.WaitForServersEnded(kServerEndMs));
        CaseFolderFixture::TearDown();
    }

    CString Template(LPCWSTR file, LPCWSTR options, const std::vector<std::wstring>& texts = {L"sablon"})
    {
        CString path = templates + L"\\" + file;
        EXPECT_TRUE(MakeDocx(path.GetString(), texts));
        if (options)
            key.SetText(path, options);
        return path;
    }

    CString Value(const CString& path)
    {
        std::wstring data;
        EXPECT_TRUE(key.Get(path, &data)) << CStringA(path).GetString();
        return CString(data.c_str());
    }

    // "Kö&nyvtár" on case 8, whose folder exists: the template dialog.
    static HWND OpenTemplates(HWND main)
    {
        SelectCase(main, 8);
        PostCommand(main, 1009);
        return WaitForWindow(L"#32770", kTemplatesCaption);
    }

    static HWND OpenSettings(HWND templatesDlg)
    {
        ClickId(templatesDlg, IDC_SABLON_SETTINGS);
        return WaitForWindow(L"#32770", kSettingsCaption);
    }

    static void Close(HWND dlg, int id)
    {
        ClickId(dlg, id);
        EXPECT_TRUE(WaitForWindowGone(dlg));
    }

    size_t OpenedCount() { return Opened().size() / 2; }

    CSablonKeyGuard key;
    CTestWord word;
    CString templates;
};

TEST_F(SablonDlgTest, TheCaseFolderDialogOffersTheTemplates)
{
    CString letter = Template(L"Levél.docx", L"selectIfNotExists");
    CString power = Template(L"Meghatalmazás.docx", L"selectIfNotExists,insertFields");
    CString gone = Template(L"Eltűnt.docx", L"selectIfNotExists");
    ASSERT_TRUE(DeleteFileW(gone));
    CString cover = Template(L"Borító.docx", L"insertFields",
                             {L"[UGYFEL]", L"[ELLENFEL]", L"[UGYIRAT]", L"[MEGJEGYZES]", L"[NR]/[EV]."});
    ASSERT_TRUE(WriteFileBytes(folder8 + L"\\Meghatalmazás.docx", "a régi"));

    Run([&](HWND main) {
        HWND dlg = OpenTemplates(main);
        ASSERT_TRUE(dlg);
        HWND list = Control(dlg, IDC_SABLON_LIST);
        EXPECT_EQ(Text(Control(dlg, IDC_SABLON_FOLDER)), folder8);
        EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3) << "the missing template has no row";
        EXPECT_EQ(RowByName(list, L"Eltűnt.docx"), -1);
        int letterRow = RowByName(list, L"Levél.docx"), powerRow = RowByName(list, L"Meghatalmazás.docx");
        int coverRow = RowByName(list, L"Borító.docx");
        ASSERT_GE(letterRow, 0);
        ASSERT_GE(powerRow, 0);
        ASSERT_GE(coverRow, 0);
        EXPECT_TRUE(ListItemChecked(list, letterRow));
        EXPECT_EQ(ListItemText(list, letterRow, 1), CString());
        EXPECT_EQ(ListItemText(list, letterRow, 2), templates);
        EXPECT_FALSE(ListItemChecked(list, powerRow)) << "marked, but a copy is there";
        EXPECT_EQ(ListItemText(list, powerRow, 1), CString(kInCaseFolder));
        EXPECT_FALSE(ListItemChecked(list, coverRow));
        EXPECT_TRUE(IsWindowEnabled(Control(dlg, IDOK)));
        SaveShot(dlg, L"sablon-dialog.bmp");

        // IDOK only while a row is ticked; 1068 still opens the folder.
        TickRow(list, L"Levél.docx", false);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowEnabled(Control(dlg, IDOK)); }));
        TickRow(list, L"Borító.docx", true);
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(Control(dlg, IDOK)) != FALSE; }));
        TickRow(list, L"Borító.docx", false);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowEnabled(Control(dlg, IDOK)); }));
        Close(dlg, IDC_SABLON_EXPLORER);
        EXPECT_TRUE(WaitOpened(folder8, 1));

        // Esc: nothing opens (the next opening is the only one after it).
        dlg = OpenTemplates(main);
        ASSERT_TRUE(dlg);
        PressKey(Control(dlg, IDC_SABLON_LIST), VK_ESCAPE);
        EXPECT_TRUE(WaitForWindowGone(dlg));

        // The close box: the same.
        dlg = OpenTemplates(main);
        ASSERT_TRUE(dlg);
        CloseBox(dlg);
        EXPECT_TRUE(WaitForWindowGone(dlg));

        // Ticked ones are copied; only the marked copy is filled.
        dlg = OpenTemplates(main);
        ASSERT_TRUE(dlg);
        list = Control(dlg, IDC_SABLON_LIST);
        TickRow(list, L"Borító.docx", true);
        Close(dlg, IDOK);
        EXPECT_TRUE(WaitOpened(folder8, 2));
        EXPECT_EQ(OpenedCount(), 2u) << "Esc and the close box opened nothing";
    });
    EXPECT_EQ(ReadFileBytes(folder8 + L"\\Levél.docx"), ReadFileBytes(letter)) << "copied as it is";
    EXPECT_EQ(DocxTexts(folder8 + L"\\Borító.docx"),
              (std::vector<std::wstring>{L"Kiss", L"Nagy", L"Polgári", L"[MEGJEGYZES]", L"8/2024."}));
    EXPECT_EQ(ReadFileBytes(folder8 + L"\\Meghatalmazás.docx"), "a régi");
    EXPECT_EQ(DocxTexts(cover), kCasePlaceholders) << "the template stays";
    EXPECT_TRUE(key.Get(gone)) << "the missing template's value stays";
}

// The copy button follows the ticks after the list is rebuilt too: a
// ticked template removed in the settings leaves nothing to copy.
TEST_F(SablonDlgTest, TheCopyButtonFollowsARebuiltList)
{
    Template(L"Levél.docx", L"selectIfNotExists");
    Run([&](HWND main) {
        HWND dlg = OpenTemplates(main);
        ASSERT_TRUE(dlg);
        HWND list = Control(dlg, IDC_SABLON_LIST);
        ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1);
        EXPECT_TRUE(ListItemChecked(list, 0));
        EXPECT_TRUE(IsWindowEnabled(Control(dlg, IDOK)));
        HWND settings = OpenSettings(dlg);
        ASSERT_TRUE(settings);
        HWND settingsList = Control(settings, IDC_SABLON_LIST);
        SelectListItem(settingsList, RowByName(settingsList, L"Levél.docx"));
        ClickId(settings, IDC_SABLON_REMOVE);
        EXPECT_TRUE(WaitUntil([&] { return SendMessageW(settingsList, LVM_GETITEMCOUNT, 0, 0) == 0; }));
        Close(settings, IDCANCEL);
        EXPECT_TRUE(WaitUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 0; }));
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowEnabled(Control(dlg, IDOK)); })) << "nothing is ticked";
        Close(dlg, IDC_SABLON_EXPLORER);
        EXPECT_TRUE(WaitOpened(folder8));
    });
    EXPECT_FALSE(FileExists(folder8 + L"\\Levél.docx"));
}

TEST_F(SablonDlgTest, TheDialogIsDisabledWhileTheShellAsksAboutACopy)
{
    Template(L"Meghatalmazás.docx", L"insertFields", {L"[UGYFEL]"});
    ASSERT_TRUE(WriteFileBytes(folder8 + L"\\Meghatalmazás.docx", "a régi"));
    Run([&](HWND main) {
        HWND dlg = OpenTemplates(main);
        ASSERT_TRUE(dlg);
        TickRow(Control(dlg, IDC_SABLON_LIST), L"Meghatalmazás.docx", true);
        ClickId(dlg, IDOK);
        // The shell's question about the file already there.
        HWND ask = WaitForMatch([&](HWND hwnd) { return hwnd != dlg && hwnd != main && ClassOf(hwnd) == L"#32770"; });
        ASSERT_TRUE(ask);
        EXPECT_FALSE(IsWindowEnabled(dlg));
        SendMessageW(ask, WM_COMMAND, IDNO, 0);
        EXPECT_TRUE(WaitForWindowGone(dlg, kWordMs));
        EXPECT_TRUE(WaitOpened(folder8));
    });
    EXPECT_EQ(ReadFileBytes(folder8 + L"\\Meghatalmazás.docx"), "a régi") << "declined: neither copied nor filled";
    EXPECT_EQ(word.ServersStarted(), 0);
}

TEST_F(SablonDlgTest, AddingInTheCaseFolderDialogAndRebuildingTheList)
{
    CString added = Template(L"Új.docx", NULL);
    CString later = Template(L"Később.docx", NULL);
    Run([&](HWND main) {
        HWND dlg = OpenTemplates(main);
        ASSERT_TRUE(dlg);
        HWND list = Control(dlg, IDC_SABLON_LIST);
        EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
        ClickId(dlg, IDC_SABLON_ADD);
        HWND files = WaitForFileDialog();
        ASSERT_TRUE(files);
        EXPECT_EQ(FileTypes(files), (std::vector<CString>{L"Word DOCX", L"Word DOC", L"Minden fájl"}));
        AnswerFileDialog(added);
        EXPECT_TRUE(WaitUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 1; }));
        EXPECT_EQ(ListItemText(list, 0, 0), CString(L"Új.docx"));
        EXPECT_EQ(ListItemText(list, 0, 2), templates);
        EXPECT_FALSE(ListItemChecked(list, 0));
        EXPECT_FALSE(IsWindowEnabled(Control(dlg, IDOK)));

        // The same again: nothing added, nothing said.
        ClickId(dlg, IDC_SABLON_ADD);
        AnswerFileDialog(added);
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(dlg) != FALSE; }));
        EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1);

        // Another program adds a template meanwhile; the way through the
        // settings rebuilds the list.
        key.SetText(later, L"selectIfNotExists");
        HWND settings = OpenSettings(dlg);
        ASSERT_TRUE(settings);
        Close(settings, IDCANCEL);
        EXPECT_TRUE(WaitUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 2; }));
        int row = RowByName(list, L"Később.docx");
        ASSERT_GE(row, 0);
        EXPECT_TRUE(ListItemChecked(list, row));
        Close(dlg, IDC_SABLON_EXPLORER);
        EXPECT_TRUE(WaitOpened(folder8));
    });
    EXPECT_EQ(Value(added), CString(L"0"));
    EXPECT_FALSE(FileExists(folder8 + L"\\Új.docx"));
}

TEST_F(SablonDlgTest, TheSettingsDialogManagesTheList)
{
    CString both = Template(L"Mindkettő.docx", L"selectIfNotExists,insertFields");
    CString select = Template(L"Kiválaszt.docx", L"selectIfNotExists");
    CString cancelled = Template(L"Elvetett.docx", NULL);
    CString ticked = Template(L"Bepipált.docx", NULL);
    CString newRoot = root + L"\\Másik gyökér";
    ASSERT_EQ(SHCreateDirectoryExW(NULL, newRoot, NULL), ERROR_SUCCESS);
    Run([&](HWND main) {
        HWND dlg = OpenTemplates(main);
        ASSERT_TRUE(dlg);
        HWND settings = OpenSettings(dlg);
        ASSERT_TRUE(settings);
        HWND list = Control(settings, IDC_SABLON_LIST);
        EXPECT_EQ(Text(Control(settings, IDC_SABLON_FOLDER)), root + L"\\");
        int row = RowByName(list, L"Mindkettő.docx");
        ASSERT_GE(row, 0);
        EXPECT_EQ(ListItemText(list, row, 1), CString(L"igen"));
        EXPECT_EQ(ListItemText(list, row, 2), CString(L"igen"));
        EXPECT_EQ(ListItemText(list, row, 3), templates);
        row = RowByName(list, L"Kiválaszt.docx");
        ASSERT_GE(row, 0);
        EXPECT_EQ(ListItemText(list, row, 1), CString(L"igen"));
        EXPECT_EQ(ListItemText(list, row, 2), CString());

        // "&Hozzáad" with the options cancelled, then with both ticked.
        ClickId(settings, IDC_SABLON_ADD);
        AnswerFileDialog(cancelled);
        HWND fields = WaitForWindow(L"#32770", kFieldsCaption);
        ASSERT_TRUE(fields);
        EXPECT_FALSE(IsChecked(Control(fields, IDC_SABLON_SELECT)));
        EXPECT_FALSE(IsChecked(Control(fields, IDC_SABLON_INSERT)));
        Close(fields, IDCANCEL);
        EXPECT_TRUE(WaitUntil([&] { return RowByName(list, L"Elvetett.docx") >= 0; }));
        row = RowByName(list, L"Elvetett.docx");
        EXPECT_EQ(ListItemText(list, row, 1), CString());
        EXPECT_EQ(ListItemText(list, row, 2), CString());

        ClickId(settings, IDC_SABLON_ADD);
        AnswerFileDialog(ticked);
        fields = WaitForWindow(L"#32770", kFieldsCaption);
        ASSERT_TRUE(fields);
        EXPECT_TRUE(Tick(Control(fields, IDC_SABLON_SELECT)));
        EXPECT_TRUE(Tick(Control(fields, IDC_SABLON_INSERT)));
        SaveShot(fields, L"sablon-fields.bmp");
        Close(fields, IDOK);
        EXPECT_TRUE(WaitUntil([&] {
            int r = RowByName(list, L"Bepipált.docx");
            return r >= 0 && ListItemText(list, r, 2) == L"igen";
        }));
        EXPECT_EQ(ListItemText(list, RowByName(list, L"Bepipált.docx"), 1), CString(L"igen"));

        // "Beállítás&ok": the selected row's options.
        SelectListItem(list, RowByName(list, L"Kiválaszt.docx"));
        ClickId(settings, IDC_SABLON_SETTINGS);
        fields = WaitForWindow(L"#32770", kFieldsCaption);
        ASSERT_TRUE(fields);
        EXPECT_TRUE(IsChecked(Control(fields, IDC_SABLON_SELECT)));
        EXPECT_FALSE(IsChecked(Control(fields, IDC_SABLON_INSERT)));
        EXPECT_TRUE(Tick(Control(fields, IDC_SABLON_SELECT), false));
        EXPECT_TRUE(Tick(Control(fields, IDC_SABLON_INSERT)));
        Close(fields, IDOK);
        EXPECT_TRUE(WaitUntil([&] {
            int r = RowByName(list, L"Kiválaszt.docx");
            return ListItemText(list, r, 1).IsEmpty() && ListItemText(list, r, 2) == L"igen";
        }));

        // "&Megnyit": the template reaches the shell.
        SelectListItem(list, RowByName(list, L"Mindkettő.docx"));
        ClickId(settings, IDC_SABLON_OPEN);
        EXPECT_TRUE(WaitUntil([&] {
            std::vector<std::wstring> lines = Opened();
            return lines.size() >= 2 && lines[0] == both.GetString() && lines[1] == templates.GetString();
        }, 10000));

        // "&Eltávolít": no question; the file stays.
        SelectListItem(list, RowByName(list, L"Mindkettő.docx"));
        ClickId(settings, IDC_SABLON_REMOVE);
        EXPECT_TRUE(WaitUntil([&] { return RowByName(list, L"Mindkettő.docx") < 0; }));

        // "...": the documents root.
        ClickId(settings, IDC_SABLON_ROOT);
        HWND picker = WaitForWindow(L"#32770", kRootTitle);
        ASSERT_TRUE(picker);
        // It starts at the documents root; a folder below it is selected (again
        // while the tree is still being filled) and chosen.
        EXPECT_TRUE(WaitUntil([&] { return PickerSelection(picker) == L"Iratok"; }));
        EXPECT_TRUE(WaitUntil([&] {
            SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, (LPARAM)(LPCWSTR)newRoot);
            return PickerSelection(picker) == L"Másik gyökér";
        })) << CStringA(PickerSelection(picker)).GetString();
        ChooseInPicker(picker, newRoot);
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(settings, IDC_SABLON_FOLDER)) == newRoot + L"\\"; }));
        SaveShot(settings, L"sablon-settings.bmp");
        Close(settings, IDCANCEL);
        Close(dlg, IDC_SABLON_EXPLORER);
    });
    EXPECT_EQ(Value(cancelled), CString());
    EXPECT_EQ(Value(ticked), CString(L"selectIfNotExists,insertFields"));
    EXPECT_EQ(Value(select), CString(L"insertFields"));
    EXPECT_FALSE(key.Get(both));
    EXPECT_TRUE(FileExists(both));
    EXPECT_EQ(database->m_pStore->DirRoot, newRoot + L"\\");
    EXPECT_EQ(env.Settings().GetProfileString(L"DirRoot"), newRoot + L"\\");
}

// The cover with the office's texts set and with them empty.
struct CoverCase
{
    const char* what;
    const wchar_t* name;
    const wchar_t* address;
    const wchar_t* email;
    bool open;  // the answer to the question
};

// The file name a save dialog was opened with, as the program handed it over.
std::mutex g_saveNameLock;
CString g_saveName;

BOOL WINAPI RecordSaveFileName(LPOPENFILENAMEW ofn)
{
    {
        std::lock_guard<std::mutex> lock(g_saveNameLock);
        g_saveName = ofn->lpstrFile ? ofn->lpstrFile : L"";
    }
    typedef BOOL(WINAPI * SaveDialog)(LPOPENFILENAMEW);
    static SaveDialog real =
        reinterpret_cast<SaveDialog>(GetProcAddress(GetModuleHandleW(L"comdlg32.dll"), "GetSaveFileNameW"));
    return real(ofn);
}

CString SaveDialogFileName()
{
    std::lock_guard<std::mutex> lock(g_saveNameLock);
    return g_saveName;
}

const CoverCase kCoverCases[] = {
    {"texts set, no", L"Dr. Ügyvéd & Társa <Iroda>", L"1111 Budapest, Fő utca 1.", L"iroda@pelda.hu", false},
    {"texts empty, yes", L"", L"", L"", true},
};

TEST_F(SablonDlgTest, TheCoverDocument)
{
    CImportHook hook("comdlg32.dll", "GetSaveFileNameW", reinterpret_cast<void*>(&RecordSaveFileName));
    ASSERT_TRUE(hook.Hooked());
    for (const CoverCase& c : kCoverCases) {
        SCOPED_TRACE(c.what);
        key.DeleteKey();
        DeleteFileW(openLog);
        CString cover = root + L"\\Folionex_borito.docx";
        DeleteFileW(cover);
        DeleteFileW(folder8 + L"\\Folionex_borito.docx");
        env.Settings().WriteProfileString(L"UserName", c.name);
        env.Settings().WriteProfileString(L"UserAddress", c.address);
        env.Settings().WriteProfileString(L"UserEmail", c.email);
        Run([&](HWND main) {
            HWND dlg = OpenTemplates(main);
            ASSERT_TRUE(dlg);
            HWND settings = OpenSettings(dlg);
            ASSERT_TRUE(settings);
            ClickId(settings, IDC_SABLON_COVER);
            HWND files = WaitForFileDialog();
            ASSERT_TRUE(files);
            // The default name is the documents root's file. The dialog may
            // show only the name and open in a folder it remembers, so what
            // it was handed is checked too.
            EXPECT_EQ(SaveDialogFileName(), cover);
            CString offered = Text(GetDlgItem(files, cmb13));
            EXPECT_TRUE(offered == cover || offered == L"Folionex_borito.docx") << CStringA(offered).GetString();
            AnswerFileDialog(cover);
            HWND box = WaitForMatch([](HWND hwnd) { return ReadBox(hwnd).text == kCoverQuestion; }, kWordMs);
            ASSERT_TRUE(box);
            EXPECT_EQ(ReadBox(box).buttons, (std::map<int, CString>{{IDYES, L"&Igen"}, {IDNO, L"&Nem"}}));
            HWND list = Control(settings, IDC_SABLON_LIST);
            int row = RowByName(list, L"Folionex_borito.docx");
            ASSERT_GE(row, 0);
            EXPECT_EQ(ListItemText(list, row, 1), CString());
            EXPECT_EQ(ListItemText(list, row, 2), CString(L"igen"));
            Close(box, c.open ? IDYES : IDNO);
            if (c.open) {
                EXPECT_TRUE(WaitUntil([&] {
                    std::vector<std::wstring> lines = Opened();
                    return lines.size() == 2 && lines[0] == cover.GetString() && lines[1] == root.GetString();
                }, 10000));
            }
            Close(settings, IDCANCEL);
            // Copied into the case folder, it gets the case's texts.
            HWND caseList = Control(dlg, IDC_SABLON_LIST);
            EXPECT_TRUE(WaitUntil([&] { return RowByName(caseList, L"Folionex_borito.docx") >= 0; }));
            TickRow(caseList, L"Folionex_borito.docx", true);
            Close(dlg, IDOK);
            EXPECT_TRUE(WaitOpened(folder8));
        });
        EXPECT_EQ(Value(cover), CString(L"insertFields"));
        EXPECT_EQ(OpenedCount(), c.open ? 2u : 1u) << "no: only the case folder opened";
        std::vector<std::wstring> texts = DocxTexts(cover);
        for (const wchar_t* text : {c.name, c.address, c.email})
            EXPECT_TRUE(!*text || Holds(texts, text)) << CStringA(text).GetString();
        for (const wchar_t* placeholder : {L"[NR]", L"[EV]", L"[UGYFEL]", L"[ELLENFEL]", L"[UGYIRAT]", L"[TELEFON]"})
            EXPECT_TRUE(Holds(texts, placeholder)) << CStringA(placeholder).GetString();
        for (const wchar_t* placeholder : {L"[NEV]", L"[CIM]", L"[EMAIL]"})
            EXPECT_EQ(Holds(texts, placeholder), !*c.name) << CStringA(placeholder).GetString();

        std::vector<std::wstring> copy = DocxTexts(folder8 + L"\\Folionex_borito.docx");
        ASSERT_FALSE(copy.empty());
        EXPECT_EQ(copy.front(), L"8/2024.");
        EXPECT_EQ(copy.back(), L"8/2024.");
        EXPECT_TRUE(Holds(copy, L"Ügyfél: Kiss"));
        EXPECT_TRUE(Holds(copy, L"Ellenfél: Nagy"));
        EXPECT_TRUE(Holds(copy, L"Tárgy: Polgári"));
        EXPECT_TRUE(Holds(copy, L"Telefon: [TELEFON]"));
    }
}

// The options dialog alone: loading and saving its two bits.
class SablonFieldsDlgTest : public main_dialog_test::MainDialogFixture
{
};

TEST_F(SablonFieldsDlgTest, LoadsAndSavesTheTwoBits)
{
    const struct
    {
        int bits;
        bool select, insert;  // what the user leaves ticked
        int saved;
    } kCases[] = {
        {0, false, false, 0}, {1, true, false, 1}, {2, false, true, 2}, {3, true, true, 3},
        {0, true, true, 3},   {3, false, false, 0}, {1, false, true, 2}, {2, true, false, 1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.bits * 10 + c.saved);
        CSablonFieldsDlg dlg(c.bits);
        CWindowDriver driver([&] {
            HWND fields = WaitForWindow(L"#32770", kFieldsCaption);
            ASSERT_TRUE(fields);
            EXPECT_EQ(IsChecked(Control(fields, IDC_SABLON_SELECT)), (c.bits & 1) != 0);
            EXPECT_EQ(IsChecked(Control(fields, IDC_SABLON_INSERT)), (c.bits & 2) != 0);
            EXPECT_TRUE(Tick(Control(fields, IDC_SABLON_SELECT), c.select));
            EXPECT_TRUE(Tick(Control(fields, IDC_SABLON_INSERT), c.insert));
            ClickId(fields, IDOK);
        });
        EXPECT_EQ(dlg.DoModal(), IDOK);
        EXPECT_FALSE(driver.Join());
        EXPECT_EQ(dlg.m_nBits, c.saved);
    }
}

} // namespace
