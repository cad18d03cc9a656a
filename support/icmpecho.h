#pragma once

#include <QString>

#include <functional>
#include <memory>
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

// The echo service of this system: an unprivileged ICMP datagram socket when the system allows
// one, else a raw socket. Replies are matched by sequence number, because the system rewrites
// the identifier of a datagram socket's requests.
class TIcmpSocket : public TEchoService {
public:
    // nullptr when neither kind of socket can be opened; whyNot (if given) then says why.
    static std::unique_ptr<TIcmpSocket> Open(QString *whyNot = nullptr);
    ~TIcmpSocket() override;
    TEchoReply Echo(quint32 address, int timeoutMs) override;
    void SetInterrupt(int fd) override { FInterruptFd = fd; }
    bool IsRaw() const { return FRaw; }

private:
    TIcmpSocket(int fd, bool raw);
    void DropStaleErrors();
    int FFd;
    bool FRaw;
    int FInterruptFd = -1;
};

// The system's ping program, for a user who may open no ICMP socket: the program carries its
// own privilege. One "ping -n -c 1" per echo, started without a shell under LC_ALL=C, and
// stopped at the echo's time-out. Its printed lines decide, as on the socket path: a reply
// gives its TTL and time, an error that another host reports for the request ("From X ...
// Unreachable") counts as an answer, one that this host reports itself does not.
class TPingProgram : public TEchoService {
public:
    // Looks "ping" up in searchPath (":"-separated); nullptr, with the reason, when it is not
    // there.
    static std::unique_ptr<TPingProgram> Open(const QString &searchPath, QString *whyNot = nullptr);
    // Throws EPingError "Invalid handle" when the program cannot be started or cannot send
    // (it could not open its own socket).
    TEchoReply Echo(quint32 address, int timeoutMs) override;
    void SetSleep(std::function<void(int milliseconds)> sleep) override;
    const QString &Program() const { return FProgram; }

private:
    explicit TPingProgram(const QString &program);
    void Pause(int milliseconds);
    QString FProgram;
    std::function<void(int)> FSleep;
};

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
