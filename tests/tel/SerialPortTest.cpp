// Serial port wrapper against pseudo-terminals: a scratch folder set as
// ORVA_COM_DIR holds COM<N> entries (links to pty slaves, files, fifos, ...).

#include "tel/SerialPort.h"

#include "support/Pty.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Reports whether anything inside a folder was opened since it was created.
class OpenWatch {
public:
    explicit OpenWatch(const fs::path& dir)
    {
        fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        EXPECT_GE(fd, 0);
        EXPECT_GE(inotify_add_watch(fd, dir.c_str(), IN_OPEN), 0);
    }
    ~OpenWatch() { close(fd); }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    bool AnythingOpened()
    {
        alignas(inotify_event) char buf[4096];
        return read(fd, buf, sizeof buf) > 0;
    }

private:
    int fd = -1;
};

// Reads from the port until `count` bytes came or `limit` passed.
std::vector<uint8_t> ReadFromPort(SerialPort& port, std::size_t count, std::chrono::milliseconds limit = 5s)
{
    const auto deadline = Clock::now() + limit;
    std::vector<uint8_t> got;
    while (got.size() < count && Clock::now() < deadline) {
        uint8_t b = 0;
        const int r = port.ReadByte(b);
        if (r == 1)
            got.push_back(b);
        else if (r == 0)
            std::this_thread::sleep_for(1ms);
        else
            break;
    }
    return got;
}

std::vector<uint8_t> EveryByteValue()
{
    std::vector<uint8_t> all;
    for (int v = 0; v < 256; ++v)
        all.push_back(static_cast<uint8_t>(v));
    return all;
}

class SerialPortTest : public ::testing::Test {
protected:
    fs::path Entry(int number) const { return dir / ("COM" + std::to_string(number)); }

    // A fresh pty linked as COM<number>; the fixture keeps it alive.
    Pty& LinkPty(int number)
    {
        ptys.push_back(std::make_unique<Pty>());
        fs::create_symlink(ptys.back()->SlavePath(), Entry(number));
        return *ptys.back();
    }

    // Sends one byte each way between the port and the far end.
    static void ExpectLineWorks(SerialPort& port, Pty& pty)
    {
        EXPECT_EQ(port.WriteByte(0x5A), 0);
        EXPECT_EQ(pty.Receive(1), std::vector<uint8_t>{0x5A});
        pty.Send(std::vector<uint8_t>{0xA5});
        EXPECT_EQ(ReadFromPort(port, 1), std::vector<uint8_t>{0xA5});
    }

    TempDir scratch;
    const fs::path& dir = scratch.Path();
    ScopedEnv env{"ORVA_COM_DIR", dir.c_str()};
    std::vector<std::unique_ptr<Pty>> ptys;
};

}  // namespace

// --- Device paths and the port list ----------------------------------------

