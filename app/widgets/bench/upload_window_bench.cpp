// The upload window with a thousand rows: from Start to the last row ended, with a stand-in
// client that reports its progress in steps as the real one does, and how long the window's
// event loop was ever kept from its turn meanwhile (what a technician feels as a frozen window).
// Nothing leaves this computer: firmware uploads have no restart wait and no check.
#include "app/widgets/bench/windowbench.h"
#include "app/widgets/dialogs.h"
#include "app/widgets/uploadwindow.h"
#include "app/workflows/uploadmodel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>

namespace {

class TYesDialogs : public TDialogs {
public:
    QString ChooseFolder(QWidget *, const QString &) override { return {}; }
    QString OpenFile(QWidget *, const QString &, const QString &) override { return {}; }
    QString SaveFile(QWidget *, const QString &, const QString &) override { return {}; }
    void Message(QWidget *, TMessageKind, const QString &, const QString &) override {}
    bool Confirm(QWidget *, const QString &, const QString &) override { return true; }
};

class TSilentEcho : public TEchoService {
public:
    TEchoReply Echo(quint32, int) override { return {}; }
};

QString GClient;
QString GImage;

// Arguments: rows, transfers at once.
void BM_UploadWindowRows(benchmark::State &state) {
    TUploadRequest request;
    request.Kind = TFleetUpload::fkFirmware;
    request.File = GImage;
    request.Parallel = int(state.range(1));
    request.Settings.ClientProgram = GClient;
    request.Settings.TickMs = 100;
    // An echo that never answers stands in for the system's, should a client fail.
    request.Settings.Echo.OpenService = [] {
        return std::make_unique<TSilentEcho>();
    };
    // One address per row: the upload lock refuses a second upload to the same one. Nothing is
    // ever sent to them.
    for (int n = 0; n < state.range(0); ++n)
        request.Targets.append(
            {QStringLiteral("10.0.%1.%2").arg(n / 200).arg(n % 200 + 11), {}, {}, {}, true});
    TYesDialogs dialogs;
    qint64 longestGap = 0;
    for (auto _ : state) {
        QElapsedTimer beat;
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        qint64 gap = 0;
        QObject::connect(&heartbeat, &QTimer::timeout,
                         [&] { gap = std::max(gap, beat.restart()); });
        beat.start();
        heartbeat.start(5);
        TfUpload *window = TfUpload::Open(request, dialogs);
        QEventLoop ended;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
            if (!window->Running())
                ended.quit();
        });
        poll.start(20);
        ended.exec();
        longestGap = std::max(longestGap, gap);
        if (window->Model()
                .index(int(state.range(0)) - 1, TUploadModel::ucOutcome)
                .data()
                .toString() != QStringLiteral("done"))
            state.SkipWithError("the last row did not end done");
        delete window;
    }
    state.counters["longest_stall_ms"] = double(longestGap);
}
BENCHMARK(BM_UploadWindowRows)
    ->Args({1000, 64})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    return RunWindowBenchmarks(argc, argv, [](const QTemporaryDir &folder) {
        // The upload locks, in a folder of the run's own.
        qputenv("XDG_RUNTIME_DIR", folder.path().toLocal8Bit());
        GClient = folder.filePath(QStringLiteral("client"));
        GImage = folder.filePath(QStringLiteral("X5.bin"));
        QFile client(GClient);
        QFile image(GImage);
        if (!client.open(QIODevice::WriteOnly) || !image.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "upload_window_bench: no stand-in client\n");
            return false;
        }
        image.write("image");
        // Ten steps of progress, as the real client's meter moves, over about half a second.
        client.write("#!/bin/sh\nfor p in 10 20 30 40 50 60 70 80 90; do\n"
                     "  printf '\\r####  %s.0%%' $p; sleep 0.05\ndone\n"
                     "printf '\\r######## 100.0%%\\n'\n");
        client.close();
        return client.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
}
