// Prints quillet-cli's command table, one command a line: its name, a tab, and the options its
// own --help lists. The checks in dist/tests hold the completion, the manual page and README
// against it.
#include "app/cli/cli.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <iostream>
#include <sstream>

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    // An option's own line in Qt's help text: "  -h, --help  ..." or "  --port <N>  ...".
    static const QRegularExpression optionLine(QStringLiteral("^  (?:-\\w, )?(--[\\w-]+)"),
                                               QRegularExpression::MultilineOption);
    for (const cli::Command &command : cli::commands()) {
        std::ostringstream out;
        std::ostringstream err;
        const QStringList args = QStringList{QStringLiteral("quillet-cli")} +
                                 QString::fromLatin1(command.name).split(QLatin1Char(' ')) +
                                 QStringList{QStringLiteral("--help")};
        if (cli::run(args, {out, err}) != cli::Success) {
            std::cerr << command.name << " --help failed: " << err.str();
            return 1;
        }
        QStringList options;
        for (const auto &match : optionLine.globalMatch(QString::fromStdString(out.str()))) {
            options << match.captured(1);
        }
        std::cout << command.name << '\t' << options.join(QLatin1Char(' ')).toStdString() << '\n';
    }
    return 0;
}
