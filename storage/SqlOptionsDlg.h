// The SQL Server connection of the instance: CSqlOptionsDlg edits the
// connection parameters, tests them and stores them with the connection
// string the program then connects with; CSqlOptionsDatabasesDlg lets the
// user pick one of the server's databases or name a new one when a test
// reached the server but not the configured database.
#pragma once
#include "afxctl.h"
#include "afxdlg.h"
#include "storage/ConnectionManagerSqlServer.h"

class CSqlOptionsDlg : public CDialogEx
{
public:
    CSqlOptionsDlg(CConnectionManagerSqlServer* pManager, CWnd* pParent = NULL);

    // Reads the controls and runs the graded check of what they hold; -1
    // when the controls could not be read (the user has been told), and
    // then nothing was checked.
    int TestConnection();
    void UpdateControls();

    static const int kNotRead = -1;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    afx_msg void OnBnClickedLocal();
    afx_msg void OnBnClickedRemote();
    afx_msg void OnBnClickedTest();
    afx_msg void OnBnClickedOk();
    afx_msg void OnCbnSelendokAuth();

    DECLARE_MESSAGE_MAP()

private:
    void ChooseDatabase();

    CComboBox m_auth;
    CConnectionManagerSqlServer* m_pManager;
    // The connection string of the tested parameters once a test reached
    // the database (level 15 or more), else empty.
    CString m_strBuilt;
    // The values the controls edit, as the last complete reading left them
    // (at first the manager's): the parameters every test checks.
    CSqlConnectionParams m_params;
};

class CSqlOptionsDatabasesDlg : public CDialogEx
{
public:
    CSqlOptionsDatabasesDlg(CConnectionManagerSqlServer* pManager, LPCWSTR proposedName, CWnd* pParent = NULL);

    bool IsCreateNew() const { return m_bCreateNew; }
    // The new name when creating, else the chosen existing one.
    CString GetDatabaseName() const { return m_bCreateNew ? m_strNewName : m_strChosen; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    afx_msg void OnBnClickedExisting();
    afx_msg void OnBnClickedNew();
    afx_msg void OnBnClickedOk();

    DECLARE_MESSAGE_MAP()

private:
    CConnectionManagerSqlServer* m_pManager;
    CString m_strNewName;
    CString m_strChosen;
    CComboBox m_databases;
    bool m_bCreateNew;
};
