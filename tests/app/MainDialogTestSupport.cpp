#include "MainDialogTestSupport.h"
#include <time.h>
#include <algorithm>
#include <vector>
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/UgyiratStore.h"

namespace main_dialog_test {

CString DateItem(bool watched, int days, LPCWSTR remark)
{
    __time64_t now = _time64(NULL);
    struct tm t;
    _localtime64_s(&t, &now);
    t.tm_mday += days;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    __time64_t when = _mktime64(&t);
    _localtime64_s(&t, &when);
    CString s;
    s.Format(L"%c%04d.%02d.%02d. %s", watched ? L'+' : L'-', t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, remark);
    return s;
}

void RegisterMainWindowClass()
{
    WNDCLASSW wc;
    ASSERT_TRUE(GetClassInfoW(NULL, MAKEINTRESOURCEW(32770), &wc));
    wc.hInstance = AfxGetInstanceHandle();
    wc.lpszClassName = L"Folionex";
    if (!RegisterClassW(&wc)) {
        ASSERT_EQ(GetLastError(), (DWORD)ERROR_CLASS_ALREADY_EXISTS);
    }
}

HWND OpenOptionsDialog(HWND main)
{
    PostMessageW(main, WM_SYSCOMMAND, 0x20, 0);
    HWND dlg = testing_support::WaitForWindow(L"#32770", L"Beállítások");
    if (dlg)
        SendMessageW(dlg, WM_NULL, 0, 0);
    return dlg;
}

void MainDialogFixture::SetUp()
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
    INITCOMMONCONTROLSEX icc = {sizeof(icc), 0xFF};
    InitCommonControlsEx(&icc);
    RegisterMainWindowClass();
    LogSetPrefix(NULL);
    LogResetPath();
    logPath = env.Folder() + AfxGetApp()->m_pszAppName + L".log";
    DeleteFileW(logPath);
    theApp.m_pSettings = &env.Settings();
    // The backup reminder of timer 100 only where a test asks for it.
    env.Settings().WriteProfileInt(L"OMBackupFrequency", 0);
    database = new CDatabaseContext;
    database->m_pConnection->LoadSettings();
    theApp.m_pDatabase = database;
}

void MainDialogFixture::TearDown()
{
    theApp.m_pMainWnd = NULL;
    env.Settings().SetMainWindow(NULL);
    theApp.m_pDatabase = NULL;
    delete database;
    database = nullptr;
    theApp.m_pSettings = NULL;
    LogSetPrefix(NULL);
    CoUninitialize();
}

void MainDialogFixture::OpenCentralRegister(oledb_standin::CTestSqlServer& server,
                                            const std::vector<CUgyiratRecord>& cases)
{
    ASSERT_TRUE(server.CreateDatabase(L"Folionex"));
    ASSERT_TRUE(server.CreateCaseTable(L"Folionex"));
    CUgyiratStore* store = database->m_pStore;
    ASSERT_TRUE(store->LoadFromDatabase());
    for (const CUgyiratRecord& record : cases)
        ASSERT_TRUE(store->Insert(record));
}

INT_PTR MainDialogFixture::RunMainDialog(const std::function<void(HWND)>& script, DWORD graceMs)
{
    CVelindoDlg dlg;
    theApp.m_pMainWnd = &dlg;
    env.Settings().SetMainWindow(&dlg);
    testing_support::CWindowDriver driver(
        [&] {
            HWND main = testing_support::WaitForWindow(L"Folionex", NULL);
            ASSERT_TRUE(main);
            script(main);
        },
        graceMs);
    INT_PTR result = dlg.DoModal();
    EXPECT_FALSE(driver.Join()) << "the watchdog had to end the dialog";
    env.Settings().SetMainWindow(NULL);
    theApp.m_pMainWnd = NULL;
    return result;
}

std::vector<std::wstring> MainDialogFixture::LogLines()
{
    return testing_support::ReadLogTexts(logPath);
}

bool MainDialogFixture::LogHas(const std::wstring& line)
{
    std::vector<std::wstring> lines = LogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace main_dialog_test
