#include "storage/CtUgyirat_Sqlite.h"
#include "foundation/AppSettings.h"
#include "foundation/Conversions.h"
#include "foundation/Log.h"
#include <sqlite3.h>
#include <stdlib.h>

const char CtUgyirat_Sqlite::kCreateSql[] =
    "CREATE TABLE `tUgyirat` ("
    "`UgyiratID` INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT UNIQUE, "
    "`Ev` INTEGER, "
    "`Nr` INTEGER, "
    "`Allapot` INTEGER, "
    "`UgyfelNeve` TEXT NOT NULL, "
    "`EllenfelNeve` TEXT NOT NULL, "
    "`UgyJellege` TEXT NOT NULL, "
    "`Megjegyzes` TEXT NOT NULL, "
    "`Datum` INTEGER, "
    "`CC` TEXT, "
    "`Hataridok` TEXT NOT NULL);";

const char CtUgyirat_Sqlite::kSelectSql[] =
    "SELECT UgyiratID, Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, CC, Hataridok, Datum "
    "FROM tUgyirat;";

const char CtUgyirat_Sqlite::kInsertSql[] =
    "INSERT INTO tUgyirat   (Ev, Nr, Allapot, UgyfelNeve, EllenfelNeve, UgyJellege, Megjegyzes, CC, Hataridok, "
    "Datum)   VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?);";

const char CtUgyirat_Sqlite::kUpdateSql[] =
    "UPDATE tUgyirat SET Ev=?, Nr=?, Allapot=?,   UgyfelNeve=?, EllenfelNeve=?, UgyJellege=?, Megjegyzes=?, CC=?, "
    "Hataridok=?   WHERE Ev * 65536 + Nr = ?;";

namespace {

const char kBlanks[] = " \t\n\v\f\r";

std::string ToAnsi(LPCWSTR text)
{
    CStringA a(text);
    return std::string(a.GetString(), a.GetLength());
}

void TrimBytes(std::string& s)
{
    size_t b = s.find_first_not_of(kBlanks);
    if (b == std::string::npos) {
        s.clear();
        return;
    }
    size_t e = s.find_last_not_of(kBlanks);
    s = s.substr(b, e - b + 1);
}

// A column read as text and taken as a decimal number; NULL and non-numbers are 0.
long long ColumnNumber(sqlite3_stmt* stmt, int column)
{
    const unsigned char* text = sqlite3_column_text(stmt, column);
    if (!text)
        return 0;
    return strtoll(reinterpret_cast<const char*>(text), NULL, 10);
}

int ColumnInt(sqlite3_stmt* stmt, int column)
{
    long long v = ColumnNumber(stmt, column);
    if (v > INT32_MAX || v < INT32_MIN)
        return 0;
    return (int)v;
}

// A text column converted from the ANSI code page into a bounded field.
template <size_t N>
void ColumnText(sqlite3_stmt* stmt, int column, WCHAR (&field)[N])
{
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    int bytes = text ? sqlite3_column_bytes(stmt, column) : 0;
    int n = 0;
    if (bytes > 0) {
        n = MultiByteToWideChar(CP_THREAD_ACP, 0, text, bytes, field, (int)N - 1);
        if (n == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            // Longer than the field: converted whole, then cut.
            CString wide(text, bytes);
            CopyField(field, wide, (size_t)wide.GetLength());
            return;
        }
    }
    field[n] = 0;
}

} // namespace

// ---------------------------------------------------------------------------

CString CConnectionManagerSqlite::GetConnectionString()
{
    CAppSettings* settings = GetAppSettings();
    return settings ? settings->GetBackupFilePath() : CString();
}

bool CConnectionManagerSqlite::CreateDatabase()
{
    CString path = GetConnectionString();
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
        DeleteFileW(path);
    CtUgyirat_Sqlite table;
    bool ok = table.CreateDatabaseAt(path);
    if (!ok)
        LogFormat(L"Create database failed! %s", (LPCWSTR)path);
    return ok;
}

bool CConnectionManagerSqlite::UpdateDBStruct()
{
    CtUgyirat_Sqlite table;
    if (!table.CheckStructure())
        return table.Exec(L"ALTER TABLE tUgyirat ADD COLUMN Hataridok VARCHAR(1024); ");
    return true;
}

// ---------------------------------------------------------------------------

