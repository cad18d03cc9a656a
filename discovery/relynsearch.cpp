#include "discovery/relynsearch.h"

#include "discovery/relynerror.h"

#include "support/nethelpers.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>

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

bool RelynParseRange(const QString &text, TRelynRange &range, QString &error) {
    const QStringList parts = text.split(u'/');
    std::uint32_t address = 0;
    const bool isAddress = parts.size() <= 2 && RelynParseAddress(parts[0], address);
    // Digits only: toInt would take "-0" or "+8" too.
    bool ok = parts.size() < 2 || std::all_of(parts[1].begin(), parts[1].end(),
                                              [](QChar c) { return c >= u'0' && c <= u'9'; });
    const int length = parts.size() == 2 && ok ? parts[1].toInt(&ok) : 32;
    if (!isAddress || !ok || length < 0 || length > 32 ||
        (parts.size() == 2 && parts[1].size() > 2)) {
        error =
            QCoreApplication::translate("RelynSearch", "'%1' is not a range such as 192.0.2.0/24.")
                .arg(text);
        return false;
    }
    const std::uint32_t mask = length == 0 ? 0 : ~std::uint32_t{0} << (32 - length);
    range.First = address & mask;
    range.Last = range.First | ~mask;
    // The network and broadcast addresses of a subnet are no device's.
    if (length <= 30) {
        ++range.First;
        --range.Last;
    }
    return true;
}

QList<TRelynRange> RelynMergeRanges(QList<TRelynRange> ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const TRelynRange &a, const TRelynRange &b) { return a.First < b.First; });
    QList<TRelynRange> merged;
    for (const TRelynRange &range : ranges) {
        if (!merged.isEmpty() && qint64{range.First} <= qint64{merged.back().Last} + 1)
            merged.back().Last = std::max(merged.back().Last, range.Last);
        else
            merged.append(range);
    }
    return merged;
}

TRelynSearch::TRelynSearch(EndpointFactory endpointFactory,
                           std::shared_ptr<const TRelynNetwork> network)
    : MakeEndpoint(std::move(endpointFactory))
    , Network(std::move(network)) {
    if (!MakeEndpoint) {
        MakeEndpoint = [] {
            return std::make_unique<TRelyn>();
        };
        if (!Network)
            Network = MakeSystemNetwork();
    }
}

void TRelynSearch::SetNamesFile(const QString &path) {
    NamesFilePath = path;
    Types.LoadFromFile(path);
}

TRelynDatagram TRelynSearch::Wait(TRelynEndpoint &endpoint, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    static const QString overLong = ESocketError::FromErrno(EMSGSIZE).Message();
    for (;;) {
        if (StopAsked())
            throw TStopped();
        const int left = static_cast<int>(std::max<qint64>(
            0, std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count()));
        TRelynDatagram datagram;
        try {
            // A search that can be stopped looks at its stop request at least this often.
            const int step = Scope.Stop ? std::min(left, StopCheckMs) : left;
            datagram = endpoint.Receive(step);
            if (!datagram.Arrived && step < left)
                continue;
        } catch (const ESocketError &error) {
            // One hostile or broken sender must not end everyone's search.
            if (error.Message() != overLong)
                throw;
            SkippedLines << QCoreApplication::translate(
                                "RelynSearch", "A datagram of more than %1 bytes was skipped.")
                                .arg(RelynReceiveBufferSize);
            continue;
        }
        if (datagram.Arrived && datagram.Data.isEmpty()) {
            SkippedLines << QCoreApplication::translate("RelynSearch",
                                                        "An empty datagram from %1 was skipped.")
                                .arg(datagram.SenderAddress);
            continue;
        }
        return datagram;
    }
}

