// COptionsDlg: the settings hub of the system menu. Its buttons open the
// database wizard, the template settings, export, import, statistics, the
// online-backup password and mode, a backup now and a restore; it shows how
// this machine takes part in the online backup, and holds the predictive
// input switch and the reset of the case list's font.
//
// Ends with IDOK after export, import, a successful restore and Enter: the
// main dialog then reloads its full list. Esc and the close box answer
// IDCANCEL.
//
// A backup, a restore or an import started here holds the one-transfer lock
// (foundation/TransferLock.h) for its whole run, and is refused while the
// background worker holds it.
#pragma once
#include <functional>
#include "afxctl.h"
#include "afxdlg.h"
#include "afxgdi.h"
#include "foundation/FontStatic.h"

class COptionsDlg : public CDialogEx
{
public:
    explicit COptionsDlg(CWnd* pParent = NULL);

    // The backup part from "OMBackupFrequency", "OMLastBackup" and the
    // stored password.
    void UpdateBackupInfo();

    // "%d nap" of the days since the last backup: (now - last + 64800) /
    // 86400, so that a backup counts as one day old from 6 hours after it.
    static int DaysSince(__int64 now, __int64 last);
    // The value "OMBackupFrequency" takes when the combo's entry is chosen
    // while the stored value is stored (the mode stays).
    static int FrequencyForEntry(int stored, int entry);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    afx_msg BOOL OnEraseBkgnd(CDC* pDC);
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    afx_msg void OnBnClickedDatabase();
    afx_msg void OnBnClickedSablon();
    afx_msg void OnBnClickedExport();
    afx_msg void OnBnClickedImport();
    afx_msg void OnBnClickedStats();
    afx_msg void OnBnClickedPassword();
    afx_msg void OnBnClickedBackupNow();
    afx_msg void OnBnClickedRestore();
    afx_msg void OnCbnSelendokFrequency();
    afx_msg void OnBnClickedPredictive();
    afx_msg void OnBnClickedFontReset();

    DECLARE_MESSAGE_MAP()

private:
    void ShowDocumentsRoot();
    // Runs a backup, restore or import holding the one-transfer lock; while
    // another transfer holds it, tells the user instead (what: the command,
    // for the log) and answers false.
    bool RunAsTheOneTransfer(LPCWSTR what, const std::function<void()>& run);
    // The store-access rule for the dialogs opened here that read the case
    // store: false, with a box, while a worker writes it.
    bool EnterStore(LPCWSTR road);

    CFontStatic m_databaseBand;
    CFontStatic m_documentsBand;
    CFontStatic m_archiveBand;
    CFontStatic m_moreBand;
    CComboBox m_frequency;
    CButton m_predictive;
    CBrush m_brush;
};
