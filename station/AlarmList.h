#pragma once
// The alarm list without its window: which alarms are listed (key, status,
// type), what a new alarm brings up (nothing, the alarm dialog, the voice-call
// console), the record of the waiting voice call until that call ends, the
// two relay outputs that signal waiting alarms, the list refresh (on request,
// by timer, and when the list outgrows its limit) and unattended mode. The
// window shows what this decides and hands the operator's commands back.
// User-interface thread only.

#include "station/AlarmListHost.h"
#include "station/DocumentScreen.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class CAlarmInfoMsg;
class CTelHandlerMsg;
class QTimer;

// The statuses the operator raises a listed alarm to. The numbers are the
// stored AlarmStatus values (2 Acknowledged, 3 Finished).
enum class AlarmStatusChange : uint8_t { Acknowledged = 2, Finished = 3 };

// The stored AlarmStatus value the change writes.
constexpr uint8_t StoredStatus(AlarmStatusChange change)
{
    return static_cast<uint8_t>(change);
}

// The change that raises an alarm to a stored status; none for a status the
// operator never sets (New, Info, or a number that is no status).
std::optional<AlarmStatusChange> StatusChangeTo(uint8_t status);

class CAlarmList {
public:
    // Every status listed (bit 0 New, 1 Acknowledged, 2 Finished, 3 Info).
    static constexpr uint8_t kAllStatuses = 15;
    // Rows beyond MaxAlarmlistItems before the list is read again.
    static constexpr std::size_t kListSlack = 10;
    // Relay outputs: a new voice alarm waits, another new alarm waits.
    static constexpr int16_t kVoiceRelay = 0;
    static constexpr int16_t kAlarmRelay = 1;

    struct Row {
        uint32_t key;
        uint8_t status;
        uint8_t type;
        bool operator==(const Row&) const = default;
    };

    explicit CAlarmList(CAlarmListHost& host);
    ~CAlarmList();
    CAlarmList(const CAlarmList&) = delete;
    CAlarmList& operator=(const CAlarmList&) = delete;

    // A voice alarm waits for the operator's handset only while voice calls
    // are on; the document does not forward such an alarm at once.
    static bool IsVoiceCallAlarm(const CAlarmInfoMsg& alarm, const SettingsValues& settings);
    // What a new alarm brings up on the screen; unattended, no voice call
    // waits for the operator.
    static AlarmPopUp PopUpFor(const CAlarmInfoMsg& alarm, const SettingsValues& settings, bool attended = true);
    // Whether this list keeps the alarm until its call ends (a voice alarm
    // with voice calls on, while attended); the document forwards every
    // other alarm at once.
    bool WaitsForVoiceCall(const CAlarmInfoMsg& alarm) const;

    // A new, stored alarm: listed first; a voice alarm's record is kept until
    // its call ends, every other record is released. With callOver (an
    // alarm taken in before a restart) no call is waited for.
    void OnNewAlarm(std::unique_ptr<CAlarmInfoMsg> alarm, bool callOver = false);
    // Any other alarm reply of the database (found by key, list, nothing
    // found); replies of other results change nothing.
    void OnAlarmReply(std::unique_ptr<CMsg> reply);
    // One step of the waiting voice call; ignored when no call waits.
    void OnVoiceCall(const CTelHandlerMsg& msg);
    // The call of the kept voice alarm is over: forward the alarm when nobody
    // answered, then release it. Nothing when no call waits, so an alarm is
    // never forwarded twice.
    void VoiceCallEnded(bool forward);
    // The operator drops the waiting voice call (the dialog's Ignore).
    void AbortVoiceCall();
    // The telephone handler was stopped: a waiting call can no longer report
    // its end. Its alarm is forwarded unless the operator talked or ignored
    // it, as after an aborted call.
    void TelephoneStopped();

    void RequestRefresh();
    // Requests a refresh, then starts or stops the automatic refresh.
    void RestartRefreshTimer();
    void StopRefreshTimer();
    // Asks for one alarm; the answer opens the alarm dialog.
    void RequestAlarm(uint32_t key);
    void DeleteAlarms(const std::vector<uint32_t>& keys);
    // Raises a listed alarm's status in the name of the operator on duty;
    // never lowers it.
    void SetAlarmStatus(uint32_t key, uint8_t currentStatus, AlarmStatusChange change);
    void SetFilterMask(uint8_t mask);
    uint8_t GetFilterMask() const { return filterMask; }
    // Unattended mode: calls are passed on instead of ringing the operator.
    void SetUnattended(bool on);
    bool IsUnattended() const { return unattended; }

    const std::vector<Row>& Rows() const { return rows; }
    // The alarm whose voice call waits, or nullptr.
    const CAlarmInfoMsg* VoiceCallAlarm() const { return voiceAlarm.get(); }

private:
    void UpdateRelaySignal();
    // A list answer that misses an alarm which arrived while the list was
    // being read asks once more, so the alarm does not vanish from the list.
    void CheckLateAlarms();
    void SendRelay(int16_t relay, bool on);
    void FillRows(const CAlarmInfoMsg* first);
    // Whether the filter shows alarms of this status.
    bool IsListed(uint8_t status) const;
    // The answer's chain with the alarms that wait to be stored in front.
    void AddUnstored(std::unique_ptr<CMsg>& reply, CAlarmInfoMsg*& first);
    // A call ended that nobody answered or dropped: its alarm goes out.
    bool ForwardsEndedCall() const { return !voiceCallAnswered && !voiceCallIgnored; }

    CAlarmListHost& host;
    std::vector<Row> rows;
    uint8_t filterMask = kAllStatuses;
    bool unattended = false;
    std::unique_ptr<CAlarmInfoMsg> voiceAlarm;
    bool voiceCallAnswered = false;
    bool voiceCallIgnored = false;
    std::unique_ptr<QTimer> refreshTimer;
    // List requests whose answer has not come yet, and the new alarms (key,
    // status) that arrived meanwhile: an answer read before such an alarm
    // was stored does not hold it.
    int refreshesPending = 0;
    std::vector<Row> lateAlarms;
};
