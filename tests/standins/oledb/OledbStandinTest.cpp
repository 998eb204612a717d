// Drives the stand-in provider through the OLE DB path Folionex uses:
// MSDAINITIALIZE -> IDataInitialize::GetDataSource("Provider=MSOLEDBSQL;...")
// -> IDBInitialize -> IDBCreateSession -> IDBCreateCommand -> ICommandText /
// IAccessor / ICommand::Execute -> IRowset, with errors read back through
// ISupportErrorInfo, GetErrorInfo, IErrorRecords and ISQLErrorInfo.
#include <gtest/gtest.h>
#include <windows.h>
#include <oledb.h>
#include <oledberr.h>
#include <msdasc.h>
#include <msoledbsql.h>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>
#include "TestSqlServer.h"

namespace {

using oledb_standin::CTestSqlServer;

// DBGUID_DEFAULT and the driver's ISQLServerErrorInfo, spelled out: the
// OLE DB constants belong to the one source that defines DBINITCONSTANTS.
const GUID kDialectDefault = {0xc8b521fb, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
const IID kIID_ISQLServerErrorInfo = {0x5cf4ca12, 0xef21, 0x11d0, {0x97, 0xe7, 0x00, 0xc0, 0x4f, 0xc2, 0xad, 0x98}};

const wchar_t kMaster[] = L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=master;Trusted_Connection=yes;";
const wchar_t kCases[] = L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=Folionex;Trusted_Connection=yes;";

// The statements as Folionex sends them.
const wchar_t kSelect[] =
    L"SELECT Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, Datum, CC, Hataridok FROM dbo.tUgyirat";
const wchar_t kInsert[] =
    L"INSERT INTO tUgyirat       (Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, CC, Datum, "
    L"Hataridok)       VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
const wchar_t kUpdate[] =
    L"UPDATE tUgyirat SET Ev = ?, Nr = ?, Allapot = ?, UgyfelNeve = ?,       EllenfelNeve = ?, UgyJellege = ?, "
    L"Megjegyzes = ?, CC = ?, Hataridok = ? WHERE Ev * 65536 + Nr = ?";
const wchar_t kCount[] = L"SELECT COUNT(*) FROM tUgyirat";
const wchar_t kDatabases[] = L"SELECT name FROM master.sys.databases";
const wchar_t kAlter[] = L"ALTER TABLE [dbo].[tUgyirat] ADD [Hataridok] [nvarchar](1024) NULL;";
const wchar_t kCreateScript[] =
    L"CREATE TABLE [dbo].[tUgyirat](    [Ev] [int] NOT NULL,    [Nr] [int] NOT NULL,    [Allapot] [int] NOT NULL,    "
    L"[UgyfelNeve] [nvarchar](200) NULL,    [EllenfelNeve] [nvarchar](200) NULL,    [UgyJellege] [nvarchar](200) NULL,"
    L"    [Megjegyzes] [nvarchar](200) NULL,    [Datum] [datetime] NOT NULL,    [CC] [nvarchar](48) NULL,    "
    L"[Hataridok] [nvarchar](4000) NULL,  CONSTRAINT [PK_tUgyirat] PRIMARY KEY CLUSTERED (    [Ev] ASC,    [Nr] ASC "
    L")WITH (PAD_INDEX  = OFF, STATISTICS_NORECOMPUTE  = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS  = ON, "
    L"ALLOW_PAGE_LOCKS  = ON) ON [PRIMARY] ) ON [PRIMARY];\n"
    L"ALTER TABLE [dbo].[tUgyirat] ADD  CONSTRAINT [DF_tUgyirat_Allapot]  DEFAULT ((0)) FOR [Allapot];\n"
    L"ALTER TABLE [dbo].[tUgyirat] ADD  CONSTRAINT [DF_tUgyirat_Datum]  DEFAULT (getdate()) FOR [Datum];\n";

std::wstring Printf(const wchar_t* format, ...)
{
    wchar_t buf[1024];
    va_list args;
    va_start(args, format);
    _vsnwprintf(buf, 1023, format, args);
    va_end(args);
    buf[1023] = 0;
    return buf;
}

std::wstring Columns(const std::wstring& database)
{
    return Printf(L"SELECT t.name + '/' + c.name FROM [%ls].sys.columns c INNER JOIN [%ls].sys.tables t ON c.object_id "
                  L"= t.object_id order by t.name, c.name",
                  database.c_str(), database.c_str());
}

template <class T> class Com
{
public:
    Com() = default;
    ~Com() { Reset(); }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    void Reset()
    {
        if (p)
            p->Release();
        p = nullptr;
    }
    T** Out()
    {
        Reset();
        return &p;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    IUnknown** OutUnknown() { return reinterpret_cast<IUnknown**>(Out()); }
    T* operator->() const { return p; }
    T* p = nullptr;
};

// One error record as a consumer reads it back.
struct Record
{
    HRESULT hr = S_OK;
    std::wstring sqlState;
    LONG native = 0;
    std::wstring description;
    std::wstring source;
    bool serverInfo = false;
    BYTE state = 0;
    BYTE severity = 0;
};

std::vector<Record> ReadErrors(IUnknown* object, REFIID iid)
{
    std::vector<Record> records;
    Com<ISupportErrorInfo> support;
    if (FAILED(object->QueryInterface(IID_ISupportErrorInfo, support.OutVoid())) ||
        support->InterfaceSupportsErrorInfo(iid) != S_OK)
        return records;
    Com<IErrorInfo> info;
    if (GetErrorInfo(0, info.Out()) != S_OK || !info.p)
        return records;
    Com<IErrorRecords> list;
    if (FAILED(info->QueryInterface(IID_IErrorRecords, list.OutVoid())))
        return records;
    ULONG count = 0;
    list->GetRecordCount(&count);
    for (ULONG i = 0; i < count; ++i) {
        Record r;
        ERRORINFO basic = {};
        EXPECT_EQ(S_OK, list->GetBasicErrorInfo(i, &basic));
        r.hr = basic.hrError;
        Com<ISQLErrorInfo> sql;
        if (SUCCEEDED(list->GetCustomErrorObject(i, IID_ISQLErrorInfo, sql.OutUnknown())) && sql.p) {
            BSTR state = NULL;
            sql->GetSQLInfo(&state, &r.native);
            r.sqlState = state ? state : L"";
            SysFreeString(state);
            Com<ISQLServerErrorInfo> server;
            if (SUCCEEDED(sql->QueryInterface(kIID_ISQLServerErrorInfo, server.OutVoid()))) {
                SSERRORINFO* ss = NULL;
                OLECHAR* strings = NULL;
                if (SUCCEEDED(server->GetErrorInfo(&ss, &strings)) && ss) {
                    r.serverInfo = true;
                    r.state = ss->bState;
                    r.severity = ss->bClass;
                    EXPECT_EQ(r.native, ss->lNative);
                }
                CoTaskMemFree(ss);
                CoTaskMemFree(strings);
            }
        }
        Com<IErrorInfo> one;
        if (SUCCEEDED(list->GetErrorInfo(i, 1033, one.Out())) && one.p) {
            BSTR text = NULL;
            one->GetDescription(&text);
            r.description = text ? text : L"";
            SysFreeString(text);
            one->GetSource(&text);
            r.source = text ? text : L"";
            SysFreeString(text);
        }
        records.push_back(r);
    }
    return records;
}

// A data source and session opened from a connection string.
class Connection
{
public:
    HRESULT Open(const std::wstring& connectionString)
    {
        errors.clear();
        Com<IDataInitialize> init;
        HRESULT hr = CoCreateInstance(CLSID_MSDAINITIALIZE, NULL, CLSCTX_INPROC_SERVER, IID_IDataInitialize,
                                      init.OutVoid());
        if (FAILED(hr))
            return hr;
        hr = init->GetDataSource(NULL, CLSCTX_INPROC_SERVER, connectionString.c_str(), IID_IDBInitialize,
                                 source.OutUnknown());
        if (FAILED(hr))
            return hr;
        hr = source->Initialize();
        if (hr != S_OK) {
            errors = ReadErrors(source.p, IID_IDBInitialize);
            return hr;
        }
        Com<IDBCreateSession> factory;
        hr = source->QueryInterface(IID_IDBCreateSession, factory.OutVoid());
        if (FAILED(hr))
            return hr;
        Com<IOpenRowset> opened;
        hr = factory->CreateSession(NULL, IID_IOpenRowset, opened.OutUnknown());
        if (FAILED(hr))
            return hr;
        return opened->QueryInterface(IID_IDBCreateCommand, session.OutVoid());
    }

    // A command with the text; its accessor interface for parameter bindings.
    HRESULT Prepare(const std::wstring& text)
    {
        HRESULT hr = session->CreateCommand(NULL, IID_ICommandText, command.OutUnknown());
        if (FAILED(hr))
            return hr;
        return command->SetCommandText(kDialectDefault, text.c_str());
    }

    HRESULT Execute(DBPARAMS* params, IRowset** rowset, DBROWCOUNT* affected = nullptr)
    {
        errors.clear();
        HRESULT hr = command->Execute(NULL, rowset ? IID_IRowset : IID_NULL, params, affected,
                                      reinterpret_cast<IUnknown**>(rowset));
        if (FAILED(hr))
            errors = ReadErrors(command.p, IID_ICommand);
        return hr;
    }

    HRESULT Run(const std::wstring& text, IRowset** rowset = nullptr)
    {
        HRESULT hr = Prepare(text);
        return FAILED(hr) ? hr : Execute(nullptr, rowset);
    }

    Com<IDBInitialize> source;
    Com<IDBCreateCommand> session;
    Com<ICommandText> command;
    std::vector<Record> errors;
};

// The parameter buffer of the insert and update, bound as Folionex binds them.
struct CaseParams
{
    LONG ev = 0, nr = 0, allapot = 0;
    wchar_t ugyfel[201] = L"", ellenfel[201] = L"", jelleg[201] = L"", megjegyzes[201] = L"";
    DBTIMESTAMP datum = {2024, 5, 6, 7, 8, 9, 0};
    wchar_t cc[49] = L"";
    wchar_t hataridok[1025] = L"";
    DBLENGTH lengths[6] = {};
    DBSTATUS ccStatus = DBSTATUS_S_OK, hataridokStatus = DBSTATUS_S_OK;
    LONG oldKey = 0;
    wchar_t spare[8] = L""; // for a binding of the wrong type
    DBLENGTH spareLength = 0;

    // Lengths and statuses as the case table sets them: an empty CC or deadline list is NULL.
    void Finish()
    {
        const wchar_t* texts[6] = {ugyfel, ellenfel, jelleg, megjegyzes, cc, hataridok};
        for (int i = 0; i < 6; ++i)
            lengths[i] = wcslen(texts[i]) * sizeof(wchar_t);
        ccStatus = lengths[4] ? DBSTATUS_S_OK : DBSTATUS_S_ISNULL;
        hataridokStatus = lengths[5] ? DBSTATUS_S_OK : DBSTATUS_S_ISNULL;
    }
};

DBBINDING Binding(DBORDINAL ordinal, DBTYPE type, size_t value, DBLENGTH size, size_t length = SIZE_MAX,
                  size_t status = SIZE_MAX, DBPARAMIO io = DBPARAMIO_INPUT)
{
    DBBINDING b = {};
    b.iOrdinal = ordinal;
    b.obValue = value;
    b.dwPart = DBPART_VALUE;
    if (length != SIZE_MAX) {
        b.obLength = length;
        b.dwPart |= DBPART_LENGTH;
    }
    if (status != SIZE_MAX) {
        b.obStatus = status;
        b.dwPart |= DBPART_STATUS;
    }
    b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    b.eParamIO = io;
    b.cbMaxLen = size;
    b.wType = type;
    return b;
}

std::vector<DBBINDING> CaseParamBindings(bool update)
{
    typedef CaseParams P;
    std::vector<DBBINDING> b = {
        Binding(1, DBTYPE_I4, offsetof(P, ev), 4),
        Binding(2, DBTYPE_I4, offsetof(P, nr), 4),
        Binding(3, DBTYPE_I4, offsetof(P, allapot), 4),
        Binding(4, DBTYPE_WSTR, offsetof(P, ugyfel), 402, offsetof(P, lengths[0])),
        Binding(5, DBTYPE_WSTR, offsetof(P, ellenfel), 402, offsetof(P, lengths[1])),
        Binding(6, DBTYPE_WSTR, offsetof(P, jelleg), 402, offsetof(P, lengths[2])),
        Binding(7, DBTYPE_WSTR, offsetof(P, megjegyzes), 402, offsetof(P, lengths[3])),
        Binding(8, DBTYPE_WSTR, offsetof(P, cc), 98, offsetof(P, lengths[4]), offsetof(P, ccStatus))};
    if (update) {
        b.push_back(Binding(9, DBTYPE_WSTR, offsetof(P, hataridok), 2050, offsetof(P, lengths[5]),
                            offsetof(P, hataridokStatus)));
        b.push_back(Binding(10, DBTYPE_I4, offsetof(P, oldKey), 4));
    } else {
        b.push_back(Binding(9, DBTYPE_DBTIMESTAMP, offsetof(P, datum), 16));
        b.push_back(Binding(10, DBTYPE_WSTR, offsetof(P, hataridok), 2050, offsetof(P, lengths[5]),
                            offsetof(P, hataridokStatus)));
    }
    return b;
}

// One parameterised statement; the first error record's native number comes back in native.
HRESULT RunWithParams(Connection& c, const wchar_t* text, CaseParams& p, const std::vector<DBBINDING>& bindings)
{
    HRESULT hr = c.Prepare(text);
    if (FAILED(hr))
        return hr;
    Com<IAccessor> accessor;
    hr = c.command->QueryInterface(IID_IAccessor, accessor.OutVoid());
    if (FAILED(hr))
        return hr;
    HACCESSOR handle = DB_NULL_HACCESSOR;
    std::vector<DBBINDSTATUS> status(bindings.size());
    hr = accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, bindings.size(), bindings.data(), sizeof(p), &handle,
                                  status.data());
    if (FAILED(hr)) {
        c.errors = ReadErrors(accessor.p, IID_IAccessor);
        return hr;
    }
    DBPARAMS params = {&p, 1, handle};
    hr = c.Execute(&params, nullptr);
    accessor->ReleaseAccessor(handle, NULL);
    return hr;
}

HRESULT Insert(Connection& c, CaseParams p)
{
    p.Finish();
    return RunWithParams(c, kInsert, p, CaseParamBindings(false));
}

HRESULT Update(Connection& c, CaseParams p, LONG oldKey)
{
    p.Finish();
    p.oldKey = oldKey;
    return RunWithParams(c, kUpdate, p, CaseParamBindings(true));
}

CaseParams MakeCase(LONG ev, LONG nr, const wchar_t* client, const wchar_t* cc = L"", const wchar_t* deadlines = L"")
{
    CaseParams p;
    p.ev = ev;
    p.nr = nr;
    p.allapot = 1;
    wcscpy(p.ugyfel, client);
    wcscpy(p.ellenfel, L"Ellenfél Kft.");
    wcscpy(p.jelleg, L"Polgári");
    wcscpy(p.megjegyzes, L"");
    wcscpy(p.cc, cc);
    wcscpy(p.hataridok, deadlines);
    return p;
}

// The select's row buffer; text columns with length and status (the second half of the array).
struct CaseRow
{
    LONG ev, nr, allapot;
    wchar_t ugyfel[201], ellenfel[201], jelleg[201], megjegyzes[201];
    DBTIMESTAMP datum;
    wchar_t cc[49];
    wchar_t hataridok[1025];
    DBLENGTH lengths[6];
    DBSTATUS statuses[6];
};

std::vector<DBBINDING> CaseRowBindings(bool lengthAndStatus)
{
    typedef CaseRow R;
    size_t texts[6] = {offsetof(R, ugyfel), offsetof(R, ellenfel), offsetof(R, jelleg), offsetof(R, megjegyzes),
                       offsetof(R, cc), offsetof(R, hataridok)};
    DBLENGTH sizes[6] = {402, 402, 402, 402, 98, 2050};
    DBORDINAL ordinals[6] = {4, 5, 6, 7, 9, 10};
    std::vector<DBBINDING> b = {Binding(1, DBTYPE_I4, offsetof(R, ev), 4, SIZE_MAX, SIZE_MAX, DBPARAMIO_NOTPARAM),
                                Binding(2, DBTYPE_I4, offsetof(R, nr), 4, SIZE_MAX, SIZE_MAX, DBPARAMIO_NOTPARAM),
                                Binding(3, DBTYPE_I4, offsetof(R, allapot), 4, SIZE_MAX, SIZE_MAX, DBPARAMIO_NOTPARAM),
                                Binding(8, DBTYPE_DBTIMESTAMP, offsetof(R, datum), 16, SIZE_MAX, SIZE_MAX,
                                        DBPARAMIO_NOTPARAM)};
    for (int i = 0; i < 6; ++i)
        b.push_back(Binding(ordinals[i], DBTYPE_WSTR, texts[i], sizes[i],
                            lengthAndStatus ? offsetof(R, lengths) + i * sizeof(DBLENGTH) : SIZE_MAX,
                            lengthAndStatus ? offsetof(R, statuses) + i * sizeof(DBSTATUS) : SIZE_MAX,
                            DBPARAMIO_NOTPARAM));
    return b;
}

// Reads every row of a rowset through one accessor. The first result of
// GetNextRows or GetData other than S_OK (and the end of the rows) is
// returned, its error records go to errors; a failure stops the read.
template <class Row>
HRESULT ReadRows(IRowset* rowset, const std::vector<DBBINDING>& bindings, std::vector<Row>* rows,
                 std::vector<Record>* errors = nullptr)
{
    Com<IAccessor> accessor;
    HRESULT hr = rowset->QueryInterface(IID_IAccessor, accessor.OutVoid());
    if (FAILED(hr))
        return hr;
    HACCESSOR handle = DB_NULL_HACCESSOR;
    hr = accessor->CreateAccessor(DBACCESSOR_ROWDATA, bindings.size(), bindings.data(), 0, &handle, NULL);
    if (FAILED(hr))
        return hr;
    HRESULT first = S_OK;
    for (;;) {
        HROW row = 0;
        HROW* rowPtr = &row;
        DBCOUNTITEM got = 0;
        hr = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &rowPtr);
        if (hr == DB_S_ENDOFROWSET && got == 0)
            break;
        if (hr == S_OK) {
            Row r;
            memset(&r, 0, sizeof(r));
            hr = rowset->GetData(row, handle, &r);
            if (SUCCEEDED(hr))
                rows->push_back(r);
        }
        if (hr != S_OK && first == S_OK) {
            first = hr;
            if (errors)
                *errors = ReadErrors(rowset, IID_IRowset);
        }
        if (got)
            rowset->ReleaseRows(1, &row, NULL, NULL, NULL);
        if (FAILED(hr))
            break;
    }
    accessor->ReleaseAccessor(handle, NULL);
    return first;
}

struct TextRow
{
    wchar_t text[1024];
    DBLENGTH length;
    DBSTATUS status;
};

// The one text column of a query ("SELECT name ...", the column listing, COUNT(*) as text).
std::vector<std::wstring> QueryTexts(Connection& c, const std::wstring& text, HRESULT* result = nullptr)
{
    std::vector<std::wstring> out;
    Com<IRowset> rowset;
    HRESULT hr = c.Run(text, rowset.Out());
    std::vector<TextRow> rows;
    if (SUCCEEDED(hr) && rowset.p)
        hr = ReadRows(rowset.p,
                      {Binding(1, DBTYPE_WSTR, offsetof(TextRow, text), sizeof(TextRow::text),
                               offsetof(TextRow, length), offsetof(TextRow, status), DBPARAMIO_NOTPARAM)},
                      &rows);
    for (const TextRow& r : rows)
        out.push_back(r.status == DBSTATUS_S_ISNULL ? L"<NULL>" : r.text);
    if (result)
        *result = hr;
    return out;
}

std::wstring CountCases(Connection& c)
{
    std::vector<std::wstring> t = QueryTexts(c, kCount);
    return t.size() == 1 ? t[0] : L"<no count>";
}

class StandinTest : public ::testing::Test
{
protected:
    void SetUp() override { CoInitializeEx(NULL, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }

    // The database Folionex with its case table, and a session on it.
    void OpenCases()
    {
        ASSERT_TRUE(server.CreateDatabase(L"Folionex"));
        ASSERT_TRUE(server.CreateCaseTable(L"Folionex"));
        ASSERT_EQ(S_OK, cases.Open(kCases));
    }

    CTestSqlServer server;
    Connection cases;
};

TEST_F(StandinTest, ConnectionStringsAndLogins)
{
    ASSERT_TRUE(server.CreateDatabase(L"Folionex"));
    server.AddLogin(L"Folionex", L"mervintolask");
    server.AddLogin(L"Quoted", L"a;b c");
    const std::wstring head = L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;";
    struct Case
    {
        std::wstring tail;
        HRESULT hr;
        const wchar_t* sqlState;
        LONG native;
    } cases[] = {
        {L"Database=Folionex;Trusted connection=true;", S_OK, L"", 0}, // the default connection string
        {L"Database=Folionex;Trusted_Connection=yes;", S_OK, L"", 0},
        {L"Database=Folionex;UID=Folionex;Pwd=mervintolask;", S_OK, L"", 0},
        {L"Database=Folionex;UID=folionex;Pwd=mervintolask;", S_OK, L"", 0}, // logins ignore case
        {L"Database=Folionex;UID=Folionex;Pwd=Mervintolask;", E_FAIL, L"28000", 18456},
        {L"Database=Folionex;UID=Nobody;Pwd=mervintolask;", E_FAIL, L"28000", 18456},
        {L"Database=Folionex;UID=Quoted;Pwd=\"a;b c\";", S_OK, L"", 0}, // a value quoted by the OLE DB rules
        {L"Database=Folionex;Trusted_Conection=yes;", E_FAIL, L"01S00", 0},
        {L"Database=Folionex;Trusted_Connection=maybe;", E_FAIL, L"01S00", 0},
        {L"Database=Nincs;Trusted_Connection=yes;", E_FAIL, L"42000", 4060},
        {L"Database=FOLIONEX;Trusted_Connection=yes;", S_OK, L"", 0}, // database names ignore case
        {L"Trusted_Connection=yes;", S_OK, L"", 0},                   // master
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        Connection conn;
        EXPECT_EQ(c.hr, conn.Open(head + c.tail));
        if (c.hr == S_OK) {
            EXPECT_TRUE(conn.session.p);
            continue;
        }
        ASSERT_FALSE(conn.errors.empty());
        EXPECT_EQ(c.hr, conn.errors[0].hr);
        EXPECT_EQ(c.sqlState, conn.errors[0].sqlState);
        EXPECT_EQ(c.native, conn.errors[0].native);
        EXPECT_EQ(L"Microsoft OLE DB Driver for SQL Server", conn.errors[0].source);
        EXPECT_EQ(c.native != 0, conn.errors[0].serverInfo);
    }
    Connection wrong;
    wrong.Open(head + L"Database=Nincs;Trusted_Connection=yes;");
    ASSERT_EQ(2u, wrong.errors.size());
    EXPECT_EQ(L"Cannot open database \"Nincs\" requested by the login. The login failed.", wrong.errors[0].description);
    EXPECT_EQ(18456, wrong.errors[1].native);
    EXPECT_EQ(14, wrong.errors[1].severity);
}

TEST_F(StandinTest, ServerDownOtherServersAndRefusedLogins)
{
    OpenCases();
    server.SetDown(true);
    Connection down;
    EXPECT_EQ(E_FAIL, down.Open(kCases));
    ASSERT_EQ(3u, down.errors.size());
    EXPECT_EQ(L"08001", down.errors[0].sqlState);
    EXPECT_EQ(53, down.errors[0].native);
    EXPECT_EQ(L"HYT00", down.errors[1].sqlState);
    EXPECT_FALSE(down.errors[0].serverInfo);
    // An open session loses its server too.
    EXPECT_EQ(E_FAIL, cases.Run(kCount));
    ASSERT_FALSE(cases.errors.empty());
    EXPECT_EQ(L"08S01", cases.errors[0].sqlState);
    EXPECT_EQ(10054, cases.errors[0].native);
    server.SetDown(false);
    EXPECT_EQ(L"0", CountCases(cases));

    server.SetServers(L"127.0.0.1,1433");
    Connection local, remote;
    EXPECT_EQ(E_FAIL, local.Open(kCases));
    EXPECT_EQ(S_OK,
              remote.Open(L"Provider=MSOLEDBSQL;Server=127.0.0.1,1433;Database=Folionex;Trusted_Connection=yes;"));
    server.SetServers(L"");

    server.SetWindowsLogin(false);
    Connection windows;
    EXPECT_EQ(E_FAIL, windows.Open(kCases));
    ASSERT_FALSE(windows.errors.empty());
    EXPECT_EQ(18452, windows.errors[0].native);
    server.SetWindowsLogin(true);

    server.SetNoAccess(L"Folionex");
    Connection denied;
    EXPECT_EQ(E_FAIL, denied.Open(kCases));
    ASSERT_FALSE(denied.errors.empty());
    EXPECT_EQ(4060, denied.errors[0].native);
}

TEST_F(StandinTest, DatabasesTablesAndTheirUpgrade)
{
    Connection master;
    ASSERT_EQ(S_OK, master.Open(kMaster));
    EXPECT_EQ((std::vector<std::wstring>{L"master", L"tempdb", L"model", L"msdb"}), QueryTexts(master, kDatabases));

    EXPECT_EQ(S_OK, master.Run(L"CREATE DATABASE [Folionex];"));
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, master.Run(L"CREATE DATABASE [folionex];"));
    ASSERT_FALSE(master.errors.empty());
    EXPECT_EQ(1801, master.errors[0].native);
    EXPECT_EQ(S_OK, master.Run(L"CREATE DATABASE [Régi]]Ügyek];")); // "]" doubled inside the brackets
    EXPECT_EQ((std::vector<std::wstring>{L"master", L"tempdb", L"model", L"msdb", L"Folionex", L"Régi]Ügyek"}),
              QueryTexts(master, kDatabases));

