// AlarmTypeText.ini: the header texts of the alarm dialog, created with the
// dictionary texts when missing, edited by hand afterwards.

#include "ui/AlarmTypeTextFile.h"

#include "messages/AlarmInfoMsg.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// The file as a station with English texts writes it, spelled out here
// rather than taken from the program.
const char* const kEnglishFile = "// AlarmTypeText.ini - Contains the text lines displayed in the alarm dialog.\r\n"
                                 "// Lines starting with '//' is a comment line.\r\n"
                                 "// Lines starting with ':' is a block label line.\r\n"
                                 "// Lines following a block label is the text lines that will be displayed\r\n"
                                 "// in the alarm dialog according to the alarm type.\r\n"
                                 "// Edit the default text as needed.\r\n"
                                 "// NOTE! DO NOT edit the block labels.\r\n"
                                 "\r\n"
                                 ":P100Alarm\r\n"
                                 "// The following line(s) belongs to the 'P100' alarm type\r\n"
                                 "*** P100 Alarm ***\r\n"
                                 ":SMSAlarm\r\n"
                                 "// The following line(s) belongs to the 'SMS' alarm type\r\n"
                                 "*** SMS Alarm ***\r\n"
                                 ":VoiceCallAlarm\r\n"
                                 "// The following line(s) belongs to the 'Voice' alarm type\r\n"
                                 "*** Voice Call Alarm ***\r\n"
                                 ":OpFailAlarm\r\n"
                                 "// The following line(s) belongs to the 'OpFail' alarm type\r\n"
                                 "*** Operational Failure Alarm ***\r\n"
                                 ":LiftControllerAlarm\r\n"
                                 "// The following line(s) belongs to the 'Lift Monitoring System' alarm type\r\n"
                                 "*** Lift Monitoring System Alarm ***\r\n"
                                 ":TestAlarm\r\n"
                                 "// The following line(s) belongs to the 'Test' alarm type\r\n"
                                 "*** Test Successful ***\r\n"
                                 ":TestAlarmFailure\r\n"
                                 "// The following line(s) belongs to the 'Test fail' alarm type\r\n"
                                 "*** Test Alarm Failure ***\r\n"
                                 ":StartOfAlarm\r\n"
                                 "// The following line(s) belongs to the 'Emergency Call Activated' alarm type\r\n"
                                 "*** Emergency Call Activated ***\r\n"
                                 ":EndOfAlarm\r\n"
                                 "// The following line(s) belongs to the 'End of Alarm' alarm type\r\n"
                                 "*** End of Alarm ***\r\n"
                                 ":Maintenance\r\n"
                                 "// The following line(s) belongs to the 'Maintenance' alarm type\r\n"
                                 "*** Maintenance ***\r\n";

TEST(AlarmTypeTextFileTest, MissingFileIsCreatedWithTheDictionaryTextsAndReadsBackTheSame)
{
    TempDir dir;
    CAlarmTypeTextFile texts;
    EXPECT_EQ(texts.Load(dir.Path()), CAlarmTypeTextFile::LoadResult::Created);
    EXPECT_EQ(ReadBytes(dir / "AlarmTypeText.ini"), kEnglishFile);

    CAlarmTypeTextFile again;
    for (int slot = 0; slot < CAlarmTypeTextFile::kSlotCount; ++slot)
        again.SetText(slot, "changed\r\n");
    EXPECT_EQ(again.Load(dir.Path()), CAlarmTypeTextFile::LoadResult::Read);
    for (int slot = 0; slot < CAlarmTypeTextFile::kSlotCount; ++slot)
        EXPECT_EQ(again.Text(slot), texts.Text(slot)) << "slot " << slot;
}

TEST(AlarmTypeTextFileTest, WrittenTextsReadBackIntoTheSameSlots)
{
    TempDir dir;
    CAlarmTypeTextFile written;
    for (int slot = 0; slot < CAlarmTypeTextFile::kSlotCount; ++slot)
        written.SetText(slot, "Slot " + std::to_string(slot) + "\r\nsecond line\r\n");
    written.SetText(4, "");                        // an empty header stays empty
    written.SetText(7, "Nödsamtal – Hissen\r\n");  // UTF-8 in, UTF-8 out
    written.SetText(9, "\r\n\r\n");                // blank lines are text too
    ASSERT_TRUE(written.Write(dir / "AlarmTypeText.ini"));

    CAlarmTypeTextFile read;
    ASSERT_TRUE(read.Read(dir / "AlarmTypeText.ini"));
    for (int slot = 0; slot < CAlarmTypeTextFile::kSlotCount; ++slot)
        EXPECT_EQ(read.Text(slot), written.Text(slot)) << "slot " << slot;
}

TEST(AlarmTypeTextFileTest, TextWithoutItsOwnLineEndDoesNotSwallowTheNextLabel)
{
    CAlarmTypeTextFile written;
    written.SetText(0, "no line end");
    CAlarmTypeTextFile read;
    read.Parse(written.FileContent());
    EXPECT_EQ(read.Text(0), "no line end\r\n");
    EXPECT_EQ(read.Text(1), written.Text(1));
}

struct ParseCase {
    const char* name;
    const char* file;
    int slot;
    const char* expected;
};

class AlarmTypeTextParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(AlarmTypeTextParseTest, BlockSetsItsSlot)
{
    const ParseCase& c = GetParam();
    CAlarmTypeTextFile texts;
    const CAlarmTypeTextFile defaults;
    texts.Parse(c.file);
    EXPECT_EQ(texts.Text(c.slot), c.expected);
    // Nothing else moved.
    for (int slot = 0; slot < CAlarmTypeTextFile::kSlotCount; ++slot) {
        if (slot != c.slot) {
            EXPECT_EQ(texts.Text(slot), defaults.Text(slot)) << "slot " << slot;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AlarmTypeTextParseTest,
    ::testing::Values(ParseCase{"LowerCaseLabel", ":testalarm\r\nAll well\r\n", 4, "All well\r\n"},
                      ParseCase{"MixedCaseLabelWithTrailingBlank", ":LIFTcontrollerALARM  \r\nLift\r\n", 5, "Lift\r\n"},
                      ParseCase{"LinesBeforeTheFirstLabelIgnored", "stray line\r\n\r\n:SMSAlarm\r\nSMS!\r\n", 1,
                                "SMS!\r\n"},
                      ParseCase{"UnknownLabelsBlockIgnoredWithAllItsLines",
                                ":P100Alarm\r\nP100\r\n:NoSuchLabel\r\nlost\r\nlost too\r\n", 0, "P100\r\n"},
                      ParseCase{"EmptyBlockMakesEmptyHeader", ":EndOfAlarm\r\n:NoSuchLabel\r\n", 8, ""},
                      ParseCase{"EmptyBlockAtEndOfFile", ":Maintenance\r\n// only a comment\r\n", 9, ""},
                      ParseCase{"CommentsInsideBlockSkipped", ":OpFailAlarm\r\nA\r\n// note\r\nB\r\n", 3, "A\r\nB\r\n"},
                      ParseCase{"LastLineWithoutLineEnd", ":VoiceCallAlarm\r\nCall", 2, "Call\r\n"},
                      ParseCase{"UnixLineEnds", ":StartOfAlarm\nOne\nTwo\n", 7, "One\r\nTwo\r\n"},
                      ParseCase{"LaterBlockOfSameLabelWins",
                                ":TestAlarmFailure\r\nfirst\r\n:TESTALARMFAILURE\r\nsecond\r\n", 6, "second\r\n"}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(AlarmTypeTextFileTest, Windows1252FileIsReadAsSuch)
{
    TempDir dir;
    // "Hiss i nöd – ring 112" in Windows-1252 (ö 0xF6, en dash 0x96).
    WriteBytes(dir / "AlarmTypeText.ini", ":VoiceCallAlarm\r\nHiss i n\xF6"
                                          "d \x96 ring 112\r\n");
    CAlarmTypeTextFile texts;
    EXPECT_EQ(texts.Load(dir.Path()), CAlarmTypeTextFile::LoadResult::Read);
    EXPECT_EQ(texts.Text(2), "Hiss i nöd – ring 112\r\n");
}

TEST(AlarmTypeTextFileTest, FileThatCanBeNeitherReadNorCreatedLeavesTheDictionaryTexts)
{
    TempDir dir;
    CAlarmTypeTextFile texts;
    const CAlarmTypeTextFile defaults;
    EXPECT_EQ(texts.Load(dir.Path() / "missing-folder"), CAlarmTypeTextFile::LoadResult::NotCreated);
    // Something that is there but cannot be read is left alone.
    std::filesystem::create_directories(dir.Path() / "unreadable" / "AlarmTypeText.ini");
    EXPECT_EQ(texts.Load(dir.Path() / "unreadable"), CAlarmTypeTextFile::LoadResult::NotCreated);
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "unreadable" / "AlarmTypeText.ini"));
    for (int slot = 0; slot < CAlarmTypeTextFile::kSlotCount; ++slot)
        EXPECT_EQ(texts.Text(slot), defaults.Text(slot));
}

TEST(AlarmTypeTextFileTest, HeaderTextOfEachAlarmType)
{
    const CAlarmTypeTextFile texts;
    const struct {
        uint8_t type;
        const char* header;
    } cases[] = {
        {ALARMTYPE_P100, "*** P100 Alarm ***\r\n"},
        {ALARMTYPE_SMS, "*** SMS Alarm ***\r\n"},
        {ALARMTYPE_VOICE, "*** Voice Call Alarm ***\r\n"},
        {ALARMTYPE_OPFAIL, "*** Operational Failure Alarm ***\r\n"},
        {ALARMTYPE_LIFT_MONITORING, "*** Lift Monitoring System Alarm ***\r\n"},
        {ALARMTYPE_TEST, "*** Test Successful ***\r\n"},
        {ALARMTYPE_TEST_FAIL, "*** Test Alarm Failure ***\r\n"},
        {ALARMTYPE_EMERGENCY_CALL, "*** Emergency Call Activated ***\r\n"},
        {ALARMTYPE_END_OF_ALARM, "*** End of Alarm ***\r\n"},
        {ALARMTYPE_MAINTENANCE, "*** Maintenance ***\r\n"},
        {ALARMTYPE_VOICE_REDIRECTED, "*** Voice Call Alarm ***\r\n"},
        {0, ""},
        {12, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(texts.HeaderText(c.type), c.header) << "type " << int(c.type);
}

}  // namespace
