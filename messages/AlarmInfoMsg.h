#pragma once
// The alarm record: one alarm as it is stored in AlarmInfo, plus the object's
// texts and recipients that the database handler copies in when it matches
// the alarm to the register. It is the alarm type of the whole station:
// protocols, GSM and the alarm texts produce it, mail, SMS and the windows read it.

#include "core/OleDateTime.h"
#include "messages/DatabaseMsg.h"
#include "messages/MsgText.h"

#include <cstdint>
#include <memory>
#include <string>

// AlarmType values.
constexpr uint8_t ALARMTYPE_P100 = 1;
constexpr uint8_t ALARMTYPE_SMS = 2;
constexpr uint8_t ALARMTYPE_VOICE = 3;
constexpr uint8_t ALARMTYPE_OPFAIL = 4;
constexpr uint8_t ALARMTYPE_LIFT_MONITORING = 5;
constexpr uint8_t ALARMTYPE_TEST = 6;
constexpr uint8_t ALARMTYPE_TEST_FAIL = 7;
constexpr uint8_t ALARMTYPE_EMERGENCY_CALL = 8;
constexpr uint8_t ALARMTYPE_END_OF_ALARM = 9;
constexpr uint8_t ALARMTYPE_MAINTENANCE = 10;
constexpr uint8_t ALARMTYPE_VOICE_REDIRECTED = 11;

// AlarmSource values.
constexpr uint8_t ALARMSOURCE_TEL = 1;
constexpr uint8_t ALARMSOURCE_SMS = 2;
constexpr uint8_t ALARMSOURCE_INTERNAL = 3;
constexpr uint8_t ALARMSOURCE_CALLER_ID = 4;

// AlarmStatus values; the alarm list filter has one bit per status (bit 0 for 1).
constexpr uint8_t ALARMSTATUS_NEW = 1;
constexpr uint8_t ALARMSTATUS_ACKNOWLEDGED = 2;
constexpr uint8_t ALARMSTATUS_FINISHED = 3;
constexpr uint8_t ALARMSTATUS_INFO = 4;

// OpFailType values (meaningful for ALARMTYPE_OPFAIL).
constexpr uint8_t OPFAILTYPE_INPUTS = 1;
constexpr uint8_t OPFAILTYPE_BATTERY = 2;
constexpr uint8_t OPFAILTYPE_MIC_SPEAKER = 3;
constexpr uint8_t OPFAILTYPE_MAINS_POWER = 4;
constexpr uint8_t OPFAILTYPE_STUCK_BUTTON = 5;
constexpr uint8_t OPFAILTYPE_BUS_UNIT = 6;
constexpr uint8_t OPFAILTYPE_BUS_COMMUNICATION = 7;

// Alarms of these types go to the object's emergency recipients, all others
// to its technical recipients.
constexpr bool IsEmergencyAlarmType(uint8_t alarmType)
{
    return alarmType == ALARMTYPE_VOICE || alarmType == ALARMTYPE_EMERGENCY_CALL ||
           alarmType == ALARMTYPE_VOICE_REDIRECTED;
}

class CAlarmInfoMsg : public CDatabaseMsg {
public:
    CAlarmInfoMsg() : CDatabaseMsg(DBMSG_ALARM_INFO) {}
    explicit CAlarmInfoMsg(uint16_t msgType) : CDatabaseMsg(msgType) {}

    // The next record of a multi-record reply, or nullptr.
    CAlarmInfoMsg* NextAlarm() const { return static_cast<CAlarmInfoMsg*>(Next.get()); }

    uint32_t PrimaryKey = 0;  // 0 until stored; storing writes the assigned key back
    std::string IdCode;
    uint8_t AlarmSource = 0;
    uint8_t AlarmType = 0;
    std::string CallerIdInfo;
    std::string IdInfo;
    std::string ObjectAddress;  // from the register; not stored
    uint8_t OpFailType = 0;
    CMsgText Text;  // at most 255 characters
    uint8_t AlarmStatus = 0;
    COleDateTime AlarmTime;
    COleDateTime AckTime;
    COleDateTime ExecTime;
    std::string AckOperator;
    std::string ExecOperator;
    std::string MailRecipients;     // emergency or technical list of the object; not stored
    std::string SmsRecipients;      // chosen the same way; not stored
    int32_t AlarmPopUpEnabled = 0;  // from the object; not stored
    int32_t ObjectKnown = 0;        // 1 when matched to the register; not stored
    std::string ObjectNotes;        // Notes of the object; not stored
    std::string JournalId;          // record in the alarm journal until stored; not stored

    // A copy of this record alone (without the chain).
    std::unique_ptr<CAlarmInfoMsg> CloneRecord() const
    {
        auto copy = std::make_unique<CAlarmInfoMsg>(GetType());
        copy->Result = Result;
        copy->PrimaryKey = PrimaryKey;
        copy->IdCode = IdCode;
        copy->AlarmSource = AlarmSource;
        copy->AlarmType = AlarmType;
        copy->CallerIdInfo = CallerIdInfo;
        copy->IdInfo = IdInfo;
        copy->ObjectAddress = ObjectAddress;
        copy->OpFailType = OpFailType;
        copy->Text = Text;
        copy->AlarmStatus = AlarmStatus;
        copy->AlarmTime = AlarmTime;
        copy->AckTime = AckTime;
        copy->ExecTime = ExecTime;
        copy->AckOperator = AckOperator;
        copy->ExecOperator = ExecOperator;
        copy->MailRecipients = MailRecipients;
        copy->SmsRecipients = SmsRecipients;
        copy->AlarmPopUpEnabled = AlarmPopUpEnabled;
        copy->ObjectKnown = ObjectKnown;
        copy->ObjectNotes = ObjectNotes;
        copy->JournalId = JournalId;
        return copy;
    }
};
