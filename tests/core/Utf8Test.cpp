#include "core/Utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// What one text reads as at its first byte, and whether the whole text is
// well-formed.
struct DecodeCase {
    const char* name;
    std::string bytes;
    char32_t codePoint;  // U+FFFD when nothing well-formed starts there
    std::size_t length;  // 0 when nothing well-formed starts there
    bool valid;
};

const DecodeCase kDecodeCases[] = {
    {"ascii", "A", U'A', 1, true},
    {"nul", std::string(1, '\0'), 0, 1, true},
    {"highest one-byte", "\x7F", 0x7F, 1, true},
    {"lowest two-byte", "\xC2\x80", 0x80, 2, true},
    {"two-byte umlaut", "\xC3\xA4", 0xE4, 2, true},
    {"highest two-byte", "\xDF\xBF", 0x7FF, 2, true},
    {"lowest three-byte", "\xE0\xA0\x80", 0x800, 3, true},
    {"euro", "\xE2\x82\xAC", 0x20AC, 3, true},
    {"last before surrogates", "\xED\x9F\xBF", 0xD7FF, 3, true},
    {"first after surrogates", "\xEE\x80\x80", 0xE000, 3, true},
    {"replacement character", "\xEF\xBF\xBD", 0xFFFD, 3, true},
    {"lowest four-byte", "\xF0\x90\x80\x80", 0x10000, 4, true},
    {"four-byte elevator", "\xF0\x9F\x9B\x97", 0x1F6D7, 4, true},
    {"highest code point", "\xF4\x8F\xBF\xBF", 0x10FFFF, 4, true},
    {"overlong two-byte slash", "\xC0\xAF", Utf8::kReplacement, 0, false},
    {"overlong two-byte C1", "\xC1\xBF", Utf8::kReplacement, 0, false},
    {"overlong three-byte", "\xE0\x80\xAF", Utf8::kReplacement, 0, false},
    {"overlong three-byte top", "\xE0\x9F\xBF", Utf8::kReplacement, 0, false},
    {"overlong four-byte", "\xF0\x8F\xBF\xBF", Utf8::kReplacement, 0, false},
    {"high surrogate", "\xED\xA0\x80", Utf8::kReplacement, 0, false},
    {"low surrogate", "\xED\xBF\xBF", Utf8::kReplacement, 0, false},
    {"just above U+10FFFF", "\xF4\x90\x80\x80", Utf8::kReplacement, 0, false},
    {"lead F5", "\xF5\x80\x80\x80", Utf8::kReplacement, 0, false},
    {"lead FF", "\xFF", Utf8::kReplacement, 0, false},
    {"cut two-byte", "\xC3", Utf8::kReplacement, 0, false},
    {"cut three-byte", "\xE2\x82", Utf8::kReplacement, 0, false},
    {"cut four-byte", "\xF0\x9F\x9B", Utf8::kReplacement, 0, false},
    {"second byte not continuation",
     "\xC3"
     "A",
     Utf8::kReplacement, 0, false},
    {"third byte not continuation",
     "\xE2\x82"
     "A",
     Utf8::kReplacement, 0, false},
    {"fourth byte not continuation",
     "\xF0\x9F\x9B"
     "A",
     Utf8::kReplacement, 0, false},
    {"stray continuation", "\x80", Utf8::kReplacement, 0, false},
    {"stray continuation BF", "\xBF", Utf8::kReplacement, 0, false},
    {"Windows-1252 umlaut", "\xF6rung", Utf8::kReplacement, 0, false},
};

TEST(Utf8, DecodesWellFormedCharactersOnly)
{
    for (const DecodeCase& c : kDecodeCases) {
        const Utf8::Decoded d = Utf8::Decode(c.bytes, 0);
        EXPECT_EQ(d.codePoint, c.codePoint) << c.name;
        EXPECT_EQ(d.length, c.length) << c.name;
        EXPECT_EQ(Utf8::IsValid(c.bytes), c.valid) << c.name;
    }
}

