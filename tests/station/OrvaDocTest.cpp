// The application document: one notification per queued message and routing
// by type; what happens to a new alarm (stored, shown, forwarded or kept for
// its voice call); the start chain and the stop order; restarts after a
// settings change. The database is a real one in a scratch folder; the mail,
// GSM and telephone handlers are not started, so what the document hands
// them stays countable in their input queues.

#include "RecordingDocScreen.h"

#include "core/TextFormat.h"
#include "core/TextLookup.h"
#include "db/AlarmInfoSet.h"
#include "db/Database.h"
#include "db/DatabaseHandler.h"
#include "db/DbException.h"
#include "db/DbSchema.h"
#include "db/ObjectInfoMsg.h"
#include "gsm/SendSmsWindow.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/GsmHandlerMsg.h"
#include "messages/MailHandlerMsg.h"
#include "messages/TelHandlerMsg.h"
#include "station/InboxNotifier.h"
#include "station/OrvaDoc.h"
#include "support/FakeTickSource.h"
#include "support/TempDir.h"
#include "support/TestDictionary.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A message that reports its destruction.
class TracedMsg : public CMsg {
public:
    TracedMsg(uint16_t type, std::atomic<int>& destroyedCount) : CMsg(type), destroyed(destroyedCount) {}
    ~TracedMsg() override { ++destroyed; }

private:
    std::atomic<int>& destroyed;
};

// Counts the notifications the document's mailbox receives.
class NotificationCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == CInboxNotifier::kEventType)
            ++count;
        return false;
    }
    int count = 0;
};

class RecordingSendSmsWindow : public CSendSmsWindow {
public:
    void SetDocument(CDocumentHost*) override {}
    void ShowWindow() override { ++shown; }
    void OnSendResult(const CGsmHandlerMsg&) override {}
    void OnSmsNumberReply(std::unique_ptr<CMsg>) override { ++replies; }
    int shown = 0;
    int replies = 0;
};

// A scratch folder as the current folder, a settings file of its own and no
// serial ports.
class DocTestBase : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(InstallEnglishDictionary());
        dir.WorkIn();
    }

    // Works off every notification posted so far (and those they cause).
    void Pump(COrvaDoc& doc)
    {
        for (int round = 0; round < 100 && doc.GetInboxCount() > 0; ++round)
            QCoreApplication::sendPostedEvents(doc.GetNotifier(), CInboxNotifier::kEventType);
    }

    // A document whose close waits out its pauses on the test's count
    // instead of in real time.
    std::unique_ptr<COrvaDoc> NewDoc()
    {
        auto doc = std::make_unique<COrvaDoc>(screen);
        doc->SetStopPause([this](uint32_t ms) { pausedMs += ms; });
        return doc;
    }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    RecordingDocScreen screen;
    uint32_t pausedMs = 0;
};

// ---------------------------------------------------------------------------
// Inbox

class DocInboxTest : public DocTestBase {
protected:
    void SetUp() override
    {
        DocTestBase::SetUp();
        doc = NewDoc();
    }
    std::unique_ptr<COrvaDoc> doc;
};

TEST_F(DocInboxTest, EveryQueuedMessageGetsOneNotificationAndEachRoutesOne)
{
    NotificationCounter counter;
    doc->GetNotifier()->installEventFilter(&counter);
    std::atomic<int> destroyed{0};
    constexpr int kThreads = 4;
    constexpr int kPerThread = 50;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&] {
            for (int i = 0; i < kPerThread; ++i)
                doc->PostToDocument(std::make_unique<TracedMsg>(99, destroyed));
        });
    for (auto& poster : posters)
        poster.join();
    ASSERT_EQ(doc->GetInboxCount(), static_cast<size_t>(kThreads * kPerThread));

    // One message taken by hand: the notifications left outnumber the
    // messages by one, and the surplus notification finds nothing to do.
    EXPECT_TRUE(doc->DispatchOne());
    QCoreApplication::sendPostedEvents(doc->GetNotifier(), CInboxNotifier::kEventType);

    EXPECT_EQ(counter.count, kThreads * kPerThread);
    EXPECT_EQ(doc->GetInboxCount(), 0u);
    EXPECT_EQ(destroyed.load(), kThreads * kPerThread);  // unknown types are deleted unread
    EXPECT_FALSE(doc->DispatchOne());
    doc->GetNotifier()->removeEventFilter(&counter);
}

TEST_F(DocInboxTest, MessagesOfTheWrongClassAreDroppedUnread)
{
    std::atomic<int> destroyed{0};
    for (uint16_t type : {TEL_NOTIFY, TEL_VOICE_CALL, MAIL_STATUS, GSM_STATUS, DBMSG_ALARM_INFO})
        doc->PostToDocument(std::make_unique<TracedMsg>(type, destroyed));
    Pump(*doc);
    EXPECT_EQ(destroyed.load(), 5);
    EXPECT_TRUE(screen.events.empty());
}

TEST_F(DocInboxTest, HandlerNotificationsReachTheirManagersPanes)
{
    auto mail = std::make_unique<CMailHandlerMsg>(MAIL_STATUS);
    mail->code = 1;
    auto gsm = std::make_unique<CGsmHandlerMsg>(GSM_STATUS);
    gsm->code = GHM_STATUS_COM_OK;
    gsm->signal = 65;
    auto tel = std::make_unique<CTelHandlerMsg>(TEL_NOTIFY);
    tel->code = TELHND_NOTIFY_RING;
    doc->PostToDocument(std::move(mail));
    doc->PostToDocument(std::move(gsm));
    doc->PostToDocument(std::move(tel));
    Pump(*doc);
    EXPECT_EQ(screen.base.panes[STATUS_PANE_MAIL], "Mail: Connecting");
    EXPECT_EQ(screen.base.panes[STATUS_PANE_GSM], "GSM: Com OK, NET 65%");
    EXPECT_EQ(screen.base.panes[STATUS_PANE_TEL], "TEL: Ring Detect");
}

TEST_F(DocInboxTest, RepliesReachTheWindowsThatAskedForThem)
{
    RecordingSendSmsWindow sendSms;
    doc->GetGsmMgr().SetSendSmsWindow(&sendSms);
    for (uint16_t type : {DBMSG_OBJECT_INFO, DBMSG_CUSTOMER_INFO, DBMSG_MAIL_INFO, DBMSG_SMS_NUM_INFO,
                          DBMSG_EXPORT_INFO, GSMMGR_MSG_SMS_NUM_REPLY, GSMMGR_MSG_NO_EFFECT})
        doc->PostToDocument(std::make_unique<CDatabaseMsg>(type));
    // Print answers before the print window exists have nobody to go to.
    auto print = std::make_unique<CAlarmInfoMsg>();
    print->Result = DBRES_ALARM_PRINT_LIST;
    doc->PostToDocument(std::move(print));
    Pump(*doc);

    EXPECT_EQ(screen.objectReplies,
              (std::vector<uint16_t>{DBMSG_OBJECT_INFO, DBMSG_CUSTOMER_INFO, DBMSG_MAIL_INFO, DBMSG_SMS_NUM_INFO}));
    EXPECT_EQ(screen.exportReplies, std::vector<uint16_t>{DBMSG_EXPORT_INFO});
    EXPECT_EQ(sendSms.replies, 1);
    EXPECT_TRUE(screen.printReplies.empty());
    EXPECT_TRUE(screen.alarms.empty());
    doc->GetGsmMgr().SetSendSmsWindow(nullptr);
}

TEST_F(DocInboxTest, AMessageThatCannotBeHandledDoesNotStopTheRouting)
{
    struct ThrowingScreen : RecordingDocScreen {
        void OnExportReply(std::unique_ptr<CMsg>) override { throw std::runtime_error("window gone"); }
    } throwing;
    COrvaDoc station(throwing);
    station.PostToDocument(std::make_unique<CDatabaseMsg>(DBMSG_EXPORT_INFO));
    station.PostToDocument(std::make_unique<CDatabaseMsg>(DBMSG_OBJECT_INFO));
    EXPECT_TRUE(station.DispatchOne());
    EXPECT_TRUE(station.DispatchOne());
    EXPECT_EQ(throwing.objectReplies, std::vector<uint16_t>{DBMSG_OBJECT_INFO});
}

