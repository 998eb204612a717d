// The window messages that reach the UI thread from any thread, registered
// by name before the program's entry point runs. Message maps take these
// variables (ON_REGISTERED_MESSAGE keeps their address); posters read them.
//
// "FOLIONEX_LOCKUI"    wParam 0 disables the data-changing commands before a
//                      background backup or synchronisation, 1 enables them.
// "FOLIONEX_PROGRESS"  wParam is a heap CProgressRecord; the receiver owns and
//                      deletes it.
// "FOLIONEX_TASK"      runs one queued task (CAppSettings::RunPendingTask)
//                      when the main dialog is not busy.
#pragma once
#include <windows.h>

extern UINT g_uMsgLockUi;
extern UINT g_uMsgProgress;
extern UINT g_uMsgTask;
