#include "support/icmpmessage.h"

#include <cstring>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>

namespace {

constexpr qsizetype EchoDataSize = 32;
constexpr qsizetype IcmpHeaderSize = 8;
constexpr qsizetype MinIpHeaderSize = 20;

const unsigned char *Bytes(QByteArrayView data) {
    return reinterpret_cast<const unsigned char *>(data.data());
}

quint16 Read16(const unsigned char *p) {
    return static_cast<quint16>(p[0] << 8 | p[1]);
}

quint32 ReadAddress(const unsigned char *p) {
    quint32 address = 0;
    std::memcpy(&address, p, sizeof address);
    return address;
}

quint16 Checksum(const unsigned char *data, size_t size) {
    quint32 sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<quint32>(data[i] << 8 | data[i + 1]);
    if (size % 2)
        sum += static_cast<quint32>(data[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<quint16>(~sum);
}

bool IsErrorType(unsigned char type) {
    return type == ICMP_DEST_UNREACH || type == ICMP_SOURCE_QUENCH || type == ICMP_REDIRECT ||
           type == ICMP_TIME_EXCEEDED || type == ICMP_PARAMETERPROB;
}

// The length of the IPv4 header that starts the bytes; 0 when they hold none.
qsizetype IpHeaderSize(QByteArrayView bytes) {
    if (bytes.size() < MinIpHeaderSize)
        return 0;
    const qsizetype size = (Bytes(bytes)[0] & 0x0F) * 4;
    return size >= MinIpHeaderSize && size <= bytes.size() ? size : 0;
}

bool IsEcho(QByteArrayView icmp, unsigned char type, quint16 sequence, const quint16 *identifier) {
    const unsigned char *p = Bytes(icmp);
    return icmp.size() >= IcmpHeaderSize && p[0] == type && Read16(p + 6) == sequence &&
           (!identifier || Read16(p + 4) == *identifier);
}

} // namespace

QByteArray EchoRequest(TEchoId id) {
    QByteArray request(IcmpHeaderSize + EchoDataSize, '\0');
    auto *p = reinterpret_cast<unsigned char *>(request.data());
    p[0] = ICMP_ECHO;
    p[4] = static_cast<unsigned char>(id.Identifier >> 8);
    p[5] = static_cast<unsigned char>(id.Identifier);
    p[6] = static_cast<unsigned char>(id.Sequence >> 8);
    p[7] = static_cast<unsigned char>(id.Sequence);
    for (qsizetype i = 0; i < EchoDataSize; ++i)
        p[IcmpHeaderSize + i] = static_cast<unsigned char>('a' + i % 23);
    const quint16 sum = Checksum(p, static_cast<size_t>(request.size()));
    p[2] = static_cast<unsigned char>(sum >> 8);
    p[3] = static_cast<unsigned char>(sum);
    return request;
}

TIcmpVerdict ReadIcmpPacket(QByteArrayView packet, TEchoId request) {
    const qsizetype headerSize = IpHeaderSize(packet);
    if (headerSize == 0 || packet.size() < headerSize + IcmpHeaderSize)
        return {};
    const unsigned char *ip = Bytes(packet);
    const quint32 from = ReadAddress(ip + 12);
    const unsigned char ttl = ip[8];
    const QByteArrayView icmp = packet.sliced(headerSize);
    if (IsEcho(icmp, ICMP_ECHOREPLY, request.Sequence, &request.Identifier))
        return {TIcmpVerdict::ivReply, from, ttl};
    if (!IsErrorType(Bytes(icmp)[0]))
        return {};
    const QByteArrayView inner = icmp.sliced(IcmpHeaderSize);
    const qsizetype innerHeader = IpHeaderSize(inner);
    if (innerHeader == 0 || Bytes(inner)[9] != IPPROTO_ICMP ||
        !IsEcho(inner.sliced(innerHeader), ICMP_ECHO, request.Sequence, &request.Identifier))
        return {};
    return {TIcmpVerdict::ivErrorReport, from, ttl};
}

int RawPacketSequence(QByteArrayView packet, quint16 identifier) {
    const qsizetype headerSize = IpHeaderSize(packet);
    if (headerSize == 0 || packet.size() < headerSize + IcmpHeaderSize)
        return -1;
    QByteArrayView icmp = packet.sliced(headerSize);
    unsigned char type = ICMP_ECHOREPLY;
    if (IsErrorType(Bytes(icmp)[0])) {
        // The report carries the start of the request it is about.
        const QByteArrayView inner = icmp.sliced(IcmpHeaderSize);
        const qsizetype innerHeader = IpHeaderSize(inner);
        if (innerHeader == 0 || Bytes(inner)[9] != IPPROTO_ICMP)
            return -1;
        icmp = inner.sliced(innerHeader);
        type = ICMP_ECHO;
    }
    const unsigned char *p = Bytes(icmp);
    if (icmp.size() < IcmpHeaderSize || p[0] != type || Read16(p + 4) != identifier)
        return -1;
    return Read16(p + 6);
}

int MessageSequence(QByteArrayView message) {
    return message.size() < IcmpHeaderSize ? -1 : Read16(Bytes(message) + 6);
}

TIcmpVerdict ReadIcmpMessage(QByteArrayView message, quint16 sequence) {
    if (!IsEcho(message, ICMP_ECHOREPLY, sequence, nullptr))
        return {};
    return {TIcmpVerdict::ivReply, 0, 0};
}

TIcmpVerdict ReadQueuedRequest(QByteArrayView request, quint16 sequence, quint32 reporter) {
    // The queue holds nothing but this socket's own requests; their type is not looked at.
    if (request.size() < IcmpHeaderSize || Read16(Bytes(request) + 6) != sequence)
        return {};
    return {TIcmpVerdict::ivErrorReport, reporter, 0};
}

bool IsAnswer(const TIcmpVerdict &verdict, const std::function<bool(quint32)> &isOwnAddress) {
    return verdict.Kind == TIcmpVerdict::ivReply ||
           (verdict.Kind == TIcmpVerdict::ivErrorReport && !isOwnAddress(verdict.From));
}
