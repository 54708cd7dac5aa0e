#include "texts/MessageMgr.h"

#include "messages/AlarmInfoMsg.h"
#include "messages/GsmHandlerMsg.h"
#include "messages/TelHandlerMsg.h"
#include "support/TempDir.h"
#include "support/TestDictionary.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// The alarm texts are checked against the real dictionary in English, so a
// changed dictionary text shows up here as well.
class MessageMgrTest : public EnglishDictionaryTest {
protected:
    MessageMgrTest() { dir.WorkIn(); }  // no user message files unless a test writes them

    std::unique_ptr<CAlarmInfoMsg> FromTel(uint8_t msgType, int16_t ofType = 0, uint8_t extraCode = 0,
                                           int16_t protocol = TELPROT_P100, int16_t modelCode = 0)
    {
        CTelHandlerMsg msg(TEL_ALARM);
        msg.msgType = msgType;
        msg.ofType = ofType;
        msg.extraCode = extraCode;
        msg.protocol = protocol;
        msg.value = modelCode;
        msg.idCode = "12345678";
        msg.idType = 1;
        msg.callerInfo = "+4631123456";
        return mgr.CreateAlarmInfo(msg);
    }

    std::unique_ptr<CAlarmInfoMsg> FromUserData(std::vector<uint8_t> data, int16_t length)
    {
        CTelHandlerMsg msg(TEL_ALARM);
        msg.msgType = TELMSG_USER_DATA;
        msg.protocol = TELPROT_P100;
        msg.idType = 1;
        msg.idCode = "87654321";
        std::copy(data.begin(), data.end(), msg.userData.begin());
        msg.userDataLen = length;
        return mgr.CreateAlarmInfo(msg);
    }

    std::unique_ptr<CAlarmInfoMsg> FromSms(const std::string& text)
    {
        CGsmHandlerMsg msg(GSM_SMS_RECEIVED);
        msg.smsNumber = "+46701234567";
        msg.smsDate = "24/01/05";
        msg.smsTime = "10:11:12";
        msg.smsText = text;
        return mgr.CreateAlarmInfo(msg);
    }

    const COleDateTime now{2024, 1, 5, 10, 11, 12};
    CScopedNowSource clock{[this] { return now; }};
    TempDir dir;
    CMessageMgr mgr;
};

constexpr const char* kTimestamp = "SMS Timestamp: 24/01/05, 10:11:12";

struct TelCase {
    uint8_t msgType;
    int16_t ofType;
    uint8_t extraCode;
    uint8_t alarmType;
    uint8_t opFailType;
    uint8_t status;
    const char* text;
};

