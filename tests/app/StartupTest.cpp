// Starts Folionex.exe as a separate process, as a user would, answers the
// boxes it shows from outside (finding its windows by process, clicking
// their buttons), and checks its exit code, its log file and the registry
// values it wrote.
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
#include "support/WebServiceControl.h"
#include "tests/online/PasswordVectors.h"
#include "tests/standins/oledb/TestSqlServer.h"

namespace {

using namespace testing_support;

const wchar_t kAppKey[] = L"Software\\Orvane\\Folionex";
const wchar_t kCentralCaption[] = L"Üzemmód (kapcsolódás központi adatbázishoz)";
const wchar_t kOfflineCaption[] = L"Üzemmód (leválasztott kapcsolat)";
const wchar_t kSelectCaption[] = L"Adatállomány kiválasztása";
const wchar_t kCentral[] = L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=Folionex;Trusted connection=true;";

// The texts of the log's lines after their time stamps; unstamped lines as they are.
std::vector<std::wstring> LogTexts(LPCWSTR key)
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

bool HasLine(const std::vector<std::wstring>& lines, const std::wstring& prefix)
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

BOOL CALLBACK CollectWindow(HWND hWnd, LPARAM lParam)
{
    FindData* data = reinterpret_cast<FindData*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    if (pid == data->pid && IsWindowVisible(hWnd))
        data->windows.push_back(hWnd);
    return TRUE;
}

std::wstring WindowText(HWND h)
{
    wchar_t buf[512] = {0};
    GetWindowTextW(h, buf, 512);
    return buf;
}

// A visible window of the process with this caption, waited for up to 10 s.
HWND WaitForProcessWindow(DWORD pid, const std::wstring& caption)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20)) {
        FindData data = {pid, {}};
        EnumWindows(CollectWindow, (LPARAM)&data);
        for (HWND h : data.windows)
            if (WindowText(h) == caption)
                return h;
    }
    return NULL;
}

// Waits up to 10 s for a control's caption.
bool WaitForCaption(HWND control, const std::wstring& caption)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20))
        if (WindowText(control) == caption)
            return true;
    return false;
}

std::wstring ClassOf(HWND h)
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

BOOL CALLBACK CollectChildText(HWND hWnd, LPARAM lParam)
{
    ChildTextData* data = reinterpret_cast<ChildTextData*>(lParam);
    if (ClassOf(hWnd) == data->className)
        data->texts.push_back(WindowText(hWnd));
    return TRUE;
}

std::vector<std::wstring> ChildTexts(HWND parent, LPCWSTR className)
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

    void SetValue(LPCWSTR key, LPCWSTR name, DWORD value)
    {
        HKEY h;
        CString path = CString(kAppKey) + L"\\" + key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, NULL, 0, KEY_WRITE, NULL, &h, NULL), ERROR_SUCCESS);
        RegSetValueExW(h, name, 0, REG_DWORD, (const BYTE*)&value, sizeof(value));
        RegCloseKey(h);
    }

    void AddInstance(LPCWSTR key, LPCWSTR displayName)
    {
        HKEY h;
        CString path = CString(kAppKey) + L"\\" + key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, NULL, 0, KEY_WRITE, NULL, &h, NULL), ERROR_SUCCESS);
        RegSetValueExW(h, NULL, 0, REG_SZ, (const BYTE*)displayName, (DWORD)(wcslen(displayName) + 1) * 2);
        RegCloseKey(h);
    }

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

// ---------------------------------------------------------------------------
// The instance choice

TEST_F(StartupTest, NoArgumentAndNoInstanceUsesDefaultInstance)
{
    CentralCases(1);
    EXPECT_EQ(Run(L""), 0u);
    auto log = LogTexts(L"DefaultInstance");
    ExpectStartsWith(log, StartLines(L"DefaultInstance"));
    EXPECT_EQ(log.back(), L"Exit instance");

    std::string bytes = ReadFileBytes(DataFolderPath(L"DefaultInstance") + L"Folionex.log");
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_NE(bytes.substr(0, 2), std::string("\xFF\xFE")) << "no byte-order mark";
    EXPECT_EQ(bytes.find(std::string("\r\0", 2)), std::string::npos) << "line feeds only";

    EXPECT_EQ(Value(L"", L"ExeDir"), exe.Left(exe.ReverseFind(L'\\')));
    EXPECT_EQ(Value(L"", L"LastRun"), L"DefaultInstance");
    EXPECT_EQ(Value(L"DefaultInstance", L"BackupFile"), DataFolderPath(L"DefaultInstance") + L"Folionex.bkp");
}

