#include "storage/ConnectionManagerSqlServer.h"
#include "foundation/AppSettings.h"
#include "foundation/Log.h"
#include "storage/CtSqlServer.h"
#include "storage/CtUgyirat_SqlServer.h"
#include "storage/OleDbSupport.h"
#include <msdasc.h>
#include <msoledbsql.h>
#include <oleauto.h>

const wchar_t CConnectionManagerSqlServer::kDefaultConnectionString[] =
    L"Provider=MSOLEDBSQL;Server=(local)\\SQLExpress;Database=Folionex;Trusted connection=true;";

const wchar_t CConnectionManagerSqlServer::kCreateTableSql[] =
    L"CREATE TABLE [dbo].[tUgyirat](    [Ev] [int] NOT NULL,    [Nr] [int] NOT NULL,"
    L"    [Allapot] [int] NOT NULL,    [UgyfelNeve] [nvarchar](200) NULL,"
    L"    [EllenfelNeve] [nvarchar](200) NULL,    [UgyJellege] [nvarchar](200) NULL,"
    L"    [Megjegyzes] [nvarchar](200) NULL,    [Datum] [datetime] NOT NULL,    [CC] [nvarchar](48) NULL,"
    L"    [Hataridok] [nvarchar](4000) NULL,"
    L"  CONSTRAINT [PK_tUgyirat] PRIMARY KEY CLUSTERED (    [Ev] ASC,    [Nr] ASC )WITH (PAD_INDEX  = OFF,"
    L" STATISTICS_NORECOMPUTE  = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS  = ON,"
    L" ALLOW_PAGE_LOCKS  = ON) ON [PRIMARY] ) ON [PRIMARY];\n"
    L"ALTER TABLE [dbo].[tUgyirat] ADD  CONSTRAINT [DF_tUgyirat_Allapot]  DEFAULT ((0)) FOR [Allapot];\n"
    L"ALTER TABLE [dbo].[tUgyirat] ADD  CONSTRAINT [DF_tUgyirat_Datum]  DEFAULT (getdate()) FOR [Datum];\n";

const wchar_t CConnectionManagerSqlServer::kUpgradeSql[] =
    L"ALTER TABLE [dbo].[tUgyirat] ADD [Hataridok] [nvarchar](1024) NULL;";
const wchar_t CConnectionManagerSqlServer::kServerCheckSql[] = L"SELECT name FROM master.sys.databases";
const wchar_t CConnectionManagerSqlServer::kStructureCheckSql[] =
    L"SELECT t.name + '/' + c.name FROM %s.sys.columns c INNER JOIN %s.sys.tables t ON c.object_id = t.object_id "
    L"order by t.name, c.name";

