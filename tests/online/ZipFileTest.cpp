// The backup's ZIP archive: what the writer puts into the archive (read back
// with minizip directly), what the reader accepts, and hostile archives
// written with minizip directly.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <zlib.h>
#include <zip.h>
#include <unzip.h>
#include <iowin32.h>
#include "online/ZipFile.h"
#include "support/TestSupport.h"
#include "TempFolder.h"

namespace {

using namespace testing_support;

std::string Utf8(LPCWSTR text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) {
        WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, NULL, NULL);
    }
    return out;
}

std::string Compressible(size_t n)
{
    std::string out;
    for (int i = 0; out.size() < n; ++i) {
        out += "<Ugyirat Ev=\"2024\" Nr=\"" + std::to_string(i) + "\" UgyfelNeve=\"Kovács Ödön\"/>\n";
    }
    out.resize(n);
    return out;
}

std::string Noise(size_t n)
{
    std::string out(n, '\0');
    unsigned x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = (char)(x >> 16);
    }
    return out;
}

// One entry as it stands in an archive, its data as stored (not inflated).
struct RawEntry
{
    std::string name;
    uLong flag = 0;
    uLong method = 0;
    ZPOS64_T uncompressedSize = 0;
    std::string stored;
};

std::vector<RawEntry> ReadRaw(LPCWSTR path)
{
    std::vector<RawEntry> entries;
    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    unzFile zip = unzOpen2_64(path, &io);
    if (!zip) {
        return entries;
    }
    for (int err = unzGoToFirstFile(zip); err == UNZ_OK; err = unzGoToNextFile(zip)) {
        unz_file_info64 info;
        char name[512] = {0};
        unzGetCurrentFileInfo64(zip, &info, name, sizeof(name), NULL, 0, NULL, 0);
        RawEntry e;
        e.name = name;
        e.flag = info.flag;
        e.method = info.compression_method;
        e.uncompressedSize = info.uncompressed_size;
        int method = 0, level = 0;
        if (unzOpenCurrentFile2(zip, &method, &level, 1) == UNZ_OK) {
            char buf[65536];
            int got;
            while ((got = unzReadCurrentFile(zip, buf, sizeof(buf))) > 0) {
                e.stored.append(buf, got);
            }
            unzCloseCurrentFile(zip);
        }
        entries.push_back(e);
    }
    unzClose(zip);
    return entries;
}

struct Entry
{
    std::string name; // bytes as they go into the archive
    std::string data;
    const char* password = nullptr;
};

// Writes an archive with minizip directly, names taken as they are.
bool WriteRawZip(LPCWSTR path, const std::vector<Entry>& entries)
{
    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    zipFile zip = zipOpen2_64(path, APPEND_STATUS_CREATE, NULL, &io);
    if (!zip) {
        return false;
    }
    bool ok = true;
    for (const Entry& e : entries) {
        zip_fileinfo info = {};
        uLong crc = crc32(0, (const Bytef*)e.data.data(), (uInt)e.data.size());
        ok = ok &&
             zipOpenNewFileInZip3_64(zip, e.name.c_str(), &info, NULL, 0, NULL, 0, NULL, Z_DEFLATED, 6, 0, -MAX_WBITS,
                                     8, Z_DEFAULT_STRATEGY, e.password, crc, 0) == ZIP_OK &&
             zipWriteInFileInZip(zip, e.data.data(), (unsigned)e.data.size()) == ZIP_OK &&
             zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, NULL) == ZIP_OK && ok;
}

std::string RawDeflate(const std::string& data, int level)
{
    z_stream s = {};
    deflateInit2(&s, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&s, (uLong)data.size()), '\0');
    s.next_in = (Bytef*)data.data();
    s.avail_in = (uInt)data.size();
    s.next_out = (Bytef*)&out[0];
    s.avail_out = (uInt)out.size();
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

