#include "online/OnlineRestore.h"
#include <time.h>
#include <memory>
#include <new>
#include "afxapp.h"
#include "foundation/AppSettings.h"
#include "foundation/BackupFileLock.h"
#include "foundation/ComScope.h"
#include "foundation/Log.h"
#include "foundation/Progress.h"
#include "foundation/ProgressDlg.h"
#include "foundation/XMessageBox.h"
#include "online/CompareDlg.h"
#include "online/OnlineBackup.h"
#include "online/TransferManager.h"
#include "online/VapiReply.h"
#include "online/VapiRequest.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/CtUgyirat_Sqlite.h"
#include "storage/CtUgyirat_SqlServer.h"
#include "storage/DatabaseContext.h"
#include "storage/StoreBusy.h"
#include "storage/UgyiratStore.h"

namespace {

const CString kRestoreTexts[CTransferManager::TEXT_COUNT] = {
    L"A on-line mentés visszatöltése",
    L"Az iktatási adatok letöltése, kitömörítése és titkosításának visszafejtése",
    L"Az adatok letöltése, kitömörítése és titkosításának visszafejtése sikeresen befejeződött!",
    L"Kattintson a Tovább gombra a folytatásához!",
    L"Tovább",
    L"Az adatok letöltését megszakította!",
    L"Kattintson az Kilép gombra a befejezéshez!",
    L"Kilép",
};

const CString kSyncTexts[CTransferManager::TEXT_COUNT] = {
    L"Szinkronizálás",
    L"Szinkronizálás: Módosítások letöltése",
    L"Szinkronizálás: Módosítások beillesztése az adatbázisba",
    L"",
    L"",
    L"",
    L"",
    L"",
};

const wchar_t kCaptionDownload[] = L"On-line mentés letöltése";
const wchar_t kCaptionLoad[] = L"On-line mentés betöltése";

const wchar_t kTextOffline[] =
    L"Ön most leválasztott üzemmmódban van, a listában látható adatok\n"
    L"a központi adatbázis másolatából töltődtek be.\n\n"
    L"Ha a helyi központiadatbázist kívánja helyreállítani, akkor lépjen ki\n"
    L"és kapcsolódás után végezze el újra az on-line mentés letöltését!\n\n"
    L"Ha folytatja a letöltést, akkor most csak a másolatként betöltött adatok frissülnek.\n\n";

const wchar_t kTextOverwrite[] = L"Az adatbázisban már vannak adatok. Valóban felül akarja írni?";

const wchar_t kTextCounts[] =
    L"Az adatbázisban is és a mentésben is egyaránt létező iktatószám:\n\n %30d db\n\n"
    L"Csak on-line mentésben létező, jelenlegi listához képest új iktatószám:\n\n %30d db\n\n"
    L"Csak a helyi adatbázisban létező, most törlésre kerülő iktatószám:\n\n %30d db\n\n"
    L"Felülírhatók a helyi adatbázisban lévő adatok az on-line mentés adataival?";

const wchar_t kTextNoAddress[] = L"A letöltés helyének meghatározása nem sikerült!";
const wchar_t kTextNotObtained[] = L"A mentett adatok megszerzése nem sikerült!";

// The restored cases are in the central table, but there was no memory to
// show them.
const wchar_t kTextRestartToShow[] =
    L"A visszatöltött adatok bekerültek az adatbázisba, de a megjelenítésükhöz nem volt elég memória.\n\n"
    L"A lista addig a korábbi adatokat mutatja: kérjük, indítsa újra a programot!";

// The loader's end when it stored nothing: the old data stands.
const wchar_t kTextLoadFailed[] = L"Az adatok betöltése nem sikerült, a korábbi adatok nem változtak!";
const wchar_t kTextLoadFailedHint[] = L"Kattintson a Kilép gombra a befejezéshez!";

const UINT kStyleOkCancel = 0x20000031;    // exclamation icon, OK and Cancel with own captions
const UINT kStyleThreeWay = 0x20000033;    // exclamation icon, Yes, No and Cancel with own captions

// How many position records a load sends at most: a record per case would
// flood the dialog's message queue with a large register.
const int kPositionRecords = 500;

// A box that could not be shown (-1) is a Cancel.
int Answer(int answer)
{
    return answer == -1 ? IDCANCEL : (answer & 0xFFFF);
}

int AskOkCancel(LPCWSTR text, LPCWSTR okCaption)
{
    XMessageBoxParams params;
    params.bUseOwnCaptions = TRUE;
    wcscpy(params.szOwnCaptions[XMB_CAP_OK], okCaption);
    wcscpy(params.szOwnCaptions[XMB_CAP_CANCEL], L"Kilépés");
    return Answer(XMessageBox(NULL, text, kCaptionDownload, kStyleOkCancel, &params));
}

CUgyiratStore* ApplicationStore()
{
    CDatabaseContext* context = CDatabaseContext::GetApplicationContext();
    return context ? context->m_pStore : NULL;
}

} // namespace

