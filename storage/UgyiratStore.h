// CUgyiratStore: the in-memory copy of one register's cases, with the name
// lists of the edit dialog. Every change goes to the case table first and
// only on success into the map.
#pragma once
#include <map>
#include <set>
#include "storage/RDBTable.h"

class CUgyiratStore
{
public:
    typedef std::map<int, CUgyiratRecord> RecordMap;
    typedef std::set<CString> NameSet;

    // Takes ownership of the table.
    explicit CUgyiratStore(CRDBTable* table);
    ~CUgyiratStore();
    CUgyiratStore(const CUgyiratStore&) = delete;
    CUgyiratStore& operator=(const CUgyiratStore&) = delete;

    // The central connection, named in the log when a central read fails.
    void SetCentralConnection(CConnectionManager* manager) { m_pCentral = manager; }

    bool LoadFromDatabase();
    bool LoadFromBackup();
    bool CreateBackup();
    // Offline: the records are read-only copies (from the backup file, or
    // kept after a failed backup); only a central load ends it.
    bool IsOffline() const { return m_bOffline; }
    void SwitchOffline() { m_bOffline = true; }

    CUgyiratRecord* Find(int key);
    int GetNextNr(int year);

    bool Insert(const CUgyiratRecord& record);
    bool Update(int oldKey, const CUgyiratRecord& record);
    bool Delete(int key);
    void SetAllapot(int year, int nr, int state);
    bool DeleteAllRows();

    int CountRows();
    bool CheckStructure();

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
    CString CentralConnectionString() const;
    void AddNames(const CUgyiratRecord& record);

    CConnectionManager* m_pCentral;
};
