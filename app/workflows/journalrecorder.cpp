#include "app/workflows/journalrecorder.h"

#include "ipassign/relynipchange.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QMetaObject>
#include <QPointer>

TJournalRecorder::TJournalRecorder(QString path, TJournal::TClock clock)
    : FPath(std::move(path))
    , FClock(std::move(clock)) {
}

TJournalRecorder::~TJournalRecorder() = default;

TJournal *TJournalRecorder::Journal() {
    if (FPath.isEmpty())
        return nullptr;
    if (!FJournal) {
        FJournal = std::make_unique<TJournal>(FPath, FClock);
        // The installed layout's data folder may not exist yet; a failure shows in Open().
        QDir().mkpath(QFileInfo(FPath).path());
        FJournal->Open();
    }
    return FJournal.get();
}

TJournalDevice TJournalRecorder::DeviceOf(const TRelynPar &record) {
    return {RelynCanonicalMac(record.MACAddress),
            record.IPAddress,
            record.Interface,
            record.Firmware,
            record.DeviceType,
            record.Description};
}

void TJournalRecorder::Searched(const QList<TRelynPar> &devices, const QString &scope) {
    TJournal *journal = Journal();
    if (!journal)
        return;
    QList<TJournalDevice> seen;
    for (const TRelynPar &record : devices)
        if (RelynIsMacAddress(record.MACAddress))
            seen << DeviceOf(record);
    journal->RecordSearch(seen, scope);
    Tell();
}

QString TJournalRecorder::MacAt(const QString &address) {
    QString mac;
    QDateTime latest;
    for (const TJournalKnown &known : Journal()->KnownDevices()) {
        if (known.Device.Address == address && !(known.LastSeen < latest)) {
            latest = known.LastSeen;
            mac = known.Device.Mac;
        }
    }
    return mac;
}

qint64 TJournalRecorder::Uploaded(TJournalUpload upload) {
    TJournal *journal = Journal();
    if (!journal || !journal->Writable()) {
        Tell();
        return 0;
    }
    upload.Mac = upload.Mac.isEmpty() ? MacAt(upload.Address) : RelynCanonicalMac(upload.Mac);
    qint64 event = 0;
    const bool recorded = journal->RecordUpload(upload, &event);
    Tell();
    if (!recorded)
        return 0;
    FUploadEvents.insert(upload.Address, event);
    return event;
}

void TJournalRecorder::Watch(const std::shared_ptr<TJournalRecorder> &recorder, TFleetUpload &fleet,
                             TFleetUpload::TKind kind, const QString &file,
                             const QHash<QString, QString> &macs) {
    if (!recorder || !recorder->Enabled())
        return;
    TJournalUpload described;
    described.Kind = kind == TFleetUpload::fkFirmware ? jfFirmware : jfWeb;
    // Read once for the whole fleet; a file that cannot be read is recorded without its hash.
    TJournal::DescribeFile(file, described);
    QObject::connect(&fleet, &TFleetUpload::DeviceFinished, &fleet,
                     [recorder, fleet = &fleet, described, macs](int index) {
                         const TFleetDevice &device = fleet->Devices().at(index);
                         TJournalUpload upload = described;
                         upload.Address = device.Address;
                         upload.Mac = macs.value(device.Address);
                         upload.Outcome = TFleetUpload::OutcomeText(device.Outcome);
                         upload.Reason = device.Reason;
                         upload.Verification = device.Verified;
                         recorder->Uploaded(upload);
                     });
}

void TJournalRecorder::Watch(const std::shared_ptr<TJournalRecorder> &recorder,
                             TVerifiedUpload &upload, TFleetUpload::TKind kind, const QString &file,
                             const QString &address) {
    if (!recorder || !recorder->Enabled())
        return;
    TJournalUpload described;
    described.Kind = kind == TFleetUpload::fkFirmware ? jfFirmware : jfWeb;
    described.Address = address;
    TJournal::DescribeFile(file, described);
    QObject::connect(&upload, &TVerifiedUpload::Finished, &upload,
                     [recorder, upload = &upload, described](TDeviceUpload::TOutcome outcome) {
                         TJournalUpload ended = described;
                         ended.Outcome = TFleetUpload::OutcomeText(outcome);
                         ended.Reason = upload->Reason();
                         if (const auto &verification = upload->Verification())
                             ended.Verification = TWebVerification::WordText(verification->Word);
                         recorder->Uploaded(ended);
                     });
}

