#include "ipassign/freeaddress.h"

#include "support/icmpecho.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkInterface>
#include <arpa/inet.h>

namespace {

QByteArray ReadProcFile(const char *path) {
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TFreeAddressProposal ProposeFreeAddress(const TFreeAddressInputs &inputs, int tries) {
    const int prefix = inputs.Subnet.PrefixLength;
    if (prefix < 1 || prefix > 30)
        return {std::nullopt, QCoreApplication::translate(
                                  "FreeAddress", "The network %1 is too small to propose a free "
                                                 "address in it.")
                                  .arg(inputs.Subnet.NetworkText())};
    const std::uint32_t mask = ~std::uint32_t{0} << (32 - prefix);
    const std::uint32_t network = inputs.Subnet.Address & mask;
    const std::uint32_t broadcast = network | ~mask;
    int asked = 0;
    // From the top down: devices and address pools mostly start at the bottom.
    for (std::uint32_t address = broadcast - 1; address > network && asked < tries; --address) {
        if (address == inputs.Subnet.Address || inputs.Taken.contains(address))
            continue;
        ++asked;
        if (!inputs.Answers || !inputs.Answers(address))
            return {address, {}};
    }
    return {std::nullopt, QCoreApplication::translate(
                              "FreeAddress", "No free address was found in %1: the %2 tried all "
                                             "answer or are in use.")
                              .arg(inputs.Subnet.NetworkText())
                              .arg(asked)};
}

QList<std::uint32_t> RouteTableGateways(const QByteArray &routeTable) {
    QList<std::uint32_t> gateways;
    const QList<QByteArray> lines = routeTable.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cells = lines[i].simplified().split(' ');
        bool ok = false;
        const auto gateway = cells.size() > 2 ? cells[2].toULong(&ok, 16) : 0;
        if (ok && gateway != 0)
            gateways << ntohl(static_cast<std::uint32_t>(gateway));
    }
    return gateways;
}

QList<std::uint32_t> ArpTableAddresses(const QByteArray &arpTable) {
    QList<std::uint32_t> addresses;
    const QList<QByteArray> lines = arpTable.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cells = lines[i].simplified().split(' ');
        std::uint32_t address = 0;
        if (!cells.isEmpty() && RelynParseAddress(QString::fromLatin1(cells[0]), address))
            addresses << address;
    }
    return addresses;
}

TFreeAddressInputs SystemFreeAddressInputs(const TRelynInterface &interface) {
    TFreeAddressInputs inputs;
    if (!interface.Subnets.isEmpty())
        inputs.Subnet = interface.Subnets.first();
    for (const QHostAddress &own : QNetworkInterface::allAddresses())
        if (own.protocol() == QAbstractSocket::IPv4Protocol)
            inputs.Taken << own.toIPv4Address();
    inputs.Taken << RouteTableGateways(ReadProcFile("/proc/net/route"))
                 << ArpTableAddresses(ReadProcFile("/proc/net/arp"));
    inputs.Answers = [](std::uint32_t address) {
        unsigned char ttl = 0;
        unsigned roundTrip = 0;
        try {
            return PingHost(RelynAddressText(address), 500, 2, ttl, roundTrip);
        } catch (...) {
            // No echo service: an address that cannot be tested is not proposed.
            return true;
        }
    };
    return inputs;
}
