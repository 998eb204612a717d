#include "app/HataridoDlg.h"
#include <time.h>
#include "foundation/Log.h"
#include "resources/resource.h"

namespace {

const wchar_t kErrorCaption[] = L"Hibás adatmegadás";

// The local time of a time value; false when it cannot be converted.
bool ToSystemTime(__time64_t value, SYSTEMTIME& st)
{
    struct tm t;
    if (_localtime64_s(&t, &value) != 0)
        return false;
    st = SYSTEMTIME();
    st.wYear = (WORD)(t.tm_year + 1900);
    st.wMonth = (WORD)(t.tm_mon + 1);
    st.wDay = (WORD)t.tm_mday;
    st.wDayOfWeek = (WORD)t.tm_wday;
    st.wHour = (WORD)t.tm_hour;
    st.wMinute = (WORD)t.tm_min;
    st.wSecond = (WORD)t.tm_sec;
    return true;
}

// The picked local day and time as a time value, -1 when it has none.
__time64_t FromSystemTime(const SYSTEMTIME& st)
{
    struct tm t = {};
    t.tm_year = st.wYear - 1900;
    t.tm_mon = st.wMonth - 1;
    t.tm_mday = st.wDay;
    t.tm_hour = st.wHour;
    t.tm_min = st.wMinute;
    t.tm_sec = st.wSecond;
    t.tm_isdst = -1;
    return _mktime64(&t);
}

// The calendar day of a time, comparable as one number.
unsigned DayOf(const SYSTEMTIME& st)
{
    return (unsigned)st.wYear * 10000u + st.wMonth * 100u + st.wDay;
}

} // namespace

bool IsDeadlineDateInRange(const SYSTEMTIME& st)
{
    SYSTEMTIME first, last;
    GetDeadlineDateRange(first, last);
    return DayOf(st) >= DayOf(first) && DayOf(st) <= DayOf(last);
}

void GetDeadlineDateRange(SYSTEMTIME& first, SYSTEMTIME& last)
{
    // Local midnight of 1 January 1970 lies before the epoch east of UTC,
    // so the first day is the 2nd; the library converts up to the end of 3000.
    first = SYSTEMTIME();
    first.wYear = 1970;
    first.wMonth = 1;
    first.wDay = 2;
    last = SYSTEMTIME();
    last.wYear = 3000;
    last.wMonth = 12;
    last.wDay = 31;
    last.wHour = 23;
    last.wMinute = 59;
    last.wSecond = 59;
}

CHataridoDlg::CHataridoDlg(CWnd* pParent) : CDialogEx(IDD_HATARIDO, pParent), m_nWatched(0), m_tDate(0)
{
}

void CHataridoDlg::SetDeadline(const CHatarido& deadline)
{
    m_nWatched = deadline.m_nWatched;
    m_tDate = deadline.m_tDate;
    m_strRemark = deadline.m_strRemark;
}

CHatarido CHataridoDlg::GetDeadline() const
{
    CHatarido h;
    h.m_nWatched = m_nWatched;
    h.m_tDate = m_tDate;
    h.m_strRemark = m_strRemark;
    return h;
}

void CHataridoDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_HAT_DATE, m_datePicker);
    if (!pDX->m_bSaveAndValidate) {
        CheckDlgButton(IDC_HAT_WATCHED, m_nWatched ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemText(IDC_HAT_REMARK, m_strRemark);
        m_datePicker.SetFormat(L"yyyy. MM. dd.");
        SYSTEMTIME first, last;
        GetDeadlineDateRange(first, last);
        m_datePicker.SetRange(&first, &last);
        SYSTEMTIME st;
        if (ToSystemTime(m_tDate, st))
            m_datePicker.SetTime(&st);
        return;
    }

    CString remark;
    GetDlgItemText(IDC_HAT_REMARK, remark);
    if (remark.GetLength() > kMaxDeadlineRemark)
        remark = remark.Left(kMaxDeadlineRemark);
    if (remark.Find(L'|') >= 0) {
        // The list text joins its items with "|": such a remark would split its item.
        pDX->PrepareEditCtrl(IDC_HAT_REMARK);
        MessageBox(L"A megjegyzés nem tartalmazhat \"|\" karaktert!", kErrorCaption, MB_OK | MB_ICONEXCLAMATION);
        pDX->Fail();
    }
    SYSTEMTIME st = {};
    __time64_t date = -1;
    if (m_datePicker.GetTime(&st) == GDT_VALID && IsDeadlineDateInRange(st))
        date = FromSystemTime(st);
    if (date == -1) {
        pDX->PrepareCtrl(IDC_HAT_DATE);
        LogFormat(L"Deadline date refused: %d.%02d.%02d.", st.wYear, st.wMonth, st.wDay);
        MessageBox(L"A határidő dátuma 1970. 01. 02. és 3000. 12. 31. között lehet!", kErrorCaption,
                   MB_OK | MB_ICONEXCLAMATION);
        pDX->Fail();
    }
    m_strRemark = remark;
    m_tDate = date;
    m_nWatched = IsDlgButtonChecked(IDC_HAT_WATCHED) == BST_CHECKED ? 1 : 0;
}
