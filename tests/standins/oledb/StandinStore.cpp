#include "StandinStore.h"
#include <sqlite3.h>

namespace oledb_standin {

const wchar_t kDataFolderVariable[] = L"FOLIONEX_OLEDB_DATA";

namespace {

const wchar_t kControlFile[] = L"control.txt";
const wchar_t kMasterFile[] = L"master.sqlite3";
const wchar_t kTraceFile[] = L"trace.log";

std::wstring Upper(const std::wstring& text)
{
    std::wstring out(text);
    if (!out.empty())
        CharUpperBuffW(&out[0], static_cast<DWORD>(out.size()));
    return out;
}

std::wstring Trim(const std::wstring& text)
{
    size_t b = text.find_first_not_of(L" \t\r\n");
    if (b == std::wstring::npos)
        return std::wstring();
    size_t e = text.find_last_not_of(L" \t\r\n");
    return text.substr(b, e - b + 1);
}

bool ReadWholeFile(const std::wstring& path, std::string* bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    char buf[8192];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, NULL) && got)
        bytes->append(buf, got);
    CloseHandle(h);
    return true;
}

std::wstring SqliteError(sqlite3* db)
{
    return db ? FromUtf8(sqlite3_errmsg(db)) : std::wstring(L"out of memory");
}

// The master file, with its table of databases (the four system databases
// first). The provider hides tables whose names start with "standin_".
sqlite3* OpenMaster(const std::wstring& folder, std::wstring* error)
{
    sqlite3* db = OpenDatabaseFile(folder + kMasterFile, error);
    if (!db)
        return NULL;
    const char* exists = "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'standin_databases'";
    sqlite3_stmt* st = NULL;
    bool found = sqlite3_prepare_v2(db, exists, -1, &st, NULL) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW;
    sqlite3_finalize(st);
    if (found)
        return db;
    // A new master; seeded only once, so a test may take entries off later.
    bool ok = ExecSqlite(db, "BEGIN IMMEDIATE", error);
    st = NULL;
    found = ok && sqlite3_prepare_v2(db, exists, -1, &st, NULL) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW;
    sqlite3_finalize(st);
    if (ok && !found)
        ok = ExecSqlite(db,
                        "CREATE TABLE standin_databases("
                        " database_id INTEGER PRIMARY KEY, name TEXT NOT NULL, file TEXT NOT NULL);"
                        "INSERT INTO standin_databases VALUES (1, 'master', 'master.sqlite3');"
                        "INSERT INTO standin_databases VALUES (2, 'tempdb', 'tempdb.sqlite3');"
                        "INSERT INTO standin_databases VALUES (3, 'model', 'model.sqlite3');"
                        "INSERT INTO standin_databases VALUES (4, 'msdb', 'msdb.sqlite3');",
                        error);
    if (ok)
        ok = ExecSqlite(db, "COMMIT", error);
    if (!ok) {
        sqlite3_close(db);
        return NULL;
    }
    return db;
}

bool ReadEntries(sqlite3* db, const std::wstring& folder, std::vector<DatabaseEntry>* list, std::wstring* error)
{
    sqlite3_stmt* st = NULL;
    if (sqlite3_prepare_v2(db, "SELECT database_id, name, file FROM standin_databases ORDER BY database_id", -1,
                           &st, NULL) != SQLITE_OK) {
        *error = SqliteError(db);
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        DatabaseEntry e;
        e.id = static_cast<long>(sqlite3_column_int64(st, 0));
        e.name = FromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        e.file = folder + FromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 2)));
        list->push_back(e);
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        *error = SqliteError(db);
        return false;
    }
    return true;
}

} // namespace

std::wstring DataFolderFromEnvironment()
{
    wchar_t buf[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(kDataFolderVariable, buf, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2)
        return std::wstring();
    std::wstring folder(buf, n);
    if (folder.back() != L'\\' && folder.back() != L'/')
        folder += L'\\';
    return folder;
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), NULL, 0, NULL, NULL);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, NULL, NULL);
    return out;
}

std::wstring FromUtf8(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), NULL, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

