// quillet-cli: the jobs of the window program without a window, over the same non-window code.
#pragma once

#include "discovery/relynpar.h"

#include <QList>
#include <QStringList>
#include <functional>
#include <ostream>

namespace cli {

enum ExitStatus { Success = 0, Failure = 1, UsageError = 2 };

struct Console {
    std::ostream &out; // results
    std::ostream &err; // errors and usage text after a usage error
};

// Runs one command line; args[0] is the program. A QCoreApplication must exist: the commands
// that wait (serve, uploads) run its event loop.
int run(const QStringList &args, Console console);

// The same with the device search replaced, for tests without a network.
using SearchFunction = std::function<QList<TRelynPar>(const QString &typesFile)>;
int run(const QStringList &args, Console console, const SearchFunction &search);

} // namespace cli
