// The technician's whole road in the real main window inside the test LAN: Create packs a
// sample site, Search finds the simulated devices sorted by address, Select puts the chosen
// address into the address field, and Upload web sends the file to that device, which restarts
// and answers again.
#include "deviceswindow.h"
#include "dialogs.h"
#include "ipedit.h"
#include "lab.h"
#include "quillet.h"
#include "relynsearchgui.h"
#include "uploadwindow.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

class QuietDialogs : public TDialogs {
public:
    QStringList Messages;
    QString ChooseFolder(QWidget *, const QString &) override { return {}; }
    QString OpenFile(QWidget *, const QString &, const QString &) override { return {}; }
    QString SaveAnswer;
    QString SaveFile(QWidget *, const QString &, const QString &) override { return SaveAnswer; }
    void Message(QWidget *, TMessageKind, const QString &, const QString &text) override {
        Messages << text;
    }
};

void WriteFile(const QString &path, const QByteArray &content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray ReadFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class WholeRoad : public QObject {
    Q_OBJECT

private slots:
    // Ctrl+D opens the Devices window, which finds the three devices by itself; three rows
    // picked with the mouse are copied with Ctrl+C, the list is exported, F5 keeps the
    // selection, and the window's size and columns reach the settings file.
    void devicesWindowSearchCopyExport() {
        if (!labtest::inLab())
            QSKIP(labtest::notInLab);
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString program = temp.filePath(QStringLiteral("program/"));
        QVERIFY(QDir().mkpath(program));
        QuietDialogs dialogs;
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

            // The table lists the devices by address; a click and a Shift+click take all three.
            QTableView *table = devices->TvDevices;
            QVERIFY(QTest::qWaitForWindowExposed(devices));
            const auto click = [table](int row, Qt::KeyboardModifiers modifiers) {
                const QRect cell = table->visualRect(table->model()->index(row, 0));
                QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, cell.center());
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
                QCOMPARE(device.IPAddress, QString::fromStdString(labtest::deviceAddress(n)));
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
            WriteFile(webFile, QByteArray("PmF1 three devices"));
            window.EdtWebFile()->setText(webFile);
            std::unique_ptr<QMenu> menu(devices->MakeContextMenu());
            QAction *upload = nullptr;
            for (QAction *action : menu->actions())
                if (action->text() == QStringLiteral("Upload &web to selected"))
                    upload = action;
            QVERIFY(upload);
            upload->trigger();
            TfUpload *uploads = devices->findChild<TfUpload *>();
            QVERIFY(uploads);
            QTRY_COMPARE_WITH_TIMEOUT(uploads->LabSummary()->text(),
                                      QStringLiteral("3 of 3 devices done"), 90000);
            for (int n = 1; n <= 3; ++n)
                QCOMPARE(labtest::readFile(labtest::tftpDir(n) + "/WEB1"), "PmF1 three devices");
            uploads->close();

            table->horizontalHeader()->resizeSection(TRelynDeviceModel::dcDescription, 321);
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

        QuietDialogs dialogs;
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
            for (int row = 0; row < search->LvDeviceList->rowCount(); ++row)
                listed << search->LvDeviceList->item(row, 0)->text();
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
        QVERIFY2(info().trimmed().endsWith(QStringLiteral("Web upload successful.")),
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