class ZipFileTest : public ::testing::Test
{
protected:
    // Writes a file into the scratch folder and returns its path.
    CString Put(LPCWSTR name, const std::string& data)
    {
        CString path = folder / name;
        EXPECT_TRUE(WriteFileBytes(path, data));
        return path;
    }

    bool ZipOne(LPCWSTR archive, LPCWSTR file)
    {
        CZipFile zip;
        bool ok = zip.Create(archive) && zip.AddFile(file);
        return zip.Close() && ok;
    }

    CTempFolder folder{L"zip_test"};
};

TEST_F(ZipFileTest, WritesOneEntryUnderItsBareUtf8NameDeflatedAtLevel8)
{
    std::string data = Compressible(200000);
    CString archive = folder / L"mentés_ő.zip";
    ASSERT_TRUE(ZipOne(archive, Put(L"db_2_20240131_ő.enc", data)));

    std::vector<RawEntry> entries = ReadRaw(archive);
    ASSERT_EQ(entries.size(), 1u);
    const RawEntry& e = entries[0];
    EXPECT_EQ(e.name, Utf8(L"db_2_20240131_ő.enc"));
    EXPECT_EQ(e.flag & 0x800, 0x800u) << "language-encoding flag: the name is UTF-8";
    EXPECT_EQ(e.flag & 0x1, 0u) << "no password";
    EXPECT_EQ(e.method, (uLong)Z_DEFLATED);
    EXPECT_EQ(e.flag & 0x6, 0x2u) << "deflate level 8 or 9";
    EXPECT_EQ(e.uncompressedSize, data.size());
    EXPECT_EQ(e.stored, RawDeflate(data, 8));
    EXPECT_NE(e.stored, RawDeflate(data, 6));
}

TEST_F(ZipFileTest, NameIsTheTextAfterTheLastBackslashOnly)
{
    ASSERT_TRUE(CreateDirectoryW(folder / L"al", NULL));
    ASSERT_TRUE(WriteFileBytes(folder / L"al\\fájl.enc", "abc"));
    ASSERT_TRUE(WriteFileBytes(folder / L"relatív_ű.enc", "def"));
    CString archive = folder / L"nevek.zip";

    wchar_t previous[MAX_PATH] = {0};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.Path()));
    CZipFile zip;
    ASSERT_TRUE(zip.Create(archive));
    EXPECT_TRUE(zip.AddFile(folder.Path() + L"al/fájl.enc")); // a slash is not a backslash
    EXPECT_TRUE(zip.AddFile(L"relatív_ű.enc"));               // no backslash: taken whole
    EXPECT_TRUE(zip.Close());
    SetCurrentDirectoryW(previous);

    std::vector<RawEntry> entries = ReadRaw(archive);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, Utf8(L"al/fájl.enc"));
    EXPECT_EQ(entries[1].name, Utf8(L"relatív_ű.enc"));
}

TEST_F(ZipFileTest, CompressedKindsOfFileAreStored)
{
    const struct
    {
        LPCWSTR name;
        bool stored;
    } cases[] = {
        {L"a.Z", true},      {L"a.zip", true},    {L"a.zoo", true},   {L"a.arc", true},    {L"a.lzh", true},
        {L"a.arj", true},    {L"a.gz", true},     {L"a.tgz", true},   {L"MENTÉS.ZIP", true}, {L"b.tar.Gz", true},
        {L"a.enc", false},   {L"a.xml", false},   {L"a.zipx", false}, {L"agz", false},     {L"a.gz.enc", false},
        {L"", false},        {L".zip.txt", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsZipStoredName(c.name), c.stored) << c.name;
    }

    std::string data = Compressible(50000);
    CString archive = folder / L"tárolt.zip";
    ASSERT_TRUE(ZipOne(archive, Put(L"belső.zip", data)));
    std::vector<RawEntry> entries = ReadRaw(archive);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].method, 0u);
    EXPECT_EQ(entries[0].flag & 0x6, 0u);
    EXPECT_EQ(entries[0].stored, data);
}

