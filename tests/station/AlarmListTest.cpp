// The alarm list without its window: what a new alarm brings up, the voice
// call's record until the call ends, the relay outputs, the refresh when the
// list outgrows its limit, status changes and unattended mode.

#include "RecordingDocScreen.h"

#include "messages/AlarmInfoMsg.h"
#include "messages/AlarmInfoReqMsg.h"
#include "messages/TelHandlerMsg.h"
#include "station/AlarmList.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// The document as the alarm list sees it.
class FakeListHost : public CAlarmListHost {
public:
    SettingsValues& Settings() override { return settings; }
    CDocumentScreen& DocScreen() override { return screen; }
    std::string GetOperatorName() override { return "Olle"; }
    void DatabaseRequest(std::unique_ptr<CMsg> request) override { requests.push_back(std::move(request)); }
    void PostToTel(std::unique_ptr<CMsg> msg) override { telRequests.push_back(MsgCast<CTelHandlerMsg>(msg)); }
    void ForwardAlarm(const CAlarmInfoMsg& alarm) override { forwarded.push_back(alarm.PrimaryKey); }

    // The relay requests sent so far, as (relay, on) pairs.
    std::vector<std::pair<int16_t, int32_t>> Relays() const
    {
        std::vector<std::pair<int16_t, int32_t>> relays;
        for (const auto& msg : telRequests)
            if (msg->GetType() == TEL_SET_RELAY)
                relays.emplace_back(msg->relayIndex, msg->onOff);
        return relays;
    }
    size_t ListRequests() const
    {
        size_t count = 0;
        for (const auto& msg : requests) {
            auto* request = dynamic_cast<CAlarmInfoReqMsg*>(msg.get());
            if (request != nullptr && request->GetType() == DBMSG_FIND_ALARM_INFO && request->Kind == ALARM_KIND_LIST)
                ++count;
        }
        return count;
    }

    SettingsValues settings;
    RecordingDocScreen screen;
    std::vector<std::unique_ptr<CMsg>> requests;
    std::vector<std::unique_ptr<CTelHandlerMsg>> telRequests;
    std::vector<uint32_t> forwarded;
};

std::unique_ptr<CAlarmInfoMsg> Alarm(uint32_t key, uint8_t type, uint8_t status = ALARMSTATUS_NEW)
{
    auto alarm = std::make_unique<CAlarmInfoMsg>();
    alarm->Result = DBRES_ALARM_NEW;
    alarm->PrimaryKey = key;
    alarm->AlarmType = type;
    alarm->AlarmStatus = status;
    alarm->IdCode = "L" + std::to_string(key);
    return alarm;
}

std::unique_ptr<CTelHandlerMsg> Call(int16_t state, int16_t left = 0)
{
    auto msg = std::make_unique<CTelHandlerMsg>(TEL_VOICE_CALL);
    msg->value = state;
    msg->remaining = left;
    return msg;
}

class AlarmListTest : public ::testing::Test {
protected:
    FakeListHost host;
    CAlarmList list{host};
};

// ---------------------------------------------------------------------------
// What a new alarm brings up

struct PopUpCase {
    const char* name;
    uint8_t type;
    int32_t voiceCalls;   // setting VoiceCallEnabled
    int32_t popUps;       // setting AlarmPopUpEnabled
    int32_t objectPopUp;  // the object's own flag
    int32_t objectKnown;
    AlarmPopUp expected;
};

class AlarmListPopUpTest : public ::testing::TestWithParam<PopUpCase> {};

