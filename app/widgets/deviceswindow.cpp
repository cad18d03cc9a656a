#include "app/widgets/deviceswindow.h"

#include "app/core/documentopener.h"
#include "app/widgets/dialogs.h"
#include "app/widgets/journalcolumns.h"
#include "app/widgets/journalhistory.h"
#include "app/workflows/journalrecorder.h"
#include "discovery/relyndeviceexport.h"
#include "support/savefile.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A moved device that did not answer at its new address is looked for once more after this.
constexpr int MovedSearchPauseMs = 1000;
constexpr int DefaultColumnWidths[rcCount] = {110, 130, 80, 110, 200, 80};

// Devices this computer cannot reach are drawn disabled, the search window's grey.
class TReachDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!index.data(TRelynDeviceModel::ReachableRole).toBool()) {
            option->state &= ~QStyle::State_Enabled;
            option->palette.setColor(QPalette::Text,
                                     option->palette.color(QPalette::Disabled, QPalette::Text));
        }
    }
};

QPushButton *MakeButton(QWidget *parent, const QString &name, const QString &text,
                        QStyle::StandardPixmap image) {
    auto *button = new QPushButton(parent->style()->standardIcon(image), text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

TfDevices::TfDevices(TDialogs &dialogs, TRelynBackgroundSearch::Search search,
                     TRelynBackgroundSearch::NoReplyHint hint, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , Dialogs(dialogs)
    , Searcher(new TRelynBackgroundSearch(std::move(search), std::move(hint), this))
    , Devices(new TRelynDeviceModel(this))
    , Sorted(new QSortFilterProxyModel(this))
    , Browser(new TDocumentOpener(QStringLiteral("xdg-open"), this)) {
    setObjectName(QStringLiteral("fDevices"));
    setWindowTitle(tr("Devices"));
    resize(780, 360);

    auto *rangeLabel = new QLabel(tr("&Range:"), this);
    EdtRange = new QLineEdit(this);
    EdtRange->setObjectName(QStringLiteral("EdtRange"));
    EdtRange->setPlaceholderText(tr("every interface, or a range such as 192.0.2.0/24"));
    EdtRange->setClearButtonEnabled(true);
    rangeLabel->setBuddy(EdtRange);
    BtnSearch =
        MakeButton(this, QStringLiteral("BtnSearch"), tr("&Search"), QStyle::SP_BrowserReload);
    BtnSearch->setToolTip(tr("Search again (F5)"));
    auto *top = new QHBoxLayout;
    top->addWidget(rangeLabel);
    top->addWidget(EdtRange, 1);
    top->addWidget(BtnSearch);

    Columns = new TJournalColumns(Devices, this);
    Sorted->setSourceModel(Columns);
    Sorted->setSortRole(TRelynDeviceModel::SortRole);
    TvDevices = new QTableView(this);
    TvDevices->setObjectName(QStringLiteral("TvDevices"));
    TvDevices->setModel(Sorted);
    TvDevices->setItemDelegate(new TReachDelegate(TvDevices));
    TvDevices->setSortingEnabled(true);
    TvDevices->sortByColumn(rcIPAddress, Qt::AscendingOrder);
    TvDevices->setSelectionBehavior(QAbstractItemView::SelectRows);
    TvDevices->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Only a device's name and note can be edited.
    TvDevices->setEditTriggers(QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::DoubleClicked);
    TvDevices->setWordWrap(false);
    TvDevices->setContextMenuPolicy(Qt::CustomContextMenu);
    TvDevices->verticalHeader()->hide();
    TvDevices->verticalHeader()->setDefaultSectionSize(TvDevices->fontMetrics().height() + 6);
    TvDevices->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    TvDevices->horizontalHeader()->setStretchLastSection(true);
    for (int column = 0; column < rcCount; ++column)
        TvDevices->setColumnWidth(column, DefaultColumnWidths[column]);
    // The journal's columns as wide as their captions in the language in force, the last upload
    // as its usual text ("Station7_WEB1_01.pmf, 2026-03-01 14:00").
    QHeaderView *header = TvDevices->horizontalHeader();
    for (int column = rcCount; column < TJournalColumns::jcCount; ++column)
        TvDevices->setColumnWidth(
            column, std::max(header->defaultSectionSize(), header->sectionSizeHint(column)));
    const int upload = TvDevices->fontMetrics().horizontalAdvance(
        QStringLiteral("Station7_WEB1_01.pmf, 2026-03-01 14:00"));
    TvDevices->setColumnWidth(
        TJournalColumns::jcLastUpload,
        std::max(TvDevices->columnWidth(TJournalColumns::jcLastUpload), upload + 16));
    TvDevices->installEventFilter(this);

    LbNoReply = new TRelynNoReplyOverlay(TvDevices);

    BtnChangeIP =
        MakeButton(this, QStringLiteral("BtnChangeIP"), tr("Change IP"), QStyle::SP_ComputerIcon);
    BtnHelp = MakeButton(this, QStringLiteral("BtnHelp"), tr("Help! My device wasn't found!"),
                         QStyle::SP_MessageBoxQuestion);
    BtnExport = MakeButton(this, QStringLiteral("BtnExport"), tr("&Export..."),
                           QStyle::SP_DialogSaveButton);
    BtnChangeIP->hide();
    BtnHelp->hide();
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(BtnChangeIP);
    bottom->addWidget(BtnHelp);
    BtnHistory = MakeButton(this, QStringLiteral("BtnHistory"), tr("Hi&story..."),
                            QStyle::SP_FileDialogDetailedView);
    BtnHistory->setToolTip(tr("The journal's history of the selected devices, or of "
                              "all when none is selected"));
    BtnHistory->hide();
    bottom->addWidget(BtnHistory);
    bottom->addStretch(1);
    bottom->addWidget(BtnExport);

    LbStatus = new QLabel(this);
    LbStatus->setObjectName(QStringLiteral("LbStatus"));
    LbStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(TvDevices, 1);
    layout->addLayout(bottom);
    layout->addWidget(LbStatus);

    OpenUrl = [this](const QString &address) {
        Browser->OpenUrl(QUrl(QStringLiteral("http://%1/").arg(address)));
    };
    ProposeAddress = [](const TRelynPar &device) {
        for (const TRelynInterface &interface : MakeSystemNetwork()->BroadcastInterfaces())
            if (interface.Name == device.Interface)
                return ProposeFreeAddress(SystemFreeAddressInputs(interface));
        return TFreeAddressProposal{
            std::nullopt,
            tr("%1 is no interface of this computer any more.").arg(device.Interface)};
    };
    connect(Browser, &TDocumentOpener::Finished, this, [this](const QString &url, bool opened) {
        if (!opened)
            LbStatus->setText(tr("No browser could be started for %1").arg(url));
    });

    // Esc stops a running search first; then it, and Ctrl+W, close the window, as its own close
    // button does.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, [this] {
        if (Searcher->Running())
            Searcher->Cancel();
        else
            close();
    });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this), &QShortcut::activated, this,
            &QWidget::close);
    // Enter (or a double click) on a row uses its address, as in the Find device window.
    connect(TvDevices, &QAbstractItemView::activated, this, [this] {
        const QList<TRelynPar> devices = SelectedDevices();
        if (UseAddress && devices.size() == 1)
            UseAddress(devices.first().IPAddress);
    });
    auto *refresh = new QShortcut(QKeySequence::Refresh, this);
    connect(refresh, &QShortcut::activated, this, &TfDevices::Search);
    connect(EdtRange, &QLineEdit::returnPressed, this, &TfDevices::Search);
    // While a search runs, the button stops it.
    connect(BtnSearch, &QPushButton::clicked, this, [this] {
        if (Searcher->Running())
            Searcher->Cancel();
        else
            Search();
    });
    connect(BtnChangeIP, &QPushButton::clicked, this, &TfDevices::ChangeIP);
    connect(BtnHelp, &QPushButton::clicked, this, &TfDevices::HelpNotFound);
    connect(BtnExport, &QPushButton::clicked, this, &TfDevices::Export);
    connect(BtnHistory, &QPushButton::clicked, this, [this] {
        if (QDialog *history = OpenHistory())
            history->show();
    });
    connect(Searcher, &TRelynBackgroundSearch::Finished, this, &TfDevices::SearchFinished);
    connect(TvDevices->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfDevices::UpdateButtons);
    connect(TvDevices, &QWidget::customContextMenuRequested, this, &TfDevices::ShowContextMenu);
    UpdateButtons();
}

