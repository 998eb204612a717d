// Driving the import wizard's grid as a user does, for the tests that open
// the wizard (its own and the main window's): a column's header caption, a
// click on the header, and a column typed through the column dialog.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include "exchange/ImportTable.h"
#include "resources/resource.h"
#include "support/WindowDriver.h"

namespace import_wizard_driving {

inline CString HeaderText(HWND grid, int column)
{
    wchar_t buf[128] = {0};
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT;
    col.pszText = buf;
    col.cchTextMax = 128;
    SendMessageW(grid, LVM_GETCOLUMNW, column, (LPARAM)&col);
    return buf;
}

// A mouse click on a column's header, as the user gives it.
inline void ClickHeader(HWND grid, int column)
{
    HWND header = (HWND)SendMessageW(grid, LVM_GETHEADER, 0, 0);
    RECT rc = {};
    SendMessageW(header, HDM_GETITEMRECT, column, (LPARAM)&rc);
    testing_support::PostMouseClick(header, POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2});
}

// Types a column through its header and the column dialog; 0: not imported.
inline void TypeColumn(HWND grid, int column, int type)
{
    using namespace testing_support;
    ClickHeader(grid, column);
    HWND dlg = WaitForWindow(L"#32770", L"Importálandó oszlop adattípusának megadása");
    ASSERT_TRUE(dlg);
    HWND list = Control(dlg, IDC_IMPCOL_TYPES);
    if (type == 0) {
        Click(Control(dlg, IDC_IMPCOL_SKIP));
    } else {
        int count = (int)SendMessageW(list, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < count; ++i)
            if ((int)SendMessageW(list, LB_GETITEMDATA, i, 0) == type)
                SendMessageW(list, LB_SETCURSEL, i, 0);
    }
    ClickId(dlg, IDOK);
    ASSERT_TRUE(WaitForWindowGone(dlg));
    const ImportColumnType* t = FindImportColumnType(type);
    CString caption = t ? CString(t->label) : CString(L"nem importál");
    ASSERT_TRUE(WaitUntil([&] { return HeaderText(grid, column) == caption; }));
}

} // namespace import_wizard_driving
