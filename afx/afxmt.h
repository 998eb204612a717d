// Synchronisation objects: CCriticalSection, CEvent, and CSingleLock to hold
// either for a scope.
#pragma once
#include <windows.h>

class CSyncObject
{
public:
    virtual ~CSyncObject() {}
    virtual BOOL Lock(DWORD dwTimeout = INFINITE) = 0;
    virtual BOOL Unlock() = 0;
};

class CCriticalSection : public CSyncObject
{
public:
    CCriticalSection() { ::InitializeCriticalSectionAndSpinCount(&m_sect, 0); }
    ~CCriticalSection() override { ::DeleteCriticalSection(&m_sect); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    BOOL Lock(DWORD = INFINITE) override { ::EnterCriticalSection(&m_sect); return TRUE; }
    BOOL Unlock() override { ::LeaveCriticalSection(&m_sect); return TRUE; }
    operator CRITICAL_SECTION*() { return &m_sect; }

private:
    CRITICAL_SECTION m_sect;
};

class CEvent : public CSyncObject
{
public:
    CEvent(BOOL bInitiallyOwn = FALSE, BOOL bManualReset = FALSE, LPCWSTR lpszName = NULL,
           LPSECURITY_ATTRIBUTES lpsaAttribute = NULL);
    ~CEvent() override;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    BOOL SetEvent() { return ::SetEvent(m_hObject); }
    BOOL ResetEvent() { return ::ResetEvent(m_hObject); }
    BOOL PulseEvent() { return ::PulseEvent(m_hObject); }
    BOOL Lock(DWORD dwTimeout = INFINITE) override;
    BOOL Unlock() override { return TRUE; }
    operator HANDLE() const { return m_hObject; }

    HANDLE m_hObject;
};

class CSingleLock
{
public:
    explicit CSingleLock(CSyncObject* pObject, BOOL bInitialLock = FALSE);
    ~CSingleLock() { Unlock(); }
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;

    BOOL Lock(DWORD dwTimeout = INFINITE);
    BOOL Unlock();
    BOOL IsLocked() const { return m_bAcquired; }

private:
    CSyncObject* m_pObject;
    BOOL m_bAcquired;
};
