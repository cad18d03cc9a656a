// The main window and the about window, in a temporary program folder on the offscreen platform.
#include "app/core/documentopener.h"
#include "app/core/journal.h"
#include "app/core/language.h"
#include "app/core/singleinstance.h"
#include "app/widgets/about.h"
#include "app/widgets/deviceswindow.h"
#include "app/widgets/dialogs.h"
#include "app/widgets/journalcolumns.h"
#include "app/widgets/journalhistory.h"
#include "app/widgets/quillet.h"
#include "app/widgets/tests/darkpalette.h"
#include "app/widgets/uploadwindow.h"
#include "app/workflows/journalrecorder.h"
#include "app/workflows/uploadmodel.h"
#include "app/workflows/webverifier.h"
#include "discovery/relynsearchgui.h"
#include "ipassign/ipedit.h"
#include "ipassign/relynipchangegui.h"
#include "ipassign/tests/scriptednetwork.h"
#include "support/icmpecho.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <atomic>
#include <memory>
#include <optional>
#include <poll.h>

using namespace Qt::StringLiterals;

namespace {
// Answers the window's questions from a script and remembers what was asked.
class TFakeDialogs : public TDialogs {
public:
    QString FolderAnswer;
    QString FileAnswer;
    QStringList FolderStarts;
    QStringList Filters;
    QStringList FileStarts;
    QStringList Messages;

    QString ChooseFolder(QWidget *, const QString &start) override {
        FolderStarts << start;
        return FolderAnswer;
    }
    QString OpenFile(QWidget *, const QString &filter, const QString &start) override {
        Filters << filter;
        FileStarts << start;
        return FileAnswer;
    }
    void Message(QWidget *, TMessageKind, const QString &, const QString &text) override {
        Messages << text;
    }
};

void WriteScript(const QString &path, const QByteArray &body) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + body);
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

bool TakesText(const QWidget *widget) {
    return qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QPlainTextEdit *>(widget);
}

// Types as a person does: each key goes to whatever has the focus at that moment.
void Type(QWidget *window, const QString &text) {
    for (const QChar c : text) {
        QWidget *focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : window, c.toLatin1());
    }
}

// The caption's colour is its greenest pixel; the face behind it is the most common colour in
// that pixel's row (the face may be a vertical gradient).
struct TCaptionColours {
    QColor Caption;
    QColor Face;
};
TCaptionColours CaptionColours(const QImage &image) {
    QPoint caption;
    int greenest = -1000;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.green() - std::max(c.red(), c.blue()) > greenest) {
                greenest = c.green() - std::max(c.red(), c.blue());
                caption = {x, y};
            }
        }
    QHash<QRgb, int> counts;
    for (int x = 0; x < image.width(); ++x)
        ++counts[image.pixel(x, caption.y())];
    QRgb face = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(face))
            face = it.key();
    return {image.pixelColor(caption), QColor::fromRgb(face)};
}
bool Greenish(const QColor &c) {
    return c.green() > std::max(c.red(), c.blue()) + 40;
}
// Five devices on two interfaces; the last answered on eth1 from an address this computer
// does not route to.
TRelynSearchOutcome FiveDevices() {
    const auto device = [](const char *ip, const char *mac, const char *firmware,
                           const char *description, const char *type, const char *interface,
                           const char *network, bool reachable) {
        TRelynPar par;
        par.IPAddress = QString::fromLatin1(ip);
        par.MACAddress = QString::fromLatin1(mac);
        par.Firmware = QString::fromLatin1(firmware);
        par.Description = QString::fromLatin1(description);
        par.DeviceType = QString::fromLatin1(type);
        par.Interface = QString::fromLatin1(interface);
        par.Network = QString::fromLatin1(network);
        par.Reachable = reachable;
        return par;
    };
    TRelynSearchOutcome outcome;
    outcome.Devices = {
        device("192.0.2.11", "00:1A:2B:00:00:11", "4.12", "Boiler room", "T3510", "eth0",
               "192.0.2.0/24", true),
        device("192.0.2.12", "00:1A:2B:00:00:12", "4.12", "Hall north", "T3510", "eth0",
               "192.0.2.0/24", true),
        device("192.0.2.40", "00:1A:2B:00:00:40", "3.07", "Cold store 2", "H7310", "eth0",
               "192.0.2.0/24", true),
        device("198.51.100.7", "00:1A:2B:00:01:07", "4.10", "Roof station", "P2520", "eth1",
               "198.51.100.0/24", true),
        device("10.0.8.15", "00:1A:2B:00:08:15", "4.12", "Factory default", "T3510", "eth1",
               "198.51.100.0/24", false),
    };
    outcome.Asked = {{2, u"eth0"_s, {}}, {3, u"eth1"_s, {}}};
    return outcome;
}

// The five devices, and once later is set: Hall north gone, Cold store 2 moved to .41.
TRelynBackgroundSearch::Search FiveDevicesThenMoved(std::shared_ptr<std::atomic<bool>> later) {
    return [later](const QString &, const TRelynSearchScope &) {
        TRelynSearchOutcome outcome = FiveDevices();
        if (*later) {
            outcome.Devices[2].IPAddress = u"192.0.2.41"_s;
            outcome.Devices.removeAt(1);
        }
        return outcome;
    };
}

QStringList VisibleCaptions(const QMenu *menu) {
    QStringList captions;
    for (const QAction *action : menu->actions())
        if (action->isVisible())
            captions << (action->isSeparator() ? u"-"_s : action->text());
    return captions;
}
// The captions of a shown window that its controls cut off: buttons (a check box's or radio
// button's with room for its mark), labels, and the headers and cells of tables.
QStringList CutOffCaptions(const QWidget *window) {
    QStringList cut;
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (!button->isVisible() || button->text().isEmpty())
            continue;
        // The caption itself (a push button's size hint has a minimum width of its own), and
        // its icon.
        const bool marked = !qobject_cast<QPushButton *>(button);
        const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
        const int needed =
            button->fontMetrics().horizontalAdvance(QString(button->text()).remove(u'&')) +
            (marked ? 22 : 8) + icon;
        if (needed > button->width() + 2)
            cut << button->text() + u" needs "_s + QString::number(needed);
    }
    for (QLabel *label : window->findChildren<QLabel *>())
        if (label->isVisible() && !label->text().isEmpty() && !label->wordWrap() &&
            label->sizeHint().width() > label->width())
            cut << label->text();
    for (QTableView *table : window->findChildren<QTableView *>()) {
        const QHeaderView *header = table->horizontalHeader();
        const int margin =
            2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        for (int section = 0; section < header->count(); ++section) {
            const QString text = table->model()->headerData(section, Qt::Horizontal).toString();
            if (header->isSectionHidden(section) || text.isEmpty())
                continue;
            if (header->fontMetrics().horizontalAdvance(text) + margin >
                header->sectionSize(section))
                cut << text;
        }
        // The cells, with the margins the style keeps on either side of an item's text.
        const int cellMargin =
            2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1);
        for (int row = 0; row < table->model()->rowCount(); ++row)
            for (int column = 0; column < header->count(); ++column) {
                const QString text = table->model()->index(row, column).data().toString();
                if (!header->isSectionHidden(column) &&
                    table->fontMetrics().horizontalAdvance(text) + cellMargin >
                        table->columnWidth(column))
                    cut << text;
            }
    }
    return cut;
}

// 192.0.2.11 answers an echo at once, every other address never, until the wait is cut
// short; no echo leaves this computer.
class TStandInEcho : public TEchoService {
public:
    TEchoReply Echo(quint32 address, int timeoutMs) override {
        TEchoReply reply;
        reply.Answered = address == ResolveHostAddress(u"192.0.2.11"_s);
        if (!reply.Answered) {
            pollfd fd{FInterrupt, POLLIN, 0};
            ::poll(&fd, 1, timeoutMs);
        }
        return reply;
    }
    void SetInterrupt(int fd) override { FInterrupt = fd; }

private:
    int FInterrupt = -1;
};

// Makes a window as wide as its table's columns need, so that a screenshot shows them all.
void WidenToTable(QWidget *window, QTableView *table) {
    // In pixels: the scroll bar counts columns.
    const int more = table->horizontalHeader()->length() - table->viewport()->width();
    if (more > 0)
        window->resize(window->width() + more, window->height());
    QTRY_VERIFY(table->horizontalHeader()->length() <= table->viewport()->width());
}

// With QUILLET_SCREENSHOT_DIR set, the window is saved there as NAME.png.
void SaveScreenshot(QWidget *window, const QString &name) {
    const QString folder = qEnvironmentVariable("QUILLET_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        QVERIFY(window->grab().save(folder + u'/' + name + u".png"_s));
}

} // namespace

class TQuilletWindowTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> FTemp;
    QString FProgram;
    TFakeDialogs FDialogs;

    void WriteIni(const QByteArray &content) {
        QFile file(FProgram + u"qlt.ini"_s);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    std::unique_ptr<TfQuillet> Start(QStringList arguments = {}) {
        TStartupInputs inputs;
        inputs.ProgramFolder = FProgram;
        inputs.Arguments = arguments;
        inputs.CommonDataRoot = FTemp->filePath(u"common"_s);
        inputs.LocalDataRoot = FTemp->filePath(u"local"_s);
        inputs.DocumentsRoot = FTemp->filePath(u"documents"_s);
        inputs.ConfigRoot = FTemp->filePath(u"config"_s);
        return std::make_unique<TfQuillet>(inputs, FDialogs);
    }
    template <typename T> static T *Child(const QWidget *w, const char *name) {
        return w->findChild<T *>(QString::fromLatin1(name));
    }
    QStringList InfoLines(const TfQuillet &w) { return w.Info()->toPlainText().split(u'\n'); }

private slots:
    void init() {
        FTemp = std::make_unique<QTemporaryDir>();
        QVERIFY(FTemp->isValid());
        FProgram = FTemp->filePath(u"program/"_s);
        QDir().mkpath(FProgram);
        FDialogs = TFakeDialogs();
    }
    void cleanup() { FTemp.reset(); }

    void standardModeWithoutSettingsFile() {
        auto w = Start({u"-x"_s, u"-brimo"_s});
        QCOMPARE(w->windowTitle(), u"Quillet - 1.2.0.0"_s);
        QCOMPARE(w->font().pointSize(), 8);
        QCOMPARE(w->EdtFrom()->text(), FProgram);
        QCOMPARE(w->DirInName(), FProgram);
        QCOMPARE(w->EdtWebFile()->text(), FProgram + u"pmf/"_s);
        QCOMPARE(w->EdtFWFile()->text(), QString());
        QVERIFY(w->ChBBakDel()->isChecked());
        QCOMPARE(w->RewriteChoice(), TfQuillet::rwNewVersion);
        QCOMPARE(w->IPEdtAddress()->Text(), u"0.0.0.0"_s);
        QVERIFY(w->Info()->toPlainText().isEmpty());
        w->show();
        for (const char *name : {"LabFWFile", "EdtFWFile", "BtnBrowseFW", "BtnUploadFW"})
            QVERIFY2(!Child<QWidget>(w.get(), name)->isVisible(), name);
        QCOMPARE(w->BtnUploadWeb()->geometry(), QRect(496, 18, 75, 25));
        QCOMPARE(Child<QWidget>(w.get(), "GBFiles")->geometry(), QRect(2, 0, 593, 123));
        QCOMPARE(w->Info()->geometry(), QRect(2, 131, 369, 124));
        QCOMPARE(Child<QWidget>(w.get(), "RGRewrite")->geometry(), QRect(378, 130, 217, 41));
        QCOMPARE(Child<QWidget>(w.get(), "GBBakFiles")->geometry(), QRect(378, 178, 217, 41));
        QCOMPARE(w->BtnCreate()->geometry(), QRect(378, 229, 217, 25));
        QCOMPARE(Child<QWidget>(w.get(), "GBUpload")->geometry(), QRect(2, 258, 593, 57));
        QCOMPARE(w->centralWidget()->size(), QSize(600, 323));
        QCOMPARE(w->height(), w->menuBar()->height() + 323);
    }

    void internalModeFullLayout() {
        auto w = Start({u"-BRIMO"_s});
        QCOMPARE(w->windowTitle(), u"Quillet - 1.2.0.0 [Brimo internal]"_s);
        w->show();
        for (const char *name : {"LabFWFile", "EdtFWFile", "BtnBrowseFW", "BtnUploadFW"})
            QVERIFY2(Child<QWidget>(w.get(), name)->isVisible(), name);
        QCOMPARE(w->centralWidget()->size(), QSize(600, 353));
        const std::pair<const char *, QRect> table[] = {
            {"GBFiles", {2, 0, 593, 153}},          {"EdtFrom", {72, 32, 409, 21}},
            {"BtnSelectSource", {496, 30, 75, 25}}, {"BtnWebSource", {496, 70, 25, 25}},
            {"BtnBrowseFW", {496, 106, 75, 25}},    {"Info", {2, 161, 369, 124}},
            {"RGRewrite", {378, 160, 217, 41}},     {"GBBakFiles", {378, 208, 217, 41}},
            {"BtnCreate", {378, 259, 217, 25}},     {"GBUpload", {2, 288, 593, 57}},
            {"IPEdtAddress", {72, 20, 125, 20}},    {"BtnFindDevice", {216, 18, 75, 25}},
            {"BtnUploadWeb", {416, 18, 75, 25}},    {"BtnUploadFW", {496, 18, 75, 25}}};
        for (const auto &[name, rect] : table)
            QCOMPARE(Child<QWidget>(w.get(), name)->geometry(), rect);
        QVERIFY(w->BtnCreate()->font().bold());
        QCOMPARE(w->BtnCreate()->font().pointSize(), 10);
        QCOMPARE(w->BtnCreate()->text(), u"C r e a t e"_s);
        QVERIFY(!Child<QWidget>(w.get(), "BtnTest")->isVisible());
    }

    void captionsStayWholeAndApart() {
        auto w = Start({u"-brimo"_s});
        w->show();
        // Each label and check box ends before the control to its right and inside its box.
        for (const char *name : {"LabFrom", "LabWebFile", "LabFWFile"}) {
            const auto *label = Child<QLabel>(w.get(), name);
            QVERIFY2(label->geometry().right() < w->EdtFrom()->x(), name);
            QVERIFY(label->width() >= label->sizeHint().width());
        }
        const auto *check = w->ChBBakDel();
        QVERIFY(check->width() >= check->sizeHint().width());
        QVERIFY(check->geometry().right() < check->parentWidget()->width());
        for (QPushButton *button : w->findChildren<QPushButton *>())
            if (button->isVisible())
                QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) < button->width(),
                         qPrintable(button->objectName()));
    }

    void helpMenuByBrand_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("help");
        QTest::newRow("no file") << QByteArray() << QStringList{u"Quillet"_s, u"-"_s, u"&About"_s};
        QTest::newRow("BRIMO") << QByteArray("[label]\ncompany=BRIMO\n")
                               << QStringList{u"Quillet"_s, u"-"_s, u"&About"_s};
        QTest::newRow("ZARN") << QByteArray("[label]\ncompany=ZARN\n")
                              << QStringList{u"Info"_s, u"-"_s, u"&About"_s};
        QTest::newRow("lower-case brimo")
            << QByteArray("[label]\ncompany=brimo\n") << QStringList{u"-"_s, u"&About"_s};
        QTest::newRow("other") << QByteArray("[label]\ncompany=Acme\n")
                               << QStringList{u"-"_s, u"&About"_s};
    }
    void helpMenuByBrand() {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, help);
        if (!ini.isEmpty())
            WriteIni(ini);
        auto w = Start();
        const QList<QAction *> top = w->menuBar()->actions();
        QCOMPARE(top.size(), 2);
        QCOMPARE(top[0]->text(), u"&File"_s);
        QCOMPARE(VisibleCaptions(top[0]->menu()),
                 (QStringList{u"&Devices..."_s, u"&Cancel operation"_s, u"-"_s, u"&Exit"_s}));
        QCOMPARE(top[1]->text(), u"&Help"_s);
        QCOMPARE(VisibleCaptions(top[1]->menu()), help);
        const auto *readme = Child<QMenu>(w.get(), "MMHelpReadme");
        QCOMPARE(VisibleCaptions(readme), (QStringList{u"&English"_s, u"&Czech"_s}));
    }

    void helpPages_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("page");
        QTest::newRow("English") << QStringList() << u"MMHelpReadmeEN"_s << u"qlten.htm"_s;
        QTest::newRow("Czech") << QStringList() << u"MMHelpReadmeCZ"_s << u"qltcz.htm"_s;
        QTest::newRow("Info") << QStringList() << u"MMHelpInfoEn"_s << u"qlten.htm"_s;
        QTest::newRow("internal English")
            << QStringList{u"-brimo"_s} << u"MMHelpReadmeEN"_s << u"qltfull.htm"_s;
        QTest::newRow("internal Czech")
            << QStringList{u"-brimo"_s} << u"MMHelpReadmeCZ"_s << u"qltfull.htm"_s;
        QTest::newRow("internal Info")
            << QStringList{u"-brimo"_s} << u"MMHelpInfoEn"_s << u"qltfull.htm"_s;
    }
    // The desktop's opener decides: a page counts as opened only when it exits with 0.
    void helpPages() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, item);
        QFETCH(QString, page);
        const QByteArray path = qgetenv("PATH");
        const QString bin = FTemp->filePath(u"bin"_s);
        QDir().mkpath(bin);
        // Only the fake opener is found, never the desktop's own.
        qputenv("PATH", bin.toLocal8Bit());
        const QString opener = bin + u"/xdg-open"_s;
        const QString asked = FTemp->filePath(u"asked"_s);
        WriteScript(opener, "echo \"$@\" >>'" + asked.toLocal8Bit() + "'\n");
        auto w = Start(arguments);
        QSignalSpy ended(w->findChild<TDocumentOpener *>(), &TDocumentOpener::Finished);
        w->findChild<QAction *>(item)->trigger();
        QTRY_COMPARE(ended.size(), 1);
        QFile file(asked);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QUrl::fromLocalFile(FProgram + page).toString().toUtf8() + '\n');
        QVERIFY(w->Info()->toPlainText().isEmpty());

        // The opener started and could not show the page; and no opener at all.
        const QStringList failed{QString(), u"External application start up error."_s,
                                 u"You can open file "_s + FProgram + page + u" manualy."_s,
                                 QString()};
        WriteScript(opener, "exit 3\n");
        w->findChild<QAction *>(item)->trigger();
        QTRY_COMPARE(InfoLines(*w), failed);
        QFile::remove(opener);
        w->findChild<QAction *>(item)->trigger();
        QTRY_COMPARE(InfoLines(*w), failed + failed);
        qputenv("PATH", path);
    }

    // LANG=cs_CZ.UTF-8: the window speaks Czech, Qt's own texts too, nothing is cut off, and the
    // Info help page is the Czech one.
    void czechWindowFitsAndOpensTheCzechHelp() {
        QVERIFY(InstallUiTranslations(TUiLanguage::Czech));
        const auto uninstall = qScopeGuard([] {
            for (QTranslator *translator : qApp->findChildren<QTranslator *>()) {
                QCoreApplication::removeTranslator(translator);
                delete translator;
            }
        });
        auto w = Start();
        w->SetUiLanguage(TUiLanguage::Czech);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(w->BtnUploadWeb()->text(), u"Nahrát web"_s);
        QCOMPARE(Child<QMenu>(w.get(), "MMFile")->title(), u"&Soubor"_s);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), u"&Ano"_s);
        // The About box: the sentence and the country, not the company's name and address.
        QCOMPARE(TfQuillet::MakerCredits(), u"Navrhla firma Brimo Loggers Ltd.\n"
                                            "12 Sample Street, Exampleton\n"
                                            "Česká republika\n"
                                            "www.brimo-loggers.example"_s);
        // Every caption of the window fits its control.
        QCOMPARE(CutOffCaptions(w.get()).join(u" | "_s), QString());
        SaveScreenshot(w.get(), u"main-window-cs"_s);

        const QString bin = FTemp->filePath(u"bin"_s);
        QDir().mkpath(bin);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.toLocal8Bit());
        const QString asked = FTemp->filePath(u"asked"_s);
        WriteScript(bin + u"/xdg-open"_s, "echo \"$@\" >>'" + asked.toLocal8Bit() + "'\n");
        QSignalSpy ended(w->findChild<TDocumentOpener *>(), &TDocumentOpener::Finished);
        w->findChild<QAction *>(u"MMHelpInfoEn"_s)->trigger();
        QTRY_COMPARE(ended.size(), 1);
        qputenv("PATH", path);
        QFile file(asked);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().endsWith("qltcz.htm\n"));
    }

    // In Czech the other windows speak Czech too, and nothing is cut off: Devices with its
    // devices and the journal's columns, History, an upload under way, Find device and the IP
    // change dialog waiting for the device's answer. Nothing leaves this computer: the
    // searches, the TFTP client, the echo and the IP change's network are stand-ins.
    void czechDeviceWindowsFit() {
        QVERIFY(InstallUiTranslations(TUiLanguage::Czech));
        const auto uninstall = qScopeGuard([] {
            for (QTranslator *translator : qApp->findChildren<QTranslator *>()) {
                QCoreApplication::removeTranslator(translator);
                delete translator;
            }
        });
        const auto neverOpened = [](QWidget *, const TRelynIPChangeRequest &) {
            return std::optional<TRelynIPChangeResult>();
        };

        auto w = Start();
        // The second search: Hall north is gone, Cold store 2 has moved.
        auto later = std::make_shared<std::atomic<bool>>(false);
        w->SetDevicesSearch(FiveDevicesThenMoved(later));
        w->show();
        Child<QAction>(w.get(), "MMDevices")->trigger();
        TfDevices *devices = w->DevicesWindow();
        QVERIFY(devices);
        devices->SetChangeIPOpener(neverOpened);
        QTRY_COMPARE(devices->Model().rowCount(), 5);
        QTRY_VERIFY(!devices->Searching());
        QCOMPARE(devices->windowTitle(), u"Zařízení"_s);
        QVERIFY2(devices->LbStatus->text().startsWith(u"5 zařízení na eth0 a eth1 za "_s),
                 qPrintable(devices->LbStatus->text()));
        QCOMPARE(devices->BtnHelp->text(), u"Pomoc! Zařízení se nenašlo!"_s);
        // The journal's columns filled: an upload, an IP change and what the second search saw.
        QVERIFY(w->Journal()->Uploaded({u"00-1A-2B-00-00-11"_s, u"192.0.2.11"_s,
                                        u"/sites/Boiler_WEB1_02.pmf"_s, 4096, QString(), jfWeb,
                                        u"done"_s, QString(), u"verified"_s}) > 0);
        w->Journal()->IpChanged(u"00:1A:2B:00:00:40"_s, u"192.0.2.40"_s, u"192.0.2.41"_s,
                                u"done"_s);
        *later = true;
        QVERIFY(devices->Search());
        QTRY_VERIFY(!devices->Searching());
        const QAbstractItemModel *table = devices->TvDevices->model();
        QCOMPARE(table->headerData(TJournalColumns::jcChange, Qt::Horizontal).toString(),
                 u"Od posledního hledání"_s);
        QStringList changes;
        for (int row = 0; row < table->rowCount(); ++row)
            if (const QString change =
                    table->index(row, TJournalColumns::jcChange).data().toString();
                !change.isEmpty())
                changes << change;
        changes.sort();
        QCOMPARE(changes, (QStringList{u"přesunuto z 192.0.2.40"_s, u"zmizelo"_s}));
        QCOMPARE(devices->BtnHistory->text(), u"Hi&storie..."_s);
        devices->TvDevices->selectRow(2);
        QCOMPARE(CutOffCaptions(devices).join(u" | "_s), QString());
        // Wide enough for the journal's columns too, as a user would widen it.
        WidenToTable(devices, devices->TvDevices);
        SaveScreenshot(devices, u"devices-window-cs"_s);

        // History of every device: the event words and what each event did, in Czech.
        devices->TvDevices->clearSelection();
        std::unique_ptr<TfJournalHistory> history(devices->OpenHistory());
        QVERIFY(history);
        history->show();
        QVERIFY(QTest::qWaitForWindowExposed(history.get()));
        QCOMPARE(history->windowTitle(), u"Historie"_s);
        const QAbstractItemModel *rows = history->TvHistory->model();
        QCOMPARE(rows->headerData(1, Qt::Horizontal).toString(), u"Událost"_s);
        QStringList events;
        for (int row = 0; row < rows->rowCount(); ++row)
            events << rows->index(row, 1).data().toString() + u": "_s +
                          rows->index(row, 5).data().toString();
        QVERIFY2(events.contains(u"nahrání: web Boiler_WEB1_02.pmf: hotovo, ověřeno"_s) &&
                     events.contains(u"změna IP: na 192.0.2.41: hotovo"_s) &&
                     events.contains(u"hledání: přesunuto (firmware 3.07)"_s) &&
                     events.contains(u"hledání: poprvé viděno (firmware 4.12)"_s),
                 qPrintable(events.join(u" | "_s)));
        QCOMPARE(CutOffCaptions(history.get()).join(u" | "_s), QString());
        SaveScreenshot(history.get(), u"history-window-cs"_s);
        history.reset();

        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString client = temp.filePath(u"client"_s);
        // Every stage at once: done, restarting, sending and failed.
        WriteScript(client, "for last; do :; done\n"
                            "case \"$last\" in\n"
                            "*192.0.2.1[12]/*) printf '\\r######## 100.0%%\\n' ;;\n"
                            "*192.0.2.13/*) printf '\\r####    45.0%%'; exec sleep 30 ;;\n"
                            "*) echo 'curl: (69) TFTP: Access Violation' >&2; exit 69 ;;\n"
                            "esac\n");
        TUploadRequest request;
        for (int n = 11; n <= 14; ++n)
            request.Targets.append({u"192.0.2.%1"_s.arg(n), {}, {}, {}, true});
        request.File = temp.filePath(u"Station7_WEB1_01.pmf"_s);
        request.Settings.ClientProgram = client;
        request.Settings.RestartPauseMs = 100;
        request.Settings.Echo.OpenService = [] {
            return std::make_unique<TStandInEcho>();
        };
        QPointer<TfUpload> upload = TfUpload::Open(request, FDialogs);
        QVERIFY(upload);
        const auto stop = qScopeGuard([&upload] {
            if (upload)
                upload->BtnCancelClick();
            QTRY_VERIFY(!upload || !upload->Running());
            delete upload;
        });
        const auto cell = [&upload](int row, int column) {
            return upload->Model().index(row, column).data().toString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(cell(0, TUploadModel::ucOutcome) == u"hotovo"_s &&
                                     cell(1, TUploadModel::ucOutcome) == u"restartuje se"_s &&
                                     cell(2, TUploadModel::ucProgress) == u"Odesílání: 45 %"_s &&
                                     cell(3, TUploadModel::ucOutcome) == u"selhalo"_s,
                                 20000);
        QVERIFY(
            cell(1, TUploadModel::ucProgress).startsWith(u"Restart zařízení: nejvýše ještě "_s));
        QCOMPARE(upload->windowTitle(), u"Nahrát web do 4 zařízení"_s);
        // A check's names are listed in Czech too.
        TWebVerification differs;
        differs.Word = TWebVerification::vwDiffers;
        differs.Pages = differs.Answered = 6;
        differs.Differing = QStringList{u"a.htm"_s, u"b.htm"_s, u"c.htm"_s, u"d.htm"_s};
        differs.Missing = QStringList{u"logo.gif"_s, u"e.css"_s};
        QCOMPARE(TWebVerification::SummaryText(differs),
                 u"Zařízení neposkytuje nový webový soubor: a.htm, b.htm a 2 další se liší; "
                 "logo.gif a e.css chybí."_s);
        QCOMPARE(CutOffCaptions(upload).join(u" | "_s), QString());
        WidenToTable(upload, upload->findChild<QTableView *>(u"LvDevices"_s));
        SaveScreenshot(upload, u"upload-window-cs"_s);

        TfRelynSearchGUI find(nullptr, [](const QString &) { return FiveDevices().Devices; });
        find.SetSearchOptions(soAll);
        find.SetChangeIPOpener(neverOpened);
        find.show();
        QTRY_VERIFY(!find.Searching());
        QCOMPARE(find.windowTitle(), u"Hledat zařízení"_s);
        QCOMPARE(find.LvDeviceList->model()->rowCount(), 5);
        QCOMPARE(CutOffCaptions(&find).join(u" | "_s), QString());
        SaveScreenshot(&find, u"find-window-cs"_s);

        // The change goes to a scripted network; the dialog then looks for the device at its
        // new address with a stand-in search that never finds it, until the wait is cancelled.
        TScriptedNetwork net;
        TRelynIPChangeEnvironment environment = net.Environment();
        environment.Search = [](const QString &) {
            QThread::msleep(50);
            return QList<TRelynPar>();
        };
        environment.AnswerWaitMs = 60000;
        QStringList boxes;
        TfRelynIPChangeGUI change(
            nullptr, environment,
            [&boxes](QWidget *, qint32, const QString &text) { boxes << text; });
        change.show();
        QCOMPARE(change.windowTitle(), u"Změna IP adresy"_s);
        QCOMPARE(change.Texts().Messages.MsgChanged, u"IP adresa byla úspěšně změněna"_s);
        QCOMPARE(CutOffCaptions(&change).join(u" | "_s), QString());
        change.IPEdtAddress->SetText(u"192.0.2.50"_s);
        change.EdtMac->setText(u"00-1A-2B-00-00-40"_s);
        QTest::mouseClick(change.BBChange, Qt::LeftButton);
        QCOMPARE(net.Broadcasts.size(), 1);
        QVERIFY(change.WaitingForAnswer());
        QCOMPARE(change.LabAnswer->text(), u"Hledání zařízení na adrese 192.0.2.50 ..."_s);
        QCOMPARE(CutOffCaptions(&change).join(u" | "_s), QString());
        SaveScreenshot(&change, u"ip-change-window-cs"_s);
        change.reject();
        QVERIFY(!change.WaitingForAnswer());
        QCOMPARE(boxes.size(), 1);
    }

    void sourceFolderChooserAndExit() {
        auto w = Start();
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        FDialogs.FolderAnswer = u"/sites/logger"_s;
        QTest::mouseClick(Child<QPushButton>(w.get(), "BtnSelectSource"), Qt::LeftButton);
        QCOMPARE(FDialogs.FolderStarts, QStringList{FProgram});
        QCOMPARE(w->DirInName(), u"/sites/logger"_s);
        QCOMPARE(w->EdtFrom()->text(), u"/sites/logger"_s);
        FDialogs.FolderAnswer.clear(); // cancelled
        w->BtnSelectSourceClick();
        QCOMPARE(FDialogs.FolderStarts.last(), u"/sites/logger"_s);
        QCOMPARE(w->DirInName(), u"/sites/logger"_s);

        // A typed folder is taken over when the focus leaves the field, before a button acts.
        w->EdtFrom()->setFocus();
        w->EdtFrom()->selectAll();
        QTest::keyClicks(w->EdtFrom(), u"/typed"_s);
        QCOMPARE(w->DirInName(), u"/sites/logger"_s);
        QTest::mouseClick(w->BtnCreate(), Qt::LeftButton);
        QCOMPARE(w->DirInName(), u"/typed"_s);
        // An emptied field gets the program folder back.
        w->EdtFrom()->setFocus();
        w->EdtFrom()->clear();
        w->EdtWebFile()->setFocus();
        QCOMPARE(w->EdtFrom()->text(), FProgram);
        QCOMPARE(w->DirInName(), FProgram);
    }

    // A click on a button that starts an operation, then a key: the key changes no field, and
    // the focus is back on the button when the operation has ended. A failed Create leaves the
    // Web file field and the output tree as they were.
    void operationsKeepTypingOutOfTheFields() {
        qputenv("PATH", QByteArray(QUILLET_PROGRAM_DIR) + ':' + qgetenv("PATH"));
        const QString previousFolder = QDir::currentPath();
        // The TFTP client is looked for in the program folder first; this one fails after a
        // moment, and nothing is sent anywhere.
        WriteScript(FProgram + u"curl"_s, "sleep 0.5\nexit 1\n");
        auto w = Start();
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->IPEdtAddress()->SetText(u"127.0.0.1"_s);
        const QString webFile = w->EdtWebFile()->text();

        QTest::mouseClick(w->BtnUploadWeb(), Qt::LeftButton);
        QVERIFY(!w->BtnUploadWeb()->isEnabled());
        QVERIFY(!TakesText(QApplication::focusWidget()));
        Type(w.get(), u"x"_s);
        QCOMPARE(w->EdtFrom()->text(), FProgram);
        QCOMPARE(w->IPEdtAddress()->Text(), u"127.0.0.1"_s);
        QTRY_VERIFY_WITH_TIMEOUT(w->BtnUploadWeb()->isEnabled(), 20000);
        QCOMPARE(QApplication::focusWidget(), w->BtnUploadWeb());
        // The failed upload is in the site journal, though no search saw a device there.
        {
            TJournal journal(FProgram + u"journal.sqlite"_s);
            QVERIFY(journal.Open());
            const QList<TJournalEntry> uploads = journal.History();
            QCOMPARE(uploads.size(), 1);
            QCOMPARE(uploads[0].Kind, jeUpload);
            QCOMPARE(uploads[0].Upload.Address, u"127.0.0.1"_s);
            QCOMPARE(uploads[0].Upload.File, webFile);
            QCOMPARE(uploads[0].Upload.Mac, QString());
            QVERIFY(!uploads[0].Upload.Outcome.isEmpty() && uploads[0].Upload.Outcome != u"done"_s);
        }

        // A source folder that does not exist, typed into From; the packer fails on it.
        const QString missing = FProgram + u"Missing"_s;
        QTest::mouseClick(w->EdtFrom(), Qt::LeftButton);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        Type(w.get(), missing);
        QTest::mouseClick(w->BtnCreate(), Qt::LeftButton);
        QVERIFY(!w->BtnCreate()->isEnabled());
        QVERIFY(!TakesText(QApplication::focusWidget()));
        Type(w.get(), u"x"_s);
        QTRY_VERIFY_WITH_TIMEOUT(w->BtnCreate()->isEnabled(), 20000);
        QCOMPARE(QApplication::focusWidget(), w->BtnCreate());
        QCOMPARE(w->EdtFrom()->text(), missing);
        QCOMPARE(w->IPEdtAddress()->Text(), u"127.0.0.1"_s);
        QCOMPARE(InfoLines(*w).mid(InfoLines(*w).size() - 2),
                 (QStringList{u"Web file creating failed."_s, QString()}));
        QCOMPARE(w->EdtWebFile()->text(), webFile);
        QVERIFY(!QFileInfo::exists(FProgram + u"pmf"_s));
        QDir::setCurrent(previousFolder);

        w.reset();
        QFile ini(FProgram + u"qlt.ini"_s);
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray saved = ini.readAll();
        QVERIFY(saved.contains("DIN=" + missing.toUtf8() + '\n'));
        QVERIFY(saved.contains("WebFile=" + webFile.toUtf8() + '\n'));
    }

    // The upload captions are green while the buttons act, plainly disabled while they do not,
    // and readable on a dark palette too.
    void uploadButtonsShowWhetherTheyAct() {
        const QString shots = qEnvironmentVariable("QUILLET_SCREENSHOT_DIR");
        const auto restore =
            qScopeGuard([light = QApplication::palette()] { QApplication::setPalette(light); });
        for (const bool dark : {false, true}) {
            if (dark) {
                QPalette palette(QColor(0x35, 0x35, 0x35), QColor(0x2a, 0x2a, 0x2a));
                for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
                    palette.setColor(role, Qt::white);
                palette.setColor(QPalette::Disabled, QPalette::ButtonText, Qt::gray);
                QApplication::setPalette(palette);
            }
            auto w = Start({u"-brimo"_s});
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w.get()));
            for (QPushButton *button : {w->BtnUploadWeb(), w->BtnUploadFW()}) {
                const TCaptionColours on = CaptionColours(button->grab().toImage());
                QVERIFY2(Greenish(on.Caption), qPrintable(on.Caption.name()));
                QVERIFY2(std::abs(on.Caption.lightness() - on.Face.lightness()) >= 80,
                         qPrintable(on.Caption.name() + u" on "_s + on.Face.name()));
                button->setEnabled(false);
                const TCaptionColours off = CaptionColours(button->grab().toImage());
                QVERIFY2(!Greenish(off.Caption), qPrintable(off.Caption.name()));
            }
            // Upload web acting beside Upload FW disabled.
            w->BtnUploadWeb()->setEnabled(true);
            if (!shots.isEmpty())
                w->grab().save(shots + (dark ? u"/main-dark.png"_s : u"/main.png"_s));
        }
    }

    // A second start on the same settings opens no second window: the first one comes forward
    // and says that the program already runs; the second ends at once.
    void secondStartBringsTheFirstForward() {
        // A copy of the program in a folder of its own, whose settings are its own.
        const QString folder = FTemp->filePath(u"single/"_s);
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(QStringLiteral(QUILLET_PROGRAM_DIR "quillet"), folder + u"quillet"_s));
        TSingleInstance first(TStartup(TStartupInputs::FromSystem(folder, {})).IniPath());
        QVERIFY(first.Acquire());
        auto w = Start();
        w->show();
        connect(&first, &TSingleInstance::ShowRequested, w.get(), &TfQuillet::ShowAsAlreadyRunning);

        QProcess second;
        second.start(folder + u"quillet"_s, QStringList{});
        QTRY_COMPARE_WITH_TIMEOUT(FDialogs.Messages,
                                  QStringList{u"Quillet is already running: this is its window."_s},
                                  20000);
        // It may have ended while the message was awaited; waiting then would fail.
        QVERIFY(second.state() == QProcess::NotRunning || second.waitForFinished(60000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardError(),
                 QByteArray("Quillet is already running; its window has been brought to the "
                            "front.\n"));
        // Another settings file is another Quillet.
        TSingleInstance other(TStartup(TStartupInputs::FromSystem(FProgram, {})).IniPath());
        QVERIFY(other.Acquire());
    }

    // --help and --version are answered without a display and without the window.
    void helpAndVersionNeedNoDisplay() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(u"HOME"_s, FTemp->path());
        // The output of a run that ended by itself with status 0.
        auto run = [&environment](const QStringList &arguments) {
            QProcess quillet;
            quillet.setProcessEnvironment(environment);
            quillet.start(QStringLiteral(QUILLET_PROGRAM_DIR "quillet"), arguments);
            const bool ok = quillet.waitForFinished(30000) &&
                            quillet.exitStatus() == QProcess::NormalExit && quillet.exitCode() == 0;
            return ok ? quillet.readAllStandardOutput() : QByteArray("failed");
        };
        const QByteArray help = run({u"--help"_s});
        QVERIFY2(help.contains("--help") && help.contains("--version") && help.contains("-brimo"),
                 help.constData());
        QVERIFY2(help.startsWith("Usage: quillet [options]\nPacks a folder"), help.constData());
        // In the window's language, still without a display.
        const QByteArray czech = run({u"--help"_s, u"--language"_s, u"cs"_s});
        QVERIFY2(czech.startsWith("Použití: quillet [volby]\nZabalí složku") &&
                     czech.contains("Zobrazí tuto nápovědu."),
                 czech.constData());
        QCOMPARE(run({u"--version"_s}), QByteArray("Quillet 1.2.0.0\n"));
        QCOMPARE(run({u"-BRIMO"_s, u"--version"_s}), QByteArray("Quillet 1.2.0.0\n"));
    }

    void fileBrowsers() {
        auto w = Start({u"-brimo"_s});
        FDialogs.FileAnswer = u"/out/site_1.pmf"_s;
        w->BtnWebSourceClick();
        QCOMPARE(FDialogs.Filters.last(), u"web files (*.pmf)|*.pmf|all files|*.*"_s);
        QCOMPARE(FDialogs.FileStarts.last(), FProgram + u"pmf"_s);
        QCOMPARE(w->EdtWebFile()->text(), u"/out/site_1.pmf"_s);

        FDialogs.FileAnswer = u"/fw/a/x5.rom"_s;
        w->BtnBrowseFWClick();
        QCOMPARE(FDialogs.Filters.last(), u"firmware (*.rom)|*.rom"_s);
        QCOMPARE(FDialogs.FileStarts.last(), FProgram);
        QCOMPARE(w->EdtFWFile()->text(), u"/fw/a/x5.rom"_s);
        // The next firmware dialog starts where the last firmware file lies.
        FDialogs.FileAnswer.clear();
        w->BtnBrowseFWClick();
        QCOMPARE(FDialogs.FileStarts.last(), u"/fw/a"_s);
        QCOMPARE(w->EdtFWFile()->text(), u"/fw/a/x5.rom"_s);
        w->BtnWebSourceClick();
        QCOMPARE(w->EdtWebFile()->text(), u"/out/site_1.pmf"_s);
    }

    void filterConversion() {
        QCOMPARE(TDialogs::QtFilter(u"web files (*.pmf)|*.pmf|all files|*.*"_s),
                 u"web files (*.pmf);;all files (*)"_s);
        QCOMPARE(TDialogs::QtFilter(u"firmware (*.rom)|*.rom"_s), u"firmware (*.rom)"_s);
        QCOMPARE(TDialogs::QtFilter(u"pictures|*.png;*.gif"_s), u"pictures (*.png *.gif)"_s);
    }

    void settingsSurviveTwoRuns() {
        WriteIni("[label]\ncompany=ZARN\n[Unknown]\nkey=value\n");
        {
            auto w = Start({u"-brimo"_s});
            w->SetDirInName(u"/sites/a"_s);
            w->EdtWebFile()->setText(u"/out/a_ZA_3.pmf"_s);
            w->EdtFWFile()->setText(u"/fw/b.rom"_s);
            w->ChBBakDel()->setChecked(false);
        }
        auto w = Start();
        QCOMPARE(w->DirInName(), u"/sites/a"_s);
        QCOMPARE(w->EdtFrom()->text(), u"/sites/a"_s);
        QCOMPARE(w->EdtWebFile()->text(), u"/out/a_ZA_3.pmf"_s);
        QCOMPARE(w->EdtFWFile()->text(), u"/fw/b.rom"_s); // kept in standard mode too
        QVERIFY(!w->ChBBakDel()->isChecked());
        QCOMPARE(w->Startup().Brand(), u"ZARN"_s);
        w.reset();
        QFile file(FProgram + u"qlt.ini"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray saved = file.readAll();
        QVERIFY(saved.contains("[Unknown]\nkey=value"));
        QVERIFY(saved.contains("company=ZARN"));
    }

    void unwritableSettingsAtExit() {
        QDir().mkpath(FProgram + u"qlt.ini"_s);
        QFile config(FProgram + u"cil.cnf"_s);
        QVERIFY(config.open(QIODevice::WriteOnly)); // an empty file logs everything
        config.close();
        auto w = Start();
        QCOMPARE(w->windowTitle(), u"Quillet - 1.2.0.0"_s);
        w.reset(); // no crash, nothing written, the failure in the log and told to the user
        QVERIFY(QFileInfo(FProgram + u"qlt.ini"_s).isDir());
        QCOMPARE(FDialogs.Messages.size(), 1);
        QVERIFY(FDialogs.Messages[0].startsWith(u"The settings could not be saved to "_s +
                                                FProgram + u"qlt.ini:\n"_s));
        QFile log(FProgram + u"qlt.log"_s);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("Settings not saved: "));
    }

    // A settings file with a zero byte: what reads is used, the user is told once, and the
    // branding that follows the zero byte survives the exit.
    void settingsFileNotReadWholeIsLeftAlone() {
        const char raw[] = "[PATHS]\nDIN=/sites/a\n\0[label]\ncompany=ZARN\n";
        const QByteArray content(raw, sizeof raw - 1);
        WriteIni(content);
        QFile config(FProgram + u"cil.cnf"_s);
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.close();
        auto w = Start();
        QCOMPARE(w->DirInName(), u"/sites/a"_s);
        QCOMPARE(w->Startup().Brand(), u"ZARN"_s);
        const QStringList fault = InfoLines(*w).filter(u"could not be read whole"_s);
        QCOMPARE(fault.size(), 1);
        w->SetDirInName(u"/sites/b"_s);
        w.reset();
        QFile file(FProgram + u"qlt.ini"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
        QFile log(FProgram + u"qlt.log"_s);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count(fault.first().toUtf8()), 1);
    }

    // Installed for every user: the program folder is only read; the user's settings, log and
    // output tree live in the user's own folders, the branding stays the administrator's.
    void installedLayout() {
        const QByteArray sample = "[label]\ncompany=ZARN\n[GlobalTypes]\n4=Tank\n";
        WriteIni(sample);
        QVERIFY(QFile(FProgram + u"installed-layout"_s).open(QIODevice::WriteOnly));
        const QString settings = FTemp->filePath(u"config/quillet/qlt.ini"_s);
        const QString output = FTemp->filePath(u"local/quillet/pmf"_s);
        {
            auto w = Start();
            QCOMPARE(w->Startup().IniPath(), settings);
            QCOMPARE(w->EdtWebFile()->text(), output + u'/');
            w->BtnWebSourceClick();
            QCOMPARE(FDialogs.FileStarts.last(), output);
            w->SetDirInName(u"/sites/a"_s);
        }
        QFile file(settings);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray saved = file.readAll();
        QVERIFY(saved.contains("company=ZARN") && saved.contains("DIN=/sites/a"));
        file.close();
        // The administrator's branding counts, not the user's copy of it.
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(saved.replace("company=ZARN", "company=OTHER"));
        file.close();
        auto w = Start();
        QCOMPARE(w->Startup().Brand(), u"ZARN"_s);
        QCOMPARE(w->DirInName(), u"/sites/a"_s);
        QVERIFY(FDialogs.Messages.isEmpty());
        QFile program(FProgram + u"qlt.ini"_s);
        QVERIFY(program.open(QIODevice::ReadOnly));
        QCOMPARE(program.readAll(), sample);
        QVERIFY(!QFileInfo::exists(FProgram + u"pmf"_s));
    }

    void exitClosesTheWindow() {
        auto w = Start();
        w->show();
        w->findChild<QAction *>(u"MMExit"_s)->trigger();
        QVERIFY(!w->isVisible());
    }

    // Search opens the device window over the search it is given and hands the chosen row's
    // address to the address field; the ZARN brand passes its settings file for type names.
    void searchHandsTheChosenAddressToTheAddressField() {
        WriteIni("[label]\ncompany=ZARN\n");
        auto w = Start();
        QStringList typesFiles;
        w->SetDeviceSearch([&typesFiles](const QString &typesFile) {
            typesFiles << typesFile;
            TRelynPar first;
            first.IPAddress = u"192.0.2.12"_s;
            TRelynPar second;
            second.IPAddress = u"192.0.2.11"_s;
            return QList<TRelynPar>{first, second};
        });
        w->show();
        bool sorted = false;
        QTimer::singleShot(0, this, [&sorted] {
            auto *search = qobject_cast<TfRelynSearchGUI *>(QApplication::activeModalWidget());
            QVERIFY(search);
            QTRY_VERIFY(!search->Searching());
            QVERIFY(!search->BBChangeIP->isVisible());
            sorted =
                search->LvDeviceList->model()->index(0, 0).data().toString() == u"192.0.2.11"_s;
            search->LvDeviceList->selectRow(1);
            QTest::mouseClick(search->BBSelect, Qt::LeftButton);
        });
        QTest::mouseClick(w->BtnFindDevice(), Qt::LeftButton);
        QTRY_COMPARE(w->IPEdtAddress()->Text(), u"192.0.2.12"_s);
        QVERIFY(sorted);
        QCOMPARE(typesFiles, QStringList{FProgram + u"qlt.ini"_s});

        QTimer::singleShot(0, this, [] {
            auto *search = qobject_cast<TfRelynSearchGUI *>(QApplication::activeModalWidget());
            QVERIFY(search);
            QTRY_VERIFY(!search->Searching());
            QTest::mouseClick(search->BBCancel, Qt::LeftButton);
        });
        QTest::mouseClick(w->BtnFindDevice(), Qt::LeftButton);
        QCOMPARE(w->IPEdtAddress()->Text(), u"192.0.2.12"_s);
    }

    // A search of the Devices window through the real engine, over a network where nothing
    // answers: a range sweep that would take 20 s. Stop (the Search button meanwhile) and Esc
    // end it with the devices heard so far; Esc then closes the window. Quitting during one
    // leaves no search behind the closed window.
    void devicesSearchStopsAndQuitEndsIt() {
        struct TSilent : TRelynEndpoint {
            void SetRemoteHost(const QString &) override {}
            void SetRemotePort(std::uint16_t) override {}
            void Broadcast(const QByteArray &, std::uint16_t) override {}
            void Send(const QByteArray &) override {}
            TRelynDatagram Receive(int timeoutMs) override {
                QThread::msleep(static_cast<unsigned long>(timeoutMs));
                return {};
            }
        };
        auto w = Start();
        w->SetDevicesSearch([](const QString &, const TRelynSearchScope &asked) {
            TRelynSearchScope scope = asked;
            TRelynRange range;
            QString error;
            RelynParseRange(u"10.1.0.0/16"_s, range, error);
            scope.Ranges = {range};
            scope.Rate = 65534 / 20;
            TRelynSearch engine([] { return std::make_unique<TSilent>(); });
            engine.SetScope(scope);
            engine.Search();
            return TRelynSearchOutcome{engine.Results(), {}, 0, {}};
        });
        w->show();
        Child<QAction>(w.get(), "MMDevices")->trigger();
        TfDevices *devices = w->DevicesWindow();
        QVERIFY(devices && QTest::qWaitForWindowActive(devices));
        QVERIFY(devices->Searching());
        auto *button = Child<QPushButton>(devices, "BtnSearch");
        QCOMPARE(button->text(), u"S&top"_s);
        QVERIFY(button->isEnabled());
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!devices->Searching(), 1000);
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(button->text(), u"&Search"_s);
        QVERIFY2(devices->LbStatus->text().endsWith(u" (stopped)"_s),
                 qPrintable(devices->LbStatus->text()));

        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(devices->Searching());
        QTest::keyClick(devices->TvDevices, Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!devices->Searching(), 1000);
        QVERIFY(devices->isVisible());
        QTest::keyClick(devices->TvDevices, Qt::Key_Escape);
        QVERIFY(!devices->isVisible());

        Child<QAction>(w.get(), "MMDevices")->trigger();
        QVERIFY(QTest::qWaitForWindowActive(devices));
        QTest::keyClick(devices->TvDevices, Qt::Key_F5);
        QVERIFY(devices->Searching());
        w->findChild<QAction *>(u"MMExit"_s)->trigger();
        QVERIFY(!w->isVisible());
        clock.restart();
        w.reset();
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    }

    // Ctrl+D with the focus in a field opens the Devices window, which searches at once; F5
    // searches again and Ctrl+C copies the selected rows. With QUILLET_SCREENSHOT_DIR set the
    // window is saved there as devices-window-QUILLET_SCREENSHOT_NAME.png ("dark" takes a
    // dark palette).
    void devicesWindowByKeys() {
        const QString name = qEnvironmentVariable("QUILLET_SCREENSHOT_NAME", u"light"_s);
        const QString shots = qEnvironmentVariable("QUILLET_SCREENSHOT_DIR");
        const QPalette palette = QApplication::palette();
        const auto restore = qScopeGuard([&palette] { QApplication::setPalette(palette); });
        if (!shots.isEmpty() && name == u"dark"_s) {
            QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
            QApplication::setPalette(DarkPalette());
        }
        auto w = Start();
        auto searches = std::make_shared<std::atomic<int>>(0);
        auto moved = std::make_shared<std::atomic<bool>>(false);
        w->SetDevicesSearch([searches, moved](const QString &, const TRelynSearchScope &) {
            ++*searches;
            QThread::msleep(230);
            TRelynSearchOutcome outcome = FiveDevices();
            if (*moved)
                outcome.Devices[2].IPAddress = u"192.0.2.41"_s;
            return outcome;
        });
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->EdtFrom()->setFocus();
        QTest::keyClick(w->EdtFrom(), Qt::Key_D, Qt::ControlModifier);
        TfDevices *devices = w->DevicesWindow();
        QVERIFY(devices);
        QVERIFY(devices->isVisible());
        QTRY_COMPARE(devices->Model().rowCount(), 5);
        QTRY_VERIFY(!devices->Searching());
        QVERIFY(devices->LbStatus->text().startsWith(u"5 devices on eth0 and eth1 in 0."_s));
        QCOMPARE(searches->load(), 1);

        QVERIFY(QTest::qWaitForWindowActive(devices));
        QTest::keyClick(devices->TvDevices, Qt::Key_F5);
        QVERIFY(devices->Searching());
        QTRY_COMPARE(searches->load(), 2);
        QTRY_VERIFY(!devices->Searching());

        // The table sorts by address: 10.0.8.15 (out of reach) first, then 192.0.2.11.
        devices->TvDevices->setFocus();
        devices->TvDevices->selectRow(0);
        QTest::keyClick(devices->TvDevices, Qt::Key_Down, Qt::ShiftModifier);
        QApplication::clipboard()->clear();
        QTest::keyClick(devices->TvDevices, Qt::Key_C, Qt::ControlModifier);
        const QStringList copied =
            QApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(copied.size(), 3);
        QVERIFY(copied[1].startsWith(u"10.0.8.15\t"_s));
        QVERIFY(copied[2].startsWith(u"192.0.2.11\t"_s));

        // The window opened beside the main one, wholly on the screen. Ctrl+D in it, and File >
        // Devices..., keep that one window.
        QVERIFY(devices->screen()->availableGeometry().contains(devices->frameGeometry()));
        QVERIFY(devices->pos() != QPoint(0, 0));
        QSignalSpy opened(Child<QAction>(w.get(), "MMDevices"), &QAction::triggered);
        QTest::keyClick(devices->TvDevices, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(opened.size(), 1);
        Child<QAction>(w.get(), "MMDevices")->trigger();
        QCOMPARE(w->findChildren<TfDevices *>().size(), 1);
        QVERIFY(QTest::qWaitForWindowActive(devices));

        // After a change through "Help! My device wasn't found!" the list is searched again and
        // the moved device is selected at its new address.
        devices->SetChangeIPOpener([moved](QWidget *, const TRelynIPChangeRequest &request) {
            *moved = !request.HasStartAddress;
            return std::optional(TRelynIPChangeResult{u"00:1A:2B:00:00:40"_s, u"192.0.2.41"_s});
        });
        QTest::mouseClick(devices->BtnHelp, Qt::LeftButton);
        QVERIFY(devices->Searching());
        QTRY_VERIFY(!devices->Searching());
        QCOMPARE(devices->SelectedDevices().size(), 1);
        QCOMPARE(devices->SelectedDevices()[0].IPAddress, u"192.0.2.41"_s);

        if (!shots.isEmpty()) {
            devices->TvDevices->clearSelection();
            devices->TvDevices->selectRow(2);
            QTest::qWait(200);
            QVERIFY(devices->grab().save(shots + u"/devices-window-"_s + name + u".png"_s));
        }

        // A device out of reach is given a free address of its interface's network in one
        // step: the dialog opens with the proposal, and the device is then selected there.
        QString proposedFor;
        devices->SetAddressProposer([&proposedFor](const TRelynPar &device) {
            proposedFor = device.Interface;
            return TFreeAddressProposal{0xC6336AFD, {}};
        });
        TRelynIPChangeRequest asked;
        devices->SetChangeIPOpener([&asked](QWidget *, const TRelynIPChangeRequest &r) {
            asked = r;
            return std::optional(TRelynIPChangeResult{r.MACAddress, r.IPAddress});
        });
        devices->TvDevices->setFocus();
        devices->TvDevices->selectRow(0);
        QCOMPARE(devices->SelectedDevices()[0].IPAddress, u"10.0.8.15"_s);
        QVERIFY(!devices->SelectedDevices()[0].Reachable);
        const QString mac = devices->SelectedDevices()[0].MACAddress;
        devices->Rescue();
        QCOMPARE(proposedFor, u"eth1"_s);
        QCOMPARE(asked.IPAddress, u"198.51.106.253"_s);
        QCOMPARE(asked.MACAddress, mac);
        QVERIFY(devices->Searching());
        QTRY_VERIFY(!devices->Searching());

        // Enter on a row uses its address in the main window.
        devices->TvDevices->setFocus();
        devices->TvDevices->selectRow(1);
        QTest::keyClick(devices->TvDevices, Qt::Key_Return);
        QCOMPARE(w->IPEdtAddress()->Text(), u"192.0.2.11"_s);
        // Several ranges, by blanks or commas; more than a /16 in all is refused.
        devices->EdtRange->setFocus();
        devices->EdtRange->setText(u"10.0.0.0/15"_s);
        QTest::keyClick(devices->EdtRange, Qt::Key_Return);
        QVERIFY(!devices->Searching());
        QVERIFY2(devices->LbStatus->text().contains(u"at most a /16"_s),
                 qPrintable(devices->LbStatus->text()));
        devices->EdtRange->setText(u"192.0.2.0/25, 198.51.100.7 203.0.113.0/30"_s);
        QTest::keyClick(devices->EdtRange, Qt::Key_Return);
        QVERIFY(devices->Searching());
        QTRY_VERIFY(!devices->Searching());
        // Esc closes the window, and so does Ctrl+W.
        QTest::keyClick(devices->TvDevices, Qt::Key_Escape);
        QVERIFY(!devices->isVisible());
        Child<QAction>(w.get(), "MMDevices")->trigger();
        QVERIFY(QTest::qWaitForWindowActive(devices));
        QTest::keyClick(devices->TvDevices, Qt::Key_W, Qt::ControlModifier);
        QVERIFY(!devices->isVisible());
        // Export... adds the chosen type's extension to a name typed without one.
        QCOMPARE(TDialogs::WithFilterSuffix(u"/tmp/devices"_s, u"JSON files (*.json)"_s),
                 u"/tmp/devices.json"_s);
        QCOMPARE(TDialogs::WithFilterSuffix(u"/tmp/devices.txt"_s, u"JSON files (*.json)"_s),
                 u"/tmp/devices.txt"_s);
    }

    // The Find window's and the Devices window's searches go into the site journal beside the
    // program, each under its scope, and so does a change the IP change dialog made; a journal
    // that cannot be written is said once in Info while the searches go on.
    void windowsRecordInTheSiteJournal() {
        auto w = Start();
        w->SetDeviceSearch([](const QString &) { return FiveDevices().Devices.mid(0, 2); });
        // The second broadcast: Hall north is gone, Cold store 2 has moved.
        auto later = std::make_shared<std::atomic<bool>>(false);
        w->SetDevicesSearch(FiveDevicesThenMoved(later));
        w->show();
        QTimer::singleShot(0, this, [] {
            auto *search = qobject_cast<TfRelynSearchGUI *>(QApplication::activeModalWidget());
            QVERIFY(search);
            QTRY_VERIFY(!search->Searching());
            QTest::mouseClick(search->BBCancel, Qt::LeftButton);
        });
        QTest::mouseClick(w->BtnFindDevice(), Qt::LeftButton);
        Child<QAction>(w.get(), "MMDevices")->trigger();
        TfDevices *devices = w->DevicesWindow();
        QTRY_COMPARE(devices->Model().rowCount(), 5);
        QTRY_VERIFY(!devices->Searching());
        devices->EdtRange->setText(u"192.0.2.0/24"_s);
        QTest::keyClick(devices->EdtRange, Qt::Key_Return);
        QTRY_VERIFY(!devices->Searching());

        TJournal journal(FProgram + u"journal.sqlite"_s);
        QVERIFY(journal.Open());
        QCOMPARE(journal.KnownDevices().size(), 5);
        // The Devices window's broadcast follows the Find window's: three devices are new.
        const QList<TJournalMarked> marks = journal.Marks();
        QCOMPARE(marks.size(), 3);
        for (const TJournalMarked &mark : marks)
            QCOMPARE(mark.Marks, int(jmNew | jmFirstSeen));
        // A range is a scope of its own, here searched for the first time.
        TRelynSearchScope range;
        QString error;
        QVERIFY(RelynParseRangeList(u"192.0.2.0/24"_s, range.Ranges, error));
        QCOMPARE(journal.Marks(TJournalRecorder::ScopeText(range)).size(), 5);

        // Every change the dialog sent is recorded, a failed one in its own words.
        const TJournalRecorder::TIpChangeSink tell = TJournalRecorder::IpChanges(w->Journal());
        QVERIFY(tell);
        tell(u"00:1A:2B:00:00:40"_s, u"192.0.2.40"_s, u"192.0.2.50"_s,
             u"Selected IP address already exists."_s);
        tell(u"00-1a-2b-00-00-40"_s, u"192.0.2.40"_s, u"192.0.2.50"_s, u"done"_s);
        TJournalFilter moved;
        moved.Macs = {u"00-1A-2B-00-00-40"_s};
        const QList<TJournalEntry> history = journal.History(moved);
        QCOMPARE(history.size(), 3);
        QCOMPARE(history[0].Kind, jeIpChange);
        QCOMPARE(history[0].IpChange, (TJournalIpChange{u"00-1A-2B-00-00-40"_s, u"192.0.2.40"_s,
                                                        u"192.0.2.50"_s, u"done"_s}));
        QCOMPARE(history[1].IpChange.Outcome, u"Selected IP address already exists."_s);
        QVERIFY(!InfoLines(*w).join(u'\n').contains(u"journal"_s));

        // The table after a second broadcast: what changed since the first one, the gone
        // device greyed in its place and never among those acted on.
        *later = true;
        devices->EdtRange->clear();
        QVERIFY(devices->Search());
        QTRY_VERIFY(!devices->Searching());
        const QAbstractItemModel *table = devices->TvDevices->model();
        QCOMPARE(table->rowCount(), 5);
        QCOMPARE(devices->ShownDevices().size(), 4);
        QStringList changes;
        for (int row = 0; row < table->rowCount(); ++row) {
            const QString change = table->index(row, TJournalColumns::jcChange).data().toString();
            if (!change.isEmpty())
                changes << table->index(row, rcIPAddress).data().toString() + u' ' + change;
            QCOMPARE(table->index(row, 0).data(TRelynDeviceModel::ReachableRole).toBool(),
                     change != u"gone"_s &&
                         !table->index(row, 0).data().toString().startsWith(u"10."_s));
        }
        QCOMPARE(changes,
                 (QStringList{u"192.0.2.12 gone"_s, u"192.0.2.41 moved from 192.0.2.40"_s}));
        // Names are typed into the table and kept by MAC address; the last upload is shown.
        TJournalUpload upload;
        upload.Mac = u"00-1A-2B-00-00-11"_s;
        upload.Address = u"192.0.2.11"_s;
        upload.File = u"/sites/Boiler_WEB1_02.pmf"_s;
        upload.Outcome = u"done"_s;
        QVERIFY(w->Journal()->Uploaded(upload) > 0);
        QVERIFY(devices->Search());
        QTRY_VERIFY(!devices->Searching());
        QCOMPARE(table->index(0, rcIPAddress).data().toString(), u"10.0.8.15"_s);
        QCOMPARE(table->index(1, rcIPAddress).data().toString(), u"192.0.2.11"_s);
        QVERIFY(table->index(1, TJournalColumns::jcLastUpload)
                    .data()
                    .toString()
                    .startsWith(u"Boiler_WEB1_02.pmf, "_s));
        devices->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(devices));
        devices->TvDevices->setFocus();
        devices->TvDevices->setCurrentIndex(table->index(1, TJournalColumns::jcName));
        QTest::keyClick(devices->TvDevices, Qt::Key_F2);
        QTest::keyClicks(QApplication::focusWidget(), u"Boiler <b>1</b>"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        // The delegate commits from the event loop.
        QTRY_COMPARE(journal.Label(u"00-1A-2B-00-00-11"_s).Name, u"Boiler <b>1</b>"_s);
        QCOMPARE(table->index(1, TJournalColumns::jcName).data().toString(), u"Boiler <b>1</b>"_s);
        // A name that would turn the text after it around, or ring a terminal, shows its
        // marks; the editor gets it as it is.
        const QString hostile = u"Boiler <b>1</b>\u202E\x07"_s;
        QVERIFY(journal.SetName(u"00-1A-2B-00-00-11"_s, hostile));
        QVERIFY(devices->Search());
        QTRY_VERIFY(!devices->Searching());
        QCOMPARE(table->index(1, TJournalColumns::jcName).data().toString(),
                 u"Boiler <b>1</b>\uFFFD\uFFFD"_s);
        QCOMPARE(table->index(1, TJournalColumns::jcName).data(Qt::EditRole).toString(), hostile);

        // History of the selected device, newest first, and its export.
        devices->TvDevices->selectRow(1);
        std::unique_ptr<TfJournalHistory> shown(devices->OpenHistory());
        QVERIFY(shown);
        QCOMPARE(shown->Entries().size(), 2);
        QCOMPARE(shown->Entries()[0].Kind, jeUpload);
        QCOMPARE(shown->Entries()[1].Changes, int(jcFirstSeen));
        QCOMPARE(shown->TvHistory->model()->index(0, 3).data().toString(),
                 u"Boiler <b>1</b>\uFFFD\uFFFD"_s);
        const QString exported = FTemp->filePath(u"shown.json"_s);
        QVERIFY(shown->ExportTo(exported));
        QFile json(exported);
        QVERIFY(json.open(QIODevice::ReadOnly));
        const QJsonArray rows = QJsonDocument::fromJson(json.readAll()).array();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].toObject().value(u"file"_s).toString(), u"/sites/Boiler_WEB1_02.pmf"_s);
        devices->TvDevices->clearSelection();
        shown.reset(devices->OpenHistory());
        QCOMPARE(shown->Entries().size(), journal.History().size());
        shown.reset();
        w.reset();

        // A folder in the journal's place.
        for (const QString &suffix : {u""_s, u"-wal"_s, u"-shm"_s})
            QFile::remove(FProgram + u"journal.sqlite"_s + suffix);
        QVERIFY(QDir().mkpath(FProgram + u"journal.sqlite/"_s));
        w = Start();
        w->SetDevicesSearch(
            [](const QString &, const TRelynSearchScope &) { return FiveDevices(); });
        w->show();
        Child<QAction>(w.get(), "MMDevices")->trigger();
        devices = w->DevicesWindow();
        QTRY_COMPARE(devices->Model().rowCount(), 5);
        QTRY_VERIFY(!devices->Searching());
        QVERIFY(devices->Search());
        QTRY_VERIFY(!devices->Searching());
        QCOMPARE(devices->Model().rowCount(), 5);
        QCOMPARE(InfoLines(*w).filter(u"journal"_s).size(), 1);
    }

    void aboutWindowByBrand_data() {
        QTest::addColumn<QString>("brand");
        QTest::addColumn<bool>("makerLogo");
        QTest::addColumn<bool>("zarnLogo");
        QTest::addColumn<QString>("credits");
        QTest::newRow("BRIMO") << u"BRIMO"_s << true << false << TfQuillet::MakerCredits();
        QTest::newRow("ZARN") << u"ZARN"_s << false << true << TfQuillet::ZarnCredits();
        QTest::newRow("other") << u"Acme"_s << false << false << TfQuillet::MakerCredits();
    }
    void aboutWindowByBrand() {
        QFETCH(QString, brand);
        QFETCH(bool, makerLogo);
        QFETCH(bool, zarnLogo);
        QFETCH(QString, credits);
        WriteIni("[label]\ncompany=" + brand.toUtf8() + "\n");
        auto w = Start();
        // What the window showed, taken while it is open and checked once it is closed.
        struct {
            bool Seen = false;
            QString Title, AppTitle, Version, Info;
            QSize Size;
            bool MakerLogo = false, ZarnLogo = false, LogosLoaded = false, InfoFits = false;
        } shown;
        QTimer::singleShot(0, w.get(), [&] {
            auto *about = qobject_cast<TfAbout *>(QApplication::activeModalWidget());
            if (!about)
                return;
            shown.Seen = true;
            shown.Title = about->windowTitle();
            shown.Size = about->size();
            shown.AppTitle = about->LabAppTitle()->text();
            shown.Version = about->LabAppVer()->text();
            shown.Info = about->LabInfo()->text();
            shown.MakerLogo = about->ImgLogo()->isVisible();
            shown.ZarnLogo = about->ImgLogoZarn()->isVisible();
            shown.LogosLoaded =
                !about->ImgLogo()->pixmap().isNull() && !about->ImgLogoZarn()->pixmap().isNull();
            const QSize need = about->LabInfo()->sizeHint();
            shown.InfoFits =
                need.width() <= about->LabInfo()->width() &&
                need.height() <= about->LabInfo()->height() &&
                about->LabAppTitle()->sizeHint().width() <= about->LabAppTitle()->width();
            const QString shots = qEnvironmentVariable("QUILLET_SCREENSHOT_DIR");
            if (!shots.isEmpty())
                about->grab().save(shots + u"/about-"_s + brand + u".png"_s);
            QTest::mouseClick(Child<QPushButton>(about, "BtnOK"), Qt::LeftButton);
        });
        // Closes the window should the check above not find it, so the test cannot hang.
        QTimer::singleShot(2000, w.get(), [] {
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        });
        w->findChild<QAction *>(u"MMHelpAbout"_s)->trigger();
        QVERIFY(shown.Seen);
        QCOMPARE(shown.Title, u"About"_s);
        QCOMPARE(shown.Size, QSize(425, 177));
        QCOMPARE(shown.AppTitle, u"Quillet"_s);
        QCOMPARE(shown.Version, u"1.2.0.0"_s);
        QCOMPARE(shown.Info, credits);
        QCOMPARE(shown.Info.count(u'\n'), 3);
        QCOMPARE(shown.MakerLogo, makerLogo);
        QCOMPARE(shown.ZarnLogo, zarnLogo);
        QVERIFY(shown.LogosLoaded);
        QVERIFY(shown.InfoFits);
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TQuilletWindowTest)
#include "quillet_window_test.moc"
