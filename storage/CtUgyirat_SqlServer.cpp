#include "storage/CtUgyirat_SqlServer.h"
#include "foundation/Log.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/OleDbSupport.h"
#include <vector>

const wchar_t CtUgyirat_SqlServer::kSelectSql[] =
    L"SELECT Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, Datum, CC, Hataridok FROM "
    L"dbo.tUgyirat";
const wchar_t CtUgyirat_SqlServer::kInsertSql[] =
    L"INSERT INTO tUgyirat       (Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, CC, Datum, "
    L"Hataridok)       VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
const wchar_t CtUgyirat_SqlServer::kUpdateSql[] =
    L"UPDATE tUgyirat SET Ev = ?, Nr = ?, Allapot = ?, UgyfelNeve = ?,       EllenfelNeve = ?, UgyJellege = ?, "
    L"Megjegyzes = ?, CC = ?, Hataridok = ? WHERE Ev * 65536 + Nr = ?";
const wchar_t CtUgyirat_SqlServer::kDeleteSql[] = L"DELETE FROM tUgyirat WHERE Ev = %d AND Nr = %d";

namespace {

// Bound sizes: the record's fields with their terminators.
const DBLENGTH kNameBytes = sizeof(((CUgyiratRecord*)0)->UgyfelNeve);
const DBLENGTH kCCBytes = sizeof(((CUgyiratRecord*)0)->CC);
const DBLENGTH kHataridokBytes = sizeof(((CUgyiratRecord*)0)->Hataridok);
const int kMaxBindings = 10;

CString ApplicationConnectionString()
{
    CConnectionManagerSqlServer* manager = CConnectionManagerSqlServer::GetApplicationManager();
    return manager ? manager->GetConnectionString() : CString();
}

template <size_t N>
DBLENGTH TextBytes(WCHAR (&field)[N])
{
    field[N - 1] = 0;
    return (DBLENGTH)(wcslen(field) * sizeof(WCHAR));
}

// After a fetch into a field bound with length and status: a NULL (or a
// value the provider could not give) is the empty text; a truncated text
// keeps what fits, terminated.
template <size_t N>
void FixText(WCHAR (&field)[N], DBSTATUS status)
{
    if (status != DBSTATUS_S_OK && status != DBSTATUS_S_TRUNCATED)
        ZeroMemory(field, sizeof(field));
    field[N - 1] = 0;
}

} // namespace

// ---------------------------------------------------------------------------
// The command objects: an accessor with its command, and for the select the
// rowset with the one row held at a time.

template <class TAccessor>
class CtUgyirat : public TAccessor, public COleDbCommandParts
{
public:
    CtUgyirat() {}
    ~CtUgyirat() override { Close(); }

    HRESULT CreateCommand(LPCWSTR sql) { return CreateOleDbCommand(this->m_pSession, sql, &m_pCommand); }

    // The accessor of the variant's bindings on the command (parameters) or
    // on the rowset (row data).
    HRESULT CreateAccessor(IUnknown* owner, DBACCESSORFLAGS flags)
    {
        HRESULT hr = owner->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&m_pAccessor));
        if (FAILED(hr)) {
            m_pAccessor = NULL;
            return hr;
        }
        DBBINDING bindings[kMaxBindings];
        int count = this->GetBindings(bindings);
        hr = m_pAccessor->CreateAccessor(flags, count, bindings, 0, &m_hAccessor, NULL);
        if (FAILED(hr))
            m_hAccessor = DB_NULL_HACCESSOR;
        return hr;
    }

    // Runs the command with the record buffer as its one parameter set.
    HRESULT ExecuteWithParameters()
    {
        DBPARAMS params;
        params.pData = this->Buffer();
        params.cParamSets = 1;
        params.hAccessor = m_hAccessor;
        DBROWCOUNT affected = 0;
        return m_pCommand->Execute(NULL, IID_NULL, &params, &affected, NULL);
    }

    HRESULT ExecuteForRowset()
    {
        COlePtr<IUnknown> rowset;
        HRESULT hr = m_pCommand->Execute(NULL, IID_IRowset, NULL, NULL, rowset.Out());
        if (FAILED(hr))
            return hr;
        if (!rowset)
            return S_OK;
        HRESULT qi = rowset->QueryInterface(IID_IRowset, reinterpret_cast<void**>(&m_pRowset));
        if (FAILED(qi)) {
            m_pRowset = NULL;
            return qi;
        }
        return hr;
    }

    void Close()
    {
        ReleaseAll();
        this->ReleaseSession();
    }
};

