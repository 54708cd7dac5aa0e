#include "protocols/CpcProtCom.h"

#include "protocols/CpcInfo.h"
#include "protocols/FakeTelLine.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kSource = "CCpcProtCom::ReceiveMsg";
constexpr int16_t kModel = 7;

using Request = FakeTelLine::Request;

Request Cpc(int16_t request)
{
    return {TELHND_SR_CPC, request};
}

std::unique_ptr<CTelHandlerMsg> Answer(uint8_t msgType, int16_t value = 0)
{
    auto msg = std::make_unique<CTelHandlerMsg>(TEL_ALARM);
    msg->protocol = TELPROT_CPC;
    msg->msgType = msgType;
    msg->value = value;
    return msg;
}

std::unique_ptr<CTelHandlerMsg> Ack(int16_t flag = 1)
{
    return Answer(TELMSG_CPC_ACK, flag);
}

std::unique_ptr<CTelHandlerMsg> Identification(int16_t model = kModel)
{
    return Answer(TELMSG_CPC_ID, model);
}

std::unique_ptr<CTelHandlerMsg> Alarm(uint8_t msgType, int16_t ofType = 0)
{
    auto msg = Answer(msgType);
    msg->idCode = "12345678";
    msg->idType = 1;
    msg->ofType = ofType;
    return msg;
}

// The four stages of a battery alarm and the good answer to each.
const std::vector<Request> kBatteryRequests{Cpc(CPC_REQ_ID), Cpc(CPC_REQ_ALARMCODE), Cpc(CPC_REQ_ACK_OTHER),
                                            Cpc(CPC_REQ_DISCONNECT)};
const char* const kStagePrefix[] = {"CPCPROTCOM_RMST_REQ_ID: ", "CPCPROTCOM_RMST_REQ_ALARMCODE: ",
                                    "CPCPROTCOM_RMST_SEND_ALARM_ACK: ", "CPCPROTCOM_RMST_SEND_DISCONNECT: "};

std::unique_ptr<CTelHandlerMsg> BatteryAnswer(int stage)
{
    switch (stage) {
    case 0:
        return Identification();
    case 1:
        return Alarm(TELMSG_OP_FAIL, 2);
    default:
        return Ack();
    }
}

std::vector<Request> Repeat(std::vector<Request> head, const Request& request, int times)
{
    head.insert(head.end(), static_cast<size_t>(times), request);
    return head;
}

class CpcProtComTest : public ::testing::Test {
protected:
    CpcProtComTest()
    {
        dir.WorkIn();
        prot.Init(&line, true, log.File());
    }

    int16_t Receive()
    {
        return RunToResult([this] { return prot.ReceiveMsg(out); });
    }

    // Scripts good answers for the battery stages before stage.
    void AnswerBatteryUpTo(int stage)
    {
        for (int s = 0; s < stage; ++s)
            line.Answer(BatteryAnswer(s));
    }

    TempDir dir;
    ProtocolLog log;
    FakeTelLine line;
    CCpcProtCom prot;
    std::unique_ptr<CTelHandlerMsg> out;
};

struct ExchangeCase {
    const char* name;
    uint8_t msgType;
    int16_t ofType;
    int16_t result;
    std::vector<Request> requests;
    std::vector<std::string> log;
};

class CpcExchange : public CpcProtComTest, public ::testing::WithParamInterface<ExchangeCase> {};

TEST_P(CpcExchange, HandsOverTheAlarmWithTheModelCode)
{
    const ExchangeCase& c = GetParam();
    line.Answer(Identification());
    line.Answer(Alarm(c.msgType, c.ofType));
    line.Answer(Ack());
    line.Answer(Ack());  // used by the hang-up of battery and test alarms only

    EXPECT_EQ(Receive(), c.result);
    EXPECT_EQ(line.requests, c.requests);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->msgType, c.msgType);
    EXPECT_EQ(out->idCode, "12345678");
    EXPECT_EQ(out->ofType, c.ofType);
    EXPECT_EQ(out->value, kModel);
    EXPECT_EQ(out->protocol, TELPROT_CPC);
    EXPECT_EQ(log.Texts(kSource), c.log);
}

const std::vector<Request> kVoiceRequests{Cpc(CPC_REQ_ID), Cpc(CPC_REQ_ALARMCODE), Cpc(CPC_REQ_ACK_VOICE)};

