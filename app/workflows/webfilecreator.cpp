#include "app/workflows/webfilecreator.h"

#include "app/workflows/webfilenaming.h"
#include "app/workflows/workflowreport.h"
#include "support/brimolog.h"
#include "support/commandline.h"
#include "support/doscommand.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <exception>
#include <stdexcept>

namespace {
const char *const CreatingFailed =
    QT_TRANSLATE_NOOP("TWebFileCreator", "Web file creating failed.");
} // namespace

TWebFileCreator::TWebFileCreator(TWorkflowReport &report, TBrimoLog *log, TCreateSettings settings,
                                 QObject *parent)
    : QObject(parent)
    , FReport(report)
    , FLog(log)
    , FSettings(std::move(settings)) {
    FLimit = new QTimer(this);
    FLimit->setSingleShot(true);
    connect(FLimit, &QTimer::timeout, this, &TWebFileCreator::PackerTooSlow);
}

TWebFileCreator::~TWebFileCreator() {
    if (FBusy)
        FReport.SetBusy(false);
}

void TWebFileCreator::Log(const QString &line) {
    if (FLog)
        FLog->WriteLineIf({woCustom1}, line);
}

// Runs one step; an error it raises ends the creation as the user's action would end it.
template <typename Step> void TWebFileCreator::Guarded(Step step) {
    try {
        step();
    } catch (const std::exception &error) {
        InternalError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        InternalError(tr("Unknown error."));
    }
}

void TWebFileCreator::Start(const TCreateRequest &request) {
    if (FRunning)
        return;
    FRunning = true;
    ++FGeneration;
    FRequest = request;
    FFileOutName.clear();
    FCommandLine.clear();
    FNewFolders.clear();
    FReport.ClearInfo();
    FReport.AddInfo(tr("Creating web file..."));
    Log(QStringLiteral("--- Web file creating ---"));
    Guarded([this] {
        if (FRequest.DeleteBakFiles)
            DeleteBakFiles(FRequest.SourceFolder);
        if (FRequest.OutputRoot.isEmpty())
            FRequest.OutputRoot = FRequest.ProgramFolder;
        const bool named = FRequest.FileOutName.isEmpty();
        const QString relativeName = named ? BuildWebFileName() : QString();
        FFileOutName = named ? FRequest.OutputRoot + relativeName : FRequest.FileOutName;
        Log(QStringLiteral("FileOutName = [") + FFileOutName + QLatin1Char(']'));
        if (named && relativeName.isEmpty()) {
            FFileOutName.clear();
            FReport.AddInfo(tr("Internal error."));
            FReport.AddInfo(tr(CreatingFailed));
            Finish(false);
            return;
        }
        emit WebFileNamed(FFileOutName);
        FCommandLine = FSettings.PackerProgram + QStringLiteral(" /d ") +
                       QuoteArgument(FRequest.SourceFolder) + QStringLiteral(" /o ") +
                       QuoteArgument(FFileOutName);
        Log(QStringLiteral("Command = [") + FCommandLine + QLatin1Char(']'));
        FRunner = std::make_unique<TDosCommand>();
        FBusy = true;
        FReport.SetBusy(true);
        // There are no drives here: the line keeps its place in the log and nothing changes.
        Log(QStringLiteral("HD drive location: ") + FRequest.ProgramFolder.left(1) +
            QLatin1Char(':'));
        Log(QStringLiteral("HD drive location changed"));
        const unsigned generation = FGeneration;
        QTimer::singleShot(FSettings.StepPauseMs, this, [this, generation] {
            if (generation == FGeneration && FRunning)
                Guarded([this] { ChangeFolder(); });
        });
    });
}

QString TWebFileCreator::BuildWebFileName() {
    Log(QStringLiteral("DirInName = [") + FRequest.DirInName + QLatin1Char(']'));
    const TWebFileNameParts parts =
        WebFileNameParts(FRequest.ProgramFolder, FRequest.DirInName, FRequest.InternalMode);
    Log(QStringLiteral("KindWeb=[%1], KindDir=[%2], KindType=[%3]")
            .arg(parts.KindWeb, parts.KindDir, parts.KindType));
    const int number =
        NextVersion(HighestVersion(FRequest.OutputRoot, parts), FRequest.RewriteLast);
    const QStringList folders = WebFileFolders(parts);
    for (const QString &folder : folders) {
        const QString path = FRequest.OutputRoot + folder;
        if (!QFileInfo(path).isDir())
            FNewFolders.append(path);
    }
    const QString error = EnsureWebFileFolders(FRequest.OutputRoot, folders);
    if (!error.isEmpty()) {
        FReport.ErrorBox(error);
        return {};
    }
    return RelativeWebFileName(parts, number);
}

