#include "tel/SerialPort.h"

#include "core/PassPacer.h"
#include "core/TickSource.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 255;

// How long WriteByte waits for the driver to take a byte before it reports a
// failure: long enough for a briefly full output buffer to drain, short
// enough that a line stalled by flow control cannot hang the protocol thread.
constexpr std::chrono::milliseconds kWriteWait{2000};

constexpr int kOpenFlags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;

bool ValidPortNumber(int number)
{
    return number >= kFirstPort && number <= kLastPort;
}

// The termios constant for a baud rate; false for rates the driver interface
// has no constant for (and for 0, which would hang the line up).
bool SpeedFor(int32_t baud, speed_t& speed)
{
    struct Rate {
        int32_t baud;
        speed_t speed;
    };
    static constexpr Rate rates[] = {
        {50, B50},           {75, B75},       {110, B110},     {134, B134},     {150, B150},       {200, B200},
        {300, B300},         {600, B600},     {1200, B1200},   {1800, B1800},   {2400, B2400},     {4800, B4800},
        {9600, B9600},       {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
        {460800, B460800},
#endif
#ifdef B500000
        {500000, B500000},
#endif
#ifdef B576000
        {576000, B576000},
#endif
#ifdef B921600
        {921600, B921600},
#endif
#ifdef B1000000
        {1000000, B1000000},
#endif
#ifdef B1152000
        {1152000, B1152000},
#endif
#ifdef B1500000
        {1500000, B1500000},
#endif
#ifdef B2000000
        {2000000, B2000000},
#endif
#ifdef B2500000
        {2500000, B2500000},
#endif
#ifdef B3000000
        {3000000, B3000000},
#endif
#ifdef B3500000
        {3500000, B3500000},
#endif
#ifdef B4000000
        {4000000, B4000000},
#endif
    };
    for (const Rate& r : rates) {
        if (r.baud == baud) {
            speed = r.speed;
            return true;
        }
    }
    return false;
}

// Binary frames travel on the line: no echo, no CR/NL translation, no line
// editing, no signal characters, no XON/XOFF. Hardware flow control (CRTSCTS)
// is left as the device has it.
void MakeRaw(termios& t)
{
    cfmakeraw(&t);  // also sets 8 data bits and no parity
    t.c_iflag &= ~static_cast<tcflag_t>(IXOFF | IXANY | INPCK);
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    t.c_cflag |= CLOCAL | CREAD;
}

// tcsetattr succeeds when any part of the change was applied, and some UART
// drivers quietly keep the old speed when they cannot do the new one. Reading
// the settings back catches a line that would otherwise talk at the wrong
// speed or frame format while Open reported success.
bool LineSettingsTaken(int fd, const termios& wanted)
{
    termios got{};
    if (tcgetattr(fd, &got) != 0)
        return false;
    constexpr tcflag_t frame = CSIZE | PARENB | CSTOPB;
    return cfgetospeed(&got) == cfgetospeed(&wanted) && cfgetispeed(&got) == cfgetispeed(&wanted) &&
           (got.c_cflag & frame) == (wanted.c_cflag & frame);
}

}  // namespace

std::string ComDevicePath(int portNumber)
{
    if (!ValidPortNumber(portNumber))
        return {};

    // Read at every call so that a changed link folder applies at once.
    const char* dir = std::getenv("ORVA_COM_DIR");
    if (dir != nullptr && dir[0] != '\0') {
        std::string path(dir);
        if (path.back() != '/')
            path += '/';
        return path + "COM" + std::to_string(portNumber);
    }

    struct Family {
        int first;
        const char* prefix;
    };
    static constexpr Family families[] = {
        {1, "/dev/ttyS"},
        {33, "/dev/ttyUSB"},
        {65, "/dev/ttyACM"},
    };
    constexpr int familySize = 32;
    for (const Family& f : families) {
        if (portNumber >= f.first && portNumber < f.first + familySize)
            return f.prefix + std::to_string(portNumber - f.first);
    }
    return {};
}

SerialPort::~SerialPort()
{
    Close();
}

