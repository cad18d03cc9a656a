// Runs one echo operation and prints its outcome, for tests that run it inside a network
// namespace of their own:
//   echoprobe resolve HOST
//   echoprobe ping HOST TIMEOUT ATTEMPTS    -> "answered=A ttl=T elapsed=MS", or
//                                              "error=MESSAGE" after a "log=..." line
//   echoprobe service                       -> "datagram", "raw", "ping" or "none"
//   echoprobe hub TIMEOUT HOST...           -> one echo to each host at once through one
//                                              hub: "HOST answered=A elapsed=MS" each
#include "support/echohub.h"
#include "support/icmpecho.h"
#include "support/icmpsocketecho.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == QStringLiteral("resolve")) {
        in_addr address{ResolveHostAddress(args[2])};
        std::printf("%s\n", inet_ntoa(address));
        return 0;
    }
    if (args.size() >= 5 && args[1] == QStringLiteral("ping")) {
        TEchoEnvironment environment = TEchoEnvironment::System();
        environment.Log = [](const QString &line) {
            std::printf("log=%s\n", qPrintable(line));
        };
        QElapsedTimer clock;
        clock.start();
        unsigned char ttl = 0;
        unsigned roundTrip = 0;
        try {
            const bool answered =
                PingHost(args[2], args[3].toInt(), static_cast<unsigned char>(args[4].toInt()), ttl,
                         roundTrip, environment);
            std::printf("answered=%d ttl=%d elapsed=%lld\n", answered ? 1 : 0, ttl,
                        static_cast<long long>(clock.elapsed()));
        } catch (const EPingError &error) {
            std::printf("error=%s\n", qPrintable(error.Message()));
        }
        return 0;
    }
    if (args.size() >= 4 && args[1] == QStringLiteral("hub")) {
        const std::shared_ptr<TEchoHub> hub = TEchoHub::Open();
        if (!hub)
            return 1;
        QElapsedTimer clock;
        clock.start();
        int left = static_cast<int>(args.size()) - 3;
        for (const QString &host : args.mid(3)) {
            hub->Send(ResolveHostAddress(host), args[2].toInt(), [&, host](bool answered) {
                std::printf("%s answered=%d elapsed=%lld\n", qPrintable(host), answered ? 1 : 0,
                            static_cast<long long>(clock.elapsed()));
                if (--left == 0)
                    QCoreApplication::quit();
            });
        }
        // A forgotten echo never reports, answered or not.
        hub->Forget(hub->Send(ResolveHostAddress(args[3]), 10, [](bool) { std::abort(); }));
        QCoreApplication::exec();
        return hub->InFlight() == 0 ? 0 : 1;
    }
    if (args.size() >= 2 && args[1] == QStringLiteral("service")) {
        std::unique_ptr<TEchoService> service;
        try {
            service = TEchoEnvironment::System().OpenService();
        } catch (const EPingError &) {
        }
        const auto *socket = dynamic_cast<const TIcmpSocket *>(service.get());
        std::printf("%s\n", socket    ? (socket->IsRaw() ? "raw" : "datagram")
                            : service ? "ping"
                                      : "none");
        return 0;
    }
    return 2;
}