void TRelynSearch::Search() {
    SkippedLines.clear();
    Heard.clear();
    StoppedEarly = false;
    std::unique_ptr<TRelynEndpoint> endpoint = MakeEndpoint();
    const qsizetype first = Records.size();
    QList<int> arrivals;
    try {
        Run(*endpoint, first, arrivals);
    } catch (const TStopped &) {
        // What was heard so far stays, without the info that was not asked for.
        StoppedEarly = true;
        for (qsizetype i = first; i < Records.size(); ++i) {
            if (Records[i].Firmware.isEmpty())
                Records[i].Firmware = Records[i].DeviceType = RelynNotAvailable;
        }
    }
}

void TRelynSearch::Run(TRelynEndpoint &endpoint, qsizetype first, QList<int> &arrivals) {
    using Clock = std::chrono::steady_clock;
    if (Scope.Ranges.isEmpty()) {
        BroadcastQuery(endpoint);
        // Every datagram of the collection is a device of its own, duplicates included (a
        // device heard on two interfaces is listed for each); the collection ends with the
        // first wait without a new device, whichever interfaces were asked, or at its limit.
        // Skipped datagrams (a flood's repeats) do not hold it.
        const auto limit = Clock::now() + std::chrono::milliseconds(CollectLimitMs);
        auto quiet = Clock::now() + std::chrono::milliseconds(WaitMs);
        for (;;) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(std::min(limit, quiet) - Clock::now());
            if (left.count() <= 0)
                break;
            const TRelynDatagram reply = Wait(endpoint, static_cast<int>(left.count()));
            if (!reply.Arrived)
                break;
            if (AddRecord(reply, arrivals))
                quiet = Clock::now() + std::chrono::milliseconds(WaitMs);
        }
    } else {
        Sweep(endpoint, arrivals);
    }
    QueryInfos(endpoint, first, arrivals);
}

void TRelynSearch::BroadcastQuery(TRelynEndpoint &endpoint) {
    Asked.clear();
    if (Network) {
        for (const TRelynInterface &interface : Network->BroadcastInterfaces()) {
            if (Scope.Interfaces.isEmpty() || Scope.Interfaces.contains(interface.Name))
                Asked.append(interface);
        }
        for (const QString &name : Scope.Interfaces) {
            const bool found = std::any_of(Asked.begin(), Asked.end(),
                                           [&](const auto &asked) { return asked.Name == name; });
            if (!found)
                throw ERelynError(
                    QCoreApplication::translate(
                        "RelynSearch", "%1: no such interface that is up and can broadcast.")
                        .arg(name));
        }
    }
    if (Asked.isEmpty()) {
        endpoint.Broadcast(RelynReply::DiscoveryQuery(), RelynDevicePort);
        return;
    }
    // An interface that fails (gone down since it was listed) does not end a search that
    // others can still answer.
    std::exception_ptr failure;
    qsizetype sent = 0;
    for (const TRelynInterface &interface : Asked) {
        try {
            endpoint.BroadcastVia(RelynReply::DiscoveryQuery(), RelynDevicePort, interface.Index);
            ++sent;
        } catch (const ESocketError &) {
            failure = std::current_exception();
        }
    }
    if (sent == 0 && failure)
        std::rethrow_exception(failure);
}

