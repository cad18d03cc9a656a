#include "app/workflows/deviceupload.h"

#include "app/workflows/curltransfer.h"
#include "app/workflows/echowait.h"
#include "app/workflows/uploadfailure.h"
#include "app/workflows/uploadlock.h"
#include "app/workflows/webfilecheck.h"
#include "app/workflows/workflowreport.h"
#include "support/brimolog.h"
#include "support/nethelpers.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

namespace {
const char *const ProcessDoneLine = QT_TRANSLATE_NOOP("TDeviceUpload", "Process done.");
const char *const WebFailed = QT_TRANSLATE_NOOP("TDeviceUpload", "Web upload failed.");
const char *const FirmwareFailed = QT_TRANSLATE_NOOP("TDeviceUpload", "Process failed?");

bool NoAddress(const QString &address) {
    return address.isEmpty() || address == QStringLiteral("0.0.0.0");
}
} // namespace

QString TDeviceUpload::TransferText(int percent) {
    return tr("Sending: %1 %").arg(percent);
}

QString TDeviceUpload::RestartText(int secondsLeft) {
    return tr("Device restart: at most %1:%2 more")
        .arg(secondsLeft / 60)
        .arg(secondsLeft % 60, 2, 10, QLatin1Char('0'));
}

TDeviceUpload::TDeviceUpload(TWorkflowReport &report, TBrimoLog *log, TUploadSettings settings,
                             QObject *parent)
    : QObject(parent)
    , FReport(report)
    , FLog(log)
    , FSettings(std::move(settings)) {
    FTicker = new QTimer(this);
    connect(FTicker, &QTimer::timeout, this, &TDeviceUpload::Tick);
    FHeadway = std::make_unique<QElapsedTimer>();
    FRestartTicker = new QTimer(this);
    connect(FRestartTicker, &QTimer::timeout, this, &TDeviceUpload::RestartTick);
    if (FSettings.EchoHub) {
        FEchoWait = std::make_unique<TSharedEchoWait>(FSettings.EchoHub);
    } else {
        // Why an echo could not be made belongs in the upload's log too.
        FEchoWait = std::make_unique<TThreadEchoWait>(FSettings.Echo,
                                                      [this](const QString &line) { Log(line); });
    }
    FDeviceLock = std::make_unique<TUploadLock>();
}

TDeviceUpload::~TDeviceUpload() {
    FTicker->stop();
    FRestartTicker->stop();
    FEchoWait.reset();
    FTransfer.reset();
}

QString TDeviceUpload::WebCommandLine(const QString &client, const QString &address,
                                      const QString &file) {
    return TCurlTransfer::CommandLine(client, address, file, QStringLiteral("WEB1"));
}

QString TDeviceUpload::FirmwareCommandLine(const QString &client, const QString &address,
                                           const QString &file) {
    return TCurlTransfer::CommandLine(client, address, file, QStringLiteral("X5"));
}

void TDeviceUpload::Log(const QString &line) {
    if (FLog)
        FLog->WriteLineIf({woComm}, line);
}

// The address goes into a URL in normal form, so that the client never looks a name up nor
// reads "010" as an octal number. Gives false when it is no dotted IPv4 address.
static bool ClientAddress(const QString &address, QString &clientAddress) {
    QString normal = address;
    const bool valid = NormalizeIPText(normal);
    clientAddress = valid ? normal : address.trimmed();
    return valid;
}

bool TDeviceUpload::CheckAddress(const QString &address, const QString &missingLine) {
    if (NoAddress(address)) {
        FReport.AddInfo(missingLine);
        return false;
    }
    if (!FAddressValid) {
        FReport.AddInfo(tr("IP address syntax error."));
        return false;
    }
    return true;
}

