// Cutting the server's byte stream into classified replies.

#include "mail/MailReplyReader.h"

#include "mail/MailInfo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<int16_t> ReadAll(const std::vector<std::string>& pieces)
{
    CMailReplyReader reader;
    std::vector<int16_t> replies;
    for (const std::string& piece : pieces) {
        reader.Feed(piece.data(), piece.size());
        while (const int16_t reply = reader.Next())
            replies.push_back(reply);
    }
    return replies;
}

TEST(MailReplyReader, ClassifiesByTheLeadingNumber)
{
    const struct {
        const char* text;
        int16_t expected;
    } cases[] = {
        {"220 ready", MAILINFO_RESP_POSITIVE},
        {"250", MAILINFO_RESP_POSITIVE},
        {"354 go", MAILINFO_RESP_INTERMEDIATE},
        {"421 closing", MAILINFO_RESP_TRANSIENT},
        {"550 no", MAILINFO_RESP_PERMANENT},
        {"599", MAILINFO_RESP_PERMANENT},
        {"600 x", MAILINFO_RESP_OTHER},
        {"199 x", MAILINFO_RESP_OTHER},
        {"", MAILINFO_RESP_OTHER},
        {"hello 250", MAILINFO_RESP_OTHER},
        {"2500 x", MAILINFO_RESP_OTHER},
        {"99999999999999999999250", MAILINFO_RESP_OTHER},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CMailReplyReader::Classify(c.text), c.expected) << c.text;
}

TEST(MailReplyReader, ReplyShapes)
{
    const int16_t ok = MAILINFO_RESP_POSITIVE;
    const int16_t go = MAILINFO_RESP_INTERMEDIATE;
    const int16_t no = MAILINFO_RESP_PERMANENT;
    const int16_t other = MAILINFO_RESP_OTHER;
    const std::string longText(5000, 'x');
    const struct {
        const char* name;
        std::vector<std::string> pieces;
        std::vector<int16_t> expected;
    } cases[] = {
        {"one line", {"250 ok\r\n"}, {ok}},
        {"incomplete line waits", {"250 ok"}, {}},
        {"split inside the number", {"2", "5", "0 ok\r", "\n"}, {ok}},
        {"multi-line is one reply", {"250-first\r\n250-second\r\n250 last\r\n"}, {ok}},
        {"multi-line in pieces", {"550-No such\r\n5", "50-user\r", "\n550 here\r\n"}, {no}},
        {"two replies in one read", {"250 ok\r\n354 go\r\n"}, {ok, go}},
        {"bare line feed", {"250 ok\n"}, {ok}},
        {"no digits", {"hello there\r\n"}, {other}},
        {"binary bytes", {std::string("\0\xFF\x01\r\n", 5)}, {other}},
        {"garbage before a reply", {std::string("\0junk\r\n354 go\r\n", 15)}, {other, go}},
        {"longer than any buffer", {"550 " + longText + "\r\n"}, {no}},
        {"long continuation", {"250-" + longText + "\r\n250 ok\r\n"}, {ok}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadAll(c.pieces), c.expected) << c.name;
}

TEST(MailReplyReader, AFloodingServerCannotGrowTheQueue)
{
    CMailReplyReader reader;
    for (int i = 0; i < 1000; ++i)
        reader.Feed("250 ok\r\n", 8);
    std::size_t count = 0;
    while (reader.Next() != 0)
        ++count;
    EXPECT_EQ(count, CMailReplyReader::kMaxPending);
}

}  // namespace
