// The process-wide flag "a worker thread writes the case store now": while
// it is set, the UI thread leaves the store alone (the case list shows
// nothing from it, the main window's commands, hot keys and timers that
// would read or write it are refused or put off). Set and cleared on the
// UI thread by whoever runs such a worker; read on the UI thread.
#pragma once
#include <atomic>

inline std::atomic<bool>& StoreBusyFlag()
{
    static std::atomic<bool> busy(false);
    return busy;
}

inline void SetStoreBusy(bool busy)
{
    StoreBusyFlag().store(busy);
}

inline bool IsStoreBusy()
{
    return StoreBusyFlag().load();
}

// Sets the flag for its lifetime: whatever way the code that runs the
// worker leaves (a return, an exception), the flag is cleared. End clears
// it earlier, once the worker has been joined.
class CStoreBusyScope
{
public:
    explicit CStoreBusyScope(bool active = true) : m_active(active)
    {
        if (m_active)
            SetStoreBusy(true);
    }
    ~CStoreBusyScope() { End(); }
    CStoreBusyScope(const CStoreBusyScope&) = delete;
    CStoreBusyScope& operator=(const CStoreBusyScope&) = delete;

    void End()
    {
        if (m_active)
            SetStoreBusy(false);
        m_active = false;
    }

private:
    bool m_active;
};
