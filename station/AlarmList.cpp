#include "station/AlarmList.h"

#include "core/OleDateTime.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/AlarmInfoReqMsg.h"
#include "messages/TelHandlerMsg.h"

#include <QTimer>

#include <algorithm>

static_assert(StoredStatus(AlarmStatusChange::Acknowledged) == ALARMSTATUS_ACKNOWLEDGED);
static_assert(StoredStatus(AlarmStatusChange::Finished) == ALARMSTATUS_FINISHED);

std::optional<AlarmStatusChange> StatusChangeTo(uint8_t status)
{
    switch (status) {
    case ALARMSTATUS_ACKNOWLEDGED:
        return AlarmStatusChange::Acknowledged;
    case ALARMSTATUS_FINISHED:
        return AlarmStatusChange::Finished;
    default:
        // New and Info are given by the station, never by the operator.
        return std::nullopt;
    }
}

CAlarmList::CAlarmList(CAlarmListHost& listHost) : host(listHost)
{
}

CAlarmList::~CAlarmList() = default;

bool CAlarmList::IsVoiceCallAlarm(const CAlarmInfoMsg& alarm, const SettingsValues& settings)
{
    return alarm.AlarmType == ALARMTYPE_VOICE && settings.VoiceCallEnabled != 0;
}

AlarmPopUp CAlarmList::PopUpFor(const CAlarmInfoMsg& alarm, const SettingsValues& settings, bool attended)
{
    switch (alarm.AlarmType) {
    case ALARMTYPE_TEST:
    case ALARMTYPE_END_OF_ALARM:
    case ALARMTYPE_MAINTENANCE:
    case ALARMTYPE_VOICE_REDIRECTED:
        // Nobody has to act on these at once.
        return AlarmPopUp::None;
    default:
        break;
    }
    if (attended && IsVoiceCallAlarm(alarm, settings))
        return AlarmPopUp::VoiceCall;
    // An object nobody registered has no pop-up flag of its own; its alarm
    // is shown, since nobody knows whether it matters.
    if (settings.AlarmPopUpEnabled != 0 && (alarm.AlarmPopUpEnabled != 0 || alarm.ObjectKnown == 0))
        return AlarmPopUp::Normal;
    return AlarmPopUp::None;
}

bool CAlarmList::WaitsForVoiceCall(const CAlarmInfoMsg& alarm) const
{
    return !unattended && IsVoiceCallAlarm(alarm, host.Settings());
}

void CAlarmList::OnNewAlarm(std::unique_ptr<CAlarmInfoMsg> alarm, bool callOver)
{
    if (!alarm)
        return;
    const SettingsValues& settings = host.Settings();
    // Unattended, the telephone hangs up a voice call it cannot redirect;
    // nobody rings, and the alarm was forwarded at once. The call of an
    // alarm taken in before a restart is long over: nothing rings either.
    AlarmPopUp popUp = PopUpFor(*alarm, settings, !unattended);
    if (callOver && popUp == AlarmPopUp::VoiceCall)
        popUp = AlarmPopUp::Normal;
    if (popUp == AlarmPopUp::VoiceCall && voiceAlarm) {
        // The line carries one call at a time, so the earlier call has ended
        // without telling us; it must not take its alarm with it.
        TelephoneStopped();
    }

    rows.insert(rows.begin(), Row{alarm->PrimaryKey, alarm->AlarmStatus, alarm->AlarmType});
    if (refreshesPending > 0)
        lateAlarms.push_back(rows.front());
    host.DocScreen().ShowNewAlarm(*alarm, popUp);
    UpdateRelaySignal();
    const std::size_t limit = static_cast<std::size_t>(std::max<int32_t>(settings.MaxAlarmlistItems, 0));
    if (rows.size() > limit + kListSlack)
        RequestRefresh();
    host.DocScreen().Beep(BeepKind::Default);

    if (popUp == AlarmPopUp::VoiceCall) {
        voiceAlarm = std::move(alarm);
        voiceCallAnswered = false;
        voiceCallIgnored = false;
    }
}

void CAlarmList::OnAlarmReply(std::unique_ptr<CMsg> reply)
{
    auto* result = dynamic_cast<CDatabaseMsg*>(reply.get());
    if (result == nullptr)
        return;
    auto* alarm = dynamic_cast<CAlarmInfoMsg*>(result);
    switch (result->Result) {
    case DBRES_ALARM_FOUND_KEY:
        if (alarm != nullptr)
            host.DocScreen().OpenAlarmDialog(*alarm);
        break;
    case DBRES_ALARM_FOUND_LIST:
    case DBRES_ALARM_NONE:
        if (result->Result == DBRES_ALARM_FOUND_LIST && alarm == nullptr)
            break;
        if (result->Result == DBRES_ALARM_NONE)
            alarm = nullptr;  // the empty answer record is no alarm
        AddUnstored(reply, alarm);
        FillRows(alarm);
        host.DocScreen().ShowAlarmList(alarm);
        UpdateRelaySignal();
        CheckLateAlarms();
        break;
    case DBRES_ALARM_EDIT_STALE:
        // The stored alarm was further on than this desk knew (finished by
        // the station itself, for example): read the truth again.
        RequestRefresh();
        break;
    default:
        // Errors and the answers to edits and deletions: the list keeps its
        // rows until the next successful refresh.
        break;
    }
}

