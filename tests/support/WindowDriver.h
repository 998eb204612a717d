// Driving the test program's own windows from a second thread while the
// test's thread sits in a modal loop (a dialog, XMessageBox, a system box).
//
//   testing_support::CWindowDriver driver([&] {
//       HWND box = testing_support::WaitForWindow(L"#32770", L"Kilépés");
//       ASSERT_TRUE(box);
//       testing_support::Click(testing_support::Control(box, IDYES));
//   });
//   int answer = XMessageBox(NULL, L"...", L"Kilépés", MB_YESNO);
//   EXPECT_FALSE(driver.Join());
//
// Every wait is bounded. When the test's thread is still in its modal loop a
// while after the script ended (a click that should have closed the window
// did not), the watchdog ends the loop: WM_QUIT to the thread and WM_CLOSE to
// its windows, again and again until Join. Clicks and keys are posted, never
// sent, so a click that opens further modal UI does not block the driver.
#pragma once
#include <windows.h>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <vector>
#include "afxstr.h"

namespace testing_support {

class CWindowDriver
{
public:
    // The constructing thread is the UI thread. graceMs: how long the UI
    // thread may stay in its loop after the script has returned.
    explicit CWindowDriver(std::function<void()> script, DWORD graceMs = 5000);
    ~CWindowDriver();
    CWindowDriver(const CWindowDriver&) = delete;
    CWindowDriver& operator=(const CWindowDriver&) = delete;

    // Waits for the script and removes any WM_QUIT left in the UI thread's
    // queue; true when the watchdog had to end the loop.
    bool Join();
    DWORD UiThreadId() const { return m_uiThread; }

private:
    void Run();

    std::function<void()> m_script;
    DWORD m_graceMs;
    DWORD m_uiThread;
    HANDLE m_done;
    volatile LONG m_timedOut;
    bool m_joined;
    std::thread m_thread;
};

// Polls condition every 20 ms; false when it did not come true in time.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

// Input posted to a window is handled after any message sent to it, so a
// sent message does not tell that the input has been handled. This posts a
// marker to the window after whatever was posted to its thread before, and
// waits until that thread takes the marker from its queue: every message
// posted before it has then been dispatched. False when it was not taken in
// time.
bool WaitForPostedInput(HWND target, DWORD timeoutMs = 5000);

// A visible top-level window of this process with this class and title
// (null: any), or null.
HWND FindTopWindow(LPCWSTR className, LPCWSTR title);
HWND WaitForWindow(LPCWSTR className, LPCWSTR title, DWORD timeoutMs = 5000);
bool WaitForWindowGone(HWND hwnd, DWORD timeoutMs = 5000);

// Controls.
HWND Control(HWND dialog, int id);
// The first direct child with this text (and class, when given).
HWND ControlByText(HWND parent, LPCWSTR text, LPCWSTR className = NULL);
// The direct children in window order, of one class when given.
std::vector<HWND> Children(HWND parent, LPCWSTR className = NULL);
CString Text(HWND hwnd);
CString ClassOf(HWND hwnd);
// What a message box shows: its message (the first static with text) and
// the captions of its buttons by control id.
struct BoxContent
{
    CString text;
    std::map<int, CString> buttons;
};
BoxContent ReadBox(HWND box);
// A visible message box of this process whose message is exactly the text
// (whatever its title), or null; the same waited for.
HWND FindBoxWithText(LPCWSTR text);
HWND WaitForBoxWithText(LPCWSTR text, DWORD timeoutMs = 5000);
// The window rectangle in the client coordinates of its parent (or owner).
RECT RectInParent(HWND child);
bool IsChecked(HWND button);
// List views in report view: a cell's text, whether the row's check box is
// ticked, and selecting (and focusing) one row alone.
CString ListItemText(HWND list, int row, int column);
bool ListItemChecked(HWND list, int row);
void SelectListItem(HWND list, int row);
// The window with the keyboard focus in the given thread.
HWND FocusOf(DWORD threadId);
// Whether the system menu's Close item is greyed.
bool IsCloseGreyed(HWND window);

// Acting.
void Click(HWND button);                     // BM_CLICK
void ClickId(HWND dialog, int id);
// Clicks a check box until it shows the state asked for; false when it did not in time.
bool Tick(HWND checkBox, bool checked = true, DWORD timeoutMs = 2000);
void PressKey(HWND target, UINT vk);         // WM_KEYDOWN, WM_KEYUP
void TypeText(HWND target, LPCWSTR text);    // WM_CHAR per character
// Ctrl + vk to a window of another thread of this process, whichever window
// has the foreground: the key is posted while Ctrl is held in that thread's
// key state (GetKeyState sees it), until taken() says the key has had its
// effect (without taken, for 300 ms). False when taken() did not come true.
bool PressCtrlKey(HWND target, UINT vk, const std::function<bool()>& taken = nullptr, DWORD timeoutMs = 3000);
void CloseBox(HWND window);                  // the close box: WM_SYSCOMMAND SC_CLOSE

// A mouse click (or a double click) at a point of the window's client area,
// posted as the mouse would give it.
void PostMouseClick(HWND target, POINT pt, bool twice = false);

// Clipboard text (CF_UNICODETEXT), empty when none.
CString ClipboardText();
bool SetClipboardText(const std::wstring& text);
bool ClearClipboard();

// Saves the screen area of a window as a 24-bit BMP file.
bool SaveWindowBitmap(HWND hwnd, LPCWSTR path);

} // namespace testing_support

// Lets GoogleTest print CString values (as UTF-8) in failure messages.
inline void PrintTo(const CString& s, std::ostream* os)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, s, s.GetLength(), NULL, 0, NULL, NULL);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, s, s.GetLength(), &out[0], n, NULL, NULL);
    *os << '"' << out << '"';
}
