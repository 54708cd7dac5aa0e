#include "gsm/GsmAlphabet.h"

#include "core/Utf8.h"

#include <array>
#include <cstdint>

namespace {

constexpr uint8_t kEscape = 27;
constexpr uint8_t kCtrlZ = 26;
constexpr uint8_t kQuestionMark = '?';
constexpr uint8_t kSpace = ' ';
constexpr char32_t kLineFeed = U'\n';
constexpr char32_t kCarriageReturn = U'\r';

// The default alphabet: code -> character. Code 27 is the escape to the
// table below and has no character of its own.
constexpr std::array<char32_t, 128> kMainTable = {
    U'@',      U'\u00A3', U'$',      U'\u00A5', U'\u00E8', U'\u00E9', U'\u00F9', U'\u00EC',  // 0
    U'\u00F2', U'\u00C7', U'\n',     U'\u00D8', U'\u00F8', U'\r',     U'\u00C5', U'\u00E5',  // 8
    U'\u0394', U'_',      U'\u03A6', U'\u0393', U'\u039B', U'\u03A9', U'\u03A0', U'\u03A8',  // 16
    U'\u03A3', U'\u0398', U'\u039E', U' ',      U'\u00C6', U'\u00E6', U'\u00DF', U'\u00C9',  // 24
    U' ',      U'!',      U'"',      U'#',      U'\u00A4', U'%',      U'&',      U'\'',      // 32
    U'(',      U')',      U'*',      U'+',      U',',      U'-',      U'.',      U'/',       // 40
    U'0',      U'1',      U'2',      U'3',      U'4',      U'5',      U'6',      U'7',       // 48
    U'8',      U'9',      U':',      U';',      U'<',      U'=',      U'>',      U'?',       // 56
    U'\u00A1', U'A',      U'B',      U'C',      U'D',      U'E',      U'F',      U'G',       // 64
    U'H',      U'I',      U'J',      U'K',      U'L',      U'M',      U'N',      U'O',       // 72
    U'P',      U'Q',      U'R',      U'S',      U'T',      U'U',      U'V',      U'W',       // 80
    U'X',      U'Y',      U'Z',      U'\u00C4', U'\u00D6', U'\u00D1', U'\u00DC', U'\u00A7',  // 88
    U'\u00BF', U'a',      U'b',      U'c',      U'd',      U'e',      U'f',      U'g',       // 96
    U'h',      U'i',      U'j',      U'k',      U'l',      U'm',      U'n',      U'o',       // 104
    U'p',      U'q',      U'r',      U's',      U't',      U'u',      U'v',      U'w',       // 112
    U'x',      U'y',      U'z',      U'\u00E4', U'\u00F6', U'\u00F1', U'\u00FC', U'\u00E0',  // 120
};

// The escape table: the code after an escape -> character. The page break
// (10) is shown as a line break.
struct EscapeEntry {
    uint8_t code;
    char32_t ch;
};
constexpr std::array<EscapeEntry, 10> kEscapeTable = {{
    {10, U'\n'},
    {20, U'^'},
    {40, U'{'},
    {41, U'}'},
    {47, U'\\'},
    {60, U'['},
    {61, U'~'},
    {62, U']'},
    {64, U'|'},
    {101, U'\u20AC'},
}};

// The character of an escaped code. A code the escape table does not have is
// shown as the default alphabet's character for it, as GSM receivers do.
char32_t EscapedChar(uint8_t code)
{
    for (const EscapeEntry& e : kEscapeTable)
        if (e.code == code)
            return e.ch;
    if (code >= 128 || code == kEscape)
        return U' ';
    return kMainTable[code];
}

// Decodes one UTF-8 character at `pos` and advances past it. An invalid or
// cut sequence yields U+FFFD and advances by one byte.
char32_t NextCodePoint(std::string_view text, std::size_t& pos)
{
    const Utf8::Decoded decoded = Utf8::Decode(text, pos);
    pos += decoded.length != 0 ? decoded.length : 1;
    return decoded.codePoint;
}

// The code to send for one character; -1 drops it.
int SendCode(char32_t c)
{
    if (c == kCarriageReturn)
        return -1;
    if (c == kLineFeed)
        return '\n';
    if (c < 0x20)
        return kSpace;
    switch (c) {
    case U'@':       // code 0: ends the text on some modems
    case U'\u039E':  // Xi, code 26: the Ctrl-Z that ends the text
    case U'[':
    case U'\\':
    case U']':
    case U'^':
    case U'{':
    case U'|':
    case U'}':
    case U'~':
    case U'\u20AC':  // escape table: the escape code cancels the text
        return kQuestionMark;
    case U'`':
        return '\'';
    case U'\u007F':
        return 16;  // delete has no character; the line has always carried it as 16
    default:
        break;
    }
    for (int code = 1; code < 128; ++code) {
        if (code == kEscape || code == kCtrlZ || code == '\r')
            continue;
        if (kMainTable[static_cast<std::size_t>(code)] == c)
            return code;
    }
    return kSpace;
}

// The 256 first code points take a table; everything above is looked up.
const std::array<int16_t, 256>& LatinSendTable()
{
    static const std::array<int16_t, 256> table = [] {
        std::array<int16_t, 256> t{};
        for (std::size_t i = 0; i < t.size(); ++i)
            t[i] = static_cast<int16_t>(SendCode(static_cast<char32_t>(i)));
        return t;
    }();
    return table;
}

}  // namespace

std::string CGsmAlphabet::ToUtf8(std::string_view gsm)
{
    std::string out;
    out.reserve(gsm.size());
    for (std::size_t i = 0; i < gsm.size(); ++i) {
        const auto code = static_cast<uint8_t>(gsm[i]);
        if (code >= 128) {
            Utf8::Append(out, U' ');
        } else if (code == kEscape) {
            if (i + 1 < gsm.size())
                Utf8::Append(out, EscapedChar(static_cast<uint8_t>(gsm[++i])));
            else
                Utf8::Append(out, U' ');
        } else {
            Utf8::Append(out, kMainTable[code]);
        }
    }
    return out;
}

std::string CGsmAlphabet::FromUtf8(std::string_view text)
{
    const std::array<int16_t, 256>& latin = LatinSendTable();
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t c = NextCodePoint(text, pos);
        const int code = c < latin.size() ? latin[c] : SendCode(c);
        if (code >= 0)
            out += static_cast<char>(code);
    }
    return out;
}
