// XMessageBox: the program's own message box. It is built at run time from a
// dialog template in memory (CXDialogTemplate) and runs in a modal loop of its
// own on the calling thread. Beyond the standard box it offers button captions
// of the caller's choosing, a check box against asking again whose state comes
// back as a bit of the answer, a time-out that presses the default button, a
// lock that keeps the buttons disabled for some seconds, Help and Report
// buttons, and copying of the whole box to the clipboard with Ctrl+C.
//
// Style: the low bits keep the meaning of the standard flags (button set
// 0xF, icon 0xF0, default button 0xF00, MB_SYSTEMMODAL, MB_HELP, MB_TOPMOST);
// the high bits below add the rest.
//
// Answer: the control id of the button that ended the box, plus the style's
// check-box bit when the box was ticked and the box did not end through
// Cancel, plus XMB_TIMEDOUT when the time-out pressed the default button.
// -1 when the box could not be shown (the window could not be created, or a
// WM_QUIT arrived while it was up): callers must treat -1 as Cancel, with no
// check-box consequence (-1 has every bit set). 2 when no memory was left for
// the template.
#pragma once
#include <windows.h>
#include "afxstr.h"

// Button sets beyond the standard ones (style & 0xF).
#define XMB_CONTINUEABORT           0x00000007L  // Continue, Abort
#define XMB_SKIPSKIPALLCANCEL       0x00000008L  // Skip, Skip all, Cancel
#define XMB_IGNOREIGNOREALLCANCEL   0x00000009L  // Ignore, Ignore all, Cancel
// Default button five and six (style & 0xF00).
#define XMB_DEFBUTTON5              0x00000400L
#define XMB_DEFBUTTON6              0x00000500L
// The check box; only one is shown, the lowest bit set wins.
#define XMB_CHECK_DONTASK           0x01000000L  // "Ne kérdezze többet!"
#define XMB_CHECK_DONTWARN          0x02000000L  // "Ne figyelmeztessen többet!"
#define XMB_CHECK_DONTSHOW          0x04000000L  // "Ne mutassa többet ezt az üzenetet!"
#define XMB_CHECK_MASK              0x07000000L
// Yes to all after Yes, No to all after No (button sets 3 and 4 only).
#define XMB_YESTOALL                0x08000000L
#define XMB_NOTOALL                 0x10000000L
// The button captions are not looked up in the string table.
#define XMB_NOSTRINGTABLE           0x20000000L
#define XMB_NOSOUND                 0x40000000L
// Added to the answer when the time-out pressed the default button.
#define XMB_TIMEDOUT                0x80000000L

// Control ids (and answers) beyond the standard IDOK .. IDCONTINUE.
#define XMB_IDSKIP                  14
#define XMB_IDSKIPALL               15
#define XMB_IDIGNOREALL             16
#define XMB_IDYESTOALL              19
#define XMB_IDNOTOALL               20
#define XMB_IDCUSTOM1               23  // custom buttons: 23, 24, 25, 26
#define XMB_MAXCUSTOMBUTTONS        4
#define XMB_IDHELP                  300
#define XMB_IDREPORT                301
#define XMB_IDICON                  1000
#define XMB_IDMESSAGE               1001
#define XMB_IDCHECKBOX              5555

// Option bits of XMessageBoxParams::dwOptions.
#define XMB_OPT_RIGHTBUTTONS        0x1  // buttons aligned to the right
#define XMB_OPT_BAND                0x2  // text on a band; also aligns the buttons to the right
#define XMB_OPT_NARROW              0x4  // text at most a third of the screen wide

#define XMB_COLOR_NONE              ((COLORREF)-1)

