#include "discovery/relyn.h"

#include "support/nethelpers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
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
        // Every datagram received tells the interface it came in on.
        const int on = 1;
        if (setsockopt(Socket, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0)
            ThrowSocketError(errno);
        // Queries to addresses not yet resolved stay charged to the socket until resolution
        // gives up, so a sweep needs room for a few seconds of them; the system caps the size.
        const int sendBuffer = 4 << 20;
        (void)setsockopt(Socket, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        // A burst of replies (hundreds of devices, or one answering as hundreds) waits here
        // while the search reads through it, rather than crowding out the others' replies.
        const int receiveBuffer = 4 << 20;
        (void)setsockopt(Socket, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    return Socket;
}

int TRelyn::SendDatagram(const QString &address, std::uint16_t port, const QByteArray &data,
                         int interfaceIndex, int flags) {
    sockaddr_in target = AddressOf(address, port);
    iovec payload{const_cast<char *>(data.constData()), static_cast<size_t>(data.size())};
    msghdr message{};
    message.msg_name = &target;
    message.msg_namelen = sizeof target;
    message.msg_iov = &payload;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (interfaceIndex > 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr *header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = interfaceIndex;
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
    }
    const int socket = Handle();
    ssize_t sent;
    do {
        sent = ::sendmsg(socket, &message, flags);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? errno : 0;
}

void TRelyn::SendTo(const QString &address, std::uint16_t port, const QByteArray &data,
                    int interfaceIndex) {
    if (const int error = SendDatagram(address, port, data, interfaceIndex))
        ThrowSocketError(error);
}

void TRelyn::Broadcast(const QByteArray &data, std::uint16_t port) {
    BroadcastVia(data, port, 0);
}

void TRelyn::BroadcastVia(const QByteArray &data, std::uint16_t port, int interfaceIndex) {
    const int socket = Handle();
    if (BroadcastAddress != RelynLimitedBroadcast)
        interfaceIndex = 0;
    SetBroadcastPermission(socket, true);
    try {
        SendTo(BroadcastAddress, port, data, interfaceIndex);
    } catch (...) {
        SetBroadcastPermission(socket, false);
        throw;
    }
    SetBroadcastPermission(socket, false);
}

void TRelyn::Send(const QByteArray &data) {
    SendTo(RemoteHost, RemotePort, data);
}

void TRelyn::SendVia(const QByteArray &data, int interfaceIndex) {
    SendTo(RemoteHost, RemotePort, data, interfaceIndex);
}

int TRelyn::TrySendTo(const QString &address, std::uint16_t port, const QByteArray &data) {
    // Never blocks: a full send buffer comes back as EAGAIN so the caller keeps reading.
    return SendDatagram(address, port, data, 0, MSG_DONTWAIT);
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
    iovec payload{buffer.data(), static_cast<size_t>(buffer.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    ssize_t length;
    do {
        message = msghdr{};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &payload;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        length = ::recvmsg(socket, &message, MSG_TRUNC);
    } while (length < 0 && errno == EINTR);
    if (length < 0)
        ThrowSocketError(errno);
    if (length > RelynReceiveBufferSize)
        ThrowSocketError(EMSGSIZE);
    buffer.truncate(length);

    int interfaceIndex = 0;
    for (cmsghdr *header = CMSG_FIRSTHDR(&message); header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(header), sizeof info);
            interfaceIndex = info.ipi_ifindex;
        }
    }

    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sender.sin_addr, text, sizeof text);
    return {buffer, QString::fromLatin1(text), ntohs(sender.sin_port), true, interfaceIndex};
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
