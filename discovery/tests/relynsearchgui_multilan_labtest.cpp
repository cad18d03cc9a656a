// The search window on a computer with two LANs (lab: --lans 2 --devices 1 --foreign 1): dev1
// 192.0.2.11 by eth0, dev2 198.51.100.11 by eth1 (the default route), dev3 at the factory
// address 10.0.0.11 on eth0's LAN.
#include "discovery/relynsearchgui.h"
#include "tools/testsupport/lab.h"

#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

class RelynSearchGuiMultiLanLab : public QObject {
    Q_OBJECT

private slots:
    void foreignDeviceIsGreyAndChangeIPKnowsItsInterface() {
        if (!labtest::inLab())
            QSKIP(labtest::notInLab);
        QCOMPARE(labtest::labAddress(3), std::string("10.0.0.11"));
        TRelynIPChangeRequest opened;
        TfRelynSearchGUI window;
        window.SetChangeIPOpener([&](QWidget *, const TRelynIPChangeRequest &request) {
            opened = request;
            return std::optional<TRelynIPChangeResult>();
        });
        const QAbstractItemModel *rows = window.LvDeviceList->model();
        const auto cell = [rows](int row, int column, int role = Qt::DisplayRole) {
            return rows->index(row, column).data(role);
        };
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(!window.Searching(), 20000);

        QCOMPARE(rows->rowCount(), 3);
        QCOMPARE(cell(0, 0).toString(), QStringLiteral("10.0.0.11"));
        const QColor grey = window.palette().color(QPalette::Disabled, QPalette::Text);
        QCOMPARE(cell(0, 4, Qt::ForegroundRole).value<QBrush>().color(), grey);
        QVERIFY(cell(0, 0, Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("through eth0 (192.0.2.0/24)")));
        for (int row = 1; row < 3; ++row)
            QVERIFY(cell(row, 0, Qt::ToolTipRole).toString().isEmpty());
        QVERIFY(!window.LbNoReply->isVisible());
        // 198.51.100.11, the longest address here, stands whole in its cell.
        QTableView *table = window.LvDeviceList;
        const int margin =
            table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table);
        for (int row = 0; row < 3; ++row)
            QVERIFY2(QFontMetricsF(table->font()).horizontalAdvance(cell(row, 0).toString()) <=
                         table->columnWidth(0) - 1 - 2 * (margin + 1),
                     qPrintable(cell(row, 0).toString()));

        window.LvDeviceList->selectRow(0);
        QTest::mouseClick(window.BBChangeIP, Qt::LeftButton);
        QCOMPARE(opened.IPAddress, QStringLiteral("10.0.0.11"));
        QCOMPARE(opened.MACAddress, QStringLiteral("02-00-00-00-00-03"));
        QCOMPARE(opened.Interface, QStringLiteral("eth0"));

        // Nothing answers: the empty table names the interfaces asked.
        for (int n = 1; n <= 3; ++n)
            QVERIFY(labtest::restartDevice(n, {"--no-discovery"}));
        QTest::mouseClick(window.BBSearch, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window.Searching(), 20000);
        QCOMPARE(rows->rowCount(), 0);
        QVERIFY(window.LbNoReply->isVisible());
        QVERIFY(window.LbNoReply->text().startsWith(
            QStringLiteral("No device answered.\nAsked on eth0 (192.0.2.1/24), eth1 "
                           "(198.51.100.1/24).")));
        for (int n = 1; n <= 3; ++n)
            QVERIFY(labtest::restartDevice(n));
    }
};

QTEST_MAIN(RelynSearchGuiMultiLanLab)
#include "relynsearchgui_multilan_labtest.moc"
