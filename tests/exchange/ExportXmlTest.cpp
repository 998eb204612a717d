// The backup XML through the case store: the file byte for byte, its failures,
// and the round trip through the XML reader.
#include <gtest/gtest.h>
#include <msxml2.h>
#include <algorithm>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>
#include "../online/XmlTestSupport.h"
#include "../storage/StorageTestSupport.h"
#include "exchange/ExporterXml.h"
#include "foundation/Conversions.h"
#include "online/XmlParser.h"
#include "storage/UgyiratStore.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;

std::string Utf8(LPCWSTR text)
{
    return WideToUtf8(text).str();
}

const char kFieldsAndRows[] = "  <Table name=\"tUgyirat\">\r\n"
                              "   <Fields>\r\n"
                              "    <Field>Ev</Field>\r\n"
                              "    <Field>Iktatoszam</Field>\r\n"
                              "    <Field>Ugyfel</Field>\r\n"
                              "    <Field>Ellenfel</Field>\r\n"
                              "    <Field>Ugyirat jellege</Field>\r\n"
                              "    <Field>Megjegyzes</Field>\r\n"
                              "    <Field>Rogzites</Field>\r\n"
                              "    <Field>CC</Field>\r\n"
                              "    <Field>Hataridok</Field>\r\n"
                              "   </Fields>\r\n"
                              "   <Rows>\r\n";
const char kFooter[] = "   </Rows>\r\n  </Table>\r\n </Tables>\r\n</DataBase>\r\n";

// The 25 header lines; the build stamp and the time of writing are taken
// from the file after they have been checked.
std::string Header(const std::string& compiled, const std::string& created)
{
    CStringA version(CAppSettings::GetVersionInfoString(L"ProductVersion").GetString());
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\r\n"
           "\r\n"
           "<DataBase name=\"Folionex\" version=\"1.0\">\r\n"
           " <Properties>\r\n"
           "  <Program>\r\n"
           "   <Name>Folionex #2</Name>\r\n"
           "   <Version>" + version.str() + "</Version>\r\n"
           "   <Compiled>" + compiled + "</Compiled>\r\n"
           "  </Program>\r\n"
           "  <Created>" + created + "</Created>\r\n"
           " </Properties>\r\n"
           " <Tables>\r\n" +
           kFieldsAndRows;
}

// The text between "<tag>" and "</tag>" in the file.
std::string Between(const std::string& file, const std::string& tag)
{
    size_t from = file.find("<" + tag + ">"), to = file.find("</" + tag + ">");
    if (from == std::string::npos || to == std::string::npos || to < from)
        return "";
    from += tag.size() + 2;
    return file.substr(from, to - from);
}

struct RowCase
{
    const char* name;
    CUgyiratRecord record;
    std::string line;                 // as written
    std::vector<std::wstring> values; // as read back, by position
};

CUgyiratRecord Record(int ev, int nr, int allapot, LPCWSTR client, LPCWSTR other, LPCWSTR kind, LPCWSTR remark,
                      LPCWSTR cc, LPCWSTR deadlines, DBTIMESTAMP date)
{
    CUgyiratRecord r = MakeRecord(ev, nr, client, other, kind, remark, deadlines);
    r.Allapot = allapot;
    CopyField(r.CC, cc);
    r.Datum = date;
    return r;
}

