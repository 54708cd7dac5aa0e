// The alarm list window: rows, sorting, what a new alarm brings up, status
// changes, commands and the column widths. The document is a real one
// without a database: its database requests and telephone messages are
// recorded instead of run, and its screen forwards to the view as the
// station's window screen does.

#include "station/RecordingDocScreen.h"

#include "CellFit.h"
#include "db/ObjectInfoReqMsg.h"
#include "dictionary/Dictionary.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/AlarmInfoReqMsg.h"
#include "messages/TelHandlerMsg.h"
#include "settings/Settings.h"
#include "station/OrvaDoc.h"
#include "support/TempDir.h"
#include "ui/AlarmDialogs.h"
#include "ui/MainView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

class FakeAlarmDialogs : public CAlarmDialogs {
public:
    struct Opened {
        uint32_t key;
        bool voiceCall;
        std::string header;
    };
    void Open(const CAlarmInfoMsg& alarm, bool voiceCall, CEventMsgDlgHost&, const std::string& headerText) override
    {
        opened.push_back({alarm.PrimaryKey, voiceCall, headerText});
    }
    void CallProgress(int16_t state, int16_t secondsLeft) override { progress.emplace_back(state, secondsLeft); }
    void ForgetVoiceDialog() override { ++forgotten; }

    std::vector<Opened> opened;
    std::vector<std::pair<int16_t, int16_t>> progress;
    int forgotten = 0;
};

// The screen as the station's window screen wires it: everything the alarm
// list shows reaches the view.
class ViewScreen : public RecordingDocScreen {
public:
    void ShowNewAlarm(const CAlarmInfoMsg& alarm, AlarmPopUp popUp) override
    {
        RecordingDocScreen::ShowNewAlarm(alarm, popUp);
        if (view != nullptr)
            view->ShowNewAlarm(alarm, popUp);
    }
    void ShowAlarmList(const CAlarmInfoMsg* first) override
    {
        RecordingDocScreen::ShowAlarmList(first);
        if (view != nullptr)
            view->ShowAlarmList(first);
    }
    void ShowAlarmStatus(const CAlarmInfoMsg& edit) override
    {
        RecordingDocScreen::ShowAlarmStatus(edit);
        if (view != nullptr)
            view->ShowAlarmStatus(edit.PrimaryKey, edit.AlarmStatus);
    }
    void OpenAlarmDialog(const CAlarmInfoMsg& alarm) override
    {
        RecordingDocScreen::OpenAlarmDialog(alarm);
        if (view != nullptr)
            view->OpenAlarmDialog(alarm);
    }
    void ShowCallProgress(int16_t state, int16_t secondsLeft) override
    {
        RecordingDocScreen::ShowCallProgress(state, secondsLeft);
        if (view != nullptr)
            view->ShowCallProgress(state, secondsLeft);
    }
    CMainView* view = nullptr;
};

// A document whose database and telephone are recorders.
class TestDoc : public COrvaDoc {
public:
    using COrvaDoc::COrvaDoc;
    void DatabaseRequest(std::unique_ptr<CMsg> request) override { requests.push_back(std::move(request)); }
    void PostToTel(std::unique_ptr<CMsg> msg) override { tel.push_back(std::move(msg)); }
    void ForwardAlarm(const CAlarmInfoMsg& alarm) override { forwarded.push_back(alarm.PrimaryKey); }

    template <class T>
    std::vector<const T*> Requests(uint16_t type) const
    {
        std::vector<const T*> found;
        for (const auto& request : requests) {
            if (request->GetType() == type)
                found.push_back(dynamic_cast<const T*>(request.get()));
        }
        return found;
    }

    std::vector<std::unique_ptr<CMsg>> requests;
    std::vector<std::unique_ptr<CMsg>> tel;
    std::vector<uint32_t> forwarded;
};

struct AlarmFields {
    uint32_t key;
    uint8_t status;
    uint8_t type;
    const char* idCode;
    const char* idInfo;
    const char* callerId;
    COleDateTime time;
};