void TWebFileCreator::ChangeFolder() {
    Log(QStringLiteral("Directory location: cd ") + FRequest.ProgramFolder);
    if (!QDir::setCurrent(FRequest.ProgramFolder))
        throw std::runtime_error(
            tr("Cannot change to the folder %1").arg(FRequest.ProgramFolder).toStdString());
    Log(QStringLiteral("Directory location changed"));
    const unsigned generation = FGeneration;
    QTimer::singleShot(FSettings.StepPauseMs, this, [this, generation] {
        if (generation == FGeneration && FRunning)
            Guarded([this] { RunPacker(); });
    });
}

void TWebFileCreator::RunPacker() {
    FRunner->SetCommandLine(FCommandLine);
    connect(FRunner.get(), &TDosCommand::Terminated, this, &TWebFileCreator::PackerEnded);
    connect(FRunner.get(), &TDosCommand::StartFailed, this, &TWebFileCreator::PackerNotStarted);
    Log(QStringLiteral("Command: ") + FCommandLine);
    FLimit->start(FSettings.PackerLimitMs);
    FRunner->Start();
}

void TWebFileCreator::AddCapturedLines() {
    const QStringList &lines = FRunner->CapturedLines();
    if (!lines.isEmpty())
        FReport.AddInfo(lines.join(QLatin1Char('\n')));
}

void TWebFileCreator::PackerEnded() {
    // The end that an abort after the time limit delivers is handled there.
    if (!FRunning || !FLimit->isActive())
        return;
    FLimit->stop();
    Guarded([this] {
        Log(QStringLiteral("Command executed"));
        AddCapturedLines();
        const int exitCode = FRunner->ExitCode();
        if (exitCode != 0) {
            Log(QStringLiteral("Packer exit status %1").arg(exitCode));
            FReport.AddInfo(tr(CreatingFailed));
            FReport.AddInfo(QString());
            Finish(false);
            return;
        }
        FReport.AddInfo(tr("Web file created successful."));
        FReport.AddInfo(QString());
        Finish(true);
    });
}

void TWebFileCreator::PackerNotStarted(const QString &reason) {
    if (!FRunning || !FLimit->isActive())
        return;
    FLimit->stop();
    Log(reason);
    Fail(FSettings.PackerProgram + QStringLiteral(" could not be started."));
}

void TWebFileCreator::PackerTooSlow() {
    if (!FRunning)
        return;
    Guarded([this] {
        FRunner->Abort();
        AddCapturedLines();
        Fail(tr("%1 did not end within %2 s and was stopped.")
                 .arg(FSettings.PackerProgram)
                 .arg(FSettings.PackerLimitMs / 1000.0));
    });
}

void TWebFileCreator::Fail(const QString &reason) {
    Log(reason);
    FReport.AddInfo(reason);
    FReport.AddInfo(tr(CreatingFailed));
    FReport.AddInfo(QString());
    Finish(false);
}

void TWebFileCreator::InternalError(const QString &message) {
    if (!FRunning)
        return;
    FLimit->stop();
    FReport.AddInfo(tr("Internal error."));
    FReport.AddInfo(tr(CreatingFailed));
    if (FBusy) {
        FBusy = false;
        FReport.SetBusy(false);
    }
    FReport.ErrorBox(message);
    Finish(false);
}

// A failed run leaves no empty folders of its own behind in the output tree; rmdir removes
// only an empty folder, so nothing that holds a file is touched.
void TWebFileCreator::RemoveEmptyNewFolders() {
    for (auto folder = FNewFolders.crbegin(); folder != FNewFolders.crend(); ++folder)
        QDir().rmdir(*folder);
    FNewFolders.clear();
}

void TWebFileCreator::Finish(bool created) {
    if (!FRunning)
        return;
    FRunning = false;
    ++FGeneration;
    if (FBusy) {
        FBusy = false;
        FReport.SetBusy(false);
    }
    // Released after the signal that ended the run has been handled, not from within it.
    if (FRunner)
        FRunner.release()->deleteLater();
    if (!created)
        RemoveEmptyNewFolders();
    if (created)
        FReport.AddInfo(QStringLiteral("OK"));
    emit Finished(created);
}

void TWebFileCreator::Cancel() {
    if (!FRunning)
        return;
    FLimit->stop();
    if (FRunner) {
        disconnect(FRunner.get(), nullptr, this, nullptr);
        if (FRunner->Running())
            FRunner->Abort();
    }
    // A packer killed while writing leaves its temporary file beside the web file.
    if (!FFileOutName.isEmpty()) {
        const QFileInfo out(FFileOutName);
        QDir folder = out.dir();
        for (const QString &name :
             folder.entryList({out.fileName() + QStringLiteral(".tmp-*")}, QDir::Files))
            folder.remove(name);
    }
    Log(QStringLiteral("Cancelled"));
    Finish(false);
}

#include "moc_webfilecreator.cpp"
