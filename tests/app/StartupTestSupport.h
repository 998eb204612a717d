// The start-up tests' fixture: runs Folionex.exe as a separate process, as a
// user would, answers the boxes it shows from outside (finding its windows by
// process, clicking their buttons), and reads its log file and the registry
// values it wrote.
#pragma once
#include <gtest/gtest.h>
#include <shlobj.h>
#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <thread>
#include <vector>
#include "storage/CtUgyirat_Sqlite.h"
#include "storage/CtUgyirat_SqlServer.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"
#include "tests/standins/oledb/TestSqlServer.h"

namespace startup_test {

using namespace testing_support;

const wchar_t kAppKey[] = L"Software\\Orvane\\Folionex";
const wchar_t kCentralCaption[] = L"Üzemmód (kapcsolódás központi adatbázishoz)";
const wchar_t kOfflineCaption[] = L"Üzemmód (leválasztott kapcsolat)";
const wchar_t kSelectCaption[] = L"Adatállomány kiválasztása";
// A web-service address where nothing answers (the discard port).
const wchar_t kUnreachableService[] = L"http://127.0.0.1:9/";
const wchar_t kCentral[] = L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=Folionex;Trusted connection=true;";

// The texts of the log's lines after their time stamps; unstamped lines as they are.
inline std::vector<std::wstring> LogTexts(LPCWSTR key)
{
    std::string bytes = ReadFileBytes(DataFolderPath(key) + L"Folionex.log");
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    std::vector<std::wstring> out;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == L'\n') {
            std::wstring line = text.substr(start, i - start), rest;
            out.push_back(SplitStamp(line, &rest) ? rest : L"?" + line);
            start = i + 1;
        }
    return out;
}

