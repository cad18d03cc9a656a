// One Quillet per settings file: a lock file beside it, and a local socket through which a
// second start asks the running one to come forward instead of opening a window over it.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit TSingleInstance(const QString &settingsPath, QObject *parent = nullptr);
    ~TSingleInstance() override;

    // True when no other Quillet runs on these settings; this one then answers later starts.
    // A folder where no lock file can be made (a read-only program folder) does not stop the
    // start: there is then nothing to share either.
    bool Acquire();
    // Asks the running Quillet to show its window; true when it heard the request.
    bool AskRunningToShow() const;

signals:
    // A later start on the same settings asked for the window.
    void ShowRequested();

private:
    QString FSocketName;
    QLockFile FLock;
    QLocalServer *FServer = nullptr;
};
