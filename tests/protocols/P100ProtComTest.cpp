#include "protocols/P100ProtCom.h"

#include "protocols/FakeTelLine.h"
#include "support/FakeTickSource.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kSource = "CP100ProtCom::ReceiveMsg";

using Request = FakeTelLine::Request;

Request Start(int16_t attempt)
{
    return {TELHND_SR_P100_START, attempt};
}

std::vector<Request> Starts(std::initializer_list<int16_t> attempts)
{
    std::vector<Request> requests;
    for (int16_t attempt : attempts)
        requests.push_back(Start(attempt));
    return requests;
}

std::unique_ptr<CTelHandlerMsg> Message(uint8_t msgType, std::string idCode = "12345678")
{
    auto msg = std::make_unique<CTelHandlerMsg>(TEL_ALARM);
    msg->protocol = TELPROT_P100;
    msg->msgType = msgType;
    msg->idCode = std::move(idCode);
    msg->idType = msg->idCode.empty() ? 0 : 1;
    return msg;
}

std::unique_ptr<CTelHandlerMsg> UserData(std::vector<uint8_t> bytes)
{
    auto msg = Message(TELMSG_USER_DATA, "");
    msg->idType = 1;
    std::copy(bytes.begin(), bytes.end(), msg->userData.begin());
    msg->userDataLen = static_cast<int16_t>(bytes.size());
    return msg;
}

class P100ProtComTest : public ::testing::Test {
protected:
    P100ProtComTest()
    {
        dir.WorkIn();
        prot.Init(&line, true, log.File());
    }

    int16_t Receive()
    {
        return RunToResult([this] { return prot.ReceiveMsg(out); });
    }
    std::vector<std::string> Texts() const { return log.Texts(kSource); }
    long CountLog(const std::string& text) const
    {
        const std::vector<std::string> texts = Texts();
        return std::count(texts.begin(), texts.end(), text);
    }

    // Calls step, moving the clock 10 ms after every busy call, until a final
    // result; the result and the tick it came at.
    std::pair<int16_t, uint32_t> RunTimed(const std::function<int16_t()>& step)
    {
        for (int i = 0; i < 10000; ++i) {
            if (const int16_t result = step())
                return {result, clock.GetTickCount()};
            clock.Advance(10);
        }
        ADD_FAILURE() << "still busy after 100 s";
        return {0, clock.GetTickCount()};
    }

    TempDir dir;
    FakeTickSource clock{50000};
    ProtocolLog log;
    FakeTelLine line;
    CP100ProtCom prot;
    std::unique_ptr<CTelHandlerMsg> out;
};

TEST_F(P100ProtComTest, AlarmsAreHandedOverAfterOneStartRequest)
{
    struct Case {
        uint8_t msgType;
        int16_t result;
        const char* log;
    };
    const Case cases[] = {
        {TELMSG_P100_ALARM, PROTCOM_RMRET_ALARM, "MsgType: 1, ID: 12345678, IdType: 1, ModelCode: 0, OfType: 0"},
        {TELMSG_OP_FAIL, PROTCOM_RMRET_ALARM, "MsgType: 3, ID: 12345678, IdType: 1, ModelCode: 0, OfType: 2"},
        {TELMSG_TEST, PROTCOM_RMRET_ALARM, "MsgType: 4, ID: 12345678, IdType: 1, ModelCode: 0, OfType: 0"},
        {TELMSG_VOICE, PROTCOM_RMRET_VOICE_ALARM, "MsgType: Voice, ID: 12345678, IdType: 1, ModelCode: 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("msgType " + std::to_string(c.msgType));
        auto msg = Message(c.msgType);
        msg->ofType = c.msgType == TELMSG_OP_FAIL ? 2 : 0;
        const CTelHandlerMsg* sent = msg.get();
        line.requests.clear();
        line.Answer(std::move(msg));

        EXPECT_EQ(Receive(), c.result);
        EXPECT_EQ(out.get(), sent);
        EXPECT_EQ(line.requests, Starts({1}));
        const std::vector<std::string> texts = Texts();
        ASSERT_GE(texts.size(), 2u);
        EXPECT_EQ(texts[texts.size() - 2], "P100PROTCOM_RMST_RECEIVE: P100 Message received OK");
        EXPECT_EQ(texts.back(), c.log);
    }
}

TEST_F(P100ProtComTest, ThreeStartTimeoutsWithAttempts123EndTheReception)
{
    for (int i = 0; i < 3; ++i)
        line.Answer(TELHND_SRRET_START_TIMEOUT);

    EXPECT_EQ(Receive(), PROTCOM_RMRET_RECEIVE_TIMEOUT);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(line.requests, Starts({1, 2, 3}));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"P100PROTCOM_RMST_RECEIVE: Start Timeout, retrying",
                                                 "P100PROTCOM_RMST_RECEIVE: Start Timeout, retrying",
                                                 "P100PROTCOM_RMST_RECEIVE: Start Timeout, max exceeded"}));

    // A new reception starts again with attempt 1.
    line.requests.clear();
    line.Answer(Message(TELMSG_TEST));
    EXPECT_EQ(Receive(), PROTCOM_RMRET_ALARM);
    EXPECT_EQ(line.requests, Starts({1}));
}

