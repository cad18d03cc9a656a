// The real Devices window among hostile responders in the test LAN: an empty and an over-long
// reply, a device answering its info twice, one flooding its reply and one answering as 300
// other MACs. The search ends soon, lists the real devices with their own texts, and can be
// stopped and started again while the flood goes on.
#include "app/widgets/deviceswindow.h"
#include "app/widgets/tests/quietdialogs.h"
#include "app/workflows/journalrecorder.h"
#include "tools/testsupport/lab.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

class TDevicesWindowLabTest : public QObject {
    Q_OBJECT
private slots:
    void hostileRespondersHoldNeitherTheSearchNorTheWindow() {
        if (!labtest::inLab())
            QSKIP(labtest::notInLab);
        QVERIFY(labtest::restartDevice(2, {"--zero-length-reply"}));
        QVERIFY(labtest::restartDevice(3, {"--info-copies", "2"}));
        QVERIFY(labtest::restartDevice(4, {"--flood-ms", "2", "--flood-for-ms", "60000"}));
        QVERIFY(labtest::restartDevice(5, {"--fake-macs", "300"}));
        QVERIFY(labtest::restartDevice(6, {"--oversized-reply"}));
        const auto restore = qScopeGuard([] {
            for (int n = 2; n <= 6; ++n)
                labtest::restartDevice(n);
        });

        QTemporaryDir temp;
        const auto journal =
            std::make_shared<TJournalRecorder>(temp.filePath(QStringLiteral("journal.sqlite")));
        QObject context;
        TQuietDialogs dialogs;
        QElapsedTimer clock;
        clock.start();
        TfDevices devices(dialogs, TJournalRecorder::Recording(journal, &context,
                                                               TRelynBackgroundSearch::Search()));
        devices.show();
        QVERIFY(QTest::qWaitForWindowExposed(&devices));
        QTRY_VERIFY_WITH_TIMEOUT(!devices.Searching(), 10000);
        const qint64 searchMs = clock.elapsed();
        qInfo("Devices window search among hostile responders: %lld ms", searchMs);
        QVERIFY2(searchMs < 3000, qPrintable(QString::number(searchMs)));

        const QList<TRelynPar> shown = devices.ShownDevices();
        for (const int n : {1, 3, 4, 5}) {
            const QString address = QString::fromStdString(labtest::deviceAddress(n));
            const auto rows = std::count_if(shown.begin(), shown.end(), [&](const TRelynPar &d) {
                return d.IPAddress == address &&
                       d.Description == QStringLiteral("Simulated device %1").arg(n) &&
                       d.Firmware == QStringLiteral("1-4-5.00");
            });
            // Heard twice at most (as on two copies of the query), whatever the flood repeats.
            QVERIFY2(rows >= 1 && rows <= 2, qPrintable(address));
        }
        for (const int n : {2, 6}) {
            const QString address = QString::fromStdString(labtest::deviceAddress(n));
            QVERIFY(std::none_of(shown.begin(), shown.end(),
                                 [&](const TRelynPar &d) { return d.IPAddress == address; }));
        }
        // The fake MACs answered as the flooding device's neighbour did; none took a real text.
        const auto fakes = std::count_if(shown.begin(), shown.end(), [](const TRelynPar &d) {
            return d.MACAddress.startsWith(QStringLiteral("02-FA-00-00-"));
        });
        QVERIFY2(fakes > 100, qPrintable(QString::number(fakes)));
        QVERIFY(std::all_of(shown.begin(), shown.end(), [](const TRelynPar &d) {
            return !d.MACAddress.startsWith(QStringLiteral("02-FA-00-00-")) ||
                   d.Description.isEmpty();
        }));
        QVERIFY(dialogs.Messages.isEmpty());

        // During the flood a new search can be stopped at once, and the window stays usable.
        QTest::mouseClick(devices.BtnSearch, Qt::LeftButton);
        QVERIFY(devices.Searching());
        QCOMPARE(devices.BtnSearch->text(), QStringLiteral("S&top"));
        clock.restart();
        QTest::mouseClick(devices.BtnSearch, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!devices.Searching(), 3000);
        QVERIFY(clock.elapsed() < 1500);
        QCOMPARE(devices.BtnSearch->text(), QStringLiteral("&Search"));
        QVERIFY2(devices.LbStatus->text().endsWith(QStringLiteral(" (stopped)")),
                 qPrintable(devices.LbStatus->text()));

        // The stopped search is not the journal's previous search: after a whole one again, the
        // real devices carry no marks (a half-heard one would read "firmware changed" or "gone").
        QTest::mouseClick(devices.BtnSearch, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!devices.Searching(), 10000);
        QVERIFY(journal->Journal());
        QVERIFY(!journal->Journal()->History().isEmpty());
        for (const TJournalMarked &marked : journal->Journal()->Marks())
            QVERIFY2(!marked.Device.Mac.startsWith(QStringLiteral("02-00-00-00-00-")),
                     qPrintable(marked.Device.Mac));
    }
};

QTEST_MAIN(TDevicesWindowLabTest)
#include "deviceswindow_labtest.moc"
