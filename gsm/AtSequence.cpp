#include "gsm/AtSequence.h"

#include <stdexcept>
#include <string>

CAtSequence::CAtSequence(std::vector<Row> steps, CIntervalTimer& sharedTimer, SendFn sendFn, TakeFn takeFn)
    : rows(std::move(steps)), timer(sharedTimer), send(std::move(sendFn)), take(std::move(takeFn))
{
    if (rows.empty())
        throw std::invalid_argument("CAtSequence: no steps");
}

int16_t CAtSequence::Step()
{
    switch (phase) {
    case Phase::Start:
        Enter(0);
        return 0;
    case Phase::Send:
        SendCurrent();
        return 0;
    case Phase::Wait: {
        const Row& row = rows[current];
        // An answer that came counts even when the time is up by now.
        for (const Answer& answer : row.answers) {
            if (take(answer.response))
                return Follow(answer.then());
        }
        if (timer.Expired())
            return Follow(row.noAnswer());
        return 0;
    }
    case Phase::Pause:
        if (timer.Expired())
            Enter(afterPause);
        return 0;
    }
    return 0;
}

void CAtSequence::Reset()
{
    phase = Phase::Start;
    current = 0;
    afterPause = 0;
}

int16_t CAtSequence::Follow(const Then& then)
{
    std::size_t next = 0;
    switch (then.kind) {
    case Then::Kind::End:
        Reset();
        return then.value;
    case Then::Kind::SendNow:
        Enter(IndexOf(then.value));
        SendCurrent();
        return 0;
    case Then::Kind::Next:
        next = current + 1;
        if (next >= rows.size())
            throw std::logic_error("CAtSequence: no step after " + std::to_string(rows[current].id));
        break;
    case Then::Kind::Row:
        next = IndexOf(then.value);
        break;
    }
    if (then.pauseMs == 0) {
        Enter(next);
        return 0;
    }
    timer.Start(then.pauseMs);
    afterPause = next;
    phase = Phase::Pause;
    return 0;
}

void CAtSequence::Enter(std::size_t row)
{
    current = row;
    phase = rows[row].command == kNoCommand ? Phase::Wait : Phase::Send;
}

void CAtSequence::SendCurrent()
{
    const Row& row = rows[current];
    if (row.command != kNoCommand) {
        CGsmMsg request(row.command);
        if (row.prepare)
            row.prepare(request);
        send(request);
        timer.Start(row.timeoutMs);
    }
    phase = Phase::Wait;
}

std::size_t CAtSequence::IndexOf(int16_t id) const
{
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].id == id)
            return i;
    }
    throw std::logic_error("CAtSequence: no step " + std::to_string(id));
}
