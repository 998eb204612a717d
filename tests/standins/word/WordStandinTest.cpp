// The stand-in's own handling of .docx files, in process: the replacement
// rules the Folionex tests rely on, and packages that are not documents.
#include <gtest/gtest.h>
#include "TestWord.h"
#include "WordDocument.h"
#include "online/TempFolder.h"

using namespace word_standin;

namespace {

struct ReplaceCase
{
    const wchar_t* text;
    const wchar_t* find;
    const wchar_t* replacement;
    bool matchCase;
    int expectedCount;
    const wchar_t* expected;
};

const ReplaceCase kReplaceCases[] = {
    {L"Tisztelt [UGYFEL]!", L"[UGYFEL]", L"Kovács Ödön", false, 1, L"Tisztelt Kovács Ödön!"},
    {L"[nr]/[NR]/[Nr]", L"[NR]", L"7", false, 3, L"7/7/7"},
    {L"[nr]/[NR]", L"[NR]", L"7", true, 1, L"[nr]/7"},
    {L"A & B < C", L"& B <", L"<&>", false, 1, L"A <&> C"},
    {L"x [EV] x", L"[EV]", L"^^&", false, 1, L"x ^& x"},
    {L"x [EV] x", L"[EV]", L"(^&)", false, 1, L"x ([EV]) x"},
    {L"nincs benne", L"[EV]", L"2024", false, 0, L"nincs benne"},
};

class WordStandinTest : public ::testing::Test
{
protected:
    WordStandinTest() : folder(L"WordStandinTest") {}
    CTempFolder folder;
};

TEST_F(WordStandinTest, ReplacesInTheTextOfTheRuns)
{
    for (const auto& c : kReplaceCases) {
        std::wstring path = (folder / L"doc.docx").GetString();
        ASSERT_TRUE(MakeDocx(path, {c.text, L"vége"}));
        CWordDocument doc;
        std::wstring error;
        ASSERT_TRUE(doc.Load(path, error));
        FindOptions options;
        options.matchCase = c.matchCase;
        EXPECT_EQ(doc.Replace(c.find, c.replacement, options, 1 << 20, error), c.expectedCount) << c.text;
        EXPECT_EQ(doc.IsDirty(), c.expectedCount > 0);
        ASSERT_TRUE(doc.Save(error));
        std::vector<std::wstring> texts;
        ASSERT_TRUE(ReadDocxTexts(path, texts));
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[0], c.expected) << c.text;
    }
}

