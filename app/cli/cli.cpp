#include "app/cli/cli.h"

#include "app/cli/consolereport.h"
#include "app/cli/devicecommands.h"
#include "app/cli/interruptwatch.h"
#include "app/cli/previewserver.h"
#include "app/cli/webfilecommands.h"
#include "app/core/storageplaces.h"
#include "app/workflows/webfilecreator.h"
#include "ipassign/relynipchange.h"
#include "support/programfolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
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
    "  search [--json|--csv] [--types FILE] [--interface NAME]... [--range CIDR]...\n"
    "                                        find the devices on the network\n"
    "  create FOLDER [--rewrite] [--internal] [--keep-bak] [--output FILE]\n"
    "                                        pack a folder into a new web file\n"
    "  upload-web FILE ADDRESS...            upload a web file and wait for each restart\n"
    "  upload-fw FILE ADDRESS...             upload a firmware image\n"
    "  change-ip MAC ADDRESS [--arp] [--wait SECONDS] [--no-check]\n"
    "                                        give a device a new IP address\n"
    "  webfile list FILE                     list the entries of a web file\n"
    "  webfile extract FILE FOLDER [--overwrite]\n"
    "                                        write the entries back as files\n"
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
    QEventLoop loop;
    const InterruptWatch watch([&loop] { loop.quit(); });
    loop.exec();
    return Success;
}

// Where a search asks, from --interface, --range and --rate; a usage error's text otherwise.
std::optional<QString> searchScope(const QCommandLineParser &parser, TRelynSearchScope &scope) {
    scope.Interfaces = parser.values(QStringLiteral("interface"));
    qint64 addresses = 0;
    for (const QString &text : parser.values(QStringLiteral("range"))) {
        TRelynRange range;
        QString error;
        if (!RelynParseRange(text, range, error)) {
            return error;
        }
        scope.Ranges.append(range);
        addresses += range.Count();
    }
    if (addresses > TRelynSearchScope::MaxRangeAddresses) {
        return QStringLiteral("The ranges hold %1 addresses; at most a /16 (65536) in all.")
            .arg(addresses);
    }
    if (!scope.Ranges.isEmpty() && !scope.Interfaces.isEmpty()) {
        return QStringLiteral("--interface limits a broadcast; a range search goes by the "
                              "routing table.");
    }
    bool numeric = false;
    scope.Rate = parser.value(QStringLiteral("rate")).toInt(&numeric);
    if (!numeric || scope.Rate < 1 || scope.Rate > 1000000) {
        return QStringLiteral("The rate must be a number of datagrams per second from 1 to "
                              "1000000.");
    }
    return std::nullopt;
}

int searchCommand(const QStringList &args, Console console, const SearchFunction &search) {
    CommandParser command(
        console, QStringLiteral("quillet-cli search [options]"),
        QStringLiteral("Broadcasts one discovery query out of every network interface, as the "
                       "search window\ndoes, and lists every device that answers: IP address, "
                       "MAC address,\nfirmware, device type and description, in ascending "
                       "address order.\nA device this computer cannot reach (its address lies "
                       "outside the networks\nof the interface it answered on) is marked. With "
                       "--range, the query goes to\nevery address of the ranges instead, also "
                       "behind routers."));
    command.parser().addOption(
        {QStringLiteral("json"), QStringLiteral("Print a JSON array of objects instead.")});
    command.parser().addOption(
        {QStringLiteral("csv"), QStringLiteral("Print CSV with a header line instead.")});
    command.parser().addOption({QStringLiteral("types"),
                                QStringLiteral("Read the device type names from FILE (section "
                                               "GlobalTypes)."),
                                QStringLiteral("FILE")});
    command.parser().addOption(
        {QStringLiteral("interface"),
         QStringLiteral("Broadcast only out of this interface; may be repeated."),
         QStringLiteral("NAME")});
    command.parser().addOption(
        {QStringLiteral("range"),
         QStringLiteral("Ask every address of CIDR (e.g. 203.0.113.0/24) instead of "
                        "broadcasting; may be repeated, at most a /16 in all."),
         QStringLiteral("CIDR")});
    command.parser().addOption(
        {QStringLiteral("rate"),
         QStringLiteral("Datagrams per second of a range search (default %1).")
             .arg(TRelynSearchScope::DefaultRate),
         QStringLiteral("N"), QString::number(TRelynSearchScope::DefaultRate)});
    if (auto status = command.parse(args, 0, 0)) {
        return *status;
    }
    TRelynSearchScope scope;
    if (const auto error = searchScope(command.parser(), scope)) {
        return command.usageError(*error);
    }
    const QString types = command.parser().value(QStringLiteral("types"));
    // The window reads the names from its settings file, which may be missing; a file named
    // here that is missing is a typing error, not a request for the built-in names.
    if (!types.isEmpty() && !QFileInfo(types).isFile()) {
        return reportFailure(console, text(types) + ": no such file");
    }
    TRelynSearchOutcome outcome;
    try {
        if (search) {
            outcome.Devices = search(types);
        } else {
            outcome = RunRelynScopedSearch(types, scope);
        }
        outcome.Devices = sortedByAddress(outcome.Devices);
    } catch (const std::exception &failure) {
        QString message = QString::fromStdString(failure.what());
        message.replace(QStringLiteral("\r\n"), QStringLiteral(": "));
        return reportFailure(console, text(message));
    }
    if (command.parser().isSet(QStringLiteral("json"))) {
        console.out << deviceJson(outcome.Devices);
    } else if (command.parser().isSet(QStringLiteral("csv"))) {
        console.out << deviceCsv(outcome.Devices);
    } else if (outcome.Devices.isEmpty()) {
        // Standard output stays empty, so a script that reads rows reads none.
        console.err << "No device answered.\n";
    } else {
        console.out << deviceTable(outcome.Devices);
    }
    if (!search) {
        printSearchNotes(outcome, !scope.Ranges.isEmpty(), console.err);
    }
    return Success;
}

