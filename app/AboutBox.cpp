#include "app/AboutBox.h"
#include <commctrl.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>
#include "foundation/AppSettings.h"

namespace {

const int kVersionId = 1035;
const int kLinkId = 1036;
// A longer address is not taken over by the link.
const int kMaxUrlLength = 2084;

} // namespace

BEGIN_MESSAGE_MAP(CAboutBox, CDialogEx)
    ON_NOTIFY(NM_CLICK, kLinkId, &CAboutBox::OnNMClickLink)
END_MESSAGE_MAP()

CAboutBox::CAboutBox() : CDialogEx(IDD, NULL) {}

CString CAboutBox::BuildStamp(const char* date, const char* time)
{
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int month = 0;
    while (month < 12 && strncmp(date, kMonths[month], 3) != 0)
        ++month;
    int day = strlen(date) > 4 ? atoi(date + 4) : 0;
    int year = strlen(date) > 7 ? atoi(date + 7) : 0;
    CString stamp;
    stamp.Format(L"(%d.%02d.%02d. %S)", year, month + 1, day, time);
    return stamp;
}

CString CAboutBox::VersionLine(const CString& version, const char* date, const char* time)
{
    return L"Program típus: többgépes (SQL szerver) változat. Verzió: " + version + L" " + BuildStamp(date, time);
}

BOOL CAboutBox::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    SetDlgItemText(kVersionId, VersionLine(CAppSettings::GetVersionInfoString(L"ProductVersion"), __DATE__, __TIME__));

    CAppSettings* settings = GetAppSettings();
    CString server = settings ? settings->GetServerUrl() : CString();
    if (server.GetLength() < kMaxUrlLength) {
        LITEM item = {};
        item.mask = LIF_ITEMINDEX | LIF_URL;
        item.iLink = 0;
        wcsncpy(item.szUrl, server, L_MAX_URL_LENGTH - 1);
        SendDlgItemMessage(kLinkId, LM_SETITEM, 0, (LPARAM)&item);
    }
    return TRUE;
}

void CAboutBox::OnNMClickLink(NMHDR* pNMHDR, LRESULT* pResult)
{
    PNMLINK link = reinterpret_cast<PNMLINK>(pNMHDR);
    ShellExecuteW(NULL, L"open", link->item.szUrl, NULL, NULL, SW_SHOWNORMAL);
    *pResult = 0;
}
