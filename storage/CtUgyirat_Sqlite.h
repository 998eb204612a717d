// The local backup file: a SQLite database with one table tUgyirat, texts in
// the thread's ANSI code page, written in bulk and read whole.
#pragma once
#include <string>
#include "storage/RDBTable.h"

struct sqlite3;
struct sqlite3_stmt;

// The backup file as a connection source: its "connection string" is the
// file's path.
class CConnectionManagerSqlite : public CConnectionManager
{
public:
    void LoadSettings() override {}
    CString GetConnectionString() override;
    // Deletes the backup file and creates it anew with an empty table.
    bool CreateDatabase() override;
    bool UpdateDBStruct() override;
};

class CtUgyirat_Sqlite : public CRDBTable
{
public:
    CtUgyirat_Sqlite();
    ~CtUgyirat_Sqlite() override;
    CtUgyirat_Sqlite(const CtUgyirat_Sqlite&) = delete;
    CtUgyirat_Sqlite& operator=(const CtUgyirat_Sqlite&) = delete;

    bool SetConnection(CConnectionManager* manager) override;
    bool OpenSelect() override;
    bool MoveNext() override;
    bool GetRecord(CUgyiratRecord& record) override;
    void Close() override;
    bool Insert(const CUgyiratRecord& record) override;
    bool Update(const CUgyiratRecord& record, int oldKey) override;
    bool Delete(const CUgyiratRecord& record) override;
    bool Exec(LPCWSTR sql) override;
    bool QueryScalar(LPCWSTR sql, CString& result) override;
    bool CheckStructure() override;
    bool ReadFailed() const override { return m_readFailed; }

    // Opens the file at path (null: the stored path, else the backup file's)
    // with SQLite's open flags (1 read-only, 2 read-write, 6 also create).
    bool Open(LPCWSTR path, int flags);
    void SetPath(LPCWSTR path);
    // Deletes the backup file and creates it with an empty table.
    bool CreateDatabase();
    // The same at another path (a file written before it replaces the backup).
    bool CreateDatabaseAt(LPCWSTR path);
    bool BeginBulkInsert();
    // Commits the bulk insert; false when the commit failed.
    bool EndBulkInsert();

    static const char kCreateSql[];
    static const char kSelectSql[];
    static const char kInsertSql[];
    static const char kUpdateSql[];

private:
    bool OpenStored(int flags);
    bool Prepare(const char* sql);
    bool BindRecord(const CUgyiratRecord& record);

    std::string m_path;        // UTF-8
    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
    bool m_inTransaction;
    bool m_readFailed;
    // The converted texts bound to the statement; SQLite does not copy them.
    std::string m_bound[6];
};
