#include "exchange/ExportDlg.h"
#include <commdlg.h>
#include <shellapi.h>
#include "foundation/Log.h"
#include "resources/resource.h"
#include "storage/UgyiratStore.h"

namespace {

const wchar_t kCaption[] = L"Exportálás";
const wchar_t kDone[] = L"Az exportálás sikeresen megtörtént. Megnyissam az elkészült fájlt?";
const wchar_t kFailed[] = L"Az exportálás nem sikerült, a korábbi fájl változatlan maradt.";
const wchar_t kBrowseTitle[] = L"Export fájl kiválasztása";

// The save dialog's filters (pairs of description and pattern, ended by an
// empty string) by format.
const wchar_t kFilterRtf[] = L"Word fájlok (RTF)\0*.rtf\0Minden fájl\0*.*\0";
const wchar_t kFilterHtml[] = L"HTML fájlok\0*.html;*.htm\0Minden fájl\0*.*\0";
const wchar_t kFilterCsv[] = L"Szöveg fájlok\0*.TXT;*.CSV\0Minden fájl\0*.*\0";
const wchar_t kFilterAll[] = L"Minden fájl\0*.*\0";

const int kPathBuffer = 1024;

} // namespace

BEGIN_MESSAGE_MAP(CExportDlg, CDialogEx)
    ON_BN_CLICKED(IDC_EXPORT_BROWSE, &CExportDlg::OnBnClickedBrowse)
    ON_BN_CLICKED(IDC_EXPORT_RTF, &CExportDlg::OnBnClickedRtf)
    ON_BN_CLICKED(IDC_EXPORT_HTML, &CExportDlg::OnBnClickedHtml)
    ON_BN_CLICKED(IDC_EXPORT_CSV, &CExportDlg::OnBnClickedCsv)
END_MESSAGE_MAP()

CExportDlg::CExportDlg(CUgyiratStore& store, CWnd* pParent)
    : CDialogEx(IDD_EXPORT, pParent), m_nChoice(IDC_EXPORT_HTML), m_store(store)
{
    LogLine(L"Show popup CExportDlg");
    m_strPathRtf = store.DirRoot + L"Folionex.rtf";
    m_strPathHtml = store.DirRoot + L"Folionex.html";
    m_strPathCsv = store.DirRoot + L"Folionex.txt";
}

CString* CExportDlg::CurrentPath()
{
    switch (m_nChoice) {
    case IDC_EXPORT_RTF: return &m_strPathRtf;
    case IDC_EXPORT_HTML: return &m_strPathHtml;
    case IDC_EXPORT_CSV: return &m_strPathCsv;
    default: return NULL;
    }
}

void CExportDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    if (pDX->m_bSaveAndValidate)
        return;
    for (int id : {IDC_EXPORT_RTF, IDC_EXPORT_HTML, IDC_EXPORT_CSV})
        CheckDlgButton(id, id == m_nChoice ? BST_CHECKED : BST_UNCHECKED);
    CString* path = CurrentPath();
    SetDlgItemText(IDC_EXPORT_PATH, path ? (LPCWSTR)*path : L"");
}

void CExportDlg::SetChoice(int choice)
{
    m_nChoice = choice;
    UpdateData(FALSE);
}

void CExportDlg::OnBnClickedRtf()
{
    SetChoice(IDC_EXPORT_RTF);
}

void CExportDlg::OnBnClickedHtml()
{
    SetChoice(IDC_EXPORT_HTML);
}

void CExportDlg::OnBnClickedCsv()
{
    SetChoice(IDC_EXPORT_CSV);
}

void CExportDlg::OnBnClickedBrowse()
{
    CString* path = CurrentPath();
    CString current = path ? *path : CString();
    // The folder: what stands before the last backslash; the whole path
    // when it has no backslash after its first character.
    int slash = current.ReverseFind(L'\\');
    CString folder = slash > 0 ? current.Left(slash) : current;

    wchar_t file[kPathBuffer] = {0};
    wchar_t title[kPathBuffer] = {0};
    lstrcpynW(file, current, kPathBuffer);

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = m_nChoice == IDC_EXPORT_RTF    ? kFilterRtf
                      : m_nChoice == IDC_EXPORT_HTML ? kFilterHtml
                      : m_nChoice == IDC_EXPORT_CSV  ? kFilterCsv
                                                     : kFilterAll;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = kPathBuffer;
    ofn.lpstrFileTitle = title;
    ofn.nMaxFileTitle = kPathBuffer;
    ofn.lpstrInitialDir = folder;
    ofn.lpstrTitle = kBrowseTitle;
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    if (!GetSaveFileNameW(&ofn) || !path)
        return;
    *path = file;
    SetDlgItemText(IDC_EXPORT_PATH, *path);
}

void CExportDlg::OnOK()
{
    CString* path = CurrentPath();
    bool exported = false;
    switch (m_nChoice) {
    case IDC_EXPORT_RTF: exported = m_store.ExportRtf(*path); break;
    case IDC_EXPORT_HTML: exported = m_store.ExportHtml(*path); break;
    case IDC_EXPORT_CSV: exported = m_store.ExportCsv(*path); break;
    }
    if (exported) {
        if (MessageBox(kDone, kCaption, MB_YESNO) == IDYES)
            ShellExecuteW(m_hWnd, L"open", *path, NULL, NULL, SW_SHOWNORMAL);
    } else {
        MessageBox(kFailed, kCaption, MB_OK | MB_ICONERROR);
    }
    EndDialog(IDOK);
}
