#include "discovery/relyndevicemodel.h"

#include "discovery/relynerror.h"
#include "discovery/relynnoreply.h"

#include <QThread>
#include <exception>

namespace {

QString JoinNames(const QStringList &names) {
    if (names.size() < 2)
        return names.join(QString());
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) +
           TRelynDeviceModel::tr(" and ") + names.last();
}

} // namespace

TRelynDeviceModel::TRelynDeviceModel(QObject *parent)
    : QAbstractTableModel(parent)
    , Headers(Captions()) {
}

QStringList TRelynDeviceModel::Captions() {
    return {tr("IP address"),  tr("MAC address"),        tr("Firmware"),
            tr("Device type"), tr("Device description"), tr("Interface")};
}

void TRelynDeviceModel::SetDevices(const QList<TRelynPar> &devices) {
    beginResetModel();
    Rows = devices;
    endResetModel();
}

int TRelynDeviceModel::RowOfMac(const QString &mac, const QString &address) const {
    int found = -1;
    for (int row = 0; row < Rows.size(); ++row) {
        if (Rows[row].MACAddress.compare(mac, Qt::CaseInsensitive) != 0)
            continue;
        if (Rows[row].IPAddress == address)
            return row;
        if (found < 0)
            found = row;
    }
    return found;
}

void TRelynDeviceModel::SortBy(int column) {
    TRelynDeviceList sorted;
    sorted.Assign(Rows);
    const std::vector<qsizetype> order = sorted.SortBy(column);
    const QList<QPersistentModelIndex> parents;
    emit layoutAboutToBeChanged(parents, QAbstractItemModel::VerticalSortHint);
    std::vector<int> moved(order.size());
    for (size_t row = 0; row < order.size(); ++row)
        moved[static_cast<size_t>(order[row])] = static_cast<int>(row);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &old : before)
        after << index(moved[static_cast<size_t>(old.row())], old.column());
    Rows = sorted.Records();
    changePersistentIndexList(before, after);
    emit layoutChanged(parents, QAbstractItemModel::VerticalSortHint);
}

int TRelynDeviceModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

int TRelynDeviceModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : rcCount;
}

QVariant TRelynDeviceModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= Rows.size())
        return {};
    const TRelynPar &record = Rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return RelynColumnText(record, index.column());
    case SortRole:
        if (index.column() == rcIPAddress)
            return RelynAddressSortValue(record.IPAddress);
        return RelynColumnText(record, index.column()).toLower();
    case ReachableRole:
        return record.Reachable;
    case Qt::ToolTipRole:
        // An upload from this computer cannot reach the device where it is now.
        if (!record.Reachable)
            return tr("This computer cannot reach %1 through %2 (%3). Give the device an "
                      "address in %3 with Change IP.")
                .arg(record.IPAddress, record.Interface, record.Network);
        return {};
    }
    return {};
}

QVariant TRelynDeviceModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= rcCount)
        return {};
    return Headers.at(section);
}

bool TRelynDeviceModel::setHeaderData(int section, Qt::Orientation orientation,
                                      const QVariant &value, int role) {
    if (orientation != Qt::Horizontal || (role != Qt::EditRole && role != Qt::DisplayRole) ||
        section < 0 || section >= rcCount)
        return false;
    Headers[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

quint64 RelynAddressSortValue(const QString &address) {
    const QStringList parts = address.split(u'.');
    quint64 value = 0;
    bool valid = parts.size() == 4;
    for (const QString &part : parts) {
        bool ok = false;
        const uint number = part.toUInt(&ok);
        valid = valid && ok && number <= 255;
        value = value << 8 | (number & 0xFF);
    }
    return valid ? value : (quint64{1} << 32);
}

QString RelynSearchSummary(qsizetype devices, const QStringList &interfaces, const QString &range,
                           qint64 elapsedMs) {
    QString text = devices == 1 ? TRelynDeviceModel::tr("1 device")
                                : TRelynDeviceModel::tr("%1 devices").arg(devices);
    if (!range.isEmpty())
        text += TRelynDeviceModel::tr(" in %1").arg(range);
    else if (!interfaces.isEmpty())
        text += TRelynDeviceModel::tr(" on %1").arg(JoinNames(interfaces));
    return text + TRelynDeviceModel::tr(" in %1 s").arg(elapsedMs / 1000.0, 0, 'f', 2);
}

QStringList TRelynDevicesResult::InterfaceNames() const {
    QStringList names;
    for (const TRelynInterface &asked : Outcome.Asked)
        names << asked.Name;
    if (names.isEmpty())
        for (const TRelynPar &device : Outcome.Devices)
            if (!device.Interface.isEmpty() && !names.contains(device.Interface))
                names << device.Interface;
    return names;
}

TRelynBackgroundSearch::TRelynBackgroundSearch(Search search, NoReplyHint hint, QObject *parent)
    : QObject(parent)
    , RunSearch(std::move(search))
    , Explain(std::move(hint)) {
    if (!RunSearch) {
        RunSearch = RunRelynScopedSearch;
        Explain = [](const TRelynSearchScope &scope, const QList<TRelynInterface> &asked) {
            return RelynSearchNoReplyHint(scope, asked, RelynCheckFirewall());
        };
    }
}

TRelynBackgroundSearch::~TRelynBackgroundSearch() {
    if (Worker) {
        Cancel();
        Worker->wait();
        delete Worker;
    }
}

bool TRelynBackgroundSearch::Start(const QString &typesFile, const TRelynSearchScope &scope,
                                   const QString &range) {
    if (Worker)
        return false;
    auto result = std::make_shared<TRelynDevicesResult>();
    result->Range = range;
    Pending = result;
    StopRequest = std::make_shared<std::atomic<bool>>(false);
    TRelynSearchScope stoppable = scope;
    stoppable.Stop = StopRequest;
    // The thread gets copies of everything it uses, never this object.
    Worker = QThread::create(
        [result, search = RunSearch, explain = Explain, typesFile, scope = std::move(stoppable)] {
            QElapsedTimer clock;
            clock.start();
            try {
                result->Outcome = search(typesFile, scope);
            } catch (const ERelynError &error) {
                result->Error = error.Text;
            } catch (const std::exception &error) {
                result->Error = QString::fromUtf8(error.what());
            }
            result->ElapsedMs = clock.elapsed();
            result->Stopped = scope.Stop->load();
            if (!result->Stopped && result->Error.isEmpty() && result->Outcome.Devices.isEmpty() &&
                explain)
                result->NoReply = explain(scope, result->Outcome.Asked);
        });
    connect(Worker, &QThread::finished, this, &TRelynBackgroundSearch::WorkerEnded);
    Worker->start();
    return true;
}

void TRelynBackgroundSearch::Cancel() {
    if (Worker && StopRequest)
        StopRequest->store(true);
}

void TRelynBackgroundSearch::WorkerEnded() {
    Worker->wait();
    delete Worker;
    Worker = nullptr;
    const std::shared_ptr<TRelynDevicesResult> result = std::move(Pending);
    emit Finished(*result);
}

#include "moc_relyndevicemodel.cpp"
