#include "ipassign/relynipchange.h"

#include "ipassign/neighbourtable.h"
#include "support/commandline.h"
#include "support/nethelpers.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>

namespace {

// Bytes 0 to 13 of the IP-SETUP datagram: 00 00 00 FC, "IP-SETUP", 00 00.
const QString IPSetupHeader = QStringLiteral("000000FC49502D53455455500000");

// How long the ARP mode's connection attempt may take; a device that took the address answers
// at once (with a refusal), a silent one is given up on.
constexpr int ProbeTimeoutMs = 3000;
constexpr quint16 ProbePort = 1;

// No device can live on "this network" (0.x), loopback (127.x), multicast or the reserved and
// broadcast range above it: a change to one would only make the device unreachable.
bool AssignableAddress(const QString &normalAddress) {
    std::array<unsigned char, 4> bytes{};
    if (!IPTextToBytes(normalAddress, bytes))
        return false;
    return bytes[0] != 0 && bytes[0] != 127 && bytes[0] < 224;
}

// Only what the digits mean: toUInt would also take a sign or a "0x" prefix.
bool IsHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c.toLower() >= u'a' && c.toLower() <= u'f');
}

} // namespace

TRelynIPChangeMsgLngSupport RelynIPChangeMessages() {
    TRelynIPChangeMsgLngSupport messages;
    messages.MsgTemporary = QCoreApplication::translate(
        "TRelynIPChangeMsgLngSupport",
        "IP address was temporarily assigned to MAC\r\nTo make IP change "
        "permanent you must change IP adress in device setup!");
    messages.MsgChanged = QCoreApplication::translate("TRelynIPChangeMsgLngSupport",
                                                      "IP address was successfuly changed");
    messages.MsgChangeError =
        QCoreApplication::translate("TRelynIPChangeMsgLngSupport", "IP address change error.");
    messages.MsgIPSyntax = QCoreApplication::translate(
        "TRelynIPChangeMsgLngSupport",
        "IP address syntax error.\r\nWrite correct IP address, please.");
    messages.MsgIPExists = QCoreApplication::translate("TRelynIPChangeMsgLngSupport",
                                                       "Selected IP address already exists.");
    messages.MsgMACSyntax =
        QCoreApplication::translate("TRelynIPChangeMsgLngSupport", "MAC address syntax error.");
    messages.MsgNeedsAdmin = QCoreApplication::translate(
        "TRelynIPChangeMsgLngSupport",
        "Setting the neighbour table needs administrator rights, which this "
        "program does not have.\r\nStart it as administrator (root, for example "
        "with sudo), or change the address in the device without \"ARP table "
        "only\".");
    return messages;
}

TRelynIPChangeEnvironment TRelynIPChangeEnvironment::System() {
    TRelynIPChangeEnvironment environment;
    environment.Echo = TEchoEnvironment::System();
    environment.OpenEndpoint = [] {
        return std::make_unique<TRelyn>();
    };
    environment.RouteLink = &::RouteLinkTo;
    environment.Run = [](const QString &commandLine) {
        RunAndWait(commandLine, true);
    };
    environment.HasPermanentNeighbour = &::HasPermanentNeighbour;
    environment.MayChangeNeighbours = &::MayChangeNeighbourTable;
    environment.Probe = [](const QString &address) {
        ProbeTcpPort(address, ProbePort, ProbeTimeoutMs);
    };
    environment.BroadcastInterfaces = [] {
        return MakeSystemNetwork()->BroadcastInterfaces();
    };
    // Every interface, as quillet-cli search asks: the device may answer on another one now.
    environment.Search = [](const QString &typesFile) {
        return RunRelynScopedSearch(typesFile, TRelynSearchScope()).Devices;
    };
    return environment;
}

TRelynIPChange::TRelynIPChange(TRelynIPChangeEnvironment environment)
    : FEnvironment(std::move(environment)) {
}

TRelynIPChangeOutcome TRelynIPChange::Failure(const QString &message) const {
    return {false, rmError, message};
}