TEST_F(MessageMgrTest, TelephoneAlarmsByMessageAndFailureType)
{
    const TelCase cases[] = {
        {TELMSG_P100_ALARM, 0, 0, ALARMTYPE_P100, 0, ALARMSTATUS_NEW, ""},
        {TELMSG_VOICE, 0, 0, ALARMTYPE_VOICE, 0, ALARMSTATUS_NEW, ""},
        {TELMSG_VOICE_REDIRECTED, 0, 0, ALARMTYPE_VOICE_REDIRECTED, 0, ALARMSTATUS_NEW, ""},
        {TELMSG_TEST, 0, 0, ALARMTYPE_TEST, 0, ALARMSTATUS_INFO, ""},
        {TELMSG_USER_ID, 0, 0, 0, 0, ALARMSTATUS_NEW, ""},
        {TELMSG_CPC_ACK, 0, 0, 0, 0, ALARMSTATUS_NEW, ""},
        {0, 0, 0, 0, 0, ALARMSTATUS_NEW, ""},
        {200, 0, 0, 0, 0, ALARMSTATUS_NEW, ""},
        {TELMSG_OP_FAIL, 0, 0, ALARMTYPE_OPFAIL, 0, ALARMSTATUS_NEW, ""},
        {TELMSG_OP_FAIL, 1, 0, ALARMTYPE_OPFAIL, OPFAILTYPE_INPUTS, ALARMSTATUS_NEW, ""},
        {TELMSG_OP_FAIL, 2, 0, ALARMTYPE_OPFAIL, OPFAILTYPE_BATTERY, ALARMSTATUS_NEW, "Battery Check Failed"},
        {TELMSG_OP_FAIL, 2, 1, ALARMTYPE_OPFAIL, OPFAILTYPE_BATTERY, ALARMSTATUS_NEW, "Battery Voltage Low"},
        {TELMSG_OP_FAIL, 2, 2, ALARMTYPE_OPFAIL, OPFAILTYPE_BATTERY, ALARMSTATUS_NEW, ""},
        {TELMSG_OP_FAIL, 3, 0, ALARMTYPE_OPFAIL, OPFAILTYPE_MIC_SPEAKER, ALARMSTATUS_NEW, ""},
        {TELMSG_OP_FAIL, 4, 0, ALARMTYPE_EMERGENCY_CALL, 0, ALARMSTATUS_NEW, ""},
        {TELMSG_OP_FAIL, 5, 0, ALARMTYPE_EMERGENCY_CALL, 0, ALARMSTATUS_NEW, ""},
        {TELMSG_OP_FAIL, 6, 0, ALARMTYPE_END_OF_ALARM, 0, ALARMSTATUS_INFO, ""},
        {TELMSG_OP_FAIL, 7, 0, ALARMTYPE_MAINTENANCE, 0, ALARMSTATUS_INFO, ""},
        {TELMSG_OP_FAIL, 8, 0, ALARMTYPE_OPFAIL, OPFAILTYPE_MAINS_POWER, ALARMSTATUS_NEW, "Mains Power Lost"},
        {TELMSG_OP_FAIL, 8, 1, ALARMTYPE_OPFAIL, OPFAILTYPE_MAINS_POWER, ALARMSTATUS_NEW, "Mains Power Returned"},
        {TELMSG_OP_FAIL, 8, 7, ALARMTYPE_OPFAIL, OPFAILTYPE_MAINS_POWER, ALARMSTATUS_NEW, ""},
        {TELMSG_OP_FAIL, 9, 0, ALARMTYPE_OPFAIL, OPFAILTYPE_STUCK_BUTTON, ALARMSTATUS_NEW, ""},
        {TELMSG_OP_FAIL, 10, 0x85, ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_UNIT, ALARMSTATUS_INFO, "Found Unit(s):1 3 "},
        {TELMSG_OP_FAIL, 10, 0x7F, ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_UNIT, ALARMSTATUS_NEW,
         "Missing Unit(s):1 2 3 4 5 6 "},
        {TELMSG_OP_FAIL, 10, 0x80, ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_UNIT, ALARMSTATUS_INFO, "Found Unit(s):"},
        {TELMSG_OP_FAIL, 11, 0, ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_COMMUNICATION, ALARMSTATUS_NEW,
         "Bus Communication Error"},
        {TELMSG_OP_FAIL, 11, 1, ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_COMMUNICATION, ALARMSTATUS_NEW,
         "Bus Command Queue Overflow"},
        {TELMSG_OP_FAIL, 11, 2, ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_COMMUNICATION, ALARMSTATUS_NEW, "Bus Busy Timeout"},
        {TELMSG_OP_FAIL, 11, 3, ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_COMMUNICATION, ALARMSTATUS_NEW, "No Car Unit"},
        {TELMSG_OP_FAIL, 11, 4, ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_COMMUNICATION, ALARMSTATUS_NEW,
         "Unknown Error, Code: 4"},
        {TELMSG_OP_FAIL, 11, 255, ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_COMMUNICATION, ALARMSTATUS_NEW,
         "Unknown Error, Code: 255"},
        {TELMSG_OP_FAIL, 12, 0, ALARMTYPE_OPFAIL, 0, ALARMSTATUS_NEW, ""},
        {TELMSG_OP_FAIL, -1, 0, ALARMTYPE_OPFAIL, 0, ALARMSTATUS_NEW, ""},
    };
    for (const TelCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "msgType " << int(c.msgType) << " ofType " << c.ofType << " extra "
                                        << int(c.extraCode));
        const auto alarm = FromTel(c.msgType, c.ofType, c.extraCode);
        ASSERT_NE(alarm, nullptr);
        EXPECT_EQ(alarm->AlarmType, c.alarmType);
        EXPECT_EQ(alarm->OpFailType, c.opFailType);
        EXPECT_EQ(alarm->AlarmStatus, c.status);
        EXPECT_EQ(alarm->Text.GetText(), c.text);
        EXPECT_FALSE(alarm->Text.IsTruncated());
    }
}

