// String table of the conversions test program.
#pragma once

#define IDS_CONVERSIONS_TEST 4711
