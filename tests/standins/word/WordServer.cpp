// The stand-in's process: registration on request, otherwise an
// apartment-threaded local server of one application object (a new process
// for every CoCreateInstance), ending when its last object is released.
//   folionex_word_standin.exe /RegServer | /UnregServer | -Embedding
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include "WordServer.h"
#include "WordStandin.h"

namespace word_standin {

namespace {

DWORD g_mainThread = 0;
LONG g_live = 0;
bool g_everLive = false;
bool g_quitRequested = false;
// Ends a server that no client ever reached, and one whose client leaked
// objects after Quit.
const UINT kIdleMs = 30000;
const UINT kAfterQuitMs = 20000;
UINT_PTR g_timer = 0;

std::wstring DataFolder()
{
    wchar_t buf[MAX_PATH] = {0};
    DWORD n = GetEnvironmentVariableW(kDataVariable, buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::wstring();
    std::wstring folder(buf);
    if (folder.back() != L'\\')
        folder += L'\\';
    return folder;
}

class CClassFactory : public IClassFactory
{
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = NULL;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = NULL;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        IDispatch* app = NewApplication();
        HRESULT hr = app->QueryInterface(riid, ppv);
        app->Release();
        Trace(L"CreateInstance -> " + std::to_wstring((long)hr));
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            ObjectMade();
        else
            ObjectGone();
        return S_OK;
    }
};

CClassFactory g_factory;

std::wstring ExePath()
{
    wchar_t buf[MAX_PATH] = {0};
    GetModuleFileNameW(NULL, buf, MAX_PATH);
    return buf;
}

int Serve(const std::wstring& commandLine)
{
    g_mainThread = GetCurrentThreadId();
    Trace(L"start pid=" + std::to_wstring(GetCurrentProcessId()) + L" \"" + commandLine + L"\"");
    HRESULT hr = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (FAILED(hr))
        return 1;
    DWORD cookie = 0;
    hr = CoRegisterClassObject(CLSID_WordStandin, &g_factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie);
    if (FAILED(hr)) {
        Trace(L"CoRegisterClassObject failed");
        CoUninitialize();
        return 1;
    }
    g_timer = SetTimer(NULL, 0, kIdleMs, NULL);
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == NULL && msg.wParam == g_timer) {
            if (!g_everLive) {
                Trace(L"no client came");
                break;
            }
            if (g_quitRequested) {
                Trace(L"objects still held after Quit: " + std::to_wstring(g_live));
                break;
            }
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    CoRevokeClassObject(cookie);
    CoUninitialize();
    Trace(L"end pid=" + std::to_wstring(GetCurrentProcessId()));
    return 0;
}

} // namespace

void Trace(const std::wstring& line)
{
    std::wstring folder = DataFolder();
    if (folder.empty())
        return;
    std::string bytes = ToUtf8(line) + "\n";
    std::wstring path = folder + kCallsFile;
    // Another process of the stand-in may be writing: retry a locked file briefly.
    for (int attempt = 0; attempt < 50; ++attempt) {
        HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD put = 0;
            WriteFile(h, bytes.data(), (DWORD)bytes.size(), &put, NULL);
            CloseHandle(h);
            return;
        }
        Sleep(10);
    }
}

std::map<std::wstring, std::wstring> ReadControl()
{
    std::map<std::wstring, std::wstring> knobs;
    std::wstring folder = DataFolder();
    if (folder.empty())
        return knobs;
    HANDLE h = CreateFileW((folder + kControlFile).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return knobs;
    std::string bytes;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, NULL) && got)
        bytes.append(buf, got);
    CloseHandle(h);
    std::wstring text = FromUtf8(bytes);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        size_t eq = line.find(L'=');
        if (eq != std::wstring::npos)
            knobs[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
    return knobs;
}

void ObjectMade()
{
    ++g_live;
    g_everLive = true;
}

void ObjectGone()
{
    if (--g_live == 0) {
        Trace(L"last object released");
        PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
    }
}

void QuitRequested()
{
    g_quitRequested = true;
    KillTimer(NULL, g_timer);
    g_timer = SetTimer(NULL, 0, kAfterQuitMs, NULL);
}

} // namespace word_standin

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    using namespace word_standin;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring command = argc > 1 ? argv[1] : L"";
    std::wstring all;
    for (int i = 1; i < argc; ++i)
        all += (i > 1 ? L" " : L"") + std::wstring(argv[i]);
    LocalFree(argv);
    if (_wcsicmp(command.c_str(), L"/RegServer") == 0 || _wcsicmp(command.c_str(), L"-RegServer") == 0)
        return RegisterServer(ExePath()) ? 0 : 1;
    if (_wcsicmp(command.c_str(), L"/UnregServer") == 0 || _wcsicmp(command.c_str(), L"-UnregServer") == 0)
        return UnregisterServer() ? 0 : 1;
    return Serve(all);
}
