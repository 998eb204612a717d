#include <gtest/gtest.h>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>
#include "foundation/AppSettings.h"
#include "foundation/Log.h"
#include "support/FailingAllocator.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;

// The log's file as text (the bytes are UTF-16LE).
std::wstring ReadLog(const CString& path)
{
    std::string bytes = ReadFileBytes(path);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

std::vector<std::wstring> Lines(const std::wstring& text)
{
    EXPECT_TRUE(text.empty() || text.back() == L'\n') << "the log must end with a line feed";
    return SplitLines(text);
}

// The text after the time stamp, or "<not stamped>".
std::wstring AfterStamp(const std::wstring& line)
{
    std::wstring rest;
    if (!SplitStamp(line, &rest))
        return L"<not stamped>";
    return rest;
}

class LogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        ResetProfile();
        key = L"LogTest";
        RemoveDataFolder(key);
        RemoveDataFolder(L"LogTestOther");
        settings.SetInstanceKey(key);
        LogSetPrefix(NULL);
        LogResetPath();
        path = DataFolderPath(key) + L"foundation_test.log";
    }
    void TearDown() override
    {
        LogSetPrefix(NULL);
        LogResetPath();
        RemoveDataFolder(key);
        RemoveDataFolder(L"LogTestOther");
        ResetProfile();
    }

    CAppSettings settings;
    CString key;
    CString path;
};

TEST_F(LogTest, FileIsUtf16LeWithoutBomAndLinesEndInLineFeedOnly)
{
    LogLine(L"Őrség ű");
    std::string bytes = ReadFileBytes(path);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_NE(bytes.substr(0, 2), std::string("\xFF\xFE"));
    EXPECT_EQ(bytes.substr(bytes.size() - 2), std::string("\n\0", 2));
    EXPECT_EQ(bytes.find(std::string("\r\0", 2)), std::string::npos);
    auto lines = Lines(ReadLog(path));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(AfterStamp(lines[0]), L"Őrség ű");
}

