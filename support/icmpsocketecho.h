// The echo service over an ICMP socket of this system.
#pragma once

#include "support/echoservice.h"

#include <memory>

// An unprivileged ICMP datagram socket when the system allows one, else a raw socket.
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
