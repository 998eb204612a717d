#include "exchange/ImportTable.h"
#include "afxwin.h"
#include "foundation/Conversions.h"
#include "foundation/Log.h"
#include "storage/UgyiratStore.h"

const ImportColumnType ImportColumnTypes[kImportColumnTypeCount] = {
    {1, kImportFieldNr, L"[iktatószám]"},
    {2, kImportFieldNr | kImportFieldEv, L"[iktatószám]/[év]"},
    {3, kImportFieldNr | kImportFieldEv, L"[év]/[iktatószám]"},
    {4, kImportFieldEv, L"[év]"},
    {5, kImportFieldUgyfelNeve, L"[ügyfél neve]"},
    {6, kImportFieldUgyfelNeve | kImportFieldEllenfelNeve, L"[ügyfél neve] - [másik fél neve]"},
    {7, kImportFieldEllenfelNeve, L"[másik fél neve]"},
    {8, kImportFieldUgyJellege, L"[ügyirat jellege]"},
    {9, kImportFieldMegjegyzes, L"[egyéb adat, megjegyzés]"},
};

const ImportColumnType* FindImportColumnType(int id)
{
    for (const ImportColumnType& type : ImportColumnTypes)
        if (type.id == id)
            return &type;
    return NULL;
}

namespace {

WCHAR g_emptyText[1] = {0};
const CImportCell g_emptyCell;

const wchar_t kPartySeparator[] = L" - ";
const wchar_t kPartySeparatorLong[] = L" \x00AD\x00AD\x2013\x00AD\x00AD ";

// The number after the first blank of a digits text, or none.
bool NumberAfterBlank(const wchar_t* digits, int& value)
{
    const wchar_t* blank = wcschr(digits, L' ');
    if (!blank)
        return false;
    value = ReadImportNumber(blank + 1);
    return true;
}

int ParseNumberAndYear(LPCWSTR text, CUgyiratRecord& record, bool yearFirst)
{
    record.Nr = 0;
    record.Ev = 0;
    wchar_t digits[kMaxImportDigits + 1];
    if (ExtractDigits(text, digits) == 0)
        return 0;
    int first = ReadImportNumber(digits);
    int second = 0;
    bool hasSecond = NumberAfterBlank(digits, second);
    if (!yearFirst) {
        record.Nr = first;
        if (!IsValidImportNr(first))
            return 0;
        if (hasSecond) {
            record.Ev = second;
            if (IsValidImportYear(second))
                return kImportFieldNr | kImportFieldEv;
        }
        return kImportFieldNr;
    }
    record.Ev = first;
    if (!IsValidImportYear(first))
        return 0;
    if (hasSecond) {
        record.Nr = second;
        if (IsValidImportNr(second))
            return kImportFieldNr | kImportFieldEv;
    }
    return kImportFieldEv;
}

int ParseParties(LPCWSTR text, CUgyiratRecord& record)
{
    CString whole(text);
    int length = (int)wcslen(kPartySeparator);
    int at = whole.Find(kPartySeparator);
    if (at < 0) {
        length = (int)wcslen(kPartySeparatorLong);
        at = whole.Find(kPartySeparatorLong);
    }
    if (at > 0) {
        NormalizeImportText(record.UgyfelNeve, whole.Left(at));
        NormalizeImportText(record.EllenfelNeve, whole.Mid(at + length));
    } else {
        NormalizeImportText(record.UgyfelNeve, text);
        record.EllenfelNeve[0] = 0;
    }
    return record.UgyfelNeve[0] || record.EllenfelNeve[0] ? kImportFieldUgyfelNeve | kImportFieldEllenfelNeve : 0;
}

int ParseText(LPCWSTR text, WCHAR* field, int bit)
{
    return NormalizeImportText(field, text) > 0 ? bit : 0;
}

} // namespace

int ParseImportField(int type, LPCWSTR text, CUgyiratRecord& record)
{
    if (!text)
        text = g_emptyText;
    switch (type) {
    case 1: {
        wchar_t digits[kMaxImportDigits + 1];
        ExtractDigits(text, digits);
        record.Nr = ReadImportNumber(digits);
        return IsValidImportNr(record.Nr) ? kImportFieldNr : 0;
    }
    case 2:
        return ParseNumberAndYear(text, record, false);
    case 3:
        return ParseNumberAndYear(text, record, true);
    case 4:
        record.Ev = ReadImportNumber(text);
        return IsValidImportYear(record.Ev) ? kImportFieldEv : 0;
    case 5:
        return ParseText(text, record.UgyfelNeve, kImportFieldUgyfelNeve);
    case 6:
        return ParseParties(text, record);
    case 7:
        return ParseText(text, record.EllenfelNeve, kImportFieldEllenfelNeve);
    case 8:
        return ParseText(text, record.UgyJellege, kImportFieldUgyJellege);
    case 9:
        return ParseText(text, record.Megjegyzes, kImportFieldMegjegyzes);
    }
    return 0;
}