INSTANTIATE_TEST_SUITE_P(
    Cpc, CpcExchange,
    ::testing::Values(
        ExchangeCase{"Battery",
                     TELMSG_OP_FAIL,
                     2,
                     PROTCOM_RMRET_ALARM,
                     kBatteryRequests,
                     {"CPCPROTCOM_RMST_REQ_ID: TELHND_SRRET_RECEIVE_OK", "Model Code: 7",
                      "CPCPROTCOM_RMST_REQ_ALARMCODE: TELHND_SRRET_RECEIVE_OK", "MsgType: 3, ID: 12345678, OfType: 2",
                      "CPCPROTCOM_RMST_SEND_ALARM_ACK: TELHND_SRRET_RECEIVE_OK",
                      "Ack OK, MessageType: Battery/TestAlarm",
                      "CPCPROTCOM_RMST_SEND_DISCONNECT: TELHND_SRRET_RECEIVE_OK", "Ack OK"}},
        ExchangeCase{"Test",
                     TELMSG_TEST,
                     0,
                     PROTCOM_RMRET_ALARM,
                     kBatteryRequests,
                     {"CPCPROTCOM_RMST_REQ_ID: TELHND_SRRET_RECEIVE_OK", "Model Code: 7",
                      "CPCPROTCOM_RMST_REQ_ALARMCODE: TELHND_SRRET_RECEIVE_OK", "MsgType: 4, ID: 12345678, OfType: 0",
                      "CPCPROTCOM_RMST_SEND_ALARM_ACK: TELHND_SRRET_RECEIVE_OK",
                      "Ack OK, MessageType: Battery/TestAlarm",
                      "CPCPROTCOM_RMST_SEND_DISCONNECT: TELHND_SRRET_RECEIVE_OK", "Ack OK"}},
        ExchangeCase{"Voice",
                     TELMSG_VOICE,
                     0,
                     PROTCOM_RMRET_VOICE_ALARM,
                     kVoiceRequests,
                     {"CPCPROTCOM_RMST_REQ_ID: TELHND_SRRET_RECEIVE_OK", "Model Code: 7",
                      "CPCPROTCOM_RMST_REQ_ALARMCODE: TELHND_SRRET_RECEIVE_OK", "MsgType: Voice, ID: 12345678",
                      "CPCPROTCOM_RMST_SEND_ALARM_ACK: TELHND_SRRET_RECEIVE_OK", "Ack OK, MessageType: Voice"}}),
    [](const ::testing::TestParamInfo<ExchangeCase>& info) { return std::string(info.param.name); });

TEST_F(CpcProtComTest, IntermediateReportsKeepWaitingForTheSameRequest)
{
    for (int16_t report :
         {TELHND_SRRET_PENDING, TELHND_SRRET_MSG_TIMEOUT, TELHND_SRRET_CHECKSUM_ERROR, TELHND_SRRET_TIMING_ERROR})
        line.Answer(report);
    line.Answer(Identification());

    EXPECT_EQ(prot.ReceiveMsg(out), PROTCOM_RMRET_BUSY);  // idle -> identify
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(prot.ReceiveMsg(out), PROTCOM_RMRET_BUSY);
    EXPECT_EQ(line.requests, std::vector<Request>{Cpc(CPC_REQ_ID)});
    EXPECT_TRUE(line.ScriptUsedUp());

    line.Answer(Alarm(TELMSG_VOICE));
    line.Answer(Ack());
    EXPECT_EQ(Receive(), PROTCOM_RMRET_VOICE_ALARM);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->value, kModel);
}

// Each stage of a battery alarm, by its index in kBatteryRequests.
class CpcStage : public CpcProtComTest, public ::testing::WithParamInterface<int> {
protected:
    int stage = GetParam();
    Request request = kBatteryRequests[static_cast<size_t>(stage)];
    std::string prefix = kStagePrefix[stage];
    std::vector<Request> before{kBatteryRequests.begin(), kBatteryRequests.begin() + stage};
};

// The stages before the telephone has acknowledged the alarm: a failure there
// leaves the alarm with the telephone, which calls again.
class CpcStageBeforeAck : public CpcStage {};