TRelynIPChangeOutcome TRelynIPChange::ChangeIP(const QString &macAddress,
                                               const QString &ipAddress) {
    try {
        if (!RelynIsMacAddress(macAddress))
            return Failure(FMessages.MsgMACSyntax);
        // The echo goes to the address that would be assigned: the system would read "010.0.0.1"
        // as octal (8.0.0.1) and " 10.0.0.1" as a host name. A text that is no address stays as
        // it is and is refused after the echo test.
        QString echoHost = ipAddress;
        if (QString normal = ipAddress; NormalizeIPText(normal)) {
            // Refused before anything goes out, the echo test included.
            if (!AssignableAddress(normal))
                return Failure(FMessages.MsgIPSyntax);
            // A device given the network's broadcast address, or the computer's own, is lost
            // from every later search; it is refused where the network is known.
            std::uint32_t address = 0;
            if (!FArpOnly && FEnvironment.BroadcastInterfaces &&
                RelynParseAddress(normal, address)) {
                const QList<TRelynInterface> all = FEnvironment.BroadcastInterfaces();
                if (!RelynUnusableOnLink(address, SendingInterfaces(all), all).isEmpty())
                    return Failure(FMessages.MsgIPSyntax);
            }
            echoHost = normal;
        }
        unsigned char ttl = 0;
        unsigned roundTripTime = 0;
        if (PingHost(echoHost, EchoTimeoutMs, EchoAttempts, ttl, roundTripTime, FEnvironment.Echo))
            return Failure(FMessages.MsgIPExists);
        return FArpOnly ? AssignByArp(macAddress, ipAddress)
                        : AssignByDatagram(macAddress, ipAddress);
    } catch (...) {
        // Echo service, socket, conversion and process start failures all end here alike.
        return Failure(FMessages.MsgChangeError);
    }
}

TRelynIPChangeOutcome TRelynIPChange::AssignByDatagram(const QString &macAddress,
                                                       const QString &ipAddress) {
    QString normal = ipAddress;
    if (!NormalizeIPText(normal))
        return Failure(FMessages.MsgIPSyntax);
    const QByteArray datagram = RelynIPSetupDatagram(macAddress, normal);
    const std::unique_ptr<TRelynEndpoint> endpoint = FEnvironment.OpenEndpoint();
    QList<TRelynInterface> interfaces;
    if (FEnvironment.BroadcastInterfaces)
        interfaces = SendingInterfaces(FEnvironment.BroadcastInterfaces());
    if (interfaces.isEmpty())
        endpoint->Broadcast(datagram, RelynDevicePort);
    for (const TRelynInterface &interface : interfaces)
        endpoint->BroadcastVia(datagram, RelynDevicePort, interface.Index);
    return {true, rmInformation, FMessages.MsgChanged};
}

QList<TRelynInterface> TRelynIPChange::SendingInterfaces(const QList<TRelynInterface> &all) const {
    const auto known = std::find_if(all.begin(), all.end(), [&](const auto &interface) {
        return interface.Name == FInterface;
    });
    return known != all.end() ? QList<TRelynInterface>{*known} : all;
}

QString RelynUnusableOnLink(std::uint32_t address, const QList<TRelynInterface> &interfaces,
                            const QList<TRelynInterface> &allInterfaces) {
    for (const TRelynInterface &interface : allInterfaces)
        for (const TRelynSubnet &subnet : interface.Subnets)
            if (subnet.Address == address)
                return QCoreApplication::translate("RelynIPChange",
                                                   "%1 is this computer's own address (%2).")
                    .arg(RelynAddressText(address), interface.Name);
    for (const TRelynInterface &interface : interfaces) {
        for (const TRelynSubnet &subnet : interface.Subnets) {
            // A /31 or /32 has no network or broadcast address of its own.
            if (subnet.PrefixLength < 1 || subnet.PrefixLength > 30)
                continue;
            const std::uint32_t mask = ~std::uint32_t(0) << (32 - subnet.PrefixLength);
            const std::uint32_t network = subnet.Address & mask;
            if ((address & mask) != network)
                continue;
            if (address == network)
                return QCoreApplication::translate("RelynIPChange",
                                                   "%1 is the network address of %2.")
                    .arg(RelynAddressText(address), subnet.NetworkText());
            if (address == (network | ~mask))
                return QCoreApplication::translate("RelynIPChange",
                                                   "%1 is the broadcast address of %2.")
                    .arg(RelynAddressText(address), subnet.NetworkText());
        }
    }
    return {};
}

