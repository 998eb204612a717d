#include "exchange/ExporterXml.h"
#include <stdarg.h>
#include <stdio.h>
#include "foundation/AppSettings.h"
#include "foundation/Conversions.h"

namespace {

// The program type that the web-service requests send as "ProgType".
const int kProgramType = 2;

// The build stamp: "Mar 24 2025" (a day below 10 without its padding blank)
// and "09:32:46".
std::string BuildDate()
{
    std::string date = __DATE__;
    if (date.size() > 4 && date[4] == ' ')
        date.erase(4, 1);
    return date;
}

const char kFields[] =
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

const char kFooter[] =
    "   </Rows>\r\n"
    "  </Table>\r\n"
    " </Tables>\r\n"
    "</DataBase>\r\n";

void AppendFormat(std::string& out, const char* format, ...)
{
    char buffer[128];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    if (n > 0)
        out.append(buffer, (size_t)n < sizeof(buffer) ? (size_t)n : sizeof(buffer) - 1);
}

// One text as a data element: in UTF-8, with "&", "<" and ">" as entities,
// and, unless `keepQuotes`, a double quote as an apostrophe.
void AppendData(std::string& out, LPCWSTR text, bool keepQuotes)
{
    out += "<data>";
    CStringA utf8 = WideToUtf8(text);
    for (char c : utf8.str()) {
        switch (c) {
        case '"': out += keepQuotes ? '"' : '\''; break;
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c; break;
        }
    }
    out += "</data>";
}

void AppendNumberData(std::string& out, int value)
{
    AppendFormat(out, "<data>%d</data>", value);
}

} // namespace

bool CExporterXml::Open(LPCWSTR fileName)
{
    if (!CExporterFile::Open(fileName))
        return false;
    SYSTEMTIME now;
    GetLocalTime(&now);
    CStringA version(CAppSettings::GetVersionInfoString(L"ProductVersion").GetString());
    std::string header =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\r\n"
        "\r\n"
        "<DataBase name=\"Folionex\" version=\"1.0\">\r\n"
        " <Properties>\r\n"
        "  <Program>\r\n";
    AppendFormat(header, "   <Name>Folionex #%d</Name>\r\n", kProgramType);
    header += "   <Version>" + version.str() + "</Version>\r\n";
    header += "   <Compiled>" + BuildDate() + " " __TIME__ "</Compiled>\r\n";
    header += "  </Program>\r\n";
    AppendFormat(header, "  <Created>%d.%02d.%02d %02d:%02d:%02d</Created>\r\n", now.wYear, now.wMonth, now.wDay,
                 now.wHour, now.wMinute, now.wSecond);
    header +=
        " </Properties>\r\n"
        " <Tables>\r\n"
        "  <Table name=\"tUgyirat\">\r\n";
    header += kFields;
    return Write(header);
}

bool CExporterXml::WriteRecord(const CUgyiratRecord& record)
{
    const DBTIMESTAMP& d = record.Datum;
    m_row.assign("    <Row>");
    AppendNumberData(m_row, record.Ev);
    AppendNumberData(m_row, record.Nr);
    AppendData(m_row, record.UgyfelNeve, false);
    AppendData(m_row, record.EllenfelNeve, false);
    AppendData(m_row, record.UgyJellege, false);
    AppendData(m_row, record.Megjegyzes, false);
    AppendFormat(m_row, "<data>%d.%02d.%02d %02d:%02d:%02d</data>", (int)d.year, (int)d.month, (int)d.day,
                 (int)d.hour, (int)d.minute, (int)d.second);
    AppendData(m_row, record.CC, true);
    AppendData(m_row, record.Hataridok, false);
    AppendNumberData(m_row, record.Allapot);
    m_row += "</Row>\r\n";
    return Write(m_row);
}

bool CExporterXml::Close()
{
    bool written = Write(kFooter, sizeof(kFooter) - 1);
    return CExporterFile::Close() && written;
}
