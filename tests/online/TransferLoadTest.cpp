// The restore's jobs on downloaded data: one Row read by position, the
// backup XML loaded into records (also from damaged files), and the
// comparison with the current case store.
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>
#include "TempFolder.h"
#include "TransferTestSupport.h"
#include "foundation/RegisteredMessages.h"
#include "online/TransferJob.h"
#include "online/TransferManager.h"
#include "online/XmlParser.h"
#include "storage/DatabaseContext.h"
#include "storage/UgyiratStore.h"
#include "support/FailingAllocator.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;

const char kHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

void AttachText(XmlParser& parser, const std::wstring& text)
{
    std::unique_ptr<wchar_t[]> copy(new wchar_t[text.size() + 1]);
    wmemcpy(copy.get(), text.c_str(), text.size() + 1);
    parser.Attach(std::move(copy), (uint32_t)text.size());
}

std::wstring Repeat(wchar_t c, size_t n)
{
    return std::wstring(n, c);
}

std::wstring Data(const std::wstring& value)
{
    return L"<data>" + value + L"</data>";
}

// Nine fields of a case as the backup writes them.
std::wstring FullRow(int ev, int nr, const std::wstring& extra = L"")
{
    return L"<Row>" + Data(std::to_wstring(ev)) + Data(std::to_wstring(nr)) + Data(L"Kovács Ödön") +
           Data(L"Nagy Éva") + Data(L"Polgári") + Data(L"Megjegyzés") + Data(L"2024-03-05 08:09:07") +
           Data(L"K.Ö.") + Data(L"2024.04.01 tárgyalás") + extra + L"</Row>";
}

std::string Utf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string out(n, '\0');
    if (n)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], n, NULL, NULL);
    return out;
}

std::string BackupFile(const std::vector<std::wstring>& rows)
{
    std::wstring xml = L"<DataBase><Tables><Table name=\"tUgyirat\"><Rows>";
    for (const std::wstring& row : rows)
        xml += row;
    xml += L"</Rows></Table></Tables></DataBase>";
    return kHead + Utf8(xml);
}

