#include "support/WindowDriver.h"
#include <commctrl.h>
#include <string>

namespace testing_support {

CWindowDriver::CWindowDriver(std::function<void()> script, DWORD graceMs)
    : m_script(std::move(script)), m_graceMs(graceMs), m_uiThread(GetCurrentThreadId()),
      m_done(CreateEventW(NULL, TRUE, FALSE, NULL)), m_timedOut(0), m_joined(false)
{
    m_thread = std::thread([this] { Run(); });
}

CWindowDriver::~CWindowDriver()
{
    Join();
    if (m_done)
        CloseHandle(m_done);
}

namespace {

BOOL CALLBACK PostCloseToWindow(HWND hwnd, LPARAM)
{
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    return TRUE;
}

} // namespace

void CWindowDriver::Run()
{
    if (m_script)
        m_script();
    if (WaitForSingleObject(m_done, m_graceMs) == WAIT_OBJECT_0)
        return;
    // The UI thread is still in its loop: end it until Join says it is out.
    InterlockedExchange(&m_timedOut, 1);
    do {
        PostThreadMessageW(m_uiThread, WM_QUIT, 0, 0);
        EnumThreadWindows(m_uiThread, PostCloseToWindow, 0);
    } while (WaitForSingleObject(m_done, 200) != WAIT_OBJECT_0);
}

bool CWindowDriver::Join()
{
    if (!m_joined) {
        m_joined = true;
        SetEvent(m_done);
        if (m_thread.joinable())
            m_thread.join();
        MSG msg;
        while (PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    return m_timedOut != 0;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
}

namespace {

struct FindParams
{
    LPCWSTR className;
    LPCWSTR title;
    HWND found;
};

BOOL CALLBACK FindTopWindowProc(HWND hwnd, LPARAM lParam)
{
    FindParams* p = (FindParams*)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd))
        return TRUE;
    if (p->className && ClassOf(hwnd).CompareNoCase(p->className) != 0)
        return TRUE;
    if (p->title && Text(hwnd) != p->title)
        return TRUE;
    p->found = hwnd;
    return FALSE;
}

} // namespace

namespace {

// The marker of WaitForPostedInput: the message, the number that tells this
// wait's marker from an earlier one, and the event set when it is taken.
UINT g_markerMessage;
LPARAM g_markerNumber;
HANDLE g_markerTaken;

LRESULT CALLBACK MarkerHook(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == g_markerMessage &&
        msg->lParam == g_markerNumber)
        SetEvent(g_markerTaken);
    return CallNextHookEx(NULL, code, wParam, lParam);
}

} // namespace

bool WaitForPostedInput(HWND target, DWORD timeoutMs)
{
    static CRITICAL_SECTION* lock = [] {
        static CRITICAL_SECTION section;
        InitializeCriticalSection(&section);
        return &section;
    }();
    DWORD thread = GetWindowThreadProcessId(target, NULL);
    if (!thread)
        return false;
    EnterCriticalSection(lock);
    if (!g_markerMessage)
        g_markerMessage = RegisterWindowMessageW(L"FolionexTestPostedInputMarker");
    ++g_markerNumber;
    g_markerTaken = CreateEventW(NULL, TRUE, FALSE, NULL);
    HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, MarkerHook, NULL, thread);
    bool taken = hook && PostMessageW(target, g_markerMessage, 0, g_markerNumber) &&
                 WaitForSingleObject(g_markerTaken, timeoutMs) == WAIT_OBJECT_0;
    if (hook)
        UnhookWindowsHookEx(hook);
    CloseHandle(g_markerTaken);
    g_markerTaken = NULL;
    LeaveCriticalSection(lock);
    return taken;
}

HWND FindTopWindow(LPCWSTR className, LPCWSTR title)
{
    FindParams p = { className, title, NULL };
    EnumWindows(FindTopWindowProc, (LPARAM)&p);
    return p.found;
}

