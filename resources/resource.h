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

// ---- Deadline dialog and case edit dialog ----
#define IDD_IKTATO_EDIT           122
#define IDD_HATARIDO              151
#define IDC_IKT_NR                1007
#define IDC_IKT_EV                1010
#define IDC_IKT_MEGJEGYZES        1011
#define IDC_IKT_NEXT              1012
#define IDC_IKT_UGYFEL            1013
#define IDC_IKT_ELLENFEL          1014
#define IDC_IKT_UGYJELLEGE        1015
#define IDC_IKT_ALLAPOT           1045
#define IDC_IKT_MODIFY_DEADLINE   1072
#define IDC_IKT_UGYFEL_EDIT       1112
#define IDC_IKT_ELLENFEL_EDIT     1113
#define IDC_IKT_UGYJELLEGE_EDIT   1114
#define IDC_IKT_ADD_DEADLINE      1133
#define IDC_IKT_DELETE_DEADLINE   1134
#define IDC_IKT_HATARIDOK         1137
#define IDC_HAT_REMARK            1011
#define IDC_HAT_DATE              1135
#define IDC_HAT_WATCHED           1136
// ---- end of deadline dialog and case edit dialog ----

// ---- Main dialog (CVelindoDlg) ----
#define IDD_FOLIONEX_DIALOG 120
#define IDB_REFRESH_UP 128
#define IDB_REFRESH_DOWN 129
#define IDB_REFRESH_FOCUS 130
#define IDB_REFRESH_DISABLED 131
#define IDR_MENU_LIST 148
#define IDS_ABOUTBOX 100
#define IDS_OPTIONS 101
#define IDM_ABOUTBOX 0x0010
#define IDM_OPTIONS 0x0020
#define IDC_BUTTON_NEW 1001
#define IDC_BUTTON_MODIFY 1002
#define IDC_BUTTON_DELETE 1003
#define IDC_BUTTON_FULL_LIST 1004
#define IDC_LIST_CASES 1005
#define IDC_EDIT_SEARCH 1006
#define IDC_BUTTON_REFRESH 1008
#define IDC_BUTTON_FOLDER 1009
#define IDC_STATIC_STATUS 1028
#define IDC_BUTTON_CONNECT 1030
#define IDC_STATIC_CONNECTION 1032
#define IDC_COMBO_FILTER 1051
#define ID_CASE_OPEN_FOLDER 32776
#define ID_CASE_MANAGE_FOLDER 32775
#define ID_CASE_MODIFY 32778
#define ID_CASE_DELETE 32777
// ---- end of main dialog ----

// ---- Backup mode and password dialog (COptionsPasswordDlg) ----
#define IDD_OPTIONS_PASSWORD      141
#define IDC_OPW_MODE_NONE         1016
#define IDC_OPW_MODE_SEND         1017
#define IDC_OPW_MODE_RECEIVE      1018
#define IDC_OPW_PASSWORD          1063
#define IDC_OPW_FREQUENCY         1076
#define IDC_OPW_MODE_BAND         1102
#define IDC_OPW_FREQUENCY_BAND    1116
#define IDC_OPW_SHOW_PASSWORD     1123
#define IDC_OPW_WARNING           1124
#define IDC_OPW_PASSWORD_LABEL    1128
#define IDC_OPW_PASSWORD_NOTE     1129
// ---- end of backup mode and password dialog ----

// ---- Clipboard import: wizard, column type, row editor ----
#define IDD_IMPORT               133
#define IDD_IMPORT_COLUMN        139
#define IDD_IMPORT_EDIT          143
#define IDC_IMP_GRID             1065
#define IDC_IMP_PASTE            1066
#define IDC_IMP_NEXT_ERROR       1068
#define IDC_IMP_PREV_ERROR       1070
#define IDC_IMP_MODIFY           1072
#define IDC_IMP_HINT             1100
#define IDC_IMPCOL_SKIP          1016
#define IDC_IMPCOL_IMPORT        1017
#define IDC_IMPCOL_TYPES         1079
#define IDC_IMPED_NR             1007
#define IDC_IMPED_EV             1010
#define IDC_IMPED_MEGJEGYZES     1011
#define IDC_IMPED_UGYFEL         1112
#define IDC_IMPED_ELLENFEL       1113
#define IDC_IMPED_UGYJELLEGE     1114
// ---- end of clipboard import ----

// ---- About box and statistics ----
#define IDD_ABOUTBOX 121
#define IDC_ABOUT_VERSION 1035
#define IDC_ABOUT_LINK 1036
#define IDD_STATS 152
#define IDC_STATS_LIST 1140
// ---- end of about box and statistics ----

