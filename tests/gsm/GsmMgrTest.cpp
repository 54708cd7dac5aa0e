#include "gsm/GsmMgr.h"

#include "core/TextEncoding.h"
#include "messages/TelHandlerMsg.h"
#include "support/Pty.h"
#include "support/RecordingScreen.h"
#include "support/TempDir.h"
#include "support/TestDictionary.h"
#include "tel/SerialPort.h"
#include "texts/MessageMgr.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Stands in for the send-SMS window: records what the manager hands it.
class RecordingSendSmsWindow : public CSendSmsWindow {
public:
    void SetDocument(CDocumentHost* doc) override { document = doc; }
    void ShowWindow() override { ++shown; }
    void OnSendResult(const CGsmHandlerMsg& result) override { results.emplace_back(result.code, result.recipients); }
    void OnSmsNumberReply(std::unique_ptr<CMsg> reply) override { replies.push_back(std::move(reply)); }

    CDocumentHost* document = nullptr;
    int shown = 0;
    std::vector<std::pair<int16_t, std::string>> results;
    std::vector<std::unique_ptr<CMsg>> replies;
};

class GsmMgrTest : public EnglishDictionaryTest {
protected:
    void SetUp() override
    {
        dir.WorkIn();  // the handler's log file
        host.settings.GsmEnabled = 1;
        manager.SetDocument(&host);
    }

    static std::unique_ptr<CAlarmInfoMsg> Alarm(uint8_t type, const std::vector<std::string>& lines = {"Alarm text"},
                                                uint8_t opFail = 0)
    {
        auto alarm = std::make_unique<CAlarmInfoMsg>();
        alarm->AlarmType = type;
        alarm->OpFailType = opFail;
        alarm->IdInfo = "Lift A";
        alarm->ObjectAddress = "Main Street 5";
        for (const std::string& line : lines)
            alarm->Text.AddLine(line);
        return alarm;
    }

    // The next request in the handler's queue, or nullptr.
    std::unique_ptr<CGsmHandlerMsg> TakeRequest()
    {
        std::unique_ptr<CMsg> msg = manager.Handler().GetMsg();
        if (!msg)
            return nullptr;
        auto* request = dynamic_cast<CGsmHandlerMsg*>(msg.get());
        EXPECT_NE(request, nullptr);
        if (!request)
            return nullptr;
        msg.release();
        return std::unique_ptr<CGsmHandlerMsg>(request);
    }

    // The SMS text queued for the alarm.
    std::string AlarmSms(const CAlarmInfoMsg& alarm)
    {
        manager.SendAlarmSms(&alarm, "+46700000001");
        auto request = TakeRequest();
        if (!request) {
            ADD_FAILURE() << "no request queued";
            return "";
        }
        EXPECT_EQ(request->GetType(), MSG_GUI_SEND_ALARM_SMS);
        return request->smsText;
    }

    TempDir dir;
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    RecordingHost host;
    CGsmMgr manager;
};

TEST_F(GsmMgrTest, DisabledGsmStartsAndQueuesNothing)
{
    host.settings.GsmEnabled = 0;
    EXPECT_EQ(manager.Start(nullptr), 1);
    EXPECT_EQ(host.screen.statusLog, (std::vector<std::pair<int, std::string>>{{STATUS_PANE_GSM, "GSM:"},
                                                                               {STATUS_PANE_GSM, "GSM: Disabled"}}));
    EXPECT_EQ(manager.Handler().IsRunning(), 0);
    EXPECT_TRUE(host.screen.portDialogs.empty());
    EXPECT_TRUE(host.saved.empty());

    auto alarm = Alarm(ALARMTYPE_EMERGENCY_CALL);
    manager.SendAlarmSms(alarm.get(), "+46700000001");
    manager.SendFreeformSms("hello", "+46700000001", SENDSMS_REQUEST_ID);
    EXPECT_EQ(TakeRequest(), nullptr);
}

TEST_F(GsmMgrTest, PortInUseAsksForAnotherAndSavesTheChoice)
{
    Pty held, free;
    fs::create_symlink(held.SlavePath(), dir.Path() / "COM3");
    fs::create_symlink(free.SlavePath(), dir.Path() / "COM4");
    SerialPort otherProgram;
    otherProgram.SetPortNumber(3);
    ASSERT_EQ(otherProgram.Open(), COMRET_OK);

    host.settings.GsmComPort = 3;
    host.screen.portAnswers = {int16_t{4}};
    EXPECT_EQ(manager.Start(nullptr), 1);
    EXPECT_EQ(host.screen.portDialogs,
              (std::vector<std::pair<std::string, int16_t>>{{"GSM Modem Serial Port Error", 3}}));
    EXPECT_EQ(host.screen.beeps, std::vector<BeepKind>{BeepKind::Exclamation});
    ASSERT_EQ(host.saved.size(), 1u);
    EXPECT_EQ(host.saved[0].GsmComPort, 4);
    EXPECT_EQ(host.saved[0].GsmEnabled, 1);
    EXPECT_EQ(manager.Handler().IsRunning(), 1);
    EXPECT_EQ(host.screen.panes[STATUS_PANE_GSM], "GSM:");
    EXPECT_EQ(manager.Stop(), HNDRET_STOPPED);
}

