// The journal file's layout: Quillet's application id, the schema version, and the steps that
// bring a file of any older version to the current one.
#pragma once

#include <QSqlError>

class QSqlDatabase;

namespace JournalSchema {

// "QLTJ" in the file's header tells our journal from any other SQLite file.
inline constexpr qint32 ApplicationId = 0x514C544A;

// The version this build writes: the number of steps it knows.
int CurrentVersion();

enum TKind {
    skEmpty,   // no tables and no id: a file to start a journal in
    skOurs,    // ours, at this version or an older one
    skNewer,   // ours, from a newer Quillet: never written by this one
    skForeign, // another program's database
};

struct TInspection {
    TKind Kind = skEmpty;
    int Version = 0;
};

// Reads the header and the table count; false with SQLite's error when it cannot read them.
bool Inspect(QSqlDatabase &db, TInspection &inspection, QSqlError &error);

// Brings an empty or older journal to the current version in one transaction; another
// process upgrading at the same time is waited for, and its work is not done twice.
bool Upgrade(QSqlDatabase &db, QSqlError &error);

} // namespace JournalSchema
