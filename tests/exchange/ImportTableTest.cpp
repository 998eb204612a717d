// The pasted table and its cell parsers: the text helpers, every column
// type, the splitting, the edited row written back, validation and insert
// over a store, the clipboard, and seeded random mutations of pasted text.
#include <gtest/gtest.h>
#include <limits.h>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include "../storage/StorageTestSupport.h"
#include "exchange/ImportTable.h"
#include "foundation/Conversions.h"
#include "storage/UgyiratStore.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"

namespace {


std::wstring Digits(LPCWSTR text)
{
    wchar_t out[kMaxImportDigits + 1];
    int n = ExtractDigits(text, out);
    EXPECT_EQ(n, (int)wcslen(out));
    return out;
}

std::wstring Normalized(LPCWSTR text, int* length = NULL)
{
    // Guards on both sides of the field show a write outside it.
    wchar_t buffer[kMaxImportText + 3];
    wmemset(buffer, L'#', kMaxImportText + 3);
    int n = NormalizeImportText(buffer + 1, text);
    EXPECT_EQ(buffer[0], L'#') << "written before the field";
    EXPECT_EQ(buffer[kMaxImportText + 2], L'#') << "written after the field";
    EXPECT_GE(n, 0);
    EXPECT_LE(n, kMaxImportText);
    EXPECT_EQ(buffer[1 + n], 0);
    if (length)
        *length = n;
    return std::wstring(buffer + 1, n);
}

TEST(ImportTextTest, ExtractDigits)
{
    const struct { LPCWSTR text; LPCWSTR digits; } cases[] = {
        {L"", L""},
        {L"abc", L""},
        {L"12/2020", L"12 2020"},
        {L"Sz. 12 / 2020.", L"12 2020 "},
        {L"12--  --2020", L"12 2020"},
        {L"x1y2z", L"1 2 "},
        {L"007", L"007"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Digits(c.text), c.digits) << (LPCWSTR)c.text;
    std::wstring many(1000, L'7');
    EXPECT_EQ(Digits(many.c_str()), std::wstring(kMaxImportDigits, L'7')) << "cut at 255 characters";
    std::wstring pairs;
    for (int i = 0; i < 300; ++i)
        pairs += L"1-";
    EXPECT_EQ(Digits(pairs.c_str()).size(), (size_t)kMaxImportDigits);
}

TEST(ImportTextTest, ReadImportNumberSaturates)
{
    const struct { std::wstring text; int value; } cases[] = {
        {L"", 0},
        {L"abc", 0},
        {L"  42x", 42},
        {L"-17", -17},
        {L"+8", 8},
        {L"2147483647", INT_MAX},
        {L"2147483648", INT_MAX},
        {L"-2147483648", INT_MIN},
        {L"-2147483649", INT_MIN},
        {std::wstring(300, L'9'), INT_MAX},
        {L"-" + std::wstring(300, L'9'), INT_MIN},
        {std::wstring(300, L'0') + L"12", 12},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadImportNumber(c.text.c_str()), c.value) << c.text.substr(0, 40).c_str();
    EXPECT_EQ(ReadImportNumber(NULL), 0);
}

TEST(ImportTextTest, NormalizeStaysInsideItsField)
{
    const struct { std::wstring text; std::wstring result; } cases[] = {
        {L"", L""},
        {L" ", L""},
        {L"   \a\r\n ", L""},
        {L"\"", L"\""},
        {L"\"\"", L""},
        {L"\"Kiss Anna\"", L"Kiss Anna"},
        {L"  Kiss \a\a  Anna  ", L"Kiss Anna"},
        {L"Kiss Anna ", L"Kiss Anna"},
        {L"Nagy Béla\r", L"Nagy Béla"},
        {L"a\tb", L"a\tb"},
        {L"\"idézet", L"\"idézet"},
        {L"\"abc\" ", L"\"abc\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Normalized(c.text.c_str()), c.result) << c.text.c_str();
    EXPECT_EQ(Normalized(NULL), L"");

    int n = 0;
    std::wstring longText(500, L'x');
    EXPECT_EQ(Normalized(longText.c_str(), &n), std::wstring(kMaxImportText, L'x'));
    // Blanks are folded before they count: 200 written characters, the
    // last of them a blank that then goes.
    std::wstring spaced, folded;
    for (int i = 0; i < 300; ++i)
        spaced += L"y  ";
    for (int i = 0; i < 100; ++i)
        folded += L"y ";
    folded.pop_back();
    EXPECT_EQ(Normalized(spaced.c_str(), &n), folded);
    std::wstring quoted = L"\"" + std::wstring(kMaxImportText - 2, L'q') + L"\"";
    EXPECT_EQ(Normalized(quoted.c_str()), std::wstring(kMaxImportText - 2, L'q'));
}

struct FieldCase
{
    int type;
    std::wstring text;
    int bits;
    int nr;
    int ev;
    LPCWSTR client;
    LPCWSTR other;
};

TEST(ImportFieldTest, EveryColumnType)
{
    const std::wstring huge(300, L'9');
    const std::wstring sep7 = L" \x00AD\x00AD\x2013\x00AD\x00AD ";
    const FieldCase cases[] = {
        {1, L"12", 0x1, 12, 0, L"", L""},
        {1, L"Sz. 12/2020", 0x1, 12, 0, L"", L""},
        {1, L"0", 0, 0, 0, L"", L""},
        {1, L"", 0, 0, 0, L"", L""},
        {1, L"65535", 0x1, 65535, 0, L"", L""},
        {1, L"65536", 0, 65536, 0, L"", L""},
        {1, huge, 0, INT_MAX, 0, L"", L""},
        {2, L"12/2020", 0x3, 12, 2020, L"", L""},
        {2, L"12 2020", 0x3, 12, 2020, L"", L""},
        {2, L"12-ik ügy, 2020. év", 0x3, 12, 2020, L"", L""},
        {2, L"12", 0x1, 12, 0, L"", L""},
        {2, L"12/1900", 0x1, 12, 1900, L"", L""},
        {2, L"12/1901", 0x3, 12, 1901, L"", L""},
        {2, L"12/2029", 0x3, 12, 2029, L"", L""},
        {2, L"12/2030", 0x1, 12, 2030, L"", L""},
        {2, L"65535/2020", 0x3, 65535, 2020, L"", L""},
        {2, L"65536/2020", 0, 65536, 0, L"", L""},
        {2, huge + L"/2020", 0, INT_MAX, 0, L"", L""},
        {2, L"12/" + huge, 0x1, 12, INT_MAX, L"", L""},
        {2, L"nincs", 0, 0, 0, L"", L""},
        {3, L"2020/12", 0x3, 12, 2020, L"", L""},
        {3, L"2020.12", 0x3, 12, 2020, L"", L""},
        {3, L"2020", 0x2, 0, 2020, L"", L""},
        {3, L"1900/12", 0, 0, 1900, L"", L""},
        {3, L"2030/12", 0, 0, 2030, L"", L""},
        {3, L"2029/12", 0x3, 12, 2029, L"", L""},
        {3, L"2020/65536", 0x2, 65536, 2020, L"", L""},
        {3, L"2020/0", 0x2, 0, 2020, L"", L""},
        {4, L"2020", 0x2, 0, 2020, L"", L""},
        {4, L" 1901", 0x2, 0, 1901, L"", L""},
        {4, L"1900", 0, 0, 1900, L"", L""},
        {4, L"2029", 0x2, 0, 2029, L"", L""},
        {4, L"2030", 0, 0, 2030, L"", L""},
        {4, L"Év: 2020", 0, 0, 0, L"", L""},
        {5, L" \"Kiss  Anna\"", 0x4, 0, 0, L"\"Kiss Anna\"", L""},
        {5, L"\"Kiss Anna\"", 0x4, 0, 0, L"Kiss Anna", L""},
        {5, L"   ", 0, 0, 0, L"", L""},
        {6, L"Kiss Anna - Nagy Béla", 0xC, 0, 0, L"Kiss Anna", L"Nagy Béla"},
        {6, L"Kiss Anna" + sep7 + L"Nagy Béla", 0xC, 0, 0, L"Kiss Anna", L"Nagy Béla"},
        {6, sep7 + L"Nagy Béla", 0xC, 0, 0, L"\x00AD\x00AD\x2013\x00AD\x00AD Nagy Béla", L""},
        {6, L" - Nagy Béla", 0xC, 0, 0, L"- Nagy Béla", L""},
        {6, L"  - Nagy Béla", 0xC, 0, 0, L"", L"Nagy Béla"},
        {6, L"Kiss Anna", 0xC, 0, 0, L"Kiss Anna", L""},
        {6, L"a - b - c", 0xC, 0, 0, L"a", L"b - c"},
        {6, L"", 0, 0, 0, L"", L""},
        {7, L"Nagy Béla ", 0x8, 0, 0, L"", L"Nagy Béla"},
        {0, L"12", 0, 0, 0, L"", L""},
        {10, L"12", 0, 0, 0, L"", L""},
    };
    for (const FieldCase& c : cases) {
        CUgyiratRecord r;
        ZeroRecord(r);
        int bits = ParseImportField(c.type, c.text.c_str(), r);
        std::string what = "type " + std::to_string(c.type) + " text #" + std::to_string(&c - cases);
        EXPECT_EQ(bits, c.bits) << what;
        EXPECT_EQ(r.Nr, c.nr) << what;
        EXPECT_EQ(r.Ev, c.ev) << what;
        EXPECT_EQ(CString(r.UgyfelNeve), CString(c.client)) << what;
        EXPECT_EQ(CString(r.EllenfelNeve), CString(c.other)) << what;
    }
    CUgyiratRecord r;
    ZeroRecord(r);
    EXPECT_EQ(ParseImportField(8, L"Polgári\a per", r), 0x10);
    EXPECT_EQ(CString(r.UgyJellege), CString(L"Polgári per"));
    EXPECT_EQ(ParseImportField(9, L"megjegyzés ", r), 0x20);
    EXPECT_EQ(CString(r.Megjegyzes), CString(L"megjegyzés"));
    EXPECT_EQ(ParseImportField(5, NULL, r), 0);
}

// ---- The table ----

std::vector<std::wstring> RowCells(CImportTable& table, int row)
{
    std::vector<std::wstring> cells;
    for (int c = 0; c < table.GetColumnCount(); ++c) {
        LPCWSTR text = table.GetRow(row)->GetCell(c).GetText();
        cells.push_back(text ? text : L"");
    }
    return cells;
}

typedef std::vector<std::vector<std::wstring>> Cells;

TEST(ImportTableTest, ParseCutsRowsAndCells)
{
    const struct { std::wstring text; int columns; Cells rows; } cases[] = {
        {L"", 0, {}},
        {L"a", 1, {{L"a"}}},
        {L"a\tb\nc\td\n", 2, {{L"a", L"b"}, {L"c", L"d"}}},
        {L"a\tb\r\nc\td\r\n", 2, {{L"a", L"b "}, {L"c", L"d "}}},
        {L"a\tb\n\nc\td", 2, {{L"a", L"b"}, {L"", L""}, {L"c", L"d"}}},
        {L"a\tb\tc\nd\ne\tf\n", 3, {{L"a", L"b", L"c"}, {L"d", L"", L""}, {L"e", L"f", L""}}},
        {L"\n", 1, {{L""}}},
        {L"\n\n", 1, {{L""}, {L""}}},
        {L"\t\t", 3, {{L"", L"", L""}}},
        {L"x\r", 1, {{L"x "}}},
    };
    for (const auto& c : cases) {
        CImportTable table;
        EXPECT_EQ(table.SetText(c.text.c_str(), c.text.size()), c.columns) << c.text.c_str();
        ASSERT_EQ(table.GetRowCount(), (int)c.rows.size()) << c.text.c_str();
        for (int i = 0; i < table.GetRowCount(); ++i) {
            EXPECT_EQ(RowCells(table, i), c.rows[i]) << c.text.c_str() << " row " << i;
            EXPECT_EQ(table.GetRow(i)->m_status, kRowNotValidated);
        }
    }
}

TEST(ImportTableTest, WideTablesKeepTheFirst1024Columns)
{
    std::wstring line;
    for (int c = 0; c < 1500; ++c)
        line += (c ? L"\t" : L"") + std::to_wstring(c + 1);
    std::wstring text = line + L"\n12/2020\n";
    CImportTable table;
    EXPECT_EQ(table.SetText(text.c_str(), text.size()), kMaxImportColumns);
    ASSERT_EQ(table.GetRowCount(), 2);
    EXPECT_EQ(table.GetRow(0)->GetCellCount(), kMaxImportColumns);
    EXPECT_EQ(std::wstring(table.GetRow(0)->GetCell(1023).GetText()), L"1024");
    EXPECT_EQ(std::wstring(table.GetRow(0)->GetCell(1024).GetText() ? L"?" : L""), L"") << "the shared empty cell";
    EXPECT_EQ(table.GetRow(1)->GetCellCount(), 1) << "a short row stores only its own pieces";
    EXPECT_EQ(table.GetRow(1)->GetCell(500).GetText(), table.GetRow(0)->GetCell(5000).GetText());

    int types[kMaxImportColumns] = {0};
    types[1023] = 4;
    EXPECT_EQ(table.GetTypeMask(types), 0x2);
}

TEST(ImportTableTest, TypeMaskAndOutOfRangeRows)
{
    CImportTable table;
    int types[kMaxImportColumns] = {0};
    EXPECT_EQ(table.GetTypeMask(types), -1);
    EXPECT_EQ(table.ValidateRow(types, 0), kRowInvalid);
    std::wstring text = L"1\t2\t3\n";
    table.SetText(text.c_str(), text.size());
    EXPECT_EQ(table.GetTypeMask(types), 0);
    types[0] = 2;
    types[1] = 6;
    types[2] = 9;
    EXPECT_EQ(table.GetTypeMask(types), 0x2F);
    CUgyiratRecord r;
    ZeroRecord(r);
    r.Nr = 77;
    EXPECT_EQ(table.ParseRow(types, 5, r), 0);
    EXPECT_EQ(table.ParseRow(types, -1, r), 0);
    EXPECT_EQ(r.Nr, 77) << "left alone outside the table";
    EXPECT_EQ(table.StoreRow(types, 1, r), 0);
    EXPECT_FALSE(table.ImportRow(types, 3));
}

TEST(ImportTableTest, AnEditedRowParsesBackToTheSameValues)
{
    const int columnTypes[][4] = {{2, 6, 8, 9}, {3, 5, 7, 0}, {1, 4, 5, 0}};
    for (const auto& layout : columnTypes) {
        std::wstring text = L"x\tx\tx\tx\n";
        CImportTable table;
        table.SetText(text.c_str(), text.size());
        int types[kMaxImportColumns] = {0};
        for (int c = 0; c < 4; ++c)
            types[c] = layout[c];
        CUgyiratRecord edited;
        ZeroRecord(edited);
        edited.Nr = 7;
        edited.Ev = 2021;
        CopyField(edited.UgyfelNeve, L"Kiss Anna");
        CopyField(edited.EllenfelNeve, layout[0] == 1 ? L"" : L"Nagy Béla");
        CopyField(edited.UgyJellege, layout[2] == 8 ? L"Polgári" : L"");
        CopyField(edited.Megjegyzes, layout[3] == 9 ? L"első" : L"");
        int typed = 0;
        for (int c = 0; c < 4; ++c)
            typed += layout[c] > 0;
        EXPECT_EQ(table.StoreRow(types, 0, edited), typed);
        EXPECT_TRUE(table.GetRow(0)->GetCell(0).IsOwned());
        CUgyiratRecord back;
        ZeroRecord(back);
        int bits = table.ParseRow(types, 0, back);
        EXPECT_EQ(bits & 0x7, 0x7);
        EXPECT_EQ(back.Nr, 7);
        EXPECT_EQ(back.Ev, 2021);
        EXPECT_EQ(CString(back.UgyfelNeve), CString(edited.UgyfelNeve));
        EXPECT_EQ(CString(back.EllenfelNeve), CString(edited.EllenfelNeve));
        EXPECT_EQ(CString(back.UgyJellege), CString(edited.UgyJellege));
        EXPECT_EQ(CString(back.Megjegyzes), CString(edited.Megjegyzes));
    }
    std::wstring text = L"x\n";
    CImportTable table;
    table.SetText(text.c_str(), text.size());
    int types[kMaxImportColumns] = {2};
    CUgyiratRecord r;
    ZeroRecord(r);
    r.Nr = 7;
    r.Ev = 2021;
    table.StoreRow(types, 0, r);
    EXPECT_EQ(std::wstring(table.GetRow(0)->GetCell(0).GetText()), L"7/2021");
}

// ---- Validation and insert over a store ----

class ImportStoreTest : public ::testing::Test
{
protected:
    ImportStoreTest() : env(L"ImportStoreTest") {}

    void SetUp() override
    {
        auto central = MakeCentralTable(env.Folder() + L"central.db");
        ASSERT_TRUE(central);
        store.reset(new CUgyiratStore(central.release()));
        table.SetStore(store.get());
        types[0] = 2;
        types[1] = 5;
    }

    void Paste(const std::wstring& text) { table.SetText(text.c_str(), text.size()); }

    CStorageEnvironment env;
    std::unique_ptr<CUgyiratStore> store;
    CImportTable table;
    int types[kMaxImportColumns] = {0};
};

TEST_F(ImportStoreTest, ValidateDecidesFromTheParsedKey)
{
    ASSERT_TRUE(store->Insert(MakeRecord(2020, 3)));
    Paste(L"1/2020\tKiss Anna\n3/2020\tNagy Béla\n2/2020\t\n\n65536/2020\tTóth\n" + std::wstring(300, L'9') +
          L"/2020\tX\n4/2030\tY\n");
    const int expected[] = {kRowValid, kRowExists, kRowInvalid, kRowInvalid, kRowInvalid, kRowInvalid, kRowInvalid};
    ASSERT_EQ(table.GetRowCount(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(table.ValidateRow(types, i), expected[i]) << "row " << i;
    EXPECT_EQ(table.GetRow(0)->m_status, kRowNotValidated) << "validation does not store the status";

    // A later column overwriting the number with an invalid one.
    int overwritten[kMaxImportColumns] = {2, 5, 1};
    Paste(L"1/2020\tKiss Anna\t0\n");
    EXPECT_EQ(table.ValidateRow(overwritten, 0), kRowInvalid);
}

TEST_F(ImportStoreTest, ImportInsertsANewClosedCaseOrRecordsTheRefusal)
{
    Paste(L"1/2020\tKiss Anna\n1/2020\tMásik Anna\n2/2020\t\n");
    DBTIMESTAMP before;
    GetCurrentDbTimestamp(before);
    EXPECT_TRUE(table.ImportRow(types, 0));
    EXPECT_EQ(table.GetRow(0)->m_status, kRowValid);
    EXPECT_FALSE(table.ImportRow(types, 1));
    EXPECT_EQ(table.GetRow(1)->m_status, kRowRefused);
    EXPECT_FALSE(table.ImportRow(types, 2));
    EXPECT_EQ(table.GetRow(2)->m_status, kRowInvalid) << "a row lacking a field never looks inserted";

    const CUgyiratRecord* r = store->Find(MakeUgyiratKey(2020, 1));
    ASSERT_TRUE(r);
    EXPECT_EQ(CString(r->UgyfelNeve), CString(L"Kiss Anna"));
    EXPECT_EQ(r->Allapot, 0);
    EXPECT_EQ(CString(r->CC), CString(L""));
    EXPECT_EQ(CString(r->Hataridok), CString(L""));
    EXPECT_EQ(r->Datum.year, before.year);
    EXPECT_EQ(r->Datum.month, before.month);
    EXPECT_EQ(r->Datum.fraction, 0u);
    EXPECT_EQ(store->m_records.size(), 1u);
}

// ---- The clipboard ----

bool PutClipboard(UINT format, const void* bytes, size_t size)
{
    if (!OpenClipboard(NULL))
        return false;
    EmptyClipboard();
    bool ok = true;
    if (format) {
        HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, size);
        memcpy(GlobalLock(data), bytes, size);
        GlobalUnlock(data);
        ok = SetClipboardData(format, data) != NULL;
    }
    CloseClipboard();
    return ok;
}

TEST(ImportClipboardTest, ReadsUnicodeOrNarrowTextWithinItsSize)
{
    CImportTable table;
    std::wstring text = L"12/2020\tŐry Ödön\n13/2020\tÁrvíztűrő\n";
    ASSERT_TRUE(PutClipboard(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(table.ReadClipboard(NULL), 2);
    ASSERT_EQ(table.GetRowCount(), 2);
    EXPECT_EQ(RowCells(table, 1), (std::vector<std::wstring>{L"13/2020", L"Árvíztűrő"}));

    // Unterminated data: read within its size (the system may give its
    // last character up for a terminator), never past it.
    std::wstring bare = L"7\tő";
    ASSERT_TRUE(PutClipboard(CF_UNICODETEXT, bare.c_str(), bare.size() * sizeof(wchar_t)));
    EXPECT_EQ(table.ReadClipboard(NULL), 2);
    std::vector<std::wstring> cells = RowCells(table, 0);
    EXPECT_EQ(cells[0], L"7");
    EXPECT_TRUE(cells[1] == L"ő" || cells[1].empty()) << cells[1].size();

    // Narrow text alone, in code page 1250: "Kő\tŰr".
    const char narrow[] = "K\xF5\t\xDBr\n";
    ASSERT_TRUE(PutClipboard(CF_TEXT, narrow, sizeof(narrow)));
    EXPECT_EQ(table.ReadClipboard(NULL), 2);
    ASSERT_EQ(table.GetRowCount(), 1);
    EXPECT_EQ(RowCells(table, 0), (std::vector<std::wstring>{L"Kő", L"Űr"}));

    // No text: -2, the table stays.
    ASSERT_TRUE(PutClipboard(0, NULL, 0));
    EXPECT_EQ(table.ReadClipboard(NULL), -2);
    EXPECT_EQ(table.GetRowCount(), 1);

    // Held open by another window: -1, the table stays.
    HWND holder = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(OpenClipboard(holder));
    int result = 0;
    std::thread other([&] { result = table.ReadClipboard(NULL); });
    other.join();
    CloseClipboard();
    DestroyWindow(holder);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(table.GetRowCount(), 1);
}

// ---- Hostile text ----

// Seeded random mutations of pasted tables: every row keeps its cells, every
// parsed field stays terminated within its 200 characters, every status is 2,
// 4 or 8.
TEST_F(ImportStoreTest, RandomMutationsParseSafely)
{
    ASSERT_TRUE(store->Insert(MakeRecord(2020, 1)));
    const std::wstring seeds[] = {
        L"1/2020\tKiss Anna - Nagy Béla\tPolgári\t\"megjegyzés\"\r\n2/2020\tTóth\t\t\r\n",
        L"2020/5\t\x00AD\x00AD\x2013\t\"\t\a\a\n\n\n",
        std::wstring(400, L'9') + L"\t" + std::wstring(400, L' ') + L"\n",
    };
    const wchar_t alphabet[] = L"\t\n\r \a\"-/0123456789\x00AD\x2013Őa";
    std::mt19937 random(20260412);
    for (int round = 0; round < 400; ++round) {
        std::wstring text = seeds[round % 3];
        int edits = 1 + (int)(random() % 40);
        for (int e = 0; e < edits; ++e) {
            size_t at = text.empty() ? 0 : random() % (text.size() + 1);
            switch (random() % 4) {
            case 0: text.insert(at, 1, alphabet[random() % (sizeof(alphabet) / sizeof(wchar_t) - 1)]); break;
            case 1: if (at < text.size()) text.erase(at, 1 + random() % 5); break;
            case 2: text.insert(at, std::wstring(1 + random() % 300, (wchar_t)(1 + random() % 0xFFFE))); break;
            case 3: text.insert(at, text.substr(0, random() % 50)); break;
            }
        }
        CImportTable pasted;
        pasted.SetStore(store.get());
        int columns = pasted.SetText(text.c_str(), text.size());
        ASSERT_GE(columns, 0);
        ASSERT_LE(columns, kMaxImportColumns);
        int rowTypes[kMaxImportColumns] = {0};
        for (int c = 0; c < columns; ++c)
            rowTypes[c] = (int)(random() % 11);
        for (int i = 0; i < pasted.GetRowCount(); ++i) {
            CImportRow* row = pasted.GetRow(i);
            ASSERT_TRUE(row);
            ASSERT_LE(row->GetCellCount(), columns);
            for (int c = 0; c < columns; ++c)
                ASSERT_TRUE(row->GetCell(c).GetText() == NULL || wcslen(row->GetCell(c).GetText()) < text.size() + 1);
            CUgyiratRecord r;
            ZeroRecord(r);
            pasted.ParseRow(rowTypes, i, r);
            for (const WCHAR* field : {r.UgyfelNeve, r.EllenfelNeve, r.UgyJellege, r.Megjegyzes})
                ASSERT_LE(wcsnlen(field, 201), (size_t)200);
            int status = pasted.ValidateRow(rowTypes, i);
            ASSERT_TRUE(status == kRowInvalid || status == kRowExists || status == kRowValid) << status;
        }
    }
}

} // namespace
