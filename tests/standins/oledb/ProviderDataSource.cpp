#include <oledberr.h>
#include <cstdio>
#include "ProviderObjects.h"

namespace oledb_standin {

namespace {

std::wstring PropertyText(const VARIANT& v)
{
    if (v.vt == VT_BSTR)
        return v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : std::wstring();
    VARIANT copy;
    VariantInit(&copy);
    std::wstring text;
    if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), 0, VT_BSTR)) && copy.bstrVal)
        text.assign(copy.bstrVal, SysStringLen(copy.bstrVal));
    VariantClear(&copy);
    return text;
}

} // namespace

DataSource::DataSource() {}

DataSource::~DataSource() {}

void* DataSource::FindInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_IDBInitialize)
        return static_cast<IDBInitialize*>(this);
    if (riid == IID_IDBProperties)
        return static_cast<IDBProperties*>(this);
    if (riid == IID_IDBCreateSession)
        return static_cast<IDBCreateSession*>(this);
    if (riid == IID_IPersist)
        return static_cast<IPersist*>(this);
    if (riid == IID_ISupportErrorInfo)
        return static_cast<ISupportErrorInfo*>(this);
    return NULL;
}

STDMETHODIMP DataSource::Initialize()
{
    ClearErrors();
    if (m_initialized)
        return DB_E_ALREADYINITIALIZED;
    ErrorList errors;
    AppendTrace(DataFolderFromEnvironment(), L"connect " + m_keywords);
    HRESULT hr = Login(m_settings, &m_login, &errors);
    if (FAILED(hr))
        return PostErrors(hr, IID_IDBInitialize, errors, m_settings.server);
    m_initialized = true;
    return S_OK;
}

STDMETHODIMP DataSource::Uninitialize()
{
    m_initialized = false;
    return S_OK;
}

STDMETHODIMP DataSource::GetProperties(ULONG, const DBPROPIDSET[], ULONG* pcPropertySets, DBPROPSET** prgPropertySets)
{
    if (pcPropertySets)
        *pcPropertySets = 0;
    if (prgPropertySets)
        *prgPropertySets = NULL;
    return E_NOTIMPL;
}

STDMETHODIMP DataSource::GetPropertyInfo(ULONG, const DBPROPIDSET[], ULONG* pcPropertyInfoSets,
                                         DBPROPINFOSET** prgPropertyInfoSets, OLECHAR** ppDescBuffer)
{
    if (pcPropertyInfoSets)
        *pcPropertyInfoSets = 0;
    if (prgPropertyInfoSets)
        *prgPropertyInfoSets = NULL;
    if (ppDescBuffer)
        *ppDescBuffer = NULL;
    return E_NOTIMPL;
}

// Wine's oledb32 hands each keyword it does not know itself over as one
// DBPROP_INIT_PROVIDERSTRING of its own ("Server=host,1433"), its quotes
// already taken off; the standard keywords come as their own properties.
// Whatever this server cannot use is kept and refused by Initialize, so a
// wrong connection string fails a test instead of being ignored.
STDMETHODIMP DataSource::SetProperties(ULONG cPropertySets, DBPROPSET rgPropertySets[])
{
    ClearErrors();
    if (cPropertySets && !rgPropertySets)
        return E_INVALIDARG;
    if (m_initialized)
        return DB_E_ERRORSOCCURRED;
    for (ULONG s = 0; s < cPropertySets; ++s) {
        DBPROPSET& set = rgPropertySets[s];
        bool init = set.guidPropertySet == DBPROPSET_DBINIT;
        for (ULONG i = 0; i < set.cProperties; ++i) {
            DBPROP& p = set.rgProperties[i];
            p.dwStatus = DBPROPSTATUS_OK;
            if (p.vValue.vt == VT_EMPTY)
                continue;
            std::wstring value = PropertyText(p.vValue);
            std::wstring key;
            switch (init ? p.dwPropertyID : 0) {
            case DBPROP_INIT_PROVIDERSTRING: {
                size_t eq = value.find(L'=');
                key = value.substr(0, eq);
                value = eq == std::wstring::npos ? std::wstring() : value.substr(eq + 1);
                break;
            }
            case DBPROP_INIT_DATASOURCE: key = L"Data Source"; break;
            case DBPROP_INIT_CATALOG:
            case DBPROP_CATALOGLOCATION: key = L"Initial Catalog"; break; // Wine 8 sends the latter
            case DBPROP_AUTH_INTEGRATED: key = L"Integrated Security"; break;
            case DBPROP_AUTH_USERID: key = L"User ID"; break;
            case DBPROP_AUTH_PASSWORD: key = L"Password"; break;
            default: {
                wchar_t name[64];
                swprintf(name, 64, L"property 0x%lx", static_cast<unsigned long>(p.dwPropertyID));
                key = name;
                break;
            }
            }
            m_settings.Apply(key, value);
            m_keywords += (m_keywords.empty() ? L"" : L";") + key + L"=" + value;
        }
    }
    return S_OK;
}