void TRelynSearch::Sweep(TRelynEndpoint &endpoint, QList<int> &arrivals) {
    using Clock = std::chrono::steady_clock;
    Asked.clear();
    Refused = 0;
    const auto interval = std::chrono::nanoseconds(1'000'000'000LL / std::max(Scope.Rate, 1));
    const auto start = Clock::now();
    qint64 sent = 0;
    // A device in two overlapping ranges is asked, and listed, once.
    for (const TRelynRange &range : RelynMergeRanges(Scope.Ranges)) {
        for (qint64 address = range.First; address <= qint64{range.Last}; ++address) {
            // Replies are read while the sweep goes on, until this send is due.
            for (;;) {
                const auto left = start + sent * interval - Clock::now();
                if (left <= Clock::duration::zero())
                    break;
                const int waitMs = static_cast<int>(std::max<qint64>(
                    1, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
                const TRelynDatagram reply = Wait(endpoint, waitMs);
                if (reply.Arrived)
                    AddRecord(reply, arrivals);
            }
            // A full send buffer (queries held for unresolved neighbours) is waited out while
            // replies are read, up to a bound so that a stuck link cannot hold the sweep.
            if (StopAsked())
                throw TStopped();
            const QString target = RelynAddressText(static_cast<std::uint32_t>(address));
            const auto giveUp = Clock::now() + std::chrono::milliseconds(SendBusyLimitMs);
            int error;
            while ((error = endpoint.TrySendTo(target, RelynDevicePort,
                                               RelynReply::DiscoveryQuery())) == EAGAIN &&
                   Clock::now() < giveUp) {
                const TRelynDatagram reply = Wait(endpoint, 1);
                if (reply.Arrived)
                    AddRecord(reply, arrivals);
            }
            if (error != 0)
                ++Refused;
            ++sent;
        }
    }
    const auto end = Clock::now() + std::chrono::milliseconds(WaitMs);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0)
            break;
        const TRelynDatagram reply = Wait(endpoint, static_cast<int>(left));
        if (reply.Arrived)
            AddRecord(reply, arrivals);
    }
}

QString TRelynSearch::NoDeviceSender(const TRelynDatagram &reply) const {
    std::uint32_t address = 0;
    if (!RelynParseAddress(reply.SenderAddress, address))
        return {};
    if (address == 0 || address == ~std::uint32_t{0})
        return QCoreApplication::translate(
                   "RelynSearch", "A reply from %1, which is no device's address, was skipped.")
            .arg(reply.SenderAddress);
    if (!Network || reply.InterfaceIndex <= 0)
        return {};
    const auto asked = std::find_if(Asked.begin(), Asked.end(), [&](const auto &interface) {
        return interface.Index == reply.InterfaceIndex;
    });
    const TRelynInterface interface =
        asked != Asked.end() ? *asked : Network->Interface(reply.InterfaceIndex);
    for (const TRelynSubnet &subnet : interface.Subnets) {
        if (subnet.PrefixLength < 1 || subnet.PrefixLength > 30)
            continue;
        const std::uint32_t mask = ~std::uint32_t{0} << (32 - subnet.PrefixLength);
        const std::uint32_t network = subnet.Address & mask;
        if (address == network || address == (network | ~mask))
            return QCoreApplication::translate(
                       "RelynSearch", "A reply from %1, the network's own or broadcast address on "
                                      "%2 (%3), was skipped.")
                .arg(reply.SenderAddress, interface.Name, subnet.NetworkText());
    }
    return {};
}

namespace {
QByteArray HeardKey(const TRelynDatagram &reply) {
    return reply.SenderAddress.toLatin1() + '/' + QByteArray::number(reply.InterfaceIndex) + '/' +
           reply.Data;
}
} // namespace

void TRelynSearch::SkipRepeat(const TRelynDatagram &reply) {
    const QString why =
        QCoreApplication::translate("RelynSearch", "Repeated replies from %1 were skipped.")
            .arg(reply.SenderAddress);
    if (!SkippedLines.contains(why))
        SkippedLines << why;
}

bool TRelynSearch::AddRecord(const TRelynDatagram &reply, QList<int> &arrivals) {
    // Asking such a sender for its info would be a broadcast, which the system refuses.
    if (const QString why = NoDeviceSender(reply); !why.isEmpty()) {
        if (!SkippedLines.contains(why))
            SkippedLines << why;
        return false;
    }
    if (++Heard[HeardKey(reply)] > SameReplyLimit) {
        SkipRepeat(reply);
        return false;
    }
    TRelynPar record;
    record.IPAddress = reply.SenderAddress;
    record.MACAddress = RelynReply::MacText(reply.Data);
    if (Network && reply.InterfaceIndex > 0) {
        const auto asked = std::find_if(Asked.begin(), Asked.end(), [&](const auto &interface) {
            return interface.Index == reply.InterfaceIndex;
        });
        const TRelynInterface interface =
            asked != Asked.end() ? *asked : Network->Interface(reply.InterfaceIndex);
        record.Interface = interface.Name;
        record.Network = interface.NetworksText();
        std::uint32_t address = 0;
        if (RelynParseAddress(record.IPAddress, address))
            record.Reachable = Network->RoutesVia(address, interface.Name);
    }
    Records.append(record);
    arrivals.append(reply.InterfaceIndex);
    return true;
}

void TRelynSearch::QueryInfos(TRelynEndpoint &endpoint, qsizetype first,
                              const QList<int> &arrivals) {
    QList<qsizetype> all;
    for (qsizetype i = first; i < Records.size(); ++i) {
        Records[i].Firmware = RelynNotAvailable;
        Records[i].DeviceType = RelynNotAvailable;
        all << i;
    }
    Collect(endpoint, RelynReply::InfoQuery(), all, arrivals, first,
            [this](TRelynPar &record, const QByteArray &reply) {
                if (reply.size() == RelynReply::InfoLength) {
                    record.Firmware = RelynReply::FirmwareText(reply);
                    record.DeviceType =
                        Types.TypeName(static_cast<std::uint8_t>(reply.at(RelynReply::FamilyByte)),
                                       static_cast<std::uint8_t>(reply.at(RelynReply::ModelByte)));
                }
                record.Description =
                    RelynReply::Description(reply, RelynReply::InfoDescriptionStart);
            });
    QList<qsizetype> legacy;
    for (qsizetype i = first; i < Records.size(); ++i) {
        if (!RelynReply::IsCurrentFirmware(Records[i].Firmware)) {
            Records[i].Description.clear();
            legacy << i;
        }
    }
    Collect(endpoint, RelynReply::LegacyInfoQuery(), legacy, arrivals, first,
            [](TRelynPar &record, const QByteArray &reply) {
                record.Description =
                    RelynReply::Description(reply, RelynReply::LegacyDescriptionStart);
            });
}

void TRelynSearch::Collect(TRelynEndpoint &endpoint, const QByteArray &query,
                           QList<qsizetype> pending, const QList<int> &arrivals, qsizetype first,
                           const std::function<void(TRelynPar &, const QByteArray &)> &take) {
    using Clock = std::chrono::steady_clock;
    for (qsizetype i = 0; i < pending.size();) {
        TRelynPar &record = Records[pending[i]];
        endpoint.SetRemoteHost(record.IPAddress);
        endpoint.SetRemotePort(RelynDevicePort);
        // Out of the interface the device answered on: a device outside the computer's subnets
        // is still on that link, and two devices of one address on two links each get their
        // own. A send the system refuses leaves that device without its info, not the search.
        try {
            endpoint.SendVia(query, arrivals[pending[i] - first]);
            ++i;
        } catch (const ESocketError &) {
            pending.removeAt(i);
        }
    }
    // Ends with the first wait without an answer, or at its limit.
    const auto limit = Clock::now() + std::chrono::milliseconds(InfoLimitMs);
    auto quiet = Clock::now() + std::chrono::milliseconds(WaitMs);
    while (!pending.isEmpty()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(std::min(limit, quiet) - Clock::now());
        if (left.count() <= 0)
            break;
        const TRelynDatagram reply = Wait(endpoint, static_cast<int>(left.count()));
        if (!reply.Arrived)
            break;
        // A sender's discovery reply again is a flood's repeat, not its answer.
        if (Heard.contains(HeardKey(reply))) {
            SkipRepeat(reply);
            continue;
        }
        // Only the device asked, on the link it was asked on, fills its row; any other sender
        // is passed over.
        const auto match = std::find_if(pending.begin(), pending.end(), [&](qsizetype index) {
            const int asked = arrivals[index - first];
            return Records[index].IPAddress == reply.SenderAddress &&
                   (asked == 0 || reply.InterfaceIndex == 0 || asked == reply.InterfaceIndex);
        });
        if (match == pending.end())
            continue;
        take(Records[*match], reply.Data);
        pending.erase(match);
        quiet = Clock::now() + std::chrono::milliseconds(WaitMs);
    }
}
