#include "support/doscommand.h"

#include <QCoreApplication>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr qsizetype InitialBufferSize = 1024;

void CloseFd(int &fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

void ServeHandedOverCalls() {
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

} // namespace

class TDosThread::TSink : public TLineSink {
public:
    explicit TSink(TDosThread &worker)
        : FWorker(worker) {}
    void WholeLine(const QByteArray &line) override { FWorker.DeliverLine(line); }
    void PartialLine(const QByteArray &tail) override { FWorker.DeliverTail(tail); }

private:
    TDosThread &FWorker;
};

TDosThread::TDosThread(TSetup setup)
    : FSetup(std::move(setup))
    , FSink(std::make_unique<TSink>(*this)) {
    FWakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    FThread = std::thread([this] { Run(); });
}

TDosThread::~TDosThread() {
    if (FThread.joinable()) {
        RequestStop();
        Wait();
    }
    CloseFd(FWakeFd);
}

void TDosThread::RequestStop() {
    FStop.store(true);
    Wake();
}

void TDosThread::Wake() {
    if (FWakeFd >= 0)
        ::eventfd_write(FWakeFd, 1);
}

void TDosThread::Detach() {
    FDetached.store(true);
}

void TDosThread::Wait() {
    if (!FThread.joinable())
        return;
    std::unique_lock lock(FMutex);
    while (!FFinished.load()) {
        lock.unlock();
        ServeHandedOverCalls();
        lock.lock();
        FDone.wait_for(lock, std::chrono::milliseconds(1), [this] { return FFinished.load(); });
    }
    lock.unlock();
    FThread.join();
    // A signal the worker emitted last (the end of the run) arrives before the caller goes on.
    ServeHandedOverCalls();
}

void TDosThread::Join() {
    if (FThread.joinable())
        FThread.join();
}

QString TDosThread::StartError() const {
    std::lock_guard lock(FMutex);
    return FStartError;
}

void TDosThread::Run() {
    SweepOrphanChildren();
    if (StartChild())
        Watch();
    SweepOrphanChildren();
    std::lock_guard lock(FMutex);
    FFinished.store(true);
    FDone.notify_all();
}

bool TDosThread::StartChild() {
    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    QString error;
    if (FWakeFd < 0 || ::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0) {
        error = QStringLiteral("%1 could not be started: %2")
                    .arg(FSetup.CommandLine, QString::fromLocal8Bit(std::strerror(errno)));
    } else {
        FPid = SpawnCommandLine(FSetup.CommandLine, input[0], output[1], output[1]);
        if (FPid < 0)
            error = FSetup.CommandLine + QStringLiteral(" doesn't exist.");
    }
    // The child has its own copies; the worker keeps the write end of the input open (the
    // child's standard input stays open and empty) and the read end of the output.
    CloseFd(input[0]);
    CloseFd(output[1]);
    FInputWrite = input[1];
    FOutputRead = output[0];
    if (FPid < 0) {
        CloseFd(FInputWrite);
        CloseFd(FOutputRead);
        {
            std::lock_guard lock(FMutex);
            FStartError = error;
        }
        FSetup.Timer->End(FSetup.TimerGeneration);
        if (!FDetached.load()) {
            if (FSetup.OnStartFailed)
                FSetup.OnStartFailed(FSetup.Sender, error);
            emit FSetup.Sender->StartFailed(error);
        }
        return false;
    }
    ::fcntl(FOutputRead, F_SETFL, ::fcntl(FOutputRead, F_GETFL) | O_NONBLOCK);
    FPidFd = OpenPidFd(FPid);
    return true;
}

bool TDosThread::LimitPassed() const {
    const int maxBegin = FSetup.MaxTimeAfterBeginning;
    const int maxSilent = FSetup.MaxTimeAfterLastOutput;
    return (maxBegin > 0 && FSetup.Timer->SecondsRunning() > maxBegin) ||
           (maxSilent > 0 && FSetup.Timer->SecondsSilent() > maxSilent);
}

void TDosThread::Watch() {
    FBuffer.resize(InitialBufferSize);
    bool childEnded = false;

    while (true) {
        // The worker sleeps in poll until output comes, the child ends, the stop request or a
        // timer tick wakes it. Without a process descriptor (old kernels) it looks every
        // millisecond whether the child has ended.
        pollfd fds[3];
        nfds_t count = 0;
        fds[count++] = {FWakeFd, POLLIN, 0};
        const int outputIndex = FOutputRead >= 0 ? static_cast<int>(count) : -1;
        if (FOutputRead >= 0)
            fds[count++] = {FOutputRead, POLLIN, 0};
        const int pidIndex = FPidFd >= 0 ? static_cast<int>(count) : -1;
        if (FPidFd >= 0)
            fds[count++] = {FPidFd, POLLIN, 0};
        const int result = ::poll(fds, count, FPidFd >= 0 ? -1 : 1);
        if (result < 0 && errno != EINTR)
            break;
        const bool polled = result > 0;

        if (polled && (fds[0].revents & POLLIN)) {
            eventfd_t value;
            ::eventfd_read(FWakeFd, &value);
        }
        if (FStop.load() && !FKilled) {
            // The child's whole group goes, so that helpers it started do not stay behind.
            if (::kill(-FPid, SIGKILL) != 0)
                ::kill(FPid, SIGKILL);
            FKilled = true;
        }

        if (pidIndex < 0 || (polled && fds[pidIndex].revents)) {
            int status = 0;
            const pid_t reaped = ::waitpid(FPid, &status, WNOHANG);
            if (reaped == FPid || (reaped < 0 && errno == ECHILD)) {
                childEnded = true;
                if (reaped == FPid && WIFEXITED(status))
                    FExitCode.store(WEXITSTATUS(status));
            }
        }

        if (childEnded) {
            // Everything the child left is in the pipe now; helpers it started that still
            // write are not waited for.
            DrainOutput();
            break;
        }
        if (polled && outputIndex >= 0 && fds[outputIndex].revents)
            ReadOutput(-1);
        if (!FKilled && LimitPassed())
            break;
    }
    FinishRun(childEnded);
}

qsizetype TDosThread::ReadOutput(qsizetype limit) {
    int waiting = 0;
    if (::ioctl(FOutputRead, FIONREAD, &waiting) == 0 &&
        static_cast<size_t>(waiting) > FBuffer.size())
        FBuffer.resize(static_cast<size_t>(waiting));
    size_t wanted = FBuffer.size();
    if (limit >= 0 && static_cast<size_t>(limit) < wanted)
        wanted = static_cast<size_t>(limit);
    const ssize_t got = ::read(FOutputRead, FBuffer.data(), wanted);
    if (got > 0) {
        FSplitter.Feed(FBuffer.data(), got, *FSink, &FStop);
        return got;
    }
    if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        // Every writer has closed the pipe: nothing more can come.
        CloseFd(FOutputRead);
    }
    return 0;
}