void TDeviceUpload::StartWeb(const QString &address, const QString &webFile) {
    if (FRunning)
        return;
    FRunning = true;
    ++FGeneration;
    FKind = ukWeb;
    FFile = webFile;
    FReason.clear();
    FAddressValid = ClientAddress(address, FAddress);
    FReport.ClearInfo();
    FReport.AddInfo(tr("Web upload...   \\") + webFile);
    FCommandLine = WebCommandLine(FSettings.ClientProgram, FAddress, webFile);
    Log(QStringLiteral("Comm: cmd=") + FCommandLine);
    // The address is looked at before the file.
    if (NoAddress(address)) {
        FReport.AddInfo(tr("No IP adress selected."));
        Finish(uoNothingSent);
        return;
    }
    if (webFile.isEmpty()) {
        FReport.AddInfo(tr("No input (web) file selected."));
        Finish(uoNothingSent);
        return;
    }
    if (!CheckAddress(address, tr("No IP adress selected."))) {
        Finish(uoNothingSent);
        return;
    }
    Log(QStringLiteral("Comm: line=") + FCommandLine);
    StartClient();
}

void TDeviceUpload::StartFirmware(const QString &address, const QString &firmwareFile) {
    if (FRunning)
        return;
    FRunning = true;
    ++FGeneration;
    FKind = ukFirmware;
    FFile = firmwareFile;
    FReason.clear();
    FAddressValid = ClientAddress(address, FAddress);
    FReport.ClearInfo();
    FReport.AddInfo(tr("Firmware upload...   \\") + firmwareFile);
    FCommandLine = FirmwareCommandLine(FSettings.ClientProgram, FAddress, firmwareFile);
    // The file is looked at before the address.
    if (firmwareFile.isEmpty()) {
        FReport.AddInfo(tr("No input (fw) file selected."));
        Finish(uoNothingSent);
        return;
    }
    if (!CheckAddress(address, tr("No IP address selected."))) {
        Finish(uoNothingSent);
        return;
    }
    FReport.ClearInfo();
    StartClient();
}

void TDeviceUpload::StartClient() {
    // The client "sends" a folder without a word and exits with 0: no success may come of that.
    if (QFileInfo(FFile).isDir()) {
        EndFailed(uoFailed,
                  ClientFailureLine(TClientFailure::cfFileUnreadable, 0, FAddress, FFile, false));
        return;
    }
    // A file that is no web file would be taken by the device as one.
    if (FKind == ukWeb) {
        if (const QString refusal = WebFileRefusal(FFile); !refusal.isEmpty()) {
            EndFailed(uoNothingSent, refusal);
            return;
        }
    }
    // Never two uploads to one device, from this process or another.
    const TUploadLock::TResult lock = FDeviceLock->Take(FAddress);
    if (lock == TUploadLock::ulBusy) {
        EndFailed(uoFailed, FDeviceLock->Text());
        return;
    }
    if (lock == TUploadLock::ulUnavailable)
        Log(FDeviceLock->Text());
    // Measured, not counted in ticks: headway just before a tick must not count as a whole
    // tick without it.
    FHeadway->start();
    FTransfer = std::make_unique<TCurlTransfer>();
    connect(FTransfer.get(), &TCurlTransfer::Advanced, this, [this] { FHeadway->start(); });
    connect(FTransfer.get(), &TCurlTransfer::NotStarted, this, &TDeviceUpload::ClientNotStarted);
    connect(FTransfer.get(), &TCurlTransfer::Progress, this, &TDeviceUpload::TransferProgress);
    // Told at once, so that a fleet run fills the place among its transfers at once. A
    // firmware upload ends here; a web upload still starts its restart wait at the next tick,
    // as a device takes a moment after the last block before it goes away to restart.
    connect(FTransfer.get(), &TCurlTransfer::Ended, this, [this] {
        emit ClientEnded();
        if (FKind == ukFirmware && FTicker->isActive()) {
            FTicker->stop();
            WaitEnded();
        }
    });
    FTransfer->Start(FCommandLine);
    FTicker->start(FSettings.TickMs);
}

void TDeviceUpload::ShowClientLines() {
    const QStringList lines = FTransfer->Lines();
    for (const QString &line : lines)
        Log(QStringLiteral("Comm: out=") + line);
    if (!lines.isEmpty())
        FReport.AddClientLines(lines);
}

void TDeviceUpload::ShowProcessDone() {
    ShowClientLines();
    FReport.AddInfo(tr(ProcessDoneLine));
    FReport.AddInfo(QString());
}

void TDeviceUpload::ShowFailedAt() {
    FReport.AddInfo(tr("Upload failed at %1 %.").arg(FTransfer->Percent()));
}

