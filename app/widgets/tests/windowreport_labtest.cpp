// The real main window in the test LAN: Create, then Upload web (checked over HTTP, then once
// more with the check cancelled) and Upload FW to a simulated device. With QUILLET_SCREENSHOT set,
// the window after the web upload is saved there.
#include "app/widgets/quillet.h"
#include "app/widgets/tests/quietdialogs.h"
#include "ipassign/ipedit.h"
#include "tools/testsupport/files.h"
#include "tools/testsupport/lab.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
using testsupport::ReadFile;
} // namespace

class TWindowLabTest : public QObject {
    Q_OBJECT
private slots:
    void createThenUploadToADevice() {
        if (!labtest::inLab())
            QSKIP(labtest::notInLab);
        QVERIFY(labtest::restartDevice(1, {"--restart-ms", "2000"}));
        qputenv("PATH", QByteArray(QUILLET_PROGRAM_DIR) + ':' + qgetenv("PATH"));
        const QString previousFolder = QDir::currentPath();

        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString program = temp.filePath(QStringLiteral("program/"));
        QVERIFY(QDir().mkpath(program + QStringLiteral("Station7")));
        QVERIFY(QFile::copy(QStringLiteral(QUILLET_SOURCE_DIR "data/mimetype.ini"),
                            program + QStringLiteral("mimetype.ini")));
        QFile page(program + QStringLiteral("Station7/index.htm"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html><body>Station 7</body></html>");
        page.close();

        TStartupInputs inputs;
        inputs.ProgramFolder = program;
        inputs.Arguments = {QStringLiteral("-brimo")};
        inputs.LocalDataRoot = temp.filePath(QStringLiteral("local"));
        inputs.DocumentsRoot = temp.filePath(QStringLiteral("documents"));
        TQuietDialogs dialogs;
        TfQuillet window(inputs, dialogs);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        window.EdtFrom()->setText(program + QStringLiteral("Station7"));
        window.SetDirInName(program + QStringLiteral("Station7"));
        QTest::mouseClick(window.BtnCreate(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(window.BtnCreate()->isEnabled(), 20000);
        const QString webFile = window.EdtWebFile()->text();
        QCOMPARE(webFile, program + QStringLiteral("pmf/Station7/_B/Station7_B_WEB1_01.pmf"));

        window.IPEdtAddress()->SetText(QString::fromStdString(labtest::deviceAddress(1)));
        QTest::mouseClick(window.BtnUploadWeb(), Qt::LeftButton);
        QVERIFY(!window.BtnUploadWeb()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(window.BtnUploadWeb()->isEnabled(), 120000);
        const QStringList lines = window.Info()->toPlainText().split(QLatin1Char('\n'));
        // The device is back and serves what it was sent: the check's line follows at once.
        QCOMPARE(lines.mid(lines.size() - 4),
                 (QStringList{QStringLiteral("Device restart done."),
                              QStringLiteral("Web upload successful."),
                              QStringLiteral("The device serves the new web file: 1 of 1 pages "
                                             "identical."),
                              QString()}));
        QCOMPARE(ReadFile(QString::fromStdString(labtest::tftpDir(1)) + QStringLiteral("/WEB1")),
                 ReadFile(webFile));
        const QByteArray screenshot = qgetenv("QUILLET_SCREENSHOT");
        if (!screenshot.isEmpty())
            QVERIFY(window.grab().save(QString::fromLocal8Bit(screenshot)));

        // Esc while a slow web server is being checked stops the check, and nothing stays busy.
        QVERIFY(labtest::restartDevice(1, {"--restart-ms", "2000", "--http-slow-ms", "200"}));
        QTest::mouseClick(window.BtnUploadWeb(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(window.Info()->toPlainText().endsWith(
                                     QStringLiteral("\nChecking the web file: page 1 of 1")),
                                 120000);
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.BtnUploadWeb()->isEnabled());
        QVERIFY(window.Info()->toPlainText().endsWith(
            QStringLiteral("Web upload successful.\nThe check of the new web file was "
                           "cancelled.\n\nCancelled.")));

        window.EdtFWFile()->setText(webFile);
        QTest::mouseClick(window.BtnUploadFW(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(window.BtnUploadFW()->isEnabled(), 60000);
        QCOMPARE(window.Info()->toPlainText().split(QLatin1Char('\n')).last(),
                 QStringLiteral("Firmware upload successful."));
        QCOMPARE(ReadFile(QString::fromStdString(labtest::tftpDir(1)) + QStringLiteral("/X5")),
                 ReadFile(webFile));
        QVERIFY(dialogs.Messages.isEmpty());

        // A slow transfer that stalls part-way (the device goes away) is cut within the limit,
        // and Info says how far it got, without "Process done." or a restart wait.
        QVERIFY(labtest::restartDevice(1, {"--restart-ms", "600000"}));
        QVERIFY(labtest::setLinkRate(1, 8));
        TUploadSettings settings = window.UploadSettings();
        settings.WebLimitMs = 1000;
        window.SetUploadSettings(settings);
        const QString big = temp.filePath(QStringLiteral("Big_WEB1_01.pmf"));
        QFile bigFile(big);
        QVERIFY(bigFile.open(QIODevice::WriteOnly));
        bigFile.write(testsupport::RandomWebFile(70000));
        bigFile.close();
        window.EdtWebFile()->setText(big);
        QTest::mouseClick(window.BtnUploadWeb(), Qt::LeftButton);
        static const QRegularExpression sending(QStringLiteral("Sending: (\\d+) %$"));
        QTRY_VERIFY_WITH_TIMEOUT(
            sending.match(window.Info()->toPlainText()).captured(1).toInt() >= 20, 20000);
        QVERIFY(labtest::setLink(1, false));
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(window.BtnUploadWeb()->isEnabled(), 10000);
        QVERIFY(clock.elapsed() < 3000);
        const QStringList cut = window.Info()->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(cut.size(), 5);
        const QRegularExpressionMatch failedAt =
            QRegularExpression(QStringLiteral("^Upload failed at (\\d+) %\\.$")).match(cut[1]);
        QVERIFY2(failedAt.hasMatch(), qPrintable(cut.join(QLatin1Char('|'))));
        QVERIFY(failedAt.captured(1).toInt() >= 20 && failedAt.captured(1).toInt() < 100);
        QCOMPARE(cut.mid(2), (QStringList{QStringLiteral("The transfer stopped at %1 %: the device "
                                                         "acknowledged nothing for 1 s.")
                                              .arg(failedAt.captured(1)),
                                          QStringLiteral("Web upload failed."), QString()}));
        QVERIFY(labtest::setLinkRate(1, 0));
        QVERIFY(labtest::restartDevice(1, {"--restart-ms", "600000"}));
        settings.WebLimitMs = 30000;
        window.SetUploadSettings(settings);

        // A page set as the web file is refused before anything goes out.
        const QByteArray before =
            ReadFile(QString::fromStdString(labtest::tftpDir(1)) + QStringLiteral("/WEB1"));
        window.EdtWebFile()->setText(program + QStringLiteral("Station7/index.htm"));
        QTest::mouseClick(window.BtnUploadWeb(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(window.BtnUploadWeb()->isEnabled(), 10000);
        const QString refused = window.Info()->toPlainText();
        QVERIFY2(refused.contains(QStringLiteral("index.htm is not a web file: ")),
                 qPrintable(refused));
        QVERIFY2(refused.contains(QStringLiteral("Web upload failed.")), qPrintable(refused));
        QVERIFY(!refused.contains(QStringLiteral("Process done.")));
        QCOMPARE(ReadFile(QString::fromStdString(labtest::tftpDir(1)) + QStringLiteral("/WEB1")),
                 before);

        // Exit during the restart wait asks; No keeps the upload going, Yes stops it and quits,
        // and no client is left behind.
        window.EdtWebFile()->setText(webFile);
        QTest::mouseClick(window.BtnUploadWeb(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(
            window.Info()->toPlainText().contains(QStringLiteral("Device restart: at most")),
            60000);
        QAction *exit = window.findChild<QAction *>(QStringLiteral("MMExit"));
        QVERIFY(exit);
        dialogs.Answers = {false};
        exit->trigger();
        QCOMPARE(dialogs.Questions, QStringList{QStringLiteral("A create or upload is still "
                                                               "running. Stop it and quit?")});
        QVERIFY(window.isVisible());
        QVERIFY(!window.BtnUploadWeb()->isEnabled());
        dialogs.Answers = {true};
        exit->trigger();
        QVERIFY(!window.isVisible());
        QCOMPARE(window.Info()->toPlainText().split(QLatin1Char('\n')).last(),
                 QStringLiteral("Cancelled."));
        // Children that still run: one stopped and not yet reaped (a zombie) runs no more.
        const auto children = [] {
            QProcess pgrep;
            pgrep.start(QStringLiteral("pgrep"),
                        {QStringLiteral("-a"), QStringLiteral("-r"), QStringLiteral("R,S,D,T"),
                         QStringLiteral("-P"),
                         QString::number(QCoreApplication::applicationPid())});
            pgrep.waitForFinished(5000);
            return pgrep.readAllStandardOutput();
        };
        QTRY_COMPARE_WITH_TIMEOUT(children(), QByteArray(), 5000);
        QVERIFY(labtest::restartDevice(1));
        QDir::setCurrent(previousFolder);
    }
};

QTEST_MAIN(TWindowLabTest)
#include "windowreport_labtest.moc"
