// How a web file is named and numbered in the "pmf" output tree beside the program.
#pragma once

#include <QString>
#include <QStringList>

// The parts a web file's name is made of, as the creation log shows them.
struct TWebFileNameParts {
    QString KindWeb;  // always "_WEB1"
    QString KindDir;  // from the source folder
    QString KindType; // brand tag: empty in standard mode, "_B" or "_Z" in internal mode
};

// The kind name of a source folder: its path below the program folder when it lies there (a
// folder directly inside gives its own name, a deeper one "a/b"), otherwise the part after its
// last "/" (empty for a path that ends with "/"). programFolder ends with "/".
QString RelativeSourceName(const QString &programFolder, const QString &dirInName);

// All three parts. In internal mode a source path that holds "Zarn" loses the first four
// characters of its kind name and gets the tag "_Z"; any other gets "_B".
TWebFileNameParts WebFileNameParts(const QString &programFolder, const QString &dirInName,
                                   bool internalMode);

// The folder of the output tree that holds the parts' files, relative to the program folder:
// "pmf/{KindDir}" or, with a brand tag, "pmf/{KindDir}/{KindType}". No trailing "/".
QString WebFileFolder(const TWebFileNameParts &parts);
// The common beginning of every version's file name: {KindDir}{KindType}{KindWeb}.
QString WebFileStem(const TWebFileNameParts &parts);

// The version number a name carries: the decimal number between its last "_" and ".pmf",
// read whole ("_100" is 100). -1 when the name does not end so or that part is not a number.
int WebFileVersion(const QString &fileName);

// The highest version among the entry names of the parts' folder that begin with the stem and
// end with ".pmf"; 0 when there is none.
int HighestVersion(const TWebFileNameParts &parts, const QStringList &entryNames);
// The same, listing the folder below programFolder (every kind of entry, hidden ones too).
int HighestVersion(const QString &programFolder, const TWebFileNameParts &parts);

// "_0" and the digit below 10, "_" and the number from 10 on.
QString VersionSuffix(int number);

// The next number: the highest + 1 for a new version, the highest itself to rewrite the last.
int NextVersion(int highest, bool rewriteLast);

// The web file's path relative to the program folder: {folder}/{stem}{suffix}.pmf.
QString RelativeWebFileName(const TWebFileNameParts &parts, int number);

// The folders to make sure of, relative to the program folder, outermost first: "pmf",
// "pmf/{KindDir}" and, with a brand tag, "pmf/{KindDir}/{KindType}".
QStringList WebFileFolders(const TWebFileNameParts &parts);

// Makes sure each folder exists, creating one level at a time (a missing parent is not
// created). Gives an empty text when all are there, otherwise the text of the error box for
// the first one that cannot be created.
QString EnsureWebFileFolders(const QString &programFolder, const QStringList &folders);

// Deletes the "*.bak" entries of the folder (not of its subfolders); one that cannot be
// deleted is skipped. Gives the number deleted.
int DeleteBakFiles(const QString &folder);
