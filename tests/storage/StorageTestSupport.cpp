#include "StorageTestSupport.h"
#include "support/TestSupport.h"

CUgyiratRecord MakeRecord(int ev, int nr, LPCWSTR client, LPCWSTR other, LPCWSTR kind, LPCWSTR remark,
                          LPCWSTR deadlines)
{
    CUgyiratRecord r;
    ZeroRecord(r);
    r.Ev = ev;
    r.Nr = nr;
    r.Allapot = 1;
    CopyField(r.UgyfelNeve, client);
    CopyField(r.EllenfelNeve, other);
    CopyField(r.UgyJellege, kind);
    CopyField(r.Megjegyzes, remark);
    CopyField(r.Hataridok, deadlines);
    r.Datum.year = 2024;
    r.Datum.month = 3;
    r.Datum.day = 31;
    r.Datum.hour = 2;
    r.Datum.minute = 30;
    return r;
}

CStorageEnvironment::CStorageEnvironment(LPCWSTR key) : m_key(key)
{
    testing_support::App();
    testing_support::ResetProfile();
    testing_support::RemoveDataFolder(key);
    m_settings.SetInstanceKey(key);
}

CStorageEnvironment::~CStorageEnvironment()
{
    testing_support::RemoveDataFolder(m_key);
    testing_support::ResetProfile();
}

std::unique_ptr<CtUgyirat_Sqlite> MakeCentralTable(const CString& path)
{
    std::unique_ptr<CtUgyirat_Sqlite> table(new CtUgyirat_Sqlite);
    if (!table->CreateDatabaseAt(path))
        return nullptr;
    table->SetPath(path);
    return table;
}
