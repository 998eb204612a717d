// COM plumbing shared by the objects of the stand-in provider.
#pragma once
#include <windows.h>
#include <oledb.h>

namespace oledb_standin {

// {4B1E6F3A-2C7D-4E59-9A8B-6D0F1C2E3A47}, registered under the ProgID "MSOLEDBSQL".
extern const CLSID CLSID_StandinProvider;

// Objects alive in the DLL (for DllCanUnloadNow).
extern LONG g_liveObjects;

// Reference counting for the provider's objects; each class answers
// QueryInterface itself through FindInterface.
class ComObject
{
public:
    ComObject() { InterlockedIncrement(&g_liveObjects); }
    virtual ~ComObject() { InterlockedDecrement(&g_liveObjects); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

protected:
    ULONG AddRefImpl() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG ReleaseImpl()
    {
        LONG n = InterlockedDecrement(&m_refs);
        if (n == 0)
            delete this;
        return static_cast<ULONG>(n);
    }
    HRESULT QueryImpl(REFIID riid, void** ppv)
    {
        if (!ppv)
            return E_POINTER;
        *ppv = FindInterface(riid);
        if (!*ppv)
            return E_NOINTERFACE;
        static_cast<IUnknown*>(*ppv)->AddRef();
        return S_OK;
    }
    // The interface pointer for riid (IUnknown included), or null.
    virtual void* FindInterface(REFIID riid) = 0;

private:
    LONG m_refs = 1;
};

#define STANDIN_IUNKNOWN                                                                     \
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return QueryImpl(riid, ppv); } \
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }                          \
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

// A task-allocator copy of a text (null for null).
inline LPOLESTR TaskString(const wchar_t* text)
{
    if (!text)
        return NULL;
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    LPOLESTR copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (copy)
        memcpy(copy, text, bytes);
    return copy;
}

} // namespace oledb_standin
