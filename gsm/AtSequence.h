#pragma once
// A sequence of AT commands as a table of steps, run one short step per pass
// of the GSM handler's loop. A step sends its command and starts the shared
// timer; on the following passes it looks for one of its answers, and once
// the timer has run out without one it takes its no-answer way. Every answer
// (and the time-out) says where the sequence goes: on to a step (at once, on
// the next pass, or after a pause on the same timer) or to its end with a
// result for the caller.
//
// Step() keeps the machine's conventions: 0 while the sequence is under way,
// the result once it has ended (and the sequence is back at its start). The
// first call only leaves the start; the step after an answer sends its
// command on the next pass, unless the answer asks for it at once.

#include "core/IntervalTimer.h"
#include "gsm/GsmMsg.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <type_traits>
#include <utility>
#include <vector>

class CAtSequence {
public:
    // The command of a step that only waits for a further answer to the
    // previous step's command, on the timer that command started.
    static constexpr uint16_t kNoCommand = 0xFFFF;

    // Where the sequence goes from a step.
    struct Then {
        enum class Kind : uint8_t { Next, Row, SendNow, End };
        Kind kind = Kind::Next;
        int16_t value = 0;     // Row and SendNow: the step's id; End: the result
        uint32_t pauseMs = 0;  // Next and Row: a pause before the step
    };
    // The following step, after a pause when one is given.
    static Then Next(uint32_t pauseMs = 0) { return {Then::Kind::Next, 0, pauseMs}; }
    // The step with the id, after a pause when one is given.
    static Then GoTo(int16_t id, uint32_t pauseMs = 0) { return {Then::Kind::Row, id, pauseMs}; }
    // The step with the id, its command sent in this same pass.
    static Then SendNow(int16_t id) { return {Then::Kind::SendNow, id, 0}; }
    // The end of the sequence with the result (not 0).
    static Then End(int16_t result) { return {Then::Kind::End, result, 0}; }

    // A fixed way, or a function that decides it (and may act on the answer
    // first: store what it carries, log it).
    class Way {
    public:
        // Implicit, so that a table cell holds either.
        Way(Then then) : decide([then] { return then; }) {}
        template <typename F,
                  typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, Way> && std::is_invocable_r_v<Then, F&>>>
        Way(F f) : decide(std::move(f))
        {
        }
        Then operator()() const { return decide(); }

    private:
        std::function<Then()> decide;
    };

    struct Answer {
        uint16_t response = 0;  // GSMRSP_...
        Way then;
    };

    struct Row {
        int16_t id = 0;
        uint16_t command = kNoCommand;  // GSMCMD_...
        // Fills in the request (a PIN, an index) and does what goes with
        // sending it; may be empty.
        std::function<void(CGsmMsg& request)> prepare;
        uint32_t timeoutMs = 0;
        std::vector<Answer> answers;  // looked for in this order
        Way noAnswer;                 // once the timer has run out
    };

    // How the sequence reaches the modem: the request goes out (and the
    // answer filed for the previous command is forgotten); Take is true, and
    // the answer consumed, when the last answer is of the type.
    using SendFn = std::function<void(CGsmMsg& request)>;
    using TakeFn = std::function<bool(uint16_t response)>;

    CAtSequence(std::vector<Row> rows, CIntervalTimer& timer, SendFn send, TakeFn take);

    // One pass: 0 while under way, else the result of the sequence.
    int16_t Step();
    // Back to the start, as after an end.
    void Reset();

private:
    enum class Phase : uint8_t { Start, Send, Wait, Pause };

    int16_t Follow(const Then& then);
    void Enter(std::size_t row);
    void SendCurrent();
    std::size_t IndexOf(int16_t id) const;

    std::vector<Row> rows;
    CIntervalTimer& timer;
    SendFn send;
    TakeFn take;
    Phase phase = Phase::Start;
    std::size_t current = 0;
    std::size_t afterPause = 0;
};
