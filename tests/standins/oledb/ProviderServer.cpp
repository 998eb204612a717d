#include "ProviderServer.h"
#include <oledberr.h>
#include <sqlite3.h>
#include <algorithm>
#include <cstdio>

namespace oledb_standin {

namespace {

// The statements Folionex sends, exactly. {int} stands for a decimal
// integer, {name} for a bracket-quoted name ("]" doubled inside).
const wchar_t kCreateCaseTableScript[] =
    L"CREATE TABLE [dbo].[tUgyirat](    [Ev] [int] NOT NULL,    [Nr] [int] NOT NULL,    [Allapot] [int] NOT NULL,"
    L"    [UgyfelNeve] [nvarchar](200) NULL,    [EllenfelNeve] [nvarchar](200) NULL,    [UgyJellege] [nvarchar](200)"
    L" NULL,    [Megjegyzes] [nvarchar](200) NULL,    [Datum] [datetime] NOT NULL,    [CC] [nvarchar](48) NULL,"
    L"    [Hataridok] [nvarchar](4000) NULL,  CONSTRAINT [PK_tUgyirat] PRIMARY KEY CLUSTERED (    [Ev] ASC,    [Nr]"
    L" ASC )WITH (PAD_INDEX  = OFF, STATISTICS_NORECOMPUTE  = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS  = ON,"
    L" ALLOW_PAGE_LOCKS  = ON) ON [PRIMARY] ) ON [PRIMARY];\n"
    L"ALTER TABLE [dbo].[tUgyirat] ADD  CONSTRAINT [DF_tUgyirat_Allapot]  DEFAULT ((0)) FOR [Allapot];\n"
    L"ALTER TABLE [dbo].[tUgyirat] ADD  CONSTRAINT [DF_tUgyirat_Datum]  DEFAULT (getdate()) FOR [Datum];\n";

struct Pattern
{
    StatementKind kind;
    const wchar_t* text;
};

const Pattern kPatterns[] = {
    {kSelectCases,
     L"SELECT Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, Datum, CC, Hataridok FROM "
     L"dbo.tUgyirat"},
    {kInsertCase,
     L"INSERT INTO tUgyirat       (Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, CC, Datum,"
     L" Hataridok)       VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"},
    {kUpdateCase,
     L"UPDATE tUgyirat SET Ev = ?, Nr = ?, Allapot = ?, UgyfelNeve = ?,       EllenfelNeve = ?, UgyJellege = ?,"
     L" Megjegyzes = ?, CC = ?, Hataridok = ? WHERE Ev * 65536 + Nr = ?"},
    {kDeleteCase, L"DELETE FROM tUgyirat WHERE Ev = {int} AND Nr = {int}"},
    {kSetCaseState, L"UPDATE tUgyirat SET Allapot = {int} WHERE Ev = {int} AND Nr = {int}"},
    {kDeleteAllCases, L"DELETE FROM tUgyirat;"},
    {kCountCases, L"SELECT COUNT(*) FROM tUgyirat"},
    {kListDatabases, L"SELECT name FROM master.sys.databases"},
    {kListColumns,
     L"SELECT t.name + '/' + c.name FROM {name}.sys.columns c INNER JOIN {name}.sys.tables t ON c.object_id ="
     L" t.object_id order by t.name, c.name"},
    {kCreateDatabase, L"CREATE DATABASE {name};"},
    {kCreateCaseTable, kCreateCaseTableScript},
    {kAddDeadlineColumn, L"ALTER TABLE [dbo].[tUgyirat] ADD [Hataridok] [nvarchar](1024) NULL;"},
    {kBeginTransaction, L"BEGIN TRANSACTION"},
    {kBeginTransaction, L"BEGIN TRAN"},
    {kCommitTransaction, L"COMMIT TRANSACTION"},
    {kCommitTransaction, L"COMMIT TRAN"},
    {kCommitTransaction, L"COMMIT"},
    {kRollbackTransaction, L"ROLLBACK TRANSACTION"},
    {kRollbackTransaction, L"ROLLBACK TRAN"},
    {kRollbackTransaction, L"ROLLBACK"},
};

const wchar_t* const kSelectColumns[] = {L"Ev",         L"Nr",    L"Allapot", L"UgyfelNeve", L"EllenfelNeve",
                                         L"UgyJellege", L"Megjegyzes", L"Datum", L"CC",       L"Hataridok"};
const wchar_t* const kInsertColumns[] = {L"Ev",         L"Nr",         L"Allapot", L"UgyfelNeve", L"EllenfelNeve",
                                         L"UgyJellege", L"Megjegyzes", L"CC",      L"Datum",      L"Hataridok"};
const wchar_t* const kUpdateColumns[] = {L"Ev",         L"Nr",         L"Allapot", L"UgyfelNeve", L"EllenfelNeve",
                                         L"UgyJellege", L"Megjegyzes", L"CC",      L"Hataridok"};

bool MatchPattern(const wchar_t* pattern, const std::wstring& text, Statement* st)
{
    size_t t = 0;
    for (const wchar_t* p = pattern; *p;) {
        if (wcsncmp(p, L"{int}", 5) == 0) {
            size_t start = t;
            if (t < text.size() && text[t] == L'-')
                ++t;
            size_t digits = t;
            while (t < text.size() && text[t] >= L'0' && text[t] <= L'9')
                ++t;
            if (t == digits || t - digits > 10)
                return false;
            long long v = _wtoi64(text.substr(start, t - start).c_str());
            if (v < INT_MIN || v > INT_MAX)
                return false;
            st->numbers.push_back(static_cast<long>(v));
            p += 5;
            continue;
        }
        if (wcsncmp(p, L"{name}", 6) == 0) {
            if (t >= text.size() || text[t] != L'[')
                return false;
            ++t;
            std::wstring name;
            for (;;) {
                if (t >= text.size())
                    return false;
                if (text[t] == L']') {
                    if (t + 1 < text.size() && text[t + 1] == L']') {
                        name += L']';
                        t += 2;
                        continue;
                    }
                    ++t;
                    break;
                }
                name += text[t++];
            }
            st->names.push_back(name);
            p += 6;
            continue;
        }
        if (t >= text.size() || text[t] != *p)
            return false;
        if (*p == L'?')
            ++st->parameters;
        ++t;
        ++p;
    }
    return t == text.size();
}

std::wstring Format(const wchar_t* format, ...)
{
    wchar_t buf[2048];
    va_list args;
    va_start(args, format);
    _vsnwprintf(buf, 2047, format, args);
    va_end(args);
    buf[2047] = 0;
    return buf;
}

std::wstring Trim(const std::wstring& text)
{
    size_t b = text.find_first_not_of(L" \t");
    if (b == std::wstring::npos)
        return std::wstring();
    size_t e = text.find_last_not_of(L" \t");
    return text.substr(b, e - b + 1);
}

bool IsOneOf(const std::wstring& key, std::initializer_list<const wchar_t*> names)
{
    for (const wchar_t* n : names)
        if (_wcsicmp(key.c_str(), n) == 0)
            return true;
    return false;
}

std::wstring WindowsAccount()
{
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = L"";
    DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(computer, &n);
    wchar_t user[256] = L"";
    DWORD u = 256;
    GetUserNameW(user, &u);
    return std::wstring(computer) + L"\\" + user;
}

bool ServerAccepted(const Control& control, const std::wstring& server)
{
    std::vector<std::wstring> servers = SplitList(control.Get(L"Servers"));
    if (servers.empty())
        return true;
    for (const std::wstring& s : servers)
        if (SameName(s, server))
            return true;
    return false;
}

bool InList(const std::wstring& list, const std::wstring& name)
{
    for (const std::wstring& s : SplitList(list))
        if (SameName(s, name))
            return true;
    return false;
}

ErrorList Unreachable()
{
    ErrorList e;
    e.push_back(DriverError(L"08001", L"Named Pipes Provider: Could not open a connection to SQL Server [53]. "));
    e.back().native = 53;
    e.push_back(DriverError(L"HYT00", L"Login timeout expired"));
    e.push_back(DriverError(L"08001", L"A network-related or instance-specific error has occurred while establishing "
                                      L"a connection to SQL Server. Server is not found or not accessible. Check if "
                                      L"instance name is correct and if SQL Server is configured to allow remote "
                                      L"connections. For more information see SQL Server Books Online."));
    e.back().native = 53;
    return e;
}

ErrorData LoginFailed(const std::wstring& login)
{
    ErrorData e = ServerError(18456, 14, L"28000", L"Login failed for user '" + login + L"'.");
    return e;
}

ErrorData InternalError(const std::wstring& what)
{
    return ServerError(50000, 16, L"42000", L"The test server failed: " + what);
}

// Global lock of the control file's read-modify-write ("Fail.Times").
CRITICAL_SECTION* ControlLock()
{
    struct Lock
    {
        CRITICAL_SECTION cs;
        Lock() { InitializeCriticalSection(&cs); }
    };
    static Lock lock;
    return &lock.cs;
}

void ParseDeclaredType(const std::wstring& declared, ColumnInfo* c)
{
    std::wstring d(declared);
    for (wchar_t& ch : d)
        ch = static_cast<wchar_t>(towlower(ch));
    if (d.compare(0, 3, L"int") == 0 || d == L"bigint" || d == L"smallint" || d == L"tinyint" || d == L"bit") {
        c->type = kIntColumn;
        c->chars = 0;
    } else if (d.compare(0, 8, L"datetime") == 0) {
        c->type = kTimeColumn;
        c->chars = 0;
    } else {
        c->type = kTextColumn;
        size_t open = d.find(L'(');
        c->chars = 4000;
        if (open != std::wstring::npos) {
            if (d.compare(open + 1, 3, L"max") == 0)
                c->chars = 0x3fffffff;
            else
                c->chars = static_cast<DBLENGTH>(_wtoi(d.c_str() + open + 1));
        }
    }
}

// The columns of a table, in their order; found is false when there is no such table.
bool TableColumns(sqlite3* db, const std::wstring& table, std::vector<ColumnInfo>* cols, bool* found,
                  std::wstring* error)
{
    cols->clear();
    sqlite3_stmt* st = NULL;
    if (sqlite3_prepare_v2(db, "SELECT name, type, \"notnull\" FROM pragma_table_info(?1)", -1, &st, NULL) !=
        SQLITE_OK) {
        *error = FromUtf8(sqlite3_errmsg(db));
        return false;
    }
    std::string t = ToUtf8(table);
    sqlite3_bind_text(st, 1, t.c_str(), -1, SQLITE_TRANSIENT);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        ColumnInfo c;
        c.name = FromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        const unsigned char* type = sqlite3_column_text(st, 1);
        ParseDeclaredType(FromUtf8(type ? reinterpret_cast<const char*>(type) : ""), &c);
        c.nullable = sqlite3_column_int(st, 2) == 0;
        cols->push_back(c);
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        *error = FromUtf8(sqlite3_errmsg(db));
        return false;
    }
    *found = !cols->empty();
    return true;
}

const ColumnInfo* FindColumn(const std::vector<ColumnInfo>& cols, const std::wstring& name)
{
    for (const ColumnInfo& c : cols)
        if (SameName(c.name, name))
            return &c;
    return NULL;
}

const wchar_t* TypeName(ColumnType t)
{
    return t == kIntColumn ? L"int" : t == kTimeColumn ? L"datetime" : L"nvarchar";
}

const wchar_t* BoundTypeName(DBTYPE t)
{
    switch (t) {
    case DBTYPE_I4: return L"int";
    case DBTYPE_WSTR: return L"nvarchar";
    case DBTYPE_DBTIMESTAMP: return L"datetime2";
    default: return L"sql_variant";
    }
}

bool TypeFits(DBTYPE bound, ColumnType column)
{
    return (bound == DBTYPE_I4 && column == kIntColumn) || (bound == DBTYPE_WSTR && column == kTextColumn) ||
           (bound == DBTYPE_DBTIMESTAMP && column == kTimeColumn);
}

int DaysIn(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// SQL Server's datetime keeps 1/300 seconds: the time is rounded to it and
// shown to the millisecond (.000, .003, .007).
std::wstring StoredTime(const DBTIMESTAMP& ts)
{
    SYSTEMTIME s = {};
    s.wYear = static_cast<WORD>(ts.year);
    s.wMonth = ts.month;
    s.wDay = ts.day;
    s.wHour = ts.hour;
    s.wMinute = ts.minute;
    s.wSecond = ts.second;
    FILETIME f;
    SystemTimeToFileTime(&s, &f);
    ULONGLONG t = (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    ULONGLONG ticks = (static_cast<ULONGLONG>(ts.fraction) * 300 + 500000000ULL) / 1000000000ULL;
    t += ticks / 300 * 10000000ULL;
    ticks %= 300;
    f.dwHighDateTime = static_cast<DWORD>(t >> 32);
    f.dwLowDateTime = static_cast<DWORD>(t);
    FileTimeToSystemTime(&f, &s);
    int ms = static_cast<int>((ticks * 1000 + 150) / 300);
    wchar_t buf[32];
    swprintf(buf, 32, L"%04u-%02u-%02u %02u:%02u:%02u.%03d", s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute,
             s.wSecond, ms);
    return buf;
}

// "yyyy-mm-dd hh:mm:ss.fff", the seconds and milliseconds optional.
bool ParseStoredTime(const std::wstring& text, DBTIMESTAMP* ts)
{
    const wchar_t* p = text.c_str();
    auto number = [&p](int digits, unsigned* out) {
        unsigned n = 0;
        for (int i = 0; i < digits; ++i, ++p) {
            if (*p < L'0' || *p > L'9')
                return false;
            n = n * 10 + (*p - L'0');
        }
        *out = n;
        return true;
    };
    auto separator = [&p](wchar_t c) { return *p == c ? (++p, true) : false; };
    unsigned y, mo, d, h = 0, mi = 0, s = 0, ms = 0;
    if (!number(4, &y) || !separator(L'-') || !number(2, &mo) || !separator(L'-') || !number(2, &d))
        return false;
    if (separator(L' ') && !(number(2, &h) && separator(L':') && number(2, &mi)))
        return false;
    if (separator(L':') && !number(2, &s))
        return false;
    if (separator(L'.') && !number(3, &ms))
        return false;
    if (*p)
        return false;
    ts->year = static_cast<SHORT>(y);
    ts->month = static_cast<USHORT>(mo);
    ts->day = static_cast<USHORT>(d);
    ts->hour = static_cast<USHORT>(h);
    ts->minute = static_cast<USHORT>(mi);
    ts->second = static_cast<USHORT>(s);
    ts->fraction = ms * 1000000UL;
    return IsValidTimestamp(*ts);
}

void Bind(sqlite3_stmt* st, int i, const Value& v)
{
    switch (v.kind) {
    case Value::kNull: sqlite3_bind_null(st, i); break;
    case Value::kInt: sqlite3_bind_int64(st, i, v.i); break;
    case Value::kText:
        sqlite3_bind_text16(st, i, v.s.c_str(), static_cast<int>(v.s.size() * sizeof(wchar_t)), SQLITE_TRANSIENT);
        break;
    case Value::kTime: {
        std::string t = ToUtf8(StoredTime(v.ts));
        sqlite3_bind_text(st, i, t.c_str(), -1, SQLITE_TRANSIENT);
        break;
    }
    }
}

Value ReadColumn(sqlite3_stmt* st, int i, ColumnType type)
{
    Value v;
    int stored = sqlite3_column_type(st, i);
    if (stored == SQLITE_NULL)
        return v;
    if (type == kIntColumn && stored == SQLITE_INTEGER) {
        v.kind = Value::kInt;
        v.i = sqlite3_column_int64(st, i);
        return v;
    }
    const wchar_t* text = static_cast<const wchar_t*>(sqlite3_column_text16(st, i));
    v.kind = Value::kText;
    v.s.assign(text ? text : L"", sqlite3_column_bytes16(st, i) / sizeof(wchar_t));
    if (type == kTimeColumn && ParseStoredTime(v.s, &v.ts))
        v.kind = Value::kTime;
    return v;
}

HRESULT ResultOf(const ErrorList& errors)
{
    return errors.front().sqlState == L"23000" ? DB_E_INTEGRITYVIOLATION : DB_E_ERRORSINCOMMAND;
}

// The row-level checks of an INSERT or UPDATE of the case table: the
// values against the columns' types, NULL rules and lengths.
bool CheckValues(const std::vector<ColumnInfo>& cols, const wchar_t* const* names,
                 const std::vector<ParamValue>& params,
                 const std::wstring& database, const wchar_t* verb, ErrorList* errors)
{
    for (size_t i = 0; i < params.size(); ++i) {
        const ColumnInfo* c = names ? FindColumn(cols, names[i]) : NULL;
        if (names && !c)
            errors->push_back(ServerError(207, 16, L"42S22", Format(L"Invalid column name '%ls'.", names[i])));
    }
    if (!errors->empty())
        return false;
    for (size_t i = 0; i < params.size(); ++i) {
        const ColumnInfo* c = FindColumn(cols, names[i]);
        if (!TypeFits(params[i].type, c->type)) {
            errors->push_back(ServerError(206, 16, L"22018",
                                          Format(L"Operand type clash: %ls is incompatible with %ls",
                                                 BoundTypeName(params[i].type), TypeName(c->type))));
            return false;
        }
    }
    for (size_t i = 0; i < params.size(); ++i) {
        const ColumnInfo* c = FindColumn(cols, names[i]);
        const Value& v = params[i].value;
        if (v.kind == Value::kNull && !c->nullable)
            errors->push_back(ServerError(515, 16, L"23000",
                                          Format(L"Cannot insert the value NULL into column '%ls', table "
                                                 L"'%ls.dbo.tUgyirat'; column does not allow nulls. %ls fails.",
                                                 c->name.c_str(), database.c_str(), verb)));
        else if (v.kind == Value::kText && v.s.size() > c->chars)
            errors->push_back(ServerError(8152, 16, L"22001", L"String or binary data would be truncated."));
        else if (v.kind == Value::kTime && (v.ts.year < 1753 || v.ts.year > 9999))
            errors->push_back(ServerError(242, 16, L"22007",
                                          L"The conversion of a datetime2 data type to a datetime data type "
                                          L"resulted in an out-of-range value."));
        if (!errors->empty()) {
            errors->push_back(StatementTerminated());
            return false;
        }
    }
    return true;
}

ErrorData NoTable(const wchar_t* name)
{
    return ServerError(208, 16, L"42S02", Format(L"Invalid object name '%ls'.", name));
}

int CompareNames(const std::wstring& a, const std::wstring& b)
{
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                          static_cast<int>(b.size())) - CSTR_EQUAL;
}

} // namespace

bool Recognize(const std::wstring& text, Statement* statement)
{
    for (const Pattern& p : kPatterns) {
        for (int semicolon = 0; semicolon < 2; ++semicolon) {
            bool transaction = p.kind >= kBeginTransaction;
            if (semicolon && !transaction)
                break;
            std::wstring pattern = p.text;
            if (semicolon)
                pattern += L';';
            Statement st;
            st.kind = p.kind;
            if (!MatchPattern(pattern.c_str(), text, &st))
                continue;
            // Folionex names one database in both places of the listing.
            if (st.kind == kListColumns && st.names[0] != st.names[1])
                return false;
            *statement = st;
            return true;
        }
    }
    return false;
}

std::vector<ParamDescription> DescribeParameters(const Statement& statement)
{
    std::vector<ParamDescription> params;
    if (statement.kind != kInsertCase && statement.kind != kUpdateCase)
        return params;
    const wchar_t* const* names = statement.kind == kInsertCase ? kInsertColumns : kUpdateColumns;
    size_t named = statement.kind == kInsertCase ? 10 : 9;
    for (size_t i = 0; i < 10; ++i) {
        ParamDescription d;
        d.name = L"@P" + std::to_wstring(i + 1);
        std::wstring column = i < named ? names[i] : L"Ev";
        if (column == L"Ev" || column == L"Nr" || column == L"Allapot") {
            d.type = DBTYPE_I4;
            d.size = 4;
        } else if (column == L"Datum") {
            d.type = DBTYPE_DBTIMESTAMP;
            d.size = 16;
        } else {
            d.type = DBTYPE_WSTR;
            d.size = column == L"CC" ? 48 : column == L"Hataridok" ? 4000 : 200;
        }
        params.push_back(d);
    }
    return params;
}

void ConnectionSettings::Apply(const std::wstring& rawKey, const std::wstring& value)
{
    std::wstring key = Trim(rawKey);
    if (IsOneOf(key, {L"Server", L"Data Source", L"Address", L"Addr", L"Network Address"})) {
        server = value;
    } else if (IsOneOf(key, {L"Database", L"Initial Catalog"})) {
        database = value;
    } else if (IsOneOf(key, {L"Trusted_Connection", L"Trusted connection", L"Integrated Security"})) {
        std::wstring v = Trim(value);
        if (IsOneOf(v, {L"yes", L"true", L"sspi"}))
            trusted = true;
        else if (IsOneOf(v, {L"no", L"false"}))
            trusted = false;
        else
            badValues.push_back(key);
    } else if (IsOneOf(key, {L"UID", L"User ID"})) {
        user = value;
    } else if (IsOneOf(key, {L"PWD", L"Password"})) {
        password = value;
    } else {
        unknown.push_back(key);
    }
}

HRESULT Login(const ConnectionSettings& settings, LoginResult* result, ErrorList* errors)
{
    result->folder = DataFolderFromEnvironment();
    result->server = settings.server;
    const std::wstring& folder = result->folder;
    if (!settings.unknown.empty() || !settings.badValues.empty()) {
        for (const std::wstring& k : settings.unknown)
            errors->push_back(DriverError(L"01S00", L"Invalid connection string attribute '" + k + L"'"));
        for (const std::wstring& k : settings.badValues)
            errors->push_back(DriverError(L"01S00", L"Invalid value for connection string attribute '" + k + L"'"));
        AppendTrace(folder, L"login refused: connection string");
        return E_FAIL;
    }
    Control control;
    control.Load(folder);
    if (folder.empty() || control.GetInt(L"Down", 0) != 0 || !ServerAccepted(control, settings.server)) {
        *errors = Unreachable();
        AppendTrace(folder, L"login refused: server " + settings.server + L" unreachable");
        return E_FAIL;
    }
    std::wstring login = settings.trusted ? WindowsAccount() : settings.user;
    result->login = login;
    if (settings.trusted) {
        if (control.GetInt(L"WindowsLogin", 1) == 0) {
            errors->push_back(ServerError(18452, 14, L"28000",
                                          L"Login failed. The login is from an untrusted domain and cannot be used "
                                          L"with Integrated authentication."));
            AppendTrace(folder, L"login refused: Windows authentication");
            return E_FAIL;
        }
    } else {
        std::wstring key = L"Login." + login;
        if (login.empty() || !control.Has(key) || control.Get(key) != settings.password) {
            errors->push_back(LoginFailed(login));
            AppendTrace(folder, L"login refused: user " + login);
            return E_FAIL;
        }
    }
    std::wstring name = settings.database.empty() ? std::wstring(L"master") : settings.database;
    bool found = false;
    std::wstring error;
    if (!FindDatabase(folder, name, &result->database, &found, &error)) {
        errors->push_back(DriverError(L"08001", L"The test server cannot read its master: " + error));
        return E_FAIL;
    }
    if (!found || InList(control.Get(L"NoAccess"), name)) {
        errors->push_back(ServerError(
            4060, 11, L"42000", L"Cannot open database \"" + name + L"\" requested by the login. The login failed."));
        errors->push_back(LoginFailed(login));
        AppendTrace(folder, L"login refused: database " + name);
        return E_FAIL;
    }
    AppendTrace(folder, L"login " + login + L" database " + result->database.name);
    return S_OK;
}

bool ServerIsDown(const std::wstring& folder, const std::wstring& server)
{
    Control c;
    c.Load(folder);
    return folder.empty() || c.GetInt(L"Down", 0) != 0 || !ServerAccepted(c, server);
}

ErrorList LinkFailure()
{
    ErrorList e;
    e.push_back(
        DriverError(L"08S01", L"TCP Provider: An existing connection was forcibly closed by the remote host."));
    e.back().native = 10054;
    e.push_back(DriverError(L"08S01", L"Communication link failure"));
    e.back().native = 10054;
    return e;
}

void ReadStatementControl(const std::wstring& folder, const std::wstring& server, const std::wstring& text,
                          bool* down, FailurePlan* plan)
{
    *plan = FailurePlan();
    EnterCriticalSection(ControlLock());
    Control c;
    c.Load(folder);
    *down = c.GetInt(L"Down", 0) != 0 || !ServerAccepted(c, server);
    std::wstring match = c.Get(L"Fail.Statement");
    if (!*down && !match.empty() && (match == L"*" || text.find(match) != std::wstring::npos)) {
        std::wstring at = Trim(c.Get(L"Fail.At", L"Execute"));
        plan->phase = IsOneOf(at, {L"GetNextRows"}) ? FailurePlan::kAtFetch
                      : IsOneOf(at, {L"GetData"})   ? FailurePlan::kAtGetData
                                                    : FailurePlan::kAtExecute;
        plan->afterRows = c.GetInt(L"Fail.AfterRows", 0);
        if (c.Has(L"Fail.Native")) {
            long native = c.GetInt(L"Fail.Native", 50000);
            std::wstring state = Trim(c.Get(L"Fail.SqlState", L"42000"));
            std::wstring message =
                c.Get(L"Fail.Message", Format(L"The statement failed as the test asked (error %ld).", native));
            plan->errors.push_back(ServerError(native, 16, state.c_str(), message));
            plan->hr = DB_E_ERRORSINCOMMAND;
        } else if (plan->phase == FailurePlan::kAtExecute) {
            ErrorData e = ServerError(1205, 13, L"40001",
                                      L"Transaction (Process ID 57) was deadlocked on lock resources with another "
                                      L"process and has been chosen as the deadlock victim. Rerun the transaction.");
            e.state = 51;
            plan->errors.push_back(e);
            plan->hr = DB_E_ERRORSINCOMMAND;
        } else {
            plan->errors = LinkFailure();
            plan->hr = E_FAIL;
        }
        if (c.Has(L"Fail.Times")) {
            long times = c.GetInt(L"Fail.Times", 1);
            if (times <= 1) {
                for (const std::wstring& k : c.KeysWithPrefix(L"Fail."))
                    c.Remove(k);
            } else {
                c.Set(L"Fail.Times", std::to_wstring(times - 1));
            }
            c.Save(folder);
        }
    }
    LeaveCriticalSection(ControlLock());
}

ServerConnection::ServerConnection(const LoginResult& login) : m_login(login)
{
    InitializeCriticalSection(&m_lock);
}

ServerConnection::~ServerConnection()
{
    // An open transaction ends with the session, as with SQL Server: rolled back.
    if (m_db)
        sqlite3_close(m_db);
    DeleteCriticalSection(&m_lock);
}

bool ServerConnection::Open(ErrorList* errors)
{
    std::wstring error;
    m_db = OpenDatabaseFile(m_login.database.file, &error);
    if (!m_db) {
        errors->push_back(DriverError(L"08001", L"The test server cannot open its database: " + error));
        return false;
    }
    return true;
}

HRESULT ServerConnection::RunChange(const char* sql, const std::vector<Value>& binds, const wchar_t* verb,
                                    DBROWCOUNT* affected, ErrorList* errors)
{
    sqlite3_stmt* st = NULL;
    if (sqlite3_prepare_v2(m_db, sql, -1, &st, NULL) != SQLITE_OK) {
        errors->push_back(InternalError(FromUtf8(sqlite3_errmsg(m_db))));
        return DB_E_ERRORSINCOMMAND;
    }
    for (size_t i = 0; i < binds.size(); ++i)
        Bind(st, static_cast<int>(i + 1), binds[i]);
    int rc = sqlite3_step(st);
    int extended = sqlite3_extended_errcode(m_db);
    std::wstring message = FromUtf8(sqlite3_errmsg(m_db));
    sqlite3_finalize(st);
    if (rc == SQLITE_DONE) {
        *affected = static_cast<DBROWCOUNT>(sqlite3_changes(m_db));
        return S_OK;
    }
    if (extended == SQLITE_CONSTRAINT_PRIMARYKEY || extended == SQLITE_CONSTRAINT_UNIQUE) {
        // The new key is the first two values of an insert or update.
        errors->push_back(ServerError(2627, 14, L"23000",
                                      Format(L"Violation of PRIMARY KEY constraint 'PK_tUgyirat'. Cannot insert "
                                             L"duplicate key in object 'dbo.tUgyirat'. The duplicate key value is "
                                             L"(%ld, %ld).",
                                             static_cast<long>(binds[0].i), static_cast<long>(binds[1].i))));
        errors->push_back(StatementTerminated());
        return DB_E_INTEGRITYVIOLATION;
    }
    if (rc == SQLITE_BUSY) {
        errors->push_back(ServerError(1222, 16, L"HY000", L"Lock request time out period exceeded."));
        errors->push_back(StatementTerminated());
        return DB_E_ERRORSINCOMMAND;
    }
    errors->push_back(InternalError(std::wstring(verb) + L": " + message));
    return DB_E_ERRORSINCOMMAND;
}

HRESULT ServerConnection::ListColumns(const std::wstring& database, ResultSet* rows, ErrorList* errors)
{
    DatabaseEntry entry;
    bool found = false;
    std::wstring error;
    if (!FindDatabase(m_login.folder, database, &entry, &found, &error)) {
        errors->push_back(InternalError(error));
        return DB_E_ERRORSINCOMMAND;
    }
    if (!found) {
        errors->push_back(NoTable((database + L".sys.columns").c_str()));
        return DB_E_ERRORSINCOMMAND;
    }
    Control control;
    control.Load(m_login.folder);
    if (InList(control.Get(L"NoAccess"), entry.name)) {
        errors->push_back(ServerError(916, 14, L"42000",
                                      L"The server principal \"" + m_login.login +
                                          L"\" is not able to access the database \"" + entry.name +
                                          L"\" under the current security context."));
        return DB_E_ERRORSINCOMMAND;
    }
    bool own = SameName(entry.file, m_login.database.file);
    sqlite3* db = own ? m_db : OpenDatabaseFile(entry.file, &error);
    if (!db) {
        errors->push_back(InternalError(error));
        return DB_E_ERRORSINCOMMAND;
    }
    std::vector<std::pair<std::wstring, std::wstring>> names;
    std::vector<std::wstring> tables;
    sqlite3_stmt* st = NULL;
    const char* sql = "SELECT name FROM sqlite_master WHERE type = 'table'"
                      " AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND name NOT LIKE 'standin\\_%' ESCAPE '\\'";
    bool ok = sqlite3_prepare_v2(db, sql, -1, &st, NULL) == SQLITE_OK;
    while (ok && sqlite3_step(st) == SQLITE_ROW)
        tables.push_back(FromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))));
    sqlite3_finalize(st);
    for (const std::wstring& t : tables) {
        std::vector<ColumnInfo> cols;
        bool exists = false;
        ok = ok && TableColumns(db, t, &cols, &exists, &error);
        for (const ColumnInfo& c : cols)
            names.push_back(std::make_pair(t, c.name));
    }
    if (!ok && error.empty())
        error = FromUtf8(sqlite3_errmsg(db));
    if (!own)
        sqlite3_close(db);
    if (!ok) {
        errors->push_back(InternalError(error));
        return DB_E_ERRORSINCOMMAND;
    }
    std::sort(names.begin(), names.end(), [](const std::pair<std::wstring, std::wstring>& a,
                                             const std::pair<std::wstring, std::wstring>& b) {
        int byTable = CompareNames(a.first, b.first);
        return byTable != 0 ? byTable < 0 : CompareNames(a.second, b.second) < 0;
    });
    ColumnInfo column;
    column.type = kTextColumn;
    column.chars = 257;
    rows->columns.push_back(column);
    for (const auto& n : names) {
        Value v;
        v.kind = Value::kText;
        v.s = n.first + L"/" + n.second;
        rows->rows.push_back(std::vector<Value>(1, v));
    }
    return S_OK;
}

