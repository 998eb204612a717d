// The exporters: the cases of a case table written to a file that other
// programs open (tab-separated text, HTML, RTF). Each exporter is one output
// file; the case store builds one on its stack for each export.
//
// CExporter::Export reads the table row by row in the order of its select
// and writes a new temporary file beside the target, under a name no file
// there had ("~fnx" and eight hexadecimal digits, ".tmp"); the target is
// replaced only when every step succeeded, so a failed export leaves the
// previous file as it was and removes the temporary one. No other file of
// the folder is ever opened.
//
// The four texts of a case (client, opposing party, kind, remark) are written
// in the thread's ANSI code page: a character the code page lacks becomes
// its default character, and a double quote becomes an apostrophe. The HTML
// exporter also writes "&", "<" and ">" as entities, the RTF exporter "\",
// "{" and "}" as control symbols, so a case text never becomes markup; the
// RTF exporter writes each line break of a text as an RTF line break.
#pragma once
#include <windows.h>
#include <string>
#include "storage/RDBTable.h"

class CExporter
{
public:
    // The export loop: false when the file cannot be written, the table
    // cannot be read (also when its read broke off), or the target cannot be
    // replaced; each failure is logged.
    bool Export(CRDBTable* table, LPCWSTR fileName);

    virtual bool Open(LPCWSTR fileName) = 0;
    virtual bool WriteRecord(const CUgyiratRecord& record) = 0;
    // Completes the file (footer) and closes it; false when that failed.
    virtual bool Close() = 0;
    // Closes the file without completing it (the export failed).
    virtual void Discard() = 0;

protected:
    CExporter() {}
    ~CExporter() {}
    CExporter(const CExporter&) = delete;
    CExporter& operator=(const CExporter&) = delete;
};

// Owns the output file. Every write is checked: a failed or short write
// makes the exporter's result false.
class CExporterFile : public CExporter
{
public:
    // Creates the file, or empties it when it exists, for reading and
    // writing, shared with nobody; writes nothing.
    bool Open(LPCWSTR fileName) override;
    bool Close() override;
    void Discard() override;

protected:
    CExporterFile() : m_hFile(INVALID_HANDLE_VALUE) {}
    ~CExporterFile();

    // Writes the bytes in one call; false unless all of them were written.
    bool Write(const char* data, size_t size);
    bool Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }
    // The system's write; the one place where the file is written.
    virtual BOOL WriteBytes(const void* data, DWORD size, DWORD* written);

    // The row being built, kept between rows so that its memory is reused.
    std::string m_row;

private:
    HANDLE m_hFile;
};

// One line per case: year, number and the four texts in double quotes,
// separated by tabs; no header, no footer.
class CExporterCSV : public CExporterFile
{
public:
    bool WriteRecord(const CUgyiratRecord& record) override;
};

// A page with one table: a fixed header with the caption row, one table row
// per case, a fixed footer. No character set is declared.
class CExporterHtml : public CExporterFile
{
public:
    bool Open(LPCWSTR fileName) override;
    bool WriteRecord(const CUgyiratRecord& record) override;
    bool Close() override;
};

// A document with one table (code page 1250): a fixed header with the
// caption row, one table row per case from a row template, a fixed footer.
class CExporterRtf : public CExporterFile
{
public:
    bool Open(LPCWSTR fileName) override;
    bool WriteRecord(const CUgyiratRecord& record) override;
    bool Close() override;
};
