#include <gtest/gtest.h>
#include "StorageTestSupport.h"
#include "storage/UgyiratStore.h"
#include "support/FailingAllocator.h"
#include "support/TestSupport.h"
#include <shlobj.h>
#include <sqlite3.h>
#include "foundation/Conversions.h"
#include <atomic>
#include <cstdlib>
#include <map>
#include <new>

namespace {

using namespace testing_support;

// A store whose central table is a SQLite file of its own, wrapped so that
// tests can make it fail.
class StoreTest : public ::testing::Test
{
protected:
    StoreTest() : env(L"StoreTest") {}

    void SetUp() override
    {
        centralPath = env.Folder() + L"central.db";
        auto central = MakeCentralTable(centralPath);
        ASSERT_TRUE(central);
        table = new CFailingTable(central.release());
        store.reset(new CUgyiratStore(table));
    }

    // Rows straight into the central file, past the store.
    void AddCentral(const CUgyiratRecord& r)
    {
        CtUgyirat_Sqlite t;
        t.SetPath(centralPath);
        ASSERT_TRUE(t.Insert(r));
    }

    void WriteBackup(const std::vector<CUgyiratRecord>& records)
    {
        CConnectionManagerSqlite manager;
        ASSERT_TRUE(manager.CreateDatabase());
        CtUgyirat_Sqlite t;
        ASSERT_TRUE(t.BeginBulkInsert());
        for (const auto& r : records)
            ASSERT_TRUE(t.Insert(r));
        ASSERT_TRUE(t.EndBulkInsert());
        t.Close();
    }

    int BackupRows()
    {
        CtUgyirat_Sqlite t;
        CString n;
        if (!t.QueryScalar(L"SELECT COUNT(*) FROM tUgyirat", n))
            return -1;
        return _wtoi(n);
    }

