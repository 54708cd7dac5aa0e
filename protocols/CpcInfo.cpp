#include "protocols/CpcInfo.h"

#include "protocols/PayloadLogText.h"

#include <algorithm>
#include <array>
#include <span>
#include <string>

namespace {

constexpr uint8_t kMaxCpcDigit = 15;
// The identity follows the answer kind (2 digits) and the alarm code (2 digits).
constexpr int kIdentityStart = 4;
constexpr int kMinIdentityDigits = 6;
constexpr int kMaxIdentityDigits = 8;

// Answer kinds (d0 * 10 + d1).
constexpr uint8_t kKindAck = 1;
constexpr uint8_t kKindIdentification = 2;
constexpr uint8_t kKindAlarm = 4;

// Alarm codes of the alarm answer.
constexpr int kAlarmVoice = 10;
constexpr int kAlarmVoiceToo = 27;
constexpr int kAlarmBattery = 17;
constexpr int kAlarmTest = 26;
constexpr int16_t kOfTypeBattery = 2;

constexpr std::array<uint8_t, 3> kDigitsId{0, 2, 1};
constexpr std::array<uint8_t, 2> kDigitsAlarmCode{0, 3};
constexpr std::array<uint8_t, 3> kDigitsAckVoice{0, 5, 1};
constexpr std::array<uint8_t, 3> kDigitsAckOther{0, 5, 2};
constexpr std::array<uint8_t, 4> kDigitsDisconnect{0, 6, 0, 1};
constexpr std::array<uint8_t, 4> kDigitsTimeUpdate{0, 6, 0, 7};

std::span<const uint8_t> RequestDigits(int16_t request)
{
    switch (request) {
    case CPC_REQ_ID:
        return kDigitsId;
    case CPC_REQ_ALARMCODE:
        return kDigitsAlarmCode;
    case CPC_REQ_ACK_VOICE:
        return kDigitsAckVoice;
    case CPC_REQ_ACK_OTHER:
        return kDigitsAckOther;
    case CPC_REQ_DISCONNECT:
        return kDigitsDisconnect;
    case CPC_REQ_TIME_UPDATE:
        return kDigitsTimeUpdate;
    default:
        return {};
    }
}

// Reads the alarm code and the identity of an alarm answer into msg. False
// when the identity is not 6 to 8 decimal digits.
bool ReadAlarm(const CComMsg& frame, int count, CTelHandlerMsg& msg)
{
    const int alarmCode = frame.GetPayload(2) * 10 + frame.GetPayload(3);
    if (alarmCode == kAlarmVoice || alarmCode == kAlarmVoiceToo) {
        msg.msgType = TELMSG_VOICE;
    } else if (alarmCode == kAlarmBattery) {
        msg.msgType = TELMSG_OP_FAIL;
        msg.ofType = kOfTypeBattery;
    } else if (alarmCode == kAlarmTest) {
        msg.msgType = TELMSG_TEST;
    }
    // Any other alarm code leaves msgType 0; the dialogue rejects it.

    const int identityDigits = count - kIdentityStart;
    if (identityDigits < kMinIdentityDigits || identityDigits > kMaxIdentityDigits)
        return false;
    std::string identity;
    for (int i = kIdentityStart; i < count; ++i) {
        const uint8_t digit = frame.GetPayload(i);
        if (digit > 9)
            return false;
        identity += static_cast<char>('0' + digit);
    }
    msg.idCode = identity;
    msg.idType = 1;
    return true;
}

}  // namespace

void CCpcInfo::Encode(CComMsg& frame, int16_t request) const
{
    const std::span<const uint8_t> digits = RequestDigits(request);
    frame.SetCommand(CMD_CPC_REQUEST);
    for (size_t i = 0; i < digits.size(); ++i)
        frame.SetPayload(static_cast<int>(i), digits[i]);
    frame.SetLength(static_cast<int16_t>(digits.size()));
    if (log)
        log->Log("CCpcInfo::Encode", PayloadLogText(frame, static_cast<int>(digits.size()), LogBase::Decimal));
}

std::unique_ptr<CTelHandlerMsg> CCpcInfo::Decode(const CComMsg& frame) const
{
    const int count = frame.GetLength();
    const int carried = std::clamp(count, 0, CComMsg::kMaxPayload);

    if (log)
        log->Log("CCpcInfo::Decode", PayloadLogText(frame, carried, LogBase::Hex));

    auto invalid = [this]() -> std::unique_ptr<CTelHandlerMsg> {
        if (log)
            log->Log("CCpcInfo::Decode", "Invalid answer");
        return nullptr;
    };

    // A count the frame cannot carry is a broken frame, not an answer.
    if (count != carried)
        return invalid();
    // A byte above 15 is no CPC digit. Rejecting it also keeps the 8-bit kind
    // and alarm-code arithmetic from turning garbage into a valid answer
    // (25 * 10 + 7 wraps to kind 1, an acknowledgement).
    for (int i = 0; i < count; ++i) {
        if (frame.GetPayload(i) > kMaxCpcDigit)
            return invalid();
    }

    // Digits beyond the received count read as 0.
    auto digit = [&](int i) -> uint8_t { return i < count ? frame.GetPayload(i) : 0; };
    const uint8_t kind = static_cast<uint8_t>(digit(0) * 10 + digit(1));

    auto msg = std::make_unique<CTelHandlerMsg>(TEL_ALARM);
    msg->protocol = TELPROT_CPC;
    switch (kind) {
    case kKindAck:
        if (digit(2) > 1)
            return invalid();
        msg->msgType = TELMSG_CPC_ACK;
        msg->value = digit(2);
        break;
    case kKindIdentification:
        msg->msgType = TELMSG_CPC_ID;
        msg->value = digit(2);
        break;
    case kKindAlarm:
        if (!ReadAlarm(frame, count, *msg))
            return invalid();
        break;
    default:
        return invalid();
    }
    return msg;
}
