// A device with its factory address on the cable (lab: --lans 2, one device on each, one --foreign
// at 10.0.0.11): with two LANs, so that the default route leaves by the other one and the device is
// out of reach: the real Devices window gives it a free address of its LAN in one step, through the
// real IP change dialog, selects it there, and the device then takes a web upload.
#include "app/widgets/deviceswindow.h"
#include "app/widgets/tests/quietdialogs.h"
#include "ipassign/ipedit.h"
#include "ipassign/relynipchangegui.h"
#include "tools/testsupport/lab.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {
int RunCli(const QStringList &arguments) {
    QProcess cli;
    cli.start(QStringLiteral(QUILLET_PROGRAM_DIR "quillet-cli"), arguments);
    return cli.waitForFinished(120000) && cli.exitStatus() == QProcess::NormalExit ? cli.exitCode()
                                                                                   : -1;
}
} // namespace

class TRescueLabTest : public QObject {
    Q_OBJECT
private slots:
    void factoryDeviceIsRescuedInOneStepAndTakesAnUpload() {
        if (!labtest::inLab())
            QSKIP(labtest::notInLab);
        QCOMPARE(labtest::labAddress(3), std::string("10.0.0.11"));
        TQuietDialogs dialogs;
        TfDevices devices(dialogs);
        QStringList boxes;
        devices.SetChangeIPOpener(RelynIPChangeOpener(
            TRelynIPChangeEnvironment::System(),
            [&boxes](QWidget *, qint32, const QString &text) { boxes << text; }));
        devices.show();
        QVERIFY(QTest::qWaitForWindowExposed(&devices));
        QTRY_VERIFY_WITH_TIMEOUT(!devices.Searching() && devices.ShownDevices().size() == 3, 20000);
        int row = -1;
        for (int i = 0; i < devices.ShownDevices().size(); ++i)
            if (devices.ShownDevices()[i].IPAddress == QStringLiteral("10.0.0.11"))
                row = i;
        QVERIFY(row >= 0);
        QVERIFY(!devices.ShownDevices()[row].Reachable);
        devices.TvDevices->selectRow(row);

        // The dialog opens with the proposal; the technician accepts it with Change.
        QString proposed;
        QTimer::singleShot(0, [&proposed] {
            auto *dialog = qobject_cast<TfRelynIPChangeGUI *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            proposed = dialog->IPEdtAddress->Text();
            QTest::mouseClick(dialog->BBChange, Qt::LeftButton);
        });
        devices.Rescue();
        QVERIFY2(proposed.startsWith(QStringLiteral("192.0.2.")), qPrintable(proposed));
        QVERIFY(proposed != QStringLiteral("192.0.2.1") &&
                proposed != QStringLiteral("192.0.2.11"));
        // Said once the device answered at its new address.
        QCOMPARE(boxes, QStringList{QStringLiteral("IP address was successfuly changed\r\nThe "
                                                   "device answers at %1.")
                                        .arg(proposed)});
        // Selected at its new address, reachable, ready for an upload.
        QTRY_VERIFY_WITH_TIMEOUT(!devices.Searching() && devices.SelectedDevices().size() == 1 &&
                                     devices.SelectedDevices()[0].IPAddress == proposed,
                                 20000);
        QVERIFY(devices.SelectedDevices()[0].Reachable);
        QVERIFY(dialogs.Messages.isEmpty());

        QTemporaryDir temp;
        QVERIFY(QDir().mkpath(temp.filePath(QStringLiteral("site"))));
        QFile page(temp.filePath(QStringLiteral("site/index.htm")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<p>rescued</p>");
        page.close();
        const QString web = temp.filePath(QStringLiteral("site.pmf"));
        QCOMPARE(RunCli({QStringLiteral("create"), temp.filePath(QStringLiteral("site")),
                         QStringLiteral("--output"), web}),
                 0);
        QCOMPARE(RunCli({QStringLiteral("upload-web"), web, proposed}), 0);
        QVERIFY(labtest::restartDevice(3));
    }
};

QTEST_MAIN(TRescueLabTest)
#include "rescue_labtest.moc"
