// The statistics dialog over registers held in memory, and the about box
// opened from the main dialog's system menu.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "MainDialogTestSupport.h"
#include "app/AboutBox.h"
#include "app/StatsDlg.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/UgyiratStore.h"
#include "support/WindowDriver.h"

namespace {

using namespace testing_support;

// The screenshot folder named by FOLIONEX_SCREENSHOTS, or empty.
CString ScreenshotFolder()
{
    wchar_t folder[MAX_PATH] = {0};
    GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", folder, MAX_PATH);
    return folder;
}

struct Table
{
    std::vector<std::wstring> headings;
    std::vector<std::vector<std::wstring>> rows;
};

// Headings and cells of a report list of this process.
Table ReadList(HWND list)
{
    Table t;
    HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
    int columns = (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0);
    wchar_t text[256];
    for (int c = 0; c < columns; ++c) {
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT;
        col.pszText = text;
        col.cchTextMax = 256;
        text[0] = 0;
        SendMessageW(list, LVM_GETCOLUMNW, c, (LPARAM)&col);
        t.headings.push_back(text);
    }
    int rows = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (int r = 0; r < rows; ++r) {
        std::vector<std::wstring> row;
        for (int c = 0; c < columns; ++c) {
            LVITEMW item = {};
            item.iSubItem = c;
            item.pszText = text;
            item.cchTextMax = 256;
            text[0] = 0;
            SendMessageW(list, LVM_GETITEMTEXTW, r, (LPARAM)&item);
            row.push_back(text);
        }
        t.rows.push_back(row);
    }
    return t;
}

class StatsDlgTest : public main_dialog_test::MainDialogFixture
{
protected:
    void Add(int ev, int nr, LPCWSTR kind)
    {
        database->m_pStore->m_records[ev * 65536 + nr] = MakeRecord(ev, nr, L"Ügyfél", L"Ellenfél", kind);
    }

