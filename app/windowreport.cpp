#include "windowreport.h"

#include "brimolog.h"
#include "deviceupload.h"
#include "dialogs.h"
#include "ipedit.h"
#include "quillet.h"
#include "webfilecreator.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

TWindowReport::TWindowReport(TfQuillet &window)
    : FWindow(window) {
}

TWindowReport::~TWindowReport() {
    SetBusy(false);
}

void TWindowReport::ClearInfo() {
    FWindow.Info()->clear();
}

void TWindowReport::AddInfo(const QString &line) {
    FWindow.AddInfo(line);
}

void TWindowReport::ErrorBox(const QString &text) {
    FWindow.Dialogs().Message(&FWindow, TDialogs::mkError, FWindow.Startup().AppName(), text);
}

void TWindowReport::SetBusy(bool busy) {
    if (busy == FBusy)
        return;
    FBusy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

// The three buttons' handlers of the main window. Each starts a workflow owned by the window
// and returns; the workflow goes on from the event loop and reports into Info. While one runs
// the three buttons are off, so two operations never write into Info at the same time.
namespace {

void SetActionsEnabled(TfQuillet &window, bool enabled) {
    for (QPushButton *button : {window.BtnCreate(), window.BtnUploadWeb(), window.BtnUploadFW()})
        button->setEnabled(enabled);
}

bool OperationRunning(const TfQuillet &window) {
    // A workflow that has finished may still wait for its deferred deletion.
    for (const auto *creator :
         window.findChildren<TWebFileCreator *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (creator->Running())
            return true;
    }
    for (const auto *upload :
         window.findChildren<TDeviceUpload *>(QString(), Qt::FindDirectChildrenOnly)) {
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
    connect(creator, &TWebFileCreator::WebFileNamed, this,
            [this](const QString &fileOutName) { EdtWebFile()->setText(fileOutName); });
    connect(creator, &TWebFileCreator::Finished, this, [this, creator] {
        SetActionsEnabled(*this, true);
        creator->deleteLater();
    });
    SetActionsEnabled(*this, false);

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
    auto *upload = new TDeviceUpload(*report, &window.Log(), {}, &window);
    Adopt(upload, report);
    QObject::connect(upload, &TDeviceUpload::Finished, &window, [&window, upload] {
        SetActionsEnabled(window, true);
        upload->deleteLater();
    });
    SetActionsEnabled(window, false);
    const QString address = window.IPEdtAddress()->Text();
    if (web)
        upload->StartWeb(address, window.EdtWebFile()->text());
    else
        upload->StartFirmware(address, window.EdtFWFile()->text());
}

void TfQuillet::BtnUploadWebClick() {
    StartUpload(*this, true);
}

void TfQuillet::BtnUploadFWClick() {
    StartUpload(*this, false);
}
