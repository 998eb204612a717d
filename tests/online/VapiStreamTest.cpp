// The web-service client's parts that need no server: byte streams, URL
// splitting and reply parsing.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "TempFolder.h"
#include "foundation/AppSettings.h"
#include "foundation/Log.h"
#include "online/VapiReply.h"
#include "online/VapiRequest.h"
#include "online/VapiStream.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;

std::string Bytes(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = (char)(i * 7 + 1);
    return s;
}

// ---------------------------------------------------------------------------
// Memory stream

TEST(VapiMemoryStream, CapacityIsThePowerOfTwoAtOrAboveTheSize)
{
    struct {
        DWORD size, capacity;
    } cases[] = {{0, 1}, {1, 1}, {2, 2}, {3, 4}, {4096, 4096}, {4097, 8192}, {100000, 131072}};
    for (const auto& c : cases) {
        CVapiMemoryStream s(c.size);
        EXPECT_EQ(s.Capacity(), c.capacity) << c.size;
        EXPECT_EQ(s.Length(), 0);
        EXPECT_EQ(s.Transferred(), 0);
    }
    CVapiMemoryStream byDefault;
    EXPECT_EQ(byDefault.Capacity(), 4096u);
}

TEST(VapiMemoryStream, WritesGrowByDoublingAndReadsTakeFromTheFront)
{
    CVapiMemoryStream s(0);
    std::string data = Bytes(25);
    EXPECT_TRUE(s.Write(data.data(), 0));
    EXPECT_TRUE(s.Write(data.data(), 25));
    EXPECT_EQ(s.Length(), 25);
    EXPECT_EQ(s.Capacity(), 32u);

    char out[10];
    DWORD count = 0;
    ASSERT_TRUE(s.Read(out, 10, &count));
    EXPECT_EQ(count, 10u);
    EXPECT_EQ(std::string(out, 10), data.substr(0, 10));
    EXPECT_EQ(s.Length(), 15);
    EXPECT_EQ(s.Transferred(), 10);
    EXPECT_EQ(std::string((const char*)s.Data(), 15), data.substr(10));

    std::string big = Bytes(70000);
    EXPECT_TRUE(s.Write(big.data(), (DWORD)big.size()));
    EXPECT_EQ(s.Capacity(), 131072u);
    EXPECT_EQ(std::string((const char*)s.Data(), s.Length()), data.substr(10) + big);

    char rest[80000];
    ASSERT_TRUE(s.Read(rest, sizeof(rest), &count));
    EXPECT_EQ(count, 70015u);
    ASSERT_TRUE(s.Read(rest, sizeof(rest), &count));
    EXPECT_EQ(count, 0u) << "nothing held: true with 0";
    EXPECT_EQ(s.Transferred(), 70025);
}

TEST(VapiMemoryStream, RefusesToGrowPastTheLimit)
{
    CVapiMemoryStream s(16);
    char byte = 'x';
    // The length alone decides; no byte is read when the stream refuses.
    EXPECT_FALSE(s.Write(&byte, 0x7FFFFFF0u));
    EXPECT_FALSE(s.Write(&byte, 0xFFFFFFFFu));
    EXPECT_EQ(s.Length(), 0);
    EXPECT_TRUE(s.Write(&byte, 1));
}

// ---------------------------------------------------------------------------
// File streams

