// A journal of 10,000 devices and 100,000 events: opening it with what the Devices window
// shows, recording one search of 50 devices, and one device's history.
#include "app/core/bench/journalsite.h"
#include "app/core/journal.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

using journalsite::KDevices;
using journalsite::KEvents;
using journalsite::Mac;
constexpr int KSearchSize = 50;

// Every seventh round a device answers from another address.
QList<TJournalDevice> Search(int first, int round) {
    QList<TJournalDevice> devices;
    for (int i = 0; i < KSearchSize; ++i)
        devices << journalsite::Device((first + i) % KDevices, round % 7 == 0);
    return devices;
}

QString GPath;

bool Fill() {
    TJournal journal(GPath);
    if (!journal.Open() || !journalsite::Fill(journal, KEvents))
        return false;
    // The two searches the marks compare.
    journal.RecordSearch(Search(0, 1));
    return journal.RecordSearch(Search(20, 7));
}

void BM_OpenWithNamesUploadsAndMarks(benchmark::State &state) {
    for (auto _ : state) {
        TJournal journal(GPath);
        journal.Open();
        benchmark::DoNotOptimize(journal.Labels());
        benchmark::DoNotOptimize(journal.LastUploads());
        benchmark::DoNotOptimize(journal.Marks());
    }
}
BENCHMARK(BM_OpenWithNamesUploadsAndMarks)->Unit(benchmark::kMillisecond);

void BM_RecordSearchOf50(benchmark::State &state) {
    TJournal journal(GPath);
    journal.Open();
    int round = 0;
    for (auto _ : state)
        journal.RecordSearch(Search(round * 37 % KDevices, round)), ++round;
}
BENCHMARK(BM_RecordSearchOf50)->Unit(benchmark::kMillisecond);

void BM_HistoryOfOneDevice(benchmark::State &state) {
    TJournal journal(GPath);
    journal.Open();
    int n = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(journal.History({{Mac(n++ * 613 % KDevices)}, {}, 0}));
}
BENCHMARK(BM_HistoryOfOneDevice)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    QTemporaryDir folder;
    GPath = folder.filePath(QStringLiteral("journal.sqlite"));
    if (!Fill()) {
        std::fprintf(stderr, "journal_bench: the journal could not be filled\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
