// Where Quillet reads its branding and writes its settings, log and web files: beside the
// program (portable) or in each user's own folders (installed for every user).
#pragma once

#include <QString>

// The folder with one trailing "/", as every folder path here is kept; empty stays empty.
QString WithSlash(const QString &folder);

struct TStoragePlaces {
    enum TLayout { lyPortable, lyInstalled };

    // The file an install puts into the program folder; the layout is told by it alone, not by
    // whether the folder is writable (root can write anywhere, but must not write into a folder
    // that the package manager owns).
    static constexpr const char *MarkerName = "installed-layout";

    TLayout Layout = lyPortable;
    QString ProgramFolder; // read only here: packer, MIME table, help pages; with "/"
    QString BrandingIni;   // "qlt.ini" with [label] and [GlobalTypes], never written
    QString SettingsIni;   // "qlt.ini" with the user's own settings, read at start, written at exit
    QString LogConfig;     // "cil.cnf"
    QString LogFile;       // "qlt.log"
    QString OutputRoot;    // the folder that holds the output tree "pmf/"; with "/"
    QString Journal;       // "journal.sqlite", shared by the window and quillet-cli

    bool Installed() const { return Layout == lyInstalled; }

    static bool HasMarker(const QString &programFolder);
    // The places for a program folder; configRoot and dataRoot are the user's configuration and
    // data folders (the XDG ones), used only in the installed layout.
    static TStoragePlaces For(const QString &programFolder, const QString &configRoot,
                              const QString &dataRoot);
    // The same with this user's folders.
    static TStoragePlaces FromSystem(const QString &programFolder);

    // Makes the user's folders and, on a first start, seeds the settings file from the
    // program folder's. Does nothing in the portable layout. Returns false with a reason.
    bool Prepare(QString *error = nullptr) const;
};