TEST(VapiFileStreams, ReadAndWriteTheirFiles)
{
    CTempFolder folder(L"vapi_streams");
    CString path = folder / L"törzs.bin";
    std::string data = Bytes(10000);
    ASSERT_TRUE(WriteFileBytes(path, data));

    HANDLE hIn = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(hIn, INVALID_HANDLE_VALUE);
    CVapiInputFileStream in(hIn, GetFileSize(hIn, NULL));
    EXPECT_EQ(in.Length(), 10000);
    EXPECT_FALSE(in.Write("x", 1));
    char buffer[4096];
    DWORD count = 1;
    EXPECT_TRUE(in.Read(buffer, 0, &count)) << "capacity 0 on an open file";
    EXPECT_EQ(count, 0u);
    std::string back;
    do {
        ASSERT_TRUE(in.Read(buffer, sizeof(buffer), &count));
        back.append(buffer, count);
    } while (count);
    EXPECT_EQ(back, data);
    EXPECT_EQ(in.Transferred(), 10000);
    in.Close();
    EXPECT_FALSE(in.Read(buffer, sizeof(buffer), &count));

    CString outPath = folder / L"válasz.bin";
    HANDLE hOut = CreateFileW(outPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(hOut, INVALID_HANDLE_VALUE);
    CVapiOutputFileStream out(hOut);
    EXPECT_TRUE(out.Write(data.data(), 4000));
    EXPECT_TRUE(out.Write(data.data() + 4000, 0));
    EXPECT_TRUE(out.Write(data.data() + 4000, 6000));
    EXPECT_FALSE(out.Read(buffer, sizeof(buffer), &count));
    EXPECT_EQ(out.Length(), 10000);
    out.Close();
    EXPECT_FALSE(out.Write("x", 1)) << "closed";
    EXPECT_EQ(ReadFileBytes(outPath), data);
}

// ---------------------------------------------------------------------------
// URL splitting

TEST(VapiRequestInfo, SplitsTheUrlAsTheServiceAddressesAreBuilt)
{
    struct {
        LPCWSTR url;
        bool https;
        LPCWSTR host, path;
        INTERNET_PORT port;
    } cases[] = {
        {L"https://vapi.folionex.example/VApi/Check.aspx", true, L"vapi.folionex.example", L"/VApi/Check.aspx", 443},
        {L"http://127.0.0.1/VApi/OnlineRestore.aspx?acc=1&x=2", false, L"127.0.0.1",
         L"/VApi/OnlineRestore.aspx?acc=1&x=2", 80},
        // Anything but "https://" counts 7 characters of scheme.
        {L"HTTPS://host/p", false, L"/host", L"/p", 80},
        {L"abcdefghost/p", false, L"host", L"/p", 80},
        {L"http://h:8080/p", false, L"h:8080", L"/p", 80},
        // No "/" after the host: nothing.
        {L"http://host", false, L"", L"", 80},
        {L"https://host", true, L"", L"", 443},
        // Not longer than the scheme plus one character.
        {L"http://a", false, L"", L"", 80},
        {L"http://", false, L"", L"", 80},
        {L"", false, L"", L"", 80},
        // The host needs one character: "/" right after the scheme is skipped.
        {L"http:///x/y", false, L"/x", L"/y", 80},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CStringA(c.url).GetString());
        CVapiRequestInfo info(c.url, CVapiRequestInfo::METHOD_GET);
        EXPECT_EQ(info.m_https, c.https);
        EXPECT_EQ(info.m_host, c.host);
        EXPECT_EQ(info.m_path, c.path);
        EXPECT_EQ(info.Port(), c.port);
        EXPECT_EQ(info.m_timeoutMs, 300000u);
    }
}

// ---------------------------------------------------------------------------
// Replies

int ParseBytes(CVapiReply& reply, const std::string& bytes)
{
    CVapiMemoryStream response;
    response.Write(bytes.data(), (DWORD)bytes.size());
    return reply.Parse(response);
}