TEST_F(StartupTest, KnownKeyIsMatchedWithoutRegardToCase)
{
    CentralCases(1);
    AddInstance(L"Iroda", L"Iroda");
    EXPECT_EQ(Run(L"IRODA"), 0u);
    ExpectStartsWith(LogTexts(L"Iroda"), StartLines(L"Iroda"));
    EXPECT_EQ(Value(L"", L"LastRun"), L"Iroda");
}

TEST_F(StartupTest, UnknownKeyStartsANewInstance)
{
    CentralCases(1);
    AddInstance(L"Iroda", L"Iroda");
    EXPECT_EQ(Run(L"\"Új iroda ő\""), 0u);
    ExpectStartsWith(LogTexts(L"Új iroda ő"), StartLines(L"Új iroda ő"));
    EXPECT_EQ(Value(L"", L"LastRun"), L"Új iroda ő");
}

TEST_F(StartupTest, TheOnlyInstanceIsChosenAndTheBannerGoesToTheDefaultLog)
{
    CentralCases(1);
    AddInstance(L"Egyetlen", L"Egyetlen iroda");
    EXPECT_EQ(Run(L""), 0u);
    EXPECT_EQ(LogTexts(L"DefaultInstance"), std::vector<std::wstring>{std::wstring(59, L'*')});
    auto lines = StartLines(L"Egyetlen");
    lines.erase(lines.begin());
    ExpectStartsWith(LogTexts(L"Egyetlen"), lines);
    EXPECT_EQ(Value(L"", L"LastRun"), L"Egyetlen");
}

TEST_F(StartupTest, SeveralInstancesAreOfferedInTheSelectionDialog)
{
    CentralCases(1);
    AddInstance(L"Egyetlen", L"Egyetlen iroda");
    AddInstance(L"Iroda", L"Iroda");
    Answer second{{IDOK}};
    second.act = [](HWND dlg, DWORD) { SendMessageW(GetDlgItem(dlg, 1115), CB_SETCURSEL, 1, 0); };
    EXPECT_EQ(Run(L"", {{kSelectCaption, second}}), 0u);
    EXPECT_EQ(shown, std::vector<std::wstring>{kSelectCaption});
    EXPECT_EQ(LogTexts(L"DefaultInstance"),
              (std::vector<std::wstring>{std::wstring(59, L'*'), L"Show SelectInstance popup"}));
    auto lines = StartLines(L"Iroda");
    lines.erase(lines.begin());
    ExpectStartsWith(LogTexts(L"Iroda"), lines);
    EXPECT_EQ(Value(L"", L"LastRun"), L"Iroda");
    EXPECT_TRUE(sawMainWindow);
}

TEST_F(StartupTest, LeavingTheSelectionDialogEndsTheProgramQuietly)
{
    AddInstance(L"Egyetlen", L"Egyetlen iroda");
    AddInstance(L"Iroda", L"Iroda");
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kAppKey, L"LastRun", REG_SZ, L"Iroda", 12), ERROR_SUCCESS);
    EXPECT_EQ(Run(L"", {{kSelectCaption, Answer{{IDCANCEL}}}}), 0u); // "Ki&lép"
    EXPECT_EQ(shown, std::vector<std::wstring>{kSelectCaption});
    EXPECT_EQ(LogTexts(L"DefaultInstance"), (std::vector<std::wstring>{std::wstring(59, L'*'),
                                                                      L"Show SelectInstance popup", L"Exit instance"}));
    EXPECT_FALSE(sawMainWindow);
    EXPECT_EQ(Value(L"", L"LastRun"), L"Iroda");
    EXPECT_FALSE(FileExists(DataFolderPath(L"Iroda") + L"Folionex.log"));
}

