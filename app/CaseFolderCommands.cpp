// CVelindoDlg's case document folder commands: the folder of the selected
// row's case, opened in the shell, or created (optionally with the case's
// documents moved in from elsewhere), then the template dialog.
#include <shlobj.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <wchar.h>
#include <string>
#include "afxapp.h"
#include "app/VelindoDlg.h"
#include "exchange/SablonDlg.h"
#include "foundation/FileNames.h"
#include "foundation/FolderPicker.h"
#include "foundation/Log.h"
#include "foundation/XMessageBox.h"
#include "storage/UgyiratStore.h"

namespace {

const wchar_t kCaptionMissingFolder[] = L"Nem létező könyvtár";
const UINT kStyleMissingFolder = 0x20000033;
const wchar_t kTextMissingFolderHead[] = L"Az alábbi könyvtár még nem létezik:!\n\n";
const wchar_t kTextMissingFolderTail[] =
    L"\n\nA továbblépéshez kérjük kattintson a\n\n"
    L"- [Létrehozás] nyomógombra egy új, üres könyvtár létrehozásához, ha\n"
    L"nincsenek még ezen a gépen az iktatószámhoz kapcsolódó dokumentumok,\n\n"
    L"- [Létrehozás + Keresés] nyomógombra, ha már vannak az iktatószámhoz\n"
    L"kapcsolódó dokumentumok és azokat át akarja mozgatni a most létrehozandó\n"
    L"könyvtárba.\n\n"
    L"Ha nem kívánja a könyvtárat létrehozni, az [Vissza] gombbal visszatérhet.\n";
const wchar_t kTextCreateFailed[] = L"Az útvonal létrehozása nem sikerült!\n\n";
const wchar_t kTitleFindDocuments[] = L"A kapcsolódó dokumentumok könyvtárának keresése";
const int kFindBuffer = 1023;
// A cell of the list as the folder name takes it: one of the record's texts.
const int kFieldBuffer = (int)(sizeof(CUgyiratRecord().UgyfelNeve) / sizeof(WCHAR));

// Our own texts where moving the documents would otherwise lose or scatter them.
const wchar_t kTextChoiceRefused[] =
    L"A kiválasztott könyvtár tartalma nem helyezhető át az új könyvtárba:\n\n%s\n\n"
    L"Meghajtó vagy megosztás gyökere, a dokumentumok kezdőkönyvtára, az új könyvtár és az azt\n"
    L"tartalmazó könyvtárak nem választhatók. Semmi nem került át, az új könyvtár üres.";
const wchar_t kTextMoveIncomplete[] =
    L"A dokumentumok áthelyezése nem sikerült teljesen!\n\n%s\n\n"
    L"Ami nem került át, a régi helyén maradt. Az ügy könyvtára:\n\n%s";
const wchar_t kTextOpenFailed[] = L"A könyvtár megnyitása nem sikerült!\n\n";

// The placeholders in the order they are looked for.
const wchar_t* const kPlaceholders[6] = {
    L"[NR]", L"[YEAR]", L"[UgyfelNeve]", L"[EllenfelNeve]", L"[ISNOTNULL_UN]", L"[ISNOTNULL_EN]",
};

// A full path without a final backslash (a drive root keeps it).
CString FullPath(const CString& path)
{
    WCHAR full[MAX_PATH * 2] = {0};
    DWORD n = ::GetFullPathNameW(path, MAX_PATH * 2, full, NULL);
    CString out = n > 0 && n < MAX_PATH * 2 ? CString(full) : path;
    while (out.GetLength() > 3 && out[out.GetLength() - 1] == L'\\')
        out = out.Left(out.GetLength() - 1);
    return out;
}

bool SamePathText(LPCWSTR a, int lengthA, LPCWSTR b, int lengthB)
{
    return ::CompareStringOrdinal(a, lengthA, b, lengthB, TRUE) == CSTR_EQUAL;
}

// path is folder itself or lies below it, compared on whole names.
bool IsSameOrBelow(const CString& path, const CString& folder)
{
    int n = folder.GetLength();
    if (n == 0 || path.GetLength() < n || !SamePathText(path, n, folder, n))
        return false;
    return path.GetLength() == n || folder[n - 1] == L'\\' || path[n] == L'\\';
}

CString ParentOf(const CString& path)
{
    int slash = path.ReverseFind(L'\\');
    return slash >= 0 ? path.Left(slash) : CString();
}

// A folder with nothing left in it.
bool IsEmptyFolder(const CString& folder)
{
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW(folder + L"\\*", &data);
    if (find == INVALID_HANDLE_VALUE)
        return true;
    bool empty = true;
    do {
        if (wcscmp(data.cFileName, L".") != 0 && wcscmp(data.cFileName, L"..") != 0)
            empty = false;
    } while (empty && ::FindNextFileW(find, &data));
    ::FindClose(find);
    return empty;
}

// One shell operation without confirmations; true when it reports that
// everything was done.
bool RunShellOperation(UINT operation, const CString& from, const CString& to)
{
    // Both lists end in two zeros.
    std::wstring source(from.GetString(), (size_t)from.GetLength());
    source.append(2, L'\0');
    std::wstring target(to.GetString(), (size_t)to.GetLength());
    target.append(2, L'\0');
    SHFILEOPSTRUCTW op;
    memset(&op, 0, sizeof(op));
    op.hwnd = NULL;
    op.wFunc = operation;
    op.pFrom = source.c_str();
    op.pTo = target.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
    int rc = ::SHFileOperationW(&op);
    if (rc != 0 || op.fAnyOperationsAborted) {
        LogFormat(L"Shell operation %u of %s to %s failed (%d, aborted %d)", operation, from.GetString(),
                  to.GetString(), rc, (int)op.fAnyOperationsAborted);
        return false;
    }
    return true;
}

} // namespace

