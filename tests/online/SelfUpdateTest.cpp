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
#include "online/BackgroundProcess.h"
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
const wchar_t kServer[] = L"http://127.0.0.1/";
const wchar_t kSecureServer[] = L"https://127.0.0.1/";
const wchar_t kCheckUrl[] = L"http://127.0.0.1/VApi/Check.aspx";
const wchar_t kSecureCheckUrl[] = L"https://127.0.0.1/VApi/Check.aspx";
const wchar_t kRefusedText[] =
    L"A letöltött telepítő program hitelessége nem ellenőrizhető, ezért nem indítom el.\n\n"
    L"Kérem, telepítse a frissítést a program készítőjének honlapjáról!";
const wchar_t kQuestionCaption[] = L"Frissítés";
const wchar_t kDialogTitle[] = L"Program frissítése";

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
        settings.WriteProfileString(L"Server", kServer);
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
        CSelfUpdate::s_pfnStage = NULL;
        KillTimer(mainWnd.GetSafeHwnd(), 100);
        SetEnvironmentVariableW(L"FOLIONEX_TEST_MARKER", NULL);
        AfxGetApp()->m_pMainWnd = NULL;
        DestroyWindow(mainWnd.Detach());
        StandIn(L"/_control/reset");
        ResetProfile();
    }

    // The stand-in offers the file as the installer ("size" overrides the
    // announced length).
    void Offer(LPCWSTR file, int size = -1) { ASSERT_TRUE(StandInOfferUpdate(file, size)); }
    int Length(LPCWSTR file) { return (int)ReadFileBytes(file).size(); }

    // Runs the task on this thread (or what runs it: run) while the script
    // answers the question with Yes and acts on the download dialog.
    int RunYes(int length, const std::function<void(HWND)>& onDialog, LPCWSTR url = kUrl,
               LPCWSTR checkUrl = kCheckUrl, const std::function<int()>& run = nullptr)
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
        result = run ? run() : (new CSelfUpdate(url, length, &mainWnd, checkUrl))->Run();
        EXPECT_FALSE(driver.Join()) << "the dialogs did not end as the script meant";
        return result;
    }

    // Whether the main window's timer 100 (the next background worker) was
    // set; the timer is killed again.
    bool WorkerTimerSet()
    {
        bool timer = false;
        WaitUntil([&] {
            MSG msg;
            while (PeekMessageW(&msg, mainWnd.GetSafeHwnd(), WM_TIMER, WM_TIMER, PM_REMOVE))
                timer = timer || msg.wParam == 100;
            return timer;
        }, 3000);
        KillTimer(mainWnd.GetSafeHwnd(), 100);
        return timer;
    }

    // Clicks through the end of a completed download: OK in the dialog,
    // and, when the installer is refused, OK in the refusal box, whose text
    // it checks.
    void FinishDownload(HWND dlg, bool refused, bool& refusedBox)
    {
        ASSERT_TRUE(WaitForButton(dlg, L"OK"));
        ClickId(dlg, IDCANCEL);
        if (!refused)
            return;
        HWND box = WaitForWindow(L"#32770", kQuestionCaption, 10000);
        ASSERT_TRUE(box);
        refusedBox = ReadBox(box).text == kRefusedText;
        ClickId(box, IDOK);
    }

    // One of the signed copies of the stand-in installer.
    static CString SignedInstaller(const wchar_t* name)
    {
        CString file = ProgramFolder() + L"signed_installers\\" + name;
        EXPECT_TRUE(FileExists(file)) << "the signed installers are made by the ctest fixture installers";
        return file;
    }

    // What a refused installer leaves: nothing that ran, no file, the log line.
    void ExpectRefused(int result, bool refusedBox)
    {
        EXPECT_EQ(-3, result);
        EXPECT_TRUE(refusedBox);
        EXPECT_FALSE(FileExists(installerPath)) << "the refused installer was left behind";
        EXPECT_FALSE(FileExists(marker)) << "the refused installer ran";
        bool logged = false;
        for (const std::wstring& line : ReadLogTexts(logPath))
            logged = logged || line.find(L"SelfUpdate - installer refused: signature 0x") == 0;
        EXPECT_TRUE(logged);
        EXPECT_TRUE(WorkerTimerSet()) << "the worker does not go on after the refusal";
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
    EXPECT_TRUE(WorkerTimerSet());
    EXPECT_TRUE(StandInRequests().empty());
}