TEST_F(StartupTest, TheTemplateKeyBesideTheInstancesIsNoInstance)
{
    CentralCases(1);
    AddInstance(L"Egyetlen", L"Egyetlen iroda");
    HKEY h;
    CString sablon = CString(kAppKey) + L"\\Sablon";
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, sablon, 0, NULL, 0, KEY_WRITE, NULL, &h, NULL), ERROR_SUCCESS);
    const wchar_t options[] = L"insertFields";
    RegSetValueExW(h, L"C:\\Sablonok\\Levél.docx", 0, REG_SZ, (const BYTE*)options, sizeof(options));
    RegCloseKey(h);

    EXPECT_EQ(Run(L""), 0u);
    EXPECT_FALSE(HasLine(LogTexts(L"DefaultInstance"), L"Show SelectInstance popup"));
    EXPECT_EQ(Value(L"", L"LastRun"), L"Egyetlen");
    EXPECT_EQ(Value(L"Sablon", L"C:\\Sablonok\\Levél.docx"), L"insertFields");
    EXPECT_EQ(Value(L"Sablon", L""), L"") << "no instance name written into the template key";
}

// ---------------------------------------------------------------------------
// Online or offline

TEST_F(StartupTest, OnlineWithTheServerUpLoadsTheCentralCases)
{
    CentralCases(3);
    EXPECT_EQ(Run(L"Iroda"), 0u);
    auto log = LogTexts(L"Iroda");
    EXPECT_TRUE(HasLine(log, L"Load from database 3"));
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(sawMainWindow);
    EXPECT_EQ(Number(L"Iroda", L"Online"), 1u);
    // Closing the main window while online rewrites the local backup.
    EXPECT_TRUE(HasLine(log, L"Create backup "));
    EXPECT_EQ(log.back(), L"Exit instance");
}

TEST_F(StartupTest, OnlineWithTheServerDownOffersTheBackup)
{
    // "&Megszakít" ends the program although the backup's cases were loaded.
    struct Case {
        int button;
        DWORD wantOnline;
        bool loaded;
        bool mainWindow;
    } cases[] = {{11, 0, true, true}, {3, 1, true, false}}; // "&Tovább", "&Megszakít"
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        Clean();
        shown.clear();
        sawMainWindow = false;
        server.Reset();
        server.SetDown(true);
        BackupCases(L"Iroda", 2);
        EXPECT_EQ(Run(L"Iroda", {{kCentralCaption, Answer{{c.button}}}}), 0u);
        EXPECT_EQ(shown, std::vector<std::wstring>{kCentralCaption});
        auto log = LogTexts(L"Iroda");
        EXPECT_TRUE(HasLine(log, L"Load from database failed!"));
        std::wstring loaded = L"Load from backup " + std::wstring(DataFolderPath(L"Iroda")) + L"Folionex.bkp 2";
        EXPECT_EQ(HasLine(log, loaded), c.loaded);
        EXPECT_EQ(sawMainWindow, c.mainWindow);
        EXPECT_EQ(Number(L"Iroda", L"Online"), c.wantOnline);
        EXPECT_EQ(log.back(), L"Exit instance");
    }
}

TEST_F(StartupTest, OfflineWarnsUnlessToldNotTo)
{
    // First start: the warning, its check box ticked; the second start is silent.
    BackupCases(L"Iroda", 2);
    SetValue(L"Iroda", L"Online", 0);
    EXPECT_EQ(Run(L"Iroda", {{kOfflineCaption, Answer{{5555, IDOK}}}}), 0u);
    EXPECT_EQ(shown, std::vector<std::wstring>{kOfflineCaption});
    EXPECT_EQ(Number(L"Iroda", L"ShowWarningOffline"), 0u);
    EXPECT_TRUE(HasLine(LogTexts(L"Iroda"), L"Load from backup "));

    shown.clear();
    EXPECT_EQ(Run(L"Iroda"), 0u);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(Number(L"Iroda", L"Online"), 0u);
}

