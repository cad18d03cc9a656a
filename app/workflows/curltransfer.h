// One run of the system's TFTP client (curl): one file to one address, with its progress meter.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class TDosCommand;

class TCurlTransfer : public QObject {
    Q_OBJECT
public:
    explicit TCurlTransfer(QObject *parent = nullptr);
    // A client still running is killed, without further signals.
    ~TCurlTransfer() override;

    // The command line that sends file to tftp://address/remoteName.
    static QString CommandLine(const QString &client, const QString &address, const QString &file,
                               const QString &remoteName);
    // The client's progress meter: the share of the file sent, in percent or in tenths of a
    // percent as it shows them; -1 for a line that is no meter, 0 before the size is known.
    static int MeterPercent(const QString &line);
    static int MeterTenths(const QString &line);

    // Progress(0) first, then the client starts; once per transfer.
    void Start(const QString &commandLine);
    bool HasEnded() const { return FEnded; }
    // The client's exit status; -1 while it runs, when it was killed or could not start.
    int ExitCode() const;
    // What the client printed, without the meter.
    QStringList Lines() const;
    bool Running() const;
    // The highest share the meter showed: the client sends a block only after the device
    // acknowledged the one before, so it grows exactly while the transfer makes headway.
    int Percent() const { return FTenths / 10; }
    bool AllSent() const { return FTenths >= 1000; }
    // Kills the client; Ended, with what it printed until then, comes before this returns.
    void Abort();
    // Kills the client without a further signal.
    void Stop();

signals:
    // Each new highest share the meter shows.
    void Progress(int percent);
    // Each time the meter shows more of the file sent, by a tenth of a percent or more.
    void Advanced();
    void Ended();
    void NotStarted(const QString &reason);

private:
    void ClientLine(const QString &line);
    void ClientEnded();

    std::unique_ptr<TDosCommand> FRunner;
    int FTenths = -1;
    bool FEnded = false;
};
