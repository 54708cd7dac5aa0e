// The incoming-call manager with a fake telephone line and scripted
// protocols, on the fake clock: ring counting, the call from seizing to
// releasing the line, and the voice call offered to the operator.

#include "tel/IncomingCallMgr.h"

#include "support/FakeTickSource.h"
#include "tel/FakeTelLine.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const char* kCaller = "0701234567";

// A protocol that answers from a script and counts what it was asked.
class FakeProtCom : public CProtCom {
public:
    struct Receive {
        int16_t result;
        uint8_t msgType = 0;
    };

    FakeProtCom(int16_t protocolId, bool redirect) : protocolId(protocolId), redirect(redirect) {}

    std::deque<Receive> receives;  // answered in turn, then busy for ever
    int16_t disconnectResult = PROTCOM_SDRET_DONE;
    int16_t redirectResult = PROTCOM_SDRET_DONE;
    std::deque<int16_t> timeUpdateResults;  // answered in turn, then done
    std::function<bool(int16_t)> timeUpdateDue;

    int inits = 0;
    CTelLine* initLine = nullptr;
    bool initVoiceCalls = false;
    int receiveCalls = 0;
    int disconnectCalls = 0;
    int redirectCalls = 0;
    int timeUpdateCalls = 0;
    int32_t redirectMode = -1;

    void Init(CTelLine* telHandler, bool voiceCalls, CLogFile* logFile) override
    {
        CProtCom::Init(telHandler, voiceCalls, logFile);
        ++inits;
        initLine = telHandler;
        initVoiceCalls = voiceCalls;
    }
    int16_t ReceiveMsg(std::unique_ptr<CTelHandlerMsg>& out) override
    {
        ++receiveCalls;
        if (receives.empty())
            return PROTCOM_RMRET_BUSY;
        const Receive r = receives.front();
        receives.pop_front();
        if (r.result == PROTCOM_RMRET_ALARM || r.result == PROTCOM_RMRET_VOICE_ALARM ||
            r.result == PROTCOM_RMRET_DATA) {
            out = std::make_unique<CTelHandlerMsg>(TEL_ALARM);
            out->msgType = r.msgType;
            out->protocol = protocolId;
        }
        return r.result;
    }
    int16_t SendDisconnect() override
    {
        ++disconnectCalls;
        return disconnectResult;
    }
    int16_t SendTimeUpdate() override
    {
        ++timeUpdateCalls;
        if (timeUpdateResults.empty())
            return PROTCOM_STRET_DONE;
        const int16_t result = timeUpdateResults.front();
        timeUpdateResults.pop_front();
        return result;
    }
    bool IsTimeUpdateDue(int16_t remaining) override { return timeUpdateDue ? timeUpdateDue(remaining) : false; }
    int16_t SendRedirect(int32_t mode) override
    {
        ++redirectCalls;
        redirectMode = mode;
        return redirectResult;
    }
    bool SupportsRedirect() const override { return redirect; }

private:
    int16_t protocolId;
    bool redirect;
};

class IncomingCallTest : public testing::Test {
protected:
    struct Event {
        uint32_t tick;
        std::unique_ptr<CTelHandlerMsg> msg;
    };

    // A fresh manager; CPC and voice calls as given, P100 always.
    void Make(bool cpcEnabled, bool voiceCalls, int16_t rings = 2, int32_t redirectMode = 1)
    {
        events.clear();
        line = FakeTelLine{};
        auto cpcProtocol = std::make_unique<FakeProtCom>(TELPROT_CPC, false);
        auto p100Protocol = std::make_unique<FakeProtCom>(TELPROT_P100, true);
        cpc = cpcProtocol.get();
        p100 = p100Protocol.get();
        mgr = std::make_unique<CIncomingCallMgr>(std::move(cpcProtocol), std::move(p100Protocol));
        mgr->Init(&line, voiceCalls, nullptr, true, cpcEnabled, rings, redirectMode);
        mgr->SetCallerId(kCaller);
    }

    void Step()
    {
        if (std::unique_ptr<CTelHandlerMsg> msg = mgr->IncomingCall(line.comTimeout))
            events.push_back({clock.GetTickCount(), std::move(msg)});
    }

    bool Done() const { return !events.empty() && events.back().msg->GetType() == TEL_CALL_DONE; }

