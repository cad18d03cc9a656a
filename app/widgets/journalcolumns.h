// The Devices window's table: the shared device model's rows and columns, joined by MAC with
// what the site journal knows (name, note, last upload, the change since the previous search),
// and after them the devices the previous search heard and this one did not.
#pragma once

#include "app/core/journalrecords.h"
#include "discovery/relyndevicelist.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>

#include <memory>

class TJournalRecorder;
class TRelynDeviceModel;

class TJournalColumns : public QAbstractTableModel {
    Q_OBJECT
public:
    // After the device model's own columns.
    enum TColumn { jcName = rcCount, jcNote, jcLastUpload, jcChange, jcCount };
    // True on the rows of devices gone since the previous search.
    static constexpr int GoneRole = Qt::UserRole + 10;

    TJournalColumns(TRelynDeviceModel *devices, QObject *parent = nullptr);

    // None: the journal's columns stay empty and nothing is editable.
    void SetJournal(std::shared_ptr<TJournalRecorder> journal) { FJournal = std::move(journal); }
    // Reads the journal again; scope is the search's whose changes the rows show.
    void Refresh(const QString &scope);
    const QString &Scope() const { return FScope; }
    // The device a row stands for; a gone one's as the previous search heard it.
    bool Gone(int row) const { return row >= SourceRows(); }
    QString MacOf(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // "moved from 192.0.2.11", "firmware changed from 1-4-5.00", "new", "gone".
    static QString ChangeText(const TJournalMarked &mark);
    // "Station7_WEB1_03.pmf, 2026-03-01 14:05", with the outcome when it was not done.
    static QString LastUploadText(const TJournalLastUpload &upload);

private:
    int SourceRows() const;
    QVariant GoneData(int row, int column, int role) const;
    QString JournalText(int row, int column) const;

    TRelynDeviceModel *FDevices;
    std::shared_ptr<TJournalRecorder> FJournal;
    QHash<QString, TJournalLabel> FLabels;
    QHash<QString, TJournalLastUpload> FUploads;
    QHash<QString, TJournalMarked> FMarks;
    QList<TJournalDevice> FGone;
    QString FScope;
};