// ---------------------------------------------------------------------------
// Accessors

CtUgyiratAccessor::CtUgyiratAccessor()
    : m_pSession(NULL), m_dwCCStatus(DBSTATUS_S_OK), m_dwHataridokStatus(DBSTATUS_S_OK), m_nUgyfelNeveLength(0),
      m_nEllenfelNeveLength(0), m_nUgyJellegeLength(0), m_nMegjegyzesLength(0), m_nCCLength(0), m_nHataridokLength(0)
{
    ZeroRecord(m_Record);
}

CtUgyiratAccessor::~CtUgyiratAccessor()
{
    ReleaseSession();
}

DBBYTEOFFSET CtUgyiratAccessor::Offset(const void* member) const
{
    return OffsetIn(&m_Record, member);
}

void CtUgyiratAccessor::ReleaseSession()
{
    if (m_pSession) {
        m_pSession->Release();
        m_pSession = NULL;
    }
}

void CtUgyiratAccessor::SetRecord(const CUgyiratRecord& record)
{
    m_Record = record;
    m_nUgyfelNeveLength = TextBytes(m_Record.UgyfelNeve);
    m_nEllenfelNeveLength = TextBytes(m_Record.EllenfelNeve);
    m_nUgyJellegeLength = TextBytes(m_Record.UgyJellege);
    m_nMegjegyzesLength = TextBytes(m_Record.Megjegyzes);
    m_nCCLength = TextBytes(m_Record.CC);
    m_nHataridokLength = TextBytes(m_Record.Hataridok);
    m_dwCCStatus = m_nCCLength == 0 ? DBSTATUS_S_ISNULL : DBSTATUS_S_OK;
    m_dwHataridokStatus = m_nHataridokLength == 0 ? DBSTATUS_S_ISNULL : DBSTATUS_S_OK;
}

HRESULT CtUgyiratAccessor::OpenFromInitializationString(LPCWSTR connectionString)
{
    ReleaseSession();
    CString connection = connectionString ? CString(connectionString) : ApplicationConnectionString();
    HRESULT hr = E_UNEXPECTED;
    if (!connection.IsEmpty()) {
        OleDbOpenStep step;
        hr = OpenOleDbSession(connection, false, &m_pSession, &step);
    }
    if (FAILED(hr))
        LogFormat(L"CtUgyiratAccessor::OpenFromInitializationString error - %x - %s", (unsigned)hr,
                  (LPCWSTR)MaskConnectionPassword(connection));
    return hr;
}

CtUgyiratSelectAccessor::CtUgyiratSelectAccessor()
    : m_dwUgyfelNeveStatus(DBSTATUS_S_OK), m_dwEllenfelNeveStatus(DBSTATUS_S_OK), m_dwUgyJellegeStatus(DBSTATUS_S_OK),
      m_dwMegjegyzesStatus(DBSTATUS_S_OK)
{
}

