// The message box's layout: captions, measures, the controls in pixels and
// dialog units, and the serialised template.
#include "foundation/XDialogTemplate.h"
#include "resource.h"
#include <new>
#include <string.h>
#include <wchar.h>

namespace {

struct CaptionDef
{
    UINT nStringId;
    LPCWSTR pszDefault;
};

// In the order of XMessageBoxCaption.
const CaptionDef kCaptions[XMB_CAPTION_COUNT] = {
    { IDS_XMB_ABORT,     L"&Megszakít" },
    { IDS_XMB_CANCEL,    L"Elvet" },
    { IDS_XMB_CONTINUE,  L"&Tovább" },
    { IDS_XMB_DONTASK,   L"Ne kérdezze többet!" },
    { IDS_XMB_DONTWARN,  L"Ne figyelmeztessen többet!" },
    { IDS_XMB_DONTSHOW,  L"Ne mutassa többet ezt az üzenetet!" },
    { IDS_XMB_HELP,      L"&Súgó" },
    { IDS_XMB_IGNORE,    L"&Figyelmenkívül hagy" },
    { IDS_XMB_IGNOREALL, L"Mindent figyelmenkívül hag&y" },
    { IDS_XMB_NO,        L"&Nem" },
    { IDS_XMB_NOTOALL,   L"Minden&re nem" },
    { IDS_XMB_OK,        L"OK" },
    { IDS_XMB_REPORT,    L"Rep&ort" },
    { IDS_XMB_RETRY,     L"Ú&jra" },
    { IDS_XMB_SKIP,      L"&Kihagy" },
    { IDS_XMB_SKIPALL,   L"Kihagy min&dent" },
    { IDS_XMB_TRYAGAIN,  L"&Próbáld újra" },
    { IDS_XMB_YES,       L"&Igen" },
    { IDS_XMB_YESTOALL,  L"I&gen mindenre" },
};

// Structure size of the non-client metrics without the padded border
// width, which every version of the system accepts.
const UINT kNonClientMetricsSize = 500;
static_assert(kNonClientMetricsSize <= sizeof(NONCLIENTMETRICSW), "NONCLIENTMETRICSW too small");

// One button of the row: a caption table entry or a custom caption.
struct PlannedButton
{
    int nCaption;    // table entry, or -1 for custom
    int nCustom;     // index of the custom caption
    WORD nId;
};

void CopyCut(wchar_t* dst, LPCWSTR src, size_t maxChars, size_t srcRoom)
{
    size_t n = src ? wcsnlen(src, srcRoom) : 0;
    if (n > maxChars)
        n = maxChars;
    wmemcpy(dst, src, n);
    dst[n] = 0;
}

// The button set's buttons from left to right, with the Yes-to-all and
// No-to-all buttons where asked; the number of buttons.
int ButtonSet(UINT nStyle, PlannedButton* out)
{
    int n = 0;
    auto add = [&](int caption, WORD id) { out[n].nCaption = caption; out[n].nCustom = 0; out[n].nId = id; ++n; };
    switch (nStyle & 0xF) {
    case MB_OKCANCEL:
        add(XMB_CAP_OK, IDOK);
        add(XMB_CAP_CANCEL, IDCANCEL);
        break;
    case MB_ABORTRETRYIGNORE:
        add(XMB_CAP_ABORT, IDABORT);
        add(XMB_CAP_RETRY, IDRETRY);
        add(XMB_CAP_IGNORE, IDIGNORE);
        break;
    case MB_YESNOCANCEL:
    case MB_YESNO:
        add(XMB_CAP_YES, IDYES);
        if (nStyle & XMB_YESTOALL)
            add(XMB_CAP_YESTOALL, XMB_IDYESTOALL);
        add(XMB_CAP_NO, IDNO);
        if (nStyle & XMB_NOTOALL)
            add(XMB_CAP_NOTOALL, XMB_IDNOTOALL);
        if ((nStyle & 0xF) == MB_YESNOCANCEL)
            add(XMB_CAP_CANCEL, IDCANCEL);
        break;
    case MB_RETRYCANCEL:
        add(XMB_CAP_RETRY, IDRETRY);
        add(XMB_CAP_CANCEL, IDCANCEL);
        break;
    case MB_CANCELTRYCONTINUE:
        add(XMB_CAP_CANCEL, IDCANCEL);
        add(XMB_CAP_TRYAGAIN, IDTRYAGAIN);
        add(XMB_CAP_CONTINUE, IDCONTINUE);
        break;
    case XMB_CONTINUEABORT:
        add(XMB_CAP_CONTINUE, IDCONTINUE);
        add(XMB_CAP_ABORT, IDABORT);
        break;
    case XMB_SKIPSKIPALLCANCEL:
        add(XMB_CAP_SKIP, XMB_IDSKIP);
        add(XMB_CAP_SKIPALL, XMB_IDSKIPALL);
        add(XMB_CAP_CANCEL, IDCANCEL);
        break;
    case XMB_IGNOREIGNOREALLCANCEL:
        add(XMB_CAP_IGNORE, IDIGNORE);
        add(XMB_CAP_IGNOREALL, XMB_IDIGNOREALL);
        add(XMB_CAP_CANCEL, IDCANCEL);
        break;
    default:  // MB_OK, and the sets no caller uses
        add(XMB_CAP_OK, IDOK);
        break;
    }
    return n;
}

int BoxFlagsOfSet(UINT nStyle)
{
    switch (nStyle & 0xF) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL:
    case MB_CANCELTRYCONTINUE:
    case XMB_SKIPSKIPALLCANCEL:
    case XMB_IGNOREIGNOREALLCANCEL:
        return CXDialogTemplate::kHasCancel;
    case MB_ABORTRETRYIGNORE:
    case MB_YESNO:
    case XMB_CONTINUEABORT:
        return 0;
    default:
        return CXDialogTemplate::kOkOnly;
    }
}

