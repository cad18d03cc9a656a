#include "app/core/storageplaces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
const QString KIniName = QStringLiteral("qlt.ini");
// One folder for the window program and the console one, so both share settings and web files.
const QString KUserFolder = QStringLiteral("quillet/");
} // namespace

QString WithSlash(const QString &folder) {
    if (folder.isEmpty() || folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

bool TStoragePlaces::HasMarker(const QString &programFolder) {
    return QFileInfo::exists(WithSlash(programFolder) + QLatin1String(MarkerName));
}

TStoragePlaces TStoragePlaces::For(const QString &programFolder, const QString &configRoot,
                                   const QString &dataRoot) {
    TStoragePlaces places;
    places.ProgramFolder = WithSlash(programFolder);
    places.BrandingIni = places.ProgramFolder + KIniName;
    QString settingsFolder = places.ProgramFolder;
    places.OutputRoot = places.ProgramFolder;
    if (HasMarker(programFolder)) {
        places.Layout = lyInstalled;
        settingsFolder = WithSlash(configRoot) + KUserFolder;
        places.OutputRoot = WithSlash(dataRoot) + KUserFolder;
    }
    places.SettingsIni = settingsFolder + KIniName;
    places.LogConfig = settingsFolder + QStringLiteral("cil.cnf");
    places.LogFile = settingsFolder + QStringLiteral("qlt.log");
    // Data, not settings: beside the web files it tells about.
    places.Journal = places.OutputRoot + QStringLiteral("journal.sqlite");
    return places;
}

TStoragePlaces TStoragePlaces::FromSystem(const QString &programFolder) {
    return For(programFolder,
               QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
               QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

bool TStoragePlaces::Prepare(QString *error) const {
    if (!Installed())
        return true;
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    const QString settingsFolder = QFileInfo(SettingsIni).path();
    for (const QString &folder : {settingsFolder, OutputRoot})
        if (!QDir().mkpath(folder))
            return fail(QStringLiteral("The folder %1 could not be created.").arg(folder));
    // The administrator's sample brings the branding and the device type names with it; the
    // user's copy never replaces a file that is already there.
    if (!QFileInfo::exists(SettingsIni) && QFileInfo::exists(BrandingIni)) {
        QFile seed(BrandingIni);
        if (!seed.copy(SettingsIni))
            return fail(QStringLiteral("%1 could not be copied to %2: %3")
                            .arg(BrandingIni, SettingsIni, seed.errorString()));
        // The copy keeps the read-only mode an install gives the original.
        QFile::setPermissions(SettingsIni, QFile::permissions(SettingsIni) |
                                               QFileDevice::WriteOwner | QFileDevice::ReadOwner);
    }
    return true;
}
