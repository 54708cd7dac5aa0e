// The rules typed ID codes, phone numbers and recipient lists are checked
// with, as tables of cases.

#include "ui/RecipientRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct RuleCase {
    const char* text;
    bool valid;
};

TEST(RecipientRulesTest, IdCodes)
{
    const RuleCase cases[] = {
        {"12345", false},      // five digits
        {"123456", true},      // six
        {"12345678", true},    // eight
        {"123456789", false},  // nine
        {"+46701234567", true},
        {"+", false},       // a plus sign alone
        {"+46-70", false},  // a hyphen among the digits
        {"", false},
        {"12a456", false},
        {" 123456", false},  // no trimming: the field is stored as it stands
    };
    for (const RuleCase& c : cases)
        EXPECT_EQ(recipients::IsValidIdCode(c.text), c.valid) << '"' << c.text << '"';
}

TEST(RecipientRulesTest, PhoneNumbers)
{
    const RuleCase cases[] = {
        {"", true},   {"+4631123456", true}, {"031123456", false},  // digits without the plus sign
        {"+", false}, {"+46 31", false},
    };
    for (const RuleCase& c : cases)
        EXPECT_EQ(recipients::IsValidPhoneNumber(c.text), c.valid) << '"' << c.text << '"';
}

TEST(RecipientRulesTest, MailLists)
{
    const RuleCase cases[] = {
        {"", true},
        {"ops@lift.se; tech@lift.se;", true},  // one trailing separator is allowed
        {"a@b", true},
        {";ops@lift.se", false},               // a leading separator
        {"ops@lift.se,,tech@lift.se", false},  // two separators in a row
        {"ops@lift.se;;", false},
        {"@lift.se", false},        // begins with the at sign
        {"ops@", false},            // ends with it
        {"ops.lift.se", false},     // no at sign
        {"o p s @ l i f t", true},  // blanks are ignored
        {" ; ", false},
    };
    for (const RuleCase& c : cases)
        EXPECT_EQ(recipients::IsValidMailList(c.text), c.valid) << '"' << c.text << '"';
}

TEST(RecipientRulesTest, SmsLists)
{
    const RuleCase cases[] = {
        {"", true},
        {"+46701234567,0701234567", true},  // with and without the plus sign
        {"+46701234567; 0701234567", true},
        {"+4670-1234567", false},  // a hyphen among the digits
        {"x123", true},            // only the first character may be other than a digit
        {"1x23", false},
        {",0701234567", false},
        {"0701234567;", true},
    };
    for (const RuleCase& c : cases)
        EXPECT_EQ(recipients::IsValidSmsList(c.text), c.valid) << '"' << c.text << '"';
}

TEST(RecipientRulesTest, SplitAndJoin)
{
    using List = std::vector<std::string>;
    EXPECT_EQ(recipients::SplitList("a@b.se, c@d.se"), (List{"a@b.se", "c@d.se"}));
    // Two commas in a row leave an empty entry between the neighbours.
    EXPECT_EQ(recipients::SplitList("a@b.se,,c@d.se"), (List{"a@b.se", "", "c@d.se"}));
    // An empty last entry gives nothing; a leading separator an empty first one.
    EXPECT_EQ(recipients::SplitList("a@b.se;"), (List{"a@b.se"}));
    EXPECT_EQ(recipients::SplitList(";a@b.se"), (List{"", "a@b.se"}));
    EXPECT_EQ(recipients::SplitList(""), List{});
    EXPECT_EQ(recipients::JoinList({"a@b.se", "c@d.se", "e@f.se"}), "a@b.se; c@d.se; e@f.se");
    EXPECT_EQ(recipients::JoinList({}), "");
}

}  // namespace