TEST_F(ZipFileTest, RoundTripsFilesOfAnySize)
{
    const struct
    {
        const char* name;
        std::string data;
    } cases[] = {
        {"empty", ""}, {"one byte", "x"}, {"text", Compressible(300000)}, {"noise", Noise(1 << 20)},
    };
    CString output = folder / L"kibontott_ő.enc";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CString archive = folder / L"körút.zip";
        ASSERT_TRUE(ZipOne(archive, Put(L"körút.enc", c.data)));
        ASSERT_TRUE(WriteFileBytes(output, "a previous, longer content that must go"));
        ASSERT_TRUE(ExtractFirstZipEntry(archive, output));
        EXPECT_EQ(ReadFileBytes(output), c.data);
    }
}

TEST_F(ZipFileTest, CreateReplacesAnExistingFile)
{
    CString archive = folder / L"csere.zip";
    ASSERT_TRUE(WriteFileBytes(archive, std::string(100000, 'z')));
    ASSERT_TRUE(ZipOne(archive, Put(L"új.enc", "új tartalom")));
    CString output = folder / L"ki.enc";
    ASSERT_TRUE(ExtractFirstZipEntry(archive, output));
    EXPECT_EQ(ReadFileBytes(output), "új tartalom");
}

TEST_F(ZipFileTest, AddFileNeedsAnArchiveCreatedForWritingAndAnExistingFile)
{
    CString file = Put(L"adat.enc", "abc");
    CString archive = folder / L"mód.zip";
    CZipFile zip;
    EXPECT_FALSE(zip.AddFile(file)) << "before Create";
    EXPECT_EQ(zip.GetMode(), CZipFile::MODE_NONE);

    ASSERT_TRUE(zip.Create(archive));
    EXPECT_EQ(zip.GetMode(), CZipFile::MODE_WRITE);
    EXPECT_FALSE(zip.AddFile(folder / L"nincs.enc"));
    EXPECT_TRUE(zip.AddFile(file));
    EXPECT_TRUE(zip.Close());
    EXPECT_EQ(zip.GetMode(), CZipFile::MODE_NONE);
    EXPECT_FALSE(zip.AddFile(file)) << "after Close";
    std::vector<RawEntry> entries = ReadRaw(archive);
    ASSERT_EQ(entries.size(), 1u) << "the missing file added nothing";
    EXPECT_EQ(entries[0].name, "adat.enc");

    ASSERT_TRUE(zip.Open(archive));
    EXPECT_EQ(zip.GetMode(), CZipFile::MODE_READ);
    EXPECT_FALSE(zip.AddFile(file)) << "opened for reading";
    EXPECT_EQ(zip.GetEntryCount(), 1);
    EXPECT_TRUE(zip.Close());
    EXPECT_EQ(zip.GetEntryCount(), -1);
}

TEST_F(ZipFileTest, FirstOfTwoEntriesIsExtracted)
{
    CString archive = folder / L"kettő.zip";
    CZipFile zip;
    ASSERT_TRUE(zip.Create(archive));
    ASSERT_TRUE(zip.AddFile(Put(L"első.enc", "első tartalom")));
    ASSERT_TRUE(zip.AddFile(Put(L"második.enc", "második tartalom")));
    ASSERT_TRUE(zip.Close());

    CString output = folder / L"ki.enc";
    ASSERT_TRUE(ExtractFirstZipEntry(archive, output));
    EXPECT_EQ(ReadFileBytes(output), "első tartalom");

    ASSERT_TRUE(zip.Open(archive));
    EXPECT_EQ(zip.GetEntryCount(), 2);
    CString name;
    ASSERT_TRUE(zip.GetEntryPath(1, name));
    EXPECT_EQ(name, L"második.enc");
    EXPECT_FALSE(zip.GetEntryPath(2, name));
}

