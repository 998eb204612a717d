#include <gtest/gtest.h>
#include <sqlite3.h>
#include <string>
#include <vector>
#include "StorageTestSupport.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;

// Direct access to a SQLite file, to see exactly what the table wrote.
class CRawDb
{
public:
    explicit CRawDb(const CString& path)
    {
        CStringA utf8;
        int n = WideCharToMultiByte(CP_UTF8, 0, path, -1, NULL, 0, NULL, NULL);
        std::string p(n, '\0');
        WideCharToMultiByte(CP_UTF8, 0, path, -1, &p[0], n, NULL, NULL);
        sqlite3_open_v2(p.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, NULL);
    }
    ~CRawDb() { sqlite3_close(db); }
    bool Exec(const char* sql) { return sqlite3_exec(db, sql, NULL, NULL, NULL) == SQLITE_OK; }
    // The rows of a query, each column as its bytes ("<NULL>" for NULL).
    std::vector<std::vector<std::string>> Query(const char* sql)
    {
        std::vector<std::vector<std::string>> rows;
        sqlite3_stmt* st = NULL;
        if (sqlite3_prepare_v2(db, sql, -1, &st, NULL) != SQLITE_OK)
            return rows;
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const unsigned char* t = sqlite3_column_text(st, i);
                row.push_back(t ? std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(st, i))
                                : std::string("<NULL>"));
            }
            rows.push_back(row);
        }
        sqlite3_finalize(st);
        return rows;
    }
    sqlite3* db = NULL;
};

class BackupTableTest : public ::testing::Test
{
protected:
    BackupTableTest() : env(L"BackupTableTest") {}
    void SetUp() override { path = env.BackupPath(); }

    std::vector<CUgyiratRecord> ReadAll()
    {
        std::vector<CUgyiratRecord> out;
        CtUgyirat_Sqlite table;
        EXPECT_TRUE(table.OpenSelect());
        while (table.MoveNext()) {
            CUgyiratRecord r;
            ZeroRecord(r);
            EXPECT_TRUE(table.GetRecord(r));
            out.push_back(r);
        }
        EXPECT_FALSE(table.ReadFailed());
        table.Close();
        return out;
    }

    CStorageEnvironment env;
    CString path;
};

TEST_F(BackupTableTest, CreatesTheTableWithItsColumnsInOrder)
{
    CConnectionManagerSqlite manager;
    EXPECT_EQ(manager.GetConnectionString(), path);
    ASSERT_TRUE(manager.CreateDatabase());
    CRawDb raw(path);
    auto sql = raw.Query("SELECT sql FROM sqlite_master WHERE name = 'tUgyirat'");
    ASSERT_EQ(sql.size(), 1u);
    EXPECT_EQ(sql[0][0] + ";", std::string(CtUgyirat_Sqlite::kCreateSql));
    auto cols = raw.Query("SELECT name, type, \"notnull\" FROM pragma_table_info('tUgyirat')");
    std::vector<std::string> want = {"UgyiratID:INTEGER:1", "Ev:INTEGER:0", "Nr:INTEGER:0", "Allapot:INTEGER:0",
                                     "UgyfelNeve:TEXT:1", "EllenfelNeve:TEXT:1", "UgyJellege:TEXT:1",
                                     "Megjegyzes:TEXT:1", "Datum:INTEGER:0", "CC:TEXT:0", "Hataridok:TEXT:1"};
    ASSERT_EQ(cols.size(), want.size());
    for (size_t i = 0; i < cols.size(); ++i)
        EXPECT_EQ(cols[i][0] + ":" + cols[i][1] + ":" + cols[i][2], want[i]);
    EXPECT_EQ(raw.Query("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name NOT LIKE 'sqlite_autoindex%'")[0][0], "0");
}

TEST_F(BackupTableTest, StoresAnsiTextsTrimmedNamesAndZonelessSeconds)
{
    CConnectionManagerSqlite manager;
    ASSERT_TRUE(manager.CreateDatabase());
    CUgyiratRecord r = MakeRecord(2024, 15, L"  Őri Ödön\t", L"Űrhajó Kft. ", L" Polgári ", L" megj ",
                                  L"+2024.05.01. tárgyalás ");
    CopyField(r.CC, L" cc ");
    CtUgyirat_Sqlite table;
    ASSERT_TRUE(table.Insert(r));

    CRawDb raw(path);
    auto rows = raw.Query("SELECT Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, CC, Hataridok, "
                          "Datum FROM tUgyirat");
    ASSERT_EQ(rows.size(), 1u);
    std::vector<std::string> want = {"2024", "15", "1", "\xD5ri \xD6" "d\xF6n", "\xDBrhaj\xF3 Kft.", "Polg\xE1ri",
                                     "megj", " cc ", "+2024.05.01. t\xE1rgyal\xE1s ", "1711852200"};
    EXPECT_EQ(rows[0], want);

    auto back = ReadAll();
    ASSERT_EQ(back.size(), 1u);
    EXPECT_STREQ(back[0].UgyfelNeve, L"Őri Ödön");
    EXPECT_STREQ(back[0].EllenfelNeve, L"Űrhajó Kft.");
    EXPECT_STREQ(back[0].Hataridok, L"+2024.05.01. tárgyalás ");
    EXPECT_STREQ(back[0].CC, L" cc ");
    EXPECT_EQ(back[0].Datum.year, 2024);
    EXPECT_EQ(back[0].Datum.month, 3);
    EXPECT_EQ(back[0].Datum.day, 31);
    EXPECT_EQ(back[0].Datum.hour, 2);
    EXPECT_EQ(back[0].Datum.minute, 30);
    EXPECT_EQ(back[0].Datum.second, 0);
}

