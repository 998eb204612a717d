// Small helpers for the OLE DB consumers of the central database: an owning
// interface pointer, the opening of a data source and session from a
// connection string, commands, and bindings.
#pragma once
#include <windows.h>
#include <oledb.h>
#include <oledberr.h>

// The command dialect of the provider's own SQL (the oledb headers define
// DBGUID_DEFAULT only in a unit that defines DBINITCONSTANTS).
extern const GUID kDbGuidDefault;
// ISQLServerErrorInfo of the SQL Server providers.
extern const IID kIidSqlServerErrorInfo;

// Owns one reference of an interface; Release on reset and destruction.
template <class T>
class COlePtr
{
public:
    COlePtr() : m_p(NULL) {}
    ~COlePtr() { Reset(); }
    COlePtr(const COlePtr&) = delete;
    COlePtr& operator=(const COlePtr&) = delete;

    void Reset()
    {
        if (m_p) {
            T* p = m_p;
            m_p = NULL;
            p->Release();
        }
    }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != NULL; }
    // The address for an out argument; what was held is released first.
    T** Out()
    {
        Reset();
        return &m_p;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    IUnknown** OutUnknown() { return reinterpret_cast<IUnknown**>(Out()); }
    T* Detach()
    {
        T* p = m_p;
        m_p = NULL;
        return p;
    }
    // Takes the reference the caller owns.
    void Attach(T* p)
    {
        Reset();
        m_p = p;
    }

private:
    T* m_p;
};

// Where an opening of a session stopped.
enum OleDbOpenStep
{
    kOpenCreateInitializer, // CoCreateInstance of the data-link object
    kOpenGetDataSource,     // IDataInitialize::GetDataSource
    kOpenInitialize,        // IDBInitialize::Initialize
    kOpenQuerySession,      // the data source's IDBCreateSession
    kOpenCreateSession,     // IDBCreateSession::CreateSession
    kOpenDone
};

// Opens a data source configured by the connection string, connects it and
// opens a session (IOpenRowset) on it; the data source and the data-link
// object are released, the session keeps the connection. A negative result
// of any step ends the opening, and so does a positive result of Initialize
// or CreateSession when stopOnPositive is set. Returns the HRESULT of the
// step that ended it (or of the last step) and tells which step that was.
HRESULT OpenOleDbSession(LPCWSTR connectionString, bool stopOnPositive, IOpenRowset** session,
                         OleDbOpenStep* step);

// A command with the text on the session (dialect DBGUID_DEFAULT).
HRESULT CreateOleDbCommand(IUnknown* session, LPCWSTR sql, ICommandText** command);

// One binding of a column (ordinal) or parameter (position) into a buffer.
DBBINDING MakeBinding(DBORDINAL ordinal, DBTYPE type, DBLENGTH size, DBBYTEOFFSET value, DBPART parts,
                      DBBYTEOFFSET length, DBBYTEOFFSET status, DBPARAMIO io);

// The distance in bytes of a member from the start of a buffer.
inline DBBYTEOFFSET OffsetIn(const void* buffer, const void* member)
{
    return (DBBYTEOFFSET)(static_cast<const BYTE*>(member) - static_cast<const BYTE*>(buffer));
}

// The parts of one command run besides its session: the command, its rowset,
// the accessor and the one row held at a time. ReleaseAll gives back all of
// them in the order they depend on each other.
class COleDbCommandParts
{
public:
    COleDbCommandParts() = default;
    ~COleDbCommandParts() { ReleaseAll(); }
    COleDbCommandParts(const COleDbCommandParts&) = delete;
    COleDbCommandParts& operator=(const COleDbCommandParts&) = delete;

    void ReleaseRow();
    void ReleaseAll();

    ICommandText* m_pCommand = NULL;
    IRowset* m_pRowset = NULL;
    IRowsetChange* m_pRowsetChange = NULL; // held when the rowset has it; nothing uses it
    IAccessor* m_pAccessor = NULL;
    HACCESSOR m_hAccessor = DB_NULL_HACCESSOR;
    HROW m_hRow = 0;
    bool m_bHasRow = false;
};
