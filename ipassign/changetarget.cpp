#include "ipassign/changetarget.h"

#include "ipassign/relynipchange.h"

#include <QCoreApplication>
#include <QStringList>

QString RelynMacTail(const QString &macAddress) {
    if (!RelynIsMacAddress(macAddress))
        return {};
    return RelynCanonicalMac(macAddress).right(5);
}

TChangeTarget RelynChangeTarget(const QList<TRelynPar> &found, const QString &macAddress,
                                const QString &interface) {
    const QString wanted = RelynCanonicalMac(macAddress);
    QList<TRelynPar> matches;
    QStringList links;
    for (const TRelynPar &device : found) {
        if (RelynCanonicalMac(device.MACAddress) != wanted ||
            (!interface.isEmpty() && device.Interface != interface))
            continue;
        matches << device;
        if (!links.contains(device.Interface))
            links << device.Interface;
    }
    if (matches.isEmpty()) {
        if (!interface.isEmpty())
            return {interface, std::nullopt, {}};
        return {{},
                std::nullopt,
                QCoreApplication::translate(
                    "RelynChangeTarget",
                    "No device with MAC %1 answered a search; to send the change "
                    "all the same, name the interface to send it out of with "
                    "--interface.")
                    .arg(wanted)};
    }
    if (links.size() > 1)
        return {{},
                std::nullopt,
                QCoreApplication::translate(
                    "RelynChangeTarget",
                    "The device with MAC %1 answered on %2: name the one to send the "
                    "change out of with --interface.")
                    .arg(wanted,
                         links.join(QCoreApplication::translate("RelynChangeTarget", " and ")))};
    const TRelynPar &device = matches.first();
    const QString tail = RelynMacTail(wanted);
    for (const TRelynPar &other : found) {
        if (other.Interface == device.Interface && RelynMacTail(other.MACAddress) == tail &&
            RelynCanonicalMac(other.MACAddress) != wanted)
            return {{},
                    std::nullopt,
                    QCoreApplication::translate("RelynChangeTarget",
                                                "%1 and %2 on %3 both end in %4: the change "
                                                "names a device only by those two bytes and "
                                                "would move both.")
                        .arg(wanted, RelynCanonicalMac(other.MACAddress), device.Interface, tail)};
    }
    return {device.Interface, device, {}};
}