CString CVelindoDlg::ExpandCaseFolderPath(const CString& root, const CString& pattern, const CString& notNullUN,
                                          const CString& notNullEN, LPCWSTR nr, LPCWSTR year, LPCWSTR client,
                                          LPCWSTR other)
{
    const bool hasClient = client && client[0];
    const bool hasOther = other && other[0];
    const CString values[6] = {
        FileNameText(nr), FileNameText(year), FileNameText(client), FileNameText(other),
        hasClient ? notNullUN : CString(), hasOther ? notNullEN : CString(),
    };
    // One pass over the pattern: a name holding a placeholder stays text.
    CString below;
    LPCWSTR p = pattern.GetString();
    while (*p) {
        bool replaced = false;
        for (int i = 0; i < 6 && !replaced; ++i) {
            size_t n = wcslen(kPlaceholders[i]);
            if (wcsncmp(p, kPlaceholders[i], n) == 0) {
                below += values[i];
                p += n;
                replaced = true;
            }
        }
        if (!replaced)
            below += *p++;
    }
    // Every folder name below the root made safe on its own.
    CString path = root;
    int start = 0;
    for (int i = 0; i <= below.GetLength(); ++i) {
        if (i == below.GetLength() || below[i] == L'\\' || below[i] == L'/') {
            if (start > 0)
                path += L'\\';
            path += SafeFileName(below.Mid(start, i - start));
            start = i + 1;
        }
    }
    return path;
}

CString CVelindoDlg::ExpandCaseFolderPath(int row)
{
    WCHAR cells[4][kFieldBuffer];
    for (int column = 0; column < 4; ++column)
        m_list.GetCellText(row, column, cells[column], kFieldBuffer, NULL);
    CUgyiratStore* store = Store();
    if (!store)
        return CString();
    return ExpandCaseFolderPath(store->DirRoot, store->DirPath, store->DirIsNotNullUN, store->DirIsNotNull_EN,
                                cells[0], cells[1], cells[2], cells[3]);
}

bool CVelindoDlg::TakeSelectedCaseFolder(CString& path, int& key)
{
    int row = GetSelectedRow();
    if (row < 0) {
        Refuse(kTextNoSelection);
        return false;
    }
    // The case goes with its path: the list may be rebuilt while the
    // question or the picker is open.
    key = m_list.GetKey(row);
    path = ExpandCaseFolderPath(row);
    return true;
}

void CVelindoDlg::OnOpenCaseFolder()
{
    // The row's cells and the case come from the store.
    if (!EnterStore(StoreRoad::OpenCaseFolder))
        return;
    CBusyGuard guard(&m_nBusy);
    CString path;
    int key = 0;
    if (!TakeSelectedCaseFolder(path, key))
        return;
    if (::PathIsDirectoryW(path))
        OpenFolderInShell(path);
    else
        ManageCaseFolder(path, key);
}

void CVelindoDlg::OnManageCaseFolder()
{
    if (!EnterStore(StoreRoad::ManageCaseFolder))
        return;
    CBusyGuard guard(&m_nBusy);
    CString path;
    int key = 0;
    if (TakeSelectedCaseFolder(path, key))
        ManageCaseFolder(path, key);
}

