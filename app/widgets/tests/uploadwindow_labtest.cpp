// The upload window in the test LAN, driven with clicks on the shown window: a web file to
// three simulated devices, then Cancel during a second upload, then one cut part-way; then what
// five devices serve after an upload, Retry failed, and Cancel while a check runs. With
// QUILLET_SCREENSHOT_DIR set, the window at the end of the first upload is saved there.
#include "app/widgets/dialogs.h"
#include "app/widgets/uploadwindow.h"
#include "app/workflows/uploadmodel.h"
#include "packer/webfile.h"
#include "tools/testsupport/files.h"
#include "tools/testsupport/lab.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {
class TAnsweringDialogs : public TDialogs {
public:
    QString ChooseFolder(QWidget *, const QString &) override { return {}; }
    QString OpenFile(QWidget *, const QString &, const QString &) override { return {}; }
    void Message(QWidget *, TMessageKind, const QString &, const QString &text) override {
        Questions << text;
    }
    bool Confirm(QWidget *, const QString &, const QString &text) override {
        Questions << text;
        return Answer;
    }
    QStringList Questions;
    bool Answer = true;
};

using labtest::Address;
using testsupport::ReadFile;

// The TFTP clients this process still has running.
int RunningClients() {
    return labtest::runningChildren("curl");
}

QString Cell(const TfUpload &window, int row, int column) {
    return window.Model().index(row, column).data().toString();
}

} // namespace

