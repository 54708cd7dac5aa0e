#include "texts/MessageMgr.h"

#include "core/TextEncoding.h"
#include "core/TextFormat.h"
#include "core/TextLookup.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/GsmHandlerMsg.h"
#include "messages/TelHandlerMsg.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

// ---- Message values --------------------------------------------------------

// Sub codes of an operational failure as the P100 telephone sends them; the
// decoded telephone alarm carries ofType = sub code + 1.
constexpr int P100_OF_INPUTS = 0;
constexpr int P100_OF_BATTERY = 1;
constexpr int P100_OF_MIC_SPEAKER = 2;
constexpr int P100_OF_VC_RECEIPT = 3;
constexpr int P100_OF_START_OF_ALARM = 4;
constexpr int P100_OF_END_OF_ALARM = 5;
constexpr int P100_OF_MAINTENANCE = 6;
constexpr int P100_OF_MAINS = 7;
constexpr int P100_OF_STUCK_BUTTON = 8;
constexpr int P100_OF_UNIT_RESPONSE = 9;
constexpr int P100_OF_BUS_FAILURE = 10;

// The CPC model code of the station maker's own lift telephones.
constexpr int16_t CPC_MODEL_TERVIN = 2;

// The lift-monitoring event of the user data (first byte).
constexpr uint8_t USERDATA_LIFT_MONITORING = 1;

constexpr std::string_view kSmsTest = "#TEST";
constexpr std::string_view kSmsP100 = "#P100:2B";
constexpr std::size_t kSmsIdChars = 8;

// Fills in the alarm type, status and operational-failure type for a P100
// operational-failure sub code; the telephone and the SMS path share it.
void ApplyOpFailSubCode(int subCode, CAlarmInfoMsg& alarm)
{
    switch (subCode) {
    case P100_OF_VC_RECEIPT:
    case P100_OF_START_OF_ALARM:
        alarm.AlarmType = ALARMTYPE_EMERGENCY_CALL;
        return;
    case P100_OF_END_OF_ALARM:
        alarm.AlarmType = ALARMTYPE_END_OF_ALARM;
        alarm.AlarmStatus = ALARMSTATUS_INFO;
        return;
    case P100_OF_MAINTENANCE:
        alarm.AlarmType = ALARMTYPE_MAINTENANCE;
        alarm.AlarmStatus = ALARMSTATUS_INFO;
        return;
    default:
        break;
    }
    alarm.AlarmType = ALARMTYPE_OPFAIL;
    switch (subCode) {
    case P100_OF_INPUTS:
        alarm.OpFailType = OPFAILTYPE_INPUTS;
        break;
    case P100_OF_BATTERY:
        alarm.OpFailType = OPFAILTYPE_BATTERY;
        break;
    case P100_OF_MIC_SPEAKER:
        alarm.OpFailType = OPFAILTYPE_MIC_SPEAKER;
        break;
    case P100_OF_MAINS:
        alarm.OpFailType = OPFAILTYPE_MAINS_POWER;
        break;
    case P100_OF_STUCK_BUTTON:
        alarm.OpFailType = OPFAILTYPE_STUCK_BUTTON;
        break;
    case P100_OF_UNIT_RESPONSE:
        alarm.OpFailType = OPFAILTYPE_BUS_UNIT;
        break;
    case P100_OF_BUS_FAILURE:
        alarm.OpFailType = OPFAILTYPE_BUS_COMMUNICATION;
        break;
    default:
        break;  // an unknown sub code leaves the failure type unset
    }
}

// The value of a field of hex digits; a field that is missing or not made
// of hex digits alone reads as 0, so a garbled SMS still becomes an alarm.
unsigned HexField(std::string_view field, std::size_t digits)
{
    if (field.size() != digits)
        return 0;
    unsigned value = 0;
    for (const char c : field) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return 0;
        value = value * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                                       ? c - '0'
                                                       : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
    }
    return value;
}

