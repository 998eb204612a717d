// One writer of the local backup file at a time in this process: the copy
// of the central table (CUgyiratStore::CreateBackup, at exit and when the
// user disconnects) and the restore into the backup file (the scheduled
// synchronisation, the start-up download). Each writes a file of its own
// beside the backup and renames it over the backup at the end; without the
// lock the one that renamed last would win. Whoever comes second waits for
// the first to finish; a thread with windows (the UI thread) repaints them
// meanwhile. The lock belongs to the thread that took it and may be taken
// again on that thread.
#pragma once
#include <windows.h>
#include "foundation/Log.h"
#include "foundation/ProgressDlg.h"

class CBackupFileLock
{
public:
    // Waits for the lock; writer names the one who waits, for the log.
    explicit CBackupFileLock(LPCWSTR writer) : m_held(false)
    {
        HANDLE mutex = Mutex();
        if (!mutex)
            return;
        DWORD rc = WaitForSingleObject(mutex, 0);
        if (rc == WAIT_TIMEOUT) {
            LogFormat(L"Backup file: the %s waits for the other writer", writer);
            rc = WaitRepainting(mutex);
            LogFormat(L"Backup file: the %s goes on", writer);
        }
        // An owner that ended without giving the lock back left no file
        // half renamed: the lock is ours all the same.
        m_held = rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED;
    }
    ~CBackupFileLock()
    {
        if (m_held)
            ReleaseMutex(Mutex());
    }
    CBackupFileLock(const CBackupFileLock&) = delete;
    CBackupFileLock& operator=(const CBackupFileLock&) = delete;

private:
    static HANDLE Mutex()
    {
        static HANDLE mutex = CreateMutexW(NULL, FALSE, NULL);
        return mutex;
    }

    bool m_held;
};
