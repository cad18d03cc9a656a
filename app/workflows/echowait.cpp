#include "app/workflows/echowait.h"

#include "support/echohub.h"

#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <stdexcept>

#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// Raised on the wait's thread to end it early.
struct TCancelled : std::runtime_error {
    TCancelled()
        : std::runtime_error("cancelled") {}
};

} // namespace

// Ends the echoes of one wait: the flag for the steps between echoes, the descriptor for an
// echo that is waiting for its answer.
struct TThreadEchoWait::TCancel {
    std::atomic<bool> Stop{false};
    int Fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    TCancel() = default;
    TCancel(const TCancel &) = delete;
    TCancel &operator=(const TCancel &) = delete;
    ~TCancel() {
        if (Fd >= 0)
            ::close(Fd);
    }
    void Raise() {
        Stop.store(true);
        const quint64 one = 1;
        if (Fd >= 0 && ::write(Fd, &one, sizeof one) < 0) {
            // Only the flag then: the echo under way ends at its own time-out.
        }
    }
    void Check() const {
        if (Stop.load())
            throw TCancelled();
    }
};

TThreadEchoWait::TThreadEchoWait(TEchoEnvironment echo, TLog log)
    : FEcho(std::move(echo))
    , FLog(std::move(log)) {
}

TThreadEchoWait::~TThreadEchoWait() {
    Cancel();
}

void TThreadEchoWait::Echo(const QString &host, int timeoutMs,
                           std::function<void(bool answered)> done) {
    Start(
        [host, timeoutMs](const TEchoEnvironment &echo, const std::function<void()> &) {
            unsigned char ttl = 0;
            unsigned roundTripTime = 0;
            return PingHost(host, timeoutMs, 1, ttl, roundTripTime, echo) ? 1 : 0;
        },
        [done = std::move(done)](int result) { done(result > 0); });
}

void TThreadEchoWait::WaitForAnswer(const QString &host, quint32 extraCycles,
                                    std::function<void(int result)> done) {
    Start(
        [host, extraCycles](const TEchoEnvironment &echo, const std::function<void()> &checkpoint) {
            return WaitForHostAnswer(host, extraCycles, checkpoint, echo);
        },
        std::move(done));
}

void TThreadEchoWait::Start(TWork work, std::function<void(int result)> done) {
    Cancel();
    auto cancel = std::make_shared<TCancel>();
    FCancel = cancel;
    TEchoEnvironment echo = FEcho;
    auto openService = echo.OpenService;
    echo.OpenService = [cancel, openService]() {
        cancel->Check();
        std::unique_ptr<TEchoService> service = openService();
        if (service)
            service->SetInterrupt(cancel->Fd);
        return service;
    };
    // Long pauses go in short steps, so that a cancel never waits for one to end.
    auto sleep = echo.Sleep;
    echo.Sleep = [cancel, sleep](int milliseconds) {
        constexpr int StepMs = 50;
        do {
            cancel->Check();
            const int step = std::min(milliseconds, StepMs);
            sleep(step);
            milliseconds -= step;
        } while (milliseconds > 0);
        cancel->Check();
    };
    const std::function<void()> checkpoint = [cancel] {
        cancel->Check();
    };
    const unsigned generation = FGeneration;
    // Why an echo could not be made goes to the given log too, from the receiver's thread.
    auto log = echo.Log;
    echo.Log = [this, log, generation](const QString &line) {
        if (log)
            log(line);
        QMetaObject::invokeMethod(
            &FReceiver,
            [this, generation, line] {
                if (generation == FGeneration && FLog)
                    FLog(line);
            },
            Qt::QueuedConnection);
    };
    FThread = std::thread([this, cancel, echo, checkpoint, work, done, generation] {
        int result = -1;
        try {
            result = work(echo, checkpoint);
        } catch (...) {
            // A cancellation, or an echo service that failed: either way no answer came.
        }
        if (cancel->Stop.load())
            return;
        QMetaObject::invokeMethod(
            &FReceiver,
            [this, generation, result, done] {
                if (generation != FGeneration)
                    return;
                if (FThread.joinable())
                    FThread.join();
                FCancel.reset();
                done(result);
            },
            Qt::QueuedConnection);
    });
}

