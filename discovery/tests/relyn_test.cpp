// The endpoint against a peer socket on the loopback interface; nothing leaves the machine.
#include "discovery/relyn.h"
#include "discovery/relynerror.h"
#include "support/nethelpers.h"
#include "tools/testsupport/printers.h"

#include <arpa/inet.h>
#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString Loopback = QStringLiteral("127.0.0.1");

class Peer {
public:
    Peer() {
        Socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(Socket, reinterpret_cast<sockaddr *>(&local), sizeof local), 0);
        socklen_t length = sizeof local;
        getsockname(Socket, reinterpret_cast<sockaddr *>(&local), &length);
        Port = ntohs(local.sin_port);
        timeval wait{2, 0};
        setsockopt(Socket, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~Peer() { ::close(Socket); }

    // Receives one datagram and remembers its sender for the answers.
    QByteArray Take() {
        QByteArray buffer(65536, '\0');
        socklen_t length = sizeof From;
        const ssize_t size = ::recvfrom(Socket, buffer.data(), buffer.size(), 0,
                                        reinterpret_cast<sockaddr *>(&From), &length);
        return size < 0 ? QByteArray() : buffer.left(size);
    }
    void Answer(const QByteArray &data) {
        ::sendto(Socket, data.constData(), data.size(), 0, reinterpret_cast<sockaddr *>(&From),
                 sizeof From);
    }

    int Socket;
    std::uint16_t Port;
    sockaddr_in From{};
};

} // namespace

TEST(Relyn, BroadcastAndSendReachThePeerAndRepliesComeBackToOnePort) {
    Peer peer;
    TRelyn relyn(Loopback);
    EXPECT_EQ(relyn.GetRemotePort(), RelynDevicePort);
    EXPECT_EQ(relyn.LocalPort(), 0);
    relyn.Broadcast(QByteArray::fromHex("000000F6"), peer.Port);
    EXPECT_EQ(peer.Take(), QByteArray::fromHex("000000F6"));
    const std::uint16_t local = relyn.LocalPort();
    EXPECT_NE(local, 0);
    EXPECT_EQ(ntohs(peer.From.sin_port), local);

    peer.Answer("reply");
    const TRelynDatagram reply = relyn.Receive(1000);
    EXPECT_TRUE(reply.Arrived);
    EXPECT_EQ(reply.Data, QByteArray("reply"));
    EXPECT_EQ(reply.SenderAddress, Loopback);
    EXPECT_EQ(reply.SenderPort, peer.Port);

    relyn.SetRemoteHost(Loopback);
    relyn.SetRemotePort(peer.Port);
    relyn.Send(QByteArray::fromHex("000000E4"));
    EXPECT_EQ(peer.Take(), QByteArray::fromHex("000000E4"));
    EXPECT_EQ(ntohs(peer.From.sin_port), local);
}

TEST(Relyn, ReceiveWaitsForTheTimeoutAndReportsNothing) {
    TRelyn relyn(Loopback);
    const auto start = std::chrono::steady_clock::now();
    const TRelynDatagram none = relyn.Receive(200);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(none.Arrived);
    EXPECT_TRUE(none.Data.isEmpty());
    EXPECT_EQ(none.SenderPort, 0);
    EXPECT_GE(waited, std::chrono::milliseconds(200));
    EXPECT_LT(waited, std::chrono::milliseconds(400));
}

TEST(Relyn, DatagramSizesAtTheBufferLimit) {
    Peer peer;
    TRelyn relyn(Loopback);
    relyn.Broadcast("hello", peer.Port);
    peer.Take();

    peer.Answer(QByteArray());
    const TRelynDatagram empty = relyn.Receive(1000);
    EXPECT_TRUE(empty.Arrived);
    EXPECT_TRUE(empty.Data.isEmpty());

    peer.Answer(QByteArray(8192, 'x'));
    EXPECT_EQ(relyn.Receive(1000).Data.size(), 8192);

    peer.Answer(QByteArray(8193, 'x'));
    EXPECT_THAT([&] { relyn.Receive(1000); }, testing::ThrowsMessage<ESocketError>(testing::StrEq(
                                                  "Socket Error # 90\r\nMessage too long")));
    // The over-long datagram is gone; the endpoint goes on with the next one.
    peer.Answer("next");
    EXPECT_EQ(relyn.Receive(1000).Data, QByteArray("next"));
}

TEST(Relyn, AddressesAreDottedTextOnly) {
    TRelyn relyn(Loopback);
    relyn.SetRemoteHost(QStringLiteral("localhost"));
    EXPECT_THROW(relyn.Send("x"), ESocketError);
    TRelyn nowhere(QStringLiteral("256.1.1.1"));
    EXPECT_THAT([&] { nowhere.Broadcast("x", 9); },
                testing::ThrowsMessage<ESocketError>(testing::StartsWith("Socket Error # ")));
}
