// devsim: one simulated measuring device per process, for the test LAN.
#include "tools/devsim/devsimconfig.h"
#include "tools/devsim/devsimlog.h"
#include "tools/devsim/linkcontrol.h"
#include "tools/devsim/simulator.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sys/signalfd.h>
#include <unistd.h>

int main(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    auto parsed = devsim::parseCommandLine(args);
    if (parsed.help) {
        std::fputs(devsim::usageText().c_str(), stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "devsim: %s\n", parsed.error.c_str());
        return 2;
    }
    const devsim::Config &config = parsed.config;
    if (!config.netns.empty()) {
        if (auto error = devsim::enterNamespace(config.netns); !error.empty()) {
            std::fprintf(stderr, "devsim: %s\n", error.c_str());
            return 3;
        }
    }
    if (devsim::inMachineNamespace()) {
        std::fprintf(stderr, "devsim: refusing to run in the machine's own network namespace; "
                             "start it in a lab (tools/netlab)\n");
        return 3;
    }

    if (!config.address.empty()) {
        if (auto error = devsim::bootLink(config.interfaceName, config.address); !error.empty()) {
            std::fprintf(stderr, "devsim: %s\n", error.c_str());
            return 1;
        }
    }

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int signalFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);

    devsim::DevsimLog log(config.logPath);
    if (!log.isOpen()) {
        std::fprintf(stderr, "devsim: cannot open log %s\n", config.logPath.c_str());
        return 1;
    }
    devsim::NamespaceLink link(config.interfaceName);
    devsim::Simulator simulator(config, log, link);
    if (auto error = simulator.open(); !error.empty()) {
        log.line("error " + error);
        std::fprintf(stderr, "devsim: %s\n", error.c_str());
        return 1;
    }
    if (!config.pidFile.empty()) {
        std::ofstream(config.pidFile) << ::getpid() << '\n';
    }
    const int status = simulator.run(signalFd);
    if (!config.pidFile.empty()) {
        ::unlink(config.pidFile.c_str());
    }
    return status;
}