// ---- CImportCell ----

CImportCell::CImportCell(CImportCell&& other) noexcept : m_text(other.m_text), m_owned(other.m_owned)
{
    other.m_text = NULL;
    other.m_owned = false;
}

CImportCell& CImportCell::operator=(CImportCell&& other) noexcept
{
    if (this != &other) {
        Free();
        m_text = other.m_text;
        m_owned = other.m_owned;
        other.m_text = NULL;
        other.m_owned = false;
    }
    return *this;
}

void CImportCell::Free()
{
    if (m_owned)
        delete[] m_text;
    m_text = NULL;
    m_owned = false;
}

void CImportCell::SetText(LPCWSTR text, bool copy)
{
    Free();
    if (!text || !*text) {
        m_text = g_emptyText;
    } else if (copy) {
        size_t n = wcslen(text);
        m_text = new WCHAR[n + 1];
        wmemcpy(m_text, text, n + 1);
        m_owned = true;
    } else {
        m_text = const_cast<LPWSTR>(text);
    }
}

// ---- CImportRow ----

void CImportRow::Split(int cellCount, LPWSTR line, bool copy)
{
    m_cells.clear();
    if (cellCount > kMaxImportColumns)
        cellCount = kMaxImportColumns;
    if (cellCount <= 0 || !line)
        return;
    std::vector<wchar_t*> pieces(cellCount);
    int stored = CutImportCells(line, cellCount, pieces.data());
    m_cells.resize(stored);
    for (int i = 0; i < stored; ++i)
        m_cells[i].SetText(pieces[i], copy);
}

const CImportCell& CImportRow::GetCell(int index) const
{
    if (index < 0 || index >= (int)m_cells.size())
        return g_emptyCell;
    return m_cells[index];
}

void CImportRow::SetCellText(int index, LPCWSTR text)
{
    if (index < 0 || index >= kMaxImportColumns)
        return;
    if (index >= (int)m_cells.size()) {
        size_t old = m_cells.size();
        m_cells.resize(index + 1);
        for (size_t i = old; i < m_cells.size(); ++i)
            m_cells[i].SetText(NULL, false);
    }
    m_cells[index].SetText(text, true);
}

// ---- CImportTable ----

CImportTable::CImportTable() : m_nRows(0), m_nImported(0), m_nColumns(0), m_pStore(NULL)
{
}

CImportTable::~CImportTable()
{
}

void CImportTable::Clear()
{
    m_rows.clear();
    m_nRows = 0;
    m_nColumns = 0;
    m_nImported = 0;
}

int CImportTable::ReadClipboard(CWnd* owner)
{
    if (!OpenClipboard(owner ? owner->GetSafeHwnd() : NULL)) {
        LogFormat(L"Import: the clipboard cannot be opened (%u)", GetLastError());
        return -1;
    }
    bool unicode = true;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data) {
        unicode = false;
        data = GetClipboardData(CF_TEXT);
    }
    if (!data) {
        CloseClipboard();
        LogLine(L"Import: no text on the clipboard");
        return -2;
    }
    const void* locked = GlobalLock(data);
    if (locked) {
        // The data is read within its own size and terminated here, however
        // the program that put it there ended it.
        SIZE_T size = GlobalSize(data);
        if (unicode) {
            const WCHAR* text = static_cast<const WCHAR*>(locked);
            SetText(text, size / sizeof(WCHAR));
        } else {
            const char* text = static_cast<const char*>(locked);
            size_t length = 0;
            while (length < size && text[length])
                ++length;
            CString wide;
            if (length > 0 && length < (size_t)INT_MAX) {
                int n = MultiByteToWideChar(CP_ACP, 0, text, (int)length, NULL, 0);
                if (n > 0) {
                    LPWSTR buffer = wide.GetBuffer(n);
                    MultiByteToWideChar(CP_ACP, 0, text, (int)length, buffer, n);
                    wide.ReleaseBuffer(n);
                }
            }
            SetText(wide, wide.GetLength());
        }
        GlobalUnlock(data);
    } else {
        LogFormat(L"Import: the clipboard data cannot be locked (%u)", GetLastError());
    }
    CloseClipboard();
    return m_nColumns;
}

