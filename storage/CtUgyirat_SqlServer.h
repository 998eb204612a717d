// The central case table tUgyirat in the SQL Server database, reached
// through OLE DB. The table keeps no connection: every operation opens its
// own data source and session from the connection string of the
// application's SQL Server connection manager, fetched anew each time; only
// an open select (OpenSelect to Close) keeps its objects between calls.
#pragma once
#include <oledb.h>
#include "storage/RDBTable.h"

// The record buffer the bindings of one command point into, with the
// lengths and statuses of its texts, and the session the command runs on.
class CtUgyiratAccessor
{
public:
    CtUgyiratAccessor();
    virtual ~CtUgyiratAccessor();
    CtUgyiratAccessor(const CtUgyiratAccessor&) = delete;
    CtUgyiratAccessor& operator=(const CtUgyiratAccessor&) = delete;

    // Takes the record into the buffer with the lengths of its texts; an
    // empty CC or deadline list goes out as NULL.
    virtual void SetRecord(const CUgyiratRecord& record);
    // Opens a data source and session with the connection string (null: the
    // application manager's). S_OK, or the HRESULT that stopped it (logged
    // when negative).
    HRESULT OpenFromInitializationString(LPCWSTR connectionString = NULL);
    void ReleaseSession();

    // The start of the buffer: offsets of the bindings count from here.
    BYTE* Buffer() { return reinterpret_cast<BYTE*>(&m_Record); }
    DBBYTEOFFSET Offset(const void* member) const;

    IOpenRowset* m_pSession;
    CUgyiratRecord m_Record;
    DBSTATUS m_dwCCStatus;
    DBSTATUS m_dwHataridokStatus;
    DBLENGTH m_nUgyfelNeveLength;
    DBLENGTH m_nEllenfelNeveLength;
    DBLENGTH m_nUgyJellegeLength;
    DBLENGTH m_nMegjegyzesLength;
    DBLENGTH m_nCCLength;
    DBLENGTH m_nHataridokLength;
};

// The read of all rows: every text comes with its length and status, so a
// NULL column reads as the empty text.
class CtUgyiratSelectAccessor : public CtUgyiratAccessor
{
public:
    CtUgyiratSelectAccessor();
    int GetBindings(DBBINDING* bindings);
    // Empties the bound part of the buffer before a row is fetched.
    void ClearBuffer();
    // After a fetch: NULL texts empty, every text terminated.
    void FixTexts();

    DBSTATUS m_dwUgyfelNeveStatus;
    DBSTATUS m_dwEllenfelNeveStatus;
    DBSTATUS m_dwUgyJellegeStatus;
    DBSTATUS m_dwMegjegyzesStatus;
};

class CtUgyiratInsertAccessor : public CtUgyiratAccessor
{
public:
    int GetBindings(DBBINDING* bindings);
};

class CtUgyiratUpdateAccessor : public CtUgyiratAccessor
{
public:
    CtUgyiratUpdateAccessor() : m_nOldKey(0) {}
    int GetBindings(DBBINDING* bindings);

    INT32 m_nOldKey; // UgyiratKey of the row to change
};

template <class TAccessor>
class CtUgyirat;

class CtUgyirat_SqlServer : public CRDBTable
{
public:
    // A table on the application manager's connection string.
    CtUgyirat_SqlServer();
    // A table that connects with this string instead (a database under
    // test, or work on another thread with a copy taken beforehand).
    explicit CtUgyirat_SqlServer(LPCWSTR connectionString);
    ~CtUgyirat_SqlServer() override;
    CtUgyirat_SqlServer(const CtUgyirat_SqlServer&) = delete;
    CtUgyirat_SqlServer& operator=(const CtUgyirat_SqlServer&) = delete;

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

    // A whole load in one transaction: from BeginTransaction to
    // CommitTransaction or RollbackTransaction the table holds one session
    // of its own, and Exec and Insert run in it. A transaction still open
    // when the table goes is rolled back.
    bool BeginTransaction();
    bool CommitTransaction();
    bool RollbackTransaction();
    bool InTransaction() const { return m_pTransaction != NULL; }

    static const wchar_t kSelectSql[];
    static const wchar_t kInsertSql[];
    static const wchar_t kUpdateSql[];
    static const wchar_t kDeleteSql[];

private:
    // The fixed connection string, or null for the application's.
    LPCWSTR Connection() const { return m_hasConnection ? (LPCWSTR)m_connection : NULL; }
    // Ends the transaction with the statement and lets its session go.
    bool EndTransaction(LPCWSTR sql);
    template <class TAccessor>
    bool ExecuteWithRecord(CtUgyirat<TAccessor>& command, LPCWSTR sql);

    CtUgyirat<CtUgyiratSelectAccessor>* m_pSelect;
    IOpenRowset* m_pTransaction;
    CString m_connection;
    bool m_hasConnection;
    bool m_readFailed;
};

// Runs one statement without parameters and without a rowset on the
// application's connection; true only when it returned S_OK.
bool ExecuteNonQuery(LPCWSTR sql);
// The same on the given connection string.
bool ExecuteNonQueryOn(LPCWSTR connectionString, LPCWSTR sql);
