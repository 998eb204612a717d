#include "online/InstancePwdDlg.h"

namespace {

const int kEmailId = 1122;
const int kPasswordId = 1063;

} // namespace

BEGIN_MESSAGE_MAP(CInstancePwdDlg, CDialogEx)
END_MESSAGE_MAP()

CInstancePwdDlg::CInstancePwdDlg(CWnd* pParent) : CDialogEx(IDD, pParent)
{
}

void CInstancePwdDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Text(pDX, kEmailId, m_strEmail);
    DDX_Text(pDX, kPasswordId, m_strPassword);
}