// The caption table: its order is also the order of the own captions of
// XMessageBoxParams.
enum XMessageBoxCaption
{
    XMB_CAP_ABORT,       // "&Megszakít"                          Abort (3)
    XMB_CAP_CANCEL,      // "Elvet"                               Cancel (2)
    XMB_CAP_CONTINUE,    // "&Tovább"                             Continue (11)
    XMB_CAP_DONTASK,     // "Ne kérdezze többet!"                 check box
    XMB_CAP_DONTWARN,    // "Ne figyelmeztessen többet!"          check box
    XMB_CAP_DONTSHOW,    // "Ne mutassa többet ezt az üzenetet!"  check box
    XMB_CAP_HELP,        // "&Súgó"                               Help (300)
    XMB_CAP_IGNORE,      // "&Figyelmenkívül hagy"                Ignore (5)
    XMB_CAP_IGNOREALL,   // "Mindent figyelmenkívül hag&y"        Ignore all (16)
    XMB_CAP_NO,          // "&Nem"                                No (7)
    XMB_CAP_NOTOALL,     // "Minden&re nem"                       No to all (20)
    XMB_CAP_OK,          // "OK"                                  OK (1)
    XMB_CAP_REPORT,      // "Rep&ort"                             Report (301)
    XMB_CAP_RETRY,       // "Ú&jra"                               Retry (4)
    XMB_CAP_SKIP,        // "&Kihagy"                             Skip (14)
    XMB_CAP_SKIPALL,     // "Kihagy min&dent"                     Skip all (15)
    XMB_CAP_TRYAGAIN,    // "&Próbáld újra"                       Try again (10)
    XMB_CAP_YES,         // "&Igen"                               Yes (6)
    XMB_CAP_YESTOALL,    // "I&gen mindenre"                      Yes to all (19)
    XMB_CAPTION_COUNT
};

// A caption in the box holds at most this many characters; longer own
// captions are cut.
#define XMB_MAXCAPTION              99
#define XMB_MAXTEXT                 MAX_PATH  // the text fields of XMessageBoxParams

// Called by the Report button with the message text and the report data.
typedef void (CALLBACK* XMessageBoxReportProc)(LPCWSTR text, DWORD data);

// The optional parameter block; XMessageBox works on its own copy.
struct XMessageBoxParams
{
    // Every number, pointer and flag 0, both colours XMB_COLOR_NONE, every text empty.
    XMessageBoxParams();

    int nHelpContextId;                 // 0: none
    int nTimeoutSeconds;                // 0: none; 1000 or more count as 10
    int nDisabledSeconds;               // 0: none; 1000 or more count as 10
    int x;                              // screen position of the top-left corner;
    int y;                              //   both 0: centred on the owner
    DWORD dwOptions;                    // XMB_OPT_*
    HINSTANCE hStringModule;            // string table of string ids; null: the program
    HINSTANCE hIconModule;              // null: the program
    int nIconId;                        // 0: none
    wchar_t szIconName[XMB_MAXTEXT];
    int nCustomCaptionsId;
    wchar_t szCustomCaptions[XMB_MAXTEXT];   // up to four captions separated by "\n"
    int nReportCaptionId;
    wchar_t szReportCaption[XMB_MAXTEXT];
    wchar_t szCompanyName[XMB_MAXTEXT];      // key of remembered answers
    LPCWSTR pszModuleName;              // value name of remembered answers (the caller owns it); null: none
    int nLineNumber;                    // value name of remembered answers
    DWORD dwReportData;                 // handed to pfnReport
    XMessageBoxReportProc pfnReport;    // null: no Report button
    COLORREF crText;                    // message text; XMB_COLOR_NONE: system window-text colour
    COLORREF crBackground;              // message background; XMB_COLOR_NONE: none
    int bUseOwnCaptions;                // szOwnCaptions replace the captions of the table
    wchar_t szOwnCaptions[XMB_CAPTION_COUNT][XMB_MAXTEXT];  // by XMessageBoxCaption; empty: default
};

// Shows the box and returns the answer (see above). hOwner null: the active
// window's last active popup, or no owner. lpszText and lpszCaption are texts,
// or string ids (MAKEINTRESOURCEW) loaded from the string module; a null
// caption gives "Error".
int XMessageBox(HWND hOwner, LPCWSTR lpszText, LPCWSTR lpszCaption = NULL, UINT nStyle = MB_OK,
                const XMessageBoxParams* pParams = NULL);

// The answer remembered for this company, module name and line number, or 0.
int XMessageBoxReadAnswer(LPCWSTR lpszCompany, LPCWSTR lpszModule, int nLine);

// A module name turned into a registry value name (the name itself is left as it is).
CString XMessageBoxEncodeName(LPCWSTR lpszName);
