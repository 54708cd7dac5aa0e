// Request and answer conversion between the telephone handler and the modem
// link frames.

#include "tel/TelInfo.h"

#include "core/ThreadQueue.h"
#include "tel/FakeLink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The link's side: collects the frames.
struct LinkInbox : CMsgReceiver {
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override { queue.Add(std::move(msg)); }
    std::unique_ptr<CComMsg> Take()
    {
        std::unique_ptr<CMsg> msg = queue.Get();
        auto* frame = dynamic_cast<CComMsg*>(msg.get());
        if (!frame)
            return nullptr;
        msg.release();
        return std::unique_ptr<CComMsg>(frame);
    }
    CThreadQueue queue;
};

class TelInfoTest : public testing::Test {
protected:
    void SetUp() override { info.Init(&link, nullptr); }

    LinkInbox link;
    CTelInfo info;
};

struct RequestCase {
    const char* name;
    uint16_t type;
    int32_t value;
    int16_t param;
    int32_t param0;
    std::vector<uint8_t> data;
    uint8_t command;
    std::vector<uint8_t> payload;
};

TEST_F(TelInfoTest, EveryRequestTypeBecomesItsFrame)
{
    const std::vector<RequestCase> cases = {
        {"seize line", TELREQ_LINE_CONTROL, 1, 0, 0, {}, 0x82, {1}},
        {"release line", TELREQ_LINE_CONTROL, 0, 0, 0, {}, 0x82, {0}},
        {"0x83", TELREQ_0x83, 0, 0, 0, {}, 0x83, {}},
        {"send data", TELREQ_SEND_DATA, 0, 0, 0, {0x03, 0x10, 0x0F}, 0x84, {0x03, 0x10, 0x0F}},
        {"0x85", TELREQ_0x85, 0, 0, 0, {}, 0x85, {}},
        {"P100 start", TELREQ_P100_START, 0, 3, 0, {}, 0x87, {3}},
        {"0x89", TELREQ_0x89, 0, 0, 0, {}, 0x89, {}},
        {"identify", TELREQ_IDENTIFY, 0, 0, 0, {}, 0x8A, {}},
        {"reset", TELREQ_RESET, 0, 0, 0, {}, 0x8B, {}},
        {"0x8C", TELREQ_0x8C, 0, 0, 0, {}, 0x8C, {}},
        {"voice notify on", TELREQ_VOICE_NOTIFY, 1, 0, 0, {}, 0x8D, {1}},
        {"voice notify off", TELREQ_VOICE_NOTIFY, 0, 0, 0, {}, 0x8D, {0}},
        {"0x8E", TELREQ_0x8E, 0, 0, 0, {}, 0x8E, {}},
        {"CPC hang-up", TELREQ_CPC, 0, 4, 0, {}, 0x8F, {0, 6, 0, 1}},
        {"CPC identify", TELREQ_CPC, 0, 0, 0, {}, 0x8F, {0, 2, 1}},
        {"relay", TELREQ_RELAY, 1, 1, 0, {}, 0x90, {1, 1}},
        {"wireless net", TELREQ_WIRELESS_NET, 0, 5, 0, {}, 0x91, {5, 0}},
    };
    for (const RequestCase& c : cases) {
        auto request = std::make_unique<CTelMsg>(c.type);
        request->value = c.value;
        request->param = c.param;
        request->params[0] = c.param0;
        for (size_t i = 0; i < c.data.size(); ++i)
            request->data[i] = c.data[i];
        request->length = static_cast<int16_t>(c.data.size());
        info.ConvertRequest(std::move(request));

        std::unique_ptr<CComMsg> frame = link.Take();
        ASSERT_NE(frame, nullptr) << c.name;
        EXPECT_EQ(frame->GetType(), LNK_SEND) << c.name;
        EXPECT_EQ(frame->GetCommand(), c.command) << c.name;
        EXPECT_EQ(frame->GetStatusByte(), 0) << c.name;
        EXPECT_EQ(Payload(*frame), c.payload) << c.name;
        EXPECT_EQ(link.queue.GetCount(), 0u) << c.name;
    }
}

TEST_F(TelInfoTest, RequestsWithoutAFrameSendNothing)
{
    for (uint16_t type : {uint16_t{4}, uint16_t{6}, uint16_t{16}, uint16_t{45}})
        info.ConvertRequest(std::make_unique<CTelMsg>(type));
    // Data that does not fit one frame is refused whole, never cut short.
    auto tooLong = std::make_unique<CTelMsg>(TELREQ_SEND_DATA);
    tooLong->length = CComMsg::kMaxPayload + 1;
    info.ConvertRequest(std::move(tooLong));
    EXPECT_EQ(link.queue.GetCount(), 0u);

    auto full = std::make_unique<CTelMsg>(TELREQ_SEND_DATA);
    full->length = CComMsg::kMaxPayload;
    full->data[CComMsg::kMaxPayload - 1] = 0x0F;
    info.ConvertRequest(std::move(full));
    std::unique_ptr<CComMsg> frame = link.Take();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->GetLength(), CComMsg::kMaxPayload);
    EXPECT_EQ(frame->GetPayload(CComMsg::kMaxPayload - 1), 0x0F);
}

struct AnswerCase {
    const char* name;
    uint8_t command;
    std::vector<uint8_t> payload;
    int expectedType;  // -1: no answer
};

