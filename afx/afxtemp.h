// The temporary wrapper objects that FromHandle hands out for handles no
// permanent object owns (CWnd, CDC, the GDI objects, CMenu). There is one
// wrapper per handle and thread; the wrappers of a thread are deleted when
// its message loop goes idle (AfxDeleteTempObjects), without touching the
// handles. A caller must not keep such a pointer beyond the current message.
// Internal to the layer.
#pragma once
#include <windows.h>
#include <unordered_map>

namespace afx_detail {

// Adds a function that empties one temporary map of the calling thread.
void RegisterTempMap(void (*pfnClear)());

template <class T>
class CTempMap
{
public:
    // The calling thread's map for wrappers of type T.
    static CTempMap& Get()
    {
        thread_local CTempMap map;
        return map;
    }

    // The wrapper for hHandle; pfnSet puts the handle into a new wrapper
    // and pfnRelease takes it out again before the wrapper is deleted.
    T* Lookup(void* hHandle, void (*pfnSet)(T*, void*), void (*pfnRelease)(T*))
    {
        auto it = m_map.find(hHandle);
        if (it != m_map.end())
            return it->second;
        if (!m_bRegistered) {
            RegisterTempMap(&ClearThreadMap);
            m_bRegistered = true;
        }
        T* p = new T;
        pfnSet(p, hHandle);
        m_map.emplace(hHandle, p);
        m_pfnRelease = pfnRelease;
        return p;
    }

    void Clear()
    {
        for (auto& kv : m_map) {
            if (m_pfnRelease)
                m_pfnRelease(kv.second);
            delete kv.second;
        }
        m_map.clear();
    }

    ~CTempMap() { Clear(); }

private:
    CTempMap() = default;
    static void ClearThreadMap() { Get().Clear(); }

    std::unordered_map<void*, T*> m_map;
    void (*m_pfnRelease)(T*) = nullptr;
    bool m_bRegistered = false;
};

} // namespace afx_detail