COnlineRestore::COnlineRestore(bool toBackupFile, CWnd* pParent)
    : m_bToBackupFile(toBackupFile), m_bSilent(false), m_hLoaderThread(NULL), m_loaderThreadId(0),
      m_pProgress(NULL), m_pParent(pParent), m_cancel(false), m_loaderResult(false), m_committed(false),
      m_threadStart(THREAD_WAITING), m_step(L"")
{
}

COnlineRestore::~COnlineRestore()
{
    delete m_pProgress;
}

int COnlineRestore::RestoreIntoBackupFile(CWnd* owner)
{
    COnlineRestore restore(true, owner);
    return restore.Start(false);
}

int COnlineRestore::Start(bool silent)
{
    m_bSilent = silent;
    CAppSettings* settings = GetAppSettings();
    CUgyiratStore* store = ApplicationStore();
    if (!settings || !store) {
        LogLine(L"On-line restore: there is no case store");
        OnSkipped();
        return 0;
    }
    if (silent) {
        // The synchronisation: set up for downloads, with a password, and
        // working on the copy of the backup file.
        if (settings->GetProfileInt(L"OMBackupFrequency", -1) <= 32 ||
            !settings->EnsureOnlineBackupSettings(NULL, true) || !store->IsOffline()) {
            OnSkipped();
            return 0;
        }
    } else {
        CConnectionManagerSqlServer* manager = CConnectionManagerSqlServer::GetApplicationManager();
        bool online = manager && manager->Online;
        if (!online) {
            if (!m_bToBackupFile && AskOkCancel(kTextOffline, kCaptionDownload) != IDOK)
                return 0;
            m_bToBackupFile = true;
        } else if (!store->m_records.empty()) {
            if (AskOkCancel(kTextOverwrite, L"Igen, az adatok felülírhatók!") != IDOK) {
                OnSkipped();
                return 0;
            }
        }
    }
    return Run() ? 1 : 0;
}

void COnlineRestore::OnSkipped()
{
}

CString COnlineRestore::QueryRestoreUrl()
{
    CString result;
    CString url = COnlineBackup::ServiceUrl(L"VApi/OnlineRestore.aspx");
    CVapiRequest request;
    if (!request.Get(url, 0))
        return result;
    CVapiMemoryStream* response = static_cast<CVapiMemoryStream*>(request.GetResponseSink());
    CVapiReply reply;
    if (!response || reply.Parse(*response) < 1)
        return result;
    if (!reply.Has(L"ContentLength") || !reply.Has(L"Url") || _wtoi(reply.Get(L"ContentLength")) <= 0)
        return result;
    result = reply.Get(L"Url");
    LogFormat(L"On-line restore url = %s", (LPCWSTR)result);
    return result;
}

bool COnlineRestore::CheckStorable() const
{
    for (const CUgyiratRecord& record : m_records) {
        if (!IsStorableUgyirat(record.Ev, record.Nr)) {
            LogFormat(L"On-line restore: the case %d/%d cannot be stored (numbers 1 to %d, years %d to %d); "
                      L"nothing was written",
                      record.Nr, record.Ev, kMaxUgyiratNr, kMinUgyiratEv, kMaxUgyiratEv);
            return false;
        }
    }
    return true;
}