    // Steps the call every stepMs until it is done; beforeStep may change the line.
    bool RunCall(uint32_t limitMs, uint32_t stepMs = 100, const std::function<void()>& beforeStep = {})
    {
        const uint32_t end = clock.GetTickCount() + limitMs;
        while (clock.GetTickCount() < end) {
            if (beforeStep)
                beforeStep();
            Step();
            if (Done())
                return true;
            clock.Advance(stepMs);
        }
        return false;
    }

    std::vector<const Event*> OfType(uint16_t type) const
    {
        std::vector<const Event*> found;
        for (const Event& e : events)
            if (e.msg->GetType() == type)
                found.push_back(&e);
        return found;
    }

    // (value, remaining) of every voice-call message.
    std::vector<std::pair<int16_t, int16_t>> Voice() const
    {
        std::vector<std::pair<int16_t, int16_t>> found;
        for (const Event* e : OfType(TEL_VOICE_CALL))
            found.emplace_back(e->msg->value, e->msg->remaining);
        return found;
    }

    const Event* LastVoice() const
    {
        const auto voice = OfType(TEL_VOICE_CALL);
        return voice.empty() ? nullptr : voice.back();
    }

    // The handset ringing for `from` down to `to` seconds.
    static std::vector<std::pair<int16_t, int16_t>> NotifyTicks(int16_t from, int16_t to)
    {
        std::vector<std::pair<int16_t, int16_t>> ticks;
        for (int16_t r = from; r >= to; --r)
            ticks.emplace_back(r % 5 == 0 ? VC_PICK_UP : VC_NOTIFY_TICK, r);
        return ticks;
    }

    FakeTickSource clock{5000};
    FakeTelLine line;
    FakeProtCom* cpc = nullptr;
    FakeProtCom* p100 = nullptr;
    std::unique_ptr<CIncomingCallMgr> mgr;
    std::vector<Event> events;
};

// --- Ring counting ----------------------------------------------------------

struct RingCase {
    const char* name;
    int16_t rings;
    std::vector<std::pair<bool, uint32_t>> pattern;  // ring on/off and how long
    int acceptAt;                                    // ms from the start, -1: never
    bool callerIdCleared;
};

TEST_F(IncomingCallTest, RingCounting)
{
    const std::vector<RingCase> cases = {
        {"no rings required: never answers", 0, {{true, 1000}, {false, 4000}, {true, 1000}}, -1, false},
        {"one ring", 1, {{true, 1000}}, 1000, false},
        {"two rings: accepted when the second ends", 2, {{true, 1000}, {false, 4000}, {true, 1000}}, 6000, false},
        {"a pause just under 10 s still counts", 2, {{true, 1000}, {false, 9900}, {true, 1000}}, 11900, false},
        {"a pause over 10 s starts again",
         2,
         {{true, 1000}, {false, 10500}, {true, 1000}, {false, 4000}, {true, 1000}},
         17500,
         true},
        // The 3.5 s ring restarts the count at 3 s; its end is then the first ring.
        {"a ring over 3 s starts again",
         2,
         {{true, 1000}, {false, 2000}, {true, 3500}, {false, 2000}, {true, 1000}},
         9500,
         true},
        {"a single long ring is no call", 2, {{true, 3500}}, -1, true},
    };
    constexpr uint32_t kStep = 10;
    for (const RingCase& c : cases) {
        Make(false, true, c.rings);
        const uint32_t start = clock.GetTickCount();
        std::vector<uint32_t> accepted;
        auto run = [&](bool ring, uint32_t ms) {
            line.ring = ring;
            for (uint32_t t = 0; t < ms; t += kStep) {
                if (mgr->RingDetect())
                    accepted.push_back(clock.GetTickCount() - start);
                clock.Advance(kStep);
            }
        };
        for (const auto& [ring, ms] : c.pattern)
            run(ring, ms);
        run(false, 20000);  // and then quiet

        if (c.acceptAt < 0) {
            EXPECT_TRUE(accepted.empty()) << c.name;
        } else {
            ASSERT_EQ(accepted.size(), 1u) << c.name;
            EXPECT_EQ(accepted[0], static_cast<uint32_t>(c.acceptAt)) << c.name;
        }
        EXPECT_EQ(mgr->GetCallerId().empty(), c.callerIdCleared) << c.name;
        EXPECT_EQ(mgr->GetRingState(), ICMGR_RDST_IDLE) << c.name;
    }
}

// --- The call ----------------------------------------------------------------

