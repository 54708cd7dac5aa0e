#include "mail/MailEncoding.h"

#include "core/Utf8.h"

#include <cstdint>

namespace MailEncoding {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendHex(std::string& out, unsigned char c, char mark)
{
    out.push_back(mark);
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 0x0F]);
}

// A byte that may stand for itself in a quoted-printable line (a blank only
// when something follows it on the line).
bool IsQpLiteral(unsigned char c)
{
    return (c >= 33 && c <= 126 && c != '=') || c == ' ' || c == '\t';
}

// Encodes one line (without its line end) into out, with soft breaks.
// `last` is true for the final line of a text without a closing line break.
void EncodeQpLine(std::string_view line, bool last, std::string& out)
{
    std::size_t column = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        const bool atEnd = i + 1 == line.size();
        // A blank at the end of a line would be stripped in transit; it must
        // be encoded, unless a soft break follows it anyway.
        const bool literal = IsQpLiteral(c) && !((c == ' ' || c == '\t') && atEnd && !last);
        const std::size_t width = literal ? 1 : 3;
        // Room for this character and the "=" of a soft break, unless this is
        // the last character of a line that ends with a hard break.
        const std::size_t needed = (atEnd && !last) ? width : width + 1;
        if (column + needed > kMaxEncodedLine) {
            out += "=\r\n";
            column = 0;
        }
        if (literal)
            out.push_back(static_cast<char>(c));
        else
            AppendHex(out, c, '=');
        column += width;
    }
}

bool IsPlainHeaderText(std::string_view name, std::string_view value)
{
    // The 998-octet limit of a header line, with "Name: " and CR LF.
    if (name.size() + 2 + value.size() > 998)
        return false;
    if (value.find("=?") != std::string_view::npos)
        return false;  // would be read as the start of an encoded word
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 32 || c > 126)
            return false;
    }
    return true;
}

// Characters that may stand for themselves in a Q-encoded word of a
// header text (RFC 2047, section 5 (3)).
bool IsQWordLiteral(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '!' || c == '*' ||
           c == '+' || c == '-' || c == '/';
}

// The encoded form of one character (one to four UTF-8 bytes).
std::string EncodeQChar(std::string_view ch)
{
    std::string out;
    for (const char b : ch) {
        const auto c = static_cast<unsigned char>(b);
        if (c == ' ')
            out.push_back('_');
        else if (IsQWordLiteral(c))
            out.push_back(static_cast<char>(c));
        else
            AppendHex(out, c, '=');
    }
    return out;
}

// Length of the UTF-8 character that starts at text[i]: the lead byte and
// the continuation bytes after it (at most three). A stray byte counts alone.
// Only the byte classes count, not whether the sequence is well-formed, so
// that text which is not valid UTF-8 is still kept whole byte for byte.
std::size_t CharLength(std::string_view text, std::size_t i)
{
    if (Utf8::LeadLength(text[i]) == 1)
        return 1;
    std::size_t n = 1;
    while (n < 4 && i + n < text.size() && Utf8::IsContinuation(text[i + n]))
        ++n;
    return n;
}

}  // namespace

std::string RemoveLineBreaks(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        if (c != '\r' && c != '\n')
            out.push_back(c);
    return out;
}

std::string NormalizeLineEnds(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string DotStuff(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 16);
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && c == '.')
            out.push_back('.');
        out.push_back(c);
        lineStart = c == '\n';
    }
    return out;
}

std::string EncodeQuotedPrintable(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 8);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            EncodeQpLine(text.substr(start), true, out);
            out.push_back('=');
            break;
        }
        EncodeQpLine(text.substr(start, end - start), false, out);
        out += "\r\n";
        start = end + 2;
    }
    return out;
}

std::string FormatHeaderField(std::string_view name, std::string_view value)
{
    std::string out(name);
    out += ": ";
    if (IsPlainHeaderText(name, value)) {
        out += value;
        out += "\r\n";
        return out;
    }
    static constexpr std::string_view kOpen = "=?UTF-8?Q?";
    static constexpr std::string_view kClose = "?=";
    const std::size_t overhead = kOpen.size() + kClose.size();
    // A line that holds an encoded word is at most 76 characters: the first
    // word shares its line with "Name: ", each further word has a line of
    // its own after the folding blank.
    const std::size_t room = kMaxEncodedWord - overhead;
    const std::size_t prefix = out.size();
    const std::size_t firstRoom = prefix + overhead + 12 <= 76 ? 76 - prefix - overhead : 12;

    std::string word;
    bool first = true;
    const auto flush = [&] {
        if (!first)
            out += "\r\n ";  // folding: the words continue on the next line
        out += kOpen;
        out += word;
        out += kClose;
        word.clear();
        first = false;
    };
    for (std::size_t i = 0; i < value.size();) {
        const std::size_t n = CharLength(value, i);
        const std::string encoded = EncodeQChar(value.substr(i, n));
        if (!word.empty() && word.size() + encoded.size() > (first ? firstRoom : room))
            flush();
        word += encoded;
        i += n;
    }
    if (!word.empty())
        flush();
    out += "\r\n";
    return out;
}

std::string EscapeForLog(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 8);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c < 32 || c > 126) {
                out += "\\x";
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 0x0F]);
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
    return out;
}

}  // namespace MailEncoding
