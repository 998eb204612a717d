#include "exchange/Exporter.h"
#include <charconv>
#include <vector>
#include "foundation/Conversions.h"
#include "foundation/Log.h"
#include "foundation/TempOutputFile.h"

namespace {

// ---------------------------------------------------------------------------
// Fixed texts

// The HTML header, in code page 1250 (the accented letters of the captions
// are single bytes).
const char kHtmlHeader[] =
    "<html>\r\n"
    "  <head>\r\n"
    "    <title>Folionex</title>\r\n"
    "    <style type = \"text/css\">\r\n"
    "      table { background-color: #eeeeee; }\r\n"
    "      th { background-color: #888888; color: #ffffff; padding: 3px; }\r\n"
    "      tr { background-color: #cccccc; padding: 3px; }\r\n"
    "    </style>\r\n"
    "  </head>\r\n"
    "  <body>\r\n"
    "    <table>\r\n"
    "      <tr><th>\xC9v</th><th>Iktat\xF3sz\xE1m</th><th>\xDCgyf\xE9l</th><th>Ellenf\xE9l</th>"
    "<th>\xDCgyirat jellege</th><th>Megjegyz\xE9s</th></tr>\r\n";

const char kHtmlFooter[] = " </table>\r\n</body>\r\n</html>\r\n";

// The row definition that starts the caption row and every case row.
#define RTF_CELL R"(\clbrdrl\brdrw10\brdrs\clbrdrt\brdrw10\brdrs\clbrdrr\brdrw10\brdrs\clbrdrb\brdrw10\brdrs \cellx)"
#define RTF_ROW_PREFIX                                                                                              \
    R"(\trowd\trgaph70\trleft-108\trbrdrl\brdrs\brdrw10 \trbrdrt\brdrs\brdrw10 \trbrdrr\brdrs\brdrw10 )"            \
    R"(\trbrdrb\brdrs\brdrw10 \trpaddl70\trpaddr70\trpaddfl3\trpaddfr3)"                                             \
    "\r\n" RTF_CELL "500" RTF_CELL "1000" RTF_CELL "4000" RTF_CELL "7000" RTF_CELL "9000" RTF_CELL "10800"        \
    R"(\pard\intbl)"

const char kRtfHeader[] =
    R"({\rtf1\ansi\ansicpg1250\deff0\deflang1038\deflangfe1038\deftab708)"
    R"({\fonttbl{\f0\froman\fprq2\fcharset238{\*\fname Times New Roman;}Times New Roman CE;})"
    R"({\f1\fswiss\fprq2\fcharset238 Calibri;}})"
    R"(\paperw12240\paperh15840\margl720\margr720\margt720\margb720)"
    "\r\n"
    R"({\*\generator Folionex 1.0.0.0;}\viewkind4\uc1)" RTF_ROW_PREFIX
    R"(\f1\fs22 \'c9v\cell Iktat\'f3sz\'e1m\cell \'dcgyf\'e9l\cell Ellenf\'e9l\cell \'dcgyirat\cell )"
    R"(Megjegyz\'e9s\cell\row)";

// One case row; consecutive rows follow each other without a line end.
const char kRtfRowTemplate[] =
    RTF_ROW_PREFIX R"( [EvX]\cell [NrX]\cell [UgyfelX]\cell [EllenfelX]\cell [UgyiratX]\cell [MegjegyzesX]\cell\row)";
static_assert(sizeof(kRtfRowTemplate) - 1 == 858, "the RTF row template");

// The placeholders of the row template, in the order of their values.
const char* const kRtfPlaceholders[] = {"[EvX]", "[NrX]", "[UgyfelX]", "[EllenfelX]", "[UgyiratX]", "[MegjegyzesX]"};

const char kRtfFooter[] = "\\pard\\sa200\\sl276\\slmult1\\par\r\n}\r\n";

#undef RTF_ROW_PREFIX
#undef RTF_CELL

// ---------------------------------------------------------------------------
// Texts of a case

enum TextMarkup { kPlainText, kHtmlText, kRtfText };

void AppendNumber(std::string& out, int value)
{
    char digits[16];
    auto end = std::to_chars(digits, digits + sizeof(digits), value).ptr;
    out.append(digits, end);
}

// Appends one of the record's texts: double quotes become apostrophes, the
// markup characters of the format are escaped (in RTF a line break, CR LF,
// LF or a lone CR, becomes one "\line"), and the result is converted to the
// thread's ANSI code page without best-fit substitutes (a missing
// character becomes the code page's default character).
template <size_t N>
void AppendText(std::string& out, const WCHAR (&field)[N], TextMarkup markup)
{
    // The longest escape ("\line ") is six characters.
    WCHAR text[(N - 1) * 6];
    size_t length = 0;
    for (size_t i = 0; i < N - 1 && field[i]; ++i) {
        WCHAR c = field[i];
        LPCWSTR escape = NULL;
        if (c == L'"') {
            c = L'\'';
        } else if (markup == kHtmlText) {
            escape = c == L'&' ? L"&amp;" : c == L'<' ? L"&lt;" : c == L'>' ? L"&gt;" : NULL;
        } else if (markup == kRtfText) {
            escape = c == L'\\' ? L"\\\\" : c == L'{' ? L"\\{" : c == L'}' ? L"\\}" : NULL;
            if (c == L'\r' || c == L'\n') {
                escape = L"\\line ";
                if (c == L'\r' && i + 1 < N - 1 && field[i + 1] == L'\n')
                    ++i;
            }
        }
        if (escape)
            while (*escape)
                text[length++] = *escape++;
        else
            text[length++] = c;
    }
    if (!length)
        return;
    // Three bytes per character are enough for every ANSI code page, UTF-8 included.
    char narrow[sizeof(text) / sizeof(text[0]) * 3];
    int written = WideToAnsiText(text, (int)length, narrow, (int)sizeof(narrow));
    if (written > 0)
        out.append(narrow, written);
}

// The row template cut at its placeholders, once: each piece is the text
// before a placeholder and the placeholder's index (-1 after the last).
struct RtfPiece
{
    const char* text;
    size_t length;
    int placeholder;
};

const std::vector<RtfPiece>& RtfRowPieces()
{
    static const std::vector<RtfPiece> pieces = [] {
        std::vector<RtfPiece> cut;
        const char* rest = kRtfRowTemplate;
        const char* end = kRtfRowTemplate + sizeof(kRtfRowTemplate) - 1;
        const char* scan = rest;
        while (const char* open = static_cast<const char*>(memchr(scan, '[', end - scan))) {
            int found = -1;
            size_t length = 1;
            for (int i = 0; i < (int)(sizeof(kRtfPlaceholders) / sizeof(kRtfPlaceholders[0])); ++i) {
                size_t n = strlen(kRtfPlaceholders[i]);
                if ((size_t)(end - open) >= n && memcmp(open, kRtfPlaceholders[i], n) == 0) {
                    found = i;
                    length = n;
                    break;
                }
            }
            scan = open + length;
            if (found >= 0) {
                cut.push_back({rest, (size_t)(open - rest), found});
                rest = scan;
            }
        }
        cut.push_back({rest, (size_t)(end - rest), -1});
        return cut;
    }();
    return pieces;
}

void LogExportFailure(LPCWSTR fileName, LPCWSTR reason, DWORD error)
{
    LogFormat(L"Export failed! %s: %s (error %u); the previous file is kept", fileName, reason, error);
}

} // namespace

