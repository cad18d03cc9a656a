// The technician's whole road in the real main window inside the test LAN: Create packs a
// sample site, Search finds the simulated devices sorted by address, Select puts the chosen
// address into the address field, and Upload web sends the file to that device, which restarts
// and answers again.
#include "dialogs.h"
#include "ipedit.h"
#include "lab.h"
#include "quillet.h"
#include "relynsearchgui.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

class QuietDialogs : public TDialogs {
public:
    QStringList Messages;
    QString ChooseFolder(QWidget *, const QString &) override { return {}; }
    QString OpenFile(QWidget *, const QString &, const QString &) override { return {}; }
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
