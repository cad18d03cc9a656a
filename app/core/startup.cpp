#include "app/core/startup.h"

#include "app/core/inifile.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {
const QString KDefaultBrand = QStringLiteral("BRIMO");
const QString KDefaultAppName = QStringLiteral("Quillet");
const QString KMakerFolder = QStringLiteral("BrimoLoggers");
} // namespace

TStartupInputs TStartupInputs::FromSystem(const QString &programFolder,
                                          const QStringList &arguments) {
    TStartupInputs inputs;
    inputs.ProgramFolder = programFolder;
    inputs.Arguments = arguments;
    const QString home = QDir::homePath();
    const QStringList dataFolders =
        QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString &folder : dataFolders) {
        if (folder != home && !folder.startsWith(WithSlash(home))) {
            inputs.CommonDataRoot = folder;
            break;
        }
    }
    inputs.LocalDataRoot = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    inputs.DocumentsRoot = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    inputs.ConfigRoot = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return inputs;
}

TStartup::TStartup(const TStartupInputs &inputs)
    : FProgramFolder(WithSlash(inputs.ProgramFolder))
    , FCommonDataRoot(inputs.CommonDataRoot)
    , FLocalDataRoot(inputs.LocalDataRoot)
    , FDocumentsRoot(inputs.DocumentsRoot) {
    FPlaces = TStoragePlaces::For(FProgramFolder, inputs.ConfigRoot, inputs.LocalDataRoot);
    FIniPath = FPlaces.SettingsIni;
    FLogPath = FPlaces.LogFile;
    FBrand = KDefaultBrand;
    FAppName = KDefaultAppName;
    if (QFile::exists(FPlaces.BrandingIni)) {
        TIniFile ini;
        ini.Load(FPlaces.BrandingIni);
        FBrand = ini.ReadString(QStringLiteral("label"), QStringLiteral("company"), KDefaultBrand);
        FAppName =
            ini.ReadString(QStringLiteral("label"), QStringLiteral("appname"), KDefaultAppName);
    }
    // The user's own settings file (the same file in the portable layout) is never rewritten
    // when it could not be read whole.
    if (QFile::exists(FIniPath)) {
        TIniFile settings;
        if (settings.Load(FIniPath) == TIniFile::lrPartial)
            FSettingsFault =
                QStringLiteral("%1 could not be read whole (%2): its settings are used "
                               "as read, and the file is left as it is.")
                    .arg(FIniPath, settings.Fault());
    }
    FBrandFolder = BrandFolderFor(FBrand);
    FInternalMode = InternalModeFor(inputs.Arguments);
    const QString tail = FBrandFolder + u'/' + FAppName + u'/';
    FDataFolder = WithSlash(FCommonDataRoot) + tail;
    FDocumentsFolder = WithSlash(FDocumentsRoot) + tail;
}

void TStartup::CreateFolders() {
    // A failure shows later, where it matters: at the first Create and when saving at exit.
    FPlaces.Prepare();
    const QString tail = FBrandFolder + u'/' + FAppName + u'/';
    // The all-users folder is wanted; where it cannot be made or written, the user's own is
    // taken without a word, since nothing else reads these folders.
    if (FCommonDataRoot.isEmpty() || !MakeWritableFolder(WithSlash(FCommonDataRoot) + tail)) {
        FDataFolder = WithSlash(FLocalDataRoot) + tail;
        QDir().mkpath(FDataFolder);
    }
    QDir().mkpath(FDocumentsFolder);
}

bool TStartup::MakeWritableFolder(const QString &folder) {
    if (!QDir().mkpath(folder))
        return false;
    QFile probe(WithSlash(folder) + QStringLiteral("test.txt"));
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = probe.write("test\n") == 5;
    probe.close();
    const bool removed = probe.remove();
    return written && probe.error() == QFileDevice::NoError && removed;
}

QString TStartup::VersionText() {
    return QStringLiteral(QUILLET_VERSION_TEXT);
}

