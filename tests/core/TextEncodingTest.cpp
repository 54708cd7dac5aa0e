#include "core/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TextEncoding, RecognisesWellFormedUtf8Only)
{
    struct Case {
        const char* name;
        std::string bytes;
        bool valid;
    };
    const Case cases[] = {
        {"ascii", "Lift 12", true},
        {"two-byte",
         "K\xC3\xA4"
         "fer",
         true},
        {"euro", "\xE2\x82\xAC", true},
        {"four-byte", "\xF0\x9F\x9B\x97", true},
        {"empty", "", true},
        {"lone continuation", "\x80", false},
        {"overlong slash", "\xC0\xAF", false},
        {"overlong three-byte", "\xE0\x80\xAF", false},
        {"surrogate", "\xED\xA0\x80", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
        {"cut sequence", "ab\xE2\x82", false},
        {"Windows-1252 umlaut", "St\xF6rung", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextEncoding::IsValidUtf8(c.bytes), c.valid) << c.name;
}

TEST(TextEncoding, Windows1252BecomesUtf8)
{
    EXPECT_EQ(TextEncoding::Windows1252ToUtf8("St\xF6rung \x80 \x96 \x9F"), "Störung € – Ÿ");
    // Undefined in the code page.
    EXPECT_EQ(TextEncoding::Windows1252ToUtf8("\x81\x8D\x8F\x90\x9D"),
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(TextEncoding, FileTextIsUtf8OrElseWindows1252)
{
    EXPECT_EQ(TextEncoding::FileTextToUtf8("\xEF\xBB\xBF:a001\r\nT\xC3\xBCr"), ":a001\r\nTür");
    EXPECT_EQ(TextEncoding::FileTextToUtf8(":a001\r\nT\xFCr"), ":a001\r\nTür");
    EXPECT_EQ(TextEncoding::FileTextToUtf8("plain"), "plain");
}

}  // namespace
