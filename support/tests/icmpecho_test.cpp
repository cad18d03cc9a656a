#include "icmpecho.h"
#include "qtprinters.h"

#include <QCoreApplication>
#include <QProcess>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// A virtual clock: echoes and sleeps advance it instead of taking time.
struct TFakeNetwork {
    long long Now = 0;
    int Echoes = 0;
    int Sleeps = 0;
    int Opened = 0;
    bool CanOpen = true;
    long long AnswerFrom = -1; // virtual time from which the host answers; -1 never
    QList<int> EchoTimeouts;

    struct TService : TEchoService {
        TFakeNetwork &Net;
        explicit TService(TFakeNetwork &net)
            : Net(net) {}
        TEchoReply Echo(quint32, int timeoutMs) override {
            ++Net.Echoes;
            Net.EchoTimeouts << timeoutMs;
            if (Net.AnswerFrom >= 0 && Net.Now >= Net.AnswerFrom) {
                Net.Now += 2;
                return {true, 64, 2};
            }
            Net.Now += timeoutMs;
            return {};
        }
    };

    TEchoEnvironment Environment() {
        TEchoEnvironment environment;
        environment.OpenService = [this]() -> std::unique_ptr<TEchoService> {
            ++Opened;
            return CanOpen ? std::make_unique<TService>(*this) : nullptr;
        };
        environment.Resolve = [](const QString &host) {
            return host == QStringLiteral("unknown") ? 0u : inet_addr("192.0.2.7");
        };
        environment.Sleep = [this](int milliseconds) {
            ++Sleeps;
            Now += milliseconds;
        };
        return environment;
    }
};

} // namespace

TEST(PingHostLogic, AttemptsPausesAndOutputs) {
    TFakeNetwork silent;
    unsigned char ttl = 9;
    unsigned rtt = 9;
    EXPECT_FALSE(PingHost(QStringLiteral("host"), 500, 3, ttl, rtt, silent.Environment()));
    EXPECT_EQ(silent.Echoes, 3);
    EXPECT_EQ(silent.Now, 3 * (500 + 500)); // the pause follows the last attempt too
    EXPECT_EQ(ttl, 0);
    EXPECT_EQ(rtt, 0u);

    for (unsigned char attempts : {0, 1}) {
        TFakeNetwork once;
        PingHost(QStringLiteral("host"), 100, attempts, ttl, rtt, once.Environment());
        EXPECT_EQ(once.Echoes, 1);
    }

    TFakeNetwork answering;
    answering.AnswerFrom = 0;
    EXPECT_TRUE(PingHost(QStringLiteral("host"), 500, 3, ttl, rtt, answering.Environment()));
    EXPECT_EQ(answering.Echoes, 1);
    EXPECT_EQ(answering.Sleeps, 0);
    EXPECT_EQ(ttl, 64);
    EXPECT_EQ(rtt, 2u);

    // A host that does not resolve gets no echo but the same waits as a silent one.
    TFakeNetwork unknown;
    EXPECT_FALSE(PingHost(QStringLiteral("unknown"), 500, 3, ttl, rtt, unknown.Environment()));
    EXPECT_EQ(unknown.Echoes, 0);
    EXPECT_EQ(unknown.Now, 3000);

    TFakeNetwork closed;
    closed.CanOpen = false;
    try {
        PingHost(QStringLiteral("host"), 500, 3, ttl, rtt, closed.Environment());
        FAIL() << "no error";
    } catch (const EPingError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Invalid handle"));
    }
}

