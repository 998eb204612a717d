// Prints how long the case list takes with N cases (100,000 by default) in
// the store: rebuilding the row keys and the item count, a walk over the
// store matching one search term in the four text fields (as a rebuild after
// a keystroke does), and painting one page of rows with its cells, term
// highlights and deadline squares. Run: wine caselist_benchmark.exe [count]
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include "afxdlg.h"
#include "app/VelindoListCtrl.h"
#include "storage/UgyiratStore.h"
#include "support/TestSupport.h"
#include "CaseListTestRes.h"

namespace {

double Ms(LARGE_INTEGER a, LARGE_INTEGER b)
{
    return testing_support::ElapsedMs(a, b);
}

LARGE_INTEGER Now()
{
    return testing_support::ClockNow();
}

bool Contains(LPCWSTR field, LPCWSTR term)
{
    WCHAR lowered[201];
    int i = 0;
    for (; field[i] && i < 200; ++i)
        lowered[i] = CVelindoListCtrl::LowerChar(field[i]);
    lowered[i] = 0;
    return wcsstr(lowered, term) != NULL;
}

} // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 100000;
    testing_support::App();
    CUgyiratStore store(NULL);
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
        store.m_records[UgyiratKey(r)] = r;
    }

    CDialog dlg;
    if (!dlg.Create(IDD_CASELIST_TEST, NULL)) {
        printf("dialog not created\n");
        return 1;
    }
    CVelindoListCtrl list;
    list.SubclassDlgItem(IDC_CASELIST, &dlg);
    list.SetStore(&store);
    list.CreateListColumns();
    dlg.ShowWindow(SW_SHOW);

    const int rounds = 10;
    LARGE_INTEGER a = Now();
    for (int k = 0; k < rounds; ++k) {
        list.SetRedraw(FALSE);
        list.ClearKeys();
        for (auto it = store.m_records.rbegin(); it != store.m_records.rend(); ++it)
            list.AddKey(it->first);
        list.SetItemCount(list.GetKeyCount());
        list.SetRedraw(TRUE);
    }
    LARGE_INTEGER b = Now();
    printf("cases: %d\n", count);
    printf("row keys and item count, all cases: %.2f ms\n", Ms(a, b) / rounds);

    int shown = 0;
    a = Now();
    for (int k = 0; k < rounds; ++k) {
        shown = 0;
        for (auto it = store.m_records.rbegin(); it != store.m_records.rend(); ++it) {
            const CUgyiratRecord& r = it->second;
            if (Contains(r.UgyfelNeve, L"kov") || Contains(r.EllenfelNeve, L"kov") ||
                Contains(r.UgyJellege, L"kov") || Contains(r.Megjegyzes, L"kov"))
                ++shown;
        }
    }
    b = Now();
    printf("search walk over the store, one term (%d matches): %.2f ms\n", shown, Ms(a, b) / rounds);

    list.SetSearchTerms(L"kov\0\0");
    CRect client;
    list.GetClientRect(&client);
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, client.Width(), client.Height());
    HGDIOBJ old = SelectObject(dc, bmp);
    const int paints = 50;
    a = Now();
    for (int k = 0; k < paints; ++k) {
        list.EnsureVisible((k * 997) % (count > 0 ? count : 1), FALSE);
        list.SendMessage(WM_PRINTCLIENT, (WPARAM)dc, PRF_CLIENT | PRF_ERASEBKGND);
    }
    b = Now();
    printf("one page painted (%d rows visible), scrolled each time: %.2f ms\n", list.GetCountPerPage(),
           Ms(a, b) / paints);
    for (auto& entry : store.m_records)
        entry.second.Hataridok[0] = 0;
    list.SetSearchTerms(NULL);
    a = Now();
    for (int k = 0; k < paints; ++k) {
        list.EnsureVisible((k * 997) % (count > 0 ? count : 1), FALSE);
        list.SendMessage(WM_PRINTCLIENT, (WPARAM)dc, PRF_CLIENT | PRF_ERASEBKGND);
    }
    b = Now();
    printf("the same without deadlines and search terms: %.2f ms\n", Ms(a, b) / paints);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);
    dlg.DestroyWindow();
    return 0;
}