int DefaultIndexOfStyle(UINT nStyle)
{
    switch (nStyle & 0xF00) {
    case 0x100: return 2;
    case 0x200: return 3;
    case 0x300: return 4;
    case 0x400: return 5;
    case 0x500: return 6;
    default: return 1;
    }
}

} // namespace

CXDialogTemplate::CXDialogTemplate(HWND hOwner, LPCWSTR lpszText, LPCWSTR lpszCaption, UINT nStyle,
                                   const XMessageBoxParams& params)
    : m_nItemCount(0), m_pfnReport(NULL), m_dwReportData(0), m_nFlags(0), m_nButtonCount(0),
      m_nDefaultIndex(1), m_nTimeoutSeconds(0), m_nDisabledSeconds(0), m_nX(0), m_nY(0), m_nAnswer(-1),
      m_bEnded(false), m_nLineNumber(0), m_nHelpContextId(0), m_pszModuleName(NULL), m_hOwner(hOwner),
      m_nStyle(nStyle), m_nMessageId(0), m_nDefaultId(IDOK), m_nNextStaticId(XMB_IDMESSAGE),
      m_bCaptionSaved(false), m_pfnOldIconProc(NULL), m_bRightButtons(false), m_bBand(false), m_bNarrow(false),
      m_hStringModule(NULL), m_hIconModule(NULL), m_nBaseX(8), m_nBaseY(16), m_nMinButtonWidth(0),
      m_nTimeoutExtra(0), m_nButtonHeight(0), m_nCheckBoxHeight(0), m_nLineHeight(0), m_nCheckBoxWidth(0),
      m_hIcon(NULL), m_hFont(NULL), m_crText(XMB_COLOR_NONE), m_crBackground(XMB_COLOR_NONE),
      m_hBackgroundBrush(NULL), m_dwDialogStyle(0), m_cx(0), m_cy(0), m_nCustomCount(0)
{
    memset(m_pItems, 0, sizeof(m_pItems));
    m_szSavedCaption[0] = 0;
    memset(m_szCaptions, 0, sizeof(m_szCaptions));
    memset(m_nCaptionWidth, 0, sizeof(m_nCaptionWidth));
    memset(m_nCustomWidth, 0, sizeof(m_nCustomWidth));
    SetRectEmpty(&m_rcMessage);
    SetRectEmpty(&m_rcDialog);

    // 1. What the parameter block gives.
    m_pfnReport = params.pfnReport;
    m_dwReportData = params.dwReportData;
    m_nHelpContextId = params.nHelpContextId;
    m_nTimeoutSeconds = params.nTimeoutSeconds;
    m_nDisabledSeconds = params.nDisabledSeconds;
    m_nX = params.x;
    m_nY = params.y;
    m_bBand = (params.dwOptions & XMB_OPT_BAND) != 0;
    m_bRightButtons = m_bBand || (params.dwOptions & XMB_OPT_RIGHTBUTTONS) != 0;
    m_bNarrow = (params.dwOptions & XMB_OPT_NARROW) != 0;
    m_hStringModule = params.hStringModule ? params.hStringModule : GetModuleHandleW(NULL);
    m_hIconModule = params.hIconModule ? params.hIconModule : GetModuleHandleW(NULL);
    m_nLineNumber = params.nLineNumber;
    m_pszModuleName = params.pszModuleName;
    m_crText = params.crText;
    m_crBackground = params.crBackground;
    if (m_bBand && m_crBackground == XMB_COLOR_NONE)
        m_crBackground = GetSysColor(COLOR_WINDOW);
    if (m_crBackground != XMB_COLOR_NONE)
        m_hBackgroundBrush = CreateSolidBrush(m_crBackground);

    // 2. The default button and what the button set allows.
    m_nDefaultIndex = DefaultIndexOfStyle(nStyle);
    if (nStyle & XMB_CHECK_DONTASK)
        m_nFlags |= kCheckDontAsk;
    else if (nStyle & XMB_CHECK_DONTWARN)
        m_nFlags |= kCheckDontWarn;
    else if (nStyle & XMB_CHECK_DONTSHOW)
        m_nFlags |= kCheckDontShow;

    // 3. Texts.
    m_strCompanyName = CString(params.szCompanyName, (int)wcsnlen(params.szCompanyName, XMB_MAXTEXT));
    m_strText = LoadText(lpszText);
    m_strCaption = LoadText(lpszCaption);

    // 4. Custom captions, and the Report caption the caller gave.
    wchar_t buf[XMB_MAXTEXT];
    if (params.nCustomCaptionsId != 0 && LoadStringW(m_hStringModule, params.nCustomCaptionsId, buf, XMB_MAXTEXT) > 0)
        m_strCustomCaptions = buf;
    else
        m_strCustomCaptions = CString(params.szCustomCaptions, (int)wcsnlen(params.szCustomCaptions, XMB_MAXTEXT));
    if (!m_strCustomCaptions.IsEmpty()) {
        int start = 0;
        while (m_nCustomCount < XMB_MAXCUSTOMBUTTONS && start <= m_strCustomCaptions.GetLength()) {
            int lf = m_strCustomCaptions.Find(L'\n', start);
            if (lf < 0) {
                // A final line feed makes no empty button.
                if (start < m_strCustomCaptions.GetLength())
                    m_strCustom[m_nCustomCount++] = m_strCustomCaptions.Mid(start);
                break;
            }
            m_strCustom[m_nCustomCount++] = m_strCustomCaptions.Mid(start, lf - start);
            start = lf + 1;
        }
    }
    if (m_nCustomCount == 0)
        m_nFlags |= BoxFlagsOfSet(nStyle);

    bool reportGiven = false;
    wchar_t report[XMB_MAXCAPTION + 1] = { 0 };
    if (params.nReportCaptionId != 0 &&
        LoadStringW(m_hStringModule, params.nReportCaptionId, report, XMB_MAXCAPTION + 1) > 0) {
        reportGiven = true;
    } else if (params.szReportCaption[0]) {
        CopyCut(report, params.szReportCaption, XMB_MAXCAPTION, XMB_MAXTEXT);
        reportGiven = true;
    }

    // 5. The caption table.
    LoadCaptions(params, reportGiven);
    if (reportGiven)
        wcscpy(m_szCaptions[XMB_CAP_REPORT], report);

    // 6. The message font on the display.
    LONG units = GetDialogBaseUnits();
    m_nBaseX = LOWORD(units);
    m_nBaseY = HIWORD(units);
    m_nMinButtonWidth = MulDiv(38, m_nBaseX, 4);
    m_nButtonHeight = MulDiv(12, m_nBaseY, 8);
    m_nTimeoutExtra = MulDiv(13, m_nBaseX, 4);
    m_nCheckBoxHeight = MulDiv(10, m_nBaseY, 8);
    if (m_bBand) {
        m_nMinButtonWidth += MulDiv(6, m_nBaseX, 4);
        m_nButtonHeight += MulDiv(1, m_nBaseY, 8);
    }
    HDC hdc = CreateDCW(L"DISPLAY", NULL, NULL, NULL);
    NONCLIENTMETRICSW ncm;
    memset(&ncm, 0, sizeof(ncm));
    ncm.cbSize = kNonClientMetricsSize;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSize, &ncm, 0))
        m_hFont = CreateFontIndirectW(&ncm.lfMessageFont);
    HGDIOBJ oldFont = (hdc && m_hFont) ? SelectObject(hdc, m_hFont) : NULL;

    // 7. Every caption as a button.
    for (int i = 0; i < XMB_CAPTION_COUNT; ++i)
        m_nCaptionWidth[i] = MeasureButton(hdc, m_szCaptions[i]);
    for (int i = 0; i < m_nCustomCount; ++i)
        m_nCustomWidth[i] = MeasureButton(hdc, m_strCustom[i]);

    // 8. The message text.
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int maxWidth = m_bBand ? screenWidth / 2 - 10 : screenWidth / 2 + 80;
    if (m_bNarrow)
        maxWidth = screenWidth / 3;
    if (nStyle & MB_ICONMASK)
        maxWidth -= 16 + GetSystemMetrics(SM_CXICON);
    const UINT measure = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;
    RECT rcText = { 0, 0, maxWidth, maxWidth };
    RECT rcLine = { 0, 0, maxWidth, maxWidth };
    if (hdc) {
        DrawTextW(hdc, m_strText, -1, &rcText, measure);
        DrawTextW(hdc, L"My", -1, &rcLine, measure);
    }
    int w = rcText.right - rcText.left;
    int h = rcText.bottom - rcText.top;
    m_nLineHeight = rcLine.bottom - rcLine.top;
    SetRect(&m_rcMessage, 16, m_bBand ? 32 : 16, w + 28, m_bBand ? h + 61 : h + 29);
    int height = m_rcMessage.bottom - m_rcMessage.top + 16;
    if (height < 70)
        height = 70;
    SetRect(&m_rcDialog, 0, 0, w + 28, height);
    if (m_bBand)
        m_rcDialog.right += 16;
    m_dwDialogStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER;
    if (nStyle & MB_SYSTEMMODAL)
        m_dwDialogStyle |= DS_SYSMODAL;

    // 9. The icon.
    LoadBoxIcon(params);
    if (m_hIcon) {
        int s = m_bBand ? 24 : 8;
        int iconWidth = GetSystemMetrics(SM_CXICON);
        int iconHeight = GetSystemMetrics(SM_CYICON);
        OffsetRect(&m_rcMessage, s + iconWidth, 0);
        m_rcDialog.right = m_rcMessage.right + s;
        RECT rcIcon = { s, s, s + 2 + iconWidth, s + 2 + iconHeight };
        AddItem(CXDialogItem::kStatic, XMB_IDICON, rcIcon, L"");
        if (m_bBand && h > m_nLineHeight)
            OffsetRect(&m_rcMessage, 0, rcIcon.top - m_rcMessage.top);
    }

    // 10. The message text control; '&' is shown as it is, as it was measured.
    m_nMessageId = m_nNextStaticId++;
    AddItem(CXDialogItem::kStatic, (WORD)m_nMessageId, m_rcMessage, m_strText);
    if (m_nItemCount > 0 && m_pItems[m_nItemCount - 1] && m_pItems[m_nItemCount - 1]->m_nId == m_nMessageId)
        m_pItems[m_nItemCount - 1]->m_dwStyle |= SS_NOPREFIX;

    // 11. The button row.
    PlannedButton row[XMB_MAXCUSTOMBUTTONS + 8];
    int n = 0;
    if (m_nCustomCount > 0) {
        for (int i = 0; i < m_nCustomCount; ++i) {
            row[n].nCaption = -1;
            row[n].nCustom = i;
            row[n].nId = (WORD)(XMB_IDCUSTOM1 + i);
            ++n;
        }
    } else {
        n = ButtonSet(nStyle, row);
    }
    if (nStyle & MB_HELP) {
        row[n].nCaption = XMB_CAP_HELP;
        row[n].nCustom = 0;
        row[n].nId = XMB_IDHELP;
        ++n;
    }
    if (m_pfnReport) {
        row[n].nCaption = XMB_CAP_REPORT;
        row[n].nCustom = 0;
        row[n].nId = XMB_IDREPORT;
        ++n;
    }
    if (m_nDefaultIndex > n)
        m_nDefaultIndex = 1;
    int rowWidth = 0;
    for (int i = 0; i < n; ++i)
        rowWidth += row[i].nCaption >= 0 ? m_nCaptionWidth[row[i].nCaption] : m_nCustomWidth[row[i].nCustom];
    rowWidth += 6 * (n - 1);

    if (m_rcDialog.bottom < m_rcMessage.bottom)
        m_rcDialog.bottom = m_rcMessage.bottom;
    int y = m_rcDialog.bottom + ((m_hIcon || m_hBackgroundBrush) ? 14 : 5);
    int checkCaption = -1;
    if (m_nFlags & kCheckDontAsk)
        checkCaption = XMB_CAP_DONTASK;
    else if (m_nFlags & kCheckDontWarn)
        checkCaption = XMB_CAP_DONTWARN;
    else if (m_nFlags & kCheckDontShow)
        checkCaption = XMB_CAP_DONTSHOW;
    if (checkCaption >= 0)
        m_nCheckBoxWidth = m_nCaptionWidth[checkCaption] + m_nCheckBoxHeight;
    m_rcDialog.bottom = y + m_nButtonHeight + 12;
    int width = m_rcDialog.right - m_rcDialog.left;
    if (width < rowWidth + 32)
        width = rowWidth + 32;
    if (width < m_nCheckBoxWidth)
        width = m_nCheckBoxWidth + 16;
    m_rcDialog.right = m_rcDialog.left + width;
    int x = m_bRightButtons ? width - rowWidth - 16 : (width - rowWidth) / 2;
    for (int i = 0; i < n; ++i) {
        if (row[i].nCaption >= 0)
            x += AddButton(row[i].nCaption, row[i].nId, x, y);
        else
            x += AddButton(m_strCustom[row[i].nCustom], m_nCustomWidth[row[i].nCustom], row[i].nId, x, y);
    }

    // 12. The check box.
    if (checkCaption >= 0)
        AddCheckBox(17, y + m_nButtonHeight + 12, m_rcDialog, m_szCaptions[checkCaption]);

    // 13. The dialog's size in dialog units.
    short dx, dy;
    ToDialogUnits(m_rcDialog, dx, dy, m_cx, m_cy);
    if (hdc) {
        if (oldFont)
            SelectObject(hdc, oldFont);
        DeleteDC(hdc);
    }
}

