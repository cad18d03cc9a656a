// The rows of the upload window: one device each, following a fleet upload as it goes.
#pragma once

#include "app/workflows/fleetupload.h"

#include <QAbstractTableModel>

class TUploadModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { ucAddress, ucProgress, ucOutcome, ucVerified, ucReason, ucCount };
    // The transfer's percentage for the progress bar; -1 when the row shows no bar.
    static constexpr int ProgressRole = Qt::UserRole + 1;
    // True for a row that ended without reaching done, or whose device serves other pages.
    static constexpr int FailedRole = Qt::UserRole + 2;

    explicit TUploadModel(TFleetUpload &fleet, QObject *parent = nullptr);

    // The rows, before the fleet starts with the same addresses in the same order.
    void SetAddresses(const QStringList &addresses);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Address, outcome, check and reason of every row, tab-separated with a header line.
    QString ResultsText() const;
    // "Uploading to 20 devices, 3 ended" while it runs, then "18 of 20 devices done, 17
    // verified, 1 differs".
    QString SummaryText() const;

private:
    enum TStage { usWaiting, usSending, usRestarting, usChecking, usEnded };
    struct TRow {
        QString Address;
        TStage Stage = usWaiting;
        int Percent = 0;
        int SecondsLeft = 0;
        int Page = 0;
        int Pages = 0;
    };
    void RowChanged(int row);
    QString OutcomeText(int row) const;
    QString VerifiedText(int row) const;
    QString ReasonText(int row) const;

    TFleetUpload &FFleet;
    QList<TRow> FRows;
};
