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

    // The pieces of an echo for a caller that waits for many at once on the descriptor.
    // Sequences come from one counter of the process, so no two requests in flight share one.
    static quint16 NewSequence();
    // A request that cannot leave (a failed address resolution on the own link, no route) is
    // no answer and no reason to stop waiting: the device may be on its way back.
    void Send(quint32 address, quint16 sequence);
    struct TArrival {
        enum TKind {
            aNone,   // nothing more to read now
            aOther,  // about no request of this socket's, or no answer
            aAnswer, // the answer to the request with this sequence
        };
        TKind Kind = aNone;
        quint16 Sequence = 0;
        unsigned char Ttl = 0;
    };
    // One message, without waiting: from the error queue (where a datagram socket keeps the
    // reports about its requests) or from the socket itself.
    TArrival Read(bool errorQueue);
    int Descriptor() const { return FFd; }

private:
    TIcmpSocket(int fd, bool raw);
    void DropStaleErrors();
    quint16 Identifier() const;
    int FFd;
    bool FRaw;
    int FInterruptFd = -1;
};