// The next `chars` characters of text from byte offset pos (fewer at the end).
std::string_view TakeChars(std::string_view text, std::size_t& pos, std::size_t chars)
{
    const std::string_view rest = text.substr(std::min(pos, text.size()));
    const std::size_t bytes = TextEncoding::PrefixBytes(rest, chars);
    pos += bytes;
    return rest.substr(0, bytes);
}

bool IsAsciiLetter(uint8_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The code's block in one file's text: the lines after the first matching
// label up to the next line that begins with ":", empty lines skipped, at
// most 30, each followed by a line feed.
std::string ExtractUserMsg(std::string_view content, char letter, unsigned number)
{
    std::string block;
    bool inBlock = false;
    int taken = 0;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t end = content.find('\n', pos);
        if (end == std::string_view::npos)
            end = content.size();
        std::string_view line = content.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        if (!inBlock) {
            inBlock = CMessageMgr::MatchUserMsgLabel(line, letter, number);
            continue;
        }
        if (!line.empty() && line.front() == ':')
            break;
        if (line.empty())
            continue;
        block.append(line);
        block += '\n';
        if (++taken == CMessageMgr::kMaxUserMsgLines)
            break;
    }
    return block;
}

}  // namespace

std::unique_ptr<CAlarmInfoMsg> CMessageMgr::CreateAlarmInfo(const CMsg& msg) const
{
    // The type decides; the class is checked as well, so that a message with
    // a wrong type number can never be read as something it is not.
    auto alarm = std::make_unique<CAlarmInfoMsg>(DBMSG_ALARM_INFO);
    alarm->Result = DBRES_ALARM_NEW;
    alarm->AlarmStatus = ALARMSTATUS_NEW;

    switch (msg.GetType()) {
    case TEL_ALARM: {
        const auto* tel = dynamic_cast<const CTelHandlerMsg*>(&msg);
        if (tel == nullptr)
            return nullptr;
        CreateFromTelAlarm(*tel, *alarm);
        break;
    }
    case GSM_SMS_RECEIVED: {
        const auto* sms = dynamic_cast<const CGsmHandlerMsg*>(&msg);
        if (sms == nullptr)
            return nullptr;
        CreateFromSms(*sms, *alarm);
        break;
    }
    case GSM_CALLER_ID: {
        const auto* call = dynamic_cast<const CGsmHandlerMsg*>(&msg);
        if (call == nullptr)
            return nullptr;
        alarm->AlarmSource = ALARMSOURCE_CALLER_ID;
        alarm->IdCode = call->smsNumber;
        alarm->AlarmType = ALARMTYPE_TEST;
        alarm->AlarmStatus = ALARMSTATUS_INFO;
        break;
    }
    default:
        return nullptr;
    }

    alarm->AlarmTime = COleDateTime::GetCurrentTime();
    return alarm;
}

void CMessageMgr::CreateFromTelAlarm(const CTelHandlerMsg& msg, CAlarmInfoMsg& alarm) const
{
    alarm.AlarmSource = ALARMSOURCE_TEL;
    alarm.CallerIdInfo = msg.callerInfo;
    if (msg.idType == 1)
        alarm.IdCode = msg.idCode;

    switch (msg.msgType) {
    case TELMSG_P100_ALARM:
        alarm.AlarmType = ALARMTYPE_P100;
        break;
    case TELMSG_VOICE:
        alarm.AlarmType = ALARMTYPE_VOICE;
        break;
    case TELMSG_VOICE_REDIRECTED:
        alarm.AlarmType = ALARMTYPE_VOICE_REDIRECTED;
        break;
    case TELMSG_TEST:
        alarm.AlarmType = ALARMTYPE_TEST;
        alarm.AlarmStatus = ALARMSTATUS_INFO;
        break;
    case TELMSG_USER_DATA:
        alarm.AlarmType = ALARMTYPE_LIFT_MONITORING;
        AddUserDataText(msg, alarm);
        break;
    case TELMSG_OP_FAIL: {
        const int subCode = msg.ofType - 1;
        ApplyOpFailSubCode(subCode, alarm);
        if (subCode == P100_OF_BATTERY) {
            if (msg.extraCode == 0)
                alarm.Text.AddLine(LookupText("IDS_MESSAGEMGR_MSG_23"));
            else if (msg.extraCode == 1)
                alarm.Text.AddLine(LookupText("IDS_MESSAGEMGR_MSG_24"));
        } else if (subCode == P100_OF_MAINS) {
            if (msg.extraCode == 0)
                alarm.Text.AddLine(LookupText("IDS_MESSAGEMGR_MSG_21"));
            else if (msg.extraCode == 1)
                alarm.Text.AddLine(LookupText("IDS_MESSAGEMGR_MSG_22"));
        } else if (subCode == P100_OF_UNIT_RESPONSE) {
            AddUnitLine(msg.extraCode, alarm);
        } else if (subCode == P100_OF_BUS_FAILURE) {
            AddBusLine(msg.extraCode, alarm);
        }
        break;
    }
    default:
        break;  // no alarm type for other messages
    }

    if (msg.protocol == TELPROT_CPC && msg.value != CPC_MODEL_TERVIN)
        alarm.Text.AddLine(LookupText("IDS_MESSAGEMGR_MSG_5"));
}

