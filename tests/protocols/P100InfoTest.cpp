#include "protocols/P100Info.h"

#include "protocols/FakeTelLine.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// The length of a frame is its number of P100 characters unless a case says otherwise.
constexpr int kOwnLength = -1000;

// A 0x86 frame; position N is payload byte N (frames cannot be copied, hence the pointer).
std::unique_ptr<CComMsg> P100Frame(const std::vector<int>& positions, int length = kOwnLength)
{
    auto frame = std::make_unique<CComMsg>(LNK_FRAME);
    frame->SetCommand(CMD_P100_DATA);
    for (size_t i = 0; i < positions.size(); ++i)
        frame->SetPayload(static_cast<int>(i), static_cast<uint8_t>(positions[i]));
    frame->SetLength(static_cast<int16_t>(length == kOwnLength ? static_cast<int>(positions.size()) : length));
    return frame;
}

std::vector<int> Concat(std::vector<int> head, const std::vector<int>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

const std::vector<int> kId{1, 2, 3, 4, 5, 6, 7, 8};

std::unique_ptr<CTelHandlerMsg> Decode(const std::vector<int>& positions, int length = kOwnLength)
{
    return CP100Info().Decode(*P100Frame(positions, length));
}

TEST(P100InfoDecode, IdentityMessagesGiveTheirTypeAndIdentity)
{
    struct Case {
        int code;
        uint8_t msgType;
    };
    for (const Case& c :
         {Case{0, TELMSG_P100_ALARM}, Case{1, TELMSG_VOICE}, Case{3, TELMSG_TEST}, Case{4, TELMSG_USER_ID}}) {
        SCOPED_TRACE("code " + std::to_string(c.code));
        const auto msg = Decode(Concat({c.code, 8}, kId));
        ASSERT_NE(msg, nullptr);
        EXPECT_EQ(msg->GetType(), TEL_ALARM);
        EXPECT_EQ(msg->protocol, TELPROT_P100);
        EXPECT_EQ(msg->msgType, c.msgType);
        EXPECT_EQ(msg->idCode, "12345678");
        EXPECT_EQ(msg->idType, 1);
        EXPECT_EQ(msg->modelCode, 0);
        EXPECT_EQ(msg->ofType, 0);
        EXPECT_EQ(msg->userDataLen, 0);
    }
}

TEST(P100InfoDecode, WrongCountsAreInvalid)
{
    for (int code : {0, 1, 3, 4}) {
        for (int count : {0, 7, 9, 11, 15}) {
            SCOPED_TRACE("code " + std::to_string(code) + ", count " + std::to_string(count));
            EXPECT_EQ(Decode(Concat(Concat({code, count}, kId), {0, 0, 0, 0, 0, 0, 0})), nullptr);
        }
    }
    for (int count : {0, 8, 10, 12}) {
        SCOPED_TRACE("code 2, count " + std::to_string(count));
        EXPECT_EQ(Decode(Concat(Concat({2, count}, kId), {1, 0, 0, 0, 0})), nullptr);
    }
}

TEST(P100InfoDecode, WrongCountIsLoggedWithReceivedAndExpected)
{
    TempDir dir;
    dir.WorkIn();
    ProtocolLog log;
    EXPECT_EQ(CP100Info(log.File()).Decode(*P100Frame(Concat({2, 8}, kId))), nullptr);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "CP100Info::Decode: 2 8 1 2 3 4 5 6 7 8 ",
                               "CP100Info::ReadP100Id: Invalid P100 Message length, received: 8, expected: 11"}));
}

TEST(P100InfoDecode, OpFailSubCodesAndExtraCode)
{
    for (int sub = 0; sub <= 15; ++sub) {
        SCOPED_TRACE("sub code " + std::to_string(sub));
        const auto msg = Decode(Concat(Concat({2, 11}, kId), {sub, 0xA, 0x5}));
        ASSERT_NE(msg, nullptr);
        EXPECT_EQ(msg->msgType, TELMSG_OP_FAIL);
        EXPECT_EQ(msg->ofType, sub <= 10 ? sub + 1 : 0);
        EXPECT_EQ(msg->extraCode, 0xA5);
        EXPECT_EQ(msg->idCode, "12345678");
        EXPECT_EQ(msg->idType, 1);
    }
}

TEST(P100InfoDecode, NonDecimalIdentityDigitIsInvalid)
{
    for (int code : {0, 1, 2, 3, 4}) {
        const int count = code == 2 ? 11 : 8;
        for (int pos = 2; pos <= 9; ++pos) {
            for (int digit : {10, 15}) {
                SCOPED_TRACE("code " + std::to_string(code) + ", position " + std::to_string(pos));
                std::vector<int> frame = Concat(Concat({code, count}, kId), {1, 0, 0});
                frame[static_cast<size_t>(pos)] = digit;
                EXPECT_EQ(Decode(frame), nullptr);
            }
        }
    }
}

TEST(P100InfoDecode, UnknownCodesAreInvalid)
{
    for (int code : {6, 9, 15, 255})
        EXPECT_EQ(Decode(Concat({code, 8}, kId)), nullptr) << "code " << code;
}

