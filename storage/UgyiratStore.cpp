#include "storage/UgyiratStore.h"
#include "exchange/Exporter.h"
#include "exchange/ExporterXml.h"
#include "foundation/AppSettings.h"
#include "foundation/BackupFileLock.h"
#include "foundation/Log.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/CtUgyirat_Sqlite.h"
#include <shlobj.h>
#include <time.h>
#include <new>

CUgyiratStore::CUgyiratStore(CRDBTable* table) : m_pTable(table), m_bOffline(false), m_pCentral(NULL)
{
}

CUgyiratStore::~CUgyiratStore()
{
    delete m_pTable;
}

CString CUgyiratStore::CentralConnectionString() const
{
    // Only the log shows it: without the password.
    return m_pCentral ? MaskConnectionPassword(m_pCentral->GetConnectionString()) : CString();
}

void CUgyiratStore::AddNames(const CUgyiratRecord& record)
{
    m_partyNames.insert(CString(record.UgyfelNeve));
    m_partyNames.insert(CString(record.EllenfelNeve));
    m_caseTypes.insert(CString(record.UgyJellege));
}

// Both loads read into a second map and swap it in only when the read is
// whole, so for a while the old map and the new one are both held: in the
// 32-bit address space a large register can run out of memory there. That
// is a failed load like any other: the partial map is gone by the time the
// handler runs, the old map stays.
bool CUgyiratStore::LoadFromDatabase()
{
    // The search's copy of the texts goes first, so that it is not held
    // beside two maps; the next search builds it again.
    m_index.Invalidate();
    try {
        return ReadDatabase();
    } catch (const std::bad_alloc&) {
        if (m_pTable)
            m_pTable->Close();
        m_bOffline = true;
        LogOutOfMemory(L"database");
        return false;
    }
}

bool CUgyiratStore::LoadFromBackup()
{
    m_index.Invalidate();
    try {
        return ReadBackup();
    } catch (const std::bad_alloc&) {
        m_bOffline = true;
        LogOutOfMemory(L"backup");
        return false;
    }
}

void CUgyiratStore::LogOutOfMemory(LPCWSTR source) const
{
    try {
        LogFormat(L"Load from %s failed: out of memory; the previous %d records are kept", source,
                  (int)m_records.size());
    } catch (const std::bad_alloc&) {
        // Not even the line fits: the failure itself is what the caller sees.
    }
}

bool CUgyiratStore::ReadDatabase()
{
    if (!m_pTable || !m_pTable->OpenSelect()) {
        if (m_pTable)
            m_pTable->Close();
        LogFormat(L"Load from database failed! %s", (LPCWSTR)CentralConnectionString());
        m_bOffline = true;
        return false;
    }
    // A fresh map, taken only when the whole table was read.
    RecordMap fresh;
    bool complete = true;
    while (m_pTable->MoveNext()) {
        CUgyiratRecord record;
        ZeroRecord(record);
        if (!m_pTable->GetRecord(record)) {
            complete = false;
            break;
        }
        fresh.insert_or_assign(UgyiratKey(record), record);
    }
    if (m_pTable->ReadFailed())
        complete = false;
    m_pTable->Close();
    if (!complete) {
        LogFormat(L"Load from database failed! %s", (LPCWSTR)CentralConnectionString());
        LogFormat(L"Load from database: the read broke off after %d records; the previous %d are kept",
                  (int)fresh.size(), (int)m_records.size());
        m_bOffline = true;
        return false;
    }
    // The names only ever grow: added before the swap, a failure here
    // leaves no half load behind.
    for (const auto& item : fresh)
        AddNames(item.second);
    m_records.swap(fresh);
    LogFormat(L"Load from database %d", (int)m_records.size());
    m_bOffline = false;
    return true;
}

