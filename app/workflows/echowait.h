// The echoes an upload waits for once its transfer has ended, run away from the event loop.
#pragma once

#include "support/icmpecho.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <thread>

class TEchoHub;

// One wait at a time. Its result, and the lines that say why an echo could not be made, come
// back in the event loop of the thread that made the wait object, never after Cancel. An
// upload sees only this, so one echo service shared by many uploads can stand in for it.
class TEchoWait {
public:
    using TLog = std::function<void(const QString &line)>;
    virtual ~TEchoWait() = default;
    // One echo of timeoutMs; answered is false too when the echo service failed.
    virtual void Echo(const QString &host, int timeoutMs,
                      std::function<void(bool answered)> done) = 0;
    // The restart wait: WaitForHostAnswer's 0 (answered), 1 (never) or -1 (failed).
    virtual void WaitForAnswer(const QString &host, quint32 extraCycles,
                               std::function<void(int result)> done) = 0;
    // Ends the wait under way at once, an echo waiting for its answer included.
    virtual void Cancel() = 0;
};

// Each wait on a thread of its own, through the given echo service and times.
class TThreadEchoWait final : public TEchoWait {
public:
    TThreadEchoWait(TEchoEnvironment echo, TLog log);
    // Cancels the wait under way.
    ~TThreadEchoWait() override;
    void Echo(const QString &host, int timeoutMs, std::function<void(bool answered)> done) override;
    void WaitForAnswer(const QString &host, quint32 extraCycles,
                       std::function<void(int result)> done) override;
    void Cancel() override;

private:
    using TWork =
        std::function<int(const TEchoEnvironment &echo, const std::function<void()> &checkpoint)>;
    void Start(TWork work, std::function<void(int result)> done);

    struct TCancel;
    TEchoEnvironment FEcho;
    TLog FLog;
    // Where results and log lines are delivered; what is queued for it dies with it.
    QObject FReceiver;
    unsigned FGeneration = 0;
    std::thread FThread;
    std::shared_ptr<TCancel> FCancel;
};

// Each wait as a few timers on the event loop, its echoes through an echo hub that many waits
// share: a thousand restart waits need neither a thousand threads nor a thousand sockets.
// The attempts, time-outs and pauses are those of WaitForHostAnswer and PingHost.
class TSharedEchoWait final : public TEchoWait {
public:
    explicit TSharedEchoWait(std::shared_ptr<TEchoHub> hub);
    ~TSharedEchoWait() override;
    void Echo(const QString &host, int timeoutMs, std::function<void(bool answered)> done) override;
    void WaitForAnswer(const QString &host, quint32 extraCycles,
                       std::function<void(int result)> done) override;
    void Cancel() override;

private:
    // Without extraCycles one round of attempts, without the pause between cycles.
    void Start(const QString &host, int timeoutMs, int attempts, std::optional<quint64> extraCycles,
               std::function<void(int result)> done);
    void After(int milliseconds, std::function<void()> next);
    void Attempt();
    void Unanswered();
    void NextCycle();
    void Finish(int result);

    std::shared_ptr<TEchoHub> FHub;
    QTimer FPause;
    std::function<void()> FAfterPause;
    quint64 FEcho = 0;
    quint32 FAddress = 0;
    int FTimeoutMs = 0;
    int FAttempts = 0;
    int FAttemptsLeft = 0;
    // Cycles still to come after this one; a single echo has none and no pause between.
    quint64 FCyclesLeft = 0;
    bool FCycled = false;
    std::function<void(int result)> FDone;
    unsigned FGeneration = 0;
    QObject FReceiver;
};
