// The database wizard driven as a user drives it, against the test SQL
// server in each of the states the check tells apart: its captions and
// texts by level, the structure button's creation and upgrade, and the
// connection button through the SQL Server options.
#include <gtest/gtest.h>
#include <functional>
#include "SqlDialogsTestSupport.h"
#include "resources/resource.h"
#include "storage/DBWizardDlg.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;
using oledb_standin::CTestSqlServer;

const wchar_t kWizardTitle[] = L"Adatbázis beállítása";

const wchar_t kConnectedText[] =
    L"Jelenleg van kapcsolat az adatbázis kiszolgálóval. Ha másik adatbázishoz, illetve másik kiszolgálóhoz kíván "
    L"kapcsolódni, vagy esetleg a biztonsági beállításokon kell változtatnia, akkor kattintson a "
    L"'Kapcsolat módosítása' nyomógombra!";
const wchar_t kNoDatabaseText[] =
    L"A program nem talált felhasználói adatbázist a kiszolgálón! Hozza létre az ikató adatbázist az "
    L"'Adatbázis létrehozása' nyomógombbal!";
const wchar_t kMissingDatabaseText[] =
    L"A program nem találja az adatbázis kiszolgálón az adatbázisát. Ennek az az oka, hogy a kapcsolatbeálítása "
    L"olyan adatbázisra hivatkozik, ami nem létezik.\nHa már létezik iktató adatbázis, akkor annak megadásához "
    L"kattintson a 'Kapcsolat módosítása' nyomógombra, egyébként pedig hozza létre az ikató adatbázist az "
    L"'Adatbázis létrehozása' nyomógombbal!";
const wchar_t kMissingTableText[] =
    L"A megadott adatbázis üres. Az iktatási adatok tárolásához szükséges adatstruktúra létrehozásához nyomja meg "
    L"az 'Adatstruktúra létrehozása' nyomógombot!";
const wchar_t kForeignTablesText[] =
    L"A megadott adatbázis tartalmaz adatattáblákat, de ez nem az iktató programé! A 'Kapcsolat beállítása' "
    L"nyomógombbal válasszon olyan olyan adatbázist, amely üres, vagy hozzon létre egy újat! Ha mégis a "
    L"beállított adatbázist akarja használni, akkor nyomja meg az 'Adatstruktúra létrehozása' nyomógombot!";
const wchar_t kOldTableText[] =
    L"Az adatbázis szerkezete nem felel meg a program verziójának, frissítése szükséges! Frissítés elvégzéséhez "
    L"kattintson az 'Adatstruktúra módosítása' nyomógombra!";
const wchar_t kCurrentText[] =
    L"Az adatbázis szerkezete megfelel a program verziójának, frissítése nem szükséges!";

// Everything the wizard shows for one level.
struct Look
{
    LPCWSTR connectionButton;
    LPCWSTR connectionState;
    LPCWSTR connectionText;
    LPCWSTR structureButton;
    LPCWSTR structureState;
    LPCWSTR structureText;
    bool structureEnabled;
    LPCWSTR cancel;
};

const Look kLookDown = {
    L"Kapcsolat létrehozása", L"Nincs kapcsolat",
    L"Jelenleg nincs kapcsolat az adatbázis kiszolgálóval. A kapcsolat létrehozásához kattintson a "
    L"'Kapcsolat létrehozása' nyomógombra!",
    L"&Adatstruktúra létrehozása", L"Nincs információ",
    L"Jelenleg nincs elérhető információ az adatstruktúráról. Az adatstruktúra ellenőrzéséhez először az "
    L"adatbáziskapcsolatot kell létrehozni.",
    false, L"Kilép"};
const Look kLookNoRows = {L"Kapcsolat módosítása", L"Van kapcsolat", kConnectedText, L"Adatbázis létrehozása",
                          L"Nincs adatázis", kNoDatabaseText, true, L"Kilép"};
