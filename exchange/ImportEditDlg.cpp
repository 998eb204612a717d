#include "exchange/ImportEditDlg.h"
#include "resources/resource.h"

namespace {

const int kMaxTextChars = 200;

} // namespace

CImportEditDlg::CImportEditDlg(CWnd* pParent) : CDialogEx(IDD_IMPORT_EDIT, pParent), Nr(0), Ev(0)
{
}

void CImportEditDlg::SetRecord(const CUgyiratRecord& record)
{
    Nr = record.Nr;
    Ev = record.Ev;
    UgyfelNeve = record.UgyfelNeve;
    EllenfelNeve = record.EllenfelNeve;
    UgyJellege = record.UgyJellege;
    Megjegyzes = record.Megjegyzes;
}

void CImportEditDlg::GetRecord(CUgyiratRecord& record) const
{
    record.Nr = Nr;
    record.Ev = Ev;
    CopyField(record.UgyfelNeve, UgyfelNeve);
    CopyField(record.EllenfelNeve, EllenfelNeve);
    CopyField(record.UgyJellege, UgyJellege);
    CopyField(record.Megjegyzes, Megjegyzes);
}

void CImportEditDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_IMPED_NR, Nr);
    DDV_MinMaxInt(pDX, Nr, 1, kMaxUgyiratNr);
    DDX_Text(pDX, IDC_IMPED_EV, Ev);
    DDV_MinMaxInt(pDX, Ev, 1900, 2030);
    DDX_Text(pDX, IDC_IMPED_UGYFEL, UgyfelNeve);
    DDV_MaxChars(pDX, UgyfelNeve, kMaxTextChars);
    DDX_Text(pDX, IDC_IMPED_ELLENFEL, EllenfelNeve);
    DDV_MaxChars(pDX, EllenfelNeve, kMaxTextChars);
    DDX_Text(pDX, IDC_IMPED_UGYJELLEGE, UgyJellege);
    DDV_MaxChars(pDX, UgyJellege, kMaxTextChars);
    DDX_Text(pDX, IDC_IMPED_MEGJEGYZES, Megjegyzes);
    DDV_MaxChars(pDX, Megjegyzes, kMaxTextChars);
}
