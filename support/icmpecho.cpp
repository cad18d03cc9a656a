#include "icmpecho.h"

#include <QThread>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ifaddrs.h>
#include <linux/errqueue.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int EchoDataSize = 32;
constexpr int AttemptPauseMs = 500;
constexpr int CycleTimeoutMs = 3000;
constexpr int CycleAttempts = 3;

std::atomic<quint16> NextSequence{static_cast<quint16>(::getpid() * 7919u)};

quint16 Checksum(const unsigned char *data, size_t size) {
    quint32 sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<quint32>(data[i] << 8 | data[i + 1]);
    if (size % 2)
        sum += static_cast<quint32>(data[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<quint16>(~sum);
}

quint16 Read16(const unsigned char *p) {
    return static_cast<quint16>(p[0] << 8 | p[1]);
}

bool IsErrorType(unsigned char type) {
    return type == ICMP_DEST_UNREACH || type == ICMP_SOURCE_QUENCH || type == ICMP_REDIRECT ||
           type == ICMP_TIME_EXCEEDED || type == ICMP_PARAMETERPROB;
}

// Whether the address belongs to this host. A "host unreachable" that this host reports itself
// means that nothing answered its address resolution on the local link: no device is there.
bool IsOwnAddress(in_addr_t address) {
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    bool own = false;
    for (const ifaddrs *entry = list; entry && !own; entry = entry->ifa_next)
        own = entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET &&
              reinterpret_cast<const sockaddr_in *>(entry->ifa_addr)->sin_addr.s_addr == address;
    ::freeifaddrs(list);
    return own;
}

} // namespace

TIcmpSocket::TIcmpSocket(int fd, bool raw)
    : FFd(fd)
    , FRaw(raw) {
}

TIcmpSocket::~TIcmpSocket() {
    ::close(FFd);
}

std::unique_ptr<TIcmpSocket> TIcmpSocket::Open() {
    bool raw = false;
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        raw = true;
    }
    if (fd < 0)
        return nullptr;
    const int on = 1;
    if (!raw) {
        // The TTL of a reply and the errors reported for a request come as extra data.
        ::setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
        ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    }
    return std::unique_ptr<TIcmpSocket>(new TIcmpSocket(fd, raw));
}

TEchoReply TIcmpSocket::Echo(quint32 address, int timeoutMs) {
    const quint16 sequence = NextSequence.fetch_add(1);
    const quint16 identifier = static_cast<quint16>(::getpid());
    unsigned char request[8 + EchoDataSize] = {};
    request[0] = ICMP_ECHO;
    request[4] = static_cast<unsigned char>(identifier >> 8);
    request[5] = static_cast<unsigned char>(identifier);
    request[6] = static_cast<unsigned char>(sequence >> 8);
    request[7] = static_cast<unsigned char>(sequence);
    for (int i = 0; i < EchoDataSize; ++i)
        request[8 + i] = static_cast<unsigned char>('a' + i % 23);
    const quint16 sum = Checksum(request, sizeof request);
    request[2] = static_cast<unsigned char>(sum >> 8);
    request[3] = static_cast<unsigned char>(sum);

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
    if (::sendto(FFd, request, sizeof request, 0, reinterpret_cast<sockaddr *>(&target),
                 sizeof target) < 0)
        return reply;

    const auto answered = [&](unsigned char ttl) {
        reply.Answered = true;
        reply.Ttl = ttl;
        reply.RoundTripTime = static_cast<unsigned>(elapsedMs());
        return reply;
    };
    const auto matches = [&](const unsigned char *icmp, size_t size, bool checkIdentifier) {
        return size >= 8 && Read16(icmp + 6) == sequence &&
               (!checkIdentifier || Read16(icmp + 4) == identifier);
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
        const pollfd &fd = fds[0];

        unsigned char buffer[1500];
        unsigned char control[512];
        iovec io{buffer, sizeof buffer};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;

        if (fd.revents & POLLERR) {
            // An error reported for a request of this socket (datagram sockets only): the
            // queued copy of the request tells which one.
            const ssize_t size = ::recvmsg(FFd, &message, MSG_ERRQUEUE);
            if (size < 0)
                continue;
            for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR)
                    continue;
                const auto *error = reinterpret_cast<const sock_extended_err *>(CMSG_DATA(c));
                const auto *offender = reinterpret_cast<const sockaddr_in *>(SO_EE_OFFENDER(error));
                if (error->ee_origin == SO_EE_ORIGIN_ICMP &&
                    matches(buffer, static_cast<size_t>(size), false) &&
                    !(offender->sin_family == AF_INET && IsOwnAddress(offender->sin_addr.s_addr)))
                    return answered(0);
            }
            continue;
        }

        const ssize_t size = ::recvmsg(FFd, &message, MSG_DONTWAIT);
        if (size <= 0)
            continue;
        if (!FRaw) {
            unsigned char ttl = 0;
            for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
                    int value = 0;
                    std::memcpy(&value, CMSG_DATA(c), sizeof value);
                    ttl = static_cast<unsigned char>(value);
                }
            }
            if (buffer[0] == ICMP_ECHOREPLY && matches(buffer, static_cast<size_t>(size), false))
                return answered(ttl);
            continue;
        }

        // A raw socket sees every ICMP message of the host, behind its IP header.
        const size_t total = static_cast<size_t>(size);
        if (total < 20)
            continue;
        const size_t headerSize = (buffer[0] & 0x0F) * 4u;
        if (total < headerSize + 8)
            continue;
        const unsigned char ttl = buffer[8];
        const unsigned char *icmp = buffer + headerSize;
        const size_t icmpSize = total - headerSize;
        if (icmp[0] == ICMP_ECHOREPLY && matches(icmp, icmpSize, true))
            return answered(ttl);
        if (IsErrorType(icmp[0]) && icmpSize >= 8 + 20) {
            // The error carries the start of the request it is about.
            const unsigned char *inner = icmp + 8;
            const size_t innerHeader = (inner[0] & 0x0F) * 4u;
            in_addr_t source = 0;
            std::memcpy(&source, buffer + 12, sizeof source);
            if (inner[9] == IPPROTO_ICMP && icmpSize >= 8 + innerHeader + 8 &&
                inner[innerHeader] == ICMP_ECHO &&
                matches(inner + innerHeader, icmpSize - 8 - innerHeader, true) &&
                !IsOwnAddress(source))
                return answered(ttl);
        }
    }
}

