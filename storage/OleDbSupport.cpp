#include "storage/OleDbSupport.h"
#include <msdasc.h>

const GUID kDbGuidDefault = {0xc8b521fb, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
const IID kIidSqlServerErrorInfo = {0x5cf4ca12, 0xef21, 0x11d0, {0x97, 0xe7, 0x00, 0xc0, 0x4f, 0xc2, 0xad, 0x98}};

HRESULT OpenOleDbSession(LPCWSTR connectionString, bool stopOnPositive, IOpenRowset** session,
                         OleDbOpenStep* step)
{
    *session = NULL;
    *step = kOpenCreateInitializer;
    COlePtr<IDataInitialize> init;
    HRESULT hr = CoCreateInstance(CLSID_MSDAINITIALIZE, NULL, CLSCTX_INPROC_SERVER, IID_IDataInitialize,
                                  init.OutVoid());
    if (FAILED(hr))
        return hr;

    *step = kOpenGetDataSource;
    COlePtr<IDBInitialize> source;
    hr = init->GetDataSource(NULL, CLSCTX_INPROC_SERVER, connectionString, IID_IDBInitialize,
                             source.OutUnknown());
    if (FAILED(hr))
        return hr;

    *step = kOpenInitialize;
    hr = source->Initialize();
    if (FAILED(hr) || (stopOnPositive && hr != S_OK))
        return hr;

    *step = kOpenQuerySession;
    COlePtr<IDBCreateSession> creator;
    hr = source->QueryInterface(IID_IDBCreateSession, creator.OutVoid());
    if (FAILED(hr))
        return hr;

    *step = kOpenCreateSession;
    COlePtr<IOpenRowset> opened;
    hr = creator->CreateSession(NULL, IID_IOpenRowset, opened.OutUnknown());
    if (FAILED(hr) || (stopOnPositive && hr != S_OK))
        return hr;

    *step = kOpenDone;
    *session = opened.Detach();
    return hr;
}

HRESULT CreateOleDbCommand(IUnknown* session, LPCWSTR sql, ICommandText** command)
{
    *command = NULL;
    if (!session)
        return E_UNEXPECTED;
    COlePtr<IDBCreateCommand> creator;
    HRESULT hr = session->QueryInterface(IID_IDBCreateCommand, creator.OutVoid());
    if (FAILED(hr))
        return hr;
    COlePtr<ICommandText> text;
    hr = creator->CreateCommand(NULL, IID_ICommandText, text.OutUnknown());
    if (FAILED(hr))
        return hr;
    hr = text->SetCommandText(kDbGuidDefault, sql);
    if (FAILED(hr))
        return hr;
    *command = text.Detach();
    return hr;
}

DBBINDING MakeBinding(DBORDINAL ordinal, DBTYPE type, DBLENGTH size, DBBYTEOFFSET value, DBPART parts,
                      DBBYTEOFFSET length, DBBYTEOFFSET status, DBPARAMIO io)
{
    DBBINDING b;
    ZeroMemory(&b, sizeof(b));
    b.iOrdinal = ordinal;
    b.obValue = value;
    b.obLength = (parts & DBPART_LENGTH) ? length : 0;
    b.obStatus = (parts & DBPART_STATUS) ? status : 0;
    b.dwPart = parts;
    b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    b.eParamIO = io;
    b.cbMaxLen = size;
    b.wType = type;
    return b;
}

void COleDbCommandParts::ReleaseRow()
{
    if (m_bHasRow && m_pRowset)
        m_pRowset->ReleaseRows(1, &m_hRow, NULL, NULL, NULL);
    m_bHasRow = false;
}

void COleDbCommandParts::ReleaseAll()
{
    ReleaseRow();
    if (m_pAccessor) {
        if (m_hAccessor)
            m_pAccessor->ReleaseAccessor(m_hAccessor, NULL);
        m_pAccessor->Release();
        m_pAccessor = NULL;
    }
    m_hAccessor = DB_NULL_HACCESSOR;
    if (m_pRowsetChange) {
        m_pRowsetChange->Release();
        m_pRowsetChange = NULL;
    }
    if (m_pRowset) {
        m_pRowset->Release();
        m_pRowset = NULL;
    }
    if (m_pCommand) {
        m_pCommand->Release();
        m_pCommand = NULL;
    }
}
