#pragma once
// The adds, edits and deletes a register dialog has sent and whose answers
// are still to come, each with the name and the key value (customer info,
// address or number) it sent. Answers come in the order of the requests;
// one of another kind that never came must not shift the rest, so an answer
// takes the oldest request of its own kind.

#include <algorithm>
#include <deque>
#include <string>
#include <utility>

class CPendingEdits {
public:
    enum class Kind { Add, Edit, Delete };
    struct Entry {
        Kind kind;
        std::string name;
        std::string value;
    };

    void Push(Kind kind, std::string name, std::string value)
    {
        entries.push_back({kind, std::move(name), std::move(value)});
    }
    // The oldest request of the kind; false when none waits.
    bool Take(Kind kind, Entry& taken)
    {
        const auto it = std::find_if(entries.begin(), entries.end(), [kind](const Entry& e) { return e.kind == kind; });
        if (it == entries.end())
            return false;
        taken = std::move(*it);
        entries.erase(it);
        return true;
    }

private:
    std::deque<Entry> entries;
};
