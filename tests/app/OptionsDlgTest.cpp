// The options dialog opened from the main dialog's system menu, over a
// register of the test SQL server, driven as a user drives it: the backup
// part by the profile values, the frequency and predictive input switches,
// the dialogs it opens, the backup now against the web-service stand-in, and
// the one transfer at a time beside the background worker.
//
// The main dialog works offline here, so its own background worker never
// runs a scheduled step; where a test needs one, it starts a worker of its
// own.
#include <time.h>
#include "CaseFolderTestSupport.h"
#include "app/OptionsDlg.h"
#include "foundation/TransferLock.h"
#include "online/BackgroundProcess.h"
#include "resources/resource.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "support/WebServiceControl.h"

namespace {

using namespace testing_support;
using case_folder_test::ChooseInPicker;
using case_folder_test::kWarning;
using case_folder_test::PickerSelection;
using case_folder_test::RemoveFolderNow;
using oledb_standin::CTestSqlServer;

const wchar_t kOptionsCaption[] = L"Beállítások";
const wchar_t kProgressCaption[] = L"On-line mentés";
const wchar_t kTransferRunning[] =
    L"Egy on-line mentés vagy szinkronizálás éppen folyamatban van.\n\n"
    L"Kérjük, várja meg a végét, majd próbálja újra!";
const wchar_t kSkipLine[] = L"BackgroundProcess - another online transfer is running, the scheduled step is skipped";
const int kSearch = 1006;
const int kFilter = 1051;
// A restore or an upload behind the progress dialog takes its time.
const DWORD kTransferMs = 40000;

CString ScreenshotFolder()
{
    wchar_t folder[MAX_PATH] = {0};
    GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", folder, MAX_PATH);
    return folder;
}

bool Enabled(HWND dlg, int id)
{
    return IsWindowEnabled(Control(dlg, id)) != FALSE;
}

int ComboSelection(HWND dlg)
{
    return (int)SendMessageW(Control(dlg, IDC_OPT_FREQUENCY), CB_GETCURSEL, 0, 0);
}

// Selects a frequency entry (-1: none) and tells the dialog as the combo
// box does when the user picks from its list.
void ChooseFrequency(HWND dlg, int entry)
{
    HWND combo = Control(dlg, IDC_OPT_FREQUENCY);
    SendMessageW(combo, CB_SETCURSEL, (WPARAM)entry, 0);
    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDC_OPT_FREQUENCY, CBN_SELENDOK), (LPARAM)combo);
}

// Waits for a message box of this process with the caption, reads its
// text and closes it with OK.
CString AnswerBox(LPCWSTR caption)
{
    HWND box = WaitForWindow(L"#32770", caption, 10000);
    if (!box)
        return L"(no box)";
    CString text = ReadBox(box).text;
    Click(Control(box, IDOK));
    EXPECT_TRUE(WaitForWindowGone(box));
    return text;
}

class OptionsDlgTest : public main_dialog_test::MainDialogFixture
{
protected:
    void SetUp() override
    {
        MainDialogFixture::SetUp();
        ASSERT_TRUE(StandIn(L"/_control/reset")) << "the web-service stand-in does not answer";
        BackgroundProcess::SetCheckVersionCalls(1);
        OpenCentralRegister(server, {MakeRecord(2024, 1, L"Kovács Ödön", L"Nagy Kft.", L"Polgári"),
                                     MakeRecord(2024, 2, L"Tóth Ágnes", L"", L"Büntető")});
        database->m_pConnection->SetOnline(false);
        CAppSettings& settings = env.Settings();
        settings.WriteProfileString(L"Server", L"http://127.0.0.1/");
        settings.WriteProfileString(L"AccountId", L"iroda");

        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        base = CString(temp) + L"folionex-options";
        ASSERT_TRUE(RemoveFolderNow(base));
        root = base + L"\\Iratok";
        ASSERT_EQ(SHCreateDirectoryExW(NULL, root, NULL), ERROR_SUCCESS);
        database->m_pStore->DirRoot = root + L"\\";
    }

    void TearDown() override
    {
        EXPECT_TRUE(RemoveFolderNow(base));
        MainDialogFixture::TearDown();
    }

