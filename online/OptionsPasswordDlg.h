// COptionsPasswordDlg: how this machine takes part in the online backup (no
// automatic exchange, sending backups, or receiving the synchronisation),
// how often, and the password every backup is enciphered with.
//
// The dialog writes "OMBackupFrequency" itself on OK:
//   0                no automatic exchange
//   1, 2, 3          sends backups:      1 + the frequency entry
//   33, 34, 35       receives the data:  33 + the frequency entry
// (entries "naponta", "hetente", "havonta"). The password only travels
// through m_strPassword: the caller fills it before DoModal and stores it
// after IDOK. A password shorter than six characters is refused while a
// mode with exchange is chosen; with no exchange it comes back empty.
#pragma once
#include "afxctl.h"
#include "afxdlg.h"
#include "afxgdi.h"
#include "foundation/FontStatic.h"

class COptionsPasswordDlg : public CDialogEx
{
public:
    explicit COptionsPasswordDlg(CWnd* pParent = NULL);

    // The stored value turned into mode and frequency entry (-1: none).
    static void SplitFrequency(int stored, int& mode, int& entry);

    CString m_strPassword;
    // The combo entry while the dialog runs; the stored value after OK.
    int m_nFrequency;
    int m_nMode;
    CFontStatic m_modeBand;
    CFontStatic m_frequencyBand;
    CBrush m_brush;
    CComboBox m_frequency;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void EnableFrequency(bool enable);

    afx_msg BOOL OnEraseBkgnd(CDC* pDC);
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    afx_msg void OnBnClickedModeNone();
    afx_msg void OnBnClickedModeSend();
    afx_msg void OnBnClickedModeReceive();
    afx_msg void OnBnClickedShowPassword();

    DECLARE_MESSAGE_MAP()

private:
    // The band behind a control, across the whole client width.
    CRect BandOf(int id, int above, int below);
};
