// The XML reader: loading with its failures and log lines, tokens, the tree,
// the path filter, and hostile files (deep nesting, huge tokens, broken
// quotes, NULs, invalid UTF-8, cut files, random mutations).
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>
#include "../storage/StorageTestSupport.h"
#include "TempFolder.h"
#include "XmlTestSupport.h"
#include "exchange/ExporterXml.h"
#include "online/XmlParser.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;
using namespace xml_test;
typedef std::vector<std::wstring> Shown;

// A backup file of three cases as the program writes it.
std::string WrittenBackup(const CString& path)
{
    CExporterXml writer;
    EXPECT_TRUE(writer.Open(path));
    CUgyiratRecord first = MakeRecord(2024, 1, L"Kovács & Társa", L"Nagy", L"Polgári");
    CUgyiratRecord second = MakeRecord(2024, 2, L"<b>", L"x", L"y", L"z", L"2024.05.06");
    second.Allapot = 0;
    ZeroMemory(&second.Datum, sizeof(second.Datum));
    CUgyiratRecord third = MakeRecord(2025, 3, L"ő", L"", L"");
    for (const CUgyiratRecord* r : {&first, &second, &third})
        EXPECT_TRUE(writer.WriteRecord(*r));
    EXPECT_TRUE(writer.Close());
    return ReadFileBytes(path);
}

class XmlParserLoadTest : public ::testing::Test
{
protected:
    XmlParserLoadTest() : env(L"XmlParserTest"), folder(L"XmlParserTest") {}

