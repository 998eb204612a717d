// The command the connection checks read through: one query on a
// connection string of its own, its first column read as text row by row.
#pragma once
#include <oledb.h>
#include "afxstr.h"
#include "storage/OleDbSupport.h"

class CCheckDBAccessor
{
public:
    CCheckDBAccessor();
    virtual ~CCheckDBAccessor();
    CCheckDBAccessor(const CCheckDBAccessor&) = delete;
    CCheckDBAccessor& operator=(const CCheckDBAccessor&) = delete;

    // Opens a data source and session on m_connection; the last HRESULT.
    HRESULT OpenAll();
    void ReleaseSession();

    CString m_connection;
    WCHAR m_szColumn[1024]; // ordinal 1, value only: 1023 characters and the terminator
    IOpenRowset* m_pSession;
};

class CtSqlServer : public CCheckDBAccessor, private COleDbCommandParts
{
public:
    explicit CtSqlServer(LPCWSTR connection);
    ~CtSqlServer() override;

    // Opens the session, runs the query for a rowset and binds its first
    // column; true when all of it succeeded.
    bool OpenAll(LPCWSTR sql);
    // The next row's text into m_szColumn; false at the end of the rows and
    // on the first result other than S_OK.
    bool MoveNext();
    void Close();
};
