#include <oledberr.h>
#include <cstdio>
#include "ProviderObjects.h"

namespace oledb_standin {

namespace {

const DBPART kAllParts = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;

bool SupportedType(DBTYPE t)
{
    return t == DBTYPE_I4 || t == DBTYPE_WSTR || t == DBTYPE_DBTIMESTAMP;
}

bool Converts(ColumnType column, DBTYPE bound)
{
    switch (column) {
    case kIntColumn: return bound == DBTYPE_I4 || bound == DBTYPE_WSTR;
    case kTextColumn: return bound == DBTYPE_WSTR;
    case kTimeColumn: return bound == DBTYPE_DBTIMESTAMP || bound == DBTYPE_WSTR;
    }
    return false;
}

struct Region
{
    DBBYTEOFFSET start;
    DBLENGTH size;
    const wchar_t* part;
    DBCOUNTITEM binding;
};

DBLENGTH ValueSize(const DBBINDING& b)
{
    switch (b.wType) {
    case DBTYPE_I4: return sizeof(LONG);
    case DBTYPE_DBTIMESTAMP: return sizeof(DBTIMESTAMP);
    default: return b.cbMaxLen;
    }
}

std::wstring Describe(const wchar_t* format, ...)
{
    wchar_t buf[512];
    va_list args;
    va_start(args, format);
    _vsnwprintf(buf, 511, format, args);
    va_end(args);
    buf[511] = 0;
    return buf;
}

} // namespace

AccessorImpl::AccessorImpl()
{
    InitializeCriticalSection(&m_lock);
}

AccessorImpl::~AccessorImpl()
{
    DeleteCriticalSection(&m_lock);
}

std::shared_ptr<const Accessor> AccessorImpl::FindAccessor(HACCESSOR handle)
{
    std::shared_ptr<const Accessor> found;
    EnterCriticalSection(&m_lock);
    auto it = m_accessors.find(handle);
    if (it != m_accessors.end())
        found = it->second;
    LeaveCriticalSection(&m_lock);
    return found;
}

STDMETHODIMP AccessorImpl::AddRefAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount)
{
    EnterCriticalSection(&m_lock);
    auto it = m_accessors.find(hAccessor);
    HRESULT hr = DB_E_BADACCESSORHANDLE;
    if (it != m_accessors.end()) {
        LONG refs = ++it->second->refs;
        if (pcRefCount)
            *pcRefCount = static_cast<DBREFCOUNT>(refs);
        hr = S_OK;
    }
    LeaveCriticalSection(&m_lock);
    return hr;
}

STDMETHODIMP AccessorImpl::ReleaseAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount)
{
    EnterCriticalSection(&m_lock);
    auto it = m_accessors.find(hAccessor);
    HRESULT hr = DB_E_BADACCESSORHANDLE;
    if (it != m_accessors.end()) {
        LONG left = --it->second->refs;
        if (pcRefCount)
            *pcRefCount = static_cast<DBREFCOUNT>(left);
        if (left == 0)
            m_accessors.erase(it);
        hr = S_OK;
    }
    LeaveCriticalSection(&m_lock);
    return hr;
}

STDMETHODIMP AccessorImpl::GetBindings(HACCESSOR hAccessor, DBACCESSORFLAGS* pdwAccessorFlags,
                                       DBCOUNTITEM* pcBindings, DBBINDING** prgBindings)
{
    if (!pdwAccessorFlags || !pcBindings || !prgBindings)
        return E_INVALIDARG;
    *pcBindings = 0;
    *prgBindings = NULL;
    std::shared_ptr<const Accessor> a = FindAccessor(hAccessor);
    if (!a)
        return DB_E_BADACCESSORHANDLE;
    *pdwAccessorFlags = a->flags;
    if (!a->bindings.empty()) {
        size_t bytes = a->bindings.size() * sizeof(DBBINDING);
        *prgBindings = static_cast<DBBINDING*>(CoTaskMemAlloc(bytes));
        if (!*prgBindings)
            return E_OUTOFMEMORY;
        memcpy(*prgBindings, a->bindings.data(), bytes);
    }
    *pcBindings = a->bindings.size();
    return S_OK;
}

