#include "core/LogFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
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

// Writes the lines (through the writer thread or at once) and puts them on
// the disk.
void WriteAndFlush(CLogFile& log, bool background, const std::vector<std::string>& lines)
{
    log.SetBackgroundWriting(background);
    for (const std::string& line : lines)
        log.WriteLine(line);
    log.Flush();
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

// The same lines give the same log whether they are written at once or
// queued for the log writer: newest first, each line cutting the log to the
// limit it was written with, a text with line ends counted as one line.
TEST_F(LogFileTest, BackgroundWritingKeepsContentAndOrder)
{
    struct Step {
        const char* text;
        int16_t limit;
    };
    const std::vector<Step> steps = {
        {"1", 4}, {"2", 4}, {"3", 4}, {"4", 4}, {"5", 4}, {"two\nparts", 4}, {"6", 6}, {"7", 6}, {"8", 2}, {"9", 5},
    };
    const std::vector<std::string> expected = {"9", "8", "7"};
    for (const bool background : {false, true}) {
        SCOPED_TRACE(background ? "background" : "at once");
        const std::string name = background ? "Queued" : "Direct";
        {
            CLogFile log(name, 4);
            log.SetBackgroundWriting(background);
            for (const Step& step : steps) {
                log.SetMaxLines(step.limit);
                log.WriteLine(step.text);
            }
            log.Flush();
            EXPECT_EQ(Texts(name + ".log"), expected);
            log.WriteLine("last");
        }  // the destructor writes what waits
        const std::vector<std::string> afterEnd = {"last", "9", "8", "7"};
        EXPECT_EQ(Texts(name + ".log"), afterEnd);
        EXPECT_FALSE(fs::exists(name + ".tmp"));
    }
    // Line ends inside a text and a log that keeps them across rewrites.
    CLogFile log("Parts", 3);
    log.SetBackgroundWriting(true);
    log.WriteLine("a\nb");
    log.WriteLine("c");
    log.Flush();
    EXPECT_EQ(Texts("Parts.log"), (std::vector<std::string>{"c", "a", "<no time stamp: b>"}));
}

// Lines handed to the writer thread are on the disk when the process ends
// through exit(), although no log object was destroyed; and the writer puts
// them there by itself soon after, without a Flush.
TEST_F(LogFileTest, BackgroundLinesReachTheDiskByThemselvesAndAtExit)
{
    {
        CLogFile log("Soon", 10);
        log.SetBackgroundWriting(true);
        log.WriteLine("by itself");
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Texts("Soon.log").empty() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(Texts("Soon.log"), (std::vector<std::string>{"by itself"}));
    }
    // A fresh process: a forked copy of this one would hold a writer whose
    // thread did not come along. It runs this test again from the start in
    // a folder of its own, so it writes into a folder named after its parent.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const fs::path shared = fs::temp_directory_path() / ("orva-log-at-exit-" + std::to_string(::getpid()));
    fs::create_directories(shared);
    EXPECT_EXIT(
        {
            const fs::path parents = fs::temp_directory_path() / ("orva-log-at-exit-" + std::to_string(::getppid()));
            static CLogFile* const log = new CLogFile((parents / "AtExit").string(), 10);  // never destroyed
            log->SetBackgroundWriting(true);
            log->WriteLine("first");
            log->WriteLine("second");
            std::exit(3);
        },
        ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(Texts((shared / "AtExit.log").string()), (std::vector<std::string>{"second", "first"}));
    fs::remove_all(shared);
}

// Several threads write quickly into one log, through one object and through
// objects of their own: no line is lost, each thread's lines stay in their
// order and the time stamps never go backwards down the file.
TEST_F(LogFileTest, LinesFromSeveralThreadsKeepTheirOrder)
{
    constexpr int kThreads = 4;
    constexpr int kLines = 150;
    for (const bool shared : {true, false}) {
        SCOPED_TRACE(shared ? "one object" : "an object per thread");
        fs::remove("Busy.log");
        CLogFile common("Busy", 1000);
        common.SetBackgroundWriting(true);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                CLogFile own("Busy", 1000);
                own.SetBackgroundWriting(true);
                CLogFile& log = shared ? common : own;
                for (int i = 0; i < kLines; ++i)
                    log.WriteLine("t" + std::to_string(t) + " " + std::to_string(i));
            });
        for (std::thread& thread : threads)
            thread.join();
        common.Flush();

        const std::vector<std::string> lines = ReadLines("Busy.log");
        ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
        std::vector<int> next(kThreads, kLines - 1);  // newest first
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string text = TextOf(lines[i]);
            const int t = text[1] - '0';
            ASSERT_TRUE(t >= 0 && t < kThreads) << text;
            EXPECT_EQ(text, "t" + std::to_string(t) + " " + std::to_string(next[static_cast<size_t>(t)]--));
            if (i > 0) {
                EXPECT_GE(lines[i - 1].substr(0, 23), lines[i].substr(0, 23)) << i;
            }
        }
    }
}

// The log kept in memory is only used while the file is still the one it
// wrote last: a log changed or removed by somebody else is read again.
TEST_F(LogFileTest, ALogChangedUnderTheWriterIsReadAgain)
{
    struct Case {
        const char* name;
        void (*change)();
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"removed by the operator", [] { fs::remove("Shared.log"); }, {"new"}},
        {"replaced by another program",
         [] { std::ofstream("Shared.log") << "2026-01-01 00:00:00:000: other\n"; },
         {"new", "other"}},
        {"appended to in place",
         [] { std::ofstream("Shared.log", std::ios::app) << "2026-01-01 00:00:00:000: tail\n"; },
         {"new", "b", "a", "tail"}},
    };
    for (const bool background : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (background ? ", background" : ""));
            fs::remove("Shared.log");
            CLogFile log("Shared", 10);
            WriteAndFlush(log, background, {"a", "b"});
            c.change();
            log.WriteLine("new");
            log.Flush();
            EXPECT_EQ(Texts("Shared.log"), c.expected);
        }
    }
}

// A full disk: the lines that cannot be written are lost, the old log stays
// whole, and the next line that fits goes on top of the old log.
TEST_F(LogFileTest, AFullDiskLosesTheLinesAndKeepsTheOldLog)
{
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    for (const bool background : {false, true}) {
        SCOPED_TRACE(background ? "background" : "at once");
        fs::remove("Full.log");
        CLogFile log("Full", 100);
        WriteAndFlush(log, background, {"old 1", "old 2"});
        const std::string before = [] {
            std::ifstream in("Full.log");
            return std::string(std::istreambuf_iterator<char>(in), {});
        }();

        // Files of this process cannot grow past the present log: the next
        // rewrite comes up short, as on a full disk.
        rlimit previousLimit{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
        rlimit full = previousLimit;
        full.rlim_cur = before.size();
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
        log.WriteLine("lost 1");
        log.WriteLine("lost 2");
        log.Flush();
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &previousLimit), 0);

        std::ifstream in("Full.log");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
        EXPECT_FALSE(fs::exists("Full.tmp"));
        log.WriteLine("room again");
        log.Flush();
        EXPECT_EQ(Texts("Full.log"), (std::vector<std::string>{"room again", "old 2", "old 1"}));
    }
    std::signal(SIGXFSZ, previousHandler);
}

}  // namespace