std::unique_ptr<CAlarmInfoMsg> MakeAlarm(const AlarmFields& fields)
{
    auto alarm = std::make_unique<CAlarmInfoMsg>();
    alarm->PrimaryKey = fields.key;
    alarm->AlarmStatus = fields.status;
    alarm->AlarmType = fields.type;
    alarm->IdCode = fields.idCode;
    alarm->IdInfo = fields.idInfo;
    alarm->CallerIdInfo = fields.callerId;
    alarm->AlarmTime = fields.time;
    return alarm;
}

// A list reply: the records chained in database order.
std::unique_ptr<CAlarmInfoMsg> Chain(const std::vector<AlarmFields>& fieldList)
{
    std::unique_ptr<CAlarmInfoMsg> first;
    CMsg* last = nullptr;
    for (const AlarmFields& fields : fieldList) {
        auto alarm = MakeAlarm(fields);
        CMsg* raw = alarm.get();
        if (last == nullptr)
            first = std::move(alarm);
        else
            last->Next = std::move(alarm);
        last = raw;
    }
    if (first)
        first->Result = DBRES_ALARM_FOUND_LIST;
    return first;
}

AlarmFields Simple(uint32_t key, uint8_t status, uint8_t type = ALARMTYPE_P100)
{
    return {key, status, type, "ID", "Info", "", COleDateTime(2026, 1, 1, 12, 0, static_cast<int>(key % 60))};
}

// Closes the next message box with the given button, and keeps its text.
void AnswerNextMessageBox(QMessageBox::StandardButton button, QString* text = nullptr)
{
    QTimer::singleShot(0, [button, text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (text != nullptr)
            *text = box->text();
        box->button(button)->click();
    });
}

class MainViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.WorkIn();
        doc = std::make_unique<TestDoc>(screen);
        doc->SetStartupOperator("Olle", false);
        doc->SelectOperator(1);
        view = std::make_unique<CMainView>(*doc, dialogs);
        screen.view = view.get();
        view->Initialise();
    }
    void TearDown() override
    {
        screen.view = nullptr;
        view.reset();
    }

    void Fill(const std::vector<AlarmFields>& fieldList)
    {
        auto chain = Chain(fieldList);
        doc->GetAlarmList().OnAlarmReply(std::move(chain));
    }
    std::vector<uint32_t> Keys() const
    {
        std::vector<uint32_t> keys;
        for (int row = 0; row < view->List()->topLevelItemCount(); ++row)
            keys.push_back(view->List()->topLevelItem(row)->data(0, Qt::UserRole).toUInt());
        return keys;
    }
    QTreeWidgetItem* Row(uint32_t key) const
    {
        for (int row = 0; row < view->List()->topLevelItemCount(); ++row) {
            QTreeWidgetItem* item = view->List()->topLevelItem(row);
            if (item->data(0, Qt::UserRole).toUInt() == key)
                return item;
        }
        return nullptr;
    }
    void Select(std::initializer_list<uint32_t> keys)
    {
        view->List()->clearSelection();
        for (uint32_t key : keys)
            Row(key)->setSelected(true);
    }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    ViewScreen screen;
    std::unique_ptr<TestDoc> doc;
    FakeAlarmDialogs dialogs;
    std::unique_ptr<CMainView> view;
};

// ---------------------------------------------------------------------------
// Rows and sorting

// Four alarms whose columns are each in a different order. Built on use:
// a date made during static initialisation is not reliable.
std::vector<AlarmFields> Four()
{
    return {
        {1, ALARMSTATUS_ACKNOWLEDGED, ALARMTYPE_SMS, "200", "apple", "0701", COleDateTime(2026, 3, 1, 10, 0, 0)},
        {2, ALARMSTATUS_NEW, ALARMTYPE_P100, "1000", "Banana", "0812", COleDateTime(2025, 12, 31, 23, 59, 59)},
        {3, ALARMSTATUS_INFO, ALARMTYPE_VOICE, "10", "cherry", "", COleDateTime(2026, 3, 1, 9, 59, 59)},
        {4, 9, ALARMTYPE_TEST, "4", "Apple", "0699", COleDateTime(2026, 1, 15, 0, 0, 0)},
    };
}

