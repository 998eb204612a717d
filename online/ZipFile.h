// The backup's ZIP archive, over minizip and zlib, with wide-character paths.
// The system writes archives of one file, stored under its bare name, and
// reads the first entry of any archive. Failures are false results; nothing
// is logged here.
#pragma once
#include <windows.h>
#include "afxstr.h"

class CZipFile
{
public:
    enum { MODE_NONE = 0, MODE_READ = 1, MODE_WRITE = 2 };

    CZipFile();
    // Closes as Close does.
    ~CZipFile();

    // Closes what is open, then creates the archive at the path (an existing
    // file is replaced) for writing.
    bool Create(LPCWSTR archivePath);
    // Adds a file under its bare name: the text after the last backslash of
    // its path, or the whole path when it has none. The name is written in
    // UTF-8 (with the language-encoding flag); the data is deflated at level
    // 8, except that names ending in ".Z", ".zip", ".zoo", ".arc", ".lzh",
    // ".arj", ".gz" or ".tgz" (in any case) are stored as they are. False
    // unless created for writing, or when the file cannot be read.
    bool AddFile(LPCWSTR filePath);
    // Closes what is open, then opens the archive for reading (no password).
    bool Open(LPCWSTR archivePath);
    // Finishes a written archive (its central directory is written then) or
    // closes a read one; false when that failed, in which case a written
    // archive is not usable. The object is closed afterwards either way.
    bool Close();

    int GetMode() const { return m_mode; }

    // Reading. The number of entries, or -1 when nothing is open for reading.
    long long GetEntryCount();
    // The entry's name (UTF-8 when its flag says so, else code page 437) as
    // a relative path, see ZipEntryRelativePath.
    bool GetEntryPath(long long index, CString& path);
    // Writes the entry's data to the file at outputPath (created or
    // replaced). False for an enciphered entry, on a read, decompression or
    // checksum error, or when fewer bytes come than the entry declares; no
    // partial output is left behind then.
    bool ExtractEntry(long long index, LPCWSTR outputPath);

private:
    CZipFile(const CZipFile&) = delete;
    CZipFile& operator=(const CZipFile&) = delete;

    bool GoToEntry(long long index);

    int m_mode;
    void* m_handle;
};

// Writes the archive's first entry to outputPath, whatever the entry's name.
// False when the archive cannot be opened or read, and when it has no
// entries (the output path is not touched then).
bool ExtractFirstZipEntry(LPCWSTR archivePath, LPCWSTR outputPath);

// An entry name as a relative path below wherever it is extracted:
// backslashes count as slashes; everything up to the last ".." step, a
// drive prefix and leading slashes are dropped; the separators become
// backslashes.
CString ZipEntryRelativePath(const CString& entryName);

// Whether AddFile stores a file of this name without compressing it.
bool IsZipStoredName(LPCWSTR name);