CXDialogTemplate::~CXDialogTemplate()
{
    if (m_hIcon)
        DestroyIcon(m_hIcon);
    if (m_hFont)
        DeleteObject(m_hFont);
    if (m_hBackgroundBrush)
        DeleteObject(m_hBackgroundBrush);
    for (int i = 0; i < m_nItemCount; ++i)
        delete m_pItems[i];
}

CString CXDialogTemplate::LoadText(LPCWSTR lpszTextOrId) const
{
    if (IS_INTRESOURCE(lpszTextOrId)) {
        // A string id; a missing string gives an empty text.
        const wchar_t* res = NULL;
        int len = LoadStringW(m_hStringModule, (UINT)(ULONG_PTR)lpszTextOrId, (LPWSTR)&res, 0);
        if (len <= 0 || !res)
            return CString();
        if (len > kMaxTextLength)
            len = kMaxTextLength;
        return CString(res, len);
    }
    size_t len = wcsnlen(lpszTextOrId, kMaxTextLength);
    return CString(lpszTextOrId, (int)len);
}

void CXDialogTemplate::LoadCaptions(const XMessageBoxParams& params, bool bReportGiven)
{
    for (int i = 0; i < XMB_CAPTION_COUNT; ++i)
        CopyCut(m_szCaptions[i], kCaptions[i].pszDefault, XMB_MAXCAPTION, XMB_MAXCAPTION + 1);
    if (params.bUseOwnCaptions) {
        // An own caption longer than an entry holds is cut to fit.
        for (int i = 0; i < XMB_CAPTION_COUNT; ++i) {
            if (i != XMB_CAP_REPORT && params.szOwnCaptions[i][0])
                CopyCut(m_szCaptions[i], params.szOwnCaptions[i], XMB_MAXCAPTION, XMB_MAXTEXT);
        }
    } else if (!(m_nStyle & XMB_NOSTRINGTABLE)) {
        for (int i = 0; i < XMB_CAPTION_COUNT; ++i) {
            if (i == XMB_CAP_REPORT && bReportGiven)
                continue;
            wchar_t buf[XMB_MAXCAPTION + 1];
            if (LoadStringW(m_hStringModule, kCaptions[i].nStringId, buf, XMB_MAXCAPTION + 1) > 0)
                wcscpy(m_szCaptions[i], buf);
        }
    }
}

