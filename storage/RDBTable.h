// The two interfaces between the case store and its databases: a table of
// case records and the source of a connection.
#pragma once
#include "afxstr.h"
#include "storage/UgyiratRecord.h"

class CConnectionManager;

// A table of case records: read with OpenSelect, MoveNext and GetRecord until
// MoveNext is false, then Close; changed record by record.
class CRDBTable
{
public:
    virtual ~CRDBTable() {}
    virtual bool SetConnection(CConnectionManager* manager) = 0;
    virtual bool OpenSelect() = 0;
    virtual bool MoveNext() = 0;
    virtual bool GetRecord(CUgyiratRecord& record) = 0;
    virtual void Close() = 0;
    virtual bool Insert(const CUgyiratRecord& record) = 0;
    virtual bool Update(const CUgyiratRecord& record, int oldKey) = 0;
    virtual bool Delete(const CUgyiratRecord& record) = 0;
    virtual bool Exec(LPCWSTR sql) = 0;
    virtual bool QueryScalar(LPCWSTR sql, CString& result) = 0;
    virtual bool CheckStructure() = 0;
    // True when the last read ended on an error rather than after its last
    // row: what was read is not the whole table.
    virtual bool ReadFailed() const = 0;
};

class CConnectionManager
{
public:
    virtual ~CConnectionManager() {}
    virtual void LoadSettings() = 0;
    virtual CString GetConnectionString() = 0;
    virtual bool CreateDatabase() = 0;
    virtual bool UpdateDBStruct() = 0;
};
