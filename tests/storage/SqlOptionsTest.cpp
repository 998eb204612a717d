// The SQL Server options dialog and its database chooser driven as a user
// drives them against the test SQL server: the authentication list, the
// enabling, the test boxes by level, the chooser, what "Beállítások
// mentése" stores (and refuses to), and passwords kept out of the log.
#include <gtest/gtest.h>
#include <functional>
#include <vector>
#include "SqlDialogsTestSupport.h"
#include "resources/resource.h"
#include "storage/SqlOptionsDlg.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;
using oledb_standin::CTestSqlServer;

const wchar_t kOptionsTitle[] = L"Beállítások";
const wchar_t kChooserTitle[] = L"Adatbázis kiválasztása";
const wchar_t kNotConnected[] = L"Az adatbáziskapcsolat még nem jött létre!";
const wchar_t kConnectionOk[] = L"Az adatbáziskapcsolat rendben.";
const wchar_t kConnectionMade[] = L"Az adatbáziskapcsolat létrehozva.";
const wchar_t kCreated[] = L"Az adatbázis sikeresen létrehozva!";
const wchar_t kPassword[] = L"Tit0k;Jelsz\u00f3";

std::vector<CString> ComboEntries(HWND combo)
{
    std::vector<CString> out;
    int n = (int)SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) {
        wchar_t buf[256] = {0};
        SendMessageW(combo, CB_GETLBTEXT, i, (LPARAM)buf);
        out.push_back(buf);
    }
    return out;
}

// Picks an entry of the authentication list as the mouse would.
void ChooseAuth(HWND options, int index)
{
    HWND combo = Control(options, IDC_SQL_AUTH);
    SendMessageW(combo, CB_SETCURSEL, index, 0);
    PostMessageW(options, WM_COMMAND, MAKEWPARAM(IDC_SQL_AUTH, CBN_SELENDOK), (LPARAM)combo);
    WaitUntil([&] {
        return (IsWindowEnabled(Control(options, IDC_SQL_USER)) != FALSE) == (index != 0);
    });
}

bool Enabled(HWND dialog, int id)
{
    return IsWindowEnabled(Control(dialog, id)) != FALSE;
}

void Type(HWND dialog, int id, LPCWSTR text)
{
    SetWindowTextW(Control(dialog, id), text);
}

class SqlOptionsTest : public sql_dialogs_test::SqlDialogsFixture
{
protected:
    // Runs the options dialog on the manager while script drives it; the
    // dialog's result.
    INT_PTR Drive(const std::function<void(HWND)>& script)
    {
        CSqlOptionsDlg dlg(&manager, NULL);
        CWindowDriver driver([&] {
            HWND wnd = WaitForWindow(L"#32770", kOptionsTitle);
            ASSERT_TRUE(wnd);
            script(wnd);
            if (IsWindow(wnd)) {
                CloseBox(wnd);
                EXPECT_TRUE(WaitForWindowGone(wnd));
            }
        });
        INT_PTR result = dlg.DoModal();
        EXPECT_FALSE(driver.Join()) << "the watchdog had to end the dialog";
        return result;
    }

    static void Save(HWND wnd)
    {
        ClickId(wnd, IDOK);
        EXPECT_TRUE(WaitForWindowGone(wnd));
    }

    // Remote server with SQL Server authentication, as typed.
    static void TypeRemoteLogin(HWND wnd, LPCWSTR database)
    {
        Click(Control(wnd, IDC_SQL_REMOTE));
        EXPECT_TRUE(WaitUntil([&] { return Enabled(wnd, IDC_SQL_HOST); }));
        Type(wnd, IDC_SQL_HOST, L"10.0.0.7");
        Type(wnd, IDC_SQL_PORT, L"1533");
        Type(wnd, IDC_SQL_DBNAME, database);
        ChooseAuth(wnd, 1);
        Type(wnd, IDC_SQL_USER, L"iroda");
        Type(wnd, IDC_SQL_PASSWORD, kPassword);
    }

