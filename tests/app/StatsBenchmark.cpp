// Prints how long the statistics dialog takes over N cases (100,000 by
// default): the count alone, the whole initialisation with the list filled,
// and a bare walk of the map reading only the year and the first letter of
// the case type, for 40 case types over 10 years and for 1,000 types.
// Run: wine stats_benchmark.exe [count]
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include "afxapp.h"
#include "app/StatsDlg.h"
#include "support/TestSupport.h"

namespace {

double Ms(LARGE_INTEGER a, LARGE_INTEGER b)
{
    return testing_support::ElapsedMs(a, b);
}

void Fill(CUgyiratStore& store, int count, int types)
{
    store.m_records.clear();
    for (int i = 0; i < count; ++i) {
        CUgyiratRecord r;
        ZeroRecord(r);
        r.Ev = 2016 + i % 10;
        r.Nr = 1 + i / 10;
        wchar_t type[64];
        swprintf(type, 64, L"Ügytípus %04d", (i * 7919) % types);
        CopyField(r.UgyJellege, type);
        store.m_records[UgyiratKey(r)] = r;
    }
}

void Run(CUgyiratStore& store, int types)
{
    LARGE_INTEGER t0 = testing_support::ClockNow();
    long long sum = 0;
    for (const auto& entry : store.m_records)
        sum += entry.second.Ev + entry.second.UgyJellege[0];
    LARGE_INTEGER t1 = testing_support::ClockNow();
    CStatsCounts counts;
    CStatsDlg::Count(store.m_records, counts);
    LARGE_INTEGER t2 = testing_support::ClockNow();
    CStatsDlg dlg(&store, NULL);
    dlg.Create(CStatsDlg::IDD, NULL);
    LARGE_INTEGER t3 = testing_support::ClockNow();
    dlg.DestroyWindow();
    double walk = Ms(t0, t1), count = Ms(t1, t2);
    printf("%5d types: bare walk %.1f ms, count %.1f ms (%.2fx the walk, goal 2x), OnInitDialog with the list %.1f ms"
           " [%lld]\n",
           types, walk, count, walk > 0 ? count / walk : 0.0, Ms(t2, t3), sum % 10);
}

} // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 100000;
    testing_support::App();
    CUgyiratStore store(NULL);
    printf("%d cases\n", count);
    for (int types : {40, 1000}) {
        Fill(store, count, types);
        Run(store, types);
    }
    return 0;
}
