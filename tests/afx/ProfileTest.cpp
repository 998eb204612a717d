#include <gtest/gtest.h>
#include "afxapp.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;

class ProfileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app = App();
        ResetProfile();
        appKey = CString(L"Software\\Orvane\\") + app->m_pszAppName;
    }
    void TearDown() override { ResetProfile(); }

    CWinApp* app = nullptr;
    CString appKey;
};

TEST_F(ProfileTest, ApplicationNameIsTheExecutableBaseName)
{
    EXPECT_STREQ(app->m_pszAppName, L"afx_test");
}

TEST_F(ProfileTest, ValuesLiveUnderTheApplicationKeyAndSection)
{
    ASSERT_TRUE(app->WriteProfileString(L"Inst", L"Server", L"http://x/"));
    ASSERT_TRUE(app->WriteProfileInt(L"Inst", L"Online", 1));
    ASSERT_TRUE(app->WriteProfileString(L"", L"LastRun", L"Inst"));
    ASSERT_TRUE(app->WriteProfileInt(L"Inst\\Metrics", L"Width", 640));

    CString s;
    DWORD d = 0;
    EXPECT_TRUE(ReadRegString(HKEY_CURRENT_USER, appKey + L"\\Inst", L"Server", s));
    EXPECT_EQ(s, L"http://x/");
    EXPECT_TRUE(ReadRegDword(HKEY_CURRENT_USER, appKey + L"\\Inst", L"Online", d));
    EXPECT_EQ(d, 1u);
    EXPECT_TRUE(ReadRegString(HKEY_CURRENT_USER, appKey, L"LastRun", s));
    EXPECT_EQ(s, L"Inst");
    EXPECT_TRUE(ReadRegDword(HKEY_CURRENT_USER, appKey + L"\\Inst\\Metrics", L"Width", d));
    EXPECT_EQ(d, 640u);

    EXPECT_EQ(app->GetProfileString(L"Inst", L"Server", L"def"), L"http://x/");
    EXPECT_EQ((int)app->GetProfileInt(L"Inst", L"Online", 7), 1);
    EXPECT_EQ((int)app->GetProfileInt(L"Inst\\Metrics", L"Width", 0), 640);
}

TEST_F(ProfileTest, MissingOrMistypedValuesGiveTheDefault)
{
    ASSERT_TRUE(app->WriteProfileInt(L"Inst", L"AsNumber", 5));
    ASSERT_TRUE(app->WriteProfileString(L"Inst", L"AsText", L"12"));
    struct Case {
        LPCWSTR entry;
        int intDefault;
        int wantInt;
        LPCWSTR strDefault;
        LPCWSTR wantStr;
    } cases[] = {
        {L"Missing", -3, -3, L"d", L"d"},
        {L"AsText", 9, 9, L"d", L"12"},      // a string is not read as a number
        {L"AsNumber", 9, 5, L"d", L"d"},     // a number is not read as a string
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << CStringA(c.entry).GetString());
        EXPECT_EQ((int)app->GetProfileInt(L"Inst", c.entry, c.intDefault), c.wantInt);
        EXPECT_EQ(app->GetProfileString(L"Inst", c.entry, c.strDefault), c.wantStr);
    }
    EXPECT_EQ(app->GetProfileString(L"NoSuchSection", L"x", NULL), L"");
    EXPECT_EQ((int)app->GetProfileInt(L"NoSuchSection", L"x", 42), 42);
}

TEST_F(ProfileTest, ReadingCreatesNoKey)
{
    app->GetProfileString(L"Ghost", L"Value", L"");
    app->GetProfileInt(L"Ghost", L"Value", 0);
    HKEY h = NULL;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, appKey + L"\\Ghost", 0, KEY_READ, &h), ERROR_SUCCESS);
}

TEST_F(ProfileTest, EmptyEntryIsTheDefaultValueAndNullsDelete)
{
    ASSERT_TRUE(app->WriteProfileString(L"Inst", L"", L"Display"));
    CString s;
    EXPECT_TRUE(ReadRegString(HKEY_CURRENT_USER, appKey + L"\\Inst", NULL, s));
    EXPECT_EQ(s, L"Display");

    ASSERT_TRUE(app->WriteProfileString(L"Inst", L"Gone", L"1"));
    ASSERT_TRUE(app->WriteProfileString(L"Inst", L"Gone", NULL));
    EXPECT_EQ(app->GetProfileString(L"Inst", L"Gone", L"none"), L"none");

    ASSERT_TRUE(app->WriteProfileString(L"Inst", NULL, NULL));
    HKEY h = NULL;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, appKey + L"\\Inst", 0, KEY_READ, &h), ERROR_SUCCESS);
}

TEST_F(ProfileTest, LongAndHungarianTexts)
{
    CString text(L"Ügyvédi iroda – Őrség ű ");
    CString longText(L'é', 5000);
    ASSERT_TRUE(app->WriteProfileString(L"Inst", L"Name", text));
    ASSERT_TRUE(app->WriteProfileString(L"Inst", L"Long", longText));
    EXPECT_EQ(app->GetProfileString(L"Inst", L"Name"), text);
    EXPECT_EQ(app->GetProfileString(L"Inst", L"Long"), longText);
}

TEST(CommandLine, FirstPlainArgumentIsTheFileName)
{
    CCommandLineInfo info;
    info.ParseParam(L"nologo", TRUE, FALSE);
    info.ParseParam(L"Iroda2", FALSE, FALSE);
    info.ParseParam(L"Other", FALSE, TRUE);
    EXPECT_EQ(info.m_strFileName, L"Iroda2");
}

} // namespace
