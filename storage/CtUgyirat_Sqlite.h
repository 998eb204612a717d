// The local backup file: a SQLite database with one table tUgyirat, texts in
// the thread's ANSI code page, written in bulk and read whole.
#pragma once
#include <string>
#include <vector>
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
    // newFile: the file was just created and is deleted unless the bulk
    // insert commits (it is written without a rollback journal).
    bool BeginBulkInsert(bool newFile = false);
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
    // A text in the thread's ANSI code page as WideToAnsiText writes it (no
    // best-fit substitutes, one default character for a missing character),
    // converted without allocating (a text of at most 1024 characters fits
    // the buffer in any code page of at most three bytes per character).
    class CAnsiText
    {
    public:
        // cache: the bytes of the characters of a single-byte code page
        // (kUnknownByte until asked for), or null.
        void Convert(LPCWSTR text, std::vector<unsigned short>* cache, const char** bytes, int* length);

    private:
        char m_buffer[3 * 1024 + 4];
        std::string m_long;
    };
    // The converted texts bound to the statement; SQLite does not copy them.
    CAnsiText m_bound[6];
    // Inside a bulk insert under a single-byte code page: each UTF-16
    // character's byte, filled as characters occur.
    enum { kUnknownByte = 0xFFFF, kNoByte = 0xFFFE };
    std::vector<unsigned short> m_ansiBytes;
};
