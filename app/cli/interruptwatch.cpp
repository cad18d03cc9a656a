#include "app/cli/interruptwatch.h"

#include "support/childprocess.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace cli {

namespace {

// The write end of the pipe the handler signals through; only async-signal-safe calls use it.
volatile sig_atomic_t writeEnd = -1;
int pipeEnds[2] = {-1, -1};
struct sigaction previousInt;
struct sigaction previousTerm;
struct sigaction previousHup;

void onSignal(int) {
    const int saved = errno;
    if (writeEnd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(writeEnd, &byte, 1);
    }
    errno = saved;
}

// Runs once (the handler resets itself) and ends the program by the signal as it would have.
void onEndingSignal(int signal) {
    KillTrackedChildGroups();
    ::raise(signal);
}

} // namespace

void StopChildrenOnSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current = {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action = {};
        action.sa_handler = onEndingSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        ::sigaction(signal, &action, nullptr);
    }
}

InterruptWatch::InterruptWatch(std::function<void()> interrupted, QObject *parent)
    : QObject(parent)
    , Interrupted(std::move(interrupted)) {
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return; // without the pipe the signals keep their usual effect
    }
    writeEnd = pipeEnds[1];
    Notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(pipeEnds[0], bytes, sizeof bytes) > 0) {
        }
        Interrupted();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInt);
    ::sigaction(SIGTERM, &action, &previousTerm);
    ::sigaction(SIGHUP, &action, &previousHup);
}

InterruptWatch::~InterruptWatch() {
    if (!Notifier) {
        return;
    }
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    ::sigaction(SIGHUP, &previousHup, nullptr);
    writeEnd = -1;
    delete Notifier;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

} // namespace cli
