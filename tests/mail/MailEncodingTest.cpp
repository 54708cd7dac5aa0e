// Text transformations of outgoing mails: line ends, dot-stuffing,
// quoted-printable, RFC 2047 header words and the log form.

#include "mail/MailEncoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace MailEncoding;

struct Case {
    std::string in;
    std::string out;
};

std::vector<std::string> SplitCrLf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t eol; (eol = text.find("\r\n", start)) != std::string::npos; start = eol + 2)
        lines.push_back(text.substr(start, eol - start));
    lines.push_back(text.substr(start));
    return lines;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A strict decoder written from the rules of quoted-printable, for the round
// trip: only "=XX" (upper-case hex) and the soft break "=" CR LF are accepted.
bool DecodeQp(const std::string& text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out.push_back(text[i]);
            continue;
        }
        if (text.compare(i, 3, "=\r\n") == 0) {
            i += 2;
            continue;
        }
        if (i + 1 == text.size())
            return true;  // a soft break at the very end
        if (i + 2 >= text.size() || HexValue(text[i + 1]) < 0 || HexValue(text[i + 2]) < 0)
            return false;
        out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
        i += 2;
    }
    return true;
}

TEST(MailEncoding, RemoveLineBreaksLeavesNoCrOrLf)
{
    for (const Case& c : std::vector<Case>{
             {"a@b.test", "a@b.test"},
             {"a@b.test\r\nRCPT TO:<x@y>", "a@b.testRCPT TO:<x@y>"},
             {"\r\r\n\n", ""},
             {"tab\tstays", "tab\tstays"},
         })
        EXPECT_EQ(RemoveLineBreaks(c.in), c.out) << c.in;
}

TEST(MailEncoding, NormalizeLineEndsMakesEveryLineEndCrLf)
{
    for (const Case& c : std::vector<Case>{
             {"", ""},
             {"a\r\nb\r\n", "a\r\nb\r\n"},
             {"a\nb\n", "a\r\nb\r\n"},
             {"a\rb", "a\r\nb"},
             {"a\r\r\nb", "a\r\n\r\nb"},
             {"a\n\r\nb", "a\r\n\r\nb"},
             {"\n", "\r\n"},
         })
        EXPECT_EQ(NormalizeLineEnds(c.in), c.out) << c.in;
}

TEST(MailEncoding, DotStuffDoublesALeadingDotOnEveryLine)
{
    for (const Case& c : std::vector<Case>{
             {".", ".."},
             {".hidden\r\n", "..hidden\r\n"},
             {"a\r\n.\r\nb", "a\r\n..\r\nb"},
             {"a\r\n..x", "a\r\n...x"},
             {"1.5 m\r\nend.", "1.5 m\r\nend."},
         })
        EXPECT_EQ(DotStuff(c.in), c.out) << c.in;
}

TEST(MailEncoding, QuotedPrintableVectors)
{
    const std::string a75(75, 'a');
    const std::string a76(76, 'a');
    for (const Case& c : std::vector<Case>{
             {"", ""},
             {"abc\r\n", "abc\r\n"},
             // A text without a closing line break ends with a soft break.
             {"abc", "abc="},
             {"a=b\r\n", "a=3Db\r\n"},
             {"Gr\xC3\xBC\xC3\x9F"
              "e\r\n",
              "Gr=C3=BC=C3=9Fe\r\n"},
             {"end \r\n", "end=20\r\n"},
             {"end\t\r\n", "end=09\r\n"},
             {"mid dle\r\n", "mid dle\r\n"},
             {"x ", "x ="},  // the soft break protects the blank
             {"a\rb\r\n", "a=0Db\r\n"},
             {".\r\n", ".\r\n"},  // transparency is the transport's business
             {a76 + "\r\n", a76 + "\r\n"},
             {a76 + "a\r\n", a75 + "=\r\naa\r\n"},
             {std::string(74, 'a') + "\xC3\xA4\r\n", std::string(74, 'a') + "=\r\n=C3=A4\r\n"},
             {a75 + "=", a75 + "=\r\n=3D="},
         })
        EXPECT_EQ(EncodeQuotedPrintable(c.in), c.out) << c.in;
}