    // Opens the dialog over the store, reads its list, closes it with Esc.
    Table Open(LPCWSTR picture = NULL)
    {
        Table table;
        CStatsDlg dlg(database->m_pStore, NULL);
        CWindowDriver driver([&] {
            HWND wnd = WaitForWindow(L"#32770", L"Statisztika - összesítés ügyirat típusa / év szerint");
            ASSERT_TRUE(wnd);
            SendMessageW(wnd, WM_NULL, 0, 0);
            HWND list = Control(wnd, 1140);
            table = ReadList(list);
            DWORD style = (DWORD)SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
            EXPECT_TRUE(style & LVS_EX_GRIDLINES);
            EXPECT_TRUE(style & LVS_EX_FULLROWSELECT);
            if (picture && !ScreenshotFolder().IsEmpty()) {
                EXPECT_TRUE(SaveWindowBitmap(wnd, ScreenshotFolder() + L"\\" + picture));
            }
            PressKey(wnd, VK_ESCAPE);
        });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        EXPECT_FALSE(driver.Join());
        return table;
    }
};

TEST_F(StatsDlgTest, CountsByTypeAndYear)
{
    typedef std::vector<std::wstring> Row;
    struct Entry { int ev; LPCWSTR kind; };
    struct Case
    {
        const char* what;
        std::vector<Entry> cases;
        Row headings;
        std::vector<Row> rows;
    } cases[] = {
        {"empty", {}, {L"Ügyirat típusa", L"Összesen"}, {}},
        {"2019 and 2022: every year between", {{2019, L"Polgári"}, {2022, L"Polgári"}},
         {L"Ügyirat típusa", L"Összesen", L"2022", L"2021", L"2020", L"2019"},
         {{L"Polgári", L"2 db", L"1 db", L"", L"", L"1 db"}}},
        {"a case without type widens the years only", {{2020, L"Polgári"}, {2021, L""}},
         {L"Ügyirat típusa", L"Összesen", L"2021", L"2020"}, {{L"Polgári", L"1 db", L"", L"1 db"}}},
        {"types in code unit order", {{2024, L"bérlet"}, {2024, L"Polgári"}, {2023, L"Áfa"}, {2024, L"Áfa"},
                                      {2024, L"Áfa"}},
         {L"Ügyirat típusa", L"Összesen", L"2024", L"2023"},
         {{L"Polgári", L"1 db", L"1 db", L""}, {L"bérlet", L"1 db", L"1 db", L""}, {L"Áfa", L"3 db", L"2 db", L"1 db"}}},
        {"a year 0 beside 2024: only the years that occur", {{2024, L"Polgári"}, {0, L"Polgári"}},
         {L"Ügyirat típusa", L"Összesen", L"2024", L"0"}, {{L"Polgári", L"2 db", L"1 db", L"1 db"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        database->m_pStore->m_records.clear();
        int nr = 1;
        for (const Entry& e : c.cases)
            Add(e.ev, nr++, e.kind);
        Table t = Open();
        EXPECT_EQ(t.headings, c.headings);
        EXPECT_EQ(t.rows, c.rows);
    }
}

TEST_F(StatsDlgTest, Screenshot)
{
    if (ScreenshotFolder().IsEmpty())
        GTEST_SKIP() << "FOLIONEX_SCREENSHOTS is not set";
    struct { int ev; LPCWSTR kind; int count; } cases[] = {
        {2022, L"Polgári", 4}, {2023, L"Polgári", 7}, {2024, L"Polgári", 9}, {2025, L"Polgári", 3},
        {2023, L"Családjogi", 2}, {2025, L"Családjogi", 5}, {2024, L"Munkaügyi", 6}, {2022, L"Gazdasági", 1},
        {2025, L"Gazdasági", 8}, {2024, L"Büntető", 2},
    };
    int nr = 1;
    for (const auto& c : cases)
        for (int i = 0; i < c.count; ++i)
            Add(c.ev, nr++, c.kind);
    Open(L"statistics-dialog.bmp");
}

TEST(AboutBox, TheBuildStampReadsTheCompilersDateAndTime)
{
    struct Case { const char* date; const char* time; const wchar_t* stamp; } cases[] = {
        {"Mar 24 2025", "09:32:45", L"(2025.03.24. 09:32:45)"},
        {"Mar  4 2025", "23:01:00", L"(2025.03.04. 23:01:00)"},
        {"Jan  1 2026", "00:00:00", L"(2026.01.01. 00:00:00)"},
        {"Dec 31 1999", "12:00:00", L"(1999.12.31. 12:00:00)"},
        {"Xyz 10 2025", "10:10:10", L"(2025.13.10. 10:10:10)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CAboutBox::BuildStamp(c.date, c.time), CString(c.stamp)) << c.date;
    EXPECT_EQ(CAboutBox::VersionLine(L"1.2.3.4", "Mar 24 2025", "09:32:45"),
              CString(L"Program típus: többgépes (SQL szerver) változat. Verzió: 1.2.3.4 (2025.03.24. 09:32:45)"));
}

class AboutBoxTest : public main_dialog_test::MainDialogFixture
{
protected:
    CString openLog;

    void SetUp() override
    {
        MainDialogFixture::SetUp();
        database->m_pConnection->SetOnline(false);
    }

    struct Seen
    {
        CString caption, version, url;
        bool statusRewritten = false;
        std::string opened;   // what the shell's "open" verb received after a click on the link
    };

    // Opens the about box through the main dialog's system menu, reads it and
    // closes it with Esc.
    Seen OpenAbout(LPCWSTR picture = NULL, bool click = false)
    {
        Seen seen;
        CVelindoDlg dlg;
        theApp.m_pMainWnd = &dlg;
        CWindowDriver driver([&] {
            HWND main = WaitForWindow(L"Folionex", NULL);
            ASSERT_TRUE(main);
            HWND status = Control(main, 1028);
            SetWindowTextW(status, L"-");
            PostMessageW(main, WM_SYSCOMMAND, 0x10, 0);
            HWND about = WaitForWindow(L"#32770", L"Folionex névjegy");
            ASSERT_TRUE(about);
            SendMessageW(about, WM_NULL, 0, 0);
            seen.caption = Text(about);
            seen.version = Text(Control(about, 1035));
            LITEM item = {};
            item.mask = LIF_ITEMINDEX | LIF_URL;
            item.iLink = 0;
            SendMessageW(Control(about, 1036), LM_GETITEM, 0, (LPARAM)&item);
            seen.url = item.szUrl;
            if (click) {
                // A click on the link's first letters, where its text starts.
                HWND link = Control(about, 1036);
                PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
                PostMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
                WaitUntil([&] {
                    seen.opened = ReadFileBytes(openLog);
                    return seen.opened.find('\n') != std::string::npos;
                }, 10000);
            }
            if (picture && !ScreenshotFolder().IsEmpty()) {
                EXPECT_TRUE(SaveWindowBitmap(about, ScreenshotFolder() + L"\\" + picture));
            }
            PressKey(about, VK_ESCAPE);
            EXPECT_TRUE(WaitForWindowGone(about));
            seen.statusRewritten = WaitUntil([&] { return Text(status) != L"-"; });
            CloseBox(main);
        });
        dlg.DoModal();
        EXPECT_FALSE(driver.Join());
        theApp.m_pMainWnd = NULL;
        return seen;
    }
};

TEST_F(AboutBoxTest, ShowsTheVersionAndLinksToTheServer)
{
    struct Case { int length; bool taken; } cases[] = {{2083, true}, {2084, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::wstring server = L"https://vapi.example/";
        server.resize(c.length, L'x');
        env.Settings().WriteProfileString(L"Server", server.c_str());
        Seen seen = OpenAbout(c.taken ? L"about-box.bmp" : NULL);
        EXPECT_EQ(seen.caption, CString(L"Folionex névjegy"));
        // The product version as the resource script writes it, not as the
        // program looks it up.
        CString prefix = L"Program típus: többgépes (SQL szerver) változat. Verzió: " L"" FOLIONEX_RC_PRODUCT_VERSION
                         L" (";
        EXPECT_EQ(seen.version.Left(prefix.GetLength()), prefix);
        EXPECT_EQ(seen.url, c.taken ? CString(server.c_str()) : CString(L"HOMEPAGE_URL"));
        EXPECT_TRUE(seen.statusRewritten);
    }
}

TEST_F(AboutBoxTest, AClickOnTheLinkOpensTheServersAddress)
{
    openLog = env.Folder() + L"opened.txt";
    SetEnvironmentVariableW(L"FOLIONEX_FOLDER_OPEN_LOG", openLog);
    env.Settings().WriteProfileString(L"Server", L"https://vapi.example/informacio");
    Seen seen = OpenAbout(NULL, true);
    SetEnvironmentVariableW(L"FOLIONEX_FOLDER_OPEN_LOG", NULL);
    EXPECT_EQ(seen.opened.substr(0, seen.opened.find('\n')), "https://vapi.example/informacio");
}

TEST(ProgramManifest, FolionexExeAsksForCommonControls6)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(NULL, path, MAX_PATH);
    *wcsrchr(path, L'\\') = 0;
    wcscat(path, L"\\Folionex.exe");
    HMODULE exe = LoadLibraryExW(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe) << GetLastError();
    HRSRC res = FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_TRUE(res);
    std::string manifest((const char*)LockResource(LoadResource(exe, res)), SizeofResource(exe, res));
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    FreeLibrary(exe);
}

} // namespace
