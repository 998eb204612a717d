// The files of the test SQL server behind the stand-in OLE DB provider: a
// data folder that the test chooses through the environment variable
// FOLIONEX_OLEDB_DATA, with
//   control.txt     knobs the provider reads at each connection and statement
//   master.sqlite3  the master database: the list of databases
//   db<id>.sqlite3  one SQLite file per database
//   trace.log       one line per login and per statement (UTF-8)
// Compiled into the provider DLL and into the tests' helper library.
#pragma once
#include <windows.h>
#include <map>
#include <string>
#include <vector>

struct sqlite3;

namespace oledb_standin {

extern const wchar_t kDataFolderVariable[];

// The data folder named by this process's environment, ending with a
// backslash; empty when the variable is unset or empty.
std::wstring DataFolderFromEnvironment();

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
// Comparison of names as the server's default collation sees them.
bool SameName(const std::wstring& a, const std::wstring& b);

// The control file: "Key=Value" lines in UTF-8; blank lines and lines
// starting with '#' are skipped. Keys are compared without regard to case.
class Control
{
public:
    bool Load(const std::wstring& folder);
    bool Save(const std::wstring& folder) const;

    bool Has(const std::wstring& key) const;
    std::wstring Get(const std::wstring& key, const std::wstring& fallback = std::wstring()) const;
    long GetInt(const std::wstring& key, long fallback) const;
    void Set(const std::wstring& key, const std::wstring& value);
    void Remove(const std::wstring& key);
    // Every key that starts with the prefix (compared without regard to case).
    std::vector<std::wstring> KeysWithPrefix(const std::wstring& prefix) const;

private:
    struct Entry
    {
        std::wstring key;
        std::wstring value;
    };
    std::map<std::wstring, Entry> m_entries; // by the upper-cased key
};

// A '|'-separated list of names as a vector (the blanks around each kept).
std::vector<std::wstring> SplitList(const std::wstring& list);

// Opens (and creates when missing) one SQLite file with a busy timeout.
sqlite3* OpenDatabaseFile(const std::wstring& path, std::wstring* error);
bool ExecSqlite(sqlite3* db, const char* sql, std::wstring* error);

struct DatabaseEntry
{
    long id = 0;
    std::wstring name;
    std::wstring file; // full path
};

// The master database of the folder. Each call opens and closes the file;
// the master is created with the four system databases when missing.
bool ReadDatabases(const std::wstring& folder, std::vector<DatabaseEntry>* list, std::wstring* error);
bool FindDatabase(const std::wstring& folder, const std::wstring& name, DatabaseEntry* entry, bool* found,
                  std::wstring* error);
// A new database: an entry in the master and an empty file. existed is set
// (and nothing changes) when the name is taken.
bool AddDatabase(const std::wstring& folder, const std::wstring& name, DatabaseEntry* entry, bool* existed,
                 std::wstring* error);
// Takes a name off the master's list (the file stays); for preparing odd
// server states in tests.
bool RemoveDatabaseEntry(const std::wstring& folder, const std::wstring& name, std::wstring* error);

// The SQLite form of the case table as the create script makes it; without
// the deadline column it is the older structure.
std::string CaseTableSql(bool withDeadlines);

// Appends one line to the folder's trace.log.
void AppendTrace(const std::wstring& folder, const std::wstring& line);

} // namespace oledb_standin
