#include "SqlDialogsTestSupport.h"
#include "../afx/WindowTestSupport.h"
#include "foundation/Log.h"
#include "storage/CtUgyirat_SqlServer.h"
#include "support/TestSupport.h"

namespace sql_dialogs_test {

using namespace testing_support;

void SqlDialogsFixture::SetUp()
{
    window_test::InitOnce();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
    LogSetPrefix(NULL);
    LogResetPath();
    logPath = env.Folder() + AfxGetApp()->m_pszAppName + L".log";
    DeleteFileW(logPath);
    manager.LoadSettings();
    CConnectionManagerSqlServer::SetApplicationManager(&manager);
    store.reset(new CUgyiratStore(new CtUgyirat_SqlServer));
    store->SetCentralConnection(&manager);
}

void SqlDialogsFixture::TearDown()
{
    store.reset();
    CConnectionManagerSqlServer::SetApplicationManager(NULL);
    LogSetPrefix(NULL);
    CoUninitialize();
}

CString SqlDialogsFixture::Stored(LPCWSTR name)
{
    return env.Settings().GetProfileString(name, L"<none>");
}

int SqlDialogsFixture::StoredInt(LPCWSTR name)
{
    return (int)env.Settings().GetProfileInt(name, -12345);
}

std::wstring SqlDialogsFixture::LogText()
{
    std::string bytes = ReadFileBytes(logPath);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

bool SqlDialogsFixture::ConfirmBox(LPCWSTR text)
{
    HWND box = NULL;
    bool found = WaitUntil([&] {
        box = FindTopWindow(L"#32770", AfxGetApp()->m_pszAppName);
        return box && ControlByText(box, text, L"Static");
    });
    if (!found)
        return false;
    Click(Control(box, IDOK));
    return WaitForWindowGone(box);
}

bool SqlDialogsFixture::BoxShowing()
{
    return FindTopWindow(L"#32770", AfxGetApp()->m_pszAppName) != NULL;
}

bool SqlDialogsFixture::ScreenshotFolder(CString& folder)
{
    wchar_t buf[MAX_PATH] = {0};
    if (!GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", buf, MAX_PATH))
        return false;
    folder = buf;
    return true;
}

} // namespace sql_dialogs_test