    void SetBackup(int frequency, int last, bool password)
    {
        env.Settings().WriteProfileInt(L"OMBackupFrequency", frequency);
        env.Settings().WriteProfileInt(L"OMLastBackup", last);
        env.Settings().SetOnlineBackupPassword(password ? L"titok jelszó" : L"");
    }

    int Profile(LPCWSTR key) { return env.Settings().GetProfileInt(key, -100); }

    // Runs the main dialog; the script gets it and closes it afterwards.
    void Run(const std::function<void(HWND)>& script)
    {
        RunMainDialog([&](HWND main) {
            script(main);
            PostMessageW(main, WM_CLOSE, 0, 0);
        });
    }

    static HWND OpenOptions(HWND main) { return main_dialog_test::OpenOptionsDialog(main); }

    // A search text and a filter entry in the main dialog, which only a
    // reload of its full list clears.
    static void Narrow(HWND main)
    {
        SetWindowTextW(Control(main, kSearch), L"kov");
        HWND filter = Control(main, kFilter);
        SendMessageW(filter, CB_SETCURSEL, 3, 0);
        SendMessageW(main, WM_COMMAND, MAKEWPARAM(kFilter, CBN_SELENDOK), (LPARAM)filter);
    }

    static bool Reloaded(HWND main)
    {
        return WaitUntil([&] {
            return Text(Control(main, kSearch)).IsEmpty() &&
                   SendMessageW(Control(main, kFilter), CB_GETCURSEL, 0, 0) == 0;
        });
    }

    static bool StillNarrowed(HWND main)
    {
        return Text(Control(main, kSearch)) == L"kov" && SendMessageW(Control(main, kFilter), CB_GETCURSEL, 0, 0) == 3;
    }

    // Waits for the progress dialog of the backup to end and closes it.
    static void FinishProgress(HWND progress)
    {
        ASSERT_TRUE(WaitUntil([&] { return Text(Control(progress, IDCANCEL)) == L"OK"; }, kTransferMs));
        Click(Control(progress, IDCANCEL));
        EXPECT_TRUE(WaitForWindowGone(progress));
    }

    static std::vector<StandInRequest> UploadRequests()
    {
        std::vector<StandInRequest> uploads;
        for (const StandInRequest& r : StandInRequests())
            if (r.path == "/VApi/UploadDB.aspx")
                uploads.push_back(r);
        return uploads;
    }

    static size_t Uploads() { return UploadRequests().size(); }

    // The work files' base name of today.
    CString WorkFileBase()
    {
        SYSTEMTIME now;
        GetLocalTime(&now);
        CString name;
        name.Format(L"%sdb_2_%d%02d%02d", (LPCWSTR)env.Folder(), now.wYear, now.wMonth, now.wDay);
        return name;
    }

    CTestSqlServer server;
    CString base;
    CString root;
};

TEST(OptionsDlgRules, DayCountAndFrequencyEncoding)
{
    const __int64 now = 1700000000;
    struct { __int64 ago; int days; } days[] = {
        {0, 0}, {5 * 3600, 0}, {6 * 3600 - 1, 0}, {6 * 3600, 1}, {7 * 3600, 1}, {30 * 3600 - 1, 1}, {31 * 3600, 2},
    };
    for (const auto& d : days)
        EXPECT_EQ(COptionsDlg::DaysSince(now, now - d.ago), d.days) << d.ago;
    struct { int stored, entry, result; } frequencies[] = {
        {1, 2, 3}, {2, 2, 3}, {32, 0, 1}, {33, 1, 34}, {34, 2, 35}, {0, 1, 2}, {-1, 0, 1},
    };
    for (const auto& f : frequencies)
        EXPECT_EQ(COptionsDlg::FrequencyForEntry(f.stored, f.entry), f.result) << f.stored << " " << f.entry;
}