// ---- Instance selection and the online account's data sets ----
#define IDD_INSTANCE_SELECT 144
#define IDD_INSTANCE_PWD 145
#define IDC_INSTANCE_COMBO 1115
#define IDC_INSTANCE_REFRESH 1121
#define IDC_INSTANCE_EMAIL 1122
#define IDC_INSTANCE_PASSWORD 1063
// ---- end of instance selection ----

// ---- Database wizard (CDBWizardDlg) ----
#define IDD_DBWIZARD              135
#define IDC_DBW_SERVER_LABEL      1086
#define IDC_DBW_SERVER_STATE      1087
#define IDC_DBW_CONNECTION        1056
#define IDC_DBW_SERVER_TEXT       1090
#define IDC_DBW_STRUCT_LABEL      1088
#define IDC_DBW_STRUCT_STATE      1089
#define IDC_DBW_STRUCT            1058
#define IDC_DBW_STRUCT_TEXT       1091
// ---- end of database wizard ----

// ---- SQL Server options (CSqlOptionsDlg, CSqlOptionsDatabasesDlg) ----
#define IDD_SQLOPTIONS            127
#define IDC_SQL_DBNAME            1055
#define IDC_SQL_REMOTE            1023
#define IDC_SQL_HOST              1022
#define IDC_SQL_PORT              1020
#define IDC_SQL_LOCAL             1024
#define IDC_SQL_INSTANCE          1093
#define IDC_SQL_AUTH              1071
#define IDC_SQL_USER              1078
#define IDC_SQL_PASSWORD          1077
#define IDC_SQL_CONNSTRING        1094
#define IDC_SQL_BROWSE            1056
#define IDC_SQL_TEST              1025
#define IDD_SQLOPTIONS_DATABASES  137
#define IDC_SQLDB_EXISTING        1016
#define IDC_SQLDB_NEW             1017
#define IDC_SQLDB_LIST            1073
#define IDC_SQLDB_NEWNAME         1095
// ---- end of SQL Server options ----

// ---- Export dialog (CExportDlg) ----
#define IDD_EXPORT 132
#define IDC_EXPORT_RTF 1059
#define IDC_EXPORT_HTML 1060
#define IDC_EXPORT_CSV 1061
#define IDC_EXPORT_PATH 1062
#define IDC_EXPORT_BROWSE 1064
// ---- end of export dialog ----

// ---- Template dialogs (CSablonDlg, CSablonSettingsDlg, CSablonFieldsDlg) ----
#define IDD_SABLON 146
#define IDD_SABLON_SETTINGS 147
#define IDR_COVER_DOC 149
#define IDD_SABLON_FIELDS 150
#define IDC_SABLON_EXPLORER 1068
#define IDC_SABLON_SETTINGS 1072
#define IDC_SABLON_OPEN 1074
#define IDC_SABLON_LIST 1079
#define IDC_SABLON_ADD 1125
#define IDC_SABLON_REMOVE 1126
#define IDC_SABLON_COVER 1127
#define IDC_SABLON_FOLDER 1130
#define IDC_SABLON_SELECT 1131
#define IDC_SABLON_INSERT 1132
#define IDC_SABLON_ROOT 1064
// ---- end of template dialogs ----

// ---- Options dialog (COptionsDlg) ----
#define IDD_OPTIONS               123
#define IDC_OPT_DBWIZARD          1096
#define IDC_OPT_EXPORT            1026
#define IDC_OPT_IMPORT            1027
#define IDC_OPT_STATS             1141
#define IDC_OPT_ROOT_LABEL        1098
#define IDC_OPT_ROOT              1099
#define IDC_OPT_SABLON            1097
#define IDC_OPT_ROLE              1119
#define IDC_OPT_DAYS_LABEL        1118
#define IDC_OPT_DAYS              1117
#define IDC_OPT_FREQUENCY_LABEL   1116
#define IDC_OPT_FREQUENCY         1075
#define IDC_OPT_PASSWORD          1029
#define IDC_OPT_BACKUP_NOW        1033
#define IDC_OPT_RESTORE           1031
#define IDC_OPT_PREDICTIVE        1138
#define IDC_OPT_FONT_RESET        1139
#define IDC_OPT_DATABASE_BAND     1102
#define IDC_OPT_DOCUMENTS_BAND    1103
#define IDC_OPT_ARCHIVE_BAND      1104
#define IDC_OPT_MORE_BAND         1106
// ---- end of options dialog ----

// ---- Restore compare dialog (CCompareDlg) ----
#define IDD_COMPARE 142
#define IDC_CMP_LIST 1107
#define IDC_CMP_LEGEND_UNCHANGED 1108
#define IDC_CMP_LEGEND_NEW 1109
#define IDC_CMP_LEGEND_DELETED 1110
#define IDC_CMP_LEGEND_CHANGED 1111
// ---- end of restore compare dialog ----