TEST_F(MessageMgrTest, EveryRecordIsANewAlarmWithIdentityCallerAndTime)
{
    const auto alarm = FromTel(TELMSG_P100_ALARM);
    ASSERT_NE(alarm, nullptr);
    EXPECT_EQ(alarm->GetType(), DBMSG_ALARM_INFO);
    EXPECT_EQ(alarm->Result, DBRES_ALARM_NEW);
    EXPECT_EQ(alarm->AlarmSource, ALARMSOURCE_TEL);
    EXPECT_EQ(alarm->IdCode, "12345678");
    EXPECT_EQ(alarm->CallerIdInfo, "+4631123456");
    EXPECT_EQ(alarm->AlarmTime, now);
    EXPECT_EQ(alarm->PrimaryKey, 0u);
    EXPECT_EQ(alarm->ObjectKnown, 0);

    // Without an identity read from the telephone the record has none.
    CTelHandlerMsg anonymous(TEL_ALARM);
    anonymous.msgType = TELMSG_VOICE;
    anonymous.idCode = "99999999";
    anonymous.idType = 0;
    const auto voice = mgr.CreateAlarmInfo(anonymous);
    ASSERT_NE(voice, nullptr);
    EXPECT_EQ(voice->IdCode, "");
}

TEST_F(MessageMgrTest, OnlyForeignCpcEquipmentIsMarked)
{
    const auto foreign = FromTel(TELMSG_OP_FAIL, 2, 1, TELPROT_CPC, 3);
    ASSERT_NE(foreign, nullptr);
    EXPECT_EQ(foreign->Text.GetText(), "Battery Voltage Low\nNo Tervin Equipment");

    const auto foreignVoice = FromTel(TELMSG_VOICE, 0, 0, TELPROT_CPC, 0);
    ASSERT_NE(foreignVoice, nullptr);
    EXPECT_EQ(foreignVoice->Text.GetText(), "No Tervin Equipment");

    const auto own = FromTel(TELMSG_OP_FAIL, 2, 1, TELPROT_CPC, 2);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->Text.GetText(), "Battery Voltage Low");

    const auto p100 = FromTel(TELMSG_P100_ALARM, 0, 0, TELPROT_P100, 3);
    ASSERT_NE(p100, nullptr);
    EXPECT_EQ(p100->Text.GetText(), "");
}

struct UserDataCase {
    const char* name;
    std::vector<uint8_t> data;
    int16_t length;
    const char* text;
};

TEST_F(MessageMgrTest, UserDataTexts)
{
    const std::string unsupported = "Error: Unsupported user message format received!\n";
    const UserDataCase cases[] = {
        // A coded message with four bytes: floor, position, floor zone and status.
        {"zone x10, moving",
         {'b', 7, 0x2C, 12},
         4,
         "Error code: b7\nFloor: 3\nPosition: 120\nFloor zone: No\nStatus: Moving\n"},
        {"zone x100, negative, stopped",
         {'Q', 200, 0x07, 5},
         4,
         "Error code: Q200\nFloor: 1\nPosition: -500\nFloor zone: No\nStatus: Stopped\n"},
        {"in floor zone",
         {'z', 0, 0xF0, 255},
         4,
         "Error code: z0\nFloor: 16\nPosition: 255\nFloor zone: Yes\nStatus: Stopped\n"},
        {"zone x1", {'a', 1, 0x02, 9}, 4, "Error code: a1\nFloor: 1\nPosition: 9\nFloor zone: No\nStatus: Stopped\n"},
        // Other lengths: the code alone; bytes not sent read as 0.
        {"two bytes", {'b', 7}, 2, "Error code: b007\n\n"},
        {"three bytes", {'B', 255, 1}, 3, "Error code: B255\n\n"},
        {"letter only", {'Z'}, 1, "Error code: Z000\n\n"},
        {"longer than the buffer", {'c', 42, 1, 2, 3}, 300, "Error code: c042\n\n"},
        // Lift-monitoring event.
        {"distance 255 or more",
         {1, 3, 0, 255},
         4,
         "Travora Alarm Event\nFloor: 3\nDistance: -255 mm or more\n*** Contact Hoistmart LTD ***\n"},
        {"distance above",
         {1, 12, 1, 42},
         4,
         "Travora Alarm Event\nFloor: 12\nDistance: +42 mm\n*** Contact Hoistmart LTD ***\n"},
        {"monitoring, one byte",
         {1},
         1,
         "Travora Alarm Event\nFloor: 0\nDistance: -0 mm\n*** Contact Hoistmart LTD ***\n"},
        // Anything else.
        {"no data", {}, 0, unsupported.c_str()},
        {"negative length", {'b', 7}, -5, unsupported.c_str()},
        {"first byte 2", {2, 3, 4, 5}, 4, unsupported.c_str()},
        {"just before A", {'@', 1}, 2, unsupported.c_str()},
        {"just after Z", {'[', 1}, 2, unsupported.c_str()},
        {"just before a", {'`', 1}, 2, unsupported.c_str()},
        {"just after z", {'{', 1}, 2, unsupported.c_str()},
        {"high byte", {0xE4, 1}, 2, unsupported.c_str()},
    };
    for (const UserDataCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto alarm = FromUserData(c.data, c.length);
        ASSERT_NE(alarm, nullptr);
        EXPECT_EQ(alarm->AlarmType, ALARMTYPE_LIFT_MONITORING);
        EXPECT_EQ(alarm->AlarmStatus, ALARMSTATUS_NEW);
        EXPECT_EQ(alarm->IdCode, "87654321");
        EXPECT_EQ(alarm->Text.GetText(), c.text);
    }
}