    HRESULT hr = E_FAIL;
    EXPECT_TRUE(QueryTexts(master, Columns(L"Folionex"), &hr).empty());
    EXPECT_EQ(S_OK, hr);
    QueryTexts(master, Columns(L"Nincs"), &hr);
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, hr);
    ASSERT_FALSE(master.errors.empty());
    EXPECT_EQ(208, master.errors[0].native);

    ASSERT_EQ(S_OK, cases.Open(kCases));
    EXPECT_EQ(std::wstring(kCreateScript).size(), 786u);
    EXPECT_EQ(S_OK, cases.Run(kCreateScript));
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, cases.Run(kCreateScript));
    ASSERT_FALSE(cases.errors.empty());
    EXPECT_EQ(2714, cases.errors[0].native);
    const std::vector<std::wstring> current = {
        L"tUgyirat/Allapot",    L"tUgyirat/CC",         L"tUgyirat/Datum", L"tUgyirat/EllenfelNeve",
        L"tUgyirat/Ev",         L"tUgyirat/Hataridok",  L"tUgyirat/Megjegyzes", L"tUgyirat/Nr",
        L"tUgyirat/UgyfelNeve", L"tUgyirat/UgyJellege"};
    EXPECT_EQ(current, QueryTexts(master, Columns(L"Folionex")));
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, cases.Run(kAlter));
    ASSERT_FALSE(cases.errors.empty());
    EXPECT_EQ(2705, cases.errors[0].native);

    // The older structure: no deadline column until the upgrade.
    ASSERT_TRUE(server.CreateDatabase(L"Regi"));
    ASSERT_TRUE(server.CreateCaseTable(L"Regi", false));
    ASSERT_TRUE(server.Exec(L"Regi", "CREATE TABLE Partner (Nev nvarchar(100))"));
    std::vector<std::wstring> old = QueryTexts(master, Columns(L"Regi"));
    ASSERT_EQ(10u, old.size());
    EXPECT_EQ(L"Partner/Nev", old[0]);
    Connection regi;
    ASSERT_EQ(S_OK, regi.Open(L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=Regi;Trusted_Connection=yes;"));
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, regi.Run(kSelect));
    ASSERT_FALSE(regi.errors.empty());
    EXPECT_EQ(207, regi.errors[0].native);
    EXPECT_EQ(L"Invalid column name 'Hataridok'.", regi.errors[0].description);
    EXPECT_EQ(S_OK, regi.Run(kAlter));
    EXPECT_EQ(11u, QueryTexts(master, Columns(L"Regi")).size());
    EXPECT_EQ(S_OK, regi.Run(kSelect));
}

