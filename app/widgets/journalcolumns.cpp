#include "app/widgets/journalcolumns.h"

#include "app/core/journalrecords.h"
#include "app/workflows/journalrecorder.h"
#include "discovery/relyndevicemodel.h"
#include "ipassign/relynipchange.h"

#include <QFileInfo>

namespace {

TRelynPar RecordOf(const TJournalDevice &device) {
    TRelynPar record;
    record.IPAddress = device.Address;
    record.MACAddress = device.Mac;
    record.Firmware = device.Firmware;
    record.Description = device.Description;
    record.DeviceType = device.Type;
    record.Interface = device.Interface;
    return record;
}

} // namespace

TJournalColumns::TJournalColumns(TRelynDeviceModel *devices, QObject *parent)
    : QAbstractTableModel(parent)
    , FDevices(devices) {
    // The device model changes by resets (a new search) and by its cells' data.
    connect(devices, &QAbstractItemModel::modelAboutToBeReset, this,
            &TJournalColumns::beginResetModel);
    connect(devices, &QAbstractItemModel::modelReset, this, &TJournalColumns::endResetModel);
    connect(devices, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &from, const QModelIndex &to, const QList<int> &roles) {
                emit dataChanged(index(from.row(), from.column()), index(to.row(), to.column()),
                                 roles);
            });
    connect(devices, &QAbstractItemModel::headerDataChanged, this,
            &QAbstractItemModel::headerDataChanged);
}

void TJournalColumns::Refresh(const QString &scope) {
    beginResetModel();
    FScope = scope;
    FLabels.clear();
    FUploads.clear();
    FMarks.clear();
    FGone.clear();
    TJournal *journal = FJournal ? FJournal->Journal() : nullptr;
    if (journal) {
        FLabels = journal->Labels();
        FUploads = journal->LastUploads();
        QHash<QString, bool> listed;
        for (const TRelynPar &device : FDevices->Devices())
            listed.insert(RelynCanonicalMac(device.MACAddress), true);
        for (const TJournalMarked &mark : journal->Marks(scope)) {
            // A device listed again (a later search of another scope) is not gone.
            if (mark.Marks & jmGone) {
                if (!listed.contains(mark.Device.Mac))
                    FGone << mark.Device;
            } else {
                FMarks.insert(mark.Device.Mac, mark);
            }
        }
    }
    endResetModel();
}

int TJournalColumns::SourceRows() const {
    return FDevices->rowCount();
}

QString TJournalColumns::MacOf(int row) const {
    if (Gone(row))
        return FGone.value(row - SourceRows()).Mac;
    return RelynCanonicalMac(FDevices->Devices().value(row).MACAddress);
}

int TJournalColumns::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : SourceRows() + static_cast<int>(FGone.size());
}

int TJournalColumns::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : jcCount;
}

QString TJournalColumns::ChangeText(const TJournalMarked &mark) {
    QStringList words;
    if (mark.Marks & jmNew)
        words << tr("new");
    if (mark.Marks & jmMoved)
        words << tr("moved from %1").arg(mark.Previous.Address);
    if (mark.Marks & jmFirmware)
        words << tr("firmware changed from %1").arg(mark.Previous.Firmware);
    if (mark.Marks & jmGone)
        words << tr("gone");
    return words.join(QStringLiteral(", "));
}

QString TJournalColumns::LastUploadText(const TJournalLastUpload &upload) {
    if (upload.File.isEmpty())
        return {};
    QString text = QFileInfo(upload.File).fileName() + QStringLiteral(", ") +
                   upload.At.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    if (upload.Outcome != QStringLiteral("done"))
        text += QStringLiteral(" (%1)").arg(JournalOutcomeShown(upload.Outcome));
    return text;
}

QString TJournalColumns::JournalText(int row, int column) const {
    const QString mac = MacOf(row);
    switch (column) {
    case jcName:
        return FLabels.value(mac).Name;
    case jcNote:
        return FLabels.value(mac).Note;
    case jcLastUpload:
        return LastUploadText(FUploads.value(mac));
    case jcChange:
        if (Gone(row))
            return tr("gone");
        return FMarks.contains(mac) ? ChangeText(FMarks.value(mac)) : QString();
    }
    return {};
}

QVariant TJournalColumns::GoneData(int row, int column, int role) const {
    const TRelynPar record = RecordOf(FGone.value(row - SourceRows()));
    switch (role) {
    case Qt::DisplayRole:
        return RelynColumnText(record, column);
    case TRelynDeviceModel::SortRole:
        return column == rcIPAddress ? QVariant(RelynAddressSortValue(record.IPAddress))
                                     : QVariant(RelynColumnText(record, column));
    case Qt::ToolTipRole:
        return tr("Heard by the previous search, not by this one.");
    }
    return {};
}

QVariant TJournalColumns::data(const QModelIndex &index, int role) const {
    if (!index.isValid())
        return {};
    const int row = index.row();
    const int column = index.column();
    if (role == GoneRole)
        return Gone(row);
    // Gone rows are drawn as devices out of reach are: greyed.
    if (role == TRelynDeviceModel::ReachableRole && Gone(row))
        return false;
    if (column < rcCount)
        return Gone(row) ? GoneData(row, column, role) : FDevices->index(row, column).data(role);
    switch (role) {
    case Qt::DisplayRole:
        return JournalShownText(JournalText(row, column));
    case Qt::EditRole:
    case TRelynDeviceModel::SortRole:
        return JournalText(row, column);
    case TRelynDeviceModel::ReachableRole:
        return FDevices->index(row, 0).data(role);
    }
    return {};
}

QVariant TJournalColumns::headerData(int section, Qt::Orientation orientation, int role) const {
    if (section < rcCount || orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return FDevices->headerData(section, orientation, role);
    static const char *const captions[] = {QT_TR_NOOP("Name"), QT_TR_NOOP("Note"),
                                           QT_TR_NOOP("Last upload"),
                                           QT_TR_NOOP("Since last search")};
    return tr(captions[section - rcCount]);
}

Qt::ItemFlags TJournalColumns::flags(const QModelIndex &index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    const bool label = index.column() == jcName || index.column() == jcNote;
    if (label && FJournal && RelynIsMacAddress(MacOf(index.row())))
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool TJournalColumns::setData(const QModelIndex &index, const QVariant &value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    TJournal *journal = FJournal->Journal();
    const QString mac = MacOf(index.row());
    const QString text = value.toString().trimmed();
    const bool name = index.column() == jcName;
    if (!journal || !(name ? journal->SetName(mac, text) : journal->SetNote(mac, text)))
        return false;
    TJournalLabel &label = FLabels[mac];
    (name ? label.Name : label.Note) = text;
    // Every row of that device (it may be listed on two interfaces).
    emit dataChanged(this->index(0, index.column()), this->index(rowCount() - 1, index.column()),
                     {Qt::DisplayRole, Qt::EditRole});
    return true;
}
