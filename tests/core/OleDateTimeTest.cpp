// The in-memory date-time of the alarm records: days since 1899-12-30 with a
// fraction for the time of day, and its text form in the database.

#include "core/OleDateTime.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

TEST(OleDateTime, CalendarFieldsMatchTheDayCount)
{
    struct Case {
        int y, mo, d, h, mi, s;
        double days;
    };
    const Case cases[] = {
        {1899, 12, 30, 0, 0, 0, 0.0},     {1900, 1, 1, 0, 0, 0, 2.0},
        {1899, 12, 29, 6, 0, 0, -1.25},  // before day 0 the fraction still runs forward
        {2000, 2, 29, 12, 0, 0, 36585.5}, {2024, 3, 1, 18, 0, 0, 45352.75},
    };
    for (const Case& c : cases) {
        const COleDateTime value(c.y, c.mo, c.d, c.h, c.mi, c.s);
        EXPECT_TRUE(value.IsValid());
        EXPECT_DOUBLE_EQ(value.m_dt, c.days) << c.y << "-" << c.mo << "-" << c.d;
        const COleDateTime back(c.days);
        EXPECT_EQ(back.GetYear(), c.y);
        EXPECT_EQ(back.GetMonth(), c.mo);
        EXPECT_EQ(back.GetDay(), c.d);
        EXPECT_EQ(back.GetHour(), c.h);
    }
}

TEST(OleDateTime, ImpossibleDatesAreInvalid)
{
    EXPECT_FALSE(COleDateTime(2023, 2, 29, 0, 0, 0).IsValid());
    EXPECT_FALSE(COleDateTime(2024, 13, 1, 0, 0, 0).IsValid());
    EXPECT_FALSE(COleDateTime(2024, 1, 1, 24, 0, 0).IsValid());
    EXPECT_EQ(COleDateTime(2023, 2, 29, 0, 0, 0).GetYear(), -1);
}

TEST(OleDateTime, IsoTextRoundTrip)
{
    const COleDateTime value(2024, 5, 17, 3, 4, 5);
    EXPECT_EQ(value.ToIso(), "2024-05-17 03:04:05");
    EXPECT_EQ(COleDateTime::FromIso("2024-05-17 03:04:05"), value);
    EXPECT_EQ(COleDateTime::FromIso("2024-05-17T03:04:05"), value);
    EXPECT_EQ(COleDateTime::FromIso("2024-05-17"), COleDateTime(2024, 5, 17, 0, 0, 0));
    EXPECT_FALSE(COleDateTime::FromIso("17/05/2024").IsValid());
    EXPECT_FALSE(COleDateTime::FromIso("2024-05-17 03:04:05 junk").IsValid());
    EXPECT_EQ(COleDateTime(0.0).ToIso(), "1899-12-30 00:00:00");
}

TEST(OleDateTime, ArithmeticInDays)
{
    const COleDateTime start(2024, 3, 30, 22, 0, 0);
    const COleDateTime later = start + OleSpan(1, 2, 30);
    EXPECT_EQ(later.ToIso(), "2024-04-01 00:30:00");
    EXPECT_NEAR(later - start, OleSpan(1, 2, 30), 1e-9);
    EXPECT_TRUE(start < later);
    EXPECT_EQ((COleDateTime(0.5) - 1.0).ToIso(), "1899-12-29 12:00:00");

    COleDateTime invalid;
    invalid.SetStatus(COleDateTime::invalid);
    EXPECT_FALSE((invalid + 1.0).IsValid());
}

TEST(OleDateTime, FormatUsesStrftimeFields)
{
    const COleDateTime value(2024, 5, 17, 3, 4, 5);
    EXPECT_EQ(value.Format("%y-%m-%d     %H:%M:%S"), "24-05-17     03:04:05");
    EXPECT_EQ(value.Format("%m/%d/%Y"), "05/17/2024");
    COleDateTime null;
    null.SetStatus(COleDateTime::null);
    EXPECT_EQ(null.Format("%Y"), "");
}

TEST(OleDateTime, LocalTimeOfUnixSeconds)
{
    ScopedEnv tz("TZ", "Europe/Stockholm");
    tzset();
    // 2021-06-01 10:00:00 UTC is noon in Stockholm (summer time).
    EXPECT_EQ(COleDateTime::FromTimeT(1622541600).ToIso(), "2021-06-01 12:00:00");
    // 2021-01-01 00:00:00 UTC is one o'clock (winter time).
    EXPECT_EQ(COleDateTime::FromTimeT(1609459200).ToIso(), "2021-01-01 01:00:00");
    // Beyond the year 9999 no date; so far out that the year overflows an
    // int (while the years since 1900 still fit) no arithmetic on it either.
    EXPECT_EQ(COleDateTime::FromTimeT(253402293600).ToIso(), "9999-12-31 23:00:00");
    for (std::time_t beyond : {std::time_t{253402318800}, std::time_t{67768007771952000}})
        EXPECT_FALSE(COleDateTime::FromTimeT(beyond).IsValid()) << beyond;
    unsetenv("TZ");
    tzset();
}

