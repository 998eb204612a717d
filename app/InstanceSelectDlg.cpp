#include "app/InstanceSelectDlg.h"
#include "afxapp.h"

namespace {

const int kComboId = 1115;
const int kRefreshId = 1121;

} // namespace

BEGIN_MESSAGE_MAP(CInstanceSelectDlg, CDialogEx)
    ON_BN_CLICKED(IDOK, &CInstanceSelectDlg::OnBnClickedSelect)
    ON_BN_CLICKED(kRefreshId, &CInstanceSelectDlg::OnBnClickedRefreshList)
END_MESSAGE_MAP()

CInstanceSelectDlg::CInstanceSelectDlg(CInstanceList& list, CWnd* pParent)
    : CDialogEx(IDD, pParent), m_nSelected(-1), m_bBodyRefused(false), m_list(list)
{
}

void CInstanceSelectDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, kComboId, m_combo);
}

BOOL CInstanceSelectDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    CWinApp* app = AfxGetApp();
    CString lastRun = app ? app->GetProfileString(L"", L"LastRun", L"") : CString();
    FillInstanceCombo(lastRun);
    return TRUE;
}

CString CInstanceSelectDlg::ComboLine(const CInstanceInfo& info)
{
    CString line = info.displayName;
    if (!info.email.IsEmpty())
        line += L" - " + info.email;
    if (info.repoNr != 0) {
        CString tail;
        tail.Format(L" (#%d) - %s", info.repoNr, (LPCWSTR)info.key);
        line += tail;
    }
    return line;
}

void CInstanceSelectDlg::FillInstanceCombo(LPCWSTR keyToSelect)
{
    int selection = m_combo.GetCurSel();
    m_combo.ResetContent();
    CInstanceList list = m_list;
    for (int i = 0; i < list.GetCount(); ++i)
        m_combo.AddString(ComboLine(list[i]));
    if (keyToSelect) {
        for (int i = 0; i < list.GetCount(); ++i) {
            if (list[i].key == keyToSelect) {
                selection = i;
                break;
            }
        }
    }
    if (selection < 1 || selection >= list.GetCount())
        selection = 0;
    m_combo.SetCurSel(selection);
}

void CInstanceSelectDlg::OnBnClickedSelect()
{
    m_nSelected = m_combo.GetCurSel();
    OnOK();
}
