#include "support/processtimer.h"

TProcessTimer::TProcessTimer(QObject *parent)
    : QObject(parent)
    , FTimer(this) {
    FTimer.setTimerType(Qt::PreciseTimer);
    connect(&FTimer, &QTimer::timeout, this, &TProcessTimer::Tick);
}

unsigned TProcessTimer::Restart() {
    const unsigned generation = (FState.load() >> 1) + 1;
    FSecondsRunning.store(0);
    FSecondsSilent.store(0);
    FState.store(generation << 1 | 1u);
    FTimer.start(1000);
    return generation;
}

void TProcessTimer::End(unsigned generation) {
    // Only the newest run may end the counting; the QTimer itself stops at its next tick, in
    // its own thread.
    unsigned expected = generation << 1 | 1u;
    FState.compare_exchange_strong(expected, generation << 1);
}

void TProcessTimer::Tick() {
    if (!Active()) {
        FTimer.stop();
        return;
    }
    FSecondsRunning.fetch_add(1);
    FSecondsSilent.fetch_add(1);
    emit Ticked();
}

#include "moc_processtimer.cpp"
