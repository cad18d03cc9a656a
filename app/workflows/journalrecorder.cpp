#include "app/workflows/journalrecorder.h"

#include "ipassign/relynipchange.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>

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
    if (!journal || !journal->Writable())
        return 0;
    upload.Mac = upload.Mac.isEmpty() ? MacAt(upload.Address) : RelynCanonicalMac(upload.Mac);
    qint64 event = 0;
    if (!journal->RecordUpload(upload, &event))
        return 0;
    FUploadEvents.insert(upload.Address, event);
    return event;
}

void TJournalRecorder::Watch(TFleetUpload &fleet, TFleetUpload::TKind kind, const QString &file,
                             const QHash<QString, QString> &macs) {
    if (!Enabled())
        return;
    TJournalUpload described;
    described.Kind = kind == TFleetUpload::fkFirmware ? jfFirmware : jfWeb;
    // Read once for the whole fleet; a file that cannot be read is recorded without its hash.
    TJournal::DescribeFile(file, described);
    QObject::connect(&fleet, &TFleetUpload::DeviceFinished, &fleet,
                     [this, fleet = &fleet, described, macs](int index) {
                         const TFleetDevice &device = fleet->Devices().at(index);
                         TJournalUpload upload = described;
                         upload.Address = device.Address;
                         upload.Mac = macs.value(device.Address);
                         upload.Outcome = TFleetUpload::OutcomeText(device.Outcome);
                         upload.Reason = device.Reason;
                         Uploaded(upload);
                     });
}

bool TJournalRecorder::Verified(qint64 uploadEvent, const QString &verification) {
    TJournal *journal = Journal();
    return journal && uploadEvent > 0 && journal->SetVerification(uploadEvent, verification);
}

void TJournalRecorder::IpChanged(const QString &mac, const QString &oldAddress,
                                 const QString &newAddress, const QString &outcome) {
    if (TJournal *journal = Journal())
        journal->RecordIpChange({RelynCanonicalMac(mac), oldAddress, newAddress, outcome});
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
