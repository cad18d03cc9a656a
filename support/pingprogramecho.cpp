#include "support/pingprogramecho.h"

#include "support/childprocess.h"
#include "support/commandline.h"

#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How often a wait for the ping program looks at it and lets the caller's sleep stop it.
constexpr int PingStepMs = 10;

// The answer among ping's finished lines, if one came: a reply first, else an error that
// another host reported for the request.
std::optional<TEchoReply> PingAnswer(const QByteArray &output, quint32 address) {
    const TPingOutput lines = ReadPingOutput(output, address);
    if (lines.Reply)
        return lines.Reply;
    for (quint32 reporter : lines.Reporters) {
        if (!IsOwnAddress(reporter))
            return TEchoReply{true, 0, 0};
    }
    return std::nullopt;
}

} // namespace

TPingOutput ReadPingOutput(const QByteArray &output, quint32 address) {
    const QRegularExpression replyLine(QStringLiteral(
        "^\\d+ bytes from ([\\d.]+):? icmp_seq=\\d+ ttl=(\\d+)(?: time=([\\d.]+) ms)?"));
    const QRegularExpression errorLine(QStringLiteral("^From ([\\d.]+):? icmp_seq="));
    QStringList lines = QString::fromLocal8Bit(output).split(QLatin1Char('\n'));
    lines.removeLast(); // unfinished, or empty after the last line end
    TPingOutput result;
    for (const QString &line : lines) {
        if (const QRegularExpressionMatch match = replyLine.match(line); match.hasMatch()) {
            // Another host's reply (an echo to a broadcast address, a stray one) is no answer
            // of the one asked.
            in_addr from{};
            if (!result.Reply &&
                ::inet_pton(AF_INET, match.captured(1).toLatin1().constData(), &from) == 1 &&
                from.s_addr == address)
                result.Reply =
                    TEchoReply{true, static_cast<unsigned char>(match.captured(2).toUInt()),
                               static_cast<unsigned>(match.captured(3).toDouble())};
        } else if (const QRegularExpressionMatch error = errorLine.match(line); error.hasMatch()) {
            in_addr from{};
            if (::inet_pton(AF_INET, error.captured(1).toLatin1().constData(), &from) == 1)
                result.Reporters.append(from.s_addr);
        }
    }
    return result;
}

QString PingUnusableReason(const QByteArray &output, int exitStatus) {
    const QString text = QString::fromLocal8Bit(output).trimmed();
    if (exitStatus == 0 || exitStatus == 1 || text.startsWith(QLatin1String("PING ")) ||
        text.contains(QLatin1String("\nPING ")) || text.contains(QLatin1String(": connect: ")))
        return QString();
    if (text.isEmpty())
        return QStringLiteral("exit status %1").arg(exitStatus);
    return QString(text).replace(QLatin1Char('\n'), QLatin1String(" / "));
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

    // Whatever ends the wait (the deadline, the caller's sleep throwing, a signal that ends the
    // program), the child's whole group goes too; so does anything it left behind when it ended
    // on its own.
    struct TChild {
        pid_t Pid;
        int Output;
        bool Ended = false;
        int Status = 0;
        TChild(pid_t pid, int output)
            : Pid(pid)
            , Output(output) {
            TrackChildGroup(Pid);
        }
        ~TChild() {
            if (!Ended)
                Reap();
            ::close(Output);
        }
        // The group goes while its unreaped leader still holds the number.
        void Reap() {
            ::kill(-Pid, SIGKILL);
            UntrackChildGroup(Pid);
            while (::waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
            }
            Ended = true;
        }
        bool Finished() {
            siginfo_t info{};
            if (::waitid(P_PID, static_cast<id_t>(Pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
                info.si_pid != Pid)
                return false;
            Reap();
            return true;
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
            if (const std::optional<TEchoReply> answer = PingAnswer(output, address))
                return *answer;
        }
        if (child.Finished())
            break;
        const long long remaining = remainingMs();
        if (remaining <= 0)
            return {}; // still waiting for a reply: none came in time
        Pause(static_cast<int>(std::min<long long>(remaining, PingStepMs)));
    }
    child.Read(output);
    if (const std::optional<TEchoReply> answer = PingAnswer(output, address))
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
