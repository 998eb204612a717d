#include "exchange/SablonDlg.h"
#include <shellapi.h>
#include <shlwapi.h>
#include "afxapp.h"
#include "afxfile.h"
#include "afxfiledlg.h"
#include "exchange/WordAutomation.h"
#include "foundation/AppSettings.h"
#include "foundation/FolderPicker.h"
#include "foundation/Log.h"
#include "resources/resource.h"
#include "storage/UgyiratStore.h"

namespace {

const wchar_t kFilter[] = L"Word DOCX|*.docx|Word DOC|*.doc|Minden fájl|*.*||";
const DWORD kFileFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
const wchar_t kInCaseFolder[] = L"Már létezik bemásolva!";
const wchar_t kYes[] = L"igen";
const wchar_t kRootTitle[] = L"A dokumentumok kezdőkönyvtárának kiválasztása";
const wchar_t kCoverName[] = L"Folionex_borito.docx";
const wchar_t kCoverCreated[] = L"A borítófájl létrehozva.\n\nMegnyissam szerkesztésre?";
const wchar_t kCoverType[] = L"DOC";
const int kRootBuffer = 1024;

// The template's full path; empty when it does not fit in MAX_PATH.
CString JoinedPath(const SablonEntry& entry)
{
    WCHAR path[MAX_PATH] = {0};
    if (!::PathCombineW(path, entry.folder, entry.fileName))
        return CString();
    return CString(path);
}

// Asks for a template file and adds it to the list with no options ("0");
// the new entry, or null when nothing was chosen, the template is listed
// already or the path has no folder.
SablonEntry* AddChosenTemplate(CSablonList& list, CWnd* parent)
{
    CFileDialog dlg(TRUE, NULL, NULL, kFileFlags, kFilter, parent);
    if (dlg.DoModal() != IDOK || dlg.GetPathName().IsEmpty())
        return NULL;
    return list.Find(list.Add(dlg.GetPathName(), true, L"0"));
}

// The list control's client width.
int ClientWidth(CListCtrl& list)
{
    RECT rc = {0};
    ::GetClientRect(list.m_hWnd, &rc);
    return rc.right - rc.left;
}

} // namespace

// ---- CSablonDlg ----

BEGIN_MESSAGE_MAP(CSablonDlg, CDialogEx)
    ON_BN_CLICKED(IDC_SABLON_EXPLORER, &CSablonDlg::OnBnClickedExplorer)
    ON_BN_CLICKED(IDC_SABLON_SETTINGS, &CSablonDlg::OnBnClickedSettings)
    ON_BN_CLICKED(IDC_SABLON_ADD, &CSablonDlg::OnBnClickedAdd)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_SABLON_LIST, &CSablonDlg::OnItemChanged)
END_MESSAGE_MAP()

CSablonDlg::CSablonDlg(CUgyiratStore* store, const CUgyiratRecord* record, LPCWSTR caseFolder, CWnd* pParent)
    : CDialogEx(IDD_SABLON, pParent), m_pRecord(record), m_strCaseFolder(caseFolder), m_sablonList(caseFolder),
      m_pStore(store)
{
    LogLine(L"Show popup CSablonDlg");
}

void CSablonDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SABLON_LIST, m_list);
}

BOOL CSablonDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    int width = ClientWidth(m_list);
    int w = width / 3;
    m_list.InsertColumn(0, L"Választható sablon dokumentum", LVCFMT_LEFT, w);
    m_list.InsertColumn(1, L"Ügyirat könyvtárában lévő dokumentum", LVCFMT_LEFT, w);
    m_list.InsertColumn(2, L"Sablon dokumentum könyvtára", LVCFMT_LEFT, width - 2 * w);
    FillList();
    SetDlgItemText(IDC_SABLON_FOLDER, m_strCaseFolder);
    // The list has the focus, not the read-only folder above it.
    GotoDlgCtrl(&m_list);
    return FALSE;
}