HWND WaitForWindow(LPCWSTR className, LPCWSTR title, DWORD timeoutMs)
{
    HWND found = NULL;
    WaitUntil([&] { return (found = FindTopWindow(className, title)) != NULL; }, timeoutMs);
    return found;
}

bool WaitForWindowGone(HWND hwnd, DWORD timeoutMs)
{
    return WaitUntil([&] { return !IsWindow(hwnd); }, timeoutMs);
}

HWND Control(HWND dialog, int id)
{
    return dialog ? GetDlgItem(dialog, id) : NULL;
}

std::vector<HWND> Children(HWND parent, LPCWSTR className)
{
    std::vector<HWND> out;
    if (!parent)
        return out;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!className || ClassOf(child).CompareNoCase(className) == 0)
            out.push_back(child);
    }
    return out;
}

HWND ControlByText(HWND parent, LPCWSTR text, LPCWSTR className)
{
    for (HWND child : Children(parent, className)) {
        if (Text(child) == text)
            return child;
    }
    return NULL;
}

BoxContent ReadBox(HWND box)
{
    BoxContent content;
    for (HWND child : Children(box, L"Static")) {
        if (content.text.IsEmpty())
            content.text = Text(child);
    }
    for (HWND child : Children(box, L"Button"))
        content.buttons[GetDlgCtrlID(child)] = Text(child);
    return content;
}

namespace {

struct BoxSearch
{
    LPCWSTR text;
    HWND found;
};

BOOL CALLBACK FindBoxProc(HWND hwnd, LPARAM lParam)
{
    BoxSearch* search = reinterpret_cast<BoxSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770" &&
        ReadBox(hwnd).text == search->text) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND FindBoxWithText(LPCWSTR text)
{
    BoxSearch search = {text, NULL};
    EnumWindows(FindBoxProc, (LPARAM)&search);
    return search.found;
}

HWND WaitForBoxWithText(LPCWSTR text, DWORD timeoutMs)
{
    HWND box = NULL;
    WaitUntil([&] { return (box = FindBoxWithText(text)) != NULL; }, timeoutMs);
    return box;
}

CString Text(HWND hwnd)
{
    if (!hwnd)
        return CString();
    int len = GetWindowTextLengthW(hwnd);
    std::wstring buf(len + 2, L'\0');
    int got = GetWindowTextW(hwnd, &buf[0], len + 2);
    return CString(buf.c_str(), got > 0 ? got : 0);
}

CString ClassOf(HWND hwnd)
{
    wchar_t buf[256] = { 0 };
    if (hwnd)
        GetClassNameW(hwnd, buf, 256);
    return CString(buf);
}

RECT RectInParent(HWND child)
{
    RECT rc = { 0, 0, 0, 0 };
    if (!child)
        return rc;
    GetWindowRect(child, &rc);
    HWND parent = GetParent(child);
    if (parent)
        MapWindowPoints(HWND_DESKTOP, parent, (POINT*)&rc, 2);
    return rc;
}

bool IsChecked(HWND button)
{
    return button && SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

CString ListItemText(HWND list, int row, int column)
{
    wchar_t buf[1024] = {0};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buf;
    item.cchTextMax = 1024;
    SendMessageW(list, LVM_GETITEMTEXTW, row, (LPARAM)&item);
    return buf;
}

bool ListItemChecked(HWND list, int row)
{
    return ((SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) >> 12) - 1) == 1;
}

void SelectListItem(HWND list, int row)
{
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    SendMessageW(list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&item);
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, row, (LPARAM)&item);
}

HWND FocusOf(DWORD threadId)
{
    GUITHREADINFO info;
    memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(threadId, &info))
        return NULL;
    return info.hwndFocus;
}

bool IsCloseGreyed(HWND window)
{
    HMENU menu = GetSystemMenu(window, FALSE);
    if (!menu)
        return false;
    UINT state = GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND);
    return state != (UINT)-1 && (state & (MF_GRAYED | MF_DISABLED)) != 0;
}

void Click(HWND button)
{
    if (button)
        PostMessageW(button, BM_CLICK, 0, 0);
}

