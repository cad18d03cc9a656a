#include "support/icmpecho.h"

#include "support/childprocess.h"
#include "support/commandline.h"

#include <QDebug>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/errqueue.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int EchoDataSize = 32;
constexpr int AttemptPauseMs = 500;
constexpr int CycleTimeoutMs = 3000;
constexpr int CycleAttempts = 3;
// How often a wait for the ping program looks at it and lets the caller's sleep stop it.
constexpr int PingStepMs = 10;

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

// The answer among ping's finished lines, if one came: a reply with its TTL and time first,
// else an error that another host reported for the request.
std::optional<TEchoReply> PingAnswer(const QByteArray &output) {
    const QRegularExpression replyLine(
        QStringLiteral("^\\d+ bytes from [^ ]+ icmp_seq=\\d+ ttl=(\\d+)(?: time=([\\d.]+) ms)?"));
    const QRegularExpression errorLine(QStringLiteral("^From ([\\d.]+):? icmp_seq="));
    QStringList lines = QString::fromLocal8Bit(output).split(QLatin1Char('\n'));
    lines.removeLast(); // unfinished, or empty after the last line end
    for (const QString &line : lines) {
        if (const QRegularExpressionMatch match = replyLine.match(line); match.hasMatch())
            return TEchoReply{true, static_cast<unsigned char>(match.captured(1).toUInt()),
                              static_cast<unsigned>(match.captured(2).toDouble())};
    }
    for (const QString &line : lines) {
        if (const QRegularExpressionMatch match = errorLine.match(line); match.hasMatch()) {
            in_addr from{};
            if (::inet_pton(AF_INET, match.captured(1).toLatin1().constData(), &from) == 1 &&
                !IsOwnAddress(from.s_addr))
                return TEchoReply{true, 0, 0};
        }
    }
    return std::nullopt;
}