void CMessageMgr::CreateFromSms(const CGsmHandlerMsg& msg, CAlarmInfoMsg& alarm) const
{
    alarm.AlarmSource = ALARMSOURCE_SMS;
    alarm.IdCode = msg.smsNumber;

    const std::string_view text = msg.smsText;
    if (text.starts_with(kSmsTest)) {
        alarm.AlarmType = ALARMTYPE_TEST;
        alarm.AlarmStatus = ALARMSTATUS_INFO;
        alarm.Text.AddLine(text.substr(kSmsTest.size()));
    } else if (text.starts_with(kSmsP100)) {
        ParseP100Sms(text.substr(kSmsP100.size()), alarm);
    } else {
        alarm.AlarmType = ALARMTYPE_SMS;
        alarm.Text.AddLine(text);
    }
    alarm.Text.AddLine(FormatKey("IDS_MESSAGEMGR_MSG_6", {msg.smsDate, msg.smsTime}));
}

void CMessageMgr::ParseP100Sms(std::string_view rest, CAlarmInfoMsg& alarm)
{
    // Identity (8 characters), sub code (one hex digit), extra byte (two).
    std::size_t pos = 0;
    const std::string_view identity = TakeChars(rest, pos, kSmsIdChars);
    const unsigned subCode = HexField(TakeChars(rest, pos, 1), 1);
    const auto extraByte = static_cast<uint8_t>(HexField(TakeChars(rest, pos, 2), 2));

    // An SMS that carries no identity at all keeps its sender's number, the
    // only clue left to which lift sent it.
    if (!identity.empty())
        alarm.IdCode = std::string(identity);

    ApplyOpFailSubCode(static_cast<int>(subCode), alarm);
    if (subCode == P100_OF_UNIT_RESPONSE)
        AddUnitLine(extraByte, alarm);
    else if (subCode == P100_OF_BUS_FAILURE)
        AddBusLine(extraByte, alarm);
}

