#include "support/commandline.h"
#include "support/doscommand.h"
#include "tools/testsupport/printers.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// runnerchild lies in the test program's own folder, which the runner searches first.
QString Child(const QStringList &actions) {
    QString line = QStringLiteral("runnerchild");
    for (const QString &action : actions)
        line += QLatin1Char(' ') + QuoteArgument(action);
    return line;
}

template <typename Predicate> bool WaitFor(Predicate done, int milliseconds = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return true;
}

// Records what the worker reports, from the worker's thread.
struct TRecorder {
    std::mutex Mutex;
    QList<QPair<QString, TOutputType>> Lines;
    std::atomic<int> Terminated{0};
    std::atomic<int> Failed{0};
    QString FailReason;

    void Attach(TDosCommand &runner) {
        runner.SetOnNewLine([this](TDosCommand *, const QString &line, TOutputType type) {
            std::lock_guard lock(Mutex);
            Lines.append({line, type});
        });
        runner.SetOnTerminated([this](TDosCommand *) { ++Terminated; });
        runner.SetOnStartFailed([this](TDosCommand *, const QString &reason) {
            std::lock_guard lock(Mutex);
            FailReason = reason;
            ++Failed;
        });
    }
    bool Ended() const { return Terminated.load() > 0 || Failed.load() > 0; }
};

QStringList RunToEnd(const QStringList &actions, TRecorder *recorder = nullptr) {
    TDosCommand runner;
    TRecorder own;
    TRecorder &rec = recorder ? *recorder : own;
    rec.Attach(runner);
    runner.SetCommandLine(Child(actions));
    runner.Start();
    EXPECT_TRUE(WaitFor([&] { return rec.Ended(); }));
    return runner.CapturedLines();
}

int OpenDescriptors() {
    int count = 0;
    DIR *dir = opendir("/proc/self/fd");
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    closedir(dir);
    return count - 1;
}

// Children of this process, zombies included, found through /proc.
int ChildProcesses() {
    int count = 0;
    const QString me = QString::number(getpid());
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile status(QStringLiteral("/proc/%1/status").arg(entry));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("PPid:") && line.mid(5).trimmed() == me.toLatin1())
                ++count;
        }
    }
    return count;
}

bool ProcessAlive(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && text.mid(close + 2, 1) != "Z";
}

pid_t ValueAfter(const QStringList &lines, const QString &prefix) {
    for (const QString &line : lines) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).toInt();
    }
    return -1;
}

} // namespace