TEST_F(LogTest, MessagesAreSplitTrimmedAndIndented)
{
    struct Case {
        LPCWSTR message;
        std::vector<std::wstring> want; // first entry: text after the stamp
    } cases[] = {
        {L"one", {L"one"}},
        {L"first\nsecond", {L"first", L"                    second"}},
        {L"  padded \r\n\tnext\t\r\n", {L"padded", L"                    next"}},
        // Empty pieces are skipped, and what follows them is still written.
        {L"a\n\n  \nb", {L"a", L"                    b"}},
        {L"\n\nlate start", {L"late start"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CStringA(c.message).GetString());
        DeleteFileW(path);
        LogLine(c.message);
        auto lines = Lines(ReadLog(path));
        ASSERT_EQ(lines.size(), c.want.size());
        EXPECT_EQ(AfterStamp(lines[0]), c.want[0]);
        for (size_t i = 1; i < lines.size(); ++i)
            EXPECT_EQ(lines[i], c.want[i]);
    }
}

TEST_F(LogTest, BlanksAndLineFeedsOnlyWriteNothing)
{
    LogLine(L"  \n \r\n\t\n");
    EXPECT_EQ(ReadFileBytes(path), "");
}

TEST_F(LogTest, PrefixStandsBeforeEveryPiece)
{
    LogSetPrefix(L" # ");
    LogLine(L"one\ntwo");
    LogSetPrefix(NULL);
    LogLine(L"three");
    auto lines = Lines(ReadLog(path));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(AfterStamp(lines[0]), L" # one");
    EXPECT_EQ(lines[1], std::wstring(20, L' ') + L" # two");
    EXPECT_EQ(AfterStamp(lines[2]), L"three");
}

TEST_F(LogTest, MessagesAreAppendedNeverTruncated)
{
    LogLine(L"first");
    LogLine(L"second");
    auto lines = Lines(ReadLog(path));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(AfterStamp(lines[1]), L"second");
}

TEST_F(LogTest, PathFollowsTheInstanceOnlyAfterReset)
{
    LogLine(L"before");
    settings.SetInstanceKey(L"LogTestOther");
    LogLine(L"still old");
    CString other = DataFolderPath(L"LogTestOther") + L"foundation_test.log";
    EXPECT_FALSE(FileExists(other));
    LogResetPath();
    LogLine(L"new");
    EXPECT_EQ(Lines(ReadLog(path)).size(), 2u);
    auto lines = Lines(ReadLog(other));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(AfterStamp(lines[0]), L"new");
}

TEST_F(LogTest, FormatCutsAt16382Characters)
{
    CString big(L'x', 20000);
    LogFormat(L"%s", (LPCWSTR)big);
    auto lines = Lines(ReadLog(path));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(AfterStamp(lines[0]), std::wstring(16382, L'x'));
}

TEST_F(LogTest, FormatUsesWideStrings)
{
    LogFormat(L"Start instance %s (%d)", L"Iroda ő", 7);
    auto lines = Lines(ReadLog(path));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(AfterStamp(lines[0]), L"Start instance Iroda ő (7)");
}

TEST_F(LogTest, MessageIsDroppedWhileAnotherHandleHoldsTheFile)
{
    LogLine(L"first");
    HANDLE h = CreateFileW(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LogLine(L"dropped");
    CloseHandle(h);
    LogLine(L"third");
    auto lines = Lines(ReadLog(path));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(AfterStamp(lines[1]), L"third");
}

// The handlers of out-of-memory failures log: a message that finds no
// memory is lost alone, and nothing is thrown at its writer.
TEST_F(LogTest, AMessageWithoutMemoryIsLostAloneAndThrowsNothing)
{
    LogLine(L"first");
    struct Case
    {
        const char* name;
        long after; // allocations that succeed first
        bool every;
    } cases[] = {
        {"no allocation succeeds", 0, true},
        {"the first fails", 0, false},
        {"the second fails", 1, false},
        {"the third fails", 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            CAllocationFailure failure(c.after, 0, c.every);
            EXPECT_NO_THROW(LogLine(L"dropped"));
            EXPECT_NO_THROW(LogFormat(L"dropped %s %d", L"formatted", 7));
        }
        LogLine(L"after");
    }
    // Whatever found its memory was written whole; the log goes on.
    auto lines = Lines(ReadLog(path));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(AfterStamp(lines.front()), L"first");
    int after = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        std::wstring text = AfterStamp(lines[i]);
        EXPECT_TRUE(text == L"after" || text == L"dropped" || text == L"dropped formatted 7") << CStringA(text.c_str());
        after += text == L"after";
    }
    EXPECT_EQ(after, 4);
}

// What the outermost frames of the threads and the Windows callbacks caught,
// in one line each; the class library's objects are deleted.
TEST_F(LogTest, WhatWasCaughtIsLoggedWithThePlace)
{
    struct Case
    {
        const char* name;
        std::function<void()> raise;
        std::wstring line;
        bool outOfMemory;
    } cases[] = {
        {"out of memory", [] { throw std::bad_alloc(); }, L"Hely: out of memory", true},
        {"the class library's out of memory", [] { AfxThrowMemoryException(); }, L"Hely: out of memory", true},
        {"a standard exception", [] { throw std::runtime_error("no such case"); }, L"Hely: no such case", false},
        {"a class-library exception", [] { AfxThrowUserException(); }, L"Hely: an exception of the class library",
         false},
        {"anything else", [] { throw 42; }, L"Hely: an unknown exception", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(path);
        bool outOfMemory = !c.outOfMemory;
        try {
            c.raise();
        } catch (...) {
            outOfMemory = LogCaughtException(L"Hely");
        }
        EXPECT_EQ(outOfMemory, c.outOfMemory);
        auto lines = Lines(ReadLog(path));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(AfterStamp(lines[0]), c.line);
    }
}

TEST_F(LogTest, MessagesOfThreadsNeverInterleave)
{
    const int threads = 4, perThread = 40;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i)
                LogFormat(L"thread %d message %d\nthread %d tail %d", t, i, t, i);
        });
    for (auto& w : workers)
        w.join();
    auto lines = Lines(ReadLog(path));
    ASSERT_EQ(lines.size(), (size_t)(threads * perThread * 2));
    for (size_t i = 0; i < lines.size(); i += 2) {
        int t = -1, n = -1, t2 = -2, n2 = -2;
        ASSERT_EQ(swscanf(AfterStamp(lines[i]).c_str(), L"thread %d message %d", &t, &n), 2);
        ASSERT_EQ(swscanf(lines[i + 1].c_str(), L" thread %d tail %d", &t2, &n2), 2);
        EXPECT_EQ(t, t2);
        EXPECT_EQ(n, n2);
    }
}

} // namespace
