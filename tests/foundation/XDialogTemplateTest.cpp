// The message box's layout, measured on the template itself (no window):
// both the band look and the plain one, against the layout rules in pixels
// and their conversion to dialog units.
#include "foundation/XDialogTemplate.h"
#include "support/WindowDriver.h"
#include <gtest/gtest.h>

namespace {

int BaseX() { return LOWORD(GetDialogBaseUnits()); }
int BaseY() { return HIWORD(GetDialogBaseUnits()); }
short DluX(int px) { return (short)(px * 4 / BaseX()); }
short DluY(int px) { return (short)(px * 8 / BaseY()); }

const CXDialogItem* ItemById(const CXDialogTemplate& t, int id)
{
    for (int i = 0; i < t.GetItemCount(); ++i) {
        const CXDialogItem* item = t.GetItem(i);
        if (item && item->m_nId == id)
            return item;
    }
    return NULL;
}

void CALLBACK IgnoreReport(LPCWSTR, DWORD) {}

XMessageBoxParams Options(DWORD options)
{
    XMessageBoxParams p;
    p.dwOptions = options;
    return p;
}

const wchar_t kShort[] = L"Rövid szöveg.";
const wchar_t kLong[] =
    L"Ez egy hosszú üzenet, amelynek a szövege jóval szélesebb volna a képernyő harmadánál és a felénél is, "
    L"ezért a dobozban több sorba kell tördelni: a tördelés a megengedett legnagyobb szélességnél történik, "
    L"és a doboz magassága a sorok számával együtt nő. Még egy mondat, hogy biztosan elég hosszú legyen.";

} // namespace

TEST(XDialogTemplateTest, MeasuresFollowTheDialogBaseUnits)
{
    CXDialogTemplate plain(NULL, kShort, L"Cím", MB_OK, Options(0));
    EXPECT_EQ(plain.GetMinButtonWidth(), MulDiv(38, BaseX(), 4));
    EXPECT_EQ(plain.GetButtonHeight(), MulDiv(12, BaseY(), 8));
    EXPECT_EQ(plain.GetTimeoutExtraWidth(), MulDiv(13, BaseX(), 4));
    EXPECT_EQ(plain.GetCheckBoxHeight(), MulDiv(10, BaseY(), 8));

    CXDialogTemplate band(NULL, kShort, L"Cím", MB_OK, Options(XMB_OPT_BAND));
    EXPECT_EQ(band.GetMinButtonWidth(), MulDiv(38, BaseX(), 4) + MulDiv(6, BaseX(), 4));
    EXPECT_EQ(band.GetButtonHeight(), MulDiv(12, BaseY(), 8) + MulDiv(1, BaseY(), 8));
}

TEST(XDialogTemplateTest, OneLineTextWithoutIconKeepsSeventyPixelsAboveTheCentredButtons)
{
    CXDialogTemplate t(NULL, kShort, L"Cím", MB_OKCANCEL, Options(0));
    const RECT& m = t.GetMessageRect();
    EXPECT_EQ(m.left, 16);
    EXPECT_EQ(m.top, 16);
    int w = m.right - 28;
    int h = m.bottom - 29;
    EXPECT_GT(w, 0);
    EXPECT_EQ(h, t.GetLineHeight());

    // The row starts 5 below the 70 pixels, centred, 6 pixels between buttons.
    const int y = 70 + 5;
    int r = t.GetCaptionWidth(XMB_CAP_OK) + 6 + t.GetCaptionWidth(XMB_CAP_CANCEL);
    int width = w + 28 > r + 32 ? w + 28 : r + 32;
    const CXDialogItem* ok = ItemById(t, IDOK);
    const CXDialogItem* cancel = ItemById(t, IDCANCEL);
    ASSERT_TRUE(ok && cancel);
    EXPECT_EQ(ok->m_y, DluY(y));
    EXPECT_EQ(ok->m_x, DluX((width - r) / 2));
    EXPECT_EQ(cancel->m_x, DluX((width - r) / 2 + t.GetCaptionWidth(XMB_CAP_OK) + 6));
    EXPECT_EQ(ok->m_cy, DluY(t.GetButtonHeight()));
    EXPECT_EQ(t.GetDialogRect().right, width);
    EXPECT_EQ(t.GetDialogRect().bottom, y + t.GetButtonHeight() + 12);
    EXPECT_EQ(t.GetDialogCx(), DluX(width));
    EXPECT_EQ(t.GetDialogCy(), DluY(y + t.GetButtonHeight() + 12));

    const CXDialogItem* text = ItemById(t, XMB_IDMESSAGE);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->m_nKind, CXDialogItem::kStatic);
    EXPECT_EQ(text->m_strCaption, kShort);
    EXPECT_EQ(text->m_x, DluX(16));
    EXPECT_EQ(text->m_cx, DluX(w + 12));
    EXPECT_EQ(ItemById(t, XMB_IDICON), nullptr);

    EXPECT_EQ(t.GetDialogStyle(), (DWORD)(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER));
    EXPECT_EQ(ok->m_dwStyle, (DWORD)(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON));
    EXPECT_EQ(cancel->m_dwStyle, (DWORD)(WS_CHILD | WS_VISIBLE | WS_TABSTOP));
}

