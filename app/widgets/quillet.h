// The main window: source, web file and firmware fields, the message box, the options, the
// Create button, the upload group and the menus.
#pragma once

#include "app/core/language.h"
#include "app/core/startup.h"
#include "app/workflows/deviceupload.h"
#include "app/workflows/fleetupload.h"
#include "discovery/relyndevicelist.h"
#include "discovery/relyndevicemodel.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QButtonGroup;
class QCheckBox;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QMimeData;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class TBrimoLog;
class TDialogs;
class TDocumentOpener;
class TfDevices;
class TJournalRecorder;
class TIPEdit;

class TfQuillet : public QMainWindow {
    Q_OBJECT
public:
    enum THelpLanguage { hlEnglish, hlCzech };
    enum TRewrite { rwNewVersion = 0, rwRewriteLast = 1 };

    TfQuillet(const TStartupInputs &inputs, TDialogs &dialogs, QWidget *parent = nullptr);
    ~TfQuillet() override;

    // Results of start, fixed until exit.
    const TStartup &Startup() const { return FStartup; }
    const QString &ProgramFolder() const { return FStartup.ProgramFolder(); }
    bool InternalMode() const { return FStartup.InternalMode(); }
    TBrimoLog &Log() const { return *FLog; }
    TDialogs &Dialogs() const { return FDialogs; }

    // The source folder that Create packs.
    const QString &DirInName() const { return FDirInName; }
    void SetDirInName(const QString &folder);

    QLineEdit *EdtFrom() const { return FEdtFrom; }
    QLineEdit *EdtWebFile() const { return FEdtWebFile; }
    QLineEdit *EdtFWFile() const { return FEdtFWFile; }
    QPlainTextEdit *Info() const { return FInfo; }
    // Adds one line at the end of the message box, in place of a progress line.
    void AddInfo(const QString &line);
    // A last line that shows how a running operation gets on: each call replaces the one
    // before, until AddInfo or EndInfoProgress.
    void SetInfoProgress(const QString &line);
    void EndInfoProgress();
    void ClearInfo();
    // File > Cancel operation (Esc): on only while a create or upload runs.
    QAction *MMCancel() const { return FMMCancel; }
    QCheckBox *ChBBakDel() const { return FChBBakDel; }
    QButtonGroup *RGRewrite() const { return FRGRewrite; }
    TRewrite RewriteChoice() const;
    TIPEdit *IPEdtAddress() const { return FIPEdtAddress; }
    QPushButton *BtnCreate() const { return FBtnCreate; }
    QPushButton *BtnFindDevice() const { return FBtnFindDevice; }
    QPushButton *BtnUploadWeb() const { return FBtnUploadWeb; }
    QPushButton *BtnUploadFW() const { return FBtnUploadFW; }

    // The language the window speaks: the Info help page follows it.
    void SetUiLanguage(TUiLanguage language) { FUiLanguage = language; }

    // The search that the Search button's window runs; the network search unless a test sets
    // its own.
    void SetDeviceSearch(TRelynSearchFunction search) { FDeviceSearch = std::move(search); }
    // The uploads' client and waits; the system's unless a test sets its own.
    const TUploadSettings &UploadSettings() const { return FUploadSettings; }
    void SetUploadSettings(const TUploadSettings &settings) { FUploadSettings = settings; }
    // The search and no-reply hint of the Devices window; the network's unless a test sets its
    // own before the window first opens.
    void SetDevicesSearch(TRelynBackgroundSearch::Search search,
                          TRelynBackgroundSearch::NoReplyHint hint = {}) {
        FDevicesSearch = std::move(search);
        FDevicesHint = std::move(hint);
    }
    // The Devices window once File > Devices... has opened it, else nullptr.
    TfDevices *DevicesWindow() const { return FDevices; }
    // The site journal that the window's searches, uploads and IP changes write.
    const std::shared_ptr<TJournalRecorder> &Journal() const { return FJournal; }

    // The user settings as they stand now, as the exit saves them.
    TUserSettings CurrentSettings() const;

