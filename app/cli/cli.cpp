#include "app/cli/cli.h"

#include "app/cli/createcommand.h"
#include "app/cli/devicecommands.h"
#include "app/cli/journalcommands.h"
#include "app/cli/webfilecommands.h"
#include "app/core/storageplaces.h"
#include "support/programfolder.h"

namespace cli {

namespace {

constexpr Command kCommands[] = {
    {"search", "[--json|--csv] [--types FILE] [--interface NAME]... [--range CIDR]...",
     QT_TRANSLATE_NOOP("CliText", "find the devices on the network"), searchCommand},
    {"create", "FOLDER [--rewrite] [--internal] [--keep-bak] [--output FILE]",
     QT_TRANSLATE_NOOP("CliText", "pack a folder into a new web file"), createCommand},
    {"upload-web", "FILE ADDRESS... [--no-verify] [--parallel N]",
     QT_TRANSLATE_NOOP("CliText", "upload a web file and verify each device"), uploadWebCommand},
    {"upload-fw", "FILE ADDRESS... [--parallel N]",
     QT_TRANSLATE_NOOP("CliText", "upload a firmware image"), uploadFirmwareCommand},
    {"change-ip", "MAC ADDRESS [--arp] [--wait SECONDS] [--no-check]",
     QT_TRANSLATE_NOOP("CliText", "give a device a new IP address"), changeIpCommand},
    {"rescue", "MAC [--interface NAME] [--wait SECONDS]",
     QT_TRANSLATE_NOOP("CliText", "give a device at a factory address a free one"), rescueCommand},
    {"history", "[--json|--csv] [--mac MAC]... [--since DATE]",
     QT_TRANSLATE_NOOP("CliText", "what the site journal recorded, newest first"), historyCommand},
    {"webfile list", "FILE", QT_TRANSLATE_NOOP("CliText", "list the entries of a web file"),
     webfileListCommand},
    {"webfile extract", "FILE FOLDER [--overwrite]",
     QT_TRANSLATE_NOOP("CliText", "write the entries back as files"), webfileExtractCommand},
    {"webfile serve", "FILE [--port N]",
     QT_TRANSLATE_NOOP("CliText", "preview a web file in a browser"), webfileServeCommand},
};

// A first word that several commands share, and what its help says.
struct CommandGroup {
    const char *name;
    const char *description;
};

constexpr CommandGroup kGroups[] = {
    {"webfile",
     QT_TRANSLATE_NOOP(
         "CliText",
         "Looks into a web file: list its entries, extract them, or serve them for a preview.")},
};

// Where the summaries begin; a longer synopsis puts its summary on the line below.
constexpr std::size_t kSummaryColumn = 40;

std::string overview() {
    std::string text =
        CliText::tr("Usage: quillet-cli COMMAND [options] [arguments]\n\nCommands:\n")
            .toStdString();
    for (const Command &command : kCommands) {
        std::string line = std::string("  ") + command.name;
        if (*command.synopsis) {
            line += std::string(" ") + command.synopsis;
        }
        if (line.size() + 2 <= kSummaryColumn) {
            line.resize(kSummaryColumn, ' ');
        } else {
            line += '\n' + std::string(kSummaryColumn, ' ');
        }
        text += line + CliText::tr(command.summary).toStdString() + '\n';
    }
    return text +
           CliText::tr(
               "\nEvery command takes --help and --version. Exit status: 0 success, 1 failure,\n"
               "2 usage error. search, the uploads, change-ip and rescue record what they\n"
               "did in the site journal unless given --no-journal.\n")
               .toStdString();
}

QStringList nameWords(const char *name) {
    return QString::fromLatin1(name).split(QLatin1Char(' '));
}

// The command whose name the words begin with.
const Command *findCommand(const QStringList &words) {
    for (const Command &command : kCommands) {
        const QStringList name = nameWords(command.name);
        if (words.mid(0, name.size()) == name) {
            return &command;
        }
    }
    return nullptr;
}

// A group's word without one of its commands after it: help, version or a usage error.
int groupCommand(const CommandGroup &group, const CommandCall &call) {
    QStringList members;
    for (const Command &command : kCommands) {
        const QStringList name = nameWords(command.name);
        if (name.size() == 2 && name.first() == call.name) {
            members << name.last();
        }
    }
    CommandParser command(call, CliText::tr(group.description));
    command.setUsageTail(members.join(QLatin1Char('|')) + QStringLiteral(" [options] ..."));
    if (auto status = command.parse(1, -1)) {
        return *status;
    }
    return command.usageError(
        CliText::tr("Unknown %1 command '%2'.").arg(call.name, command.positional().at(0)));
}

CommandCall callOf(const QString &name, const QStringList &rest, Console console,
                   const SearchFunction &search, const QString &journal) {
    const QString program = QLatin1String(kProgram) + QLatin1Char(' ') + name;
    return {name, QStringList{program} + rest, console, search, journal};
}

} // namespace

std::span<const Command> commands() {
    return kCommands;
}

int run(const QStringList &args, Console console) {
    // No search function: the search command asks the real network, within its options.
    return run(args, console, SearchFunction{},
               TStoragePlaces::FromSystem(ProgramFolder()).Journal);
}

int run(const QStringList &args, Console console, const SearchFunction &search,
        const QString &journal) {
    const QStringList words = args.mid(1);
    if (const Command *command = findCommand(words)) {
        const QString name = QString::fromLatin1(command->name);
        return command->run(
            callOf(name, words.mid(name.count(QLatin1Char(' ')) + 1), console, search, journal));
    }
    const QString name = words.value(0);
    for (const CommandGroup &group : kGroups) {
        if (name == QLatin1String(group.name)) {
            return groupCommand(group, callOf(name, words.mid(1), console, search, journal));
        }
    }
    if (name == QStringLiteral("--help") || name == QStringLiteral("-h") ||
        name == QStringLiteral("help")) {
        console.out << overview();
        return Success;
    }
    if (name == QStringLiteral("--version")) {
        console.out << kProgram << ' ' << QUILLET_VERSION_TEXT << '\n';
        return Success;
    }
    console.err << kProgram << ": "
                << text(name.isEmpty() ? CliText::tr("no command given")
                                       : CliText::tr("unknown command '%1'").arg(name))
                << "\n\n"
                << overview();
    return UsageError;
}

} // namespace cli
