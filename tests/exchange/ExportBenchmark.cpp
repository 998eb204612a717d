// Exports a register of N cases (100,000 by default) from a SQLite file
// standing in for the central table to each format, and prints the seconds
// and megabytes of each beside two bare figures of the same run: the table
// read alone, and the same bytes written with one WriteFile per row. The
// backup XML is then read back as a restore reads it: loaded, and every node
// pulled with the rows' values taken by position, beside the file read and
// converted alone; with the memory that a restore holds at once.
//   export_benchmark.exe [count]
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <memory>
#include <string>
#include <vector>
#include "../storage/StorageTestSupport.h"
#include "online/XmlParser.h"
#include "storage/UgyiratStore.h"
#include "support/TestSupport.h"

namespace {

using testing_support::ClockNow;
using testing_support::ElapsedMs;

double ReadAlone(const CString& path, int* rows)
{
    CtUgyirat_Sqlite table;
    table.SetPath(path);
    LARGE_INTEGER a = ClockNow();
    *rows = 0;
    if (table.OpenSelect())
        while (table.MoveNext()) {
            CUgyiratRecord r;
            ZeroRecord(r);
            table.GetRecord(r);
            ++*rows;
        }
    table.Close();
    return ElapsedMs(a, ClockNow()) / 1000.0;
}

// The bytes of the file written anew in `pieces` writes of a row's size.
double BareWrites(const std::string& bytes, int pieces, const CString& path)
{
    size_t piece = pieces > 0 ? bytes.size() / pieces : bytes.size();
    if (!piece)
        piece = 1;
    LARGE_INTEGER a = ClockNow();
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        DWORD size = (DWORD)(bytes.size() - at < piece ? bytes.size() - at : piece), written = 0;
        WriteFile(file, bytes.data() + at, size, &written, NULL);
    }
    CloseHandle(file);
    return ElapsedMs(a, ClockNow()) / 1000.0;
}

double Megabytes(size_t bytes)
{
    return bytes / (1024.0 * 1024.0);
}

// The bytes of every busy heap block of the process.
size_t HeapBytes()
{
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    size_t total = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        PROCESS_HEAP_ENTRY entry = {};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData + entry.cbOverhead;
        HeapUnlock(heaps[i]);
    }
    return total;
}

double PeakWorkingSet()
{
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
    return Megabytes(pmc.PeakWorkingSetSize);
}

// The file read and converted to UTF-16, nothing more.
double ReadAndConvert(const CString& path)
{
    LARGE_INTEGER a = ClockNow();
    std::string bytes = testing_support::ReadFileBytes(path);
    int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), (int)bytes.size(), NULL, 0);
    std::unique_ptr<wchar_t[]> text(new wchar_t[units + 1]);
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), (int)bytes.size(), text.get(), units);
    return ElapsedMs(a, ClockNow()) / 1000.0;
}

// Pulls every node; the values of each row go into a record by position, as
// the restore takes them.
void PullRows(XmlParser& parser, std::vector<CUgyiratRecord>& records)
{
    XmlPathFilter rows, data;
    rows.Parse(L"/DataBase/Tables/Table[name=tUgyirat]/Rows/Row");
    data.Parse(L"data");
    while (XmlNode* node = parser.NextNode()) {
        if (!rows.Matches(node))
            continue;
        CUgyiratRecord r;
        ZeroRecord(r);
        int field = 0;
        for (XmlNode* n = parser.NextNode(); n && !(n->GetType() == XmlNode::TYPE_END && n->GetName() == L"Row");
             n = parser.NextNode()) {
            if (!data.Matches(n))
                continue;
            XmlNode* value = parser.NextNode();
            if (value && value->GetType() == XmlNode::TYPE_TEXT) {
                LPCWSTR text = value->GetName().c_str();
                switch (field) {
                case 0: r.Ev = _wtoi(text); break;
                case 1: r.Nr = _wtoi(text); break;
                case 2: CopyField(r.UgyfelNeve, text); break;
                case 3: CopyField(r.EllenfelNeve, text); break;
                case 4: CopyField(r.UgyJellege, text); break;
                case 5: CopyField(r.Megjegyzes, text); break;
                case 7: CopyField(r.CC, text); break;
                case 8: CopyField(r.Hataridok, text); break;
                case 9: r.Allapot = _wtoi(text); break;
                }
            }
            ++field;
        }
        if (field >= 8)
            records.push_back(r);
    }
}