TEST_F(BackupTableTest, NullsNonNumbersAndOverlongValuesReadSafely)
{
    CConnectionManagerSqlite manager;
    ASSERT_TRUE(manager.CreateDatabase());
    {
        CRawDb raw(path);
        ASSERT_TRUE(raw.Exec("INSERT INTO tUgyirat (Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes,"
                             " CC, Hataridok, Datum) VALUES (NULL, 'abc', NULL, printf('%.300c', 'x'), '', '', '', "
                             "printf('%.60c', 'c'), printf('%.2000c', 'h'), -5)"));
    }
    auto back = ReadAll();
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].Ev, 0);
    EXPECT_EQ(back[0].Nr, 0);
    EXPECT_EQ(back[0].Allapot, 0);
    EXPECT_EQ(wcslen(back[0].UgyfelNeve), 200u);
    EXPECT_EQ(wcslen(back[0].CC), 48u);
    EXPECT_EQ(wcslen(back[0].Hataridok), 1024u);
    EXPECT_EQ(back[0].Datum.year, 0) << "a negative date leaves the field as it was";
}

TEST_F(BackupTableTest, OldFileWithoutDeadlinesIsUpgraded)
{
    {
        CRawDb raw(path);
        ASSERT_TRUE(raw.Exec("CREATE TABLE `tUgyirat` (`UgyiratID` INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT UNIQUE,"
                             " `Ev` INTEGER, `Nr` INTEGER, `Allapot` INTEGER, `UgyfelNeve` TEXT NOT NULL, "
                             "`EllenfelNeve` TEXT NOT NULL, `UgyJellege` TEXT NOT NULL, `Megjegyzes` TEXT NOT NULL, "
                             "`Datum` INTEGER, `CC` TEXT)"));
        ASSERT_TRUE(raw.Exec("INSERT INTO tUgyirat (Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, "
                             "Megjegyzes, Datum) VALUES (2020, 3, 1, 'a', 'b', 'c', 'd', 0)"));
    }
    CtUgyirat_Sqlite table;
    EXPECT_FALSE(table.CheckStructure());
    CConnectionManagerSqlite manager;
    EXPECT_TRUE(manager.UpdateDBStruct());
    EXPECT_TRUE(table.CheckStructure());
    auto back = ReadAll();
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].Nr, 3);
    EXPECT_STREQ(back[0].Hataridok, L"");
}

TEST_F(BackupTableTest, UpdateMatchesByKeyAndLeavesTheDate)
{
    CConnectionManagerSqlite manager;
    ASSERT_TRUE(manager.CreateDatabase());
    CtUgyirat_Sqlite table;
    ASSERT_TRUE(table.Insert(MakeRecord(2024, 1, L"régi")));
    ASSERT_TRUE(table.Insert(MakeRecord(2024, 1, L"másik")));  // nothing in the file keeps keys unique
    ASSERT_TRUE(table.Insert(MakeRecord(2024, 2, L"marad")));

    CUgyiratRecord changed = MakeRecord(2024, 1, L"új");
    changed.Datum.year = 1999;
    EXPECT_TRUE(table.Update(changed, MakeUgyiratKey(2024, 1)));
    EXPECT_TRUE(table.Update(MakeRecord(2030, 9), MakeUgyiratKey(2030, 9))) << "no matching row is still success";

    auto back = ReadAll();
    ASSERT_EQ(back.size(), 3u);
    EXPECT_STREQ(back[0].UgyfelNeve, L"új");
    EXPECT_STREQ(back[1].UgyfelNeve, L"új");
    EXPECT_STREQ(back[2].UgyfelNeve, L"marad");
    EXPECT_EQ(back[0].Datum.year, 2024);

    EXPECT_TRUE(table.Delete(MakeRecord(2024, 1)));
    EXPECT_EQ(ReadAll().size(), 1u);
    CString count;
    EXPECT_TRUE(table.QueryScalar(L"SELECT COUNT(*) FROM tUgyirat", count));
    EXPECT_EQ(count, L"1");
}

TEST_F(BackupTableTest, MissingFileFailsToOpen)
{
    CtUgyirat_Sqlite table;
    EXPECT_FALSE(table.OpenSelect()) << "a missing backup file is not created by a read";
    EXPECT_FALSE(FileExists(path));
}