TEST(Utf8, DecodesAtAPositionWithoutReadingPastTheText)
{
    // The cut sequence is at the end of a longer text: its missing bytes must
    // not be taken from beyond the view.
    const std::string text = "a\xE2\x82\xAC"
                             "b\xE2\x82";
    const std::string_view view(text);
    EXPECT_EQ(Utf8::Decode(view, 1).codePoint, 0x20AC);
    EXPECT_EQ(Utf8::Decode(view, 1).length, 3u);
    EXPECT_EQ(Utf8::Decode(view, 4).codePoint, U'b');
    EXPECT_EQ(Utf8::Decode(view, 5).length, 0u);
    EXPECT_EQ(Utf8::Decode(view.substr(0, 3), 1).length, 0u);
}

TEST(Utf8, AppendWritesEveryWellFormedLengthAndDecodesBack)
{
    for (const DecodeCase& c : kDecodeCases) {
        if (!c.valid)
            continue;
        std::string out;
        Utf8::Append(out, c.codePoint);
        EXPECT_EQ(out, c.bytes) << c.name;
    }
}

TEST(Utf8, AppendWritesTheReplacementForWhatIsNoCharacter)
{
    for (const char32_t cp : {char32_t{0xD800}, char32_t{0xDFFF}, char32_t{0x110000}, char32_t{0xFFFFFFFF}}) {
        std::string out = "x";
        Utf8::Append(out, cp);
        EXPECT_EQ(out, "x\xEF\xBF\xBD") << std::hex << static_cast<unsigned long>(cp);
    }
}

TEST(Utf8, SanitizeReplacesEachBadByteAndKeepsTheRest)
{
    struct Case {
        const char* name;
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"valid stays",
         "K\xC3\xA4"
         "fer \xE2\x82\xAC \xF0\x9F\x9B\x97",
         "K\xC3\xA4"
         "fer \xE2\x82\xAC \xF0\x9F\x9B\x97"},
        {"empty", "", ""},
        {"Windows-1252 byte", "St\xF6rung", "St\xEF\xBF\xBDrung"},
        {"overlong: one per byte", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate: one per byte", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"cut at the end", "ab\xE2\x82", "ab\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"cut by an ASCII byte",
         "\xE2\x82"
         "A",
         "\xEF\xBF\xBD\xEF\xBF\xBD"
         "A"},
        {"stray continuation after a character", "\xC3\xA4\x80", "\xC3\xA4\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8::Sanitize(c.in), c.out) << c.name;
        EXPECT_TRUE(Utf8::IsValid(Utf8::Sanitize(c.in))) << c.name;
    }
}

TEST(Utf8, CountsAndCutsWholeCharacters)
{
    struct Case {
        const char* name;
        std::string text;
        std::size_t chars;
        std::size_t maxChars;
        std::size_t prefixBytes;
    };
    const Case cases[] = {
        {"ascii cut", "Lift 12", 7, 4, 4},
        {"ascii shorter than the limit", "Lift", 4, 10, 4},
        {"empty", "", 0, 3, 0},
        {"limit 0", "abc", 3, 0, 0},
        {"cut after a two-byte character",
         "\xC3\xA4"
         "b",
         2, 1, 2},
        {"cut before a three-byte character", "ab\xE2\x82\xAC", 3, 2, 2},
        {"cut after a three-byte character",
         "ab\xE2\x82\xAC"
         "c",
         4, 3, 5},
        {"cut after a four-byte character",
         "\xF0\x9F\x9B\x97"
         "x",
         2, 1, 4},
        {"exactly the limit", "\xC3\xA4\xC3\xB6", 2, 2, 4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8::CountChars(c.text), c.chars) << c.name;
        EXPECT_EQ(Utf8::PrefixBytes(c.text, c.maxChars), c.prefixBytes) << c.name;
    }
}

TEST(Utf8, ByteClasses)
{
    struct Case {
        unsigned char byte;
        bool continuation;
        std::size_t leadLength;
    };
    const Case cases[] = {
        {0x00, false, 1}, {0x7F, false, 1}, {0x80, true, 1},  {0xBF, true, 1},  {0xC0, false, 2},
        {0xDF, false, 2}, {0xE0, false, 3}, {0xEF, false, 3}, {0xF0, false, 4}, {0xFF, false, 4},
    };
    for (const Case& c : cases) {
        const char b = static_cast<char>(c.byte);
        EXPECT_EQ(Utf8::IsContinuation(b), c.continuation) << static_cast<int>(c.byte);
        EXPECT_EQ(Utf8::LeadLength(b), c.leadLength) << static_cast<int>(c.byte);
    }
}

}  // namespace