TEST(WaitForHostAnswerLogic, CyclesPausesAndCallback) {
    int calls = 0;
    const auto callback = [&] {
        ++calls;
    };

    TFakeNetwork answering;
    answering.AnswerFrom = 0;
    EXPECT_EQ(WaitForHostAnswer(QStringLiteral("host"), 20, callback, answering.Environment()), 0);
    EXPECT_EQ(calls, 0);

    TFakeNetwork oneCycle;
    EXPECT_EQ(WaitForHostAnswer(QStringLiteral("host"), 0, callback, oneCycle.Environment()), 1);
    EXPECT_EQ(oneCycle.Echoes, 3);
    EXPECT_EQ(oneCycle.EchoTimeouts, (QList<int>{3000, 3000, 3000}));
    EXPECT_EQ(calls, 21);
    EXPECT_EQ(oneCycle.Now, 3 * 3500 + 21 * 50);

    // The upload's wait: 21 cycles, about four minutes.
    TFakeNetwork upload;
    calls = 0;
    EXPECT_EQ(WaitForHostAnswer(QStringLiteral("host"), 20, callback, upload.Environment()), 1);
    EXPECT_EQ(upload.Echoes, 63);
    EXPECT_EQ(calls, 21 * 21);
    EXPECT_EQ(upload.Now, 21 * (3 * 3500 + 1050));

    TFakeNetwork noCallback;
    EXPECT_EQ(WaitForHostAnswer(QStringLiteral("host"), 1, {}, noCallback.Environment()), 1);
    EXPECT_EQ(noCallback.Now, 2 * (3 * 3500 + 1000));

    // A device back after its restart answers in the third cycle.
    TFakeNetwork restart;
    restart.AnswerFrom = 2 * (3 * 3500 + 1050);
    calls = 0;
    EXPECT_EQ(WaitForHostAnswer(QStringLiteral("host"), 20, callback, restart.Environment()), 0);
    EXPECT_EQ(calls, 42);

    TFakeNetwork closed;
    closed.CanOpen = false;
    EXPECT_EQ(WaitForHostAnswer(QStringLiteral("host"), 20, callback, closed.Environment()), -1);
    EXPECT_EQ(closed.Opened, 1);
}

TEST(IcmpEcho, LoopbackAnswers) {
    EXPECT_EQ(ResolveHostAddress(QStringLiteral("127.0.0.1")), inet_addr("127.0.0.1"));
    EXPECT_EQ(ResolveHostAddress(QStringLiteral("localhost")), inet_addr("127.0.0.1"));
    // Faulty address texts are not sent to a name server.
    EXPECT_EQ(ResolveHostAddress(QStringLiteral("192.0.2.300")), 0u);
    EXPECT_EQ(ResolveHostAddress(QString()), 0u);

    if (!TIcmpSocket::Open())
        GTEST_SKIP() << "no ICMP socket allowed for this user";
    unsigned char ttl = 0;
    unsigned rtt = 99999;
    EXPECT_TRUE(PingHost(QStringLiteral("127.0.0.1"), 1000, 3, ttl, rtt));
    EXPECT_EQ(ttl, 64);
    EXPECT_LT(rtt, 100u);
    int calls = 0;
    EXPECT_EQ(WaitForHostAnswer(QStringLiteral("localhost"), 0, [&] { ++calls; }), 0);
    EXPECT_EQ(calls, 0);
}

