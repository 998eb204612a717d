// Identifiers of the program's resources.
#pragma once

#define IDR_MAINFRAME 128