TEST_F(StandinTest, RefusesEveryOtherStatement)
{
    OpenCases();
    const std::wstring insertSixBlanks =
        L"INSERT INTO tUgyirat      (Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, CC, Datum, "
        L"Hataridok)       VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    const std::wstring refused[] = {
        insertSixBlanks,
        L"SELECT * FROM tUgyirat",
        L"select Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, Datum, CC, Hataridok "
        L"FROM dbo.tUgyirat",
        L"CREATE DATABASE Folionex;", // names go in brackets
        L"SELECT t.name + '/' + c.name FROM Folionex.sys.columns c INNER JOIN Folionex.sys.tables t ON c.object_id = "
        L"t.object_id order by t.name, c.name",
        L"DELETE FROM tUgyirat WHERE Ev = 2024 AND Nr = 7;",
        L"DELETE FROM tUgyirat",
        L"DROP TABLE tUgyirat",
        std::wstring(kCreateScript).substr(0, 785), // without its last line feed
    };
    for (const std::wstring& text : refused) {
        SCOPED_TRACE(text);
        EXPECT_EQ(DB_E_ERRORSINCOMMAND, cases.Run(text));
        ASSERT_FALSE(cases.errors.empty());
        EXPECT_EQ(102, cases.errors[0].native);
        EXPECT_EQ(L"42000", cases.errors[0].sqlState);
    }
    EXPECT_NE(std::wstring::npos, server.Trace().find(L"-> refused: unknown statement"));
}

