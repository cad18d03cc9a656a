#include "cli.h"

#include "previewserver.h"
#include "webfilecommands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <optional>

namespace cli {

namespace {

const char *const kProgram = "quillet-cli";

std::string text(const QString &s) {
    return s.toStdString();
}

const char *const kOverview =
    "Usage: quillet-cli COMMAND [options] [arguments]\n"
    "\n"
    "Commands:\n"
    "  search [--json] [--types FILE]        find the devices on the network\n"
    "  create FOLDER [--rewrite] [--internal] [--keep-bak]\n"
    "                                        pack a folder into a new web file\n"
    "  upload-web FILE ADDRESS...            upload a web file and wait for each restart\n"
    "  upload-fw FILE ADDRESS...             upload a firmware image\n"
    "  change-ip MAC ADDRESS [--arp]         give a device a new IP address\n"
    "  webfile list FILE                     list the entries of a web file\n"
    "  webfile extract FILE FOLDER           write the entries back as files\n"
    "  webfile serve FILE [--port N]         preview a web file in a browser\n"
    "\n"
    "Every command takes --help and --version. Exit status: 0 success, 1 failure,\n"
    "2 usage error.\n";

// One command's parser: --help and --version, a usage line, a count of arguments.
class CommandParser {
public:
    CommandParser(Console console, QString usage, QString description)
        : Out(console)
        , Usage(std::move(usage))
        , Description(std::move(description)) {
        Parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        Parser.addOption({{QStringLiteral("h"), QStringLiteral("help")},
                          QStringLiteral("Show this help and end.")});
        Parser.addOption(
            {QStringLiteral("version"), QStringLiteral("Show the program version and end.")});
    }

    QCommandLineParser &parser() { return Parser; }

    // The exit status when the command ends here (help, version, usage error); nothing when the
    // command goes on with between minArgs and maxArgs positional arguments.
    std::optional<int> parse(const QStringList &args, qsizetype minArgs, qsizetype maxArgs) {
        if (!Parser.parse(args)) {
            return usageError(Parser.errorText());
        }
        if (Parser.isSet(QStringLiteral("help"))) {
            Out.out << helpText();
            return Success;
        }
        if (Parser.isSet(QStringLiteral("version"))) {
            Out.out << kProgram << ' ' << QUILLET_VERSION_TEXT << '\n';
            return Success;
        }
        const qsizetype count = Parser.positionalArguments().size();
        if (count < minArgs) {
            return usageError(QStringLiteral("Missing arguments."));
        }
        if (maxArgs >= 0 && count > maxArgs) {
            return usageError(QStringLiteral("Too many arguments."));
        }
        return std::nullopt;
    }

    int usageError(const QString &message) {
        Out.err << kProgram << ": " << text(message) << '\n'
                << "Usage: " << text(Usage) << '\n'
                << "Try '" << text(Usage.left(Usage.indexOf(QStringLiteral(" ["))))
                << " --help'.\n";
        return UsageError;
    }

    QStringList positional() const { return Parser.positionalArguments(); }

private:
    std::string helpText() const {
        // Qt's own text begins with a usage line built from argv[0]; ours names the command.
        QString options = Parser.helpText();
        const qsizetype from = options.indexOf(QStringLiteral("Options:"));
        options = from >= 0 ? options.mid(from) : QString();
        return "Usage: " + text(Usage) + "\n" + text(Description) + "\n\n" + text(options);
    }

