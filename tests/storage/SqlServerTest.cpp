// The central case table and the SQL Server connection manager, end to end
// through OLE DB against the test SQL server (the stand-in provider).
#include <gtest/gtest.h>
#include <map>
#include <vector>
#include "StorageTestSupport.h"
#include "TestSqlServer.h"
#include "foundation/Log.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/CtUgyirat_SqlServer.h"
#include "storage/OleDbSupport.h"
#include "storage/UgyiratStore.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;
using oledb_standin::CTestSqlServer;
typedef std::vector<std::vector<std::wstring>> Rows;

const char kCaseRowsSql[] = "SELECT Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, Datum, CC, "
                            "Hataridok FROM tUgyirat ORDER BY Ev, Nr";
const wchar_t kDefaultInstance[] = L"(local)\\SQLExpress";

CSqlConnectionParams LocalParams(LPCWSTR database)
{
    CSqlConnectionParams p;
    p.instance = kDefaultInstance;
    p.database = database;
    return p;
}

std::wstring Text(const CString& s)
{
    return std::wstring((LPCWSTR)s);
}

// The log's lines after their time stamps (the file is UTF-16LE).
std::vector<std::wstring> LogLines(const CString& path)
{
    return ReadLogTexts(path);
}

class SqlServerTest : public ::testing::Test
{
protected:
    SqlServerTest() : env(L"SqlServerTest") {}

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
        LogSetPrefix(NULL);
        LogResetPath();
        logPath = env.Folder() + AfxGetApp()->m_pszAppName + L".log";
        manager.LoadSettings();
        CConnectionManagerSqlServer::SetApplicationManager(&manager);
    }

    void TearDown() override
    {
        CConnectionManagerSqlServer::SetApplicationManager(NULL);
        LogSetPrefix(NULL);
        CoUninitialize();
    }

    // The database of the default connection string with the case table.
    void MakeCentral(LPCWSTR database = L"Folionex")
    {
        ASSERT_TRUE(server.CreateDatabase(database));
        ASSERT_TRUE(server.CreateCaseTable(database));
    }

    Rows CaseRows(LPCWSTR database = L"Folionex") { return server.Query(database, kCaseRowsSql); }

    // Everything a select delivers, by key.
    std::map<int, CUgyiratRecord> ReadAll(CRDBTable& table)
    {
        std::map<int, CUgyiratRecord> records;
        EXPECT_TRUE(table.OpenSelect());
        while (table.MoveNext()) {
            CUgyiratRecord r;
            ZeroRecord(r);
            EXPECT_TRUE(table.GetRecord(r));
            records[UgyiratKey(r)] = r;
        }
        EXPECT_FALSE(table.ReadFailed());
        table.Close();
        return records;
    }

    void ClearLog()
    {
        DeleteFileW(logPath);
    }

    CStorageEnvironment env;
    CTestSqlServer server;
    CConnectionManagerSqlServer manager;
    CString logPath;
};

void ExpectSameRecord(const CUgyiratRecord& a, const CUgyiratRecord& b)
{
    EXPECT_EQ(a.Ev, b.Ev);
    EXPECT_EQ(a.Nr, b.Nr);
    EXPECT_EQ(a.Allapot, b.Allapot);
    EXPECT_STREQ(a.UgyfelNeve, b.UgyfelNeve);
    EXPECT_STREQ(a.EllenfelNeve, b.EllenfelNeve);
    EXPECT_STREQ(a.UgyJellege, b.UgyJellege);
    EXPECT_STREQ(a.Megjegyzes, b.Megjegyzes);
    EXPECT_STREQ(a.Hataridok, b.Hataridok);
    EXPECT_STREQ(a.CC, b.CC);
    EXPECT_EQ(0, memcmp(&a.Datum, &b.Datum, sizeof(a.Datum)));
    EXPECT_EQ(0, memcmp(&a, &b, sizeof(a))) << "the whole record, terminators and padding included";
}

// ---------------------------------------------------------------------------
// Connection strings and settings

TEST(SqlConnectionParamsTest, EveryMemberStartsSet)
{
    CSqlConnectionParams p;
    EXPECT_EQ(p.port, 1433);
    EXPECT_EQ(p.mode, 2);
    EXPECT_EQ(p.auth, 1);
    EXPECT_TRUE(p.instance.IsEmpty() && p.host.IsEmpty() && p.database.IsEmpty() && p.user.IsEmpty() &&
                p.password.IsEmpty());
}