int CtUgyiratSelectAccessor::GetBindings(DBBINDING* b)
{
    const DBPART text = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    const DBPARAMIO row = DBPARAMIO_NOTPARAM;
    CUgyiratRecord& r = m_Record;
    b[0] = MakeBinding(1, DBTYPE_I4, 4, Offset(&r.Ev), DBPART_VALUE, 0, 0, row);
    b[1] = MakeBinding(2, DBTYPE_I4, 4, Offset(&r.Nr), DBPART_VALUE, 0, 0, row);
    b[2] = MakeBinding(3, DBTYPE_I4, 4, Offset(&r.Allapot), DBPART_VALUE, 0, 0, row);
    b[3] = MakeBinding(4, DBTYPE_WSTR, kNameBytes, Offset(r.UgyfelNeve), text, Offset(&m_nUgyfelNeveLength),
                       Offset(&m_dwUgyfelNeveStatus), row);
    b[4] = MakeBinding(5, DBTYPE_WSTR, kNameBytes, Offset(r.EllenfelNeve), text, Offset(&m_nEllenfelNeveLength),
                       Offset(&m_dwEllenfelNeveStatus), row);
    b[5] = MakeBinding(6, DBTYPE_WSTR, kNameBytes, Offset(r.UgyJellege), text, Offset(&m_nUgyJellegeLength),
                       Offset(&m_dwUgyJellegeStatus), row);
    b[6] = MakeBinding(7, DBTYPE_WSTR, kNameBytes, Offset(r.Megjegyzes), text, Offset(&m_nMegjegyzesLength),
                       Offset(&m_dwMegjegyzesStatus), row);
    b[7] = MakeBinding(8, DBTYPE_DBTIMESTAMP, sizeof(DBTIMESTAMP), Offset(&r.Datum), DBPART_VALUE, 0, 0, row);
    b[8] = MakeBinding(9, DBTYPE_WSTR, kCCBytes, Offset(r.CC), text, Offset(&m_nCCLength), Offset(&m_dwCCStatus),
                       row);
    b[9] = MakeBinding(10, DBTYPE_WSTR, kHataridokBytes, Offset(r.Hataridok), text, Offset(&m_nHataridokLength),
                       Offset(&m_dwHataridokStatus), row);
    return 10;
}

void CtUgyiratSelectAccessor::ClearBuffer()
{
    m_Record.Ev = 0;
    m_Record.Nr = 0;
    m_Record.Allapot = 0;
    ZeroMemory(m_Record.UgyfelNeve, sizeof(m_Record.UgyfelNeve));
    ZeroMemory(m_Record.EllenfelNeve, sizeof(m_Record.EllenfelNeve));
    ZeroMemory(m_Record.UgyJellege, sizeof(m_Record.UgyJellege));
    ZeroMemory(m_Record.Megjegyzes, sizeof(m_Record.Megjegyzes));
    ZeroMemory(m_Record.CC, sizeof(m_Record.CC));
    ZeroMemory(m_Record.Hataridok, sizeof(m_Record.Hataridok));
    ZeroMemory(&m_Record.Datum, sizeof(m_Record.Datum));
    m_dwUgyfelNeveStatus = m_dwEllenfelNeveStatus = m_dwUgyJellegeStatus = m_dwMegjegyzesStatus = DBSTATUS_S_OK;
    m_dwCCStatus = m_dwHataridokStatus = DBSTATUS_S_OK;
    m_nUgyfelNeveLength = m_nEllenfelNeveLength = m_nUgyJellegeLength = m_nMegjegyzesLength = 0;
    m_nCCLength = m_nHataridokLength = 0;
}

void CtUgyiratSelectAccessor::FixTexts()
{
    FixText(m_Record.UgyfelNeve, m_dwUgyfelNeveStatus);
    FixText(m_Record.EllenfelNeve, m_dwEllenfelNeveStatus);
    FixText(m_Record.UgyJellege, m_dwUgyJellegeStatus);
    FixText(m_Record.Megjegyzes, m_dwMegjegyzesStatus);
    FixText(m_Record.CC, m_dwCCStatus);
    FixText(m_Record.Hataridok, m_dwHataridokStatus);
}

