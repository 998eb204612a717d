#include <oledberr.h>
#include <cstdio>
#include "ProviderObjects.h"

namespace oledb_standin {

namespace {

struct CellResult
{
    DBSTATUS status = DBSTATUS_S_OK;
    bool failed = false;
    bool nullWithoutStatus = false;
};

std::wstring TimeText(const DBTIMESTAMP& ts)
{
    wchar_t buf[32];
    swprintf(buf, 32, L"%04d-%02u-%02u %02u:%02u:%02u.%03lu", ts.year, ts.month, ts.day, ts.hour, ts.minute,
             ts.second, static_cast<unsigned long>(ts.fraction / 1000000));
    return buf;
}

// Writes one column into the consumer's row by its binding, as the OLE DB
// rules say: a truncated text stays terminated and is flagged, the length is
// that of the whole value, and a NULL needs a bound status.
CellResult WriteCell(const DBBINDING& b, const Value& v, BYTE* row)
{
    CellResult r;
    DBLENGTH length = 0;
    if (v.kind == Value::kNull) {
        r.status = DBSTATUS_S_ISNULL;
        if (!(b.dwPart & DBPART_STATUS)) {
            r.failed = true;
            r.nullWithoutStatus = true;
        }
    } else if (b.wType == DBTYPE_I4) {
        if (v.kind != Value::kInt) {
            r.status = DBSTATUS_E_CANTCONVERTVALUE;
        } else if (v.i < LONG_MIN || v.i > LONG_MAX) {
            r.status = DBSTATUS_E_DATAOVERFLOW;
        } else {
            LONG n = static_cast<LONG>(v.i);
            if (b.dwPart & DBPART_VALUE)
                memcpy(row + b.obValue, &n, sizeof(n));
            length = sizeof(n);
        }
    } else if (b.wType == DBTYPE_DBTIMESTAMP) {
        if (v.kind != Value::kTime) {
            r.status = DBSTATUS_E_CANTCONVERTVALUE;
        } else {
            if (b.dwPart & DBPART_VALUE)
                memcpy(row + b.obValue, &v.ts, sizeof(v.ts));
            length = sizeof(v.ts);
        }
    } else {
        std::wstring converted;
        if (v.kind == Value::kInt)
            converted = std::to_wstring(v.i);
        else if (v.kind == Value::kTime)
            converted = TimeText(v.ts);
        const std::wstring& text = v.kind == Value::kText ? v.s : converted;
        length = text.size() * sizeof(wchar_t);
        if (b.dwPart & DBPART_VALUE) {
            size_t room = b.cbMaxLen / sizeof(wchar_t);
            size_t n = room ? (text.size() < room - 1 ? text.size() : room - 1) : 0;
            wchar_t* out = reinterpret_cast<wchar_t*>(row + b.obValue);
            if (room) {
                memcpy(out, text.data(), n * sizeof(wchar_t));
                out[n] = 0;
            }
            if (n < text.size())
                r.status = DBSTATUS_S_TRUNCATED;
        }
    }
    if (r.status != DBSTATUS_S_OK && r.status != DBSTATUS_S_ISNULL && r.status != DBSTATUS_S_TRUNCATED)
        r.failed = true;
    if (b.dwPart & DBPART_LENGTH)
        memcpy(row + b.obLength, &length, sizeof(length));
    if (b.dwPart & DBPART_STATUS)
        memcpy(row + b.obStatus, &r.status, sizeof(r.status));
    return r;
}

} // namespace

Rowset::Rowset(Command* command, const std::shared_ptr<ResultSet>& rows, const FailurePlan& plan,
               const std::wstring& server)
    : m_command(command), m_rows(rows), m_plan(plan), m_server(server)
{
    m_command->AddRef();
    m_command->GetSession()->RowsetOpened();
    InitializeCriticalSection(&m_lock);
}

Rowset::~Rowset()
{
    DeleteCriticalSection(&m_lock);
    m_command->GetSession()->RowsetClosed();
    m_command->Release();
}

void* Rowset::FindInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_IRowset)
        return static_cast<IRowset*>(this);
    if (riid == IID_IRowsetInfo)
        return static_cast<IRowsetInfo*>(this);
    if (riid == IID_IColumnsInfo)
        return static_cast<IColumnsInfo*>(this);
    if (riid == IID_IAccessor)
        return static_cast<IAccessor*>(this);
    if (riid == IID_ISupportErrorInfo)
        return static_cast<ISupportErrorInfo*>(this);
    return NULL;
}

