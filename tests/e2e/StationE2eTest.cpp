// The whole station, end to end, as separate processes: the headless station
// with its own settings and serial-port folder, the telephone-modem and
// GSM-modem simulators on pseudo-terminals, and a real SMTP server. Each test
// registers its lifts, starts everything, lets a lift telephone or an SMS
// raise an alarm and then checks only what an operator could check from
// outside: the stored alarm row, the mail at the server, the SMS at the modem
// and the station's output lines.

#include "StationRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace e2e {
namespace {

constexpr const char* kCaller = "+46701234567";
const std::vector<std::string> kTechMail{"tech1@lifts.test", "tech2@lifts.test"};
const std::vector<std::string> kEmergencyMail{"rescue@lifts.test"};
constexpr const char* kTechSms = "+46700000001";
constexpr const char* kEmergencySms = "+46700000099";

// A call with short rings (the station answers at the end of the first one).
std::string Call(const std::string& telephone, const std::string& callerId = kCaller)
{
    return R"({"delay_ms": 200, "caller_id": ")" + callerId +
           R"(", "ring": {"on_ms": 300, "off_ms": 300, "count": 8}, "telephone": )" + telephone + "}";
}

// The modem's P100 message follows the start request after 100 ms instead
// of half a second; everything else behaves as the real modem does.
constexpr const char* kModemScenario = R"({"modem": {"p100_message_delay_ms": 100}})";

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The body lines of an alarm mail, without their carriage returns.
std::vector<std::string> BodyLines(StationRig& rig, int n)
{
    std::vector<std::string> lines = rig.mail->Lines(n, "body");
    for (std::string& l : lines)
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
    return lines;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class StationE2e : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (HasFailure())
            std::fprintf(stderr, "--- what the processes printed ---\n%s\n", rig.Transcripts().c_str());
    }

    // The station stops cleanly: exit code 0 after SIGTERM (with the
    // sanitizers, that also means no leak and no error on the way out).
    void ExpectCleanStop()
    {
        const int code = rig.StopStation();
        EXPECT_EQ(code, 0) << "the station did not stop cleanly (status " << rig.station->RawStatus() << ")";
    }

    // A lift whose SMS alarms serve as a sentinel: mail only, no
    // supervision. Register it before the station starts.
    void AddSentinelLift()
    {
        auto lift = Lift(kSentinelNumber, "Lift S, sentinel");
        lift.smsTech.clear();
        rig.AddLift(lift);
    }

    // Proves that what happened so far causes nothing more, without waiting
    // for that: an SMS alarm from the sentinel lift is stored, and its mail
    // sent, after everything that came before it, so once its row and its
    // mail are there, anything still on its way would have come first. The
    // sentinel must be the alarm after `alarms` and the mail after `mails`.
    void ExpectSentinelAfter(size_t alarms, int mails)
    {
        const std::string text = "Sentinel after the test";
        const auto isSentinel = [&](const AlarmRow& row) { return row.text.rfind(text + "\n", 0) == 0; };
        rig.gsm->Send(std::string("sms ") + kSentinelNumber + " " + text);
        std::vector<AlarmRow> rows;
        ASSERT_TRUE(rig.Until([&] {
            rows = rig.Alarms();
            return std::any_of(rows.begin(), rows.end(), isSentinel);
        })) << "the sentinel was never stored";
        EXPECT_EQ(rows.size(), alarms + 1) << "another alarm came before the sentinel";
        EXPECT_TRUE(isSentinel(rows.back()));
        ASSERT_TRUE(rig.Until([&] { return rig.MailsWith(text) == 1; })) << "no mail for the sentinel";
        EXPECT_EQ(rig.MailCount(), mails + 1) << "another mail came before the sentinel";
        EXPECT_NE(rig.mail->Part(rig.MailCount(), "body").find(text), std::string::npos);
    }

    static constexpr const char* kSentinelNumber = "+46709990000";

    StationRig rig;
};

// --- a P100 operational failure and an emergency ---------------

struct OpFailCase {
    const char* name;
    int subCode;
    int extra;
    int alarmType;
    int opFailType;
    const char* text;
    const char* typeText;  // in the mail and the SMS
    bool emergency;
};

void PrintTo(const OpFailCase& c, std::ostream* out)
{
    *out << c.name;
}

class P100OperationalFailure : public StationE2e, public ::testing::WithParamInterface<OpFailCase> {};

