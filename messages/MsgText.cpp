#include "messages/MsgText.h"

#include "core/TextEncoding.h"

void CMsgText::Reset()
{
    text.clear();
    length = 0;
    addedChars = 0;
    readPos = 0;
    truncated = 0;
    lineAdded = false;
}

void CMsgText::SetText(std::string_view s)
{
    Reset();
    const std::string valid = TextEncoding::SanitizeUtf8(s);
    const std::size_t chars = TextEncoding::CountChars(valid);
    if (chars > kMaxChars) {
        truncated = 1;
        text = valid.substr(0, TextEncoding::PrefixBytes(valid, kMaxChars));
        length = kMaxChars;
    } else {
        text = valid;
        length = chars;
    }
}

void CMsgText::AddLine(std::string_view s)
{
    if (length >= kMaxChars) {
        truncated = 1;
        return;
    }
    const std::size_t room = kMaxChars - length;
    const std::string line = TextEncoding::SanitizeUtf8(s);
    const std::size_t lineChars = TextEncoding::CountChars(line);

    // An empty first line is still a line: the next one goes after a line
    // feed, so "#TEST" with nothing behind it keeps its empty first line.
    // A text put in with SetText counts as an earlier line as well.
    const bool first = !lineAdded && text.empty();
    const std::size_t separator = first ? 0 : 1;
    std::size_t take = lineChars;
    if (room < lineChars + separator) {
        take = room - separator;
        truncated = 1;
    }
    if (separator != 0)
        text += '\n';
    text.append(line, 0, TextEncoding::PrefixBytes(line, take));
    length += take + separator;
    addedChars = static_cast<uint16_t>(addedChars + take + separator);
    lineAdded = true;
}

void CMsgText::Rewind()
{
    readPos = 0;
}

std::string CMsgText::GetNextLine(std::size_t maxChars)
{
    std::string line;
    std::size_t pos = readPos;
    for (std::size_t taken = 0; taken < maxChars && pos < text.size(); ++taken) {
        if (text[pos] == '\n') {
            ++pos;
            break;
        }
        // One whole character, never a part of one.
        const std::size_t bytes = TextEncoding::PrefixBytes(std::string_view(text).substr(pos), 1);
        line.append(text, pos, bytes);
        pos += bytes;
    }
    readPos = static_cast<uint16_t>(pos);
    return line;
}

std::size_t CMsgText::GetLineCount() const
{
    if (text.empty())
        return 0;
    std::size_t count = 1;
    for (const char c : text) {
        if (c == '\n')
            ++count;
    }
    return count;
}
