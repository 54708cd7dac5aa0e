#include "messages/MsgText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Repeat(const std::string& s, std::size_t n)
{
    std::string out;
    for (std::size_t i = 0; i < n; ++i)
        out += s;
    return out;
}

TEST(MsgText, LinesAreJoinedWithLineFeedsAndReadBack)
{
    CMsgText text;
    EXPECT_EQ(text.GetLineCount(), 0u);
    text.AddLine("first");
    text.AddLine("second");
    text.AddLine("third");
    EXPECT_EQ(text.GetText(), "first\nsecond\nthird");
    EXPECT_EQ(text.GetLineCount(), 3u);
    EXPECT_FALSE(text.IsTruncated());

    for (int pass = 0; pass < 2; ++pass) {
        text.Rewind();
        EXPECT_EQ(text.GetNextLine(255), "first");
        EXPECT_EQ(text.GetNextLine(255), "second");
        EXPECT_EQ(text.GetNextLine(255), "third");
        EXPECT_EQ(text.GetNextLine(255), "");
    }
}

TEST(MsgText, GetNextLineStopsAtTheMaximumAndCountsCharacters)
{
    CMsgText text;
    text.SetText("abcdef\ngh");
    EXPECT_EQ(text.GetNextLine(4), "abcd");
    EXPECT_EQ(text.GetNextLine(4), "ef");
    EXPECT_EQ(text.GetNextLine(4), "gh");

    text.SetText("äöü€\nx");
    EXPECT_EQ(text.GetNextLine(2), "äö");
    EXPECT_EQ(text.GetNextLine(9), "ü€");
    EXPECT_EQ(text.GetNextLine(9), "x");
}

TEST(MsgText, AnOverlongFirstLineIsCutAndLaterLinesAreDropped)
{
    CMsgText text;
    text.AddLine(std::string(300, 'a'));
    EXPECT_EQ(text.GetText(), std::string(255, 'a'));
    EXPECT_TRUE(text.IsTruncated());
    text.AddLine("more");
    EXPECT_EQ(text.GetText(), std::string(255, 'a'));
    EXPECT_EQ(text.GetLineCount(), 1u);
}

TEST(MsgText, ALaterLineIsCutWithItsLineFeedCounted)
{
    CMsgText text;
    text.AddLine(std::string(250, 'a'));
    text.AddLine("bcdefghij");  // room 5: the line feed and 4 characters
    EXPECT_EQ(text.GetText(), std::string(250, 'a') + "\nbcde");
    EXPECT_EQ(text.GetLength(), 255u);
    EXPECT_TRUE(text.IsTruncated());
}

TEST(MsgText, AnExactFitIsNotCutButAnyFurtherLineIs)
{
    CMsgText text;
    text.AddLine(std::string(200, 'a'));
    text.AddLine(std::string(54, 'b'));
    EXPECT_EQ(text.GetLength(), 255u);
    EXPECT_FALSE(text.IsTruncated());
    text.AddLine("");
    EXPECT_TRUE(text.IsTruncated());
    EXPECT_EQ(text.GetLength(), 255u);
}

TEST(MsgText, AnEmptyFirstLineStaysALine)
{
    CMsgText text;
    text.AddLine("");
    text.AddLine("second");
    EXPECT_EQ(text.GetText(), "\nsecond");
    EXPECT_EQ(text.GetLineCount(), 2u);
    EXPECT_EQ(text.GetNextLine(255), "");
    EXPECT_EQ(text.GetNextLine(255), "second");
}

TEST(MsgText, SetTextKeeps255CharactersAndResets)
{
    CMsgText text;
    text.AddLine("old");
    text.SetText(std::string(255, 'x'));
    EXPECT_FALSE(text.IsTruncated());
    EXPECT_EQ(text.GetAddedChars(), 0u);
    text.SetText(std::string(256, 'x'));
    EXPECT_TRUE(text.IsTruncated());
    EXPECT_EQ(text.GetText(), std::string(255, 'x'));

    // A line added to a stored text starts a line of its own.
    text.SetText("stored");
    text.AddLine("added");
    EXPECT_EQ(text.GetText(), "stored\nadded");

    text.Reset();
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_FALSE(text.IsTruncated());
}

TEST(MsgText, TheLimitCountsCharactersAndNeverSplitsOne)
{
    CMsgText text;
    text.AddLine(Repeat("ä", 300));
    EXPECT_EQ(text.GetText(), Repeat("ä", 255));
    EXPECT_EQ(text.GetLength(), 255u);
    EXPECT_TRUE(text.IsTruncated());

    CMsgText euro;
    euro.AddLine(std::string(253, 'a'));
    euro.AddLine("€€€");  // room 2: the line feed and one whole euro sign
    EXPECT_EQ(euro.GetText(), std::string(253, 'a') + "\n€");

    CMsgText set;
    set.SetText(Repeat("€", 256));
    EXPECT_EQ(set.GetText(), Repeat("€", 255));
    EXPECT_TRUE(set.IsTruncated());
}

TEST(MsgText, InvalidUtf8BecomesReplacementCharacters)
{
    CMsgText text;
    text.AddLine("a\xFF"
                 "b\xC3");
    EXPECT_EQ(text.GetText(), "a\xEF\xBF\xBD"
                              "b\xEF\xBF\xBD");
    EXPECT_EQ(text.GetLength(), 4u);
}

}  // namespace
