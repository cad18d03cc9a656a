// The main window's Create, Upload web and Upload FW buttons over their workflows.
#include "app/widgets/dialogs.h"
#include "app/widgets/quillet.h"
#include "ipassign/ipedit.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <signal.h>

#include <memory>

namespace {
class TRecordingDialogs : public TDialogs {
public:
    QString ChooseFolder(QWidget *, const QString &) override { return {}; }
    QString OpenFile(QWidget *, const QString &, const QString &) override { return {}; }
    void Message(QWidget *, TMessageKind kind, const QString &, const QString &text) override {
        Messages << text;
        Kinds << kind;
    }
    bool Confirm(QWidget *, const QString &, const QString &text) override {
        Questions << text;
        return Answers.isEmpty() ? false : Answers.takeFirst();
    }
    QStringList Messages;
    QList<TMessageKind> Kinds;
    QStringList Questions;
    QList<bool> Answers;
};
} // namespace

class TWindowButtonsTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> FTemp;
    QString FProgram;
    TRecordingDialogs FDialogs;
    QString FPreviousFolder;

    std::unique_ptr<TfQuillet> Start(const QStringList &arguments = {}) {
        TStartupInputs inputs;
        inputs.ProgramFolder = FProgram;
        inputs.Arguments = arguments;
        inputs.LocalDataRoot = FTemp->filePath(QStringLiteral("local"));
        inputs.DocumentsRoot = FTemp->filePath(QStringLiteral("documents"));
        return std::make_unique<TfQuillet>(inputs, FDialogs);
    }
    static QStringList InfoLines(const TfQuillet &window) {
        return window.Info()->toPlainText().split(QLatin1Char('\n'));
    }
    static bool ActionsEnabled(const TfQuillet &window) {
        return window.BtnCreate()->isEnabled() && window.BtnUploadWeb()->isEnabled() &&
               window.BtnUploadFW()->isEnabled();
    }
    QString MakeSource(const QString &inner) {
        const QString source = FProgram + inner;
        QDir().mkpath(source);
        QFile page(source + QStringLiteral("/index.htm"));
        page.open(QIODevice::WriteOnly);
        page.write("<html></html>");
        return source;
    }
    static void Choose(TfQuillet &window, const QString &source) {
        window.EdtFrom()->setText(source);
        window.SetDirInName(source);
    }

