// Figures of the online backup and restore of a whole register, against the
// test SQL server and the web-service stand-in (started by tools/bench.sh),
// one direction per process so that each peak working set is its own:
//   pipeline_bench backup N   XML export of N central cases, encrypt, zip,
//                             upload: each step called directly, then the
//                             same three through CTransferManager
//   pipeline_bench restore N  the newest upload back into the backup file:
//                             download, unzip, decrypt, read, write
//   pipeline_bench central N  a whole restore of N cases into the central
//                             database as a user runs it, the preview
//                             included, beside the memory of the store's
//                             map and of one copy of the downloaded records
#include <windows.h>
#include <psapi.h>
#include "BenchSupport.h"
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>
#include "../storage/StorageTestSupport.h"
#include "TestSqlServer.h"
#include "../afx/WindowTestSupport.h"
#include "support/FailingAllocator.h"
#include "support/WindowDriver.h"
#include "online/OnlineBackup.h"
#include "online/OnlineRestore.h"
#include "online/TransferJob.h"
#include "online/TransferManager.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/CtUgyirat_SqlServer.h"
#include "storage/DatabaseContext.h"
#include "storage/UgyiratStore.h"

namespace {

const wchar_t kPassword[] = L"titok jelszó";

double FileMegabytes(LPCWSTR path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data))
        return 0;
    return ((double)data.nFileSizeHigh * 4294967296.0 + data.nFileSizeLow) / 1048576.0;
}

// One step's line: seconds and MB/s of the megabytes it read.
void Print(const char* step, double seconds, double megabytes, bool ok)
{
    printf("  %-34s %8.3f s  %8.1f MB/s  (%.1f MB)%s  peak %.0f MB\n", step, seconds,
           seconds > 0 ? megabytes / seconds : 0.0, megabytes, ok ? "" : "  FAILED", PeakMegabytes());
}

template <class F>
double Timed(F f, bool* ok)
{
    double start = Now();
    *ok = f();
    return Now() - start;
}

// The restore's loader on records handed to it, without a dialog.
class CBenchRestore : public COnlineRestore
{
public:
    CBenchRestore() : COnlineRestore(true, NULL) { m_bSilent = true; }
    std::vector<CUgyiratRecord>& Records() { return m_records; }
};

// The central table of the test SQL server with count cases.
bool FillCentral(oledb_standin::CTestSqlServer& server, int count)
{
    std::string fill =
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < " + std::to_string(count) +
        ") INSERT INTO tUgyirat (Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, Datum, CC, "
        "Hataridok) SELECT 1990 + i / 60000, 1 + i % 60000, i % 2, 'Kovács Ödön ügyfél', 'Űrhajó Kft.', "
        "'Polgári peres', 'megjegyzés a ügyhöz', '2024-03-31 02:30:00.000', NULL, '+2025.01.15. tárgyalás' FROM n";
    if (!server.CreateDatabase(L"Folionex") || !server.CreateCaseTable(L"Folionex") ||
        !server.Exec(L"Folionex", fill)) {
        printf("the test SQL server could not be filled\n");
        return false;
    }
    return true;
}

