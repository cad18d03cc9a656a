// The echo service through the system's ping program, for a user who may open no ICMP socket:
// the program carries its own privilege.
#pragma once

#include "support/echoservice.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <optional>

// One "ping -n -c 1" per echo, started without a shell under LC_ALL=C, and stopped at the
// echo's time-out. Its printed lines decide, as on the socket path: a reply gives its TTL and
// time, an error that another host reports for the request ("From X ... Unreachable") counts
// as an answer, one that this host reports itself does not.
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

struct TPingOutput {
    // The first reply line's TTL and time.
    std::optional<TEchoReply> Reply;
    // The hosts (network byte order) that reported an error for the request, in order.
    QList<quint32> Reporters;
};

// What ping's finished lines say about an echo to address (network byte order): only a reply
// from that address counts. A last line without its line end is left for later.
TPingOutput ReadPingOutput(const QByteArray &output, quint32 address);

// Why a ping that ended without an answer could not be used, or empty when it was (it sent
// its request and none came back). 0 and 1 are its own outcomes; 2 before its first request
// ("PING ..." line) is an error of its own, unless the request had no way out
// ("connect: Network is unreachable"), which is silence as on the socket path.
QString PingUnusableReason(const QByteArray &output, int exitStatus);
