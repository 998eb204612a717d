// The process-wide flag "a worker thread writes the case store now": while
// it is set, the UI thread leaves the store alone (the case list shows
// nothing from it, the hot keys do not rebuild it). Set and cleared on the
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