TEST_F(OptionsDlgTest, TheBackupPartFollowsModeLastBackupAndPassword)
{
    const int now = (int)time(NULL);
    const CString none, sendLabel = L"Az automatikus on-line mentés gyakorisága:",
                        sendDays = L"Az utolsó on-line mentés óta eltelt napok száma:",
                        sendRole = L"rögzítő gép (rendszeres on-line mentés)",
                        syncLabel = L"Az automatikus szinkronizálás gyakorisága:",
                        syncDays = L"Az utolsó szinkronizálás óta eltelt napok száma:",
                        syncRole = L"lekérdező gép (rendszeres szinkronizálás)";
    struct Case
    {
        int frequency, last;
        bool password;
        CString label, daysLabel, role, days;
        bool comboShown;
        int selection;
    } cases[] = {
        {-1, 0, false, none, none, L"nincs beállítva", none, false, -2},
        {0, now - 5 * 3600, true, none, none, L"nincs beállítva", none, false, -2},
        {2, 0, true, sendLabel, sendDays, sendRole, L"-- még nem volt --", true, 1},
        {2, now - 5 * 3600, false, sendLabel, sendDays, sendRole, L"0 nap", true, 1},
        {34, now - 7 * 3600, true, syncLabel, syncDays, syncRole, L"1 nap", true, 1},
        {34, now - 31 * 3600, false, syncLabel, syncDays, syncRole, L"2 nap", true, 1},
        {5, now - 31 * 3600, true, sendLabel, sendDays, sendRole, L"2 nap", true, -1},
    };
    Run([&](HWND main) {
        // The main dialog's reminder of timer 100 is behind: "OMBackupFrequency"
        // -1 would bring it up.
        ASSERT_TRUE(WaitUntil([&] { return LogHas(L"Background process started."); }, 20000));
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.frequency << " " << (c.last ? now - c.last : 0) << " "
                                            << c.password);
            SetBackup(c.frequency, c.last, c.password);
            HWND dlg = OpenOptions(main);
            ASSERT_TRUE(dlg);
            EXPECT_EQ(Text(Control(dlg, IDC_OPT_FREQUENCY_LABEL)), c.label);
            EXPECT_EQ(Text(Control(dlg, IDC_OPT_DAYS_LABEL)), c.daysLabel);
            EXPECT_EQ(Text(Control(dlg, IDC_OPT_ROLE)), c.role);
            EXPECT_EQ(Text(Control(dlg, IDC_OPT_DAYS)), c.days);
            EXPECT_EQ(IsWindowVisible(Control(dlg, IDC_OPT_FREQUENCY)) != FALSE, c.comboShown);
            if (c.selection != -2) {
                EXPECT_EQ(ComboSelection(dlg), c.selection);
            }
            for (int id : {IDC_OPT_BACKUP_NOW, IDC_OPT_RESTORE, IDC_OPT_FREQUENCY})
                EXPECT_EQ(Enabled(dlg, id), c.password) << id;
            for (int id : {IDC_OPT_PASSWORD, IDC_OPT_IMPORT})
                EXPECT_TRUE(Enabled(dlg, id)) << id;
            if (c.frequency == 34 && c.password && !ScreenshotFolder().IsEmpty()) {
                EXPECT_TRUE(SaveWindowBitmap(dlg, ScreenshotFolder() + L"\\options-dialog.bmp"));
            }
            PressKey(dlg, VK_ESCAPE);
            ASSERT_TRUE(WaitForWindowGone(dlg));
        }
    });
    EXPECT_TRUE(LogHas(L"Show popup COptionsDlg"));
}

TEST_F(OptionsDlgTest, FrequencyAndPredictiveInputAreStoredAtOnce)
{
    SetBackup(2, 0, true);
    Run([&](HWND main) {
        HWND dlg = OpenOptions(main);
        ASSERT_TRUE(dlg);
        ChooseFrequency(dlg, 2);
        EXPECT_EQ(Profile(L"OMBackupFrequency"), 3);
        EXPECT_EQ(ComboSelection(dlg), 2);

        env.Settings().WriteProfileInt(L"OMBackupFrequency", 34);
        ChooseFrequency(dlg, 2);
        EXPECT_EQ(Profile(L"OMBackupFrequency"), 35);
        EXPECT_EQ(Text(Control(dlg, IDC_OPT_ROLE)), CString(L"lekérdező gép (rendszeres szinkronizálás)"));

        // With nothing selected the mode and the frequency stay.
        ChooseFrequency(dlg, -1);
        EXPECT_EQ(Profile(L"OMBackupFrequency"), 35);

        // Predictive input starts ticked (default 1).
        HWND box = Control(dlg, IDC_OPT_PREDICTIVE);
        EXPECT_TRUE(IsChecked(box));
        EXPECT_TRUE(Tick(box, false));
        EXPECT_TRUE(WaitUntil([&] { return Profile(L"InputPredictive") == 0; }));
        EXPECT_TRUE(Tick(box, true));
        EXPECT_TRUE(WaitUntil([&] { return Profile(L"InputPredictive") == 1; }));
        PressKey(dlg, VK_ESCAPE);
        EXPECT_TRUE(WaitForWindowGone(dlg));

        env.Settings().WriteProfileInt(L"InputPredictive", 0);
        dlg = OpenOptions(main);
        ASSERT_TRUE(dlg);
        EXPECT_FALSE(IsChecked(Control(dlg, IDC_OPT_PREDICTIVE)));
        PressKey(dlg, VK_ESCAPE);
        EXPECT_TRUE(WaitForWindowGone(dlg));
    });
}