    std::vector<CString> StoredConnectionValues()
    {
        std::vector<CString> values;
        for (LPCWSTR name : {L"ConnectionString", L"SqlInstance", L"SqlHost", L"SqlDBName", L"SqlUser", L"SqlPwd"})
            values.push_back(Stored(name));
        for (LPCWSTR name : {L"SqlConnectionMode", L"SqlPort", L"SqlAuthType"}) {
            CString n;
            n.Format(L"%d", StoredInt(name));
            values.push_back(n);
        }
        return values;
    }
};

TEST_F(SqlOptionsTest, ControlsStartFromTheStoredValues)
{
    Drive([&](HWND wnd) {
        EXPECT_EQ(ComboEntries(Control(wnd, IDC_SQL_AUTH)),
                  (std::vector<CString>{L"Windows autentikáció", L" SQL server autentikáció"}));
        EXPECT_EQ(SendMessageW(Control(wnd, IDC_SQL_AUTH), CB_GETCURSEL, 0, 0), 0);
        EXPECT_EQ(Text(Control(wnd, IDC_SQL_DBNAME)), CString(L"Folionex"));
        EXPECT_EQ(Text(Control(wnd, IDC_SQL_INSTANCE)), CString(L"(local)\\SQLExpress"));
        EXPECT_EQ(Text(Control(wnd, IDC_SQL_HOST)), CString(L"127.0.0.1"));
        EXPECT_EQ(Text(Control(wnd, IDC_SQL_PORT)), CString(L"1433"));
        EXPECT_EQ(Text(Control(wnd, IDC_SQL_USER)), CString(L"Folionex"));
        EXPECT_TRUE(IsChecked(Control(wnd, IDC_SQL_LOCAL)));
        EXPECT_FALSE(IsChecked(Control(wnd, IDC_SQL_REMOTE)));
        EXPECT_EQ(Text(Control(wnd, IDC_SQL_LOCAL)), CString(L"Helyi  adatbázis"));
        EXPECT_TRUE(GetWindowLongW(Control(wnd, IDC_SQL_PASSWORD), GWL_STYLE) & ES_PASSWORD);
        EXPECT_EQ(Text(Control(wnd, IDC_SQL_CONNSTRING)), CString(L""));
        EXPECT_TRUE(GetWindowLongW(Control(wnd, IDC_SQL_CONNSTRING), GWL_STYLE) & ES_READONLY);
        // "..." does nothing.
        ClickId(wnd, IDC_SQL_BROWSE);
        EXPECT_EQ(Text(Control(wnd, IDC_SQL_CONNSTRING)), CString(L""));
    });
    EXPECT_TRUE(LogText().find(L"Show popup CSqlOptionsDlg") != std::wstring::npos);
}

TEST_F(SqlOptionsTest, EnablingFollowsModeAndAuthentication)
{
    Drive([&](HWND wnd) {
        struct Step
        {
            int click;  // a radio button, or -1 and the authentication entry
            int auth;
            bool host, port, instance, user, password;
        } steps[] = {
            {0, 0, false, false, true, false, false}, // as opened: local, Windows
            {IDC_SQL_REMOTE, 0, true, true, false, false, false},
            {-1, 1, true, true, false, true, true},
            {IDC_SQL_LOCAL, 1, false, false, true, true, true},
            {-1, 0, false, false, true, false, false},
        };
        for (const Step& s : steps) {
            SCOPED_TRACE(s.click);
            if (s.click > 0) {
                Click(Control(wnd, s.click));
                EXPECT_TRUE(WaitUntil([&] { return Enabled(wnd, IDC_SQL_HOST) == s.host; }));
            } else if (s.click < 0) {
                ChooseAuth(wnd, s.auth);
            }
            EXPECT_EQ(Enabled(wnd, IDC_SQL_HOST), s.host);
            EXPECT_EQ(Enabled(wnd, IDC_SQL_PORT), s.port);
            EXPECT_EQ(Enabled(wnd, IDC_SQL_INSTANCE), s.instance);
            EXPECT_EQ(Enabled(wnd, IDC_SQL_USER), s.user);
            EXPECT_EQ(Enabled(wnd, IDC_SQL_PASSWORD), s.password);
        }
    });
}

