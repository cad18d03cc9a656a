#include "support/programfolder.h"

#include <QFileInfo>

QString ProgramFolder() {
    // The program file does not move while it runs, so its folder is worked out once. The
    // system knows the file before the application object exists, and a one-time static is
    // safe when runner threads ask at the same moment as the interface thread (the
    // application object's own cache of the path is not).
    static const QString folder = [] {
        QString path =
            QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).path();
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        return path;
    }();
    return folder;
}
