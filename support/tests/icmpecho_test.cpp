#include "support/icmpecho.h"
#include "support/icmpmessage.h"
#include "support/icmpsocketecho.h"
#include "support/pingprogramecho.h"
#include "tools/testsupport/printers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <sys/wait.h>
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

namespace {

// A stand-in for the system's ping in a folder of its own: prints the given lines, notes its
// arguments and locale, and exits with the given status. Nothing is sent anywhere.
struct TFakePing {
    QTemporaryDir Folder;
    QString Write(const QString &body) {
        const QString path = Folder.filePath(QStringLiteral("ping"));
        QFile script(path);
        script.open(QIODevice::WriteOnly | QIODevice::Truncate);
        script.write("#!/bin/sh\necho \"$LC_ALL $*\" > \"$(dirname \"$0\")/called\"\n" +
                     body.toUtf8() + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return Folder.path();
    }
    QString Called() {
        QFile file(Folder.filePath(QStringLiteral("called")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed()
                                              : QString();
    }
};

// Whether the process is gone (or a zombie) within a second.
bool Ends(pid_t pid) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1000) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z "))
            return true;
        QThread::msleep(10);
    }
    return false;
}

bool ChildrenLeft() {
    return ::waitpid(-1, nullptr, WNOHANG) != -1 || errno != ECHILD;
}

} // namespace

TEST(PingProgram, ReadsItsLinesAsTheSocketsDoAndWaitsItsWholeTime) {
    struct TCase {
        const char *Body;
        bool Answered;
        int Ttl;
        bool WholeTime;
    };
    const TCase cases[] = {
        {"echo 'PING 192.0.2.7 (192.0.2.7) 56(84) bytes of data.'\n"
         "echo '64 bytes from 192.0.2.7: icmp_seq=1 ttl=57 time=1.92 ms'",
         true, 57, false},
        // An error that a router reports for the request is an answer; one that this computer
        // reports itself (its address resolution failed) is not.
        {"echo 'From 203.0.113.9 icmp_seq=1 Destination Net Unreachable'; exit 1", true, 0, false},
        {"echo 'From 127.0.0.1 icmp_seq=1 Destination Host Unreachable'; exit 1", false, 0, true},
        {"echo '64 bytes from 10.9.9.9: icmp_seq=1 ttl=64 time=0.1 ms'; exec sleep 30", false, 0,
         true},
        {"echo 'ping: connect: Network is unreachable' >&2; exit 2", false, 0, true},
        {"exec sleep 30", false, 0, true},
    };
    const quint32 address = inet_addr("192.0.2.7");
    for (const TCase &c : cases) {
        TFakePing fake;
        const auto ping = TPingProgram::Open(fake.Write(QString::fromLatin1(c.Body)));
        ASSERT_TRUE(ping);
        QElapsedTimer clock;
        clock.start();
        const TEchoReply reply = ping->Echo(address, 400);
        const qint64 elapsed = clock.elapsed();
        EXPECT_EQ(reply.Answered, c.Answered) << c.Body;
        EXPECT_EQ(reply.Ttl, c.Ttl) << c.Body;
        if (c.WholeTime)
            EXPECT_GE(elapsed, 400) << c.Body;
        else
            EXPECT_LT(elapsed, 400) << c.Body;
        EXPECT_LT(elapsed, 1500) << c.Body;
        EXPECT_EQ(fake.Called(), QStringLiteral("C -n -c 1 -W 1 192.0.2.7"));
        EXPECT_FALSE(ChildrenLeft()) << c.Body;
    }

    // A ping that ends on its own takes its process group with it.
    TFakePing leaving;
    const auto left = TPingProgram::Open(
        leaving.Write(QStringLiteral("sleep 30 & echo $! > \"$(dirname \"$0\")/left\"; exit 1")));
    EXPECT_FALSE(left->Echo(address, 400).Answered);
    QFile leftPid(leaving.Folder.filePath(QStringLiteral("left")));
    ASSERT_TRUE(leftPid.open(QIODevice::ReadOnly));
    const pid_t leftBehind = static_cast<pid_t>(leftPid.readAll().trimmed().toInt());
    ASSERT_GT(leftBehind, 0);
    EXPECT_TRUE(Ends(leftBehind));

    // A ping that cannot open its socket is no echo service.
    TFakePing powerless;
    const auto ping = TPingProgram::Open(powerless.Write(
        QStringLiteral("echo 'ping: socket: Operation not permitted' >&2; exit 2")));
    try {
        ping->Echo(address, 400);
        FAIL() << "no error";
    } catch (const EPingError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Invalid handle"));
        EXPECT_TRUE(error.Reason().contains(QStringLiteral("socket: Operation not permitted")));
    }
    EXPECT_FALSE(TPingProgram::Open(powerless.Folder.filePath(QStringLiteral("none"))));

    // The caller's sleep ends the wait, and the ping with it.
    TFakePing hanging;
    const auto stoppable = TPingProgram::Open(hanging.Write(QStringLiteral("exec sleep 30")));
    QElapsedTimer clock;
    clock.start();
    stoppable->SetSleep([&](int milliseconds) {
        if (clock.elapsed() > 100)
            throw std::runtime_error("cancelled");
        QThread::msleep(static_cast<unsigned long>(milliseconds));
    });
    EXPECT_THROW(stoppable->Echo(address, 3000), std::runtime_error);
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_FALSE(ChildrenLeft());
}

