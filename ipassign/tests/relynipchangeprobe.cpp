// Runs one IP change: relynipchangeprobe MAC ADDRESS [--arp]. Prints the outcome as
// "<success 0/1> <kind> <message>" on one line, so that a test can run the procedure in a
// process with other privileges than its own.
#include "ipassign/relynipchange.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

int main(int argc, char *argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: relynipchangeprobe MAC ADDRESS [--arp]\n");
        return 2;
    }
    TRelynIPChange change;
    change.SetArpOnly(arguments.contains(QStringLiteral("--arp")));
    const TRelynIPChangeOutcome outcome = change.ChangeIP(arguments[1], arguments[2]);
    std::printf("%d %d %s\n", outcome.Success ? 1 : 0, outcome.Kind,
                outcome.Message.toLocal8Bit().replace("\r\n", " ").constData());
    return 0;
}
