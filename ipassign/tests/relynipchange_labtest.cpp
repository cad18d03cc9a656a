// IP assignment on the test LAN: real echo test, real IP-SETUP broadcast, real neighbour table,
// simulated devices. Runs only inside a lab (see quillet_add_lab_test).
#include "discovery/relynsearchgui.h"
#include "ipassign/neighbourtable.h"
#include "ipassign/relynipchangegui.h"
#include "tools/testsupport/lab.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include "ipassign/ipedit.h"

namespace {

using labtest::Address;
using labtest::Mac;

bool AnyDeviceGot(const char *text) {
    for (int n = 1; n <= labtest::deviceCount(); ++n)
        if (!labtest::logLines(n, text).empty())
            return true;
    return false;
}

void ClearLogs() {
    for (int n = 1; n <= labtest::deviceCount(); ++n)
        labtest::clearLog(n);
}

// The system environment, counting how often the echo service is opened.
TRelynIPChangeEnvironment CountingEchoes(int &opened) {
    TRelynIPChangeEnvironment environment = TRelynIPChangeEnvironment::System();
    const auto open = environment.Echo.OpenService;
    environment.Echo.OpenService = [open, &opened] {
        ++opened;
        return open();
    };
    return environment;
}

QString NeighbourEntry(const QString &address) {
    QProcess ip;
    ip.start(QStringLiteral("ip"),
             {QStringLiteral("-4"), QStringLiteral("neigh"), QStringLiteral("show"), address});
    ip.waitForFinished(5000);
    return QString::fromLocal8Bit(ip.readAllStandardOutput()).trimmed();
}

QString CellText(const TfRelynSearchGUI &window, int row, int column) {
    return window.LvDeviceList->model()->index(row, column).data().toString();
}

int RowOf(const TfRelynSearchGUI &window, int column, const QString &text) {
    for (int row = 0; row < window.LvDeviceList->model()->rowCount(); ++row)
        if (CellText(window, row, column) == text)
            return row;
    return -1;
}

} // namespace

class RelynIPChangeLabTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!labtest::inLab())
            QSKIP(labtest::notInLab);
        QVERIFY(labtest::deviceCount() >= 3);
    }

    void init() { ClearLogs(); }

    void takenAddressIsRefusedWithoutDatagram() {
        int echoes = 0;
        TRelynIPChange change(CountingEchoes(echoes));
        QElapsedTimer clock;
        clock.start();
        const TRelynIPChangeOutcome outcome = change.ChangeIP(Mac(1), Address(2));
        QVERIFY(!outcome.Success);
        QCOMPARE(outcome.Kind, qint32(rmError));
        QCOMPARE(outcome.Message, QStringLiteral("Selected IP address already exists."));
        QCOMPARE(echoes, 1);
        // The first echo is answered at once.
        QVERIFY(clock.elapsed() < 1000);
        QTest::qWait(300);
        QVERIFY(!AnyDeviceGot("recv ipsetup"));
        QVERIFY(labtest::logLines(1, "address ").empty());
    }

    void badMacSendsNoEcho() {
        int echoes = 0;
        TRelynIPChange change(CountingEchoes(echoes));
        const TRelynIPChangeOutcome outcome =
            change.ChangeIP(QStringLiteral("02-00-00-00-00"), QStringLiteral("192.0.2.52"));
        QCOMPARE(outcome.Message, QStringLiteral("MAC address syntax error."));
        QCOMPARE(echoes, 0);
        QTest::qWait(300);
        QVERIFY(!AnyDeviceGot("recv ipsetup"));
    }

    // Empty texts still tell success and kind; the datagram moves the device it names.
    void emptyMessagesOnARealChange() {
        TRelynIPChange change;
        change.SetMessages({QString(), QString(), QString(), QString(), QString(), QString()});
        const TRelynIPChangeOutcome outcome = change.ChangeIP(Mac(3), QStringLiteral("192.0.2.51"));
        QVERIFY(outcome.Success);
        QCOMPARE(outcome.Kind, qint32(rmInformation));
        QVERIFY(outcome.Message.isEmpty());
        QVERIFY(labtest::waitForLog(3, "address 192.0.2.51", std::chrono::seconds(3)));
        QVERIFY(labtest::waitForPing("192.0.2.51", std::chrono::seconds(10)));
        QVERIFY(labtest::restartDevice(3));
    }

    // The technician's road: search, Change IP on one device, a new address, found there.
    void searchWindowMovesTheChosenDeviceAndFindsItAgain() {
        QList<qint32> kinds;
        QStringList texts;
        TfRelynSearchGUI window;
        window.SetChangeIPOpener(
            RelynIPChangeOpener(TRelynIPChangeEnvironment::System(),
                                [&kinds, &texts](QWidget *, qint32 kind, const QString &text) {
                                    kinds << kind;
                                    texts << text;
                                }));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY_WITH_TIMEOUT(!window.Searching(), 20000);
        QCOMPARE(window.LvDeviceList->model()->rowCount(), labtest::deviceCount());
        const int row = RowOf(window, 1, Mac(2));
        QVERIFY(row >= 0);
        window.LvDeviceList->selectRow(row);

        // The LAN's broadcast address first: refused before anything is sent, and the dialog
        // comes back with what was typed; then a free address.
        bool cameBack = false;
        QTimer::singleShot(0, [&cameBack] {
            auto *dialog = qobject_cast<TfRelynIPChangeGUI *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->EdtMac->text(), Mac(2));
            QCOMPARE(dialog->IPEdtAddress->Text(), Address(2));
            QTimer::singleShot(0, [&cameBack] {
                auto *again = qobject_cast<TfRelynIPChangeGUI *>(QApplication::activeModalWidget());
                QVERIFY(again);
                cameBack = again->IPEdtAddress->Text() == QStringLiteral("192.0.2.255") &&
                           again->EdtMac->text() == Mac(2);
                again->IPEdtAddress->SetText(QStringLiteral("192.0.2.50"));
                QTest::mouseClick(again->BBChange, Qt::LeftButton);
            });
            dialog->IPEdtAddress->SetText(QStringLiteral("192.0.2.255"));
            QTest::mouseClick(dialog->BBChange, Qt::LeftButton);
        });
        QTest::mouseClick(window.BBChangeIP, Qt::LeftButton);

        QVERIFY(cameBack);
        QCOMPARE(kinds, (QList<qint32>{rmError, rmInformation}));
        QCOMPARE(texts.takeFirst(),
                 QStringLiteral("IP address syntax error.\r\nWrite correct IP address, please."));
        // The dialog found the device at its new address before it said so.
        QCOMPARE(texts, QStringList{QStringLiteral("IP address was successfuly changed\r\nThe "
                                                   "device answers at 192.0.2.50.")});
        QVERIFY(labtest::waitForLog(2, "address 192.0.2.50", std::chrono::seconds(3)));
        // One 20-byte broadcast, laid out as the devices expect, reached every device.
        QCOMPARE(labtest::logLines(2, "recv ipsetup").size(), size_t(1));
        QVERIFY(labtest::readLog(2).find("len=20 data=000000FC49502D53455455500000"
                                         "0002C0000232") != std::string::npos);
        QVERIFY(
            labtest::waitForLog(1, "ipsetup ignored reason=other-device", std::chrono::seconds(3)));
        QVERIFY(
            labtest::waitForLog(3, "ipsetup ignored reason=other-device", std::chrono::seconds(3)));
        QVERIFY(labtest::logLines(1, "address ").empty());
        QVERIFY(labtest::logLines(3, "address ").empty());

        // The window searched again by itself and lists the device at its new address.
        QTRY_VERIFY_WITH_TIMEOUT(!window.Searching(), 20000);
        QCOMPARE(window.LvDeviceList->model()->rowCount(), labtest::deviceCount());
        const int moved = RowOf(window, 1, Mac(2));
        QVERIFY(moved >= 0);
        QCOMPARE(CellText(window, moved, 0), QStringLiteral("192.0.2.50"));
        QCOMPARE(RowOf(window, 0, Address(2)), -1);
        QCOMPARE(RowOf(window, 0, Address(1)), RowOf(window, 1, Mac(1)));
        QVERIFY(labtest::restartDevice(2));
    }

    // A device that does not take the address is not reported as moved: the dialog looks for it
    // for the time given, stays responsive meanwhile, and says that it does not answer there.
    void dialogSaysWhenTheDeviceDoesNotAnswerAtItsNewAddress() {
        QVERIFY(labtest::restartDevice(1, {"--ignore-ipsetup"}));
        TRelynIPChangeEnvironment environment = TRelynIPChangeEnvironment::System();
        environment.AnswerWaitMs = 3000;
        QList<qint32> kinds;
        QStringList texts;
        TRelynIPChangeRequest request = RelynIPChangeRequest(TRelynSearchLangSupport());
        request.HasStartAddress = true;
        request.IPAddress = QStringLiteral("192.0.2.53");
        request.MACAddress = Mac(1);
        bool sawWaiting = false;
        QTimer::singleShot(0, [&sawWaiting] {
            auto *dialog = qobject_cast<TfRelynIPChangeGUI *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QTest::mouseClick(dialog->BBChange, Qt::LeftButton);
            // The event loop runs while the searches go on.
            QTest::qWait(500);
            sawWaiting = dialog->WaitingForAnswer() && dialog->isVisible();
        });
        QElapsedTimer clock;
        clock.start();
        const auto moved =
            OpenRelynIPChange(nullptr, request, environment,
                              [&kinds, &texts](QWidget *, qint32 kind, const QString &text) {
                                  kinds << kind;
                                  texts << text;
                              });
        QVERIFY(moved);
        QVERIFY(sawWaiting);
        QVERIFY(labtest::waitForLog(1, "ipsetup ignored", std::chrono::seconds(3)));
        QCOMPARE(kinds, QList<qint32>{rmWarning});
        QVERIFY2(texts.first().contains(QStringLiteral("The device does not answer at "
                                                       "192.0.2.53 yet")),
                 qPrintable(texts.first()));
        // The echo test, then the 3 s of searching and at most one search more.
        QVERIFY(clock.elapsed() < 3000 + 6000);
        QVERIFY(labtest::restartDevice(1));
    }

    // The ARP mode writes a permanent entry into the computer's neighbour table and sends no
    // IP-SETUP datagram.
    void arpModeFillsTheNeighbourTable() {
        const QString address = QStringLiteral("192.0.2.60");
        TRelynIPChange change;
        change.SetArpOnly(true);
        const TRelynIPChangeOutcome outcome = change.ChangeIP(Mac(3), address);
        QVERIFY(outcome.Success);
        QCOMPARE(outcome.Kind, qint32(rmWarning));
        QCOMPARE(outcome.Message, TRelynIPChangeMsgLngSupport().MsgTemporary);
        const QString entry = NeighbourEntry(address);
        QVERIFY2(entry.contains(QStringLiteral("lladdr 02:00:00:00:00:03")), qPrintable(entry));
        QVERIFY2(entry.contains(QStringLiteral("PERMANENT")), qPrintable(entry));
        QVERIFY(!AnyDeviceGot("recv ipsetup"));

        // Replacing an entry works as well as adding one.
        const TRelynIPChangeOutcome again = change.ChangeIP(Mac(1), address);
        QVERIFY(again.Success);
        QVERIFY(NeighbourEntry(address).contains(QStringLiteral("lladdr 02:00:00:00:00:01")));
        labtest::run({"ip", "neigh", "del", address.toStdString(), "dev",
                      RouteLinkTo(address).toStdString()});
        QVERIFY(NeighbourEntry(address).isEmpty());
    }

    // Without the right to change the table the command is refused; that is a failure, not a
    // "temporarily assigned", and it says which right is missing. The echo test still runs (raw
    // sockets stay allowed).
    void arpModeWithoutPrivilegesIsAnError() {
        const QString address = QStringLiteral("192.0.2.61");
        QProcess probe;
        probe.start(QStringLiteral("setpriv"),
                    {QStringLiteral("--bounding-set"), QStringLiteral("-net_admin"),
                     QStringLiteral("--inh-caps"), QStringLiteral("-all"),
                     QStringLiteral(QUILLET_CHANGE_PROBE), Mac(3), address,
                     QStringLiteral("--arp")});
        QVERIFY(probe.waitForFinished(30000));
        const QString output = QString::fromLocal8Bit(probe.readAllStandardOutput()).trimmed();
        QVERIFY2(output.startsWith(QStringLiteral("0 1 Setting the neighbour table needs "
                                                  "administrator rights")),
                 qPrintable(output));
        // The echo test leaves at most a failed resolution behind, never an entry.
        QVERIFY2(!NeighbourEntry(address).contains(QStringLiteral("lladdr")),
                 qPrintable(NeighbourEntry(address)));

        // The same probe with its privileges does change the table.
        probe.start(QStringLiteral(QUILLET_CHANGE_PROBE),
                    {Mac(3), address, QStringLiteral("--arp")});
        QVERIFY(probe.waitForFinished(30000));
        QVERIFY(QString::fromLocal8Bit(probe.readAllStandardOutput()).startsWith(u"1 0 "));
        QVERIFY(NeighbourEntry(address).contains(QStringLiteral("PERMANENT")));
        labtest::run({"ip", "neigh", "del", address.toStdString(), "dev",
                      RouteLinkTo(address).toStdString()});
    }
};

QTEST_MAIN(RelynIPChangeLabTest)
#include "relynipchange_labtest.moc"