// The dialogs that leave the options dialog open: each is owned by it (so
// it is disabled meanwhile) and closed by the test.
TEST_F(OptionsDlgTest, TheHubOpensItsDialogsOverItself)
{
    SetBackup(0, 0, false);
    const CString newRoot = root + L"\\Másik gyökér";
    ASSERT_EQ(SHCreateDirectoryExW(NULL, newRoot, NULL), ERROR_SUCCESS);
    Run([&](HWND main) {
        HWND dlg = OpenOptions(main);
        ASSERT_TRUE(dlg);
        EXPECT_EQ(Text(Control(dlg, IDC_OPT_ROOT)), root + L"\\");
        struct Hub { int button; LPCWSTR caption; } hubs[] = {
            {IDC_OPT_DBWIZARD, L"Adatbázis beállítása"},
            {IDC_OPT_STATS, L"Statisztika - összesítés ügyirat típusa / év szerint"},
        };
        for (const Hub& h : hubs) {
            SCOPED_TRACE(h.button);
            ClickId(dlg, h.button);
            HWND opened = WaitForWindow(L"#32770", h.caption, 10000);
            ASSERT_TRUE(opened);
            EXPECT_EQ(GetWindow(opened, GW_OWNER), dlg);
            EXPECT_FALSE(IsWindowEnabled(dlg));
            CloseBox(opened);
            EXPECT_TRUE(WaitForWindowGone(opened));
            EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(dlg) != FALSE; }));
        }

        // The template settings: a documents root chosen there shows here.
        ClickId(dlg, IDC_OPT_SABLON);
        HWND settings = WaitForWindow(L"#32770", L"Sablon fájlok kezelése");
        ASSERT_TRUE(settings);
        EXPECT_EQ(GetWindow(settings, GW_OWNER), dlg);
        ClickId(settings, IDC_SABLON_ROOT);
        HWND picker = WaitForWindow(L"#32770", L"A dokumentumok kezdőkönyvtárának kiválasztása");
        ASSERT_TRUE(picker);
        // It starts at the documents root; the new one is selected again
        // while the tree is still being filled.
        EXPECT_TRUE(WaitUntil([&] { return PickerSelection(picker) == L"Iratok"; }));
        EXPECT_TRUE(WaitUntil([&] {
            SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, (LPARAM)(LPCWSTR)newRoot);
            return PickerSelection(picker) == L"Másik gyökér";
        }));
        ChooseInPicker(picker, newRoot);
        ClickId(settings, IDCANCEL);
        EXPECT_TRUE(WaitForWindowGone(settings));
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(dlg, IDC_OPT_ROOT)) == newRoot + L"\\"; }));

        // The password and mode: a password set there enables the backup.
        EXPECT_FALSE(Enabled(dlg, IDC_OPT_BACKUP_NOW));
        ClickId(dlg, IDC_OPT_PASSWORD);
        HWND password = WaitForWindow(L"#32770", L"Online mentés titkosítása");
        ASSERT_TRUE(password);
        EXPECT_EQ(GetWindow(password, GW_OWNER), dlg);
        ClickId(password, IDC_OPW_MODE_SEND);
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(Control(password, IDC_OPW_FREQUENCY)) != FALSE; }));
        SendMessageW(Control(password, IDC_OPW_FREQUENCY), CB_SETCURSEL, 1, 0);
        SetWindowTextW(Control(password, IDC_OPW_PASSWORD), L"jelszó12");
        ClickId(password, IDOK);
        EXPECT_TRUE(WaitForWindowGone(password));
        EXPECT_TRUE(WaitUntil([&] {
            return Enabled(dlg, IDC_OPT_BACKUP_NOW) && Enabled(dlg, IDC_OPT_RESTORE) &&
                   Enabled(dlg, IDC_OPT_FREQUENCY);
        }));
        EXPECT_EQ(Text(Control(dlg, IDC_OPT_ROLE)), CString(L"rögzítő gép (rendszeres on-line mentés)"));
        EXPECT_EQ(ComboSelection(dlg), 1);
        PressKey(dlg, VK_ESCAPE);
        EXPECT_TRUE(WaitForWindowGone(dlg));
    });
    EXPECT_EQ(database->m_pStore->DirRoot, newRoot + L"\\");
    EXPECT_EQ(env.Settings().GetOnlineBackupPassword(0), CString(L"jelszó12"));
    EXPECT_EQ(Profile(L"OMBackupFrequency"), 2);
}