TEST_P(CpcStageBeforeAck, TwoErrorsEndTheExchangeWithTimeout)
{
    AnswerBatteryUpTo(stage);
    line.Answer(TELHND_SRRET_START_TIMEOUT);
    line.Answer(TELHND_SRRET_RETRIES_EXCEEDED);

    EXPECT_EQ(Receive(), PROTCOM_RMRET_RECEIVE_TIMEOUT);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(line.requests, Repeat(before, request, 2));
    const std::vector<std::string> texts = log.Texts(kSource);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), prefix + "Error/Timeout"), 2);
}

TEST_P(CpcStage, OneErrorRepeatsTheRequest)
{
    AnswerBatteryUpTo(stage);
    line.Answer(TELHND_SRRET_START_TIMEOUT);
    for (int s = stage; s < 4; ++s)
        line.Answer(BatteryAnswer(s));

    EXPECT_EQ(Receive(), PROTCOM_RMRET_ALARM);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->msgType, TELMSG_OP_FAIL);
    std::vector<Request> expected = Repeat(before, request, 2);
    expected.insert(expected.end(), kBatteryRequests.begin() + stage + 1, kBatteryRequests.end());
    EXPECT_EQ(line.requests, expected);
}

TEST_P(CpcStageBeforeAck, ComErrorEndsTheExchangeAtOnce)
{
    AnswerBatteryUpTo(stage);
    line.Answer(TELHND_SRRET_COM_ERROR);

    EXPECT_EQ(Receive(), PROTCOM_RMRET_COM_ERROR);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(line.requests, Repeat(before, request, 1));
    EXPECT_EQ(log.Texts(kSource).back(), prefix + "TELHND_SRRET_COM_ERROR");

    // The next call starts a new exchange from the identification.
    line.requests.clear();
    AnswerBatteryUpTo(4);
    EXPECT_EQ(Receive(), PROTCOM_RMRET_ALARM);
    EXPECT_EQ(line.requests, kBatteryRequests);
}

std::string StageName(const ::testing::TestParamInfo<int>& info)
{
    const char* const names[] = {"Identify", "AlarmCode", "Acknowledge", "HangUp"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Cpc, CpcStage, ::testing::Range(0, 4), StageName);
INSTANTIATE_TEST_SUITE_P(Cpc, CpcStageBeforeAck, ::testing::Range(0, 3), StageName);

// Once the telephone has acknowledged a battery or test alarm it considers
// the alarm delivered and never sends it again, so the station hands it over
// whatever becomes of the hang-up; the failed hang-up is only logged.
struct HangUpCase {
    const char* name;
    uint8_t msgType;
    std::vector<int16_t> results;  // SendReceive results for the hang-up; ack/nack below
    int16_t hangUpAnswer;          // -1: none; else the acknowledge flag of the answer
    std::vector<std::string> hangUpLog;
};

void PrintTo(const HangUpCase& c, std::ostream* out)
{
    *out << c.name;
}

class CpcHangUp : public CpcProtComTest, public ::testing::WithParamInterface<HangUpCase> {};

TEST_P(CpcHangUp, AcknowledgedAlarmIsHandedOverWhateverTheHangUpReturns)
{
    const HangUpCase& c = GetParam();
    line.Answer(Identification());
    line.Answer(Alarm(c.msgType, c.msgType == TELMSG_OP_FAIL ? 2 : 0));
    line.Answer(Ack());
    for (int16_t result : c.results)
        line.Answer(result);
    if (c.hangUpAnswer >= 0)
        line.Answer(Ack(c.hangUpAnswer));

    EXPECT_EQ(Receive(), PROTCOM_RMRET_ALARM);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->msgType, c.msgType);
    EXPECT_EQ(out->idCode, "12345678");
    EXPECT_EQ(out->value, kModel);
    const std::vector<Request> ackOther{Cpc(CPC_REQ_ID), Cpc(CPC_REQ_ALARMCODE), Cpc(CPC_REQ_ACK_OTHER)};
    const size_t hangUps = c.hangUpAnswer >= 0 ? c.results.size() + 1 : c.results.size();
    EXPECT_EQ(line.requests, Repeat(ackOther, Cpc(CPC_REQ_DISCONNECT), static_cast<int>(hangUps)));
    const std::vector<std::string> texts = log.Texts(kSource);
    ASSERT_GE(texts.size(), c.hangUpLog.size());
    EXPECT_EQ(std::vector<std::string>(texts.end() - static_cast<long>(c.hangUpLog.size()), texts.end()), c.hangUpLog);

    // The next call starts a new exchange from the identification.
    line.requests.clear();
    out.reset();
    AnswerBatteryUpTo(4);
    EXPECT_EQ(Receive(), PROTCOM_RMRET_ALARM);
    EXPECT_EQ(line.requests, kBatteryRequests);
}

