#include "discovery/relynsearchgui.h"

#include "discovery/macaddresstext.h"
#include "discovery/relynerror.h"

#include <QApplication>
#include <QBrush>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int ColumnWidths[RelynColumnCount] = {90, 105, 60, 80, 166};
constexpr int ButtonHeight = 25;
constexpr int ButtonMargin = 8;
constexpr int ButtonRowGap = 7;

QPushButton *MakeButton(QWidget *parent, const QString &name, QStyle::StandardPixmap image,
                        int width) {
    auto *button = new QPushButton(parent);
    button->setObjectName(name);
    button->setIcon(parent->style()->standardIcon(image));
    button->setFixedSize(width, ButtonHeight);
    return button;
}

QFrame *MakePanel(QWidget *parent, const QString &name) {
    auto *panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameShape(QFrame::NoFrame);
    return panel;
}

void ShowErrorBox(QWidget *parent, const QString &text) {
    QMessageBox::critical(parent, QGuiApplication::applicationDisplayName(), text);
}

// The device table as this window shows it: the record's five texts, in the model's order, and
// the devices this computer cannot reach in the disabled text colour.
class TSearchColumns : public QSortFilterProxyModel {
public:
    explicit TSearchColumns(QWidget *window)
        : QSortFilterProxyModel(window)
        , Window(window) {}

    QVariant data(const QModelIndex &index, int role) const override {
        if (role == Qt::ForegroundRole && !index.data(TRelynDeviceModel::ReachableRole).toBool())
            return QBrush(Window->palette().color(QPalette::Disabled, QPalette::Text));
        return QSortFilterProxyModel::data(index, role);
    }

protected:
    bool filterAcceptsColumn(int column, const QModelIndex &) const override {
        return column < RelynColumnCount;
    }

private:
    QWidget *Window;
};

// Just wide enough for any MAC address in a cell, and for the caption with a sort mark in the
// header, both measured as the table and its header measure their own contents.
int MacColumnWidth(QTableView *table) {
    QStyleOptionViewItem cell;
    cell.initFrom(table);
    cell.font = table->font();
    cell.fontMetrics = QFontMetrics(cell.font);
    cell.features = QStyleOptionViewItem::HasDisplay;
    cell.text = WidestMacAddressText(cell.font);
    const int gridLine = table->showGrid() ? 1 : 0;
    const int cellWidth =
        table->style()->sizeFromContents(QStyle::CT_ItemViewItem, &cell, QSize(), table).width() +
        gridLine;
    QHeaderView *header = table->horizontalHeader();
    const bool sortMark = header->isSortIndicatorShown();
    header->setSortIndicatorShown(true);
    const int headerWidth = header->sectionSizeHint(rcMACAddress);
    header->setSortIndicatorShown(sortMark);
    return std::max(cellWidth, headerWidth);
}

QString ErrorText(const std::exception &error) {
    if (const auto *relyn = dynamic_cast<const ERelynError *>(&error))
        return relyn->Text;
    return QString::fromUtf8(error.what());
}

// The window's search as the background search runs it: a broadcast, whatever the scope.
TRelynBackgroundSearch::Search ScopedSearch(TRelynSearchFunction search) {
    if (!search)
        return {};
    return [search = std::move(search)](const QString &typesFile, const TRelynSearchScope &) {
        return TRelynSearchOutcome{search(typesFile), {}, 0, {}};
    };
}

} // namespace