TEST(ComDevicePathTest, MapsNumbersToLinuxDevicesWithoutLinkFolder)
{
    ScopedEnv env("ORVA_COM_DIR", nullptr);
    const struct {
        int number;
        const char* path;
    } cases[] = {
        {1, "/dev/ttyS0"},
        {32, "/dev/ttyS31"},
        {33, "/dev/ttyUSB0"},
        {64, "/dev/ttyUSB31"},
        {65, "/dev/ttyACM0"},
        {96, "/dev/ttyACM31"},
        {97, ""},
        {255, ""},
        {0, ""},
        {-1, ""},
        {256, ""},
        {32767, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComDevicePath(c.number), c.path) << "port " << c.number;
}

TEST(ComDevicePathTest, UsesLinkFolderForEveryValidNumber)
{
    const struct {
        const char* folder;
        int number;
        const char* path;
    } cases[] = {
        {"/run/orva", 1, "/run/orva/COM1"},
        {"/run/orva", 97, "/run/orva/COM97"},
        {"/run/orva", 255, "/run/orva/COM255"},
        {"/run/orva/", 12, "/run/orva/COM12"},
        {"/run/orva", 0, ""},
        {"/run/orva", 256, ""},
        {"/run/orva", -5, ""},
        {"", 1, "/dev/ttyS0"},  // set but empty counts as not set
    };
    for (const auto& c : cases) {
        ScopedEnv env("ORVA_COM_DIR", c.folder);
        EXPECT_EQ(ComDevicePath(c.number), c.path) << c.folder << " port " << c.number;
    }
}

TEST(ListComPortsTest, ListsPortsThatExistWhetherFreeOrInUse)
{
    std::vector<int> asked;
    const auto probe = [&asked](int number) {
        asked.push_back(number);
        switch (number) {
        case 3:
            return 2;  // free
        case 7:
            return 1;  // in use
        case 40:
            return 2;
        case 255:
            return 1;
        case 9:
            return 3;  // not a probe answer: ignored
        case 10:
            return -1;
        default:
            return 0;  // absent
        }
    };

    const std::vector<ComPortEntry> expected = {{3, "COM3"}, {7, "COM7"}, {40, "COM40"}, {255, "COM255"}};
    EXPECT_EQ(ListComPorts(probe), expected);

    std::vector<int> all;
    for (int n = 1; n <= 255; ++n)
        all.push_back(n);
    EXPECT_EQ(asked, all);
}

TEST_F(SerialPortTest, ListComPortsProbesTheDevices)
{
    LinkPty(5);
    Pty& held = LinkPty(7);
    std::ofstream(Entry(9)) << "not a tty";
    SerialPort holder;
    holder.SetPortNumber(7);
    ASSERT_EQ(holder.Open(), COMRET_OK) << held.SlavePath();

    const std::vector<ComPortEntry> expected = {{5, "COM5"}, {7, "COM7"}};
    EXPECT_EQ(ListComPorts(), expected);
    EXPECT_EQ(ListComPorts(std::function<int(int)>{}), expected);
}

// --- Opening and configuring ------------------------------------------------

TEST_F(SerialPortTest, StartsClosedWithDefaultsAndRefusesIo)
{
    SerialPort port;
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.GetPortNumber(), 0);
    EXPECT_EQ(port.GetBaudRate(), 9600);
    uint8_t b = 0x77;
    EXPECT_EQ(port.ReadByte(b), 2);
    EXPECT_EQ(b, 0x77);
    EXPECT_EQ(port.WriteByte(0x01), 1);
    port.Close();  // harmless when not open
    port.Close();
    EXPECT_EQ(port.Open(), COMRET_BAD_PORT);  // port 0

    Pty& pty = LinkPty(1);
    port.SetPortNumber(1);
    ASSERT_EQ(port.Open(), COMRET_OK);
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.ReadByte(b), 2);
    EXPECT_EQ(port.WriteByte(0x01), 1);
    EXPECT_TRUE(pty.Receive(1, 100ms).empty());
}

TEST_F(SerialPortTest, CarriesEveryByteValueUnchangedBothWays)
{
    Pty& pty = LinkPty(1);
    SerialPort port;
    port.SetPortNumber(1);
    ASSERT_EQ(port.Open(), COMRET_OK);
    EXPECT_TRUE(port.IsOpen());

    // Includes CR, LF, XON, XOFF, the signal and line-editing characters.
    const std::vector<uint8_t> all = EveryByteValue();
    for (uint8_t b : all)
        ASSERT_EQ(port.WriteByte(b), 0);
    EXPECT_EQ(pty.Receive(all.size()), all);

    pty.Send(all);
    EXPECT_EQ(ReadFromPort(port, all.size()), all);
    EXPECT_TRUE(pty.Receive(1, 200ms).empty()) << "the port echoed input back";
}

TEST_F(SerialPortTest, SetsSpeedAndEightNoneOne)
{
    Pty& pty = LinkPty(1);
    const struct {
        int32_t baud;
        speed_t speed;
    } cases[] = {
        {1200, B1200},   {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},
        {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
    };
    SerialPort port;
    port.SetPortNumber(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baud);
        port.SetBaudRate(c.baud);
        ASSERT_EQ(port.Open(), COMRET_OK);
        const termios t = pty.SlaveSettings();
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 0);
    }
}

TEST_F(SerialPortTest, RefusesUnsupportedBaudRateAndReleasesThePort)
{
    LinkPty(1);
    for (int32_t baud : {0, -9600, 12345, 100000, 2147483647}) {
        SCOPED_TRACE(baud);
        SerialPort port;
        port.SetPortNumber(1);
        port.SetBaudRate(baud);
        EXPECT_EQ(port.Open(), COMRET_STATE_FAILED);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(ProbePort(1), 2) << "the failed Open left the port locked";
    }
}

