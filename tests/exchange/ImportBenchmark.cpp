// Prints how long the clipboard import takes to cut a large pasted table into
// rows and cells and to validate every row against a store:
//   import_benchmark.exe [rows]      (default 100000)
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include "exchange/ImportTable.h"
#include "storage/UgyiratStore.h"
#include "support/TestSupport.h"

int wmain(int argc, wchar_t** argv)
{
    int rows = argc > 1 ? _wtoi(argv[1]) : 100000;
    if (rows <= 0)
        rows = 100000;
    std::wstring text;
    text.reserve((size_t)rows * 64);
    for (int i = 1; i <= rows; ++i) {
        int year = 1901 + i / 60000;
        int nr = 1 + i % 60000;
        text += std::to_wstring(nr) + L"/" + std::to_wstring(year) + L"\tÜgyfél " + std::to_wstring(i) +
                L" - Ellenfél Kft.\tPolgári\t\"megjegyzés " + std::to_wstring(i) + L"\"\t\t2024.01.01.\r\n";
    }
    // Half of the keys are in the store already.
    CUgyiratStore store(NULL);
    for (int i = 1; i <= rows; i += 2) {
        CUgyiratRecord r;
        ZeroRecord(r);
        r.Ev = 1901 + i / 60000;
        r.Nr = 1 + i % 60000;
        store.m_records[UgyiratKey(r)] = r;
    }
    CImportTable table;
    table.SetStore(&store);
    LARGE_INTEGER t0 = testing_support::ClockNow();
    int columns = table.SetText(text.c_str(), text.size());
    LARGE_INTEGER t1 = testing_support::ClockNow();
    int types[kMaxImportColumns] = {2, 6, 8, 9};
    int counts[32] = {0};
    for (int i = 0; i < table.GetRowCount(); ++i)
        ++counts[table.ValidateRow(types, i) & 31];
    LARGE_INTEGER t2 = testing_support::ClockNow();
    printf("pasted text: %d rows, %d columns, %.1f MB\n", table.GetRowCount(), columns,
           text.size() * sizeof(wchar_t) / 1048576.0);
    printf("copy and cut into rows and cells: %.1f ms\n", testing_support::ElapsedMs(t0, t1));
    printf("validate every row (%d valid, %d existing, %d invalid): %.1f ms\n", counts[kRowValid],
           counts[kRowExists], counts[kRowInvalid], testing_support::ElapsedMs(t1, t2));
    return 0;
}