void ClickId(HWND dialog, int id)
{
    Click(Control(dialog, id));
}

bool Tick(HWND checkBox, bool checked, DWORD timeoutMs)
{
    if (!checkBox)
        return false;
    if (IsChecked(checkBox) != checked)
        Click(checkBox);
    return WaitUntil([&] { return IsChecked(checkBox) == checked; }, timeoutMs);
}

void PressKey(HWND target, UINT vk)
{
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000);
}

void TypeText(HWND target, LPCWSTR text)
{
    for (; text && *text; ++text)
        PostMessageW(target, WM_CHAR, *text, 1);
}

bool PressCtrlKey(HWND target, UINT vk, const std::function<bool()>& taken, DWORD timeoutMs)
{
    DWORD thread = GetWindowThreadProcessId(target, NULL);
    if (!thread || !AttachThreadInput(GetCurrentThreadId(), thread, TRUE))
        return false;
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] |= 0x80;
    SetKeyboardState(keys);
    PressKey(target, vk);
    // A posted key does not carry the key state: Ctrl must stay down until
    // the target has taken the key from its queue.
    bool ok = true;
    if (taken)
        ok = WaitUntil(taken, timeoutMs);
    else
        Sleep(300);
    keys[VK_CONTROL] &= ~0x80;
    SetKeyboardState(keys);
    AttachThreadInput(GetCurrentThreadId(), thread, FALSE);
    return ok;
}

void CloseBox(HWND window)
{
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

CString ClipboardText()
{
    CString out;
    if (!OpenClipboard(NULL))
        return out;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (data) {
        const wchar_t* p = (const wchar_t*)GlobalLock(data);
        if (p) {
            out = p;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return out;
}

bool SetClipboardText(const std::wstring& text)
{
    if (!OpenClipboard(NULL))
        return false;
    EmptyClipboard();
    size_t size = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, size);
    bool ok = false;
    if (data) {
        memcpy(GlobalLock(data), text.c_str(), size);
        GlobalUnlock(data);
        ok = SetClipboardData(CF_UNICODETEXT, data) != NULL;
        if (!ok)
            GlobalFree(data);
    }
    CloseClipboard();
    return ok;
}

void PostMouseClick(HWND target, POINT pt, bool twice)
{
    LPARAM at = MAKELPARAM(pt.x, pt.y);
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(target, WM_LBUTTONUP, 0, at);
    if (twice) {
        PostMessageW(target, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        PostMessageW(target, WM_LBUTTONUP, 0, at);
    }
}

bool ClearClipboard()
{
    if (!OpenClipboard(NULL))
        return false;
    BOOL ok = EmptyClipboard();
    CloseClipboard();
    return ok != FALSE;
}

bool SaveWindowBitmap(HWND hwnd, LPCWSTR path)
{
    RECT rc;
    if (!GetWindowRect(hwnd, &rc))
        return false;
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    HDC screen = GetDC(NULL);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    SelectObject(mem, old);

    BITMAPINFOHEADER bih;
    memset(&bih, 0, sizeof(bih));
    bih.biSize = sizeof(bih);
    bih.biWidth = w;
    bih.biHeight = h;
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    bih.biCompression = BI_RGB;
    int stride = ((w * 3) + 3) & ~3;
    std::string pixels(stride * h, '\0');
    GetDIBits(mem, bmp, 0, h, &pixels[0], (BITMAPINFO*)&bih, DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);

    BITMAPFILEHEADER bfh;
    memset(&bfh, 0, sizeof(bfh));
    bfh.bfType = 0x4D42;
    bfh.bfOffBits = sizeof(bfh) + sizeof(bih);
    bfh.bfSize = bfh.bfOffBits + (DWORD)pixels.size();
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    bool ok = WriteFile(file, &bfh, sizeof(bfh), &put, NULL) && WriteFile(file, &bih, sizeof(bih), &put, NULL) &&
              WriteFile(file, pixels.data(), (DWORD)pixels.size(), &put, NULL);
    CloseHandle(file);
    return ok;
}

} // namespace testing_support
