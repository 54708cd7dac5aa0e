#include "mail/MailReplyReader.h"

#include "mail/MailInfo.h"

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

void CMailReplyReader::Clear()
{
    line.clear();
    replies.clear();
}

void CMailReplyReader::Feed(const char* data, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        const char c = data[i];
        if (c == '\n')
            EndLine();
        else if (line.size() < kLineKeep)
            line.push_back(c);
    }
}

void CMailReplyReader::EndLine()
{
    std::size_t digits = 0;
    while (digits < line.size() && IsDigit(line[digits]))
        ++digits;
    // "250-..." continues a multi-line reply; its last line ("250 ...")
    // completes it. A line that is not a reply line at all counts on its own
    // (as class 5), so that garbage never holds a real reply back.
    const bool continuation = digits > 0 && digits < line.size() && line[digits] == '-';
    if (!continuation && replies.size() < kMaxPending)
        replies.push_back(Classify(line));
    line.clear();
}

int16_t CMailReplyReader::Next()
{
    if (replies.empty())
        return 0;
    const int16_t reply = replies.front();
    replies.pop_front();
    return reply;
}

int16_t CMailReplyReader::Classify(std::string_view text)
{
    // The number saturates: a run of digits must not overflow into a
    // plausible reply code.
    int number = 0;
    for (std::size_t i = 0; i < text.size() && IsDigit(text[i]); ++i) {
        number = number * 10 + (text[i] - '0');
        if (number > 9999) {
            number = 10000;
            break;
        }
    }
    if (number >= 200 && number <= 299)
        return MAILINFO_RESP_POSITIVE;
    if (number >= 300 && number <= 399)
        return MAILINFO_RESP_INTERMEDIATE;
    if (number >= 400 && number <= 499)
        return MAILINFO_RESP_TRANSIENT;
    if (number >= 500 && number <= 599)
        return MAILINFO_RESP_PERMANENT;
    return MAILINFO_RESP_OTHER;
}
