// Device record: the five texts that one search gathers about one answering device.
#pragma once

#include <QString>

inline const QString RelynNotAvailable = QStringLiteral("N/A");

struct TRelynPar {
    QString IPAddress;
    QString MACAddress = RelynNotAvailable;
    QString Firmware = RelynNotAvailable;
    QString Description;
    QString DeviceType = RelynNotAvailable;

    // Where the reply came in: the interface's name and its networks ("192.0.2.0/24"), both
    // empty when not known; reachable when this computer routes to the address out of that
    // interface, so that an upload can reach the device.
    QString Interface = QString();
    QString Network = QString();
    bool Reachable = true;

    // A record is its five texts; where it was heard does not make it another device's.
    friend bool operator==(const TRelynPar &a, const TRelynPar &b) {
        return a.IPAddress == b.IPAddress && a.MACAddress == b.MACAddress &&
               a.Firmware == b.Firmware && a.Description == b.Description &&
               a.DeviceType == b.DeviceType;
    }
};
