#include "relyn.h"

#include "nethelpers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

[[noreturn]] void ThrowSocketError(int errorNumber) {
    throw ESocketError::FromErrno(errorNumber);
}

sockaddr_in AddressOf(const QString &address, std::uint16_t port) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    // Dotted text only: a name lookup here could send queries onto the network.
    if (inet_pton(AF_INET, address.toLatin1().constData(), &target.sin_addr) != 1)
        ThrowSocketError(EDESTADDRREQ);
    return target;
}

void SetBroadcastPermission(int socket, bool on) {
    const int value = on ? 1 : 0;
    if (setsockopt(socket, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0)
        ThrowSocketError(errno);
}

} // namespace

TRelyn::TRelyn(QString broadcastAddress)
    : BroadcastAddress(std::move(broadcastAddress)) {
}

TRelyn::~TRelyn() {
    if (Socket >= 0)
        ::close(Socket);
}

int TRelyn::Handle() {
    if (Socket < 0) {
        Socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (Socket < 0)
            ThrowSocketError(errno);
    }
    return Socket;
}

void TRelyn::SendTo(const QString &address, std::uint16_t port, const QByteArray &data) {
    const sockaddr_in target = AddressOf(address, port);
    const ssize_t sent = ::sendto(Handle(), data.constData(), static_cast<size_t>(data.size()), 0,
                                  reinterpret_cast<const sockaddr *>(&target), sizeof target);
    if (sent < 0)
        ThrowSocketError(errno);
}

void TRelyn::Broadcast(const QByteArray &data, std::uint16_t port) {
    const int socket = Handle();
    SetBroadcastPermission(socket, true);
    try {
        SendTo(BroadcastAddress, port, data);
    } catch (...) {
        SetBroadcastPermission(socket, false);
        throw;
    }
    SetBroadcastPermission(socket, false);
}

void TRelyn::Send(const QByteArray &data) {
    SendTo(RemoteHost, RemotePort, data);
}

TRelynDatagram TRelyn::Receive(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const int socket = Handle();
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd entry{socket, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(std::max<long long>(left, 0)));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            ThrowSocketError(errno);
        }
        if (ready == 0)
            return {};
        break;
    }

    // With MSG_TRUNC the call returns the datagram's real length, so an over-long one is told
    // apart from one that just fills the buffer.
    QByteArray buffer(RelynReceiveBufferSize, Qt::Uninitialized);
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    ssize_t length;
    do {
        length = ::recvfrom(socket, buffer.data(), static_cast<size_t>(buffer.size()), MSG_TRUNC,
                            reinterpret_cast<sockaddr *>(&sender), &senderLength);
    } while (length < 0 && errno == EINTR);
    if (length < 0)
        ThrowSocketError(errno);
    if (length > RelynReceiveBufferSize)
        ThrowSocketError(EMSGSIZE);
    buffer.truncate(length);

    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sender.sin_addr, text, sizeof text);
    return {buffer, QString::fromLatin1(text), ntohs(sender.sin_port), true};
}

std::uint16_t TRelyn::LocalPort() const {
    if (Socket < 0)
        return 0;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(Socket, reinterpret_cast<sockaddr *>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}
