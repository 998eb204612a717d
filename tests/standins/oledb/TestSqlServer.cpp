#include "TestSqlServer.h"
#include <sqlite3.h>
#include "StandinStore.h"

namespace oledb_standin {

namespace {

std::wstring DefaultFolder()
{
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    wchar_t exe[MAX_PATH] = L"";
    GetModuleFileNameW(NULL, exe, MAX_PATH);
    std::wstring name(exe);
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        name.erase(0, slash + 1);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos)
        name.erase(dot);
    std::wstring base = std::wstring(temp) + L"folionex-oledb";
    CreateDirectoryW(base.c_str(), NULL);
    return base + L"\\" + name + L"\\";
}

} // namespace

CTestSqlServer::CTestSqlServer() : CTestSqlServer(DefaultFolder()) {}

CTestSqlServer::CTestSqlServer(const std::wstring& folder) : m_folder(folder)
{
    if (!m_folder.empty() && m_folder.back() != L'\\')
        m_folder += L'\\';
    CreateDirectoryW(m_folder.c_str(), NULL);
    SetEnvironmentVariableW(kDataFolderVariable, m_folder.c_str());
    Reset();
}

CTestSqlServer::~CTestSqlServer()
{
    SetEnvironmentVariableW(kDataFolderVariable, NULL);
}

void CTestSqlServer::Reset()
{
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((m_folder + L"*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((m_folder + found.cFileName).c_str());
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    std::vector<DatabaseEntry> list;
    std::wstring error;
    ReadDatabases(m_folder, &list, &error); // creates the master
}

void CTestSqlServer::SetKnob(const std::wstring& key, const std::wstring& value)
{
    Control c;
    c.Load(m_folder);
    if (value.empty())
        c.Remove(key);
    else
        c.Set(key, value);
    c.Save(m_folder);
}

void CTestSqlServer::SetDown(bool down)
{
    SetKnob(L"Down", down ? L"1" : L"");
}

void CTestSqlServer::SetServers(const std::wstring& names)
{
    SetKnob(L"Servers", names);
}

void CTestSqlServer::SetWindowsLogin(bool accepted)
{
    SetKnob(L"WindowsLogin", accepted ? L"" : L"0");
}

void CTestSqlServer::AddLogin(const std::wstring& user, const std::wstring& password)
{
    Control c;
    c.Load(m_folder);
    c.Set(L"Login." + user, password);
    c.Save(m_folder);
}

void CTestSqlServer::SetNoAccess(const std::wstring& names)
{
    SetKnob(L"NoAccess", names);
}

void CTestSqlServer::FailStatement(const Failure& f)
{
    Control c;
    c.Load(m_folder);
    for (const std::wstring& k : c.KeysWithPrefix(L"Fail."))
        c.Remove(k);
    c.Set(L"Fail.Statement", f.statement);
    c.Set(L"Fail.At", f.at == kAtGetNextRows ? L"GetNextRows" : f.at == kAtGetData ? L"GetData" : L"Execute");
    if (f.afterRows)
        c.Set(L"Fail.AfterRows", std::to_wstring(f.afterRows));
    if (f.times)
        c.Set(L"Fail.Times", std::to_wstring(f.times));
    if (f.native) {
        c.Set(L"Fail.Native", std::to_wstring(f.native));
        if (!f.sqlState.empty())
            c.Set(L"Fail.SqlState", f.sqlState);
        if (!f.message.empty())
            c.Set(L"Fail.Message", f.message);
    }
    c.Save(m_folder);
}

void CTestSqlServer::ClearFailure()
{
    Control c;
    c.Load(m_folder);
    for (const std::wstring& k : c.KeysWithPrefix(L"Fail."))
        c.Remove(k);
    c.Save(m_folder);
}

bool CTestSqlServer::CreateDatabase(const std::wstring& name)
{
    DatabaseEntry e;
    bool existed = false;
    std::wstring error;
    return AddDatabase(m_folder, name, &e, &existed, &error) && !existed;
}

bool CTestSqlServer::RemoveDatabase(const std::wstring& name)
{
    std::wstring error;
    return RemoveDatabaseEntry(m_folder, name, &error);
}

std::vector<std::wstring> CTestSqlServer::Databases()
{
    std::vector<DatabaseEntry> list;
    std::wstring error;
    ReadDatabases(m_folder, &list, &error);
    std::vector<std::wstring> names;
    for (const DatabaseEntry& e : list)
        names.push_back(e.name);
    return names;
}

bool CTestSqlServer::DatabaseFile(const std::wstring& name, std::wstring* file)
{
    DatabaseEntry e;
    bool found = false;
    std::wstring error;
    if (!FindDatabase(m_folder, name, &e, &found, &error) || !found)
        return false;
    *file = e.file;
    return true;
}

bool CTestSqlServer::CreateCaseTable(const std::wstring& database, bool withDeadlines)
{
    return Exec(database, CaseTableSql(withDeadlines));
}

bool CTestSqlServer::Exec(const std::wstring& database, const std::string& sql)
{
    std::wstring file, error;
    if (!DatabaseFile(database, &file))
        return false;
    sqlite3* db = OpenDatabaseFile(file, &error);
    bool ok = db && ExecSqlite(db, sql.c_str(), &error);
    sqlite3_close(db);
    return ok;
}

std::vector<std::vector<std::wstring>> CTestSqlServer::Query(const std::wstring& database, const std::string& sql)
{
    std::vector<std::vector<std::wstring>> rows;
    std::wstring file, error;
    if (!DatabaseFile(database, &file))
        return rows;
    sqlite3* db = OpenDatabaseFile(file, &error);
    sqlite3_stmt* st = NULL;
    if (db && sqlite3_prepare_v2(db, sql.c_str(), -1, &st, NULL) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::vector<std::wstring> row;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const unsigned char* text = sqlite3_column_text(st, i);
                row.push_back(text ? FromUtf8(reinterpret_cast<const char*>(text)) : L"<NULL>");
            }
            rows.push_back(row);
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

std::wstring CTestSqlServer::Trace() const
{
    std::string bytes;
    HANDLE h = CreateFileW((m_folder + L"trace.log").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return std::wstring();
    char buf[8192];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, NULL) && got)
        bytes.append(buf, got);
    CloseHandle(h);
    return FromUtf8(bytes);
}

void CTestSqlServer::ClearTrace()
{
    DeleteFileW((m_folder + L"trace.log").c_str());
}

} // namespace oledb_standin