TEST_F(GsmMgrTest, CancellingThePortDialogDisablesGsm)
{
    host.settings.GsmComPort = 9;  // nothing there
    EXPECT_EQ(manager.Start(nullptr), 1);
    ASSERT_EQ(host.screen.portDialogs.size(), 1u);
    ASSERT_EQ(host.saved.size(), 1u);
    EXPECT_EQ(host.saved[0].GsmEnabled, 0);
    EXPECT_EQ(host.saved[0].GsmComPort, 9);
    EXPECT_EQ(host.screen.panes[STATUS_PANE_GSM], "GSM: Disabled");
    EXPECT_EQ(manager.Handler().IsRunning(), 0);
    EXPECT_TRUE(host.screen.messages.empty());
}

TEST_F(GsmMgrTest, TestAlarmSmsHasFiveLines)
{
    auto alarm = Alarm(ALARMTYPE_TEST, {"Test alarm received"});
    manager.SendAlarmSms(alarm.get(), "+46700000001;0700000002");
    // One request per number, each with the whole text.
    for (const std::string number : {"+46700000001", "0700000002"}) {
        auto request = TakeRequest();
        ASSERT_NE(request, nullptr);
        EXPECT_EQ(request->GetType(), MSG_GUI_SEND_ALARM_SMS);
        EXPECT_EQ(request->recipients, number);
        EXPECT_EQ(request->smsText,
                  "ORVA ALARM\nType: Test Successful\nID Info: Lift A\nAddress: Main Street 5\nTest alarm received\n");
    }
    EXPECT_EQ(TakeRequest(), nullptr);
}

TEST_F(GsmMgrTest, TypeTextFollowsAlarmAndFailureType)
{
    struct Case {
        uint8_t type;
        uint8_t opFail;
        std::string text;
    };
    const std::vector<Case> cases = {
        {ALARMTYPE_P100, 0, "P100"},
        {ALARMTYPE_SMS, 0, "SMS"},
        {ALARMTYPE_VOICE, 0, "Voice"},
        {ALARMTYPE_OPFAIL, OPFAILTYPE_INPUTS, "Inputs Failure"},
        {ALARMTYPE_OPFAIL, OPFAILTYPE_BATTERY, "Battery Failure"},
        {ALARMTYPE_OPFAIL, OPFAILTYPE_MIC_SPEAKER, "Mic/Speaker Failure"},
        {ALARMTYPE_OPFAIL, OPFAILTYPE_MAINS_POWER, "Mains Power Info"},
        {ALARMTYPE_OPFAIL, OPFAILTYPE_STUCK_BUTTON, "Stuck Emergency Button"},
        {ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_UNIT, ""},
        {ALARMTYPE_OPFAIL, OPFAILTYPE_BUS_COMMUNICATION, ""},
        {ALARMTYPE_LIFT_MONITORING, 0, "Lift Monitoring System"},
        {ALARMTYPE_TEST_FAIL, 0, "Test Fail"},
        {ALARMTYPE_EMERGENCY_CALL, 0, "Emergency Call Activated"},
        {ALARMTYPE_END_OF_ALARM, 0, "End of Alarm"},
        {ALARMTYPE_MAINTENANCE, 0, "Undefined Alarm Type"},
        {ALARMTYPE_VOICE_REDIRECTED, 0, "Voice - Redirected"},
        {0, 0, "Undefined Alarm Type"},
    };
    for (const Case& c : cases) {
        auto alarm = Alarm(c.type, {"x"}, c.opFail);
        EXPECT_EQ(AlarmSms(*alarm).rfind("ORVA ALARM\nType: " + c.text + "\nID Info: ", 0), 0u)
            << int(c.type) << "/" << int(c.opFail);
    }
}

// A lift-monitoring alarm as the message manager writes it from the user
// data of a telephone alarm: the user message files are in the working folder.
std::unique_ptr<CAlarmInfoMsg> LiftMonitoringAlarm(const std::vector<uint8_t>& data, int16_t length,
                                                   int16_t protocol = TELPROT_P100)
{
    CTelHandlerMsg msg(TEL_ALARM);
    msg.msgType = TELMSG_USER_DATA;
    msg.protocol = protocol;
    msg.value = 0;  // a CPC telephone of another maker
    std::copy(data.begin(), data.end(), msg.userData.begin());
    msg.userDataLen = length;
    std::unique_ptr<CAlarmInfoMsg> alarm = CMessageMgr().CreateAlarmInfo(msg);
    if (alarm) {
        alarm->IdInfo = "Lift A";
        alarm->ObjectAddress = "Main Street 5";
    }
    return alarm;
}