bool COnlineRestore::Run()
{
    m_committed.store(false);
    try {
        return RunSteps();
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
    }
    return false;
}

void COnlineRestore::ReportOutOfMemory()
{
    // What the failed step held is gone by now; the download goes too.
    std::vector<CUgyiratRecord>().swap(m_records);
    if (m_committed.load()) {
        LogFormat(L"On-line restore: out of memory %s, after the records were written", m_step);
        return;
    }
    LogFormat(L"On-line restore: out of memory %s; nothing was written", m_step);
    if (m_bSilent)
        return;
    try {
        AfxMessageBox(kOutOfMemoryText, MB_OK | MB_ICONEXCLAMATION);
    } catch (const std::bad_alloc&) {
        // Not even the box: the log has it.
    }
}

bool COnlineRestore::RunSteps()
{
    CAppSettings* settings = GetAppSettings();
    CUgyiratStore* store = ApplicationStore();
    if (!settings || !store)
        return false;

    m_step = L"asking for the download address";
    CString url = QueryRestoreUrl();
    if (url.IsEmpty()) {
        LogLine(L"On-line restore: no download address");
        if (!m_bSilent)
            AfxMessageBox(kTextNoAddress, MB_OK);
        return false;
    }

    CString base;
    base.Format(L"%sdb_%d_onlinerestore", (LPCWSTR)settings->GetDataFolder(), 2);
    const CString zip = base + L".zip", enc = base + L".enc", xml = base + L".xml";
    const bool compare = !store->m_records.empty() && !m_bToBackupFile && !m_bSilent;
    CString password = settings->GetOnlineBackupPassword(m_bSilent ? 0 : 2);

    m_records.clear();
    CCompareCounts counts = {0, 0, 0};
    m_step = L"in the transfer";
    {
        CTransferManager transfer;
        transfer.AddDownload(url, zip);
        transfer.AddExtractFromZIP(zip, enc);
        transfer.AddDecrypt(enc, xml, password);
        transfer.AddLoadFromXml(xml, &m_records);
        if (compare)
            transfer.AddCompareDB(&m_records, &counts);
        if (m_bSilent) {
            if (!transfer.RunSilently(settings->GetMainWindow(), kSyncTexts)) {
                LogLine(L"On-line restore: the transfer failed");
                return false;
            }
        } else if (!transfer.RunWithDialog(m_pParent, kRestoreTexts, false)) {
            LogLine(L"On-line restore: the transfer failed or was aborted");
            AfxMessageBox(kTextNotObtained);
            return false;
        }
    }

    // A case the store cannot key would overwrite another one: the whole
    // download is refused before anything is asked or written.
    m_step = L"checking the downloaded cases";
    if (!CheckStorable()) {
        if (!m_bSilent)
            AfxMessageBox(kTextNotObtained);
        return false;
    }

    if (compare) {
        m_step = L"in the counts box";
        CString text;
        text.Format(kTextCounts, counts.m_nBoth, counts.m_nOnlyDownloaded, counts.m_nOnlyCurrent);
        XMessageBoxParams params;
        params.bUseOwnCaptions = TRUE;
        wcscpy(params.szOwnCaptions[XMB_CAP_YES], L"Adatok felülírása");
        wcscpy(params.szOwnCaptions[XMB_CAP_NO], L"Előzetes megtekintés");
        wcscpy(params.szOwnCaptions[XMB_CAP_CANCEL], L"Kilépés, régi adatok megtartása");
        switch (Answer(XMessageBox(NULL, text, kCaptionLoad, kStyleThreeWay, &params))) {
        case IDYES:
            break;
        case IDNO: {
            m_step = L"in the preview";
            CCompareDlg dlg(m_pParent);
            dlg.BuildRows(m_records, store->m_records);
            if (dlg.DoModal() != IDOK)
                return false;
            break;
        }
        default:
            return false;
        }
    }

    m_step = L"in the loader";
    if (!LoadRecords())
        return false;
    settings->WriteProfileInt(L"OMLastBackup", (int)(DWORD)time(NULL));
    return true;
}

