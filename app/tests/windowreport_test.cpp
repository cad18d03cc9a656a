// The main window's Create, Upload web and Upload FW buttons over their workflows.
#include "dialogs.h"
#include "ipedit.h"
#include "quillet.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

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
    QStringList Messages;
    QList<TMessageKind> Kinds;
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
};

QTEST_MAIN(TWindowButtonsTest)
#include "windowreport_test.moc"