void CSablonDlg::SetEntryColumns(int row, const SablonEntry& entry)
{
    m_list.SetItemText(row, 2, entry.folder);
    if (entry.flags & SABLON_IN_CASE_FOLDER)
        m_list.SetItemText(row, 1, kInCaseFolder);
    m_list.SetItemData(row, (DWORD_PTR)entry.id);
}

void CSablonDlg::FillList()
{
    m_list.SetRedraw(FALSE);
    m_list.DeleteAllItems();
    m_sablonList.Reload();
    for (int i = 0; i < m_sablonList.GetCount(); i++) {
        const SablonEntry& entry = m_sablonList.GetAt(i);
        if (!(entry.flags & SABLON_FILE_EXISTS))
            continue;
        int row = m_list.InsertItem(i, entry.fileName);
        if (row < 0)
            continue;
        SetEntryColumns(row, entry);
        bool tick = !(entry.flags & SABLON_IN_CASE_FOLDER) &&
                    (CSablonList::GetOptions(entry) & SABLON_SELECT_IF_NOT_EXISTS);
        m_list.SetCheck(row, tick);
    }
    m_list.SetRedraw(TRUE);
    ::RedrawWindow(m_list.m_hWnd, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // Deleting the rows sends no item change: a list rebuilt empty, or
    // without a ticked row, must not leave the copy button enabled.
    UpdateCopyButton();
}

void CSablonDlg::UpdateCopyButton()
{
    bool anyTicked = false;
    for (int row = 0; row < m_list.GetItemCount() && !anyTicked; row++)
        anyTicked = m_list.GetCheck(row) != FALSE;
    ::EnableWindow(::GetDlgItem(m_hWnd, IDOK), anyTicked);
}

void CSablonDlg::OnItemChanged(NMHDR*, LRESULT* pResult)
{
    UpdateCopyButton();
    *pResult = 0;
}

void CSablonDlg::OnBnClickedExplorer()
{
    EndDialog(IDOK);
}

void CSablonDlg::OnBnClickedSettings()
{
    CSablonSettingsDlg dlg(m_pStore, this);
    dlg.DoModal();
    FillList();
}

void CSablonDlg::OnBnClickedAdd()
{
    const SablonEntry* entry = AddChosenTemplate(m_sablonList, this);
    if (!entry)
        return;
    int row = m_list.InsertItem(m_list.GetItemCount(), entry->fileName);
    if (row >= 0)
        SetEntryColumns(row, *entry);
}

void CSablonDlg::OnOK()
{
    for (int row = 0; row < m_list.GetItemCount(); row++) {
        if (m_list.GetCheck(row))
            m_sablonList.Choose((int)m_list.GetItemData(row));
    }
    // The shell's copy has no owner window: while it asks about a file that
    // is already there, this dialog must not start a second copy.
    EnableWindow(FALSE);
    m_sablonList.CopyChosen(m_pRecord);
    EnableWindow(TRUE);
    EndDialog(IDOK);
}

// ---- CSablonSettingsDlg ----

BEGIN_MESSAGE_MAP(CSablonSettingsDlg, CDialogEx)
    ON_BN_CLICKED(IDC_SABLON_ROOT, &CSablonSettingsDlg::OnBnClickedRoot)
    ON_BN_CLICKED(IDC_SABLON_COVER, &CSablonSettingsDlg::OnBnClickedCover)
    ON_BN_CLICKED(IDC_SABLON_ADD, &CSablonSettingsDlg::OnBnClickedAdd)
    ON_BN_CLICKED(IDC_SABLON_SETTINGS, &CSablonSettingsDlg::OnBnClickedOptions)
    ON_BN_CLICKED(IDC_SABLON_OPEN, &CSablonSettingsDlg::OnBnClickedOpen)
    ON_BN_CLICKED(IDC_SABLON_REMOVE, &CSablonSettingsDlg::OnBnClickedRemove)
END_MESSAGE_MAP()

CSablonSettingsDlg::CSablonSettingsDlg(CUgyiratStore* store, CWnd* pParent)
    : CDialogEx(IDD_SABLON_SETTINGS, pParent), m_pStore(store)
{
    LogLine(L"Show popup CSablonSettingsDlg");
    if (store)
        m_strDirRoot = store->DirRoot;
}

void CSablonSettingsDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SABLON_LIST, m_list);
}