TEST(BuildConnectionStringTest, PiecesInOrderAndQuotingWhereNeeded)
{
    struct Case
    {
        int mode;
        LPCWSTR server; // instance (mode 2) or host (mode 3)
        LPCWSTR database;
        int auth;
        LPCWSTR user;
        LPCWSTR password;
        bool toMaster;
        LPCWSTR expected;
    } cases[] = {
        {3, L"127.0.0.1", L"Folionex", 2, L"Folionex", L"mervintolask", false,
         L"Provider=MSOLEDBSQL;Server=127.0.0.1,1433;Database=Folionex;UID=Folionex;Pwd=mervintolask;"},
        {3, L"127.0.0.1", L"Folionex", 2, L"Folionex", L"mervintolask", true,
         L"Provider=MSOLEDBSQL;Server=127.0.0.1,1433;Database=master;UID=Folionex;Pwd=mervintolask;"},
        {2, kDefaultInstance, L"Folionex", 1, L"u", L"p", false,
         L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=Folionex;Trusted_Connection=yes;"},
        {5, kDefaultInstance, L"Folionex", 7, L"u", L"p", false,
         L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=Folionex;UID=u;Pwd=p;"},
        // Plain values stay as they are, blanks inside included.
        {2, kDefaultInstance, L"Iroda 2", 2, L"Kovács Ödön", L"a=b", false,
         L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=Iroda 2;UID=Kovács Ödön;Pwd=a=b;"},
        // ';', quotes and blanks at either end are quoted; inner double quotes doubled.
        {2, kDefaultInstance, L"Folionex", 2, L"o'Neil", L"ti;tok;Database=master", false,
         L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=Folionex;UID=\"o'Neil\";"
         L"Pwd=\"ti;tok;Database=master\";"},
        {2, kDefaultInstance, L"Folionex", 2, L" u", L"say \"hi\" ", false,
         L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=Folionex;UID=\" u\";Pwd=\"say \"\"hi\"\" \";"},
        {3, L"host;x", L"a;b", 1, L"", L"", false,
         L"Provider=MSOLEDBSQL;Server=\"host;x,1433\";Database=\"a;b\";Trusted_Connection=yes;"},
    };
    for (const Case& c : cases) {
        CSqlConnectionParams p;
        p.mode = c.mode;
        (c.mode == 3 ? p.host : p.instance) = c.server;
        p.database = c.database;
        p.auth = c.auth;
        p.user = c.user;
        p.password = c.password;
        EXPECT_EQ(Text(BuildConnectionString(p, c.toMaster)), c.expected);
    }
}

TEST(QuoteSqlNameTest, BracketsWithInnerBracketsDoubled)
{
    EXPECT_EQ(Text(QuoteSqlName(L"Folionex")), L"[Folionex]");
    EXPECT_EQ(Text(QuoteSqlName(L"a]b [c]")), L"[a]]b [c]]]");
}

TEST(CreateScriptTest, ThreeStatementsEachEndedByALineFeed)
{
    std::wstring script = CConnectionManagerSqlServer::kCreateTableSql;
    EXPECT_EQ(script.size(), 786u);
    EXPECT_EQ(std::count(script.begin(), script.end(), L'\n'), 3);
    EXPECT_EQ(script.back(), L'\n');
}

TEST_F(SqlServerTest, LoadSettingsWritesEveryValueBack)
{
    CString key = CString(L"Software\\Orvane\\") + AfxGetApp()->m_pszAppName + L"\\SqlServerTest";
    struct TextValue
    {
        LPCWSTR name;
        LPCWSTR value;
    } texts[] = {{L"ConnectionString", CConnectionManagerSqlServer::kDefaultConnectionString},
                 {L"SqlInstance", kDefaultInstance},
                 {L"SqlHost", L"127.0.0.1"},
                 {L"SqlDBName", L"Folionex"},
                 {L"SqlUser", L"Folionex"},
                 {L"SqlPwd", L"mervintolask"}};
    for (const TextValue& t : texts) {
        CString value;
        EXPECT_TRUE(ReadRegString(HKEY_CURRENT_USER, key, t.name, value)) << t.name;
        EXPECT_EQ(std::wstring((LPCWSTR)value), t.value) << t.name;
    }
    struct Number
    {
        LPCWSTR name;
        DWORD value;
    } numbers[] = {{L"Online", 1}, {L"SqlConnectionMode", 2}, {L"SqlPort", 1433}, {L"SqlAuthType", 1}};
    for (const Number& n : numbers) {
        DWORD value = 0;
        EXPECT_TRUE(ReadRegDword(HKEY_CURRENT_USER, key, n.name, value)) << n.name;
        EXPECT_EQ(value, n.value) << n.name;
    }
    CString backup;
    EXPECT_TRUE(ReadRegString(HKEY_CURRENT_USER, key, L"BackupFile", backup));
    EXPECT_TRUE(manager.Online);
    EXPECT_EQ(Text(manager.GetConnectionString()), CConnectionManagerSqlServer::kDefaultConnectionString);

    // Odd stored values: the mode is read as 3, Online as false; the
    // authentication type stays as stored.
    CAppSettings& s = env.Settings();
    s.WriteProfileInt(L"SqlConnectionMode", 5);
    s.WriteProfileInt(L"Online", 2);
    s.WriteProfileInt(L"SqlAuthType", 7);
    CConnectionManagerSqlServer other;
    other.LoadSettings();
    EXPECT_EQ(other.SqlConnectionMode, 3);
    EXPECT_FALSE(other.Online);
    EXPECT_EQ(other.SqlAuthType, 7);
    EXPECT_EQ(s.GetProfileInt(L"SqlConnectionMode", 0), 3);
    EXPECT_EQ(s.GetProfileInt(L"Online", 9), 0);
    EXPECT_EQ(s.GetProfileInt(L"SqlAuthType", 0), 7);
}

TEST_F(SqlServerTest, SetConnectionParamsStoresWhatModeAndAuthenticationUse)
{
    CAppSettings& s = env.Settings();
    CSqlConnectionParams p;
    p.instance = L"SRV\\IRODA";
    p.host = L"10.0.0.9";
    p.port = 1500;
    p.database = L"Masik";
    p.user = L"u";
    p.password = L"p";
    manager.SetConnectionParams(p); // mode 2, Windows authentication
    EXPECT_EQ(Text(s.GetProfileString(L"ConnectionString")), Text(BuildConnectionString(p, false)));
    EXPECT_EQ(Text(manager.GetConnectionString()), Text(BuildConnectionString(p, false)));
    EXPECT_EQ(Text(s.GetProfileString(L"SqlDBName")), L"Masik");
    EXPECT_EQ(Text(s.GetProfileString(L"SqlInstance")), L"SRV\\IRODA");
    EXPECT_EQ(Text(s.GetProfileString(L"SqlHost")), L"127.0.0.1");
    EXPECT_EQ(s.GetProfileInt(L"SqlPort", 0), 1433);
    EXPECT_EQ(Text(s.GetProfileString(L"SqlUser")), L"Folionex");
    EXPECT_EQ(Text(s.GetProfileString(L"SqlPwd")), L"mervintolask");

    p.mode = 3;
    p.auth = 2;
    p.instance = L"MASHOL";
    manager.SetConnectionParams(p);
    EXPECT_EQ(s.GetProfileInt(L"SqlConnectionMode", 0), 3);
    EXPECT_EQ(s.GetProfileInt(L"SqlAuthType", 0), 2);
    EXPECT_EQ(Text(s.GetProfileString(L"SqlInstance")), L"SRV\\IRODA");
    EXPECT_EQ(Text(s.GetProfileString(L"SqlHost")), L"10.0.0.9");
    EXPECT_EQ(s.GetProfileInt(L"SqlPort", 0), 1500);
    EXPECT_EQ(Text(s.GetProfileString(L"SqlUser")), L"u");
    EXPECT_EQ(Text(s.GetProfileString(L"SqlPwd")), L"p");

    CSqlConnectionParams back;
    EXPECT_TRUE(manager.GetConnectionParams(back));
    EXPECT_EQ(Text(BuildConnectionString(back, false)), Text(manager.GetConnectionString()));
}

// ---------------------------------------------------------------------------
// The case table

TEST_F(SqlServerTest, InsertWritesEveryColumnAndEmptyCcAndDeadlinesAsNull)
{
    MakeCentral();
    CtUgyirat_SqlServer table;
    CUgyiratRecord first = MakeRecord(2024, 1, L"Kovács Ödön", L"Űrhajó Kft.", L"Polgári", L"megjegyzés");
    CUgyiratRecord second = MakeRecord(2024, 2, L"", L"Nagy", L"Büntető", L"", L"+2025.01.15. tárgyalás");
    second.Allapot = 0;
    CopyField(second.CC, L"régi CC");
    ASSERT_TRUE(table.Insert(first));
    ASSERT_TRUE(table.Insert(second));

    Rows rows = CaseRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::wstring>{L"2024", L"1", L"1", L"Kovács Ödön", L"Űrhajó Kft.", L"Polgári",
                                                  L"megjegyzés", L"2024-03-31 02:30:00.000", L"<NULL>", L"<NULL>"}));
    EXPECT_EQ(rows[1], (std::vector<std::wstring>{L"2024", L"2", L"0", L"", L"Nagy", L"Büntető", L"",
                                                  L"2024-03-31 02:30:00.000", L"régi CC",
                                                  L"+2025.01.15. tárgyalás"}))
        << "empty names are empty strings, never NULL";

    auto read = ReadAll(table);
    ASSERT_EQ(read.size(), 2u);
    ExpectSameRecord(read[UgyiratKey(first)], first);
    ExpectSameRecord(read[UgyiratKey(second)], second);
}

TEST_F(SqlServerTest, SelectReadsNullTextsAsEmptyAndCutsLongOnesToTheRecord)
{
    MakeCentral();
    CtUgyirat_SqlServer table;
    ASSERT_TRUE(table.Insert(MakeRecord(2024, 1, L"Kiss", L"Nagy", L"Polgári", L"x", L"+határidő")));
    ASSERT_TRUE(table.Insert(MakeRecord(2024, 2, L"Tóth")));
    ASSERT_TRUE(server.Exec(L"Folionex", "UPDATE tUgyirat SET UgyfelNeve = NULL, EllenfelNeve = NULL, UgyJellege = "
                                         "NULL, Megjegyzes = NULL, CC = NULL, Hataridok = NULL WHERE Nr = 1"));
    // A deadline list longer than the record holds (the column takes 4000).
    ASSERT_TRUE(server.Exec(L"Folionex", "UPDATE tUgyirat SET Hataridok = replace(hex(zeroblob(750)), '0', 'h'), "
                                         "CC = replace(hex(zeroblob(24)), '0', 'c') WHERE Nr = 2"));
    auto read = ReadAll(table);
    ASSERT_EQ(read.size(), 2u);
    const CUgyiratRecord& nulls = read[MakeUgyiratKey(2024, 1)];
    EXPECT_STREQ(nulls.UgyfelNeve, L"");
    EXPECT_STREQ(nulls.EllenfelNeve, L"");
    EXPECT_STREQ(nulls.UgyJellege, L"");
    EXPECT_STREQ(nulls.Megjegyzes, L"");
    EXPECT_STREQ(nulls.CC, L"");
    EXPECT_STREQ(nulls.Hataridok, L"");
    const CUgyiratRecord& full = read[MakeUgyiratKey(2024, 2)];
    EXPECT_EQ(std::wstring(full.Hataridok), std::wstring(1024, L'h'));
    EXPECT_EQ(std::wstring(full.CC), std::wstring(48, L'c'));
    EXPECT_STREQ(full.UgyfelNeve, L"Tóth");
}

TEST_F(SqlServerTest, UpdateChangesTheRowOfTheOldKeyAndLeavesItsDatum)
{
    MakeCentral();
    CtUgyirat_SqlServer table;
    ASSERT_TRUE(table.Insert(MakeRecord(2024, 5, L"Kiss", L"Nagy", L"Polgári", L"", L"+határidő")));
    ASSERT_TRUE(table.Insert(MakeRecord(2024, 6, L"Marad")));

    CUgyiratRecord changed = MakeRecord(2023, 9, L"Új Ügyfél", L"Új Ellenfél", L"Munkajogi", L"módosítva");
    changed.Allapot = 0;
    changed.Datum.year = 2030;
    ASSERT_TRUE(table.Update(changed, MakeUgyiratKey(2024, 5)));
    Rows rows = CaseRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::wstring>{L"2023", L"9", L"0", L"Új Ügyfél", L"Új Ellenfél", L"Munkajogi",
                                                  L"módosítva", L"2024-03-31 02:30:00.000", L"<NULL>", L"<NULL>"}));
    EXPECT_EQ(rows[1][3], L"Marad");

    // A key no row has: true, nothing changes.
    ASSERT_TRUE(table.Update(MakeRecord(2020, 1, L"Senki"), MakeUgyiratKey(2020, 1)));
    EXPECT_EQ(CaseRows(), rows);
}

