#include "app/workflows/verifiedupload.h"

#include "app/workflows/workflowreport.h"
#include "support/nethelpers.h"

#include <QFile>

// Passes the upload's lines on, but keeps its closing blank lines back until the check's line
// has been added, so that the line follows "Web upload successful." directly.
class TVerifiedUpload::THeldReport : public TWorkflowReport {
public:
    explicit THeldReport(TWorkflowReport &report)
        : FReport(report) {}
    void ClearInfo() override {
        FBlanks = 0;
        FReport.ClearInfo();
    }
    void AddInfo(const QString &line) override {
        if (line.isEmpty()) {
            ++FBlanks;
            return;
        }
        Release();
        FReport.AddInfo(line);
    }
    void AddClientLines(const QStringList &lines) override {
        Release();
        FReport.AddClientLines(lines);
    }
    void ErrorBox(const QString &text) override { FReport.ErrorBox(text); }
    void SetBusy(bool busy) override { FReport.SetBusy(busy); }
    void Release() {
        for (; FBlanks > 0; --FBlanks)
            FReport.AddInfo(QString());
    }

private:
    TWorkflowReport &FReport;
    int FBlanks = 0;
};

TVerifiedUpload::TVerifiedUpload(TWorkflowReport &report, TBrimoLog *log, TUploadSettings settings,
                                 TWebVerifySettings verify, QObject *parent)
    : QObject(parent)
    , FReport(report)
    , FHeld(std::make_unique<THeldReport>(report))
    , FUpload(std::make_unique<TDeviceUpload>(*FHeld, log, std::move(settings)))
    , FVerifier(std::make_unique<TWebVerifier>(verify)) {
    connect(FUpload.get(), &TDeviceUpload::TransferProgress, this,
            &TVerifiedUpload::TransferProgress);
    connect(FUpload.get(), &TDeviceUpload::RestartWaitLeft, this,
            &TVerifiedUpload::RestartWaitLeft);
    connect(FUpload.get(), &TDeviceUpload::ClientEnded, this, &TVerifiedUpload::ClientEnded);
    connect(FUpload.get(), &TDeviceUpload::Finished, this, &TVerifiedUpload::UploadEnded);
    connect(FVerifier.get(), &TWebVerifier::Progress, this, &TVerifiedUpload::VerifyProgress);
    connect(FVerifier.get(), &TWebVerifier::Finished, this, &TVerifiedUpload::VerifyEnded);
}

TVerifiedUpload::~TVerifiedUpload() {
    FRunning = false;
    FVerifier.reset();
    FUpload.reset();
}

TWebFilePagesPtr TVerifiedUpload::ReadWebFile(const QString &file) {
    auto pages = std::make_shared<TWebFilePages>();
    QFile read(file);
    if (!read.open(QIODevice::ReadOnly)) {
        pages->Error = tr("The web file could not be read: nothing was checked.");
        return pages;
    }
    const QByteArray bytes = read.readAll();
    const webfile::ParseResult parsed =
        webfile::parse(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (!parsed.ok())
        pages->Error = tr("The file is no web file (%1): nothing was checked.")
                           .arg(QString::fromStdString(parsed.error));
    else
        pages->Pages = TWebVerifier::PagesOf(parsed);
    return pages;
}

QString TVerifiedUpload::VerifyText(int page, int pages) {
    return tr("Checking the web file: page %1 of %2").arg(page).arg(pages);
}

void TVerifiedUpload::StartWeb(const QString &address, const QString &webFile,
                               TWebFilePagesPtr pages) {
    if (FRunning)
        return;
    FRunning = true;
    FPages = std::move(pages);
    FVerification.reset();
    FAddress = address;
    NormalizeIPText(FAddress);
    FUpload->StartWeb(address, webFile);
}

void TVerifiedUpload::StartFirmware(const QString &address, const QString &firmwareFile) {
    if (FRunning)
        return;
    FRunning = true;
    FPages.reset();
    FVerification.reset();
    FUpload->StartFirmware(address, firmwareFile);
}

void TVerifiedUpload::Cancel() {
    if (!FRunning)
        return;
    if (FVerifier->Running())
        FVerifier->Cancel();
    else
        FUpload->Cancel();
}

void TVerifiedUpload::UploadEnded(TDeviceUpload::TOutcome outcome) {
    if (!FRunning)
        return;
    FOutcome = outcome;
    if (outcome != TDeviceUpload::uoDone || !FPages) {
        Finish();
        return;
    }
    if (!FPages->Error.isEmpty()) {
        TWebVerification unread;
        unread.Summary = FPages->Error;
        VerifyEnded(unread);
        return;
    }
    FVerifier->Start(FAddress, FPages->Pages);
}

void TVerifiedUpload::VerifyEnded(const TWebVerification &outcome) {
    if (!FRunning)
        return;
    FVerification = outcome;
    FReport.AddInfo(outcome.Summary);
    Finish();
}

void TVerifiedUpload::Finish() {
    FHeld->Release();
    FRunning = false;
    emit Finished(FOutcome);
}

#include "moc_verifiedupload.cpp"