TEST_F(TelInfoTest, EveryCommandGivesItsAnswer)
{
    const std::vector<AnswerCase> cases = {
        {"P100 message", 0x86, {0, 8, 1, 2, 3, 4, 5, 6, 7, 8}, TELANS_ALARM},
        {"P100 message, wrong count", 0x86, {0, 7, 1, 2, 3, 4, 5, 6, 7}, TELANS_START_TIMEOUT},
        {"start time-out", 0x87, {}, TELANS_START_TIMEOUT},
        {"retries exceeded", 0x88, {}, TELANS_RETRIES_EXCEEDED},
        {"message time-out", 0x89, {}, TELANS_MSG_TIMEOUT},
        {"checksum error", 0x8A, {}, TELANS_CHECKSUM_ERROR},
        {"timing error", 0x8B, {}, TELANS_TIMING_ERROR},
        {"identification", 0x8D, {1, 0x42, 0x0A, 12, 3, 1}, TELANS_SWHW_INFO},
        {"CPC answer", 0x8E, {0, 4, 1, 0, 1, 2, 3, 4, 5, 6}, TELANS_ALARM},
        {"CPC answer, invalid", 0x8E, {0, 9}, -1},
        {"CPC request failed", 0x8F, {}, TELANS_RETRIES_EXCEEDED},
        {"relay", 0x90, {}, TELANS_START_TIMEOUT},
        {"discard", 0x97, {1, 2, 3}, -1},
        {"poll", 0x81, {}, -1},
        {"send data", 0x84, {}, -1},
        {"unused code", 0x92, {}, -1},
    };
    for (const AnswerCase& c : cases) {
        auto frame = LinkFrame(c.command, {});
        for (size_t i = 0; i < c.payload.size(); ++i)
            frame->SetPayload(static_cast<int>(i), c.payload[i]);
        frame->SetLength(static_cast<int16_t>(c.payload.size()));
        std::unique_ptr<CTelMsg> answer = info.ConvertAnswer(*frame);
        if (c.expectedType < 0) {
            EXPECT_EQ(answer, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(answer, nullptr) << c.name;
        EXPECT_EQ(answer->GetType(), c.expectedType) << c.name;
        EXPECT_EQ(answer->alarm != nullptr, c.expectedType == TELANS_ALARM) << c.name;
        EXPECT_EQ(answer->info != nullptr, c.expectedType == TELANS_SWHW_INFO) << c.name;
    }
}

TEST_F(TelInfoTest, DecodedAlarmsCarryTheirProtocol)
{
    std::unique_ptr<CTelMsg> p100 = info.ConvertAnswer(*LinkFrame(0x86, {0, 8, 1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_TRUE(p100 && p100->alarm);
    EXPECT_EQ(p100->alarm->GetType(), TEL_ALARM);
    EXPECT_EQ(p100->alarm->protocol, TELPROT_P100);
    EXPECT_EQ(p100->alarm->msgType, TELMSG_P100_ALARM);
    EXPECT_EQ(p100->alarm->idCode, "12345678");

    std::unique_ptr<CTelMsg> cpc = info.ConvertAnswer(*LinkFrame(0x8E, {0, 4, 1, 0, 1, 2, 3, 4, 5, 6}));
    ASSERT_TRUE(cpc && cpc->alarm);
    EXPECT_EQ(cpc->alarm->protocol, TELPROT_CPC);
    EXPECT_EQ(cpc->alarm->msgType, TELMSG_VOICE);
    EXPECT_EQ(cpc->alarm->idCode, "123456");
}

TEST_F(TelInfoTest, IdentificationFields)
{
    std::unique_ptr<CTelMsg> answer = info.ConvertAnswer(*LinkFrame(0x8D, {0x01, 0x50, 0x0A, 12, 3, 2}));
    ASSERT_TRUE(answer && answer->info);
    EXPECT_EQ(answer->info->swVersion, 0x0150);
    EXPECT_EQ(answer->info->swInfo, 0x0A);
    EXPECT_EQ(answer->info->modelId, 12);
    EXPECT_EQ(answer->info->hwVersion, 3);
    EXPECT_EQ(answer->info->interfaceType, 2);

    // Bytes the modem did not send read as 0, whatever the buffer holds.
    auto shortFrame = LinkFrame(0x8D, {0x01, 0x42, 0x0A, 12, 3, 1});
    shortFrame->SetLength(3);
    answer = info.ConvertAnswer(*shortFrame);
    ASSERT_TRUE(answer && answer->info);
    EXPECT_EQ(answer->info->swVersion, 0x0142);
    EXPECT_EQ(answer->info->swInfo, 0x0A);
    EXPECT_EQ(answer->info->modelId, 0);
    EXPECT_EQ(answer->info->interfaceType, 0);
}

TEST_F(TelInfoTest, SimulatedP100FramesDecodeOrGiveNothing)
{
    std::unique_ptr<CTelHandlerMsg> msg =
        info.DecodeP100(*LinkFrame(0x86, {3, 8, 8, 7, 6, 5, 4, 3, 2, 1}, TEL_SIMULATE_P100));
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(msg->msgType, TELMSG_TEST);
    EXPECT_EQ(msg->idCode, "87654321");

    EXPECT_EQ(info.DecodeP100(*LinkFrame(0x86, {9, 8, 1, 2, 3, 4, 5, 6, 7, 8}, TEL_SIMULATE_P100)), nullptr);
}

}  // namespace