TEST_P(P100OperationalFailure, IsStoredAndForwardedToTheRightRecipients)
{
    const OpFailCase& c = GetParam();
    rig.AddLift(Lift("12345678", "Lift A, main stairs"));
    rig.AddLift(Lift("87654321", "Lift B, garage"));  // never mentioned
    rig.StartModem(kModemScenario);
    rig.StartGsm();
    rig.StartMailServer();
    rig.StartStation();
    ASSERT_TRUE(rig.WaitStationReady());
    ASSERT_TRUE(rig.WaitModemReady());
    ASSERT_TRUE(rig.WaitGsmReady());

    rig.modem->Send("call " + Call(R"({"type": "p100", "code": 2, "identity": "12345678", "sub_code": )" +
                                   std::to_string(c.subCode) + R"(, "extra": )" + std::to_string(c.extra) + "}"));
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "P100-MSG")) << "the station never asked for the P100 message";
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "CALL end")) << "the station did not end the call";

    const auto rows = rig.WaitForAlarms(1);
    ASSERT_EQ(rows.size(), 1u);
    const AlarmRow& row = rows[0];
    EXPECT_EQ(row.idCode, "12345678");
    EXPECT_EQ(row.alarmSource, 1);  // telephone
    EXPECT_EQ(row.alarmType, c.alarmType);
    EXPECT_EQ(row.opFailType, c.opFailType);
    EXPECT_EQ(row.text, c.text);
    EXPECT_EQ(row.alarmStatus, 1);  // new
    EXPECT_EQ(row.idInfo, "Lift A, main stairs");
    EXPECT_EQ(row.callerIdInfo, kCaller);

    // The mail at the lift's technical or emergency recipients.
    ASSERT_TRUE(rig.WaitForMail(1)) << "no alarm mail";
    EXPECT_EQ(rig.MailRecipients(1), c.emergency ? kEmergencyMail : kTechMail);
    EXPECT_EQ(rig.mail->Part(1, "mailfrom"), "station@orva.test");
    EXPECT_EQ(rig.mail->Part(1, "subject"), "Tervin CallCenter Alarm Message");
    EXPECT_EQ(rig.mail->Part(1, "defects"), "");
    const auto body = BodyLines(rig, 1);
    EXPECT_TRUE(HasLine(body, std::string("Alarm Type: ") + c.typeText)) << rig.mail->Part(1, "body");
    EXPECT_TRUE(HasLine(body, "ID Info: Lift A, main stairs")) << rig.mail->Part(1, "body");
    EXPECT_TRUE(HasLine(body, "ID Code: 12345678")) << rig.mail->Part(1, "body");
    if (*c.text) {
        EXPECT_TRUE(HasLine(body, c.text)) << rig.mail->Part(1, "body");
    }

    // The SMS at the matching number.
    const auto sms = rig.WaitForSms(1);
    ASSERT_EQ(sms.size(), 1u);
    EXPECT_EQ(sms[0].number, c.emergency ? kEmergencySms : kTechSms);
    EXPECT_EQ(sms[0].text, std::string("ORVA ALARM\nType: ") + c.typeText +
                               "\nID Info: Lift A, main stairs\nAddress: Storgatan 12, Uppsala\n" +
                               (*c.text ? std::string(c.text) + "\n" : std::string()));

    // The operator sees the alarm on the terminal.
    const auto shown = rig.StationLines(" ALARM ");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(Contains(shown[0], " type=" + std::to_string(c.alarmType) + " ")) << shown[0];
    EXPECT_TRUE(Contains(shown[0], R"( id="12345678" )")) << shown[0];
    EXPECT_TRUE(Contains(shown[0], R"( info="Lift A, main stairs" )")) << shown[0];

    ExpectCleanStop();
    EXPECT_EQ(rig.MailCount(), 1);
    EXPECT_EQ(rig.SmsSent().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Station, P100OperationalFailure,
                         ::testing::Values(
                             // Battery (sub code 1), voltage low: a technical alarm.
                             OpFailCase{"BatteryLow", 1, 1, 4, 2, "Battery Voltage Low", "Battery Failure", false},
                             // Start of alarm (sub code 4): Emergency Call Activated, an emergency.
                             OpFailCase{"EmergencyCallActivated", 4, 0, 8, 0, "", "Emergency Call Activated", true}),
                         [](const ::testing::TestParamInfo<OpFailCase>& info) { return std::string(info.param.name); });

// --- a CPC voice call --------------------------------------------------

// A CPC telephone (model code 2, no extra text) reporting a voice alarm.
constexpr const char* kCpcVoiceTelephone =
    R"({"type": "cpc", "model_code": 2, "alarm_code": 10, "identity": "123456"})";