void CXDialogTemplate::LoadBoxIcon(const XMessageBoxParams& params)
{
    if (params.nIconId != 0) {
        m_hIcon = (HICON)LoadImageW(m_hIconModule, MAKEINTRESOURCEW(params.nIconId), IMAGE_ICON, 0, 0,
                                    LR_DEFAULTSIZE);
        return;
    }
    if (params.szIconName[0]) {
        wchar_t name[XMB_MAXTEXT];
        CopyCut(name, params.szIconName, XMB_MAXTEXT - 1, XMB_MAXTEXT);
        m_hIcon = (HICON)LoadImageW(m_hIconModule, name, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE);
        return;
    }
    LPCWSTR system = NULL;
    switch (m_nStyle & MB_ICONMASK) {
    case 0:
        return;
    case MB_ICONHAND:
        system = IDI_HAND;
        break;
    case MB_ICONQUESTION:
        system = IDI_QUESTION;
        break;
    case MB_ICONASTERISK:
        system = IDI_ASTERISK;
        break;
    default:
        system = IDI_EXCLAMATION;
        break;
    }
    // A copy, so that the box owns (and destroys) every icon it shows.
    HICON shared = ::LoadIconW(NULL, system);
    if (shared)
        m_hIcon = CopyIcon(shared);
}