TEST_F(IncomingCallTest, AlarmIsReturnedAtOnceAndTheLineReleasedTwoSecondsLater)
{
    Make(false, true);
    p100->receives = {{PROTCOM_RMRET_ALARM, TELMSG_P100_ALARM}};
    ASSERT_TRUE(RunCall(10000, 10));

    const auto alarms = OfType(TEL_ALARM);
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_EQ(alarms[0]->msg->callerInfo, kCaller);
    ASSERT_EQ(line.lineCalls.size(), 2u);
    EXPECT_TRUE(line.lineCalls[0].on);
    EXPECT_FALSE(line.lineCalls[1].on);
    // The line settles 1 s before the protocol is asked.
    EXPECT_GE(alarms[0]->tick - line.lineCalls[0].tick, 1000u);
    // The alarm is out before the telephone is let go, 2 s before.
    const uint32_t releaseAfter = line.lineCalls[1].tick - alarms[0]->tick;
    EXPECT_GE(releaseAfter, 2000u);
    EXPECT_LE(releaseAfter, 2020u);
    EXPECT_EQ(p100->disconnectCalls, 0);
    EXPECT_TRUE(mgr->GetCallerId().empty());
    EXPECT_EQ(mgr->GetState(), ICMGR_ICST_IDLE);
}

TEST_F(IncomingCallTest, CpcTimesOutAndP100ReadsTheAlarmInTheSameCall)
{
    Make(true, true);
    cpc->receives = {{PROTCOM_RMRET_RECEIVE_TIMEOUT}};
    p100->receives = {{PROTCOM_RMRET_ALARM, TELMSG_OP_FAIL}};
    ASSERT_TRUE(RunCall(10000));

    const auto alarms = OfType(TEL_ALARM);
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_EQ(alarms[0]->msg->protocol, TELPROT_P100);
    EXPECT_EQ(alarms[0]->msg->callerInfo, kCaller);
    EXPECT_EQ(cpc->receiveCalls, 1);
    EXPECT_EQ(line.lineCalls.size(), 2u);  // seized once, released once
}

TEST_F(IncomingCallTest, DataMessagesAreReturnedWhileTheReceptionGoesOn)
{
    Make(false, true);
    p100->receives = {{PROTCOM_RMRET_DATA, TELMSG_USER_DATA},
                      {PROTCOM_RMRET_BUSY},
                      {PROTCOM_RMRET_DATA, TELMSG_USER_DATA},
                      {PROTCOM_RMRET_RECEIVE_TIMEOUT}};
    ASSERT_TRUE(RunCall(10000));
    const auto alarms = OfType(TEL_ALARM);
    ASSERT_EQ(alarms.size(), 2u);
    for (const Event* e : alarms)
        EXPECT_EQ(e->msg->callerInfo, kCaller);
    EXPECT_EQ(p100->disconnectCalls, 0);
}

struct EndCase {
    const char* name;
    int16_t lineResult;
    std::vector<FakeProtCom::Receive> cpcScript;
    std::vector<FakeProtCom::Receive> p100Script;
    int cpcDisconnects;
    int p100Disconnects;
};

TEST_F(IncomingCallTest, EveryCallEndsByReleasingTheLine)
{
    const std::vector<EndCase> cases = {
        {"line not seized", TELHND_LCRET_COM_ERROR, {{PROTCOM_RMRET_ALARM, 4}}, {}, 0, 0},
        {"all protocols time out",
         TELHND_LCRET_OK,
         {{PROTCOM_RMRET_RECEIVE_TIMEOUT}},
         {{PROTCOM_RMRET_RECEIVE_TIMEOUT}},
         0,
         0},
        {"receive error hangs up", TELHND_LCRET_OK, {{PROTCOM_RMRET_RECEIVE_ERROR}}, {}, 1, 0},
        {"serial error does not", TELHND_LCRET_OK, {{PROTCOM_RMRET_COM_ERROR}}, {}, 0, 0},
        {"P100 receive error",
         TELHND_LCRET_OK,
         {{PROTCOM_RMRET_RECEIVE_TIMEOUT}},
         {{PROTCOM_RMRET_RECEIVE_ERROR}},
         0,
         1},
    };
    for (const EndCase& c : cases) {
        Make(true, true);
        line.lineResult = c.lineResult;
        cpc->receives.assign(c.cpcScript.begin(), c.cpcScript.end());
        p100->receives.assign(c.p100Script.begin(), c.p100Script.end());
        ASSERT_TRUE(RunCall(20000)) << c.name;

        EXPECT_TRUE(OfType(TEL_ALARM).empty()) << c.name;
        EXPECT_EQ(cpc->disconnectCalls, c.cpcDisconnects) << c.name;
        EXPECT_EQ(p100->disconnectCalls, c.p100Disconnects) << c.name;
        ASSERT_FALSE(line.lineCalls.empty()) << c.name;
        EXPECT_FALSE(line.lineCalls.back().on) << c.name;
        EXPECT_TRUE(mgr->GetCallerId().empty()) << c.name;
        if (c.lineResult != TELHND_LCRET_OK) {
            EXPECT_EQ(cpc->receiveCalls + p100->receiveCalls, 0) << c.name;
        }
    }
}

