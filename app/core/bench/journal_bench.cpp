// A journal of 10,000 devices and 100,000 events: opening it with what the Devices window
// shows, recording one search of 50 devices, and one device's history.
#include "app/core/journal.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

constexpr int KDevices = 10000;
constexpr int KSearchSize = 50;
constexpr int KEvents = 100000;

QString Mac(int n) {
    return QStringLiteral("02-00-00-%1-%2-%3")
        .arg(n >> 16 & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(n >> 8 & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(n & 0xFF, 2, 16, QLatin1Char('0'))
        .toUpper();
}

QList<TJournalDevice> Search(int first, int round) {
    QList<TJournalDevice> devices;
    for (int i = 0; i < KSearchSize; ++i) {
        const int n = (first + i) % KDevices;
        // Every seventh round a device answers from another address.
        devices << TJournalDevice{
            Mac(n),
            QStringLiteral("10.%1.%2.%3").arg(n >> 8).arg(n & 0xFF).arg(round % 7 == 0 ? 2 : 1),
            QStringLiteral("eth0"),
            QStringLiteral("3.1"),
            QStringLiteral("P8510"),
            QStringLiteral("hall %1").arg(n)};
    }
    return devices;
}

QString GPath;

// Searches that see every device, uploads for the rest, and a name for every fifth device.
bool Fill() {
    TJournal journal(GPath);
    if (!journal.Open())
        return false;
    int events = 0;
    for (int first = 0; first < KDevices; first += KSearchSize, ++events)
        journal.RecordSearch(Search(first, events));
    for (int n = 0; n < KDevices; n += 5)
        journal.SetName(Mac(n), QStringLiteral("device %1").arg(n));
    for (; events < KEvents; ++events) {
        TJournalUpload upload;
        upload.Mac = Mac(events * 7919 % KDevices);
        upload.Address = QStringLiteral("10.0.0.1");
        upload.File = QStringLiteral("/sites/hall/web%1.pmf").arg(events % 13);
        upload.Size = 65536;
        upload.Sha256 = QString(64, QLatin1Char('c'));
        upload.Outcome = QStringLiteral("done");
        if (!journal.RecordUpload(upload))
            return false;
    }
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
