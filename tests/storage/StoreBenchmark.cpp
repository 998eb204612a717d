// Creates a backup file of N cases (100,000 by default), loads it into the
// store, writes it back through CreateBackup, loads the same register from
// the central table through OLE DB (the test SQL server's provider) and
// prints the times and the peak memory of the process. CreateBackup is also
// timed from a table held in memory (its own cost without the central read)
// beside a bare SQLite write of the same rows: one prepared INSERT, the
// texts converted beforehand, one transaction.
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <algorithm>
#include <string>
#include <vector>
#include <sqlite3.h>
#include "StorageTestSupport.h"
#include "TestSqlServer.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/CtUgyirat_SqlServer.h"
#include "storage/UgyiratStore.h"
#include "foundation/Conversions.h"
#include "support/TestSupport.h"

namespace {

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

double PeakMegabytes()
{
    PROCESS_MEMORY_COUNTERS pmc = {sizeof(pmc)};
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
    return pmc.PeakWorkingSetSize / (1024.0 * 1024.0);
}

// The register in the central table of the test SQL server, loaded into a
// store through OLE DB. Returns the seconds of the load, or a negative value.
double CentralLoad(int count, int* loaded)
{
    oledb_standin::CTestSqlServer server;
    if (!server.CreateDatabase(L"Folionex") || !server.CreateCaseTable(L"Folionex"))
        return -1;
    std::string fill =
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < " + std::to_string(count) +
        ") INSERT INTO tUgyirat (Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, Datum, CC, "
        "Hataridok) SELECT 1990 + i / 60000, 1 + i % 60000, 1, 'Kovács Ödön ügyfél', 'Űrhajó Kft.', "
        "'Polgári peres', 'megjegyzés a ügyhöz', '2024-03-31 02:30:00.000', NULL, '+2025.01.15. tárgyalás' FROM n";
    if (!server.Exec(L"Folionex", fill))
        return -1;
    if (FAILED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)))
        return -1;
    double seconds = -1;
    {
        CConnectionManagerSqlServer manager;
        manager.LoadSettings();
        CConnectionManagerSqlServer::SetApplicationManager(&manager);
        CUgyiratStore store(new CtUgyirat_SqlServer);
        store.SetCentralConnection(&manager);
        LARGE_INTEGER a, b;
        QueryPerformanceCounter(&a);
        bool ok = store.LoadFromDatabase();
        QueryPerformanceCounter(&b);
        *loaded = (int)store.m_records.size();
        if (ok)
            seconds = Seconds(a, b);
        CConnectionManagerSqlServer::SetApplicationManager(NULL);
    }
    CoUninitialize();
    return seconds;
}

// SQLite alone: the same file written with the same statements, the texts
// converted before the clock starts. Seconds, or a negative value.
double BareWrite(const CString& path, const std::vector<CUgyiratRecord>& records)
{
    struct Row
    {
        int ev, nr, state, seconds;
        std::string text[6];
    };
    std::vector<Row> rows;
    rows.reserve(records.size());
    for (const CUgyiratRecord& r : records) {
        Row row{r.Ev, r.Nr, r.Allapot, DbTimestampToSeconds(r.Datum, NULL), {}};
        LPCWSTR texts[6] = {r.UgyfelNeve, r.EllenfelNeve, r.UgyJellege, r.Megjegyzes, r.CC, r.Hataridok};
        for (int i = 0; i < 6; ++i) {
            CStringA a(texts[i]);
            row.text[i].assign(a.GetString(), a.GetLength());
        }
        rows.push_back(row);
    }
    DeleteFileW(path);
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    sqlite3* db = NULL;
    if (sqlite3_open_v2(WideToUtf8(path), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, NULL) != SQLITE_OK)
        return -1;
    sqlite3_exec(db, CtUgyirat_Sqlite::kCreateSql, NULL, NULL, NULL);
    sqlite3_stmt* stmt = NULL;
    sqlite3_prepare_v2(db, CtUgyirat_Sqlite::kInsertSql, -1, &stmt, NULL);
    sqlite3_exec(db, "BEGIN TRANSACTION", NULL, NULL, NULL);
    int done = 0;
    for (const Row& row : rows) {
        sqlite3_bind_int(stmt, 1, row.ev);
        sqlite3_bind_int(stmt, 2, row.nr);
        sqlite3_bind_int(stmt, 3, row.state);
        for (int i = 0; i < 6; ++i)
            sqlite3_bind_text(stmt, 4 + i, row.text[i].data(), (int)row.text[i].size(), SQLITE_STATIC);
        sqlite3_bind_int(stmt, 10, row.seconds);
        done += sqlite3_step(stmt) == SQLITE_DONE;
        sqlite3_clear_bindings(stmt);
        sqlite3_reset(stmt);
    }
    bool ok = sqlite3_exec(db, "END TRANSACTION", NULL, NULL, NULL) == SQLITE_OK;
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    QueryPerformanceCounter(&b);
    return ok && done == (int)rows.size() ? Seconds(a, b) : -1;
}