bool CAlarmList::IsListed(uint8_t status) const
{
    // A status the filter has no bit for is never filtered out.
    return status < ALARMSTATUS_NEW || status > ALARMSTATUS_INFO || (filterMask & (1u << (status - 1))) != 0;
}

void CAlarmList::AddUnstored(std::unique_ptr<CMsg>& reply, CAlarmInfoMsg*& first)
{
    const std::vector<const CAlarmInfoMsg*> waiting = host.GetUnstoredAlarms();
    if (waiting.empty())
        return;
    // Newest first, like the table's answer; they have no key yet.
    std::unique_ptr<CMsg> chain = first != nullptr ? std::move(reply) : nullptr;
    CAlarmInfoMsg* head = first;
    for (const CAlarmInfoMsg* each : waiting) {
        if (!IsListed(each->AlarmStatus))
            continue;
        std::unique_ptr<CAlarmInfoMsg> copy = each->CloneRecord();
        copy->Result = DBRES_ALARM_FOUND_LIST;
        copy->Next = std::move(chain);
        head = copy.get();
        chain = std::move(copy);
    }
    if (!chain)
        return;
    reply = std::move(chain);
    first = head;
}

void CAlarmList::FillRows(const CAlarmInfoMsg* first)
{
    rows.clear();
    for (const CMsg* msg = first; msg != nullptr; msg = msg->Next.get()) {
        const auto* alarm = dynamic_cast<const CAlarmInfoMsg*>(msg);
        if (alarm != nullptr)
            rows.push_back(Row{alarm->PrimaryKey, alarm->AlarmStatus, alarm->AlarmType});
    }
}

void CAlarmList::CheckLateAlarms()
{
    if (refreshesPending > 0)
        --refreshesPending;
    const bool missing = std::any_of(lateAlarms.begin(), lateAlarms.end(), [this](const Row& late) {
        return IsListed(late.status) &&
               std::none_of(rows.begin(), rows.end(), [&late](const Row& row) { return row.key == late.key; });
    });
    if (missing) {
        // Stored by now (its message follows the commit): the next answer
        // holds it.
        lateAlarms.clear();
        RequestRefresh();
    } else if (refreshesPending == 0) {
        lateAlarms.clear();
    }
}

void CAlarmList::OnVoiceCall(const CTelHandlerMsg& msg)
{
    if (!voiceAlarm)
        return;
    if (msg.value == VC_TALK_TICK)
        voiceCallAnswered = true;
    // The end of the call is decided here, before the dialog hears of it:
    // the dialog reports the end as well, and the first report wins.
    std::unique_ptr<CAlarmInfoMsg> ended;
    bool forward = false;
    switch (msg.value) {
    case VC_ON_HOOK:
        ended = std::move(voiceAlarm);  // the operator talked
        break;
    case VC_ABORTED:
        // The link failed or the call was dropped: unless the operator
        // talked or pressed Ignore, nobody has dealt with the alarm.
        forward = ForwardsEndedCall();
        ended = std::move(voiceAlarm);
        break;
    case VC_TIMEOUT:
        // Nobody picked up the handset: the recipients must hear of it.
        forward = true;
        ended = std::move(voiceAlarm);
        break;
    default:
        break;
    }
    if (ended) {
        voiceCallAnswered = false;
        voiceCallIgnored = false;
        if (forward)
            host.ForwardAlarm(*ended);
        else
            host.DropHeldForwarding(*ended);
    }
    host.DocScreen().ShowCallProgress(msg.value, msg.remaining);
}

void CAlarmList::VoiceCallEnded(bool forward)
{
    std::unique_ptr<CAlarmInfoMsg> alarm = std::move(voiceAlarm);
    voiceCallAnswered = false;
    voiceCallIgnored = false;
    if (!alarm)
        return;
    if (forward)
        host.ForwardAlarm(*alarm);
    else
        host.DropHeldForwarding(*alarm);
}

void CAlarmList::AbortVoiceCall()
{
    if (voiceAlarm)
        voiceCallIgnored = true;
    host.PostToTel(std::make_unique<CTelHandlerMsg>(TEL_ABORT_VOICE_CALL));
}

void CAlarmList::TelephoneStopped()
{
    if (!voiceAlarm)
        return;
    // Decided before the dialog hears of it: the dialog reports the end of
    // the call too, without knowing whether anybody dealt with it.
    VoiceCallEnded(ForwardsEndedCall());
    host.DocScreen().ShowCallProgress(VC_ABORTED, 0);
}

