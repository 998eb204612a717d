// CVelindoDlg's store-access rule. While a worker thread writes the case
// store (the import, a restore into the central database: StoreBusy.h), the
// window's message loop still runs (inside the progress window's loop: the
// system-wide hot keys, the timers, posted commands), so every road of this
// window into the store or the backup file asks here first. The decision is
// StoreRoadOpen's; here is what each road does instead:
//   - the commands (buttons, menu items, Alt+K, a double click, the system
//     menu's options) and the filter hot keys are refused, with a text in
//     the status line;
//   - the exit is refused with a box;
//   - a changed search text or filter, a list rebuild and the status line's
//     count are put off: the list is rebuilt once the store is free.
// Not roads: Ctrl+B (the font), the about box, the progress and lock
// messages, timer 100 (neither the reminder nor the worker touches the
// store's map; its synchronisation writes the backup file under the backup
// file's own lock) and the queued task (the self-update).
#include "app/VelindoDlg.h"
#include "storage/StoreBusy.h"

namespace {

enum Answer
{
    kRefuseInStatusLine, // the command does nothing; the status line says why
    kRefuseWithBox,      // the same, with a box
    kListLater,          // the list (and the status line) is rebuilt afterwards
};

struct RoadRule
{
    LPCWSTR name;
    Answer answer;
};

// In the order of StoreRoad.
const RoadRule kRoads[] = {
    {L"refresh", kRefuseInStatusLine},
    {L"full list", kRefuseInStatusLine},
    {L"new case", kRefuseInStatusLine},
    {L"modify", kRefuseInStatusLine},
    {L"delete", kRefuseInStatusLine},
    {L"open case folder", kRefuseInStatusLine},
    {L"manage case folder", kRefuseInStatusLine},
    {L"connect", kRefuseInStatusLine},
    {L"options", kRefuseInStatusLine},
    {L"exit", kRefuseWithBox},
    {L"search", kListLater},
    {L"filter", kListLater},
    {L"filter hot key", kRefuseInStatusLine},
    {L"list rebuild", kListLater},
    {L"status line", kListLater},
};
static_assert(sizeof(kRoads) / sizeof(kRoads[0]) == (size_t)StoreRoad::Count, "one rule per road");

// While the list waits for the store.
const wchar_t kTextListLater[] = L"Az adatok írása folyamatban van, a lista a végén frissül.";
const wchar_t kTextExitStoreBusy[] =
    L"Az adatok írása még folyamatban van, ezért a program most nem lép ki.\n\n"
    L"Kérjük, várja meg a végét, majd lépjen ki újra!";
const wchar_t kCaptionExit[] = L"Kilépés";

} // namespace

bool CVelindoDlg::EnterStore(StoreRoad road)
{
    const RoadRule& rule = kRoads[(int)road];
    const bool refused = rule.answer == kRefuseInStatusLine || rule.answer == kRefuseWithBox;
    if (StoreRoadOpen(rule.name, refused ? L"refused" : L"put off"))
        return true;
    switch (rule.answer) {
    case kRefuseInStatusLine:
        ShowStatusText(kTextStoreBusy);
        break;
    case kRefuseWithBox:
        MessageBox(kTextExitStoreBusy, kCaptionExit, MB_OK | MB_ICONWARNING);
        break;
    case kListLater:
        m_bListOwed = true;
        ShowStatusText(kTextListLater);
        break;
    }
    return false;
}

void CVelindoDlg::ShowStatusText(LPCWSTR text)
{
    if (!m_status.GetSafeHwnd())
        return;
    m_status.SetWindowText(text);
    m_status.InvalidateRect(NULL, FALSE);
}

void CVelindoDlg::SettleStore()
{
    if (IsStoreBusy())
        return;
    if (m_bListOwed) {
        m_bListOwed = false;
        RefreshList();
    }
}
