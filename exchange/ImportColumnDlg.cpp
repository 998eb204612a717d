#include "exchange/ImportColumnDlg.h"
#include "exchange/ImportTable.h"
#include "resources/resource.h"

BEGIN_MESSAGE_MAP(CImportColumnDlg, CDialogEx)
    ON_BN_CLICKED(IDC_IMPCOL_SKIP, &CImportColumnDlg::OnBnClickedSkip)
    ON_BN_CLICKED(IDC_IMPCOL_IMPORT, &CImportColumnDlg::OnBnClickedImport)
    ON_LBN_DBLCLK(IDC_IMPCOL_TYPES, &CImportColumnDlg::OnLbnDblclkTypes)
END_MESSAGE_MAP()

CImportColumnDlg::CImportColumnDlg(int currentType, CWnd* pParent)
    : CDialogEx(IDD_IMPORT_COLUMN, pParent), m_currentType(currentType), m_chosenType(0)
{
}

void CImportColumnDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_IMPCOL_TYPES, m_types);
}

BOOL CImportColumnDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    // Import is offered first, whatever the column holds now.
    CheckRadioButton(IDC_IMPCOL_SKIP, IDC_IMPCOL_IMPORT, IDC_IMPCOL_IMPORT);
    m_types.ResetContent();
    for (const ImportColumnType& type : ImportColumnTypes) {
        int index = m_types.AddString(type.label);
        m_types.SetItemData(index, (DWORD_PTR)type.id);
        if (type.id == m_currentType)
            m_types.SetCurSel(index);
    }
    if (m_types.GetCurSel() < 0 && m_types.GetCount() > 0)
        m_types.SetCurSel(0);
    UpdateListState();
    return TRUE;
}

void CImportColumnDlg::UpdateListState()
{
    m_types.EnableWindow(m_types.GetCount() > 0 && IsDlgButtonChecked(IDC_IMPCOL_IMPORT) == BST_CHECKED);
}

void CImportColumnDlg::OnBnClickedSkip()
{
    m_types.EnableWindow(FALSE);
}

void CImportColumnDlg::OnBnClickedImport()
{
    UpdateListState();
}

void CImportColumnDlg::OnLbnDblclkTypes()
{
    OnOK();
}

void CImportColumnDlg::OnOK()
{
    m_chosenType = 0;
    if (IsDlgButtonChecked(IDC_IMPCOL_IMPORT) == BST_CHECKED) {
        int selected = m_types.GetCurSel();
        if (selected >= 0)
            m_chosenType = (int)m_types.GetItemData(selected);
    }
    CDialogEx::OnOK();
}
