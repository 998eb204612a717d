// The message box driven in-process: a driver thread finds the box, reads
// it, clicks, ticks and presses keys while this thread sits in the box's
// modal loop; a watchdog ends the loop when a box does not close.
#include "foundation/XMessageBox.h"
#include "foundation/XDialogTemplate.h"
#include "resource.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace testing_support;

namespace {

// What a box shows.
struct BoxView
{
    HWND box = NULL;
    CString title;
    CString message;
    std::vector<std::pair<int, CString>> buttons;  // push buttons from left to right
    bool hasCheckBox = false;
    CString checkCaption;
    int defPushId = 0;    // the button drawn as default
    int focusId = 0;      // the control with the focus
    bool closeGreyed = false;
};

BoxView Inspect(HWND box, DWORD uiThread)
{
    BoxView v;
    v.box = box;
    v.title = Text(box);
    v.message = Text(Control(box, XMB_IDMESSAGE));
    for (HWND b : Children(box, L"Button")) {
        int id = GetDlgCtrlID(b);
        if (id == XMB_IDCHECKBOX) {
            v.hasCheckBox = true;
            v.checkCaption = Text(b);
            continue;
        }
        v.buttons.push_back(std::make_pair(id, Text(b)));
        if ((GetWindowLongW(b, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON)
            v.defPushId = id;
    }
    HWND focus = FocusOf(uiThread);
    v.focusId = focus ? GetDlgCtrlID(focus) : 0;
    v.closeGreyed = IsCloseGreyed(box);
    return v;
}

int g_boxNumber = 0;

CString NextTitle()
{
    CString t;
    t.Format(L"Teszt doboz %d", ++g_boxNumber);
    return t;
}

// Shows a box titled with a fresh title; the driver reads it into *view and
// then runs act (which must end the box). Returns the answer.
int RunBox(HWND owner, LPCWSTR text, UINT style, const XMessageBoxParams* params, BoxView* view,
           const std::function<void(HWND box)>& act, bool* watchdog = NULL)
{
    CString title = NextTitle();
    DWORD ui = GetCurrentThreadId();
    CWindowDriver driver([&] {
        HWND box = WaitForWindow(L"#32770", title);
        ASSERT_TRUE(box) << "no box titled " << (const char*)CStringA(title);
        if (view)
            *view = Inspect(box, ui);
        act(box);
    });
    int answer = XMessageBox(owner, text, title, style, params);
    bool timedOut = driver.Join();
    if (watchdog)
        *watchdog = timedOut;
    else
        EXPECT_FALSE(timedOut) << "the box did not close";
    return answer;
}

void ClickFirstButton(HWND box)
{
    std::vector<HWND> buttons = Children(box, L"Button");
    if (!buttons.empty())
        Click(buttons.front());
}

HWND FocusOrBox(HWND box, DWORD ui)
{
    HWND focus = FocusOf(ui);
    return focus ? focus : box;
}

typedef std::vector<std::pair<int, CString>> Buttons;

std::string Describe(const Buttons& buttons)
{
    std::string s;
    for (const auto& b : buttons)
        s += std::to_string(b.first) + ":" + (const char*)CStringA(b.second) + " ";
    return s;
}

HWND MakeOwner(bool enabled)
{
    HWND owner = CreateWindowExW(0, L"STATIC", L"Tulajdonos", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80, 640, 480,
                                 NULL, NULL, GetModuleHandleW(NULL), NULL);
    if (owner && !enabled)
        EnableWindow(owner, FALSE);
    return owner;
}

CString Repeat(wchar_t ch, int n)
{
    return CString(ch, n);
}

const wchar_t kExitText[] = L"Valóban ki akar lépni a programból?";

void CALLBACK IgnoreReport(LPCWSTR, DWORD) {}

} // namespace

// ---------------------------------------------------------------------------
// Button sets, captions, Esc and the close box

struct SetCase
{
    UINT style;
    Buttons buttons;
    int escAnswer;  // 0: Esc and the close box do nothing, Close is greyed
};

TEST(XMessageBoxTest, ButtonSetsEscAndCloseBox)
{
    const SetCase cases[] = {
        { MB_OK, { { IDOK, L"OK" } }, IDOK },
        { MB_OKCANCEL, { { IDOK, L"OK" }, { IDCANCEL, L"Elvet" } }, IDCANCEL },
        { MB_ABORTRETRYIGNORE,
          { { IDABORT, L"&Megszakít" }, { IDRETRY, L"Ú&jra" }, { IDIGNORE, L"&Figyelmenkívül hagy" } }, 0 },
        { MB_YESNOCANCEL, { { IDYES, L"&Igen" }, { IDNO, L"&Nem" }, { IDCANCEL, L"Elvet" } }, IDCANCEL },
        { MB_YESNO, { { IDYES, L"&Igen" }, { IDNO, L"&Nem" } }, 0 },
        { MB_RETRYCANCEL, { { IDRETRY, L"Ú&jra" }, { IDCANCEL, L"Elvet" } }, IDCANCEL },
        { MB_CANCELTRYCONTINUE,
          { { IDCANCEL, L"Elvet" }, { IDTRYAGAIN, L"&Próbáld újra" }, { IDCONTINUE, L"&Tovább" } }, IDCANCEL },
        { XMB_CONTINUEABORT, { { IDCONTINUE, L"&Tovább" }, { IDABORT, L"&Megszakít" } }, 0 },
        { XMB_SKIPSKIPALLCANCEL,
          { { XMB_IDSKIP, L"&Kihagy" }, { XMB_IDSKIPALL, L"Kihagy min&dent" }, { IDCANCEL, L"Elvet" } }, IDCANCEL },
        { XMB_IGNOREIGNOREALLCANCEL,
          { { IDIGNORE, L"&Figyelmenkívül hagy" }, { XMB_IDIGNOREALL, L"Mindent figyelmenkívül hag&y" },
            { IDCANCEL, L"Elvet" } }, IDCANCEL },
        { MB_YESNOCANCEL | XMB_YESTOALL | XMB_NOTOALL,
          { { IDYES, L"&Igen" }, { XMB_IDYESTOALL, L"I&gen mindenre" }, { IDNO, L"&Nem" },
            { XMB_IDNOTOALL, L"Minden&re nem" }, { IDCANCEL, L"Elvet" } }, IDCANCEL },
        { MB_YESNO | XMB_NOTOALL, { { IDYES, L"&Igen" }, { IDNO, L"&Nem" }, { XMB_IDNOTOALL, L"Minden&re nem" } }, 0 },
        { MB_OKCANCEL | XMB_YESTOALL, { { IDOK, L"OK" }, { IDCANCEL, L"Elvet" } }, IDCANCEL },
        { MB_OK | MB_HELP, { { IDOK, L"OK" }, { XMB_IDHELP, L"&Súgó" } }, IDOK },
    };
    const DWORD ui = GetCurrentThreadId();
    for (const SetCase& c : cases) {
        for (int closeBox = 0; closeBox < 2; ++closeBox) {
            SCOPED_TRACE(testing::Message() << "style 0x" << std::hex << c.style << (closeBox ? " close box" : " Esc"));
            BoxView v;
            bool stayed = false;
            int answer = RunBox(NULL, L"Melyiket választja?", c.style, NULL, &v, [&](HWND box) {
                if (closeBox)
                    CloseBox(box);
                else
                    PressKey(FocusOrBox(box, ui), VK_ESCAPE);
                if (c.escAnswer == 0) {
                    Sleep(300);
                    stayed = IsWindow(box) != FALSE;
                    ClickFirstButton(box);
                }
            });
            EXPECT_EQ(Describe(v.buttons), Describe(c.buttons));
            EXPECT_EQ(v.message, L"Melyiket választja?");
            EXPECT_FALSE(v.hasCheckBox);
            EXPECT_EQ(v.closeGreyed, c.escAnswer == 0);
            if (c.escAnswer) {
                EXPECT_EQ(answer, c.escAnswer);
            } else {
                EXPECT_TRUE(stayed);
                EXPECT_EQ(answer, c.buttons.front().first);
            }
        }
    }
}

TEST(XMessageBoxTest, EveryButtonAnswersItsId)
{
    const UINT style = MB_YESNOCANCEL | XMB_YESTOALL | XMB_NOTOALL;
    const int ids[] = { IDYES, XMB_IDYESTOALL, IDNO, XMB_IDNOTOALL, IDCANCEL };
    for (int id : ids) {
        int answer = RunBox(NULL, L"Felülírja?", style, NULL, NULL, [&](HWND box) { ClickId(box, id); });
        EXPECT_EQ(answer, id);
    }
}

TEST(XMessageBoxTest, OwnCaptionsReplaceTableEntriesAndKeepIds)
{
    // The start-up question without data: own captions for Yes, No and Cancel.
    XMessageBoxParams p;
    p.bUseOwnCaptions = TRUE;
    wcscpy(p.szOwnCaptions[XMB_CAP_YES], L"Kapcsolódás");
    wcscpy(p.szOwnCaptions[XMB_CAP_NO], L"Letöltés");
    wcscpy(p.szOwnCaptions[XMB_CAP_CANCEL], L"Kilép");
    BoxView v;
    const DWORD ui = GetCurrentThreadId();
    int answer = RunBox(NULL, L"Nincs betölthető adat.", 0x20000033, &p, &v,
                        [&](HWND box) { PressKey(FocusOrBox(box, ui), VK_ESCAPE); });
    EXPECT_EQ(Describe(v.buttons), Describe({ { IDYES, L"Kapcsolódás" }, { IDNO, L"Letöltés" }, { IDCANCEL, L"Kilép" } }));
    EXPECT_FALSE(v.closeGreyed);
    EXPECT_EQ(answer, IDCANCEL);

    // Own captions only for Yes and No leave Cancel at its default.
    XMessageBoxParams q;
    q.bUseOwnCaptions = TRUE;
    wcscpy(q.szOwnCaptions[XMB_CAP_YES], L"Most");
    wcscpy(q.szOwnCaptions[XMB_CAP_NO], L"Később");
    answer = RunBox(NULL, L"Készítsen mentést?", MB_YESNOCANCEL, &q, &v, [](HWND box) { ClickId(box, IDNO); });
    EXPECT_EQ(Describe(v.buttons), Describe({ { IDYES, L"Most" }, { IDNO, L"Később" }, { IDCANCEL, L"Elvet" } }));
    EXPECT_EQ(answer, IDNO);
}

TEST(XMessageBoxTest, OwnCaptionLongerThanAnEntryIsCut)
{
    XMessageBoxParams p;
    p.bUseOwnCaptions = TRUE;
    CString longCaption = Repeat(L'á', 150);
    wcscpy(p.szOwnCaptions[XMB_CAP_OK], longCaption);
    wcscpy(p.szReportCaption, Repeat(L'R', 200));
    p.pfnReport = IgnoreReport;
    BoxView v;
    int answer = RunBox(NULL, L"Hosszú felirat.", MB_OK, &p, &v, [](HWND box) { ClickId(box, IDOK); });
    ASSERT_EQ(v.buttons.size(), 2u);
    EXPECT_EQ(v.buttons[0].second, longCaption.Left(XMB_MAXCAPTION));
    EXPECT_EQ(v.buttons[1].second, Repeat(L'R', XMB_MAXCAPTION));
    EXPECT_EQ(answer, IDOK);
}

TEST(XMessageBoxTest, CustomCaptionsMakeTheirOwnButtonsAndIgnoreEsc)
{
    XMessageBoxParams p;
    wcscpy(p.szCustomCaptions, L"Első\nMásodik\nHarmadik\nNegyedik\nÖtödik");
    BoxView v;
    const DWORD ui = GetCurrentThreadId();
    bool stayed = false;
    int answer = RunBox(NULL, L"Válasszon.", MB_OKCANCEL, &p, &v, [&](HWND box) {
        PressKey(FocusOrBox(box, ui), VK_ESCAPE);
        CloseBox(box);
        Sleep(300);
        stayed = IsWindow(box) != FALSE;
        ClickId(box, XMB_IDCUSTOM1 + 1);
    });
    EXPECT_EQ(Describe(v.buttons), Describe({ { 23, L"Első" }, { 24, L"Második" }, { 25, L"Harmadik" }, { 26, L"Negyedik" } }));
    EXPECT_TRUE(v.closeGreyed);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(answer, 24);
}

// ---------------------------------------------------------------------------
// String table, string module, texts as ids

class XMessageBoxStringsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        CString path = ProgramFolder() + L"xmessagebox_strings.dll";
        m_module = LoadLibraryExW(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(m_module) << "string module not found";
    }
    void TearDown() override
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    HMODULE m_module = NULL;
};

TEST_F(XMessageBoxStringsTest, CaptionsComeFromTheStringModuleUnlessTold)
{
    XMessageBoxParams p;
    p.hStringModule = m_module;
    BoxView v;
    // The module has Yes and Cancel; No keeps its default.
    RunBox(NULL, L"Szöveg.", MB_YESNOCANCEL, &p, &v, [](HWND box) { ClickId(box, IDYES); });
    EXPECT_EQ(Describe(v.buttons), Describe({ { IDYES, L"Igen (modul)" }, { IDNO, L"&Nem" }, { IDCANCEL, L"Mégse (modul)" } }));

    RunBox(NULL, L"Szöveg.", MB_YESNOCANCEL | XMB_NOSTRINGTABLE, &p, &v, [](HWND box) { ClickId(box, IDYES); });
    EXPECT_EQ(Describe(v.buttons), Describe({ { IDYES, L"&Igen" }, { IDNO, L"&Nem" }, { IDCANCEL, L"Elvet" } }));

    p.bUseOwnCaptions = TRUE;
    wcscpy(p.szOwnCaptions[XMB_CAP_NO], L"Nem!");
    RunBox(NULL, L"Szöveg.", MB_YESNOCANCEL, &p, &v, [](HWND box) { ClickId(box, IDYES); });
    EXPECT_EQ(Describe(v.buttons), Describe({ { IDYES, L"&Igen" }, { IDNO, L"Nem!" }, { IDCANCEL, L"Elvet" } }));
}

TEST_F(XMessageBoxStringsTest, TextsCustomCaptionsAndReportCaptionByStringId)
{
    XMessageBoxParams p;
    p.hStringModule = m_module;
    p.nCustomCaptionsId = 102;
    p.nReportCaptionId = 103;
    p.pfnReport = IgnoreReport;
    DWORD ui = GetCurrentThreadId();
    CString title, message;
    std::vector<std::pair<int, CString>> buttons;
    CWindowDriver driver([&] {
        HWND box = WaitForWindow(L"#32770", L"Cím a modulból");
        ASSERT_TRUE(box);
        BoxView v = Inspect(box, ui);
        message = v.message;
        buttons = v.buttons;
        ClickId(box, XMB_IDCUSTOM1);
    });
    int answer = XMessageBox(NULL, MAKEINTRESOURCEW(100), MAKEINTRESOURCEW(101), MB_OK, &p);
    EXPECT_FALSE(driver.Join());
    EXPECT_EQ(answer, XMB_IDCUSTOM1);
    EXPECT_EQ(message, L"Szöveg a modulból");
    EXPECT_EQ(Describe(buttons), Describe({ { 23, L"Első" }, { 24, L"Második" }, { XMB_IDREPORT, L"Hibajelentés (modul)" } }));
}

TEST(XMessageBoxTest, ProgramStringTableHoldsTheDefaults)
{
    // The program's own string table: ids 9001 to 9019 carry the built-in captions.
    XMessageBoxParams noLookup;
    CXDialogTemplate defaults(NULL, L"x", L"y", MB_OK | XMB_NOSTRINGTABLE, noLookup);
    CXDialogTemplate loaded(NULL, L"x", L"y", MB_OK, noLookup);
    for (int i = 0; i < XMB_CAPTION_COUNT; ++i)
        EXPECT_STREQ(loaded.GetCaptionEntry(i), defaults.GetCaptionEntry(i)) << i;
    for (UINT id = IDS_XMB_OK; id <= IDS_XMB_SKIPALL; ++id) {
        wchar_t buf[100] = { 0 };
        EXPECT_GT(LoadStringW(GetModuleHandleW(NULL), id, buf, 100), 0) << id;
    }
    wchar_t buf[100] = { 0 };
    LoadStringW(GetModuleHandleW(NULL), IDS_XMB_DONTASK, buf, 100);
    EXPECT_STREQ(buf, L"Ne kérdezze többet!");
    LoadStringW(GetModuleHandleW(NULL), IDS_XMB_YES, buf, 100);
    EXPECT_STREQ(buf, L"&Igen");
}

TEST(XMessageBoxTest, TextAndCaptionAsProgramStringIdsAndNullCaption)
{
    DWORD ui = GetCurrentThreadId();
    BoxView v;
    CWindowDriver driver([&] {
        HWND box = WaitForWindow(L"#32770", L"OK");
        ASSERT_TRUE(box);
        v = Inspect(box, ui);
        ClickId(box, IDOK);
    });
    XMessageBox(NULL, MAKEINTRESOURCEW(IDS_XMB_DONTWARN), MAKEINTRESOURCEW(IDS_XMB_OK), MB_OK);
    EXPECT_FALSE(driver.Join());
    EXPECT_EQ(v.message, L"Ne figyelmeztessen többet!");

    CWindowDriver second([&] {
        HWND box = WaitForWindow(L"#32770", L"Error");
        ASSERT_TRUE(box);
        v = Inspect(box, ui);
        ClickId(box, IDOK);
    });
    XMessageBox(NULL, MAKEINTRESOURCEW(1), NULL, MB_OK);  // no string 1: an empty text
    EXPECT_FALSE(second.Join());
    EXPECT_EQ(v.message, L"");
}

// ---------------------------------------------------------------------------
// Default button

TEST(XMessageBoxTest, DefaultButtonIsDrawnFocusedAndTakesEnter)
{
    struct Case { UINT style; LPCWSTR custom; int defaultId; bool enter; };
    const Case cases[] = {
        { MB_YESNOCANCEL, NULL, IDYES, true },
        { MB_YESNOCANCEL | MB_DEFBUTTON2, NULL, IDNO, true },
        { MB_YESNOCANCEL | MB_DEFBUTTON3, NULL, IDCANCEL, true },
        { MB_YESNOCANCEL | MB_DEFBUTTON4 | MB_HELP, NULL, XMB_IDHELP, false },  // Help would start the help viewer
        { MB_OK | MB_DEFBUTTON3, NULL, IDOK, true },                           // beyond the buttons: the first
        { MB_YESNO | XMB_YESTOALL | MB_DEFBUTTON2, NULL, XMB_IDYESTOALL, true },
        { MB_CANCELTRYCONTINUE | MB_DEFBUTTON3, NULL, IDCONTINUE, true },
        { MB_OKCANCEL | 0x600, NULL, IDOK, true },                             // no such default: the first
        { MB_OK | MB_DEFBUTTON3, L"A\nB\nC", 25, true },
    };
    const DWORD ui = GetCurrentThreadId();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "style 0x" << std::hex << c.style);
        XMessageBoxParams p;
        if (c.custom)
            wcscpy(p.szCustomCaptions, c.custom);
        BoxView v;
        int answer = RunBox(NULL, L"Alapértelmezett gomb.", c.style, &p, &v, [&](HWND box) {
            if (c.enter)
                PressKey(FocusOrBox(box, ui), VK_RETURN);
            else
                ClickFirstButton(box);
        });
        EXPECT_EQ(v.defPushId, c.defaultId);
        EXPECT_EQ(v.focusId, c.defaultId);
        if (c.enter) {
            EXPECT_EQ(answer, c.defaultId);
        }
    }
}