int CXDialogTemplate::MeasureButton(HDC hdc, LPCWSTR lpszCaption) const
{
    RECT rc = { 0, 0, 0, 0 };
    if (hdc && lpszCaption && lpszCaption[0])
        DrawTextW(hdc, lpszCaption, -1, &rc, DT_CALCRECT | DT_SINGLELINE);
    int width = rc.right - rc.left + 20;
    if (width < m_nMinButtonWidth)
        width = m_nMinButtonWidth;
    if (m_nTimeoutSeconds > 0)
        width += m_nTimeoutExtra;
    return width;
}

void CXDialogTemplate::ToDialogUnits(const RECT& rc, short& x, short& y, short& cx, short& cy) const
{
    x = (short)(rc.left * 4 / m_nBaseX);
    y = (short)(rc.top * 8 / m_nBaseY);
    cx = (short)((rc.right - rc.left) * 4 / m_nBaseX);
    cy = (short)((rc.bottom - rc.top) * 8 / m_nBaseY);
}

int CXDialogTemplate::AddButton(int nCaption, WORD nId, int x, int y)
{
    return AddButton(m_szCaptions[nCaption], m_nCaptionWidth[nCaption], nId, x, y);
}

int CXDialogTemplate::AddButton(LPCWSTR lpszCaption, int nWidth, WORD nId, int x, int y)
{
    RECT rc = { x, y, x + nWidth, y + m_nButtonHeight };
    AddItem(CXDialogItem::kButton, nId, rc, lpszCaption);
    return nWidth + 6;
}

