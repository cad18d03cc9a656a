#include "app/workflows/fleetupload.h"

#include "app/workflows/verifiedupload.h"
#include "app/workflows/workflowreport.h"
#include "support/echohub.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace {
QString Named(const TUploadTarget &target) {
    QString text = target.Address;
    QStringList kind;
    if (!target.Family.isEmpty())
        kind << target.Family;
    if (!target.Model.isEmpty())
        kind << target.Model;
    if (!kind.isEmpty())
        text += QStringLiteral(" (") + kind.join(QStringLiteral(", ")) + QLatin1Char(')');
    return text;
}
} // namespace

QString UploadQuestion(const QList<TUploadTarget> &targets, bool firmware, const QString &file) {
    QStringList parts;
    if (firmware && targets.size() > 1) {
        parts << TFleetUpload::tr("Send the firmware %1 to %2 devices?")
                     .arg(QFileInfo(file).fileName())
                     .arg(targets.size());
        QHash<QString, int> counts;
        const auto kindOf = [](const TUploadTarget &target) {
            return target.Family + QLatin1Char('\n') + target.Model;
        };
        QString common;
        for (const TUploadTarget &target : targets) {
            const int count = ++counts[kindOf(target)];
            if (count > counts.value(common))
                common = kindOf(target);
        }
        QStringList differing;
        for (const TUploadTarget &target : targets) {
            if (kindOf(target) != common)
                differing << Named(target);
        }
        if (!differing.isEmpty())
            parts << TFleetUpload::tr("These differ in family or model from the others:\n") +
                         differing.join(QLatin1Char('\n'));
    }
    QStringList unreachable;
    for (const TUploadTarget &target : targets) {
        if (!target.Reachable)
            unreachable << Named(target);
    }
    if (!unreachable.isEmpty()) {
        parts << TFleetUpload::tr("This computer has no route to:\n") +
                     unreachable.join(QLatin1Char('\n'));
        if (parts.size() == 1)
            parts << TFleetUpload::tr("Send to them anyway?");
    }
    return parts.join(QStringLiteral("\n\n"));
}

// Keeps the lines of one device's upload for whoever wants to look at them later.
class TFleetUpload::TKeptReport : public TWorkflowReport {
public:
    explicit TKeptReport(TFleetUpload &fleet, int index)
        : FFleet(fleet)
        , FIndex(index) {}
    void ClearInfo() override { Lines().clear(); }
    void AddInfo(const QString &line) override { Lines().append(line); }
    void ErrorBox(const QString &text) override { Lines().append(text); }
    void SetBusy(bool) override {}

private:
    QStringList &Lines() { return FFleet.FDevices[FIndex].Lines; }
    TFleetUpload &FFleet;
    int FIndex;
};

TFleetUpload::TFleetUpload(TUploadSettings settings, QObject *parent)
    : QObject(parent)
    , FSettings(std::move(settings)) {
}

TFleetUpload::~TFleetUpload() {
    // The uploads stop quietly and before the reports they write to go.
    FUploads.clear();
}

void TFleetUpload::Start(TKind kind, const QString &file, const QStringList &addresses) {
    if (Running())
        return;
    FUploads.clear();
    FReports.clear();
    FDevices.clear();
    TUploadSettings settings = FSettings;
    if (settings.ShareEcho && !settings.EchoHub) {
        // Without a socket of its own (a normal user where the system allows none), each
        // restart wait falls back to the system's ping on a thread.
        settings.EchoHub = TEchoHub::Open();
    }
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const int index = static_cast<int>(i);
        TFleetDevice device;
        device.Address = addresses[i];
        FDevices.append(device);
        FReports.push_back(FReportFactory ? FReportFactory(index, addresses[i])
                                          : std::make_unique<TKeptReport>(*this, index));
        auto upload =
            std::make_unique<TVerifiedUpload>(*FReports.back(), nullptr, settings, FVerifySettings);
        connect(upload.get(), &TVerifiedUpload::TransferProgress, this,
                [this, index](int percent) { emit TransferProgress(index, percent); });
        connect(upload.get(), &TVerifiedUpload::ClientEnded, this,
                [this, index] { TransferEnded(index); });
        connect(upload.get(), &TVerifiedUpload::RestartWaitLeft, this,
                [this, index](int seconds) { emit RestartWaitLeft(index, seconds); });
        connect(upload.get(), &TVerifiedUpload::VerifyProgress, this,
                [this, index](int page, int pages) { emit VerifyProgress(index, page, pages); });
        connect(upload.get(), &TVerifiedUpload::Finished, this,
                [this, index](TDeviceUpload::TOutcome outcome) { DeviceEnded(index, outcome); });
        FUploads.push_back(std::move(upload));
    }
    // Every upload is counted before the first starts, so that one that finishes at once (a
    // client that cannot be started) does not end the whole run.
    FRunning = static_cast<int>(FUploads.size());
    if (FRunning == 0) {
        emit AllFinished();
        return;
    }
    FKind = kind;
    FFile = file;
    // Read once for the whole run.
    FPages = kind == fkWeb && FVerify ? TVerifiedUpload::ReadWebFile(file) : nullptr;
    FNextStart = 0;
    FTransfers = 0;
    FInTransfer.assign(FUploads.size(), false);
    StartWaiting();
}

