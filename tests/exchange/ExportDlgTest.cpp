// The export dialog driven in-process as a user would: the choice of format
// and file, the save dialog, the export with its question, a failed export.
#include <gtest/gtest.h>
#include <windows.h>
#include <dlgs.h>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>
#include "../afx/WindowTestSupport.h"
#include "../storage/StorageTestSupport.h"
#include "exchange/ExportDlg.h"
#include "foundation/Conversions.h"
#include "foundation/Log.h"
#include "resources/resource.h"
#include "storage/UgyiratStore.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"

namespace {

using namespace testing_support;

const wchar_t kTitle[] = L"Adatok exportálása";
const wchar_t kBrowseTitle[] = L"Export fájl kiválasztása";
const wchar_t kBoxTitle[] = L"Exportálás";
const wchar_t kDone[] = L"Az exportálás sikeresen megtörtént. Megnyissam az elkészült fájlt?";
const wchar_t kFailed[] = L"Az exportálás nem sikerült, a korábbi fájl változatlan maradt.";
const char kOldBytes[] = "the previous export\r\n";

// What a save dialog showed before the script answered it.
struct SaveDialogLook
{
    std::vector<CString> fileTypes;
    CString fileName;
    CString folder;
};

class ExportDlgTest : public ::testing::Test
{
protected:
    ExportDlgTest() : env(L"ExportDlgTest") {}

    void SetUp() override
    {
        window_test::InitOnce();
        LogSetPrefix(NULL);
        LogResetPath();
        auto central = MakeCentralTable(env.Folder() + L"central.db");
        ASSERT_TRUE(central);
        ASSERT_TRUE(central->Insert(MakeRecord(2024, 1, L"Kiss Ádám", L"Nagy Éva", L"Polgári", L"")));
        table = new CFailingTable(central.release());
        store.reset(new CUgyiratStore(table));
        store->DirRoot = env.Folder();
        rtf = store->DirRoot + L"Folionex.rtf";
        html = store->DirRoot + L"Folionex.html";
        csv = store->DirRoot + L"Folionex.txt";
    }

    // Runs the dialog while script drives it; the dialog's result.
    INT_PTR Drive(const std::function<void(HWND)>& script)
    {
        window_test::CWatchdog watchdog(90000);
        CWindowDriver driver([&] {
            HWND wnd = WaitForWindow(L"#32770", kTitle);
            ASSERT_TRUE(wnd);
            script(wnd);
        });
        CExportDlg dlg(*store);
        INT_PTR result = dlg.DoModal();
        EXPECT_FALSE(driver.Join()) << "the dialog had to be ended by the watchdog";
        return result;
    }

    // Presses a button that ends the dialog.
    static void CloseWith(HWND wnd, int id)
    {
        ClickId(wnd, id);
        EXPECT_TRUE(WaitForWindowGone(wnd));
    }

    static bool Shows(HWND wnd, int radio, const CString& path)
    {
        return WaitUntil([&] {
            for (int id : {IDC_EXPORT_RTF, IDC_EXPORT_HTML, IDC_EXPORT_CSV})
                if (IsChecked(Control(wnd, id)) != (id == radio))
                    return false;
            return Text(Control(wnd, IDC_EXPORT_PATH)) == path;
        });
    }

    // Browse: notes what the save dialog shows, then confirms the path given
    // or, without one, cancels.
    static SaveDialogLook Browse(HWND wnd, LPCWSTR choose)
    {
        SaveDialogLook look;
        ClickId(wnd, IDC_EXPORT_BROWSE);
        HWND save = WaitForWindow(L"#32770", kBrowseTitle);
        EXPECT_TRUE(save) << "the save dialog with its title";
        if (!save)
            return look;
        HWND types = Control(save, cmb1);
        EXPECT_TRUE(WaitUntil([&] { return SendMessageW(types, CB_GETCOUNT, 0, 0) > 0; }));
        int n = (int)SendMessageW(types, CB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; i++) {
            wchar_t buf[128] = {0};
            SendMessageW(types, CB_GETLBTEXT, i, (LPARAM)buf);
            look.fileTypes.push_back(buf);
        }
        look.fileName = Text(Control(save, cmb13));
        wchar_t folder[MAX_PATH] = {0};
        SendMessageW(save, CDM_GETFOLDERPATH, MAX_PATH, (LPARAM)folder);
        look.folder = folder;
        if (choose) {
            SetWindowTextW(Control(save, cmb13), choose);
            ClickId(save, IDOK);
        } else {
            ClickId(save, IDCANCEL);
        }
        EXPECT_TRUE(WaitForWindowGone(save));
        return look;
    }

