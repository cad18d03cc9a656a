#include "app/workflows/uploadlock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

TUploadLock::TUploadLock() = default;

TUploadLock::~TUploadLock() = default;

QString TUploadLock::Folder() {
    // Without XDG_RUNTIME_DIR Qt falls back to a folder of its own in the temporary folder.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        return {};
    const QString folder = runtime + QStringLiteral("/quillet");
    // Fails harmlessly where another process has just made it.
    QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return QFileInfo(folder).isDir() ? folder : QString();
}

TUploadLock::TResult TUploadLock::Take(const QString &address) {
    Release();
    const QString folder = Folder();
    if (folder.isEmpty()) {
        FText = QCoreApplication::translate(
                    "TUploadLock", "No upload lock for %1: the runtime folder cannot be used.")
                    .arg(address);
        return ulUnavailable;
    }
    auto lock =
        std::make_unique<QLockFile>(folder + QStringLiteral("/upload-%1.lock").arg(address));
    // Only a live process holds a device, however long its upload takes.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        FLock = std::move(lock);
        return ulTaken;
    }
    if (lock->error() != QLockFile::LockFailedError) {
        FText = QCoreApplication::translate("TUploadLock",
                                            "No upload lock for %1: %2 cannot be written.")
                    .arg(address, lock->fileName());
        return ulUnavailable;
    }
    qint64 pid = 0;
    QString host;
    QString program;
    lock->getLockInfo(&pid, &host, &program);
    if (pid == QCoreApplication::applicationPid())
        FText = QCoreApplication::translate("TUploadLock",
                                            "%1 is already receiving an upload from this Quillet.")
                    .arg(address);
    else
        FText = QCoreApplication::translate(
                    "TUploadLock", "%1 is already receiving an upload from another Quillet (%2, "
                                   "process %3).")
                    .arg(address, program.isEmpty() ? QStringLiteral("?") : program)
                    .arg(pid);
    return ulBusy;
}

void TUploadLock::Release() {
    FLock.reset();
    FText.clear();
}