TEST_F(SerialPortTest, LeavesHardwareFlowControlAsTheDeviceHadIt)
{
    Pty& pty = LinkPty(1);
    for (bool rtscts : {true, false}) {
        SCOPED_TRACE(rtscts);
        termios t = pty.SlaveSettings();
        if (rtscts)
            t.c_cflag |= CRTSCTS;
        else
            t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
        pty.SetSlaveSettings(t);

        SerialPort port;
        port.SetPortNumber(1);
        ASSERT_EQ(port.Open(), COMRET_OK);
        EXPECT_EQ((pty.SlaveSettings().c_cflag & CRTSCTS) != 0, rtscts);
    }
}

TEST_F(SerialPortTest, PortNumbersAboveNineWorkLikeCom1)
{
    for (int16_t number : {12, 100, 255}) {
        SCOPED_TRACE(number);
        Pty& pty = LinkPty(number);
        SerialPort port;
        port.SetPortNumber(number);
        ASSERT_EQ(port.Open(), COMRET_OK);
        ExpectLineWorks(port, pty);
    }
}

TEST_F(SerialPortTest, BadPortNumbersTouchNoDevice)
{
    // Entries that would be opened if the number were not checked first.
    const int16_t numbers[] = {0, -1, 256, 32767, -32768};
    for (int number : numbers)
        std::ofstream(Entry(number)) << "x";
    std::ofstream(Entry(3)) << "x";

    OpenWatch watch(dir);
    for (int16_t number : numbers) {
        SCOPED_TRACE(number);
        SerialPort port;
        port.SetPortNumber(number);
        EXPECT_EQ(port.Open(), COMRET_BAD_PORT);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(ProbePort(number), 0);
    }
    EXPECT_FALSE(watch.AnythingOpened());

    // The watch does see an attempt on a valid number.
    SerialPort port;
    port.SetPortNumber(3);
    EXPECT_EQ(port.Open(), COMRET_STATE_FAILED);
    EXPECT_TRUE(watch.AnythingOpened());
}

// What ProbePort and Open say about each kind of COM<N> entry. Every Open is
// tried twice: a failed Open must not leave the entry locked.
TEST_F(SerialPortTest, ProbeAndOpenByKindOfEntry)
{
    SerialPort holder;
    const struct {
        const char* kind;
        std::function<void(int)> make;
        int probe;
        int open;
    } cases[] = {
        {"missing", [](int) {}, 0, COMRET_OPEN_FAILED},
        {"dangling link", [&](int n) { fs::create_symlink(dir / "nowhere", Entry(n)); }, 0, COMRET_OPEN_FAILED},
        {"folder", [&](int n) { fs::create_directory(Entry(n)); }, 0, COMRET_OPEN_FAILED},
        {"regular file", [&](int n) { std::ofstream(Entry(n)) << "ATZ\r"; }, 0, COMRET_STATE_FAILED},
        {"fifo", [&](int n) { ASSERT_EQ(mkfifo(Entry(n).c_str(), 0600), 0); }, 0, COMRET_STATE_FAILED},
        {"device that is no tty", [&](int n) { fs::create_symlink("/dev/null", Entry(n)); }, 0, COMRET_STATE_FAILED},
        {"free pty", [&](int n) { LinkPty(n); }, 2, COMRET_OK},
        {"pty held by another port object",
         [&](int n) {
             LinkPty(n);
             holder.SetPortNumber(static_cast<int16_t>(n));
             ASSERT_EQ(holder.Open(), COMRET_OK);
         },
         1, COMRET_OPEN_FAILED},
    };

    int number = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        c.make(number);
        EXPECT_EQ(ProbePort(number), c.probe);
        SerialPort port;
        port.SetPortNumber(static_cast<int16_t>(number));
        for (int attempt = 0; attempt < 2; ++attempt) {
            EXPECT_EQ(port.Open(), c.open);
            EXPECT_EQ(port.IsOpen(), c.open == COMRET_OK);
            port.Close();
        }
        EXPECT_EQ(ProbePort(number), c.probe);
        ++number;
    }
}

TEST_F(SerialPortTest, PortInUseOpensAgainOnceReleased)
{
    Pty& pty = LinkPty(1);
    SerialPort first;
    SerialPort second;
    first.SetPortNumber(1);
    second.SetPortNumber(1);

    ASSERT_EQ(first.Open(), COMRET_OK);
    EXPECT_EQ(second.Open(), COMRET_OPEN_FAILED);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(ProbePort(1), 1);
    ExpectLineWorks(first, pty);  // the refused attempt did not disturb the owner

    first.Close();
    EXPECT_EQ(ProbePort(1), 2);
    ASSERT_EQ(second.Open(), COMRET_OK);
    ExpectLineWorks(second, pty);

    {
        SerialPort scoped;
        scoped.SetPortNumber(2);
        LinkPty(2);
        ASSERT_EQ(scoped.Open(), COMRET_OK);
        EXPECT_EQ(ProbePort(2), 1);
    }
    EXPECT_EQ(ProbePort(2), 2) << "the destructor did not release the port";
}