namespace {

// Packets about echo request 0x1234/5 from 192.0.2.1, byte for byte; the data is the request's.
QByteArray Hex(const char *text) {
    return QByteArray::fromHex(text);
}
const QByteArray EchoData = QByteArrayLiteral("abcdefghijklmnopqrstuvwabcdefghi");
const QByteArray Request = Hex("08 00 3b 23 12 34 00 05") + EchoData;
const QByteArray Reply = Hex("00 00 43 23 12 34 00 05") + EchoData;
// IPv4 192.0.2.7 -> 192.0.2.1, TTL 64, 60 bytes.
const QByteArray FromDevice = Hex("45 00 00 3c 1c 46 00 00 40 01 da 72 c0 00 02 07 c0 00 02 01");
// IPv4 198.51.100.1 -> 192.0.2.1, TTL 63, 56 bytes: a router's error report.
const QByteArray FromRouter = Hex("45 00 00 38 0f 0f 00 00 3f 01 80 80 c6 33 64 01 c0 00 02 01");
// The start of the request as the router quotes it: IP header to 198.51.100.7, ICMP header.
const QByteArray Quoted = Hex("45 00 00 3c 2b 1e 00 00 40 01 63 67 c0 00 02 01 c6 33 64 07"
                              "08 00 3b 23 12 34 00 05");
const QByteArray Unreachable = FromRouter + Hex("03 01 a7 a2 00 00 00 00") + Quoted;

} // namespace

