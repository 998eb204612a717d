// The backup password store of the settings object, the backup reminder and
// the backup-mode dialog, driven from a second thread as a user would. The
// stored "OMPassword" values are compared with letters computed apart from
// the program (PasswordVectors.h).
#include <gtest/gtest.h>
#include <functional>
#include "afxapp.h"
#include "foundation/AppSettings.h"
#include "online/OptionsPasswordDlg.h"
#include "PasswordVectors.h"
#include "resources/resource.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"
#include "../afx/WindowTestSupport.h"

namespace {

using namespace testing_support;
using namespace password_vectors;

const wchar_t kDialogCaption[] = L"Online mentés titkosítása";
const wchar_t kReminderCaption[] = L"On-line mentés beállítása";
const wchar_t kReminderText[] =
    L"Az on-line mentés paraméterei még nincsenek beállítva.\n\n"
    L"Kérjük, állítsa be ezeket, mert enélkül az adatiról nem készül biztonsági másolat!";
const wchar_t kSending[] = L"Az online mentések elküldésének gyakorisága:";
const wchar_t kReceiving[] = L"Az online mentések letöltésének gyakorisága:";

// Values that cannot be deciphered: four bytes, shorter than any container;
// a length field that promises more than the value holds; an odd letter;
// letters outside A to P and beyond ASCII.
const wchar_t kBroken[] = L"AAAAAAAA";
const wchar_t kPromisesMore[] = L"PPPPPPPPAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA";
const wchar_t kOddLetter[] = L"Z";
const wchar_t kForeign[] = L"zzzzzzzzÁÉŐŰ\x263A\x263Azzzzzzzzzzzzzzzzzzzzzzzzzzzzzz";

class BackupPasswordTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window_test::InitOnce();
        ResetProfile();
        settings.SetInstanceKey(L"PasswordTest");
        section = CString(L"Software\\Orvane\\") + AfxGetApp()->m_pszAppName + L"\\PasswordTest";
        HWND hwnd = CreateWindowExW(0, window_test::kPlainWindowClass, L"Főablak", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                    0, 0, 300, 200, NULL, NULL, NULL, NULL);
        ASSERT_TRUE(hwnd);
        mainWnd.Attach(hwnd);
        AfxGetApp()->m_pMainWnd = &mainWnd;
    }
    void TearDown() override
    {
        AfxGetApp()->m_pMainWnd = NULL;
        DestroyWindow(mainWnd.Detach());
        ResetProfile();
    }

    // The registry value as stored; "-" when it is missing.
    CString Stored(LPCWSTR name = L"OMPassword")
    {
        CString value;
        return ReadRegString(HKEY_CURRENT_USER, section, name, value) ? value : CString(L"-");
    }
    int Frequency()
    {
        DWORD value = 0;
        return ReadRegDword(HKEY_CURRENT_USER, section, L"OMBackupFrequency", value) ? (int)value : -99;
    }

    // Runs body on this (the UI) thread while script acts from the driver
    // thread; false when the watchdog had to end a modal loop.
    bool Drive(const std::function<void()>& body, const std::function<void()>& script)
    {
        window_test::CWatchdog watchdog(60000);
        CWindowDriver driver(script);
        body();
        return !driver.Join();
    }

    CAppSettings settings;
    CString section;
    CWnd mainWnd;
};

// Replaces the password field's text and waits until it shows.
void SetPassword(HWND dlg, LPCWSTR text)
{
    HWND edit = Control(dlg, IDC_OPW_PASSWORD);
    SetWindowTextW(edit, L"");
    TypeText(edit, text);
    EXPECT_TRUE(WaitUntil([&] { return Text(edit) == text; })) << CStringA(text).GetString();
}

// The password field's text as the "?" button shows it.
CString ShownPassword(HWND dlg)
{
    ClickId(dlg, IDC_OPW_SHOW_PASSWORD);
    HWND box = WaitForWindow(L"#32770", L"A megadott jelszó");
    if (!box)
        return L"(no box)";
    CString text = ReadBox(box).text;
    Click(Control(box, IDOK));
    WaitForWindowGone(box);
    return text;
}

// ---------------------------------------------------------------------------
// The password store

