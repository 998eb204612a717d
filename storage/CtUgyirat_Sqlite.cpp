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

// Blank, tab, line feed, vertical tab, form feed, carriage return.
inline bool IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string ToAnsi(LPCWSTR text)
{
    CStringA a(text);
    return std::string(a.GetString(), a.GetLength());
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
    std::vector<unsigned short>().swap(m_ansiBytes);
}

bool CtUgyirat_Sqlite::BindRecord(const CUgyiratRecord& record)
{
    const LPCWSTR texts[6] = {record.UgyfelNeve, record.EllenfelNeve, record.UgyJellege,
                              record.Megjegyzes, record.CC, record.Hataridok};
    bool ok = sqlite3_bind_int(m_stmt, 1, record.Ev) == SQLITE_OK;
    ok = ok && sqlite3_bind_int(m_stmt, 2, record.Nr) == SQLITE_OK;
    ok = ok && sqlite3_bind_int(m_stmt, 3, record.Allapot) == SQLITE_OK;
    for (int i = 0; i < 6 && ok; ++i) {
        const char* text = NULL;
        int length = 0;
        m_bound[i].Convert(texts[i], m_ansiBytes.empty() ? NULL : &m_ansiBytes, &text, &length);
        // The names and the remark lose their blanks at both ends.
        if (i < 4) {
            while (length > 0 && IsBlank(*text)) {
                ++text;
                --length;
            }
            while (length > 0 && IsBlank(text[length - 1]))
                --length;
        }
        ok = sqlite3_bind_text(m_stmt, 4 + i, text, length, SQLITE_STATIC) == SQLITE_OK;
    }
    return ok;
}

void CtUgyirat_Sqlite::CAnsiText::Convert(LPCWSTR text, std::vector<unsigned short>* cache, const char** bytes,
                                          int* length)
{
    int chars = (int)wcslen(text);
    if (cache && chars < (int)sizeof(m_buffer)) {
        // A single-byte code page: character by character through the
        // bytes the code page gave each character the first time.
        int i = 0;
        for (; i < chars; ++i) {
            WCHAR c = text[i];
            if (c >= 0xD800 && c <= 0xDFFF)
                break;  // half of a pair: the general way
            unsigned short& b = (*cache)[c];
            if (b == kUnknownByte) {
                char one[4];
                int n = WideToAnsiText(&c, 1, one, sizeof(one));
                b = n == 1 ? (unsigned char)one[0] : kNoByte;
            }
            if (b == kNoByte)
                break;
            m_buffer[i] = (char)b;
        }
        if (i == chars) {
            m_buffer[chars] = 0;
            *bytes = m_buffer;
            *length = chars;
            return;
        }
    }
    int n = WideToAnsiText(text, chars, m_buffer, (int)sizeof(m_buffer) - 1);
    if (n < 0) {
        // More bytes than the buffer holds (a code page of long sequences).
        m_long.resize((size_t)chars * 4);
        n = WideToAnsiText(text, chars, &m_long[0], (int)m_long.size());
        m_long.resize(n > 0 ? (size_t)n : 0);
        *bytes = m_long.c_str();
        *length = (int)m_long.size();
        return;
    }
    m_buffer[n] = 0;
    *bytes = m_buffer;
    *length = n;
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

bool CtUgyirat_Sqlite::BeginBulkInsert(bool newFile)
{
    if (!OpenStored(SQLITE_OPEN_READWRITE))
        return false;
    // A new file that is thrown away unless its commit succeeds needs no
    // rollback journal; the commit still waits until the file is on disk.
    if (newFile)
        sqlite3_exec(m_db, "PRAGMA journal_mode = OFF", NULL, NULL, NULL);
    // Many rows: in a single-byte code page each character's byte is asked
    // for once.
    CPINFO info;
    if (GetCPInfo(CP_THREAD_ACP, &info) && info.MaxCharSize == 1)
        m_ansiBytes.assign(0x10000, kUnknownByte);
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