TEST_P(AlarmListPopUpTest, DecidesTheDialog)
{
    const PopUpCase& c = GetParam();
    SettingsValues settings;
    settings.VoiceCallEnabled = c.voiceCalls;
    settings.AlarmPopUpEnabled = c.popUps;
    auto alarm = Alarm(1, c.type);
    alarm->AlarmPopUpEnabled = c.objectPopUp;
    alarm->ObjectKnown = c.objectKnown;
    EXPECT_EQ(CAlarmList::PopUpFor(*alarm, settings), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AlarmListPopUpTest,
    ::testing::Values(PopUpCase{"TestNeverPopsUp", ALARMTYPE_TEST, 1, 1, 1, 1, AlarmPopUp::None},
                      PopUpCase{"EndOfAlarmNeverPopsUp", ALARMTYPE_END_OF_ALARM, 1, 1, 1, 0, AlarmPopUp::None},
                      PopUpCase{"MaintenanceNeverPopsUp", ALARMTYPE_MAINTENANCE, 1, 1, 1, 0, AlarmPopUp::None},
                      PopUpCase{"RedirectedVoiceNeverPopsUp", ALARMTYPE_VOICE_REDIRECTED, 1, 1, 1, 0, AlarmPopUp::None},
                      PopUpCase{"VoiceWithVoiceCallsIsTheConsole", ALARMTYPE_VOICE, 1, 0, 0, 1, AlarmPopUp::VoiceCall},
                      PopUpCase{"VoiceWithoutVoiceCallsIsAnyAlarm", ALARMTYPE_VOICE, 0, 1, 0, 1, AlarmPopUp::None},
                      PopUpCase{"ObjectFlagOpensTheDialog", ALARMTYPE_P100, 0, 1, 1, 1, AlarmPopUp::Normal},
                      PopUpCase{"UnregisteredObjectOpensTheDialog", ALARMTYPE_SMS, 0, 1, 0, 0, AlarmPopUp::Normal},
                      PopUpCase{"RegisteredObjectWithoutFlagStaysQuiet", ALARMTYPE_P100, 0, 1, 0, 1, AlarmPopUp::None},
                      PopUpCase{"PopUpsOffKeepsEverythingQuiet", ALARMTYPE_TEST_FAIL, 0, 0, 1, 0, AlarmPopUp::None}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AlarmListTest, NewAlarmIsListedFirstAndShownWithABeep)
{
    host.settings.AlarmPopUpEnabled = 1;
    list.OnNewAlarm(Alarm(7, ALARMTYPE_P100));
    list.OnNewAlarm(Alarm(8, ALARMTYPE_TEST, ALARMSTATUS_INFO));

    ASSERT_EQ(host.screen.alarms.size(), 2u);
    EXPECT_EQ(host.screen.alarms[0].popUp, AlarmPopUp::Normal);
    EXPECT_EQ(host.screen.alarms[1].popUp, AlarmPopUp::None);
    EXPECT_EQ(host.screen.base.beeps.size(), 2u);
    EXPECT_EQ(list.Rows(), (std::vector<CAlarmList::Row>{{8, ALARMSTATUS_INFO, ALARMTYPE_TEST},
                                                         {7, ALARMSTATUS_NEW, ALARMTYPE_P100}}));
    // Only a voice call's record is kept.
    EXPECT_EQ(list.VoiceCallAlarm(), nullptr);
}

// ---------------------------------------------------------------------------
// The waiting voice call

struct CallCase {
    const char* name;
    std::vector<int16_t> states;
    bool forwarded;
};

class AlarmListCallTest : public AlarmListTest, public ::testing::WithParamInterface<CallCase> {};

TEST_P(AlarmListCallTest, KeepsTheRecordUntilTheCallEnds)
{
    const CallCase& c = GetParam();
    host.settings.VoiceCallEnabled = 1;
    list.OnNewAlarm(Alarm(5, ALARMTYPE_VOICE));
    ASSERT_NE(list.VoiceCallAlarm(), nullptr);
    EXPECT_EQ(host.screen.alarms.at(0).popUp, AlarmPopUp::VoiceCall);

    for (int16_t state : c.states)
        list.OnVoiceCall(*Call(state, 100));
    // A late duplicate of the end must not forward a second time.
    list.OnVoiceCall(*Call(c.states.back(), 0));

    EXPECT_EQ(list.VoiceCallAlarm(), nullptr);
    EXPECT_EQ(host.forwarded, c.forwarded ? std::vector<uint32_t>{5} : std::vector<uint32_t>{});
    // Every step reached the voice dialog; nothing after the call ended.
    EXPECT_EQ(host.screen.calls.size(), c.states.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AlarmListCallTest,
    ::testing::Values(
        CallCase{"NobodyAnswersItIsForwardedOnce", {VC_NOTIFY_TICK, VC_PICK_UP, VC_NOTIFY_TICK, VC_TIMEOUT}, true},
        CallCase{"TalkThatRunsOutIsForwarded", {VC_PICK_UP, VC_TALK_TICK, VC_TIMEOUT}, true},
        CallCase{"AnsweredAndHungUpIsNotForwarded", {VC_PICK_UP, VC_TALK_TICK, VC_ON_HOOK}, false},
        CallCase{"AbortedBeforeAnyoneAnsweredIsForwarded", {VC_PICK_UP, VC_ABORTED}, true},
        CallCase{"AbortedAfterTheOperatorTalkedIsNotForwarded", {VC_PICK_UP, VC_TALK_TICK, VC_ABORTED}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// The voice dialog reports the end of the call to the list as soon as it
// sees it, asking to forward only after a time-out; the list's own rule for
// an aborted call must still hold.
TEST_F(AlarmListTest, AbortedCallIsForwardedAlthoughTheDialogReportsItsEndFirst)
{
    host.settings.VoiceCallEnabled = 1;
    host.screen.onCallProgress = [this](int16_t state) {
        if (state == VC_ABORTED || state == VC_ON_HOOK)
            list.VoiceCallEnded(false);
    };
    list.OnNewAlarm(Alarm(5, ALARMTYPE_VOICE));
    list.OnVoiceCall(*Call(VC_PICK_UP, 290));
    list.OnVoiceCall(*Call(VC_ABORTED, 0));
    EXPECT_EQ(host.forwarded, std::vector<uint32_t>{5});

    // A telephone restart cuts the next call: the same rule.
    list.OnNewAlarm(Alarm(6, ALARMTYPE_VOICE));
    list.OnVoiceCall(*Call(VC_PICK_UP, 290));
    list.TelephoneStopped();
    EXPECT_EQ(host.forwarded, (std::vector<uint32_t>{5, 6}));
}

TEST_F(AlarmListTest, IgnoredCallIsNotForwardedWhenItIsAborted)
{
    host.settings.VoiceCallEnabled = 1;
    list.OnNewAlarm(Alarm(5, ALARMTYPE_VOICE));
    list.OnVoiceCall(*Call(VC_PICK_UP, 290));
    list.AbortVoiceCall();
    list.OnVoiceCall(*Call(VC_ABORTED, 0));
    EXPECT_TRUE(host.forwarded.empty());
    EXPECT_EQ(list.VoiceCallAlarm(), nullptr);
}

// Unattended, a voice alarm the telephone could not redirect was hung up:
// nobody's handset rings, so the list does not wait for the call.
TEST_F(AlarmListTest, UnattendedVoiceAlarmDoesNotWaitForACall)
{
    host.settings.VoiceCallEnabled = 1;
    host.settings.AlarmPopUpEnabled = 1;
    list.SetUnattended(true);
    auto alarm = Alarm(5, ALARMTYPE_VOICE);
    EXPECT_FALSE(list.WaitsForVoiceCall(*alarm));
    list.OnNewAlarm(std::move(alarm));
    EXPECT_EQ(list.VoiceCallAlarm(), nullptr);
    EXPECT_EQ(host.screen.alarms.at(0).popUp, AlarmPopUp::Normal);

    list.SetUnattended(false);
    EXPECT_TRUE(list.WaitsForVoiceCall(*Alarm(6, ALARMTYPE_VOICE)));
}

TEST_F(AlarmListTest, CallProgressWithoutAWaitingCallGoesNowhere)
{
    list.OnVoiceCall(*Call(VC_TIMEOUT));
    EXPECT_TRUE(host.screen.calls.empty());
    EXPECT_TRUE(host.forwarded.empty());
}

TEST_F(AlarmListTest, OperatorClosingTheConsoleEndsTheCallWithoutForwarding)
{
    host.settings.VoiceCallEnabled = 1;
    list.OnNewAlarm(Alarm(5, ALARMTYPE_VOICE));
    list.AbortVoiceCall();
    list.VoiceCallEnded(false);
    list.OnVoiceCall(*Call(VC_ABORTED));

    ASSERT_EQ(host.telRequests.size() - host.Relays().size(), 1u);
    EXPECT_EQ(host.telRequests.back()->GetType(), TEL_ABORT_VOICE_CALL);
    EXPECT_TRUE(host.forwarded.empty());
    EXPECT_TRUE(host.screen.calls.empty());
}

TEST_F(AlarmListTest, CallCutByATelephoneRestartForwardsOnlyWhenNobodyAnswered)
{
    host.settings.VoiceCallEnabled = 1;
    list.OnNewAlarm(Alarm(5, ALARMTYPE_VOICE));
    list.OnVoiceCall(*Call(VC_PICK_UP, 290));
    list.TelephoneStopped();
    EXPECT_EQ(host.forwarded, std::vector<uint32_t>{5});

    list.OnNewAlarm(Alarm(6, ALARMTYPE_VOICE));
    list.OnVoiceCall(*Call(VC_TALK_TICK, 200));
    list.TelephoneStopped();
    EXPECT_EQ(host.forwarded, std::vector<uint32_t>{5});
    EXPECT_EQ(list.VoiceCallAlarm(), nullptr);
    // The dialog learns that its call is gone.
    EXPECT_EQ(host.screen.calls.back().first, VC_ABORTED);
}

TEST_F(AlarmListTest, ASecondVoiceAlarmDoesNotSwallowTheFirstOnesForwarding)
{
    host.settings.VoiceCallEnabled = 1;
    list.OnNewAlarm(Alarm(5, ALARMTYPE_VOICE));
    list.OnNewAlarm(Alarm(6, ALARMTYPE_VOICE));
    EXPECT_EQ(host.forwarded, std::vector<uint32_t>{5});
    ASSERT_NE(list.VoiceCallAlarm(), nullptr);
    EXPECT_EQ(list.VoiceCallAlarm()->PrimaryKey, 6u);
}

// ---------------------------------------------------------------------------
// Relays, refresh, status changes, unattended mode

TEST_F(AlarmListTest, RelaysFollowTheWaitingNewAlarms)
{
    host.settings.ExtRelayCtrl = 1;
    list.OnNewAlarm(Alarm(1, ALARMTYPE_VOICE));
    EXPECT_EQ(host.Relays(), (std::vector<std::pair<int16_t, int32_t>>{{0, 1}, {1, 0}}));
    list.OnNewAlarm(Alarm(2, ALARMTYPE_SMS));
    list.OnNewAlarm(Alarm(3, ALARMTYPE_TEST, ALARMSTATUS_INFO));
    host.telRequests.clear();

    // Acknowledging the last new voice alarm switches relay 0 off; relay 1
    // stays on for the SMS alarm.
    list.SetAlarmStatus(1, ALARMSTATUS_NEW, AlarmStatusChange::Acknowledged);
    EXPECT_EQ(host.Relays(), (std::vector<std::pair<int16_t, int32_t>>{{0, 0}, {1, 1}}));
    host.telRequests.clear();

    list.DeleteAlarms({2});
    EXPECT_EQ(host.Relays(), (std::vector<std::pair<int16_t, int32_t>>{{0, 0}, {1, 0}}));
}

TEST_F(AlarmListTest, RelaysStayUntouchedWithoutRelayControl)
{
    host.settings.ExtRelayCtrl = 0;
    list.OnNewAlarm(Alarm(1, ALARMTYPE_VOICE));
    list.SetAlarmStatus(1, ALARMSTATUS_NEW, AlarmStatusChange::Finished);
    EXPECT_TRUE(host.Relays().empty());
}

TEST_F(AlarmListTest, ListIsReadAgainOnlyWhenItOutgrowsItsLimitAndSlack)
{
    host.settings.MaxAlarmlistItems = 200;
    for (uint32_t key = 1; key <= 210; ++key)
        list.OnNewAlarm(Alarm(key, ALARMTYPE_TEST, ALARMSTATUS_INFO));
    EXPECT_EQ(host.ListRequests(), 0u);
    list.OnNewAlarm(Alarm(211, ALARMTYPE_TEST, ALARMSTATUS_INFO));
    ASSERT_EQ(host.ListRequests(), 1u);
    auto* request = dynamic_cast<CAlarmInfoReqMsg*>(host.requests.back().get());
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->MaxCount, 200u);
    EXPECT_EQ(request->StatusMask, 15);
}

TEST_F(AlarmListTest, ListRepliesReplaceTheRows)
{
    auto first = Alarm(9, ALARMTYPE_SMS);
    first->Result = DBRES_ALARM_FOUND_LIST;
    first->Next = Alarm(4, ALARMTYPE_VOICE, ALARMSTATUS_FINISHED);
    list.OnAlarmReply(std::move(first));
    EXPECT_EQ(list.Rows(), (std::vector<CAlarmList::Row>{{9, ALARMSTATUS_NEW, ALARMTYPE_SMS},
                                                         {4, ALARMSTATUS_FINISHED, ALARMTYPE_VOICE}}));
    EXPECT_EQ(host.screen.lists.back(), (std::vector<uint32_t>{9, 4}));

    auto error = std::make_unique<CDatabaseMsg>(DBMSG_ALARM_INFO);
    error->Result = DBRES_ALARM_FIND_ERROR;
    list.OnAlarmReply(std::move(error));
    EXPECT_EQ(list.Rows().size(), 2u);  // a failed read keeps the rows

    auto none = std::make_unique<CAlarmInfoMsg>();
    none->Result = DBRES_ALARM_NONE;
    list.OnAlarmReply(std::move(none));
    EXPECT_TRUE(list.Rows().empty());
    EXPECT_TRUE(host.screen.lists.back().empty());
}

// A list answer read before a new alarm was stored must not make that alarm
// vanish from the list: the list is read once more.
struct LateAlarmCase {
    const char* name;
    bool refreshPending;    // a list request was out when the alarm came
    bool answerHoldsAlarm;  // the answer was read after the alarm was stored
    uint8_t filterMask;
    size_t expectedRequests;  // list requests in all
};

void PrintTo(const LateAlarmCase& c, std::ostream* os)
{
    *os << c.name;
}

class AlarmListLateAlarmTest : public AlarmListTest, public ::testing::WithParamInterface<LateAlarmCase> {};

TEST_P(AlarmListLateAlarmTest, ReadsTheListAgainOnlyWhenTheAnswerMissesIt)
{
    const LateAlarmCase& c = GetParam();
    list.SetFilterMask(c.filterMask);  // one request
    if (!c.refreshPending) {
        auto empty = std::make_unique<CAlarmInfoMsg>();
        empty->Result = DBRES_ALARM_NONE;
        list.OnAlarmReply(std::move(empty));
    }
    list.OnNewAlarm(Alarm(7, ALARMTYPE_P100));

    auto answer = Alarm(3, ALARMTYPE_SMS, ALARMSTATUS_FINISHED);
    answer->Result = DBRES_ALARM_FOUND_LIST;
    if (c.answerHoldsAlarm) {
        auto held = Alarm(7, ALARMTYPE_P100);
        held->Result = DBRES_ALARM_FOUND_LIST;
        held->Next = std::move(answer);
        answer = std::move(held);
    }
    list.OnAlarmReply(std::move(answer));
    EXPECT_EQ(host.ListRequests(), c.expectedRequests);

    // The second answer holds it; nothing more is asked.
    auto second = Alarm(7, ALARMTYPE_P100);
    second->Result = DBRES_ALARM_FOUND_LIST;
    list.OnAlarmReply(std::move(second));
    EXPECT_EQ(host.ListRequests(), c.expectedRequests);
    EXPECT_EQ(list.Rows().front().key, 7u);
}

INSTANTIATE_TEST_SUITE_P(Cases, AlarmListLateAlarmTest,
                         ::testing::Values(LateAlarmCase{"AnswerMissesTheAlarm", true, false, 15, 2},
                                           LateAlarmCase{"AnswerHoldsTheAlarm", true, true, 15, 1},
                                           LateAlarmCase{"NoRequestWasOut", false, false, 15, 1},
                                           LateAlarmCase{"NewAlarmsAreNotListed", true, false, 14, 1}),
                         [](const ::testing::TestParamInfo<LateAlarmCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(AlarmListTest, StatusOnlyRisesAndRecordsTheOperator)
{
    list.SetAlarmStatus(3, ALARMSTATUS_FINISHED, AlarmStatusChange::Acknowledged);
    list.SetAlarmStatus(4, ALARMSTATUS_INFO, AlarmStatusChange::Finished);
    EXPECT_TRUE(host.requests.empty());

    list.SetAlarmStatus(5, ALARMSTATUS_NEW, AlarmStatusChange::Finished);
    list.SetAlarmStatus(6, ALARMSTATUS_ACKNOWLEDGED, AlarmStatusChange::Finished);
    ASSERT_EQ(host.requests.size(), 2u);
    auto* fromNew = dynamic_cast<CAlarmInfoMsg*>(host.requests[0].get());
    auto* fromAck = dynamic_cast<CAlarmInfoMsg*>(host.requests[1].get());
    ASSERT_TRUE(fromNew && fromAck);
    EXPECT_EQ(fromNew->GetType(), DBMSG_EDIT_ALARM_INFO);
    EXPECT_EQ(fromNew->AckOperator, "Olle");
    EXPECT_EQ(fromNew->ExecOperator, "Olle");
    EXPECT_TRUE(fromNew->AckTime.IsValid());
    EXPECT_EQ(fromAck->AckOperator, "");
    EXPECT_EQ(fromAck->ExecOperator, "Olle");
}

// Only Acknowledged and Finished are the operator's to set: a dialog that
// asks for any other stored status changes nothing.
TEST(AlarmStatusChangeTest, OnlyAcknowledgedAndFinishedAreChanges)
{
    struct Case {
        uint8_t status;
        std::optional<AlarmStatusChange> change;
    };
    const Case cases[] = {
        {0, std::nullopt},
        {ALARMSTATUS_NEW, std::nullopt},
        {ALARMSTATUS_ACKNOWLEDGED, AlarmStatusChange::Acknowledged},
        {ALARMSTATUS_FINISHED, AlarmStatusChange::Finished},
        {ALARMSTATUS_INFO, std::nullopt},
        {5, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.status));
        EXPECT_EQ(StatusChangeTo(c.status), c.change);
        if (c.change) {
            EXPECT_EQ(StoredStatus(*c.change), c.status);
        }
    }
}

// A dialog that opened while the alarm was new still says so after the
// alarm was finished from the list: its Acknowledge must not take it back.
// An alarm the station finished itself is refused by the database, and the
// list reads the stored truth again.
TEST_F(AlarmListTest, AStaleStatusFromADialogNeverTakesTheAlarmBack)
{
    list.OnNewAlarm(Alarm(7, ALARMTYPE_P100));
    list.SetAlarmStatus(7, ALARMSTATUS_NEW, AlarmStatusChange::Finished);
    host.requests.clear();

    list.SetAlarmStatus(7, ALARMSTATUS_NEW, AlarmStatusChange::Acknowledged);
    EXPECT_TRUE(host.requests.empty());
    EXPECT_EQ(list.Rows().front().status, ALARMSTATUS_FINISHED);

    auto stale = std::make_unique<CAlarmInfoMsg>(DBMSG_ALARM_INFO);
    stale->Result = DBRES_ALARM_EDIT_STALE;
    list.OnAlarmReply(std::move(stale));
    EXPECT_EQ(host.ListRequests(), 1u);
}

TEST_F(AlarmListTest, UnattendedModeTellsTheTelephoneAndRereadsTheList)
{
    list.SetUnattended(true);
    list.SetUnattended(false);
    ASSERT_EQ(host.telRequests.size(), 2u);
    EXPECT_EQ(host.telRequests[0]->GetType(), TEL_SET_UNATTENDED);
    EXPECT_EQ(host.telRequests[0]->onOff, 1);
    EXPECT_EQ(host.telRequests[1]->onOff, 0);
    EXPECT_FALSE(list.IsUnattended());
    EXPECT_EQ(host.ListRequests(), 2u);
}

}  // namespace