TEST_F(SqlServerTest, DeleteRemovesTheRowAndAMissingRowIsNoError)
{
    MakeCentral();
    CtUgyirat_SqlServer table;
    CUgyiratRecord gone = MakeRecord(2024, 1, L"Megy");
    ASSERT_TRUE(table.Insert(gone));
    ASSERT_TRUE(table.Insert(MakeRecord(2024, 2, L"Marad")));
    ASSERT_TRUE(table.Delete(gone));
    Rows rows = CaseRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], L"2");
    EXPECT_TRUE(table.Delete(gone));
    EXPECT_EQ(CaseRows(), rows);
}

TEST_F(SqlServerTest, ADuplicateKeyIsRefusedAndTheTableStaysAsItWas)
{
    MakeCentral();
    CtUgyirat_SqlServer table;
    ASSERT_TRUE(table.Insert(MakeRecord(2024, 1, L"Első")));
    Rows before = CaseRows();
    EXPECT_FALSE(table.Insert(MakeRecord(2024, 1, L"Második", L"Más", L"Más", L"más")));
    EXPECT_EQ(CaseRows(), before);
    // The key taken by an update is refused the same way.
    ASSERT_TRUE(table.Insert(MakeRecord(2024, 2, L"Második")));
    before = CaseRows();
    EXPECT_FALSE(table.Update(MakeRecord(2024, 1, L"Ütközik"), MakeUgyiratKey(2024, 2)));
    EXPECT_EQ(CaseRows(), before);
}

