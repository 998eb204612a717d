// Identifiers of the program's resources.
#pragma once

#define IDR_MAINFRAME 128

// Start-up
#define IDI_FOLIONEX 124
#define IDD_SPLASH 125
#define IDB_SPLASH 126
#define IDC_SPLASH_STATUS 1048

// ---- Message box captions (XMessageBox): string ids 9001..9019 ----
#define IDS_XMB_OK          9001
#define IDS_XMB_CANCEL      9002
#define IDS_XMB_IGNORE      9003
#define IDS_XMB_RETRY       9004
#define IDS_XMB_ABORT       9005
#define IDS_XMB_HELP        9006
#define IDS_XMB_YES         9007
#define IDS_XMB_NO          9008
#define IDS_XMB_CONTINUE    9009
#define IDS_XMB_DONTASK     9010
#define IDS_XMB_DONTWARN    9011
#define IDS_XMB_DONTSHOW    9012
#define IDS_XMB_YESTOALL    9013
#define IDS_XMB_NOTOALL     9014
#define IDS_XMB_TRYAGAIN    9015
#define IDS_XMB_REPORT      9016
#define IDS_XMB_IGNOREALL   9017
#define IDS_XMB_SKIP        9018
#define IDS_XMB_SKIPALL     9019
// ---- end of message box captions ----

// Progress dialog
#define IDD_PROGRESS 134
#define IDC_PROGRESS_TEXT1 1083
#define IDC_PROGRESS_TEXT2 1084
#define IDC_PROGRESS_BAR 1085
