#include "app/widgets/journalhistory.h"

#include "app/core/journal.h"
#include "app/core/journalexport.h"
#include "app/core/journalrecords.h"
#include "app/widgets/dialogs.h"
#include "support/savefile.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>

TfJournalHistory::TfJournalHistory(TJournal &journal, const QStringList &macs, TDialogs &dialogs,
                                   QWidget *parent)
    : QDialog(parent)
    , FDialogs(dialogs)
    , FRows(new QStandardItemModel(this)) {
    setObjectName(QStringLiteral("fJournalHistory"));
    setWindowTitle(macs.size() == 1 ? tr("History of %1").arg(macs.first()) : tr("History"));
    TJournalFilter filter;
    filter.Macs = macs;
    FEntries = journal.History(filter);
    FRows->setHorizontalHeaderLabels(
        {tr("Time"), tr("Event"), tr("MAC address"), tr("Name"), tr("IP address"), tr("What")});
    for (const TJournalEntry &entry : FEntries) {
        // Items never take a device's text as markup; what could reorder or hide it is shown.
        QList<QStandardItem *> row;
        for (const QString &text :
             {entry.At.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
              JournalKindShown(entry.Kind), entry.Mac(), entry.Name, entry.Address(),
              JournalDetailsText(entry)}) {
            auto *item = new QStandardItem(JournalShownText(text));
            item->setEditable(false);
            row << item;
        }
        FRows->appendRow(row);
    }
    TvHistory = new QTableView(this);
    TvHistory->setObjectName(QStringLiteral("TvHistory"));
    TvHistory->setModel(FRows);
    TvHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
    TvHistory->setWordWrap(false);
    TvHistory->verticalHeader()->hide();
    TvHistory->horizontalHeader()->setStretchLastSection(true);
    TvHistory->resizeColumnsToContents();
    BtnExport = new QPushButton(tr("&Export..."), this);
    BtnExport->setObjectName(QStringLiteral("BtnExport"));
    BtnExport->setEnabled(!FEntries.isEmpty());
    BtnClose = new QPushButton(tr("Close"), this);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnExport);
    buttons->addWidget(BtnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(TvHistory, 1);
    layout->addLayout(buttons);
    resize(900, 420);
    connect(BtnExport, &QPushButton::clicked, this, &TfJournalHistory::Export);
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::accept);
}

bool TfJournalHistory::ExportTo(const QString &path, QString *error) const {
    const QString text = path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive)
                             ? JournalHistoryJson(FEntries)
                             : JournalHistoryCsv(FEntries);
    QString reason;
    if (!SaveFileWhole(path, text.toUtf8(), &reason)) {
        if (error)
            *error = tr("%1 could not be written: %2").arg(path, reason);
        return false;
    }
    return true;
}

void TfJournalHistory::Export() {
    const QString start = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
                          QStringLiteral("/history.csv");
    const QString path =
        FDialogs.SaveFile(this, tr("CSV files (*.csv)|*.csv|JSON files (*.json)|*.json"), start);
    if (path.isEmpty())
        return;
    QString error;
    if (!ExportTo(path, &error))
        FDialogs.Message(this, TDialogs::mkError, windowTitle(), error);
}
