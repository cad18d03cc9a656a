#include "support/savefile.h"

#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

bool Fail(QSaveFile &file, const QString &reason, QString *error) {
    if (error)
        *error = reason.isEmpty() ? file.errorString() : reason;
    file.cancelWriting();
    return false;
}

} // namespace

bool SaveFileWhole(const QString &path, const QByteArray &data, QString *error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Fail(file, {}, error);
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 written = file.write(data.constData() + done, data.size() - done);
        if (written <= 0)
            return Fail(file, {}, error);
        done += written;
    }
    if (::fsync(file.handle()) != 0)
        return Fail(file, QString::fromLocal8Bit(std::strerror(errno)), error);
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
