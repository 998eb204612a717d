// Fixtures of the template and Word tests: the shared template key kept as
// it was found, and the log's lines.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "afxstr.h"

// Saves the values of the template key (or that it is missing) and empties
// it; puts back exactly what was there when it goes.
class CSablonKeyGuard
{
public:
    CSablonKeyGuard();
    ~CSablonKeyGuard();
    CSablonKeyGuard(const CSablonKeyGuard&) = delete;
    CSablonKeyGuard& operator=(const CSablonKeyGuard&) = delete;

    // Writes a value as it is given (data of any size, no terminator added).
    void SetRaw(LPCWSTR name, const void* data, DWORD bytes, DWORD type = REG_SZ);
    void SetText(LPCWSTR name, LPCWSTR text); // with its terminator
    // Whether the value exists; its data and byte count when asked.
    bool Get(LPCWSTR name, std::wstring* data = NULL, DWORD* bytes = NULL);
    int ValueCount();
    void DeleteKey();

private:
    struct Value
    {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    bool m_existed;
    std::vector<Value> m_saved;
};

// The texts of a log file's lines after their time stamps.
std::vector<std::wstring> LogTexts(const CString& path);