STDMETHODIMP Rowset::GetNextRows(HCHAPTER, DBROWOFFSET lRowsOffset, DBROWCOUNT cRows, DBCOUNTITEM* pcRowsObtained,
                                 HROW** prghRows)
{
    ClearErrors();
    if (!pcRowsObtained || !prghRows)
        return E_INVALIDARG;
    *pcRowsObtained = 0;
    if (lRowsOffset < 0)
        return DB_E_CANTSCROLLBACKWARDS;
    if (cRows < 0)
        return DB_E_CANTFETCHBACKWARDS;
    if (cRows == 0)
        return S_OK;
    EnterCriticalSection(&m_lock);
    // The driver's rowsets cannot hold rows: every row fetched before must
    // have been released.
    if (!m_held.empty()) {
        LeaveCriticalSection(&m_lock);
        return DB_E_ROWSNOTRELEASED;
    }
    size_t total = m_rows->rows.size();
    m_next = m_next + static_cast<size_t>(lRowsOffset) < total ? m_next + static_cast<size_t>(lRowsOffset) : total;
    size_t available = total - m_next;
    bool cut = false;
    if (m_plan.phase == FailurePlan::kAtFetch) {
        size_t limit = m_plan.afterRows > 0 ? static_cast<size_t>(m_plan.afterRows) : 0;
        if (m_next >= limit) {
            LeaveCriticalSection(&m_lock);
            return PostErrors(m_plan.hr, IID_IRowset, m_plan.errors, m_server);
        }
        if (limit - m_next < available) {
            available = limit - m_next;
            cut = true; // the rows up to the failure, then the failure itself
        }
    }
    size_t take = static_cast<size_t>(cRows) < available ? static_cast<size_t>(cRows) : available;
    if (take) {
        if (!*prghRows) {
            *prghRows = static_cast<HROW*>(CoTaskMemAlloc(take * sizeof(HROW)));
            if (!*prghRows) {
                LeaveCriticalSection(&m_lock);
                return E_OUTOFMEMORY;
            }
        }
        for (size_t i = 0; i < take; ++i) {
            HROW h = static_cast<HROW>(m_next + i + 1);
            (*prghRows)[i] = h;
            ++m_held[h];
        }
        m_next += take;
    }
    *pcRowsObtained = take;
    LeaveCriticalSection(&m_lock);
    return take < static_cast<size_t>(cRows) && !cut ? DB_S_ENDOFROWSET : S_OK;
}

STDMETHODIMP Rowset::GetData(HROW hRow, HACCESSOR hAccessor, void* pData)
{
    ClearErrors();
    std::shared_ptr<const Accessor> accessor = FindAccessor(hAccessor);
    if (!accessor)
        return DB_E_BADACCESSORHANDLE;
    const Accessor& a = *accessor;
    if (!(a.flags & DBACCESSOR_ROWDATA))
        return DB_E_BADACCESSORTYPE;
    EnterCriticalSection(&m_lock);
    bool held = m_held.count(hRow) != 0;
    LeaveCriticalSection(&m_lock);
    if (!held)
        return DB_E_BADROWHANDLE;
    if (!pData && !a.bindings.empty())
        return E_INVALIDARG;
    size_t index = static_cast<size_t>(hRow - 1);
    size_t goodRows = static_cast<size_t>(m_plan.afterRows > 0 ? m_plan.afterRows : 0);
    if (m_plan.phase == FailurePlan::kAtGetData && index >= goodRows)
        return PostErrors(m_plan.hr, IID_IRowset, m_plan.errors, m_server);
    const std::vector<Value>& row = m_rows->rows[index];
    BYTE* out = static_cast<BYTE*>(pData);
    size_t failures = 0;
    ErrorList errors;
    for (const DBBINDING& b : a.bindings) {
        CellResult r = WriteCell(b, row[b.iOrdinal - 1], out);
        if (!r.failed)
            continue;
        ++failures;
        wchar_t which[96];
        swprintf(which, 96, L" (column %u, %ls)", static_cast<unsigned>(b.iOrdinal),
                 m_rows->columns[b.iOrdinal - 1].name.c_str());
        if (r.nullWithoutStatus)
            errors.push_back(DriverError(L"22002", std::wstring(L"Indicator variable required but not supplied: "
                                                                L"a NULL value and no status bound") + which));
        else if (r.status == DBSTATUS_E_DATAOVERFLOW)
            errors.push_back(DriverError(L"22003", std::wstring(L"Numeric value out of range") + which));
        else
            errors.push_back(
                DriverError(L"22018", std::wstring(L"Invalid character value for cast") + which));
    }
    if (failures == 0)
        return S_OK;
    return PostErrors(failures == a.bindings.size() ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED, IID_IRowset, errors,
                      m_server);
}