// --- Voice calls -----------------------------------------------------------

TEST_F(IncomingCallTest, VoiceCallRingsTheHandsetThreeHundredSecondsThenRedirects)
{
    Make(false, true, 2, 0);
    p100->receives = {{PROTCOM_RMRET_VOICE_ALARM, TELMSG_VOICE}};
    ASSERT_TRUE(RunCall(400000));

    const auto alarms = OfType(TEL_ALARM);
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_EQ(alarms[0]->msg->msgType, TELMSG_VOICE);
    EXPECT_EQ(alarms[0]->msg->callerInfo, kCaller);

    auto expected = NotifyTicks(300, 1);
    expected.emplace_back(VC_TIMEOUT, 0);
    EXPECT_EQ(Voice(), expected);
    const auto voice = OfType(TEL_VOICE_CALL);
    for (size_t i = 1; i < voice.size(); ++i)
        ASSERT_EQ(voice[i]->tick - voice[i - 1]->tick, 1000u) << i;

    EXPECT_EQ(line.voiceCallNotify, (std::vector<bool>{true, false}));
    EXPECT_EQ(p100->redirectCalls, 1);
    EXPECT_EQ(p100->redirectMode, 0);
    EXPECT_EQ(p100->disconnectCalls, 0);
    EXPECT_FALSE(line.lineCalls.back().on);
}

TEST_F(IncomingCallTest, LiftingTheHandsetWith120SecondsLeftGives300SecondsOfTalk)
{
    Make(false, true);
    p100->receives = {{PROTCOM_RMRET_VOICE_ALARM, TELMSG_VOICE}};
    // After the tick that showed 121 seconds, 120 are left.
    ASSERT_TRUE(RunCall(700000, 100, [&] {
        const Event* last = LastVoice();
        if (last && last->msg->value != VC_TALK_TICK && last->msg->remaining == 121)
            line.handset = true;
    }));

    auto expected = NotifyTicks(300, 121);
    for (int16_t r = 300; r >= 1; --r)
        expected.emplace_back(VC_TALK_TICK, r);
    expected.emplace_back(VC_TIMEOUT, 0);
    EXPECT_EQ(Voice(), expected);
    EXPECT_EQ(line.voiceCallNotify, (std::vector<bool>{true, false}));
    // A call that was talked through is ended, not passed on.
    EXPECT_EQ(p100->disconnectCalls, 1);
    EXPECT_EQ(p100->redirectCalls, 0);
}

TEST_F(IncomingCallTest, TheHandsetMustStayDownTwoSecondsToEndTheTalk)
{
    Make(false, true);
    p100->receives = {{PROTCOM_RMRET_VOICE_ALARM, TELMSG_VOICE}};
    uint32_t lifted = 0;
    ASSERT_TRUE(RunCall(60000, 100, [&] {
        const Event* last = LastVoice();
        if (!last)
            return;
        const uint32_t now = clock.GetTickCount();
        if (lifted == 0 && now >= last->tick + 300) {
            lifted = now;
            line.handset = true;
        } else if (lifted != 0 && now >= lifted + 500) {
            line.handset = false;  // put down again at once
        }
    }));

    const Event* onHook = LastVoice();
    ASSERT_NE(onHook, nullptr);
    EXPECT_EQ(onHook->msg->value, VC_ON_HOOK);
    EXPECT_GE(onHook->tick - lifted, 2000u);
    EXPECT_LE(onHook->tick - lifted, 2100u);
    EXPECT_EQ(Voice().front(), std::make_pair(VC_PICK_UP, int16_t{300}));
    EXPECT_EQ(line.voiceCallNotify, (std::vector<bool>{true, false}));
    EXPECT_EQ(p100->disconnectCalls, 1);
    EXPECT_EQ(p100->redirectCalls, 0);
}