CtUgyirat_Sqlite::CtUgyirat_Sqlite() : m_db(NULL), m_stmt(NULL), m_inTransaction(false), m_readFailed(false)
{
}

CtUgyirat_Sqlite::~CtUgyirat_Sqlite()
{
    Close();
}

void CtUgyirat_Sqlite::SetPath(LPCWSTR path)
{
    char buffer[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, path ? path : L"", -1, buffer, sizeof(buffer), NULL, NULL);
    m_path = n > 0 ? std::string(buffer) : std::string();
}

bool CtUgyirat_Sqlite::SetConnection(CConnectionManager* manager)
{
    if (manager)
        SetPath(manager->GetConnectionString());
    return true;
}

bool CtUgyirat_Sqlite::Open(LPCWSTR path, int flags)
{
    if (path && *path) {
        SetPath(path);
    } else if (m_path.empty()) {
        CConnectionManagerSqlite manager;
        SetPath(manager.GetConnectionString());
    }
    if (m_db)
        Close();
    // An empty path would open SQLite's private temporary database.
    if (m_path.empty())
        return false;
    if (sqlite3_open_v2(m_path.c_str(), &m_db, flags, NULL) != SQLITE_OK) {
        if (m_db) {
            sqlite3_close(m_db);
            m_db = NULL;
        }
        return false;
    }
    return true;
}

bool CtUgyirat_Sqlite::OpenStored(int flags)
{
    return Open(NULL, flags);
}

bool CtUgyirat_Sqlite::Prepare(const char* sql)
{
    if (m_stmt) {
        sqlite3_finalize(m_stmt);
        m_stmt = NULL;
    }
    return sqlite3_prepare_v2(m_db, sql, -1, &m_stmt, NULL) == SQLITE_OK && m_stmt;
}

bool CtUgyirat_Sqlite::OpenSelect()
{
    m_readFailed = false;
    if (!OpenStored(SQLITE_OPEN_READONLY))
        return false;
    return Prepare(kSelectSql) && sqlite3_column_count(m_stmt) > 0;
}

bool CtUgyirat_Sqlite::MoveNext()
{
    if (!m_stmt)
        return false;
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        m_readFailed = true;
    return false;
}

bool CtUgyirat_Sqlite::GetRecord(CUgyiratRecord& record)
{
    if (!m_stmt)
        return false;
    record.Ev = ColumnInt(m_stmt, 1);
    record.Nr = ColumnInt(m_stmt, 2);
    record.Allapot = ColumnInt(m_stmt, 3);
    ColumnText(m_stmt, 4, record.UgyfelNeve);
    ColumnText(m_stmt, 5, record.EllenfelNeve);
    ColumnText(m_stmt, 6, record.UgyJellege);
    ColumnText(m_stmt, 7, record.Megjegyzes);
    ColumnText(m_stmt, 8, record.CC);
    ColumnText(m_stmt, 9, record.Hataridok);
    long long seconds = ColumnNumber(m_stmt, 10);
    if (seconds >= 0 && seconds <= INT32_MAX)
        SecondsToDbTimestamp((INT32)seconds, record.Datum);
    return true;
}

void CtUgyirat_Sqlite::Close()
{
    if (m_db) {
        if (m_inTransaction)
            sqlite3_exec(m_db, "END TRANSACTION", NULL, NULL, NULL);
        if (m_stmt)
            sqlite3_finalize(m_stmt);
        sqlite3_close(m_db);
    }
    m_stmt = NULL;
    m_db = NULL;
    m_inTransaction = false;
}

bool CtUgyirat_Sqlite::BindRecord(const CUgyiratRecord& record)
{
    m_bound[0] = ToAnsi(record.UgyfelNeve);
    m_bound[1] = ToAnsi(record.EllenfelNeve);
    m_bound[2] = ToAnsi(record.UgyJellege);
    m_bound[3] = ToAnsi(record.Megjegyzes);
    m_bound[4] = ToAnsi(record.CC);
    m_bound[5] = ToAnsi(record.Hataridok);
    for (int i = 0; i < 4; ++i)
        TrimBytes(m_bound[i]);
    bool ok = sqlite3_bind_int(m_stmt, 1, record.Ev) == SQLITE_OK;
    ok = ok && sqlite3_bind_int(m_stmt, 2, record.Nr) == SQLITE_OK;
    ok = ok && sqlite3_bind_int(m_stmt, 3, record.Allapot) == SQLITE_OK;
    for (int i = 0; i < 6 && ok; ++i)
        ok = sqlite3_bind_text(m_stmt, 4 + i, m_bound[i].data(), (int)m_bound[i].size(), SQLITE_STATIC) == SQLITE_OK;
    return ok;
}

