// CDBWizardDlg: checks the configured SQL Server connection and database,
// says in two long texts what it found and offers the one next step that
// fits (the connection settings, creating the database or its table,
// upgrading the table); after every step it checks again.
#pragma once
#include "afxdlg.h"
#include "foundation/FontStatic.h"

class CConnectionManagerSqlServer;
class CUgyiratStore;

class CDBWizardDlg : public CDialogEx
{
public:
    // pStore: the data holder's case store, which ReloadCases loads.
    CDBWizardDlg(CConnectionManagerSqlServer* pManager, CWnd* pParent = NULL, CUgyiratStore* pStore = NULL);

    // Loads the case store from the central database; false without one.
    bool ReloadCases();
    // Runs the check and sets every caption by its level; afterAction tells
    // a check after a step from the first one.
    void RefreshState(bool afterAction);

    int GetLevel() const { return m_nLevel; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    afx_msg BOOL OnEraseBkgnd(CDC* pDC);
    afx_msg void OnBnClickedConnection();
    afx_msg void OnBnClickedDBStruct();

    DECLARE_MESSAGE_MAP()

private:
    CConnectionManagerSqlServer* m_pManager;
    CUgyiratStore* m_pStore;
    CFontStatic m_serverText;
    CFontStatic m_structText;
    int m_nLevel;
    int m_nStructureCode;
};