TEST(MailEncoding, QuotedPrintableRoundTripsAnyTextInShortPrintableLines)
{
    std::mt19937 random(7);
    const std::string alphabet =
        std::string("abc XYZ.=\t-") + "\xC3\xA5\xC3\xA4\xC3\xB6\xE2\x80\x93" + '\0' + "\x7F\xFF";
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 400);
        for (int i = 0; i < length; ++i) {
            if (random() % 23 == 0)
                text += "\r\n";
            else
                text.push_back(alphabet[random() % alphabet.size()]);
        }
        const std::string encoded = EncodeQuotedPrintable(text);
        std::string decoded;
        ASSERT_TRUE(DecodeQp(encoded, decoded)) << encoded;
        ASSERT_EQ(decoded, text) << encoded;
        for (const std::string& line : SplitCrLf(encoded)) {
            ASSERT_LE(line.size(), kMaxEncodedLine) << line;
            for (const char c : line)
                ASSERT_TRUE((c >= 32 && c <= 126) || c == '\t') << line;
            if (!line.empty()) {
                ASSERT_TRUE(line.back() != ' ' && line.back() != '\t') << line;
            }
        }
    }
}

TEST(MailEncoding, PlainHeaderTextStaysAsItIs)
{
    EXPECT_EQ(FormatHeaderField("Subject", "Tervin CallCenter Alarm Message"),
              "Subject: Tervin CallCenter Alarm Message\r\n");
    EXPECT_EQ(FormatHeaderField("Subject", ""), "Subject: \r\n");
}

TEST(MailEncoding, OtherHeaderTextBecomesEncodedWords)
{
    for (const Case& c : std::vector<Case>{
             {"Gr\xC3\xBC\xC3\x9F"
              "e",
              "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\n"},
             {"h\xC3\xA4ngt fest", "Subject: =?UTF-8?Q?h=C3=A4ngt_fest?=\r\n"},
             // Looks like an encoded word: must not be read as one.
             {"a =?x?= b", "Subject: =?UTF-8?Q?a_=3D=3Fx=3F=3D_b?=\r\n"},
             {"bell\x07", "Subject: =?UTF-8?Q?bell=07?=\r\n"},
         })
        EXPECT_EQ(FormatHeaderField("Subject", c.in), c.out) << c.in;
}

TEST(MailEncoding, LongEncodedHeaderIsFoldedWithoutSplittingACharacter)
{
    std::string subject;
    for (int i = 0; i < 40; ++i)
        subject += "\xC3\xA5\xE2\x82\xAC\xF0\x9F\x9B\x97 ";  // å € (lift) and a blank
    const std::string field = FormatHeaderField("Subject", subject);
    ASSERT_EQ(field.substr(field.size() - 2), "\r\n");
    const std::vector<std::string> lines = SplitCrLf(field.substr(0, field.size() - 2));
    ASSERT_GT(lines.size(), 3u);
    std::string decoded;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        EXPECT_LE(line.size(), 76u) << line;
        const std::string lead = i == 0 ? "Subject: =?UTF-8?Q?" : " =?UTF-8?Q?";
        ASSERT_EQ(line.rfind(lead, 0), 0u) << line;
        ASSERT_EQ(line.substr(line.size() - 2), "?=");
        std::string word = line.substr(lead.size(), line.size() - lead.size() - 2);
        for (char& c : word)
            if (c == '_')
                c = ' ';
        std::string bytes;
        ASSERT_TRUE(DecodeQp(word, bytes));
        // Every word holds whole characters: it starts on a lead byte.
        ASSERT_FALSE(bytes.empty());
        EXPECT_NE(static_cast<unsigned char>(bytes[0]) & 0xC0, 0x80) << line;
        decoded += bytes;
    }
    EXPECT_EQ(decoded, subject);
}

TEST(MailEncoding, EscapeForLogKeepsOneVisibleLine)
{
    for (const Case& c : std::vector<Case>{
             {"HELO x\r\n", "HELO x\\r\\n"},
             {std::string("a\0b", 3), "a\\x00b"},
             {"\xFF\t\\", "\\xFF\\t\\\\"},
         })
        EXPECT_EQ(EscapeForLog(c.in), c.out);
}

}  // namespace