TEST(P100InfoDecode, FramesThatDoNotCarryTheirCountAreInvalid)
{
    // The count is the telephone's claim; the frame length is what arrived.
    EXPECT_EQ(Decode(Concat({0, 8}, kId), 9), nullptr) << "one identity digit short";
    EXPECT_NE(Decode(Concat({0, 8}, kId), 10), nullptr) << "exactly the body";
    EXPECT_NE(Decode(Concat(Concat({0, 8}, kId), {0, 0, 0, 0, 0, 0, 0}), 17), nullptr) << "padded frame";
    EXPECT_EQ(Decode(Concat(Concat({2, 11}, kId), {1, 0xA}), 12), nullptr) << "extra code cut off";
    for (int length : {-1, 0, 1, CComMsg::kMaxPayload + 1, 300})
        EXPECT_EQ(Decode(Concat({0, 8}, kId), length), nullptr) << "length " << length;
}

struct UserDataCase {
    const char* name;
    int count;                 // nibble count at position 1
    std::vector<int> nibbles;  // positions 2...
    int length;                // frame length, kOwnLength: 2 + the nibbles given
    bool valid;
    std::vector<uint8_t> bytes;  // expected user data
};

std::vector<int> Nibbles(int n)
{
    std::vector<int> nibbles;
    for (int i = 0; i < n; ++i)
        nibbles.push_back(i % 16);
    return nibbles;
}

std::vector<uint8_t> BytesOf(const std::vector<int>& nibbles)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < nibbles.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(nibbles[i] * 16 + nibbles[i + 1]));
    return bytes;
}

class P100UserData : public ::testing::TestWithParam<UserDataCase> {};

TEST_P(P100UserData, DecodesNibblePairsWithinTheFrame)
{
    const UserDataCase& c = GetParam();
    const auto msg = Decode(Concat({5, c.count}, c.nibbles), c.length);
    if (!c.valid) {
        EXPECT_EQ(msg, nullptr);
        return;
    }
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(msg->msgType, TELMSG_USER_DATA);
    EXPECT_EQ(msg->idType, 1);
    EXPECT_EQ(msg->idCode, "");
    ASSERT_EQ(msg->userDataLen, static_cast<int16_t>(c.bytes.size()));
    EXPECT_EQ(std::vector<uint8_t>(msg->userData.begin(), msg->userData.begin() + msg->userDataLen), c.bytes);
    // Nothing is written beyond the data.
    for (size_t i = c.bytes.size(); i < msg->userData.size(); ++i)
        ASSERT_EQ(msg->userData[i], 0) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(
    P100, P100UserData,
    ::testing::Values(UserDataCase{"TwoBytesHighNibbleFirst", 4, {1, 2, 0xA, 0xF}, kOwnLength, true, {0x12, 0xAF}},
                      UserDataCase{"Zero", 0, {}, kOwnLength, true, {}},
                      UserDataCase{"FrameLongerThanTheCount", 2, {3, 4, 5, 6, 7, 8}, kOwnLength, true, {0x34}},
                      UserDataCase{"Odd", 3, {1, 2, 3}, kOwnLength, false, {}},
                      UserDataCase{"Odd255", 255, Nibbles(252), kOwnLength, false, {}},
                      UserDataCase{"LongestAFrameCarries", 252, Nibbles(252), kOwnLength, true, BytesOf(Nibbles(252))},
                      UserDataCase{"CountBeyondAFullFrame", 254, Nibbles(252), kOwnLength, false, {}},
                      UserDataCase{"CountBeyondAShortFrame", 8, {1, 2, 3, 4}, kOwnLength, false, {}},
                      UserDataCase{"LengthBeyondTheBuffer", 254, Nibbles(252), 256, false, {}}),
    [](const ::testing::TestParamInfo<UserDataCase>& info) { return std::string(info.param.name); });

TEST(P100InfoDecode, LogsEveryCharacterInHex)
{
    TempDir dir;
    dir.WorkIn();
    ProtocolLog log;
    EXPECT_NE(CP100Info(log.File()).Decode(*P100Frame({5, 4, 1, 2, 0xA, 0xF})), nullptr);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"CP100Info::Decode: 5 4 1 2 A F "});
}

TEST(P100InfoReadP100Id, FillsTheIdentityOnlyForTheRequiredCount)
{
    const CP100Info codec;
    CTelHandlerMsg msg(TEL_ALARM);
    EXPECT_FALSE(codec.ReadP100Id(*P100Frame(Concat({0, 8}, kId)), msg, 11));
    EXPECT_EQ(msg.idType, 0);
    EXPECT_EQ(msg.idCode, "");

    EXPECT_TRUE(codec.ReadP100Id(*P100Frame(Concat({0, 8}, {0, 9, 0, 9, 0, 9, 0, 9})), msg, 8));
    EXPECT_EQ(msg.idType, 1);
    EXPECT_EQ(msg.idCode, "09090909");
}

}  // namespace
