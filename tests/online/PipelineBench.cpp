// Figures of the online backup and restore of a whole register, against the
// test SQL server and the web-service stand-in (started by tools/bench.sh),
// one direction per process so that each peak working set is its own:
//   pipeline_bench backup N   XML export of N central cases, encrypt, zip,
//                             upload: each step called directly, then the
//                             same three through CTransferManager
//   pipeline_bench restore N  the newest upload back into the backup file:
//                             download, unzip, decrypt, read, write
#include <windows.h>
#include <psapi.h>
#include "BenchSupport.h"
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>
#include "../storage/StorageTestSupport.h"
#include "TestSqlServer.h"
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

int Backup(int count, CStorageEnvironment& env, CDatabaseContext& context)
{
    oledb_standin::CTestSqlServer server;
    std::string fill =
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < " + std::to_string(count) +
        ") INSERT INTO tUgyirat (Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, Datum, CC, "
        "Hataridok) SELECT 1990 + i / 60000, 1 + i % 60000, i % 2, 'Kovács Ödön ügyfél', 'Űrhajó Kft.', "
        "'Polgári peres', 'megjegyzés a ügyhöz', '2024-03-31 02:30:00.000', NULL, '+2025.01.15. tárgyalás' FROM n";
    if (!server.CreateDatabase(L"Folionex") || !server.CreateCaseTable(L"Folionex") ||
        !server.Exec(L"Folionex", fill)) {
        printf("the test SQL server could not be filled\n");
        return 1;
    }
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

} // namespace

int main(int argc, char** argv)
{
    const bool backup = argc > 1 && strcmp(argv[1], "backup") == 0;
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
        result = backup ? Backup(count, env, context) : Restore(env);
    }
    CoUninitialize();
    return result;
}
