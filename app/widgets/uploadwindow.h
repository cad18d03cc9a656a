// The upload window: one file to several devices, a row per device with its progress and
// outcome, Cancel, and Copy of the results.
#pragma once

#include "app/workflows/fleetupload.h"

#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;
class QTableView;
class TDialogs;
class TJournalRecorder;
class TUploadModel;

struct TUploadRequest {
    QList<TUploadTarget> Targets;
    QString File;
    TFleetUpload::TKind Kind = TFleetUpload::fkWeb;
    TUploadSettings Settings;
    // How many transfers run at once.
    int Parallel = TFleetUpload::DefaultParallel;
    // Whether a web upload that ends done is checked over HTTP, and how.
    bool Verify = true;
    TWebVerifySettings VerifySettings;
    std::shared_ptr<TJournalRecorder> Journal; // none: nothing is recorded
};

class TfUpload : public QWidget {
    Q_OBJECT
public:
    // Asks first when UploadQuestion finds something to ask, then shows the window and starts
    // every upload. Nothing is sent and nullptr comes back when the user says No. The window
    // deletes itself when it is closed.
    static TfUpload *Open(const TUploadRequest &request, TDialogs &dialogs,
                          QWidget *parent = nullptr);

    QTableView *LvDevices() const { return FLvDevices; }
    QLabel *LabSummary() const { return FLabSummary; }
    QPushButton *BtnCopy() const { return FBtnCopy; }
    QPushButton *BtnCancel() const { return FBtnCancel; }
    QPushButton *BtnRetry() const { return FBtnRetry; }
    QPushButton *BtnClose() const { return FBtnClose; }
    const TUploadModel &Model() const { return *FModel; }
    bool Running() const { return FFleet->Running(); }

public slots:
    void BtnCopyClick();
    void BtnCancelClick();
    // Once every upload has ended: the same file again to every device that did not end
    // done or serves other pages than it was sent, in an upload window of its own beside this
    // one. Returns that window.
    TfUpload *BtnRetryClick();

protected:
    // While uploads run, closing asks first and then stops them.
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    TfUpload(const TUploadRequest &request, TDialogs &dialogs, QWidget *parent);
    void Start();
    void UpdateSummary();
    // The reasons fill the rest of the row, or, longer, get their whole width and a scroll bar.
    int TextWidth(const QStringList &texts, int column) const;
    void FitColumns(const QStringList &addresses);
    void RowShown(int row);
    void FitReasons();

    TUploadRequest FRequest;
    TDialogs &FDialogs;
    // Of the longest reason shown so far; the reason column is that wide when it does not
    // stretch.
    int FReasonWidth = 0;
    TFleetUpload *FFleet = nullptr;
    TUploadModel *FModel = nullptr;
    QLabel *FLabFile = nullptr;
    QTableView *FLvDevices = nullptr;
    QLabel *FLabSummary = nullptr;
    QPushButton *FBtnCopy = nullptr;
    QPushButton *FBtnCancel = nullptr;
    QPushButton *FBtnRetry = nullptr;
    QPushButton *FBtnClose = nullptr;
};
