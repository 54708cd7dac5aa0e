#include "protocols/CpcInfo.h"

#include "protocols/FakeTelLine.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A 0x8E answer frame (frames cannot be copied, hence the pointer).
std::unique_ptr<CComMsg> AnswerFrame(const std::vector<int>& digits)
{
    auto frame = std::make_unique<CComMsg>(LNK_FRAME);
    frame->SetCommand(CMD_CPC_DATA);
    for (size_t i = 0; i < digits.size(); ++i)
        frame->SetPayload(static_cast<int>(i), static_cast<uint8_t>(digits[i]));
    frame->SetLength(static_cast<int16_t>(digits.size()));
    return frame;
}

std::vector<int> Concat(std::vector<int> head, const std::vector<int>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

const std::vector<int> kId8{1, 2, 3, 4, 5, 6, 7, 8};
const std::vector<int> kId7{9, 8, 7, 6, 5, 4, 3};
const std::vector<int> kId6{0, 0, 4, 2, 0, 9};

TEST(CpcInfoEncode, EveryRequestGivesItsDigits)
{
    struct Case {
        int16_t request;
        std::vector<uint8_t> digits;
    };
    const Case cases[] = {
        {CPC_REQ_ID, {0, 2, 1}},
        {CPC_REQ_ALARMCODE, {0, 3}},
        {CPC_REQ_ACK_VOICE, {0, 5, 1}},
        {CPC_REQ_ACK_OTHER, {0, 5, 2}},
        {CPC_REQ_DISCONNECT, {0, 6, 0, 1}},
        {CPC_REQ_TIME_UPDATE, {0, 6, 0, 7}},
        {-1, {}},
        {6, {}},
        {255, {}},
    };
    const CCpcInfo codec;
    for (const Case& c : cases) {
        SCOPED_TRACE("request " + std::to_string(c.request));
        CComMsg frame(LNK_SEND);
        codec.Encode(frame, c.request);
        EXPECT_EQ(frame.GetCommand(), CMD_CPC_REQUEST);
        ASSERT_EQ(frame.GetLength(), static_cast<int16_t>(c.digits.size()));
        std::vector<uint8_t> digits;
        for (int i = 0; i < frame.GetLength(); ++i)
            digits.push_back(frame.GetPayload(i));
        EXPECT_EQ(digits, c.digits);
    }
}

TEST(CpcInfoEncode, LogsTheDigits)
{
    TempDir dir;
    dir.WorkIn();
    ProtocolLog log;
    CComMsg frame(LNK_SEND);
    CCpcInfo(log.File()).Encode(frame, CPC_REQ_TIME_UPDATE);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"CCpcInfo::Encode: 0 6 0 7 "}));
}

struct AnswerCase {
    const char* name;
    std::vector<int> digits;
    uint8_t msgType;
    int16_t value;
    std::string idCode;
    int16_t ofType;
};

class CpcInfoAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(CpcInfoAnswers, DecodeToTheirMessage)
{
    const AnswerCase& c = GetParam();
    const auto msg = CCpcInfo().Decode(*AnswerFrame(c.digits));
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(msg->GetType(), TEL_ALARM);
    EXPECT_EQ(msg->protocol, TELPROT_CPC);
    EXPECT_EQ(msg->msgType, c.msgType);
    EXPECT_EQ(msg->value, c.value);
    EXPECT_EQ(msg->idCode, c.idCode);
    EXPECT_EQ(msg->idType, c.idCode.empty() ? 0 : 1);
    EXPECT_EQ(msg->ofType, c.ofType);
    EXPECT_EQ(msg->modelCode, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cpc, CpcInfoAnswers,
    ::testing::Values(AnswerCase{"Ack", {0, 1, 1}, TELMSG_CPC_ACK, 1, "", 0},
                      AnswerCase{"Nack", {0, 1, 0}, TELMSG_CPC_ACK, 0, "", 0},
                      // The flag digit is missing: it reads as 0, a Nack.
                      AnswerCase{"AckWithoutFlag", {0, 1}, TELMSG_CPC_ACK, 0, "", 0},
                      AnswerCase{"Identification", {0, 2, 5}, TELMSG_CPC_ID, 5, "", 0},
                      AnswerCase{"IdentificationModel15", {0, 2, 15}, TELMSG_CPC_ID, 15, "", 0},
                      AnswerCase{"Voice10", Concat({0, 4, 1, 0}, kId8), TELMSG_VOICE, 0, "12345678", 0},
                      AnswerCase{"Voice27", Concat({0, 4, 2, 7}, kId6), TELMSG_VOICE, 0, "004209", 0},
                      AnswerCase{"Battery17", Concat({0, 4, 1, 7}, kId7), TELMSG_OP_FAIL, 0, "9876543", 2},
                      AnswerCase{"Test26", Concat({0, 4, 2, 6}, kId8), TELMSG_TEST, 0, "12345678", 0},
                      // Decoded, but with no message type; the dialogue rejects it.
                      AnswerCase{"OtherCode11", Concat({0, 4, 1, 1}, kId8), 0, 0, "12345678", 0}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST(CpcInfoDecode, DigitsBeyondTheCountReadAsZero)
{
    // The payload holds more bytes than the count says; only the count counts.
    const auto ack = AnswerFrame({0, 1, 1});
    ack->SetLength(2);
    const auto nack = CCpcInfo().Decode(*ack);
    ASSERT_NE(nack, nullptr);
    EXPECT_EQ(nack->value, 0);

    const auto alarm = AnswerFrame(Concat(Concat({0, 4, 2, 6}, kId6), {7, 7, 7}));
    alarm->SetLength(10);
    const auto test = CCpcInfo().Decode(*alarm);
    ASSERT_NE(test, nullptr);
    EXPECT_EQ(test->idCode, "004209");
}

// The frame's count is the digit count unless a case says otherwise.
constexpr int kDigitCount = -1000;

struct InvalidCase {
    const char* name;
    std::vector<int> digits;
    int length = kDigitCount;
};

class CpcInfoInvalid : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(CpcInfoInvalid, YieldNoMessage)
{
    const InvalidCase& c = GetParam();
    const auto frame = AnswerFrame(c.digits);
    if (c.length != kDigitCount)
        frame->SetLength(static_cast<int16_t>(c.length));
    EXPECT_EQ(CCpcInfo().Decode(*frame), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cpc, CpcInfoInvalid,
    ::testing::Values(InvalidCase{"Empty", {}}, InvalidCase{"Kind0", {0, 0, 1}}, InvalidCase{"Kind3", {0, 3}},
                      InvalidCase{"Kind5", {0, 5, 1}}, InvalidCase{"Kind11", {1, 1, 1}},
                      InvalidCase{"AckFlag2", {0, 1, 2}}, InvalidCase{"AckFlag15", {0, 1, 15}},
                      InvalidCase{"AlarmWithoutIdentity", {0, 4, 1, 0}},
                      InvalidCase{"Identity5Digits", Concat({0, 4, 1, 0}, {1, 2, 3, 4, 5})},
                      InvalidCase{"Identity9Digits", Concat({0, 4, 1, 0}, {1, 2, 3, 4, 5, 6, 7, 8, 9})},
                      InvalidCase{"IdentityDigit10", Concat({0, 4, 1, 7}, {1, 2, 3, 10, 5, 6, 7, 8})},
                      InvalidCase{"IdentityDigit15", Concat({0, 4, 2, 6}, {1, 2, 3, 4, 5, 15})},
                      // Bytes above 15 are no CPC digits, even where 8-bit arithmetic
                      // would make a known answer of them (25 * 10 + 7 = 257 = 1 + 256).
                      InvalidCase{"ByteAbove15LooksLikeAck", {25, 7, 1}},
                      InvalidCase{"ByteAbove15InAlarmCode", Concat({0, 4, 26, 6}, kId8)},
                      // Counts the frame cannot carry.
                      InvalidCase{"NegativeCount", {0, 1, 1}, -1}, InvalidCase{"CountBeyondTheFrame", {0, 1, 1}, 300}),
    [](const ::testing::TestParamInfo<InvalidCase>& info) { return std::string(info.param.name); });

TEST(CpcInfoDecode, LogsTheDigitsInHexAndTheRejection)
{
    TempDir dir;
    dir.WorkIn();
    ProtocolLog log;
    EXPECT_EQ(CCpcInfo(log.File()).Decode(*AnswerFrame({0, 4, 1, 0, 1, 2, 3, 4, 5, 10})), nullptr);
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"CCpcInfo::Decode: 0 4 1 0 1 2 3 4 5 A ", "CCpcInfo::Decode: Invalid answer"}));
}

}  // namespace
