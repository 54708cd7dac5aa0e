#pragma once
// Base of every message that travels between threads. A message is created by
// its sender, handed to a queue as std::unique_ptr and owned by whoever takes
// it out; only database replies use the Next link to chain several records.

#include <cstdint>
#include <memory>
#include <type_traits>

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

// MsgCast: a message as the class its type promises. A sender that got the
// class wrong must not get its message misread: the cast is checked, and a
// message of another class is never handed out as this one.

// A message seen through a reference: nullptr when it is of another class.
template <typename T>
T* MsgCast(CMsg& msg)
{
    return dynamic_cast<T*>(&msg);
}

template <typename T>
const T* MsgCast(const CMsg& msg)
{
    return dynamic_cast<const T*>(&msg);
}

// An owned message: when it is a T, ownership moves to the result and msg is
// left empty. Otherwise (or when msg is empty) the result is empty and msg
// still owns the message, so the caller can still log, forward or drop it.
template <typename T, typename From>
[[nodiscard]] std::unique_ptr<T> MsgCast(std::unique_ptr<From>& msg)
{
    static_assert(std::is_base_of_v<CMsg, From> && std::is_base_of_v<From, T>);
    if (dynamic_cast<T*>(msg.get()) == nullptr)
        return nullptr;
    return std::unique_ptr<T>(static_cast<T*>(msg.release()));
}

// A temporary would take a message of another class down with it unseen:
// keep it in a variable first, then cast.
template <typename T, typename From>
std::unique_ptr<T> MsgCast(std::unique_ptr<From>&& msg) = delete;
