#include "tel/TelMgr.h"

#include "FakeLink.h"
#include "support/Pty.h"
#include "support/RecordingScreen.h"
#include "support/TempDir.h"
#include "support/TestDictionary.h"
#include "support/WaitFor.h"
#include "tel/SerialPort.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class TelMgrTest : public EnglishDictionaryTest {
protected:
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
    EXPECT_EQ(host.screen.statusLog, (std::vector<std::pair<int, std::string>>{{STATUS_PANE_TEL, "TEL:"},
                                                                               {STATUS_PANE_TEL, "TEL: Disabled"}}));
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
        {TELHND_NOTIFY_COM_WARNING,
         "",
         1,
         0,
         "TEL: Com Timeout",
         {{"WARNING: Telephone Modem communication failure, check modem settings and connections...", false}}},
        {TELHND_NOTIFY_COM_ERROR,
         "",
         1,
         0,
         "TEL: Com Timeout",
         {{"ERROR: Telephone Modem communication failure, check modem settings and connections...", true}}},
        {TELHND_NOTIFY_COM_ERROR,
         "Modem Line Connect Error...",
         1,
         0,
         "TEL: Com Timeout",
         {{"ERROR: Telephone Modem communication failure,Modem Line Connect Error...", true}}},
        {TELHND_NOTIFY_SERIAL_ERROR,
         "",
         1,
         0,
         "TEL: Com Error",
         {{contact, true},
          {"FATAL ERROR: Serial communication failure, check serial port installation and restart application...",
           false}}},
        {TELHND_NOTIFY_SERIAL_ERROR,
         "Serial Reception failure",
         1,
         0,
         "TEL: Com Error",
         {{contact, true},
          {"FATAL ERROR:Serial Reception failure, check serial port installation and restart application...", false}}},
        {TELHND_NOTIFY_SW_ERROR,
         "Minimum ver. 01.42 required...",
         1,
         0,
         "TEL: SW Error",
         {{"Telephone Modem Software Version Error,Minimum ver. 01.42 required...", true}}},
        {TELHND_NOTIFY_HW_ERROR, "x", 1, 0, "TEL: HW Error", {{"Telephone Modem Hardware Version Error,x", true}}},
        {TELHND_NOTIFY_INFO, "HW Version: 1", 1, 0, "", {{"HW Version: 1", false}}},
        // Each try to start a halted link again.
        {TELHND_NOTIFY_LINK_RESTART,
         "",
         1,
         0,
         "TEL: Com Error",
         {{"WARNING: Telephone Modem communication failure, check modem settings and connections...", false}}},
        {42,
         "",
         1,
         0,
         "TEL: Com Timeout",
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

std::unique_ptr<CTelHandlerMsg> Relay(int16_t index, bool on)
{
    auto msg = std::make_unique<CTelHandlerMsg>(TEL_SET_RELAY);
    msg->relayIndex = index;
    msg->onOff = on ? 1 : 0;
    return msg;
}

std::unique_ptr<CTelHandlerMsg> Unattended(bool on)
{
    auto msg = std::make_unique<CTelHandlerMsg>(TEL_SET_UNATTENDED);
    msg->onOff = on ? 1 : 0;
    return msg;
}

// While the telephone side is off nothing is queued for it: the alarm list
// sends the relay state with every answer all day long, and that backlog must
// neither grow nor reach the modem when the telephone is switched on. The
// handler gets the latest relay and unattended states when it starts, and
// takes requests while it runs.
TEST_F(TelMgrTest, RequestsForAStoppedHandlerAreNotQueuedAndTheLatestStateComesAtStart)
{
    std::atomic<FakeLink*> link{nullptr};
    manager.Handler().SetLinkFactory([&](int16_t, int32_t) {
        auto fake = std::make_unique<FakeLink>();
        link = fake.get();
        return fake;
    });
    for (int i = 0; i < 1000; ++i) {
        manager.PostToHandler(Relay(0, i % 2 == 1));
        manager.PostToHandler(Relay(1, i % 2 == 0));
    }
    manager.PostToHandler(Unattended(true));
    manager.PostToHandler(std::make_unique<CTelHandlerMsg>(TEL_ABORT_VOICE_CALL));
    EXPECT_EQ(manager.Handler().InputQueue().GetCount(), 0u);

    host.settings.TelEnabled = 1;
    ASSERT_EQ(manager.Start(nullptr), 1);
    ASSERT_EQ(manager.Handler().IsRunning(), 1);
    std::vector<std::vector<uint8_t>> relays;
    auto collect = [&] {
        for (const auto& frame : link.load()->TakeFrames())
            if (frame->GetCommand() == CMD_RELAY)
                relays.push_back(Payload(*frame));
        return relays.size();
    };
    ASSERT_TRUE(WaitFor([&] { return collect() >= 2; }));
    // A running handler takes requests.
    manager.PostToHandler(Relay(0, false));
    ASSERT_TRUE(WaitFor([&] { return collect() >= 3; }));
    std::this_thread::sleep_for(100ms);
    collect();
    EXPECT_EQ(relays, (std::vector<std::vector<uint8_t>>{{0, 1}, {1, 0}, {0, 0}}));
    EXPECT_EQ(manager.Stop(), HNDRET_STOPPED);

    // Stopped again: dropped. The unattended mode reached the handler.
    manager.PostToHandler(Relay(1, true));
    EXPECT_EQ(manager.Handler().InputQueue().GetCount(), 0u);
    const std::string log = ReadFile("TelHandler.log");
    EXPECT_NE(log.find("TEL_SET_UNATTENDED: On"), std::string::npos) << log;
}

}  // namespace
