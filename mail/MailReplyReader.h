#pragma once
// Cuts the byte stream from the SMTP server into replies. A reply may arrive
// in pieces, several may arrive in one read, and a multi-line reply ("250-",
// "250-", "250 ") is one reply, complete with its last line: classifying every
// read on its own would take the rest of a reply for the answer to the next
// command and shift the whole dialogue by one step.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

class CMailReplyReader {
public:
    // Replies kept when the handler does not take them; a server that floods
    // the line cannot make the queue grow without end.
    static constexpr std::size_t kMaxPending = 16;
    // Bytes of a line kept for classifying it; the rest of a long line is
    // skipped up to its line feed.
    static constexpr std::size_t kLineKeep = 32;

    void Clear();
    void Feed(const char* data, std::size_t length);
    // The class (1 to 5) of the next complete reply, or 0 when none is complete.
    int16_t Next();
    bool HasReply() const { return !replies.empty(); }

    // The class of a reply by the number its text starts with: 200-299 1,
    // 300-399 2, 400-499 3, 500-599 4, anything else (no digits too) 5.
    static int16_t Classify(std::string_view text);

private:
    void EndLine();

    std::string line;
    std::deque<int16_t> replies;
};
