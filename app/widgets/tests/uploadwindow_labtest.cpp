// The upload window in the test LAN, driven with clicks on the shown window: a web file to
// three simulated devices, then Cancel during a second upload. With QUILLET_SCREENSHOT_DIR
// set, the window at the end of the first upload is saved there.
#include "app/widgets/dialogs.h"
#include "app/widgets/uploadwindow.h"
#include "app/workflows/uploadmodel.h"
#include "tools/testsupport/files.h"
#include "tools/testsupport/lab.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
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
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Address\tOutcome\tReason\n") +
                                                        Address(1) + QStringLiteral("\tdone\t\n") +
                                                        Address(2) + QStringLiteral("\tdone\t\n") +
                                                        Address(3) + QStringLiteral("\tdone\t\n"));
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
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(Cell(*window, row, TUploadModel::ucOutcome), QStringLiteral("interrupted"));
            QCOMPARE(Cell(*window, row, TUploadModel::ucReason),
                     QStringLiteral("Stopped before the upload ended."));
        }
        QCOMPARE(window->LabSummary()->text(), QStringLiteral("0 of 3 devices done"));
        delete window;
        for (int n = 2; n <= 3; ++n)
            QVERIFY(labtest::setTftp(n, labtest::Tftp::On));
    }
};

QTEST_MAIN(TUploadWindowLabTest)
#include "uploadwindow_labtest.moc"
