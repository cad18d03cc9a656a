#pragma once

#include "support/childprocess.h"
#include "support/linesplitter.h"
#include "support/processtimer.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TDosCommand;

enum class TOutputType { WholeLine = 0, PartialLine = 1 };

using TNewLineEvent =
    std::function<void(TDosCommand *sender, const QString &newLine, TOutputType outputType)>;
using TNotifyEvent = std::function<void(TDosCommand *sender)>;
using TStartFailedEvent = std::function<void(TDosCommand *sender, const QString &reason)>;

// The worker of one run: starts the child and watches it on a thread of its own. It gets
// everything it uses at creation, so later changes to the runner do not reach it.
class TDosThread {
public:
    struct TSetup {
        TDosCommand *Sender = nullptr;
        QString CommandLine;
        std::shared_ptr<QStringList> CapturedLines;
        QStringList *LiveLines = nullptr;
        TProcessTimer *Timer = nullptr;
        unsigned TimerGeneration = 0;
        int MaxTimeAfterBeginning = 0;
        int MaxTimeAfterLastOutput = 0;
        TNewLineEvent OnNewLine;
        TNotifyEvent OnTerminated;
        TStartFailedEvent OnStartFailed;
    };

    explicit TDosThread(TSetup setup);
    // Stops and waits for the run when it is still going.
    ~TDosThread();

    TDosThread(const TDosThread &) = delete;
    TDosThread &operator=(const TDosThread &) = delete;

    void RequestStop();
    // Makes the worker look at the time limits now (the timer has ticked).
    void Wake();
    // From here on no callback and no signal is made; one already running completes.
    void Detach();
    bool Finished() const { return FFinished.load(); }
    // Waits for the end of the run. On the user interface thread it keeps delivering what other
    // threads hand over to it meanwhile (queued and blocking queued calls), so a callback that
    // hands work over does not lock up.
    void Wait();
    // Joins the thread of a finished run.
    void Join();

    int ExitCode() const { return FExitCode.load(); }
    // Why the child could not be started; empty when it was.
    QString StartError() const;

private:
    void Run();
    bool StartChild();
    void Watch();
    qsizetype ReadOutput(qsizetype limit);
    void DrainOutput();
    void DeliverLine(const QByteArray &bytes);
    void DeliverTail(const QByteArray &bytes);
    void CallOnNewLine(const QString &text, TOutputType type);
    bool LimitPassed() const;
    void FinishRun(bool childEnded);

    class TSink;

    TSetup FSetup;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FDetached{false};
    std::atomic<bool> FFinished{false};
    std::atomic<int> FExitCode{-1};
    mutable std::mutex FMutex;
    std::condition_variable FDone;
    QString FStartError;

    pid_t FPid = -1;
    int FPidFd = -1;
    int FInputWrite = -1;
    int FOutputRead = -1;
    int FWakeFd = -1;
    bool FKilled = false;
    bool FUnfinishedShowing = false;
    std::vector<char> FBuffer;
    TLineSplitter FSplitter;
    std::unique_ptr<TSink> FSink;
    std::thread FThread;
};

// Runs one command line in a child process without a shell, turns what it writes to its
// standard output and standard error into lines, and reports the end of the run.
//
// The callbacks are called on the worker thread. For a window, connect to the signals instead
// (with a context object in the user interface thread): they are emitted right after the
// callbacks, from the worker thread, and so arrive queued in the receiver's thread. Abort
// delivers such queued calls before it returns.
class TDosCommand : public QObject {
    Q_OBJECT
public:
    explicit TDosCommand(QObject *owner = nullptr);
    // A run still going is stopped (its child killed) without further callbacks or signals.
    ~TDosCommand() override;

    const QString &CommandLine() const { return FCommandLine; }
    void SetCommandLine(const QString &commandLine) { FCommandLine = commandLine; }
    // Every finished line of the latest run, in order. Read it after the end was reported.
    const QStringList &CapturedLines() const { return *FCapturedLines; }
    // A list of the user's that the worker keeps up to date while the child runs, unfinished
    // line included (as its last entry, replaced in place). The user leaves it alone until the
    // run has ended.
    QStringList *LiveLines() const { return FLiveLines; }
    void SetLiveLines(QStringList *lines) { FLiveLines = lines; }
    void SetOnNewLine(TNewLineEvent handler) { FOnNewLine = std::move(handler); }
    void SetOnTerminated(TNotifyEvent handler) { FOnTerminated = std::move(handler); }
    // Called instead of OnTerminated when the child cannot be started, with the reason.
    void SetOnStartFailed(TStartFailedEvent handler) { FOnStartFailed = std::move(handler); }
    // Seconds; 0 or less means no limit. Passing a limit ends the watch, not the child.
    int MaxTimeAfterBeginning() const { return FMaxTimeAfterBeginning; }
    void SetMaxTimeAfterBeginning(int seconds) { FMaxTimeAfterBeginning = seconds; }
    int MaxTimeAfterLastOutput() const { return FMaxTimeAfterLastOutput; }
    void SetMaxTimeAfterLastOutput(int seconds) { FMaxTimeAfterLastOutput = seconds; }

    // Starts the command line on a new worker and returns at once. An empty command line does
    // nothing at all.
    void Start();
    // Stops the newest run: kills the child's process group and waits until the worker has
    // delivered the unfinished tail and reported the end.
    void Abort();

    // The exit status of the newest run's child; -1 while it runs, when it was killed, when
    // the watch ended before it, or when it could not be started.
    int ExitCode() const;
    // Why the newest run's child could not be started; empty otherwise.
    QString StartError() const;
    bool Running() const;
    TProcessTimer *Timer() const { return FTimer; }

signals:
    void NewLine(const QString &newLine, TOutputType outputType);
    void Terminated();
    void StartFailed(const QString &reason);

private:
    friend class TDosThread;
    void TimerTicked();
    void ForgetFinishedWorkers();

    QString FCommandLine;
    std::shared_ptr<QStringList> FCapturedLines;
    QStringList *FLiveLines = nullptr;
    TNewLineEvent FOnNewLine;
    TNotifyEvent FOnTerminated;
    TStartFailedEvent FOnStartFailed;
    int FMaxTimeAfterBeginning = 0;
    int FMaxTimeAfterLastOutput = 0;
    TProcessTimer *FTimer = nullptr;
    // Earlier runs still going beside the newest one, which is last.
    std::vector<std::unique_ptr<TDosThread>> FWorkers;
    TDosThread *FWorker = nullptr;
    int FLastExitCode = -1;
    QString FLastStartError;
};
