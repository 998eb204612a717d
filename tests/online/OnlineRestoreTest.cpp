// The online restore from the web-service stand-in into the test SQL server
// and into the local backup file, driven through its boxes and dialogs as a
// user would: what it writes, what it asks, and the failures that leave
// everything as it was.
#include <gtest/gtest.h>
#include <time.h>
#include <windows.h>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>
#include "../afx/WindowTestSupport.h"
#include "../storage/StorageTestSupport.h"
#include "OnlineTestSupport.h"
#include "TestSqlServer.h"
#include "TransferTestSupport.h"
#include "foundation/Conversions.h"
#include "foundation/Progress.h"
#include "foundation/RegisteredMessages.h"
#include "online/CompareDlg.h"
#include "online/OnlineBackup.h"
#include "online/OnlineRestore.h"
#include "online/TransferManager.h"
#include "resource.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/CtUgyirat_SqlServer.h"
#include "storage/DatabaseContext.h"
#include "storage/StoreBusy.h"
#include "storage/UgyiratStore.h"
#include "support/FailingAllocator.h"
#include "support/TestSupport.h"
#include "support/WebServiceControl.h"
#include "support/WindowDriver.h"

namespace {

using namespace testing_support;
using oledb_standin::CTestSqlServer;

using namespace online_test;

const wchar_t kCaptionDownload[] = L"On-line mentés letöltése";
const wchar_t kCaptionLoad[] = L"On-line mentés betöltése";
const wchar_t kTransferTitle[] = L"A on-line mentés visszatöltése";
const wchar_t kLoaderTitle[] = L"Adatok betöltése";
const wchar_t kNoAddress[] = L"A letöltés helyének meghatározása nem sikerült!";
const wchar_t kNotObtained[] = L"A mentett adatok megszerzése nem sikerült!";

// The backup XML writes a double quote of a text (but the CC) as an apostrophe.
CUgyiratRecord AsRestored(CUgyiratRecord r)
{
    for (WCHAR* text : {r.UgyfelNeve, r.EllenfelNeve, r.UgyJellege, r.Megjegyzes, r.Hataridok})
        for (WCHAR* p = text; *p; ++p)
            if (*p == L'"')
                *p = L'\'';
    return r;
}

// One window the user answers: found by its title, then acted on.
struct Step
{
    std::wstring title;
    std::function<void(HWND)> act;
};

// Waits for the dialog's button to show the caption, then presses it.
std::function<void(HWND)> PressWhenShown(LPCWSTR caption)
{
    std::wstring want = caption;
    return [want](HWND dialog) {
        ASSERT_TRUE(WaitUntil([&] { return std::wstring(Text(Control(dialog, IDCANCEL))) == want; }, 60000))
            << CStringA(Text(Control(dialog, IDCANCEL))).GetString();
        Click(Control(dialog, IDCANCEL));
    };
}

std::function<void(HWND)> Press(int id)
{
    return [id](HWND box) { ClickId(box, id); };
}

// A message box of the program (no title of its own here): its text, then OK.
Step Message(LPCWSTR text)
{
    std::wstring want = text;
    return {L"", [want](HWND box) {
                EXPECT_EQ(std::wstring(ReadBox(box).text), want);
                ClickId(box, IDOK);
            }};
}

class OnlineRestoreTest : public COnlineRegisterTest
{
public:
    OnlineRestoreTest() : COnlineRegisterTest(L"OnlineRestoreTest") {}

    // Since the backup: one case added, one edited, one deleted, one state switched.
    void ChangeRegister()
    {
        ASSERT_TRUE(store().Insert(MakeRecord(2025, 8, L"Új Ügyfél")));
        CUgyiratRecord edited = *store().Find(MakeUgyiratKey(2024, 2));
        CopyField(edited.UgyfelNeve, L"Tóth Ágnes dr.");
        ASSERT_TRUE(store().Update(MakeUgyiratKey(2024, 2), edited));
        ASSERT_TRUE(store().Delete(MakeUgyiratKey(2025, 7)));
        store().SetAllapot(2024, 1, 0);
    }

    Snapshot Central()
    {
        CtUgyirat_SqlServer table(context->m_pConnection->GetConnectionString());
        return ReadTable(table);
    }

    Snapshot BackupFile() { return ReadBackupFile(env.BackupPath()); }

