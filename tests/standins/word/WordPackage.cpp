#include "WordStandin.h"
#include <zip.h>
#include <unzip.h>
#include <iowin32.h>

namespace word_standin {

const CLSID CLSID_WordStandin = {0x7d3a1c52, 0x9e4b, 0x4f60, {0x8b, 0x21, 0x5a, 0x6c, 0x0d, 0x9e, 0x3f, 0x14}};
const wchar_t kClsidText[] = L"{7D3A1C52-9E4B-4F60-8B21-5A6C0D9E3F14}";
const wchar_t kProgId[] = L"Word.Application";
const wchar_t kDataVariable[] = L"FOLIONEX_WORD_DATA";
const wchar_t kControlFile[] = L"control.txt";
const wchar_t kCallsFile[] = L"calls.log";

std::string ToUtf8(const std::wstring& text)
{
    std::string out;
    int n = text.empty() ? 0 : WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0, NULL, NULL);
    if (n > 0) {
        out.resize(n);
        WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], n, NULL, NULL);
    }
    return out;
}

std::wstring FromUtf8(const std::string& text)
{
    std::wstring out;
    int n = text.empty() ? 0 : MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0);
    if (n > 0) {
        out.resize(n);
        MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], n);
    }
    return out;
}

namespace {

bool SetKeyText(const std::wstring& subKey, LPCWSTR name, const std::wstring& value)
{
    HKEY h;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), 0, NULL, 0, KEY_WRITE, NULL, &h, NULL) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(h, name, 0, REG_SZ, (const BYTE*)value.c_str(), (DWORD)(value.size() + 1) * 2);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

} // namespace

bool RegisterServer(const std::wstring& serverPath)
{
    std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
    return SetKeyText(kProgId, NULL, kProgId) && SetKeyText(std::wstring(kProgId) + L"\\CLSID", NULL, kClsidText) &&
           SetKeyText(clsidKey, NULL, L"Test stand-in for Word.Application") &&
           SetKeyText(clsidKey + L"\\ProgID", NULL, kProgId) &&
           SetKeyText(clsidKey + L"\\LocalServer32", NULL, L"\"" + serverPath + L"\"");
}

bool UnregisterServer()
{
    std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    return RegDeleteTreeW(HKEY_CLASSES_ROOT, clsidKey.c_str()) == ERROR_SUCCESS;
}

bool ReadPackage(const std::wstring& path, std::vector<PackageEntry>& entries, std::wstring& error)
{
    entries.clear();
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        error = L"not found";
        return false;
    }
    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    unzFile zip = unzOpen2_64(path.c_str(), &io);
    if (!zip) {
        error = L"not a ZIP archive";
        return false;
    }
    bool ok = true;
    for (int rc = unzGoToFirstFile(zip); ok && rc == UNZ_OK; rc = unzGoToNextFile(zip)) {
        unz_file_info64 info;
        char name[1024];
        if (unzGetCurrentFileInfo64(zip, &info, name, sizeof(name), NULL, 0, NULL, 0) != UNZ_OK ||
            info.size_filename >= sizeof(name) || info.uncompressed_size > 64 * 1024 * 1024 ||
            unzOpenCurrentFile(zip) != UNZ_OK) {
            ok = false;
            break;
        }
        PackageEntry entry;
        entry.name.assign(name, info.size_filename);
        entry.data.resize((size_t)info.uncompressed_size);
        int got = entry.data.empty() ? 0 : unzReadCurrentFile(zip, &entry.data[0], (unsigned)entry.data.size());
        char extra;
        // A short entry, a longer one than declared, or a bad checksum.
        if (got != (int)entry.data.size() || unzReadCurrentFile(zip, &extra, 1) != 0 ||
            unzCloseCurrentFile(zip) != UNZ_OK)
            ok = false;
        entries.push_back(entry);
    }
    unzClose(zip);
    if (!ok || entries.empty()) {
        error = L"damaged archive";
        entries.clear();
        return false;
    }
    return true;
}

bool WritePackage(const std::wstring& path, const std::vector<PackageEntry>& entries)
{
    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    zipFile zip = zipOpen2_64(path.c_str(), APPEND_STATUS_CREATE, NULL, &io);
    if (!zip)
        return false;
    bool ok = true;
    for (const PackageEntry& e : entries) {
        zip_fileinfo info = {};
        if (zipOpenNewFileInZip64(zip, e.name.c_str(), &info, NULL, 0, NULL, 0, NULL, Z_DEFLATED, 6, 0) != ZIP_OK ||
            (!e.data.empty() && zipWriteInFileInZip(zip, e.data.data(), (unsigned)e.data.size()) != ZIP_OK) ||
            zipCloseFileInZip(zip) != ZIP_OK) {
            ok = false;
            break;
        }
    }
    if (zipClose(zip, NULL) != ZIP_OK)
        ok = false;
    if (!ok)
        DeleteFileW(path.c_str());
    return ok;
}

} // namespace word_standin