TEST_F(MainViewTest, RowShowsTheAlarmInItsColumns)
{
    const QStringList titles = {"Status",         "Alarm Type",      "ID Code",
                                "ID Information", "Incoming Number", "Date               Time"};
    for (int column = 0; column < CMainView::kColumnCount; ++column)
        EXPECT_EQ(view->List()->headerItem()->text(column), titles[column]);
    EXPECT_FALSE(view->List()->isSortingEnabled());
    EXPECT_EQ(view->List()->selectionMode(), QAbstractItemView::ExtendedSelection);

    Fill({Four()[0]});
    const QTreeWidgetItem* row = view->List()->topLevelItem(0);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->text(0), "  2");
    EXPECT_FALSE(row->icon(0).isNull());
    EXPECT_EQ(row->text(1), "SMS");
    EXPECT_EQ(row->text(2), "200");
    EXPECT_EQ(row->text(3), "apple");
    EXPECT_EQ(row->text(4), "0701");
    EXPECT_EQ(row->text(5).toStdString(), "26-03-01     10:00:00");
    EXPECT_EQ(row->data(0, Qt::UserRole).toUInt(), 1u);
}

TEST_F(MainViewTest, StatusAndTypeTexts)
{
    EXPECT_EQ(CMainView::StatusText(1), "  1");
    EXPECT_EQ(CMainView::StatusText(4), "  4");
    EXPECT_EQ(CMainView::StatusText(0), "Undef");
    EXPECT_EQ(CMainView::StatusText(5), "Undef");
    EXPECT_EQ(CMainView::StatusOfText("  3"), 3);
    EXPECT_EQ(CMainView::StatusOfText("Undef"), 0);
    EXPECT_EQ(CMainView::TypeText(ALARMTYPE_P100), "P100");
    EXPECT_EQ(CMainView::TypeText(ALARMTYPE_LIFT_MONITORING), "Lift Monitoring System");
    EXPECT_EQ(CMainView::TypeText(ALARMTYPE_VOICE_REDIRECTED), "Voice - Redirected");
    EXPECT_EQ(CMainView::TypeText(12), "Undefined");
}

struct SortCase {
    int column;
    std::vector<uint32_t> ascending;  // keys in ascending text order
};

TEST_F(MainViewTest, EachColumnSortsByItsTextFirstClickDescendingSecondAscending)
{
    const SortCase cases[] = {
        {CMainView::ColStatus, {2, 1, 3, 4}},    // "  1" < "  2" < "  4" < "Undef"
        {CMainView::ColType, {2, 1, 4, 3}},      // P100 < SMS < Test < Voice
        {CMainView::ColIdCode, {3, 2, 1, 4}},    // text order: "10" < "1000" < "200" < "4"
        {CMainView::ColIdInfo, {4, 2, 1, 3}},    // case-sensitive: "Apple" < "Banana" < "apple" < "cherry"
        {CMainView::ColCallerId, {3, 4, 1, 2}},  // empty first
        {CMainView::ColDateTime, {2, 4, 3, 1}},  // oldest first
    };
    Fill(Four());
    // A fresh list is sorted by status, New first.
    EXPECT_EQ(Keys(), (std::vector<uint32_t>{2, 1, 3, 4}));
    for (const SortCase& c : cases) {
        std::vector<uint32_t> descending(c.ascending.rbegin(), c.ascending.rend());
        view->SortByColumn(c.column);
        EXPECT_EQ(Keys(), descending) << "column " << c.column << ", first click";
        view->SortByColumn(c.column);
        EXPECT_EQ(Keys(), c.ascending) << "column " << c.column << ", second click";
    }
}

TEST_F(MainViewTest, HeaderClickOnTheDateColumnShowsTheNewestFirstAndRefreshKeepsTheOrder)
{
    Fill(Four());
    QHeaderView* header = view->List()->header();
    view->resize(1000, 400);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    const int x = header->sectionViewportPosition(CMainView::ColDateTime) + 5;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    EXPECT_EQ(Keys(), (std::vector<uint32_t>{1, 3, 4, 2}));
    // The next refresh and a new alarm are sorted the same way.
    Fill(Four());
    EXPECT_EQ(Keys(), (std::vector<uint32_t>{1, 3, 4, 2}));
    doc->GetAlarmList().OnNewAlarm(
        MakeAlarm({5, ALARMSTATUS_NEW, ALARMTYPE_TEST, "X", "", "", COleDateTime(2026, 2, 1, 0, 0, 0)}));
    EXPECT_EQ(Keys(), (std::vector<uint32_t>{1, 3, 5, 4, 2}));
}