TEST_F(StandinTest, CaseRowsInsertedReadUpdatedAndDeleted)
{
    OpenCases();
    CaseParams first = MakeCase(2024, 7, L"Kovács Anna", L"", L"2024.06.01 Tárgyalás");
    first.datum = {2024, 2, 29, 23, 59, 58, 4000000}; // 4 ms: SQL Server's datetime keeps 1/300 s
    EXPECT_EQ(S_OK, Insert(cases, first));
    EXPECT_EQ(S_OK, Insert(cases, MakeCase(2024, 8, L"", L"ab", L"")));
    EXPECT_EQ(L"2", CountCases(cases));
    // Empty CC and deadline list are NULL, the empty client name an empty text.
    EXPECT_EQ((std::vector<std::vector<std::wstring>>{
                  {L"2024", L"7", L"<NULL>", L"2024.06.01 Tárgyalás", L"2024-02-29 23:59:58.003"},
                  {L"2024", L"8", L"ab", L"<NULL>", L"2024-05-06 07:08:09.000"}}),
              server.Query(L"Folionex", "SELECT Ev, Nr, CC, Hataridok, Datum FROM tUgyirat ORDER BY Nr"));
    EXPECT_EQ((std::vector<std::vector<std::wstring>>{{L""}}),
              server.Query(L"Folionex", "SELECT UgyfelNeve FROM tUgyirat WHERE Nr = 8"));

    // The server describes the parameters.
    ASSERT_EQ(S_OK, cases.Prepare(kInsert));
    Com<ICommandWithParameters> withParams;
    ASSERT_EQ(S_OK, cases.command->QueryInterface(IID_ICommandWithParameters, withParams.OutVoid()));
    DB_UPARAMS count = 0;
    DBPARAMINFO* info = NULL;
    OLECHAR* names = NULL;
    ASSERT_EQ(S_OK, withParams->GetParameterInfo(&count, &info, &names));
    ASSERT_EQ(10u, count);
    EXPECT_EQ(DBTYPE_I4, info[0].wType);
    EXPECT_EQ(DBTYPE_WSTR, info[7].wType);
    EXPECT_EQ(48u, info[7].ulParamSize);
    EXPECT_EQ(DBTYPE_DBTIMESTAMP, info[8].wType);
    CoTaskMemFree(info);
    CoTaskMemFree(names);

    Com<IRowset> rowset;
    ASSERT_EQ(S_OK, cases.Run(kSelect, rowset.Out()));
    std::vector<CaseRow> rows;
    ASSERT_EQ(S_OK, ReadRows(rowset.p, CaseRowBindings(true), &rows));
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(7, rows[0].nr);
    EXPECT_EQ(1, rows[0].allapot);
    EXPECT_STREQ(L"Kovács Anna", rows[0].ugyfel);
    EXPECT_EQ(DBSTATUS_S_ISNULL, rows[0].statuses[4]);
    EXPECT_EQ(DBSTATUS_S_OK, rows[0].statuses[5]);
    EXPECT_EQ(wcslen(L"2024.06.01 Tárgyalás") * 2, rows[0].lengths[5]);
    EXPECT_EQ(2024, rows[0].datum.year);
    EXPECT_EQ(29, rows[0].datum.day);
    EXPECT_EQ(58, rows[0].datum.second);
    EXPECT_EQ(3000000u, rows[0].datum.fraction);
    EXPECT_EQ(DBSTATUS_S_OK, rows[1].statuses[0]);
    EXPECT_EQ(0u, rows[1].lengths[0]);
    EXPECT_EQ(DBSTATUS_S_ISNULL, rows[1].statuses[5]);
    rowset.Reset();

    // The update may move a case to a new key; it never touches Datum.
    CaseParams moved = MakeCase(2025, 1, L"Kovács Anna dr.", L"", L"");
    moved.datum = {2030, 1, 1, 0, 0, 0, 0};
    EXPECT_EQ(S_OK, Update(cases, moved, 2024 * 65536 + 7));
    EXPECT_EQ((std::vector<std::vector<std::wstring>>{{L"2025", L"1", L"Kovács Anna dr.", L"<NULL>",
                                                       L"2024-02-29 23:59:58.003"}}),
              server.Query(L"Folionex", "SELECT Ev, Nr, UgyfelNeve, Hataridok, Datum FROM tUgyirat WHERE Ev = 2025"));
    EXPECT_EQ(S_OK, Update(cases, moved, 1999 * 65536 + 1)); // no such row: nothing changes, no error
    EXPECT_EQ(S_OK, cases.Run(L"UPDATE tUgyirat SET Allapot = 3 WHERE Ev = 2024 AND Nr = 8"));
    EXPECT_EQ((std::vector<std::vector<std::wstring>>{{L"3"}}),
              server.Query(L"Folionex", "SELECT Allapot FROM tUgyirat WHERE Nr = 8"));
    EXPECT_EQ(S_OK, cases.Run(L"DELETE FROM tUgyirat WHERE Ev = 2024 AND Nr = 8"));
    EXPECT_EQ(S_OK, cases.Run(L"DELETE FROM tUgyirat WHERE Ev = 1999 AND Nr = 1")); // no row: still fine
    EXPECT_EQ(L"1", CountCases(cases));
    EXPECT_EQ(S_OK, cases.Run(L"DELETE FROM tUgyirat;"));
    EXPECT_EQ(L"0", CountCases(cases));

    std::wstring trace = server.Trace();
    EXPECT_NE(std::wstring::npos, trace.find(L"exec [Folionex] DELETE FROM tUgyirat; -> 0x00000000"));
}