TEST_F(MessageMgrTest, CodedMessageTakesItsTextFromTheUserMessageFiles)
{
    std::ofstream(dir / "UserMsg99.txt") << ":b007\r\nDoor contact open\r\nCall the technician\r\n";
    const auto coded = FromUserData({'b', 7}, 2);
    ASSERT_NE(coded, nullptr);
    EXPECT_EQ(coded->Text.GetText(), "Error code: b007\n\nDoor contact open\nCall the technician\n");

    // The mail leaves out lines 1 to 4 of a four-byte message: the user text starts at line 5.
    const auto full = FromUserData({'b', 7, 0x10, 0}, 4);
    ASSERT_NE(full, nullptr);
    full->Text.Rewind();
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < full->Text.GetLineCount(); ++i)
        lines.push_back(full->Text.GetNextLine(255));
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0], "Error code: b7");
    EXPECT_EQ(lines[4], "Status: Stopped");
    EXPECT_EQ(lines[5], "Door contact open");
}

struct SmsCase {
    const char* text;
    const char* idCode;
    uint8_t alarmType;
    uint8_t opFailType;
    uint8_t status;
    std::string lines;  // the text before the timestamp line
};

TEST_F(MessageMgrTest, ReceivedSms)
{
    const std::string sender = "+46701234567";
    const SmsCase cases[] = {
        {"#TEST from lift 4", "+46701234567", ALARMTYPE_TEST, 0, ALARMSTATUS_INFO, " from lift 4\n"},
        {"#TEST", "+46701234567", ALARMTYPE_TEST, 0, ALARMSTATUS_INFO, "\n"},
        {"Passenger trapped", "+46701234567", ALARMTYPE_SMS, 0, ALARMSTATUS_NEW, "Passenger trapped\n"},
        {"#test", "+46701234567", ALARMTYPE_SMS, 0, ALARMSTATUS_NEW, "#test\n"},
        {"", "+46701234567", ALARMTYPE_SMS, 0, ALARMSTATUS_NEW, "\n"},
        // "#P100:2B": identity, sub code digit, extra byte digits.
        {"#P100:2B12345678001", "12345678", ALARMTYPE_OPFAIL, OPFAILTYPE_INPUTS, ALARMSTATUS_NEW, ""},
        {"#P100:2B12345678101", "12345678", ALARMTYPE_OPFAIL, OPFAILTYPE_BATTERY, ALARMSTATUS_NEW, ""},
        {"#P100:2B12345678200", "12345678", ALARMTYPE_OPFAIL, OPFAILTYPE_MIC_SPEAKER, ALARMSTATUS_NEW, ""},
        {"#P100:2B12345678300", "12345678", ALARMTYPE_EMERGENCY_CALL, 0, ALARMSTATUS_NEW, ""},
        {"#P100:2B12345678400", "12345678", ALARMTYPE_EMERGENCY_CALL, 0, ALARMSTATUS_NEW, ""},
        {"#P100:2B12345678500", "12345678", ALARMTYPE_END_OF_ALARM, 0, ALARMSTATUS_INFO, ""},
        {"#P100:2B12345678600", "12345678", ALARMTYPE_MAINTENANCE, 0, ALARMSTATUS_INFO, ""},
        {"#P100:2B12345678701", "12345678", ALARMTYPE_OPFAIL, OPFAILTYPE_MAINS_POWER, ALARMSTATUS_NEW, ""},
        {"#P100:2B12345678800", "12345678", ALARMTYPE_OPFAIL, OPFAILTYPE_STUCK_BUTTON, ALARMSTATUS_NEW, ""},
        {"#P100:2B12345678985", "12345678", ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_UNIT, ALARMSTATUS_INFO,
         "Found Unit(s):1 3 \n"},
        {"#P100:2B12345678903", "12345678", ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_UNIT, ALARMSTATUS_NEW,
         "Missing Unit(s):1 2 \n"},
        {"#P100:2B12345678A03", "12345678", ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_COMMUNICATION, ALARMSTATUS_NEW,
         "No Car Unit\n"},
        {"#P100:2B12345678a7f", "12345678", ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_COMMUNICATION, ALARMSTATUS_NEW,
         "Unknown Error, Code: 127\n"},
        {"#P100:2B12345678B00", "12345678", ALARMTYPE_OPFAIL, 0, ALARMSTATUS_NEW, ""},
        {"#P100:2B12345678F00", "12345678", ALARMTYPE_OPFAIL, 0, ALARMSTATUS_NEW, ""},
        // Fields that are not hex digits, or missing, read as 0.
        {"#P100:2B12345678GA1", "12345678", ALARMTYPE_OPFAIL, OPFAILTYPE_INPUTS, ALARMSTATUS_NEW, ""},
        {"#P100:2B12345678AZ1", "12345678", ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_COMMUNICATION, ALARMSTATUS_NEW,
         "Bus Communication Error\n"},
        {"#P100:2B12345678A3", "12345678", ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_COMMUNICATION, ALARMSTATUS_NEW,
         "Bus Communication Error\n"},
        {"#P100:2B1234", "1234", ALARMTYPE_OPFAIL, OPFAILTYPE_INPUTS, ALARMSTATUS_NEW, ""},
        {"#P100:2B", "+46701234567", ALARMTYPE_OPFAIL, OPFAILTYPE_INPUTS, ALARMSTATUS_NEW, ""},
        // The identity is eight characters, not bytes.
        {"#P100:2BäöüåÄÖÜÅA01", "äöüåÄÖÜÅ", ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_COMMUNICATION, ALARMSTATUS_NEW,
         "Bus Command Queue Overflow\n"},
    };
    for (const SmsCase& c : cases) {
        SCOPED_TRACE(c.text);
        const auto alarm = FromSms(c.text);
        ASSERT_NE(alarm, nullptr);
        EXPECT_EQ(alarm->AlarmSource, ALARMSOURCE_SMS);
        EXPECT_EQ(alarm->Result, DBRES_ALARM_NEW);
        EXPECT_EQ(alarm->IdCode, c.idCode);
        EXPECT_EQ(alarm->AlarmType, c.alarmType);
        EXPECT_EQ(alarm->OpFailType, c.opFailType);
        EXPECT_EQ(alarm->AlarmStatus, c.status);
        EXPECT_EQ(alarm->Text.GetText(), c.lines + kTimestamp);
        EXPECT_EQ(alarm->AlarmTime, now);
    }
}