TEST(VapiReply, ParsesKeyValueLines)
{
    struct Case {
        const char* name;
        std::string body;
        std::vector<std::pair<LPCWSTR, LPCWSTR>> pairs;
    } cases[] = {
        {"two lines", "A=1\nB=2\n", {{L"A", L"1"}, {L"B", L"2"}}},
        {"a last line without a line feed is not a line", "A=1\nB=2", {{L"A", L"1"}}},
        {"only a line without a line feed", "A=1", {}},
        {"empty", "", {}},
        {"a value with = is split at the first =", "Url=https://127.0.0.1/VApi/Backup.aspx?account=a&file=b.zip\n",
         {{L"Url", L"https://127.0.0.1/VApi/Backup.aspx?account=a&file=b.zip"}}},
        {"blanks and carriage return around key and value", "  Count  =  3  \r\n", {{L"Count", L"3"}}},
        {"tabs", "\tK\t=\tv w\t\n", {{L"K", L"v w"}}},
        {"no key, no value, no =", "=x\nA=\nB=   \nnoequals\n =y\n", {}},
        {"later value replaces", "K=1\nK=2\n", {{L"K", L"2"}}},
        {"keys differ by case", "cmd=SelfUpdate\nCmd=None\n", {{L"Cmd", L"None"}, {L"cmd", L"SelfUpdate"}}},
        {"empty lines between", "A=1\n\n\r\nB=2\n", {{L"A", L"1"}, {L"B", L"2"}}},
        {"non-ASCII UTF-8", "RepoName0=Irodai \xC3\xBC\x67yek \xE2\x80\x93 Gy\xC5\x91r\n\xC5\x90=\xC3\xA1\n",
         {{L"RepoName0", L"Irodai ügyek – Győr"}, {L"Ő", L"á"}}},
        {"percent signs stay in the value", "P=50%\n", {{L"P", L"50%"}}},
        {"CRLF lines", "ContentLength=12\r\nUrl=http://x/y?a=1\r\n",
         {{L"ContentLength", L"12"}, {L"Url", L"http://x/y?a=1"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CVapiReply reply;
        EXPECT_EQ(ParseBytes(reply, c.body), (int)c.pairs.size());
        ASSERT_EQ(reply.Values().size(), c.pairs.size());
        auto it = reply.Values().begin();
        for (const auto& p : c.pairs) {
            EXPECT_EQ(it->first, p.first);
            EXPECT_EQ(it->second, p.second);
            ++it;
        }
    }
}

TEST(VapiReply, InvalidUtf8StillParses)
{
    CVapiReply reply;
    EXPECT_EQ(ParseBytes(reply, std::string("A=\xFF\xFE\nB=2\n")), 2);
    EXPECT_TRUE(reply.Has(L"A"));
    EXPECT_EQ(reply.Get(L"B"), L"2");
}

TEST(VapiReply, AReplyLongerThanItsLimitIsNoReply)
{
    // "A=1", blanks, a line feed, "K=1" and a line feed: the limit exactly.
    std::string atLimit = "A=1" + std::string(CVapiRequest::kMaxReplyBytes - 8, ' ') + "\nK=1\n";
    ASSERT_EQ(atLimit.size(), (size_t)CVapiRequest::kMaxReplyBytes);
    CVapiReply reply;
    EXPECT_EQ(ParseBytes(reply, atLimit), 2);
    EXPECT_EQ(reply.Get(L"K"), L"1");
    CVapiReply longer;
    EXPECT_EQ(ParseBytes(longer, atLimit + "B=2\n"), 0);
    EXPECT_TRUE(longer.Values().empty());
}

TEST(VapiReply, GetOfAMissingKeyAddsItEmpty)
{
    CVapiReply reply;
    ParseBytes(reply, "Cmd=None\n");
    EXPECT_FALSE(reply.Has(L"DownloadUrl"));
    EXPECT_EQ(reply.Get(L"DownloadUrl"), L"");
    EXPECT_TRUE(reply.Has(L"DownloadUrl"));
    EXPECT_EQ(reply.GetCount(), 2);
}

TEST(VapiReply, TheLogGetsACopyOfAtMost4096CharactersWithoutPercentSigns)
{
    App();
    CAppSettings settings;
    CString key = L"VapiReplyLog";
    RemoveDataFolder(key);
    settings.SetInstanceKey(key);
    LogResetPath();

    std::string body = "P=%1\n";
    while (body.size() < 5000)
        body += "Key=Value%d\n";
    CVapiReply reply;
    ParseBytes(reply, body);
    EXPECT_EQ(reply.Get(L"P"), L"%1");

    std::string log = ReadFileBytes(DataFolderPath(key) + CAppSettings::GetExeBaseName() + L".log");
    std::wstring text(reinterpret_cast<const wchar_t*>(log.data()), log.size() / 2);
    EXPECT_EQ(text.find(L'%'), std::wstring::npos);
    EXPECT_NE(text.find(L"P=@1"), std::wstring::npos);
    // The copy ends inside the 4096th character: "Key=Value@d" lines after
    // the first 4096 characters are not in the log.
    size_t lines = 0;
    for (size_t at = text.find(L"Key=Value@d"); at != std::wstring::npos; at = text.find(L"Key=Value@d", at + 1))
        ++lines;
    size_t full = (4096 - 5) / 12;
    EXPECT_GE(lines, full);
    EXPECT_LE(lines, full + 1);
    LogResetPath();
    RemoveDataFolder(key);
}

TEST(VapiLog, ErrorsAreLoggedUnderTheCallsName)
{
    App();
    CAppSettings settings;
    CString key = L"VapiErrorLog";
    RemoveDataFolder(key);
    settings.SetInstanceKey(key);
    LogResetPath();
    LogWinInetError(ERROR_INTERNET_CANNOT_CONNECT, L"HttpSendRequest");
    LogSystemError(ERROR_FILE_NOT_FOUND, L"CreateFile for input file");
    std::string log = ReadFileBytes(DataFolderPath(key) + CAppSettings::GetExeBaseName() + L".log");
    std::wstring text(reinterpret_cast<const wchar_t*>(log.data()), log.size() / 2);
    // The message text where the table has one, otherwise the formatting
    // failure; either way the call's name.
    EXPECT_TRUE(text.find(L"HttpSendRequest: ") != std::wstring::npos ||
                text.find(L"while formatting message for 12029 in HttpSendRequest") != std::wstring::npos)
        << CStringA(text.c_str()).GetString();
    EXPECT_NE(text.find(L"CreateFile for input file: "), std::wstring::npos) << CStringA(text.c_str()).GetString();
    LogResetPath();
    RemoveDataFolder(key);
}

} // namespace