namespace {

// Runs echoprobe inside a network namespace of its own that holds only a loopback interface,
// so nothing it sends can leave this machine.
QString ProbeInIsolation(const QString &setup, const QStringList &probeArgs) {
    const QString probe = QCoreApplication::applicationDirPath() + QStringLiteral("/echoprobe");
    QString script =
        QStringLiteral("ip link set lo up && ") + setup + QStringLiteral(" exec \"$0\"");
    for (int i = 0; i < probeArgs.size(); ++i)
        script += QStringLiteral(" \"$%1\"").arg(i + 1);
    QProcess process;
    process.start(QStringLiteral("unshare"),
                  QStringList{QStringLiteral("--net"), QStringLiteral("sh"), QStringLiteral("-c"),
                              script, probe} +
                      probeArgs);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QStringLiteral("failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

bool CanIsolate() {
    return ::geteuid() == 0 &&
           QProcess::execute(QStringLiteral("unshare"),
                             {QStringLiteral("--net"), QStringLiteral("true")}) == 0;
}

const QString DatagramAllowed =
    QStringLiteral("echo '0 2147483647' > /proc/sys/net/ipv4/ping_group_range && ");
const QString EchoIgnored = QStringLiteral("echo 1 > /proc/sys/net/ipv4/icmp_echo_ignore_all && ");

int ElapsedOf(const QString &result) {
    return result.section(QStringLiteral("elapsed="), 1).toInt();
}

} // namespace

TEST(IcmpEchoIsolated, DatagramSocketWhenAllowedRawOtherwise) {
    if (!CanIsolate())
        GTEST_SKIP() << "network namespaces need root";
    EXPECT_EQ(ProbeInIsolation(DatagramAllowed, {QStringLiteral("socket")}),
              QStringLiteral("datagram"));
    EXPECT_EQ(ProbeInIsolation(QString(), {QStringLiteral("socket")}), QStringLiteral("raw"));
    const QString viaDatagram =
        ProbeInIsolation(DatagramAllowed, {QStringLiteral("ping"), QStringLiteral("127.0.0.1"),
                                           QStringLiteral("1000"), QStringLiteral("1")});
    EXPECT_TRUE(viaDatagram.startsWith(QStringLiteral("answered=1 ttl=64 ")))
        << viaDatagram.toStdString();
}

TEST(IcmpEchoIsolated, SilentHostTakesAllAttemptsAndPauses) {
    if (!CanIsolate())
        GTEST_SKIP() << "network namespaces need root";
    for (const QString &kind : {DatagramAllowed, QString()}) {
        const QString result = ProbeInIsolation(
            kind + EchoIgnored, {QStringLiteral("ping"), QStringLiteral("127.0.0.1"),
                                 QStringLiteral("500"), QStringLiteral("3")});
        EXPECT_TRUE(result.startsWith(QStringLiteral("answered=0 ttl=0 "))) << result.toStdString();
        EXPECT_GE(ElapsedOf(result), 3000);
        EXPECT_LT(ElapsedOf(result), 3600);
    }
}

TEST(IcmpEchoIsolated, NameThatDoesNotResolveIsASilentHost) {
    if (!CanIsolate())
        GTEST_SKIP() << "network namespaces need root";
    EXPECT_EQ(ProbeInIsolation(
                  QString(), {QStringLiteral("resolve"), QStringLiteral("no-such-device.invalid")}),
              QStringLiteral("0.0.0.0"));
    const QString result = ProbeInIsolation(
        QString(), {QStringLiteral("ping"), QStringLiteral("no-such-device.invalid"),
                    QStringLiteral("200"), QStringLiteral("2")});
    EXPECT_TRUE(result.startsWith(QStringLiteral("answered=0 "))) << result.toStdString();
    EXPECT_GE(ElapsedOf(result), 1400);
}

// Runs echoprobe's ping in a namespace behind routerlab.sh's router, with the ICMP datagram
// socket allowed or not.
namespace {
QString PingBehindRouter(bool datagram, const QString &address, const QString &timeoutMs) {
    const QString probe = QCoreApplication::applicationDirPath() + QStringLiteral("/echoprobe");
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DATAGRAM"), datagram ? QStringLiteral("1") : QString());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("unshare"),
                  {QStringLiteral("--net"), QStringLiteral("sh"),
                   QStringLiteral(QUILLET_SOURCE_DIR "support/tests/routerlab.sh"), probe,
                   QStringLiteral("ping"), address, timeoutMs, QStringLiteral("1")});
    if (!process.waitForFinished(30000))
        return QStringLiteral("failed: no end");
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}
} // namespace

TEST(IcmpEchoIsolated, ErrorRepliesCountAsAnswers) {
    if (!CanIsolate())
        GTEST_SKIP() << "network namespaces need root";
    for (bool datagram : {true, false}) {
        const QString result =
            PingBehindRouter(datagram, QStringLiteral("198.51.100.7"), QStringLiteral("2000"));
        EXPECT_TRUE(result.startsWith(QStringLiteral("answered=1 "))) << result.toStdString();
        EXPECT_LT(ElapsedOf(result), 1000) << result.toStdString();
    }
}

// Nothing answers the address resolution for a free address on the computer's own link; the
// "host unreachable" that the computer then reports to itself is no answer from a device.
TEST(IcmpEchoIsolated, OwnHostUnreachableIsNoAnswer) {
    if (!CanIsolate())
        GTEST_SKIP() << "network namespaces need root";
    for (bool datagram : {true, false}) {
        const QString result =
            PingBehindRouter(datagram, QStringLiteral("192.0.2.9"), QStringLiteral("4500"));
        EXPECT_TRUE(result.startsWith(QStringLiteral("answered=0 "))) << result.toStdString();
        EXPECT_GE(ElapsedOf(result), 4500) << result.toStdString();
    }
}