TEST(DosCommandLines, LineEndsZeroBytesAndMergedStreams) {
    EXPECT_EQ(RunToEnd({QStringLiteral("out:a\\r\\nb\\n")}),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(RunToEnd({QStringLiteral("out:a\\n\\n")}),
              (QStringList{QStringLiteral("a"), QString()}));
    EXPECT_EQ(RunToEnd({QStringLiteral("out:x\\0y\\0\\n")}), QStringList{QStringLiteral("xy")});
    EXPECT_EQ(RunToEnd({QStringLiteral("out:1\\n"), QStringLiteral("err:2\\n"),
                        QStringLiteral("out:3\\n")}),
              (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    // Child text is in the local 8-bit encoding (UTF-8 here).
    EXPECT_EQ(RunToEnd({QStringLiteral("out:\\xc3\\xa9t\\xc3\\xa9\\n")}),
              QStringList{QString::fromUtf8("\xc3\xa9t\xc3\xa9")});
}

TEST(DosCommandLines, UnfinishedTailIsReportedPartialThenWhole) {
    TRecorder rec;
    const QStringList lines = RunToEnd({QStringLiteral("out:a\\rb")}, &rec);
    EXPECT_EQ(lines, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    ASSERT_EQ(rec.Lines.size(), 3);
    EXPECT_EQ(rec.Lines[1], qMakePair(QStringLiteral("b"), TOutputType::PartialLine));
    EXPECT_EQ(rec.Lines[2], qMakePair(QStringLiteral("b"), TOutputType::WholeLine));
}

TEST(DosCommandLines, CrAndLfInSeparateReadsGiveAnExtraEmptyLine) {
    EXPECT_EQ(RunToEnd({QStringLiteral("out:a\\r"), QStringLiteral("sleep:300"),
                        QStringLiteral("out:\\nb\\n")}),
              (QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")}));
}

TEST(DosCommandLines, LiveLinesReplaceTheUnfinishedEntryInPlace) {
    TDosCommand runner;
    TRecorder rec;
    rec.Attach(runner);
    QStringList live{QStringLiteral("before")};
    runner.SetLiveLines(&live);
    runner.SetCommandLine(Child({QStringLiteral("out:50%"), QStringLiteral("sleep:300"),
                                 QStringLiteral("out:\\ndone\\n")}));
    runner.Start();
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    EXPECT_EQ(live, (QStringList{QStringLiteral("before"), QStringLiteral("50%"),
                                 QStringLiteral("done")}));
    EXPECT_EQ(runner.CapturedLines(), (QStringList{QStringLiteral("50%"), QStringLiteral("done")}));
    ASSERT_GE(rec.Lines.size(), 2);
    EXPECT_EQ(rec.Lines[0], qMakePair(QStringLiteral("50%"), TOutputType::PartialLine));
    EXPECT_EQ(rec.Lines[1], qMakePair(QStringLiteral("50%"), TOutputType::WholeLine));
}

TEST(DosCommandRuns, ExitCodeAndSeveralRunsOfOneRunner) {
    TDosCommand runner;
    TRecorder rec;
    rec.Attach(runner);
    EXPECT_EQ(runner.ExitCode(), -1);
    runner.SetCommandLine(Child({QStringLiteral("out:one\\n"), QStringLiteral("exit:3")}));
    runner.Start();
    ASSERT_TRUE(WaitFor([&] { return rec.Terminated.load() == 1; }));
    EXPECT_EQ(runner.ExitCode(), 3);
    EXPECT_EQ(runner.CapturedLines(), QStringList{QStringLiteral("one")});

    runner.SetCommandLine(Child({QStringLiteral("out:two\\n")}));
    runner.Start();
    ASSERT_TRUE(WaitFor([&] { return rec.Terminated.load() == 2; }));
    EXPECT_EQ(runner.ExitCode(), 0);
    EXPECT_EQ(runner.CapturedLines(), QStringList{QStringLiteral("two")});

    // An empty command line starts nothing and keeps the lines.
    runner.SetCommandLine(QString());
    runner.Start();
    QThread::msleep(50);
    QCoreApplication::processEvents();
    EXPECT_EQ(rec.Terminated.load(), 2);
    EXPECT_EQ(runner.CapturedLines(), QStringList{QStringLiteral("two")});
}

TEST(DosCommandRuns, TheEndOfTheChildEndsTheWatchNotTheEndOfItsOutput) {
    // Output closed early: the watch goes on until the child ends.
    TDosCommand runner;
    TRecorder rec;
    rec.Attach(runner);
    runner.SetCommandLine(Child({QStringLiteral("out:a\\n"), QStringLiteral("close"),
                                 QStringLiteral("sleep:400"), QStringLiteral("exit:2")}));
    QElapsedTimer clock;
    clock.start();
    runner.Start();
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    EXPECT_GE(clock.elapsed(), 400);
    EXPECT_EQ(runner.ExitCode(), 2);
    EXPECT_EQ(runner.CapturedLines(), QStringList{QStringLiteral("a")});

    // A helper the child left behind still holds the output open: the watch ends with the child.
    runner.SetCommandLine(Child({QStringLiteral("grandchild"), QStringLiteral("out:done\\n")}));
    clock.restart();
    runner.Start();
    ASSERT_TRUE(WaitFor([&] { return rec.Terminated.load() == 2; }));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(runner.CapturedLines().last(), QStringLiteral("done"));
    const pid_t helper = ValueAfter(runner.CapturedLines(), QStringLiteral("gc="));
    ASSERT_GT(helper, 0);
    ::kill(helper, SIGKILL);
}

TEST(DosCommandRuns, StartWhileRunningKeepsEachRunsLinesApart) {
    TDosCommand runner;
    TRecorder rec;
    rec.Attach(runner);
    runner.SetCommandLine(Child({QStringLiteral("out:old\\n"), QStringLiteral("sleep:300"),
                                 QStringLiteral("out:older\\n")}));
    runner.Start();
    runner.SetCommandLine(Child({QStringLiteral("out:new\\n")}));
    runner.Start();
    // Both runs report their end; the runner shows the newest run's lines only.
    ASSERT_TRUE(WaitFor([&] { return rec.Terminated.load() == 2; }));
    EXPECT_EQ(runner.CapturedLines(), QStringList{QStringLiteral("new")});
    EXPECT_EQ(rec.Lines.size(), 3);
}

TEST(DosCommandRuns, ProgramThatCannotBeStartedIsReportedAtOnce) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // An executable in the current folder is not found by its bare name.
    const QString local = dir.filePath(QStringLiteral("localtool"));
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/runnerchild"),
                            local));
    const QString oldCurrent = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));

    for (const QString &line : {QStringLiteral("no_such_program_here /d \"a b\""),
                                QStringLiteral("cd /tmp"), QStringLiteral("localtool out:x")}) {
        TDosCommand runner;
        TRecorder rec;
        rec.Attach(runner);
        runner.SetCommandLine(line);
        QElapsedTimer clock;
        clock.start();
        runner.Start();
        ASSERT_TRUE(WaitFor([&] { return rec.Failed.load() == 1; }, 2000)) << line.toStdString();
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_EQ(rec.FailReason, line + QStringLiteral(" doesn't exist."));
        EXPECT_EQ(runner.StartError(), rec.FailReason);
        EXPECT_EQ(runner.ExitCode(), -1);
        QThread::msleep(20);
        EXPECT_EQ(rec.Terminated.load(), 0);
        EXPECT_TRUE(rec.Lines.isEmpty());
    }
    QDir::setCurrent(oldCurrent);
}

TEST(DosCommandAbort, KillsAChildWaitingOnItsInputAndDeliversTheTail) {
    TDosCommand runner;
    runner.Abort(); // no worker yet: nothing happens
    TRecorder rec;
    rec.Attach(runner);
    runner.SetCommandLine(
        Child({QStringLiteral("grandchild"), QStringLiteral("out:half"), QStringLiteral("stdin")}));
    runner.Start();
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard lock(rec.Mutex);
        return !rec.Lines.isEmpty() && rec.Lines.last().first == QStringLiteral("half");
    }));
    // The child blocks on its open, empty input until it is killed.
    QThread::msleep(100);
    EXPECT_EQ(rec.Terminated.load(), 0);

    QElapsedTimer clock;
    clock.start();
    runner.Abort();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(rec.Terminated.load(), 1);
    EXPECT_EQ(rec.Lines.last(), qMakePair(QStringLiteral("half"), TOutputType::WholeLine));
    EXPECT_EQ(runner.CapturedLines().last(), QStringLiteral("half"));
    EXPECT_EQ(runner.ExitCode(), -1);
    // The whole process group went, helpers included.
    const pid_t grandchild = ValueAfter(runner.CapturedLines(), QStringLiteral("gc="));
    ASSERT_GT(grandchild, 0);
    EXPECT_TRUE(WaitFor([&] { return !ProcessAlive(grandchild); }, 2000));
    runner.Abort();
    EXPECT_EQ(rec.Terminated.load(), 1);
}

