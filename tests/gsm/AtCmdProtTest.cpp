// The AT line reader and writer against a pseudo-terminal, on the fake clock:
// every call without a byte sleeps 1 ms, which moves the fake clock by 1 ms,
// so the 100 ms flush of an unfinished line is counted in calls.

#include "gsm/AtCmdProt.h"

#include "support/FakeTickSource.h"
#include "support/Pty.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int kPort = 3;

class AtCmdProtTest : public testing::Test {
protected:
    void SetUp() override
    {
        pty.LinkAs(dir.Path(), kPort);
        ASSERT_EQ(prot.Open(kPort, 115200), 1);
    }

    // Sends the bytes and makes exactly one call per byte (all of them are
    // waiting, so each call takes one); returns the lines handed out.
    std::vector<std::string> Feed(const std::string& bytes)
    {
        pty.SendAndSettle(bytes);
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < bytes.size(); ++i)
            Collect(lines);
        return lines;
    }

    // Calls without a byte waiting (each one a millisecond on the clock).
    std::vector<std::string> Idle(int calls)
    {
        std::vector<std::string> lines;
        for (int i = 0; i < calls; ++i)
            Collect(lines);
        return lines;
    }

    void Collect(std::vector<std::string>& lines)
    {
        std::unique_ptr<CGpBuffer> line;
        const int16_t result = prot.ReceiveLine(line);
        ASSERT_NE(result, ATCMDPROT_RECEIVE_ERROR);
        if (result == ATCMDPROT_RECEIVE_LINE) {
            ASSERT_TRUE(line);
            lines.push_back(line->GetText());
        }
    }

    TempDir dir;
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    FakeTickSource clock{5000};
    Pty pty{Pty::Watch::Slave};
    CAtCmdProt prot;
};

using Lines = std::vector<std::string>;

TEST_F(AtCmdProtTest, LinesAndTheirEnds)
{
    const struct {
        const char* name;
        std::string bytes;
        Lines lines;    // while the bytes are read
        Lines flushed;  // 150 ms later
    } cases[] = {
        {"OK", "OK\r\n", {"OK"}, {}},
        {"empty line first", "\r\nOK\r\n", {"OK"}, {}},
        {"empty lines only", "\r\n\r\n\r\n", {}, {}},
        {"response and result", "\r\n+CSQ: 13,99\r\n\r\nOK\r\n", {"+CSQ: 13,99", "OK"}, {}},
        {"lone CR dropped", "A\rB\r\n", {"AB"}, {}},
        {"LF alone is kept", "OK\n", {}, {"OK\n"}},
        {"line without end", "RING", {}, {"RING"}},
        {"NUL bytes are text", std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Feed(c.bytes), c.lines);
        EXPECT_EQ(Idle(150), c.flushed);
    }
}

TEST_F(AtCmdProtTest, PromptArrives100msAfterItsLastByte)
{
    EXPECT_EQ(Feed("\r\n> "), Lines{});
    EXPECT_EQ(Idle(99), Lines{});
    EXPECT_EQ(Idle(1), Lines{"> "});
    EXPECT_EQ(Idle(200), Lines{});
}

TEST_F(AtCmdProtTest, ByteInsideTheIdleTimeKeepsTheLineOpen)
{
    EXPECT_EQ(Feed(">"), Lines{});
    EXPECT_EQ(Idle(90), Lines{});
    EXPECT_EQ(Feed(" "), Lines{});
    EXPECT_EQ(Idle(99), Lines{});
    EXPECT_EQ(Idle(1), Lines{"> "});
}

TEST_F(AtCmdProtTest, OverlongLineIsDroppedAtByte256)
{
    // Bytes 1 to 256 fill the line, byte 257 finds it full and goes with it;
    // bytes 258 to 300 start a new line.
    const std::string noise(300, 'x');
    EXPECT_EQ(Feed(noise + "\r\nOK\r\n"), (Lines{std::string(43, 'x'), "OK"}));

    // 255 bytes and the CR fit; the LF then finds the line full.
    EXPECT_EQ(Feed(std::string(255, 'y') + "\r\nOK\r\n"), Lines{"OK"});
    // A line of 254 bytes is still a line.
    EXPECT_EQ(Feed(std::string(254, 'z') + "\r\n"), Lines{std::string(254, 'z')});
}

TEST_F(AtCmdProtTest, VerbatimCountKeepsCarriageReturnsInsideText)
{
    prot.SetVerbatimCount(12);
    EXPECT_EQ(Feed("Hello\rWorld!\r\nOK\r\n"), (Lines{"Hello\rWorld!", "OK"}));

    prot.SetVerbatimCount(7);
    EXPECT_EQ(Feed("ab\r\ncde\r\n"), Lines{"ab\r\ncde"});

    // The count is spent by one line; the next one ends at its CR again.
    EXPECT_EQ(Feed("A\rB\r\n"), Lines{"AB"});

    // An absurd count cannot swallow more than a line.
    prot.SetVerbatimCount(30000);
    EXPECT_LE(prot.GetVerbatimCount(), 256);
    prot.SetVerbatimCount(-5);
    EXPECT_EQ(prot.GetVerbatimCount(), 0);
}

TEST_F(AtCmdProtTest, OpenThrowsAwayWhatWasWaiting)
{
    pty.SendAndSettle("+CMTI: \"SM\",1\r\nRDY\r\n");
    prot.Close();
    ASSERT_EQ(prot.Open(kPort, 115200), 1);
    EXPECT_EQ(Idle(200), Lines{});
    EXPECT_EQ(Feed("OK\r\n"), Lines{"OK"});
}

TEST_F(AtCmdProtTest, HalfLineIsForgottenByClose)
{
    EXPECT_EQ(Feed("+CREG: 0,"), Lines{});
    prot.Close();
    ASSERT_EQ(prot.Open(kPort, 115200), 1);
    EXPECT_EQ(Feed("OK\r\n"), Lines{"OK"});
}

TEST_F(AtCmdProtTest, SendLineWritesEveryByte)
{
    EXPECT_EQ(prot.SendLine("AT+CSQ\r\n"), ATCMDPROT_SEND_OK);
    EXPECT_EQ(pty.ReceiveText(8), "AT+CSQ\r\n");
    const std::string text = std::string("Hi\n", 3) + '\x1a';
    EXPECT_EQ(prot.SendLine(text), ATCMDPROT_SEND_OK);
    EXPECT_EQ(pty.ReceiveText(text.size()), text);
}

TEST_F(AtCmdProtTest, DeadLineIsAnErrorNotAHang)
{
    pty.CloseMaster();
    std::unique_ptr<CGpBuffer> line;
    EXPECT_EQ(prot.ReceiveLine(line), ATCMDPROT_RECEIVE_ERROR);
    EXPECT_EQ(prot.ReceiveLine(line), ATCMDPROT_RECEIVE_ERROR);
    EXPECT_EQ(prot.SendLine("AT\r\n"), ATCMDPROT_SEND_ERROR);

    prot.Close();
    EXPECT_EQ(prot.ReceiveLine(line), ATCMDPROT_RECEIVE_ERROR);
    EXPECT_EQ(prot.SendLine("AT\r\n"), ATCMDPROT_SEND_ERROR);
}

TEST(AtCmdProtOpen, MissingPortAnswersZero)
{
    TempDir dir;
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    CAtCmdProt prot;
    EXPECT_EQ(prot.Open(9, 9600), 0);
    EXPECT_FALSE(prot.IsOpen());
}

}  // namespace