// Export and import end the options dialog with IDOK: the main dialog then
// reloads its full list.
TEST_F(OptionsDlgTest, ExportAndImportEndTheDialogAndTheListReloads)
{
    struct Case { int button; LPCWSTR caption; } cases[] = {
        {IDC_OPT_EXPORT, L"Adatok exportálása"},
        {IDC_OPT_IMPORT, L"Adatok importálása"},
    };
    Run([&](HWND main) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.button);
            Narrow(main);
            HWND dlg = OpenOptions(main);
            ASSERT_TRUE(dlg);
            ClickId(dlg, c.button);
            HWND opened = WaitForWindow(L"#32770", c.caption, 10000);
            ASSERT_TRUE(opened);
            EXPECT_EQ(GetWindow(opened, GW_OWNER), dlg);
            PressKey(opened, VK_ESCAPE);
            EXPECT_TRUE(WaitForWindowGone(opened));
            EXPECT_TRUE(WaitForWindowGone(dlg));
            EXPECT_TRUE(Reloaded(main));
        }
    });
    EXPECT_FALSE(CTransferLock::IsTaken());
}

TEST_F(OptionsDlgTest, EscAndTheCloseBoxCancelEnterConfirms)
{
    Run([&](HWND main) {
        Narrow(main);
        for (bool closeBox : {false, true}) {
            HWND dlg = OpenOptions(main);
            ASSERT_TRUE(dlg);
            if (closeBox)
                CloseBox(dlg);
            else
                PressKey(dlg, VK_ESCAPE);
            EXPECT_TRUE(WaitForWindowGone(dlg));
            // The main dialog handles what comes after the options dialog
            // before this marker.
            SendMessageW(main, WM_NULL, 0, 0);
            EXPECT_TRUE(StillNarrowed(main)) << closeBox;
        }
        HWND dlg = OpenOptions(main);
        ASSERT_TRUE(dlg);
        PressKey(dlg, VK_RETURN);
        EXPECT_TRUE(WaitForWindowGone(dlg));
        EXPECT_TRUE(Reloaded(main));
    });
}

TEST_F(OptionsDlgTest, FontResetPutsTheListFontBackAndStaysOpen)
{
    // Without a stored size the list stores the height it starts with.
    env.Settings().WriteProfileInt(L"FontSizeInList", 0);
    Run([&](HWND main) {
        ASSERT_TRUE(WaitUntil([&] { return Profile(L"FontSizeInList") != 0; }));
        const int initial = Profile(L"FontSizeInList");
        int expected = initial;
        for (int step = 0; step < 2; ++step) {
            expected = CVelindoListCtrl::NextFontHeight(expected, initial, false);
            PostMessageW(main, WM_HOTKEY, 1, MAKELPARAM(MOD_CONTROL, 'B'));
            EXPECT_TRUE(WaitUntil([&] { return Profile(L"FontSizeInList") == expected; })) << step;
        }
        ASSERT_NE(expected, initial);
        HWND dlg = OpenOptions(main);
        ASSERT_TRUE(dlg);
        ClickId(dlg, IDC_OPT_FONT_RESET);
        EXPECT_TRUE(WaitUntil([&] { return Profile(L"FontSizeInList") == initial; }));
        SendMessageW(dlg, WM_NULL, 0, 0);
        EXPECT_TRUE(IsWindowVisible(dlg));
        PressKey(dlg, VK_ESCAPE);
        EXPECT_TRUE(WaitForWindowGone(dlg));
    });
}

