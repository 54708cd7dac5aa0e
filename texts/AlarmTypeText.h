#pragma once
// The type text of an alarm in a forwarded mail or SMS. Mail and SMS use the
// same rule with their own dictionary keys.

#include "messages/AlarmInfoMsg.h"

#include <string>

struct AlarmTypeTextKeys {
    const char* sms;
    const char* voice;
    const char* voiceRedirected;
    const char* testSuccessful;
    const char* testFail;
    const char* liftMonitoring;
    const char* emergencyCall;
    const char* endOfAlarm;
    const char* inputs;  // operational failures by OpFailType
    const char* battery;
    const char* micSpeaker;
    const char* mainsPower;
    const char* stuckButton;
    const char* undefined;  // maintenance and anything unknown
};

// "P100" for P100 alarms (a fixed text), an empty text for operational
// failures of the other kinds (the bus faults have no text of their own),
// else the dictionary text of the key for the type.
std::string AlarmTypeText(const CAlarmInfoMsg& alarm, const AlarmTypeTextKeys& keys);