TEST(OleDateTime, NowIsReplaceable)
{
    const COleDateTime fixed(2030, 1, 2, 3, 4, 5);
    {
        CScopedNowSource now([fixed] { return fixed; });
        EXPECT_EQ(COleDateTime::GetCurrentTime(), fixed);
    }
    EXPECT_NE(COleDateTime::GetCurrentTime(), fixed);
}

namespace {

// The stored-date reader as it was written first, with sscanf: the reference
// that the hand-written reader must agree with on every text.
COleDateTime ScanfFromIso(const std::string& text)
{
    COleDateTime result;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char sep = ' ';
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &consumed) == 3 &&
        static_cast<size_t>(consumed) == text.size()) {
        result.SetDateTime(y, mo, d, 0, 0, 0);
        return result;
    }
    consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &y, &mo, &d, &sep, &h, &mi, &s, &consumed) == 7 &&
        (sep == ' ' || sep == 'T') && static_cast<size_t>(consumed) == text.size()) {
        result.SetDateTime(y, mo, d, h, mi, s);
        return result;
    }
    result.SetStatus(COleDateTime::invalid);
    return result;
}

}  // namespace

TEST(OleDateTime, StoredFormReaderAgreesWithTheScanfReader)
{
    using namespace std::string_literals;
    struct Case {
        std::string text;
        bool valid;
    };
    const Case cases[] = {
        // The stored form and its accepted variants.
        {"2024-05-17 03:04:05", true},
        {"2024-05-17T03:04:05", true},
        {"2024-05-17", true},
        {"2024-02-29 23:59:59", true},
        {"0100-01-01 00:00:00", true},
        {"9999-12-31 23:59:59", true},
        {"2024-5-7 3:4:5", true},  // one-digit fields
        {" 2024-05-17", true},     // whitespace before a number is skipped
        {"2024- 5-17", true},
        {"2024-05-17 \t3:04:05", true},
        {"2024-05-17  3:04:05", true},
        {"+2024-05-17", false},  // the sign takes one of the four places
        {"+202-05-17", true},
        {"2024-+5-17 03:04:05", true},
        {"2024-05-17 03:+4:05", true},
        {"2024-05-17 03:04:-0", true},
        {"\n2024-05-17\f03:04:05", false},
        // Rejected.
        {"", false},
        {" ", false},
        {"2024", false},
        {"2024-05", false},
        {"2024-05-", false},
        {"2024-05-17 ", false},
        {"2024-05-17 03:04", false},
        {"2024-05-17 03:04:", false},
        {"2024-05-17 03:04:05 ", false},
        {"2024-05-17 03:04:05 junk", false},
        {"2024-05-17x03:04:05", false},
        {"2024-05-17t03:04:05", false},
        {"17/05/2024", false},
        {"20240-05-17", false},
        {"2024-005-17", false},
        {"2024-05-017", false},
        {"2024-05-17 003:04:05", false},
        {"2024 -05-17", false},
        {"2024-05 -17", false},
        {"2024-05-17 03 :04:05", false},
        {"2024-13-01", false},
        {"2023-02-29 00:00:00", false},
        {"2024-05-17 24:00:00", false},
        {"2024-05-17 23:60:00", false},
        {"2024-05-17 23:59:60", false},
        {"0099-12-31 23:59:59", false},
        {"-100-01-01", false},
        {"2024-00-10", false},
        {"2024-05-00", false},
        {"2024--5-17", false},
        {"2024-+-5-17", false},
        {"2024-05-17 +:04:05", false},
        {"2024-05-17\0"s, false},
        {"2024-05-17 03:04:05\0"s, false},
        {"2024-05\0-17"s, false},
        {"２０２４-05-17", false},
        {"2024-05-17 03:04:05.123", false},
    };
    for (const Case& c : cases) {
        const COleDateTime expected = ScanfFromIso(c.text);
        const COleDateTime actual = COleDateTime::FromIso(c.text);
        EXPECT_EQ(expected.IsValid(), c.valid) << "'" << c.text << "'";
        EXPECT_EQ(actual.GetStatus(), expected.GetStatus()) << "'" << c.text << "'";
        EXPECT_EQ(actual.m_dt, expected.m_dt) << "'" << c.text << "'";
    }
}

TEST(OleDateTime, StoredFormReaderAgreesOnEveryCutAndChangeOfAStoredDate)
{
    // Every prefix of a stored date, and every single character of it
    // replaced by each character that has a meaning to either reader.
    const std::string stored = "2024-11-28 17:45:09";
    const std::string replacements = std::string(" \t\n\v\f\r+-:T0123456789xZ/.") + '\0';
    std::vector<std::string> texts;
    for (size_t n = 0; n <= stored.size(); ++n)
        texts.push_back(stored.substr(0, n));
    for (size_t i = 0; i < stored.size(); ++i)
        for (char r : replacements) {
            std::string changed = stored;
            changed[i] = r;
            texts.push_back(changed);
            texts.push_back(changed.substr(0, 10));
            changed.insert(i, 1, r);
            texts.push_back(changed);
        }
    for (const std::string& text : texts) {
        const COleDateTime expected = ScanfFromIso(text);
        const COleDateTime actual = COleDateTime::FromIso(text);
        ASSERT_EQ(actual.GetStatus(), expected.GetStatus()) << "'" << text << "'";
        ASSERT_EQ(actual.m_dt, expected.m_dt) << "'" << text << "'";
    }
}
