#include <gtest/gtest.h>
#include "afxfile.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;

class StdioFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        path = CString(dir) + L"afx_test_fájl_ő.txt";
        DeleteFileW(path);
    }
    void TearDown() override { DeleteFileW(path); }

    CString path;
};

const UINT kAppendUnicode = CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite | CFile::typeUnicode;

TEST_F(StdioFileTest, FlagValuesAreTheClassLibrarys)
{
    EXPECT_EQ(kAppendUnicode, 0x3402u);
}

TEST_F(StdioFileTest, UnicodeWritesAreRawUtf16WithoutBomOrCr)
{
    {
        CStdioFile f;
        ASSERT_TRUE(f.Open(path, kAppendUnicode));
        f.WriteString(L"ő\n");
        f.Close();
    }
    {
        CStdioFile f;
        ASSERT_TRUE(f.Open(path, kAppendUnicode)); // never truncated
        f.SeekToEnd();
        f.WriteString(L"ab\n");
    }
    std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes, std::string("\x51\x01\x0a\x00\x61\x00\x62\x00\x0a\x00", 10));
}

TEST_F(StdioFileTest, ReadStringReturnsLinesWithoutTheirEnds)
{
    ASSERT_TRUE(WriteFileBytes(path, std::string("a\x00\r\x00\n\x00\x51\x01\n\x00z\x00", 14)));
    CStdioFile f;
    ASSERT_TRUE(f.Open(path, CFile::modeRead | CFile::typeUnicode));
    CString line;
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, L"a");
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, L"ő");
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, L"z");
    EXPECT_FALSE(f.ReadString(line));
}

TEST_F(StdioFileTest, TextModeWritesAnsiWithCrLf)
{
    {
        CStdioFile f;
        ASSERT_TRUE(f.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::typeText));
        f.WriteString(L"őű\nx");
    }
    EXPECT_EQ(ReadFileBytes(path), std::string("\xF5\xFB\r\nx"));
    CStdioFile f;
    ASSERT_TRUE(f.Open(path, CFile::modeRead | CFile::typeText));
    CString line;
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, L"őű");
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, L"x");
    EXPECT_FALSE(f.ReadString(line));
}

TEST_F(StdioFileTest, OpeningWithoutShareFlagsIsExclusive)
{
    CStdioFile f;
    ASSERT_TRUE(f.Open(path, kAppendUnicode));
    CStdioFile g;
    CFileException e;
    EXPECT_FALSE(g.Open(path, kAppendUnicode, &e));
    EXPECT_EQ(e.m_lOsError, (LONG)ERROR_SHARING_VIOLATION);
}

TEST_F(StdioFileTest, OpeningAMissingFileForReadFails)
{
    CFile f;
    CFileException e;
    EXPECT_FALSE(f.Open(path, CFile::modeRead, &e));
    EXPECT_EQ(e.m_lOsError, (LONG)ERROR_FILE_NOT_FOUND);
}

} // namespace