TEST_F(StandinTest, DuplicateKeyIsRefusedWithSqlServerRecords)
{
    OpenCases();
    ASSERT_EQ(S_OK, Insert(cases, MakeCase(2024, 7, L"Első")));
    ASSERT_EQ(S_OK, Insert(cases, MakeCase(2024, 9, L"Harmadik")));
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION, Insert(cases, MakeCase(2024, 7, L"Második")));
    ASSERT_EQ(2u, cases.errors.size());
    const Record& key = cases.errors[0];
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION, key.hr);
    EXPECT_EQ(L"23000", key.sqlState);
    EXPECT_EQ(2627, key.native);
    EXPECT_EQ(L"Violation of PRIMARY KEY constraint 'PK_tUgyirat'. Cannot insert duplicate key in object "
              L"'dbo.tUgyirat'. The duplicate key value is (2024, 7).",
              key.description);
    EXPECT_TRUE(key.serverInfo);
    EXPECT_EQ(1, key.state);
    EXPECT_EQ(14, key.severity);
    EXPECT_EQ(L"01000", cases.errors[1].sqlState);
    EXPECT_EQ(3621, cases.errors[1].native);
    EXPECT_EQ(L"The statement has been terminated.", cases.errors[1].description);
    // An update onto another case's key fails the same way.
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION, Update(cases, MakeCase(2024, 7, L"Harmadik"), 2024 * 65536 + 9));
    EXPECT_EQ((std::vector<std::vector<std::wstring>>{{L"7", L"Első"}, {L"9", L"Harmadik"}}),
              server.Query(L"Folionex", "SELECT Nr, UgyfelNeve FROM tUgyirat ORDER BY Nr"));
}