STDMETHODIMP AccessorImpl::CreateAccessor(DBACCESSORFLAGS dwAccessorFlags, DBCOUNTITEM cBindings,
                                          const DBBINDING rgBindings[], DBLENGTH cbRowSize, HACCESSOR* phAccessor,
                                          DBBINDSTATUS rgStatus[])
{
    ClearErrors();
    if (!phAccessor)
        return E_INVALIDARG;
    *phAccessor = DB_NULL_HACCESSOR;
    if (cBindings && !rgBindings)
        return E_INVALIDARG;
    const std::vector<ColumnInfo>* columns = AccessorColumns();
    bool forRows = columns != NULL;
    if (dwAccessorFlags & DBACCESSOR_PASSBYREF)
        return DB_E_BYREFACCESSORNOTSUPPORTED;
    bool rowFlag = (dwAccessorFlags & DBACCESSOR_ROWDATA) != 0;
    bool paramFlag = (dwAccessorFlags & DBACCESSOR_PARAMETERDATA) != 0;
    if (forRows ? (!rowFlag || paramFlag) : (!paramFlag || rowFlag))
        return PostError(DB_E_BADACCESSORFLAGS, IID_IAccessor,
                         DriverError(L"HY000", forRows ? L"A rowset takes row accessors only."
                                                       : L"The test server takes parameter accessors only on a "
                                                         L"command; create row accessors on the rowset."),
                         ServerName());
    if (forRows && cBindings == 0)
        return DB_E_NULLACCESSORNOTSUPPORTED;

    std::vector<DBBINDSTATUS> status(cBindings, DBBINDSTATUS_OK);
    std::vector<Region> regions;
    std::wstring problem;
    for (DBCOUNTITEM i = 0; i < cBindings; ++i) {
        const DBBINDING& b = rgBindings[i];
        std::wstring why;
        if (forRows && (b.iOrdinal == 0 || b.iOrdinal > columns->size())) {
            status[i] = DBBINDSTATUS_BADORDINAL;
            why = L"there is no such column";
        } else if (!forRows && b.iOrdinal == 0) {
            status[i] = DBBINDSTATUS_BADORDINAL;
            why = L"parameters are numbered from 1";
        } else if (b.dwPart == 0 || (b.dwPart & ~kAllParts)) {
            status[i] = DBBINDSTATUS_BADBINDINFO;
            why = L"it binds no part, or an unknown one";
        } else if (!SupportedType(b.wType)) {
            status[i] = DBBINDSTATUS_UNSUPPORTEDCONVERSION;
            why = Describe(L"type %u is not one Folionex binds (I4, WSTR, DBTIMESTAMP)", b.wType);
        } else if (b.pObject || b.pBindExt) {
            status[i] = DBBINDSTATUS_BADBINDINFO;
            why = L"objects and binding extensions are not supported";
        } else if (!forRows && b.eParamIO != DBPARAMIO_INPUT) {
            status[i] = DBBINDSTATUS_BADBINDINFO;
            why = L"the test server takes input parameters only";
        } else if (forRows && !Converts((*columns)[b.iOrdinal - 1].type, b.wType)) {
            status[i] = DBBINDSTATUS_UNSUPPORTEDCONVERSION;
            why = L"the column does not convert to that type";
        } else {
            for (DBCOUNTITEM j = 0; j < i && why.empty(); ++j)
                if (rgBindings[j].iOrdinal == b.iOrdinal && !forRows) {
                    status[i] = DBBINDSTATUS_BADBINDINFO;
                    why = L"the parameter is bound twice";
                }
            // Overlapping parts would make one value overwrite another: on a
            // 64-bit build a length part takes 8 bytes.
            Region parts[3] = {{b.obValue, ValueSize(b), L"value", i},
                               {b.obLength, sizeof(DBLENGTH), L"length", i},
                               {b.obStatus, sizeof(DBSTATUS), L"status", i}};
            DBPART bits[3] = {DBPART_VALUE, DBPART_LENGTH, DBPART_STATUS};
            for (int k = 0; k < 3 && why.empty(); ++k) {
                if (!(b.dwPart & bits[k]))
                    continue;
                for (const Region& r : regions)
                    if (parts[k].start < r.start + r.size && r.start < parts[k].start + parts[k].size) {
                        status[i] = DBBINDSTATUS_BADBINDINFO;
                        why = Describe(L"its %ls part (offset %u, %u bytes) overlaps the %ls part of binding %u "
                                       L"(offset %u, %u bytes)",
                                       parts[k].part, static_cast<unsigned>(parts[k].start),
                                       static_cast<unsigned>(parts[k].size), r.part, static_cast<unsigned>(r.binding),
                                       static_cast<unsigned>(r.start), static_cast<unsigned>(r.size));
                        break;
                    }
                regions.push_back(parts[k]);
            }
        }
        if (!why.empty() && problem.empty())
            problem = Describe(L"Binding %u (ordinal %u): ", static_cast<unsigned>(i),
                               static_cast<unsigned>(b.iOrdinal)) + why + L".";
    }
    if (rgStatus)
        for (DBCOUNTITEM i = 0; i < cBindings; ++i)
            rgStatus[i] = status[i];
    if (!problem.empty())
        return PostError(DB_E_ERRORSOCCURRED, IID_IAccessor, DriverError(L"HY000", problem), ServerName());

    auto a = std::make_shared<Accessor>();
    a->flags = dwAccessorFlags;
    a->bindings.assign(rgBindings, rgBindings + cBindings);
    a->rowSize = cbRowSize;
    EnterCriticalSection(&m_lock);
    HACCESSOR handle = m_next++;
    m_accessors[handle] = a;
    LeaveCriticalSection(&m_lock);
    *phAccessor = handle;
    return S_OK;
}

} // namespace oledb_standin