TEST_F(SqlServerTest, AChangedConnectionStringTakesEffectWithTheNextInsert)
{
    MakeCentral(L"Folionex");
    MakeCentral(L"Masik");
    CtUgyirat_SqlServer table;
    ASSERT_TRUE(table.Insert(MakeRecord(2024, 1, L"Első")));
    manager.SetConnectionString(BuildConnectionString(LocalParams(L"Masik"), false));
    ASSERT_TRUE(table.Insert(MakeRecord(2024, 2, L"Második")));
    Rows folionex = CaseRows(L"Folionex"), masik = CaseRows(L"Masik");
    ASSERT_EQ(folionex.size(), 1u);
    ASSERT_EQ(masik.size(), 1u);
    EXPECT_EQ(folionex[0][3], L"Első");
    EXPECT_EQ(masik[0][3], L"Második");
}

TEST_F(SqlServerTest, FailuresToConnectAreLoggedWithTheConnectionString)
{
    MakeCentral();
    server.SetDown(true);
    ClearLog();
    CtUgyirat_SqlServer table;
    CUgyiratRecord r = MakeRecord(2024, 1);
    EXPECT_FALSE(table.Insert(r));
    EXPECT_FALSE(table.Exec(L"DELETE FROM tUgyirat;"));
    CString count;
    EXPECT_FALSE(table.QueryScalar(L"SELECT COUNT(*) FROM tUgyirat", count));
    EXPECT_FALSE(table.OpenSelect());
    table.Close();
    auto lines = LogLines(logPath);
    std::wstring cs = CConnectionManagerSqlServer::kDefaultConnectionString;
    EXPECT_EQ(lines, (std::vector<std::wstring>{
                         L"CtUgyiratAccessor::OpenFromInitializationString error - 80004005 - " + cs,
                         L"OpenFromInitializationString error - 80004005 - " + cs,
                         L"OpenFromInitializationString error - 80004005 - " + cs,
                         L"CtUgyiratAccessor::OpenFromInitializationString error - 80004005 - " + cs}));
    server.SetDown(false);
    EXPECT_EQ(CaseRows().size(), 0u);
}