TEST_F(BackupPasswordTest, StoringWritesTheLettersOfTheProgramKey)
{
    settings.SetOnlineBackupPassword(kOld);
    EXPECT_EQ(Stored(), kOldLetters);
    settings.SetOnlineBackupPassword(L"");
    EXPECT_EQ(Stored(), L"") << "the empty password is the empty text";
}

TEST_F(BackupPasswordTest, GetAsksByModeAndStoresWhatOkConfirms)
{
    enum Action { kNoDialog, kCancel, kOkWithNew };
    struct Case {
        const char* name;
        LPCWSTR stored;     // null: no value
        int mode;
        Action action;
        LPCWSTR prefill;    // what the dialog shows first
        LPCWSTR result;
        LPCWSTR storedAfter; // "-": still no value
    } cases[] = {
        {"none, mode 0", nullptr, 0, kNoDialog, L"", L"", L"-"},
        {"none, mode 2, Elvet", nullptr, 2, kCancel, L"", L"", L"-"},
        {"none, mode 2, OK", nullptr, 2, kOkWithNew, L"", kNew, kNewLetters},
        {"stored, mode 0", kOldLetters, 0, kNoDialog, L"", kOld, kOldLetters},
        {"stored, mode 2", kOldLetters, 2, kNoDialog, L"", kOld, kOldLetters},
        {"stored, mode 1, OK", kOldLetters, 1, kOkWithNew, kOld, kNew, kNewLetters},
        {"stored, mode 1, Elvet", kOldLetters, 1, kCancel, kOld, kOld, kOldLetters},
        {"empty text, mode 2 asks again", L"", 2, kCancel, L"", L"", L""},
        {"undeciphered, mode 0", kBroken, 0, kNoDialog, L"", L"", kBroken},
        {"undeciphered, mode 2 does not ask", kBroken, 2, kNoDialog, L"", L"", kBroken},
        {"undeciphered, mode 1", kBroken, 1, kOkWithNew, L"", kNew, kNewLetters},
        {"length past the end, mode 2", kPromisesMore, 2, kNoDialog, L"", L"", kPromisesMore},
        {"odd letter, mode 2", kOddLetter, 2, kNoDialog, L"", L"", kOddLetter},
        {"foreign letters, mode 1", kForeign, 1, kCancel, L"", L"", kForeign},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetProfile();
        if (c.stored)
            settings.WriteProfileString(L"OMPassword", c.stored);
        bool sawDialog = false;
        CString prefill;
        HWND owner = NULL;
        CString result;
        bool clean = Drive([&] { result = settings.GetOnlineBackupPassword(c.mode); }, [&] {
            if (c.action == kNoDialog)
                return;
            HWND dlg = WaitForWindow(L"#32770", kDialogCaption);
            ASSERT_TRUE(dlg);
            sawDialog = true;
            owner = GetWindow(dlg, GW_OWNER);
            prefill = ShownPassword(dlg);
            if (c.action == kOkWithNew) {
                SetPassword(dlg, kNew);
                ClickId(dlg, IDOK);
            } else {
                ClickId(dlg, IDCANCEL);
            }
            EXPECT_TRUE(WaitForWindowGone(dlg));
        });
        EXPECT_TRUE(clean) << "a dialog was left open";
        EXPECT_EQ(sawDialog, c.action != kNoDialog);
        if (sawDialog) {
            EXPECT_EQ(prefill, c.prefill);
            EXPECT_EQ(owner, mainWnd.GetSafeHwnd()) << "the dialog belongs to the main window";
        }
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(Stored(), c.storedAfter);
    }
}

// ---------------------------------------------------------------------------
// The reminder

