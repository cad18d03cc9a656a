#include "discovery/relynsearchlangsupport.h"

#include <QCoreApplication>

void TRelynSearchLangSupport::Apply(const TRelynSearchLangSupport &replacement) {
    const auto take = [](QString &held, const QString &given) {
        if (!given.isEmpty())
            held = given;
    };
    take(CapForm, replacement.CapForm);
    take(CapSearch, replacement.CapSearch);
    take(CapHelpDeviceNotFound, replacement.CapHelpDeviceNotFound);
    take(CapChangeIP, replacement.CapChangeIP);
    take(CapSelect, replacement.CapSelect);
    take(CapCancel, replacement.CapCancel);
    take(CapIPAddress, replacement.CapIPAddress);
    take(CapMACAddress, replacement.CapMACAddress);
    take(CapFirmware, replacement.CapFirmware);
    take(CapDeviceType, replacement.CapDeviceType);
    take(CapDescription, replacement.CapDescription);
    take(CapChangeIPDialog, replacement.CapChangeIPDialog);
    take(CapChange, replacement.CapChange);
    take(CapARPOnly, replacement.CapARPOnly);
    for (size_t i = 0; i < Messages.size(); ++i)
        take(Messages[i], replacement.Messages[i]);
}

TRelynSearchLangSupport RelynSearchTexts() {
    TRelynSearchLangSupport texts;
    texts.CapForm = QCoreApplication::translate("TRelynSearchLangSupport", "Find device");
    texts.CapSearch = QCoreApplication::translate("TRelynSearchLangSupport", "Search");
    texts.CapHelpDeviceNotFound =
        QCoreApplication::translate("TRelynSearchLangSupport", "Help! My device wasn't found!");
    texts.CapChangeIP = QCoreApplication::translate("TRelynSearchLangSupport", "Change IP");
    texts.CapSelect = QCoreApplication::translate("TRelynSearchLangSupport", "Select");
    texts.CapCancel = QCoreApplication::translate("TRelynSearchLangSupport", "Cancel");
    texts.CapIPAddress = QCoreApplication::translate("TRelynSearchLangSupport", "IP address");
    texts.CapMACAddress = QCoreApplication::translate("TRelynSearchLangSupport", "MAC address");
    texts.CapFirmware = QCoreApplication::translate("TRelynSearchLangSupport", "Firmware");
    texts.CapDeviceType = QCoreApplication::translate("TRelynSearchLangSupport", "Device type");
    texts.CapDescription =
        QCoreApplication::translate("TRelynSearchLangSupport", "Device description");
    texts.CapChangeIPDialog =
        QCoreApplication::translate("TRelynSearchLangSupport", "Change IP address");
    texts.CapChange = QCoreApplication::translate("TRelynSearchLangSupport", "Change");
    texts.CapARPOnly =
        QCoreApplication::translate("TRelynSearchLangSupport", "Set IP address to ARP table only");
    return texts;
}

TRelynIPChangeRequest RelynIPChangeRequest(const TRelynSearchLangSupport &texts) {
    TRelynIPChangeRequest request;
    request.CapDialog = texts.CapChangeIPDialog;
    request.CapChange = texts.CapChange;
    request.CapCancel = texts.CapCancel;
    request.CapIPAddress = texts.CapIPAddress;
    request.CapMACAddress = texts.CapMACAddress;
    request.CapARPOnly = texts.CapARPOnly;
    request.Messages = texts.Messages;
    return request;
}

TRelynIPChangeRequest RelynIPChangeRequest(const TRelynSearchLangSupport &texts,
                                           const TRelynPar &device) {
    TRelynIPChangeRequest request = RelynIPChangeRequest(texts);
    request.HasStartAddress = true;
    request.IPAddress = device.IPAddress;
    request.MACAddress = device.MACAddress;
    request.Interface = device.Interface;
    return request;
}

TRelynIPChangeRequest RelynDeviceNotFoundRequest(const TRelynSearchLangSupport &texts) {
    TRelynIPChangeRequest request = RelynIPChangeRequest(texts);
    request.ShowARPOnly = false;
    return request;
}
