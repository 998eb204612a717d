#include "online/OnlineBackup.h"
#include <time.h>
#include <memory>
#include "foundation/AppSettings.h"
#include "foundation/Conversions.h"
#include "foundation/Log.h"
#include "online/TransferManager.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/CtUgyirat_SqlServer.h"
#include "storage/DatabaseContext.h"
#include "storage/UgyiratStore.h"

namespace {

const CString kBackupTexts[CTransferManager::TEXT_COUNT] = {
    L"On-line mentés",
    L"Az iktatási adatok on-line mentése",
    L"A mentés sikeresen befejeződött!",
    L"Kattintson az OK gombra a folytatásához!",
    L"OK",
    L"A mentést megszakította!",
    L"Kattintson az Kilép gombra a befejezéshez!",
    L"Kilép",
};

bool IsUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

} // namespace

CString COnlineBackup::EncodeQueryText(LPCWSTR text)
{
    CStringA utf8 = WideToUtf8(text ? text : L"");
    CString result;
    for (int i = 0; i < utf8.GetLength(); ++i) {
        char c = utf8[i];
        if (IsUnreserved(c))
            result += (wchar_t)c;
        else
            result.AppendFormat(L"%%%02X", (unsigned)(unsigned char)c);
    }
    return result;
}

CString COnlineBackup::ServiceUrl(LPCWSTR page)
{
    CAppSettings* settings = GetAppSettings();
    CString url = settings ? settings->GetServerUrl() : CString(CAppSettings::kDefaultServerUrl);
    url += page;
    url += L"?";
    url += EncodeQueryText(settings ? (LPCWSTR)settings->GetAccountId() : L"");
    return url;
}

int COnlineBackup::Upload(CWnd* pParent)
{
    CAppSettings* settings = GetAppSettings();
    if (!settings)
        return RESULT_NO_PASSWORD;
    CString password = settings->GetOnlineBackupPassword(0);
    if (password.IsEmpty())
        return RESULT_NO_PASSWORD;

    SYSTEMTIME now;
    GetLocalTime(&now);
    CString base;
    base.Format(L"%sdb_%d_%d%02d%02d", (LPCWSTR)settings->GetDataFolder(), 2, now.wYear, now.wMonth, now.wDay);
    const CString xml = base + L".xml", enc = base + L".enc", zip = base + L".zip";

    // The store's own table belongs to the UI thread: the export connects
    // on its own, with the connection string copied here.
    CDatabaseContext* context = CDatabaseContext::GetApplicationContext();
    CConnectionManagerSqlServer* manager = CConnectionManagerSqlServer::GetApplicationManager();
    if (!context || !context->m_pStore || !manager) {
        LogLine(L"On-line backup: there is no case store to export");
        return RESULT_EXPORT_FAILED;
    }
    const CString connection = manager->GetConnectionString();
    std::unique_ptr<CtUgyirat_SqlServer> table(new CtUgyirat_SqlServer(connection));
    if (!context->m_pStore->ExportXml(xml, table.get())) {
        LogFormat(L"On-line backup: the backup XML %s was not written", (LPCWSTR)xml);
        return RESULT_EXPORT_FAILED;
    }
    table.reset();

    CTransferManager transfer;
    transfer.AddEncrypt(xml, enc, password);
    transfer.AddCreateZIP(zip, enc);
    transfer.AddUpload(ServiceUrl(L"VApi/UploadDB.aspx"), zip);
    if (pParent) {
        if (!transfer.RunWithDialog(pParent, kBackupTexts, false)) {
            LogLine(L"On-line backup: the transfer failed or was aborted");
            return RESULT_DIALOG_FAILED;
        }
    } else if (!transfer.RunSilently(settings->GetMainWindow(), kBackupTexts)) {
        LogLine(L"On-line backup: the transfer failed");
        return RESULT_SILENT_FAILED;
    }
    settings->WriteProfileInt(L"OMLastBackup", (int)(DWORD)time(NULL));
    return RESULT_OK;
}
