#pragma once

#include <QString>
#include <QStringList>

#include <stdexcept>
#include <string>
#include <sys/types.h>

// The reason a child program could not be started; its text is shown to the user as it is.
class TCreateProcessError : public std::runtime_error {
public:
    explicit TCreateProcessError(const QString &message)
        : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromStdString(what()); }
};

// Starts a program without a shell, in a process group of its own, with the caller's
// environment and current folder. The given descriptors become the child's standard input,
// output and error (-1 keeps the caller's); every other descriptor is closed in the child, so
// nothing leaks into it whatever flags the caller's descriptors carry. Signal dispositions and
// the signal mask are reset to their defaults. environment ("NAME=value" entries) replaces the
// caller's environment when given. Gives the child's pid, or -1 with errno set.
pid_t SpawnChild(const QString &program, const QStringList &arguments, int stdinFd, int stdoutFd,
                 int stderrFd, const QStringList *environment = nullptr);

// Resolves the command line's first word (see FindProgram) and starts it with the other words
// as arguments. Gives -1 when the line is empty, the program is not found or cannot be started.
pid_t SpawnCommandLine(const QString &commandLine, int stdinFd, int stdoutFd, int stderrFd);

// Children whose watch ended while they still ran (a time limit passed) are reaped here once
// they end, so none of them is left as a zombie. Register adds one; Sweep reaps those that
// have ended and is cheap enough to call at every start and end of a run.
void RegisterOrphanChild(pid_t pid);
void SweepOrphanChildren();

// Process groups of children that must not outlive this program when a signal ends it (the
// ping of an echo test: in a group of its own, a terminal's Ctrl+C or hang-up does not reach
// it). Track a group while its leader is unreaped, so that the number names no other group.
void TrackChildGroup(pid_t group);
void UntrackChildGroup(pid_t group);
// Sends SIGKILL to every tracked group; async-signal-safe, for a signal handler.
void KillTrackedChildGroups();
