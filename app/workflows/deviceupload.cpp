#include "app/workflows/deviceupload.h"

#include "app/workflows/uploadfailure.h"
#include "app/workflows/workflowreport.h"
#include "support/brimolog.h"
#include "support/commandline.h"
#include "support/doscommand.h"
#include "support/nethelpers.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

#include <sys/eventfd.h>
#include <unistd.h>

namespace {
const QString ProcessDoneLine = QStringLiteral("Process done.");
const QString WebFailed = QStringLiteral("Web upload failed.");
const QString FirmwareFailed = QStringLiteral("Process failed?");

bool NoAddress(const QString &address) {
    return address.isEmpty() || address == QStringLiteral("0.0.0.0");
}

// Raised on the restart wait's thread to end it early.
struct TCancelled : std::runtime_error {
    TCancelled()
        : std::runtime_error("cancelled") {}
};

QString ClientCommandLine(const QString &client, const QString &address, const QString &file,
                          const QString &remoteName) {
    // No option negotiation, as the devices' own client sends; a silent device ends the
    // transfer after 10 s instead of the client's default of minutes. Without --globoff the
    // client reads "[", "]", "{" and "}" of a file name as a pattern and refuses the path.
    // The progress meter (-#) writes unfinished lines with the share sent; -S keeps the
    // client's error line.
    return client + QStringLiteral(" -#S --globoff --tftp-no-options --connect-timeout 10 -T ") +
           QuoteArgument(file) + QStringLiteral(" tftp://") + address + QLatin1Char('/') +
           remoteName;
}
} // namespace

// Ends the echoes of one wait: the flag for the steps between echoes, the descriptor for an
// echo that is waiting for its answer.
struct TDeviceUpload::TEchoCancel {
    std::atomic<bool> Stop{false};
    int Fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    TEchoCancel() = default;
    TEchoCancel(const TEchoCancel &) = delete;
    TEchoCancel &operator=(const TEchoCancel &) = delete;
    ~TEchoCancel() {
        if (Fd >= 0)
            ::close(Fd);
    }
    void Raise() {
        Stop.store(true);
        const quint64 one = 1;
        if (Fd >= 0 && ::write(Fd, &one, sizeof one) < 0) {
            // Only the flag then: the echo under way ends at its own time-out.
        }
    }
    void Check() const {
        if (Stop.load())
            throw TCancelled();
    }
};

int TDeviceUpload::MeterPercent(const QString &line) {
    // "######                 8.6%", or the bouncing marks before the size is known.
    static const QRegularExpression meter(
        QStringLiteral("^\\s*([#=O\\-]+\\s*)?(?:(\\d{1,3}(?:[.,]\\d)?)%)?\\s*$"));
    const QRegularExpressionMatch match = meter.match(line);
    if (!match.hasMatch() || line.trimmed().isEmpty())
        return -1;
    if (match.capturedLength(2) == 0)
        return match.capturedLength(1) > 0 ? 0 : -1;
    QString number = match.captured(2);
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    return std::clamp(static_cast<int>(number.toDouble()), 0, 100);
}

QString TDeviceUpload::TransferText(int percent) {
    return QStringLiteral("Sending: %1 %").arg(percent);
}

QString TDeviceUpload::RestartText(int secondsLeft) {
    return QStringLiteral("Device restart: at most %1:%2 more")
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
    FRestartTicker = new QTimer(this);
    connect(FRestartTicker, &QTimer::timeout, this, &TDeviceUpload::RestartTick);
}

TDeviceUpload::~TDeviceUpload() {
    FTicker->stop();
    FRestartTicker->stop();
    StopEchoes();
    FRunner.reset();
}

QString TDeviceUpload::WebCommandLine(const QString &client, const QString &address,
                                      const QString &file) {
    return ClientCommandLine(client, address, file, QStringLiteral("WEB1"));
}

