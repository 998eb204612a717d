#include "online/ZipFile.h"
#include <string.h>
#include <new>
#include <memory>
#include <vector>
#include <zlib.h>
#include <zip.h>
#include <unzip.h>
#include <iowin32.h>

namespace {

const int kLevel = 8;
const int kMemLevel = 8;
// General-purpose flag bit 11: the name is UTF-8.
const uLong kFlagUtf8 = 0x800;
// General-purpose flag bit 0: the entry is enciphered.
const uLong kFlagEncrypted = 0x1;
const UINT kOemNames = 437;
const DWORD kChunk = 256 * 1024;

// Names of files that are compressed already.
const wchar_t* const kStoredSuffixes[] = {L".Z", L".zip", L".zoo", L".arc", L".lzh", L".arj", L".gz", L".tgz"};

std::string ToUtf8(const CString& text)
{
    std::string out;
    int bytes = text.IsEmpty() ? 0
                               : WideCharToMultiByte(CP_UTF8, 0, text, text.GetLength(), NULL, 0, NULL, NULL);
    if (bytes > 0) {
        out.resize(bytes);
        WideCharToMultiByte(CP_UTF8, 0, text, text.GetLength(), &out[0], bytes, NULL, NULL);
    }
    return out;
}

CString FromBytes(const char* bytes, int length, UINT codePage)
{
    CString out;
    if (length <= 0) {
        return out;
    }
    int chars = MultiByteToWideChar(codePage, 0, bytes, length, NULL, 0);
    if (chars <= 0 && codePage != CP_OEMCP) {
        codePage = CP_OEMCP;
        chars = MultiByteToWideChar(codePage, 0, bytes, length, NULL, 0);
    }
    if (chars > 0) {
        MultiByteToWideChar(codePage, 0, bytes, length, out.GetBufferSetLength(chars), chars);
        out.ReleaseBuffer(chars);
    }
    return out;
}

// The modification time of an open file as an MS-DOS date and time, local.
uLong DosTimeOf(HANDLE file)
{
    FILETIME written, local;
    WORD date = 0, time = 0;
    if (GetFileTime(file, NULL, NULL, &written) && FileTimeToLocalFileTime(&written, &local) &&
        FileTimeToDosDateTime(&local, &date, &time)) {
        return ((uLong)date << 16) | time;
    }
    return 0;
}

bool IsSeparator(wchar_t ch)
{
    return ch == L'/' || ch == L'\\';
}

// Drops every component up to and including the last "..".
CString AfterLastParentStep(const CString& name)
{
    int keepFrom = 0;
    int start = 0;
    int length = name.GetLength();
    for (int i = 0; i <= length; ++i) {
        if (i == length || IsSeparator(name[i])) {
            if (i - start == 2 && name[start] == L'.' && name[start + 1] == L'.') {
                keepFrom = i < length ? i + 1 : length;
            }
            start = i + 1;
        }
    }
    return name.Mid(keepFrom);
}

CString WithoutDriveAndLeadingSlashes(const CString& name)
{
    int from = 0;
    int length = name.GetLength();
    for (;;) {
        if (from + 1 < length && name[from + 1] == L':' &&
            ((name[from] >= L'A' && name[from] <= L'Z') || (name[from] >= L'a' && name[from] <= L'z'))) {
            from += 2;
        } else if (from < length && IsSeparator(name[from])) {
            ++from;
        } else {
            break;
        }
    }
    return name.Mid(from);
}

} // namespace