TEST_F(ZipFileTest, ArchiveWithoutEntriesLeavesTheOutputAlone)
{
    // An end record alone, and the same behind a stub (as self-extracting
    // archives have): the ZIP layer does not open the first kind at all,
    // the second it opens and finds no entry in.
    const std::string endRecord = std::string("PK\x05\x06") + std::string(18, '\0');
    CString plain = folder / L"üres.zip";
    ASSERT_TRUE(WriteRawZip(plain, {}));
    ASSERT_EQ(ReadFileBytes(plain), endRecord);
    CString stub = Put(L"üres_csonkkal.zip", "MZ stub " + endRecord);
    CZipFile zip;
    ASSERT_TRUE(zip.Open(stub));
    EXPECT_EQ(zip.GetEntryCount(), 0);
    zip.Close();

    for (const CString& archive : {plain, stub}) {
        CString existing = Put(L"meglévő.enc", "marad");
        CString absent = folder / L"nem_jön_létre.enc";
        EXPECT_FALSE(ExtractFirstZipEntry(archive, existing));
        EXPECT_EQ(ReadFileBytes(existing), "marad");
        EXPECT_FALSE(ExtractFirstZipEntry(archive, absent));
        EXPECT_FALSE(FileExists(absent));
    }
}

TEST_F(ZipFileTest, HostileEntryNamesAreExtractedOnlyToTheGivenPath)
{
    const char* names[] = {"../../kívül.txt", "..\\..\\kívül.txt", "C:\\kívül.txt", "C:kívül.txt",
                           "/kívül.txt", "//szerver/megosztás/kívül.txt"};
    // The parent of the scratch folder is where "../" would lead.
    CString parent = folder.Path().Left(folder.Path().GetLength() - 1);
    parent = parent.Left(parent.ReverseFind(L'\\') + 1);
    for (const char* name : names) {
        SCOPED_TRACE(name);
        CString archive = folder / L"ártó.zip";
        ASSERT_TRUE(WriteRawZip(archive, {{name, "ártó tartalom"}}));
        CString output = folder / L"ki.enc";
        ASSERT_TRUE(ExtractFirstZipEntry(archive, output));
        EXPECT_EQ(ReadFileBytes(output), "ártó tartalom");
        EXPECT_FALSE(FileExists(parent + L"kívül.txt"));
        EXPECT_FALSE(FileExists(L"C:\\kívül.txt"));
        EXPECT_FALSE(FileExists(folder / L"kívül.txt"));
        DeleteFileW(output);
    }
}