void TDosThread::DrainOutput() {
    if (FOutputRead < 0)
        return;
    int waiting = 0;
    if (::ioctl(FOutputRead, FIONREAD, &waiting) != 0)
        return;
    qsizetype left = waiting;
    while (left > 0 && FOutputRead >= 0) {
        const qsizetype got = ReadOutput(left);
        if (got <= 0)
            break;
        left -= got;
    }
}

void TDosThread::CallOnNewLine(const QString &text, TOutputType type) {
    if (FDetached.load())
        return;
    if (FSetup.OnNewLine)
        FSetup.OnNewLine(FSetup.Sender, text, type);
    emit FSetup.Sender->NewLine(text, type);
}

void TDosThread::DeliverLine(const QByteArray &bytes) {
    const QString text = QString::fromLocal8Bit(bytes);
    FSetup.Timer->OutputSeen();
    FSetup.CapturedLines->append(text);
    if (QStringList *live = FSetup.LiveLines) {
        if (FUnfinishedShowing && !live->isEmpty())
            live->last() = text;
        else
            live->append(text);
    }
    FUnfinishedShowing = false;
    CallOnNewLine(text, TOutputType::WholeLine);
}

void TDosThread::DeliverTail(const QByteArray &bytes) {
    // Unfinished text is no output for the silence limit.
    const QString text = QString::fromLocal8Bit(bytes);
    if (QStringList *live = FSetup.LiveLines) {
        if (FUnfinishedShowing && !live->isEmpty())
            live->last() = text;
        else
            live->append(text);
    }
    CallOnNewLine(text, TOutputType::PartialLine);
    FUnfinishedShowing = true;
}