// An offer without a length names nothing that could be checked: nothing is
// downloaded, and the worker goes on as after No.
TEST_F(SelfUpdateTest, AnOfferWithoutALengthDownloadsNothing)
{
    Offer(source);
    for (int length : {0, -5}) {
        window_test::CMessageBoxCatcher catcher(IDYES);
        EXPECT_EQ(-2, (new CSelfUpdate(kUrl, length, &mainWnd))->Run());
        EXPECT_EQ(1u, catcher.boxes.size()) << "only the question";
        EXPECT_TRUE(WorkerTimerSet());
    }
    EXPECT_TRUE(StandInRequests().empty());
    EXPECT_FALSE(FileExists(installerPath));
}

TEST_F(SelfUpdateTest, YesDownloadsAndStartsTheInstallerQuoted)
{
    settings.WriteProfileString(L"Server", kSecureServer);
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
    }, kSecureUrl, kSecureCheckUrl);
    EXPECT_EQ(0, result);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(marker); }, 20000)) << "the installer did not run";
    std::wstring text = FileText(marker);
    size_t lf = text.find(L'\n');
    ASSERT_NE(std::wstring::npos, lf);
    EXPECT_EQ(std::wstring(installerPath), text.substr(0, lf)) << "another program ran";
    EXPECT_EQ(L"\"" + std::wstring(installerPath) + L"\"", text.substr(lf + 1));
    EXPECT_TRUE(Logged(L"SelfUpdate - Start installer " + std::wstring(installerPath)));
    EXPECT_FALSE(WorkerTimerSet()) << "a started installer takes over";
}

// ---------------------------------------------------------------------------
// The file that was checked is the file that starts

// What the seam tried on the installer's file, and the errors it got.
struct SwapAttempt
{
    int stage = 0;
    CString path, impostor;
    DWORD replace = 0, renameAway = 0, write = 0, remove = 0;
    bool replaced = false;
};
SwapAttempt g_swap;

// Another program renames itself over the installer, and more.
void TrySwap(int stage, const CString& path)
{
    if (stage != g_swap.stage)
        return;
    CString copy = g_swap.impostor + L".copy";
    CopyFileW(g_swap.impostor, copy, FALSE);
    g_swap.replaced = MoveFileExW(copy, path, MOVEFILE_REPLACE_EXISTING) != FALSE;
    g_swap.replace = g_swap.replaced ? 0 : GetLastError();
    if (g_swap.replaced || stage != CSelfUpdate::STAGE_CHECKED)
        return;
    DeleteFileW(copy);
    CString away = path + L".away";
    if (MoveFileExW(path, away, 0))
        MoveFileExW(away, path, 0);
    else
        g_swap.renameAway = GetLastError();
    HANDLE h = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    else
        g_swap.write = GetLastError();
    g_swap.remove = DeleteFileW(path) ? 0 : GetLastError();
}