TEST_F(StartupTest, NoSourceAtAllOffersConnectDownloadExit)
{
    server.SetDown(true);
    EXPECT_EQ(Run(L"Iroda", {{kCentralCaption, Answer{{IDCANCEL}}}}), 0u); // "Kilép"
    EXPECT_EQ(shown, std::vector<std::wstring>{kCentralCaption});
    auto log = LogTexts(L"Iroda");
    EXPECT_TRUE(HasLine(log, L"Load from backup failed!"));
    EXPECT_EQ(log.back(), L"Exit instance");
    EXPECT_EQ(Number(L"Iroda", L"Online"), 1u);
}

TEST_F(StartupTest, AStartUpBoxEndedWithoutAnAnswerChangesNoValue)
{
    // The program is told to quit while the box is open: the box answers -1,
    // which is neither "&Tovább" nor a ticked check box.
    struct Case {
        const wchar_t* caption;
        DWORD online;       // "Online" before the start
        const wchar_t* value;
        DWORD want;         // 0xDEAD: not written
    } cases[] = {
        {kCentralCaption, 1, L"Online", 1},                 // central database down, backup present
        {kOfflineCaption, 0, L"ShowWarningOffline", 0xDEAD}, // the offline warning
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CStringA(c.caption).GetString());
        Clean();
        shown.clear();
        server.Reset();
        server.SetDown(true);
        BackupCases(L"Iroda", 2);
        SetValue(L"Iroda", L"Online", c.online);
        Answer quit;
        quit.act = [](HWND box, DWORD) { PostThreadMessageW(GetWindowThreadProcessId(box, NULL), WM_QUIT, 0, 0); };
        EXPECT_NE(Run(L"Iroda", {{c.caption, quit}}), (DWORD)-1);
        EXPECT_EQ(shown, std::vector<std::wstring>{c.caption});
        EXPECT_EQ(Number(L"Iroda", c.value), c.want);
    }
}

TEST_F(StartupTest, OnlineWithNothingLoadedConnectsThroughTheWizardWhenTheServerIsBackUp)
{
    CentralCases(2);
    server.SetDown(true);
    Answer connect{{IDYES}}; // "Kapcsolódás", once the server is up again
    connect.act = [&](HWND, DWORD) { server.SetDown(false); };
    Answer wizard{{IDCANCEL}}; // the wizard left as it is: the central load follows
    const wchar_t kWizard[] = L"Adatbázis beállítása";
    EXPECT_EQ(Run(L"Iroda", {{kCentralCaption, connect}, {kWizard, wizard}}), 0u);
    EXPECT_EQ(shown, (std::vector<std::wstring>{kCentralCaption, kWizard}));
    EXPECT_TRUE(HasLine(LogTexts(L"Iroda"), L"Load from database 2"));
    EXPECT_TRUE(sawMainWindow);
    EXPECT_EQ(Number(L"Iroda", L"Online"), 1u);
}

TEST_F(StartupTest, OfflineWithoutBackupConnectsWhenTheServerIsThere)
{
    CentralCases(2);
    SetValue(L"Iroda", L"Online", 0);
    EXPECT_EQ(Run(L"Iroda", {{kOfflineCaption, Answer{{IDYES}}}}), 0u); // "Kapcsolódás"
    EXPECT_EQ(shown, std::vector<std::wstring>{kOfflineCaption});
    EXPECT_TRUE(HasLine(LogTexts(L"Iroda"), L"Load from database 2"));
    EXPECT_EQ(Number(L"Iroda", L"Online"), 1u);
}

TEST_F(StartupTest, DownloadEndsTheProgramWhileNoRestoreExists)
{
    server.SetDown(true);
    EXPECT_EQ(Run(L"Iroda", {{kCentralCaption, Answer{{IDNO}}}}), 0u); // "Letöltés"
    EXPECT_EQ(Number(L"Iroda", L"Online"), 0u) << "switched off before the restore runs";
    EXPECT_EQ(LogTexts(L"Iroda").back(), L"Exit instance");
}

