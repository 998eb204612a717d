// CImportEditDlg: edits one pasted row as a case: number, year and the four
// texts (each at most 200 characters, as the case record holds them).
#pragma once
#include "afxdlg.h"
#include "storage/UgyiratRecord.h"

class CImportEditDlg : public CDialogEx
{
public:
    explicit CImportEditDlg(CWnd* pParent = NULL);

    void SetRecord(const CUgyiratRecord& record);
    void GetRecord(CUgyiratRecord& record) const;

    int Nr;
    int Ev;
    CString UgyfelNeve;
    CString EllenfelNeve;
    CString UgyJellege;
    CString Megjegyzes;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
};