TEST_F(SerialPortTest, OpenOnAnOpenObjectReopensWithTheNewSettings)
{
    Pty& one = LinkPty(1);
    Pty& two = LinkPty(2);
    SerialPort port;
    port.SetPortNumber(1);
    ASSERT_EQ(port.Open(), COMRET_OK);
    ASSERT_EQ(port.Open(), COMRET_OK);  // same port: not refused as "in use"
    ExpectLineWorks(port, one);

    port.SetPortNumber(2);
    port.SetBaudRate(57600);
    ASSERT_EQ(port.Open(), COMRET_OK);
    EXPECT_EQ(ProbePort(1), 2);
    const termios settings = two.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&settings), B57600);
    ExpectLineWorks(port, two);

    port.SetPortNumber(3);  // nothing there
    EXPECT_EQ(port.Open(), COMRET_OPEN_FAILED);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(ProbePort(2), 2);
}

// --- Reading and writing ----------------------------------------------------

TEST_F(SerialPortTest, ReadOnIdleLineReturnsAtOnce)
{
    LinkPty(1);
    SerialPort port;
    port.SetPortNumber(1);
    ASSERT_EQ(port.Open(), COMRET_OK);

    const auto start = Clock::now();
    for (int i = 0; i < 100; ++i) {
        uint8_t b = 0;
        ASSERT_EQ(port.ReadByte(b), 0);
    }
    // A read time-out of even one tenth of a second would take ten seconds.
    EXPECT_LT(Clock::now() - start, 2s);
}

TEST_F(SerialPortTest, FarEndClosedIsAReadErrorNotAQuietLine)
{
    Pty& pty = LinkPty(1);
    SerialPort port;
    port.SetPortNumber(1);
    ASSERT_EQ(port.Open(), COMRET_OK);
    pty.CloseMaster();

    uint8_t b = 0;
    EXPECT_EQ(port.ReadByte(b), 2);
    EXPECT_EQ(port.ReadByte(b), 2);
    EXPECT_EQ(port.WriteByte(0x01), 1);
}

// A serial adapter that disappears (USB unplugged) leaves a hung-up tty whose
// reads return nothing rather than an error.
TEST_F(SerialPortTest, HungUpLineIsAReadError)
{
    Pty& pty = LinkPty(1);
    SerialPort port;
    port.SetPortNumber(1);
    ASSERT_EQ(port.Open(), COMRET_OK);

    const int other = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (other < 0)
        GTEST_SKIP() << "cannot open the slave a second time (not root?)";
    const int hung = ioctl(other, TIOCVHANGUP);
    close(other);
    if (hung != 0)
        GTEST_SKIP() << "hanging a tty up needs CAP_SYS_ADMIN";

    uint8_t b = 0;
    EXPECT_EQ(port.ReadByte(b), 2);
    EXPECT_EQ(port.WriteByte(0x01), 1);
}

TEST_F(SerialPortTest, WriteOnStalledLineGivesUpAndRecovers)
{
    Pty& pty = LinkPty(1);
    SerialPort port;
    port.SetPortNumber(1);
    ASSERT_EQ(port.Open(), COMRET_OK);

    // Nobody reads the far end, so the buffers fill up and stay full.
    constexpr int kMaxBytes = 4 << 20;
    int written = 0;
    auto failedCallTook = Clock::duration::zero();
    while (written < kMaxBytes) {
        const auto start = Clock::now();
        if (port.WriteByte(0x55) != 0) {
            failedCallTook = Clock::now() - start;
            break;
        }
        ++written;
    }
    ASSERT_LT(written, kMaxBytes) << "the line never filled up";
    EXPECT_LT(failedCallTook, 30s);

    // Once the far end reads again the line carries bytes again.
    while (!pty.Receive(4096, 50ms).empty()) {
    }
    EXPECT_EQ(port.WriteByte(0xAA), 0);
    EXPECT_EQ(pty.Receive(1), std::vector<uint8_t>{0xAA});
}
