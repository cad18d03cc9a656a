// A web upload followed by the check that the device serves what it was sent; a firmware
// upload passes through unchecked.
#pragma once

#include "app/workflows/deviceupload.h"
#include "app/workflows/webverifier.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

// The pages of one web file, read once for every device of a run.
struct TWebFilePages {
    QList<TWebPage> Pages;
    // Why the file gives no pages to compare; empty when it was read.
    QString Error;
};
using TWebFilePagesPtr = std::shared_ptr<const TWebFilePages>;

class TVerifiedUpload : public QObject {
    Q_OBJECT
public:
    TVerifiedUpload(TWorkflowReport &report, TBrimoLog *log, TUploadSettings settings = {},
                    TWebVerifySettings verify = {}, QObject *parent = nullptr);
    // Stops an upload or check still going, without further lines or signals.
    ~TVerifiedUpload() override;

    static TWebFilePagesPtr ReadWebFile(const QString &file);
    // "Checking the web file: page 3 of 12", for a progress line.
    static QString VerifyText(int page, int pages);

    // Without pages the web upload is not checked. Both are ignored while one runs; Finished
    // follows in every case, possibly before they return.
    void StartWeb(const QString &address, const QString &webFile, TWebFilePagesPtr pages);
    void StartFirmware(const QString &address, const QString &firmwareFile);
    // Stops the transfer, restart wait or check under way; Finished follows before it returns.
    void Cancel();
    bool Running() const { return FRunning; }

    TDeviceUpload::TOutcome Outcome() const { return FOutcome; }
    // Why the upload did not end done; empty after done.
    const QString &Reason() const { return FUpload->Reason(); }
    // The check of a web upload that ended done; none otherwise.
    const std::optional<TWebVerification> &Verification() const { return FVerification; }

signals:
    void TransferProgress(int percent);
    void ClientEnded();
    void RestartWaitLeft(int seconds);
    // When the request for page `page` of `pages` starts.
    void VerifyProgress(int page, int pages);
    void Finished(TDeviceUpload::TOutcome outcome);

private:
    class THeldReport;
    void UploadEnded(TDeviceUpload::TOutcome outcome);
    void VerifyEnded(const TWebVerification &outcome);
    void Finish();

    TWorkflowReport &FReport;
    std::unique_ptr<THeldReport> FHeld;
    std::unique_ptr<TDeviceUpload> FUpload;
    std::unique_ptr<TWebVerifier> FVerifier;
    TWebFilePagesPtr FPages;
    QString FAddress;
    bool FRunning = false;
    TDeviceUpload::TOutcome FOutcome = TDeviceUpload::uoNothingSent;
    std::optional<TWebVerification> FVerification;
};