TEST_F(MainViewTest, RefreshKeepsTheSelectedRowsThatAreStillListed)
{
    Fill(Four());
    Select({1, 3});
    screen.base.statusLog.clear();
    Fill({Four()[0], Four()[1], Simple(7, ALARMSTATUS_NEW)});
    EXPECT_EQ(view->SelectedKeys(), std::vector<uint32_t>{1});
    EXPECT_EQ(view->List()->currentItem(), Row(1));
    ASSERT_FALSE(screen.base.statusLog.empty());
    EXPECT_EQ(screen.base.statusLog.front(), std::make_pair(0, std::string("Refreshing the Alarmlist...")));
    EXPECT_EQ(screen.base.statusLog.back(), std::make_pair(0, std::string("Ready")));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Nothing found empties the list.
    auto none = std::make_unique<CAlarmInfoMsg>();
    none->Result = DBRES_ALARM_NONE;
    doc->GetAlarmList().OnAlarmReply(std::move(none));
    EXPECT_EQ(view->List()->topLevelItemCount(), 0);
}

TEST_F(MainViewTest, SortKeepsTheSelection)
{
    Fill(Four());
    Select({4, 2});
    view->SortByColumn(CMainView::ColIdInfo);
    EXPECT_EQ(view->SelectedKeys(), (std::vector<uint32_t>{2, 4}));  // list order after sorting
}

// ---------------------------------------------------------------------------
// New alarms

struct PopUpCase {
    const char* name;
    uint8_t type;
    int32_t objectKnown;
    int32_t objectPopUp;
    int32_t voiceCallEnabled;
    bool opens;
    bool voiceCall;
    const char* header;
};

TEST_F(MainViewTest, NewAlarmIsListedFirstAndOpensTheDialogItsRulesAsk)
{
    const PopUpCase cases[] = {
        {"test alarm", ALARMTYPE_TEST, 1, 1, 0, false, false, ""},
        {"unregistered object", ALARMTYPE_P100, 0, 0, 0, true, false, "*** P100 Alarm ***\r\n"},
        {"object with pop-up", ALARMTYPE_EMERGENCY_CALL, 1, 1, 0, true, false, "*** Emergency Call Activated ***\r\n"},
        {"object without pop-up", ALARMTYPE_SMS, 1, 0, 0, false, false, ""},
        {"voice with voice calls", ALARMTYPE_VOICE, 1, 0, 1, true, true, "*** Voice Call Alarm ***\r\n"},
        {"voice without voice calls", ALARMTYPE_VOICE, 1, 0, 0, false, false, ""},
        {"maintenance", ALARMTYPE_MAINTENANCE, 0, 1, 0, false, false, ""},
    };
    uint32_t key = 100;
    for (const PopUpCase& c : cases) {
        doc->Settings().VoiceCallEnabled = c.voiceCallEnabled;
        doc->Settings().AlarmPopUpEnabled = 1;
        auto alarm = MakeAlarm({++key, ALARMSTATUS_NEW, c.type, "ID", "", "", COleDateTime(2026, 1, 1, 0, 0, 0)});
        alarm->ObjectKnown = c.objectKnown;
        alarm->AlarmPopUpEnabled = c.objectPopUp;
        dialogs.opened.clear();
        doc->GetAlarmList().OnNewAlarm(std::move(alarm));

        EXPECT_EQ(Keys().front(), key) << c.name;
        ASSERT_EQ(dialogs.opened.size(), c.opens ? 1u : 0u) << c.name;
        if (c.opens) {
            EXPECT_EQ(dialogs.opened[0].key, key) << c.name;
            EXPECT_EQ(dialogs.opened[0].voiceCall, c.voiceCall) << c.name;
            EXPECT_EQ(dialogs.opened[0].header, c.header) << c.name;
        }
        doc->GetAlarmList().VoiceCallEnded(false);
    }
}