TEST(IcmpMessage, RawPacketsAreReadByIdentifierAndSequence) {
    EXPECT_EQ(EchoRequest({0x1234, 5}), Request);

    struct TCase {
        const char *What;
        QByteArray Packet;
        TIcmpVerdict::TKind Kind;
        const char *From;
        int Ttl;
    };
    const TCase cases[] = {
        {"echo reply", FromDevice + Reply, TIcmpVerdict::ivReply, "192.0.2.7", 64},
        {"reply behind IP options",
         Hex("46 00 00 40 1c 46 00 00 40 01 d7 6d c0 00 02 07 c0 00 02 01 01 01 01 00") + Reply,
         TIcmpVerdict::ivReply, "192.0.2.7", 64},
        {"reply for another identifier", FromDevice + Hex("00 00 12 36 43 21 00 05") + EchoData,
         TIcmpVerdict::ivUnrelated, nullptr, 0},
        {"destination unreachable carrying our header", Unreachable, TIcmpVerdict::ivErrorReport,
         "198.51.100.1", 63},
        {"time exceeded carrying our header", FromRouter + Hex("0b 00 9f a3 00 00 00 00") + Quoted,
         TIcmpVerdict::ivErrorReport, "198.51.100.1", 63},
        {"unreachable about another request",
         FromRouter + Hex("03 01 a7 a2 00 00 00 00 45 00 00 3c 2b 1f 00 00 40 01 63 66 c0 00 02 01"
                          "c6 33 64 07 08 00 3b 22 12 34 00 06"),
         TIcmpVerdict::ivUnrelated, nullptr, 0},
        {"unreachable cut inside our header", Unreachable.first(52), TIcmpVerdict::ivUnrelated,
         nullptr, 0},
        {"too short for an IP header", FromDevice.first(19), TIcmpVerdict::ivUnrelated, nullptr, 0},
        {"too short for an ICMP header", (FromDevice + Reply).first(27), TIcmpVerdict::ivUnrelated,
         nullptr, 0},
        {"our own request", Quoted.first(20) + Request, TIcmpVerdict::ivUnrelated, nullptr, 0},
    };
    for (const TCase &c : cases) {
        const TIcmpVerdict verdict = ReadIcmpPacket(c.Packet, {0x1234, 5});
        EXPECT_EQ(verdict.Kind, c.Kind) << c.What;
        if (c.From) {
            EXPECT_EQ(verdict.From, inet_addr(c.From)) << c.What;
            EXPECT_EQ(verdict.Ttl, c.Ttl) << c.What;
        }
    }
}

TEST(IcmpMessage, DatagramMessagesAndQueuedReports) {
    // The system rewrites the identifier of a datagram socket's requests: only the sequence
    // tells its reply.
    EXPECT_EQ(ReadIcmpMessage(Reply, 5).Kind, TIcmpVerdict::ivReply);
    EXPECT_EQ(ReadIcmpMessage(Hex("00 00 12 36 43 21 00 05") + EchoData, 5).Kind,
              TIcmpVerdict::ivReply);
    EXPECT_EQ(ReadIcmpMessage(Reply, 6).Kind, TIcmpVerdict::ivUnrelated);
    EXPECT_EQ(ReadIcmpMessage(Request, 5).Kind, TIcmpVerdict::ivUnrelated);
    EXPECT_EQ(ReadIcmpMessage(Reply.first(7), 5).Kind, TIcmpVerdict::ivUnrelated);

    const quint32 router = inet_addr("198.51.100.1");
    const TIcmpVerdict report = ReadQueuedRequest(Request, 5, router);
    EXPECT_EQ(report.Kind, TIcmpVerdict::ivErrorReport);
    EXPECT_EQ(report.From, router);
    EXPECT_EQ(ReadQueuedRequest(Request, 6, router).Kind, TIcmpVerdict::ivUnrelated);
    EXPECT_EQ(ReadQueuedRequest(Request.first(7), 5, router).Kind, TIcmpVerdict::ivUnrelated);

    // A report that this host makes about its own request is no answer; its own replies are.
    const quint32 self = inet_addr("192.0.2.1");
    const auto isSelf = [self](quint32 address) {
        return address == self;
    };
    EXPECT_TRUE(IsAnswer(report, isSelf));
    EXPECT_FALSE(IsAnswer({TIcmpVerdict::ivErrorReport, self, 64}, isSelf));
    EXPECT_TRUE(IsAnswer({TIcmpVerdict::ivReply, self, 64}, isSelf));
    EXPECT_FALSE(IsAnswer({TIcmpVerdict::ivUnrelated, router, 64}, isSelf));
}

