// The technician's whole road in the real main window inside the test LAN: Create packs a
// sample site, Search finds the simulated devices sorted by address, Select puts the chosen
// address into the address field, and Upload web sends the file to that device, which restarts
// and answers again.
#include "app/core/journal.h"
#include "app/widgets/journalcolumns.h"
#include "app/widgets/journalhistory.h"

#include "app/widgets/deviceswindow.h"
#include "app/widgets/quillet.h"
#include "app/widgets/tests/quietdialogs.h"
#include "app/widgets/uploadwindow.h"
#include "discovery/relynsearchgui.h"
#include "ipassign/ipedit.h"
#include "ipassign/relynipchangegui.h"
#include "tools/testsupport/files.h"
#include "tools/testsupport/lab.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

void WriteFile(const QString &path, const QByteArray &content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

using labtest::Address;
using testsupport::ReadFile;
using namespace Qt::StringLiterals;

// Runs a program to its end: what it printed when it succeeded, its error output otherwise.
QByteArray RunProgram(const QString &program, const QStringList &arguments) {
    QProcess run;
    run.start(program, arguments);
    if (!run.waitForFinished(120000) || run.exitStatus() != QProcess::NormalExit ||
        run.exitCode() != 0)
        return "failed: " + run.readAllStandardError();
    return run.readAllStandardOutput();
}

// Runs the action on the first modal window of the type that shows, from the event loop of
// whatever waits for it.
template <typename T> void WhenModal(QObject *context, std::function<void(T *)> action) {
    auto *poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, context, [poll, action] {
        if (auto *shown = qobject_cast<T *>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            poll->stop();
            action(shown);
        }
    });
    poll->start(50);
}

} // namespace

