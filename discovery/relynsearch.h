// Discovery engine: one broadcast, a collection of replies, then one info query per device.
#pragma once

#include "relyn.h"
#include "relynpar.h"
#include "relyntypenames.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

class TRelynSearch {
public:
    using EndpointFactory = std::function<std::unique_ptr<TRelynEndpoint>()>;

    static constexpr int WaitMs = 200;

    // The factory gives one endpoint per search; by default a TRelyn on the limited broadcast.
    explicit TRelynSearch(EndpointFactory endpointFactory = {});

    // Stores the path and loads the type names from it at once.
    void SetNamesFile(const QString &path);
    QString NamesFile() const { return NamesFilePath; }

    // Appends one record per discovery reply, in arrival order. Raises ESocketError on socket
    // failures and ERelynError on a zero-length datagram.
    void Search();

    const QList<TRelynPar> &Results() const { return Records; }
    int Count() const { return static_cast<int>(Records.size()); }
    const TRelynPar &Item(int index) const { return Records.at(index); }

    const TRelynTypeNames &TypeNames() const { return Types; }

private:
    void QueryInfo(TRelynEndpoint &endpoint, TRelynPar &record);
    // One wait of the search; a zero-length datagram ends the search with an error.
    static TRelynDatagram Wait(TRelynEndpoint &endpoint);

    EndpointFactory MakeEndpoint;
    TRelynTypeNames Types;
    QString NamesFilePath;
    QList<TRelynPar> Records;
};

// The pure parts of reading the replies, reachable by tests.
namespace RelynReply {
inline constexpr int DiscoveryLength = 30;
inline constexpr int InfoLength = 130;
inline constexpr int DescriptionLength = 65;
inline constexpr int InfoDescriptionStart = 4;
inline constexpr int LegacyDescriptionStart = 36;
// Byte 82 is also the first number of the firmware text; bytes 83 to 85 follow it.
inline constexpr int FamilyByte = 82;
inline constexpr int ModelByte = 86;

QByteArray DiscoveryQuery();
QByteArray InfoQuery();
QByteArray LegacyInfoQuery();

// "02-00-00-12-34-5F" from a 30-byte discovery reply; "N/A" for any other length.
QString MacText(const QByteArray &discoveryReply);
// "1-6-5.03" from bytes 82 to 85 of a 130-byte info block.
QString FirmwareText(const QByteArray &infoReply);
// True when the device's info block carries the description (see the thresholds inside).
bool IsCurrentFirmware(const QString &firmware);
// Up to 65 bytes from start, ended early by a zero byte; empty unless the reply is 130 bytes.
QString Description(const QByteArray &reply, int start);
} // namespace RelynReply
