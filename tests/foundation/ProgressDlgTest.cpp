#include <gtest/gtest.h>
#include <atomic>
#include "foundation/ProgressDlg.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"
#include "resource.h"

namespace {

using namespace testing_support;

const wchar_t kTitle[] = L"Letöltés próba";

// A worker that reports through a sink posting to the dialog. It runs the
// given steps, then waits for an abort request or reports completion.
struct CWorker
{
    CWndProgress sink;
    int steps = 5;
    bool waitForAbort = false;
    std::atomic<bool> sawAbort{false};

    static DWORD WINAPI Proc(LPVOID p)
    {
        CWorker* w = static_cast<CWorker*>(p);
        CProgressRecord* start = new CProgressRecord(CProgressRecord::KIND_START, CProgressRecord::FLAG_VALUE, w->steps);
        w->sink.ProcessMessage(start);
        for (int i = 1; i <= w->steps; ++i) {
            CString text;
            text.Format(L"%d. lépés", i);
            w->sink.Report(i, text);
        }
        if (w->waitForAbort) {
            for (int i = 0; i < 1000 && !w->sink.IsAbortRequested(); ++i)
                Sleep(10);
            if (w->sink.IsAbortRequested()) {
                w->sawAbort = true;
                w->sink.PostAborted();
                w->sink.AcknowledgeAbort();
            }
            return 0;
        }
        w->sink.PostCompleted();
        return 0;
    }
};

// Posts a record that only sets the second text and waits until it shows.
bool ShowSecondText(HWND dialog, LPCWSTR text)
{
    CWndProgress sink(dialog);
    CProgressRecord* record = new CProgressRecord(CProgressRecord::KIND_POSITION, CProgressRecord::FLAG_SECOND_TEXT, 0);
    record->m_secondText = text;
    sink.ProcessMessage(record);
    return WaitUntil([&] { return Text(Control(dialog, IDC_PROGRESS_TEXT2)) == text; });
}

HANDLE StartSuspended(CWorker& worker)
{
    return CreateThread(NULL, 0, CWorker::Proc, &worker, CREATE_SUSPENDED, NULL);
}

TEST(ProgressDlg, RunsAWorkerToCompletionAndClosesByItself)
{
    CWorker worker;
    worker.sink.SetCompletedTexts(L"Kész", L"Minden rendben", L"OK");
    CProgressDlg dlg(NULL, true);
    dlg.m_strTitle = kTitle;
    dlg.m_strFirstText = L"Indul ...";
    worker.sink.SetTarget(&dlg);
    dlg.m_hWorkerThread = StartSuspended(worker);
    CWindowDriver driver([] {});
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_FALSE(driver.Join());
    EXPECT_TRUE(dlg.m_bCompleted);
    EXPECT_FALSE(dlg.m_bAborted);
    WaitForSingleObject(dlg.m_hWorkerThread, 5000);
    CloseHandle(dlg.m_hWorkerThread);
}

TEST(ProgressDlg, WithoutAutoCloseShowsTheFinalTextsAndClosesWithoutAsking)
{
    CWorker worker;
    worker.sink.SetCompletedTexts(L"Kész", L"Minden rendben", L"OK");
    CProgressDlg dlg(NULL, false);
    dlg.m_strTitle = kTitle;
    worker.sink.SetTarget(&dlg);
    dlg.m_hWorkerThread = StartSuspended(worker);
    bool closeCalled = false;
    dlg.SetCloseHandler(&closeCalled, [](void* p) { *static_cast<bool*>(p) = true; return true; });
    CString first, second, button;
    int pos = -1;
    CWindowDriver driver([&] {
        HWND w = WaitForWindow(L"#32770", kTitle);
        ASSERT_TRUE(w);
        ASSERT_TRUE(WaitUntil([&] { return Text(Control(w, IDCANCEL)) == L"OK"; }));
        first = Text(Control(w, IDC_PROGRESS_TEXT1));
        second = Text(Control(w, IDC_PROGRESS_TEXT2));
        button = Text(Control(w, IDCANCEL));
        pos = (int)SendMessageW(Control(w, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0);
        PressKey(Control(w, IDCANCEL), VK_RETURN); // Enter does nothing
        // A record posted after the key shows once the key has been handled.
        ASSERT_TRUE(ShowSecondText(w, L"Enter után"));
        ASSERT_TRUE(IsWindow(w));
        Click(Control(w, IDCANCEL));
        EXPECT_TRUE(WaitForWindowGone(w));
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_FALSE(driver.Join());
    EXPECT_EQ(first, L"Kész");
    EXPECT_EQ(second, L"Minden rendben");
    EXPECT_EQ(button, L"OK");
    EXPECT_EQ(pos, 5);
    EXPECT_TRUE(dlg.m_bCompleted);
    EXPECT_TRUE(closeCalled);
    WaitForSingleObject(dlg.m_hWorkerThread, 5000);
    CloseHandle(dlg.m_hWorkerThread);
}

TEST(ProgressDlg, CancelAsksAndRunsTheAbortHandshake)
{
    CWorker worker;
    worker.waitForAbort = true;
    worker.sink.SetAbortedTexts(L"Megszakítva", L"", L"Kilép");
    CProgressDlg dlg(NULL, false);
    dlg.m_strTitle = kTitle;
    worker.sink.SetTarget(&dlg);
    dlg.SetAbortHandler(&worker.sink, CProgress::AbortCallback);
    dlg.SetCloseHandler(&worker.sink, CProgress::DetachCallback);
    dlg.m_hWorkerThread = StartSuspended(worker);
    bool stayedOnNo = false;
    CWindowDriver driver([&] {
        HWND w = WaitForWindow(L"#32770", kTitle);
        ASSERT_TRUE(w);
        // "No" leaves everything running.
        PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
        HWND q = WaitForWindow(L"#32770", L"Figyelmeztetés");
        ASSERT_TRUE(q);
        EXPECT_EQ(Text(Control(q, 0xFFFF)), L"Valóban megszakítsam a letöltést?");
        Click(Control(q, IDNO));
        ASSERT_TRUE(WaitForWindowGone(q));
        stayedOnNo = IsWindow(w) && !worker.sawAbort;
        // "Yes" asks the worker to stop and closes.
        CloseBox(w);
        q = WaitForWindow(L"#32770", L"Figyelmeztetés");
        ASSERT_TRUE(q);
        Click(Control(q, IDYES));
        EXPECT_TRUE(WaitForWindowGone(w, 8000));
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_FALSE(driver.Join());
    EXPECT_TRUE(stayedOnNo);
    EXPECT_TRUE(worker.sawAbort);
    EXPECT_TRUE(dlg.m_bAborted);
    EXPECT_TRUE(worker.sink.IsDetached());
    WaitForSingleObject(dlg.m_hWorkerThread, 5000);
    CloseHandle(dlg.m_hWorkerThread);
}

TEST(ProgressDlg, BarStaysInItsRange)
{
    CProgressDlg dlg(NULL, false);
    dlg.m_strTitle = kTitle;
    dlg.m_bCloseOnAbort = false;
    int posAbove = -1, rangeAfterNegative = -1;
    CWindowDriver driver([&] {
        HWND w = WaitForWindow(L"#32770", kTitle);
        ASSERT_TRUE(w);
        HWND bar = Control(w, IDC_PROGRESS_BAR);
        CWndProgress sink(w);
        sink.ProcessMessage(new CProgressRecord(CProgressRecord::KIND_POSITION, CProgressRecord::FLAG_VALUE, 500));
        ASSERT_TRUE(WaitUntil([&] { return SendMessageW(bar, PBM_GETPOS, 0, 0) != 0; }));
        posAbove = (int)SendMessageW(bar, PBM_GETPOS, 0, 0);
        sink.ProcessMessage(new CProgressRecord(CProgressRecord::KIND_START, CProgressRecord::FLAG_VALUE, -7));
        ASSERT_TRUE(WaitUntil([&] {
            return SendMessageW(bar, PBM_GETRANGE, FALSE, 0) == 100 && SendMessageW(bar, PBM_GETRANGE, TRUE, 0) == 0;
        }));
        rangeAfterNegative = (int)SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
        // An aborted record without auto-close: the flag (set once a record
        // posted after it shows), then the button closes without asking.
        sink.ProcessMessage(new CProgressRecord(CProgressRecord::KIND_ABORTED, 0, 0));
        ASSERT_TRUE(ShowSecondText(w, L"Megszakítva"));
        Click(Control(w, IDCANCEL));
        EXPECT_TRUE(WaitForWindowGone(w));
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_FALSE(driver.Join());
    EXPECT_EQ(posAbove, 100);
    EXPECT_EQ(rangeAfterNegative, 100);
    EXPECT_TRUE(dlg.m_bAborted);
}

} // namespace
