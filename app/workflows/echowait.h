// The echoes an upload waits for once its transfer has ended, run away from the event loop.
#pragma once

#include "support/icmpecho.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <thread>

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