// The checked installer is held from its check to its start: a program that
// renames itself over it, moves it away, writes into it or deletes it fails
// with a sharing violation (replacing an open file is refused as a whole,
// which Windows and Wine report as access denied), and the verified file
// starts.
TEST_F(SelfUpdateTest, TheCheckedFileCannotBeSwappedBeforeItStarts)
{
    CString file = SignedInstaller(L"signed.exe");
    const std::string bytes = ReadFileBytes(file);
    g_swap = SwapAttempt();
    g_swap.stage = CSelfUpdate::STAGE_CHECKED;
    g_swap.impostor = SignedInstaller(L"unsigned.exe");
    CSelfUpdate::s_pfnStage = TrySwap;
    Offer(file);
    bool refusedBox = false;
    int result = RunYes(Length(file), [&](HWND dlg) { FinishDownload(dlg, false, refusedBox); });
    EXPECT_EQ(0, result);
    EXPECT_FALSE(g_swap.replaced) << "another program was put in the checked one's place";
    EXPECT_TRUE(g_swap.replace == ERROR_ACCESS_DENIED || g_swap.replace == ERROR_SHARING_VIOLATION)
        << g_swap.replace;
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, g_swap.renameAway);
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, g_swap.write);
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, g_swap.remove);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(marker); }, 20000)) << "the installer did not run";
    EXPECT_TRUE(ReadFileBytes(installerPath) == bytes) << "what started is not what was checked";
}

// Between the download and the check the file is not held yet: a program put
// in its place there is told apart from the bytes that came, and refused,
// however it came (here over HTTPS from "Server", where an unsigned
// installer may start).
TEST_F(SelfUpdateTest, AFileChangedAfterItsDownloadIsRefused)
{
    settings.WriteProfileString(L"Server", kSecureServer);
    g_swap = SwapAttempt();
    g_swap.stage = CSelfUpdate::STAGE_DOWNLOADED;
    g_swap.impostor = planted; // the same size, another file
    std::string impostor = ReadFileBytes(planted);
    impostor[impostor.size() - 1] ^= 1;
    ASSERT_TRUE(WriteFileBytes(planted, impostor));
    CSelfUpdate::s_pfnStage = TrySwap;
    Offer(source);
    bool refusedBox = false;
    int result = RunYes(Length(source), [&](HWND dlg) { FinishDownload(dlg, true, refusedBox); }, kSecureUrl,
                        kSecureCheckUrl);
    EXPECT_TRUE(g_swap.replaced) << "the file is held before its check";
    ExpectRefused(result, refusedBox);
    EXPECT_TRUE(Logged(L"SelfUpdate - the installer's file is not what was downloaded"));
}

struct RefusedCase
{
    const char* name;
    const char* fault;  // the stand-in's fault on the installer, or null
    int lengthDelta;    // announced length minus the file's
    bool cancel;        // the user cancels the download
    LPCWSTR button;     // the dialog's button when the download has ended
    LPCWSTR url;        // asked for
    const char* moved;  // /_test/moved redirects there, or null
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
    if (c.moved) {
        ASSERT_TRUE(StandInRedirect("/_test/moved", c.moved));
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
        ASSERT_TRUE(WaitForButton(dlg, c.button));
        ClickId(dlg, IDCANCEL);
    }, c.url, kSecureCheckUrl);
    EXPECT_EQ(-2, result);
    EXPECT_FALSE(FileExists(installerPath)) << "the refused download was left behind";
    EXPECT_FALSE(FileExists(marker)) << "a program ran";
    EXPECT_FALSE(Logged(L"SelfUpdate - Start installer " + std::wstring(installerPath)));
    EXPECT_TRUE(WorkerTimerSet()) << "the worker does not go on after the failed download";
}