TEST_F(SqlOptionsTest, TestShowsABoxByLevel)
{
    struct Case
    {
        const char* name;
        std::function<void(CTestSqlServer&)> prepare;
        LPCWSTR box;
    } cases[] = {
        {"down", [](CTestSqlServer& s) { s.SetDown(true); }, kNotConnected},
        {"current",
         [](CTestSqlServer& s) {
             ASSERT_TRUE(s.CreateDatabase(L"Folionex"));
             ASSERT_TRUE(s.CreateCaseTable(L"Folionex"));
         },
         kConnectionOk},
        {"listed without access",
         [](CTestSqlServer& s) {
             ASSERT_TRUE(s.CreateDatabase(L"Folionex"));
             s.SetNoAccess(L"Folionex");
         },
         kConnectionMade},
        {"empty", [](CTestSqlServer& s) { ASSERT_TRUE(s.CreateDatabase(L"Folionex")); }, kConnectionMade},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Reset();
        c.prepare(server);
        Drive([&](HWND wnd) {
            ClickId(wnd, IDC_SQL_TEST);
            EXPECT_TRUE(ConfirmBox(c.box));
            EXPECT_TRUE(IsWindowVisible(wnd)) << "a test keeps the dialog open";
        });
    }
}

TEST_F(SqlOptionsTest, ChooserListsTheUserDatabasesSortedAndTakesAnExistingOne)
{
    for (LPCWSTR name : {L"Zeta", L"alfa", L"Beta"})
        ASSERT_TRUE(server.CreateDatabase(name));
    server.ClearTrace();
    Drive([&](HWND wnd) {
        ClickId(wnd, IDC_SQL_TEST);
        HWND chooser = WaitForWindow(L"#32770", kChooserTitle);
        ASSERT_TRUE(chooser);
        EXPECT_EQ(ComboEntries(Control(chooser, IDC_SQLDB_LIST)), (std::vector<CString>{L"alfa", L"Beta", L"Zeta"}));
        EXPECT_EQ(SendMessageW(Control(chooser, IDC_SQLDB_LIST), CB_GETCURSEL, 0, 0), 0);
        EXPECT_TRUE(IsChecked(Control(chooser, IDC_SQLDB_NEW)));
        EXPECT_TRUE(Enabled(chooser, IDC_SQLDB_EXISTING));
        EXPECT_EQ(Text(Control(chooser, IDC_SQLDB_NEWNAME)), CString(L"Folionex"));
        Click(Control(chooser, IDC_SQLDB_EXISTING));
        EXPECT_TRUE(WaitUntil([&] { return IsChecked(Control(chooser, IDC_SQLDB_EXISTING)); }));
        SendMessageW(Control(chooser, IDC_SQLDB_LIST), CB_SETCURSEL, 1, 0);
        ClickId(chooser, IDOK);
        ASSERT_TRUE(WaitForWindowGone(chooser));
        EXPECT_TRUE(WaitUntil([&] { return Text(Control(wnd, IDC_SQL_DBNAME)) == L"Beta"; }));
    });
    EXPECT_EQ(server.Databases().size(), 7u) << "nothing created";
    EXPECT_EQ(server.Trace().find(L"CREATE"), std::wstring::npos);
    EXPECT_TRUE(LogText().find(L"Show popup CSqlOptionsDatabasesDlg") != std::wstring::npos);
}

TEST_F(SqlOptionsTest, ChooserWithoutUserDatabasesCreatesANewOne)
{
    Drive([&](HWND wnd) {
        ClickId(wnd, IDC_SQL_TEST);
        HWND chooser = WaitForWindow(L"#32770", kChooserTitle);
        ASSERT_TRUE(chooser);
        EXPECT_TRUE(ComboEntries(Control(chooser, IDC_SQLDB_LIST)).empty());
        EXPECT_FALSE(Enabled(chooser, IDC_SQLDB_EXISTING));
        EXPECT_FALSE(Enabled(chooser, IDC_SQLDB_LIST));
        EXPECT_TRUE(IsChecked(Control(chooser, IDC_SQLDB_NEW)));
        Type(chooser, IDC_SQLDB_NEWNAME, L"Uj_Iroda");
        ClickId(chooser, IDOK);
        ASSERT_TRUE(WaitForWindowGone(chooser));
        EXPECT_TRUE(ConfirmBox(kCreated));
        EXPECT_EQ(Text(Control(wnd, IDC_SQL_DBNAME)), CString(L"Uj_Iroda"));
        // The database now answers as a current one.
        ClickId(wnd, IDC_SQL_TEST);
        EXPECT_TRUE(ConfirmBox(kConnectionOk));
    });
    int code = 0;
    CSqlConnectionParams p;
    manager.GetConnectionParams(p);
    p.database = L"Uj_Iroda";
    EXPECT_EQ(manager.CheckAll(p, code), 255);
    EXPECT_EQ(Stored(L"SqlDBName"), CString(L"Folionex")) << "closing stores nothing";
}