bool Control::Load(const std::wstring& folder)
{
    m_entries.clear();
    std::string bytes;
    if (!ReadWholeFile(folder + kControlFile, &bytes))
        return false;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    std::wstring text = FromUtf8(bytes);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        std::wstring trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == L'#')
            continue;
        size_t eq = line.find(L'=');
        if (eq == std::wstring::npos)
            continue;
        Set(Trim(line.substr(0, eq)), line.substr(eq + 1));
    }
    return true;
}

bool Control::Save(const std::wstring& folder) const
{
    std::wstring text;
    for (const auto& e : m_entries)
        text += e.second.key + L"=" + e.second.value + L"\r\n";
    std::string bytes = ToUtf8(text);
    // Written beside and moved over, so a reader never sees half a file.
    std::wstring path = folder + kControlFile, temp = path + L".new";
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL);
    CloseHandle(h);
    if (!ok || written != bytes.size() || !MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

bool Control::Has(const std::wstring& key) const
{
    return m_entries.count(Upper(key)) != 0;
}

std::wstring Control::Get(const std::wstring& key, const std::wstring& fallback) const
{
    auto it = m_entries.find(Upper(key));
    return it == m_entries.end() ? fallback : it->second.value;
}

long Control::GetInt(const std::wstring& key, long fallback) const
{
    std::wstring v = Trim(Get(key));
    if (v.empty())
        return fallback;
    wchar_t* end = NULL;
    long n = wcstol(v.c_str(), &end, 10);
    return *end ? fallback : n;
}

void Control::Set(const std::wstring& key, const std::wstring& value)
{
    Entry e;
    e.key = key;
    e.value = value;
    m_entries[Upper(key)] = e;
}

void Control::Remove(const std::wstring& key)
{
    m_entries.erase(Upper(key));
}

std::vector<std::wstring> Control::KeysWithPrefix(const std::wstring& prefix) const
{
    std::vector<std::wstring> keys;
    std::wstring p = Upper(prefix);
    for (const auto& e : m_entries)
        if (e.first.compare(0, p.size(), p) == 0)
            keys.push_back(e.second.key);
    return keys;
}

std::vector<std::wstring> SplitList(const std::wstring& list)
{
    std::vector<std::wstring> items;
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t bar = list.find(L'|', pos);
        if (bar == std::wstring::npos)
            bar = list.size();
        if (bar > pos)
            items.push_back(list.substr(pos, bar - pos));
        pos = bar + 1;
    }
    return items;
}

sqlite3* OpenDatabaseFile(const std::wstring& path, std::wstring* error)
{
    sqlite3* db = NULL;
    int rc = sqlite3_open_v2(ToUtf8(path).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, NULL);
    if (rc != SQLITE_OK) {
        *error = L"cannot open " + path + L": " + SqliteError(db);
        sqlite3_close(db);
        return NULL;
    }
    sqlite3_busy_timeout(db, 5000);
    // A test server: speed over durability.
    sqlite3_exec(db, "PRAGMA synchronous = OFF", NULL, NULL, NULL);
    return db;
}

bool ExecSqlite(sqlite3* db, const char* sql, std::wstring* error)
{
    char* message = NULL;
    if (sqlite3_exec(db, sql, NULL, NULL, &message) == SQLITE_OK)
        return true;
    *error = FromUtf8(message ? message : "SQLite error");
    sqlite3_free(message);
    sqlite3_exec(db, "ROLLBACK", NULL, NULL, NULL);
    return false;
}

bool ReadDatabases(const std::wstring& folder, std::vector<DatabaseEntry>* list, std::wstring* error)
{
    list->clear();
    sqlite3* db = OpenMaster(folder, error);
    if (!db)
        return false;
    bool ok = ReadEntries(db, folder, list, error);
    sqlite3_close(db);
    return ok;
}

bool FindDatabase(const std::wstring& folder, const std::wstring& name, DatabaseEntry* entry, bool* found,
                  std::wstring* error)
{
    *found = false;
    std::vector<DatabaseEntry> list;
    if (!ReadDatabases(folder, &list, error))
        return false;
    for (const DatabaseEntry& e : list)
        if (SameName(e.name, name)) {
            *entry = e;
            *found = true;
            break;
        }
    return true;
}

