// The alarm dialog: what it shows for an alarm, the voice-call console
// (blinking, the alert while the handset rings, the end of the call and its
// forwarding), the close check during a call, and the set of open dialogs.

#include "BoxAnswerer.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/TelHandlerMsg.h"
#include "ui/AlarmDialogSet.h"
#include "ui/AlertSound.h"
#include "ui/EventMsgDlg.h"
#include "ui/EventMsgDlgHost.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace {

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kBlue(0, 0, 255);
const QColor kYellow(255, 255, 0);

class FakeHost : public CEventMsgDlgHost {
public:
    struct StatusCall {
        uint32_t key;
        uint8_t current;
        uint8_t next;
    };
    struct ObjectInfoCall {
        bool known;
        std::string idCode;
        bool byPhoneNumber;
    };

    const SettingsValues& Settings() override { return settings; }
    void SetAlarmStatus(uint32_t key, uint8_t current, uint8_t next) override
    {
        statusCalls.push_back({key, current, next});
    }
    void VoiceCallEnded(bool forward) override { callEnded.push_back(forward); }
    void DisconnectVoiceCall() override { ++disconnects; }
    void OpenObjectInfo(bool known, const std::string& idCode, bool byPhoneNumber) override
    {
        objectInfoCalls.push_back({known, idCode, byPhoneNumber});
    }
    void DialogClosed(CEventMsgDlg* dialog) override { closed.push_back(dialog); }

    SettingsValues settings;
    std::vector<StatusCall> statusCalls;
    std::vector<bool> callEnded;
    int disconnects = 0;
    std::vector<ObjectInfoCall> objectInfoCalls;
    std::vector<CEventMsgDlg*> closed;
};

// Alarm records are messages and cannot be copied; each test gets its own.
std::unique_ptr<CAlarmInfoMsg> MakeAlarm(uint8_t type = ALARMTYPE_VOICE, uint8_t status = ALARMSTATUS_NEW)
{
    auto record = std::make_unique<CAlarmInfoMsg>();
    CAlarmInfoMsg& alarm = *record;
    alarm.PrimaryKey = 4711;
    alarm.IdCode = "0301234567";
    alarm.AlarmSource = ALARMSOURCE_TEL;
    alarm.AlarmType = type;
    alarm.CallerIdInfo = "0301234567";
    alarm.IdInfo = "Lift 3, Main Street 5";
    alarm.AlarmStatus = status;
    alarm.AlarmTime = COleDateTime(2024, 3, 7, 2, 58, 9);
    alarm.AckTime.SetStatus(COleDateTime::null);
    alarm.ExecTime.SetStatus(COleDateTime::null);
    alarm.Text.AddLine("Passenger trapped");
    alarm.Text.AddLine("Car 2");
    return record;
}

class EventMsgDlgTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (auto& dialog : dialogs)
            delete dialog.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    CEventMsgDlg* Open(const CAlarmInfoMsg& alarm, bool voiceCall, const std::string& header = "Voice call from lift")
    {
        auto* dialog = new CEventMsgDlg(alarm, voiceCall, host, header, sound);
        dialogs.emplace_back(dialog);
        dialog->show();
        return dialog;
    }

    CEventMsgDlg* OpenVoice() { return Open(*MakeAlarm(), true); }

    // Deferred deletion of closed dialogs, as the event loop would do it.
    static void ProcessDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    FakeHost host;
    int plays = 0;
    CAlertSound sound{[this] { ++plays; }};
    std::vector<QPointer<CEventMsgDlg>> dialogs;
};

// --- Blinking -------------------------------------------------------------

TEST_F(EventMsgDlgTest, PanelBlinksSevenTicksShownThreeHiddenWhileRinging)
{
    CEventMsgDlg* dialog = OpenVoice();
    for (int i = 0; i < 5; ++i)
        dialog->OnBlinkTimer();
    EXPECT_FALSE(dialog->IsBlinking());
    EXPECT_EQ(dialog->BlinkCounter(), 0);
    EXPECT_TRUE(dialog->IsCallPanelVisible());

    dialog->OnCallState(VC_PICK_UP, 300);
    ASSERT_TRUE(dialog->IsBlinking());
    std::string pattern;
    for (int i = 0; i < 20; ++i) {
        dialog->OnBlinkTimer();
        pattern += dialog->IsCallPanelVisible() ? 'X' : '.';
    }
    EXPECT_EQ(pattern, "XXXXXXX...XXXXXXX...");

    // Answering in the hidden part of a cycle stops the blinking with the
    // panel shown and the counter at rest.
    for (int i = 0; i < 8; ++i)
        dialog->OnBlinkTimer();
    ASSERT_FALSE(dialog->IsCallPanelVisible());
    dialog->OnCallState(VC_TALK_TICK, 280);
    EXPECT_FALSE(dialog->IsBlinking());
    EXPECT_TRUE(dialog->IsCallPanelVisible());
    for (int i = 0; i < 10; ++i) {
        dialog->OnBlinkTimer();
        EXPECT_TRUE(dialog->IsCallPanelVisible());
        EXPECT_EQ(dialog->BlinkCounter(), 0);
    }
}