// Parameters 1 to 7 of the insert and the update.
static void BindCommonParameters(CtUgyiratAccessor& a, DBBINDING* b)
{
    const DBPART text = DBPART_VALUE | DBPART_LENGTH;
    const DBPARAMIO in = DBPARAMIO_INPUT;
    CUgyiratRecord& r = a.m_Record;
    b[0] = MakeBinding(1, DBTYPE_I4, 4, a.Offset(&r.Ev), DBPART_VALUE, 0, 0, in);
    b[1] = MakeBinding(2, DBTYPE_I4, 4, a.Offset(&r.Nr), DBPART_VALUE, 0, 0, in);
    b[2] = MakeBinding(3, DBTYPE_I4, 4, a.Offset(&r.Allapot), DBPART_VALUE, 0, 0, in);
    b[3] = MakeBinding(4, DBTYPE_WSTR, kNameBytes, a.Offset(r.UgyfelNeve), text, a.Offset(&a.m_nUgyfelNeveLength), 0,
                       in);
    b[4] = MakeBinding(5, DBTYPE_WSTR, kNameBytes, a.Offset(r.EllenfelNeve), text,
                       a.Offset(&a.m_nEllenfelNeveLength), 0, in);
    b[5] = MakeBinding(6, DBTYPE_WSTR, kNameBytes, a.Offset(r.UgyJellege), text, a.Offset(&a.m_nUgyJellegeLength), 0,
                       in);
    b[6] = MakeBinding(7, DBTYPE_WSTR, kNameBytes, a.Offset(r.Megjegyzes), text, a.Offset(&a.m_nMegjegyzesLength), 0,
                       in);
}

int CtUgyiratInsertAccessor::GetBindings(DBBINDING* b)
{
    const DBPART nullable = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    const DBPARAMIO in = DBPARAMIO_INPUT;
    CUgyiratRecord& r = m_Record;
    BindCommonParameters(*this, b);
    b[7] = MakeBinding(8, DBTYPE_WSTR, kCCBytes, Offset(r.CC), nullable, Offset(&m_nCCLength), Offset(&m_dwCCStatus),
                       in);
    b[8] = MakeBinding(9, DBTYPE_DBTIMESTAMP, sizeof(DBTIMESTAMP), Offset(&r.Datum), DBPART_VALUE, 0, 0, in);
    b[9] = MakeBinding(10, DBTYPE_WSTR, kHataridokBytes, Offset(r.Hataridok), nullable, Offset(&m_nHataridokLength),
                       Offset(&m_dwHataridokStatus), in);
    return 10;
}

int CtUgyiratUpdateAccessor::GetBindings(DBBINDING* b)
{
    const DBPART nullable = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    const DBPARAMIO in = DBPARAMIO_INPUT;
    CUgyiratRecord& r = m_Record;
    BindCommonParameters(*this, b);
    b[7] = MakeBinding(8, DBTYPE_WSTR, kCCBytes, Offset(r.CC), nullable, Offset(&m_nCCLength), Offset(&m_dwCCStatus),
                       in);
    b[8] = MakeBinding(9, DBTYPE_WSTR, kHataridokBytes, Offset(r.Hataridok), nullable, Offset(&m_nHataridokLength),
                       Offset(&m_dwHataridokStatus), in);
    b[9] = MakeBinding(10, DBTYPE_I4, 4, Offset(&m_nOldKey), DBPART_VALUE, 0, 0, in);
    return 10;
}

// ---------------------------------------------------------------------------
// Statements of their own

namespace {

// A session on the connection string for statements of their own; false
// (logged when the opening failed) without one.
bool OpenStatementSession(const CString& connection, COlePtr<IOpenRowset>& session)
{
    OleDbOpenStep step;
    HRESULT hr = connection.IsEmpty() ? E_UNEXPECTED : OpenOleDbSession(connection, true, session.Out(), &step);
    if (hr != S_OK) {
        if (FAILED(hr))
            LogFormat(L"OpenFromInitializationString error - %x - %s", (unsigned)hr,
                      (LPCWSTR)MaskConnectionPassword(connection));
        return false;
    }
    return true;
}

bool ExecuteOnSession(IOpenRowset* session, LPCWSTR sql)
{
    COlePtr<ICommandText> command;
    HRESULT hr = CreateOleDbCommand(session, sql, command.Out());
    if (FAILED(hr))
        return false;
    hr = command->Execute(NULL, IID_NULL, NULL, NULL, NULL);
    return hr == S_OK;
}

} // namespace

