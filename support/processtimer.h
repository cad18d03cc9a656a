#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>

// Counts the seconds of a run and the seconds since its last finished output line. It ticks in
// the event loop of the thread that owns it (the user interface thread); workers read the
// counters and clear the silence from their own threads.
class TProcessTimer : public QObject {
    Q_OBJECT
public:
    explicit TProcessTimer(QObject *parent = nullptr);

    // Sets both counters to 0 and starts ticking every second. Gives the run's generation, which
    // End needs, so that the end of an older run does not stop a newer one's counting.
    unsigned Restart();
    void OutputSeen() { FSecondsSilent.store(0); }
    // May be called from any thread; the timer stops counting at once.
    void End(unsigned generation);

    int SecondsRunning() const { return FSecondsRunning.load(); }
    int SecondsSilent() const { return FSecondsSilent.load(); }
    bool Active() const { return (FState.load() & 1u) != 0; }

signals:
    // After the counters were advanced.
    void Ticked();

private:
    void Tick();

    QTimer FTimer;
    std::atomic<int> FSecondsRunning{0};
    std::atomic<int> FSecondsSilent{0};
    // Generation times 2, plus 1 while counting: one word, so End and Restart cannot interleave.
    std::atomic<unsigned> FState{0};
};