int createCommand(const QStringList &args, Console console) {
    CommandParser command(
        console, QStringLiteral("quillet-cli create [options] FOLDER"),
        QStringLiteral("Packs FOLDER into a new web file in the output tree pmf/, named and "
                       "numbered\nas the window does, and prints its path. The tree lies beside "
                       "the program,\nor in the user's data folder when Quillet is installed."));
    command.parser().addPositionalArgument(QStringLiteral("FOLDER"),
                                           QStringLiteral("The folder of web pages."));
    command.parser().addOption({QStringLiteral("rewrite"),
                                QStringLiteral("Rewrite the last version instead of adding one.")});
    command.parser().addOption(
        {QStringLiteral("internal"), QStringLiteral("Name the file as in internal mode.")});
    command.parser().addOption(
        {QStringLiteral("keep-bak"), QStringLiteral("Keep the *.bak files of FOLDER (deleted by "
                                                    "default).")});
    command.parser().addOption({QStringLiteral("output"),
                                QStringLiteral("Write the web file to FILE instead of the output "
                                               "tree."),
                                QStringLiteral("FILE")});
    if (auto status = command.parse(args, 1, 1)) {
        return *status;
    }
    const QString output = command.parser().value(QStringLiteral("output"));
    if (!output.isEmpty() && command.parser().isSet(QStringLiteral("rewrite"))) {
        return command.usageError(
            QStringLiteral("--rewrite replaces a version in the output tree; it cannot go with "
                           "--output."));
    }
    // The folder is taken whole and absolute: the creation changes the current folder, and a
    // trailing "/" would leave the web file without a name.
    const QFileInfo source(command.positional().at(0));
    if (!source.isDir()) {
        return reportFailure(console, text(command.positional().at(0)) + ": not a folder");
    }
    const QString folder = QDir::cleanPath(source.absoluteFilePath());
    const TStoragePlaces places = TStoragePlaces::FromSystem(ProgramFolder());
    if (QString error; output.isEmpty() && !places.Prepare(&error)) {
        return reportFailure(console, text(error));
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

    ConsoleReport report(console.out, console.err);
    TWebFileCreator creator(report, nullptr);
    QEventLoop loop;
    bool created = false;
    bool finished = false;
    QObject::connect(&creator, &TWebFileCreator::Finished, &loop, [&](bool ok) {
        created = ok;
        finished = true;
        loop.quit();
    });
    creator.Start(request);
    if (!finished) {
        loop.exec();
    }
    if (!created) {
        return Failure;
    }
    console.out << text(creator.FileOutName()) << '\n';
    return Success;
}

int uploadCommand(const QStringList &args, Console console, UploadKind kind) {
    const bool web = kind == UploadKind::Web;
    CommandParser command(
        console,
        web ? QStringLiteral("quillet-cli upload-web [options] FILE ADDRESS...")
            : QStringLiteral("quillet-cli upload-fw [options] FILE ADDRESS..."),
        web ? QStringLiteral("Uploads a web file to each device over TFTP and waits until it "
                             "has restarted.\nSeveral devices are served side by side.")
            : QStringLiteral("Uploads a firmware image to each device over TFTP.\nSeveral "
                             "devices are served side by side."));
    command.parser().addPositionalArgument(QStringLiteral("FILE"),
                                           web ? QStringLiteral("The web file.")
                                               : QStringLiteral("The firmware image."));
    command.parser().addPositionalArgument(QStringLiteral("ADDRESS"),
                                           QStringLiteral("A device's IPv4 address; one or more."),
                                           QStringLiteral("ADDRESS..."));
    if (auto status = command.parse(args, 2, -1)) {
        return *status;
    }
    const QString file = command.positional().at(0);
    const QStringList addresses = command.positional().mid(1);
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        if (!isDottedAddress(addresses[i])) {
            return command.usageError(
                QStringLiteral("'%1' is not an IPv4 address such as 192.168.1.20.")
                    .arg(addresses[i]));
        }
        if (addresses.indexOf(addresses[i]) != i) {
            return command.usageError(
                QStringLiteral("%1 is named twice; one upload per device.").arg(addresses[i]));
        }
    }
    if (!QFileInfo(file).isFile()) {
        return reportFailure(console, text(file) + ": no such file");
    }
    const QList<UploadJob> jobs = uploadToAll(kind, file, addresses, console.out, console.err);
    if (addresses.size() > 1) {
        console.out << '\n' << uploadSummary(jobs);
    }
    console.out << retryCommand(kind, file, jobs);
    const bool allDone =
        std::all_of(jobs.begin(), jobs.end(), [](const UploadJob &job) { return job.done; });
    return allDone ? Success : Failure;
}