void CAlarmList::RequestRefresh()
{
    auto request = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
    request->Kind = ALARM_KIND_LIST;
    request->MaxCount = static_cast<uint32_t>(std::max<int32_t>(host.Settings().MaxAlarmlistItems, 0));
    request->StatusMask = filterMask;
    ++refreshesPending;
    host.DatabaseRequest(std::move(request));
}

void CAlarmList::RestartRefreshTimer()
{
    RequestRefresh();
    const SettingsValues& settings = host.Settings();
    if (settings.AlarmListAutRefreshEnabled == 0) {
        StopRefreshTimer();
        return;
    }
    if (!refreshTimer) {
        refreshTimer = std::make_unique<QTimer>();
        QObject::connect(refreshTimer.get(), &QTimer::timeout, [this] { RequestRefresh(); });
    }
    const int seconds = std::max<int32_t>(settings.AlarmListRefreshInterval, 1);
    refreshTimer->start(seconds * 1000);
}

void CAlarmList::StopRefreshTimer()
{
    if (refreshTimer)
        refreshTimer->stop();
}

void CAlarmList::RequestAlarm(uint32_t key)
{
    auto request = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
    request->Kind = ALARM_KIND_BY_KEY;
    request->PrimaryKey = key;
    host.DatabaseRequest(std::move(request));
}

void CAlarmList::DeleteAlarms(const std::vector<uint32_t>& keys)
{
    for (uint32_t key : keys) {
        auto request = std::make_unique<CAlarmInfoReqMsg>(DBMSG_DELETE_ALARM_INFO);
        request->Kind = ALARM_KIND_BY_KEY;
        request->PrimaryKey = key;
        host.DatabaseRequest(std::move(request));
        std::erase_if(rows, [key](const Row& row) { return row.key == key; });
    }
    UpdateRelaySignal();
}

void CAlarmList::SetAlarmStatus(uint32_t key, uint8_t currentStatus, AlarmStatusChange change)
{
    const uint8_t newStatus = StoredStatus(change);
    // Nothing goes back, and an Info alarm is never acknowledged or finished.
    // The caller's status may be stale (a dialog opened before the alarm was
    // finished elsewhere): the list's row counts when it is further on, and
    // the database refuses the rest.
    for (const Row& row : rows) {
        if (row.key == key)
            currentStatus = std::max(currentStatus, row.status);
    }
    if (currentStatus >= newStatus || currentStatus == ALARMSTATUS_INFO)
        return;
    const COleDateTime now = COleDateTime::GetCurrentTime();
    const std::string operatorName = host.GetOperatorName();
    auto edit = std::make_unique<CAlarmInfoMsg>(DBMSG_EDIT_ALARM_INFO);
    edit->PrimaryKey = key;
    edit->AlarmStatus = newStatus;
    if (change == AlarmStatusChange::Acknowledged ||
        (change == AlarmStatusChange::Finished && currentStatus == ALARMSTATUS_NEW)) {
        edit->AckTime = now;
        edit->AckOperator = operatorName;
    }
    if (change == AlarmStatusChange::Finished) {
        edit->ExecTime = now;
        edit->ExecOperator = operatorName;
    }
    for (Row& row : rows) {
        if (row.key == key)
            row.status = newStatus;
    }
    host.DocScreen().ShowAlarmStatus(*edit);
    host.DatabaseRequest(std::move(edit));
    UpdateRelaySignal();
}

void CAlarmList::SetFilterMask(uint8_t mask)
{
    filterMask = mask & kAllStatuses;
    RequestRefresh();
}

void CAlarmList::SetUnattended(bool on)
{
    unattended = on;
    auto msg = std::make_unique<CTelHandlerMsg>(TEL_SET_UNATTENDED);
    msg->onOff = on ? 1 : 0;
    host.PostToTel(std::move(msg));
    RequestRefresh();
}

void CAlarmList::UpdateRelaySignal()
{
    if (host.Settings().ExtRelayCtrl == 0)
        return;
    bool voiceWaiting = false;
    bool otherWaiting = false;
    for (const Row& row : rows) {
        if (row.status != ALARMSTATUS_NEW)
            continue;
        if (row.type == ALARMTYPE_VOICE)
            voiceWaiting = true;
        else
            otherWaiting = true;
    }
    SendRelay(kVoiceRelay, voiceWaiting);
    SendRelay(kAlarmRelay, otherWaiting);
}

void CAlarmList::SendRelay(int16_t relay, bool on)
{
    auto msg = std::make_unique<CTelHandlerMsg>(TEL_SET_RELAY);
    msg->relayIndex = relay;
    msg->onOff = on ? 1 : 0;
    host.PostToTel(std::move(msg));
}