    Console Out;
    QString Usage;
    QString Description;
    QCommandLineParser Parser;
};

int reportFailure(Console console, const std::string &message) {
    console.err << kProgram << ": " << message << '\n';
    return Failure;
}

int webfileList(const QStringList &args, Console console) {
    CommandParser command(console, QStringLiteral("quillet-cli webfile list [options] FILE"),
                          QStringLiteral("Lists each entry of a web file with its stored size, "
                                         "offset and MIME type,\nthen checks that the directory "
                                         "matches the stored bytes."));
    command.parser().addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The web file."));
    if (auto status = command.parse(args, 1, 1)) {
        return *status;
    }
    const auto file = loadWebFile(text(command.positional().at(0)));
    if (!file->ok()) {
        return reportFailure(console, file->error);
    }
    printListing(*file, console.out);
    return Success;
}

int webfileExtract(const QStringList &args, Console console) {
    CommandParser command(console,
                          QStringLiteral("quillet-cli webfile extract [options] FILE FOLDER"),
                          QStringLiteral("Writes every entry of a web file back as a file in "
                                         "FOLDER, without its reply head."));
    command.parser().addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The web file."));
    command.parser().addPositionalArgument(
        QStringLiteral("FOLDER"), QStringLiteral("Where the files go; created when missing."));
    command.parser().addOption(
        {QStringLiteral("overwrite"), QStringLiteral("Replace files that are already in FOLDER.")});
    if (auto status = command.parse(args, 2, 2)) {
        return *status;
    }
    const auto file = loadWebFile(text(command.positional().at(0)));
    if (!file->ok()) {
        return reportFailure(console, file->error);
    }
    const QString folder = command.positional().at(1);
    const ExtractResult result = extractWebFile(
        file->parsed, text(folder), command.parser().isSet(QStringLiteral("overwrite")));
    for (const std::string &name : result.written) {
        console.out << printableName(name) << '\n';
    }
    if (!result.ok()) {
        return reportFailure(console, result.error);
    }
    console.out << result.written.size() << (result.written.size() == 1 ? " file" : " files")
                << " written to " << text(folder) << '\n';
    return Success;
}

int webfileServe(const QStringList &args, Console console) {
    CommandParser command(
        console, QStringLiteral("quillet-cli webfile serve [options] FILE"),
        QStringLiteral("Serves a web file on 127.0.0.1 as a device would, for a preview in a "
                       "browser.\nRuns until it is stopped (Ctrl+C)."));
    command.parser().addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The web file."));
    command.parser().addOption(
        {QStringLiteral("port"),
         QStringLiteral("The port to listen on (default 8080; 0 picks a free one)."),
         QStringLiteral("N"), QStringLiteral("8080")});
    if (auto status = command.parse(args, 1, 1)) {
        return *status;
    }
    bool numeric = false;
    const uint port = command.parser().value(QStringLiteral("port")).toUInt(&numeric);
    if (!numeric || port > 65535) {
        return command.usageError(QStringLiteral("The port must be a number from 0 to 65535."));
    }
    const QString path = command.positional().at(0);
    auto file = loadWebFile(text(path));
    if (!file->ok()) {
        return reportFailure(console, file->error);
    }
    PreviewServer server(std::move(file));
    if (!server.listen(static_cast<quint16>(port))) {
        return reportFailure(console, "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
                                          text(server.errorString()));
    }
    server.setRequestLog([console](const std::string &line) { console.out << line << std::endl; });
    console.out << "Serving " << text(path) << " on http://127.0.0.1:" << server.port()
                << "/ (Ctrl+C stops)" << std::endl;
    return QCoreApplication::exec() == 0 ? Success : Failure;
}

int webfileCommand(const QStringList &args, Console console) {
    // args: "quillet-cli webfile", then the subcommand and its arguments.
    const QString sub = args.value(1);
    const QStringList rest =
        QStringList{QStringLiteral("quillet-cli webfile ") + sub} + args.mid(2);
    if (sub == QStringLiteral("list")) {
        return webfileList(rest, console);
    }
    if (sub == QStringLiteral("extract")) {
        return webfileExtract(rest, console);
    }
    if (sub == QStringLiteral("serve")) {
        return webfileServe(rest, console);
    }
    CommandParser command(console,
                          QStringLiteral("quillet-cli webfile list|extract|serve [options] ..."),
                          QStringLiteral("Looks into a web file: list its entries, extract "
                                         "them, or serve them for a preview."));
    if (auto status = command.parse(args, 1, -1)) {
        return *status;
    }
    return command.usageError(QStringLiteral("Unknown webfile command '%1'.").arg(sub));
}

} // namespace

int run(const QStringList &args, Console console) {
    const QString name = args.value(1);
    const QStringList rest = QStringList{QStringLiteral("quillet-cli ") + name} + args.mid(2);
    if (name == QStringLiteral("webfile")) {
        return webfileCommand(rest, console);
    }
    if (name == QStringLiteral("--help") || name == QStringLiteral("-h") ||
        name == QStringLiteral("help")) {
        console.out << kOverview;
        return Success;
    }
    if (name == QStringLiteral("--version")) {
        console.out << kProgram << ' ' << QUILLET_VERSION_TEXT << '\n';
        return Success;
    }
    console.err << kProgram << ": "
                << (name.isEmpty() ? std::string("no command given")
                                   : "unknown command '" + text(name) + "'")
                << "\n\n"
                << kOverview;
    return UsageError;
}

} // namespace cli