void TThreadEchoWait::Cancel() {
    ++FGeneration;
    if (FCancel)
        FCancel->Raise();
    if (FThread.joinable())
        FThread.join();
    FCancel.reset();
}

TSharedEchoWait::TSharedEchoWait(std::shared_ptr<TEchoHub> hub)
    : FHub(std::move(hub)) {
    FPause.setSingleShot(true);
    FPause.setTimerType(Qt::PreciseTimer);
    QObject::connect(&FPause, &QTimer::timeout, &FReceiver, [this] {
        const auto next = std::move(FAfterPause);
        next();
    });
}

TSharedEchoWait::~TSharedEchoWait() {
    Cancel();
}

void TSharedEchoWait::Echo(const QString &host, int timeoutMs,
                           std::function<void(bool answered)> done) {
    Start(host, timeoutMs, 1, std::nullopt,
          [done = std::move(done)](int result) { done(result == 0); });
}

void TSharedEchoWait::WaitForAnswer(const QString &host, quint32 extraCycles,
                                    std::function<void(int result)> done) {
    Start(host, EchoCycleTimeoutMs, EchoCycleAttempts, extraCycles, std::move(done));
}

void TSharedEchoWait::Start(const QString &host, int timeoutMs, int attempts,
                            std::optional<quint64> extraCycles,
                            std::function<void(int result)> done) {
    Cancel();
    // Addresses come as dotted text; one that does not resolve is a silent host.
    FAddress = ResolveHostAddress(host);
    FTimeoutMs = std::max(timeoutMs, 0);
    FAttempts = std::max(attempts, 1);
    FAttemptsLeft = FAttempts;
    FCyclesLeft = extraCycles.value_or(0);
    FCycled = extraCycles.has_value();
    FDone = std::move(done);
    Attempt();
}

void TSharedEchoWait::After(int milliseconds, std::function<void()> next) {
    FAfterPause = std::move(next);
    FPause.start(milliseconds);
}

void TSharedEchoWait::Attempt() {
    if (FAddress == 0) {
        After(FTimeoutMs, [this] { Unanswered(); });
        return;
    }
    FEcho = FHub->Send(FAddress, FTimeoutMs, [this](bool answered) {
        FEcho = 0;
        if (answered)
            Finish(0);
        else
            Unanswered();
    });
}

void TSharedEchoWait::Unanswered() {
    // The pause follows every unanswered attempt, the last one's too; the pause between
    // cycles follows the last cycle's too.
    After(EchoAttemptPauseMs, [this] {
        if (--FAttemptsLeft > 0)
            Attempt();
        else if (!FCycled)
            Finish(1);
        else
            After(EchoCyclePauseMs, [this] { NextCycle(); });
    });
}

void TSharedEchoWait::NextCycle() {
    if (FCyclesLeft == 0) {
        Finish(1);
        return;
    }
    --FCyclesLeft;
    FAttemptsLeft = FAttempts;
    Attempt();
}

void TSharedEchoWait::Finish(int result) {
    // From a fresh turn of the event loop, as the threaded wait delivers it: whoever is told
    // may end this wait, or the hub's last user.
    const unsigned generation = FGeneration;
    QMetaObject::invokeMethod(
        &FReceiver,
        [this, generation, result] {
            if (generation != FGeneration || !FDone)
                return;
            const auto done = std::move(FDone);
            FDone = {};
            done(result);
        },
        Qt::QueuedConnection);
}

void TSharedEchoWait::Cancel() {
    ++FGeneration;
    FPause.stop();
    FAfterPause = {};
    if (FEcho != 0)
        FHub->Forget(FEcho);
    FEcho = 0;
    FDone = {};
}