TEST(BackupTableWithoutPath, EmptyPathIsRefusedNotATemporaryDatabase)
{
    ASSERT_EQ(GetAppSettings(), (CAppSettings*)NULL);
    CtUgyirat_Sqlite table;
    EXPECT_FALSE(table.Open(NULL, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
    EXPECT_FALSE(table.OpenSelect());
    EXPECT_FALSE(table.Insert(MakeRecord(2024, 1)));
    EXPECT_FALSE(table.CreateDatabase());
}

TEST_F(BackupTableTest, BulkInsertCommitsOnce)
{
    CConnectionManagerSqlite manager;
    ASSERT_TRUE(manager.CreateDatabase());
    CtUgyirat_Sqlite table;
    ASSERT_TRUE(table.BeginBulkInsert());
    for (int i = 1; i <= 500; ++i)
        ASSERT_TRUE(table.Insert(MakeRecord(2023, i)));
    EXPECT_TRUE(table.EndBulkInsert());
    table.Close();
    EXPECT_EQ(ReadAll().size(), 500u);
}

// A character the code page lacks is stored as the code page's default
// character: one for a character outside the basic plane (a pair of
// surrogates), and never a best-fit letter; by a single insert and by a
// bulk insert alike.
TEST_F(BackupTableTest, AMissingCharacterIsStoredAsOneDefaultCharacter)
{
    ASSERT_EQ(GetACP(), 1250u) << "the test prefix runs with a Hungarian locale";
    struct Case
    {
        LPCWSTR text;
        const char* stored;
    } cases[] = {
        {L"A\xD83D\xDE00" L"B", "A?B"},
        {L"\xD83D\xDE00\xD83D\xDE00", "??"},
        {L"õ ŏ ā Ω", "? ? ? ?"},
        {L"fél \xD83D vagy \xDE00 csak", "f\xE9l ? vagy ? csak"},
        {L"Kovács Őrs ű", "Kov\xE1" "cs \xD5rs \xFB"},
    };
    for (bool bulk : {false, true}) {
        SCOPED_TRACE(bulk ? "bulk insert" : "single inserts");
        CConnectionManagerSqlite manager;
        ASSERT_TRUE(manager.CreateDatabase());
        {
            CtUgyirat_Sqlite table;
            if (bulk) {
                ASSERT_TRUE(table.BeginBulkInsert(true));
            }
            int nr = 0;
            for (const Case& c : cases) {
                CUgyiratRecord r = MakeRecord(2024, ++nr, c.text, L"x", L"x", L"x", c.text);
                CopyField(r.CC, c.text);
                ASSERT_TRUE(table.Insert(r));
            }
            if (bulk) {
                ASSERT_TRUE(table.EndBulkInsert());
            }
        }
        auto rows = CRawDb(path).Query("SELECT UgyfelNeve, CC, Hataridok FROM tUgyirat ORDER BY Nr");
        ASSERT_EQ(rows.size(), sizeof(cases) / sizeof(cases[0]));
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i], (std::vector<std::string>(3, cases[i].stored))) << i;
    }
}

// A bulk insert converts the texts through its own table of each
// character's byte; the bytes must be those of a single insert, which
// converts every text whole: letters the code page has, best fits, letters
// it lacks, halves and whole pairs of surrogates, blanks at both ends.
TEST_F(BackupTableTest, BulkInsertWritesTheBytesOfASingleInsert)
{
    const LPCWSTR texts[] = {L"  Árvíztűrő tükörfúrógép ŐŰ őű ", L"ñ ç ß € „idézet” – —", L"中文 ✓ ☃",
                             L"pár \xD83D\xDE00 után", L"fél \xD83D vagy \xDE00 csak", L"\t\r\n ", L"",
                             L"x\x0001y\x007F\x0080\x00A0"};
    const int n = sizeof(texts) / sizeof(texts[0]);
    std::vector<CUgyiratRecord> records;
    for (int i = 0; i < n; ++i) {
        CUgyiratRecord r = MakeRecord(2024, i + 1, texts[i], texts[(i + 1) % n], texts[(i + 2) % n],
                                      texts[(i + 3) % n], texts[(i + 4) % n]);
        CopyField(r.CC, texts[(i + 5) % n]);
        records.push_back(r);
    }
    CConnectionManagerSqlite manager;
    ASSERT_TRUE(manager.CreateDatabase());
    {
        CtUgyirat_Sqlite bulk;
        ASSERT_TRUE(bulk.BeginBulkInsert(true));
        for (const CUgyiratRecord& r : records)
            ASSERT_TRUE(bulk.Insert(r));
        ASSERT_TRUE(bulk.EndBulkInsert());
    }
    CString single = env.Folder() + L"single.db";
    CtUgyirat_Sqlite one;
    ASSERT_TRUE(one.CreateDatabaseAt(single));
    one.SetPath(single);
    for (const CUgyiratRecord& r : records)
        ASSERT_TRUE(one.Insert(r));
    const char* sql = "SELECT Ev, Nr, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, CC, Hataridok, Datum "
                      "FROM tUgyirat ORDER BY Nr";
    auto bulkRows = CRawDb(path).Query(sql);
    EXPECT_EQ(bulkRows.size(), (size_t)n);
    EXPECT_EQ(bulkRows, CRawDb(single).Query(sql));
}

} // namespace
