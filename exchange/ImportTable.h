// The pasted table of the clipboard import: rows of cells cut from one copy
// of the clipboard text, the column types the user chose, and the parsers
// that turn a row into a case record, decide its status and insert it.
//
// The column types are not part of the table: every operation that parses
// takes the caller's array of kMaxImportColumns type ids (0: not imported).
// Columns beyond kMaxImportColumns are never kept.
#pragma once
#include <vector>
#include "afxstr.h"
#include "exchange/ImportText.h"
#include "storage/UgyiratRecord.h"

class CUgyiratStore;
class CWnd;

// Field bits of a parsed row.
enum {
    kImportFieldNr = 0x1,
    kImportFieldEv = 0x2,
    kImportFieldUgyfelNeve = 0x4,
    kImportFieldEllenfelNeve = 0x8,
    kImportFieldUgyJellege = 0x10,
    kImportFieldMegjegyzes = 0x20,
    // A row can be imported only with number, year and client.
    kImportRequiredFields = 0x7,
};

struct ImportColumnType
{
    int id;
    int fieldBits;
    const wchar_t* label;
};

// The nine column types in the order the column dialog lists them.
const int kImportColumnTypeCount = 9;
extern const ImportColumnType ImportColumnTypes[kImportColumnTypeCount];
// The type's entry, or null for 0 and unknown ids.
const ImportColumnType* FindImportColumnType(int id);

enum ImportRowStatus {
    kRowNotValidated = 0,
    kRowInvalid = 2,      // a required field is missing or out of range
    kRowExists = 4,       // the key is already in the case store
    kRowValid = 8,        // valid and ticked; after the import: inserted
    kRowUnticked = 9,     // valid but unticked by the user
    kRowRefused = 16,     // the case store refused the insert
};

// Valid years of the import: 1901 to 2029.
inline bool IsValidImportYear(int year)
{
    return year > 1900 && year < 2030;
}
// Numbers the store takes: 1 to kMaxUgyiratNr.
inline bool IsValidImportNr(int nr)
{
    return nr >= 1 && nr <= kMaxUgyiratNr;
}

// Parses one cell by its column type into record; returns the field bits.
int ParseImportField(int type, LPCWSTR text, CUgyiratRecord& record);

class CImportCell
{
public:
    CImportCell() : m_text(NULL), m_owned(false) {}
    ~CImportCell() { Free(); }
    CImportCell(CImportCell&& other) noexcept;
    CImportCell& operator=(CImportCell&& other) noexcept;
    CImportCell(const CImportCell&) = delete;
    CImportCell& operator=(const CImportCell&) = delete;

    // A missing or empty text points at the shared empty text; with copy the
    // cell keeps its own copy, otherwise it points at text.
    void SetText(LPCWSTR text, bool copy);
    LPCWSTR GetText() const { return m_text; }
    bool IsOwned() const { return m_owned; }

private:
    void Free();
    LPWSTR m_text;
    bool m_owned;
};

class CImportRow
{
public:
    CImportRow() : m_status(kRowNotValidated) {}

    // Cuts line at its TABs in place and fills the cells from it: at most
    // cellCount (and kMaxImportColumns) of them; pieces beyond are dropped.
    // Cells the line lacks are not stored: GetCell gives the empty cell.
    void Split(int cellCount, LPWSTR line, bool copy);
    // The cell, or the one shared empty cell outside the row.
    const CImportCell& GetCell(int index) const;
    // Sets a cell's own copy of text, adding empty cells up to index.
    void SetCellText(int index, LPCWSTR text);
    int GetCellCount() const { return (int)m_cells.size(); }

    int m_status;

private:
    std::vector<CImportCell> m_cells;
};

class CImportTable
{
public:
    CImportTable();
    ~CImportTable();
    CImportTable(const CImportTable&) = delete;
    CImportTable& operator=(const CImportTable&) = delete;

    // The store that validation looks keys up in and the import inserts into.
    void SetStore(CUgyiratStore* store) { m_pStore = store; }
    CUgyiratStore* GetStore() const { return m_pStore; }

    // Replaces the table by the clipboard's text (Unicode, else narrow text
    // in the ANSI code page); the number of columns, -1 when the clipboard
    // cannot be opened, -2 when it holds no text (the table is unchanged).
    int ReadClipboard(CWnd* owner);
    // Replaces the table by a copy of text (length characters, up to the
    // first 0) and parses it; returns the number of columns.
    int SetText(LPCWSTR text, size_t length);
    // Splits the table's text into rows and cells; the number of rows.
    int Parse();

    int GetRowCount() const { return m_nRows; }
    int GetColumnCount() const { return m_nColumns; }
    int GetImportedCount() const { return m_nImported; }
    void SetImportedCount(int count) { m_nImported = count; }
    CImportRow* GetRow(int row);

    // OR of the field bits of the typed columns; -1 without columns.
    int GetTypeMask(const int* types) const;
    // 2, 4 or 8; the row's status is not changed.
    int ValidateRow(const int* types, int row);
    // Inserts the row's case; the status becomes 8 or 16 (left alone when a
    // required field is missing); true when it is 8.
    bool ImportRow(const int* types, int row);
    // Fills record from the row: the field bits; 0 outside the table, the
    // record then untouched.
    int ParseRow(const int* types, int row, CUgyiratRecord& record);
    // Writes record into the row's typed cells; the number of typed columns.
    int StoreRow(const int* types, int row, const CUgyiratRecord& record);

private:
    void Clear();
    // The typed columns' fields of one row into a zeroed record.
    int ParseInto(const int* types, const CImportRow& row, CUgyiratRecord& record) const;
    // Number, year and client are there and in range.
    static bool HasValidKey(int bits, const CUgyiratRecord& record);
    int TypedColumns() const;

    std::vector<CImportRow> m_rows;
    int m_nRows;
    int m_nImported;
    int m_nColumns;
    std::vector<wchar_t> m_text;
    CUgyiratStore* m_pStore;
};
