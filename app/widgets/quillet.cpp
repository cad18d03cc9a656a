#include "app/widgets/quillet.h"

#include "app/widgets/objectnames.h"
#include "app/widgets/uploadwindow.h"

#include "app/core/deviceswindowstate.h"
#include "app/core/documentopener.h"
#include "app/core/responsivedelay.h"
#include "app/widgets/about.h"
#include "app/widgets/deviceswindow.h"
#include "app/widgets/dialogs.h"
#include "app/widgets/windowreport.h"
#include "app/workflows/journalrecorder.h"
#include "app/workflows/verifiedupload.h"
#include "app/workflows/webfilecreator.h"
#include "discovery/relynnoreply.h"
#include "discovery/relynsearchgui.h"
#include "ipassign/ipedit.h"
#include "ipassign/relynipchangegui.h"
#include "support/brimolog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTextBlock>

namespace {
const QString KBrandBrimo = QStringLiteral("BRIMO");
const QString KBrandZarn = QStringLiteral("ZARN");
const char *const KWebFilter =
    QT_TRANSLATE_NOOP("TfQuillet", "web files (*.pmf)|*.pmf|all files|*.*");
const char *const KFirmwareFilter = QT_TRANSLATE_NOOP("TfQuillet", "firmware (*.rom)|*.rom");
// Standard mode hides the firmware row; the window is this much lower.
constexpr int KFirmwareRowHeight = 30;

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, int left, int top) {
    auto *label = Named(new QLabel(text, parent), name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QLineEdit *MakeEdit(QWidget *parent, const char *name, int left, int top, int width) {
    auto *edit = Named(new QLineEdit(parent), name);
    edit->setGeometry(left, top, width, 21);
    return edit;
}

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &text, QRect geometry) {
    auto *button = Named(new QPushButton(text, parent), name);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

// The positions are made for a narrower 8-point font than most Linux desktops have; a caption
// that would run into its neighbour moves left just enough to stay whole.
void FitLeftOf(QWidget *widget, int rightLimit) {
    if (widget->x() + widget->width() > rightLimit)
        widget->move(std::max(2, rightLimit - widget->width()), widget->y());
}

void MoveUp(QWidget *widget, int pixels) {
    widget->move(widget->x(), widget->y() - pixels);
}
} // namespace

TfQuillet::TfQuillet(const TStartupInputs &inputs, TDialogs &dialogs, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint)
    , FDialogs(dialogs)
    , FStartup(inputs)
    , FOpener(new TDocumentOpener(QStringLiteral("xdg-open"), this)) {
    connect(FOpener, &TDocumentOpener::Finished, this, &TfQuillet::HelpPageEnded);
    setObjectName(QStringLiteral("fQuillet"));
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    BuildControls();
    BuildMenu();
    FormCreate();
}

TfQuillet::~TfQuillet() {
    FormDestroy();
    // Upload windows may outlive this one's members for a moment; they record, but say nothing.
    FJournal->SetMessageSink({});
}

void TfQuillet::FormCreate() {
    FStartup.CreateFolders();
    FLog = std::make_unique<TBrimoLog>(FStartup.LogPath(), FStartup.Places().LogConfig);
    FJournal = std::make_shared<TJournalRecorder>(FStartup.Places().Journal);
    FJournal->SetMessageSink([this](const QString &message) { AddInfo(message); });
    setWindowTitle(FStartup.Caption());
    const TUserSettings settings = FStartup.LoadSettings();
    FDirInName = settings.DirInName;
    FEdtWebFile->setText(settings.WebFile);
    FEdtFWFile->setText(settings.FWFile);
    FChBBakDel->setChecked(settings.BakDel);
    FEdtFrom->setText(FDirInName);
    if (!settings.DeviceAddress.isEmpty())
        FIPEdtAddress->SetText(settings.DeviceAddress);
    FParallelUploads = settings.ParallelUploads;
    if (const QString &fault = FStartup.SettingsFault(); !fault.isEmpty()) {
        AddInfo(fault);
        FLog->WriteLineIf({woCommon}, fault);
    }
    ApplyModeLayout();
    ApplyBrandMenus();
    setAcceptDrops(true);
    SetResponsiveDelayCallback([] { QCoreApplication::processEvents(); });

    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfQuillet::FormDestroy() {
    SetResponsiveDelayCallback({});
    if (FDevices)
        SaveDevicesWindowState(FStartup.IniPath(), FDevices->State());
    QString error;
    if (!FStartup.SaveSettings(CurrentSettings(), &error)) {
        FLog->WriteLineIf({woCommon}, QStringLiteral("Settings not saved: ") + error);
        // The user's choices would be lost without a word otherwise.
        FDialogs.Message(
            this, TDialogs::mkError, FStartup.AppName(),
            tr("The settings could not be saved to %1:\n%2").arg(FStartup.IniPath(), error));
    }
    FLog.reset();
}

void TfQuillet::BuildControls() {
    FPnlBackground = Named(new QWidget(this), "PnlBackground");
    FPnlBackground->setFixedSize(600, 353);
    setCentralWidget(FPnlBackground);
    QWidget *pnl = FPnlBackground;
    ApplyStyleSheet();

    FGBFiles = Named(new QGroupBox(tr("Files"), pnl), "GBFiles");
    FGBFiles->setGeometry(2, 0, 593, 153);
    FLabFrom = MakeLabel(FGBFiles, "LabFrom", tr("From:"), 24, 36);
    FEdtFrom = MakeEdit(FGBFiles, "EdtFrom", 72, 32, 409);
    FEdtFrom->installEventFilter(this);
    FBtnSelectSource = MakeButton(FGBFiles, "BtnSelectSource", tr("Source"), {496, 30, 75, 25});
    FLabWebFile = MakeLabel(FGBFiles, "LabWebFile", tr("Web file:"), 24, 76);
    FEdtWebFile = MakeEdit(FGBFiles, "EdtWebFile", 72, 72, 409);
    FEdtWebFile->installEventFilter(this);
    FBtnWebSource = MakeButton(FGBFiles, "BtnWebSource", QStringLiteral("..."), {496, 70, 25, 25});
    FLabFWFile = MakeLabel(FGBFiles, "LabFWFile", tr("FW:"), 24, 112);
    FEdtFWFile = MakeEdit(FGBFiles, "EdtFWFile", 72, 108, 409);
    FBtnBrowseFW = MakeButton(FGBFiles, "BtnBrowseFW", tr("Browse"), {496, 106, 75, 25});
    // A file dropped anywhere on the window goes to the field its kind belongs in, not as
    // text into the field under the pointer.
    for (QLineEdit *edit : {FEdtFrom, FEdtWebFile, FEdtFWFile})
        edit->setAcceptDrops(false);

    FInfo = Named(new QPlainTextEdit(pnl), "Info");
    FInfo->setGeometry(2, 161, 369, 124);
    FInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    FInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FInfo->setReadOnly(true);
    // The lines can be selected and copied with the keyboard as well, e.g. for a report.
    FInfo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    FRGRewriteBox = Named(new QGroupBox(tr("Web file"), pnl), "RGRewrite");
    FRGRewriteBox->setGeometry(378, 160, 217, 41);
    FRGRewrite = new QButtonGroup(this);
    auto *newVersion =
        Named(new QRadioButton(tr("New version"), FRGRewriteBox), "RGRewriteNewVersion");
    newVersion->setGeometry(8, 18, 100, 18);
    auto *rewriteLast =
        Named(new QRadioButton(tr("Rewrite last"), FRGRewriteBox), "RGRewriteRewriteLast");
    rewriteLast->setGeometry(112, 18, 100, 18);
    FRGRewrite->addButton(newVersion, rwNewVersion);
    FRGRewrite->addButton(rewriteLast, rwRewriteLast);
    newVersion->setChecked(true);

    FGBBakFiles = Named(new QGroupBox(tr("*.bak files"), pnl), "GBBakFiles");
    FGBBakFiles->setGeometry(378, 208, 217, 41);
    FChBBakDel =
        Named(new QCheckBox(tr("Delete *.bak files from source"), FGBBakFiles), "ChBBakDel");
    FChBBakDel->move(24, 16);
    FChBBakDel->resize(FChBBakDel->sizeHint().width(), 18);
    FChBBakDel->setChecked(true);

    FBtnCreate = MakeButton(pnl, "BtnCreate", tr("C r e a t e"), {378, 259, 217, 25});

    FGBUpload = Named(new QGroupBox(tr("Upload"), pnl), "GBUpload");
    FGBUpload->setGeometry(2, 288, 593, 57);
    FLabIP = MakeLabel(FGBUpload, "LabIP", tr("IP:"), 48, 22);
    FIPEdtAddress = Named(new TIPEdit(FGBUpload), "IPEdtAddress");
    FIPEdtAddress->setGeometry(72, 20, 125, 20);
    FBtnFindDevice = MakeButton(FGBUpload, "BtnFindDevice", tr("Search"), {216, 18, 75, 25});
    FBtnUploadWeb = MakeButton(FGBUpload, "BtnUploadWeb", tr("Upload web"), {416, 18, 75, 25});
    FBtnUploadFW = MakeButton(FGBUpload, "BtnUploadFW", tr("Upload FW"), {496, 18, 75, 25});
    // A translated caption may need more than the 75 pixels of the English one: the two
    // buttons then grow to the left, keeping the group's right margin and their gap.
    if (FBtnUploadWeb->text() != QStringLiteral("Upload web")) {
        int width = 75;
        for (const QPushButton *button : {FBtnUploadWeb, FBtnUploadFW})
            width = std::max(
                width,
                button->fontMetrics().horizontalAdvance(QString(button->text()).remove(u'&')) + 10);
        FBtnUploadFW->setGeometry(571 - width, 18, width, 25);
        FBtnUploadWeb->setGeometry(FBtnUploadFW->x() - 5 - width, 18, width, 25);
    }
    // Two test buttons that users never see.
    MakeButton(FGBUpload, "BtnTest", QStringLiteral("Test"), {300, 18, 50, 25})->hide();
    MakeButton(FGBUpload, "BtnTestDir", QStringLiteral("TestDir"), {350, 18, 50, 25})->hide();

    for (QLabel *label : {FLabFrom, FLabWebFile, FLabFWFile})
        FitLeftOf(label, FEdtFrom->x() - 3);
    FitLeftOf(FLabIP, FIPEdtAddress->x() - 3);
    FitLeftOf(FChBBakDel, FGBBakFiles->width() - 4);

    connect(FBtnSelectSource, &QPushButton::clicked, this, &TfQuillet::BtnSelectSourceClick);
    connect(FBtnWebSource, &QPushButton::clicked, this, &TfQuillet::BtnWebSourceClick);
    connect(FBtnBrowseFW, &QPushButton::clicked, this, &TfQuillet::BtnBrowseFWClick);
    connect(FBtnCreate, &QPushButton::clicked, this, &TfQuillet::BtnCreateClick);
    connect(FBtnFindDevice, &QPushButton::clicked, this, &TfQuillet::BtnFindDeviceClick);
    connect(FBtnUploadWeb, &QPushButton::clicked, this, &TfQuillet::BtnUploadWebClick);
    connect(FBtnUploadFW, &QPushButton::clicked, this, &TfQuillet::BtnUploadFWClick);
}

void TfQuillet::ApplyStyleSheet() {
    // The upload captions are green only while the buttons act, so a disabled one shows the
    // palette's disabled text. On a dark palette the usual dark green would hardly be seen.
    const bool dark = palette().color(QPalette::Button).lightness() < 128;
    const QString green = dark ? QStringLiteral("#66dd66") : QStringLiteral("#008000");
    // Group box captions sit on the frame line, so the positions inside the boxes leave room
    // for one caption line at the top and no more. Under a style sheet fonts no longer pass
    // from parent to child, so the fonts are given here as well.
    const QString sheet =
        QStringLiteral(
            "QWidget { font-family: \"Sans Serif\"; font-size: 8pt; }"
            "QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: 6px; }"
            "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
            " left: 8px; padding: 0 2px; }"
            "#BtnCreate { font-size: 10pt; font-weight: bold; }"
            "#BtnUploadWeb, #BtnUploadFW { font-weight: bold; }"
            "#BtnUploadWeb:enabled, #BtnUploadFW:enabled { color: %1; }")
            .arg(green);
    FPnlBackground->setStyleSheet(sheet);
}

void TfQuillet::BuildMenu() {
    QStyle *style = this->style();
    FMMFile = Named(menuBar()->addMenu(tr("&File")), "MMFile");
    FMMDevices =
        Named(FMMFile->addAction(style->standardIcon(QStyle::SP_ComputerIcon), tr("&Devices...")),
              "MMDevices");
    FMMDevices->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    connect(FMMDevices, &QAction::triggered, this, &TfQuillet::MMDevicesClick);
    FMMCancel = Named(
        FMMFile->addAction(style->standardIcon(QStyle::SP_BrowserStop), tr("&Cancel operation")),
        "MMCancel");
    FMMCancel->setShortcut(QKeySequence(Qt::Key_Escape));
    FMMCancel->setEnabled(false);
    connect(FMMCancel, &QAction::triggered, this, &TfQuillet::MMCancelClick);
    FMMFile->addSeparator();
    QAction *exit =
        Named(FMMFile->addAction(style->standardIcon(QStyle::SP_DialogCloseButton), tr("&Exit")),
              "MMExit");
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exit, &QAction::triggered, this, &TfQuillet::MMExitClick);

    FMMHelp = Named(menuBar()->addMenu(tr("&Help")), "MMHelp");
    FMMHelpReadme = Named(new QMenu(QStringLiteral("Quillet"), FMMHelp), "MMHelpReadme");
    FMMHelpReadme->setIcon(style->standardIcon(QStyle::SP_DialogHelpButton));
    FMMHelpReadmeAction = FMMHelp->addMenu(FMMHelpReadme);
    QAction *english = Named(FMMHelpReadme->addAction(tr("&English")), "MMHelpReadmeEN");
    connect(english, &QAction::triggered, this, &TfQuillet::MMHelpReadmeENClick);
    QAction *czech = Named(FMMHelpReadme->addAction(tr("&Czech")), "MMHelpReadmeCZ");
    connect(czech, &QAction::triggered, this, &TfQuillet::MMHelpReadmeCZClick);
    FMMHelpInfoEn =
        Named(FMMHelp->addAction(style->standardIcon(QStyle::SP_DialogHelpButton), tr("Info")),
              "MMHelpInfoEn");
    connect(FMMHelpInfoEn, &QAction::triggered, this, &TfQuillet::MMHelpInfoEnClick);
    Named(FMMHelp->addSeparator(), "N1");
    QAction *about = Named(
        FMMHelp->addAction(style->standardIcon(QStyle::SP_MessageBoxInformation), tr("&About")),
        "MMHelpAbout");
    connect(about, &QAction::triggered, this, &TfQuillet::MMHelpAboutClick);
}

void TfQuillet::ApplyModeLayout() {
    if (InternalMode())
        return;
    for (QWidget *widget :
         std::initializer_list<QWidget *>{FLabFWFile, FEdtFWFile, FBtnBrowseFW, FBtnUploadFW})
        widget->hide();
    FBtnUploadWeb->move(496, FBtnUploadWeb->y());
    FGBFiles->resize(FGBFiles->width(), FGBFiles->height() - KFirmwareRowHeight);
    for (QWidget *widget :
         std::initializer_list<QWidget *>{FInfo, FRGRewriteBox, FGBBakFiles, FBtnCreate, FGBUpload})
        MoveUp(widget, KFirmwareRowHeight);
    FPnlBackground->setFixedSize(600, 353 - KFirmwareRowHeight);
}

void TfQuillet::ApplyBrandMenus() {
    FMMHelpReadmeAction->setVisible(FStartup.Brand() == KBrandBrimo);
    FMMHelpInfoEn->setVisible(FStartup.Brand() == KBrandZarn);
}

void TfQuillet::SetDirInName(const QString &folder) {
    FDirInName = folder;
    FEdtFrom->setText(folder);
}

void TfQuillet::AddInfo(const QString &line) {
    if (FInfoProgress) {
        SetInfoProgress(line);
        FInfoProgress = false;
        return;
    }
    // An empty document and one that holds a single empty line look alike, and appending to
    // an empty document fills its first line instead of adding one. The first block's state
    // remembers an empty first line, so it is kept.
    constexpr int KHoldsEmptyLine = 1;
    QTextDocument *document = FInfo->document();
    if (document->isEmpty()) {
        if (document->firstBlock().userState() == KHoldsEmptyLine) {
            FInfo->setPlainText(QLatin1Char('\n') + line);
            return;
        }
        if (line.isEmpty()) {
            document->firstBlock().setUserState(KHoldsEmptyLine);
            return;
        }
    }
    FInfo->appendPlainText(line);
}

void TfQuillet::SetInfoProgress(const QString &line) {
    if (!FInfoProgress) {
        AddInfo(line);
        FInfoProgress = true;
        return;
    }
    QTextCursor cursor(FInfo->document());
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(line);
}

void TfQuillet::EndInfoProgress() {
    if (!FInfoProgress)
        return;
    FInfoProgress = false;
    QTextCursor cursor(FInfo->document());
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    // The line break before it goes too, unless it is the only line.
    if (cursor.block() != FInfo->document()->firstBlock())
        cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void TfQuillet::ClearInfo() {
    FInfoProgress = false;
    FInfo->clear();
}

TfQuillet::TRewrite TfQuillet::RewriteChoice() const {
    return FRGRewrite->checkedId() == rwRewriteLast ? rwRewriteLast : rwNewVersion;
}

TUserSettings TfQuillet::CurrentSettings() const {
    TUserSettings settings;
    settings.WebFile = FEdtWebFile->text();
    settings.FWFile = FEdtFWFile->text();
    settings.DirInName = FDirInName;
    settings.BakDel = FChBBakDel->isChecked();
    const QString address = FIPEdtAddress->Text();
    if (address != QStringLiteral("0.0.0.0"))
        settings.DeviceAddress = address;
    settings.ParallelUploads = FParallelUploads;
    return settings;
}

bool TfQuillet::eventFilter(QObject *watched, QEvent *event) {
    if (watched == FEdtFrom && event->type() == QEvent::FocusOut) {
        // Switching to another window or opening a pop-up is no leaving of the field.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            EdtFromExit();
    } else if (watched == FEdtWebFile && event->type() == QEvent::FocusIn) {
        EdtWebFileEnter();
    }
    return QMainWindow::eventFilter(watched, event);
}

TfQuillet::TDropTarget TfQuillet::DropTarget(const QMimeData *data, QString *path) const {
    if (!data->hasUrls() || data->urls().size() != 1 || !data->urls().first().isLocalFile())
        return dtNone;
    const QFileInfo file(data->urls().first().toLocalFile());
    if (path)
        *path = file.absoluteFilePath();
    if (file.isDir())
        return dtFrom;
    const QString suffix = file.suffix().toLower();
    if (suffix == QStringLiteral("pmf"))
        return dtWebFile;
    if (suffix == QStringLiteral("rom") && InternalMode())
        return dtFWFile;
    return dtNone;
}

void TfQuillet::dragEnterEvent(QDragEnterEvent *event) {
    if (DropTarget(event->mimeData()) != dtNone)
        event->acceptProposedAction();
}

void TfQuillet::dropEvent(QDropEvent *event) {
    QString path;
    switch (DropTarget(event->mimeData(), &path)) {
    case dtFrom:
        SetDirInName(path);
        break;
    case dtWebFile:
        FEdtWebFile->setText(path);
        break;
    case dtFWFile:
        FEdtFWFile->setText(path);
        break;
    case dtNone:
        return;
    }
    event->acceptProposedAction();
}

void TfQuillet::BtnSelectSourceClick() {
    const QString folder = FDialogs.ChooseFolder(this, FDirInName);
    if (!folder.isEmpty())
        SetDirInName(folder);
}

void TfQuillet::BtnWebSourceClick() {
    const QString file = FDialogs.OpenFile(this, tr(KWebFilter),
                                           FStartup.Places().OutputRoot + QStringLiteral("pmf"));
    if (!file.isEmpty())
        FEdtWebFile->setText(file);
}

void TfQuillet::BtnBrowseFWClick() {
    const QString current = FEdtFWFile->text();
    const QString start = current.isEmpty() ? ProgramFolder() : QFileInfo(current).path();
    const QString file = FDialogs.OpenFile(this, tr(KFirmwareFilter), start);
    if (!file.isEmpty())
        FEdtFWFile->setText(file);
}

void TfQuillet::BtnFindDeviceClick() {
    // The brand ZARN names the device types in its own settings file; other brands use the
    // built-in names.
    TfRelynSearchGUI window(this, TJournalRecorder::Recording(FJournal, this, FDeviceSearch));
    ConfigureRelynSearchForMainWindow(window, FStartup.Brand(), FStartup.Places().BrandingIni);
    // The recording search stands in for the network's: the hint is the network's as well.
    if (!FDeviceSearch)
        window.SetNoReplyHint([] {
            return RelynNoReplyHint(MakeSystemNetwork()->BroadcastInterfaces(),
                                    RelynCheckFirewall());
        });
    if (window.exec() == QDialog::Accepted)
        FIPEdtAddress->SetText(window.SelectedIP());
}

void TfQuillet::MMDevicesClick() {
    if (!FDevices) {
        TRelynBackgroundSearch::NoReplyHint hint = FDevicesHint;
        if (!FDevicesSearch && !hint)
            hint = [](const TRelynSearchScope &scope, const QList<TRelynInterface> &asked) {
                return RelynSearchNoReplyHint(scope, asked, RelynCheckFirewall());
            };
        FDevices = new TfDevices(
            FDialogs, TJournalRecorder::Recording(FJournal, this, FDevicesSearch), hint, this);
        if (FStartup.Brand() == QStringLiteral("ZARN"))
            FDevices->SetTypesFile(FStartup.IniPath());
        FDevices->SetChangeIPOpener(RelynIPChangeOpener(TRelynIPChangeEnvironment::System(), {},
                                                        TJournalRecorder::IpChanges(FJournal)));
        FDevices->SetJournal(FJournal);
        // Ctrl+D also brings the window forward while it has the focus itself.
        FDevices->addAction(FMMDevices);
        FDevices->SetUseAddress(
            [this](const QString &address) { FIPEdtAddress->SetText(address); });
        FDevices->SetUploadWeb(
            [this](const QList<TRelynPar> &devices) { UploadToDevices(devices, false); });
        if (InternalMode())
            FDevices->SetUploadFirmware(
                [this](const QList<TRelynPar> &devices) { UploadToDevices(devices, true); });
        FDevices->ApplyState(LoadDevicesWindowState(FStartup.IniPath()));
        PlaceDevicesWindow();
    }
    FDevices->show();
    FDevices->raise();
    FDevices->activateWindow();
}

void TfQuillet::PlaceDevicesWindow() {
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    // The Devices window has no frame before it is first shown; it will get one like this
    // window's.
    const QSize frame = frameGeometry().size() - size();
    const QRect place =
        DevicesWindowPlace(frameGeometry(), FDevices->size() + frame, screen->availableGeometry());
    FDevices->resize(place.size() - frame);
    FDevices->move(place.topLeft());
}

void TfQuillet::UploadToDevices(const QList<TRelynPar> &devices, bool firmware) {
    // Side by side in an upload window of their own; the type text stands for a device's
    // family and model, so that firmware for several devices of different types is asked about.
    TUploadRequest request;
    for (const TRelynPar &device : devices) {
        const QString type = device.DeviceType == RelynNotAvailable ? QString() : device.DeviceType;
        request.Targets.append(
            {device.IPAddress, device.MACAddress, type, QString(), device.Reachable});
    }
    request.File = firmware ? FEdtFWFile->text() : FEdtWebFile->text();
    request.Kind = firmware ? TFleetUpload::fkFirmware : TFleetUpload::fkWeb;
    request.Settings = FUploadSettings;
    request.Parallel = FParallelUploads;
    request.Journal = FJournal;
    TfUpload::Open(request, FDialogs, FDevices);
}

void TfQuillet::EdtFromExit() {
    if (FEdtFrom->text().isEmpty())
        FEdtFrom->setText(ProgramFolder());
    FDirInName = FEdtFrom->text();
}

void TfQuillet::EdtWebFileEnter() {
}

void TfQuillet::MMExitClick() {
    close();
}
void TfQuillet::MMHelpReadmeENClick() {
    OpenHelpPage(hlEnglish);
}
void TfQuillet::MMHelpReadmeCZClick() {
    OpenHelpPage(hlCzech);
}
void TfQuillet::MMHelpInfoEnClick() {
    OpenHelpPage(FUiLanguage == TUiLanguage::Czech ? hlCzech : hlEnglish);
}
void TfQuillet::MMHelpAboutClick() {
    ShowAbout(FStartup.AppName(), TStartup::VersionText());
}

void TfQuillet::ShowAsAlreadyRunning() {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    FDialogs.Message(this, TDialogs::mkInformation, FStartup.AppName(),
                     tr("%1 is already running: this is its window.").arg(FStartup.AppName()));
}

void TfQuillet::OpenHelpPage(THelpLanguage language) {
    QString name;
    if (InternalMode())
        name = QStringLiteral("qltfull.htm");
    else
        name = language == hlCzech ? QStringLiteral("qltcz.htm") : QStringLiteral("qlten.htm");
    FOpener->Open(ProgramFolder() + name);
}

void TfQuillet::HelpPageEnded(const QString &page, bool opened) {
    if (opened)
        return;
    AddInfo(QString());
    AddInfo(tr("External application start up error."));
    AddInfo(tr("You can open file ") + page + tr(" manualy."));
    AddInfo(QString());
}

void TfQuillet::ShowAbout(const QString &title, const QString &version) {
    TfAbout about(this);
    about.LabAppTitle()->setText(title);
    about.LabAppVer()->setText(version);
    const QString &brand = FStartup.Brand();
    about.LabInfo()->setText(brand == KBrandZarn ? ZarnCredits() : MakerCredits());
    about.ImgLogo()->setVisible(brand == KBrandBrimo);
    about.ImgLogoZarn()->setVisible(brand == KBrandZarn);
    if (const QScreen *screen = this->screen())
        about.move(screen->availableGeometry().center() - about.rect().center());
    about.exec();
}

QString TfQuillet::MakerCredits() {
    // The address stays as the post writes it; the sentence and the country are translated.
    return tr("Designed by %1").arg(QStringLiteral("Brimo Loggers Ltd.")) +
           QStringLiteral("\n12 Sample Street, Exampleton\n") + tr("Czech Republic") +
           QStringLiteral("\nwww.brimo-loggers.example");
}

QString TfQuillet::ZarnCredits() {
    return QStringLiteral("Zarn Instruments Ltd.\n"
                          "P.O. Box 42\n"
                          "200 00 Sampleville\n"
                          "www.zarn-instruments.example");
}

// The three buttons' handlers of the main window. Each starts a workflow owned by the window
// and returns; the workflow goes on from the event loop and reports into Info. While one runs
// the three buttons are off, so two operations never write into Info at the same time.
namespace {

void SetActionsEnabled(TfQuillet &window, bool enabled) {
    for (QPushButton *button : {window.BtnCreate(), window.BtnUploadWeb(), window.BtnUploadFW()})
        button->setEnabled(enabled);
}

// A disabled button gives its focus to the next control, which may be a field whose whole
// text is then selected: one keystroke would replace it. So the focus first moves to the
// background panel, which takes no text, and the buttons are disabled after.
void BeginOperation(TfQuillet &window) {
    window.centralWidget()->setFocus(Qt::OtherFocusReason);
    SetActionsEnabled(window, false);
    window.MMCancel()->setEnabled(true);
}

// The focus goes back to the button that started the operation, unless the user has meanwhile
// put it somewhere else.
void EndOperation(TfQuillet &window, QPushButton *starter) {
    window.EndInfoProgress();
    window.MMCancel()->setEnabled(false);
    SetActionsEnabled(window, true);
    const QWidget *focus = window.focusWidget();
    if (!focus || focus == window.centralWidget())
        starter->setFocus(Qt::OtherFocusReason);
}

bool OperationRunning(const TfQuillet &window) {
    // A workflow that has finished may still wait for its deferred deletion.
    for (const auto *creator :
         window.findChildren<TWebFileCreator *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (creator->Running())
            return true;
    }
    for (const auto *upload :
         window.findChildren<TVerifiedUpload *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (upload->Running())
            return true;
    }
    return false;
}

// The report lives as long as the workflow that uses it: it is the workflow's child.
template <typename Workflow> void Adopt(Workflow *workflow, TWindowReport *report) {
    report->setParent(workflow);
}

} // namespace

void TfQuillet::BtnCreateClick() {
    if (OperationRunning(*this))
        return;
    auto *report = new TWindowReport(*this);
    auto *creator = new TWebFileCreator(*report, &Log(), {}, this);
    Adopt(creator, report);
    // A failed creation hands the field back as it was, unless the user has changed it since.
    const QString previous = EdtWebFile()->text();
    connect(creator, &TWebFileCreator::WebFileNamed, this,
            [this](const QString &fileOutName) { EdtWebFile()->setText(fileOutName); });
    connect(creator, &TWebFileCreator::Finished, this, [this, creator, previous](bool created) {
        if (!created && !creator->FileOutName().isEmpty() &&
            EdtWebFile()->text() == creator->FileOutName())
            EdtWebFile()->setText(previous);
        EndOperation(*this, BtnCreate());
        creator->deleteLater();
    });
    BeginOperation(*this);

    TCreateRequest request;
    request.ProgramFolder = ProgramFolder();
    request.OutputRoot = Startup().Places().OutputRoot;
    request.DirInName = DirInName();
    request.SourceFolder = EdtFrom()->text();
    request.InternalMode = InternalMode();
    request.RewriteLast = RewriteChoice() == rwRewriteLast;
    request.DeleteBakFiles = ChBBakDel()->isChecked();
    creator->Start(request);
}

static void StartUpload(TfQuillet &window, bool web) {
    if (OperationRunning(window))
        return;
    auto *report = new TWindowReport(window);
    auto *upload =
        new TVerifiedUpload(*report, &window.Log(), window.UploadSettings(), {}, &window);
    Adopt(upload, report);
    QPushButton *starter = web ? window.BtnUploadWeb() : window.BtnUploadFW();
    QObject::connect(upload, &TVerifiedUpload::TransferProgress, &window, [&window](int percent) {
        window.SetInfoProgress(TDeviceUpload::TransferText(percent));
    });
    QObject::connect(upload, &TVerifiedUpload::RestartWaitLeft, &window, [&window](int seconds) {
        window.SetInfoProgress(TDeviceUpload::RestartText(seconds));
    });
    QObject::connect(upload, &TVerifiedUpload::VerifyProgress, &window,
                     [&window](int page, int pages) {
                         window.SetInfoProgress(TVerifiedUpload::VerifyText(page, pages));
                     });
    QObject::connect(upload, &TVerifiedUpload::Finished, &window, [&window, upload, starter] {
        EndOperation(window, starter);
        upload->deleteLater();
    });
    BeginOperation(window);
    const QString address = window.IPEdtAddress()->Text();
    const QString file = web ? window.EdtWebFile()->text() : window.EdtFWFile()->text();
    TJournalRecorder::Watch(window.Journal(), *upload,
                            web ? TFleetUpload::fkWeb : TFleetUpload::fkFirmware, file, address);
    if (web) {
        upload->StartWeb(address, file, TVerifiedUpload::ReadWebFile(file));
    } else {
        upload->StartFirmware(address, window.EdtFWFile()->text());
    }
}

void TfQuillet::BtnUploadWebClick() {
    StartUpload(*this, true);
}

void TfQuillet::BtnUploadFWClick() {
    StartUpload(*this, false);
}

void TfQuillet::MMCancelClick() {
    bool cancelled = false;
    // Each ends with its own Finished, which hands the buttons back.
    for (auto *creator : findChildren<TWebFileCreator *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (creator->Running()) {
            creator->Cancel();
            cancelled = true;
        }
    }
    for (auto *upload : findChildren<TVerifiedUpload *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (upload->Running()) {
            upload->Cancel();
            cancelled = true;
        }
    }
    if (cancelled)
        AddInfo(tr("Cancelled."));
}

void TfQuillet::closeEvent(QCloseEvent *event) {
    if (OperationRunning(*this)) {
        if (!FDialogs.Confirm(this, FStartup.AppName(),
                              tr("A create or upload is still running. Stop it and "
                                 "quit?"))) {
            event->ignore();
            return;
        }
        MMCancelClick();
    }
    QMainWindow::closeEvent(event);
}

#include "moc_quillet.cpp"