TEST_F(StandinTest, BindingsFollowTheOleDbRules)
{
    OpenCases();
    ASSERT_EQ(S_OK, Insert(cases, MakeCase(2024, 1, L"Nagy Béla", L"", L"0123456789abcdefghijklmnopqrst")));

    // Value-only bindings: a NULL column cannot be delivered, the others are.
    Com<IRowset> rowset;
    ASSERT_EQ(S_OK, cases.Run(kSelect, rowset.Out()));
    std::vector<CaseRow> rows;
    std::vector<Record> errors;
    EXPECT_EQ(DB_S_ERRORSOCCURRED, ReadRows(rowset.p, CaseRowBindings(false), &rows, &errors));
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(2024, rows[0].ev);
    EXPECT_STREQ(L"Nagy Béla", rows[0].ugyfel);
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ(L"22002", errors[0].sqlState);
    EXPECT_NE(std::wstring::npos, errors[0].description.find(L"column 9, CC"));
    rowset.Reset();

    // A text longer than its binding: terminated, flagged, with its whole length.
    struct Short
    {
        wchar_t text[10];
        DBLENGTH length;
        DBSTATUS status;
    };
    ASSERT_EQ(S_OK, cases.Run(kSelect, rowset.Out()));
    std::vector<Short> shorts;
    EXPECT_EQ(S_OK, ReadRows(rowset.p,
                             {Binding(10, DBTYPE_WSTR, offsetof(Short, text), 20, offsetof(Short, length),
                                      offsetof(Short, status), DBPARAMIO_NOTPARAM)},
                             &shorts));
    ASSERT_EQ(1u, shorts.size());
    EXPECT_EQ(DBSTATUS_S_TRUNCATED, shorts[0].status);
    EXPECT_EQ(60u, shorts[0].length);
    EXPECT_STREQ(L"012345678", shorts[0].text);

    // Overlapping parts are refused (a length part takes sizeof(DBLENGTH) bytes).
    Com<IAccessor> accessor;
    ASSERT_EQ(S_OK, rowset->QueryInterface(IID_IAccessor, accessor.OutVoid()));
    DBBINDING overlap = Binding(10, DBTYPE_WSTR, 0, 20, 16, SIZE_MAX, DBPARAMIO_NOTPARAM);
    HACCESSOR handle = DB_NULL_HACCESSOR;
    DBBINDSTATUS status = DBBINDSTATUS_OK;
    EXPECT_EQ(DB_E_ERRORSOCCURRED, accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &overlap, 0, &handle, &status));
    EXPECT_EQ(DBBINDSTATUS_BADBINDINFO, status);
    accessor.Reset(); // the rowset stays open while any of its interfaces is held
    rowset.Reset();

    // Parameters the server refuses.
    struct Refusal
    {
        const char* what;
        CaseParams params;
        HRESULT hr;
        LONG native;
        const wchar_t* sqlState;
    };
    CaseParams zeroDate = MakeCase(2024, 3, L"Zero");
    zeroDate.datum = {};
    CaseParams oldDate = MakeCase(2024, 4, L"Old");
    oldDate.datum = {1700, 1, 1, 0, 0, 0, 0};
    Refusal refusals[] = {{"zero Datum", zeroDate, DB_E_ERRORSOCCURRED, 0, L"22007"},
                          {"Datum before 1753", oldDate, DB_E_ERRORSINCOMMAND, 242, L"22007"}};
    for (Refusal& r : refusals) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(r.hr, Insert(cases, r.params));
        ASSERT_FALSE(cases.errors.empty());
        EXPECT_EQ(r.native, cases.errors[0].native);
        EXPECT_EQ(r.sqlState, cases.errors[0].sqlState);
    }
    // 201 characters into nvarchar(200): the whole field and its terminator's place.
    CaseParams longName = MakeCase(2024, 2, L"");
    for (int i = 0; i < 200; ++i)
        longName.ugyfel[i] = L'x';
    CaseParams tooLong = longName;
    tooLong.Finish();
    tooLong.ugyfel[200] = L'x';
    tooLong.lengths[0] = 402;
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, RunWithParams(cases, kInsert, tooLong, CaseParamBindings(false)));
    ASSERT_EQ(2u, cases.errors.size());
    EXPECT_EQ(8152, cases.errors[0].native);
    EXPECT_EQ(L"22001", cases.errors[0].sqlState);
    EXPECT_EQ(3621, cases.errors[1].native);
    EXPECT_EQ(S_OK, Insert(cases, longName));

    // A length beyond its binding, and a type other than the column's.
    CaseParams p = MakeCase(2024, 5, L"Hossz");
    p.Finish();
    p.lengths[0] = 500;
    EXPECT_EQ(DB_E_ERRORSOCCURRED, RunWithParams(cases, kInsert, p, CaseParamBindings(false)));
    std::vector<DBBINDING> wrongType = CaseParamBindings(false);
    wrongType[0] =
        Binding(1, DBTYPE_WSTR, offsetof(CaseParams, spare), sizeof(p.spare), offsetof(CaseParams, spareLength));
    wcscpy(p.spare, L"2024");
    p.spareLength = 8;
    p.Finish();
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, RunWithParams(cases, kInsert, p, wrongType));
    ASSERT_FALSE(cases.errors.empty());
    EXPECT_EQ(206, cases.errors[0].native);
    std::vector<DBBINDING> missing = CaseParamBindings(false);
    missing.pop_back();
    EXPECT_EQ(DB_E_PARAMNOTOPTIONAL, RunWithParams(cases, kInsert, p, missing));
    ASSERT_FALSE(cases.errors.empty());
    EXPECT_EQ(8178, cases.errors[0].native);
    EXPECT_EQ(L"2", CountCases(cases));
}

