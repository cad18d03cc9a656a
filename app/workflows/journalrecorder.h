// What searches, uploads and IP changes leave in the site journal, the same from the windows
// and from quillet-cli.
#pragma once

#include "app/core/journal.h"
#include "app/workflows/fleetupload.h"
#include "discovery/relynpar.h"
#include "discovery/relynsearch.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// Opens the journal at the first event, so that a program that records nothing never makes the
// file. Recording never fails the operation recorded: what went wrong waits in TakeMessages().
class TJournalRecorder {
public:
    // An empty path records nothing (--no-journal).
    explicit TJournalRecorder(QString path, TJournal::TClock clock = {});
    ~TJournalRecorder();
    TJournalRecorder(const TJournalRecorder &) = delete;
    TJournalRecorder &operator=(const TJournalRecorder &) = delete;

    bool Enabled() const { return !FPath.isEmpty(); }
    // The opened journal, for reading too; none without a path.
    TJournal *Journal();

    // Devices without a MAC address are left out: the journal knows a device by it.
    void Searched(const QList<TRelynPar> &devices, const QString &scope = {});
    // A missing MAC is taken from the latest search that saw a device at the address. Returns
    // the event for Verified(), 0 when nothing was recorded.
    qint64 Uploaded(TJournalUpload upload);
    // Records each device's upload as it ends; macs by address, where the caller knows them.
    void Watch(TFleetUpload &fleet, TFleetUpload::TKind kind, const QString &file,
               const QHash<QString, QString> &macs = {});
    // The latest upload recorded in this run to the address, for Verified(); 0 when none.
    qint64 UploadEvent(const QString &address) const { return FUploadEvents.value(address); }
    bool Verified(qint64 uploadEvent, const QString &verification);
    void IpChanged(const QString &mac, const QString &oldAddress, const QString &newAddress,
                   const QString &outcome);

    QStringList TakeMessages();

    // The scope under which a search is compared with the one before: empty for a broadcast
    // out of every interface.
    static QString ScopeText(const TRelynSearchScope &scope);
    static TJournalDevice DeviceOf(const TRelynPar &record);

private:
    QString MacAt(const QString &address);

    QString FPath;
    TJournal::TClock FClock;
    std::unique_ptr<TJournal> FJournal;
    QHash<QString, qint64> FUploadEvents;
};