// A call rings for minutes with a state every second: the operator typing in
// another window keeps the keyboard the whole time.
TEST_F(EventMsgDlgTest, CallStatesLeaveTheKeyboardWhereItIs)
{
    CEventMsgDlg* dialog = OpenVoice();
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));

    dialog->OnCallState(VC_PICK_UP, 300);
    for (int16_t seconds = 299; seconds > 295; --seconds) {
        dialog->OnCallState(VC_PICK_UP, seconds);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(QApplication::activeWindow(), &elsewhere);
}

// --- The alert while the handset rings --------------------------------------

constexpr int kSilent = -1;  // the operator presses Silent at this point

struct AlertCase {
    const char* name;
    std::vector<int> steps;
    bool alertEnabled;
    int expectedPlays;
};

void PrintTo(const AlertCase& c, std::ostream* os)
{
    *os << c.name;
}

class AlertTest : public EventMsgDlgTest, public ::testing::WithParamInterface<AlertCase> {};

TEST_P(AlertTest, PlaysOnEveryRingingReport)
{
    const AlertCase& c = GetParam();
    host.settings.VoiceCallAlertEnabled = c.alertEnabled ? 1 : 0;
    CEventMsgDlg* dialog = OpenVoice();
    EXPECT_EQ(dialog->SilentButton()->isEnabled(), c.alertEnabled);

    int seconds = 300;
    for (int step : c.steps) {
        if (step == kSilent)
            QTest::mouseClick(dialog->SilentButton(), Qt::LeftButton);
        else
            dialog->OnCallState(static_cast<int16_t>(step), static_cast<int16_t>(seconds--));
    }
    EXPECT_EQ(plays, c.expectedPlays);
}

