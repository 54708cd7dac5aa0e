#include "tel/TelMgr.h"

#include "support/RecordingScreen.h"
#include "support/TempDir.h"
#include "Pty.h"
#include "tel/SerialPort.h"
#include "ui/Dictionary.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

class TelMgrTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static CDictionary dictionary;
        ASSERT_TRUE(dictionary.Load());
        dictionary.SetLanguage("en");
        dictionary.InstallAsTextLookup();
    }

    void SetUp() override
    {
        dir.WorkIn();
        manager.SetDocument(&host);
    }

    TempDir dir;
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    RecordingHost host;
    CTelMgr manager;
};

TEST_F(TelMgrTest, DisabledTelephoneStartsNothing)
{
    host.settings.TelEnabled = 0;
    EXPECT_EQ(manager.Start(nullptr), 1);
    EXPECT_EQ(host.screen.statusLog,
              (std::vector<std::pair<int, std::string>>{{STATUS_PANE_TEL, "TEL:"}, {STATUS_PANE_TEL, "TEL: Disabled"}}));
    EXPECT_EQ(manager.Handler().IsRunning(), 0);
    EXPECT_TRUE(host.screen.portDialogs.empty());
}

TEST_F(TelMgrTest, PortInUseAsksForAnotherAndSavesTheChoice)
{
    Pty held, free;
    fs::create_symlink(held.SlavePath(), dir.Path() / "COM3");
    fs::create_symlink(free.SlavePath(), dir.Path() / "COM4");
    SerialPort otherProgram;
    otherProgram.SetPortNumber(3);
    ASSERT_EQ(otherProgram.Open(), COMRET_OK);

    host.settings.TelEnabled = 1;
    host.settings.TelComPort = 3;
    host.screen.portAnswers = {int16_t{4}};
    EXPECT_EQ(manager.Start(nullptr), 1);
    ASSERT_EQ(host.screen.portDialogs.size(), 1u);
    EXPECT_EQ(host.screen.portDialogs[0], (std::pair<std::string, int16_t>{"Telephone Modem Serial Port Error", 3}));
    EXPECT_EQ(host.screen.beeps, std::vector<BeepKind>{BeepKind::Exclamation});
    ASSERT_EQ(host.saved.size(), 1u);
    EXPECT_EQ(host.saved[0].TelComPort, 4);
    EXPECT_EQ(manager.Handler().IsRunning(), 1);
    EXPECT_EQ(manager.Stop(), HNDRET_STOPPED);
}

TEST_F(TelMgrTest, CancellingThePortDialogDisablesTheTelephone)
{
    host.settings.TelEnabled = 1;
    host.settings.TelComPort = 9;  // nothing there
    EXPECT_EQ(manager.Start(nullptr), 1);
    ASSERT_EQ(host.saved.size(), 1u);
    EXPECT_EQ(host.saved[0].TelEnabled, 0);
    EXPECT_EQ(host.screen.panes[STATUS_PANE_TEL], "TEL: Disabled");
    EXPECT_EQ(manager.Handler().IsRunning(), 0);
}

TEST_F(TelMgrTest, NotificationTexts)
{
    struct Case {
        int16_t code;
        std::string text;
        int16_t interfaceType;
        int16_t signal;
        std::string pane;  // empty: unchanged
        std::vector<std::pair<std::string, bool>> info;
    };
    const std::string contact = "Please contact Tervin Europe or Tervin AB if the problem remains...";
    const std::vector<Case> cases = {
        {TELHND_NOTIFY_NO_LINE, "", 1, 0, "TEL: Com OK, No Line", {}},
        {TELHND_NOTIFY_NO_LINE, "", 2, 0, "TEL: Com OK, No NET", {}},
        {TELHND_NOTIFY_NO_LINE, "", 0, 0, "TEL: HW Error", {}},
        {TELHND_NOTIFY_LINE_OK, "", 1, 0, "TEL: Com OK, Line OK", {}},
        {TELHND_NOTIFY_LINE_OK, "", 2, 65, "TEL: Com OK, NET 65%", {}},
        {TELHND_NOTIFY_LINE_OK, "", 2, 0, "TEL: Com OK, No NET", {}},
        {TELHND_NOTIFY_RING, "", 1, 0, "TEL: Ring Detect", {}},
        {TELHND_NOTIFY_INCOMING_CALL, "", 1, 0, "TEL: Incoming Call", {}},
        {TELHND_NOTIFY_COM_WARNING, "", 1, 0, "TEL: Com Timeout",
         {{"WARNING: Telephone Modem communication failure, check modem settings and connections...", false}}},
        {TELHND_NOTIFY_COM_ERROR, "", 1, 0, "TEL: Com Timeout",
         {{"ERROR: Telephone Modem communication failure, check modem settings and connections...", true}}},
        {TELHND_NOTIFY_COM_ERROR, "Modem Line Connect Error...", 1, 0, "TEL: Com Timeout",
         {{"ERROR: Telephone Modem communication failure,Modem Line Connect Error...", true}}},
        {TELHND_NOTIFY_SERIAL_ERROR, "", 1, 0, "TEL: Com Error",
         {{contact, true},
          {"FATAL ERROR: Serial communication failure, check serial port installation and restart application...",
           false}}},
        {TELHND_NOTIFY_SERIAL_ERROR, "Serial Reception failure", 1, 0, "TEL: Com Error",
         {{contact, true},
          {"FATAL ERROR:Serial Reception failure, check serial port installation and restart application...", false}}},
        {TELHND_NOTIFY_SW_ERROR, "Minimum ver. 01.42 required...", 1, 0, "TEL: SW Error",
         {{"Telephone Modem Software Version Error,Minimum ver. 01.42 required...", true}}},
        {TELHND_NOTIFY_HW_ERROR, "x", 1, 0, "TEL: HW Error", {{"Telephone Modem Hardware Version Error,x", true}}},
        {TELHND_NOTIFY_INFO, "HW Version: 1", 1, 0, "", {{"HW Version: 1", false}}},
        {42, "", 1, 0, "TEL: Com Timeout",
         {{"WARNING: Telephone Modem communication failure, check modem settings and connections...", false}}},
    };
    for (const Case& c : cases) {
        RecordingHost fresh;
        CTelMgr mgr;
        mgr.SetDocument(&fresh);
        CTelHandlerMsg msg(TEL_NOTIFY);
        msg.code = c.code;
        msg.text = c.text;
        msg.interfaceType = c.interfaceType;
        msg.signalLevel = c.signal;
        mgr.OnHandlerMsg(msg);
        if (c.pane.empty()) {
            EXPECT_TRUE(fresh.screen.panes.empty()) << c.code;
        } else {
            EXPECT_EQ(fresh.screen.panes[STATUS_PANE_TEL], c.pane) << c.code << " " << c.text;
        }
        EXPECT_EQ(fresh.screen.infoLines, c.info) << c.code << " " << c.text;
    }
}

TEST_F(TelMgrTest, RequestsReachTheHandlerQueue)
{
    manager.PostToHandler(std::make_unique<CTelHandlerMsg>(TEL_ABORT_VOICE_CALL));
    auto msg = manager.Handler().GetMsg();
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(msg->GetType(), TEL_ABORT_VOICE_CALL);
}

}  // namespace
