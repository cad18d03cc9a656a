// One file to many devices side by side: the engine under quillet-cli's uploads and the
// upload window.
#pragma once

#include "app/workflows/deviceupload.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class TWorkflowReport;

// What became of one device's upload.
struct TFleetDevice {
    QString Address;
    bool Ended = false;
    TDeviceUpload::TOutcome Outcome = TDeviceUpload::uoNothingSent;
    // Why it did not reach done, in a technician's words; empty after done.
    QString Reason;
    // The lines the device's upload reported, when the report was the engine's own.
    QStringList Lines;
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
    // Starts one upload per address; ignored while uploads run. AllFinished follows in every
    // case, possibly before Start returns (when no upload gets under way).
    void Start(TKind kind, const QString &file, const QStringList &addresses);
    // Stops every transfer and restart wait still going; each of them ends as uoCancelled
    // before Cancel returns.
    void Cancel();
    bool Running() const { return FRunning > 0; }
    const QList<TFleetDevice> &Devices() const { return FDevices; }
    int DoneCount() const;

    // "done", "upload time-out", "interrupted", ...: the words of the CLI's summary.
    static QString OutcomeText(TDeviceUpload::TOutcome outcome);
    // "18 of 20 devices done".
    static QString SummaryLine(int done, int total);

signals:
    void TransferProgress(int index, int percent);
    void RestartWaitLeft(int index, int seconds);
    void DeviceFinished(int index);
    void AllFinished();

private:
    class TKeptReport;
    void DeviceEnded(int index, TDeviceUpload::TOutcome outcome);

    TUploadSettings FSettings;
    TReportFactory FReportFactory;
    QList<TFleetDevice> FDevices;
    std::vector<std::unique_ptr<TWorkflowReport>> FReports;
    std::vector<std::unique_ptr<TDeviceUpload>> FUploads;
    int FRunning = 0;
};
