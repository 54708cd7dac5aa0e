// The station's own user message file as the editor reads and writes it:
// label codes, the order of the entries, line ends, the empty line after a
// loaded text, and a file that cannot be written.

#include "ui/UserMsgFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using usermsgfile::Entry;

std::string Slurp(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

TEST(UserMsgFileLabel, CodeIsTheLetterAndTheLeadingNumber)
{
    const struct {
        const char* line;
        const char* code;
    } cases[] = {
        {":b7", "b007"},
        {":a012", "a012"},
        {":B255", "B255"},
        {":b", "b000"},
        {":b7x9", "b007"},
        {":b 7", "b000"},
        {":z0255", "z255"},
        {":c256", "c256"},
        {":d99999999999999", "d999999"},  // held, not overflowed
        {":\xc3\xa4"
         "5",
         "\xc3\xa4"
         "005"},  // a whole character, never half of one
    };
    for (const auto& c : cases)
        EXPECT_EQ(usermsgfile::CodeOfLabel(c.line), c.code) << c.line;
}

TEST(UserMsgFileParse, EntriesSortedByCharacterCode)
{
    const std::vector<Entry> entries =
        usermsgfile::Parse(":b7\r\nBee\r\n:a012\r\nAy\r\n:B001\r\nCapital\r\n:a012\r\nSecond\r\n");
    const std::vector<Entry> expected = {
        {"B001", "Capital\n"}, {"a012", "Ay\n"}, {"a012", "Second\n"}, {"b007", "Bee\n"}};
    EXPECT_EQ(entries, expected);
}

TEST(UserMsgFileParse, LinesBelongToTheEntryAbove)
{
    const struct {
        const char* name;
        std::string bytes;
        std::vector<Entry> entries;
    } cases[] = {
        {"lines before the first label are dropped", "header\r\n// note\r\n:a001\r\nText\r\n", {{"a001", "Text\n"}}},
        {"comment and inner empty lines are text", ":a001\r\n// c\r\n\r\nText\r\n", {{"a001", "// c\n\nText\n"}}},
        {"a bare line feed ends a line", ":a001\nOne\nTwo\n", {{"a001", "One\nTwo\n"}}},
        {"last line without line end", ":a001\r\nOne", {{"a001", "One\n"}}},
        {"empty lines at the end are dropped",
         ":a001\r\nOne\r\n\r\n\r\n:a002\r\n\r\n",
         {{"a001", "One\n"}, {"a002", ""}}},
        {"label without text", ":a001\r\n:a002\r\nTwo\r\n", {{"a001", ""}, {"a002", "Two\n"}}},
        {"no label at all", "Just text\r\n", {}},
        {"empty file", "", {}},
        {"Windows-1252 text", std::string(":a001\r\nT\xfcr klemmt\r\n"), {{"a001", "T\xc3\xbcr klemmt\n"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(usermsgfile::Parse(c.bytes), c.entries) << c.name;
}

TEST(UserMsgFileFormat, LabelsTextsAndLineEnds)
{
    const struct {
        const char* name;
        std::vector<Entry> entries;
        std::string bytes;
    } cases[] = {
        {"two lines", {{"c001", "Line 1\nLine 2"}}, ":c001\r\nLine 1\r\nLine 2\r\n"},
        {"loaded text gets one empty line", {{"c001", "Line 1\n"}}, ":c001\r\nLine 1\r\n\r\n"},
        {"carriage returns dropped", {{"c001", "A\r\nB\r"}}, ":c001\r\nA\r\nB\r\n"},
        {"empty text", {{"a000", ""}}, ":a000\r\n\r\n"},
        {"list order kept", {{"b007", "B"}, {"a012", "A"}}, ":b007\r\nB\r\n:a012\r\nA\r\n"},
        {"nothing", {}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(usermsgfile::Format(c.entries), c.bytes) << c.name;
}

TEST(UserMsgFileFormat, RepeatedSavesDoNotGrowTheFile)
{
    const std::string first = ":a001\r\nOne\r\nTwo\r\n\r\n";
    std::string bytes = first;
    for (int save = 0; save < 3; ++save)
        bytes = usermsgfile::Format(usermsgfile::Parse(bytes));
    EXPECT_EQ(bytes, first);
}

TEST(UserMsgFileWrite, WrittenFileReadsBackAndAFailureKeepsTheOldFile)
{
    TempDir dir;
    const std::string path = dir / "UserMsg99.txt";
    const std::vector<Entry> entries = {{"a001", "One\n"}, {"b002", "Two"}};
    ASSERT_TRUE(usermsgfile::Write(path, entries));
    bool exists = false;
    EXPECT_EQ(usermsgfile::Read(path, &exists), (std::vector<Entry>{{"a001", "One\n"}, {"b002", "Two\n"}}));
    EXPECT_TRUE(exists);

    std::string error;
    EXPECT_FALSE(usermsgfile::Write(dir / "missing/UserMsg99.txt", entries, &error));
    EXPECT_FALSE(error.empty());

    if (geteuid() != 0) {  // root writes anyway
        const std::string before = Slurp(path);
        ASSERT_EQ(chmod(path.c_str(), 0444), 0);
        EXPECT_FALSE(usermsgfile::Write(path, {{"z255", "Lost"}}, &error));
        EXPECT_EQ(Slurp(path), before);
        chmod(path.c_str(), 0644);
    }
    usermsgfile::Read(dir / "none.txt", &exists);
    EXPECT_FALSE(exists);
}

}  // namespace
