// What searches, uploads and IP changes leave in the site journal, the same from the windows
// and from quillet-cli.
#pragma once

#include "app/core/journal.h"
#include "app/workflows/fleetupload.h"
#include "app/workflows/verifiedupload.h"
#include "discovery/relyndevicelist.h"
#include "discovery/relyndevicemodel.h"
#include "discovery/relynpar.h"
#include "discovery/relynsearch.h"
#include "discovery/relynsearchlangsupport.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
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

    using TMessageSink = std::function<void(const QString &message)>;

    bool Enabled() const { return !FPath.isEmpty(); }
    // Where a window shows what the journal has to say, as soon as it is said.
    void SetMessageSink(TMessageSink sink) { FSink = std::move(sink); }
    // The opened journal, for reading too; none without a path.
    TJournal *Journal();

    // Devices without a MAC address are left out: the journal knows a device by it.
    void Searched(const QList<TRelynPar> &devices, const QString &scope = {});
    // A missing MAC is taken from the latest search that saw a device at the address. Returns
    // the event for Verified(), 0 when nothing was recorded.
    qint64 Uploaded(TJournalUpload upload);
    // Records each device's upload as it ends; macs by address, where the caller knows them.
    // The recorder lives as long as the fleet's connections need it.
    static void Watch(const std::shared_ptr<TJournalRecorder> &recorder, TFleetUpload &fleet,
                      TFleetUpload::TKind kind, const QString &file,
                      const QHash<QString, QString> &macs = {});
    static void Watch(const std::shared_ptr<TJournalRecorder> &recorder, TVerifiedUpload &upload,
                      TFleetUpload::TKind kind, const QString &file, const QString &address);

    // A window's searches, recorded on the context's thread before the window hears of them
    // (the search itself runs on a worker). An empty search stands for the real network.
    static TRelynBackgroundSearch::Search
    Recording(const std::shared_ptr<TJournalRecorder> &recorder, QObject *context,
              TRelynBackgroundSearch::Search search);
    static TRelynSearchFunction Recording(const std::shared_ptr<TJournalRecorder> &recorder,
                                          QObject *context, TRelynSearchFunction search);
    // What the IP change dialog tells of each change it sent (RelynIPChangeOpener's observer);
    // none when nothing is recorded.
    using TIpChangeSink = std::function<void(const QString &mac, const QString &oldAddress,
                                             const QString &newAddress, const QString &outcome)>;
    static TIpChangeSink IpChanges(const std::shared_ptr<TJournalRecorder> &recorder);
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
    void Tell();

    QString FPath;
    TJournal::TClock FClock;
    std::unique_ptr<TJournal> FJournal;
    QHash<QString, qint64> FUploadEvents;
    TMessageSink FSink;
};