TEST_F(SqlServerTest, DumpErrorLogsEveryRecordOfADuplicateKey)
{
    MakeCentral();
    CtUgyirat_SqlServer table;
    CUgyiratRecord r = MakeRecord(2024, 1);
    ASSERT_TRUE(table.Insert(r));

    // The insert once more, by hand, to keep the failing command.
    CtUgyiratInsertAccessor insert;
    insert.SetRecord(r);
    ASSERT_EQ(insert.OpenFromInitializationString(), S_OK);
    COlePtr<ICommandText> command;
    ASSERT_EQ(CreateOleDbCommand(insert.m_pSession, CtUgyirat_SqlServer::kInsertSql, command.Out()), S_OK);
    COlePtr<IAccessor> accessor;
    ASSERT_EQ(command->QueryInterface(IID_IAccessor, accessor.OutVoid()), S_OK);
    DBBINDING bindings[10];
    int count = insert.GetBindings(bindings);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, count, bindings, 0, &handle, NULL), S_OK);
    DBPARAMS params = {insert.Buffer(), 1, handle};
    ASSERT_EQ(command->Execute(NULL, IID_NULL, &params, NULL, NULL), DB_E_INTEGRITYVIOLATION);

    ClearLog();
    CConnectionManagerSqlServer::DumpError(command.Get(), IID_ICommand);
    LogLine(L"after the dump");
    EXPECT_EQ(LogLines(logPath),
              (std::vector<std::wstring>{
                  L"CConnectionManagerSqlServer::DumpError",
                  L"  [0] HRESULT:\t0X80040E2F",
                  L"  [0] SQLSTATE:\t23000",
                  L"  [0] Native Error:\t2627",
                  L"  [0] Error state:\t1",
                  L"  [0] Severity:\t14",
                  L"  [0] Source:\tMicrosoft OLE DB Driver for SQL Server",
                  L"  [0] Description:\tViolation of PRIMARY KEY constraint 'PK_tUgyirat'. Cannot insert duplicate "
                  L"key in object 'dbo.tUgyirat'. The duplicate key value is (2024, 1).",
                  L"  [1] HRESULT:\t0X80040E2F",
                  L"  [1] SQLSTATE:\t01000",
                  L"  [1] Native Error:\t3621",
                  L"  [1] Error state:\t0",
                  L"  [1] Severity:\t0",
                  L"  [1] Source:\tMicrosoft OLE DB Driver for SQL Server",
                  L"  [1] Description:\tThe statement has been terminated.",
                  L"after the dump",
              }));

    // An interface the object reports no errors for.
    ClearLog();
    CConnectionManagerSqlServer::DumpError(command.Get(), IID_IRowset);
    EXPECT_EQ(LogLines(logPath), (std::vector<std::wstring>{L"CConnectionManagerSqlServer::DumpError",
                                                            L"  InterfaceWithError interface not supported"}));
    accessor->ReleaseAccessor(handle, NULL);
}