    CStorageEnvironment env;
    CFailingTable* table = nullptr;
    std::unique_ptr<CUgyiratStore> store;
    CString rtf, html, csv;
};

const std::vector<CString> kRtfTypes = {L"Word fájlok (RTF)", L"Minden fájl"};
const std::vector<CString> kHtmlTypes = {L"HTML fájlok", L"Minden fájl"};
const std::vector<CString> kTextTypes = {L"Szöveg fájlok", L"Minden fájl"};

TEST_F(ExportDlgTest, OpensOnHtmlAndEachChoiceShowsItsPath)
{
    CString logPath = env.Folder() + AfxGetApp()->m_pszAppName + L".log";
    INT_PTR result = Drive([&](HWND wnd) {
        EXPECT_TRUE(Shows(wnd, IDC_EXPORT_HTML, html)) << "the first look";
        EXPECT_TRUE(GetWindowLongW(Control(wnd, IDC_EXPORT_PATH), GWL_STYLE) & ES_READONLY);
        ClickId(wnd, IDC_EXPORT_RTF);
        EXPECT_TRUE(Shows(wnd, IDC_EXPORT_RTF, rtf));
        ClickId(wnd, IDC_EXPORT_CSV);
        EXPECT_TRUE(Shows(wnd, IDC_EXPORT_CSV, csv));
        ClickId(wnd, IDC_EXPORT_HTML);
        EXPECT_TRUE(Shows(wnd, IDC_EXPORT_HTML, html));
        CloseWith(wnd, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    std::vector<std::wstring> lines = ReadLogTexts(logPath);
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"Show popup CExportDlg"), lines.end());
    for (LPCWSTR path : {(LPCWSTR)rtf, (LPCWSTR)html, (LPCWSTR)csv})
        EXPECT_FALSE(FileExists(path)) << "cancel exports nothing";
}

TEST_F(ExportDlgTest, BrowseOffersTheFilterOfTheChoiceAndKeepsEachChosenPath)
{
    CString folder = store->DirRoot.Left(store->DirRoot.GetLength() - 1);
    CString chosenRtf = folder + L"\\választott.rtf", chosenCsv = folder + L"\\választott.csv";
    INT_PTR result = Drive([&](HWND wnd) {
        struct Case
        {
            int radio;
            const std::vector<CString>& types;
            CString name;
            CString choose;  // empty: the save dialog is cancelled
            CString shown;
        } cases[] = {
            {IDC_EXPORT_RTF, kRtfTypes, L"Folionex.rtf", chosenRtf, chosenRtf},
            {IDC_EXPORT_HTML, kHtmlTypes, L"Folionex.html", L"", html},
            {IDC_EXPORT_CSV, kTextTypes, L"Folionex.txt", chosenCsv, chosenCsv},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.radio);
            ClickId(wnd, c.radio);
            ASSERT_TRUE(WaitUntil([&] { return IsChecked(Control(wnd, c.radio)); }));
            SaveDialogLook look = Browse(wnd, c.choose.IsEmpty() ? NULL : (LPCWSTR)c.choose);
            EXPECT_EQ(look.fileTypes, c.types);
            EXPECT_EQ(look.fileName, c.name);
            EXPECT_EQ(look.folder.TrimRight(L'\\').MakeLower(), CString(folder).MakeLower());
            EXPECT_TRUE(Shows(wnd, c.radio, c.shown));
        }
        // Each format keeps its own path while the dialog is open.
        ClickId(wnd, IDC_EXPORT_RTF);
        EXPECT_TRUE(Shows(wnd, IDC_EXPORT_RTF, chosenRtf));
        ClickId(wnd, IDC_EXPORT_HTML);
        EXPECT_TRUE(Shows(wnd, IDC_EXPORT_HTML, html));
        ClickId(wnd, IDC_EXPORT_CSV);
        EXPECT_TRUE(Shows(wnd, IDC_EXPORT_CSV, chosenCsv));
        // The save dialog starts from the chosen file; cancelling keeps it.
        SaveDialogLook again = Browse(wnd, NULL);
        EXPECT_EQ(again.fileName, L"választott.csv");
        EXPECT_TRUE(Shows(wnd, IDC_EXPORT_CSV, chosenCsv));
        CloseWith(wnd, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(FileExists(chosenRtf));
    EXPECT_FALSE(FileExists(chosenCsv));
}

TEST_F(ExportDlgTest, OkExportsAndAsksWhetherToOpenTheFile)
{
    CString box;
    INT_PTR result = Drive([&](HWND wnd) {
        ClickId(wnd, IDC_EXPORT_CSV);
        ASSERT_TRUE(Shows(wnd, IDC_EXPORT_CSV, csv));
        ClickId(wnd, IDOK);
        HWND question = WaitForWindow(L"#32770", kBoxTitle);
        ASSERT_TRUE(question);
        box = Text(Control(question, 0xFFFF));
        EXPECT_TRUE(Control(question, IDYES) && Control(question, IDNO));
        // Yes would start a viewer.
        ClickId(question, IDNO);
        EXPECT_TRUE(WaitForWindowGone(wnd));
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(box, kDone);
    CStringA row = WideToCp1250(L"2024\t1\t\"Kiss Ádám\"\t\"Nagy Éva\"\t\"Polgári\"\t\"\"\r\n");
    EXPECT_EQ(ReadFileBytes(csv), std::string(row.GetString(), row.GetLength()));
}

TEST_F(ExportDlgTest, AFailedExportIsToldAndKeepsTheFile)
{
    WriteFileBytes(html, kOldBytes);
    table->failOpen = true;  // the central table cannot be read (offline)
    CString box;
    INT_PTR result = Drive([&](HWND wnd) {
        ASSERT_TRUE(Shows(wnd, IDC_EXPORT_HTML, html));
        ClickId(wnd, IDOK);
        HWND error = WaitForWindow(L"#32770", kBoxTitle);
        ASSERT_TRUE(error);
        box = Text(Control(error, 0xFFFF));
        ClickId(error, IDOK);
        EXPECT_TRUE(WaitForWindowGone(wnd));
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(box, kFailed);
    EXPECT_EQ(ReadFileBytes(html), kOldBytes);
    EXPECT_FALSE(FileExists(html + L".new"));
}

TEST_F(ExportDlgTest, ASecondOpeningStartsFromTheDefaults)
{
    CString chosen = store->DirRoot + L"másik.txt";
    Drive([&](HWND wnd) {
        ClickId(wnd, IDC_EXPORT_CSV);
        ASSERT_TRUE(Shows(wnd, IDC_EXPORT_CSV, csv));
        Browse(wnd, chosen);
        EXPECT_TRUE(Shows(wnd, IDC_EXPORT_CSV, chosen));
        CloseWith(wnd, IDCANCEL);
    });
    Drive([&](HWND wnd) {
        EXPECT_TRUE(Shows(wnd, IDC_EXPORT_HTML, html));
        ClickId(wnd, IDC_EXPORT_CSV);
        EXPECT_TRUE(Shows(wnd, IDC_EXPORT_CSV, csv));
        CloseWith(wnd, IDCANCEL);
    });
}

// A documents root longer than the save dialog's buffers: the path goes in
// cut to the buffer, and a cancelled browse keeps the whole path.
TEST_F(ExportDlgTest, ALongerPathThanTheBrowseBuffersIsCut)
{
    store->DirRoot = CString(L"C:\\") + CString(std::wstring(1100, L'a').c_str()) + L"\\";
    CString longHtml = store->DirRoot + L"Folionex.html";
    INT_PTR result = Drive([&](HWND wnd) {
        EXPECT_TRUE(Shows(wnd, IDC_EXPORT_HTML, longHtml));
        Browse(wnd, NULL);
        EXPECT_TRUE(Shows(wnd, IDC_EXPORT_HTML, longHtml));
        CloseWith(wnd, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
}

// A picture for the documentation: FOLIONEX_SCREENSHOTS names a folder.
TEST_F(ExportDlgTest, Screenshot)
{
    wchar_t folder[MAX_PATH] = {0};
    if (!GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", folder, MAX_PATH))
        GTEST_SKIP() << "FOLIONEX_SCREENSHOTS is not set";
    store->DirRoot = L"C:\\Users\\Iroda\\Documents\\";
    bool saved = false;
    Drive([&](HWND wnd) {
        EXPECT_TRUE(Shows(wnd, IDC_EXPORT_HTML, L"C:\\Users\\Iroda\\Documents\\Folionex.html"));
        // Painted before the picture is taken: the redraw returns after the paint.
        RedrawWindow(wnd, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        saved = SaveWindowBitmap(wnd, CString(folder) + L"\\export-dialog.bmp") != false;
        CloseWith(wnd, IDCANCEL);
    });
    EXPECT_TRUE(saved);
}

} // namespace
