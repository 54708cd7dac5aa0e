// Durable forwarding, end to end: every alarm mail and every alarm SMS is a
// file in the outbox beside the database from the moment it is composed until
// the mail server has taken it (250 to the end of the message) or the GSM
// modem has ("+CMGS:"). The station is killed at the awkward moments, and
// after the restart each mail and SMS arrives: once when the station was
// killed before it went out, once or twice when it was killed between the
// peer's answer and the removal of the file, never not at all. A job found
// at a start that was composed more than a day before is reported instead of
// sent, and emergency alarms go out ahead of technical ones.

#include "RestartableStationTest.h"

#include "core/Outbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSmsLift = "+46701112233";
constexpr const char* kCaller = "+46701234567";
constexpr const char* kTechSms = "+46700000001";
constexpr const char* kEmergencySms = "+46700000099";
const std::vector<std::string> kTechMail{"tech1@lifts.test", "tech2@lifts.test"};
const std::vector<std::string> kEmergencyMail{"rescue@lifts.test"};

constexpr std::time_t kHour = 60 * 60;
constexpr std::time_t kDay = 24 * kHour;

// The modem's P100 message follows the start request after 100 ms instead
// of half a second; everything else behaves as the real modem does.
constexpr const char* kModemScenario = R"({"modem": {"p100_message_delay_ms": 100}})";

// A call with short rings (the station answers at the end of the first one).
std::string Call(const std::string& telephone)
{
    return std::string(R"({"delay_ms": 200, "caller_id": ")") + kCaller +
           R"(", "ring": {"on_ms": 300, "off_ms": 300, "count": 8}, "telephone": )" + telephone + "}";
}

// A lift that raises its alarms by SMS; they go to its technicians: the
// mail to kTechMail, the SMS to kTechSms.
LiftRecord SmsLift()
{
    return Lift(kSmsLift, "Lift D, school");
}

std::string OutboxDir(const StationRig& rig)
{
    return rig.DataDir() + COutbox::kFolderName;
}

// One file of the outbox folder, read as a job where it is one.
struct OutboxFile {
    std::string name;
    bool isJob = false;
    COutbox::Job job;
};