bool CtUgyirat_Sqlite::Insert(const CUgyiratRecord& record)
{
    bool single = m_db == NULL;
    if (single) {
        if (!OpenStored(SQLITE_OPEN_READWRITE))
            return false;
        if (!Prepare(kInsertSql)) {
            Close();
            return false;
        }
    }
    if (!m_stmt)
        return false;
    bool inRange = true;
    int seconds = DbTimestampToSeconds(record.Datum, &inRange);
    if (!inRange)
        LogFormat(L"Backup: the entry date of %d/%d does not fit the file; stored as %d", record.Ev, record.Nr, seconds);
    bool ok = BindRecord(record) && sqlite3_bind_int(m_stmt, 10, seconds) == SQLITE_OK;
    int rc = ok ? sqlite3_step(m_stmt) : SQLITE_ERROR;
    if (single) {
        Close();
    } else {
        sqlite3_clear_bindings(m_stmt);
        sqlite3_reset(m_stmt);
    }
    return rc == SQLITE_DONE;
}

bool CtUgyirat_Sqlite::Update(const CUgyiratRecord& record, int oldKey)
{
    if (!OpenStored(SQLITE_OPEN_READWRITE))
        return false;
    int rc = SQLITE_ERROR;
    if (Prepare(kUpdateSql) && BindRecord(record) && sqlite3_bind_int(m_stmt, 10, oldKey) == SQLITE_OK)
        rc = sqlite3_step(m_stmt);
    Close();
    return rc == SQLITE_DONE;
}

bool CtUgyirat_Sqlite::Delete(const CUgyiratRecord& record)
{
    CString sql;
    sql.Format(L"DELETE FROM tUgyirat WHERE Ev = %d AND Nr = %d;", record.Ev, record.Nr);
    return Exec(sql);
}

bool CtUgyirat_Sqlite::Exec(LPCWSTR sql)
{
    if (!OpenStored(SQLITE_OPEN_READWRITE))
        return false;
    std::string text = ToAnsi(sql);
    bool ok = Prepare(text.c_str()) && sqlite3_step(m_stmt) == SQLITE_DONE;
    Close();
    return ok;
}

bool CtUgyirat_Sqlite::QueryScalar(LPCWSTR sql, CString& result)
{
    if (!OpenStored(SQLITE_OPEN_READWRITE))
        return false;
    std::string text = ToAnsi(sql);
    bool ok = false;
    if (Prepare(text.c_str())) {
        int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_DONE || rc == SQLITE_ROW) {
            const char* value = rc == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, 0)) : NULL;
            result = value ? CString(value, (int)strlen(value)) : CString();
            ok = true;
        }
    }
    Close();
    return ok;
}

bool CtUgyirat_Sqlite::CheckStructure()
{
    CString name;
    return QueryScalar(L"SELECT name FROM pragma_table_info('tUgyirat') WHERE name = 'Hataridok';", name) &&
           name.Find(L"Hataridok") >= 0;
}

bool CtUgyirat_Sqlite::CreateDatabase()
{
    CConnectionManagerSqlite manager;
    return CreateDatabaseAt(manager.GetConnectionString());
}

bool CtUgyirat_Sqlite::CreateDatabaseAt(LPCWSTR path)
{
    DeleteFileW(path);
    if (!Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE))
        return false;
    bool ok = Prepare(kCreateSql) && sqlite3_step(m_stmt) == SQLITE_DONE;
    Close();
    return ok;
}

bool CtUgyirat_Sqlite::BeginBulkInsert()
{
    if (!OpenStored(SQLITE_OPEN_READWRITE))
        return false;
    if (!Prepare(kInsertSql))
        return false;
    sqlite3_exec(m_db, "BEGIN TRANSACTION", NULL, NULL, NULL);
    m_inTransaction = true;
    return true;
}

bool CtUgyirat_Sqlite::EndBulkInsert()
{
    bool ok = true;
    if (m_db && m_inTransaction)
        ok = sqlite3_exec(m_db, "END TRANSACTION", NULL, NULL, NULL) == SQLITE_OK;
    m_inTransaction = false;
    return ok;
}