const Look kLookMissing = {L"Kapcsolat módosítása", L"Van kapcsolat", kConnectedText, L"Adatbázis létrehozása",
                           L"Nincs adatázis", kMissingDatabaseText, true, L"Kilép"};
const Look kLookNoAccess = {
    L"Kapcsolat módosítása", L"Van kapcsolat", kConnectedText, L"Adatstruktúra létrehozása", L"Nincs hozzáférés",
    L"A megadott adatbázishoz a program nem fér hozzá! A 'Kapcsolat beállítása' nyomógombbal válasszon olyan "
    L"biztosnági beállítást, ami a hozzáférést lehetővé teszi, vagy ha nem tud ilyet, akkor kérje rendszergazdája "
    L"segítségét!",
    false, L"Kilép"};
const Look kLookEmpty = {L"Kapcsolat módosítása", L"Van kapcsolat", kConnectedText, L"Adatstruktúra létrehozása",
                         L"Hiányzó adatstruktúra", kMissingTableText, true, L"Kilép"};
const Look kLookForeign = {L"Kapcsolat módosítása", L"Van kapcsolat", kConnectedText, L"Adatstruktúra létrehozása",
                           L"Hiányzó adatstruktúra", kForeignTablesText, true, L"Kilép"};
const Look kLookOld = {L"Kapcsolat módosítása", L"Van kapcsolat", kConnectedText, L"Adatstruktúra frissítése",
                       L"Hiányos adatstruktúra", kOldTableText, true, L"Kilép"};
const Look kLookCurrent = {L"Kapcsolat módosítása", L"Van kapcsolat", kConnectedText, L"Adatstruktúra frissítése",
                           L"Adatstruktúra rendben", kCurrentText, false, L"Vissza"};

Look AfterAction(Look look)
{
    look.cancel = L"Tovább";
    return look;
}

void ExpectLook(HWND wizard, const Look& want)
{
    EXPECT_EQ(Text(Control(wizard, IDC_DBW_CONNECTION)), CString(want.connectionButton));
    EXPECT_EQ(Text(Control(wizard, IDC_DBW_SERVER_STATE)), CString(want.connectionState));
    EXPECT_EQ(Text(Control(wizard, IDC_DBW_SERVER_TEXT)), CString(want.connectionText));
    EXPECT_EQ(Text(Control(wizard, IDC_DBW_STRUCT)), CString(want.structureButton));
    EXPECT_EQ(Text(Control(wizard, IDC_DBW_STRUCT_STATE)), CString(want.structureState));
    EXPECT_EQ(Text(Control(wizard, IDC_DBW_STRUCT_TEXT)), CString(want.structureText));
    EXPECT_EQ(IsWindowEnabled(Control(wizard, IDC_DBW_STRUCT)) != FALSE, want.structureEnabled);
    EXPECT_EQ(Text(Control(wizard, IDCANCEL)), CString(want.cancel));
}

