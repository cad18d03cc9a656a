// The user-visible texts of the search window, what it hands to the IP change dialog, and how a
// device window opens that dialog.
#pragma once

#include "discovery/relynpar.h"

#include <QString>
#include <array>
#include <functional>
#include <optional>

class QWidget;

struct TRelynSearchLangSupport {
    QString CapForm = QStringLiteral("Find device");
    QString CapSearch = QStringLiteral("Search");
    QString CapHelpDeviceNotFound = QStringLiteral("Help! My device wasn't found!");
    QString CapChangeIP = QStringLiteral("Change IP");
    QString CapSelect = QStringLiteral("Select");
    QString CapCancel = QStringLiteral("Cancel");
    QString CapIPAddress = QStringLiteral("IP address");
    QString CapMACAddress = QStringLiteral("MAC address");
    QString CapFirmware = QStringLiteral("Firmware");
    QString CapDeviceType = QStringLiteral("Device type");
    QString CapDescription = QStringLiteral("Device description");
    QString CapChangeIPDialog = QStringLiteral("Change IP address");
    QString CapChange = QStringLiteral("Change");
    QString CapARPOnly = QStringLiteral("Set IP address to ARP table only");
    // The IP change dialog's six messages; empty ones leave the dialog's own text.
    std::array<QString, 6> Messages;

    // Each non-empty text of the replacement takes the place of the text held.
    void Apply(const TRelynSearchLangSupport &replacement);
};

// The texts in the user interface's language: the defaults above when it is English.
TRelynSearchLangSupport RelynSearchTexts();

// What the search window hands to the IP change dialog it opens.
struct TRelynIPChangeRequest {
    // False for "Help! My device wasn't found!": the dialog keeps its own starting texts.
    bool HasStartAddress = false;
    QString IPAddress;
    QString MACAddress;
    // False hides the dialog's "ARP table only" check box.
    bool ShowARPOnly = true;
    // Where the device answered the search; empty when it was not found.
    QString Interface = QString();

    QString CapDialog;
    QString CapChange;
    QString CapCancel;
    QString CapIPAddress;
    QString CapMACAddress;
    QString CapARPOnly;
    std::array<QString, 6> Messages;
};

// What a successful IP change did: the device named by this MAC address (written as a search
// lists it, "02-00-00-12-34-5F") took this address.
struct TRelynIPChangeResult {
    QString MACAddress;
    QString IPAddress;

    friend bool operator==(const TRelynIPChangeResult &, const TRelynIPChangeResult &) = default;
};

TRelynIPChangeRequest RelynIPChangeRequest(const TRelynSearchLangSupport &texts);
// "Change IP" for a listed device: the dialog starts with its addresses, and the change leaves
// by the interface it answered on.
TRelynIPChangeRequest RelynIPChangeRequest(const TRelynSearchLangSupport &texts,
                                           const TRelynPar &device);
// "Help! My device wasn't found!": no device to start with, and no ARP mode.
TRelynIPChangeRequest RelynDeviceNotFoundRequest(const TRelynSearchLangSupport &texts);

// How a device window opens the IP change dialog: what was changed, or nothing when the dialog
// was cancelled or the change failed. Without one a window offers neither request.
using TRelynIPChangeOpener = std::function<std::optional<TRelynIPChangeResult>(
    QWidget *parent, const TRelynIPChangeRequest &request)>;