bool AddDatabase(const std::wstring& folder, const std::wstring& name, DatabaseEntry* entry, bool* existed,
                 std::wstring* error)
{
    *existed = false;
    sqlite3* db = OpenMaster(folder, error);
    if (!db)
        return false;
    std::vector<DatabaseEntry> list;
    bool ok = ExecSqlite(db, "BEGIN IMMEDIATE", error) && ReadEntries(db, folder, &list, error);
    if (ok) {
        long id = 4;
        for (const DatabaseEntry& e : list) {
            if (SameName(e.name, name))
                *existed = true;
            if (e.id > id)
                id = e.id;
        }
        if (*existed) {
            sqlite3_exec(db, "ROLLBACK", NULL, NULL, NULL);
        } else {
            entry->id = id + 1;
            entry->name = name;
            std::wstring file = L"db" + std::to_wstring(entry->id) + L".sqlite3";
            entry->file = folder + file;
            sqlite3_stmt* st = NULL;
            ok = sqlite3_prepare_v2(db, "INSERT INTO standin_databases VALUES (?, ?, ?)", -1, &st, NULL) == SQLITE_OK;
            if (ok) {
                std::string n = ToUtf8(name), f = ToUtf8(file);
                sqlite3_bind_int64(st, 1, entry->id);
                sqlite3_bind_text(st, 2, n.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(st, 3, f.c_str(), -1, SQLITE_TRANSIENT);
                ok = sqlite3_step(st) == SQLITE_DONE;
            }
            if (!ok)
                *error = SqliteError(db);
            sqlite3_finalize(st);
            ok = ok && ExecSqlite(db, "COMMIT", error);
            if (ok) {
                // A left-over file of the same number would come back to life.
                DeleteFileW(entry->file.c_str());
                // UTF-16 inside: the provider hands texts out as UTF-16.
                sqlite3* created = OpenDatabaseFile(entry->file, error);
                ok = created && ExecSqlite(created, "PRAGMA encoding = 'UTF-16le'; PRAGMA user_version = 1", error);
                sqlite3_close(created);
            }
        }
    }
    sqlite3_close(db);
    return ok;
}

bool RemoveDatabaseEntry(const std::wstring& folder, const std::wstring& name, std::wstring* error)
{
    DatabaseEntry e;
    bool found = false;
    if (!FindDatabase(folder, name, &e, &found, error))
        return false;
    if (!found)
        return true;
    sqlite3* db = OpenMaster(folder, error);
    if (!db)
        return false;
    std::string sql = "DELETE FROM standin_databases WHERE database_id = " + std::to_string(e.id);
    bool ok = ExecSqlite(db, sql.c_str(), error);
    sqlite3_close(db);
    return ok;
}

std::string CaseTableSql(bool withDeadlines)
{
    std::string sql =
        "CREATE TABLE tUgyirat ("
        "Ev int NOT NULL, Nr int NOT NULL, Allapot int NOT NULL DEFAULT 0, "
        "UgyfelNeve nvarchar(200), EllenfelNeve nvarchar(200), UgyJellege nvarchar(200), Megjegyzes nvarchar(200), "
        "Datum datetime NOT NULL DEFAULT (strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime')), "
        "CC nvarchar(48), ";
    if (withDeadlines)
        sql += "Hataridok nvarchar(4000), ";
    sql += "CONSTRAINT PK_tUgyirat PRIMARY KEY (Ev, Nr))";
    return sql;
}

void AppendTrace(const std::wstring& folder, const std::wstring& line)
{
    if (folder.empty())
        return;
    std::string bytes = ToUtf8(line + L"\n");
    // Several threads may trace at once; appending with one write each keeps lines whole.
    HANDLE h = CreateFileW((folder + kTraceFile).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           NULL, OPEN_ALWAYS, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL);
    CloseHandle(h);
}

} // namespace oledb_standin
