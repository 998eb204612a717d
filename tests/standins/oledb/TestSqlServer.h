// The test SQL server as a test program sees it: a data folder of its own,
// named in this process's environment (FOLIONEX_OLEDB_DATA) so the
// stand-in provider that runs inside the process finds it, the control
// knobs, and direct access to the databases for preparing and checking.
//
// Connection strings that work: any "Provider=MSOLEDBSQL;Server=...;"
// with "Database=<name>;" (none: master) and either Windows authentication
// ("Trusted_Connection=yes;" or "Trusted connection=true;") or
// "UID=<user>;Pwd=<password>;" of a login added with AddLogin.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace oledb_standin {

class CTestSqlServer
{
public:
    // A fresh data folder below %TEMP%\folionex-oledb\ named after the test program.
    CTestSqlServer();
    explicit CTestSqlServer(const std::wstring& folder);
    // Takes the folder out of the environment; the files stay for a look after a failure.
    ~CTestSqlServer();
    CTestSqlServer(const CTestSqlServer&) = delete;
    CTestSqlServer& operator=(const CTestSqlServer&) = delete;

    const std::wstring& Folder() const { return m_folder; }
    // Empties the folder: the four system databases only, every knob at its default.
    void Reset();

    // The knobs; the provider reads them at each connection and each statement.
    void SetDown(bool down);                     // no login, no statement reaches the server
    void SetServers(const std::wstring& names);  // '|'-separated server names that answer; empty: any
    void SetWindowsLogin(bool accepted);         // Windows authentication (default accepted)
    void AddLogin(const std::wstring& user, const std::wstring& password);
    void SetNoAccess(const std::wstring& names); // '|'-separated databases that refuse to open

    enum Phase { kAtExecute, kAtGetNextRows, kAtGetData };
    struct Failure
    {
        std::wstring statement;  // a part of the command text ("*": every statement)
        Phase at = kAtExecute;   // GetNextRows / GetData: a read that fails half-way
        long afterRows = 0;      // rows delivered before a read fails
        long times = 0;          // statements to fail; 0: every matching one
        long native = 0;         // 0: a deadlock (1205) at Execute, a broken link (10054) in a read
        std::wstring sqlState;   // with native; default "42000"
        std::wstring message;    // with native
    };
    void FailStatement(const Failure& failure);
    void ClearFailure();

    // Databases, as the master knows them.
    bool CreateDatabase(const std::wstring& name);
    bool RemoveDatabase(const std::wstring& name); // off the list of databases (system ones too)
    std::vector<std::wstring> Databases();
    // The case table as the create script makes it; without the deadline column the older structure.
    bool CreateCaseTable(const std::wstring& database, bool withDeadlines = true);
    // SQLite SQL (UTF-8) run straight on the database's file.
    bool Exec(const std::wstring& database, const std::string& sql);
    // The rows of a SQLite query on the database's file, each value as text, NULL as "<NULL>".
    std::vector<std::vector<std::wstring>> Query(const std::wstring& database, const std::string& sql);

    // The provider's trace: "login ...", "exec [database] <text> -> <HRESULT>" lines.
    std::wstring Trace() const;
    void ClearTrace();

private:
    void SetKnob(const std::wstring& key, const std::wstring& value);
    bool DatabaseFile(const std::wstring& name, std::wstring* file);

    std::wstring m_folder;
};

} // namespace oledb_standin