TEST(XDialogTemplateTest, BackgroundColourMovesTheRowFurtherDown)
{
    XMessageBoxParams p;
    p.crBackground = RGB(255, 255, 224);
    CXDialogTemplate t(NULL, kShort, L"Cím", MB_OK, p);
    const CXDialogItem* ok = ItemById(t, IDOK);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->m_y, DluY(70 + 14));
    // The first button is the default one also when the style asks for a later one.
    CXDialogTemplate third(NULL, kShort, L"Cím", MB_OKCANCEL | MB_DEFBUTTON3, Options(0));
    EXPECT_EQ(third.GetDefaultId(), IDOK);
    EXPECT_NE(ItemById(third, IDOK)->m_dwStyle & BS_DEFPUSHBUTTON, 0u);
}

TEST(XDialogTemplateTest, BandStyleRightAlignsTheButtonsBelowTheBand)
{
    CXDialogTemplate t(NULL, kShort, L"Cím", MB_YESNO, Options(XMB_OPT_BAND));
    const RECT& m = t.GetMessageRect();
    EXPECT_EQ(m.top, 32);
    int h = m.bottom - 61;
    EXPECT_EQ(h, t.GetLineHeight());
    // A band means a brush, so the row starts 14 below the message.
    int y = m.bottom + 14;
    const CXDialogItem* no = ItemById(t, IDNO);
    ASSERT_TRUE(no);
    EXPECT_EQ(no->m_y, DluY(y));
    int width = t.GetDialogRect().right;
    EXPECT_EQ(no->m_x, DluX(width - 16 - t.GetCaptionWidth(XMB_CAP_NO)));
    EXPECT_GE(width, m.right + 16);
}

TEST(XDialogTemplateTest, BandStyleWithIconLiftsOnlyMultiLineText)
{
    const int iconW = GetSystemMetrics(SM_CXICON), iconH = GetSystemMetrics(SM_CYICON);
    CXDialogTemplate oneLine(NULL, kShort, L"Cím", MB_OK | MB_ICONEXCLAMATION, Options(XMB_OPT_BAND));
    ASSERT_TRUE(oneLine.GetIcon());
    EXPECT_EQ(oneLine.GetMessageRect().top, 32);
    EXPECT_EQ(oneLine.GetMessageRect().left, 16 + 24 + iconW);
    EXPECT_EQ(oneLine.GetDialogRect().right >= oneLine.GetMessageRect().right + 24, true);
    const CXDialogItem* icon = ItemById(oneLine, XMB_IDICON);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->m_nKind, CXDialogItem::kStatic);
    EXPECT_EQ(icon->m_x, DluX(24));
    EXPECT_EQ(icon->m_y, DluY(24));
    EXPECT_EQ(icon->m_cx, DluX(2 + iconW));
    EXPECT_EQ(icon->m_cy, DluY(2 + iconH));

    CXDialogTemplate twoLines(NULL, L"Első sor.\nMásodik sor.", L"Cím", MB_OK | MB_ICONQUESTION,
                              Options(XMB_OPT_BAND));
    EXPECT_EQ(twoLines.GetMessageRect().top, 24);
    EXPECT_EQ(twoLines.GetMessageRect().bottom - twoLines.GetMessageRect().top,
              2 * twoLines.GetLineHeight() + 29);

    CXDialogTemplate plain(NULL, L"Első sor.\nMásodik sor.", L"Cím", MB_OK | MB_ICONSTOP, Options(0));
    EXPECT_EQ(plain.GetMessageRect().top, 16);
    EXPECT_EQ(plain.GetMessageRect().left, 16 + 8 + iconW);
    EXPECT_EQ(plain.GetDialogRect().right >= plain.GetMessageRect().right + 8, true);
}

