// CUgyiratStore: the in-memory copy of one register's cases, with the name
// lists of the edit dialog. Every change goes to the case table first and
// only on success into the map.
#pragma once
#include <set>
#include <vector>
#include "storage/RDBTable.h"
#include "storage/UgyiratRecordMap.h"
#include "storage/UgyiratSearchIndex.h"

class CUgyiratStore
{
public:
    typedef CUgyiratRecordMap RecordMap;
    typedef std::set<CString> NameSet;

    // Takes ownership of the table.
    explicit CUgyiratStore(CRDBTable* table);
    ~CUgyiratStore();
    CUgyiratStore(const CUgyiratStore&) = delete;
    CUgyiratStore& operator=(const CUgyiratStore&) = delete;

    // The central connection, named in the log when a central read fails.
    void SetCentralConnection(CConnectionManager* manager) { m_pCentral = manager; }

    // False, with the old map kept, when the read fails or breaks off,
    // out of memory included.
    bool LoadFromDatabase();
    bool LoadFromBackup();
    bool CreateBackup();
    // Offline: the records are read-only copies (from the backup file, or
    // kept after a failed backup); only a central load ends it.
    bool IsOffline() const { return m_bOffline; }
    void SwitchOffline() { m_bOffline = true; }

    // The record of the key inside the map, or null. Only the compare state
    // may be written through it; the texts change through Update.
    CUgyiratRecord* Find(int key);
    // The highest number of the year plus one (year 0: the current year);
    // kNoFreeUgyiratNr when that number (or the year) is not one Insert
    // takes: the year is full.
    int GetNextNr(int year);
    static constexpr int kNoFreeUgyiratNr = 0;

    // Both take only years and numbers of their own key (IsStorableUgyirat).
    bool Insert(const CUgyiratRecord& record);
    bool Update(int oldKey, const CUgyiratRecord& record);
    bool Delete(int key);
    void SetAllapot(int year, int nr, int state);
    bool DeleteAllRows();
    // The restore's swap, on the UI thread after its loader has written the
    // table: the map becomes the downloaded records (keyed as always; of a
    // key given twice the later one), whose names join the name lists. The
    // map is rebuilt from its own nodes, so the register is never
    // held a third time beside the old map and the records; only the cases
    // beyond the old count take new memory. Out of memory throws
    // std::bad_alloc with the map as it was (the name lists may have grown).
    void ReplaceRecords(const std::vector<CUgyiratRecord>& records);

    // The lowered texts of the map's cases for the search, brought up to
    // date first (built anew after a load or a change from outside the
    // store; without build, null rather than building). Null when memory
    // runs out. The UI thread's, and only while no worker writes the store
    // (IsStoreBusy).
    const CUgyiratSearchIndex* SearchIndex(bool build = true);

    int CountRows();
    bool CheckStructure();

    // The cases of the case table (not the map), in the table's order, into
    // a file; the previous file stays when the export fails.
    bool ExportRtf(LPCWSTR fileName);
    bool ExportHtml(LPCWSTR fileName);
    bool ExportCsv(LPCWSTR fileName);
    // The backup XML that the online backup uploads.
    bool ExportXml(LPCWSTR fileName);
    // The same read through the given table: the online backup passes one
    // of its own, since it may run on another thread than the store's users.
    bool ExportXml(LPCWSTR fileName, CRDBTable* table);

    void LoadDirectorySettings();
    void SetDirRoot(LPCWSTR folder);
    void LogDirectorySettings();

    CRDBTable* GetTable() const { return m_pTable; }

    CRDBTable* m_pTable;
    RecordMap m_records;
    NameSet m_partyNames;
    NameSet m_caseTypes;
    CString DirRoot;
    CString DirPath;
    CString DirIsNotNullUN;
    CString DirIsNotNull_EN;
    bool m_bOffline;

private:
    bool ReadDatabase();
    bool ReadBackup();
    void LogOutOfMemory(LPCWSTR source) const;
    CString CentralConnectionString() const;
    void AddNames(const CUgyiratRecord& record);

    CConnectionManager* m_pCentral;
    CUgyiratSearchIndex m_index;
};
