// Framing of the modem link against a pseudo-terminal. The test plays the
// modem on the master side with its own frame codec (FakeModem.h) and runs
// the receiver on the fake clock, so the 50 ms gap rule and the time-outs are
// exact. Before the receiver is polled, the test waits until the bytes it
// sent are really waiting at the station's end (FIONREAD on a second handle
// of the slave), so every Poll consumes exactly one byte.

#include "tel/ModemLink.h"

#include "FakeModem.h"
#include "support/FakeTickSource.h"
#include "support/Pty.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace fs = std::filesystem;
using fakemodem::BadChecksumFrame;
using fakemodem::Frame;
using Bytes = std::vector<uint8_t>;

namespace {

class ModemLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_symlink(pty.SlavePath(), scratch.Path() / "COM1");
        // Opened before the link takes the port exclusively.
        watcher = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(watcher, 0);
        ASSERT_EQ(link.Open(1, 9600), LNKRET_OPEN_OK);
    }
    void TearDown() override
    {
        if (watcher >= 0)
            close(watcher);
    }

    // Bytes waiting at the station's end of the line.
    std::size_t Waiting() const
    {
        int n = 0;
        EXPECT_EQ(ioctl(watcher, FIONREAD, &n), 0);
        return static_cast<std::size_t>(n);
    }

    // Sends from the modem's end and waits until every byte has arrived.
    void Deliver(const Bytes& bytes)
    {
        if (bytes.empty())
            return;
        const std::size_t target = Waiting() + bytes.size();
        pty.Send(bytes);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (Waiting() < target && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        ASSERT_GE(Waiting(), target) << "the pty did not deliver";
    }

    // The stored frame: command and body.
    Bytes Stored() const { return Bytes(buffer, buffer + 1 + length); }

    TempDir scratch;
    ScopedEnv env{"ORVA_COM_DIR", scratch.Path().string()};
    FakeTickSource clock{1000};
    Pty pty;
    int watcher = -1;
    ModemLink link;
    uint8_t buffer[ModemLink::kFrameBufferSize] = {};
    int16_t length = -1;
};

}  // namespace

TEST(ModemLinkClosedTest, FailsToOpenAMissingPortAndReportsErrorsWhileClosed)
{
    TempDir scratch;
    ScopedEnv env("ORVA_COM_DIR", scratch.Path().string());
    ModemLink link;
    EXPECT_EQ(link.GetFixedLength(), 0);
    EXPECT_EQ(link.Open(1, 9600), LNKRET_OPEN_FAILED);
    EXPECT_EQ(link.Open(0, 9600), LNKRET_OPEN_FAILED);

    const uint8_t poll[] = {0x81, 0x00};
    EXPECT_EQ(link.SendFrame(poll, 1), LNKRET_SEND_ERROR);
    uint8_t buffer[ModemLink::kFrameBufferSize] = {};
    int16_t length = 0;
    EXPECT_EQ(link.ReceiveFrame(buffer, length, 50), LNKRET_READ_ERROR);
    link.Flush();  // harmless
    link.Close();
}