// The states of the test SQL server the check tells apart (the configured
// database is "Folionex").
void Down(CTestSqlServer& s)
{
    s.SetDown(true);
}
// The server's list of databases answers, but gives no row.
void NoDatabaseRows(CTestSqlServer& s)
{
    CTestSqlServer::Failure f;
    f.statement = L"FROM master.sys.databases";
    f.at = CTestSqlServer::kAtGetNextRows;
    f.afterRows = 0;
    s.FailStatement(f);
}
void SystemOnly(CTestSqlServer&)
{
}
void OtherUserDatabase(CTestSqlServer& s)
{
    ASSERT_TRUE(s.CreateDatabase(L"Masik"));
}
void ListedWithoutAccess(CTestSqlServer& s)
{
    ASSERT_TRUE(s.CreateDatabase(L"Folionex"));
    s.SetNoAccess(L"Folionex");
}
void Empty(CTestSqlServer& s)
{
    ASSERT_TRUE(s.CreateDatabase(L"Folionex"));
}
void ForeignTables(CTestSqlServer& s)
{
    ASSERT_TRUE(s.CreateDatabase(L"Folionex"));
    ASSERT_TRUE(s.Exec(L"Folionex", "CREATE TABLE Idegen (Azonosito INTEGER, Nev TEXT)"));
}
void ElevenColumns(CTestSqlServer& s)
{
    ASSERT_TRUE(s.CreateDatabase(L"Folionex"));
    ASSERT_TRUE(s.CreateCaseTable(L"Folionex"));
    ASSERT_TRUE(s.Exec(L"Folionex", "ALTER TABLE tUgyirat ADD COLUMN Tobblet TEXT"));
}
void Current(CTestSqlServer& s)
{
    ASSERT_TRUE(s.CreateDatabase(L"Folionex"));
    ASSERT_TRUE(s.CreateCaseTable(L"Folionex"));
}
void OlderTable(CTestSqlServer& s)
{
    ASSERT_TRUE(s.CreateDatabase(L"Folionex"));
    ASSERT_TRUE(s.CreateCaseTable(L"Folionex", false));
}
// The older table whose upgrade by the check fails once.
void OlderTableFirstUpgradeFails(CTestSqlServer& s)
{
    OlderTable(s);
    CTestSqlServer::Failure f;
    f.statement = L"ADD [Hataridok]";
    f.times = 1;
    s.FailStatement(f);
}

class DBWizardTest : public sql_dialogs_test::SqlDialogsFixture
{
protected:
    // Runs the wizard on the manager while script drives it.
    void Drive(const std::function<void(HWND)>& script)
    {
        CDBWizardDlg wizard(&manager, NULL, store.get());
        CWindowDriver driver([&] {
            HWND wnd = WaitForWindow(L"#32770", kWizardTitle);
            ASSERT_TRUE(wnd);
            script(wnd);
            if (IsWindow(wnd)) {
                ClickId(wnd, IDCANCEL);
                EXPECT_TRUE(WaitForWindowGone(wnd));
            }
        });
        wizard.DoModal();
        EXPECT_FALSE(driver.Join()) << "the watchdog had to end the wizard";
        level = wizard.GetLevel();
    }

    int level = -1;
};

