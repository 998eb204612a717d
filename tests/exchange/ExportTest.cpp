// The exporters through the case store: byte-exact files over a SQLite file
// standing in for the central table and over the test SQL server, and the
// failures that must leave the previous file as it was.
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>
#include "../storage/StorageTestSupport.h"
#include "TestSqlServer.h"
#include "exchange/Exporter.h"
#include "foundation/Conversions.h"
#include "foundation/Log.h"
#include "storage/ConnectionManagerSqlServer.h"
#include "storage/CtUgyirat_SqlServer.h"
#include "storage/UgyiratStore.h"
#include "support/TestSupport.h"
#include "support/WindowDriver.h"

namespace {

using namespace testing_support;
using oledb_standin::CTestSqlServer;

enum Format { kCsv, kHtml, kRtf };
const Format kFormats[] = {kCsv, kHtml, kRtf};

const char* FormatName(Format f)
{
    return f == kCsv ? "text" : f == kHtml ? "HTML" : "RTF";
}

bool ExportAs(CUgyiratStore& store, Format f, LPCWSTR path)
{
    return f == kCsv ? store.ExportCsv(path) : f == kHtml ? store.ExportHtml(path) : store.ExportRtf(path);
}

// Expected files are written as wide text and turned into code page 1250 here.
std::string Cp1250(LPCWSTR text)
{
    CStringA bytes = WideToCp1250(text);
    return std::string(bytes.GetString(), bytes.GetLength());
}

const std::string kHtmlHeader = Cp1250(
    L"<html>\r\n"
    L"  <head>\r\n"
    L"    <title>Folionex</title>\r\n"
    L"    <style type = \"text/css\">\r\n"
    L"      table { background-color: #eeeeee; }\r\n"
    L"      th { background-color: #888888; color: #ffffff; padding: 3px; }\r\n"
    L"      tr { background-color: #cccccc; padding: 3px; }\r\n"
    L"    </style>\r\n"
    L"  </head>\r\n"
    L"  <body>\r\n"
    L"    <table>\r\n"
    L"      <tr><th>Év</th><th>Iktatószám</th><th>Ügyfél</th><th>Ellenfél</th><th>Ügyirat jellege</th>"
    L"<th>Megjegyzés</th></tr>\r\n");
const std::string kHtmlFooter = " </table>\r\n</body>\r\n</html>\r\n";

std::string RtfRowPrefix()
{
    std::string cells;
    for (const char* edge : {"500", "1000", "4000", "7000", "9000", "10800"})
        cells += std::string(R"(\clbrdrl\brdrw10\brdrs\clbrdrt\brdrw10\brdrs\clbrdrr\brdrw10\brdrs)"
                             R"(\clbrdrb\brdrw10\brdrs \cellx)") + edge;
    return R"(\trowd\trgaph70\trleft-108\trbrdrl\brdrs\brdrw10 \trbrdrt\brdrs\brdrw10 )"
           R"(\trbrdrr\brdrs\brdrw10 \trbrdrb\brdrs\brdrw10 \trpaddl70\trpaddr70\trpaddfl3\trpaddfr3)"
           "\r\n" + cells + R"(\pard\intbl)";
}

const std::string kRtfHeader =
    R"({\rtf1\ansi\ansicpg1250\deff0\deflang1038\deflangfe1038\deftab708{\fonttbl{\f0\froman\fprq2\fcharset238)"
    R"({\*\fname Times New Roman;}Times New Roman CE;}{\f1\fswiss\fprq2\fcharset238 Calibri;}})"
    R"(\paperw12240\paperh15840\margl720\margr720\margt720\margb720)" "\r\n"
    R"({\*\generator Folionex 1.0.0.0;}\viewkind4\uc1)" + RtfRowPrefix() +
    R"(\f1\fs22 \'c9v\cell Iktat\'f3sz\'e1m\cell \'dcgyf\'e9l\cell Ellenf\'e9l\cell \'dcgyirat\cell )"
    R"(Megjegyz\'e9s\cell\row)";
const std::string kRtfFooter = "\\pard\\sa200\\sl276\\slmult1\\par\r\n}\r\n";

// One case row as each format writes it; the texts as they must come out.
std::string Row(Format f, int ev, int nr, const std::vector<std::string>& t)
{
    std::string e = std::to_string(ev), n = std::to_string(nr);
    switch (f) {
    case kCsv:
        return e + "\t" + n + "\t\"" + t[0] + "\"\t\"" + t[1] + "\"\t\"" + t[2] + "\"\t\"" + t[3] + "\"\r\n";
    case kHtml:
        return "  <tr><td>" + e + "</td><td>" + n + "</td><td>" + t[0] + "</td><td>" + t[1] + "</td><td>" + t[2] +
               "</td><td>" + t[3] + "</td></tr>\r\n";
    default:
        return RtfRowPrefix() + " " + e + "\\cell " + n + "\\cell " + t[0] + "\\cell " + t[1] + "\\cell " + t[2] +
               "\\cell " + t[3] + "\\cell\\row";
    }
}

std::string File(Format f, const std::string& rows)
{
    return f == kCsv ? rows : f == kHtml ? kHtmlHeader + rows + kHtmlFooter : kRtfHeader + rows + kRtfFooter;
}

const char kOldBytes[] = "the previous export\r\n";

// The exporters' temporary files ("~fnx*.tmp") in the folder of a file.
std::vector<std::wstring> Temporaries(const CString& file)
{
    CString folder = file.Left(file.ReverseFind(L'\\') + 1);
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(folder + L"~fnx*.tmp", &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

const std::vector<std::wstring> kNone;

class ExportTest : public ::testing::Test
{
protected:
    ExportTest() : env(L"ExportTest") {}

    void SetUp() override
    {
        ASSERT_EQ(GetACP(), 1250u) << "the test prefix runs with a Hungarian locale";
        LogSetPrefix(NULL);
        LogResetPath();
        logPath = env.Folder() + AfxGetApp()->m_pszAppName + L".log";
        centralPath = env.Folder() + L"central.db";
        target = env.Folder() + L"export.out";
        auto central = MakeCentralTable(centralPath);
        ASSERT_TRUE(central);
        table = new CFailingTable(central.release());
        store.reset(new CUgyiratStore(table));
    }

    void AddCentral(const CUgyiratRecord& r)
    {
        CtUgyirat_Sqlite t;
        t.SetPath(centralPath);
        ASSERT_TRUE(t.Insert(r));
    }

    void ClearCentral()
    {
        CtUgyirat_Sqlite t;
        t.SetPath(centralPath);
        ASSERT_TRUE(t.Exec(L"DELETE FROM tUgyirat;"));
    }

    // The failure left the previous file, no temporary file, and a log line.
    void ExpectKept(const char* what)
    {
        SCOPED_TRACE(what);
        EXPECT_EQ(ReadFileBytes(target), kOldBytes);
        EXPECT_EQ(Temporaries(target), kNone);
        bool logged = false;
        for (const std::wstring& line : ReadLogTexts(logPath))
            if (line.rfind(L"Export failed! " + std::wstring(target), 0) == 0 &&
                line.find(L"the previous file is kept") != std::wstring::npos)
                logged = true;
        EXPECT_TRUE(logged);
    }

    CStorageEnvironment env;
    CString logPath, centralPath, target;
    CFailingTable* table = nullptr;
    std::unique_ptr<CUgyiratStore> store;
};

TEST_F(ExportTest, EachFormatWritesItsBytes)
{
    const std::wstring many(200, L'&'), slashes(200, L'\\');
    struct Case
    {
        const char* name;
        std::vector<CUgyiratRecord> records;
        // Per format: the texts of each record as the file holds them.
        std::function<std::string(Format)> rows;
    } cases[] = {
        {"an empty register", {}, [](Format) { return std::string(); }},
        {"one case with accented letters",
         {MakeRecord(2024, 7, L"Kovács Ödön", L"", L"Polgári per", L"első tárgyalás ŰŐűő")},
         [](Format f) {
             return Row(f, 2024, 7, {"Kov\xE1" "cs \xD6" "d\xF6n", "", "Polg\xE1ri per",
                                     "els\xF5 t\xE1rgyal\xE1s \xDB\xD5\xFB\xF5"});
         }},
        {"a double quote becomes an apostrophe",
         {MakeRecord(2024, 1, L"A \"Bé\" Kft.", L"\"", L"x", L"\"\"")},
         [](Format f) { return Row(f, 2024, 1, {Cp1250(L"A 'Bé' Kft."), "'", "x", "''"}); }},
        {"markup characters",
         {MakeRecord(2023, 12, L"<b>Kiss & Tsa</b>", L"C:\\Ügyek\\{új}", L"[UgyiratX] [NrX]", L"&amp;")},
         [](Format f) {
             if (f == kHtml)
                 return Row(f, 2023, 12, {"&lt;b&gt;Kiss &amp; Tsa&lt;/b&gt;", Cp1250(L"C:\\Ügyek\\{új}"),
                                          "[UgyiratX] [NrX]", "&amp;amp;"});
             if (f == kRtf)
                 return Row(f, 2023, 12, {"<b>Kiss & Tsa</b>", Cp1250(L"C:\\\\Ügyek\\\\\\{új\\}"),
                                          "[UgyiratX] [NrX]", "&amp;"});
             return Row(f, 2023, 12, {"<b>Kiss & Tsa</b>", Cp1250(L"C:\\Ügyek\\{új}"), "[UgyiratX] [NrX]",
                                      "&amp;"});
         }},
        {"a client named like a placeholder",
         {MakeRecord(2024, 3, L"[UgyiratX]", L"[EvX]", L"Büntető", L"[MegjegyzesX]")},
         [](Format f) { return Row(f, 2024, 3, {"[UgyiratX]", "[EvX]", Cp1250(L"Büntető"), "[MegjegyzesX]"}); }},
        {"the longest texts, every character escaped",
         {MakeRecord(2024, 65535, many.c_str(), slashes.c_str(), L"{", L"}")},
         [](Format f) {
             std::string amp(200, '&'), bs(200, '\\');
             if (f == kHtml) {
                 std::string amps;
                 for (int i = 0; i < 200; ++i)
                     amps += "&amp;";
                 return Row(f, 2024, 65535, {amps, bs, "{", "}"});
             }
             if (f == kRtf)
                 return Row(f, 2024, 65535, {amp, bs + bs, "\\{", "\\}"});
             return Row(f, 2024, 65535, {amp, bs, "{", "}"});
         }},
        {"line breaks: RTF line breaks in the RTF, as they are elsewhere",
         {MakeRecord(2024, 5, L"első\r\nmásodik", L"a\nb", L"c\rd", L"e\n\rf\r\n\r\ng")},
         [](Format f) {
             if (f == kRtf)
                 return Row(f, 2024, 5, {Cp1250(L"első\\line második"), "a\\line b", "c\\line d",
                                         "e\\line \\line f\\line \\line g"});
             return Row(f, 2024, 5, {Cp1250(L"első\r\nmásodik"), "a\nb", "c\rd", "e\n\rf\r\n\r\ng"});
         }},
        {"rows in the table's order",
         {MakeRecord(2024, 2, L"b"), MakeRecord(2023, 9, L"a"), MakeRecord(2024, 1, L"c")},
         [](Format f) {
             std::string kind = Cp1250(L"Polgári"), party = Cp1250(L"Ellenfél");
             return Row(f, 2024, 2, {"b", party, kind, ""}) + Row(f, 2023, 9, {"a", party, kind, ""}) +
                    Row(f, 2024, 1, {"c", party, kind, ""});
         }},
    };
    for (const Case& c : cases) {
        ClearCentral();
        for (const CUgyiratRecord& r : c.records)
            AddCentral(r);
        for (Format f : kFormats) {
            SCOPED_TRACE(std::string(c.name) + ", " + FormatName(f));
            WriteFileBytes(target, kOldBytes);
            ASSERT_TRUE(ExportAs(*store, f, target));
            EXPECT_EQ(ReadFileBytes(target), File(f, c.rows(f)));
            EXPECT_EQ(Temporaries(target), kNone);
        }
    }
}

TEST_F(ExportTest, TheRtfRowTemplateIsItsOwnLength)
{
    AddCentral(MakeRecord(1, 2, L"", L"", L"", L""));
    ASSERT_TRUE(store->ExportRtf(target));
    std::string bytes = ReadFileBytes(target);
    ASSERT_GT(bytes.size(), kRtfHeader.size() + kRtfFooter.size());
    // The placeholders' 53 characters gave way to "1", "2" and four empty texts.
    EXPECT_EQ(bytes.size() - kRtfHeader.size() - kRtfFooter.size(), 858u - 53u + 2u);
}

// A read or write that fails keeps the previous file.
TEST_F(ExportTest, AFailedReadKeepsThePreviousFile)
{
    for (int i = 1; i <= 3; ++i)
        AddCentral(MakeRecord(2024, i, L"Kiss"));
    struct Case
    {
        const char* name;
        std::function<void(CFailingTable&)> prepare;
    } cases[] = {
        {"the select fails", [](CFailingTable& t) { t.failOpen = true; }},
        {"the read breaks off after two rows", [](CFailingTable& t) { t.failReadAfter = 2; }},
        {"the read breaks off at once", [](CFailingTable& t) { t.failReadAfter = 0; }},
    };
    for (const Case& c : cases)
        for (Format f : kFormats) {
            table->failOpen = false;
            table->failReadAfter = -1;
            c.prepare(*table);
            DeleteFileW(logPath);
            WriteFileBytes(target, kOldBytes);
            EXPECT_FALSE(ExportAs(*store, f, target));
            ExpectKept((std::string(c.name) + ", " + FormatName(f)).c_str());
        }
}

TEST_F(ExportTest, AFileThatCannotBeWrittenKeepsThePreviousOne)
{
    AddCentral(MakeRecord(2024, 1, L"Kiss"));
    for (Format f : kFormats) {
        SCOPED_TRACE(FormatName(f));
        // Held open by another program without sharing: the replace fails.
        WriteFileBytes(target, kOldBytes);
        DeleteFileW(logPath);
        HANDLE held = CreateFileW(target, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(ExportAs(*store, f, target));
        CloseHandle(held);
        ExpectKept("target held open");

        // The temporary file cannot be made: the folder is missing.
        CString missing = env.Folder() + L"nincs\\export.out";
        EXPECT_FALSE(ExportAs(*store, f, missing));
        EXPECT_FALSE(FileExists(missing));
        EXPECT_EQ(Temporaries(target), kNone);
    }
}

// Every file this program opens, in order; before each is opened, the
// test's own step for it (when set).
std::vector<std::wstring> g_opened;
std::function<void(LPCWSTR name, DWORD disposition)> g_beforeOpen;

HANDLE WINAPI RecordCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE templateFile)
{
    static const auto real = reinterpret_cast<decltype(&CreateFileW)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateFileW")));
    if (name) {
        g_opened.push_back(name);
        if (g_beforeOpen)
            g_beforeOpen(name, disposition);
    }
    return real(name, access, share, security, disposition, flags, templateFile);
}

// The file of the one case "Kiss" of the two tests below.
std::string Exported(Format f)
{
    return File(f, Row(f, 2024, 1, {"Kiss", Cp1250(L"Ellenfél"), Cp1250(L"Polgári"), ""}));
}

// The export writes a file of its own beside the target: a user's file of
// any name there, "<target>.new" included, is neither written nor deleted,
// by a good export or a failed one, and a name that is taken is passed over.
TEST_F(ExportTest, TheTemporaryFileIsANewOneOfItsOwn)
{
    AddCentral(MakeRecord(2024, 1, L"Kiss"));
    const std::string mine = "the user's own file\r\n";
    const CString users = target + L".new";
    for (Format f : kFormats) {
        SCOPED_TRACE(FormatName(f));
        WriteFileBytes(users, mine);
        WriteFileBytes(target, kOldBytes);
        ASSERT_TRUE(ExportAs(*store, f, target));
        EXPECT_EQ(ReadFileBytes(target), Exported(f));
        EXPECT_EQ(ReadFileBytes(users), mine);
        EXPECT_EQ(Temporaries(target), kNone);

        table->failReadAfter = 0;
        EXPECT_FALSE(ExportAs(*store, f, target));
        table->failReadAfter = -1;
        EXPECT_EQ(ReadFileBytes(users), mine);
        EXPECT_EQ(Temporaries(target), kNone);

        // The first name the export picks is taken by the time it asks for it.
        CString taken;
        g_beforeOpen = [&](LPCWSTR name, DWORD disposition) {
            CString path(name);
            if (taken.IsEmpty() && disposition == CREATE_NEW && path.Find(L"~fnx") >= 0) {
                taken = path;
                g_beforeOpen = nullptr;
                ASSERT_TRUE(WriteFileBytes(taken, mine));
            }
        };
        CImportHook hook("kernel32.dll", "CreateFileW", reinterpret_cast<void*>(&RecordCreateFileW));
        ASSERT_TRUE(hook.Hooked());
        EXPECT_TRUE(ExportAs(*store, f, target));
        g_beforeOpen = nullptr;
        ASSERT_FALSE(taken.IsEmpty());
        EXPECT_EQ(ReadFileBytes(taken), mine);
        EXPECT_EQ(Temporaries(target), std::vector<std::wstring>{taken.Mid(taken.ReverseFind(L'\\') + 1).GetString()});
        EXPECT_EQ(ReadFileBytes(target), Exported(f));
        DeleteFileW(taken);
    }
    DeleteFileW(users);
}

// A target whose path is as long as the system's limit allows: the
// temporary file's path keeps within the limit too, or takes the
// extended-length form that has none.
TEST_F(ExportTest, ATargetAtTheLengthLimitHasATemporaryFileTheSystemTakes)
{
    AddCentral(MakeRecord(2024, 1, L"Kiss"));
    // A folder and a name of 12 characters that reach the limit.
    CString folder = env.Folder();
    folder += CString(std::wstring(MAX_PATH - 1 - 13 - folder.GetLength(), L'h').c_str());
    ASSERT_TRUE(CreateDirectoryW(folder, NULL));
    const CString longTarget = folder + L"\\Folionex.out";
    ASSERT_EQ(longTarget.GetLength(), MAX_PATH - 1);
    for (Format f : kFormats) {
        SCOPED_TRACE(FormatName(f));
        WriteFileBytes(longTarget, kOldBytes);
        g_opened.clear();
        {
            CImportHook hook("kernel32.dll", "CreateFileW", reinterpret_cast<void*>(&RecordCreateFileW));
            ASSERT_TRUE(hook.Hooked());
            ASSERT_TRUE(ExportAs(*store, f, longTarget));
        }
        int temporaries = 0;
        for (const std::wstring& path : g_opened) {
            // The files opened in the long folder besides the target.
            if (path.find(L"\\hhh") == std::wstring::npos || path == longTarget.GetString())
                continue;
            ++temporaries;
            EXPECT_TRUE(path.size() < MAX_PATH || path.rfind(L"\\\\?\\", 0) == 0) << CStringA(path.c_str()).GetString();
        }
        EXPECT_GT(temporaries, 0);
        EXPECT_EQ(ReadFileBytes(longTarget), Exported(f));
        EXPECT_EQ(Temporaries(longTarget), kNone);
    }
    DeleteFileW(longTarget);
    RemoveDirectoryW(folder);
}

// The exporters with a file layer that fails its n-th write, in full or
// after half of the bytes (a full device).
template <class Base>
class CFailingWrite : public Base
{
public:
    int failAt = 0;
    bool shortWrite = false;
    int writes = 0;

protected:
    BOOL WriteBytes(const void* data, DWORD size, DWORD* written) override
    {
        if (++writes != failAt)
            return Base::WriteBytes(data, size, written);
        if (!shortWrite) {
            SetLastError(ERROR_DISK_FULL);
            *written = 0;
            return FALSE;
        }
        return Base::WriteBytes(data, size / 2, written);
    }
};

template <class Exporter>
void ExpectWriteFailures(CRDBTable* table, const CString& target, int writes)
{
    for (int failAt = 1; failAt <= writes; ++failAt)
        for (bool shortWrite : {false, true}) {
            SCOPED_TRACE(testing::Message() << "write " << failAt << (shortWrite ? " short" : " failed"));
            WriteFileBytes(target, kOldBytes);
            CFailingWrite<Exporter> exporter;
            exporter.failAt = failAt;
            exporter.shortWrite = shortWrite;
            EXPECT_FALSE(exporter.Export(table, target));
            EXPECT_EQ(exporter.writes, failAt) << "nothing is written after a failed write";
            EXPECT_EQ(ReadFileBytes(target), kOldBytes);
            EXPECT_EQ(Temporaries(target), kNone);
        }
}

TEST_F(ExportTest, AFailedOrShortWriteKeepsThePreviousFile)
{
    for (int i = 1; i <= 3; ++i)
        AddCentral(MakeRecord(2024, i, L"Kiss"));
    // Three rows; HTML and RTF add their header and footer.
    ExpectWriteFailures<CExporterCSV>(table, target, 3);
    ExpectWriteFailures<CExporterHtml>(table, target, 5);
    ExpectWriteFailures<CExporterRtf>(table, target, 5);
    bool logged = false;
    for (const std::wstring& line : ReadLogTexts(logPath))
        if (line.find(L"a row cannot be written (error 112)") != std::wstring::npos)
            logged = true;
    EXPECT_TRUE(logged);
}

// ---------------------------------------------------------------------------
// Over the central table of the test SQL server

class CentralExportTest : public ::testing::Test
{
protected:
    CentralExportTest() : env(L"CentralExportTest") {}

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
        LogResetPath();
        manager.LoadSettings();
        CConnectionManagerSqlServer::SetApplicationManager(&manager);
        ASSERT_TRUE(server.CreateDatabase(L"Folionex"));
        ASSERT_TRUE(server.CreateCaseTable(L"Folionex"));
        store.reset(new CUgyiratStore(new CtUgyirat_SqlServer));
        store->SetCentralConnection(&manager);
        target = env.Folder() + L"export.out";
        CreateDirectoryW(env.Folder(), NULL);
    }

    void TearDown() override
    {
        store.reset();
        CConnectionManagerSqlServer::SetApplicationManager(NULL);
        CoUninitialize();
    }

    CStorageEnvironment env;
    CConnectionManagerSqlServer manager;
    CTestSqlServer server;
    std::unique_ptr<CUgyiratStore> store;
    CString target;
};

// The central table keeps every UTF-16 text, so what a file shows for a
// character the code page lacks is the exporter's own conversion: one
// default character, also for a character outside the basic plane (a pair
// of surrogates), and never a best-fit letter.
TEST_F(CentralExportTest, ACharacterTheCodePageLacksBecomesItsDefaultCharacter)
{
    ASSERT_TRUE(store->Insert(MakeRecord(2024, 1, L"Ωmega ā", L"Ő", L"αβ", L"")));
    ASSERT_TRUE(store->Insert(
        MakeRecord(2024, 2, L"A\xD83D\xDE00" L"B", L"\xD83D\xDE00\xD83D\xDE00", L"õ ŏ", L"x \xD83D\xDE00 ő")));
    for (Format f : kFormats) {
        SCOPED_TRACE(FormatName(f));
        ASSERT_TRUE(ExportAs(*store, f, target));
        EXPECT_EQ(ReadFileBytes(target), File(f, Row(f, 2024, 1, {"?mega ?", "\xD5", "??", ""}) +
                                                     Row(f, 2024, 2, {"A?B", "??", "? ?", "x ? \xF5"})));
    }
}

TEST_F(CentralExportTest, AServerThatFailsKeepsThePreviousFile)
{
    for (int i = 1; i <= 5; ++i)
        ASSERT_TRUE(store->Insert(MakeRecord(2024, i, L"Kiss")));
    struct Case
    {
        const char* name;
        std::function<void(CTestSqlServer&)> prepare;
    } cases[] = {
        {"server down", [](CTestSqlServer& s) { s.SetDown(true); }},
        {"the read breaks off after two rows",
         [](CTestSqlServer& s) {
             CTestSqlServer::Failure failure;
             failure.statement = L"tUgyirat";
             failure.at = CTestSqlServer::kAtGetNextRows;
             failure.afterRows = 2;
             s.FailStatement(failure);
         }},
    };
    for (const Case& c : cases)
        for (Format f : kFormats) {
            SCOPED_TRACE(std::string(c.name) + ", " + FormatName(f));
            server.SetDown(false);
            server.ClearFailure();
            c.prepare(server);
            WriteFileBytes(target, kOldBytes);
            EXPECT_FALSE(ExportAs(*store, f, target));
            EXPECT_EQ(ReadFileBytes(target), kOldBytes);
            EXPECT_EQ(Temporaries(target), kNone);
        }
}

} // namespace