BOOL CSablonSettingsDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    m_list.SetExtendedStyle((m_list.GetExtendedStyle() | LVS_EX_FULLROWSELECT) & ~LVS_EX_CHECKBOXES);
    int width = ClientWidth(m_list);
    int w = width / 6;
    m_list.InsertColumn(0, L"Sablon dokumentum", LVCFMT_LEFT, 2 * w);
    m_list.InsertColumn(1, L"Kiválasztás", LVCFMT_LEFT, w);
    m_list.InsertColumn(2, L"Szövegcsere", LVCFMT_LEFT, w);
    m_list.InsertColumn(3, L"Sablon dokumentum könyvtára", LVCFMT_LEFT, width - 4 * w);
    FillList();
    SetDlgItemText(IDC_SABLON_FOLDER, m_strDirRoot);
    GotoDlgCtrl(&m_list);
    return FALSE;
}

void CSablonSettingsDlg::FillList()
{
    if (m_list.GetItemCount() > 0)
        m_list.DeleteAllItems();
    m_sablonList.Reload();
    for (int i = 0; i < m_sablonList.GetCount(); i++) {
        const SablonEntry& entry = m_sablonList.GetAt(i);
        if (!(entry.flags & SABLON_FILE_EXISTS))
            continue;
        int row = m_list.InsertItem(i, entry.fileName);
        if (row >= 0)
            SetRow(row, entry);
    }
}

void CSablonSettingsDlg::SetRow(int row, const SablonEntry& entry)
{
    int bits = CSablonList::GetOptions(entry);
    m_list.SetItemText(row, 1, (bits & SABLON_SELECT_IF_NOT_EXISTS) ? kYes : L"");
    m_list.SetItemText(row, 2, (bits & SABLON_INSERT_FIELDS) ? kYes : L"");
    m_list.SetItemText(row, 3, entry.folder);
    m_list.SetItemData(row, (DWORD_PTR)entry.id);
}

SablonEntry* CSablonSettingsDlg::SelectedEntry()
{
    int row = m_list.GetNextItem(-1, LVNI_SELECTED);
    return row < 0 ? NULL : m_sablonList.Find((int)m_list.GetItemData(row));
}

void CSablonSettingsDlg::OnBnClickedAdd()
{
    SablonEntry* entry = AddChosenTemplate(m_sablonList, this);
    if (!entry)
        return;
    int row = m_list.InsertItem(m_list.GetItemCount(), entry->fileName);
    CSablonFieldsDlg fields(CSablonList::GetOptions(*entry), this);
    fields.DoModal();
    m_sablonList.SetOptions(*entry, fields.m_nBits, true);
    if (row >= 0)
        SetRow(row, *entry);
}

void CSablonSettingsDlg::OnBnClickedOptions()
{
    int row = m_list.GetNextItem(-1, LVNI_SELECTED);
    SablonEntry* entry = SelectedEntry();
    if (!entry)
        return;
    CSablonFieldsDlg fields(CSablonList::GetOptions(*entry), this);
    if (fields.DoModal() != IDOK)
        return;
    m_sablonList.SetOptions(*entry, fields.m_nBits, true);
    SetRow(row, *entry);
}

void CSablonSettingsDlg::OnBnClickedRemove()
{
    SablonEntry* entry = SelectedEntry();
    if (entry && m_sablonList.Remove(entry->id))
        FillList();
}

void CSablonSettingsDlg::OnBnClickedOpen()
{
    SablonEntry* entry = SelectedEntry();
    if (!entry)
        return;
    CString path = JoinedPath(*entry);
    HINSTANCE rc = ::ShellExecuteW(NULL, L"open", path, NULL, entry->folder, SW_SHOW);
    if ((INT_PTR)rc <= 32)
        LogFormat(L"Open template failed (%d): %s", (int)(INT_PTR)rc, path.GetString());
}