// ---------------------------------------------------------------------------
// New alarms, on a real database

class DocAlarmTest : public DocTestBase {
protected:
    void SetUp() override
    {
        DocTestBase::SetUp();
        doc = NewDoc();
        SettingsValues& settings = doc->Settings();
        settings.MailEnabled = 1;
        settings.GsmEnabled = 1;  // the GSM handler is not started; its queue shows the SMS
        settings.ExtRelayCtrl = 0;
        ASSERT_EQ(doc->StartDatabase(), 1);
        // The database operations run on this thread; without the relay
        // thread nothing arrives by itself (no hourly tick during a test).
        doc->GetDatabaseHandler()->Stop();
        Pump(*doc);
        screen.events.clear();
    }

    void AddObject(const std::string& idCode, const std::string& idInfo, int32_t testOnly = 0)
    {
        auto object = std::make_unique<CObjectInfoMsg>(DBMSG_ADD_OBJECT_INFO);
        object->IdCode = idCode;
        object->IdInfo = idInfo;
        object->TestAlarmOnly = testOnly;
        object->MailAddrTech = "tech@example.org";
        object->MailAddrEmg = "emergency@example.org";
        object->SmsNumTech = "+4611111";
        object->SmsNumEmg = "+4622222";
        doc->DatabaseRequest(std::move(object));
        Pump(*doc);
    }

    void PostAlarm(uint8_t type, const std::string& idCode = "L1", const std::string& journalId = "")
    {
        auto alarm = std::make_unique<CAlarmInfoMsg>();
        alarm->JournalId = journalId;
        alarm->Result = DBRES_ALARM_NEW;
        alarm->AlarmType = type;
        alarm->AlarmSource = ALARMSOURCE_TEL;
        alarm->AlarmStatus = type == ALARMTYPE_TEST ? ALARMSTATUS_INFO : ALARMSTATUS_NEW;
        alarm->IdCode = idCode;
        alarm->AlarmTime = COleDateTime::GetCurrentTime();
        alarm->Text.SetText("Floor 3\nDoor open");
        // What the supervision fills in for a test failure it raises itself.
        alarm->MailRecipients = "tech@example.org";
        alarm->SmsRecipients = "+4611111";
        doc->PostToDocument(std::move(alarm));
        Pump(*doc);
    }

    void PostCall(int16_t state)
    {
        auto msg = std::make_unique<CTelHandlerMsg>(TEL_VOICE_CALL);
        msg->value = state;
        msg->remaining = 10;
        doc->PostToDocument(std::move(msg));
        Pump(*doc);
    }

    size_t Mails() { return doc->GetMailMgr().Handler().InputQueue().GetCount(); }
    size_t Sms() { return doc->GetGsmMgr().Handler().InputQueue().GetCount(); }

    // The requests that reached the telephone handler, oldest first.
    std::vector<std::unique_ptr<CMsg>> TelRequests()
    {
        std::vector<std::unique_ptr<CMsg>> requests;
        while (std::unique_ptr<CMsg> msg = doc->GetTelMgr().Handler().GetMsg())
            requests.push_back(std::move(msg));
        return requests;
    }

    // The listed alarm of the key, as the database has it now.
    RecordingDocScreen::ShownAlarm ReadAlarm(uint32_t key)
    {
        doc->GetAlarmList().RequestAlarm(key);
        Pump(*doc);
        return screen.dialogs.empty() ? RecordingDocScreen::ShownAlarm{} : screen.dialogs.back();
    }

    std::unique_ptr<COrvaDoc> doc;
};

struct ForwardCase {
    const char* name;
    uint8_t type;
    int32_t voiceCalls;
    int32_t mailAtTest;
    bool forwarded;
    bool kept;
};

class DocForwardTest : public DocAlarmTest, public ::testing::WithParamInterface<ForwardCase> {};

