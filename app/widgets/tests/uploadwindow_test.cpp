// The upload window with every stage at once: a stand-in client and echo service, so nothing
// leaves this computer. With QUILLET_SCREENSHOT_DIR set, the window is saved there as
// upload-window-QUILLET_SCREENSHOT_NAME.png (QUILLET_SCREENSHOT_NAME "dark" takes a dark
// palette).
#include "app/core/journal.h"
#include "app/widgets/dialogs.h"
#include "app/widgets/tests/darkpalette.h"
#include "app/widgets/tests/quietdialogs.h"
#include "app/widgets/uploadwindow.h"
#include "app/workflows/journalrecorder.h"
#include "app/workflows/uploadlock.h"
#include "app/workflows/uploadmodel.h"
#include "tools/testsupport/files.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <poll.h>

namespace {
class TNoDialogs : public TDialogs {
public:
    QString ChooseFolder(QWidget *, const QString &) override { return {}; }
    QString OpenFile(QWidget *, const QString &, const QString &) override { return {}; }
    void Message(QWidget *, TMessageKind, const QString &, const QString &) override {}
};

// 192.0.2.11 answers at once; every other address never, until the wait is cut short.
class TStandInEcho : public TEchoService {
public:
    TEchoReply Echo(quint32 address, int timeoutMs) override {
        TEchoReply reply;
        if (address == ResolveHostAddress(QStringLiteral("192.0.2.11"))) {
            reply.Answered = true;
            return reply;
        }
        pollfd fd{FInterrupt, POLLIN, 0};
        ::poll(&fd, 1, timeoutMs);
        return reply;
    }
    void SetInterrupt(int fd) override { FInterrupt = fd; }

private:
    int FInterrupt = -1;
};

// A stand-in TFTP client: the shell script given, executable, in the folder.
QString WriteClient(const QTemporaryDir &dir, const char *script) {
    const QString path = dir.filePath(QStringLiteral("client"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(script);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

class TUploadWindowTest : public QObject {
    Q_OBJECT
private slots:
    void everyStageShowsInItsRow() {
        const QString name =
            qEnvironmentVariable("QUILLET_SCREENSHOT_NAME", QStringLiteral("light"));
        if (name == QStringLiteral("dark")) {
            QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
            QApplication::setPalette(DarkPalette());
        }
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString client =
            WriteClient(temp, "#!/bin/sh\n"
                              "for last; do :; done\n"
                              "case \"$last\" in\n"
                              "*192.0.2.1[12]/*) printf '\\r######## 100.0%%\\n' ;;\n"
                              "*192.0.2.13/*) printf '\\r####    45.0%%'; exec sleep 30 ;;\n"
                              "*) echo 'curl: (69) TFTP: Access Violation' >&2; exit 69 ;;\n"
                              "esac\n");

        TUploadRequest request;
        for (int n = 11; n <= 14; ++n)
            request.Targets.append({QStringLiteral("192.0.2.%1").arg(n),
                                    QStringLiteral("02-00-00-00-00-%1").arg(n),
                                    {},
                                    {},
                                    true});
        request.File = temp.filePath(QStringLiteral("Station7_WEB1_01.pmf"));
        QFile web(request.File);
        const QByteArray webBytes = testsupport::RandomWebFile(100);
        QVERIFY(web.open(QIODevice::WriteOnly) && web.write(webBytes) == webBytes.size());
        web.close();
        const QString journal = temp.filePath(QStringLiteral("journal.sqlite"));
        request.Journal = std::make_shared<TJournalRecorder>(journal);
        request.Settings.ClientProgram = client;
        request.Settings.RestartPauseMs = 100;
        request.Settings.Echo.OpenService = [] {
            return std::make_unique<TStandInEcho>();
        };
        TNoDialogs dialogs;
        QPointer<TfUpload> window = TfUpload::Open(request, dialogs);
        QVERIFY(window);
        // Every row change of the running upload goes through the tester.
        const QAbstractItemModelTester tester(
            window->findChild<TUploadModel *>(),
            QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto cell = [&window](int row, int column) {
            return window->Model().index(row, column).data().toString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(
            cell(0, TUploadModel::ucOutcome) == QStringLiteral("done") &&
                cell(1, TUploadModel::ucOutcome) == QStringLiteral("restarting") &&
                cell(2, TUploadModel::ucProgress) == QStringLiteral("Sending: 45 %") &&
                cell(3, TUploadModel::ucOutcome) == QStringLiteral("failed"),
            10000);
        QVERIFY(cell(1, TUploadModel::ucProgress)
                    .startsWith(QStringLiteral("Device restart: at most 4:")));
        QVERIFY(!cell(3, TUploadModel::ucReason).isEmpty());
        QCOMPARE(window->LabSummary()->text(), QStringLiteral("Uploading to 4 devices, 2 ended"));
        const QByteArray folder = qgetenv("QUILLET_SCREENSHOT_DIR");
        if (!folder.isEmpty()) {
            QTest::qWait(200);
            QVERIFY(window->grab().save(QString::fromLocal8Bit(folder) +
                                        QStringLiteral("/upload-window-%1.png").arg(name)));
        }

        QTest::mouseClick(window->BtnCancel(), Qt::LeftButton);
        QCOMPARE(window->LabSummary()->text(), QStringLiteral("1 of 4 devices done"));
        QCOMPARE(cell(1, TUploadModel::ucOutcome), QStringLiteral("interrupted"));
        QCOMPARE(cell(2, TUploadModel::ucOutcome), QStringLiteral("interrupted"));
        QCOMPARE(cell(3, TUploadModel::ucOutcome), QStringLiteral("failed"));

        // Retry failed: the three that did not end done, in a window of their own.
        QVERIFY(window->BtnRetry()->isEnabled());
        QTest::keyClick(window->BtnRetry(), Qt::Key_Space);
        QPointer<TfUpload> retry;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *upload = qobject_cast<TfUpload *>(top); upload && upload != window)
                retry = upload;
        QVERIFY(retry);
        QCOMPARE(retry->Model().rowCount(), 3);
        QCOMPARE(retry->Model().index(0, TUploadModel::ucAddress).data().toString(),
                 QStringLiteral("192.0.2.12"));
        QCOMPARE(retry->Model().index(2, TUploadModel::ucAddress).data().toString(),
                 QStringLiteral("192.0.2.14"));
        QVERIFY(!retry->BtnRetry()->isEnabled());
        QTest::mouseClick(retry->BtnCancel(), Qt::LeftButton);
        retry->close();
        window->close();
        QTRY_VERIFY(!window && !retry);

        // Each device's upload as it ended, with the device's MAC and the file's fingerprint;
        // the retry's three came after.
        TJournal kept(journal);
        QVERIFY(kept.Open());
        QList<TJournalEntry> uploads = kept.History();
        QCOMPARE(uploads.size(), 7);
        std::reverse(uploads.begin(), uploads.end());
        QStringList ended;
        for (const TJournalEntry &entry : uploads) {
            QCOMPARE(entry.Kind, jeUpload);
            QCOMPARE(entry.Upload.Mac, QStringLiteral("02-00-00-00-00-") + entry.Address().mid(8));
            QCOMPARE(entry.Upload.Size, webBytes.size());
            QCOMPARE(entry.Upload.Sha256,
                     QString::fromLatin1(
                         QCryptographicHash::hash(webBytes, QCryptographicHash::Sha256).toHex()));
            ended << entry.Address() + u' ' + entry.Upload.Outcome;
        }
        // The two that ended before Cancel come first, in either order on a busy computer.
        QStringList first = ended.mid(0, 2);
        first.sort();
        QCOMPARE(first, (QStringList{QStringLiteral("192.0.2.11 done"),
                                     QStringLiteral("192.0.2.14 failed")}));
        for (const TJournalEntry &entry : uploads.mid(0, 2))
            QCOMPARE(entry.Upload.Reason.isEmpty(), entry.Upload.Outcome == QStringLiteral("done"));
        // Cancel caught .12 and .13 twice; the retry's .14 may have failed before it came.
        QCOMPARE(
            ended.filter(QRegularExpression(QStringLiteral("^192\\.0\\.2\\.1[23] interrupted$")))
                .size(),
            4);
    }

    // Two transfers at a time: the others wait in their rows, start as places come free, and
    // those still waiting at Cancel end without a client ever starting for them.
    void transfersBeyondTheBoundWaitTheirTurn() {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        TUploadRequest request;
        request.Kind = TFleetUpload::fkFirmware;
        request.Parallel = 2;
        request.Settings.ClientProgram =
            WriteClient(temp, "#!/bin/sh\nfor last; do :; done\necho \"+ $last\" >> \"$0.log\"\n"
                              "while [ ! -e \"$0.go\" ]; do sleep 0.02; done\n"
                              "echo \"- $last\" >> \"$0.log\"\nprintf '\\r#### 100.0%%\\n'\n");
        request.File = temp.filePath(QStringLiteral("X5.bin"));
        QFile image(request.File);
        QVERIFY(image.open(QIODevice::WriteOnly) && image.write("image") == 5);
        image.close();
        for (int n = 11; n <= 15; ++n)
            request.Targets.append({QStringLiteral("192.0.2.%1").arg(n), {}, {}, {}, true});
        const QString log = request.Settings.ClientProgram + QStringLiteral(".log");
        const auto started = [&log] {
            QFile file(log);
            return file.open(QIODevice::ReadOnly) ? file.readAll().count("+ ") : 0;
        };
        // Firmware for five devices is asked about first.
        TQuietDialogs dialogs;
        dialogs.Answers = {true, true};
        for (bool go : {true, false}) {
            QFile::remove(log);
            QFile flag(request.Settings.ClientProgram + QStringLiteral(".go"));
            QVERIFY(go ? flag.open(QIODevice::WriteOnly) : !flag.exists() || flag.remove());
            flag.close();
            QPointer<TfUpload> window = TfUpload::Open(request, dialogs);
            QVERIFY(window);
            const auto cell = [&window](int row, int column) {
                return window->Model().index(row, column).data().toString();
            };
            if (go) {
                QTRY_VERIFY_WITH_TIMEOUT(!window->Running(), 20000);
                QCOMPARE(window->LabSummary()->text(), QStringLiteral("5 of 5 devices done"));
                // Never more than two clients at once, in the order given.
                QFile file(log);
                QVERIFY(file.open(QIODevice::ReadOnly));
                int running = 0;
                QStringList order;
                for (const QByteArray &line : file.readAll().split('\n')) {
                    running += line.startsWith('+') ? 1 : line.startsWith('-') ? -1 : 0;
                    QVERIFY(running <= 2);
                    if (line.startsWith('+'))
                        order << QString::fromLatin1(line.mid(9, 10));
                }
                // The first two places go to the first two rows, in either order.
                QCOMPARE(order.size(), 5);
                QStringList first = order.mid(0, 2);
                first.sort();
                QCOMPARE(first,
                         (QStringList{QStringLiteral("192.0.2.11"), QStringLiteral("192.0.2.12")}));
            } else {
                QCOMPARE(window->LabSummary()->text(),
                         QStringLiteral("Uploading to 5 devices, 0 ended"));
                QTRY_COMPARE(started(), 2);
                QTRY_COMPARE(cell(1, TUploadModel::ucProgress), QStringLiteral("Sending: 0 %"));
                QCOMPARE(cell(2, TUploadModel::ucOutcome), QStringLiteral("waiting"));
                QCOMPARE(cell(4, TUploadModel::ucProgress), QString());
                QTest::mouseClick(window->BtnCancel(), Qt::LeftButton);
                QVERIFY(!window->Running());
                for (int row = 0; row < 5; ++row)
                    QCOMPARE(cell(row, TUploadModel::ucOutcome), QStringLiteral("interrupted"));
                QCOMPARE(cell(0, TUploadModel::ucReason),
                         QStringLiteral("Stopped before the upload ended."));
                QCOMPARE(cell(4, TUploadModel::ucReason),
                         QStringLiteral("Stopped before its turn came; nothing was sent."));
                QTest::qWait(300);
                QCOMPARE(started(), 2);
            }
            window->close();
            QTRY_VERIFY(!window);
        }
    }

    // A page chosen as the web file: every row says why, and no client starts.
    void fileThatIsNoWebFileIsNotSent() {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        TUploadRequest request;
        request.Settings.ClientProgram = WriteClient(temp, "#!/bin/sh\ntouch \"$0.ran\"\n");
        request.File = temp.filePath(QStringLiteral("index.htm"));
        QFile page(request.File);
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html></html>");
        page.close();
        for (int n = 11; n <= 12; ++n)
            request.Targets.append({QStringLiteral("192.0.2.%1").arg(n), {}, {}, {}, true});
        TNoDialogs dialogs;
        QPointer<TfUpload> window = TfUpload::Open(request, dialogs);
        QVERIFY(window);
        QTRY_VERIFY(!window->Running());
        for (int row = 0; row < 2; ++row) {
            QCOMPARE(window->Model().index(row, TUploadModel::ucOutcome).data().toString(),
                     QStringLiteral("nothing sent"));
            QCOMPARE(window->Model().index(row, TUploadModel::ucReason).data().toString(),
                     QStringLiteral("index.htm is not a web file: it does not begin with "
                                    "\"PmF1\"."));
        }
        QVERIFY(!QFile::exists(request.Settings.ClientProgram + QStringLiteral(".ran")));
        window->close();
        QTRY_VERIFY(!window);
    }

    // A device this program already uploads to (from the main window, say) is refused in its
    // row, unsent; the others go on.
    void deviceUnderAnotherUploadIsRefusedInItsRow() {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        TUploadRequest request;
        request.Settings.ClientProgram =
            WriteClient(temp, "#!/bin/sh\nfor last; do :; done\necho \"$last\" >> \"$0.sent\"\n");
        request.File = temp.filePath(QStringLiteral("site.pmf"));
        QFile web(request.File);
        QVERIFY(web.open(QIODevice::WriteOnly));
        web.write(testsupport::RandomWebFile(100));
        web.close();
        request.Settings.RestartPauseMs = 0;
        request.Settings.Echo.OpenService = [] {
            return std::make_unique<TStandInEcho>();
        };
        for (int n = 11; n <= 12; ++n)
            request.Targets.append({QStringLiteral("192.0.2.%1").arg(n), {}, {}, {}, true});
        TUploadLock held;
        QCOMPARE(held.Take(QStringLiteral("192.0.2.12")), TUploadLock::ulTaken);
        TNoDialogs dialogs;
        QPointer<TfUpload> window = TfUpload::Open(request, dialogs);
        QVERIFY(window);
        QTRY_VERIFY(!window->Running());
        const auto cell = [&window](int row, int column) {
            return window->Model().index(row, column).data().toString();
        };
        QCOMPARE(cell(0, TUploadModel::ucOutcome), QStringLiteral("done"));
        QCOMPARE(cell(1, TUploadModel::ucOutcome), QStringLiteral("failed"));
        QCOMPARE(cell(1, TUploadModel::ucReason),
                 QStringLiteral("192.0.2.12 is already receiving an upload from this Quillet."));
        QFile sent(request.Settings.ClientProgram + QStringLiteral(".sent"));
        QVERIFY(sent.open(QIODevice::ReadOnly));
        QCOMPARE(sent.readAll(), QByteArray("tftp://192.0.2.11/WEB1\n"));
        window->close();
        QTRY_VERIFY(!window);
    }
};

QTEST_MAIN(TUploadWindowTest)
#include "uploadwindow_test.moc"
