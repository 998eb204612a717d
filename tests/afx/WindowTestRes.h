// Resource ids of the class-library window tests.
#pragma once

#define IDD_AFXTEST_FORM   100
#define IDD_AFXTEST_CLASS  101

#define IDC_T_NUMBER    1001
#define IDC_T_TEXT      1002
#define IDC_T_CHECK     1003
#define IDC_T_LIST      1004
#define IDC_T_COMBO     1005
#define IDC_T_BUTTON    1006
#define IDC_T_LABEL     1007
#define IDC_T_GRID      1008
#define IDC_T_DATE      1009
#define IDC_T_OWNERDRAW 1010
#define IDC_T_MEMO      1011
#define IDC_T_NUMBER2   1012

#define IDB_AFXTEST_UP   200
#define IDB_AFXTEST_DOWN 201

// The dialog-init resource type of the class library.
#define RT_AFX_DLGINIT 240

#define AFXTEST_DIALOG_CLASS "AfxTestDialogClass"