TEST_F(SqlOptionsTest, SaveAtLevelZeroRefusesAndStoresNothing)
{
    server.SetDown(true);
    std::vector<CString> before = StoredConnectionValues();
    INT_PTR result = Drive([&](HWND wnd) {
        Type(wnd, IDC_SQL_DBNAME, L"Masik");
        ClickId(wnd, IDOK);
        EXPECT_TRUE(ConfirmBox(kNotConnected));
        EXPECT_TRUE(IsWindowVisible(wnd));
    });
    EXPECT_NE(result, IDOK);
    EXPECT_EQ(StoredConnectionValues(), before);
}

TEST_F(SqlOptionsTest, SaveStoresTheParametersAndAWorkingConnectionString)
{
    struct Case
    {
        const char* name;
        bool databaseExists;
    } cases[] = {{"level 255", true}, {"level 7: the database is missing", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Reset();
        server.AddLogin(L"iroda", kPassword);
        ASSERT_TRUE(server.CreateDatabase(L"Masik"));
        if (c.databaseExists) {
            ASSERT_TRUE(server.CreateDatabase(L"Iroda"));
            ASSERT_TRUE(server.CreateCaseTable(L"Iroda"));
        }
        INT_PTR result = Drive([&](HWND wnd) {
            TypeRemoteLogin(wnd, L"Iroda");
            Save(wnd);
        });
        EXPECT_EQ(result, IDOK);
        CSqlConnectionParams p;
        p.host = L"10.0.0.7";
        p.port = 1533;
        p.database = L"Iroda";
        p.user = L"iroda";
        p.password = kPassword;
        p.mode = 3;
        p.auth = 2;
        CString expected = BuildConnectionString(p, false);
        EXPECT_FALSE(expected.IsEmpty());
        EXPECT_EQ(Stored(L"ConnectionString"), expected);
        EXPECT_EQ(manager.GetConnectionString(), expected);
        EXPECT_EQ(StoredInt(L"SqlConnectionMode"), 3);
        EXPECT_EQ(StoredInt(L"SqlAuthType"), 2);
        EXPECT_EQ(Stored(L"SqlDBName"), CString(L"Iroda"));
        EXPECT_EQ(Stored(L"SqlHost"), CString(L"10.0.0.7"));
        EXPECT_EQ(StoredInt(L"SqlPort"), 1533);
        EXPECT_EQ(Stored(L"SqlUser"), CString(L"iroda"));
        EXPECT_EQ(Stored(L"SqlPwd"), CString(kPassword));
        EXPECT_EQ(Stored(L"SqlInstance"), CString(L"(local)\\SQLExpress")) << "the local instance stays";
    }
    // After the save at level 7 the store reaches the database once it exists.
    server.Reset();
    server.AddLogin(L"iroda", kPassword);
    ASSERT_TRUE(server.CreateDatabase(L"Iroda"));
    ASSERT_TRUE(server.CreateCaseTable(L"Iroda"));
    EXPECT_TRUE(store->LoadFromDatabase());
}

TEST_F(SqlOptionsTest, WindowsAuthenticationKeepsTheStoredUserAndPassword)
{
    env.Settings().WriteProfileString(L"SqlUser", L"regi");
    env.Settings().WriteProfileString(L"SqlPwd", L"regi-jelszo");
    manager.LoadSettings();
    ASSERT_TRUE(server.CreateDatabase(L"Folionex"));
    ASSERT_TRUE(server.CreateCaseTable(L"Folionex"));
    INT_PTR result = Drive([&](HWND wnd) {
        Type(wnd, IDC_SQL_USER, L"uj");
        Type(wnd, IDC_SQL_PASSWORD, L"uj-jelszo");
        Save(wnd);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(Stored(L"SqlUser"), CString(L"regi"));
    EXPECT_EQ(Stored(L"SqlPwd"), CString(L"regi-jelszo"));
    EXPECT_EQ(StoredInt(L"SqlAuthType"), 1);
    EXPECT_EQ(Stored(L"ConnectionString"),
              CString(L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=Folionex;Trusted_Connection=yes;"));
}

TEST_F(SqlOptionsTest, APortThatIsNotAnIntegerRunsNoCheckAndStoresNothing)
{
    ASSERT_TRUE(server.CreateDatabase(L"Folionex"));
    ASSERT_TRUE(server.CreateCaseTable(L"Folionex"));
    std::vector<CString> before = StoredConnectionValues();
    server.ClearTrace();
    INT_PTR result = Drive([&](HWND wnd) {
        Click(Control(wnd, IDC_SQL_REMOTE));
        EXPECT_TRUE(WaitUntil([&] { return Enabled(wnd, IDC_SQL_PORT); }));
        Type(wnd, IDC_SQL_PORT, L"14x3");
        for (int button : {IDC_SQL_TEST, IDOK}) {
            ClickId(wnd, button);
            EXPECT_TRUE(ConfirmBox(L"Kérem, egész számot adjon meg."));
            EXPECT_TRUE(IsWindowVisible(wnd));
        }
    });
    EXPECT_NE(result, IDOK);
    EXPECT_EQ(server.Trace(), L"") << "no login, no statement";
    EXPECT_EQ(StoredConnectionValues(), before);
}

TEST_F(SqlOptionsTest, ATypedPasswordReachesNoLogLine)
{
    for (bool down : {true, false}) {
        SCOPED_TRACE(down ? "server down" : "server up");
        server.Reset();
        server.SetDown(down);
        server.AddLogin(L"iroda", kPassword);
        DeleteFileW(logPath);
        Drive([&](HWND wnd) {
            TypeRemoteLogin(wnd, L"Iroda");
            ClickId(wnd, IDC_SQL_TEST);
            if (down) {
                EXPECT_TRUE(ConfirmBox(kNotConnected));
                return;
            }
            HWND chooser = WaitForWindow(L"#32770", kChooserTitle);
            ASSERT_TRUE(chooser);
            ClickId(chooser, IDOK);
            ASSERT_TRUE(WaitForWindowGone(chooser));
            EXPECT_TRUE(ConfirmBox(kCreated));
            Save(wnd);
        });
        std::wstring log = LogText();
        if (down) {
            EXPECT_NE(log.find(L"CheckAccess.Initialize error"), std::wstring::npos);
        } else {
            EXPECT_NE(log.find(L"connection: Provider=MSOLEDBSQL;Server=10.0.0.7,1533;"), std::wstring::npos);
            EXPECT_NE(log.find(L"UID=iroda;Pwd=***;"), std::wstring::npos);
        }
        EXPECT_EQ(log.find(L"Tit0k"), std::wstring::npos);
        EXPECT_EQ(log.find(L"Jelsz"), std::wstring::npos);
    }
}

TEST_F(SqlOptionsTest, FailedLoadsLogTheStoredConnectionWithoutItsPassword)
{
    CSqlConnectionParams p;
    manager.GetConnectionParams(p);
    p.auth = 2;
    p.user = L"iroda";
    p.password = kPassword;
    manager.SetConnectionParams(p);
    server.AddLogin(L"iroda", kPassword);
    for (bool down : {true, false}) {
        SCOPED_TRACE(down ? "server down" : "server up, no database");
        server.SetDown(down);
        DeleteFileW(logPath);
        EXPECT_FALSE(store->LoadFromDatabase());
        std::wstring log = LogText();
        EXPECT_NE(log.find(L"Load from database failed! Provider=MSOLEDBSQL;"), std::wstring::npos) << log;
        EXPECT_NE(log.find(L"Pwd=***;"), std::wstring::npos);
        EXPECT_EQ(log.find(L"Tit0k"), std::wstring::npos);
    }
}

TEST(MaskConnectionPasswordTest, HidesEveryPasswordValue)
{
    struct Case
    {
        LPCWSTR in;
        LPCWSTR out;
    } cases[] = {
        {L"", L""},
        {L"Provider=MSOLEDBSQL;Server=a;Database=b;Trusted_Connection=yes;",
         L"Provider=MSOLEDBSQL;Server=a;Database=b;Trusted_Connection=yes;"},
        {L"Provider=MSOLEDBSQL;UID=u;Pwd=titok;", L"Provider=MSOLEDBSQL;UID=u;Pwd=***;"},
        {L"UID=u;Pwd=titok", L"UID=u;Pwd=***"},
        {L"uid=u; PASSWORD = titok ;x=y", L"uid=u; PASSWORD =***;x=y"},
        {L"Pwd=\"ti;tok\"\"x\";Database=b;", L"Pwd=***;Database=b;"},
        {L"Pwd='ti;tok';Database=b;", L"Pwd=***;Database=b;"},
        {L"Pwd=;Database=b;", L"Pwd=***;Database=b;"},
        {L"Pwd=a=b;c", L"Pwd=***;c"},
        {L"UID=\"o'Neil\";Pwd=x;", L"UID=\"o'Neil\";Pwd=***;"},
        // A braced value runs to the matching brace; "}}" is a brace of it.
        {L"UID=u;Pwd={a;b}", L"UID=u;Pwd=***"},
        {L"Pwd={a;b};Database=b;", L"Pwd=***;Database=b;"},
        {L"Pwd = {ti}};to;k} ;Database=b;", L"Pwd =***;Database=b;"},
        {L"Pwd={};Database=b;", L"Pwd=***;Database=b;"},
        {L"UID={a;b};Pwd=x;", L"UID={a;b};Pwd=***;"},
        {L"Database={x}};y};Pwd={p;q};", L"Database={x}};y};Pwd=***;"},
        {L"UID={u;Pwd=titok;", L"UID=***"},
        {L"Pwd={ti;tok", L"Pwd=***"},
        {L"Pwd={a}};Database=b;", L"Pwd=***"},
        // A quoted value that never ends hides the rest, password and all.
        {L"UID=\"u;Pwd=titok;", L"UID=***"},
        {L"Pwd=\"titok", L"Pwd=***"},
        // Pieces without a value stay as they are.
        {L";;Pwd;titok;", L";;Pwd;titok;"},
        {L"Server=a;Pwd", L"Server=a;Pwd"},
        {L"==;Pwd==x;", L"==;Pwd=***;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CStringA(c.in).GetString());
        EXPECT_EQ(MaskConnectionPassword(c.in), CString(c.out));
    }
    EXPECT_EQ(MaskConnectionPassword(NULL), CString(L""));
}

// Pictures for the documentation.
TEST_F(SqlOptionsTest, Screenshots)
{
    CString folder;
    if (!ScreenshotFolder(folder))
        GTEST_SKIP() << "FOLIONEX_SCREENSHOTS is not set";
    server.AddLogin(L"iroda", kPassword);
    for (LPCWSTR name : {L"Iroda2023", L"Archivum"})
        ASSERT_TRUE(server.CreateDatabase(name));
    bool saved = false;
    Drive([&](HWND wnd) {
        TypeRemoteLogin(wnd, L"Iroda");
        RedrawWindow(wnd, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        saved = SaveWindowBitmap(wnd, folder + L"\\sql-options.bmp") != FALSE;
        ClickId(wnd, IDC_SQL_TEST);
        HWND chooser = WaitForWindow(L"#32770", kChooserTitle);
        ASSERT_TRUE(chooser);
        RedrawWindow(chooser, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        saved = saved && SaveWindowBitmap(chooser, folder + L"\\sql-databases.bmp") != FALSE;
        CloseBox(chooser);
        EXPECT_TRUE(WaitForWindowGone(chooser));
    });
    EXPECT_TRUE(saved);
}

} // namespace
