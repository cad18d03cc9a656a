// Turns Ctrl+C (SIGINT), SIGTERM and a hang-up (SIGHUP) into a call in the event loop while it
// exists, so that a command can stop its children and report instead of dying half way.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace cli {

class InterruptWatch : public QObject {
public:
    // `interrupted` runs in the event loop once per signal. One watch at a time.
    explicit InterruptWatch(std::function<void()> interrupted, QObject *parent = nullptr);
    ~InterruptWatch() override;

private:
    std::function<void()> Interrupted;
    QSocketNotifier *Notifier = nullptr;
};

// Outside a watch, the same signals still end the program as usual, but stop the child groups
// it tracks first (support/childprocess.h), which the terminal's signal does not reach. A
// signal ignored at start (nohup) stays ignored.
void StopChildrenOnSignals();

} // namespace cli