void CSablonSettingsDlg::OnBnClickedRoot()
{
    if (!m_pStore)
        return;
    WCHAR chosen[kRootBuffer] = {0};
    LPCWSTR initial = m_pStore->DirRoot.IsEmpty() ? NULL : m_pStore->DirRoot.GetString();
    if (!BrowseForFolder(m_hWnd, initial, -1, kRootTitle, chosen, kRootBuffer, false))
        return;
    m_pStore->SetDirRoot(chosen);
    m_strDirRoot = m_pStore->DirRoot;
    SetDlgItemText(IDC_SABLON_FOLDER, m_strDirRoot);
}

bool CSablonSettingsDlg::WriteCover(const CString& path)
{
    HMODULE module = AfxGetResourceHandle();
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(IDR_COVER_DOC), kCoverType);
    if (!found) {
        MessageBox(L"Could not locate dialog box.");
        return false;
    }
    HGLOBAL loaded = ::LoadResource(module, found);
    if (!loaded) {
        MessageBox(L"Could not load dialog box.");
        return false;
    }
    const void* bytes = ::LockResource(loaded);
    if (!bytes) {
        MessageBox(L"Could not lock dialog box.");
        return false;
    }
    DWORD size = ::SizeofResource(module, found);

    // Written beside the target first: an existing file is replaced only by
    // a complete cover.
    CString temp = path + L".tmp";
    try {
        CFile file(temp, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
        file.Write(bytes, size);
        file.Close();
        if (!::MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            throw new CFileException(GetLastError(), path);
    } catch (CException* e) {
        ::DeleteFileW(temp);
        LogFormat(L"Cover document not written: %s", path.GetString());
        e->ReportError();
        e->Delete();
        return false;
    }
    LogFormat(L"Cover document written: %s", path.GetString());
    return true;
}

void CSablonSettingsDlg::OnBnClickedCover()
{
    CString root = m_pStore ? m_pStore->DirRoot : CString();
    CFileDialog dlg(FALSE, L"docx", root + kCoverName, kFileFlags, kFilter, this);
    if (dlg.DoModal() != IDOK)
        return;
    CString path = dlg.GetPathName();
    if (!WriteCover(path))
        return;
    int id = m_sablonList.Add(path, true, L"insertFields");
    if (const SablonEntry* entry = m_sablonList.Find(id)) {
        int row = m_list.InsertItem(m_list.GetItemCount(), entry->fileName);
        if (row >= 0)
            SetRow(row, *entry);
    }
    {
        CAppSettings* settings = GetAppSettings();
        CWordAutomation word;
        word.OpenDocument(path);
        if (settings) {
            word.ReplaceAll(L"[NEV]", settings->GetUserName());
            word.ReplaceAll(L"[CIM]", settings->GetUserAddress());
            word.ReplaceAll(L"[EMAIL]", settings->GetUserEmail());
        }
        word.CloseDocument(true);
        word.Quit();
    }
    if (AfxMessageBox(kCoverCreated, MB_YESNO) == IDYES) {
        HINSTANCE rc = ::ShellExecuteW(NULL, L"open", path, NULL, dlg.GetFolderPath(), SW_SHOW);
        if ((INT_PTR)rc <= 32)
            LogFormat(L"Open cover document failed (%d): %s", (int)(INT_PTR)rc, path.GetString());
    }
}

// ---- CSablonFieldsDlg ----

CSablonFieldsDlg::CSablonFieldsDlg(int bits, CWnd* pParent) : CDialogEx(IDD_SABLON_FIELDS, pParent), m_nBits(bits)
{
    LogLine(L"Show popup CSablonFieldsDlg");
}

void CSablonFieldsDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    int select = (m_nBits & SABLON_SELECT_IF_NOT_EXISTS) ? 1 : 0;
    int insert = (m_nBits & SABLON_INSERT_FIELDS) ? 1 : 0;
    DDX_Check(pDX, IDC_SABLON_SELECT, select);
    DDX_Check(pDX, IDC_SABLON_INSERT, insert);
    if (pDX->m_bSaveAndValidate)
        m_nBits = (select ? SABLON_SELECT_IF_NOT_EXISTS : 0) | (insert ? SABLON_INSERT_FIELDS : 0);
}
