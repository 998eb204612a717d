// Prepares a data folder of the test SQL server for a person trying the
// program by hand (tools/run.sh with FOLIONEX_STANDIN=1): the master, and
// the database "Folionex" with the case table, empty.
//   oledb_standin_setup.exe FOLDER
#include <stdio.h>
#include "TestSqlServer.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fwprintf(stderr, L"usage: oledb_standin_setup FOLDER\n");
        return 2;
    }
    oledb_standin::CTestSqlServer server(argv[1]);
    if (!server.CreateDatabase(L"Folionex") || !server.CreateCaseTable(L"Folionex")) {
        fwprintf(stderr, L"oledb_standin_setup: the database could not be made in %ls\n", argv[1]);
        return 1;
    }
    return 0;
}
