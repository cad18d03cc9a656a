// A free address on an interface's network for a device found outside it (a factory address):
// the computer's own, the network and broadcast address, the gateways and every address in
// the neighbour table are left out, and a candidate must stay silent to an echo.
#pragma once

#include "discovery/relynnetwork.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

struct TFreeAddressInputs {
    TRelynSubnet Subnet;        // the computer's address on the network and its prefix
    QList<std::uint32_t> Taken; // own addresses, gateways, neighbour table entries
    // Whether something answers an echo at the address (host order).
    std::function<bool(std::uint32_t address)> Answers;
};

struct TFreeAddressProposal {
    std::optional<std::uint32_t> Address;
    // Why nothing is proposed.
    QString Reason;
};

// Tries candidates from the top of the network down, at most `tries` echoes; a network
// smaller than /30 gets no proposal.
TFreeAddressProposal ProposeFreeAddress(const TFreeAddressInputs &inputs, int tries = 8);

// The inputs for an interface of this computer: its first subnet, the addresses the system
// knows to be in use (its own, the routing table's gateways, /proc/net/arp), the echo service.
TFreeAddressInputs SystemFreeAddressInputs(const TRelynInterface &interface);

// Addresses of the gateways in a table in the form of /proc/net/route, and of every entry of a
// table in the form of /proc/net/arp (incomplete ones too: someone asked for them).
QList<std::uint32_t> RouteTableGateways(const QByteArray &routeTable);
QList<std::uint32_t> ArpTableAddresses(const QByteArray &arpTable);