TRelynIPChangeOutcome TRelynIPChange::AssignByArp(const QString &macAddress,
                                                  const QString &ipAddress) {
    QString normal = ipAddress;
    if (!NormalizeIPText(normal))
        return Failure(FMessages.MsgIPSyntax);
    const QString linkAddress = RelynLinkLayerAddress(macAddress);
    const QString link = FEnvironment.RouteLink(normal);
    FEnvironment.Run(QStringLiteral("ip neigh replace %1 lladdr %2 dev %3 nud permanent")
                         .arg(normal, linkAddress, QuoteArgument(link)));
    // The command's own status says little (it may have been refused for lack of privileges);
    // the table itself tells whether the entry is there.
    if (!FEnvironment.HasPermanentNeighbour(normal, linkAddress, link))
        return Failure(FEnvironment.MayChangeNeighbours && !FEnvironment.MayChangeNeighbours()
                           ? FMessages.MsgNeedsAdmin
                           : FMessages.MsgChangeError);
    FEnvironment.Probe(normal);
    return {true, rmWarning, FMessages.MsgTemporary};
}

QStringList RelynMacGroups(const QString &macAddress) {
    QString text = macAddress;
    // Blanks are every character up to the space, as IsMacText trims them.
    while (!text.isEmpty() && text.front().unicode() <= u' ')
        text.remove(0, 1);
    while (!text.isEmpty() && text.back().unicode() <= u' ')
        text.chop(1);
    text.replace(u' ', u'-');
    text.replace(u':', u'-');
    return text.split(u'-');
}

bool RelynIsMacAddress(const QString &macAddress) {
    const QStringList groups = RelynMacGroups(macAddress);
    return groups.size() == 6 && std::all_of(groups.begin(), groups.end(), [](const QString &g) {
               return (g.size() == 1 || g.size() == 2) &&
                      std::all_of(g.begin(), g.end(), IsHexDigit);
           });
}

QString RelynCanonicalMac(const QString &macAddress) {
    if (!RelynIsMacAddress(macAddress))
        return macAddress;
    QStringList groups = RelynMacGroups(macAddress);
    for (QString &group : groups)
        group = group.toUpper().rightJustified(2, u'0');
    return groups.join(u'-');
}

QByteArray RelynIPSetupDatagram(const QString &macAddress, const QString &ipAddress) {
    // The device compares two bytes: "5" must go out as 05, never as half a byte.
    if (!RelynIsMacAddress(macAddress))
        throw EConvertError(QStringLiteral("'%1' is not a MAC address").arg(macAddress));
    const QStringList groups = RelynCanonicalMac(macAddress).split(u'-');
    std::array<unsigned char, 4> address{};
    if (!IPTextToBytes(ipAddress, address))
        throw EConvertError(QStringLiteral("'%1' is not a valid IPv4 address").arg(ipAddress));
    QByteArray datagram = HexTextToBytes(IPSetupHeader + (groups[4] + groups[5]).toUpper());
    datagram.append(reinterpret_cast<const char *>(address.data()), address.size());
    return datagram;
}

QString RelynLinkLayerAddress(const QString &macAddress) {
    const QStringList groups = RelynMacGroups(macAddress);
    if (groups.size() != 6)
        throw EConvertError(QStringLiteral("'%1' is not a MAC address").arg(macAddress));
    QStringList bytes;
    for (const QString &group : groups) {
        const bool digits = !group.isEmpty() && std::all_of(group.begin(), group.end(), IsHexDigit);
        bool ok = false;
        const uint value = group.toUInt(&ok, 16);
        if (!digits || !ok || value > 0xFF)
            throw EConvertError(QStringLiteral("'%1' is not a MAC address").arg(macAddress));
        bytes << QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0'));
    }
    return bytes.join(u':');
}
