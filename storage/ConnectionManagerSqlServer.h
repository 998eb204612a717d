// The connection manager of the central SQL Server database: the SQL Server
// settings of the instance, the connection string every access uses, the
// graded test of a set of connection parameters, and the creation and
// upgrade of the database and its table. UI thread only.
#pragma once
#include <set>
#include <oledb.h>
#include "afxmt.h"
#include "storage/RDBTable.h"

// The connection parameters the dialogs edit and test.
class CSqlConnectionParams
{
public:
    CSqlConnectionParams() : port(1433), mode(2), auth(1) {}

    CString instance; // a local server by its instance name (mode 2)
    CString host;     // a remote server by host and port (mode 3)
    int port;
    CString database;
    CString user;
    CString password;
    int mode; // 2 local instance, 3 remote host and port
    int auth; // 1 Windows authentication, any other SQL Server authentication
};

// "Provider=MSOLEDBSQL;" with the server, the database (or master) and the
// authentication; a value that holds ';', a quote or blanks at either end is
// quoted by the connection-string rules.
CString BuildConnectionString(const CSqlConnectionParams& params, bool toMaster);
// A connection-string value, quoted when it has to be.
CString QuoteConnectionValue(const CString& value);
// A name for SQL text: [name] with every ']' doubled.
CString QuoteSqlName(const CString& name);
// The connection string as the log shows it: the values of "Pwd" and
// "Password" read "***" (a quoted or braced value whole); from a quoted or
// braced value that never ends, the rest of the string does. Every log line that prints a connection string
// goes through it; the provider gets the string unchanged.
CString MaskConnectionPassword(LPCWSTR connectionString);

class CConnectionManagerSqlServer : public CConnectionManager
{
public:
    CConnectionManagerSqlServer();
    ~CConnectionManagerSqlServer() override;
    CConnectionManagerSqlServer(const CConnectionManagerSqlServer&) = delete;
    CConnectionManagerSqlServer& operator=(const CConnectionManagerSqlServer&) = delete;

    // Reads the ten values of the instance's profile, each with its default,
    // and writes each back as read.
    void LoadSettings() override;
    CString GetConnectionString() override;
    bool CreateDatabase() override { return false; }
    // Adds the deadline column to the table of the stored connection's
    // database.
    bool UpdateDBStruct() override;
    // The same on the database of the parameters.
    bool UpdateDBStruct(const CSqlConnectionParams& params);

    void SetOnline(bool online);
    void SetConnectionString(LPCWSTR text);
    void SetConnectionParams(const CSqlConnectionParams& params);
    bool GetConnectionParams(CSqlConnectionParams& params);

    // The graded test of the parameters (see the levels below); structure
    // code 0x20000 when the table is current, 0x10000 when not, else 0.
    int CheckAll(const CSqlConnectionParams& params, int& structureCode);
    bool CreateDatabase(const CSqlConnectionParams& params);
    bool CreateDBStruct(const CSqlConnectionParams& params);
    bool IsDBStructCurrent();

    bool CheckAccess(LPCWSTR connectionString);
    int CheckServer(LPCWSTR masterConnectionString);
    int CheckDBStruct(LPCWSTR connectionString, LPCWSTR database, int& structureCode);

    // Logs the error records that the object's last failing call left.
    static void DumpError(IUnknown* object, REFIID iid);

    // The manager of the application (the data holder's); every case table
    // built without a connection string of its own connects through it.
    static void SetApplicationManager(CConnectionManagerSqlServer* manager);
    static CConnectionManagerSqlServer* GetApplicationManager();

    // Success levels of CheckAll.
    enum
    {
        kLevelNone = 0,        // neither the database nor master opens
        kLevelServer = 1,      // the server answers, no database listed
        kLevelSystemOnly = 3,  // only the system databases
        kLevelUserDbs = 7,     // user databases, not the configured one
        kLevelListed = 15,     // the configured database is listed but does not open
        kLevelNoTable = 31,    // the database opens, holds no table
        kLevelOtherTables = 63,
        kLevelOldTable = 127,  // tUgyirat without its ten columns
        kLevelCurrent = 255
    };
    static const int kStructureCurrent = 0x20000;
    static const int kStructureOld = 0x10000;

    static const wchar_t kDefaultConnectionString[];
    static const wchar_t kCreateTableSql[];
    static const wchar_t kUpgradeSql[];
    static const wchar_t kServerCheckSql[];
    static const wchar_t kStructureCheckSql[];

    CString ConnectionString;
    CString SqlInstance;
    CString SqlHost;
    CString SqlDBName;
    CString SqlUser;
    CString SqlPwd;
    bool Online;
    int SqlPort;
    int SqlConnectionMode;
    int SqlAuthType;
    // The user databases the last server check found (ordinal order).
    std::set<CString> Databases;

private:
    // ConnectionString is read by the case table on any thread.
    CCriticalSection m_lock;
};