// What the dialog paints into a bitmap of its client size, and the brushes
// it hands its controls.
TEST_F(OptionsDlgTest, BandsGroundAndControlColours)
{
    const COLORREF ground = RGB(0xD0, 0xD0, 0xD0), band = RGB(0x40, 0x40, 0x40);
    SetBackup(2, 0, true);
    Run([&](HWND main) {
        HWND dlg = OpenOptions(main);
        ASSERT_TRUE(dlg);
        RECT client;
        GetClientRect(dlg, &client);
        CDibCanvas canvas(client.right, client.bottom, RGB(0xFF, 0xFF, 0xFF));
        SendMessageW(dlg, WM_ERASEBKGND, (WPARAM)canvas.dc, 0);
        RECT first = RectInParent(Control(dlg, IDC_OPT_DATABASE_BAND));
        RECT documents = RectInParent(Control(dlg, IDC_OPT_DOCUMENTS_BAND));
        RECT archive = RectInParent(Control(dlg, IDC_OPT_ARCHIVE_BAND));
        const int a = first.top, right = client.right - 1;
        ASSERT_GT(a, 0);
        EXPECT_EQ(canvas.Pixel(right, 0), band) << "the first band starts at the top";
        EXPECT_EQ(canvas.Pixel(right, first.bottom + a - 1), band);
        EXPECT_EQ(canvas.Pixel(right, first.bottom + a), ground);
        EXPECT_EQ(canvas.Pixel(right, (archive.top + archive.bottom) / 2), band) << "inside the band of 1104";
        EXPECT_EQ(canvas.Pixel(0, archive.top - a), band);
        EXPECT_EQ(canvas.Pixel(0, archive.top - a - 1), ground);
        EXPECT_EQ(canvas.Pixel(1, (documents.bottom + a + archive.top - a) / 2), ground) << "between two bands";

        auto brushColour = [&](UINT message, int id) {
            HBRUSH brush = (HBRUSH)SendMessageW(dlg, message, (WPARAM)canvas.dc, (LPARAM)Control(dlg, id));
            LOGBRUSH lb = {};
            if (!brush || !GetObjectW(brush, sizeof(lb), &lb) || lb.lbStyle != BS_SOLID)
                return (COLORREF)-1;
            return lb.lbColor;
        };
        SetBkMode(canvas.dc, OPAQUE);
        EXPECT_EQ(brushColour(WM_CTLCOLORSTATIC, IDC_OPT_PREDICTIVE), ground);
        EXPECT_EQ(GetBkMode(canvas.dc), TRANSPARENT);
        EXPECT_EQ(brushColour(WM_CTLCOLORBTN, IDC_OPT_BACKUP_NOW), ground);
        SetBkMode(canvas.dc, OPAQUE);
        HBRUSH role = (HBRUSH)SendMessageW(dlg, WM_CTLCOLORSTATIC, (WPARAM)canvas.dc, (LPARAM)Control(dlg, IDC_OPT_ROLE));
        EXPECT_EQ(role, (HBRUSH)GetStockObject(NULL_BRUSH));
        EXPECT_EQ(GetBkMode(canvas.dc), TRANSPARENT);
        HBRUSH folder = (HBRUSH)SendMessageW(dlg, WM_CTLCOLORSTATIC, (WPARAM)canvas.dc, (LPARAM)Control(dlg, IDC_OPT_ROOT));
        EXPECT_NE(folder, (HBRUSH)GetStockObject(NULL_BRUSH)) << "the folder keeps its own ground";
        PressKey(dlg, VK_ESCAPE);
        EXPECT_TRUE(WaitForWindowGone(dlg));
    });
}