inline bool HasLine(const std::vector<std::wstring>& lines, const std::wstring& prefix)
{
    for (const auto& l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

// What the user does with a box of a caption: the buttons to click in turn
// (a check box first, then the answer).
struct Answer
{
    std::vector<int> buttons;
    int times = 0; // boxes answered so far
    // Before the buttons, or instead of them: drives the window (its handle,
    // the program's process id).
    std::function<void(HWND, DWORD)> act = nullptr;
};

struct FindData
{
    DWORD pid;
    std::vector<HWND> windows;
};

inline BOOL CALLBACK CollectWindow(HWND hWnd, LPARAM lParam)
{
    FindData* data = reinterpret_cast<FindData*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    if (pid == data->pid && IsWindowVisible(hWnd))
        data->windows.push_back(hWnd);
    return TRUE;
}

inline std::wstring WindowText(HWND h)
{
    wchar_t buf[512] = {0};
    GetWindowTextW(h, buf, 512);
    return buf;
}

// A visible window of the process with this caption, waited for up to 10 s.
inline HWND WaitForProcessWindow(DWORD pid, const std::wstring& caption)
{
    HWND found = NULL;
    testing_support::WaitUntil(
        [&] {
            FindData data = {pid, {}};
            EnumWindows(CollectWindow, (LPARAM)&data);
            for (HWND h : data.windows)
                if (WindowText(h) == caption)
                    found = h;
            return found != NULL;
        },
        10000);
    return found;
}

// Waits up to 10 s for a control's caption.
inline bool WaitForCaption(HWND control, const std::wstring& caption)
{
    return testing_support::WaitUntil([&] { return WindowText(control) == caption; }, 10000);
}

inline std::wstring ClassOf(HWND h)
{
    wchar_t buf[128] = {0};
    GetClassNameW(h, buf, 128);
    return buf;
}

// The texts of a window's child windows of a class.
struct ChildTextData
{
    LPCWSTR className;
    std::vector<std::wstring> texts;
};

inline BOOL CALLBACK CollectChildText(HWND hWnd, LPARAM lParam)
{
    ChildTextData* data = reinterpret_cast<ChildTextData*>(lParam);
    if (ClassOf(hWnd) == data->className)
        data->texts.push_back(WindowText(hWnd));
    return TRUE;
}

inline std::vector<std::wstring> ChildTexts(HWND parent, LPCWSTR className)
{
    ChildTextData data = {className, {}};
    EnumChildWindows(parent, CollectChildText, (LPARAM)&data);
    return data.texts;
}

class StartupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        exe = ProgramFolder() + L"Folionex.exe";
        ASSERT_TRUE(FileExists(exe)) << CStringA(exe).GetString();
        Clean();
        server.Reset();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override
    {
        Clean();
        CoUninitialize();
    }

    void Clean()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, kAppKey);
        for (LPCWSTR key : {L"DefaultInstance", L"Iroda", L"IRODA", L"Új iroda ő", L"Egyetlen"})
            RemoveDataFolder(key);
    }

    // A value of the instance's key, the key made when missing.
    void SetRegValue(LPCWSTR key, LPCWSTR name, DWORD type, const void* data, DWORD size)
    {
        HKEY h;
        CString path = CString(kAppKey) + L"\\" + key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, NULL, 0, KEY_WRITE, NULL, &h, NULL), ERROR_SUCCESS);
        RegSetValueExW(h, name, 0, type, (const BYTE*)data, size);
        RegCloseKey(h);
    }

    void SetValue(LPCWSTR key, LPCWSTR name, DWORD value) { SetRegValue(key, name, REG_DWORD, &value, sizeof(value)); }

    // A text value (null name: the default value).
    void SetText(LPCWSTR key, LPCWSTR name, LPCWSTR value)
    {
        SetRegValue(key, name, REG_SZ, value, (DWORD)(wcslen(value) + 1) * 2);
    }

    // The instance's key with its display name as the default value.
    void AddInstance(LPCWSTR key, LPCWSTR displayName) { SetText(key, NULL, displayName); }

    CString Value(LPCWSTR key, LPCWSTR name)
    {
        CString v;
        ReadRegString(HKEY_CURRENT_USER, CString(kAppKey) + (key && *key ? CString(L"\\") + key : CString()), name, v);
        return v;
    }

    DWORD Number(LPCWSTR key, LPCWSTR name, DWORD missing = 0xDEAD)
    {
        DWORD v = missing;
        ReadRegDword(HKEY_CURRENT_USER, CString(kAppKey) + L"\\" + key, name, v);
        return v;
    }

    void CentralCases(int count)
    {
        ASSERT_TRUE(server.CreateDatabase(L"Folionex"));
        ASSERT_TRUE(server.CreateCaseTable(L"Folionex"));
        CtUgyirat_SqlServer table(kCentral);
        for (int i = 1; i <= count; ++i) {
            CUgyiratRecord r;
            ZeroRecord(r);
            r.Ev = 2024;
            r.Nr = i;
            r.Allapot = 1;
            CopyField(r.UgyfelNeve, L"Központi ügyfél");
            r.Datum.year = 2024;
            r.Datum.month = 5;
            r.Datum.day = 1;
            ASSERT_TRUE(table.Insert(r));
        }
    }

    void BackupCases(LPCWSTR key, int count)
    {
        CString path = DataFolderPath(key);
        SHCreateDirectoryExW(NULL, path, NULL);
        CString file = path + L"Folionex.bkp";
        CtUgyirat_Sqlite table;
        ASSERT_TRUE(table.CreateDatabaseAt(file));
        table.SetPath(file);
        for (int i = 1; i <= count; ++i) {
            CUgyiratRecord r;
            ZeroRecord(r);
            r.Ev = 2023;
            r.Nr = i;
            CopyField(r.UgyfelNeve, L"Mentett ügyfél");
            ASSERT_TRUE(table.Insert(r));
        }
    }

    // Runs the program and answers its boxes by caption; a box without an
    // answer (and any other window) is closed after a while. Returns the
    // exit code, or -1 when the program did not end in time.
    DWORD Run(LPCWSTR args, std::map<std::wstring, Answer> answers = {})
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
        DWORD start = GetTickCount();
        std::map<HWND, DWORD> seen;
        std::set<HWND> closed;
        while (GetTickCount() - start < 60000) {
            if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) {
                endedAt = GetTickCount();
                GetExitCodeProcess(pi.hProcess, &code);
                break;
            }
            FindData data = {pi.dwProcessId, {}};
            EnumWindows(CollectWindow, (LPARAM)&data);
            for (HWND h : data.windows) {
                if (ClassOf(h) == L"Folionex") {
                    // The main window: the user closes it once it stands
                    // (or once the test says so).
                    if (!seen.count(h)) {
                        seen[h] = GetTickCount();
                        sawMainWindow = true;
                    } else if (!closed.count(h) &&
                               (readyToClose ? readyToClose() : GetTickCount() - seen[h] > 500)) {
                        closed.insert(h);
                        closedAt = GetTickCount();
                        PostMessageW(h, WM_CLOSE, 0, 0);
                    }
                    continue;
                }
                if (ClassOf(h) != L"#32770")
                    continue;
                std::wstring caption = WindowText(h);
                auto it = answers.find(caption);
                if (it != answers.end()) {
                    if (seen.count(h))
                        continue;
                    seen[h] = GetTickCount();
                    ++it->second.times;
                    shown.push_back(caption);
                    if (it->second.act)
                        it->second.act(h, pi.dwProcessId);
                    // Posted clicks are handled in the order they were posted.
                    for (int id : it->second.buttons) {
                        HWND button = GetDlgItem(h, id);
                        if (button)
                            PostMessageW(button, BM_CLICK, 0, 0);
                        else
                            PostMessageW(h, WM_COMMAND, id, 0);
                    }
                } else if (caption == L"On-line mentés beállítása") {
                    // The backup reminder, should the main window stand for
                    // its 3 seconds: "Máskor".
                    if (!seen.count(h)) {
                        seen[h] = GetTickCount();
                        PostMessageW(h, WM_COMMAND, IDNO, 0);
                    }
                } else if (caption == kCentralCaption || caption == kOfflineCaption) {
                    // Not expected: leave the program as the user would.
                    if (!seen.count(h)) {
                        seen[h] = GetTickCount();
                        shown.push_back(L"unexpected: " + caption);
                        PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
                    }
                }
            }
        }
        if (code == (DWORD)-1)
            TerminateProcess(pi.hProcess, 99);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return code;
    }

    std::vector<std::wstring> StartLines(LPCWSTR key)
    {
        return {std::wstring(59, L'*'), std::wstring(L"Start instance ") + key,
                std::wstring(L"ExePath: ") + exe.GetString()};
    }

    void ExpectStartsWith(const std::vector<std::wstring>& log, const std::vector<std::wstring>& head)
    {
        ASSERT_GE(log.size(), head.size());
        for (size_t i = 0; i < head.size(); ++i)
            EXPECT_EQ(log[i], head[i]);
    }

    oledb_standin::CTestSqlServer server;
    CString exe;
    std::vector<std::wstring> shown;
    bool sawMainWindow = false;
    // When set, Run closes the main window once this answers true.
    std::function<bool()> readyToClose;
    DWORD closedAt = 0, endedAt = 0; // ticks: the close request, the program's end
};

} // namespace startup_test