void CXDialogTemplate::AddItem(WORD nKind, WORD nId, const RECT& rc, LPCWSTR lpszCaption)
{
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (nKind == CXDialogItem::kButton) {
        style |= WS_TABSTOP;
        if (++m_nButtonCount == m_nDefaultIndex) {
            style |= BS_DEFPUSHBUTTON;
            m_nDefaultId = nId;
        }
    }
    if (m_nItemCount >= kMaxItems)
        return;
    CXDialogItem* item = new (std::nothrow) CXDialogItem;
    m_pItems[m_nItemCount++] = item;
    if (!item)
        return;
    item->m_nKind = nKind;
    item->m_nId = nId;
    item->m_dwStyle = style;
    ToDialogUnits(rc, item->m_x, item->m_y, item->m_cx, item->m_cy);
    item->m_strCaption = lpszCaption;
}

void CXDialogTemplate::AddCheckBox(int x, int y, RECT& rcDialog, LPCWSTR lpszCaption)
{
    RECT rc = { x, y, x + m_nCheckBoxWidth, y + m_nCheckBoxHeight };
    if (m_nItemCount < kMaxItems) {
        CXDialogItem* item = new (std::nothrow) CXDialogItem;
        m_pItems[m_nItemCount++] = item;
        if (item) {
            item->m_nKind = CXDialogItem::kButton;
            item->m_nId = XMB_IDCHECKBOX;
            item->m_dwStyle = BS_AUTOCHECKBOX | WS_TABSTOP | WS_VISIBLE | WS_CHILD;
            ToDialogUnits(rc, item->m_x, item->m_y, item->m_cx, item->m_cy);
            item->m_strCaption = lpszCaption;
        }
    }
    rcDialog.bottom = rc.bottom + 8;
    if (rcDialog.right - rcDialog.left < x + m_nCheckBoxWidth)
        rcDialog.right = rcDialog.left + x + m_nCheckBoxWidth;
}

