// The length limits of the text fields: characters, not UTF-16 units, and an
// edit cut to the limit keeps whole characters of what was put in.

#include "ui/CharLimit.h"

#include <gtest/gtest.h>

#include <QString>

namespace {

const QString kEmoji = QString::fromUtf8("\xF0\x9F\x9B\x97");  // one character, two units

TEST(CharLimitTest, CountsAndCutsCharacters)
{
    EXPECT_EQ(charlimit::Count(QStringLiteral("abc")), 3);
    EXPECT_EQ(charlimit::Count(kEmoji + kEmoji), 2);
    EXPECT_EQ(charlimit::Left(kEmoji + kEmoji + kEmoji, 2), kEmoji + kEmoji);
    EXPECT_EQ(charlimit::UnitsOf(QStringLiteral("a") + kEmoji, 2), 3);
}

TEST(CharLimitTest, AnEditKeepsWhatFitsOfTheInsertedPiece)
{
    const struct {
        const char* name;
        QString before;
        QString after;
        int limit;
        QString kept;
        int cursor;
    } cases[] = {
        {"typed at the end", "abcd", "abcdXY", 5, "abcdX", 5},
        {"pasted in the middle", "abcd", "abXYZcd", 5, "abXcd", 3},
        {"an emoji that does not fit is not split", "abcd", "abcd" + kEmoji, 4, "abcd", 4},
        {"emoji pasted where one fits", "ab", "ab" + kEmoji + kEmoji, 3, "ab" + kEmoji, 4},
        {"a shorter text stays", "abcdef", "abc", 4, "abc", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int cursor = -1;
        EXPECT_EQ(charlimit::KeepWithin(c.before, c.after, c.limit, &cursor), c.kept);
        EXPECT_EQ(cursor, c.cursor);
    }
}

TEST(CharLimitTest, DifferenceNeverEndsInsideASurrogatePair)
{
    // The two texts share the high half of different emoji.
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString grin = QString::fromUtf8("\xF0\x9F\x98\x81");
    const charlimit::Difference change = charlimit::Differ("a" + smile, "a" + grin);
    EXPECT_EQ(change.front, 1);
    EXPECT_EQ(change.back, 0);
}

}  // namespace