// ---------------------------------------------------------------------------
// The check box

TEST(XMessageBoxTest, TickedCheckBoxAddsItsBitUnlessCancelled)
{
    struct Case { UINT style; bool tick; int endId; bool esc; LPCWSTR caption; int answer; };
    const Case cases[] = {
        { 0x01000034, true, IDYES, false, L"Ne kérdezze többet!", 0x01000006 },  // the exit confirmation
        { 0x01000034, true, IDNO, false, L"Ne kérdezze többet!", 0x01000007 },
        { 0x01000034, false, IDYES, false, L"Ne kérdezze többet!", IDYES },
        { 0x01000030, true, IDOK, false, L"Ne kérdezze többet!", 0x01000001 },   // the offline warning
        { 0x01000033, true, 0, true, L"Ne kérdezze többet!", IDCANCEL },         // Esc: no bit
        { 0x01000031, true, IDCANCEL, false, L"Ne kérdezze többet!", IDCANCEL }, // the Cancel button: no bit
        { 0x02000030, true, IDOK, false, L"Ne figyelmeztessen többet!", 0x02000001 },
        { 0x04000031, true, IDOK, false, L"Ne mutassa többet ezt az üzenetet!", 0x04000001 },
        { 0x06000030, true, IDOK, false, L"Ne figyelmeztessen többet!", 0x02000001 },  // the lower bit wins
        { 0x07000030, true, IDOK, false, L"Ne kérdezze többet!", 0x01000001 },
    };
    const DWORD ui = GetCurrentThreadId();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "style 0x" << std::hex << c.style << " end " << c.endId);
        BoxView v;
        bool ticked = false;
        int answer = RunBox(NULL, kExitText, c.style, NULL, &v, [&](HWND box) {
            if (c.tick)
                ticked = Tick(Control(box, XMB_IDCHECKBOX));
            if (c.esc)
                PressKey(FocusOrBox(box, ui), VK_ESCAPE);
            else
                ClickId(box, c.endId);
        });
        EXPECT_TRUE(v.hasCheckBox);
        EXPECT_EQ(v.checkCaption, c.caption);
        EXPECT_EQ(ticked, c.tick);
        EXPECT_EQ(answer, c.answer);
    }
}

