// ICMP echo messages as bytes: the request this system sends, and what it makes of what an
// ICMP socket hands back. No sockets here.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

struct TEchoId {
    quint16 Identifier = 0;
    quint16 Sequence = 0;
};

// An echo request with 32 bytes of data and its checksum.
QByteArray EchoRequest(TEchoId id);

struct TIcmpVerdict {
    enum TKind {
        ivUnrelated,  // about another request, of another type, or too short to tell
        ivReply,      // the echo reply to the request
        ivErrorReport // an error reported for the request (unreachable, time exceeded, ...)
    };
    TKind Kind = ivUnrelated;
    // Who sent the reply or report, in network byte order; 0 where the bytes do not say.
    quint32 From = 0;
    // Of the packet that came, where the bytes say.
    unsigned char Ttl = 0;
};

// A packet as a raw socket reads it: the IP header, then ICMP. It sees every ICMP message of
// the host, so both identifier and sequence must match; an error report carries the start of
// the request it is about.
TIcmpVerdict ReadIcmpPacket(QByteArrayView packet, TEchoId request);
// The sequence of the request that a raw socket's packet answers or reports on, when it carries
// the identifier; -1 when it is about no request of this identifier's.
int RawPacketSequence(QByteArrayView packet, quint16 identifier);
// The sequence of a datagram socket's message, or of a request copy from its error queue; -1
// when the bytes are too short to hold one.
int MessageSequence(QByteArrayView message);
// A message as a datagram socket reads it, without the IP header. The system rewrites the
// identifier of such a socket's requests, so only the sequence is compared.
TIcmpVerdict ReadIcmpMessage(QByteArrayView message, quint16 sequence);
// The copy of a request that a datagram socket's error queue holds beside the report that
// reporter (network byte order) sent about it.
TIcmpVerdict ReadQueuedRequest(QByteArrayView request, quint16 sequence, quint32 reporter);

// A reply answers; so does an error report, unless this host reported it itself.
bool IsAnswer(const TIcmpVerdict &verdict, const std::function<bool(quint32)> &isOwnAddress);