int CImportTable::SetText(LPCWSTR text, size_t length)
{
    size_t n = 0;
    while (text && n < length && text[n])
        ++n;
    Clear();
    m_text.assign(text ? text : g_emptyText, (text ? text : g_emptyText) + n);
    m_text.push_back(0);
    Parse();
    return m_nColumns;
}

int CImportTable::Parse()
{
    Clear();
    size_t length = m_text.empty() ? 0 : m_text.size() - 1;
    if (length == 0)
        return 0;
    int rows = 0, columns = 0;
    MeasureImportText(m_text.data(), length, &rows, &columns);
    if (columns > kMaxImportColumns) {
        LogFormat(L"Import: %d columns pasted, the first %d are kept", columns, kMaxImportColumns);
        columns = kMaxImportColumns;
    }
    std::vector<wchar_t*> lines;
    lines.reserve(rows);
    CutImportLines(m_text.data(), length, lines);
    m_rows.resize(lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        m_rows[i].Split(columns, lines[i], false);
    m_nRows = (int)m_rows.size();
    m_nColumns = columns;
    return m_nRows;
}

CImportRow* CImportTable::GetRow(int row)
{
    if (row < 0 || row >= m_nRows)
        return NULL;
    return &m_rows[row];
}

int CImportTable::TypedColumns() const
{
    return m_nColumns < kMaxImportColumns ? m_nColumns : kMaxImportColumns;
}

int CImportTable::GetTypeMask(const int* types) const
{
    if (m_nColumns <= 0)
        return -1;
    int mask = 0;
    for (int c = 0; c < TypedColumns(); ++c) {
        const ImportColumnType* type = types[c] > 0 ? FindImportColumnType(types[c]) : NULL;
        if (type)
            mask |= type->fieldBits;
    }
    return mask;
}

int CImportTable::ParseInto(const int* types, const CImportRow& row, CUgyiratRecord& record) const
{
    ZeroRecord(record);
    int bits = 0;
    for (int c = 0; c < TypedColumns(); ++c)
        if (types[c] > 0)
            bits |= ParseImportField(types[c], row.GetCell(c).GetText(), record);
    return bits;
}

bool CImportTable::HasValidKey(int bits, const CUgyiratRecord& record)
{
    // A later column may have overwritten a field an earlier one set: the
    // key is checked on the values themselves.
    return (bits & kImportRequiredFields) == kImportRequiredFields && IsValidImportNr(record.Nr) &&
           IsValidImportYear(record.Ev);
}

int CImportTable::ValidateRow(const int* types, int row)
{
    CImportRow* r = GetRow(row);
    if (m_nColumns <= 0 || !r)
        return kRowInvalid;
    CUgyiratRecord record;
    int bits = ParseInto(types, *r, record);
    if (!HasValidKey(bits, record))
        return kRowInvalid;
    if (m_pStore && m_pStore->Find(UgyiratKey(record)))
        return kRowExists;
    return kRowValid;
}

bool CImportTable::ImportRow(const int* types, int row)
{
    CImportRow* r = GetRow(row);
    if (!r)
        return false;
    CUgyiratRecord record;
    int bits = ParseInto(types, *r, record);
    if (HasValidKey(bits, record)) {
        GetCurrentDbTimestamp(record.Datum);
        r->m_status = m_pStore && m_pStore->Insert(record) ? kRowValid : kRowRefused;
    } else {
        // Never left looking inserted.
        r->m_status = kRowInvalid;
    }
    return r->m_status == kRowValid;
}

int CImportTable::ParseRow(const int* types, int row, CUgyiratRecord& record)
{
    CImportRow* r = GetRow(row);
    if (!r)
        return 0;
    return ParseInto(types, *r, record);
}

int CImportTable::StoreRow(const int* types, int row, const CUgyiratRecord& record)
{
    CImportRow* r = GetRow(row);
    if (!r)
        return 0;
    int typed = 0;
    for (int c = 0; c < TypedColumns(); ++c) {
        if (types[c] <= 0 || !FindImportColumnType(types[c]))
            continue;
        CString text;
        switch (types[c]) {
        case 1: text.Format(L"%d", record.Nr); break;
        case 2: text.Format(L"%d/%d", record.Nr, record.Ev); break;
        case 3: text.Format(L"%d/%d", record.Ev, record.Nr); break;
        case 4: text.Format(L"%d", record.Ev); break;
        case 5: text = record.UgyfelNeve; break;
        case 6: text.Format(L"%s - %s", record.UgyfelNeve, record.EllenfelNeve); break;
        case 7: text = record.EllenfelNeve; break;
        case 8: text = record.UgyJellege; break;
        case 9: text = record.Megjegyzes; break;
        }
        r->SetCellText(c, text);
        ++typed;
    }
    return typed;
}
