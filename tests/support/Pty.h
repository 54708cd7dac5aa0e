#pragma once
// A pseudo-terminal pair for serial-line tests: the code under test opens the
// slave like a serial device (directly, or through $ORVA_COM_DIR/COM<N> made
// with LinkAs), the test plays the far end on the master.
//
// With Watch::Slave the test also keeps a watching handle on the slave, never
// read, that tells how many bytes wait for the code under test (bytes written
// on the master reach the slave a moment later, not at once). The watching
// handle keeps the slave open, so the master never sees the code under test
// close it; leave it off where that matters.
//
// Header-only; failures are reported through gtest.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

class Pty {
public:
    enum class Watch { None, Slave };

    explicit Pty(Watch watch = Watch::None)
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master < 0) {
            ADD_FAILURE() << "posix_openpt: " << errno;
            return;
        }
        char name[128] = {};
        if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
            ADD_FAILURE() << "cannot prepare the pty slave: " << errno;
            CloseMaster();
            return;
        }
        slavePath = name;
        if (watch == Watch::Slave) {
            watcher = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (watcher < 0)
                ADD_FAILURE() << "cannot open the pty slave: " << errno;
        }
    }
    ~Pty()
    {
        CloseMaster();
        if (watcher >= 0)
            close(watcher);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return slavePath; }
    int Master() const { return master; }

    // Links $dir/COM<port> to this slave (replacing an older link).
    void LinkAs(const std::filesystem::path& dir, int port) const
    {
        const std::filesystem::path link = dir / ("COM" + std::to_string(port));
        std::error_code ignored;
        std::filesystem::remove(link, ignored);
        std::filesystem::create_symlink(slavePath, link);
    }

    // Hangs the line up as seen from the slave.
    void CloseMaster()
    {
        if (master >= 0)
            close(master);
        master = -1;
    }

    // Writes everything on the master.
    void Send(const std::string& bytes) { Send(bytes.data(), bytes.size()); }
    void Send(const std::vector<uint8_t>& bytes) { Send(bytes.data(), bytes.size()); }

    // Bytes that wait on the slave for the code under test; -1 without a
    // watching handle.
    int WaitingForSlave() const
    {
        int n = 0;
        if (watcher < 0 || ioctl(watcher, FIONREAD, &n) != 0)
            return -1;
        return n;
    }

    // Sends and waits until all of it is readable on the slave, so that a
    // test stepping the reader knows exactly which bytes it will get. Needs
    // Watch::Slave.
    void SendAndSettle(const std::string& bytes)
    {
        const int before = std::max(WaitingForSlave(), 0);
        Send(bytes);
        const int want = before + static_cast<int>(bytes.size());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (WaitingForSlave() < want && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        EXPECT_GE(WaitingForSlave(), want) << "bytes did not reach the slave";
    }

    // Collects up to `count` bytes from the far end, waiting at most `limit`
    // in total; returns what arrived. Stops early when the slave is not open.
    std::vector<uint8_t> Receive(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        std::vector<uint8_t> got;
        Collect(count, count, limit,
                [&got](const char* data, std::size_t n) { got.insert(got.end(), data, data + n); });
        return got;
    }
    // Whatever the code under test wrote, as text, once at least `count`
    // bytes came (or the limit passed): a longer write shows in full, so a
    // test comparing the text also sees what should not have been sent.
    std::string ReceiveText(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        std::string got;
        Collect(count, SIZE_MAX, limit, [&got](const char* data, std::size_t n) { got.append(data, n); });
        return got;
    }

    // Line settings of the slave side (on Linux the mode ioctls on a master
    // act on its slave).
    termios SlaveSettings() const
    {
        termios t{};
        EXPECT_EQ(tcgetattr(master, &t), 0) << errno;
        return t;
    }
    void SetSlaveSettings(const termios& t) { EXPECT_EQ(tcsetattr(master, TCSANOW, &t), 0) << errno; }

private:
    void Send(const void* data, std::size_t size)
    {
        const char* bytes = static_cast<const char*>(data);
        std::size_t done = 0;
        while (done < size && master >= 0) {
            const ssize_t n = write(master, bytes + done, size - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{master, POLLOUT, 0};
                poll(&p, 1, 10);
            } else {
                ADD_FAILURE() << "write on the pty master: " << errno;
                return;
            }
        }
    }

    // Reads in short polls, so that a master closed meanwhile by the far
    // end's own thread ends the wait within a moment.
    template <typename Append>
    void Collect(std::size_t count, std::size_t most, std::chrono::milliseconds limit, Append append)
    {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + limit;
        std::size_t got = 0;
        char buf[512];
        while (got < count && master >= 0) {
            const ssize_t n = read(master, buf, std::min(sizeof buf, most - got));
            if (n > 0) {
                append(buf, static_cast<std::size_t>(n));
                got += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;  // EIO: the slave is not open
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{master, POLLIN, 0};
            poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 20)));
        }
    }

    int master = -1;
    int watcher = -1;
    std::string slavePath;
};