void CMessageMgr::AddUserDataText(const CTelHandlerMsg& msg, CAlarmInfoMsg& alarm) const
{
    // Bytes the telephone did not send read as 0; a length outside the buffer
    // is taken as far as the buffer goes.
    const int length = std::clamp<int>(msg.userDataLen, 0, static_cast<int>(msg.userData.size()));
    uint8_t d[4] = {0, 0, 0, 0};
    std::copy_n(msg.userData.begin(), std::min(length, 4), d);

    if (IsAsciiLetter(d[0])) {
        const char letter = static_cast<char>(d[0]);
        const unsigned number = d[1];
        if (length == 4) {
            const int zone = d[2] & 6;
            int position = d[3];
            if (zone == 4)
                position *= 10;
            else if (zone == 6)
                position *= 100;
            if (d[2] & 1)
                position = -position;
            std::string line = FormatKey("IDS_MESSAGEMGR_MSG_8", {letter, number});
            line += FormatKey("IDS_MESSAGEMGR_MSG_9", {(d[2] >> 4) + 1});
            line += FormatKey("IDS_MESSAGEMGR_MSG_10", {position});
            line += LookupText(zone == 0 ? "IDS_MESSAGEMGR_MSG_11" : "IDS_MESSAGEMGR_MSG_12");
            line += LookupText((d[2] & 8) ? "IDS_MESSAGEMGR_MSG_13" : "IDS_MESSAGEMGR_MSG_14");
            alarm.Text.AddLine(line);
        } else {
            alarm.Text.AddLine(FormatKey("IDS_MESSAGEMGR_MSG_15", {letter, number}));
        }
        alarm.Text.AddLine(FindUserMsg(letter, number));
    } else if (d[0] == USERDATA_LIFT_MONITORING) {
        const char sign = d[2] != 0 ? '+' : '-';
        std::string line = "Travora Alarm Event\n";
        line += FormatText("Floor: %d\n", {d[1]});
        if (d[3] == 255)
            line += FormatText("Distance: %c255 mm or more\n", {sign});
        else
            line += FormatText("Distance: %c%d mm\n", {sign, d[3]});
        line += "*** Contact Hoistmart LTD ***\n";
        alarm.Text.AddLine(line);
    } else {
        alarm.Text.AddLine(LookupText("IDS_MESSAGEMGR_MSG_7"));
    }
}

void CMessageMgr::AddUnitLine(uint8_t extraCode, CAlarmInfoMsg& alarm)
{
    std::string line;
    if (extraCode & 0x80) {
        line = LookupText("IDS_MESSAGEMGR_MSG_1");
        alarm.AlarmStatus = ALARMSTATUS_INFO;
    } else {
        line = LookupText("IDS_MESSAGEMGR_MSG_2");
    }
    for (int bit = 0; bit <= 5; ++bit) {
        if (extraCode & (1u << bit))
            line += std::to_string(bit + 1) + " ";
    }
    alarm.Text.AddLine(line);
}

void CMessageMgr::AddBusLine(uint8_t extraCode, CAlarmInfoMsg& alarm)
{
    switch (extraCode) {
    case 0:
        alarm.Text.AddLine(LookupText("IDS_MESSAGEMGR_MSG_16"));
        break;
    case 1:
        alarm.Text.AddLine(LookupText("IDS_MESSAGEMGR_MSG_17"));
        break;
    case 2:
        alarm.Text.AddLine(LookupText("IDS_MESSAGEMGR_MSG_18"));
        break;
    case 3:
        alarm.Text.AddLine(LookupText("IDS_MESSAGEMGR_MSG_19"));
        break;
    default:
        alarm.Text.AddLine(FormatKey("IDS_MESSAGEMGR_MSG_20", {extraCode}));
        break;
    }
}

std::string CMessageMgr::FindUserMsg(char letter, unsigned number) const
{
    std::vector<std::string> names = {"UserMsg.txt"};
    for (int i = 0; i < kUserMsgFileCount; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "UserMsg%02d.txt", i);
        names.emplace_back(name);
    }

    // The last file that has the code wins: UserMsg99.txt, the station's own
    // file from the user message editor, overrides all others.
    std::string result;
    for (const std::string& name : names) {
        std::string block = ReadUserMsgFile(name, letter, number);
        if (!block.empty())
            result = std::move(block);
    }
    return result;
}

std::string CMessageMgr::ReadUserMsgFile(const std::string& path, char letter, unsigned number)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {};
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad())
        return {};
    return ExtractUserMsg(TextEncoding::FileTextToUtf8(bytes.str()), letter, number);
}

bool CMessageMgr::MatchUserMsgLabel(std::string_view line, char letter, unsigned number)
{
    if (line.size() < 3 || line.size() > 5 || line[0] != ':' || line[1] != letter)
        return false;
    unsigned value = 0;
    for (const char c : line.substr(2)) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value < 256 && value == number;
}
