// COM for a worker thread of this program (multithreaded apartment), given
// back at the end of the scope only when it was taken.
#pragma once
#include <objbase.h>

class CComScope
{
public:
    explicit CComScope(bool needed = true)
        : m_hr(needed ? CoInitializeEx(NULL, COINIT_MULTITHREADED) : E_NOTIMPL), m_needed(needed)
    {
    }
    ~CComScope()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

    // The start's result: a failure the caller may log.
    bool Failed() const { return m_needed && FAILED(m_hr); }
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
    bool m_needed;
};
