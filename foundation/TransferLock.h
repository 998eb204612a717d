// One online transfer at a time in this process. A backup, a restore or an
// import started by the user and the background worker's scheduled backup
// or synchronisation share the work files in the data folder and the case
// table; whoever runs one holds this lock, and the others do not start
// while it is held.
#pragma once
#include <atomic>

class CTransferLock
{
public:
    // Tries to take the lock; Held() tells whether it was taken. The
    // destructor gives back only a lock this object took.
    CTransferLock() : m_held(TryTake()) {}
    ~CTransferLock()
    {
        if (m_held)
            Flag().store(false);
    }
    CTransferLock(const CTransferLock&) = delete;
    CTransferLock& operator=(const CTransferLock&) = delete;

    bool Held() const { return m_held; }
    static bool IsTaken() { return Flag().load(); }

private:
    static std::atomic<bool>& Flag()
    {
        static std::atomic<bool> taken(false);
        return taken;
    }
    static bool TryTake()
    {
        bool expected = false;
        return Flag().compare_exchange_strong(expected, true);
    }

    bool m_held;
};
