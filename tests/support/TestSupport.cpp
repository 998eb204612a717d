#include "support/TestSupport.h"
#include <new>
#include <stdexcept>
#include "app/VelindoApp.h"
#include <shlobj.h>
#include <shlwapi.h>

namespace testing_support {

CWinApp* App()
{
    if (!theApp.m_pszRegistryKey)
        theApp.SetRegistryKey(L"Orvane");
    return &theApp;
}

void ResetProfile()
{
    CString path = CString(L"Software\\Orvane\\") + App()->m_pszAppName;
    RegDeleteTreeW(HKEY_CURRENT_USER, path);
    RegDeleteKeyW(HKEY_CURRENT_USER, path);
}

CString DataFolderPath(LPCWSTR key)
{
    wchar_t buf[MAX_PATH] = {0};
    SHGetFolderPathW(NULL, CSIDL_LOCAL_APPDATA, NULL, 0, buf);
    CString path(buf);
    return path + L"\\Folionex\\" + key + L"\\";
}

void RemoveDataFolder(LPCWSTR key)
{
    RemoveFolder(DataFolderPath(key));
}

void RemoveFolder(LPCWSTR folder)
{
    CString path = folder;
    path.TrimRight(L'\\');
    if (!PathFileExistsW(path))
        return;
    // SHFileOperation wants a double-terminated list.
    std::wstring from(path.GetString());
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&op);
}

std::string ReadFileBytes(LPCWSTR path)
{
    std::string out;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    char buf[65536];
    DWORD got;
    while (ReadFile(h, buf, sizeof(buf), &got, NULL) && got)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

bool WriteFileBytes(LPCWSTR path, const std::string& bytes)
{
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    BOOL ok = WriteFile(h, bytes.data(), (DWORD)bytes.size(), &put, NULL);
    CloseHandle(h);
    return ok && put == bytes.size();
}

bool FileExists(LPCWSTR path)
{
    return PathFileExistsW(path) != FALSE;
}

CString ProgramFolder()
{
    wchar_t buf[MAX_PATH] = {0};
    GetModuleFileNameW(NULL, buf, MAX_PATH);
    CString path(buf);
    return path.Left(path.ReverseFind(L'\\') + 1);
}

LARGE_INTEGER ClockNow()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

double ElapsedMs(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return 1000.0 * double(to.QuadPart - from.QuadPart) / double(f.QuadPart);
}

bool SplitStamp(const std::wstring& line, std::wstring* rest)
{
    static const wchar_t mask[] = L"9999.99.99 99:99:99 ";
    const size_t n = wcslen(mask);
    if (line.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        if (mask[i] == L'9' ? !iswdigit(line[i]) : line[i] != mask[i])
            return false;
    }
    if (rest)
        *rest = line.substr(n);
    return true;
}

std::vector<std::wstring> SplitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == L'\n') {
            lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    return lines;
}

std::vector<std::wstring> ReadLogTexts(LPCWSTR path)
{
    std::string bytes = ReadFileBytes(path);
    std::vector<std::wstring> lines =
        SplitLines(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2));
    for (auto& line : lines) {
        std::wstring rest;
        if (SplitStamp(line, &rest))
            line = rest;
    }
    return lines;
}

bool ReadRegString(HKEY root, LPCWSTR subKey, LPCWSTR name, CString& value)
{
    wchar_t buf[4096];
    DWORD size = sizeof(buf), type = 0;
    if (RegGetValueW(root, subKey, name, RRF_RT_REG_SZ, &type, buf, &size) != ERROR_SUCCESS)
        return false;
    value = buf;
    return true;
}

bool ReadRegDword(HKEY root, LPCWSTR subKey, LPCWSTR name, DWORD& value)
{
    DWORD size = sizeof(value), type = 0;
    return RegGetValueW(root, subKey, name, RRF_RT_REG_DWORD, &type, &value, &size) == ERROR_SUCCESS;
}

CDibCanvas::CDibCanvas(int width, int height, COLORREF fill) : m_bits(NULL), m_width(width)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    dc = CreateCompatibleDC(NULL);
    m_bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits), NULL, 0);
    m_old = SelectObject(dc, m_bitmap);
    DWORD value = (DWORD)GetRValue(fill) << 16 | (DWORD)GetGValue(fill) << 8 | GetBValue(fill);
    for (int i = 0; m_bits && i < width * height; ++i)
        m_bits[i] = value;
}

CDibCanvas::~CDibCanvas()
{
    SelectObject(dc, m_old);
    DeleteObject(m_bitmap);
    DeleteDC(dc);
}

COLORREF CDibCanvas::Pixel(int x, int y) const
{
    GdiFlush();
    return At(x, y);
}

int CDibCanvas::Count(COLORREF colour, int x0, int x1, int y0, int y1) const
{
    GdiFlush();
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += At(x, y) == colour;
    return n;
}

COLORREF CDibCanvas::At(int x, int y) const
{
    DWORD v = m_bits[y * m_width + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

CImportHook::CImportHook(LPCSTR dll, LPCSTR function, void* replacement) : m_entry(NULL), m_original(NULL)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleW(NULL));
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress)
        return;
    for (auto* desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name;
         ++desc) {
        if (lstrcmpiA(reinterpret_cast<LPCSTR>(base + desc->Name), dll) != 0 || !desc->OriginalFirstThunk)
            continue;
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<LPCSTR>(byName->Name), function) != 0)
                continue;
            void** entry = reinterpret_cast<void**>(&slots->u1.Function);
            DWORD protection = 0;
            if (!VirtualProtect(entry, sizeof(void*), PAGE_READWRITE, &protection))
                return;
            m_original = *entry;
            *entry = replacement;
            VirtualProtect(entry, sizeof(void*), protection, &protection);
            m_entry = entry;
            return;
        }
    }
}

CImportHook::~CImportHook()
{
    if (!m_entry)
        return;
    DWORD protection = 0;
    if (VirtualProtect(m_entry, sizeof(void*), PAGE_READWRITE, &protection)) {
        *m_entry = m_original;
        VirtualProtect(m_entry, sizeof(void*), protection, &protection);
    }
}

Raisers EveryKindOfException()
{
    return {
        {"out of memory", [] { throw std::bad_alloc(); }},
        {"a standard exception", [] { throw std::runtime_error("hiba"); }},
        {"a class-library exception", [] { AfxThrowInvalidArgException(); }},
        {"anything else", [] { throw 7; }},
    };
}

} // namespace testing_support
