#include "storage/CtSqlServer.h"
#include "foundation/Log.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/OleDbSupport.h"

CCheckDBAccessor::CCheckDBAccessor() : m_pSession(NULL)
{
    ZeroMemory(m_szColumn, sizeof(m_szColumn));
}

CCheckDBAccessor::~CCheckDBAccessor()
{
    ReleaseSession();
}

void CCheckDBAccessor::ReleaseSession()
{
    if (m_pSession) {
        m_pSession->Release();
        m_pSession = NULL;
    }
}

HRESULT CCheckDBAccessor::OpenAll()
{
    ReleaseSession();
    OleDbOpenStep step;
    HRESULT hr = OpenOleDbSession(m_connection, false, &m_pSession, &step);
    if (FAILED(hr))
        LogFormat(L"CCheckDBAccessor::OpenAll error - %x - %s", (unsigned)hr,
                  (LPCWSTR)MaskConnectionPassword(m_connection));
    return hr;
}

CtSqlServer::CtSqlServer(LPCWSTR connection)
{
    m_connection = connection;
}

CtSqlServer::~CtSqlServer()
{
    Close();
}

bool CtSqlServer::OpenAll(LPCWSTR sql)
{
    Close();
    HRESULT hr = CCheckDBAccessor::OpenAll();
    if (hr != S_OK) {
        if (FAILED(hr))
            LogFormat(L"CtSqlServer::OpenAll error - %x - %s", (unsigned)hr, sql);
        return false;
    }
    hr = CreateOleDbCommand(m_pSession, sql, &m_pCommand);
    if (SUCCEEDED(hr)) {
        COlePtr<IUnknown> rowset;
        hr = m_pCommand->Execute(NULL, IID_IRowset, NULL, NULL, rowset.Out());
        if (SUCCEEDED(hr) && !rowset)
            hr = E_NOINTERFACE;
        if (SUCCEEDED(hr))
            hr = rowset->QueryInterface(IID_IRowset, reinterpret_cast<void**>(&m_pRowset));
    }
    if (SUCCEEDED(hr)) {
        if (FAILED(m_pRowset->QueryInterface(IID_IRowsetChange, reinterpret_cast<void**>(&m_pRowsetChange))))
            m_pRowsetChange = NULL;
        hr = m_pRowset->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&m_pAccessor));
    }
    if (SUCCEEDED(hr)) {
        DBBINDING binding = MakeBinding(1, DBTYPE_WSTR, sizeof(m_szColumn), 0, DBPART_VALUE, 0, 0,
                                        DBPARAMIO_NOTPARAM);
        hr = m_pAccessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &binding, sizeof(m_szColumn), &m_hAccessor, NULL);
        if (FAILED(hr))
            m_hAccessor = DB_NULL_HACCESSOR;
    }
    if (FAILED(hr)) {
        LogFormat(L"CtSqlServer::OpenAll error - %x - %s", (unsigned)hr, sql);
        Close();
        return false;
    }
    return true;
}

bool CtSqlServer::MoveNext()
{
    ZeroMemory(m_szColumn, sizeof(m_szColumn));
    if (!m_pRowset || !m_hAccessor)
        return false;
    if (m_bHasRow) {
        m_pRowset->ReleaseRows(1, &m_hRow, NULL, NULL, NULL);
        m_bHasRow = false;
    }
    DBCOUNTITEM obtained = 0;
    HROW* rows = &m_hRow;
    HRESULT hr = m_pRowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &rows);
    if (hr != S_OK || obtained != 1)
        return false;
    m_bHasRow = true;
    hr = m_pRowset->GetData(m_hRow, m_hAccessor, m_szColumn);
    m_szColumn[_countof(m_szColumn) - 1] = 0;
    return hr == S_OK;
}

void CtSqlServer::Close()
{
    ReleaseAll();
    ReleaseSession();
}