struct AbortCase {
    const char* name;
    bool cpc;  // read by CPC (no redirect) or by P100
    bool talking;
    int redirects;
    int disconnects;
};

TEST_F(IncomingCallTest, AbortEndsTheVoiceCall)
{
    const std::vector<AbortCase> cases = {
        {"ringing, P100: redirect", false, false, 1, 0},
        {"ringing, CPC: hang up", true, false, 0, 1},
        {"talking, P100: hang up", false, true, 0, 1},
        {"talking, CPC: hang up", true, true, 0, 1},
    };
    for (const AbortCase& c : cases) {
        Make(c.cpc, true);
        FakeProtCom* reader = c.cpc ? cpc : p100;
        reader->receives = {{PROTCOM_RMRET_VOICE_ALARM, TELMSG_VOICE}};
        ASSERT_TRUE(RunCall(60000, 100, [&] {
            const size_t ticks = OfType(TEL_VOICE_CALL).size();
            if (c.talking && ticks >= 1)
                line.handset = true;
            if (ticks == 3)
                mgr->AbortVoiceCall();
        })) << c.name;

        const auto voice = Voice();
        ASSERT_EQ(voice.size(), 4u) << c.name;
        EXPECT_EQ(voice.back().first, VC_ABORTED) << c.name;
        EXPECT_EQ(line.voiceCallNotify, (std::vector<bool>{true, false})) << c.name;
        EXPECT_EQ(reader->redirectCalls, c.redirects) << c.name;
        EXPECT_EQ(reader->disconnectCalls, c.disconnects) << c.name;
        EXPECT_FALSE(line.lineCalls.back().on) << c.name;
    }
}

TEST_F(IncomingCallTest, AnAbortBeforeTheCallIsForgotten)
{
    Make(false, true);
    mgr->AbortVoiceCall();
    p100->receives = {{PROTCOM_RMRET_VOICE_ALARM, TELMSG_VOICE}};
    ASSERT_FALSE(RunCall(5000));
    EXPECT_EQ(mgr->GetState(), ICMGR_ICST_VOICECALL_NOTIFY);
    EXPECT_EQ(Voice().size(), 4u);  // still ringing the handset
}

struct QuietVoiceCase {
    const char* name;
    bool cpc;
    bool unattended;
    bool voiceCalls;
    uint8_t msgType;
    int redirects;
    int disconnects;
};

TEST_F(IncomingCallTest, VoiceAlarmsNobodyAnswers)
{
    const std::vector<QuietVoiceCase> cases = {
        {"unattended, P100: redirected", false, true, true, TELMSG_VOICE_REDIRECTED, 1, 0},
        {"unattended, CPC: hung up unchanged", true, true, true, TELMSG_VOICE, 0, 1},
        {"voice calls off: hung up at once", false, false, false, TELMSG_VOICE, 0, 1},
    };
    for (const QuietVoiceCase& c : cases) {
        Make(c.cpc, c.voiceCalls);
        mgr->SetUnattended(c.unattended);
        FakeProtCom* reader = c.cpc ? cpc : p100;
        reader->receives = {{PROTCOM_RMRET_VOICE_ALARM, TELMSG_VOICE}};
        ASSERT_TRUE(RunCall(10000)) << c.name;

        const auto alarms = OfType(TEL_ALARM);
        ASSERT_EQ(alarms.size(), 1u) << c.name;
        EXPECT_EQ(alarms[0]->msg->msgType, c.msgType) << c.name;
        EXPECT_TRUE(Voice().empty()) << c.name;
        EXPECT_TRUE(line.voiceCallNotify.empty()) << c.name;
        EXPECT_EQ(reader->redirectCalls, c.redirects) << c.name;
        EXPECT_EQ(reader->disconnectCalls, c.disconnects) << c.name;
    }
}

struct TimeUpdateCase {
    const char* name;
    int16_t result;
};

