#include "ipassign/answerwait.h"

#include "ipassign/relynipchange.h"
#include "support/nethelpers.h"

#include <QElapsedTimer>
#include <QThread>
#include <algorithm>

std::optional<TRelynPar> RelynFindDeviceAt(const TRelynSearchFunction &search, const QString &mac,
                                           const QString &address, int waitMs,
                                           const std::function<bool()> &stop) {
    const QString wantedMac = RelynCanonicalMac(mac);
    QString wantedAddress = address;
    NormalizeIPText(wantedAddress);
    const auto stopped = [&stop] {
        return stop && stop();
    };
    // A search collects replies for a moment of its own; the pause keeps a quick failure (no
    // interface yet after the change) from spinning.
    constexpr int PauseMs = 200;
    constexpr int StepMs = 50;
    QElapsedTimer clock;
    clock.start();
    while (!stopped()) {
        try {
            for (const TRelynPar &record : search(QString())) {
                QString recordAddress = record.IPAddress;
                if (NormalizeIPText(recordAddress) && recordAddress == wantedAddress &&
                    RelynCanonicalMac(record.MACAddress) == wantedMac) {
                    return record;
                }
            }
        } catch (const std::exception &) {
            // Tried again until the time is up.
        }
        for (int paused = 0; paused < PauseMs && !stopped(); paused += StepMs) {
            const qint64 left = waitMs - clock.elapsed();
            if (left <= 0)
                return std::nullopt;
            QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, StepMs)));
        }
        if (waitMs - clock.elapsed() <= 0)
            return std::nullopt;
    }
    return std::nullopt;
}

TRelynAnswerWait::TRelynAnswerWait(TRelynSearchFunction search, QObject *parent)
    : QObject(parent)
    , FSearch(std::move(search)) {
}

TRelynAnswerWait::~TRelynAnswerWait() {
    Cancel();
    if (FWorker) {
        FWorker->wait();
        delete FWorker;
    }
}

bool TRelynAnswerWait::Start(const QString &mac, const QString &address, int waitMs) {
    if (FWorker)
        return false;
    FStop = std::make_shared<std::atomic<bool>>(false);
    FAnswered = std::make_shared<std::atomic<bool>>(false);
    FWaiting = true;
    // The thread gets copies of everything it uses, never this object.
    FWorker = QThread::create(
        [search = FSearch, stop = FStop, answered = FAnswered, mac, address, waitMs] {
            const auto found =
                RelynFindDeviceAt(search, mac, address, waitMs, [stop] { return stop->load(); });
            answered->store(found.has_value());
        });
    connect(FWorker, &QThread::finished, this, &TRelynAnswerWait::WorkerEnded);
    FWorker->start();
    return true;
}

void TRelynAnswerWait::Cancel() {
    if (FStop)
        FStop->store(true);
    FWaiting = false;
}

void TRelynAnswerWait::WorkerEnded() {
    FWorker->wait();
    delete FWorker;
    FWorker = nullptr;
    if (!FWaiting)
        return;
    FWaiting = false;
    emit Finished(FAnswered->load());
}

#include "moc_answerwait.cpp"
