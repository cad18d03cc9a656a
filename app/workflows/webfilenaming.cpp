#include "app/workflows/webfilenaming.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <limits>

namespace {
const QString PmfFolder = QStringLiteral("pmf");
const QString PmfExtension = QStringLiteral(".pmf");
const QString NotCreated = QStringLiteral(" directory not exist and succeed not created");
} // namespace

QString RelativeSourceName(const QString &programFolder, const QString &dirInName) {
    // Only a folder below the program folder is named by its inner path; a path that merely
    // holds the program folder's path further in is an outside folder like any other.
    if (!programFolder.isEmpty() && dirInName.startsWith(programFolder))
        return dirInName.mid(programFolder.size());
    const qsizetype slash = dirInName.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? dirInName : dirInName.mid(slash + 1);
}

TWebFileNameParts WebFileNameParts(const QString &programFolder, const QString &dirInName,
                                   bool internalMode) {
    TWebFileNameParts parts;
    parts.KindWeb = QStringLiteral("_WEB1");
    parts.KindDir = RelativeSourceName(programFolder, dirInName);
    if (internalMode) {
        if (dirInName.contains(QStringLiteral("Zarn"))) {
            parts.KindDir = parts.KindDir.mid(4);
            parts.KindType = QStringLiteral("_Z");
        } else {
            parts.KindType = QStringLiteral("_B");
        }
    }
    return parts;
}

QString WebFileFolder(const TWebFileNameParts &parts) {
    QString folder = PmfFolder + QLatin1Char('/') + parts.KindDir;
    if (!parts.KindType.isEmpty())
        folder += QLatin1Char('/') + parts.KindType;
    return folder;
}

QString WebFileStem(const TWebFileNameParts &parts) {
    return parts.KindDir + parts.KindType + parts.KindWeb;
}

int WebFileVersion(const QString &fileName) {
    if (!fileName.endsWith(PmfExtension))
        return -1;
    const QString base = fileName.left(fileName.size() - PmfExtension.size());
    const qsizetype underscore = base.lastIndexOf(QLatin1Char('_'));
    if (underscore < 0)
        return -1;
    const QString digits = base.mid(underscore + 1);
    if (digits.isEmpty())
        return -1;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    }
    bool ok = false;
    const qlonglong number = digits.toLongLong(&ok);
    // A number past what the next version can count to is no version of ours.
    if (!ok || number >= std::numeric_limits<int>::max())
        return -1;
    return static_cast<int>(number);
}

int HighestVersion(const TWebFileNameParts &parts, const QStringList &entryNames) {
    const QString stem = WebFileStem(parts);
    int highest = 0;
    for (const QString &name : entryNames) {
        if (!name.startsWith(stem) || !name.endsWith(PmfExtension))
            continue;
        // The version's "_" must follow the stem, so "Station7_WEB1.pmf" carries none.
        const int version = WebFileVersion(name);
        if (version > highest && name.lastIndexOf(QLatin1Char('_')) >= stem.size())
            highest = version;
    }
    return highest;
}

int HighestVersion(const QString &programFolder, const TWebFileNameParts &parts) {
    const QDir folder(programFolder + WebFileFolder(parts));
    // Filtered by hand: a name filter would read "[" or "?" of a folder name as a pattern.
    const QStringList names =
        folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    return HighestVersion(parts, names);
}

QString VersionSuffix(int number) {
    if (number < 10)
        return QStringLiteral("_0") + QString::number(number);
    return QLatin1Char('_') + QString::number(number);
}

int NextVersion(int highest, bool rewriteLast) {
    return rewriteLast ? highest : highest + 1;
}

QString RelativeWebFileName(const TWebFileNameParts &parts, int number) {
    return WebFileFolder(parts) + QLatin1Char('/') + WebFileStem(parts) + VersionSuffix(number) +
           PmfExtension;
}

QStringList WebFileFolders(const TWebFileNameParts &parts) {
    QStringList folders{PmfFolder, PmfFolder + QLatin1Char('/') + parts.KindDir};
    if (!parts.KindType.isEmpty())
        folders.append(folders.last() + QLatin1Char('/') + parts.KindType);
    return folders;
}

QString EnsureWebFileFolders(const QString &programFolder, const QStringList &folders) {
    for (const QString &folder : folders) {
        const QString path = programFolder + folder;
        if (QFileInfo(path).isDir())
            continue;
        // mkdir, not mkpath: the tree grows one level at a time, so a missing parent fails.
        if (!QDir().mkdir(path) && !QFileInfo(path).isDir())
            return folder + NotCreated;
    }
    return {};
}

int DeleteBakFiles(const QString &folder) {
    // An empty folder text names no folder; it must never turn into "/".
    if (folder.isEmpty())
        return 0;
    const QDir dir(folder);
    int deleted = 0;
    const QStringList names =
        dir.entryList({QStringLiteral("*.bak")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (QFile::remove(dir.filePath(name)))
            ++deleted;
    }
    return deleted;
}
