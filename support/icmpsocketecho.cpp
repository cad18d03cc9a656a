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

TEchoReply TIcmpSocket::Echo(quint32 address, int timeoutMs) {
    const TEchoId id{static_cast<quint16>(::getpid()), NextSequence.fetch_add(1)};
    const QByteArray request = EchoRequest(id);

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = address;
    const auto start = std::chrono::steady_clock::now();
    const auto elapsedMs = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    };
    TEchoReply reply;
    DropStaleErrors();
    // A request that cannot leave (a failed address resolution on the own link, no route) is
    // no answer and no reason to stop waiting: the device may be on its way back.
    ::sendto(FFd, request.constData(), static_cast<size_t>(request.size()), 0,
             reinterpret_cast<sockaddr *>(&target), sizeof target);

    const auto answered = [&](unsigned char ttl) {
        reply.Answered = true;
        reply.Ttl = ttl;
        reply.RoundTripTime = static_cast<unsigned>(elapsedMs());
        return reply;
    };

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

        TMessage message;
        if (fds[0].revents & POLLERR) {
            // An error reported for a request of this socket (datagram sockets only): the
            // queued copy of the request tells which one.
            const ssize_t size = message.Receive(FFd, MSG_ERRQUEUE);
            if (size < 0) {
                ClearSocketError(FFd);
                continue;
            }
            msghdr *header = &message.Header;
            for (cmsghdr *c = CMSG_FIRSTHDR(header); c; c = CMSG_NXTHDR(header, c)) {
                if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR)
                    continue;
                const auto *error = reinterpret_cast<const sock_extended_err *>(CMSG_DATA(c));
                const auto *offender = reinterpret_cast<const sockaddr_in *>(SO_EE_OFFENDER(error));
                const quint32 reporter =
                    offender->sin_family == AF_INET ? offender->sin_addr.s_addr : 0;
                if (error->ee_origin == SO_EE_ORIGIN_ICMP &&
                    IsAnswer(ReadQueuedRequest(message.Bytes(size), id.Sequence, reporter),
                             &IsOwnAddress))
                    return answered(0);
            }
            continue;
        }

        const ssize_t size = message.Receive(FFd, MSG_DONTWAIT);
        if (size <= 0)
            continue;
        if (FRaw) {
            const TIcmpVerdict verdict = ReadIcmpPacket(message.Bytes(size), id);
            if (IsAnswer(verdict, &IsOwnAddress))
                return answered(verdict.Ttl);
            continue;
        }
        if (ReadIcmpMessage(message.Bytes(size), id.Sequence).Kind == TIcmpVerdict::ivReply) {
            unsigned char ttl = 0;
            msghdr *header = &message.Header;
            for (cmsghdr *c = CMSG_FIRSTHDR(header); c; c = CMSG_NXTHDR(header, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
                    int value = 0;
                    std::memcpy(&value, CMSG_DATA(c), sizeof value);
                    ttl = static_cast<unsigned char>(value);
                }
            }
            return answered(ttl);
        }
    }
}