// The SMS leaves out the controller's details that follow the first line,
// as many as the message manager wrote, and keeps the technician's
// instructions after them.
TEST_F(GsmMgrTest, LiftMonitoringSmsLeavesOutExactlyTheDetailLines)
{
    std::ofstream(dir.Path() / "UserMsg99.txt") << ":b007\r\nDoor contact open\r\nCall the technician\r\n";
    const std::string head = "ORVA ALARM\nType: Lift Monitoring System\nID Info: Lift A\nAddress: Main Street 5\n";
    const std::string instructions = "Door contact open\nCall the technician\n\n";
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
        int16_t length;
        int16_t protocol;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"FourByteCode", {'b', 7, 0x10, 0}, 4, TELPROT_P100, "Error code: b7\n" + instructions},
        {"FourByteCodeMovingOutsideTheZone", {'b', 7, 0x2E, 3}, 4, TELPROT_P100, "Error code: b7\n" + instructions},
        {"TwoByteCode", {'b', 7}, 2, TELPROT_P100, "Error code: b007\n" + instructions},
        {"ThreeByteCode", {'b', 7, 1}, 3, TELPROT_P100, "Error code: b007\n" + instructions},
        {"CodeNoFileKnows", {'c', 9}, 2, TELPROT_P100, "Error code: c009\n\n"},
        {"Event", {1, 3, 0, 255}, 4, TELPROT_P100, "Travora Alarm Event\n"},
        {"EventFromAnotherMakersTelephone",
         {1, 3, 1, 20},
         4,
         TELPROT_CPC,
         "Travora Alarm Event\nNo Tervin Equipment\n"},
        {"UnsupportedFromAnotherMakersTelephone",
         {7},
         1,
         TELPROT_CPC,
         "Error: Unsupported user message format received!\nNo Tervin Equipment\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto alarm = LiftMonitoringAlarm(c.data, c.length, c.protocol);
        ASSERT_NE(alarm, nullptr);
        ASSERT_EQ(alarm->AlarmType, ALARMTYPE_LIFT_MONITORING);
        EXPECT_EQ(AlarmSms(*alarm), head + c.body);
    }

    // A text of another origin is not cut at all; every other type keeps all lines.
    const std::vector<std::string> lines = {"Lift stopped", "Floor 3", "Pos 12", "Zone 1", "Status 4", "Door"};
    EXPECT_EQ(AlarmSms(*Alarm(ALARMTYPE_LIFT_MONITORING, lines)),
              head + "Lift stopped\nFloor 3\nPos 12\nZone 1\nStatus 4\nDoor\n");
    auto fourByte = LiftMonitoringAlarm({'c', 9, 0x10, 0}, 4);
    fourByte->AlarmType = ALARMTYPE_P100;
    EXPECT_EQ(AlarmSms(*fourByte), "ORVA ALARM\nType: P100\nID Info: Lift A\nAddress: Main Street 5\n"
                                   "Error code: c9\nFloor: 2\nPosition: 0\nFloor zone: Yes\nStatus: Stopped\n\n");
}

// The detail lines are those of the language the texts are written in.
TEST_F(GsmMgrTest, LiftMonitoringSmsInAnotherLanguage)
{
    std::string fourByteSms, twoByteSms;
    {
        const ScopedLanguage french("fr");
        ASSERT_TRUE(french.Switched());
        std::ofstream(dir.Path() / "UserMsg99.txt") << ":b007\r\nPorte ouverte\r\n";
        const auto fourByte = LiftMonitoringAlarm({'b', 7, 0x2E, 3}, 4);
        const auto twoByte = LiftMonitoringAlarm({'b', 7}, 2);
        fourByteSms = AlarmSms(*fourByte);
        twoByteSms = AlarmSms(*twoByte);
    }
    EXPECT_TRUE(fourByteSms.ends_with("\nCode d'erreur : b7\nPorte ouverte\n\n")) << fourByteSms;
    EXPECT_TRUE(twoByteSms.ends_with("\nCode d'erreur : b007\nPorte ouverte\n\n")) << twoByteSms;
}

TEST_F(GsmMgrTest, AlarmSmsIsCutToOneSmsFreeFormIsNot)
{
    const std::string head = "ORVA ALARM\nType: P100\nID Info: Lift A\nAddress: Main Street 5\n";
    const std::size_t room = 160 - head.size();
    ASSERT_LT(room, 160u);

    // 200 characters in all: the first 160 are sent.
    auto alarm = Alarm(ALARMTYPE_P100, {std::string(200 - head.size() - 1, 'a')});
    const std::string ascii = AlarmSms(*alarm);
    EXPECT_EQ(ascii, head + std::string(room, 'a'));

    // Two-byte characters across the cut: 160 characters are kept whole,
    // however many bytes they take.
    std::string wide;
    for (std::size_t i = 0; i < 100; ++i)
        wide += "\xC3\xA4";  // a-umlaut
    alarm = Alarm(ALARMTYPE_P100, {wide});
    std::string cut = AlarmSms(*alarm);
    EXPECT_TRUE(TextEncoding::IsValidUtf8(cut));
    EXPECT_EQ(TextEncoding::CountChars(cut), 160u);
    EXPECT_EQ(cut, head + wide.substr(0, 2 * room));

    // A three-byte character that would be the 161st is left out entirely.
    alarm = Alarm(ALARMTYPE_P100, {std::string(room, 'b') + "\xE2\x82\xAC"});  // euro sign
    EXPECT_EQ(AlarmSms(*alarm), head + std::string(room, 'b'));

    // Exactly 160 characters stay as they are.
    alarm = Alarm(ALARMTYPE_P100, {std::string(room - 1, 'c')});
    EXPECT_EQ(AlarmSms(*alarm), head + std::string(room - 1, 'c') + "\n");

    const std::string longText(200, 'f');
    manager.SendFreeformSms(longText, "+46700000001, +46700000002", SENDSMS_REQUEST_ID);
    auto request = TakeRequest();
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->GetType(), MSG_GUI_SEND_FREEFORMAT_SMS);
    EXPECT_EQ(request->smsText, longText);
    EXPECT_EQ(request->recipients, "+46700000001, +46700000002");
    EXPECT_EQ(request->requestId, SENDSMS_REQUEST_ID);
}

