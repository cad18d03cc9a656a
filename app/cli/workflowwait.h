// The event loop that a command runs while a workflow of the window program goes on.
#pragma once

#include "app/cli/interruptwatch.h"

#include <QEventLoop>
#include <functional>
#include <optional>

namespace cli {

// Calls `start`, then runs the event loop until `workflow` emits `finished`; not at all when it
// did so inside `start`. With `interrupted`, Ctrl+C, SIGTERM and SIGHUP call it meanwhile, and it
// should bring the workflow to its end; without, they end the program as usual.
template <typename Workflow, typename... Args>
void startAndWait(Workflow &workflow, void (Workflow::*finished)(Args...),
                  const std::function<void()> &start,
                  const std::function<void()> &interrupted = {}) {
    QEventLoop loop;
    bool done = false;
    QObject::connect(&workflow, finished, &loop, [&done, &loop] {
        done = true;
        loop.quit();
    });
    start();
    if (done) {
        return;
    }
    std::optional<InterruptWatch> watch;
    if (interrupted) {
        watch.emplace(interrupted);
    }
    loop.exec();
}

} // namespace cli
