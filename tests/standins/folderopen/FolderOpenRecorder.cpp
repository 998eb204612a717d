// The test prefix's "open" verb of folders and of web addresses: in place of
// the file browser (or the web browser) it appends what it was given and its
// working folder, one line each (UTF-8), to the file named in
// FOLIONEX_FOLDER_OPEN_LOG. Without that variable (the program run by hand in
// the test prefix) it hands a folder to Wine's explorer, as the verb did
// before. "--register" makes it the verb (run once per prefix by the
// folderopen fixture): the command below Folder, http and https\shell\open
// and no DDE conversation, which would reach the file browser instead. The
// prefix knows no program for Word documents: the recorder is the "open"
// verb of .docx files too, so documents opened for editing are written down
// the same way.
#include <windows.h>
#include <string>

namespace {

const wchar_t* const kVerbKeys[] = {L"Software\\Classes\\Folder\\shell\\open",
                                   L"Software\\Classes\\http\\shell\\open",
                                   L"Software\\Classes\\https\\shell\\open",
                                   L"Software\\Classes\\docxfile\\shell\\open"};
const wchar_t kDocxKey[] = L"Software\\Classes\\.docx";
const wchar_t kDocxClass[] = L"docxfile";

std::string Utf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], n, NULL, NULL);
    return out;
}

// Sets the default value of an HKEY_LOCAL_MACHINE key, creating it.
bool SetDefault(const std::wstring& path, const std::wstring& text)
{
    HKEY key = NULL;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) !=
        ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(key, NULL, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             (DWORD)((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

int Register()
{
    wchar_t exe[MAX_PATH] = {0};
    GetModuleFileNameW(NULL, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" \"%1\"";
    for (const wchar_t* verbKey : kVerbKeys) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(verbKey) + L"\\ddeexec").c_str());
        if (!SetDefault(std::wstring(verbKey) + L"\\command", command))
            return 1;
    }
    return SetDefault(kDocxKey, kDocxClass) ? 0 : 1;
}

int OpenInExplorer(const std::wstring& folder)
{
    std::wstring command = L"explorer.exe \"" + folder + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return 1;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc > 1 && std::wstring(argv[1]) == L"--register")
        return Register();
    wchar_t logPath[MAX_PATH] = {0};
    if (!GetEnvironmentVariableW(L"FOLIONEX_FOLDER_OPEN_LOG", logPath, MAX_PATH))
        return OpenInExplorer(argc > 1 ? argv[1] : L"");
    wchar_t cwd[MAX_PATH] = {0};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    std::string lines = Utf8(argc > 1 ? argv[1] : L"") + "\n" + Utf8(cwd) + "\n";
    // Several openings may come at once: the append waits for the file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        HANDLE file = CreateFileW(logPath, FILE_APPEND_DATA, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            BOOL ok = WriteFile(file, lines.data(), (DWORD)lines.size(), &written, NULL);
            CloseHandle(file);
            return ok ? 0 : 1;
        }
        Sleep(20);
    }
    return 1;
}
