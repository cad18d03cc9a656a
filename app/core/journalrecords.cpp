#include "app/core/journalrecords.h"

#include <QFileInfo>

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

QString JournalDetailsText(const TJournalEntry &entry) {
    switch (entry.Kind) {
    case jeUpload: {
        const TJournalUpload &upload = entry.Upload;
        QString line = JournalFileKindText(upload.Kind) + u' ' + QFileInfo(upload.File).fileName() +
                       QStringLiteral(": ") + upload.Outcome;
        if (!upload.Reason.isEmpty())
            line += QStringLiteral(" (") + upload.Reason + u')';
        if (!upload.Verification.isEmpty())
            line += QStringLiteral(", ") + upload.Verification;
        return line;
    }
    case jeIpChange:
        return QStringLiteral("to ") + entry.IpChange.NewAddress + QStringLiteral(": ") +
               entry.IpChange.Outcome;
    case jeSearch:
        break;
    }
    return JournalChangesText(entry.Changes) + QStringLiteral(" (firmware ") + entry.Seen.Firmware +
           u')';
}

QString JournalShownText(QString text) {
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (c.category() == QChar::Other_Control || u == 0x061C || u == 0x200E || u == 0x200F ||
            (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069))
            c = QChar::ReplacementCharacter;
    }
    return text;
}
