#include "core/Utf8.h"

#include <cstdint>

namespace Utf8 {

namespace {

uint8_t Byte(char c)
{
    return static_cast<uint8_t>(c);
}

}  // namespace

Decoded Decode(std::string_view text, std::size_t pos)
{
    constexpr Decoded kNone = {kReplacement, 0};
    const uint8_t lead = Byte(text[pos]);
    if (lead < 0x80)
        return {lead, 1};

    // The lead byte fixes the length and the range of the second byte; the
    // narrowed ranges shut out overlong forms, surrogates and values above
    // U+10FFFF (RFC 3629, table of well-formed sequences).
    std::size_t length = 0;
    char32_t codePoint = 0;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return kNone;
    }
    if (text.size() - pos < length)
        return kNone;
    const uint8_t second = Byte(text[pos + 1]);
    if (second < low || second > high)
        return kNone;
    codePoint = (codePoint << 6) | (second & 0x3F);
    for (std::size_t i = 2; i < length; ++i) {
        const uint8_t next = Byte(text[pos + i]);
        if (!IsContinuation(text[pos + i]))
            return kNone;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    return {codePoint, length};
}

void Append(std::string& out, char32_t codePoint)
{
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        codePoint = kReplacement;
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

bool IsContinuation(char byte)
{
    return (Byte(byte) & 0xC0) == 0x80;
}

std::size_t LeadLength(char byte)
{
    const uint8_t lead = Byte(byte);
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

bool IsValid(std::string_view text)
{
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = Decode(text, pos).length;
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

std::string Sanitize(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = Decode(text, pos).length;
        if (length == 0) {
            out += kReplacementBytes;
            ++pos;
        } else {
            out.append(text.substr(pos, length));
            pos += length;
        }
    }
    return out;
}

std::size_t CountChars(std::string_view text)
{
    std::size_t count = 0;
    for (const char c : text) {
        if (!IsContinuation(c))
            ++count;
    }
    return count;
}

std::size_t PrefixBytes(std::string_view text, std::size_t maxChars)
{
    std::size_t chars = 0;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (!IsContinuation(text[pos])) {
            if (chars == maxChars)
                return pos;
            ++chars;
        }
    }
    return text.size();
}

}  // namespace Utf8
