// What a failed run of the TFTP client means, in a technician's words rather than the client's.
#pragma once

#include <QString>
#include <QStringList>

enum class TClientFailure {
    cfFileUnreadable, // the client could not read the local file
    cfNoReply,        // nothing answered the transfer: the device or only its TFTP server
    cfRefused,        // the device's TFTP server answered with an error
    cfOther
};

// Decided by the client's exit status, and its output where the status is ambiguous.
TClientFailure ClassifyClientFailure(int exitCode, const QStringList &output);

// The line for the user. For cfNoReply, whether the device answered one echo after the failure
// tells a device that is off or elsewhere from one whose TFTP server is off.
QString ClientFailureLine(TClientFailure failure, int exitCode, const QString &address,
                          const QString &file, bool deviceAnswers);
