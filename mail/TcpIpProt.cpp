#include "mail/TcpIpProt.h"

#include "core/PassPacer.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <unistd.h>

CTcpIpProt::~CTcpIpProt()
{
    Close();
}

int CTcpIpProt::InitSockets()
{
    return 1;
}

int CTcpIpProt::Connect(const std::string& host, uint16_t port)
{
    Close();

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    // No AI_ADDRCONFIG: on a machine with only the loopback interface it
    // would hide 127.0.0.1 itself.
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        lastError = (rc == EAI_SYSTEM && errno != 0) ? errno : rc;
        return 0;
    }
    for (const addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        Address a;
        std::memcpy(&a.addr, ai->ai_addr, ai->ai_addrlen);
        a.length = ai->ai_addrlen;
        a.family = ai->ai_family;
        addresses.push_back(a);
    }
    freeaddrinfo(found);

    if (!ConnectNext()) {
        addresses.clear();
        return 0;
    }
    return 1;
}

bool CTcpIpProt::ConnectNext()
{
    while (nextAddress < addresses.size()) {
        const Address& a = addresses[nextAddress++];
        const int s = ::socket(a.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
        if (s < 0) {
            lastError = errno;
            continue;
        }
        if (::connect(s, reinterpret_cast<const sockaddr*>(&a.addr), a.length) == 0) {
            fd = s;
            connected = true;
            return true;
        }
        const int err = errno;
        if (err == EINPROGRESS || err == EINTR) {
            // Completes in the background; the server's greeting (or its
            // absence) decides.
            fd = s;
            connected = false;
            return true;
        }
        lastError = err;
        ::close(s);
    }
    return false;
}

bool CTcpIpProt::CheckConnected()
{
    if (connected)
        return true;
    if (fd < 0 || lost)
        return false;
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, 0);
    if (ready <= 0)
        return false;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        err = errno;
    if (err == 0) {
        connected = true;
        return true;
    }
    lastError = err;
    ::close(fd);
    fd = -1;
    // A name with several addresses (IPv6 and IPv4 for "localhost") may have
    // the server behind a later one.
    if (!ConnectNext()) {
        lost = true;
        return false;
    }
    return connected;
}

void CTcpIpProt::CloseSocket()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

void CTcpIpProt::Close()
{
    CloseSocket();
    connected = false;
    lost = false;
    addresses.clear();
    nextAddress = 0;
    output.clear();
    outputSent = 0;
}

int16_t CTcpIpProt::Send(const char* bytes, std::size_t length)
{
    if (bytes == nullptr || length < 1)
        return TCPIP_SDRET_FAILED;
    if (fd < 0 || lost)
        return TCPIP_SDRET_FAILED;
    output.append(bytes, length);
    return Flush();
}

int16_t CTcpIpProt::Flush()
{
    if (outputSent >= output.size()) {
        output.clear();
        outputSent = 0;
        return TCPIP_SDRET_SENT;
    }
    if (fd < 0 || lost) {
        output.clear();
        outputSent = 0;
        return TCPIP_SDRET_FAILED;
    }
    if (!CheckConnected())
        return lost ? TCPIP_SDRET_FAILED : TCPIP_SDRET_SENT;

    while (outputSent < output.size()) {
        const ssize_t n =
            ::send(fd, output.data() + outputSent, output.size() - outputSent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            outputSent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return TCPIP_SDRET_SENT;  // the rest goes on the next pass
        // The connection is gone; the reply wait of the step will say so.
        lastError = n < 0 ? errno : EPIPE;
        output.clear();
        outputSent = 0;
        return TCPIP_SDRET_FAILED;
    }
    output.clear();
    outputSent = 0;
    return TCPIP_SDRET_SENT;
}

int CTcpIpProt::WatchedFd(short& events) const
{
    if (fd < 0 || lost)
        return -1;
    if (!connected)
        events = POLLOUT;
    else
        events = static_cast<short>(POLLIN | (PendingOutput() > 0 ? POLLOUT : 0));
    return fd;
}

int16_t CTcpIpProt::Receive(char* buffer, int16_t& length, int16_t maximum)
{
    length = 0;
    if (buffer == nullptr || maximum < 1 || fd < 0 || lost)
        return TCPIP_RCRET_NONE;
    if (!CheckConnected())
        return TCPIP_RCRET_NONE;
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, static_cast<std::size_t>(maximum), MSG_DONTWAIT);
        if (n > 0) {
            // A reply is activity: the handler's next steps follow at once.
            ThisThreadPacer().NoteActivity();
            length = static_cast<int16_t>(n);
            return TCPIP_RCRET_DATA;
        }
        if (n == 0) {
            lost = true;  // the server closed the connection
            return TCPIP_RCRET_NONE;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            lastError = errno;
            lost = true;
        }
        return TCPIP_RCRET_NONE;
    }
}