STDMETHODIMP DataSource::CreateSession(IUnknown* pUnkOuter, REFIID riid, IUnknown** ppDBSession)
{
    ClearErrors();
    if (!ppDBSession)
        return E_INVALIDARG;
    *ppDBSession = NULL;
    if (pUnkOuter)
        return DB_E_NOAGGREGATION;
    if (!m_initialized)
        return E_UNEXPECTED;
    if (ServerIsDown(m_login.folder, m_login.server))
        return PostErrors(E_FAIL, IID_IDBCreateSession, LinkFailure(), m_login.server);
    auto connection = std::make_shared<ServerConnection>(m_login);
    ErrorList errors;
    if (!connection->Open(&errors))
        return PostErrors(E_FAIL, IID_IDBCreateSession, errors, m_login.server);
    Session* session = new Session(this, connection);
    HRESULT hr = session->QueryInterface(riid, reinterpret_cast<void**>(ppDBSession));
    session->Release();
    return hr;
}

STDMETHODIMP DataSource::GetClassID(CLSID* pClassID)
{
    if (!pClassID)
        return E_FAIL;
    *pClassID = CLSID_StandinProvider;
    return S_OK;
}

STDMETHODIMP DataSource::InterfaceSupportsErrorInfo(REFIID riid)
{
    return riid == IID_IDBInitialize || riid == IID_IDBProperties || riid == IID_IDBCreateSession ? S_OK : S_FALSE;
}

Session::Session(DataSource* source, const std::shared_ptr<ServerConnection>& connection)
    : m_source(source), m_connection(connection)
{
    m_source->AddRef();
}

Session::~Session()
{
    m_connection.reset();
    m_source->Release();
}

void* Session::FindInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_IOpenRowset)
        return static_cast<IOpenRowset*>(this);
    if (riid == IID_IDBCreateCommand)
        return static_cast<IDBCreateCommand*>(this);
    if (riid == IID_IGetDataSource)
        return static_cast<IGetDataSource*>(this);
    if (riid == IID_ISupportErrorInfo)
        return static_cast<ISupportErrorInfo*>(this);
    return NULL;
}

STDMETHODIMP Session::OpenRowset(IUnknown*, DBID*, DBID*, REFIID, ULONG, DBPROPSET[], IUnknown** ppRowset)
{
    if (ppRowset)
        *ppRowset = NULL;
    return E_NOTIMPL;
}

STDMETHODIMP Session::CreateCommand(IUnknown* pUnkOuter, REFIID riid, IUnknown** ppCommand)
{
    ClearErrors();
    if (!ppCommand)
        return E_INVALIDARG;
    *ppCommand = NULL;
    if (pUnkOuter)
        return DB_E_NOAGGREGATION;
    Command* command = new Command(this);
    HRESULT hr = command->QueryInterface(riid, reinterpret_cast<void**>(ppCommand));
    command->Release();
    return hr;
}

STDMETHODIMP Session::GetDataSource(REFIID riid, IUnknown** ppDataSource)
{
    if (!ppDataSource)
        return E_INVALIDARG;
    return m_source->QueryInterface(riid, reinterpret_cast<void**>(ppDataSource));
}

STDMETHODIMP Session::InterfaceSupportsErrorInfo(REFIID riid)
{
    return riid == IID_IDBCreateCommand || riid == IID_IOpenRowset ? S_OK : S_FALSE;
}

} // namespace oledb_standin
