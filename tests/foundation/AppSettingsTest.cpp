#include <gtest/gtest.h>
#include "afxwin.h"
#include "foundation/AppSettings.h"
#include "foundation/Log.h"
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

// A key on the command line names the instance's registry key and its data
// folder: one that neither can hold as it stands is not used, a log line
// says so, and the choice goes on as without a key.
TEST_F(AppSettingsTest, ARequestedKeyThatNamesNoFolderIsNotUsed)
{
    CScriptedChooser chooser;
    settings.SetInstanceChooser(&chooser);
    const std::wstring longest(CAppSettings::kMaxInstanceKey, L'k');
    struct Case
    {
        std::wstring requested;
        bool used;
    } cases[] = {
        {L"Iroda", true},
        {L"Instance_12_kiss_pelda.hu", true},
        {L"Bérletek 2024", true},
        {L"a.b", true},
        {longest, true},
        {longest + L"k", false},
        {L"a/../../../x", false},
        {L"..", false},
        {L".", false},
        {L"a\\b", false},
        {L"x:y", false},
        {L"mi?", false},
        {L"*", false},
        {L"\"idézet\"", false},
        {L"<a>", false},
        {L"a|b", false},
        {L"tab\tkulcs", false},
        {L"CON", false},
        {L"nul.txt", false},
        {L"Lpt1", false},
        {L"pont.", false},
        {L"szóköz ", false},
    };
    const CString log = CAppSettings::GetExeBaseName() + L".log";
    for (const Case& c : cases) {
        SCOPED_TRACE(CStringA(c.requested.c_str()).GetString());
        RemoveDataFolder(L"Default");
        chooser.asked = 0;
        chooser.resolved.Empty();
        settings.SetInstanceKey(L"");
        LogResetPath();
        EXPECT_TRUE(settings.SelectStartInstance(c.requested.c_str()));
        EXPECT_EQ(CAppSettings::IsUsableInstanceKey(c.requested.c_str()), c.used);
        if (c.used) {
            EXPECT_EQ(chooser.resolved, CString(c.requested.c_str()));
            EXPECT_EQ(chooser.asked, 0);
            EXPECT_EQ(settings.GetInstanceKey(), CString(L"Resolved"));
            continue;
        }
        EXPECT_EQ(chooser.resolved, CString()) << "not looked up";
        EXPECT_EQ(chooser.asked, 1) << "chosen as without a key";
        EXPECT_EQ(settings.GetInstanceKey(), CString(L"Chosen"));
        bool logged = false;
        for (const std::wstring& line : ReadLogTexts(DataFolderPath(L"Default") + log))
            logged = logged || line == L"Instance key \"" + c.requested + L"\" cannot name a registry key and a "
                                                                        L"folder; it is not used";
        EXPECT_TRUE(logged);
    }
    settings.SetInstanceChooser(NULL);
    settings.SetInstanceKey(L"SettingsTest");
    for (LPCWSTR key : {L"Resolved", L"Default", L"Chosen"})
        RemoveDataFolder(key);
}

TEST(InstanceKeys, MakeInstanceKeyGivesAUsableKey)
{
    struct Case
    {
        std::wstring text, key;
    } cases[] = {
        {L"Instance_3_iroda_pelda.hu", L"Instance_3_iroda_pelda.hu"},
        {L"Instance_3_a/../../x", L"Instance_3_a_.._.._x"},
        {L"..", L"_"},
        {L"", L"_"},
        {L"a\\b:c*d?e\"f<g>h|i\x01j\x7Fk", L"a_b_c_d_e_f_g_h_i_j_k"},
        {L"pont . .", L"pont"},
        {L"COM1", L"_COM1"},
        {L"aux.log", L"_aux.log"},
        {std::wstring(300, L'x'), std::wstring(255, L'x')},
        {std::wstring(254, L'x') + L". ", std::wstring(254, L'x')},
    };
    for (const Case& c : cases) {
        CString key = CAppSettings::MakeInstanceKey(c.text.c_str());
        EXPECT_EQ(key, CString(c.key.c_str())) << CStringA(c.text.c_str()).GetString();
        EXPECT_TRUE(CAppSettings::IsUsableInstanceKey(key));
    }
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
