#include "core/LogFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The text of a line without its time stamp ("2026-12-10 03:04:05:067: ").
std::string TextOf(const std::string& line)
{
    static const std::regex stamp(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}:\d{3}: )");
    std::smatch match;
    if (!std::regex_search(line, match, stamp))
        return "<no time stamp: " + line + ">";
    return match.suffix();
}

std::vector<std::string> Texts(const std::string& path)
{
    std::vector<std::string> texts;
    for (const std::string& line : ReadLines(path))
        texts.push_back(TextOf(line));
    return texts;
}

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override { dir.WorkIn(); }
    TempDir dir;
};

TEST_F(LogFileTest, NewestLineFirstAndOldestFallOff)
{
    CLogFile log("Trace", 3);
    for (const char* text : {"A", "B", "C", "D", "E"})
        log.WriteLine(text);
    EXPECT_EQ(Texts("Trace.log"), (std::vector<std::string>{"E", "D", "C"}));
    EXPECT_FALSE(fs::exists("Trace.tmp"));
}

TEST_F(LogFileTest, FirstLineCreatesTheLogWithExactlyOneLine)
{
    CLogFile log("TelHandler", 1000);
    log.Log("TelHandler::ThreadMain", "Started");
    EXPECT_EQ(Texts("TelHandler.log"), (std::vector<std::string>{"TelHandler::ThreadMain: Started"}));
}

TEST_F(LogFileTest, DefaultsAndSetters)
{
    CLogFile log;
    EXPECT_EQ(log.GetName(), "LogFile");
    EXPECT_EQ(log.GetMaxLines(), 100);
    log.SetName("SystemInfo");
    log.SetMaxLines(1000);
    log.WriteLine("x");
    EXPECT_TRUE(fs::exists("SystemInfo.log"));
}

TEST_F(LogFileTest, ZeroOrNegativeLimitWritesNothing)
{
    for (int16_t limit : {int16_t{0}, int16_t{-5}}) {
        CLogFile log("Off", limit);
        log.WriteLine("never");
        EXPECT_FALSE(fs::exists("Off.log")) << limit;
        EXPECT_FALSE(fs::exists("Off.tmp")) << limit;
    }
}

TEST_F(LogFileTest, LoweredLimitCutsAnOlderLongerLog)
{
    CLogFile log("Shrink", 10);
    for (int i = 0; i < 10; ++i)
        log.WriteLine(std::to_string(i));
    log.SetMaxLines(2);
    log.WriteLine("new");
    EXPECT_EQ(Texts("Shrink.log"), (std::vector<std::string>{"new", "9"}));
}

TEST_F(LogFileTest, TimeStampHasTheFixedForm)
{
    const std::string stamp = CLogFile::TimeStamp();
    EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}:\d{3}: )"))) << stamp;
}

TEST_F(LogFileTest, LongLinesAndLinesWithSpecialCharactersSurvive)
{
    CLogFile log("Odd", 5);
    const std::string longLine(10000, 'x');
    log.WriteLine(longLine);
    log.WriteLine("tab\there, percent %s %n, umlaut Åäö");
    EXPECT_EQ(Texts("Odd.log"), (std::vector<std::string>{"tab\there, percent %s %n, umlaut Åäö", longLine}));
}

TEST_F(LogFileTest, MissingFolderLosesTheLineQuietly)
{
    CLogFile log("no/such/folder/Trace", 10);
    log.WriteLine("lost");
    EXPECT_FALSE(fs::exists("no"));
}

TEST_F(LogFileTest, LogThatCannotBeReplacedKeepsTheThreadGoing)
{
    // The log's name is taken by a folder: the rename fails, the line is
    // lost, the scratch file is cleaned up and nothing is thrown.
    fs::create_directory("Blocked.log");
    CLogFile log("Blocked", 10);
    EXPECT_NO_THROW(log.WriteLine("lost"));
    EXPECT_TRUE(fs::is_directory("Blocked.log"));
    EXPECT_FALSE(fs::exists("Blocked.tmp"));
}

TEST_F(LogFileTest, ScratchFileThatCannotBeCreatedLeavesTheOldLog)
{
    CLogFile log("Kept", 10);
    log.WriteLine("old");
    fs::create_directory("Kept.tmp");
    log.WriteLine("lost");
    EXPECT_EQ(Texts("Kept.log"), (std::vector<std::string>{"old"}));
}

// The logs hold telephone numbers and alarm texts: readable by the station's
// user only, however the log came to be, also under the usual umask 022.
TEST_F(LogFileTest, LogIsPrivateToTheStationsUser)
{
    struct Case {
        const char* name;
        void (*before)();  // what an older version or a crash left behind
    };
    const Case cases[] = {
        {"new log", [] {}},
        {"log left readable by everybody", [] { std::ofstream("Private.log") << "old\n"; }},
        {"scratch file left readable by everybody", [] { std::ofstream("Private.tmp") << "half\n"; }},
    };
    const mode_t previousMask = ::umask(022);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove("Private.log");
        fs::remove("Private.tmp");
        c.before();
        CLogFile log("Private", 10);
        log.WriteLine("+46701234567 trapped in lift");
        struct stat info {};
        ASSERT_EQ(::stat("Private.log", &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0600u);
        EXPECT_EQ(TextOf(ReadLines("Private.log").front()), "+46701234567 trapped in lift");
    }
    ::umask(previousMask);
}

}  // namespace
