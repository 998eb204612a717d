// CWindowMetrics: the main window's placement and the widths of the first
// six list columns, stored per instance in the profile section
// "<instance>\Metrics" when the program exits and applied at the next start.
// A plain object made on the stack for each use.
#pragma once
#include <windows.h>
#include "afxstr.h"

class CWnd;

class CWindowMetrics
{
public:
    enum State
    {
        kNothingStored = 0,
        kMaximized = 1,
        kRectValid = 2
    };
    static const int kMaximizedMarker = -9999;

    CWindowMetrics();

    // Fills the state and the rectangle from the profile; a stored rectangle
    // that would lie (almost) off the nearest monitor's work area is moved
    // back against that edge.
    bool Load();
    // Stores the application's main window and the widths of its list
    // (control 1005). lastNormal is the screen rectangle the window last had
    // while neither minimised nor maximised, or NULL when none was seen.
    void Save(const RECT* lastNormal = NULL);
    // Applies the six stored widths to the list when every one is at least 1.
    bool LoadColumnWidths(CWnd* list);

    // The rule of Load for a rectangle and a work area, keeping the size.
    static RECT PullOntoWorkArea(const RECT& rect, const RECT& work);

    // What Save stores for a window: true for the maximised marker,
    // otherwise false with the rectangle in *out, in screen coordinates. A
    // minimised window stores the rectangle it last had in its normal state;
    // the placement's own normal position (in workspace coordinates, shifted
    // by a taskbar at the top or left) is only the fallback when no normal
    // rectangle was seen.
    static bool ChooseSavedRect(bool iconic, const WINDOWPLACEMENT& wp, const RECT* lastNormal,
                                const RECT& window, RECT* out);

    RECT m_rect;
    int m_nState;
    int m_columnWidths[6];

private:
    static CString Section();
};
