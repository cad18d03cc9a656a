// What Quillet settles at start: branding, folders, mode, caption and the saved user settings.
#pragma once

#include "app/core/storageplaces.h"

#include <QString>
#include <QStringList>

// Everything the start sequence takes from the machine, so that a test can give its own.
struct TStartupInputs {
    QString ProgramFolder;  // with a trailing "/"
    QStringList Arguments;  // command-line arguments, without the program itself
    QString CommonDataRoot; // all-users data folder; empty when there is none
    QString LocalDataRoot;  // the user's own data folder
    QString DocumentsRoot;  // the user's documents folder
    QString ConfigRoot;     // the user's configuration folder (the installed layout's settings)

    // The running program's folder and the system's data and documents folders.
    static TStartupInputs FromSystem(const QString &programFolder, const QStringList &arguments);
};

// The values the main window shows and saves at exit.
struct TUserSettings {
    QString WebFile;
    QString FWFile;
    QString DirInName;
    bool BakDel = true;
    // The device address of the last session, in "[Global]" as "LastIP".
    QString DeviceAddress;
    // How many transfers the upload window runs at once, "[Global]" "ParallelUploads": read
    // only, for whoever looks after the computer to set (a slow link may want fewer).
    int ParallelUploads = 64;

    friend bool operator==(const TUserSettings &, const TUserSettings &) = default;
};

class TStartup {
public:
    explicit TStartup(const TStartupInputs &inputs);

    // Runs steps that touch the disk: the data and documents folders are created here.
    void CreateFolders();

    const QString &ProgramFolder() const { return FProgramFolder; }
    const QString &IniPath() const { return FIniPath; }
    // Where the settings, the log and the output tree go, and where the branding is read.
    const TStoragePlaces &Places() const { return FPlaces; }
    const QString &LogPath() const { return FLogPath; }
    const QString &Brand() const { return FBrand; }
    const QString &AppName() const { return FAppName; }
    const QString &BrandFolder() const { return FBrandFolder; }
    const QString &DataFolder() const { return FDataFolder; }
    const QString &DocumentsFolder() const { return FDocumentsFolder; }
    bool InternalMode() const { return FInternalMode; }
    QString Caption() const { return CaptionFor(FAppName, VersionText(), FInternalMode); }
    // Empty, or the one line that tells the user "qlt.ini" was not read whole at start and is
    // therefore left as it is at exit.
    const QString &SettingsFault() const { return FSettingsFault; }

    // The values before any saved settings are applied.
    TUserSettings StartValues() const;
    // The start values with what "qlt.ini" holds applied over them.
    TUserSettings LoadSettings() const;
    // Writes the user settings into "qlt.ini", keeping everything else in it. A file that
    // cannot be read whole is never written. Returns false with a reason when the settings
    // were not saved and SettingsFault() has not already said why.
    bool SaveSettings(const TUserSettings &settings, QString *error = nullptr) const;

    static QString VersionText();
    static QString BrandFolderFor(const QString &brand);
    static bool InternalModeFor(const QStringList &arguments);
    static QString CaptionFor(const QString &appName, const QString &version, bool internal);
    // Creates the folder with its parents and checks that a file can be written in it.
    static bool MakeWritableFolder(const QString &folder);

private:
    QString FProgramFolder;
    TStoragePlaces FPlaces;
    QString FIniPath;
    QString FLogPath;
    QString FBrand;
    QString FAppName;
    QString FBrandFolder;
    QString FCommonDataRoot;
    QString FLocalDataRoot;
    QString FDocumentsRoot;
    QString FDataFolder;
    QString FDocumentsFolder;
    bool FInternalMode = false;
    QString FSettingsFault;
};