TEST_F(StationE2e, CpcVoiceCallWithoutVoiceCallsIsForwardedAtOnce)
{
    rig.AddLift(Lift("123456", "Lift C, hospital"));
    rig.Set("CpcEnabled", 1);
    rig.Set("VoiceCallEnabled", 0);
    rig.StartModem(kModemScenario);
    rig.StartGsm();
    rig.StartMailServer();
    rig.StartStation();
    ASSERT_TRUE(rig.WaitStationReady());
    ASSERT_TRUE(rig.WaitModemReady());
    ASSERT_TRUE(rig.WaitGsmReady());

    rig.modem->Send(std::string("call ") + Call(kCpcVoiceTelephone));
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "ALARM-ACKED VOICE")) << "the station did not read the CPC alarm";
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "CALL end"));
    EXPECT_FALSE(rig.modem->CountText("VOICE-NOTIFY on")) << "the handset rang with voice calls off";

    const auto rows = rig.WaitForAlarms(1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].idCode, "123456");
    EXPECT_EQ(rows[0].alarmType, 3);  // voice
    EXPECT_EQ(rows[0].idInfo, "Lift C, hospital");

    ASSERT_TRUE(rig.WaitForMail(1));
    EXPECT_EQ(rig.MailRecipients(1), kEmergencyMail);
    EXPECT_TRUE(HasLine(BodyLines(rig, 1), "Alarm Type: Voice"));
    const auto sms = rig.WaitForSms(1);
    ASSERT_EQ(sms.size(), 1u);
    EXPECT_EQ(sms[0].number, kEmergencySms);

    ExpectCleanStop();
    EXPECT_EQ(rig.MailCount(), 1);
    EXPECT_EQ(rig.SmsSent().size(), 1u);
}

// With voice calls on, the operator's handset rings for the full 300 s: the
// alarm is stored and shown at once but waits for the operator instead of
// being forwarded. Here the operator answers, talks and hangs up, so the call
// ends with the CPC hang-up and the alarm is not forwarded. (The time-out of
// an unanswered call after 300 s, which forwards the alarm, is tested on the
// fake clock with the telephone handler and the alarm list.)
TEST_F(StationE2e, CpcVoiceCallRingsTheOperatorForThreeHundredSecondsAndWaitsForAnAnswer)
{
    rig.AddLift(Lift("123456", "Lift C, hospital"));
    rig.AddLift(Lift("12345678", "Lift A, main stairs"));
    rig.Set("CpcEnabled", 1);
    rig.Set("VoiceCallEnabled", 1);
    rig.StartModem(kModemScenario);
    rig.StartGsm();
    rig.StartMailServer();
    rig.StartStation();
    ASSERT_TRUE(rig.WaitStationReady());
    ASSERT_TRUE(rig.WaitModemReady());
    ASSERT_TRUE(rig.WaitGsmReady());

    // The operator lifts the handset after 4 s of ringing and talks for 3 s.
    std::string call = Call(kCpcVoiceTelephone);
    call.insert(call.size() - 1, R"(, "handset": {"lift_after_s": 4, "down_after_s": 3})");
    rig.modem->Send("call " + call);
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "VOICE-NOTIFY on")) << "the operator's handset never rang";
    // "CALL <state> <name> <seconds left>": the ringing starts at 300 s.
    ASSERT_TRUE(rig.WaitStationText(" CALL "));
    const std::string firstStep = rig.StationLines(" CALL ").front();
    EXPECT_TRUE(Contains(firstStep, " 300")) << firstStep;
    // The alarm is stored and shown at once, but not forwarded while it rings.
    const auto rows = rig.WaitForAlarms(1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].alarmType, 3);
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "HANDSET up"));
    EXPECT_EQ(rig.MailCount(), 0) << "forwarded while the handset was still ringing";
    EXPECT_TRUE(rig.SmsSent().empty()) << "forwarded while the handset was still ringing";

    // Talked through and hung up: the telephone is told to hang up.
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "HANDSET down"));
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "VOICE-NOTIFY off"));
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "HANGUP CPC"));
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "CALL end"));

    // Not forwarded: the next alarm's mail and SMS are the first ones.
    const size_t modemLines = rig.modem->LineCount();
    rig.modem->Send("call " + Call(R"({"type": "p100", "code": 0, "identity": "12345678"})"));
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "CALL end", 30s, modemLines));
    ASSERT_TRUE(rig.WaitForMail(1));
    EXPECT_TRUE(Contains(rig.mail->Part(1, "body"), "ID Code: 12345678")) << rig.mail->Part(1, "body");
    const auto sms = rig.WaitForSms(1);
    ASSERT_EQ(sms.size(), 1u);
    EXPECT_EQ(sms[0].number, kTechSms);

    ExpectCleanStop();
    EXPECT_EQ(rig.MailCount(), 1);
    EXPECT_EQ(rig.SmsSent().size(), 1u);
    EXPECT_EQ(rig.Alarms().size(), 2u);
}

