// Fixture of the database wizard and SQL Server options tests: a settings
// object of its own instance, the application's connection manager and
// case store over the test SQL server, the log file, and the boxes the
// dialogs show (captioned with the application's name).
#pragma once
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>
#include "StorageTestSupport.h"
#include "TestSqlServer.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/UgyiratStore.h"
#include "support/WindowDriver.h"

namespace sql_dialogs_test {

class SqlDialogsFixture : public ::testing::Test
{
protected:
    SqlDialogsFixture() : env(L"SqlDialogsTest") {}

    void SetUp() override;
    void TearDown() override;

    // The stored per-instance values.
    CString Stored(LPCWSTR name);
    int StoredInt(LPCWSTR name);
    // The whole log file as text.
    std::wstring LogText();

    // Waits for the application's box with this text, presses OK and waits
    // until it is gone; false when no such box came.
    static bool ConfirmBox(LPCWSTR text);
    // A box of the application is showing now.
    static bool BoxShowing();
    // "FOLIONEX_SCREENSHOTS" names the folder of the documentation's pictures.
    static bool ScreenshotFolder(CString& folder);

    CStorageEnvironment env;
    oledb_standin::CTestSqlServer server;
    CConnectionManagerSqlServer manager;
    std::unique_ptr<CUgyiratStore> store;
    CString logPath;
};

} // namespace sql_dialogs_test