bool ExecuteNonQueryOn(LPCWSTR connectionString, LPCWSTR sql)
{
    COlePtr<IOpenRowset> session;
    if (!OpenStatementSession(CString(connectionString), session))
        return false;
    return ExecuteOnSession(session.Get(), sql);
}

bool ExecuteNonQuery(LPCWSTR sql)
{
    return ExecuteNonQueryOn(ApplicationConnectionString(), sql);
}

// ---------------------------------------------------------------------------
// The table

CtUgyirat_SqlServer::CtUgyirat_SqlServer()
    : m_pSelect(NULL), m_pTransaction(NULL), m_hasConnection(false), m_readFailed(false)
{
}

CtUgyirat_SqlServer::CtUgyirat_SqlServer(LPCWSTR connectionString)
    : m_pSelect(NULL), m_pTransaction(NULL), m_connection(connectionString), m_hasConnection(true),
      m_readFailed(false)
{
}

CtUgyirat_SqlServer::~CtUgyirat_SqlServer()
{
    if (m_pTransaction) {
        LogLine(L"CtUgyirat_SqlServer - a transaction left open is rolled back");
        RollbackTransaction();
    }
    delete m_pSelect;
}

bool CtUgyirat_SqlServer::BeginTransaction()
{
    if (m_pTransaction)
        return false;
    COlePtr<IOpenRowset> session;
    if (!OpenStatementSession(m_hasConnection ? m_connection : ApplicationConnectionString(), session))
        return false;
    if (!ExecuteOnSession(session.Get(), L"BEGIN TRANSACTION")) {
        LogLine(L"CtUgyirat_SqlServer - BEGIN TRANSACTION failed");
        return false;
    }
    m_pTransaction = session.Detach();
    return true;
}

bool CtUgyirat_SqlServer::EndTransaction(LPCWSTR sql)
{
    if (!m_pTransaction)
        return false;
    bool ok = ExecuteOnSession(m_pTransaction, sql);
    if (!ok)
        LogFormat(L"CtUgyirat_SqlServer - %s failed", sql);
    // Without the session the server ends a transaction still open by
    // rolling it back.
    m_pTransaction->Release();
    m_pTransaction = NULL;
    return ok;
}

bool CtUgyirat_SqlServer::CommitTransaction()
{
    return EndTransaction(L"COMMIT TRANSACTION");
}

bool CtUgyirat_SqlServer::RollbackTransaction()
{
    return EndTransaction(L"ROLLBACK TRANSACTION");
}

bool CtUgyirat_SqlServer::SetConnection(CConnectionManager*)
{
    return true;
}

bool CtUgyirat_SqlServer::OpenSelect()
{
    delete m_pSelect;
    m_pSelect = new CtUgyirat<CtUgyiratSelectAccessor>;
    m_readFailed = false;
    if (m_pSelect->OpenFromInitializationString(Connection()) != S_OK)
        return false;
    HRESULT hr = m_pSelect->CreateCommand(kSelectSql);
    if (SUCCEEDED(hr))
        hr = m_pSelect->ExecuteForRowset();
    if (FAILED(hr) || !m_pSelect->m_pRowset)
        return false;
    if (FAILED(m_pSelect->m_pRowset->QueryInterface(IID_IRowsetChange,
                                                    reinterpret_cast<void**>(&m_pSelect->m_pRowsetChange))))
        m_pSelect->m_pRowsetChange = NULL;
    return SUCCEEDED(m_pSelect->CreateAccessor(m_pSelect->m_pRowset, DBACCESSOR_ROWDATA));
}