TEST_F(P100ProtComTest, FinalReportsAndUnusableMessages)
{
    struct Case {
        const char* name;
        int16_t report;
        uint8_t msgType;  // of the message delivered with TELHND_SRRET_RECEIVE_OK; 255: none
        int16_t result;
        const char* log;
    };
    const Case cases[] = {
        {"tries exceeded", TELHND_SRRET_RETRIES_EXCEEDED, 0, PROTCOM_RMRET_RECEIVE_TIMEOUT,
         "P100PROTCOM_RMST_RECEIVE: No of retries exceeded"},
        {"COM error", TELHND_SRRET_COM_ERROR, 0, PROTCOM_RMRET_COM_ERROR,
         "P100PROTCOM_RMST_RECEIVE: Serial communication error"},
        {"message type 0", TELHND_SRRET_RECEIVE_OK, 0, PROTCOM_RMRET_RECEIVE_ERROR, "Unknown message type"},
        {"CPC answer", TELHND_SRRET_RECEIVE_OK, TELMSG_CPC_ACK, PROTCOM_RMRET_RECEIVE_ERROR, "Unknown message type"},
        {"no message", TELHND_SRRET_RECEIVE_OK, 255, PROTCOM_RMRET_RECEIVE_ERROR, "Unknown message type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        line.requests.clear();
        if (c.report == TELHND_SRRET_RECEIVE_OK)
            line.Answer(c.msgType == 255 ? nullptr : Message(c.msgType));
        else
            line.Answer(c.report);

        EXPECT_EQ(Receive(), c.result);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(line.requests, Starts({1}));
        EXPECT_EQ(Texts().back(), c.log);
    }
}

TEST_F(P100ProtComTest, IntermediateReportsKeepWaiting)
{
    for (int16_t report :
         {TELHND_SRRET_PENDING, TELHND_SRRET_MSG_TIMEOUT, TELHND_SRRET_CHECKSUM_ERROR, TELHND_SRRET_TIMING_ERROR})
        line.Answer(report);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(prot.ReceiveMsg(out), PROTCOM_RMRET_BUSY);
    EXPECT_EQ(line.requests, Starts({1}));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"P100PROTCOM_RMST_RECEIVE: Message timeout, retrying",
                                                 "P100PROTCOM_RMST_RECEIVE: Checksum error, retrying",
                                                 "P100PROTCOM_RMST_RECEIVE: Timing error, retrying"}));

    line.Answer(Message(TELMSG_P100_ALARM));
    EXPECT_EQ(Receive(), PROTCOM_RMRET_ALARM);
    EXPECT_EQ(line.requests, Starts({1}));
}

TEST_F(P100ProtComTest, UserIdResetsTheTriesToThree)
{
    line.Answer(TELHND_SRRET_START_TIMEOUT);
    line.Answer(TELHND_SRRET_START_TIMEOUT);
    auto id = Message(TELMSG_USER_ID);
    id->modelCode = 9;
    line.Answer(std::move(id));
    line.Answer(TELHND_SRRET_START_TIMEOUT);
    line.Answer(TELHND_SRRET_START_TIMEOUT);
    line.Answer(TELHND_SRRET_START_TIMEOUT);

    EXPECT_EQ(Receive(), PROTCOM_RMRET_RECEIVE_TIMEOUT);
    EXPECT_EQ(out, nullptr);  // a user id is not handed over
    // The attempt number goes on counting across the user id.
    EXPECT_EQ(line.requests, Starts({1, 2, 3, 3, 4, 5}));
    EXPECT_EQ(CountLog("MsgType: UserId, ID: 12345678, IdType: 1, ModelCode: 9"), 1);
}

