// CAboutBox: the program's name, maker, version with its build time, and a
// link to the program's page on the web service.
#pragma once
#include "afxdlg.h"

class CAboutBox : public CDialogEx
{
public:
    enum { IDD = 121 };

    CAboutBox();

    // "(yyyy.mm.dd. hh:mm:ss)" from the compiler's date ("Mar 24 2025", the
    // day padded with a blank) and time texts; an unknown month reads as 13.
    static CString BuildStamp(const char* date, const char* time);
    // The version line of the dialog.
    static CString VersionLine(const CString& version, const char* date, const char* time);

protected:
    BOOL OnInitDialog() override;
    afx_msg void OnNMClickLink(NMHDR* pNMHDR, LRESULT* pResult);

    DECLARE_MESSAGE_MAP()
};
