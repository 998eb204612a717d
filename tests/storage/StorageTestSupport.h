// Fixtures of the storage tests: records, a settings object whose backup
// file lies in a fresh folder, and a table that fails on purpose.
#pragma once
#include <functional>
#include <memory>
#include <vector>
#include "foundation/AppSettings.h"
#include "storage/CtUgyirat_Sqlite.h"

CUgyiratRecord MakeRecord(int ev, int nr, LPCWSTR client = L"Ügyfél", LPCWSTR other = L"Ellenfél",
                          LPCWSTR kind = L"Polgári", LPCWSTR remark = L"", LPCWSTR deadlines = L"");

// A settings object of its own instance with a fresh data folder; the backup
// file is the data folder's default one.
class CStorageEnvironment
{
public:
    explicit CStorageEnvironment(LPCWSTR key);
    ~CStorageEnvironment();
    CString BackupPath() { return m_settings.GetBackupFilePath(); }
    CString Folder() { return m_settings.GetDataFolder(); }
    CAppSettings& Settings() { return m_settings; }

private:
    CAppSettings m_settings;
    CString m_key;
};

// A SQLite file standing in for the central table: a CtUgyirat_Sqlite at a
// path of its own, created with the backup table's structure.
std::unique_ptr<CtUgyirat_Sqlite> MakeCentralTable(const CString& path);

// Wraps a table and fails on demand: the read after `failReadAfter` rows,
// every insert, or every change. `onReadEnd` runs when a read has given its
// last row (before MoveNext answers false).
class CFailingTable : public CRDBTable
{
public:
    explicit CFailingTable(CRDBTable* inner) : m_inner(inner) {}
    ~CFailingTable() override { delete m_inner; }

    int failReadAfter = -1;
    bool failOpen = false;
    bool failChanges = false;
    int changeCalls = 0;
    std::function<void()> onReadEnd;

    bool SetConnection(CConnectionManager* m) override { return m_inner->SetConnection(m); }
    bool OpenSelect() override
    {
        m_rows = 0;
        m_failed = false;
        return !failOpen && m_inner->OpenSelect();
    }
    bool MoveNext() override
    {
        if (failReadAfter >= 0 && m_rows >= failReadAfter) {
            m_failed = true;
            return false;
        }
        if (!m_inner->MoveNext()) {
            if (onReadEnd)
                onReadEnd();
            return false;
        }
        ++m_rows;
        return true;
    }
    bool GetRecord(CUgyiratRecord& r) override { return m_inner->GetRecord(r); }
    void Close() override { m_inner->Close(); }
    bool Insert(const CUgyiratRecord& r) override { ++changeCalls; return !failChanges && m_inner->Insert(r); }
    bool Update(const CUgyiratRecord& r, int k) override { ++changeCalls; return !failChanges && m_inner->Update(r, k); }
    bool Delete(const CUgyiratRecord& r) override { ++changeCalls; return !failChanges && m_inner->Delete(r); }
    bool Exec(LPCWSTR sql) override { ++changeCalls; return !failChanges && m_inner->Exec(sql); }
    bool QueryScalar(LPCWSTR sql, CString& out) override { return m_inner->QueryScalar(sql, out); }
    bool CheckStructure() override { return m_inner->CheckStructure(); }
    bool ReadFailed() const override { return m_failed || m_inner->ReadFailed(); }

private:
    CRDBTable* m_inner;
    int m_rows = 0;
    bool m_failed = false;
};

// A case table over records held in memory, read in their order (the read
// costs nothing); every change is refused.
class CMemoryCaseTable : public CRDBTable
{
public:
    explicit CMemoryCaseTable(std::vector<CUgyiratRecord> records) : m_records(std::move(records)) {}
    bool SetConnection(CConnectionManager*) override { return true; }
    bool OpenSelect() override
    {
        m_next = 0;
        return !failSelect;
    }
    bool MoveNext() override { return m_next++ < m_records.size(); }
    bool GetRecord(CUgyiratRecord& r) override
    {
        r = m_records[m_next - 1];
        return true;
    }
    void Close() override {}
    bool Insert(const CUgyiratRecord&) override { return false; }
    bool Update(const CUgyiratRecord&, int) override { return false; }
    bool Delete(const CUgyiratRecord&) override { return false; }
    bool Exec(LPCWSTR) override { return false; }
    bool QueryScalar(LPCWSTR, CString&) override { return false; }
    bool CheckStructure() override { return true; }
    bool ReadFailed() const override { return false; }

    const std::vector<CUgyiratRecord>& Records() const { return m_records; }

    bool failSelect = false;

private:
    std::vector<CUgyiratRecord> m_records;
    size_t m_next = 0;
};
