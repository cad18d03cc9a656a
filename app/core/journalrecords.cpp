#include "app/core/journalrecords.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <utility>

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

namespace {

const char *KindWord(TJournalEventKind kind) {
    switch (kind) {
    case jeUpload:
        return QT_TRANSLATE_NOOP("JournalWords", "upload");
    case jeIpChange:
        return QT_TRANSLATE_NOOP("JournalWords", "ip change");
    case jeSearch:
        break;
    }
    return QT_TRANSLATE_NOOP("JournalWords", "search");
}

const char *FileKindWord(TJournalFileKind kind) {
    return kind == jfFirmware ? QT_TRANSLATE_NOOP("JournalWords", "firmware")
                              : QT_TRANSLATE_NOOP("JournalWords", "web");
}

QString Changes(int changes, bool shown) {
    static const std::pair<TJournalChange, const char *> words[] = {
        {jcFirstSeen, QT_TRANSLATE_NOOP("JournalWords", "first seen")},
        {jcMoved, QT_TRANSLATE_NOOP("JournalWords", "moved")},
        {jcFirmware, QT_TRANSLATE_NOOP("JournalWords", "firmware changed")}};
    QStringList texts;
    for (const auto &[change, word] : words)
        if (changes & change)
            texts << (shown ? QCoreApplication::translate("JournalWords", word)
                            : QString::fromLatin1(word));
    return texts.join(QStringLiteral(", "));
}

QString Shown(const char *word) {
    return QCoreApplication::translate("JournalWords", word);
}

// The words uploads, their checks and IP changes are recorded with.
const char *const RecordedWords[] = {
    QT_TRANSLATE_NOOP("JournalWords", "done"),
    QT_TRANSLATE_NOOP("JournalWords", "nothing sent"),
    QT_TRANSLATE_NOOP("JournalWords", "upload time-out"),
    QT_TRANSLATE_NOOP("JournalWords", "restart time-out"),
    QT_TRANSLATE_NOOP("JournalWords", "internal error"),
    QT_TRANSLATE_NOOP("JournalWords", "failed"),
    QT_TRANSLATE_NOOP("JournalWords", "no answer"),
    QT_TRANSLATE_NOOP("JournalWords", "interrupted"),
    QT_TRANSLATE_NOOP("JournalWords", "verified"),
    QT_TRANSLATE_NOOP("JournalWords", "differs"),
    QT_TRANSLATE_NOOP("JournalWords", "not verified"),
    QT_TRANSLATE_NOOP("JournalWords", "cancelled"),
    QT_TRANSLATE_NOOP("JournalWords", "sent, not checked"),
    QT_TRANSLATE_NOOP("JournalWords", "no answer at the new address"),
    QT_TRANSLATE_NOOP("JournalWords", "neighbour table only"),
};

} // namespace

QString JournalOutcomeShown(const QString &recorded) {
    for (const char *word : RecordedWords)
        if (recorded == QLatin1String(word))
            return Shown(word);
    return recorded;
}

QString JournalKindText(TJournalEventKind kind) {
    return QString::fromLatin1(KindWord(kind));
}

QString JournalFileKindText(TJournalFileKind kind) {
    return QString::fromLatin1(FileKindWord(kind));
}

QString JournalChangesText(int changes) {
    return Changes(changes, false);
}

QString JournalKindShown(TJournalEventKind kind) {
    return Shown(KindWord(kind));
}

QString JournalChangesShown(int changes) {
    return Changes(changes, true);
}

QString JournalDetailsText(const TJournalEntry &entry) {
    switch (entry.Kind) {
    case jeUpload: {
        const TJournalUpload &upload = entry.Upload;
        QString line = Shown(FileKindWord(upload.Kind)) + u' ' + QFileInfo(upload.File).fileName() +
                       QStringLiteral(": ") + JournalOutcomeShown(upload.Outcome);
        if (!upload.Reason.isEmpty())
            line += QStringLiteral(" (") + upload.Reason + u')';
        if (!upload.Verification.isEmpty())
            line += QStringLiteral(", ") + JournalOutcomeShown(upload.Verification);
        return line;
    }
    case jeIpChange:
        return QCoreApplication::translate("JournalWords", "to %1: %2")
            .arg(entry.IpChange.NewAddress, JournalOutcomeShown(entry.IpChange.Outcome));
    case jeSearch:
        break;
    }
    return QCoreApplication::translate("JournalWords", "%1 (firmware %2)")
        .arg(JournalChangesShown(entry.Changes), entry.Seen.Firmware);
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
