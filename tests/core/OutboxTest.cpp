// The outbox of alarm mails and SMS: the file format (and the mail files of
// earlier versions), the private folder and files, writes that leave no half
// file, the jobs of an alarm named after its record, held jobs, the load at a
// start with its age limit, and the folder moving with the database.

#include "core/Outbox.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Kind = COutbox::Kind;
using AddResult = COutbox::AddResult;
using Job = COutbox::Job;

// A fixed "now" for the loads; the jobs carry their own times.
constexpr std::time_t kNow = 1750000000;
constexpr std::time_t kDay = COutbox::kMaxAgeSeconds;

// Everything a job's file holds (its name is the file's, not the text's).
auto Fields(const Job& job)
{
    return std::make_tuple(static_cast<int>(job.kind), job.alarmId, job.slot, job.alarm, job.emergency, job.held,
                           static_cast<long long>(job.created), job.attempts, job.recipients, job.subject, job.body);
}

// A mail file exactly as earlier versions wrote it.
std::string LegacyText(const std::string& recipients, const std::string& subject, const std::string& body,
                       unsigned attempts = 0)
{
    std::string text = "ORVA-MAIL 1\nAttempts " + std::to_string(attempts) + "\n";
    text += "Recipients " + std::to_string(recipients.size()) + "\n" + recipients + "\n";
    text += "Subject " + std::to_string(subject.size()) + "\n" + subject + "\n";
    text += "Body " + std::to_string(body.size()) + "\n" + body + "\n";
    return text + "End\n";
}

// Jobs in tables are written out whole, in the order of the fields:
// name, kind, alarmId, slot, alarm, emergency, held, created, attempts,
// recipients, subject, body.
Job MailJob(const std::string& alarmId, const std::string& slot, bool held = false, std::time_t created = kNow)
{
    return Job{"", Kind::Mail, alarmId, slot, "LIFT-0042", false, held, created, 0, "a@x.test", "Alarm", "Body\r\n"};
}

Job SmsJob(const std::string& alarmId, const std::string& slot, bool held = false, std::time_t created = kNow)
{
    return Job{"",   Kind::Sms, alarmId, slot,           "LIFT-0042", false,
               held, created,   0,       "+46701234567", "",          "Alarm LIFT-0042"};
}

