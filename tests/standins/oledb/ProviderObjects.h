// The OLE DB objects of the stand-in provider: data source, session,
// command and rowset, with the accessors they share.
#pragma once
#include <windows.h>
#include <oledb.h>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include "ProviderCom.h"
#include "ProviderServer.h"

namespace oledb_standin {

class Command;

struct Accessor
{
    DBACCESSORFLAGS flags = 0;
    std::vector<DBBINDING> bindings;
    DBLENGTH rowSize = 0;
    LONG refs = 1;
};

// IAccessor of a command (parameter accessors) or a rowset (row accessors).
// The object that derives from it answers IUnknown.
class AccessorImpl : public IAccessor
{
public:
    AccessorImpl();
    virtual ~AccessorImpl();

    STDMETHODIMP AddRefAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) override;
    STDMETHODIMP CreateAccessor(DBACCESSORFLAGS dwAccessorFlags, DBCOUNTITEM cBindings, const DBBINDING rgBindings[],
                                DBLENGTH cbRowSize, HACCESSOR* phAccessor, DBBINDSTATUS rgStatus[]) override;
    STDMETHODIMP GetBindings(HACCESSOR hAccessor, DBACCESSORFLAGS* pdwAccessorFlags, DBCOUNTITEM* pcBindings,
                             DBBINDING** prgBindings) override;
    STDMETHODIMP ReleaseAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) override;

protected:
    // The accessor of a handle; null when the handle is unknown.
    std::shared_ptr<const Accessor> FindAccessor(HACCESSOR handle);
    // Row accessors: the result columns (null for a command).
    virtual const std::vector<ColumnInfo>* AccessorColumns() = 0;
    virtual std::wstring ServerName() = 0;

private:
    std::map<HACCESSOR, std::shared_ptr<Accessor>> m_accessors;
    HACCESSOR m_next = 1;
    CRITICAL_SECTION m_lock;
};

class DataSource : public ComObject,
                   public IDBInitialize,
                   public IDBProperties,
                   public IDBCreateSession,
                   public IPersist,
                   public ISupportErrorInfo
{
public:
    DataSource();
    ~DataSource() override;
    STANDIN_IUNKNOWN

    // IDBInitialize
    STDMETHODIMP Initialize() override;
    STDMETHODIMP Uninitialize() override;
    // IDBProperties
    STDMETHODIMP GetProperties(ULONG cPropertyIDSets, const DBPROPIDSET rgPropertyIDSets[], ULONG* pcPropertySets,
                               DBPROPSET** prgPropertySets) override;
    STDMETHODIMP GetPropertyInfo(ULONG cPropertyIDSets, const DBPROPIDSET rgPropertyIDSets[],
                                 ULONG* pcPropertyInfoSets, DBPROPINFOSET** prgPropertyInfoSets,
                                 OLECHAR** ppDescBuffer) override;
    STDMETHODIMP SetProperties(ULONG cPropertySets, DBPROPSET rgPropertySets[]) override;
    // IDBCreateSession
    STDMETHODIMP CreateSession(IUnknown* pUnkOuter, REFIID riid, IUnknown** ppDBSession) override;
    // IPersist
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

protected:
    void* FindInterface(REFIID riid) override;

private:
    ConnectionSettings m_settings;
    std::wstring m_keywords; // what arrived, for the trace
    bool m_initialized = false;
    LoginResult m_login;
};

class Session : public ComObject,
                public IOpenRowset,
                public IDBCreateCommand,
                public IGetDataSource,
                public ISupportErrorInfo
{
public:
    Session(DataSource* source, const std::shared_ptr<ServerConnection>& connection);
    ~Session() override;
    STANDIN_IUNKNOWN

    STDMETHODIMP OpenRowset(IUnknown* pUnkOuter, DBID* pTableID, DBID* pIndexID, REFIID riid, ULONG cPropertySets,
                            DBPROPSET rgPropertySets[], IUnknown** ppRowset) override;
    STDMETHODIMP CreateCommand(IUnknown* pUnkOuter, REFIID riid, IUnknown** ppCommand) override;
    STDMETHODIMP GetDataSource(REFIID riid, IUnknown** ppDataSource) override;
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    const std::shared_ptr<ServerConnection>& Connection() const { return m_connection; }

    // Without multiple active result sets the session's connection serves
    // one rowset at a time: while one is open no other command runs.
    void RowsetOpened() { InterlockedIncrement(&m_openRowsets); }
    void RowsetClosed() { InterlockedDecrement(&m_openRowsets); }
    bool HasOpenRowset() const { return m_openRowsets != 0; }

protected:
    void* FindInterface(REFIID riid) override;

private:
    DataSource* m_source;
    std::shared_ptr<ServerConnection> m_connection;
    volatile LONG m_openRowsets = 0;
};