// ---------------------------------------------------------------------------
// Time-out and lock

TEST(XMessageBoxTest, TimeoutCountsDownOnTheDefaultButtonThenPressesIt)
{
    XMessageBoxParams p;
    p.nTimeoutSeconds = 3;
    std::vector<CString> seen;
    int answer = RunBox(NULL, L"Automatikus válasz.", MB_OK, &p, NULL, [&](HWND box) {
        HWND ok = Control(box, IDOK);
        WaitUntil([&] {
            if (!IsWindow(box))
                return true;
            CString t = Text(ok);
            // A text read from the driver thread while the box's thread is
            // setting it can come out half-written under load; only whole
            // captions count.
            bool whole = t == L"OK" || (t.GetLength() == 6 && t.Left(5) == L"OK = ");
            if (IsWindow(box) && whole && (seen.empty() || seen.back() != t))
                seen.push_back(t);
            return false;
        }, 8000);
    });
    EXPECT_EQ(answer, (int)(XMB_TIMEDOUT | IDOK));
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen[0], L"OK");
    EXPECT_EQ(seen[1], L"OK = 3");
    EXPECT_EQ(seen[2], L"OK = 2");
    EXPECT_EQ(seen[3], L"OK = 1");
}

TEST(XMessageBoxTest, ClickOnTheBoxStopsTheCountdownForGood)
{
    XMessageBoxParams p;
    p.nTimeoutSeconds = 1500;  // counts as 10
    CString first, afterClick, later;
    int answer = RunBox(NULL, L"Megállítható.", MB_OKCANCEL, &p, NULL, [&](HWND box) {
        HWND ok = Control(box, IDOK);
        WaitUntil([&] { return Text(ok) != L"OK"; }, 3000);
        first = Text(ok);
        PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        PostMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        WaitUntil([&] { return Text(ok) == L"OK"; }, 2000);
        afterClick = Text(ok);
        Sleep(1500);
        later = Text(ok);
        ClickId(box, IDCANCEL);
    });
    EXPECT_EQ(first, L"OK = 10");
    EXPECT_EQ(afterClick, L"OK");
    EXPECT_EQ(later, L"OK");
    EXPECT_EQ(answer, IDCANCEL);
}