// ---------------------------------------------------------------------------
// Checks, creation and upgrade

TEST_F(SqlServerTest, CheckAllGradesEachServerState)
{
    typedef void (*Prepare)(CTestSqlServer&);
    struct Case
    {
        const char* state;
        Prepare prepare;
        int level;
        int structureCode;
    } cases[] = {
        {"server down", [](CTestSqlServer& s) { s.SetDown(true); }, 0, 0},
        {"database list gives no row",
         [](CTestSqlServer& s) {
             CTestSqlServer::Failure f;
             f.statement = L"master.sys.databases";
             f.at = CTestSqlServer::kAtGetNextRows;
             s.FailStatement(f);
         },
         1, 0},
        {"system databases only", [](CTestSqlServer&) {}, 3, 0},
        {"other user databases", [](CTestSqlServer& s) { s.CreateDatabase(L"Masik"); }, 7, 0},
        {"listed, refuses to open",
         [](CTestSqlServer& s) {
             s.CreateDatabase(L"Folionex");
             s.SetNoAccess(L"Folionex");
         },
         15, 0},
        {"no table", [](CTestSqlServer& s) { s.CreateDatabase(L"Folionex"); }, 31, 0x10000},
        {"other tables",
         [](CTestSqlServer& s) {
             s.CreateDatabase(L"Folionex");
             s.Exec(L"Folionex", "CREATE TABLE Masik (a INTEGER)");
         },
         63, 0x10000},
        {"case table of eleven columns",
         [](CTestSqlServer& s) {
             s.CreateDatabase(L"Folionex");
             s.CreateCaseTable(L"Folionex");
             s.Exec(L"Folionex", "ALTER TABLE tUgyirat ADD COLUMN Extra TEXT");
         },
         127, 0x10000},
        {"current case table",
         [](CTestSqlServer& s) {
             s.CreateDatabase(L"Folionex");
             s.CreateCaseTable(L"Folionex");
         },
         255, 0x20000},
        {"older case table, upgraded",
         [](CTestSqlServer& s) {
             s.CreateDatabase(L"Folionex");
             s.CreateCaseTable(L"Folionex", false);
         },
         255, 0x20000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        server.Reset();
        c.prepare(server);
        int code = -1;
        EXPECT_EQ(manager.CheckAll(LocalParams(L"Folionex"), code), c.level);
        EXPECT_EQ(code, c.structureCode);
    }
    // What the last server check listed.
    server.Reset();
    server.CreateDatabase(L"Masik");
    server.CreateDatabase(L"Harmadik");
    int code = 0;
    EXPECT_EQ(manager.CheckAll(LocalParams(L"Folionex"), code), 7);
    EXPECT_EQ(manager.Databases, (std::set<CString>{L"Harmadik", L"Masik"}));
}

TEST_F(SqlServerTest, CheckAllUpgradesTheDatabaseItTestsNotTheStoredOne)
{
    for (LPCWSTR db : {L"Tarolt", L"Vizsgalt"}) {
        ASSERT_TRUE(server.CreateDatabase(db));
        ASSERT_TRUE(server.CreateCaseTable(db, false));
    }
    manager.SetConnectionParams(LocalParams(L"Tarolt"));
    const char columns[] = "SELECT COUNT(*) FROM pragma_table_info('tUgyirat')";
    int code = 0;
    EXPECT_EQ(manager.CheckAll(LocalParams(L"Vizsgalt"), code), 255);
    EXPECT_EQ(server.Query(L"Vizsgalt", columns), (Rows{{L"10"}}));
    EXPECT_EQ(server.Query(L"Tarolt", columns), (Rows{{L"9"}}));

    // The stored database: behind, until its own upgrade.
    CtUgyirat_SqlServer table;
    EXPECT_FALSE(manager.IsDBStructCurrent());
    EXPECT_FALSE(table.CheckStructure());
    EXPECT_TRUE(manager.UpdateDBStruct());
    EXPECT_TRUE(manager.IsDBStructCurrent());
    EXPECT_TRUE(table.CheckStructure());
    EXPECT_FALSE(manager.UpdateDBStruct()) << "the column exists already";
}

TEST_F(SqlServerTest, CreatesTheDatabaseAndItsTableUnderABracketQuotedName)
{
    CSqlConnectionParams p = LocalParams(L"Iroda ]2");
    server.ClearTrace();
    ASSERT_TRUE(manager.CreateDatabase(p));
    EXPECT_NE(server.Trace().find(L"CREATE DATABASE [Iroda ]]2];"), std::wstring::npos) << server.Trace();
    ASSERT_TRUE(manager.CreateDBStruct(p));
    int code = 0;
    EXPECT_EQ(manager.CheckAll(p, code), 255);
    EXPECT_NE(server.Trace().find(L"FROM [Iroda ]]2].sys.columns c INNER JOIN [Iroda ]]2].sys.tables t"),
              std::wstring::npos);
    EXPECT_FALSE(manager.CreateDatabase(p)) << "it exists";
    EXPECT_FALSE(manager.CreateDBStruct(p)) << "the table exists";

    // The new table takes cases.
    manager.SetConnectionParams(p);
    CtUgyirat_SqlServer table;
    EXPECT_TRUE(table.Insert(MakeRecord(2024, 1)));
    EXPECT_EQ(CaseRows(L"Iroda ]2").size(), 1u);

    // No name: nothing is sent.
    server.ClearTrace();
    CSqlConnectionParams unnamed = LocalParams(L"");
    EXPECT_FALSE(manager.CreateDatabase(unnamed));
    EXPECT_FALSE(manager.CreateDBStruct(unnamed));
    EXPECT_EQ(manager.CheckDBStruct(BuildConnectionString(unnamed, false), L"", code), 0);
    EXPECT_EQ(server.Trace(), L"");
}

TEST_F(SqlServerTest, QuotedValuesReachTheServerWhole)
{
    MakeCentral();
    struct Case
    {
        LPCWSTR user;
        LPCWSTR password;
    } cases[] = {{L"ügyvéd", L"ti;tok;Database=master"}, {L"Kovács Ödön", L" titok "}, {L"o'Neil", L"x"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (LPCWSTR)CString(c.password));
        server.AddLogin(c.user, c.password);
        CSqlConnectionParams p = LocalParams(L"Folionex");
        p.auth = 2;
        p.user = c.user;
        p.password = c.password;
        int code = 0;
        EXPECT_EQ(manager.CheckAll(p, code), 255);
        manager.SetConnectionParams(p);
        CtUgyirat_SqlServer table;
        CString count;
        EXPECT_TRUE(table.QueryScalar(L"SELECT COUNT(*) FROM tUgyirat", count));
        EXPECT_EQ(Text(count), L"0");
        p.password += L"!";
        EXPECT_EQ(manager.CheckAll(p, code), 0) << "a wrong password logs in nowhere";
    }
}

// ---------------------------------------------------------------------------
// The store on the central table

class SqlServerStoreTest : public SqlServerTest
{
protected:
    void SetUp() override
    {
        SqlServerTest::SetUp();
        MakeCentral();
        table = new CtUgyirat_SqlServer;
        store.reset(new CUgyiratStore(table));
        store->SetCentralConnection(&manager);
    }
    void TearDown() override
    {
        store.reset();
        SqlServerTest::TearDown();
    }

    int BackupRows()
    {
        CtUgyirat_Sqlite backup;
        CString n;
        if (!backup.QueryScalar(L"SELECT COUNT(*) FROM tUgyirat", n))
            return -1;
        return _wtoi(n);
    }

    CtUgyirat_SqlServer* table = nullptr;
    std::unique_ptr<CUgyiratStore> store;
};

TEST_F(SqlServerStoreTest, StoreChangesGoToTheCentralTable)
{
    for (int nr = 1; nr <= 3; ++nr)
        ASSERT_TRUE(store->Insert(MakeRecord(2024, nr, L"Ügyfél")));
    EXPECT_EQ(store->CountRows(), 3);
    CUgyiratRecord changed = *store->Find(MakeUgyiratKey(2024, 2));
    CopyField(changed.Megjegyzes, L"módosítva");
    ASSERT_TRUE(store->Update(UgyiratKey(changed), changed));
    ASSERT_TRUE(store->Delete(MakeUgyiratKey(2024, 3)));
    store->SetAllapot(2024, 1, 0);
    EXPECT_EQ(store->Find(MakeUgyiratKey(2024, 1))->Allapot, 0);
    EXPECT_TRUE(store->CheckStructure());

    Rows rows = CaseRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][2], L"0");
    EXPECT_EQ(rows[1][6], L"módosítva");
    ASSERT_TRUE(store->LoadFromDatabase());
    EXPECT_EQ(store->m_records.size(), 2u);
    EXPECT_FALSE(store->m_bOffline);

    ASSERT_TRUE(store->DeleteAllRows());
    EXPECT_EQ(store->CountRows(), 0);
}

