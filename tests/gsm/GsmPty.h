#pragma once
// A pseudo-terminal that stands in for the GSM modem's serial port: the code
// under test opens the slave through $ORVA_COM_DIR/COM<N> (a link made here),
// the test plays the modem on the master. The test also keeps a watching
// handle on the slave, never read, that tells how many bytes wait for the
// code under test (bytes written on the master reach the slave a moment
// later, not at once).

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

class GsmPty {
public:
    GsmPty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master < 0) {
            ADD_FAILURE() << "posix_openpt: " << errno;
            return;
        }
        char name[128] = {};
        if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
            ADD_FAILURE() << "cannot prepare the pty slave: " << errno;
            return;
        }
        slavePath = name;
        watcher = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (watcher < 0)
            ADD_FAILURE() << "cannot open the pty slave: " << errno;
    }
    ~GsmPty()
    {
        CloseMaster();
        if (watcher >= 0)
            close(watcher);
    }
    GsmPty(const GsmPty&) = delete;
    GsmPty& operator=(const GsmPty&) = delete;

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

    // The modem goes away: the slave side sees a hang-up.
    void CloseMaster()
    {
        if (master >= 0)
            close(master);
        master = -1;
    }

    // Writes everything on the master.
    void Send(const std::string& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size() && master >= 0) {
            const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
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

    // Bytes that wait on the slave for the code under test.
    int WaitingForSlave() const
    {
        int n = 0;
        if (watcher < 0 || ioctl(watcher, FIONREAD, &n) != 0)
            return -1;
        return n;
    }

    // Sends and waits until all of it is readable on the slave, so that a
    // test stepping the reader knows exactly which bytes it will get.
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

    // Collects whatever the code under test wrote, waiting up to `limit` for
    // at least `count` bytes.
    std::string Receive(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::string got;
        char buf[512];
        while (got.size() < count && master >= 0) {
            const ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) {
                got.append(buf, static_cast<std::size_t>(n));
                continue;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{master, POLLIN, 0};
            poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 20)));
        }
        return got;
    }

private:
    int master = -1;
    int watcher = -1;
    std::string slavePath;
};
