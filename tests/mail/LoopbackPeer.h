#pragma once
// The far end of a TCP connection on 127.0.0.1, driven by the test itself:
// listen on a free port, accept, read and write raw bytes.

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

class LoopbackPeer {
public:
    LoopbackPeer()
    {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (listener >= 0 && bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            listen(listener, 4) == 0 && getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port = ntohs(addr.sin_port);
    }
    ~LoopbackPeer()
    {
        CloseConnection();
        if (listener >= 0)
            close(listener);
    }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    uint16_t Port() const { return port; }

    bool Accept(int timeoutMs = 10000)
    {
        pollfd p{listener, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return false;
        conn = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        return conn >= 0;
    }

    void Write(const std::string& bytes) { send(conn, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

    // Reads until `count` bytes arrived or nothing came for `quietMs`.
    std::string Read(std::size_t count, int quietMs = 2000)
    {
        std::string text;
        while (text.size() < count) {
            pollfd p{conn, POLLIN, 0};
            if (poll(&p, 1, quietMs) <= 0)
                break;
            char buf[65536];
            const ssize_t n = recv(conn, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            text.append(buf, static_cast<std::size_t>(n));
        }
        return text;
    }

    void CloseConnection()
    {
        if (conn >= 0)
            close(conn);
        conn = -1;
    }

private:
    int listener = -1;
    int conn = -1;
    uint16_t port = 0;
};

// Repeats the step (really, not on the fake clock) until it reports done.
template <typename Step>
bool Poll(Step step, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!step()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}
