// The process-wide flag "a worker thread writes the case store now": while
// it is set, the UI thread leaves the store alone (the case list shows
// nothing from it, the main window's commands, hot keys and timers that
// would read or write it are refused or put off). Set and cleared on the
// UI thread by whoever runs such a worker; read on the UI thread.
#pragma once
#include <atomic>
#include "foundation/Log.h"

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

// What the user is told when a command is refused while the store is busy.
inline constexpr wchar_t kTextStoreBusy[] = L"Az adatok írása folyamatban van, a művelet most nem hajtható végre.";

// The one rule for every road into the case store or the backup file from
// the main window and the dialogs over it (commands, hot keys, timers,
// queued tasks, double clicks): while a worker writes the store, the road
// is closed. True when the road may go on now; a closed road is logged
// with its name and with what it does instead ("refused", "put off"). The
// caller then tells the user, or does the work later.
inline bool StoreRoadOpen(LPCWSTR road, LPCWSTR instead = L"refused")
{
    if (!IsStoreBusy())
        return true;
    LogFormat(L"Store busy: %s %s", road, instead);
    return false;
}
