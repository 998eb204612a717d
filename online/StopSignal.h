// A stop request that reaches the web-service requests made on a thread's
// behalf. The background worker gives its thread one (a manual-reset event
// that its Stop sets); the transfer manager carries the signal of the thread
// that runs it over to the thread of its jobs; a waiting CVapiRequest ends
// as cancelled as soon as the signal of its thread is set. So a stop never
// waits on a stalled service, whichever request the worker is in.
#pragma once
#include <windows.h>

class CStopSignal
{
public:
    // The calling thread's signal, or NULL (the UI thread has none).
    static HANDLE Current() { return Slot(); }
    static bool IsSet(HANDLE signal) { return signal && WaitForSingleObject(signal, 0) == WAIT_OBJECT_0; }

    // Gives the calling thread the signal (not owned) for the scope's
    // lifetime.
    class CScope
    {
    public:
        explicit CScope(HANDLE signal) : m_previous(Slot()) { Slot() = signal; }
        ~CScope() { Slot() = m_previous; }
        CScope(const CScope&) = delete;
        CScope& operator=(const CScope&) = delete;

    private:
        HANDLE m_previous;
    };

private:
    static HANDLE& Slot()
    {
        static thread_local HANDLE signal = NULL;
        return signal;
    }
};
