// The test SQL server behind the stand-in provider: logins, and the few
// statements Folionex sends, run on the SQLite files of the data folder.
// Any other statement is refused with an error record.
#pragma once
#include <windows.h>
#include <oledb.h>
#include <memory>
#include <string>
#include <vector>
#include "ProviderErrors.h"
#include "StandinStore.h"

struct sqlite3;

namespace oledb_standin {

enum ColumnType { kIntColumn, kTextColumn, kTimeColumn };

struct Value
{
    enum Kind { kNull, kInt, kText, kTime } kind = kNull;
    long long i = 0;
    std::wstring s;
    DBTIMESTAMP ts = {};
};

struct ColumnInfo
{
    std::wstring name; // empty for a computed column
    ColumnType type = kTextColumn;
    DBLENGTH chars = 0; // the declared length of a text column
    bool nullable = true;
};

struct ResultSet
{
    std::vector<ColumnInfo> columns;
    std::vector<std::vector<Value>> rows;
};

// One parameter as the consumer sent it: the type it was bound with and its value.
struct ParamValue
{
    DBTYPE type = DBTYPE_EMPTY;
    Value value;
};

enum StatementKind
{
    kSelectCases,
    kInsertCase,
    kUpdateCase,
    kDeleteCase,
    kSetCaseState,
    kDeleteAllCases,
    kCountCases,
    kListDatabases,
    kListColumns,
    kCreateDatabase,
    kCreateCaseTable,
    kAddDeadlineColumn,
    kBeginTransaction,
    kCommitTransaction,
    kRollbackTransaction
};

struct Statement
{
    StatementKind kind = kSelectCases;
    std::vector<long> numbers;       // the integers of the text, in order
    std::vector<std::wstring> names; // the bracket-quoted names, unquoted
    size_t parameters = 0;           // the '?' markers
};

// Whether the text is one of the statements this server knows, exactly.
bool Recognize(const std::wstring& text, Statement* statement);

// The parameters of a statement as the server describes them.
struct ParamDescription
{
    std::wstring name;
    DBTYPE type;
    DBLENGTH size;
};
std::vector<ParamDescription> DescribeParameters(const Statement& statement);

struct ConnectionSettings
{
    std::wstring server;
    std::wstring database;
    std::wstring user;
    std::wstring password;
    bool trusted = false;
    std::vector<std::wstring> unknown;   // keywords the driver does not know
    std::vector<std::wstring> badValues; // keywords with a value it cannot read

    void Apply(const std::wstring& key, const std::wstring& value);
};

struct LoginResult
{
    std::wstring folder;
    std::wstring server;
    std::wstring login;
    DatabaseEntry database;
};

// Checks the settings against the control file and the master. On failure
// the errors are what the driver reports (E_FAIL).
HRESULT Login(const ConnectionSettings& settings, LoginResult* result, ErrorList* errors);

// What the control file asks of one statement.
struct FailurePlan
{
    enum Phase { kNone, kAtExecute, kAtFetch, kAtGetData } phase = kNone;
    long afterRows = 0;
    HRESULT hr = E_FAIL;
    ErrorList errors;
};
// Reads the control file for a statement about to run (consuming one of
// "Fail.Times"). down tells whether the server is unreachable.
void ReadStatementControl(const std::wstring& folder, const std::wstring& server, const std::wstring& text,
                          bool* down, FailurePlan* plan);
// Whether the control file makes the server unreachable now.
bool ServerIsDown(const std::wstring& folder, const std::wstring& server);
// What a caller reports when the server went away.
ErrorList LinkFailure();

// One session's link to its database.
class ServerConnection
{
public:
    explicit ServerConnection(const LoginResult& login);
    ~ServerConnection();
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    bool Open(ErrorList* errors);
    const LoginResult& Info() const { return m_login; }

    // Runs a recognised statement. rows receives the result of a query
    // (hasRows true), affected the number of rows a change touched.
    HRESULT Execute(const Statement& statement, const std::vector<ParamValue>& params, ResultSet* rows,
                    bool* hasRows, DBROWCOUNT* affected, ErrorList* errors);

private:
    HRESULT RunChange(const char* sql, const std::vector<Value>& binds, const wchar_t* verb, DBROWCOUNT* affected,
                      ErrorList* errors);
    HRESULT ListColumns(const std::wstring& database, ResultSet* rows, ErrorList* errors);

    LoginResult m_login;
    sqlite3* m_db = nullptr;
    int m_transactions = 0;
    CRITICAL_SECTION m_lock;
};

// A DBTIMESTAMP that names a real point of time.
bool IsValidTimestamp(const DBTIMESTAMP& ts);

} // namespace oledb_standin
