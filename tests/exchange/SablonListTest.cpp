// The template list on the registry: option texts, adding and removing,
// the flags, and what Reload reads of values of any size.
#include <gtest/gtest.h>
#include <set>
#include "SablonTestSupport.h"
#include "exchange/SablonList.h"
#include "online/TempFolder.h"
#include "support/TestSupport.h"

namespace {

using testing_support::WriteFileBytes;
using testing_support::FileExists;

class SablonListTest : public ::testing::Test
{
protected:
    SablonListTest() : folder(L"SablonListTest")
    {
        templates = folder.Path() + L"sablonok";
        cases = folder.Path() + L"ügyek";
        CreateDirectoryW(templates, NULL);
        CreateDirectoryW(cases, NULL);
    }

    CString Template(LPCWSTR file, bool create = true)
    {
        CString path = templates + L"\\" + file;
        if (create)
            WriteFileBytes(path, "sablon");
        return path;
    }

    CSablonKeyGuard key;
    CTempFolder folder;
    CString templates, cases;
};

TEST_F(SablonListTest, OptionTextsAreReadAsBits)
{
    const struct { const wchar_t* text; int bits; } kCases[] = {
        {L"selectIfNotExists", 1},
        {L"insertFields", 2},
        {L"selectIfNotExists,insertFields", 3},
        {L"insertFields;selectIfNotExists", 3},
        {L"insertFieldsselectIfNotExists", 3},
        {L"xx insertFields yy", 2},
        {L"0", 0},
        {L"", 0},
        {L"InsertFields,SELECTIFNOTEXISTS", 0},
    };
    for (const auto& c : kCases) {
        key.DeleteKey();
        key.SetText(Template(L"a.docx"), c.text);
        CSablonList list;
        ASSERT_EQ(list.Reload(), 1) << c.text;
        EXPECT_EQ(list.GetAt(0).options, c.text);
        EXPECT_EQ(CSablonList::GetOptions(list.GetAt(0)), c.bits) << c.text;
    }
}

TEST_F(SablonListTest, OptionBitsAreWrittenAsTexts)
{
    const struct { int bits; const wchar_t* text; } kCases[] = {
        {1, L"selectIfNotExists"},
        {2, L"insertFields"},
        {3, L"selectIfNotExists,insertFields"},
        {0, L""},
    };
    CString path = Template(L"a.docx");
    for (const auto& c : kCases) {
        CSablonList list;
        key.SetText(path, L"0");
        ASSERT_EQ(list.Reload(), 1);
        list.SetOptions(list.GetAt(0), c.bits, false);
        EXPECT_EQ(list.GetAt(0).options, c.text);
        std::wstring stored;
        ASSERT_TRUE(key.Get(path, &stored));
        EXPECT_EQ(stored, std::wstring(L"0") + L'\0') << "not stored without the flag";

        list.SetOptions(list.GetAt(0), c.bits, true);
        DWORD bytes = 0;
        ASSERT_TRUE(key.Get(path, &stored, &bytes));
        EXPECT_EQ(bytes, (wcslen(c.text) + 1) * sizeof(wchar_t)) << "with its terminator";
        EXPECT_EQ(stored, std::wstring(c.text) + L'\0');
        ASSERT_EQ(list.Reload(), 1);
        EXPECT_EQ(CSablonList::GetOptions(list.GetAt(0)), c.bits);
    }
}

TEST_F(SablonListTest, AddRefusesPathsWithoutFolderOrFileAndDuplicates)
{
    CSablonList list;
    ASSERT_EQ(list.Reload(), 0) << "the key is created";
    EXPECT_EQ(key.ValueCount(), 0);
    CString path = Template(L"Megbízás.docx");
    int id = list.Add(path, true, L"0");
    EXPECT_GT(id, 0);
    CString otherCase = path;
    otherCase.Replace(L"sablonok", L"SaBlOnOk");
    otherCase.Replace(L".docx", L".DOCX");
    const struct { CString path; int result; } kCases[] = {
        {L"Megbízás.docx", -1},
        {L"\\Megbízás.docx", -1},
        {L"", -1},
        {path, -2},
        {otherCase, -2},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(list.Add(c.path, true, L"0"), c.result) << (LPCWSTR)c.path;
    EXPECT_EQ(list.Add(NULL, true, L"0"), -1);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(key.ValueCount(), 1);

    SablonEntry* entry = list.Find(id);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->fileName, L"Megbízás.docx");
    EXPECT_EQ(entry->folder, templates);
    EXPECT_EQ(entry->options, L"0");
    std::wstring stored;
    EXPECT_TRUE(key.Get(path, &stored));

    // The same file name in another folder is another template.
    CString other = folder.Path() + L"Megbízás.docx";
    EXPECT_GT(list.Add(other, false, L"insertFields"), id);
    EXPECT_FALSE(key.Get(other)) << "not stored without the flag";
    EXPECT_EQ(list.Reload(), 1);
}

TEST_F(SablonListTest, FlagsTellWhatIsOnDisk)
{
    CString kept = Template(L"megvan.docx");
    CString gone = Template(L"törölt.docx", false);
    CString copied = Template(L"bemásolt.docx");
    WriteFileBytes(cases + L"\\bemásolt.docx", "másolat");
    for (LPCWSTR path : {(LPCWSTR)kept, (LPCWSTR)gone, (LPCWSTR)copied})
        key.SetText(path, L"0");

    const struct { LPCWSTR caseFolder; const wchar_t* file; int flags; } kCases[] = {
        {cases, L"megvan.docx", SABLON_FILE_EXISTS},
        {cases, L"törölt.docx", 0},
        {cases, L"bemásolt.docx", SABLON_FILE_EXISTS | SABLON_IN_CASE_FOLDER},
        {L"", L"bemásolt.docx", SABLON_FILE_EXISTS},
    };
    for (const auto& c : kCases) {
        CSablonList list(c.caseFolder);
        ASSERT_EQ(list.Reload(), 3);
        bool found = false;
        for (int i = 0; i < list.GetCount(); ++i)
            if (list.GetAt(i).fileName == c.file) {
                found = true;
                EXPECT_EQ(list.GetAt(i).flags, c.flags) << c.file << " in \"" << (LPCWSTR)CString(c.caseFolder) << "\"";
            }
        EXPECT_TRUE(found) << c.file;
    }
    EXPECT_TRUE(key.Get(gone)) << "a deleted template keeps its value";
}

TEST_F(SablonListTest, RemoveDeletesOnlyTheValueAndIdsKeepCounting)
{
    CString a = Template(L"a.docx"), b = Template(L"b.docx");
    key.SetText(a, L"insertFields");
    key.SetText(b, L"0");
    CSablonList list(cases);
    ASSERT_EQ(list.Reload(), 2);
    std::set<int> seen = {list.GetAt(0).id, list.GetAt(1).id};
    ASSERT_EQ(list.Reload(), 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_FALSE(seen.count(list.GetAt(i).id)) << "ids are not reused after Reload";
    int idA = list.GetAt(0).fileName == L"a.docx" ? list.GetAt(0).id : list.GetAt(1).id;

    list.Choose(idA);
    EXPECT_EQ(list.Find(idA)->flags & SABLON_CHOSEN, SABLON_CHOSEN);
    list.Choose(12345);

    EXPECT_FALSE(list.Remove(12345));
    EXPECT_TRUE(list.Remove(idA));
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAt(0).fileName, L"b.docx");
    EXPECT_FALSE(key.Get(a));
    EXPECT_TRUE(key.Get(b));
    EXPECT_TRUE(FileExists(a)) << "the template file stays";
    EXPECT_FALSE(list.Remove(idA)) << "its entry is gone";
}

TEST_F(SablonListTest, NamesOfEveryLengthEnumerate)
{
    // A long name, short ones after it and longer ones again: the size
    // arguments of the enumeration must be set anew for every value.
    std::set<std::wstring> names;
    for (int length : {120, 3, 60, 1, 150, 10, 90}) {
        std::wstring name = std::wstring(L"C:\\m\\") + std::wstring(length, L'ő') + L".docx";
        key.SetText(name.c_str(), L"0");
        names.insert(name);
    }
    CSablonList list;
    ASSERT_EQ(list.Reload(), (int)names.size());
    std::set<std::wstring> read;
    for (int i = 0; i < list.GetCount(); ++i)
        read.insert(std::wstring(list.GetAt(i).folder) + L"\\" + (LPCWSTR)list.GetAt(i).fileName);
    EXPECT_EQ(read, names);
}

TEST_F(SablonListTest, DataOfUpTo512BytesIsReadWholeAndLongerDataIsSkipped)
{
    std::wstring full(256, L'x');
    full.replace(100, 12, L"insertFields");
    // 256 characters stored without a terminator: exactly the buffer. (The
    // registry adds a terminator itself when the character after the data is one.)
    std::wstring unended = full + L"Z";
    key.SetRaw(L"C:\\t\\teli.docx", unended.data(), 512);
    std::wstring over(300, L'y');
    key.SetRaw(L"C:\\t\\hosszu.docx", over.data(), 600);
    key.SetRaw(L"C:\\t\\egyel.docx", over.data(), 514);
    key.SetText(L"C:\\t\\rendes.docx", L"selectIfNotExists");
    CSablonList list;
    ASSERT_EQ(list.Reload(), 2);
    for (int i = 0; i < 2; ++i) {
        const SablonEntry& e = list.GetAt(i);
        if (e.fileName == L"teli.docx") {
            EXPECT_EQ(e.options.GetLength(), 256);
            EXPECT_EQ(std::wstring(e.options), full);
            EXPECT_EQ(CSablonList::GetOptions(e), SABLON_INSERT_FIELDS);
        } else {
            EXPECT_EQ(e.fileName, L"rendes.docx");
            EXPECT_EQ(CSablonList::GetOptions(e), SABLON_SELECT_IF_NOT_EXISTS);
        }
    }
    EXPECT_EQ(key.ValueCount(), 4) << "skipped values stay in the registry";
}

} // namespace
