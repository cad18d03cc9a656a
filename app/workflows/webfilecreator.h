// The Create button's workflow: names the web file, makes its folders and runs the packer.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QTimer;
class TBrimoLog;
class TDosCommand;
class TWorkflowReport;

struct TCreateRequest {
    QString ProgramFolder; // with a trailing "/"; the packer's folder and its MIME table
    QString OutputRoot;  // with a trailing "/"; holds the output tree "pmf/" (empty: ProgramFolder)
    QString FileOutName; // when given, the web file is written here, not named in the tree
    QString DirInName;   // the source folder the name is derived from
    QString SourceFolder; // the source folder as shown: cleaned of "*.bak" and packed
    bool InternalMode = false;
    bool RewriteLast = false;
    bool DeleteBakFiles = true;
};

struct TCreateSettings {
    // The packer's first word: found in the program folder first, then on the search path.
    QString PackerProgram = QStringLiteral("sitepack");
    int StepPauseMs = 200;
    // A packer still running after this is stopped and the creation fails. The packer reads a
    // few megabytes at most, so a minute means it hangs.
    int PackerLimitMs = 60000;
};

// One creation at a time per instance. The steps between the pauses run from the event loop,
// so the window stays live and several instances can share one loop. The program's current
// folder becomes the program folder, which the packer inherits (it reads its MIME table there).
class TWebFileCreator : public QObject {
    Q_OBJECT
public:
    TWebFileCreator(TWorkflowReport &report, TBrimoLog *log, TCreateSettings settings = {},
                    QObject *parent = nullptr);
    ~TWebFileCreator() override;

    // Starts a creation; ignored while one runs. Finished follows in every case, possibly
    // before Start returns.
    void Start(const TCreateRequest &request);
    bool Running() const { return FRunning; }
    // Stops a creation still going, the packer included, without further lines; Finished(false)
    // follows before it returns.
    void Cancel();
    // The full path of the web file of the latest creation; empty when it could not be named.
    const QString &FileOutName() const { return FFileOutName; }
    const QString &CommandLine() const { return FCommandLine; }

signals:
    // The name is chosen and the packer about to run: the web file field takes it.
    void WebFileNamed(const QString &fileOutName);
    void Finished(bool created);

private:
    QString BuildWebFileName();
    void ChangeFolder();
    void RunPacker();
    void PackerEnded();
    void PackerNotStarted(const QString &reason);
    void PackerTooSlow();
    void AddCapturedLines();
    void Fail(const QString &reason);
    void InternalError(const QString &message);
    void Finish(bool created);
    void RemoveEmptyNewFolders();
    void Log(const QString &line);
    template <typename Step> void Guarded(Step step);

    TWorkflowReport &FReport;
    TBrimoLog *FLog;
    TCreateSettings FSettings;
    TCreateRequest FRequest;
    QString FFileOutName;
    QString FCommandLine;
    // The output folders that this creation made, outermost first.
    QStringList FNewFolders;
    std::unique_ptr<TDosCommand> FRunner;
    QTimer *FLimit = nullptr;
    bool FRunning = false;
    bool FBusy = false;
    // Counts creations, so that a pause of an earlier one that ended meanwhile does nothing.
    unsigned FGeneration = 0;
};