TEST(ReadXmlRowTest, ReadsFieldsByPosition)
{
    struct Case {
        const char* name;
        std::wstring row; // from the Row's start tag
        bool ok;
        int ev, nr, allapot;
        size_t ugyfelLength, ccLength, hataridokLength;
        int year, second;
    } cases[] = {
        {"nine fields", FullRow(2024, 17), true, 2024, 17, 0, 11, 4, 20, 2024, 7},
        {"a tenth field holds Allapot", FullRow(2024, 18, Data(L"1")), true, 2024, 18, 1, 11, 4, 20, 2024, 7},
        {"further fields are ignored", FullRow(2024, 19, Data(L"0") + Data(L"x") + Data(L"y")), true, 2024, 19, 0,
         11, 4, 20, 2024, 7},
        {"date without leading zeros stays zero",
         L"<Row>" + Data(L"2024") + Data(L"1") + Data(L"a") + Data(L"b") + Data(L"c") + Data(L"d") +
             Data(L"2024-3-5 8:09:07") + Data(L"e") + Data(L"f") + L"</Row>",
         true, 2024, 1, 0, 1, 1, 1, 0, 0},
        {"seven fields are dropped",
         L"<Row>" + Data(L"2024") + Data(L"1") + Data(L"a") + Data(L"b") + Data(L"c") + Data(L"d") +
             Data(L"2024-03-05 08:09:07") + L"</Row>",
         false, 2024, 1, 0, 1, 0, 0, 2024, 7},
        {"eight fields: an empty Hataridok",
         L"<Row>" + Data(L"2024") + Data(L"2") + Data(L"a") + Data(L"b") + Data(L"c") + Data(L"d") +
             Data(L"2024-03-05 08:09:07") + Data(L"e") + L"</Row>",
         true, 2024, 2, 0, 1, 1, 0, 2024, 7},
        {"empty elements count and keep their fields",
         L"<Row><data></data><data></data>" + Data(L"a") + L"<data></data><data></data><data></data>"
                                                           L"<data></data><data></data><data></data></Row>",
         true, 0, 0, 0, 1, 0, 0, 0, 0},
        {"texts are cut",
         L"<Row>" + Data(L"2024") + Data(L"3") + Data(Repeat(L'á', 300)) + Data(Repeat(L'b', 201)) +
             Data(Repeat(L'c', 5000)) + Data(Repeat(L'd', 200)) + Data(L"2024-03-05 08:09:07") +
             Data(Repeat(L'e', 100)) + Data(Repeat(L'f', 3000)) + L"</Row>",
         true, 2024, 3, 0, 200, 48, 1024, 2024, 7},
        {"another element inside a field ends the row",
         L"<Row>" + Data(L"2024") + Data(L"4") + L"<data><b>x</b></data>" + Data(L"b") + Data(L"c") + Data(L"d") +
             Data(L"2024-03-05 08:09:07") + Data(L"e") + Data(L"f") + L"</Row>",
         false, 2024, 4, 0, 0, 0, 0, 0, 0},
        {"numbers with junk and out of range",
         L"<Row>" + Data(L"  2024x") + Data(L"99999999999") + Data(L"a") + Data(L"b") + Data(L"c") + Data(L"d") +
             Data(L"abcd-ef-gh ij:kl:mn") + Data(L"e") + L"</Row>",
         true, 2024, 2147483647, 0, 1, 1, 0, 0, 0},
        {"the text ends inside the row: the field counts, empty",
         L"<Row>" + Data(L"2024") + Data(L"5") + Data(L"a") + Data(L"b") + Data(L"c") + Data(L"d") +
             Data(L"2024-03-05 08:09:07") + L"<data>e",
         true, 2024, 5, 0, 1, 0, 0, 2024, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XmlParser parser;
        AttachText(parser, L"<?xml version=\"1.0\"?>" + c.row);
        XmlNode* node = NULL;
        while (parser.GetPosition() < parser.GetLength()) {
            node = parser.NextNode();
            if (node && node->GetType() == XmlNode::TYPE_ELEMENT && node->GetName() == L"Row")
                break;
        }
        ASSERT_TRUE(node);
        CUgyiratRecord record;
        ZeroRecord(record);
        EXPECT_EQ(ReadXmlRow(parser, record), c.ok);
        EXPECT_EQ(record.Ev, c.ev);
        EXPECT_EQ(record.Nr, c.nr);
        EXPECT_EQ(record.Allapot, c.allapot);
        EXPECT_EQ(record.CompareState, 0);
        EXPECT_EQ(wcslen(record.UgyfelNeve), c.ugyfelLength);
        EXPECT_EQ(wcslen(record.CC), c.ccLength);
        EXPECT_EQ(wcslen(record.Hataridok), c.hataridokLength);
        EXPECT_EQ(record.Datum.year, c.year);
        EXPECT_EQ(record.Datum.second, c.second);
        if (c.year) {
            EXPECT_EQ(record.Datum.month, 3);
            EXPECT_EQ(record.Datum.day, 5);
            EXPECT_EQ(record.Datum.hour, 8);
            EXPECT_EQ(record.Datum.minute, 9);
        }
    }
}

class TransferLoadTest : public ::testing::Test
{
protected:
    TransferLoadTest() : folder(L"transfer_load") {}
    CTempFolder folder;
};

// A row of the case with one of its fields written otherwise.
std::wstring RowWith(int nr, const std::wstring& field)
{
    return L"<Row>" + Data(L"2024") + Data(std::to_wstring(nr)) + Data(L"Kovács Ödön") + field + Data(L"Polgári") +
           Data(L"Megjegyzés") + Data(L"2024-03-05 08:09:07") + Data(L"K.Ö.") + Data(L"2024.04.01 tárgyalás") +
           L"</Row>";
}

TEST_F(TransferLoadTest, LoadJobReadsTheCaseRowsOfItsTable)
{
    const CString error = L"A letöltött adatokat nem sikerült beolvasni! (Hibás jelszó?)";
    std::string twoTables = kHead + Utf8(L"<DataBase><Tables><Table name=\"tMas\"><Rows>" + FullRow(2000, 1) +
                                         L"</Rows></Table><Table name=\"tUgyirat\"><Rows>" + FullRow(2024, 2) +
                                         L"</Rows></Table></Tables></DataBase>");
    const std::string three = BackupFile({FullRow(2024, 1), FullRow(2024, 2), FullRow(2023, 7, Data(L"1"))});
    // Cut between the first two rows, and inside the last one.
    const std::string cutBetween = three.substr(0, three.find("<Row>", three.find("</Row>") + 6));
    const std::string cutInside = three.substr(0, three.rfind("<data>"));
    struct Case {
        const char* name;
        std::string file; // empty: no file
        bool ok;
        size_t records;
        bool errorText;
    } cases[] = {
        {"three rows", three, true, 3, false},
        {"only the case table's rows", twoTables, true, 1, false},
        {"rows that all fail", BackupFile({L"<Row>" + Data(L"1") + L"</Row>", L"<Row></Row>"}), false, 0, false},
        {"no rows", BackupFile({}), false, 0, false},
        {"not XML", "PK\x03\x04 garbage", false, 0, true},
        {"too short", "<?xml", false, 0, true},
        {"no file", "", false, 0, true},
        // A register is restored whole or not at all.
        {"a foreign file's <data/> in a row: the later rows would merge into it",
         BackupFile({FullRow(2024, 1), RowWith(2, L"<data/>"), FullRow(2024, 3), FullRow(2024, 4)}), false, 0, false},
        {"an end tag dropped inside a row",
         BackupFile({FullRow(2024, 1), RowWith(2, L"<data>Nagy Éva"), FullRow(2024, 3)}), false, 0, false},
        {"a row of seven fields among whole ones",
         BackupFile({FullRow(2024, 1),
                     L"<Row>" + Data(L"2024") + Data(L"2") + Data(L"a") + Data(L"b") + Data(L"c") + Data(L"d") +
                         Data(L"2024-03-05 08:09:07") + L"</Row>",
                     FullRow(2024, 3)}),
         false, 0, false},
        {"the file ends between two rows", cutBetween, false, 0, false},
        {"the file ends inside a row", cutInside, false, 0, false},
        {"a stray end tag after the last row",
         kHead + Utf8(L"<DataBase><Tables><Table name=\"tUgyirat\"><Rows>" + FullRow(2024, 1) +
                      L"</Row></Rows></Table></Tables></DataBase>"),
         false, 0, false},
        {"a tag after the root has closed", three + "<Row>", true, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CString path = folder / L"letöltés.xml";
        DeleteFileW(path);
        if (!c.file.empty()) {
            ASSERT_TRUE(WriteFileBytes(path, c.file));
        }
        std::vector<CUgyiratRecord> records;
        CTransferJob_LoadFromXml job(path, &records);
        EXPECT_EQ(job.GetStepCount(), 20);
        EXPECT_EQ(job.Run(), c.ok);
        EXPECT_EQ(job.GetState(), c.ok ? CTransferJob::STATE_DONE : CTransferJob::STATE_FAILED);
        EXPECT_EQ(records.size(), c.records);
        if (!c.ok) {
            EXPECT_EQ(records.capacity(), 0u) << "a failed load keeps no memory";
        }
        EXPECT_EQ(job.GetErrorText(), c.errorText ? error : CString());
    }
}

// The caller's vector is made once, at its final size: it never doubles,
// so it never holds an old block beside a new one.
TEST_F(TransferLoadTest, TheRecordsAreAllocatedOnceAtTheirFinalSize)
{
    for (int count : {20, 200, 1000}) {
        SCOPED_TRACE(count);
        std::vector<std::wstring> rows;
        for (int i = 1; i <= count; ++i)
            rows.push_back(FullRow(2024, i));
        ASSERT_TRUE(WriteFileBytes(folder / L"egyszer.xml", BackupFile(rows)));
        std::vector<CUgyiratRecord> records;
        CTransferJob_LoadFromXml job(folder / L"egyszer.xml", &records);
        const size_t final = count * sizeof(CUgyiratRecord);
        WatchBlocks(final / 2 + 1);
        ASSERT_TRUE(job.Run());
        WatchBlocks(0);
        EXPECT_EQ(records.size(), (size_t)count);
        EXPECT_EQ(records.capacity(), (size_t)count);
        EXPECT_EQ(WatchedBlocks(), std::vector<size_t>{final});
    }
}

// Memory that runs out at any point of the load: a failure that says so
// (not the password's text), no record kept, nothing thrown.
TEST_F(TransferLoadTest, MemoryRunningOutAnywhereInTheLoadFailsIt)
{
    std::vector<std::wstring> rows;
    for (int i = 1; i <= 50; ++i)
        rows.push_back(FullRow(2024, i));
    ASSERT_TRUE(WriteFileBytes(folder / L"memoria.xml", BackupFile(rows)));
    long allocations;
    {
        std::vector<CUgyiratRecord> records;
        CTransferJob_LoadFromXml job(folder / L"memoria.xml", &records);
        long before = AllocationCount();
        ASSERT_TRUE(job.Run());
        allocations = AllocationCount() - before;
    }
    ASSERT_GT(allocations, 10);
    struct Case
    {
        const char* name;
        long after;
        size_t minSize;
    } cases[] = {
        {"the file's bytes", 0, 0},
        {"the text", 1, 0},
        {"the records", 0, 50 * sizeof(CUgyiratRecord)},
        {"the first node", 3, 0},
        {"a quarter in", allocations / 4, 0},
        {"half way", allocations / 2, 0},
        {"the last rows", allocations * 9 / 10, 0},
    };
    const CString outOfMemory = L"Nincs elég memória a letöltött adatok beolvasásához; a korábbi adatok nem változtak.";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<CUgyiratRecord> records;
        CTransferJob_LoadFromXml job(folder / L"memoria.xml", &records);
        bool ok = true;
        long refused;
        {
            CAllocationFailure failure(c.after, c.minSize);
            EXPECT_NO_THROW(ok = job.Run());
            refused = failure.Refused();
        }
        EXPECT_EQ(refused, 1);
        EXPECT_FALSE(ok);
        EXPECT_EQ(job.GetState(), CTransferJob::STATE_FAILED);
        EXPECT_EQ(job.GetErrorText(), outOfMemory);
        EXPECT_TRUE(records.empty());
    }
}

TEST_F(TransferLoadTest, WrongPasswordShowsInTheLoadJob)
{
    ASSERT_TRUE(WriteFileBytes(folder / L"mentés.xml", BackupFile({FullRow(2024, 1)})));
    CTransferJob_Encrypt encrypt(folder / L"mentés.xml", folder / L"mentés.enc", L"helyes");
    ASSERT_TRUE(encrypt.Run());
    std::vector<CUgyiratRecord> records;
    HWND hWnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    CTransferManager manager;
    manager.AddDecrypt(folder / L"mentés.enc", folder / L"visszafejtett.xml", L"hibás");
    manager.AddLoadFromXml(folder / L"visszafejtett.xml", &records);
    EXPECT_FALSE(manager.RunSilently(hWnd, RunTexts()));
    EXPECT_EQ(manager.GetJobs()[0]->GetState(), CTransferJob::STATE_DONE) << "the decrypt job passes";
    EXPECT_EQ(manager.GetResultBits(), 3u);
    CProgressRecord last;
    MSG msg;
    while (PeekMessageW(&msg, hWnd, g_uMsgProgress, g_uMsgProgress, PM_REMOVE)) {
        CProgressRecord* record = reinterpret_cast<CProgressRecord*>(msg.wParam);
        last = *record;
        delete record;
    }
    DestroyWindow(hWnd);
    EXPECT_EQ(last.m_kind, CProgressRecord::KIND_ABORTED);
    EXPECT_EQ(last.m_secondText, L"A letöltött adatokat nem sikerült beolvasni! (Hibás jelszó?)");
    EXPECT_TRUE(records.empty());
}

// A sink that keeps the values of the records handed to it.
class CValueSink : public CProgress
{
public:
    void ProcessMessage(CProgressRecord* record) override
    {
        values.push_back(record->m_value);
        delete record;
    }
    std::vector<int> values;
};

TEST_F(TransferLoadTest, LoadProgressGrowsToTwentyAtMost)
{
    std::vector<std::wstring> rows;
    for (int i = 1; i <= 200; ++i)
        rows.push_back(FullRow(2024, i));
    ASSERT_TRUE(WriteFileBytes(folder / L"nagy.xml", BackupFile(rows)));
    std::vector<CUgyiratRecord> records;
    CValueSink sink;
    CTransferJob_LoadFromXml job(folder / L"nagy.xml", &records);
    job.SetProgress(&sink);
    ASSERT_TRUE(job.Run());
    EXPECT_EQ(records.size(), 200u);
    EXPECT_EQ(records[199].Nr, 200);
    ASSERT_FALSE(sink.values.empty());
    EXPECT_LE(sink.values.size(), 20u);
    for (size_t i = 1; i < sink.values.size(); ++i)
        EXPECT_GT(sink.values[i], sink.values[i - 1]);
    EXPECT_LE(sink.values.back(), 20);
    EXPECT_GE(sink.values.back(), 19);
}

TEST_F(TransferLoadTest, DamagedFilesGiveAClearFailureOrBoundedRows)
{
    std::vector<std::wstring> rows;
    for (int i = 1; i <= 30; ++i)
        rows.push_back(FullRow(2024, i, i % 3 ? L"" : Data(L"1")));
    const std::string good = BackupFile(rows);
    std::mt19937 random(1919);
    std::vector<std::string> files;
    for (size_t cut = 0; cut < good.size(); cut += good.size() / 97 + 1)
        files.push_back(good.substr(0, cut));
    for (int i = 0; i < 150; ++i) {
        std::string damaged = good;
        for (int flips = 0; flips < 1 + i % 8; ++flips)
            damaged[random() % damaged.size()] = (char)(random() & 0xFF);
        files.push_back(damaged);
    }
    // Oversized values and deep nesting.
    files.push_back(BackupFile({L"<Row>" + Data(L"2024") + Data(L"1") + Data(Repeat(L'x', 3000000)) +
                                L"<data></data><data></data><data></data><data></data><data></data></Row>"}));
    std::wstring deep;
    for (int i = 0; i < 100000; ++i)
        deep += L"<data>";
    files.push_back(BackupFile({L"<Row>" + deep + L"</Row>"}));
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(WriteFileBytes(folder / L"sérült.xml", files[i]));
        std::vector<CUgyiratRecord> records;
        CTransferJob_LoadFromXml job(folder / L"sérült.xml", &records);
        bool ok = job.Run();
        EXPECT_EQ(ok, !records.empty());
        EXPECT_LE(records.size(), 31u);
        for (const CUgyiratRecord& r : records) {
            EXPECT_LE(wcslen(r.UgyfelNeve), 200u);
            EXPECT_LE(wcslen(r.CC), 48u);
            EXPECT_LE(wcslen(r.Hataridok), 1024u);
        }
    }
}

