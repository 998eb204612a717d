// The fixture of the online backup and restore tests: a register of a few
// cases (accents, quotes, deadlines, active and closed) in the test SQL
// server's central table and in the store of the application's data holder,
// the instance set up for the web-service stand-in, and a parent window;
// the cases of a table or of the case map as texts to compare.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include "../afx/WindowTestSupport.h"
#include "../storage/StorageTestSupport.h"
#include "TestSqlServer.h"
#include "storage/DatabaseContext.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/UgyiratStore.h"
#include "support/WebServiceControl.h"

namespace online_test {

// Needs percent-encoding: "á" is two UTF-8 bytes, "+" is reserved.
const wchar_t kAccount[] = L"kovács+iroda";
const char kAccountQuery[] = "kov%C3%A1cs%2Biroda";
const wchar_t kPassword[] = L"titok jelszó";
const int kEarlierBackup = 12345;

// Every stored field of a record in one text (the compare state is never stored).
inline std::wstring Fields(const CUgyiratRecord& r)
{
    wchar_t head[160];
    swprintf(head, 160, L"%d/%d a%d %04d.%02d.%02d %02d:%02d:%02d|", r.Nr, r.Ev, r.Allapot, r.Datum.year,
             r.Datum.month, r.Datum.day, r.Datum.hour, r.Datum.minute, r.Datum.second);
    return std::wstring(head) + r.UgyfelNeve + L"|" + r.EllenfelNeve + L"|" + r.UgyJellege + L"|" + r.Megjegyzes +
           L"|" + r.CC + L"|" + r.Hataridok;
}

typedef std::map<int, std::wstring> Snapshot;

inline Snapshot Of(const CUgyiratStore::RecordMap& map)
{
    Snapshot out;
    for (const auto& item : map)
        out[item.first] = Fields(item.second);
    return out;
}

// The rows of a table, read through the program's own table object.
inline Snapshot ReadTable(CRDBTable& table)
{
    Snapshot out;
    if (!table.OpenSelect())
        return out;
    while (table.MoveNext()) {
        CUgyiratRecord r;
        ZeroRecord(r);
        table.GetRecord(r);
        out[UgyiratKey(r)] = Fields(r);
    }
    table.Close();
    return out;
}

inline Snapshot ReadBackupFile(LPCWSTR path)
{
    CtUgyirat_Sqlite table;
    table.SetPath(path);
    return ReadTable(table);
}

class COnlineRegisterTest : public ::testing::Test
{
public:
    explicit COnlineRegisterTest(LPCWSTR key) : env(key) {}

    void SetUp() override
    {
        ASSERT_TRUE(testing_support::StandIn(L"/_control/reset")) << "the web-service stand-in does not answer";
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
        window_test::InitOnce();
        context.reset(new CDatabaseContext);
        context->m_pConnection->LoadSettings();
        ASSERT_TRUE(server.CreateDatabase(L"Folionex"));
        ASSERT_TRUE(server.CreateCaseTable(L"Folionex"));
        CAppSettings& settings = env.Settings();
        settings.WriteProfileString(L"Server", L"http://127.0.0.1/");
        settings.WriteProfileString(L"AccountId", kAccount);
        settings.SetOnlineBackupPassword(kPassword);
        settings.WriteProfileInt(L"OMLastBackup", kEarlierBackup);

        CUgyiratRecord active = MakeRecord(2024, 1, L"Kovács Ödön", L"Űrhajó Kft.", L"Polgári", L"\"sürgős\"",
                                           L"+2025.01.15. tárgyalás");
        active.Allapot = 1;
        CopyField(active.CC, L"\"B\" 12");
        ASSERT_TRUE(store().Insert(active));
        ASSERT_TRUE(store().Insert(MakeRecord(2024, 2, L"Tóth Ágnes", L"", L"Büntető")));
        CUgyiratRecord third = MakeRecord(2025, 7, L"Nagy Péter", L"Szabó Éva", L"Munkajogi");
        third.Allapot = 1;
        ASSERT_TRUE(store().Insert(third));

        HWND hwnd = CreateWindowExW(0, window_test::kPlainWindowClass, L"Főablak", WS_OVERLAPPEDWINDOW, 0, 0, 300,
                                    200, NULL, NULL, NULL, NULL);
        ASSERT_TRUE(hwnd);
        parent.Attach(hwnd);
    }

    void TearDown() override
    {
        if (parent.GetSafeHwnd())
            DestroyWindow(parent.Detach());
        context.reset();
        CoUninitialize();
    }

    CUgyiratStore& store() { return *context->m_pStore; }
    int LastBackup() { return env.Settings().GetProfileInt(L"OMLastBackup", -1); }

    CStorageEnvironment env;
    oledb_standin::CTestSqlServer server;
    std::unique_ptr<CDatabaseContext> context;
    CWnd parent;
};

} // namespace online_test