TEST_F(MainViewTest, VoiceDialogReportsTheCallAndItsEnd)
{
    doc->Settings().VoiceCallEnabled = 1;
    doc->GetAlarmList().OnNewAlarm(MakeAlarm(Simple(9, ALARMSTATUS_NEW, ALARMTYPE_VOICE)));
    ASSERT_EQ(dialogs.opened.size(), 1u);
    CTelHandlerMsg ring(TEL_VOICE_CALL);
    ring.value = VC_NOTIFY_TICK;
    ring.remaining = 299;
    doc->GetAlarmList().OnVoiceCall(ring);
    EXPECT_EQ(dialogs.progress, (std::vector<std::pair<int16_t, int16_t>>{{VC_NOTIFY_TICK, 299}}));

    // Nobody answered: the dialog asks to forward; only once.
    view->VoiceCallEnded(true);
    view->VoiceCallEnded(true);
    EXPECT_EQ(doc->forwarded, std::vector<uint32_t>{9});
    EXPECT_EQ(dialogs.forgotten, 2);
    EXPECT_EQ(doc->GetAlarmList().VoiceCallAlarm(), nullptr);

    view->DisconnectVoiceCall();
    ASSERT_FALSE(doc->tel.empty());
    EXPECT_EQ(doc->tel.back()->GetType(), TEL_ABORT_VOICE_CALL);
}

// ---------------------------------------------------------------------------
// Status changes

TEST_F(MainViewTest, FinishRecordsWhatEachRowStillNeededAndNeverGoesBack)
{
    const COleDateTime now(2026, 5, 4, 3, 2, 1);
    CScopedNowSource clock([now] { return now; });
    Fill({Simple(1, ALARMSTATUS_NEW), Simple(2, ALARMSTATUS_ACKNOWLEDGED), Simple(3, ALARMSTATUS_FINISHED),
          Simple(4, ALARMSTATUS_INFO)});
    Select({1, 2, 3, 4});
    doc->requests.clear();
    view->OnAlarmlistSetStatus(AlarmStatusChange::Finished);

    const auto edits = doc->Requests<CAlarmInfoMsg>(DBMSG_EDIT_ALARM_INFO);
    ASSERT_EQ(edits.size(), 2u);
    // The New alarm is acknowledged and finished in one step.
    EXPECT_EQ(edits[0]->PrimaryKey, 1u);
    EXPECT_EQ(edits[0]->AlarmStatus, ALARMSTATUS_FINISHED);
    EXPECT_EQ(edits[0]->AckTime, now);
    EXPECT_EQ(edits[0]->AckOperator, "Olle");
    EXPECT_EQ(edits[0]->ExecTime, now);
    EXPECT_EQ(edits[0]->ExecOperator, "Olle");
    // The acknowledged one keeps its acknowledgement.
    EXPECT_EQ(edits[1]->PrimaryKey, 2u);
    EXPECT_TRUE(edits[1]->AckOperator.empty());
    EXPECT_EQ(edits[1]->ExecOperator, "Olle");

    EXPECT_EQ(Row(1)->text(0), "  3");
    EXPECT_EQ(Row(2)->text(0), "  3");
    EXPECT_EQ(Row(4)->text(0), "  4");

    // Acknowledging what is finished does nothing.
    doc->requests.clear();
    Select({1, 3});
    view->OnAlarmlistSetStatus(AlarmStatusChange::Acknowledged);
    EXPECT_TRUE(doc->requests.empty());
    EXPECT_EQ(Row(3)->text(0), "  3");
}

TEST_F(MainViewTest, AcknowledgingTheLastNewVoiceAlarmSwitchesOnlyTheVoiceRelayOff)
{
    doc->Settings().ExtRelayCtrl = 1;
    Fill({Simple(1, ALARMSTATUS_NEW, ALARMTYPE_VOICE), Simple(2, ALARMSTATUS_NEW, ALARMTYPE_P100)});
    doc->tel.clear();
    Select({1});
    view->OnAlarmlistSetStatus(AlarmStatusChange::Acknowledged);
    ASSERT_EQ(doc->tel.size(), 2u);
    const auto* voice = dynamic_cast<const CTelHandlerMsg*>(doc->tel[0].get());
    const auto* other = dynamic_cast<const CTelHandlerMsg*>(doc->tel[1].get());
    ASSERT_TRUE(voice && other);
    EXPECT_EQ(voice->relayIndex, 0);
    EXPECT_EQ(voice->onOff, 0);
    EXPECT_EQ(other->relayIndex, 1);
    EXPECT_EQ(other->onOff, 1);
}

