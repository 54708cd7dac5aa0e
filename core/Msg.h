#pragma once
// Base of every message that travels between threads. A message is created by
// its sender, handed to a queue as std::unique_ptr and owned by whoever takes
// it out; only database replies use the Next link to chain several records.

#include <cstdint>
#include <memory>

class CMsg {
public:
    CMsg() = default;
    explicit CMsg(uint16_t msgType) { SetType(msgType); }
    virtual ~CMsg();

    CMsg(const CMsg&) = delete;
    CMsg& operator=(const CMsg&) = delete;

    uint16_t GetType() const { return type; }
    void SetType(uint16_t msgType) { type = msgType; }

    // A queue puts a message ahead of every queued one of lower precedence
    // and behind those of the same or higher; 0, the default, keeps plain
    // first-in-first-out order.
    uint8_t GetPrecedence() const { return precedence; }
    void SetPrecedence(uint8_t value) { precedence = value; }

    // The chained message (database replies only). The chain owns its tail.
    std::unique_ptr<CMsg> Next;

private:
    uint16_t type = 0;
    uint8_t precedence = 0;
};

// The message as the class its type promises, or nullptr when a sender got
// the class wrong (such a message is dropped rather than misread).
template <typename T>
T* As(CMsg& msg)
{
    return dynamic_cast<T*>(&msg);
}