std::vector<RowCase> RowCases()
{
    const DBTIMESTAMP date = {2024, 3, 9, 7, 5, 3, 999};
    const DBTIMESTAMP zero = {};
    const DBTIMESTAMP early = {-12, 12, 31, 23, 59, 59, 0};
    return {
        {"the five texts escaped in order",
         Record(2024, 17, 1, L"a\"b&c<d>e", L"&lt;", L"x>y", L"\"&\"", L"", L"+2025.01.15. \"tárgyalás\" <1>", date),
         "    <Row><data>2024</data><data>17</data><data>a'b&amp;c&lt;d&gt;e</data><data>&amp;lt;</data>"
         "<data>x&gt;y</data><data>'&amp;'</data><data>2024.03.09 07:05:03</data><data></data>"
         "<data>+2025.01.15. 't" + Utf8(L"á") + "rgyal" + Utf8(L"á") + "s' &lt;1&gt;</data><data>1</data></Row>\r\n",
         {L"2024", L"17", L"a'b&c<d>e", L"&lt;", L"x>y", L"'&'", L"2024.03.09 07:05:03", L"",
          L"+2025.01.15. 'tárgyalás' <1>", L"1"}},
        {"CC escaped, its double quote kept",
         Record(2024, 18, 0, L"Kovács Ödön", L"Űrhajó Kft.", L"őŐűŰ", L"", L"<\"&>", L"", date),
         "    <Row><data>2024</data><data>18</data><data>" + Utf8(L"Kovács Ödön") + "</data><data>" +
             Utf8(L"Űrhajó Kft.") + "</data><data>" + Utf8(L"őŐűŰ") +
             "</data><data></data><data>2024.03.09 07:05:03</data><data>&lt;\"&amp;&gt;</data><data></data>"
             "<data>0</data></Row>\r\n",
         {L"2024", L"18", L"Kovács Ödön", L"Űrhajó Kft.", L"őŐűŰ", L"", L"2024.03.09 07:05:03", L"<\"&>", L"", L"0"}},
        {"an all-zero date, leading blanks",
         Record(1990, 1, 1, L"  lead", L"trail  ", L"   ", L"ÄΩ", L"  x", L"", zero),
         "    <Row><data>1990</data><data>1</data><data>  lead</data><data>trail  </data><data>   </data><data>" +
             Utf8(L"ÄΩ") + "</data><data>0.00.00 00:00:00</data><data>  x</data><data></data><data>1</data></Row>\r\n",
         {L"1990", L"1", L"lead", L"trail  ", L"", L"ÄΩ", L"0.00.00 00:00:00", L"x", L"", L"1"}},
        {"characters XML does not allow become blanks",
         Record(2024, 19, 1, L"a\x01" L"b\x08" L"c\x0B" L"d\x0C" L"e", L"x\x0E\x1F" L"y", L"tab\there\x7F",
                L"v\xFFFE" L"w\xFFFF" L"z\xFFFD", L"c\x1B" L"c", L"+2025.01.15. \x07" L"csengo", date),
         "    <Row><data>2024</data><data>19</data><data>a b c d e</data><data>x  y</data><data>tab\there\x7F</data>"
         "<data>v w z\xEF\xBF\xBD</data><data>2024.03.09 07:05:03</data><data>c c</data>"
         "<data>+2025.01.15.  csengo</data><data>1</data></Row>\r\n",
         {L"2024", L"19", L"a b c d e", L"x  y", L"tab\there\x7F", L"v w z\xFFFD", L"2024.03.09 07:05:03", L"c c",
          L"+2025.01.15.  csengo", L"1"}},
        {"a signed year", Record(-5, -7, 0, L"", L"", L"", L"", L"", L"", early),
         "    <Row><data>-5</data><data>-7</data><data></data><data></data><data></data><data></data>"
         "<data>-12.12.31 23:59:59</data><data></data><data></data><data>0</data></Row>\r\n",
         {L"-5", L"-7", L"", L"", L"", L"", L"-12.12.31 23:59:59", L"", L"", L"0"}},
    };
}

class ExportXmlTest : public ::testing::Test
{
protected:
    ExportXmlTest() : env(L"ExportXmlTest") {}

    void SetUp() override { path = env.Folder() + L"backup.xml"; }

    // Exports the records through a store and returns the file; the build
    // stamp and the time of writing are checked and returned apart.
    std::string Export(const std::vector<CUgyiratRecord>& records, std::string* compiled, std::string* created)
    {
        CUgyiratStore store(new CMemoryCaseTable(records));
        SYSTEMTIME before, after;
        GetLocalTime(&before);
        EXPECT_TRUE(store.ExportXml(path));
        GetLocalTime(&after);
        std::string file = ReadFileBytes(path);
        *compiled = Between(file, "Compiled");
        *created = Between(file, "Created");
        // "Mar 24 2025 09:32:46"
        int day = 0, year = 0, h = -1, m = -1, s = -1;
        char month[4] = {0};
        EXPECT_EQ(sscanf(compiled->c_str(), "%3s %d %d %d:%d:%d", month, &day, &year, &h, &m, &s), 6) << *compiled;
        EXPECT_TRUE(strstr("JanFebMarAprMayJunJulAugSepOctNovDec", month)) << *compiled;
        EXPECT_EQ(*compiled, std::string(month) + " " + std::to_string(day) + " " + std::to_string(year) + " " +
                                 (h < 10 ? "0" : "") + std::to_string(h) + ":" + (m < 10 ? "0" : "") +
                                 std::to_string(m) + ":" + (s < 10 ? "0" : "") + std::to_string(s));
        char low[32], high[32];
        snprintf(low, sizeof(low), "%d.%02d.%02d %02d:%02d:%02d", before.wYear, before.wMonth, before.wDay,
                 before.wHour, before.wMinute, before.wSecond);
        snprintf(high, sizeof(high), "%d.%02d.%02d %02d:%02d:%02d", after.wYear, after.wMonth, after.wDay,
                 after.wHour, after.wMinute, after.wSecond);
        EXPECT_EQ(created->size(), 19u);
        EXPECT_TRUE(*created >= low && *created <= high) << *created;
        return file;
    }

