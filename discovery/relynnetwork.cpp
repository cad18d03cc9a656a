#include "discovery/relynnetwork.h"

#include <QFile>
#include <algorithm>
#include <arpa/inet.h>
#include <bit>
#include <ifaddrs.h>
#include <map>
#include <net/if.h>
#include <net/route.h>

namespace {

std::uint32_t Mask(int prefixLength) {
    return prefixLength <= 0 ? 0 : ~std::uint32_t{0} << (32 - prefixLength);
}

std::uint32_t HostOrder(const sockaddr *address) {
    return ntohl(reinterpret_cast<const sockaddr_in *>(address)->sin_addr.s_addr);
}

// Every IPv4 address of every interface, grouped by interface, with the interface's flags.
struct Found {
    TRelynInterface Interface;
    unsigned Flags = 0;
};

std::map<QString, Found> ReadInterfaces() {
    std::map<QString, Found> found;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return found;
    for (const ifaddrs *entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        Found &item = found[name];
        item.Interface.Name = name;
        item.Interface.Index = static_cast<int>(if_nametoindex(entry->ifa_name));
        item.Flags = entry->ifa_flags;
        const std::uint32_t mask = entry->ifa_netmask ? HostOrder(entry->ifa_netmask) : 0;
        item.Interface.Subnets.append(
            {HostOrder(entry->ifa_addr), static_cast<int>(std::popcount(mask))});
    }
    freeifaddrs(list);
    return found;
}

} // namespace

QString TRelynSubnet::NetworkText() const {
    return QStringLiteral("%1/%2")
        .arg(RelynAddressText(Address & Mask(PrefixLength)))
        .arg(PrefixLength);
}

QString TRelynSubnet::AddressText() const {
    return QStringLiteral("%1/%2").arg(RelynAddressText(Address)).arg(PrefixLength);
}

QString TRelynInterface::NetworksText() const {
    QStringList networks;
    for (const TRelynSubnet &subnet : Subnets)
        networks << subnet.NetworkText();
    return networks.join(QStringLiteral(", "));
}

QList<TRelynInterface> TRelynSystemNetwork::BroadcastInterfaces() const {
    QList<TRelynInterface> interfaces;
    for (const auto &[name, item] : ReadInterfaces()) {
        if ((item.Flags & IFF_UP) && (item.Flags & IFF_BROADCAST) && !(item.Flags & IFF_LOOPBACK))
            interfaces.append(item.Interface);
    }
    std::sort(interfaces.begin(), interfaces.end(),
              [](const TRelynInterface &a, const TRelynInterface &b) { return a.Index < b.Index; });
    return interfaces;
}

TRelynInterface TRelynSystemNetwork::Interface(int index) const {
    for (const auto &[name, item] : ReadInterfaces()) {
        if (item.Interface.Index == index)
            return item.Interface;
    }
    TRelynInterface unknown;
    unknown.Index = index;
    char name[IF_NAMESIZE] = {};
    if (index > 0 && if_indextoname(static_cast<unsigned>(index), name))
        unknown.Name = QString::fromLocal8Bit(name);
    return unknown;
}

bool TRelynSystemNetwork::RoutesVia(std::uint32_t address, const QString &interfaceName) const {
    if (!Routes) {
        QFile table(QStringLiteral("/proc/net/route"));
        Routes = table.open(QIODevice::ReadOnly) ? table.readAll() : QByteArray();
    }
    // An unreadable table knows nothing against the device.
    return Routes->isEmpty() || RelynRouteInterface(*Routes, address) == interfaceName;
}

std::unique_ptr<TRelynNetwork> MakeSystemNetwork() {
    return std::make_unique<TRelynSystemNetwork>();
}

QString RelynRouteInterface(const QByteArray &routeTable, std::uint32_t address) {
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...; addresses are the bytes of
    // the network-order value printed as one native (little-endian here) number.
    QString best;
    int bestLength = -1;
    qulonglong bestMetric = 0;
    const QList<QByteArray> lines = routeTable.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cells = lines[i].simplified().split(' ');
        if (cells.size() < 8)
            continue;
        bool ok[4] = {};
        const auto destination = static_cast<std::uint32_t>(cells[1].toULong(&ok[0], 16));
        const uint flags = cells[3].toUInt(&ok[1], 16);
        const qulonglong metric = cells[6].toULongLong(&ok[2]);
        const auto mask = static_cast<std::uint32_t>(cells[7].toULong(&ok[3], 16));
        if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || !(flags & RTF_UP))
            continue;
        const std::uint32_t hostMask = ntohl(mask);
        if ((address & hostMask) != (ntohl(destination) & hostMask))
            continue;
        const int length = std::popcount(hostMask);
        if (length > bestLength || (length == bestLength && metric < bestMetric)) {
            best = QString::fromLocal8Bit(cells[0]);
            bestLength = length;
            bestMetric = metric;
        }
    }
    return best;
}

bool RelynParseAddress(const QString &text, std::uint32_t &address) {
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return false;
    address = 0;
    for (const QString &part : parts) {
        bool ok = false;
        const uint value = part.toUInt(&ok, 10);
        if (!ok || value > 255 || part.isEmpty() || part.size() > 3 || part.startsWith(u'+'))
            return false;
        address = address << 8 | value;
    }
    return true;
}

QString RelynAddressText(std::uint32_t address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg(address >> 16 & 0xFF)
        .arg(address >> 8 & 0xFF)
        .arg(address & 0xFF);
}
