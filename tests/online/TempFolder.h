// A scratch folder with a Hungarian name below the temporary folder, removed
// with everything in it when the object goes.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <string>
#include "afxstr.h"

class CTempFolder
{
public:
    explicit CTempFolder(LPCWSTR name)
    {
        wchar_t temp[MAX_PATH] = {0};
        GetTempPathW(MAX_PATH, temp);
        m_path = CString(temp) + name + L"_árvíztűrő_tükörfúrógép\\";
        Remove();
        CreateDirectoryW(m_path, NULL);
    }
    ~CTempFolder() { Remove(); }

    const CString& Path() const { return m_path; }
    CString operator/(LPCWSTR file) const { return m_path + file; }

private:
    void Remove()
    {
        CString folder = m_path.Left(m_path.GetLength() - 1);
        std::wstring from(folder.GetString());
        from.push_back(L'\0');
        SHFILEOPSTRUCTW op = {};
        op.wFunc = FO_DELETE;
        op.pFrom = from.c_str();
        op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
        if (GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES) {
            SHFileOperationW(&op);
        }
    }

    CString m_path;
};