    // Exports the records of every row case in one file; the records.
    std::vector<CUgyiratRecord> ExportRowCases()
    {
        std::vector<CUgyiratRecord> records;
        for (const RowCase& c : RowCases())
            records.push_back(c.record);
        CUgyiratStore store(new CMemoryCaseTable(records));
        EXPECT_TRUE(store.ExportXml(path));
        return records;
    }

    CStorageEnvironment env;
    CString path;
};

TEST_F(ExportXmlTest, AnEmptyTableGivesTheHeaderAndTheFooter)
{
    std::string compiled, created;
    std::string file = Export({}, &compiled, &created);
    EXPECT_EQ(file, Header(compiled, created) + kFooter);
    EXPECT_FALSE(CAppSettings::GetVersionInfoString(L"ProductVersion").IsEmpty());
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 29);
}

TEST_F(ExportXmlTest, RowsByteForByte)
{
    std::vector<CUgyiratRecord> records;
    std::string rows;
    for (const RowCase& c : RowCases()) {
        records.push_back(c.record);
        rows += c.line;
        // One case alone, to name the case that differs.
        std::string compiled, created;
        std::string file = Export({c.record}, &compiled, &created);
        EXPECT_EQ(file, Header(compiled, created) + c.line + kFooter) << c.name;
        EXPECT_EQ(file.find("<data/>"), std::string::npos) << c.name;
    }
    std::string compiled, created;
    std::string file = Export(records, &compiled, &created);
    EXPECT_EQ(file, Header(compiled, created) + rows + kFooter);
}

TEST_F(ExportXmlTest, RoundTripThroughTheReader)
{
    ExportRowCases();
    ASSERT_FALSE(HasFailure());

    XmlParser parser;
    ASSERT_TRUE(parser.Load(path));
    XmlPathFilter rows, data;
    ASSERT_TRUE(rows.Parse(xml_test::kRowPath));
    ASSERT_TRUE(data.Parse(L"data"));
    // Each row's values by position, read as the restore reads them: the
    // text after a data element, or nothing when its end tag follows.
    std::vector<std::vector<std::wstring>> read;
    while (XmlNode* node = parser.NextNode()) {
        if (!rows.Matches(node))
            continue;
        read.emplace_back();
        for (XmlNode* n = parser.NextNode(); n && !(n->GetType() == XmlNode::TYPE_END && n->GetName() == L"Row");
             n = parser.NextNode()) {
            if (!data.Matches(n))
                continue;
            XmlNode* value = parser.NextNode();
            ASSERT_NE(value, nullptr);
            read.back().push_back(value->GetType() == XmlNode::TYPE_TEXT ? value->GetName() : L"");
        }
    }
    std::vector<RowCase> cases = RowCases();
    ASSERT_EQ(read.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(read[i], cases[i].values) << cases[i].name;
    EXPECT_EQ(parser.GetPosition(), parser.GetLength());
    EXPECT_TRUE(parser.GetRoot()->IsClosed());
}

// The file is well-formed XML 1.0 for a reader other than the program's
// own: the system's XML parser loads it whole.
TEST_F(ExportXmlTest, AStandardXmlReaderTakesTheFile)
{
    std::vector<CUgyiratRecord> records = ExportRowCases();
    ASSERT_FALSE(HasFailure());

    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
    CLSID clsid;
    IXMLDOMDocument* document = NULL;
    ASSERT_TRUE(SUCCEEDED(CLSIDFromProgID(L"Msxml2.DOMDocument.6.0", &clsid)));
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(clsid, NULL, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                           reinterpret_cast<void**>(&document))));
    document->put_async(VARIANT_FALSE);
    VARIANT file;
    VariantInit(&file);
    file.vt = VT_BSTR;
    file.bstrVal = SysAllocString(path);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    EXPECT_EQ(document->load(file, &loaded), S_OK);
    EXPECT_EQ(loaded, VARIANT_TRUE);
    IXMLDOMNodeList* rows = NULL;
    BSTR name = SysAllocString(L"Row");
    long count = -1;
    if (SUCCEEDED(document->getElementsByTagName(name, &rows)) && rows) {
        rows->get_length(&count);
        rows->Release();
    }
    EXPECT_EQ(count, (long)records.size());
    SysFreeString(name);
    VariantClear(&file);
    document->Release();
    CoUninitialize();
}

TEST_F(ExportXmlTest, AFailedExportKeepsThePreviousFile)
{
    const std::string previous = "<?xml the previous backup\r\n";
    ASSERT_TRUE(WriteFileBytes(path, previous));
    CMemoryCaseTable* table = new CMemoryCaseTable({RowCases()[0].record});
    table->failSelect = true;
    CUgyiratStore store(table);
    EXPECT_FALSE(store.ExportXml(path));
    EXPECT_EQ(ReadFileBytes(path), previous);

    CUgyiratStore other(new CMemoryCaseTable({}));
    EXPECT_FALSE(other.ExportXml(env.Folder() + L"nincs\\backup.xml"));
}

} // namespace