    // Opens the help page for the language and mode; reports in Info when the desktop's opener
    // could not show it, once the opener has ended.
    void OpenHelpPage(THelpLanguage language);
    void ShowAbout(const QString &title, const QString &version);

    // The credit texts of the about window.
    static QString MakerCredits();
    static QString ZarnCredits();

public slots:
    void BtnSelectSourceClick();
    void BtnWebSourceClick();
    void BtnBrowseFWClick();
    void BtnCreateClick();
    void BtnFindDeviceClick();
    void BtnUploadWebClick();
    void BtnUploadFWClick();
    void EdtFromExit();
    void EdtWebFileEnter();
    void MMCancelClick();
    void MMDevicesClick();
    void MMExitClick();
    void MMHelpReadmeENClick();
    void MMHelpReadmeCZClick();
    void MMHelpInfoEnClick();
    void MMHelpAboutClick();
    // A second start on the same settings: this window comes forward and tells the user that
    // the program already runs.
    void ShowAsAlreadyRunning();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // A folder dropped on the window fills From, a web file Web file, a firmware file FW.
    // Closing while a create or upload runs asks first; on yes it is stopped, its child
    // programs with it, before the window goes.
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void FormCreate();
    void FormDestroy();
    void BuildControls();
    void BuildMenu();
    void ApplyModeLayout();
    void ApplyBrandMenus();
    void ApplyStyleSheet();
    void HelpPageEnded(const QString &page, bool opened);
    enum TDropTarget { dtNone, dtFrom, dtWebFile, dtFWFile };
    TDropTarget DropTarget(const QMimeData *data, QString *path = nullptr) const;
    void UploadToDevices(const QList<TRelynPar> &devices, bool firmware);
    void PlaceDevicesWindow();

    TDialogs &FDialogs;
    TStartup FStartup;
    TUiLanguage FUiLanguage = TUiLanguage::English;
    std::unique_ptr<TBrimoLog> FLog;
    QString FDirInName;

    QWidget *FPnlBackground = nullptr;
    QGroupBox *FGBFiles = nullptr;
    QLabel *FLabFrom = nullptr;
    QLineEdit *FEdtFrom = nullptr;
    QPushButton *FBtnSelectSource = nullptr;
    QLabel *FLabWebFile = nullptr;
    QLineEdit *FEdtWebFile = nullptr;
    QPushButton *FBtnWebSource = nullptr;
    QLabel *FLabFWFile = nullptr;
    QLineEdit *FEdtFWFile = nullptr;
    QPushButton *FBtnBrowseFW = nullptr;
    QPlainTextEdit *FInfo = nullptr;
    QGroupBox *FRGRewriteBox = nullptr;
    QButtonGroup *FRGRewrite = nullptr;
    QGroupBox *FGBBakFiles = nullptr;
    QCheckBox *FChBBakDel = nullptr;
    QPushButton *FBtnCreate = nullptr;
    QGroupBox *FGBUpload = nullptr;
    QLabel *FLabIP = nullptr;
    TIPEdit *FIPEdtAddress = nullptr;
    QPushButton *FBtnFindDevice = nullptr;
    QPushButton *FBtnUploadWeb = nullptr;
    QPushButton *FBtnUploadFW = nullptr;

    QMenu *FMMFile = nullptr;
    QAction *FMMDevices = nullptr;
    QAction *FMMCancel = nullptr;
    bool FInfoProgress = false;
    QMenu *FMMHelp = nullptr;
    QMenu *FMMHelpReadme = nullptr;
    QAction *FMMHelpReadmeAction = nullptr;
    QAction *FMMHelpInfoEn = nullptr;
    TRelynSearchFunction FDeviceSearch;
    TUploadSettings FUploadSettings;
    int FParallelUploads = TFleetUpload::DefaultParallel;
    TRelynBackgroundSearch::Search FDevicesSearch;
    TRelynBackgroundSearch::NoReplyHint FDevicesHint;
    TfDevices *FDevices = nullptr;
    std::shared_ptr<TJournalRecorder> FJournal;
    TDocumentOpener *FOpener = nullptr;
};