TEST_F(MessageMgrTest, AnOverlongSmsIsCutAndLosesItsTimestamp)
{
    const auto alarm = FromSms(std::string(300, 'x'));
    ASSERT_NE(alarm, nullptr);
    EXPECT_EQ(alarm->Text.GetText(), std::string(255, 'x'));
    EXPECT_TRUE(alarm->Text.IsTruncated());
}

TEST_F(MessageMgrTest, TestCallByCallerNumber)
{
    CGsmHandlerMsg call(GSM_CALLER_ID);
    call.smsNumber = "+46317654321";
    const auto alarm = mgr.CreateAlarmInfo(call);
    ASSERT_NE(alarm, nullptr);
    EXPECT_EQ(alarm->AlarmSource, ALARMSOURCE_CALLER_ID);
    EXPECT_EQ(alarm->IdCode, "+46317654321");
    EXPECT_EQ(alarm->AlarmType, ALARMTYPE_TEST);
    EXPECT_EQ(alarm->AlarmStatus, ALARMSTATUS_INFO);
    EXPECT_EQ(alarm->Result, DBRES_ALARM_NEW);
    EXPECT_TRUE(alarm->Text.IsEmpty());
    EXPECT_EQ(alarm->AlarmTime, now);
}

TEST_F(MessageMgrTest, OtherMessagesYieldNoRecord)
{
    EXPECT_EQ(mgr.CreateAlarmInfo(CGsmHandlerMsg(GSM_STATUS)), nullptr);
    EXPECT_EQ(mgr.CreateAlarmInfo(CTelHandlerMsg(TEL_NOTIFY)), nullptr);
    EXPECT_EQ(mgr.CreateAlarmInfo(CAlarmInfoMsg(DBMSG_ALARM_INFO)), nullptr);
    EXPECT_EQ(mgr.CreateAlarmInfo(CMsg(DBMSG_HOURLY_TICK)), nullptr);
    // A type number on the wrong class is not read as that class.
    EXPECT_EQ(mgr.CreateAlarmInfo(CMsg(TEL_ALARM)), nullptr);
    EXPECT_EQ(mgr.CreateAlarmInfo(CTelHandlerMsg(GSM_SMS_RECEIVED)), nullptr);
    EXPECT_EQ(mgr.CreateAlarmInfo(CHandlerMsg(GSM_CALLER_ID)), nullptr);
}

}  // namespace
