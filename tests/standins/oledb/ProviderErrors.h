// Error records shaped like those of SQL Server's OLE DB driver: an error
// object with IErrorInfo and IErrorRecords, each record with a custom
// object answering ISQLErrorInfo (SQLSTATE, native error) and, for errors
// the server raised, ISQLServerErrorInfo (state, severity, server).
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace oledb_standin {

struct ErrorData
{
    std::wstring sqlState;
    LONG native = 0;
    BYTE state = 1;
    BYTE severity = 16;
    std::wstring message;
    bool fromServer = true; // false: raised by the driver itself (no server error info)
};
typedef std::vector<ErrorData> ErrorList;

ErrorData ServerError(LONG native, BYTE severity, const wchar_t* sqlState, const std::wstring& message);
ErrorData DriverError(const wchar_t* sqlState, const std::wstring& message);
// SQL Server's follow-up record after a failed data change.
ErrorData StatementTerminated();

// Makes one error object with the records (each carrying hr and iid) the
// thread's error info and returns hr.
HRESULT PostErrors(HRESULT hr, REFIID iid, const ErrorList& errors, const std::wstring& server);
HRESULT PostError(HRESULT hr, REFIID iid, const ErrorData& error, const std::wstring& server);
// Clears the thread's error info: each method that may post starts with it.
void ClearErrors();

} // namespace oledb_standin