// A checksum of the file's bytes (FNV-1a, 64 bits).
unsigned long long FileChecksum(const CString& path)
{
    std::string bytes = testing_support::ReadFileBytes(path);
    unsigned long long h = 1469598103934665603ULL;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ULL;
    return h;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

// CreateBackup from memory beside the bare write, in alternating rounds.
bool CompareBackupWrites(CStorageEnvironment& env, int count)
{
    std::vector<CUgyiratRecord> records;
    records.reserve(count);
    static const LPCWSTR names[] = {L"Kovács Ödön ügyfél", L"Űrhajó Kft.", L"  Szőke Árpád ", L"Nagy Éva",
                                    L"Tóth és Társa Bt."};
    for (int i = 0; i < count; ++i) {
        CUgyiratRecord r = MakeRecord(2015 + i / 10000, 1 + i % 10000, names[i % 5], names[(i + 2) % 5],
                                      L"Polgári peres", i % 3 ? L"megjegyzés a ügyhöz" : L"",
                                      i % 2 ? L"+2025.01.15. tárgyalás|-2025.02.01. " : L"");
        CopyField(r.CC, i % 7 ? L"" : L"P.20.123/2024/3.");
        records.push_back(r);
    }
    CMemoryCaseTable* table = new CMemoryCaseTable(std::move(records));
    CUgyiratStore store(table);
    store.m_records[MakeUgyiratKey(2000, 1)] = table->Records()[0];   // not empty: the backup is written
    std::vector<double> bare, backup;
    CString barePath = env.Folder() + L"bare.db";
    for (int round = 0; round < 5; ++round) {
        double b = BareWrite(barePath, table->Records());
        LARGE_INTEGER t0, t1;
        QueryPerformanceCounter(&t0);
        bool ok = store.CreateBackup();
        QueryPerformanceCounter(&t1);
        if (b < 0 || !ok)
            return false;
        bare.push_back(b);
        backup.push_back(Seconds(t0, t1));
    }
    double m = Median(backup), b = Median(bare);
    printf("CreateBackup from memory, %d cases: %.3f s; bare SQLite write: %.3f s; ratio %.2f (goal 1.5)\n", count, m,
           b, m / b);
    printf("backup file checksum: %016llx\n", FileChecksum(env.BackupPath()));
    DeleteFileW(barePath);
    return true;
}

// First touch of as much fresh memory as the map of the load takes (a node
// per case: the record and the tree's links): the floor of a load beside
// the read itself.
double FirstTouch(int count)
{
    size_t bytes = (size_t)count * (sizeof(CUgyiratRecord) + 24);
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    void* block = VirtualAlloc(NULL, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!block)
        return -1;
    memset(block, 0, bytes);
    QueryPerformanceCounter(&b);
    VirtualFree(block, 0, MEM_RELEASE);
    return Seconds(a, b);
}

// A restore's load as the store sees it, without the download and the XML:
// the downloaded records in a vector beside the loaded map, taken into the
// map's own nodes as the restore's swap takes them. The peak working set
// afterwards.
void RestoreLikeLoad(CUgyiratStore& store, int count)
{
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    {
        std::vector<CUgyiratRecord> downloaded;
        downloaded.reserve(count);
        for (int i = 0; i < count; ++i)
            downloaded.push_back(MakeRecord(2000 + i / 60000, 1 + i % 60000, L"Letöltött Ügyfél", L"Ellenfél Kft.",
                                            L"Polgári peres", L"", L"+2025.01.15. tárgyalás"));
        store.ReplaceRecords(downloaded);
    }
    QueryPerformanceCounter(&b);
    printf("restore-like load of %d cases (records in a vector, taken into the map's nodes): %.2f s; peak working "
           "set %.0f MB\n",
           (int)store.m_records.size(), Seconds(a, b), PeakMegabytes());
}

} // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 100000;
    CStorageEnvironment env(L"StoreBenchmark");
    CString central = env.Folder() + L"central.db";
    LARGE_INTEGER t0, t1, t2, t3;
    // Before anything else, so that the block it touches is not the peak.
    double touch = FirstTouch(count);

    QueryPerformanceCounter(&t0);
    {
        auto table = MakeCentralTable(central);
        if (!table || !table->BeginBulkInsert())
            return 1;
        for (int i = 0; i < count; ++i) {
            CUgyiratRecord r = MakeRecord(1990 + i / 60000, 1 + i % 60000, L"Kovács Ödön ügyfél", L"Űrhajó Kft.",
                                          L"Polgári peres", L"megjegyzés a ügyhöz", L"+2025.01.15. tárgyalás");
            table->Insert(r);
        }
        table->EndBulkInsert();
    }
    if (!CopyFileW(central, env.BackupPath(), FALSE))
        return 1;
    QueryPerformanceCounter(&t1);

    double readSeconds = 0;
    {
        // The read alone, without the map.
        CtUgyirat_Sqlite t;
        LARGE_INTEGER a, b;
        QueryPerformanceCounter(&a);
        int rows = 0;
        if (t.OpenSelect())
            while (t.MoveNext()) {
                CUgyiratRecord r;
                ZeroRecord(r);
                t.GetRecord(r);
                ++rows;
            }
        t.Close();
        QueryPerformanceCounter(&b);
        readSeconds = Seconds(a, b);
        printf("read %d rows without the map: %.2f s\n", rows, readSeconds);
    }
    QueryPerformanceCounter(&t1);

    CtUgyirat_Sqlite* centralTable = new CtUgyirat_Sqlite;
    centralTable->SetPath(central);
    CUgyiratStore store(centralTable);
    if (!store.LoadFromBackup())
        return 2;
    QueryPerformanceCounter(&t2);
    store.m_bOffline = false;
    if (!store.CreateBackup())
        return 3;
    QueryPerformanceCounter(&t3);

    printf("cases: %d (record %u bytes)\n", (int)store.m_records.size(), (unsigned)sizeof(CUgyiratRecord));
    printf("prepare file: %.2f s\n", Seconds(t0, t1));
    printf("LoadFromBackup: %.2f s; read alone %.2f s + first touch of the map's memory %.2f s = %.2f s; ratio "
           "%.2f (goal 1.3)\n",
           Seconds(t1, t2), readSeconds, touch, readSeconds + touch, Seconds(t1, t2) / (readSeconds + touch));
    printf("CreateBackup: %.2f s\n", Seconds(t2, t3));
    printf("peak working set: %.0f MB\n", PeakMegabytes());

    RestoreLikeLoad(store, count);
    if (!CompareBackupWrites(env, count)) {
        printf("CreateBackup from memory: failed\n");
        return 5;
    }

    int loaded = 0;
    double centralLoad = CentralLoad(count, &loaded);
    if (centralLoad < 0) {
        printf("LoadFromDatabase (OLE DB, test SQL server): failed\n");
        return 4;
    }
    printf("LoadFromDatabase (OLE DB, test SQL server), %d cases: %.2f s (LoadFromBackup: %.2f s)\n", loaded,
           centralLoad, Seconds(t1, t2));
    printf("peak working set after the central load: %.0f MB\n", PeakMegabytes());
    return 0;
}