STDMETHODIMP Rowset::AddRefRows(DBCOUNTITEM cRows, const HROW rghRows[], DBREFCOUNT rgRefCounts[],
                                DBROWSTATUS rgRowStatus[])
{
    if (cRows && !rghRows)
        return E_INVALIDARG;
    DBCOUNTITEM bad = 0;
    EnterCriticalSection(&m_lock);
    for (DBCOUNTITEM i = 0; i < cRows; ++i) {
        auto it = m_held.find(rghRows[i]);
        bool ok = it != m_held.end();
        if (ok)
            ++it->second;
        else
            ++bad;
        if (rgRefCounts)
            rgRefCounts[i] = ok ? it->second : 0;
        if (rgRowStatus)
            rgRowStatus[i] = ok ? DBROWSTATUS_S_OK : DBROWSTATUS_E_INVALID;
    }
    LeaveCriticalSection(&m_lock);
    return bad == 0 ? S_OK : bad == cRows ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
}

STDMETHODIMP Rowset::ReleaseRows(DBCOUNTITEM cRows, const HROW rghRows[], DBROWOPTIONS[], DBREFCOUNT rgRefCounts[],
                                 DBROWSTATUS rgRowStatus[])
{
    if (cRows && !rghRows)
        return E_INVALIDARG;
    DBCOUNTITEM bad = 0;
    EnterCriticalSection(&m_lock);
    for (DBCOUNTITEM i = 0; i < cRows; ++i) {
        auto it = m_held.find(rghRows[i]);
        bool ok = it != m_held.end();
        ULONG left = 0;
        if (ok) {
            left = --it->second;
            if (left == 0)
                m_held.erase(it);
        } else {
            ++bad;
        }
        if (rgRefCounts)
            rgRefCounts[i] = left;
        if (rgRowStatus)
            rgRowStatus[i] = ok ? DBROWSTATUS_S_OK : DBROWSTATUS_E_INVALID;
    }
    LeaveCriticalSection(&m_lock);
    return bad == 0 ? S_OK : bad == cRows ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
}

STDMETHODIMP Rowset::RestartPosition(HCHAPTER)
{
    EnterCriticalSection(&m_lock);
    m_next = 0;
    LeaveCriticalSection(&m_lock);
    return S_OK;
}

STDMETHODIMP Rowset::GetProperties(const ULONG, const DBPROPIDSET[], ULONG* pcPropertySets,
                                   DBPROPSET** prgPropertySets)
{
    if (!pcPropertySets || !prgPropertySets)
        return E_INVALIDARG;
    *pcPropertySets = 0;
    *prgPropertySets = NULL;
    return S_OK;
}

STDMETHODIMP Rowset::GetReferencedRowset(DBORDINAL, REFIID, IUnknown** ppReferencedRowset)
{
    if (ppReferencedRowset)
        *ppReferencedRowset = NULL;
    return DB_E_NOTAREFERENCECOLUMN;
}

STDMETHODIMP Rowset::GetSpecification(REFIID riid, IUnknown** ppSpecification)
{
    if (!ppSpecification)
        return E_INVALIDARG;
    return m_command->QueryInterface(riid, reinterpret_cast<void**>(ppSpecification));
}

