#include "foundation/RegisteredMessages.h"

UINT g_uMsgLockUi = RegisterWindowMessageW(L"FOLIONEX_LOCKUI");
UINT g_uMsgProgress = RegisterWindowMessageW(L"FOLIONEX_PROGRESS");
UINT g_uMsgTask = RegisterWindowMessageW(L"FOLIONEX_TASK");
