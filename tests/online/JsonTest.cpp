// The JSON value model: parsing (a table of texts), exact printing, the
// builders, and a bounded fuzzer over mutated texts.
#include <gtest/gtest.h>
#include <algorithm>
#include <fcntl.h>
#include <io.h>
#include <limits>
#include <malloc.h>
#include <set>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>
#include "TempFolder.h"
#include "online/Json.h"
#include "support/TestSupport.h"

namespace {

// The ToString of every value, depth first, separated by "|"; a member
// shows as its name and ":" before its value.
void Walk(const CJsonValue* value, std::wstring& out)
{
    out += value->ToString().str();
    if (value->GetType() == CJsonValue::TYPE_OBJECT) {
        const CJsonValueObject* object = static_cast<const CJsonValueObject*>(value);
        for (int i = 0; i < object->GetCount(); ++i) {
            const CJsonMember* member = object->GetMember(i);
            out += L"|" + member->GetName().str() + L":";
            if (member->GetValue())
                Walk(member->GetValue(), out);
            else
                out += L"(none)";
        }
    } else if (value->GetType() == CJsonValue::TYPE_ARRAY) {
        const CJsonValueArray* array = static_cast<const CJsonValueArray*>(value);
        for (int i = 0; i < array->GetCount(); ++i) {
            out += L"|";
            Walk(array->GetAt(i), out);
        }
    }
}

std::wstring Values(const CJsonValue* root)
{
    std::wstring out;
    if (root)
        Walk(root, out);
    return out;
}

// How deep objects and arrays nest below and including the value.
int Depth(const CJsonValue* value)
{
    int deepest = 0;
    if (value && value->GetType() == CJsonValue::TYPE_OBJECT) {
        const CJsonValueObject* object = static_cast<const CJsonValueObject*>(value);
        for (int i = 0; i < object->GetCount(); ++i)
            deepest = std::max(deepest, Depth(object->GetMember(i)->GetValue()));
        return deepest + 1;
    }
    if (value && value->GetType() == CJsonValue::TYPE_ARRAY) {
        const CJsonValueArray* array = static_cast<const CJsonValueArray*>(value);
        for (int i = 0; i < array->GetCount(); ++i)
            deepest = std::max(deepest, Depth(array->GetAt(i)));
        return deepest + 1;
    }
    return 0;
}

std::wstring Repeat(const std::wstring& piece, int count)
{
    std::wstring out;
    out.reserve(piece.size() * count);
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

const wchar_t kItem[] = L"expected 'item'";

struct ParseCase {
    LPCWSTR text;
    int rootType; // -1: no root
    int error;
    LPCWSTR message;
    LPCWSTR values;
};

// Texts with their root, error and the ToString of each value.
const ParseCase kParseCases[] = {
    // Nothing, or no object or array at the top: no root and no error.
    {L"", -1, 0, L"", L""},
    {L" \t\r\n ", -1, 0, L"", L""},
    {L"42", -1, 0, L"", L""},
    {L"\"text\"", -1, 0, L"", L""},
    {L"true", -1, 0, L"", L""},
    {L"]", -1, 0, L"", L""},
    // Plain values.
    {L"[]", 5, 0, L"", L"array"},
    {L"{}", 4, 0, L"", L"object"},
    {L"[1, 2.50, -3, -1, \"x\", true, false, null]", 5, 0, L"", L"array|1|2.50|-3|-1|x|true|false|null"},
    {L"{\"a\" : 1, \"b\" : [true], \"c\" : {\"d\" : \"e\"}}", 4, 0, L"", L"object|a:1|b:array|true|c:object|d:e"},
    {L"[1] trailing {", 5, 0, L"", L"array|1"},
    // Leniency: escapes as written, words by their first letters, a leading
    // zero splitting, numbers without digits after "-", "e" or ".".
    {L"[\"a\\\"b\", \"\\u00e1\\n\", \"\\q\", \"\\u12\"]", 5, 0, L"", L"array|a\\\"b|\\u00e1\\n|\\q|\\u12"},
    {L"{\"a\\\"b\" : 1}", 4, 0, L"", L"object|a\\\"b:1"},
    {L"[TRUE, nullable, FaLsE, truex]", 5, 0, L"", L"array|true|null|false|true"},
    {L"[012, -01, 01.5]", 5, 0, L"", L"array|0|12|0|1|0|1.5"},
    {L"[-, 1e, 1., 0.e5, 25e-1, -25e-1, 1E+2]", 5, 0, L"", L"array|0|1|1|0.00|3|-3|100"},
    {L"[1,,2]", 5, 0, L"", L"array|1|2"},
    {L"[,1,,]", 5, 0, L"", L"array|1"},
    // A text that ends early: what was read, without an error.
    {L"[\"abc", 5, 0, L"", L"array|abc"},
    {L"[\"abc\\", 5, 0, L"", L"array|abc\\"},
    {L"[\"", 5, 0, L"", L"array|"},
    {L"[1, [2", 5, 0, L"", L"array|1|array|2"},
    {L"{\"a\" : 1", 4, 0, L"", L"object|a:1"},
    // A quote after an even number of backslashes ends the string.
    {L"[\"C:\\\\\", 1]", 5, 0, L"", L"array|C:\\\\|1"},
    {L"[\"x\\\\\\\"y\"]", 5, 0, L"", L"array|x\\\\\\\"y"},
    // Rounding half away from zero, clamped to the 32-bit range.
    {L"[1e10, -1e10, 2147483647, -2147483648, 2147483648, 1e999, -1e999, 0.5e1]", 5, 0, L"",
     L"array|2147483647|-2147483648|2147483647|-2147483648|2147483647|2147483647|-2147483648|5.000"},
    // Errors.
    {L"{1:2}", 4, 10, L"expected 'itme'", L"object"},
    {L"{\"a\" : 1, ]", 4, 10, L"expected 'itme'", L"object|a:1"},
    {L"[\"a\" : 1]", 5, 11, kItem, L"array|a"},
    {L"[1, x, 2]", 5, 11, kItem, L"array|1"},
    {L"[tru]", 5, 11, kItem, L"array"},
    {L"[.5]", 5, 11, kItem, L"array"},
    {L"[}", 5, 11, kItem, L"array"},
    {L"{\"a\" 1}", 4, 11, kItem, L"object"},
    {L"{\"a\" : 1, \"b\"}", 4, 11, kItem, L"object|a:1"},
    {L"{\"a\" : }", 4, 11, kItem, L"object"},
    {L"{\"a\" : ", 4, 11, kItem, L"object"},
    {L"{\"a\" : x}", 4, 11, kItem, L"object"},
    {L"{\"", 4, 11, kItem, L"object"},
    // An error deeper down ends every enclosing level; an array keeps its
    // code, an object with a member in error ends as "expected 'item'".
    {L"[1, [2, x], 3]", 5, 11, kItem, L"array|1|array|2"},
    {L"[1, {2 : 3}]", 5, 10, L"expected 'itme'", L"array|1|object"},
    {L"{\"a\":[1,{2:3}]}", 4, 11, kItem, L"object|a:array|1|object"},
    {L"{\"a\" : [1, {2 : 3}], \"b\" : 4}", 4, 11, kItem, L"object|a:array|1|object"},
    {L"{\"a\" : {1 : 2}}", 4, 11, kItem, L"object|a:object"},
    {L"{\"a\" : {\"b\" : [1, x]}, \"c\" : 2}", 4, 11, kItem, L"object|a:object|b:array|1"},
    {L"[{\"a\" : 1, \"b\" 2}, 3]", 5, 11, kItem, L"array|object|a:1"},
};

TEST(JsonParser, TableOfTexts)
{
    for (const ParseCase& c : kParseCases) {
        SCOPED_TRACE(testing::Message() << "text: " << CStringA(c.text).GetString());
        CJsonParser parser;
        CJsonValue* root = parser.Parse(c.text);
        EXPECT_EQ(root ? root->GetType() : -1, c.rootType);
        EXPECT_EQ(parser.GetErrorCode(), c.error);
        EXPECT_EQ(parser.GetErrorMessage(), c.message);
        EXPECT_EQ(Values(root), std::wstring(c.values));
        delete root;
    }
}

TEST(JsonParser, ParsingAgainClearsTheError)
{
    CJsonParser parser;
    delete parser.Parse(L"{1:2}");
    ASSERT_EQ(parser.GetErrorCode(), 10);
    CJsonValue* root = parser.Parse(L"[1]");
    EXPECT_EQ(parser.GetErrorCode(), 0);
    EXPECT_EQ(parser.GetErrorMessage(), L"");
    delete root;
    EXPECT_EQ(parser.Parse(CString()), nullptr);
    EXPECT_EQ(parser.Parse((LPCWSTR)NULL), nullptr);
    EXPECT_EQ(parser.GetErrorCode(), 0);
}

TEST(JsonParser, NestingStopsBelow512Levels)
{
    const LPCWSTR kDeep = L"nesting deeper than 512 levels";
    struct {
        std::wstring text;
        int error;
        int depth;
    } cases[] = {
        {Repeat(L"[", 512) + Repeat(L"]", 512), 0, 512},
        {Repeat(L"[", 513) + Repeat(L"]", 513), 30, 512},
        {Repeat(L"[", 100000), 30, 512},
        {Repeat(L"[1,", 600), 30, 512},
        {Repeat(L"{\"a\":", 511) + L"1", 0, 511},
        {Repeat(L"{\"a\":", 512) + L"1", 0, 512},
        {Repeat(L"{\"a\":", 513) + L"1", 30, 512},
        {Repeat(L"{\"a\":[", 300), 30, 512},
    };
    for (const auto& c : cases) {
        CJsonParser parser;
        CJsonValue* root = parser.Parse(CString(c.text.c_str(), (int)c.text.size()));
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(parser.GetErrorCode(), c.error) << c.text.size();
        EXPECT_EQ(parser.GetErrorMessage(), c.error ? kDeep : L"");
        EXPECT_EQ(Depth(root), c.depth) << c.text.size();
        delete root;
    }
}

TEST(JsonNumber, ToStringWithDecimalsIsWholeHoweverLong)
{
    CJsonParser parser;
    std::wstring hundred = L"0." + Repeat(L"1234567890", 10);
    CJsonValue* root = parser.Parse(CString((L"[1.5e300, -1.5e300, " + hundred + L", 1.5e999]").c_str()));
    ASSERT_EQ(parser.GetErrorCode(), 0);
    CJsonValueArray* array = static_cast<CJsonValueArray*>(root);
    ASSERT_EQ(array->GetCount(), 4);

    // Every character after the "." counts: "1.5e300" has 5 decimals.
    CString big = array->GetAt(0)->ToString();
    EXPECT_EQ(static_cast<CJsonValueNumber*>(array->GetAt(0))->GetDecimals(), 5);
    EXPECT_EQ(big.GetLength(), 307);
    EXPECT_EQ(big.Left(2), L"15");
    EXPECT_EQ(big.Right(6), L".00000");
    EXPECT_EQ(array->GetAt(1)->ToString(), L"-" + big);

    CString tiny = array->GetAt(2)->ToString();
    EXPECT_EQ(tiny.GetLength(), 102);
    EXPECT_EQ(tiny.Left(17), CString(hundred.substr(0, 17).c_str()));
    // An infinite value prints as the library prints it, without harm.
    EXPECT_FALSE(array->GetAt(3)->ToString().IsEmpty());
    delete root;

    CJsonValueNumber built(2.0 / 3.0, 3);
    EXPECT_EQ(built.ToString(), L"0.667");
    CJsonValueNumber half(-2.5, 0);
    EXPECT_EQ(half.ToString(), L"-3");
    CJsonValueNumber nan(std::numeric_limits<double>::quiet_NaN(), 0);
    EXPECT_EQ(nan.ToString(), L"0");
}

TEST(JsonParser, NulAndLoneSurrogatesAreData)
{
    const wchar_t text[] = L"[\"a\0b\", \"\xD800\xDC00\xFFFF\", \"\xDC00\", \xD800]";
    CString input(text, (int)(sizeof(text) / sizeof(text[0])) - 1);
    CJsonParser parser;
    CJsonValue* root = parser.Parse(input);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(parser.GetErrorCode(), 11); // the bare surrogate is no value
    CJsonValueArray* array = static_cast<CJsonValueArray*>(root);
    ASSERT_EQ(array->GetCount(), 3);
    EXPECT_EQ(array->GetAt(0)->ToString().str(), std::wstring(L"a\0b", 3));
    EXPECT_EQ(array->GetAt(1)->ToString().str(), std::wstring(L"\xD800\xDC00\xFFFF"));
    EXPECT_EQ(array->GetAt(2)->ToString().str(), std::wstring(L"\xDC00"));
    delete root;

    // A NUL is no punctuation and no white space: a word that is no value.
    const wchar_t nul[] = L"[1,\0]";
    CJsonValue* second = parser.Parse(CString(nul, 5));
    EXPECT_EQ(parser.GetErrorCode(), 11);
    EXPECT_EQ(Values(second), L"array|1");
    delete second;
}

// ---------------------------------------------------------------------------
// Printing

std::wstring g_printed;

void Capture(const CString& text)
{
    g_printed += text.str();
}

class JsonPrint : public testing::Test
{
protected:
    void SetUp() override
    {
        g_printed.clear();
        m_previous = JsonSetWriter(Capture);
    }
    void TearDown() override { JsonSetWriter(m_previous); }

    std::wstring Dump(LPCWSTR text)
    {
        CJsonDocument document;
        document.Parse(text);
        g_printed.clear();
        document.Dump();
        return g_printed;
    }

    JsonWriter m_previous = NULL;
};

TEST_F(JsonPrint, ObjectMembersPrintAtLevelZeroArraysAtTheMembersLevel)
{
    EXPECT_EQ(Dump(L"{\"a\":{\"b\":1},\"c\":[1,{\"d\":\"x\"}],\"e\":\"Kovács Ödön\",\"f\":null,\"g\":2.50}"),
              L"JsonType of Root: object (4)\n"
              L"{\n"
              L"  \"a\" : {\n"
              L"  \"b\" : 1\n"
              L"},\n"
              L"  \"c\" : \n"
              L"  [\n"
              L"    1,\n"
              L"    {\n"
              L"      \"d\" : \"x\"\n"
              L"    }\n"
              L"  ],\n"
              L"  \"e\" : \"Kovács Ödön\",\n"
              L"  \"f\" : null,\n"
              L"  \"g\" : 2.50\n"
              L"}\n");
}

TEST_F(JsonPrint, ArrayRoot)
{
    EXPECT_EQ(Dump(L"[1,[true,\"s\"],{}]"),
              L"JsonType of Root: array (5)\n"
              L"\n[\n"
              L"  1,\n"
              L"\n  [\n"
              L"    true,\n"
              L"    \"s\"\n"
              L"  ],\n"
              L"  {\n"
              L"\n  }\n"
              L"]\n");
    EXPECT_EQ(Dump(L"[]"), L"JsonType of Root: array (5)\n\n[\n\n]\n");
    // Without a root the dump prints nothing.
    EXPECT_EQ(Dump(L"42"), L"");
}

TEST_F(JsonPrint, MemberWithoutValueAndBuiltValues)
{
    CJsonValueObject object;
    object.AddValue(L"none", NULL);
    object.AddString(L"name", L"Kovács Ödön");
    object.AddStringArray(L"list", {L"egy", L"kettő"});
    object.AddValue(L"n", new CJsonValueNumber(-3, 0));
    object.Print(1);
    EXPECT_EQ(g_printed, L"  {\n"
                         L"    \"none\" : null,\n"
                         L"    \"name\" : \"Kovács Ödön\",\n"
                         L"    \"list\" : \n"
                         L"    [\n"
                         L"      \"egy\",\n"
                         L"      \"kettő\"\n"
                         L"    ],\n"
                         L"    \"n\" : -3\n"
                         L"  }");
    EXPECT_EQ(JsonIndent(0), L"");
    EXPECT_EQ(JsonIndent(3), L"      ");
}

TEST(JsonPrintOutput, TheDefaultWriterWritesTheStandardOutput)
{
    CTempFolder folder(L"JsonOutput");
    CString path = folder / L"out.txt";
    fflush(stdout);
    int saved = _dup(_fileno(stdout));
    int file = _wopen(path, _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY, 0600);
    ASSERT_GE(file, 0);
    _dup2(file, _fileno(stdout));
    _close(file);

    CJsonDocument document;
    document.Parse(L"[\"Kovács Ödön\"]");
    document.Dump();

    fflush(stdout);
    _dup2(saved, _fileno(stdout));
    _close(saved);
    std::string written = testing_support::ReadFileBytes(path);
    std::string expected(CStringA(L"JsonType of Root: array (5)\n\n[\n  \"Kovács Ödön\"\n]\n").GetString());
    // The C library's text mode may end lines with CR LF.
    std::string plain;
    for (char ch : written) {
        if (ch != '\r')
            plain += ch;
    }
    EXPECT_EQ(plain, expected);
}

// ---------------------------------------------------------------------------
// Builders and the document

TEST(JsonObject, RemoveDeletesEveryMemberOfTheNameFindTakesTheFirst)
{
    CJsonValueObject object;
    object.AddString(L"a", L"1");
    object.AddString(L"dup", L"first");
    object.AddString(L"b", L"2");
    object.AddString(L"dup", L"second");
    object.AddString(L"Dup", L"other case");
    object.AddString(L"dup", L"third");
    EXPECT_EQ(Values(&object), L"object|a:1|dup:first|b:2|dup:second|Dup:other case|dup:third");

    CJsonMember* found = object.Find(L"dup");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->GetValue()->ToString(), L"first");
    EXPECT_EQ(object.Find(L"DUP"), nullptr);
    EXPECT_EQ(object.Find(L"du"), nullptr);

    object.Remove(L"dup");
    EXPECT_EQ(Values(&object), L"object|a:1|b:2|Dup:other case");
    object.Remove(L"missing");
    EXPECT_EQ(object.GetCount(), 3);
    object.Clear();
    EXPECT_EQ(object.GetCount(), 0);
    object.AddValue(L"after", new CJsonValueBool(false));
    EXPECT_EQ(Values(&object), L"object|after:false");
}

TEST(JsonArray, BuiltFromTextsAndAdded)
{
    CJsonValueArray empty;
    EXPECT_EQ(Values(&empty), L"array");
    CJsonValueArray array({L"egy", L"", L"három"});
    array.Add(new CJsonValue);
    array.Add(new CJsonValueNumber(7, 0));
    EXPECT_EQ(Values(&array), L"array|egy||három|null|7");
    EXPECT_EQ(array.GetAt(0)->GetType(), CJsonValue::TYPE_STRING);
    array.Clear();
    EXPECT_EQ(array.GetCount(), 0);
}

TEST(JsonDocument, ParseSucceedsOnlyWithoutErrorAndKeepsThePartialRoot)
{
    struct {
        LPCWSTR text;
        bool ok;
        int rootType;
        int error;
    } cases[] = {
        {L"{\"a\":1}", true, 4, 0},
        {L"[1]", true, 5, 0},
        {L"", false, -1, 0},
        {L"42", false, -1, 0},
        {L"{1:2}", false, 4, 10},
        {L"[1, x]", false, 5, 11},
    };
    CJsonDocument document;
    for (const auto& c : cases) {
        SCOPED_TRACE(CStringA(c.text).GetString());
        EXPECT_EQ(document.Parse(c.text), c.ok);
        EXPECT_EQ(document.GetRoot() ? document.GetRoot()->GetType() : -1, c.rootType);
        EXPECT_EQ(document.GetErrorCode(), c.error);
        EXPECT_EQ(document.GetErrorMessage().IsEmpty(), c.error == 0);
    }
    EXPECT_FALSE(document.Save(L"anything.json"));
}

TEST(JsonDocument, LookupGivesTheTopLevelMembersText)
{
    CJsonDocument document;
    ASSERT_TRUE(document.Parse(L"{\"name\":\"Kovács Ödön\",\"n\":12,\"list\":[1],\"inner\":{\"x\":1},\"name\":\"2nd\"}"));
    struct {
        LPCWSTR name;
        LPCWSTR text;
    } cases[] = {
        {L"name", L"Kovács Ödön"}, {L"n", L"12"}, {L"list", L"array"}, {L"inner", L"object"},
        {L"x", L""},               {L"Name", L""}, {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(document.Lookup(c.name), c.text) << CStringA(c.name).GetString();

    ASSERT_TRUE(document.Parse(L"[{\"name\":1}]"));
    EXPECT_EQ(document.Lookup(L"name"), L"");
    EXPECT_FALSE(document.Parse(L""));
    EXPECT_EQ(document.GetRoot(), nullptr);
    EXPECT_EQ(document.Lookup(L"name"), L"");
}

// ---------------------------------------------------------------------------
// Fuzzer: texts of the table and a deep nest, mutated with a fixed seed.
// FOLIONEX_JSON_FUZZ_COUNT sets the number of inputs for runs by hand.

size_t g_discarded = 0;

void Discard(const CString& text)
{
    g_discarded += text.GetLength();
}

void ToStringAll(const CJsonValue* value)
{
    value->ToString();
    if (value->GetType() == CJsonValue::TYPE_OBJECT) {
        const CJsonValueObject* object = static_cast<const CJsonValueObject*>(value);
        for (int i = 0; i < object->GetCount(); ++i) {
            if (object->GetMember(i)->GetValue())
                ToStringAll(object->GetMember(i)->GetValue());
        }
    } else if (value->GetType() == CJsonValue::TYPE_ARRAY) {
        const CJsonValueArray* array = static_cast<const CJsonValueArray*>(value);
        for (int i = 0; i < array->GetCount(); ++i)
            ToStringAll(array->GetAt(i));
    }
}

TEST(JsonFuzz, MutatedTextsParsePrintAndFreeCleanly)
{
    std::vector<std::wstring> corpus;
    for (const ParseCase& c : kParseCases)
        corpus.push_back(c.text);
    corpus.push_back(Repeat(L"[", 2000) + Repeat(L"]", 2000));
    corpus.push_back(L"{\"a\":[1.5e300, 0.000001, -0, \"C:\\\\\"], \"b\":{\"c\":nullable}}");

    const wchar_t pool[] = {L'"', L'\\', L'[', L']', L'{', L'}', L',', L':', L'0', L'1', L'2', L'3',
                            L'4', L'5', L'6', L'7', L'8', L'9', L'e', L'E', L'+', L'-', L'.', L' ',
                            L'\t', L'\n', 0, 0xD800, 0xDC00, 0xFFFF};
    const size_t poolSize = sizeof(pool) / sizeof(pool[0]);

    long count = 200000;
    if (const char* env = getenv("FOLIONEX_JSON_FUZZ_COUNT"))
        count = atol(env);

    uint32_t state = 0x2545F491;
    auto next = [&state]() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };

    std::set<int> seen;
    JsonWriter previous = JsonSetWriter(Discard);
    for (long n = 0; n < count; ++n) {
        std::wstring text = corpus[next() % corpus.size()];
        int mutations = 1 + next() % 8;
        for (int m = 0; m < mutations; ++m) {
            size_t at = next() % (text.size() + 1);
            wchar_t ch = pool[next() % poolSize];
            switch (next() % 3) {
            case 0:
                text.insert(at, 1, ch);
                break;
            case 1:
                if (at < text.size())
                    text.erase(at, 1);
                break;
            default:
                if (at < text.size())
                    text[at] = ch;
                break;
            }
        }

        {
            CJsonDocument document;
            document.Parse(CString(text.c_str(), (int)text.size()));
            int error = document.GetErrorCode();
            bool known = error == 0 || error == 1 || error == 10 || error == 11 || error == 20 || error == 21 ||
                         error == 22 || error == 30;
            ASSERT_TRUE(known) << "input " << n << ": error " << error;
            seen.insert(error);
            document.Dump();
            if (document.GetRoot())
                ToStringAll(document.GetRoot());
        }
        int heap = _heapchk();
        ASSERT_TRUE(heap == _HEAPOK || heap == _HEAPEMPTY) << "input " << n << ": heap " << heap;
    }
    JsonSetWriter(previous);
    EXPECT_GT(g_discarded, 0u);
    // The mutations reach the errors, not only the clean paths.
    if (count >= 10000) {
        for (int error : {0, 10, 11, 30})
            EXPECT_EQ(seen.count(error), 1u) << error;
    }
}

} // namespace
