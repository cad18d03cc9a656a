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
    FWindow.ClearInfo();
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
    auto *upload = new TDeviceUpload(*report, &window.Log(), window.UploadSettings(), &window);
    Adopt(upload, report);
    QPushButton *starter = web ? window.BtnUploadWeb() : window.BtnUploadFW();
    QObject::connect(upload, &TDeviceUpload::TransferProgress, &window, [&window](int percent) {
        window.SetInfoProgress(TDeviceUpload::TransferText(percent));
    });
    QObject::connect(upload, &TDeviceUpload::RestartWaitLeft, &window, [&window](int seconds) {
        window.SetInfoProgress(TDeviceUpload::RestartText(seconds));
    });
    QObject::connect(upload, &TDeviceUpload::Finished, &window, [&window, upload, starter] {
        EndOperation(window, starter);
        upload->deleteLater();
    });
    BeginOperation(window);
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

void TfQuillet::MMCancelClick() {
    bool cancelled = false;
    // Each ends with its own Finished, which hands the buttons back.
    for (auto *creator : findChildren<TWebFileCreator *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (creator->Running()) {
            creator->Cancel();
            cancelled = true;
        }
    }
    for (auto *upload : findChildren<TDeviceUpload *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (upload->Running()) {
            upload->Cancel();
            cancelled = true;
        }
    }
    if (cancelled)
        AddInfo(QStringLiteral("Cancelled."));
}
