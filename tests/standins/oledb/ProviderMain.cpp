// The DLL of the stand-in provider: its class factory, and its registration
// under the ProgID "MSOLEDBSQL" with ThreadingModel=Both (any apartment may
// use it directly, no marshalling).
// The OLE DB constants (DBGUID_DEFAULT, DBPROPSET_DBINIT, ...) are defined here.
#define DBINITCONSTANTS
#include <windows.h>
#include <oledb.h>
#include <olectl.h>
#include "ProviderObjects.h"

#define STANDIN_EXPORT extern "C" __declspec(dllexport)

namespace oledb_standin {

const CLSID CLSID_StandinProvider = {0x4b1e6f3a, 0x2c7d, 0x4e59, {0x9a, 0x8b, 0x6d, 0x0f, 0x1c, 0x2e, 0x3a, 0x47}};
LONG g_liveObjects = 0;

namespace {

HMODULE g_module = NULL;
LONG g_locks = 0;

const wchar_t kProgId[] = L"MSOLEDBSQL";
const wchar_t kDescription[] = L"Folionex test stand-in for the SQL Server OLE DB driver";

class ClassFactory : public IClassFactory
{
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = NULL;
        return E_NOINTERFACE;
    }
    // The factory is static: it lives as long as the DLL.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override
    {
        if (!ppvObject)
            return E_POINTER;
        *ppvObject = NULL;
        if (pUnkOuter)
            return CLASS_E_NOAGGREGATION;
        DataSource* source = new DataSource;
        HRESULT hr = source->QueryInterface(riid, ppvObject);
        source->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL fLock) override
    {
        if (fLock)
            InterlockedIncrement(&g_locks);
        else
            InterlockedDecrement(&g_locks);
        return S_OK;
    }
};

ClassFactory g_factory;

std::wstring ClsidText()
{
    wchar_t text[64];
    StringFromGUID2(CLSID_StandinProvider, text, 64);
    return text;
}

bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value)
{
    HKEY h;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, NULL, 0, KEY_WRITE, NULL, &h, NULL) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

} // namespace

} // namespace oledb_standin

using namespace oledb_standin;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STANDIN_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = NULL;
    if (rclsid != CLSID_StandinProvider)
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

// The DLL stays loaded once used: the SQLite library linked into it keeps
// process-wide state that an unload and reload would leak.
STANDIN_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return S_FALSE;
}

STANDIN_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return SELFREG_E_CLASS;
    std::wstring clsid = ClsidText();
    std::wstring classKey = L"CLSID\\" + clsid;
    bool ok = SetValue(kProgId, NULL, kDescription) && SetValue(std::wstring(kProgId) + L"\\CLSID", NULL, clsid) &&
              SetValue(classKey, NULL, kProgId) && SetValue(classKey + L"\\ProgID", NULL, kProgId) &&
              SetValue(classKey + L"\\OLE DB Provider", NULL, kDescription) &&
              SetValue(classKey + L"\\InprocServer32", NULL, path) &&
              SetValue(classKey + L"\\InprocServer32", L"ThreadingModel", L"Both");
    return ok ? S_OK : SELFREG_E_CLASS;
}

STANDIN_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    std::wstring classKey = L"CLSID\\" + ClsidText();
    RegDeleteTreeW(HKEY_CLASSES_ROOT, classKey.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, classKey.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, kProgId);
    return S_OK;
}
