// One file to many devices side by side: the engine under quillet-cli's uploads and the
// upload window.
#pragma once

#include "app/workflows/deviceupload.h"
#include "app/workflows/webverifier.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

class TVerifiedUpload;
class TWorkflowReport;
struct TWebFilePages;

// What became of one device's upload.
struct TFleetDevice {
    QString Address;
    bool Ended = false;
    TDeviceUpload::TOutcome Outcome = TDeviceUpload::uoNothingSent;
    // Why it did not reach done, in a technician's words; empty after done.
    QString Reason;
    // The lines the device's upload reported, when the report was the engine's own.
    QStringList Lines;
    // The check of a web upload that ended done: "verified", "differs", "not verified" or
    // "cancelled" (TWebVerification::WordText); empty when nothing was checked.
    QString Verified;
    // The check's line ("The device does not serve the new web file: ..."); empty without one.
    QString VerifySummary;

    bool Differs() const;
    // Ended without reaching done, or done but serving other pages than it was sent.
    bool Failed() const;
    // Why it failed, or what the check found when it found no match.
    QString Note() const;
};

// A device an upload is meant for, with what a search told about it.
struct TUploadTarget {
    QString Address;
    QString Mac;
    QString Family; // empty when unknown
    QString Model;  // empty when unknown
    bool Reachable = true;
};

// The question to ask before anything is sent, or empty when there is nothing to ask: the
// devices this computer has no route to, and before firmware goes to several devices, the ones
// whose family or model differs from most of the others (a wrong image can ruin a device).
QString UploadQuestion(const QList<TUploadTarget> &targets, bool firmware, const QString &file);

// Every upload runs from the event loop, so the caller's loop (a window's, or one that a
// console command runs until AllFinished) carries them all.
class TFleetUpload : public QObject {
    Q_OBJECT
public:
    enum TKind { fkWeb, fkFirmware };
    // Gives the report of the device at index; without one the engine keeps each device's
    // lines itself.
    using TReportFactory =
        std::function<std::unique_ptr<TWorkflowReport>(int index, const QString &address)>;

    explicit TFleetUpload(TUploadSettings settings = {}, QObject *parent = nullptr);
    ~TFleetUpload() override;

    void SetReportFactory(TReportFactory factory) { FReportFactory = std::move(factory); }
    // Whether web uploads that end done are checked over HTTP (they are unless switched off).
    void SetVerification(bool on, TWebVerifySettings settings = {}) {
        FVerify = on;
        FVerifySettings = settings;
    }
    // How many transfers run at once; the rest wait for a free place, in the given order. A
    // device gives its place up when its client ends (or its upload, when no client started):
    // restart waits and checks cost the devices nothing and this computer little, so they are
    // not counted.
    static constexpr int DefaultParallel = 64;
    void SetParallel(int transfers) { FParallel = std::max(transfers, 1); }
    // Starts one upload per address; ignored while uploads run. AllFinished follows in every
    // case, possibly before Start returns (when no upload gets under way).
    void Start(TKind kind, const QString &file, const QStringList &addresses);
    // Stops every transfer, restart wait and check still going; each of them ends before
    // Cancel returns (a transfer or wait as uoCancelled, a check as cancelled), and so do the
    // uploads still waiting for their turn, with nothing sent.
    void Cancel();
    bool Running() const { return FRunning > 0; }
    const QList<TFleetDevice> &Devices() const { return FDevices; }
    int DoneCount() const;
    int VerifiedCount() const;
    int DifferingCount() const;

    // "done", "upload time-out", "interrupted", ...: the words of the CLI's summary.
    static QString OutcomeText(TDeviceUpload::TOutcome outcome);
    // "18 of 20 devices done", and for checked web uploads ", 16 verified, 1 differs".
    static QString SummaryLine(int done, int total, int verified = 0, int differing = 0);

signals:
    void TransferProgress(int index, int percent);
    void RestartWaitLeft(int index, int seconds);
    void VerifyProgress(int index, int page, int pages);
    void DeviceFinished(int index);
    void AllFinished();

private:
    class TKeptReport;
    void StartWaiting();
    void TransferEnded(int index);
    void DeviceEnded(int index, TDeviceUpload::TOutcome outcome);

    TUploadSettings FSettings;
    TReportFactory FReportFactory;
    QList<TFleetDevice> FDevices;
    std::vector<std::unique_ptr<TWorkflowReport>> FReports;
    std::vector<std::unique_ptr<TVerifiedUpload>> FUploads;
    bool FVerify = true;
    TWebVerifySettings FVerifySettings;
    int FRunning = 0;
    int FParallel = DefaultParallel;
    // The run's file and what was read of it, for the uploads that start later.
    TKind FKind = fkWeb;
    QString FFile;
    std::shared_ptr<const TWebFilePages> FPages;
    std::size_t FNextStart = 0;
    int FTransfers = 0;
    std::vector<bool> FInTransfer;
    bool FStarting = false;
};