TEST_F(StandinTest, FailsChosenStatementsAndReadsHalfWay)
{
    OpenCases();
    CTestSqlServer::Failure once;
    once.statement = L"INSERT INTO tUgyirat";
    once.times = 1;
    server.FailStatement(once);
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, Insert(cases, MakeCase(2024, 1, L"Egy")));
    ASSERT_FALSE(cases.errors.empty());
    EXPECT_EQ(1205, cases.errors[0].native);
    EXPECT_EQ(L"40001", cases.errors[0].sqlState);
    for (LONG nr = 1; nr <= 5; ++nr)
        ASSERT_EQ(S_OK, Insert(cases, MakeCase(2024, nr, L"Ügyfél")));

    CTestSqlServer::Failure own;
    own.statement = L"COUNT(*)";
    own.native = 4321;
    own.sqlState = L"HY000";
    own.message = L"Nem sikerült.";
    server.FailStatement(own);
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, cases.Run(kCount));
    ASSERT_FALSE(cases.errors.empty());
    EXPECT_EQ(4321, cases.errors[0].native);
    EXPECT_EQ(L"HY000", cases.errors[0].sqlState);
    EXPECT_EQ(L"Nem sikerült.", cases.errors[0].description);
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, cases.Run(kCount)); // without a count: every time
    server.ClearFailure();
    EXPECT_EQ(L"5", CountCases(cases));

    // A read that breaks after three rows: not the end of the rows but an error.
    const CTestSqlServer::Phase phases[] = {CTestSqlServer::kAtGetNextRows, CTestSqlServer::kAtGetData};
    for (CTestSqlServer::Phase at : phases) {
        SCOPED_TRACE(at);
        CTestSqlServer::Failure halfway;
        halfway.statement = kSelect;
        halfway.at = at;
        halfway.afterRows = 3;
        halfway.times = 1;
        server.FailStatement(halfway);
        Com<IRowset> rowset;
        ASSERT_EQ(S_OK, cases.Run(kSelect, rowset.Out()));
        std::vector<CaseRow> rows;
        std::vector<Record> errors;
        EXPECT_EQ(E_FAIL, ReadRows(rowset.p, CaseRowBindings(true), &rows, &errors));
        EXPECT_EQ(3u, rows.size());
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(L"08S01", errors[0].sqlState);
        EXPECT_EQ(10054, errors[0].native);
        rowset.Reset();
        ASSERT_EQ(S_OK, cases.Run(kSelect, rowset.Out()));
        rows.clear();
        EXPECT_EQ(S_OK, ReadRows(rowset.p, CaseRowBindings(true), &rows));
        EXPECT_EQ(5u, rows.size());
    }
}

