#include "support/icmpecho.h"

#include "support/icmpsocketecho.h"
#include "support/pingprogramecho.h"

#include <QDebug>
#include <QFile>
#include <QThread>

#include <cstdlib>
#include <netdb.h>
#include <netinet/in.h>

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
        environment.Sleep(EchoAttemptPauseMs);
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
            if (PingHost(host, EchoCycleTimeoutMs, EchoCycleAttempts, ttl, roundTripTime,
                         environment))
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
    const int cycleMs =
        EchoCycleAttempts * (EchoCycleTimeoutMs + EchoAttemptPauseMs) + EchoCyclePauseMs;
    return static_cast<int>(extraCycles + 1) * cycleMs;
}

int WaitForHostAnswer(const QString &host, quint32 extraCycles,
                      const std::function<void()> &callback) {
    return WaitForHostAnswer(host, extraCycles, callback, TEchoEnvironment::System());
}