QString TDeviceUpload::FirmwareCommandLine(const QString &client, const QString &address,
                                           const QString &file) {
    return ClientCommandLine(client, address, file, QStringLiteral("X5"));
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
        FReport.AddInfo(QStringLiteral("IP address syntax error."));
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
    FReport.AddInfo(QStringLiteral("Web upload...   \\") + webFile);
    FCommandLine = WebCommandLine(FSettings.ClientProgram, FAddress, webFile);
    Log(QStringLiteral("Comm: cmd=") + FCommandLine);
    FRunner = std::make_unique<TDosCommand>();
    // The address is looked at before the file.
    if (NoAddress(address)) {
        FReport.AddInfo(QStringLiteral("No IP adress selected."));
        Finish(uoNothingSent);
        return;
    }
    if (webFile.isEmpty()) {
        FReport.AddInfo(QStringLiteral("No input (web) file selected."));
        Finish(uoNothingSent);
        return;
    }
    if (!CheckAddress(address, QStringLiteral("No IP adress selected."))) {
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
    FReport.AddInfo(QStringLiteral("Firmware upload...   \\") + firmwareFile);
    FCommandLine = FirmwareCommandLine(FSettings.ClientProgram, FAddress, firmwareFile);
    FRunner = std::make_unique<TDosCommand>();
    // The file is looked at before the address.
    if (firmwareFile.isEmpty()) {
        FReport.AddInfo(QStringLiteral("No input (fw) file selected."));
        Finish(uoNothingSent);
        return;
    }
    if (!CheckAddress(address, QStringLiteral("No IP address selected."))) {
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
    FElapsed = 0;
    FProcessDone = false;
    connect(FRunner.get(), &TDosCommand::Terminated, this, &TDeviceUpload::UploadEnded);
    connect(FRunner.get(), &TDosCommand::StartFailed, this, &TDeviceUpload::ClientNotStarted);
    connect(FRunner.get(), &TDosCommand::NewLine, this, &TDeviceUpload::ClientLine);
    FRunner->SetCommandLine(FCommandLine);
    FPercent = 0;
    emit TransferProgress(0);
    FRunner->Start();
    FTicker->start(FSettings.TickMs);
}

void TDeviceUpload::ClientLine(const QString &line) {
    const int percent = MeterPercent(line);
    if (!FRunning || FProcessDone || percent <= FPercent)
        return;
    FPercent = percent;
    emit TransferProgress(percent);
}

QStringList TDeviceUpload::ClientLines() const {
    QStringList lines;
    // The meter's first carriage return ends an empty line of its own.
    for (const QString &line : FRunner->CapturedLines()) {
        if (!line.isEmpty() && MeterPercent(line) < 0)
            lines.append(line);
    }
    return lines;
}

void TDeviceUpload::UploadEnded() {
    if (!FRunning || !FRunner || FProcessDone)
        return;
    const QStringList lines = ClientLines();
    if (!lines.isEmpty())
        FReport.AddInfo(lines.join(QLatin1Char('\n')));
    FReport.AddInfo(ProcessDoneLine);
    FReport.AddInfo(QString());
    FProcessDone = true;
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
    FExitCode = exitCode;
    const TClientFailure failure = ClassifyClientFailure(exitCode, ClientLines());
    if (failure != TClientFailure::cfNoReply) {
        EndFailed(uoFailed, ClientFailureLine(failure, exitCode, FAddress, FFile, false));
        return;
    }
    // A silent transfer looks the same whether the device is off or only its TFTP server.
    const QString address = FAddress;
    const qint32 timeoutMs = FSettings.FailureEchoMs;
    StartEchoes(
        [address, timeoutMs](const TEchoEnvironment &echo, const std::function<void()> &) {
            unsigned char ttl = 0;
            unsigned roundTripTime = 0;
            return PingHost(address, timeoutMs, 1, ttl, roundTripTime, echo) ? 1 : 0;
        },
        &TDeviceUpload::ClientFailureEchoEnded);
}

void TDeviceUpload::ClientFailureEchoEnded(int result) {
    StopEchoes();
    const bool answered = result > 0;
    EndFailed(answered ? uoFailed : uoNoAnswer,
              ClientFailureLine(TClientFailure::cfNoReply, FExitCode, FAddress, FFile, answered));
}

void TDeviceUpload::EndFailed(TOutcome outcome, const QString &reason) {
    FReason = reason;
    FReport.AddInfo(reason);
    if (FKind == ukWeb) {
        EndWeb(outcome);
    } else {
        FReport.AddInfo(FirmwareFailed);
        Finish(outcome);
    }
}

void TDeviceUpload::Tick() {
    FElapsed += FSettings.TickMs;
    const int limit = FKind == ukWeb ? FSettings.WebLimitMs : FSettings.FirmwareLimitMs;
    if (FProcessDone || FElapsed >= limit) {
        FTicker->stop();
        WaitEnded();
    }
}

void TDeviceUpload::WaitEnded() {
    const bool ended = FProcessDone;
    const int exitCode = ended ? FRunner->ExitCode() : -1;
    if (FKind == ukFirmware) {
        if (ended && exitCode == 0) {
            FReport.AddInfo(QStringLiteral("Firmware upload successful."));
            Finish(uoDone);
        } else if (ended) {
            ClientFailed(exitCode);
        } else {
            FReport.AddInfo(FirmwareFailed);
            // The end notification adds the client's lines and "Process done." below.
            FRunner->Abort();
            Finish(uoUploadTimeout);
        }
        return;
    }
    if (ended && exitCode != 0) {
        ClientFailed(exitCode);
        return;
    }
    TOutcome outcome = uoDone;
    if (!ended) {
        FRunner->Abort();
        outcome = uoUploadTimeout;
    }
    FPendingOutcome = outcome;
    FReport.AddInfo(QStringLiteral("Device restart..."));
    StartRestartWait();
}

void TDeviceUpload::StartRestartWait() {
    FRestartClock = std::make_unique<QElapsedTimer>();
    FRestartClock->start();
    FRestartLimitMs = HostAnswerWaitLimitMs(FSettings.ExtraCycles) + FSettings.RestartPauseMs;
    RestartTick();
    FRestartTicker->start(1000);
    const QString address = FAddress;
    const quint32 extraCycles = FSettings.ExtraCycles;
    StartEchoes(
        [address, extraCycles](const TEchoEnvironment &echo,
                               const std::function<void()> &checkpoint) {
            return WaitForHostAnswer(address, extraCycles, checkpoint, echo);
        },
        &TDeviceUpload::RestartWaitEnded);
}

void TDeviceUpload::RestartTick() {
    if (!FRestartClock)
        return;
    const qint64 left = FRestartLimitMs - FRestartClock->elapsed();
    emit RestartWaitLeft(static_cast<int>(std::max<qint64>(0, (left + 999) / 1000)));
}

void TDeviceUpload::StartEchoes(TEchoWork work, void (TDeviceUpload::*then)(int result)) {
    auto cancel = std::make_shared<TEchoCancel>();
    FCancel = cancel;
    TEchoEnvironment echo = FSettings.Echo;
    auto openService = echo.OpenService;
    echo.OpenService = [cancel, openService]() {
        cancel->Check();
        std::unique_ptr<TEchoService> service = openService();
        if (service)
            service->SetInterrupt(cancel->Fd);
        return service;
    };
    // Long pauses go in short steps, so that a cancel never waits for one to end.
    auto sleep = echo.Sleep;
    echo.Sleep = [cancel, sleep](int milliseconds) {
        constexpr int StepMs = 50;
        do {
            cancel->Check();
            const int step = std::min(milliseconds, StepMs);
            sleep(step);
            milliseconds -= step;
        } while (milliseconds > 0);
        cancel->Check();
    };
    const std::function<void()> checkpoint = [cancel] {
        cancel->Check();
    };
    const unsigned generation = FGeneration;
    // Why an echo could not be made (no ICMP socket, no usable ping) belongs in the upload's log
    // too; the log is written from this object's thread only.
    auto log = echo.Log;
    echo.Log = [this, log, generation](const QString &line) {
        if (log)
            log(line);
        QMetaObject::invokeMethod(
            this,
            [this, generation, line] {
                if (generation == FGeneration)
                    Log(line);
            },
            Qt::QueuedConnection);
    };
    FEchoThread = std::thread([this, cancel, echo, checkpoint, work, then, generation] {
        int result = -1;
        try {
            result = work(echo, checkpoint);
        } catch (...) {
            // A cancellation, or an echo service that failed: either way no answer came.
        }
        if (cancel->Stop.load())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, generation, result, then] {
                if (generation == FGeneration && FRunning)
                    (this->*then)(result);
            },
            Qt::QueuedConnection);
    });
}

