// Prints how long the main dialog's RefreshList takes with N cases (100,000
// by default) in the store, as after a keystroke in the search box: with no
// search, with one and with two terms, and under a deadline filter; then one
// repaint of the list. Run: wine maindlg_benchmark.exe [count]
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include "app/VelindoApp.h"
#include "app/VelindoDlg.h"
#include "foundation/AppSettings.h"
#include "storage/DatabaseContext.h"
#include "storage/UgyiratStore.h"
#include "support/TestSupport.h"

namespace {

double Ms(LARGE_INTEGER a, LARGE_INTEGER b)
{
    return testing_support::ElapsedMs(a, b);
}

LARGE_INTEGER Now()
{
    return testing_support::ClockNow();
}

} // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 100000;
    testing_support::App();
    INITCOMMONCONTROLSEX icc = {sizeof(icc), 0xFF};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc;
    GetClassInfoW(NULL, MAKEINTRESOURCEW(32770), &wc);
    wc.hInstance = AfxGetInstanceHandle();
    wc.lpszClassName = L"Folionex";
    RegisterClassW(&wc);

    CAppSettings settings;
    settings.SetInstanceKey(L"MainDlgBenchmark");
    theApp.m_pSettings = &settings;
    CDatabaseContext database;
    theApp.m_pDatabase = &database;
    static const LPCWSTR names[] = {L"Kovács Béla", L"Nagy Éva", L"Szabó Ödön", L"Tóth Árpád", L"Kiss Ilona"};
    for (int i = 0; i < count; ++i) {
        CUgyiratRecord r;
        ZeroRecord(r);
        r.Ev = 2015 + i / 10000;
        r.Nr = 1 + i % 10000;
        r.Allapot = i % 3 != 0;
        CopyField(r.UgyfelNeve, names[i % 5]);
        CopyField(r.EllenfelNeve, names[(i + 2) % 5]);
        CopyField(r.UgyJellege, L"Polgári peres ügy");
        CopyField(r.Megjegyzes, L"Megjegyzés a tárgyalásról");
        CopyField(r.Hataridok, i % 2 ? L"+2026.12.11. Tárgyalás|-2027.01.05. " : L"+2027.03.01. Beadvány");
        database.m_pStore->m_records[UgyiratKey(r)] = r;
    }

    CVelindoDlg dlg;
    if (!dlg.Create(CVelindoDlg::IDD, NULL)) {
        printf("dialog not created\n");
        return 1;
    }
    printf("cases: %d\n", count);
    struct Step { const wchar_t* search; int filter; const char* what; } steps[] = {
        {L"", 0, "no search, all cases"},
        {L"kov", 0, "search \"kov\""},
        {L"kov, tárgy", 0, "search \"kov, tárgy\""},
        {L"kov", 4, "search \"kov\", filter today + 8 days"},
    };
    const int rounds = 10;
    for (const Step& s : steps) {
        ::SendDlgItemMessageW(dlg, 1051, CB_SETCURSEL, s.filter, 0);
        ::SetDlgItemTextW(dlg, 1006, s.search);
        LARGE_INTEGER a = Now();
        for (int k = 0; k < rounds; ++k)
            dlg.RefreshList();
        LARGE_INTEGER b = Now();
        printf("RefreshList, %s (%d rows): %.2f ms\n", s.what, dlg.GetList().GetKeyCount(), Ms(a, b) / rounds);
    }
    std::wstring terms = CVelindoDlg::BuildSearchTerms(L"kov");
    std::vector<CString> termList = CVelindoDlg::SplitTerms(terms.c_str());
    LARGE_INTEGER a = Now();
    int shown = 0;
    for (int k = 0; k < rounds; ++k)
        for (const auto& entry : database.m_pStore->m_records)
            shown += CVelindoDlg::PassesSearch(entry.second, termList);
    LARGE_INTEGER b = Now();
    printf("the search's walk alone, \"kov\" (%d rows): %.2f ms\n", shown / rounds, Ms(a, b) / rounds);
    a = Now();
    for (int k = 0; k < rounds; ++k) {
        dlg.GetList().RedrawWindow(NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    b = Now();
    printf("one repaint of the list: %.2f ms\n", Ms(a, b) / rounds);
    dlg.DestroyWindow();
    theApp.m_pDatabase = NULL;
    theApp.m_pSettings = NULL;
    testing_support::RemoveDataFolder(L"MainDlgBenchmark");
    testing_support::ResetProfile();
    return 0;
}