TEST_F(ZipFileTest, EntryNamesBecomeRelativePaths)
{
    const struct
    {
        LPCWSTR name;
        LPCWSTR path;
    } cases[] = {
        {L"mentés.enc", L"mentés.enc"},
        {L"a/b/c.enc", L"a\\b\\c.enc"},
        {L"../../x.enc", L"x.enc"},
        {L"..\\..\\x.enc", L"x.enc"},
        {L"a/../b/../c/x.enc", L"c\\x.enc"},
        {L"C:\\Windows\\x.enc", L"Windows\\x.enc"},
        {L"c:x.enc", L"x.enc"},
        {L"/etc/x.enc", L"etc\\x.enc"},
        {L"//szerver/megosztás/x.enc", L"szerver\\megosztás\\x.enc"},
        {L"C:../x.enc", L"x.enc"},
        {L"D:/../C:/x.enc", L"x.enc"},
        {L"a/..b/c..", L"a\\..b\\c.."},
        {L"a/..", L""},
        {L"1:x", L"1:x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZipEntryRelativePath(c.name), c.path) << c.name;
    }

    // Names read from an archive go the same way; UTF-8 when flagged.
    CString archive = folder / L"nevek.zip";
    ASSERT_TRUE(WriteRawZip(archive, {{"../" + Utf8(L"ő/ű.enc"), "x"}}));
    CZipFile zip;
    ASSERT_TRUE(zip.Open(archive));
    CString path;
    ASSERT_TRUE(zip.GetEntryPath(0, path));
    // Without the flag the bytes are code page 437: C5 91 / C5 B1.
    EXPECT_EQ(path, L"\u253c\u00e6\\\u253c\u2592.enc");
    CString archive8 = folder / L"nevek8.zip";
    CZipFile writer;
    ASSERT_TRUE(writer.Create(archive8));
    ASSERT_TRUE(writer.AddFile(Put(L"őű.enc", "x")));
    ASSERT_TRUE(writer.Close());
    ASSERT_TRUE(zip.Open(archive8));
    ASSERT_TRUE(zip.GetEntryPath(0, path));
    EXPECT_EQ(path, L"őű.enc");
}

TEST_F(ZipFileTest, DamagedArchivesAreRefusedAndLeaveNoOutput)
{
    std::string deflated;
    std::string stored;
    ASSERT_TRUE(ZipOne(folder / L"a.zip", Put(L"a.enc", Compressible(100000))));
    ASSERT_TRUE(ZipOne(folder / L"b.zip", Put(L"b.gz", Noise(5000))));
    deflated = ReadFileBytes(folder / L"a.zip");
    stored = ReadFileBytes(folder / L"b.zip");

    // The data of the one entry starts after the 30-byte local header and the name.
    std::string flippedDeflate = deflated;
    flippedDeflate[30 + 5 + 200] ^= 0x55;
    std::string flippedStored = stored; // inflating cannot notice this: only the checksum can
    flippedStored[30 + 4 + 100] ^= 0x01;
    // The entry declares one byte more than its data holds, in the local
    // header and in the central directory; the checksum is never reached.
    std::string longer = deflated;
    size_t central = longer.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    longer[22] += 1;
    longer[central + 24] += 1;
    const struct
    {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"not an archive", "PK this is not a zip file at all"},
        {"truncated: no central directory", deflated.substr(0, deflated.size() - 30)},
        {"cut in the middle of the data", deflated.substr(0, deflated.size() / 2)},
        {"a flipped byte in deflated data", flippedDeflate},
        {"a flipped byte in stored data", flippedStored},
        {"data shorter than declared", longer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CString archive = Put(L"sérült.zip", c.bytes);
        CString output = folder / L"sérült.enc";
        EXPECT_FALSE(ExtractFirstZipEntry(archive, output));
        EXPECT_FALSE(FileExists(output));
    }
    EXPECT_FALSE(ExtractFirstZipEntry(folder / L"nincs.zip", folder / L"ki.enc"));
}

TEST_F(ZipFileTest, EncipheredEntryIsRefused)
{
    CString archive = folder / L"jelszavas.zip";
    Entry e{"titkos.enc", Compressible(1000), "jelszó"};
    ASSERT_TRUE(WriteRawZip(archive, {e}));
    ASSERT_EQ(ReadRaw(archive).at(0).flag & 1, 1u);
    CString output = folder / L"ki.enc";
    EXPECT_FALSE(ExtractFirstZipEntry(archive, output));
    EXPECT_FALSE(FileExists(output));
}

TEST_F(ZipFileTest, ArchiveThatCannotBeFinishedIsAFailure)
{
    // Under Wine, Z: is the host's root: /dev/full takes no byte.
    CString full = L"Z:\\dev\\full";
    CZipFile zip;
    if (!zip.Create(full)) {
        GTEST_SKIP() << "no device that refuses writes here";
    }
    EXPECT_FALSE(zip.Close());
    EXPECT_EQ(zip.GetMode(), CZipFile::MODE_NONE);

    ASSERT_TRUE(zip.Create(full));
    EXPECT_FALSE(zip.AddFile(Put(L"adat.enc", Compressible(1000))));
    EXPECT_FALSE(zip.Close());
}

} // namespace