void TDosThread::FinishRun(bool childEnded) {
    FSplitter.Finish(*FSink);
    CloseFd(FInputWrite);
    CloseFd(FOutputRead);
    CloseFd(FPidFd);
    if (!childEnded)
        RegisterOrphanChild(FPid);
    FSetup.Timer->End(FSetup.TimerGeneration);
    if (FDetached.load())
        return;
    if (FSetup.OnTerminated)
        FSetup.OnTerminated(FSetup.Sender);
    emit FSetup.Sender->Terminated();
}

TDosCommand::TDosCommand(QObject *owner)
    : QObject(owner)
    , FCapturedLines(std::make_shared<QStringList>()) {
}

TDosCommand::~TDosCommand() {
    // The worker must not outlive the runner it reports as its sender, so a run still going
    // ends here, quietly.
    for (auto &worker : FWorkers)
        worker->Detach();
    for (auto &worker : FWorkers) {
        worker->RequestStop();
        worker->Wait();
    }
    FWorkers.clear();
}

void TDosCommand::Start() {
    if (FCommandLine.isEmpty())
        return;
    ForgetFinishedWorkers();
    if (!FTimer) {
        FTimer = new TProcessTimer(this);
        connect(FTimer, &TProcessTimer::Ticked, this, &TDosCommand::TimerTicked);
    }
    // A fresh list: a run still going beside the new one keeps writing to its own.
    FCapturedLines = std::make_shared<QStringList>();

    TDosThread::TSetup setup;
    setup.Sender = this;
    setup.CommandLine = FCommandLine;
    setup.CapturedLines = FCapturedLines;
    setup.LiveLines = FLiveLines;
    setup.Timer = FTimer;
    setup.TimerGeneration = FTimer->Restart();
    setup.MaxTimeAfterBeginning = FMaxTimeAfterBeginning;
    setup.MaxTimeAfterLastOutput = FMaxTimeAfterLastOutput;
    setup.OnNewLine = FOnNewLine;
    setup.OnTerminated = FOnTerminated;
    setup.OnStartFailed = FOnStartFailed;
    FWorkers.push_back(std::make_unique<TDosThread>(std::move(setup)));
    FWorker = FWorkers.back().get();
}

void TDosCommand::Abort() {
    if (!FWorker)
        return;
    FWorker->RequestStop();
    FWorker->Wait();
    FLastExitCode = FWorker->ExitCode();
    FLastStartError = FWorker->StartError();
    std::erase_if(FWorkers, [this](const auto &worker) { return worker.get() == FWorker; });
    FWorker = nullptr;
}

int TDosCommand::ExitCode() const {
    return FWorker ? FWorker->ExitCode() : FLastExitCode;
}

QString TDosCommand::StartError() const {
    return FWorker ? FWorker->StartError() : FLastStartError;
}

bool TDosCommand::Running() const {
    return FWorker && !FWorker->Finished();
}

void TDosCommand::TimerTicked() {
    for (auto &worker : FWorkers)
        worker->Wake();
}

void TDosCommand::ForgetFinishedWorkers() {
    std::erase_if(FWorkers, [this](const auto &worker) {
        if (!worker->Finished())
            return false;
        if (worker.get() == FWorker) {
            FLastExitCode = worker->ExitCode();
            FLastStartError = worker->StartError();
            FWorker = nullptr;
        }
        worker->Join();
        return true;
    });
}

#include "moc_doscommand.cpp"
