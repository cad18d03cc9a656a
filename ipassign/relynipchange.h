// Gives a device, named by the MAC address of its module, a new IPv4 address: by one IP-SETUP
// broadcast, or only in this computer's neighbour table (ARP mode).
#pragma once

#include "discovery/relyn.h"
#include "discovery/relyndevicelist.h"
#include "discovery/relynnetwork.h"
#include "support/icmpecho.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// The procedure's six user-visible messages.
struct TRelynIPChangeMsgLngSupport {
    QString MsgTemporary =
        QStringLiteral("IP address was temporarily assigned to MAC\r\nTo make IP change "
                       "permanent you must change IP adress in device setup!");
    QString MsgChanged = QStringLiteral("IP address was successfuly changed");
    QString MsgChangeError = QStringLiteral("IP address change error.");
    QString MsgIPSyntax =
        QStringLiteral("IP address syntax error.\r\nWrite correct IP address, please.");
    QString MsgIPExists = QStringLiteral("Selected IP address already exists.");
    QString MsgMACSyntax = QStringLiteral("MAC address syntax error.");
    // The ARP mode run without the rights it needs; the generic error would leave the user
    // guessing.
    QString MsgNeedsAdmin =
        QStringLiteral("Setting the neighbour table needs administrator rights, which this "
                       "program does not have.\r\nStart it as administrator (root, for example "
                       "with sudo), or change the address in the device without \"ARP table "
                       "only\".");
};

// The messages in the user interface's language: the defaults above when it is English.
TRelynIPChangeMsgLngSupport RelynIPChangeMessages();

// The kind of message box that shows an outcome.
enum TRelynMessageKind : qint32 {
    rmWarning = 0,
    rmError = 1,
    rmInformation = 2,
};

struct TRelynIPChangeOutcome {
    bool Success = false;
    qint32 Kind = rmError;
    QString Message;
};

// Everything the procedure does to the network and the system, so that tests can watch it.
struct TRelynIPChangeEnvironment {
    // The echo test that makes sure nothing answers at the new address.
    TEchoEnvironment Echo;
    // One endpoint for the IP-SETUP broadcast.
    std::function<std::unique_ptr<TRelynEndpoint>()> OpenEndpoint;

    // ARP mode: the link that routes to an address (throws when none does).
    std::function<QString(const QString &address)> RouteLink;
    // Runs a command line to its end (throws when it cannot be started).
    std::function<void(const QString &commandLine)> Run;
    // Whether the neighbour table holds a permanent entry address -> lladdr on the link.
    std::function<bool(const QString &address, const QString &linkAddress, const QString &link)>
        HasPermanentNeighbour;
    // Whether this process may change the neighbour table at all.
    std::function<bool()> MayChangeNeighbours;
    // Sends the device some traffic to its new address, so that it sees the address in use.
    std::function<void(const QString &address)> Probe;
    // The interfaces an IP-SETUP may leave by; none given: the one the system chooses.
    std::function<QList<TRelynInterface>()> BroadcastInterfaces;
    // After a change: the search that looks for the device at its new address, for at most
    // AnswerWaitMs. None: nobody looks.
    TRelynSearchFunction Search;
    int AnswerWaitMs = 10000;

    static TRelynIPChangeEnvironment System();
};

class TRelynIPChange {
public:
    static constexpr qint32 EchoTimeoutMs = 500;
    static constexpr unsigned char EchoAttempts = 3;

    explicit TRelynIPChange(
        TRelynIPChangeEnvironment environment = TRelynIPChangeEnvironment::System());

    bool ArpOnly() const { return FArpOnly; }
    void SetArpOnly(bool arpOnly) { FArpOnly = arpOnly; }

    // The interface the device answered a search on: the IP-SETUP names the device only by
    // the end of its MAC address, so it leaves by that interface alone. Empty (or gone): out
    // of every interface.
    void SetInterface(const QString &name) { FInterface = name; }

    void SetMessages(const TRelynIPChangeMsgLngSupport &messages) { FMessages = messages; }
    const TRelynIPChangeMsgLngSupport &Messages() const { return FMessages; }

    // Checks the MAC address text, makes sure nothing answers at the new address, then assigns
    // it in the selected mode. Never throws: any error is a failure with MsgChangeError.
    TRelynIPChangeOutcome ChangeIP(const QString &macAddress, const QString &ipAddress);

private:
    TRelynIPChangeOutcome AssignByDatagram(const QString &macAddress, const QString &ipAddress);
    TRelynIPChangeOutcome AssignByArp(const QString &macAddress, const QString &ipAddress);
    TRelynIPChangeOutcome Failure(const QString &message) const;
    // The interfaces the IP-SETUP leaves by, of all that can broadcast.
    QList<TRelynInterface> SendingInterfaces(const QList<TRelynInterface> &all) const;

    TRelynIPChangeEnvironment FEnvironment;
    TRelynIPChangeMsgLngSupport FMessages = RelynIPChangeMessages();
    bool FArpOnly = false;
    QString FInterface;
};

// The groups of a MAC address text: blanks around the text are dropped, "-", ":" and blanks
// inside it separate groups ("ip link" writes colons).
QStringList RelynMacGroups(const QString &macAddress);

// Six groups of one or two hexadecimal digits: the only texts that name one device's six bytes.
bool RelynIsMacAddress(const QString &macAddress);

// A MAC address text as the devices' replies give it: upper-case two-digit groups joined by
// "-". A text that is no MAC address comes back as it is.
QString RelynCanonicalMac(const QString &macAddress);

// The IP-SETUP datagram, always 20 bytes: fixed header, the 5th and 6th byte of the MAC
// address, the four address bytes. Throws EConvertError unless the MAC address is one
// (RelynIsMacAddress) and the address is valid.
QByteArray RelynIPSetupDatagram(const QString &macAddress, const QString &ipAddress);

// Why an address cannot be given to a device on these interfaces (the device's own, or every
// one when it is not known): the computer's own address, or the network or broadcast address
// of a network that holds it. Empty when nothing speaks against it.
QString RelynUnusableOnLink(std::uint32_t address, const QList<TRelynInterface> &interfaces,
                            const QList<TRelynInterface> &allInterfaces);

// "02:00:00:12:34:5f" for the neighbour table; throws EConvertError unless the text has six
// hexadecimal groups of value 0 to FF.
QString RelynLinkLayerAddress(const QString &macAddress);