    CString LogPath() { return env.Folder() + AfxGetApp()->m_pszAppName + L".log"; }
    // Writes the bytes to a file of the scratch folder and loads it.
    bool LoadBytes(const std::string& bytes, CString* path = nullptr)
    {
        CString file = folder / L"backup.xml";
        EXPECT_TRUE(WriteFileBytes(file, bytes));
        if (path)
            *path = file;
        return parser.Load(file);
    }
    // A file of the size with nothing written (the file system keeps it sparse).
    CString SizedFile(LPCWSTR name, LONGLONG size)
    {
        CString file = folder / name;
        HANDLE h = CreateFileW(file, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER at;
        at.QuadPart = size;
        EXPECT_TRUE(SetFilePointerEx(h, at, NULL, FILE_BEGIN) && SetEndOfFile(h));
        CloseHandle(h);
        return file;
    }

    CStorageEnvironment env;
    CTempFolder folder;
    XmlParser parser;
};

TEST_F(XmlParserLoadTest, FailuresAreLoggedAndLeaveTheParserEmpty)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        const wchar_t* log; // before the file name
    };
    const Case cases[] = {
        {"empty", "", L"XmlParser - File length error (0 byte)! "},
        {"six bytes", "<?xml ", L"XmlParser - File length error (6 byte)! "},
        {"no declaration", "<DataBase></DataBase>", L"XmlParser - Invalide XML format error! "},
        {"byte-order mark", "\xef\xbb\xbf<?xml version=\"1.0\"?><a/>", L"XmlParser - Invalide XML format error! "},
        {"no blank after xml", "<?xml?><DataBase/>", L"XmlParser - Invalide XML format error! "},
        {"NUL in the opening", std::string("<?xm\0 version", 13), L"XmlParser - Invalide XML format error! "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(LogPath());
        AttachText(parser, L"<a>left over</a>");
        CString path;
        EXPECT_FALSE(LoadBytes(c.bytes, &path));
        EXPECT_EQ(parser.GetLength(), 0u);
        EXPECT_EQ(parser.NextNode(), nullptr);
        EXPECT_EQ(ReadLogTexts(LogPath()), Shown{c.log + std::wstring(path)});
    }

    DeleteFileW(LogPath());
    CString missing = folder / L"nincs.xml";
    EXPECT_FALSE(parser.Load(missing));
    EXPECT_EQ(ReadLogTexts(LogPath()), Shown{L"XmlParser - File open error (2)! " + std::wstring(missing)});

    // Held open without sharing by another program.
    CString locked = folder / L"locked.xml";
    ASSERT_TRUE(WriteFileBytes(locked, "<?xml ?><a/>"));
    HANDLE h = CreateFileW(locked, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DeleteFileW(LogPath());
    EXPECT_FALSE(parser.Load(locked));
    CloseHandle(h);
    EXPECT_EQ(ReadLogTexts(LogPath()), Shown{L"XmlParser - File open error (32)! " + std::wstring(locked)});
}

TEST_F(XmlParserLoadTest, TooLongOrTooLargeFilesFailWithTheirOwnLine)
{
    DeleteFileW(LogPath());
    CString huge = SizedFile(L"huge.xml", 0x100000000LL + 10);
    EXPECT_FALSE(parser.Load(huge));
    EXPECT_EQ(ReadLogTexts(LogPath()), Shown{L"XmlParser - File too long (4294967306 byte)! " + std::wstring(huge)});
    DeleteFileW(huge);

    if (sizeof(void*) == 4) {
        // Two gigabytes do not fit a 32-bit process's memory in one piece.
        DeleteFileW(LogPath());
        CString large = SizedFile(L"large.xml", 0x7FFFFFF0LL);
        EXPECT_FALSE(parser.Load(large));
        EXPECT_EQ(ReadLogTexts(LogPath()),
                  Shown{L"XmlParser - Out of memory reading 2147483632 bytes! " + std::wstring(large)});
        DeleteFileW(large);
    }
}

TEST_F(XmlParserLoadTest, AcceptsTheOpeningInAnyCaseAndDecodesUtf8)
{
    ASSERT_TRUE(LoadBytes("<?XML a"));
    EXPECT_EQ(parser.GetLength(), 7u);
    EXPECT_EQ(Pull(parser), Shown{L"null"});

    // Invalid sequences become U+FFFD; a NUL is an ordinary character.
    ASSERT_TRUE(LoadBytes(std::string("<?xml ?><a>\xc3\xa9\xff\0\xc5\x91</a>", 19)));
    Shown shown = Pull(parser);
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[2], std::wstring(L"3:\u00e9\ufffd") + L'\0' + L"\u0151");
    EXPECT_EQ(parser.GetPosition(), parser.GetLength());

    // Loading again starts afresh.
    ASSERT_TRUE(LoadBytes(WrittenBackup(folder / L"three.xml")));
    XmlNode* declaration = parser.NextNode();
    EXPECT_EQ(Show(declaration), L"1:xml");
    EXPECT_EQ(parser.GetRoot(), nullptr);
    EXPECT_EQ(parser.GetProlog(), std::vector<XmlNode*>{declaration});
    EXPECT_EQ(declaration->GetAttributes(), (std::map<std::wstring, std::wstring>{
                                                {L"version", L"1.0"}, {L"encoding", L"UTF-8"}, {L"standalone", L"no"}}));
    XmlPathFilter rows;
    ASSERT_TRUE(rows.Parse(kRowPath));
    EXPECT_EQ(ReadAllChecked(parser, rows), 3);
    parser.Reset();
    EXPECT_EQ(parser.GetLength(), 0u);
    EXPECT_EQ(parser.GetPosition(), 0u);
    EXPECT_EQ(parser.GetRoot(), nullptr);
    EXPECT_TRUE(parser.GetProlog().empty());
}

