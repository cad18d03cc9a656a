// One upload per device at a time across every Quillet and quillet-cli of this user: a lock
// file per device address in the user's runtime folder.
#pragma once

#include <QString>

#include <memory>

class QLockFile;

class TUploadLock {
public:
    enum TResult {
        ulTaken,      // this upload holds the device now
        ulBusy,       // a live process holds it: nothing may be sent
        ulUnavailable // no lock file can be made here; the upload goes on unguarded
    };

    TUploadLock();
    ~TUploadLock();

    // A lock left by a process that has ended is taken over. Text() says who holds the device
    // (ulBusy) or why no lock could be made (ulUnavailable).
    TResult Take(const QString &address);
    void Release();
    const QString &Text() const { return FText; }

    // <runtime folder>/quillet, made for this user alone when missing; empty when the runtime
    // folder is unusable.
    static QString Folder();

private:
    std::unique_ptr<QLockFile> FLock;
    QString FText;
};