// ---------------------------------------------------------------------------
// Commands

TEST_F(MainViewTest, CommandsWithoutASelectedRowOnlyBeep)
{
    Fill(Four());
    view->List()->clearSelection();
    doc->requests.clear();
    view->OnAlarmlistView();
    view->OnAlarmlistDelete();  // no question either: nothing answers it here
    view->OnAlarmlistSetStatus(AlarmStatusChange::Acknowledged);
    EXPECT_EQ(screen.base.beeps.size(), 3u);
    EXPECT_TRUE(doc->requests.empty());
    EXPECT_EQ(view->List()->topLevelItemCount(), 4);
}

TEST_F(MainViewTest, ViewAndDoubleClickAskForTheFirstSelectedRowAndTheAnswerOpensTheDialog)
{
    Fill(Four());  // order 2, 1, 3, 4
    Select({3, 1});
    doc->requests.clear();
    view->OnAlarmlistView();
    auto finds = doc->Requests<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
    ASSERT_EQ(finds.size(), 1u);
    EXPECT_EQ(finds[0]->Kind, ALARM_KIND_BY_KEY);
    EXPECT_EQ(finds[0]->PrimaryKey, 1u);  // first in list order

    view->resize(1000, 400);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    QTreeWidget* list = view->List();
    const QPoint centre = list->visualItemRect(Row(4)).center();
    // The first click of a double-click selects the row, as an operator's does.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    finds = doc->Requests<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
    ASSERT_EQ(finds.size(), 2u);
    EXPECT_EQ(finds[1]->PrimaryKey, 4u);

    auto found = MakeAlarm(Four()[3]);
    found->Result = DBRES_ALARM_FOUND_KEY;
    doc->GetAlarmList().OnAlarmReply(std::move(found));
    ASSERT_EQ(dialogs.opened.size(), 1u);
    EXPECT_EQ(dialogs.opened[0].key, 4u);
    EXPECT_FALSE(dialogs.opened[0].voiceCall);
    EXPECT_EQ(dialogs.opened[0].header, "*** Test Successful ***\r\n");
}

TEST_F(MainViewTest, DeleteAsksAndRemovesTheSelectedRowsOnYesOnly)
{
    Fill(Four());
    Select({1, 4});
    doc->requests.clear();
    QString question;
    AnswerNextMessageBox(QMessageBox::No, &question);
    view->OnAlarmlistDelete();
    EXPECT_EQ(question, "Delete Alarm Info?");
    EXPECT_TRUE(doc->requests.empty());
    EXPECT_EQ(view->List()->topLevelItemCount(), 4);

    AnswerNextMessageBox(QMessageBox::Yes);
    view->OnAlarmlistDelete();
    const auto deletes = doc->Requests<CAlarmInfoReqMsg>(DBMSG_DELETE_ALARM_INFO);
    ASSERT_EQ(deletes.size(), 2u);
    EXPECT_EQ(deletes[0]->PrimaryKey, 1u);
    EXPECT_EQ(deletes[1]->PrimaryKey, 4u);
    EXPECT_EQ(Keys(), (std::vector<uint32_t>{2, 3}));
}

TEST_F(MainViewTest, FilterCommandsFlipTheirBitAndRefresh)
{
    const struct {
        int bit;
        uint8_t mask;
    } steps[] = {{0, 14}, {2, 10}, {0, 11}, {0, 10}, {1, 8}, {3, 0}};
    for (const auto& step : steps) {
        doc->requests.clear();
        view->OnAlarmlistFilter(step.bit);
        EXPECT_EQ(view->GetFilterMask(), step.mask);
        const auto finds = doc->Requests<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
        ASSERT_EQ(finds.size(), 1u);
        EXPECT_EQ(finds[0]->Kind, ALARM_KIND_LIST);
        EXPECT_EQ(finds[0]->StatusMask, step.mask);
        EXPECT_EQ(finds[0]->MaxCount, 200u);
    }
}

