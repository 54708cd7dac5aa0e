#pragma once
// Pseudo-terminal pair for serial-line tests: the code under test opens the
// slave like a serial device, the test plays the far end on the master.
// Header-only; failures are reported through gtest.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

class Pty {
public:
    Pty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master < 0) {
            ADD_FAILURE() << "posix_openpt: " << errno;
            return;
        }
        char name[128] = {};
        if (grantpt(master) != 0 || unlockpt(master) != 0 ||
            ptsname_r(master, name, sizeof name) != 0) {
            ADD_FAILURE() << "cannot prepare the pty slave: " << errno;
            CloseMaster();
            return;
        }
        slavePath = name;
    }
    ~Pty() { CloseMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return slavePath; }
    int Master() const { return master; }

    // Hangs the line up as seen from the slave.
    void CloseMaster()
    {
        if (master >= 0)
            close(master);
        master = -1;
    }

    void Send(const std::vector<uint8_t>& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{master, POLLOUT, 0};
                poll(&p, 1, 100);
            } else {
                ADD_FAILURE() << "write on the pty master: " << errno;
                return;
            }
        }
    }

    // Collects up to `count` bytes from the far end, waiting at most `limit`
    // in total; returns what arrived.
    std::vector<uint8_t> Receive(std::size_t count,
                                 std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + limit;
        std::vector<uint8_t> got;
        uint8_t buf[256];
        while (got.size() < count) {
            const ssize_t n = read(master, buf, std::min(sizeof buf, count - got.size()));
            if (n > 0) {
                got.insert(got.end(), buf, buf + n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;  // EIO: the slave is not open
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{master, POLLIN, 0};
            poll(&p, 1, static_cast<int>(left.count()));
        }
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
    void SetSlaveSettings(const termios& t)
    {
        EXPECT_EQ(tcsetattr(master, TCSANOW, &t), 0) << errno;
    }

private:
    int master = -1;
    std::string slavePath;
};