TEST_F(SqlServerStoreTest, AReadThatFailsHalfWayKeepsTheStoresMapAndTheBackup)
{
    for (int nr = 1; nr <= 5; ++nr)
        ASSERT_TRUE(store->Insert(MakeRecord(2024, nr)));
    ASSERT_TRUE(store->LoadFromDatabase());
    ASSERT_TRUE(store->CreateBackup());
    ASSERT_EQ(BackupRows(), 5);
    CtUgyirat_SqlServer other;
    ASSERT_TRUE(other.Insert(MakeRecord(2024, 6)));

    for (CTestSqlServer::Phase phase : {CTestSqlServer::kAtGetNextRows, CTestSqlServer::kAtGetData}) {
        SCOPED_TRACE(phase);
        CTestSqlServer::Failure f;
        f.statement = L"FROM dbo.tUgyirat";
        f.at = phase;
        f.afterRows = 2;
        server.FailStatement(f);
        EXPECT_FALSE(store->LoadFromDatabase());
        EXPECT_TRUE(table->ReadFailed());
        EXPECT_TRUE(store->m_bOffline);
        EXPECT_EQ(store->m_records.size(), 5u) << "the map of the last complete read stays";

        store->m_bOffline = false;
        EXPECT_FALSE(store->CreateBackup());
        EXPECT_EQ(BackupRows(), 5) << "the old backup stays";
        server.ClearFailure();
    }
    ASSERT_TRUE(store->LoadFromDatabase());
    EXPECT_FALSE(table->ReadFailed());
    EXPECT_EQ(store->m_records.size(), 6u);
    ASSERT_TRUE(store->CreateBackup());
    EXPECT_EQ(BackupRows(), 6);
}