bool IsZipStoredName(LPCWSTR name)
{
    size_t length = name ? wcslen(name) : 0;
    for (const wchar_t* suffix : kStoredSuffixes) {
        size_t n = wcslen(suffix);
        if (length >= n && CompareStringOrdinal(name + length - n, (int)n, suffix, (int)n, TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

CString ZipEntryRelativePath(const CString& entryName)
{
    // Dropping a drive can bring a ".." to the front again ("C:../x"), so
    // the steps repeat until nothing changes.
    CString path = entryName;
    for (;;) {
        CString next = WithoutDriveAndLeadingSlashes(AfterLastParentStep(path));
        if (next == path) {
            break;
        }
        path = next;
    }
    path.Replace(L'/', L'\\');
    return path;
}

CZipFile::CZipFile()
    : m_mode(MODE_NONE), m_handle(NULL)
{
}

CZipFile::~CZipFile()
{
    Close();
}

bool CZipFile::Create(LPCWSTR archivePath)
{
    Close();
    if (!archivePath) {
        return false;
    }
    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    m_handle = zipOpen2_64(archivePath, APPEND_STATUS_CREATE, NULL, &io);
    if (!m_handle) {
        return false;
    }
    m_mode = MODE_WRITE;
    return true;
}

bool CZipFile::Open(LPCWSTR archivePath)
{
    Close();
    if (!archivePath) {
        return false;
    }
    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    m_handle = unzOpen2_64(archivePath, &io);
    if (!m_handle) {
        return false;
    }
    m_mode = MODE_READ;
    return true;
}

bool CZipFile::Close()
{
    bool ok = true;
    if (m_handle) {
        if (m_mode == MODE_WRITE) {
            ok = zipClose(m_handle, NULL) == ZIP_OK;
        } else {
            ok = unzClose(m_handle) == UNZ_OK;
        }
    }
    m_handle = NULL;
    m_mode = MODE_NONE;
    return ok;
}

bool CZipFile::AddFile(LPCWSTR filePath)
{
    if (m_mode != MODE_WRITE || !filePath) {
        return false;
    }
    HANDLE source = CreateFileW(filePath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                NULL);
    if (source == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kChunk]);
    if (!GetFileSizeEx(source, &size) || !buffer) {
        CloseHandle(source);
        return false;
    }

    CString path(filePath);
    CString bareName = path.Mid(path.ReverseFind(L'\\') + 1);
    std::string entryName = ToUtf8(bareName);
    bool stored = IsZipStoredName(bareName);
    zip_fileinfo info;
    memset(&info, 0, sizeof(info));
    info.dosDate = DosTimeOf(source);

    int err = zipOpenNewFileInZip4_64(m_handle, entryName.c_str(), &info, NULL, 0, NULL, 0, NULL,
                                      stored ? 0 : Z_DEFLATED, stored ? 0 : kLevel, 0, -MAX_WBITS, kMemLevel,
                                      Z_DEFAULT_STRATEGY, NULL, 0, 0, kFlagUtf8,
                                      size.QuadPart >= 0xFFFFFFFFLL ? 1 : 0);
    if (err != ZIP_OK) {
        CloseHandle(source);
        return false;
    }
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source, buffer.get(), kChunk, &got, NULL)) {
            err = ZIP_ERRNO;
            break;
        }
        if (got == 0) {
            break;
        }
        err = zipWriteInFileInZip(m_handle, buffer.get(), got);
        if (err != ZIP_OK) {
            break;
        }
    }
    CloseHandle(source);
    int closed = zipCloseFileInZip(m_handle);
    return err == ZIP_OK && closed == ZIP_OK;
}

long long CZipFile::GetEntryCount()
{
    unz_global_info64 global;
    if (m_mode != MODE_READ || unzGetGlobalInfo64(m_handle, &global) != UNZ_OK) {
        return -1;
    }
    return (long long)global.number_entry;
}

bool CZipFile::GoToEntry(long long index)
{
    if (m_mode != MODE_READ || index < 0 || unzGoToFirstFile(m_handle) != UNZ_OK) {
        return false;
    }
    for (long long i = 0; i < index; ++i) {
        if (unzGoToNextFile(m_handle) != UNZ_OK) {
            return false;
        }
    }
    return true;
}

bool CZipFile::GetEntryPath(long long index, CString& path)
{
    path.Empty();
    unz_file_info64 info;
    if (!GoToEntry(index) || unzGetCurrentFileInfo64(m_handle, &info, NULL, 0, NULL, 0, NULL, 0) != UNZ_OK) {
        return false;
    }
    std::vector<char> name(info.size_filename + 1);
    if (unzGetCurrentFileInfo64(m_handle, &info, name.data(), (uLong)name.size(), NULL, 0, NULL, 0) != UNZ_OK) {
        return false;
    }
    UINT codePage = (info.flag & kFlagUtf8) ? CP_UTF8 : kOemNames;
    path = ZipEntryRelativePath(FromBytes(name.data(), (int)info.size_filename, codePage));
    return true;
}

bool CZipFile::ExtractEntry(long long index, LPCWSTR outputPath)
{
    unz_file_info64 info;
    if (!outputPath || !GoToEntry(index) ||
        unzGetCurrentFileInfo64(m_handle, &info, NULL, 0, NULL, 0, NULL, 0) != UNZ_OK ||
        (info.flag & kFlagEncrypted) != 0) {
        return false;
    }
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kChunk]);
    if (!buffer || unzOpenCurrentFile(m_handle) != UNZ_OK) {
        return false;
    }
    HANDLE output = CreateFileW(outputPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (output == INVALID_HANDLE_VALUE) {
        unzCloseCurrentFile(m_handle);
        return false;
    }
    bool ok = true;
    ZPOS64_T total = 0;
    for (;;) {
        int got = unzReadCurrentFile(m_handle, buffer.get(), kChunk);
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        DWORD put = 0;
        if (!WriteFile(output, buffer.get(), (DWORD)got, &put, NULL) || put != (DWORD)got) {
            ok = false;
            break;
        }
        total += (ZPOS64_T)got;
    }
    // The checksum is compared here, once the whole entry has been read; a
    // data stream that ends early is caught by the byte count.
    if (unzCloseCurrentFile(m_handle) != UNZ_OK || total != info.uncompressed_size) {
        ok = false;
    }
    if (!CloseHandle(output)) {
        ok = false;
    }
    if (!ok) {
        DeleteFileW(outputPath);
    }
    return ok;
}

bool ExtractFirstZipEntry(LPCWSTR archivePath, LPCWSTR outputPath)
{
    CZipFile zip;
    if (!zip.Open(archivePath) || zip.GetEntryCount() < 1) {
        return false;
    }
    return zip.ExtractEntry(0, outputPath);
}
