// The Upload web and Upload FW workflows: a TFTP transfer through the system client, then for
// a web file the wait until the device has restarted and answers again.
#pragma once

#include "support/icmpecho.h"

#include <QObject>
#include <QString>

#include <memory>

class QElapsedTimer;
class QTimer;
class TBrimoLog;
class TCurlTransfer;
class TEchoHub;
class TEchoWait;
class TUploadLock;
class TWorkflowReport;

struct TUploadSettings {
    // The TFTP client's first word (program folder first, then the search path).
    QString ClientProgram = QStringLiteral("curl");
    // The wait for the client's end looks every TickMs (a firmware upload ends as soon as the
    // client does). The limit counts the time without headway (no further block
    // acknowledged), so a slow link that keeps moving is never cut.
    int TickMs = 1000;
    int WebLimitMs = 30000;
    int FirmwareLimitMs = 20000;
    // After the device answered again: its web server needs a moment more.
    int RestartPauseMs = 5000;
    quint32 ExtraCycles = 20;
    // The one echo after a transfer that nothing answered: device off, or only its TFTP server.
    int FailureEchoMs = 3000;
    // The echo service of the restart wait; a test may shorten its times.
    TEchoEnvironment Echo = TEchoEnvironment::System();
    // Whether the uploads of one fleet run send their echoes through one ICMP socket of the
    // system's, on the event loop, instead of Echo on a thread each. The programs switch it
    // on; off, a test's stand-in Echo is used.
    bool ShareEcho = false;
    // That socket, when the fleet could open one; the uploads then use it and not Echo.
    std::shared_ptr<TEchoHub> EchoHub;
};

// One upload at a time per instance, to one address. Every wait runs from the event loop (the
// echoes away from it), so the window stays live and several instances can upload side by
// side in one loop.
class TDeviceUpload : public QObject {
    Q_OBJECT
public:
    enum TOutcome {
        uoNothingSent,    // no address or no file
        uoDone,           // sent, and for a web file the device came back
        uoUploadTimeout,  // the transfer made no headway within the limit
        uoRestartTimeout, // the device did not answer after the restart
        uoInternalError,  // the restart wait failed
        uoFailed,         // the client failed or could not be started
        uoNoAnswer,       // the client failed and the device did not answer an echo either
        uoCancelled       // stopped by Cancel before it ended
    };
    Q_ENUM(TOutcome)

    TDeviceUpload(TWorkflowReport &report, TBrimoLog *log, TUploadSettings settings = {},
                  QObject *parent = nullptr);
    // Stops a transfer or restart wait still going, without further lines or signals.
    ~TDeviceUpload() override;

    // Both are ignored while an upload runs. Finished follows in every case, possibly before
    // they return.
    void StartWeb(const QString &address, const QString &webFile);
    void StartFirmware(const QString &address, const QString &firmwareFile);
    bool Running() const { return FRunning; }
    // Stops the transfer or restart wait still going: the client is killed and any echo under
    // way ends at once. Adds no lines; Finished(uoCancelled) follows before it returns.
    void Cancel();
    const QString &CommandLine() const { return FCommandLine; }
    // Why the last upload did not end in uoDone, in a technician's words; empty after uoDone.
    const QString &Reason() const { return FReason; }

    static QString WebCommandLine(const QString &client, const QString &address,
                                  const QString &file);
    static QString FirmwareCommandLine(const QString &client, const QString &address,
                                       const QString &file);

    // "Sending: 45 %" and "Device restart: at most 3:55 more", for a progress line.
    static QString TransferText(int percent);
    static QString RestartText(int secondsLeft);

signals:
    // 0 when the client starts, then each new percentage the client reports.
    void TransferProgress(int percent);
    // When the client has ended, whichever way.
    void ClientEnded();
    // Once a second during the restart wait and its closing pause: the time it may still take.
    void RestartWaitLeft(int seconds);
    void Finished(TDeviceUpload::TOutcome outcome);

private:
    enum TKind { ukWeb, ukFirmware };

    bool CheckAddress(const QString &address, const QString &missingLine);
    void StartClient();
    int LimitMs() const;
    void ShowClientLines();
    void ShowProcessDone();
    void ShowFailedAt();
    void ClientCut();
    void RestartTick();
    void ClientNotStarted(const QString &reason);
    void ClientFailed(int exitCode);
    void EndFailed(TOutcome outcome, const QString &reason);
    void Tick();
    void WaitEnded();
    void StartRestartWait();
    void ClientFailureEchoEnded(bool answered);
    void RestartWaitEnded(int result);
    void EndWeb(TOutcome outcome);
    void Finish(TOutcome outcome);
    QString OutcomeReason(TOutcome outcome) const;
    void Log(const QString &line);

    TWorkflowReport &FReport;
    TBrimoLog *FLog;
    TUploadSettings FSettings;
    TKind FKind = ukWeb;
    QString FAddress;
    bool FAddressValid = false;
    QString FCommandLine;
    QString FFile;
    QString FReason;
    int FExitCode = -1;
    std::unique_ptr<TCurlTransfer> FTransfer;
    QTimer *FTicker = nullptr;
    QTimer *FRestartTicker = nullptr;
    std::unique_ptr<QElapsedTimer> FRestartClock;
    int FRestartLimitMs = 0;
    // Since the transfer last made headway.
    std::unique_ptr<QElapsedTimer> FHeadway;
    TOutcome FPendingOutcome = uoDone;
    bool FRunning = false;
    unsigned FGeneration = 0;
    std::unique_ptr<TEchoWait> FEchoWait;
    // Held from the start of the transfer to the end of the upload.
    std::unique_ptr<TUploadLock> FDeviceLock;
};
