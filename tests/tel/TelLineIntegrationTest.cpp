// The telephone handler against the telephone-modem simulator of tools/, over
// a pseudo-terminal, in real time: the whole road from a ringing line to a
// decoded alarm at the handler's owner.

#include "tel/TelHandler.h"

#include "core/ThreadQueue.h"
#include "messages/ComMsg.h"
#include "messages/TelHandlerMsg.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The handler's owner: everything it posts lands here.
struct Owner : CMsgReceiver {
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override { inbox.Add(std::move(msg)); }

    // Waits for the next message of the type and hands it over; earlier
    // messages of other types are kept in `others`.
    std::unique_ptr<CTelHandlerMsg> WaitFor(uint16_t type, std::chrono::milliseconds limit)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            if (std::unique_ptr<CMsg> msg = inbox.Get()) {
                auto* tel = dynamic_cast<CTelHandlerMsg*>(msg.get());
                if (tel && msg->GetType() == type) {
                    msg.release();
                    return std::unique_ptr<CTelHandlerMsg>(tel);
                }
                if (tel)
                    others.emplace_back(static_cast<CTelHandlerMsg*>(msg.release()));
                continue;
            }
            std::this_thread::sleep_for(2ms);
        }
        return nullptr;
    }

    bool SawNotify(int16_t code) const
    {
        for (const auto& m : others)
            if (m->GetType() == TEL_NOTIFY && m->code == code)
                return true;
        return false;
    }

    CThreadQueue inbox;
    std::vector<std::unique_ptr<CTelHandlerMsg>> others;
};

struct Config {
    bool cpc = false;
    bool voiceCalls = false;
    int32_t redirectMode = 0;
};

class TelLineIntegration : public ::testing::Test {
protected:
    void SetUp() override { dir.WorkIn(); }

    // Starts the simulator with the scenario and the handler on port 1.
    void Start(const std::string& scenario, const Config& config = {})
    {
        sim = std::make_unique<ChildProcess>(
            ChildProcess::Simulator({std::string(ORVA_SOURCE_DIR) + "/tools/modemsim/modemsim.py", "--link",
                                     dir / "COM1", "--stdin", "--scenario", scenario}));
        ASSERT_FALSE(sim->NextLineStarting("READY", 10s).empty()) << "simulator did not start";
        handler.SetOwner(&owner);
        handler.SetConfig(1, 9600, 2, true, config.cpc, config.voiceCalls, config.redirectMode, 0);
        ASSERT_EQ(handler.Start(), HNDRET_STARTED);
    }

    void TearDown() override
    {
        if (handler.IsRunning()) {
            EXPECT_EQ(handler.Stop(), HNDRET_STOPPED);
        }
    }

    // Rings short and quickly, so each call takes a few seconds.
    static std::string Call(const std::string& telephone, const std::string& extra = "")
    {
        return R"({"delay_ms": 300, "caller_id": "+46701234567", "ring": {"on_ms": 400, "off_ms": 400, "count": 6},)"
               R"( "telephone": )" +
               telephone + extra + "}";
    }

    TempDir dir;
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    Owner owner;
    CTelHandler handler;
    std::unique_ptr<ChildProcess> sim;
};

TEST_F(TelLineIntegration, P100AlarmsOfEveryKindReachTheOwner)
{
    Start(R"({"calls": [)" + Call(R"({"type": "p100", "code": 0, "identity": "12345678"})") + "," +
          Call(R"({"type": "p100", "code": 2, "identity": "23456789", "sub_code": 1, "extra": 171})") + "," +
          Call(R"({"type": "p100", "code": 3, "identity": "34567890"})") + "," +
          Call(R"({"type": "p100", "code": 1, "identity": "45678901"})") + "]}");

    struct Expected {
        uint8_t msgType;
        const char* idCode;
        int16_t ofType;
        uint8_t extraCode;
    };
    for (const Expected& e :
         {Expected{TELMSG_P100_ALARM, "12345678", 0, 0}, Expected{TELMSG_OP_FAIL, "23456789", 2, 171},
          Expected{TELMSG_TEST, "34567890", 0, 0}, Expected{TELMSG_VOICE, "45678901", 0, 0}}) {
        auto alarm = owner.WaitFor(TEL_ALARM, 30s);
        ASSERT_NE(alarm, nullptr) << "no alarm for " << e.idCode;
        EXPECT_EQ(alarm->msgType, e.msgType) << e.idCode;
        EXPECT_EQ(alarm->idCode, e.idCode);
        EXPECT_EQ(alarm->idType, 1);
        EXPECT_EQ(alarm->ofType, e.ofType) << e.idCode;
        EXPECT_EQ(alarm->extraCode, e.extraCode) << e.idCode;
        EXPECT_EQ(alarm->protocol, TELPROT_P100);
        EXPECT_EQ(alarm->callerInfo, "+46701234567");
        ASSERT_FALSE(sim->NextLineStarting("CALL end", 30s).empty());
    }
    // Voice calls are off: the voice alarm was hung up at once.
    EXPECT_TRUE(sim->SawLineStarting("HANGUP P100"));
    EXPECT_TRUE(owner.SawNotify(TELHND_NOTIFY_INCOMING_CALL));
}

