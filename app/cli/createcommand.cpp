#include "app/cli/createcommand.h"

#include "app/cli/consolereport.h"
#include "app/cli/workflowwait.h"
#include "app/core/storageplaces.h"
#include "app/workflows/webfilecreator.h"
#include "support/programfolder.h"

#include <QDir>
#include <QFileInfo>

namespace cli {

int createCommand(const CommandCall &call) {
    CommandParser command(
        call, CliText::tr("Packs FOLDER into a new web file in the output tree pmf/, named and "
                          "numbered\nas the window does, and prints its path. The tree lies "
                          "beside the program,\nor in the user's data folder when Quillet is "
                          "installed."));
    command.addArgument(QStringLiteral("FOLDER"), CliText::tr("The folder of web pages."));
    command.parser().addOption({QStringLiteral("rewrite"),
                                CliText::tr("Rewrite the last version instead of adding one.")});
    command.parser().addOption(
        {QStringLiteral("internal"), CliText::tr("Name the file as in internal mode.")});
    command.parser().addOption(
        {QStringLiteral("keep-bak"), CliText::tr("Keep the *.bak files of FOLDER (deleted by "
                                                 "default).")});
    command.parser().addOption({QStringLiteral("output"),
                                CliText::tr("Write the web file to FILE instead of the output "
                                            "tree."),
                                QStringLiteral("FILE")});
    if (auto status = command.parse(1, 1)) {
        return *status;
    }
    const QString output = command.parser().value(QStringLiteral("output"));
    if (!output.isEmpty() && command.parser().isSet(QStringLiteral("rewrite"))) {
        return command.usageError(
            CliText::tr("--rewrite replaces a version in the output tree; it cannot go with "
                        "--output."));
    }
    // The folder is taken whole and absolute: the creation changes the current folder, and a
    // trailing "/" would leave the web file without a name.
    const QFileInfo source(command.positional().at(0));
    if (!source.isDir()) {
        return reportFailure(call.console,
                             text(CliText::tr("%1: not a folder").arg(command.positional().at(0))));
    }
    const QString folder = QDir::cleanPath(source.absoluteFilePath());
    const TStoragePlaces places = TStoragePlaces::FromSystem(ProgramFolder());
    if (QString error; output.isEmpty() && !places.Prepare(&error)) {
        return reportFailure(call.console, text(error));
    }
    TCreateRequest request;
    request.ProgramFolder = places.ProgramFolder;
    request.OutputRoot = places.OutputRoot;
    // Absolute, since the packer runs in the program folder.
    if (!output.isEmpty()) {
        request.FileOutName = QFileInfo(output).absoluteFilePath();
    }
    request.DirInName = folder;
    request.SourceFolder = folder;
    request.InternalMode = command.parser().isSet(QStringLiteral("internal"));
    request.RewriteLast = command.parser().isSet(QStringLiteral("rewrite"));
    request.DeleteBakFiles = !command.parser().isSet(QStringLiteral("keep-bak"));

    ConsoleReport report(call.console.out, call.console.err);
    TWebFileCreator creator(report, nullptr);
    bool created = false;
    QObject::connect(&creator, &TWebFileCreator::Finished, &creator,
                     [&created](bool ok) { created = ok; });
    startAndWait(creator, &TWebFileCreator::Finished, [&] { creator.Start(request); });
    if (!created) {
        return Failure;
    }
    call.console.out << text(creator.FileOutName()) << '\n';
    return Success;
}

} // namespace cli
