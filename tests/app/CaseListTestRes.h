// Resource ids of the case list tests.
#pragma once
#define IDD_CASELIST_TEST 9101
#define IDC_CASELIST 1005
