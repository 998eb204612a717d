// CHataridoDlg: edits one deadline (watched flag, date, remark).
#pragma once
#include "afxdlg.h"
#include "afxcmn.h"
#include "app/Hatarido.h"

class CHataridoDlg : public CDialogEx
{
public:
    explicit CHataridoDlg(CWnd* pParent = NULL);

    void SetDeadline(const CHatarido& deadline);
    CHatarido GetDeadline() const;

    int m_nWatched;
    __time64_t m_tDate;
    CString m_strRemark;
    CDateTimeCtrl m_datePicker;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
};

// The days the deadline text can hold: the picker offers only these.
void GetDeadlineDateRange(SYSTEMTIME& first, SYSTEMTIME& last);
// Whether the day (the time of day aside) lies in that range.
bool IsDeadlineDateInRange(const SYSTEMTIME& st);