TEST(PingProgram, ReadsRepliesReportsAndFailuresFromItsLines) {
    const QByteArray start = "PING 192.0.2.7 (192.0.2.7) 56(84) bytes of data.\n";
    const quint32 asked = inet_addr("192.0.2.7");
    TPingOutput output =
        ReadPingOutput(start + "64 bytes from 192.0.2.7: icmp_seq=1 ttl=57 time=12.7 ms\n", asked);
    ASSERT_TRUE(output.Reply);
    EXPECT_EQ(output.Reply->Ttl, 57);
    EXPECT_EQ(output.Reply->RoundTripTime, 12u);
    EXPECT_TRUE(output.Reporters.isEmpty());

    output = ReadPingOutput("64 bytes from 192.0.2.7: icmp_seq=1 ttl=255\n", asked);
    ASSERT_TRUE(output.Reply);
    EXPECT_EQ(output.Reply->Ttl, 255);
    EXPECT_EQ(output.Reply->RoundTripTime, 0u);

    // A line still being written is read when it is whole.
    EXPECT_FALSE(
        ReadPingOutput(start + "64 bytes from 192.0.2.7: icmp_seq=1 ttl=57 time=1", asked).Reply);

    output = ReadPingOutput(start + "From 203.0.113.9 icmp_seq=1 Destination Net Unreachable\n"
                                    "From 192.0.2.1: icmp_seq=1 Redirect Host\n"
                                    "64 bytes from 192.0.2.7: icmp_seq=1 ttl=63 time=0.81 ms\n",
                            asked);
    ASSERT_TRUE(output.Reply);
    EXPECT_EQ(output.Reply->Ttl, 63);
    EXPECT_EQ(output.Reporters, (QList<quint32>{inet_addr("203.0.113.9"), inet_addr("192.0.2.1")}));

    output = ReadPingOutput(start + "\n--- 192.0.2.7 ping statistics ---\n"
                                    "1 packets transmitted, 0 received, 100% packet loss\n",
                            asked);
    EXPECT_FALSE(output.Reply);
    EXPECT_TRUE(output.Reporters.isEmpty());

    // Only the address asked answers: a reply from another (a broadcast's answerer) is none.
    output = ReadPingOutput(start + "64 bytes from 10.9.9.9: icmp_seq=1 ttl=64 time=0.1 ms\n"
                                    "64 bytes from 192.0.2.71: icmp_seq=1 ttl=60 time=0.2 ms\n",
                            asked);
    EXPECT_FALSE(output.Reply);
    output = ReadPingOutput(start + "64 bytes from 10.9.9.9: icmp_seq=1 ttl=64 time=0.1 ms\n"
                                    "64 bytes from 192.0.2.7: icmp_seq=1 ttl=60 time=0.2 ms\n",
                            asked);
    ASSERT_TRUE(output.Reply);
    EXPECT_EQ(output.Reply->Ttl, 60);

    const std::pair<QByteArray, int> usable[] = {
        {start, 1}, {start, 2}, {"", 0}, {"", 1}, {"ping: connect: Network is unreachable\n", 2}};
    for (const auto &[text, status] : usable)
        EXPECT_EQ(PingUnusableReason(text, status), QString()) << text.constData();
    EXPECT_EQ(PingUnusableReason("ping: socket: Operation not permitted\n", 2),
              QStringLiteral("ping: socket: Operation not permitted"));
    EXPECT_EQ(PingUnusableReason("ping: first\nping: second\n", 2),
              QStringLiteral("ping: first / ping: second"));
    EXPECT_EQ(PingUnusableReason("", 2), QStringLiteral("exit status 2"));
    EXPECT_EQ(PingUnusableReason("", -1), QStringLiteral("exit status -1"));
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

// The three ways this system sends an echo: a root process uses the datagram socket where the
// namespace allows one and a raw socket where not; a normal user who may open neither runs the
// system's ping.
enum TEchoKind { ekDatagram, ekRaw, ekPing };

const char *KindName(TEchoKind kind) {
    return kind == ekDatagram ? "datagram" : kind == ekRaw ? "raw" : "ping";
}

const QString DatagramAllowed =
    QStringLiteral("echo '0 2147483647' > /proc/sys/net/ipv4/ping_group_range && ");
const QString EchoIgnored = QStringLiteral("echo 1 > /proc/sys/net/ipv4/icmp_echo_ignore_all && ");
const QString AsNobody = QStringLiteral("setpriv --reuid=65534 --regid=65534 --clear-groups ");

// echoprobe as the given kind's user starts it. User nobody cannot reach the build's own file
// when a folder above it is private (a checkout in a home folder): then a copy in a temporary
// folder open to all.
QString Probe(TEchoKind kind) {
    const QString probe = QCoreApplication::applicationDirPath() + QStringLiteral("/echoprobe");
    if (kind != ekPing)
        return probe;
    static QTemporaryDir open;
    static const QString reachable = [&] {
        if (QProcess::execute(
                QStringLiteral("sh"),
                {QStringLiteral("-c"), AsNobody + QStringLiteral("test -x \"$0\""), probe}) == 0)
            return probe;
        const QString copy = open.filePath(QStringLiteral("echoprobe"));
        QFile::copy(probe, copy);
        QFile::setPermissions(open.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadOther | QFile::ExeOther);
        // The leak checker's suppressions must be readable for nobody too.
        QString options = qEnvironmentVariable("LSAN_OPTIONS");
        static const QRegularExpression file(QStringLiteral("suppressions=([^:]+)"));
        if (const QRegularExpressionMatch match = file.match(options); match.hasMatch()) {
            const QString readable = open.filePath(QStringLiteral("lsan.supp"));
            QFile::copy(match.captured(1), readable);
            qputenv("LSAN_OPTIONS", options.replace(match.captured(1), readable).toLocal8Bit());
        }
        return copy;
    }();
    return reachable;
}

// Runs echoprobe inside a network namespace of its own that holds only a loopback interface,
// so nothing it sends can leave this machine. runner goes before the probe (as nobody, with
// another PATH).
QString ProbeInIsolation(TEchoKind kind, const QString &setup, const QStringList &probeArgs,
                         const QString &runner = QString()) {
    QString script = QStringLiteral("ip link set lo up && ") +
                     (kind == ekDatagram ? DatagramAllowed : QString()) + setup +
                     QStringLiteral(" exec ") + (kind == ekPing ? AsNobody : QString()) + runner +
                     QStringLiteral(" \"$0\"");
    for (int i = 0; i < probeArgs.size(); ++i)
        script += QStringLiteral(" \"$%1\"").arg(i + 1);
    QProcess process;
    process.start(QStringLiteral("unshare"),
                  QStringList{QStringLiteral("--net"), QStringLiteral("sh"), QStringLiteral("-c"),
                              script, Probe(kind)} +
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

int ElapsedOf(const QString &result) {
    return result.section(QStringLiteral("elapsed="), 1).toInt();
}

QStringList PingArgs(const QString &host, int timeoutMs, int attempts) {
    return {QStringLiteral("ping"), host, QString::number(timeoutMs), QString::number(attempts)};
}

} // namespace

TEST(IcmpEchoIsolated, DatagramSocketRawSocketOrPingProgram) {
    if (!CanIsolate())
        GTEST_SKIP() << "network namespaces need root";
    for (TEchoKind kind : {ekDatagram, ekRaw, ekPing}) {
        EXPECT_EQ(ProbeInIsolation(kind, QString(), {QStringLiteral("service")}),
                  QString::fromLatin1(KindName(kind)));
        // Every way reads the reply's TTL.
        const QString reply =
            ProbeInIsolation(kind, QString(), PingArgs(QStringLiteral("127.0.0.1"), 1000, 1));
        EXPECT_TRUE(reply.startsWith(QStringLiteral("answered=1 ttl=64 ")))
            << KindName(kind) << reply.toStdString();
        EXPECT_LT(ElapsedOf(reply), 500) << reply.toStdString();
    }
}

TEST(IcmpEchoIsolated, InvalidHandleOnlyWhenPingFailsToo) {
    if (!CanIsolate())
        GTEST_SKIP() << "network namespaces need root";
    // No ping on the search path.
    const QString missing =
        ProbeInIsolation(ekPing, QString(), PingArgs(QStringLiteral("127.0.0.1"), 500, 1),
                         QStringLiteral("env PATH=/nonexistent"));
    EXPECT_TRUE(missing.contains(QStringLiteral("no ICMP socket for this user")))
        << missing.toStdString();
    EXPECT_TRUE(missing.contains(QStringLiteral("no ping program on the search path")))
        << missing.toStdString();
    EXPECT_TRUE(missing.endsWith(QStringLiteral("\nerror=Invalid handle")))
        << missing.toStdString();

    // A ping without the privilege to open its socket (a copy loses the file capability).
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(
        QFile::copy(QStringLiteral("/usr/bin/ping"), folder.filePath(QStringLiteral("ping"))));
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                             QFile::ReadOther | QFile::ExeOther);
    const QString powerless =
        ProbeInIsolation(ekPing, QString(), PingArgs(QStringLiteral("127.0.0.1"), 500, 3),
                         QStringLiteral("env PATH=") + folder.path());
    EXPECT_TRUE(powerless.contains(QStringLiteral("Operation not permitted")))
        << powerless.toStdString();
    EXPECT_TRUE(powerless.endsWith(QStringLiteral("\nerror=Invalid handle")))
        << powerless.toStdString();
}

TEST(IcmpEchoIsolated, SilentHostTakesAllAttemptsAndPauses) {
    if (!CanIsolate())
        GTEST_SKIP() << "network namespaces need root";
    for (TEchoKind kind : {ekDatagram, ekRaw, ekPing}) {
        const QString result =
            ProbeInIsolation(kind, EchoIgnored, PingArgs(QStringLiteral("127.0.0.1"), 500, 3));
        EXPECT_TRUE(result.startsWith(QStringLiteral("answered=0 ttl=0 "))) << result.toStdString();
        EXPECT_GE(ElapsedOf(result), 3000) << KindName(kind);
        EXPECT_LT(ElapsedOf(result), 3600) << KindName(kind);
    }
}

TEST(IcmpEchoIsolated, NameThatDoesNotResolveIsASilentHost) {
    if (!CanIsolate())
        GTEST_SKIP() << "network namespaces need root";
    EXPECT_EQ(
        ProbeInIsolation(ekRaw, QString(),
                         {QStringLiteral("resolve"), QStringLiteral("no-such-device.invalid")}),
        QStringLiteral("0.0.0.0"));
    const QString result = ProbeInIsolation(
        ekRaw, QString(), PingArgs(QStringLiteral("no-such-device.invalid"), 200, 2));
    EXPECT_TRUE(result.startsWith(QStringLiteral("answered=0 "))) << result.toStdString();
    EXPECT_GE(ElapsedOf(result), 1400);
}

// Runs echoprobe's ping in a namespace behind routerlab.sh's router, one process per kind of
// echo, side by side.
namespace {
std::map<TEchoKind, QString> ProbeBehindRouter(const QStringList &probeArgs,
                                               std::initializer_list<TEchoKind> kinds = {
                                                   ekDatagram, ekRaw, ekPing}) {
    std::map<TEchoKind, std::unique_ptr<QProcess>> processes;
    for (TEchoKind kind : kinds) {
        auto &process = processes[kind];
        process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DATAGRAM"),
                           kind == ekDatagram ? QStringLiteral("1") : QString());
        process->setProcessEnvironment(environment);
        QStringList command{QStringLiteral("--net"), QStringLiteral("sh"),
                            QStringLiteral(QUILLET_SOURCE_DIR "support/tests/routerlab.sh")};
        if (kind == ekPing)
            command += AsNobody.trimmed().split(QLatin1Char(' '));
        process->start(QStringLiteral("unshare"), command + QStringList{Probe(kind)} + probeArgs);
    }
    std::map<TEchoKind, QString> results;
    for (auto &[kind, process] : processes) {
        results[kind] = process->waitForFinished(60000)
                            ? QString::fromLocal8Bit(process->readAllStandardOutput()).trimmed()
                            : QStringLiteral("failed: no end");
    }
    return results;
}

std::map<TEchoKind, QString> PingBehindRouter(const QString &address, int timeoutMs, int attempts) {
    return ProbeBehindRouter(PingArgs(address, timeoutMs, attempts));
}
} // namespace

