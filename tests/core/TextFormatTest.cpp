#include "core/TextFormat.h"

#include <gtest/gtest.h>

namespace {

TEST(TextFormat, Conversions)
{
    struct Case {
        std::string format;
        std::initializer_list<FormatArg> args;
        std::string expected;
    };
    const Case cases[] = {
        {"GSM: Com OK, NET %d%%", {65LL}, "GSM: Com OK, NET 65%"},
        {"SW Version: %02X.%02X", {1LL, 0x42LL}, "SW Version: 01.42"},
        {"Error code: %c%03u\n", {static_cast<long long>('E'), 7LL}, "Error code: E007\n"},
        {"%s ALARM\n", {std::string("ORVA")}, "ORVA ALARM\n"},
        {"%s %s, MailTo %s", {std::string("a"), std::string("b"), std::string("c")}, "a b, MailTo c"},
        {"no conversion", {1LL}, "no conversion"},
        {"100%%", {}, "100%"},
        {"%-5d|", {42LL}, "42   |"},
        // A translation that does not fit its arguments is shown as it stands.
        {"Type: %s\n", {7LL}, "Type: %s\n"},
        {"Floor: %d\n", {std::string("x")}, "Floor: %d\n"},
        {"%d and %d", {1LL}, "%d and %d"},
        {"%ld", {1LL}, "%ld"},
        {"%*d", {1LL, 2LL}, "%*d"},
        {"%n", {1LL}, "%n"},
        {"%99999d", {1LL}, "%99999d"},
        {"trailing %", {1LL}, "trailing %"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatText(c.format, c.args), c.expected) << c.format;
}

TEST(TextFormat, LongTextsAreNotCut)
{
    const std::string longText(5000, 'x');
    EXPECT_EQ(FormatText("<%s>", {longText}), "<" + longText + ">");
}

TEST(TextFormat, MissingKeyGivesTheMarker)
{
    EXPECT_EQ(FormatKey("IDS_NO_SUCH_KEY", {1LL}), "*NA*");
}

}  // namespace