TEST_F(DBWizardTest, EveryLevelShowsItsTexts)
{
    struct Case
    {
        const char* name;
        void (*prepare)(CTestSqlServer&);
        int level;
        const Look* look;
    } cases[] = {
        {"down", Down, 0, &kLookDown},
        {"no database rows", NoDatabaseRows, 1, &kLookNoRows},
        {"system databases only", SystemOnly, 3, &kLookNoRows},
        {"user databases without the configured one", OtherUserDatabase, 7, &kLookMissing},
        {"configured one listed without access", ListedWithoutAccess, 15, &kLookNoAccess},
        {"empty", Empty, 31, &kLookEmpty},
        {"foreign tables", ForeignTables, 63, &kLookForeign},
        {"eleven columns", ElevenColumns, 127, &kLookOld},
        {"current", Current, 255, &kLookCurrent},
        {"older table, upgraded by the check", OlderTable, 255, &kLookCurrent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Reset();
        c.prepare(server);
        Drive([&](HWND wnd) { ExpectLook(wnd, *c.look); });
        EXPECT_EQ(level, c.level);
    }
}

TEST_F(DBWizardTest, StructureButtonCreatesOrUpgradesByLevel)
{
    struct Case
    {
        const char* name;
        void (*prepare)(CTestSqlServer&);
        LPCWSTR box;
        int after;
        const Look* look;
    } cases[] = {
        {"missing database", OtherUserDatabase, L"Az adatbázis sikeresen létrehozva!", 255, &kLookCurrent},
        {"no user database", SystemOnly, L"Az adatbázis sikeresen létrehozva!", 255, &kLookCurrent},
        {"empty", Empty, L"Az adastruktúra sikeresen létrehozva!", 255, &kLookCurrent},
        {"foreign tables", ForeignTables, L"Az adastruktúra sikeresen létrehozva!", 255, &kLookCurrent},
        {"older table", OlderTableFirstUpgradeFails, L"Az adatbázis frissítése sikeres!", 255, &kLookCurrent},
        {"eleven columns", ElevenColumns, L"Az adatbázis frissítése nem sikerült!", 127, &kLookOld},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Reset();
        c.prepare(server);
        Drive([&](HWND wnd) {
            ASSERT_TRUE(IsWindowEnabled(Control(wnd, IDC_DBW_STRUCT)));
            ClickId(wnd, IDC_DBW_STRUCT);
            EXPECT_TRUE(ConfirmBox(c.box));
            Look want = c.after == 255 ? AfterAction(*c.look) : *c.look;
            ASSERT_TRUE(WaitUntil([&] { return Text(Control(wnd, IDC_DBW_STRUCT_STATE)) == want.structureState; }));
            ASSERT_TRUE(WaitUntil([&] { return Text(Control(wnd, IDCANCEL)) == want.cancel; }));
            ExpectLook(wnd, want);
        });
        EXPECT_EQ(level, c.after);
        if (c.prepare == ForeignTables) {
            // The case table stands beside the foreign one.
            EXPECT_EQ(server.Query(L"Folionex", "SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                                "name IN ('Idegen', 'tUgyirat')").size(),
                      2u);
        }
    }
}

TEST_F(DBWizardTest, UpgradeGoesToTheCheckedDatabaseNotToTheStoredString)
{
    // The stored string names another database with the older table too.
    OlderTableFirstUpgradeFails(server);
    ASSERT_TRUE(server.CreateDatabase(L"Masik"));
    ASSERT_TRUE(server.CreateCaseTable(L"Masik", false));
    manager.SetConnectionString(L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=Masik;"
                                L"Trusted_Connection=yes;");
    Drive([&](HWND wnd) {
        ASSERT_EQ(Text(Control(wnd, IDC_DBW_STRUCT_STATE)), CString(L"Hiányos adatstruktúra"));
        ClickId(wnd, IDC_DBW_STRUCT);
        EXPECT_TRUE(ConfirmBox(L"Az adatbázis frissítése sikeres!"));
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(wnd, IDCANCEL)) == L"Tovább"; }));
    });
    EXPECT_EQ(level, 255);
    const char* deadlines = "SELECT name FROM pragma_table_info('tUgyirat') WHERE name = 'Hataridok'";
    EXPECT_EQ(server.Query(L"Folionex", deadlines).size(), 1u);
    EXPECT_EQ(server.Query(L"Masik", deadlines).size(), 0u) << "the stored string's database is left alone";
}

TEST_F(DBWizardTest, CreationSendsTheQuotedNameThenTheScript)
{
    OtherUserDatabase(server);
    server.ClearTrace();
    Drive([&](HWND wnd) {
        ClickId(wnd, IDC_DBW_STRUCT);
        EXPECT_TRUE(ConfirmBox(L"Az adatbázis sikeresen létrehozva!"));
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(wnd, IDCANCEL)) == L"Tovább"; }));
    });
    std::wstring trace = server.Trace();
    size_t create = trace.find(L"exec [master] CREATE DATABASE [Folionex]; -> 0x00000000");
    ASSERT_NE(create, std::wstring::npos) << trace;
    CString script(CConnectionManagerSqlServer::kCreateTableSql);
    EXPECT_EQ(script.GetLength(), 786);
    script.Replace(L"\n", L"\\n");
    size_t table = trace.find(L"exec [Folionex] " + std::wstring(script) + L" -> 0x00000000");
    ASSERT_NE(table, std::wstring::npos) << trace;
    EXPECT_LT(create, table);
    EXPECT_EQ(server.Databases().back(), L"Folionex");
}