INSTANTIATE_TEST_SUITE_P(Cpc, CpcHangUp,
                         ::testing::Values(HangUpCase{"BatteryHangUpNeverAnswered",
                                                      TELMSG_OP_FAIL,
                                                      {TELHND_SRRET_START_TIMEOUT, TELHND_SRRET_RETRIES_EXCEEDED},
                                                      -1,
                                                      {"CPCPROTCOM_RMST_SEND_DISCONNECT: Error/Timeout",
                                                       "CPCPROTCOM_RMST_SEND_DISCONNECT: Error/Timeout"}},
                                           HangUpCase{"TestAlarmHangUpNeverAnswered",
                                                      TELMSG_TEST,
                                                      {TELHND_SRRET_START_TIMEOUT, TELHND_SRRET_START_TIMEOUT},
                                                      -1,
                                                      {"CPCPROTCOM_RMST_SEND_DISCONNECT: Error/Timeout",
                                                       "CPCPROTCOM_RMST_SEND_DISCONNECT: Error/Timeout"}},
                                           HangUpCase{"HangUpRefused",
                                                      TELMSG_OP_FAIL,
                                                      {},
                                                      0,
                                                      {"CPCPROTCOM_RMST_SEND_DISCONNECT: TELHND_SRRET_RECEIVE_OK",
                                                       "Invalid message type or Nack"}},
                                           HangUpCase{"HangUpAnsweredWithNothing",
                                                      TELMSG_TEST,
                                                      {TELHND_SRRET_RECEIVE_OK},
                                                      -1,
                                                      {"CPCPROTCOM_RMST_SEND_DISCONNECT: TELHND_SRRET_RECEIVE_OK",
                                                       "Invalid message type or Nack"}},
                                           HangUpCase{"HangUpComError",
                                                      TELMSG_OP_FAIL,
                                                      {TELHND_SRRET_COM_ERROR},
                                                      -1,
                                                      {"CPCPROTCOM_RMST_SEND_DISCONNECT: TELHND_SRRET_COM_ERROR"}}),
                         [](const ::testing::TestParamInfo<HangUpCase>& info) { return std::string(info.param.name); });

struct WrongAnswerCase {
    const char* name;
    int stage;  // the battery stage that gets the wrong answer
    std::unique_ptr<CTelHandlerMsg> (*answer)();
    const char* lastLog;
};

class CpcWrongAnswer : public CpcProtComTest, public ::testing::WithParamInterface<WrongAnswerCase> {};

TEST_P(CpcWrongAnswer, EndsWithReceiveErrorAndNoAlarm)
{
    const WrongAnswerCase& c = GetParam();
    AnswerBatteryUpTo(c.stage);
    line.Answer(c.answer());

    EXPECT_EQ(Receive(), PROTCOM_RMRET_RECEIVE_ERROR);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(line.requests, std::vector<Request>(kBatteryRequests.begin(), kBatteryRequests.begin() + c.stage + 1));
    EXPECT_EQ(log.Texts(kSource).back(), c.lastLog);
}

INSTANTIATE_TEST_SUITE_P(
    Cpc, CpcWrongAnswer,
    ::testing::Values(
        WrongAnswerCase{"AckInsteadOfIdentification", 0, [] { return Ack(); },
                        "CPCPROTCOM_RMST_REQ_ID: TELHND_SRRET_RECEIVE_OK"},
        WrongAnswerCase{"NoMessageInsteadOfIdentification", 0, [] { return std::unique_ptr<CTelHandlerMsg>(); },
                        "CPCPROTCOM_RMST_REQ_ID: TELHND_SRRET_RECEIVE_OK"},
        WrongAnswerCase{"IdentificationInsteadOfAlarm", 1, [] { return Identification(); }, "Unknown message type"},
        WrongAnswerCase{"AlarmCode11", 1, [] { return Alarm(0); }, "Unknown message type"},
        WrongAnswerCase{"NoMessageInsteadOfAlarm", 1, [] { return std::unique_ptr<CTelHandlerMsg>(); },
                        "Unknown message type"},
        WrongAnswerCase{"NackOfTheAlarm", 2, [] { return Ack(0); }, "Invalid message type or Nack"},
        WrongAnswerCase{"IdentificationInsteadOfAck", 2, [] { return Identification(); },
                        "Invalid message type or Nack"}),
    [](const ::testing::TestParamInfo<WrongAnswerCase>& info) { return std::string(info.param.name); });