void TDeviceUpload::ClientNotStarted(const QString &reason) {
    if (!FRunning || !FTicker->isActive())
        return;
    FTicker->stop();
    Log(reason);
    EndFailed(uoFailed, FSettings.ClientProgram + QStringLiteral(" could not be started."));
}

void TDeviceUpload::ClientFailed(int exitCode) {
    // The transfer failed, so no restart is coming: there is nothing to wait for.
    Log(QStringLiteral("Comm: exit status %1").arg(exitCode));
    ShowClientLines();
    if (FTransfer->Percent() > 0)
        ShowFailedAt();
    FExitCode = exitCode;
    const TClientFailure failure = ClassifyClientFailure(exitCode, FTransfer->Lines());
    if (failure != TClientFailure::cfNoReply) {
        EndFailed(uoFailed, ClientFailureLine(failure, exitCode, FAddress, FFile, false));
        return;
    }
    // A silent transfer looks the same whether the device is off or only its TFTP server.
    const unsigned generation = FGeneration;
    FEchoWait->Echo(FAddress, FSettings.FailureEchoMs, [this, generation](bool answered) {
        if (generation == FGeneration && FRunning)
            ClientFailureEchoEnded(answered);
    });
}

void TDeviceUpload::ClientFailureEchoEnded(bool answered) {
    EndFailed(answered ? uoFailed : uoNoAnswer,
              ClientFailureLine(TClientFailure::cfNoReply, FExitCode, FAddress, FFile, answered));
}

void TDeviceUpload::EndFailed(TOutcome outcome, const QString &reason) {
    FReason = reason;
    FReport.AddInfo(reason);
    // Never the time-out lines of a web upload: they hold only for a file sent whole.
    if (FKind == ukWeb) {
        FReport.AddInfo(tr(WebFailed));
        FReport.AddInfo(QString());
    } else {
        FReport.AddInfo(tr(FirmwareFailed));
    }
    Finish(outcome);
}

int TDeviceUpload::LimitMs() const {
    return FKind == ukWeb ? FSettings.WebLimitMs : FSettings.FirmwareLimitMs;
}

void TDeviceUpload::Tick() {
    if (FTransfer->HasEnded() || FHeadway->elapsed() >= LimitMs()) {
        FTicker->stop();
        WaitEnded();
    }
}

void TDeviceUpload::ClientCut() {
    // Part of the file never reached the device: nothing can have been written, and no restart
    // is coming.
    FTransfer->Stop();
    ShowClientLines();
    ShowFailedAt();
    EndFailed(uoUploadTimeout,
              tr("The transfer stopped at %1 %: the device acknowledged nothing for "
                 "%2 s.")
                  .arg(FTransfer->Percent())
                  .arg(LimitMs() / 1000.0));
}

void TDeviceUpload::WaitEnded() {
    const bool ended = FTransfer->HasEnded();
    const int exitCode = ended ? FTransfer->ExitCode() : -1;
    if (ended && exitCode != 0) {
        ClientFailed(exitCode);
        return;
    }
    if (!ended && !FTransfer->AllSent()) {
        ClientCut();
        return;
    }
    // A client still running here has sent the whole file: only the last acknowledgement is
    // missing, and the device may well have taken the file.
    if (FKind == ukFirmware) {
        if (ended) {
            ShowProcessDone();
            FReport.AddInfo(tr("Firmware upload successful."));
            Finish(uoDone);
        } else {
            FReport.AddInfo(tr(FirmwareFailed));
            FTransfer->Abort();
            ShowProcessDone();
            Finish(uoUploadTimeout);
        }
        return;
    }
    TOutcome outcome = uoDone;
    if (!ended) {
        FTransfer->Abort();
        outcome = uoUploadTimeout;
    }
    ShowProcessDone();
    FPendingOutcome = outcome;
    FReport.AddInfo(tr("Device restart..."));
    StartRestartWait();
}

void TDeviceUpload::StartRestartWait() {
    FRestartClock = std::make_unique<QElapsedTimer>();
    FRestartClock->start();
    FRestartLimitMs = HostAnswerWaitLimitMs(FSettings.ExtraCycles) + FSettings.RestartPauseMs;
    RestartTick();
    FRestartTicker->start(1000);
    const unsigned generation = FGeneration;
    FEchoWait->WaitForAnswer(FAddress, FSettings.ExtraCycles, [this, generation](int result) {
        if (generation == FGeneration && FRunning)
            RestartWaitEnded(result);
    });
}

