#include "foundation/FileNames.h"
#include <wchar.h>

CString FileNameText(LPCWSTR text)
{
    CString out;
    for (LPCWSTR p = text ? text : L""; *p; ++p) {
        WCHAR c = *p;
        bool bad = c < 0x20 || (c >= 0x7F && c <= 0x9F) || wcschr(L"\\/:*?\"<>|", c) != NULL;
        out += bad ? L'_' : c;
    }
    return out;
}

bool IsDeviceName(const CString& name)
{
    int dot = name.Find(L'.');
    CString base = dot >= 0 ? name.Left(dot) : name;
    base.MakeUpper();
    if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL")
        return true;
    return base.GetLength() == 4 && (base.Left(3) == L"COM" || base.Left(3) == L"LPT") && base[3] >= L'1' &&
           base[3] <= L'9';
}

CString SafeFileName(CString name)
{
    int n = name.GetLength();
    while (n > 0 && (name[n - 1] == L'.' || name[n - 1] == L' '))
        --n;
    name = name.Left(n);
    if (name.IsEmpty())
        return L"_";
    if (IsDeviceName(name))
        return L"_" + name;
    return name;
}