class TUploadWindowLabTest : public QObject {
    Q_OBJECT
private slots:
    void uploadsToThreeDevicesThenCancels() {
        if (!labtest::inLab())
            QSKIP(labtest::notInLab);
        for (int n = 1; n <= 3; ++n)
            QVERIFY(labtest::restartDevice(n, {"--restart-ms", "1500"}));
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString file = temp.filePath(QStringLiteral("Station7_WEB1_01.pmf"));
        QFile web(file);
        QVERIFY(web.open(QIODevice::WriteOnly));
        web.write(testsupport::RandomWebFile(200000));
        web.close();

        TAnsweringDialogs dialogs;
        // Firmware to devices of two models is named and, declined, never sent.
        TUploadRequest firmware;
        firmware.Targets = {{Address(1), {}, QStringLiteral("4"), QStringLiteral("T3510"), true},
                            {Address(2), {}, QStringLiteral("4"), QStringLiteral("T3510"), true},
                            {Address(3), {}, QStringLiteral("4"), QStringLiteral("T7510"), true}};
        firmware.File = file;
        firmware.Kind = TFleetUpload::fkFirmware;
        dialogs.Answer = false;
        QCOMPARE(TfUpload::Open(firmware, dialogs), nullptr);
        QCOMPARE(dialogs.Questions.size(), 1);
        QVERIFY(dialogs.Questions[0].contains(
            QStringLiteral("differ in family or model from the others:\n") + Address(3) +
            QStringLiteral(" (4, T7510)")));
        QVERIFY(!dialogs.Questions[0].contains(Address(1)));

        // A device without a route is named before anything goes out.
        dialogs.Answer = true;
        TUploadRequest request;
        request.Targets = {{Address(1), {}, {}, {}, true},
                           {Address(2), {}, {}, {}, true},
                           {Address(3), {}, {}, {}, false}};
        request.File = file;
        QPointer<TfUpload> window = TfUpload::Open(request, dialogs);
        QVERIFY(window);
        QCOMPARE(dialogs.Questions.size(), 2);
        QVERIFY(dialogs.Questions[1].contains(QStringLiteral("no route to:\n") + Address(3)));
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(window->BtnCancel()->isEnabled());
        QCOMPARE(window->Model().rowCount(), 3);
        // The restart wait shows in the rows while it runs.
        QTRY_VERIFY_WITH_TIMEOUT(Cell(*window, 0, TUploadModel::ucOutcome) ==
                                         QStringLiteral("restarting") &&
                                     Cell(*window, 0, TUploadModel::ucProgress)
                                         .startsWith(QStringLiteral("Device restart: at most")),
                                 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!window->Running(), 60000);
        QCOMPARE(window->LabSummary()->text(), QStringLiteral("3 of 3 devices done"));
        QVERIFY(!window->BtnCancel()->isEnabled());
        for (int n = 1; n <= 3; ++n) {
            QCOMPARE(Cell(*window, n - 1, TUploadModel::ucOutcome), QStringLiteral("done"));
            QCOMPARE(window->Model()
                         .index(n - 1, TUploadModel::ucProgress)
                         .data(TUploadModel::ProgressRole)
                         .toInt(),
                     100);
            QCOMPARE(
                ReadFile(QString::fromStdString(labtest::tftpDir(n)) + QStringLiteral("/WEB1")),
                ReadFile(file));
        }
        QTest::mouseClick(window->BtnCopy(), Qt::LeftButton);
        // Entries without a reply head give nothing to compare, which fails nobody.
        const QStringList copied = QApplication::clipboard()->text().split(u'\n');
        QCOMPARE(copied.size(), 5);
        QCOMPARE(copied[0], QStringLiteral("Address\tOutcome\tVerified\tReason"));
        for (int n = 1; n <= 3; ++n)
            QVERIFY2(copied[n] == Address(n) + QStringLiteral("\tdone\tnot verified\tThe web file "
                                                              "holds no page that can be checked "
                                                              "over HTTP."),
                     qPrintable(copied[n]));
        QVERIFY(!window->BtnRetry()->isEnabled());
        const QByteArray screenshots = qgetenv("QUILLET_SCREENSHOT_DIR");
        if (!screenshots.isEmpty())
            QVERIFY(window->grab().save(QString::fromLocal8Bit(screenshots) +
                                        QStringLiteral("/upload-window-done.png")));
        // Nothing runs any more: Close closes without a question.
        QTest::mouseClick(window->BtnClose(), Qt::LeftButton);
        QTRY_VERIFY(!window);
        QCOMPARE(dialogs.Questions.size(), 2);

        // Second upload: two devices whose TFTP server does not answer keep their clients
        // waiting, while the first restarts.
        for (int n = 1; n <= 3; ++n)
            QVERIFY(labtest::restartDevice(n, {"--restart-ms", "1500"}));
        QVERIFY(labtest::setTftp(2, labtest::Tftp::Off));
        QVERIFY(labtest::setTftp(3, labtest::Tftp::Off));
        request.Targets[2].Reachable = true;
        window = TfUpload::Open(request, dialogs);
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTRY_VERIFY_WITH_TIMEOUT(
            Cell(*window, 0, TUploadModel::ucOutcome) == QStringLiteral("restarting"), 20000);
        QCOMPARE(RunningClients(), 2);
        // Closing while uploads run asks first; No keeps everything going.
        dialogs.Answer = false;
        window->close();
        QVERIFY(window && window->isVisible() && window->Running());
        QCOMPARE(dialogs.Questions.last(),
                 QStringLiteral("Uploads are still running. Stop them and close?"));

        QTest::mouseClick(window->BtnCancel(), Qt::LeftButton);
        QVERIFY(!window->Running());
        QCOMPARE(RunningClients(), 0);
        // The first device has its file: only the wait for its restart was given up.
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(Cell(*window, row, TUploadModel::ucOutcome), QStringLiteral("interrupted"));
            QCOMPARE(Cell(*window, row, TUploadModel::ucReason),
                     row == 0 ? QStringLiteral("File sent; stopped waiting for the restart.")
                              : QStringLiteral("Stopped before the upload ended."));
        }
        QCOMPARE(window->LabSummary()->text(), QStringLiteral("0 of 3 devices done"));
        delete window;
        for (int n = 2; n <= 3; ++n)
            QVERIFY(labtest::setTftp(n, labtest::Tftp::On));

