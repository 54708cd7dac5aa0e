#include "protocols/P100Info.h"

#include "protocols/PayloadLogText.h"

#include <algorithm>
#include <string>
#include <tuple>

namespace {

constexpr int kPosCode = 0;
constexpr int kPosCount = 1;
constexpr int kPosBody = 2;
constexpr int kIdentityDigits = 8;
constexpr int kPosSubCode = 10;
constexpr int kPosExtraHigh = 11;
constexpr int kPosExtraLow = 12;

constexpr int kCountIdentity = 8;
constexpr int kCountOpFail = 11;
constexpr uint8_t kMaxSubCode = 10;

// Message codes (position 0).
constexpr uint8_t kCodeNoVoice = 0;
constexpr uint8_t kCodeVoice = 1;
constexpr uint8_t kCodeOpFail = 2;
constexpr uint8_t kCodeTest = 3;
constexpr uint8_t kCodeUserId = 4;
constexpr uint8_t kCodeUserData = 5;

// The largest count a P100 message can announce is 255 nibbles, so even the
// longest user data fits the message's buffer.
static_assert(std::tuple_size_v<decltype(CTelHandlerMsg::userData)> >= 255 / 2);

}  // namespace

std::unique_ptr<CTelHandlerMsg> CP100Info::Decode(const CComMsg& frame) const
{
    const int length = frame.GetLength();
    const int carried = std::clamp(length, 0, CComMsg::kMaxPayload);
    Log("CP100Info::Decode", PayloadLogText(frame, carried, LogBase::Hex));

    // Without its code and count a frame is nothing; a length beyond the
    // frame buffer is a broken frame.
    if (length != carried || length < kPosBody) {
        Log("CP100Info::Decode", "Invalid P100 Message, data bytes: " + std::to_string(length));
        return nullptr;
    }

    auto msg = std::make_unique<CTelHandlerMsg>(TEL_ALARM);
    msg->protocol = TELPROT_P100;
    bool valid = false;
    const uint8_t code = frame.GetPayload(kPosCode);
    switch (code) {
    case kCodeNoVoice:
        msg->msgType = TELMSG_P100_ALARM;
        valid = ReadP100Id(frame, *msg, kCountIdentity);
        break;
    case kCodeVoice:
        msg->msgType = TELMSG_VOICE;
        valid = ReadP100Id(frame, *msg, kCountIdentity);
        break;
    case kCodeOpFail: {
        msg->msgType = TELMSG_OP_FAIL;
        valid = ReadP100Id(frame, *msg, kCountOpFail);
        const uint8_t subCode = frame.GetPayload(kPosSubCode);
        msg->ofType = subCode <= kMaxSubCode ? subCode + 1 : 0;
        msg->extraCode = static_cast<uint8_t>(frame.GetPayload(kPosExtraHigh) * 16 + frame.GetPayload(kPosExtraLow));
        break;
    }
    case kCodeTest:
        msg->msgType = TELMSG_TEST;
        valid = ReadP100Id(frame, *msg, kCountIdentity);
        break;
    case kCodeUserId:
        msg->msgType = TELMSG_USER_ID;
        valid = ReadP100Id(frame, *msg, kCountIdentity);
        break;
    case kCodeUserData:
        msg->msgType = TELMSG_USER_DATA;
        msg->idType = 1;
        valid = ReadUserData(frame, *msg);
        break;
    default:
        Log("CP100Info::Decode", "Invalid P100 Message code: " + std::to_string(code));
        break;
    }
    if (!valid)
        return nullptr;
    return msg;
}

bool CP100Info::ReadP100Id(const CComMsg& frame, CTelHandlerMsg& msg, int required) const
{
    const int received = frame.GetPayload(kPosCount);
    if (received != required) {
        Log("CP100Info::ReadP100Id", "Invalid P100 Message length, received: " + std::to_string(received) +
                                         ", expected: " + std::to_string(required));
        return false;
    }
    if (!CarriesBody(frame, required, "CP100Info::ReadP100Id"))
        return false;

    msg.idType = 1;
    bool decimal = true;
    std::string identity;
    for (int pos = kPosBody; pos < kPosBody + kIdentityDigits; ++pos) {
        const uint8_t digit = frame.GetPayload(pos);
        if (digit > 9) {
            decimal = false;  // the message is dropped; read on for the identity text only
            identity += '?';
        } else {
            identity += static_cast<char>('0' + digit);
        }
    }
    msg.idCode = identity;
    return decimal;
}

bool CP100Info::CarriesBody(const CComMsg& frame, int count, const char* source) const
{
    const int length = frame.GetLength();
    if (length >= kPosBody + count)
        return true;
    Log(source, "P100 Message shorter than its length, data bytes: " + std::to_string(length) +
                    ", length: " + std::to_string(count));
    return false;
}

bool CP100Info::ReadUserData(const CComMsg& frame, CTelHandlerMsg& msg) const
{
    // The data come as nibble pairs, so an odd count means a broken message.
    const int nibbles = frame.GetPayload(kPosCount);
    if (nibbles % 2 != 0) {
        Log("CP100Info::Decode", "Invalid P100 User Data length: " + std::to_string(nibbles));
        return false;
    }
    if (!CarriesBody(frame, nibbles, "CP100Info::Decode"))
        return false;

    const int bytes = nibbles / 2;
    for (int j = 0; j < bytes; ++j) {
        const int high = frame.GetPayload(kPosBody + 2 * j);
        const int low = frame.GetPayload(kPosBody + 2 * j + 1);
        msg.userData[static_cast<size_t>(j)] = static_cast<uint8_t>(high * 16 + low);
    }
    msg.userDataLen = static_cast<int16_t>(bytes);
    return true;
}
