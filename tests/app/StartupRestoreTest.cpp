// "Letöltés" at start-up with the real program: the account's backup comes
// from the web-service stand-in into the local backup file and the main
// window opens offline with it; a download cut short ends the program and
// leaves the backup file as it was.
#include "StartupTestSupport.h"
#include "exchange/ExporterXml.h"
#include "online/TransferManager.h"
#include "support/WebServiceControl.h"
#include "tests/online/PasswordVectors.h"

namespace {

using namespace testing_support;
using namespace startup_test;

const wchar_t kAccount[] = L"iroda.teszt";
const wchar_t kTransferTitle[] = L"A on-line mentés visszatöltése";
const wchar_t kLoaderTitle[] = L"Adatok betöltése";
const wchar_t kPasswordDialog[] = L"Online mentés titkosítása";

// Presses the progress dialog's button once it shows the caption.
Answer PressWhenShown(LPCWSTR caption)
{
    std::wstring want = caption;
    Answer answer;
    answer.act = [want](HWND dialog, DWORD) {
        HWND button = GetDlgItem(dialog, IDCANCEL);
        if (WaitForCaption(button, want))
            PostMessageW(button, BM_CLICK, 0, 0);
    };
    return answer;
}

class StartupRestoreTest : public StartupTest
{
protected:
    void SetUp() override
    {
        StartupTest::SetUp();
        ASSERT_TRUE(StandIn(L"/_control/reset")) << "the web-service stand-in does not answer";
    }

    // The instance set up for the online backup: the stand-in's address, the
    // account and the stored password.
    void OnlineAccount()
    {
        SetText(L"Iroda", L"Server", L"http://127.0.0.1/");
        SetText(L"Iroda", L"AccountId", kAccount);
        SetText(L"Iroda", L"OMPassword", password_vectors::kOldLetters);
    }

    // Uploads a backup of `count` cases for the account, made as the
    // program makes one, with the stored password.
    void UploadBackup(int count)
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        const CString folder = CString(temp) + L"startup-restore\\";
        SHCreateDirectoryExW(NULL, folder, NULL);
        {
            CtUgyirat_Sqlite table;
            ASSERT_TRUE(table.CreateDatabaseAt(folder + L"cases.db"));
            table.SetPath(folder + L"cases.db");
            ASSERT_TRUE(table.BeginBulkInsert());
            for (int i = 1; i <= count; ++i) {
                CUgyiratRecord r;
                ZeroRecord(r);
                r.Ev = 2022;
                r.Nr = i;
                r.Allapot = i % 2;
                CopyField(r.UgyfelNeve, L"Letöltött ügyfél");
                r.Datum.year = 2022;
                r.Datum.month = 3;
                r.Datum.day = 4;
                ASSERT_TRUE(table.Insert(r));
            }
            ASSERT_TRUE(table.EndBulkInsert());
            table.Close();
            CExporterXml exporter;
            ASSERT_TRUE(exporter.Export(&table, folder + L"cases.xml"));
        }
        CTransferManager transfer;
        transfer.AddEncrypt(folder + L"cases.xml", folder + L"cases.enc", password_vectors::kOld);
        transfer.AddCreateZIP(folder + L"cases.zip", folder + L"cases.enc");
        transfer.AddUpload(CString(L"http://127.0.0.1/VApi/UploadDB.aspx?") + kAccount, folder + L"cases.zip");
        CString texts[CTransferManager::TEXT_COUNT];
        ASSERT_TRUE(transfer.RunSilently(NULL, texts));
        for (LPCWSTR name : {L"cases.db", L"cases.xml", L"cases.enc", L"cases.zip", L"cases.zip.ulog"})
            DeleteFileW(folder + name);
        RemoveDirectoryW(folder);
    }

    CString BackupPath() { return DataFolderPath(L"Iroda") + L"Folionex.bkp"; }