TEST(XMessageBoxTest, TimeoutOnCancelKeepsTheTickedBit)
{
    XMessageBoxParams p;
    p.nTimeoutSeconds = 1;
    CString counting;
    int answer = RunBox(NULL, L"Mégse alapértelmezés.", MB_OKCANCEL | MB_DEFBUTTON2 | XMB_CHECK_DONTASK, &p, NULL,
                        [&](HWND box) {
        // Ticking is a command too and would stop the countdown: tick through
        // the state, without a click.
        SendMessageW(Control(box, XMB_IDCHECKBOX), BM_SETCHECK, BST_CHECKED, 0);
        WaitUntil([&] { return Text(Control(box, IDCANCEL)) != L"Elvet"; }, 3000);
        counting = Text(Control(box, IDCANCEL));
        WaitForWindowGone(box, 4000);
    });
    EXPECT_EQ(counting, L"Elvet = 1");
    EXPECT_EQ(answer, (int)(XMB_TIMEDOUT | XMB_CHECK_DONTASK | IDCANCEL));
}

TEST(XMessageBoxTest, LockKeepsButtonsAndCloseDisabledWhileTheTitleCounts)
{
    XMessageBoxParams p;
    p.nDisabledSeconds = 2;
    bool okDisabled = false, cancelDisabled = false, closeGreyed = false;
    bool okEnabledAfter = false, closeEnabledAfter = false;
    std::vector<CString> titles;
    CString title;
    int answer = RunBox(NULL, L"Olvassa el figyelmesen.", MB_OKCANCEL, &p, NULL, [&](HWND box) {
        title = Text(box);
        okDisabled = !IsWindowEnabled(Control(box, IDOK));
        cancelDisabled = !IsWindowEnabled(Control(box, IDCANCEL));
        closeGreyed = IsCloseGreyed(box);
        WaitUntil([&] {
            CString t = Text(box);
            if (titles.empty() || titles.back() != t)
                titles.push_back(t);
            return IsWindowEnabled(Control(box, IDOK)) != FALSE;
        }, 6000);
        titles.push_back(Text(box));
        okEnabledAfter = IsWindowEnabled(Control(box, IDOK)) != FALSE;
        closeEnabledAfter = !IsCloseGreyed(box);
        ClickId(box, IDOK);
    });
    EXPECT_TRUE(okDisabled);
    EXPECT_TRUE(cancelDisabled);
    EXPECT_TRUE(closeGreyed);
    EXPECT_TRUE(okEnabledAfter);
    EXPECT_TRUE(closeEnabledAfter);
    ASSERT_GE(titles.size(), 3u);
    EXPECT_NE(std::find(titles.begin(), titles.end(), title + L" 2"), titles.end());
    EXPECT_NE(std::find(titles.begin(), titles.end(), title + L" 1"), titles.end());
    EXPECT_EQ(titles.back(), title);
    EXPECT_EQ(answer, IDOK);
}

