// The non-blocking TCP client: connecting without waiting, reading without
// waiting, sending whole whatever the length, and a peer that goes away.

#include "mail/TcpIpProt.h"

#include "LoopbackPeer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Reads what arrives within a few seconds.
std::string ReceiveSome(CTcpIpProt& tcp, std::size_t count)
{
    std::string text;
    char buffer[256];
    Poll([&] {
        int16_t length = 0;
        if (tcp.Receive(buffer, length, sizeof buffer) == TCPIP_RCRET_DATA)
            text.append(buffer, static_cast<std::size_t>(length));
        return text.size() >= count;
    });
    return text;
}

TEST(TcpIpProt, ConnectsAndReceiveReturnsAtOnceWhenNothingWaits)
{
    LoopbackPeer peer;
    CTcpIpProt tcp;
    ASSERT_NE(CTcpIpProt::InitSockets(), 0);
    ASSERT_NE(tcp.Connect("127.0.0.1", peer.Port()), 0);
    ASSERT_TRUE(peer.Accept());

    char buffer[256];
    int16_t length = -1;
    EXPECT_EQ(tcp.Receive(buffer, length, 256), TCPIP_RCRET_NONE);
    EXPECT_EQ(length, 0);
    EXPECT_FALSE(tcp.IsLost());

    peer.Write("220 hello\r\n");
    EXPECT_EQ(ReceiveSome(tcp, 11), "220 hello\r\n");

    // At most the maximum is read at a time.
    peer.Write("0123456789");
    std::string text;
    Poll([&] {
        int16_t n = 0;
        if (tcp.Receive(buffer, n, 4) == TCPIP_RCRET_DATA) {
            EXPECT_LE(n, 4);
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text.size() >= 10;
    });
    EXPECT_EQ(text, "0123456789");
}

TEST(TcpIpProt, ANameWithSeveralAddressesReachesTheOneThatListens)
{
    // "localhost" usually names ::1 before 127.0.0.1; the server listens on
    // the IPv4 address only, so a refused first address must not end the try.
    LoopbackPeer peer;
    CTcpIpProt tcp;
    ASSERT_NE(tcp.Connect("localhost", peer.Port()), 0);
    ASSERT_TRUE(peer.Accept());
    peer.Write("220 hello\r\n");
    EXPECT_EQ(ReceiveSome(tcp, 11), "220 hello\r\n");
    EXPECT_FALSE(tcp.IsLost());
}

TEST(TcpIpProt, ANameThatDoesNotResolveFailsAtOnceWithItsErrorNumber)
{
    CTcpIpProt tcp;
    EXPECT_EQ(tcp.Connect("no-such-host.invalid", 25), 0);
    EXPECT_NE(tcp.GetLastError(), 0);
    EXPECT_FALSE(tcp.IsOpen());
    EXPECT_EQ(tcp.Connect("", 25), 0);
}

TEST(TcpIpProt, ARefusedConnectionEndsAsLost)
{
    uint16_t port = 0;
    {
        LoopbackPeer closed;  // a port that was free a moment ago and has no listener now
        port = closed.Port();
    }
    CTcpIpProt tcp;
    if (tcp.Connect("127.0.0.1", port) == 0) {
        EXPECT_NE(tcp.GetLastError(), 0);  // refused at once
        return;
    }
    char buffer[16];
    int16_t length = 0;
    EXPECT_TRUE(Poll([&] {
        tcp.Receive(buffer, length, sizeof buffer);
        return tcp.IsLost();
    }));
    EXPECT_NE(tcp.GetLastError(), 0);
}

TEST(TcpIpProt, SendsAMessageFarBeyondSixteenBitsWhole)
{
    LoopbackPeer peer;
    CTcpIpProt tcp;
    ASSERT_NE(tcp.Connect("127.0.0.1", peer.Port()), 0);
    ASSERT_TRUE(peer.Accept());

    std::string message;
    for (int i = 0; message.size() < 8'000'000; ++i)
        message += "line " + std::to_string(i) + " of a long alarm mail\r\n";
    EXPECT_EQ(tcp.Send(nullptr, 0), TCPIP_SDRET_FAILED);
    EXPECT_EQ(tcp.Send(message.data(), 0), TCPIP_SDRET_FAILED);
    ASSERT_EQ(tcp.Send(message.data(), message.size()), TCPIP_SDRET_SENT);
    // The peer is not reading yet: the socket cannot have taken it all.
    EXPECT_GT(tcp.PendingOutput(), 0u);

    std::string received;
    ASSERT_TRUE(Poll([&] {
        EXPECT_EQ(tcp.Flush(), TCPIP_SDRET_SENT);
        received += peer.Read(message.size() - received.size(), 1);
        return received.size() >= message.size();
    }));
    EXPECT_EQ(tcp.PendingOutput(), 0u);
    EXPECT_TRUE(received == message);
}

TEST(TcpIpProt, APeerThatClosesIsLostAfterItsLastReply)
{
    LoopbackPeer peer;
    CTcpIpProt tcp;
    ASSERT_NE(tcp.Connect("127.0.0.1", peer.Port()), 0);
    ASSERT_TRUE(peer.Accept());
    peer.Write("221 bye\r\n");
    peer.CloseConnection();

    EXPECT_EQ(ReceiveSome(tcp, 9), "221 bye\r\n");
    char buffer[16];
    int16_t length = 0;
    EXPECT_TRUE(Poll([&] {
        tcp.Receive(buffer, length, sizeof buffer);
        return tcp.IsLost();
    }));
    EXPECT_EQ(tcp.Send("QUIT\r\n", 6), TCPIP_SDRET_FAILED);

    tcp.Close();
    EXPECT_FALSE(tcp.IsOpen());
    EXPECT_FALSE(tcp.IsLost());
    EXPECT_EQ(tcp.Receive(buffer, length, sizeof buffer), TCPIP_RCRET_NONE);
}

TEST(TcpIpProt, SendingIntoAClosedConnectionFailsWithoutSigpipe)
{
    LoopbackPeer peer;
    CTcpIpProt tcp;
    ASSERT_NE(tcp.Connect("127.0.0.1", peer.Port()), 0);
    ASSERT_TRUE(peer.Accept());
    peer.CloseConnection();

    // The first send draws a reset, the next ones meet a broken pipe, which
    // must be an error result and not the signal that ends the station.
    int16_t result = TCPIP_SDRET_SENT;
    for (int i = 0; i < 50 && result == TCPIP_SDRET_SENT; ++i) {
        result = tcp.Send("QUIT\r\n", 6);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(result, TCPIP_SDRET_FAILED);
    EXPECT_NE(tcp.GetLastError(), 0);
}

}  // namespace