void TFleetUpload::StartWaiting() {
    // An upload that ends as it starts gives its place back at once; the loop below takes it,
    // rather than a call for each such device one inside the other.
    if (FStarting)
        return;
    FStarting = true;
    while (FTransfers < FParallel && FNextStart < FUploads.size()) {
        const std::size_t i = FNextStart++;
        FInTransfer[i] = true;
        ++FTransfers;
        const QString &address = FDevices[static_cast<qsizetype>(i)].Address;
        if (FKind == fkWeb)
            FUploads[i]->StartWeb(address, FFile, FPages);
        else
            FUploads[i]->StartFirmware(address, FFile);
    }
    FStarting = false;
}

void TFleetUpload::TransferEnded(int index) {
    const auto i = static_cast<std::size_t>(index);
    if (i >= FInTransfer.size() || !FInTransfer[i])
        return;
    FInTransfer[i] = false;
    --FTransfers;
    StartWaiting();
}

void TFleetUpload::Cancel() {
    // Nothing more starts; those still waiting end untouched, after the ones under way.
    const std::size_t waiting = FNextStart;
    FNextStart = FUploads.size();
    for (std::size_t i = 0; i < waiting; ++i)
        FUploads[i]->Cancel();
    for (std::size_t i = waiting; i < FUploads.size(); ++i) {
        FDevices[static_cast<qsizetype>(i)].Reason =
            tr("Stopped before its turn came; nothing was sent.");
        DeviceEnded(static_cast<int>(i), TDeviceUpload::uoCancelled);
    }
}

void TFleetUpload::DeviceEnded(int index, TDeviceUpload::TOutcome outcome) {
    TransferEnded(index);
    TFleetDevice &device = FDevices[index];
    if (device.Ended)
        return;
    device.Ended = true;
    device.Outcome = outcome;
    const TVerifiedUpload &upload = *FUploads[static_cast<std::size_t>(index)];
    // One still waiting for its turn has its reason already.
    if (!upload.Reason().isEmpty())
        device.Reason = upload.Reason();
    if (const auto &check = upload.Verification()) {
        device.Verified = TWebVerification::WordText(check->Word);
        device.VerifySummary = check->Summary;
    }
    emit DeviceFinished(index);
    if (--FRunning == 0)
        emit AllFinished();
}

int TFleetUpload::DoneCount() const {
    return static_cast<int>(std::count_if(FDevices.begin(), FDevices.end(), [](const auto &d) {
        return d.Ended && d.Outcome == TDeviceUpload::uoDone;
    }));
}

QString TFleetUpload::OutcomeText(TDeviceUpload::TOutcome outcome) {
    switch (outcome) {
    case TDeviceUpload::uoNothingSent:
        return QStringLiteral("nothing sent");
    case TDeviceUpload::uoDone:
        return QStringLiteral("done");
    case TDeviceUpload::uoUploadTimeout:
        return QStringLiteral("upload time-out");
    case TDeviceUpload::uoRestartTimeout:
        return QStringLiteral("restart time-out");
    case TDeviceUpload::uoInternalError:
        return QStringLiteral("internal error");
    case TDeviceUpload::uoFailed:
        return QStringLiteral("failed");
    case TDeviceUpload::uoNoAnswer:
        return QStringLiteral("no answer");
    case TDeviceUpload::uoCancelled:
        return QStringLiteral("interrupted");
    }
    return QStringLiteral("unknown");
}

QString TFleetUpload::SummaryLine(int done, int total, int verified, int differing) {
    QString line =
        tr("%1 of %2 %3 done").arg(done).arg(total).arg(total == 1 ? tr("device") : tr("devices"));
    if (verified > 0)
        line += tr(", %1 verified").arg(verified);
    if (differing > 0)
        line += differing == 1 ? tr(", 1 differs") : tr(", %1 differ").arg(differing);
    return line;
}

int TFleetUpload::VerifiedCount() const {
    const QString verified = TWebVerification::WordText(TWebVerification::vwVerified);
    return static_cast<int>(std::count_if(FDevices.begin(), FDevices.end(),
                                          [&](const auto &d) { return d.Verified == verified; }));
}

int TFleetUpload::DifferingCount() const {
    return static_cast<int>(
        std::count_if(FDevices.begin(), FDevices.end(), [](const auto &d) { return d.Differs(); }));
}

bool TFleetDevice::Differs() const {
    return Verified == TWebVerification::WordText(TWebVerification::vwDiffers);
}

bool TFleetDevice::Failed() const {
    return Ended && (Outcome != TDeviceUpload::uoDone || Differs());
}

QString TFleetDevice::Note() const {
    if (!Reason.isEmpty())
        return Reason;
    if (Verified == TWebVerification::WordText(TWebVerification::vwVerified))
        return {};
    return VerifySummary;
}

#include "moc_fleetupload.cpp"
