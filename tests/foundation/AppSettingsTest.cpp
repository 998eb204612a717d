#include <gtest/gtest.h>
#include "afxwin.h"
#include "foundation/AppSettings.h"
#include "support/TestSupport.h"
#include <shlobj.h>

namespace {

using namespace testing_support;

class AppSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        ResetProfile();
        RemoveDataFolder(L"SettingsTest");
        settings.SetInstanceKey(L"SettingsTest");
        section = CString(L"Software\\Orvane\\foundation_test\\SettingsTest");
    }
    void TearDown() override
    {
        RemoveDataFolder(L"SettingsTest");
        ResetProfile();
    }

    CString LocalAppData()
    {
        wchar_t buf[MAX_PATH] = {0};
        SHGetFolderPathW(NULL, CSIDL_LOCAL_APPDATA, NULL, 0, buf);
        return buf;
    }

    CAppSettings settings;
    CString section;
};

TEST_F(AppSettingsTest, ProgramFileNames)
{
    CString path(CAppSettings::GetModulePath());
    EXPECT_EQ(path.Right(20), L"\\foundation_test.exe");
    EXPECT_EQ(CAppSettings::GetExeFileName(), L"foundation_test.exe");
    EXPECT_EQ(CAppSettings::GetExeBaseName(), L"foundation_test");
    EXPECT_EQ(CAppSettings::GetExeFolder(), path.Left(path.GetLength() - 20));
}

TEST_F(AppSettingsTest, ProfileAccessorsUseTheInstanceSection)
{
    ASSERT_TRUE(settings.WriteProfileString(L"Text", L"érték"));
    ASSERT_TRUE(settings.WriteProfileInt(L"Number", -12));
    ASSERT_TRUE(settings.WriteEmptyProfileString(L"Empty"));
    CString s;
    ASSERT_TRUE(ReadRegString(HKEY_CURRENT_USER, section, L"Text", s));
    EXPECT_EQ(s, L"érték");
    ASSERT_TRUE(ReadRegString(HKEY_CURRENT_USER, section, L"Empty", s));
    EXPECT_EQ(s, L"");
    EXPECT_EQ(settings.GetProfileInt(L"Number", 0), -12);
    EXPECT_EQ(settings.GetProfileString(L"Missing", L"dflt"), L"dflt");
}

TEST_F(AppSettingsTest, DataFolderIsCreatedAndEndsWithBackslash)
{
    CString want = LocalAppData() + L"\\Folionex\\SettingsTest\\";
    EXPECT_FALSE(FileExists(want));
    EXPECT_EQ(settings.GetDataFolder(), want);
    EXPECT_TRUE(FileExists(want));
}

TEST_F(AppSettingsTest, BackupFileIsComputedOnceAndWrittenBack)
{
    CString want = LocalAppData() + L"\\Folionex\\SettingsTest\\foundation_test.bkp";
    EXPECT_EQ(settings.GetBackupFilePath(), want);
    CString stored;
    ASSERT_TRUE(ReadRegString(HKEY_CURRENT_USER, section, L"BackupFile", stored));
    EXPECT_EQ(stored, want);

    // A value set by hand is returned unchanged, even for a missing file.
    settings.WriteProfileString(L"BackupFile", L"D:\\máshol\\nincs.bkp");
    EXPECT_EQ(settings.GetBackupFilePath(), L"D:\\máshol\\nincs.bkp");
}

TEST_F(AppSettingsTest, DownloadCacheIsCreatedAndWrittenBack)
{
    CString want = LocalAppData() + L"\\Folionex\\SettingsTest\\DownloadCache\\";
    EXPECT_EQ(settings.GetDownloadCacheFolder(), want);
    EXPECT_TRUE(FileExists(want));
    CString stored;
    ASSERT_TRUE(ReadRegString(HKEY_CURRENT_USER, section, L"DownloadCache", stored));
    EXPECT_EQ(stored, want);
}

