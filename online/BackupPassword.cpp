// The settings object's part of the online backup: the enciphered password
// and the reminder. It lives here, beside the cipher and the dialog it uses.
#include "afxapp.h"
#include "foundation/AppSettings.h"
#include "foundation/XMessageBox.h"
#include "online/AesCipher.h"
#include "online/OptionsPasswordDlg.h"

namespace {

// The program's own key of the stored password (only its first 32 bytes
// count). It holds "%": it is a key, never a format.
const char kProgramKey[] = "Qm7#rT!x=Pz%Lw(8)kV+nB/dS&c2Yh-eF4j";

const wchar_t kPasswordKey[] = L"OMPassword";
const wchar_t kFrequencyKey[] = L"OMBackupFrequency";

const wchar_t kReminderText[] =
    L"Az on-line mentés paraméterei még nincsenek beállítva.\n\n"
    L"Kérjük, állítsa be ezeket, mert enélkül az adatiról nem készül biztonsági másolat!";
const wchar_t kReminderCaption[] = L"On-line mentés beállítása";
const UINT kReminderStyle = 0x20000034; // Yes and No with own captions, exclamation icon

// Runs the backup-mode dialog pre-filled with password; on OK the dialog's
// password is stored and returned, otherwise password comes back as it was.
CString AskPassword(CAppSettings& settings, CWnd* parent, const CString& password)
{
    COptionsPasswordDlg dlg(parent);
    dlg.m_strPassword = password;
    if (dlg.DoModal() != IDOK)
        return password;
    settings.SetOnlineBackupPassword(dlg.m_strPassword);
    return dlg.m_strPassword;
}

} // namespace

CString CAppSettings::GetOnlineBackupPassword(int mode)
{
    CString stored = GetProfileString(kPasswordKey, L"");
    CString password;
    if (!stored.IsEmpty()) {
        CAesCipher cipher(kProgramKey);
        password = cipher.DecryptString(stored);
    }
    // Mode 2 asks by the stored text: a value that cannot be deciphered is
    // still a value, and is not asked for again.
    // Without a parent the dialog goes over the main window's last active
    // popup: a dialog that asks from over the main window stays disabled.
    if (mode == 1 || (mode == 2 && stored.IsEmpty()))
        password = AskPassword(*this, NULL, password);
    return password;
}

void CAppSettings::SetOnlineBackupPassword(LPCWSTR password)
{
    CAesCipher cipher(kProgramKey);
    WriteProfileString(kPasswordKey, cipher.EncryptString(password));
}

bool CAppSettings::EnsureOnlineBackupSettings(CWnd* parent, bool passwordRequired)
{
    CString password = GetOnlineBackupPassword(0);
    if (parent && (GetProfileInt(kFrequencyKey, -1) < 0 || (passwordRequired && password.IsEmpty()))) {
        XMessageBoxParams params;
        params.bUseOwnCaptions = TRUE;
        wcscpy(params.szOwnCaptions[XMB_CAP_YES], L"Tovább a beállításokhoz");
        wcscpy(params.szOwnCaptions[XMB_CAP_NO], L"Máskor");
        int answer = XMessageBox(NULL, kReminderText, kReminderCaption, kReminderStyle, &params);
        // A box that could not be shown (-1) counts as "Máskor".
        if (answer != -1 && (answer & 0xFFFF) == IDYES)
            password = AskPassword(*this, parent, password);
    }
    return GetProfileInt(kFrequencyKey, -1) > 0 && !password.IsEmpty();
}
