// A stand-in installer for the self-update tests: writes its own path and
// its command line (UTF-16, one a line) to the file that the environment
// value FOLIONEX_TEST_MARKER names, and ends.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    wchar_t marker[MAX_PATH] = {0};
    if (!GetEnvironmentVariableW(L"FOLIONEX_TEST_MARKER", marker, MAX_PATH))
        return 1;
    wchar_t self[MAX_PATH] = {0};
    GetModuleFileNameW(NULL, self, MAX_PATH);
    LPCWSTR commandLine = GetCommandLineW();
    // Written whole under a temporary name, then moved in place, so that a
    // reader never sees half of it.
    wchar_t temp[MAX_PATH + 8] = {0};
    lstrcpyW(temp, marker);
    lstrcatW(temp, L".tmp");
    HANDLE h = CreateFileW(temp, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 2;
    DWORD written = 0;
    WriteFile(h, self, lstrlenW(self) * sizeof(wchar_t), &written, NULL);
    WriteFile(h, L"\n", sizeof(wchar_t), &written, NULL);
    WriteFile(h, commandLine, lstrlenW(commandLine) * sizeof(wchar_t), &written, NULL);
    CloseHandle(h);
    return MoveFileExW(temp, marker, MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}
