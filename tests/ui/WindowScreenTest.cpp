// The station's screen with windows around a document that has not started:
// every command of the main window either does its work or beeps, and the
// beeps reach the echo like everything else the windows show.

#include "station/RecordingDocScreen.h"

#include "../db/DbTestSupport.h"
#include "db/MailInfoMsg.h"
#include "messages/AlarmInfoMsg.h"
#include "station/OrvaDoc.h"
#include "support/TempDir.h"
#include "ui/Commands.h"
#include "ui/EventMsgDlg.h"
#include "ui/ExportObjectInfoDlg.h"
#include "ui/GenerateP100MsgDlg.h"
#include "ui/MailSmsNumInfoDlg.h"
#include "ui/MainFrame.h"
#include "ui/ObjectInfoDlg.h"
#include "ui/PrintDlg.h"
#include "ui/SendSmsDlg.h"
#include "ui/UserMsgEditDlg.h"
#include "ui/WindowScreen.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <memory>
#include <ostream>

namespace {

class WindowScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.WorkIn();
        doc = std::make_unique<COrvaDoc>(windows);
        doc->SetStopPause([](uint32_t) {});  // the close spends no real time
        windows.SetEcho(&echo);
        windows.Attach(*doc);
        // A test machine has no sound output: the start-up's note about it
        // opened the system information; these tests begin without it.
        windows.SystemInformation().hide();
    }
    void TearDown() override
    {
        windows.Detach();
        doc.reset();
    }

    std::size_t Beeps() const { return echo.base.beeps.size(); }

    // A database of the station's own form in the scratch folder, opened.
    void StartDatabase()
    {
        const std::string folder = (dir / "data") + "/";
        std::filesystem::create_directories(folder);
        CreateStationDatabase(folder);
        doc->Settings().DatabasePath = folder;
        ASSERT_EQ(doc->StartDatabase(), 1);
    }

    // Runs step on the dialog of the class whenever it is the modal one, as
    // long as the returned timers live; the step ends the dialog. Gives up
    // (Cancel) after ten seconds.
    template <class Dialog>
    static std::unique_ptr<QObject> WhileModal(std::function<void(Dialog&)> step)
    {
        auto timers = std::make_unique<QObject>();
        auto* poll = new QTimer(timers.get());
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, [step] {
            if (auto* dialog = dynamic_cast<Dialog*>(QApplication::activeModalWidget()))
                step(*dialog);
        });
        poll->start();
        auto* giveUp = new QTimer(timers.get());
        giveUp->setSingleShot(true);
        QObject::connect(giveUp, &QTimer::timeout, [] {
            if (auto* dialog = dynamic_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        giveUp->start(10000);
        return timers;
    }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    RecordingDocScreen echo;
    CWindowScreen windows{false};
    std::unique_ptr<COrvaDoc> doc;  // before the windows go
};

// Printing before the start-up has made the print window: each command
// answers with one beep, and nothing else happens.
struct WaitingCommandCase {
    const char* name;
    int command;
};

void PrintTo(const WaitingCommandCase& c, std::ostream* out)
{
    *out << c.name;
}

class WindowScreenWaitingCommandTest : public WindowScreenTest,
                                       public ::testing::WithParamInterface<WaitingCommandCase> {};

TEST_P(WindowScreenWaitingCommandTest, CommandWithoutItsWindowBeeps)
{
    CMainFrame* frame = windows.Frame();
    ASSERT_NE(frame, nullptr);
    // Send SMS is offered only with GSM on.
    doc->Settings().GsmEnabled = 1;
    frame->UpdateCommandStates();
    QAction* action = frame->Action(GetParam().command);
    ASSERT_NE(action, nullptr);
    ASSERT_TRUE(action->isEnabled());

    action->trigger();
    EXPECT_EQ(Beeps(), 1u);
    EXPECT_FALSE(windows.SystemInformation().isVisible());
    EXPECT_FALSE(frame->P100Window()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(MainWindow, WindowScreenWaitingCommandTest,
                         ::testing::Values(WaitingCommandCase{"Print", ID_FILE_PRINT},
                                           WaitingCommandCase{"PrintSetup", ID_FILE_PRINT_SETUP}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowScreenTest, CommandsWithTheirWindowsShowThemWithoutABeep)
{
    CMainFrame* frame = windows.Frame();
    ASSERT_NE(frame, nullptr);
    frame->Action(ID_OPTIONS_SYSTEMINFORMATION)->trigger();
    EXPECT_TRUE(windows.SystemInformation().isVisible());
    frame->OnCommand(ID_GENERATE_P100_MSG);
    EXPECT_TRUE(frame->P100Window()->isVisible());
    EXPECT_EQ(Beeps(), 0u);
}

TEST_F(WindowScreenTest, FileCommandsWorkOnTheObjectWindow)
{
    CMainFrame* frame = windows.Frame();
    ASSERT_NE(frame, nullptr);
    CObjectInfoDlg* objectWindow = windows.ObjectWindow();
    ASSERT_NE(objectWindow, nullptr);

    // Save with the window hidden has nothing to save.
    frame->Action(ID_FILE_SAVE)->trigger();
    EXPECT_EQ(Beeps(), 1u);
    EXPECT_FALSE(objectWindow->isVisible());

    frame->Action(ID_FILE_NEW)->trigger();
    EXPECT_TRUE(objectWindow->isVisible());
    EXPECT_EQ(Beeps(), 1u);
    // Shown already: a second New only beeps.
    frame->Action(ID_FILE_NEW)->trigger();
    EXPECT_EQ(Beeps(), 2u);
    objectWindow->hide();
}

TEST_F(WindowScreenTest, UserMessagesAndExportOpenTheirWindowsOnce)
{
    CMainFrame* frame = windows.Frame();
    ASSERT_NE(frame, nullptr);
    frame->Action(ID_OPTIONS_EXPORT_OBJECTINFO)->trigger();
    ASSERT_NE(windows.ExportWindow(), nullptr);
    EXPECT_TRUE(windows.ExportWindow()->isVisible());

    frame->Action(ID_OPTIONS_EDIT_USER_MSG_FILE)->trigger();
    QPointer<CEditUserMsgDlg> editor = windows.UserMsgEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(Beeps(), 0u);
    // A second editor would write the same file over the first one's.
    frame->Action(ID_OPTIONS_EDIT_USER_MSG_FILE)->trigger();
    EXPECT_EQ(windows.UserMsgEditor(), editor.data());
    EXPECT_EQ(Beeps(), 1u);

    editor->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(editor.isNull());
    windows.ExportWindow()->hide();
}

TEST_F(WindowScreenTest, PrintShowsThePrintWindowOnceTheStartUpMadeIt)
{
    windows.CreatePrintWindow();
    ASSERT_NE(windows.PrintWindow(), nullptr);
    windows.Frame()->Action(ID_FILE_PRINT)->trigger();
    EXPECT_TRUE(windows.PrintWindow()->isVisible());
    EXPECT_EQ(Beeps(), 0u);
    windows.PrintWindow()->hide();
}

TEST_F(WindowScreenTest, SendSmsOpensItsWindowWhileGsmIsOn)
{
    CMainFrame* frame = windows.Frame();
    ASSERT_NE(frame, nullptr);
    doc->Settings().GsmEnabled = 1;
    frame->UpdateCommandStates();
    frame->Action(ID_OPTIONS_SEND_SMS)->trigger();
    ASSERT_NE(windows.SendSmsWindow(), nullptr);
    EXPECT_TRUE(windows.SendSmsWindow()->isVisible());
    EXPECT_EQ(Beeps(), 0u);
    windows.SendSmsWindow()->hide();
}

// The whole way of a register answer in the station: the recipient dialog
// opened from the object window asks the database through the document, and
// the stored addresses come back through the document's inbox, the screen and
// the object window while the dialog runs.
TEST_F(WindowScreenTest, RecipientDialogOfTheObjectWindowGetsItsAnswersThroughTheDocument)
{
    StartDatabase();

    auto stored = std::make_unique<CMailInfoMsg>(DBMSG_ADD_MAIL_INFO);
    stored->Address = "night@lifts.test";
    stored->Name = "Night shift";
    doc->DatabaseRequest(std::move(stored));

    CObjectInfoDlg* objectWindow = windows.ObjectWindow();
    objectWindow->OpenNewObject("");
    auto* field = objectWindow->findChild<QLineEdit*>(QStringLiteral("MailAddrTech"));
    auto* button = objectWindow->findChild<QAbstractButton*>(QStringLiteral("MailAddrTechButton"));
    ASSERT_NE(field, nullptr);
    ASSERT_NE(button, nullptr);
    field->setText(QStringLiteral("night@lifts.test, day@lifts.test"));

    // While the dialog runs: once the stored address is listed, the names of
    // the recipients are known; then OK.
    std::vector<std::string> names;
    const auto running = WhileModal<CMailSmsNumInfoDlg>([&](CMailSmsNumInfoDlg& dialog) {
        auto* storedList = dialog.findChild<QTreeWidget*>(QStringLiteral("StoredList"));
        auto* recipients = dialog.findChild<QTreeWidget*>(QStringLiteral("RecipientList"));
        if (storedList == nullptr || recipients == nullptr || storedList->topLevelItemCount() == 0)
            return;
        for (int row = 0; row < recipients->topLevelItemCount(); ++row)
            names.push_back(recipients->topLevelItem(row)->text(0).toStdString());
        for (QDialogButtonBox* box : dialog.findChildren<QDialogButtonBox*>())
            for (QAbstractButton* b : box->buttons())
                if (box->buttonRole(b) == QDialogButtonBox::AcceptRole)
                    b->click();
    });
    button->click();

    EXPECT_EQ(names, (std::vector<std::string>{"Night shift", "???"}));
    EXPECT_EQ(field->text().toStdString(), "night@lifts.test; day@lifts.test");
    objectWindow->hide();
}

// A voice call does not wait for the register: while a dialog opened from
// the object window runs, the alarm dialogs still take the operator's clicks.
TEST_F(WindowScreenTest, AlarmDialogsStayUsableWhileADialogOfTheRegisterRuns)
{
    StartDatabase();
    CAlarmInfoMsg alarm;
    alarm.PrimaryKey = 5;
    alarm.IdCode = "30020002";
    alarm.AlarmSource = ALARMSOURCE_TEL;
    alarm.AlarmType = ALARMTYPE_P100;
    alarm.AlarmStatus = ALARMSTATUS_NEW;
    alarm.AlarmTime = COleDateTime(2026, 12, 11, 3, 0, 0);
    alarm.Text.AddLine("Passenger trapped");
    windows.OpenAlarmDialog(alarm);
    ASSERT_EQ(windows.AlarmDialogs().Dialogs().size(), 1u);
    CEventMsgDlg* alarmDialog = windows.AlarmDialogs().Dialogs().front();

    CObjectInfoDlg* objectWindow = windows.ObjectWindow();
    objectWindow->OpenNewObject("");
    auto* button = objectWindow->findChild<QAbstractButton*>(QStringLiteral("SmsNumTechButton"));
    ASSERT_NE(button, nullptr);
    const std::size_t beepsBefore = Beeps();
    bool clicked = false;
    const auto running = WhileModal<CMailSmsNumInfoDlg>([&](CMailSmsNumInfoDlg& dialog) {
        if (!clicked) {
            // The alarm's Object Info: the object window is shown already,
            // so it answers with a beep.
            // Through the window system, where a modal window blocks others.
            QPushButton* target = alarmDialog->ObjectInfoButton();
            QTest::mouseClick(alarmDialog->windowHandle(), Qt::LeftButton, {},
                              target->mapTo(alarmDialog, target->rect().center()));
            clicked = true;
        }
        dialog.reject();
    });
    button->click();
    EXPECT_TRUE(clicked);
    EXPECT_EQ(Beeps(), beepsBefore + 1);
    objectWindow->hide();
    windows.AlarmDialogs().CloseAll();
}

}  // namespace
