// Runs one echo operation and prints its outcome, for tests that run it inside a network
// namespace of their own:
//   echoprobe resolve HOST
//   echoprobe ping HOST TIMEOUT ATTEMPTS    -> "answered=A ttl=T elapsed=MS"
//   echoprobe socket                        -> "raw" or "datagram"
#include "icmpecho.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <arpa/inet.h>
#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == QStringLiteral("resolve")) {
        in_addr address{ResolveHostAddress(args[2])};
        std::printf("%s\n", inet_ntoa(address));
        return 0;
    }
    if (args.size() >= 5 && args[1] == QStringLiteral("ping")) {
        QElapsedTimer clock;
        clock.start();
        unsigned char ttl = 0;
        unsigned roundTrip = 0;
        const bool answered = PingHost(args[2], args[3].toInt(),
                                       static_cast<unsigned char>(args[4].toInt()), ttl, roundTrip);
        std::printf("answered=%d ttl=%d elapsed=%lld\n", answered ? 1 : 0, ttl,
                    static_cast<long long>(clock.elapsed()));
        return 0;
    }
    if (args.size() >= 2 && args[1] == QStringLiteral("socket")) {
        const auto socket = TIcmpSocket::Open();
        std::printf("%s\n", !socket ? "none" : socket->IsRaw() ? "raw" : "datagram");
        return 0;
    }
    return 2;
}