int Backup(int count, CStorageEnvironment& env, CDatabaseContext& context)
{
    oledb_standin::CTestSqlServer server;
    if (!FillCentral(server, count))
        return 1;
    context.m_pConnection->LoadSettings();
    const CString folder = env.Folder();
    const CString xml = folder + L"bench.xml", enc = folder + L"bench.enc", zip = folder + L"bench.zip";
    const CString url = COnlineBackup::ServiceUrl(L"VApi/UploadDB.aspx");
    printf("backup of %d cases\n", count);

    bool ok;
    double exportSeconds = Timed(
        [&] {
            CtUgyirat_SqlServer table(context.m_pConnection->GetConnectionString());
            return context.m_pStore->ExportXml(xml, &table);
        },
        &ok);
    Print("XML export", exportSeconds, FileMegabytes(xml), ok);

    // The three transfer steps, directly and through the manager, twice in
    // turn; the better run of each counts.
    double bestDirect = 1e9, bestManager = 1e9;
    for (int round = 0; round < 2; ++round) {
        bool ok1, ok2, ok3;
        double encrypt = Timed([&] { return CTransferJob_Encrypt(xml, enc, kPassword).Run(); }, &ok1);
        double zipped = Timed([&] { return CTransferJob_CreateZIP(zip, enc).Run(); }, &ok2);
        double upload = Timed([&] { return CTransferJob_Upload(url, zip).Run(); }, &ok3);
        if (round == 0) {
            Print("encrypt", encrypt, FileMegabytes(xml), ok1);
            Print("zip", zipped, FileMegabytes(enc), ok2);
            Print("upload", upload, FileMegabytes(zip), ok3);
        }
        if (encrypt + zipped + upload < bestDirect)
            bestDirect = encrypt + zipped + upload;
        double managed = Timed(
            [&] {
                CTransferManager transfer;
                transfer.AddEncrypt(xml, enc, kPassword);
                transfer.AddCreateZIP(zip, enc);
                transfer.AddUpload(url, zip);
                CString texts[CTransferManager::TEXT_COUNT];
                return transfer.RunSilently(NULL, texts);
            },
            &ok);
        if (!ok)
            printf("  the managed run failed\n");
        if (managed < bestManager)
            bestManager = managed;
    }
    printf("  %-34s %8.3f s\n", "total (export, encrypt, zip, upload)", exportSeconds + bestDirect);
    printf("  encrypt+zip+upload directly        %8.3f s\n", bestDirect);
    printf("  the same through CTransferManager  %8.3f s  (%.2fx, goal within 1.1x)\n", bestManager,
           bestDirect > 0 ? bestManager / bestDirect : 0.0);

    double whole = Timed([&] { return COnlineBackup().Upload(NULL) == 0; }, &ok);
    Print("COnlineBackup::Upload, whole", whole, FileMegabytes(xml), ok);
    return 0;
}

int Restore(CStorageEnvironment& env)
{
    const CString folder = env.Folder();
    const CString zip = folder + L"restore.zip", enc = folder + L"restore.enc", xml = folder + L"restore.xml";
    COnlineRestore query(true, NULL);
    CString url = query.QueryRestoreUrl();
    if (url.IsEmpty()) {
        printf("no upload to restore (run the backup first)\n");
        return 1;
    }
    CBenchRestore restore;
    printf("restore into the backup file\n");
    bool ok;
    double seconds = Timed([&] { return CTransferJob_Download(url, zip).Run(); }, &ok);
    Print("download", seconds, FileMegabytes(zip), ok);
    double total = seconds;
    total += seconds = Timed([&] { return CTransferJob_ExtractFromZIP(zip, enc).Run(); }, &ok);
    Print("unzip", seconds, FileMegabytes(zip), ok);
    total += seconds = Timed([&] { return CTransferJob_Decrypt(enc, xml, kPassword).Run(); }, &ok);
    Print("decrypt", seconds, FileMegabytes(enc), ok);
    total += seconds = Timed([&] { return CTransferJob_LoadFromXml(xml, &restore.Records()).Run(); }, &ok);
    Print("read the XML", seconds, FileMegabytes(xml), ok);
    total += seconds = Timed([&] { return restore.LoadRecords(); }, &ok);
    Print("write the backup file", seconds, FileMegabytes(env.BackupPath()), ok);
    printf("  %-34s %8.3f s  (%d cases)\n", "total", total, (int)restore.Records().size());
    return 0;
}

const double kMB = 1048576.0;

