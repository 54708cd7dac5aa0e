#pragma once
// Base of every worker thread. Start and Stop run a small handshake through
// the status word so that the starter learns within one second whether the
// worker came up or went down. Each handler owns its input queue.

#include "core/MsgReceiver.h"
#include "core/ThreadQueue.h"

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

// Handshake results (the thread reports the 10-series; Start/Stop add their own).
constexpr int16_t HNDRET_OK = 0;               // no report yet
constexpr int16_t HNDRET_THREAD_FAILED = 1;    // Start: the thread could not be created
constexpr int16_t HNDRET_TIMEOUT = 3;          // Start/Stop: no report within 1000 ms
constexpr int16_t HNDRET_ALREADY_RUNNING = 4;  // Start: run flag already set
constexpr int16_t HNDRET_NOT_RUNNING = 5;      // Stop: run flag not 1
constexpr int16_t HNDRET_STARTED = 10;         // thread: initialised, entering its loop
constexpr int16_t HNDRET_STOPPED = 11;         // thread: left its loop and cleaned up
constexpr int16_t HNDRET_START_FAILED = 12;    // thread: initialisation failed, run flag cleared
constexpr int16_t HNDRET_STOP_FAILED = 13;     // thread: ended, but a child did not stop cleanly

class CHandler : public CMsgReceiver {
public:
    static constexpr uint32_t kHandshakeTimeoutMs = 1000;

    CHandler() = default;
    // Clears the run flag and waits for the thread to end: a handler object
    // never disappears under its own running thread.
    ~CHandler() override;
    CHandler(const CHandler&) = delete;
    CHandler& operator=(const CHandler&) = delete;

    int16_t Start();
    int16_t Stop();
    // Polls the status word every millisecond for up to 1000 ms.
    int16_t WaitStatus();

    void SetStatus(int16_t code);
    // Reads the status word and empties it.
    int16_t TakeStatus();

    void SetRun(int32_t run);
    int32_t IsRunning() const;

    void SetOwner(CMsgReceiver* newOwner) { owner = newOwner; }
    CMsgReceiver* GetOwner() const { return owner; }

    // One message of the own input queue, or nullptr. Called by the worker.
    std::unique_ptr<CMsg> GetMsg();
    // Hands the message to the target's queue; ownership passes.
    static void PostMsg(CMsgReceiver* target, std::unique_ptr<CMsg> msg);
    // Messages for this handler land in its input queue.
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override { inputQueue.Add(std::move(msg)); }

    CThreadQueue& InputQueue() { return inputQueue; }

protected:
    // Called by the worker between two passes: sleeps until a message is
    // queued, the run flag drops, the descriptor (a serial port or a socket,
    // -1 for none) reports one of the events, or the wait of the thread's
    // pacer is over (the nearest time-out, or a millisecond shortly after
    // activity; core/PassPacer.h).
    void WaitForWork(int fd = -1, short events = POLLIN);

    // The body of the worker thread.
    virtual void ThreadMain() = 0;
    // The thread's name as ps, top and the debugger show it (at most 15 characters).
    virtual const char* ThreadName() const { return "orva-worker"; }
    // Clears the run flag and waits for the thread to end. Every derived
    // destructor calls it first: ThreadMain must not outlive the derived object.
    void EndThread();

private:
    void ThreadEntry();
    void JoinThread();

    CMsgReceiver* owner = nullptr;
    std::thread thread;

    // The report of the worker to its starter. The worker writes it after it
    // has set itself up (release) and the starter takes it (acquire), so what
    // the worker did before its report is visible to the starter once it
    // sees the report. Taking is one exchange: a report is never read twice
    // nor lost between a read and the clearing.
    std::atomic<int16_t> status{HNDRET_OK};

    // The run flag: the starter sets it before the thread exists and clears
    // it to ask for the end; the worker polls it and clears it when it gives
    // up. Release on store and acquire on load, so what was written before
    // the flag changed is visible to the thread that sees the change.
    std::atomic<int32_t> runFlag{0};

    CThreadQueue inputQueue;
};