    // The register as it is now, uploaded; the uploaded cases as a restore gives them back.
    Snapshot BackUp()
    {
        EXPECT_EQ(COnlineBackup().Upload(NULL), 0);
        env.Settings().WriteProfileInt(L"OMLastBackup", kEarlierBackup);
        Snapshot out;
        for (const auto& item : store().m_records)
            out[item.first] = Fields(AsRestored(item.second));
        return out;
    }

    // Uploads a backup XML of the test's own making as the account's newest.
    void UploadXml(const std::string& xml)
    {
        const CString folder = env.Folder();
        WriteFileBytes(folder + L"own.xml", xml);
        CTransferManager transfer;
        transfer.AddEncrypt(folder + L"own.xml", folder + L"own.enc", kPassword);
        transfer.AddCreateZIP(folder + L"own.zip", folder + L"own.enc");
        transfer.AddUpload(COnlineBackup::ServiceUrl(L"VApi/UploadDB.aspx"), folder + L"own.zip");
        CString texts[CTransferManager::TEXT_COUNT];
        ASSERT_TRUE(transfer.RunSilently(NULL, texts));
        for (LPCWSTR name : {L"own.xml", L"own.enc", L"own.zip", L"own.zip.ulog"})
            DeleteFileW(folder + name);
    }

    // The backup XML of the upload made last today, to build on.
    std::string UploadedXml()
    {
        SYSTEMTIME now;
        GetLocalTime(&now);
        CString base;
        base.Format(L"%sdb_2_%d%02d%02d.xml", (LPCWSTR)env.Folder(), now.wYear, now.wMonth, now.wDay);
        return ReadFileBytes(base);
    }

    // Runs Start on this thread while the steps answer the windows in turn;
    // each step waits for a window of its title.
    int Restore(bool toBackupFile, const std::vector<Step>& steps, bool silent = false)
    {
        window_test::CWatchdog watchdog(240000);
        shownTitles.clear();
        CWindowDriver driver([&] {
            for (const Step& step : steps) {
                // A message box of the program: whatever its title.
                HWND window = WaitForWindow(L"#32770", step.title.empty() ? NULL : step.title.c_str(), 60000);
                ASSERT_TRUE(window) << "no window \"" << CStringA(step.title.c_str()).GetString() << "\"";
                shownTitles.push_back(step.title);
                step.act(window);
                ASSERT_TRUE(WaitForWindowGone(window, 30000));
            }
        });
        COnlineRestore restore(toBackupFile, &parent);
        int result = restore.Start(silent);
        EXPECT_FALSE(driver.Join());
        EXPECT_FALSE(IsStoreBusy());
        return result;
    }