TEST_F(BackupPasswordTest, TheReminderShowsOnlyWhileTheBackupIsNotSetUp)
{
    struct Case {
        int frequency;      // -99: no value
        bool password;
        bool parent;
        bool required;
        bool reminds;
        bool result;
    } cases[] = {
        {-99, false, false, false, false, false},
        {-99, true, false, true, false, false},
        {-99, false, true, false, true, false},
        {-1, true, true, false, true, false},
        {0, false, true, false, false, false},
        {0, false, true, true, true, false},
        {0, true, true, true, false, false},
        {1, true, true, false, false, true},
        {1, false, true, false, false, false},
        {1, false, true, true, true, false},
        {34, true, true, true, false, true},
        {34, true, false, false, false, true},
        {34, false, false, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "frequency " << c.frequency << ", password " << c.password
                                        << ", parent " << c.parent << ", required " << c.required);
        ResetProfile();
        if (c.frequency != -99)
            settings.WriteProfileInt(L"OMBackupFrequency", c.frequency);
        if (c.password)
            settings.WriteProfileString(L"OMPassword", kOldLetters);
        CString passwordBefore = Stored();
        int frequencyBefore = Frequency();
        bool reminded = false;
        BoxContent shown;
        bool result = false;
        bool clean = Drive(
            [&] { result = settings.EnsureOnlineBackupSettings(c.parent ? &mainWnd : NULL, c.required); }, [&] {
                if (!c.reminds)
                    return;
                HWND box = WaitForWindow(L"#32770", kReminderCaption);
                ASSERT_TRUE(box);
                reminded = true;
                shown = ReadBox(box);
                Click(Control(box, IDNO)); // "Máskor"
                EXPECT_TRUE(WaitForWindowGone(box));
            });
        EXPECT_TRUE(clean) << "a box was left open";
        EXPECT_EQ(reminded, c.reminds);
        if (reminded) {
            EXPECT_EQ(shown.text, kReminderText);
            EXPECT_EQ(shown.buttons[IDYES], L"Tovább a beállításokhoz");
            EXPECT_EQ(shown.buttons[IDNO], L"Máskor");
        }
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(Stored(), passwordBefore);
        EXPECT_EQ(Frequency(), frequencyBefore);
    }
}

TEST_F(BackupPasswordTest, YesOpensTheDialogOverTheParentAndOkStoresItsChoice)
{
    HWND owner = NULL;
    bool result = false;
    EXPECT_TRUE(Drive([&] { result = settings.EnsureOnlineBackupSettings(&mainWnd, false); }, [&] {
        HWND box = WaitForWindow(L"#32770", kReminderCaption);
        ASSERT_TRUE(box);
        Click(Control(box, IDYES));
        HWND dlg = WaitForWindow(L"#32770", kDialogCaption);
        ASSERT_TRUE(dlg);
        owner = GetWindow(dlg, GW_OWNER);
        ClickId(dlg, IDC_OPW_MODE_SEND);
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(Control(dlg, IDC_OPW_FREQUENCY)) != FALSE; }));
        SendMessageW(Control(dlg, IDC_OPW_FREQUENCY), CB_SETCURSEL, 1, 0);
        SetPassword(dlg, kNew);
        ClickId(dlg, IDOK);
        EXPECT_TRUE(WaitForWindowGone(dlg));
    }));
    EXPECT_EQ(owner, mainWnd.GetSafeHwnd());
    EXPECT_TRUE(result);
    EXPECT_EQ(Stored(), kNewLetters);
    EXPECT_EQ(Frequency(), 2);
}

TEST_F(BackupPasswordTest, YesThenElvetChangesNothing)
{
    settings.WriteProfileString(L"OMPassword", kOldLetters);
    bool result = true;
    EXPECT_TRUE(Drive([&] { result = settings.EnsureOnlineBackupSettings(&mainWnd, true); }, [&] {
        HWND box = WaitForWindow(L"#32770", kReminderCaption);
        ASSERT_TRUE(box);
        Click(Control(box, IDYES));
        HWND dlg = WaitForWindow(L"#32770", kDialogCaption);
        ASSERT_TRUE(dlg);
        ClickId(dlg, IDC_OPW_MODE_SEND);
        SetPassword(dlg, kNew);
        ClickId(dlg, IDCANCEL);
        EXPECT_TRUE(WaitForWindowGone(dlg));
    }));
    EXPECT_FALSE(result);
    EXPECT_EQ(Stored(), kOldLetters);
    EXPECT_EQ(Frequency(), -99);
}