void CVelindoDlg::ManageCaseFolder(const CString& path, int key)
{
    if (!::PathIsDirectoryW(path)) {
        XMessageBoxParams params;
        params.bUseOwnCaptions = TRUE;
        wcscpy(params.szOwnCaptions[XMB_CAP_YES], L"Létrehozás");
        wcscpy(params.szOwnCaptions[XMB_CAP_NO], L"Létrehozás + Keresés");
        wcscpy(params.szOwnCaptions[XMB_CAP_CANCEL], L"Vissza");
        CString text = kTextMissingFolderHead + path + kTextMissingFolderTail;
        int answer = XMessageBox(m_hWnd, text, kCaptionMissingFolder, kStyleMissingFolder, &params);
        // -1: the box could not be shown, which counts as "Vissza".
        int button = answer == -1 ? IDCANCEL : (answer & 0xFFFF);
        if (button == IDYES || button == IDNO) {
            int rc = ::SHCreateDirectoryExW(NULL, path, NULL);
            if (rc != ERROR_SUCCESS && !(rc == ERROR_ALREADY_EXISTS && ::PathIsDirectoryW(path))) {
                LogFormat(L"Create case folder failed (%d): %s", rc, path.GetString());
                AfxMessageBox(kTextCreateFailed + path);
            } else {
                LogFormat(L"Case folder created: %s", path.GetString());
                if (button == IDNO)
                    FindCaseDocuments(path);
            }
        }
    }
    if (::PathIsDirectoryW(path))
        FinishCaseFolder(path, key);
}

void CVelindoDlg::FindCaseDocuments(const CString& path)
{
    CString parent = ParentOf(path);
    WCHAR chosenText[kFindBuffer + 1] = {0};
    if (!BrowseForFolder(m_hWnd, parent, -1, kTitleFindDocuments, chosenText, kFindBuffer, false)) {
        LogLine(L"Find case documents: no folder chosen");
        return;
    }
    // The documents root and the new folder never move: not the root of a
    // drive or share, not the new folder, nothing that holds it.
    CString chosen = FullPath(chosenText);
    CString target = FullPath(path);
    CUgyiratStore* store = Store();
    CString root = store && !store->DirRoot.IsEmpty() ? FullPath(store->DirRoot) : CString();
    if (::PathIsRootW(chosen) || ::PathIsUNCServerShareW(chosen) || IsSameOrBelow(target, chosen) ||
        (!root.IsEmpty() && IsSameOrBelow(root, chosen))) {
        LogFormat(L"Find case documents: %s refused for %s", chosen.GetString(), target.GetString());
        CString text;
        text.Format(kTextChoiceRefused, chosen.GetString());
        Refuse(text);
        return;
    }

    bool complete = false;
    CString parentFull = ParentOf(target);
    CString chosenParent = ParentOf(chosen);
    if (SamePathText(chosenParent, chosenParent.GetLength(), parentFull, parentFull.GetLength())) {
        // A folder beside the new one takes its place: the empty new folder
        // goes right before the rename and comes back when the rename fails.
        if (!::RemoveDirectoryW(target)) {
            LogFormat(L"Find case documents: %s is no longer empty (%u); nothing renamed", target.GetString(),
                      GetLastError());
        } else {
            complete = RunShellOperation(FO_RENAME, chosen, target);
            if (!::PathIsDirectoryW(target))
                ::CreateDirectoryW(target, NULL);
            if (complete)
                LogFormat(L"Find case documents: %s renamed to %s", chosen.GetString(), target.GetString());
        }
    } else {
        complete = RunShellOperation(FO_MOVE, chosen + L"\\*.*", target) && IsEmptyFolder(chosen);
        LogFormat(L"Find case documents: contents of %s moved to %s%s", chosen.GetString(), target.GetString(),
                  complete ? L"" : L" (not all)");
    }
    if (!complete) {
        CString text;
        text.Format(kTextMoveIncomplete, chosen.GetString(), target.GetString());
        Refuse(text);
    }
}

void CVelindoDlg::FinishCaseFolder(const CString& path, int key)
{
    CUgyiratStore* store = Store();
    const CUgyiratRecord* record = store && key ? store->Find(key) : NULL;
    // The templates are offered first; the folder opens after their OK.
    CSablonDlg dlg(store, record, path);
    if (dlg.DoModal() == IDOK)
        OpenFolderInShell(path);
}

void CVelindoDlg::OpenFolderInShell(const CString& path)
{
    HINSTANCE rc = ::ShellExecuteW(m_hWnd, L"open", path, NULL, path, SW_SHOW);
    if ((INT_PTR)rc <= 32) {
        LogFormat(L"Open case folder failed (%d): %s", (int)(INT_PTR)rc, path.GetString());
        Refuse(kTextOpenFailed + path);
    }
}
