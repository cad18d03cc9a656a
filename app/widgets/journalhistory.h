// The site journal's history of some devices or of all, newest first, with its export to CSV
// or JSON.
#pragma once

#include "app/core/journalrecords.h"

#include <QDialog>
#include <QStringList>

class QPushButton;
class QStandardItemModel;
class QTableView;
class TDialogs;
class TJournal;

class TfJournalHistory : public QDialog {
    Q_OBJECT
public:
    // macs empty: every device's history.
    TfJournalHistory(TJournal &journal, const QStringList &macs, TDialogs &dialogs,
                     QWidget *parent = nullptr);

    const QList<TJournalEntry> &Entries() const { return FEntries; }
    // Writes the rows as CSV, or JSON for a name ending in .json; false with the reason.
    bool ExportTo(const QString &path, QString *error = nullptr) const;

    QTableView *TvHistory;
    QPushButton *BtnExport;
    QPushButton *BtnClose;

private:
    void Export();

    TDialogs &FDialogs;
    QList<TJournalEntry> FEntries;
    QStandardItemModel *FRows;
};