TEST_F(ModemLinkTest, SendsFramesByteForByte)
{
    EXPECT_EQ(link.GetFixedLength(), 2);
    const struct {
        const char* what;
        Bytes buffer;  // command, then the body
        int16_t length;
        Bytes wire;
    } cases[] = {
        {"poll", {0x81, 0x00}, 1, {0x81, 0x01, 0x00, 0x7F}},
        {"poll acknowledging a modem message", {0x81, 0x80}, 1, {0x81, 0x01, 0x80, 0xFF}},
        {"seize the line", {0x82, 0x00, 0x01}, 2, {0x82, 0x02, 0x00, 0x01, 0x7E}},
        {"identification request", {0x8A, 0x00}, 1, {0x8A, 0x01, 0x00, 0x74}},
        {"relay 1 on", {0x90, 0x00, 0x01, 0x01}, 3, {0x90, 0x03, 0x00, 0x01, 0x01, 0x6C}},
        {"answer with STATUS_LINE", {0x81, 0x10}, 1, {0x81, 0x01, 0x10, 0x6F}},
        // Bit 7 clear: no length byte, always two body bytes whatever is announced.
        {"bit 7 clear", {0x05, 0xAA, 0xBB, 0xCC}, 3, {0x05, 0xAA, 0xBB, 0xFF ^ 0x05 ^ 0xAA ^ 0xBB}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(link.SendFrame(c.buffer.data(), c.length), LNKRET_SENT);
        EXPECT_EQ(pty.Receive(c.wire.size()), c.wire);
        // The fake modem's own codec reads and writes the same bytes, so the
        // link thread's tests talk the real format.
        fakemodem::StationFrameDecoder decoder;
        std::optional<fakemodem::StationFrame> seen;
        for (uint8_t b : c.wire)
            seen = decoder.Feed(b);
        ASSERT_TRUE(seen.has_value());
        EXPECT_TRUE(seen->checksumOk);
        EXPECT_EQ(seen->command, c.buffer[0]);
        EXPECT_EQ(Frame(seen->command, seen->body), c.wire);
    }
    EXPECT_TRUE(pty.Receive(1, std::chrono::milliseconds(50)).empty());
}

TEST_F(ModemLinkTest, SendsTheLongestBodyAndRefusesLengthsTheLengthByteCannotCarry)
{
    Bytes longest(256);
    longest[0] = 0x84;
    for (int i = 1; i < 256; ++i)
        longest[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(link.SendFrame(longest.data(), 255), LNKRET_SENT);
    EXPECT_EQ(pty.Receive(258), Frame(0x84, Bytes(longest.begin() + 1, longest.end())));

    for (int16_t bad : {int16_t{-1}, int16_t{256}, int16_t{32767}, int16_t{-32768}}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(link.SendFrame(longest.data(), bad), LNKRET_SEND_ERROR);
    }
    EXPECT_TRUE(pty.Receive(1, std::chrono::milliseconds(50)).empty()) << "a refused frame was partly sent";
}

TEST_F(ModemLinkTest, ReceivesFramesAsTheyStandOnTheWire)
{
    Bytes longBody(255);
    for (int i = 0; i < 255; ++i)
        longBody[i] = static_cast<uint8_t>(255 - i);
    const struct {
        const char* what;
        Bytes wire;
        Bytes stored;  // command and body
    } cases[] = {
        {"answer with STATUS_LINE", {0x81, 0x01, 0x10, 0x6F}, {0x81, 0x10}},
        {"acknowledged poll", {0x81, 0x01, 0x80, 0xFF}, {0x81, 0x80}},
        {"seize", {0x82, 0x02, 0x00, 0x01, 0x7E}, {0x82, 0x00, 0x01}},
        {"identification request", {0x8A, 0x01, 0x00, 0x74}, {0x8A, 0x00}},
        {"relay", {0x90, 0x03, 0x00, 0x01, 0x01, 0x6C}, {0x90, 0x00, 0x01, 0x01}},
        {"length 0, no status byte", {0x81, 0x00, 0x7E}, {0x81}},
        {"bit 7 clear: two body bytes", {0x20, 0xAA, 0xBB, 0xFF ^ 0x20 ^ 0xAA ^ 0xBB}, {0x20, 0xAA, 0xBB}},
        {"bit 7 clear, body looks like a length", {0x7F, 0x05, 0x00, 0xFF ^ 0x7F ^ 0x05}, {0x7F, 0x05, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Deliver(c.wire);
        length = -1;
        ASSERT_EQ(link.ReceiveFrame(buffer, length, 100), LNKRET_RECEIVED);
        EXPECT_EQ(Stored(), c.stored);
    }

    Deliver(Frame(0x8E, longBody));
    ASSERT_EQ(link.ReceiveFrame(buffer, length, 100), LNKRET_RECEIVED);
    ASSERT_EQ(length, 255);
    EXPECT_EQ(Bytes(buffer + 1, buffer + 256), longBody);
}

TEST_F(ModemLinkTest, WrongChecksumIsReportedAndTheNextFrameIsReceived)
{
    Deliver(BadChecksumFrame(0x8D, {0x10, 1, 2, 3, 4, 5, 6}));
    length = -1;
    EXPECT_EQ(link.ReceiveFrame(buffer, length, 100), LNKRET_CHECKSUM_ERROR);
    EXPECT_EQ(length, 0);

    Deliver({0x81, 0x01, 0x10, 0x6F});
    ASSERT_EQ(link.ReceiveFrame(buffer, length, 100), LNKRET_RECEIVED);
    EXPECT_EQ(Stored(), (Bytes{0x81, 0x10}));
}

TEST_F(ModemLinkTest, ReceiveTimesOutOnAQuietLine)
{
    const uint32_t start = clock.GetTickCount();
    EXPECT_EQ(link.ReceiveFrame(buffer, length, 180), LNKRET_TIMEOUT);
    const uint32_t waited = clock.GetTickCount() - start;
    EXPECT_GE(waited, 180u);
    EXPECT_LE(waited, 182u);
}

TEST_F(ModemLinkTest, FrameMayStraddleTwoReceiveCalls)
{
    Deliver({0x81, 0x01});
    EXPECT_EQ(link.ReceiveFrame(buffer, length, 20), LNKRET_TIMEOUT);
    Deliver({0x10, 0x6F});
    ASSERT_EQ(link.ReceiveFrame(buffer, length, 100), LNKRET_RECEIVED);
    EXPECT_EQ(Stored(), (Bytes{0x81, 0x10}));
}

// A pause of 50 ms inside a frame throws away the partial frame and whatever
// is waiting behind it; 49 ms does not.
TEST_F(ModemLinkTest, GapOf50MsDiscardsThePartialFrameAndWhatFollows)
{
    for (uint32_t gap : {49u, 50u}) {
        SCOPED_TRACE(gap);
        link.Flush();
        Deliver({0x81, 0x01});
        EXPECT_EQ(link.Poll(buffer, length), LNKRET_PENDING);
        EXPECT_EQ(link.Poll(buffer, length), LNKRET_PENDING);
        clock.Advance(gap);
        // The rest of the frame, then a whole second frame.
        Deliver({0x10, 0x6F, 0x81, 0x01, 0x20, 0x5F});

        if (gap < ModemLink::kInterByteGapMs) {
            ASSERT_EQ(link.ReceiveFrame(buffer, length, 100), LNKRET_RECEIVED);
            EXPECT_EQ(Stored(), (Bytes{0x81, 0x10}));
            ASSERT_EQ(link.ReceiveFrame(buffer, length, 100), LNKRET_RECEIVED);
            EXPECT_EQ(Stored(), (Bytes{0x81, 0x20}));
        } else {
            EXPECT_EQ(link.ReceiveFrame(buffer, length, 100), LNKRET_TIMEOUT);
            EXPECT_EQ(Waiting(), 0u);
            Deliver({0x81, 0x01, 0x30, 0x4F});
            ASSERT_EQ(link.ReceiveFrame(buffer, length, 100), LNKRET_RECEIVED);
            EXPECT_EQ(Stored(), (Bytes{0x81, 0x30}));
        }
    }
}

// Before every frame it sends, the link thread flushes: an answer that came
// too late, or half of one, must not be taken for the answer to the next frame.
TEST_F(ModemLinkTest, FlushDiscardsWaitingBytesAndAnUnfinishedFrame)
{
    Deliver({0x8D, 0x07, 0x10});
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(link.Poll(buffer, length), LNKRET_PENDING);
    Deliver({0x01, 0x02, 0x03});
    link.Flush();
    EXPECT_EQ(Waiting(), 0u);

    Deliver({0x81, 0x01, 0x10, 0x6F});
    ASSERT_EQ(link.ReceiveFrame(buffer, length, 100), LNKRET_RECEIVED);
    EXPECT_EQ(Stored(), (Bytes{0x81, 0x10}));
}

TEST_F(ModemLinkTest, HungUpLineIsAReadErrorAtOnce)
{
    pty.CloseMaster();
    const uint32_t start = clock.GetTickCount();
    EXPECT_EQ(link.ReceiveFrame(buffer, length, 1000), LNKRET_READ_ERROR);
    EXPECT_LT(clock.GetTickCount() - start, 1000u);
}

// Random frames of every command, length and content, with random garbage
// between them and some spoiled checksums: the receiver never writes outside
// its buffer (the sanitizers watch), never reports an impossible length, and
// after a flush reads the next frame exactly.
TEST_F(ModemLinkTest, RandomFramesAndGarbageNeverUpsetTheReceiver)
{
    std::mt19937 random(20240611u);
    auto byte = [&random] { return static_cast<uint8_t>(random() & 0xFF); };

    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);

        Bytes garbage(random() % 40);
        for (uint8_t& b : garbage)
            b = byte();
        Deliver(garbage);
        for (std::size_t i = 0; i < garbage.size(); ++i) {
            length = -1;
            const int16_t result = link.Poll(buffer, length);
            ASSERT_TRUE(result == LNKRET_PENDING || result == LNKRET_RECEIVED || result == LNKRET_CHECKSUM_ERROR)
                << result;
            if (result == LNKRET_RECEIVED) {
                ASSERT_GE(length, 0);
                ASSERT_LE(length, 255);
            }
        }
        link.Flush();

        const uint8_t command = byte();
        Bytes body((command & 0x80) != 0 ? random() % 256 : 2);
        for (uint8_t& b : body)
            b = byte();
        const bool spoil = random() % 8 == 0;
        const Bytes wire = spoil ? BadChecksumFrame(command, body) : Frame(command, body);
        Deliver(wire);

        int16_t result = LNKRET_PENDING;
        std::size_t polls = 0;
        while (result == LNKRET_PENDING && polls < wire.size()) {
            result = link.Poll(buffer, length);
            ++polls;
        }
        ASSERT_EQ(polls, wire.size()) << "the frame ended early";
        if (spoil) {
            EXPECT_EQ(result, LNKRET_CHECKSUM_ERROR);
        } else {
            ASSERT_EQ(result, LNKRET_RECEIVED);
            ASSERT_EQ(length, static_cast<int16_t>(body.size()));
            EXPECT_EQ(buffer[0], command);
            EXPECT_EQ(Bytes(buffer + 1, buffer + 1 + length), body);
        }
    }
}
