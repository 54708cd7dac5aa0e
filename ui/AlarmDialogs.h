#pragma once
// The alarm dialogs as the alarm list sees them: it opens one per alarm shown
// (several may be open at once) and hands the steps of the waiting voice call
// to the one dialog that is in voice-call mode.

#include <cstdint>
#include <string>

class CAlarmInfoMsg;
class CEventMsgDlgHost;

class CAlarmDialogs {
public:
    virtual ~CAlarmDialogs() = default;

    // A new dialog for the alarm (the record is copied; the caller keeps its
    // own), shown beside the main window. In voice-call mode it becomes the
    // voice dialog, replacing an earlier one.
    virtual void Open(const CAlarmInfoMsg& alarm, bool voiceCall, CEventMsgDlgHost& host,
                      const std::string& headerText) = 0;
    // One call-state message (VC_* state, seconds left) for the voice dialog;
    // nothing when none is open.
    virtual void CallProgress(int16_t state, int16_t secondsLeft) = 0;
    // The voice dialog's call is over (it stays open as a normal dialog).
    virtual void ForgetVoiceDialog() = 0;
};