TEST_F(MainViewTest, UnattendedModeWarnsThenTurnsTheListSilver)
{
    const QColor white(255, 255, 255);
    EXPECT_EQ(view->List()->palette().color(QPalette::Base), white);
    QString warning;
    AnswerNextMessageBox(QMessageBox::Ok, &warning);
    view->OnOptionsUnattended();
    EXPECT_EQ(warning, "Setting the Alarm Receiver to 'Unattended' disables the voice communication\n"
                       "and redirects the emergency alarm calls to the next phone number!");
    EXPECT_TRUE(view->IsUnattended());
    EXPECT_EQ(view->List()->palette().color(QPalette::Base), QColor(192, 192, 192));
    auto* mode = dynamic_cast<const CTelHandlerMsg*>(doc->tel.back().get());
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->GetType(), TEL_SET_UNATTENDED);
    EXPECT_EQ(mode->onOff, 1);

    view->OnOptionsUnattended();  // no question on the way back
    EXPECT_FALSE(view->IsUnattended());
    EXPECT_EQ(view->List()->palette().color(QPalette::Base), white);
}

TEST_F(MainViewTest, RightClickOpensTheAlarmlistMenuAtTheMouse)
{
    QMenu menu;
    menu.addAction("View");
    view->SetContextMenu(&menu);
    view->resize(800, 400);
    view->show();
    QWidget* viewport = view->List()->viewport();
    const QPoint pos(40, 30);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, viewport->mapToGlobal(pos));
    QApplication::sendEvent(viewport, &event);
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(menu.pos(), viewport->mapToGlobal(pos));
    menu.hide();
}

TEST_F(MainViewTest, ObjectInfoBeepsWithoutItsWindowAndOtherwiseHandsTheObjectToIt)
{
    struct Find {
        std::string key;
        bool byPhoneNumber;
        bool operator==(const Find&) const = default;
    };
    std::vector<std::string> newObjects;
    std::vector<Find> finds;

    // No window would show the object yet: every press beeps.
    const std::size_t beepsBefore = screen.base.beeps.size();
    view->OpenObjectInfo(true, "LIFT-7", false);
    view->OpenObjectInfo(false, "NEW-1", false);
    EXPECT_EQ(screen.base.beeps.size(), beepsBefore + 2);

    view->SetNewObjectHandler([&](const std::string& idCode) { newObjects.push_back(idCode); });
    view->SetFindObjectHandler([&](const std::string& key, bool byPhone) { finds.push_back({key, byPhone}); });
    view->OpenObjectInfo(true, "0701234567", true);
    view->OpenObjectInfo(true, "LIFT-7", false);
    view->OpenObjectInfo(false, "NEW-1", false);

    EXPECT_EQ(finds, (std::vector<Find>{{"0701234567", true}, {"LIFT-7", false}}));
    EXPECT_EQ(newObjects, std::vector<std::string>{"NEW-1"});
    EXPECT_EQ(screen.base.beeps.size(), beepsBefore + 2);
}

// ---------------------------------------------------------------------------
// Column widths and header texts

TEST_F(MainViewTest, ColumnWidthsComeFromTheSettingsAndAreSavedWhenTheViewCloses)
{
    screen.view = nullptr;
    view.reset();
    // Wide enough for any font: the operator's widths.
    doc->Settings().ColumnWidthStatus = 401;
    doc->Settings().ColumnWidthIdInfo = 622;
    view = std::make_unique<CMainView>(*doc, dialogs);
    view->Initialise();
    EXPECT_EQ(view->List()->columnWidth(CMainView::ColStatus), 401);
    EXPECT_EQ(view->List()->columnWidth(CMainView::ColIdInfo), 622);

    for (int column = 0; column < CMainView::kColumnCount; ++column)
        view->List()->setColumnWidth(column, 50 + column);
    view.reset();

    CSettings saved;
    saved.Load();
    const SettingsValues& values = saved.Values();
    EXPECT_EQ(values.ColumnWidthStatus, 50);
    EXPECT_EQ(values.ColumnWidthType, 51);
    EXPECT_EQ(values.ColumnWidthIdCode, 52);
    EXPECT_EQ(values.ColumnWidthIdInfo, 53);
    EXPECT_EQ(values.ColumnWidthCidInfo, 54);
    EXPECT_EQ(values.ColumnWidthDateTime, 55);
}

