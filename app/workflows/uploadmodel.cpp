#include "app/workflows/uploadmodel.h"

#include "app/workflows/verifiedupload.h"

TUploadModel::TUploadModel(TFleetUpload &fleet, QObject *parent)
    : QAbstractTableModel(parent)
    , FFleet(fleet) {
    connect(&fleet, &TFleetUpload::TransferProgress, this, [this](int row, int percent) {
        if (row >= FRows.size())
            return;
        FRows[row].Stage = usSending;
        FRows[row].Percent = percent;
        RowChanged(row);
    });
    connect(&fleet, &TFleetUpload::RestartWaitLeft, this, [this](int row, int seconds) {
        if (row >= FRows.size())
            return;
        FRows[row].Stage = usRestarting;
        FRows[row].SecondsLeft = seconds;
        RowChanged(row);
    });
    connect(&fleet, &TFleetUpload::VerifyProgress, this, [this](int row, int page, int pages) {
        if (row >= FRows.size())
            return;
        FRows[row].Stage = usChecking;
        FRows[row].Page = page;
        FRows[row].Pages = pages;
        RowChanged(row);
    });
    connect(&fleet, &TFleetUpload::DeviceFinished, this, [this](int row) {
        if (row >= FRows.size())
            return;
        FRows[row].Stage = usEnded;
        RowChanged(row);
    });
}

void TUploadModel::SetAddresses(const QStringList &addresses) {
    beginResetModel();
    FRows.clear();
    for (const QString &address : addresses)
        FRows.append({address, usWaiting, 0, 0, 0, 0});
    endResetModel();
}

void TUploadModel::RowChanged(int row) {
    emit dataChanged(index(row, 0), index(row, ucCount - 1));
}

int TUploadModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TUploadModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ucCount;
}

// TFleetUpload::OutcomeText's words, for the translation.
[[maybe_unused]] const char *const OutcomeWords[] = {
    QT_TRANSLATE_NOOP("TUploadModel", "nothing sent"),
    QT_TRANSLATE_NOOP("TUploadModel", "done"),
    QT_TRANSLATE_NOOP("TUploadModel", "upload time-out"),
    QT_TRANSLATE_NOOP("TUploadModel", "restart time-out"),
    QT_TRANSLATE_NOOP("TUploadModel", "internal error"),
    QT_TRANSLATE_NOOP("TUploadModel", "failed"),
    QT_TRANSLATE_NOOP("TUploadModel", "no answer"),
    QT_TRANSLATE_NOOP("TUploadModel", "interrupted"),
    QT_TRANSLATE_NOOP("TUploadModel", "unknown"),
    // TWebVerification::WordText's words.
    QT_TRANSLATE_NOOP("TUploadModel", "verified"),
    QT_TRANSLATE_NOOP("TUploadModel", "differs"),
    QT_TRANSLATE_NOOP("TUploadModel", "not verified"),
    QT_TRANSLATE_NOOP("TUploadModel", "cancelled"),
};

QString TUploadModel::OutcomeText(int row) const {
    switch (FRows[row].Stage) {
    case usWaiting:
        // For a free place among the transfers that run at once.
        return tr("waiting");
    case usSending:
        return tr("sending");
    case usRestarting:
        return tr("restarting");
    case usChecking:
        return tr("checking");
    case usEnded:
        break;
    }
    const QList<TFleetDevice> &devices = FFleet.Devices();
    // The window shows the outcome words in its language; quillet-cli prints them as they are.
    return row < devices.size() ? tr(qPrintable(TFleetUpload::OutcomeText(devices[row].Outcome)))
                                : QString();
}

QString TUploadModel::VerifiedText(int row) const {
    const QList<TFleetDevice> &devices = FFleet.Devices();
    if (FRows[row].Stage != usEnded || row >= devices.size() || devices[row].Verified.isEmpty())
        return {};
    return tr(qPrintable(devices[row].Verified));
}

QString TUploadModel::ReasonText(int row) const {
    const QList<TFleetDevice> &devices = FFleet.Devices();
    return FRows[row].Stage == usEnded && row < devices.size() ? devices[row].Note() : QString();
}

QVariant TUploadModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= FRows.size())
        return {};
    const int row = index.row();
    const TRow &r = FRows[row];
    if (role == ProgressRole) {
        if (index.column() != ucProgress)
            return {};
        if (r.Stage == usSending)
            return r.Percent;
        // A done transfer keeps its full bar.
        if (r.Stage == usEnded && FFleet.Devices().value(row).Outcome == TDeviceUpload::uoDone)
            return 100;
        return -1;
    }
    if (role == FailedRole)
        return r.Stage == usEnded && FFleet.Devices().value(row).Failed();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case ucAddress:
        return r.Address;
    case ucProgress:
        if (r.Stage == usSending)
            return TDeviceUpload::TransferText(r.Percent);
        if (r.Stage == usRestarting)
            return TDeviceUpload::RestartText(r.SecondsLeft);
        if (r.Stage == usChecking)
            return TVerifiedUpload::VerifyText(r.Page, r.Pages);
        return {};
    case ucOutcome:
        return OutcomeText(row);
    case ucVerified:
        return VerifiedText(row);
    case ucReason:
        return ReasonText(row);
    default:
        return {};
    }
}

QVariant TUploadModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ucAddress:
        return tr("Device");
    case ucProgress:
        return tr("Progress");
    case ucOutcome:
        return tr("Outcome");
    case ucVerified:
        return tr("Verified");
    case ucReason:
        return tr("Reason");
    default:
        return {};
    }
}

QString TUploadModel::ResultsText() const {
    QString text = QStringLiteral("Address\tOutcome\tVerified\tReason\n");
    for (int row = 0; row < FRows.size(); ++row) {
        // A tab or line break inside a cell would split it.
        QString reason = ReasonText(row);
        reason.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), u' ');
        text += FRows[row].Address + QLatin1Char('\t') + OutcomeText(row) + QLatin1Char('\t') +
                VerifiedText(row) + QLatin1Char('\t') + reason + QLatin1Char('\n');
    }
    return text;
}

QString TUploadModel::SummaryText() const {
    const int total = static_cast<int>(FRows.size());
    if (FFleet.Running()) {
        const auto ended = std::count_if(FRows.begin(), FRows.end(),
                                         [](const TRow &r) { return r.Stage == usEnded; });
        return tr("Uploading to %1 %2, %3 ended")
            .arg(total)
            .arg(total == 1 ? tr("device") : tr("devices"))
            .arg(ended);
    }
    return TFleetUpload::SummaryLine(FFleet.DoneCount(), total, FFleet.VerifiedCount(),
                                     FFleet.DifferingCount());
}

#include "moc_uploadmodel.cpp"