// Word's find and replace from the selection covers the story the
// selection is in: after Open the main text, not text boxes, headers or footers.
TEST_F(WordStandinTest, OnlyTheMainTextStoryIsSearched)
{
    const struct { DocxStory story; const char* part; bool replaced; } kCases[] = {
        {DocxStory::Body, "word/document.xml", true},
        {DocxStory::TextBox, "word/document.xml", false},
        {DocxStory::Header, "word/header1.xml", false},
        {DocxStory::Footer, "word/footer1.xml", false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE((int)c.story);
        std::wstring path = (folder / L"stories.docx").GetString();
        ASSERT_TRUE(MakeDocxStories(path, {{DocxStory::Body, L"eleje"}, {c.story, L"Ügyfél: [UGYFEL]"},
                                           {DocxStory::Body, L"vége"}}));
        CWordDocument doc;
        std::wstring error;
        ASSERT_TRUE(doc.Load(path, error));
        EXPECT_EQ(doc.Contains(L"[UGYFEL]", FindOptions()), c.replaced);
        EXPECT_EQ(doc.Replace(L"[UGYFEL]", L"Kovács", FindOptions(), -1, error), c.replaced ? 1 : 0);
        ASSERT_TRUE(doc.Save(error));
        std::vector<std::wstring> texts;
        ASSERT_TRUE(ReadDocxTexts(path, texts, c.part));
        std::vector<std::wstring> expected = {c.replaced ? L"Ügyfél: Kovács" : L"Ügyfél: [UGYFEL]"};
        if (c.story == DocxStory::TextBox) {
            expected = {L"eleje", expected[0], expected[0], L"vége"}; // the drawing and its fallback
        } else if (c.story == DocxStory::Body) {
            expected = {L"eleje", expected[0], L"vége"};
        }
        EXPECT_EQ(texts, expected);
    }
}

// Text boxes are skipped whole: nested, empty, self-closed or never closed.
TEST_F(WordStandinTest, TextBoxesOfAnyShapeAreSkipped)
{
    const struct { const char* xml; const char* expected; } kCases[] = {
        {"<w:t>[EV]</w:t><w:txbxContent><w:t>[EV]</w:t></w:txbxContent><w:t>[EV]</w:t>",
         "<w:t>2024</w:t><w:txbxContent><w:t>[EV]</w:t></w:txbxContent><w:t>2024</w:t>"},
        {"<w:txbxContent><w:txbxContent><w:t>[EV]</w:t></w:txbxContent><w:t>[EV]</w:t></w:txbxContent><w:t>[EV]</w:t>",
         "<w:txbxContent><w:txbxContent><w:t>[EV]</w:t></w:txbxContent><w:t>[EV]</w:t></w:txbxContent><w:t>2024</w:t>"},
        {"<w:txbxContent/><w:t>[EV]</w:t>", "<w:txbxContent/><w:t>2024</w:t>"},
        {"<w:txbxContentX><w:t>[EV]</w:t>", "<w:txbxContentX><w:t>2024</w:t>"},
        {"<w:t>[EV]</w:t><w:txbxContent><w:t>[EV]</w:t>", "<w:t>2024</w:t><w:txbxContent><w:t>[EV]</w:t>"},
        {"<w:t>[EV]</w:t><w:txbxContent", "<w:t>2024</w:t><w:txbxContent"},
    };
    for (const auto& c : kCases) {
        std::wstring path = (folder / L"boxes.docx").GetString();
        ASSERT_TRUE(WritePackage(path, {{"word/document.xml", c.xml}}));
        CWordDocument doc;
        std::wstring error;
        ASSERT_TRUE(doc.Load(path, error));
        doc.Replace(L"[EV]", L"2024", FindOptions(), -1, error);
        ASSERT_TRUE(doc.Save(error));
        std::vector<PackageEntry> entries;
        ASSERT_TRUE(ReadPackage(path, entries, error));
        EXPECT_EQ(entries[0].data, c.expected) << c.xml;
    }
}

// A file with the read-only attribute, or opened with ReadOnly, cannot be
// saved into: Word keeps the file as it was.
TEST_F(WordStandinTest, ADocumentOpenedReadOnlyIsNotSaved)
{
    const struct { bool attribute, readOnlyArgument; } kCases[] = {{true, false}, {false, true}, {false, false}};
    for (const auto& c : kCases) {
        std::wstring path = (folder / L"csak olvasható.docx").GetString();
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(MakeDocx(path, {L"[UGYFEL]"}));
        if (c.attribute) {
            ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        CWordDocument doc;
        std::wstring error;
        ASSERT_TRUE(doc.Load(path, error, c.readOnlyArgument));
        bool readOnly = c.attribute || c.readOnlyArgument;
        EXPECT_EQ(doc.IsReadOnly(), readOnly);
        EXPECT_EQ(doc.Replace(L"[UGYFEL]", L"Kovács", FindOptions(), -1, error), 1);
        EXPECT_EQ(doc.Save(error), !readOnly);
        std::vector<std::wstring> texts;
        ASSERT_TRUE(ReadDocxTexts(path, texts));
        EXPECT_EQ(texts, std::vector<std::wstring>{readOnly ? L"[UGYFEL]" : L"Kovács"});
        EXPECT_EQ((GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY) != 0, c.attribute);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(WordStandinTest, OtherCaretCodesAreRefusedWithoutAChange)
{
    std::wstring path = (folder / L"doc.docx").GetString();
    ASSERT_TRUE(MakeDocx(path, {L"[UGYFEL]"}));
    CWordDocument doc;
    std::wstring error;
    ASSERT_TRUE(doc.Load(path, error));
    for (const wchar_t* replacement : {L"a^pb", L"^", L"x^"}) {
        error.clear();
        EXPECT_EQ(doc.Replace(L"[UGYFEL]", replacement, FindOptions(), -1, error), -1) << replacement;
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(doc.IsDirty());
    }
}

TEST_F(WordStandinTest, PackagesThatAreNoDocumentDoNotOpen)
{
    std::wstring good = (folder / L"good.docx").GetString();
    ASSERT_TRUE(MakeDocx(good, {L"szöveg"}));
    std::string bytes;
    {
        std::vector<PackageEntry> entries;
        std::wstring error;
        ASSERT_TRUE(ReadPackage(good, entries, error));
    }
    HANDLE h = CreateFileW(good.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buf[65536];
    DWORD got = 0;
    ReadFile(h, buf, sizeof(buf), &got, NULL);
    CloseHandle(h);
    bytes.assign(buf, got);

    std::string flipped = bytes;
    flipped[flipped.size() / 3] ^= 0x5A; // inside the compressed data: a checksum or inflate error
    const struct { const char* name; std::string bytes; } kCases[] = {
        {"empty", ""},
        {"text", "<w:document>[UGYFEL]</w:document>"},
        {"cut in half", bytes.substr(0, bytes.size() / 2)},
        {"damaged", flipped},
    };
    for (const auto& c : kCases) {
        std::wstring path = (folder / L"bad.docx").GetString();
        h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD put = 0;
        WriteFile(h, c.bytes.data(), (DWORD)c.bytes.size(), &put, NULL);
        CloseHandle(h);
        CWordDocument doc;
        std::wstring error;
        EXPECT_FALSE(doc.Load(path, error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }

    std::wstring other = (folder / L"other.zip").GetString();
    ASSERT_TRUE(WritePackage(other, {{"word/styles.xml", "<w:t>[UGYFEL]</w:t>"}}));
    CWordDocument doc;
    std::wstring error;
    EXPECT_FALSE(doc.Load(other, error));
    EXPECT_EQ(error, L"no word/document.xml");
    EXPECT_FALSE(doc.Load((folder / L"missing.docx").GetString(), error));
    EXPECT_EQ(error, L"not found");
}

TEST_F(WordStandinTest, UnclosedRunsAndEntitiesAreLeftAlone)
{
    std::wstring path = (folder / L"odd.docx").GetString();
    ASSERT_TRUE(WritePackage(path, {{"word/document.xml",
                                     "<w:p><w:tab/><w:t>[EV] &amp;x; &#x151; &bogus;</w:t><w:t/><w:t>[EV]"}}));
    CWordDocument doc;
    std::wstring error;
    ASSERT_TRUE(doc.Load(path, error));
    EXPECT_EQ(doc.Replace(L"[EV]", L"2024", FindOptions(), -1, error), 1);
    ASSERT_TRUE(doc.Save(error));
    std::vector<PackageEntry> entries;
    ASSERT_TRUE(ReadPackage(path, entries, error));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].data,
              "<w:p><w:tab/><w:t>2024 &amp;x; \xC5\x91 &amp;bogus;</w:t><w:t/><w:t>[EV]");
}

} // namespace
