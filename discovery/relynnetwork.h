// What discovery needs to know of this computer's own network: its interfaces that can
// broadcast, and out of which interface its routing table sends to an address.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

struct TRelynSubnet {
    std::uint32_t Address = 0; // host order
    int PrefixLength = 0;

    // "192.0.2.0/24": the network this address lies in.
    QString NetworkText() const;
    // "192.0.2.1/24": the address with its prefix.
    QString AddressText() const;
};

struct TRelynInterface {
    int Index = 0;
    QString Name;
    QList<TRelynSubnet> Subnets;

    // "192.0.2.0/24, 198.51.100.0/24".
    QString NetworksText() const;
};

// The parts of the system that discovery asks about; tests and the range search's planning
// use their own.
class TRelynNetwork {
public:
    virtual ~TRelynNetwork() = default;
    // IPv4 interfaces that are up, are not loopback and can broadcast, in index order.
    virtual QList<TRelynInterface> BroadcastInterfaces() const = 0;
    // The interface with this index, also when it cannot broadcast; empty name when unknown.
    virtual TRelynInterface Interface(int index) const = 0;
    // Whether the computer's route to the address (host order) leaves by that interface.
    virtual bool RoutesVia(std::uint32_t address, const QString &interfaceName) const = 0;
};

// The real computer: getifaddrs and the kernel's main routing table, read once per object (one
// search) so that a hundred replies do not read it a hundred times.
class TRelynSystemNetwork final : public TRelynNetwork {
public:
    QList<TRelynInterface> BroadcastInterfaces() const override;
    TRelynInterface Interface(int index) const override;
    bool RoutesVia(std::uint32_t address, const QString &interfaceName) const override;

private:
    mutable std::optional<QByteArray> Routes;
};

std::unique_ptr<TRelynNetwork> MakeSystemNetwork();

// The interface of the route the kernel picks for the address from a table in the form of
// /proc/net/route: the longest matching prefix, then the lowest metric. Empty: no route.
QString RelynRouteInterface(const QByteArray &routeTable, std::uint32_t address);

// Dotted text to a host-order number; false for anything but four decimal numbers.
bool RelynParseAddress(const QString &text, std::uint32_t &address);
QString RelynAddressText(std::uint32_t address);