TEST_F(GsmMgrTest, NothingIsQueuedWithoutRecipientsOrRecord)
{
    auto alarm = Alarm(ALARMTYPE_EMERGENCY_CALL);
    manager.SendAlarmSms(alarm.get(), "");
    manager.SendAlarmSms(nullptr, "+46700000001");
    manager.SendFreeformSms("hello", "", SENDSMS_REQUEST_ID);
    EXPECT_EQ(TakeRequest(), nullptr);
    EXPECT_TRUE(host.screen.statusLog.empty());
}

TEST_F(GsmMgrTest, StatusTexts)
{
    struct Case {
        int16_t code;
        int16_t signal;
        std::string pane;  // empty: unchanged
        std::vector<std::pair<std::string, bool>> info;
    };
    const std::string comFailure = "GSM Modem communication failure, check GSM Modem settings and connections...";
    const std::vector<Case> cases = {
        {GHM_STATUS_INITIALIZING, 0, "GSM: Initializing...", {}},
        {GHM_STATUS_PIN_ERROR,
         0,
         "GSM: PIN Error",
         {{"ERROR: GSM Modem PIN-Code error, check the PIN-Code at Settings->Communications...", true}}},
        {GHM_STATUS_PIN_REQUIRED,
         0,
         "GSM: PIN Required",
         {{"ERROR: GSM Modem PIN-Code Required, set up the PIN-Code at Settings->Communications...", true}}},
        {GHM_STATUS_COM_OK, 65, "GSM: Com OK, NET 65%", {}},
        {GHM_STATUS_COM_OK, 0, "GSM: Com OK, No NET", {}},
        {GHM_STATUS_COM_TIMEOUT, 0, "GSM: Com Timeout...", {}},
        {GHM_STATUS_COM_WARNING, 0, "GSM: Com Timeout...", {{"WARNING: " + comFailure, false}}},
        {GHM_STATUS_COM_FAILURE, 0, "GSM: Com Timeout...", {{"ERROR: " + comFailure, true}}},
        {GHM_STATUS_SENDING_SMS, 0, "GSM: Com OK, Sending SMS", {}},
        {GHM_STATUS_SMS_SENT, 0, "", {}},
        {GHM_STATUS_SMS_FAILED, 0, "", {}},
        {42, 0, "", {}},
    };
    for (const Case& c : cases) {
        RecordingHost fresh;
        CGsmMgr mgr;
        mgr.SetDocument(&fresh);
        CGsmHandlerMsg msg(GSM_STATUS);
        msg.code = c.code;
        msg.signal = c.signal;
        mgr.OnHandlerStatus(msg);
        if (c.pane.empty())
            EXPECT_TRUE(fresh.screen.panes.empty()) << c.code;
        else
            EXPECT_EQ(fresh.screen.statusLog, (std::vector<std::pair<int, std::string>>{{STATUS_PANE_GSM, c.pane}}))
                << c.code;
        EXPECT_EQ(fresh.screen.infoLines, c.info) << c.code;
    }
}

TEST_F(GsmMgrTest, SendResultsReachTheWindowOnlyForItsOwnRequests)
{
    RecordingSendSmsWindow window;
    manager.SetSendSmsWindow(&window);
    for (int16_t requestId : {int16_t{0}, int16_t{1}, int16_t{2}}) {
        for (int16_t code : {GHM_STATUS_SMS_SENT, GHM_STATUS_SMS_FAILED}) {
            CGsmHandlerMsg msg(GSM_STATUS);
            msg.code = code;
            msg.requestId = requestId;
            msg.recipients = "+4670000000" + std::to_string(requestId);
            manager.OnHandlerStatus(msg);
        }
    }
    EXPECT_EQ(window.results, (std::vector<std::pair<int16_t, std::string>>{{GHM_STATUS_SMS_SENT, "+46700000001"},
                                                                            {GHM_STATUS_SMS_FAILED, "+46700000001"}}));
    EXPECT_TRUE(host.screen.statusLog.empty());
    EXPECT_TRUE(host.screen.infoLines.empty());
}

TEST_F(GsmMgrTest, SendSmsWindowGetsDocumentShowAndNumberReplies)
{
    // Without a window everything is a no-op.
    manager.ShowSendSmsWindow();
    manager.ForwardToSendSmsWindow(std::make_unique<CMsg>(GSMMGR_MSG_SMS_NUM_REPLY));

    RecordingSendSmsWindow window;
    manager.SetSendSmsWindow(&window);
    EXPECT_EQ(window.document, &host);
    RecordingHost other;
    manager.SetDocument(&other);
    EXPECT_EQ(window.document, &other);

    manager.ShowSendSmsWindow();
    EXPECT_EQ(window.shown, 1);

    manager.ForwardToSendSmsWindow(std::make_unique<CMsg>(GSMMGR_MSG_NO_EFFECT));
    manager.ForwardToSendSmsWindow(std::make_unique<CMsg>(GSMMGR_MSG_SMS_NUM_REPLY));
    ASSERT_EQ(window.replies.size(), 1u);
    EXPECT_EQ(window.replies[0]->GetType(), GSMMGR_MSG_SMS_NUM_REPLY);
}