TEST_F(DBWizardTest, FailedCreationShowsNoBoxAndTheLevelStays)
{
    OtherUserDatabase(server);
    CTestSqlServer::Failure f;
    f.statement = L"CREATE DATABASE";
    server.FailStatement(f);
    server.ClearTrace();
    Drive([&](HWND wnd) {
        ClickId(wnd, IDC_DBW_STRUCT);
        // The check after the step lists the server's databases again: a
        // box would have held the step before it.
        ASSERT_TRUE(WaitUntil([&] {
            std::wstring trace = server.Trace();
            size_t failed = trace.find(L"CREATE DATABASE [Folionex]; -> failed");
            return failed != std::wstring::npos &&
                   trace.find(L"SELECT name FROM master.sys.databases", failed) != std::wstring::npos;
        }));
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(wnd) != FALSE; }));
        EXPECT_FALSE(BoxShowing());
        ExpectLook(wnd, kLookMissing);
    });
    EXPECT_EQ(level, 7);
}

TEST_F(DBWizardTest, ConnectionButtonStoresAWorkingConnection)
{
    // Only the server "IRODA\SQL" answers: the configured local one is down.
    Current(server);
    server.SetServers(L"IRODA\\SQL");
    Drive([&](HWND wnd) {
        ExpectLook(wnd, kLookDown);
        ClickId(wnd, IDC_DBW_CONNECTION);
        HWND options = WaitForWindow(L"#32770", L"Beállítások");
        ASSERT_TRUE(options);
        SetWindowTextW(Control(options, IDC_SQL_INSTANCE), L"IRODA\\SQL");
        ClickId(options, IDOK);
        ASSERT_TRUE(WaitForWindowGone(options));
        ASSERT_TRUE(WaitUntil([&] { return Text(Control(wnd, IDCANCEL)) == L"Tovább"; }));
        ExpectLook(wnd, AfterAction(kLookCurrent));
    });
    EXPECT_EQ(level, 255);
    EXPECT_EQ(Stored(L"SqlInstance"), CString(L"IRODA\\SQL"));
    EXPECT_EQ(Stored(L"ConnectionString"),
              CString(L"Provider=MSOLEDBSQL;Server=IRODA\\SQL;Database=Folionex;Trusted_Connection=yes;"));
    EXPECT_TRUE(store->LoadFromDatabase()) << "the store reaches the stored connection";
}

TEST_F(DBWizardTest, ClosingWithoutAStepChangesNothing)
{
    OtherUserDatabase(server);
    CString before = Stored(L"ConnectionString");
    Drive([&](HWND wnd) {
        CloseBox(wnd);
        EXPECT_TRUE(WaitForWindowGone(wnd));
    });
    EXPECT_EQ(Stored(L"ConnectionString"), before);
    EXPECT_EQ(server.Databases().size(), 5u);
}

TEST_F(DBWizardTest, ReloadCasesLoadsTheStoreFromTheCentralTable)
{
    Current(server);
    CDBWizardDlg wizard(&manager, NULL, store.get());
    EXPECT_TRUE(wizard.ReloadCases());
    EXPECT_FALSE(store->m_bOffline);
    CDBWizardDlg withoutStore(&manager, NULL);
    EXPECT_FALSE(withoutStore.ReloadCases());
}

// A picture for the documentation.
TEST_F(DBWizardTest, Screenshot)
{
    CString folder;
    if (!ScreenshotFolder(folder))
        GTEST_SKIP() << "FOLIONEX_SCREENSHOTS is not set";
    OtherUserDatabase(server);
    bool saved = false;
    Drive([&](HWND wnd) {
        RedrawWindow(wnd, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        saved = SaveWindowBitmap(wnd, folder + L"\\db-wizard.bmp") != FALSE;
    });
    EXPECT_TRUE(saved);
}

} // namespace
