// Faults of the telephone line, end to end: the headless station with the
// telephone-modem simulator (and a real SMTP server), where the lift
// telephone or the modem misbehaves. The tests look only at what an operator
// could see from outside: the stored alarm rows, the mails at the server, the
// modem's events and the station's output lines.

#include "StationRig.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace e2e {
namespace {

constexpr const char* kCaller = "+46701234567";
const std::vector<std::string> kTechMail{"tech1@lifts.test", "tech2@lifts.test"};

// A call with short rings (the station answers at the end of the first one).
std::string Call(const std::string& telephone)
{
    return std::string(R"({"delay_ms": 200, "caller_id": ")") + kCaller +
           R"(", "ring": {"on_ms": 300, "off_ms": 300, "count": 8}, "telephone": )" + telephone + "}";
}

// The modem's P100 message follows the start request after 100 ms, and a
// silent CPC telephone is reported after 1 s instead of 2 s; everything else
// behaves as the real modem does.
constexpr const char* kModemScenario = R"({"modem": {"p100_message_delay_ms": 100, "cpc_timeout_ms": 1000}})";

// An ordinary P100 alarm (no voice) of the lift 87654321: always forwarded,
// so once its mail is there, any mail of an earlier alarm would have come
// before it (mails leave in the order of the alarms).
const std::string kSentinelCall = Call(R"({"type": "p100", "code": 0, "identity": "87654321"})");

class TelLineE2e : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (HasFailure()) {
            std::string unplugged;
            for (const auto& modem : rig.unpluggedModems)
                unplugged += modem->Transcript();
            std::fprintf(stderr, "--- what the processes printed ---\n%s%s\n", unplugged.c_str(),
                         rig.Transcripts().c_str());
        }
    }

    void ExpectCleanStop()
    {
        const int code = rig.StopStation();
        EXPECT_EQ(code, 0) << "the station did not stop cleanly (status " << rig.station->RawStatus() << ")";
    }

    StationRig rig;
};

// A CPC telephone reports a battery alarm, the station acknowledges it, and
// the telephone never answers the hang-up. The telephone counts the alarm as
// delivered (it was acknowledged) and will not send it again, so the station
// stores and forwards it: once.
TEST_F(TelLineE2e, CpcBatteryAlarmWhoseHangUpIsNeverAnsweredIsStoredAndForwardedOnce)
{
    rig.AddLift(Lift("123456", "Lift C, hospital"));
    rig.AddLift(Lift("87654321", "Lift B, garage"));
    rig.Set("CpcEnabled", 1);
    rig.StartModem(kModemScenario);
    rig.StartMailServer();
    rig.StartStation();
    ASSERT_TRUE(rig.WaitStationReady());
    ASSERT_TRUE(rig.WaitModemReady());

    rig.modem->Send("call " + Call(R"({"type": "cpc", "model_code": 2, "alarm_code": 17, "identity": "123456",)"
                                   R"( "hangup_reply": "silent"})"));
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "ALARM-ACKED OTHER")) << "the station did not acknowledge the alarm";
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "CALL end")) << "the station did not end the call";
    EXPECT_EQ(rig.modem->CountText("HANGUP CPC"), 2u) << "the hang-up is asked twice";

    const auto rows = rig.WaitForAlarms(1);
    ASSERT_EQ(rows.size(), 1u) << "the acknowledged battery alarm was not stored";
    EXPECT_EQ(rows[0].idCode, "123456");
    EXPECT_EQ(rows[0].alarmSource, 1);  // telephone
    EXPECT_EQ(rows[0].opFailType, 2);   // battery
    EXPECT_EQ(rows[0].idInfo, "Lift C, hospital");
    EXPECT_EQ(rows[0].callerIdInfo, kCaller);
    ASSERT_TRUE(rig.WaitForMail(1)) << "the battery alarm was not forwarded";
    EXPECT_EQ(rig.MailRecipients(1), kTechMail);

    // Once: the next alarm's mail is the second one.
    const size_t modemLines = rig.modem->LineCount();
    rig.modem->Send("call " + kSentinelCall);
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "CALL end", 30s, modemLines));
    ASSERT_TRUE(rig.WaitForMail(2));
    const auto after = rig.WaitForAlarms(2);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1].idCode, "87654321");
    EXPECT_TRUE(rig.mail->Part(2, "body").find("ID Code: 87654321") != std::string::npos) << rig.mail->Part(2, "body");

    ExpectCleanStop();
    EXPECT_EQ(rig.MailCount(), 2);
    EXPECT_EQ(rig.Alarms().size(), 2u);
}

// The telephone modem's serial adapter is pulled out and put back (the
// simulator ends, taking its port with it, and a new one comes up on the
// same port). The station tells the operator as before, starts the link
// again 30 s after the failure on its own, and the next P100 alarm is stored
// without a restart of the station.
TEST_F(TelLineE2e, ModemUnpluggedAndPluggedInAgainTakesTheNextAlarmWithoutARestart)
{
    rig.AddLift(Lift("87654321", "Lift B, garage"));
    rig.StartModem(kModemScenario);
    rig.StartMailServer();
    rig.StartStation();
    ASSERT_TRUE(rig.WaitStationReady());
    ASSERT_TRUE(rig.WaitModemReady());
    ASSERT_TRUE(rig.WaitStationText("TEL: Com OK, Line OK"));

    const size_t stationLines = rig.station->LineCount();
    rig.UnplugModem();
    ASSERT_TRUE(rig.WaitStationText("FATAL ERROR:", 10s, stationLines)) << "the station did not notice the modem go";
    const auto haltedAt = std::chrono::steady_clock::now();
    rig.StartModem(kModemScenario);  // plugged in again

    // The first try comes 30 s after the failure (the station's own back-off).
    ASSERT_TRUE(rig.WaitModemReady(50s)) << "the station did not open the port again";
    EXPECT_GE(std::chrono::steady_clock::now() - haltedAt, 25s) << "tried again before the back-off";
    ASSERT_TRUE(rig.WaitStationText("TEL: Com OK, Line OK", 10s, stationLines));
    const auto tries = rig.StationLines(
        "INFO 0 WARNING: Telephone Modem communication failure, check modem settings and connections...");
    EXPECT_EQ(tries.size(), 1u) << "one system-information line per try";

    rig.modem->Send("call " + kSentinelCall);
    ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "P100-MSG")) << "the station did not answer the call";
    const auto rows = rig.WaitForAlarms(1);
    ASSERT_EQ(rows.size(), 1u) << "the alarm after the replug was not stored";
    EXPECT_EQ(rows[0].idCode, "87654321");
    EXPECT_EQ(rows[0].alarmSource, 1);
    EXPECT_EQ(rows[0].idInfo, "Lift B, garage");
    ASSERT_TRUE(rig.WaitForMail(1));
    EXPECT_EQ(rig.MailRecipients(1), kTechMail);

    ExpectCleanStop();
    EXPECT_EQ(rig.starts, 1) << "the station was restarted";
}

}  // namespace
}  // namespace e2e