TEST_F(BackupPasswordTest, AReminderThatCouldNotShowCountsAsLater)
{
    DWORD ui = GetCurrentThreadId();
    bool result = true;
    bool dialogShown = false;
    EXPECT_TRUE(Drive([&] { result = settings.EnsureOnlineBackupSettings(&mainWnd, true); }, [&] {
        HWND box = WaitForWindow(L"#32770", kReminderCaption);
        ASSERT_TRUE(box);
        // The quit request ends the box with -1.
        PostThreadMessageW(ui, WM_QUIT, 3, 0);
        EXPECT_TRUE(WaitForWindowGone(box));
        dialogShown = WaitForWindow(L"#32770", kDialogCaption, 1000) != NULL;
    }));
    EXPECT_FALSE(dialogShown);
    EXPECT_FALSE(result);
    EXPECT_EQ(Stored(), L"-");
    EXPECT_EQ(Frequency(), -99);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the driver took the quit request";
}

// ---------------------------------------------------------------------------
// The dialog

class OptionsPasswordDlgTest : public BackupPasswordTest
{
protected:
    // Runs the dialog with "OMBackupFrequency" = stored (-99: none) and the
    // password given; script acts on its window.
    INT_PTR Run(int stored, LPCWSTR password, const std::function<void(HWND)>& script)
    {
        if (stored != -99)
            settings.WriteProfileInt(L"OMBackupFrequency", stored);
        COptionsPasswordDlg dlg(&mainWnd);
        dlg.m_strPassword = password;
        INT_PTR result = -2;
        EXPECT_TRUE(Drive([&] { result = dlg.DoModal(); }, [&] {
            HWND wnd = WaitForWindow(L"#32770", kDialogCaption);
            ASSERT_TRUE(wnd);
            script(wnd);
        }));
        passwordAfter = dlg.m_strPassword;
        return result;
    }

    CString passwordAfter;
};

int Selection(HWND dlg)
{
    return (int)SendMessageW(Control(dlg, IDC_OPW_FREQUENCY), CB_GETCURSEL, 0, 0);
}

int CheckedMode(HWND dlg)
{
    int ids[] = {IDC_OPW_MODE_NONE, IDC_OPW_MODE_SEND, IDC_OPW_MODE_RECEIVE};
    for (int i = 0; i < 3; ++i)
        if (IsChecked(Control(dlg, ids[i])))
            return ids[i];
    return 0;
}

TEST_F(OptionsPasswordDlgTest, OpensWithTheTemplateTexts)
{
    std::vector<CString> entries;
    CString label, note, warning, ok, cancel;
    Run(-99, L"", [&](HWND dlg) {
        HWND combo = Control(dlg, IDC_OPW_FREQUENCY);
        int n = (int)SendMessageW(combo, CB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; ++i) {
            wchar_t buf[64] = {0};
            SendMessageW(combo, CB_GETLBTEXT, i, (LPARAM)buf);
            entries.push_back(buf);
        }
        label = Text(Control(dlg, IDC_OPW_PASSWORD_LABEL));
        note = Text(Control(dlg, IDC_OPW_PASSWORD_NOTE));
        warning = Text(Control(dlg, IDC_OPW_WARNING));
        ok = Text(Control(dlg, IDOK));
        cancel = Text(Control(dlg, IDCANCEL));
        EXPECT_EQ(Text(Control(dlg, IDC_OPW_MODE_BAND)), L"Adatkezelés felhasználásának módja");
        EXPECT_EQ(Text(Control(dlg, IDC_OPW_MODE_SEND)),
                  L"Rögzítő gép - ezen a gépen történik az ikatatás, az adatok mentése erről a gépről kerül az "
                  L"on-line tárhelyre.");
        EXPECT_EQ(CheckedMode(dlg), IDC_OPW_MODE_NONE);
        EXPECT_EQ(Selection(dlg), -1);
        EXPECT_FALSE(IsWindowEnabled(combo));
        EXPECT_TRUE(GetWindowLongW(Control(dlg, IDC_OPW_PASSWORD), GWL_STYLE) & ES_PASSWORD);
        ClickId(dlg, IDCANCEL);
    });
    EXPECT_EQ(entries, (std::vector<CString>{L"naponta", L"hetente", L"havonta"}));
    EXPECT_EQ(label, L"A &titkosítás jelszava:");
    EXPECT_EQ(note, L"A jelszó megadása az adatok küldés előtti titkosítás miatt szükséges, így ha valaki hozzáfér "
                    L"a mentett fájlhoz, akkor a jelszó ismerete nélkül a tartalmát nem ismerheti meg.");
    EXPECT_EQ(warning, L"Kérjük, hogy a jelszót gondosan őrizze meg, mert nélküle a mentés visszatöltése nem "
                       L"végezhető el!");
    EXPECT_EQ(ok, L"OK");
    EXPECT_EQ(cancel, L"Elvet");
    EXPECT_EQ(Frequency(), -99) << "Elvet writes nothing";
}

