#pragma once
// Builds a database answer of several records: the first record carries the
// result, every further one hangs behind the previous through CMsg::Next.

#include <cstdint>
#include <memory>

template <class Record>
class CReplyChain {
public:
    explicit CReplyChain(uint16_t firstResult) : result(firstResult) {}

    void Append(std::unique_ptr<Record> record)
    {
        Record* added = record.get();
        if (!first) {
            record->Result = result;
            first = std::move(record);
        } else {
            last->Next = std::move(record);
        }
        last = added;
    }
    bool IsEmpty() const { return !first; }
    // The chain, first record on; the builder is empty afterwards.
    std::unique_ptr<Record> Take()
    {
        last = nullptr;
        return std::move(first);
    }

private:
    uint16_t result;
    std::unique_ptr<Record> first;
    Record* last = nullptr;
};
