// The step runner of the AT command tables, pass by pass on the fake clock:
// which pass sends which command, how an answer, a time-out and a pause lead
// on, and what the sequence ends with. The modem is a single filed answer,
// which a command clears, as in the GSM handler.

#include "gsm/AtSequence.h"

#include "support/FakeTickSource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr int16_t kDone = 1;
constexpr int16_t kTimedOut = 2;
constexpr int16_t kRefused = 3;

enum : int16_t { kAt = 1, kStorage, kStorageOk, kHeader };

constexpr uint32_t kAnswerMs = 1000;
constexpr uint32_t kPauseMs = 500;

// One pass: the clock moves on and an answer may be filed before it; what
// the pass sent (0: nothing) and what it returned.
struct Pass {
    uint32_t advanceMs = 0;
    uint16_t answer = 0;
    uint16_t sends = 0;
    int16_t result = 0;
};

struct Case {
    const char* name;
    std::vector<Pass> passes;
};

std::ostream& operator<<(std::ostream& out, const Case& c)
{
    return out << c.name;
}

class AtSequenceTest : public testing::TestWithParam<Case> {
protected:
    // AT, then after a pause the storage query, whose line is followed by an
    // OK on the same timer, upon which the header command goes out at once.
    CAtSequence Sequence()
    {
        using S = CAtSequence;
        const S::Then timedOut = S::End(kTimedOut);
        return CAtSequence(
            {
                {kAt,
                 GSMCMD_AT,
                 nullptr,
                 kAnswerMs,
                 {{GSMRSP_OK, S::Next(kPauseMs)}, {GSMRSP_ERROR, S::End(kRefused)}},
                 timedOut},
                {kStorage, GSMCMD_STORAGE, nullptr, kAnswerMs, {{GSMRSP_STORAGE, S::Next()}}, timedOut},
                {kStorageOk, S::kNoCommand, nullptr, 0, {{GSMRSP_OK, S::SendNow(kHeader)}}, timedOut},
                {kHeader, GSMCMD_SHOW_HEADER, nullptr, kAnswerMs, {{GSMRSP_OK, S::End(kDone)}}, timedOut},
            },
            timer,
            [this](CGsmMsg& request) {
                filed = 0;
                sent = request.GetType();
            },
            [this](uint16_t response) {
                if (filed != response)
                    return false;
                filed = 0;
                return true;
            });
    }

    FakeTickSource clock{5000};
    CIntervalTimer timer;
    uint16_t filed = 0;
    uint16_t sent = 0;
};

TEST_P(AtSequenceTest, PassByPass)
{
    CAtSequence sequence = Sequence();
    int n = 0;
    for (const Pass& pass : GetParam().passes) {
        ++n;
        clock.Advance(pass.advanceMs);
        if (pass.answer != 0)
            filed = pass.answer;
        sent = 0;
        EXPECT_EQ(sequence.Step(), pass.result) << "pass " << n;
        EXPECT_EQ(sent, pass.sends) << "pass " << n;
    }
}

// {advance ms, answer filed, command sent, result}
INSTANTIATE_TEST_SUITE_P(Cases, AtSequenceTest,
                         testing::Values(Case{"EveryStepInTurn",
                                              {
                                                  {0, 0, 0, 0},  // leaves the start only
                                                  {0, 0, GSMCMD_AT, 0},
                                                  {0, GSMRSP_OK, 0, 0},  // the pause begins
                                                  {kPauseMs - 1, 0, 0, 0},
                                                  {1, 0, 0, 0},  // the pause is over
                                                  {0, 0, GSMCMD_STORAGE, 0},
                                                  {0, GSMRSP_STORAGE, 0, 0},  // on to the OK of the same command
                                                  {0, GSMRSP_OK, GSMCMD_SHOW_HEADER,
                                                   0},  // sent in the pass of the answer
                                                  {0, GSMRSP_OK, 0, kDone},
                                                  {0, 0, 0, 0},  // back at the start
                                                  {0, 0, GSMCMD_AT, 0},
                                              }},
                                         Case{"NoAnswerInTime",
                                              {
                                                  {0, 0, 0, 0},
                                                  {0, 0, GSMCMD_AT, 0},
                                                  {kAnswerMs - 1, 0, 0, 0},
                                                  {1, 0, 0, kTimedOut},
                                                  {0, 0, 0, 0},
                                                  {0, 0, GSMCMD_AT, 0},
                                              }},
                                         Case{"AnswerInThePassTheTimeRunsOutCounts",
                                              {
                                                  {0, 0, 0, 0},
                                                  {0, 0, GSMCMD_AT, 0},
                                                  {kAnswerMs + 1, GSMRSP_OK, 0, 0},
                                                  {kPauseMs, 0, 0, 0},
                                                  {0, 0, GSMCMD_STORAGE, 0},
                                              }},
                                         Case{"FailureAnswer",
                                              {
                                                  {0, 0, 0, 0},
                                                  {0, 0, GSMCMD_AT, 0},
                                                  {0, GSMRSP_ERROR, 0, kRefused},
                                              }},
                                         Case{"AnswerOfAnotherKindIsNotTaken",
                                              {
                                                  {0, 0, 0, 0},
                                                  {0, 0, GSMCMD_AT, 0},
                                                  {0, GSMRSP_STORAGE, 0, 0},
                                                  {kAnswerMs, 0, 0, kTimedOut},
                                              }},
                                         Case{"StepWithoutCommandRunsOnThePreviousTimer",
                                              {
                                                  {0, 0, 0, 0},
                                                  {0, 0, GSMCMD_AT, 0},
                                                  {0, GSMRSP_OK, 0, 0},
                                                  {kPauseMs, 0, 0, 0},
                                                  {0, 0, GSMCMD_STORAGE, 0},
                                                  {600, GSMRSP_STORAGE, 0, 0},
                                                  {kAnswerMs - 600 - 1, 0, 0, 0},
                                                  {1, 0, 0, kTimedOut},
                                              }},
                                         Case{"PauseIsNotCutShortByAnAnswer",
                                              {
                                                  {0, 0, 0, 0},
                                                  {0, 0, GSMCMD_AT, 0},
                                                  {0, GSMRSP_OK, 0, 0},
                                                  {kPauseMs - 1, GSMRSP_OK, 0, 0},
                                                  {0, 0, 0, 0},
                                                  {1, 0, 0, 0},
                                                  {0, 0, GSMCMD_STORAGE, 0},
                                              }}),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The handler sets its sequences back after a failure elsewhere: a sequence
// stopped in a wait begins again with its first step.
TEST_F(AtSequenceTest, ResetInTheMiddleStartsOver)
{
    CAtSequence sequence = Sequence();
    sequence.Step();
    sequence.Step();
    filed = GSMRSP_OK;
    sequence.Step();
    clock.Advance(kPauseMs);
    sequence.Step();
    sequence.Step();
    ASSERT_EQ(sent, GSMCMD_STORAGE);
    sequence.Reset();
    sent = 0;
    EXPECT_EQ(sequence.Step(), 0);
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(sequence.Step(), 0);
    EXPECT_EQ(sent, GSMCMD_AT);
}

}  // namespace