QString TStartup::BrandFolderFor(const QString &brand) {
    QString upper = brand;
    for (QChar &c : upper)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    static const QString forbidden = QStringLiteral("\"*/:<>?\\|");
    bool unsafe = brand.isEmpty() || brand.size() > 255;
    for (QChar c : brand)
        unsafe = unsafe || forbidden.contains(c);
    if (upper == KDefaultBrand || unsafe)
        return KMakerFolder;
    return brand;
}

bool TStartup::InternalModeFor(const QStringList &arguments) {
    return !arguments.isEmpty() && arguments.first().toLower() == QStringLiteral("-brimo");
}

QString TStartup::CaptionFor(const QString &appName, const QString &version, bool internal) {
    QString caption = appName + QStringLiteral(" - ") + version;
    if (internal)
        caption += QStringLiteral(" [Brimo internal]");
    return caption;
}

TUserSettings TStartup::StartValues() const {
    TUserSettings values;
    values.DirInName = FProgramFolder;
    values.WebFile = FPlaces.OutputRoot + QStringLiteral("pmf/");
    values.FWFile.clear();
    values.BakDel = true;
    return values;
}

TUserSettings TStartup::LoadSettings() const {
    TUserSettings values = StartValues();
    TIniFile ini;
    ini.Load(FIniPath);
    const QString paths = QStringLiteral("PATHS");
    if (ini.HasSection(paths)) {
        values.WebFile = ini.ReadString(paths, QStringLiteral("WebFile"), QString());
        values.FWFile = ini.ReadString(paths, QStringLiteral("FWFile"), QString());
        values.DirInName = ini.ReadString(paths, QStringLiteral("DIN"), FProgramFolder);
    }
    const QString global = QStringLiteral("Global");
    if (ini.HasSection(global)) {
        values.BakDel = ini.ReadBool(global, QStringLiteral("Bat"), true);
        values.DeviceAddress = ini.ReadString(global, QStringLiteral("LastIP"), QString());
        bool numeric = false;
        const int parallel =
            ini.ReadString(global, QStringLiteral("ParallelUploads"), QString()).toInt(&numeric);
        // A value that is no sensible number of transfers keeps the default.
        if (numeric && parallel >= 1 && parallel <= 10000)
            values.ParallelUploads = parallel;
    }
    return values;
}

bool TStartup::SaveSettings(const TUserSettings &settings, QString *error) const {
    TIniFile ini;
    // A file that exists but cannot be read whole is left alone: writing it would drop the
    // branding and every other section in it.
    switch (ini.Load(FIniPath)) {
    case TIniFile::lrUnreadable:
        if (error)
            *error = QStringLiteral("%1 could not be read.").arg(FIniPath);
        return false;
    case TIniFile::lrPartial:
        // Start has told the user already, unless the file was spoilt while the program ran.
        if (error && FSettingsFault.isEmpty())
            *error = QStringLiteral("%1 could not be read whole (%2).").arg(FIniPath, ini.Fault());
        return !FSettingsFault.isEmpty();
    case TIniFile::lrLoaded:
    case TIniFile::lrMissing:
        break;
    }
    const QString paths = QStringLiteral("PATHS");
    ini.WriteString(paths, QStringLiteral("WebFile"), settings.WebFile);
    ini.WriteString(paths, QStringLiteral("FWFile"), settings.FWFile);
    ini.WriteString(paths, QStringLiteral("DIN"), settings.DirInName);
    const QString global = QStringLiteral("Global");
    ini.WriteBool(global, QStringLiteral("Bat"), settings.BakDel);
    // Left out while no address was ever chosen, so a file stays as it was without one.
    if (!settings.DeviceAddress.isEmpty() ||
        !ini.ReadString(global, QStringLiteral("LastIP"), QString()).isEmpty())
        ini.WriteString(global, QStringLiteral("LastIP"), settings.DeviceAddress);
    return ini.Save(FIniPath, error);
}