// --- a test alarm by SMS ---------------------------------------------

// A test alarm by SMS, forwarded as the setting asks, then an ordinary SMS
// alarm; mails and SMS leave in the order of the alarms. That a test alarm is
// not forwarded by default is shown by the caller-number test call below and,
// for every alarm type, by the document's forwarding tests.
TEST_F(StationE2e, SmsTestAlarmIsStoredAndForwardedWhenTheSettingSaysSo)
{
    auto lift = Lift("+46701112233", "Lift D, school");
    lift.days = 1;
    lift.lastTestAlarm = COleDateTime::GetCurrentTime() - 3.0;
    rig.AddLift(lift);
    rig.Set("SendMailAtTestAlarm", 1);
    rig.StartGsm();
    rig.StartMailServer();
    rig.StartStation();
    ASSERT_TRUE(rig.WaitStationReady());
    ASSERT_TRUE(rig.WaitGsmReady());
    const std::string lastTestBefore = rig.LiftValue("+46701112233", "LastTestAlarm");

    rig.gsm->Send("sms +46701112233 #TEST Lift 7 daily");
    rig.gsm->Send("sms +46701112233 Passenger trapped in car");
    const auto rows = rig.WaitForAlarms(2);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].idCode, "+46701112233");
    EXPECT_EQ(rows[0].alarmSource, 2);  // SMS
    EXPECT_EQ(rows[0].alarmType, 6);    // test
    EXPECT_EQ(rows[0].alarmStatus, 4);  // info
    EXPECT_EQ(rows[0].idInfo, "Lift D, school");
    EXPECT_EQ(rows[0].text.rfind(" Lift 7 daily\nSMS Timestamp: ", 0), 0u) << rows[0].text;
    EXPECT_EQ(rows[1].alarmType, 2);  // SMS alarm
    EXPECT_EQ(rows[1].text.rfind("Passenger trapped in car\n", 0), 0u) << rows[1].text;
    // The test alarm restarted the lift's supervision period.
    EXPECT_NE(rig.LiftValue("+46701112233", "LastTestAlarm"), lastTestBefore);

    ASSERT_TRUE(rig.WaitForMail(2));
    const auto sms = rig.WaitForSms(2);
    ASSERT_EQ(sms.size(), 2u);
    EXPECT_TRUE(HasLine(BodyLines(rig, 1), "Alarm Type: Test Successful"));
    EXPECT_TRUE(Contains(sms[0].text, "Type: Test Successful\n")) << sms[0].text;
    EXPECT_TRUE(HasLine(BodyLines(rig, 2), "Alarm Type: SMS"));
    EXPECT_TRUE(Contains(sms[1].text, "Type: SMS\n")) << sms[1].text;
    for (int n = 1; n <= 2; ++n)
        EXPECT_EQ(rig.MailRecipients(n), kTechMail);

    ExpectCleanStop();
    EXPECT_EQ(rig.MailCount(), 2);
    EXPECT_EQ(rig.SmsSent().size(), 2u);
}

// --- a test call recognised by its caller number --------------------