HRESULT ServerConnection::Execute(const Statement& statement, const std::vector<ParamValue>& params,
                                  ResultSet* rows, bool* hasRows, DBROWCOUNT* affected, ErrorList* errors)
{
    struct Guard
    {
        CRITICAL_SECTION* cs;
        explicit Guard(CRITICAL_SECTION* c) : cs(c) { EnterCriticalSection(cs); }
        ~Guard() { LeaveCriticalSection(cs); }
    } guard(&m_lock);

    *hasRows = false;
    *affected = -1;
    std::wstring error;
    std::vector<ColumnInfo> cols;
    bool found = false;
    bool needsCaseTable = statement.kind <= kCountCases || statement.kind == kAddDeadlineColumn ||
                          statement.kind == kCreateCaseTable;
    if (needsCaseTable && !TableColumns(m_db, L"tUgyirat", &cols, &found, &error)) {
        errors->push_back(InternalError(error));
        return DB_E_ERRORSINCOMMAND;
    }
    const std::wstring& dbName = m_login.database.name;
    switch (statement.kind) {
    case kSelectCases: {
        if (!found) {
            errors->push_back(NoTable(L"dbo.tUgyirat"));
            return DB_E_ERRORSINCOMMAND;
        }
        for (const wchar_t* name : kSelectColumns) {
            const ColumnInfo* c = FindColumn(cols, name);
            if (!c)
                errors->push_back(ServerError(207, 16, L"42S22", Format(L"Invalid column name '%ls'.", name)));
            else
                rows->columns.push_back(*c);
        }
        if (!errors->empty())
            return DB_E_ERRORSINCOMMAND;
        sqlite3_stmt* st = NULL;
        // A clustered primary key: SQL Server hands the rows out in key order.
        if (sqlite3_prepare_v2(m_db,
                               "SELECT Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, Datum, CC,"
                               " Hataridok FROM tUgyirat ORDER BY Ev, Nr",
                               -1, &st, NULL) != SQLITE_OK) {
            errors->push_back(InternalError(FromUtf8(sqlite3_errmsg(m_db))));
            return DB_E_ERRORSINCOMMAND;
        }
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            std::vector<Value> row;
            row.reserve(10);
            for (int i = 0; i < 10; ++i)
                row.push_back(ReadColumn(st, i, rows->columns[i].type));
            rows->rows.push_back(std::move(row));
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) {
            errors->push_back(InternalError(FromUtf8(sqlite3_errmsg(m_db))));
            return DB_E_ERRORSINCOMMAND;
        }
        *hasRows = true;
        return S_OK;
    }
    case kInsertCase:
    case kUpdateCase: {
        bool insert = statement.kind == kInsertCase;
        if (!found) {
            errors->push_back(NoTable(L"tUgyirat"));
            return DB_E_ERRORSINCOMMAND;
        }
        std::vector<ParamValue> values(params.begin(), params.begin() + (insert ? 10 : 9));
        if (!CheckValues(cols, insert ? kInsertColumns : kUpdateColumns, values, dbName, insert ? L"INSERT" : L"UPDATE",
                         errors))
            return ResultOf(*errors);
        std::vector<Value> binds;
        for (const ParamValue& p : params)
            binds.push_back(p.value);
        if (!insert && params[9].type != DBTYPE_I4) {
            errors->push_back(ServerError(206, 16, L"22018",
                                          Format(L"Operand type clash: %ls is incompatible with int",
                                                 BoundTypeName(params[9].type))));
            return DB_E_ERRORSINCOMMAND;
        }
        const char* sql = insert ? "INSERT INTO tUgyirat (Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege,"
                                   " Megjegyzes, CC, Datum, Hataridok) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)"
                                 : "UPDATE tUgyirat SET Ev = ?1, Nr = ?2, Allapot = ?3, UgyfelNeve = ?4,"
                                   " EllenfelNeve = ?5, UgyJellege = ?6, Megjegyzes = ?7, CC = ?8, Hataridok = ?9"
                                   " WHERE Ev * 65536 + Nr = ?10";
        return RunChange(sql, binds, insert ? L"INSERT" : L"UPDATE", affected, errors);
    }
    case kDeleteCase:
    case kSetCaseState:
    case kDeleteAllCases: {
        if (!found) {
            errors->push_back(NoTable(L"tUgyirat"));
            return DB_E_ERRORSINCOMMAND;
        }
        std::vector<Value> binds;
        for (long n : statement.numbers) {
            Value v;
            v.kind = Value::kInt;
            v.i = n;
            binds.push_back(v);
        }
        const char* sql = "DELETE FROM tUgyirat";
        if (statement.kind == kDeleteCase)
            sql = "DELETE FROM tUgyirat WHERE Ev = ?1 AND Nr = ?2";
        else if (statement.kind == kSetCaseState)
            sql = "UPDATE tUgyirat SET Allapot = ?1 WHERE Ev = ?2 AND Nr = ?3";
        return RunChange(sql, binds, L"DELETE", affected, errors);
    }
    case kCountCases: {
        if (!found) {
            errors->push_back(NoTable(L"tUgyirat"));
            return DB_E_ERRORSINCOMMAND;
        }
        sqlite3_stmt* st = NULL;
        bool ok = sqlite3_prepare_v2(m_db, "SELECT COUNT(*) FROM tUgyirat", -1, &st, NULL) == SQLITE_OK &&
                  sqlite3_step(st) == SQLITE_ROW;
        Value v;
        if (ok) {
            v.kind = Value::kInt;
            v.i = sqlite3_column_int64(st, 0);
        }
        sqlite3_finalize(st);
        if (!ok) {
            errors->push_back(InternalError(FromUtf8(sqlite3_errmsg(m_db))));
            return DB_E_ERRORSINCOMMAND;
        }
        ColumnInfo c;
        c.type = kIntColumn;
        rows->columns.push_back(c);
        rows->rows.push_back(std::vector<Value>(1, v));
        *hasRows = true;
        return S_OK;
    }
    case kListDatabases: {
        std::vector<DatabaseEntry> list;
        if (!ReadDatabases(m_login.folder, &list, &error)) {
            errors->push_back(InternalError(error));
            return DB_E_ERRORSINCOMMAND;
        }
        ColumnInfo c;
        c.name = L"name";
        c.type = kTextColumn;
        c.chars = 128;
        c.nullable = false;
        rows->columns.push_back(c);
        for (const DatabaseEntry& e : list) {
            Value v;
            v.kind = Value::kText;
            v.s = e.name;
            rows->rows.push_back(std::vector<Value>(1, v));
        }
        *hasRows = true;
        return S_OK;
    }
    case kListColumns: {
        HRESULT hr = ListColumns(statement.names[0], rows, errors);
        *hasRows = SUCCEEDED(hr);
        return hr;
    }
    case kCreateDatabase: {
        const std::wstring& name = statement.names[0];
        if (name.empty()) {
            errors->push_back(ServerError(1038, 15, L"42000",
                                          L"An object or column name is missing or empty. For SELECT INTO "
                                          L"statements, verify each column has a name. For other statements, look "
                                          L"for empty alias names. Aliases defined as \"\" or [] are not allowed. "
                                          L"Change the alias to a valid name."));
            return DB_E_ERRORSINCOMMAND;
        }
        if (name.size() > 128) {
            errors->push_back(ServerError(103, 15, L"42000",
                                          L"The identifier that starts with '" + name.substr(0, 128) +
                                              L"' is too long. Maximum length is 128."));
            return DB_E_ERRORSINCOMMAND;
        }
        if (m_transactions > 0) {
            errors->push_back(ServerError(
                226, 16, L"25000", L"CREATE DATABASE statement not allowed within multi-statement transaction."));
            return DB_E_ERRORSINCOMMAND;
        }
        DatabaseEntry entry;
        bool existed = false;
        if (!AddDatabase(m_login.folder, name, &entry, &existed, &error)) {
            errors->push_back(InternalError(error));
            return DB_E_ERRORSINCOMMAND;
        }
        if (existed) {
            errors->push_back(ServerError(
                1801, 16, L"42000", L"Database '" + name + L"' already exists. Choose a different database name."));
            return DB_E_ERRORSINCOMMAND;
        }
        return S_OK;
    }
    case kCreateCaseTable: {
        if (found) {
            errors->push_back(
                ServerError(2714, 16, L"42S01", L"There is already an object named 'tUgyirat' in the database."));
            return DB_E_ERRORSINCOMMAND;
        }
        if (!ExecSqlite(m_db, CaseTableSql(true).c_str(), &error)) {
            errors->push_back(InternalError(error));
            return DB_E_ERRORSINCOMMAND;
        }
        return S_OK;
    }
    case kAddDeadlineColumn: {
        if (!found) {
            errors->push_back(ServerError(4902, 16, L"42S02",
                                          L"Cannot find the object \"dbo.tUgyirat\" because it does not exist or you "
                                          L"do not have permissions."));
            return DB_E_ERRORSINCOMMAND;
        }
        if (FindColumn(cols, L"Hataridok")) {
            errors->push_back(ServerError(2705, 16, L"42S21",
                                          L"Column names in each table must be unique. Column name 'Hataridok' in "
                                          L"table 'dbo.tUgyirat' is specified more than once."));
            return DB_E_ERRORSINCOMMAND;
        }
        if (!ExecSqlite(m_db, "ALTER TABLE tUgyirat ADD COLUMN Hataridok nvarchar(1024)", &error)) {
            errors->push_back(InternalError(error));
            return DB_E_ERRORSINCOMMAND;
        }
        return S_OK;
    }
    case kBeginTransaction:
        if (m_transactions == 0 && !ExecSqlite(m_db, "BEGIN", &error)) {
            errors->push_back(InternalError(error));
            return DB_E_ERRORSINCOMMAND;
        }
        ++m_transactions;
        return S_OK;
    case kCommitTransaction:
        if (m_transactions == 0) {
            errors->push_back(ServerError(3902, 16, L"25000",
                                          L"The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."));
            return DB_E_ERRORSINCOMMAND;
        }
        if (m_transactions == 1 && !ExecSqlite(m_db, "COMMIT", &error)) {
            errors->push_back(InternalError(error));
            return DB_E_ERRORSINCOMMAND;
        }
        --m_transactions;
        return S_OK;
    case kRollbackTransaction:
        if (m_transactions == 0) {
            errors->push_back(ServerError(3903, 16, L"25000",
                                          L"The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."));
            return DB_E_ERRORSINCOMMAND;
        }
        m_transactions = 0;
        if (!ExecSqlite(m_db, "ROLLBACK", &error)) {
            errors->push_back(InternalError(error));
            return DB_E_ERRORSINCOMMAND;
        }
        return S_OK;
    }
    errors->push_back(InternalError(L"statement kind"));
    return DB_E_ERRORSINCOMMAND;
}

bool IsValidTimestamp(const DBTIMESTAMP& ts)
{
    if (ts.year < 1 || ts.month < 1 || ts.month > 12 || ts.day < 1)
        return false;
    if (ts.day > DaysIn(ts.year, ts.month))
        return false;
    return ts.hour < 24 && ts.minute < 60 && ts.second < 60 && ts.fraction < 1000000000UL;
}

} // namespace oledb_standin