HLOCAL CXDialogTemplate::BuildTemplateMemory() const
{
    int titleLength = m_strCaption.GetLength();
    if (titleLength > kMaxTitleLength)
        titleLength = kMaxTitleLength;

    // DLGTEMPLATE, no menu, the default class, the title, no font; then each
    // item on a 4-byte boundary: DLGITEMTEMPLATE, class atom, caption, no
    // creation data.
    size_t size = sizeof(DLGTEMPLATE) + 2 * sizeof(WORD) + (titleLength + 1) * sizeof(WCHAR);
    WORD count = 0;
    for (int i = 0; i < m_nItemCount; ++i) {
        if (!m_pItems[i])
            continue;
        size = (size + 3) & ~(size_t)3;
        size += sizeof(DLGITEMTEMPLATE) + 2 * sizeof(WORD) +
                (m_pItems[i]->m_strCaption.GetLength() + 1) * sizeof(WCHAR) + sizeof(WORD);
        ++count;
    }

    HLOCAL mem = LocalAlloc(LHND, size);
    if (!mem)
        return NULL;
    BYTE* base = (BYTE*)LocalLock(mem);
    if (!base) {
        LocalFree(mem);
        return NULL;
    }
    DLGTEMPLATE header;
    header.style = m_dwDialogStyle;
    header.dwExtendedStyle = 0;
    header.cdit = count;
    header.x = 0;
    header.y = 0;
    header.cx = m_cx;
    header.cy = m_cy;
    size_t pos = 0;
    memcpy(base, &header, sizeof(header));
    pos += sizeof(header);
    pos += 2 * sizeof(WORD);  // menu 0, class 0 (zero-filled)
    memcpy(base + pos, m_strCaption.GetString(), titleLength * sizeof(WCHAR));
    pos += (titleLength + 1) * sizeof(WCHAR);

    for (int i = 0; i < m_nItemCount; ++i) {
        const CXDialogItem* item = m_pItems[i];
        if (!item)
            continue;
        pos = (pos + 3) & ~(size_t)3;
        DLGITEMTEMPLATE it;
        it.style = item->m_dwStyle;
        it.dwExtendedStyle = item->m_dwExStyle;
        it.x = item->m_x;
        it.y = item->m_y;
        it.cx = item->m_cx;
        it.cy = item->m_cy;
        it.id = item->m_nId;
        memcpy(base + pos, &it, sizeof(it));
        pos += sizeof(it);
        WORD cls[2] = { 0xFFFF, item->m_nKind };
        memcpy(base + pos, cls, sizeof(cls));
        pos += sizeof(cls);
        int len = item->m_strCaption.GetLength();
        memcpy(base + pos, item->m_strCaption.GetString(), len * sizeof(WCHAR));
        pos += (len + 1) * sizeof(WCHAR);
        pos += sizeof(WORD);  // no creation data
    }
    LocalUnlock(mem);
    return mem;
}