bool COnlineRestore::LoadRecords()
{
    CAppSettings* settings = GetAppSettings();
    CUgyiratStore* store = ApplicationStore();
    if (!settings || !store)
        return false;
    m_cancel.store(false);
    m_loaderResult.store(false);
    m_committed.store(false);
    m_threadStart.store(THREAD_WAITING);
    delete m_pProgress;
    m_pProgress = NULL;

    // What the loader writes to, taken here, on the starting thread.
    if (m_bToBackupFile) {
        CConnectionManagerSqlite backup;
        m_backupFile = backup.GetConnectionString();
    } else {
        CConnectionManagerSqlServer* manager = CConnectionManagerSqlServer::GetApplicationManager();
        m_connection = manager ? manager->GetConnectionString() : CString();
    }

    if (m_bSilent) {
        m_pProgress = new CWndProgress(settings->GetMainWindow());
        m_hLoaderThread = CreateThread(NULL, 0, LoadThreadProc, this, 0, &m_loaderThreadId);
        if (!m_hLoaderThread) {
            LogFormat(L"On-line restore: the loader thread cannot be created (%u)", (unsigned)GetLastError());
            return false;
        }
        WaitForSingleObject(m_hLoaderThread, INFINITE);
        CloseHandle(m_hLoaderThread);
        m_hLoaderThread = NULL;
        return m_loaderResult.load();
    }

    std::unique_ptr<CProgressDlg> dlg(new CProgressDlg(m_pParent, false));
    dlg->m_nRange = (int)m_records.size();
    dlg->m_strTitle = L"Adatok betöltése";
    dlg->m_strFirstText = L"A letöltött adatok soronkénti betöltése";
    CWndProgress* sink = new CWndProgress(dlg.get());
    m_pProgress = sink;
    dlg->SetAbortHandler(sink, &CProgress::AbortCallback);
    dlg->SetCloseHandler(sink, &CProgress::DetachCallback);
    sink->SetCompletedTexts(L"A betöltés sikeresen befejeződött!", L"Kattintson az OK gombra az ablak bezárásához!",
                            L"OK");
    sink->SetAbortedTexts(L"A letöltést megszakította!", L"Kattintson az Kilép gombra a befejezéshez!", L"Kilép");

    // Created suspended: the dialog resumes it once its window exists, so
    // no record of a quick loader is lost before there is a window.
    m_hLoaderThread = CreateThread(NULL, 0, LoadThreadProc, this, CREATE_SUSPENDED, &m_loaderThreadId);
    if (!m_hLoaderThread) {
        LogFormat(L"On-line restore: the loader thread cannot be created (%u)", (unsigned)GetLastError());
        return false;
    }
    // The main window leaves the store alone while the central table is
    // rewritten under it, until the new map is in, whatever way this ends.
    CStoreBusyScope busy(!m_bToBackupFile);
    dlg->m_hWorkerThread = m_hLoaderThread;
    bool dialogShown = true;
    try {
        dlg->DoModal();
    } catch (const std::bad_alloc&) {
        // No window for the loader: it is given up below, having run or not.
        dialogShown = false;
    }
    const bool completed = dialogShown && dlg->m_bCompleted && !dlg->m_bAborted;

    // A loader the dialog never resumed ends at once, having written nothing;
    // one still at work stops before its next record.
    sink->Detach();
    m_cancel.store(dlg->m_bAborted || !dlg->m_bCompleted);
    int expected = THREAD_WAITING;
    if (m_threadStart.compare_exchange_strong(expected, THREAD_ABANDONED))
        LogLine(L"On-line restore: the progress window did not start the loader");
    DWORD previous;
    do {
        previous = ResumeThread(m_hLoaderThread);
    } while (previous != (DWORD)-1 && previous > 1);
    WaitForThreadRepainting(m_hLoaderThread);
    CloseHandle(m_hLoaderThread);
    m_hLoaderThread = NULL;
    dlg.reset();

    // The central table now holds the downloaded cases: so does the map,
    // also when the dialog was closed as aborted after the commit.
    const bool committed = m_committed.load();
    bool shown = true;
    if (committed && !m_bToBackupFile) {
        m_step = L"swapping in the records";
        shown = SwapInRecords(*store);
    }
    busy.End();
    if (!shown)
        AfxMessageBox(kTextRestartToShow, MB_OK | MB_ICONWARNING);
    if (!dialogShown && !committed)
        throw std::bad_alloc();
    if (committed && !completed)
        LogLine(L"On-line restore: the dialog was closed after the records were committed");
    return m_loaderResult.load() && (completed || committed);
}