// ---------------------------------------------------------------------------
// Ctrl+C

TEST(XMessageBoxTest, CtrlCCopiesTitleTextAndButtonCaptions)
{
    ASSERT_TRUE(ClearClipboard());
    CString copied;
    CString title;
    const DWORD ui = GetCurrentThreadId();
    int answer = RunBox(NULL, kExitText, 0x01000034, NULL, NULL, [&](HWND box) {
        title = Text(box);
        // Copying again is harmless: on a loaded machine a first key may be lost.
        for (int i = 0; i < 5 && !PressCtrlKey(FocusOrBox(box, ui), 'C', [] { return !ClipboardText().IsEmpty(); }, 2000);
             ++i) {
        }
        copied = ClipboardText();
        ClickId(box, IDNO);
    });
    EXPECT_EQ(answer, IDNO);
    CString dashes = CString(L'-', 27) + L"\r\n";
    CString expected = dashes + title + L"\r\n" + dashes + kExitText + L"\r\n" + dashes +
                       L"Igen   Nem   Ne kérdezze többet!   \r\n" + dashes;
    EXPECT_EQ(copied, expected);
}

TEST(XMessageBoxTest, CtrlCCutsLongTitleAndText)
{
    ASSERT_TRUE(ClearClipboard());
    CString longText = Repeat(L'x', 4500) + L"VÉGE";
    CString copied, title;
    const DWORD ui = GetCurrentThreadId();
    CWindowDriver driver([&] {
        HWND box = WaitForWindow(L"#32770", NULL);
        ASSERT_TRUE(box);
        title = Text(box);
        // Copying again is harmless: on a loaded machine a first key may be lost.
        for (int i = 0; i < 5 && !PressCtrlKey(FocusOrBox(box, ui), 'C', [] { return !ClipboardText().IsEmpty(); }, 2000);
             ++i) {
        }
        copied = ClipboardText();
        ClickId(box, IDOK);
    });
    CString longTitle = Repeat(L'T', 1200);
    int answer = XMessageBox(NULL, longText, longTitle, MB_OK | XMB_NOSOUND);
    EXPECT_FALSE(driver.Join());
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(title, longTitle.Left(1023));
    CString dashes = CString(L'-', 27) + L"\r\n";
    CString expected = dashes + longTitle.Left(1000) + L"\r\n" + dashes + longText.Left(4000) + L"\r\n" + dashes +
                       L"OK   \r\n" + dashes;
    EXPECT_EQ(copied, expected);
}

// ---------------------------------------------------------------------------
// Owner, failures

TEST(XMessageBoxTest, OwnerIsDisabledWhileTheBoxIsUpAndCentredOn)
{
    HWND owner = MakeOwner(true);
    ASSERT_TRUE(owner);
    bool disabledDuring = false;
    RECT rcBox = {}, rcOwner = {};
    GetWindowRect(owner, &rcOwner);
    int answer = RunBox(owner, L"Tulajdonos letiltva?", MB_OKCANCEL, NULL, NULL, [&](HWND box) {
        disabledDuring = !IsWindowEnabled(owner);
        GetWindowRect(box, &rcBox);
        ClickId(box, IDOK);
    });
    EXPECT_EQ(answer, IDOK);
    EXPECT_TRUE(disabledDuring);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_NEAR((rcBox.left + rcBox.right) / 2, (rcOwner.left + rcOwner.right) / 2, 1);
    EXPECT_NEAR((rcBox.top + rcBox.bottom) / 2, (rcOwner.top + rcOwner.bottom) / 2, 1);
    DestroyWindow(owner);
}

