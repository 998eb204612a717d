#include "ProviderErrors.h"
#include <oledb.h>
#include <oledberr.h>
#include <msoledbsql.h>
#include "ProviderCom.h"

namespace oledb_standin {

namespace {

// {5CF4CA12-EF21-11D0-97E7-00C04FC2AD98}, as the driver's header gives it.
const IID kIID_ISQLServerErrorInfo = {0x5cf4ca12, 0xef21, 0x11d0, {0x97, 0xe7, 0x00, 0xc0, 0x4f, 0xc2, 0xad, 0x98}};

const wchar_t kSource[] = L"Microsoft OLE DB Driver for SQL Server";

struct Record
{
    ERRORINFO basic;
    ErrorData data;
};

// The per-record custom object.
class SqlErrorInfo : public ComObject, public ISQLErrorInfo, public ISQLServerErrorInfo
{
public:
    SqlErrorInfo(const ErrorData& data, const std::wstring& server) : m_data(data), m_server(server) {}
    STANDIN_IUNKNOWN

    STDMETHODIMP GetSQLInfo(BSTR* pbstrSQLState, LONG* plNativeError) override
    {
        if (pbstrSQLState)
            *pbstrSQLState = SysAllocString(m_data.sqlState.c_str());
        if (plNativeError)
            *plNativeError = m_data.native;
        return S_OK;
    }

    STDMETHODIMP GetErrorInfo(SSERRORINFO** ppErrorInfo, OLECHAR** ppStringsBuffer) override
    {
        if (!ppErrorInfo || !ppStringsBuffer)
            return E_INVALIDARG;
        *ppErrorInfo = NULL;
        *ppStringsBuffer = NULL;
        if (!m_data.fromServer)
            return S_OK; // no server error behind this record
        size_t chars = m_data.message.size() + 1 + m_server.size() + 1 + 1;
        SSERRORINFO* info = static_cast<SSERRORINFO*>(CoTaskMemAlloc(sizeof(SSERRORINFO)));
        OLECHAR* strings = static_cast<OLECHAR*>(CoTaskMemAlloc(chars * sizeof(OLECHAR)));
        if (!info || !strings) {
            CoTaskMemFree(info);
            CoTaskMemFree(strings);
            return E_OUTOFMEMORY;
        }
        OLECHAR* p = strings;
        info->pwszMessage = p;
        memcpy(p, m_data.message.c_str(), (m_data.message.size() + 1) * sizeof(OLECHAR));
        p += m_data.message.size() + 1;
        info->pwszServer = p;
        memcpy(p, m_server.c_str(), (m_server.size() + 1) * sizeof(OLECHAR));
        p += m_server.size() + 1;
        info->pwszProcedure = p;
        *p = 0;
        info->lNative = m_data.native;
        info->bState = m_data.state;
        info->bClass = m_data.severity;
        info->wLineNumber = 1;
        *ppErrorInfo = info;
        *ppStringsBuffer = strings;
        return S_OK;
    }

protected:
    void* FindInterface(REFIID riid) override
    {
        if (riid == IID_IUnknown || riid == IID_ISQLErrorInfo)
            return static_cast<ISQLErrorInfo*>(this);
        if (riid == kIID_ISQLServerErrorInfo)
            return static_cast<ISQLServerErrorInfo*>(this);
        return NULL;
    }

private:
    ErrorData m_data;
    std::wstring m_server;
};

// IErrorInfo of one record.
class RecordInfo : public ComObject, public IErrorInfo
{
public:
    explicit RecordInfo(const Record& record) : m_record(record) {}
    STANDIN_IUNKNOWN

    STDMETHODIMP GetGUID(GUID* pGUID) override
    {
        if (!pGUID)
            return E_INVALIDARG;
        *pGUID = m_record.basic.iid;
        return S_OK;
    }
    STDMETHODIMP GetSource(BSTR* pBstrSource) override
    {
        if (!pBstrSource)
            return E_INVALIDARG;
        *pBstrSource = SysAllocString(kSource);
        return S_OK;
    }
    STDMETHODIMP GetDescription(BSTR* pBstrDescription) override
    {
        if (!pBstrDescription)
            return E_INVALIDARG;
        *pBstrDescription = SysAllocString(m_record.data.message.c_str());
        return S_OK;
    }
    STDMETHODIMP GetHelpFile(BSTR* pBstrHelpFile) override
    {
        if (!pBstrHelpFile)
            return E_INVALIDARG;
        *pBstrHelpFile = NULL;
        return S_OK;
    }
    STDMETHODIMP GetHelpContext(DWORD* pdwHelpContext) override
    {
        if (!pdwHelpContext)
            return E_INVALIDARG;
        *pdwHelpContext = 0;
        return S_OK;
    }

protected:
    void* FindInterface(REFIID riid) override
    {
        if (riid == IID_IUnknown || riid == IID_IErrorInfo)
            return static_cast<IErrorInfo*>(this);
        return NULL;
    }

private:
    Record m_record;
};

// The error object handed to SetErrorInfo. Its own IErrorInfo tells the first record.
class ErrorObject : public ComObject, public IErrorInfo, public IErrorRecords
{
public:
    ErrorObject(const std::vector<Record>& records, const std::wstring& server)
        : m_records(records), m_server(server)
    {
    }
    STANDIN_IUNKNOWN