int changeIpCommand(const QStringList &args, Console console, const SearchFunction &search) {
    CommandParser command(console, QStringLiteral("quillet-cli change-ip [options] MAC ADDRESS"),
                          QStringLiteral("Gives the device with the MAC address MAC the IP "
                                         "address ADDRESS, after making sure\nthat nothing "
                                         "answers at ADDRESS yet, then searches until that "
                                         "device answers there."));
    command.parser().addPositionalArgument(
        QStringLiteral("MAC"),
        QStringLiteral("The device's MAC address, e.g. 02-00-00-12-34-5F or 02:00:00:12:34:5f."));
    command.parser().addPositionalArgument(QStringLiteral("ADDRESS"),
                                           QStringLiteral("The new IPv4 address."));
    command.parser().addOption(
        {QStringLiteral("arp"),
         QStringLiteral("Only enter the address in this computer's neighbour table.")});
    command.parser().addOption(
        {QStringLiteral("wait"),
         QStringLiteral("How long to search for the device at its new address (default 10)."),
         QStringLiteral("SECONDS"), QStringLiteral("10")});
    command.parser().addOption(
        {QStringLiteral("no-check"), QStringLiteral("Do not search for the device afterwards.")});
    if (auto status = command.parse(args, 2, 2)) {
        return *status;
    }
    const QString waitText = command.parser().value(QStringLiteral("wait"));
    bool numeric = false;
    const double waitSeconds = waitText.toDouble(&numeric);
    if (!numeric || !(waitSeconds > 0) || waitSeconds > 3600) {
        return command.usageError(QStringLiteral("The wait must be a number of seconds from "
                                                 "more than 0 to 3600."));
    }
    // "ip link" writes MAC addresses with colons.
    QString mac = command.positional().at(0);
    mac.replace(QLatin1Char(':'), QLatin1Char('-'));
    const QString address = command.positional().at(1);
    const bool arpOnly = command.parser().isSet(QStringLiteral("arp"));

    TRelynIPChange change;
    change.SetArpOnly(arpOnly);
    const TRelynIPChangeOutcome outcome = change.ChangeIP(mac, address);
    QString message = outcome.Message;
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (!outcome.Success) {
        return reportFailure(console, text(message));
    }
    // The datagram is sent blind, so only the device itself can tell whether it moved. The
    // neighbour table mode does not move the device: there is nothing to look for.
    if (arpOnly || command.parser().isSet(QStringLiteral("no-check"))) {
        console.out << text(message) << '\n';
        return Success;
    }
    const int waitMs = static_cast<int>(waitSeconds * 1000);
    // Without a test's search, the real one: every interface, as the search command asks.
    const SearchFunction find = search ? search : [](const QString &typesFile) {
        return RunRelynScopedSearch(typesFile, TRelynSearchScope()).Devices;
    };
    if (const auto found = findDeviceAt(find, mac, address, waitMs)) {
        console.out << "Device " << text(found->MACAddress) << " answers at "
                    << text(found->IPAddress) << ".\n";
        return Success;
    }
    return reportFailure(
        console, text(QStringLiteral("No device with MAC %1 answered at %2 "
                                     "within %3 s.")
                          .arg(RelynCanonicalMac(mac), address, QString::number(waitSeconds))));
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
    // No search function: the search command asks the real network, within its options.
    return run(args, console, SearchFunction{});
}

int run(const QStringList &args, Console console, const SearchFunction &search) {
    const QString name = args.value(1);
    const QStringList rest = QStringList{QStringLiteral("quillet-cli ") + name} + args.mid(2);
    if (name == QStringLiteral("search")) {
        return searchCommand(rest, console, search);
    }
    if (name == QStringLiteral("create")) {
        return createCommand(rest, console);
    }
    if (name == QStringLiteral("upload-web")) {
        return uploadCommand(rest, console, UploadKind::Web);
    }
    if (name == QStringLiteral("upload-fw")) {
        return uploadCommand(rest, console, UploadKind::Firmware);
    }
    if (name == QStringLiteral("change-ip")) {
        return changeIpCommand(rest, console, search);
    }
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
