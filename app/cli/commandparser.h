// What every quillet-cli command is given, and the parser that reads its options and arguments.
#pragma once

#include "discovery/relynpar.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QList>
#include <QStringList>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace cli {

enum ExitStatus { Success = 0, Failure = 1, UsageError = 2 };

struct Console {
    std::ostream &out; // results
    std::ostream &err; // errors and usage text after a usage error
};

// A device search in place of the real one, for tests without a network.
using SearchFunction = std::function<QList<TRelynPar>(const QString &typesFile)>;

struct CommandCall {
    QString name;     // the command's words: "search", "webfile list"
    QStringList args; // args[0] stands for the program and the name; options and arguments follow
    Console console;
    const SearchFunction &search; // empty: the real search
    QString journal;              // the site journal's file; empty: none is kept
};

inline constexpr const char *kProgram = "quillet-cli";

// The human messages, in the user interface's language; what scripts read (JSON, CSV, the
// outcome words) never goes through it.
struct CliText {
    Q_DECLARE_TR_FUNCTIONS(CliText)
};

std::string text(const QString &s);

// "quillet-cli: message" on standard error; the exit status of a failure.
int reportFailure(Console console, const std::string &message);

// One command's parser: --help and --version, a usage line made of the command's name and its
// arguments, a count of arguments.
class CommandParser {
public:
    CommandParser(const CommandCall &call, QString description);

    QCommandLineParser &parser() { return Parser; }

    // `syntax` is how the usage line writes it, the name when empty.
    void addArgument(const QString &name, const QString &description, const QString &syntax = {});
    // Replaces what follows the name in the usage line ("[options]" and the arguments).
    void setUsageTail(QString tail) { UsageTail = std::move(tail); }

    // The exit status when the command ends here (help, version, usage error); nothing when the
    // command goes on with between minArgs and maxArgs (-1: any number) positional arguments.
    std::optional<int> parse(qsizetype minArgs, qsizetype maxArgs);

    int usageError(const QString &message) const;

    QStringList positional() const { return Parser.positionalArguments(); }

private:
    QString usage() const;
    std::string helpText() const;

    Console Out;
    QString Name;
    QStringList Args;
    QString Description;
    QString UsageTail;
    QCommandLineParser Parser;
};

} // namespace cli