// ---------------------------------------------------------------------------
// CompareDB

CUgyiratRecord Case(int ev, int nr)
{
    CUgyiratRecord r;
    ZeroRecord(r);
    r.Ev = ev;
    r.Nr = nr;
    return r;
}

TEST(CompareDBTest, CountsAreNeverNegative)
{
    struct Row {
        const char* name;
        std::vector<std::pair<int, int>> store;
        std::vector<std::pair<int, int>> download;
        int both, onlyCurrent, onlyDownloaded;
    } rows[] = {
        {"empty store leaves the counts", {}, {{2024, 1}}, 7, 8, 9},
        {"same cases", {{2024, 1}, {2024, 2}}, {{2024, 1}, {2024, 2}}, 2, 0, 0},
        {"some of each", {{2024, 1}, {2024, 2}, {2023, 5}}, {{2024, 1}, {2025, 1}}, 1, 2, 1},
        {"a repeated key counts once", {{2024, 1}}, {{2024, 1}, {2024, 1}, {2024, 2}}, 1, 0, 1},
        {"repeated keys the store lacks count each", {{2024, 1}}, {{2024, 3}, {2024, 3}}, 0, 1, 2},
        {"empty download", {{2024, 1}, {2024, 2}}, {}, 0, 2, 0},
    };
    for (const Row& c : rows) {
        SCOPED_TRACE(c.name);
        CDatabaseContext context;
        ASSERT_EQ(CDatabaseContext::GetApplicationContext(), &context);
        for (const auto& k : c.store)
            context.m_pStore->m_records[MakeUgyiratKey(k.first, k.second)] = Case(k.first, k.second);
        std::vector<CUgyiratRecord> download;
        for (const auto& k : c.download)
            download.push_back(Case(k.first, k.second));
        CCompareCounts counts = {7, 8, 9};
        CTransferJob_CompareDB job(&download, &counts);
        EXPECT_EQ(job.GetName(), L"Letöltött adatok összevetése a jelenlegi adatokkal");
        EXPECT_TRUE(job.Run());
        EXPECT_EQ(job.GetState(), CTransferJob::STATE_DONE);
        EXPECT_EQ(counts.m_nBoth, c.both);
        EXPECT_EQ(counts.m_nOnlyCurrent, c.onlyCurrent);
        EXPECT_EQ(counts.m_nOnlyDownloaded, c.onlyDownloaded);
    }
}