// --- The outbox ----------------------------------------------------------------

// Alarm SMS as jobs of the outbox: one per number, settled by the handler's
// results, sent again at the next start.
class GsmMgrOutboxTest : public GsmMgrTest {
protected:
    static std::unique_ptr<CAlarmInfoMsg> Journaled(uint8_t type, const std::string& journalId,
                                                    const std::string& idCode)
    {
        auto alarm = Alarm(type);
        alarm->JournalId = journalId;
        alarm->IdCode = idCode;
        return alarm;
    }

    static std::vector<std::unique_ptr<CGsmHandlerMsg>> TakeAll(CGsmMgr& mgr)
    {
        std::vector<std::unique_ptr<CGsmHandlerMsg>> requests;
        while (std::unique_ptr<CMsg> msg = mgr.Handler().GetMsg()) {
            auto* request = dynamic_cast<CGsmHandlerMsg*>(msg.get());
            if (request == nullptr) {
                ADD_FAILURE() << "not a GSM request";
                continue;
            }
            msg.release();
            requests.emplace_back(request);
        }
        return requests;
    }

    static std::vector<std::string> Numbers(const std::vector<std::unique_ptr<CGsmHandlerMsg>>& requests)
    {
        std::vector<std::string> numbers;
        for (const auto& r : requests)
            numbers.push_back(r->recipients);
        return numbers;
    }

    std::string Folder() { return host.Outbox().GetFolder(); }
    bool Kept(const std::string& name) { return fs::exists(fs::path(Folder()) / name); }

    // The job as its file holds it.
    COutbox::Job ReadJob(const std::string& name)
    {
        std::ifstream in(fs::path(Folder()) / name, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        COutbox::Job job;
        EXPECT_TRUE(COutbox::Decode(text, job)) << name;
        return job;
    }

    static std::unique_ptr<CGsmHandlerMsg> Result(int16_t code, const std::string& jobName, const std::string& number,
                                                  uint16_t attempts = 0)
    {
        auto result = std::make_unique<CGsmHandlerMsg>(GSM_STATUS);
        result->code = code;
        result->jobName = jobName;
        result->recipients = number;
        result->attempts = attempts;
        return result;
    }

    // A start whose serial port is missing: the operator cancels the port
    // dialog, so the requests stay in the handler's queue for the test.
    static void StartWithoutPort(CGsmMgr& mgr, RecordingHost& on)
    {
        on.settings.GsmEnabled = 1;
        on.settings.GsmComPort = 9;
        EXPECT_EQ(mgr.Start(nullptr), 1);
        EXPECT_EQ(mgr.Handler().IsRunning(), 0);
    }

    std::vector<std::string> JobLines() const { return host.screen.jobLines; }
};

TEST_F(GsmMgrOutboxTest, OneJobPerNumberWithItsFields)
{
    auto alarm = Journaled(ALARMTYPE_EMERGENCY_CALL, "r1-42", "4711");
    manager.SendAlarmSms(alarm.get(), "+46700000001; 070 000 00 02,");

    const auto requests = TakeAll(manager);
    ASSERT_EQ(requests.size(), 2u);
    const std::vector<std::pair<std::string, std::string>> expected = {{"+46700000001", "r1-42-sms1.job"},
                                                                       {"0700000002", "r1-42-sms2.job"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const CGsmHandlerMsg& r = *requests[i];
        EXPECT_EQ(r.GetType(), MSG_GUI_SEND_ALARM_SMS);
        EXPECT_EQ(r.recipients, expected[i].first);
        EXPECT_EQ(r.jobName, expected[i].second);
        EXPECT_EQ(r.jobFile, (fs::path(Folder()) / expected[i].second).string());
        EXPECT_EQ(r.GetPrecedence(), COutbox::PrecedenceOf(true, false));
        EXPECT_EQ(r.requestId, 0);
        EXPECT_EQ(r.smsText.rfind("ORVA ALARM\nType: Emergency Call Activated\n", 0), 0u) << r.smsText;

        const COutbox::Job job = ReadJob(expected[i].second);
        EXPECT_EQ(job.kind, COutbox::Kind::Sms);
        EXPECT_EQ(job.alarmId, "r1-42");
        EXPECT_EQ(job.slot, "sms" + std::to_string(i + 1));
        EXPECT_EQ(job.alarm, "4711");
        EXPECT_TRUE(job.emergency);
        EXPECT_FALSE(job.held);
        EXPECT_EQ(job.recipients, expected[i].first);
        EXPECT_EQ(job.body, r.smsText);
    }
    EXPECT_EQ(JobLines(),
              (std::vector<std::string>{R"(queued sms alarm="4711" to="+46700000001" emergency job=r1-42-sms1.job)",
                                        R"(queued sms alarm="4711" to="0700000002" emergency job=r1-42-sms2.job)"}));
    EXPECT_EQ(manager.GetWaitingCount(), 2u);
    EXPECT_EQ(host.screen.panes[STATUS_PANE_GSM], "(2 waiting)");

    // The same alarm again (the journal replays it): its jobs are known.
    manager.SendAlarmSms(alarm.get(), "+46700000001; 070 000 00 02,");
    EXPECT_TRUE(TakeAll(manager).empty());
    EXPECT_EQ(JobLines().size(), 2u);
    EXPECT_EQ(manager.GetWaitingCount(), 2u);
    EXPECT_TRUE(host.screen.infoLines.empty());
}

TEST_F(GsmMgrOutboxTest, NewEmergencyAlarmGoesAheadOfNewTechnicalOnes)
{
    manager.SendAlarmSms(Journaled(ALARMTYPE_OPFAIL, "r1-1", "A1").get(), "+3581");
    manager.SendAlarmSms(Journaled(ALARMTYPE_TEST_FAIL, "r1-2", "A2").get(), "+3582");
    manager.SendAlarmSms(Journaled(ALARMTYPE_VOICE, "r1-3", "A3").get(), "+3583");
    const auto requests = TakeAll(manager);
    EXPECT_EQ(Numbers(requests), (std::vector<std::string>{"+3583", "+3581", "+3582"}));
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0]->GetPrecedence(), 3);
    EXPECT_EQ(requests[1]->GetPrecedence(), 2);
    EXPECT_EQ(requests[2]->GetPrecedence(), 2);
}

