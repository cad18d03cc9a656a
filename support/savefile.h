// A file written whole or not at all: the new content goes to a temporary file in the same
// folder, reaches the disk, and only then replaces the old file.
#pragma once

#include <QByteArray>
#include <QString>

// False, with the system's reason in error, when any step fails (a full disk among them); the
// old file is then left exactly as it was. Every write is checked unbuffered and the data is
// synced before the rename, since a buffered flush that failed could otherwise still be
// committed as an empty file.
bool SaveFileWhole(const QString &path, const QByteArray &data, QString *error = nullptr);
