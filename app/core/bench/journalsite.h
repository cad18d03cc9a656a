// A site's journal as the benchmarks fill it: 10,000 devices heard in searches of 50, a name
// for every fifth, and uploads for the rest of the events.
#pragma once

#include "app/core/journal.h"

#include <QList>
#include <QString>

namespace journalsite {

constexpr int KDevices = 10000;
constexpr int KEvents = 100000;
constexpr int KRound = 50;

inline QString Mac(int n) {
    return QStringLiteral("02-00-00-%1-%2-%3")
        .arg(n >> 16 & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(n >> 8 & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(n & 0xFF, 2, 16, QLatin1Char('0'))
        .toUpper();
}

inline QString Address(int n, bool moved) {
    return QStringLiteral("10.%1.%2.%3").arg(n >> 8).arg(n & 0xFF).arg(moved ? 2 : 1);
}

inline TJournalDevice Device(int n, bool moved) {
    return {Mac(n),
            Address(n, moved),
            QStringLiteral("eth0"),
            QStringLiteral("3.1"),
            QStringLiteral("P8510"),
            QStringLiteral("hall %1").arg(n)};
}

// Up to `events` events: the searches that heard every device, the names, then uploads.
inline bool Fill(TJournal &journal, int events) {
    int recorded = 0;
    for (int first = 0; first < KDevices; first += KRound, ++recorded) {
        QList<TJournalDevice> round;
        for (int n = first; n < first + KRound; ++n)
            round << Device(n, false);
        if (!journal.RecordSearch(round))
            return false;
    }
    for (int n = 0; n < KDevices; n += 5)
        journal.SetName(Mac(n), QStringLiteral("device %1").arg(n));
    for (; recorded < events; ++recorded) {
        TJournalUpload upload;
        upload.Mac = Mac(recorded * 7919 % KDevices);
        upload.Address = QStringLiteral("10.0.0.1");
        upload.File = QStringLiteral("/sites/hall/web%1.pmf").arg(recorded % 13);
        upload.Size = 65536;
        upload.Sha256 = QString(64, QLatin1Char('c'));
        upload.Outcome = QStringLiteral("done");
        upload.Verification = QStringLiteral("verified");
        if (!journal.RecordUpload(upload))
            return false;
    }
    return true;
}

} // namespace journalsite
