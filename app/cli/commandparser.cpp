#include "app/cli/commandparser.h"

namespace cli {

std::string text(const QString &s) {
    return s.toStdString();
}

int reportFailure(Console console, const std::string &message) {
    console.err << kProgram << ": " << message << '\n';
    return Failure;
}

CommandParser::CommandParser(const CommandCall &call, QString description)
    : Out(call.console)
    , Name(call.name)
    , Args(call.args)
    , Description(std::move(description))
    , UsageTail(QStringLiteral("[options]")) {
    Parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    Parser.addOption(
        {{QStringLiteral("h"), QStringLiteral("help")}, CliText::tr("Show this help and end.")});
    Parser.addOption({QStringLiteral("version"), CliText::tr("Show the program version and end.")});
}

void CommandParser::addArgument(const QString &name, const QString &description,
                                const QString &syntax) {
    Parser.addPositionalArgument(name, description, syntax);
    UsageTail += QLatin1Char(' ') + (syntax.isEmpty() ? name : syntax);
}

std::optional<int> CommandParser::parse(qsizetype minArgs, qsizetype maxArgs) {
    if (!Parser.parse(Args)) {
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
        return usageError(CliText::tr("Missing arguments."));
    }
    if (maxArgs >= 0 && count > maxArgs) {
        return usageError(CliText::tr("Too many arguments."));
    }
    return std::nullopt;
}

int CommandParser::usageError(const QString &message) const {
    Out.err << kProgram << ": " << text(message) << '\n'
            << text(CliText::tr("Usage: %1").arg(usage())) << '\n'
            << text(CliText::tr("Try '%1 %2 --help'.").arg(QLatin1String(kProgram), Name)) << '\n';
    return UsageError;
}

QString CommandParser::usage() const {
    return QLatin1String(kProgram) + QLatin1Char(' ') + Name + QLatin1Char(' ') + UsageTail;
}

std::string CommandParser::helpText() const {
    // Qt's own text begins with a usage line built from argv[0]; ours names the command.
    QString options = Parser.helpText();
    // Qt's heading, in Qt's own translation.
    static const char *const QtOptions = "Options:";
    const qsizetype from =
        options.indexOf(QCoreApplication::translate("QCommandLineParser", QtOptions));
    options = from >= 0 ? options.mid(from) : QString();
    return text(CliText::tr("Usage: %1").arg(usage())) + "\n" + text(Description) + "\n\n" +
           text(options);
}

} // namespace cli
