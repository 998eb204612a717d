#include <oledberr.h>
#include <cstdio>
#include "ProviderObjects.h"

namespace oledb_standin {

namespace {

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

// The command text for the trace: one line, line feeds shown as \n.
std::wstring OneLine(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\n')
            out += L"\\n";
        else if (c == L'\r')
            out += L"\\r";
        else
            out += c;
    }
    return out;
}

template <class T> T ReadAt(const BYTE* data, DBBYTEOFFSET offset)
{
    T value;
    memcpy(&value, data + offset, sizeof(T));
    return value;
}

template <class T> void WriteAt(BYTE* data, DBBYTEOFFSET offset, T value)
{
    memcpy(data + offset, &value, sizeof(T));
}

} // namespace

Command::Command(Session* session) : m_session(session)
{
    m_session->AddRef();
}

Command::~Command()
{
    m_session->Release();
}

void* Command::FindInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_ICommand || riid == IID_ICommandText)
        return static_cast<ICommandText*>(this);
    if (riid == IID_ICommandWithParameters)
        return static_cast<ICommandWithParameters*>(this);
    if (riid == IID_IAccessor)
        return static_cast<IAccessor*>(this);
    if (riid == IID_ISupportErrorInfo)
        return static_cast<ISupportErrorInfo*>(this);
    return NULL;
}

std::wstring Command::ServerName()
{
    return m_session->Connection()->Info().server;
}

STDMETHODIMP Command::Cancel()
{
    return S_OK;
}

STDMETHODIMP Command::GetDBSession(REFIID riid, IUnknown** ppSession)
{
    if (!ppSession)
        return E_INVALIDARG;
    return m_session->QueryInterface(riid, reinterpret_cast<void**>(ppSession));
}