TEST_P(DocForwardTest, NewAlarmIsStoredShownAndForwardedByItsType)
{
    const ForwardCase& c = GetParam();
    doc->Settings().VoiceCallEnabled = c.voiceCalls;
    doc->Settings().SendMailAtTestAlarm = c.mailAtTest;
    AddObject("L1", "Lift 1, Main Street");

    PostAlarm(c.type);

    ASSERT_EQ(screen.alarms.size(), 1u);
    EXPECT_EQ(screen.alarms[0].type, c.type);
    EXPECT_EQ(Mails(), c.forwarded ? 1u : 0u);
    EXPECT_EQ(Sms(), c.forwarded ? 1u : 0u);
    EXPECT_EQ(doc->GetAlarmList().VoiceCallAlarm() != nullptr, c.kept);
    if (c.type != ALARMTYPE_TEST_FAIL) {
        // Stored: the database assigned a key and lists it.
        EXPECT_NE(screen.alarms[0].key, 0u);
        EXPECT_EQ(ReadAlarm(screen.alarms[0].key).type, c.type);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DocForwardTest,
    ::testing::Values(ForwardCase{"VoiceWaitsForTheOperator", ALARMTYPE_VOICE, 1, 0, false, true},
                      ForwardCase{"VoiceWithoutVoiceCallsGoesAtOnce", ALARMTYPE_VOICE, 0, 0, true, false},
                      ForwardCase{"TestIsNotForwardedByDefault", ALARMTYPE_TEST, 0, 0, false, false},
                      ForwardCase{"TestIsForwardedWhenAsked", ALARMTYPE_TEST, 0, 1, true, false},
                      ForwardCase{"MaintenanceIsNeverForwarded", ALARMTYPE_MAINTENANCE, 1, 1, false, false},
                      ForwardCase{"EmergencyIsForwarded", ALARMTYPE_EMERGENCY_CALL, 1, 0, true, false},
                      ForwardCase{"TestFailureIsForwardedWithoutStoringAgain", ALARMTYPE_TEST_FAIL, 0, 0, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DocAlarmTest, UnansweredVoiceCallIsForwardedExactlyOnceAfterItsTimeOut)
{
    doc->Settings().VoiceCallEnabled = 1;
    AddObject("L1", "Lift 1");
    PostAlarm(ALARMTYPE_VOICE);
    PostCall(VC_PICK_UP);
    PostCall(VC_NOTIFY_TICK);
    EXPECT_EQ(Mails(), 0u);

    PostCall(VC_TIMEOUT);
    PostCall(VC_TIMEOUT);
    EXPECT_EQ(Mails(), 1u);
    EXPECT_EQ(Sms(), 1u);
    EXPECT_EQ(doc->GetAlarmList().VoiceCallAlarm(), nullptr);
    EXPECT_EQ(screen.calls.size(), 3u);
}

TEST_F(DocAlarmTest, EndOfAlarmFinishesTheLastEmergencyAlarmAndRereadsTheList)
{
    AddObject("L1", "Lift 1");
    PostAlarm(ALARMTYPE_EMERGENCY_CALL);
    ASSERT_EQ(screen.alarms.size(), 1u);
    const uint32_t emergency = screen.alarms[0].key;
    const size_t listsBefore = screen.lists.size();

    PostAlarm(ALARMTYPE_END_OF_ALARM);

    EXPECT_EQ(screen.lists.size(), listsBefore + 1);
    EXPECT_EQ(ReadAlarm(emergency).status, ALARMSTATUS_FINISHED);
    ASSERT_FALSE(screen.lists.back().empty());
}

TEST_F(DocAlarmTest, AlarmOfAnObjectMarkedWithAQuestionMarkIsDropped)
{
    AddObject("Q1", "?Lift taken out of service");
    PostAlarm(ALARMTYPE_P100, "Q1");
    EXPECT_TRUE(screen.alarms.empty());
    EXPECT_EQ(Mails(), 0u);
    EXPECT_EQ(Sms(), 0u);
    doc->GetAlarmList().RequestRefresh();
    Pump(*doc);
    ASSERT_FALSE(screen.lists.empty());
    EXPECT_TRUE(screen.lists.back().empty());  // not stored either
}

TEST_F(DocAlarmTest, VoiceAlarmOfATestOnlyObjectDropsItsCallAndCountsAsTest)
{
    doc->Settings().VoiceCallEnabled = 1;
    AddObject("T1", "Test lift", 1);
    // The telephone side counts as running (a stopped one is sent nothing);
    // its thread is not needed to see what it is asked.
    doc->GetTelMgr().Handler().SetRun(1);
    PostAlarm(ALARMTYPE_VOICE, "T1");
    doc->GetTelMgr().Handler().SetRun(0);

    ASSERT_EQ(screen.alarms.size(), 1u);
    EXPECT_EQ(screen.alarms[0].type, ALARMTYPE_TEST);
    EXPECT_EQ(screen.alarms[0].popUp, AlarmPopUp::None);
    EXPECT_EQ(doc->GetAlarmList().VoiceCallAlarm(), nullptr);
    EXPECT_EQ(Mails(), 0u);
    const auto requests = TelRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]->GetType(), TEL_ABORT_VOICE_CALL);
}

TEST_F(DocAlarmTest, PrintAnswersGoToThePrintWindowOnceItExists)
{
    ASSERT_EQ(doc->CreatePrintWindow(), 1);
    Pump(*doc);  // the list read that the last start step asks for
    EXPECT_FALSE(screen.lists.empty());
    for (uint16_t result : {DBRES_ALARM_PRINT_KEYS, DBRES_ALARM_PRINT_LIST}) {
        auto reply = std::make_unique<CAlarmInfoMsg>();
        reply->Result = result;
        doc->PostToDocument(std::move(reply));
    }
    Pump(*doc);
    EXPECT_EQ(screen.printReplies, (std::vector<uint16_t>{DBMSG_ALARM_INFO, DBMSG_ALARM_INFO}));
}

TEST_F(DocAlarmTest, HourlyTickRunsTheTestAlarmSupervision)
{
    // The first supervision run after the start raises nothing; make sure it
    // is over before the silent object appears.
    doc->PostToDocument(std::make_unique<CMsg>(DBMSG_HOURLY_TICK));
    Pump(*doc);

    auto object = std::make_unique<CObjectInfoMsg>(DBMSG_ADD_OBJECT_INFO);
    object->IdCode = "S1";
    object->IdInfo = "Silent lift";
    object->MailAddrTech = "tech@example.org";
    object->Days = 1;
    object->LastTestAlarm = COleDateTime::GetCurrentTime() - 3.0;
    doc->DatabaseRequest(std::move(object));
    doc->PostToDocument(std::make_unique<CMsg>(DBMSG_HOURLY_TICK));
    Pump(*doc);

    ASSERT_EQ(screen.alarms.size(), 1u);
    EXPECT_EQ(screen.alarms[0].type, ALARMTYPE_TEST_FAIL);
    EXPECT_EQ(screen.alarms[0].idCode, "S1");
    EXPECT_EQ(Mails(), 1u);  // a test failure is forwarded
}

TEST_F(DocAlarmTest, UnattendedCpcVoiceAlarmIsForwardedAtOnceAndOnlyOnce)
{
    doc->Settings().VoiceCallEnabled = 1;
    AddObject("L1", "Lift 1");
    doc->GetAlarmList().SetUnattended(true);
    PostAlarm(ALARMTYPE_VOICE);
    EXPECT_EQ(Mails(), 1u);
    EXPECT_EQ(Sms(), 1u);
    EXPECT_EQ(doc->GetAlarmList().VoiceCallAlarm(), nullptr);

    // Attended again: the next voice call waits for the operator, and the
    // first alarm is not forwarded a second time on its way.
    doc->GetAlarmList().SetUnattended(false);
    PostAlarm(ALARMTYPE_VOICE);
    EXPECT_EQ(Mails(), 1u);
    EXPECT_NE(doc->GetAlarmList().VoiceCallAlarm(), nullptr);
}

// ---------------------------------------------------------------------------
// Alarms that cannot be stored at once, the journal, the stop

// An alarm as the telephone handler hands it to the relay (journaled there).
std::unique_ptr<CTelHandlerMsg> TelAlarm(const std::string& idCode)
{
    auto tel = std::make_unique<CTelHandlerMsg>(TEL_ALARM);
    tel->msgType = TELMSG_P100_ALARM;
    tel->protocol = TELPROT_P100;
    tel->idType = 1;
    tel->idCode = idCode;
    tel->callerInfo = "+46701234567";
    return tel;
}

class DocDurabilityTest : public DocAlarmTest {
protected:
    void Take(const std::string& idCode) { doc->GetDatabaseHandler()->ReceiveMsg(TelAlarm(idCode)); }
    // The relay thread is stopped: what it holds is relayed here.
    void Relay()
    {
        doc->GetDatabaseHandler()->WaitRelayIdle();
        Pump(*doc);
    }
    void Fault(const char* sql) { doc->GetDatabaseMgr().GetDatabase().Execute(QString::fromLatin1(sql)); }
    void Fault(void (*change)(CDatabase&)) { change(doc->GetDatabaseMgr().GetDatabase()); }
    // The keys the list shows after reading the table again.
    std::vector<uint32_t> Listed()
    {
        doc->GetAlarmList().RequestRefresh();
        Pump(*doc);
        return screen.lists.empty() ? std::vector<uint32_t>{} : screen.lists.back();
    }
    size_t Infos(const std::string& key)
    {
        const std::string text = "INFO " + LookupText(key);
        return static_cast<size_t>(std::count(screen.events.begin(), screen.events.end(), text));
    }
    size_t Boxes()
    {
        return static_cast<size_t>(std::count_if(screen.events.begin(), screen.events.end(),
                                                 [](const std::string& e) { return e.rfind("MESSAGE ", 0) == 0; }));
    }
    fs::path JournalFile() const { return dir / CAlarmJournal::kFileName; }
    // Lift L1's alarm goes the whole road; then the station starts again
    // with the journal as it was before the row was committed (as after a
    // stop between the commit and the journal's marks), once `whileStopped`
    // has run, and replays it.
    void RestartWithTheJournalBeforeTheRow(const std::function<void()>& whileStopped = {})
    {
        AddObject("L1", "Lift 1");
        Take("L1");
        const fs::path copy = dir / "journal-before-the-row";
        fs::copy_file(JournalFile(), copy);
        Relay();
        ASSERT_EQ(Listed().size(), 1u);
        doc->CloseDocument();
        doc.reset();
        if (whileStopped)
            whileStopped();
        fs::copy_file(copy, JournalFile(), fs::copy_options::overwrite_existing);

        doc = NewDoc();
        doc->Settings().MailEnabled = 1;
        doc->Settings().GsmEnabled = 1;
        ASSERT_EQ(doc->StartDatabase(), 1);
        doc->GetDatabaseHandler()->Stop();
        Relay();
    }
};

// How the database refuses a write: a disk that is full or read-only.
struct StoreFault {
    const char* name;
    void (*inject)(CDatabase&);
    void (*heal)(CDatabase&);
};

void MakeReadOnly(CDatabase& database)
{
    database.Execute(QStringLiteral("PRAGMA query_only=1"));
}
void MakeWritable(CDatabase& database)
{
    database.Execute(QStringLiteral("PRAGMA query_only=0"));
}

// The file may not grow any more, and what room is left in the alarm
// table's pages is filled with Info rows (not listed while the list shows
// new alarms only): the next alarm finds the disk full.
void FillDisk(CDatabase& database)
{
    database.Execute(QStringLiteral("PRAGMA max_page_count=1"));  // as small as the file is now
    // Large rows first, then ever smaller ones into the gaps they leave.
    for (int size : {400, 100, 20, 0}) {
        for (int i = 0;; ++i) {
            try {
                database.Execute(QStringLiteral("INSERT INTO \"AlarmInfo\" (\"IdCode\", \"AlarmStatus\", \"Text\") "
                                                "VALUES ('f', 4, '%1')")
                                     .arg(QString(size, QChar('x'))));
            } catch (const CDbException& e) {
                ASSERT_NE(e.description.find("full"), std::string::npos) << e.description;
                break;
            }
            ASSERT_LT(i, 10000) << "the database never filled up";
        }
    }
}
void FreeDisk(CDatabase& database)
{
    database.Execute(QStringLiteral("PRAGMA max_page_count=1073741823"));
}

class DocStoreFaultTest : public DocDurabilityTest, public ::testing::WithParamInterface<StoreFault> {};

TEST_P(DocStoreFaultTest, AlarmIsForwardedListedAndStoredOnceWhenTheDatabaseTakesItAgain)
{
    AddObject("L1", "Lift 1");
    AddObject("L2", "Lift 2");
    doc->GetAlarmList().SetFilterMask(1);  // new alarms only
    Fault(GetParam().inject);
    Take("L1");
    Take("L2");
    Relay();

    // Forwarded and shown although not stored; the operator is told once.
    EXPECT_EQ(Mails(), 2u);
    EXPECT_EQ(Sms(), 2u);
    ASSERT_EQ(screen.alarms.size(), 2u);
    EXPECT_EQ(Infos("IDS_ORVADOC_MSG_ALARMS_WAIT"), 1u);
    EXPECT_EQ(doc->GetJournal().PendingCount(), 2u);
    // A refresh keeps them in the list (they have no key yet).
    EXPECT_EQ(Listed(), (std::vector<uint32_t>{0, 0}));

    // Still refused at a retry: no new box, nothing lost.
    const size_t boxes = Boxes();
    doc->RetryUnstoredAlarms();
    EXPECT_EQ(Boxes(), boxes);
    EXPECT_EQ(doc->GetJournal().PendingCount(), 2u);

    Fault(GetParam().heal);
    doc->PostToDocument(std::make_unique<CMsg>(DBMSG_HOURLY_TICK));
    Pump(*doc);
    const std::vector<uint32_t> listed = Listed();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_NE(listed[0], 0u);
    EXPECT_NE(listed[1], 0u);
    EXPECT_EQ(doc->GetJournal().PendingCount(), 0u);
    EXPECT_EQ(Infos("IDS_ORVADOC_MSG_ALARMS_STORED"), 1u);
    EXPECT_EQ(fs::file_size(JournalFile()), 0u);

    // Once only.
    doc->PostToDocument(std::make_unique<CMsg>(DBMSG_HOURLY_TICK));
    Pump(*doc);
    EXPECT_EQ(Listed().size(), 2u);
    EXPECT_EQ(Mails(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Faults, DocStoreFaultTest,
                         ::testing::Values(StoreFault{"ReadOnly", MakeReadOnly, MakeWritable},
                                           StoreFault{"DiskFull", FillDisk, FreeDisk}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DocDurabilityTest, TheNextAlarmThatIsStoredTakesTheWaitingOnesAlong)
{
    AddObject("L1", "Lift 1");
    Fault("PRAGMA query_only=1");
    Take("L1");
    Relay();
    Fault("PRAGMA query_only=0");
    Take("L1");
    Relay();
    EXPECT_EQ(Listed().size(), 2u);
    EXPECT_EQ(doc->GetJournal().PendingCount(), 0u);
}

// The modem refused to delete an SMS and offers it again (in this run or
// after a restart, when nothing remembers it was read): its text carries the
// modem's time stamp, so it is recognised and neither stored nor forwarded
// twice. Another SMS of the same lift with the same words is an alarm.
TEST_F(DocDurabilityTest, SmsOfferedAgainIsNotStoredOrForwardedTwice)
{
    AddObject("+4670111", "Lift by SMS");
    auto sms = [this](const char* time) {
        auto msg = std::make_unique<CGsmHandlerMsg>(GSM_SMS_RECEIVED);
        msg->smsNumber = "+4670111";
        msg->smsDate = "26/12/10";
        msg->smsTime = time;
        msg->smsText = "Passenger trapped";
        doc->GetDatabaseHandler()->ReceiveMsg(std::move(msg));
        Relay();
    };
    sms("15:21:56+00");
    sms("15:21:56+00");
    EXPECT_EQ(Listed().size(), 1u);
    EXPECT_EQ(Mails(), 1u);
    EXPECT_EQ(doc->GetJournal().PendingCount(), 0u);
    sms("15:22:10+00");
    EXPECT_EQ(Listed().size(), 2u);
    EXPECT_EQ(Mails(), 2u);
}

// A database error box waits for the operator; meanwhile the next alarm is
// forwarded and shown, and no second box opens inside the first.
TEST_F(DocDurabilityTest, ErrorBoxDoesNotHoldBackForwarding)
{
    AddObject("L1", "Lift 1");
    Fault("PRAGMA query_only=1");
    int depth = 0;
    int deepest = 0;
    size_t mailsWhileBoxOpen = 0;
    size_t alarmsWhileBoxOpen = 0;
    screen.onMessage = [&](const std::string&) {
        deepest = std::max(deepest, ++depth);
        if (depth == 1 && mailsWhileBoxOpen == 0) {
            // The box's own event loop goes on dispatching.
            Take("L1");
            doc->GetDatabaseHandler()->WaitRelayIdle();
            Pump(*doc);
            mailsWhileBoxOpen = Mails();
            alarmsWhileBoxOpen = screen.alarms.size();
        }
        --depth;
    };
    Take("L1");
    Relay();
    EXPECT_EQ(mailsWhileBoxOpen, 2u);
    EXPECT_EQ(alarmsWhileBoxOpen, 2u);
    EXPECT_EQ(deepest, 1);
    EXPECT_GE(Boxes(), 1u);
}

// The station stopped (or crashed) before the row was committed: the alarm
// is stored after the restart, and not forwarded a second time.
TEST_F(DocDurabilityTest, AlarmNotStoredBeforeTheStopIsStoredAfterTheRestart)
{
    AddObject("L1", "Lift 1");
    Fault("PRAGMA query_only=1");
    Take("L1");
    Relay();
    ASSERT_EQ(Mails(), 1u);
    doc->CloseDocument();
    doc.reset();

    doc = NewDoc();
    doc->Settings().MailEnabled = 1;
    doc->Settings().GsmEnabled = 1;
    screen.lists.clear();
    ASSERT_EQ(doc->StartDatabase(), 1);
    doc->GetDatabaseHandler()->Stop();
    Relay();
    const std::vector<uint32_t> listed = Listed();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_NE(listed[0], 0u);
    // Forwarded before the stop: the mail and the SMS wait in the outbox,
    // from where the managers send them when they start.
    EXPECT_EQ(Mails(), 0u);
    EXPECT_EQ(Sms(), 0u);
    EXPECT_EQ(fs::is_directory(dir / COutbox::kFolderName)
                  ? std::distance(fs::directory_iterator(dir / COutbox::kFolderName), fs::directory_iterator())
                  : 0,
              2);
    EXPECT_EQ(doc->GetJournal().PendingCount(), 0u);
}

// Killed after the commit and the forwarding but before the journal heard
// of either: the record replayed after the restart finds its row and adds
// none, and finds its jobs waiting in the outbox and makes none.
TEST_F(DocDurabilityTest, ReplayedAlarmWhoseRowExistsIsNotStoredTwice)
{
    RestartWithTheJournalBeforeTheRow();
    EXPECT_EQ(Listed().size(), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / COutbox::kFolderName), fs::directory_iterator()), 2);
    EXPECT_EQ(Mails(), 0u);
    EXPECT_EQ(doc->GetJournal().PendingCount(), 0u);
}

// Alarms still in the relay and the inbox when the station stops are
// stored, and a voice call that waits for the operator is forwarded.
TEST_F(DocDurabilityTest, StopStoresWhatIsOnItsWayAndForwardsAWaitingVoiceCall)
{
    doc->Settings().VoiceCallEnabled = 1;
    AddObject("L1", "Lift 1");
    AddObject("L2", "Lift 2");
    PostAlarm(ALARMTYPE_VOICE, "L2");
    ASSERT_NE(doc->GetAlarmList().VoiceCallAlarm(), nullptr);
    ASSERT_EQ(Mails(), 0u);
    Take("L1");
    Take("L1");
    doc->CloseDocument();

    EXPECT_EQ(Mails(), 3u);  // two alarms and the voice call nobody answered
    EXPECT_EQ(doc->GetJournal().PendingCount(), 0u);
    const std::string file = dir / DbSchema::kDatabaseFileName;
    doc.reset();
    CDatabase database;
    database.Open(file);
    CAlarmInfoSet set(&database);
    set.Open();
    int rows = 0;
    for (; !set.IsEOF(); set.MoveNext())
        ++rows;
    set.Close();
    EXPECT_EQ(rows, 3);
}

// ---------------------------------------------------------------------------
// The outbox: every alarm's mail and SMS on the disk until their peer has them

class DocOutboxTest : public DocDurabilityTest {
protected:
    fs::path OutboxDir() const { return dir / COutbox::kFolderName; }
    std::vector<COutbox::Job> Jobs() const
    {
        std::vector<COutbox::Job> jobs;
        if (!fs::is_directory(OutboxDir()))
            return jobs;
        for (const auto& entry : fs::directory_iterator(OutboxDir())) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            COutbox::Job job;
            job.name = entry.path().filename().string();
            EXPECT_TRUE(COutbox::Decode(text.str(), job)) << entry.path();
            jobs.push_back(job);
        }
        std::sort(jobs.begin(), jobs.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
        return jobs;
    }
    size_t JobEvents(const std::string& state) const
    {
        return static_cast<size_t>(std::count_if(screen.events.begin(), screen.events.end(), [&](const std::string& e) {
            return e.rfind("JOB " + state + " ", 0) == 0;
        }));
    }
};

TEST_F(DocOutboxTest, MailAndSmsAreOnTheDiskBeforeTheRowIsStored)
{
    AddObject("L1", "Lift 1");
    Fault("PRAGMA query_only=1");  // the row cannot be stored now
    Take("L1");
    Relay();
    const std::vector<COutbox::Job> jobs = Jobs();
    ASSERT_EQ(jobs.size(), 2u);
    const std::string journalId = jobs[0].alarmId;
    EXPECT_FALSE(journalId.empty());
    EXPECT_EQ(jobs[0].name, journalId + "-mail.job");
    EXPECT_EQ(jobs[0].kind, COutbox::Kind::Mail);
    EXPECT_EQ(jobs[0].recipients, "tech@example.org");
    EXPECT_EQ(jobs[1].name, journalId + "-sms1.job");
    EXPECT_EQ(jobs[1].kind, COutbox::Kind::Sms);
    EXPECT_EQ(jobs[1].recipients, "+4611111");
    for (const COutbox::Job& job : jobs) {
        EXPECT_EQ(job.alarm, "L1");
        EXPECT_FALSE(job.held);
        EXPECT_FALSE(job.emergency);  // a P100 alarm goes to the technicians
    }
    EXPECT_EQ(JobEvents("queued"), 2u);
    EXPECT_EQ(Mails(), 1u);
    EXPECT_EQ(Sms(), 1u);
}

// An alarm that comes through after mail and SMS have stopped at the end is
// not lost to them: its jobs wait in the outbox for the next start.
TEST_F(DocOutboxTest, AlarmAfterForwardingStoppedWaitsInTheOutbox)
{
    AddObject("L1", "Lift 1");
    doc->GetMailMgr().Stop();
    doc->GetGsmMgr().Stop();
    Take("L1");
    doc->CloseDocument();
    EXPECT_EQ(Jobs().size(), 2u);
    EXPECT_EQ(doc->GetJournal().PendingCount(), 0u);
}

struct CallEnd {
    const char* name;
    std::vector<int16_t> calls;  // what the telephone reports after the pick-up
    bool forwarded;
};

void PrintTo(const CallEnd& c, std::ostream* os)
{
    *os << c.name;
}

class DocHeldForwardingTest : public DocOutboxTest, public ::testing::WithParamInterface<CallEnd> {};

// While the operator's handset rings, the voice alarm's mail and SMS are
// already on the disk, held: a crash now still has them sent at the next
// start. The end of the call releases them or drops them.
TEST_P(DocHeldForwardingTest, VoiceAlarmsForwardingIsHeldUntilItsCallEnds)
{
    const CallEnd& c = GetParam();
    doc->Settings().VoiceCallEnabled = 1;
    AddObject("L1", "Lift 1");
    PostAlarm(ALARMTYPE_VOICE, "L1", "run-7");
    std::vector<COutbox::Job> jobs = Jobs();
    ASSERT_EQ(jobs.size(), 2u);
    for (const COutbox::Job& job : jobs) {
        EXPECT_TRUE(job.held) << job.name;
        EXPECT_TRUE(job.emergency) << job.name;
    }
    EXPECT_EQ(jobs[0].recipients, "emergency@example.org");
    EXPECT_EQ(JobEvents("held"), 2u);
    EXPECT_EQ(Mails(), 0u);
    EXPECT_EQ(Sms(), 0u);

    PostCall(VC_PICK_UP);
    for (const int16_t call : c.calls)
        PostCall(call);

    jobs = Jobs();
    if (c.forwarded) {
        ASSERT_EQ(jobs.size(), 2u);
        EXPECT_FALSE(jobs[0].held);
        EXPECT_FALSE(jobs[1].held);
        EXPECT_EQ(Mails(), 1u);
        EXPECT_EQ(Sms(), 1u);
        EXPECT_EQ(JobEvents("queued"), 2u);
    } else {
        EXPECT_TRUE(jobs.empty());
        EXPECT_EQ(JobEvents("dropped"), 2u);
        EXPECT_EQ(Mails(), 0u);
        EXPECT_EQ(Sms(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DocHeldForwardingTest,
                         ::testing::Values(CallEnd{"NobodyAnswers", {VC_NOTIFY_TICK, VC_TIMEOUT}, true},
                                           CallEnd{"OperatorTalked", {VC_TALK_TICK, VC_ON_HOOK}, false},
                                           CallEnd{"LinkLostWhileRinging", {VC_NOTIFY_TICK, VC_ABORTED}, true},
                                           CallEnd{
                                               "LinkLostAfterTheOperatorTalked", {VC_TALK_TICK, VC_ABORTED}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A voice alarm taken in before a restart and replayed from the journal:
// its call ended with the station, so it is forwarded at once and nothing
// rings.
TEST_F(DocOutboxTest, ReplayedVoiceAlarmIsForwardedAtOnce)
{
    doc->Settings().VoiceCallEnabled = 1;
    AddObject("L1", "Lift 1");
    Fault("PRAGMA query_only=1");
    auto voice = TelAlarm("L1");
    voice->msgType = TELMSG_VOICE;
    doc->GetDatabaseHandler()->ReceiveMsg(std::move(voice));
    // Killed before the alarm was dispatched: the journal has it, nothing else.
    doc->GetDatabaseHandler()->WaitRelayIdle();
    const fs::path copy = dir / "journal-at-the-kill";
    fs::copy_file(JournalFile(), copy);
    doc->CloseDocument();
    doc.reset();
    fs::remove_all(OutboxDir());
    fs::copy_file(copy, JournalFile(), fs::copy_options::overwrite_existing);

    doc = NewDoc();
    doc->Settings().MailEnabled = 1;
    doc->Settings().GsmEnabled = 1;
    doc->Settings().VoiceCallEnabled = 1;
    screen.alarms.clear();
    ASSERT_EQ(doc->StartDatabase(), 1);
    doc->GetDatabaseHandler()->Stop();
    Relay();
    ASSERT_EQ(screen.alarms.size(), 1u);
    EXPECT_EQ(screen.alarms[0].type, ALARMTYPE_VOICE);
    EXPECT_NE(screen.alarms[0].popUp, AlarmPopUp::VoiceCall);
    EXPECT_EQ(doc->GetAlarmList().VoiceCallAlarm(), nullptr);
    EXPECT_EQ(Mails(), 1u);
    EXPECT_EQ(Sms(), 1u);
    const std::vector<COutbox::Job> jobs = Jobs();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_FALSE(jobs[0].held);
}

// The row is committed before the mail and SMS are composed. A stop between
// the two leaves the journal record without its forwarded mark: the replay
// finds the row, stores nothing, and forwards the alarm once.
TEST_F(DocOutboxTest, AlarmStoppedBetweenItsRowAndItsForwardingIsForwardedAfterTheRestart)
{
    // The stop came after the commit: no job was written, the journal has
    // only the alarm.
    RestartWithTheJournalBeforeTheRow([this] { fs::remove_all(OutboxDir()); });
    EXPECT_EQ(Listed().size(), 1u);
    const std::vector<COutbox::Job> jobs = Jobs();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].kind, COutbox::Kind::Mail);
    EXPECT_EQ(jobs[1].kind, COutbox::Kind::Sms);
    EXPECT_EQ(doc->GetJournal().PendingCount(), 0u);

    // Its journal record is closed: the next start replays nothing.
    doc->CloseDocument();
    doc.reset();
    fs::remove_all(OutboxDir());
    doc = NewDoc();
    ASSERT_EQ(doc->StartDatabase(), 1);
    doc->GetDatabaseHandler()->Stop();
    Relay();
    EXPECT_TRUE(Jobs().empty());
    EXPECT_EQ(Listed().size(), 1u);
}

// Another program holds the database's write lock: the alarm's mail and SMS
// go to the outbox at once, and the row is stored as soon as the lock is
// released (within the database's lock wait).
TEST_F(DocOutboxTest, ALockedDatabaseDoesNotHoldBackForwarding)
{
    AddObject("L1", "Lift 1");
    const std::string file = dir / DbSchema::kDatabaseFileName;
    std::promise<void> locked;
    std::atomic<bool> jobsWhileLocked{false};
    std::thread other([&] {
        CDatabase database;
        database.Open(file);
        database.Execute(QStringLiteral("BEGIN IMMEDIATE"));
        locked.set_value();
        // Released before the database's lock wait of 2 s would end: an
        // alarm road that waited for the lock before forwarding would store
        // the row first and find no jobs here.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
        while (!jobsWhileLocked && std::chrono::steady_clock::now() < until) {
            jobsWhileLocked = Jobs().size() == 2;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        database.Rollback();
        database.Close();
    });
    locked.get_future().wait();
    Take("L1");
    Relay();
    other.join();
    EXPECT_TRUE(jobsWhileLocked);
    EXPECT_EQ(Listed().size(), 1u);
    EXPECT_EQ(Boxes(), 0u);
    EXPECT_EQ(doc->GetJournal().PendingCount(), 0u);
}

// The database folder changes in the settings: the database restarts there
// and the jobs that wait move with it.
TEST_F(DocOutboxTest, JobsMoveWithTheDatabaseFolder)
{
    AddObject("L1", "Lift 1");
    Take("L1");
    Relay();
    ASSERT_EQ(Jobs().size(), 2u);
    const fs::path elsewhere = dir / "elsewhere";
    fs::create_directory(elsewhere);
    doc->GetDatabaseMgr().Stop();
    doc->Settings().DatabasePath = elsewhere.string();
    ASSERT_EQ(doc->StartDatabase(), 1);
    doc->GetDatabaseHandler()->Stop();
    Pump(*doc);
    EXPECT_TRUE(Jobs().empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere / COutbox::kFolderName), fs::directory_iterator()), 2);
    EXPECT_EQ(Mails(), 1u);  // still on its way
}

// ---------------------------------------------------------------------------
// Start chain, stop order, settings

// The document with its steps recorded; each step either runs for real or
// answers from a table.
class ChainDoc : public COrvaDoc {
public:
    // The pauses of the close move the document's own clock, which stamps
    // the stops.
    explicit ChainDoc(CDocumentScreen& screen) : COrvaDoc(screen)
    {
        SetStopPause([this](uint32_t ms) { clock += ms; });
    }
    // A close left to the document's own destructor runs when this part
    // is gone already: its pauses then go uncounted.
    ~ChainDoc() override
    {
        SetStopPause([](uint32_t) {});
    }
    ChainDoc(const ChainDoc&) = delete;
    ChainDoc& operator=(const ChainDoc&) = delete;

    int StartDatabase() override
    {
        return Step("database", [this] { return COrvaDoc::StartDatabase(); });
    }
    int StartMail() override
    {
        return Step("mail", [this] { return COrvaDoc::StartMail(); });
    }
    int StartTel() override
    {
        return Step("tel", [this] { return COrvaDoc::StartTel(); });
    }
    int StartGsm() override
    {
        return Step("gsm", [this] { return COrvaDoc::StartGsm(); });
    }
    int CreatePrintWindow() override
    {
        return Step("print", [this] { return COrvaDoc::CreatePrintWindow(); });
    }

    std::vector<std::string> calls;
    std::map<std::string, int> results;  // a step's forced result
    bool real = false;                   // run the steps for real unless forced
    uint32_t clock = 0;                  // milliseconds paused so far

protected:
    int16_t StopTel() override
    {
        return Stop("tel", [this] { return COrvaDoc::StopTel(); });
    }
    int16_t StopMail() override
    {
        return Stop("mail", [this] { return COrvaDoc::StopMail(); });
    }
    int16_t StopGsm() override
    {
        return Stop("gsm", [this] { return COrvaDoc::StopGsm(); });
    }
    int StopDatabase() override
    {
        return Stop("database", [this] { return int16_t(COrvaDoc::StopDatabase()); });
    }

private:
    int Step(const std::string& name, const std::function<int()>& run)
    {
        calls.push_back("start " + name);
        if (auto forced = results.find(name); forced != results.end())
            return forced->second;
        return real ? run() : 1;
    }
    int16_t Stop(const std::string& name, const std::function<int16_t()>& run)
    {
        calls.push_back("stop " + name + "@" + std::to_string(clock));
        return real ? run() : HNDRET_STOPPED;
    }
};

class DocChainTest : public DocTestBase {
protected:
    void SetUp() override
    {
        DocTestBase::SetUp();
        doc = std::make_unique<ChainDoc>(screen);
    }

    std::unique_ptr<ChainDoc> doc;
};

TEST_F(DocChainTest, StartsTheManagersInOrderAfterTheOperator)
{
    EXPECT_EQ(doc->RunStartChain(), 1);
    EXPECT_EQ(doc->GetFailedStep(), StartStep::None);
    EXPECT_EQ(screen.operatorModes, std::vector<int>{1});
    EXPECT_EQ(doc->calls,
              (std::vector<std::string>{"start database", "start mail", "start tel", "start gsm", "start print"}));
    EXPECT_EQ(screen.title, "Tervin CallCenter Ver. 2.72 - Olle");
}

struct ChainFailure {
    const char* name;
    std::string step;
    StartStep failed;
    std::vector<std::string> calls;
};

class DocChainFailureTest : public DocChainTest, public ::testing::WithParamInterface<ChainFailure> {};

TEST_P(DocChainFailureTest, AFailedStepEndsTheChain)
{
    const ChainFailure& c = GetParam();
    doc->results[c.step] = 0;
    EXPECT_EQ(doc->RunStartChain(), 0);
    EXPECT_EQ(doc->GetFailedStep(), c.failed);
    EXPECT_EQ(doc->calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DocChainFailureTest,
    ::testing::Values(ChainFailure{"Database", "database", StartStep::Database, {"start database"}},
                      ChainFailure{"Mail", "mail", StartStep::Mail, {"start database", "start mail"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DocChainTest, CancelledOperatorEndsTheStartBeforeAnyManager)
{
    screen.operatorAnswer.reset();
    EXPECT_EQ(doc->RunStartChain(), 0);
    EXPECT_EQ(doc->GetFailedStep(), StartStep::Operator);
    EXPECT_TRUE(doc->calls.empty());
    EXPECT_TRUE(screen.base.statusLog.empty());
}

TEST_F(DocChainTest, CommandLineOperatorSkipsTheSelectionAndIsRemembered)
{
    doc->SetStartupOperator("Kim", true);
    EXPECT_EQ(doc->RunStartChain(), 1);
    EXPECT_TRUE(screen.operatorModes.empty());
    EXPECT_EQ(doc->GetOperatorName(), "Kim");
    CSettings stored;
    stored.Load();
    EXPECT_EQ(stored.Values().LastOperator, "Kim");
}

TEST_F(DocChainTest, StopsTelephoneMailGsmAndDatabaseInThisOrderWithPauses)
{
    ASSERT_EQ(doc->RunStartChain(), 1);
    doc->calls.clear();
    doc->CloseDocument();
    doc->CloseDocument();  // a second close does nothing
    EXPECT_EQ(doc->calls,
              (std::vector<std::string>{"stop tel@0", "stop mail@100", "stop gsm@200", "stop database@300"}));
}

// Left alone, the station sleeps out its pauses on the tick source.
TEST_F(DocTestBase, ThePausesOfTheCloseSleepOnTheTickSource)
{
    COrvaDoc doc(screen);
    FakeTickSource clock(0);
    doc.CloseDocument();
    EXPECT_EQ(clock.GetTickCount(), 3 * COrvaDoc::kStopPauseMs);
}

TEST_F(DocChainTest, RealChainWithEverythingButTheDatabaseDisabledCompletes)
{
    doc->real = true;
    doc->Settings().MailEnabled = 0;
    doc->Settings().TelEnabled = 0;
    doc->Settings().GsmEnabled = 0;

    ASSERT_EQ(doc->RunStartChain(), 1);
    Pump(*doc);

    EXPECT_TRUE(fs::exists(dir.Path() / "ORVA_10.mdb"));
    const std::vector<std::string> expected{"OPERATOR 1",    "TITLE Tervin CallCenter Ver. 2.72 - Olle",
                                            "DATABASE 2",    "STATUS 1 Mail: Disabled",
                                            "STATUS 3 TEL:", "STATUS 3 TEL: Disabled",
                                            "STATUS 2 GSM:", "STATUS 2 GSM: Disabled",
                                            "PRINT WINDOW",  "LIST"};
    EXPECT_EQ(screen.events, expected);
    EXPECT_TRUE(doc->HasPrintWindow());
    doc->CloseDocument();
}

struct SettingsCase {
    const char* name;
    std::function<void(SettingsValues&)> change;
    std::vector<std::string> restarts;
    std::string mailPane;  // pane 1 after the sheet, empty when unchanged
};

class DocSettingsTest : public DocChainTest, public ::testing::WithParamInterface<SettingsCase> {
protected:
    void SetUp() override
    {
        DocChainTest::SetUp();
        doc->real = true;
        doc->Settings().TelEnabled = 0;
        doc->Settings().GsmEnabled = 0;
        ASSERT_EQ(doc->RunStartChain(), 1);
        Pump(*doc);
        doc->calls.clear();
        screen.base.statusLog.clear();
    }
    void TearDown() override { doc->CloseDocument(); }
};

TEST_P(DocSettingsTest, RestartsOnlyWhatChanged)
{
    const SettingsCase& c = GetParam();
    screen.settingsSheet = [&c](SettingsValues& values) {
        c.change(values);
        return true;
    };
    doc->OnOptionsSettings();

    std::vector<std::string> restarts;
    for (const std::string& call : doc->calls)
        restarts.push_back(call.substr(0, call.find('@')));
    EXPECT_EQ(restarts, c.restarts);
    std::string mailPane;
    for (const auto& [pane, text] : screen.base.statusLog)
        if (pane == STATUS_PANE_MAIL)
            mailPane = text;
    EXPECT_EQ(mailPane, c.mailPane);
    EXPECT_EQ(screen.closeRequests, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DocSettingsTest,
    ::testing::Values(
        SettingsCase{"MailOnlyWritesPaneOne", [](SettingsValues& v) { v.MailEnabled = 0; }, {}, "Mail: Disabled"},
        SettingsCase{"MailHeaderRestartsNothing", [](SettingsValues& v) { v.MailHeader1 = "Head"; }, {}, ""},
        SettingsCase{"Telephone", [](SettingsValues& v) { v.TelRingSignals = 4; }, {"stop tel", "start tel"}, ""},
        SettingsCase{"Gsm", [](SettingsValues& v) { v.GsmPinCode = "1234"; }, {"stop gsm", "start gsm"}, ""},
        SettingsCase{
            "Database", [](SettingsValues& v) { v.KeepAirMonths = 6; }, {"stop database", "start database"}, ""},
        SettingsCase{"AllInTheirOrder",
                     [](SettingsValues& v) {
                         v.KeepAirMonths = 6;
                         v.MailEnabled = 0;
                         v.GsmPinCode = "1234";
                         v.CpcEnabled = 1;
                     },
                     {"stop tel", "start tel", "stop gsm", "start gsm", "stop database", "start database"},
                     "Mail: Disabled"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DocChainTest, FailedRestartAfterTheSettingsClosesTheStation)
{
    doc->real = true;
    doc->Settings().TelEnabled = 0;
    doc->Settings().GsmEnabled = 0;
    ASSERT_EQ(doc->RunStartChain(), 1);
    Pump(*doc);
    doc->calls.clear();
    screen.settingsSheet = [](SettingsValues&) { return false; };
    doc->OnOptionsSettings();  // cancelled: nothing restarts
    EXPECT_TRUE(doc->calls.empty());

    doc->results["database"] = 0;
    screen.settingsSheet = [](SettingsValues& values) {
        values.TestAlarmFilter = 1;
        return true;
    };
    doc->OnOptionsSettings();
    EXPECT_EQ(screen.closeRequests, 1);
    doc->CloseDocument();
}

// ---------------------------------------------------------------------------
// Restarts after the settings sheet: no alarm lost while a subsystem restarts

// The database restarts with the database manager's dialog in the way (its
// folder has no database); while the dialog waits for the operator its
// event loop goes on, and an alarm of L1 arrives just then.
class DocRestartTest : public DocOutboxTest {
protected:
    void SetUp() override
    {
        DocOutboxTest::SetUp();
        home = doc->Settings().DatabasePath;
        empty = dir / "empty";
        fs::create_directory(empty);
        AddObject("L1", "Lift 1");
        screen.dbReasons.clear();  // the database made at the first start
    }

    void AlarmWhileTheDialogWaits(int answer)
    {
        screen.databaseDialog = [this, answer](int, CDbConvert*) {
            Take("L1");
            doc->GetDatabaseHandler()->WaitRelayIdle();
            Pump(*doc);
            shownWhileClosed += screen.alarms.size();
            mailsWhileClosed += Mails();
            return answer;
        };
    }

    void Edit(std::function<void(SettingsValues&)> change)
    {
        screen.settingsSheet = [change](SettingsValues& values) {
            change(values);
            return true;
        };
        doc->OnOptionsSettings();
        // Keeps the test in step: the relay restarted with the database.
        doc->GetDatabaseHandler()->Stop();
        Relay();
    }

    // The one alarm went the whole road once: matched to its lift (its
    // recipients), forwarded, stored and listed with its key.
    void ExpectStoredAndForwardedOnce()
    {
        EXPECT_EQ(shownWhileClosed, 0u) << "handled while the database was closed";
        EXPECT_EQ(mailsWhileClosed, 0u);
        EXPECT_EQ(Mails(), 1u);
        EXPECT_EQ(Sms(), 1u);
        const std::vector<COutbox::Job> jobs = Jobs();
        ASSERT_EQ(jobs.size(), 2u);
        EXPECT_EQ(jobs[0].recipients, "tech@example.org");
        EXPECT_EQ(jobs[1].recipients, "+4611111");
        const std::vector<uint32_t> listed = Listed();
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_NE(listed[0], 0u);
        ASSERT_EQ(screen.alarms.size(), 1u);
        EXPECT_EQ(screen.alarms[0].idCode, "L1");
        EXPECT_EQ(doc->GetJournal().PendingCount(), 0u);
        EXPECT_EQ(Boxes(), 0u) << "a database error was shown";
    }

    std::string home;
    fs::path empty;
    size_t shownWhileClosed = 0;
    size_t mailsWhileClosed = 0;
};

// The operator picks the right folder after all: the alarm waits in the
// inbox until the database is open again, then goes the usual road.
TEST_F(DocRestartTest, AlarmArrivingDuringADatabaseRestartIsMatchedStoredAndForwardedOnce)
{
    screen.browseAnswer = home;
    AlarmWhileTheDialogWaits(DBMGRDLG_CHANGE_PATH);
    Edit([this](SettingsValues& v) {
        v.DatabasePath = empty.string() + "/";
        v.KeepAirMonths = 6;
    });
    EXPECT_EQ(screen.dbReasons, std::vector<int>{DBMGRDLG_REASON_NO_DATABASE});
    EXPECT_EQ(screen.closeRequests, 0);
    ExpectStoredAndForwardedOnce();
    EXPECT_EQ(doc->Settings().DatabasePath, home);
}

// A new folder alone restarts the database there at once: the journal and
// the outbox move with it instead of staying behind where the next start
// would not look.
TEST_F(DocRestartTest, NewDatabaseFolderIsUsedAtOnce)
{
    const fs::path copy = dir / "copy";
    fs::create_directory(copy);
    Fault("PRAGMA wal_checkpoint(TRUNCATE)");  // the lift is in the file itself
    fs::copy_file(dir / DbSchema::kDatabaseFileName, copy / DbSchema::kDatabaseFileName);
    Edit([&](SettingsValues& v) { v.DatabasePath = copy.string() + "/"; });
    EXPECT_TRUE(screen.dbReasons.empty());
    EXPECT_EQ(doc->GetJournal().GetPath(), (copy / CAlarmJournal::kFileName).string());
    Take("L1");
    Relay();
    EXPECT_EQ(Mails(), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator(copy / COutbox::kFolderName), fs::directory_iterator()), 2);
}

// The operator cancels the dialog of the new folder: the station goes on
// with the database it had, says so, and keeps that folder in the settings.
TEST_F(DocRestartTest, CancelledNewFolderGoesBackToTheDatabaseThatWorked)
{
    AlarmWhileTheDialogWaits(DBMGRDLG_CANCEL);
    Edit([this](SettingsValues& v) { v.DatabasePath = empty.string() + "/"; });
    EXPECT_EQ(screen.dbReasons, std::vector<int>{DBMGRDLG_REASON_NO_DATABASE});
    EXPECT_EQ(screen.closeRequests, 0);
    ExpectStoredAndForwardedOnce();
    EXPECT_EQ(doc->Settings().DatabasePath, home);
    CSettings stored;
    stored.Load();
    EXPECT_EQ(stored.Values().DatabasePath, home);
    const std::string info = "INFO " + FormatKey("IDS_ORVADOC_MSG_DATABASE_KEPT", {home});
    EXPECT_EQ(std::count(screen.events.begin(), screen.events.end(), info), 1);
}

// The database of the same folder cannot be opened any more and the
// operator cancels: the station closes. The alarm that arrived meanwhile is
// neither shown nor forwarded to nobody; it stays in the journal, unmarked,
// and after the next start it is matched, stored and forwarded once.
TEST_F(DocRestartTest, FailedRestartClosesTheStationAndTheAlarmWaitsInTheJournal)
{
    const fs::path file = dir / DbSchema::kDatabaseFileName;
    const fs::path aside = dir / "aside.mdb";
    AlarmWhileTheDialogWaits(DBMGRDLG_CANCEL);
    Edit([&](SettingsValues& v) {
        v.KeepAirMonths = 6;
        fs::rename(file, aside);  // the file is gone when the database opens again
    });
    EXPECT_EQ(screen.closeRequests, 1);
    doc->CloseDocument();
    EXPECT_EQ(shownWhileClosed, 0u);
    EXPECT_EQ(Mails(), 0u);
    EXPECT_TRUE(Jobs().empty());
    const std::vector<CAlarmJournal::Record> pending = doc->GetJournal().Pending();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_FALSE(pending[0].forwarded);
    doc.reset();

    fs::rename(aside, file);
    doc = NewDoc();
    doc->Settings().MailEnabled = 1;
    doc->Settings().GsmEnabled = 1;
    screen.events.clear();
    ASSERT_EQ(doc->StartDatabase(), 1);
    doc->GetDatabaseHandler()->Stop();
    Relay();
    ExpectStoredAndForwardedOnce();
}

// Only what changed restarts: a new GSM port restarts the GSM side alone, and
// the voice call that rings at the operator's handset goes on (the alarm
// waits for it, nothing is forwarded). Restarting the telephone ends the
// call, and its alarm is forwarded.
struct KeepCallCase {
    const char* name;
    std::function<void(SettingsValues&)> change;
    std::vector<std::string> restarts;
    bool callKept;
};

void PrintTo(const KeepCallCase& c, std::ostream* os)
{
    *os << c.name;
}

class DocKeepCallTest : public DocAlarmTest, public ::testing::WithParamInterface<KeepCallCase> {
protected:
    void SetUp() override
    {
        DocAlarmTest::SetUp();
        doc.reset();
        chain = new ChainDoc(screen);
        doc.reset(chain);
        chain->real = true;
        // The managers of the handlers that bring alarms are not started:
        // their queues show what they are handed.
        chain->results = {{"mail", 1}, {"tel", 1}, {"gsm", 1}};
        doc->Settings().MailEnabled = 1;
        doc->Settings().GsmEnabled = 1;
        doc->Settings().ExtRelayCtrl = 0;
        doc->Settings().VoiceCallEnabled = 1;
        ASSERT_EQ(doc->RunStartChain(), 1);
        doc->GetDatabaseHandler()->Stop();
        Pump(*doc);
        AddObject("L1", "Lift 1");
        PostAlarm(ALARMTYPE_VOICE, "L1");
        ASSERT_NE(doc->GetAlarmList().VoiceCallAlarm(), nullptr);
        chain->calls.clear();
    }
    ChainDoc* chain = nullptr;
};

TEST_P(DocKeepCallTest, OnlyWhatChangedRestarts)
{
    const KeepCallCase& c = GetParam();
    screen.settingsSheet = [&c](SettingsValues& values) {
        c.change(values);
        return true;
    };
    doc->OnOptionsSettings();
    doc->GetDatabaseHandler()->Stop();
    Pump(*doc);
    std::vector<std::string> restarts;
    for (const std::string& call : chain->calls)
        restarts.push_back(call.substr(0, call.find('@')));
    EXPECT_EQ(restarts, c.restarts);
    EXPECT_EQ(doc->GetAlarmList().VoiceCallAlarm() != nullptr, c.callKept);
    EXPECT_EQ(Mails(), c.callKept ? 0u : 1u);
    EXPECT_EQ(screen.closeRequests, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DocKeepCallTest,
    ::testing::Values(
        KeepCallCase{"GsmPort", [](SettingsValues& v) { v.GsmComPort = 7; }, {"stop gsm", "start gsm"}, true},
        KeepCallCase{"CallerIdTestAlarms",
                     [](SettingsValues& v) { v.AcceptCallerIdTestAlarms = 1; },
                     {"stop gsm", "start gsm"},
                     true},
        KeepCallCase{"MailOff", [](SettingsValues& v) { v.MailEnabled = 0; }, {}, true},
        KeepCallCase{
            "Database", [](SettingsValues& v) { v.KeepAirMonths = 6; }, {"stop database", "start database"}, true},
        KeepCallCase{"TelephonePort", [](SettingsValues& v) { v.TelComPort = 7; }, {"stop tel", "start tel"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
