// What the site journal keeps and gives back: plain texts as a search, an upload or an IP change
// produced them, so that the journal needs neither the discovery nor the upload library.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// One device as one search heard it; texts from the device exactly as it sent them.
struct TJournalDevice {
    QString Mac; // in the search's text form ("02-00-00-12-34-5F"), the journal's key
    QString Address;
    QString Interface;
    QString Firmware;
    QString Type;
    QString Description;

    friend bool operator==(const TJournalDevice &, const TJournalDevice &) = default;
};

enum TJournalFileKind { jfWeb, jfFirmware };

struct TJournalUpload {
    QString Mac; // empty when the device's MAC is not known
    QString Address;
    QString File; // the path as the user chose it
    qint64 Size = -1;
    QString Sha256; // lower-case hex; empty when the file could not be read
    TJournalFileKind Kind = jfWeb;
    QString Outcome; // the fleet upload's words: "done", "upload time-out", ...
    QString Reason;
    // Empty until the device's pages are checked: "verified", "differs", "not verified".
    QString Verification;

    friend bool operator==(const TJournalUpload &, const TJournalUpload &) = default;
};

struct TJournalIpChange {
    QString Mac;
    QString OldAddress;
    QString NewAddress;
    QString Outcome;

    friend bool operator==(const TJournalIpChange &, const TJournalIpChange &) = default;
};

struct TJournalLabel {
    QString Name;
    QString Note;

    friend bool operator==(const TJournalLabel &, const TJournalLabel &) = default;
};

// What a device showed in a search against what the journal knew of it before.
enum TJournalChange { jcFirstSeen = 1, jcMoved = 2, jcFirmware = 4 };

enum TJournalEventKind { jeSearch, jeUpload, jeIpChange };

// One row of the history: a device's sighting that changed something (search), an upload or
// an IP change. Only the member of the row's kind is filled.
struct TJournalEntry {
    qint64 Event = 0;
    QDateTime At;
    TJournalEventKind Kind = jeSearch;
    QString Name; // the device's name in the journal, when it has one
    TJournalDevice Seen;
    int Changes = 0; // TJournalChange bits of a search row
    TJournalUpload Upload;
    TJournalIpChange IpChange;

    const QString &Mac() const;
    // The address the row is about: where the device was seen, uploaded to or moved from.
    const QString &Address() const;
};

struct TJournalFilter {
    QStringList Macs; // empty: every device
    QDateTime Since;  // invalid: from the start
    int Limit = 0;    // 0: every row
};

// The marks of the latest search against the search before it (the same scope).
enum TJournalMark { jmNew = 1, jmMoved = 2, jmFirmware = 4, jmGone = 8, jmFirstSeen = 16 };

struct TJournalMarked {
    TJournalDevice Device;   // as the latest search heard it; for a gone one, as last heard
    TJournalDevice Previous; // as the search before heard it; empty for a new one
    int Marks = 0;           // TJournalMark bits; jmFirstSeen with jmNew: seen by no search before
};

struct TJournalLastUpload {
    QString File;
    QDateTime At;
    TJournalFileKind Kind = jfWeb;
    QString Outcome;
};

// A device any search has seen, with its latest texts.
struct TJournalKnown {
    TJournalDevice Device;
    QDateTime FirstSeen;
    QDateTime LastSeen;
};

// The history's words as the journal stores them and the exports write them: English always.
QString JournalKindText(TJournalEventKind kind);
QString JournalFileKindText(TJournalFileKind kind);
// "first seen, moved, firmware changed", or empty.
QString JournalChangesText(int changes);
// The same words in the user's language, for the History window and the text output.
QString JournalKindShown(TJournalEventKind kind);
QString JournalChangesShown(int changes);
// A recorded outcome or check word ("done", "verified") in the user's language; any other text
// (a failure's own message) as it was recorded.
QString JournalOutcomeShown(const QString &recorded);
// What a history row tells beyond its device, in the user's language: the changes a search saw
// ("moved (firmware 1-4-5.00)"), the file an upload sent and its outcome, the new address of an
// IP change.
QString JournalDetailsText(const TJournalEntry &entry);
// A text from a device or a journal as a one-line cell shows it: control characters and the
// marks that reorder the text after them become U+FFFD, so that no text hides or turns its
// neighbours. Exports keep the text as it is.
QString JournalShownText(QString text);