TEST_F(TelLineIntegration, CpcBatteryAlarm)
{
    Config config;
    config.cpc = true;
    Start(R"({"calls": [)" + Call(R"({"type": "cpc", "model_code": 3, "alarm_code": 17, "identity": "654321"})") + "]}",
          config);
    auto alarm = owner.WaitFor(TEL_ALARM, 30s);
    ASSERT_NE(alarm, nullptr);
    EXPECT_EQ(alarm->protocol, TELPROT_CPC);
    EXPECT_EQ(alarm->msgType, TELMSG_OP_FAIL);
    EXPECT_EQ(alarm->ofType, 2);
    EXPECT_EQ(alarm->idCode, "654321");
    EXPECT_EQ(alarm->value, 3);  // the model code
    EXPECT_FALSE(sim->NextLineStarting("CALL end", 30s).empty());
    EXPECT_TRUE(sim->SawLineStarting("ALARM-ACKED OTHER"));
    EXPECT_TRUE(sim->SawLineStarting("HANGUP CPC"));
}

TEST_F(TelLineIntegration, CpcStationAnsweringAP100TelephoneReadsTheAlarmInTheSameCall)
{
    Config config;
    config.cpc = true;
    Start(R"({"modem": {"cpc_timeout_ms": 500}, "calls": [)" +
              Call(R"({"type": "p100", "code": 0, "identity": "11223344"})") + "]}",
          config);
    auto alarm = owner.WaitFor(TEL_ALARM, 40s);
    ASSERT_NE(alarm, nullptr);
    EXPECT_EQ(alarm->protocol, TELPROT_P100);
    EXPECT_EQ(alarm->idCode, "11223344");
    EXPECT_FALSE(sim->NextLineStarting("CALL end", 30s).empty());
    EXPECT_TRUE(sim->SawLineStarting("CPC-REQ ID"));
    // One seizure for the whole call.
    int seizures = 0;
    for (const std::string& line : sim->Seen())
        seizures += line == "SEIZE";
    EXPECT_EQ(seizures, 1);
}

TEST_F(TelLineIntegration, VoiceAlarmAnsweredByTheOperatorAndHungUp)
{
    Config config;
    config.voiceCalls = true;
    Start(R"({"calls": [)" +
              Call(R"({"type": "p100", "code": 1, "identity": "87654321"})",
                   R"(, "handset": {"lift_after_s": 3, "down_after_s": 3})") +
              "]}",
          config);
    auto alarm = owner.WaitFor(TEL_ALARM, 30s);
    ASSERT_NE(alarm, nullptr);
    EXPECT_EQ(alarm->msgType, TELMSG_VOICE);

    std::vector<int16_t> progress;
    int16_t firstTalk = 0;
    for (;;) {
        auto step = owner.WaitFor(TEL_VOICE_CALL, 15s);
        ASSERT_NE(step, nullptr) << "voice call stalled";
        progress.push_back(step->value);
        if (step->value == VC_TALK_TICK && firstTalk == 0)
            firstTalk = step->remaining;
        if (step->value != VC_NOTIFY_TICK && step->value != VC_PICK_UP && step->value != VC_TALK_TICK)
            break;
    }
    EXPECT_EQ(progress.front(), VC_PICK_UP);  // the first tick always asks to pick up
    EXPECT_EQ(progress.back(), VC_ON_HOOK);
    EXPECT_GT(firstTalk, 300);  // time left plus 180 s of talk
    EXPECT_FALSE(sim->NextLineStarting("CALL end", 30s).empty());
    EXPECT_TRUE(sim->SawLineStarting("VOICE-NOTIFY on"));
    EXPECT_TRUE(sim->SawLineStarting("VOICE-NOTIFY off"));
    EXPECT_TRUE(sim->SawLineStarting("HANGUP P100"));
}

TEST_F(TelLineIntegration, UnattendedVoiceAlarmIsRedirected)
{
    Config config;
    config.voiceCalls = true;
    // The call waits for the unattended switch below.
    Start(R"({"calls": []})", config);
    auto unattended = std::make_unique<CTelHandlerMsg>(TEL_SET_UNATTENDED);
    unattended->onOff = 1;
    CHandler::PostMsg(&handler, std::move(unattended));
    sim->Send("call " + Call(R"({"type": "p100", "code": 1, "identity": "99887766"})"));

    auto alarm = owner.WaitFor(TEL_ALARM, 30s);
    ASSERT_NE(alarm, nullptr);
    EXPECT_EQ(alarm->msgType, TELMSG_VOICE_REDIRECTED);
    EXPECT_EQ(alarm->idCode, "99887766");
    EXPECT_FALSE(sim->NextLineStarting("REDIRECT 03 10 0F", 30s).empty());
    EXPECT_FALSE(sim->NextLineStarting("CALL end", 30s).empty());
    EXPECT_FALSE(sim->SawLineStarting("VOICE-NOTIFY on"));
}

TEST_F(TelLineIntegration, ModemThatFailsTheIdentificationCheckNeverAnswers)
{
    Start(R"({"modem": {"model_id": 13}, "start": "immediately", "calls": [)" + Call(R"({"type": "p100", "code": 0})") +
          "]}");
    auto notify = owner.WaitFor(TEL_NOTIFY, 10s);
    while (notify && notify->code != TELHND_NOTIFY_HW_ERROR)
        notify = owner.WaitFor(TEL_NOTIFY, 10s);
    ASSERT_NE(notify, nullptr);
    EXPECT_FALSE(sim->NextLineStarting("CALL unanswered", 30s).empty());
    EXPECT_FALSE(sim->SawLineStarting("SEIZE"));
    EXPECT_EQ(owner.WaitFor(TEL_ALARM, 100ms), nullptr);
}

}  // namespace
