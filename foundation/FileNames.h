// Names that the file system and the registry take: texts from cases and
// accounts made into folder names and instance keys.
#pragma once
#include <windows.h>
#include "afxstr.h"

// The text with every character that a file name cannot hold (the
// separators among them, and the control characters) as "_".
CString FileNameText(LPCWSTR text);

// CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9 in any letter case, also
// before a dot ("nul.txt"): names the system takes for its devices.
bool IsDeviceName(const CString& name);

// A name as Windows keeps it: without trailing dots or blanks, never empty,
// "." or ".." ("_" in their place), never a device ("_" before it).
CString SafeFileName(CString name);
