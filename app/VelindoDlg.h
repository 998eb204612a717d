// CVelindoDlg: the main window, the user's whole working surface. The case
// list with its search box and deadline filter, the command buttons, a
// status line with a progress bar and the connection line. Its modal loop
// is the program's only message loop; it receives the three registered
// messages, owns the system-wide hot keys and keeps the busy counter that
// decides when queued tasks may run.
//
// CBusyGuard: held by the commands for their whole run (also while their
// dialogs and message boxes are open); when the last guard ends, the main
// dialog gets "FOLIONEX_TASK" and runs a task queued in the meantime.
#pragma once
#include <string>
#include <vector>
#include "afxdlg.h"
#include "afxctl.h"
#include "app/VelindoListCtrl.h"
#include "foundation/FontStatic.h"
#include "storage/UgyiratRecord.h"

class CUgyiratStore;
class CConnectionManagerSqlServer;
class BackgroundProcess;

// The roads from the main window into the case store and the backup file.
// Each handler asks CVelindoDlg::EnterStore first; while a worker writes
// the store the road is refused or put off (app/MainStoreAccess.cpp).
enum class StoreRoad
{
    Refresh,          // 1008 and Enter
    FullList,         // 1004
    NewCase,          // 1001
    Modify,           // 1002, menu 32778
    Delete,           // 1003, menu 32777
    OpenCaseFolder,   // menu 32776, Alt+K, double click
    ManageCaseFolder, // 1009, menu 32775
    Connect,          // 1030
    Options,          // system menu "Beállítások"
    Exit,             // IDOK, IDCANCEL, the close box
    Search,           // edit 1006
    Filter,           // combo 1051
    FilterHotKey,     // Ctrl+0 to Ctrl+7
    ListRebuild,      // RefreshList, whoever calls it
    StatusLine,       // UpdateStatus: the number of cases (timer 101, the about box)
    Count
};

class CBusyGuard
{
public:
    explicit CBusyGuard(volatile LONG* counter);
    ~CBusyGuard();
    CBusyGuard(const CBusyGuard&) = delete;
    CBusyGuard& operator=(const CBusyGuard&) = delete;

private:
    volatile LONG* m_pCounter;
};

class CVelindoDlg : public CDialogEx
{
public:
    enum { IDD = 120 };
    enum { kTimerWorker = 100, kTimerClearProgress = 101 };
    enum { kFilterCount = 11 };

    explicit CVelindoDlg(CWnd* pParent = NULL);
    ~CVelindoDlg() override;

    // The list's rows and the status texts, from the store, the search text
    // and the filter.
    void RefreshList();
    // Status line, connection line, connect button and the enabling of New,
    // Modify and Delete.
    void UpdateStatus();
    // The case list's font back to its initial height (the options dialog).
    void ResetListFont();

    // The search and the filters, without a window; the lowering is the one
    // of the store's search index and of the case list's highlight
    // (LowerSearchChar). PassesSearch reads the record itself: the rule the
    // index follows (RefreshList walks the index).
    // Terms of a search text: each lowered and terminated, the list ended by
    // a second terminator (so the result holds embedded zeros).
    static std::wstring BuildSearchTerms(LPCWSTR text);
    // Splits a terminated list of terms.
    static std::vector<CString> SplitTerms(LPCWSTR terms);
    // The lowered term occurs in the field (lowered, at most 200 characters).
    static bool MatchSearchTerm(LPCWSTR field, LPCWSTR term);
    // The days of the deadline filters 1 to 8 (-1 for the others).
    static int FilterDays(int filter);
    // "+%d.%02d.%02d." of the local date of t.
    static CString CutOffText(__time64_t t);
    // The filter's condition for a record (the cut-off of filters 1 to 8).
    static bool PassesFilter(const CUgyiratRecord& record, int filter, const CString& cutOff);
    // The search's condition: every term in one of the four text fields.
    static bool PassesSearch(const CUgyiratRecord& record, const std::vector<CString>& terms);
    // The text of filter entry i.
    static LPCWSTR FilterText(int i);

    // The document folder of a row's case: DirRoot + DirPath with the
    // placeholders filled from the row's first four cells.
    CString ExpandCaseFolderPath(int row);
    // The same from the four directory settings and the cell texts (number,
    // year, client, opposing party). Characters that cannot stand in a file
    // name become "_" in the cell texts, and no folder name below the root
    // can climb out of it or name a device.
    static CString ExpandCaseFolderPath(const CString& root, const CString& pattern, const CString& notNullUN,
                                        const CString& notNullEN, LPCWSTR nr, LPCWSTR year, LPCWSTR client,
                                        LPCWSTR other);

