// Two figures of the console command runner, printed as text:
//  - capture throughput for 50 MB of output, against a plain read of the same program's output
//    through a pipe;
//  - the CPU time this process spends while its runner watches a child that sleeps 10 s.
// Usage: support_runner_bench [megabytes] [sleep seconds]
#include "support/childprocess.h"
#include "support/doscommand.h"
#include "support/linesplitter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the command through the runner to its end, serving the event loop meanwhile.
qint64 RunWithRunner(const QString &commandLine, qsizetype *lines) {
    TDosCommand runner;
    QEventLoop loop;
    QObject::connect(&runner, &TDosCommand::Terminated, &loop, &QEventLoop::quit);
    runner.SetCommandLine(commandLine);
    QElapsedTimer clock;
    clock.start();
    runner.Start();
    loop.exec();
    const qint64 elapsed = clock.nsecsElapsed();
    if (lines)
        *lines = runner.CapturedLines().size();
    return elapsed;
}

// The same program with its output read through a pipe and thrown away.
qint64 RunIntoPipe(const QString &commandLine) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = SpawnCommandLine(commandLine, -1, fds[1], fds[1]);
    ::close(fds[1]);
    static char buffer[65536];
    while (::read(fds[0], buffer, sizeof buffer) > 0) {
    }
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    return clock.nsecsElapsed();
}

// Splitting and storing the same bytes as lines in this process, without a child: the share of
// the runner's time that goes into making and keeping the lines.
qint64 SplitInProcess(const QString &file, qsizetype *lines) {
    struct TStore : TLineSink {
        QStringList Lines;
        void WholeLine(const QByteArray &line) override { Lines << QString::fromLocal8Bit(line); }
        void PartialLine(const QByteArray &) override {}
    } store;
    QFile input(file);
    input.open(QIODevice::ReadOnly);
    QElapsedTimer clock;
    clock.start();
    TLineSplitter splitter;
    std::vector<char> buffer(65536);
    qint64 got = 0;
    while ((got = input.read(buffer.data(), static_cast<qint64>(buffer.size()))) > 0)
        splitter.Feed(buffer.data(), got, store);
    splitter.Finish(store);
    const qint64 elapsed = clock.nsecsElapsed();
    *lines = store.Lines.size();
    return elapsed;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 50;
    const int sleepSeconds = argc > 2 ? std::atoi(argv[2]) : 10;

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("output.txt"));
    {
        // 100-byte lines, as a chatty console program writes them.
        FILE *out = std::fopen(file.toLocal8Bit().constData(), "wb");
        const std::string line = std::string(99, 'x') + "\n";
        for (long long written = 0; written < megabytes * 1048576LL; written += 100)
            std::fwrite(line.data(), 1, line.size(), out);
        std::fclose(out);
    }
    const QString cat = QStringLiteral("cat ") + file;
    const double mb = megabytes;

    RunIntoPipe(cat); // warm the page cache
    const qint64 pipeNs = RunIntoPipe(cat);
    qsizetype lines = 0;
    const qint64 runnerNs = RunWithRunner(cat, &lines);
    std::printf("capture of %d MB (%lld lines):\n", megabytes, static_cast<long long>(lines));
    std::printf("  cat into a pipe: %8.1f ms  %8.1f MB/s\n", pipeNs / 1e6, mb / (pipeNs / 1e9));
    std::printf("  runner:          %8.1f ms  %8.1f MB/s  (%.2f times the pipe's time)\n",
                runnerNs / 1e6, mb / (runnerNs / 1e9), static_cast<double>(runnerNs) / pipeNs);
    qsizetype stored = 0;
    const qint64 splitNs = SplitInProcess(file, &stored);
    std::printf("  the same lines split and stored without a child: %8.1f ms (%lld lines)\n",
                splitNs / 1e6, static_cast<long long>(stored));

    const double cpuBefore = CpuSeconds();
    const qint64 sleepNs =
        RunWithRunner(QStringLiteral("sleep ") + QString::number(sleepSeconds), nullptr);
    const double cpu = CpuSeconds() - cpuBefore;
    std::printf("watching a child that sleeps %d s: %.1f ms CPU in %.1f s = %.3f %% of one core\n",
                sleepSeconds, cpu * 1e3, sleepNs / 1e9, 100.0 * cpu / (sleepNs / 1e9));
    return 0;
}
