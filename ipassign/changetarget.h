// Which device an IP change reaches. The IP-SETUP datagram names a device only by the last two
// bytes of its MAC address and goes out as a broadcast, so it must leave by the one interface
// the device answered on, and never where another device ends in the same two bytes.
#pragma once

#include "discovery/relynpar.h"

#include <QList>
#include <QString>
#include <optional>

struct TChangeTarget {
    // The interface to send out of; empty only together with a refusal.
    QString Interface;
    // The device as the search found it; none when an interface was named for a device that
    // did not answer.
    std::optional<TRelynPar> Device;
    // Why the change must not go out; empty when it may.
    QString Refusal;
};

// From the devices a search found (every interface, or the one named): the device with this
// MAC address, on the named interface when one is given.
TChangeTarget RelynChangeTarget(const QList<TRelynPar> &found, const QString &macAddress,
                                const QString &interface = {});

// The last two bytes of a MAC address as the datagram carries them ("00-01"); empty for a
// text that is no MAC address.
QString RelynMacTail(const QString &macAddress);