STDMETHODIMP Command::GetCommandText(GUID* pguidDialect, LPOLESTR* ppwszCommand)
{
    if (!ppwszCommand)
        return E_INVALIDARG;
    *ppwszCommand = NULL;
    if (!m_hasText) {
        if (pguidDialect)
            *pguidDialect = GUID_NULL;
        return DB_E_NOCOMMAND;
    }
    if (pguidDialect)
        *pguidDialect = m_dialect;
    *ppwszCommand = TaskString(m_text.c_str());
    return *ppwszCommand ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP Command::SetCommandText(REFGUID rguidDialect, LPCOLESTR pwszCommand)
{
    ClearErrors();
    if (rguidDialect != DBGUID_DEFAULT && rguidDialect != DBGUID_SQL)
        return DB_E_DIALECTNOTSUPPORTED;
    m_declared.clear();
    if (!pwszCommand || !*pwszCommand) {
        m_hasText = false;
        m_text.clear();
        return S_OK;
    }
    m_hasText = true;
    m_text = pwszCommand;
    m_dialect = rguidDialect;
    return S_OK;
}

HRESULT Command::ReadParameters(DBPARAMS* params, size_t expected, std::vector<ParamValue>* values,
                                ErrorList* errors)
{
    values->clear();
    std::shared_ptr<const Accessor> accessor = params ? FindAccessor(params->hAccessor) : nullptr;
    if (expected == 0) {
        if (accessor && !accessor->bindings.empty()) {
            errors->push_back(
                DriverError(L"07002", L"Parameters were given for a statement without parameter markers."));
            return DB_E_ERRORSOCCURRED;
        }
        return S_OK;
    }
    if (!params) {
        errors->push_back(DriverError(L"07002", L"No value given for one or more required parameters."));
        return DB_E_PARAMNOTOPTIONAL;
    }
    if (params->cParamSets == 0 || !params->pData)
        return E_INVALIDARG;
    if (!accessor)
        return DB_E_BADACCESSORHANDLE;
    const Accessor& a = *accessor;
    if (!(a.flags & DBACCESSOR_PARAMETERDATA))
        return DB_E_BADACCESSORTYPE;
    if (params->cParamSets != 1) {
        errors->push_back(DriverError(L"HY000", L"The test server takes one parameter set at a time."));
        return DB_E_ERRORSOCCURRED;
    }
    BYTE* data = static_cast<BYTE*>(params->pData);
    std::vector<const DBBINDING*> byOrdinal(expected + 1, NULL);
    for (const DBBINDING& b : a.bindings) {
        if (b.iOrdinal > expected) {
            errors->push_back(DriverError(
                L"07009", Describe(L"Parameter %u is bound, but the statement has %u parameter markers.",
                                   static_cast<unsigned>(b.iOrdinal), static_cast<unsigned>(expected))));
            return DB_E_BADORDINAL;
        }
        byOrdinal[b.iOrdinal] = &b;
    }
    for (size_t i = 1; i <= expected; ++i)
        if (!byOrdinal[i]) {
            errors->push_back(ServerError(
                8178, 16, L"42000",
                Describe(L"The parameterized query expects the parameter '@P%u', which was not supplied.",
                         static_cast<unsigned>(i))));
            return DB_E_PARAMNOTOPTIONAL;
        }
    for (size_t i = 1; i <= expected; ++i) {
        const DBBINDING& b = *byOrdinal[i];
        ParamValue p;
        p.type = b.wType;
        DBSTATUS status = DBSTATUS_S_OK;
        if (b.dwPart & DBPART_STATUS)
            status = ReadAt<DBSTATUS>(data, b.obStatus);
        std::wstring problem;
        DBSTATUS failed = DBSTATUS_S_OK;
        if (status == DBSTATUS_S_ISNULL) {
            p.value.kind = Value::kNull;
        } else if (status != DBSTATUS_S_OK) {
            failed = DBSTATUS_E_BADSTATUS;
            problem = Describe(L"its status is %lu; only DBSTATUS_S_OK and DBSTATUS_S_ISNULL are taken",
                               static_cast<unsigned long>(status));
        } else if (!(b.dwPart & DBPART_VALUE)) {
            failed = DBSTATUS_E_UNAVAILABLE;
            problem = L"its value is not bound";
        } else if (b.wType == DBTYPE_I4) {
            p.value.kind = Value::kInt;
            p.value.i = ReadAt<LONG>(data, b.obValue);
        } else if (b.wType == DBTYPE_DBTIMESTAMP) {
            p.value.kind = Value::kTime;
            p.value.ts = ReadAt<DBTIMESTAMP>(data, b.obValue);
            if (!IsValidTimestamp(p.value.ts)) {
                errors->push_back(DriverError(L"22007", L"Invalid date format"));
                if (b.dwPart & DBPART_STATUS)
                    WriteAt<DBSTATUS>(data, b.obStatus, DBSTATUS_E_CANTCONVERTVALUE);
                return DB_E_ERRORSOCCURRED;
            }
        } else {
            const wchar_t* text = reinterpret_cast<const wchar_t*>(data + b.obValue);
            p.value.kind = Value::kText;
            if (b.dwPart & DBPART_LENGTH) {
                DBLENGTH length = ReadAt<DBLENGTH>(data, b.obLength);
                if (length % sizeof(wchar_t) || (b.cbMaxLen && length > b.cbMaxLen)) {
                    failed = DBSTATUS_E_CANTCONVERTVALUE;
                    problem = Describe(L"its length %I64u does not fit its binding of %u bytes",
                                       static_cast<unsigned long long>(length), static_cast<unsigned>(b.cbMaxLen));
                } else {
                    p.value.s.assign(text, length / sizeof(wchar_t));
                }
            } else {
                size_t room = b.cbMaxLen ? b.cbMaxLen / sizeof(wchar_t) : static_cast<size_t>(-1);
                size_t n = 0;
                while (n < room && text[n])
                    ++n;
                if (n == room) {
                    failed = DBSTATUS_E_CANTCONVERTVALUE;
                    problem = L"its text has no terminator within the bound size";
                } else {
                    p.value.s.assign(text, n);
                }
            }
        }
        if (!problem.empty()) {
            if (b.dwPart & DBPART_STATUS)
                WriteAt<DBSTATUS>(data, b.obStatus, failed);
            std::wstring text = Describe(L"Parameter %u: ", static_cast<unsigned>(i)) + problem + L".";
            errors->push_back(DriverError(L"HY000", text));
            return DB_E_ERRORSOCCURRED;
        }
        values->push_back(p);
    }
    return S_OK;
}

STDMETHODIMP Command::Execute(IUnknown* pUnkOuter, REFIID riid, DBPARAMS* pParams, DBROWCOUNT* pcRowsAffected,
                              IUnknown** ppRowset)
{
    ClearErrors();
    if (ppRowset)
        *ppRowset = NULL;
    if (pcRowsAffected)
        *pcRowsAffected = DB_COUNTUNAVAILABLE;
    if (pUnkOuter)
        return DB_E_NOAGGREGATION;
    const std::shared_ptr<ServerConnection>& connection = m_session->Connection();
    const std::wstring& server = connection->Info().server;
    const std::wstring& folder = connection->Info().folder;
    std::wstring where = L"exec [" + connection->Info().database.name + L"] ";
    if (!m_hasText)
        return PostError(DB_E_NOCOMMAND, IID_ICommand, DriverError(L"42000", L"No command text was set."), server);
    if (m_session->HasOpenRowset()) {
        AppendTrace(folder, where + OneLine(m_text) + L" -> refused: a rowset of the session is still open");
        return PostError(DB_E_OBJECTOPEN, IID_ICommand,
                         DriverError(L"HY000", L"Connection is busy with results for another command"), server);
    }

    bool down = false;
    FailurePlan plan;
    ReadStatementControl(folder, server, m_text, &down, &plan);
    if (down) {
        AppendTrace(folder, where + OneLine(m_text) + L" -> server down");
        return PostErrors(E_FAIL, IID_ICommand, LinkFailure(), server);
    }
    Statement statement;
    if (!Recognize(m_text, &statement)) {
        AppendTrace(folder, where + OneLine(m_text) + L" -> refused: unknown statement");
        return PostError(DB_E_ERRORSINCOMMAND, IID_ICommand,
                         ServerError(102, 15, L"42000",
                                     L"Incorrect syntax: the test server does not know the statement \"" + m_text +
                                         L"\"."),
                         server);
    }
    if (plan.phase == FailurePlan::kAtExecute) {
        AppendTrace(folder, where + OneLine(m_text) + L" -> failed as the control file asks");
        return PostErrors(plan.hr, IID_ICommand, plan.errors, server);
    }
    ErrorList errors;
    std::vector<ParamValue> values;
    HRESULT hr = ReadParameters(pParams, statement.parameters, &values, &errors);
    std::shared_ptr<ResultSet> rows = std::make_shared<ResultSet>();
    bool hasRows = false;
    DBROWCOUNT affected = -1;
    if (SUCCEEDED(hr))
        hr = connection->Execute(statement, values, rows.get(), &hasRows, &affected, &errors);
    wchar_t code[16];
    swprintf(code, 16, L"0x%08lx", static_cast<unsigned long>(hr));
    AppendTrace(folder, where + OneLine(m_text) + L" -> " + code);
    if (FAILED(hr))
        return errors.empty() ? hr : PostErrors(hr, IID_ICommand, errors, server);
    if (pcRowsAffected && !hasRows)
        *pcRowsAffected = affected;
    if (hasRows && ppRowset && riid != IID_NULL) {
        Rowset* rowset = new Rowset(this, rows, plan, server);
        hr = rowset->QueryInterface(riid, reinterpret_cast<void**>(ppRowset));
        rowset->Release();
        return hr;
    }
    return S_OK;
}

STDMETHODIMP Command::GetParameterInfo(DB_UPARAMS* pcParams, DBPARAMINFO** prgParamInfo, OLECHAR** ppNamesBuffer)
{
    ClearErrors();
    if (!pcParams || !prgParamInfo)
        return E_INVALIDARG;
    *pcParams = 0;
    *prgParamInfo = NULL;
    if (ppNamesBuffer)
        *ppNamesBuffer = NULL;
    if (!m_hasText)
        return DB_E_NOCOMMAND;
    std::vector<DBPARAMINFO> infos = m_declared;
    std::vector<std::wstring> names;
    if (infos.empty()) {
        Statement statement;
        if (!Recognize(m_text, &statement))
            return DB_E_PARAMUNAVAILABLE;
        for (const ParamDescription& d : DescribeParameters(statement)) {
            DBPARAMINFO info = {};
            info.dwFlags = DBPARAMFLAGS_ISINPUT | DBPARAMFLAGS_ISNULLABLE;
            info.iOrdinal = infos.size() + 1;
            info.ulParamSize = d.size;
            info.wType = d.type;
            info.bPrecision = d.type == DBTYPE_I4 ? 10 : d.type == DBTYPE_DBTIMESTAMP ? 23 : static_cast<BYTE>(~0);
            info.bScale = d.type == DBTYPE_DBTIMESTAMP ? 3 : static_cast<BYTE>(~0);
            infos.push_back(info);
            names.push_back(d.name);
        }
    }
    if (infos.empty())
        return S_OK;
    size_t chars = 0;
    for (const std::wstring& n : names)
        chars += n.size() + 1;
    DBPARAMINFO* array = static_cast<DBPARAMINFO*>(CoTaskMemAlloc(infos.size() * sizeof(DBPARAMINFO)));
    OLECHAR* buffer = chars && ppNamesBuffer ? static_cast<OLECHAR*>(CoTaskMemAlloc(chars * sizeof(OLECHAR))) : NULL;
    if (!array || (chars && ppNamesBuffer && !buffer)) {
        CoTaskMemFree(array);
        CoTaskMemFree(buffer);
        return E_OUTOFMEMORY;
    }
    OLECHAR* p = buffer;
    for (size_t i = 0; i < infos.size(); ++i) {
        array[i] = infos[i];
        array[i].pwszName = NULL;
        if (p && i < names.size()) {
            memcpy(p, names[i].c_str(), (names[i].size() + 1) * sizeof(OLECHAR));
            array[i].pwszName = p;
            p += names[i].size() + 1;
        }
    }
    *pcParams = infos.size();
    *prgParamInfo = array;
    if (ppNamesBuffer)
        *ppNamesBuffer = buffer;
    return S_OK;
}

STDMETHODIMP Command::MapParameterNames(DB_UPARAMS cParamNames, LPCWSTR[], DB_LPARAMS rgParamOrdinals[])
{
    if (cParamNames && !rgParamOrdinals)
        return E_INVALIDARG;
    for (DB_UPARAMS i = 0; i < cParamNames; ++i)
        rgParamOrdinals[i] = 0;
    return cParamNames ? DB_E_ERRORSOCCURRED : S_OK;
}

STDMETHODIMP Command::SetParameterInfo(DB_UPARAMS cParams, const DB_UPARAMS rgParamOrdinals[],
                                       const DBPARAMBINDINFO rgParamBindInfo[])
{
    ClearErrors();
    if (cParams && !rgParamOrdinals)
        return E_INVALIDARG;
    m_declared.clear();
    if (!rgParamBindInfo)
        return S_OK; // the declared information is discarded
    for (DB_UPARAMS i = 0; i < cParams; ++i) {
        const DBPARAMBINDINFO& b = rgParamBindInfo[i];
        DBPARAMINFO info = {};
        info.dwFlags = b.dwFlags;
        info.iOrdinal = rgParamOrdinals[i];
        info.ulParamSize = b.ulParamSize;
        std::wstring type = b.pwszDataSourceType ? b.pwszDataSourceType : L"";
        info.wType = _wcsicmp(type.c_str(), L"DBTYPE_I4") == 0 || _wcsicmp(type.c_str(), L"int") == 0 ? DBTYPE_I4
                     : _wcsicmp(type.c_str(), L"DBTYPE_DBTIMESTAMP") == 0 || _wcsicmp(type.c_str(), L"datetime") == 0
                         ? DBTYPE_DBTIMESTAMP
                         : DBTYPE_WSTR;
        info.bPrecision = b.bPrecision;
        info.bScale = b.bScale;
        m_declared.push_back(info);
    }
    return S_OK;
}

STDMETHODIMP Command::InterfaceSupportsErrorInfo(REFIID riid)
{
    return riid == IID_ICommand || riid == IID_ICommandText || riid == IID_IAccessor ||
                   riid == IID_ICommandWithParameters
               ? S_OK
               : S_FALSE;
}

} // namespace oledb_standin
