#include "app/cli/cli.h"
#include "app/cli/interruptwatch.h"
#include "app/core/language.h"
#include "support/filelimit.h"

#include <QCoreApplication>
#include <iostream>

int main(int argc, char *argv[]) {
    RaiseOpenFileLimit();
    cli::StopChildrenOnSignals();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillet-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION_TEXT));
    // Only the human messages follow the locale; JSON, CSV and the outcome words never do.
    InstallUiTranslations(ChooseUiLanguage({}, QString()));
    return cli::run(QCoreApplication::arguments(), {std::cout, std::cerr});
}