// A whole restore into the central database as the user runs it from the
// options dialog: the overwrite question, the transfer, the counts box, the
// preview, the loader and the swap of the map. Every second case changed
// since the backup, so that the preview lists it twice.
int Central(int count, CDatabaseContext& context)
{
    using namespace testing_support;
    oledb_standin::CTestSqlServer server;
    if (!FillCentral(server, count))
        return 1;
    context.m_pConnection->LoadSettings();
    CUgyiratStore& store = *context.m_pStore;
    if (!store.LoadFromDatabase() || COnlineBackup().Upload(NULL) != 0) {
        printf("the register could not be loaded and backed up\n");
        return 1;
    }
    if (!server.Exec(L"Folionex", "UPDATE tUgyirat SET Megjegyzes = 'más megjegyzés' WHERE Nr % 2 = 0")) {
        printf("the register could not be changed\n");
        return 1;
    }
    // The bare figure, measured here: the store's map (the bytes it holds
    // once loaded) and one copy of the downloaded records.
    store.m_records.clear();
    const long long before = BytesInUse();
    if (!store.LoadFromDatabase())
        return 1;
    const double mapMB = (double)(BytesInUse() - before) / kMB;
    const double recordsMB = (double)count * sizeof(CUgyiratRecord) / kMB;
    printf("restore of %d cases into the central database with the preview (%d cases changed)\n", count,
           count / 2);
    printf("  the store's map %.0f MB, one copy of the downloaded records %.0f MB: together %.0f MB\n", mapMB,
           recordsMB, mapMB + recordsMB);

    window_test::InitOnce();
    const size_t kLargeBlock = 64u << 20;
    WatchBlocks(kLargeBlock);
    struct Phase
    {
        const char* name;
        double seconds;
        double peak;
    };
    std::vector<Phase> phases;
    const double start = Now();
    auto reached = [&](const char* name) { phases.push_back({name, Now() - start, PeakMegabytes()}); };
    bool driven = false;
    CWindowDriver driver(
        [&] {
            const DWORD kWait = 900000;
            HWND box = WaitForWindow(L"#32770", L"On-line mentés letöltése", kWait);
            if (!box)
                return;
            ClickId(box, IDOK);
            HWND transfer = WaitForWindow(L"#32770", L"A on-line mentés visszatöltése", kWait);
            if (!transfer ||
                !WaitUntil([&] { return Text(Control(transfer, IDCANCEL)) == L"Tovább"; }, kWait))
                return;
            reached("download, unzip, decrypt, read, compare");
            Click(Control(transfer, IDCANCEL));
            HWND counts = WaitForWindow(L"#32770", L"On-line mentés betöltése", kWait);
            if (!counts)
                return;
            ClickId(counts, IDNO);
            HWND preview = WaitForWindow(L"#32770", L"Letöltött és meglévő adatok összevetése", kWait);
            if (!preview)
                return;
            reached("the preview shown");
            ClickId(preview, IDOK);
            HWND loader = WaitForWindow(L"#32770", L"Adatok betöltése", kWait);
            if (!loader || !WaitUntil([&] { return Text(Control(loader, IDCANCEL)) == L"OK"; }, kWait))
                return;
            reached("the cases written");
            Click(Control(loader, IDCANCEL));
            driven = true;
        },
        900000);
    const int result = COnlineRestore(false, NULL).Start(false);
    driver.Join();
    reached("the map swapped in");
    WatchBlocks(0);
    for (const Phase& phase : phases)
        printf("  %-40s %8.2f s  peak working set %6.0f MB\n", phase.name, phase.seconds, phase.peak);
    std::vector<size_t> blocks = WatchedBlocks();
    printf("  blocks of 64 MB or more:");
    for (size_t block : blocks)
        printf(" %.0f MB", block / kMB);
    printf("%s (the records' vector: %.0f MB)\n", blocks.empty() ? " none" : "", recordsMB);
    const double peak = PeakMegabytes(), bare = mapMB + recordsMB;
    printf("  whole restore with the preview: peak working set %.0f MB, %.2fx the map and the records "
           "(%.0f MB; goal 1.5x)%s\n",
           peak, peak / bare, bare, result == 1 && driven && store.m_records.size() == (size_t)count ? "" : "  FAILED");
    return result == 1 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "restore";
    const int count = argc > 2 ? atoi(argv[2]) : 100000;
    if (FAILED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)))
        return 1;
    int result;
    {
        CStorageEnvironment env(L"PipelineBench");
        env.Settings().WriteProfileString(L"Server", L"http://127.0.0.1/");
        env.Settings().WriteProfileString(L"AccountId", L"pipeline.bench");
        env.Settings().SetOnlineBackupPassword(kPassword);
        CDatabaseContext context;
        result = mode == "backup" ? Backup(count, env, context)
                 : mode == "central" ? Central(count, context)
                                     : Restore(env);
    }
    CoUninitialize();
    return result;
}
