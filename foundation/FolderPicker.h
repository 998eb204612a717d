// BrowseForFolder: the shell's folder browser for choosing an existing
// file-system folder. It starts at a given folder, takes the caller's window
// title, is larger than the shell makes it and keeps OK disabled for
// anything that is not an existing folder (virtual items, shortcuts).
// COM must be initialised on the calling thread.
#pragma once
#include <windows.h>

// initial: null, a path (any value above 0xFFFF; at most 518 characters are
//          taken), or a special-folder number (CSIDL) in the low word with
//          the create flag of SHGetSpecialFolderPathW in the high word.
// root:    a special-folder number whose item is the browser's root; -1 for
//          the desktop. With no initial folder and the desktop as root the
//          browser starts at the current directory.
// title:   the browser's window title; null or empty: the shell's own.
// buffer:  receives the chosen path, at most length - 1 characters; it is
//          cleared first. A null buffer or a length below 260 returns false
//          at once, without showing anything.
// editBox: shows the browser's edit box in which a folder name can be typed.
// True when a folder was chosen.
bool BrowseForFolder(HWND owner, LPCWSTR initial, int root, LPCWSTR title, LPWSTR buffer, int length,
                     bool editBox);

// The browser's callback (lpData: the BrowseForFolder call's state): on
// BFFM_INITIALIZED removes the context-help button, selects the initial
// folder, sets the title and re-lays the window; on BFFM_SELCHANGED disables
// OK for an item that is not an existing folder or is a shortcut.
int CALLBACK BrowseForFolderCallback(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData);

// Makes the browser 80 pixels wider and taller (with the edit box, its height
// + 85 taller) and lays out the tree, the edit box and the buttons in it:
// Cancel 10 from the right and bottom edges, OK 10 left of Cancel, the tree
// above them. An edit box that was not asked for goes off-screen, hidden.
void BrowseForFolderRelayout(HWND hwnd, bool editBox, bool newDialogStyle = false);
