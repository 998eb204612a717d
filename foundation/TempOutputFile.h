// CTempOutputFile: a file written under a temporary name in the folder of
// its destination, which replaces the destination only when it is complete.
// The temporary file is made new ("~fnx", eight hexadecimal digits, ".tmp",
// created only where no file of that name exists, so no other file of the
// folder is ever opened); a destination path of the length limit or longer
// is taken in its extended-length form. Commit moves the file into place;
// otherwise the destructor removes it.
#pragma once
#include <windows.h>
#include "afxstr.h"

class CTempOutputFile
{
public:
    explicit CTempOutputFile(LPCWSTR destination);
    ~CTempOutputFile();
    // The temporary path; empty when none could be made (the system's error
    // then in Error()).
    const CString& Path() const { return m_temp; }
    DWORD Error() const { return m_error; }
    // Replaces the destination; false when the move failed (the temporary
    // file is removed by the destructor, the system's error is the last one).
    bool Commit();

private:
    CTempOutputFile(const CTempOutputFile&) = delete;
    CTempOutputFile& operator=(const CTempOutputFile&) = delete;
    CString m_destination;
    CString m_temp;
    DWORD m_error;
};