TEST_F(MainViewTest, AStoredWidthNarrowerThanTheFontNeedsIsWidened)
{
    screen.view = nullptr;
    view.reset();
    doc->Settings().ColumnWidthStatus = 5;
    doc->Settings().ColumnWidthDateTime = 5;
    view = std::make_unique<CMainView>(*doc, dialogs);
    view->Initialise();
    EXPECT_EQ(view->List()->columnWidth(CMainView::ColStatus), view->FittedWidth(CMainView::ColStatus));
    EXPECT_EQ(view->List()->columnWidth(CMainView::ColDateTime), view->FittedWidth(CMainView::ColDateTime));
    EXPECT_GT(view->FittedWidth(CMainView::ColDateTime), 5);
}

// Every title and every text a column of fixed shape can hold is shown whole,
// in each language and also with a large font, whatever the stored widths
// (by default 45 pixels for the status, 125 for the date).
using cellfit::FitCase;

class MainViewFitTest : public MainViewTest, public ::testing::WithParamInterface<FitCase> {
protected:
    void SetUp() override
    {
        fit.emplace(GetParam());
        MainViewTest::SetUp();
    }
    void TearDown() override
    {
        MainViewTest::TearDown();
        fit.reset();
    }
    std::optional<cellfit::ScopedFitCase> fit;
};

TEST_P(MainViewFitTest, NoTitleAndNoTextOfAFixedShapeIsCutShort)
{
    // Every status and type, the longest numbers and the widest date.
    std::vector<AlarmFields> rows;
    const COleDateTime times[] = {COleDateTime(2026, 12, 10, 12, 28, 48), COleDateTime(2088, 8, 28, 20, 58, 58),
                                  COleDateTime(2000, 10, 10, 10, 10, 10)};
    for (uint8_t type = 0; type <= ALARMTYPE_VOICE_REDIRECTED + 1; ++type) {
        rows.push_back({static_cast<uint32_t>(type + 1), static_cast<uint8_t>(type % 6), type, "+468888888888888",
                        "Storgatan 1", "+000000000000000", times[type % 3]});
    }
    Fill(rows);
    ASSERT_EQ(view->List()->topLevelItemCount(), static_cast<int>(rows.size()));

    QTreeWidget& list = *view->List();
    for (int column = 0; column < CMainView::kColumnCount; ++column) {
        EXPECT_FALSE(cellfit::TitleCut(list, column))
            << GetParam().language << ": title " << list.headerItem()->text(column).toStdString() << " in "
            << list.columnWidth(column) << " pixels";
        if (column == CMainView::ColIdInfo)
            continue;  // free text of any length
        for (int row = 0; row < list.topLevelItemCount(); ++row) {
            QTreeWidgetItem* item = list.topLevelItem(row);
            EXPECT_FALSE(cellfit::CellTextCut(list, item, column))
                << GetParam().language << ": \"" << item->text(column).toStdString() << "\" in "
                << list.columnWidth(column) << " pixels";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, MainViewFitTest, ::testing::ValuesIn(cellfit::kFitCases),
                         [](const auto& info) { return cellfit::FitCaseName(info.param); });

TEST_F(MainViewTest, HeaderTextsComeFromTheFileInTheCurrentFolder)
{
    // The fixture's view created the file.
    EXPECT_TRUE(std::filesystem::exists(dir / "AlarmTypeText.ini"));
    {
        std::ofstream out(dir / "AlarmTypeText.ini", std::ios::binary);
        out << ":SmsAlarm\r\nSMS from the lift\r\n";
    }
    screen.view = nullptr;
    view = std::make_unique<CMainView>(*doc, dialogs);
    view->Initialise();
    EXPECT_EQ(view->HeaderText(ALARMTYPE_SMS), "SMS from the lift\r\n");
    EXPECT_EQ(view->HeaderText(ALARMTYPE_P100), "*** P100 Alarm ***\r\n");
}

}  // namespace