        // Third upload, over a slow link that goes down part-way: the row says how far it got.
        QVERIFY(labtest::restartDevice(1, {"--restart-ms", "600000"}));
        QVERIFY(labtest::setLinkRate(1, 8));
        request.Targets = {{Address(1), {}, {}, {}, true}};
        request.Settings.WebLimitMs = 1000;
        window = TfUpload::Open(request, dialogs);
        QVERIFY(window);
        static const QRegularExpression sending(QStringLiteral("^Sending: (\\d+) %$"));
        QTRY_VERIFY2_WITH_TIMEOUT(
            sending.match(Cell(*window, 0, TUploadModel::ucProgress)).captured(1).toInt() >= 20,
            qPrintable(Cell(*window, 0, TUploadModel::ucProgress) + u'|' +
                       Cell(*window, 0, TUploadModel::ucOutcome) + u'|' +
                       Cell(*window, 0, TUploadModel::ucReason)),
            20000);
        QVERIFY(labtest::setLink(1, false));
        QTRY_VERIFY_WITH_TIMEOUT(!window->Running(), 5000);
        QCOMPARE(Cell(*window, 0, TUploadModel::ucOutcome), QStringLiteral("upload time-out"));
        const QString reason = Cell(*window, 0, TUploadModel::ucReason);
        QVERIFY2(QRegularExpression(QStringLiteral("^The transfer stopped at [2-9][0-9] %: the "
                                                   "device acknowledged nothing for 1 s\\.$"))
                     .match(reason)
                     .hasMatch(),
                 qPrintable(reason));
        delete window;
        QVERIFY(labtest::setLinkRate(1, 0));
        QVERIFY(labtest::restartDevice(1));
    }

    // Five devices: one serves the new web file, one the file it held before, one lacks an
    // entry, one serves no HTTP, one is off. Retry failed takes the two that differ and the
    // one that is off; Cancel in that second window stops a check and a transfer alike.
    void checksWhatEachDeviceServes() {
        if (!labtest::inLab())
            QSKIP(labtest::notInLab);
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const std::string logo = webfile::replyHead("image/gif") + std::string("GIF89a\0\x01", 8);
        const QString file = testsupport::WriteWebFile(
            temp, "Station7_WEB1_02.pmf",
            {{"index.htm", webfile::replyHead("text/html") + "<html>version 2</html>"},
             {"logo.gif", logo}});
        const QString old = testsupport::WriteWebFile(
            temp, "Station7_WEB1_01.pmf",
            {{"index.htm", webfile::replyHead("text/html") + "<html>version 1</html>"},
             {"logo.gif", logo}});
        const std::vector<std::string> fast{"--restart-ms", "300", "--restart-after-ms", "100"};
        const auto with = [&fast](std::vector<std::string> options) {
            options.insert(options.begin(), fast.begin(), fast.end());
            return options;
        };
        const std::vector<std::string> previous{"--web-file", old.toStdString(), "--http-previous"};
        QVERIFY(labtest::restartDevice(1, fast));
        QVERIFY(labtest::restartDevice(2, with(previous)));
        QVERIFY(labtest::restartDevice(3, with({"--http-drop", "logo.gif"})));
        QVERIFY(labtest::restartDevice(4, with({"--no-http"})));
        QVERIFY(labtest::restartDevice(5, fast));
        QVERIFY(labtest::setLink(5, false));

        TAnsweringDialogs dialogs;
        TUploadRequest request;
        for (int n = 1; n <= 5; ++n)
            request.Targets.append({Address(n), {}, {}, {}, true});
        request.File = file;
        request.Settings.RestartPauseMs = 1000;
        // As the program runs it: the restart waits share one echo socket; and two transfers
        // at a time, so that the others wait their turn.
        request.Settings.ShareEcho = true;
        request.Parallel = 2;
        QPointer<TfUpload> window = TfUpload::Open(request, dialogs);
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTRY_VERIFY_WITH_TIMEOUT(!window->Running(), 90000);
        QCOMPARE(window->LabSummary()->text(),
                 QStringLiteral("4 of 5 devices done, 1 verified, 2 differ"));
        const QStringList verified{QStringLiteral("verified"), QStringLiteral("differs"),
                                   QStringLiteral("differs"), QStringLiteral("not verified"),
                                   QString()};
        const QStringList reasons{
            QString(),
            QStringLiteral("The device does not serve the new web file: index.htm differs."),
            QStringLiteral("The device does not serve the new web file: logo.gif is missing."),
            QStringLiteral("The device serves no web pages over HTTP: the new web file could not "
                           "be checked."),
            QStringLiteral("The device did not answer at %1: is it switched on and at this "
                           "address?")
                .arg(Address(5))};
        for (int row = 0; row < 5; ++row) {
            QCOMPARE(Cell(*window, row, TUploadModel::ucOutcome),
                     row == 4 ? QStringLiteral("no answer") : QStringLiteral("done"));
            QCOMPARE(Cell(*window, row, TUploadModel::ucVerified), verified[row]);
            QCOMPARE(Cell(*window, row, TUploadModel::ucReason), reasons[row]);
        }
        QCOMPARE(window->Model().headerData(TUploadModel::ucVerified, Qt::Horizontal).toString(),
                 QStringLiteral("Verified"));
        QTest::mouseClick(window->BtnCopy(), Qt::LeftButton);
        QVERIFY(QApplication::clipboard()->text().contains(
            Address(3) + QStringLiteral("\tdone\tdiffers\tThe device does not serve the new web "
                                        "file: logo.gif is missing.\n")));

        // The second try: the device that held the old file now answers one byte at a time, so
        // its check is still going when Cancel comes, as is the transfer to the device that is
        // off.
        QVERIFY(labtest::restartDevice(2, with({"--web-file", old.toStdString(), "--http-previous",
                                                "--http-slow-ms", "200"})));
        QVERIFY(window->BtnRetry()->isEnabled());
        QPointer<TfUpload> retry = window->BtnRetryClick();
        QVERIFY(retry);
        QCOMPARE(retry->Model().rowCount(), 3);
        for (const auto &[row, device] : {std::pair{0, 2}, {1, 3}, {2, 5}})
            QCOMPARE(Cell(*retry, row, TUploadModel::ucAddress), Address(device));
        QTRY_VERIFY_WITH_TIMEOUT(
            Cell(*retry, 0, TUploadModel::ucOutcome) == QStringLiteral("checking"), 30000);
        QCOMPARE(Cell(*retry, 0, TUploadModel::ucProgress),
                 QStringLiteral("Checking the web file: page 1 of 2"));
        QVERIFY(retry->Running());
        QTest::mouseClick(retry->BtnCancel(), Qt::LeftButton);
        QVERIFY(!retry->Running());
        QCOMPARE(RunningClients(), 0);
        QCOMPARE(Cell(*retry, 0, TUploadModel::ucOutcome), QStringLiteral("done"));
        QCOMPARE(Cell(*retry, 0, TUploadModel::ucVerified), QStringLiteral("cancelled"));
        QCOMPARE(Cell(*retry, 0, TUploadModel::ucReason),
                 QStringLiteral("The check of the new web file was cancelled."));
        QCOMPARE(Cell(*retry, 2, TUploadModel::ucOutcome), QStringLiteral("interrupted"));
        // The device whose check was cut short asked for one page and gets no second request.
        QTest::qWait(1500);
        QVERIFY(labtest::logLines(2, "GET /logo.gif").empty());
        delete retry;
        delete window;
        for (int n = 2; n <= 5; ++n)
            QVERIFY(labtest::restartDevice(n));
    }
};

QTEST_MAIN(TUploadWindowLabTest)
#include "uploadwindow_labtest.moc"