void TfDevices::SetChangeIPOpener(TRelynIPChangeOpener opener) {
    OpenChangeIP = std::move(opener);
    BtnChangeIP->setVisible(static_cast<bool>(OpenChangeIP));
    BtnHelp->setVisible(static_cast<bool>(OpenChangeIP));
}

TDevicesWindowState TfDevices::State() const {
    TDevicesWindowState state{width(), height(), {}};
    for (int column = 0; column < rcCount; ++column)
        state.ColumnWidths << TvDevices->columnWidth(column);
    return state;
}

void TfDevices::ApplyState(const TDevicesWindowState &state) {
    if (state.Width > 0 && state.Height > 0)
        resize(state.Width, state.Height);
    if (state.ColumnWidths.size() == rcCount)
        for (int column = 0; column < rcCount; ++column)
            TvDevices->setColumnWidth(column, state.ColumnWidths[column]);
}

void TfDevices::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (!SearchedOnce) {
        SearchedOnce = true;
        Search();
    }
}

bool TfDevices::eventFilter(QObject *watched, QEvent *event) {
    // The table would copy only its current cell.
    if (watched == TvDevices && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        CopySelection();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool TfDevices::Search() {
    if (Searcher->Running())
        return false;
    TRelynSearchScope scope;
    const QString range = EdtRange->text().trimmed();
    if (!range.isEmpty()) {
        QString error;
        if (!RelynParseRangeList(range, scope.Ranges, error)) {
            LbStatus->setText(error);
            return false;
        }
    }
    SearchScope = TJournalRecorder::ScopeText(scope);
    Searcher->Start(TypesFile, scope, range);
    LbNoReply->hide();
    LbStatus->setText(range.isEmpty() ? tr("Searching...") : tr("Searching %1...").arg(range));
    UpdateButtons();
    return true;
}

void TfDevices::SearchFinished(const TRelynDevicesResult &result) {
    // A device is known by its MAC address; the one that has just moved is looked for at its
    // new address first, in case it also still answers at the old one through another route.
    QList<TRelynIPChangeResult> keep;
    if (Moved)
        keep << *Moved;
    else
        for (const TRelynPar &device : SelectedDevices())
            keep << TRelynIPChangeResult{device.MACAddress, device.IPAddress};

    Devices->SetDevices(result.Outcome.Devices);
    // The search is in the journal already: it was recorded before the window heard of it.
    Columns->Refresh(SearchScope);
    // A device that has just moved may miss the first search: the computer can still hold the
    // failed address resolution of the change's echo test, which drops what is sent to the new
    // address for a moment. One more search follows shortly.
    if (Moved) {
        const int row = Devices->RowOfMac(Moved->MACAddress, Moved->IPAddress);
        if ((row < 0 || Devices->Devices().at(row).IPAddress != Moved->IPAddress) &&
            !MovedSearchedAgain) {
            MovedSearchedAgain = true;
            QTimer::singleShot(MovedSearchPauseMs, this, [this] { Search(); });
        } else {
            Moved.reset();
        }
    }
    QItemSelection selection;
    for (const TRelynIPChangeResult &device : keep) {
        const int row = Devices->RowOfMac(device.MACAddress, device.IPAddress);
        if (row < 0)
            continue;
        const QModelIndex index = Sorted->mapFromSource(Columns->index(row, 0));
        selection.select(index, index);
    }
    TvDevices->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    if (!selection.isEmpty())
        TvDevices->selectionModel()->setCurrentIndex(selection.indexes().first(),
                                                     QItemSelectionModel::NoUpdate);

    if (!result.Error.isEmpty()) {
        LbStatus->setText(tr("The search failed: %1").arg(result.Error));
    } else {
        QString status = RelynSearchSummary(result.Outcome.Devices.size(), result.InterfaceNames(),
                                            result.Range, result.ElapsedMs);
        if (result.Outcome.RefusedSends > 0)
            status += tr(" (%1 sends refused: no route or no neighbour)")
                          .arg(result.Outcome.RefusedSends);
        if (result.Stopped)
            status += tr(" (stopped)");
        LbStatus->setText(status);
        if (result.Outcome.Devices.isEmpty() && !result.Stopped)
            LbNoReply->ShowHint(result.NoReply);
    }
    UpdateButtons();
    emit SearchEnded();
}

void TfDevices::UpdateButtons() {
    const bool idle = !Searcher->Running();
    BtnSearch->setText(idle ? tr("&Search") : tr("S&top"));
    BtnChangeIP->setEnabled(idle && SelectedDevices().size() == 1);
    BtnHelp->setEnabled(idle);
    BtnExport->setEnabled(Devices->rowCount() > 0);
}

QList<TRelynPar> TfDevices::SelectedDevices() const {
    QModelIndexList rows = TvDevices->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QList<TRelynPar> devices;
    // Gone devices are listed to be seen, not to be acted on.
    for (const QModelIndex &row : rows)
        if (const int source = Sorted->mapToSource(row).row(); !Columns->Gone(source))
            devices << Devices->Devices().at(source);
    return devices;
}

QList<TRelynPar> TfDevices::ShownDevices() const {
    QList<TRelynPar> devices;
    for (int row = 0; row < Sorted->rowCount(); ++row)
        if (const int source = Sorted->mapToSource(Sorted->index(row, 0)).row();
            !Columns->Gone(source))
            devices << Devices->Devices().at(source);
    return devices;
}

QString TfDevices::SelectedText() const {
    return RelynDevicesTsv(SelectedDevices(), TRelynDeviceModel::Captions());
}

void TfDevices::CopySelection() {
    if (!SelectedDevices().isEmpty())
        QApplication::clipboard()->setText(SelectedText());
}

void TfDevices::Export() {
    const QString start = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
                          QStringLiteral("/devices.csv");
    const QString path =
        Dialogs.SaveFile(this, tr("CSV files (*.csv)|*.csv|JSON files (*.json)|*.json"), start);
    if (path.isEmpty())
        return;
    QString error;
    if (!ExportTo(path, &error))
        Dialogs.Message(this, TDialogs::mkError, windowTitle(), error);
}

bool TfDevices::ExportTo(const QString &path, QString *error) const {
    const QList<TRelynPar> devices = ShownDevices();
    const QString text = path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive)
                             ? RelynDevicesJson(devices)
                             : RelynDevicesCsv(devices);
    // A failed write leaves any earlier file as it was.
    QString reason;
    if (!SaveFileWhole(path, text.toUtf8(), &reason)) {
        if (error)
            *error = tr("%1 could not be written: %2").arg(path, reason);
        return false;
    }
    return true;
}

QMenu *TfDevices::MakeContextMenu() {
    const QList<TRelynPar> devices = SelectedDevices();
    if (devices.isEmpty())
        return nullptr;
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *copy = menu->addAction(tr("&Copy"), this, &TfDevices::CopySelection);
    copy->setShortcut(QKeySequence::Copy);
    const QString address = devices.first().IPAddress;
    const bool one = devices.size() == 1;
    menu->addAction(tr("Open in &browser"), this, [this, address] { OpenUrl(address); })
        ->setEnabled(one);
    if (OpenChangeIP)
        menu->addAction(tr("Change &IP..."), this, &TfDevices::ChangeIP)
            ->setEnabled(one && !Searcher->Running());
    if (OpenChangeIP)
        menu->addAction(tr("Give it an &address here..."), this, &TfDevices::Rescue)
            ->setEnabled(one && !devices.first().Reachable && !Searcher->Running());
    if (UseAddress)
        menu->addAction(tr("&Use this address"), this, [this, address] { UseAddress(address); })
            ->setEnabled(one);
    if (UploadWeb || UploadFirmware)
        menu->addSeparator();
    if (UploadWeb)
        menu->addAction(tr("Upload &web to selected"), this,
                        [this, devices] { UploadWeb(devices); });
    if (UploadFirmware)
        menu->addAction(tr("Upload &FW to selected"), this,
                        [this, devices] { UploadFirmware(devices); });
    return menu;
}

void TfDevices::ShowContextMenu(const QPoint &position) {
    if (QMenu *menu = MakeContextMenu())
        menu->popup(TvDevices->viewport()->mapToGlobal(position));
}

void TfDevices::ChangeIP() {
    const QList<TRelynPar> devices = SelectedDevices();
    if (devices.size() != 1 || !OpenChangeIP)
        return;
    OpenIPChange(RelynIPChangeRequest(RelynSearchTexts(), devices.first()));
}

void TfDevices::Rescue() {
    const QList<TRelynPar> devices = SelectedDevices();
    if (devices.size() != 1 || devices.first().Reachable || !OpenChangeIP)
        return;
    const TRelynPar &device = devices.first();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TFreeAddressProposal proposal = ProposeAddress(device);
    QApplication::restoreOverrideCursor();
    if (!proposal.Address) {
        Dialogs.Message(this, TDialogs::mkInformation, windowTitle(), proposal.Reason);
        return;
    }
    // The technician accepts or edits the proposal in the dialog.
    TRelynIPChangeRequest request = RelynIPChangeRequest(RelynSearchTexts(), device);
    request.IPAddress = RelynAddressText(*proposal.Address);
    OpenIPChange(request);
}

void TfDevices::HelpNotFound() {
    OpenIPChange(RelynDeviceNotFoundRequest(RelynSearchTexts()));
}

void TfDevices::OpenIPChange(const TRelynIPChangeRequest &request) {
    if (!OpenChangeIP || Searcher->Running())
        return;
    // A device that took a new address answers under it only in a new search.
    if (std::optional<TRelynIPChangeResult> moved = OpenChangeIP(this, request)) {
        Moved = std::move(moved);
        MovedSearchedAgain = false;
        Search();
    }
}

#include "moc_deviceswindow.cpp"

void TfDevices::SetJournal(std::shared_ptr<TJournalRecorder> journal) {
    const bool kept = journal && journal->Enabled();
    Journal = kept ? std::move(journal) : nullptr;
    Columns->SetJournal(Journal);
    BtnHistory->setVisible(kept);
    for (int column = rcCount; column < TJournalColumns::jcCount; ++column)
        TvDevices->setColumnHidden(column, !kept);
}

TfJournalHistory *TfDevices::OpenHistory() {
    TJournal *journal = Journal ? Journal->Journal() : nullptr;
    if (!journal)
        return nullptr;
    QStringList macs;
    for (const QModelIndex &row : TvDevices->selectionModel()->selectedRows()) {
        const QString mac = Columns->MacOf(Sorted->mapToSource(row).row());
        if (!macs.contains(mac))
            macs << mac;
    }
    auto *history = new TfJournalHistory(*journal, macs, Dialogs, this);
    history->setAttribute(Qt::WA_DeleteOnClose);
    return history;
}
