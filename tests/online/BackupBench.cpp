// Throughput of the backup's file steps on a generated backup XML:
// encrypt, zip, unzip, decrypt, each as the transfer jobs run them (whole
// files); the container in memory; Windows CNG's AES-256 ECB alone on a
// buffer in use, and what it costs to touch fresh memory (under Wine a
// large part of every step that reads a whole file).
//   tools/wine-run.sh --state build-x86_64/wine --arch win64
//       build-x86_64/bin/online_bench.exe [megabytes, default 100]
// Prints one line per step: seconds and MB/s (MB = 10^6 bytes of input).
#include <windows.h>
#include <bcrypt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include "online/AesCipher.h"
#include "online/ZipFile.h"
#include "TempFolder.h"

namespace {

double Now()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart / (double)f.QuadPart;
}

long long FileSize(LPCWSTR path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) {
        return -1;
    }
    return ((long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

// Rows shaped like the backup XML's, with varying names and numbers.
std::string BackupXml(size_t bytes)
{
    static const char* const names[] = {"Kovács Ödön", "Szabó Éva", "Tóth Árpád", "Horváth Zsófia", "Nagy Győző",
                                        "Varga Ünige", "Kiss Lőrinc", "Molnár Kft.", "Farkas és Társa Bt."};
    static const char* const kinds[] = {"polgári per", "hagyaték", "cégügy", "végrehajtás", "munkaügy"};
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Folionex>\n";
    xml.reserve(bytes + 512);
    unsigned x = 7;
    for (int nr = 1; xml.size() < bytes; ++nr) {
        x = x * 1103515245u + 12345u;
        char row[512];
        snprintf(row, sizeof(row),
                 "<Ugyirat><Ev>%u</Ev><Nr>%d</Nr><Allapot>%u</Allapot><UgyfelNeve>%s %u</UgyfelNeve>"
                 "<EllenfelNeve>%s</EllenfelNeve><UgyJellege>%s</UgyJellege><Megjegyzes>%u. tárgyalás</Megjegyzes>"
                 "<Hataridok>%04u.%02u.%02u</Hataridok><Datum>2024-01-%02u 10:%02u:00</Datum><CC></CC></Ugyirat>\n",
                 2000 + (x >> 8) % 25, nr, (x >> 4) & 1, names[(x >> 12) % 9], (x >> 16) % 1000,
                 names[(x >> 20) % 9], kinds[(x >> 24) % 5], (x >> 5) % 30, 2024 + (x >> 9) % 3, 1 + (x >> 13) % 12,
                 1 + (x >> 17) % 28, 1 + (x >> 3) % 28, (x >> 6) % 60);
        xml += row;
    }
    xml.resize(bytes);
    return xml;
}

void Report(const char* step, double seconds, double bytes)
{
    printf("%-44s %8.3f s %9.1f MB/s\n", step, seconds, bytes / 1e6 / seconds);
    fflush(stdout);
}

double CngEcbSeconds(BYTE* data, ULONG size)
{
    BCRYPT_ALG_HANDLE alg = NULL;
    BCRYPT_KEY_HANDLE key = NULL;
    BYTE secret[32] = "titok";
    ULONG done = 0;
    if (BCryptOpenAlgorithmProvider(&alg, BCRYPT_AES_ALGORITHM, NULL, 0) != 0) {
        return -1;
    }
    double seconds = -1;
    if (BCryptSetProperty(alg, BCRYPT_CHAINING_MODE, (PUCHAR)BCRYPT_CHAIN_MODE_ECB, sizeof(BCRYPT_CHAIN_MODE_ECB),
                          0) == 0 &&
        BCryptGenerateSymmetricKey(alg, &key, NULL, 0, secret, sizeof(secret), 0) == 0) {
        double t0 = Now();
        if (BCryptEncrypt(key, data, size, NULL, NULL, 0, data, size, &done, 0) == 0) {
            seconds = Now() - t0;
        }
        BCryptDestroyKey(key);
    }
    BCryptCloseAlgorithmProvider(alg, 0);
    return seconds;
}

bool WriteBytes(LPCWSTR path, const std::string& bytes)
{
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD put = 0;
    BOOL ok = WriteFile(h, bytes.data(), (DWORD)bytes.size(), &put, NULL);
    CloseHandle(h);
    return ok && put == bytes.size();
}

} // namespace

int main(int argc, char** argv)
{
    size_t megabytes = argc > 1 ? (size_t)atoi(argv[1]) : 100;
    if (megabytes == 0) {
        megabytes = 100;
    }
    double size = (double)megabytes * 1e6;
    CTempFolder folder(L"online_bench");
    CString xml = folder / L"db_2_20240131.xml";
    CString enc = folder / L"db_2_20240131.enc";
    CString zip = folder / L"db_2_20240131.zip";
    CString unzipped = folder / L"db_2_onlinerestore.enc";
    CString restored = folder / L"db_2_onlinerestore.xml";

    std::string data = BackupXml((size_t)size);
    if (!WriteBytes(xml, data)) {
        printf("cannot write the test file\n");
        return 1;
    }
    printf("backup XML: %zu bytes\n", data.size());

    double t0 = Now();
    {
        std::string fresh(data.size(), '\0');
        Report("memory: first touch of a fresh buffer", Now() - t0, size);
    }
    double cng = CngEcbSeconds((BYTE*)&data[0], (ULONG)(data.size() & ~(size_t)15));
    if (cng > 0) {
        Report("Windows CNG AES-256 ECB on a buffer in use", cng, size);
    }
    data = BackupXml((size_t)size);

    CAesCipher aes(L"Árvíztűrő jelszó");
    t0 = Now();
    bool ok = aes.Encrypt(data.data(), (DWORD)data.size()) != NULL;
    Report("AES container in memory", Now() - t0, size);
    t0 = Now();
    ok = ok && aes.Decrypt(aes.GetOutput(), aes.GetOutputLength()) != NULL;
    Report("AES container deciphered in memory", Now() - t0, size);
    aes.Reset();
    data.clear();
    data.shrink_to_fit();

    t0 = Now();
    ok = ok && aes.EncryptFile(xml, enc);
    Report("encrypt (file to file)", Now() - t0, size);

    CZipFile writer;
    t0 = Now();
    ok = ok && writer.Create(zip) && writer.AddFile(enc);
    ok = writer.Close() && ok;
    Report("zip (deflate level 8, file to file)", Now() - t0, size);
    printf("%-44s %lld bytes\n", "  archive", FileSize(zip));

    t0 = Now();
    ok = ok && ExtractFirstZipEntry(zip, unzipped);
    Report("unzip (first entry to file)", Now() - t0, size);

    CAesCipher reader(L"Árvíztűrő jelszó");
    t0 = Now();
    ok = ok && reader.DecryptFile(unzipped, restored);
    Report("decrypt (file to file)", Now() - t0, size);

    ok = ok && FileSize(restored) == FileSize(xml);
    printf("%s\n", ok ? "all steps succeeded" : "A STEP FAILED");
    return ok ? 0 : 1;
}
