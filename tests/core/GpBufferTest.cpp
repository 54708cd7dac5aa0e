#include "core/GpBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Tokens(CGpBuffer& buffer, int count)
{
    std::vector<std::string> tokens;
    for (int i = 0; i < count; ++i)
        tokens.push_back(buffer.NextToken());
    return tokens;
}

struct TokenCase {
    const char* line;
    int16_t start;
    char separator;
    std::vector<std::string> expected;  // further calls after these
};

class GpBufferTokens : public ::testing::TestWithParam<TokenCase> {};

TEST_P(GpBufferTokens, SplitsAsExpected)
{
    const TokenCase& c = GetParam();
    CGpBuffer buffer(c.line);
    buffer.SetSeparator(c.separator);
    buffer.SetPosition(c.start);
    EXPECT_EQ(Tokens(buffer, static_cast<int>(c.expected.size())), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, GpBufferTokens,
                         ::testing::Values(
                             // quotes are removed; past the last token every call is empty
                             TokenCase{"a,\"b\",c", 0, ',', {"a", "b", "c", "", ""}},
                             // without a separator the rest comes whole, trailing white space cut
                             TokenCase{"no separator here  \t\r", 0, ',', {"no separator here", ""}},
                             // trailing white space is kept when a separator ends the token
                             TokenCase{"a ,b ", 0, ',', {"a ", "b"}},
                             // skipping the seven characters of a response header
                             TokenCase{"+CMGL: 3,\"REC UNREAD\",\"+4670123\",,\"26/12/10,03:04:05+04\"",
                                       7,
                                       ',',
                                       {"3", "REC UNREAD", "+4670123", "", "26/12/10", "03:04:05+04"}},
                             // empty fields between separators
                             TokenCase{",,x", 0, ',', {"", "", "x", ""}},
                             // another separator
                             TokenCase{"12:34:56", 0, ':', {"12", "34", "56"}},
                             // empty line and a start past the end
                             TokenCase{"", 0, ',', {"", ""}}, TokenCase{"abc", 10, ',', {"", ""}},
                             TokenCase{"abc", -4, ',', {"", ""}}));

TEST(GpBuffer, SetTextStartsOver)
{
    CGpBuffer buffer("x,y");
    EXPECT_EQ(buffer.NextToken(), "x");
    buffer.SetText("p,q");
    EXPECT_EQ(buffer.GetPosition(), 0);
    EXPECT_EQ(buffer.NextToken(), "p");
}

}  // namespace