// Why a ping that ended without an answer could not be used, or empty when it was (it sent
// its request and none came back). 0 and 1 are its own outcomes; 2 before its first request
// ("PING ..." line) is an error of its own, unless the request had no way out
// ("connect: Network is unreachable"), which is silence as on the socket path.
QString PingUnusableReason(const QByteArray &output, int exitStatus) {
    const QString text = QString::fromLocal8Bit(output).trimmed();
    if (exitStatus == 0 || exitStatus == 1 || text.startsWith(QLatin1String("PING ")) ||
        text.contains(QLatin1String("\nPING ")) || text.contains(QLatin1String(": connect: ")))
        return QString();
    if (text.isEmpty())
        return QStringLiteral("exit status %1").arg(exitStatus);
    return QString(text).replace(QLatin1Char('\n'), QLatin1String(" / "));
}

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
    unsigned char buffer[576];
    unsigned char control[512];
    while (true) {
        iovec io{buffer, sizeof buffer};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        if (::recvmsg(FFd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
            break;
    }
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(FFd, SOL_SOCKET, SO_ERROR, &error, &length);
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
    DropStaleErrors();
    // A request that cannot leave (a failed address resolution on the own link, no route) is
    // no answer and no reason to stop waiting: the device may be on its way back.
    ::sendto(FFd, request, sizeof request, 0, reinterpret_cast<sockaddr *>(&target), sizeof target);

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
            if (size < 0) {
                // A pending socket error without a queued report: clear it, or poll would
                // report it again at once.
                int error = 0;
                socklen_t length = sizeof error;
                ::getsockopt(FFd, SOL_SOCKET, SO_ERROR, &error, &length);
                continue;
            }
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

TPingProgram::TPingProgram(const QString &program)
    : FProgram(program) {
}

std::unique_ptr<TPingProgram> TPingProgram::Open(const QString &searchPath, QString *whyNot) {
    // The program folder is not searched: the ping of the system carries the privilege.
    const QString program = FindProgram(QStringLiteral("ping"), QString(), searchPath);
    if (program.isEmpty()) {
        if (whyNot)
            *whyNot = QStringLiteral("no ping program on the search path");
        return nullptr;
    }
    return std::unique_ptr<TPingProgram>(new TPingProgram(program));
}

void TPingProgram::SetSleep(std::function<void(int milliseconds)> sleep) {
    FSleep = std::move(sleep);
}

void TPingProgram::Pause(int milliseconds) {
    if (FSleep)
        FSleep(milliseconds);
    else
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}

TEchoReply TPingProgram::Echo(quint32 address, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto remainingMs = [&] {
        return std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    };
    const auto failure = [&](const QString &reason) {
        return EPingError(QStringLiteral("Invalid handle"),
                          FProgram + QStringLiteral(": ") + reason);
    };

    char addressText[INET_ADDRSTRLEN] = {};
    in_addr target{address};
    ::inet_ntop(AF_INET, &target, addressText, sizeof addressText);
    // ping's own wait is whole seconds in every version; the deadline below cuts it short.
    const int waitSeconds = std::max(1, (timeoutMs + 999) / 1000);
    const QStringList arguments{QStringLiteral("-n"),         QStringLiteral("-c"),
                                QStringLiteral("1"),          QStringLiteral("-W"),
                                QString::number(waitSeconds), QString::fromLatin1(addressText)};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    const QStringList variables = environment.toStringList();

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw failure(QString::fromLocal8Bit(std::strerror(errno)));
    const pid_t pid = SpawnChild(FProgram, arguments, -1, pipeFds[1], pipeFds[1], &variables);
    const int startError = errno;
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        throw failure(QStringLiteral("could not be started (%1)")
                          .arg(QString::fromLocal8Bit(std::strerror(startError))));
    }

    // Whatever ends the wait (the deadline, the caller's sleep throwing), the child goes too.
    struct TChild {
        pid_t Pid;
        int Output;
        bool Ended = false;
        int Status = 0;
        ~TChild() {
            if (!Ended) {
                ::kill(-Pid, SIGKILL);
                while (::waitpid(Pid, nullptr, 0) < 0 && errno == EINTR) {
                }
            }
            ::close(Output);
        }
        void Read(QByteArray &into) const {
            char buffer[4096];
            ssize_t size;
            while ((size = ::read(Output, buffer, sizeof buffer)) > 0)
                into.append(buffer, size);
        }
    } child{pid, pipeFds[0]};

    QByteArray output;
    qsizetype scanned = 0;
    while (true) {
        child.Read(output);
        if (output.size() != scanned) {
            scanned = output.size();
            if (const std::optional<TEchoReply> answer = PingAnswer(output))
                return *answer;
        }
        if (::waitpid(pid, &child.Status, WNOHANG) == pid) {
            child.Ended = true;
            break;
        }
        const long long remaining = remainingMs();
        if (remaining <= 0)
            return {}; // still waiting for a reply: none came in time
        Pause(static_cast<int>(std::min<long long>(remaining, PingStepMs)));
    }
    child.Read(output);
    if (const std::optional<TEchoReply> answer = PingAnswer(output))
        return *answer;
    const int exitStatus = WIFEXITED(child.Status) ? WEXITSTATUS(child.Status) : -1;
    if (const QString reason = PingUnusableReason(output, exitStatus); !reason.isEmpty())
        throw failure(reason);
    // ping may give up before the time-out (a failed address resolution on the own link);
    // the attempt still waits its whole time.
    for (long long remaining = remainingMs(); remaining > 0; remaining = remainingMs())
        Pause(static_cast<int>(std::min<long long>(remaining, PingStepMs)));
    return {};
}

TEchoEnvironment TEchoEnvironment::System() {
    TEchoEnvironment environment;
    environment.OpenService = []() -> std::unique_ptr<TEchoService> {
        QString socketReason;
        if (auto socket = TIcmpSocket::Open(&socketReason))
            return socket;
        QString pingReason;
        const char *path = std::getenv("PATH");
        if (auto ping = TPingProgram::Open(path ? QFile::decodeName(path) : QString(), &pingReason))
            return ping;
        throw EPingError(QStringLiteral("Invalid handle"),
                         socketReason + QStringLiteral(", and ") + pingReason);
    };
    environment.Log = [](const QString &line) {
        qWarning().noquote() << line;
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

namespace {

bool PingAttempts(const QString &host, qint32 timeoutMs, unsigned char attempts, unsigned char &ttl,
                  unsigned &roundTripTime, const TEchoEnvironment &environment) {
    std::unique_ptr<TEchoService> service = environment.OpenService();
    if (!service)
        throw EPingError(QStringLiteral("Invalid handle"));
    service->SetSleep(environment.Sleep);
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

} // namespace

bool PingHost(const QString &host, qint32 timeoutMs, unsigned char attempts, unsigned char &ttl,
              unsigned &roundTripTime, const TEchoEnvironment &environment) {
    ttl = 0;
    roundTripTime = 0;
    try {
        return PingAttempts(host, timeoutMs, attempts, ttl, roundTripTime, environment);
    } catch (const EPingError &error) {
        if (environment.Log)
            environment.Log(QStringLiteral("ICMP echo to %1: %2 (%3)")
                                .arg(host, error.Message(),
                                     error.Reason().isEmpty() ? QStringLiteral("no echo service")
                                                              : error.Reason()));
        throw;
    }
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