TEST_F(GsmMgrOutboxTest, ResultSettlesTheJob)
{
    struct Case {
        const char* name;
        int16_t code;
        uint16_t attempts;
        std::string line;
        std::vector<std::pair<std::string, bool>> info;
    };
    const std::vector<Case> cases = {
        {"Sent", GHM_STATUS_SMS_SENT, 0, R"(sent sms alarm="4711" to="+3581" emergency job=r1-9-sms1.job)", {}},
        {"SentAfterARefusal",
         GHM_STATUS_SMS_SENT,
         1,
         R"(sent sms alarm="4711" to="+3581" emergency attempts=1 job=r1-9-sms1.job)",
         {}},
        {"Failed",
         GHM_STATUS_SMS_FAILED,
         4,
         R"(failed sms alarm="4711" to="+3581" emergency attempts=4 job=r1-9-sms1.job)",
         {{"ERROR: The alarm SMS of 4711 to +3581 could not be sent", true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingHost fresh;
        fresh.settings.GsmEnabled = 1;
        CGsmMgr mgr;
        mgr.SetDocument(&fresh);
        RecordingSendSmsWindow window;
        mgr.SetSendSmsWindow(&window);
        CGsmHandlerMsg comOk(GSM_STATUS);
        comOk.code = GHM_STATUS_COM_OK;
        comOk.signal = 65;
        mgr.OnHandlerStatus(comOk);
        mgr.SendAlarmSms(Journaled(ALARMTYPE_EMERGENCY_CALL, "r1-9", "4711").get(), "+3581, +3582");
        ASSERT_EQ(TakeAll(mgr).size(), 2u);
        EXPECT_EQ(fresh.screen.panes[STATUS_PANE_GSM], "GSM: Com OK, NET 65% (2 waiting)");

        // Results that are not this manager's alarm SMS change nothing.
        mgr.OnHandlerStatus(*Result(c.code, "", "+3581"));
        EXPECT_EQ(mgr.GetWaitingCount(), 2u);

        mgr.OnHandlerStatus(*Result(c.code, "r1-9-sms1.job", "+3581", c.attempts));
        EXPECT_FALSE(fs::exists(fs::path(fresh.Outbox().GetFolder()) / "r1-9-sms1.job"));
        EXPECT_TRUE(fs::exists(fs::path(fresh.Outbox().GetFolder()) / "r1-9-sms2.job"));
        ASSERT_EQ(fresh.screen.jobLines.size(), 3u);
        EXPECT_EQ(fresh.screen.jobLines.back(), c.line);
        EXPECT_EQ(fresh.screen.infoLines, c.info);
        EXPECT_EQ(mgr.GetWaitingCount(), 1u);
        EXPECT_EQ(fresh.screen.panes[STATUS_PANE_GSM], "GSM: Com OK, NET 65% (1 waiting)");
        EXPECT_TRUE(window.results.empty());

        mgr.OnHandlerStatus(*Result(GHM_STATUS_SMS_SENT, "r1-9-sms2.job", "+3582"));
        EXPECT_EQ(mgr.GetWaitingCount(), 0u);
        EXPECT_EQ(fresh.screen.panes[STATUS_PANE_GSM], "GSM: Com OK, NET 65%");
        EXPECT_TRUE(fs::is_empty(fresh.Outbox().GetFolder()));
    }
}

// With a disk that takes no file (here the folder went away) the SMS still
// go out, from memory; the operator hears of it once, until a write works
// again.
TEST_F(GsmMgrOutboxTest, UnwrittenJobStillGoesOutAndIsReportedOnce)
{
    const std::string folder = Folder();
    fs::remove_all(folder);
    manager.SendAlarmSms(Journaled(ALARMTYPE_VOICE, "r1-5", "V5").get(), "+3581");
    manager.SendAlarmSms(Journaled(ALARMTYPE_TEST_FAIL, "r1-6", "T6").get(), "+3582");
    auto requests = TakeAll(manager);
    EXPECT_EQ(Numbers(requests), (std::vector<std::string>{"+3581", "+3582"}));
    for (const auto& r : requests) {
        EXPECT_TRUE(r->jobName.empty());
        EXPECT_TRUE(r->jobFile.empty());
        EXPECT_FALSE(r->smsText.empty());
    }
    ASSERT_EQ(host.screen.infoLines.size(), 1u);
    EXPECT_EQ(host.screen.infoLines[0].first.rfind("ERROR: Alarm e-mails and SMS cannot be kept on disk (" + folder, 0),
              0u)
        << host.screen.infoLines[0].first;
    EXPECT_TRUE(host.screen.infoLines[0].second);
    EXPECT_EQ(JobLines(), (std::vector<std::string>{R"(queued sms alarm="V5" to="+3581" emergency job=)",
                                                    R"(queued sms alarm="T6" to="+3582" job=)"}));
    EXPECT_EQ(manager.GetWaitingCount(), 2u);

    // Its result is known by its number.
    manager.OnHandlerStatus(*Result(GHM_STATUS_SMS_FAILED, "", "+3582", 4));
    EXPECT_EQ(manager.GetWaitingCount(), 1u);
    ASSERT_EQ(host.screen.infoLines.size(), 2u);
    ASSERT_EQ(JobLines().size(), 3u);
    EXPECT_EQ(host.screen.infoLines.back(),
              (std::pair<std::string, bool>{"ERROR: The alarm SMS of T6 to +3582 could not be sent", true}));
    EXPECT_EQ(JobLines().back(), R"(failed sms alarm="T6" to="+3582" attempts=4 job=)");

    // The disk works again, then fails again: a new report.
    fs::create_directory(folder);
    manager.SendAlarmSms(Journaled(ALARMTYPE_TEST_FAIL, "r1-7", "T7").get(), "+3583");
    fs::remove_all(folder);
    manager.SendAlarmSms(Journaled(ALARMTYPE_TEST_FAIL, "r1-8", "T8").get(), "+3584");
    EXPECT_EQ(Numbers(TakeAll(manager)), (std::vector<std::string>{"+3583", "+3584"}));
    std::size_t troubles = 0;
    for (const auto& [text, popUp] : host.screen.infoLines)
        troubles += text.rfind("ERROR: Alarm e-mails and SMS cannot be kept", 0) == 0 ? 1 : 0;
    EXPECT_EQ(troubles, 2u);
}

TEST_F(GsmMgrOutboxTest, HeldJobIsKeptUntilItIsSentAgain)
{
    auto voice = Journaled(ALARMTYPE_VOICE, "r1-3", "V3");
    manager.SendAlarmSms(voice.get(), "+3581", true);
    EXPECT_TRUE(TakeAll(manager).empty());
    EXPECT_TRUE(ReadJob("r1-3-sms1.job").held);
    EXPECT_EQ(JobLines(), std::vector<std::string>{R"(held sms alarm="V3" to="+3581" emergency job=r1-3-sms1.job)"});
    EXPECT_EQ(manager.GetWaitingCount(), 0u);

    // Held again: nothing new.
    manager.SendAlarmSms(voice.get(), "+3581", true);
    EXPECT_TRUE(TakeAll(manager).empty());
    EXPECT_EQ(JobLines().size(), 1u);

    // Released: sent as a new alarm's SMS.
    manager.SendAlarmSms(voice.get(), "+3581");
    const auto requests = TakeAll(manager);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]->jobName, "r1-3-sms1.job");
    EXPECT_EQ(requests[0]->GetPrecedence(), COutbox::PrecedenceOf(true, false));
    EXPECT_FALSE(ReadJob("r1-3-sms1.job").held);
    ASSERT_EQ(JobLines().size(), 2u);
    EXPECT_EQ(JobLines().back(), R"(queued sms alarm="V3" to="+3581" emergency job=r1-3-sms1.job)");

    // A held SMS of an alarm without a journal record could never be found
    // again: it is not kept (it goes when the alarm is sent without holding).
    manager.SendAlarmSms(Alarm(ALARMTYPE_VOICE).get(), "+3582", true);
    EXPECT_TRUE(TakeAll(manager).empty());
    EXPECT_EQ(JobLines().size(), 2u);
}

// The station stopped with SMS in its outbox: the next run sends them after
// the new alarms' SMS, releases a held one (its call ended with the
// station), reports those older than a day instead of sending them, and sets
// aside a file it cannot read.
TEST_F(GsmMgrOutboxTest, NextStartSendsWhatWaitsAndReportsWhatExpired)
{
    manager.SendAlarmSms(Journaled(ALARMTYPE_OPFAIL, "r1-1", "T1").get(), "+3581");
    manager.SendAlarmSms(Journaled(ALARMTYPE_EMERGENCY_CALL, "r1-2", "E2").get(), "+3582");
    manager.SendAlarmSms(Journaled(ALARMTYPE_VOICE, "r1-3", "V3").get(), "+3583", true);
    const std::time_t now = std::time(nullptr) + 60;
    COutbox::Job old;
    old.kind = COutbox::Kind::Sms;
    old.alarmId = "r0-9";
    old.slot = "sms1";
    old.alarm = "OLD9";
    old.recipients = "+3589";
    old.body = "ORVA ALARM\n";
    old.created = now - COutbox::kMaxAgeSeconds - 1;
    ASSERT_EQ(host.Outbox().Add(old), COutbox::AddResult::Added);
    std::ofstream(fs::path(Folder()) / "garbage.job") << "not a job";
    TakeAll(manager);

    // The next run.
    host.ReopenOutbox();
    host.screen = RecordingScreen();
    CGsmMgr next;
    next.SetDocument(&host);
    next.SetWallClock([now] { return now; });
    StartWithoutPort(next, host);

    const auto requests = TakeAll(next);
    EXPECT_EQ(Numbers(requests), (std::vector<std::string>{"+3582", "+3583", "+3581"}));
    for (const auto& r : requests) {
        SCOPED_TRACE(r->recipients);
        EXPECT_EQ(r->GetType(), MSG_GUI_SEND_ALARM_SMS);
        EXPECT_FALSE(r->jobName.empty());
        EXPECT_EQ(r->jobFile, (fs::path(Folder()) / r->jobName).string());
        EXPECT_EQ(r->GetPrecedence(), COutbox::PrecedenceOf(r->recipients != "+3581", true));
        EXPECT_EQ(r->smsText.rfind("ORVA ALARM\n", 0), 0u);
    }
    EXPECT_FALSE(ReadJob("r1-3-sms1.job").held);
    EXPECT_FALSE(Kept("r0-9-sms1.job"));
    EXPECT_TRUE(Kept("garbage.job.bad"));

    const std::vector<std::pair<std::string, bool>> expectedInfo = {
        {"NOT SENT: The alarm SMS of OLD9 to +3589 waited more than a day; it was not sent after the restart", true},
        {"ERROR: A waiting alarm e-mail or SMS could not be read and was set aside: " + Folder() + "/garbage.job.bad",
         true},
    };
    EXPECT_EQ(host.screen.infoLines, expectedInfo);
    EXPECT_EQ(host.screen.jobLines,
              (std::vector<std::string>{R"(expired sms alarm="OLD9" to="+3589" job=r0-9-sms1.job)",
                                        R"(waiting sms alarm="T1" to="+3581" job=r1-1-sms1.job)",
                                        R"(waiting sms alarm="E2" to="+3582" emergency job=r1-2-sms1.job)",
                                        R"(waiting sms alarm="V3" to="+3583" emergency job=r1-3-sms1.job)"}));
    EXPECT_EQ(next.GetWaitingCount(), 3u);
    EXPECT_EQ(host.screen.panes[STATUS_PANE_GSM], "GSM: Disabled (3 waiting)");

    // A second start in the same run takes in nothing again.
    StartWithoutPort(next, host);
    EXPECT_TRUE(TakeAll(next).empty());
    EXPECT_EQ(host.screen.jobLines.size(), 4u);

    // The results settle the jobs as for new ones.
    next.OnHandlerStatus(*Result(GHM_STATUS_SMS_SENT, "r1-3-sms1.job", "+3583"));
    EXPECT_FALSE(Kept("r1-3-sms1.job"));
    ASSERT_EQ(host.screen.jobLines.size(), 5u);
    EXPECT_EQ(host.screen.jobLines.back(), R"(sent sms alarm="V3" to="+3583" emergency job=r1-3-sms1.job)");
    EXPECT_EQ(next.GetWaitingCount(), 2u);
}

TEST_F(GsmMgrOutboxTest, StartWithGsmDisabledLeavesTheJobsOnDisk)
{
    manager.SendAlarmSms(Journaled(ALARMTYPE_OPFAIL, "r1-1", "T1").get(), "+3581");
    TakeAll(manager);

    host.ReopenOutbox();
    CGsmMgr next;
    next.SetDocument(&host);
    host.settings.GsmEnabled = 0;
    EXPECT_EQ(next.Start(nullptr), 1);
    EXPECT_TRUE(TakeAll(next).empty());
    EXPECT_TRUE(Kept("r1-1-sms1.job"));
    EXPECT_EQ(next.GetWaitingCount(), 0u);

    // GSM enabled in the settings: the restart of the GSM side sends it.
    StartWithoutPort(next, host);
    EXPECT_EQ(Numbers(TakeAll(next)), std::vector<std::string>{"+3581"});
}

// The journal replays an alarm whose forwarding was under way at a crash
// before the GSM side starts: the start must not hand its SMS on again.
TEST_F(GsmMgrOutboxTest, SmsSentBeforeTheFirstStartIsNotTakenInAgain)
{
    manager.SendAlarmSms(Journaled(ALARMTYPE_EMERGENCY_CALL, "r1-4", "E4").get(), "+3584");
    StartWithoutPort(manager, host);
    EXPECT_EQ(Numbers(TakeAll(manager)), std::vector<std::string>{"+3584"});
    EXPECT_EQ(manager.GetWaitingCount(), 1u);
}

}  // namespace