TEST_F(CpcProtComTest, TimeUpdateIsDueEvery170CallsAfterTheVoiceAck)
{
    line.Answer(Identification());
    line.Answer(Alarm(TELMSG_VOICE));
    line.Answer(Ack());
    ASSERT_EQ(Receive(), PROTCOM_RMRET_VOICE_ALARM);

    // The countdown decides; the seconds left of the call do not.
    int16_t remaining = 300;
    for (int i = 0; i < 170; ++i)
        ASSERT_FALSE(prot.IsTimeUpdateDue(remaining--)) << "call " << i + 1;
    EXPECT_TRUE(prot.IsTimeUpdateDue(remaining--));
    for (int i = 0; i < 169; ++i)
        ASSERT_FALSE(prot.IsTimeUpdateDue(0)) << "call " << i + 1 << " after the first update";
    EXPECT_TRUE(prot.IsTimeUpdateDue(0));
}

// SendDisconnect and SendTimeUpdate: one acknowledged request each.
struct CommandCase {
    const char* name;
    int16_t (CCpcProtCom::*operation)();
    int16_t request;
    const char* source;
    const char* prefix;
    int16_t done, nack, timeout, comError;
};

const CommandCase kDisconnect{"Disconnect",
                              &CCpcProtCom::SendDisconnect,
                              CPC_REQ_DISCONNECT,
                              "CCpcProtCom::SendDisconnect",
                              "CPCPROTCOM_SDST_SEND: ",
                              PROTCOM_SDRET_DONE,
                              PROTCOM_SDRET_RECEIVE_ERROR,
                              PROTCOM_SDRET_RECEIVE_TIMEOUT,
                              PROTCOM_SDRET_COM_ERROR};
const CommandCase kTimeUpdate{"TimeUpdate",
                              &CCpcProtCom::SendTimeUpdate,
                              CPC_REQ_TIME_UPDATE,
                              "CCpcProtCom::SendTimeUpdate",
                              "CPCPROTCOM_STST_SEND: ",
                              PROTCOM_STRET_DONE,
                              PROTCOM_STRET_RECEIVE_ERROR,
                              PROTCOM_STRET_RECEIVE_TIMEOUT,
                              PROTCOM_STRET_COM_ERROR};

class CpcCommand : public CpcProtComTest, public ::testing::WithParamInterface<CommandCase> {
protected:
    const CommandCase& c = GetParam();
    int16_t Run()
    {
        return RunToResult([this] { return (prot.*c.operation)(); });
    }
    std::vector<std::string> Texts() const { return log.Texts(c.source); }
};

TEST_P(CpcCommand, AckIsDoneAndNackIsReceiveError)
{
    line.Answer(Ack());
    EXPECT_EQ(Run(), c.done);
    line.Answer(Ack(0));
    EXPECT_EQ(Run(), c.nack);
    line.Answer(TELHND_SRRET_RECEIVE_OK);  // no message at all
    EXPECT_EQ(Run(), c.nack);

    EXPECT_EQ(line.requests, std::vector<Request>(3, Cpc(c.request)));
    EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(c.prefix) + "TELHND_SRRET_RECEIVE_OK - Ack OK",
                                                 std::string(c.prefix) + "TELHND_SRRET_RECEIVE_OK - Nack",
                                                 std::string(c.prefix) + "TELHND_SRRET_RECEIVE_OK - Nack"}));
}

TEST_P(CpcCommand, TriesTwiceOnErrors)
{
    line.Answer(TELHND_SRRET_RETRIES_EXCEEDED);
    line.Answer(Ack());
    EXPECT_EQ(Run(), c.done);
    EXPECT_EQ(line.requests.size(), 2u);

    line.Answer(TELHND_SRRET_START_TIMEOUT);
    line.Answer(TELHND_SRRET_START_TIMEOUT);
    EXPECT_EQ(Run(), c.timeout);
    EXPECT_EQ(line.requests.size(), 4u);
    EXPECT_EQ(Texts().back(), std::string(c.prefix) + "Error/Timeout");
}