TEchoEnvironment TEchoEnvironment::System() {
    TEchoEnvironment environment;
    environment.OpenService = []() -> std::unique_ptr<TEchoService> {
        return TIcmpSocket::Open();
    };
    environment.Resolve = &ResolveHostAddress;
    environment.Sleep = [](int milliseconds) {
        if (milliseconds > 0)
            QThread::msleep(static_cast<unsigned long>(milliseconds));
    };
    return environment;
}

quint32 ResolveHostAddress(const QString &host) {
    const QByteArray name = host.toLocal8Bit();
    if (name.isEmpty())
        return 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo *result = nullptr;
    if (::getaddrinfo(name.constData(), nullptr, &hints, &result) != 0) {
        // An address text with a fault is no host name; asking a name server about it would
        // only send a pointless query.
        bool digitsAndDots = true;
        for (char c : name)
            digitsAndDots &= (c >= '0' && c <= '9') || c == '.';
        hints.ai_flags = 0;
        if (digitsAndDots || ::getaddrinfo(name.constData(), nullptr, &hints, &result) != 0)
            return 0;
    }
    quint32 address = 0;
    for (addrinfo *entry = result; entry; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET) {
            address = reinterpret_cast<const sockaddr_in *>(entry->ai_addr)->sin_addr.s_addr;
            break;
        }
    }
    ::freeaddrinfo(result);
    return address;
}

bool PingHost(const QString &host, qint32 timeoutMs, unsigned char attempts, unsigned char &ttl,
              unsigned &roundTripTime, const TEchoEnvironment &environment) {
    ttl = 0;
    roundTripTime = 0;
    std::unique_ptr<TEchoService> service = environment.OpenService();
    if (!service)
        throw EPingError(QStringLiteral("Invalid handle"));
    const quint32 address = environment.Resolve(host);
    const int timeout = timeoutMs > 0 ? timeoutMs : 0;

    unsigned attempt = 1;
    do {
        TEchoReply reply;
        if (address != 0) {
            reply = service->Echo(address, timeout);
        } else {
            // The system would answer an echo to 0.0.0.0 itself; a host that does not resolve
            // is silent instead, with the same waits.
            environment.Sleep(timeout);
        }
        if (reply.Answered) {
            ttl = reply.Ttl;
            roundTripTime = reply.RoundTripTime;
            return true;
        }
        environment.Sleep(AttemptPauseMs);
        ++attempt;
    } while (attempt <= attempts);
    return false;
}

bool PingHost(const QString &host, qint32 timeoutMs, unsigned char attempts, unsigned char &ttl,
              unsigned &roundTripTime) {
    return PingHost(host, timeoutMs, attempts, ttl, roundTripTime, TEchoEnvironment::System());
}

int WaitForHostAnswer(const QString &host, quint32 extraCycles,
                      const std::function<void()> &callback, const TEchoEnvironment &environment) {
    try {
        quint64 cycles = 0;
        do {
            unsigned char ttl = 0;
            unsigned roundTripTime = 0;
            if (PingHost(host, CycleTimeoutMs, CycleAttempts, ttl, roundTripTime, environment))
                return 0;
            ++cycles;
            if (callback) {
                for (int i = 0; i < 21; ++i) {
                    environment.Sleep(50);
                    callback();
                }
            } else {
                environment.Sleep(1000);
            }
        } while (cycles <= extraCycles);
        return 1;
    } catch (...) {
        return -1;
    }
}

int HostAnswerWaitLimitMs(quint32 extraCycles) {
    const int cycleMs = CycleAttempts * (CycleTimeoutMs + AttemptPauseMs) + 21 * 50;
    return static_cast<int>(extraCycles + 1) * cycleMs;
}

int WaitForHostAnswer(const QString &host, quint32 extraCycles,
                      const std::function<void()> &callback) {
    return WaitForHostAnswer(host, extraCycles, callback, TEchoEnvironment::System());
}