    // Files a restore into the backup file might leave behind.
    int TemporaryFiles()
    {
        int n = 0;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW(DataFolderPath(L"Iroda") + L"*", &data);
        if (find == INVALID_HANDLE_VALUE)
            return 0;
        do {
            std::wstring name = data.cFileName;
            if (name.compare(0, 4, L"~fnx") == 0 || name.find(L"-journal") != std::wstring::npos)
                ++n;
        } while (FindNextFileW(find, &data));
        FindClose(find);
        return n;
    }
};

TEST_F(StartupRestoreTest, DownloadOpensTheMainWindowOfflineWithTheRestoredCases)
{
    struct Case {
        const char* name;
        DWORD online;                       // "Online" before the start
        std::vector<std::wstring> shown;    // the boxes and dialogs in turn
    } cases[] = {
        {"online, nothing loads (M2)", 1, {kCentralCaption, kTransferTitle, kLoaderTitle}},
        {"offline, no backup file (M3)", 0, {kOfflineCaption, kPasswordDialog, kTransferTitle, kLoaderTitle}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Clean();
        shown.clear();
        sawMainWindow = false;
        ASSERT_TRUE(StandIn(L"/_control/reset"));
        server.Reset();
        server.SetDown(true);
        SetValue(L"Iroda", L"Online", c.online);
        OnlineAccount();
        UploadBackup(25);

        EXPECT_EQ(Run(L"Iroda", {{c.shown[0], Answer{{IDNO}}}, // "Letöltés"
                                 {kPasswordDialog, Answer{{IDOK}}},
                                 {kTransferTitle, PressWhenShown(L"Tovább")},
                                 {kLoaderTitle, PressWhenShown(L"OK")}}),
                  0u);
        EXPECT_EQ(shown, c.shown);
        EXPECT_TRUE(sawMainWindow);
        EXPECT_EQ(Number(L"Iroda", L"Online"), 0u);
        auto log = LogTexts(L"Iroda");
        EXPECT_TRUE(HasLine(log, L"On-line restore: 25 ("));
        EXPECT_TRUE(HasLine(log, L"Load from backup " + std::wstring(BackupPath()) + L" 25"));
        EXPECT_EQ(log.back(), L"Exit instance");
        EXPECT_EQ(TemporaryFiles(), 0);
        EXPECT_NE(Number(L"Iroda", L"OMLastBackup"), 0xDEADu);
    }
}

TEST_F(StartupRestoreTest, ACutDownloadEndsTheProgramAndKeepsTheBackupFile)
{
    // A backup file the program cannot read: it stays as it is.
    server.SetDown(true);
    OnlineAccount();
    UploadBackup(25);
    SHCreateDirectoryExW(NULL, DataFolderPath(L"Iroda"), NULL);
    const std::string unreadable = "no database here";
    ASSERT_TRUE(WriteFileBytes(BackupPath(), unreadable));
    ASSERT_TRUE(StandIn(L"/_control/fault", "path=/VApi/Backup.aspx\nmode=cut\nafter=100\n"));

    std::vector<std::wstring> messageTexts;
    Answer message;
    message.act = [&](HWND box, DWORD) {
        messageTexts = ChildTexts(box, L"Static");
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    };
    EXPECT_EQ(Run(L"Iroda", {{kCentralCaption, Answer{{IDNO}}}, // "Letöltés"
                             {kTransferTitle, PressWhenShown(L"Kilép")},
                             {L"Folionex", message}}),
              0u);
    EXPECT_EQ(shown, (std::vector<std::wstring>{kCentralCaption, kTransferTitle, L"Folionex"}));
    const std::wstring notObtained = L"A mentett adatok megszerzése nem sikerült!";
    EXPECT_NE(std::find(messageTexts.begin(), messageTexts.end(), notObtained), messageTexts.end());
    EXPECT_FALSE(sawMainWindow);
    EXPECT_EQ(ReadFileBytes(BackupPath()), unreadable);
    EXPECT_EQ(TemporaryFiles(), 0);
    EXPECT_EQ(Number(L"Iroda", L"OMLastBackup"), 0xDEADu);
    EXPECT_EQ(LogTexts(L"Iroda").back(), L"Exit instance");
}

} // namespace
