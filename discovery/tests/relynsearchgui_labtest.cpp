// The search window with the real discovery inside the test LAN: the main window's hand-off
// finds the simulated devices, lists them by address and returns the chosen one.
#include "discovery/relynsearchgui.h"
#include "tools/testsupport/lab.h"

#include <QApplication>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

class RelynSearchGuiLab : public QObject {
    Q_OBJECT

private slots:
    void findsTheDevicesAndReturnsTheChosenAddress() {
        if (!labtest::inLab())
            QSKIP(labtest::notInLab);
        // Replies arrive in falling address order; the table shows them rising.
        const int devices = labtest::deviceCount();
        for (int n = 1; n <= devices; ++n)
            QVERIFY(labtest::restartDevice(
                n, {"--discovery-delay-ms", std::to_string((devices - n) * 40)}));

        QStringList shown;
        QTimer::singleShot(0, this, [&] {
            auto *window = qobject_cast<TfRelynSearchGUI *>(QApplication::activeModalWidget());
            QVERIFY(window);
            QTRY_VERIFY_WITH_TIMEOUT(!window->Searching(), 20000);
            const QAbstractItemModel *rows = window->LvDeviceList->model();
            for (int row = 0; row < rows->rowCount(); ++row)
                shown << rows->index(row, 0).data().toString();
            window->LvDeviceList->selectRow(devices - 1);
            QTest::mouseClick(window->BBSelect, Qt::LeftButton);
        });
        const std::optional<QString> chosen =
            FindRelynDevice(nullptr, QStringLiteral("BRIMO"), QString());

        QStringList expected;
        for (int n = 1; n <= devices; ++n)
            expected << QString::fromStdString(labtest::deviceAddress(n));
        QCOMPARE(shown, expected);
        QCOMPARE(chosen, std::optional<QString>(expected.last()));
    }
};

QTEST_MAIN(RelynSearchGuiLab)
#include "relynsearchgui_labtest.moc"