void TDeviceUpload::RestartTick() {
    if (!FRestartClock)
        return;
    const qint64 left = FRestartLimitMs - FRestartClock->elapsed();
    emit RestartWaitLeft(static_cast<int>(std::max<qint64>(0, (left + 999) / 1000)));
}

void TDeviceUpload::RestartWaitEnded(int result) {
    if (result < 0) {
        EndWeb(uoInternalError);
    } else if (result > 0) {
        EndWeb(uoRestartTimeout);
    } else {
        // What is left now is the pause for the device's web server.
        if (FRestartClock)
            FRestartLimitMs = static_cast<int>(FRestartClock->elapsed()) + FSettings.RestartPauseMs;
        RestartTick();
        const unsigned generation = FGeneration;
        QTimer::singleShot(FSettings.RestartPauseMs, this, [this, generation] {
            if (generation == FGeneration && FRunning)
                EndWeb(FPendingOutcome);
        });
    }
}

QString TDeviceUpload::OutcomeReason(TOutcome outcome) const {
    switch (outcome) {
    case uoUploadTimeout:
        return tr("The whole file was sent, but the transfer had not ended %1 s "
                  "later.")
            .arg(LimitMs() / 1000.0);
    case uoRestartTimeout:
        return tr("Device restart timeout elapsed.");
    case uoInternalError:
        return tr("Internal error.");
    case uoNothingSent:
        return tr("Nothing was sent.");
    case uoCancelled:
        return tr("Stopped before the upload ended.");
    case uoDone:
    case uoFailed:
    case uoNoAnswer:
        break;
    }
    return {};
}

void TDeviceUpload::EndWeb(TOutcome outcome) {
    switch (outcome) {
    case uoDone:
        FReport.AddInfo(tr("Device restart done."));
        FReport.AddInfo(tr("Web upload successful."));
        break;
    case uoUploadTimeout:
        FReport.AddInfo(tr("Core web upload process timeout exceeded."));
        FReport.AddInfo(
            tr("It is possible to writting process was successful. Please, check your device web "
               "site, if upload was procceed correctly."));
        break;
    case uoRestartTimeout:
        FReport.AddInfo(tr("Device restart timeout elapsed."));
        FReport.AddInfo(tr("It is possible you will not connect to device a few time."));
        FReport.AddInfo(tr("Wait some seconds after next device connection."));
        FReport.AddInfo(tr("Web upload successful."));
        break;
    case uoInternalError:
        FReport.AddInfo(tr("Internal error."));
        FReport.AddInfo(tr(WebFailed));
        break;
    case uoFailed:
    case uoNoAnswer:
    case uoNothingSent:
    case uoCancelled:
        FReport.AddInfo(tr(WebFailed));
        break;
    }
    FReport.AddInfo(QString());
    Finish(outcome);
}

void TDeviceUpload::Finish(TOutcome outcome) {
    if (!FRunning)
        return;
    FRunning = false;
    if (outcome != uoDone && FReason.isEmpty())
        FReason = OutcomeReason(outcome);
    ++FGeneration;
    FTicker->stop();
    FRestartTicker->stop();
    FRestartClock.reset();
    FDeviceLock->Release();
    if (FTransfer) {
        // Not deleted at once: this may run inside one of its signals.
        disconnect(FTransfer.get(), nullptr, this, nullptr);
        FTransfer.release()->deleteLater();
    }
    emit Finished(outcome);
}

void TDeviceUpload::Cancel() {
    if (!FRunning)
        return;
    FTicker->stop();
    // Killed here and now, not when the deferred deletion comes.
    if (FTransfer)
        FTransfer->Stop();
    FEchoWait->Cancel();
    Log(QStringLiteral("Comm: cancelled"));
    if (FRestartClock && FPendingOutcome == uoDone)
        FReason = tr("File sent; stopped waiting for the restart.");
    Finish(uoCancelled);
}

#include "moc_deviceupload.cpp"
