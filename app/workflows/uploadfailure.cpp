#include "app/workflows/uploadfailure.h"

#include <QCoreApplication>

namespace {
// The client's exit statuses (its documented list) that occur with TFTP transfers.
constexpr int ReadError = 26;
constexpr int CouldNotConnect = 7;
constexpr int TimedOut = 28;
constexpr int SendError = 55;
constexpr int ReceiveError = 56;
// 68 file not found, 69 permission, 70 disk full, 71 illegal operation, 72 unknown transfer,
// 73 file exists, 74 no such user: all are error packets from the server.
constexpr int FirstTftpError = 68;
constexpr int LastTftpError = 74;
} // namespace

TClientFailure ClassifyClientFailure(int exitCode, const QStringList &output) {
    if (exitCode == ReadError)
        return TClientFailure::cfFileUnreadable;
    // The client also ends with other statuses after it could not open the file.
    for (const QString &line : output) {
        if (line.contains(QStringLiteral("Can't open")))
            return TClientFailure::cfFileUnreadable;
    }
    if (exitCode >= FirstTftpError && exitCode <= LastTftpError)
        return TClientFailure::cfRefused;
    if (exitCode == TimedOut || exitCode == CouldNotConnect || exitCode == SendError ||
        exitCode == ReceiveError)
        return TClientFailure::cfNoReply;
    return TClientFailure::cfOther;
}

QString ClientFailureLine(TClientFailure failure, int exitCode, const QString &address,
                          const QString &file, bool deviceAnswers) {
    switch (failure) {
    case TClientFailure::cfFileUnreadable:
        return QCoreApplication::translate("ClientFailureLine", "The file %1 could not be read.")
            .arg(file);
    case TClientFailure::cfRefused:
        return QCoreApplication::translate(
            "ClientFailureLine",
            "The device refused the file: its TFTP server may be write-protected or busy.");
    case TClientFailure::cfNoReply:
        if (deviceAnswers)
            return QCoreApplication::translate(
                       "ClientFailureLine",
                       "The device at %1 answers, but its TFTP server does not: it "
                       "may be switched off or busy.")
                .arg(address);
        return QCoreApplication::translate(
                   "ClientFailureLine",
                   "The device did not answer at %1: is it switched on and at this address?")
            .arg(address);
    case TClientFailure::cfOther:
        break;
    }
    return QCoreApplication::translate("ClientFailureLine",
                                       "The upload failed (TFTP client exit status %1).")
        .arg(exitCode);
}