std::vector<OutboxFile> OutboxFiles(const StationRig& rig)
{
    std::vector<OutboxFile> files;
    std::error_code error;
    for (fs::directory_iterator it(OutboxDir(rig), error), end; !error && it != end; it.increment(error)) {
        OutboxFile file;
        file.name = it->path().filename().string();
        std::ifstream in(it->path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        file.isJob = COutbox::Decode(text.str(), file.job);
        files.push_back(std::move(file));
    }
    std::sort(files.begin(), files.end(), [](const OutboxFile& a, const OutboxFile& b) { return a.name < b.name; });
    return files;
}

std::string Names(const std::vector<OutboxFile>& files)
{
    std::string names;
    for (const OutboxFile& f : files)
        names += " " + f.name;
    return names.empty() ? " (none)" : names;
}

// The jobs in the outbox of the kind and the recipients.
std::vector<OutboxFile> JobsFor(const StationRig& rig, COutbox::Kind kind, const std::string& recipients)
{
    std::vector<OutboxFile> jobs;
    for (OutboxFile& f : OutboxFiles(rig))
        if (f.isJob && f.job.kind == kind && f.job.recipients == recipients)
            jobs.push_back(std::move(f));
    return jobs;
}

// The text of the station's line on a job's change of state, up to the
// job's name: `JOB <state> <kind> alarm="<id code>" to="<recipients>"`.
std::string JobLine(const std::string& state, const std::string& kind, const std::string& alarm, const std::string& to)
{
    return " JOB " + state + " " + kind + " alarm=\"" + alarm + "\" to=\"" + to + "\"";
}

// Writes a job file as an earlier run of the station left it: the folder
// private, the file readable by the station's user only.
void PutJob(const StationRig& rig, const COutbox::Job& job)
{
    const fs::path folder = OutboxDir(rig);
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
    const fs::path file = folder / job.name;
    {
        std::ofstream out(file, std::ios::binary);
        out << COutbox::Encode(job);
    }
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
}

class OutboxE2e : public RestartableStationTest {
protected:
    // Sends a control command to the GSM modem and waits for its "OK" (also
    // while no station runs).
    void GsmControl(const std::string& command)
    {
        const size_t from = rig.gsm->LineCount();
        rig.gsm->Send(command);
        ASSERT_TRUE(rig.gsm->WaitForPrefix("OK " + command, 10s, from).has_value())
            << "the GSM modem refused: " << command;
    }

    // The outbox is empty: every job the station knew has been settled.
    void ExpectOutboxEmpty()
    {
        const auto files = OutboxFiles(rig);
        EXPECT_TRUE(files.empty()) << "left in the outbox:" << Names(files);
    }
};

// --- killed before the forwarding went out --------------------------------

// An SMS alarm is stored, and the station is killed while its mail waits for
// a mail server that is not there yet and its SMS for the modem's prompt,
// which never comes. Both are in the outbox; after the restart each goes out
// exactly once and the outbox is empty again.
TEST_F(OutboxE2e, KilledBeforeTheForwardingWentOutSendsItOnceAfterTheRestart)
{
    rig.AddLift(SmsLift());
    rig.StartGsm();
    rig.UseDeadMailServer();
    ASSERT_NO_FATAL_FAILURE(StartStation());
    const std::string alarm = "Passenger trapped, station killed before forwarding";
    const std::string sentinel = "Door fault after the restart";

    // Every SMS from now on opens the modem's text input without a prompt.
    ASSERT_NO_FATAL_FAILURE(GsmControl("prompt lost 50"));
    rig.gsm->Send(std::string("sms ") + kSmsLift + " " + alarm);
    ASSERT_EQ(rig.WaitForAlarms(1).size(), 1u) << "the alarm was not stored";
    ASSERT_TRUE(rig.WaitStationText(JobLine("queued", "mail", kSmsLift, "tech1@lifts.test; tech2@lifts.test")));
    ASSERT_TRUE(rig.WaitStationText(JobLine("queued", "sms", kSmsLift, kTechSms)));
    ASSERT_TRUE(rig.WaitLine(rig.gsm.get(), "PROMPT-LOST")) << "the station did not try the SMS";
    ASSERT_NO_FATAL_FAILURE(KillStation());
    EXPECT_TRUE(rig.SmsSent().empty());

    // Both jobs wait on the disk, the folder and its files private.
    const auto mailJobs = JobsFor(rig, COutbox::Kind::Mail, "tech1@lifts.test; tech2@lifts.test");
    const auto smsJobs = JobsFor(rig, COutbox::Kind::Sms, kTechSms);
    ASSERT_EQ(mailJobs.size(), 1u) << "in the outbox:" << Names(OutboxFiles(rig));
    ASSERT_EQ(smsJobs.size(), 1u) << "in the outbox:" << Names(OutboxFiles(rig));
    EXPECT_NE(mailJobs[0].job.body.find(alarm), std::string::npos) << mailJobs[0].job.body;
    EXPECT_NE(smsJobs[0].job.body.find(alarm), std::string::npos) << smsJobs[0].job.body;
    EXPECT_EQ(mailJobs[0].job.alarm, kSmsLift);
    EXPECT_FALSE(mailJobs[0].job.emergency);
    struct stat info {};
    ASSERT_EQ(::stat(OutboxDir(rig).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((OutboxDir(rig) + "/" + smsJobs[0].name).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // The modem prompts again and the mail server is up. The modem is still
    // in the killed station's text input; the new station gets it out.
    ASSERT_NO_FATAL_FAILURE(GsmControl("prompt ok"));
    rig.StartMailServer();
    ASSERT_NO_FATAL_FAILURE(StartStation());
    EXPECT_EQ(rig.StationLines(JobLine("waiting", "mail", kSmsLift, "tech1@lifts.test; tech2@lifts.test")).size(), 1u);
    EXPECT_EQ(rig.StationLines(JobLine("waiting", "sms", kSmsLift, kTechSms)).size(), 1u);
    ASSERT_TRUE(rig.Until([&] { return rig.SmsSentTo(kTechSms, alarm) >= 1; })) << "the SMS was not sent";
    ASSERT_TRUE(rig.Until([&] { return rig.MailsWith(alarm) >= 1; })) << "the mail was not sent";
    EXPECT_EQ(rig.MailRecipients(1), kTechMail);

    // A new alarm goes through after them.
    rig.gsm->Send(std::string("sms ") + kSmsLift + " " + sentinel);
    ASSERT_TRUE(rig.Until([&] { return rig.SmsSentTo(kTechSms, sentinel) == 1; })) << "no SMS for the sentinel";
    ASSERT_TRUE(rig.Until([&] { return rig.MailsWith(sentinel) == 1; })) << "no mail for the sentinel";
    ExpectCleanStop();

    EXPECT_EQ(rig.SmsSentTo(kTechSms, alarm), 1);
    EXPECT_EQ(rig.MailsWith(alarm), 1);
    EXPECT_EQ(rig.Alarms().size(), 2u);
    ExpectOutboxEmpty();
}

// --- killed between "+CMGS:" and the station's note of it ------------------

// The GSM modem kills the station the moment it has written "+CMGS:" for the
// alarm SMS. The SMS has left; whether the station removed its job before it
// died is down to the scheduler. Either way it arrives once or twice, never
// not at all: twice exactly when the job was still in the outbox, once when
// it was gone. The mail, held back by a mail server that is not there yet,
// goes once after the restart.
TEST_F(OutboxE2e, KilledRightAfterTheModemTookTheSmsSendsItOnceOrTwiceNeverNotAtAll)
{
    rig.AddLift(SmsLift());
    rig.StartGsm();
    rig.UseDeadMailServer();
    ASSERT_NO_FATAL_FAILURE(StartStation());
    const std::string alarm = "Car stopped between floors, station killed after +CMGS";
    const std::string sentinel = "Door fault after the restart";

    ASSERT_NO_FATAL_FAILURE(GsmControl("kill-after-cmgs " + std::to_string(rig.station->Pid())));
    rig.gsm->Send(std::string("sms ") + kSmsLift + " " + alarm);
    ASSERT_TRUE(rig.WaitLine(rig.gsm.get(), "KILLED-AFTER-CMGS")) << "the modem did not kill the station";
    rig.station->WaitExit(10s);
    ASSERT_FALSE(rig.station->Running());
    ASSERT_EQ(rig.SmsSentTo(kTechSms, alarm), 1);
    const bool smsJobLeft = !JobsFor(rig, COutbox::Kind::Sms, kTechSms).empty();
    EXPECT_EQ(JobsFor(rig, COutbox::Kind::Mail, "tech1@lifts.test; tech2@lifts.test").size(), 1u)
        << "in the outbox:" << Names(OutboxFiles(rig));
    RecordProperty("SmsJobLeftAtTheKill", smsJobLeft ? "yes" : "no");

    rig.StartMailServer();
    ASSERT_NO_FATAL_FAILURE(StartStation());
    // What the restarted station found is in its lines before it is ready.
    EXPECT_EQ(rig.StationLines(JobLine("waiting", "sms", kSmsLift, kTechSms)).size(), smsJobLeft ? 1u : 0u);
    if (smsJobLeft) {
        ASSERT_TRUE(rig.Until([&] { return rig.SmsSentTo(kTechSms, alarm) == 2; })) << "the SMS was not sent again";
    }
    ASSERT_TRUE(rig.Until([&] { return rig.MailsWith(alarm) == 1; })) << "the mail was not sent";

    rig.gsm->Send(std::string("sms ") + kSmsLift + " " + sentinel);
    ASSERT_TRUE(rig.Until([&] { return rig.SmsSentTo(kTechSms, sentinel) == 1; })) << "no SMS for the sentinel";
    ASSERT_TRUE(rig.Until([&] { return rig.MailsWith(sentinel) == 1; })) << "no mail for the sentinel";
    ExpectCleanStop();

    const int sent = rig.SmsSentTo(kTechSms, alarm);
    EXPECT_GE(sent, 1);
    EXPECT_LE(sent, 2);
    EXPECT_EQ(sent, smsJobLeft ? 2 : 1) << "the job was " << (smsJobLeft ? "" : "not ") << "in the outbox at the kill";
    EXPECT_EQ(rig.MailsWith(alarm), 1);
    const std::string smsRows = "WHERE AlarmSource = 2";
    EXPECT_EQ(rig.Alarms(smsRows).size(), 2u) << "the alarm and the sentinel, each stored once";
    ExpectOutboxEmpty();
}

// --- left for more than a day --------------------------------------------

struct LeftJob {
    const char* what;
    COutbox::Kind kind;
    const char* alarm;  // the id code the operator knows
    const char* to;
    std::time_t age;
    bool sent;  // false: reported as not sent
};

// Jobs an earlier run left in the outbox: one of each kind more than a day
// old (reported, never sent) and one of each kind just under a day (sent).
const LeftJob kLeftJobs[] = {
    {"mail two days old", COutbox::Kind::Mail, "OLD-MAIL-1", "old@lifts.test", 2 * kDay, false},
    {"SMS two days old", COutbox::Kind::Sms, "OLD-SMS-1", "+46700000777", 2 * kDay, false},
    {"mail 23 hours old", COutbox::Kind::Mail, "RECENT-MAIL-1", "recent@lifts.test", 23 * kHour, true},
    {"SMS 23 hours old", COutbox::Kind::Sms, "RECENT-SMS-1", "+46700000778", 23 * kHour, true},
};

std::string BodyOf(const LeftJob& left)
{
    return std::string("Left over: ") + left.what;
}

// The station starts with jobs of an earlier run in its outbox. Those
// composed more than a day ago are reported to the operator and dropped; a
// late alarm could send a technician to a lift freed long ago. The others go
// out. A fresh alarm proves the absence: its mail and SMS arrive after the
// start, and the old ones have still not come.
TEST_F(OutboxE2e, JobOlderThanADayIsReportedNotSent)
{
    rig.AddLift(SmsLift());
    const std::time_t now = std::time(nullptr);
    int counter = 0;
    for (const LeftJob& left : kLeftJobs) {
        COutbox::Job job;
        job.kind = left.kind;
        job.alarmId = "1700000000-" + std::to_string(++counter);
        job.slot = left.kind == COutbox::Kind::Mail ? "mail" : "sms1";
        job.name = job.alarmId + "-" + job.slot + COutbox::kFileSuffix;
        job.alarm = left.alarm;
        job.created = now - left.age;
        job.recipients = left.to;
        if (left.kind == COutbox::Kind::Mail)
            job.subject = "Tervin CallCenter Alarm Message";
        job.body = BodyOf(left);
        PutJob(rig, job);
    }
    rig.StartGsm();
    rig.StartMailServer();
    ASSERT_NO_FATAL_FAILURE(StartStation());

    for (const LeftJob& left : kLeftJobs) {
        SCOPED_TRACE(left.what);
        const bool mail = left.kind == COutbox::Kind::Mail;
        const std::string kind = mail ? "mail" : "sms";
        const std::string notSent = std::string("NOT SENT: The alarm ") + (mail ? "e-mail" : "SMS") + " of " +
                                    left.alarm + " to " + left.to + " waited more than a day";
        const auto reported = rig.StationLines(notSent);
        const auto expired = rig.StationLines(JobLine("expired", kind, left.alarm, left.to) + " job=");
        const auto waiting = rig.StationLines(JobLine("waiting", kind, left.alarm, left.to) + " job=");
        if (left.sent) {
            EXPECT_TRUE(reported.empty()) << reported.front();
            EXPECT_TRUE(expired.empty()) << expired.front();
            EXPECT_EQ(waiting.size(), 1u);
        } else {
            ASSERT_EQ(reported.size(), 1u);
            EXPECT_NE(reported[0].find(" INFO "), std::string::npos) << reported[0];
            EXPECT_EQ(expired.size(), 1u);
            EXPECT_TRUE(waiting.empty()) << waiting.front();
        }
    }
    // The reported jobs are gone from the disk at the start.
    for (const OutboxFile& f : OutboxFiles(rig))
        EXPECT_EQ(f.job.body.find("two days"), std::string::npos) << "still in the outbox: " << f.name;

    for (const LeftJob& left : kLeftJobs) {
        if (!left.sent)
            continue;
        SCOPED_TRACE(left.what);
        if (left.kind == COutbox::Kind::Mail) {
            EXPECT_TRUE(rig.Until([&] { return rig.MailsWith(BodyOf(left)) == 1; }));
        } else {
            EXPECT_TRUE(rig.Until([&] { return rig.SmsSentTo(left.to, BodyOf(left)) == 1; }));
        }
    }

    const std::string sentinel = "Passenger trapped after the start";
    rig.gsm->Send(std::string("sms ") + kSmsLift + " " + sentinel);
    ASSERT_TRUE(rig.Until([&] { return rig.SmsSentTo(kTechSms, sentinel) == 1; })) << "no SMS for the sentinel";
    ASSERT_TRUE(rig.Until([&] { return rig.MailsWith(sentinel) == 1; })) << "no mail for the sentinel";
    ExpectCleanStop();

    for (const LeftJob& left : kLeftJobs) {
        SCOPED_TRACE(left.what);
        const int expected = left.sent ? 1 : 0;
        if (left.kind == COutbox::Kind::Mail)
            EXPECT_EQ(rig.MailsWith(BodyOf(left)), expected);
        else
            EXPECT_EQ(rig.SmsSentTo(left.to, BodyOf(left)), expected);
    }
    EXPECT_EQ(rig.MailCount(), 2);
    EXPECT_EQ(rig.SmsSent().size(), 2u);
    ExpectOutboxEmpty();
}

// --- emergency before technical -------------------------------------------

// A technical SMS alarm and, a moment later, an emergency one (a P100 start
// of alarm sent by SMS) while the GSM modem has no network and the mail
// server is not there. The network comes back: the emergency alarm's SMS
// goes first, although it is the younger one. The station is stopped with
// both mails in the outbox and started again with the mail server up: the
// emergency alarm's mail goes first too.
TEST_F(OutboxE2e, EmergencyAlarmGoesAheadOfTheTechnicalOne)
{
    rig.AddLift(SmsLift());
    rig.AddLift(Lift("87654321", "Lift B, garage"));
    rig.StartGsm(R"({"modem": {"reg": "none"}})");
    rig.UseDeadMailServer();
    ASSERT_NO_FATAL_FAILURE(StartStation());
    const std::string technical = "Door fault on floor 2";

    rig.gsm->Send(std::string("sms ") + kSmsLift + " " + technical);
    ASSERT_TRUE(rig.WaitStationText(JobLine("queued", "sms", kSmsLift, kTechSms)));
    // Start of alarm (sub code 4) of the P100 telephone 87654321.
    rig.gsm->Send("sms +46705550000 #P100:2B87654321400");
    ASSERT_TRUE(rig.WaitStationText(JobLine("queued", "sms", "87654321", kEmergencySms) + " emergency"));
    ASSERT_TRUE(rig.WaitStationText(JobLine("queued", "mail", "87654321", "rescue@lifts.test") + " emergency"));
    const auto rows = rig.WaitForAlarms(2);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].alarmType, 2);  // SMS alarm: technical
    EXPECT_EQ(rows[1].alarmType, 8);  // emergency call activated
    EXPECT_EQ(rows[1].idCode, "87654321");
    // Both mails failed at the dead server and wait for their next attempt.
    ASSERT_TRUE(rig.WaitStationText(JobLine("retry", "mail", kSmsLift, "tech1@lifts.test; tech2@lifts.test")));
    ASSERT_TRUE(rig.WaitStationText(JobLine("retry", "mail", "87654321", "rescue@lifts.test") + " emergency"));
    EXPECT_TRUE(rig.SmsSent().empty()) << "sent without a network";

    ASSERT_NO_FATAL_FAILURE(GsmControl("reg home"));
    const auto sms = rig.WaitForSms(2);
    ASSERT_EQ(sms.size(), 2u);
    EXPECT_EQ(sms[0].number, kEmergencySms);
    EXPECT_EQ(sms[1].number, kTechSms);
    EXPECT_NE(sms[1].text.find(technical), std::string::npos) << sms[1].text;
    ExpectCleanStop();

    // The technical mail is the older one in the outbox.
    const auto techJobs = JobsFor(rig, COutbox::Kind::Mail, "tech1@lifts.test; tech2@lifts.test");
    const auto emergencyJobs = JobsFor(rig, COutbox::Kind::Mail, "rescue@lifts.test");
    ASSERT_EQ(techJobs.size(), 1u) << "in the outbox:" << Names(OutboxFiles(rig));
    ASSERT_EQ(emergencyJobs.size(), 1u) << "in the outbox:" << Names(OutboxFiles(rig));
    EXPECT_TRUE(emergencyJobs[0].job.emergency);
    EXPECT_FALSE(techJobs[0].job.emergency);
    EXPECT_LE(techJobs[0].job.created, emergencyJobs[0].job.created);

    rig.StartMailServer();
    ASSERT_NO_FATAL_FAILURE(StartStation());
    ASSERT_TRUE(rig.WaitForMail(2)) << "the mails were not sent after the restart";
    EXPECT_EQ(rig.MailRecipients(1), kEmergencyMail);
    EXPECT_EQ(rig.MailRecipients(2), kTechMail);
    ExpectCleanStop();
    EXPECT_EQ(rig.MailCount(), 2);
    EXPECT_EQ(rig.SmsSent().size(), 2u);
    ExpectOutboxEmpty();
}

// --- a voice alarm held while the handset rings -----------------------------

// With voice calls on, a CPC voice alarm rings the operator's handset; its
// mail and SMS are held in the outbox, not sent, while the operator may still
// take the call. The station is killed during the ringing: the call ended
// with it and nobody took it, so after the restart the held mail and SMS go
// out, once each.
TEST_F(OutboxE2e, VoiceAlarmHeldWhileTheHandsetRangIsSentAfterTheStationWasKilled)
{
    rig.AddLift(Lift("123456", "Lift C, hospital"));
    rig.Set("CpcEnabled", 1);
    rig.Set("VoiceCallEnabled", 1);
    rig.StartModem(kModemScenario);
    rig.StartGsm();
    rig.StartMailServer();
    ASSERT_NO_FATAL_FAILURE(StartStation());

    rig.modem->Send("call " + Call(R"({"type": "cpc", "model_code": 2, "alarm_code": 10, "identity": "123456"})"));
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "VOICE-NOTIFY on")) << "the operator's handset never rang";
    ASSERT_EQ(rig.WaitForAlarms(1).size(), 1u);
    ASSERT_TRUE(rig.WaitStationText(JobLine("held", "mail", "123456", "rescue@lifts.test") + " emergency"));
    ASSERT_TRUE(rig.WaitStationText(JobLine("held", "sms", "123456", kEmergencySms) + " emergency"));
    ASSERT_NO_FATAL_FAILURE(KillStation());
    EXPECT_EQ(rig.MailCount(), 0) << "forwarded while the handset was ringing";
    EXPECT_TRUE(rig.SmsSent().empty()) << "forwarded while the handset was ringing";
    const auto held = OutboxFiles(rig);
    ASSERT_EQ(held.size(), 2u) << "in the outbox:" << Names(held);
    for (const OutboxFile& f : held) {
        EXPECT_TRUE(f.isJob) << f.name;
        EXPECT_TRUE(f.job.held) << f.name;
    }

    ASSERT_NO_FATAL_FAILURE(StartStation());
    EXPECT_EQ(rig.StationLines(JobLine("waiting", "mail", "123456", "rescue@lifts.test")).size(), 1u);
    EXPECT_EQ(rig.StationLines(JobLine("waiting", "sms", "123456", kEmergencySms)).size(), 1u);
    ASSERT_TRUE(rig.WaitForMail(1)) << "the held mail was not sent after the restart";
    EXPECT_EQ(rig.MailRecipients(1), kEmergencyMail);
    EXPECT_NE(rig.mail->Part(1, "body").find("ID Code: 123456"), std::string::npos) << rig.mail->Part(1, "body");
    ASSERT_TRUE(rig.Until([&] { return rig.SmsSentTo(kEmergencySms, "Lift C, hospital") == 1; }))
        << "the held SMS was not sent after the restart";
    ASSERT_TRUE(rig.WaitStationText(JobLine("sent", "mail", "123456", "rescue@lifts.test")));
    ASSERT_TRUE(rig.WaitStationText(JobLine("sent", "sms", "123456", kEmergencySms)));
    ExpectCleanStop();

    EXPECT_EQ(rig.MailsWith("ID Code: 123456"), 1);
    EXPECT_EQ(rig.SmsSentTo(kEmergencySms, "Lift C, hospital"), 1);
    EXPECT_EQ(rig.Alarms().size(), 1u);
    ExpectOutboxEmpty();
}

}  // namespace
}  // namespace e2e