TEST(CompareDBTest, MemoryRunningOutFailsTheJobAndLeavesTheCounts)
{
    CDatabaseContext context;
    std::vector<CUgyiratRecord> download;
    for (int i = 1; i <= 40; ++i) {
        context.m_pStore->m_records[MakeUgyiratKey(2024, i)] = Case(2024, i);
        download.push_back(Case(2024, i + 20));
    }
    long allocations;
    {
        CCompareCounts counts = {0, 0, 0};
        CTransferJob_CompareDB job(&download, &counts);
        long before = AllocationCount();
        ASSERT_TRUE(job.Run());
        allocations = AllocationCount() - before;
        EXPECT_EQ(counts.m_nBoth, 20);
    }
    for (long after : {0L, 1L, allocations / 2, allocations - 1}) {
        SCOPED_TRACE(after);
        CCompareCounts counts = {7, 8, 9};
        CTransferJob_CompareDB job(&download, &counts);
        bool ok = true;
        {
            CAllocationFailure failure(after);
            EXPECT_NO_THROW(ok = job.Run());
            EXPECT_EQ(failure.Refused(), 1);
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(job.GetState(), CTransferJob::STATE_FAILED);
        EXPECT_EQ(job.GetErrorText(),
                  L"Nincs elég memória a letöltött adatok beolvasásához; a korábbi adatok nem változtak.");
        EXPECT_EQ(counts.m_nBoth, 7);
        EXPECT_EQ(counts.m_nOnlyCurrent, 8);
        EXPECT_EQ(counts.m_nOnlyDownloaded, 9);
    }
}

TEST(CompareDBTest, ProgressComesInGroupsOfATwentieth)
{
    struct Row {
        int records;
        size_t posts;
    } rows[] = {{19, 0}, {20, 20}, {39, 39}, {40, 20}, {100, 20}};
    CDatabaseContext context;
    context.m_pStore->m_records[MakeUgyiratKey(2024, 1)] = Case(2024, 1);
    for (const Row& c : rows) {
        SCOPED_TRACE(c.records);
        std::vector<CUgyiratRecord> download;
        for (int i = 1; i <= c.records; ++i)
            download.push_back(Case(2024, i));
        CCompareCounts counts = {0, 0, 0};
        CValueSink sink;
        CTransferJob_CompareDB job(&download, &counts);
        job.SetProgress(&sink);
        EXPECT_TRUE(job.Run());
        EXPECT_EQ(sink.values.size(), c.posts);
        for (size_t i = 0; i < sink.values.size(); ++i)
            EXPECT_EQ(sink.values[i], (int)i + 1);
        EXPECT_EQ(counts.m_nBoth, 1);
        EXPECT_EQ(counts.m_nOnlyDownloaded, c.records - 1);
    }
}

} // namespace