bool CtUgyirat_SqlServer::MoveNext()
{
    CtUgyirat<CtUgyiratSelectAccessor>* s = m_pSelect;
    if (!s || !s->m_pRowset || !s->m_hAccessor) {
        m_readFailed = true;
        return false;
    }
    s->ClearBuffer();
    s->ReleaseRow();
    DBCOUNTITEM obtained = 0;
    HROW* rows = &s->m_hRow;
    HRESULT hr = s->m_pRowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &rows);
    if (obtained == 0 && hr == DB_S_ENDOFROWSET)
        return false;
    if (FAILED(hr) || obtained != 1) {
        LogFormat(L"CtUgyirat_SqlServer::MoveNext GetNextRows error - %x", (unsigned)hr);
        m_readFailed = true;
        return false;
    }
    s->m_bHasRow = true;
    hr = s->m_pRowset->GetData(s->m_hRow, s->m_hAccessor, s->Buffer());
    if (hr != S_OK) {
        LogFormat(L"CtUgyirat_SqlServer::MoveNext GetData error - %x", (unsigned)hr);
        s->ReleaseRow();
        s->ClearBuffer();
        m_readFailed = true;
        return false;
    }
    s->FixTexts();
    return true;
}

bool CtUgyirat_SqlServer::GetRecord(CUgyiratRecord& record)
{
    if (!m_pSelect)
        return false;
    record = m_pSelect->m_Record;
    return true;
}

void CtUgyirat_SqlServer::Close()
{
    if (!m_pSelect)
        return;
    if (m_pSelect->m_pRowset)
        m_pSelect->ClearBuffer();
    m_pSelect->Close();
    delete m_pSelect;
    m_pSelect = NULL;
}

template <class TAccessor>
bool CtUgyirat_SqlServer::ExecuteWithRecord(CtUgyirat<TAccessor>& command, LPCWSTR sql)
{
    if (m_pTransaction) {
        command.ReleaseSession();
        m_pTransaction->AddRef();
        command.m_pSession = m_pTransaction;
    } else if (command.OpenFromInitializationString(Connection()) != S_OK) {
        return false;
    }
    if (FAILED(command.CreateCommand(sql)))
        return false;
    if (FAILED(command.CreateAccessor(command.m_pCommand, DBACCESSOR_PARAMETERDATA)))
        return false;
    return command.ExecuteWithParameters() == S_OK;
}

bool CtUgyirat_SqlServer::Insert(const CUgyiratRecord& record)
{
    CtUgyirat<CtUgyiratInsertAccessor> command;
    command.SetRecord(record);
    return ExecuteWithRecord(command, kInsertSql);
}

bool CtUgyirat_SqlServer::Update(const CUgyiratRecord& record, int oldKey)
{
    CtUgyirat<CtUgyiratUpdateAccessor> command;
    command.SetRecord(record);
    command.m_nOldKey = oldKey;
    return ExecuteWithRecord(command, kUpdateSql);
}

bool CtUgyirat_SqlServer::Delete(const CUgyiratRecord& record)
{
    CString sql;
    sql.Format(kDeleteSql, record.Ev, record.Nr);
    return Exec(sql);
}

bool CtUgyirat_SqlServer::Exec(LPCWSTR sql)
{
    if (m_pTransaction)
        return ExecuteOnSession(m_pTransaction, sql);
    return ExecuteNonQueryOn(m_hasConnection ? (LPCWSTR)m_connection : (LPCWSTR)ApplicationConnectionString(), sql);
}