TEST(XMessageBoxTest, OwnerDisabledBeforeStaysDisabled)
{
    HWND owner = MakeOwner(false);
    ASSERT_TRUE(owner);
    int answer = RunBox(owner, L"Már letiltott tulajdonos.", MB_OK, NULL, NULL, [](HWND box) { ClickId(box, IDOK); });
    EXPECT_EQ(answer, IDOK);
    EXPECT_FALSE(IsWindowEnabled(owner));
    DestroyWindow(owner);
}

TEST(XMessageBoxTest, GivenPositionAndTopmost)
{
    XMessageBoxParams p;
    p.x = 50;
    p.y = 60;
    RECT rc = {};
    bool topmost = false;
    int answer = RunBox(NULL, L"Bal felső sarokban.", MB_OK | MB_TOPMOST, &p, NULL, [&](HWND box) {
        GetWindowRect(box, &rc);
        topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        ClickId(box, IDOK);
    });
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(rc.left, 50);
    EXPECT_EQ(rc.top, 60);
    EXPECT_TRUE(topmost);
}

TEST(XMessageBoxTest, BoxThatCannotBeShownAnswersMinusOne)
{
    // An owner handle that names no window: the box cannot be created.
    HWND bogus = (HWND)(ULONG_PTR)0x7654321;
    ASSERT_FALSE(IsWindow(bogus));
    int answer = XMessageBox(bogus, L"Nem jelenhet meg.", L"Hiba", MB_OK | XMB_CHECK_DONTASK | XMB_NOSOUND);
    EXPECT_EQ(answer, -1);
    EXPECT_EQ(FindTopWindow(L"#32770", L"Hiba"), nullptr);
}

TEST(XMessageBoxTest, QuitWhileUpAnswersMinusOneAndPostsTheQuitAgain)
{
    HWND owner = MakeOwner(true);
    ASSERT_TRUE(owner);
    DWORD ui = GetCurrentThreadId();
    CString title = NextTitle();
    CWindowDriver driver([&] {
        HWND box = WaitForWindow(L"#32770", title);
        ASSERT_TRUE(box);
        PostThreadMessageW(ui, WM_QUIT, 7, 0);
    });
    int answer = XMessageBox(owner, L"Kilépés közben.", title, MB_YESNO | XMB_CHECK_DONTASK);
    EXPECT_EQ(answer, -1);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(FindTopWindow(L"#32770", title), nullptr);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(driver.Join());
    DestroyWindow(owner);
}

TEST(XMessageBoxTest, SystemModalStopIsTheSystemBox)
{
    CString title = NextTitle();
    bool ours = true, textShown = false;
    CWindowDriver driver([&] {
        HWND box = WaitForWindow(L"#32770", title);
        ASSERT_TRUE(box);
        ours = Control(box, XMB_IDMESSAGE) != NULL;
        textShown = ControlByText(box, L"Ne figyelmeztessen többet!") != NULL;
        ClickId(box, IDOK);
    });
    // A string id is turned into its text for the system's box as well.
    int answer = XMessageBox(NULL, MAKEINTRESOURCEW(IDS_XMB_DONTWARN), title, MB_OK | MB_ICONSTOP | MB_SYSTEMMODAL);
    EXPECT_FALSE(driver.Join());
    EXPECT_FALSE(ours);
    EXPECT_TRUE(textShown);
    EXPECT_EQ(answer, IDOK);
}

// ---------------------------------------------------------------------------
// Report

namespace {
CString g_reportText;
DWORD g_reportData = 0;
int g_reportCalls = 0;
void CALLBACK RecordReport(LPCWSTR text, DWORD data)
{
    g_reportText = text;
    g_reportData = data;
    ++g_reportCalls;
}
} // namespace

TEST(XMessageBoxTest, ReportButtonCallsBackAndTheBoxStays)
{
    g_reportCalls = 0;
    XMessageBoxParams p;
    p.pfnReport = RecordReport;
    p.dwReportData = 0xC0FFEE;
    bool stayed = false;
    BoxView v;
    int answer = RunBox(NULL, L"Jelentendő hiba.", MB_OK, &p, &v, [&](HWND box) {
        ClickId(box, XMB_IDREPORT);
        WaitUntil([&] { return g_reportCalls > 0; }, 2000);
        Sleep(200);
        stayed = IsWindow(box) != FALSE;
        ClickId(box, IDOK);
    });
    EXPECT_EQ(Describe(v.buttons), Describe({ { IDOK, L"OK" }, { XMB_IDREPORT, L"Rep&ort" } }));
    EXPECT_TRUE(stayed);
    EXPECT_EQ(g_reportCalls, 1);
    EXPECT_EQ(g_reportText, L"Jelentendő hiba.");
    EXPECT_EQ(g_reportData, 0xC0FFEEu);
    EXPECT_EQ(answer, IDOK);
}

// What a handler of the box throws (here the Report callback) cannot cross
// the dialog manager's frames: the box ends answering -1, the program goes
// on, and the next box works.
namespace {
std::function<void()> g_reportRaise;
void CALLBACK ThrowingReport(LPCWSTR, DWORD)
{
    g_reportRaise();
}
} // namespace

TEST(XMessageBoxTest, AHandlerThatThrowsEndsTheBoxAsNotShown)
{
    const Raisers raises = EveryKindOfException();
    for (const auto& raise : raises) {
        SCOPED_TRACE(raise.first);
        g_reportRaise = raise.second;
        XMessageBoxParams p;
        p.pfnReport = ThrowingReport;
        bool gone = false;
        int answer = RunBox(NULL, L"Jelentendő hiba.", MB_OKCANCEL, &p, NULL, [&](HWND box) {
            ClickId(box, XMB_IDREPORT);
            gone = WaitForWindowGone(box, 5000);
        });
        EXPECT_TRUE(gone);
        EXPECT_EQ(answer, -1);
        EXPECT_EQ(RunBox(NULL, L"Utána.", MB_OK, NULL, NULL, [](HWND box) { ClickId(box, IDOK); }), IDOK);
    }
}

