// Exports a register of N cases (100,000 by default) from a SQLite file
// standing in for the central table to each format, and prints the seconds
// and megabytes of each beside two bare figures of the same run: the table
// read alone, and the same bytes written with one WriteFile per row.
//   export_benchmark.exe [count]
#include <windows.h>
#include <stdio.h>
#include <string>
#include "../storage/StorageTestSupport.h"
#include "storage/UgyiratStore.h"
#include "support/TestSupport.h"

namespace {

using testing_support::ClockNow;
using testing_support::ElapsedMs;

double ReadAlone(const CString& path, int* rows)
{
    CtUgyirat_Sqlite table;
    table.SetPath(path);
    LARGE_INTEGER a = ClockNow();
    *rows = 0;
    if (table.OpenSelect())
        while (table.MoveNext()) {
            CUgyiratRecord r;
            ZeroRecord(r);
            table.GetRecord(r);
            ++*rows;
        }
    table.Close();
    return ElapsedMs(a, ClockNow()) / 1000.0;
}

// The bytes of the file written anew in `pieces` writes of a row's size.
double BareWrites(const std::string& bytes, int pieces, const CString& path)
{
    size_t piece = pieces > 0 ? bytes.size() / pieces : bytes.size();
    if (!piece)
        piece = 1;
    LARGE_INTEGER a = ClockNow();
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        DWORD size = (DWORD)(bytes.size() - at < piece ? bytes.size() - at : piece), written = 0;
        WriteFile(file, bytes.data() + at, size, &written, NULL);
    }
    CloseHandle(file);
    return ElapsedMs(a, ClockNow()) / 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 100000;
    CStorageEnvironment env(L"ExportBenchmark");
    CString central = env.Folder() + L"central.db";
    {
        auto table = MakeCentralTable(central);
        if (!table || !table->BeginBulkInsert())
            return 1;
        for (int i = 0; i < count; ++i)
            table->Insert(MakeRecord(1990 + i / 60000, 1 + i % 60000, L"Kovács Ödön ügyfél", L"Űrhajó Kft.",
                                     L"Polgári peres", L"megjegyzés a ügyhöz", L"+2025.01.15. tárgyalás"));
        if (!table->EndBulkInsert())
            return 1;
    }
    CtUgyirat_Sqlite* table = new CtUgyirat_Sqlite;
    table->SetPath(central);
    CUgyiratStore store(table);

    struct Format
    {
        const char* name;
        bool (CUgyiratStore::*run)(LPCWSTR);
        LPCWSTR file;
    } formats[] = {
        {"text", &CUgyiratStore::ExportCsv, L"Folionex.txt"},
        {"HTML", &CUgyiratStore::ExportHtml, L"Folionex.html"},
        {"RTF", &CUgyiratStore::ExportRtf, L"Folionex.rtf"},
    };
    int rows = 0;
    double read = ReadAlone(central, &rows);
    printf("cases: %d; table read alone: %.2f s\n", rows, read);
    int result = 0;
    for (const Format& f : formats) {
        CString path = env.Folder() + f.file;
        LARGE_INTEGER a = ClockNow();
        bool ok = (store.*f.run)(path);
        double seconds = ElapsedMs(a, ClockNow()) / 1000.0;
        std::string bytes = testing_support::ReadFileBytes(path);
        double write = BareWrites(bytes, rows, env.Folder() + L"bare.out");
        if (!ok || write < 0) {
            printf("%s: failed\n", f.name);
            result = 2;
            continue;
        }
        double bare = read + write;
        printf("%-4s: %.2f s, %.1f MB; bare read + %d writes: %.2f + %.2f = %.2f s; ratio %.2f (goal 1.5 at most)\n",
               f.name, seconds, bytes.size() / (1024.0 * 1024.0), rows, read, write, bare,
               bare > 0 ? seconds / bare : 0.0);
    }
    return result;
}