namespace {

CConnectionManagerSqlServer* g_pApplicationManager = NULL;

const wchar_t kSystemDatabases[] = L" master tempdb model msdb ";

// The manager's values of the instance and their defaults.
const wchar_t kValueConnectionString[] = L"ConnectionString";
const wchar_t kValueOnline[] = L"Online";
const int kDefaultOnline = 1;
const wchar_t kValueSqlInstance[] = L"SqlInstance";
const wchar_t kDefaultSqlInstance[] = L"(local)\\SQLExpress";
const wchar_t kValueSqlHost[] = L"SqlHost";
const wchar_t kDefaultSqlHost[] = L"127.0.0.1";
const wchar_t kValueSqlDBName[] = L"SqlDBName";
const wchar_t kDefaultSqlDBName[] = L"Folionex";
const wchar_t kValueSqlUser[] = L"SqlUser";
const wchar_t kDefaultSqlUser[] = L"Folionex";
const wchar_t kValueSqlPwd[] = L"SqlPwd";
const wchar_t kDefaultSqlPwd[] = L"mervintolask";
const wchar_t kValueSqlConnectionMode[] = L"SqlConnectionMode";
const int kDefaultSqlConnectionMode = 2;
const wchar_t kValueSqlPort[] = L"SqlPort";
const int kDefaultSqlPort = 1433;
const wchar_t kValueSqlAuthType[] = L"SqlAuthType";
const int kDefaultSqlAuthType = 1;

// A value of the instance, written back so that the profile names it.
CString KeepString(CAppSettings* s, LPCWSTR name, LPCWSTR def)
{
    CString value = s->GetProfileString(name, def);
    s->WriteProfileString(name, value);
    return value;
}

int KeepInt(CAppSettings* s, LPCWSTR name, int def)
{
    int value = s->GetProfileInt(name, def);
    s->WriteProfileInt(name, value);
    return value;
}

bool NeedsQuoting(const CString& value)
{
    int n = value.GetLength();
    if (n == 0)
        return false;
    if (iswspace(value[0]) || iswspace(value[n - 1]))
        return true;
    return value.FindOneOf(L";\"'") >= 0;
}

// A BSTR owned for one scope.
class CBstr
{
public:
    CBstr() : m_b(NULL) {}
    ~CBstr() { SysFreeString(m_b); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    BSTR* Out()
    {
        SysFreeString(m_b);
        m_b = NULL;
        return &m_b;
    }
    LPCWSTR Text() const { return m_b ? m_b : L""; }
    bool Present() const { return m_b != NULL; }

private:
    BSTR m_b;
};

} // namespace

CString QuoteConnectionValue(const CString& value)
{
    if (!NeedsQuoting(value))
        return value;
    CString quoted(value);
    quoted.Replace(L"\"", L"\"\"");
    return L"\"" + quoted + L"\"";
}

CString QuoteSqlName(const CString& name)
{
    CString inner(name);
    inner.Replace(L"]", L"]]");
    return L"[" + inner + L"]";
}

CString MaskConnectionPassword(LPCWSTR connectionString)
{
    static const wchar_t kMask[] = L"***";
    CString text(connectionString ? connectionString : L"");
    CString out;
    int n = text.GetLength();
    int i = 0;
    while (i < n) {
        // One "key=value" pair up to its ';'.
        int eq = i;
        while (eq < n && text[eq] != L'=' && text[eq] != L';')
            ++eq;
        if (eq >= n || text[eq] == L';') {
            out += text.Mid(i, eq < n ? eq - i + 1 : n - i);
            i = eq + 1;
            continue;
        }
        CString key = text.Mid(i, eq - i);
        key.Trim();
        bool secret = key.CompareNoCase(L"Pwd") == 0 || key.CompareNoCase(L"Password") == 0;
        out += text.Mid(i, eq - i + 1);
        int start = eq + 1;
        int v = start;
        while (v < n && iswspace(text[v]))
            ++v;
        int end = v;
        // A quoted value runs to its closing quote (a doubled one is part of
        // it); a braced one, as ODBC and OLE DB read it, to the matching
        // "}" ("}}" is a brace of the value).
        if (v < n && (text[v] == L'"' || text[v] == L'\'' || text[v] == L'{')) {
            wchar_t quote = text[v] == L'{' ? L'}' : text[v];
            bool closed = false;
            end = v + 1;
            while (end < n) {
                if (text[end] == quote) {
                    if (end + 1 < n && text[end + 1] == quote) {
                        end += 2;
                        continue;
                    }
                    ++end;
                    closed = true;
                    break;
                }
                ++end;
            }
            if (!closed) {
                // Where the value ends cannot be told: nothing after it is shown.
                out += kMask;
                break;
            }
        }
        while (end < n && text[end] != L';')
            ++end;
        out += secret ? CString(kMask) : text.Mid(start, end - start);
        if (end < n)
            out += L';';
        i = end + 1;
    }
    return out;
}

CString BuildConnectionString(const CSqlConnectionParams& params, bool toMaster)
{
    CString server;
    if (params.mode == 3)
        server.Format(L"%s,%d", (LPCWSTR)params.host, params.port);
    else
        server = params.instance;
    CString result = L"Provider=MSOLEDBSQL;";
    result += L"Server=" + QuoteConnectionValue(server) + L";";
    result += L"Database=" + QuoteConnectionValue(toMaster ? CString(L"master") : params.database) + L";";
    if (params.auth == 1)
        result += L"Trusted_Connection=yes;";
    else
        result += L"UID=" + QuoteConnectionValue(params.user) + L";Pwd=" + QuoteConnectionValue(params.password) +
                  L";";
    return result;
}

// ---------------------------------------------------------------------------

CConnectionManagerSqlServer::CConnectionManagerSqlServer()
    : Online(true), SqlPort(1433), SqlConnectionMode(2), SqlAuthType(1)
{
}

CConnectionManagerSqlServer::~CConnectionManagerSqlServer()
{
    if (g_pApplicationManager == this)
        g_pApplicationManager = NULL;
}

void CConnectionManagerSqlServer::SetApplicationManager(CConnectionManagerSqlServer* manager)
{
    g_pApplicationManager = manager;
}

CConnectionManagerSqlServer* CConnectionManagerSqlServer::GetApplicationManager()
{
    return g_pApplicationManager;
}

void CConnectionManagerSqlServer::LoadSettings()
{
    CAppSettings* s = GetAppSettings();
    if (!s)
        return;
    CString connection = KeepString(s, kValueConnectionString, kDefaultConnectionString);
    {
        CSingleLock lock(&m_lock, TRUE);
        ConnectionString = connection;
    }
    Online = s->GetProfileInt(kValueOnline, kDefaultOnline) == 1;
    s->WriteProfileInt(kValueOnline, Online ? 1 : 0);
    SqlInstance = KeepString(s, kValueSqlInstance, kDefaultSqlInstance);
    SqlHost = KeepString(s, kValueSqlHost, kDefaultSqlHost);
    SqlDBName = KeepString(s, kValueSqlDBName, kDefaultSqlDBName);
    SqlUser = KeepString(s, kValueSqlUser, kDefaultSqlUser);
    SqlPwd = KeepString(s, kValueSqlPwd, kDefaultSqlPwd);
    SqlConnectionMode = s->GetProfileInt(kValueSqlConnectionMode, kDefaultSqlConnectionMode) == 2 ? 2 : 3;
    s->WriteProfileInt(kValueSqlConnectionMode, SqlConnectionMode);
    SqlPort = KeepInt(s, kValueSqlPort, kDefaultSqlPort);
    SqlAuthType = KeepInt(s, kValueSqlAuthType, kDefaultSqlAuthType);
    s->GetBackupFilePath();
}

CString CConnectionManagerSqlServer::GetConnectionString()
{
    CSingleLock lock(&m_lock, TRUE);
    return ConnectionString;
}

void CConnectionManagerSqlServer::SetOnline(bool online)
{
    Online = online;
    if (CAppSettings* s = GetAppSettings())
        s->WriteProfileInt(kValueOnline, online ? 1 : 0);
}

void CConnectionManagerSqlServer::SetConnectionString(LPCWSTR text)
{
    CString value(text);
    {
        CSingleLock lock(&m_lock, TRUE);
        ConnectionString = value;
    }
    if (CAppSettings* s = GetAppSettings())
        s->WriteProfileString(kValueConnectionString, value);
}

void CConnectionManagerSqlServer::SetConnectionParams(const CSqlConnectionParams& params)
{
    CAppSettings* s = GetAppSettings();
    SetConnectionString(BuildConnectionString(params, false));
    SqlConnectionMode = params.mode;
    SqlAuthType = params.auth;
    SqlDBName = params.database;
    if (s) {
        s->WriteProfileInt(kValueSqlConnectionMode, SqlConnectionMode);
        s->WriteProfileInt(kValueSqlAuthType, SqlAuthType);
        s->WriteProfileString(kValueSqlDBName, SqlDBName);
    }
    if (params.mode == 2) {
        SqlInstance = params.instance;
        if (s)
            s->WriteProfileString(kValueSqlInstance, SqlInstance);
    } else {
        SqlHost = params.host;
        SqlPort = params.port;
        if (s) {
            s->WriteProfileString(kValueSqlHost, SqlHost);
            s->WriteProfileInt(kValueSqlPort, SqlPort);
        }
    }
    if (params.auth == 2) {
        SqlUser = params.user;
        SqlPwd = params.password;
        if (s) {
            s->WriteProfileString(kValueSqlUser, SqlUser);
            s->WriteProfileString(kValueSqlPwd, SqlPwd);
        }
    }
}

bool CConnectionManagerSqlServer::GetConnectionParams(CSqlConnectionParams& params)
{
    params.instance = SqlInstance;
    params.host = SqlHost;
    params.port = SqlPort;
    params.database = SqlDBName;
    params.user = SqlUser;
    params.password = SqlPwd;
    params.mode = SqlConnectionMode;
    params.auth = SqlAuthType;
    return true;
}

// ---------------------------------------------------------------------------
// Checks

bool CConnectionManagerSqlServer::CheckAccess(LPCWSTR connectionString)
{
    COlePtr<IDataInitialize> init;
    HRESULT hr = CoCreateInstance(CLSID_MSDAINITIALIZE, NULL, CLSCTX_INPROC_SERVER, IID_IDataInitialize,
                                  init.OutVoid());
    if (FAILED(hr)) {
        LogFormat(L"CheckAccess.CoCreateInstance error %x", (unsigned)hr);
        return false;
    }
    COlePtr<IDBInitialize> source;
    hr = init->GetDataSource(NULL, CLSCTX_INPROC_SERVER, connectionString, IID_IDBInitialize, source.OutUnknown());
    if (FAILED(hr)) {
        LogFormat(L"CheckAccess.GetDataSource error %x", (unsigned)hr);
        DumpError(init.Get(), IID_IDBInitialize);
        return false;
    }
    hr = source->Initialize();
    if (FAILED(hr)) {
        LogFormat(L"CheckAccess.Initialize error %x", (unsigned)hr);
        DumpError(source.Get(), IID_IDBInitialize);
        return false;
    }
    return hr == S_OK;
}

int CConnectionManagerSqlServer::CheckServer(LPCWSTR masterConnectionString)
{
    Databases.clear();
    LogLine(L"Checking of SQL server:");
    LogSetPrefix(L" # ");
    LogFormat(L"connection: %s", (LPCWSTR)MaskConnectionPassword(masterConnectionString));
    int level = kLevelNone;
    CtSqlServer query(masterConnectionString);
    if (query.OpenAll(kServerCheckSql)) {
        level = kLevelServer;
        while (query.MoveNext()) {
            level |= 2;
            CString name(query.m_szColumn);
            if (CString(kSystemDatabases).Find(L" " + name + L" ") < 0) {
                level |= 4;
                Databases.insert(name);
                LogFormat(L"database: %s", (LPCWSTR)name);
            }
        }
    }
    query.Close();
    LogFormat(L"successlevel: %d", level);
    LogSetPrefix(NULL);
    return level;
}

int CConnectionManagerSqlServer::CheckDBStruct(LPCWSTR connectionString, LPCWSTR database, int& structureCode)
{
    CString name(database);
    LogLine(L"Checking of database structure:");
    LogSetPrefix(L" # ");
    LogFormat(L"connection: %s", (LPCWSTR)MaskConnectionPassword(connectionString));
    LogFormat(L"database: %s", (LPCWSTR)name);
    int level = kLevelNone;
    if (name.IsEmpty()) {
        LogLine(L"no database name: nothing checked");
    } else {
        CString quoted = QuoteSqlName(name);
        CString sql;
        sql.Format(kStructureCheckSql, (LPCWSTR)quoted, (LPCWSTR)quoted);
        CtSqlServer query(connectionString);
        if (query.OpenAll(sql)) {
            level = kLevelNoTable;
            int columns = 0;
            while (query.MoveNext()) {
                level |= 32;
                if (_wcsnicmp(query.m_szColumn, L"tUgyirat/", 9) == 0) {
                    level |= 64;
                    ++columns;
                }
                LogFormat(L"columns: %s", query.m_szColumn);
            }
            if (columns == 10)
                level += 128;
            structureCode = columns == 10 ? kStructureCurrent : kStructureOld;
        }
        query.Close();
    }
    LogFormat(L"successlevel: %d", level);
    LogSetPrefix(NULL);
    return level;
}

int CConnectionManagerSqlServer::CheckAll(const CSqlConnectionParams& params, int& structureCode)
{
    structureCode = 0;
    CString connection = BuildConnectionString(params, false);
    if (CheckAccess(connection)) {
        int level = CheckDBStruct(connection, params.database, structureCode);
        if (level == kLevelCurrent)
            return level;
        if (level == kLevelNoTable || level == kLevelOtherTables || level == kLevelOldTable) {
            // The upgrade goes to the database just checked.
            if (!UpdateDBStruct(params))
                return level;
            level = CheckDBStruct(connection, params.database, structureCode);
            if (level != kLevelNone)
                return level;
        }
    }
    CString master = BuildConnectionString(params, true);
    if (!CheckAccess(master))
        return kLevelNone;
    int level = CheckServer(master);
    if (level >= 4 && Databases.count(params.database))
        level += 8;
    return level;
}

bool CConnectionManagerSqlServer::IsDBStructCurrent()
{
    int code = 0;
    return (CheckDBStruct(GetConnectionString(), SqlDBName, code) & 128) != 0;
}

bool CConnectionManagerSqlServer::UpdateDBStruct()
{
    CtUgyirat_SqlServer table(GetConnectionString());
    return table.Exec(kUpgradeSql);
}

bool CConnectionManagerSqlServer::UpdateDBStruct(const CSqlConnectionParams& params)
{
    if (params.database.IsEmpty())
        return false;
    CtUgyirat_SqlServer table(BuildConnectionString(params, false));
    return table.Exec(kUpgradeSql);
}

// ---------------------------------------------------------------------------
// Creation

bool CConnectionManagerSqlServer::CreateDatabase(const CSqlConnectionParams& params)
{
    if (params.database.IsEmpty()) {
        LogLine(L"CConnectionManagerSqlServer::CreateDatabase: no database name, nothing created");
        return false;
    }
    CString connection = BuildConnectionString(params, true);
    COlePtr<IOpenRowset> session;
    OleDbOpenStep step;
    HRESULT hr = OpenOleDbSession(connection, true, session.Out(), &step);
    if (hr != S_OK) {
        if (FAILED(hr))
            LogFormat(L"CConnectionManagerSqlServer::CreateDatabase error - %x - %s", (unsigned)hr,
                      (LPCWSTR)MaskConnectionPassword(connection));
        return false;
    }
    CString sql;
    sql.Format(L"CREATE DATABASE %s;", (LPCWSTR)QuoteSqlName(params.database));
    COlePtr<ICommandText> command;
    if (FAILED(CreateOleDbCommand(session.Get(), sql, command.Out())))
        return false;
    return command->Execute(NULL, IID_NULL, NULL, NULL, NULL) == S_OK;
}

bool CConnectionManagerSqlServer::CreateDBStruct(const CSqlConnectionParams& params)
{
    if (params.database.IsEmpty()) {
        LogLine(L"CConnectionManagerSqlServer::CreateDBStruct: no database name, nothing created");
        return false;
    }
    COlePtr<IOpenRowset> session;
    OleDbOpenStep step;
    HRESULT hr = OpenOleDbSession(BuildConnectionString(params, false), true, session.Out(), &step);
    if (hr != S_OK) {
        if (FAILED(hr))
            LogFormat(L"CConnectionManagerSqlServer::CreateDBStruct error - %x", (unsigned)hr);
        return false;
    }
    COlePtr<ICommandText> command;
    if (FAILED(CreateOleDbCommand(session.Get(), kCreateTableSql, command.Out())))
        return false;
    return command->Execute(NULL, IID_NULL, NULL, NULL, NULL) == S_OK;
}

// ---------------------------------------------------------------------------
// Error records

static void DumpRecords(IErrorRecords* records)
{
    ULONG count = 0;
    if (FAILED(records->GetRecordCount(&count)))
        count = 0;
    for (ULONG i = 0; i < count; ++i) {
        int n = (int)i;
        ERRORINFO basic;
        ZeroMemory(&basic, sizeof(basic));
        if (SUCCEEDED(records->GetBasicErrorInfo(i, &basic)))
            LogFormat(L"[%d] HRESULT:\t%#X", n, (unsigned)basic.hrError);

        COlePtr<IUnknown> custom;
        if (SUCCEEDED(records->GetCustomErrorObject(i, IID_ISQLErrorInfo, custom.Out())) && custom) {
            COlePtr<ISQLErrorInfo> sql;
            if (SUCCEEDED(custom->QueryInterface(IID_ISQLErrorInfo, sql.OutVoid()))) {
                CBstr state;
                LONG native = 0;
                if (SUCCEEDED(sql->GetSQLInfo(state.Out(), &native))) {
                    LogFormat(L"[%d] SQLSTATE:\t%s", n, state.Text());
                    LogFormat(L"[%d] Native Error:\t%ld", n, native);
                }
                COlePtr<ISQLServerErrorInfo> server;
                if (SUCCEEDED(sql->QueryInterface(kIidSqlServerErrorInfo, server.OutVoid()))) {
                    SSERRORINFO* ss = NULL;
                    OLECHAR* strings = NULL;
                    if (SUCCEEDED(server->GetErrorInfo(&ss, &strings)) && ss) {
                        LogFormat(L"[%d] Error state:\t%d", n, (int)ss->bState);
                        LogFormat(L"[%d] Severity:\t%d", n, (int)ss->bClass);
                    }
                    if (ss)
                        CoTaskMemFree(ss);
                    if (strings)
                        CoTaskMemFree(strings);
                }
            }
        }

        COlePtr<IErrorInfo> record;
        if (SUCCEEDED(records->GetErrorInfo(i, 1033, record.Out())) && record) {
            CBstr source, description;
            if (SUCCEEDED(record->GetSource(source.Out())) && source.Present())
                LogFormat(L"[%d] Source:\t%s", n, source.Text());
            if (SUCCEEDED(record->GetDescription(description.Out())) && description.Present())
                LogFormat(L"[%d] Description:\t%s\n", n, description.Text());
        }
    }
}

void CConnectionManagerSqlServer::DumpError(IUnknown* object, REFIID iid)
{
    LogLine(L"CConnectionManagerSqlServer::DumpError");
    LogSetPrefix(L"  ");
    COlePtr<ISupportErrorInfo> support;
    if (!object || FAILED(object->QueryInterface(IID_ISupportErrorInfo, support.OutVoid())) || !support) {
        LogLine(L"SupportErrorErrorInfo interface not supported");
    } else if (support->InterfaceSupportsErrorInfo(iid) != S_OK) {
        LogLine(L"InterfaceWithError interface not supported");
    } else {
        COlePtr<IErrorInfo> info;
        if (::GetErrorInfo(0, info.Out()) != S_OK || !info) {
            LogLine(L"GetErrorInfo failed.");
        } else {
            COlePtr<IErrorRecords> records;
            if (FAILED(info->QueryInterface(IID_IErrorRecords, records.OutVoid())) || !records) {
                CBstr source, description;
                if (SUCCEEDED(info->GetSource(source.Out())) && source.Present())
                    LogFormat(L"Source:\t%s", source.Text());
                if (SUCCEEDED(info->GetDescription(description.Out())) && description.Present())
                    LogFormat(L"Description:\t % s", description.Text());
            } else {
                DumpRecords(records.Get());
            }
        }
    }
    LogSetPrefix(NULL);
}
