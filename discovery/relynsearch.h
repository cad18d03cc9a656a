// Discovery engine: one broadcast, a collection of replies, then one info query per device.
#pragma once

#include "discovery/relyn.h"
#include "discovery/relynnetwork.h"
#include "discovery/relynpar.h"
#include "discovery/relyntypenames.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

// Addresses first to last (host order), both included.
struct TRelynRange {
    std::uint32_t First = 0;
    std::uint32_t Last = 0;
    qint64 Count() const { return qint64{Last} - First + 1; }
};

// Where one search asks. By default: a broadcast out of every interface that can broadcast.
struct TRelynSearchScope {
    static constexpr int DefaultRate = 1000;
    static constexpr qint64 MaxRangeAddresses = 65536;

    // Names of the interfaces to broadcast out of; empty: all.
    QStringList Interfaces;
    // When given, no broadcast: the discovery query goes to each address of the ranges.
    QList<TRelynRange> Ranges;
    int Rate = DefaultRate; // datagrams per second of a range search
    // When given and set, the search ends within StopCheckMs with what it has heard so far.
    std::shared_ptr<const std::atomic<bool>> Stop;
};

// "192.0.2.0/24" (or a bare address) to the addresses a range search sends to: all of them,
// but the network and broadcast addresses of a prefix up to /30. False with the reason when
// the text is no such range.
bool RelynParseRange(const QString &text, TRelynRange &range, QString &error);

// The same addresses as the ranges, each once: sorted, overlapping and adjacent ones joined.
QList<TRelynRange> RelynMergeRanges(QList<TRelynRange> ranges);

class TRelynSearch {
public:
    using EndpointFactory = std::function<std::unique_ptr<TRelynEndpoint>()>;

    static constexpr int WaitMs = 200;
    // However long devices go on replying (a flood repeats its replies, other senders keep
    // answering), the broadcast's collection and the info queries each end by these.
    static constexpr int CollectLimitMs = 1500;
    static constexpr int InfoLimitMs = 1500;
    // Longest a sweep waits for room to send one query before counting it refused.
    static constexpr int SendBusyLimitMs = 5000;
    // A device may be heard twice on one link (it answers each copy of the query it gets); the
    // same reply again from the same sender on the same link is a flood, not another device.
    static constexpr int SameReplyLimit = 2;
    static constexpr int StopCheckMs = 50;

    // The factory gives one endpoint per search; by default a TRelyn on the limited broadcast.
    // Interfaces and routes come from the network; by default the system's, but only with the
    // default endpoint: an engine given its own endpoint (tests) broadcasts once, as the
    // system chooses, and leaves every record reachable.
    explicit TRelynSearch(EndpointFactory endpointFactory = {},
                          std::shared_ptr<const TRelynNetwork> network = {});

    void SetScope(const TRelynSearchScope &scope) { Scope = scope; }
    // The interfaces the last search broadcast out of (none for a range search, and none when
    // the system chose).
    const QList<TRelynInterface> &AskedInterfaces() const { return Asked; }
    // Sends of the last range search that the system refused.
    qint64 RefusedSends() const { return Refused; }

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
    // What the last search passed over, one line each: datagrams no device sends (empty or
    // over-long) and replies from a network's own or broadcast address.
    const QStringList &Skipped() const { return SkippedLines; }
    // Whether the last search ended early at the scope's stop request.
    bool Stopped() const { return StoppedEarly; }

private:
    struct TStopped {};
    bool StopAsked() const { return Scope.Stop && Scope.Stop->load(); }
    void Run(TRelynEndpoint &endpoint, qsizetype first, QList<int> &arrivals);
    void BroadcastQuery(TRelynEndpoint &endpoint);
    void Sweep(TRelynEndpoint &endpoint, QList<int> &arrivals);
    // One record per datagram; its interface noted. False when the datagram was skipped.
    bool AddRecord(const TRelynDatagram &reply, QList<int> &arrivals);
    void SkipRepeat(const TRelynDatagram &reply);
    // Every new record's info query goes out at once; each reply is matched to the record
    // asked by its sender and interface, then the same for the legacy query where needed.
    void QueryInfos(TRelynEndpoint &endpoint, qsizetype first, const QList<int> &arrivals);
    void Collect(TRelynEndpoint &endpoint, const QByteArray &query, QList<qsizetype> pending,
                 const QList<int> &arrivals, qsizetype first,
                 const std::function<void(TRelynPar &, const QByteArray &)> &take);
    // One wait of the search; a datagram that no device sends is noted and skipped (it comes
    // back as not arrived only when the wait ends).
    TRelynDatagram Wait(TRelynEndpoint &endpoint, int timeoutMs = WaitMs);
    // Whether the sender is no device's address: the network's own or its broadcast address.
    QString NoDeviceSender(const TRelynDatagram &reply) const;

    EndpointFactory MakeEndpoint;
    std::shared_ptr<const TRelynNetwork> Network;
    TRelynSearchScope Scope;
    QList<TRelynInterface> Asked;
    qint64 Refused = 0;
    TRelynTypeNames Types;
    QString NamesFilePath;
    QList<TRelynPar> Records;
    QStringList SkippedLines;
    QHash<QByteArray, int> Heard; // per search: replies by sender, link and content
    bool StoppedEarly = false;
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