STDMETHODIMP Rowset::GetColumnInfo(DBORDINAL* pcColumns, DBCOLUMNINFO** prgInfo, OLECHAR** ppStringsBuffer)
{
    if (!pcColumns || !prgInfo || !ppStringsBuffer)
        return E_INVALIDARG;
    *pcColumns = 0;
    *prgInfo = NULL;
    *ppStringsBuffer = NULL;
    const std::vector<ColumnInfo>& cols = m_rows->columns;
    size_t chars = 0;
    for (const ColumnInfo& c : cols)
        chars += c.name.size() + 1;
    DBCOLUMNINFO* info = static_cast<DBCOLUMNINFO*>(CoTaskMemAlloc(cols.size() * sizeof(DBCOLUMNINFO)));
    OLECHAR* strings = static_cast<OLECHAR*>(CoTaskMemAlloc(chars * sizeof(OLECHAR)));
    if (!info || !strings) {
        CoTaskMemFree(info);
        CoTaskMemFree(strings);
        return E_OUTOFMEMORY;
    }
    OLECHAR* p = strings;
    for (size_t i = 0; i < cols.size(); ++i) {
        const ColumnInfo& c = cols[i];
        DBCOLUMNINFO& d = info[i];
        ZeroMemory(&d, sizeof(d));
        memcpy(p, c.name.c_str(), (c.name.size() + 1) * sizeof(OLECHAR));
        d.pwszName = c.name.empty() ? NULL : p;
        p += c.name.size() + 1;
        d.iOrdinal = i + 1;
        d.dwFlags = c.nullable ? DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL : 0;
        switch (c.type) {
        case kIntColumn:
            d.wType = DBTYPE_I4;
            d.ulColumnSize = 4;
            d.bPrecision = 10;
            d.bScale = static_cast<BYTE>(~0);
            d.dwFlags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
            break;
        case kTimeColumn:
            d.wType = DBTYPE_DBTIMESTAMP;
            d.ulColumnSize = 16;
            d.bPrecision = 23;
            d.bScale = 3;
            d.dwFlags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
            break;
        case kTextColumn:
            d.wType = DBTYPE_WSTR;
            d.ulColumnSize = c.chars;
            d.bPrecision = static_cast<BYTE>(~0);
            d.bScale = static_cast<BYTE>(~0);
            break;
        }
        if (d.pwszName) {
            d.columnid.eKind = DBKIND_NAME;
            d.columnid.uName.pwszName = d.pwszName;
        } else {
            d.columnid.eKind = DBKIND_PROPID;
            d.columnid.uName.ulPropid = static_cast<ULONG>(i + 1);
        }
    }
    *pcColumns = cols.size();
    *prgInfo = info;
    *ppStringsBuffer = strings;
    return S_OK;
}

STDMETHODIMP Rowset::MapColumnIDs(DBORDINAL cColumnIDs, const DBID rgColumnIDs[], DBORDINAL rgColumns[])
{
    if (cColumnIDs && (!rgColumnIDs || !rgColumns))
        return E_INVALIDARG;
    DBORDINAL bad = 0;
    for (DBORDINAL i = 0; i < cColumnIDs; ++i) {
        rgColumns[i] = DB_INVALIDCOLUMN;
        const DBID& id = rgColumnIDs[i];
        for (size_t c = 0; c < m_rows->columns.size(); ++c) {
            const std::wstring& name = m_rows->columns[c].name;
            bool byName = id.eKind == DBKIND_NAME && id.uName.pwszName && !name.empty() &&
                          SameName(name, id.uName.pwszName);
            bool byNumber = id.eKind == DBKIND_PROPID && name.empty() && id.uName.ulPropid == c + 1;
            if (byName || byNumber)
                rgColumns[i] = c + 1;
        }
        if (rgColumns[i] == DB_INVALIDCOLUMN)
            ++bad;
    }
    return bad == 0 ? S_OK : bad == cColumnIDs ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
}

STDMETHODIMP Rowset::InterfaceSupportsErrorInfo(REFIID riid)
{
    return riid == IID_IRowset || riid == IID_IAccessor || riid == IID_IColumnsInfo || riid == IID_IRowsetInfo
               ? S_OK
               : S_FALSE;
}

} // namespace oledb_standin