TEST_F(OptionsPasswordDlgTest, ModesFrequenciesAndPasswords)
{
    struct Case {
        const char* name;
        int stored;
        int openMode;        // the radio checked when it opens
        int openSelection;   // the combo's entry when it opens (after EnableFrequency)
        LPCWSTR openBand;    // 1116's text when it opens
        int click;           // a radio to click, 0: none
        int select;          // an entry to pick, -1: none
        LPCWSTR typed;       // null: the password as given
        int written;
        LPCWSTR password;    // the password member after OK
    } cases[] = {
        {"34 receives weekly", 34, IDC_OPW_MODE_RECEIVE, 1, kReceiving, 0, -1, nullptr, 34, L"jelszó12"},
        {"10 sends, past the list", 10, IDC_OPW_MODE_SEND, 0, kSending, 0, -1, nullptr, 1, L"jelszó12"},
        {"sending to receiving monthly", 2, IDC_OPW_MODE_SEND, 1, kSending, IDC_OPW_MODE_RECEIVE, 2, nullptr, 35,
         L"jelszó12"},
        {"receiving to sending", 33, IDC_OPW_MODE_RECEIVE, 0, kReceiving, IDC_OPW_MODE_SEND, -1, nullptr, 1,
         L"jelszó12"},
        {"none with 3 letters", 1, IDC_OPW_MODE_SEND, 0, kSending, IDC_OPW_MODE_NONE, -1, L"abc", 0, L""},
        {"none with 8 letters", 1, IDC_OPW_MODE_SEND, 0, kSending, IDC_OPW_MODE_NONE, -1, L"nyolcbet", 0,
         L"nyolcbet"},
        {"below 0 opens with none", -5, IDC_OPW_MODE_NONE, -1, kSending, IDC_OPW_MODE_SEND, -1, nullptr, 1,
         L"jelszó12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetProfile();
        int openMode = 0, openSelection = -9;
        CString openBand, band;
        bool comboEnabled = true;
        INT_PTR result = Run(c.stored, L"jelszó12", [&](HWND dlg) {
            openMode = CheckedMode(dlg);
            openSelection = Selection(dlg);
            openBand = Text(Control(dlg, IDC_OPW_FREQUENCY_BAND));
            if (c.click) {
                ClickId(dlg, c.click);
                HWND combo = Control(dlg, IDC_OPW_FREQUENCY);
                // The click has had its effect once the radio, the combo box
                // and the band all show it.
                LPCWSTR bandWanted = c.click == IDC_OPW_MODE_SEND      ? kSending
                                     : c.click == IDC_OPW_MODE_RECEIVE ? kReceiving
                                                                       : (LPCWSTR)openBand;
                EXPECT_TRUE(WaitUntil([&] {
                    return CheckedMode(dlg) == c.click &&
                           (IsWindowEnabled(combo) != FALSE) == (c.click != IDC_OPW_MODE_NONE) &&
                           Text(Control(dlg, IDC_OPW_FREQUENCY_BAND)) == bandWanted;
                }));
                comboEnabled = IsWindowEnabled(combo) != FALSE;
                band = Text(Control(dlg, IDC_OPW_FREQUENCY_BAND));
            }
            if (c.select >= 0)
                SendMessageW(Control(dlg, IDC_OPW_FREQUENCY), CB_SETCURSEL, c.select, 0);
            if (c.typed)
                SetPassword(dlg, c.typed);
            ClickId(dlg, IDOK);
            EXPECT_TRUE(WaitForWindowGone(dlg));
        });
        EXPECT_EQ(openMode, c.openMode);
        EXPECT_EQ(openSelection, c.openSelection);
        EXPECT_EQ(openBand, c.openBand);
        if (c.click == IDC_OPW_MODE_SEND) {
            EXPECT_EQ(band, kSending);
        } else if (c.click == IDC_OPW_MODE_RECEIVE) {
            EXPECT_EQ(band, kReceiving);
        }
        if (c.click) {
            EXPECT_EQ(comboEnabled, c.click != IDC_OPW_MODE_NONE);
        }
        EXPECT_EQ(result, IDOK);
        EXPECT_EQ(Frequency(), c.written);
        EXPECT_EQ(passwordAfter, c.password);
    }
}

TEST_F(OptionsPasswordDlgTest, AShortPasswordIsRefusedWhileAModeIsChosen)
{
    window_test::CMessageBoxCatcher catcher;
    bool stayedOpen = false;
    HWND focus = NULL, edit = NULL;
    DWORD ui = GetCurrentThreadId();
    INT_PTR result = Run(34, L"", [&](HWND dlg) {
        ClickId(dlg, IDC_OPW_MODE_SEND);
        EXPECT_TRUE(WaitUntil([&] { return CheckedMode(dlg) == IDC_OPW_MODE_SEND; }));
        SetPassword(dlg, L"öt-öt");
        ClickId(dlg, IDOK);
        // The refusal has been shown once the field has the focus back.
        edit = Control(dlg, IDC_OPW_PASSWORD);
        EXPECT_TRUE(WaitUntil([&] { return catcher.boxes.size() == 1 && FocusOf(ui) == edit; }));
        stayedOpen = IsWindowVisible(dlg) != FALSE;
        focus = FocusOf(ui);
        ClickId(dlg, IDCANCEL);
        EXPECT_TRUE(WaitForWindowGone(dlg));
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(focus, edit);
    EXPECT_EQ(result, IDCANCEL);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].text, L"A jelszó minimális hossza 6 karakter!");
    EXPECT_EQ(Frequency(), 34) << "nothing written";
}

TEST_F(OptionsPasswordDlgTest, TheQuestionMarkShowsTheTypedText)
{
    CString shown;
    Run(1, L"régi jelszó", [&](HWND dlg) {
        SetPassword(dlg, L"Látható <& jelszó>");
        shown = ShownPassword(dlg);
        ClickId(dlg, IDCANCEL);
    });
    EXPECT_EQ(shown, L"Látható <& jelszó>");
    EXPECT_EQ(passwordAfter, L"régi jelszó") << "Elvet leaves the password as given";
}

// The ground, the bands and the controls' colours, sampled from what the
// dialog paints into a bitmap of its client size.
TEST_F(OptionsPasswordDlgTest, GroundBandsAndControlColours)
{
    struct Sample { const char* what; int x, y; COLORREF want; };
    std::vector<Sample> samples;
    std::vector<std::pair<std::string, COLORREF>> brushes;
    bool warningRed = false, warningTransparent = false, warningNullBrush = false;
    Run(34, L"jelszó12", [&](HWND dlg) {
        RECT client;
        GetClientRect(dlg, &client);
        HDC screen = GetDC(NULL);
        HDC mem = CreateCompatibleDC(screen);
        HBITMAP bmp = CreateCompatibleBitmap(screen, client.right, client.bottom);
        HGDIOBJ old = SelectObject(mem, bmp);
        SendMessageW(dlg, WM_ERASEBKGND, (WPARAM)mem, 0);
        auto rectOf = [&](int id) { return RectInParent(Control(dlg, id)); };
        RECT modeBand = rectOf(IDC_OPW_MODE_BAND), freqBand = rectOf(IDC_OPW_FREQUENCY_BAND);
        RECT warning = rectOf(IDC_OPW_WARNING), radio = rectOf(IDC_OPW_MODE_SEND);
        int right = client.right - 2;
        samples = {
            {"mode band, left edge", 1, (modeBand.top + modeBand.bottom) / 2, RGB(0x40, 0x40, 0x40)},
            {"mode band, right edge", right, modeBand.top, RGB(0x40, 0x40, 0x40)},
            {"frequency band", 1, freqBand.bottom - 1, RGB(0x40, 0x40, 0x40)},
            {"below the frequency band", 1, freqBand.bottom + 1, RGB(0xD0, 0xD0, 0xD0)},
            {"ground by a radio", 1, (radio.top + radio.bottom) / 2, RGB(0xD0, 0xD0, 0xD0)},
            {"warning band, 5 above", 1, warning.top - 5, RGB(0xFF, 0xFF, 0x66)},
            {"warning band, inside", right, (warning.top + warning.bottom) / 2, RGB(0xFF, 0xFF, 0x66)},
            {"above the warning band", 1, warning.top - 6, RGB(0xD0, 0xD0, 0xD0)},
        };
        for (Sample& s : samples) {
            COLORREF got = GetPixel(mem, s.x, s.y);
            if (got != s.want)
                ADD_FAILURE() << s.what << ": " << std::hex << got << " instead of " << s.want;
        }
        auto brushColour = [&](UINT message, int id) {
            HBRUSH brush = (HBRUSH)SendMessageW(dlg, message, (WPARAM)mem, (LPARAM)Control(dlg, id));
            LOGBRUSH lb = {};
            if (!brush || !GetObjectW(brush, sizeof(lb), &lb) || lb.lbStyle != BS_SOLID)
                return (COLORREF)-1;
            return lb.lbColor;
        };
        brushes = {
            {"radio as a static", brushColour(WM_CTLCOLORSTATIC, IDC_OPW_MODE_SEND)},
            {"radio as a button", brushColour(WM_CTLCOLORBTN, IDC_OPW_MODE_RECEIVE)},
            {"label", brushColour(WM_CTLCOLORSTATIC, IDC_OPW_PASSWORD_LABEL)},
            {"note", brushColour(WM_CTLCOLORSTATIC, IDC_OPW_PASSWORD_NOTE)},
        };
        SetTextColor(mem, RGB(0, 0, 0));
        SetBkMode(mem, OPAQUE);
        HBRUSH brush = (HBRUSH)SendMessageW(dlg, WM_CTLCOLORSTATIC, (WPARAM)mem, (LPARAM)Control(dlg, IDC_OPW_WARNING));
        warningNullBrush = brush == (HBRUSH)GetStockObject(NULL_BRUSH);
        warningRed = GetTextColor(mem) == RGB(0xFF, 0, 0);
        warningTransparent = GetBkMode(mem) == TRANSPARENT;
        SelectObject(mem, old);
        DeleteObject(bmp);
        DeleteDC(mem);
        ReleaseDC(NULL, screen);
        ClickId(dlg, IDCANCEL);
    });
    ASSERT_EQ(samples.size(), 8u);
    for (const auto& b : brushes)
        EXPECT_EQ(b.second, RGB(0xD0, 0xD0, 0xD0)) << b.first;
    EXPECT_TRUE(warningNullBrush);
    EXPECT_TRUE(warningRed);
    EXPECT_TRUE(warningTransparent);
}

// A picture for the documentation: FOLIONEX_SCREENSHOTS names a folder.
TEST_F(OptionsPasswordDlgTest, Screenshot)
{
    wchar_t folder[MAX_PATH] = {0};
    if (!GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", folder, MAX_PATH))
        GTEST_SKIP() << "FOLIONEX_SCREENSHOTS is not set";
    CString path = CString(folder) + L"\\password-dialog.bmp";
    bool saved = false;
    Run(34, L"jelszó12", [&](HWND dlg) {
        RedrawWindow(dlg, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        // The picture is taken once the screen shows the band of the warning.
        RECT warning = RectInParent(Control(dlg, IDC_OPW_WARNING));
        POINT p = {2, warning.top - 2};
        ClientToScreen(dlg, &p);
        HDC screen = GetDC(NULL);
        EXPECT_TRUE(WaitUntil([&] { return GetPixel(screen, p.x, p.y) == RGB(0xFF, 0xFF, 0x66); }));
        ReleaseDC(NULL, screen);
        saved = SaveWindowBitmap(dlg, path);
        ClickId(dlg, IDCANCEL);
    });
    EXPECT_TRUE(saved);
}

} // namespace