TEST(XmlParserTokens, ReadAsTheyStand)
{
    struct Case
    {
        const wchar_t* text;
        Shown nodes;
    };
    const Case cases[] = {
        {L"", {}},
        {L"  \r\n\t ", {L"null"}},
        // Text or an end tag before the root is dropped; reading goes on.
        {L"<?xml ?>lead</x><a>t</a>", {L"1:xml", L"null", L"null", L"2:a", L"3:t", L"4:a"}},
        {L"<!-- c --><!DOCTYPE a><a/>", {L"5:--", L"5:DOCTYPE", L"2:a/"}},
        // An end tag that is not the open element's is dropped.
        {L"<a><b></a></b></a>", {L"2:a", L"2:b", L"null", L"4:b", L"4:a"}},
        {L"<data/></data>", {L"2:data/", L"null"}},
        {L"<data /></data>", {L"2:data", L"4:data"}},
        // One decoding pass; other references stay as they are.
        {L"<a>&amp;amp;</a>", {L"2:a", L"3:&amp;", L"4:a"}},
        {L"<a>&amp;lt;&lt;&gt;&quot;&#65;&apos</a>", {L"2:a", L"3:&lt;<>&quot;&#65;&apos", L"4:a"}},
        // Leading blanks are lost, trailing ones stay; blanks alone are no text.
        {L"<a>  x y  </a>", {L"2:a", L"3:x y  ", L"4:a"}},
        {L"<a>   </a>", {L"2:a", L"4:a"}},
        // A token without its end gives null and ends the text.
        {L"<a>tail", {L"2:a", L"null"}},
        {L"<a><b attr=\"x\"", {L"2:a", L"null"}},
        // Tags with an empty name.
        {L"<><a></ ></>< b>", {L"null", L"2:a", L"null", L"null", L"null"}},
        {L"<!><?>", {L"null", L"null"}},
        // After the root has closed only the prolog kinds are placed.
        {L"<a></a><b>t</b></a><!-- c --><?pi ?>", {L"2:a", L"4:a", L"null", L"null", L"null", L"null", L"5:--", L"1:pi"}},
        // In a tag "&amp;" stands for "&" before the name is read.
        {L"<a&amp;b></a&b>", {L"2:a&b", L"4:a&b"}},
        {L"<a\tb><c\rd><e\nf>", {L"2:a", L"2:c", L"2:e"}},
        // A stray ">" is text.
        {L"<a>x>y</a>", {L"2:a", L"3:x>y", L"4:a"}},
        {L"<a><<b>", {L"2:a", L"2:<b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        XmlParser parser;
        AttachText(parser, c.text);
        EXPECT_EQ(Pull(parser), c.nodes);
        EXPECT_EQ(parser.GetPosition(), parser.GetLength());
        EXPECT_EQ(parser.NextNode(), nullptr);
    }
    XmlParser parser;
    AttachText(parser, std::wstring(L"<a>x\0y</a>", 10));
    EXPECT_EQ(Pull(parser), (Shown{L"2:a", std::wstring(L"3:x\0y", 5), L"4:a"}));
    XmlParser empty;
    EXPECT_EQ(empty.NextNode(), nullptr);
}

TEST(XmlParserTokens, PositionOfTagsAndTexts)
{
    XmlParser parser;
    AttachText(parser, L"  <a> text <b>");
    parser.NextNode();
    EXPECT_EQ(parser.GetPosition(), 5u); // past the ">"
    parser.NextNode();
    EXPECT_EQ(parser.GetPosition(), 11u); // on the "<"
    parser.NextNode();
    EXPECT_EQ(parser.GetPosition(), 14u);
}

TEST(XmlParserTokens, Attributes)
{
    typedef std::map<std::wstring, std::wstring> Attributes;
    struct Case
    {
        const wchar_t* tag;
        Attributes attributes;
    };
    const Case cases[] = {
        {L"<t name=\"tUgyirat\">", {{L"name", L"tUgyirat"}}},
        {L"<t a=\"1\" a=\"2\">", {{L"a", L"2"}}},
        {L"<t a=\"\" b=\"x y\">", {{L"a", L""}, {L"b", L"x y"}}},
        {L"<t a=\"1\"b=\"2\">", {{L"a", L"1"}, {L"b", L"2"}}},
        // Names are everything since the previous pair, trimmed.
        {L"<t  x  y=\"1\" / z=\"2\">", {{L"x  y", L"1"}, {L"/ z", L"2"}}},
        {L"<t\r\n\ta=\"1\"\r\n>", {{L"a", L"1"}}},
        // Single quotes and "= \"" open no pair; a missing quote ends reading.
        {L"<t a='1' b = \"2\">", {}},
        {L"<t a=\"1\" b=\"2 c=\"3>", {{L"a", L"1"}, {L"b", L"2 c="}}},
        {L"<t a=\"1\" b=\"2>", {{L"a", L"1"}}},
        {L"<t a=\">", {}},
        {L"<t =\"v\">", {{L"", L"v"}}},
        // Values as they stand, but "&amp;" is "&" everywhere in a tag.
        {L"<t a=\"&lt;&amp;amp;\">", {{L"a", L"&lt;&amp;"}}},
        {L"<t A=\"1\" a=\"2\">", {{L"A", L"1"}, {L"a", L"2"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        XmlParser parser;
        AttachText(parser, c.tag);
        XmlNode* node = parser.NextNode();
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->GetName(), L"t");
        EXPECT_EQ(node->GetAttributes(), c.attributes);
    }
    XmlParser parser;
    AttachText(parser, L"<t name=\"tUgyirat\">");
    XmlNode* node = parser.NextNode();
    EXPECT_TRUE(node->HasAttribute(L"name", L"tUgyirat"));
    EXPECT_FALSE(node->HasAttribute(L"name", L"tugyirat"));
    EXPECT_FALSE(node->HasAttribute(L"Name", L"tUgyirat"));
    EXPECT_FALSE(node->HasAttribute(L"name", L"tUgyirat "));
}

TEST(XmlParserTree, LinksParentsChildrenAndEndTags)
{
    XmlParser parser;
    AttachText(parser, L"<?xml ?><r><a>t<!-- c --></a><b/></r>");
    std::vector<XmlNode*> nodes;
    for (int i = 0; i < 9; ++i)
        nodes.push_back(parser.NextNode());
    // declaration, r, a, t, comment, /a, b/, null (</r> does not close b/), end
    XmlNode *decl = nodes[0], *r = nodes[1], *a = nodes[2], *t = nodes[3], *c = nodes[4], *endA = nodes[5],
            *b = nodes[6];
    EXPECT_EQ(nodes[7], nullptr);
    EXPECT_EQ(nodes[8], nullptr);
    EXPECT_EQ(parser.GetRoot(), r);
    EXPECT_EQ(parser.GetProlog(), (std::vector<XmlNode*>{decl, c}));
    EXPECT_EQ(decl->GetParent(), nullptr);
    EXPECT_EQ(r->GetParent(), nullptr);
    EXPECT_EQ(a->GetParent(), r);
    EXPECT_EQ(t->GetParent(), a);
    EXPECT_EQ(c->GetParent(), a);
    EXPECT_EQ(b->GetParent(), r);
    EXPECT_EQ(r->GetFirstChild(), a);
    EXPECT_EQ(a->GetNextSibling(), b);
    EXPECT_EQ(b->GetNextSibling(), nullptr);
    EXPECT_EQ(a->GetFirstChild(), t);
    EXPECT_EQ(t->GetNextSibling(), nullptr); // the comment is no child
    EXPECT_EQ(a->GetEndTag(), endA);
    EXPECT_EQ(endA->GetParent(), a);
    EXPECT_TRUE(a->IsClosed());
    EXPECT_TRUE(t->IsClosed());
    EXPECT_FALSE(b->IsClosed());
    EXPECT_FALSE(r->IsClosed());
    EXPECT_EQ(r->GetEndTag(), nullptr);
}

// A reader done with a closed element gives its nodes back; the reading
// and the tree above it go on as before.
TEST(XmlParserTree, DiscardFreesAClosedElementAndLeavesTheRest)
{
    XmlParser parser;
    AttachText(parser, L"<?xml ?><r><a><x>1</x></a><b>2</b><c/>3</r>");
    XmlNode *r = nullptr, *a = nullptr, *b = nullptr, *c = nullptr, *x = nullptr, *text2 = nullptr;
    while (parser.GetPosition() < parser.GetLength()) {
        XmlNode* node = parser.NextNode();
        if (!node)
            break;
        const std::wstring& name = node->GetName();
        if (node->GetType() == XmlNode::TYPE_ELEMENT) {
            (name == L"r" ? r : name == L"a" ? a : name == L"b" ? b : name == L"x" ? x : c) = node;
        } else if (node->GetType() == XmlNode::TYPE_TEXT && name == L"2") {
            text2 = node;
        } else if (node->GetType() == XmlNode::TYPE_END && name == L"b") {
            break; // b has just closed; c is still to come
        }
    }
    ASSERT_TRUE(r && a && b && x && text2);
    struct Refused
    {
        const char* what;
        XmlNode* node;
    } refused[] = {{"the root", r}, {"a text", text2}, {"an end tag", b->GetEndTag()}, {"null", nullptr}};
    for (const Refused& e : refused)
        EXPECT_FALSE(parser.Discard(e.node)) << e.what;
    // The first child, then the last one.
    EXPECT_TRUE(parser.Discard(a));
    EXPECT_EQ(r->GetFirstChild(), b);
    EXPECT_TRUE(parser.Discard(b));
    EXPECT_EQ(r->GetFirstChild(), nullptr);
    // New children go below the root as before; an open one cannot go.
    XmlNode* next = parser.NextNode();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->GetName(), L"c/");
    EXPECT_EQ(r->GetFirstChild(), next);
    EXPECT_FALSE(parser.Discard(next)) << "not closed";
    XmlNode* three = parser.NextNode();
    ASSERT_TRUE(three);
    EXPECT_EQ(three->GetParent(), next);
    EXPECT_EQ(next->GetFirstChild(), three);
}

TEST(XmlParserTokens, CountStartTagsScansTheText)
{
    XmlParser parser;
    EXPECT_EQ(parser.CountStartTags(L"Row"), 0u) << "no text";
    AttachText(parser, L"<?xml ?><Rows><Row>1</Row><Row a=\"b\"></Row><Row\t/><Rowx></Rowx><row></row>"
                       L"<!-- <Row> --></Rows><Row");
    EXPECT_EQ(parser.CountStartTags(L"Row"), 4u) << "a tag name ends at a blank, a tab or '>'";
    EXPECT_EQ(parser.CountStartTags(L"Rows"), 1u);
    EXPECT_EQ(parser.CountStartTags(L"Row", 20), 3u);
    EXPECT_EQ(parser.CountStartTags(L"Row", parser.GetLength()), 0u);
    EXPECT_EQ(parser.CountStartTags(L""), 0u);
}

TEST(XmlPathFilterTest, Parse)
{
    struct Case
    {
        const wchar_t* path;
        bool ok;
        bool absolute;
        const wchar_t* steps; // name{predicates} per step, "|" between steps
    };
    const Case cases[] = {
        {L"", true, false, L""},
        {L"/", true, true, L""},
        {L"Row", true, false, L"Row{}"},
        {L"/DataBase/Tables/Table[name=tUgyirat]/Rows/Row", true, true,
         L"DataBase{}|Tables{}|Table{name=tUgyirat}|Rows{}|Row{}"},
        {L"//a///b/", true, true, L"a{}|b{}"},
        {L"a[x=1&&y=&&x=3]", true, false, L"a{x=3,y=}"},
        {L"a[x= 1 ]tail", true, false, L"a{x= 1 }"},
        {L"a[x==1]", true, false, L"a{x==1}"},
        {L"a[x=1&&]", true, false, L"a{x=1}"},
        {L"a[]", true, false, L"a{}"},
        {L"[x=1]", true, false, L"{x=1}"},
        {L"a/b[x]/c", false, false, L"a{}"},
        {L"a[=1]", false, false, L""},
        {L"a[&&x=1]", false, false, L""},
        {L"a[x=1&&&&y=2]", false, false, L""},
        {L"a[&&]", false, false, L""},
        {L"/a/b[x=1", false, true, L"a{}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        XmlPathFilter filter;
        EXPECT_EQ(filter.Parse(c.path), c.ok);
        EXPECT_EQ(filter.IsAbsolute(), c.absolute);
        std::wstring steps;
        for (const XmlPathFilter::Step& step : filter.GetSteps()) {
            if (!steps.empty())
                steps += L"|";
            steps += step.name + L"{";
            bool first = true;
            for (const auto& p : step.predicates) {
                steps += (first ? L"" : L",") + p.first + L"=" + p.second;
                first = false;
            }
            steps += L"}";
        }
        EXPECT_EQ(steps, c.steps);
    }
}

TEST(XmlPathFilterTest, Matches)
{
    // The "<Row/>" never closes, so the third table lies inside it.
    const wchar_t* document = L"<DataBase><Tables>"
                              L"<Table name=\"tUgyirat\"><Rows><Row><data>1</data></Row></Rows></Table>"
                              L"<Table name=\"tugyirat\"><Rows><Row/></Rows></Table>"
                              L"<Table><Rows><Row x=\"1\" y=\"2\"></Row></Rows></Table>"
                              L"</Tables></DataBase>";
    struct Case
    {
        const wchar_t* path;
        int matches;
    };
    const Case cases[] = {
        {kRowPath, 1},
        {L"Row", 2},
        {L"Rows/Row", 2},
        {L"Table/Rows", 3},
        {L"/Tables/Table/Rows/Row", 0}, // an absolute path starts at the root
        {L"Tables/Table/Rows/Row", 1},
        {L"/DataBase/Tables/Table[name=tugyirat]/Rows", 1},
        {L"/DataBase/Tables/Table[name=TUGYIRAT]/Rows", 0},
        {L"Row[x=1&&y=2]", 1},
        {L"Row[x=1&&y=3]", 0},
        {L"Row[x=1&&]", 1},
        {L"data", 1},
        {L"row", 0},
        {L"", 12}, // every start element
        {L"/", 12},
        {L"DataBase/DataBase", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        XmlParser parser;
        AttachText(parser, document);
        XmlPathFilter filter;
        ASSERT_TRUE(filter.Parse(c.path));
        EXPECT_EQ(ReadAllChecked(parser, filter), c.matches);
    }
    XmlPathFilter any;
    EXPECT_FALSE(any.Matches(nullptr));
    XmlParser parser;
    AttachText(parser, L"<?xml ?><a>t</a>");
    EXPECT_FALSE(any.Matches(parser.NextNode())); // a declaration
    EXPECT_TRUE(any.Matches(parser.NextNode()));
    EXPECT_FALSE(any.Matches(parser.NextNode())); // a text
    EXPECT_FALSE(any.Matches(parser.NextNode())); // an end tag
}

// While it lives, the program's requests for exactly `size` bytes of memory
// fail; the others go through.
class CFailingAllocation
{
public:
    explicit CFailingAllocation(size_t size)
        : m_hook("msvcrt.dll", "malloc", reinterpret_cast<void*>(&Malloc))
    {
        s_size = size;
        s_malloc = reinterpret_cast<Function>(GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), "malloc"));
    }
    bool Hooked() const { return m_hook.Hooked(); }

private:
    typedef void*(__cdecl* Function)(size_t);
    static void* __cdecl Malloc(size_t size) { return size == s_size ? NULL : s_malloc(size); }

    CImportHook m_hook;
    static size_t s_size;
    static Function s_malloc;
};
size_t CFailingAllocation::s_size;
CFailingAllocation::Function CFailingAllocation::s_malloc;

// Memory that runs out: Load fails with its line, NextNode ends the reading.
TEST_F(XmlParserLoadTest, MemoryRunningOut)
{
    const std::string file = "<?xml ?><a>" + std::string(1000, 'x') + "</a>";
    CString path = folder / L"small.xml";
    ASSERT_TRUE(WriteFileBytes(path, file));
    struct Case
    {
        size_t size;
        const wchar_t* log;
    };
    const Case cases[] = {
        {file.size() + 1, L"XmlParser - Out of memory reading 1015 bytes! "},
        {(file.size() + 1) * sizeof(wchar_t), L"XmlParser - Out of memory converting 1015 bytes! "},
    };
    for (const Case& c : cases) {
        DeleteFileW(LogPath());
        bool loaded;
        {
            CFailingAllocation failing(c.size);
            ASSERT_TRUE(failing.Hooked());
            loaded = parser.Load(path);
        }
        EXPECT_FALSE(loaded);
        EXPECT_TRUE(parser.OutOfMemory());
        EXPECT_EQ(ReadLogTexts(LogPath()), Shown{c.log + std::wstring(path)});
    }

    ASSERT_TRUE(parser.Load(path));
    EXPECT_FALSE(parser.OutOfMemory());
    XmlNode* declaration = parser.NextNode();
    XmlNode* next;
    {
        CFailingAllocation failing(sizeof(XmlNode));
        next = parser.NextNode();
    }
    EXPECT_EQ(Show(declaration), L"1:xml");
    EXPECT_EQ(next, nullptr);
    EXPECT_TRUE(parser.OutOfMemory());
    EXPECT_EQ(parser.GetPosition(), parser.GetLength());
    EXPECT_EQ(parser.NextNode(), nullptr);
    EXPECT_EQ(parser.GetRoot(), nullptr);
    EXPECT_EQ(parser.GetProlog().size(), 1u);
}

// Hostile files through Load: no crash, a bounded reading, the invariants.
TEST_F(XmlParserLoadTest, HostileFiles)
{
    const std::string head = "<?xml version=\"1.0\"?>\r\n";
    std::string nested = head;
    for (int i = 0; i < 1000000; ++i)
        nested += "<a>";
    std::string attributes = head + "<DataBase";
    for (int i = 0; i < 100000; ++i)
        attributes += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    attributes += "></DataBase>";
    std::string plain = head + std::string(8 << 20, 'x');
    std::string nuls = head + "<DataBase>" + std::string(1000, '\0') + "<a\0b>\0</a\0b></DataBase>";
    nuls.replace(nuls.size() - 30, 3, std::string("\0\0\0", 3));
    struct Case
    {
        const char* name;
        std::string bytes;
        int rows;
        int nodes;
    };
    const Case cases[] = {
        {"a million nested elements", nested, 0, 1000001},
        {"8 MB without < or >", plain, 0, 1},
        {"100,000 attributes", attributes, 0, 3},
        {"unclosed quotes", head + "<DataBase a=\"1 b=\"2><Tables x=\"></Tables></DataBase>", 0, 5},
        {"NULs", nuls, 0, -1},
        {"invalid UTF-8", head + "<Data\xff\xfe\xc3>\x80\xed\xa0\x80</Data\xff\xfe\xc3>", 0, 4},
        {"tokens after the root", WrittenBackup(folder / L"three.xml") + "<DataBase><Tables/>text</DataBase>", 3, -1},
    };
    XmlPathFilter rows;
    ASSERT_TRUE(rows.Parse(kRowPath));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(LoadBytes(c.bytes));
        EXPECT_EQ(ReadAllChecked(parser, rows), c.rows);
        if (c.nodes >= 0) {
            XmlPathFilter any;
            ASSERT_TRUE(LoadBytes(c.bytes));
            int count = 0;
            while (parser.GetPosition() < parser.GetLength())
                if (parser.NextNode())
                    ++count;
            EXPECT_EQ(count, c.nodes);
        }
        parser.Reset();
    }
    ASSERT_TRUE(LoadBytes(attributes));
    parser.NextNode();
    XmlNode* root = parser.NextNode();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetAttributes().size(), 100000u);
    EXPECT_TRUE(root->HasAttribute(L"a99999", L"99999"));
}

TEST_F(XmlParserLoadTest, AThreeCaseFileCutAtEveryByte)
{
    const std::string whole = WrittenBackup(folder / L"three.xml");
    XmlPathFilter rows;
    ASSERT_TRUE(rows.Parse(kRowPath));
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        bool loaded = LoadBytes(whole.substr(0, cut));
        ASSERT_EQ(loaded, cut >= 7);
        int matched = ReadAllChecked(parser, rows);
        // A row is handed out once its start tag is complete.
        EXPECT_LE(matched, 3);
        if (cut == whole.size()) {
            EXPECT_EQ(matched, 3);
        }
    }
}