void CUgyiratStore::ReplaceRecords(const std::vector<CUgyiratRecord>& records)
{
    m_index.Invalidate();
    RecordMap::Map& old = m_records.Untracked();
    // What can fail comes first: the nodes the old map lacks, the names.
    RecordMap::Map spare;
    for (size_t i = old.size(); i < records.size(); ++i)
        spare.emplace_hint(spare.end(), (int)i, CUgyiratRecord());
    for (const CUgyiratRecord& record : records)
        AddNames(record);
    // From here on nothing allocates: each case takes a node of the old map,
    // or a spare one once those are used up.
    RecordMap fresh;
    RecordMap::Map& target = fresh.Untracked();
    for (const CUgyiratRecord& record : records) {
        const int key = UgyiratKey(record);
        auto found = target.find(key);
        if (found != target.end()) {
            found->second = record;
            continue;
        }
        RecordMap::Map& source = old.empty() ? spare : old;
        auto node = source.extract(source.begin());
        node.key() = key;
        node.mapped() = record;
        target.insert(std::move(node));
    }
    // The old map's nodes left over (a smaller register) go with fresh.
    m_records.swap(fresh);
    LogFormat(L"Records replaced: %d", (int)m_records.size());
}

bool CUgyiratStore::ReadBackup()
{
    m_bOffline = true;
    CAppSettings* settings = GetAppSettings();
    CString path = settings ? settings->GetBackupFilePath() : CString();
    CtUgyirat_Sqlite table;
    if (!table.OpenSelect()) {
        LogFormat(L"Load from backup failed! %s", (LPCWSTR)path);
        return false;
    }
    // Records the backup lacks stay: the read goes into a copy of the map,
    // which replaces it only when the whole file was read.
    RecordMap merged(m_records);
    while (table.MoveNext()) {
        CUgyiratRecord record;
        ZeroRecord(record);
        if (table.GetRecord(record))
            merged.insert_or_assign(UgyiratKey(record), record);
    }
    bool failed = table.ReadFailed();
    table.Close();
    if (failed) {
        LogFormat(L"Load from backup failed! %s", (LPCWSTR)path);
        return false;
    }
    m_records.swap(merged);
    LogFormat(L"Load from backup %s %d", (LPCWSTR)path, (int)m_records.size());
    return true;
}

bool CUgyiratStore::CreateBackup()
{
    if (m_bOffline || m_records.empty())
        return true;
    // A restore into the backup file (the scheduled synchronisation) may be
    // writing it: this copy comes after it, never beside it.
    CBackupFileLock lock(L"local backup");
    if (!m_pTable || !m_pTable->OpenSelect()) {
        if (m_pTable)
            m_pTable->Close();
        LogFormat(L"Open SQL failed! [%s]", (LPCWSTR)CentralConnectionString());
        return true;
    }
    CConnectionManagerSqlite manager;
    CString path = manager.GetConnectionString();
    // The new file is written beside the old one and replaces it only when
    // complete, so a failed copy never costs the backup that exists.
    CString temp = path + L".new";
    CtUgyirat_Sqlite target;
    if (path.IsEmpty() || !target.CreateDatabaseAt(temp)) {
        m_pTable->Close();
        DeleteFileW(temp);
        LogFormat(L"Create backup failed! %s", (LPCWSTR)path);
        return false;
    }
    LogFormat(L"Create backup %s", (LPCWSTR)path);
    target.SetPath(temp);
    if (!target.BeginBulkInsert(true)) {
        m_pTable->Close();
        target.Close();
        DeleteFileW(temp);
        LogFormat(L"Create backup failed! %s", (LPCWSTR)path);
        return false;
    }
    DWORD start = GetTickCount();
    int read = 0, inserted = 0;
    bool readOk = true;
    while (m_pTable->MoveNext()) {
        CUgyiratRecord record;
        ZeroRecord(record);
        if (!m_pTable->GetRecord(record)) {
            readOk = false;
            break;
        }
        ++read;
        if (target.Insert(record))
            ++inserted;
    }
    if (m_pTable->ReadFailed())
        readOk = false;
    bool committed = target.EndBulkInsert();
    m_pTable->Close();
    target.Close();
    LogFormat(L"Backup result: %d (%dms)", inserted, (int)(GetTickCount() - start));
    if (!readOk || !committed || inserted != read) {
        DeleteFileW(temp);
        LogFormat(L"Create backup failed! %s (read %d, written %d%s%s); the old backup is kept", (LPCWSTR)path,
                  read, inserted, readOk ? L"" : L", the read broke off", committed ? L"" : L", commit failed");
        return false;
    }
    if (!MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING)) {
        DWORD error = GetLastError();
        DeleteFileW(temp);
        LogFormat(L"Create backup failed! %s (replace error %u); the old backup is kept", (LPCWSTR)path, error);
        return false;
    }
    return true;
}