bool CtUgyirat_SqlServer::QueryScalar(LPCWSTR sql, CString& result)
{
    CString connection = m_hasConnection ? m_connection : ApplicationConnectionString();
    COlePtr<IOpenRowset> session;
    OleDbOpenStep step = kOpenCreateInitializer;
    HRESULT hr = connection.IsEmpty() ? E_UNEXPECTED : OpenOleDbSession(connection, true, session.Out(), &step);
    if (hr != S_OK) {
        if (FAILED(hr) && step <= kOpenInitialize)
            LogFormat(L"OpenFromInitializationString error - %x - %s", (unsigned)hr,
                      (LPCWSTR)MaskConnectionPassword(connection));
        return false;
    }

    COlePtr<ICommandText> command;
    COlePtr<IUnknown> unknown;
    COlePtr<IRowset> rowset;
    COlePtr<IColumnsInfo> columns;
    COlePtr<IAccessor> accessor;
    hr = CreateOleDbCommand(session.Get(), sql, command.Out());
    if (SUCCEEDED(hr))
        hr = command->Execute(NULL, IID_IRowset, NULL, NULL, unknown.Out());
    if (SUCCEEDED(hr))
        hr = unknown ? unknown->QueryInterface(IID_IRowset, rowset.OutVoid()) : E_NOINTERFACE;
    if (SUCCEEDED(hr))
        hr = rowset->QueryInterface(IID_IColumnsInfo, columns.OutVoid());
    DBORDINAL count = 0;
    DBCOLUMNINFO* info = NULL;
    OLECHAR* names = NULL;
    if (SUCCEEDED(hr))
        hr = columns->GetColumnInfo(&count, &info, &names);
    if (SUCCEEDED(hr))
        hr = rowset->QueryInterface(IID_IAccessor, accessor.OutVoid());

    // Every result column as a text of at most 8000 characters, with its
    // length and status (a NULL reads as the empty text).
    struct Cell
    {
        WCHAR text[8001];
        DBLENGTH length;
        DBSTATUS status;
    };
    std::vector<Cell> cells;
    std::vector<DBBINDING> bindings;
    int first = -1;
    HACCESSOR handle = DB_NULL_HACCESSOR;
    if (SUCCEEDED(hr)) {
        for (DBORDINAL i = 0; i < count; ++i) {
            if (info[i].iOrdinal == 0)
                continue; // the bookmark
            if (info[i].iOrdinal == 1)
                first = (int)bindings.size();
            bindings.push_back(MakeBinding(info[i].iOrdinal, DBTYPE_WSTR, sizeof(Cell::text), 0,
                                           DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS, 0, 0, DBPARAMIO_NOTPARAM));
        }
        cells.resize(bindings.size());
        for (size_t i = 0; i < bindings.size(); ++i) {
            DBBYTEOFFSET base = (DBBYTEOFFSET)(i * sizeof(Cell));
            bindings[i].obValue = base + offsetof(Cell, text);
            bindings[i].obLength = base + offsetof(Cell, length);
            bindings[i].obStatus = base + offsetof(Cell, status);
        }
        if (!bindings.empty())
            hr = accessor->CreateAccessor(DBACCESSOR_ROWDATA, bindings.size(), bindings.data(), sizeof(Cell), &handle,
                                          NULL);
    }
    if (info)
        CoTaskMemFree(info);
    if (names)
        CoTaskMemFree(names);
    if (FAILED(hr)) {
        LogFormat(L"OpenFromInitializationString error - %x - %s", (unsigned)hr,
                  (LPCWSTR)MaskConnectionPassword(connection));
        return false;
    }
    if (bindings.empty())
        return false;

    bool found = false;
    HROW row = 0;
    HROW* rows = &row;
    DBCOUNTITEM obtained = 0;
    hr = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &rows);
    if (SUCCEEDED(hr) && obtained == 1) {
        ZeroMemory(cells.data(), cells.size() * sizeof(Cell));
        hr = rowset->GetData(row, handle, cells.data());
        if (hr == S_OK) {
            result.Empty();
            if (first >= 0) {
                Cell& c = cells[first];
                c.text[_countof(c.text) - 1] = 0;
                if (c.status == DBSTATUS_S_OK || c.status == DBSTATUS_S_TRUNCATED)
                    result = c.text;
            }
            found = true;
        }
        rowset->ReleaseRows(1, &row, NULL, NULL, NULL);
    }
    accessor->ReleaseAccessor(handle, NULL);
    return found;
}

bool CtUgyirat_SqlServer::CheckStructure()
{
    CConnectionManagerSqlServer manager;
    manager.LoadSettings();
    return manager.IsDBStructCurrent();
}
