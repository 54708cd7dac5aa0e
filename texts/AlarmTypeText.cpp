#include "texts/AlarmTypeText.h"

#include "core/TextLookup.h"

namespace {

std::string OpFailTypeText(uint8_t opFailType, const AlarmTypeTextKeys& keys)
{
    switch (opFailType) {
    case OPFAILTYPE_INPUTS:
        return LookupText(keys.inputs);
    case OPFAILTYPE_BATTERY:
        return LookupText(keys.battery);
    case OPFAILTYPE_MIC_SPEAKER:
        return LookupText(keys.micSpeaker);
    case OPFAILTYPE_MAINS_POWER:
        return LookupText(keys.mainsPower);
    case OPFAILTYPE_STUCK_BUTTON:
        return LookupText(keys.stuckButton);
    default:
        return "";
    }
}

}  // namespace

std::string AlarmTypeText(const CAlarmInfoMsg& alarm, const AlarmTypeTextKeys& keys)
{
    switch (alarm.AlarmType) {
    case ALARMTYPE_P100:
        return "P100";
    case ALARMTYPE_SMS:
        return LookupText(keys.sms);
    case ALARMTYPE_VOICE:
        return LookupText(keys.voice);
    case ALARMTYPE_OPFAIL:
        return OpFailTypeText(alarm.OpFailType, keys);
    case ALARMTYPE_LIFT_MONITORING:
        return LookupText(keys.liftMonitoring);
    case ALARMTYPE_TEST:
        return LookupText(keys.testSuccessful);
    case ALARMTYPE_TEST_FAIL:
        return LookupText(keys.testFail);
    case ALARMTYPE_EMERGENCY_CALL:
        return LookupText(keys.emergencyCall);
    case ALARMTYPE_END_OF_ALARM:
        return LookupText(keys.endOfAlarm);
    case ALARMTYPE_VOICE_REDIRECTED:
        return LookupText(keys.voiceRedirected);
    default:
        return LookupText(keys.undefined);
    }
}
