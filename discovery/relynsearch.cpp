#include "relynsearch.h"

#include "relynerror.h"

#include <QStringList>

namespace RelynReply {

namespace {
QByteArray Query(char code) {
    return QByteArray("\0\0\0", 3) + code;
}

int Byte(const QByteArray &data, int index) {
    return static_cast<std::uint8_t>(data.at(index));
}
} // namespace

QByteArray DiscoveryQuery() {
    return Query(static_cast<char>(0xF6));
}
QByteArray InfoQuery() {
    return Query(static_cast<char>(0xE4));
}
QByteArray LegacyInfoQuery() {
    return Query(static_cast<char>(0xE6));
}

QString MacText(const QByteArray &discoveryReply) {
    if (discoveryReply.size() != DiscoveryLength)
        return RelynNotAvailable;
    return QString::fromLatin1(discoveryReply.mid(24, 6).toHex('-').toUpper());
}

QString FirmwareText(const QByteArray &infoReply) {
    const int last = Byte(infoReply, FamilyByte + 3);
    return QStringLiteral("%1-%2-%3.%4")
        .arg(Byte(infoReply, FamilyByte))
        .arg(Byte(infoReply, FamilyByte + 1))
        .arg(Byte(infoReply, FamilyByte + 2))
        .arg(last < 10 ? QStringLiteral("0%1").arg(last) : QString::number(last));
}

bool IsCurrentFirmware(const QString &firmware) {
    const QStringList parts = QString(firmware).replace(u'.', u'-').split(u'-');
    if (parts.size() != 4)
        return true;
    int value[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        value[i] = parts[i].toInt(&ok) & 0xFF;
        if (!ok)
            return false;
    }
    const int version = value[1] * 65536 + value[2] * 256 + value[3];
    switch (value[0]) {
    case 1:
        return version >= 4 * 65536 + 5 * 256;
    case 2:
        return version >= 5 * 65536 + 2 * 256;
    case 4:
        return version >= 4 * 65536 + 2 * 256;
    default:
        return false;
    }
}

QString Description(const QByteArray &reply, int start) {
    if (reply.size() != InfoLength)
        return QString();
    QByteArray text = reply.mid(start, DescriptionLength);
    const qsizetype zero = text.indexOf('\0');
    if (zero >= 0)
        text.truncate(zero);
    return QString::fromLatin1(text);
}

} // namespace RelynReply

TRelynSearch::TRelynSearch(EndpointFactory endpointFactory)
    : MakeEndpoint(std::move(endpointFactory)) {
    if (!MakeEndpoint)
        MakeEndpoint = [] {
            return std::make_unique<TRelyn>();
        };
}

void TRelynSearch::SetNamesFile(const QString &path) {
    NamesFilePath = path;
    Types.LoadFromFile(path);
}

TRelynDatagram TRelynSearch::Wait(TRelynEndpoint &endpoint) {
    TRelynDatagram datagram = endpoint.Receive(WaitMs);
    if (datagram.Arrived && datagram.Data.isEmpty())
        throw ERelynError(QStringLiteral("UDP Receive Error = 0."));
    return datagram;
}

void TRelynSearch::Search() {
    std::unique_ptr<TRelynEndpoint> endpoint = MakeEndpoint();
    endpoint->Broadcast(RelynReply::DiscoveryQuery(), RelynDevicePort);

    // Every datagram of the collection is a device of its own, duplicates included; the
    // collection ends with the first quiet wait.
    const qsizetype first = Records.size();
    for (;;) {
        const TRelynDatagram reply = Wait(*endpoint);
        if (!reply.Arrived)
            break;
        TRelynPar record;
        record.IPAddress = reply.SenderAddress;
        record.MACAddress = RelynReply::MacText(reply.Data);
        Records.append(record);
    }

    for (qsizetype i = first; i < Records.size(); ++i)
        QueryInfo(*endpoint, Records[i]);
}

void TRelynSearch::QueryInfo(TRelynEndpoint &endpoint, TRelynPar &record) {
    endpoint.SetRemoteHost(record.IPAddress);
    endpoint.SetRemotePort(RelynDevicePort);
    endpoint.Send(RelynReply::InfoQuery());
    QByteArray reply = Wait(endpoint).Data;

    record.Firmware = RelynNotAvailable;
    record.DeviceType = RelynNotAvailable;
    if (reply.size() == RelynReply::InfoLength) {
        record.Firmware = RelynReply::FirmwareText(reply);
        record.DeviceType =
            Types.TypeName(static_cast<std::uint8_t>(reply.at(RelynReply::FamilyByte)),
                           static_cast<std::uint8_t>(reply.at(RelynReply::ModelByte)));
    }

    int start = RelynReply::InfoDescriptionStart;
    if (!RelynReply::IsCurrentFirmware(record.Firmware)) {
        endpoint.Send(RelynReply::LegacyInfoQuery());
        reply = Wait(endpoint).Data;
        start = RelynReply::LegacyDescriptionStart;
    }
    record.Description = RelynReply::Description(reply, start);
}
