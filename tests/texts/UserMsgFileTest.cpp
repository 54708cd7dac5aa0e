#include "texts/MessageMgr.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

class UserMsgFileTest : public ::testing::Test {
protected:
    UserMsgFileTest() { dir.WorkIn(); }

    void Write(const std::string& name, const std::string& bytes)
    {
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }

    TempDir dir;
    CMessageMgr mgr;
};

TEST(UserMsgLabel, MatchesLetterExactlyAndOneToThreeDigits)
{
    struct Case {
        const char* line;
        char letter;
        unsigned number;
        bool match;
    };
    const Case cases[] = {
        {":b7", 'b', 7, true},      {":b07", 'b', 7, true},     {":b007", 'b', 7, true},   {":B007", 'b', 7, false},
        {":b007", 'B', 7, false},   {":b008", 'b', 7, false},   {":b0007", 'b', 7, false}, {":b", 'b', 0, false},
        {":", 'b', 0, false},       {"", 'b', 0, false},        {"b007", 'b', 7, false},   {":b7x", 'b', 7, false},
        {":b 7", 'b', 7, false},    {":b007 ", 'b', 7, false},  {":b-7", 'b', 7, false},   {":b255", 'b', 255, true},
        {":b256", 'b', 256, false}, {":b999", 'b', 999, false}, {":b000", 'b', 0, true},   {"//b007", 'b', 7, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CMessageMgr::MatchUserMsgLabel(c.line, c.letter, c.number), c.match) << '"' << c.line << '"';
}

TEST_F(UserMsgFileTest, BlockRunsToTheNextLabelSkippingEmptyLines)
{
    Write("UserMsg.txt", "// header comment\r\n"
                         ":a001\r\nOther code\r\n"
                         ":b7\r\n"
                         "First line\r\n"
                         "\r\n"
                         "// kept as text\r\n"
                         "   \r\n"
                         "Last line\n"
                         ":b008\r\nNext code\r\n"
                         ":b007\r\nA second block of the same code is not read\r\n");
    EXPECT_EQ(mgr.FindUserMsg('b', 7), "First line\n// kept as text\n   \nLast line\n");
    EXPECT_EQ(mgr.FindUserMsg('a', 1), "Other code\n");
    EXPECT_EQ(mgr.FindUserMsg('B', 7), "");
    EXPECT_EQ(mgr.FindUserMsg('c', 1), "");
}

TEST_F(UserMsgFileTest, AtMostThirtyLinesAreTaken)
{
    std::string file = ":x1\r\n";
    for (int i = 1; i <= 40; ++i)
        file += "line " + std::to_string(i) + "\r\n";
    Write("UserMsg.txt", file);

    std::string expected;
    for (int i = 1; i <= 30; ++i)
        expected += "line " + std::to_string(i) + "\n";
    EXPECT_EQ(mgr.FindUserMsg('x', 1), expected);
}

TEST_F(UserMsgFileTest, TheLastFileWithTheCodeWins)
{
    Write("UserMsg.txt", ":b007\r\nbase\r\n:c1\r\nonly in base\r\n");
    Write("UserMsg05.txt", ":b07\r\nfive\r\n");
    Write("UserMsg42.txt", ":b7\r\n\r\n\r\n:c1\r\n");  // has the label but no line: no override
    Write("UserMsg99.txt", ":b007\r\nninety-nine\r\n");
    EXPECT_EQ(mgr.FindUserMsg('b', 7), "ninety-nine\n");
    EXPECT_EQ(mgr.FindUserMsg('c', 1), "only in base\n");

    std::filesystem::remove(dir / "UserMsg99.txt");
    EXPECT_EQ(mgr.FindUserMsg('b', 7), "five\n");

    // Only the two-digit names from 00 to 99 are read.
    Write("UserMsg5.txt", ":b7\r\nnot a user message file\r\n");
    Write("UserMsg100.txt", ":b7\r\nnot a user message file\r\n");
    EXPECT_EQ(mgr.FindUserMsg('b', 7), "five\n");
}

TEST_F(UserMsgFileTest, Windows1252AndByteOrderMarksAreRead)
{
    Write("UserMsg01.txt", ":d10\r\nT\xFCr offen \x96 Techniker rufen\r\n");
    EXPECT_EQ(mgr.FindUserMsg('d', 10), "Tür offen – Techniker rufen\n");

    Write("UserMsg02.txt", "\xEF\xBB\xBF:e20\r\nT\xC3\xBCr offen\r\n");
    EXPECT_EQ(mgr.FindUserMsg('e', 20), "Tür offen\n");
}

TEST_F(UserMsgFileTest, BadFilesAreSkippedCleanly)
{
    std::filesystem::create_directory(dir / "UserMsg03.txt");
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk += static_cast<char>((i * 37) & 0xFF);
    Write("UserMsg04.txt", junk);
    Write("UserMsg06.txt", "");
    Write("UserMsg07.txt", ":f1");  // a label at the very end
    Write("UserMsg08.txt", std::string(":f1\n") + std::string(10, '\0') + "\n");
    EXPECT_EQ(mgr.FindUserMsg('f', 1), std::string(10, '\0') + "\n");
    EXPECT_EQ(mgr.FindUserMsg('g', 1), "");
}

}  // namespace