TfRelynSearchGUI::TfRelynSearchGUI(QWidget *owner, TRelynSearchFunction search)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , Searcher(new TRelynBackgroundSearch(ScopedSearch(search), {}, this))
    , Devices(new TRelynDeviceModel(this))
    , Shown(new TSearchColumns(this))
    , ReportError(ShowErrorBox)
    // The real search explains an empty result by itself.
    , ExplainsNoReply(!search) {
    setObjectName(QStringLiteral("fRelynSearchGUI"));
    // The designed size is the smallest; a larger window gives the table the room.
    setMinimumSize(ClientWidth, ClientHeight);
    resize(ClientWidth, ClientHeight);
    setModal(true);

    PnlRySearchBackground = MakePanel(this, QStringLiteral("PnlRySearchBackground"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(PnlRySearchBackground);

    PnlList = MakePanel(PnlRySearchBackground, QStringLiteral("PnlList"));
    PnlButtons = MakePanel(PnlRySearchBackground, QStringLiteral("PnlButtons"));
    PnlButtons->setFixedHeight(ButtonPanelHeight);
    auto *panels = new QVBoxLayout(PnlRySearchBackground);
    panels->setContentsMargins(0, 0, 0, 0);
    panels->setSpacing(0);
    panels->addWidget(PnlList, 1);
    panels->addWidget(PnlButtons);

    Shown->setSourceModel(Devices);
    LvDeviceList = new QTableView(PnlList);
    LvDeviceList->setObjectName(QStringLiteral("LvDeviceList"));
    LvDeviceList->setModel(Shown);
    LvDeviceList->setShowGrid(true);
    LvDeviceList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LvDeviceList->setSelectionBehavior(QAbstractItemView::SelectRows);
    LvDeviceList->setSelectionMode(QAbstractItemView::SingleSelection);
    LvDeviceList->setWordWrap(false);
    LvDeviceList->verticalHeader()->hide();
    // Report-view rows: one line of text each.
    LvDeviceList->verticalHeader()->setDefaultSectionSize(LvDeviceList->fontMetrics().height() + 6);
    LvDeviceList->horizontalHeader()->setSectionsClickable(true);
    LvDeviceList->horizontalHeader()->setHighlightSections(false);
    LvDeviceList->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < RelynColumnCount; ++column)
        LvDeviceList->setColumnWidth(column, ColumnWidths[column]);
    // The description takes what the table gains or loses.
    LvDeviceList->viewport()->installEventFilter(this);
    auto *list = new QVBoxLayout(PnlList);
    list->setContentsMargins(4, 4, 4, 0);
    list->addWidget(LvDeviceList);
    LbNoReply = new TRelynNoReplyOverlay(LvDeviceList);

    BBSearch = MakeButton(PnlButtons, QStringLiteral("BBSearch"), QStyle::SP_BrowserReload, 113);
    BBHelpDeviceNotFound = MakeButton(PnlButtons, QStringLiteral("BBHelpDeviceNotFound"),
                                      QStyle::SP_MessageBoxQuestion, 209);
    BBSelect = MakeButton(PnlButtons, QStringLiteral("BBSelect"), QStyle::SP_DialogOkButton, 75);
    BBCancel =
        MakeButton(PnlButtons, QStringLiteral("BBCancel"), QStyle::SP_DialogCancelButton, 75);
    BBChangeIP = MakeButton(PnlButtons, QStringLiteral("BBChangeIP"), QStyle::SP_ComputerIcon, 113);
    // Search and help on the left, Select and Cancel at the right edge, however wide the window.
    auto *buttons = new QGridLayout(PnlButtons);
    buttons->setContentsMargins(ButtonMargin, ButtonMargin, ButtonMargin, ButtonMargin);
    buttons->setHorizontalSpacing(ButtonMargin);
    buttons->setVerticalSpacing(ButtonRowGap);
    buttons->addWidget(BBSearch, 0, 0);
    buttons->addWidget(BBHelpDeviceNotFound, 0, 1);
    buttons->setColumnStretch(2, 1);
    buttons->addWidget(BBSelect, 0, 3);
    buttons->addWidget(BBCancel, 0, 4);
    buttons->addWidget(BBChangeIP, 1, 0);
    BBSelect->setDefault(true);
    for (QPushButton *button : {BBSearch, BBHelpDeviceNotFound, BBCancel, BBChangeIP})
        button->setAutoDefault(false);
    BBHelpDeviceNotFound->hide();
    BBChangeIP->hide();

    connect(BBSearch, &QPushButton::clicked, this, &TfRelynSearchGUI::Search);
    connect(BBSelect, &QPushButton::clicked, this, &QDialog::accept);
    connect(BBCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(BBChangeIP, &QPushButton::clicked, this, &TfRelynSearchGUI::BBChangeIPClick);
    connect(BBHelpDeviceNotFound, &QPushButton::clicked, this,
            &TfRelynSearchGUI::BBHelpDeviceNotFoundClick);
    connect(LvDeviceList->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &TfRelynSearchGUI::LvDeviceListColumnClick);
    connect(LvDeviceList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfRelynSearchGUI::UpdateSelectionButtons);
    connect(Searcher, &TRelynBackgroundSearch::Finished, this, &TfRelynSearchGUI::SearchFinished);

    ApplyTexts();
    UpdateSelectionButtons();
}

TfRelynSearchGUI::~TfRelynSearchGUI() {
    // A search still running ends while the window is whole.
    delete Searcher;
    Searcher = nullptr;
    SetWaitCursor(false);
}

void TfRelynSearchGUI::SetNoReplyHint(NoReplyHint hint) {
    ExplainsNoReply = static_cast<bool>(hint);
    TRelynBackgroundSearch::NoReplyHint explain;
    if (hint)
        explain = [hint = std::move(hint)](const TRelynSearchScope &,
                                           const QList<TRelynInterface> &) {
            return hint();
        };
    Searcher->SetNoReplyHint(std::move(explain));
}

QString TfRelynSearchGUI::SelectedIP() const {
    const int row = SelectedRow();
    return row < 0 ? QString() : Shown->index(row, rcIPAddress).data().toString();
}

void TfRelynSearchGUI::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    ApplyOptions();
    ApplyTexts();
    // A search still running from an earlier showing gives this one its devices.
    if (Searching())
        SetWaitCursor(true);
    else
        Search();
}

void TfRelynSearchGUI::hideEvent(QHideEvent *event) {
    // The cursor belongs to the whole program, and the window may close before its search ends.
    SetWaitCursor(false);
    QDialog::hideEvent(event);
}

void TfRelynSearchGUI::SetWaitCursor(bool wait) {
    if (wait == WaitCursorShown)
        return;
    WaitCursorShown = wait;
    if (wait)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TfRelynSearchGUI::ApplyOptions() {
    const bool canChange = static_cast<bool>(OpenChangeIP);
    const bool changeIP = canChange && (Options & (soAll | soChangeIP));
    const bool help = canChange && (Options & (soAll | soHelp));
    BBChangeIP->setVisible(changeIP);
    BBHelpDeviceNotFound->setVisible(help);
    // Without the second button row the panel keeps only the first; the table takes the rest.
    PnlButtons->setFixedHeight(changeIP ? ButtonPanelHeight : ButtonPanelHeight / 2 + 5);
    // The window is already laid out when it is shown; the table takes the new room at once.
    PnlRySearchBackground->layout()->activate();
}

void TfRelynSearchGUI::ApplyTexts() {
    setWindowTitle(Texts.CapForm);
    BBSearch->setText(Texts.CapSearch);
    BBHelpDeviceNotFound->setText(Texts.CapHelpDeviceNotFound);
    BBChangeIP->setText(Texts.CapChangeIP);
    BBSelect->setText(Texts.CapSelect);
    BBCancel->setText(Texts.CapCancel);
    const QString captions[RelynColumnCount] = {Texts.CapIPAddress, Texts.CapMACAddress,
                                                Texts.CapFirmware, Texts.CapDeviceType,
                                                Texts.CapDescription};
    for (int column = 0; column < RelynColumnCount; ++column)
        Shown->setHeaderData(column, Qt::Horizontal, captions[column]);
    FitColumns();
}

void TfRelynSearchGUI::FitColumns() {
    QHeaderView *header = LvDeviceList->horizontalHeader();
    const auto *view = static_cast<const QAbstractItemView *>(LvDeviceList);
    int used = 0;
    for (int column = 0; column < RelynColumnCount; ++column) {
        const int cells = view->sizeHintForColumn(column);
        int width = 0;
        if (column == rcDescription)
            // Its caption may lose its end in a small window, its cells never.
            width = std::max(cells, LvDeviceList->viewport()->width() - used);
        else
            width = std::max({ColumnWidths[column], cells, header->sectionSizeHint(column)});
        if (column == rcMACAddress)
            // Any MAC address fits, not only the ones listed: the column keeps its width.
            width = std::max(width, MacColumnWidth(LvDeviceList));
        LvDeviceList->setColumnWidth(column, width);
        used += width;
    }
}

bool TfRelynSearchGUI::eventFilter(QObject *watched, QEvent *event) {
    if (watched == LvDeviceList->viewport() && event->type() == QEvent::Resize)
        FitColumns();
    return QDialog::eventFilter(watched, event);
}

void TfRelynSearchGUI::Search() {
    if (!Searcher->Start(NamesFile, {}, {}))
        return;
    for (QPushButton *button : {BBSearch, BBSelect, BBChangeIP, BBHelpDeviceNotFound})
        button->setEnabled(false);
    SetWaitCursor(true);
    LbNoReply->hide();
}

void TfRelynSearchGUI::SearchFinished(const TRelynDevicesResult &result) {
    // A failed search leaves the table as it was.
    QString error = result.Error;
    if (error.isEmpty()) {
        const QList<TRelynPar> &found = result.Outcome.Devices;
        Devices->SetDevices(found);
        FitColumns();
        SelectRow(found.isEmpty() ? -1 : 0);
        if (found.isEmpty() && ExplainsNoReply)
            LbNoReply->ShowHint(result.NoReply);
        if (!found.isEmpty())
            LvDeviceList->setFocus();
        try {
            SortBy(ClickedColumn);
        } catch (const std::exception &failure) {
            error = ErrorText(failure);
        }
    }
    // Cursor and buttons come back before the user reads any error.
    SetWaitCursor(false);
    BBSearch->setEnabled(true);
    UpdateSelectionButtons();
    if (!error.isEmpty())
        ReportError(this, error);
    emit SearchEnded();
}

void TfRelynSearchGUI::SelectRow(int row) {
    // Selecting a row also makes it the focused row; without one there is no focused row.
    LvDeviceList->selectionModel()->clear();
    if (row >= 0)
        LvDeviceList->selectRow(row);
}

int TfRelynSearchGUI::SelectedRow() const {
    const QModelIndexList rows = LvDeviceList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TfRelynSearchGUI::SortBy(int column) {
    SortedColumn = column;
    // The selected device moves with its row; the list shows its top again.
    Devices->SortBy(column);
    SelectRow(SelectedRow());
    LvDeviceList->scrollToTop();
}

void TfRelynSearchGUI::UpdateSelectionButtons() {
    // Select and Change IP need a device; both stay off while a search runs.
    const bool enable = !Searching() && SelectedRow() >= 0;
    BBSelect->setEnabled(enable);
    BBChangeIP->setEnabled(enable);
    if (!Searching())
        BBHelpDeviceNotFound->setEnabled(true);
}

void TfRelynSearchGUI::LvDeviceListColumnClick(int column) {
    try {
        SortBy(column);
        ClickedColumn = column;
    } catch (const std::exception &error) {
        ReportError(this, ErrorText(error));
    }
}

void TfRelynSearchGUI::BBChangeIPClick() {
    const int row = SelectedRow();
    if (row >= 0)
        OpenIPChange(RelynIPChangeRequest(
            Texts, Devices->Devices().at(Shown->mapToSource(Shown->index(row, 0)).row())));
}

void TfRelynSearchGUI::BBHelpDeviceNotFoundClick() {
    OpenIPChange(RelynDeviceNotFoundRequest(Texts));
}

void TfRelynSearchGUI::OpenIPChange(const TRelynIPChangeRequest &request) {
    // A device that took a new address answers under it only in a new search.
    if (OpenChangeIP && OpenChangeIP(this, request))
        Search();
}

void ConfigureRelynSearchForMainWindow(TfRelynSearchGUI &window, const QString &brand,
                                       const QString &settingsFile) {
    window.SetSearchOptions({});
    if (brand == QStringLiteral("ZARN"))
        window.SetTypesFile(settingsFile);
}

std::optional<QString> FindRelynDevice(QWidget *owner, const QString &brand,
                                       const QString &settingsFile, TRelynSearchFunction search) {
    TfRelynSearchGUI window(owner, std::move(search));
    ConfigureRelynSearchForMainWindow(window, brand, settingsFile);
    if (window.exec() != QDialog::Accepted)
        return std::nullopt;
    return window.SelectedIP();
}

#include "moc_relynsearchgui.cpp"