CUgyiratRecord* CUgyiratStore::Find(int key)
{
    auto& records = m_records.Untracked();
    auto it = records.find(key);
    return it == records.end() ? NULL : &it->second;
}

const CUgyiratSearchIndex* CUgyiratStore::SearchIndex(bool build)
{
    if (m_index.IsCurrent(m_records))
        return &m_index;
    if (!build)
        return NULL;
    if (!m_index.Build(m_records)) {
        LogFormat(L"Search index of %d cases: out of memory", (int)m_records.size());
        return NULL;
    }
    return &m_index;
}

int CUgyiratStore::GetNextNr(int year)
{
    if (year == 0) {
        __time64_t now = _time64(NULL);
        struct tm t;
        if (_localtime64_s(&t, &now) == 0)
            year = t.tm_year + 1900;
    }
    int next = 1;
    for (const auto& item : m_records.Records())
        if (item.second.Ev == year && item.second.Nr >= next)
            next = item.second.Nr + 1;
    if (!IsStorableUgyirat(year, next)) {
        LogFormat(L"No free case number in year %d", year);
        return kNoFreeUgyiratNr;
    }
    return next;
}

bool CUgyiratStore::Insert(const CUgyiratRecord& record)
{
    if (m_bOffline || !m_pTable || !IsStorableUgyirat(record.Ev, record.Nr))
        return false;
    int key = UgyiratKey(record);
    if (m_records.count(key))
        return false;
    if (!m_pTable->Insert(record))
        return false;
    CUgyiratRecord& stored = m_records.Untracked()[key];
    stored = record;
    m_index.Put(m_records, key, stored);
    AddNames(record);
    return true;
}

bool CUgyiratStore::Update(int oldKey, const CUgyiratRecord& record)
{
    if (m_bOffline || !m_pTable || oldKey != UgyiratKey(record) || !IsStorableUgyirat(record.Ev, record.Nr))
        return false;
    if (!m_pTable->Update(record, oldKey))
        return false;
    CUgyiratRecord& stored = m_records.Untracked()[UgyiratKey(record)];
    stored = record;
    m_index.Put(m_records, UgyiratKey(record), stored);
    AddNames(record);
    return true;
}

bool CUgyiratStore::Delete(int key)
{
    if (m_bOffline || !m_pTable)
        return false;
    auto& records = m_records.Untracked();
    auto it = records.find(key);
    if (it == records.end())
        return false;
    if (!m_pTable->Delete(it->second))
        return false;
    records.erase(it);
    m_index.Remove(m_records, key);
    return true;
}

void CUgyiratStore::SetAllapot(int year, int nr, int state)
{
    if (m_bOffline || !m_pTable)
        return;
    CUgyiratRecord* record = Find(MakeUgyiratKey(year, nr));
    if (!record)
        return;
    CString sql;
    sql.Format(L"UPDATE tUgyirat SET Allapot = %d WHERE Ev = %d AND Nr = %d", state, year, nr);
    if (m_pTable->Exec(sql))
        record->Allapot = state;
}

bool CUgyiratStore::DeleteAllRows()
{
    return m_pTable && m_pTable->Exec(L"DELETE FROM tUgyirat;");
}

int CUgyiratStore::CountRows()
{
    CString text;
    if (!m_pTable || !m_pTable->QueryScalar(L"SELECT COUNT(*) FROM tUgyirat", text))
        return -1;
    return _wtoi(text);
}