TEST(IcmpEchoIsolated, ErrorRepliesCountAsAnswers) {
    if (!CanIsolate())
        GTEST_SKIP() << "network namespaces need root";
    for (const auto &[kind, result] : PingBehindRouter(QStringLiteral("198.51.100.7"), 2000, 1)) {
        EXPECT_TRUE(result.startsWith(QStringLiteral("answered=1 ")))
            << KindName(kind) << ": " << result.toStdString();
        EXPECT_LT(ElapsedOf(result), 1000) << KindName(kind) << ": " << result.toStdString();
    }
}

// Nothing answers the address resolution for a free address on the computer's own link; the
// "host unreachable" that the computer then reports to itself is no answer from a device, and
// every attempt after it still waits its whole time (the restart wait's cycle: 3 x 3000 ms,
// each followed by 500 ms).
TEST(IcmpEchoIsolated, OwnHostUnreachableIsNoAnswer) {
    if (!CanIsolate())
        GTEST_SKIP() << "network namespaces need root";
    for (const auto &[kind, result] : PingBehindRouter(QStringLiteral("192.0.2.9"), 3000, 3)) {
        EXPECT_TRUE(result.startsWith(QStringLiteral("answered=0 ")))
            << KindName(kind) << ": " << result.toStdString();
        EXPECT_GE(ElapsedOf(result), 3 * 3500) << KindName(kind) << ": " << result.toStdString();
        EXPECT_LT(ElapsedOf(result), 3 * 3500 + 1000)
            << KindName(kind) << ": " << result.toStdString();
    }
}