// ---------------------------------------------------------------------------
// The export loop

bool CExporter::Export(CRDBTable* table, LPCWSTR fileName)
{
    if (!table || !fileName || !*fileName) {
        LogExportFailure(fileName ? fileName : L"", L"no case table or no file name", 0);
        return false;
    }
    CTempOutputFile temp(fileName);
    DWORD error = temp.Error();
    if (temp.Path().IsEmpty()) {
        LogExportFailure(fileName, L"no temporary file can be made beside it", error);
        return false;
    }
    if (!Open(temp.Path())) {
        error = GetLastError();
        Discard();
        LogExportFailure(fileName, L"the temporary file cannot be written", error);
        return false;
    }
    if (!table->OpenSelect()) {
        table->Close();
        Discard();
        LogExportFailure(fileName, L"the case table cannot be read", 0);
        return false;
    }
    int rows = 0;
    LPCWSTR reason = NULL;
    while (table->MoveNext()) {
        CUgyiratRecord record;
        ZeroRecord(record);
        // A row that cannot be read is left out.
        if (!table->GetRecord(record))
            continue;
        if (!WriteRecord(record)) {
            error = GetLastError();
            reason = L"a row cannot be written";
            break;
        }
        ++rows;
    }
    if (!reason && table->ReadFailed())
        reason = L"the read of the case table broke off";
    if (!reason && !Close()) {
        error = GetLastError();
        reason = L"the file cannot be completed";
    }
    table->Close();
    if (!reason && !temp.Commit()) {
        error = GetLastError();
        reason = L"the file cannot be replaced";
    }
    if (reason) {
        // The temporary file goes with `temp`, once it is closed.
        Discard();
        LogExportFailure(fileName, reason, error);
        return false;
    }
    LogFormat(L"Export %s: %d cases", fileName, rows);
    return true;
}