bool CUgyiratStore::CheckStructure()
{
    return m_pTable && m_pTable->CheckStructure();
}

bool CUgyiratStore::ExportRtf(LPCWSTR fileName)
{
    CExporterRtf exporter;
    return exporter.Export(m_pTable, fileName);
}

bool CUgyiratStore::ExportHtml(LPCWSTR fileName)
{
    CExporterHtml exporter;
    return exporter.Export(m_pTable, fileName);
}

bool CUgyiratStore::ExportCsv(LPCWSTR fileName)
{
    CExporterCSV exporter;
    return exporter.Export(m_pTable, fileName);
}

bool CUgyiratStore::ExportXml(LPCWSTR fileName)
{
    return ExportXml(fileName, m_pTable);
}

bool CUgyiratStore::ExportXml(LPCWSTR fileName, CRDBTable* table)
{
    CExporterXml exporter;
    return exporter.Export(table, fileName);
}

namespace {

// The values of the case folders, kept by the store.
const wchar_t kValueDirRoot[] = L"DirRoot";
const wchar_t kValueDirPath[] = L"DirPath";
const wchar_t kDefaultDirPath[] = L"[YEAR]\\[UgyfelNeve][ISNOTNULL_EN][EllenfelNeve] ([YEAR]#[NR])";
const wchar_t kValueDirIsNotNullUN[] = L"DirIsNotNullUN";
const wchar_t kValueDirIsNotNullEN[] = L"DirIsNotNull_EN";
const wchar_t kDefaultDirIsNotNullEN[] = L" - ";

} // namespace

void CUgyiratStore::LoadDirectorySettings()
{
    CAppSettings* settings = GetAppSettings();
    if (!settings)
        return;
    DirRoot = settings->GetProfileString(kValueDirRoot, L"");
    if (DirRoot.IsEmpty()) {
        wchar_t docs[MAX_PATH] = {0};
        if (SUCCEEDED(SHGetFolderPathW(NULL, CSIDL_PERSONAL, NULL, 0, docs))) {
            DirRoot = docs;
            if (DirRoot.IsEmpty() || DirRoot.Right(1) != L"\\")
                DirRoot += L"\\";
        }
        settings->WriteProfileString(kValueDirRoot, DirRoot);
    } else if (DirRoot.Right(1) != L"\\") {
        // Set by hand without its final backslash: the case folders would
        // go beside the root, glued to its name.
        SetDirRoot(CString(DirRoot));
    }
    DirPath = settings->GetProfileString(kValueDirPath, L"");
    if (DirPath.IsEmpty()) {
        DirPath = kDefaultDirPath;
        settings->WriteProfileString(kValueDirPath, DirPath);
    }
    DirIsNotNullUN = settings->GetProfileString(kValueDirIsNotNullUN, L"");
    DirIsNotNull_EN = settings->GetProfileString(kValueDirIsNotNullEN, L"");
    if (DirIsNotNull_EN.IsEmpty()) {
        DirIsNotNull_EN = kDefaultDirIsNotNullEN;
        settings->WriteProfileString(kValueDirIsNotNullEN, DirIsNotNull_EN);
    }
    LogDirectorySettings();
}

void CUgyiratStore::SetDirRoot(LPCWSTR folder)
{
    DirRoot = folder;
    if (DirRoot.IsEmpty() || DirRoot.Right(1) != L"\\")
        DirRoot += L"\\";
    if (CAppSettings* settings = GetAppSettings())
        settings->WriteProfileString(kValueDirRoot, DirRoot);
}

void CUgyiratStore::LogDirectorySettings()
{
    LogLine(L"Directory settings");
    LogFormat(L" # DirRoot         = %s", (LPCWSTR)DirRoot);
    LogFormat(L" # DirPath         = %s", (LPCWSTR)DirPath);
    LogFormat(L" # DirIsNotNull_UN = %s", (LPCWSTR)DirIsNotNullUN);
    LogFormat(L" # DirIsNotNull_EN = %s", (LPCWSTR)DirIsNotNull_EN);
}
