#include "app/core/journalrecords.h"

const QString &TJournalEntry::Mac() const {
    switch (Kind) {
    case jeUpload:
        return Upload.Mac;
    case jeIpChange:
        return IpChange.Mac;
    case jeSearch:
        break;
    }
    return Seen.Mac;
}

const QString &TJournalEntry::Address() const {
    switch (Kind) {
    case jeUpload:
        return Upload.Address;
    case jeIpChange:
        return IpChange.OldAddress;
    case jeSearch:
        break;
    }
    return Seen.Address;
}

QString JournalKindText(TJournalEventKind kind) {
    switch (kind) {
    case jeUpload:
        return QStringLiteral("upload");
    case jeIpChange:
        return QStringLiteral("ip change");
    case jeSearch:
        break;
    }
    return QStringLiteral("search");
}

QString JournalFileKindText(TJournalFileKind kind) {
    return kind == jfFirmware ? QStringLiteral("firmware") : QStringLiteral("web");
}

QString JournalChangesText(int changes) {
    QStringList words;
    if (changes & jcFirstSeen)
        words << QStringLiteral("first seen");
    if (changes & jcMoved)
        words << QStringLiteral("moved");
    if (changes & jcFirmware)
        words << QStringLiteral("firmware changed");
    return words.join(QStringLiteral(", "));
}
