#include "support/icmpsocketecho.h"

#include "support/icmpmessage.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::atomic<quint16> NextSequence{static_cast<quint16>(::getpid() * 7919u)};

// A pending socket error without a queued report: cleared, or poll would report it again at
// once (and a send would fail with it).
void ClearSocketError(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
}

// One message with its extra data.
struct TMessage {
    unsigned char Buffer[1500];
    alignas(cmsghdr) unsigned char Control[512];
    iovec Io{Buffer, sizeof Buffer};
    msghdr Header{};

    TMessage() {
        Header.msg_iov = &Io;
        Header.msg_iovlen = 1;
        Header.msg_control = Control;
        Header.msg_controllen = sizeof Control;
    }
    TMessage(const TMessage &) = delete;
    TMessage &operator=(const TMessage &) = delete;
    ssize_t Receive(int fd, int flags) { return ::recvmsg(fd, &Header, flags); }
    QByteArrayView Bytes(ssize_t size) const {
        return QByteArrayView(reinterpret_cast<const char *>(Buffer), size);
    }
};

} // namespace

TIcmpSocket::TIcmpSocket(int fd, bool raw)
    : FFd(fd)
    , FRaw(raw) {
}

TIcmpSocket::~TIcmpSocket() {
    ::close(FFd);
}

std::unique_ptr<TIcmpSocket> TIcmpSocket::Open(QString *whyNot) {
    bool raw = false;
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    const int datagramError = errno;
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        raw = true;
    }
    if (fd < 0) {
        if (whyNot)
            *whyNot = QStringLiteral("no ICMP socket for this user (datagram: %1; raw: %2)")
                          .arg(QString::fromLocal8Bit(std::strerror(datagramError)),
                               QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    const int on = 1;
    if (!raw) {
        // The TTL of a reply and the errors reported for a request come as extra data.
        ::setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
        ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    }
    return std::unique_ptr<TIcmpSocket>(new TIcmpSocket(fd, raw));
}

void TIcmpSocket::DropStaleErrors() {
    // Reports about earlier requests (one that came after its attempt had ended) would make the
    // system refuse this request with their error.
    TMessage message;
    while (message.Receive(FFd, MSG_ERRQUEUE | MSG_DONTWAIT) >= 0) {
    }
    ClearSocketError(FFd);
}

quint16 TIcmpSocket::NewSequence() {
    return NextSequence.fetch_add(1);
}

quint16 TIcmpSocket::Identifier() const {
    // A datagram socket's requests get the socket's own identifier from the system.
    return static_cast<quint16>(::getpid());
}

void TIcmpSocket::Send(quint32 address, quint16 sequence) {
    const QByteArray request = EchoRequest({Identifier(), sequence});
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = address;
    // An error reported for an earlier request of this socket's comes back from the next send
    // instead, and that request does not leave; the report stays queued for Read. Once more,
    // then, since many requests go out in a row without a read between them.
    for (int tries = 0; tries < 2; ++tries) {
        if (::sendto(FFd, request.constData(), static_cast<size_t>(request.size()), 0,
                     reinterpret_cast<sockaddr *>(&target), sizeof target) >= 0)
            return;
    }
}

TIcmpSocket::TArrival TIcmpSocket::Read(bool errorQueue) {
    TMessage message;
    const ssize_t size = message.Receive(FFd, MSG_DONTWAIT | (errorQueue ? MSG_ERRQUEUE : 0));
    if (size < 0) {
        if (errorQueue)
            ClearSocketError(FFd);
        return {};
    }
    TArrival arrival{TArrival::aOther};
    const auto answer = [&](int sequence, const TIcmpVerdict &verdict) {
        if (IsAnswer(verdict, &IsOwnAddress))
            arrival = {TArrival::aAnswer, static_cast<quint16>(sequence), verdict.Ttl};
    };
    const QByteArrayView bytes = message.Bytes(size);
    msghdr *header = &message.Header;
    if (errorQueue) {
        // An error reported for a request of this socket (datagram sockets only): the queued
        // copy of the request tells which one.
        const int sequence = MessageSequence(bytes);
        for (cmsghdr *c = CMSG_FIRSTHDR(header); c && sequence >= 0; c = CMSG_NXTHDR(header, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR)
                continue;
            const auto *error = reinterpret_cast<const sock_extended_err *>(CMSG_DATA(c));
            const auto *offender = reinterpret_cast<const sockaddr_in *>(SO_EE_OFFENDER(error));
            const quint32 reporter =
                offender->sin_family == AF_INET ? offender->sin_addr.s_addr : 0;
            if (error->ee_origin == SO_EE_ORIGIN_ICMP)
                answer(sequence,
                       ReadQueuedRequest(bytes, static_cast<quint16>(sequence), reporter));
        }
        return arrival;
    }
    if (FRaw) {
        const int sequence = RawPacketSequence(bytes, Identifier());
        if (sequence >= 0)
            answer(sequence, ReadIcmpPacket(bytes, {Identifier(), static_cast<quint16>(sequence)}));
        return arrival;
    }
    const int sequence = MessageSequence(bytes);
    if (sequence < 0)
        return arrival;
    TIcmpVerdict verdict = ReadIcmpMessage(bytes, static_cast<quint16>(sequence));
    for (cmsghdr *c = CMSG_FIRSTHDR(header); c; c = CMSG_NXTHDR(header, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
            int value = 0;
            std::memcpy(&value, CMSG_DATA(c), sizeof value);
            verdict.Ttl = static_cast<unsigned char>(value);
        }
    }
    answer(sequence, verdict);
    return arrival;
}

TEchoReply TIcmpSocket::Echo(quint32 address, int timeoutMs) {
    const quint16 sequence = NewSequence();
    const auto start = std::chrono::steady_clock::now();
    const auto elapsedMs = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    };
    DropStaleErrors();
    Send(address, sequence);

    TEchoReply reply;
    while (true) {
        const long long remaining = timeoutMs - elapsedMs();
        if (remaining < 0)
            return reply;
        pollfd fds[2] = {{FFd, POLLIN, 0}, {FInterruptFd, POLLIN, 0}};
        const int ready = ::poll(fds, FInterruptFd >= 0 ? 2 : 1, static_cast<int>(remaining));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || fds[1].revents != 0)
            return reply;
        const TArrival arrival = Read((fds[0].revents & POLLERR) != 0);
        if (arrival.Kind == TArrival::aAnswer && arrival.Sequence == sequence) {
            reply.Answered = true;
            reply.Ttl = arrival.Ttl;
            reply.RoundTripTime = static_cast<unsigned>(elapsedMs());
            return reply;
        }
    }
}
