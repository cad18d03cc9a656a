// The Devices window from its opening to a filled table, on a search that answers at once: a
// journal of 10,000 devices and 100,000 events beside it, or none. The difference is what the
// journal costs the technician.
#include "app/core/bench/journalsite.h"
#include "app/core/journal.h"
#include "app/widgets/bench/windowbench.h"
#include "app/widgets/deviceswindow.h"
#include "app/widgets/dialogs.h"
#include "app/workflows/journalrecorder.h"

#include <QApplication>
#include <QEventLoop>
#include <QTableView>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

using journalsite::KDevices;
using journalsite::Mac;

class TNoDialogs : public TDialogs {
public:
    QString ChooseFolder(QWidget *, const QString &) override { return {}; }
    QString OpenFile(QWidget *, const QString &, const QString &) override { return {}; }
    QString SaveFile(QWidget *, const QString &, const QString &) override { return {}; }
    void Message(QWidget *, TMessageKind, const QString &, const QString &) override {}
};

TRelynPar Device(int n, int moved) {
    TRelynPar par;
    par.IPAddress = journalsite::Address(n, moved);
    par.MACAddress = Mac(n);
    par.Firmware = QStringLiteral("3.1");
    par.DeviceType = QStringLiteral("P8510");
    par.Description = QStringLiteral("hall %1").arg(n);
    par.Interface = QStringLiteral("eth0");
    par.Network = QStringLiteral("10.0.0.0/8");
    par.Reachable = true;
    return par;
}

// The first count devices, every seventh at another address than before.
QList<TRelynPar> Network(int count) {
    QList<TRelynPar> devices;
    for (int n = 0; n < count; ++n)
        devices << Device(n, n % 7 == 0);
    return devices;
}

QString GPath;

// The site's journal, and a search of the whole site last.
bool Fill() {
    TJournal journal(GPath);
    if (!journal.Open() || !journalsite::Fill(journal, journalsite::KEvents - 1))
        return false;
    QList<TJournalDevice> all;
    for (int n = 0; n < KDevices; ++n)
        all << journalsite::Device(n, false);
    return journal.RecordSearch(all);
}

// Arguments: the devices the search finds, and whether the journal is there.
void BM_DevicesWindowFilled(benchmark::State &state) {
    const QList<TRelynPar> network = Network(int(state.range(0)));
    const bool withJournal = state.range(1) != 0;
    TNoDialogs dialogs;
    QObject context;
    for (auto _ : state) {
        // A new recorder each time: the window opens the journal as a new Quillet does.
        std::shared_ptr<TJournalRecorder> recorder;
        if (withJournal)
            recorder = std::make_shared<TJournalRecorder>(GPath);
        const TRelynBackgroundSearch::Search search = TJournalRecorder::Recording(
            recorder, &context, [&network](const QString &, const TRelynSearchScope &) {
                return TRelynSearchOutcome{network, {}, 0, {}};
            });
        TfDevices window(dialogs, search);
        if (recorder)
            window.SetJournal(recorder);
        QEventLoop filled;
        QObject::connect(&window, &TfDevices::SearchEnded, &filled, &QEventLoop::quit);
        window.show();
        filled.exec();
        // The table drawn once with what it holds.
        window.TvDevices->viewport()->repaint();
        if (window.TvDevices->model()->rowCount() < network.size())
            state.SkipWithError("the table is not filled");
    }
}
BENCHMARK(BM_DevicesWindowFilled)
    ->ArgsProduct({{50, KDevices}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The journal's own share of a window filled with the whole site: recording the search, then
// what the columns read.
void BM_RecordSearchOfTheSite(benchmark::State &state) {
    TJournal journal(GPath);
    journal.Open();
    QList<TJournalDevice> all;
    for (int n = 0; n < KDevices; ++n)
        all << journalsite::Device(n, false);
    for (auto _ : state)
        journal.RecordSearch(all);
}
BENCHMARK(BM_RecordSearchOfTheSite)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument: 0 names, 1 last uploads, 2 marks.
void BM_ColumnReads(benchmark::State &state) {
    TJournal journal(GPath);
    journal.Open();
    for (auto _ : state) {
        switch (state.range(0)) {
        case 0:
            benchmark::DoNotOptimize(journal.Labels());
            break;
        case 1:
            benchmark::DoNotOptimize(journal.LastUploads());
            break;
        default:
            benchmark::DoNotOptimize(journal.Marks());
        }
    }
}
BENCHMARK(BM_ColumnReads)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    return RunWindowBenchmarks(argc, argv, [](const QTemporaryDir &folder) {
        GPath = folder.filePath(QStringLiteral("journal.sqlite"));
        if (Fill())
            return true;
        std::fprintf(stderr, "devices_bench: the journal could not be filled\n");
        return false;
    });
}
