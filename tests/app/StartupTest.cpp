// Starts Folionex.exe as a separate process, as a user would, and checks its
// exit code, its log file and the registry values it wrote.
#include <gtest/gtest.h>
#include <vector>
#include "support/TestSupport.h"
#include <shlobj.h>

namespace {

using namespace testing_support;

const wchar_t kAppKey[] = L"Software\\Orvane\\Folionex";

std::wstring ReadLog(LPCWSTR key)
{
    std::string bytes = ReadFileBytes(DataFolderPath(key) + L"Folionex.log");
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

// The texts of the log's lines after their time stamps; unstamped lines as they are.
std::vector<std::wstring> LogTexts(LPCWSTR key)
{
    std::wstring text = ReadLog(key);
    std::vector<std::wstring> out;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == L'\n') {
            std::wstring line = text.substr(start, i - start);
            std::wstring rest;
            out.push_back(SplitStamp(line, &rest) ? rest : L"?" + line);
            start = i + 1;
        }
    return out;
}

class StartupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        exe = ProgramFolder() + L"Folionex.exe";
        ASSERT_TRUE(FileExists(exe)) << CStringA(exe).GetString();
        Clean();
    }
    void TearDown() override { Clean(); }

    void Clean()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, kAppKey);
        for (LPCWSTR key : {L"DefaultInstance", L"Iroda", L"IRODA", L"Új iroda ő", L"Egyetlen"})
            RemoveDataFolder(key);
    }

    void AddInstance(LPCWSTR key, LPCWSTR displayName)
    {
        HKEY h;
        CString path = CString(kAppKey) + L"\\" + key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, NULL, 0, KEY_WRITE, NULL, &h, NULL), ERROR_SUCCESS);
        RegSetValueExW(h, NULL, 0, REG_SZ, (const BYTE*)displayName, (DWORD)(wcslen(displayName) + 1) * 2);
        RegCloseKey(h);
    }

    // Runs the program and returns its exit code (or -1 when it did not end in time).
    DWORD Run(LPCWSTR args)
    {
        CString cmd = CString(L"\"") + exe + L"\"";
        if (args && *args)
            cmd += CString(L" ") + args;
        STARTUPINFOW si = {sizeof(si)};
        PROCESS_INFORMATION pi = {};
        std::vector<wchar_t> buf(cmd.GetString(), cmd.GetString() + cmd.GetLength() + 1);
        if (!CreateProcessW(NULL, buf.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
            return (DWORD)-2;
        DWORD code = (DWORD)-1;
        if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        else
            TerminateProcess(pi.hProcess, 99);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return code;
    }

    std::vector<std::wstring> StartLines(LPCWSTR key)
    {
        return {std::wstring(59, L'*'), std::wstring(L"Start instance ") + key,
                std::wstring(L"ExePath: ") + exe.GetString(), L"Exit instance"};
    }

    CString exe;
};

TEST_F(StartupTest, NoArgumentAndNoInstanceUsesDefaultInstance)
{
    EXPECT_EQ(Run(L""), 0u);
    EXPECT_EQ(LogTexts(L"DefaultInstance"), StartLines(L"DefaultInstance"));

    std::string bytes = ReadFileBytes(DataFolderPath(L"DefaultInstance") + L"Folionex.log");
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_NE(bytes.substr(0, 2), std::string("\xFF\xFE")) << "no byte-order mark";
    EXPECT_EQ(bytes.find(std::string("\r\0", 2)), std::string::npos) << "line feeds only";

    CString value;
    ASSERT_TRUE(ReadRegString(HKEY_CURRENT_USER, kAppKey, L"ExeDir", value));
    EXPECT_EQ(value, exe.Left(exe.ReverseFind(L'\\')));
    ASSERT_TRUE(ReadRegString(HKEY_CURRENT_USER, kAppKey, L"LastRun", value));
    EXPECT_EQ(value, L"DefaultInstance");
}

TEST_F(StartupTest, KnownKeyIsMatchedWithoutRegardToCase)
{
    AddInstance(L"Iroda", L"Iroda");
    EXPECT_EQ(Run(L"IRODA"), 0u);
    EXPECT_EQ(LogTexts(L"Iroda"), StartLines(L"Iroda"));
    CString value;
    ASSERT_TRUE(ReadRegString(HKEY_CURRENT_USER, kAppKey, L"LastRun", value));
    EXPECT_EQ(value, L"Iroda");
}

TEST_F(StartupTest, UnknownKeyStartsANewInstance)
{
    AddInstance(L"Iroda", L"Iroda");
    EXPECT_EQ(Run(L"\"Új iroda ő\""), 0u);
    EXPECT_EQ(LogTexts(L"Új iroda ő"), StartLines(L"Új iroda ő"));
    CString value;
    ASSERT_TRUE(ReadRegString(HKEY_CURRENT_USER, kAppKey, L"LastRun", value));
    EXPECT_EQ(value, L"Új iroda ő");
}

TEST_F(StartupTest, TheOnlyInstanceIsChosenAndTheBannerGoesToTheDefaultLog)
{
    AddInstance(L"Egyetlen", L"Egyetlen iroda");
    EXPECT_EQ(Run(L""), 0u);
    EXPECT_EQ(LogTexts(L"DefaultInstance"), std::vector<std::wstring>{std::wstring(59, L'*')});
    auto lines = StartLines(L"Egyetlen");
    lines.erase(lines.begin());
    EXPECT_EQ(LogTexts(L"Egyetlen"), lines);
    CString value;
    ASSERT_TRUE(ReadRegString(HKEY_CURRENT_USER, kAppKey, L"LastRun", value));
    EXPECT_EQ(value, L"Egyetlen");
}

} // namespace