// ---------------------------------------------------------------------------
// The output file

CExporterFile::~CExporterFile()
{
    Discard();
}

bool CExporterFile::Open(LPCWSTR fileName)
{
    Discard();
    m_hFile = CreateFileW(fileName, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    return m_hFile != INVALID_HANDLE_VALUE;
}

bool CExporterFile::Close()
{
    if (m_hFile == INVALID_HANDLE_VALUE)
        return false;
    BOOL closed = CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    return closed != FALSE;
}

void CExporterFile::Discard()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}

bool CExporterFile::Write(const char* data, size_t size)
{
    if (m_hFile == INVALID_HANDLE_VALUE || size > MAXDWORD)
        return false;
    DWORD written = 0;
    if (!WriteBytes(data, (DWORD)size, &written))
        return false;
    if (written != size) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

BOOL CExporterFile::WriteBytes(const void* data, DWORD size, DWORD* written)
{
    return WriteFile(m_hFile, data, size, written, NULL);
}

// ---------------------------------------------------------------------------
// Tab-separated text

bool CExporterCSV::WriteRecord(const CUgyiratRecord& record)
{
    m_row.clear();
    AppendNumber(m_row, record.Ev);
    m_row += '\t';
    AppendNumber(m_row, record.Nr);
    for (const auto* text : {&record.UgyfelNeve, &record.EllenfelNeve, &record.UgyJellege, &record.Megjegyzes}) {
        m_row += "\t\"";
        AppendText(m_row, *text, kPlainText);
        m_row += '"';
    }
    m_row += "\r\n";
    return Write(m_row);
}

// ---------------------------------------------------------------------------
// HTML

bool CExporterHtml::Open(LPCWSTR fileName)
{
    return CExporterFile::Open(fileName) && Write(kHtmlHeader, sizeof(kHtmlHeader) - 1);
}

bool CExporterHtml::WriteRecord(const CUgyiratRecord& record)
{
    m_row.assign("  <tr><td>");
    AppendNumber(m_row, record.Ev);
    m_row += "</td><td>";
    AppendNumber(m_row, record.Nr);
    for (const auto* text : {&record.UgyfelNeve, &record.EllenfelNeve, &record.UgyJellege, &record.Megjegyzes}) {
        m_row += "</td><td>";
        AppendText(m_row, *text, kHtmlText);
    }
    m_row += "</td></tr>\r\n";
    return Write(m_row);
}

bool CExporterHtml::Close()
{
    bool written = Write(kHtmlFooter, sizeof(kHtmlFooter) - 1);
    return CExporterFile::Close() && written;
}

// ---------------------------------------------------------------------------
// RTF

bool CExporterRtf::Open(LPCWSTR fileName)
{
    return CExporterFile::Open(fileName) && Write(kRtfHeader, sizeof(kRtfHeader) - 1);
}

bool CExporterRtf::WriteRecord(const CUgyiratRecord& record)
{
    // The values go in where the template's placeholders stand, and what
    // went in is never searched again.
    m_row.clear();
    for (const RtfPiece& piece : RtfRowPieces()) {
        m_row.append(piece.text, piece.length);
        switch (piece.placeholder) {
        case 0: AppendNumber(m_row, record.Ev); break;
        case 1: AppendNumber(m_row, record.Nr); break;
        case 2: AppendText(m_row, record.UgyfelNeve, kRtfText); break;
        case 3: AppendText(m_row, record.EllenfelNeve, kRtfText); break;
        case 4: AppendText(m_row, record.UgyJellege, kRtfText); break;
        case 5: AppendText(m_row, record.Megjegyzes, kRtfText); break;
        }
    }
    return Write(m_row);
}

bool CExporterRtf::Close()
{
    bool written = Write(kRtfFooter, sizeof(kRtfFooter) - 1);
    return CExporterFile::Close() && written;
}