private slots:
    void initTestCase() {
        // The packer is found where the programs are built, as beside the installed program.
        qputenv("PATH", QByteArray(QUILLET_PROGRAM_DIR) + ':' + qgetenv("PATH"));
        FPreviousFolder = QDir::currentPath();
    }
    void init() {
        FTemp = std::make_unique<QTemporaryDir>();
        QVERIFY(FTemp->isValid());
        FProgram = FTemp->filePath(QStringLiteral("program/"));
        QVERIFY(QDir().mkpath(FProgram));
        QVERIFY(QFile::copy(QStringLiteral(QUILLET_SOURCE_DIR "data/mimetype.ini"),
                            FProgram + QStringLiteral("mimetype.ini")));
        FDialogs = TRecordingDialogs();
    }
    void cleanup() {
        QDir::setCurrent(FPreviousFolder);
        FTemp.reset();
    }

    void createPutsTheNewFileIntoTheWebFileField() {
        auto window = Start();
        Choose(*window, MakeSource(QStringLiteral("Station 7")));
        QTest::mouseClick(window->BtnCreate(), Qt::LeftButton);
        QVERIFY(!ActionsEnabled(*window));
        QTRY_VERIFY_WITH_TIMEOUT(ActionsEnabled(*window), 20000);

        const QString expected = FProgram + QStringLiteral("pmf/Station 7/Station 7_WEB1_01.pmf");
        QCOMPARE(window->EdtWebFile()->text(), expected);
        QVERIFY(QFile::exists(expected));
        const QStringList lines = InfoLines(*window);
        QCOMPARE(lines.first(), QStringLiteral("Creating web file..."));
        QCOMPARE(lines.mid(lines.size() - 3),
                 (QStringList{QStringLiteral("Web file created successful."), QString(),
                              QStringLiteral("OK")}));
        QVERIFY(FDialogs.Messages.isEmpty());
        QVERIFY(!QApplication::overrideCursor());

        // Create again: the next version, and the field follows.
        QTest::mouseClick(window->BtnCreate(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(ActionsEnabled(*window), 20000);
        QCOMPARE(window->EdtWebFile()->text(),
                 FProgram + QStringLiteral("pmf/Station 7/Station 7_WEB1_02.pmf"));
    }

    void escapeCancelsACreateAndLeavesNoTrace() {
        auto window = Start();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        Choose(*window, MakeSource(QStringLiteral("Station 8")));
        const QString before = window->EdtWebFile()->text();
        QTest::mouseClick(window->BtnCreate(), Qt::LeftButton);
        QVERIFY(!ActionsEnabled(*window));
        // Between the creation's steps, before the packer has written anything.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(ActionsEnabled(*window));
        QCOMPARE(InfoLines(*window).last(), QStringLiteral("Cancelled."));
        QCOMPARE(window->EdtWebFile()->text(), before);
        QCOMPARE(QApplication::focusWidget(), window->BtnCreate());
        QVERIFY(!QDir(FProgram + QStringLiteral("pmf/Station 8")).exists());
        QVERIFY(!QApplication::overrideCursor());
    }

    void folderErrorShowsAnErrorBox() {
        auto window = Start();
        Choose(*window, MakeSource(QStringLiteral("a/b")));
        const QString before = window->EdtWebFile()->text();
        QTest::mouseClick(window->BtnCreate(), Qt::LeftButton);
        QTRY_VERIFY(ActionsEnabled(*window));
        QCOMPARE(FDialogs.Messages, QStringList{QStringLiteral(
                                        "pmf/a/b directory not exist and succeed not created")});
        QCOMPARE(FDialogs.Kinds.first(), TDialogs::mkError);
        QCOMPARE(InfoLines(*window), (QStringList{QStringLiteral("Creating web file..."),
                                                  QStringLiteral("Internal error."),
                                                  QStringLiteral("Web file creating failed.")}));
        QCOMPARE(window->EdtWebFile()->text(), before);
    }

    void uploadsWithoutAddressOrFileSendNothing() {
        auto window = Start({QStringLiteral("-brimo")});
        window->show();
        QVERIFY(window->BtnUploadFW()->isVisible());
        window->EdtWebFile()->setText(QStringLiteral("/srv/site.pmf"));
        window->EdtFWFile()->clear();
        QTest::mouseClick(window->BtnUploadWeb(), Qt::LeftButton);
        QCOMPARE(InfoLines(*window), (QStringList{QStringLiteral("Web upload...   \\/srv/site.pmf"),
                                                  QStringLiteral("No IP adress selected.")}));
        QVERIFY(ActionsEnabled(*window));

        window->IPEdtAddress()->SetText(QStringLiteral("192.0.2.11"));
        QTest::mouseClick(window->BtnUploadFW(), Qt::LeftButton);
        QCOMPARE(InfoLines(*window), (QStringList{QStringLiteral("Firmware upload...   \\"),
                                                  QStringLiteral("No input (fw) file selected.")}));
        QVERIFY(ActionsEnabled(*window));
        QCOMPARE(window->IPEdtAddress()->Text(), QStringLiteral("192.0.2.11"));
    }

    // A page set as the Web file is refused, named, before the client starts.
    void fileThatIsNoWebFileIsNotSent() {
        auto window = Start();
        window->show();
        const QString page = MakeSource(QStringLiteral("Station 7")) + QStringLiteral("/index.htm");
        const QString ran = FTemp->filePath(QStringLiteral("client ran"));
        QFile client(FProgram + QStringLiteral("client"));
        QVERIFY(client.open(QIODevice::WriteOnly));
        client.write("#!/bin/sh\ntouch '" + ran.toLocal8Bit() + "'\n");
        client.close();
        client.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        TUploadSettings settings;
        settings.ClientProgram = client.fileName();
        window->SetUploadSettings(settings);
        window->IPEdtAddress()->SetText(QStringLiteral("192.0.2.11"));
        window->EdtWebFile()->setText(page);
        QTest::mouseClick(window->BtnUploadWeb(), Qt::LeftButton);
        QCOMPARE(InfoLines(*window).mid(0, 3),
                 (QStringList{QStringLiteral("Web upload...   \\") + page,
                              QStringLiteral("index.htm is not a web file: it does not begin "
                                             "with \"PmF1\"."),
                              QStringLiteral("Web upload failed.")}));
        QVERIFY(ActionsEnabled(*window));
        QTest::qWait(100);
        QVERIFY(!QFile::exists(ran));
    }

    // A stand-in client that shows progress and then hangs: nothing leaves this computer.
    // Starts a firmware upload with it and returns the client's process id.
    pid_t StartHangingUpload(TfQuillet &window) {
        const QString pidFile = FTemp->filePath(QStringLiteral("pid"));
        QFile client(FProgram + QStringLiteral("client"));
        if (!client.open(QIODevice::WriteOnly))
            return 0;
        client.write("#!/bin/sh\necho $$ > '" + pidFile.toLocal8Bit() +
                     "'\nprintf '\\r####   20.0%%'; sleep 0.2; printf '\\r########   40.0%%'\n"
                     "exec sleep 30\n");
        client.close();
        client.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        TUploadSettings settings;
        settings.ClientProgram = client.fileName();
        window.SetUploadSettings(settings);
        window.show();
        if (!QTest::qWaitForWindowActive(&window))
            return 0;
        window.IPEdtAddress()->SetText(QStringLiteral("192.0.2.11"));
        window.EdtFWFile()->setText(FProgram + QStringLiteral("mimetype.ini"));
        if (window.MMCancel()->isEnabled())
            return 0;
        QTest::mouseClick(window.BtnUploadFW(), Qt::LeftButton);
        // One line that changes in place.
        if (!QTest::qWaitFor(
                [&] { return InfoLines(window) == QStringList{QStringLiteral("Sending: 40 %")}; }))
            return 0;
        QFile pid(pidFile);
        return pid.open(QIODevice::ReadOnly) ? pid.readAll().trimmed().toInt() : 0;
    }

    void escapeCancelsAnUploadThatShowsItsProgress() {
        auto window = Start({QStringLiteral("-brimo")});
        const pid_t clientPid = StartHangingUpload(*window);
        QVERIFY(clientPid > 0);
        QVERIFY(window->MMCancel()->isEnabled());

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(InfoLines(*window), QStringList{QStringLiteral("Cancelled.")});
        QVERIFY(ActionsEnabled(*window));
        QVERIFY(!window->MMCancel()->isEnabled());
        QCOMPARE(QApplication::focusWidget(), window->BtnUploadFW());
        QCOMPARE(::kill(clientPid, 0), -1);
        // The messages can be copied for a report, by keyboard too.
        QTest::mouseClick(window->Info()->viewport(), Qt::LeftButton);
        QTest::keyClick(window->Info(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(window->Info(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Cancelled."));

        // The address comes back at the next start.
        window.reset();
        QCOMPARE(Start()->IPEdtAddress()->Text(), QStringLiteral("192.0.2.11"));
    }

    // File > Exit while the device is being written to: asked first, and on yes the upload is
    // stopped, its client with it, before the window closes.
    void exitDuringAnUploadAsksAndStopsIt() {
        auto window = Start({QStringLiteral("-brimo")});
        const pid_t clientPid = StartHangingUpload(*window);
        QVERIFY(clientPid > 0);
        QAction *exit = window->findChild<QAction *>(QStringLiteral("MMExit"));
        QVERIFY(exit);
        FDialogs.Answers = {false};
        // Ctrl+Q is File > Exit.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(FDialogs.Questions,
                 QStringList{QStringLiteral("A create or upload is still running. Stop it and "
                                            "quit?")});
        QVERIFY(window->isVisible());
        QCOMPARE(::kill(clientPid, 0), 0);
        FDialogs.Answers = {true};
        exit->trigger();
        QVERIFY(!window->isVisible());
        QCOMPARE(InfoLines(*window).last(), QStringLiteral("Cancelled."));
        QCOMPARE(::kill(clientPid, 0), -1);
        // Nothing runs any more: a second close asks nothing.
        FDialogs.Questions.clear();
        window->close();
        QVERIFY(FDialogs.Questions.isEmpty());
    }

    void droppedFilesFillTheirFields() {
        auto window = Start({QStringLiteral("-brimo")});
        window->show();
        const auto drop = [&window](const QString &path) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(path)});
            QDragEnterEvent enter({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(window.get(), &enter);
            if (!enter.isAccepted())
                return false;
            QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                               Qt::NoModifier);
            QApplication::sendEvent(window.get(), &dropped);
            return dropped.isAccepted();
        };
        const QString source = MakeSource(QStringLiteral("Station 9"));
        QVERIFY(drop(source));
        QCOMPARE(window->EdtFrom()->text(), source);
        QCOMPARE(window->DirInName(), source);
        QVERIFY(drop(FProgram + QStringLiteral("site_02.pmf")));
        QCOMPARE(window->EdtWebFile()->text(), FProgram + QStringLiteral("site_02.pmf"));
        QVERIFY(drop(FProgram + QStringLiteral("image.ROM")));
        QCOMPARE(window->EdtFWFile()->text(), FProgram + QStringLiteral("image.ROM"));
        QVERIFY(!drop(FProgram + QStringLiteral("mimetype.ini")));

        // Standard mode has no firmware field to fill.
        auto standard = Start();
        standard->show();
        window = std::move(standard);
        QVERIFY(!drop(FProgram + QStringLiteral("image.rom")));
    }
};

QTEST_MAIN(TWindowButtonsTest)
#include "windowreport_test.moc"
