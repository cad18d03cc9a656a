// Turns Ctrl+C (SIGINT) and SIGTERM into a call in the event loop while it exists, so that a
// command can stop its children and report instead of dying half way.
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

} // namespace cli