TEST_F(StandinTest, RefusesWhatTheDriverRefusesWhileRowsOrARowsetAreOpen)
{
    OpenCases();
    for (LONG nr = 1; nr <= 3; ++nr)
        ASSERT_EQ(S_OK, Insert(cases, MakeCase(2024, nr, L"Ügyfél")));
    Com<IRowset> rowset;
    ASSERT_EQ(S_OK, cases.Run(kSelect, rowset.Out()));

    // No second command while the session's rowset is open.
    EXPECT_EQ(DB_E_OBJECTOPEN, cases.Run(kCount));
    ASSERT_FALSE(cases.errors.empty());
    EXPECT_EQ(L"HY000", cases.errors[0].sqlState);
    EXPECT_EQ(DB_E_OBJECTOPEN, Insert(cases, MakeCase(2024, 9, L"Másik")));

    // No fetch while a row fetched before is held.
    HROW first = 0, second = 0;
    HROW* p = &first;
    DBCOUNTITEM got = 0;
    ASSERT_EQ(S_OK, rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &p));
    ASSERT_EQ(1u, got);
    p = &second;
    EXPECT_EQ(DB_E_ROWSNOTRELEASED, rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &p));
    EXPECT_EQ(0u, got);
    ASSERT_EQ(S_OK, rowset->ReleaseRows(1, &first, NULL, NULL, NULL));
    EXPECT_EQ(S_OK, rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &p)) << "the next row once it is released";
    EXPECT_EQ(1u, got);
    rowset->ReleaseRows(1, &second, NULL, NULL, NULL);

    // The rowset gone, the session takes commands again.
    rowset.Reset();
    EXPECT_EQ(L"3", CountCases(cases));
}

TEST_F(StandinTest, TransactionsOfOneSession)
{
    OpenCases();
    EXPECT_EQ(S_OK, cases.Run(L"BEGIN TRANSACTION"));
    EXPECT_EQ(S_OK, Insert(cases, MakeCase(2024, 1, L"Visszavont")));
    EXPECT_EQ(L"1", CountCases(cases));
    EXPECT_EQ(S_OK, cases.Run(L"ROLLBACK TRANSACTION"));
    EXPECT_EQ(L"0", CountCases(cases));
    EXPECT_EQ(S_OK, cases.Run(L"BEGIN TRAN"));
    EXPECT_EQ(S_OK, Insert(cases, MakeCase(2024, 2, L"Megmarad")));
    EXPECT_EQ(S_OK, cases.Run(L"COMMIT TRAN"));
    EXPECT_EQ(L"1", CountCases(cases));
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, cases.Run(L"COMMIT TRANSACTION"));
    ASSERT_FALSE(cases.errors.empty());
    EXPECT_EQ(3902, cases.errors[0].native);
    EXPECT_EQ(L"25000", cases.errors[0].sqlState);
}

// ThreadingModel=Both: a multithreaded apartment uses the provider directly.
TEST_F(StandinTest, WorksInTheMultithreadedApartment)
{
    OpenCases();
    ASSERT_EQ(S_OK, Insert(cases, MakeCase(2024, 1, L"Szál")));
    std::wstring count;
    std::thread worker([&count] {
        CoInitializeEx(NULL, COINIT_MULTITHREADED);
        {
            Connection c;
            if (c.Open(kCases) == S_OK)
                count = CountCases(c);
        }
        CoUninitialize();
    });
    worker.join();
    EXPECT_EQ(L"1", count);
}

} // namespace
