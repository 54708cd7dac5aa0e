#pragma once
// A stand-in for the modem link thread: it reports what the test tells it to
// at start and stop, and otherwise only keeps its input queue, from which the
// test reads the frames the telephone handler sent. Its sleeps are real ones,
// so it never moves a fake clock.

#include "core/Handler.h"
#include "messages/ComMsg.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class FakeLink : public CHandler {
public:
    // What outlives the link: the handler destroys its link when it likes.
    struct Record {
        std::atomic<int> starts{0};
        std::atomic<bool> destroyed{false};
    };

    explicit FakeLink(Record* record = nullptr, int16_t startReport = HNDRET_STARTED,
                      int16_t stopReport = HNDRET_STOPPED)
        : record(record), startReport(startReport), stopReport(stopReport)
    {
    }
    ~FakeLink() override
    {
        EndThread();
        if (record)
            record->destroyed = true;
    }

    // The LNK_SEND frames waiting in the input queue, oldest first.
    std::vector<std::unique_ptr<CComMsg>> TakeFrames()
    {
        std::vector<std::unique_ptr<CComMsg>> frames;
        while (std::unique_ptr<CMsg> msg = GetMsg()) {
            if (auto* frame = dynamic_cast<CComMsg*>(msg.get())) {
                msg.release();
                frames.emplace_back(frame);
            }
        }
        return frames;
    }

protected:
    void ThreadMain() override
    {
        if (record)
            ++record->starts;
        if (startReport != HNDRET_STARTED) {
            SetRun(0);
            SetStatus(startReport);
            return;
        }
        SetStatus(HNDRET_STARTED);
        while (IsRunning() == 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        SetStatus(stopReport);
    }

private:
    Record* record;
    int16_t startReport;
    int16_t stopReport;
};

// The messages the link thread posts to the telephone handler.
inline std::unique_ptr<CComMsg> LinkMsg(uint16_t type)
{
    return std::make_unique<CComMsg>(type);
}

inline std::unique_ptr<CComMsg> LinkStatus(uint8_t status)
{
    auto msg = LinkMsg(LNK_STATUS);
    msg->SetStatusByte(status);
    return msg;
}

inline std::unique_ptr<CComMsg> LinkValue(int16_t value)
{
    auto msg = LinkMsg(LNK_VALUE);
    msg->value = value;
    return msg;
}

inline std::unique_ptr<CComMsg> LinkCallerId(const std::string& text)
{
    auto msg = LinkMsg(LNK_CALLER_ID);
    msg->text = text;
    return msg;
}

// A frame as the modem sent it (type LNK_FRAME unless told otherwise).
inline std::unique_ptr<CComMsg> LinkFrame(uint8_t command, std::initializer_list<uint8_t> payload,
                                          uint16_t type = LNK_FRAME)
{
    auto msg = LinkMsg(type);
    msg->SetCommand(command);
    int i = 0;
    for (uint8_t b : payload)
        msg->SetPayload(i++, b);
    msg->SetLength(static_cast<int16_t>(i));
    return msg;
}

// The payload of a frame as a vector, for comparisons.
inline std::vector<uint8_t> Payload(const CComMsg& frame)
{
    std::vector<uint8_t> bytes;
    for (int i = 0; i < frame.GetLength(); ++i)
        bytes.push_back(frame.GetPayload(i));
    return bytes;
}
