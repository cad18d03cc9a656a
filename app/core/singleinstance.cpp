#include "app/core/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

constexpr int AnswerMs = 3000;
const QByteArray ShowRequest = "show\n";

// The socket lives in the user's runtime folder, named after the settings file, so that two
// users, or a portable and an installed Quillet, never meet.
QString SocketName(const QString &settingsPath) {
    const QByteArray hash = QCryptographicHash::hash(
        QFileInfo(settingsPath).absoluteFilePath().toUtf8(), QCryptographicHash::Sha256);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/quillet-") + QString::fromLatin1(hash.toHex().left(16));
}

} // namespace

TSingleInstance::TSingleInstance(const QString &settingsPath, QObject *parent)
    : QObject(parent)
    , FSocketName(SocketName(settingsPath))
    , FLock(settingsPath + QStringLiteral(".lock")) {
    // Only a process that is still alive holds the lock; a crashed one's file is taken over.
    FLock.setStaleLockTime(0);
}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::Acquire() {
    if (!FLock.tryLock(0)) {
        if (FLock.error() == QLockFile::LockFailedError)
            return false;
        // No lock file can be made here: the folder is not writable.
    }
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a Quillet that crashed would refuse the name.
    QLocalServer::removeServer(FSocketName);
    if (!FServer->listen(FSocketName))
        return true;
    connect(FServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = FServer->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                const bool asked = socket->readAll().contains(ShowRequest.trimmed());
                // The asking start may go before the window has said anything.
                socket->disconnectFromServer();
                if (asked)
                    emit ShowRequested();
            });
        }
    });
    return true;
}

bool TSingleInstance::AskRunningToShow() const {
    QLocalSocket socket;
    socket.connectToServer(FSocketName);
    if (!socket.waitForConnected(AnswerMs))
        return false;
    socket.write(ShowRequest);
    if (!socket.waitForBytesWritten(AnswerMs))
        return false;
    // The running one closes the connection once it has the request.
    socket.waitForDisconnected(AnswerMs);
    return true;
}

#include "moc_singleinstance.cpp"
