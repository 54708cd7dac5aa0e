#pragma once
// The mail handler with its loop opened to the test: the test runs the passes
// on its own thread, so the fake clock moves only when the test moves it. A
// fault set by the test runs before every step of a mail, as a fault of the
// dialogue would. Started (by a manager), its thread only idles until it is
// stopped, in real time, so the start and stop handshakes work as usual.

#include "mail/MailHandler.h"

#include <chrono>
#include <functional>
#include <thread>

class SteppedMailHandler : public CMailHandler {
public:
    ~SteppedMailHandler() override { EndThread(); }

    using CMailHandler::CloseLog;
    using CMailHandler::OpenLog;
    using CMailHandler::RunPass;

    std::function<void(int16_t state, const CMailHandlerMsg& request)> fault;

protected:
    void ThreadMain() override
    {
        SetStatus(HNDRET_STARTED);
        while (IsRunning() == 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        SetStatus(HNDRET_STOPPED);
    }

    void BeforeMailStep(int16_t stepState, const CMailHandlerMsg& request) override
    {
        if (fault)
            fault(stepState, request);
    }
};