// "&Mentés most" against the stand-in, the upload held up there: meanwhile
// the worker's scheduled backup, due now, is left out of its pass. Once the
// upload is through, the day count starts again.
TEST_F(OptionsDlgTest, BackupNowUploadsAndTheWorkerSkipsItsScheduledStepMeanwhile)
{
    SetBackup(2, 0, true);
    ASSERT_TRUE(StandIn(L"/_control/fault", "path=/VApi/UploadDB.aspx\nmode=stall\nafter=-1\nseconds=3\n"));
    Run([&](HWND main) {
        HWND dlg = OpenOptions(main);
        ASSERT_TRUE(dlg);
        EXPECT_EQ(Text(Control(dlg, IDC_OPT_DAYS)), CString(L"-- még nem volt --"));
        ClickId(dlg, IDC_OPT_BACKUP_NOW);
        HWND progress = WaitForWindow(L"#32770", kProgressCaption, 20000);
        ASSERT_TRUE(progress);
        EXPECT_EQ(GetWindow(progress, GW_OWNER), dlg);
        ASSERT_TRUE(WaitUntil([] { return Uploads() == 1; }, kTransferMs));
        EXPECT_TRUE(CTransferLock::IsTaken());
        {
            BackgroundProcess worker;
            worker.SetWorkMode(true, false);
            ASSERT_TRUE(worker.Start());
            EXPECT_TRUE(WaitUntil([&] { return LogHas(kSkipLine); }, 20000));
            EXPECT_TRUE(WaitUntil([&] { return worker.GetState() == BackgroundProcess::STATE_FINISHED; }, 20000));
        }
        FinishProgress(progress);
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(dlg, IDC_OPT_DAYS)) == L"0 nap"; }));
        EXPECT_FALSE(CTransferLock::IsTaken());
        PressKey(dlg, VK_ESCAPE);
        EXPECT_TRUE(WaitForWindowGone(dlg));
    });
    std::vector<StandInRequest> uploads = UploadRequests();
    ASSERT_EQ(uploads.size(), 1u) << "only the upload of the button";
    EXPECT_TRUE(ReadFileBytes(WorkFileBase() + L".zip") == uploads[0].body);
    EXPECT_EQ(uploads[0].query, "iroda");
    EXPECT_GT(Profile(L"OMLastBackup"), 0);
}

// "&Mentés most", then "Mentés &visszatöltése" of that upload into the
// central database: declined at its first question the options dialog
// stays; run through, it ends with IDOK and the main dialog reloads. Working
// online here (the restore writes the central table); the scheduled backup
// of the main dialog's worker is not due.
TEST_F(OptionsDlgTest, RestoreOfTheUploadEndsTheDialogADeclinedOneLeavesItOpen)
{
    SetBackup(2, (int)time(NULL) - 31 * 3600, true);
    database->m_pConnection->SetOnline(true);
    Run([&](HWND main) {
        Narrow(main);
        HWND dlg = OpenOptions(main);
        ASSERT_TRUE(dlg);
        EXPECT_EQ(Text(Control(dlg, IDC_OPT_DAYS)), CString(L"2 nap"));
        ClickId(dlg, IDC_OPT_BACKUP_NOW);
        HWND progress = WaitForWindow(L"#32770", kProgressCaption, 20000);
        ASSERT_TRUE(progress);
        FinishProgress(progress);
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(dlg, IDC_OPT_DAYS)) == L"0 nap"; }));

        for (bool runThrough : {false, true}) {
            SCOPED_TRACE(runThrough);
            ClickId(dlg, IDC_OPT_RESTORE);
            HWND box = WaitForWindow(L"#32770", L"On-line mentés letöltése", 20000);
            ASSERT_TRUE(box);
            EXPECT_TRUE(CTransferLock::IsTaken());
            ClickId(box, runThrough ? IDOK : IDCANCEL);
            EXPECT_TRUE(WaitForWindowGone(box));
            if (!runThrough) {
                SendMessageW(dlg, WM_NULL, 0, 0);
                EXPECT_TRUE(IsWindowVisible(dlg));
                continue;
            }
            HWND transfer = WaitForWindow(L"#32770", L"A on-line mentés visszatöltése", kTransferMs);
            ASSERT_TRUE(transfer);
            ASSERT_TRUE(WaitUntil([&] { return Text(Control(transfer, IDCANCEL)) == L"Tovább"; }, kTransferMs));
            Click(Control(transfer, IDCANCEL));
            HWND counts = WaitForWindow(L"#32770", L"On-line mentés betöltése", kTransferMs);
            ASSERT_TRUE(counts);
            ClickId(counts, IDYES);
            HWND loader = WaitForWindow(L"#32770", L"Adatok betöltése", kTransferMs);
            ASSERT_TRUE(loader);
            ASSERT_TRUE(WaitUntil([&] { return Text(Control(loader, IDCANCEL)) == L"OK"; }, kTransferMs));
            Click(Control(loader, IDCANCEL));
            EXPECT_TRUE(WaitForWindowGone(dlg, kTransferMs));
            EXPECT_TRUE(Reloaded(main));
        }
    });
    EXPECT_FALSE(CTransferLock::IsTaken());
    EXPECT_EQ(database->m_pStore->m_records.size(), 2u);
}