class WholeRoad : public QObject {
    Q_OBJECT

private slots:
    // Ctrl+D opens the Devices window, which finds the three devices by itself; a range typed
    // into the window finds them again; three rows picked with the mouse are copied with
    // Ctrl+C, the list is exported, F5 keeps the selection. Then the context menu, opened by a
    // right-click and used by keys: a web file to all three, a second upload cancelled, the
    // address to the main window, a browser, and Change IP, after which the moved device is
    // selected at its new address; a second change, to an address in use, fails. quillet-cli
    // moves another device and one is switched off: the next search marks the move and greys
    // the gone one, and the History window and quillet-cli history list the same road. The
    // window's size and columns reach the settings file.
    void devicesWindowSearchCopyExport() {
        if (!labtest::inLab())
            QSKIP(labtest::notInLab);
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString program = temp.filePath(QStringLiteral("program/"));
        QVERIFY(QDir().mkpath(program));
        // The browser is a stand-in that writes down what it was asked to open.
        const QString asked = temp.filePath(QStringLiteral("browser-asked"));
        WriteFile(temp.filePath(QStringLiteral("bin/xdg-open")),
                  "#!/bin/sh\necho \"$@\" >>'" + asked.toUtf8() + "'\n");
        QFile(temp.filePath(QStringLiteral("bin/xdg-open")))
            .setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(temp.filePath(QStringLiteral("bin:"))) + path);
        const auto restorePath = qScopeGuard([path] { qputenv("PATH", path); });
        TQuietDialogs dialogs;
        TStartupInputs inputs;
        inputs.ProgramFolder = program;
        inputs.CommonDataRoot = temp.filePath(QStringLiteral("common"));
        inputs.LocalDataRoot = temp.filePath(QStringLiteral("local"));
        inputs.DocumentsRoot = temp.filePath(QStringLiteral("documents"));
        QStringList expectedCsv{
            QStringLiteral("ip,mac,firmware,type,description,interface,reachable")};
        {
            TfQuillet window(inputs, dialogs);
            window.show();
            window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&window));
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window,
                            Qt::Key_D, Qt::ControlModifier);
            TfDevices *devices = window.DevicesWindow();
            QVERIFY(devices);
            QVERIFY(devices->isVisible());
            const auto rows = [devices] {
                return devices->TvDevices->model()->rowCount();
            };
            QTRY_VERIFY_WITH_TIMEOUT(!devices->Searching() && rows() == 3, 20000);
            QVERIFY2(QRegularExpression(QStringLiteral("^3 devices on \\S+ in \\d+\\.\\d\\d s$"))
                         .match(devices->LbStatus->text())
                         .hasMatch(),
                     qPrintable(devices->LbStatus->text()));
            QVERIFY(QTest::qWaitForWindowActive(devices));

            // The range of the three devices, typed and sent with Enter.
            QTest::mouseClick(devices->EdtRange, Qt::LeftButton);
            QTest::keyClicks(devices->EdtRange, QStringLiteral("192.0.2.8/29"));
            QTest::keyClick(devices->EdtRange, Qt::Key_Return);
            QVERIFY(devices->Searching());
            QTRY_VERIFY_WITH_TIMEOUT(!devices->Searching(), 20000);
            QCOMPARE(rows(), 3);
            QVERIFY2(devices->LbStatus->text().startsWith(
                         QStringLiteral("3 devices in 192.0.2.8/29 in ")),
                     qPrintable(devices->LbStatus->text()));

            // The table lists the devices by address; a click and a Shift+click take all three.
            QTableView *table = devices->TvDevices;
            QVERIFY(QTest::qWaitForWindowExposed(devices));
            const auto cellCenter = [table](int row) {
                return table->visualRect(table->model()->index(row, 0)).center();
            };
            const auto click = [&](int row, Qt::KeyboardModifiers modifiers) {
                QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, cellCenter(row));
            };
            // A right-click on the row opens the real context menu; the entry is chosen by its
            // key.
            const auto choose = [&](int row, Qt::Key key) {
                QTest::mouseClick(devices->windowHandle(), Qt::RightButton, {},
                                  table->viewport()->mapTo(devices, cellCenter(row)));
                QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
                QTest::keyClick(QApplication::activePopupWidget(), key);
            };
            click(0, Qt::NoModifier);
            click(2, Qt::ShiftModifier);
            QCOMPARE(devices->SelectedDevices().size(), 3);

            QString tsv = QStringLiteral(
                "IP address\tMAC address\tFirmware\tDevice type\tDevice description\tInterface\n");
            const QString interface = devices->Model().Devices().first().Interface;
            QVERIFY(!interface.isEmpty());
            const QList<TRelynPar> selected = devices->SelectedDevices();
            for (int n = 1; n <= 3; ++n) {
                const TRelynPar &device = selected.at(n - 1);
                QCOMPARE(device.IPAddress, Address(n));
                QCOMPARE(device.MACAddress.toUpper(),
                         QString::fromStdString(labtest::deviceMac(n)).toUpper());
                tsv += QStringList{device.IPAddress,  device.MACAddress,  device.Firmware,
                                   device.DeviceType, device.Description, interface}
                           .join(u'\t') +
                       u'\n';
                expectedCsv << QStringList{device.IPAddress,      device.MACAddress,
                                           device.Firmware,       device.DeviceType,
                                           device.Description,    interface,
                                           QStringLiteral("true")}
                                   .join(u',');
            }
            QApplication::clipboard()->clear();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
            QCOMPARE(QApplication::clipboard()->text(), tsv);

            dialogs.SaveAnswer = temp.filePath(QStringLiteral("devices.csv"));
            QTest::mouseClick(devices->BtnExport, Qt::LeftButton);
            QCOMPARE(QString::fromUtf8(ReadFile(dialogs.SaveAnswer)),
                     expectedCsv.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));

            // A second search keeps what was selected.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
            QVERIFY(devices->Searching());
            QTRY_VERIFY_WITH_TIMEOUT(!devices->Searching(), 20000);
            QCOMPARE(devices->SelectedDevices().size(), 3);

            // Upload web to selected: one upload window, all three side by side, each device
            // gets the file and comes back.
            const QString webFile = temp.filePath(QStringLiteral("site_WEB1_01.pmf"));
            const QByteArray webBytes = testsupport::RandomWebFile(3000);
            WriteFile(webFile, webBytes);
            window.EdtWebFile()->setText(webFile);
            choose(1, Qt::Key_W);
            QPointer<TfUpload> uploads = devices->findChild<TfUpload *>();
            QVERIFY(uploads);
            QTRY_COMPARE_WITH_TIMEOUT(uploads->LabSummary()->text(),
                                      QStringLiteral("3 of 3 devices done"), 90000);
            for (int n = 1; n <= 3; ++n)
                QCOMPARE(
                    ReadFile(QString::fromStdString(labtest::tftpDir(n)) + QStringLiteral("/WEB1")),
                    webBytes);
            uploads->close();
            QTRY_VERIFY(!uploads);

            // A second upload to the two devices whose TFTP servers never answer, cancelled: no
            // client is left running.
            QVERIFY(labtest::setTftp(2, labtest::Tftp::Off));
            QVERIFY(labtest::setTftp(3, labtest::Tftp::Off));
            click(1, Qt::NoModifier);
            click(2, Qt::ShiftModifier);
            choose(1, Qt::Key_W);
            uploads = devices->findChild<TfUpload *>();
            QVERIFY(uploads);
            QTRY_COMPARE_WITH_TIMEOUT(labtest::runningChildren("curl"), 2, 20000);
            QTest::mouseClick(uploads->BtnCancel(), Qt::LeftButton);
            QCOMPARE(labtest::runningChildren("curl"), 0);
            QVERIFY(!uploads->Running());
            uploads->close();
            QTRY_VERIFY(!uploads);
            for (int n = 2; n <= 3; ++n)
                QVERIFY(labtest::setTftp(n, labtest::Tftp::On));

            // One device: its address into the main window's field, and into a browser.
            click(1, Qt::NoModifier);
            choose(1, Qt::Key_U);
            QCOMPARE(window.IPEdtAddress()->Text(), Address(2));
            choose(1, Qt::Key_B);
            QTRY_COMPARE(ReadFile(asked), "http://" + Address(2).toUtf8() + "/\n");

            // Change IP: a new address typed into the dialog, Enter, and the outcome's box
            // closed; the list is searched again with the device selected where it went.
            const QString moved = QStringLiteral("192.0.2.14");
            WhenModal<TfRelynIPChangeGUI>(this, [&moved](TfRelynIPChangeGUI *dialog) {
                // A failed step must not leave the dialog open; after Change it stays, looking
                // for the device at its new address, until the box says it answers there.
                const auto leave = qScopeGuard([dialog] {
                    if (dialog->isVisible() && !dialog->WaitingForAnswer())
                        dialog->reject();
                });
                QCOMPARE(dialog->EdtMac->text(), QString::fromStdString(labtest::deviceMac(2)));
                dialog->IPEdtAddress->Field(0)->selectAll();
                for (const QChar c : moved)
                    QTest::keyClick(dialog->focusWidget(), c.toLatin1());
                QCOMPARE(dialog->IPEdtAddress->Text(), moved);
                // Enter in the address presses Change, the dialog's default button.
                QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
            });
            WhenModal<QMessageBox>(this, [&moved](QMessageBox *box) {
                QCOMPARE(box->text(), QStringLiteral("IP address was successfuly changed\nThe "
                                                     "device answers at %1.")
                                          .arg(moved));
                QTest::keyClick(box, Qt::Key_Return);
            });
            choose(1, Qt::Key_I);
            QVERIFY(devices->Searching());
            const auto selectedAddress = [devices] {
                const QList<TRelynPar> selected = devices->SelectedDevices();
                return selected.size() == 1 ? selected[0].IPAddress : QString();
            };
            QTRY_COMPARE_WITH_TIMEOUT(selectedAddress(), moved, 20000);
            QCOMPARE(devices->SelectedDevices()[0].MACAddress,
                     QString::fromStdString(labtest::deviceMac(2)));

            // A change to an address in use fails, and the dialog comes back until cancelled.
            WhenModal<TfRelynIPChangeGUI>(this, [this](TfRelynIPChangeGUI *dialog) {
                QCOMPARE(dialog->EdtMac->text(), QString::fromStdString(labtest::deviceMac(1)));
                dialog->IPEdtAddress->SetText(Address(3));
                WhenModal<QMessageBox>(this, [this](QMessageBox *box) {
                    QCOMPARE(box->text(), QStringLiteral("Selected IP address already exists."));
                    WhenModal<TfRelynIPChangeGUI>(
                        this, [](TfRelynIPChangeGUI *again) { again->reject(); });
                    QTest::keyClick(box, Qt::Key_Return);
                });
                QTest::mouseClick(dialog->BBChange, Qt::LeftButton);
            });
            click(0, Qt::NoModifier);
            choose(0, Qt::Key_I);
            QTRY_VERIFY(!QApplication::activeModalWidget());

            // The journal beside the program kept the road: the change the dialog made, after
            // the two uploads to the device.
            TJournal journal(program + QStringLiteral("journal.sqlite"));
            QVERIFY(journal.Open());
            TJournalFilter second;
            second.Macs = {labtest::Mac(2)};
            QList<TJournalEntry> road;
            for (const TJournalEntry &entry : journal.History(second))
                if (entry.Kind != jeSearch)
                    road << entry;
            QCOMPARE(road.size(), 3);
            QCOMPARE(road[0].IpChange, (TJournalIpChange{labtest::Mac(2), Address(2), moved,
                                                         QStringLiteral("done")}));
            QCOMPARE(road[1].Upload.Outcome, QStringLiteral("interrupted"));
            QCOMPARE(road[2].Upload.Outcome, QStringLiteral("done"));
            QCOMPARE(road[2].Upload.File, webFile);
            // A device switched off is listed greyed as gone after the next search, and no
            // action takes it.
            // The search before it hears every device where it now is (the moved one may miss
            // a search or two while this computer still holds its old neighbour entry).
            for (int attempt = 0; attempt < 5 && devices->ShownDevices().size() < 3; ++attempt) {
                QTest::qWait(500);
                QVERIFY(devices->Search());
                QTRY_VERIFY_WITH_TIMEOUT(!devices->Searching(), 20000);
            }
            QCOMPARE(devices->ShownDevices().size(), 3);
            QVERIFY(devices->Search());
            QTRY_VERIFY_WITH_TIMEOUT(!devices->Searching(), 20000);
            QCOMPARE(devices->ShownDevices().size(), 3);
            // Then the first device moved by quillet-cli, beside the program so that it keeps
            // the same journal, and the third switched off.
            const QString cli = program + QStringLiteral("quillet-cli");
            QVERIFY(QFile::copy(QStringLiteral(QUILLET_PROGRAM_DIR "quillet-cli"), cli));
            const QString elsewhere = QStringLiteral("192.0.2.10");
            const QByteArray changed =
                RunProgram(cli, {QStringLiteral("change-ip"), labtest::Mac(1), elsewhere,
                                 QStringLiteral("--wait"), QStringLiteral("15")});
            QVERIFY2(!changed.startsWith("failed"), changed.constData());
            QVERIFY(labtest::setLink(3, false));
            QVERIFY(devices->Search());
            QTRY_VERIFY_WITH_TIMEOUT(!devices->Searching(), 20000);
            QCOMPARE(rows(), 3);
            QCOMPARE(devices->ShownDevices().size(), 2);
            const QAbstractItemModel *shown = table->model();
            int gone = -1;
            for (int row = 0; row < rows(); ++row)
                if (shown->index(row, TJournalColumns::jcChange).data().toString() ==
                    QStringLiteral("gone"))
                    gone = row;
            QVERIFY(gone >= 0);
            QCOMPARE(journal.Marks(devices->Table().Scope()).size(), 2);
            QCOMPARE(shown->index(gone, rcIPAddress).data().toString(), Address(3));
            QVERIFY(!shown->index(gone, 0).data(TRelynDeviceModel::ReachableRole).toBool());
            // Row by row: the change since the search before, and the last upload.
            QStringList columns;
            for (int row = 0; row < rows(); ++row)
                columns << shown->index(row, rcIPAddress).data().toString() + u' ' +
                               shown->index(row, TJournalColumns::jcChange).data().toString() +
                               QStringLiteral(" | ") +
                               shown->index(row, TJournalColumns::jcLastUpload)
                                   .data()
                                   .toString()
                                   .section(QStringLiteral(", "), 0, 0) +
                               shown->index(row, TJournalColumns::jcLastUpload)
                                   .data()
                                   .toString()
                                   .section(QStringLiteral(" "), 3);
            columns.sort();
            QCOMPARE(
                columns,
                (QStringList{elsewhere + QStringLiteral(" moved from ") + Address(1) +
                                 QStringLiteral(" | site_WEB1_01.pmf"),
                             Address(3) + QStringLiteral(" gone | site_WEB1_01.pmf(interrupted)"),
                             moved + QStringLiteral("  | site_WEB1_01.pmf(interrupted)")}));

            // The History window, of all devices and of the second, newest first.
            const auto firmware = [&selected](int n) {
                return QStringLiteral(" (firmware ") + selected.at(n - 1).Firmware + u')';
            };
            const auto event = [&](const QString &kind, int n, const QString &address,
                                   const QString &what) {
                return QStringList{kind, labtest::Mac(n), address, what}.join(
                    QStringLiteral(" | "));
            };
            const QString upload = QStringLiteral("web site_WEB1_01.pmf: ");
            const QString stopped =
                QStringLiteral("interrupted (Stopped before the upload ended.)");
            QStringList expected{
                event(u"search"_s, 1, elsewhere, u"moved"_s + firmware(1)),
                event(u"ip change"_s, 1, Address(1), u"to "_s + elsewhere + u": done"_s),
                event(u"ip change"_s, 1, Address(1),
                      u"to "_s + Address(3) + u": Selected IP address already exists."_s),
                event(u"search"_s, 2, moved, u"moved"_s + firmware(2)),
                event(u"ip change"_s, 2, Address(2), u"to "_s + moved + u": done"_s)};
            // Events of one moment (the cancel, the three uploads side by side, the first
            // search) in any order among themselves.
            QList<QStringList> together{
                {event(u"upload"_s, 2, Address(2), upload + stopped),
                 event(u"upload"_s, 3, Address(3), upload + stopped)},
                {event(u"upload"_s, 1, Address(1), upload + u"done, not verified"_s),
                 event(u"upload"_s, 2, Address(2), upload + u"done, not verified"_s),
                 event(u"upload"_s, 3, Address(3), upload + u"done, not verified"_s)},
                {event(u"search"_s, 1, Address(1), u"first seen"_s + firmware(1)),
                 event(u"search"_s, 2, Address(2), u"first seen"_s + firmware(2)),
                 event(u"search"_s, 3, Address(3), u"first seen"_s + firmware(3))}};
            for (const QStringList &group : together)
                expected += group;
            const auto listed = [&](TfJournalHistory &history, bool groups) {
                const QAbstractItemModel *lines = history.TvHistory->model();
                QStringList texts;
                QString before = QStringLiteral("9999");
                for (int row = 0; row < lines->rowCount(); ++row) {
                    const QString at = lines->index(row, 0).data().toString();
                    if (at > before)
                        return QStringList{QStringLiteral("not newest first at ") + at};
                    before = at;
                    texts << QStringList{lines->index(row, 1).data().toString(),
                                         lines->index(row, 2).data().toString(),
                                         lines->index(row, 4).data().toString(),
                                         lines->index(row, 5).data().toString()}
                                 .join(QStringLiteral(" | "));
                }
                // Each group of the whole list sorted where it stands.
                if (groups)
                    for (qsizetype at = texts.size(), n = together.size(); n-- > 0;) {
                        at -= together[n].size();
                        if (at < 0)
                            break;
                        std::sort(texts.begin() + at, texts.begin() + at + together[n].size());
                    }
                return texts;
            };
            for (QStringList &group : together)
                std::sort(group.begin(), group.end());
            expected = expected.mid(0, 5);
            for (const QStringList &group : together)
                expected += group;
            table->clearSelection();
            std::unique_ptr<TfJournalHistory> history(devices->OpenHistory());
            QVERIFY(history);
            const QStringList all = listed(*history, true);
            QVERIFY2(all == expected, qPrintable(all.join(u'\n')));
            QStringList ofSecond;
            for (const QString &line : expected)
                if (line.contains(labtest::Mac(2)))
                    ofSecond << line;
            for (int row = 0; row < rows(); ++row)
                if (shown->index(row, rcIPAddress).data().toString() == moved)
                    table->selectRow(row);
            history.reset(devices->OpenHistory());
            const QStringList ofOne = listed(*history, false);
            QVERIFY2(ofOne == ofSecond, qPrintable(ofOne.join(u'\n')));

            // quillet-cli reads the same journal: the same events in the same order, the
            // uploads with the web check's word.
            history.reset();
            table->clearSelection();
            history.reset(devices->OpenHistory());
            const QByteArray json =
                RunProgram(cli, {QStringLiteral("history"), QStringLiteral("--json")});
            const QJsonArray printed = QJsonDocument::fromJson(json).array();
            QCOMPARE(printed.size(), history->Entries().size());
            for (qsizetype n = 0; n < printed.size(); ++n) {
                const QJsonObject row = printed[n].toObject();
                const TJournalEntry &entry = history->Entries()[n];
                QCOMPARE(row.value(u"event"_s).toString(), JournalKindText(entry.Kind));
                QCOMPARE(row.value(u"mac"_s).toString(), entry.Mac());
                QCOMPARE(row.value(u"address"_s).toString(), entry.Address());
                if (entry.Kind == jeUpload)
                    QCOMPARE(row.value(u"verification"_s).toString(),
                             entry.Upload.Outcome == u"done"_s ? u"not verified"_s : QString());
            }
            history.reset();
            const QString csv = QString::fromUtf8(
                RunProgram(cli, {QStringLiteral("history"), QStringLiteral("--csv")}));
            QCOMPARE(csv.count(QStringLiteral(",not verified")), 3);
            QVERIFY(labtest::restartDevice(3));
            QVERIFY(labtest::restartDevice(2));

            table->horizontalHeader()->resizeSection(rcDescription, 321);
        }
        const QString ini = QString::fromUtf8(ReadFile(program + QStringLiteral("qlt.ini")));
        QVERIFY2(QRegularExpression(QStringLiteral("Columns=\\d+,\\d+,\\d+,\\d+,321,\\d+"))
                     .match(ini)
                     .hasMatch(),
                 qPrintable(ini));
        QVERIFY2(dialogs.Messages.isEmpty(), qPrintable(dialogs.Messages.join(u'\n')));
    }

    void createSearchSelectUpload() {
        if (!labtest::inLab())
            QSKIP(labtest::notInLab);
        QTemporaryDir temp;
        QVERIFY(temp.isValid());

        // A program folder of its own, so that the web file tree stays out of the build.
        const QString program = temp.filePath(QStringLiteral("program/"));
        QVERIFY(QDir().mkpath(program));
        const QString built = QStringLiteral(QUILLET_PROGRAM_DIR);
        // The packer is looked for beside the running program (the tests folder here), then in
        // the search path.
        qputenv("PATH", QFile::encodeName(built) + ":" + qgetenv("PATH"));
        QVERIFY(QFile::copy(built + QStringLiteral("mimetype.ini"),
                            program + QStringLiteral("mimetype.ini")));
        const QString site = temp.filePath(QStringLiteral("logger"));
        WriteFile(site + QStringLiteral("/index.htm"), "<html><body>Logger</body></html>");
        WriteFile(site + QStringLiteral("/img/logo.png"), QByteArray(700, '\x89'));

        // Replies arrive in falling address order; the table lists them rising.
        const int devices = labtest::deviceCount();
        QCOMPARE(devices, 3);
        for (int n = 1; n <= devices; ++n)
            QVERIFY(labtest::restartDevice(
                n, {"--discovery-delay-ms", std::to_string((devices - n) * 40)}));

        TQuietDialogs dialogs;
        TStartupInputs inputs;
        inputs.ProgramFolder = program;
        inputs.CommonDataRoot = temp.filePath(QStringLiteral("common"));
        inputs.LocalDataRoot = temp.filePath(QStringLiteral("local"));
        inputs.DocumentsRoot = temp.filePath(QStringLiteral("documents"));
        TfQuillet window(inputs, dialogs);
        window.show();
        const auto info = [&] {
            return window.Info()->toPlainText();
        };

        window.SetDirInName(site);
        QTest::mouseClick(window.BtnCreate(), Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(info().contains(QStringLiteral("Web file created successful.")),
                                  qPrintable(info()), 30000);
        const QString webFile = window.EdtWebFile()->text();
        QVERIFY2(QFile::exists(webFile), qPrintable(info()));

        QStringList listed;
        QTimer::singleShot(0, this, [&] {
            auto *search = qobject_cast<TfRelynSearchGUI *>(QApplication::activeModalWidget());
            QVERIFY(search);
            QTRY_VERIFY_WITH_TIMEOUT(!search->Searching(), 20000);
            const QAbstractItemModel *rows = search->LvDeviceList->model();
            for (int row = 0; row < rows->rowCount(); ++row)
                listed << rows->index(row, 0).data().toString();
            search->LvDeviceList->selectRow(1);
            QTest::mouseClick(search->BBSelect, Qt::LeftButton);
        });
        QTest::mouseClick(window.BtnFindDevice(), Qt::LeftButton);
        const QString chosen = QString::fromStdString(labtest::deviceAddress(2));
        QCOMPARE(listed, QStringList({QString::fromStdString(labtest::deviceAddress(1)), chosen,
                                      QString::fromStdString(labtest::deviceAddress(3))}));
        QCOMPARE(window.IPEdtAddress()->Text(), chosen);

        QTest::mouseClick(window.BtnUploadWeb(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(info().contains(QStringLiteral("Web upload successful.")) ||
                                     info().contains(QStringLiteral("Web upload failed.")),
                                 120000);
        // The device is checked over HTTP once it is back.
        QTRY_VERIFY_WITH_TIMEOUT(window.BtnUploadWeb()->isEnabled(), 30000);
        QVERIFY2(info().trimmed().endsWith(
                     QStringLiteral("Web upload successful.\nThe device serves the new web file: "
                                    "1 of 1 pages identical.")),
                 qPrintable(info()));
        QCOMPARE(ReadFile(QString::fromStdString(labtest::tftpDir(2)) + QStringLiteral("/WEB1")),
                 ReadFile(webFile));
        QVERIFY(!labtest::logLines(2, "link down").empty());
        QVERIFY(labtest::logLines(1, "upload").empty());
        QVERIFY(labtest::logLines(3, "upload").empty());
        QVERIFY2(dialogs.Messages.isEmpty(), qPrintable(dialogs.Messages.join(u'\n')));
    }
};

QTEST_MAIN(WholeRoad)
#include "wholeroad_labtest.moc"