// What the Help button asked of the help viewer.
struct HelpCall
{
    CString file;
    UINT command;
    ULONG_PTR data;
};
std::vector<HelpCall> g_helpCalls;
std::atomic<int> g_helpCount{0};

BOOL WINAPI RecordWinHelp(HWND, LPCWSTR file, UINT command, ULONG_PTR data)
{
    g_helpCalls.push_back(HelpCall{file, command, data});
    ++g_helpCount;
    return TRUE;
}

TEST(XMessageBoxTest, HelpOpensTheProgramsHelpFileAtTheContextOrItsSearchAndTheBoxStays)
{
    CImportHook hook("user32.dll", "WinHelpW", reinterpret_cast<void*>(&RecordWinHelp));
    ASSERT_TRUE(hook.Hooked());
    struct {
        int context;
        UINT command;
        ULONG_PTR data;
    } cases[] = {{0, HELP_PARTIALKEY, 0}, {77, HELP_CONTEXT, 77}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.context);
        g_helpCalls.clear();
        g_helpCount = 0;
        XMessageBoxParams p;
        p.nHelpContextId = c.context;
        bool stayed = false;
        int answer = RunBox(NULL, L"Súgóval.", MB_OK | MB_HELP, &p, NULL, [&](HWND box) {
            ClickId(box, XMB_IDHELP);
            // The call is made on the box's thread; the box then stays.
            WaitUntil([] { return g_helpCount > 0; }, 2000);
            stayed = IsWindow(box) != FALSE;
            ClickId(box, IDOK);
        });
        EXPECT_EQ(answer, IDOK);
        EXPECT_TRUE(stayed);
        ASSERT_EQ(g_helpCalls.size(), 1u);
        EXPECT_EQ(g_helpCalls[0].command, c.command);
        EXPECT_EQ(g_helpCalls[0].data, c.data);
        CString file = g_helpCalls[0].file;
        EXPECT_EQ(file.Right(4).MakeLower(), CString(L".hlp"));
        EXPECT_EQ(file.Left(file.GetLength() - 4), ProgramFolder() + L"xmessagebox_test");
    }
}

// ---------------------------------------------------------------------------
// Remembered answers

TEST(XMessageBoxTest, EncodeNameMapsEachCharacterByPosition)
{
    struct Case { LPCWSTR name; LPCWSTR encoded; };
    const Case cases[] = {
        { L"", L"" },
        { L"AB", L"BH" },
        { L"Main.cpp", L"NcpzCyOT" },
        { L"ő", L"R" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(XMessageBoxEncodeName(c.name), c.encoded);
    // The name given is left as it is.
    wchar_t name[] = L"Main.cpp";
    XMessageBoxEncodeName(name);
    EXPECT_STREQ(name, L"Main.cpp");
}

class XMessageBoxRememberTest : public testing::Test
{
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\FolionexTeszt"); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\FolionexTeszt"); }
    const wchar_t* Key() const { return L"Software\\FolionexTeszt\\xmessagebox_test.exe\\XMessageBox"; }
};

TEST_F(XMessageBoxRememberTest, TickedAnswerIsWrittenAndThenAnsweredWithoutABox)
{
    XMessageBoxParams p;
    wcscpy(p.szCompanyName, L"FolionexTeszt");
    p.pszModuleName = L"Main.cpp";
    p.nLineNumber = 42;
    EXPECT_EQ(XMessageBoxReadAnswer(L"FolionexTeszt", L"Main.cpp", 42), 0);

    int answer = RunBox(NULL, kExitText, 0x01000034, &p, NULL, [](HWND box) {
        Tick(Control(box, XMB_IDCHECKBOX));
        ClickId(box, IDYES);
    });
    EXPECT_EQ(answer, 0x01000006);
    DWORD stored = 0;
    ASSERT_TRUE(ReadRegDword(HKEY_CURRENT_USER, Key(), L"NcpzCyOT42", stored));
    EXPECT_EQ(stored, 0x01000006u);
    EXPECT_EQ(XMessageBoxReadAnswer(L"FolionexTeszt", L"Main.cpp", 42), 0x01000006);

    // Asked again: the remembered answer, no box.
    EXPECT_EQ(XMessageBox(NULL, kExitText, L"Nem jelenik meg", 0x01000034, &p), 0x01000006);
    EXPECT_EQ(FindTopWindow(L"#32770", L"Nem jelenik meg"), nullptr);

    // Without a check-box bit in the style the box asks anyway.
    answer = RunBox(NULL, kExitText, 0x34, &p, NULL, [](HWND box) { ClickId(box, IDNO); });
    EXPECT_EQ(answer, IDNO);
}

TEST_F(XMessageBoxRememberTest, UntickedOrNamelessAnswersAreNotWritten)
{
    XMessageBoxParams p;
    wcscpy(p.szCompanyName, L"FolionexTeszt");
    p.pszModuleName = L"Main.cpp";
    p.nLineNumber = 7;
    RunBox(NULL, kExitText, 0x01000034, &p, NULL, [](HWND box) { ClickId(box, IDYES); });
    EXPECT_EQ(XMessageBoxReadAnswer(L"FolionexTeszt", L"Main.cpp", 7), 0);

    p.pszModuleName = L"";
    RunBox(NULL, kExitText, 0x01000034, &p, NULL, [](HWND box) {
        Tick(Control(box, XMB_IDCHECKBOX));
        ClickId(box, IDYES);
    });
    HKEY key = NULL;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, Key(), 0, KEY_READ, &key), ERROR_SUCCESS);
    if (key)
        RegCloseKey(key);
}

