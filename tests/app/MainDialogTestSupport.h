// Fixtures of the main dialog tests: a settings object of its own instance
// with a fresh data folder, the application's data holder, the window class
// of the main dialog, and deadline texts relative to today.
#pragma once
#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <vector>
#include "TestSqlServer.h"
#include "app/VelindoApp.h"
#include "app/VelindoDlg.h"
#include "foundation/Log.h"
#include "storage/DatabaseContext.h"
#include "storage/StorageTestSupport.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"

namespace main_dialog_test {

// One item of a deadline list text, days from today: "+yyyy.mm.dd. remark".
CString DateItem(bool watched, int days, LPCWSTR remark = L"határidő");

// The main dialog's window class, as the application registers it.
void RegisterMainWindowClass();

// The options dialog ("Beállítások") from the main dialog's system menu, once
// it has set itself up; null when it did not open.
HWND OpenOptionsDialog(HWND main);

class MainDialogFixture : public ::testing::Test
{
protected:
    MainDialogFixture() : env(L"MainDlgTest") {}

    void SetUp() override;
    void TearDown() override;

    // The central case table of the test server, made and loaded into the
    // store with these cases.
    void OpenCentralRegister(oledb_standin::CTestSqlServer& server, const std::vector<CUgyiratRecord>& cases);
    // Runs the main dialog modally as the program runs it while the script
    // drives it from a second thread; the script starts with the dialog's
    // window. The dialog's result.
    INT_PTR RunMainDialog(const std::function<void(HWND)>& script, DWORD graceMs = 5000);

    // The log file's lines after their time stamps.
    std::vector<std::wstring> LogLines();
    bool LogHas(const std::wstring& line);

    CStorageEnvironment env;
    CDatabaseContext* database = nullptr;
    CString logPath;
};

} // namespace main_dialog_test