// A backup that ends before any window shows is told here.
TEST_F(OptionsDlgTest, BackupNowTellsWhatEndedItBeforeItsWindow)
{
    struct Case
    {
        const char* what;
        std::function<void()> prepare;
        LPCWSTR text;
    } cases[] = {
        {"the password went meanwhile", [this] { env.Settings().SetOnlineBackupPassword(L""); },
         L"Nincs beállítva az on-line mentés jelszava."},
        {"a folder in the place of the XML work file",
         [this] { ASSERT_EQ(SHCreateDirectoryExW(NULL, WorkFileBase() + L".xml", NULL), ERROR_SUCCESS); },
         L"Az on-line mentés nem sikerült: a mentendő adatokat nem lehetett kiírni."},
    };
    SetBackup(2, 0, true);
    Run([&](HWND main) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            env.Settings().SetOnlineBackupPassword(L"titok jelszó");
            HWND dlg = OpenOptions(main);
            ASSERT_TRUE(dlg);
            c.prepare();
            ClickId(dlg, IDC_OPT_BACKUP_NOW);
            EXPECT_EQ(AnswerBox(kWarning), CString(c.text));
            EXPECT_FALSE(FindTopWindow(L"#32770", kProgressCaption));
            PressKey(dlg, VK_ESCAPE);
            EXPECT_TRUE(WaitForWindowGone(dlg));
            RemoveFolder(WorkFileBase() + L".xml");
        }
    });
    EXPECT_EQ(Uploads(), 0u);
    EXPECT_EQ(Profile(L"OMLastBackup"), 0);
    EXPECT_TRUE(LogHas(L"COptionsDlg - online backup not started: no password"));
    EXPECT_TRUE(LogHas(L"COptionsDlg - online backup failed: the backup XML was not written"));
}

// While the worker's scheduled backup runs (its upload held up by the
// stand-in), the backup, the restore and the import of the options dialog
// are refused; once the worker is through they start again.
TEST_F(OptionsDlgTest, TheWorkersScheduledBackupRefusesBackupRestoreAndImport)
{
    SetBackup(2, 0, true);
    ASSERT_TRUE(StandIn(L"/_control/fault", "path=/VApi/UploadDB.aspx\nmode=stall\nafter=-1\nseconds=15\n"));
    Run([&](HWND main) {
        HWND dlg = OpenOptions(main);
        ASSERT_TRUE(dlg);
        {
            BackgroundProcess worker;
            worker.SetWorkMode(true, false);
            ASSERT_TRUE(worker.Start());
            ASSERT_TRUE(WaitUntil([] { return Uploads() == 1; }, kTransferMs));
            for (int id : {IDC_OPT_BACKUP_NOW, IDC_OPT_RESTORE, IDC_OPT_IMPORT}) {
                SCOPED_TRACE(id);
                ASSERT_TRUE(CTransferLock::IsTaken());
                ClickId(dlg, id);
                EXPECT_EQ(AnswerBox(kWarning), CString(kTransferRunning));
                SendMessageW(dlg, WM_NULL, 0, 0);
                EXPECT_TRUE(IsWindowVisible(dlg));
            }
            EXPECT_TRUE(WaitUntil([&] { return worker.GetState() == BackgroundProcess::STATE_FINISHED; }, kTransferMs));
        }
        EXPECT_TRUE(LogHas(L"On-line backup executed successfully."));
        EXPECT_FALSE(CTransferLock::IsTaken());
        ClickId(dlg, IDC_OPT_IMPORT);
        HWND import = WaitForWindow(L"#32770", L"Adatok importálása", 10000);
        ASSERT_TRUE(import);
        EXPECT_TRUE(CTransferLock::IsTaken()) << "the import holds the transfer";
        PressKey(import, VK_ESCAPE);
        EXPECT_TRUE(WaitForWindowGone(dlg));
    });
    EXPECT_EQ(Uploads(), 1u);
    for (LPCWSTR what : {L"online backup", L"online restore", L"import"})
        EXPECT_TRUE(LogHas(std::wstring(L"COptionsDlg - ") + what + L" refused: another online transfer is running"))
            << CStringA(what).GetString();
}

} // namespace
