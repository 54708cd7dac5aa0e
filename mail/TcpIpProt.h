#pragma once
// The mail handler's line to its SMTP server: one non-blocking TCP stream
// socket. Nothing here waits for the network. A connection may still be under
// way when Connect returns; output that the socket cannot take at once is kept
// and moved on by Flush, which the owner calls on every pass of its loop; a
// receive returns at once when nothing is waiting.

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <vector>

// Results of Send and Flush.
constexpr int16_t TCPIP_SDRET_SENT = 0;    // sent, or kept to be sent
constexpr int16_t TCPIP_SDRET_FAILED = 1;  // refused, not connected or a socket error
// Results of Receive.
constexpr int16_t TCPIP_RCRET_NONE = 2;  // nothing waiting, or an error
constexpr int16_t TCPIP_RCRET_DATA = 3;  // bytes were read

class CTcpIpProt {
public:
    CTcpIpProt() = default;
    ~CTcpIpProt();
    CTcpIpProt(const CTcpIpProt&) = delete;
    CTcpIpProt& operator=(const CTcpIpProt&) = delete;

    // Nothing to initialise for POSIX sockets (a peer that goes away cannot
    // raise SIGPIPE: every send passes MSG_NOSIGNAL). Non-zero on success.
    static int InitSockets();

    // Resolves the host and starts a connection to its first address that
    // accepts one. Non-zero when the connection is made or under way; 0 when
    // the name does not resolve or no address can be tried, with the reason
    // in GetLastError. A connection under way that fails later moves on to
    // the host's next address, if any.
    int Connect(const std::string& host, uint16_t port);
    void Close();

    // Sends all the bytes: what the socket does not take at once is kept and
    // sent by Flush. A length below 1 is refused.
    int16_t Send(const char* bytes, std::size_t length);
    // Moves kept output to the socket without waiting.
    int16_t Flush();
    // One read of at most `maximum` bytes; returns at once.
    int16_t Receive(char* buffer, int16_t& length, int16_t maximum);

    // The error number of the last failure: an errno value, or for a name
    // that did not resolve the resolver's code (negative).
    int GetLastError() const { return lastError; }
    bool IsOpen() const { return fd >= 0; }
    bool IsConnected() const { return connected; }
    // True once the server closed the connection or it broke (nothing more
    // will arrive on it).
    bool IsLost() const { return lost; }
    std::size_t PendingOutput() const { return output.size() - outputSent; }
    // The socket and the events its owner waits for between passes: the
    // connection to complete, kept output to go, a reply to arrive. -1 when
    // there is nothing to wait for on the socket.
    int WatchedFd(short& events) const;

private:
    struct Address {
        sockaddr_storage addr{};
        socklen_t length = 0;
        int family = 0;
    };

    // Tries the candidate addresses from nextAddress on; true when one of
    // them connected or is connecting.
    bool ConnectNext();
    // Completes a connection under way once the socket reports it; false
    // while it is still under way or after it failed.
    bool CheckConnected();
    void CloseSocket();

    int fd = -1;
    bool connected = false;
    bool lost = false;
    int lastError = 0;
    std::vector<Address> addresses;
    std::size_t nextAddress = 0;
    std::string output;
    std::size_t outputSent = 0;
};
