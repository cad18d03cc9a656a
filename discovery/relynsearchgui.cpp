#include "discovery/relynsearchgui.h"

#include "discovery/macaddresstext.h"
#include "discovery/relynerror.h"
#include "discovery/relynnoreply.h"

#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int ColumnWidths[RelynColumnCount] = {90, 105, 60, 80, 166};
constexpr int ButtonHeight = 25;
constexpr int Row1 = 8;
constexpr int Row2 = 40;

QPushButton *MakeButton(QWidget *parent, const QString &name, QStyle::StandardPixmap image, int x,
                        int y, int width) {
    auto *button = new QPushButton(parent);
    button->setObjectName(name);
    button->setIcon(parent->style()->standardIcon(image));
    button->setGeometry(x, y, width, ButtonHeight);
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

// The wait cursor for the length of a scope, restored on every way out.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

// Just wide enough for any MAC address in a cell, and for the caption with a sort mark in the
// header, both measured as the table and its header measure their own contents.
int MacColumnWidth(QTableWidget *table) {
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

} // namespace

TfRelynSearchGUI::TfRelynSearchGUI(QWidget *owner, TRelynSearchFunction search)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , RunSearch(std::move(search))
    , ReportError(ShowErrorBox) {
    if (!RunSearch) {
        RunSearch = [](const QString &typesFile) {
            return RunRelynSearch(typesFile);
        };
        ExplainNoReply = [] {
            return RelynNoReplyHint(MakeSystemNetwork()->BroadcastInterfaces(),
                                    RelynCheckFirewall());
        };
    }
    setObjectName(QStringLiteral("fRelynSearchGUI"));
    setFixedSize(ClientWidth, ClientHeight);
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

    LvDeviceList = new QTableWidget(0, RelynColumnCount, PnlList);
    LvDeviceList->setObjectName(QStringLiteral("LvDeviceList"));
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
    auto *list = new QVBoxLayout(PnlList);
    list->setContentsMargins(4, 4, 4, 0);
    list->addWidget(LvDeviceList);
    LbNoReply = new QLabel(LvDeviceList->viewport());
    LbNoReply->setObjectName(QStringLiteral("LbNoReply"));
    LbNoReply->setWordWrap(true);
    LbNoReply->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LbNoReply->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto *empty = new QVBoxLayout(LvDeviceList->viewport());
    empty->setContentsMargins(6, 6, 6, 6);
    empty->addWidget(LbNoReply);
    LbNoReply->hide();

    BBSearch =
        MakeButton(PnlButtons, QStringLiteral("BBSearch"), QStyle::SP_BrowserReload, 8, Row1, 113);
    BBHelpDeviceNotFound = MakeButton(PnlButtons, QStringLiteral("BBHelpDeviceNotFound"),
                                      QStyle::SP_MessageBoxQuestion, 129, Row1, 209);
    BBSelect = MakeButton(PnlButtons, QStringLiteral("BBSelect"), QStyle::SP_DialogOkButton, 358,
                          Row1, 75);
    BBCancel = MakeButton(PnlButtons, QStringLiteral("BBCancel"), QStyle::SP_DialogCancelButton,
                          438, Row1, 75);
    BBChangeIP =
        MakeButton(PnlButtons, QStringLiteral("BBChangeIP"), QStyle::SP_ComputerIcon, 8, Row2, 113);
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

    ApplyTexts();
    UpdateSelectionButtons();
}

QString TfRelynSearchGUI::SelectedIP() const {
    const qsizetype row = SelectedRow();
    const QTableWidgetItem *item = row < 0 ? nullptr : LvDeviceList->item(static_cast<int>(row), 0);
    return item ? item->text() : QString();
}

void TfRelynSearchGUI::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    ApplyOptions();
    ApplyTexts();
    Search();
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
    LvDeviceList->setHorizontalHeaderLabels({Texts.CapIPAddress, Texts.CapMACAddress,
                                             Texts.CapFirmware, Texts.CapDeviceType,
                                             Texts.CapDescription});
    // The designed width cuts MAC addresses off in today's fonts; only this column follows them.
    // The description, last and widest, gives the room back, so the table gets no scroll bar.
    const int mac = MacColumnWidth(LvDeviceList);
    LvDeviceList->setColumnWidth(rcMACAddress, mac);
    LvDeviceList->setColumnWidth(
        rcDescription, std::max(ColumnWidths[rcDescription] / 2,
                                ColumnWidths[rcDescription] - (mac - ColumnWidths[rcMACAddress])));
}

