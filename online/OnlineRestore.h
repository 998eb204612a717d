// COnlineRestore: the account's backup from the web service back into the
// central database (through the case store) or into the local backup file.
#pragma once
#include <windows.h>
#include <vector>
#include "afxstr.h"
#include "storage/UgyiratRecord.h"

class CWnd;
class CProgress;

class COnlineRestore
{
public:
    // toBackupFile: false the central database, true the local backup file.
    COnlineRestore(bool toBackupFile, CWnd* pParent);
    ~COnlineRestore();
    COnlineRestore(const COnlineRestore&) = delete;
    COnlineRestore& operator=(const COnlineRestore&) = delete;

    // 1 when the restore ran through and stored the data, else 0.
    int Start(bool silent);

    virtual bool IsRunning() const { return false; }
    virtual bool Run();
    virtual void OnSkipped();

protected:
    bool m_bToBackupFile;
    bool m_bSilent;
    CWnd* m_pParent;
    std::vector<CUgyiratRecord> m_records;
};
