// Figures of the restore's jobs on downloaded data, one step per process so
// that each peak working set is its own:
//   transfer_bench pull N     every node of a backup XML of N cases, with
//                             XmlParser alone
//   transfer_bench load N     the load job on the same file
//   transfer_bench compare N  the compare job: N downloaded records against
//                             N stored cases (half of them shared)
#include <windows.h>
#include <psapi.h>
#include "BenchSupport.h"
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>
#include "TempFolder.h"
#include "online/TransferJob.h"
#include "online/XmlParser.h"
#include "storage/DatabaseContext.h"
#include "storage/UgyiratStore.h"

namespace {

// A backup XML of n cases in the writer's form.
bool WriteBackupXml(LPCWSTR path, int n)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DataBase><Tables><Table name=\"tUgyirat\"><Rows>\n";
    char row[1024];
    for (int i = 1; i <= n; ++i) {
        snprintf(row, sizeof(row),
                 "<Row><data>%d</data><data>%d</data><data>Kov\xC3\xA1""cs \xC3\x96""d\xC3\xB6n %d</data>"
                 "<data>Nagy \xC3\x89va</data><data>Polg\xC3\xA1ri</data><data>Megjegyz\xC3\xA9s a %d. "
                 "\xC3\xBCgyh\xC3\xB6z</data><data>2024-03-05 08:09:07</data><data>K.\xC3\x96.</data>"
                 "<data>2024.04.01 t\xC3\xA1rgyal\xC3\xA1s</data><data>1</data></Row>\n",
                 2000 + i % 25, i, i, i);
        xml += row;
    }
    xml += "</Rows></Table></Tables></DataBase>\n";
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    bool ok = WriteFile(h, xml.data(), (DWORD)xml.size(), &put, NULL) && put == xml.size();
    CloseHandle(h);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "load";
    int n = argc > 2 ? atoi(argv[2]) : 100000;
    if (n <= 0)
        n = 100000;
    CTempFolder folder(L"transfer_bench");
    CString path = folder / L"letoltes.xml";
    if (mode != "compare" && !WriteBackupXml(path, n)) {
        printf("cannot write the test file\n");
        return 1;
    }
    double base = PeakMegabytes();
    double t0 = Now();
    size_t count = 0;
    bool ok = true;
    if (mode == "pull") {
        XmlParser parser;
        ok = parser.Load(path);
        while (ok && parser.GetPosition() < parser.GetLength()) {
            if (parser.NextNode())
                ++count;
        }
    } else if (mode == "load") {
        std::vector<CUgyiratRecord> records;
        CTransferJob_LoadFromXml job(path, &records);
        ok = job.Run();
        count = records.size();
    } else {
        CDatabaseContext context;
        std::vector<CUgyiratRecord> records(n);
        for (int i = 0; i < n; ++i) {
            ZeroRecord(records[i]);
            records[i].Ev = 2024;
            records[i].Nr = i % 60000 + 1;
            CUgyiratRecord stored = records[i];
            stored.Ev = 2000 + (i % 2) * 24; // half the keys shared
            context.m_pStore->m_records[UgyiratKey(stored)] = stored;
        }
        base = PeakMegabytes();
        t0 = Now();
        CCompareCounts counts = {0, 0, 0};
        CTransferJob_CompareDB job(&records, &counts);
        ok = job.Run();
        count = (size_t)counts.m_nBoth;
        printf("  counts: %d in both, %d only current, %d only downloaded\n", counts.m_nBoth,
               counts.m_nOnlyCurrent, counts.m_nOnlyDownloaded);
    }
    double seconds = Now() - t0;
    printf("%-8s %d cases: %8.3f s, %zu %s, peak working set %.1f MB (%.1f MB before the step)%s\n", mode.c_str(), n,
           seconds, count, mode == "pull" ? "nodes" : mode == "load" ? "records" : "keys in both", PeakMegabytes(),
           base, ok ? "" : " FAILED");
    return ok ? 0 : 1;
}
