#include "core/Handler.h"

#include "core/IntervalTimer.h"
#include "core/PassPacer.h"
#include "core/TickSource.h"

#include <pthread.h>

#include <cstdio>
#include <exception>
#include <system_error>

CHandler::~CHandler()
{
    EndThread();
}

void CHandler::EndThread()
{
    SetRun(0);
    JoinThread();
}

void CHandler::JoinThread()
{
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id())
        thread.join();
}

int16_t CHandler::Start()
{
    if (IsRunning() != 0)
        return HNDRET_ALREADY_RUNNING;

    // A thread of an earlier run may still be finishing (for example after a
    // Stop that timed out during the modem link's back-off). Wait for it, so
    // that two threads never run the same handler.
    JoinThread();
    // A report that thread made after its Start or Stop had given up waiting
    // is still in the status word; it says nothing about the new thread.
    TakeStatus();

    SetRun(1);
    try {
        thread = std::thread(&CHandler::ThreadEntry, this);
    } catch (const std::system_error&) {
        SetRun(0);
        return HNDRET_THREAD_FAILED;
    }
    return WaitStatus();
}

int16_t CHandler::Stop()
{
    if (IsRunning() != 1)
        return HNDRET_NOT_RUNNING;
    SetRun(0);
    return WaitStatus();
}

int16_t CHandler::WaitStatus()
{
    CIntervalTimer timeout;
    timeout.Start(kHandshakeTimeoutMs);
    // The status is read before the time is looked at: a waiting thread that
    // was not scheduled for a second must still see the report that came in
    // meanwhile, not call it a time-out.
    for (;;) {
        const int16_t code = TakeStatus();
        if (code != HNDRET_OK)
            return code;
        if (timeout.Expired())
            return HNDRET_TIMEOUT;
        SleepMs(1);
    }
}

void CHandler::SetStatus(int16_t code)
{
    status.store(code, std::memory_order_release);
}

int16_t CHandler::TakeStatus()
{
    return status.exchange(HNDRET_OK, std::memory_order_acq_rel);
}

void CHandler::SetRun(int32_t run)
{
    runFlag.store(run, std::memory_order_release);
    // A worker asleep between passes sees the end at once.
    if (run == 0)
        inputQueue.Wakeup().Signal();
}

std::unique_ptr<CMsg> CHandler::GetMsg()
{
    std::unique_ptr<CMsg> msg = inputQueue.Get();
    if (msg)
        ThisThreadPacer().NoteActivity();
    return msg;
}

void CHandler::WaitForWork(int fd, short events)
{
    const uint32_t waitMs = ThisThreadPacer().TakeWaitMs();
    CWakeup& wakeup = inputQueue.Wakeup();
    pollfd fds[2] = {{wakeup.Fd(), POLLIN, 0}, {fd, events, 0}};
    // Work already queued, or the end asked for: look at once. A message
    // added after this check signals the wake-up, which the wait sees.
    const bool due = inputQueue.GetCount() > 0 || IsRunning() != 1;
    const unsigned count = fd >= 0 ? 2u : 1u;
    TickSource().WaitReady(fds, count, due ? 0 : waitMs);
    // A line that broke (an unplugged adapter, a closed socket) stays ready
    // for ever; the pass that reads it learns that, and until it acts the
    // thread waits on its queue and its clock alone instead of spinning.
    if (count == 2 && !due && (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (fds[0].revents & POLLIN) == 0)
        TickSource().WaitReady(fds, 1, waitMs);
    wakeup.Clear();
}

int32_t CHandler::IsRunning() const
{
    return runFlag.load(std::memory_order_acquire);
}

void CHandler::PostMsg(CMsgReceiver* target, std::unique_ptr<CMsg> msg)
{
    // A message without a receiver is simply deleted here.
    if (target && msg)
        target->ReceiveMsg(std::move(msg));
}

void CHandler::ThreadEntry()
{
    pthread_setname_np(pthread_self(), ThreadName());
    // An exception escaping a worker would end the whole station, and with it
    // every other line that may be carrying an alarm. Contain it: the worker
    // stops and its starter sees a failed report instead of a running thread.
    try {
        ThreadMain();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "worker thread ended by an exception: %s\n", e.what());
        SetRun(0);
        SetStatus(HNDRET_STOP_FAILED);
    } catch (...) {
        std::fprintf(stderr, "worker thread ended by an unknown exception\n");
        SetRun(0);
        SetStatus(HNDRET_STOP_FAILED);
    }
}