class Command : public ComObject,
                public ICommandText,
                public ICommandWithParameters,
                public AccessorImpl,
                public ISupportErrorInfo
{
public:
    explicit Command(Session* session);
    ~Command() override;
    STANDIN_IUNKNOWN

    // ICommand
    STDMETHODIMP Cancel() override;
    STDMETHODIMP Execute(IUnknown* pUnkOuter, REFIID riid, DBPARAMS* pParams, DBROWCOUNT* pcRowsAffected,
                         IUnknown** ppRowset) override;
    STDMETHODIMP GetDBSession(REFIID riid, IUnknown** ppSession) override;
    // ICommandText
    STDMETHODIMP GetCommandText(GUID* pguidDialect, LPOLESTR* ppwszCommand) override;
    STDMETHODIMP SetCommandText(REFGUID rguidDialect, LPCOLESTR pwszCommand) override;
    // ICommandWithParameters
    STDMETHODIMP GetParameterInfo(DB_UPARAMS* pcParams, DBPARAMINFO** prgParamInfo,
                                  OLECHAR** ppNamesBuffer) override;
    STDMETHODIMP MapParameterNames(DB_UPARAMS cParamNames, LPCWSTR rgParamNames[],
                                   DB_LPARAMS rgParamOrdinals[]) override;
    STDMETHODIMP SetParameterInfo(DB_UPARAMS cParams, const DB_UPARAMS rgParamOrdinals[],
                                  const DBPARAMBINDINFO rgParamBindInfo[]) override;
    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    Session* GetSession() const { return m_session; }

protected:
    void* FindInterface(REFIID riid) override;
    const std::vector<ColumnInfo>* AccessorColumns() override { return nullptr; }
    std::wstring ServerName() override;

private:
    HRESULT ReadParameters(DBPARAMS* params, size_t expected, std::vector<ParamValue>* values, ErrorList* errors);

    Session* m_session;
    bool m_hasText = false;
    std::wstring m_text;
    GUID m_dialect = GUID_NULL;
    std::vector<DBPARAMINFO> m_declared; // from SetParameterInfo (names not kept)
};

class Rowset : public ComObject,
               public IRowset,
               public IRowsetInfo,
               public IColumnsInfo,
               public AccessorImpl,
               public ISupportErrorInfo
{
public:
    Rowset(Command* command, const std::shared_ptr<ResultSet>& rows, const FailurePlan& plan,
           const std::wstring& server);
    ~Rowset() override;
    STANDIN_IUNKNOWN

    // IRowset
    STDMETHODIMP AddRefRows(DBCOUNTITEM cRows, const HROW rghRows[], DBREFCOUNT rgRefCounts[],
                            DBROWSTATUS rgRowStatus[]) override;
    STDMETHODIMP GetData(HROW hRow, HACCESSOR hAccessor, void* pData) override;
    STDMETHODIMP GetNextRows(HCHAPTER hReserved, DBROWOFFSET lRowsOffset, DBROWCOUNT cRows,
                             DBCOUNTITEM* pcRowsObtained, HROW** prghRows) override;
    STDMETHODIMP ReleaseRows(DBCOUNTITEM cRows, const HROW rghRows[], DBROWOPTIONS rgRowOptions[],
                             DBREFCOUNT rgRefCounts[], DBROWSTATUS rgRowStatus[]) override;
    STDMETHODIMP RestartPosition(HCHAPTER hReserved) override;
    // IRowsetInfo
    STDMETHODIMP GetProperties(const ULONG cPropertyIDSets, const DBPROPIDSET rgPropertyIDSets[],
                               ULONG* pcPropertySets, DBPROPSET** prgPropertySets) override;
    STDMETHODIMP GetReferencedRowset(DBORDINAL iOrdinal, REFIID riid, IUnknown** ppReferencedRowset) override;
    STDMETHODIMP GetSpecification(REFIID riid, IUnknown** ppSpecification) override;
    // IColumnsInfo
    STDMETHODIMP GetColumnInfo(DBORDINAL* pcColumns, DBCOLUMNINFO** prgInfo, OLECHAR** ppStringsBuffer) override;
    STDMETHODIMP MapColumnIDs(DBORDINAL cColumnIDs, const DBID rgColumnIDs[], DBORDINAL rgColumns[]) override;
    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

protected:
    void* FindInterface(REFIID riid) override;
    const std::vector<ColumnInfo>* AccessorColumns() override { return &m_rows->columns; }
    std::wstring ServerName() override { return m_server; }

private:
    Command* m_command;
    std::shared_ptr<ResultSet> m_rows;
    FailurePlan m_plan;
    std::wstring m_server;
    size_t m_next = 0;
    std::map<HROW, ULONG> m_held;
    CRITICAL_SECTION m_lock;
};

} // namespace oledb_standin
