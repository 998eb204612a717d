// Creates a backup file of N cases (100,000 by default), loads it into the
// store, writes it back through CreateBackup, loads the same register from
// the central table through OLE DB (the test SQL server's provider) and
// prints the times and the peak memory of the process.
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <string>
#include "StorageTestSupport.h"
#include "TestSqlServer.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/CtUgyirat_SqlServer.h"
#include "storage/UgyiratStore.h"
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

} // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 100000;
    CStorageEnvironment env(L"StoreBenchmark");
    CString central = env.Folder() + L"central.db";
    LARGE_INTEGER t0, t1, t2, t3;

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
        printf("read %d rows without the map: %.2f s\n", rows, Seconds(a, b));
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
    printf("LoadFromBackup: %.2f s\n", Seconds(t1, t2));
    printf("CreateBackup: %.2f s\n", Seconds(t2, t3));
    printf("peak working set: %.0f MB\n", PeakMegabytes());

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
