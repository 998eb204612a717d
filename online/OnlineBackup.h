// COnlineBackup: the whole register to the web service. The central table
// is written as backup XML, enciphered with the backup password, packed into
// a ZIP archive and uploaded, with the work files left in the data folder.
#pragma once
#include <windows.h>
#include "afxstr.h"

class CWnd;

class COnlineBackup
{
public:
    enum {
        RESULT_OK = 0,
        RESULT_NO_PASSWORD = -1,
        RESULT_EXPORT_FAILED = -2,
        RESULT_SILENT_FAILED = -3,
        RESULT_DIALOG_FAILED = -4,
    };

    // With a parent the transfer runs behind the progress dialog; without
    // one it reports to the application's main window. The export reads the
    // central table through a table object of its own, so it may run on the
    // background worker while the UI thread uses the store.
    int Upload(CWnd* pParent);

    // The service's page with the account identifier as its query, the
    // identifier percent-encoded (UTF-8) outside the unreserved characters.
    static CString ServiceUrl(LPCWSTR page);
    static CString EncodeQueryText(LPCWSTR text);
};