TEST(DosCommandAbort, HandOverToTheInterfaceThreadDuringAbortDoesNotLockUp) {
    QObject context;
    TDosCommand runner;
    QStringList shown;
    bool onInterfaceThread = false;
    runner.SetOnTerminated([&](TDosCommand *sender) {
        QMetaObject::invokeMethod(
            &context,
            [&, sender] {
                onInterfaceThread = QThread::currentThread() == context.thread();
                shown = sender->CapturedLines();
                shown << QStringLiteral("Process done.");
            },
            Qt::BlockingQueuedConnection);
    });
    int signalled = 0;
    QObject::connect(&runner, &TDosCommand::Terminated, &context, [&] { ++signalled; });
    std::atomic<bool> up{false};
    runner.SetOnNewLine([&](TDosCommand *, const QString &, TOutputType) { up = true; });
    runner.SetCommandLine(Child({QStringLiteral("out:up\\n"), QStringLiteral("stdin")}));
    runner.Start();
    ASSERT_TRUE(WaitFor([&] { return up.load(); }));
    runner.Abort();
    EXPECT_TRUE(onInterfaceThread);
    EXPECT_EQ(shown, (QStringList{QStringLiteral("up"), QStringLiteral("Process done.")}));
    EXPECT_EQ(signalled, 1);
}

TEST(DosCommandAbort, DestroyingARunningRunnerStopsItQuietly) {
    TRecorder rec;
    pid_t pid = -1;
    {
        TDosCommand runner;
        rec.Attach(runner);
        runner.SetCommandLine(Child({QStringLiteral("pid"), QStringLiteral("sleep:20000")}));
        runner.Start();
        ASSERT_TRUE(WaitFor([&] {
            std::lock_guard lock(rec.Mutex);
            return !rec.Lines.isEmpty();
        }));
        pid = ValueAfter({rec.Lines.first().first}, QStringLiteral("pid="));
    }
    EXPECT_EQ(rec.Terminated.load(), 0);
    EXPECT_FALSE(ProcessAlive(pid));
}