void TfRelynSearchGUI::Search() {
    Searching = true;
    for (QPushButton *button : {BBSearch, BBSelect, BBChangeIP, BBHelpDeviceNotFound})
        button->setEnabled(false);
    QString error;
    try {
        const WaitCursor wait;
        LbNoReply->hide();
        Devices.Assign(RunSearch(NamesFile));
        ShowRows(Devices.Count() > 0 ? 0 : -1);
        if (Devices.Count() == 0 && ExplainNoReply) {
            LbNoReply->setText(
                (QStringList{QStringLiteral("No device answered.")} + ExplainNoReply())
                    .join(u'\n'));
            LbNoReply->show();
        }
        if (Devices.Count() > 0)
            LvDeviceList->setFocus();
        SortBy(ClickedColumn);
    } catch (const std::exception &failure) {
        error = ErrorText(failure);
    }
    // Cursor and buttons come back before the user reads any error.
    Searching = false;
    BBSearch->setEnabled(true);
    UpdateSelectionButtons();
    if (!error.isNull())
        ReportError(this, error);
}

void TfRelynSearchGUI::ShowRows(qsizetype selectedRow) {
    {
        const QSignalBlocker blocker(LvDeviceList->selectionModel());
        LvDeviceList->clearSelection();
        LvDeviceList->setRowCount(0);
        LvDeviceList->setRowCount(Devices.Count());
        for (int row = 0; row < Devices.Count(); ++row) {
            const TRelynPar &record = Devices.Records()[row];
            const QStringList texts = RelynRowTexts(record);
            for (int column = 0; column < RelynColumnCount; ++column) {
                auto *item = new QTableWidgetItem(texts[column]);
                // An upload from this computer cannot reach the device where it is now.
                if (!record.Reachable) {
                    item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
                    item->setToolTip(
                        tr("This computer cannot reach %1 through %2 (%3). Give the device an "
                           "address in %3 with Change IP.")
                            .arg(record.IPAddress, record.Interface, record.Network));
                }
                LvDeviceList->setItem(row, column, item);
            }
        }
        // Selecting a row also makes it the focused row.
        if (selectedRow >= 0)
            LvDeviceList->selectRow(static_cast<int>(selectedRow));
    }
    UpdateSelectionButtons();
}

qsizetype TfRelynSearchGUI::SelectedRow() const {
    const QModelIndexList rows = LvDeviceList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TfRelynSearchGUI::SortBy(int column) {
    SortedColumn = column;
    const qsizetype selected = SelectedRow();
    const std::vector<qsizetype> order = Devices.SortBy(column);
    const auto found = std::find(order.begin(), order.end(), selected);
    ShowRows(found == order.end() ? -1 : found - order.begin());
}

void TfRelynSearchGUI::UpdateSelectionButtons() {
    // Select and Change IP need a device; both stay off while a search runs.
    const bool enable = !Searching && SelectedRow() >= 0;
    BBSelect->setEnabled(enable);
    BBChangeIP->setEnabled(enable);
    if (!Searching)
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
    const qsizetype row = SelectedRow();
    if (row < 0)
        return;
    TRelynIPChangeRequest request = RelynIPChangeRequest(Texts);
    request.HasStartAddress = true;
    request.IPAddress = Devices.Records()[row].IPAddress;
    request.MACAddress = Devices.Records()[row].MACAddress;
    request.Interface = Devices.Records()[row].Interface;
    OpenIPChange(request);
}

void TfRelynSearchGUI::BBHelpDeviceNotFoundClick() {
    TRelynIPChangeRequest request = RelynIPChangeRequest(Texts);
    request.ShowARPOnly = false;
    OpenIPChange(request);
}

void TfRelynSearchGUI::OpenIPChange(TRelynIPChangeRequest request) {
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
