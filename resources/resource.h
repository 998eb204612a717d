// Identifiers of the program's resources.
#pragma once

#define IDR_MAINFRAME 128

// Start-up
#define IDI_FOLIONEX 124
#define IDD_SPLASH 125
#define IDB_SPLASH 126
#define IDC_SPLASH_STATUS 1048