const RefusedCase kRefusedCases[] = {
    {"CancelledWhileStalled", "path=/Files/Folionex_Setup.exe\nmode=stall\nafter=100\nseconds=30\n", 0, true,
     NULL, kUrl, NULL},
    {"CutBody", "path=/Files/Folionex_Setup.exe\nmode=cut\nafter=100\n", 0, false, L"Kilép", kUrl, NULL},
    {"NotFound", "path=/Files/Folionex_Setup.exe\nmode=status\nstatus=404\n", 0, false, L"Kilép", kUrl, NULL},
    {"LongerAnnounced", NULL, 10, false, L"OK", kUrl, NULL},
    // The body passes the announced length: refused as it comes.
    {"ShorterAnnounced", NULL, -10, false, L"Kilép", kUrl, NULL},
    {"EndlessBody", "path=/Files/Folionex_Setup.exe\nmode=endless\n", 0, false, L"Kilép", kUrl, NULL},
    {"EndlessBodyOverHttps", "path=/Files/Folionex_Setup.exe\nmode=endless\n", 0, false, L"Kilép", kSecureUrl,
     NULL},
    // HTTPS that the server sends on to plain HTTP is no download.
    {"RedirectedFromHttpsToHttp", NULL, 0, false, L"Kilép", L"https://127.0.0.1/_test/moved",
     "http://127.0.0.1/Files/Folionex_Setup.exe"},
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

// The way an installer came: "Server", the address the update check's answer
// came from, the download's address (and where /_test/moved sends it).
struct Route
{
    LPCWSTR server;
    LPCWSTR checkUrl;
    LPCWSTR url;
    const char* moved;
};

const Route kPlain = {kServer, kCheckUrl, kUrl, NULL};
const Route kSecure = {kSecureServer, kSecureCheckUrl, kSecureUrl, NULL};
// A check answered over plain HTTP names an HTTPS address on another host
// with a valid certificate.
const Route kForgedCheck = {kServer, kCheckUrl, L"https://127.0.0.2/Files/Folionex_Setup.exe", NULL};
const Route kForgedCheckSameHost = {kServer, kCheckUrl, kSecureUrl, NULL};
const Route kOtherHost = {kSecureServer, kSecureCheckUrl, L"https://127.0.0.2/Files/Folionex_Setup.exe", NULL};
const Route kMovedToOtherHost = {kSecureServer, kSecureCheckUrl, L"https://127.0.0.1/_test/moved",
                                 "https://127.0.0.2/Files/Folionex_Setup.exe"};
const Route kCheckFromOtherHost = {kSecureServer, L"https://127.0.0.2/VApi/Check.aspx", kSecureUrl, NULL};

struct TrustCase
{
    const char* name;
    const wchar_t* file; // of the signed copies
    Route route;
    bool started;
};

class SelfUpdateTrustTest : public SelfUpdateTest, public ::testing::WithParamInterface<TrustCase>
{
};

TEST_P(SelfUpdateTrustTest, StartsOnlyATrustedInstaller)
{
    const TrustCase& c = GetParam();
    CString file = SignedInstaller(c.file);
    settings.WriteProfileString(L"Server", c.route.server);
    Offer(file);
    if (c.route.moved) {
        ASSERT_TRUE(StandInRedirect("/_test/moved", c.route.moved));
    }
    bool refusedBox = false;
    int result = RunYes(Length(file), [&](HWND dlg) { FinishDownload(dlg, !c.started, refusedBox); }, c.route.url,
                        c.route.checkUrl);
    LONG verdict = CSelfUpdate::VerifyInstaller(file);
    if (c.started) {
        EXPECT_EQ(0, result) << "signature 0x" << std::hex << verdict;
        EXPECT_TRUE(WaitUntil([&] { return FileExists(marker); }, 20000)) << "the installer did not run";
    } else {
        SCOPED_TRACE(testing::Message() << "signature 0x" << std::hex << verdict);
        ExpectRefused(result, refusedBox);
    }
}

const TrustCase kTrustCases[] = {
    {"SignedOverHttp", L"signed.exe", kPlain, true},
    {"SignedOverHttps", L"signed.exe", kSecure, true},
    {"SignedFromAnotherHostAfterAForgedCheck", L"signed.exe", kForgedCheck, true},
    {"TamperedOverHttp", L"tampered.exe", kPlain, false},
    {"TamperedOverHttps", L"tampered.exe", kSecure, false},
    {"UntrustedAuthority", L"untrusted.exe", kPlain, false},
    {"UntrustedAuthorityOverHttps", L"untrusted.exe", kSecure, false},
    {"SelfSigned", L"selfsigned.exe", kPlain, false},
    {"SelfSignedOverHttps", L"selfsigned.exe", kSecure, false},
    {"ExpiredWithoutTimestamp", L"expired.exe", kPlain, false},
    {"ExpiredWithoutTimestampOverHttps", L"expired.exe", kSecure, false},
    {"UnsignedOverHttpsFromServer", L"unsigned.exe", kSecure, true},
    {"UnsignedOverHttp", L"unsigned.exe", kPlain, false},
    {"UnsignedAfterAForgedCheck", L"unsigned.exe", kForgedCheck, false},
    {"UnsignedAfterAForgedCheckFromServersHost", L"unsigned.exe", kForgedCheckSameHost, false},
    {"UnsignedFromAnotherHost", L"unsigned.exe", kOtherHost, false},
    {"UnsignedRedirectedToAnotherHost", L"unsigned.exe", kMovedToOtherHost, false},
    {"UnsignedNamedByACheckFromAnotherHost", L"unsigned.exe", kCheckFromOtherHost, false},
};

INSTANTIATE_TEST_SUITE_P(Installers, SelfUpdateTrustTest, ::testing::ValuesIn(kTrustCases),
                         [](const ::testing::TestParamInfo<TrustCase>& info) { return info.param.name; });

// The whole way from the update check's own request: the task it queues
// knows where the check's answer came from, and a check answered over plain
// HTTP (or from another host) can name no unsigned installer that starts.
struct ChainCase
{
    const char* name;
    LPCWSTR server;
    bool checkMoved; // the check is sent on to another host, which answers
    const char* downloadUrl;
    const wchar_t* file;
    bool started;
};

class SelfUpdateChainTest : public SelfUpdateTest, public ::testing::WithParamInterface<ChainCase>
{
};

TEST_P(SelfUpdateChainTest, TheCheckThatNamedTheInstallerCounts)
{
    const ChainCase& c = GetParam();
    CString file = SignedInstaller(c.file);
    settings.WriteProfileString(L"Server", c.server);
    Offer(file);
    std::string offer = std::string("Cmd=SelfUpdate\nDownloadUrl=") + c.downloadUrl +
                        "\nDownloadLength=" + std::to_string(Length(file)) + "\n";
    if (c.checkMoved) {
        ASSERT_TRUE(StandInRedirect("/VApi/Check.aspx", "https://127.0.0.2/_test/offer"));
        ASSERT_TRUE(StandIn(L"/_control/reply", "path=/_test/offer\n\n" + offer));
    } else {
        ASSERT_TRUE(StandIn(L"/_control/reply", "path=/VApi/Check.aspx\n\n" + offer));
    }
    BackgroundProcess::SetCheckVersionCalls(0);
    {
        BackgroundProcess worker;
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(WaitUntil([&] { return worker.GetState() == BackgroundProcess::STATE_FINISHED; }, 30000));
    }
    bool refusedBox = false;
    RunYes(Length(file), [&](HWND dlg) { FinishDownload(dlg, !c.started, refusedBox); }, NULL, NULL, [&] {
        settings.RunPendingTask();
        return 0;
    });
    if (c.started) {
        EXPECT_TRUE(WaitUntil([&] { return FileExists(marker); }, 20000)) << "the installer did not run";
    } else {
        EXPECT_TRUE(refusedBox);
        EXPECT_FALSE(FileExists(marker)) << "the refused installer ran";
        EXPECT_FALSE(FileExists(installerPath));
    }
}

const ChainCase kChainCases[] = {
    {"HttpCheckNamesHttpsElsewhere", kServer, false, "https://127.0.0.2/Files/Folionex_Setup.exe", L"unsigned.exe",
     false},
    {"HttpCheckNamesHttpsOnServersHost", kServer, false, "https://127.0.0.1/Files/Folionex_Setup.exe",
     L"unsigned.exe", false},
    {"HttpsCheckNamesHttpsOnServer", kSecureServer, false, "https://127.0.0.1/Files/Folionex_Setup.exe",
     L"unsigned.exe", true},
    {"HttpsCheckNamesHttpsElsewhere", kSecureServer, false, "https://127.0.0.2/Files/Folionex_Setup.exe",
     L"unsigned.exe", false},
    {"HttpsCheckAnsweredElsewhere", kSecureServer, true, "https://127.0.0.1/Files/Folionex_Setup.exe",
     L"unsigned.exe", false},
    {"HttpCheckNamesASignedInstallerElsewhere", kServer, false, "http://127.0.0.2/Files/Folionex_Setup.exe",
     L"signed.exe", true},
};

INSTANTIATE_TEST_SUITE_P(Checks, SelfUpdateChainTest, ::testing::ValuesIn(kChainCases),
                         [](const ::testing::TestParamInfo<ChainCase>& info) { return info.param.name; });

TEST(SelfUpdateRule, AcceptsAVerifiedSignatureOrNoneOverHttpsFromServer)
{
    const wchar_t* s = L"https://x/";
    const wchar_t* c = L"https://x/VApi/Check.aspx";
    const wchar_t* d = L"https://x/a.exe";
    struct
    {
        LONG verdict;
        const wchar_t *server, *check, *download, *final;
        bool start;
    } cases[] = {
        {ERROR_SUCCESS, L"http://x/", L"http://x/VApi/Check.aspx", L"http://y/a.exe", L"http://y/a.exe", true},
        {ERROR_SUCCESS, NULL, NULL, NULL, NULL, true},
        {TRUST_E_NOSIGNATURE, s, c, d, d, true},
        {TRUST_E_NOSIGNATURE, s, c, d, L"https://X/a.exe", true}, // host names are not case-sensitive
        {TRUST_E_NOSIGNATURE, s, c, d, L"https://x:443/a.exe", true},
        {TRUST_E_NOSIGNATURE, L"http://x/", L"http://x/VApi/Check.aspx", d, d, false},
        {TRUST_E_NOSIGNATURE, s, L"http://x/VApi/Check.aspx", d, d, false},
        {TRUST_E_NOSIGNATURE, s, L"https://y/VApi/Check.aspx", d, d, false},
        {TRUST_E_NOSIGNATURE, s, c, L"http://x/a.exe", d, false},
        {TRUST_E_NOSIGNATURE, s, c, L"HTTPS://x/a.exe", d, false}, // the client takes it for plain HTTP
        {TRUST_E_NOSIGNATURE, s, c, L"https://y/a.exe", L"https://y/a.exe", false},
        {TRUST_E_NOSIGNATURE, s, c, d, L"https://y/a.exe", false},
        {TRUST_E_NOSIGNATURE, s, c, d, L"http://x/a.exe", false},
        {TRUST_E_NOSIGNATURE, s, c, d, L"https://x:8443/a.exe", false},
        {TRUST_E_NOSIGNATURE, s, c, d, L"", false},
        {TRUST_E_NOSIGNATURE, s, c, d, NULL, false},
        {TRUST_E_NOSIGNATURE, s, NULL, d, d, false},
        {TRUST_E_NOSIGNATURE, NULL, c, d, d, false},
        {TRUST_E_NOSIGNATURE, L"https:///", L"https:///VApi/Check.aspx", L"https:///a.exe", L"https:///a.exe",
         false},
        {(LONG)TRUST_E_BAD_DIGEST, s, c, d, d, false},
        {(LONG)CERT_E_UNTRUSTEDROOT, s, c, d, d, false},
        {(LONG)CERT_E_EXPIRED, s, c, d, d, false},
        {(LONG)CERT_E_CHAINING, s, c, d, d, false},
        {(LONG)TRUST_E_SUBJECT_FORM_UNKNOWN, s, c, d, d, false},
    };
    auto text = [](const wchar_t* w) { return w ? std::string(CStringA(w).GetString()) : std::string("(none)"); };
    for (const auto& t : cases)
        EXPECT_EQ(t.start, CSelfUpdate::MayStart(t.verdict, t.server, t.check, t.download, t.final))
            << std::hex << t.verdict << " " << text(t.server) << " " << text(t.check) << " " << text(t.download)
            << " " << text(t.final);
}

} // namespace