bool COnlineRestore::SwapInRecords(CUgyiratStore& store)
{
    try {
        store.ReplaceRecords(m_records);
        return true;
    } catch (const std::bad_alloc&) {
        // The old map stands as it was.
    }
    // The table holds the downloaded cases now: they make room for reading
    // it back.
    std::vector<CUgyiratRecord>().swap(m_records);
    LogLine(L"On-line restore: out of memory while the restored cases were put in the list; "
            L"they are read back from the central table");
    if (store.LoadFromDatabase())
        return true;
    LogLine(L"On-line restore: the central table could not be read back either; the list shows the "
            L"previous cases until the program is restarted");
    return false;
}

DWORD WINAPI COnlineRestore::LoadThreadProc(LPVOID parameter)
{
    COnlineRestore* restore = static_cast<COnlineRestore*>(parameter);
    int expected = THREAD_WAITING;
    if (!restore->m_threadStart.compare_exchange_strong(expected, THREAD_STARTED))
        return 0; // the starter gave the load up before it began
    bool ok = false;
    try {
        // The loader writes the central table through OLE DB on this thread.
        CComScope com(!restore->m_bToBackupFile);
        if (com.Failed())
            LogFormat(L"On-line restore: CoInitializeEx error %x", (unsigned)com.Result());
        ok = restore->StoreRecords();
    } catch (...) {
        // Unwound: the transaction rolled back, the new file deleted, unless
        // the target had already taken the records.
        restore->LoaderFailed();
        ok = restore->m_committed.load();
    }
    restore->m_loaderResult.store(ok);
    return ok ? 1 : 0;
}

void COnlineRestore::LoaderFailed()
{
    const bool outOfMemory = LogCaughtException(L"On-line restore: the loader");
    const bool stored = m_committed.load();
    if (!stored)
        LogLine(m_bToBackupFile ? L"On-line restore: nothing was written, the backup file is as it was"
                                : L"On-line restore: rolled back, the central table is as it was");
    try {
        ReportEnd(stored, false, outOfMemory ? kOutOfMemoryText : NULL);
    } catch (...) {
        // The window then waits for its abort: the user can still close it.
    }
}

bool COnlineRestore::StopRequested()
{
    if (m_cancel.load())
        return true;
    if (m_pProgress && m_pProgress->IsAbortRequested()) {
        m_pProgress->AcknowledgeAbort();
        m_cancel.store(true);
        return true;
    }
    return false;
}

void COnlineRestore::ReportPosition(int done, int count)
{
    if (!m_pProgress)
        return;
    int step = count / kPositionRecords;
    if (step < 1 || done % step == 0 || done == count)
        m_pProgress->ProcessMessage(new CProgressRecord(CProgressRecord::KIND_POSITION, CProgressRecord::FLAG_VALUE,
                                                        done));
}

