#include "core/PortRecovery.h"

#include "core/Handler.h"
#include "core/TextLookup.h"
#include "support/RecordingScreen.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

const PortRecoveryTexts kTexts{"PORT_ERROR", "DISABLED", "START_ERROR", MessageIcon::Error};

// Every text reads as its key in brackets, so the test sees which key was used.
class PortRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetTextLookup([](const std::string& key) { return "[" + key + "]"; });
    }
    void TearDown() override { SetTextLookup(nullptr); }
};

// A telephone manager's settings and screen, with the handler's start
// answering from a list; each start records the port it was configured with.
struct Station {
    Station()
    {
        host.settings.TelComPort = 3;
        host.settings.TelEnabled = 1;
    }

    void Run(std::deque<int16_t> results, const PortRecoveryTexts& texts = kTexts)
    {
        StartWithPortRecovery(
            host, host.settings.TelComPort, host.settings.TelEnabled,
            [&] {
                startedOn.push_back(host.settings.TelComPort);
                const int16_t result = results.empty() ? HNDRET_STARTED : results.front();
                if (!results.empty())
                    results.pop_front();
                return result;
            },
            [&](const std::string& text) { status.push_back(text); }, texts);
    }

    RecordingHost host;
    std::vector<int16_t> startedOn;
    std::vector<std::string> status;
};

struct Case {
    const char* name;
    std::vector<int16_t> results;                   // what each start answers
    std::vector<std::optional<int16_t>> operator_;  // the port dialog's answers (nothing: Cancel)
    std::vector<int16_t> startedOn;                 // the port of each start
    std::vector<std::pair<std::string, int16_t>> dialogs;
    std::vector<std::pair<int16_t, int32_t>> saved;  // port and enabled of each save
    int exclamationBeeps;
    std::vector<std::string> status;
    std::vector<std::pair<std::string, MessageIcon>> messages;
};

TEST_F(PortRecoveryTest, OutcomesOfTheStart)
{
    const std::pair<std::string, int16_t> askedOn3{"[PORT_ERROR]", 3};
    const std::vector<Case> cases = {
        {"starts at once", {HNDRET_STARTED}, {}, {3}, {}, {}, 0, {}, {}},
        {"port vanished, operator cancels",
         {HNDRET_START_FAILED},
         {std::nullopt},
         {3},
         {askedOn3},
         {{3, 0}},
         1,
         {"[DISABLED]"},
         {}},
        {"port vanished, another one works",
         {HNDRET_START_FAILED, HNDRET_STARTED},
         {5},
         {3, 5},
         {askedOn3},
         {{5, 1}},
         1,
         {},
         {}},
        {"the other port fails too, then the operator cancels",
         {HNDRET_START_FAILED, HNDRET_START_FAILED},
         {5, std::nullopt},
         {3, 5},
         {askedOn3, {"[PORT_ERROR]", 5}},
         {{5, 1}, {5, 0}},
         2,
         {"[DISABLED]"},
         {}},
        {"the port comes back after two tries",
         {HNDRET_START_FAILED, HNDRET_START_FAILED, HNDRET_STARTED},
         {4, 3},
         {3, 4, 3},
         {askedOn3, {"[PORT_ERROR]", 4}},
         {{4, 1}, {3, 1}},
         2,
         {},
         {}},
        // A start that failed for another reason than the port is not the
        // operator's to mend: one message, nothing asked, nothing saved.
        {"no answer from the thread",
         {HNDRET_TIMEOUT},
         {},
         {3},
         {},
         {},
         0,
         {},
         {{"[START_ERROR]", MessageIcon::Error}}},
        {"thread not created", {HNDRET_THREAD_FAILED}, {}, {3}, {}, {}, 0, {}, {{"[START_ERROR]", MessageIcon::Error}}},
        {"port vanished, then another one gives no answer",
         {HNDRET_START_FAILED, HNDRET_TIMEOUT},
         {5},
         {3, 5},
         {askedOn3},
         {{5, 1}},
         1,
         {},
         {{"[START_ERROR]", MessageIcon::Error}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Station station;
        RecordingHost& host = station.host;
        host.screen.portAnswers.assign(c.operator_.begin(), c.operator_.end());

        station.Run({c.results.begin(), c.results.end()});

        EXPECT_EQ(station.startedOn, c.startedOn);
        EXPECT_EQ(host.screen.portDialogs, c.dialogs);
        std::vector<std::pair<int16_t, int32_t>> saved;
        for (const SettingsValues& s : host.saved)
            saved.emplace_back(s.TelComPort, s.TelEnabled);
        EXPECT_EQ(saved, c.saved);
        EXPECT_EQ(static_cast<int>(host.screen.beeps.size()), c.exclamationBeeps);
        for (BeepKind beep : host.screen.beeps)
            EXPECT_EQ(beep, BeepKind::Exclamation);
        EXPECT_EQ(station.status, c.status);
        EXPECT_EQ(host.screen.messages, c.messages);
        EXPECT_TRUE(host.screen.portAnswers.empty()) << "the operator was asked less often than expected";
    }
}

// The managers give their own texts; the dialog and the status pane use them.
TEST_F(PortRecoveryTest, TheManagersTextsAreUsed)
{
    const PortRecoveryTexts gsm{"IDS_GSMMGR_PORT", "IDS_GSMMGR_OFF", "IDS_GSMMGR_START", MessageIcon::Exclamation};
    Station cancelled;
    cancelled.host.screen.portAnswers = {std::nullopt};
    cancelled.Run({HNDRET_START_FAILED}, gsm);
    ASSERT_EQ(cancelled.host.screen.portDialogs.size(), 1u);
    EXPECT_EQ(cancelled.host.screen.portDialogs[0].first, "[IDS_GSMMGR_PORT]");
    EXPECT_EQ(cancelled.status, std::vector<std::string>{"[IDS_GSMMGR_OFF]"});

    Station silent;
    silent.Run({HNDRET_TIMEOUT}, gsm);
    EXPECT_EQ(silent.host.screen.messages,
              (std::vector<std::pair<std::string, MessageIcon>>{{"[IDS_GSMMGR_START]", MessageIcon::Exclamation}}));
}

}  // namespace