    std::vector<std::wstring> shownTitles;
};

// ---------------------------------------------------------------------------
// Into the central database

TEST_F(OnlineRestoreTest, RoundTripIntoTheCentralDatabase)
{
    const Snapshot backup = BackUp();
    ASSERT_EQ(backup.size(), 3u);

    ChangeRegister();
    ASSERT_NE(Central(), backup);

    CString counts;
    counts.Format(L"Az adatbázisban is és a mentésben is egyaránt létező iktatószám:\n\n %30d db\n\n"
                  L"Csak on-line mentésben létező, jelenlegi listához képest új iktatószám:\n\n %30d db\n\n"
                  L"Csak a helyi adatbázisban létező, most törlésre kerülő iktatószám:\n\n %30d db\n\n"
                  L"Felülírhatók a helyi adatbázisban lévő adatok az on-line mentés adataival?",
                  2, 1, 1);
    BoxContent overwrite, countsBox;
    CString loaderFirst, loaderSecond;
    const time_t before = time(NULL);
    int result = Restore(false, {
        {kCaptionDownload, [&](HWND box) { overwrite = ReadBox(box); ClickId(box, IDOK); }},
        {kTransferTitle, PressWhenShown(L"Tovább")},
        {kCaptionLoad, [&](HWND box) { countsBox = ReadBox(box); ClickId(box, IDYES); }},
        {kLoaderTitle, [&](HWND dialog) {
             ASSERT_TRUE(WaitUntil([&] { return Text(Control(dialog, IDCANCEL)) == L"OK"; }, 60000));
             loaderFirst = Text(Control(dialog, IDC_PROGRESS_TEXT1));
             loaderSecond = Text(Control(dialog, IDC_PROGRESS_TEXT2));
             Click(Control(dialog, IDCANCEL));
         }},
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(overwrite.text, L"Az adatbázisban már vannak adatok. Valóban felül akarja írni?");
    EXPECT_EQ(overwrite.buttons[IDOK], L"Igen, az adatok felülírhatók!");
    EXPECT_EQ(overwrite.buttons[IDCANCEL], L"Kilépés");
    EXPECT_EQ(countsBox.text, counts);
    EXPECT_EQ(countsBox.buttons[IDYES], L"Adatok felülírása");
    EXPECT_EQ(countsBox.buttons[IDNO], L"Előzetes megtekintés");
    EXPECT_EQ(countsBox.buttons[IDCANCEL], L"Kilépés, régi adatok megtartása");
    EXPECT_EQ(loaderFirst, L"A betöltés sikeresen befejeződött!");
    EXPECT_EQ(loaderSecond, L"Kattintson az OK gombra az ablak bezárásához!");

    EXPECT_EQ(Central(), backup);
    EXPECT_EQ(Of(store().m_records), backup);
    EXPECT_GE(LastBackup(), (int)(DWORD)before);
    for (LPCWSTR ext : {L".zip", L".enc", L".xml"})
        EXPECT_TRUE(FileExists(env.Folder() + L"db_2_onlinerestore" + ext)) << CStringA(ext).GetString();
}

// "Előzetes megtekintés" in the counts box: the preview lists the cases as
// they will change; going on restores, leaving keeps everything.
TEST_F(OnlineRestoreTest, ThePreviewShowsTheChangesAndGoesOnOrKeeps)
{
    const Snapshot backup = BackUp();
    ChangeRegister();
    const Snapshot central = Central(), map = Of(store().m_records);
    const std::multiset<std::wstring> wantRows = {
        L"7/2025 új adat",        L"8/2025 törlendő",       L"2/2024 módosul (új)",
        L"2/2024 módosul (régi)", L"1/2024 módosul (új)",   L"1/2024 módosul (régi)"};

    for (bool goOn : {false, true}) {
        SCOPED_TRACE(goOn ? "gone on" : "left");
        std::multiset<std::wstring> rows;
        std::vector<Step> steps = {
            {kCaptionDownload, Press(IDOK)},
            {kTransferTitle, PressWhenShown(L"Tovább")},
            {kCaptionLoad, Press(IDNO)},
            {L"Letöltött és meglévő adatok összevetése", [&](HWND dialog) {
                 HWND list = Control(dialog, IDC_CMP_LIST);
                 ASSERT_TRUE(list);
                 int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
                 for (int i = 0; i < count; ++i)
                     rows.insert(std::wstring(ListItemText(list, i, 0)) + L"/" +
                                 std::wstring(ListItemText(list, i, 1)) + L" " +
                                 std::wstring(ListItemText(list, i, 6)));
                 ClickId(dialog, goOn ? IDOK : IDCANCEL);
             }},
        };
        if (goOn)
            steps.push_back({kLoaderTitle, PressWhenShown(L"OK")});
        EXPECT_EQ(Restore(false, steps), goOn ? 1 : 0);
        EXPECT_EQ(rows, wantRows);
        EXPECT_EQ(Central(), goOn ? backup : central);
        EXPECT_EQ(Of(store().m_records), goOn ? backup : map);
        EXPECT_EQ(LastBackup() != kEarlierBackup, goOn);
    }
}

// Working offline, a restore meant for the central database warns first and
// then writes only the backup file.
TEST_F(OnlineRestoreTest, WorkingOfflineOnlyTheBackupFileIsWritten)
{
    const Snapshot backup = BackUp();
    ASSERT_TRUE(store().Delete(MakeUgyiratKey(2025, 7)));
    const Snapshot central = Central();
    context->m_pConnection->SetOnline(false);

    BoxContent warning;
    int result = Restore(false, {
        {kCaptionDownload, [&](HWND box) { warning = ReadBox(box); ClickId(box, IDOK); }},
        {kTransferTitle, PressWhenShown(L"Tovább")},
        {kLoaderTitle, PressWhenShown(L"OK")},
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(warning.text,
              L"Ön most leválasztott üzemmmódban van, a listában látható adatok\n"
              L"a központi adatbázis másolatából töltődtek be.\n\n"
              L"Ha a helyi központiadatbázist kívánja helyreállítani, akkor lépjen ki\n"
              L"és kapcsolódás után végezze el újra az on-line mentés letöltését!\n\n"
              L"Ha folytatja a letöltést, akkor most csak a másolatként betöltött adatok frissülnek.\n\n");
    EXPECT_EQ(warning.buttons[IDOK], L"On-line mentés letöltése");
    EXPECT_EQ(warning.buttons[IDCANCEL], L"Kilépés");
    EXPECT_EQ(BackupFile(), backup);
    EXPECT_EQ(Central(), central);
}

// Everything a failed or declined restore must leave as it was.
struct State
{
    Snapshot central, map, backupFile;
    std::string backupBytes;
    int lastBackup;
    bool operator==(const State& o) const
    {
        return central == o.central && map == o.map && backupFile == o.backupFile && backupBytes == o.backupBytes &&
               lastBackup == o.lastBackup;
    }
};

TEST_F(OnlineRestoreTest, FailuresAndRefusalsLeaveEverythingAsItWas)
{
    BackUp();
    // The local backup file exists, and the register differs from the upload.
    ASSERT_TRUE(store().Insert(MakeRecord(2025, 8, L"Új Ügyfél")));
    ASSERT_TRUE(store().CreateBackup());
    auto state = [&] {
        return State{Central(), Of(store().m_records), BackupFile(), ReadFileBytes(env.BackupPath()), LastBackup()};
    };
    const State before = state();
    ASSERT_EQ(before.central.size(), 4u);
    const std::string uploaded = UploadedXml();
    ASSERT_FALSE(uploaded.empty());

    // The row of 2024/2 twice; the second is refused by the table's key.
    auto repeatedRow = [&] {
        size_t row = uploaded.find("<Row><data>2024</data><data>2</data>");
        size_t end = uploaded.find("</Row>\r\n", row);
        EXPECT_NE(row, std::string::npos);
        std::string xml = uploaded;
        xml.insert(uploaded.find("</Rows>"), uploaded.substr(row, end + 8 - row));
        return xml;
    };
    // A foreign file's self-closed element inside a row: the rows after it
    // would run into that row.
    auto selfClosed = [&] {
        std::string xml = uploaded;
        size_t at = xml.find("<data>2024</data><data>2</data>");
        EXPECT_NE(at, std::string::npos);
        xml.insert(at + 31, "<data/>");
        return xml;
    };
    auto bigNumber = [&] {
        std::string xml = uploaded;
        size_t at = xml.find("<data>2024</data><data>2</data>");
        EXPECT_NE(at, std::string::npos);
        xml.replace(at, 31, "<data>2024</data><data>70000</data>");
        return xml;
    };
    const Step overwrite = {kCaptionDownload, Press(IDOK)};
    const Step transferFailed = {kTransferTitle, PressWhenShown(L"Kilép")};
    const Step transferDone = {kTransferTitle, PressWhenShown(L"Tovább")};
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::vector<Step> steps;
    } cases[] = {
        {"the overwrite question declined", [] {}, {{kCaptionDownload, Press(IDCANCEL)}}},
        {"wrong password", [&] { env.Settings().SetOnlineBackupPassword(L"másik jelszó"); },
         {overwrite, transferFailed, Message(kNotObtained)}},
        {"no password, the password dialog left",
         [&] { env.Settings().SetOnlineBackupPassword(L""); },
         {overwrite, {L"Online mentés titkosítása", Press(IDCANCEL)}, transferFailed, Message(kNotObtained)}},
        {"the download cut short",
         [] { ASSERT_TRUE(StandIn(L"/_control/fault", "path=/VApi/Backup.aspx\nmode=cut\nafter=100\n")); },
         {overwrite, transferFailed, Message(kNotObtained)}},
        {"server error on the address",
         [] { ASSERT_TRUE(StandInReply("/VApi/OnlineRestore.aspx", 500, "ErrorCode=500\n")); },
         {overwrite, Message(kNoAddress)}},
        {"an address without Url",
         [] { ASSERT_TRUE(StandInReply("/VApi/OnlineRestore.aspx", 200, "ContentLength=100\n")); },
         {overwrite, Message(kNoAddress)}},
        {"an address of length 0",
         [] { ASSERT_TRUE(StandInReply("/VApi/OnlineRestore.aspx", 200, "ContentLength=0\nUrl=http://127.0.0.1/x\n")); },
         {overwrite, Message(kNoAddress)}},
        {"a length that is no number",
         [] { ASSERT_TRUE(StandInReply("/VApi/OnlineRestore.aspx", 200, "ContentLength=sok\nUrl=http://127.0.0.1/x\n")); },
         {overwrite, Message(kNoAddress)}},
        {"a reply of binary noise",
         [] { ASSERT_TRUE(StandInReply("/VApi/OnlineRestore.aspx", 200, std::string("\x00\xff=\x01\n\xfe\x80=", 9))); },
         {overwrite, Message(kNoAddress)}},
        {"server error on the download",
         [] { ASSERT_TRUE(StandIn(L"/_control/fault", "path=/VApi/Backup.aspx\nmode=status\nstatus=500\n")); },
         {overwrite, transferFailed, Message(kNotObtained)}},
        {"no upload for the account", [&] { env.Settings().WriteProfileString(L"AccountId", L"mas.iroda"); },
         {overwrite, Message(kNoAddress)}},
        {"the counts box declined", [] {},
         {overwrite, transferDone, {kCaptionLoad, Press(IDCANCEL)}}},
        {"a row refused midway", [&] { UploadXml(repeatedRow()); },
         {overwrite, transferDone, {kCaptionLoad, Press(IDYES)},
          {kLoaderTitle, [](HWND dialog) {
               ASSERT_TRUE(WaitUntil([&] { return Text(Control(dialog, IDCANCEL)) == L"Kilép"; }, 60000));
               EXPECT_EQ(Text(Control(dialog, IDC_PROGRESS_TEXT1)),
                         L"Az adatok betöltése nem sikerült, a korábbi adatok nem változtak!");
               Click(Control(dialog, IDCANCEL));
           }}}},
        {"a number above 65535", [&] { UploadXml(bigNumber()); },
         {overwrite, transferDone, Message(kNotObtained)}},
        {"a row with a foreign <data/>", [&] { UploadXml(selfClosed()); },
         {overwrite, transferFailed, Message(kNotObtained)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        env.Settings().SetOnlineBackupPassword(kPassword);
        env.Settings().WriteProfileString(L"AccountId", kAccount);
        c.prepare();
        EXPECT_EQ(Restore(false, c.steps), 0);
        std::vector<std::wstring> titles;
        for (const Step& s : c.steps)
            titles.push_back(s.title);
        EXPECT_EQ(shownTitles, titles);
        EXPECT_TRUE(state() == before);
        EXPECT_EQ(Of(store().m_records), before.map);
        EXPECT_EQ(Central(), before.central);
    }
}

// An abort in the loader's dialog stops the loader before its next case and
// rolls its transaction back.
TEST_F(OnlineRestoreTest, AbortInTheLoaderDialogRollsBack)
{
    // Enough cases that the loader is still at work when the abort comes.
    const int kCases = 6000;
    {
        CtUgyirat_SqlServer table(context->m_pConnection->GetConnectionString());
        ASSERT_TRUE(table.BeginTransaction());
        for (int i = 100; i < kCases; ++i)
            ASSERT_TRUE(table.Insert(MakeRecord(2023, i, L"Sok Ügyfél")));
        ASSERT_TRUE(table.CommitTransaction());
    }
    ASSERT_TRUE(store().LoadFromDatabase());
    BackUp();
    ASSERT_TRUE(store().Delete(MakeUgyiratKey(2025, 7)));
    const Snapshot central = Central(), map = Of(store().m_records);

    CString question;
    DWORD shown = 0;
    int result = Restore(false, {
        {kCaptionDownload, Press(IDOK)},
        {kTransferTitle, PressWhenShown(L"Tovább")},
        {kCaptionLoad, Press(IDYES)},
        {kLoaderTitle, [&](HWND dialog) {
             shown = GetTickCount();
             Click(Control(dialog, IDCANCEL));
             HWND box = WaitForWindow(L"#32770", L"Figyelmeztetés", 10000);
             ASSERT_TRUE(box);
             question = ReadBox(box).text;
             ClickId(box, IDYES);
         }},
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(question, L"Valóban megszakítsam a letöltést?");
    // The loader answered the abort: the dialog did not wait out its time.
    EXPECT_LT(GetTickCount() - shown, 3000u);
    EXPECT_EQ(Central(), central);
    EXPECT_EQ(Of(store().m_records), map);
    EXPECT_EQ(LastBackup(), kEarlierBackup);
    const std::string log = ReadFileBytes(env.Folder() + CAppSettings::GetExeBaseName() + L".log");
    const std::wstring line = L"On-line restore aborted: ";
    size_t at = log.rfind(std::string(reinterpret_cast<const char*>(line.data()), line.size() * 2));
    ASSERT_NE(at, std::string::npos);
    const int done = _wtoi(reinterpret_cast<const wchar_t*>(log.data() + at) + line.size());
    EXPECT_LT(done, kCases) << "stopped before its last case";
    std::printf("The loader stopped after %d of %d cases\n", done, kCases);
}

// The uploaded backup with `count` more cases (2023/1 on) before its end.
std::string WithMoreCases(std::string xml, int count)
{
    std::string rows;
    char row[256];
    for (int i = 1; i <= count; ++i) {
        snprintf(row, sizeof(row),
                 "    <Row><data>2023</data><data>%d</data><data>Kiss</data><data>Nagy</data><data>Polg\xC3\xA1ri"
                 "</data><data></data><data>2024.01.02 03:04:05</data><data></data><data></data></Row>\r\n",
                 i);
        rows += row;
    }
    size_t end = xml.find("</Rows>");
    EXPECT_NE(end, std::string::npos);
    xml.insert(end, rows);
    return xml;
}

// Memory running out in the load, the preview or the loader: the user reads
// that it ran out, the log says where, and nothing is written.
TEST_F(OnlineRestoreTest, OutOfMemoryAnywhereWritesNothing)
{
    BackUp();
    ASSERT_TRUE(store().Insert(MakeRecord(2025, 8, L"Új Ügyfél")));
    ASSERT_TRUE(store().CreateBackup());
    const int kMore = 5000;
    UploadXml(WithMoreCases(UploadedXml(), kMore));
    const size_t records = (kMore + 3) * sizeof(CUgyiratRecord);
    auto state = [&] {
        return State{Central(), Of(store().m_records), BackupFile(), ReadFileBytes(env.BackupPath()), LastBackup()};
    };
    const State before = state();
    const CString log = env.Folder() + CAppSettings::GetExeBaseName() + L".log";
    const std::wstring outOfMemory =
        L"Nincs elég memória a letöltött adatok beolvasásához; a korábbi adatok nem változtak.";
    std::unique_ptr<CAllocationFailure> failure;
    const DWORD uiThread = GetCurrentThreadId();
    // Arms the failure when the counts box shows, then answers it.
    auto armAtTheCounts = [&](int button, size_t minSize, bool spareUi) {
        return Step{kCaptionLoad, [&, button, minSize, spareUi](HWND box) {
                        failure.reset(new CAllocationFailure(0, minSize));
                        failure->SpareThread(GetCurrentThreadId());
                        if (spareUi)
                            failure->SpareThread(uiThread);
                        ClickId(box, button);
                    }};
    };
    std::wstring shown;
    // The loader's window, once it shows its end.
    auto loaderEnds = Step{kLoaderTitle, [&](HWND dialog) {
                               ASSERT_TRUE(WaitUntil([&] { return Text(Control(dialog, IDCANCEL)) == L"Kilép"; },
                                                     60000));
                               shown = Text(Control(dialog, IDC_PROGRESS_TEXT1));
                               Click(Control(dialog, IDCANCEL));
                           }};
    struct Case
    {
        const char* name;
        bool toBackupFile;
        size_t armBefore; // minimum size of the failing block, armed before the restore (0: not)
        std::vector<Step> steps;
        std::wstring logged;
    } cases[] = {
        {"the load's records", false, records,
         {{kCaptionDownload, Press(IDOK)},
          {kTransferTitle, [&](HWND dialog) {
               ASSERT_TRUE(WaitUntil([&] { return Text(Control(dialog, IDCANCEL)) == L"Kilép"; }, 60000));
               shown = Text(Control(dialog, IDC_PROGRESS_TEXT2));
               Click(Control(dialog, IDCANCEL));
           }},
          Message(kNotObtained)},
         L"XML load: out of memory after 0 records; nothing is kept"},
        {"the preview's rows", false, 0,
         {{kCaptionDownload, Press(IDOK)},
          {kTransferTitle, PressWhenShown(L"Tovább")},
          armAtTheCounts(IDNO, (kMore + 4) * sizeof(CCompareDlg::Row), false),
          {L"", [&](HWND box) {
               shown = ReadBox(box).text;
               ClickId(box, IDOK);
           }}},
         L"On-line restore: out of memory in the preview; nothing was written"},
        {"the loader into the central database", false, 0,
         {{kCaptionDownload, Press(IDOK)}, {kTransferTitle, PressWhenShown(L"Tovább")}, armAtTheCounts(IDYES, 0, true),
          loaderEnds},
         L"On-line restore: the loader: out of memory"},
        {"the loader into the backup file", true, 0,
         {{kCaptionDownload, Press(IDOK)},
          {kTransferTitle, [&](HWND dialog) {
               // The transfer's thread is past its work by now.
               ASSERT_TRUE(WaitUntil([&] { return Text(Control(dialog, IDCANCEL)) == L"Tovább"; }, 60000));
               failure.reset(new CAllocationFailure(0));
               failure->SpareThread(GetCurrentThreadId());
               failure->SpareThread(uiThread);
               Click(Control(dialog, IDCANCEL));
           }},
          loaderEnds},
         L"On-line restore: the loader: out of memory"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(log);
        shown.clear();
        if (c.armBefore)
            failure.reset(new CAllocationFailure(0, c.armBefore));
        EXPECT_EQ(Restore(c.toBackupFile, c.steps), 0);
        const long refused = failure ? failure->Refused() : 0;
        failure.reset();
        EXPECT_EQ(refused, 1);
        EXPECT_EQ(shown, outOfMemory);
        EXPECT_TRUE(state() == before);
        const std::string bytes = ReadFileBytes(log);
        const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
        EXPECT_NE(text.find(c.logged), std::wstring::npos) << CStringA(c.logged.c_str()).GetString();
    }
}

// The synchronisation restores a damaged backup no more than a restore from
// the window does: the backup file stays as it was, silently.
TEST_F(OnlineRestoreTest, TheSynchronisationLeavesTheBackupFileForADamagedBackup)
{
    BackUp();
    ASSERT_TRUE(store().Insert(MakeRecord(2025, 8, L"Új Ügyfél")));
    ASSERT_TRUE(store().CreateBackup());
    const std::string oldBytes = ReadFileBytes(env.BackupPath());
    std::string xml = UploadedXml();
    const size_t at = xml.find("<data>2024</data><data>2</data>");
    ASSERT_NE(at, std::string::npos);
    xml.insert(at + 31, "<data/>");
    UploadXml(xml);
    env.Settings().WriteProfileInt(L"OMBackupFrequency", 33);
    store().SwitchOffline();
    EXPECT_EQ(COnlineRestore(true, NULL).Start(true), 0);
    EXPECT_EQ(ReadFileBytes(env.BackupPath()), oldBytes);
    EXPECT_EQ(LastBackup(), kEarlierBackup);
}

// While it lives, the completion record the loader posts to its window is
// dropped on the way: the user closes that window before the completion
// reaches it.
class CCompletionLost
{
public:
    CCompletionLost()
    {
        s_lost = false;
        m_hook = SetWindowsHookExW(WH_GETMESSAGE, Hook, NULL, GetCurrentThreadId());
    }
    ~CCompletionLost() { UnhookWindowsHookEx(m_hook); }
    // Whether the completion came (and was dropped): the loader has ended.
    static bool Lost() { return s_lost.load(); }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        MSG* msg = reinterpret_cast<MSG*>(lParam);
        if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == g_uMsgProgress &&
            Text(msg->hwnd) == kLoaderTitle) {
            CProgressRecord* record = reinterpret_cast<CProgressRecord*>(msg->wParam);
            if (record && record->m_kind == CProgressRecord::KIND_COMPLETED) {
                delete record;
                msg->message = WM_NULL;
                msg->wParam = 0;
                s_lost = true;
            }
        }
        return CallNextHookEx(NULL, code, wParam, lParam);
    }
    HHOOK m_hook;
    static std::atomic<bool> s_lost;
};
std::atomic<bool> CCompletionLost::s_lost{false};

// The user closes the loader's window at the last moment, after the target
// was written: the restore stands, and says so.
TEST_F(OnlineRestoreTest, ClosedAfterTheRecordsWereStoredTheRestoreSucceeds)
{
    const Snapshot backup = BackUp();
    ChangeRegister();
    ASSERT_TRUE(store().CreateBackup());
    for (bool toBackupFile : {false, true}) {
        SCOPED_TRACE(toBackupFile ? "into the backup file" : "into the central database");
        env.Settings().WriteProfileInt(L"OMLastBackup", kEarlierBackup);
        std::vector<Step> steps = {{kCaptionDownload, Press(IDOK)}, {kTransferTitle, PressWhenShown(L"Tovább")}};
        if (!toBackupFile)
            steps.push_back({kCaptionLoad, Press(IDYES)});
        bool stored = false;
        CString question;
        steps.push_back({kLoaderTitle, [&](HWND dialog) {
                             // The loader reports its end once the target holds the records.
                             stored = WaitUntil([] { return CCompletionLost::Lost(); }, 60000);
                             Click(Control(dialog, IDCANCEL));
                             HWND box = WaitForWindow(L"#32770", L"Figyelmeztetés", 10000);
                             ASSERT_TRUE(box);
                             question = ReadBox(box).text;
                             ClickId(box, IDYES);
                         }});
        int result;
        {
            CCompletionLost lost;
            result = Restore(toBackupFile, steps);
        }
        EXPECT_TRUE(stored);
        EXPECT_EQ(question, L"Valóban megszakítsam a letöltést?") << "the window was closed before the completion";
        EXPECT_EQ(result, 1);
        EXPECT_NE(LastBackup(), kEarlierBackup);
        EXPECT_EQ(toBackupFile ? BackupFile() : Central(), backup);
    }
}

// ---------------------------------------------------------------------------
// Into the backup file

TEST_F(OnlineRestoreTest, IntoTheBackupFileThroughATemporaryFile)
{
    const Snapshot backup = BackUp();
    ASSERT_TRUE(store().Insert(MakeRecord(2025, 8, L"Új Ügyfél")));
    ASSERT_TRUE(store().CreateBackup());
    const std::string oldBytes = ReadFileBytes(env.BackupPath());
    const Snapshot central = Central();
    // As the start-up's "Letöltés" runs it: working offline.
    context->m_pConnection->SetOnline(false);
    auto temporaryFiles = [&] {
        int n = 0;
        for (const std::wstring& name : FileNames(env.Folder()))
            if (name.compare(0, 4, L"~fnx") == 0 || name.find(L"-journal") != std::wstring::npos)
                ++n;
        return n;
    };

    // A cut download: the old file stays.
    ASSERT_TRUE(StandIn(L"/_control/fault", "path=/VApi/Backup.aspx\nmode=cut\nafter=100\n"));
    EXPECT_EQ(Restore(true, {{kTransferTitle, PressWhenShown(L"Kilép")}, Message(kNotObtained)}), 0);
    EXPECT_EQ(ReadFileBytes(env.BackupPath()), oldBytes);
    EXPECT_EQ(temporaryFiles(), 0);

    EXPECT_EQ(Restore(true, {{kTransferTitle, PressWhenShown(L"Tovább")}, {kLoaderTitle, PressWhenShown(L"OK")}}), 1);
    EXPECT_EQ(BackupFile(), backup);
    EXPECT_EQ(temporaryFiles(), 0);
    EXPECT_EQ(Central(), central) << "the central table is not touched";
    EXPECT_EQ(store().m_records.size(), 4u) << "nor is the map";
}

// The synchronisation: only when set up for downloads, with a password and
// working offline; never a window.
TEST_F(OnlineRestoreTest, SilentRestoreIsGatedAndShowsNoWindow)
{
    const Snapshot backup = BackUp();
    ASSERT_TRUE(store().Insert(MakeRecord(2025, 8, L"Új Ügyfél")));
    ASSERT_TRUE(store().CreateBackup());
    const std::string oldBytes = ReadFileBytes(env.BackupPath());

    struct Case {
        const char* name;
        int frequency; // -1: not written
        bool password;
        bool offline;
        int result;
    } cases[] = {
        {"never set up", -1, true, true, 0},
        {"uploads only", 1, true, true, 0},
        {"no password", 33, false, true, 0},
        {"working online", 33, true, false, 0},
        {"set up for downloads", 33, true, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.frequency >= 0)
            env.Settings().WriteProfileInt(L"OMBackupFrequency", c.frequency);
        env.Settings().SetOnlineBackupPassword(c.password ? kPassword : L"");
        if (c.offline)
            store().SwitchOffline();
        else
            store().m_bOffline = false;
        size_t requestsBefore = StandInRequests().size();

        std::atomic<bool> done(false);
        std::atomic<int> windows(0);
        std::thread watcher([&] {
            while (!done.load()) {
                if (HWND w = FindTopWindow(L"#32770", NULL)) {
                    ++windows;
                    PostMessageW(w, WM_CLOSE, 0, 0);
                }
                Sleep(20);
            }
        });
        COnlineRestore restore(true, NULL);
        const time_t before = time(NULL);
        int result = restore.Start(true);
        done.store(true);
        watcher.join();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(windows.load(), 0);
        if (c.result) {
            EXPECT_EQ(BackupFile(), backup);
            EXPECT_GE(LastBackup(), (int)(DWORD)before);
        } else {
            EXPECT_EQ(ReadFileBytes(env.BackupPath()), oldBytes);
            EXPECT_EQ(StandInRequests().size(), requestsBefore) << "nothing asked of the service";
            EXPECT_EQ(LastBackup(), kEarlierBackup);
        }
    }
}

} // namespace
