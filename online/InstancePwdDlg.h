// CInstancePwdDlg: the e-mail and password of the online account whose data
// sets the instance selection fetches ("Adatállományok listájának
// lekérdezése").
#pragma once
#include "afxdlg.h"

class CInstancePwdDlg : public CDialogEx
{
public:
    enum { IDD = 145 };

    explicit CInstancePwdDlg(CWnd* pParent = NULL);

    CString m_strEmail;
    CString m_strPassword;

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    DECLARE_MESSAGE_MAP()
};
