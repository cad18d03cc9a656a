// Echo requests to a host, as the workflows send them: attempts, pauses and the restart
// wait's cycles, over whichever echo service this system allows.
#pragma once

#include "support/echoservice.h"

#include <QString>

#include <functional>
#include <memory>

// What the echo operations use from the system, so that tests of the attempt and cycle logic
// run on a virtual clock.
struct TEchoEnvironment {
    // An empty pointer means the service cannot be opened.
    std::function<std::unique_ptr<TEchoService>()> OpenService;
    std::function<quint32(const QString &host)> Resolve;
    std::function<void(int milliseconds)> Sleep;
    // Receives the reason when the echo service cannot be used; may be empty.
    std::function<void(const QString &line)> Log;

    // Sockets first, else the ping program on PATH; the log is Qt's warning output.
    static TEchoEnvironment System();
};

// The first IPv4 address of a host name or dotted address, in network byte order; 0.0.0.0 when
// the text does not resolve. A text of digits and dots only is never looked up as a name.
quint32 ResolveHostAddress(const QString &host);

// Sends up to `attempts` echo requests (at least one), each waiting `timeoutMs` for an answer
// and followed by a 500 ms pause when unanswered. A host that does not resolve gets no request
// and is treated as silent. Every attempt waits its whole time unless an answer comes.
// ttl and roundTripTime are 0 unless an answer came. Throws EPingError "Invalid handle" when
// the echo service cannot be opened or used, after handing its reason to the environment's Log.
bool PingHost(const QString &host, qint32 timeoutMs, unsigned char attempts, unsigned char &ttl,
              unsigned &roundTripTime, const TEchoEnvironment &environment);
bool PingHost(const QString &host, qint32 timeoutMs, unsigned char attempts, unsigned char &ttl,
              unsigned &roundTripTime);

// The restart wait's times, for those that run its cycles on an event loop instead.
inline constexpr int EchoAttemptPauseMs = 500;
inline constexpr int EchoCycleTimeoutMs = 3000;
inline constexpr int EchoCycleAttempts = 3;
inline constexpr int EchoCyclePauseMs = 21 * 50;

// Pings in cycles of 3 attempts of 3000 ms until the host answers, for at most extraCycles + 1
// cycles. Between cycles it pauses about a second: with a callback, 21 times 50 ms each followed
// by the callback (which typically serves the window's pending events); without, 1000 ms.
// Gives 0 when the host answered, 1 when it never did, -1 when an error ended the wait.
int WaitForHostAnswer(const QString &host, quint32 extraCycles,
                      const std::function<void()> &callback, const TEchoEnvironment &environment);
// The longest a WaitForHostAnswer with a callback can take when nothing ever answers.
int HostAnswerWaitLimitMs(quint32 extraCycles);
int WaitForHostAnswer(const QString &host, quint32 extraCycles,
                      const std::function<void()> &callback = {});