TEST_P(CpcCommand, ComErrorEndsAtOnce)
{
    line.Answer(TELHND_SRRET_MSG_TIMEOUT);  // intermediate: the wait goes on
    line.Answer(TELHND_SRRET_COM_ERROR);
    EXPECT_EQ(Run(), c.comError);
    EXPECT_EQ(line.requests, std::vector<Request>{Cpc(c.request)});
    EXPECT_EQ(Texts(), std::vector<std::string>{std::string(c.prefix) + "TELHND_SRRET_COM_ERROR"});
}

INSTANTIATE_TEST_SUITE_P(Cpc, CpcCommand, ::testing::Values(kDisconnect, kTimeUpdate),
                         [](const ::testing::TestParamInfo<CommandCase>& info) {
                             return std::string(info.param.name);
                         });

// The telephone side can be stopped in the middle of a call (a settings
// restart). The next start binds the protocol to the handler again, and the
// next caller must get a dialogue of its own: from the identification, with
// its own alarm, and with every try of the commands.
TEST_F(CpcProtComTest, InitStartsEveryDialogueAfresh)
{
    auto stoppedAfter = [&](int stage) {
        SCOPED_TRACE("stopped after stage " + std::to_string(stage));
        CCpcProtCom cut;
        FakeTelLine first;
        cut.Init(&first, true, log.File());
        for (int s = 0; s < stage; ++s)
            first.Answer(BatteryAnswer(s));
        for (int i = 0; i <= stage + 1; ++i)
            ASSERT_EQ(cut.ReceiveMsg(out), PROTCOM_RMRET_BUSY);
        ASSERT_EQ(first.requests.size(), static_cast<size_t>(stage + 1));  // the next request is waiting
        ASSERT_TRUE(first.ScriptUsedUp());

        FakeTelLine next;  // the handler's own requests start afresh with it
        cut.Init(&next, true, log.File());
        next.Answer(Identification(9));
        next.Answer(Alarm(TELMSG_TEST));
        next.Answer(Ack());
        next.Answer(Ack());
        EXPECT_EQ(RunToResult([&] { return cut.ReceiveMsg(out); }), PROTCOM_RMRET_ALARM);
        EXPECT_EQ(next.requests, kBatteryRequests);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out->msgType, TELMSG_TEST);
        EXPECT_EQ(out->value, 9);
        out.reset();
    };
    for (int stage = 1; stage <= 3; ++stage)
        stoppedAfter(stage);

    // A hang-up and a time update that had used a try each get both again.
    auto commandStopped = [&](bool timeUpdate) {
        SCOPED_TRACE(timeUpdate ? "time update" : "hang-up");
        CCpcProtCom cut;
        FakeTelLine first;
        cut.Init(&first, true, log.File());
        auto command = [&] { return timeUpdate ? cut.SendTimeUpdate() : cut.SendDisconnect(); };
        first.Answer(TELHND_SRRET_START_TIMEOUT);
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(command(), 0);
        ASSERT_EQ(first.requests.size(), 2u);  // the repeat is waiting

        FakeTelLine next;
        cut.Init(&next, true, log.File());
        next.Answer(TELHND_SRRET_START_TIMEOUT);
        next.Answer(Ack());
        EXPECT_EQ(RunToResult(command), timeUpdate ? PROTCOM_STRET_DONE : PROTCOM_SDRET_DONE);
        EXPECT_EQ(next.requests.size(), 2u);
    };
    commandStopped(false);
    commandStopped(true);
}

TEST(CpcProtCom, NoRedirectAndNoLineMeansComError)
{
    CCpcProtCom prot;
    EXPECT_FALSE(prot.SupportsRedirect());
    EXPECT_EQ(prot.SendRedirect(0), PROTCOM_SDRET_DONE);

    // Not bound to a telephone handler: the exchange fails instead of crashing.
    std::unique_ptr<CTelHandlerMsg> out;
    EXPECT_EQ(RunToResult([&] { return prot.ReceiveMsg(out); }), PROTCOM_RMRET_COM_ERROR);
    EXPECT_EQ(RunToResult([&] { return prot.SendDisconnect(); }), PROTCOM_SDRET_COM_ERROR);
}

}  // namespace
