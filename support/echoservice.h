// What an echo service is, whichever way it reaches the network.
#pragma once

#include <QString>

#include <functional>
#include <stdexcept>

// The ICMP echo service could not be opened ("Invalid handle"). The reason says why, for the
// log; the user sees only the message.
class EPingError : public std::runtime_error {
public:
    explicit EPingError(const QString &message, const QString &reason = QString())
        : std::runtime_error(message.toStdString())
        , FReason(reason) {}
    QString Message() const { return QString::fromStdString(what()); }
    const QString &Reason() const { return FReason; }

private:
    QString FReason;
};

struct TEchoReply {
    bool Answered = false;
    unsigned char Ttl = 0;
    unsigned RoundTripTime = 0; // milliseconds
};

// One open echo service: sends one echo request and waits for its answer.
class TEchoService {
public:
    virtual ~TEchoService() = default;
    // address in network byte order. A reply that reports an error (destination unreachable,
    // time exceeded) for this request counts as an answer too.
    virtual TEchoReply Echo(quint32 address, int timeoutMs) = 0;
    // A service that waits for a child program waits in short steps through this sleep, so
    // that a caller whose sleep ends the wait (by throwing) stops the child as well.
    virtual void SetSleep(std::function<void(int milliseconds)> sleep) { (void)sleep; }
    // A descriptor that becomes readable when the caller wants a wait cut short: an echo then
    // ends at once, unanswered. A service that cannot watch one ignores it.
    virtual void SetInterrupt(int fd) { (void)fd; }
};

// Whether the address (network byte order) belongs to this host. A "host unreachable" that
// this host reports itself means that nothing answered its address resolution on the local
// link: no device is there, so such a report is no answer.
bool IsOwnAddress(quint32 address);
