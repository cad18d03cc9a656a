#include "discovery/relynerror.h"
#include "discovery/relynnoreply.h"
#include "discovery/relynsearchgui.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QtTest>

namespace {

TRelynPar Device(const char *ip, const char *mac, const char *type, const char *fw = "1-4-5.00") {
    return {QString::fromLatin1(ip), QString::fromLatin1(mac), QString::fromLatin1(fw),
            QStringLiteral("desc ") + QString::fromLatin1(ip), QString::fromLatin1(type)};
}

// A search that a test scripts: each run gives the next result or raises the next error, and
// records what the window looked like while it ran.
struct ScriptedSearch {
    QList<std::function<QList<TRelynPar>()>> Runs;
    QStringList TypesFiles;
    bool SawWaitCursor = false;
    bool SawButtonsEnabled = false;
    TfRelynSearchGUI *Window = nullptr;

    TRelynSearchFunction Function() {
        return [this](const QString &typesFile) {
            TypesFiles << typesFile;
            const QCursor *cursor = QApplication::overrideCursor();
            SawWaitCursor = cursor && cursor->shape() == Qt::WaitCursor;
            if (Window)
                for (QPushButton *b : {Window->BBSearch, Window->BBSelect, Window->BBChangeIP,
                                       Window->BBHelpDeviceNotFound})
                    SawButtonsEnabled = SawButtonsEnabled || b->isEnabled();
            const auto run = Runs.isEmpty() ? [] { return QList<TRelynPar>(); } : Runs.takeFirst();
            return run();
        };
    }
};

const QList<TRelynPar> ThreeOutOfOrder = {
    Device("192.0.2.30", "02-00-00-00-00-03", "b-type"),
    Device("192.0.2.4", "02-00-00-00-00-01", "C-type"),
    Device("192.0.2.100", "02-00-00-00-00-02", "a-type"),
};

QVariant Cell(const TfRelynSearchGUI &window, int row, int column, int role = Qt::DisplayRole) {
    return window.LvDeviceList->model()->index(row, column).data(role);
}

QStringList ColumnTexts(const TfRelynSearchGUI &window, int column) {
    QStringList texts;
    for (int row = 0; row < window.LvDeviceList->model()->rowCount(); ++row)
        texts << Cell(window, row, column).toString();
    return texts;
}

// The search runs on a thread of its own; the window shows its result when it ends.
bool SearchEnds(const TfRelynSearchGUI &window) {
    return QTest::qWaitFor([&window] { return !window.Searching(); }, 5000);
}

bool ShowAndSearch(TfRelynSearchGUI &window) {
    window.show();
    return SearchEnds(window);
}

bool ClickSearch(TfRelynSearchGUI &window) {
    QTest::mouseClick(window.BBSearch, Qt::LeftButton);
    return SearchEnds(window);
}

std::optional<TRelynIPChangeResult> Changed(bool changed) {
    return changed ? std::optional(TRelynIPChangeResult{}) : std::nullopt;
}

void ClickHeader(TfRelynSearchGUI &window, int column) {
    QHeaderView *header = window.LvDeviceList->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

class RelynSearchGuiTest : public QObject {
    Q_OBJECT

private:
    ScriptedSearch Script;
    QStringList Errors;

    std::unique_ptr<TfRelynSearchGUI> MakeWindow() {
        auto window = std::make_unique<TfRelynSearchGUI>(nullptr, Script.Function());
        Script.Window = window.get();
        window->SetErrorReporter([this](QWidget *, const QString &text) {
            Errors << text;
            // The user reads the error with the cursor and buttons back.
            QVERIFY(!QApplication::overrideCursor());
            QVERIFY(Script.Window->BBSearch->isEnabled());
        });
        return window;
    }

private slots:
    void init() {
        Script = {};
        Errors.clear();
    }

    void controlsAtCreation() {
        TfRelynSearchGUI window(nullptr, Script.Function());
        QCOMPARE(window.objectName(), QStringLiteral("fRelynSearchGUI"));
        QCOMPARE(window.size(), QSize(521, 297));
        QCOMPARE(window.windowTitle(), QStringLiteral("Find device"));
        QCOMPARE(window.SearchOptions(), TRelynSearchOptions(soAll));
        QCOMPARE(window.TypesFile(), QString());
        // The designed widths are the least; a caption with its sort mark may need more.
        const int widths[] = {90, 105, 60, 80, -1};
        const QStringList headers = {QStringLiteral("IP address"), QStringLiteral("MAC address"),
                                     QStringLiteral("Firmware"), QStringLiteral("Device type"),
                                     QStringLiteral("Device description")};
        for (int column = 0; column < 5; ++column) {
            if (widths[column] > 0)
                QVERIFY(window.LvDeviceList->columnWidth(column) >= widths[column]);
            QCOMPARE(window.LvDeviceList->model()->headerData(column, Qt::Horizontal).toString(),
                     headers[column]);
        }
        QCOMPARE(window.BBSearch->width(), 113);
        QCOMPARE(window.BBHelpDeviceNotFound->width(), 209);
        QCOMPARE(window.BBSelect->width(), 75);
        QCOMPARE(window.BBCancel->width(), 75);
        QCOMPARE(window.BBChangeIP->width(), 113);
        QVERIFY(window.BBSelect->isDefault());
        QCOMPARE(window.BBHelpDeviceNotFound->text(),
                 QStringLiteral("Help! My device wasn't found!"));
        QVERIFY(window.LvDeviceList->editTriggers() == QAbstractItemView::NoEditTriggers);
        QVERIFY(window.LvDeviceList->showGrid());
        QCOMPARE(window.LvDeviceList->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(Script.TypesFiles.isEmpty());
    }

    // The MAC column is just wide enough for every MAC address, as the table measures its cells,
    // and for its caption with a sort mark, as the header measures its sections.
    void macColumnFitsEveryAddress() {
        const QString hex = QStringLiteral("0123456789ABCDEF");
        Script.Runs = {[&hex] {
            QList<TRelynPar> rows;
            for (QChar digit : hex) {
                rows << Device("192.0.2.1", "", "a-type");
                rows.last().MACAddress = QStringLiteral("00-00-00-00-00-00").replace(u'0', digit);
            }
            return rows;
        }};
        TfRelynSearchGUI window(nullptr, Script.Function());
        QVERIFY(ShowAndSearch(window));
        QTableView *table = window.LvDeviceList;
        const int cells = static_cast<QAbstractItemView *>(table)->sizeHintForColumn(rcMACAddress);
        table->horizontalHeader()->setSortIndicatorShown(true);
        const int caption = table->horizontalHeader()->sectionSizeHint(rcMACAddress);
        table->horizontalHeader()->setSortIndicatorShown(false);
        const int width = table->columnWidth(rcMACAddress);
        QCOMPARE(width, std::max(cells, caption));
        // A cell's text loses its end when it is wider than the cell less the grid line and the
        // style's margin on either side.
        const int margin =
            table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table);
        const QFontMetricsF fm(table->font());
        for (int row = 0; row < hex.size(); ++row) {
            const QString text = Cell(window, row, rcMACAddress).toString();
            QVERIFY2(fm.horizontalAdvance(text) <= width - 1 - 2 * (margin + 1), qPrintable(text));
        }
        // The description gives the room back, so the five columns still fit the table.
        QCOMPARE(table->columnViewportPosition(rcFirmware),
                 table->columnWidth(rcIPAddress) + width);
        QCOMPARE(table->columnViewportPosition(rcDescription) + table->columnWidth(rcDescription),
                 table->viewport()->width());
    }

    // The widest texts a device can send fit their cells whole, and a larger window gives the
    // table the room while the buttons keep to their edges.
    void widestTextsFitAndTheWindowGrows() {
        Script.Runs = {[] {
            TRelynPar wide =
                Device("198.51.100.111", "DD-DD-DD-DD-DD-DD", "Thermometer-WWW", "255-255-255.255");
            wide.Description = QStringLiteral("Hall WWW, line 8, north wall");
            return QList<TRelynPar>{Device("198.51.100.11", "02-00-00-00-00-01", "a-type"),
                                    Device("255.255.255.254", "02-00-00-00-00-02", "a-type"), wide};
        }};
        auto window = MakeWindow();
        window->SetChangeIPOpener(
            [](QWidget *, const TRelynIPChangeRequest &) { return Changed(false); });
        QVERIFY(ShowAndSearch(*window));
        QTableView *table = window->LvDeviceList;
        const int margin =
            table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table);
        const QFontMetricsF fm(table->font());
        const auto noCellElided = [&] {
            for (int row = 0; row < table->model()->rowCount(); ++row)
                for (int column = 0; column < RelynColumnCount; ++column) {
                    const QString text = Cell(*window, row, column).toString();
                    if (fm.horizontalAdvance(text) >
                        table->columnWidth(column) - 1 - 2 * (margin + 1)) {
                        qWarning() << "elided:" << text << table->columnWidth(column);
                        return false;
                    }
                }
            return true;
        };
        QVERIFY(noCellElided());
        // Wider than the designed table: it scrolls rather than cut a text off.
        const auto columnsEnd = [table] {
            return table->columnViewportPosition(rcDescription) +
                   table->horizontalScrollBar()->value() + table->columnWidth(rcDescription);
        };
        QVERIFY(columnsEnd() >= table->viewport()->width());

        const int description = table->columnWidth(rcDescription);
        const int firstColumns = columnsEnd() - description;
        window->resize(window->width() + 400, window->height() + 100);
        QTRY_COMPARE(window->width(), TfRelynSearchGUI::ClientWidth + 400);
        // The description takes all the new room; the others keep their widths.
        QTRY_COMPARE(columnsEnd(), table->viewport()->width());
        QVERIFY(table->columnWidth(rcDescription) > description);
        QCOMPARE(columnsEnd() - table->columnWidth(rcDescription), firstColumns);
        QVERIFY(noCellElided());
        // Select and Cancel at the right edge, Search and Change IP at the left, all at the bottom.
        const auto inWindow = [&window](QWidget *button) {
            return QRect(button->mapTo(window.get(), QPoint(0, 0)), button->size());
        };
        QCOMPARE(inWindow(window->BBCancel).right(), window->width() - 1 - 8);
        QCOMPARE(inWindow(window->BBSelect).right() + 1 + 8, inWindow(window->BBCancel).left());
        QCOMPARE(inWindow(window->BBSearch).left(), 8);
        QCOMPARE(inWindow(window->BBChangeIP).left(), 8);
        QCOMPARE(inWindow(window->BBChangeIP).bottom(), window->height() - 1 - 8);
        QCOMPARE(inWindow(window->BBCancel).top(), inWindow(window->BBSearch).top());
        QCOMPARE(window->BBSelect->width(), 75);
        QCOMPARE(window->BBHelpDeviceNotFound->width(), 209);

        // Smaller again, but never below the designed size.
        window->resize(100, 100);
        QTRY_COMPARE(window->size(), QSize(521, 297));
        QTRY_COMPARE(table->columnWidth(rcDescription), description);
        QVERIFY(noCellElided());
    }

    void optionalButtonsAndPanelHeight_data() {
        QTest::addColumn<int>("options");
        QTest::addColumn<bool>("opener");
        QTest::addColumn<bool>("help");
        QTest::addColumn<bool>("change");
        QTest::addColumn<int>("panel");
        QTest::newRow("all") << int(soAll) << true << true << true << 73;
        QTest::newRow("help only") << int(soHelp) << true << true << false << 41;
        QTest::newRow("change only") << int(soChangeIP) << true << false << true << 73;
        QTest::newRow("main window: none") << 0 << true << false << false << 41;
        QTest::newRow("no dialog to open") << int(soAll) << false << false << false << 41;
    }

    void optionalButtonsAndPanelHeight() {
        QFETCH(int, options);
        QFETCH(bool, opener);
        QFETCH(bool, help);
        QFETCH(bool, change);
        QFETCH(int, panel);
        auto window = MakeWindow();
        window->SetSearchOptions(TRelynSearchOptions::fromInt(options));
        if (opener)
            window->SetChangeIPOpener(
                [](QWidget *, const TRelynIPChangeRequest &) { return Changed(false); });
        // A second showing must not shrink the panel again.
        for (int showing = 0; showing < 2; ++showing) {
            window->show();
            QCOMPARE(window->BBHelpDeviceNotFound->isVisible(), help);
            QCOMPARE(window->BBChangeIP->isVisible(), change);
            QCOMPARE(window->PnlButtons->height(), panel);
            QCOMPARE(window->size(), QSize(521, 297));
            QCOMPARE(window->PnlList->height(), 297 - panel);
            window->hide();
        }
    }

    void showSearchesAndSortsByAddress() {
        Script.Runs = {[] {
            return ThreeOutOfOrder;
        }};
        auto window = MakeWindow();
        window->SetTypesFile(QStringLiteral("/tmp/names.ini"));
        QVERIFY(ShowAndSearch(*window));
        QCOMPARE(Script.TypesFiles, QStringList{QStringLiteral("/tmp/names.ini")});
        QVERIFY(Script.SawWaitCursor);
        QVERIFY(!Script.SawButtonsEnabled);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(ColumnTexts(*window, 0),
                 QStringList({QStringLiteral("192.0.2.4"), QStringLiteral("192.0.2.30"),
                              QStringLiteral("192.0.2.100")}));
        QCOMPARE(ColumnTexts(*window, 3),
                 QStringList({QStringLiteral("C-type"), QStringLiteral("b-type"),
                              QStringLiteral("a-type")}));
        // The device that came first stays selected and focused where the sort put it.
        QCOMPARE(window->SelectedIP(), QStringLiteral("192.0.2.30"));
        QCOMPARE(window->LvDeviceList->currentIndex().row(), 1);
        for (QPushButton *b : {window->BBSearch, window->BBSelect, window->BBCancel})
            QVERIFY(b->isEnabled());
        QVERIFY(Errors.isEmpty());
    }

    // The search runs beside the window: meanwhile the window keeps the rows it had, shows the
    // hourglass with its buttons off and still takes input, and both of its models stay sound.
    void windowTakesInputWhileItSearches() {
        QSemaphore answer;
        Script.Runs = {[] { return ThreeOutOfOrder; },
                       [&answer] {
                           answer.acquire();
                           return QList<TRelynPar>{Device("10.0.0.1", "02-00-00-00-00-09", "x")};
                       },
                       [&answer] {
                           answer.acquire();
                           return ThreeOutOfOrder;
                       }};
        auto window = MakeWindow();
        // Before the window goes, which waits for its search.
        const auto release = qScopeGuard([&answer] { answer.release(2); });
        QAbstractItemModel *shown = window->LvDeviceList->model();
        const QAbstractItemModelTester shownTester(
            shown, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QAbstractItemModelTester modelTester(
            qobject_cast<QSortFilterProxyModel *>(shown)->sourceModel(),
            QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(ShowAndSearch(*window));

        QTest::mouseClick(window->BBSearch, Qt::LeftButton);
        QVERIFY(window->Searching());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        for (QPushButton *b : {window->BBSearch, window->BBSelect})
            QVERIFY(!b->isEnabled());
        ClickHeader(*window, rcDeviceType);
        QCOMPARE(ColumnTexts(*window, 3),
                 QStringList({QStringLiteral("a-type"), QStringLiteral("b-type"),
                              QStringLiteral("C-type")}));
        QCOMPARE(window->SelectedIP(), QStringLiteral("192.0.2.30"));
        answer.release();
        QVERIFY(SearchEnds(*window));
        QCOMPARE(ColumnTexts(*window, 0), QStringList{QStringLiteral("10.0.0.1")});
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(window->BBSelect->isEnabled());

        // Enter cannot choose while a search runs; Escape closes the window at once and gives
        // the cursor back.
        QTest::mouseClick(window->BBSearch, Qt::LeftButton);
        QTest::keyClick(window.get(), Qt::Key_Return);
        QVERIFY(window->isVisible());
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QCOMPARE(window->result(), int(QDialog::Rejected));
        QVERIFY(!window->isVisible());
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(Errors.isEmpty());
    }

    void emptyResult() {
        auto window = MakeWindow();
        QVERIFY(ShowAndSearch(*window));
        QCOMPARE(Script.TypesFiles.size(), 1);
        QCOMPARE(window->LvDeviceList->model()->rowCount(), 0);
        QCOMPARE(window->SelectedIP(), QString());
        QVERIFY(window->BBSearch->isEnabled());
        // Nothing to choose: Select stays off, and Enter does not close the window.
        QVERIFY(!window->BBSelect->isEnabled());
        QTest::keyClick(window.get(), Qt::Key_Return);
        QVERIFY(window->isVisible());
        QCOMPARE(window->result(), 0);
    }

    void emptyTableSaysWhyAndUnreachableRowsAreGrey() {
        TRelynPar away = Device("10.0.0.11", "02-00-00-00-00-05", "a-type");
        away.Interface = QStringLiteral("eth0");
        away.Network = QStringLiteral("192.0.2.0/24");
        away.Reachable = false;
        Script.Runs = {[] { return QList<TRelynPar>(); },
                       [&] {
                           return QList<TRelynPar>{ThreeOutOfOrder[0], away};
                       }};
        auto window = MakeWindow();
        window->SetNoReplyHint([] { return QStringList{QStringLiteral("Asked on eth0.")}; });
        QVERIFY(ShowAndSearch(*window));
        QVERIFY(window->LbNoReply->isVisible());
        QCOMPARE(window->LbNoReply->text(), QStringLiteral("No device answered.\nAsked on eth0."));

        QVERIFY(ClickSearch(*window));
        QVERIFY(!window->LbNoReply->isVisible());
        QCOMPARE(ColumnTexts(*window, 0),
                 (QStringList{QStringLiteral("10.0.0.11"), QStringLiteral("192.0.2.30")}));
        const QColor grey = window->palette().color(QPalette::Disabled, QPalette::Text);
        for (int column = 0; column < RelynColumnCount; ++column) {
            QCOMPARE(Cell(*window, 0, column, Qt::ForegroundRole).value<QBrush>().color(), grey);
            QVERIFY(Cell(*window, 0, column, Qt::ToolTipRole)
                        .toString()
                        .contains(QStringLiteral("address in 192.0.2.0/24 with Change IP")));
            QVERIFY(Cell(*window, 1, column, Qt::ToolTipRole).toString().isEmpty());
        }
    }

    // The device model's search explains an empty range search as it does an empty broadcast.
    void emptyRangeSearchIsExplainedToo() {
        QList<TRelynSearchScope> scopes;
        TRelynBackgroundSearch search(
            [](const QString &, const TRelynSearchScope &) { return TRelynSearchOutcome(); },
            [&scopes](const TRelynSearchScope &scope, const QList<TRelynInterface> &asked) {
                scopes << scope;
                return RelynSearchNoReplyHint(scope, asked,
                                              TRelynFirewall{TRelynFirewall::fwUnknown, {}});
            });
        QSignalSpy finished(&search, &TRelynBackgroundSearch::Finished);
        TRelynSearchScope range;
        QString error;
        QVERIFY(RelynParseRangeList(QStringLiteral("203.0.113.0/30"), range.Ranges, error));
        QVERIFY(search.Start(QString(), range, QStringLiteral("203.0.113.0/30")));
        QVERIFY(finished.wait(5000));
        const QStringList hint = finished.at(0).at(0).value<TRelynDevicesResult>().NoReply;
        QCOMPARE(scopes.size(), 1);
        QVERIFY2(hint.size() == 5, qPrintable(hint.join(u'|')));
        QCOMPARE(hint.first(),
                 QStringLiteral("Asked the 2 addresses 203.0.113.1-203.0.113.2 one by one."));
        QVERIFY(hint.at(2).startsWith(QStringLiteral("If this computer runs a firewall, unless")));
        QVERIFY(!hint.join(u' ').contains(QStringLiteral("broadcast")));

        QVERIFY(search.Start(QString(), {}, {}));
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.at(1).at(0).value<TRelynDevicesResult>().NoReply.first(),
                 QStringLiteral("The query went out of the one interface the system chose."));
    }

    void headerClickSortsAndIsRememberedForTheNextSearch() {
        Script.Runs = {[] { return ThreeOutOfOrder; },
                       [] {
                           return QList<TRelynPar>{
                               Device("10.0.0.1", "02-00-00-00-00-09", "Zeta"),
                               Device("10.0.0.2", "02-00-00-00-00-08", "alpha")};
                       }};
        auto window = MakeWindow();
        QVERIFY(ShowAndSearch(*window));
        ClickHeader(*window, rcDeviceType);
        QCOMPARE(window->RememberedColumn(), int(rcDeviceType));
        QCOMPARE(ColumnTexts(*window, 3),
                 QStringList({QStringLiteral("a-type"), QStringLiteral("b-type"),
                              QStringLiteral("C-type")}));
        QCOMPARE(window->SelectedIP(), QStringLiteral("192.0.2.30"));
        // Clicking again keeps the ascending order.
        ClickHeader(*window, rcDeviceType);
        QCOMPARE(ColumnTexts(*window, 3).first(), QStringLiteral("a-type"));

        QVERIFY(ClickSearch(*window));
        QCOMPARE(Script.TypesFiles.size(), 2);
        QCOMPARE(ColumnTexts(*window, 3),
                 QStringList({QStringLiteral("alpha"), QStringLiteral("Zeta")}));
        QCOMPARE(window->SelectedIP(), QStringLiteral("10.0.0.1"));
        QVERIFY(Errors.isEmpty());
    }

    void sortErrorIsShownAndNotRemembered() {
        Script.Runs = {[] {
            QList<TRelynPar> rows = ThreeOutOfOrder;
            rows[2].MACAddress = RelynNotAvailable;
            return rows;
        }};
        auto window = MakeWindow();
        QVERIFY(ShowAndSearch(*window));
        const QStringList before = ColumnTexts(*window, 0);
        ClickHeader(*window, rcMACAddress);
        QCOMPARE(Errors, QStringList{QStringLiteral("Syntax error")});
        QCOMPARE(window->RememberedColumn(), int(rcIPAddress));
        QCOMPARE(ColumnTexts(*window, 0), before);
        QCOMPARE(window->SelectedIP(), QStringLiteral("192.0.2.30"));
    }

    void searchErrorKeepsTheTableAndRestoresTheWindow() {
        Script.Runs = {[] { return ThreeOutOfOrder; },
                       []() -> QList<TRelynPar> {
                           throw ERelynError(
                               QStringLiteral("Socket Error # 101\r\nNetwork is unreachable"));
                       }};
        auto window = MakeWindow();
        QVERIFY(ShowAndSearch(*window));
        QVERIFY(ClickSearch(*window));
        QCOMPARE(Errors,
                 QStringList{QStringLiteral("Socket Error # 101\r\nNetwork is unreachable")});
        QCOMPARE(window->LvDeviceList->model()->rowCount(), 3);
        QVERIFY(window->BBSelect->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
    }

    void finalSortErrorLeavesTheNewRowsInResultOrder() {
        Script.Runs = {[] {
            return QList<TRelynPar>{Device("10.0.0.1", "02-00-00-00-00-09", "x", "N/A"),
                                    Device("10.0.0.2", "02-00-00-00-00-08", "y")};
        }};
        auto window = MakeWindow();
        QVERIFY(ShowAndSearch(*window));
        ClickHeader(*window, rcFirmware);
        QCOMPARE(Errors, QStringList{QStringLiteral("Syntax error")});
        QCOMPARE(ColumnTexts(*window, 0),
                 QStringList({QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2")}));
    }

    void selectAndCancel() {
        Script.Runs = {[] { return ThreeOutOfOrder; },
                       [] {
                           return ThreeOutOfOrder;
                       }};
        auto window = MakeWindow();
        QVERIFY(ShowAndSearch(*window));
        window->LvDeviceList->selectRow(2);
        QTest::keyClick(window.get(), Qt::Key_Return);
        QCOMPARE(window->result(), int(QDialog::Accepted));
        QCOMPARE(window->SelectedIP(), QStringLiteral("192.0.2.100"));

        QVERIFY(ShowAndSearch(*window));
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QCOMPARE(window->result(), int(QDialog::Rejected));
    }

    void changeIPAndHelpOpenTheDialogAndSearchAgainOnOK() {
        Script.Runs = {[] { return ThreeOutOfOrder; },
                       [] {
                           return ThreeOutOfOrder;
                       }};
        auto window = MakeWindow();
        TRelynSearchLangSupport texts;
        texts.CapChange = QStringLiteral("Apply");
        texts.Messages[2] = QStringLiteral("message 3");
        texts.CapCancel = QString();
        window->SetTexts(texts);
        QList<TRelynIPChangeRequest> requests;
        bool answer = true;
        window->SetChangeIPOpener([&](QWidget *parent, const TRelynIPChangeRequest &request) {
            if (parent != window.get())
                qWarning("opened without the search window as parent");
            requests << request;
            return Changed(answer);
        });
        QVERIFY(ShowAndSearch(*window));
        QCOMPARE(window->BBCancel->text(), QStringLiteral("Cancel"));

        QTest::mouseClick(window->BBChangeIP, Qt::LeftButton);
        QVERIFY(SearchEnds(*window));
        QCOMPARE(requests.size(), 1);
        QVERIFY(requests[0].HasStartAddress);
        QCOMPARE(requests[0].IPAddress, QStringLiteral("192.0.2.30"));
        QCOMPARE(requests[0].MACAddress, QStringLiteral("02-00-00-00-00-03"));
        QVERIFY(requests[0].ShowARPOnly);
        QCOMPARE(requests[0].CapDialog, QStringLiteral("Change IP address"));
        QCOMPARE(requests[0].CapChange, QStringLiteral("Apply"));
        QCOMPARE(requests[0].CapCancel, QStringLiteral("Cancel"));
        QCOMPARE(requests[0].CapIPAddress, QStringLiteral("IP address"));
        QCOMPARE(requests[0].CapMACAddress, QStringLiteral("MAC address"));
        QCOMPARE(requests[0].CapARPOnly, QStringLiteral("Set IP address to ARP table only"));
        QCOMPARE(requests[0].Messages[2], QStringLiteral("message 3"));
        QCOMPARE(requests[0].Messages[0], QString());
        QCOMPARE(Script.TypesFiles.size(), 2);

        answer = false;
        QTest::mouseClick(window->BBHelpDeviceNotFound, Qt::LeftButton);
        QCOMPARE(requests.size(), 2);
        QVERIFY(!requests[1].HasStartAddress);
        QVERIFY(!requests[1].ShowARPOnly);
        QCOMPARE(Script.TypesFiles.size(), 2);
    }

    void mainWindowHandOff() {
        TfRelynSearchGUI zarn(nullptr, Script.Function());
        ConfigureRelynSearchForMainWindow(zarn, QStringLiteral("ZARN"),
                                          QStringLiteral("/p/qlt.ini"));
        QCOMPARE(zarn.SearchOptions(), TRelynSearchOptions());
        QCOMPARE(zarn.TypesFile(), QStringLiteral("/p/qlt.ini"));
        TfRelynSearchGUI brimo(nullptr, Script.Function());
        ConfigureRelynSearchForMainWindow(brimo, QStringLiteral("BRIMO"),
                                          QStringLiteral("/p/qlt.ini"));
        QCOMPARE(brimo.TypesFile(), QString());
        ConfigureRelynSearchForMainWindow(brimo, QStringLiteral("zarn"),
                                          QStringLiteral("/p/qlt.ini"));
        QCOMPARE(brimo.TypesFile(), QString());

        // The modal window chooses the second device by address.
        Script.Runs = {[] { return ThreeOutOfOrder; },
                       [] {
                           return ThreeOutOfOrder;
                       }};
        QTimer::singleShot(0, this, [] {
            auto *window = qobject_cast<TfRelynSearchGUI *>(QApplication::activeModalWidget());
            QVERIFY(window);
            QVERIFY(SearchEnds(*window));
            QVERIFY(!window->BBChangeIP->isVisible());
            QCOMPARE(window->PnlButtons->height(), 41);
            window->LvDeviceList->selectRow(1);
            QTest::mouseClick(window->BBSelect, Qt::LeftButton);
        });
        QCOMPARE(FindRelynDevice(nullptr, QStringLiteral("ZARN"), QStringLiteral("/p/qlt.ini"),
                                 Script.Function()),
                 std::optional<QString>(QStringLiteral("192.0.2.30")));
        QCOMPARE(Script.TypesFiles.last(), QStringLiteral("/p/qlt.ini"));

        QTimer::singleShot(0, this, [] {
            auto *window = qobject_cast<TfRelynSearchGUI *>(QApplication::activeModalWidget());
            QVERIFY(window);
            QTest::mouseClick(window->BBCancel, Qt::LeftButton);
        });
        QCOMPARE(FindRelynDevice(nullptr, QStringLiteral("BRIMO"), QString(), Script.Function()),
                 std::nullopt);
        QCOMPARE(Script.TypesFiles.last(), QString());
    }
};

QTEST_MAIN(RelynSearchGuiTest)
#include "relynsearchgui_test.moc"
