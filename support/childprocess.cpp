#include "support/childprocess.h"

#include "support/commandline.h"

#include <QFile>

#include <array>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

pid_t SpawnChild(const QString &program, const QStringList &arguments, int stdinFd, int stdoutFd,
                 int stderrFd, const QStringList *environment) {
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> words;
    words.push_back(path);
    for (const QString &argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> variables;
    std::vector<char *> envp;
    if (environment) {
        for (const QString &variable : *environment)
            variables.push_back(variable.toLocal8Bit());
        for (QByteArray &variable : variables)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int fds[3] = {stdinFd, stdoutFd, stderrFd};
    for (int target = 0; target < 3; ++target) {
        if (fds[target] >= 0)
            posix_spawn_file_actions_adddup2(&actions, fds[target], target);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                        POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int error = posix_spawn(&pid, path.constData(), &actions, &attr, argv.data(),
                                  environment ? envp.data() : environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        errno = error;
        return -1;
    }
    return pid;
}

pid_t SpawnCommandLine(const QString &commandLine, int stdinFd, int stdoutFd, int stderrFd) {
    QStringList words = SplitCommandLine(commandLine);
    if (words.isEmpty()) {
        errno = ENOENT;
        return -1;
    }
    const QString program = FindProgram(words.takeFirst());
    if (program.isEmpty()) {
        errno = ENOENT;
        return -1;
    }
    return SpawnChild(program, words, stdinFd, stdoutFd, stderrFd);
}

namespace {

std::mutex OrphanMutex;
std::vector<pid_t> Orphans;

} // namespace

void RegisterOrphanChild(pid_t pid) {
    std::lock_guard lock(OrphanMutex);
    Orphans.push_back(pid);
}

void SweepOrphanChildren() {
    std::lock_guard lock(OrphanMutex);
    std::erase_if(Orphans, [](pid_t pid) {
        const pid_t result = ::waitpid(pid, nullptr, WNOHANG);
        // Gone (reaped now, or by someone else) unless it still runs.
        return result != 0;
    });
}

namespace {

// Lock-free slots, so that a signal handler may read them; 0 is a free slot.
std::array<std::atomic<pid_t>, 64> TrackedGroups{};

} // namespace

void TrackChildGroup(pid_t group) {
    for (std::atomic<pid_t> &slot : TrackedGroups) {
        pid_t free = 0;
        if (slot.compare_exchange_strong(free, group))
            return;
    }
}

void UntrackChildGroup(pid_t group) {
    for (std::atomic<pid_t> &slot : TrackedGroups) {
        pid_t tracked = group;
        if (slot.compare_exchange_strong(tracked, 0))
            return;
    }
}

void KillTrackedChildGroups() {
    for (const std::atomic<pid_t> &slot : TrackedGroups) {
        if (const pid_t group = slot.load(); group > 0)
            ::kill(-group, SIGKILL);
    }
}