    CStorageEnvironment env;
    CString centralPath;
    CFailingTable* table = nullptr;
    std::unique_ptr<CUgyiratStore> store;
};

TEST_F(StoreTest, LoadsFromTheDatabaseWithNames)
{
    AddCentral(MakeRecord(2024, 1, L"Kiss", L"Nagy", L"Polgári"));
    AddCentral(MakeRecord(2024, 2, L"", L"Nagy", L"Büntető"));
    AddCentral(MakeRecord(2023, 7, L"Kiss", L"Tóth", L"Polgári"));
    ASSERT_TRUE(store->LoadFromDatabase());
    EXPECT_FALSE(store->m_bOffline);
    ASSERT_EQ(store->m_records.size(), 3u);
    EXPECT_EQ(store->m_records.begin()->second.Ev, 2023) << "ordered by year, then number";
    EXPECT_EQ(store->m_partyNames, (CUgyiratStore::NameSet{L"", L"Kiss", L"Nagy", L"Tóth"}));
    EXPECT_EQ(store->m_caseTypes, (CUgyiratStore::NameSet{L"Büntető", L"Polgári"}));
    ASSERT_NE(store->Find(MakeUgyiratKey(2024, 2)), nullptr);
    EXPECT_EQ(store->Find(MakeUgyiratKey(2024, 3)), nullptr);
}

TEST_F(StoreTest, OfTwoRowsWithOneKeyTheLaterStays)
{
    AddCentral(MakeRecord(2024, 1, L"első"));
    AddCentral(MakeRecord(2024, 1, L"második"));
    ASSERT_TRUE(store->LoadFromDatabase());
    ASSERT_EQ(store->m_records.size(), 1u);
    EXPECT_STREQ(store->Find(MakeUgyiratKey(2024, 1))->UgyfelNeve, L"második");
}

TEST_F(StoreTest, ReadThatBreaksOffKeepsThePreviousMap)
{
    for (int i = 1; i <= 5; ++i)
        AddCentral(MakeRecord(2024, i));
    ASSERT_TRUE(store->LoadFromDatabase());
    AddCentral(MakeRecord(2024, 6));
    table->failReadAfter = 3;
    EXPECT_FALSE(store->LoadFromDatabase());
    EXPECT_TRUE(store->m_bOffline);
    EXPECT_EQ(store->m_records.size(), 5u);

    table->failReadAfter = -1;
    table->failOpen = true;
    EXPECT_FALSE(store->LoadFromDatabase());
    EXPECT_EQ(store->m_records.size(), 5u);
}

TEST_F(StoreTest, BackupLoadAfterAFailedCentralLoadMerges)
{
    AddCentral(MakeRecord(2024, 1, L"központi"));
    AddCentral(MakeRecord(2024, 2, L"csak központi"));
    ASSERT_TRUE(store->LoadFromDatabase());
    WriteBackup({MakeRecord(2024, 1, L"mentett"), MakeRecord(2024, 3, L"csak mentett")});
    table->failOpen = true;
    EXPECT_FALSE(store->LoadFromDatabase());
    ASSERT_TRUE(store->LoadFromBackup());
    EXPECT_TRUE(store->m_bOffline);
    ASSERT_EQ(store->m_records.size(), 3u);
    EXPECT_STREQ(store->Find(MakeUgyiratKey(2024, 1))->UgyfelNeve, L"mentett");
    EXPECT_STREQ(store->Find(MakeUgyiratKey(2024, 2))->UgyfelNeve, L"csak központi");
}

TEST_F(StoreTest, OutOfMemoryInEitherLoadKeepsTheMap)
{
    for (int i = 1; i <= 5; ++i)
        AddCentral(MakeRecord(2024, i, L"régi"));
    ASSERT_TRUE(store->LoadFromDatabase());
    for (int i = 6; i <= 40; ++i)
        AddCentral(MakeRecord(2024, i, L"új"));
    std::vector<CUgyiratRecord> backup;
    for (int i = 1; i <= 40; ++i)
        backup.push_back(MakeRecord(2025, i, L"mentett"));
    WriteBackup(backup);

    struct {
        const char* name;
        bool central;
        long after; // allocations that still succeed
    } cases[] = {
        {"central, at once", true, 0},   {"central, half way", true, 20},
        {"central, names", true, 45},    {"backup, copying the map", false, 2},
        {"backup, half way", false, 25},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store->m_bOffline = false;
        bool loaded = true;
        {
            CAllocationFailure failure(c.after);
            loaded = c.central ? store->LoadFromDatabase() : store->LoadFromBackup();
        }
        EXPECT_FALSE(loaded);
        EXPECT_TRUE(store->m_bOffline);
        ASSERT_EQ(store->m_records.size(), 5u) << "the old map stays whole";
        EXPECT_STREQ(store->Find(MakeUgyiratKey(2024, 5))->UgyfelNeve, L"régi");
    }
    // With memory again both loads work.
    EXPECT_TRUE(store->LoadFromDatabase());
    EXPECT_EQ(store->m_records.size(), 40u);
    EXPECT_TRUE(store->LoadFromBackup());
    EXPECT_EQ(store->m_records.size(), 80u);
}

// The restore's swap from the downloaded records: the map becomes them, of
// a key given twice the later one, their names join the lists, and the new
// map is made of the old one's nodes: only cases beyond the old count take
// memory, so the register is never held three times.
TEST_F(StoreTest, ReplacingTheRecordsReusesTheMapsOwnNodes)
{
    auto register_ = [](int count, LPCWSTR name) {
        std::vector<CUgyiratRecord> records;
        for (int i = 1; i <= count; ++i)
            records.push_back(MakeRecord(2024, i, name, L"Ellenfél", L"Polgári"));
        return records;
    };
    struct Case
    {
        const char* name;
        int before;
        std::vector<CUgyiratRecord> records;
        size_t nodes; // allocated
    } cases[] = {
        {"as many as before", 30, register_(30, L"Kovács"), 0},
        {"fewer", 30, register_(10, L"Kovács"), 0},
        {"more: the surplus only", 10, register_(25, L"Kovács"), 15},
        {"into an empty map", 0, register_(5, L"Kovács"), 5},
        {"none", 5, {}, 0},
        {"a key twice: the later one", 3,
         {MakeRecord(2024, 1, L"Kovács"), MakeRecord(2024, 2, L"Kovács"), MakeRecord(2024, 1, L"Kovács", L"később")},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        store->m_records.clear();
        for (const CUgyiratRecord& r : register_(c.before, L"Kovács"))
            store->m_records.insert_or_assign(MakeUgyiratKey(2023, r.Nr), r);
        const unsigned version = store->m_records.Version();
        // A map node holds a record; the log's buffer is far larger.
        WatchBlocks(sizeof(CUgyiratRecord));
        store->ReplaceRecords(c.records);
        WatchBlocks(0);
        size_t nodes = 0;
        for (size_t block : WatchedBlocks())
            nodes += block < 2 * sizeof(CUgyiratRecord);
        EXPECT_EQ(nodes, c.nodes);
        EXPECT_NE(store->m_records.Version(), version);
        std::map<int, CString> want, got;
        for (const CUgyiratRecord& r : c.records)
            want[UgyiratKey(r)] = CString(r.UgyfelNeve) + L"|" + r.EllenfelNeve;
        for (const auto& item : store->m_records) {
            EXPECT_EQ(item.first, UgyiratKey(item.second));
            got[item.first] = CString(item.second.UgyfelNeve) + L"|" + item.second.EllenfelNeve;
        }
        EXPECT_EQ(got, want);
    }
    store->ReplaceRecords(std::vector<CUgyiratRecord>{MakeRecord(2025, 1, L"Új Ügyfél", L"Új Ellenfél", L"Új Ügy")});
    EXPECT_EQ(store->m_partyNames.count(L"Új Ügyfél") + store->m_partyNames.count(L"Új Ellenfél"), 2u);
    EXPECT_EQ(store->m_caseTypes.count(L"Új Ügy"), 1u);
}

TEST_F(StoreTest, OutOfMemoryReplacingTheRecordsKeepsTheMap)
{
    std::vector<CUgyiratRecord> download;
    for (int i = 1; i <= 30; ++i)
        download.push_back(MakeRecord(2025, i, i % 2 ? L"Páratlan" : L"Páros", L"Másik", L"Ügy"));
    for (long after : {0L, 5L, 19L, 20L, 22L}) {
        SCOPED_TRACE(after);
        store->m_records.clear();
        store->m_partyNames.clear();
        store->m_caseTypes.clear();
        for (int i = 1; i <= 10; ++i)
            store->m_records[MakeUgyiratKey(2024, i)] = MakeRecord(2024, i, L"régi");
        bool thrown = false;
        {
            CAllocationFailure failure(after);
            try {
                store->ReplaceRecords(download);
            } catch (const std::bad_alloc&) {
                thrown = true;
            }
        }
        EXPECT_TRUE(thrown);
        ASSERT_EQ(store->m_records.size(), 10u) << "the old map stays whole";
        for (const auto& item : store->m_records)
            EXPECT_STREQ(item.second.UgyfelNeve, L"régi");
    }
}

TEST_F(StoreTest, ABackupReadThatBreaksOffOnALaterPageKeepsTheMap)
{
    AddCentral(MakeRecord(2024, 1, L"központi"));
    ASSERT_TRUE(store->LoadFromDatabase());
    // Enough rows for many pages; then the file's last page is overwritten.
    std::vector<CUgyiratRecord> rows;
    CString remark(L'x', 150);
    for (int i = 1; i <= 600; ++i)
        rows.push_back(MakeRecord(2025, i, L"mentett", L"Ellenfél", L"Polgári", remark));
    WriteBackup(rows);
    std::string bytes = ReadFileBytes(env.BackupPath());
    ASSERT_GT(bytes.size(), 20u * 4096);
    size_t pageSize = ((unsigned char)bytes[16] << 8) | (unsigned char)bytes[17];
    ASSERT_GE(pageSize, 512u);
    for (size_t i = bytes.size() - pageSize; i < bytes.size(); ++i)
        bytes[i] = (char)0xA5;
    ASSERT_TRUE(WriteFileBytes(env.BackupPath(), bytes));

    // The rows of the earlier pages still read; the last page breaks the read.
    CtUgyirat_Sqlite direct;
    ASSERT_TRUE(direct.OpenSelect());
    int readable = 0;
    while (direct.MoveNext())
        ++readable;
    EXPECT_TRUE(direct.ReadFailed());
    direct.Close();
    EXPECT_GT(readable, 100);

    EXPECT_FALSE(store->LoadFromBackup());
    ASSERT_EQ(store->m_records.size(), 1u);
    EXPECT_STREQ(store->Find(MakeUgyiratKey(2024, 1))->UgyfelNeve, L"központi");
}

TEST_F(StoreTest, MissingBackupFailsAndLeavesTheStoreOffline)
{
    EXPECT_FALSE(store->LoadFromBackup());
    EXPECT_TRUE(store->m_bOffline);
}

TEST_F(StoreTest, ChangesAreRefusedWhileOffline)
{
    ASSERT_TRUE(store->LoadFromDatabase());
    store->m_bOffline = true;
    EXPECT_FALSE(store->Insert(MakeRecord(2024, 1)));
    EXPECT_FALSE(store->Update(MakeUgyiratKey(2024, 1), MakeRecord(2024, 1)));
    EXPECT_FALSE(store->Delete(MakeUgyiratKey(2024, 1)));
    store->SetAllapot(2024, 1, 0);
    EXPECT_EQ(table->changeCalls, 0);
    EXPECT_TRUE(store->m_records.empty());
}

TEST_F(StoreTest, InsertUpdateDeleteGoToTheTableFirst)
{
    ASSERT_TRUE(store->LoadFromDatabase());
    ASSERT_TRUE(store->Insert(MakeRecord(2024, 1, L"Kiss", L"Nagy", L"Munkajog")));
    EXPECT_EQ(store->m_caseTypes.count(L"Munkajog"), 1u);

    int calls = table->changeCalls;
    EXPECT_FALSE(store->Insert(MakeRecord(2024, 1))) << "a key already in the map";
    EXPECT_FALSE(store->Update(MakeUgyiratKey(2024, 1), MakeRecord(2024, 2))) << "the key never changes";
    EXPECT_FALSE(store->Delete(MakeUgyiratKey(2030, 1))) << "a key not in the map";
    EXPECT_EQ(table->changeCalls, calls);

    ASSERT_TRUE(store->Update(MakeUgyiratKey(2024, 1), MakeRecord(2024, 1, L"Kovács")));
    EXPECT_STREQ(store->Find(MakeUgyiratKey(2024, 1))->UgyfelNeve, L"Kovács");
    EXPECT_EQ(store->m_partyNames.count(L"Kiss"), 1u) << "names only ever enter the sets";

    table->failChanges = true;
    EXPECT_FALSE(store->Insert(MakeRecord(2024, 5)));
    EXPECT_FALSE(store->Update(MakeUgyiratKey(2024, 1), MakeRecord(2024, 1, L"Más")));
    EXPECT_FALSE(store->Delete(MakeUgyiratKey(2024, 1)));
    store->SetAllapot(2024, 1, 0);
    EXPECT_EQ(store->m_records.size(), 1u);
    EXPECT_STREQ(store->Find(MakeUgyiratKey(2024, 1))->UgyfelNeve, L"Kovács");
    EXPECT_EQ(store->Find(MakeUgyiratKey(2024, 1))->Allapot, 1);

    table->failChanges = false;
    store->SetAllapot(2024, 1, 0);
    EXPECT_EQ(store->Find(MakeUgyiratKey(2024, 1))->Allapot, 0);
    ASSERT_TRUE(store->Delete(MakeUgyiratKey(2024, 1)));
    EXPECT_TRUE(store->m_records.empty());
    EXPECT_EQ(store->CountRows(), 0);
}

// The keys, highest first, whose four searched texts hold every term, read
// from the map itself: each field lowered and searched on its own.
std::vector<int> WalkSearch(const CUgyiratStore& store, const std::vector<CString>& terms)
{
    std::vector<int> keys;
    const CUgyiratStore::RecordMap& records = store.m_records;
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        const CUgyiratRecord& r = it->second;
        bool all = true;
        for (const CString& term : terms) {
            bool any = false;
            for (LPCWSTR field : {r.UgyfelNeve, r.EllenfelNeve, r.UgyJellege, r.Megjegyzes}) {
                std::wstring lowered;
                for (int n = 0; n < 200 && field[n]; ++n)
                    lowered += LowerSearchChar(field[n]);
                any = any || wcsstr(lowered.c_str(), term) != NULL;
            }
            all = all && any;
        }
        if (all)
            keys.push_back(it->first);
    }
    return keys;
}

std::vector<int> IndexSearch(CUgyiratStore& store, const std::vector<CString>& terms)
{
    std::vector<int> keys;
    const CUgyiratSearchIndex* index = store.SearchIndex();
    EXPECT_TRUE(index);
    if (index)
        index->Search(terms, [&](int key, const CUgyiratRecord& r) {
            EXPECT_EQ(UgyiratKey(r), key);
            keys.push_back(key);
        });
    return keys;
}

TEST_F(StoreTest, TheSearchIndexFollowsEveryChangeOfTheMap)
{
    const std::vector<std::vector<CString>> searches = {
        {L"kovács"}, {L"őr"}, {L"ű"}, {L"kiss", L"nagy"}, {L"x\x0001y"}, {L"\x0001"}, {L"ékezet"}, {L"zzz"}};
    auto check = [&](const char* step) {
        for (const auto& terms : searches)
            EXPECT_EQ(IndexSearch(*store, terms), WalkSearch(*store, terms)) << step << " " << CStringA(terms[0]).GetString();
    };
    AddCentral(MakeRecord(2024, 1, L"KOVÁCS ŐRSÖDŐ", L"Nagy", L"Munkajog"));
    AddCentral(MakeRecord(2024, 2, L"Kiss Űrhajós", L"", L"", L"ÉKEZET"));
    AddCentral(MakeRecord(2023, 9, L"x\x0001Y", L"", L"", L""));
    ASSERT_TRUE(store->LoadFromDatabase());
    check("load");
    ASSERT_TRUE(store->Insert(MakeRecord(2024, 3, L"Kiss", L"NAGY ŐR")));
    check("insert");
    ASSERT_TRUE(store->Update(MakeUgyiratKey(2024, 1), MakeRecord(2024, 1, L"Tóth", L"Kovácsné")));
    check("update");
    store->SetAllapot(2024, 1, 0);
    check("state");
    ASSERT_TRUE(store->Delete(MakeUgyiratKey(2024, 2)));
    check("delete");
    // Past the store: a record written or erased in the map itself.
    store->m_records[MakeUgyiratKey(2022, 4)] = MakeRecord(2022, 4, L"", L"", L"", L"ékezetes őr");
    check("written into the map");
    CopyField(store->m_records.at(MakeUgyiratKey(2022, 4)).Megjegyzes, L"semmi");
    check("changed in the map");
    store->m_records.erase(MakeUgyiratKey(2024, 3));
    check("erased from the map");
    // Many changes one after the other, more than the index takes one by one.
    for (int i = 10; i < 400; ++i)
        ASSERT_TRUE(store->Insert(MakeRecord(2021, i, i % 3 ? L"Kovács" : L"Űr", i % 2 ? L"Kiss Nagy" : L"")));
    check("many inserts");
    store->ReplaceRecords(std::vector<CUgyiratRecord>{MakeRecord(2020, 1, L"Őrült Kovács")});
    check("restore swap");
    WriteBackup({MakeRecord(2019, 1, L"KISS", L"NAGY"), MakeRecord(2020, 1, L"Más")});
    ASSERT_TRUE(store->LoadFromBackup());
    check("backup load");
    store->m_records.clear();
    check("emptied");
}

TEST_F(StoreTest, OnlyYearsAndNumbersWithAKeyOfTheirOwnAreStored)
{
    ASSERT_TRUE(store->LoadFromDatabase());
    ASSERT_TRUE(store->Insert(MakeRecord(2025, 1)));
    ASSERT_TRUE(store->Insert(MakeRecord(2024, 65535)));
    struct {
        int ev, nr;
        bool stored;
        const char* why;
    } cases[] = {
        {2024, 65537, false, "its key would be 2025/1's"},
        {2024, 65536, false, "its key would be 2025/0's"},
        {2025, -1, false, "its key would be 2024/65535's"},
        {2025, 0, false, "no number"},
        {0, 5, false, "no year"},
        {-1, 5, false, "a negative key"},
        {32768, 1, false, "the key would overflow"},
        {32767, 65535, true, "the highest key"},
        {1, 1, true, "the lowest key"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        int calls = table->changeCalls;
        size_t before = store->m_records.size();
        EXPECT_EQ(store->Insert(MakeRecord(c.ev, c.nr)), c.stored);
        EXPECT_EQ(store->Update(MakeUgyiratKey(c.ev, c.nr), MakeRecord(c.ev, c.nr, L"Más")), c.stored);
        EXPECT_EQ(store->m_records.size(), before + (c.stored ? 1 : 0));
        if (!c.stored) {
            EXPECT_EQ(table->changeCalls, calls) << "nothing reached the table";
        }
    }
    EXPECT_STREQ(store->Find(MakeUgyiratKey(2024, 65535))->UgyfelNeve, L"Ügyfél") << "2024/65535 untouched";
    EXPECT_STREQ(store->Find(MakeUgyiratKey(2025, 1))->UgyfelNeve, L"Ügyfél") << "2025/1 untouched";
}

TEST_F(StoreTest, AFullYearHasNoNextNumber)
{
    ASSERT_TRUE(store->LoadFromDatabase());
    ASSERT_TRUE(store->Insert(MakeRecord(2024, 65534)));
    EXPECT_EQ(store->GetNextNr(2024), 65535);
    ASSERT_TRUE(store->Insert(MakeRecord(2024, 65535)));
    EXPECT_EQ(store->GetNextNr(2024), CUgyiratStore::kNoFreeUgyiratNr);
    EXPECT_FALSE(store->Insert(MakeRecord(2024, 65536)));
    EXPECT_EQ(store->GetNextNr(2025), 1);
    EXPECT_EQ(store->GetNextNr(32768), CUgyiratStore::kNoFreeUgyiratNr) << "a year the key cannot hold";
    // A row read from the table with a number past the range.
    store->m_records[MakeUgyiratKey(2023, 70000)] = MakeRecord(2023, 70000);
    EXPECT_EQ(store->GetNextNr(2023), CUgyiratStore::kNoFreeUgyiratNr);
}

TEST_F(StoreTest, NextFreeNumber)
{
    ASSERT_TRUE(store->LoadFromDatabase());
    EXPECT_EQ(store->GetNextNr(2024), 1);
    for (int nr : {1, 2, 7})
        ASSERT_TRUE(store->Insert(MakeRecord(2024, nr)));
    ASSERT_TRUE(store->Insert(MakeRecord(2023, 40)));
    EXPECT_EQ(store->GetNextNr(2024), 8);
    EXPECT_EQ(store->GetNextNr(2023), 41);
    SYSTEMTIME now;
    GetLocalTime(&now);
    ASSERT_TRUE(store->Insert(MakeRecord(now.wYear, 3)));
    EXPECT_EQ(store->GetNextNr(0), 4) << "year 0 is the current year";
}

TEST_F(StoreTest, CreateBackupCopiesTheCentralTable)
{
    for (int i = 1; i <= 20; ++i)
        AddCentral(MakeRecord(2024, i, L"Őz Ügyfél"));
    ASSERT_TRUE(store->LoadFromDatabase());
    ASSERT_TRUE(store->CreateBackup());
    EXPECT_EQ(BackupRows(), 20);
    EXPECT_FALSE(FileExists(env.BackupPath() + L".new"));

    CUgyiratStore fromBackup(nullptr);
    ASSERT_TRUE(fromBackup.LoadFromBackup());
    EXPECT_EQ(fromBackup.m_records.size(), 20u);
    EXPECT_STREQ(fromBackup.Find(MakeUgyiratKey(2024, 20))->UgyfelNeve, L"Őz Ügyfél");
}

TEST_F(StoreTest, CreateBackupDoesNothingOfflineOrWhenEmpty)
{
    WriteBackup({MakeRecord(2020, 1)});
    ASSERT_TRUE(store->LoadFromDatabase());
    EXPECT_TRUE(store->CreateBackup()) << "empty map";
    EXPECT_EQ(BackupRows(), 1);
    AddCentral(MakeRecord(2024, 1));
    ASSERT_TRUE(store->LoadFromDatabase());
    store->m_bOffline = true;
    EXPECT_TRUE(store->CreateBackup());
    EXPECT_EQ(BackupRows(), 1);
    store->m_bOffline = false;
    table->failOpen = true;
    EXPECT_TRUE(store->CreateBackup()) << "a failed central read is not a failure of the backup";
    EXPECT_EQ(BackupRows(), 1);
}

TEST_F(StoreTest, CreateBackupThatFailsHalfWayKeepsTheOldFile)
{
    WriteBackup({MakeRecord(2020, 1), MakeRecord(2020, 2)});
    for (int i = 1; i <= 10; ++i)
        AddCentral(MakeRecord(2024, i));
    ASSERT_TRUE(store->LoadFromDatabase());
    table->failReadAfter = 4;
    EXPECT_FALSE(store->CreateBackup());
    EXPECT_EQ(BackupRows(), 2);
    EXPECT_FALSE(FileExists(env.BackupPath() + L".new"));

    // A backup file in a folder that does not exist cannot be written.
    table->failReadAfter = -1;
    env.Settings().WriteProfileString(L"BackupFile", env.Folder() + L"nincs\\mentes.bkp");
    EXPECT_FALSE(store->CreateBackup());
}

TEST_F(StoreTest, CreateBackupWhoseCommitOrReplaceFailsKeepsTheOldFile)
{
    WriteBackup({MakeRecord(2020, 1), MakeRecord(2020, 2)});
    for (int i = 1; i <= 10; ++i)
        AddCentral(MakeRecord(2024, i));
    ASSERT_TRUE(store->LoadFromDatabase());
    CString backup = env.BackupPath();
    std::string before = ReadFileBytes(backup);

    // Another reader of the new file when it is committed: the commit cannot
    // take the file.
    sqlite3* reader = nullptr;
    table->onReadEnd = [&] {
        if (reader)
            return;
        ASSERT_EQ(sqlite3_open_v2(WideToUtf8(backup + L".new"), &reader, SQLITE_OPEN_READONLY, NULL),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT COUNT(*) FROM tUgyirat;", NULL, NULL, NULL), SQLITE_OK);
    };
    EXPECT_FALSE(store->CreateBackup());
    ASSERT_NE(reader, nullptr);
    sqlite3_exec(reader, "COMMIT", NULL, NULL, NULL);
    sqlite3_close(reader);
    EXPECT_EQ(ReadFileBytes(backup), before) << "the commit failed";

    // The old file open without delete sharing: the final replace fails.
    HANDLE held = INVALID_HANDLE_VALUE;
    table->onReadEnd = [&] {
        if (held == INVALID_HANDLE_VALUE)
            held = CreateFileW(backup, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    };
    EXPECT_FALSE(store->CreateBackup());
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(backup), before) << "the replace failed";
    EXPECT_FALSE(FileExists(backup + L".new"));

    table->onReadEnd = nullptr;
    EXPECT_TRUE(store->CreateBackup());
    EXPECT_EQ(BackupRows(), 10);
}

TEST_F(StoreTest, DirectorySettings)
{
    store->LoadDirectorySettings();
    wchar_t docs[MAX_PATH] = {0};
    SHGetFolderPathW(NULL, CSIDL_PERSONAL, NULL, 0, docs);
    EXPECT_EQ(store->DirRoot, CString(docs) + L"\\");
    EXPECT_EQ(store->DirPath, L"[YEAR]\\[UgyfelNeve][ISNOTNULL_EN][EllenfelNeve] ([YEAR]#[NR])");
    EXPECT_EQ(store->DirIsNotNullUN, L"");
    EXPECT_EQ(store->DirIsNotNull_EN, L" - ");
    EXPECT_EQ(env.Settings().GetProfileString(L"DirPath", L""), store->DirPath);
    EXPECT_EQ(env.Settings().GetProfileString(L"DirIsNotNull_EN", L""), L" - ");
    EXPECT_EQ(env.Settings().GetProfileString(L"DirIsNotNullUN", L"missing"), L"missing");

    struct Case {
        LPCWSTR in, want;
    } cases[] = {{L"D:\\Ügyek", L"D:\\Ügyek\\"}, {L"D:\\Ügyek\\", L"D:\\Ügyek\\"}, {L"", L"\\"}};
    for (const auto& c : cases) {
        store->SetDirRoot(c.in);
        EXPECT_EQ(store->DirRoot, c.want);
        EXPECT_EQ(env.Settings().GetProfileString(L"DirRoot", L""), c.want);
    }

    // A root set by hand is read as SetDirRoot stores it: with its final
    // backslash, so that a case folder lies below it, never beside it.
    struct Stored {
        LPCWSTR value, root;
    } stored[] = {{L"C:\\Iratok", L"C:\\Iratok\\"}, {L"C:\\Iratok\\", L"C:\\Iratok\\"},
                  {L"\\\\iroda\\iratok", L"\\\\iroda\\iratok\\"}, {L"D:", L"D:\\"}};
    for (const auto& c : stored) {
        SCOPED_TRACE(CStringA(c.value).GetString());
        env.Settings().WriteProfileString(L"DirRoot", c.value);
        store->LoadDirectorySettings();
        EXPECT_EQ(store->DirRoot, c.root);
        EXPECT_EQ(env.Settings().GetProfileString(L"DirRoot", L""), c.root);
    }
}

} // namespace
