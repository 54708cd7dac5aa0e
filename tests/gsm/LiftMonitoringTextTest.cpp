#include "gsm/LiftMonitoringText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr std::size_t kNoMatch = std::string_view::npos;

TEST(LiftMonitoringText, FormatMatchesWhatItCanProduceAndNothingElse)
{
    const struct {
        const char* format;
        const char* text;
        std::size_t used;
    } cases[] = {
        {"Error code: %c%u\n", "Error code: b7\nFloor", 15},
        {"Error code: %c%03u\n", "Error code: b007\n", 17},
        {"Position: %d\n", "Position: -2500\n", 16},
        {"Position: %d\n", "Position: \n", kNoMatch},  // no digits
        {"Floor: %u", "Floor: -3", kNoMatch},          // no sign for %u
        {"Code: %c%u", "Code: \n7", kNoMatch},         // %c never takes a line feed
        {"Code: %c%u",
         "Code: \xc3\xa4"
         "7",
         9},  // one character of two bytes
        {"Distance: %c255 mm", "Distance: +255 mm or more", 17},
        {"100%%", "100%", 4},
        {"Value: %s", "Value: x", kNoMatch},                 // a conversion the texts do not use
        {"Error code: %c%u\n", "Error code: b7", kNoMatch},  // cut short
    };
    for (const auto& c : cases)
        EXPECT_EQ(CLiftMonitoringText::MatchFormat(c.text, c.format), c.used) << c.format << " / " << c.text;
}

}  // namespace
