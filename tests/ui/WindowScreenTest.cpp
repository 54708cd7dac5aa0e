// The station's screen with windows around a document that has not started:
// every command of the main window either does its work or beeps, and the
// beeps reach the echo like everything else the windows show.

#include "core/RecordingDocScreen.h"

#include "core/OrvaDoc.h"
#include "support/TempDir.h"
#include "ui/Commands.h"
#include "ui/MainFrame.h"
#include "ui/P100TestMsgWnd.h"
#include "ui/ObjectInfoDlg.h"
#include "ui/SendSmsDlg.h"
#include "ui/WindowScreen.h"

#include <gtest/gtest.h>

#include <QAction>

#include <memory>
#include <ostream>

namespace {

class WindowScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.WorkIn();
        doc = std::make_unique<COrvaDoc>(windows);
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

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    RecordingDocScreen echo;
    CWindowScreen windows{false};
    std::unique_ptr<COrvaDoc> doc;  // before the windows go
};

// Commands whose windows come later: each one answers with one beep, and
// nothing else happens.
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

INSTANTIATE_TEST_SUITE_P(
    MainWindow, WindowScreenWaitingCommandTest,
    ::testing::Values(WaitingCommandCase{"Print", ID_FILE_PRINT},
                      WaitingCommandCase{"PrintSetup", ID_FILE_PRINT_SETUP},
                      WaitingCommandCase{"Settings", ID_OPTIONS_SETTINGS},
                      WaitingCommandCase{"UserMessages", ID_OPTIONS_EDIT_USER_MSG_FILE},
                      WaitingCommandCase{"Export", ID_OPTIONS_EXPORT_OBJECTINFO}),
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

}  // namespace