// One socket for many echoes at once: an answer, an error report from a router and a free
// address on the own link that nothing answers, sent together. Each ends on its own, the
// silent one after its whole time, and no echo waits for another.
TEST(IcmpEchoIsolated, OneHubCarriesManyEchoesAtOnce) {
    if (!CanIsolate())
        GTEST_SKIP() << "network namespaces need root";
    const QStringList hosts{QStringLiteral("192.0.2.9"), QStringLiteral("127.0.0.1"),
                            QStringLiteral("198.51.100.7"), QStringLiteral("127.0.0.2")};
    for (const auto &[kind, result] :
         ProbeBehindRouter(QStringList{QStringLiteral("hub"), QStringLiteral("2000")} + hosts,
                           {ekDatagram, ekRaw})) {
        const QStringList lines = result.split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 4) << KindName(kind) << ": " << result.toStdString();
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(lines[i].contains(QStringLiteral(" answered=1 ")))
                << KindName(kind) << ": " << result.toStdString();
            EXPECT_LT(ElapsedOf(lines[i]), 1000) << KindName(kind) << ": " << result.toStdString();
        }
        EXPECT_TRUE(lines[3].startsWith(QStringLiteral("192.0.2.9 answered=0 ")))
            << KindName(kind) << ": " << result.toStdString();
        EXPECT_GE(ElapsedOf(lines[3]), 2000) << KindName(kind);
        EXPECT_LT(ElapsedOf(lines[3]), 2500) << KindName(kind);
    }
}