// Random mutations of a backup file, from a fixed seed: bytes changed,
// markup characters put in, pieces dropped, doubled or cut off.
TEST_F(XmlParserLoadTest, RandomMutationsOfABackup)
{
    const std::string whole = WrittenBackup(folder / L"three.xml");
    const char specials[] = "<>/&\"=!?[] \r\n\0\xc3\xff";
    std::mt19937 random(20261210);
    XmlPathFilter rows, data;
    ASSERT_TRUE(rows.Parse(kRowPath));
    ASSERT_TRUE(data.Parse(L"data"));
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        std::string bytes = whole;
        int edits = 1 + (int)(random() % 8);
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            size_t at = random() % bytes.size();
            size_t span = 1 + random() % 40;
            switch (random() % 5) {
            case 0: bytes[at] = (char)random(); break;
            case 1: bytes.insert(at, 1, specials[random() % (sizeof(specials) - 1)]); break;
            case 2: bytes.erase(at, span); break;
            case 3: bytes.insert(at, bytes.substr(at, span)); break;
            case 4: bytes.resize(at); break;
            }
        }
        if (!LoadBytes(bytes))
            continue;
        ReadAllChecked(parser, round % 2 ? rows : data);
        if (HasFailure())
            break;
        parser.Reset();
    }
}

} // namespace