TEST_F(P100ProtComTest, UserDataCarriesTheStoredIdentityAndAllowsFifteenTimeouts)
{
    auto id = Message(TELMSG_USER_ID, "87654321");
    id->modelCode = 9;
    line.Answer(std::move(id));
    line.Answer(UserData({0x12, 0xAF}));

    EXPECT_EQ(Receive(), PROTCOM_RMRET_DATA);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->msgType, TELMSG_USER_DATA);
    EXPECT_EQ(out->idCode, "87654321");
    EXPECT_EQ(out->idType, 1);
    EXPECT_EQ(out->modelCode, 9);
    EXPECT_EQ(out->userDataLen, 2);
    EXPECT_EQ(Texts().back(), "MsgType: UserData, Data: 12 AF ");
    out.reset();

    // 14 start time-outs are still tolerated, and more data may come.
    for (int i = 0; i < 14; ++i)
        line.Answer(TELHND_SRRET_START_TIMEOUT);
    line.Answer(UserData({}));
    ASSERT_EQ(Receive(), PROTCOM_RMRET_DATA);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->idCode, "87654321");
    EXPECT_EQ(Texts().back(), "MsgType: UserData, Data: ");

    // After it, the fifteenth time-out in a row ends the reception.
    for (int i = 0; i < 15; ++i)
        line.Answer(TELHND_SRRET_START_TIMEOUT);
    EXPECT_EQ(Receive(), PROTCOM_RMRET_RECEIVE_TIMEOUT);
    EXPECT_EQ(line.requests.size(), 2u + 14u + 1u + 15u);
    EXPECT_TRUE(line.ScriptUsedUp());
}

TEST_F(P100ProtComTest, UserDataWithoutUserIdIsReceiveError)
{
    line.Answer(UserData({0x01}));
    EXPECT_EQ(Receive(), PROTCOM_RMRET_RECEIVE_ERROR);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Texts().back(), "UserData without ID");

    // A user id of an earlier reception does not count.
    line.Answer(Message(TELMSG_USER_ID));
    line.Answer(TELHND_SRRET_RETRIES_EXCEEDED);
    EXPECT_EQ(Receive(), PROTCOM_RMRET_RECEIVE_TIMEOUT);
    line.Answer(UserData({0x01}));
    EXPECT_EQ(Receive(), PROTCOM_RMRET_RECEIVE_ERROR);
    EXPECT_EQ(out, nullptr);
}

TEST_F(P100ProtComTest, DisconnectSendsOneByteAndEndsNoSoonerThan3000ms)
{
    const uint32_t started = clock.GetTickCount();
    line.DataResult(TELHND_SDRET_PENDING);
    line.DataResult(TELHND_SDRET_DONE);

    const auto [result, doneTick] = RunTimed([this] { return prot.SendDisconnect(); });
    EXPECT_EQ(result, PROTCOM_SDRET_DONE);
    ASSERT_EQ(line.sent.size(), 1u);
    EXPECT_EQ(line.sent[0].bytes, std::vector<uint8_t>{0x0F});
    EXPECT_GE(line.sent[0].tick - started, 1000u);
    EXPECT_LT(line.sent[0].tick - started, 1100u);
    EXPECT_GE(doneTick - started, 3000u);
    EXPECT_LT(doneTick - started, 3100u);
    EXPECT_EQ(log.Texts("CP100ProtCom::SendDisconnect"),
              (std::vector<std::string>{"P100PROTCOM_SDST_IDLE", "P100PROTCOM_SDST_SEND: Disconnect OK"}));
}

TEST_F(P100ProtComTest, DisconnectComErrorEndsAndTheNextStartsAfresh)
{
    line.DataResult(TELHND_SDRET_COM_ERROR);
    EXPECT_EQ(RunTimed([this] { return prot.SendDisconnect(); }).first, PROTCOM_SDRET_COM_ERROR);
    EXPECT_EQ(log.Texts("CP100ProtCom::SendDisconnect").back(), "P100PROTCOM_SDST_SEND: Serial communication error");

    const uint32_t started = clock.GetTickCount();
    line.DataResult(TELHND_SDRET_DONE);
    EXPECT_EQ(RunTimed([this] { return prot.SendDisconnect(); }).first, PROTCOM_SDRET_DONE);
    ASSERT_EQ(line.sent.size(), 2u);
    EXPECT_GE(line.sent[1].tick - started, 1000u);
}