TEST(DosCommandSignals, ArriveOnTheInterfaceThread) {
    QObject context;
    TDosCommand runner;
    QStringList lines;
    bool allOnInterfaceThread = true;
    bool terminated = false;
    QObject::connect(&runner, &TDosCommand::NewLine, &context,
                     [&](const QString &line, TOutputType type) {
                         allOnInterfaceThread &= QThread::currentThread() == context.thread();
                         if (type == TOutputType::WholeLine)
                             lines << line;
                     });
    QObject::connect(&runner, &TDosCommand::Terminated, &context, [&] { terminated = true; });
    QString failure;
    QObject::connect(&runner, &TDosCommand::StartFailed, &context,
                     [&](const QString &reason) { failure = reason; });
    runner.SetCommandLine(Child({QStringLiteral("out:x\\ny\\n")}));
    runner.Start();
    ASSERT_TRUE(WaitFor([&] { return terminated; }));
    EXPECT_TRUE(allOnInterfaceThread);
    EXPECT_EQ(lines, (QStringList{QStringLiteral("x"), QStringLiteral("y")}));

    runner.SetCommandLine(QStringLiteral("no_such_program_here"));
    runner.Start();
    ASSERT_TRUE(WaitFor([&] { return !failure.isEmpty(); }));
    EXPECT_EQ(failure, QStringLiteral("no_such_program_here doesn't exist."));
}

TEST(DosCommandLimits, RunTimeLimitEndsTheWatchAndLeavesTheChild) {
    TDosCommand runner;
    TRecorder rec;
    rec.Attach(runner);
    runner.SetMaxTimeAfterBeginning(1);
    runner.SetCommandLine(Child({QStringLiteral("pid"), QStringLiteral("sleep:8000")}));
    QElapsedTimer clock;
    clock.start();
    runner.Start();
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    // The watch ends at the first tick that passes the limit: the second one.
    EXPECT_GE(clock.elapsed(), 1900);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(runner.ExitCode(), -1);
    const pid_t pid = ValueAfter(runner.CapturedLines(), QStringLiteral("pid="));
    EXPECT_TRUE(ProcessAlive(pid));
    ::kill(pid, SIGKILL);
}

TEST(DosCommandLimits, OnlyFinishedLinesCountAsOutputForTheSilenceLimit) {
    TDosCommand runner;
    TRecorder rec;
    rec.Attach(runner);
    runner.SetMaxTimeAfterLastOutput(1);
    QStringList dots;
    for (int i = 0; i < 20; ++i)
        dots << QStringLiteral("out:.") << QStringLiteral("sleep:200");
    runner.SetCommandLine(Child(dots));
    QElapsedTimer clock;
    clock.start();
    runner.Start();
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    EXPECT_LT(clock.elapsed(), 3000);

    // Finished lines every 400 ms keep the watch going until the child ends by itself.
    QStringList lines;
    for (int i = 0; i < 7; ++i)
        lines << QStringLiteral("out:line\\n") << QStringLiteral("sleep:400");
    lines << QStringLiteral("exit:4");
    runner.SetCommandLine(Child(lines));
    runner.Start();
    ASSERT_TRUE(WaitFor([&] { return rec.Terminated.load() == 2; }));
    EXPECT_EQ(runner.ExitCode(), 4);
    EXPECT_EQ(runner.CapturedLines().size(), 7);
}

TEST(DosCommandResources, ThousandRunsLeakNoDescriptorsAndNoChildren) {
    const int descriptors = OpenDescriptors();
    const int children = ChildProcesses();
    TDosCommand runner;
    TRecorder rec;
    rec.Attach(runner);
    runner.SetCommandLine(Child({QStringLiteral("fds")}));
    for (int run = 1; run <= 1000; ++run) {
        runner.Start();
        ASSERT_TRUE(WaitFor([&] { return rec.Terminated.load() == run; }));
        if (run == 1) {
            // Standard input, output and error, nothing else.
            EXPECT_EQ(runner.CapturedLines(), QStringList{QStringLiteral("fds=3")});
        }
    }
    runner.Abort();
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(ChildProcesses(), children);
}
