#include "exchange/ExporterXml.h"
#include <charconv>
#include <wchar.h>
#include "foundation/AppSettings.h"

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

// "%d", and with `width` 2 "%02d".
void AppendNumber(std::string& out, int value, int width = 0)
{
    char digits[16];
    char* end = std::to_chars(digits, digits + sizeof(digits), value).ptr;
    for (int pad = width - (int)(end - digits); pad > 0; --pad)
        out += '0';
    out.append(digits, end);
}

// "%d.%02d.%02d %02d:%02d:%02d"
void AppendDateTime(std::string& out, int year, int month, int day, int hour, int minute, int second)
{
    AppendNumber(out, year);
    const int parts[] = {month, day, hour, minute, second};
    for (int i = 0; i < 5; ++i) {
        out += ".. ::"[i];
        AppendNumber(out, parts[i], 2);
    }
}

void AppendNumberData(std::string& out, int value)
{
    out += "<data>";
    AppendNumber(out, value);
    out += "</data>";
}

// One text as a data element: in UTF-8, with "&", "<" and ">" as entities,
// and, unless `keepQuotes`, a double quote as an apostrophe. A character
// that XML 1.0 does not allow in a document (the control characters other
// than tab, line feed and carriage return, U+FFFE and U+FFFF) is written as a
// blank, so that every XML reader takes the file.
template <size_t N>
void AppendData(std::string& out, const WCHAR (&field)[N], bool keepQuotes)
{
    out += "<data>";
    // Three bytes for every UTF-16 unit are enough.
    char utf8[N * 3];
    int length = WideCharToMultiByte(CP_UTF8, 0, field, (int)wcsnlen(field, N), utf8, (int)sizeof(utf8), NULL, NULL);
    for (int i = 0; i < length; ++i) {
        const unsigned char c = (unsigned char)utf8[i];
        switch (c) {
        case '"': out += keepQuotes ? '"' : '\''; break;
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\t':
        case '\n':
        case '\r': out += (char)c; break;
        default:
            if (c < 0x20) {
                out += ' ';
            } else if (c == 0xEF && i + 2 < length && (unsigned char)utf8[i + 1] == 0xBF &&
                       ((unsigned char)utf8[i + 2] == 0xBE || (unsigned char)utf8[i + 2] == 0xBF)) {
                out += ' ';
                i += 2;
            } else {
                out += (char)c;
            }
            break;
        }
    }
    out += "</data>";
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
    header += "   <Name>Folionex #";
    AppendNumber(header, kProgramType);
    header += "</Name>\r\n";
    header += "   <Version>" + version.str() + "</Version>\r\n";
    header += "   <Compiled>" + BuildDate() + " " __TIME__ "</Compiled>\r\n";
    header += "  </Program>\r\n";
    header += "  <Created>";
    AppendDateTime(header, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    header += "</Created>\r\n";
    header +=
        " </Properties>\r\n"
        " <Tables>\r\n"
        "  <Table name=\"tUgyirat\">\r\n";
    header += kFields;
    return Write(header);
}

bool CExporterXml::WriteRecord(const CUgyiratRecord& record)
{
    m_row.assign("    <Row>");
    AppendNumberData(m_row, record.Ev);
    AppendNumberData(m_row, record.Nr);
    AppendData(m_row, record.UgyfelNeve, false);
    AppendData(m_row, record.EllenfelNeve, false);
    AppendData(m_row, record.UgyJellege, false);
    AppendData(m_row, record.Megjegyzes, false);
    m_row += "<data>";
    const DBTIMESTAMP& d = record.Datum;
    AppendDateTime(m_row, d.year, d.month, d.day, d.hour, d.minute, d.second);
    m_row += "</data>";
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
