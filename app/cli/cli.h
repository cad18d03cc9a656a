// quillet-cli: the jobs of the window program without a window, over the same non-window code.
#pragma once

#include "app/cli/commandparser.h"

#include <span>

namespace cli {

// One line of the command table, from which the overview is made and by which a command line
// finds its command.
struct Command {
    const char *name;     // the words after the program's name: "search", "webfile list"
    const char *synopsis; // its arguments and options, as the overview shows them
    const char *summary;  // what it does, beside it in the overview
    int (*run)(const CommandCall &call);
};

// Every command, in the overview's order.
std::span<const Command> commands();

// Runs one command line; args[0] is the program. A QCoreApplication must exist: the commands
// that wait (serve, uploads) run its event loop.
int run(const QStringList &args, Console console);

// The same with the device search replaced, for tests without a network, and the journal in
// a file of the test's (none when empty).
int run(const QStringList &args, Console console, const SearchFunction &search,
        const QString &journal = {});

} // namespace cli