int SerialPort::Open()
{
    // Reopening applies a changed port number or baud rate; the old device is
    // released first so that reopening the same port is not refused as "in use".
    Close();

    if (!ValidPortNumber(portNumber))
        return COMRET_BAD_PORT;

    const std::string path = ComDevicePath(portNumber);
    if (path.empty())
        return COMRET_OPEN_FAILED;

    int dev = open(path.c_str(), kOpenFlags);
    if (dev < 0)
        return COMRET_OPEN_FAILED;

    // The flock is what keeps a second user out, including another SerialPort
    // object in this process (the lock belongs to the open file description).
    // TIOCEXCL also keeps out programs that do not lock, but root ignores it.
    if (flock(dev, LOCK_EX | LOCK_NB) != 0) {
        close(dev);
        return COMRET_OPEN_FAILED;
    }
    (void)ioctl(dev, TIOCEXCL);

    // From here on every failure closes the device again: a half-configured
    // port must not stay locked, or the next Open would find it "in use".
    auto fail = [dev](int code) {
        (void)ioctl(dev, TIOCNXCL);
        close(dev);
        return code;
    };

    termios t{};
    if (tcgetattr(dev, &t) != 0)
        return fail(COMRET_STATE_FAILED);

    speed_t speed{};
    if (!SpeedFor(baudRate, speed))
        return fail(COMRET_STATE_FAILED);

    MakeRaw(t);
    if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0)
        return fail(COMRET_STATE_FAILED);
    if (tcsetattr(dev, TCSANOW, &t) != 0 || !LineSettingsTaken(dev, t))
        return fail(COMRET_STATE_FAILED);

    // Reads return at once with whatever is waiting; the protocols time out
    // on their own.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(dev, TCSANOW, &t) != 0)
        return fail(COMRET_TIMEOUTS_FAILED);

    fd = dev;
    return COMRET_OK;
}

void SerialPort::Close()
{
    // What was read from the line belongs to this opening only.
    readPos = 0;
    readEnd = 0;
    if (fd < 0)
        return;
    // The exclusive flag can outlive this descriptor on some ttys; clear it so
    // the next user is not refused. The flock goes with the close.
    (void)ioctl(fd, TIOCNXCL);
    close(fd);
    fd = -1;
}

int SerialPort::WriteByte(uint8_t b)
{
    return Write(&b, 1);
}

int SerialPort::Write(const uint8_t* bytes, std::size_t count)
{
    if (fd < 0)
        return 1;

    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline = Clock::now() + kWriteWait;
    std::size_t written = 0;
    while (written < count) {
        const ssize_t n = write(fd, bytes + written, count - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            deadline = Clock::now() + kWriteWait;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return 1;

        // The output buffer is full: wait until the driver takes more, but
        // not past the deadline.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return 1;
        pollfd p{fd, POLLOUT, 0};
        const int r = poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno != EINTR)
            return 1;
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            return 1;
    }
    return 0;
}

int SerialPort::ReadByte(uint8_t& b)
{
    if (readPos < readEnd) {
        b = readBuffer[readPos++];
        return 1;
    }
    if (fd < 0)
        return 2;

    const ssize_t n = read(fd, readBuffer, sizeof readBuffer);
    if (n > 0) {
        // Bytes from the line are activity: the reader's next steps follow
        // at once, not after an idle wait.
        ThisThreadPacer().NoteActivity();
        readPos = 1;
        readEnd = static_cast<std::size_t>(n);
        b = readBuffer[0];
        return 1;
    }
    if (n < 0 && errno == EINTR)
        return 0;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        return 2;  // EIO after a hang-up, and any other read error

    // Nothing was read. With VMIN=VTIME=0 that is also what a hung-up tty
    // (e.g. an unplugged USB adapter) answers, forever; poll tells the two apart
    // so the protocol sees a dead line instead of a quiet one.
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        return 2;
    return 0;
}

void SerialPort::WaitReadable(uint32_t ms)
{
    if (HasBufferedInput())
        return;
    pollfd p{fd, POLLIN, 0};
    TickSource().WaitReady(&p, fd >= 0 ? 1u : 0u, ms);
}

int ProbePort(int portNumber)
{
    const std::string path = ComDevicePath(portNumber);
    if (path.empty())
        return 0;

    const int dev = open(path.c_str(), kOpenFlags);
    if (dev < 0) {
        // Denied or held exclusively: the port is there, someone has it.
        // Everything else (no node, no hardware behind the node) is no port.
        return (errno == EBUSY || errno == EACCES || errno == EPERM) ? 1 : 0;
    }

    int result = 2;
    termios t{};
    if (tcgetattr(dev, &t) != 0)
        result = 0;  // not a serial line
    else if (flock(dev, LOCK_EX | LOCK_NB) != 0)
        result = 1;  // locked by a SerialPort, here or in another process
    close(dev);      // also drops the probe's own lock
    return result;
}

std::vector<ComPortEntry> ListComPorts()
{
    return ListComPorts(ProbePort);
}

std::vector<ComPortEntry> ListComPorts(const std::function<int(int)>& probe)
{
    if (!probe)
        return ListComPorts();
    std::vector<ComPortEntry> ports;
    for (int number = kFirstPort; number <= kLastPort; ++number) {
        const int state = probe(number);
        if (state == 1 || state == 2)
            ports.push_back({number, "COM" + std::to_string(number)});
    }
    return ports;
}