    STDMETHODIMP GetGUID(GUID* pGUID) override
    {
        if (!pGUID)
            return E_INVALIDARG;
        *pGUID = m_records.empty() ? GUID_NULL : m_records[0].basic.iid;
        return S_OK;
    }
    STDMETHODIMP GetSource(BSTR* pBstrSource) override
    {
        if (!pBstrSource)
            return E_INVALIDARG;
        *pBstrSource = SysAllocString(kSource);
        return S_OK;
    }
    STDMETHODIMP GetDescription(BSTR* pBstrDescription) override
    {
        if (!pBstrDescription)
            return E_INVALIDARG;
        *pBstrDescription = SysAllocString(m_records.empty() ? L"" : m_records[0].data.message.c_str());
        return S_OK;
    }
    STDMETHODIMP GetHelpFile(BSTR* pBstrHelpFile) override
    {
        if (!pBstrHelpFile)
            return E_INVALIDARG;
        *pBstrHelpFile = NULL;
        return S_OK;
    }
    STDMETHODIMP GetHelpContext(DWORD* pdwHelpContext) override
    {
        if (!pdwHelpContext)
            return E_INVALIDARG;
        *pdwHelpContext = 0;
        return S_OK;
    }

    STDMETHODIMP AddErrorRecord(ERRORINFO* pErrorInfo, DWORD /*dwLookupID*/, DISPPARAMS* /*pdispparams*/,
                                IUnknown* /*punkCustomError*/, DWORD /*dwDynamicErrorID*/) override
    {
        if (!pErrorInfo)
            return E_INVALIDARG;
        Record r;
        r.basic = *pErrorInfo;
        r.data.fromServer = false;
        m_records.push_back(r);
        return S_OK;
    }
    STDMETHODIMP GetBasicErrorInfo(ULONG ulRecordNum, ERRORINFO* pErrorInfo) override
    {
        if (!pErrorInfo)
            return E_INVALIDARG;
        if (ulRecordNum >= m_records.size())
            return DB_E_BADRECORDNUM;
        *pErrorInfo = m_records[ulRecordNum].basic;
        return S_OK;
    }
    STDMETHODIMP GetCustomErrorObject(ULONG ulRecordNum, REFIID riid, IUnknown** ppObject) override
    {
        if (!ppObject)
            return E_INVALIDARG;
        *ppObject = NULL;
        if (ulRecordNum >= m_records.size())
            return DB_E_BADRECORDNUM;
        SqlErrorInfo* info = new SqlErrorInfo(m_records[ulRecordNum].data, m_server);
        HRESULT hr = info->QueryInterface(riid, reinterpret_cast<void**>(ppObject));
        info->Release();
        return hr;
    }
    STDMETHODIMP GetErrorInfo(ULONG ulRecordNum, LCID /*lcid*/, IErrorInfo** ppErrorInfo) override
    {
        if (!ppErrorInfo)
            return E_INVALIDARG;
        *ppErrorInfo = NULL;
        if (ulRecordNum >= m_records.size())
            return DB_E_BADRECORDNUM;
        *ppErrorInfo = new RecordInfo(m_records[ulRecordNum]);
        return S_OK;
    }
    STDMETHODIMP GetErrorParameters(ULONG ulRecordNum, DISPPARAMS* pdispparams) override
    {
        if (!pdispparams)
            return E_INVALIDARG;
        if (ulRecordNum >= m_records.size())
            return DB_E_BADRECORDNUM;
        ZeroMemory(pdispparams, sizeof(*pdispparams));
        return S_OK;
    }
    STDMETHODIMP GetRecordCount(ULONG* pcRecords) override
    {
        if (!pcRecords)
            return E_INVALIDARG;
        *pcRecords = static_cast<ULONG>(m_records.size());
        return S_OK;
    }

protected:
    void* FindInterface(REFIID riid) override
    {
        if (riid == IID_IUnknown || riid == IID_IErrorInfo)
            return static_cast<IErrorInfo*>(this);
        if (riid == IID_IErrorRecords)
            return static_cast<IErrorRecords*>(this);
        return NULL;
    }

private:
    std::vector<Record> m_records;
    std::wstring m_server;
};

} // namespace

ErrorData ServerError(LONG native, BYTE severity, const wchar_t* sqlState, const std::wstring& message)
{
    ErrorData e;
    e.sqlState = sqlState;
    e.native = native;
    e.severity = severity;
    e.message = message;
    return e;
}

ErrorData DriverError(const wchar_t* sqlState, const std::wstring& message)
{
    ErrorData e;
    e.sqlState = sqlState;
    e.native = 0;
    e.state = 0;
    e.severity = 0;
    e.message = message;
    e.fromServer = false;
    return e;
}

ErrorData StatementTerminated()
{
    ErrorData e = ServerError(3621, 0, L"01000", L"The statement has been terminated.");
    e.state = 0;
    return e;
}

HRESULT PostErrors(HRESULT hr, REFIID iid, const ErrorList& errors, const std::wstring& server)
{
    std::vector<Record> records;
    for (const ErrorData& e : errors) {
        Record r;
        r.basic.hrError = hr;
        r.basic.dwMinor = static_cast<DWORD>(e.native);
        r.basic.clsid = CLSID_StandinProvider;
        r.basic.iid = iid;
        r.basic.dispid = 0;
        r.data = e;
        records.push_back(r);
    }
    ErrorObject* object = new ErrorObject(records, server);
    SetErrorInfo(0, static_cast<IErrorInfo*>(object));
    object->Release();
    return hr;
}

HRESULT PostError(HRESULT hr, REFIID iid, const ErrorData& error, const std::wstring& server)
{
    return PostErrors(hr, iid, ErrorList(1, error), server);
}

void ClearErrors()
{
    SetErrorInfo(0, NULL);
}

} // namespace oledb_standin
