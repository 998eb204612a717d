// The self-update as a user meets it, against the web-service stand-in: the
// question, the download dialog, the start of the downloaded installer (a
// stand-in installer that writes its path and command line to a marker
// file), and the downloads that must start nothing.
#include <gtest/gtest.h>
#include <windows.h>
#include <wintrust.h>
#include "afxapp.h"
#include "foundation/AppSettings.h"
#include "foundation/Conversions.h"
#include "foundation/Log.h"
#include "online/SelfUpdate.h"
#include "support/TestSupport.h"
#include "support/WebServiceControl.h"
#include "support/WindowDriver.h"
#include "TempFolder.h"
#include "../afx/WindowTestSupport.h"

namespace {

using namespace testing_support;

const wchar_t kKey[] = L"SelfUpdateTest";
const wchar_t kUrl[] = L"http://127.0.0.1/Files/Folionex_Setup.exe";
const wchar_t kSecureUrl[] = L"https://127.0.0.1/Files/Folionex_Setup.exe";
const wchar_t kRefusedText[] =
    L"A letöltött telepítő program hitelessége nem ellenőrizhető, ezért nem indítom el.\n\n"
    L"Kérem, telepítse a frissítést a program készítőjének honlapjáról!";
const wchar_t kQuestionCaption[] = L"Frissítés";
const wchar_t kDialogTitle[] = L"Program frissítése";

// The file's path as the stand-in (a program of the host) sees it.
std::string HostPath(LPCWSTR path)
{
    typedef char*(CDECL * UnixName)(LPCWSTR);
    UnixName toUnix = (UnixName)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (!toUnix)
        return std::string();
    char* name = toUnix(path);
    std::string result = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

std::wstring FileText(LPCWSTR path)
{
    std::string bytes = ReadFileBytes(path);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

class SelfUpdateTest : public ::testing::Test
{
protected:
    SelfUpdateTest() : folder(L"SelfUpdate") {}

    void SetUp() override
    {
        window_test::InitOnce();
        ResetProfile();
        ASSERT_TRUE(StandIn(L"/_control/reset")) << "the web-service stand-in does not answer on 127.0.0.1:80";
        settings.SetInstanceKey(kKey);
        LogResetPath();
        logPath = DataFolderPath(kKey) + CAppSettings::GetExeBaseName() + L".log";
        DeleteFileW(logPath);
        // A download cache whose path has a blank, and a program named after
        // the part of the path before it.
        cache = folder / L"Letöltött fájlok\\";
        ASSERT_TRUE(CreateDirectoryW(cache, NULL));
        settings.WriteProfileString(L"DownloadCache", cache);
        installerPath = cache + L"Folionex_Setup.exe";
        source = ProgramFolder() + L"test_installer.exe";
        ASSERT_TRUE(FileExists(source));
        planted = folder / L"Letöltött.exe";
        ASSERT_TRUE(CopyFileW(source, planted, FALSE));
        marker = folder / L"marker.txt";
        SetEnvironmentVariableW(L"FOLIONEX_TEST_MARKER", marker);
        HWND hwnd = CreateWindowExW(0, window_test::kPlainWindowClass, L"Főablak", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                    0, 0, 300, 200, NULL, NULL, NULL, NULL);
        ASSERT_TRUE(hwnd);
        mainWnd.Attach(hwnd);
        AfxGetApp()->m_pMainWnd = &mainWnd;
    }
    void TearDown() override
    {
        CSelfUpdate::s_pfnCreateProcess = CreateProcessW;
        CSelfUpdate::s_pfnShellExecute = ShellExecuteW;
        SetEnvironmentVariableW(L"FOLIONEX_TEST_MARKER", NULL);
        AfxGetApp()->m_pMainWnd = NULL;
        DestroyWindow(mainWnd.Detach());
        StandIn(L"/_control/reset");
        ResetProfile();
    }

    // The stand-in offers the file as the installer ("size" overrides the
    // announced length).
    void Offer(LPCWSTR file, int size = -1)
    {
        std::string body = "version=9.9\nfile=" + HostPath(file) + "\n";
        if (size >= 0)
            body += "size=" + std::to_string(size) + "\n";
        ASSERT_TRUE(StandIn(L"/_control/update", body));
    }
    int Length(LPCWSTR file) { return (int)ReadFileBytes(file).size(); }

    // Runs the task on this thread while the script answers the question
    // with Yes and acts on the download dialog.
    int RunYes(int length, const std::function<void(HWND)>& onDialog, LPCWSTR url = kUrl)
    {
        int result = 99;
        window_test::CWatchdog watchdog(120000);
        CWindowDriver driver([&] {
            HWND box = WaitForWindow(L"#32770", kQuestionCaption, 10000);
            ASSERT_TRUE(box);
            EXPECT_EQ(CString(L"A jelenleg használt verziónál újabb program került kiadásra.\n\n"
                              L"Letöltsem és telepítsem a frissített verziót?"),
                      ReadBox(box).text);
            ClickId(box, IDYES);
            HWND dlg = WaitForWindow(L"#32770", kDialogTitle, 10000);
            ASSERT_TRUE(dlg);
            onDialog(dlg);
        });
        result = (new CSelfUpdate(url, length, &mainWnd))->Run();
        EXPECT_FALSE(driver.Join()) << "the dialogs did not end as the script meant";
        return result;
    }

    bool WaitForButton(HWND dlg, LPCWSTR caption)
    {
        return WaitUntil([&] { return Text(Control(dlg, IDCANCEL)) == caption; }, 30000);
    }

    bool Logged(const std::wstring& line)
    {
        for (const std::wstring& l : ReadLogTexts(logPath))
            if (l == line)
                return true;
        return false;
    }

    CAppSettings settings;
    CWnd mainWnd;
    CTempFolder folder;
    CString cache, installerPath, source, planted, marker, logPath;
};

TEST_F(SelfUpdateTest, NoReleasesTheTaskAndRestartsTheWorkerTimer)
{
    window_test::CMessageBoxCatcher catcher(IDNO);
    EXPECT_EQ(0, (new CSelfUpdate(kUrl, 10, &mainWnd))->Run());
    ASSERT_EQ(1u, catcher.boxes.size());
    EXPECT_EQ(CString(kQuestionCaption), catcher.boxes[0].caption);
    bool timer = false;
    EXPECT_TRUE(WaitUntil([&] {
        MSG msg;
        while (PeekMessageW(&msg, mainWnd.GetSafeHwnd(), WM_TIMER, WM_TIMER, PM_REMOVE))
            timer = timer || msg.wParam == 100;
        return timer;
    }, 5000));
    KillTimer(mainWnd.GetSafeHwnd(), 100);
    EXPECT_TRUE(StandInRequests().empty());
}

TEST_F(SelfUpdateTest, YesDownloadsAndStartsTheInstallerQuoted)
{
    Offer(source);
    int length = Length(source);
    int result = RunYes(length, [&](HWND dlg) {
        ASSERT_TRUE(WaitForButton(dlg, L"OK"));
        EXPECT_TRUE(ControlByText(dlg, L"A letöltés sikeresen befejeződött!"));
        EXPECT_TRUE(ControlByText(dlg, L"Kattintson az OK gombra a frissítés folytatásához!"));
        wchar_t shots[MAX_PATH] = {0};
        if (GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", shots, MAX_PATH)) {
            RedrawWindow(dlg, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            SendMessageW(dlg, WM_NULL, 0, 0);
            EXPECT_TRUE(SaveWindowBitmap(dlg, CString(shots) + L"\\self-update.png"));
        }
        ClickId(dlg, IDCANCEL);
    }, kSecureUrl);
    EXPECT_EQ(0, result);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(marker); }, 20000)) << "the installer did not run";
    std::wstring text = FileText(marker);
    size_t lf = text.find(L'\n');
    ASSERT_NE(std::wstring::npos, lf);
    EXPECT_EQ(std::wstring(installerPath), text.substr(0, lf)) << "another program ran";
    EXPECT_EQ(L"\"" + std::wstring(installerPath) + L"\"", text.substr(lf + 1));
    EXPECT_TRUE(Logged(L"SelfUpdate - Start installer " + std::wstring(installerPath)));
}

struct RefusedCase
{
    const char* name;
    const char* fault; // the stand-in's fault on the installer, or null
    int lengthDelta;   // announced length minus the file's
    bool cancel;       // the user cancels the download
};

class SelfUpdateRefusedTest : public SelfUpdateTest, public ::testing::WithParamInterface<RefusedCase>
{
};

TEST_P(SelfUpdateRefusedTest, StartsNothingAndLeavesNoFile)
{
    const RefusedCase& c = GetParam();
    int length = Length(source);
    Offer(source, length + c.lengthDelta);
    if (c.fault) {
        ASSERT_TRUE(StandIn(L"/_control/fault", c.fault));
    }
    int result = RunYes(length + c.lengthDelta, [&](HWND dlg) {
        if (c.cancel) {
            ClickId(dlg, IDCANCEL);
            HWND confirm = WaitForWindow(L"#32770", L"Figyelmeztetés", 10000);
            ASSERT_TRUE(confirm);
            ClickId(confirm, IDYES);
            // An aborted download closes its dialog.
            EXPECT_TRUE(WaitForWindowGone(dlg, 10000));
            return;
        }
        ASSERT_TRUE(WaitForButton(dlg, c.lengthDelta ? L"OK" : L"Kilép"));
        ClickId(dlg, IDCANCEL);
    });
    EXPECT_EQ(-2, result);
    EXPECT_FALSE(FileExists(installerPath)) << "the refused download was left behind";
    EXPECT_FALSE(FileExists(marker)) << "a program ran";
    EXPECT_FALSE(Logged(L"SelfUpdate - Start installer " + std::wstring(installerPath)));
}

const RefusedCase kRefusedCases[] = {
    {"CancelledWhileStalled", "path=/Files/Folionex_Setup.exe\nmode=stall\nafter=100\nseconds=30\n", 0, true},
    {"CutBody", "path=/Files/Folionex_Setup.exe\nmode=cut\nafter=100\n", 0, false},
    {"NotFound", "path=/Files/Folionex_Setup.exe\nmode=status\nstatus=404\n", 0, false},
    {"LongerAnnounced", NULL, 10, false},
    {"ShorterAnnounced", NULL, -10, false},
};

INSTANTIATE_TEST_SUITE_P(Downloads, SelfUpdateRefusedTest, ::testing::ValuesIn(kRefusedCases),
                         [](const ::testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

// No elevation prompt exists under Wine: the start that needs it is played
// by a stand-in of CreateProcessW.
CString g_shellVerb, g_shellFile;
BOOL WINAPI NeedsElevation(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                           LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION)
{
    SetLastError(740);
    return FALSE;
}
HINSTANCE WINAPI RecordShell(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    g_shellVerb = verb;
    g_shellFile = file;
    return (HINSTANCE)42;
}
BOOL WINAPI NotFound(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                     LPSTARTUPINFOW, LPPROCESS_INFORMATION)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

TEST_F(SelfUpdateTest, ElevationGoesThroughTheShell)
{
    CSelfUpdate::s_pfnCreateProcess = NeedsElevation;
    CSelfUpdate::s_pfnShellExecute = RecordShell;
    g_shellVerb.Empty();
    EXPECT_EQ(-3, CSelfUpdate::StartInstaller(installerPath));
    EXPECT_EQ(CString(L"runas"), g_shellVerb);
    EXPECT_EQ(installerPath, g_shellFile);
    EXPECT_TRUE(Logged(L"SelfUpdate - CreateProcess error (740)"));

    CSelfUpdate::s_pfnCreateProcess = NotFound;
    g_shellVerb.Empty();
    EXPECT_EQ(-3, CSelfUpdate::StartInstaller(installerPath));
    EXPECT_TRUE(g_shellVerb.IsEmpty()) << "only elevation goes to the shell";
}

// ---------------------------------------------------------------------------
// Which installer starts

struct TrustCase
{
    const char* name;
    const wchar_t* file; // of the signed copies
    bool https;
    bool started;
};

class SelfUpdateTrustTest : public SelfUpdateTest, public ::testing::WithParamInterface<TrustCase>
{
};

TEST_P(SelfUpdateTrustTest, StartsOnlyATrustedInstaller)
{
    const TrustCase& c = GetParam();
    CString file = ProgramFolder() + L"signed_installers\\" + c.file;
    ASSERT_TRUE(FileExists(file)) << "the signed installers are made by the ctest fixture installers";
    if (!c.started && CSelfUpdate::VerifyInstaller(file) == ERROR_SUCCESS &&
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "Wine's WinVerifyTrust accepts this signature (it does not check that the root is trusted)";
    Offer(file);
    bool refusedBox = false;
    int result = RunYes(Length(file), [&](HWND dlg) {
        ASSERT_TRUE(WaitForButton(dlg, L"OK"));
        ClickId(dlg, IDCANCEL);
        if (!c.started) {
            HWND box = WaitForWindow(L"#32770", kQuestionCaption, 10000);
            ASSERT_TRUE(box);
            refusedBox = ReadBox(box).text == kRefusedText;
            ClickId(box, IDOK);
        }
    }, c.https ? kSecureUrl : kUrl);
    LONG verdict = CSelfUpdate::VerifyInstaller(file);
    if (c.started) {
        EXPECT_EQ(0, result) << "WinVerifyTrust 0x" << std::hex << verdict;
        EXPECT_TRUE(WaitUntil([&] { return FileExists(marker); }, 20000)) << "the installer did not run";
    } else {
        EXPECT_EQ(-3, result) << "WinVerifyTrust 0x" << std::hex << verdict;
        EXPECT_TRUE(refusedBox);
        EXPECT_FALSE(FileExists(installerPath)) << "the refused installer was left behind";
        EXPECT_FALSE(FileExists(marker)) << "the refused installer ran";
        bool logged = false;
        for (const std::wstring& line : ReadLogTexts(logPath))
            logged = logged || line.find(L"SelfUpdate - installer refused: WinVerifyTrust 0x") == 0;
        EXPECT_TRUE(logged);
    }
}

const TrustCase kTrustCases[] = {
    {"SignedOverHttp", L"signed.exe", false, true},
    {"SignedOverHttps", L"signed.exe", true, true},
    {"TamperedOverHttp", L"tampered.exe", false, false},
    {"TamperedOverHttps", L"tampered.exe", true, false},
    {"UntrustedAuthority", L"untrusted.exe", false, false},
    {"UntrustedAuthorityOverHttps", L"untrusted.exe", true, false},
    {"UnsignedOverHttps", L"unsigned.exe", true, true},
    {"UnsignedOverHttp", L"unsigned.exe", false, false},
};

INSTANTIATE_TEST_SUITE_P(Installers, SelfUpdateTrustTest, ::testing::ValuesIn(kTrustCases),
                         [](const ::testing::TestParamInfo<TrustCase>& info) { return info.param.name; });

TEST(SelfUpdateRule, AcceptsAVerifiedSignatureOrNoneOverHttps)
{
    struct
    {
        LONG verdict;
        const wchar_t* url;
        bool start;
    } cases[] = {
        {ERROR_SUCCESS, L"http://x/a.exe", true},
        {TRUST_E_NOSIGNATURE, L"https://x/a.exe", true},
        {TRUST_E_NOSIGNATURE, L"http://x/a.exe", false},
        {TRUST_E_NOSIGNATURE, L"HTTPS://x/a.exe", false}, // the client takes it for plain HTTP
        {TRUST_E_NOSIGNATURE, NULL, false},
        {(LONG)TRUST_E_BAD_DIGEST, L"https://x/a.exe", false},
        {(LONG)CERT_E_UNTRUSTEDROOT, L"https://x/a.exe", false},
        {(LONG)CERT_E_EXPIRED, L"https://x/a.exe", false},
        {(LONG)TRUST_E_SUBJECT_FORM_UNKNOWN, L"https://x/a.exe", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.start, CSelfUpdate::MayStart(c.verdict, c.url)) << std::hex << c.verdict;
}

} // namespace
