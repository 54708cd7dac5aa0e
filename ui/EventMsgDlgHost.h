#pragma once
// What an alarm dialog asks of the alarm list that opened it.

#include "core/SettingsValues.h"

#include <cstdint>
#include <string>

class CEventMsgDlgHost {
public:
    virtual ~CEventMsgDlgHost() = default;

    virtual const SettingsValues& Settings() = 0;
    // Acknowledge (2) or Finish (3) of the alarm shown.
    virtual void SetAlarmStatus(uint32_t key, uint8_t currentStatus, uint8_t newStatus) = 0;
    // The call of the voice dialog is over; forward when nobody answered.
    virtual void VoiceCallEnded(bool forward) = 0;
    // Ignore in the Voice Call group, or a close confirmed during the call:
    // the telephone drops the call.
    virtual void DisconnectVoiceCall() = 0;
    // Add Object Info (known false: a new object with this ID code) or Edit
    // Object Info (the registered object, looked up by phone number when
    // byPhoneNumber is set, otherwise by ID code).
    virtual void OpenObjectInfo(bool known, const std::string& idCode, bool byPhoneNumber) = 0;
    // The dialog is closing (it frees itself afterwards).
    virtual void DialogClosed(class CEventMsgDlg* dialog) = 0;
};