int ReadBackupXml(const CString& path, int cases, CStorageEnvironment& env, const CString& central)
{
    double bare = ReadAndConvert(path);
    size_t base = HeapBytes();
    XmlParser parser;
    LARGE_INTEGER a = ClockNow();
    if (!parser.Load(path)) {
        printf("XML Load: failed\n");
        return 3;
    }
    double load = ElapsedMs(a, ClockNow()) / 1000.0;
    size_t text = HeapBytes() - base;
    std::vector<CUgyiratRecord> records;
    records.reserve(cases);
    size_t before = HeapBytes();
    a = ClockNow();
    PullRows(parser, records);
    double pull = ElapsedMs(a, ClockNow()) / 1000.0;
    size_t tree = HeapBytes() - before;
    printf("XML read: Load %.2f s, every node through the row path %.2f s, %d records; the file read and "
           "converted alone %.2f s\n",
           load, pull, (int)records.size(), bare);
    printf("XML text %.1f MB; tree %.1f MB, %.0f bytes per case; peak working set %.0f MB\n", Megabytes(text),
           Megabytes(tree), cases > 0 ? (double)tree / cases : 0.0, PeakWorkingSet());

    // A restore holds the text and tree, the store's map and the downloaded
    // records at once.
    size_t recordBytes = records.capacity() * sizeof(CUgyiratRecord);
    if (!CopyFileW(central, env.BackupPath(), FALSE))
        return 4;
    before = HeapBytes();
    CtUgyirat_Sqlite* table = new CtUgyirat_Sqlite;
    table->SetPath(central);
    CUgyiratStore store(table);
    if (!store.LoadFromBackup())
        return 5;
    size_t map = HeapBytes() - before;
    printf("a restore at once: text %.1f + tree %.1f + map %.1f + records %.1f = %.1f MB; peak working set %.0f MB\n",
           Megabytes(text), Megabytes(tree), Megabytes(map), Megabytes(recordBytes),
           Megabytes(text + tree + map + recordBytes), PeakWorkingSet());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 100000;
    CStorageEnvironment env(L"ExportBenchmark");
    CString central = env.Folder() + L"central.db";
    {
        auto table = MakeCentralTable(central);
        if (!table || !table->BeginBulkInsert())
            return 1;
        for (int i = 0; i < count; ++i)
            table->Insert(MakeRecord(1990 + i / 60000, 1 + i % 60000, L"Kovács Ödön ügyfél", L"Űrhajó Kft.",
                                     L"Polgári peres", L"megjegyzés a ügyhöz", L"+2025.01.15. tárgyalás"));
        if (!table->EndBulkInsert())
            return 1;
    }
    CtUgyirat_Sqlite* table = new CtUgyirat_Sqlite;
    table->SetPath(central);
    CUgyiratStore store(table);

    struct Format
    {
        const char* name;
        bool (CUgyiratStore::*run)(LPCWSTR);
        LPCWSTR file;
    } formats[] = {
        {"text", &CUgyiratStore::ExportCsv, L"Folionex.txt"},
        {"HTML", &CUgyiratStore::ExportHtml, L"Folionex.html"},
        {"RTF", &CUgyiratStore::ExportRtf, L"Folionex.rtf"},
        {"XML", &CUgyiratStore::ExportXml, L"Folionex.xml"},
    };
    int rows = 0;
    double read = ReadAlone(central, &rows);
    printf("cases: %d; table read alone: %.2f s\n", rows, read);
    int result = 0;
    for (const Format& f : formats) {
        CString path = env.Folder() + f.file;
        LARGE_INTEGER a = ClockNow();
        bool ok = (store.*f.run)(path);
        double seconds = ElapsedMs(a, ClockNow()) / 1000.0;
        std::string bytes = testing_support::ReadFileBytes(path);
        double write = BareWrites(bytes, rows, env.Folder() + L"bare.out");
        if (!ok || write < 0) {
            printf("%s: failed\n", f.name);
            result = 2;
            continue;
        }
        double bare = read + write;
        printf("%-4s: %.2f s, %.1f MB; bare read + %d writes: %.2f + %.2f = %.2f s; ratio %.2f (goal 1.5 at most)\n",
               f.name, seconds, bytes.size() / (1024.0 * 1024.0), rows, read, write, bare,
               bare > 0 ? seconds / bare : 0.0);
    }
    if (!result)
        result = ReadBackupXml(env.Folder() + L"Folionex.xml", rows, env, central);
    return result;
}