// With UseCidPhoneNumber on, the call is matched to the lift by its phone
// number (with it off, the database handler's tests show the alarm stays
// without a lift).
TEST_F(StationE2e, CallerIdTestCallIsMatchedToTheLiftByItsPhoneNumber)
{
    auto lift = Lift("87654321", "Lift E, town hall");
    lift.phoneNumber = "+4930123456";
    lift.days = 1;
    lift.lastTestAlarm = COleDateTime::GetCurrentTime() - 3.0;
    rig.AddLift(lift);
    AddSentinelLift();
    rig.Set("AcceptCallerIdTestAlarms", 1);
    rig.Set("UseCidPhoneNumber", 1);
    rig.StartGsm();
    rig.StartMailServer();
    rig.StartStation();
    ASSERT_TRUE(rig.WaitStationReady());
    ASSERT_TRUE(rig.WaitGsmReady());
    const std::string lastTestBefore = rig.LiftValue("87654321", "LastTestAlarm");

    rig.gsm->Send("ring +4930123456 6");
    ASSERT_TRUE(rig.WaitLine(rig.gsm.get(), "CLCC +4930123456")) << "the station never asked for the caller";
    const auto rows = rig.WaitForAlarms(1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].idCode, "+4930123456");
    EXPECT_EQ(rows[0].alarmSource, 4);  // caller identity
    EXPECT_EQ(rows[0].alarmType, 6);    // test
    EXPECT_EQ(rows[0].alarmStatus, 4);  // info
    EXPECT_EQ(rows[0].idInfo, "Lift E, town hall");
    EXPECT_NE(rig.LiftValue("87654321", "LastTestAlarm"), lastTestBefore);

    // One call is one test alarm, however many rings it has, and it is not
    // forwarded with SendMailAtTestAlarm off.
    ASSERT_TRUE(rig.WaitLine(rig.gsm.get(), "CALL-END", 30s));
    ExpectSentinelAfter(1, 0);
    ExpectCleanStop();
    EXPECT_EQ(rig.Alarms().size(), 2u);
    EXPECT_EQ(rig.MailCount(), 1);
}

// --- the hourly test-alarm supervision -------------------------------

// The supervision runs at every change of the local clock hour. Instead of
// waiting for one, the station gets a time zone whose offset (to the second)
// puts the next full hour a few seconds after its start: the first run right
// at the start is the silent one, the run at the full hour raises the alarms.
class ClockHourSoon {
public:
    explicit ClockHourSoon(int secondsToHour)
    {
        const std::time_t now = std::time(nullptr);
        const int offset = static_cast<int>((3600 - secondsToHour - now % 3600 + 7200) % 3600);
        char zone[32];
        // POSIX: the offset is what local time needs to become UTC, so a zone
        // east of UTC has a negative one.
        std::snprintf(zone, sizeof zone, "ORV-00:%02d:%02d", offset / 60, offset % 60);
        name = zone;
        hourAt = std::chrono::steady_clock::now() + std::chrono::seconds(secondsToHour);
    }
    std::string name;
    std::chrono::steady_clock::time_point hourAt;
};

TEST_F(StationE2e, HourlySupervisionRaisesOneTestFailForAnOverdueLiftAfterTheSilentFirstRun)
{
    constexpr int kSecondsToHour = 30;
    const ClockHourSoon clock(kSecondsToHour);
    // This process computes the lifts' dates in the station's time zone.
    struct LocalZone {
        explicit LocalZone(const std::string& name) : env("TZ", name) { tzset(); }
        ~LocalZone() { tzset(); }
        ScopedEnv env;
    } zone(clock.name);
    const COleDateTime now = COleDateTime::GetCurrentTime();
    const double second = 1.0 / 86400.0;
    const COleDateTime fullHour = now + kSecondsToHour * second;

    // Due 26 h after its last test (1 day + 2 h of grace): 15 s before the
    // full hour, so after the first run and before the second.
    auto overdue = Lift("11110001", "Lift F, overdue at the full hour");
    overdue.days = 1;
    overdue.lastTestAlarm = fullHour - (26.0 / 24.0) - 15 * second;
    // Silent for days: the first run only starts a new period for it.
    auto silent = Lift("11110002", "Lift G, long silent");
    silent.days = 1;
    silent.lastTestAlarm = now - 5.0;
    // Tested yesterday, due in a week.
    auto fine = Lift("11110003", "Lift H, fine");
    fine.days = 7;
    fine.lastTestAlarm = now - 1.0;
    rig.AddLift(overdue);
    rig.AddLift(silent);
    rig.AddLift(fine);
    AddSentinelLift();
    const std::string silentBefore = rig.LiftValue("11110002", "LastTestAlarm");

    rig.SetEnv("TZ", clock.name);
    rig.StartGsm();
    rig.StartMailServer();
    rig.StartStation();

    // The first run at the start moves the silent lift's period on, quietly.
    ASSERT_TRUE(rig.Until([&] { return rig.LiftValue("11110002", "LastTestAlarm") != silentBefore; }, 20s))
        << "the supervision did not run at the start";
    ASSERT_LT(std::chrono::steady_clock::now(), clock.hourAt - std::chrono::seconds(15))
        << "the station took too long to start for this test to tell the two runs apart";
    EXPECT_TRUE(rig.Alarms().empty()) << "the first run raised an alarm";

    // The full hour: one Test fail for the overdue lift, forwarded.
    const auto rows = rig.WaitForAlarms(1, std::chrono::seconds(kSecondsToHour + 20));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_GE(std::chrono::steady_clock::now(), clock.hourAt - std::chrono::seconds(2));
    EXPECT_EQ(rows[0].idCode, "11110001");
    EXPECT_EQ(rows[0].alarmType, 7);    // test fail
    EXPECT_EQ(rows[0].alarmSource, 3);  // internal
    EXPECT_EQ(rows[0].alarmStatus, 1);  // new
    EXPECT_EQ(rows[0].idInfo, "Lift F, overdue at the full hour");
    ASSERT_TRUE(rig.WaitForMail(1));
    EXPECT_EQ(rig.MailRecipients(1), kTechMail);
    EXPECT_TRUE(HasLine(BodyLines(rig, 1), "Alarm Type: Test Fail"));
    ASSERT_TRUE(rig.WaitGsmReady());
    const auto sms = rig.WaitForSms(1);
    ASSERT_EQ(sms.size(), 1u);
    EXPECT_TRUE(Contains(sms[0].text, "Type: Test Fail\n")) << sms[0].text;

    // The same run raised nothing else.
    ExpectSentinelAfter(1, 1);
    ExpectCleanStop();
    EXPECT_EQ(rig.Alarms().size(), 2u);
    EXPECT_EQ(rig.MailCount(), 2);
}