TEST_F(XMessageBoxRememberTest, ModuleNameIsCutAt490Characters)
{
    CString longName = Repeat(L'm', 600);
    XMessageBoxParams p;
    wcscpy(p.szCompanyName, L"FolionexTeszt");
    p.pszModuleName = longName;
    p.nLineNumber = 3;
    int answer = RunBox(NULL, kExitText, 0x01000030, &p, NULL, [](HWND box) {
        Tick(Control(box, XMB_IDCHECKBOX));
        ClickId(box, IDOK);
    });
    EXPECT_EQ(answer, 0x01000001);
    CString valueName = XMessageBoxEncodeName(longName.Left(490)) + L"3";
    DWORD stored = 0;
    EXPECT_TRUE(ReadRegDword(HKEY_CURRENT_USER, Key(), valueName, stored));
    EXPECT_EQ(stored, 0x01000001u);
    EXPECT_EQ(XMessageBoxReadAnswer(L"FolionexTeszt", Repeat(L'm', 500), 3), 0x01000001);
}

// ---------------------------------------------------------------------------
// Layout of the real box

namespace {

// Compares every control of a shown box with the template built for the
// same call: position and size through the dialog units, and the client size.
void ExpectBoxMatchesTemplate(HWND box, const CXDialogTemplate& t)
{
    for (int i = 0; i < t.GetItemCount(); ++i) {
        const CXDialogItem* item = t.GetItem(i);
        HWND control = Control(box, item->m_nId);
        ASSERT_TRUE(control) << item->m_nId;
        RECT expected = { item->m_x, item->m_y, item->m_x + item->m_cx, item->m_y + item->m_cy };
        MapDialogRect(box, &expected);
        RECT actual = RectInParent(control);
        EXPECT_EQ(actual.left, expected.left) << item->m_nId;
        EXPECT_EQ(actual.top, expected.top) << item->m_nId;
        EXPECT_EQ(actual.right, expected.right) << item->m_nId;
        EXPECT_EQ(actual.bottom, expected.bottom) << item->m_nId;
    }
    RECT client, expected = { 0, 0, t.GetDialogCx(), t.GetDialogCy() };
    GetClientRect(box, &client);
    MapDialogRect(box, &expected);
    EXPECT_EQ(client.right, expected.right);
    EXPECT_EQ(client.bottom, expected.bottom);
}

} // namespace

TEST(XMessageBoxTest, ShownBoxHasTheBandLayoutOfItsTemplate)
{
    struct Case { LPCWSTR text; UINT style; };
    const Case cases[] = {
        { kExitText, 0x01000034 },
        { L"Első sor.\nMásodik sor.\nHarmadik sor.", MB_YESNOCANCEL | MB_ICONQUESTION },
        { L"Nincs ikon.", MB_OKCANCEL },
    };
    const int slack = LOWORD(GetDialogBaseUnits()) / 4 + 1;  // what the dialog units round away
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "style 0x" << std::hex << c.style);
        XMessageBoxParams p;
        p.dwOptions = XMB_OPT_BAND;  // as the box sets it on this system
        CXDialogTemplate t(NULL, c.text, L"Elrendezés", c.style, p);
        RECT button = {}, message = {}, client = {};
        RunBox(NULL, c.text, c.style, NULL, NULL, [&](HWND box) {
            ExpectBoxMatchesTemplate(box, t);
            GetClientRect(box, &client);
            message = RectInParent(Control(box, XMB_IDMESSAGE));
            button = RectInParent(Control(box, (c.style & 0xF) == MB_YESNO ? IDNO : IDCANCEL));
            ClickFirstButton(box);
        });
        // Right-aligned buttons 16 pixels from the edge, text 32 (one line) or
        // level with the icon (several lines) from the top.
        EXPECT_NEAR(button.right, client.right - 16, slack);
        EXPECT_NEAR(button.bottom - button.top, t.GetButtonHeight(), slack);
        int left = (c.style & MB_ICONMASK) ? 16 + 24 + GetSystemMetrics(SM_CXICON) : 16;
        EXPECT_NEAR(message.left, left, slack);
        bool lifted = (c.style & MB_ICONMASK) && wcschr(c.text, L'\n');
        EXPECT_NEAR(message.top, lifted ? 24 : 32, slack);
    }
}

// ---------------------------------------------------------------------------
// Pictures for the documentation: FOLIONEX_SCREENSHOTS names a folder.

TEST(XMessageBoxTest, Screenshots)
{
    wchar_t folder[MAX_PATH] = { 0 };
    if (!GetEnvironmentVariableW(L"FOLIONEX_SCREENSHOTS", folder, MAX_PATH))
        GTEST_SKIP() << "FOLIONEX_SCREENSHOTS is not set";
    CString dir(folder);
    auto shoot = [&](LPCWSTR title, LPCWSTR file, int endId) {
        return [=] {
            HWND box = WaitForWindow(L"#32770", title);
            ASSERT_TRUE(box);
            Sleep(500);
            EXPECT_TRUE(SaveWindowBitmap(box, dir + L"\\" + file));
            ClickId(box, endId);
        };
    };
    CWindowDriver exitBox(shoot(L"Kilépés", L"xmessagebox-exit.bmp", IDNO));
    XMessageBox(NULL, kExitText, L"Kilépés", 0x01000034 | XMB_NOSOUND);
    EXPECT_FALSE(exitBox.Join());

    XMessageBoxParams p;
    p.bUseOwnCaptions = TRUE;
    wcscpy(p.szOwnCaptions[XMB_CAP_YES], L"Kapcsolódás");
    wcscpy(p.szOwnCaptions[XMB_CAP_NO], L"Letöltés");
    wcscpy(p.szOwnCaptions[XMB_CAP_CANCEL], L"Kilép");
    CWindowDriver startBox(shoot(L"Folionex", L"xmessagebox-startup.bmp", IDCANCEL));
    XMessageBox(NULL,
                L"Az adatokat nem sikerült betölteni sem az adatbázisból, sem a helyi mentésből.\n"
                L"Mit szeretne tenni?",
                L"Folionex", 0x20000033 | XMB_NOSOUND, &p);
    EXPECT_FALSE(startBox.Join());
}