void TDeviceUpload::StopEchoes() {
    if (FCancel)
        FCancel->Raise();
    if (FEchoThread.joinable())
        FEchoThread.join();
    FCancel.reset();
}

void TDeviceUpload::RestartWaitEnded(int result) {
    StopEchoes();
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
        return QStringLiteral("The transfer had not ended after %1 s.")
            .arg((FKind == ukWeb ? FSettings.WebLimitMs : FSettings.FirmwareLimitMs) / 1000);
    case uoRestartTimeout:
        return QStringLiteral("Device restart timeout elapsed.");
    case uoInternalError:
        return QStringLiteral("Internal error.");
    case uoNothingSent:
        return QStringLiteral("Nothing was sent.");
    case uoCancelled:
        return QStringLiteral("Stopped before the upload ended.");
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
        FReport.AddInfo(QStringLiteral("Device restart done."));
        FReport.AddInfo(QStringLiteral("Web upload successful."));
        break;
    case uoUploadTimeout:
        FReport.AddInfo(QStringLiteral("Core web upload process timeout exceeded."));
        FReport.AddInfo(QStringLiteral(
            "It is possible to writting process was successful. Please, check your device web "
            "site, if upload was procceed correctly."));
        break;
    case uoRestartTimeout:
        FReport.AddInfo(QStringLiteral("Device restart timeout elapsed."));
        FReport.AddInfo(
            QStringLiteral("It is possible you will not connect to device a few time."));
        FReport.AddInfo(QStringLiteral("Wait some seconds after next device connection."));
        FReport.AddInfo(QStringLiteral("Web upload successful."));
        break;
    case uoInternalError:
        FReport.AddInfo(QStringLiteral("Internal error."));
        FReport.AddInfo(WebFailed);
        break;
    case uoFailed:
    case uoNoAnswer:
    case uoNothingSent:
    case uoCancelled:
        FReport.AddInfo(WebFailed);
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
    if (FRunner)
        FRunner.release()->deleteLater();
    emit Finished(outcome);
}

void TDeviceUpload::Cancel() {
    if (!FRunning)
        return;
    FTicker->stop();
    if (FRunner) {
        // Killed here and now, not when the deferred deletion comes, and without its lines.
        disconnect(FRunner.get(), nullptr, this, nullptr);
        if (FRunner->Running())
            FRunner->Abort();
    }
    StopEchoes();
    Log(QStringLiteral("Comm: cancelled"));
    Finish(uoCancelled);
}

#include "moc_deviceupload.cpp"