TRelynBackgroundSearch::Search
TJournalRecorder::Recording(const std::shared_ptr<TJournalRecorder> &recorder, QObject *context,
                            TRelynBackgroundSearch::Search search) {
    if (!search)
        search = RunRelynScopedSearch;
    if (!recorder || !recorder->Enabled())
        return search;
    return [recorder, context = QPointer(context), search](const QString &typesFile,
                                                           const TRelynSearchScope &scope) {
        TRelynSearchOutcome outcome = search(typesFile, scope);
        // A stopped search heard part of the network, some devices without their info: kept as
        // the previous search, it would mark the others gone and these changed next time.
        if (scope.Stop && scope.Stop->load())
            return outcome;
        // Queued before the worker ends, so before the window's own report of the search.
        if (QObject *owner = context.data())
            QMetaObject::invokeMethod(
                owner,
                [recorder, devices = outcome.Devices, scope = ScopeText(scope)] {
                    recorder->Searched(devices, scope);
                },
                Qt::QueuedConnection);
        return outcome;
    };
}

TRelynSearchFunction TJournalRecorder::Recording(const std::shared_ptr<TJournalRecorder> &recorder,
                                                 QObject *context, TRelynSearchFunction search) {
    const TRelynBackgroundSearch::Search scoped =
        search ? [search](const QString &typesFile, const TRelynSearchScope &) {
            return TRelynSearchOutcome{search(typesFile), {}, 0, {}};
        }
               : TRelynBackgroundSearch::Search();
    const TRelynBackgroundSearch::Search recorded = Recording(recorder, context, scoped);
    return [recorded](const QString &typesFile) {
        return recorded(typesFile, TRelynSearchScope()).Devices;
    };
}

TJournalRecorder::TIpChangeSink
TJournalRecorder::IpChanges(const std::shared_ptr<TJournalRecorder> &recorder) {
    if (!recorder || !recorder->Enabled())
        return {};
    return [recorder](const QString &mac, const QString &oldAddress, const QString &newAddress,
                      const QString &outcome) {
        recorder->IpChanged(mac, oldAddress, newAddress, outcome);
    };
}

bool TJournalRecorder::Verified(qint64 uploadEvent, const QString &verification) {
    TJournal *journal = Journal();
    return journal && uploadEvent > 0 && journal->SetVerification(uploadEvent, verification);
}

void TJournalRecorder::IpChanged(const QString &mac, const QString &oldAddress,
                                 const QString &newAddress, const QString &outcome) {
    if (TJournal *journal = Journal())
        journal->RecordIpChange({RelynCanonicalMac(mac), oldAddress, newAddress, outcome});
    Tell();
}

void TJournalRecorder::Tell() {
    if (!FSink)
        return;
    for (const QString &message : TakeMessages())
        FSink(message);
}

QStringList TJournalRecorder::TakeMessages() {
    return FJournal ? FJournal->TakeMessages() : QStringList();
}

QString TJournalRecorder::ScopeText(const TRelynSearchScope &scope) {
    if (!scope.Ranges.isEmpty()) {
        QStringList ranges;
        for (const TRelynRange &range : scope.Ranges)
            ranges << QHostAddress(range.First).toString() + u'-' +
                          QHostAddress(range.Last).toString();
        return QStringLiteral("range ") + ranges.join(u' ');
    }
    if (scope.Interfaces.isEmpty())
        return {};
    QStringList names = scope.Interfaces;
    names.sort();
    names.removeDuplicates();
    return QStringLiteral("interface ") + names.join(u' ');
}
