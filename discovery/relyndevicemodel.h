// The device table of both windows without a window: one row per device with its interface, a
// sort value per column (addresses as numbers), and the search that fills it off the caller's
// thread.
#pragma once

#include "discovery/relyndevicelist.h"
#include "discovery/relynpar.h"
#include "discovery/relynsearch.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

class QThread;

class TRelynDeviceModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Columns are TRelynColumn's, rcCount of them.
    enum TRole { SortRole = Qt::UserRole, ReachableRole };

    explicit TRelynDeviceModel(QObject *parent = nullptr);

    void SetDevices(const QList<TRelynPar> &devices);
    const QList<TRelynPar> &Devices() const { return Rows; }
    // The row of the device with this MAC address, or -1; of several, the one at the address.
    int RowOfMac(const QString &mac, const QString &address = {}) const;
    // Reorders the rows in place as the search window sorts: ascending by the column's
    // comparison, rows that compare equal in the order they had. Raises ERelynError and moves
    // nothing when a text does not have the column's form. Views keep their selection.
    void SortBy(int column);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // A window's own caption for a column.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;

    static QStringList Captions();

private:
    QList<TRelynPar> Rows;
    QStringList Headers;
};

// "192.0.2.10" as a number that sorts addresses in their order; texts that are no address sort
// after every address.
quint64 RelynAddressSortValue(const QString &address);

// "12 devices on eth0 and eth1 in 0.23 s"; a range search names its range instead.
QString RelynSearchSummary(qsizetype devices, const QStringList &interfaces, const QString &range,
                           qint64 elapsedMs);

// What one search of the Devices window found, and what explains an empty result.
struct TRelynDevicesResult {
    TRelynSearchOutcome Outcome;
    QString Range; // the range searched; empty for a broadcast
    qint64 ElapsedMs = 0;
    QStringList NoReply;  // why nothing answered
    QString Error;        // the search failed
    bool Stopped = false; // ended early by Cancel: the devices heard until then
    // The interfaces the summary names: those asked, or those the devices answered on.
    QStringList InterfaceNames() const;
};

// Runs one search at a time on a thread of its own and reports on the owner's thread, so that
// a window never waits for the network.
class TRelynBackgroundSearch : public QObject {
    Q_OBJECT
public:
    using Search =
        std::function<TRelynSearchOutcome(const QString &typesFile, const TRelynSearchScope &)>;
    // A range search's hint differs from a broadcast's: the scope tells which was made.
    using NoReplyHint = std::function<QStringList(const TRelynSearchScope &scope,
                                                  const QList<TRelynInterface> &asked)>;

    // Without a search function: the real network, and the system's firewall for the hint.
    explicit TRelynBackgroundSearch(Search search = {}, NoReplyHint hint = {},
                                    QObject *parent = nullptr);
    // Stops a search still running and waits for its end (a moment): its thread uses nothing
    // of the caller's, and a program that quits must not linger for it.
    ~TRelynBackgroundSearch() override;

    bool Running() const { return Worker != nullptr; }
    // Takes effect from the next search; nothing explains an empty result without one.
    void SetNoReplyHint(NoReplyHint hint) { Explain = std::move(hint); }
    // False while a search runs.
    bool Start(const QString &typesFile, const TRelynSearchScope &scope, const QString &range);
    // The running search ends within a moment and reports what it has heard so far.
    void Cancel();

signals:
    void Finished(const TRelynDevicesResult &result);

private:
    void WorkerEnded();

    Search RunSearch;
    NoReplyHint Explain;
    QThread *Worker = nullptr;
    std::shared_ptr<TRelynDevicesResult> Pending;
    std::shared_ptr<std::atomic<bool>> StopRequest;
};
