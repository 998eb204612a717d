// CInstanceSelectDlg: the start-up choice of the instance ("Adatállomány
// kiválasztása"), on the caller's instance list. Its button "Lista
// &frissítése" fetches the data sets of the user's online account and names,
// binds or creates instances for them (online/InstanceDataSets.cpp).
#pragma once
#include <string>
#include <vector>
#include "afxctl.h"
#include "afxdlg.h"
#include "app/InstanceList.h"

class CInstanceSelectDlg : public CDialogEx
{
public:
    enum { IDD = 144 };

    // The dialog works on the caller's list, which must outlive it.
    CInstanceSelectDlg(CInstanceList& list, CWnd* pParent = NULL);

    // Refills the combo from the list, one line per entry in list order;
    // the line of the entry whose key equals keyToSelect exactly becomes the
    // selection, otherwise the selection stays at its index. A selection
    // below 1, or past the end, becomes the first line.
    void FillInstanceCombo(LPCWSTR keyToSelect);
    // "Name", "Name - e-mail", then " (#RepoNr) - key" when RepoNr is not 0.
    static CString ComboLine(const CInstanceInfo& info);

    // Asks the web service for the account's data sets into the data-set
    // list; false when no request could be sent, the request failed or the
    // reply held no pair.
    bool GetRepoList(const CString& email, const CString& password);
    // Names, binds or creates the instances of the data-set list; reloads
    // the list and refills the combo when anything changed (then true).
    bool MergeRepoList();

    // The request body: "ProgType=2\nEmail=..\nPwd=.." with one byte per
    // character; false (body empty) when a text holds a character above
    // U+00FF or a control character, which the service cannot be sent.
    static bool BuildRepoListBody(const CString& email, const CString& password, std::string& body);

    // The combo index chosen with "&Kiválaszt" (-1 until then, or for an
    // empty combo).
    int m_nSelected;
    // The data sets of the last refresh: e-mail TAB number TAB name.
    std::vector<CString> m_repoList;
    // The last GetRepoList refused the typed texts without a request.
    bool m_bBodyRefused;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    afx_msg void OnBnClickedSelect();
    afx_msg void OnBnClickedRefreshList();

    CInstanceList& m_list;
    CComboBox m_combo;

    DECLARE_MESSAGE_MAP()
};