// Every failed time update ends the voice call so that the alarm dialog and
// the list learn of it: the handset stops ringing and VC_ABORTED goes out,
// also when the modem no longer answers (the notification off is sent
// whatever becomes of it).
TEST_F(IncomingCallTest, TimeUpdateFailures)
{
    const std::vector<TimeUpdateCase> cases = {
        {"receive error", PROTCOM_STRET_RECEIVE_ERROR},
        {"receive time-out", PROTCOM_STRET_RECEIVE_TIMEOUT},
        {"serial error", PROTCOM_STRET_COM_ERROR},
    };
    for (const TimeUpdateCase& c : cases) {
        for (const bool talking : {false, true}) {
            Make(true, true);
            cpc->receives = {{PROTCOM_RMRET_VOICE_ALARM, TELMSG_VOICE}};
            cpc->timeUpdateDue = [](int16_t remaining) { return remaining == 298 || remaining == 478; };
            cpc->timeUpdateResults = {PROTCOM_STRET_BUSY, c.result};
            ASSERT_TRUE(RunCall(20000, 100, [&] {
                if (talking && !OfType(TEL_VOICE_CALL).empty())
                    line.handset = true;
            })) << c.name;

            auto expected =
                talking ? std::vector<std::pair<int16_t, int16_t>>{{VC_PICK_UP, 300}} : NotifyTicks(300, 298);
            if (talking) {
                for (int16_t r = 479; r >= 478; --r)
                    expected.emplace_back(VC_TALK_TICK, r);
            }
            expected.emplace_back(VC_ABORTED, 0);
            EXPECT_EQ(Voice(), expected) << c.name << (talking ? ", talking" : ", ringing");
            EXPECT_EQ(line.voiceCallNotify, (std::vector<bool>{true, false})) << c.name;
            EXPECT_EQ(cpc->disconnectCalls, 0) << c.name;
            EXPECT_FALSE(line.lineCalls.back().on) << c.name;
        }
    }
}

TEST_F(IncomingCallTest, ADoneTimeUpdateReturnsToTheVoiceCall)
{
    Make(true, true);
    cpc->receives = {{PROTCOM_RMRET_VOICE_ALARM, TELMSG_VOICE}};
    // Due on the third tick (ringing) and on the 250th (talking).
    int dueCalls = 0;
    cpc->timeUpdateDue = [&](int16_t) { return ++dueCalls == 3 || dueCalls == 250; };
    cpc->timeUpdateResults = {PROTCOM_STRET_BUSY, PROTCOM_STRET_DONE};
    uint32_t lifted = 0;
    ASSERT_TRUE(RunCall(700000, 100, [&] {
        const Event* last = LastVoice();
        if (lifted == 0 && last && last->msg->remaining == 200) {
            lifted = clock.GetTickCount();
            line.handset = true;  // the second update comes during the talk
        }
    }));
    auto expected = NotifyTicks(300, 200);
    for (int16_t r = 199 + 180; r >= 1; --r)
        expected.emplace_back(VC_TALK_TICK, r);
    expected.emplace_back(VC_TIMEOUT, 0);
    EXPECT_EQ(Voice(), expected);
    EXPECT_EQ(cpc->timeUpdateCalls, 3);
    EXPECT_EQ(cpc->disconnectCalls, 1);
}

TEST_F(IncomingCallTest, ComTimeoutEndsTheVoiceCallWithoutHangUp)
{
    for (bool talking : {false, true}) {
        Make(false, true);
        p100->receives = {{PROTCOM_RMRET_VOICE_ALARM, TELMSG_VOICE}};
        ASSERT_TRUE(RunCall(60000, 100, [&] {
            const size_t ticks = OfType(TEL_VOICE_CALL).size();
            if (talking && ticks >= 1)
                line.handset = true;
            if (ticks == 3)
                line.comTimeout = true;
        })) << talking;

        const auto voice = Voice();
        ASSERT_EQ(voice.size(), 4u) << talking;
        EXPECT_EQ(voice.back().first, VC_ABORTED) << talking;
        EXPECT_EQ(p100->redirectCalls + p100->disconnectCalls, 0) << talking;
        EXPECT_FALSE(line.lineCalls.back().on) << talking;
    }
}

TEST_F(IncomingCallTest, InitKeepsUnattendedModeAndCallerIdAndBindsTheProtocols)
{
    Make(true, true);
    mgr->SetUnattended(true);
    mgr->Init(&line, false, nullptr, true, true, 3, 1);
    EXPECT_TRUE(mgr->IsUnattended());
    EXPECT_EQ(mgr->GetCallerId(), kCaller);
    EXPECT_EQ(cpc->inits, 2);
    EXPECT_EQ(p100->initLine, &line);
    EXPECT_FALSE(p100->initVoiceCalls);
}

}  // namespace