mode_t ModeOf(const fs::path& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

std::vector<std::string> Names(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> NamesOf(const std::vector<Job>& jobs)
{
    std::vector<std::string> names;
    for (const Job& job : jobs)
        names.push_back(job.name);
    return names;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

void SetModified(const fs::path& path, std::time_t when)
{
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// ---------------------------------------------------------------------------
// The file format

TEST(OutboxFormat, EveryJobComesBackAsItWasWritten)
{
    const struct {
        const char* name;
        Job job;
    } cases[] = {
        {"AlarmMail",
         {"", Kind::Mail, "1750000000000-4242-7", "mail", "LIFT-0042", false, false, kNow, 0, "a@x.test", "Alarm",
          "\r\nAlarm Type: P100\r\n"}},
        {"HeldEmergencySms",
         {"", Kind::Sms, "1750000000000-4242-8", "sms2", "A 7", true, true, kNow - 5, 3, "+46701234567", "",
          "Alarm A 7"}},
        {"NothingSet", Job()},
        {"LargestNumbers", {"", Kind::Sms, "", "", "", false, false, 999999999999, 65535, "", "", ""}},
        {"EveryAddressAndUmlauts",
         {"", Kind::Mail, "", "", "", false, false, kNow, 0, "a@x.test; b@y.test,c@z.test",
          "Larm – Hiss 3 / Aufzug gestört", "Zeile\nmit\rallem\r\n"}},
        {"TheFormatsOwnWordsAsData",
         {"", Kind::Mail, "Slot 3\n", "End\n", "Kind sms\nHeld 1\n", false, false, kNow, 0, "x", "Subject 12\nBody 3\n",
          "End\nRecipients 4\nEnd\n"}},
        {"Binary",
         {"", Kind::Mail, "", "", std::string("\0\n", 2), false, false, kNow, 0, "x", "y",
          std::string("\0\xFF\x01 binary\0", 11)}},
        {"LongBody", {"", Kind::Mail, "", "", "", false, false, kNow, 0, "x", "y", std::string(300000, 'L')}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Job back;
        back.name = "kept.job";
        ASSERT_TRUE(COutbox::Decode(COutbox::Encode(c.job), back));
        EXPECT_TRUE(Fields(back) == Fields(c.job));
        EXPECT_EQ(back.name, "kept.job");  // the name is the file's, not the text's
    }
}

TEST(OutboxFormat, AMailOfTheEarlierFormatIsReadAsAMailJob)
{
    Job job = SmsJob("old", "sms1", true);
    job.name = "20240101T000000Z-000001.mail";
    ASSERT_TRUE(COutbox::Decode(LegacyText("a@x.test; b@y.test", "Alarm", "End\nBody 3\n", 4), job));
    const Job expected{"", Kind::Mail, "", "", "", false, false, 0, 4, "a@x.test; b@y.test", "Alarm", "End\nBody 3\n"};
    EXPECT_TRUE(Fields(job) == Fields(expected));  // no alarm record, not held; dated by its file
    EXPECT_EQ(job.name, "20240101T000000Z-000001.mail");
}

TEST(OutboxFormat, AnythingButAWholeJobIsRefused)
{
    const Job sample{"", Kind::Sms, "12-3", "sms1", "A", true, false, kNow, 2, "+4670", "", "Body\r\n"};
    const std::string whole = COutbox::Encode(sample);
    const std::string legacy = LegacyText("a@x.test", "Alarm", "Body\r\n", 2);
    // Every cut short, as a write that never finished would leave it.
    for (const std::string& text : {whole, legacy}) {
        for (std::size_t length = 0; length < text.size(); ++length) {
            Job job;
            EXPECT_FALSE(COutbox::Decode(text.substr(0, length), job)) << length << " of " << text;
        }
    }

    const std::string head = "ORVA-JOB 1\nKind sms\nCreated 5\nEmergency 0\nHeld 0\nAttempts 0\n";
    const std::string tail = "Alarm 1\nx\nRecipients 1\nr\nSubject 1\ns\nBody 1\nb\nEnd\n";
    const std::string fields = "AlarmId 4\n12-3\nSlot 4\nsms1\n" + tail;
    const std::string oldFields = "Recipients 1\nx\nSubject 1\ny\nBody 1\nz\nEnd\n";
    Job control;
    ASSERT_TRUE(COutbox::Decode(head + fields, control));  // the pieces below are sound on their own
    ASSERT_TRUE(COutbox::Decode("ORVA-MAIL 1\nAttempts 0\n" + oldFields, control));

    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"Empty", ""},
        {"OtherHeader", "ORVA-JOB 2\nKind sms\nCreated 5\nEmergency 0\nHeld 0\nAttempts 0\n" + fields},
        {"MoreAfterTheEnd", whole + "x"},
        {"LineEndsConverted",
         "ORVA-JOB 1\r\nKind sms\r\nCreated 5\r\nEmergency 0\r\nHeld 0\r\nAttempts 0\r\n" + fields},
        {"UnknownKind", "ORVA-JOB 1\nKind fax\nCreated 5\nEmergency 0\nHeld 0\nAttempts 0\n" + fields},
        {"NoKind", "ORVA-JOB 1\nCreated 5\nEmergency 0\nHeld 0\nAttempts 0\n" + fields},
        {"CreatedNegative", "ORVA-JOB 1\nKind sms\nCreated -5\nEmergency 0\nHeld 0\nAttempts 0\n" + fields},
        {"CreatedTooLarge", "ORVA-JOB 1\nKind sms\nCreated 1000000000000\nEmergency 0\nHeld 0\nAttempts 0\n" + fields},
        {"EmergencyNeitherZeroNorOne", "ORVA-JOB 1\nKind sms\nCreated 5\nEmergency 2\nHeld 0\nAttempts 0\n" + fields},
        {"HeldNeitherZeroNorOne", "ORVA-JOB 1\nKind sms\nCreated 5\nEmergency 0\nHeld 7\nAttempts 0\n" + fields},
        {"AttemptsBeyond16Bits", "ORVA-JOB 1\nKind sms\nCreated 5\nEmergency 0\nHeld 0\nAttempts 65536\n" + fields},
        {"NoNumber", "ORVA-JOB 1\nKind sms\nCreated \nEmergency 0\nHeld 0\nAttempts 0\n" + fields},
        {"SlotBeforeAlarmId", head + "Slot 4\nsms1\nAlarmId 4\n12-3\n" + tail},
        {"NoAlarmId", head + "Slot 4\nsms1\n" + tail},
        {"LengthTooLong", head + "AlarmId 9\n12-3\nSlot 4\nsms1\n" + tail},
        {"LengthTooShort", head + "AlarmId 3\n12-3\nSlot 4\nsms1\n" + tail},
        {"HugeLength", head + "AlarmId 99999999999999999999\n12-3\n"},
        {"OldFieldsUnderTheNewHeader", "ORVA-JOB 1\nAttempts 0\n" + oldFields},
        {"NewFieldsUnderTheOldHeader", "ORVA-MAIL 1\nKind mail\nCreated 5\nEmergency 0\nHeld 0\nAttempts 0\n" + fields},
        {"OldOtherHeader", "ORVA-MAIL 2\nAttempts 0\n" + oldFields},
        {"OldAttemptsBeyond16Bits", "ORVA-MAIL 1\nAttempts 65536\n" + oldFields},
        {"OldSignedNumber", "ORVA-MAIL 1\nAttempts -1\n" + oldFields},
        {"OldLengthTooLong", "ORVA-MAIL 1\nAttempts 0\nRecipients 9\nx\nSubject 1\ny\nBody 1\nz\nEnd\n"},
        {"OldLengthTooShort", "ORVA-MAIL 1\nAttempts 0\nRecipients 1\nxx\nSubject 1\ny\nBody 1\nz\nEnd\n"},
        {"OldHugeLength", "ORVA-MAIL 1\nAttempts 0\nRecipients 99999999999999999999\nx\n"},
        {"OldFieldsSwapped", "ORVA-MAIL 1\nAttempts 0\nSubject 1\ny\nRecipients 1\nx\nBody 1\nz\nEnd\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Job job = sample;
        job.name = "kept.job";
        EXPECT_FALSE(COutbox::Decode(c.text, job));
        EXPECT_TRUE(Fields(job) == Fields(sample));  // a refused text leaves the job as it was
        EXPECT_EQ(job.name, "kept.job");
    }
}

// ---------------------------------------------------------------------------
// Lines for the operator and the order of the requests

TEST(OutboxLines, AJobLineQuotesItsValuesOnOneLine)
{
    const struct {
        const char* name;
        std::string state;
        Job job;
        std::string line;
    } cases[] = {
        {"Mail",
         "queued",
         {"12-3-mail.job", Kind::Mail, "12-3", "mail", "LIFT-0042", false, false, kNow, 0, "a@x.test; b@y.test", "s",
          "b"},
         "queued mail alarm=\"LIFT-0042\" to=\"a@x.test; b@y.test\" job=12-3-mail.job"},
        {"EmergencySmsTriedBefore",
         "retry",
         {"12-3-sms1.job", Kind::Sms, "12-3", "sms1", "A", true, false, kNow, 2, "+46701234567", "", "b"},
         "retry sms alarm=\"A\" to=\"+46701234567\" emergency attempts=2 job=12-3-sms1.job"},
        {"QuotesAndBackslashes",
         "sent",
         {"n.job", Kind::Mail, "", "", "Lift \"A\" \\ 2", false, false, kNow, 0, "\"x\"", "", ""},
         "sent mail alarm=\"Lift \\\"A\\\" \\\\ 2\" to=\"\\\"x\\\"\" job=n.job"},
        {"LineBreaksFlattened",
         "held",
         {"n.job", Kind::Mail, "", "", "one\r\ntwo\nthree", false, true, kNow, 0, "a\rb", "", ""},
         "held mail alarm=\"one  two three\" to=\"a b\" job=n.job"},
        {"NothingKnown", "dropped", Job(), "dropped mail alarm=\"\" to=\"\" job="},
    };
    for (const auto& c : cases)
        EXPECT_EQ(COutbox::JobLine(c.state, c.job), c.line) << c.name;
}

TEST(OutboxLines, ANewAlarmGoesAheadOfLeftOversAndEmergencyAheadOfTechnical)
{
    // Highest precedence first.
    const struct {
        const char* name;
        bool emergency;
        bool leftOver;
    } order[] = {
        {"NewEmergency", true, false},
        {"NewTechnical", false, false},
        {"LeftOverEmergency", true, true},
        {"LeftOverTechnical", false, true},
    };
    for (std::size_t i = 1; i < std::size(order); ++i)
        EXPECT_GT(COutbox::PrecedenceOf(order[i - 1].emergency, order[i - 1].leftOver),
                  COutbox::PrecedenceOf(order[i].emergency, order[i].leftOver))
            << order[i - 1].name << " before " << order[i].name;
}

// ---------------------------------------------------------------------------
// The folder

class OutboxFolder : public ::testing::Test {
protected:
    fs::path Folder() const { return dir.Path() / COutbox::kFolderName; }
    fs::path LegacyFolder() const { return dir.Path() / COutbox::kLegacyFolderName; }
    void Put(Job& job) { ASSERT_EQ(outbox.Add(job), AddResult::Added) << outbox.GetLastError(); }

    TempDir dir;
    COutbox outbox;
};

TEST_F(OutboxFolder, FolderAndFilesArePrivateAndNoTemporaryFileIsLeft)
{
    const mode_t old = ::umask(0);  // the modes must not depend on the process's mask
    const bool opened = outbox.Open(Folder().string() + "/");
    Job named = MailJob("12-3", "mail");
    Job unnamed = SmsJob("", "");
    const AddResult first = outbox.Add(named);
    const AddResult second = outbox.Add(unnamed);
    ::umask(old);
    ASSERT_TRUE(opened) << outbox.GetLastError();
    EXPECT_EQ(outbox.GetFolder(), Folder().string());
    ASSERT_EQ(first, AddResult::Added) << outbox.GetLastError();
    ASSERT_EQ(second, AddResult::Added) << outbox.GetLastError();
    EXPECT_EQ(ModeOf(Folder()), 0700u);
    std::vector<std::string> expected = {named.name, unnamed.name};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(Folder()), expected);
    for (const Job& job : {named, unnamed}) {
        EXPECT_EQ(ModeOf(Folder() / job.name), 0600u) << job.name;
        EXPECT_EQ(ReadFile(Folder() / job.name), COutbox::Encode(job)) << job.name;
    }
}

TEST_F(OutboxFolder, AnOpenFolderIsMadePrivate)
{
    fs::create_directory(Folder());
    fs::permissions(Folder(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    ASSERT_TRUE(outbox.Open(Folder().string()));
    EXPECT_EQ(ModeOf(Folder()), 0700u);
}

TEST_F(OutboxFolder, AFolderThatCannotBeUsedIsReportedWithItsReason)
{
    WriteFile(Folder(), "a file where the folder should be");
    EXPECT_FALSE(outbox.Open(Folder().string()));
    EXPECT_FALSE(outbox.IsOpen());
    EXPECT_NE(outbox.GetLastError().find(Folder().string()), std::string::npos) << outbox.GetLastError();
    EXPECT_NE(outbox.GetLastError().find("Not a directory"), std::string::npos) << outbox.GetLastError();

    COutbox missingParent;
    EXPECT_FALSE(missingParent.Open((dir.Path() / "no-such-folder" / COutbox::kFolderName).string()));
    EXPECT_NE(missingParent.GetLastError().find("No such file or directory"), std::string::npos);
    for (Job job : {MailJob("12-3", "mail"), MailJob("", "")}) {
        EXPECT_EQ(missingParent.Add(job), AddResult::NotWritten);
        EXPECT_TRUE(job.name.empty());
        EXPECT_TRUE(missingParent.FileOf(job).empty());
    }
    const COutbox::Loaded loaded = missingParent.Load(Kind::Mail, kNow);
    EXPECT_TRUE(loaded.jobs.empty() && loaded.expired.empty() && loaded.unreadable.empty());
    EXPECT_TRUE(missingParent.RemoveHeld("12-3").empty());
}

TEST_F(OutboxFolder, AWriteThatFailsLeavesNothingAndSaysWhy)
{
    ASSERT_TRUE(outbox.Open(Folder().string()));
    Job kept = MailJob("", "");
    Put(kept);
    fs::remove_all(Folder());  // someone cleared the folder away
    for (Job job : {MailJob("", ""), SmsJob("12-3", "sms1")}) {
        EXPECT_EQ(outbox.Add(job), AddResult::NotWritten);
        EXPECT_TRUE(job.name.empty());
        EXPECT_NE(outbox.GetLastError().find("No such file or directory"), std::string::npos) << outbox.GetLastError();
    }
    kept.attempts = 1;
    EXPECT_FALSE(outbox.Update(kept));
    EXPECT_TRUE(outbox.Remove(kept.name));  // gone already: nothing to do
    EXPECT_FALSE(fs::exists(Folder()));
}

TEST_F(OutboxFolder, UpdateReplacesAndRemoveDeletes)
{
    ASSERT_TRUE(outbox.Open(Folder().string()));
    Job job = MailJob("12-3", "mail", true);
    Put(job);
    EXPECT_EQ(outbox.FileOf(job), (Folder() / job.name).string());
    EXPECT_TRUE(outbox.IsKept(job));
    job.attempts = 3;
    job.held = false;  // released
    ASSERT_TRUE(outbox.Update(job)) << outbox.GetLastError();
    EXPECT_EQ(Names(Folder()), std::vector<std::string>{job.name});
    const COutbox::Loaded loaded = outbox.Load(Kind::Mail, kNow);
    ASSERT_EQ(loaded.jobs.size(), 1u);
    EXPECT_TRUE(Fields(loaded.jobs[0]) == Fields(job));
    EXPECT_EQ(loaded.jobs[0].name, job.name);
    EXPECT_TRUE(outbox.Remove(job.name));
    EXPECT_TRUE(Names(Folder()).empty());
    EXPECT_FALSE(outbox.IsKept(job));
    EXPECT_TRUE(outbox.Remove(job.name));

    const Job withoutFile = MailJob("", "");
    EXPECT_TRUE(outbox.FileOf(withoutFile).empty());
    EXPECT_TRUE(outbox.IsKept(withoutFile));  // nothing on the disk to wait for
    EXPECT_FALSE(outbox.Update(withoutFile));
}

TEST_F(OutboxFolder, ALoadGivesTheJobsInTheOrderTheyWereComposedAndSetsAsideWhatItCannotRead)
{
    ASSERT_TRUE(outbox.Open(Folder().string()));
    // Written in this order; composed in another (a job composed again after
    // a restart keeps its time).
    const struct {
        const char* subject;
        std::time_t created;
    } written[] = {{"fourth", kNow - 10}, {"first", kNow - 30}, {"second", kNow - 20}, {"third", kNow - 20}};
    std::vector<std::string> names;
    for (const auto& w : written) {
        Job job = MailJob("", "", false, w.created);
        job.subject = w.subject;
        Put(job);
        names.push_back(job.name);
    }
    // A write a crash cut short, damaged jobs, a job too large to be one of
    // ours, and files that are no jobs.
    WriteFile(Folder() / (".tmp-" + names[0]), "ORVA-JOB 1\nKi");
    WriteFile(Folder() / "20000101T000000Z-000001-mail.job", "ORVA-JOB 1\nKind mail\nCreated 5\nEmer");
    WriteFile(Folder() / "20000101T000000Z-000001.mail", "ORVA-MAIL 1\nAttempts 0\nRecip");
    Job big = MailJob("", "");
    big.body.assign(COutbox::kMaxFileSize, 'B');
    WriteFile(Folder() / "big.job", COutbox::Encode(big));
    WriteFile(Folder() / "notes.txt", "not a job");
    WriteFile(Folder() / ".hidden.job", COutbox::Encode(MailJob("", "")));

    COutbox again;  // a new start
    ASSERT_TRUE(again.Open(Folder().string()));
    COutbox::Loaded loaded = again.Load(Kind::Mail, kNow);
    std::vector<std::string> subjects;
    for (const Job& job : loaded.jobs)
        subjects.push_back(job.subject);
    EXPECT_EQ(subjects, (std::vector<std::string>{"first", "second", "third", "fourth"}));
    EXPECT_EQ(NamesOf(loaded.jobs), (std::vector<std::string>{names[1], names[2], names[3], names[0]}));
    EXPECT_TRUE(loaded.expired.empty());
    std::vector<std::string> unreadable = loaded.unreadable;
    std::sort(unreadable.begin(), unreadable.end());
    EXPECT_EQ(unreadable, (std::vector<std::string>{(Folder() / "20000101T000000Z-000001-mail.job.bad").string(),
                                                    (Folder() / "20000101T000000Z-000001.mail.bad").string(),
                                                    (Folder() / "big.job.bad").string()}));
    EXPECT_FALSE(fs::exists(Folder() / (".tmp-" + names[0])));
    EXPECT_TRUE(fs::exists(Folder() / "notes.txt"));
    EXPECT_TRUE(fs::exists(Folder() / ".hidden.job"));

    // What was set aside stays aside.
    loaded = again.Load(Kind::Mail, kNow);
    EXPECT_EQ(loaded.jobs.size(), 4u);
    EXPECT_TRUE(loaded.unreadable.empty());
}

TEST_F(OutboxFolder, JobsWithoutAnAlarmRecordGetNewNamesThatSortInWritingOrderAcrossStarts)
{
    ASSERT_TRUE(outbox.Open(Folder().string()));
    // Mail and SMS mixed, in two runs: a second start within the same second
    // counts from the beginning again.
    const struct {
        Kind kind;
        bool held;
        bool newStart;
    } writes[] = {
        {Kind::Mail, false, false}, {Kind::Sms, false, false},  {Kind::Mail, true, false},
        {Kind::Sms, false, true},   {Kind::Mail, false, false}, {Kind::Sms, true, false},
    };
    COutbox other;
    COutbox* box = &outbox;
    std::vector<std::string> written;
    for (const auto& w : writes) {
        if (w.newStart) {
            ASSERT_TRUE(other.Open(Folder().string()));
            box = &other;
        }
        Job job = w.kind == Kind::Mail ? MailJob("", "", w.held) : SmsJob("", "", w.held);
        ASSERT_EQ(box->Add(job), AddResult::Added) << box->GetLastError();
        EXPECT_TRUE(job.name.ends_with(w.kind == Kind::Mail ? "-mail.job" : "-sms.job")) << job.name;
        written.push_back(job.name);
    }
    EXPECT_EQ(Names(Folder()), written);  // all there, none twice, sorted as written
}

TEST_F(OutboxFolder, ANewStartCountsOnFromTheHighestNumberOfItsSecond)
{
    // An earlier run wrote its ninth job in this second; a new start in the
    // same second must not name its first job 000001 and sort it before.
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    ASSERT_TRUE(outbox.Open(Folder().string()));
    const std::string earlier = std::string(stamp) + "-000009-sms.job";
    WriteFile(Folder() / earlier, COutbox::Encode(SmsJob("", "")));
    Job job = MailJob("", "");
    ASSERT_EQ(outbox.Add(job), AddResult::Added) << outbox.GetLastError();
    EXPECT_EQ(Names(Folder()), (std::vector<std::string>{earlier, job.name}));
}

TEST_F(OutboxFolder, AnAlarmsJobIsNamedAfterItsRecordAndSlot)
{
    ASSERT_TRUE(outbox.Open(Folder().string()));
    const struct {
        const char* name;
        std::string alarmId;
        std::string slot;
        std::string file;
    } cases[] = {
        {"JournalRecord", "1750000000000-4242-7", "mail", "1750000000000-4242-7-mail.job"},
        {"SecondNumber", "1750000000000-4242-7", "sms2", "1750000000000-4242-7-sms2.job"},
        {"NothingThatLeavesTheFolder", "../../x y", "sms1/..", "______x_y-sms1___.job"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Job job = SmsJob(c.alarmId, c.slot);
        Put(job);
        EXPECT_EQ(job.name, c.file);
        EXPECT_TRUE(fs::exists(Folder() / c.file));
        EXPECT_EQ(outbox.FileOf(job), (Folder() / c.file).string());
    }
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{COutbox::kFolderName});
}

TEST_F(OutboxFolder, AddingAnAlarmsJobAgainKeepsTheOneThereUnlessThatOneIsHeld)
{
    ASSERT_TRUE(outbox.Open(Folder().string()));
    enum class There { Nothing, Job, HeldJob, Damaged };
    const struct {
        const char* name;
        There there;
        bool addHeld;
        AddResult result;
        bool replaced;
    } cases[] = {
        {"NewJob", There::Nothing, false, AddResult::Added, true},
        {"NewHeldJob", There::Nothing, true, AddResult::Added, true},
        {"ComposedAgain", There::Job, false, AddResult::Existing, false},
        {"ComposedAgainAsHeld", There::Job, true, AddResult::Existing, false},
        {"HeldJobReleased", There::HeldJob, false, AddResult::Added, true},
        {"HeldJobComposedAgainAsHeld", There::HeldJob, true, AddResult::Existing, false},
        {"DamagedFileReplaced", There::Damaged, false, AddResult::Added, true},
    };
    int record = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string alarmId = "1750000000000-4242-" + std::to_string(++record);
        const fs::path file = Folder() / (alarmId + "-mail.job");
        std::string before;
        if (c.there == There::Job || c.there == There::HeldJob) {
            Job first = MailJob(alarmId, "mail", c.there == There::HeldJob, kNow - 60);
            first.subject = "first";
            first.attempts = 2;
            Put(first);
            before = ReadFile(file);
        } else if (c.there == There::Damaged) {
            before = "ORVA-JOB 1\nKind mail\nCrea";
            WriteFile(file, before);
        }
        Job again = MailJob(alarmId, "mail", c.addHeld);
        again.subject = "again";
        EXPECT_EQ(outbox.Add(again), c.result);
        EXPECT_EQ(again.name, file.filename().string());
        EXPECT_EQ(ReadFile(file), c.replaced ? COutbox::Encode(again) : before);
    }
    EXPECT_EQ(Names(Folder()).size(), std::size(cases));  // no second file, no temporary one
}

TEST_F(OutboxFolder, AJobWithoutATimeIsDatedWhenItIsAdded)
{
    ASSERT_TRUE(outbox.Open(Folder().string()));
    Job job = MailJob("12-3", "mail", false, 0);
    const std::time_t before = std::time(nullptr);
    Put(job);
    const std::time_t after = std::time(nullptr);
    EXPECT_GE(job.created, before);
    EXPECT_LE(job.created, after);
    Job back;
    ASSERT_TRUE(COutbox::Decode(ReadFile(Folder() / job.name), back));
    EXPECT_EQ(back.created, job.created);
}

TEST_F(OutboxFolder, RemoveHeldTakesOnlyThatAlarmsHeldJobs)
{
    ASSERT_TRUE(outbox.Open(Folder().string()));
    const struct {
        const char* name;
        Job job;
    } jobs[] = {
        {"HeldMail", MailJob("12-3", "mail", true)},
        {"HeldSms", SmsJob("12-3", "sms1", true)},
        {"NotHeldSms", SmsJob("12-3", "sms2", false)},
        {"AnotherAlarmStartingTheSame", MailJob("12-30", "mail", true)},
        {"AnAlarmWhoseIdStartsIt", SmsJob("12", "sms1", true)},
        {"HeldWithoutRecord", SmsJob("", "", true)},
    };
    std::vector<Job> put;
    for (const auto& j : jobs) {
        Job job = j.job;
        Put(job);
        put.push_back(job);
    }
    const std::vector<Job> removed = outbox.RemoveHeld("12-3");
    ASSERT_EQ(NamesOf(removed), (std::vector<std::string>{"12-3-mail.job", "12-3-sms1.job"}));
    EXPECT_TRUE(Fields(removed[0]) == Fields(put[0]));
    EXPECT_TRUE(Fields(removed[1]) == Fields(put[1]));
    for (std::size_t i = 0; i < put.size(); ++i)
        EXPECT_EQ(fs::exists(Folder() / put[i].name), i >= 2) << jobs[i].name;

    EXPECT_TRUE(outbox.RemoveHeld("12-3").empty());
    EXPECT_TRUE(outbox.RemoveHeld("").empty());
    EXPECT_EQ(NamesOf(outbox.RemoveHeld("12")), std::vector<std::string>{"12-sms1.job"});
    EXPECT_EQ(Names(Folder()).size(), 3u);
}

TEST_F(OutboxFolder, ALoadTakesOnlyItsKindAndReportsWhatWaitedTooLong)
{
    ASSERT_TRUE(outbox.Open(Folder().string()));
    const struct {
        const char* name;
        Kind kind;
        std::time_t created;
        bool legacy;  // a mail file of an earlier version, dated by its file
        bool expired;
    } cases[] = {
        {"MailJustTooOld", Kind::Mail, kNow - kDay - 1, false, true},
        {"MailAtTheLimit", Kind::Mail, kNow - kDay, false, false},
        {"MailNew", Kind::Mail, kNow, false, false},
        {"MailFromAClockSetBack", Kind::Mail, kNow + 3600, false, false},
        {"EarlierMailTooOld", Kind::Mail, kNow - kDay - 1, true, true},
        {"EarlierMailInTime", Kind::Mail, kNow - 100, true, false},
        {"SmsJustTooOld", Kind::Sms, kNow - kDay - 1, false, true},
        {"SmsAtTheLimit", Kind::Sms, kNow - kDay, false, false},
        {"SmsNew", Kind::Sms, kNow - 5, false, false},
    };
    std::vector<std::string> names;
    for (const auto& c : cases) {
        Job job = c.kind == Kind::Mail ? MailJob(std::string("r-") + c.name, "one", false, c.created)
                                       : SmsJob(std::string("r-") + c.name, "sms1", false, c.created);
        if (c.legacy) {
            job.name = std::string("20240101T000000Z-") + c.name + COutbox::kLegacySuffix;
            WriteFile(Folder() / job.name, LegacyText(job.recipients, job.subject, job.body));
            SetModified(Folder() / job.name, c.created);
        } else {
            Put(job);
        }
        names.push_back(job.name);
    }

    for (const Kind kind : {Kind::Mail, Kind::Sms}) {
        SCOPED_TRACE(COutbox::KindName(kind));
        const COutbox::Loaded loaded = outbox.Load(kind, kNow);
        std::vector<std::string> jobs;
        std::vector<std::string> expired;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            if (cases[i].kind != kind)
                continue;
            (cases[i].expired ? expired : jobs).push_back(names[i]);
            EXPECT_EQ(fs::exists(Folder() / names[i]), !cases[i].expired) << cases[i].name;
        }
        if (kind == Kind::Mail) {
            for (std::size_t i = 0; i < std::size(cases); ++i)  // the SMS are not this load's business
                EXPECT_TRUE(cases[i].kind == Kind::Mail || fs::exists(Folder() / names[i])) << cases[i].name;
        }
        const auto byCreated = [&](const std::string& a, const std::string& b) {
            const auto at = [&](const std::string& name) {
                return cases[std::find(names.begin(), names.end(), name) - names.begin()].created;
            };
            return at(a) < at(b);
        };
        std::stable_sort(jobs.begin(), jobs.end(), byCreated);
        std::sort(expired.begin(), expired.end());
        EXPECT_EQ(NamesOf(loaded.jobs), jobs);  // oldest first
        EXPECT_EQ(NamesOf(loaded.expired), expired);
        EXPECT_TRUE(loaded.unreadable.empty());
        for (const std::vector<Job>* list : {&loaded.jobs, &loaded.expired}) {
            for (const Job& job : *list) {
                const std::size_t i = std::find(names.begin(), names.end(), job.name) - names.begin();
                EXPECT_EQ(job.kind, kind) << cases[i].name;
                EXPECT_EQ(job.created, cases[i].created) << cases[i].name;
            }
        }
    }
    EXPECT_EQ(Names(Folder()).size(), 6u);
}

TEST_F(OutboxFolder, OpeningAnotherFolderTakesTheJobsAlong)
{
    ASSERT_TRUE(outbox.Open(Folder().string()));
    Job named = MailJob("12-3", "mail", true);
    Job unnamed = SmsJob("", "");
    Put(named);
    Put(unnamed);
    const std::string earlier = "20240101T000000Z-000001.mail";
    WriteFile(Folder() / earlier, LegacyText("a@x.test", "Alarm", "Body"));
    SetModified(Folder() / earlier, kNow - 100);
    WriteFile(Folder() / "notes.txt", "not a job");
    WriteFile(Folder() / "x.job.bad", "set aside");
    const std::vector<std::string> before = Names(Folder());

    const fs::path moved = dir.Path() / "moved" / COutbox::kFolderName;
    fs::create_directory(moved.parent_path());
    ASSERT_TRUE(outbox.Open(moved.string())) << outbox.GetLastError();
    EXPECT_EQ(Names(Folder()), (std::vector<std::string>{"notes.txt", "x.job.bad"}));
    std::vector<std::string> expected = {named.name, unnamed.name, earlier};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(moved), expected);
    EXPECT_EQ(outbox.FileOf(named), (moved / named.name).string());
    EXPECT_TRUE(outbox.IsKept(named));
    EXPECT_TRUE(outbox.Open(moved.string() + "/"));  // the same folder again: nothing to do
    EXPECT_EQ(Names(moved), expected);

    const COutbox::Loaded mails = outbox.Load(Kind::Mail, kNow);
    ASSERT_EQ(mails.jobs.size(), 2u);
    EXPECT_EQ(mails.jobs[0].name, earlier);
    EXPECT_EQ(mails.jobs[0].created, kNow - 100);  // a rename keeps the file's time
    EXPECT_TRUE(Fields(mails.jobs[1]) == Fields(named));
}

TEST_F(OutboxFolder, AFolderThatCouldNotBeOpenedDoesNotStrandTheJobs)
{
    ASSERT_TRUE(outbox.Open(Folder().string()));
    Job job = MailJob("12-3", "mail");
    Put(job);
    const fs::path blocked = dir.Path() / "blocked";
    WriteFile(blocked, "a file where the folder should be");
    EXPECT_FALSE(outbox.Open(blocked.string()));  // the database folder was set wrong first
    const fs::path right = dir.Path() / "right";
    ASSERT_TRUE(outbox.Open(right.string())) << outbox.GetLastError();
    EXPECT_EQ(Names(right), std::vector<std::string>{job.name});
    EXPECT_TRUE(Names(Folder()).empty());
}

TEST_F(OutboxFolder, JobsMoveToAnotherFileSystemWhole)
{
    // /dev/shm is a memory file system on the machines this runs on.
    if (::access("/dev/shm", W_OK | X_OK) != 0)
        GTEST_SKIP() << "no /dev/shm to write to";
    std::optional<TempDir> elsewhere;
    {
        ScopedEnv tmp("TMPDIR", "/dev/shm");
        elsewhere.emplace();
    }
    struct stat here {};
    struct stat there {};
    if (::stat(dir.Path().c_str(), &here) != 0 || ::stat(elsewhere->Path().c_str(), &there) != 0 ||
        here.st_dev == there.st_dev)
        GTEST_SKIP() << "/dev/shm is on the same file system as " << dir.Path();

    ASSERT_TRUE(outbox.Open(Folder().string()));
    Job job = SmsJob("12-3", "sms1", true, kNow - 7);
    Put(job);
    const std::string earlier = "20240101T000000Z-000001.mail";
    WriteFile(Folder() / earlier, LegacyText("a@x.test", "Alarm", "Body", 1));
    SetModified(Folder() / earlier, kNow - 100);
    WriteFile(Folder() / "y.mail", "ORVA-MAIL 1\nAttempts 0\nRecip");  // cannot be read, so it stays

    const fs::path moved = elsewhere->Path() / COutbox::kFolderName;
    ASSERT_TRUE(outbox.Open(moved.string())) << outbox.GetLastError();
    EXPECT_EQ(Names(Folder()), std::vector<std::string>{"y.mail"});
    EXPECT_EQ(Names(moved), (std::vector<std::string>{job.name, earlier}));
    EXPECT_EQ(ReadFile(moved / job.name), COutbox::Encode(job));
    EXPECT_EQ(ModeOf(moved / job.name), 0600u);
    EXPECT_EQ(ModeOf(moved / earlier), 0600u);

    const COutbox::Loaded mails = outbox.Load(Kind::Mail, kNow);
    ASSERT_EQ(mails.jobs.size(), 1u);
    EXPECT_EQ(mails.jobs[0].name, earlier);
    EXPECT_EQ(mails.jobs[0].created, kNow - 100);  // still dated by when it was first written
    EXPECT_EQ(mails.jobs[0].attempts, 1);
}

TEST_F(OutboxFolder, TheMailsOfTheEarlierFolderMoveIn)
{
    const struct {
        const char* name;
        std::vector<std::string> others;  // what else the earlier folder holds
        bool folderStays;
    } cases[] = {
        {"OnlyMails", {}, false},
        {"ASetAsideMailStays", {"20240101T000000Z-000009.mail.bad"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir base;
        const fs::path folder = base.Path() / COutbox::kFolderName;
        const fs::path legacy = base.Path() / COutbox::kLegacyFolderName;
        fs::create_directory(legacy);
        const std::vector<std::string> mails = {"20240101T000000Z-000001.mail", "20240101T000000Z-000002.mail"};
        for (std::size_t i = 0; i < mails.size(); ++i) {
            WriteFile(legacy / mails[i], LegacyText("a@x.test", "Alarm " + std::to_string(i), "Body", 5));
            SetModified(legacy / mails[i], kNow - 200 + static_cast<std::time_t>(i));
        }
        for (const std::string& other : c.others)
            WriteFile(legacy / other, "damaged");

        COutbox box;
        ASSERT_TRUE(box.Open(folder.string())) << box.GetLastError();
        EXPECT_EQ(Names(folder), mails);
        EXPECT_EQ(fs::exists(legacy), c.folderStays);
        if (c.folderStays) {
            EXPECT_EQ(Names(legacy), c.others);
        }
        const COutbox::Loaded loaded = box.Load(Kind::Mail, kNow);
        ASSERT_EQ(NamesOf(loaded.jobs), mails);
        for (std::size_t i = 0; i < mails.size(); ++i) {
            EXPECT_EQ(loaded.jobs[i].subject, "Alarm " + std::to_string(i));
            EXPECT_EQ(loaded.jobs[i].attempts, 5);
            EXPECT_EQ(loaded.jobs[i].created, kNow - 200 + static_cast<std::time_t>(i));
        }
        EXPECT_TRUE(box.Load(Kind::Sms, kNow).jobs.empty());
    }
}

}  // namespace
