// The command line and the headless screen: the options, and the exact form
// of the lines that the end-to-end tests and the demo read.

#include "app/CommandLine.h"
#include "app/HeadlessScreen.h"
#include "db/DatabaseMgrHost.h"
#include "db/DbConvert.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/TelHandlerMsg.h"
#include "support/TempDir.h"
#include "support/TestDictionary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// ---------------------------------------------------------------------------
// Command line

struct ParseCase {
    const char* name;
    std::vector<std::string> args;
    bool valid;
    bool headless;
    std::string operatorName;  // empty: none given
};

class CommandLineTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CommandLineTest, Parses)
{
    const ParseCase& c = GetParam();
    std::string error;
    const std::optional<CommandLine> options = ParseCommandLine(c.args, error);
    ASSERT_EQ(options.has_value(), c.valid) << error;
    if (!c.valid) {
        EXPECT_FALSE(error.empty());
        return;
    }
    EXPECT_EQ(options->headless, c.headless);
    EXPECT_EQ(options->operatorName.value_or(""), c.operatorName);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineTest,
    ::testing::Values(ParseCase{"Nothing", {}, true, false, ""}, ParseCase{"Headless", {"--headless"}, true, true, ""},
                      ParseCase{
                          "OperatorWithSpace", {"--operator", "Anna Berg", "--headless"}, true, true, "Anna Berg"},
                      ParseCase{"OperatorWithEquals", {"--operator=Kim"}, true, false, "Kim"},
                      ParseCase{"OperatorWithoutName", {"--operator"}, false, false, ""},
                      ParseCase{"OperatorEmpty", {"--operator="}, false, false, ""},
                      ParseCase{"Unknown", {"--windows"}, false, false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Lines

class HeadlessScreenTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(InstallEnglishDictionary()); }

    std::ostringstream out;
    CHeadlessScreen screen{out, [] { return std::string("2026-12-10 03:04:05"); }};
};

TEST_F(HeadlessScreenTest, WritesOneTimeStampedLinePerEvent)
{
    screen.SetStatusText("TEL: Com OK, Line OK", STATUS_PANE_TEL);
    screen.SetStatusText("TEL: Com OK, Line OK", STATUS_PANE_TEL);  // no change, no line
    screen.SetStatusText("GSM: Disabled", STATUS_PANE_GSM);
    screen.AddSystemInfo("ERROR: E-mail sending failure, Error connecting to Mailserver..., MailTo a@b", true);
    screen.AddSystemInfo("Line one\nline two", false);
    screen.ShowCallProgress(VC_PICK_UP, 295);
    screen.ShowCallProgress(9, 0);
    screen.ShowAlarmList(nullptr);
    screen.SetTitle("Tervin CallCenter Ver. 2.72 - Olle");
    screen.ShowMessage("TelHandler: Undefined Error", MessageIcon::Error);

    EXPECT_EQ(
        Lines(out.str()),
        (std::vector<std::string>{
            "2026-12-10 03:04:05 STATUS 3 TEL: Com OK, Line OK",
            "2026-12-10 03:04:05 STATUS 2 GSM: Disabled",
            "2026-12-10 03:04:05 INFO 1 ERROR: E-mail sending failure, Error connecting to Mailserver..., MailTo a@b",
            "2026-12-10 03:04:05 INFO 0 Line one\\nline two",
            "2026-12-10 03:04:05 CALL 2 VC_PICK_UP 295",
            "2026-12-10 03:04:05 CALL 9 9 0",
            "2026-12-10 03:04:05 LIST 0",
            "2026-12-10 03:04:05 TITLE Tervin CallCenter Ver. 2.72 - Olle",
            "2026-12-10 03:04:05 MESSAGE TelHandler: Undefined Error",
        }));
}

TEST_F(HeadlessScreenTest, AlarmIsOneLineWithQuotedEscapedTexts)
{
    CAlarmInfoMsg alarm;
    alarm.PrimaryKey = 42;
    alarm.AlarmType = ALARMTYPE_VOICE;
    alarm.AlarmSource = ALARMSOURCE_TEL;
    alarm.AlarmStatus = ALARMSTATUS_NEW;
    alarm.IdCode = "123456";
    alarm.CallerIdInfo = "";
    alarm.IdInfo = "Lift \"A\", Storgatan 1\\2";
    alarm.Text.SetText("Voice call\nFloor 3");
    screen.ShowNewAlarm(alarm, AlarmPopUp::VoiceCall);

    const std::string line = out.str();
    EXPECT_EQ(line, "2026-12-10 03:04:05 ALARM voice key=42 type=3 source=1 status=1 id=\"123456\" cid=\"\" "
                    "info=\"Lift \\\"A\\\", Storgatan 1\\\\2\" text=\"Voice call\\nFloor 3\"\n");
}

TEST_F(HeadlessScreenTest, EveryLineHasTheDocumentedShape)
{
    CAlarmInfoMsg alarm;
    alarm.Text.SetText("a\r\nb\tc");
    screen.ShowNewAlarm(alarm, AlarmPopUp::None);
    screen.ShowNewAlarm(alarm, AlarmPopUp::Normal);
    screen.SetStatusText("", STATUS_PANE_MAIL);
    screen.WriteEvent("READY", "");
    const std::regex shape(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d [A-Z]+( [^\r\n]*)?$)");
    const std::vector<std::string> lines = Lines(out.str());
    ASSERT_EQ(lines.size(), 4u);
    for (const std::string& line : lines)
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
    EXPECT_NE(lines[0].find("ALARM none "), std::string::npos);
    EXPECT_NE(lines[0].find("text=\"a\\nb\\tc\""), std::string::npos);
    EXPECT_NE(lines[1].find("ALARM normal "), std::string::npos);
    EXPECT_EQ(lines[3], "2026-12-10 03:04:05 READY");
}

TEST_F(HeadlessScreenTest, DefaultClockIsTheLocalTimeToTheSecond)
{
    EXPECT_TRUE(std::regex_match(CHeadlessScreen::LocalTimeStamp(), std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")));
}

// ---------------------------------------------------------------------------
// Answers

TEST_F(HeadlessScreenTest, MissingDatabaseIsCreated)
{
    TempDir dir;
    const std::string folder = dir.Path().string() + "/";
    CDbConvert converter;
    converter.SetPath(folder);
    EXPECT_EQ(screen.RunDatabaseMgrDlg(DBMGRDLG_REASON_NO_DATABASE, folder, &converter), DBMGRDLG_START);
    EXPECT_TRUE(fs::exists(dir.Path() / "ORVA_10.mdb"));
    const std::vector<std::string> lines = Lines(out.str());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "2026-12-10 03:04:05 DATABASE No Database found at the path: " + folder);
    EXPECT_EQ(lines.back(), "2026-12-10 03:04:05 DATABASE Database successfully created...");
    EXPECT_EQ(screen.GetLastDatabaseReason(), 0);
}

TEST_F(HeadlessScreenTest, DatabaseThatCannotBeCreatedEndsTheStart)
{
    TempDir dir;
    const std::string folder = dir.Path().string() + "/no/such/folder/";
    CDbConvert converter;
    converter.SetPath(folder);
    EXPECT_EQ(screen.RunDatabaseMgrDlg(DBMGRDLG_REASON_NO_DATABASE, folder, &converter), DBMGRDLG_END);
    EXPECT_EQ(Lines(out.str()).back(), "2026-12-10 03:04:05 DATABASE Error Creating Database...");
    EXPECT_EQ(screen.GetLastDatabaseReason(), DBMGRDLG_REASON_NO_DATABASE);
}

TEST_F(HeadlessScreenTest, QuestionsOnlyAnOperatorCouldAnswerAreCancelled)
{
    EXPECT_EQ(screen.RunDatabaseMgrDlg(DBMGRDLG_REASON_INVALID_PATH, "/nowhere/", nullptr), DBMGRDLG_CANCEL);
    EXPECT_EQ(screen.RunDatabaseMgrDlg(DBMGRDLG_REASON_BAD_DATABASE, "/tmp/", nullptr), DBMGRDLG_CANCEL);
    EXPECT_EQ(screen.SelectComPort("Telephone Modem Serial Port Error", 3), std::nullopt);
    std::string folder;
    EXPECT_FALSE(screen.BrowseDatabasePath(folder));
    SettingsValues values;
    EXPECT_FALSE(screen.RunSettingsSheet(values));
    const std::vector<std::string> lines = Lines(out.str());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "2026-12-10 03:04:05 DATABASE The current path: /nowhere/ to the Database does not exist!");
    EXPECT_EQ(lines[2], "2026-12-10 03:04:05 MESSAGE Telephone Modem Serial Port Error");
}

}  // namespace
