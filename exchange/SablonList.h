// The list of template documents: one REG_SZ value per template below
// HKCU\Software\<registry key>\Folionex\Sablon, shared by every instance
// and every program file (value name: the template's full path; data: its
// option text). For one case folder it knows which templates already have a
// copy there, copies the chosen ones and fills the marked copies through Word.
#pragma once
#include <windows.h>
#include <vector>
#include "afxstr.h"

struct CUgyiratRecord;

// Option bits.
enum
{
    SABLON_SELECT_IF_NOT_EXISTS = 1, // ticked in advance when the case folder has no copy
    SABLON_INSERT_FIELDS = 2,        // the copy gets its placeholders replaced
};

// Entry flags.
enum
{
    SABLON_CHOSEN = 1,          // to be copied
    SABLON_IN_CASE_FOLDER = 2,  // a file of its name is in the case folder
    SABLON_FILE_EXISTS = 4,     // the template file itself exists
};

struct SablonEntry
{
    int id;           // given by the list, unique while it lives; not stored
    CString fileName; // after the last path separator
    CString folder;   // before it, without the separator
    CString options;  // the option text
    int flags;
};

// The template key's path below HKEY_CURRENT_USER: "Software\" + the
// application's registry key + "\Folionex\Sablon" (empty without a key).
CString GetSablonKeyPath();
// The name of the key below "Software\<registry key>\Folionex".
LPCWSTR GetSablonKeyName();

class CSablonList
{
public:
    // caseFolder: the case's document folder; empty for the settings dialog.
    explicit CSablonList(LPCWSTR caseFolder = L"");

    // Rebuilds the entries from the registry (ids keep counting): their
    // number, or -1 when the key can be neither opened nor created.
    int Reload();
    int GetCount() const { return (int)m_entries.size(); }
    SablonEntry& GetAt(int index) { return m_entries[index]; }
    SablonEntry* Find(int id);
    // The new entry's id; -1 when the path has no file name or no folder
    // part, -2 when the list holds that folder and file already (any case).
    // With store the value is written too (failures are silent).
    int Add(LPCWSTR path, bool store, LPCWSTR options);
    // Deletes the template's value (not the file) and reloads; false when
    // the id is unknown or the value cannot be deleted.
    bool Remove(int id);
    void Choose(int id);
    void SetOptions(SablonEntry& entry, int bits, bool store);
    static int GetOptions(const SablonEntry& entry);
    // Copies every chosen template into the case folder; with a record the
    // copies of templates marked SABLON_INSERT_FIELDS get the case's data.
    void CopyChosen(const CUgyiratRecord* record);

private:
    bool Store(const SablonEntry& entry);

    int m_nextId;
    CString m_caseFolder;
    std::vector<SablonEntry> m_entries;
};
