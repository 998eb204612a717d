// Prints how long the main dialog's RefreshList takes with N cases (100,000
// by default) in the store, as after a keystroke in the search box: with no
// search, with one and with two terms, and under a deadline filter; then one
// repaint of the list. Beside the search: the bare figure of the same search
// over one packed pool of pre-lowered texts with one wcsstr per case, the
// pieces of a keystroke and the first search after a load (which builds the
// store's search index). Run: wine maindlg_benchmark.exe [count]
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include <vector>
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

// The bare figure: the four texts of every case lowered once into one pool
// ("a\1b\1c\1d\0" per case) and searched with one wcsstr per case.
struct CBarePool
{
    std::vector<WCHAR> pool;
    std::vector<UINT> offsets;
    std::vector<int> keys;

    void Build(const CUgyiratStore::RecordMap& records)
    {
        for (auto it = records.rbegin(); it != records.rend(); ++it) {
            offsets.push_back((UINT)pool.size());
            keys.push_back(it->first);
            const CUgyiratRecord& r = it->second;
            LPCWSTR fields[] = {r.UgyfelNeve, r.EllenfelNeve, r.UgyJellege, r.Megjegyzes};
            for (int f = 0; f < 4; ++f) {
                for (LPCWSTR c = fields[f]; *c; ++c)
                    pool.push_back(CVelindoListCtrl::LowerChar(*c));
                pool.push_back(f < 3 ? 1 : 0);
            }
        }
    }

    int Search(LPCWSTR term, std::vector<int>& shown) const
    {
        shown.clear();
        const WCHAR* base = pool.data();
        for (size_t i = 0; i < offsets.size(); ++i)
            if (wcsstr(base + offsets[i], term))
                shown.push_back(keys[i]);
        return (int)shown.size();
    }
};

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
        {L"", 0, "the search box emptied (the index at hand)"},
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
    CUgyiratStore* store = database.m_pStore;
    std::wstring terms = CVelindoDlg::BuildSearchTerms(L"kov");
    std::vector<CString> termList = CVelindoDlg::SplitTerms(terms.c_str());
    LARGE_INTEGER a = Now();
    int shown = 0;
    for (int k = 0; k < rounds; ++k)
        for (const auto& entry : store->m_records)
            shown += CVelindoDlg::PassesSearch(entry.second, termList);
    LARGE_INTEGER b = Now();
    printf("the walk over the map (every field lowered at each keystroke), \"kov\" (%d rows): %.2f ms\n",
           shown / rounds, Ms(a, b) / rounds);

    // The first search after a load builds the index.
    store->m_records.begin();   // a change from outside: the index is read anew
    a = Now();
    const CUgyiratSearchIndex* index = store->SearchIndex();
    b = Now();
    if (!index) {
        printf("search index: out of memory\n");
        return 1;
    }
    printf("search index built once after a load (%d cases, %.1f MB): %.2f ms\n", (int)index->GetCount(),
           index->GetMemoryBytes() / 1e6, Ms(a, b));

    // The walk of a keystroke beside the bare pool, in alternating rounds.
    CBarePool bare;
    bare.Build(store->m_records);
    std::vector<int> keys, bareKeys;
    keys.reserve(store->m_records.size());
    bareKeys.reserve(store->m_records.size());
    const int walkRounds = 30;
    double walkMs = 0, bareMs = 0;
    int bareShown = 0;
    for (int k = 0; k < walkRounds; ++k) {
        a = Now();
        keys.clear();
        index->Search(termList, [&](int key, const CUgyiratRecord&) { keys.push_back(key); });
        b = Now();
        walkMs += Ms(a, b);
        a = Now();
        bareShown = bare.Search(L"kov", bareKeys);
        b = Now();
        bareMs += Ms(a, b);
    }
    walkMs /= walkRounds;
    bareMs /= walkRounds;
    printf("search walk through the index, \"kov\" (%d rows): %.2f ms; bare pool + wcsstr (%d rows): %.2f ms; "
           "ratio %.2f (goal 1.5)%s\n",
           (int)keys.size(), walkMs, bareShown, bareMs, walkMs / bareMs, keys == bareKeys ? "" : " ROWS DIFFER");

    // The pieces of a keystroke after the walk.
    CVelindoListCtrl& list = dlg.GetList();
    double clearMs = 0, addMs = 0, countMs = 0, paintMs = 0, redrawMs = 0;
    for (int k = 0; k < rounds; ++k) {
        a = Now();
        list.SetRedraw(FALSE);
        list.ClearKeys();
        b = Now();
        clearMs += Ms(a, b);
        a = Now();
        for (int key : keys)
            list.AddKey(key);
        b = Now();
        addMs += Ms(a, b);
        a = Now();
        list.SendMessage(LVM_SETITEMCOUNT, (WPARAM)list.GetKeyCount(), 0);
        b = Now();
        countMs += Ms(a, b);
        a = Now();
        list.SetRedraw(TRUE);
        list.Invalidate(FALSE);
        b = Now();
        redrawMs += Ms(a, b);
        a = Now();
        dlg.UpdateStatus();
        b = Now();
        paintMs += Ms(a, b);
    }
    printf("a keystroke's pieces: clear %.2f ms, key vector %.2f ms, item count %.2f ms, redraw request %.2f ms, "
           "status line %.2f ms\n",
           clearMs / rounds, addMs / rounds, countMs / rounds, redrawMs / rounds, paintMs / rounds);
    ::SetDlgItemTextW(dlg, 1006, L"kov");
    ::SendDlgItemMessageW(dlg, 1051, CB_SETCURSEL, 0, 0);
    dlg.RefreshList();
    a = Now();
    for (int k = 0; k < rounds; ++k)
        dlg.RefreshList();
    b = Now();
    printf("whole keystroke (RefreshList, \"kov\", %d rows): %.2f ms (goal 16 ms)\n", list.GetKeyCount(),
           Ms(a, b) / rounds);
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
