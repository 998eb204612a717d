// CStatsDlg: how many cases of each case type the register holds, in total
// and per year, counted from the store's in-memory map.
#pragma once
#include "afxdlg.h"
#include "afxcmn.h"

class CUgyiratStore;

class CStatsDlg : public CDialogEx
{
public:
    enum { IDD = 152 };

    CStatsDlg(CUgyiratStore* store, CWnd* pParent = NULL);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

private:
    CUgyiratStore* m_pStore;
    CListCtrl m_list;
};