void COnlineRestore::ReportEnd(bool ok, bool stopped, LPCWSTR failedText)
{
    if (!m_pProgress)
        return;
    if (ok) {
        m_pProgress->PostCompleted();
    } else if (stopped) {
        m_pProgress->PostAborted();
    } else {
        CProgressRecord* record =
            new CProgressRecord(CProgressRecord::KIND_ABORTED,
                                CProgressRecord::FLAG_FIRST_TEXT | CProgressRecord::FLAG_SECOND_TEXT |
                                    CProgressRecord::FLAG_BUTTON_CAPTION,
                                0);
        record->m_firstText = failedText ? failedText : kTextLoadFailed;
        record->m_secondText = kTextLoadFailedHint;
        record->m_buttonCaption = L"Kilép";
        m_pProgress->ProcessMessage(record);
    }
}

bool COnlineRestore::StoreIntoBackupFile(int& done)
{
    const int count = (int)m_records.size();
    if (m_backupFile.IsEmpty()) {
        LogLine(L"On-line restore: the backup file has no path");
        return false;
    }
    // The new file is written beside the old one and replaces it only when
    // every case is in it; a copy of the central table being written at the
    // same time (the exit, a switch to offline work) goes first or after.
    CBackupFileLock lock(L"restore into the backup file");
    CTempOutputFile temp(m_backupFile);
    CtUgyirat_Sqlite table;
    if (temp.Path().IsEmpty() || !table.CreateDatabaseAt(temp.Path())) {
        LogFormat(L"On-line restore: the new backup file cannot be created beside %s", (LPCWSTR)m_backupFile);
        return false;
    }
    table.SetPath(temp.Path());
    if (!table.BeginBulkInsert()) {
        LogFormat(L"On-line restore: the new backup file cannot be opened beside %s", (LPCWSTR)m_backupFile);
        return false;
    }
    int inserted = 0;
    for (const CUgyiratRecord& record : m_records) {
        if (StopRequested())
            break;
        if (!table.Insert(record))
            break;
        ++inserted;
        ++done;
        ReportPosition(done, count);
    }
    bool committed = table.EndBulkInsert();
    table.Close();
    if (!committed || inserted != count || count == 0 || m_cancel.load() || !temp.Commit())
        return false;
    m_committed.store(true);
    return true;
}

bool COnlineRestore::StoreIntoCentral(int& done)
{
    const int count = (int)m_records.size();
    // One session and one transaction for the whole load: the table is
    // emptied and refilled together, or not at all.
    CtUgyirat_SqlServer table(m_connection);
    if (m_connection.IsEmpty() || !table.BeginTransaction()) {
        LogLine(L"On-line restore: no transaction on the central database");
        return false;
    }
    if (!table.Exec(L"DELETE FROM tUgyirat;")) {
        LogLine(L"On-line restore: the central table could not be emptied");
        table.RollbackTransaction();
        return false;
    }
    bool failed = false;
    for (const CUgyiratRecord& record : m_records) {
        if (StopRequested())
            break;
        if (!table.Insert(record)) {
            LogFormat(L"On-line restore: the case %d/%d was refused", record.Nr, record.Ev);
            failed = true;
            break;
        }
        ++done;
        ReportPosition(done, count);
    }
    if (failed || done != count || count == 0 || m_cancel.load()) {
        table.RollbackTransaction();
        return false;
    }
    if (!table.CommitTransaction())
        return false;
    m_committed.store(true);
    return true;
}

bool COnlineRestore::StoreRecords()
{
    const int count = (int)m_records.size();
    if (m_pProgress)
        m_pProgress->ProcessMessage(
            new CProgressRecord(CProgressRecord::KIND_START, CProgressRecord::FLAG_VALUE, count));
    const DWORD start = GetTickCount();
    int done = 0;
    bool ok = m_bToBackupFile ? StoreIntoBackupFile(done) : StoreIntoCentral(done);
    const bool stopped = !ok && m_cancel.load();
    LogFormat(stopped ? L"On-line restore aborted: %d (%dms)" : L"On-line restore: %d (%dms)", done,
              (int)(GetTickCount() - start));
    if (!ok)
        LogLine(m_bToBackupFile ? L"On-line restore: nothing was written, the backup file is as it was"
                                : L"On-line restore: rolled back, the central table is as it was");
    ReportEnd(ok, stopped);
    return ok;
}
