#include "online/OnlineRestore.h"
#include "foundation/Log.h"

COnlineRestore::COnlineRestore(bool toBackupFile, CWnd* pParent)
    : m_bToBackupFile(toBackupFile), m_bSilent(false), m_pParent(pParent)
{
}

COnlineRestore::~COnlineRestore()
{
}

int COnlineRestore::Start(bool silent)
{
    m_bSilent = silent;
    return Run() ? 1 : 0;
}

bool COnlineRestore::Run()
{
    LogFormat(L"Online restore: not part of this build");
    return false;
}

void COnlineRestore::OnSkipped()
{
}