    LONG GetBusyCount() const { return m_nBusy; }
    volatile LONG* BusyCounter() { return &m_nBusy; }
    const CString& GetCutOffText() const { return m_strCutOff; }
    CVelindoListCtrl& GetList() { return m_list; }
    UINT GetStatusProgress() const { return m_status.GetProgress(); }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnInitDialog() override;

    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnSize(UINT nType, int cx, int cy);
    afx_msg void OnMove(int x, int y);
    void RememberNormalRect();
    afx_msg void OnGetMinMaxInfo(MINMAXINFO* lpMMI);
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnHotKey(UINT nHotKeyId, UINT nKey1, UINT nKey2);
    afx_msg BOOL OnEraseBkgnd(CDC* pDC);
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    afx_msg void OnBnClickedRefresh();
    afx_msg void OnBnClickedFullList();
    afx_msg void OnBnClickedNewCase();
    afx_msg void OnBnClickedModify();
    afx_msg void OnBnClickedDelete();
    afx_msg void OnOpenCaseFolder();
    afx_msg void OnManageCaseFolder();
    afx_msg void OnBnClickedConnect();
    afx_msg void OnExit();
    afx_msg void OnEnChangeSearch();
    afx_msg void OnCbnSelendokFilter();
    afx_msg void OnNMDblclkList(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnNMRClickList(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg LRESULT OnTaskMessage(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnProgressMessage(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnLockUiMessage(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    // The store-access rule for this window: true when the road may go on
    // now; otherwise the road's answer (a status line text, a box, a later
    // run) is given and the result is false.
    bool EnterStore(StoreRoad road);
    // Once the store is free again: the list and the status line put off
    // meanwhile are rebuilt.
    void SettleStore();
    void ShowStatusText(LPCWSTR text);

    static CUgyiratStore* Store();
    static CConnectionManagerSqlServer* Connection();
    static bool IsOnline();
    // Reload from the central database or the local backup.
    void Reload();
    void CreateListColumns() { m_list.CreateListColumns(); }
    int GetSelectedRow() const;
    // The row that shows the case of the key, or -1.
    int RowOfKey(int key) const;
    void SelectRow(int row, UINT state);
    // A warning box ("Figyelmeztetés") over the dialog.
    void Refuse(LPCWSTR text);
    static const wchar_t kTextNoSelection[];
    void CaptureDesignRect(int id, CRect& rect);
    // The case folder commands: the selected row's folder and case key
    // (false after telling the user that nothing is selected), creating a
    // missing folder, moving found documents into it, and the end of the
    // command for an existing folder.
    bool TakeSelectedCaseFolder(CString& path, int& key);
    void ManageCaseFolder(const CString& path, int key);
    void FindCaseDocuments(const CString& path);
    void FinishCaseFolder(const CString& path, int key);
    void OpenFolderInShell(const CString& path);
    void MoveControl(int id, const CRect& rect, bool invalidate);

    CBitmapButton m_btnRefresh;
    HICON m_hIcon;
    CBrush m_brushTop;
    CBrush m_brushBottom;
    CComboBox m_comboFilter;
    CVelindoListCtrl m_list;
    CString m_strCutOff;
    CFontStatic m_status;
    CFontStatic m_connection;
    CRect m_rcClient;
    CRect m_rcSearch;
    CRect m_rcFullList;
    CRect m_rcList;
    CRect m_rcNew;
    CRect m_rcModify;
    CRect m_rcDelete;
    CRect m_rcFolder;
    CRect m_rcStatus;
    CRect m_rcConnection;
    CRect m_rcConnect;
    // The window's screen rectangle the last time it was neither minimised
    // nor maximised; what a minimised exit stores.
    CRect m_rcLastNormal;
    bool m_bHaveLastNormal;
    bool m_bEsc;
    bool m_bEditEnabled;
    // "FOLIONEX_LOCKUI" 0 is in force: a background backup reads the store.
    bool m_bLockedByWorker;
    // The list (and the status line) was put off while the store was busy.
    bool m_bListOwed;
    // The range of the running work ("FOLIONEX_PROGRESS" start records); 1
    // until the first start. The dialog lives for the whole run.
    UINT m_nProgressRange;
    volatile LONG m_nBusy;
    BackgroundProcess* m_pWorker;
};