INSTANTIATE_TEST_SUITE_P(EventMsgDlg, AlertTest,
                         ::testing::Values(AlertCase{"EveryFifthSecond", {2, 1, 1, 1, 1, 2, 1, 1, 1, 1, 2, 1}, true, 3},
                                           AlertCase{"TwoRingsInARowOnce", {2, 2, 2}, true, 1},
                                           AlertCase{"SilentBeforeRinging", {kSilent, 2, 1, 1, 1, 1, 2}, true, 0},
                                           AlertCase{
                                               "SilentStopsIt", {2, 1, kSilent, 1, 1, 1, 2, 1, 1, 1, 1, 2}, true, 1},
                                           AlertCase{"AnsweredStopsIt", {2, 1, 1, 3, 3, 3}, true, 1},
                                           AlertCase{"AlertDisabled", {2, 1, 1, 1, 1, 2}, false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EventMsgDlgTest, SilentButtonDisablesItself)
{
    CEventMsgDlg* dialog = OpenVoice();
    dialog->OnCallState(VC_PICK_UP, 300);
    QTest::mouseClick(dialog->SilentButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog->IsSilenced());
    EXPECT_FALSE(dialog->SilentButton()->isEnabled());
    EXPECT_TRUE(dialog->IsBlinking());  // silencing keeps the visual call
}

// --- Call states --------------------------------------------------------------

struct StateCase {
    const char* name;
    int16_t state;
    QString text;
    QColor color;
    bool voiceButtonsEnabled;
};

void PrintTo(const StateCase& c, std::ostream* os)
{
    *os << c.name;
}

class CallPanelTest : public EventMsgDlgTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(CallPanelTest, ShowsTheStateInItsColour)
{
    const StateCase& c = GetParam();
    CEventMsgDlg* dialog = OpenVoice();
    EXPECT_EQ(dialog->CallPanelText(), QString());
    EXPECT_EQ(dialog->CallPanelColor(), QColor(192, 192, 192));

    dialog->OnCallState(c.state, 100);
    EXPECT_EQ(dialog->CallPanelText(), c.text);
    EXPECT_EQ(dialog->CallPanelColor(), c.color);
    EXPECT_TRUE(dialog->IsCallPanelVisible());
    EXPECT_EQ(dialog->SilentButton()->isEnabled(), c.voiceButtonsEnabled);
    EXPECT_EQ(dialog->VoiceIgnoreButton()->isEnabled(), c.voiceButtonsEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    EventMsgDlg, CallPanelTest,
    ::testing::Values(StateCase{"PickUp", VC_PICK_UP, "PICK UP PHONE", kRed, true},
                      StateCase{"Talk", VC_TALK_TICK, "CALL IN PROGRESS", kGreen, false},
                      StateCase{"OnHook", VC_ON_HOOK, "CALL FINISHED", kBlue, false},
                      StateCase{"Aborted", VC_ABORTED, "CALL ABORTED", QColor(153, 51, 153), false},
                      StateCase{"Timeout", VC_TIMEOUT, "CALL TIMEOUT", QColor(0, 148, 148), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EventMsgDlgTest, NotifyTickAndUnknownStatesOnlyUpdateTheTimeLeft)
{
    CEventMsgDlg* dialog = OpenVoice();
    dialog->OnCallState(VC_NOTIFY_TICK, 299);
    dialog->OnCallState(9, 298);
    EXPECT_EQ(dialog->CallPanelText(), QString());
    EXPECT_FALSE(dialog->IsBlinking());
    EXPECT_EQ(dialog->TimeLeftText(), "04:58");
    EXPECT_TRUE(host.callEnded.empty());
}

struct EndCase {
    const char* name;
    std::vector<int16_t> states;
    std::vector<bool> expectedEnded;  // the forward flags the list hears
};

void PrintTo(const EndCase& c, std::ostream* os)
{
    *os << c.name;
}

class CallEndTest : public EventMsgDlgTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(CallEndTest, TheListHearsTheEndOnceAndForwardsOnlyATimeout)
{
    const EndCase& c = GetParam();
    CEventMsgDlg* dialog = OpenVoice();
    for (int16_t state : c.states)
        dialog->OnCallState(state, 10);
    EXPECT_EQ(host.callEnded, c.expectedEnded);
    EXPECT_FALSE(dialog->IsVoiceCallMode());
    EXPECT_FALSE(dialog->IsBlinking());
    EXPECT_EQ(host.disconnects, 0);
}

INSTANTIATE_TEST_SUITE_P(EventMsgDlg, CallEndTest,
                         ::testing::Values(EndCase{"TimedOutWhileRinging", {2, 1, 1, 1, 1, 2, 1, 6}, {true}},
                                           EndCase{"TimeoutRepeated", {2, 6, 1, 6, 6}, {true}},
                                           EndCase{"FinishedAfterTalk", {2, 3, 3, 4}, {false}},
                                           EndCase{"Aborted", {2, 1, 5}, {false}},
                                           EndCase{"AbortedWhileTalking", {2, 3, 5}, {false}},
                                           EndCase{"LateTimeoutAfterHangUpDoesNotForward", {2, 3, 4, 6}, {false}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EventMsgDlgTest, AfterTalkAndHangUpSilentAndIgnoreStayDisabled)
{
    CEventMsgDlg* dialog = OpenVoice();
    dialog->OnCallState(VC_PICK_UP, 300);
    dialog->OnCallState(VC_TALK_TICK, 420);
    dialog->OnCallState(VC_ON_HOOK, 400);
    EXPECT_FALSE(dialog->SilentButton()->isEnabled());
    EXPECT_FALSE(dialog->VoiceIgnoreButton()->isEnabled());
    EXPECT_EQ(dialog->CallPanelText(), "CALL FINISHED");
    // The call is over: closing asks nothing (a box would be left unanswered here).
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_EQ(host.closed.size(), 1u);
    EXPECT_EQ(host.disconnects, 0);
}

TEST_F(EventMsgDlgTest, TimeLeftAsMinutesAndSeconds)
{
    const std::vector<std::pair<int16_t, QString>> cases = {{90, "01:30"},  {5, "00:05"},   {0, "00:00"},
                                                            {300, "05:00"}, {480, "08:00"}, {-3, "00:00"}};
    CEventMsgDlg* dialog = OpenVoice();
    for (const auto& [seconds, text] : cases) {
        dialog->OnCallState(VC_NOTIFY_TICK, seconds);
        EXPECT_EQ(dialog->TimeLeftText(), text) << seconds;
    }
}

TEST_F(EventMsgDlgTest, VoiceIgnoreDropsTheCallAndKeepsTheDialog)
{
    CEventMsgDlg* dialog = OpenVoice();
    dialog->OnCallState(VC_PICK_UP, 300);
    QTest::mouseClick(dialog->VoiceIgnoreButton(), Qt::LeftButton);
    EXPECT_EQ(host.disconnects, 1);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(host.closed.empty());
    dialog->OnCallState(VC_ABORTED, 250);
    EXPECT_EQ(dialog->CallPanelText(), "CALL ABORTED");
    EXPECT_EQ(host.callEnded, std::vector<bool>{false});
}

// --- Modes ------------------------------------------------------------------------

TEST_F(EventMsgDlgTest, NormalModeDisablesTheVoiceCallGroup)
{
    CEventMsgDlg* dialog = Open(*MakeAlarm(ALARMTYPE_P100), false);
    EXPECT_FALSE(dialog->IsVoiceCallMode());
    EXPECT_FALSE(dialog->IsVoiceGroupEnabled());
    EXPECT_FALSE(dialog->IsTimeLeftEnabled());
    EXPECT_FALSE(dialog->SilentButton()->isEnabled());
    EXPECT_FALSE(dialog->VoiceIgnoreButton()->isEnabled());

    CEventMsgDlg* voice = OpenVoice();
    EXPECT_TRUE(voice->IsVoiceGroupEnabled());
    EXPECT_TRUE(voice->IsTimeLeftEnabled());
    EXPECT_TRUE(voice->SilentButton()->isEnabled());
    EXPECT_TRUE(voice->VoiceIgnoreButton()->isEnabled());
}

// --- Closing ------------------------------------------------------------------------

TEST_F(EventMsgDlgTest, ClosingDuringACallAndCancellingKeepsCallAndDialog)
{
    CEventMsgDlg* dialog = OpenVoice();
    QPointer<CEventMsgDlg> guard(dialog);
    dialog->OnCallState(VC_TALK_TICK, 400);
    {
        BoxAnswerer answerer(QMessageBox::Cancel);
        QTest::keyClick(dialog, Qt::Key_Escape);
        ASSERT_EQ(answerer.asked.size(), 1u);
        EXPECT_EQ(answerer.asked[0], "Warning!, Closing the dialog will disconnect the Voice Call");
    }
    {
        // Acknowledge during the call: the status change stays made.
        BoxAnswerer answerer(QMessageBox::Cancel);
        QTest::mouseClick(dialog->AcknowledgeButton(), Qt::LeftButton);
        EXPECT_EQ(answerer.asked.size(), 1u);
    }
    {
        BoxAnswerer answerer(QMessageBox::Cancel);
        dialog->close();  // the window's close box
        EXPECT_EQ(answerer.asked.size(), 1u);
    }
    ProcessDeletes();
    ASSERT_TRUE(guard);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->IsVoiceCallMode());
    EXPECT_EQ(host.disconnects, 0);
    EXPECT_TRUE(host.callEnded.empty());
    EXPECT_TRUE(host.closed.empty());
    ASSERT_EQ(host.statusCalls.size(), 1u);
    EXPECT_EQ(host.statusCalls[0].next, ALARMSTATUS_ACKNOWLEDGED);
}

TEST_F(EventMsgDlgTest, ClosingDuringACallAndConfirmingDropsTheCallWithoutForwarding)
{
    CEventMsgDlg* dialog = OpenVoice();
    QPointer<CEventMsgDlg> guard(dialog);
    dialog->OnCallState(VC_PICK_UP, 300);
    {
        BoxAnswerer answerer(QMessageBox::Ok);
        QTest::keyClick(dialog, Qt::Key_Escape);
        EXPECT_EQ(answerer.asked.size(), 1u);
    }
    EXPECT_EQ(host.disconnects, 1);
    EXPECT_EQ(host.callEnded, std::vector<bool>{false});
    ASSERT_EQ(host.closed.size(), 1u);
    EXPECT_EQ(host.closed[0], dialog);
    ProcessDeletes();
    EXPECT_FALSE(guard);
}

TEST_F(EventMsgDlgTest, CallEndingWhileTheQuestionIsOpenIsNotDroppedTwice)
{
    CEventMsgDlg* dialog = OpenVoice();
    dialog->OnCallState(VC_PICK_UP, 300);
    // The timeout arrives while the operator reads the question.
    QTimer::singleShot(0, dialog, [dialog] { dialog->OnCallState(VC_TIMEOUT, 0); });
    BoxAnswerer answerer(QMessageBox::Ok, 30);
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_EQ(host.callEnded, std::vector<bool>{true});
    EXPECT_EQ(host.disconnects, 0);
    EXPECT_EQ(host.closed.size(), 1u);
}

struct CloseCase {
    const char* name;
    std::optional<uint8_t> newStatus;
    void (CEventMsgDlg::*action)();
};

void PrintTo(const CloseCase& c, std::ostream* os)
{
    *os << c.name;
}

class CloseButtonTest : public EventMsgDlgTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseButtonTest, ClosesWithoutAQuestionOutsideACall)
{
    const CloseCase& c = GetParam();
    auto alarm = MakeAlarm(ALARMTYPE_P100, ALARMSTATUS_NEW);
    CEventMsgDlg* dialog = Open(*alarm, false);
    QPointer<CEventMsgDlg> guard(dialog);
    BoxAnswerer unexpected(QMessageBox::Cancel);
    (dialog->*c.action)();
    EXPECT_TRUE(unexpected.asked.empty());
    if (c.newStatus) {
        ASSERT_EQ(host.statusCalls.size(), 1u);
        EXPECT_EQ(host.statusCalls[0].key, 4711u);
        EXPECT_EQ(host.statusCalls[0].current, ALARMSTATUS_NEW);
        EXPECT_EQ(host.statusCalls[0].next, *c.newStatus);
    } else {
        EXPECT_TRUE(host.statusCalls.empty());
    }
    EXPECT_EQ(host.closed.size(), 1u);
    ProcessDeletes();
    EXPECT_FALSE(guard);
}

INSTANTIATE_TEST_SUITE_P(EventMsgDlg, CloseButtonTest,
                         ::testing::Values(CloseCase{"Acknowledge", ALARMSTATUS_ACKNOWLEDGED,
                                                     &CEventMsgDlg::OnAcknowledge},
                                           CloseCase{"Finish", ALARMSTATUS_FINISHED, &CEventMsgDlg::OnFinish},
                                           CloseCase{"Ignore", std::nullopt, &CEventMsgDlg::OnAlarmIgnore},
                                           CloseCase{"Escape", std::nullopt, &CEventMsgDlg::reject}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- What the dialog shows ----------------------------------------------------------

struct StatusCase {
    const char* name;
    uint8_t status;
    QString text;
    QColor textColor;
    QColor bkColor;
    bool ackEnabled;
    bool finishEnabled;
    QString ignoreText;
};

void PrintTo(const StatusCase& c, std::ostream* os)
{
    *os << c.name;
}

class StatusTest : public EventMsgDlgTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusTest, StatusFieldAndButtons)
{
    const StatusCase& c = GetParam();
    CEventMsgDlg* dialog = Open(*MakeAlarm(ALARMTYPE_P100, c.status), false);
    EXPECT_EQ(dialog->StatusText(), c.text);
    EXPECT_EQ(dialog->StatusTextColor(), c.textColor);
    EXPECT_EQ(dialog->StatusBkColor(), c.bkColor);
    EXPECT_EQ(dialog->AcknowledgeButton()->isEnabled(), c.ackEnabled);
    EXPECT_EQ(dialog->FinishButton()->isEnabled(), c.finishEnabled);
    EXPECT_EQ(dialog->AlarmIgnoreButton()->text(), c.ignoreText);
    EXPECT_TRUE(dialog->AlarmIgnoreButton()->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    EventMsgDlg, StatusTest,
    ::testing::Values(StatusCase{"New", ALARMSTATUS_NEW, "Status: New Alarm", Qt::white, kRed, true, true, "I&gnore"},
                      StatusCase{"Acknowledged", ALARMSTATUS_ACKNOWLEDGED, "Status: Acknowledged", Qt::black, kYellow,
                                 false, true, "I&gnore"},
                      StatusCase{"Finished", ALARMSTATUS_FINISHED, "Status: Finished", Qt::black, kGreen, false, false,
                                 "Close"},
                      StatusCase{"Info", ALARMSTATUS_INFO, "Status: Info", Qt::white, kBlue, false, false, "Close"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EventMsgDlgTest, AcknowledgeAndFinishFields)
{
    auto finished = MakeAlarm(ALARMTYPE_P100, ALARMSTATUS_FINISHED);
    finished->AckOperator = "Anna";
    finished->AckTime = COleDateTime(2024, 3, 7, 3, 1, 2);
    finished->ExecOperator = "Bert";
    finished->ExecTime = COleDateTime(2024, 3, 7, 4, 5, 6);
    CEventMsgDlg* dialog = Open(*finished, false);
    EXPECT_EQ(dialog->AckText(), "Acknowledged by:Anna");
    EXPECT_EQ(dialog->AckTimeText(), "24-03-07  03:01:02");
    EXPECT_EQ(dialog->FinishText(), "Finished by:Bert");
    EXPECT_EQ(dialog->FinishTimeText(), "24-03-07  04:05:06");

    // Acknowledged: no finish fields; a missing time stays empty.
    auto acknowledged = MakeAlarm(ALARMTYPE_P100, ALARMSTATUS_ACKNOWLEDGED);
    acknowledged->AckOperator = "Anna";
    acknowledged->ExecOperator = "Bert";
    CEventMsgDlg* second = Open(*acknowledged, false);
    EXPECT_EQ(second->AckText(), "Acknowledged by:Anna");
    EXPECT_EQ(second->AckTimeText(), "");
    EXPECT_EQ(second->FinishText(), "");
    EXPECT_EQ(second->FinishTimeText(), "");

    auto fresh = MakeAlarm(ALARMTYPE_P100, ALARMSTATUS_NEW);
    fresh->AckOperator = "Anna";
    fresh->AckTime = COleDateTime(2024, 3, 7, 3, 1, 2);
    CEventMsgDlg* third = Open(*fresh, false);
    EXPECT_EQ(third->AckText(), "");
    EXPECT_EQ(third->AckTimeText(), "");
}

TEST_F(EventMsgDlgTest, AlarmFields)
{
    auto alarm = MakeAlarm(ALARMTYPE_P100);
    alarm->AlarmSource = ALARMSOURCE_CALLER_ID;
    CEventMsgDlg* dialog = Open(*alarm, false);
    EXPECT_EQ(dialog->windowTitle(), "Alarm");
    EXPECT_EQ(dialog->SourceText(), "Caller ID");
    EXPECT_EQ(dialog->IncomingNumberText(), "0301234567");
    EXPECT_EQ(dialog->IdCodeText(), "0301234567");
    EXPECT_EQ(dialog->IdInfoText(), "Lift 3, Main Street 5");
    EXPECT_EQ(dialog->DateText(), "24-03-07");
    EXPECT_EQ(dialog->TimeText(), "02:58:09");
    EXPECT_TRUE(dialog->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(dialog->parentWidget(), nullptr);
    EXPECT_FALSE(dialog->isModal());
}

TEST_F(EventMsgDlgTest, BannerAndSourceTexts)
{
    const std::vector<std::tuple<uint8_t, QString, QColor>> banners = {
        {ALARMTYPE_P100, "P100 ALARM", kRed},
        {ALARMTYPE_OPFAIL, "OPERATIONAL FAILURE ALARM", kRed},
        {ALARMTYPE_TEST, "TEST SUCCESSFUL", kBlue},
        {ALARMTYPE_TEST_FAIL, "TEST ALARM FAILURE", kRed},
        {ALARMTYPE_VOICE_REDIRECTED, "VOICE CALL ALARM", kRed},
        {0, "", kRed},
        {12, "", kRed},
    };
    for (const auto& [type, text, color] : banners) {
        CEventMsgDlg* dialog = Open(*MakeAlarm(type), false);
        EXPECT_EQ(dialog->BannerText(), text) << int(type);
        EXPECT_EQ(dialog->BannerColor(), color) << int(type);
    }
    const std::vector<std::pair<uint8_t, QString>> sources = {{ALARMSOURCE_TEL, "Tel"},
                                                              {ALARMSOURCE_SMS, "SMS"},
                                                              {ALARMSOURCE_INTERNAL, "Internal"},
                                                              {ALARMSOURCE_CALLER_ID, "Caller ID"},
                                                              {0, ""},
                                                              {5, ""}};
    for (const auto& [source, text] : sources) {
        auto alarm = MakeAlarm(ALARMTYPE_P100);
        alarm->AlarmSource = source;
        EXPECT_EQ(Open(*alarm, false)->SourceText(), text) << int(source);
    }
}

TEST_F(EventMsgDlgTest, OperationalFailureKindRightUnderTheHeader)
{
    const std::vector<std::pair<uint8_t, std::string>> kinds = {
        {OPFAILTYPE_BATTERY, "Battery Info"},
        {OPFAILTYPE_BUS_COMMUNICATION, "Bus Communication Failure"},
        {0, "Undefined Alarm Type"},
        {8, "Undefined Alarm Type"}};
    for (const auto& [kind, text] : kinds) {
        auto alarm = MakeAlarm(ALARMTYPE_OPFAIL);
        alarm->OpFailType = kind;
        CEventMsgDlg* dialog = Open(*alarm, false, "Operational failure");
        EXPECT_EQ(dialog->AlarmText().toStdString(),
                  "Operational failure\r\nAlarm Type:" + text + "\r\nPassenger trapped\r\nCar 2\r\n");
    }
    // Other types carry no failure kind, whatever the record says.
    auto p100 = MakeAlarm(ALARMTYPE_P100);
    p100->OpFailType = OPFAILTYPE_BATTERY;
    EXPECT_EQ(Open(*p100, false, "P100")->AlarmText(), "P100\r\nPassenger trapped\r\nCar 2\r\n");
}

TEST_F(EventMsgDlgTest, TruncationWarningIsTheLastLineBeforeTheNotes)
{
    auto alarm = MakeAlarm(ALARMTYPE_SMS);
    alarm->Text.SetText(std::string(300, 'x'));
    ASSERT_TRUE(alarm->Text.IsTruncated());
    alarm->ObjectNotes = "Key in the red box";
    CEventMsgDlg* dialog = Open(*alarm, false, "SMS alarm");
    const std::string expected = "SMS alarm\r\n" + std::string(255, 'x') +
                                 "\r\n"
                                 "WARNING!! Too many characters in text, message truncated...\r\n"
                                 "\r\n"
                                 "Object Info - Notes:\r\n"
                                 "Key in the red box\r\n";
    EXPECT_EQ(dialog->AlarmText().toStdString(), expected);

    // The text field shows the lines as lines.
    const QString shown = dialog->ShownAlarmText();
    EXPECT_FALSE(shown.contains(QLatin1Char('\r')));
    EXPECT_EQ(shown.split(QLatin1Char('\n')).size(), 6);
    EXPECT_TRUE(shown.endsWith("Key in the red box"));

    // Without a cut and without notes: neither block.
    auto plain = MakeAlarm(ALARMTYPE_SMS);
    EXPECT_EQ(Open(*plain, false, "SMS alarm")->AlarmText(), "SMS alarm\r\nPassenger trapped\r\nCar 2\r\n");
}

// --- Object information -------------------------------------------------------------

TEST_F(EventMsgDlgTest, ObjectInfoButtonAsksForTheRightObject)
{
    struct Case {
        int32_t known;
        uint8_t source;
        int32_t useCid;
        QString label;
        bool byPhoneNumber;
    };
    const std::vector<Case> cases = {
        {0, ALARMSOURCE_TEL, 0, "&Add Object Info", false},
        {1, ALARMSOURCE_TEL, 1, "&Edit Object Info", false},
        {1, ALARMSOURCE_CALLER_ID, 0, "&Edit Object Info", false},
        {1, ALARMSOURCE_CALLER_ID, 1, "&Edit Object Info", true},
    };
    for (const Case& c : cases) {
        host.objectInfoCalls.clear();
        host.settings.UseCidPhoneNumber = c.useCid;
        auto alarm = MakeAlarm(ALARMTYPE_P100);
        alarm->ObjectKnown = c.known;
        alarm->AlarmSource = c.source;
        CEventMsgDlg* dialog = Open(*alarm, false);
        EXPECT_EQ(dialog->ObjectInfoButton()->text(), c.label);
        QTest::mouseClick(dialog->ObjectInfoButton(), Qt::LeftButton);
        ASSERT_EQ(host.objectInfoCalls.size(), 1u);
        EXPECT_EQ(host.objectInfoCalls[0].known, c.known != 0);
        EXPECT_EQ(host.objectInfoCalls[0].idCode, "0301234567");
        EXPECT_EQ(host.objectInfoCalls[0].byPhoneNumber, c.byPhoneNumber);
        EXPECT_TRUE(dialog->isVisible());
    }
}

// --- The alert sound ----------------------------------------------------------------

uint32_t U32(const QByteArray& data, int at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<uint8_t>(data[at + i]);
    return value;
}

uint16_t U16(const QByteArray& data, int at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(data[at]) | (static_cast<uint8_t>(data[at + 1]) << 8));
}

TEST(AlertSoundTest, WaveIsMono8Bit11025HzOfAboutNineTenthsOfASecond)
{
    const QByteArray wave = CAlertSound::MakeWave();
    ASSERT_GE(wave.size(), 44);
    EXPECT_EQ(wave.left(4), "RIFF");
    EXPECT_EQ(U32(wave, 4), static_cast<uint32_t>(wave.size() - 8));
    EXPECT_EQ(wave.mid(8, 4), "WAVE");
    EXPECT_EQ(wave.mid(12, 4), "fmt ");
    EXPECT_EQ(U32(wave, 16), 16u);
    EXPECT_EQ(U16(wave, 20), 1);  // PCM
    EXPECT_EQ(U16(wave, 22), 1);  // mono
    EXPECT_EQ(U32(wave, 24), 11025u);
    EXPECT_EQ(U32(wave, 28), 11025u);
    EXPECT_EQ(U16(wave, 32), 1);
    EXPECT_EQ(U16(wave, 34), 8);
    EXPECT_EQ(wave.mid(36, 4), "data");
    const uint32_t samples = U32(wave, 40);
    EXPECT_LE(static_cast<int>(44 + samples), wave.size());
    const double seconds = samples / 11025.0;
    EXPECT_GT(seconds, 0.8);
    EXPECT_LT(seconds, 1.0);

    // Audible, not clipped to silence: the samples swing both ways around 128.
    int low = 255, high = 0;
    for (uint32_t i = 0; i < samples; ++i) {
        const int sample = static_cast<uint8_t>(wave[44 + static_cast<int>(i)]);
        low = std::min(low, sample);
        high = std::max(high, sample);
    }
    EXPECT_LT(low, 64);
    EXPECT_GT(high, 192);
}

TEST(AlertSoundTest, AFailingPlayerNeverReachesTheDialog)
{
    CAlertSound sound([] { throw std::runtime_error("no sound device"); });
    EXPECT_NO_THROW(sound.Play());
}

// --- The set of open dialogs --------------------------------------------------------

class AlarmDialogSetTest : public ::testing::Test {
protected:
    void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    FakeHost host;
    int plays = 0;
    CAlertSound sound{[this] { ++plays; }};
};

TEST_F(AlarmDialogSetTest, CallStatesGoToTheVoiceDialogOnly)
{
    CAlarmDialogSet set(sound);
    set.CallProgress(VC_PICK_UP, 300);  // nothing open: nothing happens
    set.Open(*MakeAlarm(ALARMTYPE_P100), false, host, "P100");
    set.Open(*MakeAlarm(), true, host, "Voice");
    ASSERT_EQ(set.Dialogs().size(), 2u);
    CEventMsgDlg* normal = set.Dialogs()[0];
    CEventMsgDlg* voice = set.VoiceDialog();
    ASSERT_NE(voice, nullptr);
    EXPECT_TRUE(voice->isVisible());

    set.CallProgress(VC_PICK_UP, 300);
    EXPECT_EQ(voice->CallPanelText(), "PICK UP PHONE");
    EXPECT_EQ(normal->CallPanelText(), "");
    EXPECT_EQ(plays, 1);

    set.CallProgress(VC_TIMEOUT, 0);
    EXPECT_EQ(host.callEnded, std::vector<bool>{true});
    set.ForgetVoiceDialog();
    EXPECT_EQ(set.VoiceDialog(), nullptr);
    set.CallProgress(VC_PICK_UP, 300);
    EXPECT_EQ(voice->CallPanelText(), "CALL TIMEOUT");
    EXPECT_EQ(set.Dialogs().size(), 2u);  // it stays open as a normal dialog
}

// Records which windows come up (are raised), in order.
class RaiseLog : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ZOrderChange)
            raised.push_back(watched);
        return false;
    }
    std::vector<QObject*> raised;
};

// An SMS alarm that comes in while the call rings must not vanish under the
// voice dialog, which comes up once a second: the alarms opened after it stay
// over it, in the order they came, and the keyboard stays where it was.
TEST_F(AlarmDialogSetTest, AlarmsArrivingDuringTheRingStayOverTheVoiceDialog)
{
    QWidget mainWindow;
    mainWindow.show();
    CAlarmDialogSet set(sound);
    set.SetOwner(&mainWindow);
    set.Open(*MakeAlarm(ALARMTYPE_P100), false, host, "P100");
    set.Open(*MakeAlarm(), true, host, "Voice");
    set.Open(*MakeAlarm(ALARMTYPE_SMS), false, host, "SMS 1");
    set.Open(*MakeAlarm(ALARMTYPE_SMS), false, host, "SMS 2");
    const std::vector<CEventMsgDlg*> open = set.Dialogs();
    ASSERT_EQ(open.size(), 4u);
    mainWindow.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mainWindow));

    RaiseLog log;
    for (CEventMsgDlg* dialog : open)
        dialog->installEventFilter(&log);
    for (int16_t seconds = 300; seconds > 297; --seconds) {
        log.raised.clear();
        set.CallProgress(VC_PICK_UP, seconds);
        QCoreApplication::processEvents();
        EXPECT_EQ(log.raised, (std::vector<QObject*>{open[1], open[2], open[3]}));
    }
    EXPECT_EQ(QApplication::activeWindow(), &mainWindow);
}

TEST_F(AlarmDialogSetTest, ANewVoiceDialogReplacesTheEarlierOne)
{
    CAlarmDialogSet set(sound);
    set.Open(*MakeAlarm(), true, host, "Voice 1");
    QPointer<CEventMsgDlg> first = set.VoiceDialog();
    set.Open(*MakeAlarm(), true, host, "Voice 2");
    QPointer<CEventMsgDlg> second = set.VoiceDialog();
    ASSERT_NE(first, second);
    // The earlier dialog no longer owns a call: closing it must not drop the new one.
    EXPECT_FALSE(first->IsVoiceCallMode());
    first->close();
    EXPECT_EQ(host.disconnects, 0);
    set.CallProgress(VC_PICK_UP, 300);
    EXPECT_EQ(second->CallPanelText(), "PICK UP PHONE");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first);
    EXPECT_EQ(set.Dialogs().size(), 1u);
}

TEST_F(AlarmDialogSetTest, OpenDialogsGoWithTheSet)
{
    QPointer<CEventMsgDlg> dialog;
    {
        CAlarmDialogSet set(sound);
        set.Open(*MakeAlarm(), true, host, "Voice");
        dialog = set.VoiceDialog();
        ASSERT_TRUE(dialog);
    }
    EXPECT_FALSE(dialog);
    EXPECT_TRUE(host.closed.empty());
}

// Several alarms at once: owned by the main window (so it never comes over
// them), each new one lower than the last by its banner and a title bar, so
// every banner stays in sight, and the first action button has the focus.
TEST_F(AlarmDialogSetTest, DialogsAreOwnedCascadedAndFocusTheirFirstAction)
{
    QWidget mainWindow;
    mainWindow.resize(800, 600);
    mainWindow.show();
    CAlarmDialogSet set(sound);
    set.SetOwner(&mainWindow);
    set.Open(*MakeAlarm(), true, host, "Voice");
    set.Open(*MakeAlarm(ALARMTYPE_SMS), false, host, "SMS");
    set.Open(*MakeAlarm(ALARMTYPE_P100, ALARMSTATUS_FINISHED), false, host, "P100");
    const std::vector<CEventMsgDlg*> open = set.Dialogs();
    ASSERT_EQ(open.size(), 3u);
    const QRect area = mainWindow.screen()->availableGeometry();
    for (std::size_t i = 0; i < open.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(open[i]->parentWidget(), &mainWindow);
        EXPECT_TRUE(open[i]->isWindow());
        EXPECT_TRUE(area.contains(open[i]->geometry().topLeft()));
        if (i > 0) {
            EXPECT_GE(open[i]->y() - open[i - 1]->y(), open[i - 1]->BannerBottom());
            EXPECT_GT(open[i]->x(), open[i - 1]->x());
        }
    }
    EXPECT_EQ(open[0]->focusWidget(), open[0]->AcknowledgeButton());
    EXPECT_TRUE(open[0]->testAttribute(Qt::WA_KeyboardFocusChange));  // the frame is drawn
    // A finished alarm can only be closed.
    EXPECT_EQ(open[2]->focusWidget(), open[2]->AlarmIgnoreButton());
    EXPECT_FALSE(open[2]->AcknowledgeButton()->autoDefault());
}

TEST(AlarmDialogCascade, PositionsStepDownAndStartAgainWhenTheScreenEnds)
{
    const QRect area(0, 0, 1600, 1000);
    const QSize size(600, 500);
    const QPoint first = CAlarmDialogSet::CascadePosition(0, size, 60, area);
    const QPoint second = CAlarmDialogSet::CascadePosition(1, size, 60, area);
    EXPECT_EQ(second - first, QPoint(40, 92));
    for (int index = 0; index < 30; ++index) {
        SCOPED_TRACE(index);
        const QRect placed(CAlarmDialogSet::CascadePosition(index, size, 60, area), size);
        EXPECT_TRUE(area.contains(placed));
    }
    // A screen smaller than the dialog still gets it at its top left.
    EXPECT_EQ(CAlarmDialogSet::CascadePosition(3, QSize(2000, 1200), 60, area), area.topLeft());
}

// A dialog opened while the alarm was new follows the alarm when it is
// acknowledged or finished elsewhere, and never goes back.
TEST_F(EventMsgDlgTest, AStatusChangedElsewhereReachesTheOpenDialog)
{
    CEventMsgDlg* dialog = Open(*MakeAlarm(ALARMTYPE_P100), false);
    auto finished = MakeAlarm(ALARMTYPE_P100, ALARMSTATUS_FINISHED);
    finished->AckOperator.clear();
    finished->ExecOperator = "Olle";
    finished->ExecTime = COleDateTime(2024, 3, 7, 3, 10, 0);

    auto other = MakeAlarm(ALARMTYPE_P100, ALARMSTATUS_FINISHED);
    other->PrimaryKey = 4712;
    dialog->ShowNewStatus(*other);
    EXPECT_EQ(dialog->Status(), ALARMSTATUS_NEW);

    dialog->ShowNewStatus(*finished);
    EXPECT_EQ(dialog->Status(), ALARMSTATUS_FINISHED);
    EXPECT_FALSE(dialog->AcknowledgeButton()->isEnabled());
    EXPECT_FALSE(dialog->FinishButton()->isEnabled());
    EXPECT_TRUE(dialog->FinishText().contains("Olle"));
    EXPECT_TRUE(dialog->AckText().contains("Olle"));  // finished straight from new

    auto acknowledged = MakeAlarm(ALARMTYPE_P100, ALARMSTATUS_ACKNOWLEDGED);
    acknowledged->AckOperator = "Late";
    dialog->ShowNewStatus(*acknowledged);
    EXPECT_EQ(dialog->Status(), ALARMSTATUS_FINISHED);
    EXPECT_FALSE(dialog->AckText().contains("Late"));

    // Acknowledge pressed anyway (a click already on its way) asks with
    // the status the dialog shows now.
    dialog->OnAcknowledge();
    ASSERT_EQ(host.statusCalls.size(), 1u);
    EXPECT_EQ(host.statusCalls[0].current, ALARMSTATUS_FINISHED);
}

}  // namespace