TEST_F(P100ProtComTest, RedirectBytesByModeAndTheirTiming)
{
    struct Case {
        int32_t mode;
        std::vector<uint8_t> bytes;
    };
    for (const Case& c : {Case{0, {0x03, 0x10, 0x0F}}, Case{1, {0x03}}, Case{2, {0x03}}}) {
        SCOPED_TRACE("mode " + std::to_string(c.mode));
        line.sent.clear();
        const uint32_t started = clock.GetTickCount();
        line.DataResult(TELHND_SDRET_DONE);

        const auto [result, doneTick] = RunTimed([&] { return prot.SendRedirect(c.mode); });
        EXPECT_EQ(result, PROTCOM_SDRET_DONE);
        ASSERT_EQ(line.sent.size(), 1u);
        EXPECT_EQ(line.sent[0].bytes, c.bytes);
        EXPECT_GE(line.sent[0].tick - started, 1000u);
        EXPECT_LT(line.sent[0].tick - started, 1100u);
        EXPECT_GE(doneTick - line.sent[0].tick, 1000u);
        EXPECT_LT(doneTick - line.sent[0].tick, 1100u);
        EXPECT_EQ(log.Texts("CP100ProtCom::SendRedirect").back(), "P100PROTCOM_SRST_SEND: Redirect Call Sent");
    }

    line.DataResult(TELHND_SDRET_COM_ERROR);
    EXPECT_EQ(RunTimed([this] { return prot.SendRedirect(0); }).first, PROTCOM_SDRET_COM_ERROR);
    EXPECT_EQ(log.Texts("CP100ProtCom::SendRedirect").back(), "P100PROTCOM_SRST_SEND: Serial communication error");
}

// The telephone side can be stopped in the middle of a call (a settings
// restart). The next start binds the protocol to the handler again, and the
// next caller must not inherit anything of the call that was cut off: its
// identity, its start attempts or a half-sent command.
TEST_F(P100ProtComTest, InitStartsTheReceptionAndTheCommandsAfresh)
{
    line.Answer(Message(TELMSG_USER_ID, "11112222"));
    line.Answer(TELHND_SRRET_START_TIMEOUT);
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(prot.ReceiveMsg(out), PROTCOM_RMRET_BUSY);
    ASSERT_EQ(line.requests, Starts({1, 1, 2}));           // the start after the time-out is still waiting
    ASSERT_EQ(prot.SendDisconnect(), PROTCOM_SDRET_BUSY);  // the hang-up was on its way
    clock.Advance(5000);

    FakeTelLine next;  // the handler's own requests start afresh with it
    prot.Init(&next, true, log.File());
    next.Answer(UserData({0x12}));
    EXPECT_EQ(Receive(), PROTCOM_RMRET_RECEIVE_ERROR);
    EXPECT_EQ(next.requests, Starts({1}));
    EXPECT_EQ(Texts().back(), "UserData without ID");
    EXPECT_EQ(out, nullptr);

    next.DataResult(TELHND_SDRET_DONE);
    const uint32_t start = clock.GetTickCount();
    const auto [result, doneTick] = RunTimed([&] { return prot.SendDisconnect(); });
    EXPECT_EQ(result, PROTCOM_SDRET_DONE);
    EXPECT_GE(doneTick - start, 3000u);  // the whole wait before sending, and the delay after
    EXPECT_EQ(log.Texts("CP100ProtCom::SendDisconnect").size(), 3u);  // two starts from idle, one sent
}

TEST_F(P100ProtComTest, RedirectSupportedAndNoTimeUpdates)
{
    EXPECT_TRUE(prot.SupportsRedirect());
    EXPECT_EQ(prot.SendTimeUpdate(), PROTCOM_STRET_DONE);
    EXPECT_FALSE(prot.IsTimeUpdateDue(0));
    EXPECT_TRUE(line.requests.empty());
}

TEST(P100ProtCom, WithoutLineEveryOperationIsComError)
{
    FakeTickSource clock;
    CP100ProtCom prot;
    std::unique_ptr<CTelHandlerMsg> out;
    EXPECT_EQ(RunToResult([&] { return prot.ReceiveMsg(out); }), PROTCOM_RMRET_COM_ERROR);
    auto slowly = [&](auto step) {
        return RunToResult([&] {
            clock.Advance(100);
            return step();
        });
    };
    EXPECT_EQ(slowly([&] { return prot.SendDisconnect(); }), PROTCOM_SDRET_COM_ERROR);
    EXPECT_EQ(slowly([&] { return prot.SendRedirect(1); }), PROTCOM_SDRET_COM_ERROR);
}

}  // namespace