// --- restart, and a mail server that is down --------------------------

TEST_F(StationE2e, StopAndRestartKeepEveryStoredAlarm)
{
    // Mail only: this test is about the database, not the GSM modem's pace.
    auto lift = Lift("+46701112233", "Lift D, school");
    lift.smsTech.clear();
    rig.AddLift(lift);
    rig.StartGsm();
    rig.StartMailServer();
    rig.StartStation();
    ASSERT_TRUE(rig.WaitStationReady());
    ASSERT_TRUE(rig.WaitGsmReady());
    for (const char* text : {"Car stuck at floor 3", "Door fault", "#TEST weekly"})
        rig.gsm->Send(std::string("sms +46701112233 ") + text);
    const auto before = rig.WaitForAlarms(3);
    ASSERT_EQ(before.size(), 3u);
    ExpectCleanStop();

    const size_t gsmLines = rig.gsm->LineCount();
    rig.StartStation();
    ASSERT_TRUE(rig.WaitLine(rig.gsm.get(), "CMD AT+CMGL", 30s, gsmLines));
    rig.gsm->Send("sms +46701112233 Alarm after the restart");
    const auto after = rig.WaitForAlarms(4);
    ASSERT_EQ(after.size(), 4u);
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].primaryKey, before[i].primaryKey);
        EXPECT_EQ(after[i].idCode, before[i].idCode);
        EXPECT_EQ(after[i].alarmType, before[i].alarmType);
        EXPECT_EQ(after[i].alarmStatus, before[i].alarmStatus);
        EXPECT_EQ(after[i].text, before[i].text);
        EXPECT_EQ(after[i].alarmTime, before[i].alarmTime);
    }
    EXPECT_GT(after[3].primaryKey, before[2].primaryKey);
    EXPECT_EQ(after[3].text.rfind("Alarm after the restart\n", 0), 0u) << after[3].text;
    ExpectCleanStop();
}

TEST_F(StationE2e, MailServerDownIsReportedWhileTheAlarmIsStoredAndTheSmsSent)
{
    rig.AddLift(Lift("+46701112233", "Lift D, school"));
    rig.UseDeadMailServer();
    rig.StartGsm();
    rig.StartStation();
    ASSERT_TRUE(rig.WaitStationReady());
    ASSERT_TRUE(rig.WaitGsmReady());

    rig.gsm->Send("sms +46701112233 Passenger trapped in car");
    const auto rows = rig.WaitForAlarms(1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].alarmType, 2);
    EXPECT_EQ(rows[0].idInfo, "Lift D, school");
    const auto sms = rig.WaitForSms(1);
    ASSERT_EQ(sms.size(), 1u);
    EXPECT_EQ(sms[0].number, kTechSms);
    EXPECT_TRUE(rig.WaitStationText(
        "ERROR: E-mail sending failure, Error connecting to Mailserver..., MailTo tech1@lifts.test; tech2@lifts.test"))
        << "no system-information line about the failed mail";
    ExpectCleanStop();
}

}  // namespace
}  // namespace e2e
