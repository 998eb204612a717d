// The shared template key of the tests, kept as it was found.
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
