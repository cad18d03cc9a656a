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

    friend bool operator==(const TRelynPar &, const TRelynPar &) = default;
};
