// Conversion between UTF-8 and the GSM 7-bit default alphabet.

#include "gsm/GsmAlphabet.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Byte(int code)
{
    return std::string(1, static_cast<char>(code));
}

// UTF-8 of one code point.
std::string Utf8(char32_t c)
{
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

struct Pair {
    int code;     // GSM code
    char32_t ch;  // character
};

TEST(GsmAlphabet, ReceivedCodesBecomeTheirCharacters)
{
    const Pair pairs[] = {
        {0, U'@'},   {1, U'£'},   {2, U'$'},   {3, U'¥'},   {4, U'è'},  {5, U'é'},   {6, U'ù'},   {7, U'ì'},
        {8, U'ò'},   {9, U'Ç'},   {10, U'\n'}, {11, U'Ø'},  {12, U'ø'}, {13, U'\r'}, {14, U'Å'},  {15, U'å'},
        {16, U'Δ'},  {17, U'_'},  {18, U'Φ'},  {19, U'Γ'},  {20, U'Λ'}, {21, U'Ω'},  {22, U'Π'},  {23, U'Ψ'},
        {24, U'Σ'},  {25, U'Θ'},  {26, U'Ξ'},  {28, U'Æ'},  {29, U'æ'}, {30, U'ß'},  {31, U'É'},  {32, U' '},
        {35, U'#'},  {36, U'¤'},  {48, U'0'},  {63, U'?'},  {64, U'¡'}, {65, U'A'},  {90, U'Z'},  {91, U'Ä'},
        {92, U'Ö'},  {93, U'Ñ'},  {94, U'Ü'},  {95, U'§'},  {96, U'¿'}, {97, U'a'},  {122, U'z'}, {123, U'ä'},
        {124, U'ö'}, {125, U'ñ'}, {126, U'ü'}, {127, U'à'},
    };
    for (const Pair& p : pairs)
        EXPECT_EQ(CGsmAlphabet::ToUtf8(Byte(p.code)), Utf8(p.ch)) << "code " << p.code;
}

TEST(GsmAlphabet, EscapeTableAndOddBytes)
{
    const struct {
        std::string gsm;
        std::string utf8;
    } cases[] = {
        {"\x1b\x14", "^"},
        {"\x1b(", "{"},
        {"\x1b)", "}"},
        {"\x1b/", "\\"},
        {"\x1b<", "["},
        {"\x1b=", "~"},
        {"\x1b>", "]"},
        {std::string("\x1b") + Byte(64), "|"},
        {"\x1b"
         "e",
         Utf8(U'€')},
        {"\x1b\n", "\n"},  // page break shows as a line break
        {"\x1b"
         "A",
         "A"},               // unknown escape: the character itself
        {"A\x1b", "A "},     // an escape at the end
        {"\x1b\x1b", " "},   // escape of escape
        {"\x80\xff", "  "},  // not GSM characters
        {"Price 5" + Byte(1) + Byte(0), "Price 5£@"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CGsmAlphabet::ToUtf8(c.gsm), c.utf8) << "gsm bytes of length " << c.gsm.size();
}

TEST(GsmAlphabet, CharactersToSend)
{
    const Pair pairs[] = {
        // Code-for-code as the line has always carried them.
        {2, U'$'},
        {63, U'@'},
        {17, U'_'},
        {39, U'`'},
        {63, U'['},
        {63, U'\\'},
        {63, U']'},
        {63, U'^'},
        {63, U'{'},
        {63, U'|'},
        {63, U'}'},
        {63, U'~'},
        {16, U'\x7f'},
        {1, U'£'},
        {3, U'¥'},
        {96, U'¿'},
        {91, U'Ä'},
        {14, U'Å'},
        {9, U'Ç'},
        {93, U'Ñ'},
        {92, U'Ö'},
        {94, U'Ü'},
        {127, U'à'},
        {123, U'ä'},
        {15, U'å'},
        {4, U'è'},
        {5, U'é'},
        {125, U'ñ'},
        {8, U'ò'},
        {124, U'ö'},
        {6, U'ù'},
        {126, U'ü'},
        {10, U'\n'},
        {32, U'\t'},
        {32, U'\x01'},
        {65, U'A'},
        {122, U'z'},
        {35, U'#'},
        // The alphabet's own characters.
        {11, U'Ø'},
        {12, U'ø'},
        {28, U'Æ'},
        {29, U'æ'},
        {30, U'ß'},
        {31, U'É'},
        {64, U'¡'},
        {36, U'¤'},
        {95, U'§'},
        {7, U'ì'},
        {16, U'Δ'},
        {18, U'Φ'},
        {19, U'Γ'},
        {20, U'Λ'},
        {21, U'Ω'},
        {22, U'Π'},
        {23, U'Ψ'},
        {24, U'Σ'},
        {25, U'Θ'},
        // Codes that would end or cancel the text on the line.
        {63, U'Ξ'},
        {63, U'€'},
        // Outside the alphabet: one space each.
        {32, U'Ł'},
        {32, U'中'},
        {32, U'\U0001F600'},
        {32, U'\x80'},
        {32, U'ÿ'},
    };
    for (const Pair& p : pairs)
        EXPECT_EQ(CGsmAlphabet::FromUtf8(Utf8(p.ch)), Byte(p.code)) << "U+" << std::hex << static_cast<uint32_t>(p.ch);
}

TEST(GsmAlphabet, CarriageReturnsAreRemovedAndBadUtf8BecomesSpaces)
{
    EXPECT_EQ(CGsmAlphabet::FromUtf8("Line 1\r\nLine 2\r"), "Line 1\nLine 2");
    EXPECT_EQ(CGsmAlphabet::FromUtf8("a\xff"
                                     "b"),
              "a b");
    EXPECT_EQ(CGsmAlphabet::FromUtf8("a\xc3"), "a ");          // cut sequence
    EXPECT_EQ(CGsmAlphabet::FromUtf8("\xc0\xaf"), "  ");       // overlong slash
    EXPECT_EQ(CGsmAlphabet::FromUtf8("\xed\xa0\x80"), "   ");  // surrogate
    EXPECT_EQ(CGsmAlphabet::FromUtf8(""), "");
}

TEST(GsmAlphabet, EveryCodeThatCanBeSentComesBackAsItself)
{
    for (int code = 1; code < 128; ++code) {
        if (code == 13 || code == 26 || code == 27)
            continue;
        EXPECT_EQ(CGsmAlphabet::FromUtf8(CGsmAlphabet::ToUtf8(Byte(code))), Byte(code)) << "code " << code;
    }
}

TEST(GsmAlphabet, NoCharacterSendsALineControlCode)
{
    // 0 (@), 13 (CR), 26 (Ctrl-Z, end of text) and 27 (escape, cancel) must
    // never appear in a text, and nothing above 127 can.
    for (char32_t c = 0; c < 0x30000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const std::string sent = CGsmAlphabet::FromUtf8(Utf8(c));
        ASSERT_LE(sent.size(), 1u) << "U+" << std::hex << static_cast<uint32_t>(c);
        if (sent.empty()) {
            ASSERT_EQ(c, U'\r');
            continue;
        }
        const auto code = static_cast<uint8_t>(sent[0]);
        ASSERT_TRUE(code != 0 && code != 13 && code != 26 && code != 27 && code < 128)
            << "U+" << std::hex << static_cast<uint32_t>(c) << " sends " << std::dec << int(code);
    }
}

}  // namespace