TEST_F(AppSettingsTest, ServerAndFontSizeDefaultsAreNotWrittenBack)
{
    EXPECT_EQ(settings.GetServerUrl(), CAppSettings::kDefaultServerUrl);
    EXPECT_EQ(settings.GetServerUrl().Right(1), L"/");
    EXPECT_EQ(settings.GetFontSizeInList(), 0);
    CString s;
    DWORD d;
    EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, section, L"Server", s));
    EXPECT_FALSE(ReadRegDword(HKEY_CURRENT_USER, section, L"FontSizeInList", d));
    settings.SetFontSizeInList(3);
    EXPECT_EQ(settings.GetFontSizeInList(), 3);
    settings.WriteProfileString(L"Server", L"http://127.0.0.1:8080");
    EXPECT_EQ(settings.GetServerUrl() + L"VApi/Check.aspx", L"http://127.0.0.1:8080VApi/Check.aspx");
}

TEST_F(AppSettingsTest, OverlongInstanceKeyGivesNoFolder)
{
    settings.SetInstanceKey(CString(L'k', 300));
    EXPECT_EQ(settings.GetDataFolder(), L"");
    EXPECT_EQ(settings.GetDownloadCacheFolder(), L"");
    settings.SetInstanceKey(L"SettingsTest");
}

TEST_F(AppSettingsTest, VersionStringsComeFromTheVersionResource)
{
    EXPECT_EQ(CAppSettings::GetVersionInfoString(L"ProductVersion"), L"1.0.0.1");
    EXPECT_EQ(CAppSettings::GetVersionInfoString(L"ProductName"), L"Folionex");
    EXPECT_EQ(CAppSettings::GetVersionInfoString(L"NoSuchValue"), L"");
}

TEST_F(AppSettingsTest, MainWindowIsKnownOnlyWhileItExists)
{
    EXPECT_EQ(settings.GetMainWindow(), (HWND)NULL);
    CWnd wnd;
    wnd.m_hWnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_NE(wnd.m_hWnd, (HWND)NULL);
    HWND h = wnd.m_hWnd;
    settings.SetMainWindow(&wnd);
    EXPECT_EQ(settings.GetMainWindow(), h);
    ::DestroyWindow(h);
    EXPECT_EQ(settings.GetMainWindow(), (HWND)NULL);
    settings.SetMainWindow(NULL);
    wnd.m_hWnd = NULL;
}

// A chooser that answers as told and records what it was asked.
class CScriptedChooser : public CInstanceChooser
{
public:
    CString Resolve(LPCWSTR requestedKey) override
    {
        resolved = requestedKey;
        return L"Resolved";
    }
    CString DefaultKey() override { return L"Default"; }
    bool Choose(bool, CString& key) override
    {
        ++asked;
        key = L"Chosen";
        return choose;
    }

    CString resolved;
    int asked = 0;
    bool choose = true;
};

TEST_F(AppSettingsTest, TheInstanceIsChosenByTheGivenChooser)
{
    // Without a chooser there is no choice.
    EXPECT_FALSE(settings.SelectStartInstance(L"Iroda"));

    CScriptedChooser chooser;
    settings.SetInstanceChooser(&chooser);
    struct Case { const wchar_t* requested; bool choose; bool result; const wchar_t* key; int asked; } cases[] = {
        {L"iroda", true, true, L"Resolved", 0},
        {L"", true, true, L"Chosen", 1},
        {NULL, true, true, L"Chosen", 1},
        {L"", false, false, L"Default", 1},  // cancelled: the default key stays
    };
    for (const Case& c : cases) {
        chooser.asked = 0;
        chooser.choose = c.choose;
        EXPECT_EQ(settings.SelectStartInstance(c.requested), c.result) << c.asked;
        EXPECT_EQ(settings.GetInstanceKey(), CString(c.key));
        EXPECT_EQ(chooser.asked, c.asked);
    }
    EXPECT_EQ(chooser.resolved, CString(L"iroda"));
    settings.SetInstanceChooser(NULL);
    settings.SetInstanceKey(L"SettingsTest");
    for (LPCWSTR key : {L"Resolved", L"Default", L"Chosen"})
        RemoveDataFolder(key);
}

TEST(AppSettingsObject, IsTheProcessSettingsWhileItLives)
{
    EXPECT_EQ(GetAppSettings(), (CAppSettings*)NULL);
    {
        CAppSettings s;
        EXPECT_EQ(GetAppSettings(), &s);
    }
    EXPECT_EQ(GetAppSettings(), (CAppSettings*)NULL);
}

} // namespace
