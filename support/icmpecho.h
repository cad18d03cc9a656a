#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

// The ICMP echo service could not be opened ("Invalid handle").
class EPingError : public std::runtime_error {
public:
    explicit EPingError(const QString &message)
        : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromStdString(what()); }
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
    // A descriptor that becomes readable when the caller wants a wait cut short: an echo then
    // ends at once, unanswered. A service that cannot watch one ignores it.
    virtual void SetInterrupt(int fd) { (void)fd; }
};

// The echo service of this system: an unprivileged ICMP datagram socket when the system allows
// one, else a raw socket. Replies are matched by sequence number, because the system rewrites
// the identifier of a datagram socket's requests.
class TIcmpSocket : public TEchoService {
public:
    // nullptr when neither kind of socket can be opened.
    static std::unique_ptr<TIcmpSocket> Open();
    ~TIcmpSocket() override;
    TEchoReply Echo(quint32 address, int timeoutMs) override;
    void SetInterrupt(int fd) override { FInterruptFd = fd; }
    bool IsRaw() const { return FRaw; }

private:
    TIcmpSocket(int fd, bool raw);
    int FFd;
    bool FRaw;
    int FInterruptFd = -1;
};

// What the echo operations use from the system, so that tests of the attempt and cycle logic
// run on a virtual clock.
struct TEchoEnvironment {
    // An empty pointer means the service cannot be opened.
    std::function<std::unique_ptr<TEchoService>()> OpenService;
    std::function<quint32(const QString &host)> Resolve;
    std::function<void(int milliseconds)> Sleep;

    static TEchoEnvironment System();
};

// The first IPv4 address of a host name or dotted address, in network byte order; 0.0.0.0 when
// the text does not resolve. A text of digits and dots only is never looked up as a name.
quint32 ResolveHostAddress(const QString &host);

// Sends up to `attempts` echo requests (at least one), each waiting `timeoutMs` for an answer
// and followed by a 500 ms pause when unanswered. A host that does not resolve gets no request
// and is treated as silent. ttl and roundTripTime are 0 unless an answer came. Throws
// EPingError "Invalid handle" when the echo service cannot be opened.
bool PingHost(const QString &host, qint32 timeoutMs, unsigned char attempts, unsigned char &ttl,
              unsigned &roundTripTime, const TEchoEnvironment &environment);
bool PingHost(const QString &host, qint32 timeoutMs, unsigned char attempts, unsigned char &ttl,
              unsigned &roundTripTime);

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