TEST_F(StartupTest, OfflineWithoutBackupTheWizardCreatesTheMissingDatabase)
{
    SetValue(L"Iroda", L"Online", 0);
    Answer wizard;
    bool created = false, onward = false;
    wizard.act = [&](HWND w, DWORD pid) {
        // "Adatbázis létrehozása", the box, then "Tovább".
        PostMessageW(GetDlgItem(w, 1058), BM_CLICK, 0, 0);
        HWND box = WaitForProcessWindow(pid, L"Folionex");
        created = box != NULL;
        if (box)
            PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        onward = WaitForCaption(GetDlgItem(w, IDCANCEL), L"Tovább");
        PostMessageW(GetDlgItem(w, IDCANCEL), BM_CLICK, 0, 0);
    };
    const wchar_t kWizard[] = L"Adatbázis beállítása";
    EXPECT_EQ(Run(L"Iroda", {{kOfflineCaption, Answer{{IDYES}}},  // "Kapcsolódás"
                             {kCentralCaption, Answer{{11}}},     // "&Tovább" to the wizard
                             {kWizard, wizard}}),
              0u);
    EXPECT_EQ(shown, (std::vector<std::wstring>{kOfflineCaption, kCentralCaption, kWizard}));
    EXPECT_TRUE(created);
    EXPECT_TRUE(onward);
    EXPECT_TRUE(sawMainWindow);
    EXPECT_EQ(Number(L"Iroda", L"Online"), 1u);
    auto databases = server.Databases();
    EXPECT_EQ(databases.back(), L"Folionex");
    auto log = LogTexts(L"Iroda");
    EXPECT_TRUE(HasLine(log, L"Load from database 0"));
    EXPECT_EQ(log.back(), L"Exit instance");
}

// Working offline with nothing to load, "Letöltés" first asks for the
// password of the backup, in the backup-mode dialog filled with the stored one.
TEST_F(StartupTest, OfflineDownloadAsksForThePasswordFirst)
{
    const wchar_t kDialog[] = L"Online mentés titkosítása";
    const wchar_t kNoPassword[] =
        L"Nem adott meg jelszót, ezért a program kilép!\n\n"
        L"Ha mégis szeretné a mentést letölteni, vagy kapcsolódni\n"
        L"a központi adatbázishoz, akkor indítsa újra a programot!";
    const wchar_t kRestoreLine[] = L"Online restore into the backup file is not available";
    using namespace password_vectors;
    struct Case {
        const char* name;
        LPCWSTR stored;      // null: no value
        LPCWSTR typed;       // null: the field left as it opened
        int button;
        LPCWSTR prefill;
        bool noPassword;     // the program ends with the message
        LPCWSTR storedAfter; // "-": still no value
    } cases[] = {
        {"none stored, Elvet", nullptr, nullptr, IDCANCEL, L"", true, L"-"},
        {"stored, OK", kOldLetters, nullptr, IDOK, kOld, false, kOldLetters},
        {"typed, OK", nullptr, kNew, IDOK, L"", false, kNewLetters},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Clean();
        shown.clear();
        sawMainWindow = false;
        SetValue(L"Iroda", L"Online", 0);
        if (c.stored) {
            HKEY h;
            ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, CString(kAppKey) + L"\\Iroda", 0, NULL, 0, KEY_WRITE, NULL,
                                      &h, NULL), ERROR_SUCCESS);
            RegSetValueExW(h, L"OMPassword", 0, REG_SZ, (const BYTE*)c.stored, (DWORD)(wcslen(c.stored) + 1) * 2);
            RegCloseKey(h);
        }
        std::wstring prefill = L"(not shown)";
        std::vector<std::wstring> messageTexts;
        Answer dialog;
        dialog.act = [&](HWND dlg, DWORD pid) {
            // "?" shows what the password field holds.
            PostMessageW(GetDlgItem(dlg, 1123), BM_CLICK, 0, 0);
            HWND box = WaitForProcessWindow(pid, L"A megadott jelszó");
            if (box) {
                prefill.clear();
                for (const auto& t : ChildTexts(box, L"Static"))
                    prefill += t;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                for (DWORD start = GetTickCount(); IsWindowVisible(box) && GetTickCount() - start < 10000;)
                    Sleep(20);
            }
            if (c.typed)
                SendMessageW(GetDlgItem(dlg, 1063), WM_SETTEXT, 0, (LPARAM)c.typed);
            PostMessageW(GetDlgItem(dlg, c.button), BM_CLICK, 0, 0);
        };
        Answer message;
        message.act = [&](HWND box, DWORD) {
            messageTexts = ChildTexts(box, L"Static");
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        };
        EXPECT_EQ(Run(L"Iroda", {{kOfflineCaption, Answer{{IDNO}}}, {kDialog, dialog}, {L"Folionex", message}}), 0u);
        std::vector<std::wstring> wantShown = {kOfflineCaption, kDialog};
        if (c.noPassword)
            wantShown.push_back(L"Folionex");
        EXPECT_EQ(shown, wantShown);
        EXPECT_EQ(prefill, c.prefill);
        if (c.noPassword) {
            EXPECT_NE(std::find(messageTexts.begin(), messageTexts.end(), kNoPassword), messageTexts.end());
        }
        auto log = LogTexts(L"Iroda");
        EXPECT_EQ(HasLine(log, kRestoreLine), !c.noPassword) << "the restore runs only with a password";
        EXPECT_EQ(log.back(), L"Exit instance");
        CString stored;
        if (!ReadRegString(HKEY_CURRENT_USER, CString(kAppKey) + L"\\Iroda", L"OMPassword", stored))
            stored = L"-";
        EXPECT_EQ(stored, c.storedAfter);
        EXPECT_FALSE(sawMainWindow);
    }
}

