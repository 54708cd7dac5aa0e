// The alarm journal: records survive the process, a record stays open until
// it is done, the file is plain text that a cut or damaged line cannot spoil,
// and it is private to the station's user.

#include "core/AlarmJournal.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

CAlarmJournal::Record Alarm(const std::string& idCode, const std::string& text = "Floor 3")
{
    CAlarmJournal::Record record;
    record.type = 42;
    record.fields = {{"idCode", idCode}, {"text", text}};
    return record;
}

std::string Read(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(AlarmJournal, EveryTextSurvivesTheLineFormat)
{
    const std::string texts[] = {"",          "plain",        "tab\there", "two\r\nlines",
                                 "100% sure", "%41 is not A", "key=value", "ÅÄÖ ß €"};
    for (const std::string& text : texts) {
        CAlarmJournal::Record record = Alarm(text, text);
        record.id = "id-" + text;
        record.time = 1700000000;
        const std::string line = CAlarmJournal::EncodeRecord(record);
        EXPECT_EQ(line.find('\n'), line.size() - 1) << text;
        char kind = 0;
        CAlarmJournal::Record back;
        ASSERT_TRUE(CAlarmJournal::DecodeLine(line, kind, back)) << text;
        EXPECT_EQ(kind, 'A');
        EXPECT_EQ(back.id, record.id);
        EXPECT_EQ(back.time, record.time);
        EXPECT_EQ(back.type, 42);
        EXPECT_EQ(back.fields, record.fields) << text;
    }
}

TEST(AlarmJournal, OpenRecordsSurviveTheProcessUntilDone)
{
    TempDir dir;
    std::string firstId;
    {
        CAlarmJournal journal;
        ASSERT_TRUE(journal.Open(dir.Path().string()));
        CAlarmJournal::Record first = Alarm("L1");
        CAlarmJournal::Record second = Alarm("L2");
        ASSERT_TRUE(journal.Append(first));
        ASSERT_TRUE(journal.Append(second));
        EXPECT_NE(first.id, second.id);
        EXPECT_NE(first.time, 0);
        journal.MarkForwarded(first.id);
        journal.Done(second.id);
        firstId = first.id;
    }
    CAlarmJournal reopened;
    ASSERT_TRUE(reopened.Open(dir.Path().string()));
    const auto pending = reopened.Pending();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].id, firstId);
    EXPECT_TRUE(pending[0].forwarded);
    EXPECT_EQ(pending[0].fields, Alarm("L1").fields);

    // A new record of a later run never reuses an id.
    CAlarmJournal::Record third = Alarm("L3");
    reopened.Append(third);
    EXPECT_NE(third.id, firstId);
}

TEST(AlarmJournal, IsEmptiedWhenEveryRecordIsDoneAndIsPrivate)
{
    TempDir dir;
    CAlarmJournal journal;
    ASSERT_TRUE(journal.Open(dir.Path().string()));
    CAlarmJournal::Record record = Alarm("L1");
    journal.Append(record);
    const fs::path file = dir / CAlarmJournal::kFileName;
    EXPECT_GT(fs::file_size(file), 0u);
    journal.Done(record.id);
    EXPECT_EQ(fs::file_size(file), 0u);
    EXPECT_EQ(journal.PendingCount(), 0u);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(AlarmJournal, CutAndDamagedLinesAreSkippedNotTheRest)
{
    TempDir dir;
    const fs::path file = dir / CAlarmJournal::kFileName;
    {
        CAlarmJournal::Record good = Alarm("L1");
        good.id = "good";
        good.time = 1700000000;
        std::ofstream out(file, std::ios::binary);
        out << "A\tbroken\tnot-a-time\t42\n"
            << "garbage without tabs\n"
            << "A\tbad%escape\t1700000000\t42\n"
            << CAlarmJournal::EncodeRecord(good) << "D\tunknown\n"
            << "A\tcut\t1700000000\t42\tidCode=L";  // the crash came here
    }
    CAlarmJournal journal;
    ASSERT_TRUE(journal.Open(dir.Path().string()));
    const auto pending = journal.Pending();
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].id, "good");
    // The last line without its end still holds a whole record.
    EXPECT_EQ(pending[1].id, "cut");

    // A record appended now starts on a line of its own.
    CAlarmJournal::Record next = Alarm("L9");
    journal.Append(next);
    CAlarmJournal again;
    ASSERT_TRUE(again.Open(dir.Path().string()));
    EXPECT_EQ(again.PendingCount(), 3u);
}

TEST(AlarmJournal, OpenRecordsMoveWithTheDatabaseFolder)
{
    TempDir first;
    TempDir second;
    CAlarmJournal journal;
    ASSERT_TRUE(journal.Open(first.Path().string()));
    CAlarmJournal::Record record = Alarm("L1");
    journal.Append(record);
    ASSERT_TRUE(journal.Open(second.Path().string() + "/"));
    EXPECT_EQ(journal.PendingCount(), 1u);
    EXPECT_EQ(fs::file_size(first / CAlarmJournal::kFileName), 0u);

    CAlarmJournal reopened;
    ASSERT_TRUE(reopened.Open(second.Path().string()));
    ASSERT_EQ(reopened.PendingCount(), 1u);
    EXPECT_EQ(reopened.Pending()[0].id, record.id);
}

TEST(AlarmJournal, WithoutItsFileRecordsAreKeptInMemory)
{
    TempDir dir;
    CAlarmJournal journal;
    EXPECT_FALSE(journal.Open(dir / "no such folder"));
    CAlarmJournal::Record record = Alarm("L1");
    EXPECT_FALSE(journal.Append(record));
    EXPECT_FALSE(record.id.empty());
    EXPECT_EQ(journal.PendingCount(), 1u);
    journal.Done(record.id);
    EXPECT_EQ(journal.PendingCount(), 0u);
}

}  // namespace
