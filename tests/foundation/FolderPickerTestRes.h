// Resources of the folder picker test program.
#pragma once

// A dialog laid out as the shell's folder browser with its edit box: a
// line of text, the folder tree, the edit box, OK and Cancel.
#define IDD_PICKER_FIXTURE 4801
#define IDC_PICKER_TEXT 4802
#define IDC_PICKER_TREE 4803
#define IDC_PICKER_EDIT 4804