// ---------------------------------------------------------------------------
// The background worker at exit, against the web-service stand-in (run as
// ctest's startup_worker_test, which holds the stand-in's ports)

class StartupWorkerTest : public StartupTest
{
protected:
    void SetUp() override
    {
        StartupTest::SetUp();
        ASSERT_TRUE(StandIn(L"/_control/reset")) << "the web-service stand-in does not answer on 127.0.0.1:80";
    }
    void TearDown() override
    {
        StandIn(L"/_control/reset");
        StartupTest::TearDown();
    }

    void SetText(LPCWSTR key, LPCWSTR name, LPCWSTR text)
    {
        HKEY h;
        CString path = CString(kAppKey) + L"\\" + key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, NULL, 0, KEY_WRITE, NULL, &h, NULL), ERROR_SUCCESS);
        RegSetValueExW(h, name, 0, REG_SZ, (const BYTE*)text, (DWORD)(wcslen(text) + 1) * 2);
        RegCloseKey(h);
    }
};

// The update check hangs on a service that does not answer: closing the
// main window cuts it short, and the worker has ended before the program
// frees what it reads.
TEST_F(StartupWorkerTest, ClosingDuringAStalledCheckEndsWithinSeconds)
{
    ASSERT_TRUE(StandIn(L"/_control/fault", "path=/VApi/Check.aspx\nmode=stall\nafter=-1\nseconds=30\n"));
    CentralCases(2);
    SetText(L"Iroda", L"Server", L"http://127.0.0.1/");
    SetValue(L"Iroda", L"OMBackupFrequency", 0); // no reminder, no schedule
    readyToClose = [] {
        for (const StandInRequest& r : StandInRequests())
            if (r.path == "/VApi/Check.aspx")
                return true;
        return false;
    };
    EXPECT_EQ(Run(L"Iroda"), 0u);
    ASSERT_NE(closedAt, 0u) << "the update check never reached the service";
    ASSERT_NE(endedAt, 0u);
    EXPECT_LT(endedAt - closedAt, 10000u) << "the exit waited for the stalled service";
    auto log = LogTexts(L"Iroda");
    auto at = [&](const std::wstring& line) { return std::find(log.begin(), log.end(), line) - log.begin(); };
    EXPECT_LT(at(L"BackgroundProcess - CheckVersion"), at(L"Background process finished."));
    EXPECT_LT(at(L"Background process finished."), at(L"Exit instance"));
    EXPECT_EQ(log.back(), L"Exit instance");
}

} // namespace