TEST(XDialogTemplateTest, TextWrapsAtItsMaximumWidth)
{
    const int screen = GetSystemMetrics(SM_CXSCREEN);
    struct Case { DWORD options; int maxWidth; };
    const Case cases[] = {
        { 0, screen / 2 + 80 },
        { XMB_OPT_BAND, screen / 2 - 10 },
        { XMB_OPT_NARROW | XMB_OPT_BAND, screen / 3 },
        { XMB_OPT_NARROW, screen / 3 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        CXDialogTemplate t(NULL, kLong, L"Cím", MB_OK, Options(c.options));
        int w = t.GetMessageRect().right - 28;
        EXPECT_LE(w, c.maxWidth);
        EXPECT_GT(w, c.maxWidth - 120);  // it wrapped near the limit, not far below it
        EXPECT_GT(t.GetMessageRect().bottom - t.GetMessageRect().top, 3 * t.GetLineHeight());
    }
    // With an icon the limit leaves room for it.
    CXDialogTemplate icon(NULL, kLong, L"Cím", MB_OK | MB_ICONINFORMATION, Options(XMB_OPT_NARROW));
    int w = icon.GetMessageRect().right - icon.GetMessageRect().left - 12;
    EXPECT_LE(w, screen / 3 - 16 - GetSystemMetrics(SM_CXICON));
}

TEST(XDialogTemplateTest, TimeoutWidensEveryButton)
{
    XMessageBoxParams p;
    p.nTimeoutSeconds = 5;
    CXDialogTemplate plain(NULL, kShort, L"Cím", MB_OK, Options(0));
    CXDialogTemplate timed(NULL, kShort, L"Cím", MB_OK, p);
    for (int i = 0; i < XMB_CAPTION_COUNT; ++i) {
        EXPECT_GE(plain.GetCaptionWidth(i), plain.GetMinButtonWidth());
        EXPECT_EQ(timed.GetCaptionWidth(i), plain.GetCaptionWidth(i) + plain.GetTimeoutExtraWidth()) << i;
    }
}

TEST(XDialogTemplateTest, WideCheckBoxWidensTheDialog)
{
    CXDialogTemplate t(NULL, L"Rövid.", L"Cím", MB_OK | XMB_CHECK_DONTSHOW, Options(0));
    int k = t.GetCaptionWidth(XMB_CAP_DONTSHOW) + t.GetCheckBoxHeight();
    ASSERT_GT(k + 16, t.GetCaptionWidth(XMB_CAP_OK) + 32);  // the check box is the widest part
    EXPECT_EQ(t.GetDialogRect().right, 17 + k);
    const CXDialogItem* box = ItemById(t, XMB_IDCHECKBOX);
    const CXDialogItem* ok = ItemById(t, IDOK);
    ASSERT_TRUE(box && ok);
    EXPECT_EQ(box->m_strCaption, L"Ne mutassa többet ezt az üzenetet!");
    EXPECT_EQ(box->m_nKind, CXDialogItem::kButton);
    EXPECT_EQ(box->m_dwStyle, (DWORD)(BS_AUTOCHECKBOX | WS_TABSTOP | WS_VISIBLE | WS_CHILD));
    int y = 75 + t.GetButtonHeight() + 12;
    EXPECT_EQ(box->m_x, DluX(17));
    EXPECT_EQ(box->m_y, DluY(y));
    EXPECT_EQ(box->m_cx, DluX(k));
    EXPECT_EQ(box->m_cy, DluY(t.GetCheckBoxHeight()));
    EXPECT_EQ(ok->m_y, DluY(75));
    EXPECT_EQ(t.GetDialogRect().bottom, y + t.GetCheckBoxHeight() + 8);
}

TEST(XDialogTemplateTest, FullestBoxHoldsTenItemsInWindowOrder)
{
    XMessageBoxParams p;
    p.pfnReport = IgnoreReport;
    CXDialogTemplate t(NULL, kShort, L"Cím",
                       MB_YESNOCANCEL | XMB_YESTOALL | XMB_NOTOALL | MB_HELP | MB_ICONQUESTION | XMB_CHECK_DONTASK, p);
    const int ids[] = { XMB_IDICON, XMB_IDMESSAGE, IDYES, XMB_IDYESTOALL, IDNO, XMB_IDNOTOALL, IDCANCEL,
                        XMB_IDHELP, XMB_IDREPORT, XMB_IDCHECKBOX };
    ASSERT_EQ(t.GetItemCount(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(t.GetItem(i)->m_nId, ids[i]) << i;
    // The buttons are placed left to right, each its width plus 6 after the one before.
    for (int i = 3; i < 9; ++i)
        EXPECT_GT(t.GetItem(i)->m_x, t.GetItem(i - 1)->m_x);
}

TEST(XDialogTemplateTest, SerialisedTemplateHasHeaderTitleAndAlignedItems)
{
    CXDialogTemplate t(NULL, kShort, L"Cím", MB_OKCANCEL | MB_SYSTEMMODAL, Options(0));
    HLOCAL mem = t.BuildTemplateMemory();
    ASSERT_TRUE(mem);
    const BYTE* base = (const BYTE*)LocalLock(mem);
    const DLGTEMPLATE* header = (const DLGTEMPLATE*)base;
    EXPECT_EQ(header->style, t.GetDialogStyle());
    EXPECT_NE(header->style & DS_SYSMODAL, 0u);
    EXPECT_EQ(header->style & DS_SETFONT, 0u);  // no font: the dialog units are those of GetDialogBaseUnits
    EXPECT_EQ(header->cdit, 3);
    EXPECT_EQ(header->cx, t.GetDialogCx());
    const WORD* w = (const WORD*)(base + sizeof(DLGTEMPLATE));
    EXPECT_EQ(w[0], 0);  // no menu
    EXPECT_EQ(w[1], 0);  // the dialog class
    EXPECT_STREQ((const wchar_t*)&w[2], L"Cím");
    size_t pos = sizeof(DLGTEMPLATE) + 4 + (wcslen(L"Cím") + 1) * 2;
    for (int i = 0; i < 3; ++i) {
        pos = (pos + 3) & ~(size_t)3;
        const DLGITEMTEMPLATE* item = (const DLGITEMTEMPLATE*)(base + pos);
        EXPECT_EQ(item->id, t.GetItem(i)->m_nId);
        const WORD* cls = (const WORD*)(base + pos + sizeof(DLGITEMTEMPLATE));
        EXPECT_EQ(cls[0], 0xFFFF);
        EXPECT_EQ(cls[1], t.GetItem(i)->m_nKind);
        const wchar_t* caption = (const wchar_t*)&cls[2];
        EXPECT_EQ(CString(caption), t.GetItem(i)->m_strCaption);
        pos += sizeof(DLGITEMTEMPLATE) + 4 + (wcslen(caption) + 1) * 2;
        EXPECT_EQ(*(const WORD*)(base + pos), 0);  // no creation data
        pos += 2;
    }
    EXPECT_LE(pos, LocalSize(mem));
    LocalUnlock(mem);
    LocalFree(mem);
}