TEST_F(SqlServerStoreTest, CreateBackupCopiesTheCentralTableIntoTheBackupFile)
{
    CUgyiratRecord a = MakeRecord(2024, 1, L"Kovács Ödön", L"Űrhajó Kft.", L"Polgári", L"megjegyzés",
                                  L"+2025.01.15. tárgyalás");
    CUgyiratRecord b = MakeRecord(2023, 7, L"", L"Nagy", L"Büntető");
    b.Allapot = 0;
    ASSERT_TRUE(store->Insert(a));
    ASSERT_TRUE(store->Insert(b));
    // A row only the central table has: the copy comes from the table, not the map.
    CUgyiratRecord c = MakeRecord(2022, 3, L"Csak központi");
    CtUgyirat_SqlServer other;
    ASSERT_TRUE(other.Insert(c));
    ASSERT_TRUE(server.Exec(L"Folionex", "UPDATE tUgyirat SET CC = 'megőrzött' WHERE Nr = 3"));
    CopyField(c.CC, L"megőrzött");

    ASSERT_TRUE(store->CreateBackup());
    CtUgyirat_Sqlite backup;
    auto copied = ReadAll(backup);
    ASSERT_EQ(copied.size(), 3u);
    for (const CUgyiratRecord* expected : {&a, &b, &c}) {
        const CUgyiratRecord& r = copied[UgyiratKey(*expected)];
        SCOPED_TRACE(r.Nr);
        EXPECT_EQ(r.Allapot, expected->Allapot);
        EXPECT_STREQ(r.UgyfelNeve, expected->UgyfelNeve);
        EXPECT_STREQ(r.EllenfelNeve, expected->EllenfelNeve);
        EXPECT_STREQ(r.UgyJellege, expected->UgyJellege);
        EXPECT_STREQ(r.Megjegyzes, expected->Megjegyzes);
        EXPECT_STREQ(r.Hataridok, expected->Hataridok);
        EXPECT_STREQ(r.CC, expected->CC);
        EXPECT_EQ(0, memcmp(&r.Datum, &expected->Datum, sizeof(r.Datum)));
    }
}

} // namespace
